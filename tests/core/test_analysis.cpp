#include "test_support.h"

#include <gtest/gtest.h>

namespace {

using cel::TBFInterpreter8;
using cel::THeadlessHost;

struct TAnalysis {
    THeadlessHost Host;
    TBFInterpreter8 Engine{Host};
    int Error = 0;
    TAnalysis(const std::string& text, bool markers, bool proc) {
        Error = Engine.Analyze(text, markers, proc);
    }
    std::string Ops(bool folded) const {
        const auto& list = folded ? Engine.GetFoldedList() : Engine.GetCommandList();
        const uint32_t n = folded ? Engine.GetFoldedCount() : Engine.GetCommandCount();
        std::string s;
        for (uint32_t i = 0; i < n; ++i) {
            if (i) s += ' ';
            s += std::to_string(list[i].Op);
            if (list[i].Op >= cel::opRightN) {
                s += 'x';
                s += std::to_string(list[i].Arg);
            }
        }
        return s;
    }
};

TEST(Analysis, CommentLinesAndProceduralCharacters) {
    EXPECT_EQ(TAnalysis("", true, false).Engine.GetCommandCount(), 0u);
    EXPECT_EQ(TAnalysis("hello world", true, false).Engine.GetCommandCount(), 0u);
    EXPECT_EQ(TAnalysis("#+++\r\n;--", true, false).Engine.GetCommandCount(), 0u);
    EXPECT_EQ(TAnalysis("#+\r\n", false, false).Engine.GetCommandCount(), 1u);
    EXPECT_EQ(TAnalysis(" #+", true, false).Engine.GetCommandCount(), 1u);
    EXPECT_EQ(TAnalysis("(:)", true, false).Engine.GetCommandCount(), 0u);
    EXPECT_EQ(TAnalysis("(:)", true, true).Engine.GetCommandCount(), 3u);
    // A marker after the first character is an ignored character; commands after it count.
    TAnalysis a("+#+\r\n#+\r\n+", true, false);
    ASSERT_EQ(a.Engine.GetCommandCount(), 3u);
    EXPECT_EQ(a.Engine.GetCommandList()[2].Origin, 9u);
}

TEST(Analysis, FoldingAcrossNonCommands) {
    TAnalysis runs("+ \r\n++", true, false);
    EXPECT_EQ(runs.Ops(true), "23x3");
    EXPECT_EQ(runs.Engine.GetFoldedList()[0].Origin, 0u);
    EXPECT_EQ(TAnalysis("+-+", true, false).Ops(true), "3 4 3");
    EXPECT_EQ(TAnalysis("[ - ]", true, false).Ops(true), "9");
    EXPECT_EQ(TAnalysis("[+]", true, false).Ops(true), "10");
    EXPECT_EQ(TAnalysis("[--]", true, false).Ops(true), "7 24x2 8");
    EXPECT_EQ(TAnalysis("[->]", true, false).Ops(true), "7 4 1 8");
    EXPECT_EQ(TAnalysis("[]", true, false).Ops(true), "7 8");
    TAnalysis nested(">>[-]<<", true, false);
    EXPECT_EQ(nested.Ops(true), "21x2 9 22x2");
    EXPECT_EQ(nested.Engine.GetFoldedList()[2].Origin, 5u);
}

TEST(Analysis, StructureErrors) {
    EXPECT_EQ(TAnalysis("]", true, true).Error, cel::errOpeningBracketExpected);
    EXPECT_EQ(TAnalysis("[", true, true).Error, cel::errClosingBracketExpected);
    EXPECT_EQ(TAnalysis("+[", true, true).Error, cel::errClosingBracketExpected);
    EXPECT_EQ(TAnalysis("(", true, true).Error, cel::errRightParenthesisExpected);
    EXPECT_EQ(TAnalysis(")", true, true).Error, cel::errLeftParenthesisExpected);
    EXPECT_EQ(TAnalysis("[)", true, true).Error, cel::errIntersectingBrackets);
    EXPECT_EQ(TAnalysis("(]", true, true).Error, cel::errIntersectingBrackets);
    EXPECT_EQ(TAnalysis("[(])", true, true).Error, cel::errIntersectingBrackets);
    EXPECT_EQ(TAnalysis("[(])", true, false).Error, cel::errNone);
    EXPECT_EQ(TAnalysis("[[]](:)", true, true).Error, cel::errNone);
}

// The codes and messages as the error box shows them.
TEST(Analysis, ErrorTexts) {
    const char* const texts[] = {
        "Error 101: Closing bracket expected.",
        "Error 102: Opening bracket expected.",
        "Error 103: Could not read input file.",
        "Error 104: Could not write output file.",
        "Error 105: Windows reported an error while printing the output. Execution cannot be continued.",
        "Error 106: Right parenthesis expected.",
        "Error 107: Left parenthesis expected.",
        "Error 108: Intersecting brackets.",
        "Error 109: Illegal procedure call.",
    };
    for (int code = 101; code <= 109; ++code) EXPECT_EQ(cel::ErrorText(code), texts[code - 101]);
    EXPECT_STREQ(cel::ErrorMessage(cel::errNone), "");
    EXPECT_STREQ(cel::ErrorMessage(110), "");
}

TEST(Analysis, PartnersInBothLists) {
    TAnalysis a("[>+++[-]<]", true, false);
    const auto& c = a.Engine.GetCommandList();
    EXPECT_EQ(c[0].Arg, 9u);
    EXPECT_EQ(c[9].Arg, 0u);
    EXPECT_EQ(c[5].Arg, 7u);
    const auto& f = a.Engine.GetFoldedList();
    ASSERT_EQ(a.Ops(true), "7 1 23x3 9 2 8");
    EXPECT_EQ(f[0].Arg, 5u);
    EXPECT_EQ(f[5].Arg, 0u);
}

TEST(Analysis, DeepNestingUsesNoRecursion) {
    const size_t depth = 1000000;
    std::string text(depth, '[');
    text.append(depth, ']');
    TAnalysis a(text, true, false);
    EXPECT_EQ(a.Error, 0);
    EXPECT_EQ(a.Engine.GetCommandList()[0].Arg, 2 * depth - 1);
}

}  // namespace
