#include "platform/file_io.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

namespace srx {

namespace {

namespace fs = std::filesystem;

// Names tried before giving up on a temporary file: collisions with files
// that happen to exist are skipped, a folder that refuses files fails fast.
constexpr int kTempAttempts = 64;

uint64_t Mix(uint64_t x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    return x ^ (x >> 33);
}

uint64_t NextTempSerial() {
    static std::atomic<uint64_t> counter{0};
#ifdef _WIN32
    const uint64_t pid = uint64_t(_getpid());
#else
    const uint64_t pid = uint64_t(getpid());
#endif
    const uint64_t now = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
    return Mix(now ^ (pid << 32) ^ Mix(++counter));
}

// Creates a new file exclusively: an existing name, file or link, is an
// error rather than something to open.
std::FILE* CreateExclusive(const std::string& path) {
#ifdef _WIN32
    // _O_EXCL with _O_CREAT is CREATE_NEW, which fails on any existing name.
    const int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    std::FILE* f = _fdopen(fd, "wb");
    if (!f) _close(fd);
    return f;
#else
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    std::FILE* f = fdopen(fd, "wb");
    if (!f) close(fd);
    return f;
#endif
}

bool SyncFile(std::FILE* f) {
#ifdef _WIN32
    return _commit(_fileno(f)) == 0;
#else
    return fsync(fileno(f)) == 0;
#endif
}

}  // namespace

std::string HostPath(const std::string& path) {
#ifdef _WIN32
    return path;
#else
    std::string p = path;
    for (char& c : p)
        if (c == '\\') c = '/';
    return p;
#endif
}

FilePtr OpenForReading(const std::string& path) {
    if (path.empty()) return nullptr;
    return FilePtr(std::fopen(HostPath(path).c_str(), "rb"));
}

bool SeekTo(std::FILE* f, int64_t offset, int whence) {
#ifdef _WIN32
    return _fseeki64(f, offset, whence) == 0;
#else
    return fseeko(f, off_t(offset), whence) == 0;
#endif
}

int64_t TellPosition(std::FILE* f) {
#ifdef _WIN32
    return _ftelli64(f);
#else
    return int64_t(ftello(f));
#endif
}

int64_t FileLength(std::FILE* f) {
    if (!f) return -1;
    const int64_t here = TellPosition(f);
    if (here < 0 || !SeekTo(f, 0, SEEK_END)) return -1;
    const int64_t n = TellPosition(f);
    if (!SeekTo(f, here, SEEK_SET)) return -1;
    return n;
}

bool SameFile(const std::string& a, const std::string& b) {
    const fs::path pa(HostPath(a)), pb(HostPath(b));
    std::error_code ec;
    if (fs::exists(pa, ec) && fs::exists(pb, ec)) {
        const bool same = fs::equivalent(pa, pb, ec);
        if (!ec) return same;
    }
    const fs::path na = fs::weakly_canonical(pa, ec);
    if (ec) return pa.lexically_normal() == pb.lexically_normal();
    const fs::path nb = fs::weakly_canonical(pb, ec);
    if (ec) return pa.lexically_normal() == pb.lexically_normal();
#ifdef _WIN32
    // Windows names are case-insensitive.
    std::string sa = na.string(), sb = nb.string();
    if (sa.size() != sb.size()) return false;
    for (std::size_t i = 0; i < sa.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(sa[i])) != std::tolower(static_cast<unsigned char>(sb[i])))
            return false;
    return true;
#else
    return na == nb;
#endif
}

// ---- SafeFileWriter ----------------------------------------------------------

SafeFileWriter::SafeFileWriter(const std::string& target) : target_(HostPath(target)) {
    if (target_.empty()) return;
    std::error_code ec;
    // A folder of that name is never replaced; better to say so at once.
    if (fs::is_directory(fs::path(target_), ec)) return;
    const fs::path t(target_);
    const std::string stem = t.filename().string();
    for (int i = 0; i < kTempAttempts && !file_; ++i) {
        char tag[24];
        std::snprintf(tag, sizeof tag, ".~srx%012llx",
                      static_cast<unsigned long long>(NextTempSerial() & 0xffffffffffffULL));
        const std::string name = (t.parent_path() / (stem + tag)).string();
        file_ = CreateExclusive(name);
        if (file_) {
            temp_ = name;
            break;
        }
        if (errno != EEXIST) break;  // read-only or missing folder: no name helps
    }
}

SafeFileWriter::~SafeFileWriter() { Discard(); }

bool SafeFileWriter::Write(const void* data, std::size_t n) {
    if (!file_ || failed_) return false;
    if (n && std::fwrite(data, 1, n, file_) != n) failed_ = true;
    return !failed_;
}

bool SafeFileWriter::Commit() {
    if (!file_) return false;
    bool ok = !failed_ && std::fflush(file_) == 0 && !std::ferror(file_);
    ok = ok && SyncFile(file_);
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (ok) ok = ReplaceTarget(temp_, target_);
    if (!ok) std::remove(temp_.c_str());
    temp_.clear();
    return ok;
}

void SafeFileWriter::Discard() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (!temp_.empty()) std::remove(temp_.c_str());
    temp_.clear();
}

bool WriteFileSafely(const std::string& path, const std::string& bytes) {
    SafeFileWriter w(path);
    return w.IsOpen() && w.Write(bytes.data(), bytes.size()) && w.Commit();
}

#ifndef _WIN32
bool ReplaceTarget(const std::string& temp, const std::string& target) {
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(fs::path(target), ec))) return false;
    // rename(2) replaces the name in one step; a link at the target name is
    // itself replaced, never written through.
    return std::rename(temp.c_str(), target.c_str()) == 0;
}
#endif

// ---- RIFF --------------------------------------------------------------------

bool WalkRiffChunks(std::FILE* f, int64_t begin, int64_t end, const std::function<bool(const RiffChunk&)>& visit) {
    int64_t pos = begin;
    while (pos + 8 <= end) {
        unsigned char b[8];
        if (!SeekTo(f, pos, SEEK_SET) || std::fread(b, 1, 8, f) != 8) return false;
        RiffChunk c;
        std::memcpy(c.id, b, 4);
        c.size = uint32_t(b[4]) | uint32_t(b[5]) << 8 | uint32_t(b[6]) << 16 | uint32_t(b[7]) << 24;
        c.dataOffset = pos + 8;
        if (!visit(c)) return true;
        // Sizes come from the file: the walk is done in 64 bits.
        pos = c.dataOffset + int64_t(c.size) + (c.size & 1);
    }
    return true;
}

bool ReadRiffWaveHeader(std::FILE* f, int64_t* formEnd) {
    unsigned char b[12];
    const int64_t length = FileLength(f);
    if (length < 12 || !SeekTo(f, 0, SEEK_SET) || std::fread(b, 1, 12, f) != 12) return false;
    if (std::memcmp(b, "RIFF", 4) != 0 || std::memcmp(b + 8, "WAVE", 4) != 0) return false;
    const int64_t size = int64_t(uint32_t(b[4]) | uint32_t(b[5]) << 8 | uint32_t(b[6]) << 16 | uint32_t(b[7]) << 24);
    if (formEnd) *formEnd = std::min<int64_t>(8 + size, length);
    return true;
}

}  // namespace srx
