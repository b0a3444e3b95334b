// The "Impedance" dialog and the calibration window, one ImpedanceMeasurement
// each:
//   dialog:      open -> create files -> (Revc, Start) -> record a pass ->
//                engine notices -> ... -> analyse -> window -> keep? -> close
//   calibration: (sound-card initialisation) -> create files -> passes ->
//                analyse, write the file -> close
// The dialog waits for another Start after a spoilt recording, as the sweep
// dialog does; the calibration has nothing to wait for and closes on any
// failure, its message shown and no file written.
#include "measure/win32/impedance_dialogs.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/win32/analysis_commands.h"
#include "app/win32/shell.h"
#include "app/win32/soundcard.h"
#include "data/records.h"
#include "data/view_flags.h"
#include "design/ts_measurement.h"
#include "measure/impedance_measurement.h"
#include "measure/soundcard_check.h"
#include "measure/soundcard_compensation.h"
#include "measure/stimulus_files.h"
#include "measure/win32/measurement_dialog.h"
#include "resources/command_ids.h"
#include "resources/impedance_dialog_ids.h"
#include "resources/string_ids.h"

namespace srx {

namespace {

// The windows' own messages, in the order the steps use them.
constexpr UINT kCreateFiles = WM_USER + 1;
constexpr UINT kRecordPass = WM_USER + 2;
constexpr UINT kPassDone = WM_USER + 3;
constexpr UINT kAnalyse = WM_USER + 4;
constexpr UINT_PTR kInitTimer = 1;

enum class Phase { kWaiting, kInitialising, kMeasuring, kAnalysing };

ImpedanceMeasurementSetup CurrentImpedanceSetup() {
    ImpedanceMeasurementSetup setup = CurrentDeviceSetup<ImpedanceMeasurementSetup>();
    setup.programFolder = MeasureProgramFolder();
    return setup;
}

WavePrepareHooks MixerHooks() {
    WavePrepareHooks hooks;
    hooks.loadMixerLevels = &LoadLevelPresetForSettings;
    return hooks;
}

// ---- The "Impedance" dialog ---------------------------------------------------

class ImpedanceDialog : public MeasurementDialog {
public:
    // `method` kTsAddedMass or kTsTestBox makes it the two-curve T/S
    // measurement: a free-air curve, then the loaded one.
    explicit ImpedanceDialog(HWND dialog, TsMethod method = kTsSingleCurve)
        : MeasurementDialog(dialog, {IDC_Z_TITLE, IDC_Z_ACTIVITY, IDC_Z_INFO, IDC_Z_PROGRESS}), method_(method) {}

    BOOL Init();
    void CreateFiles();
    void Start();
    void RecordPass();
    void Notice(UINT message, WPARAM wp, LPARAM lp);
    void PassDone();
    void Analyse();

private:
    std::string Information() const;
    bool TakeRevc();
    bool TakeTwoCurveInput();
    void StartPasses();
    void ShowTwoCurves();
    void Wait();
    void Fail(const Status& status);
    void ShowResult();
    int ProgressRange() const { return m_->PassCount() - m_->FirstPass() + 1; }
    bool Analysing() const override { return phase_ == Phase::kAnalysing; }
    void End(INT_PTR result) override;

    std::unique_ptr<ImpedanceMeasurement> m_;
    Phase phase_ = Phase::kWaiting;
    int pass_ = 0;
    const TsMethod method_;
    TwoCurveInput input_;
    std::unique_ptr<Measurement> freeAir_;  // the first curve of a two-curve measurement
};

// Always stereo: the box delivers voltage and current on the two channels.
std::string ImpedanceDialog::Information() const {
    const MeasurementSettings& ms = m_->Setup().settings;
    const ImpedanceParams p = m_->Params();
    if (m_->Mls())
        return FormatStringId(kStrInformation, p.f1, p.f2, m_->PassCount(), (1L << p.order) - 1, "",
                              int(ms.bitsPerSample), long(ms.sampleRate), "Stereo");
    return FormatStringId(kStrSweepInformation, p.f1, p.f2, m_->PassCount(), p.timePerOctave, "", int(ms.bitsPerSample),
                          long(ms.sampleRate), "Stereo");
}

BOOL ImpedanceDialog::Init() {
    RegisterMeasurementDialog(dialog_);
    m_ = std::make_unique<ImpedanceMeasurement>(CurrentImpedanceSetup());
    UseVirtualJig(m_->Setup().outputDevice);
    if (const Status s = m_->Prepare(dialog_, MixerHooks()); !s) {
        ShowMessage(s, MB_OK | MB_ICONSTOP);
        End(IDCANCEL);
        return TRUE;
    }
    ShowTitleAndInformation(Information());
    for (int id : {IDC_Z_REVC, IDC_Z_SD, IDC_Z_XMAX, IDC_Z_LOAD}) SendDlgItemMessageA(dialog_, id, EM_LIMITTEXT, 32, 0);
    // Responses of an earlier measurement would be mistaken for this one's.
    ClearWaveFiles(kClearResponses);
    PostMessageA(dialog_, kCreateFiles, 0, 0);
    return TRUE;
}

void ImpedanceDialog::CreateFiles() {
    if (ended_) return;
    EnableButtons(false);
    Enable(IDC_Z_REVC, false);
    Activity(kStrCreatingFiles);
    SetProgressRange(2);
    Step();
    UpdateWindow(dialog_);
    EnsureStimulusFolder();
    if (const Status s = m_->CreateFiles(); !s) {
        ShowMessage(s, MB_OK | MB_ICONEXCLAMATION);
        End(IDCANCEL);
        return;
    }
    SetProgress(2);
    Wait();
}

void ImpedanceDialog::Wait() {
    phase_ = Phase::kWaiting;
    Activity(kStrWaiting);
    EnableButtons(true);
    for (int id : {IDC_Z_REVC, IDC_Z_SD, IDC_Z_XMAX, IDC_Z_LOAD}) Enable(id, true);
    SetFocus(GetDlgItem(dialog_, IDC_Z_TITLE));
}

// Revc for the T/S block: nothing typed (or 0) is allowed after a question,
// text that is no resistance is not.
bool ImpedanceDialog::TakeRevc() {
    char text[64] = "";
    GetDlgItemTextA(dialog_, IDC_Z_REVC, text, sizeof text);
    HWND field = GetDlgItem(dialog_, IDC_Z_REVC);
    double revc = 0;
    const bool blank = std::string(text).find_first_not_of(" \t") == std::string::npos;
    if (!blank && (!ParseTypedOhms(text, revc) || revc > kMaxTypedOhms)) {
        ShowMessage(Status::Error(kStrRevcRange), MB_OK | MB_ICONEXCLAMATION);
        SetFocus(field);
        SendMessageA(field, EM_SETSEL, 0, -1);
        return false;
    }
    if (!(revc > 0)) {
        if (ShowMessage(Status::Error(kStrNoRevc), MB_YESNO | MB_ICONQUESTION) != IDYES) {
            SetFocus(field);
            SendMessageA(field, EM_SETSEL, 0, -1);
            return false;
        }
        revc = 0;
    }
    m_->SetRevc(revc);
    return true;
}

// The two-curve inputs, checked as the imported-curves dialog does: Revc
// and the load are required, Sd and Xmax are asked for.
bool ImpedanceDialog::TakeTwoCurveInput() {
    auto typed = [&](int id) { return ReadPositiveField(dialog_, id); };
    auto refocus = [&](int id) {
        HWND field = GetDlgItem(dialog_, id);
        SetFocus(field);
        SendMessageA(field, EM_SETSEL, 0, -1);
        return false;
    };
    TwoCurveInput in;
    in.method = method_;
    in.re = typed(IDC_Z_REVC);
    if (!(in.re > 0) || in.re > kMaxTypedOhms) {
        ShowMessage(Status::Error(kStrEnterRevc), MB_OK | MB_ICONEXCLAMATION);
        return refocus(IDC_Z_REVC);
    }
    in.sd = typed(IDC_Z_SD) / 1e4;
    if (!(in.sd > 0) && ShowMessage(Status::Error(kStrAskSd), MB_YESNO | MB_ICONQUESTION) == IDYES)
        return refocus(IDC_Z_SD);
    in.xmax = typed(IDC_Z_XMAX) / 1000;
    if (!(in.xmax > 0) && ShowMessage(Status::Error(kStrAskXmax), MB_YESNO | MB_ICONQUESTION) == IDYES)
        return refocus(IDC_Z_XMAX);
    in.load = typed(IDC_Z_LOAD) / 1000;  // grams or liters
    if (!(in.load > 0)) {
        ShowMessage(Status::Error(method_ == kTsAddedMass ? kStrEnterAddedMass : kStrEnterTestBox),
                    MB_OK | MB_ICONEXCLAMATION);
        return refocus(IDC_Z_LOAD);
    }
    input_ = in;
    m_->SetRevc(in.re);
    return true;
}

void ImpedanceDialog::Start() {
    if (phase_ != Phase::kWaiting || ended_) return;
    if (method_ == kTsSingleCurve ? !TakeRevc() : !TakeTwoCurveInput()) return;
    if (ended_) return;
    // A Start after a spoilt recording measures the free-air curve again.
    freeAir_.reset();
    StartPasses();
}

void ImpedanceDialog::StartPasses() {
    EnableButtons(false);
    for (int id : {IDC_Z_REVC, IDC_Z_SD, IDC_Z_XMAX, IDC_Z_LOAD}) Enable(id, false);
    Enable(IDCANCEL, true);
    SetProgressRange(ProgressRange());
    Activity(kStrMeasuring);
    pass_ = m_->FirstPass();
    phase_ = Phase::kMeasuring;
    PostMessageA(dialog_, kRecordPass, 0, 0);
}

void ImpedanceDialog::RecordPass() {
    if (phase_ != Phase::kMeasuring) return;
    if (const Status s = m_->StartPass(pass_); !s) {
        ShowMessage(s, MB_OK | MB_ICONEXCLAMATION);
        End(IDCANCEL);
    }
}

void ImpedanceDialog::Notice(UINT message, WPARAM wp, LPARAM lp) {
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

void ImpedanceDialog::PassDone() {
    if (phase_ != Phase::kMeasuring) return;
    if (++pass_ < m_->PassCount()) {
        PostMessageA(dialog_, kRecordPass, 0, 0);
        return;
    }
    if (Shell().frame) PostMessageA(Shell().frame, UM_MEASUREDONE, 0, 0);
    phase_ = Phase::kAnalysing;
    PostMessageA(dialog_, kAnalyse, 0, 0);
}

void ImpedanceDialog::Fail(const Status& status) {
    ShowMessage(status, MB_OK | MB_ICONEXCLAMATION);
    SetProgress(0);
    if (closeRequested_) {
        End(IDCANCEL);
        return;
    }
    Wait();
}

void ImpedanceDialog::Analyse() {
    if (phase_ != Phase::kAnalysing || !StartAnalysing()) return;
    Status s;
    {
        WaitCursor wait;
        s = m_->Analyse();
        if (s) s = m_->Complete(Title(kCurveImpedance, "Impedance"));
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
    if (m_->Clipped()) ShowMessage(Status::Error(kStrInputOverload), MB_OK | MB_ICONWARNING);
    if (closeRequested_) {
        End(IDCANCEL);
        return;
    }
    if (method_ == kTsSingleCurve) {
        ShowResult();
        return;
    }
    if (!freeAir_) {
        freeAir_ = m_->TakeResult();
        const int ask = method_ == kTsAddedMass ? kStrPutMass : kStrMountTestBox;
        if (ShowMessage(Status::Error(ask), MB_OKCANCEL | MB_ICONINFORMATION) != IDOK || closeRequested_) {
            End(IDCANCEL);
            return;
        }
        StartPasses();
        return;
    }
    ShowTwoCurves();
}

// Both curves go into windows even when the two-curve computation refuses
// them, so that nothing measured is lost; the free-air window comes last,
// active, and gets the measured parameters.
void ImpedanceDialog::ShowTwoCurves() {
    std::unique_ptr<Measurement> loaded = m_->TakeResult();
    const Status computed = RunTwoCurveMethod(*freeAir_, *loaded, input_);
    const std::string title = TextOf(freeAir_->h.title);
    std::snprintf(loaded->h.title, sizeof loaded->h.title, "%s (loaded)", title.c_str());
    std::vector<MadeWindow> made;
    if (!CreateResultWindow(kDocMeasurement, loaded.get(), kStrImpedanceTitle, TextOf(loaded->h.title), made)) {
        Fail(Status::Error(kStrCreateWindowFailed));
        return;
    }
    loaded.release();
    if (!CreateResultWindow(kDocMeasurement, freeAir_.get(), kStrImpedanceTitle, title, made)) {
        Fail(Status::Error(kStrCreateWindowFailed));
        return;
    }
    freeAir_.release();
    SetProgress(ProgressRange());
    if (!computed) ShowMessage(computed, MB_OK | MB_ICONEXCLAMATION);
    if (HWND frame = Shell().frame) {
        PostMessageA(frame, UM_UPDATEMENUS, 0, 0);
        if (computed) PostMessageA(frame, WM_COMMAND, CM_TS_MEASURED, 0);
    }
    End(IDOK);
}

void ImpedanceDialog::ShowResult() {
    std::unique_ptr<Measurement> result = m_->TakeResult();
    const std::string title = TextOf(result->h.title);
    std::vector<MadeWindow> made;
    if (!CreateResultWindow(kDocMeasurement, result.get(), kStrImpedanceTitle, title, made)) {
        Fail(Status::Error(kStrCreateWindowFailed));
        return;
    }
    result.release();  // the window's now
    if (Shell().frame) PostMessageA(Shell().frame, UM_UPDATEMENUS, 0, 0);
    SetProgress(ProgressRange());
    const bool keep = AskKeep();
    if (!closeRequested_ && !keep) CloseWindows(made);
    End(closeRequested_ ? IDCANCEL : IDOK);
}

void ImpedanceDialog::End(INT_PTR result) {
    if (ended_) return;
    if (m_) m_->Finish();
    EndOnce(result);
}

template <TsMethod kMethod>
INT_PTR CALLBACK ImpedanceDialogProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
    using D = ImpedanceDialog;
    if (const std::optional<INT_PTR> done =
            CommonDialogMessage<D>(dialog, message, wp, lp, [&] { return new D(dialog, kMethod); }, &D::CloseRequest,
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

// ---- The calibration window ------------------------------------------------------

struct CalibrationRequest {
    double rcal;
    double factor = 0;
};

class CalibrationWindow : public MeasurementDialog {
public:
    CalibrationWindow(HWND dialog, CalibrationRequest* request)
        : MeasurementDialog(dialog, {0, IDC_ZC_ACTIVITY, 0, IDC_ZC_PROGRESS}), request_(request) {}

    BOOL Init();
    void CreateFiles();
    void RecordPass();
    void Notice(UINT message, WPARAM wp, LPARAM lp);
    void PassDone();
    void Analyse();
    void InitTimeout();
    void Destroyed() { Stop(); }

private:
    void Fail(const Status& status);
    void Stop();
    bool Analysing() const override { return phase_ == Phase::kAnalysing; }
    void End(INT_PTR result) override;

    CalibrationRequest* request_;
    std::unique_ptr<ImpedanceMeasurement> m_;
    DuplexRun init_;
    Phase phase_ = Phase::kWaiting;
    int pass_ = 0;
};

BOOL CalibrationWindow::Init() {
    RegisterMeasurementDialog(dialog_);
    const MeasurementSettings& ms = CurrentMeasurementSettings();
    if (!(ms.flags & kMsfInitSoundcard)) {
        PostMessageA(dialog_, kCreateFiles, 0, 0);
        return TRUE;
    }
    // The card settles on the setting before the resistor is measured.
    Activity(kStrInitialising);
    EnsureStimulusFolder();
    const DuplexRunPlan plan = SoundcardInitPlan(ms, StimulusFolder());
    phase_ = Phase::kInitialising;
    if (const int failure = init_.Start(dialog_, plan)) {
        Fail(Status::Error(failure));
        return TRUE;
    }
    const double seconds = plan.devices.sampleRate ? double(plan.StimulusFrames()) / plan.devices.sampleRate : 0;
    SetTimer(dialog_, kInitTimer, UINT(seconds * 1000) + 5000, nullptr);
    return TRUE;
}

void CalibrationWindow::InitTimeout() {
    KillTimer(dialog_, kInitTimer);
    if (phase_ != Phase::kInitialising) return;
    init_.Abort();
    Fail(Status::Error(init_.Failure() ? init_.Failure() : kStrCantRecord));
}

void CalibrationWindow::CreateFiles() {
    if (ended_) return;
    Activity(kStrCreatingFiles);
    UpdateWindow(dialog_);
    ImpedanceMeasurementSetup setup = CurrentImpedanceSetup();
    setup.calibrating = true;
    setup.calibrationResistor = request_->rcal;
    m_ = std::make_unique<ImpedanceMeasurement>(std::move(setup));
    UseVirtualJig(m_->Setup().outputDevice);
    SetVirtualJigResistor(request_->rcal);
    ClearWaveFiles(kClearResponses);
    EnsureStimulusFolder();
    Status s = m_->Prepare(dialog_, MixerHooks());
    if (s) s = m_->CreateFiles();
    if (!s) {
        Fail(s);
        return;
    }
    SetProgressRange(m_->PassCount() - m_->FirstPass() + 1);
    Activity(kStrIsMeasuring);
    pass_ = m_->FirstPass();
    phase_ = Phase::kMeasuring;
    PostMessageA(dialog_, kRecordPass, 0, 0);
}

void CalibrationWindow::RecordPass() {
    if (phase_ != Phase::kMeasuring) return;
    if (const Status s = m_->StartPass(pass_); !s) Fail(s);
}

void CalibrationWindow::Notice(UINT message, WPARAM wp, LPARAM lp) {
    if (phase_ == Phase::kInitialising) {
        if (!init_.OnNotify(message, wp, lp)) return;
        KillTimer(dialog_, kInitTimer);
        if (init_.Failure()) {
            Fail(Status::Error(init_.Failure()));
            return;
        }
        phase_ = Phase::kWaiting;
        PostMessageA(dialog_, kCreateFiles, 0, 0);
        return;
    }
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

void CalibrationWindow::PassDone() {
    if (phase_ != Phase::kMeasuring) return;
    if (++pass_ < m_->PassCount()) {
        PostMessageA(dialog_, kRecordPass, 0, 0);
        return;
    }
    phase_ = Phase::kAnalysing;
    PostMessageA(dialog_, kAnalyse, 0, 0);
}

void CalibrationWindow::Analyse() {
    if (phase_ != Phase::kAnalysing || ended_) return;
    Enable(IDCANCEL, false);
    Status s;
    {
        WaitCursor wait;
        s = m_->Analyse();
    }
    phase_ = Phase::kWaiting;
    if (!s) {
        Fail(s);
        return;
    }
    request_->factor = m_->CalibrationFactor();
    Step();
    Stop();
    // The file is written; the user should still know it rests on a
    // clipped recording.
    if (m_->Clipped()) ShowMessage(Status::Error(kStrInputOverload), MB_OK | MB_ICONWARNING);
    End(IDOK);
}

// Engine down and files deleted before the message: no notice arrives while
// the box is up.
void CalibrationWindow::Fail(const Status& status) {
    Stop();
    phase_ = Phase::kWaiting;
    request_->factor = 0;
    ShowMessage(status, MB_OK | MB_ICONEXCLAMATION);
    End(IDCANCEL);
}

void CalibrationWindow::Stop() {
    KillTimer(dialog_, kInitTimer);
    init_.Abort();
    if (m_) m_->Finish();
}

void CalibrationWindow::End(INT_PTR result) {
    if (ended_) return;
    Stop();
    EndOnce(result);
}

INT_PTR CALLBACK CalibrationProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
    using D = CalibrationWindow;
    if (const std::optional<INT_PTR> done = CommonDialogMessage<D>(
            dialog, message, wp, lp, [&] { return new D(dialog, reinterpret_cast<CalibrationRequest*>(lp)); },
            &D::CloseRequest,
            {{kCreateFiles, &D::CreateFiles},
             {kRecordPass, &D::RecordPass},
             {kPassDone, &D::PassDone},
             {kAnalyse, &D::Analyse}}))
        return *done;
    D* self = MeasurementDialogOf<D>(dialog);
    if (!self) return FALSE;
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wp) != IDCANCEL) return FALSE;
            self->Cancel();
            return TRUE;
        case WM_TIMER:
            if (wp != kInitTimer) return FALSE;
            self->InitTimeout();
            return TRUE;
        case WM_DESTROY:
            // Also when the sheet that owns it goes first.
            self->Destroyed();
            return FALSE;
    }
    return FALSE;
}

}  // namespace

int OpenImpedanceDialog() { return RunMeasurementDialog(DLG_IMPEDANCE, ImpedanceDialogProc<kTsSingleCurve>); }

int OpenTwoCurveDialog(bool addedMass) {
    return addedMass ? RunMeasurementDialog(DLG_TS_DELTA_MASS, ImpedanceDialogProc<kTsAddedMass>)
                     : RunMeasurementDialog(DLG_TS_DELTA_COMPLIANCE, ImpedanceDialogProc<kTsTestBox>);
}

double CalibrateImpedance(HWND owner, double rcal) {
    CalibrationRequest request{rcal};
    HINSTANCE instance = Shell().instance ? Shell().instance : GetModuleHandleA(nullptr);
    const INT_PTR r = DialogBoxParamA(instance, MAKEINTRESOURCEA(DLG_IMPEDANCE_CALIBRATION), owner, CalibrationProc,
                                      LPARAM(&request));
    return r == IDOK ? request.factor : 0;
}

}  // namespace srx
