#include "resources/string_table.h"

#include <algorithm>

namespace srx {

const char* StringText(int id) {
    // The generator sorts the table by id.
    const StringEntry* end = kStringTable + kStringTableSize;
    const StringEntry* it = std::lower_bound(kStringTable, end, id,
                                             [](const StringEntry& e, int v) { return e.id < v; });
    return (it != end && it->id == id) ? it->text : "";
}

}  // namespace srx
