#include "resources/string_table.h"

#include <algorithm>
#include <string>
#include <vector>

namespace srx {

namespace {

const StringEntry* Find(int id) {
    // The generator sorts the table by id.
    const StringEntry* end = kStringTable + kStringTableSize;
    const StringEntry* it =
        std::lower_bound(kStringTable, end, id, [](const StringEntry& e, int v) { return e.id < v; });
    return (it != end && it->id == id) ? it : nullptr;
}

}  // namespace

// The table's source is UTF-8. The Windows program draws with the ANSI
// functions of a Western code page, so there the few characters beyond
// ASCII (degree, superscript two, middle dot) are handed out as Latin-1.
std::string Latin1FromUtf8(const char* text) { return Latin1FromUtf8(text, std::char_traits<char>::length(text)); }

std::string Latin1FromUtf8(const char* text, size_t length) {
    std::string out;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* end = p + length;
    while (p < end) {
        unsigned c = *p;
        if (c < 0x80) {
            out += char(c);
            ++p;
        } else if ((c & 0xE0) == 0xC0 && p + 1 < end && (p[1] & 0xC0) == 0x80) {
            const unsigned cp = ((c & 0x1F) << 6) | (p[1] & 0x3F);
            out += cp <= 0xFF ? char(cp) : '?';
            p += 2;
        } else {
            // Longer sequences have no Latin-1 form; skip their bytes.
            out += '?';
            ++p;
            while (p < end && (*p & 0xC0) == 0x80) ++p;
        }
    }
    return out;
}

const char* StringText(int id) {
    const StringEntry* e = Find(id);
    if (!e) return "";
#if defined(_WIN32)
    static const std::vector<std::string> latin1 = [] {
        std::vector<std::string> v;
        v.reserve(kStringTableSize);
        for (int i = 0; i < kStringTableSize; ++i)
            v.push_back(Latin1FromUtf8(kStringTable[i].text, size_t(kStringTable[i].length)));
        return v;
    }();
    return latin1[e - kStringTable].c_str();
#else
    return e->text;
#endif
}

}  // namespace srx
