#pragma once
// The program's string table: every text the user sees has an id here.

namespace srx {

struct StringEntry {
    int id;
    const char* text;
};

extern const StringEntry kStringTable[];
extern const int kStringTableSize;

// The text of string `id`, or an empty string when there is none.
const char* StringText(int id);

}  // namespace srx
