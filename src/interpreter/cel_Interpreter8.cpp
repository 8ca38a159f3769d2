#include "cel_Interpreter8.h"

namespace cel {

template class TBFInterpreterCells<uint8_t>;

std::string FormatMemoryLine(bool wide, uint32_t index, uint32_t value) {
    const unsigned char code = static_cast<unsigned char>(value & 0xFF);
    const char ch = code < 32 ? ' ' : static_cast<char>(code);
    char line[48];
    if (wide)
        std::snprintf(line, sizeof line, " %.4X  %.4X  %.5u  %c ", index & 0xFFFF, value & 0xFFFF,
                      value & 0xFFFF, ch);
    else
        std::snprintf(line, sizeof line, " %.4X    %.2X    %.3u  %c ", index & 0xFFFF, value & 0xFF,
                      value & 0xFF, ch);
    return line;
}

}  // namespace cel
