// The "Measurement Settings" sheet. Every page is described by tables that
// bind its controls to fields of the record, so filling, storing and the
// focus on a refused field work the same way on every page; only the
// Soundcard and Time-Window pages need code of their own.
#include "app/win32/settings_sheet.h"

#include <commctrl.h>
#include <prsht.h>

#include <cmath>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/settings.h"
#include "data/view_flags.h"
#include "app/win32/documents.h"
#include "app/win32/shell.h"
#include "app/win32/soundcard.h"
#include "audio/virtual_device.h"
#include "audio/wave_engine.h"
#include "data/records.h"
#include "dsp/frequency_response.h"
#include "measure/measurement_settings.h"
#include "measure/settings_rules.h"
#include "measure/stimulus_files.h"
#include "measure/impedance.h"
#include "measure/impedance_measurement.h"
#include "measure/win32/compensation_dialogs.h"
#include "measure/win32/impedance_dialogs.h"
#include "resources/settings_sheet_ids.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"

namespace srx {

namespace {

using MS = MeasurementSettings;

enum class Num { F64, U32 };

// An edit box showing a field times `scale` with `decimals` decimals.
struct EditBinding {
    int id;
    size_t offset;
    Num kind;
    double scale;
    int decimals;
    SettingsField field;
};

// A check box for one bit of a word (inverted: checked when the bit is clear).
struct CheckBinding {
    int id;
    size_t offset;
    uint32_t bit;
    bool inverted;
};

// A drop-down list whose index plus `bias` is the field.
struct ComboBinding {
    int id;
    size_t offset;
    std::vector<const char*> items;
    uint32_t bias;
};

// A check box that greys the controls it makes pointless.
struct Greying {
    int checkId;
    std::vector<int> controls;
};

enum PageKind { kSoundcard, kFft, kTimeWindow, kGated, kMls, kSpike, kWaterfall, kImpedance, kLevels, kPageKinds };

struct PageDef {
    int templateId;
    std::vector<EditBinding> edits;
    std::vector<CheckBinding> checks;
    std::vector<ComboBinding> combos;
    std::vector<Greying> greying;
};

#define OFF(f) offsetof(MS, f)

const std::vector<const char*> kWindowNames = {"Rektangular", "Bartlett (Triangular)", "Hanning (Cos)", "Hamming",
                                               "Blackman",    "Blackman-Harris"};

const std::vector<PageDef>& Pages() {
    static const std::vector<PageDef> pages = {
        {DLG_MS_SOUNDCARD,
         {},
         {{IDC_MS_FINISHSOUND, OFF(flags), kMsfPlayFinishedSound, false},
          {IDC_MS_PROBE, OFF(flags), kMsfProbeCompensation, false}},
         {{IDC_MS_OPTIMIZED, OFF(optimisedFor), {"Most Soundcards...", "TBS Pro/24 bit card"}, 0}},
         {}},
        {DLG_MS_FFT,
         {{IDC_MS_SPEED, OFF(speedOfSound), Num::F64, 1, 1, SettingsField::SpeedOfSound},
          {IDC_MS_ADDDB, OFF(addToResponseDb), Num::F64, 1, 1, SettingsField::None}},
         {{IDC_MS_NORMALIZE, OFF(flags), kMsfNoNormalise, true},
          {IDC_MS_THD2 + 0, OFF(thdHarmonics), 1u << 0, false},
          {IDC_MS_THD2 + 1, OFF(thdHarmonics), 1u << 1, false},
          {IDC_MS_THD2 + 2, OFF(thdHarmonics), 1u << 2, false},
          {IDC_MS_THD2 + 3, OFF(thdHarmonics), 1u << 3, false},
          {IDC_MS_THD2 + 4, OFF(thdHarmonics), 1u << 4, false},
          {IDC_MS_THD2 + 5, OFF(thdHarmonics), 1u << 5, false},
          {IDC_MS_THD2 + 6, OFF(thdHarmonics), 1u << 6, false},
          {IDC_MS_THD2 + 7, OFF(thdHarmonics), 1u << 7, false},
          {IDC_MS_THD2 + 8, OFF(thdHarmonics), 1u << 8, false}},
         {{IDC_MS_FFTWINDOW, OFF(fftWindowType), kWindowNames, 0},
          {IDC_MS_FFTSTART, OFF(fftWindowStart), {"Normal", "Delay Free", "Manual"}, 0},
          {IDC_MS_PHASEACC,
           OFF(phaseAccuracy),
           {"Low  (fast)", "Medium  (normal)", "High  (slow)", "Extra high (slower)"},
           0}},
         {{IDC_MS_NORMALIZE, {}}}},
        {DLG_MS_TIMEWINDOW,
         {{IDC_MS_D1, OFF(micDistance), Num::F64, 100, 2, SettingsField::MicDistance},
          {IDC_MS_D2, OFF(reflectionDistance), Num::F64, 100, 2, SettingsField::ReflectionDistance},
          {IDC_MS_TW, OFF(timeWindow), Num::F64, 1000, 4, SettingsField::TimeWindow},
          {IDC_MS_TWOFFSET, OFF(timeWindowOffset), Num::F64, 1000, 4, SettingsField::TimeWindowOffset}},
         {{IDC_MS_NEARFIELD, OFF(flags), kMsfNearField, false}},
         {},
         {}},
        {DLG_MS_GATED,
         {{IDC_MS_GTW, OFF(timeWindow), Num::F64, 1000, 4, SettingsField::TimeWindow},
          {IDC_MS_GSTART, OFF(gatedStart), Num::F64, 1, 2, SettingsField::GatedStart},
          {IDC_MS_GSTOP, OFF(gatedStop), Num::F64, 1, 2, SettingsField::GatedStop},
          {IDC_MS_GPEROCT, OFF(gatedPerOctave), Num::U32, 1, 0, SettingsField::GatedPerOctave},
          {IDC_MS_GPAUSE, OFF(gatedPause), Num::F64, 1, 2, SettingsField::GatedPause},
          {IDC_MS_GAVG, OFF(gatedPreAverages), Num::U32, 1, 0, SettingsField::None},
          {IDC_MS_SSTART, OFF(sweepStart), Num::F64, 1, 2, SettingsField::SweepStart},
          {IDC_MS_SSTOP, OFF(sweepStop), Num::F64, 1, 2, SettingsField::SweepStop},
          {IDC_MS_SPEROCT, OFF(sweepPerOctave), Num::U32, 1, 0, SettingsField::SweepPerOctave},
          {IDC_MS_STIME, OFF(sweepTimePerOctave), Num::F64, 1, 2, SettingsField::SweepTime},
          {IDC_MS_SAVG, OFF(sweepPreAverages), Num::U32, 1, 0, SettingsField::None}},
         {{IDC_MS_SREVERSE, OFF(flags), kMsfReverseSweep, false}},
         {},
         {}},
        {DLG_MS_MLS,
         {{IDC_MS_MWINDOW, OFF(mlsWindow), Num::F64, 1000, 4, SettingsField::MlsWindow},
          {IDC_MS_MPIR, OFF(mlsPirLength), Num::F64, 1000, 2, SettingsField::MlsPirLength},
          {IDC_MS_MSTART, OFF(mlsStart), Num::F64, 1, 2, SettingsField::MlsStart},
          {IDC_MS_MSTOP, OFF(mlsStop), Num::F64, 1, 2, SettingsField::MlsStop},
          {IDC_MS_MPEROCT, OFF(mlsPerOctave), Num::U32, 1, 0, SettingsField::MlsPerOctave},
          {IDC_MS_MAVG, OFF(mlsPreAverages), Num::U32, 1, 0, SettingsField::MlsPreAverages}},
         {{IDC_MS_MAUTOSTART, OFF(flags), kMsfMlsAutoStart, false},
          {IDC_MS_MAUTOSTOP, OFF(flags), kMsfMlsAutoStop, false},
          {IDC_MS_MMANUALAVG, OFF(flags), kMsfMlsManualAverages, false},
          {IDC_MS_MWARMUP, OFF(flags), kMsfMlsWarmUp, false},
          {IDC_MS_MPREEMPH, OFF(flags), kMsfMlsPreEmphasis, false},
          {IDC_MS_MDOFFT, OFF(flags), kMsfMlsDoFft, false},
          {IDC_MS_MDOWF, OFF(flags), kMsfMlsDoWaterfall, false}},
         {{IDC_MS_MORDER, OFF(mlsOrder), {"1023", "2047", "4095", "8191"}, 10}},
         {{IDC_MS_MAUTOSTART, {IDC_MS_MSTART}}, {IDC_MS_MAUTOSTOP, {IDC_MS_MSTOP}}}},
        {DLG_MS_SPIKE,
         {{IDC_MS_KLENGTH, OFF(spikeLength), Num::F64, 1000, 4, SettingsField::SpikeLength},
          {IDC_MS_KWINDOW, OFF(spikeWindow), Num::F64, 1000, 4, SettingsField::SpikeWindow},
          {IDC_MS_KPIR, OFF(spikePirLength), Num::F64, 1000, 2, SettingsField::SpikePirLength},
          {IDC_MS_KSTART, OFF(spikeStart), Num::F64, 1, 2, SettingsField::SpikeStart},
          {IDC_MS_KSTOP, OFF(spikeStop), Num::F64, 1, 2, SettingsField::SpikeStop},
          {IDC_MS_KPEROCT, OFF(spikePerOctave), Num::U32, 1, 0, SettingsField::SpikePerOctave},
          {IDC_MS_KAVG, OFF(spikePreAverages), Num::U32, 1, 0, SettingsField::SpikePreAverages}},
         {{IDC_MS_KAUTOLEN, OFF(flags), kMsfAutoSpikeLength, false},
          {IDC_MS_KAUTOSTART, OFF(flags), kMsfSpikeAutoStart, false},
          {IDC_MS_KAUTOSTOP, OFF(flags), kMsfSpikeAutoStop, false},
          {IDC_MS_KMANUALAVG, OFF(flags), kMsfSpikeManualAverages, false},
          {IDC_MS_KDOFFT, OFF(flags), kMsfSpikeDoFft, false},
          {IDC_MS_KDOWF, OFF(flags), kMsfSpikeDoWaterfall, false}},
         {},
         {{IDC_MS_KAUTOLEN, {IDC_MS_KLENGTH}},
          {IDC_MS_KAUTOSTART, {IDC_MS_KSTART}},
          {IDC_MS_KAUTOSTOP, {IDC_MS_KSTOP}}}},
        {DLG_MS_WATERFALL,
         {{IDC_MS_WLENGTH, OFF(waterfallLength), Num::F64, 1000, 4, SettingsField::WaterfallLength},
          {IDC_MS_WSTART, OFF(waterfallStart), Num::F64, 1, 2, SettingsField::WaterfallStart},
          {IDC_MS_WSTOP, OFF(waterfallStop), Num::F64, 1, 2, SettingsField::WaterfallStop},
          {IDC_MS_WPEROCT, OFF(waterfallPerOctave), Num::U32, 1, 0, SettingsField::WaterfallPerOctave}},
         {{IDC_MS_WSAME, OFF(flags), kMsfWaterfallSameLength, false},
          {IDC_MS_WAUTOSTART, OFF(flags), kMsfWaterfallAutoStart, false},
          {IDC_MS_WAUTOSTOP, OFF(flags), kMsfWaterfallAutoStop, false}},
         {{IDC_MS_WTYPE, OFF(waterfallType), {"Shrinking Time-Window", "Constant Time-Window"}, 0}},
         {{IDC_MS_WSAME, {IDC_MS_WLENGTH}}, {IDC_MS_WAUTOSTART, {IDC_MS_WSTART}}, {IDC_MS_WAUTOSTOP, {IDC_MS_WSTOP}}}},
        {DLG_MS_IMPEDANCE,
         {{IDC_MS_ZSTART, OFF(impedanceStart), Num::F64, 1, 2, SettingsField::ImpedanceStart},
          {IDC_MS_ZSTOP, OFF(impedanceStop), Num::F64, 1, 2, SettingsField::ImpedanceStop},
          {IDC_MS_ZPEROCT, OFF(impedancePerOctave), Num::U32, 1, 0, SettingsField::ImpedancePerOctave},
          {IDC_MS_ZTIME, OFF(impedanceSweepTime), Num::F64, 1, 2, SettingsField::ImpedanceSweepTime},
          {IDC_MS_ZAVG, OFF(impedancePreAverages), Num::U32, 1, 0, SettingsField::None}},
         {{IDC_MS_ZMLS, OFF(flags), kMsfImpedanceMls, false}, {IDC_MS_ZWARMUP, OFF(flags), kMsfImpedanceWarmUp, false}},
         {{IDC_MS_ZORDER,
           OFF(impedanceMlsOrder),
           {"1023", "2047", "4095", "8191", "16383", "32767", "65535", "131071", "262143"},
           10},
          {IDC_MS_ZWINDOW, OFF(impedanceWindowType), kWindowNames, 0},
          {IDC_MS_ZBOX, OFF(impedanceBoxVersion), {"Version 1", "Version 2", "Version 3", "1K Resistor"}, 0}},
         {}},
        {DLG_MS_LEVELS, {}, {}, {}, {}},
    };
    return pages;
}

// ---- Field access: the record is packed, so go through bytes ---------------

char* Bytes(MS& ms) { return reinterpret_cast<char*>(&ms); }

double GetF64(MS& ms, size_t off) {
    double v;
    std::memcpy(&v, Bytes(ms) + off, sizeof v);
    return v;
}
void SetF64(MS& ms, size_t off, double v) { std::memcpy(Bytes(ms) + off, &v, sizeof v); }
uint32_t GetU32(MS& ms, size_t off) {
    uint32_t v;
    std::memcpy(&v, Bytes(ms) + off, sizeof v);
    return v;
}
void SetU32(MS& ms, size_t off, uint32_t v) { std::memcpy(Bytes(ms) + off, &v, sizeof v); }

std::string Format(MS& ms, const EditBinding& e) {
    char text[64];
    if (e.kind == Num::U32) std::snprintf(text, sizeof text, "%u", GetU32(ms, e.offset));
    else std::snprintf(text, sizeof text, "%.*f", e.decimals, GetF64(ms, e.offset) * e.scale);
    return text;
}

std::string ControlText(HWND page, int id) {
    char text[128] = "";
    GetDlgItemTextA(page, id, text, sizeof text);
    return text;
}

// ---- The sheet's state (one sheet at a time, on the measurement thread) ---

struct SheetState {
    MS saved{};
    bool easy = false;
    bool confirmed = false;
    bool ended = false;
    bool placed = false;          // centred over the frame once
    std::vector<PageKind> kinds;  // the pages shown, in order
    HWND pages[kPageKinds] = {};  // by kind, once created
    HWND sheet = nullptr;
    bool soundcardChanged = false;
    bool turning = false;  // a refusal on OK is bringing its page to the front
};
SheetState g_sheet;

SettingsMessageFn g_message = nullptr;

int Message(HWND owner, int id, UINT flags) {
    return g_message ? g_message(owner, id, flags) : MessageBoxId(owner, id, flags);
}

PageKind KindOfPage(HWND page) {
    for (int k = 0; k < kPageKinds; ++k)
        if (g_sheet.pages[k] == page) return PageKind(k);
    return kPageKinds;
}

int SheetIndexOf(PageKind kind) {
    for (size_t i = 0; i < g_sheet.kinds.size(); ++i)
        if (g_sheet.kinds[i] == kind) return int(i);
    return -1;
}

void StorePage(HWND page, PageKind kind, MS& ms = CurrentMeasurementSettings());

void ApplyGreying(HWND page, PageKind kind) {
    const MS& ms = CurrentMeasurementSettings();
    const bool nearField = (ms.flags & kMsfNearField) != 0;
    for (const Greying& g : Pages()[kind].greying) {
        const bool on = IsDlgButtonChecked(page, g.checkId) == BST_CHECKED;
        for (int id : g.controls) EnableWindow(GetDlgItem(page, id), !on);
    }
    // Near-field measurements keep their own windows: the triangle does not
    // apply, and the gated window is entered on its own page.
    if (kind == kTimeWindow) {
        const bool nf = IsDlgButtonChecked(page, IDC_MS_NEARFIELD) == BST_CHECKED;
        for (int id : {IDC_MS_D1, IDC_MS_D2, IDC_MS_TWCALC}) EnableWindow(GetDlgItem(page, id), !nf);
    }
    if (kind == kGated) EnableWindow(GetDlgItem(page, IDC_MS_GTW), nearField);
    // Probe compensation needs two channels.
    if (kind == kSoundcard) EnableWindow(GetDlgItem(page, IDC_MS_PROBE), ms.channels == 2);
    // The time field is the sweep's time or the MLS's length; the window
    // only weighs the MLS's impulse responses.
    if (kind == kImpedance) {
        const bool mls = IsDlgButtonChecked(page, IDC_MS_ZMLS) == BST_CHECKED;
        SetDlgItemTextA(page, IDC_MS_ZTIMELABEL, StringText(mls ? kStrMlsLengthLabel : kStrSweepTimeLabel));
        ShowWindow(GetDlgItem(page, IDC_MS_ZTIME), mls ? SW_HIDE : SW_SHOW);
        ShowWindow(GetDlgItem(page, IDC_MS_ZORDER), mls ? SW_SHOW : SW_HIDE);
        for (int id : {IDC_MS_ZRES, IDC_MS_ZWINDOW}) EnableWindow(GetDlgItem(page, id), mls);
    }
}

// The rest of the session keeps the resistor last calibrated with: the
// settings record has no field for it.
double g_calibrationResistor = 8.0;

// "Calibrated" when the calibration file of the setting as the page shows
// it (typed but not yet stored values included) exists.
void ShowCalibrationStatus(HWND page) {
    if (!page) return;
    MS shown = CurrentMeasurementSettings();
    StorePage(page, kImpedance, shown);
    const bool present = ImpedanceCalibrationFileName(shown, MeasureProgramFolder(), nullptr);
    SetDlgItemTextA(page, IDC_MS_ZSTATUS, StringText(present ? kStrCalibrated : kStrUncalibrated));
}

void ShowResolution(HWND page, PageKind kind) {
    MS& ms = CurrentMeasurementSettings();
    char text[32];
    if (kind == kMls) {
        std::snprintf(text, sizeof text, "%.2f", MlsResolutionHz(ms.sampleRate, ms.mlsOrder));
        SetDlgItemTextA(page, IDC_MS_MRES, text);
    } else if (kind == kImpedance) {
        std::snprintf(text, sizeof text, "%.2f", MlsResolutionHz(ms.sampleRate, ms.impedanceMlsOrder));
        SetDlgItemTextA(page, IDC_MS_ZRES, text);
    }
}

void FillPage(HWND page, PageKind kind) {
    MS& ms = CurrentMeasurementSettings();
    const PageDef& def = Pages()[kind];
    for (const EditBinding& e : def.edits) SetDlgItemTextA(page, e.id, Format(ms, e).c_str());
    for (const CheckBinding& c : def.checks) {
        const bool set = (GetU32(ms, c.offset) & c.bit) != 0;
        CheckDlgButton(page, c.id, set != c.inverted ? BST_CHECKED : BST_UNCHECKED);
    }
    for (const ComboBinding& c : def.combos) {
        const uint32_t v = GetU32(ms, c.offset);
        const int index = v >= c.bias && v - c.bias < c.items.size() ? int(v - c.bias) : -1;
        SendDlgItemMessageA(page, c.id, CB_SETCURSEL, WPARAM(index), 0);
    }
    ApplyGreying(page, kind);
    ShowResolution(page, kind);
    if (kind == kImpedance) ShowCalibrationStatus(page);
}

// Writes the controls into the record. An edit whose text still reads as
// the value it was filled with keeps the value exactly: the shown text is
// rounded, and storing it back would count as a change of the setting.
void StorePage(HWND page, PageKind kind, MS& ms) {
    const PageDef& def = Pages()[kind];
    for (const EditBinding& e : def.edits) {
        const std::string text = ControlText(page, e.id);
        if (text == Format(ms, e)) continue;
        if (e.kind == Num::U32) {
            const long v = std::strtol(text.c_str(), nullptr, 10);
            SetU32(ms, e.offset, v > 0 ? uint32_t(v) : 0u);
        } else {
            SetF64(ms, e.offset, std::strtod(text.c_str(), nullptr) / e.scale);
        }
    }
    for (const CheckBinding& c : def.checks) {
        const bool checked = IsDlgButtonChecked(page, c.id) == BST_CHECKED;
        uint32_t w = GetU32(ms, c.offset);
        w = (checked != c.inverted) ? (w | c.bit) : (w & ~c.bit);
        SetU32(ms, c.offset, w);
    }
    for (const ComboBinding& c : def.combos) {
        const LRESULT index = SendDlgItemMessageA(page, c.id, CB_GETCURSEL, 0, 0);
        if (index >= 0) SetU32(ms, c.offset, uint32_t(index) + c.bias);
    }
}

// The page and control where a refused field is entered.
bool LocateField(SettingsField field, PageKind& kind, int& control) {
    const bool nearField = (CurrentMeasurementSettings().flags & kMsfNearField) != 0;
    if (field == SettingsField::TimeWindow) {
        kind = nearField && SheetIndexOf(kGated) >= 0 ? kGated : kTimeWindow;
        control = kind == kGated ? IDC_MS_GTW : IDC_MS_TW;
        return true;
    }
    for (int k = 0; k < kPageKinds; ++k) {
        for (const EditBinding& e : Pages()[k].edits) {
            if (e.field == field && field != SettingsField::None) {
                kind = PageKind(k);
                control = e.id;
                return true;
            }
        }
    }
    return false;
}

// Shows a refusal: on OK the page with the field comes to the front; the
// field shows the value the rule put back and takes the focus. A page being
// left stays in front whatever the field (turning the page from inside its
// own leave notice would ask it to leave again).
void ShowRefusal(HWND page, const PageCheck& check, bool mayTurnPage) {
    PageKind kind = KindOfPage(page);
    int control = 0;
    if (!LocateField(check.field, kind, control) || SheetIndexOf(kind) < 0 ||
        (!mayTurnPage && g_sheet.pages[kind] != page)) {
        kind = KindOfPage(page);
        control = 0;
    }
    if (g_sheet.pages[kind] != page && g_sheet.sheet) {
        g_sheet.turning = true;
        SendMessageA(g_sheet.sheet, PSM_SETCURSEL, WPARAM(SheetIndexOf(kind)), 0);
        g_sheet.turning = false;
    }
    for (int k = 0; k < kPageKinds; ++k)
        if (g_sheet.pages[k]) FillPage(g_sheet.pages[k], PageKind(k));
    HWND target = g_sheet.pages[kind] ? g_sheet.pages[kind] : page;
    if (control) {
        HWND field = GetDlgItem(target, control);
        SetFocus(field);
        SendMessageA(field, EM_SETSEL, 0, -1);
    }
    Message(target, check.messageId, MB_OK | MB_ICONEXCLAMATION);
}

PageCheck CheckOnePage(PageKind kind) {
    MS& ms = CurrentMeasurementSettings();
    switch (kind) {
        case kFft: return CheckFftPage(ms);
        case kTimeWindow: return CheckTimeWindowPage(ms);
        case kGated: return CheckGatedSweepPage(ms);
        case kMls: return CheckMlsPage(ms);
        case kSpike: return CheckSpikePage(ms);
        case kWaterfall: return CheckWaterfallPage(ms);
        case kImpedance: return CheckImpedancePage(ms);
        default: return {};
    }
}

// ---- Confirmation and cancel -----------------------------------------------

void Confirm() {
    MS& ms = CurrentMeasurementSettings();
    // Cached stimuli and responses no longer fit the setting.
    if (WaveFilesOutdated(g_sheet.saved, ms)) ClearWaveFiles(kClearAll);
    const bool harmonicsChanged = ThdHarmonicsChanged(g_sheet.saved, ms);
    FinishConfirmedSettings(ms);
    WaveRebuildBufferTable(int(ms.optimisedFor));
    WaveSetBufferCount(int(ms.bufferCount));
    RefreshAnalysisSettings();
    // The records belong to the frame's thread, which paints them.
    if (harmonicsChanged && Shell().frame) PostMessageA(Shell().frame, UM_RECOMPUTETHD, 0, 0);
    SaveLevelsForSettings();
    g_sheet.saved = ms;
    g_sheet.confirmed = true;
}

void Restore() {
    CurrentMeasurementSettings() = g_sheet.saved;
    WaveRebuildBufferTable(int(g_sheet.saved.optimisedFor));
    if (Shell().frame) PostMessageA(Shell().frame, UM_CARDTEST, 0, 0);
}

// ---- Soundcard page --------------------------------------------------------

constexpr uint32_t kRates[] = {5513, 8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000, 88200, 96000};

WaveDeviceBackend& Devices() {
    if (WaveDeviceBackend* b = WaveBackend()) return *b;
    // Listing only: the program's router of the sound cards and the virtual
    // loudspeaker, made once when nobody installed a back-end.
    static std::unique_ptr<WaveDeviceBackend> cards = MakeWinmmBackend();
    static VirtualLoudspeaker loudspeaker;
    static WaveDeviceRouter router(cards.get(), &loudspeaker);
    return router;
}

WaveFormat MakeFormat(uint32_t rate, int bits, int channels) {
    WaveFormat f{};
    f.formatTag = kWaveFormatPcm;
    f.channels = uint16_t(channels);
    f.samplesPerSec = rate;
    f.bitsPerSample = uint16_t(bits);
    f.blockAlign = uint16_t(channels * bits / 8);
    f.avgBytesPerSec = rate * f.blockAlign;
    return f;
}

struct DuplexFormat {
    uint32_t rate;
    int bits, channels;
};

std::vector<DuplexFormat> DuplexFormats(uint32_t outWord, uint32_t inWord) {
    WaveDeviceBackend& b = Devices();
    std::vector<DuplexFormat> out;
    for (uint32_t rate : kRates)
        for (int bits : {16, 24})
            for (int channels : {1, 2}) {
                const WaveFormat f = MakeFormat(rate, bits, channels);
                if (b.SupportsFormat(WaveDirection::kOutput, WaveDeviceIdFromSetting(int(outWord)), f) &&
                    b.SupportsFormat(WaveDirection::kInput, WaveDeviceIdFromSetting(int(inWord)), f))
                    out.push_back({rate, bits, channels});
            }
    return out;
}

std::string FormatText(const DuplexFormat& f) {
    char text[64];
    std::snprintf(text, sizeof text, "%u Hz, %d Bit, %s", f.rate, f.bits, f.channels == 2 ? "Stereo" : "Mono");
    return text;
}

// The setting words listed: 0 (the mapper) and every index that has both an
// output and an input device.
std::vector<uint32_t> DeviceWords() {
    WaveDeviceBackend& b = Devices();
    std::vector<uint32_t> words{0};
    const int n = std::max(b.DeviceCount(WaveDirection::kOutput), b.DeviceCount(WaveDirection::kInput));
    for (int i = 0; i < n; ++i)
        if (!b.DeviceName(WaveDirection::kOutput, i).empty() && !b.DeviceName(WaveDirection::kInput, i).empty())
            words.push_back(uint32_t(i + 1));
    return words;
}

void SelectByData(HWND combo, uint32_t data) {
    const int n = int(SendMessageA(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i)
        if (uint32_t(SendMessageA(combo, CB_GETITEMDATA, WPARAM(i), 0)) == data) {
            SendMessageA(combo, CB_SETCURSEL, WPARAM(i), 0);
            return;
        }
}

void ShowBufferSizes(HWND page) {
    const MS& ms = CurrentMeasurementSettings();
    const WaveBufferPair p = WaveBufferSizesFor(ms.channels, ms.bitsPerSample, ms.sampleRate);
    SetDlgItemInt(page, IDC_MS_DMAREC, p.input, FALSE);
    SetDlgItemInt(page, IDC_MS_DMAPLAY, p.output, FALSE);
}

// Lists the formats of the chosen pair and selects the setting's one (or,
// when the setting is not among them, the first), writing it back.
void FillFormats(HWND page) {
    MS& ms = CurrentMeasurementSettings();
    HWND combo = GetDlgItem(page, IDC_MS_FORMAT);
    SendMessageA(combo, CB_RESETCONTENT, 0, 0);
    const std::vector<DuplexFormat> formats = DuplexFormats(ms.outputDevice, ms.inputDevice);
    int chosen = 0;
    for (size_t i = 0; i < formats.size(); ++i) {
        const DuplexFormat& f = formats[i];
        SendMessageA(combo, CB_ADDSTRING, 0, LPARAM(FormatText(f).c_str()));
        if (f.rate == ms.sampleRate && f.bits == ms.bitsPerSample && f.channels == ms.channels) chosen = int(i);
    }
    if (!formats.empty()) {
        SendMessageA(combo, CB_SETCURSEL, WPARAM(chosen), 0);
        ms.sampleRate = formats[chosen].rate;
        ms.bitsPerSample = uint16_t(formats[chosen].bits);
        ms.channels = uint16_t(formats[chosen].channels);
    }
    ShowBufferSizes(page);
    ApplyGreying(page, kSoundcard);
}

void FillSoundcard(HWND page) {
    MS& ms = CurrentMeasurementSettings();
    WaveDeviceBackend& b = Devices();
    const std::vector<uint32_t> words = DeviceWords();
    if (words.size() == 1) {
        ResetMeasurementDefaults(ms);
        Message(page, kStrNoSoundcard, MB_OK | MB_ICONSTOP);
    }
    for (int id : {IDC_MS_OUTDEV, IDC_MS_INDEV}) {
        HWND combo = GetDlgItem(page, id);
        SendMessageA(combo, CB_RESETCONTENT, 0, 0);
        const WaveDirection dir = id == IDC_MS_OUTDEV ? WaveDirection::kOutput : WaveDirection::kInput;
        for (uint32_t w : words) {
            const std::string name = w == 0 ? "Wave Mapper" : b.DeviceName(dir, int(w) - 1);
            const LRESULT i = SendMessageA(combo, CB_ADDSTRING, 0, LPARAM(name.c_str()));
            SendMessageA(combo, CB_SETITEMDATA, WPARAM(i), LPARAM(w));
        }
    }
    // A pair without a common format: try the other outputs in turn.
    if (words.size() > 1 && DuplexFormats(ms.outputDevice, ms.inputDevice).empty()) {
        bool found = false;
        for (uint32_t w : words)
            if (!DuplexFormats(w, ms.inputDevice).empty()) {
                ms.outputDevice = w;
                found = true;
                break;
            }
        if (!found) {
            ResetMeasurementDefaults(ms);
            Message(page, kStrNoFullDuplex, MB_OK | MB_ICONSTOP);
        }
    }
    SelectByData(GetDlgItem(page, IDC_MS_OUTDEV), ms.outputDevice);
    SelectByData(GetDlgItem(page, IDC_MS_INDEV), ms.inputDevice);

    // The mixer is not asked yet: the three usual sources are offered.
    HWND input = GetDlgItem(page, IDC_MS_INPUT);
    SendMessageA(input, CB_RESETCONTENT, 0, 0);
    for (int id = 5051; id <= 5053; ++id) SendMessageA(input, CB_ADDSTRING, 0, LPARAM(StringText(id)));
    SendMessageA(input, CB_SETCURSEL, ms.inputSource <= kInputAux ? WPARAM(ms.inputSource) : WPARAM(-1), 0);
    FillFormats(page);
}

// A new device: kept only when the pair has a full-duplex format.
void DeviceChosen(HWND page, int id) {
    MS& ms = CurrentMeasurementSettings();
    HWND combo = GetDlgItem(page, id);
    const LRESULT index = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    if (index < 0) return;
    const uint32_t word = uint32_t(SendMessageA(combo, CB_GETITEMDATA, WPARAM(index), 0));
    const uint32_t out = id == IDC_MS_OUTDEV ? word : ms.outputDevice;
    const uint32_t in = id == IDC_MS_INDEV ? word : ms.inputDevice;
    if (DuplexFormats(out, in).empty()) {
        SelectByData(combo, id == IDC_MS_OUTDEV ? ms.outputDevice : ms.inputDevice);
        Message(page, kStrNoFullDuplexSetting, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    ms.outputDevice = out;
    ms.inputDevice = in;
    g_sheet.soundcardChanged = true;
    FillFormats(page);
    // Impedance needs both channels (voltage and current); a pair that only
    // records in mono can still measure acoustically.
    const std::vector<DuplexFormat> formats = DuplexFormats(out, in);
    if (std::none_of(formats.begin(), formats.end(), [](const DuplexFormat& f) { return f.channels == 2; }))
        Message(page, kStrMonoInput, MB_OK | MB_ICONEXCLAMATION);
    // The calibration file is named after the devices.
    ShowCalibrationStatus(g_sheet.pages[kImpedance]);
}

void FormatChosen(HWND page) {
    MS& ms = CurrentMeasurementSettings();
    char text[64] = "";
    GetDlgItemTextA(page, IDC_MS_FORMAT, text, sizeof text);
    unsigned rate = 0;
    int bits = 0;
    char layout[16] = "";
    if (std::sscanf(text, "%u Hz, %d Bit, %15s", &rate, &bits, layout) != 3) return;
    ms.sampleRate = rate;
    ms.bitsPerSample = uint16_t(bits);
    ms.channels = std::strcmp(layout, "Stereo") == 0 ? 2 : 1;
    g_sheet.soundcardChanged = true;
    ShowBufferSizes(page);
    ApplyGreying(page, kSoundcard);
    for (PageKind k : {kMls, kImpedance})
        if (g_sheet.pages[k]) ShowResolution(g_sheet.pages[k], k);
    ShowCalibrationStatus(g_sheet.pages[kImpedance]);
}

void SoundcardCommand(HWND page, int id, int code) {
    MS& ms = CurrentMeasurementSettings();
    if (code == CBN_SELCHANGE) {
        if (id == IDC_MS_OUTDEV || id == IDC_MS_INDEV) DeviceChosen(page, id);
        else if (id == IDC_MS_FORMAT) FormatChosen(page);
        else if (id == IDC_MS_INPUT) {
            const LRESULT i = SendDlgItemMessageA(page, id, CB_GETCURSEL, 0, 0);
            if (i >= 0) ms.inputSource = uint32_t(i);
            g_sheet.soundcardChanged = true;  // the compensation files are per input
        } else if (id == IDC_MS_OPTIMIZED) {
            const LRESULT i = SendDlgItemMessageA(page, id, CB_GETCURSEL, 0, 0);
            if (i >= 0) ms.optimisedFor = uint32_t(i);
            if (i == 1) ms.bufferCount = 8;
            WaveRebuildBufferTable(int(ms.optimisedFor));
            ShowBufferSizes(page);
        }
    } else if (id == IDC_MS_LINEARITY && code == BN_CLICKED) {
        MeasureLinearity(page);
    } else if (id == IDC_MS_ADVANCED && code == BN_CLICKED) {
        DialogBoxParamA(Shell().instance ? Shell().instance : GetModuleHandleA(nullptr),
                        MAKEINTRESOURCEA(DLG_MS_ADVANCED), page, AdvancedSoundcardProc, 0);
    }
}

// ---- Time-Window page --------------------------------------------------------

// "Calculate": derives the value entered as 0 from the other two.
void CalculateTriangle(HWND page) {
    StorePage(page, kTimeWindow);
    MS& ms = CurrentMeasurementSettings();
    const TimeWindowTriangle t =
        SolveTimeWindowTriangle({ms.micDistance, ms.reflectionDistance, ms.timeWindow}, ms.speedOfSound);
    ms.micDistance = t.d1;
    ms.reflectionDistance = t.d2;
    ms.timeWindow = t.window;
    SetDlgItemTextA(page, IDC_MS_D1, FormatCentimetres(t.d1).c_str());
    SetDlgItemTextA(page, IDC_MS_D2, FormatCentimetres(t.d2).c_str());
    SetDlgItemTextA(page, IDC_MS_TW, FormatMilliseconds(t.window).c_str());
}

// ---- Impedance page --------------------------------------------------------------

// "Calibrate": the resistor measured with the setting as the page shows it.
void Calibrate(HWND page) {
    StorePage(page, kImpedance);
    MS& ms = CurrentMeasurementSettings();
    if (const PageCheck check = CheckImpedancePage(ms); !check.ok()) {
        ShowRefusal(page, check, false);
        return;
    }
    double rcal = 0;
    HWND field = GetDlgItem(page, IDC_MS_ZRCAL);
    if (!ParseTypedOhms(ControlText(page, IDC_MS_ZRCAL), rcal) || !(rcal > 0) || rcal > kMaxTypedOhms) {
        SetFocus(field);
        SendMessageA(field, EM_SETSEL, 0, -1);
        Message(page, kStrCalibrationResistorRange, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    g_calibrationResistor = rcal;
    const double factor = CalibrateImpedance(page, rcal);
    if (factor != 0 && std::isfinite(factor)) {
        ms.impedanceCalibration = factor;
        // The file is written whatever the sheet ends with, and the factor
        // belongs to it: Cancel keeps it too.
        g_sheet.saved.impedanceCalibration = factor;
    }
    ShowCalibrationStatus(page);
}

void ImpedanceCommand(HWND page, int id, int code) {
    if (id == IDC_MS_ZCALIBRATE && code == BN_CLICKED) {
        Calibrate(page);
        return;
    }
    if (id == IDC_MS_ZORDER && code == CBN_SELCHANGE) {
        StorePage(page, kImpedance);
        ShowResolution(page, kImpedance);
    }
    // Everything the calibration file's name is made of.
    const bool named = ((id == IDC_MS_ZORDER || id == IDC_MS_ZWINDOW || id == IDC_MS_ZBOX) && code == CBN_SELCHANGE) ||
                       ((id == IDC_MS_ZSTART || id == IDC_MS_ZSTOP || id == IDC_MS_ZTIME) && code == EN_CHANGE) ||
                       (id == IDC_MS_ZMLS && code == BN_CLICKED);
    if (named) ShowCalibrationStatus(page);
}

// ---- Levels page --------------------------------------------------------------

void LevelsCommand(HWND page, int id, int code) {
    if (code != BN_CLICKED) return;
    HINSTANCE instance = Shell().instance ? Shell().instance : GetModuleHandleA(nullptr);
    switch (id) {
        case IDC_MS_LSAVEACOUSTIC:
        case IDC_MS_LSAVEIMPEDANCE: {
            const bool impedance = id == IDC_MS_LSAVEIMPEDANCE;
            const int text = !SaveLevelPresetForSettings(impedance) ? 5382 : impedance ? 5381 : 5380;
            SetDlgItemTextA(page, IDC_MS_LSTATUS, StringText(text));
            return;
        }
        case IDC_MS_LEVELINFO:
            DialogBoxParamA(instance, MAKEINTRESOURCEA(DLG_LEVELS_INFO), page, LevelsInformationProc, 0);
            return;
        case IDC_MS_SPLCAL:
            // The calibration changes fields of the FFT page: every page
            // shows the record again, or OK would store the old texts back.
            if (DialogBoxParamA(instance, MAKEINTRESOURCEA(DLG_SPL_CALIBRATION), page, SplCalibrationProc, 0) == IDOK)
                for (int k = 0; k < kPageKinds; ++k)
                    if (g_sheet.pages[k]) FillPage(g_sheet.pages[k], PageKind(k));
            return;
    }
}

// ---- Page procedure -----------------------------------------------------------

void SetResult(HWND page, LONG_PTR value) { SetWindowLongPtrA(page, DWLP_MSGRESULT, value); }

// OK: every rule in its order, then the start/stop check. Run once, by the
// first page that receives the notice.
LONG_PTR ApplySheet(HWND page) {
    for (int k = 0; k < kPageKinds; ++k)
        if (g_sheet.pages[k]) StorePage(g_sheet.pages[k], PageKind(k));
    const PageCheck check = CheckSettingsSheet(CurrentMeasurementSettings(), g_sheet.easy);
    if (!check.ok()) {
        ShowRefusal(page, check, true);
        return PSNRET_INVALID_NOCHANGEPAGE;
    }
    // A new sound-card setting without its compensation: the notice offers
    // the linearity measurement, and taking it keeps the sheet open there.
    if (g_sheet.soundcardChanged && OfferLinearityMeasurement(page)) {
        if (g_sheet.pages[kSoundcard] != page && g_sheet.sheet) {
            g_sheet.turning = true;
            SendMessageA(g_sheet.sheet, PSM_SETCURSEL, WPARAM(SheetIndexOf(kSoundcard)), 0);
            g_sheet.turning = false;
        }
        if (HWND soundcard = g_sheet.pages[kSoundcard]) SetFocus(GetDlgItem(soundcard, IDC_MS_LINEARITY));
        return PSNRET_INVALID_NOCHANGEPAGE;
    }
    Confirm();
    return PSNRET_NOERROR;
}

void CenterOver(HWND window, HWND over) {
    RECT w, o;
    if (!over || !GetWindowRect(window, &w) || !GetWindowRect(over, &o)) return;
    const int width = w.right - w.left, height = w.bottom - w.top;
    int x = o.left + (o.right - o.left - width) / 2, y = o.top + (o.bottom - o.top - height) / 2;
    // Kept on the frame's monitor work area.
    MONITORINFO mi{sizeof mi};
    if (GetMonitorInfoA(MonitorFromWindow(over, MONITOR_DEFAULTTONEAREST), &mi)) {
        x = std::max(int(mi.rcWork.left), std::min(x, int(mi.rcWork.right) - width));
        y = std::max(int(mi.rcWork.top), std::min(y, int(mi.rcWork.bottom) - height));
    }
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool FirstCreatedPage(HWND page) {
    for (PageKind k : g_sheet.kinds)
        if (g_sheet.pages[k]) return g_sheet.pages[k] == page;
    return false;
}

INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
        case WM_INITDIALOG: {
            const auto* psp = reinterpret_cast<const PROPSHEETPAGEA*>(lp);
            const PageKind kind = PageKind(psp->lParam);
            g_sheet.pages[kind] = page;
            g_sheet.sheet = GetParent(page);
            RegisterMeasurementDialog(g_sheet.sheet);
            // Owned by nobody (it runs on the measurement thread), the sheet
            // would open at the screen's corner: it goes over the frame.
            if (!g_sheet.placed) CenterOver(g_sheet.sheet, Shell().frame);
            g_sheet.placed = true;
            const PageDef& def = Pages()[kind];
            for (const ComboBinding& c : def.combos) {
                for (const char* item : c.items) SendDlgItemMessageA(page, c.id, CB_ADDSTRING, 0, LPARAM(item));
            }
            if (kind == kSoundcard) FillSoundcard(page);
            if (kind == kImpedance) {
                char text[32];
                std::snprintf(text, sizeof text, "%g", g_calibrationResistor);
                SetDlgItemTextA(page, IDC_MS_ZRCAL, text);
            }
            FillPage(page, kind);
            return TRUE;
        }
        case WM_COMMAND: {
            const PageKind kind = KindOfPage(page);
            const int id = LOWORD(wp), code = HIWORD(wp);
            if (kind == kSoundcard) SoundcardCommand(page, id, code);
            if (kind == kLevels) LevelsCommand(page, id, code);
            if (kind == kTimeWindow && id == IDC_MS_TWCALC && code == BN_CLICKED) CalculateTriangle(page);
            if (code == BN_CLICKED) {
                // Switches take effect at once: greying, and near-field
                // mode changes which window the other pages use.
                for (const CheckBinding& c : Pages()[kind].checks)
                    if (c.id == id) {
                        StorePage(page, kind);
                        ApplyGreying(page, kind);
                    }
            }
            if (kind == kMls && id == IDC_MS_MORDER && code == CBN_SELCHANGE) {
                StorePage(page, kind);
                ShowResolution(page, kind);
            }
            if (kind == kImpedance) ImpedanceCommand(page, id, code);
            return FALSE;
        }
        case WM_NOTIFY: {
            const auto* hdr = reinterpret_cast<const NMHDR*>(lp);
            const PageKind kind = KindOfPage(page);
            switch (hdr->code) {
                case PSN_SETACTIVE:
                    // Another page may have changed a shared field.
                    FillPage(page, kind);
                    SetResult(page, 0);
                    return TRUE;
                case PSN_KILLACTIVE: {
                    if (g_sheet.turning) {
                        SetResult(page, FALSE);
                        return TRUE;
                    }
                    StorePage(page, kind);
                    const PageCheck check = CheckOnePage(kind);
                    if (!check.ok()) ShowRefusal(page, check, false);
                    else FillPage(page, kind);  // show silent corrections
                    SetResult(page, check.ok() ? FALSE : TRUE);
                    return TRUE;
                }
                case PSN_APPLY:
                    SetResult(page, FirstCreatedPage(page) ? ApplySheet(page) : PSNRET_NOERROR);
                    if (g_sheet.confirmed) g_sheet.ended = true;
                    return TRUE;
                case PSN_RESET:
                    if (!g_sheet.ended) {
                        Restore();
                        g_sheet.ended = true;
                    }
                    return TRUE;
            }
            return FALSE;
        }
        case WM_DESTROY: {
            const PageKind kind = KindOfPage(page);
            if (kind != kPageKinds) g_sheet.pages[kind] = nullptr;
            return FALSE;
        }
    }
    return FALSE;
}

PROPSHEETHEADERA* PrepareSheet(HWND owner, bool modeless) {
    static PROPSHEETPAGEA pages[kPageKinds];
    static PROPSHEETHEADERA header;
    static char caption[64];
    const MS& ms = CurrentMeasurementSettings();
    g_sheet = SheetState{};
    g_sheet.saved = ms;
    g_sheet.easy = (Settings().window.shellFlags & kShellEasyMenu) != 0;
    for (int k = 0; k < kPageKinds; ++k) {
        if (g_sheet.easy && (k == kGated || k == kSpike)) continue;
        g_sheet.kinds.push_back(PageKind(k));
    }
    HINSTANCE instance = Shell().instance ? Shell().instance : GetModuleHandleA(nullptr);
    for (size_t i = 0; i < g_sheet.kinds.size(); ++i) {
        PROPSHEETPAGEA& p = pages[i];
        p = PROPSHEETPAGEA{};
        p.dwSize = sizeof p;
        p.dwFlags = PSP_DEFAULT;
        p.hInstance = instance;
        p.pszTemplate = MAKEINTRESOURCEA(Pages()[g_sheet.kinds[i]].templateId);
        p.pfnDlgProc = PageProc;
        p.lParam = g_sheet.kinds[i];
    }
    std::snprintf(caption, sizeof caption, "%s", StringText(kStrSettingsCaption));
    header = PROPSHEETHEADERA{};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW | (modeless ? PSH_MODELESS : 0);
    header.hwndParent = owner;
    header.hInstance = instance;
    header.pszCaption = caption;
    header.nPages = UINT(g_sheet.kinds.size());
    header.ppsp = pages;
    return &header;
}

}  // namespace

void SetSettingsSheetMessageHook(SettingsMessageFn fn) { g_message = fn; }

bool MeasurementSettingsConfirmed() { return g_sheet.confirmed; }

int RunMeasurementSettingsSheet(HWND owner) {
    PropertySheetA(PrepareSheet(owner, false));
    UnregisterMeasurementDialog(g_sheet.sheet);
    // Closed without OK or Cancel (the sheet destroyed from outside).
    if (!g_sheet.ended) Restore();
    return g_sheet.confirmed ? 1 : 0;
}

HWND CreateMeasurementSettingsSheet(HWND owner) {
    const INT_PTR sheet = PropertySheetA(PrepareSheet(owner, true));
    g_sheet.sheet = reinterpret_cast<HWND>(sheet);
    return g_sheet.sheet;
}

// ---- Advanced Soundcard Settings ------------------------------------------------

INT_PTR CALLBACK AdvancedSoundcardProc(HWND dialog, UINT message, WPARAM wp, LPARAM) {
    struct Bit {
        int id;
        uint32_t MS::*word;
        uint32_t bit;
    };
    static const Bit bits[] = {{IDC_MS_AINVERT, &MS::flags, kMsfInvertInput},
                               {IDC_MS_ADONTMUTE, &MS::flags, kMsfDontMuteInput},
                               {IDC_MS_ATONE, &MS::moreFlags, kMsf2DontResetToneControls},
                               {IDC_MS_AINIT, &MS::flags, kMsfInitSoundcard},
                               {IDC_MS_APHASE, &MS::moreFlags, kMsf2ProbePhaseCorrection}};
    MS& ms = CurrentMeasurementSettings();
    if (message == WM_INITDIALOG) {
        const AdvancedSoundcardValues v = ReadAdvancedValues(ms);
        char text[32];
        SetDlgItemInt(dialog, IDC_MS_ABUFFERS, UINT(v.bufferCount), FALSE);
        SetDlgItemInt(dialog, IDC_MS_ASTOPDELAY, UINT(v.stopDelayMs), FALSE);
        std::snprintf(text, sizeof text, "%g", v.preSilenceMs);
        SetDlgItemTextA(dialog, IDC_MS_APRESILENCE, text);
        std::snprintf(text, sizeof text, "%g", v.waveformLevelDb);
        SetDlgItemTextA(dialog, IDC_MS_ALEVEL, text);
        CheckDlgButton(dialog, IDC_MS_AREVERSE, ms.reverseChannels ? BST_CHECKED : BST_UNCHECKED);
        for (const Bit& b : bits) CheckDlgButton(dialog, b.id, (ms.*b.word & b.bit) ? BST_CHECKED : BST_UNCHECKED);
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    if (LOWORD(wp) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    if (LOWORD(wp) != IDOK) return FALSE;
    AdvancedSoundcardValues v;
    v.bufferCount = int(std::strtol(ControlText(dialog, IDC_MS_ABUFFERS).c_str(), nullptr, 10));
    v.stopDelayMs = int(std::strtol(ControlText(dialog, IDC_MS_ASTOPDELAY).c_str(), nullptr, 10));
    v.preSilenceMs = std::strtod(ControlText(dialog, IDC_MS_APRESILENCE).c_str(), nullptr);
    v.waveformLevelDb = std::strtod(ControlText(dialog, IDC_MS_ALEVEL).c_str(), nullptr);
    if (!AdvancedValuesAcceptable(v)) return TRUE;  // stays open, as the labels say the ranges
    // Unchanged text keeps the exact value, so that a look at the dialog
    // does not count as a change of the cached stimuli's settings.
    const AdvancedSoundcardValues before = ReadAdvancedValues(ms);
    char text[32];
    std::snprintf(text, sizeof text, "%g", before.preSilenceMs);
    if (ControlText(dialog, IDC_MS_APRESILENCE) == text) v.preSilenceMs = before.preSilenceMs;
    std::snprintf(text, sizeof text, "%g", before.waveformLevelDb);
    if (ControlText(dialog, IDC_MS_ALEVEL) == text) v.waveformLevelDb = before.waveformLevelDb;
    const double preSilence = ms.preSilence;
    StoreAdvancedValues(ms, v);
    if (v.preSilenceMs == before.preSilenceMs) ms.preSilence = preSilence;
    ms.reverseChannels = IsDlgButtonChecked(dialog, IDC_MS_AREVERSE) == BST_CHECKED ? 1 : 0;
    for (const Bit& b : bits) {
        if (IsDlgButtonChecked(dialog, b.id) == BST_CHECKED) ms.*b.word |= b.bit;
        else ms.*b.word &= ~b.bit;
    }
    WaveSetBufferCount(int(ms.bufferCount));
    EndDialog(dialog, IDOK);
    return TRUE;
}

}  // namespace srx
