// Document windows: the child class and its window procedure, creation,
// titles, finding windows by kind, the save questions and saving.
#include "app/win32/documents.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "app/documents_model.h"
#include "app/command_rules.h"
#include "app/settings.h"
#include "app/win32/design_commands.h"
#include "data/view_flags.h"
#include "app/win32/shell.h"
#include "data/native_files.h"
#include "design/design_slot.h"
#include "resources/string_table.h"

namespace srx {

const char kChildClass[] = "SON_CHILD_WClass";

namespace {

constexpr int kWordKind = 0;
constexpr int kWordData = sizeof(LONG_PTR);
constexpr int kWordScroll = 2 * sizeof(LONG_PTR);  // design windows: report scroll position

struct KindHooks {
    int low, high;
    DocumentKindHooks hooks;
};
std::vector<KindHooks>& HookTable() {
    static std::vector<KindHooks> table;
    return table;
}

const DocumentKindHooks* HooksOf(int kind) {
    const auto& table = HookTable();
    for (auto it = table.rbegin(); it != table.rend(); ++it)
        if (kind >= it->low && kind <= it->high) return &it->hooks;
    return nullptr;
}

void (*g_measurementClosing)(Measurement*) = nullptr;
DocumentAskHook g_ask = nullptr;

// Kind and data of the window being created, taken over in WM_NCCREATE so
// that no message of the window sees empty words.
struct PendingWindow {
    int kind;
    void* data;
};
PendingWindow* g_pending = nullptr;

bool IsTimeRecordKind(int kind) { return kind == kDocImpulse || kind == kDocWaterfall || kind == kDocStep; }
bool IsDesignKind(int kind) { return kind >= kDocDesignFirst && kind <= kDocDesignLast; }

void PostUpdateMenus() {
    if (Shell().frame) PostMessageA(Shell().frame, UM_UPDATEMENUS, 0, 0);
}

// Saved state of a window's record; true for kinds with nothing to save.
bool RecordSaved(int kind, void* data) {
    if (!data) return true;
    switch (kind) {
        case kDocMeasurement: return (static_cast<Measurement*>(data)->h.flags & kMesSaved) != 0;
        case kDocImpulse:
        case kDocWaterfall:
        case kDocStep: return (static_cast<TimeRecord*>(data)->h.flags & kTwfSaved) != 0;
        case kDocEtc: return (static_cast<EtcRecord*>(data)->h.flags & kEtcSaved) != 0;
        default: break;
    }
    const DocumentKindHooks* hooks = HooksOf(kind);
    return !hooks || !hooks->isSaved || hooks->isSaved(data);
}

std::string RecordTitle(int kind, void* data) {
    switch (kind) {
        case kDocMeasurement: return TextOf(static_cast<Measurement*>(data)->h.title);
        case kDocImpulse:
        case kDocWaterfall:
        case kDocStep: return TextOf(static_cast<TimeRecord*>(data)->h.title);
        case kDocEtc: return TextOf(static_cast<EtcRecord*>(data)->h.title);
        default: break;
    }
    const DocumentKindHooks* hooks = HooksOf(kind);
    return hooks && hooks->name ? hooks->name(data) : std::string();
}

// The save question of a window's record. 1: go on (saved or declined),
// 0: keep everything (Cancel, or the save failed).
int AskToSave(HWND window, int kind, void* data) {
    if (RecordSaved(kind, data)) return 1;
    const int question = kind == kDocXoverSchematic ? 2381 : 2305;
    const int answer =
        AskDocument(window, question, MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON3, RecordTitle(kind, data));
    if (answer == IDCANCEL) return 0;
    if (answer != IDYES) return 1;
    // A failed or cancelled save must not lose the record.
    return SaveDocument(window, false) ? 1 : 0;
}

bool AsksBeforeClosing(HWND window, int kind, void* data) {
    switch (kind) {
        case kDocMeasurement:
        case kDocEtc:
        case kDocXoverSchematic: return true;
        case kDocImpulse:
        case kDocWaterfall:
        case kDocStep: return OtherTimeRecordWindow(window, data) == nullptr;
        default: return false;
    }
}

void ReleaseData(HWND window, int kind, void* data) {
    if (!data) return;
    switch (kind) {
        case kDocMeasurement: {
            auto* m = static_cast<Measurement*>(data);
            if (g_measurementClosing) g_measurementClosing(m);
            delete m;
            return;
        }
        case kDocImpulse:
        case kDocWaterfall:
        case kDocStep:
            if (!OtherTimeRecordWindow(window, data)) delete static_cast<TimeRecord*>(data);
            return;
        case kDocEtc: delete static_cast<EtcRecord*>(data); return;
        default: break;
    }
    if (IsDesignKind(kind)) return;  // the slots are process-wide
    const DocumentKindHooks* hooks = HooksOf(kind);
    if (hooks && hooks->release) hooks->release(data);
}

void UpdateDesignScroll(HWND window) {
    RECT rc;
    GetClientRect(window, &rc);
    HDC dc = GetDC(window);
    RECT none = {0, 0, 0, 0};
    // Measuring: nothing is visible in an empty rectangle.
    const int height = PaintDesignReport(dc, none, DocumentKindOf(window), 0);
    ReleaseDC(window, dc);
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    si.nMin = 0;
    si.nMax = std::max(0, height - 1);
    si.nPage = static_cast<UINT>(std::max<LONG>(0, rc.bottom - rc.top));
    si.nPos = static_cast<int>(GetWindowLongPtrA(window, kWordScroll));
    const int top = std::max(0, std::min(si.nPos, height - static_cast<int>(si.nPage)));
    si.nPos = top;
    SetWindowLongPtrA(window, kWordScroll, top);
    SetScrollInfo(window, SB_VERT, &si, TRUE);
}

void ScrollDesign(HWND window, WPARAM wp) {
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    GetScrollInfo(window, SB_VERT, &si);
    int pos = si.nPos;
    switch (LOWORD(wp)) {
        case SB_LINEUP: pos -= 15; break;
        case SB_LINEDOWN: pos += 15; break;
        case SB_PAGEUP: pos -= static_cast<int>(si.nPage); break;
        case SB_PAGEDOWN: pos += static_cast<int>(si.nPage); break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: pos = si.nTrackPos; break;
        case SB_TOP: pos = 0; break;
        case SB_BOTTOM: pos = si.nMax; break;
        default: return;
    }
    pos = std::max(0, std::min(pos, si.nMax - static_cast<int>(si.nPage) + 1));
    SetWindowLongPtrA(window, kWordScroll, pos);
    si.fMask = SIF_POS;
    si.nPos = pos;
    SetScrollInfo(window, SB_VERT, &si, TRUE);
    InvalidateRect(window, nullptr, TRUE);
}

// The context menu of the window's kind at the pointer (or, from the
// keyboard, the window's centre); its commands go to the frame, which
// carries them out on the active window, so the window is activated first.
void ShowDocumentContextMenu(HWND window, LPARAM lp) {
    const int kind = DocumentKindOf(window);
    bool impedance = false;
    if (kind == kDocMeasurement)
        if (const auto* m = static_cast<const Measurement*>(DocumentDataOf(window)))
            impedance = m->h.curveKind == kCurveImpedance;
    const int id = ContextMenuFor(kind, impedance, EasyMenu());
    HMENU menu = id ? LoadMenuA(Shell().instance, MAKEINTRESOURCEA(id)) : nullptr;
    if (!menu) return;
    if (Shell().client) SendMessageA(Shell().client, WM_MDIACTIVATE, WPARAM(window), 0);
    POINT pt{short(LOWORD(lp)), short(HIWORD(lp))};
    if (lp == -1) {
        RECT rc;
        GetClientRect(window, &rc);
        pt = {rc.right / 2, rc.bottom / 2};
        ClientToScreen(window, &pt);
    }
    HMENU popup = GetSubMenu(menu, 0);
    // Its view toggles show their state as the main menu's do.
    const FlagWords flags = ReadFlagWords(Settings());
    for (int command : FlaggedCommands())
        CheckMenuItem(menu, UINT(command), MF_BYCOMMAND | (IsFlagChecked(command, flags) ? MF_CHECKED : MF_UNCHECKED));
    TrackPopupMenu(popup ? popup : menu, TPM_LEFTALIGN | TPM_RIGHTBUTTON, pt.x, pt.y, 0, Shell().frame, nullptr);
    DestroyMenu(menu);
}

LRESULT CALLBACK DocumentProc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg != WM_NCCREATE) {
        const DocumentKindHooks* hooks = HooksOf(static_cast<int>(GetWindowLongPtrA(window, kWordKind)));
        LRESULT result = 0;
        if (hooks && hooks->message && hooks->message(window, msg, wp, lp, &result)) return result;
    }
    switch (msg) {
        case WM_NCCREATE:
            if (g_pending) {
                SetWindowLongPtrA(window, kWordKind, g_pending->kind);
                SetWindowLongPtrA(window, kWordData, reinterpret_cast<LONG_PTR>(g_pending->data));
                g_pending = nullptr;
            }
            break;
        case WM_MDIACTIVATE: {
            const int kind = DocumentKindOf(window);
            if (reinterpret_cast<HWND>(lp) == window && IsDesignKind(kind) && Shell().designFollowsActivation)
                Shell().activeDesign = kind;
            PostUpdateMenus();
            break;
        }
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(window, &ps);
            RECT rc;
            GetClientRect(window, &rc);
            PaintDocument(window, dc, rc, false);
            EndPaint(window, &ps);
            return 0;
        }
        case WM_SIZE:
            if (IsDesignKind(DocumentKindOf(window))) UpdateDesignScroll(window);
            break;
        case WM_CONTEXTMENU: ShowDocumentContextMenu(window, lp); return 0;
        case WM_VSCROLL:
            if (IsDesignKind(DocumentKindOf(window))) {
                ScrollDesign(window, wp);
                return 0;
            }
            break;
        case WM_CLOSE: {
            const int kind = DocumentKindOf(window);
            void* data = DocumentDataOf(window);
            if (AsksBeforeClosing(window, kind, data) && !AskToSave(window, kind, data)) return 0;
            break;
        }
        case WM_DESTROY: {
            const int kind = DocumentKindOf(window);
            void* data = DocumentDataOf(window);
            SetWindowLongPtrA(window, kWordData, 0);
            DiscardUndo(window, true);
            ForgetUndoWindow(window);
            ReleaseData(window, kind, data);
            PostUpdateMenus();
            break;
        }
        default: break;
    }
    return DefMDIChildProcA(window, msg, wp, lp);
}

bool IsDocumentWindow(HWND window) {
    if (!window || !IsWindow(window)) return false;
    char cls[64] = {};
    GetClassNameA(window, cls, sizeof cls);
    return lstrcmpiA(cls, kChildClass) == 0;
}

}  // namespace

// ---- Hooks ------------------------------------------------------------------

void RegisterDocumentKinds(int low, int high, const DocumentKindHooks& hooks) {
    HookTable().push_back({low, high, hooks});
}

void SetMeasurementClosingHook(void (*hook)(Measurement*)) { g_measurementClosing = hook; }

void SetDocumentAskHook(DocumentAskHook hook) { g_ask = hook; }

int AskDocument(HWND owner, int stringId, UINT flags, const std::string& argument, int captionId) {
    if (g_ask) return g_ask(owner, stringId, flags, argument);
    if (captionId) return MessageBoxA(owner, StringText(stringId), StringText(captionId), flags);
    // The argument travels as text; a message that formats a number gets it back as one.
    if (std::strstr(StringText(stringId), "%d"))
        return MessageBoxIdf(owner, stringId, flags, std::atoi(argument.c_str()));
    return MessageBoxIdf(owner, stringId, flags, argument.c_str());
}

void ShowStatus(HWND owner, const Status& status) {
    if (status.ok()) return;
    AskDocument(owner, status.stringId, MB_OK | MB_ICONSTOP, status.args.empty() ? std::string() : status.args[0]);
}

// ---- Class and creation -------------------------------------------------------

bool RegisterDocumentClass(HINSTANCE instance) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExA(instance, kChildClass, &wc)) return true;
    wc = WNDCLASSEXA{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = DocumentProc;
    wc.cbWndExtra = 3 * sizeof(LONG_PTR);
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(2));
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kChildClass;
    return RegisterClassExA(&wc) != 0;
}

HWND CreateDocumentWindow(const char* title, int kind, void* data) {
    FrameState& shell = Shell();
    if (!shell.client) return nullptr;
    const std::string text = title && *title ? std::string(title) : NoNameTitle(shell.activeDesign + 1);

    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_OVERLAPPEDWINDOW;
    const bool design = IsDesignKind(kind);
    if (design) style |= WS_VSCROLL;
    if (kind == kDocXoverSchematic) style |= WS_VSCROLL | WS_HSCROLL;
    // A new window joins a maximised one maximised rather than restoring it.
    BOOL maximised = FALSE;
    SendMessageA(shell.client, WM_MDIGETACTIVE, 0, reinterpret_cast<LPARAM>(&maximised));
    if (maximised) style |= WS_MAXIMIZE;

    PendingWindow pending{kind, data};
    g_pending = &pending;
    HINSTANCE instance = shell.instance ? shell.instance : GetModuleHandleA(nullptr);
    HWND window = CreateWindowExA(WS_EX_MDICHILD | WS_EX_CLIENTEDGE | WS_EX_WINDOWEDGE | WS_EX_CONTROLPARENT,
                                  kChildClass, text.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, shell.client, nullptr, instance, nullptr);
    g_pending = nullptr;
    if (!window) return nullptr;
    // The words again, in case the system created the window through a path
    // that bypassed WM_NCCREATE's hand-over.
    SetWindowLongPtrA(window, kWordKind, kind);
    SetWindowLongPtrA(window, kWordData, reinterpret_cast<LONG_PTR>(data));

    if (design) {
        RECT rc;
        GetWindowRect(window, &rc);
        SetWindowPos(window, nullptr, 0, 0, 250, rc.bottom - rc.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        UpdateDesignScroll(window);
    } else if (kind != kDocXoverSchematic) {
        ShowScrollBar(window, SB_BOTH, FALSE);
    }
    ShowWindow(window, SW_SHOW);
    SendMessageA(shell.client, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(window), 0);
    if (!design && kind != kDocCyclicMls && kind != kDocQualityControl) PostUpdateMenus();
    return window;
}

int DocumentKindOf(HWND child) {
    if (!IsDocumentWindow(child)) return -1;
    return static_cast<int>(GetWindowLongPtrA(child, kWordKind));
}

void* DocumentDataOf(HWND child) {
    if (!IsDocumentWindow(child)) return nullptr;
    return reinterpret_cast<void*>(GetWindowLongPtrA(child, kWordData));
}

HWND ActiveDocument() {
    if (!Shell().client) return nullptr;
    HWND active = reinterpret_cast<HWND>(SendMessageA(Shell().client, WM_MDIGETACTIVE, 0, 0));
    return IsDocumentWindow(active) ? active : nullptr;
}

// ---- Finding windows ------------------------------------------------------------

std::string WindowTitle(HWND window) {
    char text[520] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::vector<HWND> DocumentWindows() {
    std::vector<HWND> list;
    if (!Shell().client) return list;
    for (HWND w = GetWindow(Shell().client, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT))
        if (!GetWindow(w, GW_OWNER) && IsDocumentWindow(w)) list.push_back(w);
    return list;
}

HWND OtherTimeRecordWindow(HWND window, const void* record) {
    if (!record) return nullptr;
    for (HWND w : DocumentWindows())
        if (w != window && IsTimeRecordKind(DocumentKindOf(w)) && DocumentDataOf(w) == record) return w;
    return nullptr;
}

void MakeTitleUnique(HWND window) {
    if (!IsDocumentWindow(window)) return;
    std::vector<std::string> others;
    for (HWND w : DocumentWindows())
        if (w != window) others.push_back(WindowTitle(w));
    const std::string title = WindowTitle(window);
    const std::string unique = UniqueTitle(title, others);
    if (unique != title) SetWindowTextA(window, unique.c_str());
}

HWND FindWindowOfKind(int kind) {
    for (HWND w : DocumentWindows())
        if (DocumentKindOf(w) == kind) return w;
    return nullptr;
}

int CountWindowsOfKind(int kind) {
    int n = 0;
    for (HWND w : DocumentWindows())
        if (DocumentKindOf(w) == kind) ++n;
    return n;
}

int FirstFreeKind(int low, int high) {
    std::set<int> used;
    for (HWND w : DocumentWindows()) used.insert(DocumentKindOf(w));
    for (int k = low; k <= high; ++k)
        if (!used.count(k)) return k;
    return -1;
}

void RepaintKinds(int low, int high) {
    for (HWND w : DocumentWindows()) {
        const int kind = DocumentKindOf(w);
        if (kind >= low && kind <= high && !IsIconic(w)) InvalidateRect(w, nullptr, TRUE);
    }
}

void CloseKinds(int low, int high) {
    // A window may refuse (Cancel on its save question): it is asked once,
    // not again and again.
    std::set<HWND> refused;
    for (;;) {
        HWND next = nullptr;
        for (HWND w : DocumentWindows()) {
            const int kind = DocumentKindOf(w);
            if (kind >= low && kind <= high && !refused.count(w)) {
                next = w;
                break;
            }
        }
        if (!next) return;
        SendMessageA(next, WM_CLOSE, 0, 0);
        if (IsWindow(next)) refused.insert(next);
    }
}

HWND ActivateFirstOfKinds(int low, int high) {
    for (HWND w : DocumentWindows()) {
        const int kind = DocumentKindOf(w);
        if (kind < low || kind > high) continue;
        BringWindowToTop(w);
        if (IsIconic(w)) SendMessageA(Shell().client, WM_MDIRESTORE, reinterpret_cast<WPARAM>(w), 0);
        SendMessageA(Shell().client, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(w), 0);
        return w;
    }
    return nullptr;
}

void DestroyAllWindows() {
    for (;;) {
        std::vector<HWND> list = DocumentWindows();
        if (list.empty()) return;
        SendMessageA(Shell().client, WM_MDIDESTROY, reinterpret_cast<WPARAM>(list.front()), 0);
        if (IsWindow(list.front())) return;  // the client would not destroy it; do not spin
    }
}

// ---- Save questions -------------------------------------------------------------

int QuerySaveDesign(int slot, bool reset) {
    if (slot < 0 || slot >= kDesignSlotCount) return 0;
    DesignSlot& s = DesignSlots()[slot];
    HWND owner = Shell().frame;
    if (s.flags & kSlotDialogOpen) {
        AskDocument(owner, 2329, MB_OK | MB_ICONSTOP);
        return 0;
    }
    if ((s.flags & kSlotHasUnit) && (s.flags & kSlotUnsaved)) {
        const int answer =
            AskDocument(owner, 2304, MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON3, std::to_string(slot + 1));
        if (answer == IDCANCEL) return 0;
        // Saved directly rather than through the frame's Save as, which
        // works on the active window, and that need not be this slot's.
        if (answer == IDYES && !SaveDesignSlot(owner, slot, true)) return 0;
    }
    if (reset || !(s.flags & kSlotHasUnit)) ResetDesignSlot(slot);
    return 1;
}

int QueryCloseAll() {
    FrameState& shell = Shell();
    const bool follows = shell.designFollowsActivation.exchange(false);
    int result = 1;
    // An impulse and its waterfall share one record: one question for both.
    std::set<void*> answered;
    for (HWND w : DocumentWindows()) {
        if (!IsWindow(w)) continue;
        const int kind = DocumentKindOf(w);
        void* data = DocumentDataOf(w);
        if (IsDesignKind(kind)) {
            if (!(DesignSlots()[kind].flags & kSlotHasUnit)) continue;
            if (!QuerySaveDesign(kind, true)) {
                result = 0;
                break;
            }
            RepaintKinds(kDocAnalysisFirst, kDocAnalysisLast);
            continue;
        }
        const bool asks =
            kind == kDocMeasurement || kind == kDocEtc || kind == kDocXoverSchematic || IsTimeRecordKind(kind);
        if (!asks || !data || answered.count(data)) continue;
        answered.insert(data);
        if (!AskToSave(w, kind, data)) {
            result = 0;
            break;
        }
    }
    shell.designFollowsActivation = follows;
    return result;
}

// ---- Saving ---------------------------------------------------------------------

namespace {

// Asks for a file name; false when the user cancelled.
bool AskSaveName(HWND owner, NativeKind nativeKind, const std::string& currentPath, const std::string& title,
                 std::string& chosen) {
    const SaveDialogText text = SaveDialogFor(nativeKind);
    char path[256] = {};
    const std::string offer =
        !currentPath.empty() && currentPath.size() < sizeof path ? currentPath : DefaultSaveFileName(title, nativeKind);
    std::snprintf(path, sizeof path, "%s", offer.c_str());
    const std::string filter = StringList(text.filterId);
    if (FileDialog(owner, path, filter.c_str(), StringText(text.titleId), false, 1) != 1) return false;
    chosen = path;
    return !chosen.empty();
}

template <typename Record, typename Writer>
int SaveRecord(HWND window, Record& r, NativeKind nativeKind, bool askName, Writer write) {
    std::string path = TextOf(r.h.path);
    if (askName || path.empty()) {
        if (!AskSaveName(window, nativeKind, path, TextOf(r.h.title), path)) return 0;
    }
    const Status status = write(r, path);
    if (!status) {
        ShowStatus(window, status);
        return 0;
    }
    PostUpdateMenus();
    return 1;
}

}  // namespace

int SaveDocument(HWND window, bool askName) {
    const int kind = DocumentKindOf(window);
    void* data = DocumentDataOf(window);
    switch (kind) {
        case kDocMeasurement:
            if (!data) return 0;
            return SaveRecord(window, *static_cast<Measurement*>(data), NativeKind::Measurement, askName,
                              [](Measurement& m, const std::string& p) { return SaveMeasurement(m, p); });
        case kDocImpulse:
        case kDocWaterfall:
        case kDocStep: {
            if (!data) return 0;
            auto& t = *static_cast<TimeRecord*>(data);
            return SaveRecord(window, t, KindOf(t), askName,
                              [](TimeRecord& r, const std::string& p) { return SaveTimeRecord(r, p); });
        }
        case kDocEtc:
            if (!data) return 0;
            return SaveRecord(window, *static_cast<EtcRecord*>(data), NativeKind::EnergyTimeCurve, askName,
                              [](EtcRecord& e, const std::string& p) { return SaveEtc(e, p); });
        default: break;
    }
    if (IsDesignKind(kind)) return SaveDesignSlot(window, kind, askName);
    const DocumentKindHooks* hooks = HooksOf(kind);
    return hooks && hooks->save ? hooks->save(window, askName) : 0;
}

// ---- Painting -------------------------------------------------------------------

bool PaintsGraphBackground(int kind) {
    return (kind >= kDocMeasurement && kind <= kDocStep) || kind == kDocXoverResponse || kind == kDocXoverImpulse ||
           kind == kDocCyclicMls || kind == kDocQualityControl;
}

COLORREF BackgroundColourOf(int kind) {
    if (!PaintsGraphBackground(kind)) return RGB(255, 255, 255);
    return static_cast<COLORREF>(Settings().window.appearance.screenColours.background & 0x00FFFFFF);
}

void PaintDocument(HWND window, HDC dc, const RECT& area, bool clipboard) {
    const int kind = DocumentKindOf(window);
    HBRUSH brush = CreateSolidBrush(BackgroundColourOf(kind));
    FillRect(dc, &area, brush);
    DeleteObject(brush);
    const DocumentKindHooks* hooks = HooksOf(kind);
    if (hooks && hooks->paint) {
        hooks->paint(window, dc, area, clipboard);
        return;
    }
    // The graph painters are not there yet; design windows show their report.
    if (IsDesignKind(kind)) PaintDesignReport(dc, area, kind, static_cast<int>(GetWindowLongPtrA(window, kWordScroll)));
}

}  // namespace srx
