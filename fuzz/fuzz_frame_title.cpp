// Arbitrary bytes as SRWT.TXT, the frame title beside the program: the
// title is the trimmed first line within 79 characters, read from the file
// the same as from the text, and an empty one leaves the default title.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/frame_title.h"
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace srx;
    static const fuzz::ScratchFile file("SRWT.TXT");
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string title = FrameTitleFromText(text);
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    if (title.size() > 79 || title.find_first_of("\r\n") != std::string::npos ||
        (!title.empty() && (blank(title.front()) || blank(title.back()))))
        __builtin_trap();
    if (!file.Write(data, size)) return 0;
    if (ChooseFrameTitle(file.path(), "Sonorix 2") != (title.empty() ? "Sonorix 2" : title)) __builtin_trap();
    return 0;
}
