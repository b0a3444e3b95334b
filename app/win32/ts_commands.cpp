// The T/S commands over open impedance curves: "Measured Thiele-Small
// Parameters" (718) with "Voice-Coil D.C. Resistance", "T/S Parameters on
// imported files" (719), the "Boxloss Calculator" (720), and the two curve
// operations, removing the voice-coil inductance (765) and the model curve
// (766). The numbers come from design/ts_measurement; these dialogs move
// them in and out of fields shown in data-sheet units.
#include <windows.h>
// After windows.h: the print dialog.
#include <commdlg.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/documents_model.h"
#include "app/win32/analysis_commands.h"
#include "app/win32/commands_internal.h"
#include "app/win32/documents.h"
#include "app/win32/recent_menu.h"
#include "app/win32/shell.h"
#include "data/view_flags.h"
#include "design/speaker_unit.h"
#include "design/ts_measurement.h"
#include "resources/command_ids.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"
#include "resources/ts_measured_ids.h"

namespace srx {

namespace {

constexpr DWORD kHelpMeasured = 21;
constexpr DWORD kHelpImported = 22;
constexpr DWORD kHelpBoxloss = 23;

int Say(HWND owner, int id, UINT flags) { return ShowAnalysisMessage(owner, Status::Error(id), flags); }

// The impedance curve of a measurement window, or null.
Measurement* ImpedanceOf(HWND window) {
    if (!window || DocumentKindOf(window) != kDocMeasurement) return nullptr;
    auto* m = static_cast<Measurement*>(DocumentDataOf(window));
    return m && m->h.curveKind == kCurveImpedance ? m : nullptr;
}

std::vector<HWND> ImpedanceWindows() {
    std::vector<HWND> out;
    for (HWND w : DocumentWindows())
        if (ImpedanceOf(w)) out.push_back(w);
    return out;
}

double& Ts(Measurement& m, TsField f) { return m.h.tsBlock[f]; }

// A value shown with four decimals; what is not above zero stays empty.
void ShowValue(HWND dialog, int id, double v) {
    char text[64] = "";
    if (std::isfinite(v) && v > 0) std::snprintf(text, sizeof text, "%.4f", v);
    SetDlgItemTextA(dialog, id, text);
    SendDlgItemMessageA(dialog, id, EM_SETMODIFY, FALSE, 0);
}


bool Modified(HWND dialog, int id) { return SendDlgItemMessageA(dialog, id, EM_GETMODIFY, 0, 0) != 0; }

std::string FieldText(HWND dialog, int id, int limit) {
    std::vector<char> text(size_t(limit) + 1, '\0');
    GetDlgItemTextA(dialog, id, text.data(), limit + 1);
    return text.data();
}

void AskFocus(HWND dialog, int id) {
    HWND field = GetDlgItem(dialog, id);
    SetFocus(field);
    SendMessageA(field, EM_SETSEL, 0, -1);
}

// ---- Voice-Coil D.C. Resistance ------------------------------------------

struct RevcContext {
    Measurement* curve;
};

INT_PTR CALLBACK RevcProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
    auto* c = reinterpret_cast<RevcContext*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrA(dialog, DWLP_USER, lp);
            SendDlgItemMessageA(dialog, IDC_REVC_VALUE, EM_LIMITTEXT, 32, 0);
            AnalysisDialogReady(dialog, DLG_TS_REVC);
            return TRUE;
        case WM_COMMAND:
            if (!c) break;
            switch (LOWORD(wp)) {
                case IDOK: {
                    const double re = ReadPositiveField(dialog, IDC_REVC_VALUE);
                    if (re > 0) {
                        Ts(*c->curve, kTsRe) = re;
                        EndDialog(dialog, IDOK);
                    } else {
                        AskFocus(dialog, IDC_REVC_VALUE);
                    }
                    return TRUE;
                }
                case IDC_REVC_SCAN: {
                    double re = 0;
                    if (ScanRevc(*c->curve, re)) SetNumberField(dialog, IDC_REVC_VALUE, re, 4);
                    return TRUE;
                }
                case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
            }
            break;
    }
    return FALSE;
}

// ---- Measured Thiele-Small Parameters ------------------------------------

struct MeasuredContext {
    HWND window;
    Measurement* curve;
    MeasurementHeader copy;
};

void FillMeasured(HWND dialog, const Measurement& m) {
    SetDlgItemTextA(dialog, IDC_TSM_TITLE, TextOf(m.h.title).c_str());
    SetDlgItemTextA(dialog, IDC_TSM_MANUFACTURER, MeasurementManufacturer(m.h).c_str());
    SetDlgItemTextA(dialog, IDC_TSM_MODEL, MeasurementModel(m.h).c_str());
    const MeasuredValues v = MeasuredValuesOf(m.h);
    const struct {
        int id;
        double value;
    } rows[] = {
        {IDC_TSM_FS, v.fs},          {IDC_TSM_MMD, v.mmd * 1000},  {IDC_TSM_MMS, v.mms * 1000},
        {IDC_TSM_CMS, v.cms * 1000}, {IDC_TSM_RMS, v.rms},         {IDC_TSM_VAS, v.vas * 1000},
        {IDC_TSM_XMAX, v.xmax * 1000}, {IDC_TSM_SD, v.sd * 1e4},   {IDC_TSM_RE, v.re},
        {IDC_TSM_LE, v.le * 1000},   {IDC_TSM_BL, v.bl},           {IDC_TSM_QMS, v.qms},
        {IDC_TSM_QES, v.qes},        {IDC_TSM_QTS, v.qts},         {IDC_TSM_NO, v.no * 100},
        {IDC_TSM_SPL1W, v.spl1w},    {IDC_TSM_SPL283, v.spl283v},
    };
    for (const auto& r : rows) ShowValue(dialog, r.id, r.value);
    EnableWindow(GetDlgItem(dialog, IDC_TSM_SAVE_SPK), v.mmd > 0);
}

// Sd and Xmax as typed; a field left alone keeps the curve's exact value.
void TakeSdXmax(HWND dialog, Measurement& m) {
    if (Modified(dialog, IDC_TSM_SD)) Ts(m, kTsSd) = ReadPositiveField(dialog, IDC_TSM_SD) / 1e4;
    if (Modified(dialog, IDC_TSM_XMAX)) Ts(m, kTsXmax) = ReadPositiveField(dialog, IDC_TSM_XMAX) / 1000;
    SendDlgItemMessageA(dialog, IDC_TSM_SD, EM_SETMODIFY, FALSE, 0);
    SendDlgItemMessageA(dialog, IDC_TSM_XMAX, EM_SETMODIFY, FALSE, 0);
}

void TakeTexts(HWND dialog, Measurement& m) {
    const std::string title = FieldText(dialog, IDC_TSM_TITLE, 259);
    std::snprintf(m.h.title, sizeof m.h.title, "%s", title.c_str());
    SetMeasurementManufacturer(m.h, FieldText(dialog, IDC_TSM_MANUFACTURER, 79));
    SetMeasurementModel(m.h, FieldText(dialog, IDC_TSM_MODEL, 79));
}

bool AcceptMeasured(HWND dialog, MeasuredContext& c) {
    Measurement& m = *c.curve;
    TakeTexts(dialog, m);
    TakeSdXmax(dialog, m);
    if (Ts(m, kTsMmd) > 0) {
        if (!(Ts(m, kTsSd) > 0) && Say(dialog, kStrAskSd, MB_YESNO | MB_ICONQUESTION) == IDYES) {
            AskFocus(dialog, IDC_TSM_SD);
            return false;
        }
        if (!(Ts(m, kTsXmax) > 0) && Say(dialog, kStrAskXmax, MB_YESNO | MB_ICONQUESTION) == IDYES) {
            AskFocus(dialog, IDC_TSM_XMAX);
            return false;
        }
    }
    FillMeasured(dialog, m);
    if (std::memcmp(&m.h, &c.copy, sizeof c.copy) != 0) {
        if (m.h.title[0] == '\0') std::snprintf(m.h.title, sizeof m.h.title, "%s", "Impedance");
        SetWindowTextA(c.window, FormatStringId(kStrImpedanceTitle, m.h.title).c_str());
        m.h.flags &= ~uint32_t(kMesSaved);
        for (HWND w : DocumentWindows())
            if (DocumentDataOf(w) == &m) InvalidateRect(w, nullptr, TRUE);
        PostMessageA(Shell().frame, UM_UPDATEMENUS, 0, 0);
    }
    return true;
}

// The parameter list as text lines, for the printer.
std::vector<std::string> ParameterLines(HWND dialog) {
    static const struct {
        int id;
        const char* label;
    } kRows[] = {
        {IDC_TSM_TITLE, "Title"},         {IDC_TSM_MANUFACTURER, "Manufacturer"}, {IDC_TSM_MODEL, "Model"},
        {IDC_TSM_FS, "Fs (Hz)"},          {IDC_TSM_MMD, "Mmd (g)"},                {IDC_TSM_MMS, "Mms (g)"},
        {IDC_TSM_CMS, "Cms (mm/N)"},      {IDC_TSM_RMS, "Rms (kg/s)"},             {IDC_TSM_VAS, "Vas (liter)"},
        {IDC_TSM_XMAX, "Xmax (mm)"},      {IDC_TSM_SD, "Sd (cm2)"},                {IDC_TSM_RE, "Re (Ohm)"},
        {IDC_TSM_LE, "Le (mH)"},          {IDC_TSM_BL, "Bl (Tm)"},                 {IDC_TSM_QMS, "Qms"},
        {IDC_TSM_QES, "Qes"},             {IDC_TSM_QTS, "Qts"},                    {IDC_TSM_NO, "no (%)"},
        {IDC_TSM_SPL1W, "SPL dB-1W/1m"},  {IDC_TSM_SPL283, "SPL dB-2.83V/1m"},
    };
    std::vector<std::string> lines{StringText(kStrMeasuredTsTitle), ""};
    for (const auto& r : kRows) lines.push_back(std::string(r.label) + "\t" + FieldText(dialog, r.id, 259));
    return lines;
}

void PrintParameters(HWND dialog) {
    PRINTDLGA pd{};
    pd.lStructSize = sizeof pd;
    pd.hwndOwner = dialog;
    pd.Flags = PD_RETURNDC | PD_NOPAGENUMS | PD_NOSELECTION;
    if (!PrintDlgA(&pd) || !pd.hDC) return;
    HDC dc = pd.hDC;
    DOCINFOA doc{};
    doc.cbSize = sizeof doc;
    doc.lpszDocName = StringText(kStrMeasuredTsTitle);
    if (StartDocA(dc, &doc) > 0 && StartPage(dc) > 0) {
        const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
        HFONT font = CreateFontA(-MulDiv(11, dpi, 72), 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Arial");
        HGDIOBJ old = SelectObject(dc, font);
        const int left = GetDeviceCaps(dc, LOGPIXELSX);  // an inch in
        const int tab = left * 2;
        int y = dpi;
        for (const std::string& line : ParameterLines(dialog)) {
            const size_t t = line.find('\t');
            TextOutA(dc, left, y, line.c_str(), int(t == std::string::npos ? line.size() : t));
            if (t != std::string::npos)
                TextOutA(dc, left + tab, y, line.c_str() + t + 1, int(line.size() - t - 1));
            y += MulDiv(16, dpi, 72);
        }
        SelectObject(dc, old);
        DeleteObject(font);
        EndPage(dc);
        EndDoc(dc);
    }
    DeleteDC(dc);
    if (pd.hDevMode) GlobalFree(pd.hDevMode);
    if (pd.hDevNames) GlobalFree(pd.hDevNames);
}

void SaveMeasuredUnit(HWND dialog, MeasuredContext& c) {
    TakeTexts(dialog, *c.curve);
    TakeSdXmax(dialog, *c.curve);
    FillMeasured(dialog, *c.curve);
    if (!MeasuredValuesOf(c.curve->h).hasMass) return;
    const SpeakerUnit unit = MeasuredSpeakerUnit(*c.curve);
    if (!IsCompleteForFile(unit)) {
        Say(dialog, kStrSpkIncomplete, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    char path[MAX_PATH] = {};
    std::snprintf(path, sizeof path, "%s.spk", unit.model.empty() ? StringText(kStrNoName) : unit.model.c_str());
    const std::string filter = StringList(kStrUnitFilter);
    if (FileDialog(dialog, path, filter.c_str(), StringText(kStrSaveUnitTitle), false, 1) != 1) return;
    if (const Status st = WriteSpeakerUnitFile(path, unit); !st) ShowAnalysisMessage(dialog, st, MB_OK | MB_ICONSTOP);
    else AddRecentFile(path);
}

INT_PTR CALLBACK MeasuredProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
    auto* c = reinterpret_cast<MeasuredContext*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrA(dialog, DWLP_USER, lp);
            c = reinterpret_cast<MeasuredContext*>(lp);
            SendDlgItemMessageA(dialog, IDC_TSM_TITLE, EM_LIMITTEXT, 259, 0);
            SendDlgItemMessageA(dialog, IDC_TSM_MANUFACTURER, EM_LIMITTEXT, 79, 0);
            SendDlgItemMessageA(dialog, IDC_TSM_MODEL, EM_LIMITTEXT, 79, 0);
            FillMeasured(dialog, *c->curve);
            AnalysisDialogReady(dialog, DLG_TS_MEASURED);
            return TRUE;
        case WM_COMMAND:
            if (!c) break;
            switch (LOWORD(wp)) {
                case IDOK:
                    if (AcceptMeasured(dialog, *c)) EndDialog(dialog, IDOK);
                    return TRUE;
                case IDCANCEL:
                    c->curve->h = c->copy;
                    EndDialog(dialog, IDCANCEL);
                    return TRUE;
                case IDC_TSM_PRINT: PrintParameters(dialog); return TRUE;
                case IDC_TSM_SAVE_SPK: SaveMeasuredUnit(dialog, *c); return TRUE;
                case IDHELP: ShowHelpTopic(dialog, kHelpMeasured); return TRUE;
            }
            break;
    }
    return FALSE;
}

// ---- T/S Parameters on imported files ------------------------------------

struct ImportedContext {
    std::vector<HWND> windows;
    TsMethod method = kTsAddedMass;
    HWND chosen = nullptr;  // the free-air window, on success
};

HWND Selected(HWND dialog, const ImportedContext& c, int list) {
    const LRESULT i = SendDlgItemMessageA(dialog, list, CB_GETCURSEL, 0, 0);
    return i >= 0 && size_t(i) < c.windows.size() ? c.windows[size_t(i)] : nullptr;
}

void DecideMethod(HWND dialog, ImportedContext& c, bool clear) {
    HWND f = Selected(dialog, c, IDC_TSI_FREE), l = Selected(dialog, c, IDC_TSI_LOADED);
    if (!f || !l) return;
    const TsMethod m = SuggestTwoCurveMethod(*ImpedanceOf(f), *ImpedanceOf(l));
    if (clear && m != c.method) SetDlgItemTextA(dialog, IDC_TSI_LOAD, "");
    c.method = m;
    SetDlgItemTextA(dialog, IDC_TSI_LOAD_LABEL, StringText(m == kTsAddedMass ? kStrAddedMassLabel : kStrTestboxLabel));
}

bool AcceptImported(HWND dialog, ImportedContext& c) {
    HWND fw = Selected(dialog, c, IDC_TSI_FREE), lw = Selected(dialog, c, IDC_TSI_LOADED);
    if (!fw || !lw) return false;
    if (fw == lw) {
        Say(dialog, kStrSameCurves, MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    TwoCurveInput in;
    in.method = c.method;
    in.re = ReadPositiveField(dialog, IDC_TSI_REVC);
    if (!(in.re > 0)) {
        Say(dialog, kStrEnterRevc, MB_OK | MB_ICONEXCLAMATION);
        AskFocus(dialog, IDC_TSI_REVC);
        return false;
    }
    in.sd = ReadPositiveField(dialog, IDC_TSI_SD) / 1e4;
    if (!(in.sd > 0) && Say(dialog, kStrAskSd, MB_YESNO | MB_ICONQUESTION) == IDYES) {
        AskFocus(dialog, IDC_TSI_SD);
        return false;
    }
    in.xmax = ReadPositiveField(dialog, IDC_TSI_XMAX) / 1000;
    if (!(in.xmax > 0) && Say(dialog, kStrAskXmax, MB_YESNO | MB_ICONQUESTION) == IDYES) {
        AskFocus(dialog, IDC_TSI_XMAX);
        return false;
    }
    in.load = ReadPositiveField(dialog, IDC_TSI_LOAD) / 1000;  // grams or liters
    if (!(in.load > 0)) {
        Say(dialog, c.method == kTsAddedMass ? kStrEnterAddedMass : kStrEnterTestBox, MB_OK | MB_ICONEXCLAMATION);
        AskFocus(dialog, IDC_TSI_LOAD);
        return false;
    }
    Measurement& freeAir = *ImpedanceOf(fw);
    Measurement& loaded = *ImpedanceOf(lw);
    if (const Status s = RunTwoCurveMethod(freeAir, loaded, in); !s) {
        ShowAnalysisMessage(dialog, s, MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    for (HWND w : {fw, lw}) InvalidateRect(w, nullptr, TRUE);
    c.chosen = fw;
    return true;
}

INT_PTR CALLBACK ImportedProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
    auto* c = reinterpret_cast<ImportedContext*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrA(dialog, DWLP_USER, lp);
            c = reinterpret_cast<ImportedContext*>(lp);
            for (int list : {IDC_TSI_FREE, IDC_TSI_LOADED})
                for (HWND w : c->windows)
                    // Window titles: two curves of one title still differ there.
                    SendDlgItemMessageA(dialog, list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WindowTitle(w).c_str()));
            SendDlgItemMessageA(dialog, IDC_TSI_FREE, CB_SETCURSEL, 0, 0);
            SendDlgItemMessageA(dialog, IDC_TSI_LOADED, CB_SETCURSEL, 1, 0);
            DecideMethod(dialog, *c, false);
            AnalysisDialogReady(dialog, DLG_TS_IMPORTED);
            return TRUE;
        }
        case WM_COMMAND:
            if (!c) break;
            switch (LOWORD(wp)) {
                case IDC_TSI_FREE:
                case IDC_TSI_LOADED:
                    if (HIWORD(wp) == CBN_SELCHANGE) DecideMethod(dialog, *c, true);
                    return TRUE;
                case IDC_TSI_SCAN: {
                    double re = 0;
                    if (HWND f = Selected(dialog, *c, IDC_TSI_FREE); f && ScanRevc(*ImpedanceOf(f), re))
                        SetNumberField(dialog, IDC_TSI_REVC, re, 4);
                    return TRUE;
                }
                case IDOK:
                    if (AcceptImported(dialog, *c)) EndDialog(dialog, IDOK);
                    return TRUE;
                case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
                case IDHELP: ShowHelpTopic(dialog, kHelpImported); return TRUE;
            }
            break;
    }
    return FALSE;
}

// ---- Boxloss Calculator ----------------------------------------------------

struct BoxlossContext {
    Measurement* curve;
    TwoPeaks peaks;
};

void ShowTuning(HWND dialog, const BoxlossContext& c, double fs) {
    const BoxTuning t = BoxTuningOf(c.peaks, fs);
    SetNumberField(dialog, IDC_BL_ALPHA, t.alpha, 4);
    SetNumberField(dialog, IDC_BL_H, t.h, 4);
}

void Calculate(HWND dialog, const BoxlossContext& c) {
    const double fs = ReadPositiveField(dialog, IDC_BL_FS), re = ReadPositiveField(dialog, IDC_BL_RE);
    const double qms = ReadPositiveField(dialog, IDC_BL_QMS), qes = ReadPositiveField(dialog, IDC_BL_QES);
    double ql = 0;
    const Status s = BoxLossQ(c.peaks, fs, re, qms, qes, ql);
    if (!s) {
        SetDlgItemTextA(dialog, IDC_BL_QL, "");
        ShowAnalysisMessage(dialog, s, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    ShowTuning(dialog, c, fs);
    SetNumberField(dialog, IDC_BL_QL, ql, 4);
}

INT_PTR CALLBACK BoxlossProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
    auto* c = reinterpret_cast<BoxlossContext*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrA(dialog, DWLP_USER, lp);
            c = reinterpret_cast<BoxlossContext*>(lp);
            const double fsb = BoxTuningOf(c->peaks, 0).fsb;
            SetNumberField(dialog, IDC_BL_FS, fsb, 4);
            if (Ts(*c->curve, kTsRe) > 0) SetNumberField(dialog, IDC_BL_RE, Ts(*c->curve, kTsRe), 4);
            ShowTuning(dialog, *c, fsb);
            AnalysisDialogReady(dialog, DLG_BOXLOSS);
            return TRUE;
        }
        case WM_COMMAND:
            if (!c) break;
            switch (LOWORD(wp)) {
                case IDC_BL_CALCULATE: Calculate(dialog, *c); return TRUE;
                case IDOK: return TRUE;  // Enter in a field: no default action beyond Calculate's button
                case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
                case IDHELP: ShowHelpTopic(dialog, kHelpBoxloss); return TRUE;
            }
            break;
    }
    return FALSE;
}

}  // namespace

bool RevcDialog(HWND owner, Measurement& curve) {
    RevcContext c{&curve};
    return RunAnalysisDialog(owner, DLG_TS_REVC, RevcProc, &c) == IDOK;
}

void MeasuredParametersCommand(HWND frame) {
    HWND window = ActiveDocument();
    Measurement* m = ImpedanceOf(window);
    if (!m) return;
    MeasuredContext c{window, m, m->h};
    if (!(Ts(*m, kTsRe) > 0) && !RevcDialog(frame, *m)) {
        m->h = c.copy;
        return;
    }
    // A failed analysis leaves zeros, shown as empty fields: the user still
    // sees Re, Sd and the texts and may cancel.
    AnalyseImpedance(*m);
    RunAnalysisDialog(frame, DLG_TS_MEASURED, MeasuredProc, &c);
}

void ImportedParametersCommand(HWND frame) {
    ImportedContext c;
    c.windows = ImpedanceWindows();
    if (c.windows.size() < 2) {
        Say(frame, kStrTwoCurvesNeeded, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (RunAnalysisDialog(frame, DLG_TS_IMPORTED, ImportedProc, &c) != IDOK || !c.chosen) return;
    SendMessageA(Shell().client, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(c.chosen), 0);
    MeasuredParametersCommand(frame);
}

void BoxlossCommand(HWND frame) {
    BoxlossContext c{ImpedanceOf(ActiveDocument()), {}};
    if (!c.curve) return;
    if (const Status s = FindTwoPeaks(*c.curve, c.peaks); !s) {
        ShowAnalysisMessage(frame, s, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    RunAnalysisDialog(frame, DLG_BOXLOSS, BoxlossProc, &c);
}

void RemoveInductanceCommand(HWND frame) {
    HWND window = ActiveDocument();
    Measurement* m = ImpedanceOf(window);
    if (!m) return;
    // Checked on a copy first, so that a curve without the kilohertz
    // points takes no undo step.
    Measurement trial = *m;
    if (const Status s = RemoveInductance(trial); !s && s.stringId == kStrNoKiloHertz) {
        ShowAnalysisMessage(frame, s, MB_OK | MB_ICONSTOP);
        return;
    }
    if (!SaveUndoStep(window)) return;
    *m = std::move(trial);
    m->h.flags &= ~uint32_t(kMesSaved);
    for (HWND w : DocumentWindows())
        if (DocumentDataOf(w) == m) InvalidateRect(w, nullptr, TRUE);
    PostMessageA(Shell().frame, UM_UPDATEMENUS, 0, 0);
}

void CurveFitCommand(HWND frame) {
    Measurement* m = ImpedanceOf(ActiveDocument());
    if (!m) return;
    if (!(Ts(*m, kTsRe) > 0) && !RevcDialog(frame, *m)) return;
    std::unique_ptr<Measurement> fit;
    Status s;
    {
        WaitCursor wait;
        s = CurveFitImpedance(*m, fit);
    }
    if (!s) {
        ShowAnalysisMessage(frame, s, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    const std::string title = FormatStringId(kStrImpedanceTitle, fit->h.title);
    if (!CreateDocumentWindow(title.c_str(), kDocMeasurement, fit.get())) {
        ShowAnalysisMessage(frame, Status::Error(kStrCreateWindowFailed), MB_OK | MB_ICONSTOP);
        return;
    }
    fit.release();  // the window's now
    PostMessageA(Shell().frame, UM_UPDATEMENUS, 0, 0);
}

}  // namespace srx
