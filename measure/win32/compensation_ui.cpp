// The compensation lists, the "Microphone Compensation" editor with its
// "Curve Difference", the save and export dialogs and the messages of the
// calibration-file conversion. The editing rules live in
// dsp/compensation_editor; this file turns messages into calls of them.
#include "measure/win32/compensation_ui.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

#include "data/view_flags.h"
#include "app/win32/documents.h"
#include "app/win32/shell.h"
#include "dsp/compensation_convert.h"
#include "measure/compensation_settings.h"
#include "dsp/compensation_editor.h"
#include "measure/stimulus_files.h"
#include "resources/compensation_ids.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"

namespace srx {

namespace {

// The sensitivity the exported text names for the reference microphone.
constexpr double kReferenceSensitivity = 5.0;  // mV/Pa

const char kSaveTitle[] = "Save Microphone Compensation";
const char kExportTitle[] = "Export Microphone Compensation";
const char kCompensationFilter[] = "Kompenserings Filer\0*.MCP\0All Files  (*.*)\0*.*\0";
const char kExportFilter[] = "DAT File\0*.DAT\0All Files  (*.*)\0*.*\0";

// Room for the value labels left of and below the plot.
constexpr int kPlotLeft = 40, kPlotRight = 14, kPlotTop = 8, kPlotBottom = 16;

CompensationUiHooks g_hooks;

const char* Caption() { return ShellCaption(); }

int Ask(HWND owner, int id, UINT flags, const std::string& text) {
    if (g_hooks.ask) return g_hooks.ask(owner, id, flags, text);
    return MessageBoxA(owner, text.c_str(), Caption(), flags);
}

int Ask(HWND owner, int id, UINT flags) { return Ask(owner, id, flags, StringText(id)); }

bool ChoosePath(HWND owner, const char* title, const char* filter, std::string& path) {
    if (g_hooks.choosePath) return g_hooks.choosePath(owner, title, path);
    char buffer[256] = "";
    std::snprintf(buffer, sizeof buffer, "%s", path.c_str());
    if (!FileDialog(owner, buffer, filter, title, false, 1)) return false;
    path = buffer;
    return true;
}

// A chosen name without extension gets the list's one.
std::string WithExtension(std::string path, const char* extension) {
    if (CompensationFileTitle(path).find('.') == std::string::npos) path += extension;
    return path;
}

std::string ProgramFolder() { return MeasureProgramFolder(); }

bool IsComboBox(HWND control) {
    char name[32] = "";
    GetClassNameA(control, name, sizeof name);
    return lstrcmpiA(name, "ComboBox") == 0;
}

std::string ItemText(HWND control, int index) {
    const bool combo = IsComboBox(control);
    const LRESULT n = SendMessageA(control, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, WPARAM(index), 0);
    if (n < 0) return {};
    std::string text(size_t(n) + 1, '\0');
    SendMessageA(control, combo ? CB_GETLBTEXT : LB_GETTEXT, WPARAM(index), LPARAM(text.data()));
    text.resize(std::strlen(text.c_str()));
    return text;
}

int CurrentIndex(HWND control) {
    return int(SendMessageA(control, IsComboBox(control) ? CB_GETCURSEL : LB_GETCURSEL, 0, 0));
}

int FillList(HWND control, const std::vector<std::string>& names, const std::string& current) {
    const bool combo = IsComboBox(control);
    SendMessageA(control, combo ? CB_RESETCONTENT : LB_RESETCONTENT, 0, 0);
    for (const std::string& n : names) SendMessageA(control, combo ? CB_ADDSTRING : LB_ADDSTRING, 0, LPARAM(n.c_str()));
    const int index = CompensationListIndex(names, current);
    SendMessageA(control, combo ? CB_SETCURSEL : LB_SETCURSEL, WPARAM(index), 0);
    return index;
}

// Calibration files that could not be converted are named once a run:
// the list is filled again and again, the file stays broken.
std::set<std::string>& ReportedFailures() {
    static std::set<std::string> names;
    return names;
}

// ---- "Curve Difference" ------------------------------------------------------

struct DifferenceDialog {
    std::vector<Measurement*> curves;
    CurveDifference* result;
};

INT_PTR CALLBACK DifferenceProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
    auto* st = reinterpret_cast<DifferenceDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (msg) {
        case WM_INITDIALOG: {
            st = reinterpret_cast<DifferenceDialog*>(lp);
            SetWindowLongPtrA(dialog, DWLP_USER, LONG_PTR(st));
            for (HWND w : DocumentWindows()) {
                if (DocumentKindOf(w) != kDocMeasurement) continue;
                auto* m = static_cast<Measurement*>(DocumentDataOf(w));
                if (!m || (m->h.curveKind != kCurveFrequencyResponse && m->h.curveKind != kCurveSweepResponse))
                    continue;
                char title[300] = "";
                GetWindowTextA(w, title, sizeof title);
                st->curves.push_back(m);
                for (int id : {IDC_CD_UNCALIBRATED, IDC_CD_CALIBRATED})
                    SendDlgItemMessageA(dialog, id, LB_ADDSTRING, 0, LPARAM(title));
            }
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wp) == IDOK) {
                const int u = int(SendDlgItemMessageA(dialog, IDC_CD_UNCALIBRATED, LB_GETCURSEL, 0, 0));
                const int c = int(SendDlgItemMessageA(dialog, IDC_CD_CALIBRATED, LB_GETCURSEL, 0, 0));
                const bool smooth = IsDlgButtonChecked(dialog, IDC_CD_SMOOTH) == BST_CHECKED;
                // Both chosen and sharing a frequency range, or the dialog stays.
                if (u < 0 || c < 0 || size_t(u) >= st->curves.size() || size_t(c) >= st->curves.size() ||
                    !CompensationFromDifference(*st->curves[size_t(u)], *st->curves[size_t(c)], smooth, *st->result)) {
                    MessageBeep(MB_ICONEXCLAMATION);
                    return TRUE;
                }
                EndDialog(dialog, 1);
                return TRUE;
            }
            if (LOWORD(wp) == IDCANCEL) {
                EndDialog(dialog, 0);
                return TRUE;
            }
            break;
    }
    return FALSE;
}

bool RunCurveDifference(HWND owner, CurveDifference& out) {
    DifferenceDialog st{{}, &out};
    return DialogBoxParamA(Shell().instance, MAKEINTRESOURCEA(DLG_CURVE_DIFFERENCE), owner, DifferenceProc,
                           LPARAM(&st)) == 1;
}

// ---- "Microphone Compensation" --------------------------------------------------

struct MicDialog {
    bool modeless = false;
    CompensationEditor editor;
    bool hasTable = false;  // a file's table or a new one is shown
    std::string path;       // where the table is saved; "" for a new one
    int selection = 0;      // the list entry shown
    EditorGraph graph;      // in dialog client coordinates
    RECT graphRect{};       // the graph control in dialog client coordinates
};

MicDialog* StateOf(HWND dialog) { return reinterpret_cast<MicDialog*>(GetWindowLongPtrA(dialog, DWLP_USER)); }

void InvalidateGraph(HWND dialog) { InvalidateRect(GetDlgItem(dialog, IDC_MC_GRAPH), nullptr, FALSE); }

void EnableEditing(HWND dialog, bool on) {
    for (int id : {IDC_MC_RESET, IDC_MC_SAVE}) EnableWindow(GetDlgItem(dialog, id), on);
}

// Shows the table of list entry `selection`.
void LoadSelection(HWND dialog, MicDialog& st) {
    const std::string item = ItemText(GetDlgItem(dialog, IDC_MC_LIST), st.selection);
    st.path.clear();
    st.hasTable = false;
    st.editor.SetCurve({});
    if (item == kNewCompensationItem) {
        st.editor.SetCurve(NewEditorTable());
        st.hasTable = true;
    } else if (!CompensationOfListItem(item).empty()) {
        const std::string path = CompensationPath(ProgramFolder(), item, kMicrophoneExtension);
        CompensationCurve curve;
        const Status loaded = LoadCompensation(path, curve);
        if (loaded.ok()) {
            st.editor.SetCurve(std::move(curve));
            st.path = path;
            st.hasTable = true;
        } else {
            Ask(dialog, loaded.stringId, MB_OK | MB_ICONEXCLAMATION);
        }
    }
    st.graph.range = EditorRangeFor(st.editor.Curve());
    EnableEditing(dialog, st.hasTable);
    InvalidateGraph(dialog);
}

// Saves the table (asking for a name when it has none or `ask`); the list
// then shows the saved file. 1 when saved.
int SaveShown(HWND dialog, MicDialog& st, bool ask) {
    if (!st.hasTable) return 0;
    std::string path = st.path;
    if (!SaveCompensation(dialog, path, st.editor.Curve(), ask || path.empty())) return 0;
    st.path = path;
    st.editor.SetModified(false);
    HWND list = GetDlgItem(dialog, IDC_MC_LIST);
    const std::vector<std::string> names = CompensationListNames(ProgramFolder(), false, true);
    const std::string base = CompensationBaseName(path);
    const int index = CompensationListIndex(names, base);
    // A file saved outside the program folder is no entry of the list.
    if (index > 0) st.selection = FillList(list, names, base);
    return 1;
}

void ShowValue(HWND dialog, const EditorGraph& g, int x, int y) {
    char text[96];
    std::snprintf(text, sizeof text, "f: %5.0lf Hz   A: %2.1lf dB", RoundEditorFrequency(g.FrequencyAt(x)),
                  g.LevelAt(y));
    SetDlgItemTextA(dialog, IDC_MC_VALUE, text);
}

std::string FrequencyLabel(double f) {
    char text[16];
    if (f >= 1000) std::snprintf(text, sizeof text, "%gk", f / 1000);
    else std::snprintf(text, sizeof text, "%g", f);
    return text;
}

void PaintGraph(HWND dialog, const DRAWITEMSTRUCT& di, const MicDialog& st) {
    const RECT rc = di.rcItem;
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    if (w <= 0 || h <= 0) return;
    HDC dc = CreateCompatibleDC(di.hDC);
    HBITMAP bitmap = CreateCompatibleBitmap(di.hDC, w, h);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    RECT all{0, 0, w, h};
    FillRect(dc, &all, HBRUSH(GetStockObject(WHITE_BRUSH)));
    HGDIOBJ oldFont = SelectObject(dc, HFONT(SendMessageA(dialog, WM_GETFONT, 0, 0)));
    SetBkMode(dc, TRANSPARENT);

    const EditorGraph& g = st.graph;
    const int ox = st.graphRect.left, oy = st.graphRect.top;
    const int left = g.left - ox, right = g.left + g.width - ox, top = g.top - oy, bottom = g.top + g.height - oy;
    auto X = [&](double f) { return int(std::lround(g.XOf(f))) - ox; };
    auto Y = [&](double level) {
        const int y = int(std::lround(g.YOf(level))) - oy;
        return y < top ? top : y > bottom ? bottom : y;
    };

    HPEN grid = CreatePen(PS_SOLID, 1, RGB(210, 210, 210));
    HPEN axis = CreatePen(PS_SOLID, 1, RGB(110, 110, 110));
    HPEN curve = CreatePen(PS_SOLID, 2, RGB(0, 0, 200));
    HGDIOBJ oldPen = SelectObject(dc, grid);
    SetTextColor(dc, RGB(0, 0, 0));

    for (double decade = 10; decade <= g.highFrequency; decade *= 10) {
        for (double m : {1.0, 2.0, 5.0}) {
            const double f = decade * m;
            if (f < g.lowFrequency || f > g.highFrequency) continue;
            const int x = X(f);
            MoveToEx(dc, x, top, nullptr);
            LineTo(dc, x, bottom);
            const std::string label = FrequencyLabel(f);
            SetTextAlign(dc, TA_CENTER | TA_TOP);
            TextOutA(dc, x, bottom + 2, label.c_str(), int(label.size()));
        }
    }
    const int step = g.range >= 5 ? g.range / 5 : 1;
    for (int level = -g.range; level <= g.range; level += step) {
        SelectObject(dc, level == 0 ? axis : grid);
        const int y = Y(level);
        MoveToEx(dc, left, y, nullptr);
        LineTo(dc, right, y);
        char label[16];
        std::snprintf(label, sizeof label, "%d dB", level);
        SetTextAlign(dc, TA_RIGHT | TA_BASELINE);
        TextOutA(dc, left - 3, y + 4, label, int(std::strlen(label)));
    }
    SelectObject(dc, axis);
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, left, top, right + 1, bottom + 1);

    const std::vector<CompensationEntry>& e = st.editor.Curve().entries;
    if (st.hasTable && !e.empty()) {
        // The lookup holds the end values beyond the table.
        std::vector<POINT> line;
        line.push_back({left, Y(e.front().level)});
        for (const CompensationEntry& x : e) line.push_back({X(x.frequency), Y(x.level)});
        line.push_back({right, Y(e.back().level)});
        SelectObject(dc, curve);
        Polyline(dc, line.data(), int(line.size()));
        SelectObject(dc, axis);
        SelectObject(dc, GetStockObject(WHITE_BRUSH));
        for (size_t i = 1; i + 1 < line.size(); ++i)
            Rectangle(dc, line[i].x - 2, line[i].y - 2, line[i].x + 3, line[i].y + 3);
    }

    BitBlt(di.hDC, rc.left, rc.top, w, h, dc, 0, 0, SRCCOPY);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(grid);
    DeleteObject(axis);
    DeleteObject(curve);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

void CloseMicDialog(HWND dialog, int result) {
    MicDialog* st = StateOf(dialog);
    if (GetCapture() == dialog) ReleaseCapture();
    if (st && st->modeless) DestroyWindow(dialog);
    else EndDialog(dialog, result);
}

void OnSelectionChange(HWND dialog, MicDialog& st) {
    HWND list = GetDlgItem(dialog, IDC_MC_LIST);
    int chosen = CurrentIndex(list);
    if (chosen < 0 || chosen == st.selection) return;
    if (st.hasTable && st.editor.Modified()) {
        const std::string chosenItem = ItemText(list, chosen);
        const int answer = Ask(dialog, kStrSavePrevious, MB_YESNOCANCEL | MB_ICONQUESTION);
        if (answer == IDCANCEL || (answer == IDYES && !SaveShown(dialog, st, false))) {
            SendMessageA(list, CB_SETCURSEL, WPARAM(st.selection), 0);
            return;
        }
        // Saving may have refilled the list.
        chosen = int(SendMessageA(list, CB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(chosenItem.c_str())));
        if (chosen < 0) chosen = 0;
        SendMessageA(list, CB_SETCURSEL, WPARAM(chosen), 0);
    }
    st.selection = chosen;
    LoadSelection(dialog, st);
}

void OnOk(HWND dialog, MicDialog& st) {
    if (st.hasTable && st.editor.Modified() && Ask(dialog, kStrMustSave, MB_YESNO | MB_ICONQUESTION) == IDYES &&
        !SaveShown(dialog, st, false))
        return;  // not saved: the edits stay on screen
    SetRememberedMicrophoneCompensation(SelectedCompensation(dialog, IDC_MC_LIST));
    CloseMicDialog(dialog, 1);
}

void OnDifference(HWND dialog, MicDialog& st) {
    CurveDifference d;
    if (!RunCurveDifference(dialog, d)) return;
    if (!st.hasTable) {
        // The new table is a new file.
        HWND list = GetDlgItem(dialog, IDC_MC_LIST);
        const int index = int(SendMessageA(list, CB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(kNewCompensationItem)));
        if (index >= 0) st.selection = index;
        SendMessageA(list, CB_SETCURSEL, WPARAM(st.selection), 0);
        st.path.clear();
    }
    st.editor.SetCurve(std::move(d.curve));
    st.editor.SetModified(true);
    st.hasTable = true;
    st.graph.range = EditorRangeFor(st.editor.Curve());
    EnableEditing(dialog, true);
    InvalidateGraph(dialog);
    Ask(dialog, kStrSensitivity, MB_OK | MB_ICONINFORMATION,
        FormatStringId(kStrSensitivity, ScaledSensitivity(kReferenceSensitivity, d.levelRatio)));
}

void InitMicDialog(HWND dialog, MicDialog* st) {
    SetWindowLongPtrA(dialog, DWLP_USER, LONG_PTR(st));
    HWND graph = GetDlgItem(dialog, IDC_MC_GRAPH);
    GetWindowRect(graph, &st->graphRect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&st->graphRect), 2);
    st->graph.left = st->graphRect.left + kPlotLeft;
    st->graph.top = st->graphRect.top + kPlotTop;
    st->graph.width = std::max(1L, st->graphRect.right - kPlotRight - st->graph.left);
    st->graph.height = std::max(1L, st->graphRect.bottom - kPlotBottom - st->graph.top);
    // A converted file the user takes as the default is selected at once.
    ConvertFoundCalibrations(dialog, nullptr);
    st->selection = FillList(GetDlgItem(dialog, IDC_MC_LIST), CompensationListNames(ProgramFolder(), false, true),
                             RememberedMicrophoneCompensation());
    LoadSelection(dialog, *st);
}

INT_PTR CALLBACK MicDialogProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
    MicDialog* st = StateOf(dialog);
    switch (msg) {
        case WM_INITDIALOG: InitMicDialog(dialog, reinterpret_cast<MicDialog*>(lp)); return TRUE;
        case WM_DRAWITEM:
            if (st && wp == IDC_MC_GRAPH) {
                PaintGraph(dialog, *reinterpret_cast<const DRAWITEMSTRUCT*>(lp), *st);
                return TRUE;
            }
            break;
        case WM_LBUTTONDOWN: {
            const int x = GET_X_LPARAM(lp), y = GET_Y_LPARAM(lp);
            if (!st || !st->hasTable || !st->graph.Contains(x, y)) break;
            if (st->editor.Press(st->graph, x, y) >= 0) {
                SetCapture(dialog);
                InvalidateGraph(dialog);
            }
            ShowValue(dialog, st->graph, x, y);
            return TRUE;
        }
        case WM_MOUSEMOVE: {
            if (!st) break;
            const int x = GET_X_LPARAM(lp), y = GET_Y_LPARAM(lp);
            if (st->graph.Contains(x, y)) ShowValue(dialog, st->graph, x, y);
            if (st->editor.Dragged() >= 0 && (wp & MK_LBUTTON) && st->editor.DragTo(st->graph, x, y))
                InvalidateGraph(dialog);
            return TRUE;
        }
        case WM_LBUTTONUP:
            if (st) st->editor.Release();
            if (GetCapture() == dialog) ReleaseCapture();
            return TRUE;
        case WM_CAPTURECHANGED:
            if (st) st->editor.Release();
            return TRUE;
        case WM_RBUTTONDOWN:
            if (st && st->hasTable && st->editor.DeleteAt(st->graph, GET_X_LPARAM(lp), GET_Y_LPARAM(lp)))
                InvalidateGraph(dialog);
            return TRUE;
        case WM_COMMAND:
            if (!st) break;
            switch (LOWORD(wp)) {
                case IDC_MC_LIST:
                    if (HIWORD(wp) == CBN_SELCHANGE) OnSelectionChange(dialog, *st);
                    return TRUE;
                case IDC_MC_RESET:
                    if (st->hasTable && Ask(dialog, kStrZeroCurve, MB_OKCANCEL | MB_ICONQUESTION) == IDOK) {
                        st->editor.Reset();
                        InvalidateGraph(dialog);
                    }
                    return TRUE;
                case IDC_MC_RANGE:
                    st->graph.range = NextEditorRange(st->graph.range);
                    InvalidateGraph(dialog);
                    return TRUE;
                case IDC_MC_DIFFERENCE: OnDifference(dialog, *st); return TRUE;
                case IDC_MC_SAVE:
                    if (SaveShown(dialog, *st, st->path.empty()))
                        ExportMicCorrection(dialog, st->editor.Curve(), CompensationBaseName(st->path) + ".DAT");
                    return TRUE;
                case IDOK: OnOk(dialog, *st); return TRUE;
                case IDCANCEL: CloseMicDialog(dialog, 0); return TRUE;
                case IDHELP: {
                    const std::string& help = Shell().helpFile;
                    if (!help.empty() && GetFileAttributesA(help.c_str()) != INVALID_FILE_ATTRIBUTES)
                        WinHelpA(dialog, help.c_str(), HELP_FINDER, 0);
                    return TRUE;
                }
            }
            break;
        case WM_NCDESTROY:
            if (st) {
                SetWindowLongPtrA(dialog, DWLP_USER, 0);
                delete st;
            }
            break;
    }
    return FALSE;
}

}  // namespace

void SetCompensationUiHooks(const CompensationUiHooks& hooks) { g_hooks = hooks; }

int FillCompensationList(HWND dialog, int control, const char* current, bool secondary, bool offerNew) {
    HWND list = GetDlgItem(dialog, control);
    if (!list) return -1;
    if (!secondary) ConvertFoundCalibrations(dialog, nullptr);
    return FillList(list, CompensationListNames(ProgramFolder(), secondary, offerNew), current ? current : "");
}

std::string SelectedCompensation(HWND dialog, int control) {
    HWND list = GetDlgItem(dialog, control);
    if (!list) return {};
    const int index = CurrentIndex(list);
    return index < 0 ? std::string() : CompensationOfListItem(ItemText(list, index));
}

int SaveCompensation(HWND owner, std::string& path, const CompensationCurve& curve, bool ask) {
    if (CompensationEntryCount(curve) == 0) return 0;
    std::string target = path;
    if (target.empty() || ask) {
        std::string chosen = target.empty() ? InProgramFolder(ProgramFolder(), kDefaultCompensationName) : target;
        if (!ChoosePath(owner, kSaveTitle, kCompensationFilter, chosen)) return 0;
        target = WithExtension(chosen, kMicrophoneExtension);
    }
    Status st;
    if (!SaveCompensation(target, curve, &st)) {
        if (!st.ok()) Ask(owner, st.stringId, MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    path = target;
    return 1;
}

int ExportMicCorrection(HWND owner, const CompensationCurve& curve, const std::string& defaultName) {
    if (CompensationEntryCount(curve) == 0) return 0;
    if (Ask(owner, kStrExportQuestion, MB_YESNO | MB_ICONQUESTION) != IDYES) return 0;
    std::string path = InProgramFolder(ProgramFolder(), defaultName.c_str());
    if (!ChoosePath(owner, kExportTitle, kExportFilter, path)) return 0;
    Status st;
    if (!ExportMicCorrection(WithExtension(path, ".DAT"), curve, &st)) {
        if (!st.ok()) Ask(owner, st.stringId, MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    return 1;
}

int ConvertFoundCalibrations(HWND owner, std::string* lastName) {
    const std::string folder = ProgramFolder();
    if (folder.empty()) return 0;
    const CalibrationConversion r = ConvertFoundCalibrations(folder);
    for (const std::string& name : r.failed)
        if (ReportedFailures().insert(folder + "\\" + name).second)
            Ask(owner, kStrCouldntConvert, MB_OK | MB_ICONEXCLAMATION,
                FormatStringId(kStrCouldntConvert, name.c_str()));
    const int n = int(r.converted.size());
    if (n == 1) {
        if (Ask(owner, kStrUseNewOne, MB_YESNO | MB_ICONQUESTION,
                FormatStringId(kStrUseNewOne, r.converted[0].c_str())) == IDYES)
            SetRememberedMicrophoneCompensation(r.converted[0]);
    } else if (n > 1) {
        Ask(owner, kStrFoundMany, MB_OK | MB_ICONINFORMATION, FormatStringId(kStrFoundMany, n));
    }
    if (lastName && n > 0) *lastName = r.converted.back();
    return n;
}

int OpenMicrophoneCompensationDialog(HWND owner) {
    auto* st = new MicDialog;
    const INT_PTR r =
        DialogBoxParamA(Shell().instance, MAKEINTRESOURCEA(DLG_MIC_COMPENSATION), owner, MicDialogProc, LPARAM(st));
    if (r == -1) delete st;  // the dialog never existed
    return r == 1 ? 1 : 0;
}

HWND CreateMicrophoneCompensationDialog(HWND owner) {
    auto* st = new MicDialog;
    st->modeless = true;
    HWND dialog =
        CreateDialogParamA(Shell().instance, MAKEINTRESOURCEA(DLG_MIC_COMPENSATION), owner, MicDialogProc, LPARAM(st));
    if (!dialog) delete st;
    return dialog;
}

}  // namespace srx
