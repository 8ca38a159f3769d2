// The number syntax of the output window's number field: optional leading blanks, an optional
// sign, then decimal digits or hexadecimal digits after "$", "x", "X", "0x" or "0X"; nothing may
// follow and the value must fit a signed 32-bit integer.
#pragma once

#include <cstdint>
#include <string_view>

namespace cel {

bool ParseInputNumber(std::string_view text, int32_t& value);

}  // namespace cel
