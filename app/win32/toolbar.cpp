// The toolbar, its analysis-kind combo box and its customisation.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/command_rules.h"
#include "app/settings.h"
#include "data/view_flags.h"
#include "app/win32/commands_internal.h"
#include "app/win32/shell.h"
#include "resources/command_ids.h"
#include "resources/string_ids.h"

namespace srx {

namespace {

constexpr int kComboWidth = 220;
constexpr int kComboHeight = 100;
constexpr int kFirstCurveKindName = 2001;
constexpr int kCurveKindCount = 19;

TBBUTTON ButtonFor(int id) {
    TBBUTTON b{};
    if (id == kSeparator) {
        b.fsStyle = BTNS_SEP;
        return b;
    }
    const ToolbarButtonInfo* info = FindToolbarButton(id);
    b.iBitmap = info ? info->bitmap : 0;
    b.idCommand = id;
    b.fsState = TBSTATE_ENABLED;
    b.fsStyle = BTNS_BUTTON;
    return b;
}

void InsertLayout(HWND toolbar, const std::vector<int>& layout) {
    std::vector<TBBUTTON> buttons;
    for (int id : layout) buttons.push_back(ButtonFor(id));
    SendMessageA(toolbar, TB_ADDBUTTONSA, buttons.size(), (LPARAM)buttons.data());
    SendMessageA(toolbar, TB_AUTOSIZE, 0, 0);
}

std::string TipText(int id) {
    std::string text;
    if (!LoadStringId(id, text) && !LoadStringId(2228, text)) text = "Unknown";
    return text;
}

HWND CreateCombo(HWND toolbar) {
    FrameState& s = Shell();
    HWND combo = CreateWindowExA(0, "COMBOBOX", nullptr, WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWNLIST, 0, 0,
                                 kComboWidth, kComboHeight, toolbar, (HMENU)(INT_PTR)kComboId, s.instance, nullptr);
    if (!combo) return nullptr;
    if (!s.arialFont)
        s.arialFont = CreateFontA(15, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "Arial");
    SendMessageA(combo, WM_SETFONT, (WPARAM)s.arialFont, FALSE);
    // The list drops down as wide as its longest name, whatever the box's width.
    HDC dc = GetDC(combo);
    HGDIOBJ oldFont = dc ? SelectObject(dc, s.arialFont) : nullptr;
    int widest = 0;
    for (int i = 0; i < kCurveKindCount; ++i) {
        std::string name;
        if (!LoadStringId(kFirstCurveKindName + i, name)) name = TipText(kStrUnnamedCurveKind);
        SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM)name.c_str());
        SIZE size{};
        if (dc && GetTextExtentPoint32A(dc, name.c_str(), int(name.size()), &size))
            widest = std::max(widest, int(size.cx));
    }
    if (dc) {
        SelectObject(dc, oldFont);
        ReleaseDC(combo, dc);
    }
    SendMessageA(combo, CB_SETDROPPEDWIDTH, widest + GetSystemMetrics(SM_CXVSCROLL) + 8, 0);
    SendMessageA(combo, CB_SETCURSEL, 0, 0);
    return combo;
}

}  // namespace

int ToolbarButtonCommand(int buttonId) { return ToolbarCommandFor(buttonId); }

void PlaceCombo() {
    FrameState& s = Shell();
    if (!s.toolbar || !s.combo) return;
    const int index = (int)SendMessageA(s.toolbar, TB_COMMANDTOINDEX, TB_COMBO, 0);
    RECT rc{};
    if (index < 0 || !SendMessageA(s.toolbar, TB_GETITEMRECT, index, (LPARAM)&rc)) {
        // The button was removed by customisation: nowhere to sit.
        ShowWindow(s.combo, SW_HIDE);
        return;
    }
    SetWindowPos(s.combo, nullptr, rc.left, rc.top, kComboWidth, kComboHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(s.combo, SW_SHOW);
}

// Greyed copies of the button images for disabled buttons: dark strokes
// turn mid grey, the rest goes transparent (the face colour is the mask),
// as disabled buttons look elsewhere in Windows. Without this list some
// comctl32 builds draw disabled buttons as blank tiles.
static HIMAGELIST MakeDisabledImages(HINSTANCE instance) {
    HBITMAP source =
        static_cast<HBITMAP>(LoadImageA(instance, MAKEINTRESOURCEA(1), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!source) return nullptr;
    DIBSECTION dib{};
    HIMAGELIST list = nullptr;
    if (GetObjectA(source, sizeof dib, &dib) == sizeof dib && dib.dsBm.bmBitsPixel == 24 && dib.dsBm.bmBits) {
        auto* row = static_cast<unsigned char*>(dib.dsBm.bmBits);
        for (LONG y = 0; y < dib.dsBm.bmHeight; ++y, row += dib.dsBm.bmWidthBytes)
            for (LONG x = 0; x < dib.dsBm.bmWidth; ++x) {
                unsigned char* p = row + 3 * x;  // blue, green, red
                const int luminance = (p[0] * 29 + p[1] * 150 + p[2] * 77) >> 8;
                const unsigned char v = luminance < 160 ? 128 : 192;
                p[0] = p[1] = p[2] = v;
            }
        list = ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, kToolbarImageCount, 0);
        if (list && ImageList_AddMasked(list, source, RGB(192, 192, 192)) < 0) {
            ImageList_Destroy(list);
            list = nullptr;
        }
    }
    DeleteObject(source);
    return list;
}

// One list for every toolbar the menu mode rebuilds; it lives as long as
// the process.
static HIMAGELIST DisabledImages(HINSTANCE instance) {
    static HIMAGELIST list = MakeDisabledImages(instance);
    return list;
}

HWND CreateToolbar(HWND frame, bool easy) {
    FrameState& s = Shell();
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    DWORD style = WS_CHILD | WS_CLIPCHILDREN | TBSTYLE_TOOLTIPS | CCS_ADJUSTABLE;
    if (Settings().window.shellFlags & kShellFlatToolbar) style |= TBSTYLE_FLAT;
    if (Settings().window.shellFlags & kShellToolbar) style |= WS_VISIBLE;
    HINSTANCE instance = s.instance ? s.instance : GetModuleHandleA(nullptr);
    HWND toolbar = CreateWindowExA(0, TOOLBARCLASSNAMEA, nullptr, style, 0, 0, 0, 0, frame, (HMENU)(INT_PTR)kToolbarId,
                                   instance, nullptr);
    if (!toolbar) return nullptr;
    SendMessageA(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageA(toolbar, TB_SETBITMAPSIZE, 0, MAKELPARAM(16, 16));
    TBADDBITMAP bitmap{instance, 1};
    SendMessageA(toolbar, TB_ADDBITMAP, kToolbarImageCount, (LPARAM)&bitmap);
    if (HIMAGELIST disabled = DisabledImages(instance))
        SendMessageA(toolbar, TB_SETDISABLEDIMAGELIST, 0, (LPARAM)disabled);
    InsertLayout(toolbar, DefaultToolbarLayout(easy));
    s.toolbar = toolbar;
    s.combo = CreateCombo(toolbar);
    PlaceCombo();
    return toolbar;
}

LRESULT ToolbarNotify(HWND, NMHDR* header, bool* handled) {
    FrameState& s = Shell();
    bool done = true;
    LRESULT result = 0;
    switch (header->code) {
        case TBN_GETBUTTONINFOA: {
            auto* info = reinterpret_cast<NMTOOLBARA*>(header);
            const auto& palette = ToolbarPalette();
            if (info->iItem >= 0 && info->iItem < static_cast<int>(palette.size())) {
                info->tbButton = ButtonFor(palette[info->iItem].id);
                static std::string text;  // read by the toolbar before the next notice
                text = TipText(palette[info->iItem].id);
                if (info->pszText && info->cchText > 0) lstrcpynA(info->pszText, text.c_str(), info->cchText);
                info->cchText = static_cast<int>(text.size());
                result = TRUE;
            }
            break;
        }
        case TBN_GETBUTTONINFOW: {
            // Wine's and Windows' customise dialogs may ask in Unicode.
            auto* info = reinterpret_cast<NMTOOLBARW*>(header);
            const auto& palette = ToolbarPalette();
            if (info->iItem >= 0 && info->iItem < static_cast<int>(palette.size())) {
                info->tbButton = ButtonFor(palette[info->iItem].id);
                const std::string text = TipText(palette[info->iItem].id);
                if (info->pszText && info->cchText > 0)
                    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, info->pszText, info->cchText);
                info->cchText = static_cast<int>(text.size());
                result = TRUE;
            }
            break;
        }
        case TBN_QUERYINSERT:
        case TBN_QUERYDELETE: result = TRUE; break;
        case TBN_RESTORE: {
            // The saved layout holds only ids; the control drops every entry
            // left without an image, so each one is filled in here. Wine
            // stores separators as id 0.
            auto* r = reinterpret_cast<NMTBRESTORE*>(header);
            if (r->iItem >= 0) {
                const bool separator = (r->tbButton.fsStyle & BTNS_SEP) || r->tbButton.idCommand == kSeparator;
                if (separator || FindToolbarButton(r->tbButton.idCommand)) {
                    const BYTE state = r->tbButton.fsState & TBSTATE_HIDDEN;
                    r->tbButton = ButtonFor(separator ? kSeparator : r->tbButton.idCommand);
                    r->tbButton.fsState |= state;
                }
            }
            result = 0;  // go on with the next entry
            break;
        }
        case TBN_RESET: {
            HWND toolbar = header->hwndFrom;
            while (SendMessageA(toolbar, TB_DELETEBUTTON, 0, 0)) {
            }
            // The advanced layout in both modes: it is the full set.
            InsertLayout(toolbar, DefaultToolbarLayout(false));
            PlaceCombo();
            result = TRUE;
            break;
        }
        case TBN_TOOLBARCHANGE:
        case TBN_ENDADJUST: PlaceCombo(); break;
        case TTN_GETDISPINFOA: {
            auto* tip = reinterpret_cast<NMTTDISPINFOA*>(header);
            static std::string text;
            text = TipText(static_cast<int>(header->idFrom));
            tip->lpszText = const_cast<char*>(text.c_str());
            tip->hinst = nullptr;
            break;
        }
        case TTN_GETDISPINFOW: {
            auto* tip = reinterpret_cast<NMTTDISPINFOW*>(header);
            const std::string text = TipText(static_cast<int>(header->idFrom));
            MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, tip->szText, 80);
            tip->szText[79] = 0;
            tip->lpszText = tip->szText;
            tip->hinst = nullptr;
            break;
        }
        default: done = false;
    }
    (void)s;
    if (handled) *handled = done;
    return result;
}

}  // namespace srx
