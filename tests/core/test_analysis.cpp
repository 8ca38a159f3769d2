// The analysis of a program text: the command list, the folded list, the bracket matching and
// the fast form, built as a program value without an engine and compared through its readable
// dumps, so a failing case reads as a program.
#include "cel_FastProgram.h"
#include "cel_Lexer.h"
#include "cel_Program.h"
#include "cel_Strip.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <vector>

namespace {

using cel::TBFInterpreter8;
using cel::THeadlessHost;

struct TAnalysis {
    cel::TProgram Program;
    int Error = 0;
    TAnalysis(const std::string& text, bool markers, bool proc) : Program(text, markers, proc) {
        Error = Program.Error;
    }
    // The list as program text: "[ > +x3 [-] < ]".
    std::string Ops(bool folded) const {
        return folded ? cel::ProgramText(Program.FoldedList, Program.FoldedCount)
                      : cel::ProgramText(Program.CommandList, Program.CommandCount);
    }
    // The list one record a line, with origins and partners: "5 @9 ] ->0".
    std::string Dump(bool folded) const {
        return folded ? cel::DumpList(Program.FoldedList, Program.FoldedCount)
                      : cel::DumpList(Program.CommandList, Program.CommandCount);
    }
};

TEST(Analysis, CommentLinesAndProceduralCharacters) {
    EXPECT_EQ(TAnalysis("", true, false).Ops(false), "");
    EXPECT_EQ(TAnalysis("hello world", true, false).Ops(false), "");
    EXPECT_EQ(TAnalysis("#+++\r\n;--", true, false).Ops(false), "");
    EXPECT_EQ(TAnalysis("#+\r\n", false, false).Ops(false), "+");
    EXPECT_EQ(TAnalysis(" #+", true, false).Ops(false), "+");
    EXPECT_EQ(TAnalysis("(:)", true, false).Ops(false), "");
    EXPECT_EQ(TAnalysis("(:)", true, true).Ops(false), "( : )");
    // A marker after the first character is an ignored character; commands after it count.
    EXPECT_EQ(TAnalysis("+#+\r\n#+\r\n+", true, false).Dump(false), "0 @0 +\n1 @2 +\n2 @9 +\n");
}

TEST(Analysis, FoldingAcrossNonCommands) {
    EXPECT_EQ(TAnalysis("+ \r\n++", true, false).Dump(true), "0 @0 +x3\n");
    EXPECT_EQ(TAnalysis("+-+", true, false).Ops(true), "+ - +");
    EXPECT_EQ(TAnalysis("[ - ]", true, false).Ops(true), "[-]");
    EXPECT_EQ(TAnalysis("[+]", true, false).Ops(true), "[+]");
    EXPECT_EQ(TAnalysis("[--]", true, false).Ops(true), "[ -x2 ]");
    EXPECT_EQ(TAnalysis("[->]", true, false).Ops(true), "[ - > ]");
    EXPECT_EQ(TAnalysis("[]", true, false).Ops(true), "[ ]");
    EXPECT_EQ(TAnalysis(">>[-]<<", true, false).Dump(true), "0 @0 >x2\n1 @2 [-]\n2 @5 <x2\n");
    // Output, input and the procedure commands never fold.
    EXPECT_EQ(TAnalysis("..,,::((", true, true).Ops(true), ". . , , : : ( (");
    // In pbrain, a clear loop's body may hold no procedure command.
    EXPECT_EQ(TAnalysis("[:]", true, true).Ops(true), "[ : ]");
}

// Each error with the source offset of the character it is about: the closing one that found no
// partner of its kind, or else the innermost one left open.
TEST(Analysis, StructureErrors) {
    struct TRow {
        const char* Text;
        bool Proc;
        cel::TError Error;
        uint32_t At;
    };
    const TRow rows[] = {
        {"]", true, cel::errOpeningBracketExpected, 0},
        {"[", true, cel::errClosingBracketExpected, 0},
        {"+[", true, cel::errClosingBracketExpected, 1},
        {"(", true, cel::errRightParenthesisExpected, 0},
        {")", true, cel::errLeftParenthesisExpected, 0},
        {"[)", true, cel::errIntersectingBrackets, 1},
        {"(]", true, cel::errIntersectingBrackets, 1},
        {"[(])", true, cel::errIntersectingBrackets, 2},
        {"[(])", false, cel::errNone, 0},
        {"[[]](:)", true, cel::errNone, 0},
        // The first closing one that fails decides, else the innermost one left open.
        {"[)]]", true, cel::errIntersectingBrackets, 1},
        {"])", true, cel::errOpeningBracketExpected, 0},
        {"[(", true, cel::errRightParenthesisExpected, 1},
        {"([", true, cel::errClosingBracketExpected, 1},
        // Offsets count every character (comment lines and line breaks too); a clear loop that
        // the folded list holds in one record is found in the command list.
        {"#[\r\n [[]", true, cel::errClosingBracketExpected, 5},
        {"+\r\n]-", false, cel::errOpeningBracketExpected, 3},
        {"[-]]", false, cel::errOpeningBracketExpected, 3},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Text);
        const TAnalysis a(row.Text, true, row.Proc);
        EXPECT_EQ(a.Error, row.Error);
        if (row.Error != cel::errNone) {
            EXPECT_EQ(a.Program.ErrorOrigin, row.At);
        }
    }
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
    EXPECT_EQ(a.Dump(false),
              "0 @0 [ ->9\n"
              "1 @1 >\n"
              "2 @2 +\n"
              "3 @3 +\n"
              "4 @4 +\n"
              "5 @5 [ ->7\n"
              "6 @6 -\n"
              "7 @7 ] ->5\n"
              "8 @8 <\n"
              "9 @9 ] ->0\n");
    EXPECT_EQ(a.Dump(true),
              "0 @0 [ ->5\n"
              "1 @1 >\n"
              "2 @2 +x3\n"
              "3 @5 [-]\n"
              "4 @8 <\n"
              "5 @9 ] ->0\n");
    TAnalysis p("(+):", true, true);
    EXPECT_EQ(p.Dump(true), "0 @0 ( ->2\n1 @1 +\n2 @2 ) ->0\n3 @3 :\n");
}

TEST(Analysis, DeepNestingUsesNoRecursion) {
    const size_t depth = 1000000;
    std::string text(depth, '[');
    text.append(depth, ']');
    TAnalysis a(text, true, false);
    EXPECT_EQ(a.Error, 0);
    EXPECT_EQ(a.Program.CommandList[0].Arg, 2 * depth - 1);
}

// The command characters of the language, and nothing else, are commands; ( ) : only in pbrain.
TEST(Analysis, CommandCharacters) {
    const std::string commands = "><+-.,[]():";
    const cel::TOpCode ops[] = {cel::opRight,     cel::opLeft,    cel::opInc,       cel::opDec,
                                cel::opOutput,    cel::opInput,   cel::opLoopStart, cel::opLoopEnd,
                                cel::opProcStart, cel::opProcEnd, cel::opCall};
    const std::string markers = ";/*'%#";
    for (int c = 0; c < 256; ++c) {
        const unsigned char ch = static_cast<unsigned char>(c);
        SCOPED_TRACE(c);
        const size_t at = c == 0 ? std::string::npos : commands.find(static_cast<char>(ch));
        EXPECT_EQ(cel::CommandCode(ch, true), at == std::string::npos ? cel::opNone : ops[at]);
        EXPECT_EQ(cel::CommandCode(ch, false), at == std::string::npos || at >= 8 ? cel::opNone : ops[at]);
        EXPECT_EQ(cel::IsCommentMarker(ch), c != 0 && markers.find(static_cast<char>(ch)) != std::string::npos);
    }
}

// The folded list written out command by command: a run's count as that many characters.
std::string Expand(const std::string& program) {
    std::istringstream words(program);
    std::string word;
    std::string expanded;
    while (words >> word) {
        const size_t x = word.find('x');
        if (x == std::string::npos) expanded += word;
        else expanded.append(std::stoul(word.substr(x + 1)), word[0]);
    }
    return expanded;
}

// Random texts in every mode: the command list holds the commands the strip tool keeps, each
// at its source offset; the folded list stands for exactly the same commands, with every run
// of > < + - folded whole, every [-] and [+] folded, and its origins where its commands start
// in the command list; brackets and parentheses are partners both ways.
TEST(Analysis, FoldedListStandsForTheCommandList) {
    static const char* const pieces[] = {"+", "-", ">", "<", ".", ",", "[", "]", "(", ")", ":", "++",
                                         "---", ">>>>", "[-]", "[+]", "[--]", "\r\n", " ", "x", "#", ";"};
    std::mt19937 gen(20260312);
    for (int round = 0; round < 400; ++round) {
        std::string text;
        const int n = static_cast<int>(gen() % 40);
        for (int i = 0; i < n; ++i) text += pieces[gen() % std::size(pieces)];
        for (const bool markers : {false, true}) {
            for (const bool proc : {false, true}) {
                SCOPED_TRACE(testing::Message() << "markers " << markers << ", pbrain " << proc << ": " << text);
                TAnalysis a(text, markers, proc);
                const auto& commands = a.Program.CommandList;
                const auto& folded = a.Program.FoldedList;
                const uint32_t commandCount = a.Program.CommandCount;
                const uint32_t foldedCount = a.Program.FoldedCount;

                const std::string kept = cel::StripCode(text, markers, proc, UINT32_MAX).Text;
                std::string plain = a.Ops(false);
                std::erase(plain, ' ');
                ASSERT_EQ(plain, kept);
                for (uint32_t i = 0; i < commandCount; ++i)
                    ASSERT_EQ(text[commands[i].Origin], cel::InstructionText(commands[i])[0]) << "record " << i;
                ASSERT_EQ(Expand(a.Ops(true)), kept);

                uint32_t covered = 0;
                for (uint32_t j = 0; j < foldedCount; ++j) {
                    const cel::TInstruction& r = folded[j];
                    ASSERT_EQ(r.Origin, covered) << "record " << j << "\n" << a.Dump(true);
                    covered += static_cast<uint32_t>(Expand(cel::InstructionText(r)).size());
                    if (j + 1 < foldedCount) {
                        const std::string here = cel::InstructionText(r);
                        const std::string next = cel::InstructionText(folded[j + 1]);
                        // A run ends where another command follows.
                        if (std::string("><+-").find(here[0]) != std::string::npos) {
                            ASSERT_NE(here[0], next[0]) << "record " << j << "\n" << a.Dump(true);
                        }
                        // A clear loop is never left in three records.
                        if (here == "[" && j + 2 < foldedCount && (next == "-" || next == "+")) {
                            ASSERT_NE(cel::InstructionText(folded[j + 2]), "]") << "record " << j;
                        }
                    }
                }
                if (a.Error != cel::errNone) continue;
                for (const auto* list : {&commands, &folded}) {
                    const uint32_t count = list == &commands ? commandCount : foldedCount;
                    for (uint32_t i = 0; i < count; ++i) {
                        const cel::TInstruction& r = (*list)[i];
                        if (cel::Operation(r.Op).Arg != cel::TOpArg::Partner) continue;
                        ASSERT_LT(r.Arg, count);
                        EXPECT_EQ((*list)[r.Arg].Arg, i);
                        const bool opens = r.Op == cel::opLoopStart || r.Op == cel::opProcStart;
                        EXPECT_EQ(opens, r.Arg > i);
                        EXPECT_EQ((*list)[r.Arg].Op, r.Op == cel::opLoopStart ? cel::opLoopEnd
                                                     : r.Op == cel::opLoopEnd ? cel::opLoopStart
                                                     : r.Op == cel::opProcStart ? cel::opProcEnd
                                                                                : cel::opProcStart);
                    }
                }
            }
        }
    }
}


// The partner of ops[bracket] as the editor once found it, reading from the start at each look.
int PartnerFromTheStart(const std::vector<cel::TOpCode>& ops, int bracket) {
    std::vector<int> open;
    for (int i = 0; i < int(ops.size()); ++i) {
        if (ops[i] == cel::opLoopStart || ops[i] == cel::opProcStart) open.push_back(i);
        if (ops[i] != cel::opLoopEnd && ops[i] != cel::opProcEnd) continue;
        if (open.empty() || ops[open.back()] != (ops[i] == cel::opLoopEnd ? cel::opLoopStart : cel::opProcStart)) {
            if (i == bracket) return -1;
        } else if (i == bracket || open.back() == bracket) {
            return i == bracket ? open.back() : i;
        } else {
            open.pop_back();
        }
    }
    return -1;
}

// On random texts of brackets, CR, LF, CR LF and markers at line starts and after a CR, in every
// mode: the lexer reads the command list's commands, each at its offset, and nothing is a command
// that a character-by-character reading of the rule (a CR leaves the line start as it is) leaves
// out; the pairing that passes over faults finds the partners the editor found reading from the
// start, and the engine's where the engine found no fault. (StripCode's reading, where a CR ends
// the line start, is pinned by Strip.AgreesWithTheLiteralRule.)
TEST(Analysis, LexerAndMatcherAgreeWithTheEngine) {
    static const char* const pieces[] = {"[", "]", "(", ")", "[-]", ":", "\r\n", "\n", "\r", "#", ";", " ", "\r#"};
    std::mt19937 gen(4242);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        for (int n = static_cast<int>(gen() % 30); n > 0; --n) text += pieces[gen() % std::size(pieces)];
        const bool markers = round % 2 == 0, proc = round % 4 < 2;
        SCOPED_TRACE(testing::Message() << "markers " << markers << ", pbrain " << proc << ": " << text);
        std::string literal;  // the commands by the rule, character by character
        bool lineStart = true, comment = false;
        for (const char c : text) {
            if (c == '\n') lineStart = true, comment = false;
            if (c == '\n' || c == '\r') continue;
            comment = comment || (lineStart && markers && cel::IsCommentMarker(static_cast<unsigned char>(c)));
            lineStart = false;
            if (!comment && cel::CommandCode(static_cast<unsigned char>(c), proc) != cel::opNone) literal += c;
        }
        TAnalysis a(text, markers, proc);
        std::string read;
        std::vector<cel::TOpCode> ops;
        cel::ForEachCommand(text, {markers, proc, false}, [&](size_t at, cel::TOpCode op) {
            read += text[at];
            EXPECT_EQ(a.Program.CommandList[ops.size()].Origin, at);
            EXPECT_EQ(a.Program.CommandList[ops.size()].Op, op);
            ops.push_back(op);
        });
        ASSERT_EQ(read, literal);
        ASSERT_EQ(a.Program.CommandCount, ops.size());
        std::vector<int> partner(ops.size(), -1);
        cel::PairBrackets(
            uint32_t(ops.size()), [&](uint32_t i) { return ops[i]; },
            [&](uint32_t open, uint32_t close) { partner[open] = int(close), partner[close] = int(open); }, false);
        for (int i = 0; i < int(ops.size()); ++i) {
            if (cel::Operation(ops[i]).Arg != cel::TOpArg::Partner) continue;
            ASSERT_EQ(partner[i], PartnerFromTheStart(ops, i)) << "command " << i;
            if (a.Error == cel::errNone) {
                ASSERT_EQ(uint32_t(partner[i]), a.Program.CommandList[i].Arg);
            }
        }
    }
}

// A program built and dumped without an engine is what an engine analysing the same text holds,
// also when that engine analysed another text before (the analysis reuses its storage): the
// lists, their dump and the structure error.
TEST(Analysis, ProgramIsWhatAnEngineHolds) {
    static const char* const pieces[] = {"+", "-", ">>", "<", ".", ",", "[", "]", "(", ")", ":", "[-]", "\r\n#", " "};
    std::mt19937 gen(1221);
    THeadlessHost host;
    TBFInterpreter8 engine(host);
    for (int round = 0; round < 300; ++round) {
        std::string text;
        for (int n = static_cast<int>(gen() % (round % 3 == 0 ? 200 : 20)); n > 0; --n) text += pieces[gen() % std::size(pieces)];
        const bool markers = round % 2 == 0, proc = round % 4 < 2;
        SCOPED_TRACE(testing::Message() << "markers " << markers << ", pbrain " << proc << ": " << text);
        const cel::TProgram program(text, markers, proc);
        ASSERT_EQ(engine.Analyze(text, markers, proc), program.Error);
        ASSERT_EQ(cel::DumpLists(engine.GetProgram()), cel::DumpLists(program));
        ASSERT_EQ(cel::DumpList(engine.GetCommandList(), engine.GetCommandCount()),
                  cel::DumpList(program.CommandList, program.CommandCount));
        ASSERT_EQ(cel::DumpList(engine.GetFoldedList(), engine.GetFoldedCount()),
                  cel::DumpList(program.FoldedList, program.FoldedCount));
    }
    // The dump the runner's --dump-lists prints.
    EXPECT_EQ(cel::DumpLists(cel::TProgram("[>>[-]<]", true, false)),
              "C 0 0 7 7\nC 1 1 0 1\nC 2 2 0 1\nC 3 3 5 7\nC 4 4 0 4\nC 5 5 3 8\nC 6 6 0 2\nC 7 7 0 8\n"
              "F 0 0 4 7\nF 1 1 2 21\nF 2 3 0 9\nF 3 6 0 2\nF 4 7 0 8\nerror: 0\n");
    EXPECT_EQ(cel::DumpLists(cel::TProgram("#", true, false)), "error: 0\n");
}

// The fast form is built at the first request for a cell width and kept; a build abandoned at the
// cancel flag keeps nothing, and the next request builds it whole.
TEST(Analysis, ProgramBuildsItsFastFormOnRequest) {
    cel::TProgram program("[->+<]", true, false);
    EXPECT_FALSE(program.HasFastForm(8));
    const std::string eight = cel::DumpFastProgram(program.FastForm(8));
    EXPECT_TRUE(program.HasFastForm(8));
    EXPECT_NE(eight.find("counter=255 "), std::string::npos) << eight;
    EXPECT_NE(cel::DumpFastProgram(program.FastForm(16)).find("counter=65535 "), std::string::npos);
    EXPECT_FALSE(program.HasFastForm(8));
    program.Analyze("[->+<]", true, false);
    EXPECT_FALSE(program.HasFastForm(16));

    std::string longText;
    for (int i = 0; i < 3000; ++i) longText += "+.";
    cel::TProgram longProgram(longText, true, false);
    const std::atomic<bool> cancel{true};
    EXPECT_TRUE(longProgram.FastForm(8, &cancel).Cancelled);
    EXPECT_FALSE(longProgram.HasFastForm(8));
    const cel::TFastProgram& built = longProgram.FastForm(8, nullptr);
    EXPECT_FALSE(built.Cancelled);
    EXPECT_TRUE(built.RepeatsChecked);
    EXPECT_EQ(built.Ops.size(), 6001u);
}

}  // namespace

namespace {

// The fast form of a program for 8-bit cells, with a stop before the commands at stops (source
// offsets: the texts here have no other characters).
cel::TFastProgram FastProgram(const std::string& text, const std::vector<uint32_t>& stops = {}) {
    cel::TProgram program(text, false, false);
    cel::TFastProgram& fast = program.FastForm(8);
    cel::SetFastStops(fast, program.FoldedList, program.StopRecords(stops));
    return fast;
}

std::string FastDump(const std::string& text, const std::vector<uint32_t>& stops = {}) {
    const cel::TFastProgram program = FastProgram(text, stops);
    EXPECT_TRUE(cel::RepeatsReachAttention(program)) << text.substr(0, 40);
    EXPECT_TRUE(program.RepeatsChecked);
    return cel::DumpFastProgram(program);
}

TEST(Analysis, LoopTripCountsModuloTheCellWidth) {
    struct TCase {
        uint32_t V;
        int64_t D;
        unsigned Bits;
        int64_t N;
    };
    const TCase cases[] = {
        {1, -3, 8, 171},  {1, -3, 16, 43691}, {1, 3, 8, 85},     {5, -1, 8, 5},    {5, 1, 8, 251},
        {6, -2, 8, 3},    {1, -2, 8, -1},     {1, 2, 16, -1},    {0, 7, 8, 0},     {9, 0, 8, -1},
        {4, 252, 8, 1},   {12, -4, 16, 3},    {65535, 1, 16, 1}, {2, 256, 8, -1},  {255, -255, 8, 1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "v=" << c.V << " d=" << c.D << " bits=" << c.Bits);
        EXPECT_EQ(cel::LoopTripCount(c.V, c.D, c.Bits), c.N);
    }
}

TEST(Analysis, FastFormKeepsStopsOutOfItsRecords) {
    // Without stops: one straight record, the closed form of the multiply loop, a scan.
    std::string dump = FastDump("+>++<[->+++<]>[>]");
    EXPECT_NE(dump.find("Linear"), std::string::npos) << dump;
    EXPECT_NE(dump.find("ScanRight"), std::string::npos) << dump;
    EXPECT_EQ(dump.find("Stop"), std::string::npos) << dump;
    // A stride of whole tape lengths never moves: no scan, the loop stepped.
    for (const size_t n : {32768, 65536}) {
        dump = FastDump("+[" + std::string(n, '>') + "]>[" + std::string(n, '<') + "]");
        EXPECT_EQ(dump.find("Scan"), std::string::npos) << dump;
    }
    // A stop inside the loop (its '>', command 7) keeps it from its closed form; one inside the
    // straight run before it (the ++ at command 2) has that run stepped; one at the scan (command
    // 14) is asked before it. Nothing else changes.
    const std::string plain = FastDump("+>++<[->+++<]>[>]");
    dump = FastDump("+>++<[->+++<]>[>]", {7, 2, 14});
    EXPECT_NE(dump.find("\n2 Linear terms=1 counter=255 to=8 passexec=7 @4 stepped\n"), std::string::npos) << dump;
    EXPECT_NE(dump.find("0 Add off=0 delta=1 exec=5 @0 stepfolded\n"), std::string::npos) << dump;  // the run holding ++
    EXPECT_NE(dump.find("\n5 Add off=0 delta=65535 exec=6 @5 stepfolded\n"), std::string::npos) << dump;  // the body
    EXPECT_NE(dump.find("\n8 ScanRight stride=1 to=13 passexec=2 pre=1 preexec=1 next=2 @10 preonly\n"),
              std::string::npos) << dump;
    EXPECT_NE(dump.find("\n9 ScanRight stride=1 to=13 passexec=2 @11 stop\n"), std::string::npos) << dump;
    std::string unpatched = dump;
    for (const char* patch : {" stepped", " stepfolded", " preonly", " stop"})
        for (size_t at; (at = unpatched.find(patch)) != std::string::npos;) unpatched.erase(at, std::string(patch).size());
    EXPECT_EQ(unpatched, plain);
    // A stop inside a walk's inner loop (its +): the walk runs its passes one by one, stepped.
    dump = FastDump("[[->+<]>]", {4});
    EXPECT_NE(dump.find("\n1 LinearWalk terms=1 counter=255 to=7 passexec=5 @1 stepped unwalk\n"), std::string::npos)
        << dump;
    EXPECT_NE(dump.find("\n4 Add off=0 delta=65535 exec=4 @2 stepfolded\n"), std::string::npos) << dump;
}

// The shapes the fast form is for, whole: each dump is what a full-speed run executes.
TEST(Analysis, FastFormShapes) {
    struct TCase {
        const char* Name;
        std::string Text;
        std::string Dump;
    };
    const TCase cases[] = {
        {"multiply loop: one closed form, its stepped form after it", "[->++>+++<<]",
         "0 Linear terms=2 counter=255 to=8 passexec=11 @0\n"
         "1 Term off=1 delta=2 @0\n"
         "2 Term off=2 delta=3 @0\n"
         "3 Open to=8 exec=1 @0\n"
         "4 Add off=0 delta=65535 exec=10 @1\n"
         "5 Add off=1 delta=2 exec=0 @1\n"
         "6 Add off=2 delta=3 exec=0 @1\n"
         "7 Close to=4 exec=1 @7\n"
         "8 End @8\n"},
        {"scans; the move before one made by a copy of it", "[>]<[<<]",
         "0 ScanRight stride=1 to=4 passexec=2 @0\n"
         "1 Open to=4 exec=1 @0\n"
         "2 Close to=2 exec=1 pre=1 preexec=1 next=2 @1\n"
         "3 Close to=2 exec=1 @2\n"
         "4 ScanLeft stride=2 to=9 passexec=3 pre=32767 preexec=1 next=2 @3\n"
         "5 ScanLeft stride=2 to=9 passexec=3 @4\n"
         "6 Open to=9 exec=1 @4\n"
         "7 Close to=7 exec=1 pre=32766 preexec=2 next=2 @5\n"
         "8 Close to=7 exec=1 @6\n"
         "9 End @7\n"},
        {"memo loop around an inner loop and a clear", "++[>++[>+<-]>[-]<<-]",
         "0 Add off=0 delta=2 exec=2 @0\n"
         "1 MemoOpen memo=0 to=15 exec=1 @1\n"
         "2 Add off=1 delta=2 exec=3 @2\n"
         "3 Linear terms=1 counter=255 to=11 passexec=5 pre=1 preexec=0 next=2 @2\n"
         "4 Term off=1 delta=1 @4\n"
         "5 Linear terms=1 counter=255 to=11 passexec=5 @4\n"
         "6 Term off=1 delta=1 @4\n"
         "7 Open to=11 exec=1 @4\n"
         "8 Add off=0 delta=65535 exec=4 @5\n"
         "9 Add off=1 delta=1 exec=0 @5\n"
         "10 Close to=8 exec=1 @9\n"
         "11 Clear off=1 exec=5 @10\n"
         "12 Add off=32767 delta=65535 exec=0 @10\n"
         "13 MemoClose memo=0 to=2 exec=1 pre=32767 preexec=0 next=2 @10\n"
         "14 MemoClose memo=0 to=2 exec=1 @14\n"
         "15 End @15\n"
         "memo 0 counter=255 work=1,2\n"},
        {"walk: the outer loop's passes in one record", "[[->+<]>]",
         "0 Open to=9 exec=1 @0\n"
         "1 LinearWalk terms=1 counter=255 to=7 passexec=5 @1\n"
         "2 Term off=1 delta=1 @1\n"
         "3 Open to=7 exec=1 @1\n"
         "4 Add off=0 delta=65535 exec=4 @2\n"
         "5 Add off=1 delta=1 exec=0 @2\n"
         "6 Close to=4 exec=1 @6\n"
         "7 Close to=1 exec=1 pre=1 preexec=1 next=2 @7\n"
         "8 Close to=1 exec=1 @8\n"
         "9 End @9\n"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(FastDump(c.Text), c.Dump);
    }
}

// A record that breaks its row of the operation table is refused, and with it the program
// (runs then take the folded list): above all one that could go round without the check.
TEST(Analysis, FastFormRecordsKeepTheirRows) {
    // 0..1 Add, 2 Linear, 3 Term, 4 Open, 5..6 Add, 7 Close, 8 ScanRight, ... 13 End
    const cel::TFastProgram good = FastProgram("+>++<[->+++<]>[>]");
    ASSERT_TRUE(cel::RepeatsReachAttention(good));
    struct TCase {
        const char* Name;
        void (*Break)(cel::TFastProgram&);
    };
    const TCase cases[] = {
        {"an Open that jumps back", [](cel::TFastProgram& p) { p.Ops[4].Jump = 2; }},
        {"a Linear that jumps back", [](cel::TFastProgram& p) { p.Ops[2].Jump = 0; }},
        {"a jump past the end", [](cel::TFastProgram& p) { p.Ops[7].Jump = 99; }},
        {"a jump onto a term", [](cel::TFastProgram& p) { p.Ops[7].Jump = 3; }},
        {"a scan that never moves", [](cel::TFastProgram& p) { p.Ops[8].Off = 32768; }},
        {"an operand the row does not use", [](cel::TFastProgram& p) { p.Ops[0].Jump = 1; }},
        {"a move first where the row has none", [](cel::TFastProgram& p) { p.Ops[0].Pre = 1; }},
        {"a record that goes on at itself", [](cel::TFastProgram& p) { p.Ops[4].Next = 0; }},
        {"more terms than follow", [](cel::TFastProgram& p) { p.Ops[2].Off = 2; }},
        {"a term after no Linear record", [](cel::TFastProgram& p) { p.Ops[6].Code = cel::fastTerm; }},
        {"a memo that is not there", [](cel::TFastProgram& p) { p.Ops[4].Code = cel::fastMemoOpen; p.Ops[4].Off = 0; }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        cel::TFastProgram bad = good;
        c.Break(bad);
        EXPECT_FALSE(cel::RepeatsReachAttention(bad));
    }
}

}  // namespace
