// The "Gated Time-Window" and "Sweep" dialogs, one SineMeasurement each:
//   open  -> create files -> (Start) -> record a pass -> engine notices
//         -> pass done -> ... -> analyse -> window -> keep? -> close.
// The engine and the stimulus cannot change while the dialog is open (the
// settings command is greyed), so failing to set either up, or to start a
// pass, ends the dialog; a spoilt recording or a result too weak to analyse
// leaves it waiting for another Start.
#include "measure/win32/sine_dialogs.h"

#include <memory>
#include <string>
#include <vector>

#include "app/win32/shell.h"
#include "app/win32/soundcard.h"
#include "data/records.h"
#include "data/view_flags.h"
#include "measure/sine_measurement.h"
#include "measure/stimulus_files.h"
#include "measure/win32/measurement_dialog.h"
#include "resources/sine_dialog_ids.h"
#include "resources/string_ids.h"

namespace srx {

namespace {

// The dialog's own messages, in the order the steps use them.
constexpr UINT kCreateFiles = WM_USER + 1;
constexpr UINT kRecordPass = WM_USER + 2;
constexpr UINT kPassDone = WM_USER + 3;
constexpr UINT kAnalyse = WM_USER + 4;

class SineDialog : public MeasurementDialog {
public:
    SineDialog(HWND dialog, SineKind kind)
        : MeasurementDialog(dialog, {IDC_SINE_TITLE, IDC_SINE_ACTIVITY, IDC_SINE_INFO, IDC_SINE_PROGRESS}),
          kind_(kind) {}

    BOOL Init();
    void CreateFiles();
    void Start();
    void RecordPass();
    void Notice(UINT message, WPARAM wp, LPARAM lp);
    void PassDone();
    void Analyse();

private:
    enum class Phase { kWaiting, kMeasuring, kAnalysing };

    std::string Information() const;
    void Wait();
    void Fail(const Status& status);
    void ShowResult();
    bool Analysing() const override { return phase_ == Phase::kAnalysing; }
    void End(INT_PTR result) override;

    SineKind kind_;
    std::unique_ptr<SineMeasurement> m_;
    Phase phase_ = Phase::kWaiting;
    int pass_ = 0;
};

std::string SineDialog::Information() const {
    const MeasurementSettings& ms = m_->Setup().settings;
    const char* probe = m_->Probe() ? "(Probe)" : "";
    const char* channels = ms.channels >= 2 ? "Stereo" : "Mono";
    if (m_->Gated()) {
        const GatedSineParams p = m_->GatedParams();
        return FormatStringId(kStrGatedInformation, p.f1, p.f2, p.perOctave, probe, int(ms.bitsPerSample),
                              long(ms.sampleRate), channels);
    }
    const SweepParams p = m_->SweepParameters();
    return FormatStringId(kStrSweepInformation, p.f1, p.f2, m_->PassCount(), p.timePerOctave, probe,
                          int(ms.bitsPerSample), long(ms.sampleRate), channels);
}

BOOL SineDialog::Init() {
    RegisterMeasurementDialog(dialog_);
    SineMeasurementSetup setup = CurrentDeviceSetup<SineMeasurementSetup>();
    setup.kind = kind_;
    m_ = std::make_unique<SineMeasurement>(std::move(setup));
    WavePrepareHooks hooks;
    hooks.loadMixerLevels = &LoadLevelPresetForSettings;
    if (const Status s = m_->Prepare(dialog_, hooks); !s) {
        ShowMessage(s, MB_OK | MB_ICONSTOP);
        End(IDCANCEL);
        return TRUE;
    }
    ShowTitleAndInformation(Information());
    // Responses of an earlier measurement would be mistaken for this one's.
    ClearWaveFiles(kClearResponses);
    PostMessageA(dialog_, kCreateFiles, 0, 0);
    return TRUE;
}

void SineDialog::CreateFiles() {
    if (ended_) return;
    EnableButtons(false);
    Activity(kStrCreatingFiles);
    SetProgressRange(3);
    Step();
    UpdateWindow(dialog_);
    EnsureStimulusFolder();
    const Status s = m_->CreateFiles();
    if (!s) {
        ShowMessage(s, MB_OK | MB_ICONEXCLAMATION);
        End(IDCANCEL);
        return;
    }
    SetProgress(3);
    Wait();
}

// Back to "Waiting for you...", ready for Start.
void SineDialog::Wait() {
    phase_ = Phase::kWaiting;
    Activity(kStrWaiting);
    EnableButtons(true);
    SetFocus(GetDlgItem(dialog_, IDC_SINE_TITLE));
}

void SineDialog::Start() {
    if (phase_ != Phase::kWaiting || ended_) return;
    EnableButtons(false);
    Enable(IDCANCEL, true);
    SetProgressRange(m_->ProgressRange());
    Activity(kStrMeasuring);
    pass_ = m_->FirstPass();
    phase_ = Phase::kMeasuring;
    PostMessageA(dialog_, kRecordPass, 0, 0);
}

void SineDialog::RecordPass() {
    if (phase_ != Phase::kMeasuring) return;
    if (const Status s = m_->StartPass(pass_); !s) {
        ShowMessage(s, MB_OK | MB_ICONEXCLAMATION);
        End(IDCANCEL);
    }
}

void SineDialog::Notice(UINT message, WPARAM wp, LPARAM lp) {
    // Notices of a pass that was given up find no pass running and are
    // dropped by the measurement.
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

void SineDialog::PassDone() {
    if (phase_ != Phase::kMeasuring) return;
    if (++pass_ < m_->PassCount()) {
        PostMessageA(dialog_, kRecordPass, 0, 0);
        return;
    }
    if (Shell().frame) PostMessageA(Shell().frame, UM_MEASUREDONE, 0, 0);
    phase_ = Phase::kAnalysing;
    PostMessageA(dialog_, kAnalyse, 0, 0);
}

void SineDialog::Fail(const Status& status) {
    ShowMessage(status, MB_OK | MB_ICONEXCLAMATION);
    SetProgress(0);
    if (closeRequested_) {
        End(IDCANCEL);
        return;
    }
    Wait();
}

void SineDialog::Analyse() {
    if (phase_ != Phase::kAnalysing || !StartAnalysing()) return;
    Status s;
    {
        WaitCursor wait;
        // The gated analysis takes a while: the dialog repaints meanwhile,
        // and a close request is noted for the end.
        s = m_->Analyse([this] {
            Step();
            LetMessagesThrough();
        });
        if (s) s = m_->Complete(Title(m_->Gated() ? kCurveFrequencyResponse : kCurveSweepResponse, "Sweep"));
    }
    if (closeRequested_) {
        End(IDCANCEL);
        return;
    }
    if (!s) {
        if (s.stringId != kStrCantAnalyseMemory) {
            Fail(s);
            return;
        }
        ShowMessage(s, MB_OK | MB_ICONSTOP);
        End(IDCANCEL);
        return;
    }
    // Kept, but the user should know the peaks were cut off.
    if (m_->Clipped()) ShowMessage(Status::Error(kStrInputOverload), MB_OK | MB_ICONWARNING);
    if (closeRequested_) {
        End(IDCANCEL);
        return;
    }
    ShowResult();
}

void SineDialog::ShowResult() {
    std::unique_ptr<Measurement> result = m_->TakeResult();
    const std::string title = TextOf(result->h.title);
    std::vector<MadeWindow> made;
    const int titleId = m_->Gated() ? kStrResponseTitle : kStrSweepResponseTitle;
    if (!CreateResultWindow(kDocMeasurement, result.get(), titleId, title, made)) {
        Fail(Status::Error(kStrCreateWindowFailed));
        return;
    }
    result.release();  // the window's now
    if (Shell().frame) PostMessageA(Shell().frame, UM_UPDATEMENUS, 0, 0);
    SetProgress(m_->ProgressRange());
    const bool keep = AskKeep();
    // Ended by the program as it closes: the window is the frame's now.
    if (!closeRequested_ && !keep) CloseWindows(made);
    End(closeRequested_ ? IDCANCEL : IDOK);
}

// Closing always shuts the engine down and deletes the response files.
void SineDialog::End(INT_PTR result) {
    if (ended_) return;
    if (m_) m_->Finish();
    EndOnce(result);
}

template <SineKind kind>
INT_PTR CALLBACK SineDialogProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
    using D = SineDialog;
    if (const std::optional<INT_PTR> done =
            CommonDialogMessage<D>(dialog, message, wp, lp, [&] { return new D(dialog, kind); }, &D::CloseRequest,
                                   {{kCreateFiles, &D::CreateFiles},
                                    {kRecordPass, &D::RecordPass},
                                    {kPassDone, &D::PassDone},
                                    {kAnalyse, &D::Analyse}}))
        return *done;
    D* self = MeasurementDialogOf<D>(dialog);
    if (message != WM_COMMAND || !self) return FALSE;
    switch (LOWORD(wp)) {
        case IDOK: self->Start(); return TRUE;
        case IDCANCEL: self->Cancel(); return TRUE;
        case IDHELP: self->Help(); return TRUE;
    }
    return FALSE;
}

}  // namespace

int OpenGatedSineDialog() { return RunMeasurementDialog(DLG_GATED_SINE, SineDialogProc<SineKind::kGated>); }

int OpenSweepDialog() { return RunMeasurementDialog(DLG_SWEEP, SineDialogProc<SineKind::kSweep>); }

}  // namespace srx
