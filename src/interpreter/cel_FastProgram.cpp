#include "cel_FastProgram.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

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

class TBuilder {
public:
    TBuilder(const std::vector<TInstruction>& folded, uint32_t count, std::vector<uint8_t> stop,
             unsigned cellBits)
        : F(folded), Count(count), Stop(std::move(stop)), Mask((uint64_t{1} << cellBits) - 1) {}

    TFastProgram Build() {
        P.EntryOf.assign(Count + 1, -1);
        MemoAt.assign(Count, -1);
        for (uint32_t i = 0; i < Count; ++i)
            if (Stop[i]) P.Stops.push_back(i);
        uint32_t i = 0;
        while (i < Count) i = Record(i);
        Begin(Count, fastEnd);
        // Jumps were noted as FoldedList records; now that every record has its place they
        // become indices into the fast form.
        for (TFastOp& op : P.Ops)
            if (op.Code == fastOpen || op.Code == fastClose || op.Code == fastProcStart ||
                op.Code == fastMemoOpen || op.Code == fastMemoClose ||
                op.Code == fastLinear || op.Code == fastScanRight || op.Code == fastScanLeft)
                if (op.Jump & Unresolved) op.Jump = static_cast<uint32_t>(P.EntryOf[op.Jump & ~Unresolved]);
        return std::move(P);
    }

private:
    static constexpr uint32_t Unresolved = 0x80000000u;

    // Appends a record beginning at folded record f; the first one there (after its Stop, when
    // f is in the stop set) is where the run enters f.
    TFastOp& Begin(uint32_t f, TFastCode code) {
        if (P.EntryOf[f] < 0) {
            P.EntryOf[f] = static_cast<int32_t>(P.Ops.size());
            if (f < Count && Stop[f]) {
                TFastOp stop;
                stop.Code = fastStop;
                stop.Folded = f;
                P.Ops.push_back(stop);
            }
        }
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

    // A straight run from record i up to the next other record or stop: the changes at their
    // offsets (a clear loop's cell brought up to date first), then one move.
    uint32_t Straight(uint32_t i) {
        const uint32_t start = i;
        uint32_t offset = 0;
        uint32_t exec = 0;
        std::vector<std::pair<uint32_t, int64_t>> pending;  // changes not yet written, by offset
        const size_t first = P.Ops.size();
        auto flush = [&](uint32_t off) {
            for (auto it = pending.begin(); it != pending.end(); ++it) {
                if (it->first != off) continue;
                TFastOp& op = Begin(start, fastAdd);
                op.Off = off;
                op.Delta = static_cast<int32_t>(it->second & 0xFFFF);
                pending.erase(it);
                return;
            }
        };
        for (; i < Count && IsStraight(F[i].Op) && (i == start || !Stop[i]); ++i) {
            const TInstruction& rec = F[i];
            exec += CommandsOf(rec);
            if (rec.Op == opClearDec || rec.Op == opClearInc) {
                flush(offset);
                TFastOp& op = Begin(start, rec.Op == opClearDec ? fastClear : fastClearUp);
                op.Off = offset;
            } else if (const uint32_t move = MoveOf(rec)) {
                offset = (offset + move) & TapeMask;
            } else {
                auto it = std::find_if(pending.begin(), pending.end(),
                                       [&](const auto& e) { return e.first == offset; });
                if (it == pending.end()) pending.emplace_back(offset, ChangeOf(rec));
                else it->second += ChangeOf(rec);
            }
        }
        std::sort(pending.begin(), pending.end());
        for (const auto& [off, delta] : pending) {
            if ((delta & 0xFFFF) == 0) continue;
            TFastOp& op = Begin(start, fastAdd);
            op.Off = off;
            op.Delta = static_cast<int32_t>(delta & 0xFFFF);
        }
        if (offset != 0 || P.Ops.size() == first) {
            Begin(start, fastMove).Off = offset;
            LastMove = P.Ops.size() - 1;
            LastMoveEnd = i;
        }
        P.Ops[first + (P.Ops[first].Code == fastStop ? 1 : 0)].Exec = exec;
        return i;
    }

    // The records of folded record i were just appended from index g on. When the record
    // before them is the closing Move of the straight run that ends at i, a copy of them that
    // makes that move first takes the Move's place: a pass through here costs one dispatch
    // less. The records themselves stay for runs that enter at i (a jump, a return, a resume);
    // a single copied record goes on past them (Next).
    void MergeMove(size_t g, uint32_t i) {
        if (g == 0 || LastMove != g - 1 || LastMoveEnd != i || P.Ops[g].Code == fastStop) return;
        std::vector<TFastOp> copy(P.Ops.begin() + static_cast<std::ptrdiff_t>(g), P.Ops.end());
        const TFastOp move = P.Ops[g - 1];
        copy[0].Pre = move.Off;
        copy[0].PreExec = move.Exec;
        copy[0].Folded = move.Folded;
        copy[0].Next = 2;
        P.Ops[g - 1] = copy[0];
        P.Ops.insert(P.Ops.begin() + static_cast<std::ptrdiff_t>(g), copy.begin() + 1, copy.end());
        P.EntryOf[i] += static_cast<int32_t>(copy.size() - 1);
        LastMove = SIZE_MAX;
    }

    // A loop from record i to its partner: its closed form or its search when it has one, then
    // the form that steps it, which the closed form falls back to when the loop never ends.
    void Loop(uint32_t i) {
        const uint32_t end = F[i].Arg;
        int32_t memo = -1;
        const size_t g = P.Ops.size();
        bool stopInside = false;
        for (uint32_t k = i + 1; k <= end; ++k) stopInside = stopInside || Stop[k];
        if (!stopInside) {
            // A stride of whole tape lengths never moves: that loop is stepped, so that its
            // back edge keeps the attention check.
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
        auto at = [&](uint32_t off) -> TCellEffect& {
            for (TCellEffect& c : cells)
                if (c.Off == off) return c;
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
    // loop's index in Memos, or -1.
    int32_t Memo(uint32_t i, uint32_t end) {
        constexpr size_t MaxWork = 32;  // beyond, comparing the cells costs more than it saves
        uint32_t offset = 0;
        std::vector<std::pair<uint32_t, int64_t>> top;  // changes outside inner loops
        std::vector<uint32_t> work;
        std::vector<uint32_t> open;  // the offset of each inner loop entered
        auto touch = [&](uint32_t off) {
            if (std::find(work.begin(), work.end(), off) == work.end()) work.push_back(off);
        };
        for (uint32_t k = i + 1; k < end; ++k) {
            const TInstruction& rec = F[k];
            if (const uint32_t move = MoveOf(rec)) {
                offset = (offset + move) & TapeMask;
            } else if (rec.Op == opInc || rec.Op == opDec || rec.Op == opIncN || rec.Op == opDecN) {
                if (!open.empty()) {
                    touch(offset);
                    continue;
                }
                auto it = std::find_if(top.begin(), top.end(), [&](const auto& e) { return e.first == offset; });
                if (it == top.end()) top.emplace_back(offset, ChangeOf(rec));
                else it->second += ChangeOf(rec);
            } else if (rec.Op == opClearDec || rec.Op == opClearInc) {
                touch(offset);
            } else if (rec.Op == opLoopStart) {
                touch(offset);
                open.push_back(offset);
            } else if (rec.Op == opLoopEnd) {
                if (open.back() != offset) return -1;  // an inner loop that moves
                open.pop_back();
            } else {
                return -1;  // input, output or procedures
            }
        }
        if (offset != 0 || work.size() > MaxWork || std::find(work.begin(), work.end(), 0u) != work.end())
            return -1;
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
    const std::vector<uint8_t> Stop;  // by FoldedList record
    const uint64_t Mask;              // the largest cell value
    std::vector<int32_t> MemoAt;      // by FoldedList record: the Memos index of a loop's ]
    size_t LastMove = SIZE_MAX;       // the closing Move of the last straight run, if any
    uint32_t LastMoveEnd = 0;         // the record after that run
    TFastProgram P;
};

}  // namespace

TFastProgram BuildFastProgram(const std::vector<TInstruction>& folded, uint32_t foldedCount,
                              const std::vector<TInstruction>& commands,
                              const std::vector<uint8_t>& stopAt, unsigned cellBits) {
    (void)commands;  // the folded records carry their command counts
    std::vector<uint8_t> stop(foldedCount + 1, 0);
    for (uint32_t c = 0; c < stopAt.size(); ++c) {
        if (!stopAt[c]) continue;
        // The folded record covering command c: the last one beginning at or before it.
        auto it = std::upper_bound(folded.begin(), folded.begin() + foldedCount, c,
                                   [](uint32_t v, const TInstruction& r) { return v < r.Origin; });
        if (it != folded.begin()) stop[static_cast<uint32_t>(it - folded.begin()) - 1] = 1;
    }
    TFastProgram program = TBuilder(folded, foldedCount, std::move(stop), cellBits).Build();
    // A loop that walks the tape doing one Linear loop a pass: its passes run in one record.
    for (size_t i = 0; i < program.Ops.size(); ++i) {
        TFastOp& op = program.Ops[i];
        if (op.Code != fastLinear || op.Jump >= program.Ops.size()) continue;
        const TFastOp& close = program.Ops[op.Jump];
        if (close.Code == fastClose && close.Jump == i) op.Code = fastLinearWalk;
    }
    program.RepeatsChecked = RepeatsReachAttention(program);
    return program;
}

bool RepeatsReachAttention(const TFastProgram& program) {
    const size_t count = program.Ops.size();
    for (size_t k = 0; k < count; ++k) {
        const TFastOp& op = program.Ops[k];
        if (op.Next == 0) return false;
        switch (op.Code) {
        case fastClose:
        case fastMemoClose:
        case fastCall:
        case fastProcEnd:
            break;  // they go round through the check
        case fastScanRight:
        case fastScanLeft:
            // A scan is one trip round the tape at most, unless its stride is none.
            if ((op.Off & TapeMask) == 0 || op.Jump <= k || op.Jump > count) return false;
            break;
        case fastOpen:
        case fastMemoOpen:
        case fastLinear:
        case fastLinearWalk:  // its own passes check at each back edge
        case fastProcStart:
            if (op.Jump <= k || op.Jump > count) return false;
            break;
        default:
            break;
        }
    }
    return true;
}

std::string DumpFastProgram(const TFastProgram& program) {
    static const char* const names[FastCodeCount] = {
#define CEL_FAST_NAME(id) #id,
        CEL_FAST_OPERATIONS(CEL_FAST_NAME)
#undef CEL_FAST_NAME
    };
    std::string dump;
    for (size_t i = 0; i < program.Ops.size(); ++i) {
        const TFastOp& op = program.Ops[i];
        dump += std::to_string(i) + " @" + std::to_string(op.Folded) + ' ' + names[op.Code];
        if (op.Off != 0) dump += " off=" + std::to_string(op.Off);
        if (op.Delta != 0) dump += " delta=" + std::to_string(op.Delta);
        if (op.Exec != 0) dump += " exec=" + std::to_string(op.Exec);
        if (op.Pre != 0 || op.PreExec != 0)
            dump += " pre=" + std::to_string(op.Pre) + " preexec=" + std::to_string(op.PreExec);
        if (op.Code == fastOpen || op.Code == fastClose || op.Code == fastProcStart ||
            op.Code == fastMemoOpen || op.Code == fastMemoClose || op.Code == fastLinear || op.Code == fastLinearWalk || op.Code == fastScanRight ||
            op.Code == fastScanLeft)
            dump += " ->" + std::to_string(op.Jump);
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
