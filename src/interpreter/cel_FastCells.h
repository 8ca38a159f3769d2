// The fast form's execution loop for one cell width (see cel_FastProgram.h). Included by the
// two instance files only.
#pragma once

#include "cel_FastProgram.h"
#include "cel_InterpreterCells.h"
#include "cel_NativeCode.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <iterator>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cel {

// Threaded with computed gotos like Fast. The attention check sits where the run can go round:
// at a loop's back edge, a call and a return, and after input and output (hand-offs to the GUI
// thread): the rows marked ChecksAttention in CEL_FAST_OPERATIONS. Every other record is bounded
// work (a scan at most one trip round the tape, a closed form one step), so a request is seen
// within one pass of the innermost loop. Leaving, the state is written back as of the beginning
// of the record at hand.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"
#pragma GCC diagnostic ignored "-Wunused-label"
#endif
// LoopTripCount for a counter that is not 0, the common steps of 1 and -1 inline.
template <typename Cell>
inline int64_t TripCount(uint32_t v, uint32_t d) {
    constexpr uint32_t top = (1u << (8 * sizeof(Cell))) - 1;
    d &= top;
    if (d == top) return v;
    if (d == 1) return top + 1 - v;
    return LoopTripCount(v, d, 8 * sizeof(Cell));
}

// Applies count passes of the Linear record linear's terms at dp (tape of mask + 1 cells),
// the counter excepted; returns what the clears among them cost.
template <typename Cell>
inline uint64_t LinearTerms(Cell* tape, uint32_t mask, uint32_t dp, const TFastOp* linear,
                            uint32_t count) {
    uint64_t executed = 0;
    for (const TFastOp *term = linear + 1, *last = linear + linear->Off; term <= last; ++term) {
        Cell& c = tape[(dp + term->Off) & mask];
        if (term->Code == fastTerm) {
            c = static_cast<Cell>(c + count * static_cast<uint32_t>(term->Delta));
            continue;
        }
        // Cleared in every pass: the first pass finds the cell as it is, the later ones as
        // the pass before left it.
        const bool up = term->Code == fastTermClearUp;
        const uint32_t first = static_cast<Cell>(c + term->Delta);
        const uint32_t steady = static_cast<Cell>(term->Jump + term->Delta);
        executed += ClearCost<Cell>(first, up) + (count - 1) * ClearCost<Cell>(steady, up) +
                    static_cast<uint64_t>(count) * term->Exec;
        c = static_cast<Cell>(term->Jump);
    }
    return executed;
}

// Finishes a memo loop whose passes all repeat the one its cells show: n more passes of its
// constant changes, the counter cleared; returns the commands they take.
template <typename Cell>
inline uint64_t RepeatPasses(Cell* tape, uint32_t mask, uint32_t dp, const TMemoLoop& memo, int64_t n) {
    for (const auto& [off, delta] : memo.Constant) {
        Cell& c = tape[(dp + off) & mask];
        c = static_cast<Cell>(c + static_cast<uint32_t>(n) * static_cast<uint32_t>(delta));
    }
    tape[dp] = 0;
    return static_cast<uint64_t>(n) * memo.PassCost;
}

// A scan from dp (a nonzero cell) by stride to the right or left: its passes up to the first
// zero cell, whose index goes to p; p stays dp when there is none on its way round the tape.
template <typename Cell>
inline uint64_t ScanPasses(const Cell* tape, uint32_t dp, uint32_t stride, bool right, uint32_t& p) {
    constexpr uint32_t mask = TapeSize - 1;
    const uint32_t step = right ? stride : (0u - stride) & mask;
    uint64_t passes = 0;
    p = dp;
    if (sizeof(Cell) == 1 && step == 1) {
        // The first zero after dp, then from the tape's start.
        const void* hit = std::memchr(tape + dp + 1, 0, mask - dp);
        if (hit != nullptr) {
            p = static_cast<uint32_t>(static_cast<const Cell*>(hit) - tape);
            return p - dp;
        }
        if ((hit = std::memchr(tape, 0, dp)) != nullptr) {
            p = static_cast<uint32_t>(static_cast<const Cell*>(hit) - tape);
            return TapeSize - dp + p;
        }
        return 0;
    }
#if defined(__GLIBC__)
    if (sizeof(Cell) == 1 && stride == 1 && !right) {
        // The last zero before dp, then from the tape's end.
        const void* hit = ::memrchr(tape, 0, dp);
        if (hit != nullptr) {
            p = static_cast<uint32_t>(static_cast<const Cell*>(hit) - tape);
            return dp - p;
        }
        if ((hit = ::memrchr(tape + dp + 1, 0, mask - dp)) != nullptr) {
            p = static_cast<uint32_t>(static_cast<const Cell*>(hit) - tape);
            return dp + TapeSize - p;
        }
        return 0;
    }
#endif
#if defined(__SSE2__)
    if (sizeof(Cell) == 1 && stride >= 2 && stride <= 16) {
        // Sixteen cells at a time, the ones a pass reads picked out of the compare's bits: the
        // first k passes from a block's first cell (right) or last (left), then k passes on.
        const uint32_t k = (15 + stride) / stride;
        uint32_t picked = 0;
        for (uint32_t j = 0; j < k; ++j) picked |= 1u << (j * stride);
        const __m128i zero = _mm_setzero_si128();
        const auto zeros = [&](uint32_t first) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tape + first));
            return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)));
        };
        if (right) {
            for (; p + stride + 15 <= mask; p += k * stride, passes += k) {
                if (const uint32_t hits = zeros(p + stride) & picked) {
                    const uint32_t off = static_cast<uint32_t>(__builtin_ctz(hits));
                    p += stride + off;
                    return passes + off / stride + 1;
                }
            }
        } else {
            picked <<= 15 - (k - 1) * stride;
            for (; p >= stride + 15; p -= k * stride, passes += k) {
                if (const uint32_t hits = zeros(p - stride - 15) & picked) {
                    const uint32_t off = 15 - static_cast<uint32_t>(31 - __builtin_clz(hits));
                    p -= stride + off;
                    return passes + off / stride + 1;
                }
            }
        }
    }
#endif
    // Away from dp without wrapping as far as the tape allows (no pass there can meet dp
    // again), then on round the tape one pass at a time.
    if (right) {
        while (p + stride <= mask) {
            p += stride;
            ++passes;
            if (tape[p] == 0) return passes;
        }
    } else {
        while (p >= stride) {
            p -= stride;
            ++passes;
            if (tape[p] == 0) return passes;
        }
    }
    do {
        p = (p + step) & mask;
        ++passes;
    } while (tape[p] != 0 && p != dp);
    return passes;
}

// True when the memo loop's work cells round dp hold values, one a cell.
template <typename Cell>
inline bool WorkCellsHold(const TMemoLoop& memo, const std::vector<uint32_t>& values, const Cell* tape, uint32_t mask,
                          uint32_t dp) {
    for (size_t k = 0; k < memo.Work.size(); ++k)
        if (values[k] != tape[(dp + memo.Work[k]) & mask]) return false;
    return true;
}

// The work cells as a pass begins, at count executed: a pass that leaves them so is repeated by
// all the others.
template <typename Cell>
inline void BeginMemoPass(TMemoLoop& memo, const Cell* tape, uint32_t mask, uint32_t dp, uint64_t executed) {
    for (size_t k = 0; k < memo.Work.size(); ++k) memo.Snapshot[k] = tape[(dp + memo.Work[k]) & mask];
    memo.Executed = executed;
    memo.Valid = true;
}

// A memo loop entered with a nonzero counter (f_MemoOpen after its check): true when its passes
// are all done at once, repeating one that an earlier run of the loop found steady (its work
// cells as that pass left them).
template <typename Cell>
inline bool MemoEnter(TMemoLoop& memo, Cell* tape, uint32_t mask, uint32_t dp, uint64_t& executed) {
    if (memo.Steady && WorkCellsHold(memo, memo.Fixed, tape, mask, dp)) {
        const int64_t n = TripCount<Cell>(tape[dp], static_cast<uint32_t>(memo.Counter));
        if (n >= 0) {
            executed += RepeatPasses<Cell>(tape, mask, dp, memo, n);
            return true;
        }
    }
    BeginMemoPass(memo, tape, mask, dp, executed);
    return false;
}

// A memo loop's back edge with a nonzero counter (f_MemoClose after its check): true when the
// remaining passes were done at once, the pass just done having left its work cells as it
// found them.
template <typename Cell>
inline bool MemoBackEdge(TMemoLoop& memo, Cell* tape, uint32_t mask, uint32_t dp, uint64_t& executed) {
    if (memo.Valid && WorkCellsHold(memo, memo.Snapshot, tape, mask, dp)) {
        const int64_t n = TripCount<Cell>(tape[dp], static_cast<uint32_t>(memo.Counter));
        if (n >= 0) {
            memo.PassCost = executed - memo.Executed;
            memo.Fixed = memo.Snapshot;
            memo.Steady = true;
            executed += RepeatPasses<Cell>(tape, mask, dp, memo, n);
            memo.Valid = false;
            return true;
        }
    }
    BeginMemoPass(memo, tape, mask, dp, executed);
    return false;
}

template <typename Cell>
TNativeHelpers TBFInterpreterCells<Cell>::NativeHelpers() {
    TNativeHelpers helpers;
    helpers.TripCount = [](uint32_t v, uint32_t d) { return TripCount<Cell>(v, d); };
    helpers.LinearTerms = [](void* tape, uint32_t mask, uint32_t dp, const TFastOp* linear, uint32_t count) {
        return LinearTerms<Cell>(static_cast<Cell*>(tape), mask, dp, linear, count);
    };
    helpers.ScanPasses = [](const void* tape, uint32_t dp, uint32_t stride, bool right) -> int64_t {
        uint32_t p = dp;
        const uint64_t passes = ScanPasses<Cell>(static_cast<const Cell*>(tape), dp, stride, right, p);
        return p == dp ? -1 : static_cast<int64_t>(passes);
    };
    helpers.MemoEnter = [](TMemoLoop* memo, void* tape, uint32_t dp, uint64_t* executed, uint64_t* steady) {
        const bool done = MemoEnter<Cell>(*memo, static_cast<Cell*>(tape), TapeSize - 1, dp, *executed);
        NoteMemoTried(*memo, done, steady);
        return done;
    };
    helpers.MemoBackEdge = [](TMemoLoop* memo, void* tape, uint32_t dp, uint64_t* executed,
                              uint64_t* steady) {
        const bool done = MemoBackEdge<Cell>(*memo, static_cast<Cell*>(tape), TapeSize - 1, dp, *executed);
        NoteMemoTried(*memo, done, steady);
        if (done) NoteSteadyPasses(*memo, steady);
        return done;
    };
    helpers.LoopMemo = [](TLoopMemos* loops, uint32_t loop, void* tape, uint32_t dp, uint64_t* executed,
                          const std::atomic<uint64_t>* attention) {
        return LoopMemoEnter<Cell>(*loops, loop, static_cast<Cell*>(tape), TapeSize - 1, dp, executed, attention);
    };
    // As the fast loop's f_Output and f_InputRun, up to the count and the attention check.
    helpers.Output = [](void* engine, uint32_t folded, uint32_t dp, uint64_t executed) -> uint32_t {
        auto& self = *static_cast<TBFInterpreterCells*>(engine);
        self.Spill(folded, dp, executed);
        if (self.IOGuard && self.AttentionDue(executed)) return static_cast<uint32_t>(TNativeExit::Attention);
        return self.OutputCommand() ? NativeIODone : static_cast<uint32_t>(TNativeExit::Error);
    };
    helpers.Input = [](void* engine, uint32_t folded, uint32_t dp, uint64_t executed) -> uint32_t {
        auto& self = *static_cast<TBFInterpreterCells*>(engine);
        self.Spill(folded, dp, executed);
        if (self.IOGuard && self.AttentionDue(executed)) return static_cast<uint32_t>(TNativeExit::Attention);
        return self.InputCommand() ? NativeIODone : NativeIOAbandoned;
    };
    return helpers;
}

// The calling thread's own processor time in nanoseconds: what a run has spent, not counting
// its waits and pauses.
inline int64_t ThreadNanos() {
#ifdef CLOCK_THREAD_CPUTIME_ID
    timespec now{};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now) == 0) return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
#endif
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The native code of program for this run, made at its first use, or none: it serves runs
// whose fast form has no stops (the records around a stop run in the fast form's own way) on a
// tape mapped twice in a row. It is made once the run has gone far and long enough (see
// TRunOptions::NativeAfter).
template <typename Cell>
const TNativeCode* TBFInterpreterCells<Cell>::NativeFor(TFastProgram& program, bool watched) {
    if (!Options.NativeEngine || !program.Patched.empty() || !TapeMirrored()) return nullptr;
    bool& tried = watched ? program.NativeWatchedTried : program.NativeTried;
    std::shared_ptr<const TNativeCode>& code = watched ? program.NativeWatched : program.Native;
    if (!tried) {
        const uint64_t executed = Executed.load(std::memory_order_relaxed);
        const uint64_t records = program.Ops.size();
        if (Options.NativeAfter != 0 || Options.NativePerRecord != 0) {
            // Not yet: the fast form runs on to that count, where the next pass looks again.
            const uint64_t after = Options.NativeAfter + Options.NativePerRecord * records;
            if (executed < NativeSeen || NativeSeen == UINT64_MAX) NativeClock = ThreadNanos();
            NativeSeen = executed;
            if (executed < after) {
                LowerAttention(after);
                return nullptr;
            }
            const int64_t spent = ThreadNanos() - NativeClock;
            if (spent < static_cast<int64_t>(Options.NativeNanosFixed + Options.NativeNanosPerRecord * records)) {
                LowerAttention(executed + std::max<uint64_t>(Options.NativeAfter, 1));
                return nullptr;
            }
        }
        tried = true;
        code = TNativeCode::Generate(program, 8 * sizeof(Cell), TapeSize, NativeHelpers(), watched,
                                     &Program.FoldedList);
    }
    if (code != nullptr && NativeFrom.load(std::memory_order_relaxed) == UINT64_MAX)
        NativeFrom.store(Executed.load(std::memory_order_relaxed), std::memory_order_relaxed);
    return code.get();
}

template <typename Cell>
void TBFInterpreterCells<Cell>::MemoPassBegins(const TFastProgram& program, uint32_t m) {
    const auto [first, last] = program.MemoRecords[m];
    const size_t n = last + 1 - first;
    AddPending();  // passes done at once inside this loop belong to its pass
    uint64_t* const start = MemoCounts[m].Start.data();
    for (size_t part = 0; part < 3; ++part)
        std::copy_n(FastCounts.data() + part * program.Ops.size() + first, n, start + part * n);
}

template <typename Cell>
bool TBFInterpreterCells<Cell>::MemoEnterCounted(TFastProgram& program, uint32_t m, Cell* tape, uint32_t dp,
                                                 uint64_t& executed) {
    TMemoLoop& memo = program.Memos[m];
    TMemoCounts& counts = MemoCounts[m];
    if (!counts.PassKnown) memo.Steady = false;  // found steady where nothing was counted
    const uint32_t v = tape[dp];
    if (!MemoEnter<Cell>(memo, tape, TapeSize - 1, dp, executed)) {
        MemoPassBegins(program, m);
        return false;
    }
    if (counts.Pending == 0) MemosPending.push_back(m);
    counts.Pending += static_cast<uint64_t>(TripCount<Cell>(v, static_cast<uint32_t>(memo.Counter)));
    return true;
}

template <typename Cell>
bool TBFInterpreterCells<Cell>::MemoBackEdgeCounted(TFastProgram& program, uint32_t m, Cell* tape, uint32_t dp,
                                                    uint64_t& executed) {
    TMemoLoop& memo = program.Memos[m];
    TMemoCounts& counts = MemoCounts[m];
    const uint32_t v = tape[dp];
    if (!MemoBackEdge<Cell>(memo, tape, TapeSize - 1, dp, executed)) {
        MemoPassBegins(program, m);
        return false;
    }
    // The pass just done, from the snapshot to this back edge, is what each later one adds.
    AddPending();
    const uint64_t passes = static_cast<uint64_t>(TripCount<Cell>(v, static_cast<uint32_t>(memo.Counter)));
    const auto [first, last] = program.MemoRecords[m];
    const size_t n = last + 1 - first;
    counts.Pass.clear();
    for (size_t j = 0; j < 3 * n; ++j) {
        const size_t k = j / n * program.Ops.size() + first + j % n;
        const uint64_t added = FastCounts[k] - counts.Start[j];
        if (added == 0) continue;
        counts.Pass.emplace_back(static_cast<uint32_t>(k), added);
        FastCounts[k] += passes * added;
    }
    counts.PassKnown = true;
    return true;
}

// Watched, a record whose reach holds a watched cell is taken the exact way (f_watch): a straight
// run stepped along FoldedList (StepToEntry, which leaves before a folded record that may meet
// one, for RunLoop to single-step), a closed-form loop in its stepped form, a memo loop without
// its shortcut, a scan only when no cell watched for arrival lies on its way, input by RunLoop.
// A record that makes a move first hands over to its own record after the move, so the reach
// of the straight run's first record covers the move. Profiled, each record counts its arrivals
// (at dispatch) and the passes it runs at once; a record taken another way takes its arrival
// back; a memo loop's passes done at once add what the pass that found them steady added.
// A walk runs as its Linear record (watched, only one that makes a move first).
template <typename Cell>
template <typename TBFInterpreterCells<Cell>::TFastMode Mode>
typename TBFInterpreterCells<Cell>::TLoopExit TBFInterpreterCells<Cell>::RunOptimised(TFastProgram& program,
                                                                                    bool checkTarget) {
    constexpr bool Watched = Mode == TFastMode::Watched;
    constexpr bool Profile = Mode == TFastMode::Profiled;
    // Inside a straight run that became one record: on along FoldedList to the next beginning.
    bool stepped = false;
    if (program.EntryOf[PC] < 0) {
        if (StepToEntry(program, checkTarget, Watched)) return TLoopExit::Attention;
        stepped = true;
    }
    // A pass begun before this call is no pass the memos have seen whole.
    for (TMemoLoop& memo : program.Memos) memo.Valid = false;
    // Few locals live through the loop: with more, the compiler keeps the executed count on the
    // stack, and then every record waits for the store of the one before it. Jumps follow To.
    Cell* const tape = Tape.get();
    const TFastOp* const ops = program.Ops.data();
    const TFastOp* in = ops + program.EntryOf[PC];
    uint32_t dp = DataPtr;
    uint64_t executed = Executed.load(std::memory_order_relaxed);
    constexpr uint32_t mask = TapeSize - 1;
    const uint32_t* const sums = Watched ? WatchSums.data() : nullptr;
    uint64_t* const arrivals = Profile ? FastCounts.data() : nullptr;
    uint64_t* const passes = Profile ? arrivals + program.Ops.size() : nullptr;
    uint64_t* const own = Profile ? passes + program.Ops.size() : nullptr;
    (void)sums;
    (void)passes;
    (void)own;

    // One label a row of CEL_FAST_OPERATIONS: a row without its handler below does not compile.
#define CEL_FAST_LABEL(id, off, delta, jump, exec, properties) &&f_##id,
    static void* const dispatch[] = {CEL_FAST_OPERATIONS(CEL_FAST_LABEL)};
#undef CEL_FAST_LABEL
    static_assert(std::size(dispatch) == FastCodeCount);
    // Without stops, records that have native code enter it (f_native).
    const TNativeCode* const native = Mode != TFastMode::Profiled ? NativeFor(program, Watched) : nullptr;
    const void* const threading = native != nullptr ? static_cast<const void*>(native) : dispatch;
    const auto nativeHas = [&](size_t k) {
        if constexpr (Mode != TFastMode::Profiled) return native != nullptr && native->Has(static_cast<uint32_t>(k));
        return false;
    };
    // The label a record runs at when unpatched: its operation's, but a walk runs as Linear
    // (watched, one that makes a move first), and watched a bracket that begins a straight run
    // is tested first.
#define CEL_OWN(op)                                                                                   \
    ((Profile || (Watched && (op).Next == 2)) && (op).Code == fastLinearWalk ? &&f_Linear           \
     : Watched && (op).ReachSpan != 0 && ((op).Code == fastOpen || (op).Code == fastClose) ? &&f_checked \
                                                              : dispatch[(op).Code])
    // Direct threading: each record holds its label, a patched one (see SetFastStops) f_Patched.
#define CEL_HANDLER(k)                                                               \
    (program.Patch[k] ? &&f_Patched                                                  \
     : nativeHas(k)                                                ? &&f_native       \
                                                                   : CEL_OWN(program.Ops[k]))
    if (program.ThreadedFor != threading) {
        for (size_t k = 0; k < program.Ops.size(); ++k) {
            TFastOp& op = program.Ops[k];
            op.Handler = CEL_HANDLER(k);
            op.To = FastOperation(op.Code).Has(fastprop::Jumps) ? &program.Ops[op.Jump] : nullptr;
        }
        program.ThreadedFor = threading;
        program.Rethread.clear();
    }
    for (const uint32_t k : program.Rethread) program.Ops[k].Handler = CEL_HANDLER(k);
    program.Rethread.clear();
#undef CEL_HANDLER

#define CEL_SPILL() Spill(in->Folded, dp, executed)
// Watched: the record's reach holds a watched cell.
#define CEL_WATCHED() (sums[((dp + in->ReachLo) & mask) + in->ReachSpan] != sums[(dp + in->ReachLo) & mask])
#define CEL_UNCOUNT()                                              \
    do {                                                           \
        if constexpr (Profile) --arrivals[in - ops];               \
    } while (0)
#define CEL_GO()                                                   \
    do {                                                           \
        if constexpr (Profile) ++arrivals[in - ops];               \
        goto* in->Handler;                                         \
    } while (0)
// Watched, at the top of the handlers of records that may have a reach.
#define CEL_CHECK()                                                \
    do {                                                           \
        if constexpr (Watched) {                                   \
            if (CEL_WATCHED()) goto f_watch;                       \
        }                                                          \
    } while (0)
#define CEL_NEXT() \
    do {           \
        ++in;      \
        CEL_GO();  \
    } while (0)
// Goes on at the beginning of folded record f; one that has no fast record of its own (never
// where jumps lead) is left to the next pass of the run loop.
#define CEL_ENTER(f)                                         \
    do {                                                     \
        const uint32_t f_ = (f);                             \
        const int32_t e_ = f_ <= Program.FoldedCount ? program.EntryOf[f_] : -1; \
        if (e_ < 0) {                                        \
            Spill(f_, dp, executed);                         \
            return TLoopExit::Attention;                     \
        }                                                    \
        in = program.Ops.data() + e_;                        \
    } while (0)
// The move a loop record may make first (see TFastOp::Pre).
#define CEL_PRE()                         \
    do {                                  \
        executed += in->PreExec;          \
        dp = (dp + in->Pre) & mask;       \
    } while (0)
#define CEL_PAST()          \
    do {                    \
        in += in->Next;     \
        CEL_GO();           \
    } while (0)
// At the program's end the run ends: no pause after the last command.
#define CEL_ATTENTION()                                                      \
    do {                                                                     \
        if (AttentionDue(executed) && in->Code != fastEnd) goto f_attention; \
    } while (0)

    // RunLoop has seen this arrival at PC already; one after steps above is a new one.
    if constexpr (Watched) {
        if (CEL_WATCHED()) {
            if (stepped) goto f_watch;
            goto f_watchSeen;
        }
    }
    if (!stepped && (program.Patch[static_cast<size_t>(in - program.Ops.data())] & PatchStop)) {
        if constexpr (Profile) ++arrivals[in - ops];
        goto f_unchecked;
    }
    CEL_GO();

f_Add: {
    CEL_CHECK();
    executed += in->Exec;
    Cell& c = tape[(dp + in->Off) & mask];
    c = static_cast<Cell>(c + in->Delta);
    CEL_NEXT();
}
f_Clear: {
    CEL_CHECK();
    Cell& c = tape[(dp + in->Off) & mask];
    if constexpr (Profile) passes[in - ops] += c;
    executed += in->Exec + ClearCost<Cell>(c, false);
    c = 0;
    CEL_NEXT();
}
f_ClearUp: {
    CEL_CHECK();
    Cell& c = tape[(dp + in->Off) & mask];
    if constexpr (Profile) passes[in - ops] += ClearCost<Cell>(c, true) / 2;
    executed += in->Exec + ClearCost<Cell>(c, true);
    c = 0;
    CEL_NEXT();
}
f_Move:
    CEL_CHECK();
    executed += in->Exec;
    dp = (dp + in->Off) & mask;
    CEL_NEXT();
f_Open:
    if constexpr (Profile) own[in - ops] += in->Next == 2;
    CEL_PRE();
    ++executed;
    if (tape[dp] == 0) {
        in = in->To;
        CEL_GO();
    }
    CEL_PAST();
f_Close:
    if constexpr (Profile) own[in - ops] += in->Next == 2;
    CEL_PRE();
    ++executed;
    if (tape[dp] != 0) {
        in = in->To;
        ShowProgress(executed);
        CEL_ATTENTION();
        CEL_GO();
    }
    CEL_PAST();
f_MemoOpen:
    CEL_CHECK();
f_MemoOpenRun:
    if constexpr (Profile) own[in - ops] += in->Next == 2;
    CEL_PRE();
    ++executed;
    if (tape[dp] == 0) {
        in = in->To;
        CEL_GO();
    }
    if (Profile ? MemoEnterCounted(program, in->Off, tape, dp, executed)
                : MemoEnter<Cell>(program.Memos[in->Off], tape, mask, dp, executed)) {
        in = in->To;
        CEL_GO();
    }
    CEL_PAST();
f_MemoClose:
    CEL_CHECK();
    if constexpr (Profile) own[in - ops] += in->Next == 2;
    CEL_PRE();
    ++executed;
    if (tape[dp] == 0) CEL_PAST();
    if (Profile ? MemoBackEdgeCounted(program, in->Off, tape, dp, executed)
                : MemoBackEdge<Cell>(program.Memos[in->Off], tape, mask, dp, executed))
        CEL_PAST();
    in = in->To;
    ShowProgress(executed);
    CEL_ATTENTION();
    CEL_GO();
f_Linear: {
    CEL_CHECK();
    CEL_PRE();
    const uint32_t v = tape[dp];
    if (v == 0) {
        if constexpr (Profile) own[in - ops] += in->Next == 2;
        ++executed;
        in = in->To;
        CEL_GO();
    }
    const int64_t n = TripCount<Cell>(v, static_cast<uint32_t>(in->Delta));
    // It never ends: stepped, with its back edge's checks. Profiled, clears among its terms
    // are counted pass by pass in the stepped form.
    if (n < 0 || (Profile && (program.Shape[static_cast<size_t>(in - ops)] & ShapeClears))) {
        // A copy hands over to its record, which counts its [ or hands over in turn.
        if (in->Next != 2) CEL_UNCOUNT();
        in += in->Off + 1;
        CEL_GO();
    }
    if constexpr (Profile) {
        passes[in - ops] += static_cast<uint64_t>(n);
        own[in - ops] += in->Next == 2;
    }
    executed += 1 + static_cast<uint64_t>(n) * in->Exec +
                LinearTerms<Cell>(tape, mask, dp, in, static_cast<uint32_t>(n));
    tape[dp] = 0;
    in = in->To;
    CEL_GO();
}
f_LinearWalk: {
    // The outer loop's passes, each as f_Linear and then f_Close would make it; watched, each
    // pass's Linear step and the Close's move are tested as their own records would be.
    CEL_CHECK();
    const TFastOp* const close = in->To;
    for (;;) {
        CEL_PRE();
        const uint32_t v = tape[dp];
        if (v == 0) {
            ++executed;
        } else {
            const int64_t n = TripCount<Cell>(v, static_cast<uint32_t>(in->Delta));
            if (n < 0) {
                in += in->Off + 1;
                CEL_GO();
            }
            executed += 1 + static_cast<uint64_t>(n) * in->Exec +
                        LinearTerms<Cell>(tape, mask, dp, in, static_cast<uint32_t>(n));
            tape[dp] = 0;
        }
        if constexpr (Watched) {
            if (sums[((dp + close->ReachLo) & mask) + close->ReachSpan] != sums[(dp + close->ReachLo) & mask]) {
                in = close;
                goto f_watch;
            }
        }
        executed += close->PreExec + 1;
        dp = (dp + close->Pre) & mask;
        if (tape[dp] == 0) {
            in = close + close->Next;
            CEL_GO();
        }
        ShowProgress(executed);
        if (AttentionDue(executed)) goto f_attention;  // at this record
        CEL_CHECK();
    }
}
f_Term:
f_TermClear:
f_TermClearUp:
    CEL_NEXT();  // never reached: a Linear record steps over its terms
f_ScanRight:
f_ScanLeft: {
    CEL_CHECK();  // a move made first
    CEL_PRE();
    if (tape[dp] == 0) {
        if constexpr (Profile) own[in - ops] += in->Next == 2;
        ++executed;
        in = in->To;
        CEL_GO();
    }
    uint32_t p = dp;
    const bool right = in->Code == fastScanRight;
    const uint64_t moves = ScanPasses<Cell>(tape, dp, in->Off, right, p);
    // No zero anywhere on its way round the tape: it never ends, stepped. Watched, it is also
    // stepped when its way passes a cell watched for arrival.
    const uint64_t way = moves * in->Off;
    if (p == dp || (Watched && (way >= TapeSize || ArrivalIn(right ? dp + 1 : dp - static_cast<uint32_t>(way),
                                                             static_cast<uint32_t>(way))))) {
        if (in->Next != 2) CEL_UNCOUNT();  // a copy hands over to its record
        ++in;
        CEL_GO();
    }
    if constexpr (Profile) {
        passes[in - ops] += moves;
        own[in - ops] += in->Next == 2;
    }
    executed += 1 + moves * in->Exec;
    dp = p;
    in = in->To;
    CEL_GO();
}
f_Output:
    CEL_SPILL();
    if (IOGuard && AttentionDue(executed)) {
        CEL_UNCOUNT();
        return TLoopExit::Attention;
    }
    if (!OutputCommand()) {
        CEL_UNCOUNT();
        return TLoopExit::Error;
    }
    ++executed;
    ++in;
    CEL_ATTENTION();
    CEL_GO();
f_Input:
    CEL_CHECK();
f_InputRun:
    CEL_SPILL();
    if (IOGuard && AttentionDue(executed)) {
        CEL_UNCOUNT();
        return TLoopExit::Attention;
    }
    if (!InputCommand()) {
        ++executed;  // the attempt counts; the command runs again
        goto f_attention;
    }
    ++executed;
    ++in;
    CEL_ATTENTION();
    CEL_GO();
f_ProcStart:
    ++executed;
    DefineProcedure(tape[dp], in->Folded);
    in = in->To;
    CEL_GO();
f_ProcEnd:
    ++executed;
    CEL_ENTER(ReturnAddress() + 1);
    CEL_ATTENTION();
    CEL_GO();
f_Call: {
    const uint32_t e = CallProcedure(tape[dp], in->Folded);
    if (e == 0) {
        CEL_SPILL();
        CEL_UNCOUNT();
        return TLoopExit::Error;
    }
    ++executed;
    CEL_ENTER(e);
    CEL_ATTENTION();
    CEL_GO();
}
f_Patched:
    // The target or a breakpoint begins this record; RunLoop takes over from a hit.
    if (program.Patch[static_cast<size_t>(in - program.Ops.data())] & PatchStop) {
        CEL_SPILL();
        if (StopHit(checkTarget)) {
            CEL_UNCOUNT();  // met before it runs
            return TLoopExit::Attention;
        }
    }
f_unchecked: {
    // Its stops are asked; what a patch runs below would go past the handlers' tests.
    if constexpr (Watched) {
        if (CEL_WATCHED()) goto f_watchSeen;
    }
    const uint8_t patch = program.Patch[static_cast<size_t>(in - program.Ops.data())];
    if (patch & PatchStepFolded) {
        CEL_SPILL();
        CEL_UNCOUNT();  // the steps count the folded records
        if (StepToEntry(program, checkTarget, Watched)) return TLoopExit::Attention;
        dp = DataPtr;
        executed = Executed.load(std::memory_order_relaxed);
        in = program.Ops.data() + program.EntryOf[PC];
        CEL_GO();
    }
    if (patch & PatchPreOnly) {
        CEL_PRE();
        in += in->Code == fastLinear || in->Code == fastLinearWalk ? in->Off + 1 : 1;
        CEL_GO();
    }
    if (patch & PatchStepped) {
        switch (in->Code) {
        case fastLinear:
        case fastLinearWalk:
            CEL_UNCOUNT();
            in += in->Off + 1;
            CEL_GO();
        case fastScanRight:
        case fastScanLeft:
            CEL_UNCOUNT();
            ++in;
            CEL_GO();
        case fastMemoOpen:
            goto f_Open;
        case fastMemoClose:
            goto f_Close;
        default:
            break;
        }
    }
    if (!Profile && (patch & PatchUnwalk)) goto f_Linear;
    goto* CEL_OWN(*in);
}
f_checked:
    CEL_CHECK();
    if (in->Code == fastOpen) goto f_Open;
    goto f_Close;
f_preOnly:
    CEL_PRE();
    in += in->Code == fastLinear || in->Code == fastLinearWalk ? in->Off + 1 : 1;
    CEL_GO();
f_watch:
    // The record's reach holds a watched cell; its stops first, as f_Patched would ask them.
    if (program.Patch[static_cast<size_t>(in - ops)] & PatchStop) {
        CEL_SPILL();
        if (StopHit(checkTarget)) return TLoopExit::Attention;
    }
f_watchSeen: {
    const size_t k = static_cast<size_t>(in - ops);
    if (program.Shape[k] & ShapeHead) {
        CEL_SPILL();
        if (StepToEntry(program, checkTarget, true)) return TLoopExit::Attention;
        dp = DataPtr;
        executed = Executed.load(std::memory_order_relaxed);
        in = ops + program.EntryOf[PC];
        CEL_GO();
    }
    // A copy that makes a move first: the move (the run's first record covered it), then its
    // own record, asked in turn.
    if (in->Next == 2) goto f_preOnly;
    switch (in->Code) {
    case fastLinear:
    case fastLinearWalk:
        in += in->Off + 1;
        CEL_GO();
    case fastMemoOpen:
    case fastMemoClose:
        // Pass by pass: a snapshot taken before is of no pass seen whole.
        program.Memos[in->Off].Valid = false;
        if (in->Code == fastMemoClose) goto f_Close;
        if (tape[dp] != 0) goto f_Open;
        goto f_MemoOpenRun;  // passed over: it changes nothing
    case fastInput:
        if (WatchKind[dp] & WatchChange) {
            CEL_SPILL();
            return TLoopExit::Attention;  // RunLoop single-steps it
        }
        goto f_InputRun;
    default: goto* dispatch[in->Code];  // no record with a reach of its own comes here
    }
}
f_native: {
    // Native code runs on from here up to a record it leaves to this loop, or to an attention
    // check that is due.
    TNativeFrame frame;
    frame.Tape = tape;
    frame.Executed = executed;
    frame.AttentionAt = &AttentionAt;
    frame.Shown = &Executed;
    frame.DataPtr = dp;
    frame.Record = static_cast<uint32_t>(in - program.Ops.data());
    frame.WatchSums = sums;
    frame.Engine = this;
    const TNativeExit exit = (Watched ? program.NativeWatched : program.Native)->Run(frame);
    dp = frame.DataPtr;
    executed = frame.Executed;
    in = program.Ops.data() + frame.Record;
    if (exit == TNativeExit::Attention) goto f_attention;
    if (exit == TNativeExit::Error) {
        CEL_SPILL();
        return TLoopExit::Error;
    }
    // Watched code also leaves at a record of its own whose reach holds a watched cell: its
    // handler as the watched loop threads it tests that reach again.
    goto* CEL_OWN(*in);
}
f_End:
    CEL_SPILL();
    return TLoopExit::End;
f_attention:
    CEL_SPILL();
    return TLoopExit::Attention;

#undef CEL_ATTENTION
#undef CEL_UNCOUNT
#undef CEL_CHECK
#undef CEL_WATCHED
#undef CEL_OWN
#undef CEL_PAST
#undef CEL_PRE
#undef CEL_ENTER
#undef CEL_NEXT
#undef CEL_GO
#undef CEL_SPILL
}
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

}  // namespace cel
