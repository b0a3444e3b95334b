// "Do FFT on Impulse Response", "Calculate Minimum-Phase" and the impulse
// window that "Show Impulse Response" opens for a waterfall.
#include "app/win32/fft_commands.h"

#include <string>
#include <vector>

#include "app/command_rules.h"
#include "app/settings.h"
#include "data/view_flags.h"
#include "app/win32/documents.h"
#include "app/win32/frame.h"
#include "app/win32/shell.h"
#include "data/native_files.h"
#include "dsp/compensation.h"
#include "measure/compensation_settings.h"
#include "dsp/frequency_response.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"

namespace srx {

namespace {

FftMessageHook g_messageHook = nullptr;

bool MinimumPhaseOptionOn() { return (ReadFlagWords(Settings()).measurementOptions & kOptionMinimumPhase) != 0; }

// The analyses' settings with the option as the flag word has it now. A
// copy: the process-wide block is not written here, where a measurement
// thread may be reading it.
AnalysisSettings AnalysisNow() {
    AnalysisSettings current = CurrentAnalysisSettings();
    current.alwaysComputeMinimumPhase = MinimumPhaseOptionOn();
    return current;
}

void Activate(HWND window) {
    if (IsIconic(window)) SendMessageA(Shell().client, WM_MDIRESTORE, reinterpret_cast<WPARAM>(window), 0);
    SendMessageA(Shell().client, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(window), 0);
}

// The frequency-response window an earlier FFT of this record opened.
HWND FftWindowOf(const TimeRecord& record) {
    for (HWND w : DocumentWindows()) {
        if (DocumentKindOf(w) != kDocMeasurement) continue;
        const auto* m = static_cast<const Measurement*>(DocumentDataOf(w));
        if (m && IsFftOfRecord(*m, record)) return w;
    }
    return nullptr;
}

std::vector<std::string> OpenTitles() {
    std::vector<std::string> titles;
    for (HWND w : DocumentWindows()) titles.push_back(WindowTitle(w));
    return titles;
}

}  // namespace

void SetFftMessageHook(FftMessageHook hook) { g_messageHook = hook; }

int ShowFftMessage(HWND owner, const Status& message, UINT flags) {
    return ShowStatus(owner, message, flags, g_messageHook);
}

void DoFftOnImpulse(HWND frame) {
    HWND impulse = ActiveDocument();
    if (!impulse || DocumentKindOf(impulse) != kDocImpulse) return;
    auto* record = static_cast<TimeRecord*>(DocumentDataOf(impulse));
    if (!record) return;

    if (HWND earlier = FftWindowOf(*record)) {
        if (ShowFftMessage(frame, Status::Error(kStrFftExists), MB_YESNO | MB_ICONQUESTION) != IDYES) {
            Activate(earlier);
            return;
        }
    }

    TimeWindowChoice choice;
    if (!RunTimeWindowDialog(frame, *record, &choice)) return;
    StoreTimeWindowChoice(*record, choice);
    InvalidateRect(impulse, nullptr, TRUE);

    WindowResponse r;
    {
        WaitCursor wait;
        r = FrequencyResponseOfWindow(*record, choice, AnalysisNow(), CurrentCompensationSettings(),
                                      MinimumPhaseOptionOn());
    }
    if (!r.fallback) {
        // The window now says Normal: the record differs from its file.
        record->h.flags &= ~uint32_t(kTwfSaved);
        ShowFftMessage(frame, r.fallback, MB_OK | MB_ICONEXCLAMATION);
    }
    if (!r.response) {
        ShowFftMessage(frame, Status::Error(kStrFftFailed), MB_OK | MB_ICONSTOP);
        return;
    }
    if (!r.compensation) ShowFftMessage(frame, r.compensation, MB_OK | MB_ICONEXCLAMATION);

    Measurement* m = r.response.get();
    if (TextOf(m->h.title).empty()) SetText(m->h.title, DefaultMeasurementTitle(*m, OpenTitles()));
    const std::string title = DocumentTitle(DocumentPlan{kDocMeasurement, kStrResponseTitle}, TextOf(m->h.title));
    HWND window = CreateDocumentWindow(title.c_str(), kDocMeasurement, m);
    if (!window) {
        ShowFftMessage(frame, Status::Error(kStrCreateWindowFailed), MB_OK | MB_ICONSTOP);
        return;  // the response is still ours and goes with `r`
    }
    r.response.release();  // the window owns it now
    MakeTitleUnique(window);
    InvalidateRect(window, nullptr, TRUE);
}

void AfterMinimumPhaseToggle(HWND frame) {
    const AnalysisSettings settings = AnalysisNow();
    if (!settings.alwaysComputeMinimumPhase) return;
    std::vector<Measurement*> lacking;
    for (HWND w : DocumentWindows()) {
        if (DocumentKindOf(w) != kDocMeasurement) continue;
        auto* m = static_cast<Measurement*>(DocumentDataOf(w));
        if (m && LacksMinimumPhase(*m)) lacking.push_back(m);
    }
    if (lacking.empty()) return;
    if (ShowFftMessage(frame, Status::Error(kStrComputeMinimumPhase), MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    {
        WaitCursor wait;
        for (Measurement* m : lacking) DerivePhaseFamily(*m, settings, true);
    }
    RepaintKinds(kDocMeasurement, kDocQualityControl);
}

HWND CreateImpulseWindowFor(HWND frame, HWND waterfall) {
    if (DocumentKindOf(waterfall) != kDocWaterfall) return nullptr;
    auto* record = static_cast<TimeRecord*>(DocumentDataOf(waterfall));
    if (!record) return nullptr;
    record->displayField = 0;
    const std::string title = DocumentTitle(DocumentPlan{kDocImpulse, kStrImpulseTitle}, TextOf(record->h.title));
    HWND window = CreateDocumentWindow(title.c_str(), kDocImpulse, record);
    if (!window) {
        ShowFftMessage(frame, Status::Error(kStrCreateWindowFailed), MB_OK | MB_ICONSTOP);
        return nullptr;
    }
    MakeTitleUnique(window);
    return window;
}

}  // namespace srx
