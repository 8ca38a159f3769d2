// The input number syntax and the modify dialog's readers on arbitrary text.

#include "cel_NumberSyntax.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    int32_t value = 0;
    const bool whole = cel::ParseInputNumber(text, value);
    const int decimal = cel::ParseDecimal(text);
    if (decimal < 0 || decimal > 65535) __builtin_trap();
    // A text that reads as a whole number gives the decimal field that number, clamped.
    if (whole && decimal != (value < 0 ? 0 : value > 65535 ? 65535 : value)) __builtin_trap();
    const uint32_t hex = cel::ParseHex(text);
    if (size <= 4 && hex > 0xFFFF) __builtin_trap();
    return 0;
}
