// Loops done at once from what they did before. A loop with no input, output or procedure
// command inside does the same whenever it is entered on the same cells: the same passes, the
// same count, the same cells left behind. So native code hands such a loop's entry to
// LoopMemoEnter, which keeps, for each entry it has seen twice, the cells the run of the loop
// used (a window round the loop's cell), what it left in them, its move and its count; an entry
// that finds the cells of a kept run skips the loop and takes the run's result.
//
// A run is found by tracing the loop once on a copy of the cells round its entry (TLoopTracer):
// FoldedList as it is, its inner loops taken from their own kept runs where these hold. A trace
// that goes further than LoopMemoReach cells from the entry or longer than LoopMemoSteps steps is
// given up, and the loop runs in native code. Loops whose entries rarely repeat are handed off no
// more (TLoopMemo::Off), so the try costs little where it finds nothing. Standard library only.
#pragma once

#include "cel_Operations.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <vector>

namespace cel {

// A trace stays within this many cells either side of the loop's entry.
constexpr int LoopMemoReach = 64;
constexpr int LoopMemoSpan = 2 * LoopMemoReach + 1;
// The steps a trace may take (an operation of FoldedList, an inner loop done at once).
constexpr int64_t LoopMemoSteps = int64_t{1} << 16;
// Inner loops deeper than this in one trace run as they are, not from kept runs.
constexpr int LoopMemoDepth = 48;
// The kept runs of one loop, at most, and the cells of all loops' kept runs (8 MB).
constexpr uint32_t LoopMemoRuns = 1024;
constexpr size_t LoopMemoCells = size_t{1} << 22;
// A run worth keeping takes at least this many steps to trace: shorter loops run faster in
// native code than they are looked up.
constexpr uint32_t LoopMemoWork = 1024;
// Traces may cost this many steps beyond twice what kept runs saved native code, a loop's and all
// loops' together; past that, the loop is traced no more (its kept runs still serve).
constexpr uint64_t LoopMemoSpare = uint64_t{1} << 13;
constexpr uint64_t LoopMemoSpareAll = uint64_t{1} << 15;
// A loop is traced from this entry on: most loops entered a few times are entered only a few
// times.
constexpr uint32_t LoopMemoFirstTrace = 2;
// LoopMemoEnter's answer when the loop is left to native code.
constexpr uint32_t LoopMemoMissed = UINT32_MAX;

// A kept run: its key's hash, its count past the loop's [ (its ] included), the pointer's move
// and the steps it took to trace (what a hit saves, roughly).
struct TLoopRun {
    uint64_t Hash = 0;
    uint64_t Cost = 0;
    int32_t Move = 0;
    uint32_t Work = 0;
};

struct TLoopMemo {
    uint32_t Start = 0;  // FoldedList index of its [
    uint32_t End = 0;    // and of its ]
    // Read by native code: nonzero once entries are not handed to LoopMemoEnter any more.
    uint8_t Off = 0;
    bool Tracing = true;
    // A loop whose body is a balanced run of moves and changes whose counter changes by 1 or -1
    // a pass: traces do it at once (Step, the change; 0 for other loops), PassCost its commands
    // a pass with its ], its other cells' changes Terms[TermsAt, TermsAt + TermCount).
    int8_t Step = 0;
    uint32_t TermsAt = 0;
    uint32_t TermCount = 0;
    uint64_t PassCost = 0;
    // The window of the kept runs, cells Lo to Hi from the loop's cell; run r's key is Cells from
    // 2 r span, its result the span after (span = Hi - Lo + 1).
    int32_t Lo = 0;
    int32_t Hi = -1;
    std::vector<uint16_t> Cells;
    std::vector<TLoopRun> Runs;
    std::vector<uint32_t> Slots;  // open addressing: run index + 1, 0 empty
    std::vector<uint64_t> Seen;   // hashes of keys met once (direct mapped)
    uint32_t Calls = 0, Hits = 0, Traces = 0, Fails = 0, Cheap = 0, Skip = 0;
    uint64_t Spent = 0;  // steps its traces took
    uint64_t Saved = 0;  // steps its kept runs saved (their Work, at each hit)
};

// TLoopMemos::Code's Origin of an instruction that begins no loop kept there.
constexpr uint32_t LoopMemoNone = UINT32_MAX;

struct TLoopMemos {
    // FoldedList, each [ with the index of its loop's TLoopMemo in Origin (or LoopMemoNone).
    std::vector<TInstruction> Code;
    std::vector<TLoopMemo> Loops;
    std::vector<std::pair<int32_t, int32_t>> Terms;  // offset, change a pass
    uint64_t Spent = 0;  // all loops' together
    uint64_t Saved = 0;
    size_t Cells = 0;    // the cells of all kept runs
};

// The loops of folded's first count records that may be done at once, for cells of cellBits
// bits. Linear in the program's length.
TLoopMemos BuildLoopMemos(const std::vector<TInstruction>& folded, uint32_t count, unsigned cellBits);

// The hash of a key: span cells (or kept cells) from cells.
template <typename Cell>
inline uint64_t LoopKeyHash(const Cell* cells, int32_t span) {
    uint64_t h = 0x243F6A8885A308D3ull ^ static_cast<uint64_t>(span);
    for (int32_t i = 0; i < span; ++i) {
        h = (h + cells[i] + 1) * 0x9E3779B97F4A7C15ull;
        h ^= h >> 29;
    }
    return h;
}

// The kept run of memo whose key the span cells at cells hold, or -1.
template <typename Cell>
int32_t FindLoopRun(const TLoopMemo& memo, const Cell* cells, uint64_t hash) {
    if (memo.Slots.empty()) return -1;
    const int32_t span = memo.Hi - memo.Lo + 1;
    const size_t mask = memo.Slots.size() - 1;
    for (size_t s = hash & mask;; s = (s + 1) & mask) {
        const uint32_t r = memo.Slots[s];
        if (r == 0) return -1;
        if (memo.Runs[r - 1].Hash != hash) continue;
        const uint16_t* key = memo.Cells.data() + size_t{r - 1} * 2 * static_cast<size_t>(span);
        bool same = true;
        for (int32_t i = 0; i < span && same; ++i) same = key[i] == cells[i];
        if (same) return static_cast<int32_t>(r - 1);
    }
}

// Whether a key with this hash was met before; notes it either way.
inline bool LoopKeySeen(TLoopMemo& memo, uint64_t hash) {
    if (memo.Seen.empty()) memo.Seen.assign(256, 0);
    uint64_t& slot = memo.Seen[(hash >> 7) & 255];
    const bool seen = slot == (hash | 1);
    slot = hash | 1;
    return seen;
}

// Keeps a run of memo traced from an entry, its window lo..hi from the entry: key and result,
// each the cells from lo, are read at keyAt and resultAt; avail tells which window round the
// entry the caller can read (availLo..availHi). The window of kept runs grows to hold a wider
// run; where it cannot, the kept runs make way for the new window.
template <typename Cell>
void KeepLoopRun(TLoopMemos& memos, TLoopMemo& memo, int32_t lo, int32_t hi, int32_t availLo, int32_t availHi,
                 const Cell* keyAt, const Cell* resultAt, int32_t move, uint64_t cost, uint32_t work) {
    if (memo.Runs.size() >= LoopMemoRuns || memos.Cells >= LoopMemoCells) {
        memo.Tracing = false;
        return;
    }
    int32_t wlo = lo, whi = hi;
    if (!memo.Runs.empty()) {
        wlo = std::min(lo, memo.Lo);
        whi = std::max(hi, memo.Hi);
        if (wlo < availLo || whi > availHi) {
            wlo = lo;
            whi = hi;
        }
    }
    if (memo.Runs.empty() || wlo != memo.Lo || whi != memo.Hi) {
        memos.Cells -= memo.Cells.size();
        memo.Runs.clear();
        memo.Cells.clear();
        memo.Slots.clear();
        memo.Seen.clear();
        memo.Lo = wlo;
        memo.Hi = whi;
    }
    const int32_t span = whi - wlo + 1;
    const Cell* key = keyAt + (wlo - lo);
    const Cell* result = resultAt + (wlo - lo);
    const uint64_t hash = LoopKeyHash(key, span);
    if (FindLoopRun(memo, key, hash) >= 0) return;
    memo.Cells.insert(memo.Cells.end(), key, key + span);
    memo.Cells.insert(memo.Cells.end(), result, result + span);
    memos.Cells += 2 * static_cast<size_t>(span);
    memo.Runs.push_back({hash, cost, move, work});
    if (memo.Slots.size() < 2 * memo.Runs.size()) {
        memo.Slots.assign(std::max<size_t>(16, 2 * memo.Slots.size()), 0);  // a power of two
        for (size_t r = 0; r + 1 < memo.Runs.size(); ++r) {
            const size_t mask = memo.Slots.size() - 1;
            size_t s = memo.Runs[r].Hash & mask;
            while (memo.Slots[s] != 0) s = (s + 1) & mask;
            memo.Slots[s] = static_cast<uint32_t>(r + 1);
        }
    }
    const size_t mask = memo.Slots.size() - 1;
    size_t s = hash & mask;
    while (memo.Slots[s] != 0) s = (s + 1) & mask;
    memo.Slots[s] = static_cast<uint32_t>(memo.Runs.size());
}

// Runs loops of a TLoopMemos on Buf, a copy of the cells round an entry.
template <typename Cell>
class TLoopTracer {
public:
    explicit TLoopTracer(TLoopMemos& memos) : Memos(memos) {}

    Cell Buf[LoopMemoSpan];
    int64_t Steps = LoopMemoSteps;
    uint64_t Work = 0;  // the steps it stands for, kept runs counted at what their traces took

    // Runs loop m entered at Buf[p], which is not 0 (its [ counted by the caller), to its end:
    // false when it leaves the window or the steps run out. Adds its commands to cost, and
    // widens lo..hi over the cells it reads or writes; p ends where the loop does.
    bool Run(uint32_t m, int& p, uint64_t& cost, int& lo, int& hi, int depth) {
        const TLoopMemo& memo = Memos.Loops[m];
        if (memo.Step != 0) return Linear(memo, p, cost, lo, hi);
        const TInstruction* code = Memos.Code.data();
        uint32_t pc = memo.Start + 1;
        for (;;) {
            if (--Steps < 0) return false;
            ++Work;
            const TInstruction& in = code[pc];
            switch (in.Op) {
            case opRight:
            case opRightN: {
                const uint32_t n = in.Op == opRight ? 1 : in.Arg;
                if (n >= LoopMemoSpan || p + static_cast<int>(n) >= LoopMemoSpan) return false;
                p += static_cast<int>(n);
                cost += n;
                ++pc;
                break;
            }
            case opLeft:
            case opLeftN: {
                const uint32_t n = in.Op == opLeft ? 1 : in.Arg;
                if (n >= LoopMemoSpan || p < static_cast<int>(n)) return false;
                p -= static_cast<int>(n);
                cost += n;
                ++pc;
                break;
            }
            case opInc:
            case opIncN:
            case opDec:
            case opDecN: {
                const uint32_t n = (in.Op == opInc || in.Op == opDec) ? 1 : in.Arg;
                const bool up = in.Op == opInc || in.Op == opIncN;
                Buf[p] = static_cast<Cell>(up ? Buf[p] + n : Buf[p] - n);
                Touch(p, lo, hi);
                cost += n;
                ++pc;
                break;
            }
            case opClearDec:
            case opClearInc: {
                const uint32_t v = Buf[p];
                constexpr uint64_t values = uint64_t{1} << (8 * sizeof(Cell));
                cost += 1 + (in.Op == opClearDec ? 2ull * v : (v == 0 ? 0 : 2ull * (values - v)));
                Buf[p] = 0;
                Touch(p, lo, hi);
                ++pc;
                break;
            }
            case opLoopStart: {
                ++cost;
                Touch(p, lo, hi);
                if (Buf[p] == 0) {
                    pc = in.Arg + 1;
                    break;
                }
                const uint32_t inner = in.Origin;
                if (inner != LoopMemoNone && depth < LoopMemoDepth) {
                    if (!Inner(inner, p, cost, lo, hi, depth + 1)) return false;
                    pc = in.Arg + 1;
                    break;
                }
                ++pc;
                break;
            }
            case opLoopEnd:
                ++cost;
                Touch(p, lo, hi);
                if (Buf[p] != 0) {
                    pc = in.Arg + 1;
                } else if (pc == memo.End) {
                    return true;
                } else {
                    ++pc;
                }
                break;
            default:
                return false;  // nothing else is inside such a loop
            }
        }
    }

private:
    static void Touch(int p, int& lo, int& hi) {
        lo = std::min(lo, p);
        hi = std::max(hi, p);
    }

    // A balanced loop whose counter steps by 1 or -1, all its passes at once.
    bool Linear(const TLoopMemo& memo, int p, uint64_t& cost, int& lo, int& hi) {
        if (--Steps < 0) return false;
        constexpr uint64_t values = uint64_t{1} << (8 * sizeof(Cell));
        const uint32_t v = Buf[p];
        const uint64_t n = memo.Step < 0 ? v : values - v;
        for (uint32_t t = memo.TermsAt; t < memo.TermsAt + memo.TermCount; ++t) {
            const int q = p + Memos.Terms[t].first;
            if (q < 0 || q >= LoopMemoSpan) return false;
            Buf[q] = static_cast<Cell>(Buf[q] + n * static_cast<uint64_t>(static_cast<int64_t>(Memos.Terms[t].second)));
            Touch(q, lo, hi);
        }
        Buf[p] = 0;
        Touch(p, lo, hi);
        cost += n * memo.PassCost;
        Work += 1 + memo.TermCount;
        return true;
    }

    // An inner loop entered at Buf[p] (not 0): from a kept run where one holds, else traced and
    // kept when worth it.
    bool Inner(uint32_t m, int& p, uint64_t& cost, int& lo, int& hi, int depth) {
        TLoopMemo& memo = Memos.Loops[m];
        if (!memo.Runs.empty() && p + memo.Lo >= 0 && p + memo.Hi < LoopMemoSpan) {
            const int32_t span = memo.Hi - memo.Lo + 1;
            const Cell* at = Buf + p + memo.Lo;
            const int32_t r = FindLoopRun(memo, at, LoopKeyHash(at, span));
            Steps -= span / 16;
            if (r >= 0) {
                const TLoopRun& run = memo.Runs[static_cast<size_t>(r)];
                const uint16_t* result = memo.Cells.data() + (2 * static_cast<size_t>(r) + 1) * static_cast<size_t>(span);
                for (int32_t i = 0; i < span; ++i) Buf[p + memo.Lo + i] = static_cast<Cell>(result[i]);
                Touch(p + memo.Lo, lo, hi);
                Touch(p + memo.Hi, lo, hi);
                const int q = p + run.Move;
                if (q < 0 || q >= LoopMemoSpan) return false;
                p = q;
                cost += run.Cost;
                Work += run.Work;
                return true;
            }
        }
        if (memo.Step != 0 || !memo.Tracing) return Run(m, p, cost, lo, hi, depth);
        Cell before[LoopMemoSpan];
        std::memcpy(before, Buf, sizeof Buf);
        const int from = p;
        int innerLo = p, innerHi = p;
        uint64_t innerCost = 0;
        const uint64_t work = Work;
        if (!Run(m, p, innerCost, innerLo, innerHi, depth)) return false;
        cost += innerCost;
        lo = std::min(lo, innerLo);
        hi = std::max(hi, innerHi);
        if (Work - work >= LoopMemoWork) {
            KeepLoopRun(Memos, memo, innerLo - from, innerHi - from, -from, LoopMemoSpan - 1 - from, before + innerLo,
                        Buf + innerLo, p - from, innerCost, static_cast<uint32_t>(std::min<uint64_t>(Work - work, UINT32_MAX)));
        }
        return true;
    }

    TLoopMemos& Memos;
};

// Judges a loop by its calls so far: one traced for more than its kept runs saved is traced no
// more, and one whose calls save less than they cost is left to native code from now on.
// The steps traces of the loop may still take.
inline uint64_t LoopMemoSpareLeft(const TLoopMemos& memos, const TLoopMemo& memo) {
    const uint64_t mine = LoopMemoSpare + memo.Saved / 8, all = LoopMemoSpareAll + memos.Saved / 8;
    return std::min(mine - std::min(mine, memo.Spent), all - std::min(all, memos.Spent));
}

inline void JudgeLoopMemo(TLoopMemos& memos, TLoopMemo& memo) {
    if (LoopMemoSpareLeft(memos, memo) < LoopMemoWork) memo.Tracing = false;
    if (!memo.Tracing && memo.Runs.empty()) memo.Off = 1;
    if (memo.Calls >= 256 && memo.Saved < 64 * uint64_t{memo.Calls}) memo.Off = 1;
    if (memo.Cheap >= 8 && memo.Runs.empty()) memo.Off = 1;
}

// Native code's entry to loop m at dp on a tape of mask + 1 cells laid twice in a row, its cell
// not 0 and its [ counted in *executed: the loop done at once from a kept run or a trace, the
// count raised by it and the new data pointer returned, or LoopMemoMissed, with nothing changed,
// when native code is to run it. A run that would take the count past *attention is not
// applied (the engine stops exactly there, or looks at its requests).
template <typename Cell>
uint32_t LoopMemoEnter(TLoopMemos& memos, uint32_t m, Cell* tape, uint32_t mask, uint32_t dp, uint64_t* executed,
                       const std::atomic<uint64_t>* attention) {
    TLoopMemo& memo = memos.Loops[m];
    ++memo.Calls;
    const uint64_t now = *executed;
    const uint64_t limit = attention->load(std::memory_order_relaxed);
    uint64_t hash = 0;
    const bool known = memo.Hi >= memo.Lo;
    if (known) {
        const int32_t span = memo.Hi - memo.Lo + 1;
        Cell* at = tape + ((dp + static_cast<uint32_t>(memo.Lo)) & mask);
        hash = LoopKeyHash(at, span);
        const int32_t r = FindLoopRun(memo, at, hash);
        if (r >= 0) {
            const TLoopRun& run = memo.Runs[static_cast<size_t>(r)];
            if (run.Cost > limit - std::min(limit, now)) return LoopMemoMissed;
            const uint16_t* result = memo.Cells.data() + (2 * static_cast<size_t>(r) + 1) * static_cast<size_t>(span);
            for (int32_t i = 0; i < span; ++i) at[i] = static_cast<Cell>(result[i]);
            ++memo.Hits;
            memo.Saved += run.Work;
            memos.Saved += run.Work;
            *executed = now + run.Cost;
            return (dp + static_cast<uint32_t>(run.Move)) & mask;
        }
    }
    // No trace takes more than the steps left to spend, and too few steps for a run worth
    // keeping are not spent.
    const auto steps = static_cast<int64_t>(std::min<uint64_t>(LoopMemoSpareLeft(memos, memo), LoopMemoSteps));
    if (memo.Calls < LoopMemoFirstTrace || !memo.Tracing || now >= limit || steps < int64_t{LoopMemoWork} ||
        (memo.Skip > 0 && memo.Skip-- > 0) || (known && !LoopKeySeen(memo, hash))) {
        JudgeLoopMemo(memos, memo);
        return LoopMemoMissed;
    }
    ++memo.Traces;
    TLoopTracer<Cell> tracer(memos);
    tracer.Steps = steps;
    const uint32_t from = (dp - LoopMemoReach) & mask;
    std::memcpy(tracer.Buf, tape + from, sizeof tracer.Buf);
    int p = LoopMemoReach, lo = p, hi = p;
    uint64_t cost = 0;
    const bool done = tracer.Run(m, p, cost, lo, hi, 0);
    const uint64_t spent = static_cast<uint64_t>(steps - std::max<int64_t>(tracer.Steps, 0));
    memo.Spent += spent;
    memos.Spent += spent;
    if (!done) {
        ++memo.Fails;
        memo.Skip = 1u << std::min(4 * memo.Fails, 24u);
        if (memo.Fails >= 3) memo.Tracing = false;
        JudgeLoopMemo(memos, memo);
        return LoopMemoMissed;
    }
    if (tracer.Work < LoopMemoWork) ++memo.Cheap;
    JudgeLoopMemo(memos, memo);
    if (tracer.Work >= LoopMemoWork) {
        KeepLoopRun(memos, memo, lo - LoopMemoReach, hi - LoopMemoReach, -LoopMemoReach, LoopMemoReach, tape + from + lo,
                    tracer.Buf + lo, p - LoopMemoReach, cost, static_cast<uint32_t>(std::min<uint64_t>(tracer.Work, UINT32_MAX)));
    }
    if (cost > limit - now) return LoopMemoMissed;
    std::memcpy(tape + from + lo, tracer.Buf + lo, sizeof(Cell) * static_cast<size_t>(hi - lo + 1));
    *executed = now + cost;
    return (dp + static_cast<uint32_t>(p - LoopMemoReach)) & mask;
}

}  // namespace cel
