#include "cel_Debugging.h"

#include <algorithm>

namespace cel {

std::vector<TLoopProfile> HottestLoops(const TProgram& program, const std::vector<uint64_t>& counts, size_t max) {
    const std::vector<TInstruction>& list = program.CommandList;
    const uint32_t count = program.CommandCount;
    if (counts.size() < count || program.Error != errNone) return {};
    // Sums[i]: the commands executed at CommandList indices below i.
    std::vector<uint64_t> sums(count + 1, 0);
    for (uint32_t i = 0; i < count; ++i) sums[i + 1] = sums[i] + counts[i];
    std::vector<TLoopProfile> loops;
    for (uint32_t i = 0; i < count; ++i) {
        const TInstruction& r = list[i];
        if ((r.Op != opLoopStart && r.Op != opProcStart) || r.Arg >= count) continue;
        TLoopProfile loop;
        loop.OpenOffset = r.Origin;
        loop.CloseOffset = list[r.Arg].Origin;
        // A procedure's '(' runs at its definition; it is entered once per call, which its ')' ends.
        loop.Entries = r.Op == opLoopStart ? counts[i] : counts[r.Arg];
        loop.Commands = sums[r.Arg + 1] - sums[i];
        if (r.Op == opProcStart) loop.Commands -= counts[i];
        if (loop.Commands > 0) loops.push_back(loop);
    }
    std::stable_sort(loops.begin(), loops.end(),
                     [](const TLoopProfile& a, const TLoopProfile& b) { return a.Commands > b.Commands; });
    if (loops.size() > max) loops.resize(max);
    return loops;
}

}  // namespace cel
