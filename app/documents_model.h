#pragma once
// The parts of the document windows that need no window: titles and the
// NUL-separated filter texts of the file dialogs.
#include <string>
#include <vector>

namespace srx {

// The name in `path` after its last folder separator, without extension.
std::string FileTitle(const std::string& path);

// `title` as it stays unique among `others` (the titles of the other
// document windows, in window order): `title` itself when no other window
// has it, else "%s : %d" with the first number from 2 that no window has.
// Compared without regard to case.
std::string UniqueTitle(const std::string& title, const std::vector<std::string>& others);

// The title of a window created without one: "NONAME.%03d" with the
// active design number.
std::string NoNameTitle(int activeDesign);

// A string of the table that holds NUL-separated parts ending in a double
// NUL (file dialog filters), whole. Only for ids whose text ends in "\0".
std::string StringList(int id);

}  // namespace srx
