// The "Time-Window Settings" dialog of "Do FFT on Impulse Response": length,
// window start, start frequency, analysis window and microphone
// compensation of the transform. The rules live in
// measure/time_window_rules; this file moves them in and out of controls.
#include <windows.h>

#include <string>

#include "app/win32/fft_commands.h"
#include "app/win32/shell.h"
#include "dsp/compensation.h"
#include "dsp/numeric.h"
#include "measure/win32/compensation_ui.h"
#include "dsp/window.h"
#include "measure/measurement_settings.h"
#include "resources/time_window_ids.h"

namespace srx {

namespace {

constexpr int kMsDecimals = 4;
constexpr int kHzDecimals = 2;

void (*g_observer)(HWND) = nullptr;

struct DialogContext {
    TimeWindowDialogState state;
    TimeWindowChoice result;
};

DialogContext* ContextOf(HWND dialog) { return reinterpret_cast<DialogContext*>(GetWindowLongPtrA(dialog, DWLP_USER)); }

double FieldNumber(HWND dialog, int id) {
    char text[64] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return ParseDecimal(text);
}

void SetFieldNumber(HWND dialog, int id, double value, int decimals) {
    SetDlgItemTextA(dialog, id, FormatFieldNumber(value, decimals).c_str());
}

int CheckedMode(HWND dialog) {
    if (IsDlgButtonChecked(dialog, IDC_TW_MANUAL) == BST_CHECKED) return kTimeWindowManual;
    if (IsDlgButtonChecked(dialog, IDC_TW_DELAYFREE) == BST_CHECKED) return kTimeWindowDelayFree;
    return kTimeWindowNormal;
}

// "Start (ms)" belongs to Manual only.
void EnableStartField(HWND dialog) {
    const bool manual = CheckedMode(dialog) == kTimeWindowManual;
    EnableWindow(GetDlgItem(dialog, IDC_TW_START), manual);
    EnableWindow(GetDlgItem(dialog, IDC_TW_START_LABEL), manual);
}

void Fill(HWND dialog, const TimeWindowDialogState& s) {
    const TimeWindowChoice& c = s.choice;
    SetFieldNumber(dialog, IDC_TW_LENGTH, c.lengthMs, kMsDecimals);
    SetFieldNumber(dialog, IDC_TW_START, c.startMs, kMsDecimals);
    SetFieldNumber(dialog, IDC_TW_STARTFREQ, c.startFrequency, kHzDecimals);
    const int radio = c.mode == kTimeWindowManual      ? IDC_TW_MANUAL
                      : c.mode == kTimeWindowDelayFree ? IDC_TW_DELAYFREE
                                                       : IDC_TW_NORMAL;
    CheckRadioButton(dialog, IDC_TW_NORMAL, IDC_TW_MANUAL, radio);
    EnableStartField(dialog);
    EnableWindow(GetDlgItem(dialog, IDC_TW_STARTFREQ), s.startFrequencyEnabled);
    EnableWindow(GetDlgItem(dialog, IDC_TW_STARTFREQ_LABEL), s.startFrequencyEnabled);

    HWND windows = GetDlgItem(dialog, IDC_TW_WINDOW);
    for (int type = kWindowRectangular; type <= kWindowBlackmanHarris; ++type)
        SendMessageA(windows, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WindowTypeName(type)));
    SendMessageA(windows, CB_SETCURSEL, WPARAM(c.windowType), 0);

    FillCompensationList(dialog, IDC_TW_MICCOMP, c.compensation.c_str(), false);
    EnableWindow(GetDlgItem(dialog, IDC_TW_MICCOMP), s.compensationEnabled);
}

TimeWindowChoice Read(HWND dialog, const TimeWindowDialogState& s) {
    TimeWindowChoice c = s.choice;
    c.lengthMs = FieldNumber(dialog, IDC_TW_LENGTH);
    c.mode = CheckedMode(dialog);
    if (c.mode == kTimeWindowManual) c.startMs = FieldNumber(dialog, IDC_TW_START);
    // A disabled start frequency stands for "from 1 / length".
    c.startFrequency = s.startFrequencyEnabled ? FieldNumber(dialog, IDC_TW_STARTFREQ) : 0.0;
    const LRESULT type = SendDlgItemMessageA(dialog, IDC_TW_WINDOW, CB_GETCURSEL, 0, 0);
    if (type >= kWindowRectangular && type <= kWindowBlackmanHarris) c.windowType = int(type);
    // Without the list the record keeps the name it has.
    if (s.compensationEnabled) c.compensation = SelectedCompensation(dialog, IDC_TW_MICCOMP);
    return c;
}

void Accept(HWND dialog) {
    DialogContext* context = ContextOf(dialog);
    const TimeWindowChoice c = Read(dialog, context->state);
    switch (CheckTimeWindowChoice(c, context->state.durationMs, context->state.startFrequencyEnabled)) {
        case TimeWindowVerdict::Refuse: return;
        case TimeWindowVerdict::ExceedsRecord:
            ShowFftMessage(dialog, ExceedsRecordMessage(context->state.durationMs), MB_OK | MB_ICONEXCLAMATION);
            return;
        case TimeWindowVerdict::Accept: break;
    }
    context->result = c;
    EndDialog(dialog, IDOK);
}

INT_PTR CALLBACK TimeWindowProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_INITDIALOG: {
            SetWindowLongPtrA(dialog, DWLP_USER, lp);
            Fill(dialog, reinterpret_cast<DialogContext*>(lp)->state);
            if (g_observer) g_observer(dialog);
            return TRUE;
        }
        case WM_COMMAND:
            switch (LOWORD(wp)) {
                case IDC_TW_NORMAL:
                case IDC_TW_DELAYFREE:
                case IDC_TW_MANUAL:
                    if (HIWORD(wp) == BN_CLICKED) EnableStartField(dialog);
                    return TRUE;
                case IDOK: Accept(dialog); return TRUE;
                case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
                default: break;
            }
            break;
        default: break;
    }
    return FALSE;
}

}  // namespace

void SetTimeWindowDialogObserver(void (*observer)(HWND dialog)) { g_observer = observer; }

bool RunTimeWindowDialog(HWND owner, const TimeRecord& record, TimeWindowChoice* choice) {
    DialogContext context;
    const double storedStart = StoredStartFrequency(record, CurrentMeasurementSettings());
    context.state = InitialTimeWindowState(record, storedStart, CurrentAnalysisSettings().windowType);
    HINSTANCE instance = Shell().instance ? Shell().instance : GetModuleHandleA(nullptr);
    const INT_PTR r = DialogBoxParamA(instance, MAKEINTRESOURCEA(DLG_TIME_WINDOW), owner, TimeWindowProc,
                                      reinterpret_cast<LPARAM>(&context));
    if (r != IDOK) return false;
    if (choice) *choice = context.result;
    return true;
}

}  // namespace srx
