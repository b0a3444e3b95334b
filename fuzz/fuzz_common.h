#pragma once
// What every fuzz target shares: the reading hooks the program and the CLI
// install (so a fuzzed read runs the same computations as a user's), and
// scratch files that belong to this process and go away when it ends.
// Include it from exactly one translation unit per target: it defines the
// target's LLVMFuzzerInitialize.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/reading_hooks.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    srx::InstallReadingHooks();
    return 0;
}

namespace srx::fuzz {

// A file in the temporary folder named after the target's `name` and this
// process (parallel runs must not share one), removed at exit. Readers pick
// formats by extension, so `name` carries the one the reader expects.
class ScratchFile {
public:
    explicit ScratchFile(const std::string& name)
        : path_((std::filesystem::temp_directory_path() / ("fuzz_" + std::to_string(getpid()) + "_" + name)).string()) {
    }
    ~ScratchFile() { std::remove(path_.c_str()); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const std::string& path() const { return path_; }
    const char* c_str() const { return path_.c_str(); }

    // Replaces the contents; false when the bytes could not all be written.
    bool Write(const void* data, size_t size) const {
        std::FILE* f = std::fopen(path_.c_str(), "wb");
        if (!f) return false;
        const bool written = size == 0 || std::fwrite(data, 1, size, f) == size;
        return std::fclose(f) == 0 && written;
    }

private:
    std::string path_;
};

inline std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace srx::fuzz
