// The analyses of the active impulse window: "Energy Time Curve (ETC)" and
// "Step Response" with their length dialogs, the waterfall with its
// progress window, and the impulse response of a frequency-response curve.
#include <windows.h>
#include <commctrl.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/win32/analysis_commands.h"
#include "app/win32/documents.h"
#include "app/win32/shell.h"
#include "data/native_files.h"
#include "data/view_flags.h"
#include "dsp/impulse_analyses.h"
#include "dsp/numeric.h"
#include "dsp/window.h"
#include "measure/compensation_settings.h"
#include "measure/measurement_settings.h"
#include "measure/mls.h"
#include "measure/soundcard_compensation.h"
#include "measure/stimulus_files.h"
#include "resources/analysis_dialog_ids.h"
#include "resources/string_ids.h"

namespace srx {

namespace {

constexpr int kStrReplaceWaterfall = 2382;

StatusMessageHook g_messageHook = nullptr;
void (*g_observer)(HWND, int) = nullptr;

void PostUpdateMenus(HWND frame) { PostMessageA(frame, UM_UPDATEMENUS, 0, 0); }

// The active window when it is an impulse window, with its record.
TimeRecord* ActiveImpulse(HWND* window) {
    HWND active = ActiveDocument();
    if (!active || DocumentKindOf(active) != kDocImpulse) return nullptr;
    *window = active;
    return static_cast<TimeRecord*>(DocumentDataOf(active));
}

// Opens `data` in a new window of `kind` titled after the source; the window
// owns the record from then on. False (message 2303) when no window came.
template <class Record>
bool OpenResult(HWND frame, std::unique_ptr<Record>& data, int kind, int titleId, const std::string& name) {
    const std::string title = DocumentTitle(DocumentPlan{kind, titleId}, name);
    HWND window = CreateDocumentWindow(title.c_str(), kind, data.get());
    if (!window) {
        ShowAnalysisMessage(frame, Status::Error(kStrCreateWindowFailed), MB_OK | MB_ICONSTOP);
        return false;
    }
    data.release();
    MakeTitleUnique(window);
    InvalidateRect(window, nullptr, TRUE);
    PostUpdateMenus(frame);
    return true;
}

// ---- ETC and step-response dialogs -------------------------------------

struct LengthDialog {
    const TimeRecord* record = nullptr;
    int templateId = DLG_ETC;
    double initialMs = 0;
    int windowType = kWindowHanning;
    double lengthSeconds = 0;  // the accepted length
};

void AcceptLength(HWND dialog, LengthDialog& c) {
    double ms = 0;
    // Rubbish reads as "not a length above 0".
    if (!ReadNumberField(dialog, IDC_AN_LENGTH, &ms)) ms = 0;
    const double seconds = RoundToDecimals(ms / 1000.0, 6);
    const Status s = CheckAnalysisLength(*c.record, seconds);
    if (!s) {
        ShowAnalysisMessage(dialog, s, MB_OK | MB_ICONEXCLAMATION);
        const double shown = s.stringId == kStrEtcLengthTooLong
                                 ? double(c.record->h.sampleCount) * 1000.0 / c.record->h.sampleRate
                                 : c.initialMs;
        SetNumberField(dialog, IDC_AN_LENGTH, shown, 2);
        SetFocus(GetDlgItem(dialog, IDC_AN_LENGTH));
        return;
    }
    if (c.templateId == DLG_ETC) {
        const LRESULT type = SendDlgItemMessageA(dialog, IDC_AN_WINDOW, CB_GETCURSEL, 0, 0);
        if (type >= kWindowRectangular && type <= kWindowBlackmanHarris) c.windowType = int(type);
    }
    c.lengthSeconds = seconds;
    EndDialog(dialog, IDOK);
}

INT_PTR CALLBACK LengthProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
    auto* c = reinterpret_cast<LengthDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (msg) {
        case WM_INITDIALOG: {
            SetWindowLongPtrA(dialog, DWLP_USER, lp);
            c = reinterpret_cast<LengthDialog*>(lp);
            SetNumberField(dialog, IDC_AN_LENGTH, c->initialMs, 2);
            if (c->templateId == DLG_ETC) {
                HWND list = GetDlgItem(dialog, IDC_AN_WINDOW);
                for (int type = kWindowRectangular; type <= kWindowBlackmanHarris; ++type)
                    SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WindowTypeName(type)));
                SendMessageA(list, CB_SETCURSEL, WPARAM(c->windowType), 0);
            }
            AnalysisDialogReady(dialog, c->templateId);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wp) == IDOK) {
                AcceptLength(dialog, *c);
                return TRUE;
            }
            if (LOWORD(wp) == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            break;
        default: break;
    }
    return FALSE;
}

// Runs the dialog of `templateId` for the record; false on Cancel.
bool AskLength(HWND frame, const TimeRecord& record, int templateId, LengthDialog* c) {
    c->record = &record;
    c->templateId = templateId;
    c->initialMs = DefaultAnalysisLength(record) * 1000.0;
    const int stored = record.h.windowType;
    c->windowType = (stored >= kWindowRectangular && stored <= kWindowBlackmanHarris) ? stored : kWindowHanning;
    return RunAnalysisDialog(frame, templateId, LengthProc, c) == IDOK;
}

// ---- Waterfall ---------------------------------------------------------

// The modeless "Waterfall analysis..." window for as long as it lives.
class WaterfallProgress {
public:
    explicit WaterfallProgress(HWND owner) {
        HINSTANCE instance = Shell().instance ? Shell().instance : GetModuleHandleA(nullptr);
        dialog_ = CreateDialogParamA(instance, MAKEINTRESOURCEA(DLG_WATERFALL_PROGRESS), owner, Proc, 0);
        if (dialog_) AnalysisDialogReady(dialog_, DLG_WATERFALL_PROGRESS);
    }
    ~WaterfallProgress() {
        if (dialog_) DestroyWindow(dialog_);
    }
    WaterfallProgress(const WaterfallProgress&) = delete;
    WaterfallProgress& operator=(const WaterfallProgress&) = delete;

    void Step(int done, int total) {
        if (!dialog_) return;
        HWND bar = GetDlgItem(dialog_, IDC_AN_PROGRESS);
        SendMessageA(bar, PBM_SETRANGE32, 0, total);
        SendMessageA(bar, PBM_SETPOS, WPARAM(done), 0);
        UpdateWindow(bar);
    }

private:
    static INT_PTR CALLBACK Proc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }
    HWND dialog_ = nullptr;
};

// What the waterfall settings ask for this record.
WaterfallParameters WaterfallSettingsFor(const TimeRecord& record, const MeasurementSettings& ms) {
    WaterfallParameters p;
    p.pointsPerOctave = FftPointsPerOctave(ms.waterfallPerOctave);
    p.startFrequency = (ms.flags & kMsfWaterfallAutoStart) ? 0.0 : ms.waterfallStart;
    p.endFrequency = (ms.flags & kMsfWaterfallAutoStop) ? 0.0 : ms.waterfallStop;
    p.spanSeconds = (ms.flags & kMsfWaterfallSameLength) ? record.h.fftWindowLength : ms.waterfallLength;
    p.resolution = record.h.waterfallSetting;
    p.sliding = ms.waterfallType == 0;  // "Shrinking Time-Window"
    return p;
}

void RepaintRecordWindows(const void* record) {
    for (HWND w : DocumentWindows())
        if (DocumentDataOf(w) == record) InvalidateRect(w, nullptr, TRUE);
}

}  // namespace

// ---- Shared by the analysis and curve commands --------------------------

void SetAnalysisMessageHook(StatusMessageHook hook) { g_messageHook = hook; }

int ShowAnalysisMessage(HWND owner, const Status& message, UINT flags) {
    return ShowStatus(owner, message, flags, g_messageHook);
}

void SetAnalysisDialogObserver(void (*observer)(HWND dialog, int templateId)) { g_observer = observer; }

void AnalysisDialogReady(HWND dialog, int templateId) {
    if (g_observer) g_observer(dialog, templateId);
}

INT_PTR RunAnalysisDialog(HWND owner, int templateId, DLGPROC procedure, void* context) {
    HINSTANCE instance = Shell().instance ? Shell().instance : GetModuleHandleA(nullptr);
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(templateId), owner, procedure,
                           reinterpret_cast<LPARAM>(context));
}

bool ReadNumberField(HWND dialog, int id, double* value) {
    char text[128] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    for (char& ch : text)
        if (ch == ',') ch = '.';
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text) return false;
    while (*end == ' ') ++end;
    if (*end != '\0' || !std::isfinite(v)) return false;
    *value = v;
    return true;
}

double ReadPositiveField(HWND dialog, int id, double limit) {
    double v = 0;
    return ReadNumberField(dialog, id, &v) && v > 0 && v < limit ? v : 0.0;
}

void SetNumberField(HWND dialog, int id, double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    SetDlgItemTextA(dialog, id, text);
}

// ---- Commands ------------------------------------------------------------

void MakeEtcCommand(HWND frame) {
    HWND window = nullptr;
    TimeRecord* record = ActiveImpulse(&window);
    if (!record) return;
    LengthDialog c;
    if (!AskLength(frame, *record, DLG_ETC, &c)) return;
    Status error;
    std::unique_ptr<EtcRecord> etc;
    {
        WaitCursor wait;
        etc = MakeEnergyTimeCurve(*record, c.lengthSeconds, c.windowType, &error);
    }
    if (!etc) {
        ShowAnalysisMessage(frame, error, MB_OK | MB_ICONSTOP);
        return;
    }
    OpenResult(frame, etc, kDocEtc, kStrEtcTitle, TextOf(record->h.title));
}

void MakeStepCommand(HWND frame) {
    HWND window = nullptr;
    TimeRecord* record = ActiveImpulse(&window);
    if (!record) return;
    LengthDialog c;
    if (!AskLength(frame, *record, DLG_STEP, &c)) return;
    Status error;
    std::unique_ptr<TimeRecord> step;
    {
        WaitCursor wait;
        step = MakeStepResponse(*record, c.lengthSeconds, &error);
    }
    if (!step) {
        ShowAnalysisMessage(frame, error, MB_OK | MB_ICONSTOP);
        return;
    }
    OpenResult(frame, step, kDocStep, kStrStepTitle, TextOf(record->h.title));
}

void WaterfallCommand(HWND frame) {
    HWND window = nullptr;
    TimeRecord* record = ActiveImpulse(&window);
    if (!record) return;
    if ((record->h.flags & kTwfWaterfall) &&
        ShowAnalysisMessage(frame, Status::Error(kStrReplaceWaterfall), MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    if (!SaveUndoStep(window)) return;

    const MeasurementSettings& ms = CurrentMeasurementSettings();
    AnalysisSettings analysis = CurrentAnalysisSettings();
    // The record is analysed with the window it was measured with.
    const int own = record->h.windowType;
    if (own >= kWindowRectangular && own <= kWindowBlackmanHarris) analysis.windowType = own;
    const WaterfallParameters p = WaterfallSettingsFor(*record, ms);

    // Computed on a copy: a failure leaves the record as it was.
    TimeRecord result = *record;
    Status s;
    {
        WaitCursor wait;
        WaterfallProgress progress(frame);
        s = ComputeWaterfall(result, p, analysis, [&](int done, int total) { progress.Step(done, total); });
    }
    if (!s) {
        DiscardUndo(window, false);
        ShowAnalysisMessage(frame, s.stringId == kStrOutOfMemory ? s : Status::Error(kStrWaterfallFailed),
                            MB_OK | MB_ICONSTOP);
        return;
    }
    Status compensation = ApplySoundcardCompensation(result, ms, MeasureProgramFolder());
    const Status microphone = CompensateWaterfall(result, TextOf(result.h.setup.compensationFile).c_str());
    if (compensation && !microphone) compensation = microphone;

    *record = std::move(result);
    record->h.setup.frequenciesPerOctave = int32_t(ms.waterfallPerOctave);
    record->h.flags = (record->h.flags | kTwfWaterfall) & ~uint32_t(kTwfSaved);
    RepaintRecordWindows(record);
    PostUpdateMenus(frame);
    if (!compensation) ShowAnalysisMessage(frame, compensation, MB_OK | MB_ICONEXCLAMATION);
}

HWND ShowWaterfallWindow(HWND frame, TimeRecord* record) {
    if (!record || !(record->h.flags & kTwfWaterfall)) return nullptr;
    HWND client = Shell().client;
    for (HWND w : DocumentWindows()) {
        if (DocumentKindOf(w) != kDocWaterfall || DocumentDataOf(w) != record) continue;
        if (client) SendMessageA(client, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(w), 0);
        return w;
    }
    const std::string title = DocumentTitle(DocumentPlan{kDocWaterfall, kStrWaterfallTitle}, TextOf(record->h.title));
    HWND window = CreateDocumentWindow(title.c_str(), kDocWaterfall, record);
    if (!window) {
        ShowAnalysisMessage(frame, Status::Error(kStrCreateWindowFailed), MB_OK | MB_ICONSTOP);
        return nullptr;
    }
    MakeTitleUnique(window);
    return window;
}

void ToImpulseCommand(HWND frame) {
    HWND active = ActiveDocument();
    if (!active || DocumentKindOf(active) != kDocMeasurement) return;
    auto* curve = static_cast<Measurement*>(DocumentDataOf(active));
    if (!curve || curve->h.curveKind == kCurveImpedance) return;

    const MeasurementSettings& ms = CurrentMeasurementSettings();
    TimeWindowSettings window = MlsTimeWindowSettings(ms);
    window.fftWindowLength = ms.timeWindow;
    Status error;
    std::unique_ptr<TimeRecord> impulse;
    {
        WaitCursor wait;
        impulse = FrequencyToImpulse(*curve, window, &error);
    }
    if (!impulse) {
        ShowAnalysisMessage(frame, error, MB_OK | MB_ICONSTOP);
        return;
    }
    std::string name = TextOf(curve->h.title);
    if (name.empty()) {
        std::vector<std::string> titles;
        for (HWND w : DocumentWindows()) titles.push_back(WindowTitle(w));
        name = DefaultMeasurementTitle(*curve, titles);
        SetText(impulse->h.title, name);
    }
    OpenResult(frame, impulse, kDocImpulse, kStrImpulseTitle, name);
}

}  // namespace srx
