// Arbitrary bytes as the program's command line and as the hand-over list
// a second start leaves for the running instance. The parsers must keep
// their limits, and names must survive being quoted onto a command line
// and being written into a list file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "fuzz/fuzz_common.h"

namespace {

bool Listable(const std::string& name) {
    return !name.empty() && name.size() <= srx::kMaxListedNameChars && name.find_first_of("\r\n") == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace srx;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const std::vector<std::string> names = ParseCommandLine(text);
    if (names.size() > kMaxCommandLineNames) __builtin_trap();
    if (CountNonBlank(text) == 0 && !names.empty()) __builtin_trap();
    bool quotable = true, listable = true;
    std::string quoted;
    for (const std::string& n : names) {
        if (n.empty() || n.size() > kMaxCommandLineNameChars) __builtin_trap();
        quotable = quotable && n.find('"') == std::string::npos;
        listable = listable && Listable(n);
        quoted += " \"" + n + "\"\t";
    }
    if (quotable && ParseCommandLine(quoted) != names) __builtin_trap();
    if (listable && ParseHandOverList(HandOverListText(names)) != names) __builtin_trap();

    const std::vector<std::string> listed = ParseHandOverList(text);
    for (const std::string& n : listed)
        if (!Listable(n)) __builtin_trap();
    if (ParseHandOverList(HandOverListText(listed)) != listed) __builtin_trap();
    return 0;
}
