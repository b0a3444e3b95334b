// The curve operations with their dialogs: "Smooth Curve", "Normalization",
// "Manual Normalization" (in place, each with an undo step), "Curve
// Averaging" and "Merge Frequency Response Curves" (new curves).
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/win32/analysis_commands.h"
#include "app/win32/commands_internal.h"
#include "app/win32/documents.h"
#include "app/win32/shell.h"
#include "data/native_files.h"
#include "data/settings_blocks.h"
#include "data/view_flags.h"
#include "dsp/curve_operations.h"
#include "dsp/impulse_analyses.h"
#include "dsp/smoothing.h"
#include "measure/measurement_settings.h"
#include "resources/analysis_dialog_ids.h"
#include "resources/string_ids.h"

namespace srx {

namespace {

constexpr int kFractions[] = {1, 2, 3, 6, 12, 24};
constexpr int kFractionChoices = 6;
constexpr int kMaxCurves = 8;
constexpr int kMergeRows = 3;
constexpr double kMaxShiftDb = 200.0;
constexpr double kMaxBaffleMm = 100000.0;
constexpr int kStrSmoothMethodFirst = 5240;
constexpr int kStrAverageMethodFirst = 5270;

MultigraphMembersHook g_members = nullptr;

// The window a curve operation changes in place, with what it holds.
struct Target {
    HWND window = nullptr;
    int kind = -1;
    Measurement* curve = nullptr;   // 3300
    TimeRecord* waterfall = nullptr;  // 3303 with slices
    std::vector<HWND> members;       // 3301: the measurement windows it shows
};

Target ActiveTarget() {
    Target t;
    t.window = ActiveDocument();
    if (!t.window) return t;
    t.kind = DocumentKindOf(t.window);
    void* data = DocumentDataOf(t.window);
    if (t.kind == kDocMeasurement) t.curve = static_cast<Measurement*>(data);
    if (t.kind == kDocWaterfall && data && !static_cast<TimeRecord*>(data)->slices.empty())
        t.waterfall = static_cast<TimeRecord*>(data);
    if (t.kind == kDocMultigraph && g_members) {
        for (HWND w : g_members(t.window))
            if (DocumentKindOf(w) == kDocMeasurement && DocumentDataOf(w)) t.members.push_back(w);
    }
    return t;
}

Measurement* CurveOf(HWND w) { return static_cast<Measurement*>(DocumentDataOf(w)); }

// After a change in place: the record differs from its file and every view
// of it repaints.
void Changed(HWND window) {
    void* data = DocumentDataOf(window);
    if (DocumentKindOf(window) == kDocMeasurement) {
        static_cast<Measurement*>(data)->h.flags &= ~uint32_t(kMesSaved);
        RepaintKinds(kDocMultigraph, kDocMultigraph);
    } else {
        static_cast<TimeRecord*>(data)->h.flags &= ~uint32_t(kTwfSaved);
    }
    for (HWND w : DocumentWindows())
        if (DocumentDataOf(w) == data) InvalidateRect(w, nullptr, TRUE);
    if (Shell().frame) PostMessageA(Shell().frame, UM_UPDATEMENUS, 0, 0);
}

// Runs `change` on the window's record behind an undo step; nothing
// happens when the step cannot be saved, and a change that changed nothing
// takes its step back.
template <class Change>
void ChangeInPlace(HWND window, Change change) {
    if (!SaveUndoStep(window)) return;
    bool done;
    {
        WaitCursor wait;
        done = change();
    }
    if (done) Changed(window);
    else DiscardUndo(window, false);
}

std::string LoadText(int id) {
    std::string text;
    LoadStringId(id, text);
    return text;
}

std::string TrimmedNumber(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", v);
    std::string s = text;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

AnalysisSettings AnalysisNow() { return CurrentAnalysisSettings(); }

// ---- Smooth Curve ---------------------------------------------------------

struct SmoothDialog {
    int ppo = 0;
    int n = 3;
    int method = kSmoothAbsolute;
    bool free = false;
};

INT_PTR CALLBACK SmoothProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
    auto* c = reinterpret_cast<SmoothDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (msg) {
        case WM_INITDIALOG: {
            SetWindowLongPtrA(dialog, DWLP_USER, lp);
            c = reinterpret_cast<SmoothDialog*>(lp);
            int chosen = 0;
            for (int i = 0; i < kFractionChoices; ++i) {
                const bool allowed = SmoothingAllowed(c->ppo, kFractions[i]);
                EnableWindow(GetDlgItem(dialog, IDC_SM_FIRST + i), allowed);
                if (allowed && !c->free && kFractions[i] == c->n) chosen = i;
            }
            SetDlgItemInt(dialog, IDC_SM_FREE_N, UINT(c->n), FALSE);
            const bool freeChosen = c->free && SmoothingAllowed(c->ppo, c->n);
            CheckRadioButton(dialog, IDC_SM_FIRST, IDC_SM_FREE, freeChosen ? IDC_SM_FREE : IDC_SM_FIRST + chosen);
            HWND methods = GetDlgItem(dialog, IDC_SM_METHOD);
            for (int m = kSmoothAbsolute; m <= kSmoothMedian; ++m)
                SendMessageA(methods, CB_ADDSTRING, 0, LPARAM(LoadText(kStrSmoothMethodFirst + m).c_str()));
            SendMessageA(methods, CB_SETCURSEL, WPARAM(c->method), 0);
            AnalysisDialogReady(dialog, DLG_SMOOTH);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wp) == IDOK) {
                int n = 0;
                const bool free = IsDlgButtonChecked(dialog, IDC_SM_FREE) == BST_CHECKED;
                for (int i = 0; i < kFractionChoices; ++i)
                    if (IsDlgButtonChecked(dialog, IDC_SM_FIRST + i) == BST_CHECKED) n = kFractions[i];
                if (free) {
                    double v = 0;
                    const bool whole = ReadNumberField(dialog, IDC_SM_FREE_N, &v) && v == std::floor(v) &&
                                       std::fabs(v) <= 1000;
                    n = whole ? int(v) : 0;
                    if (!SmoothingAllowed(c->ppo, n)) {
                        const int most = std::max(1, std::min(96, c->ppo - 1));
                        ShowAnalysisMessage(dialog, Status::Error(kStrSmoothFreeRange, {std::to_string(most)}),
                                            MB_OK | MB_ICONEXCLAMATION);
                        SetFocus(GetDlgItem(dialog, IDC_SM_FREE_N));
                        return TRUE;
                    }
                }
                if (n == 0) return TRUE;  // nothing chosen
                const LRESULT method = SendDlgItemMessageA(dialog, IDC_SM_METHOD, CB_GETCURSEL, 0, 0);
                c->n = n;
                c->free = free;
                c->method = (method >= kSmoothAbsolute && method <= kSmoothMedian) ? int(method) : kSmoothAbsolute;
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (LOWORD(wp) == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            if (LOWORD(wp) == IDC_SM_FREE_N && HIWORD(wp) == EN_SETFOCUS)
                CheckRadioButton(dialog, IDC_SM_FIRST, IDC_SM_FREE, IDC_SM_FREE);
            break;
        default: break;
    }
    return FALSE;
}

int WaterfallPointsPerOctave(const TimeRecord& t) {
    const std::vector<float>& f = t.slices.front().frequency;
    return f.size() < 2 ? 0 : CurvePointsPerOctave(f.size(), f.front(), f.back());
}

// ---- Normalization and Manual Normalization -------------------------------

struct NormalizeDialog {
    double lo = 0, hi = 0;
    double frequency = 0;  // accepted
};

INT_PTR CALLBACK NormalizeProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
    auto* c = reinterpret_cast<NormalizeDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (msg) {
        case WM_INITDIALOG: {
            SetWindowLongPtrA(dialog, DWLP_USER, lp);
            c = reinterpret_cast<NormalizeDialog*>(lp);
            SetDlgItemTextA(dialog, IDC_NM_FREQUENCY, TrimmedNumber(std::clamp(1000.0, c->lo, c->hi)).c_str());
            const std::string range = "Range: " + TrimmedNumber(c->lo) + "-" + TrimmedNumber(c->hi) + " Hz";
            SetDlgItemTextA(dialog, IDC_NM_RANGE, range.c_str());
            AnalysisDialogReady(dialog, DLG_NORMALIZE);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wp) == IDOK) {
                double f = std::nan("");
                ReadNumberField(dialog, IDC_NM_FREQUENCY, &f);
                double accepted = 0;
                const Status s = CheckNormalizeFrequency(f, c->lo, c->hi, &accepted);
                if (!s) {
                    ShowAnalysisMessage(dialog, s, MB_OK | MB_ICONEXCLAMATION);
                    SetDlgItemTextA(dialog, IDC_NM_FREQUENCY, TrimmedNumber(accepted).c_str());
                    SetFocus(GetDlgItem(dialog, IDC_NM_FREQUENCY));
                    return TRUE;
                }
                c->frequency = accepted;
                EndDialog(dialog, IDOK);
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

INT_PTR CALLBACK ManualNormalizeProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
    auto* shift = reinterpret_cast<double*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (msg) {
        case WM_INITDIALOG:
            SetWindowLongPtrA(dialog, DWLP_USER, lp);
            SetDlgItemTextA(dialog, IDC_NM_LEVEL, "0");
            AnalysisDialogReady(dialog, DLG_MANUAL_NORMALIZE);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wp) == IDOK) {
                double v = 0;
                if (!ReadNumberField(dialog, IDC_NM_LEVEL, &v) || std::fabs(v) > kMaxShiftDb) {
                    ShowAnalysisMessage(dialog, Status::Error(kStrShiftRange), MB_OK | MB_ICONEXCLAMATION);
                    SetFocus(GetDlgItem(dialog, IDC_NM_LEVEL));
                    return TRUE;
                }
                *shift = v;
                EndDialog(dialog, IDOK);
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

// ---- Averaging and merging -------------------------------------------------

// The open frequency-response curves a new curve may be made of.
std::vector<HWND> ResponseWindows() {
    std::vector<HWND> list;
    for (HWND w : DocumentWindows()) {
        const Measurement* m = DocumentKindOf(w) == kDocMeasurement ? CurveOf(w) : nullptr;
        if (m && m->h.curveKind != kCurveImpedance && m->points.size() >= 2) list.push_back(w);
    }
    return list;
}

// A list of "" (no curve) and the windows' titles, set to `preset` (-1: "").
void FillCurveList(HWND dialog, int id, const std::vector<HWND>& windows, int preset) {
    HWND list = GetDlgItem(dialog, id);
    SendMessageA(list, CB_ADDSTRING, 0, LPARAM(""));
    for (HWND w : windows) SendMessageA(list, CB_ADDSTRING, 0, LPARAM(WindowTitle(w).c_str()));
    SendMessageA(list, CB_SETCURSEL, WPARAM(preset + 1), 0);
}

// The window chosen in a list, or -1.
int ChosenCurve(HWND dialog, int id) { return int(SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0)) - 1; }

// The lists' choices in order: 2349 when fewer than two, 2351 (focus on the
// second of a pair) when one is chosen twice. *rows the list index of each.
Status ReadChoices(HWND dialog, int firstId, int lists, std::vector<int>* chosen, std::vector<int>* rows) {
    for (int r = 0; r < lists; ++r) {
        const int i = ChosenCurve(dialog, firstId + r);
        if (i < 0) continue;
        for (int earlier : *chosen) {
            if (earlier == i) {
                SetFocus(GetDlgItem(dialog, firstId + r));
                return Status::Error(kStrDuplicateCurves);
            }
        }
        chosen->push_back(i);
        rows->push_back(r);
    }
    if (chosen->size() < 2) return Status::Error(kStrTwoCurvesNeeded);
    return Status::Ok();
}

std::string TitleOrDefault(HWND dialog, int id, const Measurement& sample) {
    char text[260] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    if (text[0]) return text;
    std::vector<std::string> titles;
    for (HWND w : DocumentWindows()) titles.push_back(WindowTitle(w));
    return DefaultMeasurementTitle(sample, titles);
}

struct NewCurveDialog {
    std::vector<HWND> windows;
    std::unique_ptr<Measurement> result;
    std::string title;
};

INT_PTR CALLBACK AverageProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
    auto* c = reinterpret_cast<NewCurveDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (msg) {
        case WM_INITDIALOG: {
            SetWindowLongPtrA(dialog, DWLP_USER, lp);
            c = reinterpret_cast<NewCurveDialog*>(lp);
            for (int r = 0; r < kMaxCurves; ++r) FillCurveList(dialog, IDC_AV_CURVE1 + r, c->windows, r < 2 ? r : -1);
            HWND methods = GetDlgItem(dialog, IDC_AV_METHOD);
            for (int m = kAverageSimple; m <= kAverageComplex; ++m)
                SendMessageA(methods, CB_ADDSTRING, 0, LPARAM(LoadText(kStrAverageMethodFirst + m).c_str()));
            SendMessageA(methods, CB_SETCURSEL, 0, 0);
            AnalysisDialogReady(dialog, DLG_AVERAGE);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wp) == IDOK) {
                std::vector<int> chosen, rows;
                Status s = ReadChoices(dialog, IDC_AV_CURVE1, kMaxCurves, &chosen, &rows);
                if (!s) {
                    ShowAnalysisMessage(dialog, s, MB_OK | MB_ICONEXCLAMATION);
                    return TRUE;
                }
                std::vector<const Measurement*> curves;
                for (int i : chosen) curves.push_back(CurveOf(c->windows[size_t(i)]));
                const LRESULT method = SendDlgItemMessageA(dialog, IDC_AV_METHOD, CB_GETCURSEL, 0, 0);
                c->title = TitleOrDefault(dialog, IDC_AV_TITLE, *curves.front());
                {
                    WaitCursor wait;
                    c->result = AverageCurves(curves, method == kAverageComplex ? kAverageComplex : kAverageSimple,
                                              c->title, AnalysisNow(), &s);
                }
                if (!c->result) {
                    ShowAnalysisMessage(dialog, s, MB_OK | MB_ICONSTOP);
                    return TRUE;
                }
                EndDialog(dialog, IDOK);
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

void ShowMergeLabel(HWND dialog, int row) {
    const bool nearField = IsDlgButtonChecked(dialog, IDC_MG_NEAR1 + row) == BST_CHECKED;
    SetDlgItemTextA(dialog, IDC_MG_LABEL1 + row, nearField ? "Surface area (cm\xB2)" : "Distance (m)");
}

// The dialog's choices for MergeCurves; false (message shown, focus on the
// field) when the dialog must stay open.
bool ReadMerge(HWND dialog, NewCurveDialog& c, std::vector<MergeCurve>* curves, MergeParameters* p) {
    std::vector<int> chosen, rows;
    Status s = ReadChoices(dialog, IDC_MG_CURVE1, kMergeRows, &chosen, &rows);
    if (!s) {
        ShowAnalysisMessage(dialog, s, MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    for (size_t k = 0; k < chosen.size(); ++k) {
        const int r = rows[k];
        MergeCurve mc;
        mc.curve = CurveOf(c.windows[size_t(chosen[k])]);
        mc.nearField = IsDlgButtonChecked(dialog, IDC_MG_NEAR1 + r) == BST_CHECKED;
        mc.reversePhase = IsDlgButtonChecked(dialog, IDC_MG_REVERSE1 + r) == BST_CHECKED;
        if (!ReadNumberField(dialog, IDC_MG_VALUE1 + r, &mc.value)) mc.value = 0;  // refused below
        curves->push_back(mc);
    }
    char text[64] = "";
    GetDlgItemTextA(dialog, IDC_MG_SPLICE, text, sizeof text);
    p->spliceFrequency = 0;
    if (text[0] && (!ReadNumberField(dialog, IDC_MG_SPLICE, &p->spliceFrequency) || p->spliceFrequency < 0)) {
        ShowAnalysisMessage(dialog, Status::Error(kStrSpliceRange), MB_OK | MB_ICONEXCLAMATION);
        SetFocus(GetDlgItem(dialog, IDC_MG_SPLICE));
        return false;
    }
    p->simulateBaffle = IsDlgButtonChecked(dialog, IDC_MG_SIMULATE) == BST_CHECKED;
    p->baffleWidthMm = 0;
    if (p->simulateBaffle && (!ReadNumberField(dialog, IDC_MG_BAFFLE, &p->baffleWidthMm) ||
                              p->baffleWidthMm > kMaxBaffleMm)) {
        ShowAnalysisMessage(dialog, Status::Error(kStrInvalidValues), MB_OK | MB_ICONEXCLAMATION);
        SetFocus(GetDlgItem(dialog, IDC_MG_BAFFLE));
        return false;
    }
    p->speedOfSound = CurrentMeasurementSettings().speedOfSound;
    int offending = -1;
    s = PrepareMerge(*curves, *p, &offending);
    if (!s) {
        ShowAnalysisMessage(dialog, s, MB_OK | MB_ICONEXCLAMATION);
        if (offending >= 0) SetFocus(GetDlgItem(dialog, IDC_MG_VALUE1 + rows[size_t(offending)]));
        return false;
    }
    // The corrections go back into the fields.
    if (p->spliceFrequency > 0) SetNumberField(dialog, IDC_MG_SPLICE, p->spliceFrequency, 2);
    if (!p->simulateBaffle) {
        CheckDlgButton(dialog, IDC_MG_SIMULATE, BST_UNCHECKED);
        SetDlgItemTextA(dialog, IDC_MG_BAFFLE, "");
        EnableWindow(GetDlgItem(dialog, IDC_MG_SIMULATE), FALSE);
        EnableWindow(GetDlgItem(dialog, IDC_MG_BAFFLE), FALSE);
    }
    return true;
}

INT_PTR CALLBACK MergeProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
    auto* c = reinterpret_cast<NewCurveDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (msg) {
        case WM_INITDIALOG: {
            SetWindowLongPtrA(dialog, DWLP_USER, lp);
            c = reinterpret_cast<NewCurveDialog*>(lp);
            for (int r = 0; r < kMergeRows; ++r) {
                FillCurveList(dialog, IDC_MG_CURVE1 + r, c->windows, r < 2 ? r : -1);
                ShowMergeLabel(dialog, r);
            }
            AnalysisDialogReady(dialog, DLG_MERGE);
            return TRUE;
        }
        case WM_COMMAND: {
            const int id = LOWORD(wp);
            if (id >= IDC_MG_NEAR1 && id < IDC_MG_NEAR1 + kMergeRows) {
                ShowMergeLabel(dialog, id - IDC_MG_NEAR1);
                return TRUE;
            }
            if (id == IDOK) {
                std::vector<MergeCurve> curves;
                MergeParameters p;
                if (!ReadMerge(dialog, *c, &curves, &p)) return TRUE;
                bool mixed = false;
                for (const MergeCurve& mc : curves) mixed = mixed || mc.curve->h.method != curves[0].curve->h.method;
                if (mixed && ShowAnalysisMessage(dialog, Status::Error(kStrMixedMethods), MB_YESNO | MB_ICONQUESTION) !=
                                 IDYES) {
                    EndDialog(dialog, IDCANCEL);
                    return TRUE;
                }
                c->title = TitleOrDefault(dialog, IDC_MG_TITLE, *curves.front().curve);
                Status s;
                {
                    WaitCursor wait;
                    c->result = MergeCurves(curves, p, c->title, AnalysisNow(), &s);
                }
                if (!c->result) {
                    ShowAnalysisMessage(dialog, s, MB_OK | MB_ICONSTOP);
                    return TRUE;
                }
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (id == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            break;
        }
        default: break;
    }
    return FALSE;
}

// Runs an averaging or merging dialog and opens its curve.
void NewCurveCommand(HWND frame, int templateId, DLGPROC procedure) {
    NewCurveDialog c;
    c.windows = ResponseWindows();
    if (c.windows.size() < 2) {
        ShowAnalysisMessage(frame, Status::Error(kStrTwoCurvesNeeded), MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (RunAnalysisDialog(frame, templateId, procedure, &c) != IDOK || !c.result) return;
    const std::string title = DocumentTitle(DocumentPlan{kDocMeasurement, kStrResponseTitle}, c.title);
    HWND window = CreateDocumentWindow(title.c_str(), kDocMeasurement, c.result.get());
    if (!window) {
        ShowAnalysisMessage(frame, Status::Error(kStrCreateWindowFailed), MB_OK | MB_ICONSTOP);
        return;
    }
    c.result.release();
    MakeTitleUnique(window);
    InvalidateRect(window, nullptr, TRUE);
    PostMessageA(frame, UM_UPDATEMENUS, 0, 0);
}

}  // namespace

void SetMultigraphMembersHook(MultigraphMembersHook hook) { g_members = hook; }

void SmoothCommand(HWND frame) {
    const Target t = ActiveTarget();
    if (!t.curve && !t.waterfall) return;
    SmoothDialog c;
    c.ppo = t.curve ? MeasurementPointsPerOctave(*t.curve) : WaterfallPointsPerOctave(*t.waterfall);
    WindowHistory& history = Settings().window;
    const int32_t remembered = history.smoothingFraction;
    const int32_t method = history.smoothingMethod;
    c.n = (remembered >= 1 && remembered <= 96) ? remembered : 3;
    c.free = history.smoothingFree != 0;
    c.method = (method >= kSmoothAbsolute && method <= kSmoothMedian) ? method : kSmoothAbsolute;
    if (RunAnalysisDialog(frame, DLG_SMOOTH, SmoothProc, &c) != IDOK) return;
    history.smoothingFraction = c.n;
    history.smoothingFree = c.free ? 1 : 0;
    history.smoothingMethod = c.method;
    if (t.curve) {
        Measurement* m = t.curve;
        ChangeInPlace(t.window, [&] { return SmoothMeasurement(*m, c.n, c.method, AnalysisNow()); });
    } else {
        TimeRecord* w = t.waterfall;
        ChangeInPlace(t.window, [&] { return SmoothWaterfall(*w, c.n, c.method); });
    }
}

void NormalizeCommand(HWND frame) {
    const Target t = ActiveTarget();
    NormalizeDialog c;
    if (t.curve && t.curve->h.curveKind != kCurveImpedance && !t.curve->points.empty()) {
        c.lo = t.curve->points.front().frequency;
        c.hi = t.curve->points.back().frequency;
    } else if (t.waterfall) {
        c.lo = t.waterfall->h.waterfallFirstFrequency;
        c.hi = t.waterfall->h.waterfallLastFrequency;
    } else if (!t.members.empty()) {
        // What every member covers.
        bool first = true;
        for (HWND w : t.members) {
            const Measurement* m = CurveOf(w);
            if (m->points.empty()) return;
            const double lo = m->points.front().frequency, hi = m->points.back().frequency;
            c.lo = first ? lo : std::max(c.lo, lo);
            c.hi = first ? hi : std::min(c.hi, hi);
            first = false;
        }
        if (!(c.lo <= c.hi)) return;
    } else {
        return;
    }
    if (RunAnalysisDialog(frame, DLG_NORMALIZE, NormalizeProc, &c) != IDOK) return;
    const double f = c.frequency;
    if (t.curve) {
        Measurement* m = t.curve;
        ChangeInPlace(t.window, [&] { return NormalizeAt(*m, f); });
    } else if (t.waterfall) {
        TimeRecord* w = t.waterfall;
        ChangeInPlace(t.window, [&] { return NormalizeWaterfall(*w, f); });
    } else {
        for (HWND member : t.members) {
            Measurement* m = CurveOf(member);
            ChangeInPlace(member, [&] { return NormalizeAt(*m, f); });
        }
        InvalidateRect(t.window, nullptr, TRUE);
    }
}

void ManualNormalizeCommand(HWND frame) {
    const Target t = ActiveTarget();
    const bool curve = t.curve && t.curve->h.curveKind != kCurveImpedance;
    if (!curve && !t.waterfall && t.members.empty()) return;
    double shift = 0;
    if (RunAnalysisDialog(frame, DLG_MANUAL_NORMALIZE, ManualNormalizeProc, &shift) != IDOK) return;
    auto shiftCurve = [shift](HWND w) {
        Measurement* m = CurveOf(w);
        ChangeInPlace(w, [&] {
            ShiftLevels(*m, shift);
            return true;
        });
    };
    if (curve) {
        shiftCurve(t.window);
    } else if (t.waterfall) {
        TimeRecord* w = t.waterfall;
        ChangeInPlace(t.window, [&] {
            ShiftLevels(*w, shift);
            return true;
        });
    } else {
        for (HWND member : t.members) shiftCurve(member);
        InvalidateRect(t.window, nullptr, TRUE);
    }
}

void AverageCommand(HWND frame) { NewCurveCommand(frame, DLG_AVERAGE, AverageProc); }

void MergeCommand(HWND frame) { NewCurveCommand(frame, DLG_MERGE, MergeProc); }

}  // namespace srx
