#pragma once
#include <cstddef>
#include <string>
// The program's string table: every text the user sees has an id here.

namespace srx {

struct StringEntry {
    int id;
    const char* text;
    int length;  // bytes, embedded NULs of filter lists included
};

extern const StringEntry kStringTable[];
extern const int kStringTableSize;

// The text of string `id`, or an empty string when there is none. UTF-8
// natively; Latin-1 in the Windows build, whose windows use ANSI calls.
const char* StringText(int id);

// `text` with every UTF-8 sequence of a Latin-1 character turned into that
// byte (others become '?').
std::string Latin1FromUtf8(const char* text);
std::string Latin1FromUtf8(const char* text, size_t length);

}  // namespace srx
