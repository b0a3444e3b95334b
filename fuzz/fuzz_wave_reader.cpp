// Feeds arbitrary bytes to both wave readers: the plain header reader with
// sample reads over the claimed data, and the playback stream.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "audio/wave_error.h"
#include "audio/wave_file.h"
#include "audio/wave_stream.h"
#include "fuzz/fuzz_common.h"

namespace {

void ReadPlain(const char* path) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return;
    srx::WaveFormat format{};
    const uint32_t size = srx::ReadWaveHeader(f, format);
    if (size != 0) {
        // Reads beyond the real data are fine (they give 0.0); the bound only
        // keeps one input fast.
        const uint32_t frames = size / format.blockAlign;
        for (uint32_t i = 0; i < frames && i < 4096 && !std::feof(f); ++i) {
            srx::ReadChannelValue(f, format, int(i % 6), 0.0, i & 1, i & 2);
            srx::ReadSampleReal(f, format);
        }
    }
    std::fclose(f);
}

void ReadStream(const char* path) {
    srx::PlaybackStream stream;
    if (stream.Open(path) != srx::kWaveStreamOk) return;
    std::vector<char> buffer(1024);
    srx::WaveBufferHeader header{buffer.data(), 0, 0};
    for (int i = 0; i < 1 << 16 && stream.NextBlock(header, uint32_t(buffer.size())) == srx::kWaveStreamOk; ++i) {
        if (header.bufferLength > buffer.size()) __builtin_trap();
    }
    stream.Close();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const srx::fuzz::ScratchFile file("wave_reader.wav");
    if (!file.Write(data, size)) return 0;
    ReadPlain(file.c_str());
    ReadStream(file.c_str());
    srx::ClearLastWaveError();
    return 0;
}
