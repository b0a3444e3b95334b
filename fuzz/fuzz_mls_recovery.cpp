// Arbitrary bytes as the recorded response of an MLS measurement (single
// channel, and both channels against a pre-emphasised stimulus with the
// channels reversed and inverted), and as a foreign stimulus file. A
// recovered impulse must have the analysis length and a window start inside
// it, and from integer samples it must be finite.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "audio/wave_file.h"
#include "fuzz/fuzz_common.h"
#include "measure/mls.h"

namespace {

using namespace srx;

constexpr int kOrder = 8;
constexpr uint32_t kLength = 1u << kOrder;
constexpr uint32_t kRate = 8000;

// Whether every sample of the format is a scaled integer, i.e. bounded.
bool IntegerSamples(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    WaveFormat format{};
    const bool header = ReadWaveHeader(f, format) != 0;
    std::fclose(f);
    const int bits = format.bitsPerSample;
    const bool container4 = format.channels != 0 && format.blockAlign / format.channels == 4;
    return header && (bits == 8 || bits == 16 || ((bits == 20 || bits == 24) && !container4) ||
                      (bits == 32 && format.formatTag != kWaveFormatFloat));
}

void CheckRecord(const std::unique_ptr<TimeRecord>& r, bool bounded) {
    if (!r || r->samples.size() != kLength || r->h.sampleCount != int32_t(kLength) || r->h.windowStart < 0 ||
        r->h.windowStart >= int32_t(kLength))
        __builtin_trap();
    if (bounded)
        for (float v : r->samples)
            if (!std::isfinite(v)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fuzz::ScratchFile input("mls_response.wav"), plain("mls_stimulus.wav"),
        shelved("mls_stimulus_pre.wav");
    static const bool stimuli = WriteMlsStimulus(plain.path(), kOrder, false, kRate, 2, 16, MlsStimulusLevels{}) &&
                                WriteMlsStimulus(shelved.path(), kOrder, true, kRate, 2, 16, MlsStimulusLevels{});
    if (!stimuli) __builtin_trap();
    if (!input.Write(data, size)) return 0;
    const bool bounded = IntegerSamples(input.path());

    MlsRecoveryOptions options;
    std::unique_ptr<TimeRecord> one, two;
    if (MlsImpulseFromFiles(input.path(), plain.path(), kLength, options, one).ok()) CheckRecord(one, bounded);

    options.preEmphasis = options.invert = options.reverseChannels = true;
    if (MlsImpulsePairFromFiles(input.path(), shelved.path(), kLength, options, one, two).ok()) {
        CheckRecord(one, bounded);
        CheckRecord(two, bounded);
    }

    // The input as the stimulus of a clean loop-back recording.
    options = MlsRecoveryOptions{};
    if (MlsImpulseFromFiles(plain.path(), input.path(), kLength, options, one).ok()) CheckRecord(one, true);
    return 0;
}
