#pragma once
// The program's command line and the list file through which a second start
// hands its file names to the running instance.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace srx {

constexpr std::size_t kMaxCommandLineNames = 32;
constexpr std::size_t kMaxCommandLineNameChars = 511;
// Longest line of the hand-over list that is taken as a name.
constexpr std::size_t kMaxListedNameChars = 269;

// File names of a command line, in order. Tokens are separated by blanks or
// tabs; a token starting with '-' or '/' is an option and skipped; a token
// starting with '"' runs to the next '"', any other to the next blank (a tab
// inside it belongs to the name). Names are cut at 511 characters, empty
// names are dropped, at most 32 are taken. Throws std::bad_alloc when the
// copies cannot be made (the caller then opens nothing).
std::vector<std::string> ParseCommandLine(std::string_view line);

// Characters other than blanks and tabs; none means a bare start.
std::size_t CountNonBlank(std::string_view line);

// "<temp>\_67_SonRix2openfiles.[@]"; a trailing separator of `tempFolder`
// is not doubled.
std::string HandOverListPath(std::string_view tempFolder);

// The list file's bytes: each name followed by CR LF.
std::string HandOverListText(const std::vector<std::string>& names);

// Names of a list file's text: every non-empty line, cut at its first CR or
// LF. A line longer than 269 characters cannot be a path the reader opens,
// so it is dropped whole instead of being split into bogus names.
std::vector<std::string> ParseHandOverList(std::string_view text);

}  // namespace srx
