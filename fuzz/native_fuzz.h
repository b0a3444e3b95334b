#pragma once
// Shared body of the native-file fuzz targets: the input goes to a scratch
// file of this process, is read without and with the window preparations,
// and an accepted record must write, read back and write again to the same
// bytes. Any other outcome than a status is a crash the fuzzer reports.
#include <cstdint>
#include <string>

#include "data/native_files.h"
#include "fuzz/fuzz_common.h"

namespace srx::fuzz {

// The scratch files of one target.
struct ScratchFiles {
    ScratchFile input, first, second;
    explicit ScratchFiles(const std::string& kind)
        : input(kind + "_input"), first(kind + "_first"), second(kind + "_second") {}
};

template <class Record, class Load, class Save>
void CheckReader(const char* kind, const uint8_t* data, size_t size, Load load, Save save) {
    static const ScratchFiles files(kind);
    const std::string &input = files.input.path(), &first = files.first.path(), &second = files.second.path();
    if (!files.input.Write(data, size)) return;

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
