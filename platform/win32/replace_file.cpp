#include <windows.h>

#include "platform/file_io.h"

namespace srx {

// MoveFileEx replaces the target in one step; without REPLACE_EXISTING a
// plain rename would refuse an existing file. A folder is never replaced.
bool ReplaceTarget(const std::string& temp, const std::string& target) {
    const DWORD attributes = GetFileAttributesA(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    return MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace srx
