// Document windows under a frame of the test's own: creation and titles,
// the undo store, clipboard copies and the save questions (answered by a
// hook instead of message boxes).

#include <cstring>
#include <utility>

#include "data/view_flags.h"
#include "app/win32/documents.h"
#include "data/native_files.h"
#include "wine_test_util.h"

using namespace srx;

namespace {

int g_answer = IDNO;
std::vector<std::pair<int, std::string>> g_asked;

int Answer(HWND, int id, UINT, const std::string& argument) {
    g_asked.emplace_back(id, argument);
    return g_answer;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Title(HWND w) { return WindowTitle(w); }

// Handed to a window, which owns it from then on.
Measurement* MakeMeasurement(const char* title, int points, bool saved) {
    Measurement* m = NewMeasurement(kCurveFrequencyResponse).release();
    SetText(m->h.title, title);
    for (int i = 0; i < points; ++i)
        AddCurvePoint(*m, 100.0 * (i + 1), 80.0 + i, 0, kNoLevel, kNoLevel, 0, kNoLevel, kNoLevel, kNoLevel, kNoLevel,
                      kNoLevel, kNoLevel, kNoLevel);
    if (saved) m->h.flags |= kMesSaved;
    return m;
}

TimeRecord* MakeTimeRecord(const char* title, bool saved) {
    TimeRecord* t = NewTimeRecord({}).release();
    SetText(t->h.title, title);
    t->h.sampleRate = 48000;
    t->samples.assign(100, 0.25f);
    if (saved) t->h.flags |= kTwfSaved;
    return t;
}

class DocWindows : public testutil::ScratchFrameTest {
protected:
    void SetUp() override {
        OpenFrame();
        Shell().activeDesign = 0;
        g_answer = IDNO;
        g_asked.clear();
        SetDocumentAskHook(Answer);
        Settings().window.undoDepth = 5;
        for (int i = 0; i < kDesignSlotCount; ++i) ResetDesignSlot(i);
    }
    void TearDown() override {
        DestroyAllWindows();
        DeleteAllUndo();
        SetDocumentAskHook(nullptr);
        ScratchFrameTest::TearDown();
        for (int i = 0; i < kDesignSlotCount; ++i) ResetDesignSlot(i);
    }
};

TEST_F(DocWindows, WindowsAreFoundByKindAndActivatedBack) {
    Measurement* data = MakeMeasurement("Woofer", 3, true);
    HWND measurement = CreateDocumentWindow("Frequency Response: Woofer", kDocMeasurement, data);
    ASSERT_NE(measurement, nullptr);
    EXPECT_EQ(ActiveDocument(), measurement);
    EXPECT_EQ(DocumentKindOf(measurement), kDocMeasurement);
    EXPECT_EQ(DocumentDataOf(measurement), data);
    EXPECT_EQ(CountWindowsOfKind(kDocMeasurement), 1);

    // Analysis windows take the first free kind; a window without a title
    // is "NONAME" with the active design's number.
    EXPECT_EQ(FirstFreeKind(kDocAnalysisFirst, kDocAnalysisLast), kDocAnalysisFirst);
    HWND analysis = CreateDocumentWindow(nullptr, kDocAnalysisFirst, nullptr);
    ASSERT_NE(analysis, nullptr);
    EXPECT_EQ(Title(analysis), "NONAME.001");
    EXPECT_EQ(FirstFreeKind(kDocAnalysisFirst, kDocAnalysisLast), kDocAnalysisFirst + 1);
    EXPECT_EQ(FirstFreeKind(kDocAnalysisFirst, kDocAnalysisFirst), -1);
    EXPECT_EQ(FindWindowOfKind(kDocAnalysisFirst), analysis);
    EXPECT_EQ(FindWindowOfKind(kDocEtc), nullptr);
    EXPECT_EQ(DocumentKindOf(frame_), -1);
    EXPECT_EQ(DocumentKindOf(Shell().client), -1);

    // Activation brings a minimised window back.
    ShowWindow(analysis, SW_MINIMIZE);
    EXPECT_EQ(ActivateFirstOfKinds(kDocAnalysisFirst, kDocAnalysisLast), analysis);
    EXPECT_FALSE(IsIconic(analysis));
    EXPECT_EQ(ActiveDocument(), analysis);
    EXPECT_EQ(ActivateFirstOfKinds(kDocEtc, kDocStep), nullptr);
    CloseKinds(kDocMeasurement, kDocStep);  // saved records: no questions
    EXPECT_TRUE(g_asked.empty());
    EXPECT_EQ(CountWindowsOfKind(kDocMeasurement), 0);
    EXPECT_EQ(CountWindowsOfKind(kDocAnalysisFirst), 1);
}

TEST_F(DocWindows, UndoDepthKeepsTheNewestFilesAndZeroKeepsAll) {
    HWND w = CreateDocumentWindow("Frequency Response: a", kDocMeasurement, MakeMeasurement("a", 3, true));
    ASSERT_NE(w, nullptr);
    std::string oldest;
    for (int i = 0; i < 6; ++i) {
        ASSERT_EQ(SaveUndoStep(w), 1);
        if (i == 0) oldest = UndoFilesOf(w).front();
    }
    std::vector<std::string> files = UndoFilesOf(w);
    ASSERT_EQ(files.size(), 5u);
    EXPECT_FALSE(Exists(oldest));
    for (const std::string& f : files) EXPECT_TRUE(Exists(f)) << f;

    Settings().window.undoDepth = 0;
    HWND all = CreateDocumentWindow("Frequency Response: b", kDocMeasurement, MakeMeasurement("b", 3, true));
    for (int i = 0; i < 7; ++i) ASSERT_EQ(SaveUndoStep(all), 1);
    EXPECT_EQ(UndoFilesOf(all).size(), 7u);
    EXPECT_EQ(UndoFilesOf(w).size(), 5u);  // depth applies per window

    // Kinds without undo take no step.
    HWND etc = CreateDocumentWindow("Energy Time Curve: c", kDocEtc, NewEtcRecord().release());
    EXPECT_EQ(SaveUndoStep(etc), 0);
    EXPECT_FALSE(HasUndo(etc));

    // Closing a window deletes its files.
    files = UndoFilesOf(all);
    SendMessageA(all, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(all));
    for (const std::string& f : files) EXPECT_FALSE(Exists(f)) << f;
    EXPECT_FALSE(HasUndo(all));
}

TEST_F(DocWindows, UndoRestoresPointsAndTitleStepByStep) {
    Measurement* m = MakeMeasurement("A", 3, true);
    HWND w = CreateDocumentWindow("Frequency Response: A", kDocMeasurement, m);
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(HasUndo(w));
    EXPECT_EQ(Undo(w), 0);

    ASSERT_EQ(SaveUndoStep(w), 1);
    AddCurvePoint(*m, 900, 70, 0, kNoLevel, kNoLevel, 0, kNoLevel, kNoLevel, kNoLevel, kNoLevel, kNoLevel, kNoLevel,
                  kNoLevel);
    m->h.flags &= ~kMesSaved;
    SetWindowTextA(w, "X");
    ASSERT_EQ(SaveUndoStep(w), 1);
    AddCurvePoint(*m, 1000, 60, 0, kNoLevel, kNoLevel, 0, kNoLevel, kNoLevel, kNoLevel, kNoLevel, kNoLevel, kNoLevel,
                  kNoLevel);
    SetText(m->h.title, "changed");
    SetWindowTextA(w, "Y");

    ASSERT_EQ(Undo(w), 1);
    EXPECT_EQ(DocumentDataOf(w), m);  // the window keeps its record
    EXPECT_EQ(m->points.size(), 4u);
    EXPECT_EQ(m->h.pointCount, 4);
    EXPECT_EQ(TextOf(m->h.title), "A");
    EXPECT_EQ(Title(w), "X");
    EXPECT_TRUE(HasUndo(w));  // the older step is still there

    ASSERT_EQ(Undo(w), 1);
    EXPECT_EQ(m->points.size(), 3u);
    EXPECT_FLOAT_EQ(m->points.back().frequency, 300.0f);
    EXPECT_TRUE(m->h.flags & kMesSaved);
    EXPECT_EQ(Title(w), "Frequency Response: A");
    EXPECT_FALSE(HasUndo(w));
    EXPECT_EQ(Undo(w), 0);
    EXPECT_TRUE(g_asked.empty());
}

TEST_F(DocWindows, UndoAcrossTheWaterfall) {
    TimeRecord* t = MakeTimeRecord("pir", true);
    HWND impulse = CreateDocumentWindow("Impulse Response: pir", kDocImpulse, t);
    ASSERT_EQ(SaveUndoStep(impulse), 1);
    t->h.flags |= kTwfWaterfall;
    t->slices.resize(4);
    t->samples.assign(50, 0.5f);
    HWND waterfall = CreateDocumentWindow("Waterfall: pir", kDocWaterfall, t);
    ASSERT_NE(waterfall, nullptr);
    EXPECT_TRUE(HasUndo(impulse));

    ASSERT_EQ(Undo(impulse), 1);
    EXPECT_FALSE(IsWindow(waterfall));
    ASSERT_TRUE(IsWindow(impulse));
    EXPECT_EQ(DocumentDataOf(impulse), t);  // the shared record outlives the waterfall window
    EXPECT_FALSE(t->h.flags & kTwfWaterfall);
    EXPECT_TRUE(t->slices.empty());
    EXPECT_EQ(t->samples.size(), 100u);
    EXPECT_EQ(Title(impulse), "Impulse Response: pir");
    EXPECT_FALSE(HasUndo(impulse));

    // An undo that would lose the only window left is refused.
    g_asked.clear();
    TimeRecord* u = MakeTimeRecord("u", true);
    HWND onlyImpulse = CreateDocumentWindow("Impulse Response: u", kDocImpulse, u);
    HWND onlyWaterfall = CreateDocumentWindow("Waterfall: u", kDocWaterfall, u);
    ASSERT_EQ(SaveUndoStep(onlyWaterfall), 1);  // the stored record has no waterfall yet
    u->h.flags |= kTwfWaterfall;
    u->slices.resize(2);
    SendMessageA(onlyImpulse, WM_CLOSE, 0, 0);
    ASSERT_FALSE(IsWindow(onlyImpulse));
    EXPECT_TRUE(g_asked.empty());  // the waterfall still shows the record
    EXPECT_EQ(Undo(onlyWaterfall), 0);
    EXPECT_EQ(g_asked, (std::vector<std::pair<int, std::string>>{{2339, ""}}));
    EXPECT_TRUE(IsWindow(onlyWaterfall));
    EXPECT_EQ(u->slices.size(), 2u);
}

TEST_F(DocWindows, DesignWindowsReportAndUndo) {
    DesignSlot* second = &DesignSlots()[1];
    HWND design = CreateDocumentWindow("Design #2: NONAME.002", 1, second);
    ASSERT_NE(design, nullptr);
    RECT rc;
    GetClientRect(design, &rc);
    EXPECT_LE(rc.right, 250);
    auto darkPixels = [&] {
        EXPECT_EQ(CopyWindowToClipboard(design), 1);
        const auto pic = testutil::Dib::FromClipboard();
        return pic ? pic->Count(RGB(0, 0, 0), pic->Area()) : -1;
    };
    EXPECT_EQ(darkPixels(), 0);
    second->flags |= kSlotHasUnit;
    EXPECT_GT(darkPixels(), 50);

    // Undo restores the slot; a new unit in it starts afresh.
    g_asked.clear();
    DesignSlot& slot = DesignSlots()[2];
    slot.flags |= kSlotHasUnit;
    std::memset(slot.unitParameters, 1, sizeof slot.unitParameters);
    HWND design3 = CreateDocumentWindow("Design #3: a", 2, &slot);
    ASSERT_EQ(SaveUndoStep(design3), 1);
    EXPECT_TRUE(slot.flags & kSlotUndoMark);
    std::memset(slot.unitParameters, 2, sizeof slot.unitParameters);
    slot.flags |= kSlotHasBox;

    slot.flags |= kSlotDialogOpen;
    EXPECT_EQ(Undo(design3), 0);
    EXPECT_EQ(g_asked, (std::vector<std::pair<int, std::string>>{{2338, ""}}));
    slot.flags &= ~kSlotDialogOpen;

    ASSERT_EQ(Undo(design3), 1);
    EXPECT_EQ(slot.unitParameters[0], 1);
    EXPECT_EQ(slot.unitParameters[511], 1);
    EXPECT_FALSE(slot.flags & kSlotHasBox);

    // Two steps, then another unit goes into the slot (no undo mark): the
    // next step drops the steps of the old unit.
    ASSERT_EQ(SaveUndoStep(design3), 1);
    ASSERT_EQ(SaveUndoStep(design3), 1);
    EXPECT_EQ(UndoFilesOf(design3).size(), 2u);
    ResetDesignSlot(2);
    slot.flags |= kSlotHasUnit;
    ASSERT_EQ(SaveUndoStep(design3), 1);
    EXPECT_EQ(UndoFilesOf(design3).size(), 1u);
}

TEST_F(DocWindows, SaveQuestionsAskOnlyForUnsavedRecordsAndCancelStops) {
    CreateDocumentWindow("Frequency Response: s", kDocMeasurement, MakeMeasurement("s", 2, true));
    TimeRecord* saved = MakeTimeRecord("t", true);
    CreateDocumentWindow("Impulse Response: t", kDocImpulse, saved);
    CreateDocumentWindow("Waterfall: t", kDocWaterfall, saved);
    EXPECT_EQ(QueryCloseAll(), 1);
    EXPECT_TRUE(g_asked.empty());

    HWND mid = CreateDocumentWindow("Frequency Response: Mid", kDocMeasurement, MakeMeasurement("Mid", 2, false));
    TimeRecord* unsaved = MakeTimeRecord("u", false);
    CreateDocumentWindow("Impulse Response: u", kDocImpulse, unsaved);
    CreateDocumentWindow("Waterfall: u", kDocWaterfall, unsaved);
    g_answer = IDNO;
    EXPECT_EQ(QueryCloseAll(), 1);
    ASSERT_EQ(g_asked.size(), 2u);  // one question per record
    EXPECT_TRUE(Shell().designFollowsActivation);

    g_asked.clear();
    g_answer = IDCANCEL;
    EXPECT_EQ(QueryCloseAll(), 0);
    EXPECT_EQ(g_asked.size(), 1u);

    // Cancel keeps a window with an unsaved record open, also when a caller
    // closes a range of kinds.
    g_asked.clear();
    CloseKinds(kDocMeasurement, kDocMeasurement);
    EXPECT_TRUE(IsWindow(mid));
    ASSERT_EQ(g_asked.size(), 1u);
    EXPECT_EQ(g_asked[0], std::make_pair(2305, std::string("Mid")));
    g_answer = IDNO;
    SendMessageA(mid, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(mid));

    // A design slot with an unsaved unit: Cancel keeps it, No resets it.
    DesignSlots()[0].flags |= kSlotHasUnit | kSlotUnsaved;
    g_asked.clear();
    g_answer = IDCANCEL;
    EXPECT_EQ(QuerySaveDesign(0, true), 0);
    EXPECT_TRUE(DesignSlots()[0].flags & kSlotHasUnit);
    ASSERT_EQ(g_asked.size(), 1u);
    EXPECT_EQ(g_asked[0], std::make_pair(2304, std::string("1")));
    g_answer = IDNO;
    EXPECT_EQ(QuerySaveDesign(0, true), 1);
    EXPECT_FALSE(DesignSlots()[0].flags & kSlotHasUnit);
}

}  // namespace
