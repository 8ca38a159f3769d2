// The debugger's stops beyond plain breakpoints: conditional and counted breakpoints,
// watchpoints on cells, why a run paused, and the profile of a run. Standard library only.
#pragma once

#include "cel_Program.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cel {

// How a breakpoint compares the current cell with its Value.
enum class TBreakCondition : uint8_t { None, Equal, NotEqual, Less, Greater };

struct TBreakpoint {
    uint32_t Offset = 0;  // text offset of the command character
    TBreakCondition Condition = TBreakCondition::None;
    uint32_t Value = 0;     // compared unsigned with the current cell
    uint64_t HitCount = 0;  // 0: stop at every hit; N: stop only at the N-th hit
    bool Enabled = true;    // a disabled one never stops and counts no hit
};
// A hit: the command is about to execute and the condition holds. Hits are counted from the
// run's start; a backward move puts them back to what they were at that count.

// True when cell meets the breakpoint's condition.
constexpr bool ConditionHolds(TBreakCondition condition, uint32_t value, uint32_t cell) {
    switch (condition) {
    case TBreakCondition::None: return true;
    case TBreakCondition::Equal: return cell == value;
    case TBreakCondition::NotEqual: return cell != value;
    case TBreakCondition::Less: return cell < value;
    case TBreakCondition::Greater: return cell > value;
    }
    return true;
}

enum TWatchKinds : uint8_t { WatchChange = 1, WatchArrival = 2 };

struct TWatchpoint {
    uint32_t Cell = 0;  // tape index
    uint8_t Kinds = 0;  // TWatchKinds, or-ed
    bool Enabled = true;
};
// Change: the run pauses right after a command that changed the cell's value (written with the
// value it had is no change; input that leaves the cell unchanged is none). Arrival: right after
// a command that moved the data pointer onto the cell from elsewhere. Executed is exact there.

enum class TPauseReason : uint8_t { None, Step, Debug, Breakpoint, Watchpoint, Target, StepOver, StepOut, Stop, Error };

struct TPauseInfo {
    TPauseReason Reason = TPauseReason::None;
    uint32_t Index = 0;     // Breakpoint/Watchpoint: its index in the list last given
    uint32_t OldValue = 0;  // Watchpoint (change): the cell's value before the command
};

// One loop (or procedure body) of a profiled run.
struct TLoopProfile {
    uint32_t OpenOffset = 0, CloseOffset = 0;  // text offsets of [ and ] (or the ( ) of a procedure)
    uint64_t Entries = 0;   // times its [ executed
    uint64_t Commands = 0;  // commands executed inside it, brackets included
};

// The loops of program with their counts (counts per CommandList index, as
// TBFInterpreter::GetCommandCounts gives them), hottest (most Commands) first, at most max.
std::vector<TLoopProfile> HottestLoops(const TProgram& program, const std::vector<uint64_t>& counts, size_t max);

}  // namespace cel
