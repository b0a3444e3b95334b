// The frame window: top-level MDI frame of the workbench.
#include "app/win32/frame.h"

#include <string>

#include "app/frame_title.h"
#include "resources/string_table.h"

namespace srx {

const char kFrameClass[] = "SON_RIX_WClass";

namespace {

HWND g_client = nullptr;

std::string ProgramFolder() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p(path, n);
    size_t slash = p.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
}

LRESULT CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_CREATE: {
            CLIENTCREATESTRUCT ccs{};
            ccs.idFirstChild = 50000;
            g_client = CreateWindowExA(WS_EX_CLIENTEDGE, "MDICLIENT", nullptr,
                                       WS_CHILD | WS_CLIPCHILDREN | WS_VSCROLL | WS_HSCROLL |
                                           WS_VISIBLE,
                                       0, 0, 0, 0, hwnd, nullptr, GetModuleHandleA(nullptr), &ccs);
            return g_client ? 0 : -1;
        }
        case WM_DESTROY:
            g_client = nullptr;
            PostQuitMessage(0);
            return 0;
    }
    return DefFrameProcA(hwnd, g_client, msg, wp, lp);
}

}  // namespace

bool RegisterFrameClass(HINSTANCE instance) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = FrameProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kFrameClass;
    return RegisterClassA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CreateFrame(HINSTANCE instance) {
    std::string title = ChooseFrameTitle(ProgramFolder() + "SRWT.TXT", StringText(2211));
    return CreateWindowExA(0, kFrameClass, title.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 32,
                           32, 1024, 720, nullptr, nullptr, instance, nullptr);
}

HWND FrameClient() { return g_client; }

int RunMessageLoop() {
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) {
        if (!g_client || !TranslateMDISysAccel(g_client, &m)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
    }
    return (int)m.wParam;
}

}  // namespace srx
