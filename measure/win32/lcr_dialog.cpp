// The "L-C-R Meter" dialog on one LcrMeter:
//   open -> (Start) -> tone -> record -> notices -> analyse -> results
//        -> (Calibrate) -> for each frequency: tone, record, analyse -> file.
// The dialog stays open for as many readings as the user wants. Failing to
// write a tone or to start the devices ends it; a reading that cannot be
// analysed only empties the results; a calibration that fails keeps the
// old file.
#include "measure/win32/lcr_dialog.h"

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "app/win32/shell.h"
#include "app/win32/soundcard.h"
#include "measure/lcr.h"
#include "measure/win32/measurement_dialog.h"
#include "resources/lcr_dialog_ids.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"

namespace srx {

namespace {

constexpr UINT kAnalyse = WM_USER + 1;
constexpr UINT kNextCalibration = WM_USER + 2;

// A number typed into a field: false unless all of it is one finite number.
bool FieldNumber(HWND dialog, int id, double* value) {
    char text[64] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    while (end && (*end == ' ' || *end == '\t')) ++end;
    if (end == text || !end || *end || !std::isfinite(v)) return false;
    *value = v;
    return true;
}

class LcrDialog : public MeasurementDialog {
public:
    explicit LcrDialog(HWND dialog) : MeasurementDialog(dialog, {IDC_LCR_FREQUENCY, IDC_LCR_ACTIVITY, 0, IDC_LCR_PROGRESS}) {}

    BOOL Init();
    void Start();
    void Calibrate();
    void Notice(UINT message, WPARAM wp, LPARAM lp);
    void Analyse();
    void NextCalibration();

private:
    enum class Phase { kIdle, kReading, kCalibrating, kAnalysing };

    bool Analysing() const override { return phase_ == Phase::kAnalysing; }
    void End(INT_PTR result) override;
    void Ready();
    void ClearResults();
    void ShowReading(const LcrReading& r);
    void SetButtons(bool on);
    void CalibrationFailed(const Status& s);

    std::unique_ptr<LcrMeter> m_;
    Phase phase_ = Phase::kIdle;
    double frequency_ = 1000;
    double resistor_ = 0;
    size_t calIndex_ = 0;
    bool calibrating_ = false;
    bool confirmed_ = false;  // "connected and levels set ?" answered once
};

BOOL LcrDialog::Init() {
    RegisterMeasurementDialog(dialog_);
    if (HWND frame = Shell().frame) {
        const HICON icon = HICON(GetClassLongPtrA(frame, GCLP_HICON));
        if (icon) SendMessageA(dialog_, WM_SETICON, ICON_BIG, LPARAM(icon));
    }
    SetForegroundWindow(dialog_);
    LcrSetup setup = CurrentDeviceSetup<LcrSetup>();
    setup.programFolder = MeasureProgramFolder();
    UseVirtualJig(setup.outputDevice);
    m_ = std::make_unique<LcrMeter>(std::move(setup));
    EnsureStimulusFolder();
    WavePrepareHooks hooks;
    hooks.loadMixerLevels = &LoadLevelPresetForSettings;
    if (const Status s = m_->Prepare(dialog_, hooks); !s) {
        ShowMessage(s, MB_OK | MB_ICONSTOP);
        End(IDCANCEL);
        return TRUE;
    }
    SetDlgItemTextA(dialog_, IDC_LCR_RESISTOR, StringText(m_->Calibrated() ? kStrCalibrated : kStrUncalibrated));
    ClearResults();
    SetDlgItemTextA(dialog_, IDC_LCR_FREQUENCY, "1000.00");
    Ready();
    return FALSE;  // the focus is set
}

void LcrDialog::SetButtons(bool on) {
    for (int id : {IDOK, IDHELP, IDC_LCR_CALIBRATE}) Enable(id, on);
}

void LcrDialog::Ready() {
    phase_ = Phase::kIdle;
    SetButtons(true);
    Enable(IDCANCEL, true);
    Activity(kStrWaiting);
    SetFocus(GetDlgItem(dialog_, IDOK));
}

void LcrDialog::ClearResults() {
    for (int id : {IDC_LCR_L, IDC_LCR_C, IDC_LCR_R, IDC_LCR_Z}) SetDlgItemTextA(dialog_, id, "");
}

void LcrDialog::ShowReading(const LcrReading& r) {
    SetDlgItemTextA(dialog_, IDC_LCR_L, r.hasL ? FormatLcrValue(r.l, LcrQuantity::kInductance).c_str() : "");
    SetDlgItemTextA(dialog_, IDC_LCR_C, r.hasC ? FormatLcrValue(r.c, LcrQuantity::kCapacitance).c_str() : "");
    SetDlgItemTextA(dialog_, IDC_LCR_R, FormatLcrValue(r.r, LcrQuantity::kResistance).c_str());
    SetDlgItemTextA(dialog_, IDC_LCR_Z, FormatLcrValue(r.z, LcrQuantity::kResistance).c_str());
}

void LcrDialog::Start() {
    if (phase_ != Phase::kIdle || ended_) return;
    double f = 0;
    const bool typed = FieldNumber(dialog_, IDC_LCR_FREQUENCY, &f);
    if (const Status s = typed ? m_->CheckFrequency(f) : m_->CheckFrequency(-1); !s) {
        ShowMessage(s, MB_OK | MB_ICONSTOP);
        SetDlgItemTextA(dialog_, IDC_LCR_FREQUENCY, "1000.00");
        SetFocus(GetDlgItem(dialog_, IDC_LCR_FREQUENCY));
        return;
    }
    frequency_ = f;
    calibrating_ = false;
    char shown[64];
    std::snprintf(shown, sizeof shown, "%.2f", f);
    SetDlgItemTextA(dialog_, IDC_LCR_FREQUENCY, shown);
    SetButtons(false);
    Activity(kStrMeasuring);
    Status s = m_->CreateTone(f);
    if (s) s = m_->StartReading();
    if (!s) {
        ShowMessage(s, MB_OK | MB_ICONEXCLAMATION);
        End(IDCANCEL);
        return;
    }
    phase_ = Phase::kReading;
}

void LcrDialog::Calibrate() {
    if (phase_ != Phase::kIdle || ended_) return;
    double r = 0;
    if (!FieldNumber(dialog_, IDC_LCR_RESISTOR, &r) || !(r > 0) || r > kLcrMaxResistor) {
        ShowMessage(Status::Error(kStrLcrResistor), MB_OK | MB_ICONEXCLAMATION);
        SetDlgItemTextA(dialog_, IDC_LCR_RESISTOR, "");
        SetFocus(GetDlgItem(dialog_, IDC_LCR_RESISTOR));
        return;
    }
    if (!confirmed_) {
        if (ShowMessage(Status::Error(kStrLcrConnected), MB_YESNO | MB_ICONQUESTION) != IDYES) return;
        confirmed_ = true;
    }
    resistor_ = r;
    SetVirtualJigResistor(r);
    calIndex_ = 0;
    calibrating_ = true;
    SetButtons(false);
    Activity(kStrCreatingFiles);
    SetProgressRange(int(m_->CalibrationFrequencies().size()));
    phase_ = Phase::kCalibrating;
    PostMessageA(dialog_, kNextCalibration, 0, 0);
}

void LcrDialog::NextCalibration() {
    if (phase_ != Phase::kCalibrating || ended_) return;
    Status s = m_->CreateCalibrationTone(calIndex_);
    if (s) {
        char text[96];
        std::snprintf(text, sizeof text, "%s %.2f Hz", StringText(kStrMeasuring), m_->CalibrationFrequencies()[calIndex_]);
        SetDlgItemTextA(dialog_, IDC_LCR_ACTIVITY, text);
        s = m_->StartCalibration(calIndex_);
    }
    if (!s) {
        ShowMessage(s, MB_OK | MB_ICONEXCLAMATION);
        End(IDCANCEL);
    }
}

void LcrDialog::Notice(UINT message, WPARAM wp, LPARAM lp) {
    if ((phase_ != Phase::kReading && phase_ != Phase::kCalibrating) || !m_) return;
    Status error;
    if (!m_->OnNotice(message, uintptr_t(wp), intptr_t(lp), &error)) return;
    if (!error.ok()) {
        ShowMessage(error, MB_OK | MB_ICONEXCLAMATION);
        if (closeRequested_) End(IDCANCEL);
        else Ready();
        return;
    }
    PostMessageA(dialog_, kAnalyse, phase_ == Phase::kCalibrating, 0);
    phase_ = Phase::kAnalysing;
}

void LcrDialog::CalibrationFailed(const Status& s) {
    SetVirtualJigResistor(0);
    ShowMessage(s, MB_OK | MB_ICONEXCLAMATION);
    SetProgress(0);
    if (closeRequested_) End(IDCANCEL);
    else Ready();
}

void LcrDialog::Analyse() {
    if (phase_ != Phase::kAnalysing || !StartAnalysing()) return;
    Status s;
    if (calibrating_) {
        {
            WaitCursor wait;
            s = m_->AnalyseCalibration(calIndex_);
        }
        if (!s) {
            CalibrationFailed(s);
            return;
        }
        Step();
        if (++calIndex_ < m_->CalibrationFrequencies().size()) {
            Enable(IDCANCEL, true);
            phase_ = Phase::kCalibrating;
            PostMessageA(dialog_, kNextCalibration, 0, 0);
            return;
        }
        if (s = m_->WriteCalibration(resistor_); !s) {
            CalibrationFailed(s);
            return;
        }
        SetVirtualJigResistor(0);
        SetDlgItemTextA(dialog_, IDC_LCR_RESISTOR, StringText(kStrCalibrated));
    } else {
        LcrReading r;
        {
            WaitCursor wait;
            s = m_->AnalyseReading(frequency_, r);
        }
        if (s) {
            ShowReading(r);
        } else {
            ClearResults();
            ShowMessage(s.stringId == kStrCantAnalyseMemory ? s : Status::Error(kStrLcrFailed),
                        MB_OK | MB_ICONEXCLAMATION);
        }
    }
    // The reading stands, but the user should know the peaks were cut off.
    if (s && m_->Clipped()) ShowMessage(Status::Error(kStrInputOverload), MB_OK | MB_ICONWARNING);
    if (closeRequested_) {
        End(IDCANCEL);
        return;
    }
    Ready();
}

void LcrDialog::End(INT_PTR result) {
    if (ended_) return;
    if (m_) m_->Finish();
    EndOnce(result);
}

INT_PTR CALLBACK LcrDialogProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
    using D = LcrDialog;
    if (const std::optional<INT_PTR> done =
            CommonDialogMessage<D>(dialog, message, wp, lp, [&] { return new D(dialog); }, &D::CloseRequest,
                                   {{kAnalyse, &D::Analyse}, {kNextCalibration, &D::NextCalibration}}))
        return *done;
    D* self = MeasurementDialogOf<D>(dialog);
    if (message != WM_COMMAND || !self) return FALSE;
    switch (LOWORD(wp)) {
        case IDOK: self->Start(); return TRUE;
        case IDCANCEL: self->Cancel(); return TRUE;
        case IDHELP: self->Help(); return TRUE;
        case IDC_LCR_CALIBRATE: self->Calibrate(); return TRUE;
    }
    return FALSE;
}

}  // namespace

int OpenLcrDialog() { return RunMeasurementDialog(DLG_LCR, LcrDialogProc); }

}  // namespace srx
