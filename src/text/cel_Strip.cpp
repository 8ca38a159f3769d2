#include "cel_Strip.h"

#include "cel_Lexer.h"
#include "cel_NumberSyntax.h"

#include <cstdint>

namespace cel {

const char* const IllegalLineLengthMessage = "You did not enter a legal number. Please try again.";

TStripResult StripCode(std::string_view source, bool withRegardToComments, bool procedures, uint32_t lineLength) {
    if (lineLength == 0) lineLength = 1;  // callers check; this only keeps the bound below sound
    TStripResult result;
    // Every kept command takes one character and every lineLength-th one two more, so this size
    // is never exceeded and the loop writes without any check.
    result.Text.resize(source.size() + 2 * (source.size() / lineLength) + 2);
    char* out = result.Text.data();
    uint64_t count = 0;
    uint32_t untilBreak = lineLength;
    const TLexRules rules{withRegardToComments, procedures, true};
    ForEachCommand(source, rules, [&](size_t offset, TOpCode) {
        *out++ = source[offset];
        ++count;
        if (--untilBreak == 0) {
            *out++ = '\r';
            *out++ = '\n';
            untilBreak = lineLength;
        }
    });
    result.Text.resize(static_cast<size_t>(out - result.Text.data()));
    result.Count = count;
    return result;
}

bool ParseLineLength(std::string_view text, uint32_t& length) {
    int32_t value = 0;
    if (!ParseInputNumber(text, value) || value < 1) return false;
    length = static_cast<uint32_t>(value);
    return true;
}

}  // namespace cel
