// Arbitrary source bytes through the analysis and a run bounded by a command budget, at full
// speed (the fast form or the plain folded loop) or watched, in the calling thread. The input's
// layout is in fuzz_run.h; flag 128 chooses the plain folded loop.

#include "cel_Interpreter8.h"
#include "fuzz_run.h"

#include <cstdint>

namespace {

// Commands a run may execute: enough for loops to go round many times, few enough for
// thousands of runs a second. A watched step costs a hand-off and a memory image of nine
// formatted lines, some thirty times a plain command.
constexpr uint64_t FullSpeedBudget = 1u << 12;
constexpr uint64_t WatchedBudget = 1u << 5;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    celfuzz::TFuzzInput in;
    if (!celfuzz::ParseInput(data, size, in)) return 0;

    // The analysis alone, as the list dump sees it (one engine serves every input).
    static cel::THeadlessHost analysisHost;
    static cel::TBFInterpreter8 analysis(analysisHost);
    if (analysis.Analyze(in.Text, in.Comments, in.Proc) == 0) {
        for (uint32_t i = 0; i < analysis.GetFoldedCount(); ++i)
            if (analysis.GetFoldedList()[i].Origin >= in.Text.size()) __builtin_trap();
    }

    celfuzz::TFuzzHost host(in);
    host.Varied = true;
    host.Options.PlainEngine = data[0] & 128;
    host.Run(in.Watch ? WatchedBudget : FullSpeedBudget);
    return 0;
}
