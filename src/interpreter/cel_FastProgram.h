// The fast form of FoldedList, which full-speed runs execute: straight runs of moves, changes
// and clear loops become updates at offsets from the data pointer and one pointer move, balanced
// loops whose body only adds constants become one closed-form step, and scan loops ([>], [<<])
// become searches. Derived from FoldedList (and CommandList for the command counts); the lists
// themselves stay as they are. Standard library only.
//
// Every record names the FoldedList record where it begins (Folded). A run leaves the fast form
// only where a record begins, with the state and the executed count of a folded run at that
// record, so the run goes on from there on FoldedList or CommandList exactly.
#pragma once

#include "cel_Operations.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace cel {

class TNativeCode;

// What a field of TFastOp holds for an operation (the name the dump gives it).
enum class TFastArg : uint8_t {
    None,      // unused: 0
    Offset,    // off: a cell at dp + off, modulo the tape size
    Move,      // move: dp += move, modulo the tape size
    Stride,    // stride: a scan's move per pass (not 0 modulo the tape size, so it ends)
    Delta,     // delta: added to a cell, modulo the cell width
    Counter,   // counter: the change of a loop's counter cell (at dp) per pass
    Terms,     // terms: the number of Term records that follow, the loop's other cells
    Memo,      // memo: an index into TFastProgram::Memos
    Target,    // to: an index into the fast form (TFastOp::To once threaded)
    Value,     // after: the value a cell holds after a pass
    Cost,      // exec: commands the record accounts for
    PassCost,  // passexec: commands of one pass
};

// The properties of an operation, joined by | in its row.
namespace fastprop {
enum : uint16_t {
    Jumps = 1 << 0,            // jump: Target, where it may go on instead of the next record
    JumpsBack = 1 << 1,        // its jump leads back: the run goes round through it
    JumpsAnywhere = 1 << 2,    // goes on where the tape says (a call, a return)
    Repeats = 1 << 3,          // runs passes of a loop itself, any number of them
    ChecksAttention = 1 << 4,  // where it goes round or hands off, the attention check
    RunsPasses = 1 << 5,       // runs several passes of a loop at once: a stop inside the loop
                               // has it stepped (PatchStepped)
    PreMove = 1 << 6,          // may first make a move (Pre, PreExec, Next)
    WritesCells = 1 << 7,
    MovesPointer = 1 << 8,
    ReadsInput = 1 << 9,
    WritesOutput = 1 << 10,
    Data = 1 << 11,            // a term of the Linear record before it: never dispatched
};
}  // namespace fastprop

// The fast form's operations, one row each, in dispatch-table order; read this first. A row:
//   identifier  the enumerator is fast<identifier>, the execution loop's label f_<identifier>;
//   off delta jump exec  what TFastOp's field of that name holds (TFastArg);
//   properties  fastprop flags.
// From it come TFastCode, FastTable (names, operands and properties), the execution loop's
// dispatch table, the dump and the checks of RepeatsReachAttention. What an operation does:
//   Add          tape[dp + off] += delta
//   Clear        [-] at dp + off: exec grows by 2 per unit of the cell
//   ClearUp      [+] at dp + off
//   Move         dp += move
//   Open         [: on a zero cell to jump (past the loop's Close)
//   Close        ]: on a non-zero cell back to jump, with the attention check
//   Linear       a balanced loop whose counter changes by counter a pass: when the trip count n
//                exists, each of its terms adds n times its change and the run goes on at jump,
//                exec growing by passexec per pass; when the loop never ends, the run steps it in
//                the form that follows the terms
//   LinearWalk   a Linear record that is all of an outer loop's body but the moves (its jump is
//                that loop's Close, whose jump is it): runs the outer loop's passes itself, with
//                the Close's back edge checks
//   Term         a cell a Linear loop changes: delta per pass
//   TermClear    a cell a Linear loop clears ([-] first): delta added before the first clear,
//                after the value it holds after each pass, passexec the later clears of a pass
//   TermClearUp  the same, [+] first
//   ScanRight    [>]-like: moves by stride until a zero cell, passexec per pass; a tape with no
//                zero on the way is stepped in the form that follows
//   ScanLeft     [<]-like, moving left by stride
//   MemoOpen     Open of a loop whose passes may repeat
//   MemoClose    Close of that loop: once a pass left the work cells as they were, the remaining
//                passes are applied at once
//   ProcStart    (: defines the procedure, goes on at jump (past its ))
//
//  identifier    off     delta    jump    exec      properties
#define CEL_FAST_OPERATIONS(X)                                                                          \
    X(Add,         Offset, Delta,   None,   Cost,     WritesCells)                                      \
    X(Clear,       Offset, None,    None,   Cost,     WritesCells)                                      \
    X(ClearUp,     Offset, None,    None,   Cost,     WritesCells)                                      \
    X(Move,        Move,   None,    None,   Cost,     MovesPointer)                                     \
    X(Open,        None,   None,    Target, Cost,     Jumps | PreMove)                                  \
    X(Close,       None,   None,    Target, Cost,     Jumps | JumpsBack | ChecksAttention | PreMove)    \
    X(Linear,      Terms,  Counter, Target, PassCost, Jumps | RunsPasses | PreMove | WritesCells)       \
    X(LinearWalk,  Terms,  Counter, Target, PassCost, Jumps | Repeats | ChecksAttention | RunsPasses |  \
                                                      PreMove | WritesCells | MovesPointer)             \
    X(Term,        Offset, Delta,   None,   None,     Data)                                             \
    X(TermClear,   Offset, Delta,   Value,  PassCost, Data)                                             \
    X(TermClearUp, Offset, Delta,   Value,  PassCost, Data)                                             \
    X(ScanRight,   Stride, None,    Target, PassCost, Jumps | Repeats | RunsPasses | PreMove | MovesPointer) \
    X(ScanLeft,    Stride, None,    Target, PassCost, Jumps | Repeats | RunsPasses | PreMove | MovesPointer) \
    X(MemoOpen,    Memo,   None,    Target, Cost,     Jumps | RunsPasses | PreMove | WritesCells)       \
    X(MemoClose,   Memo,   None,    Target, Cost,     Jumps | JumpsBack | ChecksAttention | RunsPasses | \
                                                      PreMove | WritesCells)                            \
    X(Output,      None,   None,    None,   Cost,     WritesOutput | ChecksAttention)                   \
    X(Input,       None,   None,    None,   Cost,     ReadsInput | WritesCells | ChecksAttention)       \
    X(ProcStart,   None,   None,    Target, Cost,     Jumps)                                            \
    X(ProcEnd,     None,   None,    None,   Cost,     JumpsAnywhere | ChecksAttention)                  \
    X(Call,        None,   None,    None,   Cost,     JumpsAnywhere | ChecksAttention)                  \
    X(End,         None,   None,    None,   None,     0)

enum TFastCode : uint8_t {
#define CEL_FAST_ENUM(id, off, delta, jump, exec, properties) fast##id,
    CEL_FAST_OPERATIONS(CEL_FAST_ENUM)
#undef CEL_FAST_ENUM
    FastCodeCount
};

struct TFastInfo {
    std::string_view Name;
    TFastArg Off, Delta, Jump, Exec;
    uint16_t Properties;  // fastprop flags
    constexpr bool Has(uint16_t property) const { return (Properties & property) == property; }
};

// The rows, indexed by TFastCode.
inline constexpr std::array<TFastInfo, FastCodeCount> FastTable = [] {
    using namespace fastprop;
    return std::array<TFastInfo, FastCodeCount>{{
#define CEL_FAST_INFO(id, off, delta, jump, exec, properties) \
    {#id, TFastArg::off, TFastArg::delta, TFastArg::jump, TFastArg::exec, properties},
        CEL_FAST_OPERATIONS(CEL_FAST_INFO)
#undef CEL_FAST_INFO
    }};
}();

constexpr const TFastInfo& FastOperation(TFastCode code) { return FastTable[code]; }

// The rules a row must keep, so that every way the run goes round passes an attention check.
constexpr bool FastRowsConsistent() {
    using namespace fastprop;
    for (const TFastInfo& row : FastTable) {
        if (row.Has(Jumps) != (row.Jump == TFastArg::Target)) return false;
        if (row.Has(JumpsBack) && !row.Has(Jumps)) return false;
        // Going round without bound needs the check; a scan is bounded by its stride.
        if ((row.Has(JumpsBack) || row.Has(JumpsAnywhere) || row.Has(Repeats)) &&
            !row.Has(ChecksAttention) && row.Off != TFastArg::Stride)
            return false;
        if (row.Has(Data) && row.Properties != Data) return false;
        if ((row.Off == TFastArg::Terms) != (row.Delta == TFastArg::Counter)) return false;
    }
    return true;
}
static_assert(FastRowsConsistent(), "a row of CEL_FAST_OPERATIONS breaks the table's rules");

struct TFastOp {
    void* Handler = nullptr;  // the execution loop's label for Code, set by the loop itself
    const TFastOp* To = nullptr;  // the record at Jump when its row Jumps, set with Handler
    TFastCode Code = fastEnd;
    // The cells the record may change or move the pointer onto before the run goes on at another
    // record, as ReachSpan cells from dp + ReachLo (round the tape); a straight run's first
    // record holds its whole run's (FindFastShapes, for watched runs).
    int16_t ReachLo = 0;
    uint16_t ReachSpan = 0;
    // The operands, as Code's row in CEL_FAST_OPERATIONS says.
    uint32_t Off = 0;
    int32_t Delta = 0;
    uint32_t Jump = 0;
    uint32_t Folded = 0;  // the FoldedList record where this record begins
    uint32_t Exec = 0;
    // A PreMove record may first make the move that ends the straight run before it: dp += Pre,
    // counting PreExec, and then go on past itself by Next records instead of one.
    uint32_t Pre = 0;
    uint32_t PreExec = 0;
    uint32_t Next = 1;
};

// A balanced loop with balanced inner loops (see fastMemoClose), and the state of its current
// pass: the work cells as the last back edge found them and the count there.
struct TMemoLoop {
    std::vector<uint32_t> Work;                          // offsets of the work cells
    std::vector<std::pair<uint32_t, int32_t>> Constant;  // other cells: offset, change per pass
    int32_t Counter = 0;                                 // the counter's change per pass
    bool Valid = false;                                  // Snapshot is of this loop's last pass
    uint64_t Executed = 0;
    std::vector<uint32_t> Snapshot;
    // Work cells that a pass left as it found them, at the cost of PassCost commands: a loop
    // entered with them is done at once. Kept across runs of the loop and of the engine.
    bool Steady = false;
    std::vector<uint32_t> Fixed;
    uint64_t PassCost = 0;
    // For native code (NoteMemoTried): passes were ever done at once, and how often they were
    // tried before.
    bool Repeated = false;
    uint32_t Tries = 0;
};

// How a record runs while the stop set needs it to (TFastProgram::Patch); a patched record is
// dispatched to one handler that applies these in this order.
enum : uint8_t {
    PatchStop = 1,        // a stop begins here: the engine is asked first
    PatchStepFolded = 2,  // a straight run with a stop inside: stepped along FoldedList
    PatchPreOnly = 4,     // a copy that makes a move first (Pre): only the move, then the record
                          // it copies, whose own entry may hold a stop
    PatchStepped = 8,     // a loop with a stop inside: its stepped form, a memo loop's records
                          // as Open and Close
    PatchUnwalk = 16,     // a LinearWalk whose outer loop holds a stop: one Linear step
};

struct TFastProgram {
    std::vector<TFastOp> Ops;
    // For each FoldedList record (and FoldedCount, the end) the fast record where it begins,
    // or -1 inside a straight run that became one record.
    std::vector<int32_t> EntryOf;
    // For each FoldedList record inside a straight run, the run's first fast record, else -1.
    std::vector<int32_t> GroupOf;
    // For each FoldedList record, the copy of its records that makes a move first, or -1.
    std::vector<int32_t> MergedAt;
    // For each FoldedList record, the nearest loop around it (its [ record) that has a record
    // running several passes at once, or -1.
    std::vector<int32_t> ClosedParent;
    std::vector<TMemoLoop> Memos;
    // The stop set (FoldedList records) and how it patches the records: built without stops,
    // the program takes a new stop set through SetFastStops in time proportional to the stops
    // and the loops around them, not to the program.
    std::vector<uint32_t> Stops;
    std::vector<uint8_t> StopMark;   // by FoldedList record: in Stops
    std::vector<uint8_t> Patch;      // by record: the Patch flags that apply
    std::vector<uint32_t> Patched;   // the records with flags
    std::vector<uint32_t> Rethread;  // records whose Handler is to be set again
    // The dispatch table whose labels the Handler fields hold, or none yet. Ops does not change
    // once threaded: the To fields point into it.
    const void* ThreadedFor = nullptr;
    // The build was abandoned at a terminate request; the program is empty.
    bool Cancelled = false;
    // RepeatsReachAttention held when it was built; a program without it is never run.
    bool RepeatsChecked = false;
    // At most this many commands run between two attention checks of the execution loop,
    // whatever the tape holds and whichever stops patch the records (UINT64_MAX: no bound is
    // known in advance, as a memo loop applies passes whose cost it measured while running).
    uint64_t UncheckedBound = UINT64_MAX;
    // FindFastShapes has filled in the reaches and the tables below.
    bool ShapesFound = false;
    // By record: ShapeHead for the first record of a straight run (where a run of folded
    // records begins), ShapeClears for a Linear record with a clearing term.
    std::vector<uint8_t> Shape;
    // The profile's view of the records (FoldFastCounts): what a record's arrivals and its
    // passes add to, as indices into the engine's ProfileCounts (a FoldedList record's count,
    // or FoldedCount + a clear loop's record for its passes): record k's arrivals add to
    // ProfileTo[ProfileFrom[k]] up to ProfileTo[ProfileMid[k]], its passes from there up to
    // ProfileTo[ProfileFrom[k + 1]].
    std::vector<uint32_t> ProfileFrom;
    std::vector<uint32_t> ProfileMid;
    std::vector<uint32_t> ProfileTo;
    // By record: for a copy that makes a move first, the FoldedList record of its own
    // operation, which its third count (its own runs) adds to; else UINT32_MAX.
    std::vector<uint32_t> ProfileOwn;
    // By memo loop: the records a pass of it runs, from its MemoOpen record (excluded) to its
    // MemoClose record (included).
    std::vector<std::pair<uint32_t, uint32_t>> MemoRecords;
    // Its native code (cel_NativeCode.h), generated at the first full-speed pass without stops
    // that may use it; none where it cannot be had (NativeTried then tells not to try again).
    std::shared_ptr<const TNativeCode> Native;
    bool NativeTried = false;
    // The same for runs with watchpoints (TNativeCode::Generate's watched code).
    std::shared_ptr<const TNativeCode> NativeWatched;
    bool NativeWatchedTried = false;
};

// Builds the fast form of the first foldedCount records of folded for cells of cellBits bits,
// with no stops (SetFastStops gives it some). Linear in the program's length whatever its
// nesting; gives up, with an empty program marked Cancelled, soon after *cancel becomes true.
// TProgram::FastForm builds a program's.
TFastProgram BuildFastProgram(const std::vector<TInstruction>& folded, uint32_t foldedCount, unsigned cellBits,
                              const std::atomic<bool>* cancel = nullptr);

// Makes stops (FoldedList records, the ones before which a full-speed run must stop exactly)
// the program's stop set in place of the last one: the record where a stop begins asks the
// engine first, a straight run with one inside is stepped along FoldedList, and the loops around
// one run pass by pass. Touches only the records of the old and the new stops.
void SetFastStops(TFastProgram& program, const std::vector<TInstruction>& folded,
                  const std::vector<uint32_t>& stops);

enum : uint8_t { ShapeHead = 1, ShapeClears = 2 };

// Fills in what watched and profiled runs of the fast form need (TFastOp::ReachLo and ReachSpan,
// Shape, the profile's tables); once a program, in time linear in its length.
void FindFastShapes(TFastProgram& program, const std::vector<TInstruction>& folded);

// True when every record keeps its row of CEL_FAST_OPERATIONS, so that nothing in program can
// repeat without passing the attention check: operands a row does not use are 0; only a PreMove
// record makes a move first; a Linear record's terms follow it and only they are Data; jumps
// stay inside the program and never land on a term; only a JumpsBack record jumps back; a
// stride moves; a memo index names a memo. Linear in the program's length; BuildFastProgram
// runs it on every program it builds (RepeatsChecked).
bool RepeatsReachAttention(const TFastProgram& program);

// The fast form one record a line, "index name operand=value ... @folded", the operands named and
// in the order of the record's row, unused ones left out, a made-first move as pre= preexec= and
// next= when there is one, then the patches of the stop set; then one line a memo loop, for
// tests and the runner's --dump-fast.
std::string DumpFastProgram(const TFastProgram& program);

// The trip count of a balanced loop whose counter starts at v and changes by d each pass,
// modulo 2^bits: the least n >= 1 with v + n * d = 0, 0 when v = 0, or -1 when there is none.
int64_t LoopTripCount(uint32_t v, int64_t d, unsigned bits);

}  // namespace cel
