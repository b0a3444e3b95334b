#pragma once
// Files as every reader and writer of the program uses them: program paths
// on the host, owned handles, saving that never destroys the previous file,
// and the one walk over RIFF chunks.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace srx {

// The program builds Windows paths ("C:\dir\x.mes"); natively the tools run
// them with '/' separators. On Windows the path is used as it is.
std::string HostPath(const std::string& path);

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Opens a program path for binary reading (null when it cannot).
FilePtr OpenForReading(const std::string& path);

// Bytes in the file; its position is kept. -1 when it cannot be told.
int64_t FileLength(std::FILE* f);
bool SeekTo(std::FILE* f, int64_t offset, int whence);
int64_t TellPosition(std::FILE* f);

// Whether two program paths name the same file: the same file system object
// when the first exists, otherwise the same normalised absolute path. Used to
// refuse an output that would overwrite an input before anything is written.
bool SameFile(const std::string& a, const std::string& b);

// Writes a file beside its target and puts it in place only when every byte
// is out. The temporary file is created exclusively under a fresh name, so it
// never writes through a link nor over someone's file of that name; until
// Commit succeeds the previous target is untouched, and a writer destroyed
// without Commit removes its temporary file.
class SafeFileWriter {
public:
    explicit SafeFileWriter(const std::string& target);
    ~SafeFileWriter();
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    bool IsOpen() const { return file_ != nullptr; }
    std::FILE* get() const { return file_; }
    const std::string& TempPath() const { return temp_; }
    // Writes n bytes; a failure sticks and makes Commit fail.
    bool Write(const void* data, std::size_t n);
    void MarkFailed() { failed_ = true; }
    // Flushes, syncs, closes and moves the file over the target.
    bool Commit();
    // Drops the temporary file; the target stays as it was.
    void Discard();

private:
    std::string target_;
    std::string temp_;
    std::FILE* file_ = nullptr;
    bool failed_ = false;
};

// The whole file in one go through a SafeFileWriter.
bool WriteFileSafely(const std::string& path, const std::string& bytes);

// Moves the finished `temp` over `target` in one step. A directory of that
// name is never replaced.
bool ReplaceTarget(const std::string& temp, const std::string& target);

// ---- RIFF ----------------------------------------------------------------

struct RiffChunk {
    char id[4];
    uint32_t size;       // as stored
    int64_t dataOffset;  // of the chunk's first data byte
};

// Visits the chunks between `begin` and `end` (file offsets); `visit` answers
// whether to go on. Chunks are word aligned. Answers false when a chunk
// header is cut short or a chunk would reach past `end` (the visitor still
// sees that last chunk, so a reader may accept a data chunk whose size the
// writer never fixed); true when the walk reached `end` or was stopped.
bool WalkRiffChunks(std::FILE* f, int64_t begin, int64_t end, const std::function<bool(const RiffChunk&)>& visit);

// Checks the 12-byte "RIFF" .. "WAVE" form header at the start of the file
// and gives the end of the form (clamped to the file's length).
bool ReadRiffWaveHeader(std::FILE* f, int64_t* formEnd);

}  // namespace srx
