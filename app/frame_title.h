#pragma once
#include <string>

namespace srx {

// The frame title from the text of "SRWT.TXT": its first line, at most 79
// characters, leading blanks/tabs skipped and trailing ones removed. An empty
// result means the file gives no title.
std::string FrameTitleFromText(const std::string& text);

// The title from the file at `path` when it gives one, else `fallback`.
std::string ChooseFrameTitle(const std::string& path, const std::string& fallback);

}  // namespace srx
