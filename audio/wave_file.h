// Wave files on the plain path: a fixed 46-byte header writer, a
// chunk-scanning header reader and per-sample reading and writing over
// ordinary binary FILE* streams ("rb" / "wb").
//
// The readers distrust the file: every size is checked against the bytes
// that are really there before anything is skipped or read, and any
// inconsistency is answered with the documented failure value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace srx {

// Same layout as the platform's WAVEFORMATEX. The packing only keeps the
// in-memory size honest; on disk it is always (de)serialised byte by byte
// with EncodeWaveFormat / DecodeWaveFormat so the code does not depend on
// the host's byte order.
#pragma pack(push, 1)
struct WaveFormat {
    uint16_t formatTag;
    uint16_t channels;
    uint32_t samplesPerSec;
    uint32_t avgBytesPerSec;
    uint16_t blockAlign;
    uint16_t bitsPerSample;
    uint16_t extraSize;
};
#pragma pack(pop)
static_assert(sizeof(WaveFormat) == 18, "WaveFormat must match WAVEFORMATEX");

inline constexpr uint16_t kWaveFormatPcm = 1;
inline constexpr uint16_t kWaveFormatFloat = 3;
inline constexpr std::size_t kWaveFormatBytes = 18;
inline constexpr uint32_t kWaveHeaderBytes = 46;
// WAVE_FORMAT_EXTENSIBLE: the 18-byte record, then valid bits, channel mask
// and a sub-format GUID (40 bytes in all). Read only; writers stay plain.
inline constexpr uint16_t kWaveFormatExtensible = 0xFFFE;
inline constexpr std::size_t kWaveFormatExtensibleBytes = 40;

// Little-endian image of `format`, 18 bytes.
void EncodeWaveFormat(const WaveFormat& format, unsigned char out[kWaveFormatBytes]);
// Reads `size` (at most 18) bytes; fields the bytes do not reach are zero.
WaveFormat DecodeWaveFormat(const unsigned char* in, std::size_t size);

// Whether a "fmt " chunk of this size can be read: 16 to 18 bytes of the
// plain record, or the 40 of the extensible one.
bool IsWaveFormatChunkSize(uint64_t size);

// The format a "fmt " chunk body of `size` bytes stands for. An extensible
// record (40 bytes or more) whose sub-format is integer PCM or IEEE float
// comes back as the plain tag 1 or 3 with extra size 0; its samples are
// decoded by their container width (bits per sample), the valid bits only
// have to lie within it. Any other extensible record keeps tag 0xFFFE, which
// the readers refuse like every tag they do not know. Shorter chunks decode
// as DecodeWaveFormat.
WaveFormat DecodeWaveFormatChunk(const unsigned char* in, std::size_t size);

// True when the numbers can describe sample frames at all: channels, block
// align and bits are non-zero and a frame has room for every channel.
// Readers refuse anything else because callers divide by these fields.
bool IsPlausibleWaveFormat(const WaveFormat& format);

// Writes the 46-byte header (tag 1, 18-byte format chunk) at the current
// position. Fails on a short write, on zero channels or bits, and when the
// data size would not fit the 32-bit RIFF sizes.
bool WriteWaveHeader(std::FILE* file, uint32_t frames, uint32_t sampleRate, uint16_t channels, uint16_t bits);

// Scans the chunks of a RIFF/WAVE file. Returns the "data" chunk size and
// leaves the file at the first sample byte, or returns 0 on any failure
// (including a data chunk that claims more bytes than the file holds).
uint32_t ReadWaveHeader(std::FILE* file, WaveFormat& out);

// Reads one sample (not one frame) at full scale +-1.0. Unsupported widths
// read nothing and give 0.0; so does a read past the end of the file, which
// the caller can tell by feof().
double ReadSampleReal(std::FILE* file, const WaveFormat& format);

// Writes one frame of integer samples (full scale 2^31, truncated to the
// width): `left`, and `right` too when `channels` is 2. Bits must be 8, 16,
// 24 or 32 and channels 1 or 2.
bool WriteSampleFrame(std::FILE* file, int32_t left, int32_t right, int channels, int bits);

// Reads one whole frame and returns one value of it minus `offset`.
// Selector: 0 left, 1 right, 2 (L+R)/2, 3 (L-R)/2, 4 (R-L)/2, else left;
// a mono file ignores it. `swapChannels` exchanges selectors 0 and 1,
// `invertPolarity` negates the value before the offset is taken off.
double ReadChannelValue(std::FILE* file, const WaveFormat& format, int selector, double offset, bool swapChannels,
                        bool invertPolarity);

namespace wave_detail {
// 64-bit positions: long is 32 bits on Windows, wave files reach 4 GiB.
bool Seek(std::FILE* file, int64_t offset, int whence);
int64_t Tell(std::FILE* file);
// Total length of the file, position unchanged; -1 if it cannot be found.
int64_t Length(std::FILE* file);
uint32_t GetLe32(const unsigned char* p);
void PutLe32(unsigned char* p, uint32_t v);
}  // namespace wave_detail

}  // namespace srx
