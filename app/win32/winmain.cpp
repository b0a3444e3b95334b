// Program entry of the workbench.
#include <windows.h>

#include "app/win32/frame.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    if (!srx::RegisterFrameClass(instance)) return 1;
    HWND frame = srx::CreateFrame(instance);
    if (!frame) return 1;
    ShowWindow(frame, show);
    UpdateWindow(frame);
    return srx::RunMessageLoop();
}
