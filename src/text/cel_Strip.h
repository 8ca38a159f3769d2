// The strip tool's reduction of a source to its commands, and its command count.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cel {

struct TStripResult {
    std::string Text;    // the kept commands, CR LF after every lineLength-th one
    uint64_t Count = 0;  // the number of kept commands
};

// The commands of source (8-bit text) in order, CR LF after every lineLength-th one.
// withRegardToComments: commands on comment lines (lines whose first character is one of
// ; / * ' % #) are dropped. procedures: ":", "(" and ")" count as commands. lineLength must be
// at least 1 (0 is taken as 1).
TStripResult StripCode(std::string_view source, bool withRegardToComments, bool procedures, uint32_t lineLength);

// Reads a line length as the dialog does; false when the text is not an integer of at least 1.
// The syntax is that of the program's number fields: leading blanks or tabs, an optional sign,
// then decimal digits, or hexadecimal digits after "$", "x", "X", "0x" or "0X"; nothing may
// follow, and the value must fit a signed 32-bit integer.
bool ParseLineLength(std::string_view text, uint32_t& length);

// The message for a line length that ParseLineLength refuses.
extern const char* const IllegalLineLengthMessage;

}  // namespace cel
