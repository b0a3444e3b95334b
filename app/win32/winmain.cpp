// Program entry of the workbench.
#include <windows.h>

#include "app/win32/frame.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show) {
    return srx::SonRixMain(instance, commandLine, show);
}
