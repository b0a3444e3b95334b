// Wave files on the streaming path, used by the wave engine: a playback
// stream that hands a stimulus out block by block into output buffers, and
// a recording stream that appends filled input buffers to a new file.
//
// Both sit on ordinary buffered stdio. Failures are reported through
// ReportWaveError (audio/wave_error.h), i.e. the wave error box in the
// Windows build, except where noted. The streams are not thread-safe; the
// engine drives them from its window procedure.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "audio/wave_file.h"

namespace srx {

// The fields of the platform's WAVEHDR that the streams use.
struct WaveBufferHeader {
    char* data;
    uint32_t bufferLength;
    uint32_t bytesRecorded;
};

// Result codes of the streaming calls.
inline constexpr int kWaveStreamOk = 0;
inline constexpr int kWaveStreamFailed = 1;       // message reported
inline constexpr int kWaveStreamNoData = 3;       // playback: nothing left
inline constexpr int kWaveStreamWriteFailed = 4;  // recording: block not written, no message

class PlaybackStream {
public:
    PlaybackStream() = default;
    PlaybackStream(const PlaybackStream&) = delete;
    PlaybackStream& operator=(const PlaybackStream&) = delete;
    ~PlaybackStream();

    // Opens a PCM (tag 1) stimulus and stands at its first sample byte; the
    // file's format is then available from Format(). 0, or 1 with a message.
    int Open(const char* path);

    // Reads the next block into `header.data`, a buffer of `outputBufferSize`
    // bytes: the whole buffer is cleared, then up to that many data bytes are
    // read and `header.bufferLength` is set to their count. The size is passed
    // with every call because the header's length field is overwritten by the
    // count of the block. 0 for a block, 3 when no data is left, 1 on a
    // failed read (message shown, stream closed).
    int NextBlock(WaveBufferHeader& header, uint32_t outputBufferSize);

    // Closes the file if open; always 0.
    int Close();

    bool IsOpen() const { return open_; }
    const WaveFormat& Format() const { return format_; }
    uint32_t BytesLeft() const { return bytesLeft_; }

private:
    int Fail(const char* text, int line);

    std::FILE* file_ = nullptr;
    bool open_ = false;
    uint32_t bytesLeft_ = 0;
    WaveFormat format_{};
};

class RecordStream {
public:
    RecordStream() = default;
    RecordStream(const RecordStream&) = delete;
    RecordStream& operator=(const RecordStream&) = delete;
    // Closes an open recording without reporting (it may run at exit).
    ~RecordStream();

    // The recording format record; set before Create.
    void SetFormat(const WaveFormat& format) { format_ = format; }
    const WaveFormat& Format() const { return format_; }

    // Creates (replaces) the file and writes everything up to the sample
    // data. The header already carries the sizes of an empty file, so even a
    // recording that is never closed leaves a readable file. 0, or 1 with a
    // message.
    int Create(const char* path);

    // Appends `header.bytesRecorded` bytes of `header.data` to the data chunk,
    // straight from the caller's buffer. 0, or 4 (no message) when the block
    // could not be written; the file then still ends after the last good
    // block, and the caller is expected to stop and Close.
    int WriteBlock(const WaveBufferHeader& header);

    // Writes the pad byte and the final RIFF and data sizes, flushes and
    // closes. Sizes count only blocks that were written completely, so an
    // aborted recording still closes to a valid file. 1 without a message
    // when nothing is open; 1 with a message when the file cannot be fixed.
    int Close();

    bool IsOpen() const { return open_; }
    uint32_t DataBytes() const { return dataBytes_; }

private:
    int Fail(const char* text, int line);
    int Finish(bool report);

    std::FILE* file_ = nullptr;
    bool open_ = false;
    // Data bytes of the blocks written completely: what the header will say.
    uint32_t dataBytes_ = 0;
    // Set after a failed write: the file position may lie past the last good
    // block, so the next write seeks back and Close trims the file.
    bool dirtyTail_ = false;
    std::string path_;
    WaveFormat format_{};
};

// The streams owned by the wave engine's module, and the calls it makes.
PlaybackStream& DefaultPlaybackStream();
RecordStream& DefaultRecordStream();

int PlaybackOpen(const char* path);
int PlaybackNextBlock(WaveBufferHeader& header, uint32_t outputBufferSize);
int PlaybackClose();
int RecordCreate(const char* path);
int RecordWriteBlock(const WaveBufferHeader& header);
int RecordClose();

}  // namespace srx
