#pragma once
// How failures travel: a core function returns a Status carrying the string
// id of its message (and any format arguments); the Win32 caller shows it.
// The core never shows UI itself.
#include <string>
#include <utility>
#include <vector>

namespace srx {

struct Status {
    int stringId = 0;               // 0: success
    std::vector<std::string> args;  // printf arguments of the message, already formatted

    static Status Ok() { return {}; }
    static Status Error(int id, std::vector<std::string> a = {}) { return {id, std::move(a)}; }
    bool ok() const { return stringId == 0; }
    explicit operator bool() const { return ok(); }
};

}  // namespace srx
