// The chain's own measurements. Each step is one message of the dialog, so
// the engine's notices, the buttons and the steps never run into each other
// on the measurement thread:
//   Start -> (sound-card initialisation) -> prepare a stimulus -> record a
//   pass -> engine notices -> ... -> finish the stimulus (analyse, write its
//   file) -> next stimulus or done.
// A failure shows its message, shuts the engine down and leaves the dialog
// waiting: Start tries again from the beginning, and nothing of the failed
// attempt is written.
#include "measure/win32/compensation_dialogs.h"

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <string>

#include "app/win32/commands_internal.h"
#include "app/win32/frame.h"
#include "app/win32/shell.h"
#include "app/win32/soundcard.h"
#include "audio/virtual_device.h"
#include "audio/wave_engine.h"
#include "dsp/compensation.h"
#include "measure/compensation_settings.h"
#include "dsp/frequency_response.h"
#include "measure/win32/compensation_ui.h"
#include "measure/measurement_settings.h"
#include "measure/soundcard_check.h"
#include "measure/soundcard_compensation.h"
#include "measure/stimulus_files.h"
#include "measure/win32/measurement_dialog.h"
#include "resources/soundcard_compensation_ids.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"

namespace srx {

namespace {

// The dialog's own messages.
constexpr UINT kPrepareStimulus = WM_USER + 2;
constexpr UINT kRecordPass = WM_USER + 3;
constexpr UINT kFinishStimulus = WM_USER + 4;
constexpr UINT_PTR kInitTimer = 1;

constexpr int kNameChars = 120;

std::atomic<CompensationMessageHook> g_hook{nullptr};

HINSTANCE Instance() { return Shell().instance ? Shell().instance : GetModuleHandleA(nullptr); }

int ShowMessage(HWND owner, const Status& message, UINT flags) { return ShowStatus(owner, message, flags, g_hook); }

// Time for the initialisation to end before it counts as not recording.
UINT RunTimeout(const DuplexRunPlan& plan) {
    const double seconds = plan.devices.sampleRate ? double(plan.StimulusFrames()) / plan.devices.sampleRate : 0;
    return UINT(seconds * 1000) + 5000;
}

// The virtual loudspeaker has its line output wired to its line input for
// the length of a linearity measurement: its set-up becomes a pure delay of
// the same latency, as a cable would be, and comes back afterwards. (Its
// microphone channel would otherwise put the simulated loudspeaker into the
// card's compensation.)
class VirtualCable {
public:
    ~VirtualCable() { Unplug(); }
    void Plug(const MeasurementSettings& ms) {
        if (device_ || !UsesVirtualLoudspeaker(ms)) return;
        WaveDeviceBackend* b = WaveBackend();
        VirtualLoudspeaker* v = dynamic_cast<VirtualLoudspeaker*>(b);
        if (!v && dynamic_cast<WaveDeviceRouter*>(b)) v = &ProgramVirtualLoudspeaker();
        if (!v) return;
        saved_ = v->Setup();
        v->SetSetup(PureLatencySetup(saved_.latency));
        device_ = v;
    }
    void Unplug() {
        if (!device_) return;
        device_->SetSetup(saved_);
        device_ = nullptr;
    }

private:
    VirtualLoudspeaker* device_ = nullptr;
    VirtualSetup saved_;
};

class CompensationDialog {
public:
    CompensationDialog(HWND dialog, CompensationTarget target) : dialog_(dialog), target_(target) {}

    BOOL Init();
    void Start();
    void Notice(UINT message, WPARAM wp, LPARAM lp);
    void InitTimeout();
    void PrepareStimulus();
    void RecordPass();
    void FinishStimulus();
    void Ok();
    void Cancel();
    void Help();
    void Close() { End(IDCANCEL); }
    void Destroyed() { Stop(); }

private:
    enum class Phase { kWaiting, kInitialising, kMeasuring, kAnalysing };

    bool Linearity() const { return target_ == CompensationTarget::kSoundcard; }
    CompensationRunSetup CurrentSetup() const;
    void ShowInformation();
    void Fail(const Status& status);
    void Succeeded();
    void Stop();
    void End(INT_PTR result);
    void EnableButtons(bool on);
    void Activity(int id) { SetDlgItemTextA(dialog_, IDC_CC_ACTIVITY, StringText(id)); }
    void Step();

    HWND dialog_;
    CompensationTarget target_;
    std::unique_ptr<CompensationRun> run_;
    std::string name_;  // base name of the .2CP being measured
    DuplexRun init_;
    VirtualCable cable_;
    Phase phase_ = Phase::kWaiting;
    int pass_ = 0;
    int progress_ = 0;
    bool ended_ = false;
};

CompensationRunSetup CompensationDialog::CurrentSetup() const {
    CompensationRunSetup setup;
    setup.target = target_;
    setup.settings = CurrentMeasurementSettings();
    setup.folder = StimulusFolder();
    setup.programFolder = MeasureProgramFolder();
    setup.outputDevice = WaveDeviceIdFromSetting(int(setup.settings.outputDevice));
    setup.inputDevice = WaveDeviceIdFromSetting(int(setup.settings.inputDevice));
    setup.secondaryName = name_;
    setup.compensation = CurrentCompensationSettings();
    return setup;
}

void CompensationDialog::ShowInformation() {
    const MeasurementSettings& ms = CurrentMeasurementSettings();
    const bool probe = ms.channels == 2 && (ms.flags & kMsfProbeCompensation) && !Linearity();
    const double start = (ms.flags & kMsfMlsAutoStart) && ms.mlsWindow > 0 ? 1.0 / ms.mlsWindow : double(ms.mlsStart);
    const int order = int(ms.mlsOrder);
    const long length = order >= 2 && order <= 24 ? (1L << order) - 1 : 0;
    const uint32_t averages = ms.mlsPreAverages;
    const std::string info = FormatStringId(
        kStrInformation, start, MaxAnalysisFrequency(int(ms.sampleRate)), int(std::max(1u, averages)), length,
        probe ? "(Probe)" : "", int(ms.bitsPerSample), long(ms.sampleRate), ms.channels >= 2 ? "Stereo" : "Mono");
    SetDlgItemTextA(dialog_, IDC_CC_INFO, info.c_str());
}

BOOL CompensationDialog::Init() {
    RegisterMeasurementDialog(dialog_);
    ShowInformation();
    if (!Linearity()) {
        const std::string current = RememberedSecondaryCompensation();
        SendDlgItemMessageA(dialog_, IDC_CC_NAME, EM_LIMITTEXT, kNameChars, 0);
        SetDlgItemTextA(dialog_, IDC_CC_NAME, current.c_str());
        FillCompensationList(dialog_, IDC_CC_LIST, current.c_str(), true);
    }
    Activity(kStrWaiting);
    return TRUE;
}

void CompensationDialog::EnableButtons(bool on) {
    for (int id : {IDOK, IDHELP, IDC_CC_NAME, IDC_CC_LIST, IDC_CC_MEASURE})
        if (HWND w = GetDlgItem(dialog_, id)) EnableWindow(w, on);
}

void CompensationDialog::Step() {
    ++progress_;
    SendDlgItemMessageA(dialog_, IDC_CC_PROGRESS, PBM_SETPOS, WPARAM(progress_), 0);
}

void CompensationDialog::Start() {
    if (phase_ != Phase::kWaiting || ended_) return;
    const MeasurementSettings& ms = CurrentMeasurementSettings();
    if (!Linearity()) {
        char typed[kNameChars + 1] = "";
        GetDlgItemTextA(dialog_, IDC_CC_NAME, typed, sizeof typed);
        std::string base;
        const Status s = SecondaryCompensationBaseName(typed, base);
        if (!s) {
            ShowMessage(dialog_, s, MB_OK | MB_ICONEXCLAMATION);
            SetFocus(GetDlgItem(dialog_, IDC_CC_NAME));
            return;
        }
        const std::string file = base + kSecondaryExtension;
        const std::string path = InProgramFolder(MeasureProgramFolder(), file.c_str());
        if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES &&
            ShowMessage(dialog_, Status::Error(kStrReplace, {file}), MB_YESNO | MB_ICONQUESTION) != IDYES)
            return;
        name_ = base;
    }
    EnableButtons(false);
    progress_ = 0;
    SendDlgItemMessageA(dialog_, IDC_CC_PROGRESS, PBM_SETPOS, 0, 0);
    run_ = std::make_unique<CompensationRun>(CurrentSetup());
    if (Linearity()) cable_.Plug(ms);
    if (Linearity() && (ms.flags & kMsfInitSoundcard)) {
        Activity(kStrInitialising);
        EnsureStimulusFolder();
        const DuplexRunPlan plan = SoundcardInitPlan(ms, StimulusFolder());
        phase_ = Phase::kInitialising;
        const int failure = init_.Start(dialog_, plan);
        if (failure) {
            Fail(Status::Error(failure));
            return;
        }
        SetTimer(dialog_, kInitTimer, RunTimeout(plan), nullptr);
        return;
    }
    phase_ = Phase::kMeasuring;
    PostMessageA(dialog_, kPrepareStimulus, 0, 0);
}

void CompensationDialog::InitTimeout() {
    KillTimer(dialog_, kInitTimer);
    if (phase_ != Phase::kInitialising) return;
    init_.Abort();
    Fail(Status::Error(init_.Failure() ? init_.Failure() : kStrCantRecord));
}

void CompensationDialog::Notice(UINT message, WPARAM wp, LPARAM lp) {
    if (phase_ == Phase::kInitialising) {
        if (!init_.OnNotify(message, wp, lp)) return;
        KillTimer(dialog_, kInitTimer);
        if (init_.Failure()) {
            Fail(Status::Error(init_.Failure()));
            return;
        }
        phase_ = Phase::kMeasuring;
        PostMessageA(dialog_, kPrepareStimulus, 0, 0);
        return;
    }
    // Notices of a pass that was given up find no pass running.
    if (phase_ != Phase::kMeasuring || !run_) return;
    Status error;
    if (!run_->OnNotice(message, uintptr_t(wp), intptr_t(lp), &error)) return;
    if (!error.ok()) {
        Fail(error);
        return;
    }
    Step();
    ++pass_;
    PostMessageA(dialog_, pass_ < run_->PassCount() ? kRecordPass : kFinishStimulus, 0, 0);
}

void CompensationDialog::PrepareStimulus() {
    if (phase_ != Phase::kMeasuring || !run_ || ended_) return;
    Activity(kStrCreatingFiles);
    UpdateWindow(dialog_);
    EnsureStimulusFolder();
    WavePrepareHooks hooks;
    hooks.loadMixerLevels = &LoadLevelPresetForSettings;
    const Status s = run_->Prepare(dialog_, hooks);
    if (!s) {
        Fail(s);
        return;
    }
    const int range = run_->ProgressRange() * int(run_->Stimuli().size());
    SendDlgItemMessageA(dialog_, IDC_CC_PROGRESS, PBM_SETRANGE32, 0, range);
    Activity(kStrMeasuring);
    pass_ = run_->FirstPass();
    PostMessageA(dialog_, kRecordPass, 0, 0);
}

void CompensationDialog::RecordPass() {
    if (phase_ != Phase::kMeasuring || !run_) return;
    const Status s = run_->StartPass(pass_);
    if (!s) Fail(s);
}

void CompensationDialog::FinishStimulus() {
    if (phase_ != Phase::kMeasuring || !run_) return;
    phase_ = Phase::kAnalysing;
    Activity(kStrAnalysing);
    UpdateWindow(dialog_);
    Status s;
    {
        WaitCursor wait;
        s = run_->FinishStimulus();
    }
    if (!s) {
        Fail(s);
        return;
    }
    Step();
    if (!run_->Done()) {
        phase_ = Phase::kMeasuring;
        PostMessageA(dialog_, kPrepareStimulus, 0, 0);
        return;
    }
    Succeeded();
}

void CompensationDialog::Succeeded() {
    Stop();
    phase_ = Phase::kWaiting;
    SendDlgItemMessageA(dialog_, IDC_CC_PROGRESS, PBM_SETPOS, WPARAM(progress_ + 1), 0);
    Activity(kStrSaved);
    if (Linearity()) {
        const std::string folder = CompensationFolder(MeasureProgramFolder());
        ShowMessage(dialog_, Status::Error(kStrLinearityDone, {folder}), MB_OK | MB_ICONINFORMATION);
        End(IDOK);
        return;
    }
    // The new file is the one in use now, and the list says so.
    FillCompensationList(dialog_, IDC_CC_LIST, name_.c_str(), true);
    ShowMessage(dialog_, Status::Error(kStrSecondaryDone, {name_ + kSecondaryExtension}), MB_OK | MB_ICONINFORMATION);
    if (!ended_) EnableButtons(true);
}

void CompensationDialog::Stop() {
    KillTimer(dialog_, kInitTimer);
    init_.Abort();
    if (run_) run_->Finish();
    cable_.Unplug();
}

void CompensationDialog::Fail(const Status& status) {
    // Engine down and responses deleted before the message: a retry starts
    // afresh, and no notice arrives while the box is up.
    Stop();
    run_.reset();
    phase_ = Phase::kWaiting;
    progress_ = 0;
    SendDlgItemMessageA(dialog_, IDC_CC_PROGRESS, PBM_SETPOS, 0, 0);
    ShowMessage(dialog_, status, MB_OK | MB_ICONEXCLAMATION);
    if (ended_) return;
    EnableButtons(true);
    Activity(kStrWaiting);
}

void CompensationDialog::Ok() {
    if (phase_ != Phase::kWaiting) return;
    if (Linearity()) {
        Start();
        return;
    }
    SetRememberedSecondaryCompensation(SelectedCompensation(dialog_, IDC_CC_LIST));
    End(IDOK);
}

void CompensationDialog::Cancel() {
    if (phase_ == Phase::kAnalysing) return;
    End(IDCANCEL);
}

void CompensationDialog::Help() {
    const std::string& file = Shell().helpFile;
    if (!file.empty() && GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES)
        WinHelpA(dialog_, file.c_str(), HELP_FINDER, 0);
}

void CompensationDialog::End(INT_PTR result) {
    if (ended_) return;
    ended_ = true;
    Stop();
    UnregisterMeasurementDialog(dialog_);
    EndDialog(dialog_, result);
}

CompensationDialog* DialogOf(HWND dialog) { return MeasurementDialogOf<CompensationDialog>(dialog); }

INT_PTR DialogProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp, CompensationTarget target) {
    using D = CompensationDialog;
    if (const std::optional<INT_PTR> done =
            CommonDialogMessage<D>(dialog, message, wp, lp, [&] { return new D(dialog, target); }, &D::Close,
                                   {{kPrepareStimulus, &D::PrepareStimulus},
                                    {kRecordPass, &D::RecordPass},
                                    {kFinishStimulus, &D::FinishStimulus}}))
        return *done;
    CompensationDialog* self = DialogOf(dialog);
    switch (message) {
        case WM_COMMAND:
            if (!self) return FALSE;
            switch (LOWORD(wp)) {
                case IDOK: self->Ok(); return TRUE;
                case IDC_CC_MEASURE:
                    if (HIWORD(wp) == BN_CLICKED) self->Start();
                    return TRUE;
                case IDCANCEL: self->Cancel(); return TRUE;
                case IDHELP: self->Help(); return TRUE;
            }
            return FALSE;
        case WM_TIMER:
            if (wp != kInitTimer) return FALSE;
            if (self) self->InitTimeout();
            return TRUE;
        case WM_DESTROY:
            // Also when the sheet that owns it goes first.
            if (self) self->Destroyed();
            return FALSE;
    }
    return FALSE;
}

// ---- The notice ------------------------------------------------------------------

enum NoticeMode : LPARAM { kNoticeMeasurement = 0, kNoticeOffer = 1 };

INT_PTR CALLBACK NoticeProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrA(dialog, DWLP_USER, LONG_PTR(lp));
            if (lp == kNoticeOffer) {
                // The sheet offers to measure now; a measurement only tells.
                SetDlgItemTextA(dialog, IDOK, "Linearity");
                SetDlgItemTextA(dialog, IDCANCEL, "Close");
            } else {
                ShowWindow(GetDlgItem(dialog, IDCANCEL), SW_HIDE);
            }
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wp) != IDOK && LOWORD(wp) != IDCANCEL) return FALSE;
            if (IsDlgButtonChecked(dialog, IDC_NOCOMP_DONT_SHOW) == BST_CHECKED) {
                if (GetWindowLongPtrA(dialog, DWLP_USER) == kNoticeOffer) Notices().noCardCompensationSettings = false;
                else Notices().noCardCompensation = false;
            }
            EndDialog(dialog, LOWORD(wp));
            return TRUE;
    }
    return FALSE;
}

}  // namespace

void SetCompensationMessageHook(CompensationMessageHook hook) { g_hook = hook; }

int OpenSecondaryCompensationDialog() {
    return RunMeasurementDialog(DLG_SECONDARY_COMPENSATION, SecondaryCompensationProc);
}

INT_PTR CALLBACK SecondaryCompensationProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
    return DialogProc(dialog, message, wp, lp, CompensationTarget::kSecondary);
}

INT_PTR CALLBACK SoundcardCompensationProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
    return DialogProc(dialog, message, wp, lp, CompensationTarget::kSoundcard);
}

INT_PTR MeasureLinearity(HWND owner) {
    return DialogBoxParamA(Instance(), MAKEINTRESOURCEA(DLG_SOUNDCARD_COMPENSATION), owner, SoundcardCompensationProc,
                           0);
}

void ShowNoSoundcardCompensation(void* owner) {
    if (!Notices().noCardCompensation) return;
    DialogBoxParamA(Instance(), MAKEINTRESOURCEA(DLG_NO_CARD_COMPENSATION), static_cast<HWND>(owner), NoticeProc,
                    kNoticeMeasurement);
}

bool OfferLinearityMeasurement(HWND owner) {
    if (!Notices().noCardCompensationSettings) return false;
    const MeasurementSettings& ms = CurrentMeasurementSettings();
    bool missing = false;
    for (CompensationStimulus kind : LinearityStimuli(ms))
        missing = missing || SoundcardCompensationMissing(ms, MeasureProgramFolder(), kind);
    if (!missing) return false;
    return DialogBoxParamA(Instance(), MAKEINTRESOURCEA(DLG_NO_CARD_COMPENSATION), owner, NoticeProc, kNoticeOffer) ==
           IDOK;
}

void InstallSoundcardCompensationNotice() { SetNoSoundcardCompensationNotice(&ShowNoSoundcardCompensation); }

}  // namespace srx
