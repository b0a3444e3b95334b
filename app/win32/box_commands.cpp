// The design analysis commands: "Analyse..." (503) simulates every box
// not yet analysed, "New Analysis Window" (504), "Analyzer Preferences"
// (505), "Convert to measurement" (506) and the analysis-kind combo box.
// The simulation is design/design_simulation; the windows are the graph
// view's analysis windows.
#include "app/win32/box_commands.h"

#include <windows.h>

#include <cmath>
#include <cstring>
#include <cstdio>
#include <memory>
#include <string>

#include "app/win32/analysis_commands.h"
#include "app/win32/commands_internal.h"
#include "app/win32/documents.h"
#include "app/win32/shell.h"
#include "data/records.h"
#include "data/view_flags.h"
#include "design/analyzer_settings.h"
#include "design/box_design.h"
#include "design/design_convert.h"
#include "design/design_simulation.h"
#include "design/design_slot.h"
#include "design/win32/box_sheet.h"
#include "dsp/numeric.h"
#include "graph/win32/graph_view.h"
#include "measure/measurement_settings.h"
#include "resources/box_sheet_ids.h"
#include "resources/command_ids.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"

namespace srx {

namespace {

constexpr int kStrAnalysisPrefix = 2214;  // "Analysis: "
constexpr int kStrAllAnalysisOpen = 2312;
constexpr int kFirstKindName = 2001;
constexpr DWORD kHelpAnalyzer = 35;

bool IsAnalysisKind(int kind) { return kind >= kDocAnalysisFirst && kind <= kDocAnalysisLast; }

HWND AnalysisWindowOfKind(int kind) {
    for (HWND w : DocumentWindows())
        if (DocumentKindOf(w) == kind) return w;
    return nullptr;
}

bool AnySlotAnalysed() {
    for (int i = 0; i < kDesignSlotCount; ++i)
        if (DesignSlots()[i].flags & kSlotAnalysed) return true;
    return false;
}

int ActiveSlot() {
    const int a = Shell().activeDesign;
    return a >= 0 && a < kDesignSlotCount ? a : 0;
}

void ApplyGraphOptions(const AnalyzerSettings& a) {
    AnalysisGraphOptions o = CurrentAnalysisGraphOptions();
    o.start = a.start, o.stop = a.stop;
    SetAnalysisGraphOptions(o);
}

// The window of `kind`, titled "Analysis: <kind name>", made when none is
// open; the combo box shows its kind.
HWND ShowAnalysisWindow(HWND frame, int kind, bool reuse) {
    HWND window = reuse ? AnalysisWindowOfKind(kind) : nullptr;
    if (!window) {
        window = OpenAnalysisWindow(ActiveSlot(), kind);
        if (!window) {
            ShowAnalysisMessage(frame, Status::Error(kStrCreateWindowFailed), MB_OK | MB_ICONSTOP);
            return nullptr;
        }
        const std::string title = std::string(StringText(kStrAnalysisPrefix)) + StringText(kFirstKindName + kind - kDocAnalysisFirst);
        SetWindowTextA(window, title.c_str());
    }
    SendMessageA(Shell().client, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(window), 0);
    if (Shell().combo) SendMessageA(Shell().combo, CB_SETCURSEL, WPARAM(kind - kDocAnalysisFirst), 0);
    return window;
}

int ComboKind() {
    const LRESULT i = Shell().combo ? SendMessageA(Shell().combo, CB_GETCURSEL, 0, 0) : 0;
    return kDocAnalysisFirst + (i >= 0 && i <= kDocAnalysisLast - kDocAnalysisFirst ? int(i) : 0);
}

void UpdateAnalyseCommands() {
    const bool analysed = (DesignSlots()[ActiveSlot()].flags & kSlotAnalysed) != 0;
    EnableCommand(CM_ANALYSE, !analysed);
    EnableCommand(CM_NEW_ANALYSIS, analysed);
}

// ---- Analyzer Preferences ----------------------------------------------------

struct AnalyzerContext {
    AnalyzerSettings settings;
};

double Field(HWND dialog, int id) {
    double v = 0;
    return ReadNumberField(dialog, id, &v) ? v : std::nan("");
}

// Trailing zeros say nothing here.
void SetField(HWND dialog, int id, double v, int decimals) {
    SetDlgItemTextA(dialog, id, FormatTrimmedNumber(v, decimals).c_str());
}

void FillAnalyzer(HWND dialog, const AnalyzerSettings& s) {
    SetField(dialog, IDC_AP_START, s.start, 2);
    SetField(dialog, IDC_AP_STOP, s.stop, 2);
    SetField(dialog, IDC_AP_IMPULSE, s.visibleImpulse * 1000, 2);
    SetField(dialog, IDC_AP_EG, s.eg, 4);
    SetField(dialog, IDC_AP_RG, s.rg, 4);
    SetField(dialog, IDC_AP_TEMP, s.temperature, 2);
    CheckDlgButton(dialog, IDC_AP_ONEWAY, s.oneWayRms ? BST_CHECKED : BST_UNCHECKED);
}

bool AcceptAnalyzer(HWND dialog, AnalyzerContext& c) {
    AnalyzerSettings s = c.settings;
    s.start = Field(dialog, IDC_AP_START);
    s.stop = Field(dialog, IDC_AP_STOP);
    s.visibleImpulse = Field(dialog, IDC_AP_IMPULSE) / 1000;
    s.eg = Field(dialog, IDC_AP_EG);
    s.rg = Field(dialog, IDC_AP_RG);
    s.temperature = Field(dialog, IDC_AP_TEMP);
    s.oneWayRms = IsDlgButtonChecked(dialog, IDC_AP_ONEWAY) == BST_CHECKED;
    switch (CheckAnalyzerSettings(s)) {
        case kAnalyzerStartField:
            SetField(dialog, IDC_AP_START, std::isfinite(s.start) ? s.start : c.settings.start, 2);
            SetFocus(GetDlgItem(dialog, IDC_AP_START));
            return false;
        case kAnalyzerImpulseField:
            SetField(dialog, IDC_AP_IMPULSE, s.visibleImpulse * 1000, 2);
            SetFocus(GetDlgItem(dialog, IDC_AP_IMPULSE));
            return false;
        case kAnalyzerOk: break;
    }
    c.settings = s;
    return true;
}

INT_PTR CALLBACK AnalyzerProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
    auto* c = reinterpret_cast<AnalyzerContext*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrA(dialog, DWLP_USER, lp);
            FillAnalyzer(dialog, reinterpret_cast<AnalyzerContext*>(lp)->settings);
            AnalysisDialogReady(dialog, DLG_ANALYZER_PREFS);
            return TRUE;
        case WM_COMMAND:
            if (!c) break;
            switch (LOWORD(wp)) {
                case IDOK:
                    if (AcceptAnalyzer(dialog, *c)) EndDialog(dialog, IDOK);
                    return TRUE;
                case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
                case IDHELP: ShowHelpTopic(dialog, kHelpAnalyzer); return TRUE;
            }
            break;
    }
    return FALSE;
}

bool SameSettings(const AnalyzerSettings& a, const AnalyzerSettings& b) {
    return a.start == b.start && a.stop == b.stop && a.visibleImpulse == b.visibleImpulse && a.eg == b.eg &&
           a.rg == b.rg && a.temperature == b.temperature && a.oneWayRms == b.oneWayRms;
}

}  // namespace

int AnalyseDesigns(HWND frame) {
    const AnalyzerSettings settings = AnalyzerSettingsOf(Settings().window);
    int simulated = 0;
    bool any = false;
    for (int i = 0; i < kDesignSlotCount; ++i) {
        DesignSlot& slot = DesignSlots()[i];
        if (!(slot.flags & kSlotHasBox) || (slot.flags & kSlotAnalysed)) continue;
        any = true;
        DesignResults results;
        Status s;
        {
            WaitCursor wait;
            s = SimulateDesign(DeserializeSpeakerUnit(slot.unitParameters), DeserializeBoxDesign(slot.boxParameters),
                               settings, results);
        }
        if (!s) {
            ShowAnalysisMessage(frame, s, MB_OK | MB_ICONEXCLAMATION);
            continue;
        }
        SlotResults(i) = std::move(results);
        slot.flags |= kSlotAnalysed;
        ++simulated;
    }
    if (!any && !AnySlotAnalysed()) {
        ShowAnalysisMessage(frame, Status::Error(kStrNothingToAnalyse), MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    ApplyGraphOptions(settings);
    if (AnySlotAnalysed()) ShowAnalysisWindow(frame, ComboKind(), true);
    RepaintKinds(kDocAnalysisFirst, kDocAnalysisLast);
    UpdateAnalyseCommands();
    if (Shell().combo) SetFocus(Shell().combo);
    return simulated;
}

void NewAnalysisWindow(HWND frame) {
    int kind = kDocAnalysisFirst;
    while (kind <= kDocAnalysisLast && AnalysisWindowOfKind(kind)) ++kind;
    if (kind > kDocAnalysisLast) {
        ShowAnalysisMessage(frame, Status::Error(kStrAllAnalysisOpen), MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (AnySlotAnalysed()) ShowAnalysisWindow(frame, kind, false);
}

void AnalysisKindChosen(HWND frame) {
    if (AnySlotAnalysed()) ShowAnalysisWindow(frame, ComboKind(), true);
}

void AnalyzerPreferences(HWND frame) {
    AnalyzerContext c{AnalyzerSettingsOf(Settings().window)};
    const AnalyzerSettings before = c.settings;
    if (RunAnalysisDialog(frame, DLG_ANALYZER_PREFS, AnalyzerProc, &c) != IDOK || SameSettings(before, c.settings))
        return;
    StoreAnalyzerSettings(Settings().window, c.settings);
    RepaintKinds(kDocAnalysisFirst, kDocAnalysisLast);
    if (!AnySlotAnalysed()) return;
    // Every design is simulated again with the new range and drive.
    for (int i = 0; i < kDesignSlotCount; ++i) DesignSlots()[i].flags &= ~kSlotAnalysed;
    AnalyseDesigns(frame);
}

void ConvertAnalysis(HWND frame) {
    HWND window = ActiveDocument();
    const int kind = window ? DocumentKindOf(window) : -1;
    if (!IsAnalysisKind(kind)) return;
    const int slot = ActiveSlot();
    const DesignResults& results = SlotResults(slot);
    const BoxDesign box = DeserializeBoxDesign(DesignSlots()[slot].boxParameters);
    bool cone = true;
    if (kind == kAnalysisConePort && box.boxType != kClosedBox)
        cone = ShowAnalysisMessage(frame, Status::Error(kStrConvertCone), MB_YESNO | MB_ICONQUESTION) == IDYES;
    auto m = std::make_unique<Measurement>();
    const std::string title = box.title.empty() ? std::string(DefaultDesignTitle(box.boxType)) : box.title;
    const bool absolute = (CurrentMeasurementSettings().flags & kMsfKeepAbsoluteLevels) != 0;
    if (const Status s = ConvertDesignCurve(results, kind, cone, title, absolute, *m); !s) {
        ShowAnalysisMessage(frame, s, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    const int titleId = m->h.curveKind == kCurveImpedance ? kStrImpedanceTitle : kStrResponseTitle;
    const std::string windowTitle = FormatStringId(titleId, m->h.title);
    if (!CreateDocumentWindow(windowTitle.c_str(), kDocMeasurement, m.get())) {
        ShowAnalysisMessage(frame, Status::Error(kStrCreateWindowFailed), MB_OK | MB_ICONSTOP);
        return;
    }
    m.release();  // the window's now
    PostMessageA(Shell().frame, UM_UPDATEMENUS, 0, 0);
}

LRESULT CommitBoxDesign(int index, const BoxDesign* box) {
    if (index < 0 || index >= kDesignSlotCount) return 0;
    DesignSlot& slot = DesignSlots()[index];
    if (!box) {
        slot.flags &= ~kSlotDialogOpen;
        PostMessageA(Shell().frame, UM_UPDATEMENUS, 0, 0);
        return 1;
    }
    const auto bytes = SerializeBoxDesign(*box);
    if ((slot.flags & kSlotHasBox) && std::memcmp(bytes.data(), slot.boxParameters, bytes.size()) == 0) return 1;
    HWND window = FindWindowOfKind(index);
    if (window && !SaveUndoStep(window)) return 0;
    std::memcpy(slot.boxParameters, bytes.data(), bytes.size());
    slot.flags = (slot.flags | kSlotHasBox | kSlotUnsaved) & ~kSlotAnalysed;
    SlotResults(index) = DesignResults{};
    if (window) {
        SetWindowTextA(window, FormatStringId(2216, index + 1, box->title.c_str()).c_str());
        InvalidateRect(window, nullptr, TRUE);
    }
    RepaintKinds(kDocAnalysisFirst, kDocAnalysisLast);
    PostMessageA(Shell().frame, WM_COMMAND, CM_ANALYSE, 0);
    return 1;
}

void OpenBoxDesign(HWND frame) { OpenBoxDesignSheet(frame, ActiveSlot()); }

void PointAnalysisWindows(int slot) {
    for (HWND w : DocumentWindows())
        if (IsAnalysisKind(DocumentKindOf(w)))
            if (auto* data = static_cast<AnalysisWindowData*>(DocumentDataOf(w))) data->slot = slot;
}

}  // namespace srx
