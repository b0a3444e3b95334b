#include "audio/wave_error.h"

#include <atomic>
#include <mutex>
#include <string>

namespace srx {
namespace {

std::mutex g_lastMutex;
std::string g_lastText;
int g_lastLine = 0;

void RememberWaveError(const char* text, int line) {
    std::lock_guard<std::mutex> lock(g_lastMutex);
    if (text && *text) g_lastText = text;
    else g_lastText.clear();
    g_lastLine = line;
}

std::atomic<WaveErrorSink> g_sink{&RememberWaveError};

}  // namespace

void ReportWaveError(const char* text, int line) { g_sink.load()(text ? text : "", line); }

void SetWaveErrorSink(WaveErrorSink sink) { g_sink.store(sink ? sink : &RememberWaveError); }

const char* LastWaveError() {
    // The string lives until the next report; callers are tests and the
    // command line tool, which read it right after the failing call.
    std::lock_guard<std::mutex> lock(g_lastMutex);
    return g_lastText.c_str();
}

int LastWaveErrorLine() {
    std::lock_guard<std::mutex> lock(g_lastMutex);
    return g_lastLine;
}

void ClearLastWaveError() { RememberWaveError("", 0); }

}  // namespace srx
