// The text generator and the strip tool on arbitrary bytes.

#include "cel_Strip.h"
#include "cel_TextGen.h"

#include <cstdint>
#include <string>

namespace {

// Runs two-cell code as the generator writes it (no input, no pbrain) and returns its output.
std::string RunGenerated(const std::string& code) {
    std::string out;
    uint8_t cells[2] = {0, 0};
    size_t ptr = 0;
    std::string loopStack;
    for (size_t pc = 0; pc < code.size(); ++pc) {
        switch (code[pc]) {
        case '>': ptr = 1; break;
        case '<': ptr = 0; break;
        case '+': ++cells[ptr]; break;
        case '-': --cells[ptr]; break;
        case '.': out.push_back(static_cast<char>(cells[ptr])); break;
        case '[':
            if (cells[ptr] == 0) {
                int depth = 1;
                while (depth > 0) {
                    ++pc;
                    depth += code[pc] == '[' ? 1 : code[pc] == ']' ? -1 : 0;
                }
            }
            break;
        case ']':
            if (cells[ptr] != 0) {
                int depth = 1;
                while (depth > 0) {
                    --pc;
                    depth += code[pc] == ']' ? 1 : code[pc] == '[' ? -1 : 0;
                }
            }
            break;
        default: break;
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);

    const std::string code = cel::GenerateCode(bytes);
    if (size < 2048 && RunGenerated(code) != bytes) __builtin_trap();

    const uint32_t lineLength = 1 + data[0] % 80;
    for (int mode = 0; mode < 4; ++mode) {
        const cel::TStripResult result = cel::StripCode(bytes, mode & 1, mode & 2, lineLength);
        uint64_t commands = 0;
        for (char c : result.Text) commands += c != '\r' && c != '\n';
        if (commands != result.Count) __builtin_trap();
        if (result.Text.size() > bytes.size() + 2 * (bytes.size() / lineLength) + 2) __builtin_trap();
    }
    uint32_t length = 0;
    (void)cel::ParseLineLength(bytes, length);
    return 0;
}
