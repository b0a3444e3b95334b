// The "Microphone Compensation" dialog driven as the user would: modeless,
// in a program folder of the test's own, with its questions and file
// dialogs answered by the test.

#include <fstream>
#include <iterator>

#include "dsp/compensation.h"
#include "measure/compensation_settings.h"
#include "measure/win32/compensation_ui.h"
#include "measure/stimulus_files.h"
#include "resources/compensation_ids.h"
#include "wine_test_util.h"

namespace srx {
namespace {

struct Question {
    int id;
    std::string text;
};
std::vector<Question> g_asked;
std::vector<int> g_answers;  // given in order; IDOK/IDYES once they run out
std::string g_chosenPath;    // what the save dialog answers ("" cancels)
std::vector<std::string> g_pathTitles;

int Answer(HWND, int id, UINT, const std::string& text) {
    g_asked.push_back({id, text});
    if (g_answers.empty()) return IDYES;
    const int a = g_answers.front();
    g_answers.erase(g_answers.begin());
    return a;
}

bool ChoosePath(HWND, const char* title, std::string& path) {
    g_pathTitles.push_back(title);
    if (g_chosenPath.empty()) return false;
    path = g_chosenPath;
    return true;
}

std::vector<int> AskedIds() {
    std::vector<int> ids;
    for (const Question& q : g_asked) ids.push_back(q.id);
    return ids;
}

const char kMic1[] =
    "Son-Rix:Compensation File v1.10\r\nMic1.MCP\r\n3\r\nBEGIN.\r\n100 1 0\r\n1000 2 0\r\n47850 3 0\r\nEND.\r\n";

class MicrophoneDialog : public ::testing::Test {
protected:
    void SetUp() override {
        SetMeasureProgramFolder(folder_.path().string());
        SetRememberedMicrophoneCompensation("");
        g_asked.clear();
        g_answers.clear();
        g_pathTitles.clear();
        g_chosenPath.clear();
        CompensationUiHooks hooks;
        hooks.ask = Answer;
        hooks.choosePath = ChoosePath;
        SetCompensationUiHooks(hooks);
        Write("Mic1.MCP", kMic1);
    }
    void TearDown() override {
        if (dialog_ && IsWindow(dialog_)) DestroyWindow(dialog_);
        SetCompensationUiHooks({});
    }

    std::string Path(const std::string& name) const { return folder_ / name; }
    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(Path(name), std::ios::binary) << text;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(Path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    bool Exists(const std::string& name) const {
        return GetFileAttributesA(Path(name).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    void Open() {
        dialog_ = CreateMicrophoneCompensationDialog(nullptr);
        ASSERT_NE(dialog_, nullptr);
    }
    std::vector<std::string> ListItems() const {
        std::vector<std::string> items;
        HWND list = GetDlgItem(dialog_, IDC_MC_LIST);
        const int n = int(SendMessageA(list, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            char text[260] = "";
            SendMessageA(list, CB_GETLBTEXT, WPARAM(i), LPARAM(text));
            items.push_back(text);
        }
        return items;
    }
    int Selected() const { return int(SendDlgItemMessageA(dialog_, IDC_MC_LIST, CB_GETCURSEL, 0, 0)); }
    void Choose(int index) {
        SendDlgItemMessageA(dialog_, IDC_MC_LIST, CB_SETCURSEL, WPARAM(index), 0);
        SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(IDC_MC_LIST, CBN_SELCHANGE),
                     LPARAM(GetDlgItem(dialog_, IDC_MC_LIST)));
    }
    void Press(int id) { testutil::SendClick(dialog_, id); }
    // A point of the graph area, as fractions of its width and height.
    POINT GraphPoint(double fx, double fy) const {
        RECT r;
        GetWindowRect(GetDlgItem(dialog_, IDC_MC_GRAPH), &r);
        MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&r), 2);
        return {LONG(r.left + fx * (r.right - r.left)), LONG(r.top + fy * (r.bottom - r.top))};
    }
    void Click(POINT p, bool right = false) {
        const LPARAM at = MAKELPARAM(p.x, p.y);
        SendMessageA(dialog_, right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, right ? MK_RBUTTON : MK_LBUTTON, at);
        SendMessageA(dialog_, right ? WM_RBUTTONUP : WM_LBUTTONUP, 0, at);
    }
    std::string ValueText() const { return testutil::DlgText(dialog_, IDC_MC_VALUE); }
    static int EntryCount(const std::string& path) {
        CompensationCurve c;
        return LoadCompensation(path, c).ok() ? CompensationEntryCount(c) : -1;
    }

    testutil::MeasurementSettingsScope scope_;
    testutil::TempDir folder_{"srx mic"};
    HWND dialog_ = nullptr;
};

TEST_F(MicrophoneDialog, ListsFilesSelectsTheRememberedOneAndConvertsCalibrations) {
    Write("SONRIX.MCP", kMic1);
    Write("Probe.dat", "\"probe\"\r\n200 1 0\r\n2000 2 0\r\n");
    SetRememberedMicrophoneCompensation("mic1");
    g_answers = {IDNO};  // the converted file does not become the default
    Open();
    EXPECT_EQ(AskedIds(), std::vector<int>{2375});
    EXPECT_NE(g_asked[0].text.find("Probe"), std::string::npos);
    EXPECT_TRUE(Exists("Probe.MCP"));
    EXPECT_EQ(ListItems(), (std::vector<std::string>{"None...", "New compensation...", "Mic1", "Probe"}));
    EXPECT_EQ(Selected(), 2);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog_, IDC_MC_SAVE)));

    // The mouse over the graph shows the rounded frequency and the level.
    const POINT p = GraphPoint(0.5, 0.5);
    SendMessageA(dialog_, WM_MOUSEMOVE, 0, MAKELPARAM(p.x, p.y));
    const std::string value = ValueText();
    EXPECT_EQ(value.rfind("f: ", 0), 0u) << value;
    EXPECT_NE(value.find(" Hz   A: "), std::string::npos) << value;
    EXPECT_EQ(value.substr(value.size() - 3), " dB");

    Press(IDCANCEL);
    EXPECT_FALSE(IsWindow(dialog_));
    EXPECT_EQ(RememberedMicrophoneCompensation(), "mic1");
}

TEST_F(MicrophoneDialog, NewCurveIsEditedSavedOnOkAndRemembered) {
    Open();
    Choose(1);  // "New compensation..."
    const POINT p = GraphPoint(0.5, 0.3);
    Click(p);  // a third entry between the fixed ends
    Click(GraphPoint(0.3, 0.7));
    Click(GraphPoint(0.3, 0.7), true);  // and deleted again
    g_chosenPath = Path("Studio");
    g_answers = {IDYES};  // 2394: save now
    Press(IDOK);
    EXPECT_EQ(AskedIds(), std::vector<int>{2394});
    ASSERT_EQ(g_pathTitles, std::vector<std::string>{"Save Microphone Compensation"});
    EXPECT_FALSE(IsWindow(dialog_));
    EXPECT_EQ(EntryCount(Path("Studio.MCP")), 3);  // the extension is added
    EXPECT_EQ(RememberedMicrophoneCompensation(), "Studio");
}

TEST_F(MicrophoneDialog, SwitchingAsksToSaveTheChangesFirst) {
    Write("Other.MCP", kMic1);
    SetRememberedMicrophoneCompensation("Mic1");
    Open();
    Click(GraphPoint(0.6, 0.2));
    g_answers = {IDCANCEL};
    Choose(3);  // "Other": cancelled, Mic1 stays on screen
    EXPECT_EQ(Selected(), 2);
    g_answers = {IDNO};
    Choose(3);  // the changes are dropped
    EXPECT_EQ(Selected(), 3);
    EXPECT_EQ(AskedIds(), (std::vector<int>{2377, 2377}));
    EXPECT_EQ(Read("Mic1.MCP"), kMic1);

    Click(GraphPoint(0.6, 0.2));
    g_answers = {IDYES};  // save Other first
    Choose(2);
    EXPECT_EQ(EntryCount(Path("Other.MCP")), 4);
    EXPECT_EQ(Selected(), 2);
    EXPECT_TRUE(g_pathTitles.empty());  // a named file saves without a dialog
}

TEST_F(MicrophoneDialog, GraphRisesResetAsksAndSaveOffersTheExport) {
    SetRememberedMicrophoneCompensation("Mic1");
    Open();
    // The graph paints into a bitmap through its owner-draw message; the
    // rising table must rise on screen.
    HWND graph = GetDlgItem(dialog_, IDC_MC_GRAPH);
    RECT r;
    GetClientRect(graph, &r);
    testutil::Dib dib(r.right, r.bottom, RGB(0, 0, 0));
    DRAWITEMSTRUCT di{};
    di.CtlType = ODT_STATIC;
    di.CtlID = IDC_MC_GRAPH;
    di.hwndItem = graph;
    di.hDC = dib.dc();
    di.rcItem = r;
    SendMessageA(dialog_, WM_DRAWITEM, IDC_MC_GRAPH, LPARAM(&di));
    // The topmost curve pixel (blue) of the first and last columns that have one.
    int firstX = -1, firstY = -1, lastY = -1, blue = 0;
    for (int x = 0; x < r.right; ++x) {
        for (int y = 0; y < r.bottom; ++y) {
            if (dib.At(x, y) != RGB(0, 0, 0xC8)) continue;
            ++blue;
            if (firstX < 0) firstX = x, firstY = y;
            lastY = y;
            break;
        }
    }
    EXPECT_GT(blue, r.right / 2);  // the curve crosses the plot
    ASSERT_GE(firstX, 0);
    EXPECT_LT(lastY, firstY);         // 3 dB at the top end, 1 dB at the bottom
    EXPECT_LT(firstY, r.bottom / 2);  // above 0 dB, which sits near the middle

    g_answers = {IDCANCEL};
    Press(IDC_MC_RESET);
    g_answers = {IDOK};
    Press(IDC_MC_RESET);
    g_answers = {IDYES};  // 2393: export
    g_chosenPath = Path("mic1 export");
    Press(IDC_MC_SAVE);
    EXPECT_EQ(AskedIds(), (std::vector<int>{2378, 2378, 2393}));
    EXPECT_EQ(g_pathTitles, std::vector<std::string>{"Export Microphone Compensation"});
    CompensationCurve saved;
    ASSERT_TRUE(LoadCompensation(Path("Mic1.MCP"), saved).ok());
    for (const CompensationEntry& e : saved.entries) EXPECT_EQ(e.level, 0.0f);
    EXPECT_EQ(Read("mic1 export.DAT").rfind("\" Mic correction data:", 0), 0u);

    // OK without changes asks nothing.
    g_asked.clear();
    Press(IDOK);
    EXPECT_TRUE(g_asked.empty());
    EXPECT_EQ(RememberedMicrophoneCompensation(), "Mic1");
}

TEST_F(MicrophoneDialog, NoneShowsNoTableAndBrokenFilesAreNamed) {
    Write("Broken.MCP", "Son-Rix:Compensation File v9\r\n");
    Open();
    EXPECT_EQ(Selected(), 0);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog_, IDC_MC_SAVE)));
    Click(GraphPoint(0.5, 0.5));  // nothing to edit
    Choose(2);                    // "Broken"
    EXPECT_EQ(AskedIds(), std::vector<int>{2372});
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog_, IDC_MC_RESET)));
    Press(IDOK);
    EXPECT_TRUE(AskedIds() == std::vector<int>{2372});
    EXPECT_EQ(RememberedMicrophoneCompensation(), "Broken");
}

TEST_F(MicrophoneDialog, ConversionMessagesNameFailuresOnceAndCountNewFiles) {
    Write("a.cal", "\"a\"\r\n200 1 0\r\n");
    Write("b.MDF", "MDF\r\nPoints=1\r\n1 300 2 0\r\n");
    Write("c.MIC", "12345");
    std::string last;
    EXPECT_EQ(ConvertFoundCalibrations(nullptr, &last), 2);
    EXPECT_EQ(last, "b");
    ASSERT_EQ(AskedIds(), (std::vector<int>{2374, 2376}));
    EXPECT_EQ(g_asked[0].text, "Couldn't convert: c.MIC");
    EXPECT_EQ(g_asked[1].text.rfind("Found 2 new microphone compensation files.", 0), 0u);

    g_asked.clear();
    EXPECT_EQ(ConvertFoundCalibrations(nullptr, nullptr), 0);
    EXPECT_TRUE(g_asked.empty());  // c.MIC was named already

    // The list of the time-window dialog kind: no "New compensation...".
    Open();
    HWND list = GetDlgItem(dialog_, IDC_MC_LIST);
    EXPECT_EQ(FillCompensationList(dialog_, IDC_MC_LIST, "B", false), 2);
    EXPECT_EQ(SendMessageA(list, CB_GETCOUNT, 0, 0), 4);  // None..., a, b, Mic1
    EXPECT_EQ(SelectedCompensation(dialog_, IDC_MC_LIST), "b");
    EXPECT_EQ(FillCompensationList(dialog_, IDC_MC_LIST, nullptr, true), 0);
    EXPECT_EQ(SelectedCompensation(dialog_, IDC_MC_LIST), "");
}

}  // namespace
}  // namespace srx
