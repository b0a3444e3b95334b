// The program's sound card from start to exit: devices and mixers, the
// start-up test, level presets and the absolute SPL calibration.
#include "app/win32/soundcard.h"

#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/win32/registry_store.h"
#include "app/win32/shell.h"
#include "audio/mixer.h"
#include "audio/virtual_device.h"
#include "audio/wave_engine.h"
#include "measure/measurement_settings.h"
#include "measure/settings_rules.h"
#include "measure/soundcard_check.h"
#include "measure/stimulus_files.h"
#include "measure/win32/compensation_dialogs.h"
#include "resources/settings_sheet_ids.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"

namespace srx {

namespace {

using MS = MeasurementSettings;

constexpr UINT_PTR kRunTimer = 1;
constexpr UINT_PTR kCardTestRetryTimer = 0x5C7;
constexpr int kCardTestRetries = 40;  // 250 ms apart
constexpr UINT kRunFinished = WM_APP + 1;

std::unique_ptr<MixerBackend> g_mixer;
std::string g_folder;
bool g_cardTestEnabled = true;
int g_cardTestRetries = 0;
std::atomic<int> g_lastCardTest{-1};  // written on the measurement thread
std::atomic<int> g_cardTests{0};
SoundcardMessageFn g_message = nullptr;

int Message(HWND owner, int id, UINT flags) {
    return g_message ? g_message(owner, id, flags) : MessageBoxId(owner, id, flags);
}

// The virtual loudspeaker has no mixer; neither has a device that is gone.
bool IsVirtual(uint32_t word) {
    WaveDeviceBackend* b = WaveBackend();
    return b && word > 0 && b->DeviceName(WaveDirection::kOutput, int(word) - 1) == kVirtualDeviceName;
}

bool UsesMixer(const MS& ms) {
    return g_mixer && ms.sampleRate != 0 && !IsVirtual(ms.outputDevice) && !IsVirtual(ms.inputDevice);
}

// Mixer names that force "Don't reset the tone controls" are remembered in
// the settings, as the Advanced dialog shows them.
void KeepToneFlag(MS& ms, const MixerSettings& m) {
    if (m.dontResetToneControls) ms.moreFlags |= kMsf2DontResetToneControls;
}

int VirtualIdOf(WaveDeviceBackend& b) {
    if (auto* router = dynamic_cast<WaveDeviceRouter*>(&b)) return router->VirtualId();
    const int n = b.DeviceCount(WaveDirection::kInput);
    for (int id = 0; id < n; ++id)
        if (b.DeviceName(WaveDirection::kInput, id) == kVirtualDeviceName) return id;
    return -1;
}

void CALLBACK RetryCardTest(HWND frame, UINT, UINT_PTR id, DWORD) {
    KillTimer(frame, id);
    PostMessageA(frame, UM_CARDTEST, 0, 0);
}

// Time for a run to end before it counts as not recording: its stimulus,
// the buffers in flight and a margin for a slow machine.
UINT RunTimeout(const DuplexRunPlan& plan) {
    const double seconds = plan.devices.sampleRate ? double(plan.StimulusFrames()) / plan.devices.sampleRate : 0;
    return UINT(seconds * 1000) + 5000;
}

DuplexRun g_cardRun;  // one at a time, on the measurement thread

// ---- SPL calibration -------------------------------------------------------

struct SplState {
    DuplexRun run;
    double reading = 0;
} g_spl;

void ShowToneButton(HWND dialog) {
    SetDlgItemTextA(dialog, IDC_SPL_TONE, StringText(LoopPlayerRunning() ? kStrStopTone : kStrPlayTone));
}

void EnableSplControls(HWND dialog, bool enabled) {
    for (int id : {IDC_SPL_TONE, IDC_SPL_VALUE, IDOK}) EnableWindow(GetDlgItem(dialog, id), enabled);
    if (enabled) SetDlgItemTextA(dialog, IDC_SPL_STATUS, "");
}

void ToggleTone(HWND dialog) {
    if (LoopPlayerRunning()) {
        LoopPlayerStop();
    } else {
        const MS& ms = CurrentMeasurementSettings();
        LoopTone tone;
        // A format the tone cannot have leaves it empty: the player then
        // says that the sound card needs configuring.
        SynthesizeLoopTone(1000, ms.sampleRate, ms.channels, ms.bitsPerSample, ms.waveformLevelDb, tone);
        LoopPlayerStart(dialog, WaveDeviceIdFromSetting(int(ms.outputDevice)), tone);
    }
    ShowToneButton(dialog);
}

void StartSplMeasurement(HWND dialog) {
    char text[64] = "";
    GetDlgItemTextA(dialog, IDC_SPL_VALUE, text, sizeof text);
    const char* p = text;
    while (*p == ' ' || *p == '\t') ++p;
    HWND edit = GetDlgItem(dialog, IDC_SPL_VALUE);
    if (!*p) {
        Message(dialog, kStrEnterSplReading, MB_OK | MB_ICONEXCLAMATION);
        SetFocus(edit);
        return;
    }
    char* end = nullptr;
    const double reading = std::strtod(p, &end);
    while (end && (*end == ' ' || *end == '\t')) ++end;
    if (!end || *end || !(reading > -50 && reading < 200)) {
        Message(dialog, kStrInvalidValues, MB_OK | MB_ICONEXCLAMATION);
        SetFocus(edit);
        SendMessageA(edit, EM_SETSEL, 0, -1);
        return;
    }
    LoopPlayerStop();
    ShowToneButton(dialog);
    g_spl.reading = reading;
    EnsureStimulusFolder();
    const DuplexRunPlan plan = SplCalibrationPlan(CurrentMeasurementSettings(), StimulusFolder());
    EnableSplControls(dialog, false);
    SetDlgItemTextA(dialog, IDC_SPL_STATUS, StringText(kStrMeasuringTone));
    const int failure = g_spl.run.Start(dialog, plan);
    if (failure) {
        if (failure != kWaveMessageShown) Message(dialog, failure, MB_OK | MB_ICONEXCLAMATION);
        EnableSplControls(dialog, true);
        return;
    }
    SetTimer(dialog, kRunTimer, RunTimeout(plan), nullptr);
}

void FinishSplMeasurement(HWND dialog) {
    KillTimer(dialog, kRunTimer);
    DuplexRun& run = g_spl.run;
    int failure = run.Failure();
    // Below -80 dB the tone is lost in the noise: no usable gain.
    if (!failure && !(run.ToneGain() > 1e-4)) failure = kStrLevelTooLow;
    if (failure) {
        Message(dialog, failure, MB_OK | MB_ICONEXCLAMATION);
        EnableSplControls(dialog, true);
        return;
    }
    MS& ms = CurrentMeasurementSettings();
    ms.addToResponseDb = SplCalibrationOffset(g_spl.reading, run.ToneGain());
    // Absolute levels mean nothing once normalised.
    ms.flags |= kMsfNoNormalise;
    EndDialog(dialog, IDOK);
}

}  // namespace

// ---- Start and exit ------------------------------------------------------------

void InstallProgramAudio(const std::string& programFolder) {
    ProgramWaveDevices();
    g_folder = programFolder;
    if (!g_mixer) g_mixer = MakeWinmmMixerBackend();
    MS& ms = CurrentMeasurementSettings();
    WaveRebuildBufferTable(int(ms.optimisedFor));
    WaveSetBufferCount(int(ms.bufferCount));
    MixerSettings m = MixerSettingsOf(ms);
    RegistryValueStore store;
    MixersAtStartup(*g_mixer, g_folder, m, store, UsesMixer(ms));
    KeepToneFlag(ms, m);
    // Measurements warn when the card's linearity was never measured.
    InstallSoundcardCompensationNotice();
}

void ShutdownProgramAudio() {
    LoopPlayerStop();
    if (!g_mixer) return;
    const MS& ms = CurrentMeasurementSettings();
    MixerSettings m = MixerSettingsOf(ms);
    RegistryValueStore store;
    MixersAtExit(*g_mixer, g_folder, m, store, UsesMixer(ms));
}

void PostStartupSoundcardCheck(HWND frame) {
    MS& ms = CurrentMeasurementSettings();
    WaveDeviceBackend* devices = WaveBackend();
    if (!devices) {
        PostMessageA(frame, WM_COMMAND, 711, 0);
        return;
    }
    const int virtualId = VirtualIdOf(*devices);
    switch (ChooseStartupSoundcard(ms, *devices, virtualId)) {
        case StartupSoundcard::kUseVirtual: ConfigureVirtualLoudspeaker(ms, virtualId); [[fallthrough]];
        case StartupSoundcard::kCardTest: PostMessageA(frame, UM_CARDTEST, 0, 0); break;
        case StartupSoundcard::kNoInput: ms.channels = 0; [[fallthrough]];
        case StartupSoundcard::kOpenSettings: PostMessageA(frame, WM_COMMAND, 711, 0); break;
    }
}

// ---- Start-up test ---------------------------------------------------------------

LRESULT RunCardTest(HWND frame) {
    if (!g_cardTestEnabled) {
        PostMessageA(frame, UM_SHOWFRAME, 0, 0);  // what the test would have done at its end
        return 1;
    }
    if (Shell().measurementBusy) {
        // The sheet that was cancelled is still ending, or a dialog runs.
        if (g_cardTestRetries++ < kCardTestRetries) SetTimer(frame, kCardTestRetryTimer, 250, RetryCardTest);
        return 1;
    }
    g_cardTestRetries = 0;
    RunMeasurementDialog(DLG_CARDTEST, CardTestProc);
    return 1;
}

INT_PTR CALLBACK CardTestProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
        case WM_INITDIALOG: {
            RegisterMeasurementDialog(dialog);
            EnsureStimulusFolder();
            const DuplexRunPlan plan = CardTestPlan(CurrentMeasurementSettings(), StimulusFolder());
            const int failure = g_cardRun.Start(dialog, plan);
            if (failure) PostMessageA(dialog, kRunFinished, WPARAM(failure), 0);
            else SetTimer(dialog, kRunTimer, RunTimeout(plan), nullptr);
            return TRUE;
        }
        case kWaveMciNotify:
            if (g_cardRun.OnNotify(message, wp, lp)) PostMessageA(dialog, kRunFinished, WPARAM(g_cardRun.Failure()), 0);
            return TRUE;
        case WM_TIMER:
            if (wp != kRunTimer) return FALSE;
            KillTimer(dialog, kRunTimer);
            g_cardRun.Abort();
            PostMessageA(dialog, kRunFinished, WPARAM(g_cardRun.Failure()), 0);
            return TRUE;
        case kRunFinished: {
            KillTimer(dialog, kRunTimer);
            const int failure = int(wp);
            g_lastCardTest = failure == kWaveMessageShown ? kStrSoundcardBusy : failure;
            ++g_cardTests;
            if (failure && failure != kWaveMessageShown) Message(dialog, failure, MB_OK | MB_ICONEXCLAMATION);
            UnregisterMeasurementDialog(dialog);
            EndDialog(dialog, failure ? IDCANCEL : IDOK);
            return TRUE;
        }
        case WM_CLOSE:  // the program is closing: no message
            KillTimer(dialog, kRunTimer);
            g_cardRun.Abort();
            UnregisterMeasurementDialog(dialog);
            EndDialog(dialog, IDCANCEL);
            return TRUE;
    }
    return FALSE;
}

void SetCardTestEnabled(bool enabled) { g_cardTestEnabled = enabled; }
void SetSoundcardMessageHook(SoundcardMessageFn fn) { g_message = fn; }
int CardTestsRun() { return g_cardTests; }
int LastCardTestResult() { return g_lastCardTest; }

// ---- Levels ------------------------------------------------------------------------

bool SaveLevelPresetForSettings(bool impedance) {
    MS& ms = CurrentMeasurementSettings();
    if (!UsesMixer(ms)) return false;
    MixerSettings m = MixerSettingsOf(ms);
    const bool saved = SaveLevelPreset(*g_mixer, g_folder, m, impedance);
    KeepToneFlag(ms, m);
    return saved;
}

void LoadLevelPresetForSettings(bool impedance) {
    MS& ms = CurrentMeasurementSettings();
    if (!UsesMixer(ms)) return;
    MixerSettings m = MixerSettingsOf(ms);
    LoadLevelPreset(*g_mixer, g_folder, m, impedance);
}

void SaveLevelsForSettings() {
    const MS& ms = CurrentMeasurementSettings();
    if (!UsesMixer(ms)) return;
    MixerSettings m = MixerSettingsOf(ms);
    RegistryValueStore store;
    SaveLevels(*g_mixer, m, store);
}

INT_PTR CALLBACK LevelsInformationProc(HWND dialog, UINT message, WPARAM wp, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
        EndDialog(dialog, IDOK);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK SplCalibrationProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
        case WM_INITDIALOG: ShowToneButton(dialog); return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wp)) {
                case IDC_SPL_TONE:
                    if (HIWORD(wp) == BN_CLICKED) ToggleTone(dialog);
                    return TRUE;
                case IDOK:
                    if (!g_spl.run.Running()) StartSplMeasurement(dialog);
                    return TRUE;
                case IDCANCEL:
                    LoopPlayerStop();
                    KillTimer(dialog, kRunTimer);
                    g_spl.run.Abort();
                    EndDialog(dialog, IDCANCEL);
                    return TRUE;
            }
            return FALSE;
        case kLoopPlayerFailed:  // the tone died; its message was shown
            ShowToneButton(dialog);
            return TRUE;
        case kWaveMciNotify:
            if (g_spl.run.OnNotify(message, wp, lp)) FinishSplMeasurement(dialog);
            return TRUE;
        case WM_TIMER:
            if (wp != kRunTimer) return FALSE;
            g_spl.run.Abort();
            FinishSplMeasurement(dialog);
            return TRUE;
        case WM_DESTROY:
            LoopPlayerStop();
            g_spl.run.Abort();
            return FALSE;
    }
    return FALSE;
}

}  // namespace srx
