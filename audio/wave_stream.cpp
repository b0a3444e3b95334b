#include "audio/wave_stream.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "audio/wave_error.h"
#include "platform/file_io.h"

#ifdef _WIN32
#include <share.h>
#endif

namespace srx {

using namespace wave_detail;

namespace {

// Offsets in the header both streams use: RIFF size, data size, samples.
constexpr int64_t kRiffSizeOffset = 4;
constexpr int64_t kFormatEnd = 38;
constexpr int64_t kDataSizeOffset = 42;
constexpr int64_t kDataStart = kWaveHeaderBytes;
constexpr uint32_t kRiffOverhead = kWaveHeaderBytes - 8;

bool ReadExact(std::FILE* file, void* buffer, std::size_t size) { return std::fread(buffer, 1, size, file) == size; }

bool WriteExact(std::FILE* file, const void* buffer, std::size_t size) {
    return std::fwrite(buffer, 1, size, file) == size;
}

bool WriteChunkHeader(std::FILE* file, const char* id, uint32_t size) {
    unsigned char b[8];
    std::memcpy(b, id, 4);
    PutLe32(b + 4, size);
    return WriteExact(file, b, 8);
}

bool PatchLe32(std::FILE* file, int64_t offset, uint32_t value) {
    unsigned char b[4];
    PutLe32(b, value);
    return Seek(file, offset, SEEK_SET) && WriteExact(file, b, 4);
}

// The stimulus must not change under the engine while it plays.
std::FILE* OpenForPlayback(const char* path) {
#ifdef _WIN32
    return _fsopen(path, "rb", _SH_DENYWR);
#else
    return std::fopen(path, "rb");
#endif
}

struct Chunk {
    int64_t start;  // first byte of the chunk's contents
    uint32_t size;
};

// Searches the chunks from `pos` up to `limit` for `id`. Sizes come from
// the file, so the walk is done in 64 bits and never leaves the limit.
bool FindChunk(std::FILE* file, const char* id, int64_t pos, int64_t limit, Chunk& found) {
    bool seen = false;
    WalkRiffChunks(file, pos, limit, [&](const RiffChunk& c) {
        if (std::memcmp(c.id, id, 4) != 0) return true;
        found = {c.dataOffset, c.size};
        seen = true;
        return false;
    });
    return seen;
}

}  // namespace

// ---------------------------------------------------------------- playback

PlaybackStream::~PlaybackStream() { Close(); }

int PlaybackStream::Fail(const char* text, int line) {
    Close();
    ReportWaveError(text, line);
    return kWaveStreamFailed;
}

int PlaybackStream::Open(const char* path) {
    Close();
    file_ = path ? OpenForPlayback(path) : nullptr;
    if (!file_) return Fail("Cannot read file!", __LINE__);
    const int64_t length = Length(file_);
    unsigned char b[12];
    if (length < 0 || !ReadExact(file_, b, 12)) return Fail("Cannot read file!", __LINE__);
    if (std::memcmp(b, "RIFF", 4) != 0 || std::memcmp(b + 8, "WAVE", 4) != 0) return Fail("Bad Wave Format!", __LINE__);
    // Chunks are looked for inside the RIFF form and inside the file.
    const int64_t limit = std::min<int64_t>(8 + int64_t(GetLe32(b + 4)), length);

    Chunk fmt;
    if (!FindChunk(file_, "fmt ", 12, limit, fmt) || fmt.size < 16) return Fail("Bad Riff Format!", __LINE__);
    // A 16-byte chunk lacks the extra-size field; it reads as 0 instead of
    // taking whatever bytes follow the chunk.
    unsigned char raw[kWaveFormatExtensibleBytes];
    const std::size_t want = std::min<std::size_t>(fmt.size, kWaveFormatExtensibleBytes);
    if (!ReadExact(file_, raw, want)) return Fail("Bad Riff Format!", __LINE__);
    format_ = DecodeWaveFormatChunk(raw, want);
    // The engine divides by block align and channels, so nonsense numbers are
    // refused like any format it cannot play.
    if (format_.formatTag != kWaveFormatPcm || !IsPlausibleWaveFormat(format_))
        return Fail("UnSupported Wave Format!", __LINE__);

    const int64_t afterFmt = fmt.start + fmt.size + (fmt.size & 1);
    if (!Seek(file_, std::min(afterFmt, length), SEEK_SET)) return Fail("Cannot read file!", __LINE__);
    Chunk data;
    if (!FindChunk(file_, "data", afterFmt, limit, data)) return Fail("Bad Format in Wave file!", __LINE__);
    if (data.size == 0) return Fail("No wave data!", __LINE__);
    if (!Seek(file_, data.start, SEEK_SET)) return Fail("Cannot read file!", __LINE__);
    // A size beyond the end of the file is caught by the short read of the
    // block that reaches the end.
    bytesLeft_ = data.size;
    open_ = true;
    return kWaveStreamOk;
}

int PlaybackStream::NextBlock(WaveBufferHeader& header, uint32_t outputBufferSize) {
    if (!open_ || bytesLeft_ == 0) return kWaveStreamNoData;
    // An empty buffer would hand out zero-length blocks forever.
    if (!header.data || outputBufferSize == 0) return Fail("Failed to read data chunk!", __LINE__);
    const uint32_t n = std::min(bytesLeft_, outputBufferSize);
    header.bufferLength = n;
    std::memset(header.data, 0, outputBufferSize);
    if (!ReadExact(file_, header.data, n)) return Fail("Failed to read data chunk!", __LINE__);
    bytesLeft_ -= n;
    return kWaveStreamOk;
}

int PlaybackStream::Close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    open_ = false;
    bytesLeft_ = 0;
    return kWaveStreamOk;
}

// --------------------------------------------------------------- recording

RecordStream::~RecordStream() {
    if (open_) Finish(false);
}

int RecordStream::Fail(const char* text, int line) {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    open_ = false;
    ReportWaveError(text, line);
    return kWaveStreamFailed;
}

int RecordStream::Create(const char* path) {
    if (open_) Finish(true);
    dataBytes_ = 0;
    dirtyTail_ = false;
    path_ = path ? path : "";
    file_ = path ? std::fopen(path, "wb") : nullptr;
    if (!file_) return Fail("Cannot create input file!", __LINE__);
    // Unbuffered: each block goes from the engine's buffer to the file in one
    // write, without a copy into a stdio buffer.
    std::setvbuf(file_, nullptr, _IONBF, 0);

    if (!WriteChunkHeader(file_, "RIFF", kRiffOverhead) || !WriteExact(file_, "WAVE", 4))
        return Fail("Cannot create wave format chunk!", __LINE__);
    if (!WriteChunkHeader(file_, "fmt ", uint32_t(kWaveFormatBytes)))
        return Fail("Cannot create format chunk!", __LINE__);
    // The chunk is 18 bytes, so nothing follows the extra-size field.
    WaveFormat format = format_;
    format.extraSize = 0;
    unsigned char raw[kWaveFormatBytes];
    EncodeWaveFormat(format, raw);
    // A record nobody filled in would make a file no reader can use.
    if (!IsPlausibleWaveFormat(format) || !WriteExact(file_, raw, sizeof raw))
        return Fail("Cannot write wave format data!", __LINE__);
    if (Tell(file_) != kFormatEnd) return Fail("Cannot Ascend out of the wave format chunk!", __LINE__);
    if (!WriteChunkHeader(file_, "data", 0)) return Fail("Cannot create data chunk!", __LINE__);
    if (std::fflush(file_) != 0) return Fail("Unable to write data into file!", __LINE__);
    open_ = true;
    return kWaveStreamOk;
}

int RecordStream::WriteBlock(const WaveBufferHeader& header) {
    if (!open_) return kWaveStreamWriteFailed;
    const uint32_t n = header.bytesRecorded;
    if (n == 0) return kWaveStreamOk;
    if (!header.data || n > header.bufferLength) return kWaveStreamWriteFailed;
    // The RIFF size (header, data and pad byte) has to stay within 32 bits.
    const uint64_t data = uint64_t(dataBytes_) + n;
    if (data + (data & 1) > 0xFFFFFFFFull - kRiffOverhead) return kWaveStreamWriteFailed;
    if (dirtyTail_ && !Seek(file_, kDataStart + dataBytes_, SEEK_SET)) return kWaveStreamWriteFailed;
    if (!WriteExact(file_, header.data, n)) {
        dirtyTail_ = true;
        return kWaveStreamWriteFailed;
    }
    dirtyTail_ = false;
    dataBytes_ = static_cast<uint32_t>(data);
    return kWaveStreamOk;
}

int RecordStream::Close() {
    if (!open_) {
        open_ = false;
        return kWaveStreamFailed;
    }
    return Finish(true);
}

int RecordStream::Finish(bool report) {
    const uint32_t pad = dataBytes_ & 1;
    const int64_t end = kDataStart + dataBytes_ + pad;
    const bool trim = dirtyTail_;
    int line = 0;
    const char* text = nullptr;
    // Leaving the data chunk: pad byte, then its size. A file whose data size
    // could not be fixed is broken, so this is reported, not passed over.
    if (!Seek(file_, kDataStart + dataBytes_, SEEK_SET) || (pad && std::fputc(0, file_) == EOF) ||
        !PatchLe32(file_, kDataSizeOffset, dataBytes_)) {
        text = "Unable to write data into file!", line = __LINE__;
    } else if (!PatchLe32(file_, kRiffSizeOffset, kRiffOverhead + dataBytes_ + pad)) {
        text = "Cannot ascent out of the RIFF chunk!", line = __LINE__;
    } else if (std::fflush(file_) != 0) {
        text = "Unable to write data into file!", line = __LINE__;
    }
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    open_ = false;
    if (!text && !closed) text = "Unable to write data into file!", line = __LINE__;
    if (text) {
        if (report) ReportWaveError(text, line);
        return kWaveStreamFailed;
    }
    // A block that failed half-way may have left bytes past the data chunk.
    if (trim) {
        std::error_code ignored;
        std::filesystem::resize_file(path_, static_cast<std::uintmax_t>(end), ignored);
    }
    return kWaveStreamOk;
}

// ------------------------------------------------------- engine's streams

PlaybackStream& DefaultPlaybackStream() {
    static PlaybackStream stream;
    return stream;
}

RecordStream& DefaultRecordStream() {
    static RecordStream stream;
    return stream;
}

int PlaybackOpen(const char* path) { return DefaultPlaybackStream().Open(path); }
int PlaybackNextBlock(WaveBufferHeader& header, uint32_t outputBufferSize) {
    return DefaultPlaybackStream().NextBlock(header, outputBufferSize);
}
int PlaybackClose() { return DefaultPlaybackStream().Close(); }
int RecordCreate(const char* path) { return DefaultRecordStream().Create(path); }
int RecordWriteBlock(const WaveBufferHeader& header) { return DefaultRecordStream().WriteBlock(header); }
int RecordClose() { return DefaultRecordStream().Close(); }

}  // namespace srx
