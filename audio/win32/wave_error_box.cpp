#include <windows.h>

#include <cstdio>

#include "audio/wave_error.h"

namespace srx {
namespace {
HWND g_owner = nullptr;
}

void WaveErrorBox(const char* text, int line) {
    char message[1024];
    std::snprintf(message, sizeof message, "%s\n\nKVWAVE on line: %d", text ? text : "", line);
    MessageBoxA(g_owner, message, "Son-Rix: WAVE Error", MB_ICONEXCLAMATION | MB_OK);
}

void InstallWaveErrorBox(HWND owner) {
    g_owner = owner;
    SetWaveErrorSink(&WaveErrorBox);
}

}  // namespace srx
