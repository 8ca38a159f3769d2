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

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace cel {

// The operations of the fast form, in dispatch-table order. What each does with Off, Delta,
// Jump and Exec (Exec is always added to the executed count when the record runs):
#define CEL_FAST_OPERATIONS(X)                                                               \
    X(Add)      /* tape[dp + Off] += Delta */                                                \
    X(Clear)    /* [-] at dp + Off: the count grows by 2 per unit of the cell */             \
    X(ClearUp)  /* [+] at dp + Off */                                                        \
    X(Move)     /* dp += Off */                                                              \
    X(Open)     /* [: on a zero cell to Jump (past the loop's Close) */                      \
    X(Close)    /* ]: on a non-zero cell back to Jump, with the attention check */           \
    X(Linear)   /* a balanced loop, the counter at dp changing by Delta a pass: when the    \
                   trip count n exists, each of the Off Terms that follow adds n * its Delta and the run  \
                   goes on at Jump, the count growing by Exec per pass; when the loop never \
                   ends, the run steps it in the form that follows the Terms */              \
    X(LinearWalk) /* a Linear record that is all of an outer loop's body but the moves    \
                     (its Jump is that loop's Close, whose Jump is it): runs the outer       \
                     loop's passes itself, with the Close's back edge checks */              \
    X(Term)     /* one cell that a Linear loop changes: Off, Delta per pass */               \
    X(TermClear) /* one cell that a Linear loop clears ([-] first): Delta added before the   \
                    first clear, Jump the value it holds after each pass, Exec the cost of   \
                    the later clears of a pass */                                           \
    X(TermClearUp) /* the same, [+] first */                                                 \
    X(ScanRight) /* [>]-like: moves by Off until a zero cell, Exec per pass; a tape with no  \
                    zero on the way is stepped in the form that follows */                   \
    X(ScanLeft) /* [<]-like, moving left by Off */                                           \
    X(MemoOpen) /* Open of a loop whose passes may repeat (Off: its Memos index) */         \
    X(MemoClose) /* Close of that loop: once a pass left the work cells as they were, the   \
                    remaining passes are applied at once */                                  \
    X(Output)                                                                                \
    X(Input)                                                                                 \
    X(ProcStart) /* (: defines the procedure, goes on at Jump (past its )) */                \
    X(ProcEnd)                                                                               \
    X(Call)                                                                                  \
    X(End)

enum TFastCode : uint8_t {
#define CEL_FAST_ENUM(id) fast##id,
    CEL_FAST_OPERATIONS(CEL_FAST_ENUM)
#undef CEL_FAST_ENUM
    FastCodeCount
};

struct TFastOp {
    void* Handler = nullptr;  // the execution loop's label for Code, set by the loop itself
    const TFastOp* To = nullptr;  // the record at Jump, set with Handler
    TFastCode Code = fastEnd;
    uint32_t Off = 0;     // an offset or a move, modulo the tape size
    int32_t Delta = 0;    // a change of a cell (taken modulo the cell width)
    uint32_t Jump = 0;    // an index into the fast form
    uint32_t Folded = 0;  // the FoldedList record where this record begins
    uint32_t Exec = 0;    // commands the record accounts for (per pass for Linear and scans)
    // A loop record may first make the move that ends the straight run before it: dp += Pre,
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
};

// Builds the fast form of the first foldedCount records of folded for cells of cellBits bits,
// with the stop set stopAt (see SetFastStops), indexed by CommandList index (shorter or empty:
// no stop there). Linear in the program's length whatever its nesting; gives up, with an empty
// program marked Cancelled, soon after *cancel becomes true.
TFastProgram BuildFastProgram(const std::vector<TInstruction>& folded, uint32_t foldedCount,
                              const std::vector<TInstruction>& commands,
                              const std::vector<uint8_t>& stopAt, unsigned cellBits,
                              const std::atomic<bool>* cancel = nullptr);

// Makes stops (FoldedList records, the ones before which a full-speed run must stop exactly)
// the program's stop set in place of the last one: the record where a stop begins asks the
// engine first, a straight run with one inside is stepped along FoldedList, and the loops around
// one run pass by pass. Touches only the records of the old and the new stops.
void SetFastStops(TFastProgram& program, const std::vector<TInstruction>& folded,
                  const std::vector<uint32_t>& stops);

// True when nothing in program can repeat without passing the attention check: only the
// records that check (a back edge, a call, a return, a walk's own passes) lead backwards, and
// every other record is bounded work (a scan moves, so it ends within one trip round the tape).
bool RepeatsReachAttention(const TFastProgram& program);

// The fast form one record a line, for tests and --dump-fast.
std::string DumpFastProgram(const TFastProgram& program);

// The trip count of a balanced loop whose counter starts at v and changes by d each pass,
// modulo 2^bits: the least n >= 1 with v + n * d = 0, 0 when v = 0, or -1 when there is none.
int64_t LoopTripCount(uint32_t v, int64_t d, unsigned bits);

}  // namespace cel
