// The text generator's code: exact lines for known texts, the shape of every line for every
// difference, and that the code prints its text on 8-bit and 16-bit cells.
#include "cel_TextGen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

const std::string Prefix = "[-]>[-]<\r\n";

// Lines of the code without their CR LF; fails when the code does not end with CR LF or holds a
// lone CR or LF.
std::vector<std::string> Lines(const std::string& code) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < code.size()) {
        const size_t end = code.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "no CR LF after the last line";
            break;
        }
        lines.push_back(code.substr(start, end - start));
        start = end + 2;
    }
    for (const std::string& line : lines)
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "lone line break in " << line;
    return lines;
}

// Runs Brainfuck with the given cell type on a short tape starting in cell 0, its cells full of
// garbage the clearing prefix must remove. Brackets must match; the code never reads.
template <typename TCell>
std::string Execute(const std::string& code) {
    std::vector<TCell> tape(16, TCell(0xAB));
    size_t ptr = 0;
    std::string out;
    std::vector<size_t> match(code.size()), open;
    for (size_t i = 0; i < code.size(); ++i) {
        if (code[i] == '[') open.push_back(i);
        if (code[i] == ']') {
            if (open.empty()) return "<unmatched ]>";
            match[i] = open.back();
            match[open.back()] = i;
            open.pop_back();
        }
    }
    if (!open.empty()) return "<unmatched [>";
    for (size_t pc = 0; pc < code.size(); ++pc) {
        switch (code[pc]) {
            case '+': ++tape[ptr]; break;
            case '-': --tape[ptr]; break;
            case '>': ptr = std::min(ptr + 1, tape.size() - 1); break;
            case '<':
                if (ptr == 0) return out + "<pointer left of cell 0>";
                --ptr;
                break;
            case '[': if (tape[ptr] == 0) pc = match[pc]; break;
            case ']': if (tape[ptr] != 0) pc = match[pc]; break;
            case '.': out += static_cast<char>(tape[ptr] & 0xFF); break;
            case '\r': case '\n': break;
            default: return out + "<unexpected command>";
        }
    }
    return out;
}

struct TCase {
    const char* Name;
    std::string Text;
    std::string Code;
};

TEST(GenerateCode, KnownTextsGiveTheirCode) {
    const TCase cases[] = {
        {"Hi CR LF Ho", "Hi\r\nHo",
         Prefix + ">++++++++[<+++++++++>-]<.\r\n"
                  ">++++[<++++++++>-]<+.\r\n"
                  ">+++++++[<------------->-]<-.\r\n"
                  "---.\r\n"
                  ">+++++++[<+++++++++>-]<-.\r\n"
                  ">+++++[<++++++++>-]<-.\r\n"},
        {"empty text", "", Prefix},
        {"repeated character", "aa", Prefix + ">++++++++[<++++++++++++>-]<+.\r\n.\r\n"},
        {"255", "\xFF", Prefix + ">+++++++++++++++[<+++++++++++++++++>-]<.\r\n"},
        {"a first", "a", Prefix + ">++++++++[<++++++++++++>-]<+.\r\n"},
        {"step 17 is a run", "ar", Prefix + ">++++++++[<++++++++++++>-]<+.\r\n" + std::string(17, '+') + ".\r\n"},
        {"step 18 is a loop", "as", Prefix + ">++++++++[<++++++++++++>-]<+.\r\n>+++[<++++++>-]<.\r\n"},
        {"falling 3 is a run", "\x03", Prefix + "+++.\r\n"},
        {"zero byte prints at once", std::string(1, '\0'), Prefix + ".\r\n"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(cel::GenerateCode(c.Text), c.Code);
    }
}

// Every difference from -255 to 255: runs up to 17, loops from 18 with factor at most count,
// a loop cheaper than the run it replaces, and the pieces adding up to the difference.
TEST(GenerateCode, EveryDifferenceHasTheShapeOfItsSize) {
    for (int d = -255; d <= 255; ++d) {
        SCOPED_TRACE("difference " + std::to_string(d));
        const int from = d < 0 ? 255 : 0;
        const std::string text = from ? std::string{'\xFF', static_cast<char>(255 + d)}
                                       : std::string{static_cast<char>(d)};
        const std::vector<std::string> lines = Lines(cel::GenerateCode(text));
        ASSERT_EQ(lines.size(), text.size() + 1);
        const std::string& line = lines.back();
        const int D = d < 0 ? -d : d;
        const char step = d > 0 ? '+' : '-', back = d > 0 ? '-' : '+';
        if (D <= 17) {
            EXPECT_EQ(line, std::string(static_cast<size_t>(D), step) + ".");
            continue;
        }
        const size_t open = line.find("[<"), close = line.find(">-]<");
        ASSERT_TRUE(line.size() > 1 && line[0] == '>' && open != std::string::npos && close != std::string::npos)
            << line;
        const std::string factor = line.substr(1, open - 1), count = line.substr(open + 2, close - open - 2);
        const std::string tail = line.substr(close + 4);
        const int f = static_cast<int>(factor.size()), n = static_cast<int>(count.size());
        ASSERT_EQ(factor, std::string(factor.size(), '+'));
        ASSERT_EQ(count, std::string(count.size(), step));
        ASSERT_FALSE(tail.empty());
        ASSERT_EQ(tail.back(), '.');
        const std::string fix = tail.substr(0, tail.size() - 1);
        const bool up = !fix.empty() && fix[0] == step;
        ASSERT_EQ(fix, std::string(fix.size(), up ? step : back));
        const int r = up ? static_cast<int>(fix.size()) : -static_cast<int>(fix.size());
        EXPECT_EQ(f * n + r, D);
        EXPECT_GE(f, 2);
        EXPECT_LE(f, n);
        EXPECT_LT(static_cast<int>(fix.size()) + f + n + 8, D);
    }
}

// Random texts: the code prints the text on 8-bit and on 16-bit cells, one line per character.
TEST(GenerateCode, CodePrintsItsTextOnBothCellWidths) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> length(0, 40), byte(0, 255), printable(32, 126), kind(0, 2);
    for (int round = 0; round < 400; ++round) {
        std::string text;
        const int size = length(random), style = kind(random);
        for (int i = 0; i < size; ++i) {
            if (style == 0) text += static_cast<char>(byte(random));
            else if (style == 1) text += static_cast<char>(printable(random));
            else text += i % 7 == 6 ? std::string("\r\n") : std::string(1, static_cast<char>(printable(random)));
        }
        SCOPED_TRACE("round " + std::to_string(round));
        const std::string code = cel::GenerateCode(text);
        ASSERT_EQ(code.compare(0, Prefix.size(), Prefix), 0);
        ASSERT_EQ(Lines(code).size(), text.size() + 1);
        ASSERT_EQ(Execute<uint8_t>(code), text);
        ASSERT_EQ(Execute<uint16_t>(code), text);
    }
}

}  // namespace
