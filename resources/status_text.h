#pragma once
// A status as the user reads it: the message of its string id with its
// arguments in place. Shared by the Win32 message boxes and sonrix-cli.
#include <string>

#include "resources/status.h"

namespace srx {

// The message of a status: its string with the arguments in place of the
// conversions (%s, %d, ...), in order.
std::string StatusText(const Status& status);

}  // namespace srx
