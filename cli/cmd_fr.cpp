// sonrix-cli fr: the frequency response of a saved impulse response, with
// the derived phase family, written as a measurement file.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "data/native_files.h"
#include "data/records.h"
#include "dsp/frequency_response.h"
#include "dsp/window.h"
#include "resources/string_table.h"

namespace srx::cli {

namespace {

constexpr const char* kUsage =
    "usage: sonrix-cli fr IMPULSE.TWF OUT.MES [--start HZ] [--ppo N] [--window TYPE] [--length S]\n"
    "  TYPE: 0..5 or rectangular, bartlett, hanning, hamming, blackman, blackman-harris\n";

bool ParseNumber(const char* text, double* out) {
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end || errno || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

int ParseWindow(const char* text) {
    static const char* const kNames[] = {"rectangular", "bartlett", "hanning",
                                         "hamming",     "blackman", "blackman-harris"};
    double v;
    if (ParseNumber(text, &v)) return v == std::floor(v) && v >= 0 && v <= 5 ? int(v) : -1;
    for (int i = 0; i < 6; ++i)
        if (strcasecmp(text, kNames[i]) == 0) return i;
    return -1;
}

int Fail(const Status& s, const std::string& path) {
    std::fprintf(stderr, "sonrix-cli: %s: %s\n", path.c_str(), StringText(s.stringId));
    return 1;
}

}  // namespace

int RunFr(int argc, char** argv) {
    std::string in, out;
    double start = 0, length = 0;
    int ppo = 0, window = -1;
    for (int i = 0; i < argc; ++i) {
        const char* a = argv[i];
        const bool hasValue = i + 1 < argc;
        double v;
        if (std::strcmp(a, "--start") == 0 && hasValue && ParseNumber(argv[i + 1], &v) && v >= 0) {
            start = v;
            ++i;
        } else if (std::strcmp(a, "--ppo") == 0 && hasValue && ParseNumber(argv[i + 1], &v) &&
                   v >= 1 && v <= 1000 && v == std::floor(v)) {
            ppo = int(v);
            ++i;
        } else if (std::strcmp(a, "--window") == 0 && hasValue && (window = ParseWindow(argv[i + 1])) >= 0) {
            ++i;
        } else if (std::strcmp(a, "--length") == 0 && hasValue && ParseNumber(argv[i + 1], &v) && v > 0) {
            length = v;
            ++i;
        } else if (a[0] != '-' && in.empty()) {
            in = a;
        } else if (a[0] != '-' && out.empty()) {
            out = a;
        } else {
            std::fprintf(stderr, "sonrix-cli fr: bad argument \"%s\"\n%s", a, kUsage);
            return 2;
        }
    }
    if (in.empty() || out.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    TimeRecord rec;
    Status s = LoadTimeRecord(in, rec);
    if (!s) return Fail(s, in);

    AnalysisSettings settings = DefaultAnalysisSettings();
    if (window >= 0) settings.windowType = window;
    else if (rec.h.windowType >= kWindowRectangular && rec.h.windowType <= kWindowBlackmanHarris)
        settings.windowType = rec.h.windowType;
    if (length > 0) {
        // Only the length changes: the start and the Delay Free choice stay.
        const bool delayFree = (rec.h.flags & kTwfDelayFree) != 0;
        ApplyTimeWindow(rec, delayFree ? kTimeWindowDelayFree : kTimeWindowManual, length, -1);
    }
    if (ppo == 0) ppo = PointsPerOctaveFor(rec, settings);

    Status warning;
    std::unique_ptr<Measurement> m = ImpulseToFrequencyResponse(rec, start, ppo, 0, settings, &warning);
    if (!m) {
        std::fprintf(stderr,
                     "sonrix-cli: %s: the time window does not fit the impulse response "
                     "(start %d, length %g s, %d samples)\n",
                     in.c_str(), int(rec.h.windowStart), double(rec.h.fftWindowLength),
                     int(rec.h.sampleCount));
        return 1;
    }
    if (!warning) std::fprintf(stderr, "sonrix-cli: %s\n", StringText(warning.stringId));
    DerivePhaseData(*m, settings);
    std::memcpy(m->h.title, rec.h.title, sizeof m->h.title);
    s = SaveMeasurement(*m, out);
    if (!s) return Fail(s, out);

    std::printf(
        "{\"file\": %s, \"points\": %d, \"firstFrequency\": %.6g, \"lastFrequency\": %.6g, "
        "\"maxLevel\": %.4f, \"windowType\": %d, \"minimumPhase\": %s, \"delayFreeFallback\": %s}\n",
        JsonString(out).c_str(), int(m->h.pointCount), double(m->h.firstFrequency),
        double(m->h.lastFrequency), double(m->h.maxLevel), int(m->h.windowType),
        (m->h.flags & kMesStoredMinimumPhase) ? "true" : "false", warning ? "false" : "true");
    return 0;
}

}  // namespace srx::cli
