// What the MLS, gated-sine and sweep dialogs do alike: their messages,
// controls, result windows and nested prompts.
#include "measure/win32/measurement_dialog.h"

#include <commctrl.h>

#include <memory>

#include "app/settings.h"
#include "app/win32/commands_internal.h"
#include "app/win32/documents.h"
#include "app/win32/shell.h"
#include "data/native_files.h"
#include "data/records.h"
#include "resources/mls_dialog_ids.h"
#include "resources/string_ids.h"

namespace srx {

namespace {

MeasurementMessageHook g_messageHook = nullptr;

constexpr int kTitleChars = 200;  // leaves room for "Frequency Response: " in a record's 260

// A prompt of a dialog: the dialog notes it as its nested window before its
// first message is handled, so that a close arriving meanwhile can end it.
struct NestedStart {
    DLGPROC procedure;
    MeasurementDialog* self;
};

INT_PTR CALLBACK NestedProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        auto* start = reinterpret_cast<NestedStart*>(lp);
        if (start->self) start->self->SetNested(w);
        SetWindowLongPtrA(w, DWLP_USER, LONG_PTR(start->procedure));
    }
    auto procedure = reinterpret_cast<DLGPROC>(GetWindowLongPtrA(w, DWLP_USER));
    return procedure ? procedure(w, msg, wp, lp) : FALSE;
}

// "Keep this measurement ?"
INT_PTR CALLBACK KeepProc(HWND dialog, UINT message, WPARAM wp, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: return TRUE;
        case WM_COMMAND:
            // No Escape: a result is not thrown away by accident.
            if (LOWORD(wp) == IDYES || LOWORD(wp) == IDNO) {
                if (IsDlgButtonChecked(dialog, IDC_KEEP_DONT_ASK) == BST_CHECKED) Notices().keepMeasurement = false;
                EndDialog(dialog, LOWORD(wp));
                return TRUE;
            }
            return FALSE;
    }
    return FALSE;
}

HINSTANCE Instance() { return Shell().instance ? Shell().instance : GetModuleHandleA(nullptr); }

}  // namespace

void SetMeasurementMessageHook(MeasurementMessageHook hook) { g_messageHook = hook; }

bool AskKeepMeasurement(HWND owner) {
    if (!Notices().keepMeasurement) return true;
    return DialogBoxParamA(Instance(), MAKEINTRESOURCEA(DLG_KEEP_MEASUREMENT), owner, KeepProc, 0) != IDNO;
}

void LetMessagesThrough() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(int(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

int MeasurementDialog::ShowMessage(const Status& message, UINT flags) {
    return ShowStatus(dialog_, message, flags, g_messageHook);
}

void MeasurementDialog::EnableButtons(bool on) {
    for (int id : {IDOK, IDCANCEL, IDHELP, ids_.title}) Enable(id, on);
}

void MeasurementDialog::ShowTitleAndInformation(const std::string& information) {
    SetDlgItemTextA(dialog_, ids_.info, information.c_str());
    SendDlgItemMessageA(dialog_, ids_.title, EM_LIMITTEXT, kTitleChars, 0);
    SetDlgItemTextA(dialog_, ids_.title, "");
}

void MeasurementDialog::SetProgressRange(int range) {
    SendDlgItemMessageA(dialog_, ids_.progress, PBM_SETRANGE32, 0, range);
    SetProgress(0);
}

void MeasurementDialog::SetProgress(int position) {
    progress_ = position;
    SendDlgItemMessageA(dialog_, ids_.progress, PBM_SETPOS, WPARAM(position), 0);
}

std::string MeasurementDialog::Title(int32_t curveKind, const char* fallback) {
    char text[kTitleChars + 1] = "";
    GetDlgItemTextA(dialog_, ids_.title, text, sizeof text);
    std::string title = text;
    while (!title.empty() && (title.back() == ' ' || title.back() == '\t')) title.pop_back();
    if (!title.empty()) return title;
    std::vector<std::string> titles;
    for (HWND w : DocumentWindows()) titles.push_back(WindowTitle(w));
    const std::unique_ptr<Measurement> probe = NewMeasurement(curveKind);
    return probe ? DefaultMeasurementTitle(*probe, titles) : std::string(fallback);
}

HWND MeasurementDialog::CreateResultWindow(int kind, void* data, int titleId, const std::string& title,
                                           std::vector<MadeWindow>& made) {
    HWND frame = Shell().frame;
    HWND w = frame ? HWND(SendMessageA(frame, UM_CREATEDOC, WPARAM(kind), LPARAM(data))) : nullptr;
    if (!w) return nullptr;
    made.push_back({w, kind, data});
    SetWindowTextA(w, DocumentTitle(DocumentPlan{kind, titleId}, title).c_str());
    MakeTitleUnique(w);
    InvalidateRect(w, nullptr, TRUE);
    return w;
}

void MeasurementDialog::CloseWindows(const std::vector<MadeWindow>& windows) {
    HWND client = Shell().client;
    for (const MadeWindow& w : windows)
        if (client && IsWindow(w.window) && DocumentKindOf(w.window) == w.kind && DocumentDataOf(w.window) == w.data)
            SendMessageA(client, WM_MDIDESTROY, WPARAM(w.window), 0);
    if (Shell().frame) PostMessageA(Shell().frame, UM_UPDATEMENUS, 0, 0);
}

INT_PTR MeasurementDialog::RunNested(int templateId, DLGPROC procedure) {
    NestedStart start{procedure, this};
    const INT_PTR result =
        DialogBoxParamA(Instance(), MAKEINTRESOURCEA(templateId), dialog_, &NestedProc, LPARAM(&start));
    nested_ = nullptr;
    return result;
}

bool MeasurementDialog::AskKeep() {
    return !Notices().keepMeasurement || RunNested(DLG_KEEP_MEASUREMENT, &KeepProc) != IDNO;
}

void MeasurementDialog::Help() {
    const std::string& file = Shell().helpFile;
    if (!file.empty() && GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES)
        WinHelpA(dialog_, file.c_str(), HELP_FINDER, 0);
}

void MeasurementDialog::EndOnce(INT_PTR result) {
    if (ended_) return;
    ended_ = true;
    UnregisterMeasurementDialog(dialog_);
    EndDialog(dialog_, result);
}

MeasurementDialog::~MeasurementDialog() {
    if (acousticSetup_) ProgramVirtualLoudspeaker().SetSetup(*acousticSetup_);
}

void MeasurementDialog::UseVirtualJig(int outputDevice) {
    if (acousticSetup_ || outputDevice != ProgramWaveDevices().VirtualId()) return;
    VirtualLoudspeaker& device = ProgramVirtualLoudspeaker();
    VirtualSetup setup = device.Setup();
    if (setup.mode == VirtualMode::kImpedanceJig) return;
    acousticSetup_ = setup;
    jigLoad_ = setup.jig;
    setup.mode = VirtualMode::kImpedanceJig;
    // The box the settings name, so that its formula reads the jig right.
    setup.boxVersion = int(CurrentMeasurementSettings().impedanceBoxVersion);
    device.SetSetup(setup);
}

void MeasurementDialog::SetVirtualJigResistor(double ohms) {
    if (!acousticSetup_) return;
    VirtualLoudspeaker& device = ProgramVirtualLoudspeaker();
    VirtualSetup setup = device.Setup();
    setup.jig = jigLoad_;
    if (ohms > 0) {
        setup.jig.load = VirtualLoad::kResistor;
        setup.jig.loadR = ohms;
    }
    device.SetSetup(setup);
}

bool MeasurementDialog::StartAnalysing() {
    if (ended_) return false;
    if (closeRequested_) {
        End(IDCANCEL);
        return false;
    }
    Enable(IDCANCEL, false);
    Activity(kStrAnalysing);
    UpdateWindow(dialog_);
    return true;
}

void MeasurementDialog::CloseRequest() {
    if (Analysing() || nested_) {
        closeRequested_ = true;
        if (nested_) EndDialog(nested_, kNestedClosed);
        return;
    }
    End(IDCANCEL);
}

}  // namespace srx
