// Error reporting for the streaming wave path. The portable code only knows
// a sink function; the Windows build installs the message box, tests and
// tools keep the default sink, which just remembers the last report.
#pragma once

namespace srx {

using WaveErrorSink = void (*)(const char* text, int line);

// Passes a failure of the streaming path to the current sink. `line` is the
// source line that detected it (callers pass __LINE__).
void ReportWaveError(const char* text, int line);

// Installs `sink`; nullptr restores the default sink.
void SetWaveErrorSink(WaveErrorSink sink);

// What the default sink saw last: the text ("" when nothing since the last
// clear) and its line (0 then).
const char* LastWaveError();
int LastWaveErrorLine();
void ClearLastWaveError();

}  // namespace srx

#ifdef _WIN32
// HWND without <windows.h>: with STRICT (mingw-w64's default) HWND is
// `struct HWND__*`, so this declaration matches the real one.
struct HWND__;

namespace srx {

// Shows the wave error box, owned by the window given to InstallWaveErrorBox.
void WaveErrorBox(const char* text, int line);

// Makes WaveErrorBox the sink; `owner` may be null.
void InstallWaveErrorBox(HWND__* owner);

}  // namespace srx
#endif
