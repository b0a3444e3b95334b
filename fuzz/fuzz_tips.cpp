// Arbitrary bytes as the tips file (SRIXTIPS.CFG). Only the Win32 dialog
// opens the file; the parsing and the choice of the tip shown are portable
// and fuzzed here: tips are trimmed, bounded lines, and any stored index,
// also a damaged one, picks one of them.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_rules.h"
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace srx;
    const std::vector<std::string> tips = ParseTips(std::string_view(reinterpret_cast<const char*>(data), size));
    if (tips.size() > size_t(kMaxTips)) __builtin_trap();
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    for (const std::string& t : tips)
        if (t.empty() || t.size() > kMaxTipChars || t.find('\n') != std::string::npos || blank(t.front()) ||
            blank(t.back()))
            __builtin_trap();

    // The stored index as the registry block could hold it.
    int32_t index = 0;
    std::memcpy(&index, data, size < sizeof index ? size : sizeof index);
    const int count = int(tips.size());
    const int shown = TipToShow(index, count);
    if (count == 0 ? shown != -1 : shown < 0 || shown >= count) __builtin_trap();
    return 0;
}
