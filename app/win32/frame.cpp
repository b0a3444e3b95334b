// The frame window: MDI client with its background, toolbar, status bar and
// clock, the private messages worker threads use, and shutdown.
#include "app/win32/frame.h"

#include <commctrl.h>
#include <mmsystem.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdlib>
#include <unordered_set>

#include "app/frame_title.h"
#include "app/settings.h"
#include "data/view_flags.h"
#include "app/win32/registry_store.h"
#include "app/win32/box_commands.h"
#include "app/win32/shell.h"
#include "app/win32/soundcard.h"
#include "measure/measurement_settings.h"
#include "measure/stimulus_files.h"
#include "app/win32/documents.h"
#include "data/records.h"
#include "dsp/distortion.h"
#include "dsp/frequency_response.h"
#include "platform/program_path.h"
#include "graph/readout.h"
#include "resources/command_ids.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"

namespace srx {

const char kFrameClass[] = "SON_RIX_WClass";

FrameState& Shell() {
    static FrameState state;
    return state;
}

namespace {

constexpr UINT_PTR kClockTimer = 1;
constexpr int kMinimumFrameHeight = 100;

WNDPROC g_clientProc = nullptr;

// The background picture, loaded once per path rather than at every erase.
struct Background {
    std::string path;
    HBITMAP bitmap = nullptr;
} g_background;

// Blocks handed out by UM_ALLOC. UM_FREE only releases blocks listed here,
// so a stray or repeated free cannot corrupt the heap.
std::unordered_set<void*> g_blocks;

HBITMAP BackgroundBitmap() {
    const std::string path = TextOf(Settings().window.backgroundBitmap);
    if (path != g_background.path) {
        if (g_background.bitmap) DeleteObject(g_background.bitmap);
        g_background.bitmap =
            path.empty() ? nullptr : (HBITMAP)LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE);
        g_background.path = path;
    }
    return g_background.bitmap;
}

// Stimuli and responses a run (or a crash) left behind in the wave folder;
// other wave files there are the user's and stay.
void ClearMeasurementWaves() {
    ClearWaveFiles(kClearStimuli);
    ClearWaveFiles(kClearResponses);
}

void ShowContextMenu(HWND client, LPARAM lp) {
    HMENU menu = LoadMenuA(Shell().instance, MAKEINTRESOURCEA(EasyMenu() ? 4 : 3));
    if (!menu) return;
    HMENU popup = GetSubMenu(menu, 0);
    POINT pt{(short)LOWORD(lp), (short)HIWORD(lp)};
    ClientToScreen(client, &pt);
    TrackPopupMenu(popup ? popup : menu, TPM_LEFTALIGN | TPM_RIGHTBUTTON, pt.x, pt.y, 0, Shell().frame, nullptr);
    DestroyMenu(menu);
}

LRESULT CALLBACK ClientProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_ERASEBKGND:
            if (!(Settings().window.shellFlags & kShellNoBackground)) {
                if (HBITMAP bitmap = BackgroundBitmap()) {
                    RECT rc;
                    GetClientRect(hwnd, &rc);
                    TileBitmap((HDC)wp, bitmap, rc);
                    return 1;
                }
            }
            break;
        case WM_RBUTTONDOWN: ShowContextMenu(hwnd, lp); return 0;
    }
    return CallWindowProcA(g_clientProc, hwnd, msg, wp, lp);
}

void ShowClock() {
    char text[64];
    if (Shell().status && GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, text, sizeof text))
        SendMessageA(Shell().status, SB_SETTEXTA, 6 | SBT_NOBORDERS, (LPARAM)text);
}

// Settings().window takes the frame's rectangle and maximised state, so that
// the next start puts it back. A maximised frame keeps its normal rectangle.
void RecordPlacement(HWND frame) {
    if (IsIconic(frame)) return;
    WindowHistory& w = Settings().window;
    w.frameMaximised = IsZoomed(frame) ? 1 : 0;
    if (w.frameMaximised) return;
    RECT rc;
    GetWindowRect(frame, &rc);
    w.frameLeft = rc.left;
    w.frameTop = rc.top;
    w.frameWidth = rc.right - rc.left;
    w.frameHeight = rc.bottom - rc.top;
}

bool CreateFrameChildren(HWND frame) {
    FrameState& s = Shell();
    s.frame = frame;
    CLIENTCREATESTRUCT ccs{};
    HMENU menu = GetMenu(frame);
    ccs.hWindowMenu = menu ? GetSubMenu(menu, kWindowMenuPosition) : nullptr;
    ccs.idFirstChild = kFirstChildId;
    s.client = CreateWindowExA(WS_EX_CLIENTEDGE | WS_EX_NOPARENTNOTIFY, "MDICLIENT", nullptr,
                               WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_VSCROLL | WS_HSCROLL, 0, 0, 0, 0,
                               frame, (HMENU)(INT_PTR)kClientId, s.instance, &ccs);
    if (!s.client) return false;
    g_clientProc = (WNDPROC)SetWindowLongPtrA(s.client, GWLP_WNDPROC, (LONG_PTR)ClientProc);
    ShowWindow(s.client, SW_SHOW);

    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);

    const bool easy = EasyMenu();
    s.toolbar = CreateToolbar(frame, easy);
    if (!s.toolbar) return false;
    RestoreToolbarLayout(s.toolbar, easy);
    PlaceCombo();  // the restored layout may have moved its button

    s.status = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, frame,
                               (HMENU)(INT_PTR)kStatusId, s.instance, nullptr);
    if (!s.status) return false;
    LayoutFrame();
    SetTimer(frame, kClockTimer, 1000, nullptr);
    ShowClock();
    ClearMeasurementWaves();

    PostMessageA(frame, UM_UPDATEMENUS, 0, 0);
    DragAcceptFiles(frame, TRUE);
    // Shown once the start-up card test (or the settings it opens) has
    // raised the frame, so that nothing comes up over the tip afterwards.
    s.tipPending = Settings().window.showTips != 0;
    // A configured card gets the start-up test; a fresh installation
    // without a card starts on the virtual loudspeaker; otherwise the
    // settings open so that the user chooses a card.
    PostStartupSoundcardCheck(frame);
    return true;
}

// Close, or the end of the Windows session: false when a document may not
// be closed (the caller then keeps the frame).
bool Shutdown(HWND frame, bool ask) {
    FrameState& s = Shell();
    if (ask && !QueryCloseAll()) return false;
    DestroyAllWindows();
    for (int i = 11; i >= 0; --i)
        if (HWND dialog = s.measurementDialogs[i].load(); dialog && IsWindow(dialog))
            SendMessageA(dialog, WM_CLOSE, 0, 0);
    s.measurementBusy = false;
    s.tsMeasurementBusy = false;
    if (s.toolbar) SaveToolbarLayout(s.toolbar, EasyMenu());
    SaveSettings();
    ClearMeasurementWaves();
    ShutdownProgramAudio();
    DeleteAllUndo();
    if (!s.helpFile.empty()) WinHelpA(frame, s.helpFile.c_str(), HELP_QUIT, 0);
    return true;
}

void DropFiles(HWND frame, HDROP drop) {
    HCURSOR old = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        char path[MAX_PATH];
        if (DragQueryFileA(drop, i, path, sizeof path)) OpenDocumentFile(frame, path);
    }
    DragFinish(drop);
    SetCursor(old);
}

void FrameCommand(HWND frame, WPARAM wp, LPARAM lp) {
    const int id = LOWORD(wp);
    const int code = HIWORD(wp);
    if (lp && (HWND)lp == Shell().combo) {
        // Only a new choice in the analysis-kind box is a command; its other
        // notices (drop-down, focus) would otherwise repeat it.
        if (code == CBN_SELCHANGE) ExecuteCommand(frame, id);
        return;
    }
    if (id >= 801 && id / 100 == 8) return;  // plug-in commands: no plug-in host yet
    if (id >= kFirstChildId && id < 1000) {
        // The Window menu's list of children belongs to the MDI client.
        DefFrameProcA(frame, Shell().client, WM_COMMAND, wp, lp);
        return;
    }
    const int command = ToolbarButtonCommand(id);
    ExecuteCommand(frame, command ? command : id);
}

LRESULT CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    FrameState& s = Shell();
    switch (msg) {
        case WM_CREATE: return CreateFrameChildren(hwnd) ? 0 : -1;
        case WM_SIZE: {
            if (wp == SIZE_MINIMIZED) return 0;
            RECT rc;
            GetWindowRect(hwnd, &rc);
            if (wp != SIZE_MAXIMIZED && rc.bottom - rc.top < kMinimumFrameHeight) {
                SetWindowPos(hwnd, nullptr, 0, 0, rc.right - rc.left, kMinimumFrameHeight,
                             SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
                return 0;
            }
            LayoutFrame();
            RecordPlacement(hwnd);
            return 0;
        }
        case WM_MOVE:
            PostMessageA(hwnd, UM_UPDATEMENUS, 0, 0);
            // A moved frame should also come back where it was left.
            RecordPlacement(hwnd);
            break;
        case WM_CLOSE:
            if (Shutdown(hwnd, true)) DestroyWindow(hwnd);
            return 0;
        case WM_QUERYENDSESSION: return QueryCloseAll() ? TRUE : FALSE;
        case WM_ENDSESSION:
            // The save questions were asked by WM_QUERYENDSESSION.
            if (wp) Shutdown(hwnd, false);
            return 0;
        case WM_DESTROY:
            KillTimer(hwnd, kClockTimer);
            if (s.arialFont) {
                DeleteObject(s.arialFont);
                s.arialFont = nullptr;
            }
            if (g_background.bitmap) DeleteObject(g_background.bitmap);
            g_background = {};
            s.frame = s.client = s.toolbar = s.combo = s.status = nullptr;
            PostQuitMessage(0);
            return 0;
        case WM_DROPFILES: DropFiles(hwnd, (HDROP)wp); return 0;
        case WM_COMMAND: FrameCommand(hwnd, wp, lp); return 0;
        case WM_NOTIFY: {
            bool handled = false;
            LRESULT r = ToolbarNotify(hwnd, (NMHDR*)lp, &handled);
            if (handled) return r;
            break;
        }
        case WM_MENUSELECT: MenuSelectHelp(wp, lp); break;
        case WM_TIMER:
            if (wp == kClockTimer) ShowClock();
            return 0;
        case MM_MCINOTIFY: return 0;  // "Listen to" playback comes with the wave engine
        case UM_SHOWFRAME: {
            if (IsIconic(hwnd)) ShowWindow(hwnd, SW_RESTORE);
            BringWindowToTop(hwnd);
            // A modal dialog of the frame (Tip of the Day at start-up) has
            // the input: it goes above the frame, which stays disabled.
            HWND popup = GetLastActivePopup(hwnd);
            HWND top = popup && popup != hwnd && IsWindowVisible(popup) ? popup : hwnd;
            if (top != hwnd) BringWindowToTop(top);
            SetActiveWindow(top);
            if (s.tipPending) {
                s.tipPending = false;
                PostMessageA(hwnd, WM_COMMAND, CM_TIP, 0);
            }
            return 1;
        }
        case UM_CREATEDOC: return (LRESULT)CreateDocumentWindow(nullptr, (int)wp, (void*)lp);
        case UM_UPDATEMENUS: UpdateMenus(); return 0;
        case UM_ALLOC: {
            void* block = std::malloc(lp > 0 ? (size_t)lp : 1);
            if (block) {
                try {
                    g_blocks.insert(block);
                } catch (...) {
                    std::free(block);
                    block = nullptr;
                }
            }
            return (LRESULT)block;
        }
        case UM_FREE: {
            auto it = g_blocks.find((void*)lp);
            if (it == g_blocks.end()) return 0;
            std::free(*it);
            g_blocks.erase(it);
            return 1;
        }
        case UM_MEASUREDONE:
            // Asynchronous and without the default sound: a missing file is silence.
            if (CurrentMeasurementSettings().flags & kMsfPlayFinishedSound)
                PlaySoundA(JoinProgramPath(s.programFolder, "FINISHED.WAV").c_str(), nullptr,
                           SND_FILENAME | SND_ASYNC | SND_NODEFAULT);
            return 0;
        case UM_ACTIVATECHILD:
            if (lp) SendMessageA(s.client, WM_MDIACTIVATE, (WPARAM)lp, 0);
            return 0;
        case UM_OPENLISTED: OpenListedFiles(); return 1;
        case UM_CARDTEST: return RunCardTest(hwnd);
        case UM_RECOMPUTETHD: RecomputeOpenDistortion(); return 0;
        case UM_BOXCOMMIT: return CommitBoxDesign(int(wp), reinterpret_cast<const BoxDesign*>(lp));
    }
    return DefFrameProcA(hwnd, s.client, msg, wp, lp);
}

}  // namespace

void RecomputeOpenDistortion() {
    const uint32_t harmonics = CurrentAnalysisSettings().thdHarmonics;
    for (HWND w : DocumentWindows()) {
        if (DocumentKindOf(w) != kDocMeasurement) continue;
        auto* m = static_cast<Measurement*>(DocumentDataOf(w));
        if (!m || !(m->h.flags & kMesDistortion)) continue;
        ComputeDistortion(*m, harmonics);
        InvalidateRect(w, nullptr, TRUE);
    }
}

void StatusPartEdges(int width, int paneWidth, int edges[7]) {
    constexpr int kClockWidth = 80;
    paneWidth = std::clamp(paneWidth, 0, 10000);
    for (int i = 0; i < 6; ++i) {
        const int e = width - kClockWidth - (5 - i) * paneWidth;
        edges[i] = e < 0 ? 0 : e;
    }
    edges[6] = -1;
}

int ReadoutPaneWidth(HWND status) {
    constexpr int kMinPaneWidth = 80;
    if (!status) return kMinPaneWidth;
    HDC dc = GetDC(status);
    if (!dc) return kMinPaneWidth;
    // The control draws with the font it was given, else with the system's
    // status-bar font.
    HFONT own = nullptr;
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(status, WM_GETFONT, 0, 0));
    if (!font) {
        NONCLIENTMETRICSA ncm{};
        ncm.cbSize = sizeof ncm;
        if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0))
            own = font = CreateFontIndirectA(&ncm.lfStatusFont);
    }
    HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    int widest = 0;
    for (const std::string& text : WidestReadoutTexts()) {
        SIZE size{};
        if (GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size))
            widest = std::max<int>(widest, size.cx);
    }
    if (old) SelectObject(dc, old);
    if (own) DeleteObject(own);
    ReleaseDC(status, dc);
    // The pane's sunken edge and the control's text margin on both sides.
    const int borders = 4 * GetSystemMetrics(SM_CXEDGE) + 6;
    return std::max(kMinPaneWidth, widest + borders);
}

void TileBitmap(HDC dc, HBITMAP bitmap, const RECT& rect) {
    BITMAP bm{};
    if (!GetObjectA(bitmap, sizeof bm, &bm) || bm.bmWidth <= 0 || bm.bmHeight <= 0) return;
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, bitmap);
    for (int y = 0; y < rect.bottom; y += bm.bmHeight)
        for (int x = 0; x < rect.right; x += bm.bmWidth) BitBlt(dc, x, y, bm.bmWidth, bm.bmHeight, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
}

void LayoutFrame() {
    FrameState& s = Shell();
    if (!s.frame || !s.client) return;
    RECT rc;
    GetClientRect(s.frame, &rc);
    int top = 0, bottom = rc.bottom;
    if (s.toolbar) {
        SendMessageA(s.toolbar, TB_AUTOSIZE, 0, 0);
        if (IsWindowVisible(s.toolbar)) {
            RECT tb;
            GetWindowRect(s.toolbar, &tb);
            top = tb.bottom - tb.top;
        }
    }
    if (s.status) {
        SendMessageA(s.status, WM_SIZE, 0, 0);
        RECT sb;
        GetClientRect(s.status, &sb);
        int edges[7];
        StatusPartEdges(sb.right, ReadoutPaneWidth(s.status), edges);
        SendMessageA(s.status, SB_SETPARTS, 7, (LPARAM)edges);
        if (IsWindowVisible(s.status)) {
            GetWindowRect(s.status, &sb);
            bottom -= sb.bottom - sb.top;
        }
    }
    MoveWindow(s.client, 0, top, rc.right, bottom > top ? bottom - top : 0, TRUE);
}

bool RegisterFrameClass(HINSTANCE instance, bool easyMenu) {
    UnregisterClassA(kFrameClass, instance);
    WNDCLASSA wc{};
    wc.lpfnWndProc = FrameProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszMenuName = MAKEINTRESOURCEA(easyMenu ? 2 : 1);
    wc.lpszClassName = kFrameClass;
    return RegisterClassA(&wc) != 0;
}

HWND CreateFrame(HINSTANCE instance) {
    FrameState& s = Shell();
    s.instance = instance;
    if (s.programFolder.empty()) s.programFolder = ProgramFolderOf(instance);
    const std::string title = ChooseFrameTitle(s.programFolder + "SRWT.TXT", StringText(kStrFrameTitle));
    const WindowHistory& w = Settings().window;
    // Only Windows 95/98 drew the extra window edge; every system this runs
    // on today is of the NT line, which does not.
    HWND frame = CreateWindowExA(0, kFrameClass, title.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, w.frameLeft,
                                 w.frameTop, w.frameWidth, w.frameHeight, nullptr, nullptr, instance, nullptr);
    if (!frame) s.frame = nullptr;
    return frame;
}

}  // namespace srx
