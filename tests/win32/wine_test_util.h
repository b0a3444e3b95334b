#pragma once
// Helpers the Win32 tests share: message pumps, window searches, dialog
// controls, scratch folders, memory bitmaps, a hidden frame of the test's
// own and the running program as a fixture.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <atomic>
#include <thread>
#include <string>
#include <vector>

#include "app/settings.h"
#include "app/win32/frame.h"
#include "app/win32/registry_store.h"
#include "app/win32/shell.h"
#include "app/win32/soundcard.h"
#include "audio/virtual_device.h"
#include "design/design_slot.h"
#include "measure/measurement_settings.h"
#include "measure/soundcard_check.h"
#include "measure/stimulus_files.h"

namespace srx::testutil {

namespace fs = std::filesystem;

// Dispatches this thread's messages until `done` answers true or `ms` pass.
inline bool PumpUntil(const std::function<bool()>& done, int ms = 20000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (m.message == WM_QUIT) continue;
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}
inline void PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
}

// Runs `step` on its own thread every 20 ms until it answers true (or 10 s).
class Watcher {
public:
    explicit Watcher(std::function<bool()> step)
        : thread_([this, step] {
              for (int i = 0; i < 500 && !stop_ && !done_; ++i) {
                  if (step()) done_ = true;
                  else Sleep(20);
              }
          }) {}
    ~Watcher() {
        stop_ = true;
        thread_.join();
    }
    bool Done() {
        PumpUntil([this] { return done_.load(); }, 10000);
        return done_;
    }

private:
    std::atomic<bool> stop_{false}, done_{false};
    std::thread thread_;
};

// The text of the next message box, which is then closed.
inline std::string NextMessageText(const std::function<void()>& action) {
    std::string text;
    Watcher w([&] {
        HWND box = FindWindowA("#32770", ShellCaption());
        if (!box) return false;
        EnumChildWindows(
            box,
            [](HWND c, LPARAM out) -> BOOL {
                char cls[32] = "", buffer[1024] = "";
                GetClassNameA(c, cls, sizeof cls);
                if (lstrcmpiA(cls, "Static") == 0 && GetWindowTextA(c, buffer, sizeof buffer) > 0)
                    *reinterpret_cast<std::string*>(out) += buffer;
                return TRUE;
            },
            LPARAM(&text));
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        return true;
    });
    action();
    EXPECT_TRUE(w.Done());
    return text;
}

enum class CaptionMatch { Exact, Contains };

// A top-level window of another thread whose caption matches; with
// `visibleOnly` hidden windows are passed over.
inline HWND FindOtherThreadWindow(const char* caption, CaptionMatch match = CaptionMatch::Contains,
                                  bool visibleOnly = true) {
    struct Search {
        const char* caption;
        CaptionMatch match;
        bool visibleOnly;
        HWND found;
    } search{caption, match, visibleOnly, nullptr};
    EnumWindows(
        [](HWND w, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            char text[128] = "";
            GetWindowTextA(w, text, sizeof text);
            const std::string title(text);
            const bool matches =
                s->match == CaptionMatch::Exact ? title == s->caption : title.find(s->caption) != std::string::npos;
            if (GetWindowThreadProcessId(w, nullptr) != GetCurrentThreadId() &&
                (!s->visibleOnly || IsWindowVisible(w)) && matches) {
                s->found = w;
                return FALSE;
            }
            return TRUE;
        },
        LPARAM(&search));
    return search.found;
}

// A top-level window of the measurement thread with this caption.
inline HWND FindMeasurementWindow(const char* caption) { return FindOtherThreadWindow(caption, CaptionMatch::Exact); }

// The default appearance, curve styles and scales of a fresh installation,
// so that painters draw alike whatever ran before.
inline void UseDefaultGraphLooks(WindowHistory& w) {
    SettingsBlocks defaults;
    LoadDefaults(defaults, DesktopArea{1280, 1024, 0, 0, 1280, 1024});
    w.appearance = defaults.window.appearance;
    std::memcpy(w.curveStyles, defaults.window.curveStyles, sizeof w.curveStyles);
    std::memcpy(w.printerCurveStyles, defaults.window.printerCurveStyles, sizeof w.printerCurveStyles);
    w.scales = defaults.window.scales;
}

inline std::string DlgText(HWND w, int id) {
    char text[256] = "";
    GetDlgItemTextA(w, id, text, sizeof text);
    return text;
}
// Posted for dialogs of another thread or modal ones not yet running.
inline void PostClick(HWND w, int id) {
    PostMessageA(w, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(GetDlgItem(w, id)));
}
inline void SendClick(HWND w, int id) {
    SendMessageA(w, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(GetDlgItem(w, id)));
}

// String ids a message hook saw; hooks may run on the measurement thread.
class MessageLog {
public:
    void Add(int id) {
        std::lock_guard<std::mutex> hold(lock_);
        ids_.push_back(id);
    }
    std::vector<int> Ids() {
        std::lock_guard<std::mutex> hold(lock_);
        return ids_;
    }
    void Clear() {
        std::lock_guard<std::mutex> hold(lock_);
        ids_.clear();
    }

private:
    std::mutex lock_;
    std::vector<int> ids_;
};

// A fresh folder under the temporary directory, named after the test, gone
// with the object.
class TempDir {
public:
    explicit TempDir(const std::string& prefix)
        : path_(fs::temp_directory_path() /
                (prefix + " " + ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

// A 32-bit top-down DIB section selected into a memory DC.
class Dib {
public:
    Dib(int width, int height, COLORREF fill) : width_(width), height_(height) {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = width;
        bi.bmiHeader.biHeight = -height;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        bits_ = static_cast<uint32_t*>(bits);
        old_ = SelectObject(dc_, bitmap_);
        const uint32_t packed = (GetRValue(fill) << 16) | (GetGValue(fill) << 8) | GetBValue(fill);
        std::fill(bits_, bits_ + width * height, packed);
    }
    Dib(const Dib&) = delete;
    Dib& operator=(const Dib&) = delete;
    ~Dib() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    // The clipboard's bitmap, copied; null when it holds none.
    static std::unique_ptr<Dib> FromClipboard() {
        if (!OpenClipboard(nullptr)) return nullptr;
        std::unique_ptr<Dib> copy;
        BITMAP bm{};
        if (auto bitmap = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
            bitmap && GetObjectA(bitmap, sizeof bm, &bm)) {
            copy = std::make_unique<Dib>(bm.bmWidth, bm.bmHeight, RGB(0, 0, 0));
            HDC source = CreateCompatibleDC(nullptr);
            HGDIOBJ old = SelectObject(source, bitmap);
            BitBlt(copy->dc(), 0, 0, bm.bmWidth, bm.bmHeight, source, 0, 0, SRCCOPY);
            SelectObject(source, old);
            DeleteDC(source);
        }
        CloseClipboard();
        return copy;
    }
    HDC dc() const { return dc_; }
    int width() const { return width_; }
    int height() const { return height_; }
    RECT Area() const { return RECT{0, 0, width_, height_}; }
    COLORREF At(int x, int y) const {
        GdiFlush();
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
        const uint32_t p = bits_[static_cast<size_t>(y) * width_ + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    // Pixels of colour c in the rectangle (right and bottom exclusive).
    int Count(COLORREF c, RECT r) const {
        int n = 0;
        for (int y = std::max<LONG>(0, r.top); y < std::min<LONG>(height_, r.bottom); ++y)
            for (int x = std::max<LONG>(0, r.left); x < std::min<LONG>(width_, r.right); ++x)
                if (At(x, y) == c) ++n;
        return n;
    }
    bool Near(int x, int y, COLORREF c, int radius = 2) const {
        return Count(c, RECT{x - radius, y - radius, x + radius + 1, y + radius + 1}) > 0;
    }

private:
    int width_, height_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
    uint32_t* bits_;
};

// A hidden MDI frame and client of the test's own, standing in for the
// program's in Shell() while it lives. Hidden, because destroying a mapped
// window makes Wine wait for a window manager that Xvfb does not have.
class ScratchFrame {
public:
    explicit ScratchFrame(bool withStatus = false)
        : saved_{Shell().frame, Shell().client, Shell().status, Shell().toolbar, Shell().combo} {
        HINSTANCE inst = GetModuleHandleA(nullptr);
        static const bool registered = [inst] {
            WNDCLASSA wc{};
            wc.lpfnWndProc = Proc;
            wc.hInstance = inst;
            wc.lpszClassName = "SrxTestFrame";
            return RegisterClassA(&wc) != 0;
        }();
        (void)registered;
        RegisterDocumentClass(inst);
        Shell().instance = inst;
        Shell().client = nullptr;
        frame = CreateWindowExA(0, "SrxTestFrame", "test", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 1000, 760,
                                nullptr, nullptr, inst, nullptr);
        CLIENTCREATESTRUCT ccs{nullptr, static_cast<UINT>(kFirstChildId)};
        client = CreateWindowExA(WS_EX_CLIENTEDGE, "MDICLIENT", nullptr, WS_CHILD | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0,
                                 980, 700, frame, HMENU(INT_PTR(kClientId)), inst, &ccs);
        Shell().frame = frame;
        Shell().client = client;
        if (withStatus) {
            Shell().status = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, frame, nullptr,
                                             inst, nullptr);
            int edges[7] = {100, 200, 300, 400, 500, 600, -1};
            SendMessageA(Shell().status, SB_SETPARTS, 7, LPARAM(edges));
        }
    }
    ScratchFrame(const ScratchFrame&) = delete;
    ScratchFrame& operator=(const ScratchFrame&) = delete;
    ~ScratchFrame() {
        DestroyAllWindows();
        if (frame) DestroyWindow(frame);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        FrameState& s = Shell();
        s.frame = saved_[0];
        s.client = saved_[1];
        s.status = saved_[2];
        s.toolbar = saved_[3];
        s.combo = saved_[4];
    }
    bool ok() const { return frame && client; }

    HWND frame = nullptr, client = nullptr;

private:
    // The toolbar asks its parent for buttons while it restores a layout.
    static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
        if (m == WM_NOTIFY) {
            bool handled = false;
            const LRESULT r = ToolbarNotify(w, reinterpret_cast<NMHDR*>(lp), &handled);
            if (handled) return r;
        }
        return DefFrameProcA(w, Shell().client, m, wp, lp);
    }
    HWND saved_[5];
};

// A test on a scratch frame; subclasses call OpenFrame once their settings
// are in place.
class ScratchFrameTest : public ::testing::Test {
protected:
    void OpenFrame(bool withStatus = false) {
        scratch_ = std::make_unique<ScratchFrame>(withStatus);
        ASSERT_TRUE(scratch_->ok());
        frame_ = scratch_->frame;
    }
    void TearDown() override { scratch_.reset(); }

    std::unique_ptr<ScratchFrame> scratch_;
    HWND frame_ = nullptr;
};

// For dialogs of the test's own: the program's resources, default
// measurement settings, and the settings and program folder the test
// changes put back when it ends.
class MeasurementSettingsScope {
public:
    MeasurementSettingsScope() : settings_(CurrentMeasurementSettings()), folder_(MeasureProgramFolder()) {
        InitCommonControls();
        Shell().instance = GetModuleHandleA(nullptr);
        ResetMeasurementDefaults(CurrentMeasurementSettings());
    }
    MeasurementSettingsScope(const MeasurementSettingsScope&) = delete;
    MeasurementSettingsScope& operator=(const MeasurementSettingsScope&) = delete;
    ~MeasurementSettingsScope() {
        CurrentMeasurementSettings() = settings_;
        SetMeasureProgramFolder(folder_);
    }

private:
    MeasurementSettings settings_;
    std::string folder_;
};

// A hidden window of class `name` whose messages go to `proc`.
inline HWND OwnerWindow(WNDPROC proc, const char* name) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = name;
    RegisterClassA(&wc);
    return CreateWindowExA(0, name, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
}

// The program started in this process on fresh settings, closed after the
// test. Subclasses call TearDown first: closing may still ask their hooks.
class RunningProgram : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
        for (int i = 0; i < kDesignSlotCount; ++i) ResetDesignSlot(i);
        loudspeakerBefore_ = ProgramVirtualLoudspeaker().Setup();
        // With a sound card (PulseAudio under Wine) a fresh start would open
        // the settings to choose it; these tests use the virtual loudspeaker.
        realCard_ = ProgramWaveDevices().VirtualId() > 0;
        if (realCard_) {
            InstallMeasurementSettingsHooks();
            LoadSettings();
            ConfigureVirtualLoudspeaker(CurrentMeasurementSettings(), ProgramWaveDevices().VirtualId());
            SaveSettings();
        }
    }
    void TearDown() override {
        if (HWND frame = Shell().frame) {
            PostMessageA(frame, WM_CLOSE, 0, 0);
            EXPECT_TRUE(PumpUntil([frame] { return !IsWindow(frame); }));
        }
        PumpUntil([] { return !Shell().measurementBusy; }, 5000);
        RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
        ProgramVirtualLoudspeaker().SetSetup(loudspeakerBefore_);
    }
    // Starts the program and lets its start-up sound-card test end.
    HWND Start(const std::string& commandLine = "") {
        const int tests = CardTestsRun();
        if (!StartFirstInstance(GetModuleHandleA(nullptr), commandLine.c_str(), SW_SHOWNORMAL)) return nullptr;
        EXPECT_TRUE(PumpUntil([tests] { return CardTestsRun() > tests && !Shell().measurementBusy; }));
        return Shell().frame;
    }
    // Starts the program with its waves in `waveFolder` and a short MLS of
    // one pass with no extras, as the measuring tests want it.
    HWND StartForMls(const std::string& waveFolder) {
        if (!Start()) return nullptr;
        std::snprintf(Settings().window.stimulusFolder, kPathChars, "%s", waveFolder.c_str());
        MeasurementSettings& ms = CurrentMeasurementSettings();
        EXPECT_EQ(ms.sampleRate, 44100u);
        ms.mlsOrder = 13;
        ms.mlsPreAverages = 1;
        ms.flags &= ~(kMsfMlsWarmUp | kMsfMlsManualAverages | kMsfMlsPreEmphasis | kMsfProbeCompensation);
        return Shell().frame;
    }
    bool realCard_ = false;
    VirtualSetup loudspeakerBefore_;
};

}  // namespace srx::testutil
