#include "audio/wave_file.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#ifndef _WIN32
#include <sys/types.h>
#endif

#include "platform/file_io.h"

namespace srx {

namespace wave_detail {

bool Seek(std::FILE* file, int64_t offset, int whence) {
#ifdef _WIN32
    return _fseeki64(file, offset, whence) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), whence) == 0;
#endif
}

int64_t Tell(std::FILE* file) {
#ifdef _WIN32
    return _ftelli64(file);
#else
    return static_cast<int64_t>(ftello(file));
#endif
}

int64_t Length(std::FILE* file) {
    const int64_t here = Tell(file);
    if (here < 0 || !Seek(file, 0, SEEK_END)) return -1;
    const int64_t end = Tell(file);
    if (!Seek(file, here, SEEK_SET)) return -1;
    return end;
}

uint32_t GetLe32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void PutLe32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

}  // namespace wave_detail

using namespace wave_detail;

namespace {

// RIFF sizes are unsigned 32-bit, but the readers treat anything above this
// as hostile, as the historic readers took them as signed.
constexpr uint32_t kMaxChunkSize = uint32_t(std::numeric_limits<int32_t>::max());

// Header bytes counted by the RIFF size besides the sample data.
constexpr uint32_t kRiffOverhead = kWaveHeaderBytes - 8;

uint16_t GetLe16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }

void PutLe16(unsigned char* p, uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

uint64_t GetLe64(const unsigned char* p) { return uint64_t(GetLe32(p)) | uint64_t(GetLe32(p + 4)) << 32; }

bool ReadExact(std::FILE* file, void* buffer, std::size_t size) { return std::fread(buffer, 1, size, file) == size; }

bool WriteExact(std::FILE* file, const void* buffer, std::size_t size) {
    return std::fwrite(buffer, 1, size, file) == size;
}

bool WriteLe32(std::FILE* file, uint32_t v) {
    unsigned char b[4];
    PutLe32(b, v);
    return WriteExact(file, b, 4);
}

// x87 extended precision: 64-bit mantissa with an explicit integer bit,
// 15-bit exponent biased by 16383, sign on top. Decoded by hand because
// long double is only 64 bits wide on some compilers.
double DecodeExtended(const unsigned char* p) {
    const uint64_t mantissa = GetLe64(p);
    const unsigned signExp = GetLe16(p + 8);
    const bool negative = (signExp & 0x8000u) != 0;
    const int exponent = int(signExp & 0x7FFFu);
    double value;
    if (exponent == 0x7FFF) {
        value =
            (mantissa << 1) == 0 ? std::numeric_limits<double>::infinity() : std::numeric_limits<double>::quiet_NaN();
    } else {
        // Denormals use the exponent of the smallest normal number.
        const int e = (exponent == 0 ? 1 : exponent) - 16383 - 63;
        value = std::ldexp(static_cast<double>(mantissa), e);
    }
    return negative ? -value : value;
}

}  // namespace

void EncodeWaveFormat(const WaveFormat& f, unsigned char out[kWaveFormatBytes]) {
    PutLe16(out + 0, f.formatTag);
    PutLe16(out + 2, f.channels);
    PutLe32(out + 4, f.samplesPerSec);
    PutLe32(out + 8, f.avgBytesPerSec);
    PutLe16(out + 12, f.blockAlign);
    PutLe16(out + 14, f.bitsPerSample);
    PutLe16(out + 16, f.extraSize);
}

WaveFormat DecodeWaveFormat(const unsigned char* in, std::size_t size) {
    unsigned char raw[kWaveFormatBytes] = {};
    std::memcpy(raw, in, size < kWaveFormatBytes ? size : kWaveFormatBytes);
    WaveFormat f;
    f.formatTag = GetLe16(raw + 0);
    f.channels = GetLe16(raw + 2);
    f.samplesPerSec = GetLe32(raw + 4);
    f.avgBytesPerSec = GetLe32(raw + 8);
    f.blockAlign = GetLe16(raw + 12);
    f.bitsPerSample = GetLe16(raw + 14);
    f.extraSize = GetLe16(raw + 16);
    return f;
}

bool IsWaveFormatChunkSize(uint64_t size) {
    return (size >= 16 && size <= kWaveFormatBytes) || size == kWaveFormatExtensibleBytes;
}

WaveFormat DecodeWaveFormatChunk(const unsigned char* in, std::size_t size) {
    WaveFormat f = DecodeWaveFormat(in, size);
    if (f.formatTag != kWaveFormatExtensible || size < kWaveFormatExtensibleBytes || f.extraSize < 22) return f;
    // KSDATAFORMAT_SUBTYPE_PCM and _IEEE_FLOAT differ only in the first word.
    static const unsigned char kSubFormatTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                                     0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    const unsigned char* guid = in + 24;
    const uint32_t sub = GetLe32(guid);
    const uint16_t validBits = GetLe16(in + 18);
    if (std::memcmp(guid + 4, kSubFormatTail, sizeof kSubFormatTail) != 0) return f;
    if (sub != kWaveFormatPcm && sub != kWaveFormatFloat) return f;
    if (validBits == 0 || validBits > f.bitsPerSample) return f;
    f.formatTag = uint16_t(sub);
    f.extraSize = 0;
    return f;
}

bool IsPlausibleWaveFormat(const WaveFormat& f) {
    if (f.channels == 0 || f.blockAlign == 0 || f.bitsPerSample == 0) return false;
    return f.blockAlign >= uint32_t(f.channels) * ((f.bitsPerSample + 7u) / 8u);
}

bool WriteWaveHeader(std::FILE* file, uint32_t frames, uint32_t sampleRate, uint16_t channels, uint16_t bits) {
    if (!file || channels == 0 || bits == 0) return false;
    const uint32_t bytesPerSample = (bits + 7u) / 8u;
    const uint64_t blockAlign = uint64_t(channels) * bytesPerSample;
    const uint64_t dataSize = blockAlign * frames;
    // A wrapped size would describe a different file than the one written.
    if (blockAlign > 0xFFFFu || dataSize > 0xFFFFFFFFull - kRiffOverhead) return false;

    WaveFormat f{};
    f.formatTag = kWaveFormatPcm;
    f.channels = channels;
    f.samplesPerSec = sampleRate;
    f.avgBytesPerSec = static_cast<uint32_t>(uint64_t(sampleRate) * blockAlign);
    f.blockAlign = static_cast<uint16_t>(blockAlign);
    f.bitsPerSample = bits;
    f.extraSize = 0;
    unsigned char raw[kWaveFormatBytes];
    EncodeWaveFormat(f, raw);

    const uint32_t data = static_cast<uint32_t>(dataSize);
    return WriteExact(file, "RIFF", 4) && WriteLe32(file, data + kRiffOverhead) && WriteExact(file, "WAVE", 4) &&
           WriteExact(file, "fmt ", 4) && WriteLe32(file, uint32_t(kWaveFormatBytes)) &&
           WriteExact(file, raw, sizeof raw) && WriteExact(file, "data", 4) && WriteLe32(file, data);
}

uint32_t ReadWaveHeader(std::FILE* file, WaveFormat& out) {
    if (!file) return 0;
    const int64_t length = Length(file);
    if (length < 0) return 0;

    unsigned char b[8];
    if (!ReadExact(file, b, 8) || std::memcmp(b, "RIFF", 4) != 0) return 0;
    if (GetLe32(b + 4) > kMaxChunkSize) return 0;
    if (!ReadExact(file, b, 4) || std::memcmp(b, "WAVE", 4) != 0) return 0;

    const int64_t first = Tell(file);
    if (first < 0) return 0;
    WaveFormat format{};
    bool formatSeen = false;
    uint32_t result = 0;
    int64_t dataAt = 0;
    // Chunks are looked for up to the end of the file (some writers leave the
    // RIFF size unfixed); an odd chunk is followed by a pad byte.
    WalkRiffChunks(file, first, length, [&](const RiffChunk& c) {
        const int64_t remaining = length - c.dataOffset;
        if (c.id[0] == 0 || c.size > kMaxChunkSize) return false;
        if (std::memcmp(c.id, "fmt ", 4) == 0) {
            if (!IsWaveFormatChunkSize(c.size)) return false;
            unsigned char raw[kWaveFormatExtensibleBytes];
            if (!ReadExact(file, raw, c.size)) return false;
            format = DecodeWaveFormatChunk(raw, c.size);
            if (format.formatTag != kWaveFormatPcm && format.formatTag != kWaveFormatFloat) return false;
            if (!IsPlausibleWaveFormat(format)) return false;
            formatSeen = true;
            return true;
        }
        if (std::memcmp(c.id, "data", 4) == 0) {
            if (formatSeen && int64_t(c.size) <= remaining) {
                out = format;
                result = c.size;
                dataAt = c.dataOffset;
            }
            return false;
        }
        return int64_t(c.size) + (c.size & 1) <= remaining;
    });
    // The reader continues at the first sample.
    if (result && !Seek(file, dataAt, SEEK_SET)) return 0;
    return result;
}

double ReadSampleReal(std::FILE* file, const WaveFormat& format) {
    unsigned char b[10];
    switch (format.bitsPerSample) {
        case 8:
            if (!ReadExact(file, b, 1)) return 0.0;
            return static_cast<int8_t>(b[0] ^ 0x80u) / 128.0;
        case 16:
            if (!ReadExact(file, b, 2)) return 0.0;
            return static_cast<int16_t>(GetLe16(b)) * 0x1p-15;
        case 20:
        case 24:
            if (format.channels != 0 && format.blockAlign / format.channels == 4) {
                // Four-byte containers of these widths hold floats scaled to +-2^23.
                if (!ReadExact(file, b, 4)) return 0.0;
                return double(std::bit_cast<float>(GetLe32(b))) * 0x1p-23;
            }
            if (!ReadExact(file, b, 3)) return 0.0;
            return static_cast<int32_t>(uint32_t(b[0]) << 8 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 24) * 0x1p-31;
        case 32:
            if (!ReadExact(file, b, 4)) return 0.0;
            if (format.formatTag == kWaveFormatFloat) return std::bit_cast<float>(GetLe32(b));
            return static_cast<int32_t>(GetLe32(b)) * 0x1p-31;
        case 64:
            if (!ReadExact(file, b, 8)) return 0.0;
            return std::bit_cast<double>(GetLe64(b));
        case 80:
            if (!ReadExact(file, b, 10)) return 0.0;
            return DecodeExtended(b);
        default: return 0.0;
    }
}

bool WriteSampleFrame(std::FILE* file, int32_t left, int32_t right, int channels, int bits) {
    // A frame with fewer values than the header's channel count would shift
    // every later sample, so other counts are refused rather than half-written.
    if (!file || (channels != 1 && channels != 2)) return false;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    unsigned char frame[8];
    std::size_t n = 0;
    const int32_t values[2] = {left, right};
    for (int c = 0; c < channels; ++c) {
        const uint32_t v = static_cast<uint32_t>(values[c]);
        switch (bits) {
            case 8: frame[n++] = static_cast<unsigned char>(((values[c] >> 24) + 128) & 255); break;
            case 16:
                frame[n++] = static_cast<unsigned char>(v >> 16);
                frame[n++] = static_cast<unsigned char>(v >> 24);
                break;
            case 24:
                frame[n++] = static_cast<unsigned char>(v >> 8);
                frame[n++] = static_cast<unsigned char>(v >> 16);
                frame[n++] = static_cast<unsigned char>(v >> 24);
                break;
            default:
                PutLe32(frame + n, v);
                n += 4;
                break;
        }
    }
    return WriteExact(file, frame, n);
}

double ReadChannelValue(std::FILE* file, const WaveFormat& format, int selector, double offset, bool swapChannels,
                        bool invertPolarity) {
    if (swapChannels && (selector == 0 || selector == 1)) selector ^= 1;
    double value;
    if (format.channels >= 2) {
        const double left = ReadSampleReal(file, format);
        const double right = ReadSampleReal(file, format);
        // Consume the rest of the frame so the next call starts on a frame.
        for (unsigned c = 2; c < format.channels; ++c) ReadSampleReal(file, format);
        switch (selector) {
            case 1: value = right; break;
            case 2: value = (left + right) / 2; break;
            case 3: value = (left - right) / 2; break;
            case 4: value = (right - left) / 2; break;
            default: value = left; break;
        }
    } else {
        value = ReadSampleReal(file, format);
    }
    if (invertPolarity) value = -value;
    return value - offset;
}

}  // namespace srx
