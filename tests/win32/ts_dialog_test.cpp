// The "Thiele-Small Parameters" dialog and the speaker-unit commands of the
// design slots, driven step by step from a timer inside the modal loop.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/win32/design_commands.h"
#include "app/win32/documents.h"
#include "design/box_design.h"
#include "design/speaker_unit.h"
#include "design/win32/ts_dialog.h"
#include "resources/string_ids.h"
#include "resources/ts_dialog_ids.h"
#include "wine_test_util.h"

using namespace srx;

namespace {

std::vector<std::function<void(HWND)>> g_steps;
size_t g_next = 0;
std::vector<int> g_asked;
int g_answer = IDNO;

int Answer(HWND, int id, UINT, const std::string&) {
    g_asked.push_back(id);
    return g_answer;
}

void CALLBACK Tick(HWND dialog, UINT, UINT_PTR, DWORD) {
    if (g_next < g_steps.size()) g_steps[g_next++](dialog);
    else EndDialog(dialog, IDCANCEL);  // a script that forgot to close
}

void Observe(HWND dialog) { SetTimer(dialog, 1, 30, &Tick); }

std::string Text(HWND dialog, int id) {
    char text[200] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

// What typing does: the text, and the edit marked as changed.
void Type(HWND dialog, int id, const char* text) {
    SetDlgItemTextA(dialog, id, text);
    SendDlgItemMessageA(dialog, id, EM_SETMODIFY, TRUE, 0);
}

// The dialog manager's question to an edit before Tab moves the focus on.
void Tab(HWND dialog, int id) {
    MSG m{};
    m.hwnd = GetDlgItem(dialog, id);
    m.message = WM_KEYDOWN;
    m.wParam = VK_TAB;
    SendMessageA(m.hwnd, WM_GETDLGCODE, VK_TAB, reinterpret_cast<LPARAM>(&m));
}

void Press(HWND dialog, int id) { SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

SpeakerUnit Woofer() {
    SpeakerUnit u;
    u.manufacturer = "Acme";
    u.model = "W30";
    u.fs = 30;
    u.vas = 0.1;
    u.qes = 0.4;
    u.qms = 4;
    u.re = 6;
    u.le = 0.00012346;  // shown rounded as 0.1235 m.H
    u.sd = 0.05;
    u.xmax = 0.005;
    return u;
}

class TsDialog : public testutil::ScratchFrameTest {
protected:
    void SetUp() override {
        OpenFrame();
        Shell().activeDesign = 0;
        for (int i = 0; i < kDesignSlotCount; ++i) ResetDesignSlot(i);
        g_steps.clear();
        g_next = 0;
        g_asked.clear();
        g_answer = IDNO;
        SetDocumentAskHook(Answer);
        SetThieleSmallDialogObserver(Observe);
    }
    void TearDown() override {
        SetThieleSmallDialogObserver(nullptr);
        SetDocumentAskHook(nullptr);
        DestroyAllWindows();
        DeleteAllUndo();
        for (int i = 0; i < kDesignSlotCount; ++i) ResetDesignSlot(i);
        ScratchFrameTest::TearDown();
    }
};

TEST_F(TsDialog, ShowsDisplayUnitsCompletesOnTabAndKeepsUntouchedValues) {
    SpeakerUnit u = Woofer();
    std::vector<std::string> shown;
    g_steps = {
        [&](HWND d) {
            for (int id : {IDC_TS_VAS, IDC_TS_QTS, IDC_TS_SD, IDC_TS_XMAX, IDC_TS_VD, IDC_TS_LE}) shown.push_back(Text(d, id));
            Type(d, IDC_TS_QES, "");
            Type(d, IDC_TS_QTS, "0.4");
            Tab(d, IDC_TS_QTS);
        },
        [&](HWND d) {
            shown.push_back(Text(d, IDC_TS_QES));
            Type(d, IDC_TS_XMAX, "");
            Type(d, IDC_TS_VD, "0.5");
            Tab(d, IDC_TS_VD);
        },
        [&](HWND d) {
            shown.push_back(Text(d, IDC_TS_XMAX));
            Press(d, IDOK);
        },
    };
    ASSERT_TRUE(RunThieleSmallDialog(frame_, u));
    EXPECT_EQ(shown, (std::vector<std::string>{"100", "0.3636", "500", "5", "0.25", "0.1235", "0.4444", "10"}));
    EXPECT_DOUBLE_EQ(u.qes, 0.4444);
    EXPECT_NEAR(u.xmax, 0.01, 1e-12);
    // Fields left alone keep the exact stored values, not their rounded text.
    EXPECT_EQ(u.le, 0.00012346);
    EXPECT_EQ(u.vas, 0.1);
    EXPECT_TRUE(g_asked.empty());
}

TEST_F(TsDialog, OkDerivesRefusesMissingValuesAndAsksForXmax) {
    // Unchanged: OK is no change at all.
    SpeakerUnit same = Woofer();
    g_steps = {[](HWND d) { Press(d, IDOK); }};
    EXPECT_FALSE(RunThieleSmallDialog(frame_, same));

    // Qes from Qms and Qts on OK; without Fs the dialog stays open, silently.
    SpeakerUnit u = Woofer();
    bool stayed = false;
    HWND xmaxFocus = nullptr, focus = nullptr;
    g_next = 0;
    g_steps = {
        [](HWND d) {
            Type(d, IDC_TS_FS, "");
            Type(d, IDC_TS_QES, "");
            Type(d, IDC_TS_QTS, "0.4");
            Press(d, IDOK);
        },
        [&](HWND d) {
            stayed = IsWindow(d) && Text(d, IDC_TS_QES) == "0.4444";
            Type(d, IDC_TS_FS, "35");
            Type(d, IDC_TS_XMAX, "");
            Type(d, IDC_TS_VD, "");
            g_answer = IDYES;  // "add Xmax now": back to the Xmax field
            Press(d, IDOK);
        },
        [&](HWND d) {
            xmaxFocus = GetDlgItem(d, IDC_TS_XMAX);
            focus = GetFocus();
            g_answer = IDNO;
            Press(d, IDOK);
        },
    };
    ASSERT_TRUE(RunThieleSmallDialog(frame_, u));
    EXPECT_TRUE(stayed);
    EXPECT_EQ(focus, xmaxFocus);
    EXPECT_EQ(g_asked, (std::vector<int>{kStrXmaxMissing, kStrXmaxMissing}));
    EXPECT_DOUBLE_EQ(u.fs, 35);
    EXPECT_NEAR(u.qes, 4 * 0.4 / 3.6, 1e-12);
    EXPECT_EQ(u.xmax, 0);
}

TEST_F(TsDialog, NewUnitEditUndoAndSaveThroughTheSlot) {
    // New Speaker Unit: the first free slot, its window, unsaved.
    DesignSlots()[0].flags |= kSlotHasUnit;
    g_steps = {[](HWND d) {
        for (auto [id, text] : std::vector<std::pair<int, const char*>>{{IDC_TS_FS, "30"}, {IDC_TS_VAS, "100"},
                                                                       {IDC_TS_QMS, "4"}, {IDC_TS_QES, "0.4"},
                                                                       {IDC_TS_RE, "6"}, {IDC_TS_SD, "500"},
                                                                       {IDC_TS_XMAX, "5"}, {IDC_TS_LE, "0.5"}})
            Type(d, id, text);
        Press(d, IDOK);
    }};
    ASSERT_EQ(NewSpeakerUnit(frame_), 1);
    HWND window = FindWindowOfKind(1);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(WindowTitle(window), "Design #2: NONAME.002");
    DesignSlot& slot = DesignSlots()[1];
    EXPECT_EQ(slot.flags & (kSlotHasUnit | kSlotUnsaved), kSlotHasUnit | kSlotUnsaved);
    EXPECT_DOUBLE_EQ(DeserializeSpeakerUnit(slot.unitParameters).vas, 0.1);

    // An edit replaces the unit after an undo step; undo brings Fs back.
    Shell().activeDesign = 1;
    g_next = 0;
    g_steps = {[](HWND d) {
        Type(d, IDC_TS_FS, "45");
        Press(d, IDOK);
    }};
    ASSERT_EQ(EditThieleSmallParameters(frame_, false), 1);
    EXPECT_DOUBLE_EQ(DeserializeSpeakerUnit(slot.unitParameters).fs, 45);
    ASSERT_EQ(Undo(window), 1);
    EXPECT_DOUBLE_EQ(DeserializeSpeakerUnit(slot.unitParameters).fs, 30);

    // Save: a unit file keeps its name; an incomplete unit writes nothing.
    testutil::TempDir dir("srx-unit");
    const std::string path = dir / "w30.spk";
    std::snprintf(reinterpret_cast<char*>(slot.filePath), sizeof slot.filePath, "%s", path.c_str());
    ASSERT_EQ(SaveDocument(window, false), 1);
    SpeakerUnit read;
    ASSERT_TRUE(ReadSpeakerUnitFile(path, read).ok());
    EXPECT_DOUBLE_EQ(read.sd, 0.05);
    EXPECT_FALSE(slot.flags & kSlotUnsaved);
    EXPECT_EQ(WindowTitle(window), "Design #2: w30");

    // With a box design "Save what ?" comes first; Yes saves the design.
    const std::string dsn = dir / "w30.dsn";
    std::snprintf(reinterpret_cast<char*>(slot.filePath), sizeof slot.filePath, "%s", dsn.c_str());
    slot.flags |= kSlotHasBox | kSlotUnsaved;
    g_answer = IDYES;
    ASSERT_EQ(SaveDocument(window, false), 1);
    BoxDesign box;
    ASSERT_TRUE(ReadDesignFile(dsn, read, box).ok());
    EXPECT_EQ(SerializeBoxDesign(box), SerializeBoxDesign(BoxDesign{}));

    SpeakerUnit partial = read;
    partial.xmax = 0;
    const auto record = SerializeSpeakerUnit(partial);
    std::memcpy(slot.unitParameters, record.data(), record.size());
    g_asked.clear();
    g_answer = IDNO;  // "Save what ?": just the unit
    EXPECT_EQ(SaveDocument(window, false), 0);
    EXPECT_EQ(g_asked, (std::vector<int>{kStrSaveWhat, kStrSpkIncomplete}));
    ASSERT_TRUE(ReadDesignFile(dsn, read, box).ok());
    EXPECT_DOUBLE_EQ(read.xmax, 0.005);
}

}  // namespace
