// Start-up: hand-over to a running instance, splash, settings, classes,
// frame, the files of the command line, and the message loop.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/settings.h"
#include "data/view_flags.h"
#include "app/win32/frame.h"
#include "app/win32/recent_menu.h"
#include "app/win32/registry_store.h"
#include "app/win32/shell.h"
#include "app/win32/soundcard.h"
#include "audio/wave_device.h"
#include "audio/wave_error.h"
#include "data/native_files.h"
#include "design/design_slot.h"
#include "app/reading_hooks.h"
#include "dsp/min_phase.h"
#include "measure/win32/compensation_ui.h"
#include "graph/win32/graph_view.h"
#include "measure/measurement_settings.h"
#include "measure/stimulus_files.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"

namespace srx {

namespace {

constexpr int kSplashTemplate = 1;
constexpr int kHandOverAttempts = 100;
constexpr int kCaptionChars = 39;

HWND g_splash = nullptr;

INT_PTR CALLBACK SplashProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

// The command line's names, or none with message 2336 when they cannot be
// copied.
std::vector<std::string> CommandLineNames(const char* commandLine) {
    try {
        return ParseCommandLine(commandLine ? commandLine : "");
    } catch (const std::bad_alloc&) {
        MessageBoxId(nullptr, kStrNoMemoryToLoad, MB_OK | MB_ICONSTOP);
        return {};
    }
}

// The name as the file system spells it (long name of the file itself),
// made absolute: the running instance may have another current folder.
std::string ResolvedName(const std::string& name) {
    char full[MAX_PATH];
    DWORD n = GetFullPathNameA(name.c_str(), sizeof full, full, nullptr);
    std::string path = n && n < sizeof full ? std::string(full, n) : name;
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA(path.c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        FindClose(h);
        size_t slash = path.find_last_of("\\/");
        path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + found.cFileName;
    }
    return path;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void ShowSplash(HINSTANCE instance) {
    g_splash = CreateDialogParamA(instance, MAKEINTRESOURCEA(kSplashTemplate), nullptr, SplashProc, 0);
    if (!g_splash) return;
    ShowWindow(g_splash, SW_SHOW);
    // True-colour displays need no palette; the picture is painted twice so
    // that it is complete before the slow part of start-up.
    UpdateWindow(g_splash);
    Sleep(300);
    UpdateWindow(g_splash);
}

void CloseSplash() {
    if (g_splash) DestroyWindow(g_splash);
    g_splash = nullptr;
}

bool WindowsTooOld() {
    DWORD v = GetVersion();
    return LOBYTE(LOWORD(v)) * 100 + HIBYTE(LOWORD(v)) < 351;
}

bool StartedMinimised(int show) {
    return show == SW_MINIMIZE || show == SW_SHOWMINIMIZED || show == SW_SHOWMINNOACTIVE;
}

void OpenCommandLineFiles(HWND frame, const char* commandLine) {
    FrameState& s = Shell();
    s.activeDesign = 0;
    s.designFollowsActivation = false;
    for (const std::string& name : CommandLineNames(commandLine)) OpenDocumentFile(frame, ResolvedName(name).c_str());
    s.designFollowsActivation = true;
}

}  // namespace

HWND StartupSplash() { return g_splash; }

bool HandOverFiles(HWND running, const char* commandLine) {
    std::vector<std::string> names = CommandLineNames(commandLine);
    if (names.empty()) return false;
    for (std::string& name : names) name = ResolvedName(name);
    const std::string path = HandOverListFile();
    // The list's existence serialises hand-overs: wait until the running
    // instance has taken the previous one, and create ours only if it is
    // still absent (two second starts racing would otherwise mix lists).
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < kHandOverAttempts; ++attempt) {
        file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) break;
        Sleep(100);
    }
    if (file == INVALID_HANDLE_VALUE) return false;
    const std::string text = HandOverListText(names);
    DWORD written = 0;
    BOOL ok = WriteFile(file, text.data(), (DWORD)text.size(), &written, nullptr) && written == text.size();
    FlushFileBuffers(file);
    CloseHandle(file);
    if (!ok) {
        DeleteFileA(path.c_str());
        return false;
    }
    Sleep(100);
    DWORD_PTR result = 0;
    SendMessageTimeoutA(running, UM_OPENLISTED, 0, 0, SMTO_ABORTIFHUNG, 1000, &result);
    return true;
}

bool HandOverToRunningInstance(const char* commandLine) {
    HWND running = FindWindowA(kFrameClass, nullptr);
    if (!running) return false;
    HWND popup = GetLastActivePopup(running);
    if (IsIconic(running)) ShowWindow(running, SW_RESTORE);
    HWND front = IsWindow(popup) ? popup : running;
    SetActiveWindow(front);
    SetForegroundWindow(front);
    HandOverFiles(running, commandLine);
    return true;
}

bool StartFirstInstance(HINSTANCE instance, const char* commandLine, int show) {
    FrameState& s = Shell();
    s.instance = instance;
    s.programFolder = ProgramFolderOf(instance);
    const std::string list = HandOverListFile();
    if (FileExists(list)) DeleteFileA(list.c_str());
    if (CountNonBlank(commandLine ? commandLine : "") == 0) ShowSplash(instance);

    // The measurement settings live inside the program configuration block:
    // their defaults, upgrades and repairs must be in place before loading.
    InstallMeasurementSettingsHooks();
    SetMeasureProgramFolder(s.programFolder);
    LoadSettings();
    InstallProgramAudio(s.programFolder);
    const bool easy = (Settings().window.shellFlags & kShellEasyMenu) != 0;
    UnregisterClassA(kChildClass, instance);
    if (!RegisterFrameClass(instance, easy) || !RegisterDocumentClass(instance)) {
        CloseSplash();
        return false;
    }
    InstallReadingHooks();
    InstallGraphView();
    SetRecentFileHook([](const std::string& path) { AddRecentFile(path); });

    std::string caption = StringText(kStrProgramName);
    if (caption.size() > kCaptionChars) caption.resize(kCaptionChars);
    s.caption = caption;
    // Taken before the frame exists: the sizes of its creation are recorded
    // as a normal placement and would clear the flag.
    const bool maximised = Settings().window.frameMaximised != 0;
    HWND frame = CreateFrame(instance);
    if (!frame) {
        CloseSplash();
        return false;
    }
    if (WindowsTooOld()) {
        MessageBoxId(frame, kStrNeedsNewerWindows, MB_OK | MB_ICONSTOP);
        DestroyWindow(frame);
        CloseSplash();
        return false;
    }

    RebuildMenus(true);
    s.accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(1));
    if (!s.accelerators) {
        DestroyWindow(frame);
        CloseSplash();
        return false;
    }
    for (int i = 0; i < kDesignSlotCount; ++i) ResetDesignSlot(i);
    s.helpFile = s.programFolder + StringText(kStrHelpFile);
    if (maximised) Settings().window.frameMaximised = 1;
    ShowWindow(frame, StartedMinimised(show) ? show : maximised ? SW_SHOWMAXIMIZED : show);
    UpdateWindow(frame);
    if (s.combo) SetFocus(s.combo);
    std::srand((unsigned)std::time(nullptr));

    if (g_splash) SendMessageA(g_splash, WM_SETICON, ICON_BIG, (LPARAM)GetClassLongPtrA(frame, GCLP_HICON));
    OpenCommandLineFiles(frame, commandLine);
    // No plug-in host yet, so no plug-in was loaded.
    if (HMENU menu = GetMenu(frame)) EnableMenuItem(menu, 1009, MF_BYCOMMAND | MF_GRAYED);
    CloseSplash();
    BringWindowToTop(frame);
    // Calibration files dropped into the program folder become compensations.
    ConvertFoundCalibrations(frame, nullptr);
    return true;
}

int RunMessageLoop() {
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) {
        FrameState& s = Shell();
        if (s.frame && s.accelerators && TranslateAcceleratorA(s.frame, s.accelerators, &m)) continue;
        if (s.client && TranslateMDISysAccel(s.client, &m)) continue;
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    return (int)m.wParam;
}

int SonRixMain(HINSTANCE instance, const char* commandLine, int show) {
    if (HandOverToRunningInstance(commandLine)) return 0;
    // The wave engine's and the tone player's messages in their boxes (the
    // tests keep the quiet default sinks).
    InstallWaveErrorBox(nullptr);
    InstallLoopPlayerErrorBox();
    if (!StartFirstInstance(instance, commandLine, show)) return 0;
    return RunMessageLoop();
}

}  // namespace srx
