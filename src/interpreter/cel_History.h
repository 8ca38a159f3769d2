// What the engine keeps of a run's past so that it can move back: checkpoints of the machine
// and a log of what came from outside (input, cells changed by the user). A replay restores the
// nearest checkpoint and runs forward to an exact count, taking input from the log.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace cel {

// The backward moves a paused run can make.
enum class TBackMove : int {
    Step = 1,       // to Executed - 1
    Backwards = 2,  // to the last breakpoint met before now, else the run's start
    Cursor = 3,     // to the last time the command at a text offset was about to run
};

// The machine at a count: everything a run's future depends on, bar what the log holds.
struct TMachineState {
    uint64_t Executed = 0;
    int64_t Work = 0;  // nanoseconds the run had run (its pauses and input waits left out)
    uint32_t PC = 0;
    uint32_t DataPtr = 0;
    bool SingleMode = false;  // PC indexes CommandList, else FoldedList
    uint16_t CallDepth = 0;
    bool CallDepthWrapped = false;
    bool ProcDefined = false;
    uint32_t TapeFirst = 0;                              // the first cell of Tape
    std::vector<uint8_t> Tape;                           // raw cells from TapeFirst on, to the last nonzero
    std::vector<std::pair<uint32_t, uint32_t>> Procs;    // nonzero procedure table entries
    std::vector<uint32_t> Calls;                         // the call stack's used part
    uint8_t LastOut = 0;
    uint32_t InputSize = 0;
    uint32_t InputPos = 0;
    bool InputFileOpen = false;
    bool InputEnded = false;
    uint64_t InputFileRead = 0;
    int64_t InputBlock = -1;
    uint64_t Shown = 0;
    uint64_t ShownLines = 0;
    uint64_t FileTotal = 0;
    size_t LogPos = 0;
    std::vector<uint64_t> BreakHits;  // per breakpoint
    std::vector<uint64_t> Profile;    // the profile's counts, with profiling

    size_t Bytes() const {
        return sizeof(*this) + Tape.capacity() + Procs.capacity() * sizeof(Procs[0]) +
               Calls.capacity() * sizeof(uint32_t) + (BreakHits.capacity() + Profile.capacity()) * sizeof(uint64_t);
    }
};

// One thing the run took from outside, in the order given.
struct TInputEntry {
    enum TKind : uint8_t {
        Line,       // a typed line: Bytes; Echo: written to the output file too
        Number,     // a number: Value into the current cell
        End,        // the end of the input: the cell stays
        Retry,      // the wait was abandoned (Debug): the input command runs again
        FileBlock,  // the next block of the input file, Value bytes (none: its end)
        Edit,       // the user set cell Index to Value, paused at count At
    };
    TKind Kind = End;
    bool Echo = false;
    uint64_t Offset = UINT64_MAX;  // FileBlock: where its Value bytes are in the file (else in Bytes)
    uint16_t Index = 0;
    uint32_t Value = 0;
    uint64_t At = 0;
    std::string Bytes;
};

}  // namespace cel
