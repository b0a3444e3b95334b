// The impulse analyses' and curve operations' commands on a hidden frame:
// their dialogs are driven from the observer, step by step with sent
// clicks before they show, and every message is answered by the hook.
#include <cmath>

#include "app/win32/analysis_commands.h"
#include "app/win32/documents.h"
#include "data/view_flags.h"
#include "dsp/smoothing.h"
#include "resources/analysis_dialog_ids.h"
#include "resources/command_ids.h"
#include "resources/string_table.h"
#include "wine_test_util.h"

namespace srx {
namespace {

std::vector<std::pair<int, std::string>> g_shown;
int g_answer = IDYES;
std::function<void(HWND, int)> g_drive;

int RecordMessage(HWND, const Status& message, UINT) {
    g_shown.emplace_back(message.stringId, StatusText(message));
    return g_answer;
}

constexpr auto Press = testutil::SendClick;
void Type(HWND d, int id, const char* text) { SetDlgItemTextA(d, id, text); }
void Choose(HWND d, int id, const char* title) {
    const LRESULT i = SendDlgItemMessageA(d, id, CB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(title));
    SendDlgItemMessageA(d, id, CB_SETCURSEL, WPARAM(i), 0);
}
void Tick(HWND d, int id) {
    CheckDlgButton(d, id, IsDlgButtonChecked(d, id) == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
    Press(d, id);
}

std::vector<HWND> WindowsOfKind(int kind) {
    std::vector<HWND> list;
    for (HWND w : DocumentWindows())
        if (DocumentKindOf(w) == kind) list.push_back(w);
    return list;
}

// 200 ms at 48 kHz of a decaying tone, saved.
TimeRecord* NewImpulse() {
    TimeRecord* t = NewTimeRecord({}).release();
    SetText(t->h.title, "Woofer");
    t->h.sampleRate = 48000;
    t->h.sampleCount = 9600;
    t->h.flags = kTwfSaved;
    t->h.spikeLength = 1.0 / 48000;
    t->h.fftWindowLength = 0.010;
    t->h.windowType = 3;
    for (int n = 0; n < 9600; ++n) t->samples.push_back(float(std::exp(-n / 200.0) * std::sin(n * 0.3)));
    t->h.peak = t->samples[5];
    return t;
}

// 20 Hz .. 20 kHz at 20 points per octave, a slope of 3 dB per octave, saved.
Measurement* NewCurve(const char* title, double offsetDb = 0) {
    Measurement* m = NewMeasurement(kCurveFrequencyResponse).release();
    SetText(m->h.title, title);
    for (int i = 0; i <= 200; ++i) {
        const double f = 20.0 * std::pow(2.0, i / 20.0);
        AddCurvePoint(*m, f, 70 + offsetDb + 3 * std::log2(f / 20.0), 0, -1000, -1000, 0, -1000, -1000, -1000, -1000,
                      -1000, -1000, -1000);
    }
    m->h.flags |= kMesSaved | kMesPhase;
    return m;
}

double LevelAt(const Measurement& m, double f) {
    for (const CurvePoint& p : m.points)
        if (p.frequency >= f) return p.value[kSlotLevel];
    return -1000;
}

std::vector<HWND> g_members;

class AnalysisCommands : public testutil::ScratchFrameTest {
protected:
    void SetUp() override {
        OpenFrame();
        Settings().window.undoDepth = 5;
        savedHistory_ = Settings().window;
        g_shown.clear();
        g_answer = IDYES;
        g_drive = nullptr;
        SetAnalysisMessageHook(RecordMessage);
        SetAnalysisDialogObserver([](HWND d, int id) {
            if (g_drive) g_drive(d, id);
        });
        SetMultigraphMembersHook([](HWND) { return g_members; });
    }
    void TearDown() override {
        DestroyAllWindows();
        DeleteAllUndo();
        SetMultigraphMembersHook(nullptr);
        SetAnalysisDialogObserver(nullptr);
        SetAnalysisMessageHook(nullptr);
        ScratchFrameTest::TearDown();
        Settings().window = savedHistory_;
    }
    std::vector<int> ShownIds() const {
        std::vector<int> ids;
        for (const auto& s : g_shown) ids.push_back(s.first);
        return ids;
    }
    testutil::MeasurementSettingsScope scope_;
    WindowHistory savedHistory_;
};

TEST_F(AnalysisCommands, LengthDialogsRefuseBadLengthsThenOpenEtcAndStepWindows) {
    TimeRecord* t = NewImpulse();
    HWND impulse = CreateDocumentWindow("Impulse Response: Woofer", kDocImpulse, t);
    ASSERT_NE(impulse, nullptr);
    g_drive = [](HWND d, int id) {
        ASSERT_EQ(id, DLG_ETC);
        EXPECT_EQ(testutil::DlgText(d, IDC_AN_LENGTH), "100.00");  // at most 0.1 s of the 200 ms
        EXPECT_EQ(SendDlgItemMessageA(d, IDC_AN_WINDOW, CB_GETCURSEL, 0, 0), 3);
        Type(d, IDC_AN_LENGTH, "0");
        Press(d, IDOK);
        EXPECT_EQ(testutil::DlgText(d, IDC_AN_LENGTH), "100.00");
        Type(d, IDC_AN_LENGTH, "500");
        Press(d, IDOK);
        EXPECT_EQ(testutil::DlgText(d, IDC_AN_LENGTH), "200.00");
        Press(d, IDOK);  // accepted: all 9600 samples
    };
    ExecuteCommand(frame_, CM_ETC);
    ASSERT_EQ(ShownIds(), (std::vector<int>{2386, 2387}));
    EXPECT_EQ(g_shown[1].second, "The time-window may exceed 200.00 ms !");
    ASSERT_EQ(WindowsOfKind(kDocEtc).size(), 1u);
    HWND etcWindow = WindowsOfKind(kDocEtc)[0];
    EXPECT_EQ(WindowTitle(etcWindow), "Energy Time Curve: Woofer");
    const auto* etc = static_cast<const EtcRecord*>(DocumentDataOf(etcWindow));
    EXPECT_EQ(etc->h.sampleCount, 16384);
    EXPECT_EQ(etc->h.windowType, 3);

    // Rubbish and non-numbers read as no length; Cancel makes nothing.
    g_shown.clear();
    SendMessageA(Shell().client, WM_MDIACTIVATE, WPARAM(impulse), 0);
    g_drive = [](HWND d, int id) {
        ASSERT_EQ(id, DLG_STEP);
        Type(d, IDC_AN_LENGTH, "abc");
        Press(d, IDOK);
        Type(d, IDC_AN_LENGTH, "nan");
        Press(d, IDOK);
        Press(d, IDCANCEL);
    };
    ExecuteCommand(frame_, CM_STEP);
    EXPECT_EQ(ShownIds(), (std::vector<int>{2386, 2386}));
    EXPECT_TRUE(WindowsOfKind(kDocStep).empty());

    g_drive = [](HWND d, int) {
        Type(d, IDC_AN_LENGTH, "10,5");
        Press(d, IDOK);
    };
    ExecuteCommand(frame_, CM_STEP);
    ASSERT_EQ(WindowsOfKind(kDocStep).size(), 1u);
    HWND stepWindow = WindowsOfKind(kDocStep)[0];
    EXPECT_EQ(WindowTitle(stepWindow), "Step Response: Woofer");
    const auto* step = static_cast<const TimeRecord*>(DocumentDataOf(stepWindow));
    EXPECT_EQ(step->h.sampleCount, 504);
    EXPECT_TRUE(step->h.flags & kTwfStep);
    // The source stays as it was.
    EXPECT_TRUE(t->h.flags & kTwfSaved);
    EXPECT_FALSE(HasUndo(impulse));
}

TEST_F(AnalysisCommands, WaterfallAsksBeforeReplacingAndUndoes) {
    TimeRecord* t = NewImpulse();
    HWND impulse = CreateDocumentWindow("Impulse Response: Woofer", kDocImpulse, t);
    ASSERT_NE(impulse, nullptr);
    bool progressShown = false;
    g_drive = [&](HWND, int id) { progressShown = progressShown || id == DLG_WATERFALL_PROGRESS; };
    ExecuteCommand(frame_, CM_WATERFALL);
    EXPECT_TRUE(progressShown);
    EXPECT_TRUE(g_shown.empty());
    ASSERT_TRUE(t->h.flags & kTwfWaterfall);
    EXPECT_FALSE(t->h.flags & kTwfSaved);
    EXPECT_EQ(t->h.windowType, 3);  // analysed with the record's own window
    ASSERT_FALSE(t->slices.empty());
    EXPECT_TRUE(HasUndo(impulse));

    // A second waterfall is asked for; No keeps the first and takes no step.
    g_answer = IDNO;
    const float first = t->slices[0].level[0];
    ExecuteCommand(frame_, CM_WATERFALL);
    EXPECT_EQ(ShownIds(), (std::vector<int>{2382}));
    EXPECT_EQ(t->slices[0].level[0], first);

    ASSERT_EQ(Undo(impulse), 1);
    EXPECT_FALSE(t->h.flags & kTwfWaterfall);
    EXPECT_TRUE(t->slices.empty());
    EXPECT_TRUE(t->h.flags & kTwfSaved);
    EXPECT_FALSE(HasUndo(impulse));
}

TEST_F(AnalysisCommands, InPlaceChangesRefuseBadInputAndUndo) {
    Measurement* m = NewCurve("Woofer");
    HWND window = CreateDocumentWindow("Frequency Response: Woofer", kDocMeasurement, m);
    ASSERT_NE(window, nullptr);
    const double at1k = LevelAt(*m, 1000);

    // Refusals change nothing and take no undo step.
    g_drive = [](HWND d, int id) {
        ASSERT_EQ(id, DLG_NORMALIZE);
        Type(d, IDC_NM_FREQUENCY, "5");
        Press(d, IDOK);
        EXPECT_EQ(testutil::DlgText(d, IDC_NM_FREQUENCY), "20");  // the nearer bound
        Type(d, IDC_NM_FREQUENCY, "inf");
        Press(d, IDOK);
        Press(d, IDCANCEL);
    };
    ExecuteCommand(frame_, CM_NORMALIZE_FREQ);
    g_drive = [](HWND d, int) {
        Type(d, IDC_NM_LEVEL, "1e300");
        Press(d, IDOK);
        Type(d, IDC_NM_LEVEL, "nan");
        Press(d, IDOK);
        Press(d, IDCANCEL);
    };
    ExecuteCommand(frame_, CM_NORMALIZE_MANUAL);
    g_drive = [](HWND d, int id) {
        ASSERT_EQ(id, DLG_SMOOTH);
        // 20 points per octave: 1/24 octave is out of reach.
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, IDC_SM_FIRST + 4)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, IDC_SM_FIRST + 5)));
        EXPECT_EQ(IsDlgButtonChecked(d, IDC_SM_FIRST + 2), UINT(BST_CHECKED));  // nothing remembered: 1/3
        CheckRadioButton(d, IDC_SM_FIRST, IDC_SM_FREE, IDC_SM_FREE);
        Type(d, IDC_SM_FREE_N, "20");
        Press(d, IDOK);
        Press(d, IDCANCEL);
    };
    Settings().window.smoothingFraction = 0;
    ExecuteCommand(frame_, CM_SMOOTH);
    ASSERT_EQ(g_shown.size(), 5u);
    EXPECT_EQ(g_shown[0].second, "The frequency must be in the interval 20-20480Hz !");
    EXPECT_EQ(ShownIds(), (std::vector<int>{2346, 2346, 5471, 5471, 5470}));
    EXPECT_EQ(g_shown[4].second, "Free smoothing needs a whole number N from 1 to 19 (1/N octave) !");
    EXPECT_EQ(LevelAt(*m, 1000), at1k);
    EXPECT_TRUE(m->h.flags & kMesSaved);
    EXPECT_FALSE(HasUndo(window));

    // Accepted: changed, unsaved, and undone.
    g_drive = [](HWND d, int) {
        Type(d, IDC_NM_FREQUENCY, "1000");
        Press(d, IDOK);
    };
    ExecuteCommand(frame_, CM_NORMALIZE_FREQ);
    EXPECT_NEAR(LevelAt(*m, 1000), 0, 1e-4);
    EXPECT_FALSE(m->h.flags & kMesSaved);
    g_drive = [](HWND d, int) {
        CheckRadioButton(d, IDC_SM_FIRST, IDC_SM_FREE, IDC_SM_FREE);
        Type(d, IDC_SM_FREE_N, "5");
        SendDlgItemMessageA(d, IDC_SM_METHOD, CB_SETCURSEL, kSmoothMedian, 0);
        Press(d, IDOK);
    };
    ExecuteCommand(frame_, CM_SMOOTH);
    EXPECT_EQ(Settings().window.smoothingFraction, 5);
    EXPECT_EQ(Settings().window.smoothingFree, 1);
    EXPECT_EQ(Settings().window.smoothingMethod, kSmoothMedian);
    ASSERT_EQ(Undo(window), 1);
    ASSERT_EQ(Undo(window), 1);
    EXPECT_NEAR(LevelAt(*m, 1000), at1k, 1e-4);
    EXPECT_TRUE(m->h.flags & kMesSaved);

    // A multigraph normalises each member, each with its own step.
    Measurement* other = NewCurve("Tweeter", 10);
    HWND second = CreateDocumentWindow("Frequency Response: Tweeter", kDocMeasurement, other);
    g_members = {window, second};
    HWND multigraph = CreateDocumentWindow("Multigraph", kDocMultigraph, nullptr);
    ASSERT_NE(multigraph, nullptr);
    g_drive = [](HWND d, int) {
        Type(d, IDC_NM_FREQUENCY, "100");
        Press(d, IDOK);
    };
    ExecuteCommand(frame_, CM_NORMALIZE_FREQ);
    g_members.clear();
    EXPECT_NEAR(LevelAt(*m, 100), 0, 1e-4);
    EXPECT_NEAR(LevelAt(*other, 100), 0, 1e-4);
    EXPECT_TRUE(HasUndo(window));
    EXPECT_TRUE(HasUndo(second));
}

TEST_F(AnalysisCommands, AveragingAndMergingCheckTheirChoices) {
    HWND a = CreateDocumentWindow("Frequency Response: A", kDocMeasurement, NewCurve("A"));
    // One curve is not enough to open either dialog.
    ExecuteCommand(frame_, CM_AVERAGE);
    EXPECT_EQ(ShownIds(), (std::vector<int>{2349}));
    Measurement* bCurve = NewCurve("B", 6);
    bCurve->h.method = 3;
    CreateDocumentWindow("Frequency Response: B", kDocMeasurement, bCurve);
    ASSERT_NE(a, nullptr);

    g_shown.clear();
    g_drive = [](HWND d, int id) {
        ASSERT_EQ(id, DLG_AVERAGE);
        EXPECT_EQ(SendDlgItemMessageA(d, IDC_AV_CURVE1, CB_GETCURSEL, 0, 0), 1);
        EXPECT_EQ(SendDlgItemMessageA(d, IDC_AV_CURVE1 + 1, CB_GETCURSEL, 0, 0), 2);
        SendDlgItemMessageA(d, IDC_AV_CURVE1 + 4, CB_SETCURSEL, 1, 0);  // curve A again
        Press(d, IDOK);
        SendDlgItemMessageA(d, IDC_AV_CURVE1 + 4, CB_SETCURSEL, 0, 0);
        Type(d, IDC_AV_TITLE, "Mean");
        Press(d, IDOK);
    };
    ExecuteCommand(frame_, CM_AVERAGE);
    EXPECT_EQ(ShownIds(), (std::vector<int>{2351}));
    ASSERT_EQ(WindowsOfKind(kDocMeasurement).size(), 3u);
    HWND mean = ActiveDocument();
    EXPECT_EQ(WindowTitle(mean), "Frequency Response: Mean");
    EXPECT_NEAR(LevelAt(*static_cast<Measurement*>(DocumentDataOf(mean)), 1000),
                LevelAt(*static_cast<Measurement*>(DocumentDataOf(a)), 1000) + 3, 0.05);

    g_shown.clear();
    g_answer = IDNO;
    g_drive = [](HWND d, int id) {
        ASSERT_EQ(id, DLG_MERGE);
        Choose(d, IDC_MG_CURVE1, "Frequency Response: A");
        Choose(d, IDC_MG_CURVE1 + 1, "Frequency Response: B");
        Press(d, IDOK);  // no distance for curve 1
        Type(d, IDC_MG_VALUE1, "1");
        Tick(d, IDC_MG_NEAR1 + 1);
        Type(d, IDC_MG_VALUE1 + 1, "-3");
        Press(d, IDOK);  // no area for curve 2
        Type(d, IDC_MG_VALUE1 + 1, "50");
        Type(d, IDC_MG_SPLICE, "-10");
        Press(d, IDOK);
        Type(d, IDC_MG_SPLICE, "50000");
        Press(d, IDOK);  // different methods: No ends the command
        EXPECT_EQ(testutil::DlgText(d, IDC_MG_SPLICE), "20480.00");  // lowered to the near-field end
    };
    ExecuteCommand(frame_, CM_MERGE);
    EXPECT_EQ(ShownIds(), (std::vector<int>{2355, 2354, 5472, 2414}));
    EXPECT_EQ(WindowsOfKind(kDocMeasurement).size(), 3u);

    g_answer = IDYES;
    std::string labelNear;
    g_drive = [&](HWND d, int) {
        Choose(d, IDC_MG_CURVE1, "Frequency Response: A");
        Choose(d, IDC_MG_CURVE1 + 1, "Frequency Response: B");
        Tick(d, IDC_MG_NEAR1 + 1);
        labelNear = testutil::DlgText(d, IDC_MG_LABEL1 + 1);
        Type(d, IDC_MG_VALUE1, "2");
        Type(d, IDC_MG_VALUE1 + 1, "50");
        Type(d, IDC_MG_SPLICE, "1000");
        Tick(d, IDC_MG_SIMULATE);
        Type(d, IDC_MG_BAFFLE, "230");
        Press(d, IDOK);
    };
    ExecuteCommand(frame_, CM_MERGE);
    EXPECT_EQ(labelNear, "Surface area (cm\xB2)");
    EXPECT_EQ(WindowsOfKind(kDocMeasurement).size(), 4u);
}

}  // namespace
}  // namespace srx
