// The frame as the program starts it: first start without stored settings,
// layout and status bar, the private messages, the measurement launcher,
// opening files from the command line, and the hand-over from a second
// sonrix.exe process.
#include "app/win32/frame.h"

#include <shlobj.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "data/view_flags.h"
#include "data/native_files.h"
#include "wine_test_util.h"

using namespace srx;
using testutil::NextMessageText;
using testutil::PumpFor;
using testutil::PumpUntil;
namespace fs = std::filesystem;

namespace {

std::string TitleOf(HWND w) {
    char text[512] = {};
    GetWindowTextA(w, text, sizeof text);
    return text;
}

// Titles of the MDI children, oldest first.
std::vector<std::string> ChildTitles() {
    std::vector<std::string> titles;
    for (HWND w = GetWindow(srx::Shell().client, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT))
        if (!GetWindow(w, GW_OWNER)) titles.insert(titles.begin(), TitleOf(w));
    return titles;
}

class Frame : public testutil::RunningProgram {
protected:
    std::string WriteMeasurement(const std::string& name, const std::string& title) {
        auto m = NewMeasurement(0);
        SetText(m->h.title, title);
        for (int i = 0; i < 10; ++i)
            AddCurvePoint(*m, 100.0 * (i + 1), 80.0, 0, kNoLevel, kNoLevel, 0, kNoLevel, kNoLevel, kNoLevel, kNoLevel,
                          kNoLevel, kNoLevel, kNoLevel);
        std::string path = dir_ / name;
        EXPECT_TRUE(SaveMeasurement(*m, path));
        return path;
    }
    testutil::TempDir dir_{"srx frame test"};
};

TEST_F(Frame, FirstStartWithoutStoredSettings) {
    // Client, toolbar and status bar are laid out in the next test; the
    // second instance finds the frame by its class there too.
    HWND frame = Start();
    ASSERT_NE(frame, nullptr);

    // Placed 32 pixels inside the work area.
    RECT work, rc;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(frame, &rc);
    EXPECT_EQ((std::vector<LONG>{rc.left, rc.top, rc.right, rc.bottom}),
              (std::vector<LONG>{work.left + 32, work.top + 32, work.right - 32, work.bottom - 32}));

    // Shutdown writes the settings back.
    PostMessageA(frame, WM_CLOSE, 0, 0);
    ASSERT_TRUE(PumpUntil([frame] { return !IsWindow(frame); }));
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, kWindowHistoryValue, nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, sizeof(WindowHistory));
    RegCloseKey(key);
}

// A bitmap file of 4 x 2 pixels: the left half red, the right half blue
// (a 54-byte header, then two rows of BGR triples).
void WriteTile(const std::string& path) {
    const unsigned char bmp[] = {'B', 'M', 78, 0,   0, 0, 0, 0, 0,   0, 54, 0,   0,   0, 40, 0,   0,   0, 4, 0,
                                 0,   0,   2,  0,   0, 0, 1, 0, 24,  0, 0,  0,   0,   0, 24, 0,   0,   0, 0, 0,
                                 0,   0,   0,  0,   0, 0, 0, 0, 0,   0, 0,  0,   0,   0, 0,  0,   255, 0, 0, 255,
                                 255, 0,   0,  255, 0, 0, 0, 0, 255, 0, 0,  255, 255, 0, 0,  255, 0,   0};
    FILE* f = fopen(path.c_str(), "wb");
    fwrite(bmp, 1, sizeof bmp, f);
    fclose(f);
}

TEST_F(Frame, LayoutBackgroundAndOpeningFilesFromEverywhere) {
    HWND frame = Start();
    ASSERT_NE(frame, nullptr);
    SetWindowPos(frame, nullptr, 40, 50, 900, 600, SWP_NOZORDER);
    PumpFor(100);

    // The client fills the space between toolbar and status bar.
    RECT client, toolbar, status;
    GetWindowRect(srx::Shell().client, &client);
    GetWindowRect(srx::Shell().toolbar, &toolbar);
    GetWindowRect(srx::Shell().status, &status);
    EXPECT_EQ(client.top, toolbar.bottom);
    EXPECT_EQ(client.bottom, status.top);

    // The clock in the last status pane holds the time of day.
    PumpFor(1200);
    char text[64] = {};
    SendMessageA(srx::Shell().status, SB_GETTEXTA, 6, (LPARAM)text);
    EXPECT_NE(std::string(text).find(':'), std::string::npos) << text;

    // The settings follow the frame's rectangle.
    EXPECT_EQ(Settings().window.frameLeft, 40);
    EXPECT_EQ(Settings().window.frameHeight, 600);

    // The background picture, tiled.
    const std::string tile = dir_ / "tile.bmp";
    WriteTile(tile);
    SetText(Settings().window.backgroundBitmap, tile);
    Settings().window.shellFlags &= ~kShellNoBackground;

    testutil::Dib target(64, 64, RGB(0, 0, 0));
    EXPECT_EQ(SendMessageA(srx::Shell().client, WM_ERASEBKGND, (WPARAM)target.dc(), 0), 1);
    // The first tile, then the next one both ways.
    EXPECT_EQ((std::vector<COLORREF>{target.At(0, 0), target.At(2, 1), target.At(4, 2), target.At(7, 3)}),
              (std::vector<COLORREF>{RGB(255, 0, 0), RGB(0, 0, 255), RGB(255, 0, 0), RGB(0, 0, 255)}));

    // "No background picture" leaves the client its own colour.
    Settings().window.shellFlags |= kShellNoBackground;
    SendMessageA(srx::Shell().client, WM_ERASEBKGND, (WPARAM)target.dc(), 0);
    EXPECT_NE(target.At(0, 0), RGB(255, 0, 0));
    Settings().window.backgroundBitmap[0] = 0;

    // Too low a frame is set back to 100 pixels.
    SetWindowPos(frame, nullptr, 0, 0, 900, 60, SWP_NOMOVE | SWP_NOZORDER);
    PumpFor(100);
    RECT rc;
    GetWindowRect(frame, &rc);
    EXPECT_EQ(rc.bottom - rc.top, 100);

    // Opening files: failures, full design slots, drops.
    int opened = -1;
    EXPECT_EQ(NextMessageText([&] { opened = OpenDocumentFile(frame, (dir_ / "missing.mes").c_str()); }),
              dir_ / "missing.mes" + "\n\nCouldn't open the file !");
    EXPECT_EQ(opened, 0);
    // Foreign or damaged files of every native kind: "Read error !", no
    // window, the file untouched.
    for (const char* name : {"foreign.mes", "foreign.twf", "foreign.stp", "foreign.etc"}) {
        const std::string path = dir_ / name;
        const std::string junk = std::string(name).find("twf") != std::string::npos
                                     ? std::string("@TW101") + std::string(100, '\x7f')
                                     : std::string("RIFF....WAVEfmt not a measurement at all");
        FILE* f = fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fwrite(junk.data(), 1, junk.size(), f);
        fclose(f);
        EXPECT_EQ(NextMessageText([&] { opened = OpenDocumentFile(frame, path.c_str()); }), path + "\n\nRead error !")
            << name;
        EXPECT_EQ(opened, 0) << name;
        EXPECT_TRUE(ChildTitles().empty()) << name;
        EXPECT_EQ(std::filesystem::file_size(path), junk.size()) << name;
    }
    // A .SPK while every slot holds a unit: the slots stay as they are.
    for (int i = 0; i < kDesignSlotCount; ++i) DesignSlots()[i].flags |= kSlotHasUnit;
    srx::Shell().activeDesign = 2;
    EXPECT_EQ(NextMessageText([&] { opened = OpenDocumentFile(frame, "C:\\units\\woofer.SPK"); }),
              "There's no more free slots !");
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(srx::Shell().activeDesign, 2);
    EXPECT_TRUE(ChildTitles().empty());

    // The same file twice gives two windows, the second numbered.
    std::string path = WriteMeasurement("twice.mes", "Twice");
    EXPECT_EQ(OpenDocumentFile(frame, path.c_str()), 1);
    EXPECT_EQ(OpenDocumentFile(frame, path.c_str()), 1);
    // Dropped files open in their order.
    const std::string names[] = {WriteMeasurement("drop b.mes", "Dropped B"), WriteMeasurement("a.mes", "Dropped A")};
    size_t size = sizeof(DROPFILES) + 1;
    for (const std::string& n : names) size += n.size() + 1;
    HGLOBAL drop = GlobalAlloc(GHND, size);
    auto* files = (DROPFILES*)GlobalLock(drop);
    files->pFiles = sizeof(DROPFILES);
    char* p = (char*)(files + 1);
    for (const std::string& n : names) p += strlen(strcpy(p, n.c_str())) + 1;
    GlobalUnlock(drop);
    SendMessageA(frame, WM_DROPFILES, (WPARAM)drop, 0);
    EXPECT_EQ(ChildTitles(),
              (std::vector<std::string>{"Frequency Response: Twice", "Frequency Response: Twice : 2",
                                        "Frequency Response: Dropped B", "Frequency Response: Dropped A"}));

    // A second process hands its files over and ends.
    const std::string a = WriteMeasurement("first one.mes", "First");
    const std::string b = WriteMeasurement("second.mes", "Second");
    const std::string c = WriteMeasurement("third.mes", "Third");

    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const fs::path exe = fs::path(self).parent_path().parent_path() / "bin" / "sonrix.exe";
    ASSERT_TRUE(fs::exists(exe)) << exe.string();
    std::string command = "\"" + exe.string() + "\" \"" + a + "\" \"" + b + "\" \"" + c + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    const bool ended = PumpUntil([&] { return WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0; }, 30000);
    if (!ended) TerminateProcess(pi.hProcess, 1);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    ASSERT_TRUE(ended);
    EXPECT_EQ(code, 0u);

    PumpUntil([] { return ChildTitles().size() >= 7; }, 5000);
    std::vector<std::string> titles = ChildTitles();
    ASSERT_EQ(titles.size(), 7u);
    EXPECT_EQ(std::vector<std::string>(titles.begin() + 4, titles.end()),
              (std::vector<std::string>{"Frequency Response: First", "Frequency Response: Second",
                                        "Frequency Response: Third"}));
    EXPECT_FALSE(fs::exists(HandOverListFile()));
    // Still the only frame.
    EXPECT_EQ(FindWindowA("SON_RIX_WClass", nullptr), frame);
    EXPECT_EQ(FindWindowExA(nullptr, frame, "SON_RIX_WClass", nullptr), nullptr);
}

std::atomic<int> g_dialogs{0};
std::atomic<int> g_priority{0};
HWND g_dialog = nullptr;

INT_PTR CALLBACK HoldingDialog(HWND dialog, UINT msg, WPARAM, LPARAM) {
    if (msg == WM_INITDIALOG) {
        g_priority = GetThreadPriority(GetCurrentThread());
        g_dialog = dialog;
        ++g_dialogs;
        return TRUE;
    }
    if (msg == WM_CLOSE) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

TEST_F(Frame, TheMeasurementLauncherAndWorkerThreads) {
    HWND frame = Start();
    ASSERT_NE(frame, nullptr);
    // While a measurement dialog runs, another does not start.
    g_dialogs = 0;
    g_dialog = nullptr;
    // Template 1 (the splash) stands in for a measurement dialog.
    ASSERT_EQ(RunMeasurementDialog(1, HoldingDialog), 1);
    ASSERT_TRUE(PumpUntil([] { return g_dialog != nullptr; }));
    EXPECT_EQ(g_priority, THREAD_PRIORITY_ABOVE_NORMAL);
    EXPECT_TRUE(srx::Shell().measurementBusy);
    EXPECT_TRUE(GetMenuState(GetMenu(frame), 112, MF_BYCOMMAND) & MF_GRAYED);

    EXPECT_EQ(RunMeasurementDialog(1, HoldingDialog), 0);
    SendMessageA(frame, WM_COMMAND, 703, 0);  // MLS from the menu
    PumpFor(300);
    EXPECT_EQ(g_dialogs, 1);

    PostMessageA(g_dialog, WM_CLOSE, 0, 0);
    ASSERT_TRUE(PumpUntil([] { return !srx::Shell().measurementBusy; }));
    PumpFor(100);
    EXPECT_FALSE(GetMenuState(GetMenu(frame), 112, MF_BYCOMMAND) & MF_GRAYED);
    // Free again: the next one starts.
    g_dialog = nullptr;
    ASSERT_EQ(RunMeasurementDialog(1, HoldingDialog), 1);
    ASSERT_TRUE(PumpUntil([] { return g_dialog != nullptr; }));
    PostMessageA(g_dialog, WM_CLOSE, 0, 0);
    ASSERT_TRUE(PumpUntil([] { return !srx::Shell().measurementBusy; }));
    EXPECT_EQ(g_dialogs, 2);

    // From another thread, as a measurement dialog does it.
    void* block = nullptr;
    HWND window = nullptr;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        block = (void*)SendMessageA(frame, UM_ALLOC, 0, 1 << 20);
        Measurement* m = NewMeasurement(0).release();
        m->h.flags |= kMesSaved;  // no save question at shutdown
        window = (HWND)SendMessageA(frame, UM_CREATEDOC, kDocMeasurement, (LPARAM)m);
        done = true;
    });
    PumpUntil([&] { return done.load(); });
    worker.join();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId());
    EXPECT_EQ(DocumentKindOf(window), kDocMeasurement);
    ASSERT_NE(block, nullptr);
    std::memset(block, 0x5A, 1 << 20);
    EXPECT_EQ(SendMessageA(frame, UM_FREE, 0, (LPARAM)block), 1);
    // A second free of the same block, or a block that is not the frame's,
    // is refused instead of corrupting the heap.
    EXPECT_EQ(SendMessageA(frame, UM_FREE, 0, (LPARAM)block), 0);
    int local = 0;
    EXPECT_EQ(SendMessageA(frame, UM_FREE, 0, (LPARAM)&local), 0);
    // An impossible size fails with 0.
    EXPECT_EQ(SendMessageA(frame, UM_ALLOC, 0, (LPARAM)(SIZE_MAX / 2)), 0);
}

TEST_F(Frame, CommandLineOpensAtMost32FilesInOrder) {
    std::string line = "-x ";
    for (int i = 1; i <= 33; ++i)
        line += "\"" + WriteMeasurement("m" + std::to_string(i) + ".mes", "M" + std::to_string(i)) + "\" ";
    HWND frame = Start(line);
    ASSERT_NE(frame, nullptr);
    std::vector<std::string> titles = ChildTitles();
    ASSERT_EQ(titles.size(), 32u);
    EXPECT_EQ(titles.front(), "Frequency Response: M1");
    EXPECT_EQ(titles.back(), "Frequency Response: M32");
    EXPECT_EQ(srx::Shell().activeDesign, 0);
    EXPECT_TRUE(srx::Shell().designFollowsActivation);
}

}  // namespace
