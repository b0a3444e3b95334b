#pragma once
// What the native tests share: a scratch folder of each test's own, whole
// files read and written in one call, a disk that fills up, and waiting for
// another thread.
#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <process.h>
#else
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#endif

namespace srx::test {

namespace fs = std::filesystem;

inline std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Stored blocks poked and read at their byte offsets, as a damaged or
// older value would hold them.
template <class T>
T Peek(const void* block, std::size_t offset) {
    T v;
    std::memcpy(&v, static_cast<const uint8_t*>(block) + offset, sizeof v);
    return v;
}
template <class T>
void Poke(std::vector<uint8_t>& bytes, std::size_t offset, T v) {
    std::memcpy(bytes.data() + offset, &v, sizeof v);
}
template <class T>
std::vector<uint8_t> Bytes(const T& block) {
    const auto* p = reinterpret_cast<const uint8_t*>(&block);
    return {p, p + sizeof block};
}

inline std::string WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
}

// Polls `done` until it holds or five seconds have passed; its last answer.
template <class Done>
bool WaitUntil(Done done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done();
}

#ifndef _WIN32
// A disk that is full after `bytes` in any one file, made with the file size
// limit while it lives. Writes past it fail instead of raising SIGXFSZ.
class FileSizeLimit {
public:
    // Whether the limit already in force leaves room for `bytes`.
    static bool Allows(rlim_t bytes) {
        rlimit now{};
        return getrlimit(RLIMIT_FSIZE, &now) == 0 && (now.rlim_cur == RLIM_INFINITY || now.rlim_cur >= bytes);
    }
    explicit FileSizeLimit(rlim_t bytes) {
        EXPECT_EQ(getrlimit(RLIMIT_FSIZE, &old_), 0);
        handler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old_;
        small.rlim_cur = bytes;
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old_{};
    void (*handler_)(int) = SIG_DFL;
};
#endif

// Natively every case runs in a process of its own, in parallel; under Wine
// they share one. Suite, case and process id keep the folders apart.
class ScratchDir {
public:
    ScratchDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
#ifdef _WIN32
        const int pid = _getpid();
#else
        const int pid = int(getpid());
#endif
        std::string name = info ? std::string(info->test_suite_name()) + "_" + info->name() : "none";
        for (char& c : name)
            if (c == '/') c = '_';  // parameterised suites and cases carry a slash
        dir_ = fs::temp_directory_path() / ("srx_" + name + "_" + std::to_string(pid));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const fs::path& Dir() const { return dir_; }
    std::string Folder() const { return dir_.string(); }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    std::string Write(const std::string& name, const std::string& bytes) const { return WriteFile(dir_ / name, bytes); }
    std::size_t FileCount() const { return std::size_t(std::distance(fs::directory_iterator(dir_), {})); }

private:
    fs::path dir_;
};

// A fixture whose cases each get a scratch folder.
class ScratchTest : public ::testing::Test, public ScratchDir {};

}  // namespace srx::test
