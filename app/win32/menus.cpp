// The two menu bars, their rebuild, the greying for the active document
// window and the status-bar help of menu selections.
#include <windows.h>

#include <cctype>
#include <commctrl.h>

#include <cstring>

#include "app/command_rules.h"
#include "app/settings.h"
#include "data/view_flags.h"
#include "app/win32/commands_internal.h"
#include "app/win32/recent_menu.h"
#include "app/win32/registry_store.h"
#include "app/win32/shell.h"
#include "data/records.h"
#include "design/design_slot.h"
#include "graph/win32/graph_view.h"
#include "resources/command_ids.h"

namespace srx {

bool EasyMenu() { return (Settings().window.shellFlags & kShellEasyMenu) != 0; }

namespace {

// A command can sit in several popups (File > New and Measurement): every
// occurrence follows, not only the first one found.
template <typename F>
void ForEachOccurrence(HMENU menu, int id, F&& apply) {
    if (!menu) return;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        if (HMENU sub = GetSubMenu(menu, i)) {
            ForEachOccurrence(sub, id, apply);
        } else if (static_cast<int>(GetMenuItemID(menu, i)) == id) {
            apply(menu, i);
        }
    }
}

bool MenuContains(HMENU root, HMENU wanted) {
    if (!root) return false;
    if (root == wanted) return true;
    const int count = GetMenuItemCount(root);
    for (int i = 0; i < count; ++i)
        if (HMENU sub = GetSubMenu(root, i); sub && MenuContains(sub, wanted)) return true;
    return false;
}

// Frequency and time graphs alike: the graph view knows their ranges.
bool MeasurementZoomed(HWND window) { return GraphZoomed(window); }

void SetStatusHelp(const std::string& text) {
    FrameState& s = Shell();
    s.lastStatusText = text.substr(0, 127);
    if (s.status) SendMessageA(s.status, SB_SETTEXTA, 0 | SBT_NOBORDERS, (LPARAM)s.lastStatusText.c_str());
}

}  // namespace

bool LoadStringId(int id, std::string& text) {
    char buffer[1024];
    const int n =
        LoadStringA(Shell().instance ? Shell().instance : GetModuleHandleA(nullptr), id, buffer, sizeof buffer);
    if (n <= 0) return false;
    text.assign(buffer, n);
    return true;
}

void EnableCommand(int id, bool enabled) {
    FrameState& s = Shell();
    HMENU menu = s.frame ? GetMenu(s.frame) : nullptr;
    ForEachOccurrence(menu, id, [&](HMENU m, int pos) {
        EnableMenuItem(m, pos, MF_BYPOSITION | (enabled ? MF_ENABLED : MF_GRAYED));
    });
    for (const auto& b : ToolbarPalette())
        if (b.command == id) EnableToolbarButton(b.id, enabled);
}

void EnableToolbarButton(int buttonId, bool enabled) {
    if (HWND tb = Shell().toolbar) SendMessageA(tb, TB_ENABLEBUTTON, buttonId, MAKELPARAM(enabled ? TRUE : FALSE, 0));
}

void CheckCommand(int id, bool checked) {
    FrameState& s = Shell();
    HMENU menu = s.frame ? GetMenu(s.frame) : nullptr;
    ForEachOccurrence(menu, id, [&](HMENU m, int pos) {
        CheckMenuItem(m, pos, MF_BYPOSITION | (checked ? MF_CHECKED : MF_UNCHECKED));
    });
}

void ApplyCheckMarks() {
    const FlagWords f = ReadFlagWords(Settings());
    for (int id : FlaggedCommands()) CheckCommand(id, IsFlagChecked(id, f));
    for (int i = 0; i < kDesignSlotCount; ++i) {
        CheckCommand(CM_DESIGN_FIRST + i, Shell().activeDesign == i);
        CheckCommand(CM_SHOW_DESIGN_FIRST + i, (DesignSlots()[i].flags & kSlotShown) != 0);
    }
    CheckCommand(CM_TOOLBAR, (f.shell & kShellToolbar) != 0);
    CheckCommand(CM_STATUSBAR, (f.shell & kShellStatusBar) != 0);
}

void RelayoutFrame() {
    HWND frame = Shell().frame;
    if (!frame || IsIconic(frame)) return;
    RECT rc;
    GetClientRect(frame, &rc);
    SendMessageA(frame, WM_SIZE, IsZoomed(frame) ? SIZE_MAXIMIZED : SIZE_RESTORED,
                 MAKELPARAM(rc.right - rc.left, rc.bottom - rc.top));
}

void RebuildMenus(bool startup) {
    FrameState& s = Shell();
    if (!s.frame) return;
    const bool easy = EasyMenu();
    HMENU old = GetMenu(s.frame);
    const HINSTANCE instance = s.instance ? s.instance : GetModuleHandleA(nullptr);
    if (!startup || !old) {
        // The layout being left belongs to the other mode's value.
        if (!startup && s.toolbar) SaveToolbarLayout(s.toolbar, !easy);
        HMENU menu = LoadMenuA(instance, MAKEINTRESOURCEA(easy ? 2 : 1));
        if (menu) {
            if (s.client) {
                SendMessageA(s.client, WM_MDISETMENU, (WPARAM)menu, (LPARAM)GetSubMenu(menu, kWindowMenuPosition));
            } else {
                SetMenu(s.frame, menu);
            }
            DrawMenuBar(s.frame);
            if (old && old != menu) DestroyMenu(old);
        }
        // Plug-in items would be appended to the Plug-in menu here; with no
        // plug-in host, 1009 stays greyed.
        EnableCommand(CM_ABOUT_PLUGINS, false);
        if (!startup) {
            if (s.toolbar) DestroyWindow(s.toolbar);  // takes the combo box with it
            s.toolbar = nullptr;
            s.combo = nullptr;
            s.toolbar = CreateToolbar(s.frame, easy);
            if (s.toolbar) {
                RestoreToolbarLayout(s.toolbar, easy);
                PlaceCombo();
            }
        }
    }
    HMENU menu = GetMenu(s.frame);
    // A maximised child puts its system menu in front of the popups.
    int filePosition = 0;
    if (menu && GetMenuItemCount(menu) > 9) filePosition = 1;
    SetRecentFileMenu(menu ? GetSubMenu(menu, filePosition) : nullptr);
    RebuildRecentMenu(true);

    WindowHistory& w = Settings().window;
    if (s.toolbar) ShowWindow(s.toolbar, (w.shellFlags & kShellToolbar) ? SW_SHOW : SW_HIDE);
    if (s.status) ShowWindow(s.status, (w.shellFlags & kShellStatusBar) ? SW_SHOW : SW_HIDE);

    FlagWords f = ReadFlagWords(Settings());
    ApplyMenuModeClearing(f, easy);
    WriteFlagWords(Settings(), f);
    if (!easy) {
        // The document window enables these when its curve has distortion.
        for (int id = CM_DIST_FIRST; id <= CM_DIST_NONE; ++id) EnableCommand(id, false);
        EnableCommand(CM_DIST_PERCENT, false);
        EnableCommand(CM_DIST_LOG, false);
    }
    ApplyCheckMarks();
    RelayoutFrame();
    PostMessageA(s.frame, UM_UPDATEMENUS, 0, 0);
    RepaintKinds(kDocMeasurement, kDocQualityControl);
}

void UpdateMenus() {
    FrameState& s = Shell();
    ActiveContext c;
    HWND active = ActiveDocument();
    c.hasActive = active != nullptr;
    if (active) {
        c.kind = DocumentKindOf(active);
        if (c.kind == kDocMeasurement) {
            const auto* m = static_cast<const Measurement*>(DocumentDataOf(active));
            c.impedance = m && m->h.curveKind == kCurveImpedance;
        }
        c.hasUndo = HasUndo(active);
        c.zoomed = MeasurementZoomed(active);
    }
    c.tsBusy = s.tsMeasurementBusy;
    c.measuring = s.measurementBusy;
    for (const auto& [id, enabled] : UpdateMenuStates(c)) EnableCommand(id, enabled);
    if (c.hasActive && c.kind >= kDocDesignFirst && c.kind <= kDocDesignLast)
        RepaintKinds(kDocAnalysisFirst, kDocAnalysisLast);
}

// A menu item's text as help: the window list's "&1 " number and the
// mnemonic marks go.
static std::string PlainMenuText(const std::string& item) {
    size_t from = 0;
    if (item.size() > 2 && item[0] == '&' && std::isdigit(static_cast<unsigned char>(item[1]))) {
        from = 1;
        while (from < item.size() && std::isdigit(static_cast<unsigned char>(item[from]))) ++from;
        if (from < item.size() && item[from] == ' ') ++from;
    }
    std::string text;
    for (size_t i = from; i < item.size(); ++i) {
        if (item[i] == '&' && i + 1 < item.size()) ++i;  // "&&" stands for one
        if (item[i] == '\t') break;                      // the accelerator's text
        text += item[i];
    }
    return text;
}

void MenuSelectHelp(WPARAM wp, LPARAM lp) {
    FrameState& s = Shell();
    const UINT flags = HIWORD(wp);
    HMENU menu = reinterpret_cast<HMENU>(lp);
    MenuSelection sel;
    sel.closed = flags == 0xFFFF && !menu;
    sel.hasMenu = menu != nullptr;
    sel.systemMenu = (flags & MF_SYSMENU) != 0 && flags != 0xFFFF;
    sel.popup = (flags & MF_POPUP) != 0 && flags != 0xFFFF;
    sel.item = LOWORD(wp);
    BOOL maximised = FALSE;
    if (s.client) SendMessageA(s.client, WM_MDIGETACTIVE, 0, (LPARAM)&maximised);
    sel.childMaximised = maximised != FALSE;
    // A menu outside the frame's menu bar is a document window's context menu.
    sel.contextMenu = menu && s.frame && !MenuContains(GetMenu(s.frame), menu);
    const int id = MenuHelpId(sel, s.lastStatusId);
    if (sel.closed) {
        // The help of the last item must not stay beside the graph read-outs.
        s.lastStatusId = 0;
        SetStatusHelp("");
        return;
    }
    if (id == s.lastStatusId) return;
    s.lastStatusId = id;
    std::string text;
    if (id == 65535) {
        text.clear();
    } else if (!LoadStringId(id, text)) {
        char buffer[256] = "";
        if (menu) GetMenuStringA(menu, sel.item, buffer, sizeof buffer, (sel.popup ? MF_BYPOSITION : MF_BYCOMMAND));
        text = PlainMenuText(buffer);
    }
    SetStatusHelp(text);
}

}  // namespace srx
