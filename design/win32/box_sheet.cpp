// The "Box Design" property sheet: pages "Global", "Closed", "Vented" and
// "Bandpass" over a working copy of one design slot, on a thread of its
// own. Apply on the page in front validates it (design/box_pages) and
// commits on the frame's thread; OK commits when the sheet has closed.
#include "design/win32/box_sheet.h"

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/win32/analysis_commands.h"
#include "app/win32/shell.h"
#include "design/alignment_file.h"
#include "design/box_design.h"
#include "design/box_pages.h"
#include "design/design_slot.h"
#include "design/speaker_unit.h"
#include "dsp/numeric.h"
#include "resources/box_sheet_ids.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"

namespace srx {

namespace {

constexpr int kStrVentArea = 5563;
constexpr int kStrVentDia = 5564;
constexpr int kStrBoxSheetTitle = 5565;
constexpr int kStrCavityFirst = 5566;  // "None...", "Small Car", "Medium Car", "Van", "Free"

struct Sheet {
    int slot = 0;
    HWND frame = nullptr;
    SpeakerUnit unit;
    BoxDesign box;
    bool ventAsDiameter[4] = {};
    std::vector<VentedAlignment> vented;
};

std::atomic<HWND> g_sheet{nullptr};
void (*g_observer)(HWND, int) = nullptr;

Sheet* SheetOf(HWND page) { return reinterpret_cast<Sheet*>(GetWindowLongPtrA(page, DWLP_USER)); }

double Typed(HWND page, int id, double scale = 1) { return ReadPositiveField(page, id, 1e12) / scale; }

void Show(HWND page, int id, double v, int decimals, double scale = 1) {
    char text[64] = "";
    if (std::isfinite(v) && v > 0) std::snprintf(text, sizeof text, "%.*f", decimals, v * scale);
    SetDlgItemTextA(page, id, text);
}

SpeakerUnit EffectiveOf(const Sheet& s, HWND page) {
    SpeakerUnit eff = s.unit;
    const int units = int(GetDlgItemInt(page, IDC_BX_UNITS, nullptr, FALSE));
    SpeakerUnit out;
    return EffectiveUnit(s.unit, units, IsDlgButtonChecked(page, IDC_BX_ISO) == BST_CHECKED, out) ? out : eff;
}


int FilterOrder(HWND page) {
    const LRESULT i = SendDlgItemMessageA(page, IDC_BX_FORDER, CB_GETCURSEL, 0, 0);
    return i >= 0 && i <= 3 ? int(i) : 0;
}

// ---- Vent field: area in cm² or diameter in cm ------------------------------

double TypedVentArea(const Sheet& s, HWND page, int pageIndex) {
    const double v = Typed(page, IDC_BX_VENT, 100);  // cm -> m, or cm² -> m² below
    if (!(v > 0)) return 0;
    return s.ventAsDiameter[pageIndex] ? kPi * v * v / 4 : v / 100;
}

void ShowVent(const Sheet& s, HWND page, int pageIndex, double area) {
    SetDlgItemTextA(page, IDC_BX_VENT_LABEL, StringText(s.ventAsDiameter[pageIndex] ? kStrVentDia : kStrVentArea));
    if (s.ventAsDiameter[pageIndex]) Show(page, IDC_BX_VENT, std::sqrt(4 * area / kPi), 2, 100);
    else Show(page, IDC_BX_VENT, area, 2, 10000);
}

// ---- Filling the pages ------------------------------------------------------------

void FillCommon(const Sheet& s, HWND page) {
    SendDlgItemMessageA(page, IDC_BX_UNITS_SPIN, UDM_SETRANGE32, 1, 32);
    SetDlgItemInt(page, IDC_BX_UNITS, unsigned(s.box.units < 1 ? 1 : s.box.units), FALSE);
    CheckDlgButton(page, IDC_BX_ISO, s.box.isobaric ? BST_CHECKED : BST_UNCHECKED);
    static const char* const kOrders[] = {"None", "1:st order", "2:nd order", "3:rd order"};
    for (const char* o : kOrders) SendDlgItemMessageA(page, IDC_BX_FORDER, CB_ADDSTRING, 0, LPARAM(o));
    const bool bandpass = s.box.boxType == kBandpassBox;
    SendDlgItemMessageA(page, IDC_BX_FORDER, CB_SETCURSEL, bandpass ? 0 : s.box.filterOrder, 0);
    if (!bandpass) {
        Show(page, IDC_BX_FFREQ, s.box.filterFreq, 2);
        if (s.box.filterDamping > 0) Show(page, IDC_BX_FQ, 1 / s.box.filterDamping, 4);
    }
}

void FillClosed(Sheet& s, HWND page) {
    FillCommon(s, page);
    const SpeakerUnit eff = EffectiveOf(s, page);
    for (const ClosedAlignment& a : ClosedAlignmentsFor(QtsOf(eff)))
        SendDlgItemMessageA(page, IDC_BX_ALIGN, CB_ADDSTRING, 0, LPARAM(a.name));
    if (SendDlgItemMessageA(page, IDC_BX_ALIGN, CB_GETCOUNT, 0, 0) == 0)
        SendDlgItemMessageA(page, IDC_BX_ALIGN, CB_ADDSTRING, 0, LPARAM(StringText(kStrCavityFirst)));
    if (s.box.boxType == kClosedBox && s.box.vb > 0) {
        const BoxRatios r = RatiosOf(eff, s.box);
        Show(page, IDC_BX_A, r.a, 4);
        Show(page, IDC_BX_QTC, r.qtc, 4);
        Show(page, IDC_BX_FC, r.fc, 2);
        Show(page, IDC_BX_VB, s.box.vb, 2, 1000);
        Show(page, IDC_BX_STUFF, s.box.stuffing, 1);
    }
}

void FillVented(Sheet& s, HWND page) {
    FillCommon(s, page);
    const SpeakerUnit eff = EffectiveOf(s, page);
    s.vented = VentedAlignmentsFor(Shell().programFolder + "Alignments", QtsOf(eff));
    for (const VentedAlignment& a : s.vented)
        SendDlgItemMessageA(page, IDC_BX_ALIGN, CB_ADDSTRING, 0, LPARAM(a.name.c_str()));
    SetDlgItemInt(page, IDC_BX_VENTS, unsigned(s.box.vents < 1 ? 1 : s.box.vents), FALSE);
    if (s.box.boxType == kVentedBox) {
        const BoxRatios r = RatiosOf(eff, s.box);
        Show(page, IDC_BX_A, r.a, 4);
        Show(page, IDC_BX_H, r.h, 4);
        Show(page, IDC_BX_QL, s.box.ql, 2);
        Show(page, IDC_BX_VB, s.box.vb, 2, 1000);
        Show(page, IDC_BX_FB, s.box.fb, 2);
        Show(page, IDC_BX_LV, s.box.further, 2, 100);
    }
    ShowVent(s, page, 2, s.box.boxType == kVentedBox ? s.box.sv : 0);
}

void FillBandpass(Sheet& s, HWND page) {
    SendDlgItemMessageA(page, IDC_BX_UNITS_SPIN, UDM_SETRANGE32, 1, 32);
    SetDlgItemInt(page, IDC_BX_UNITS, unsigned(s.box.units < 1 ? 1 : s.box.units), FALSE);
    CheckDlgButton(page, IDC_BX_ISO, s.box.isobaric ? BST_CHECKED : BST_UNCHECKED);
    SendDlgItemMessageA(page, IDC_BX_TYPE, CB_ADDSTRING, 0, LPARAM("2:nd order"));
    SendDlgItemMessageA(page, IDC_BX_TYPE, CB_ADDSTRING, 0, LPARAM("3:rd order"));
    const bool mine = s.box.boxType == kBandpassBox;
    SendDlgItemMessageA(page, IDC_BX_TYPE, CB_SETCURSEL, mine && s.box.filterOrder == 3 ? 1 : 0, 0);
    const SpeakerUnit eff = EffectiveOf(s, page);
    for (const BandpassAlignment& a : BandpassAlignmentsFor(QtsOf(eff)))
        SendDlgItemMessageA(page, IDC_BX_ALIGN, CB_ADDSTRING, 0, LPARAM(a.name));
    SetDlgItemInt(page, IDC_BX_VENTS, unsigned(s.box.vents < 1 ? 1 : s.box.vents), FALSE);
    if (mine) {
        const BoxRatios r = RatiosOf(eff, s.box);
        Show(page, IDC_BX_A, r.a, 4);
        Show(page, IDC_BX_QTC, r.qtc, 4);
        Show(page, IDC_BX_H, r.h, 4);
        Show(page, IDC_BX_QL, s.box.ql, 2);
        Show(page, IDC_BX_VR, s.box.vr, 2, 1000);
        Show(page, IDC_BX_VB, s.box.vb, 2, 1000);
        Show(page, IDC_BX_FB, s.box.fb, 2);
        Show(page, IDC_BX_LV, s.box.further, 2, 100);
        Show(page, IDC_BX_STUFF, s.box.stuffing, 1);
    }
    ShowVent(s, page, 3, mine ? s.box.sv : 0);
}

void FillGlobal(Sheet& s, HWND page) {
    SetDlgItemTextA(page, IDC_BG_TITLE, s.box.title.c_str());
    SendDlgItemMessageA(page, IDC_BG_TITLE, EM_LIMITTEXT, 79, 0);
    CheckDlgButton(page, IDC_BG_BAFFLE, (s.box.globalFlags & 1) ? BST_CHECKED : BST_UNCHECKED);
    Show(page, IDC_BG_WIDTH, s.box.baffleWidth, 1, 1000);
    Show(page, IDC_BG_HEIGHT, s.box.baffleHeight, 1, 1000);
    for (int i = 0; i < 5; ++i)
        SendDlgItemMessageA(page, IDC_BG_CAVITY, CB_ADDSTRING, 0, LPARAM(StringText(kStrCavityFirst + i)));
    const int size = s.box.cavitySize >= 0 && s.box.cavitySize <= 4 ? int(s.box.cavitySize) : 0;
    SendDlgItemMessageA(page, IDC_BG_CAVITY, CB_SETCURSEL, WPARAM(size), 0);
    Show(page, IDC_BG_CAVF3, s.box.cavityF3, 2);
    Show(page, IDC_BG_CAVQ, s.box.cavityQ, 3);
}

// ---- Choices -----------------------------------------------------------------------

void AlignmentChosen(Sheet& s, HWND page, int pageIndex) {
    const LRESULT i = SendDlgItemMessageA(page, IDC_BX_ALIGN, CB_GETCURSEL, 0, 0);
    if (i < 0) return;
    const SpeakerUnit eff = EffectiveOf(s, page);
    const double qts = QtsOf(eff);
    if (pageIndex == 1) {
        const auto list = ClosedAlignmentsFor(qts);
        if (size_t(i) >= list.size()) return;
        const double qtc = list[size_t(i)].qtc;
        Show(page, IDC_BX_A, std::pow(qtc / qts, 2) - 1, 4);
        Show(page, IDC_BX_QTC, qtc, 4);
        Show(page, IDC_BX_FC, qtc * eff.fs / qts, 2);
    } else if (pageIndex == 2) {
        if (size_t(i) >= s.vented.size()) return;
        const VentedAlignment& a = s.vented[size_t(i)];
        Show(page, IDC_BX_A, a.alpha, 4);
        Show(page, IDC_BX_H, a.h, 4);
        Show(page, IDC_BX_QL, a.ql, 2);
    } else {
        const auto list = BandpassAlignmentsFor(qts);
        if (size_t(i) >= list.size()) return;
        const BandpassAlignment& a = list[size_t(i)];
        Show(page, IDC_BX_A, a.aT, 4);
        Show(page, IDC_BX_QTC, a.qtc, 4);
        Show(page, IDC_BX_H, a.hc, 4);
        SendDlgItemMessageA(page, IDC_BX_TYPE, CB_SETCURSEL, a.order == 3 ? 1 : 0, 0);
    }
}

// ---- Apply ---------------------------------------------------------------------------

FilterInput FilterOf(HWND page) { return {FilterOrder(page), Typed(page, IDC_BX_FFREQ), Typed(page, IDC_BX_FQ)}; }

Status ApplyPage(Sheet& s, HWND page, int pageIndex) {
    const int units = int(GetDlgItemInt(page, IDC_BX_UNITS, nullptr, FALSE));
    const bool iso = IsDlgButtonChecked(page, IDC_BX_ISO) == BST_CHECKED;
    const bool practical = IsDlgButtonChecked(page, IDC_BX_PRACTICAL) == BST_CHECKED;
    const int vents = int(GetDlgItemInt(page, IDC_BX_VENTS, nullptr, FALSE));
    switch (pageIndex) {
        case 1: {
            ClosedPageInput in;
            in.title = s.box.title, in.units = units, in.isobaric = iso, in.practicalFirst = practical;
            in.a = Typed(page, IDC_BX_A), in.qtc = Typed(page, IDC_BX_QTC), in.fc = Typed(page, IDC_BX_FC);
            in.vb = Typed(page, IDC_BX_VB, 1000), in.stuffing = Typed(page, IDC_BX_STUFF);
            in.filter = FilterOf(page);
            return ApplyClosedPage(s.unit, in, s.box);
        }
        case 2: {
            VentedPageInput in;
            in.title = s.box.title, in.units = units, in.isobaric = iso, in.practicalFirst = practical;
            in.a = Typed(page, IDC_BX_A), in.h = Typed(page, IDC_BX_H), in.ql = Typed(page, IDC_BX_QL);
            in.vb = Typed(page, IDC_BX_VB, 1000), in.fb = Typed(page, IDC_BX_FB);
            in.sv = TypedVentArea(s, page, 2), in.vents = vents, in.lv = Typed(page, IDC_BX_LV, 100);
            in.filter = FilterOf(page);
            return ApplyVentedPage(s.unit, in, s.box);
        }
        case 3: {
            BandpassPageInput in;
            in.title = s.box.title, in.units = units, in.isobaric = iso;
            in.aT = Typed(page, IDC_BX_A), in.qtc = Typed(page, IDC_BX_QTC), in.hc = Typed(page, IDC_BX_H);
            in.ql = Typed(page, IDC_BX_QL);
            in.order = SendDlgItemMessageA(page, IDC_BX_TYPE, CB_GETCURSEL, 0, 0) == 1 ? 3 : 2;
            in.vr = Typed(page, IDC_BX_VR, 1000), in.vf = Typed(page, IDC_BX_VB, 1000), in.fb = Typed(page, IDC_BX_FB);
            in.sv = TypedVentArea(s, page, 3), in.vents = vents, in.lv = Typed(page, IDC_BX_LV, 100);
            in.stuffing = Typed(page, IDC_BX_STUFF);
            return ApplyBandpassPage(s.unit, in, s.box);
        }
        default: {
            GlobalPageInput in;
            char title[80] = "";
            GetDlgItemTextA(page, IDC_BG_TITLE, title, sizeof title);
            in.title = title;
            in.baffleStep = IsDlgButtonChecked(page, IDC_BG_BAFFLE) == BST_CHECKED;
            in.width = Typed(page, IDC_BG_WIDTH, 1000), in.height = Typed(page, IDC_BG_HEIGHT, 1000);
            const LRESULT size = SendDlgItemMessageA(page, IDC_BG_CAVITY, CB_GETCURSEL, 0, 0);
            in.cavitySize = size >= 0 ? int(size) : 0;
            in.cavityF3 = Typed(page, IDC_BG_CAVF3), in.cavityQ = Typed(page, IDC_BG_CAVQ);
            ApplyGlobalPage(in, s.box);
            return Status::Ok();
        }
    }
}

// Hands the working box to the frame's thread, which commits it.
void Commit(const Sheet& s) {
    if (s.frame) SendMessageA(s.frame, UM_BOXCOMMIT, WPARAM(s.slot), reinterpret_cast<LPARAM>(&s.box));
}

template <int kPage>
INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wp, LPARAM lp) {
    Sheet* s = SheetOf(page);
    switch (message) {
        case WM_INITDIALOG: {
            s = reinterpret_cast<Sheet*>(reinterpret_cast<PROPSHEETPAGEA*>(lp)->lParam);
            SetWindowLongPtrA(page, DWLP_USER, reinterpret_cast<LONG_PTR>(s));
            if (kPage == 0) FillGlobal(*s, page);
            if (kPage == 1) FillClosed(*s, page);
            if (kPage == 2) FillVented(*s, page);
            if (kPage == 3) FillBandpass(*s, page);
            if (g_observer) g_observer(page, kPage);
            return TRUE;
        }
        case WM_COMMAND:
            if (!s) break;
            if (LOWORD(wp) == IDC_BX_ALIGN && HIWORD(wp) == CBN_SELCHANGE) AlignmentChosen(*s, page, kPage);
            if (LOWORD(wp) == IDC_BX_DIA && (kPage == 2 || kPage == 3)) {
                const double area = TypedVentArea(*s, page, kPage);
                s->ventAsDiameter[kPage] = !s->ventAsDiameter[kPage];
                ShowVent(*s, page, kPage, area);
            }
            if (HIWORD(wp) == EN_CHANGE || HIWORD(wp) == BN_CLICKED || HIWORD(wp) == CBN_SELCHANGE)
                PropSheet_Changed(GetParent(page), page);
            return TRUE;
        case WM_NOTIFY: {
            const auto* n = reinterpret_cast<NMHDR*>(lp);
            if (!s || n->code != PSN_APPLY) break;
            // The box pages apply only from the front: the page shown is the
            // box kind the user chose.
            HWND front = PropSheet_GetCurrentPageHwnd(GetParent(page));
            if (kPage != 0 && front != page) return TRUE;
            BoxDesign before = s->box;
            if (const Status st = ApplyPage(*s, page, kPage); !st) {
                s->box = before;
                ShowAnalysisMessage(page, st, MB_OK | MB_ICONEXCLAMATION);
                SetWindowLongPtrA(page, DWLP_MSGRESULT, PSNRET_INVALID_NOCHANGEPAGE);
                return TRUE;
            }
            // The Global page applies first; the page in front commits.
            if (kPage == 0 && front != page) return TRUE;
            if (!reinterpret_cast<PSHNOTIFY*>(lp)->lParam) Commit(*s);  // Apply; OK commits once closed
            SetWindowLongPtrA(page, DWLP_MSGRESULT, PSNRET_NOERROR);
            return TRUE;
        }
    }
    return FALSE;
}

DWORD WINAPI SheetThread(void* parameter) {
    Sheet* s = static_cast<Sheet*>(parameter);
    PROPSHEETPAGEA pages[4] = {};
    const int templates[4] = {DLG_BOX_GLOBAL, DLG_BOX_CLOSED, DLG_BOX_VENTED, DLG_BOX_BANDPASS};
    const DLGPROC procs[4] = {PageProc<0>, PageProc<1>, PageProc<2>, PageProc<3>};
    for (int i = 0; i < 4; ++i) {
        pages[i].dwSize = sizeof pages[i];
        pages[i].hInstance = Shell().instance ? Shell().instance : GetModuleHandleA(nullptr);
        pages[i].pszTemplate = MAKEINTRESOURCEA(templates[i]);
        pages[i].pfnDlgProc = procs[i];
        pages[i].lParam = reinterpret_cast<LPARAM>(s);
    }
    const std::string caption = FormatStringId(kStrBoxSheetTitle, s->slot + 1);
    PROPSHEETHEADERA header = {};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOCONTEXTHELP | PSH_USECALLBACK;
    header.hwndParent = nullptr;  // its own thread: the frame stays usable
    header.hInstance = pages[0].hInstance;
    header.pszCaption = caption.c_str();
    header.nPages = 4;
    header.nStartPage = UINT(BoxSheetStartPage(s->unit, s->box));
    header.ppsp = pages;
    header.pfnCallback = [](HWND sheet, UINT message, LPARAM) -> int {
        if (message == PSCB_INITIALIZED) g_sheet = sheet;
        return 0;
    };
    const INT_PTR result = PropertySheetA(&header);
    g_sheet = nullptr;
    if (result > 0) Commit(*s);
    if (s->frame) PostMessageA(s->frame, UM_BOXCOMMIT, WPARAM(s->slot), 0);  // closed: the slot is free again
    delete s;
    return 0;
}

}  // namespace

int OpenBoxDesignSheet(HWND frame, int slot) {
    if (HWND open = g_sheet.load()) {
        SetForegroundWindow(open);
        SetFocus(open);
        return 1;
    }
    if (slot < 0 || slot >= kDesignSlotCount) return 0;
    DesignSlot& d = DesignSlots()[slot];
    if (!(d.flags & kSlotHasUnit)) {
        ShowAnalysisMessage(frame, Status::Error(kStrNoUnitForBox), MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    auto* s = new Sheet;
    s->slot = slot;
    s->frame = frame;
    s->unit = DeserializeSpeakerUnit(d.unitParameters);
    // A slot without a box starts from the defaults, whatever its bytes.
    s->box = (d.flags & kSlotHasBox) ? DeserializeBoxDesign(d.boxParameters) : BoxDesign{};
    d.flags |= kSlotDialogOpen;
    HANDLE thread = CreateThread(nullptr, 32 * 1024, SheetThread, s, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!thread) {
        d.flags &= ~kSlotDialogOpen;
        delete s;
        ShowAnalysisMessage(frame, Status::Error(kStrNoThread), MB_OK | MB_ICONSTOP);
        return 0;
    }
    CloseHandle(thread);
    return 1;
}

HWND BoxDesignSheetWindow() { return g_sheet.load(); }

void SetBoxSheetObserver(void (*observer)(HWND page, int pageIndex)) { g_observer = observer; }

}  // namespace srx
