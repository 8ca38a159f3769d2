// The strip tool's text work: the kept commands, their line breaks and count in both modes, the
// comment-line rule, and the reading of the line-length field.

#include "cel_Strip.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace {

// The output with its CR LF breaks shown as "|", so a final break shows as a trailing "|".
std::string Lines(const std::string& text) {
    std::string lines;
    for (size_t i = 0; i < text.size(); ++i) lines += text.compare(i, 2, "\r\n") == 0 ? (++i, '|') : text[i];
    return lines;
}

struct TStripCase {
    const char* Name;
    std::string Source;
    bool WithRegard, Procedures;
    uint32_t LineLength;
    std::string Lines;
    uint64_t Count;
};

class StripCases : public testing::TestWithParam<TStripCase> {};

TEST_P(StripCases, KeepsCountsAndBreaks) {
    const TStripCase& c = GetParam();
    const cel::TStripResult result = cel::StripCode(c.Source, c.WithRegard, c.Procedures, c.LineLength);
    EXPECT_EQ(Lines(result.Text), c.Lines);
    EXPECT_EQ(result.Count, c.Count);
}

const std::string Example = "; (comment), ok.\r\n++[>+++<-]>.\r\n (x):+.";

INSTANTIATE_TEST_SUITE_P(
    Strip, StripCases,
    testing::Values(
        TStripCase{"ExampleWithProcOn", Example, true, true, 5, "++[>+|++<-]|>.():|+.", 17},
        TStripCase{"ExampleWithProcOff", Example, true, false, 5, "++[>+|++<-]|>.+.", 14},
        TStripCase{"ExampleWithoutProcOn", Example, false, true, 5, "(),.+|+[>++|+<-]>|.():+|.", 21},
        TStripCase{"ExampleWithoutProcOff", Example, false, false, 5, ",.++[|>+++<|-]>.+|.", 16},
        TStripCase{"EmptySource", "", true, true, 70, "", 0},
        TStripCase{"MarkerAfterBlankOrTab", " #+\r\n\t;-", true, true, 70, "+-", 2},
        TStripCase{"MarkerFirstInSource", "#+-\r\n+", true, true, 70, "+", 1},
        TStripCase{"MarkerFirstInSourceWithout", "#+-\r\n+", false, true, 70, "+-+", 3},
        TStripCase{"EveryMarker", ";+\r\n/+\r\n*+\r\n'+\r\n%+\r\n#+\r\n>", true, true, 70, ">", 1},
        TStripCase{"MarkerLaterInLine", "+#+", true, true, 70, "++", 2},
        TStripCase{"CommentEndsAtLfOnly", "#+\r+\n\r\n#,\r\n.", true, true, 70, ".", 1},
        TStripCase{"CrAtLineStartIsNoMarker", "\r#+\n+", true, true, 70, "++", 2},
        TStripCase{"ProceduresOffWith", "(:)+:", true, false, 70, "+", 1},
        TStripCase{"ProceduresOffWithout", "#(:)\r\n(+)", false, false, 70, "+", 1},
        TStripCase{"ExactMultipleEndsWithBreak", "+-+-+-", true, true, 3, "+-+|-+-|", 6},
        TStripCase{"LineLengthOne", "a+b-\r\n.", true, true, 1, "+|-|.|", 3},
        TStripCase{"OtherBytesIgnored", std::string("\xff+\0\x80-", 5), true, true, 70, "+-", 2}),
    [](const testing::TestParamInfo<TStripCase>& info) { return std::string(info.param.Name); });

TEST(Strip, ParseLineLength) {
    const struct {
        const char* Text;
        uint32_t Value;  // 0: refused
    } cases[] = {{"70", 70},  {"007", 7},   {"+5", 5},   {" \t12", 12}, {"$1F", 31}, {"0x1a", 26}, {"x10", 16},
                 {"2147483647", 2147483647u}, {"0", 0},  {"-3", 0},     {"-0", 0},   {"", 0},      {" ", 0},
                 {"abc", 0},  {"12 ", 0},   {"1.5", 0},  {"+", 0},      {"$", 0},    {"0x", 0},    {"- 1", 0},
                 {"2147483648", 0}, {"$FFFFFFFF", 0}, {"99999999999999999999", 0}};
    for (const auto& c : cases) {
        uint32_t value = 12345;
        EXPECT_EQ(cel::ParseLineLength(c.Text, value), c.Value != 0) << '"' << c.Text << '"';
        EXPECT_EQ(value, c.Value ? c.Value : 12345u) << '"' << c.Text << '"';
    }
}

// The rule read literally: split the text at LF, judge each line by its first character, keep
// the commands, then break them into lines.
cel::TStripResult ReferenceStrip(const std::string& source, bool withRegard, bool procedures, uint32_t lineLength) {
    const std::string commands = procedures ? "><+-.,[]:()" : "><+-.,[]", markers = ";/*'%#";
    std::string kept;
    for (size_t start = 0, end = 0; start <= source.size(); start = end + 1) {
        end = std::min(source.find('\n', start), source.size());
        const bool comment = end > start && markers.find(source[start]) != std::string::npos;
        for (size_t i = start; i < end && !(comment && withRegard); ++i)
            if (commands.find(source[i]) != std::string::npos) kept += source[i];
    }
    cel::TStripResult result{{}, kept.size()};
    for (size_t i = 0; i < kept.size(); ++i) {
        result.Text += kept[i];
        if ((i + 1) % lineLength == 0) result.Text += "\r\n";
    }
    return result;
}

// Random texts mostly of the characters that matter; CR only before LF (as the editor gives
// them) or anywhere.
std::string RandomSource(std::mt19937& random, bool crOnlyBeforeLf) {
    static const std::string alphabet = "><+-.,[]:();/*'%# \tax\n\r\xff";
    std::uniform_int_distribution<size_t> length(0, 300), pick(0, alphabet.size() - 1);
    std::string text;
    for (size_t n = length(random); n > 0; --n) {
        const char c = alphabet[pick(random)];
        if (c == '\r' && crOnlyBeforeLf) text += "\r\n";
        else text += c;
    }
    return text;
}

TEST(Strip, AgreesWithTheLiteralRule) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<uint32_t> length(1, 12);
    for (int round = 0; round < 3000; ++round) {
        const std::string source = RandomSource(random, round % 2 == 0);
        const bool withRegard = round % 3 != 0, procedures = round % 5 < 3;
        const uint32_t lineLength = length(random);
        const cel::TStripResult got = cel::StripCode(source, withRegard, procedures, lineLength);
        const cel::TStripResult want = ReferenceStrip(source, withRegard, procedures, lineLength);
        ASSERT_EQ(got.Text, want.Text) << "round " << round;
        ASSERT_EQ(got.Count, want.Count) << "round " << round;
    }
}

// On editor text the count with regard to comments is the number of commands the interpreter's
// analysis keeps with comment markers enabled.
TEST(Strip, CountMatchesTheAnalysis) {
    std::mt19937 random(77);
    for (int round = 0; round < 1000; ++round) {
        const std::string source = RandomSource(random, true);
        cel::THeadlessHost host;
        cel::TBFInterpreter8 engine{host};
        engine.Analyze(source, true, round % 2 == 0);
        ASSERT_EQ(cel::StripCode(source, true, round % 2 == 0, 70).Count, engine.GetCommandCount()) << round;
    }
}

}  // namespace
