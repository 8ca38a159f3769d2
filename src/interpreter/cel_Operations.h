// The engine's operations, from one list: their codes, the command characters, what a run of a
// command folds into, the execution loop's dispatch table and the readable dump all come from
// CEL_OPERATIONS. Standard library only; the strip tool reads the same command table.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cel {

// Where an operation comes from: a Brainfuck command, a pbrain procedure command (a command only
// when procedures are on), or the folding of a run or of a clear loop.
enum class TOpSource : uint8_t { Nothing, Command, Procedure, Folded };
// What TInstruction::Arg holds for the operation.
enum class TOpArg : uint8_t { Unused, Partner, Count };

// One row per operation, in the order of the TOpCode values (so the dispatch table has no holes):
//   identifier  the enumerator is op<identifier>, the dispatch label l_<identifier>;
//   code        the number --dump-lists prints for it (that format has a gap before the runs);
//   source      TOpSource;
//   text        a command's source character, or the commands a folded operation stands for;
//   arg         TOpArg;
//   run         the operation that a run of two or more of this command folds into.
//
//  identifier   code  source      text   arg      run
#define CEL_OPERATIONS(X)                                  \
    X(None,         0, Nothing,    "?",   Unused,  None)   \
    X(Right,        1, Command,    ">",   Unused,  RightN) \
    X(Left,         2, Command,    "<",   Unused,  LeftN)  \
    X(Inc,          3, Command,    "+",   Unused,  IncN)   \
    X(Dec,          4, Command,    "-",   Unused,  DecN)   \
    X(Output,       5, Command,    ".",   Unused,  None)   \
    X(Input,        6, Command,    ",",   Unused,  None)   \
    X(LoopStart,    7, Command,    "[",   Partner, None)   \
    X(LoopEnd,      8, Command,    "]",   Partner, None)   \
    X(ClearDec,     9, Folded,     "[-]", Unused,  None)   \
    X(ClearInc,    10, Folded,     "[+]", Unused,  None)   \
    X(ProcStart,   11, Procedure,  "(",   Partner, None)   \
    X(ProcEnd,     12, Procedure,  ")",   Partner, None)   \
    X(Call,        13, Procedure,  ":",   Unused,  None)   \
    X(RightN,      21, Folded,     ">",   Count,   None)   \
    X(LeftN,       22, Folded,     "<",   Count,   None)   \
    X(IncN,        23, Folded,     "+",   Count,   None)   \
    X(DecN,        24, Folded,     "-",   Count,   None)

enum TOpCode : uint8_t {
#define CEL_OP_ENUM(id, code, source, text, arg, run) op##id,
    CEL_OPERATIONS(CEL_OP_ENUM)
#undef CEL_OP_ENUM
    OpCount  // the number of operations: the size of a table indexed by TOpCode
};

struct TOpInfo {
    uint8_t Code;  // as --dump-lists prints it
    TOpSource Source;
    std::string_view Text;
    TOpArg Arg;
    TOpCode Run;
};

// The rows, indexed by TOpCode.
inline constexpr TOpInfo OperationTable[OpCount] = {
#define CEL_OP_INFO(id, code, source, text, arg, run) \
    {code, TOpSource::source, text, TOpArg::arg, op##run},
    CEL_OPERATIONS(CEL_OP_INFO)
#undef CEL_OP_INFO
};

constexpr const TOpInfo& Operation(TOpCode op) { return OperationTable[op]; }

// The six comment markers: a line whose first character is one of them is a comment line when
// comment markers are on.
inline constexpr std::string_view CommentMarkers = ";/*'%#";

// What one 8-bit character of a source is to the analysis.
struct TCharTable {
    std::array<TOpCode, 256> Code{};  // with procedures off, ( ) : are opNone
    std::array<TOpCode, 256> ProcCode{};
    std::array<bool, 256> Marker{};
};

inline constexpr TCharTable CharTable = [] {
    TCharTable table;
    for (unsigned op = 0; op < OpCount; ++op) {
        const TOpInfo& info = OperationTable[op];
        const unsigned char ch = static_cast<unsigned char>(info.Text[0]);
        if (info.Source == TOpSource::Command) table.Code[ch] = static_cast<TOpCode>(op);
        if (info.Source == TOpSource::Command || info.Source == TOpSource::Procedure)
            table.ProcCode[ch] = static_cast<TOpCode>(op);
    }
    for (const char c : CommentMarkers) table.Marker[static_cast<unsigned char>(c)] = true;
    return table;
}();

// The operation of a command character, opNone when the character is no command (( ) : are
// commands only with procedures on).
constexpr TOpCode CommandCode(unsigned char ch, bool procedures) {
    return procedures ? CharTable.ProcCode[ch] : CharTable.Code[ch];
}
constexpr bool IsCommentMarker(unsigned char ch) { return CharTable.Marker[ch]; }

// One record of CommandList or FoldedList.
struct TInstruction {
    uint32_t Origin;  // CommandList: source offset; FoldedList: first CommandList index covered
    uint32_t Arg;     // TOpArg: the partner's index, a run's length, or 0
    TOpCode Op;
};

// The instruction as program text: its characters, a run's length after an "x" ("+x3").
std::string InstructionText(const TInstruction& ins);
// The first count records as program text, one instruction a word: "[ > +x3 [-] < ]".
std::string ProgramText(const std::vector<TInstruction>& list, uint32_t count);
// The first count records one a line: index, "@" and the origin, the instruction's text, and a
// bracket's or parenthesis' partner after "->". "5 @9 ] ->0".
std::string DumpList(const std::vector<TInstruction>& list, uint32_t count);

}  // namespace cel
