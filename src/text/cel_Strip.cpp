#include "cel_Strip.h"

#include "cel_NumberSyntax.h"
#include "cel_Operations.h"

#include <array>
#include <cstdint>

namespace cel {

const char* const IllegalLineLengthMessage = "You did not enter a legal number. Please try again.";

namespace {

// What one 8-bit character is to the strip: a command, a pbrain procedure command, a comment
// marker at line start, or nothing; taken from the engine's command table.
enum : uint8_t { KindCommand = 1, KindProcedure = 2, KindMarker = 4 };

constexpr std::array<uint8_t, 256> MakeKinds() {
    std::array<uint8_t, 256> kinds{};
    for (unsigned ch = 0; ch < 256; ++ch) {
        const TOpCode op = CommandCode(static_cast<unsigned char>(ch), true);
        if (op != opNone)
            kinds[ch] = Operation(op).Source == TOpSource::Procedure ? KindProcedure : KindCommand;
        if (IsCommentMarker(static_cast<unsigned char>(ch))) kinds[ch] |= KindMarker;
    }
    return kinds;
}

constexpr std::array<uint8_t, 256> Kinds = MakeKinds();

}  // namespace

TStripResult StripCode(std::string_view source, bool withRegardToComments, bool procedures, uint32_t lineLength) {
    if (lineLength == 0) lineLength = 1;  // callers check; this only keeps the bound below sound
    const uint8_t keptKinds = procedures ? KindCommand | KindProcedure : KindCommand;
    TStripResult result;
    // Every kept command takes one character and every lineLength-th one two more, so this size
    // is never exceeded and the loop writes without any check.
    result.Text.resize(source.size() + 2 * (source.size() / lineLength) + 2);
    char* out = result.Text.data();
    uint64_t count = 0;
    uint32_t untilBreak = lineLength;
    bool lineStart = true;
    bool commentLine = false;
    for (const char ch : source) {
        if (ch == '\n') {
            lineStart = true;
            commentLine = false;
            continue;
        }
        const uint8_t kind = Kinds[static_cast<uint8_t>(ch)];
        if (lineStart && (kind & KindMarker)) commentLine = true;
        lineStart = false;
        if (!(kind & keptKinds) || (commentLine && withRegardToComments)) continue;
        *out++ = ch;
        ++count;
        if (--untilBreak == 0) {
            *out++ = '\r';
            *out++ = '\n';
            untilBreak = lineLength;
        }
    }
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
