#pragma once
#include <windows.h>

namespace srx {

extern const char kFrameClass[];

// Registers the frame class; false when registration failed.
bool RegisterFrameClass(HINSTANCE instance);

// Creates the frame with its MDI client, titled from "SRWT.TXT" in the
// program folder or the program's default title.
HWND CreateFrame(HINSTANCE instance);

HWND FrameClient();

// The message loop; its result is the process exit code.
int RunMessageLoop();

}  // namespace srx
