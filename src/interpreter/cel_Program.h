// TProgram: a source text analysed into what the engines run. Read this first: a program is
// a value of its own, built, dumped and tested without an engine or a host; an engine analyses
// its run's text into one and runs it. Its parts, each made from the one before:
//
//   CommandList  one record a command character, Origin its source offset (ForEachCommand of
//                cel_Lexer.h reads the text: comment lines, and ( ) : without procedures, are
//                left out);
//   FoldedList   the same commands with each run of > < + - and each [-] [+] in one record,
//                Origin the CommandList index where the record begins;
//   Error        the first structure error, or errNone: brackets and parentheses are paired in
//                both lists (Arg: the partner's index) unless the command list has a fault,
//                and a program with an error runs no command;
//   fast form    FoldedList compiled for a cell width (cel_FastProgram.h), what full-speed runs
//                execute. Built on request: it costs more than the lists, and a single-step or
//                plain run never needs it.
//
// DumpLists prints the lists (the runner's --dump-lists), DumpFastProgram the fast form (its
// --dump-fast). Standard library only.
#pragma once

#include "cel_Errors.h"
#include "cel_FastProgram.h"
#include "cel_Operations.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace cel {

class TProgram {
public:
    // The empty program: no command, no error.
    TProgram() = default;
    // The program of text read with the comment-marker and procedure switches.
    TProgram(std::string_view text, bool commentMarkers, bool procedures) {
        Analyze(text, commentMarkers, procedures);
    }
    // Moved, never copied: a run threads its fast form with pointers into the form's own records,
    // which a move keeps valid and a copy would not.
    TProgram(TProgram&&) = default;
    TProgram& operator=(TProgram&&) = default;
    TProgram(const TProgram&) = delete;
    TProgram& operator=(const TProgram&) = delete;

    // Analyses text anew in place, keeping the lists' storage (an engine analyses each run's
    // text into the same program). Returns Error.
    TError Analyze(std::string_view text, bool commentMarkers, bool procedures);

    // Written by Analyze only. The lists may hold more records than their counts: read the
    // first CommandCount and FoldedCount.
    std::vector<TInstruction> CommandList;
    std::vector<TInstruction> FoldedList;
    uint32_t CommandCount = 0;
    uint32_t FoldedCount = 0;
    bool ProcMode = false;  // ( ) : were commands
    TError Error = errNone;
    // With Error: the source offset of the character at fault, the closing bracket or
    // parenthesis that found no partner of its kind, or else the innermost one left open.
    uint32_t ErrorOrigin = 0;

    // The number of consecutive CommandList records from start whose operation is code.
    uint32_t CountRun(uint32_t start, TOpCode code) const;
    // The first command at the source offset or after it; CommandCount when there is none.
    uint32_t CommandFrom(uint32_t offset) const;
    // The command at exactly the source offset, or -1.
    int64_t CommandAt(uint32_t offset) const;
    // The first FoldedList record whose Origin equals the command index, or -1.
    int64_t FoldedIndexOf(uint32_t commandIndex) const;
    // The last FoldedList record whose Origin is at most the command index.
    uint32_t FoldedRecordCovering(uint32_t commandIndex) const;
    // The FoldedList records covering the commands at the source offsets, sorted, each once
    // (an offset that names no command is passed over): the stop set of the fast form for
    // breakpoints at those offsets (SetFastStops).
    std::vector<uint32_t> StopRecords(const std::vector<uint32_t>& offsets) const;

    // The fast form for cells of cellBits bits, without stops; for a program without Error. Built
    // at the first call for the width and kept until the next Analyze; a build that *cancel
    // abandons returns a program marked Cancelled and keeps nothing, so the next call builds
    // again. The engine that runs it threads and patches it in place (see TFastProgram).
    TFastProgram& FastForm(unsigned cellBits, const std::atomic<bool>* cancel = nullptr);
    // True when FastForm(cellBits) returns without building.
    bool HasFastForm(unsigned cellBits) const { return FastBits == cellBits; }
    // The fast form for the width when it is built, else null.
    const TFastProgram* BuiltFastForm(unsigned cellBits) const { return FastBits == cellBits ? &Fast : nullptr; }
    // The fast form built last, or none.
    const TFastProgram* BuiltFastForm() const { return FastBits != 0 ? &Fast : nullptr; }

private:
    void Fold(uint32_t foldedBound);
    // Pairs the brackets of the first count records of list; false when Error was set.
    bool MatchBrackets(std::vector<TInstruction>& list, uint32_t count);

    TFastProgram Fast;
    unsigned FastBits = 0;  // the width Fast was built for, 0 when there is none
};

// The lists as the runner's --dump-lists prints them: "C index origin arg code" for each
// CommandList record, "F ..." for each FoldedList record (code: TOpInfo::Code), then
// "error: code". Handed to write in pieces of about a megabyte, so a long program's dump need
// not be held whole.
void DumpLists(const TProgram& program, const std::function<void(std::string_view)>& write);
std::string DumpLists(const TProgram& program);

}  // namespace cel
