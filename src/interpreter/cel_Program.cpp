#include "cel_Program.h"

#include "cel_Lexer.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace cel {

TError TProgram::Analyze(std::string_view text, bool commentMarkers, bool procedures) {
    const std::array<TOpCode, 256>& codes = procedures ? CharTable.ProcCode : CharTable.Code;
    CommandList.clear();
    FoldedList.clear();
    CommandCount = 0;
    FoldedCount = 0;
    ProcMode = procedures;
    Error = errNone;
    ErrorOrigin = 0;
    Fast = TFastProgram();
    FastBits = 0;

    // Room for every command character, comment lines' too: one pass more is cheaper than
    // growing the list.
    size_t total = 0;
    for (unsigned char ch : text) total += codes[ch] != opNone;
    if (total == 0) return Error;
    CommandList.resize(total);

    // One FoldedList record for each run of one command and for each other command.
    uint32_t foldedBound = 0;
    TOpCode previous = opNone;
    ForEachCommand(text, TLexRules{commentMarkers, procedures, false}, [&](size_t offset, TOpCode code) {
        CommandList[CommandCount++] = TInstruction{static_cast<uint32_t>(offset), 0, code};
        if (code != previous || Operation(code).Run == opNone) ++foldedBound;
        previous = code;
    });
    if (CommandCount == 0) return Error;
    Fold(foldedBound);
    if (MatchBrackets(CommandList, CommandCount)) MatchBrackets(FoldedList, FoldedCount);
    return Error;
}

void TProgram::Fold(uint32_t foldedBound) {
    FoldedList.resize(foldedBound);
    uint32_t i = 0;
    uint32_t j = 0;
    while (i < CommandCount) {
        TInstruction rec = CommandList[i];
        rec.Origin = i;
        if (const TOpCode run = Operation(rec.Op).Run; run != opNone) {
            const uint32_t n = CountRun(i, rec.Op);
            if (n > 1) {
                rec.Arg = n;
                rec.Op = run;
                i += n - 1;
            }
        } else if (rec.Op == opLoopStart && i + 2 < CommandCount &&
                   CommandList[i + 2].Op == opLoopEnd) {
            if (CommandList[i + 1].Op == opDec) {
                rec.Op = opClearDec;
                i += 2;
            } else if (CommandList[i + 1].Op == opInc) {
                rec.Op = opClearInc;
                i += 2;
            }
        }
        FoldedList[j] = rec;
        ++i;
        ++j;
    }
    FoldedCount = j;
}

uint32_t TProgram::CountRun(uint32_t start, TOpCode code) const {
    uint32_t i = start;
    while (i < CommandCount && CommandList[i].Op == code) ++i;
    return i - start;
}

bool TProgram::MatchBrackets(std::vector<TInstruction>& list, uint32_t count) {
    uint32_t at = 0;
    const TBracketFault fault = PairBrackets(
        count, [&](uint32_t i) { return list[i].Op; },
        [&](uint32_t open, uint32_t close) {
            list[open].Arg = close;
            list[close].Arg = open;
        },
        true, &at);
    // A FoldedList record's Origin is a CommandList index, not a source offset.
    if (fault != TBracketFault::None)
        ErrorOrigin = &list == &CommandList ? list[at].Origin : CommandList[list[at].Origin].Origin;
    switch (fault) {
    case TBracketFault::None: break;
    case TBracketFault::UnclosedBracket: Error = errClosingBracketExpected; break;
    case TBracketFault::UnopenedBracket: Error = errOpeningBracketExpected; break;
    case TBracketFault::UnclosedParenthesis: Error = errRightParenthesisExpected; break;
    case TBracketFault::UnopenedParenthesis: Error = errLeftParenthesisExpected; break;
    case TBracketFault::Crossed: Error = errIntersectingBrackets; break;
    }
    return fault == TBracketFault::None;
}

uint32_t TProgram::CommandFrom(uint32_t offset) const {
    const auto begin = CommandList.begin();
    const auto it = std::lower_bound(begin, begin + CommandCount, offset,
                                     [](const TInstruction& r, uint32_t v) { return r.Origin < v; });
    return static_cast<uint32_t>(it - begin);
}

int64_t TProgram::CommandAt(uint32_t offset) const {
    const uint32_t c = CommandFrom(offset);
    return c < CommandCount && CommandList[c].Origin == offset ? static_cast<int64_t>(c) : -1;
}

int64_t TProgram::FoldedIndexOf(uint32_t commandIndex) const {
    const auto end = FoldedList.begin() + FoldedCount;
    const auto it = std::lower_bound(FoldedList.begin(), end, commandIndex,
                                     [](const TInstruction& r, uint32_t v) { return r.Origin < v; });
    if (it == end || it->Origin != commandIndex) return -1;
    return it - FoldedList.begin();
}

uint32_t TProgram::FoldedRecordCovering(uint32_t commandIndex) const {
    const auto end = FoldedList.begin() + FoldedCount;
    const auto it = std::upper_bound(FoldedList.begin(), end, commandIndex,
                                     [](uint32_t v, const TInstruction& r) { return v < r.Origin; });
    return static_cast<uint32_t>((it - FoldedList.begin()) - 1);  // record 0 has Origin 0
}

std::vector<uint32_t> TProgram::StopRecords(const std::vector<uint32_t>& offsets) const {
    std::vector<uint32_t> records;
    for (const uint32_t offset : offsets) {
        const int64_t c = CommandAt(offset);
        if (c >= 0) records.push_back(FoldedRecordCovering(static_cast<uint32_t>(c)));
    }
    std::sort(records.begin(), records.end());
    records.erase(std::unique(records.begin(), records.end()), records.end());
    return records;
}

TFastProgram& TProgram::FastForm(unsigned cellBits, const std::atomic<bool>* cancel) {
    if (FastBits != cellBits) {
        Fast = BuildFastProgram(FoldedList, FoldedCount, cellBits, cancel);
        FastBits = Fast.Cancelled ? 0 : cellBits;
    }
    return Fast;
}

void DumpLists(const TProgram& program, const std::function<void(std::string_view)>& write) {
    constexpr size_t Piece = size_t{1} << 20;
    std::string out;
    out.reserve(Piece);
    const auto number = [&out](uint64_t value) {
        char digits[24];
        out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
    };
    const auto list = [&](char tag, const std::vector<TInstruction>& records, uint32_t count) {
        for (uint32_t i = 0; i < count; ++i) {
            out += tag;
            out += ' ';
            number(i);
            out += ' ';
            number(records[i].Origin);
            out += ' ';
            number(records[i].Arg);
            out += ' ';
            number(Operation(records[i].Op).Code);
            out += '\n';
            if (out.size() > Piece - 64) {
                write(out);
                out.clear();
            }
        }
    };
    list('C', program.CommandList, program.CommandCount);
    list('F', program.FoldedList, program.FoldedCount);
    out += "error: ";
    number(static_cast<uint64_t>(program.Error));
    out += '\n';
    write(out);
}

std::string DumpLists(const TProgram& program) {
    std::string dump;
    DumpLists(program, [&dump](std::string_view piece) { dump += piece; });
    return dump;
}

}  // namespace cel
