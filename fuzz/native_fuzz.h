#pragma once
// Shared body of the native-file fuzz targets: the input goes to a scratch
// file of this process, is read without and with the window preparations,
// and an accepted record must write, read back and write again to the same
// bytes. Any other outcome than a status is a crash the fuzzer reports.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "data/native_files.h"

namespace srx::fuzz {

inline std::string Scratch(const char* kind, int n) {
    return (std::filesystem::temp_directory_path() /
            ("fuzz_" + std::string(kind) + "_" + std::to_string(getpid()) + "_" + std::to_string(n)))
        .string();
}

inline std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The scratch files of one target, removed when the process ends.
struct ScratchFiles {
    std::string input, first, second;
    explicit ScratchFiles(const char* kind) : input(Scratch(kind, 0)), first(Scratch(kind, 1)), second(Scratch(kind, 2)) {}
    ~ScratchFiles() {
        for (const std::string* p : {&input, &first, &second}) std::remove(p->c_str());
    }
};

template <class Record, class Load, class Save>
void CheckReader(const char* kind, const uint8_t* data, size_t size, Load load, Save save) {
    static const ScratchFiles files(kind);
    const std::string &input = files.input, &first = files.first, &second = files.second;
    std::FILE* f = std::fopen(input.c_str(), "wb");
    if (!f) return;
    const bool written = std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !written) return;

    Record r{};
    load(input, r, LoadPurpose::ForWindow);
    Record plain{};
    if (!load(input, plain, LoadPurpose::NoWindow)) return;
    if (!save(plain, first, true)) __builtin_trap();
    Record again{};
    if (!load(first, again, LoadPurpose::NoWindow)) __builtin_trap();
    if (!save(again, second, true)) __builtin_trap();
    if (Slurp(first) != Slurp(second)) __builtin_trap();
}

}  // namespace srx::fuzz
