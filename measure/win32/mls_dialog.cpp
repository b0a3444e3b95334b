// The "MLS" measurement dialog. Each step of the measurement is one message
// of the dialog, so the engine's notices, the user's buttons and the steps
// themselves never run into each other on the measurement thread:
//   open  -> create files -> (Start) -> record a pass -> engine notices
//         -> pass done -> ... -> analyse -> windows -> keep? -> close.
// A failure shows its message, shuts the engine down and leaves the dialog
// waiting, so Start tries again from the beginning; nothing of the failed
// attempt is kept.
#include "measure/win32/mls_dialog.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/command_rules.h"
#include "app/settings.h"
#include "data/view_flags.h"
#include "app/win32/frame.h"
#include "app/win32/shell.h"
#include "app/win32/soundcard.h"
#include "audio/wave_engine.h"
#include "data/records.h"
#include "dsp/frequency_response.h"
#include "measure/measurement_settings.h"
#include "measure/mls_measurement.h"
#include "measure/stimulus_files.h"
#include "measure/win32/measurement_dialog.h"
#include "resources/mls_dialog_ids.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"

namespace srx {

namespace {

// The dialog's own messages, in the order the steps use them.
constexpr UINT kPassDone = WM_USER + 1;
constexpr UINT kCreateFiles = WM_USER + 2;
constexpr UINT kRecordPass = WM_USER + 3;

// "Manual Average": Enter or Space goes on; Escape gives the measurement up.
INT_PTR CALLBACK ManualAverageProc(HWND w, UINT msg, WPARAM wp, LPARAM) {
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg == WM_COMMAND && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
        EndDialog(w, LOWORD(wp));
        return TRUE;
    }
    return FALSE;
}

class MlsDialog : public MeasurementDialog {
public:
    explicit MlsDialog(HWND dialog)
        : MeasurementDialog(dialog, {IDC_MLS_TITLE, IDC_MLS_ACTIVITY, IDC_MLS_INFO, IDC_MLS_PROGRESS}) {}

    BOOL Init();
    void CreateFiles();
    void Start();
    void RecordPass();
    void Notice(UINT message, WPARAM wp, LPARAM lp);
    void PassDone();

private:
    enum class Phase { kWaiting, kMeasuring, kAnalysing };

    MlsMeasurementSetup CurrentSetup() const;
    bool PrepareEngine();
    bool WriteStimulus();
    void Fail(const Status& status);
    void Analyse();
    void HandPassesToFrame();
    bool ShowResults(const std::string& title);
    bool Analysing() const override { return phase_ == Phase::kAnalysing; }
    void End(INT_PTR result) override;

    std::unique_ptr<MlsMeasurement> m_;
    bool engineReady_ = false;
    bool filesReady_ = false;
    Phase phase_ = Phase::kWaiting;
    int pass_ = 0;
};

MlsMeasurementSetup MlsDialog::CurrentSetup() const {
    MlsMeasurementSetup setup = CurrentDeviceSetup<MlsMeasurementSetup>();
    // "Calculate minimum phase after measuring" as the menu has it now.
    setup.analysis.alwaysComputeMinimumPhase =
        (ReadFlagWords(Settings()).measurementOptions & kOptionMinimumPhase) != 0;
    return setup;
}

BOOL MlsDialog::Init() {
    RegisterMeasurementDialog(dialog_);
    m_ = std::make_unique<MlsMeasurement>(CurrentSetup());
    if (!PrepareEngine()) {
        // Nothing can change while the dialog is open (the settings command
        // is greyed): a retry would refuse the same way.
        End(IDCANCEL);
        return TRUE;
    }
    const MeasurementSettings& ms = m_->Setup().settings;
    const double start = (ms.flags & kMsfMlsAutoStart) && ms.mlsWindow > 0 ? 1.0 / ms.mlsWindow : double(ms.mlsStart);
    const double stop = (ms.flags & kMsfMlsAutoStop) ? MaxAnalysisFrequency(int(ms.sampleRate)) : double(ms.mlsStop);
    const std::string info = FormatStringId(
        kStrInformation, start, stop, m_->PassCount(), long((1L << m_->Order()) - 1), m_->Probe() ? "(Probe)" : "",
        int(ms.bitsPerSample), long(ms.sampleRate), ms.channels >= 2 ? "Stereo" : "Mono");
    ShowTitleAndInformation(info);
    PostMessageA(dialog_, kCreateFiles, 0, 0);
    return TRUE;
}

bool MlsDialog::PrepareEngine() {
    if (engineReady_) return true;
    WavePrepareHooks hooks;
    hooks.loadMixerLevels = &LoadLevelPresetForSettings;
    const Status s = m_->Prepare(dialog_, hooks);
    if (!s) {
        ShowMessage(s, MB_OK | MB_ICONSTOP);
        m_->Finish();
        return false;
    }
    engineReady_ = true;
    return true;
}

bool MlsDialog::WriteStimulus() {
    if (filesReady_) return true;
    Activity(kStrCreatingFiles);
    UpdateWindow(dialog_);
    EnsureStimulusFolder();
    const Status s = m_->CreateFiles();
    if (!s) {
        Fail(s);
        return false;
    }
    filesReady_ = true;
    return true;
}

void MlsDialog::CreateFiles() {
    EnableButtons(false);
    if (!WriteStimulus()) return;
    Activity(kStrWaiting);
    EnableButtons(true);
    SetFocus(GetDlgItem(dialog_, IDC_MLS_TITLE));
}

void MlsDialog::Start() {
    if (phase_ != Phase::kWaiting || ended_) return;
    EnableButtons(false);
    if (!PrepareEngine()) {
        EnableButtons(true);
        Activity(kStrWaiting);
        return;
    }
    if (!WriteStimulus()) return;
    Enable(IDCANCEL, true);
    Activity(kStrMeasuring);
    pass_ = m_->FirstPass();
    SetProgressRange(m_->ProgressRange());
    phase_ = Phase::kMeasuring;
    PostMessageA(dialog_, kRecordPass, 0, 0);
}

void MlsDialog::RecordPass() {
    if (phase_ != Phase::kMeasuring) return;
    const Status s = m_->StartPass(pass_);
    if (!s) Fail(s);
}

void MlsDialog::Notice(UINT message, WPARAM wp, LPARAM lp) {
    // Notices of a pass that was given up (or of a closed device) find no
    // pass running and are dropped by the measurement.
    if (phase_ != Phase::kMeasuring || !m_) return;
    Status error;
    if (!m_->OnNotice(message, uintptr_t(wp), intptr_t(lp), &error)) return;
    if (!error.ok()) {
        Fail(error);
        return;
    }
    Step();
    PostMessageA(dialog_, kPassDone, 0, 0);
}

void MlsDialog::PassDone() {
    if (phase_ != Phase::kMeasuring) return;
    ++pass_;
    if (pass_ < m_->PassCount()) {
        if ((m_->Setup().settings.flags & kMsfMlsManualAverages) && pass_ > 0) {
            const INT_PTR answer = RunNested(DLG_MANUAL_AVERAGE, &ManualAverageProc);
            if (closeRequested_) {
                End(IDCANCEL);
                return;
            }
            // Escape at the prompt gives the measurement up.
            if (answer != IDOK) {
                Cancel();
                return;
            }
        }
        PostMessageA(dialog_, kRecordPass, 0, 0);
        return;
    }
    if (Shell().frame) PostMessageA(Shell().frame, UM_MEASUREDONE, 0, 0);
    Analyse();
}

// Every pass's impulse goes to the frame as a copy in a block of its heap,
// which the frame releases; the passes stay the measurement's.
void MlsDialog::HandPassesToFrame() {
    HWND frame = Shell().frame;
    if (!frame) return;
    for (const auto& pass : m_->Passes()) {
        const size_t bytes = pass->samples.size() * sizeof(float);
        void* block = reinterpret_cast<void*>(SendMessageA(frame, UM_ALLOC, 0, LPARAM(bytes)));
        if (!block) continue;
        std::memcpy(block, pass->samples.data(), bytes);
        SendMessageA(frame, UM_FREE, 0, LPARAM(block));
    }
}

void MlsDialog::Analyse() {
    phase_ = Phase::kAnalysing;
    Enable(IDCANCEL, false);
    Activity(kStrAnalysing);
    UpdateWindow(dialog_);
    Status s;
    {
        WaitCursor wait;
        s = m_->Analyse();
        if (s) HandPassesToFrame();
        if (s) {
            Step(m_->PassCount());
            s = m_->Complete(Title(kCurveFrequencyResponse, "MLS"));
        }
        if (s) {
            s = m_->DoFft();
            if (s && m_->Response()) Step();
        }
    }
    if (closeRequested_) {
        End(IDCANCEL);
        return;
    }
    if (!s) {
        Fail(s);
        return;
    }
    // Kept, but the user should know the peaks were cut off.
    if (m_->Clipped()) ShowMessage(Status::Error(kStrInputOverload), MB_OK | MB_ICONWARNING);
    if (closeRequested_) {
        End(IDCANCEL);
        return;
    }
    const std::string title = m_->Impulse() ? TextOf(m_->Impulse()->h.title) : std::string();
    if (!ShowResults(title)) return;
    End(IDOK);
}

// Asks the frame for the result windows, which take the records over.
// False when the dialog stays open (a window could not be made) or has
// already ended.
bool MlsDialog::ShowResults(const std::string& title) {
    std::unique_ptr<TimeRecord> impulse = m_->TakeImpulse();
    std::unique_ptr<Measurement> response = m_->TakeResponse();
    std::vector<MadeWindow> made;
    bool failed = false;
    const auto create = [&](int kind, void* data, int titleId) {
        failed = !CreateResultWindow(kind, data, titleId, title, made);
        return !failed;
    };
    if (create(kDocImpulse, impulse.get(), kStrImpulseTitle)) impulse.release();
    if (!failed && response && create(kDocMeasurement, response.get(), kStrResponseTitle)) response.release();
    if (closeRequested_) {
        CloseWindows(made);
        End(IDCANCEL);
        return false;
    }
    if (failed) {
        // No half result: the windows made go again, with their records.
        CloseWindows(made);
        Fail(Status::Error(kStrCreateWindowFailed));
        return false;
    }
    if (Shell().frame) PostMessageA(Shell().frame, UM_UPDATEMENUS, 0, 0);
    SetProgress(m_->ProgressRange());

    // Ended by the program as it closes: the windows are the frame's now.
    const bool keep = AskKeep();
    if (closeRequested_) {
        End(IDCANCEL);
        return false;
    }
    if (!keep) CloseWindows(made);
    return true;
}

void MlsDialog::Fail(const Status& status) {
    ShowMessage(status, MB_OK | MB_ICONEXCLAMATION);
    // Engine down and responses deleted: a retry starts afresh.
    m_->Finish();
    engineReady_ = false;
    phase_ = Phase::kWaiting;
    SetProgress(0);
    if (closeRequested_) {
        End(IDCANCEL);
        return;
    }
    EnableButtons(true);
    Activity(kStrWaiting);
}

// Closing always shuts the engine down and deletes the response files.
void MlsDialog::End(INT_PTR result) {
    if (ended_) return;
    if (m_) m_->Finish();
    engineReady_ = false;
    EndOnce(result);
}

MlsDialog* DialogOf(HWND dialog) { return MeasurementDialogOf<MlsDialog>(dialog); }

}  // namespace

int OpenMlsDialog() { return RunMeasurementDialog(DLG_MLS, MlsDialogProc); }

INT_PTR CALLBACK MlsDialogProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
    using D = MlsDialog;
    if (const std::optional<INT_PTR> done = CommonDialogMessage<D>(
            dialog, message, wp, lp, [&] { return new D(dialog); }, &D::CloseRequest,
            {{kCreateFiles, &D::CreateFiles}, {kRecordPass, &D::RecordPass}, {kPassDone, &D::PassDone}}))
        return *done;
    MlsDialog* self = DialogOf(dialog);
    switch (message) {
        case WM_COMMAND:
            if (!self) return FALSE;
            switch (LOWORD(wp)) {
                case IDOK: self->Start(); return TRUE;
                case IDCANCEL: self->Cancel(); return TRUE;
                case IDHELP: self->Help(); return TRUE;
            }
            return FALSE;
    }
    return FALSE;
}

}  // namespace srx
