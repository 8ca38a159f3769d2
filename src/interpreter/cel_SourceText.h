// Source files as the editor holds them: 8-bit text whose lines are joined by CR LF.
#pragma once

#include <string>
#include <string_view>

namespace cel {

// Turns the bytes of a source file into the editor's text: the text ends at the first NUL byte,
// lines are split at CR, LF or CR LF and joined again by CR LF, with no break after the last line.
std::string SourceTextFromBytes(std::string_view bytes);

// Reads a source file; false when it cannot be read.
bool ReadSourceFile(const std::string& path, std::string& text);

// Where a text offset stands: its 1-based line (lines end at LF) and its 1-based column, the
// characters of its line up to it (bytes: the text is 8-bit).
struct TSourcePlace {
    size_t Line = 1;
    size_t Column = 1;
};
TSourcePlace PlaceOf(std::string_view text, size_t offset);

}  // namespace cel
