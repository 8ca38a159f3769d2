#include "cel_FastProgram.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <new>
#include <utility>

namespace cel {

namespace {

constexpr uint32_t TapeMask = 32768 - 1;

// A straight-line record: it moves the pointer or changes or clears cells, with no jump.
bool IsStraight(TOpCode op) {
    switch (op) {
    case opRight: case opLeft: case opInc: case opDec:
    case opRightN: case opLeftN: case opIncN: case opDecN:
    case opClearDec: case opClearInc:
        return true;
    default:
        return false;
    }
}

// The commands a folded record stands for when it runs straight through (a clear loop: its '['
// only, the rest depends on the cell).
uint32_t CommandsOf(const TInstruction& rec) {
    return Operation(rec.Op).Arg == TOpArg::Count ? rec.Arg : 1;
}

// The pointer move of a move record, modulo the tape size (0 for others).
uint32_t MoveOf(const TInstruction& rec) {
    switch (rec.Op) {
    case opRight: return 1;
    case opLeft: return TapeMask;
    case opRightN: return rec.Arg & TapeMask;
    case opLeftN: return (0u - rec.Arg) & TapeMask;
    default: return 0;
    }
}

// The change of a change record.
int64_t ChangeOf(const TInstruction& rec) {
    switch (rec.Op) {
    case opInc: return 1;
    case opDec: return -1;
    case opIncN: return rec.Arg;
    case opDecN: return -static_cast<int64_t>(rec.Arg);
    default: return 0;
    }
}

// Offsets of the tape mapped to small indices (-1: none); Clear forgets only what was set.
// The table comes in pages made at their first offset: a straight run's offsets lie close
// together, so a build touches few of them, and a short program's build makes no large block
// (which would cost a mapping and its release at the process's exit).
class TOffsetIndex {
public:
    int32_t Find(uint32_t off) const {
        const int32_t* page = Pages[off >> PageBits].get();
        return page == nullptr ? -1 : page[off & PageMask] - 1;
    }
    void Set(uint32_t off, int32_t index) {
        std::unique_ptr<int32_t[]>& page = Pages[off >> PageBits];
        if (page == nullptr) page = std::make_unique<int32_t[]>(PageMask + 1);  // zeros
        int32_t& slot = page[off & PageMask];
        if (slot == 0) Used.push_back(off);
        slot = index + 1;  // the index plus one, so that a new page is zeros
    }
    void Clear() {
        for (const uint32_t off : Used) Pages[off >> PageBits][off & PageMask] = 0;
        Used.clear();
    }

private:
    static constexpr unsigned PageBits = 8;
    static constexpr uint32_t PageMask = (1u << PageBits) - 1;
    static_assert(((TapeMask + 1) & PageMask) == 0, "whole pages cover the tape");
    std::array<std::unique_ptr<int32_t[]>, ((TapeMask + 1) >> PageBits)> Pages{};
    std::vector<uint32_t> Used;
};

// The builder's offset indexes, one pair a thread and kept: a table the tape's size costs more to
// get afresh than the build of a short program. Every use of one begins with Clear.
struct TOffsetIndexes {
    TOffsetIndex Pending;
    TOffsetIndex Cells;
};
TOffsetIndexes& ThreadOffsetIndexes() {
    thread_local TOffsetIndexes indexes;
    return indexes;
}

// Builds the fast form without stops. Every record is compiled once and every loop looks at no
// more of its body than its own kind needs (a scan or a closed form its straight body, a memo loop
// until it fails), so the build is linear in the program's length, whatever its nesting.
class TBuilder {
public:
    TBuilder(const std::vector<TInstruction>& folded, uint32_t count, unsigned cellBits,
             const std::atomic<bool>* cancel)
        : F(folded), Count(count), Mask((uint64_t{1} << cellBits) - 1), Cancel(cancel) {}

    // False when Cancel was set on the way.
    bool Build(TFastProgram& program) {
        P.EntryOf.assign(Count + 1, -1);
        P.GroupOf.assign(Count, -1);
        P.MergedAt.assign(Count, -1);
        MemoAt.assign(Count, -1);
        P.Ops.reserve(Count + Count / 4 + 16);  // about one record each, a few copies
        constexpr uint32_t CheckEvery = 4096;
        uint32_t check = CheckEvery;
        uint32_t i = 0;
        while (i < Count) {
            i = Record(i);
            if (i >= check) {
                if (Cancel != nullptr && Cancel->load(std::memory_order_relaxed)) return false;
                check = i + CheckEvery;
            }
        }
        Begin(Count, fastEnd);
        // Jumps were noted as FoldedList records; now that every record has its place they
        // become indices into the fast form.
        for (TFastOp& op : P.Ops)
            if (FastOperation(op.Code).Jump == TFastArg::Target && (op.Jump & Unresolved))
                op.Jump = static_cast<uint32_t>(P.EntryOf[op.Jump & ~Unresolved]);
        program = std::move(P);
        return true;
    }

private:
    static constexpr uint32_t Unresolved = 0x80000000u;

    // Appends a record beginning at folded record f; the first one there is where the run
    // enters f.
    TFastOp& Begin(uint32_t f, TFastCode code) {
        if (P.EntryOf[f] < 0) P.EntryOf[f] = static_cast<int32_t>(P.Ops.size());
        TFastOp op;
        op.Code = code;
        op.Folded = f;
        P.Ops.push_back(op);
        return P.Ops.back();
    }

    // Compiles what begins at folded record i; returns the record after it.
    uint32_t Record(uint32_t i) {
        const TInstruction& rec = F[i];
        if (IsStraight(rec.Op)) return Straight(i);
        switch (rec.Op) {
        case opLoopStart:
            Loop(i);
            return i + 1;
        case opLoopEnd: {
            const size_t g = P.Ops.size();
            TFastOp& op = Begin(i, MemoAt[i] < 0 ? fastClose : fastMemoClose);
            op.Off = static_cast<uint32_t>(std::max(MemoAt[i], 0));
            op.Exec = 1;
            op.Jump = Unresolved | (rec.Arg + 1);
            MergeMove(g, i);
            return i + 1;
        }
        case opOutput: Begin(i, fastOutput).Exec = 1; return i + 1;
        case opInput: Begin(i, fastInput).Exec = 1; return i + 1;
        case opProcStart: {
            TFastOp& op = Begin(i, fastProcStart);
            op.Exec = 1;
            op.Jump = Unresolved | (rec.Arg + 1);
            return i + 1;
        }
        case opProcEnd: Begin(i, fastProcEnd).Exec = 1; return i + 1;
        case opCall: Begin(i, fastCall).Exec = 1; return i + 1;
        default: Begin(i, fastAdd).Exec = 1; return i + 1;  // a record that does nothing
        }
    }

    // A straight run from record i up to the next other record: the changes at their offsets
    // (a clear loop's cell brought up to date first), then one move.
    uint32_t Straight(uint32_t i) {
        const uint32_t start = i;
        uint32_t offset = 0;
        uint32_t exec = 0;
        const size_t first = P.Ops.size();
        // Changes not yet written, by offset: their index in pending, or none.
        Pending.Clear();
        std::vector<std::pair<uint32_t, int64_t>>& pending = PendingList;
        pending.clear();
        auto flush = [&](uint32_t off) {
            const int32_t k = Pending.Find(off);
            if (k < 0 || pending[static_cast<size_t>(k)].first == UINT32_MAX) return;
            TFastOp& op = Begin(start, fastAdd);
            op.Off = off;
            op.Delta = static_cast<int32_t>(pending[static_cast<size_t>(k)].second & 0xFFFF);
            pending[static_cast<size_t>(k)] = {UINT32_MAX, 0};  // written
            Pending.Set(off, -1);
        };
        for (; i < Count && IsStraight(F[i].Op); ++i) {
            const TInstruction& rec = F[i];
            if (i != start) P.GroupOf[i] = static_cast<int32_t>(first);
            exec += CommandsOf(rec);
            if (rec.Op == opClearDec || rec.Op == opClearInc) {
                flush(offset);
                TFastOp& op = Begin(start, rec.Op == opClearDec ? fastClear : fastClearUp);
                op.Off = offset;
            } else if (const uint32_t move = MoveOf(rec)) {
                offset = (offset + move) & TapeMask;
            } else {
                const int32_t k = Pending.Find(offset);
                if (k < 0) {
                    Pending.Set(offset, static_cast<int32_t>(pending.size()));
                    pending.emplace_back(offset, ChangeOf(rec));
                } else {
                    pending[static_cast<size_t>(k)].second += ChangeOf(rec);
                }
            }
        }
        std::sort(pending.begin(), pending.end());
        for (const auto& [off, delta] : pending) {
            if (off == UINT32_MAX || (delta & 0xFFFF) == 0) continue;
            TFastOp& op = Begin(start, fastAdd);
            op.Off = off;
            op.Delta = static_cast<int32_t>(delta & 0xFFFF);
        }
        if (offset != 0 || P.Ops.size() == first) {
            Begin(start, fastMove).Off = offset;
            LastMove = P.Ops.size() - 1;
            LastMoveEnd = i;
        }
        P.Ops[first].Exec = exec;
        return i;
    }

    // The records of folded record i were just appended from index g on. When the record
    // before them is the closing Move of the straight run that ends at i, a copy of them that
    // makes that move first takes the Move's place: a pass through here costs one dispatch
    // less. The records themselves stay for runs that enter at i (a jump, a return, a resume);
    // a single copied record goes on past them (Next).
    void MergeMove(size_t g, uint32_t i) {
        if (g == 0 || LastMove != g - 1 || LastMoveEnd != i) return;
        std::vector<TFastOp> copy(P.Ops.begin() + static_cast<std::ptrdiff_t>(g), P.Ops.end());
        const TFastOp move = P.Ops[g - 1];
        copy[0].Pre = move.Off;
        copy[0].PreExec = move.Exec;
        copy[0].Folded = move.Folded;
        copy[0].Next = 2;
        P.Ops[g - 1] = copy[0];
        P.Ops.insert(P.Ops.begin() + static_cast<std::ptrdiff_t>(g), copy.begin() + 1, copy.end());
        P.EntryOf[i] += static_cast<int32_t>(copy.size() - 1);
        P.MergedAt[i] = static_cast<int32_t>(g - 1);
        LastMove = SIZE_MAX;
    }

    // A loop from record i to its partner: its closed form or its search when it has one, then
    // the form that steps it, which the closed form falls back to when the loop never ends.
    void Loop(uint32_t i) {
        const uint32_t end = F[i].Arg;
        int32_t memo = -1;
        const size_t g = P.Ops.size();
        // A stride of whole tape lengths never moves: that loop is stepped, so that its back
        // edge keeps the attention check.
        if (end == i + 2 && MoveOf(F[i + 1]) != 0) {
            const bool right = F[i + 1].Op == opRight || F[i + 1].Op == opRightN;
            TFastOp& op = Begin(i, right ? fastScanRight : fastScanLeft);
            op.Off = (right ? MoveOf(F[i + 1]) : (0u - MoveOf(F[i + 1]))) & TapeMask;
            op.Exec = CommandsOf(F[i + 1]) + 1;
            op.Jump = Unresolved | (end + 1);
            MergeMove(g, i);
        } else if (Linear(i, end)) {
            MergeMove(g, i);
        } else {
            memo = Memo(i, end);
        }
        const bool merge = P.Ops.size() == g;
        TFastOp& open = Begin(i, memo < 0 ? fastOpen : fastMemoOpen);
        open.Exec = 1;
        open.Jump = Unresolved | (end + 1);
        if (memo >= 0) {
            open.Off = static_cast<uint32_t>(memo);
            MemoAt[end] = memo;
        }
        if (merge) MergeMove(g, i);
    }

    // The closed form of a balanced loop whose body moves, adds constants and clears cells other
    // than its counter. A cell the body clears holds the same value after every pass, so only
    // the first pass's first clear of it costs what the cell held before the loop.
    bool Linear(uint32_t i, uint32_t end) {
        struct TCellEffect {
            uint32_t Off;
            int64_t Pre = 0;         // added before the first clear (or in all, without one)
            TOpCode FirstClear = opNone;
            int64_t After = 0;       // added since the last clear
            uint64_t LaterCost = 0;  // the clears after the first, at values known here
        };
        uint32_t offset = 0;
        uint32_t exec = 1;  // the ] of each pass
        std::vector<TCellEffect> cells;
        Cells.Clear();
        auto at = [&](uint32_t off) -> TCellEffect& {
            const int32_t k = Cells.Find(off);
            if (k >= 0) return cells[static_cast<size_t>(k)];
            Cells.Set(off, static_cast<int32_t>(cells.size()));
            cells.push_back(TCellEffect{off});
            return cells.back();
        };
        for (uint32_t k = i + 1; k < end; ++k) {
            const TInstruction& rec = F[k];
            if (!IsStraight(rec.Op)) return false;
            exec += CommandsOf(rec);
            if (const uint32_t move = MoveOf(rec)) {
                offset = (offset + move) & TapeMask;
            } else if (rec.Op == opClearDec || rec.Op == opClearInc) {
                if (offset == 0) return false;  // the counter itself
                TCellEffect& c = at(offset);
                if (c.FirstClear == opNone) c.FirstClear = rec.Op;
                else c.LaterCost += ClearCost(rec.Op, c.After);
                c.After = 0;
            } else {
                TCellEffect& c = at(offset);
                (c.FirstClear == opNone ? c.Pre : c.After) += ChangeOf(rec);
            }
        }
        if (offset != 0) return false;
        int64_t counter = 0;
        for (const TCellEffect& c : cells)
            if (c.Off == 0) counter = c.Pre;
        Begin(i, fastLinear);
        const size_t head = P.Ops.size() - 1;
        P.Ops[head].Delta = static_cast<int32_t>(counter & Mask);
        P.Ops[head].Exec = exec;
        P.Ops[head].Jump = Unresolved | (end + 1);
        std::sort(cells.begin(), cells.end(),
                  [](const TCellEffect& a, const TCellEffect& b) { return a.Off < b.Off; });
        for (const TCellEffect& c : cells) {
            if (c.Off == 0 || (c.FirstClear == opNone && (c.Pre & Mask) == 0)) continue;
            const TFastCode code = c.FirstClear == opNone     ? fastTerm
                                   : c.FirstClear == opClearDec ? fastTermClear
                                                                : fastTermClearUp;
            TFastOp& term = Begin(i, code);
            term.Off = c.Off;
            term.Delta = static_cast<int32_t>(c.Pre & Mask);
            term.Jump = static_cast<uint32_t>(c.After & Mask);
            term.Exec = static_cast<uint32_t>(c.LaterCost);
        }
        P.Ops[head].Off = static_cast<uint32_t>(P.Ops.size() - head - 1);  // the Terms
        return true;
    }

    // A balanced loop whose body holds only straight runs and balanced inner loops, so every
    // cell it touches has a fixed offset. The cells that inner loops touch or that are cleared
    // (its work cells) decide what a pass does; the others, the counter included, are only
    // changed by constants. Once a pass leaves the work cells as it found them, every later
    // pass repeats it, and the rest of the loop is one step (see fastMemoClose). Returns the
    // loop's index in Memos, or -1. Gives up as soon as the body fails, so that nested loops
    // do not read each other's bodies over and over.
    int32_t Memo(uint32_t i, uint32_t end) {
        constexpr size_t MaxWork = 32;  // beyond, comparing the cells costs more than it saves
        uint32_t offset = 0;
        std::vector<std::pair<uint32_t, int64_t>> top;  // changes outside inner loops
        Cells.Clear();                                   // by offset: the index in top
        std::vector<uint32_t> work;
        std::vector<uint32_t> open;  // the offset of each inner loop entered
        // False when the loop cannot be a memo loop: its counter is a work cell, or too many are.
        auto touch = [&](uint32_t off) {
            if (std::find(work.begin(), work.end(), off) == work.end()) work.push_back(off);
            return off != 0 && work.size() <= MaxWork;
        };
        for (uint32_t k = i + 1; k < end; ++k) {
            const TInstruction& rec = F[k];
            if (const uint32_t move = MoveOf(rec)) {
                offset = (offset + move) & TapeMask;
            } else if (rec.Op == opInc || rec.Op == opDec || rec.Op == opIncN || rec.Op == opDecN) {
                if (!open.empty()) {
                    if (!touch(offset)) return -1;
                    continue;
                }
                const int32_t t = Cells.Find(offset);
                if (t < 0) {
                    Cells.Set(offset, static_cast<int32_t>(top.size()));
                    top.emplace_back(offset, ChangeOf(rec));
                } else {
                    top[static_cast<size_t>(t)].second += ChangeOf(rec);
                }
            } else if (rec.Op == opClearDec || rec.Op == opClearInc) {
                if (!touch(offset)) return -1;
            } else if (rec.Op == opLoopStart) {
                if (!touch(offset)) return -1;
                open.push_back(offset);
            } else if (rec.Op == opLoopEnd) {
                if (open.back() != offset) return -1;  // an inner loop that moves
                open.pop_back();
            } else {
                return -1;  // input, output or procedures
            }
        }
        if (offset != 0) return -1;
        TMemoLoop memo;
        std::sort(work.begin(), work.end());
        memo.Work = work;
        for (const auto& [off, delta] : top) {
            if (off == 0) memo.Counter = static_cast<int32_t>(delta & Mask);
            else if ((delta & Mask) != 0 && std::find(work.begin(), work.end(), off) == work.end())
                memo.Constant.emplace_back(off, static_cast<int32_t>(delta & Mask));
        }
        memo.Snapshot.resize(work.size());
        P.Memos.push_back(std::move(memo));
        return static_cast<int32_t>(P.Memos.size() - 1);
    }

    // What a clear loop costs beyond its '[' over a cell holding value.
    uint64_t ClearCost(TOpCode op, int64_t value) const {
        const uint64_t v = static_cast<uint64_t>(value) & Mask;
        if (op == opClearDec) return 2 * v;
        return v == 0 ? 0 : 2 * (Mask + 1 - v);
    }

    const std::vector<TInstruction>& F;
    const uint32_t Count;
    const uint64_t Mask;              // the largest cell value
    const std::atomic<bool>* const Cancel;
    std::vector<int32_t> MemoAt;      // by FoldedList record: the Memos index of a loop's ]
    size_t LastMove = SIZE_MAX;       // the closing Move of the last straight run, if any
    uint32_t LastMoveEnd = 0;         // the record after that run
    TOffsetIndex& Pending = ThreadOffsetIndexes().Pending;  // Straight's changes by offset
    std::vector<std::pair<uint32_t, int64_t>> PendingList;
    TOffsetIndex& Cells = ThreadOffsetIndexes().Cells;      // Linear's and Memo's cells by offset
    TFastProgram P;
};

// True when the loop beginning at folded record l has a record that runs more than one pass of
// it or of a loop inside it at once, which a stop inside it must turn off.
bool RunsPassesAtOnce(const TFastProgram& program, uint32_t l) {
    if (FastOperation(program.Ops[static_cast<size_t>(program.EntryOf[l])].Code).Has(fastprop::RunsPasses))
        return true;
    const int32_t w = program.EntryOf[l + 1];
    return w >= 0 && program.Ops[static_cast<size_t>(w)].Code == fastLinearWalk;
}

// The bound of TFastProgram::UncheckedBound. Every way the run goes round passes a check
// (RepeatsReachAttention), so between two checks it passes each record at most once: the sum
// of what each record can run is a bound. Records run pass by pass for a stop only split that
// work with more checks. Generous where exactness would cost: an exact stop far beyond the bound
// needs no snapshot, and a near one is served as without it.
uint64_t UncheckedWork(const TFastProgram& program, unsigned cellBits) {
    const uint64_t values = uint64_t{1} << cellBits;
    const uint64_t clear = 2 * values;  // a clear loop at most
    uint64_t sum = 0;
    auto add = [&sum](uint64_t work) { sum = work > UINT64_MAX - sum ? UINT64_MAX : sum + work; };
    auto times = [](uint64_t a, uint64_t b) { return b != 0 && a > UINT64_MAX / b ? UINT64_MAX : a * b; };
    for (size_t i = 0; i < program.Ops.size(); ++i) {
        const TFastOp& op = program.Ops[i];
        const uint64_t own = uint64_t{op.Exec} + op.PreExec + 2;
        switch (op.Code) {
        case fastMemoOpen:
        case fastMemoClose: return UINT64_MAX;
        case fastClear:
        case fastClearUp:
        case fastTermClear:
        case fastTermClearUp: add(own + clear); break;
        case fastLinear:
        case fastLinearWalk: {
            // At most values passes, each its own commands and its terms' clears.
            uint64_t pass = op.Exec;
            for (uint32_t k = 1; k <= op.Off && i + k < program.Ops.size(); ++k)
                pass += program.Ops[i + k].Exec + clear;
            add(times(values + 1, pass + 1));
            add(own + clear * op.Off);
            break;
        }
        case fastScanRight:
        case fastScanLeft: add(times(uint64_t{TapeMask} + 3, uint64_t{op.Exec} + 1)); add(own); break;
        default: add(own); break;
        }
    }
    return sum;
}

}  // namespace

TFastProgram BuildFastProgram(const std::vector<TInstruction>& folded, uint32_t foldedCount, unsigned cellBits,
                              const std::atomic<bool>* cancel) {
    TFastProgram program;
    if (!TBuilder(folded, foldedCount, cellBits, cancel).Build(program)) {
        program = TFastProgram();
        program.Cancelled = true;
        return program;
    }
    // A loop that walks the tape doing one Linear loop a pass: its passes run in one record.
    for (size_t i = 0; i < program.Ops.size(); ++i) {
        TFastOp& op = program.Ops[i];
        if (op.Code != fastLinear || op.Jump >= program.Ops.size()) continue;
        const TFastOp& close = program.Ops[op.Jump];
        if (close.Code == fastClose && close.Jump == i) op.Code = fastLinearWalk;
    }
    // The loops around each record that run passes at once, nearest first.
    program.ClosedParent.assign(foldedCount, -1);
    std::vector<int32_t> closed;
    for (uint32_t f = 0; f < foldedCount; ++f) {
        program.ClosedParent[f] = closed.empty() ? -1 : closed.back();
        if (folded[f].Op == opLoopStart && RunsPassesAtOnce(program, f))
            closed.push_back(static_cast<int32_t>(f));
        else if (folded[f].Op == opLoopEnd && !closed.empty() && closed.back() == static_cast<int32_t>(folded[f].Arg))
            closed.pop_back();
    }
    program.Patch.assign(program.Ops.size(), 0);
    program.StopMark.assign(foldedCount + 1, 0);
    program.RepeatsChecked = RepeatsReachAttention(program);
    program.UncheckedBound = UncheckedWork(program, cellBits);
    return program;
}

void SetFastStops(TFastProgram& program, const std::vector<TInstruction>& folded,
                  const std::vector<uint32_t>& stops) {
    for (const uint32_t k : program.Patched) {
        program.Patch[k] = 0;
        program.Rethread.push_back(k);
    }
    program.Patched.clear();
    for (const uint32_t s : program.Stops) program.StopMark[s] = 0;
    program.Stops = stops;
    // True when the record had the patch already.
    auto mark = [&](int32_t k, uint8_t patch) {
        if (k < 0) return false;
        uint8_t& p = program.Patch[static_cast<size_t>(k)];
        if (p == 0) {
            program.Patched.push_back(static_cast<uint32_t>(k));
            program.Rethread.push_back(static_cast<uint32_t>(k));
        }
        const bool had = (p & patch) != 0;
        p |= patch;
        return had;
    };
    for (const uint32_t s : stops) {
        program.StopMark[s] = 1;
        if (program.EntryOf[s] >= 0) mark(program.EntryOf[s], PatchStop);
        else mark(program.GroupOf[s], PatchStepFolded);
        mark(program.MergedAt[s], PatchPreOnly);
        for (int32_t l = program.ClosedParent[s]; l >= 0; l = program.ClosedParent[static_cast<size_t>(l)]) {
            const uint32_t loop = static_cast<uint32_t>(l);
            const int32_t head = program.EntryOf[loop];
            const int32_t w = program.EntryOf[loop + 1];
            const TFastCode code = program.Ops[static_cast<size_t>(head)].Code;
            bool had = true;
            if (FastOperation(code).Has(fastprop::RunsPasses)) {
                had = mark(head, PatchStepped);
                mark(program.MergedAt[loop], PatchPreOnly);
                if (code == fastMemoOpen) {
                    const uint32_t end = folded[loop].Arg;
                    mark(program.EntryOf[end], PatchStepped);
                    mark(program.MergedAt[end], PatchPreOnly);
                }
            }
            // The outer loop of a walk: the walk's record runs its passes.
            if (w >= 0 && program.Ops[static_cast<size_t>(w)].Code == fastLinearWalk)
                had = mark(w, PatchUnwalk) && had;
            if (had) break;  // that loop and the ones around it are done
        }
    }
}

namespace {

// The cells a stretch of FoldedList may write or move the pointer onto, relative to the pointer
// where it begins: [Lo, Hi], or the whole tape.
struct TSpan {
    int64_t Lo = 0, Hi = 0;
    bool Whole = false;
    // A straight record at the current position Pos: the cells it passes.
    void Walk(const TInstruction& rec) {
        const int64_t n = rec.Op == opRightN || rec.Op == opLeftN ? rec.Arg : 1;
        if (rec.Op == opRight || rec.Op == opRightN) {
            Pos += n;
            Hi = std::max(Hi, Pos);
        } else if (rec.Op == opLeft || rec.Op == opLeftN) {
            Pos -= n;
            Lo = std::min(Lo, Pos);
        }
    }
    void Into(TFastOp& op) const {
        if (Whole || Hi - Lo + 1 >= TapeMask + 1) {
            op.ReachLo = 0;
            op.ReachSpan = static_cast<uint16_t>(TapeMask + 1);
        } else {
            op.ReachLo = static_cast<int16_t>(Lo);
            op.ReachSpan = static_cast<uint16_t>(Hi - Lo + 1);
        }
    }
    int64_t Pos = 0;
};

// The body of the loop opening at folded record l, its inner loops balanced (a closed form or a
// memo loop): every pass visits the same cells.
TSpan LoopBody(const std::vector<TInstruction>& folded, uint32_t l) {
    TSpan span;
    for (uint32_t k = l + 1; k < folded[l].Arg; ++k) {
        if (IsStraight(folded[k].Op)) span.Walk(folded[k]);
        else if (folded[k].Op != opLoopStart && folded[k].Op != opLoopEnd) span.Whole = true;
    }
    return span;
}

}  // namespace

void FindFastShapes(TFastProgram& program, const std::vector<TInstruction>& folded) {
    const uint32_t foldedCount = static_cast<uint32_t>(program.EntryOf.size() - 1);
    const size_t count = program.Ops.size();
    program.Shape.assign(count, 0);
    program.ProfileFrom.assign(count + 1, 0);
    program.ProfileMid.assign(count, 0);
    program.ProfileOwn.assign(count, UINT32_MAX);
    program.ProfileTo.clear();
    program.MemoRecords.assign(program.Memos.size(), {0, 0});
    std::vector<uint32_t> clears;  // the clear loops of the straight run at hand, in order
    size_t nextClear = 0;
    for (size_t k = 0; k < count; ++k) {
        TFastOp& op = program.Ops[k];
        program.ProfileFrom[k] = static_cast<uint32_t>(program.ProfileTo.size());
        op.ReachLo = 0;
        op.ReachSpan = 0;
        const uint32_t f = op.Folded;
        const bool copy = op.Next == 2;
        // Arrivals.
        if (f < foldedCount && program.EntryOf[f] == static_cast<int32_t>(k) && IsStraight(folded[f].Op)) {
            program.Shape[k] |= ShapeHead;
            TSpan span;
            clears.clear();
            nextClear = 0;
            for (uint32_t g = f; g < foldedCount && IsStraight(folded[g].Op); ++g) {
                span.Walk(folded[g]);
                program.ProfileTo.push_back(g);
                if (folded[g].Op == opClearDec || folded[g].Op == opClearInc) clears.push_back(g);
            }
            span.Into(op);
        } else if (copy) {
            // Its move belongs to the straight run before it.
        } else {
            switch (op.Code) {
            case fastLinear:
            case fastLinearWalk:
                for (uint32_t t = 1; t <= op.Off; ++t)
                    if (program.Ops[k + t].Code != fastTerm) program.Shape[k] |= ShapeClears;
                LoopBody(folded, f).Into(op);
                program.ProfileTo.push_back(f);
                break;
            case fastScanRight:
            case fastScanLeft: program.ProfileTo.push_back(f); break;  // its way is tested when known
            case fastMemoOpen:
                LoopBody(folded, f).Into(op);
                program.ProfileTo.push_back(f);
                program.MemoRecords[op.Off].first = static_cast<uint32_t>(k + 1);
                break;
            case fastMemoClose:
                LoopBody(folded, folded[f].Arg).Into(op);
                program.ProfileTo.push_back(f);
                program.MemoRecords[op.Off].second = static_cast<uint32_t>(k);
                break;
            case fastInput:
                op.ReachSpan = 1;
                program.ProfileTo.push_back(f);
                break;
            case fastOpen:
            case fastClose:
            case fastOutput:
            case fastProcStart:
            case fastProcEnd:
            case fastCall: program.ProfileTo.push_back(f); break;
            case fastAdd:
                // A record that does nothing stands for its own.
                if (f < foldedCount && program.EntryOf[f] == static_cast<int32_t>(k) && !IsStraight(folded[f].Op))
                    program.ProfileTo.push_back(f);
                break;
            default: break;
            }
        }
        program.ProfileMid[k] = static_cast<uint32_t>(program.ProfileTo.size());
        // Passes. A copy counts its own operation's runs apart (ProfileOwn): its arrivals are
        // the straight run's, and it may hand over to its record after the move.
        const bool loop = op.Code == fastLinear || op.Code == fastLinearWalk || op.Code == fastScanRight ||
                          op.Code == fastScanLeft;
        if (copy && op.Code != fastTerm) {
            if (op.Code == fastLinear || op.Code == fastLinearWalk)
                for (uint32_t t = 1; t <= op.Off; ++t)
                    if (program.Ops[k + t].Code != fastTerm) program.Shape[k] |= ShapeClears;
            const uint32_t l = program.Ops[k + (op.Code == fastLinear || op.Code == fastLinearWalk ? op.Off + 1 : 1)].Folded;
            program.ProfileOwn[k] = l;
            if (loop)
                for (uint32_t g = l + 1; g <= folded[l].Arg; ++g) program.ProfileTo.push_back(g);
        } else if (!copy && loop) {
            for (uint32_t g = f + 1; g <= folded[f].Arg; ++g) program.ProfileTo.push_back(g);
        } else if ((op.Code == fastClear || op.Code == fastClearUp) && nextClear < clears.size()) {
            program.ProfileTo.push_back(foldedCount + clears[nextClear++]);
        }
    }
    program.ProfileFrom[count] = static_cast<uint32_t>(program.ProfileTo.size());
    // A copy that makes a move first runs its record after the move: its reach takes in that
    // record's, moved by the move.
    for (size_t k = 0; k < count; ++k) {
        TFastOp& op = program.Ops[k];
        if (op.Next != 2 || op.Code == fastOpen || op.Code == fastClose) continue;
        const bool linear = op.Code == fastLinear || op.Code == fastLinearWalk;
        const TFastOp& own = program.Ops[k + (linear ? op.Off + 1 : 1)];
        if (own.ReachSpan == 0) continue;
        int64_t pre = op.Pre & TapeMask;
        if (pre > static_cast<int64_t>(TapeMask / 2)) pre -= TapeMask + 1;
        TSpan span;
        span.Lo = own.ReachLo + pre;
        span.Hi = span.Lo + own.ReachSpan - 1;
        if (op.ReachSpan != 0) {
            span.Lo = std::min<int64_t>(span.Lo, op.ReachLo);
            span.Hi = std::max<int64_t>(span.Hi, op.ReachLo + op.ReachSpan - 1);
        }
        span.Whole = own.ReachSpan > TapeMask;
        span.Into(op);
    }
    program.ShapesFound = true;
}

bool RepeatsReachAttention(const TFastProgram& program) {
    using namespace fastprop;
    const size_t count = program.Ops.size();
    if (count == 0 || program.Ops.back().Code != fastEnd) return false;
    size_t termsEnd = 0;  // the records up to here are the terms of a Linear record
    for (size_t k = 0; k < count; ++k) {
        const TFastOp& op = program.Ops[k];
        if (op.Code >= FastCodeCount) return false;
        const TFastInfo& row = FastOperation(op.Code);
        if ((op.Off != 0 && row.Off == TFastArg::None) || (op.Delta != 0 && row.Delta == TFastArg::None) ||
            (op.Jump != 0 && row.Jump == TFastArg::None) || (op.Exec != 0 && row.Exec == TFastArg::None))
            return false;
        if (op.Next != 1 && !(op.Next == 2 && row.Has(PreMove))) return false;
        if ((op.Pre != 0 || op.PreExec != 0) && !row.Has(PreMove)) return false;
        if (row.Has(Data) != (k < termsEnd)) return false;
        if (row.Off == TFastArg::Terms) {
            if (op.Off >= count - k) return false;
            termsEnd = k + 1 + op.Off;
        }
        if (row.Off == TFastArg::Stride && (op.Off & TapeMask) == 0) return false;
        if (row.Off == TFastArg::Memo && op.Off >= program.Memos.size()) return false;
        if (row.Has(Jumps)) {
            if (op.Jump >= count || program.Ops[op.Jump].Code >= FastCodeCount ||
                FastOperation(program.Ops[op.Jump].Code).Has(Data))
                return false;
            if (op.Jump <= k && !row.Has(JumpsBack)) return false;
        }
    }
    return true;
}

namespace {

void AppendOperand(std::string& out, TFastArg arg, int64_t value) {
    static constexpr const char* names[] = {"",      "off",   "move", "stride", "delta",    "counter",
                                            "terms", "memo",  "to",   "after",  "exec",     "passexec"};
    static_assert(std::size(names) == static_cast<size_t>(TFastArg::PassCost) + 1);
    if (arg == TFastArg::None) return;
    out += ' ';
    out += names[static_cast<size_t>(arg)];
    out += '=';
    out += std::to_string(value);
}

}  // namespace

std::string DumpFastProgram(const TFastProgram& program) {
    std::string dump;
    for (size_t i = 0; i < program.Ops.size(); ++i) {
        const TFastOp& op = program.Ops[i];
        const TFastInfo& row = FastOperation(op.Code);
        dump += std::to_string(i);
        dump += ' ';
        dump += row.Name;
        AppendOperand(dump, row.Off, op.Off);
        AppendOperand(dump, row.Delta, op.Delta);
        AppendOperand(dump, row.Jump, op.Jump);
        AppendOperand(dump, row.Exec, op.Exec);
        if (op.Pre != 0 || op.PreExec != 0 || op.Next != 1)
            dump += " pre=" + std::to_string(op.Pre) + " preexec=" + std::to_string(op.PreExec) +
                    " next=" + std::to_string(op.Next);
        dump += " @" + std::to_string(op.Folded);
        static const char* const patches[] = {" stop", " stepfolded", " preonly", " stepped", " unwalk"};
        for (int b = 0; b < 5; ++b)
            if (i < program.Patch.size() && (program.Patch[i] >> b & 1)) dump += patches[b];
        dump += '\n';
    }
    for (size_t m = 0; m < program.Memos.size(); ++m) {
        const TMemoLoop& memo = program.Memos[m];
        dump += "memo ";
        dump += std::to_string(m);
        dump += " counter=";
        dump += std::to_string(memo.Counter);
        const char* sep = " work=";
        for (const uint32_t off : memo.Work) {
            dump += std::exchange(sep, ",");
            dump += std::to_string(off);
        }
        sep = " constant=";
        for (const auto& [off, delta] : memo.Constant) {
            dump += std::exchange(sep, ",");
            dump += std::to_string(off);
            dump += ':';
            dump += std::to_string(delta);
        }
        dump += '\n';
    }
    return dump;
}

int64_t LoopTripCount(uint32_t v, int64_t d, unsigned bits) {
    const uint64_t mask = (uint64_t{1} << bits) - 1;
    v &= static_cast<uint32_t>(mask);
    if (v == 0) return 0;
    uint64_t dm = static_cast<uint64_t>(d) & mask;
    if (dm == 0) return -1;
    unsigned t = 0;
    while ((dm & 1) == 0) dm >>= 1, ++t;
    if (v & ((uint64_t{1} << t) - 1)) return -1;  // the counter never reaches a multiple of 2^t
    const unsigned rest = bits - t;
    const uint64_t restMask = (uint64_t{1} << rest) - 1;
    // The inverse of the odd dm modulo 2^rest, by Newton's iteration (each doubles the bits).
    uint64_t inverse = dm;
    for (int k = 0; k < 5; ++k) inverse *= 2 - dm * inverse;
    const uint64_t need = ((mask + 1 - v) & mask) >> t;  // n * dm = -v / 2^t
    return static_cast<int64_t>((need * inverse) & restMask);
}

}  // namespace cel
