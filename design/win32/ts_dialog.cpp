// The "Thiele-Small Parameters" dialog. Numbers are shown in the units a
// data sheet uses (liter, cm², mm, m.H) and kept in SI units. A field the
// user leaves alone keeps the unit's exact value: the display rounds to four
// decimals, and reading that back would count as a change and reset the
// slot's box design.
#include "design/win32/ts_dialog.h"

#include <windows.h>

#include <cmath>
#include <cstring>
#include <string>

#include "app/win32/documents.h"
#include "app/win32/shell.h"
#include "dsp/numeric.h"
#include "resources/string_ids.h"
#include "resources/ts_dialog_ids.h"

namespace srx {

namespace {

constexpr int kDecimals = 4;
constexpr UINT kMsgComplete = WM_APP + 51;  // posted when Tab leaves a field
constexpr DWORD kHelpTopic = 36;

void (*g_observer)(HWND) = nullptr;

// The numeric fields, the scale from SI to what is shown, and where the
// value lives in the unit (null for the derived Qts and Vd).
struct Field {
    int id;
    double scale;
    double SpeakerUnit::*member;
};
constexpr Field kFields[] = {
    {IDC_TS_FS, 1.0, &SpeakerUnit::fs},       {IDC_TS_VAS, 1000.0, &SpeakerUnit::vas},
    {IDC_TS_QMS, 1.0, &SpeakerUnit::qms},     {IDC_TS_QES, 1.0, &SpeakerUnit::qes},
    {IDC_TS_QTS, 1.0, nullptr},               {IDC_TS_SD, 10000.0, &SpeakerUnit::sd},
    {IDC_TS_XMAX, 1000.0, &SpeakerUnit::xmax}, {IDC_TS_VD, 1000.0, nullptr},
    {IDC_TS_RE, 1.0, &SpeakerUnit::re},       {IDC_TS_LE, 1000.0, &SpeakerUnit::le},
};

const Field& FieldOf(int id) {
    for (const Field& f : kFields)
        if (f.id == id) return f;
    return kFields[0];
}

struct Context {
    SpeakerUnit original;
    SpeakerUnit working;  // what the untouched fields stand for
    SpeakerUnit* result;
    WNDPROC editProc = nullptr;
};

Context* ContextOf(HWND dialog) { return reinterpret_cast<Context*>(GetWindowLongPtrA(dialog, DWLP_USER)); }

bool Modified(HWND dialog, int id) { return SendDlgItemMessageA(dialog, id, EM_GETMODIFY, 0, 0) != 0; }

// A typed number in SI units; what is not a finite number above zero
// counts as not given.
double ReadField(HWND dialog, int id) {
    char text[64] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    const double v = ParseDecimal(text) / FieldOf(id).scale;
    return std::isfinite(v) && v > 0 ? v : 0.0;
}

void ShowField(HWND dialog, int id, double si, bool markModified) {
    const std::string text = si > 0 && std::isfinite(si) ? FormatTrimmedNumber(si * FieldOf(id).scale, kDecimals) : "";
    SetDlgItemTextA(dialog, id, text.c_str());
    // A value the dialog worked out counts as entered.
    SendDlgItemMessageA(dialog, id, EM_SETMODIFY, markModified, 0);
}

std::string ReadText(HWND dialog, int id) {
    char text[160] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

void Fill(HWND dialog, const SpeakerUnit& u) {
    SetDlgItemTextA(dialog, IDC_TS_MANUFACTURER, u.manufacturer.c_str());
    SetDlgItemTextA(dialog, IDC_TS_MODEL, u.model.c_str());
    SetDlgItemTextA(dialog, IDC_TS_NOTES, u.notes.c_str());
    for (const Field& f : kFields)
        if (f.member) ShowField(dialog, f.id, u.*f.member, false);
    ShowField(dialog, IDC_TS_QTS, u.qms > 0 && u.qes > 0 ? u.qms * u.qes / (u.qms + u.qes) : 0, false);
    ShowField(dialog, IDC_TS_VD, u.sd * u.xmax, false);
}

// The working copy: the unit that came in with every edited field read.
SpeakerUnit ReadUnit(HWND dialog, const SpeakerUnit& from) {
    SpeakerUnit u = from;
    u.manufacturer = ReadText(dialog, IDC_TS_MANUFACTURER);
    u.model = ReadText(dialog, IDC_TS_MODEL);
    u.notes = ReadText(dialog, IDC_TS_NOTES);
    for (const Field& f : kFields)
        if (f.member && Modified(dialog, f.id)) u.*f.member = ReadField(dialog, f.id);
    return u;
}

// The derived Qts and Vd as the user sees them (typed or shown).
void ReadDerived(HWND dialog, double& qts, double& vd) {
    qts = ReadField(dialog, IDC_TS_QTS);
    vd = ReadField(dialog, IDC_TS_VD);
}

// Tab: the first rule of each triangle that applies fills its field.
void CompleteTriangles(HWND dialog) {
    double qms = ReadField(dialog, IDC_TS_QMS), qes = ReadField(dialog, IDC_TS_QES), qts = ReadField(dialog, IDC_TS_QTS);
    static const int kQ[] = {0, IDC_TS_QTS, IDC_TS_QES, IDC_TS_QMS};
    if (int filled = CompleteQTriangle(qms, qes, qts))
        ShowField(dialog, kQ[filled], filled == 1 ? qts : filled == 2 ? qes : qms, true);
    double sd = ReadField(dialog, IDC_TS_SD), xmax = ReadField(dialog, IDC_TS_XMAX), vd = ReadField(dialog, IDC_TS_VD);
    static const int kX[] = {0, IDC_TS_VD, IDC_TS_XMAX, IDC_TS_SD};
    if (int filled = CompleteExcursionTriangle(sd, xmax, vd))
        ShowField(dialog, kX[filled], filled == 1 ? vd : filled == 2 ? xmax : sd, true);
}

bool SameRecord(const SpeakerUnit& a, const SpeakerUnit& b) {
    return SerializeSpeakerUnit(a) == SerializeSpeakerUnit(b);
}

// OK: false keeps the dialog open.
bool Accept(HWND dialog, Context& c) {
    SpeakerUnit u = ReadUnit(dialog, c.working);
    double qts = 0, vd = 0;
    ReadDerived(dialog, qts, vd);
    CompleteQTriangle(u.qms, u.qes, qts);
    CompleteExcursionTriangle(u.sd, u.xmax, vd);
    if (!HasRequiredParameters(u)) {
        c.working = u;
        Fill(dialog, u);  // shows what was derived
        return false;
    }
    if (!(u.xmax > 0) &&
        AskDocument(dialog, kStrXmaxMissing, MB_YESNO | MB_ICONEXCLAMATION) == IDYES) {
        c.working = u;
        Fill(dialog, u);
        HWND xmax = GetDlgItem(dialog, IDC_TS_XMAX);
        PostMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(xmax), TRUE);
        return false;
    }
    if (SameRecord(u, c.original)) {
        *c.result = c.original;
        return true;
    }
    // A changed unit is a new entry: the reserved values start afresh.
    u.reserved = SpeakerUnit{}.reserved;
    *c.result = u;
    return true;
}

// The edits hand Tab to the dialog manager as usual; the dialog completes
// the triangles once the focus has moved.
LRESULT CALLBACK EditProc(HWND edit, UINT msg, WPARAM wp, LPARAM lp) {
    HWND dialog = GetParent(edit);
    Context* c = ContextOf(dialog);
    if (msg == WM_GETDLGCODE && lp) {
        const MSG* m = reinterpret_cast<const MSG*>(lp);
        if (m->message == WM_KEYDOWN && m->wParam == VK_TAB) PostMessageA(dialog, kMsgComplete, 0, 0);
    }
    return c && c->editProc ? CallWindowProcA(c->editProc, edit, msg, wp, lp) : DefWindowProcA(edit, msg, wp, lp);
}

void CentreOn(HWND dialog, HWND owner) {
    RECT o{}, d{};
    if (!owner || !GetWindowRect(owner, &o) || !GetWindowRect(dialog, &d)) return;
    const int w = d.right - d.left, h = d.bottom - d.top;
    SetWindowPos(dialog, nullptr, o.left + ((o.right - o.left) - w) / 2, o.top + ((o.bottom - o.top) - h) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK Proc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_INITDIALOG: {
            auto* c = reinterpret_cast<Context*>(lp);
            SetWindowLongPtrA(dialog, DWLP_USER, lp);
            SendDlgItemMessageA(dialog, IDC_TS_MANUFACTURER, EM_LIMITTEXT, 79, 0);
            SendDlgItemMessageA(dialog, IDC_TS_MODEL, EM_LIMITTEXT, 79, 0);
            SendDlgItemMessageA(dialog, IDC_TS_NOTES, EM_LIMITTEXT, 159, 0);
            for (const Field& f : kFields) {
                HWND edit = GetDlgItem(dialog, f.id);
                SendMessageA(edit, EM_LIMITTEXT, 30, 0);
                const auto old = reinterpret_cast<WNDPROC>(
                    SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&EditProc)));
                if (!c->editProc) c->editProc = old;
            }
            Fill(dialog, c->original);
            CentreOn(dialog, GetWindow(dialog, GW_OWNER));
            if (g_observer) g_observer(dialog);
            return TRUE;
        }
        case kMsgComplete:
            CompleteTriangles(dialog);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wp)) {
                case IDOK:
                    if (Context* c = ContextOf(dialog); c && Accept(dialog, *c)) EndDialog(dialog, IDOK);
                    return TRUE;
                case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
                case IDHELP: ShowHelpTopic(dialog, kHelpTopic); return TRUE;
            }
            break;
    }
    return FALSE;
}

}  // namespace

bool RunThieleSmallDialog(HWND owner, SpeakerUnit& unit) {
    Context c;
    c.original = c.working = unit;
    SpeakerUnit result = unit;
    c.result = &result;
    const INT_PTR r = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(DLG_TS_PARAMETERS), owner, &Proc,
                                      reinterpret_cast<LPARAM>(&c));
    if (r != IDOK || SameRecord(result, unit)) return false;
    unit = result;
    return true;
}

void SetThieleSmallDialogObserver(void (*observer)(HWND dialog)) { g_observer = observer; }

}  // namespace srx
