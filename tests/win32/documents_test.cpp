// Document windows under a frame of the test's own: creation and titles,
// the undo store, clipboard copies and the save questions (answered by a
// hook instead of message boxes).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "app/settings.h"
#include "data/view_flags.h"
#include "app/win32/documents.h"
#include "app/win32/shell.h"
#include "data/native_files.h"
#include "design/design_slot.h"

using namespace srx;

namespace {

HWND g_client = nullptr;
int g_answer = IDNO;
std::vector<std::pair<int, std::string>> g_asked;

int Answer(HWND, int id, UINT, const std::string& argument) {
    g_asked.emplace_back(id, argument);
    return g_answer;
}

LRESULT CALLBACK TestFrameProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return DefFrameProcA(w, g_client, m, wp, lp);
}

void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Title(HWND w) { return WindowTitle(w); }

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

// The clipboard bitmap as 32-bit pixels (0x00RRGGBB), with its size.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    COLORREF At(int x, int y) const {
        const uint32_t p = pixels[static_cast<std::size_t>(y) * width + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
};

Picture ClipboardPicture() {
    Picture pic;
    if (!OpenClipboard(nullptr)) return pic;
    HBITMAP bitmap = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
    BITMAP bm{};
    if (bitmap && GetObjectA(bitmap, sizeof bm, &bm)) {
        pic.width = bm.bmWidth;
        pic.height = bm.bmHeight;
        pic.pixels.resize(static_cast<std::size_t>(pic.width) * pic.height);
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = pic.width;
        bi.bmiHeader.biHeight = -pic.height;  // top-down
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        HDC dc = GetDC(nullptr);
        GetDIBits(dc, bitmap, 0, static_cast<UINT>(pic.height), pic.pixels.data(), &bi, DIB_RGB_COLORS);
        ReleaseDC(nullptr, dc);
    }
    CloseClipboard();
    return pic;
}

// The colour the display gives `c` (exact on true-colour screens).
COLORREF Shown(COLORREF c) {
    HDC dc = GetDC(nullptr);
    const COLORREF nearest = GetNearestColor(dc, c);
    ReleaseDC(nullptr, dc);
    return nearest;
}

class DocWindows : public ::testing::Test {
protected:
    void SetUp() override {
        HINSTANCE inst = GetModuleHandleA(nullptr);
        WNDCLASSA wc{};
        wc.lpfnWndProc = TestFrameProc;
        wc.hInstance = inst;
        wc.lpszClassName = "SrxDocTestFrame";
        RegisterClassA(&wc);
        ASSERT_TRUE(RegisterDocumentClass(inst));
        frame_ = CreateWindowExA(0, "SrxDocTestFrame", "documents", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 900,
                                 700, nullptr, nullptr, inst, nullptr);
        ASSERT_NE(frame_, nullptr);
        CLIENTCREATESTRUCT ccs{nullptr, static_cast<UINT>(kFirstChildId)};
        g_client = CreateWindowExA(WS_EX_CLIENTEDGE, "MDICLIENT", nullptr, WS_CHILD | WS_CLIPCHILDREN | WS_VISIBLE,
                                   0, 0, 880, 660, frame_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kClientId)),
                                   inst, &ccs);
        ASSERT_NE(g_client, nullptr);
        savedFrame_ = Shell().frame;
        savedClient_ = Shell().client;
        Shell().frame = frame_;
        Shell().client = g_client;
        Shell().instance = inst;
        Shell().activeDesign = 0;
        // The frame stays hidden: destroying a mapped window makes Wine wait
        // for a window manager that Xvfb does not have.
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
        if (frame_) DestroyWindow(frame_);
        Pump();
        Shell().frame = savedFrame_;
        Shell().client = savedClient_;
        g_client = nullptr;
        for (int i = 0; i < kDesignSlotCount; ++i) ResetDesignSlot(i);
    }

    HWND frame_ = nullptr;
    HWND savedFrame_ = nullptr, savedClient_ = nullptr;
};

TEST_F(DocWindows, SameFileTwiceGetsNumberedTitlesAndWindowsAreFoundByKind) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string path = std::string(temp) + "srx_doc_same.mes";
    {
        Measurement* m = MakeMeasurement("Woofer", 3, false);
        ASSERT_TRUE(SaveMeasurement(*m, path));
        delete m;
    }
    std::vector<HWND> windows;
    for (int i = 0; i < 3; ++i) {
        auto record = NewMeasurement(kCurveFrequencyResponse);
        ASSERT_TRUE(LoadMeasurement(path, *record, LoadPurpose::ForWindow));
        const DocumentPlan plan = DocumentsFor(*record).at(0);
        const std::string title = DocumentTitle(plan, TextOf(record->h.title));
        Measurement* data = record.release();
        HWND w = CreateDocumentWindow(title.c_str(), plan.kind, data);
        ASSERT_NE(w, nullptr);
        NoteOpened(*data, path);
        EXPECT_EQ(ActiveDocument(), w);
        MakeTitleUnique(ActiveDocument());
        EXPECT_EQ(DocumentKindOf(w), kDocMeasurement);
        EXPECT_EQ(DocumentDataOf(w), data);
        windows.push_back(w);
    }
    DeleteFileA(path.c_str());
    EXPECT_EQ(Title(windows[0]), "Frequency Response: Woofer");
    EXPECT_EQ(Title(windows[1]), "Frequency Response: Woofer : 2");
    EXPECT_EQ(Title(windows[2]), "Frequency Response: Woofer : 3");
    EXPECT_EQ(CountWindowsOfKind(kDocMeasurement), 3);

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
    EXPECT_EQ(DocumentKindOf(g_client), -1);

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

TEST_F(DocWindows, UndoBeforeTheWaterfallClosesTheWaterfallWindow) {
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
}

TEST_F(DocWindows, UndoThatWouldLoseTheOnlyWindowIsRefused) {
    TimeRecord* t = MakeTimeRecord("pir", true);
    HWND impulse = CreateDocumentWindow("Impulse Response: pir", kDocImpulse, t);
    HWND waterfall = CreateDocumentWindow("Waterfall: pir", kDocWaterfall, t);
    ASSERT_EQ(SaveUndoStep(waterfall), 1);  // the stored record has no waterfall yet
    t->h.flags |= kTwfWaterfall;
    t->slices.resize(2);
    SendMessageA(impulse, WM_CLOSE, 0, 0);
    ASSERT_FALSE(IsWindow(impulse));
    EXPECT_TRUE(g_asked.empty());  // the waterfall still shows the record

    EXPECT_EQ(Undo(waterfall), 0);
    ASSERT_EQ(g_asked.size(), 1u);
    EXPECT_EQ(g_asked[0].first, 2339);
    EXPECT_TRUE(IsWindow(waterfall));
    EXPECT_EQ(t->slices.size(), 2u);
    EXPECT_FALSE(HasUndo(waterfall));
}

TEST_F(DocWindows, ClipboardCopyUsesTheGraphBackgroundOnlyForGraphs) {
    Settings().window.appearance.screenColours.background = RGB(0, 0, 128);
    HWND graph = CreateDocumentWindow("Frequency Response: g", kDocMeasurement, MakeMeasurement("g", 2, true));
    ASSERT_EQ(CopyWindowToClipboard(graph), 1);
    RECT rc;
    GetClientRect(graph, &rc);
    Picture pic = ClipboardPicture();
    ASSERT_EQ(pic.width, rc.right + 1);
    ASSERT_EQ(pic.height, rc.bottom + 1);
    EXPECT_EQ(pic.At(0, 0), Shown(RGB(0, 0, 128)));
    EXPECT_EQ(pic.At(pic.width - 1, pic.height - 1), Shown(RGB(0, 0, 128)));
    EXPECT_TRUE(IsWindowEnabled(frame_));

    HWND schematic = CreateDocumentWindow("Crossover", kDocXoverSchematic, nullptr);
    ASSERT_EQ(CopyWindowToClipboard(schematic), 1);
    pic = ClipboardPicture();
    ASSERT_GT(pic.width, 1);
    EXPECT_EQ(pic.At(0, 0), RGB(255, 255, 255));
    EXPECT_EQ(pic.At(pic.width - 1, pic.height - 1), RGB(255, 255, 255));
    EXPECT_TRUE(g_asked.empty());
}

TEST_F(DocWindows, DesignWindowShowsItsReportOnlyWithAUnit) {
    DesignSlot* slot = &DesignSlots()[1];
    HWND design = CreateDocumentWindow("Design #2: NONAME.002", 1, slot);
    ASSERT_NE(design, nullptr);
    RECT rc;
    GetClientRect(design, &rc);
    EXPECT_LE(rc.right, 250);
    auto darkPixels = [&] {
        EXPECT_EQ(CopyWindowToClipboard(design), 1);
        Picture pic = ClipboardPicture();
        int dark = 0;
        for (uint32_t p : pic.pixels) dark += (p & 0xFFFFFF) == 0;
        return dark;
    };
    EXPECT_EQ(darkPixels(), 0);
    slot->flags |= kSlotHasUnit;
    EXPECT_GT(darkPixels(), 50);
}

TEST_F(DocWindows, DesignUndoRestoresTheSlotAndANewUnitStartsAfresh) {
    DesignSlot& slot = DesignSlots()[2];
    slot.flags |= kSlotHasUnit;
    std::memset(slot.unitParameters, 1, sizeof slot.unitParameters);
    HWND design = CreateDocumentWindow("Design #3: a", 2, &slot);
    ASSERT_EQ(SaveUndoStep(design), 1);
    EXPECT_TRUE(slot.flags & kSlotUndoMark);
    std::memset(slot.unitParameters, 2, sizeof slot.unitParameters);
    slot.flags |= kSlotHasBox;

    slot.flags |= kSlotDialogOpen;
    EXPECT_EQ(Undo(design), 0);
    ASSERT_EQ(g_asked.size(), 1u);
    EXPECT_EQ(g_asked[0].first, 2338);
    slot.flags &= ~kSlotDialogOpen;

    ASSERT_EQ(Undo(design), 1);
    EXPECT_EQ(slot.unitParameters[0], 1);
    EXPECT_EQ(slot.unitParameters[511], 1);
    EXPECT_FALSE(slot.flags & kSlotHasBox);

    // Two steps, then another unit goes into the slot (no undo mark): the
    // next step drops the steps of the old unit.
    ASSERT_EQ(SaveUndoStep(design), 1);
    ASSERT_EQ(SaveUndoStep(design), 1);
    EXPECT_EQ(UndoFilesOf(design).size(), 2u);
    ResetDesignSlot(2);
    slot.flags |= kSlotHasUnit;
    ASSERT_EQ(SaveUndoStep(design), 1);
    EXPECT_EQ(UndoFilesOf(design).size(), 1u);
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
