// Each input runs on the fast form, the plain folded loop and single steps on the command list,
// and on the tests' reference machine; any difference in output, tape, data pointer, executed
// count, error or how the run ended aborts with the two outcomes named. The layout of an input
// is in fuzz_run.h (flag 8, watching, is ignored: the single-step run watches anyway).
//
// The three engines look at the budget at different places (the fast form at its back edges,
// the plain loop before each record, single steps before each command), so the fast form runs
// first with the budget and the others then run to the very count where it ended: each passes
// that point at a check of its own, as every place the fast form leaves from begins a record.

#include "../core/test_reference.h"
#include "fuzz_run.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr uint64_t Budget = 1u << 12;
// The fast form's closed forms may end far past the budget; the slower engines then compare
// only while the count stays within these.
constexpr uint64_t PlainLimit = 1u << 20;
constexpr uint64_t StepLimit = 1u << 14;

[[noreturn]] void Differ(const char* what, const char* engine, const std::string& a, const std::string& b) {
    std::fprintf(stderr, "fuzz_differential: %s differs: fast form %s, %s %s\n", what, a.c_str(), engine,
                 b.c_str());
    std::abort();
}

void Compare(const celfuzz::TOutcome& fast, const celfuzz::TOutcome& other, const char* engine) {
    using std::to_string;
    if (fast.Executed != other.Executed) Differ("executed count", engine, to_string(fast.Executed), to_string(other.Executed));
    if (fast.Error != other.Error) Differ("error", engine, to_string(fast.Error), to_string(other.Error));
    // After an error the budget flag tells only where each run's budget stood (see below).
    if (fast.Error == 0 && fast.BudgetSpent != other.BudgetSpent)
        Differ("end at the budget", engine, to_string(fast.BudgetSpent), to_string(other.BudgetSpent));
    if (fast.DataPtr != other.DataPtr) Differ("data pointer", engine, to_string(fast.DataPtr), to_string(other.DataPtr));
    if (fast.Tape != other.Tape) {
        for (size_t i = 0; i < fast.Tape.size(); i += 2)
            if (fast.Tape.compare(i, 2, other.Tape, i, 2) != 0)
                Differ("tape", engine, "cell " + to_string(i / 2) + " differing", "");
    }
    if (fast.Window != other.Window) Differ("output window", engine, "'" + fast.Window + "'", "'" + other.Window + "'");
    if (fast.File != other.File) Differ("output file", engine, "'" + fast.File + "'", "'" + other.File + "'");
    if (fast.Requests != other.Requests) Differ("input requests", engine, to_string(fast.Requests), to_string(other.Requests));
}

// The reference machine up to the fast form's count, fed the input bytes as the hosts feed them.
void CompareReference(const celfuzz::TFuzzInput& in, const celfuzz::TOutcome& fast) {
    celtest::TRef ref(in.Text, in.Wide, in.Proc, in.Data);
    // An illegal call is not counted: the reference meets it in the step after the count.
    ref.AdvanceTo(fast.Executed + (fast.Error == 109 ? 1 : 0));
    using std::to_string;
    if (ref.Steps != fast.Executed) Differ("executed count", "reference", to_string(fast.Executed), to_string(ref.Steps));
    if ((ref.Illegal ? 109 : 0) != fast.Error) Differ("error", "reference", to_string(fast.Error), ref.Illegal ? "109" : "0");
    if (ref.Dp != fast.DataPtr) Differ("data pointer", "reference", to_string(fast.DataPtr), to_string(ref.Dp));
    for (uint32_t i = 0; i < cel::TapeSize; ++i) {
        const uint32_t cell = static_cast<uint8_t>(fast.Tape[2 * i]) | static_cast<uint8_t>(fast.Tape[2 * i + 1]) << 8;
        if (cell != ref.Tape[i]) Differ("tape", "reference", "cell " + to_string(i) + " " + to_string(cell), to_string(ref.Tape[i]));
    }
    // A typed line is echoed into the output file, which the reference does not do.
    const bool typed = fast.Requests > 0 && !in.InputFile && !in.Data.empty();
    if (in.FileByLine && !typed && fast.File != ref.Out) Differ("output file", "reference", "'" + fast.File + "'", "'" + ref.Out + "'");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    celfuzz::TFuzzInput in;
    if (!celfuzz::ParseInput(data, size, in)) return 0;
    in.Watch = false;

    celfuzz::TFuzzHost fastHost(in);
    fastHost.KeepTape = true;
    const celfuzz::TOutcome& fast = fastHost.Run(Budget);
    if (fast.Executed > PlainLimit) return 0;

    // A run that ended of itself ends so in the others too; the budget one past its count only
    // keeps a wrong one from going on for ever. So does a run that met an error: the fast form
    // may pass its budget within the bounded work before its next check and meet an illegal
    // call there, which is not counted, so the others must be let one command further to meet
    // it too (the error then pauses them before their budget is reached).
    const uint64_t count = fast.BudgetSpent && fast.Error == 0 ? fast.Executed : fast.Executed + 1;
    celfuzz::TFuzzHost plainHost(in);
    plainHost.KeepTape = true;
    plainHost.Options.PlainEngine = true;
    Compare(fast, plainHost.Run(count), "plain folded");
    if (fast.Executed > StepLimit) return 0;

    celfuzz::TFuzzHost stepHost(in);
    stepHost.KeepTape = true;
    stepHost.Options.Watch = true;  // single steps on the command list throughout
    Compare(fast, stepHost.Run(count), "single steps");

    // An exact stop somewhere in the run: the fast form and single steps stop at the same count
    // in the same state.
    if (fast.Executed > 0) {
        const uint64_t stop = 1 + (in.Option * 2654435761u) % fast.Executed;
        celfuzz::TFuzzHost fastStop(in);
        fastStop.KeepTape = true;
        celfuzz::TFuzzHost stepStop(in);
        stepStop.KeepTape = true;
        stepStop.Options.Watch = true;
        Compare(fastStop.Run(UINT64_MAX, stop), stepStop.Run(UINT64_MAX, stop), "single steps to a stop");
    }

    // The reference knows no structure errors and no comment markers.
    if (!in.Comments && (fast.Error == 0 || fast.Error == 109)) CompareReference(in, fast);
    return 0;
}
