#include "resources/status_text.h"

#include <cctype>
#include <cstring>

#include "resources/string_table.h"

namespace srx {

// The arguments travel already formatted, so each conversion takes the next
// one as it is, whatever its letter; a missing argument leaves nothing.
std::string StatusText(const Status& status) {
    const std::string format = StringText(status.stringId);
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            out += format[i];
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        // Skip flags, width, precision and length up to the conversion letter.
        size_t j = i + 1;
        while (j < format.size() && !std::isalpha((unsigned char)format[j])) ++j;
        while (j < format.size() && std::strchr("hlLqjzt", format[j])) ++j;
        if (next < status.args.size()) out += status.args[next++];
        i = j;
    }
    return out;
}

}  // namespace srx
