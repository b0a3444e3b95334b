// The measurement-dialog launcher: one dialog at a time, each on a thread of
// its own so that the wave engine's notices and the dialog's messages are
// serialised there while the frame stays responsive.
#include "app/win32/settings_sheet.h"
#include "app/win32/shell.h"
#include "resources/string_ids.h"

namespace srx {

namespace {

constexpr int kSettingsSheet = 65535;

struct Launch {
    int templateId;
    DLGPROC procedure;
};
Launch g_launch;

bool IsThieleSmallTemplate(int id) { return id == 18 || id == 19 || id == 20; }

DWORD WINAPI MeasurementThread(void*) {
    FrameState& s = Shell();
    const Launch launch = g_launch;
    const bool ts = IsThieleSmallTemplate(launch.templateId);
    if (ts) s.tsMeasurementBusy = true;
    SetMeasurementCommandsEnabled(false, ts);
    if (launch.templateId == kSettingsSheet || !launch.procedure)
        RunMeasurementSettingsSheet(nullptr);  // modal without an owner
    else DialogBoxParamA(s.instance, MAKEINTRESOURCEA(launch.templateId), nullptr, launch.procedure, 0);
    SetMeasurementCommandsEnabled(true, ts);
    s.tsMeasurementBusy = false;
    if (s.frame) {
        PostMessageA(s.frame, UM_SHOWFRAME, 0, 0);
        PostMessageA(s.frame, UM_UPDATEMENUS, 0, 0);
    }
    s.measurementBusy = false;
    return 0;
}

}  // namespace

int RunMeasurementDialog(int templateId, DLGPROC procedure) {
    FrameState& s = Shell();
    // Claimed here rather than by the thread, so that a second command
    // arriving before the thread runs finds the flag already set.
    if (s.measurementBusy.exchange(true)) return 0;
    g_launch = {templateId, procedure};
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 64 * 1024, MeasurementThread, nullptr, CREATE_SUSPENDED, &id);
    if (!thread) {
        s.measurementBusy = false;
        MessageBoxId(s.frame, kStrNoThread, MB_OK | MB_ICONSTOP);
        return 0;
    }
    SetThreadPriority(thread, THREAD_PRIORITY_ABOVE_NORMAL);
    ResumeThread(thread);
    CloseHandle(thread);
    return 1;
}

void RegisterMeasurementDialog(HWND dialog) {
    FrameState& s = Shell();
    if (!dialog) return;
    for (std::atomic<HWND>& slot : s.measurementDialogs)
        if (slot.load() == dialog) return;
    for (std::atomic<HWND>& slot : s.measurementDialogs) {
        HWND old = slot.load();
        if ((!old || !IsWindow(old)) && slot.compare_exchange_strong(old, dialog)) return;
    }
}

void UnregisterMeasurementDialog(HWND dialog) {
    for (std::atomic<HWND>& slot : Shell().measurementDialogs) {
        HWND expected = dialog;
        slot.compare_exchange_strong(expected, nullptr);
    }
}

}  // namespace srx
