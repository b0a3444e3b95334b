#pragma once
// The shell's shared interface: frame state, the frame's private messages and
// the functions the frame, the document windows and the command table call
// on each other. frame.cpp/startup (frame), documents.cpp (document
// windows, undo, clipboard) and commands.cpp/menus.cpp/toolbar.cpp (menus,
// toolbar, command table) each implement their part.
#include <windows.h>

#include <atomic>
#include <string>

#include "resources/status.h"

namespace srx {

// ---- Private messages of the frame -------------------------------------
constexpr UINT UM_SHOWFRAME = WM_USER + 8;
constexpr UINT UM_CREATEDOC = WM_USER + 9;  // wParam kind, lParam data; returns HWND
constexpr UINT UM_UPDATEMENUS = WM_USER + 10;
constexpr UINT UM_ALLOC = WM_USER + 11;  // lParam byte count; returns pointer
constexpr UINT UM_FREE = WM_USER + 12;   // lParam pointer; returns 1
constexpr UINT UM_MEASUREDONE = WM_USER + 13;
constexpr UINT UM_ACTIVATECHILD = WM_USER + 14;  // lParam child
constexpr UINT UM_OPENLISTED = WM_USER + 15;
constexpr UINT UM_CARDTEST = WM_USER + 16;
constexpr UINT UM_RECOMPUTETHD = WM_USER + 17;
// wParam a design slot, lParam its box sheet's working BoxDesign to commit,
// or 0 once the sheet has closed.
constexpr UINT UM_BOXCOMMIT = WM_USER + 18;  // open results' THD follows the analysis settings

// ---- Control and resource ids ------------------------------------------
constexpr int kClientId = 3244;
constexpr int kFirstChildId = 906;
constexpr int kWindowMenuPosition = 7;
constexpr int kToolbarId = 3000;
constexpr int kComboId = 43;
constexpr int kStatusId = 3100;

// ---- Frame state (interface thread; flags shared with measurement threads)
struct FrameState {
    HINSTANCE instance = nullptr;
    HWND frame = nullptr;
    HWND client = nullptr;
    HWND toolbar = nullptr;
    HWND combo = nullptr;
    HWND status = nullptr;
    HACCEL accelerators = nullptr;
    HFONT arialFont = nullptr;
    std::string caption;        // string 2212, at most 39 characters
    std::string helpFile;       // string 2213 made absolute against the program folder
    std::string programFolder;  // with a trailing backslash
    int activeDesign = 0;       // 0..3
    std::atomic<bool> measurementBusy{false};
    std::atomic<bool> tsMeasurementBusy{false};
    bool tipPending = false;  // Tip of the Day waits until the start-up check has raised the frame
    // Written on the measurement thread, read at shutdown on the interface thread.
    std::atomic<HWND> measurementDialogs[12] = {};
    std::atomic<bool> designFollowsActivation{true};
    std::string lastStatusText;
    int lastStatusId = 0;
};
FrameState& Shell();

// ---- Frame (frame.cpp) --------------------------------------------------
// Loads string `id` and shows it with the caption; returns the button pressed.
int MessageBoxId(HWND owner, int id, UINT flags);
// The same with printf arguments applied to the string.
int MessageBoxIdf(HWND owner, int id, UINT flags, ...);
// Common file dialog; `path` holds 256 characters. Returns 1 when chosen.
// The help file's topic `topic` over `owner`; nothing when there is no help file.
void ShowHelpTopic(HWND owner, DWORD topic);
int FileDialog(HWND owner, char* path, const char* filterText, const char* title, bool open, int filterIndex);
// Opens one file by name with the reader its extension names.
int OpenDocumentFile(HWND owner, const char* path);
// File > Open; non-zero only when a unit or design went into a slot.
int OpenWithDialog();
// Starts a measurement dialog on its own thread; 0 when busy or failed.
int RunMeasurementDialog(int templateId, DLGPROC procedure);
// The table of open measurement dialogs that shutdown closes; a dialog
// enters itself when it opens and leaves when it ends.
// The easy menu is in use (ShellFlags).
bool EasyMenu();

void RegisterMeasurementDialog(HWND dialog);
void UnregisterMeasurementDialog(HWND dialog);
// Places toolbar, status bar and MDI client after one of them was shown or
// hidden (commands 302/303) or resized.
void LayoutFrame();

// ---- Document windows (documents.cpp) ------------------------------------
extern const char kChildClass[];  // "SON_CHILD_WClass"
bool RegisterDocumentClass(HINSTANCE instance);
HWND CreateDocumentWindow(const char* title, int kind, void* data);
int DocumentKindOf(HWND child);  // -1 when not a document window
void* DocumentDataOf(HWND child);
HWND ActiveDocument();  // the active MDI child or null
void MakeTitleUnique(HWND window);
HWND FindWindowOfKind(int kind);
int CountWindowsOfKind(int kind);
int FirstFreeKind(int low, int high);
void RepaintKinds(int low, int high);
void CloseKinds(int low, int high);
HWND ActivateFirstOfKinds(int low, int high);
void DestroyAllWindows();
std::string FileTitle(const std::string& path);
int QuerySaveDesign(int slot, bool reset);
int QueryCloseAll();
int SaveUndoStep(HWND window);
bool HasUndo(HWND window);
int Undo(HWND window);
void DiscardUndo(HWND window, bool all);
void DeleteAllUndo();
int CopyWindowToClipboard(HWND window);
// Saves the document of the window with its kind's writer (104/105).
int SaveDocument(HWND window, bool askName);

// ---- Menus, toolbar and commands (commands.cpp, menus.cpp, toolbar.cpp) --
// Routes a command id (menu, accelerator or translated toolbar button).
void ExecuteCommand(HWND frame, int id);
// Toolbar button id -> menu command id (0 when none).
int ToolbarButtonCommand(int buttonId);
// Menu rebuild; `startup` for the first build, otherwise a menu-mode switch.
void RebuildMenus(bool startup);
// UM_UPDATEMENUS: menu and toolbar state for the active document window.
void UpdateMenus();
// WM_MENUSELECT: status-bar help in part 0.
void MenuSelectHelp(WPARAM wp, LPARAM lp);
// Creates the toolbar with the mode's default buttons, and its combo box.
HWND CreateToolbar(HWND frame, bool easy);
// Puts the analysis-kind combo box over its toolbar button.
void PlaceCombo();
// WM_NOTIFY from the toolbar (customisation, tooltips); returns the result.
LRESULT ToolbarNotify(HWND frame, NMHDR* header, bool* handled);
// Greys or enables what a running measurement must not start.
void SetMeasurementCommandsEnabled(bool enabled, bool tsMeasurement);

// Shows the wait cursor for the lifetime of the object (long analyses).
class WaitCursor {
public:
    WaitCursor() : old_(SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32514)))) {}  // IDC_WAIT
    ~WaitCursor() { SetCursor(old_); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    HCURSOR old_;
};

// The string-table text `id` used as a printf format (at most 1023 bytes).
std::string FormatStringId(int id, ...);

// The caption of the program's message boxes.
const char* ShellCaption();

// A status as a message box with the program's caption; the wave engine's
// own messages (kWaveMessageShown) were shown already. A set `hook` takes the
// place of the box (the tests answer there).
using StatusMessageHook = int (*)(HWND owner, const Status& message, UINT flags);
int ShowStatus(HWND owner, const Status& message, UINT flags, StatusMessageHook hook = nullptr);

}  // namespace srx
