// The MLS stimulus file: lead silence, the sequence at its level (with the
// pre-emphasis shelf when chosen) and the tail.
#include "measure/mls.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "audio/wave_file.h"
#include "dsp/numeric.h"
#include "platform/file_io.h"

namespace srx {

namespace {

// Largest scale of a stimulus sample: just below full scale.
constexpr double kFullScale = 2147483647.0;
constexpr double kHeadroom = 0.9999;

}  // namespace

// ---------------------------------------------------------------- stimulus

MlsStimulusLevels MlsStimulusLevelsFrom(const MeasurementSettings& ms) {
    MlsStimulusLevels l;
    l.preSilence = ms.preSilence;
    l.stopDelay = ms.stopDelayPlusOne > 0 ? (double(ms.stopDelayPlusOne) - 1.0) / 1000.0 : 0.0;
    l.levelDb = ms.waveformLevelDb;
    return l;
}

uint32_t MlsLeadFrames(double preSilence, uint32_t rate) {
    const double v = RoundHalfAway(double(rate) * preSilence);
    return v > 0 && v < 4e9 ? uint32_t(v) : 0;
}

uint32_t MlsTailFrames(double stopDelay, uint32_t rate) {
    const double v = RoundHalfAway(double(rate) * (stopDelay + 0.024));
    return v > 0 && v < 4e9 ? uint32_t(v) : 0;
}

bool WriteMlsStimulus(const std::string& path, int order, bool preEmphasis, uint32_t rate, int channels, int bits,
                      const MlsStimulusLevels& levels) {
    if (order < kMlsMinOrder || order > kMlsMaxOrder || rate < 1 || channels < 1 || bits == 0) return false;
    // The sample writer carries one or two channels of 8 to 32 bits.
    if (channels > 2 || (bits != 8 && bits != 16 && bits != 24 && bits != 32)) return false;
    if (!std::isfinite(levels.levelDb) || !std::isfinite(levels.preSilence) || !std::isfinite(levels.stopDelay))
        return false;
    const uint64_t lead = MlsLeadFrames(levels.preSilence, rate), tail = MlsTailFrames(levels.stopDelay, rate);
    const uint64_t frames = lead + MlsSequenceLength(order) + tail;
    if (frames * uint64_t(channels) * uint64_t(bits / 8) > 0x7fffff00ull) return false;

    std::vector<double> shape;
    try {
        shape = MlsStimulusShape(order, preEmphasis, rate);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const double scale = std::pow(10.0, levels.levelDb / 20.0) * kHeadroom * kFullScale;

    SafeFileWriter f(path);
    if (!f.IsOpen()) return false;
    bool ok = WriteWaveHeader(f.get(), uint32_t(frames), rate, uint16_t(channels), uint16_t(bits));
    for (uint64_t i = 0; ok && i < lead; ++i) ok = WriteSampleFrame(f.get(), 0, 0, channels, bits);
    for (size_t i = 0; ok && i < shape.size(); ++i) {
        const double v = std::clamp(RoundHalfAway(shape[i] * scale), -2147483648.0, 2147483647.0);
        ok = WriteSampleFrame(f.get(), int32_t(v), int32_t(v), channels, bits);
    }
    for (uint64_t i = 0; ok && i < tail; ++i) ok = WriteSampleFrame(f.get(), 0, 0, channels, bits);
    return ok && f.Commit();
}

bool WriteMlsStimulus(const std::string& path, int order, bool preEmphasis, uint32_t rate, int channels, int bits) {
    return WriteMlsStimulus(path, order, preEmphasis, rate, channels, bits,
                            MlsStimulusLevelsFrom(CurrentMeasurementSettings()));
}

}  // namespace srx
