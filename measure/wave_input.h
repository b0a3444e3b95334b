#pragma once
// Reading the recorded channels of a measurement's wave file: the same
// checks for every analysis (a damaged header, an empty data chunk, clipping).
#include <cstdint>
#include <string>
#include <vector>

#include "audio/wave_file.h"
#include "platform/file_io.h"
#include "resources/status.h"

namespace srx {

// An open wave file on the plain path and where its frames start.
struct WaveInput {
    FilePtr file;
    WaveFormat format{};
    uint32_t frames = 0;
};

// 2314 when the file cannot be opened, 2357 when it is no readable wave
// file (a well-formed one with an empty data chunk has 0 frames).
Status OpenWave(const std::string& path, WaveInput& in);

// Reads `count` frames from the current position into one vector per
// channel wanted (channel 0 and, with `both`, channel 1; a mono file gives
// its one channel to both). Frames the file does not have read as 0.
// Answers whether a sample read reached full scale.
bool ReadFrames(WaveInput& in, uint32_t count, bool both, bool swap, std::vector<double>& c0, std::vector<double>& c1);

// Whether a wave file is plain PCM of this format holding `frames` frames
// (a stimulus file that can be reused).
bool WaveFileFits(const std::string& path, uint32_t rate, int channels, int bits, uint64_t frames);

}  // namespace srx
