#pragma once
// Program paths are Windows paths: a name in a folder is joined with "\"
// unless the folder already ends in a separator.
#include <string>

namespace srx {

inline std::string JoinProgramPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    const char last = folder.back();
    return folder + (last == '\\' || last == '/' ? "" : "\\") + name;
}

}  // namespace srx
