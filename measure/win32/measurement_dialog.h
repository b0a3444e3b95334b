#pragma once
// What every measurement dialog does with its window the same way: its
// object is made on WM_INITDIALOG and found through DWLP_USER until
// WM_NCDESTROY deletes it; the wave engine's notices, the close request and
// the steps the dialog posts to itself go to members. The dialog procedure
// handles the rest (its commands, timers) itself. MeasurementDialog holds
// what the dialogs that record passes into result windows do alike.
#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "audio/virtual_device.h"
#include "audio/wave_engine.h"
#include "measure/measurement_settings.h"
#include "measure/stimulus_files.h"
#include "resources/status.h"
#include "resources/string_table.h"

namespace srx {

template <class Dialog>
struct DialogStep {
    UINT message;
    void (Dialog::*run)();
};

template <class Dialog>
Dialog* MeasurementDialogOf(HWND dialog) {
    return reinterpret_cast<Dialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

// The answer to `message` when it is one of the common ones, else nothing.
template <class Dialog, class Make>
std::optional<INT_PTR> CommonDialogMessage(HWND dialog, UINT message, WPARAM wp, LPARAM lp, Make make,
                                           void (Dialog::*close)(), std::initializer_list<DialogStep<Dialog>> steps) {
    Dialog* self = MeasurementDialogOf<Dialog>(dialog);
    switch (message) {
        case WM_INITDIALOG:
            self = make();
            SetWindowLongPtrA(dialog, DWLP_USER, LONG_PTR(self));
            return self->Init();
        case kWaveMciNotify:
            if (self) self->Notice(message, wp, lp);
            return TRUE;
        case WM_CLOSE:
            if (self) (self->*close)();
            return TRUE;
        case WM_NCDESTROY:
            SetWindowLongPtrA(dialog, DWLP_USER, 0);
            delete self;
            return FALSE;
    }
    for (const DialogStep<Dialog>& step : steps)
        if (message == step.message) {
            if (self) (self->*step.run)();
            return TRUE;
        }
    return std::nullopt;
}

// ---- What the MLS, gated-sine and sweep dialogs share ----------------------

// Every message of those dialogs goes through here; null (the default)
// shows a message box owned by the dialog. Called on the measurement
// thread. A status of kWaveMessageShown (already reported by the wave
// error box) never arrives.
using MeasurementMessageHook = int (*)(HWND owner, const Status& message, UINT flags);
void SetMeasurementMessageHook(MeasurementMessageHook hook);

// The wave folder, the devices and their names of the current settings.
template <class Setup>
Setup CurrentDeviceSetup() {
    Setup setup;
    setup.settings = CurrentMeasurementSettings();
    setup.folder = StimulusFolder();
    setup.outputDevice = WaveDeviceIdFromSetting(int(setup.settings.outputDevice));
    setup.inputDevice = WaveDeviceIdFromSetting(int(setup.settings.inputDevice));
    if (WaveDeviceBackend* devices = WaveBackend()) {
        setup.outputName = devices->DeviceName(WaveDirection::kOutput, setup.outputDevice);
        setup.inputName = devices->DeviceName(WaveDirection::kInput, setup.inputDevice);
    }
    return setup;
}

// The controls of such a dialog besides Start (IDOK), Cancel and Help.
struct DialogControls {
    int title, activity, info, progress;
};

// A window the measurement made, and what it shows (to recognise it later:
// the user may close it, and its handle be reused, while a question waits).
struct MadeWindow {
    HWND window;
    int kind;
    void* data;
};

class MeasurementDialog {
public:
    MeasurementDialog(HWND dialog, DialogControls controls) : dialog_(dialog), ids_(controls) {}
    virtual ~MeasurementDialog();
    void SetNested(HWND window) { nested_ = window; }
    void Help();
    // Cancel: nothing while analysing (the button is greyed then).
    void Cancel() {
        if (!Analysing()) End(IDCANCEL);
    }
    // WM_CLOSE: in the middle of analysing or of a question the dialog
    // ends at the next chance.
    void CloseRequest();

protected:
    virtual bool Analysing() const = 0;
    // Ends the dialog (once), its measurement's engine shut down.
    virtual void End(INT_PTR result) = 0;
    int ShowMessage(const Status& message, UINT flags);
    void Activity(int stringId) { SetDlgItemTextA(dialog_, ids_.activity, StringText(stringId)); }
    void Enable(int id, bool on) { EnableWindow(GetDlgItem(dialog_, id), on); }
    void EnableButtons(bool on);
    // An empty title limited to what a record holds, and the information text.
    void ShowTitleAndInformation(const std::string& information);
    void SetProgressRange(int range);
    void SetProgress(int position);
    void Step(int ticks = 1) { SetProgress(progress_ + ticks); }
    // The typed title, or the default name counting on from the open
    // windows' names.
    std::string Title(int32_t curveKind, const char* fallback);
    // A document window the frame makes for `data` (which it then owns),
    // titled after the record; noted in `made`. Null when it failed.
    HWND CreateResultWindow(int kind, void* data, int titleId, const std::string& title, std::vector<MadeWindow>& made);
    void CloseWindows(const std::vector<MadeWindow>& windows);
    // A prompt that a close of the dialog can end (kNestedClosed then).
    INT_PTR RunNested(int templateId, DLGPROC procedure);
    // "Keep this measurement ?" as a nested prompt.
    bool AskKeep();
    // Ends the dialog once; the measurement's engine is the caller's.
    void EndOnce(INT_PTR result);
    // The start of an analysis step: false when the dialog has ended or a
    // close request ends it now; else Cancel is greyed and "Analysing..."
    // shown.
    bool StartAnalysing();
    // Impedance, T/S and L-C-R dialogs measure through the impedance box:
    // when their output is the virtual loudspeaker, it stands in the box
    // (its driver model, or the load it was given) until the dialog object
    // goes, and its acoustic set-up then comes back.
    void UseVirtualJig(int outputDevice);
    // A calibration puts its resistor into the virtual box instead (ohms >
    // 0), and then the load back (0). Only while UseVirtualJig holds it.
    void SetVirtualJigResistor(double ohms);

    HWND dialog_;
    DialogControls ids_;
    int progress_ = 0;
    HWND nested_ = nullptr;        // the prompt or question now open
    bool closeRequested_ = false;  // WM_CLOSE arrived in the middle of a step
    bool ended_ = false;

private:
    std::optional<VirtualSetup> acousticSetup_;  // to put back, when the jig was switched on
    VirtualJigSetup jigLoad_;                    // the jig's load while no resistor is in
};

// "Keep this measurement ?" with "Don't show this question anymore."; true
// for Yes, and without asking once the question has been switched off
// (Global Options switches it on again).
bool AskKeepMeasurement(HWND owner);

// What ended a prompt that the dialog itself closed (the program is closing).
constexpr INT_PTR kNestedClosed = -2;

// Lets the messages waiting for the thread through in the middle of a long
// step (a WM_QUIT is left for the loop that wants it).
void LetMessagesThrough();

}  // namespace srx
