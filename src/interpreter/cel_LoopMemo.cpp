#include "cel_LoopMemo.h"

#include <algorithm>

namespace cel {

namespace {

bool Pure(TOpCode op) {
    switch (op) {
    case opRight:
    case opLeft:
    case opInc:
    case opDec:
    case opLoopStart:
    case opLoopEnd:
    case opClearDec:
    case opClearInc:
    case opRightN:
    case opLeftN:
    case opIncN:
    case opDecN: return true;
    default: return false;
    }
}

uint32_t RunLength(const TInstruction& in) {
    const TOpInfo& info = Operation(in.Op);
    return info.Arg == TOpArg::Count ? in.Arg : 1;
}

// A body of moves and changes only, balanced, whose counter changes by 1 or -1 a pass: its step,
// terms and cost a pass. False for any other body.
bool FindLinear(TLoopMemos& memos, TLoopMemo& memo, unsigned cellBits) {
    const uint64_t values = uint64_t{1} << cellBits;
    std::vector<std::pair<int64_t, uint64_t>> change;  // offset, change a pass
    int64_t at = 0;
    uint64_t cost = 1;  // the ]
    for (uint32_t i = memo.Start + 1; i < memo.End; ++i) {
        const TInstruction& in = memos.Code[i];
        const uint64_t n = RunLength(in);
        cost += n;
        switch (in.Op) {
        case opRight:
        case opRightN: at += static_cast<int64_t>(n); break;
        case opLeft:
        case opLeftN: at -= static_cast<int64_t>(n); break;
        case opInc:
        case opIncN:
        case opDec:
        case opDecN: {
            auto it = std::find_if(change.begin(), change.end(), [&](const auto& c) { return c.first == at; });
            if (it == change.end()) it = change.insert(change.end(), {at, 0});
            const uint64_t d = (in.Op == opInc || in.Op == opIncN) ? n % values : values - n % values;
            it->second = (it->second + d) % values;
            break;
        }
        default: return false;
        }
        if (at > LoopMemoReach || at < -LoopMemoReach) return false;
    }
    if (at != 0) return false;
    uint64_t d = 0;
    for (const auto& [off, delta] : change)
        if (off == 0) d = delta;
    if (d != 1 && d != values - 1) return false;
    memo.Step = d == 1 ? 1 : -1;
    memo.PassCost = cost;
    memo.TermsAt = static_cast<uint32_t>(memos.Terms.size());
    for (const auto& [off, delta] : change) {
        if (off == 0 || delta == 0) continue;
        memos.Terms.emplace_back(static_cast<int32_t>(off), static_cast<int32_t>(delta));
    }
    memo.TermCount = static_cast<uint32_t>(memos.Terms.size()) - memo.TermsAt;
    return true;
}

}  // namespace

TLoopMemos BuildLoopMemos(const std::vector<TInstruction>& folded, uint32_t count, unsigned cellBits) {
    TLoopMemos memos;
    count = std::min<uint32_t>(count, static_cast<uint32_t>(folded.size()));
    memos.Code.assign(folded.begin(), folded.begin() + count);
    // Room for every loop at once: a vector that grows by doubling leaves its smaller copies
    // behind, and each page first written costs a fault; the room never used is never written.
    const auto opens = std::count_if(memos.Code.begin(), memos.Code.end(),
                                     [](const TInstruction& in) { return in.Op == opLoopStart; });
    memos.Loops.reserve(static_cast<size_t>(opens));
    // The loops open at the instruction at hand: where each begins, whether it holds an
    // operation that reaches the world (or is no loop's business), and whether a loop.
    struct TOpen {
        uint32_t Start;
        bool Impure;
        bool Inner;
    };
    std::vector<TOpen> open;
    for (uint32_t i = 0; i < count; ++i) {
        TInstruction& in = memos.Code[i];
        const TOpCode op = in.Op;
        in.Origin = LoopMemoNone;
        if (op == opLoopStart) {
            if (!open.empty()) open.back().Inner = true;
            open.push_back({i, false, false});
            continue;
        }
        if (op != opLoopEnd) {
            if (!Pure(op) && !open.empty()) open.back().Impure = true;
            continue;
        }
        if (open.empty()) continue;
        const TOpen loop = open.back();
        open.pop_back();
        if (!open.empty() && loop.Impure) open.back().Impure = true;
        if (loop.Impure || in.Arg != loop.Start || memos.Code[loop.Start].Arg != i) continue;
        // A loop with no loop inside is kept only as a closed form for the traces: its runs
        // are short, or a run of the same pass that native code makes as fast.
        TLoopMemo memo;
        memo.Start = loop.Start;
        memo.End = i;
        if (!loop.Inner && !FindLinear(memos, memo, cellBits)) continue;
        memos.Code[loop.Start].Origin = static_cast<uint32_t>(memos.Loops.size());
        memos.Loops.push_back(std::move(memo));
    }
    return memos;
}

}  // namespace cel
