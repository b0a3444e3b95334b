#pragma once
// Helpers the Win32 tests share: waiting on this thread's messages, and
// finding the windows that dialogs on the measurement thread open.
#include <windows.h>

#include <chrono>
#include <functional>
#include <string>

namespace srx::testutil {

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
            const bool matches = s->match == CaptionMatch::Exact ? title == s->caption
                                                                 : title.find(s->caption) != std::string::npos;
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

}  // namespace srx::testutil
