// The text generator's code: Brainfuck that prints a given text using two cells.
#pragma once

#include <string>
#include <string_view>

namespace cel {

// The code that prints text (each char one 8-bit value); lines end with CR LF.
std::string GenerateCode(std::string_view text);

}  // namespace cel
