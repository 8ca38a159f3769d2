#include "cel_NumberSyntax.h"

#include <algorithm>

namespace cel {

namespace {

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Reads what stands before the digits of a number: blanks, a sign, a hex prefix ($, x or 0x).
// Leaves i at the first digit and returns the base.
int ReadNumberPrefix(std::string_view text, size_t& i, bool& negative) {
    i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        ++i;
        return 16;
    }
    if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        i += 2;
        return 16;
    }
    return 10;
}

// The magnitude of the digits at the start of text (after blanks, a sign and a hex prefix, as
// ParseInputNumber reads them) up to the first character that does not fit. It stops growing
// above 65535, which is all the caller needs to know.
int64_t LeadingMagnitude(std::string_view text) {
    size_t i = 0;
    bool negative = false;
    const int base = ReadNumberPrefix(text, i, negative);
    int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const int digit = DigitValue(text[i]);
        if (digit < 0 || digit >= base) break;
        magnitude = std::min<int64_t>(magnitude * base + digit, 65536);
    }
    return magnitude;
}

}  // namespace

uint32_t ParseHex(std::string_view text) {
    uint32_t value = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const int digit = DigitValue(text[i]);
        if (digit < 0) return 0;
        if (i < 8) value = value * 16 + static_cast<uint32_t>(digit);
    }
    return value;
}

int ParseDecimal(std::string_view text) {
    int32_t whole = 0;
    const int64_t value = ParseInputNumber(text, whole) ? whole : LeadingMagnitude(text);
    return static_cast<int>(std::clamp<int64_t>(value, 0, 65535));
}

bool ParseInputNumber(std::string_view text, int32_t& value) {
    size_t i = 0;
    bool negative = false;
    const int base = ReadNumberPrefix(text, i, negative);
    if (i >= text.size()) return false;
    int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return false;
        magnitude = magnitude * base + digit;
        if (magnitude > int64_t(INT32_MAX) + 1) return false;
    }
    const int64_t v = negative ? -magnitude : magnitude;
    if (v < INT32_MIN || v > INT32_MAX) return false;
    value = static_cast<int32_t>(v);
    return true;
}

}  // namespace cel
