#include "measure/wave_input.h"

#include <cmath>
#include <cstring>

#include "resources/string_ids.h"

namespace srx {

namespace {

// Whether a file is a well-formed wave file whose data chunk is empty, the
// one case in which ReadWaveHeader's 0 is not a read error.
bool HasEmptyDataChunk(std::FILE* f) {
    int64_t end = 0;
    if (!ReadRiffWaveHeader(f, &end)) return false;
    bool format = false, empty = false, bad = false;
    WalkRiffChunks(f, 12, end, [&](const RiffChunk& c) {
        if (!std::memcmp(c.id, "data", 4)) {
            empty = format && c.size == 0;
            return false;
        }
        if (!std::memcmp(c.id, "fmt ", 4)) {
            unsigned char fmt[kWaveFormatExtensibleBytes];
            if (!IsWaveFormatChunkSize(c.size) || std::fread(fmt, 1, c.size, f) != c.size) {
                bad = true;
                return false;
            }
            const WaveFormat wf = DecodeWaveFormatChunk(fmt, c.size);
            if (wf.formatTag != kWaveFormatPcm && wf.formatTag != kWaveFormatFloat) {
                bad = true;
                return false;
            }
            format = true;
        }
        return true;
    });
    return empty && !bad;
}

}  // namespace

Status OpenWave(const std::string& path, WaveInput& in) {
    in.file = OpenForReading(path);
    if (!in.file) return Status::Error(kStrCantOpen);
    const uint32_t bytes = ReadWaveHeader(in.file.get(), in.format);
    if (bytes == 0) {
        if (!HasEmptyDataChunk(in.file.get())) return Status::Error(kStrTooFewPoints);
        in.frames = 0;
        return Status::Ok();
    }
    if (!IsPlausibleWaveFormat(in.format)) return Status::Error(kStrTooFewPoints);
    in.frames = bytes / in.format.blockAlign;
    return Status::Ok();
}

bool ReadFrames(WaveInput& in, uint32_t count, bool both, bool swap, std::vector<double>& c0, std::vector<double>& c1) {
    c0.assign(count, 0.0);
    if (both) c1.assign(count, 0.0);
    const int channels = in.format.channels;
    const int first = (swap && channels >= 2) ? 1 : 0, second = (channels >= 2) ? 1 - first : 0;
    // The largest integer code is one step below 1; float data clips at 1.
    const int bits = in.format.bitsPerSample;
    const double top = in.format.formatTag == kWaveFormatFloat || bits < 2 || bits > 32
                           ? 1.0
                           : 1.0 - std::ldexp(1.0, -(bits - 1)) - 1e-12;
    bool clipped = false;
    std::FILE* f = in.file.get();
    for (uint32_t i = 0; i < count; ++i) {
        double v[2] = {0, 0};
        for (int c = 0; c < channels; ++c) {
            const double s = ReadSampleReal(f, in.format);
            if (c < 2) v[c] = s;
        }
        if (std::feof(f) || std::ferror(f)) break;
        c0[i] = v[first];
        if (both) c1[i] = v[second];
        if (v[first] >= top || v[first] <= -1.0 || (both && (v[second] >= top || v[second] <= -1.0))) clipped = true;
    }
    return clipped;
}

bool WaveFileFits(const std::string& path, uint32_t rate, int channels, int bits, uint64_t frames) {
    WaveInput in;
    if (!OpenWave(path, in)) return false;
    return in.format.formatTag == kWaveFormatPcm && in.format.channels == channels && in.format.bitsPerSample == bits &&
           in.format.samplesPerSec == rate && in.frames == frames;
}

}  // namespace srx
