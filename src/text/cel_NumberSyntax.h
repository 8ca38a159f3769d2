// The number syntax of the output window's number field: optional leading blanks, an optional
// sign, then decimal digits or hexadecimal digits after "$", "x", "X", "0x" or "0X"; nothing may
// follow and the value must fit a signed 32-bit integer.
#pragma once

#include <cstdint>
#include <string_view>

namespace cel {

bool ParseInputNumber(std::string_view text, int32_t& value);

// The modify dialog's hexadecimal field: 0 when any character is not a hex digit (or the text
// is empty); of a longer text only the first 8 digits count.
uint32_t ParseHex(std::string_view text);
// The modify dialog's decimal field, in 0..65535: the text in the syntax above; when it does not
// fit as a whole, the digits read before the first character that does not fit count, without
// their sign. The result is clamped.
int ParseDecimal(std::string_view text);

}  // namespace cel
