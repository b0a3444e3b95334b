#pragma once
// File helpers shared by the compensation reader, writer and converters.
#include <cstdio>
#include <string>

#include "platform/file_io.h"
#include "resources/status.h"

namespace srx::compensation_io {

using srx::HostPath;
using srx::WriteFileSafely;

// fopen of a program path.
std::FILE* OpenFile(const std::string& path, const char* mode);

// Reads text lines as the old tools wrote and read them: at most 259
// characters a piece, cut at the first CR or LF, leading blanks and tabs
// skipped; empty lines and lines beginning with ';' or '/' are passed over.
class LineReader {
public:
    explicit LineReader(std::FILE* f) : f_(f) {}
    // The next line that is not passed over; false at the end of the file.
    bool Next(std::string& line);
    // The same without passing over comment lines (formats whose data may
    // begin with '/' or ';' have none; used by the calibration readers).
    bool NextRaw(std::string& line);

private:
    std::FILE* f_;
};

// A fixed-size text field of a record as a string (up to its first NUL),
// and the string stored back, cut to fit and NUL-padded.
std::string TextField(const char* field, size_t size);
void StoreTextField(char* field, size_t size, const std::string& text);

// Case-insensitive comparisons of ASCII text.
bool IEquals(const std::string& a, const std::string& b);
bool IStartsWith(const std::string& text, const char* prefix);
bool IEndsWith(const std::string& text, const char* suffix);

// printf into a std::string.
std::string Format(const char* format, ...);

}  // namespace srx::compensation_io
