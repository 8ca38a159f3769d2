// Native code: x86-64 machine code generated from the fast form (TFastProgram), record for
// record what the fast form's execution loop does, with the same executed count and the same
// attention check at every back edge. Standard library and the xbyak assembler only.
//
// Records that have no native code (procedures, the end) are left to the fast form's loop:
// native code leaves at the beginning of such a record with the state the fast form has there,
// and the fast form enters native code again at the beginning of any record that has some.
// Input and output call the engine, which runs them as the fast loop does. A memo loop's
// records call the engine's code for what they do past their own checks, but for a loop entered
// with passes known to repeat. Code is generated once for a program and cell width; its pages
// are writable while it is written and executable (never writable) from then on. The data
// pointer stays on the tape at every move (wrapped, out of line, where it passes an end), never
// wrapped at a cell's address: the tape is mapped twice in a row (TNativeFrame::Tape).
#pragma once

#include "cel_FastProgram.h"
#include "cel_LoopMemo.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace cel {

// The state native code runs on and leaves behind: the machine state of the fast loop's locals.
struct TNativeFrame {
    void* Tape = nullptr;  // TapeSize cells, mapped twice in a row: Tape[i + TapeSize] is Tape[i]
    uint64_t Executed = 0;
    const std::atomic<uint64_t>* AttentionAt = nullptr;  // the engine's attention count
    std::atomic<uint64_t>* Shown = nullptr;             // the count back edges show (Executed)
    uint32_t DataPtr = 0;
    uint32_t Record = 0;  // the fast record where the run enters, and where it left
    // Watched code: the engine's WatchSums, the number of watched cells below each index of the
    // tape laid twice.
    const uint32_t* WatchSums = nullptr;
    void* Engine = nullptr;  // what the input and output helpers are called with
};

// How native code left: at the beginning of Record, which the fast form runs next; at the
// attention check of a back edge, which leads to Record, or before the input or output command
// at Record; or at that command, which failed (ErrorCode is set; the count is as before it).
enum class TNativeExit : uint32_t { Record = 0, Attention = 1, Error = 2 };

// What an input or output helper tells native code: the command ran; the run is to leave before
// it for RunLoop (TNativeExit::Attention); it failed (TNativeExit::Error); or, input only, the
// wait for typed input was abandoned (the attempt counts, and the run leaves after it as at an
// attention check, at the same command, which runs again).
enum : uint32_t { NativeIODone = 0, NativeIOAbandoned = 3 };

// What native code knows of a memo loop's steady passes (TMemoLoop::Steady), in a block of its
// own: the cost of a pass (0: none known yet), then the work cells that a pass leaves as it
// finds them, one a slot, then the slot that turns the loop's shortcut off (SteadySlots). Such
// a pair stays true once measured, so a block that lags behind the loop's own still gives the
// loop's passes right.
inline size_t SteadySlots(const TMemoLoop& memo) { return 2 + memo.Work.size(); }
inline void NoteSteadyPasses(const TMemoLoop& memo, uint64_t* steady) {
    if (!memo.Steady) return;
    for (size_t k = 0; k < memo.Fixed.size(); ++k) steady[1 + k] = memo.Fixed[k];
    steady[0] = memo.PassCost;
}

// A memo loop whose passes were tried this often at its records without once repeating is
// taken for one whose passes never repeat: native code then runs it as a plain loop, without
// the engine's calls (NoteMemoTried). The shortcut only saves time, so the choice is free.
constexpr uint32_t MemoTries = 1u << 16;
// After a memo record's call: done tells whether its passes were done at once. At the MemoTries
// try without one done, the shortcut is turned off in the block; the loop's snapshot then no
// longer stands for the pass before (native code leaves a memo loop only at an attention check,
// where the fast loop takes every snapshot as stale anyway).
inline void NoteMemoTried(TMemoLoop& memo, bool done, uint64_t* steady) {
    if (done) {
        memo.Repeated = true;
    } else if (!memo.Repeated && ++memo.Tries == MemoTries) {
        memo.Valid = false;
        steady[SteadySlots(memo) - 1] = 1;
    }
}

// The engine code that native code calls, so that it does nothing the fast loop does otherwise:
// the trip count of a balanced loop (TripCount), a Linear record's terms (LinearTerms), a scan
// (ScanPasses), and what a memo loop's records do past their own checks (MemoEnter,
// MemoBackEdge: true when the loop's passes were done at once; the back edge notes steady
// passes it found in the loop's block, NoteSteadyPasses).
struct TNativeHelpers {
    int64_t (*TripCount)(uint32_t v, uint32_t d) = nullptr;
    uint64_t (*LinearTerms)(void* tape, uint32_t mask, uint32_t dp, const TFastOp* linear, uint32_t count) = nullptr;
    // The passes of a scan from dp to the first zero cell, or -1 when it meets none.
    int64_t (*ScanPasses)(const void* tape, uint32_t dp, uint32_t stride, bool right) = nullptr;
    bool (*MemoEnter)(TMemoLoop* memo, void* tape, uint32_t dp, uint64_t* executed, uint64_t* steady) = nullptr;
    bool (*MemoBackEdge)(TMemoLoop* memo, void* tape, uint32_t dp, uint64_t* executed, uint64_t* steady) = nullptr;
    // '.' and ',' at FoldedList record folded, through the engine (TNativeFrame::Engine) as the
    // fast loop runs them, the state spilled first: NativeIODone or a TNativeExit.
    uint32_t (*Output)(void* engine, uint32_t folded, uint32_t dp, uint64_t executed) = nullptr;
    uint32_t (*Input)(void* engine, uint32_t folded, uint32_t dp, uint64_t executed) = nullptr;
    // A loop that may be done at once (cel_LoopMemo.h), entered: LoopMemoEnter for the cell width.
    uint32_t (*LoopMemo)(TLoopMemos* loops, uint32_t loop, void* tape, uint32_t dp, uint64_t* executed,
                         const std::atomic<uint64_t>* attention) = nullptr;
};

class TNativeCode {
public:
    ~TNativeCode();
    TNativeCode(const TNativeCode&) = delete;
    TNativeCode& operator=(const TNativeCode&) = delete;

    // Native code for program's cells of cellBits bits on a tape of tapeSize cells (a power of
    // two) mapped twice in a row (see TNativeFrame::Tape), or none where it cannot be had:
    // another processor, a build without the assembler, executable memory refused. The
    // program's records must stay where they are (it is threaded).
    // Watched code tests a record's reach (TFastOp::ReachLo, ReachSpan) against the watched
    // cells (TNativeFrame::WatchSums) before the record runs, as the fast loop's watched form
    // does, and leaves at the record where it holds one; a walk tests each pass, and a scan its
    // way, as the fast loop does.
    // With folded (the program's FoldedList), the loops without input, output or procedure
    // commands are done at once from kept runs where they can be (cel_LoopMemo.h; not in watched
    // code).
    static std::shared_ptr<const TNativeCode> Generate(const TFastProgram& program, unsigned cellBits,
                                                       uint32_t tapeSize, const TNativeHelpers& helpers,
                                                       bool watched = false,
                                                       const std::vector<TInstruction>* folded = nullptr);

    // True when the fast record has native code: the run may enter there.
    bool Has(uint32_t record) const { return record < Entry.size() && Entry[record] != NoEntry; }
    // Runs from frame.Record, which Has, until a record without native code or an attention
    // check that is due; frame holds the state there.
    TNativeExit Run(TNativeFrame& frame) const;
    // The generated bytes, for the runner's dump and the benchmarks.
    const uint8_t* Code() const;
    size_t CodeSize() const;
    // The offset of the record's code in Code(), or SIZE_MAX when it has none.
    size_t EntryOffset(uint32_t record) const { return Has(record) ? Entry[record] : SIZE_MAX; }

private:
    struct TImpl;
    explicit TNativeCode(std::unique_ptr<TImpl> impl);
    static constexpr uint32_t NoEntry = UINT32_MAX;
    std::unique_ptr<TImpl> Impl;
    std::vector<uint32_t> Entry;  // by fast record: the offset of its code, or NoEntry
    TNativeExit (*Start)(TNativeFrame* frame, const uint8_t* at) = nullptr;
};

// True when this build can generate native code at all (an x86-64 build with the assembler).
bool NativeCodeBuilt();

}  // namespace cel
