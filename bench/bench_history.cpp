// The cost of the run history that the backward moves replay, headless (the engine and the
// headless host only). For each corpus program, in one process and one build:
//   <program> off_s=<s> on_s=<s> ratio=<on/off> (pairs <min>-<max>)
//                                                         full-speed run to the end (processor
//                                                         seconds), recording
//                                                         off and on by turns, RUNS pairs: the
//                                                         best times and the median pair ratio
//   <program> history_bytes=<n> checkpoints=<n> [at_1e9_bytes=<n>]
//                                                         what the history holds at the run's last
//                                                         command (and after 1e9 commands)
//   <program> step_back_ms near_max=<ms> [far_max=<ms>]   Step Back from points in the last 1e9
//                                                         commands (and, for Mandelbrot, from
//                                                         its middle down to its start)
//
//   full-tape-16 history_bytes=<n> checkpoints=<n> run_s=<s>
//                                                         a run of under a second whose every
//                                                         checkpoint holds the whole 16-bit tape
//
//   bench_history [RUNS [PROGRAM]]      (default 5, all four and the full tape; PROGRAM
//                                       full-tape-16 runs that one alone)
#include "cel_HeadlessHost.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

struct TProgram {
    std::string Name;
    std::string Text;
    std::string Input;
    uint64_t Commands = 0;
};

class THost : public cel::THeadlessHost {
public:
    explicit THost(const TProgram& p) : Input(p.Input) {
        Options.Text = p.Text;
        Options.CommentMarkers = false;
        Options.OutputVisible = false;
        OnRequestInput = [this] {
            if (Served) {
                Interpreter.DeliverEnd();
                return;
            }
            Served = true;
            if (Input.empty()) Interpreter.DeliverEnd();
            else Interpreter.DeliverLine(Input, false);
        };
    }
    ~THost() override {
        if (Interpreter.HasEngine()) {
            Interpreter.Terminate();
            Interpreter.Engine().WaitFor();
        }
    }
    cel::TBFInterpreterBase& Engine() { return Interpreter.Engine(); }
    // Waits for the engine to stand paused (or to have finished).
    void Settle() {
        const auto paused = [this] {
            return RunFlags.Paused.load() && Engine().IsSuspended() && Engine().IsWaiting();
        };
        while (!paused() && !Engine().IsFinished()) std::this_thread::sleep_for(std::chrono::microseconds(50));
    }

private:
    std::string Input;
    bool Served = false;
};

// The process's processor seconds: the engine thread's, as the caller waits meanwhile, and less
// disturbed than wall time by what else the machine runs.
double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Processor seconds for a full-speed run to its end, recording on or off.
double RunSeconds(const TProgram& p, bool recording) {
    THost h(p);
    h.Gui([&] {
        h.Interpreter.Prepare(false, cel::TBFInterpreter::TStart::Run);
        h.Engine().SetRecording(recording);
    });
    const double start = CpuSeconds();
    h.Gui([&] { h.Engine().Resume(); });
    h.Engine().WaitFor();
    return CpuSeconds() - start;
}

// Milliseconds for a Step Back from count, reached forward from the start of the replayed run.
double StepBackFrom(THost& h, uint64_t count) {
    h.Gui([&] { h.Interpreter.RunBackwards(); });
    h.Settle();
    h.Gui([&] {
        h.Engine().SetStopAt(count);
        h.Interpreter.Continue();
    });
    h.Settle();
    const Clock::time_point start = Clock::now();
    h.Gui([&] { h.Interpreter.StepBack(); });
    h.Settle();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const char* env = std::getenv("CELLWRIGHT_CORPUS");
    const std::string corpus = env && *env ? env : CELLWRIGHT_DEFAULT_CORPUS;
    std::vector<TProgram> programs = {
        {"Mandelbrot.b", {}, {}, 10521107970ull},
        {"Hanoi.b", {}, {}, 6596275896ull},
        {"Long.b", {}, {}, 7909544265ull},
        {"SelfInt.b", {}, "SelfInt.in", 10607655802ull},
    };
    for (TProgram& p : programs) {
        if (argc > 2 && p.Name != argv[2]) continue;
        p.Text = ReadFile(corpus + "/" + p.Name);
        if (!p.Input.empty()) p.Input = ReadFile(corpus + "/" + p.Input);
        if (p.Text.empty()) {
            std::printf("%s not found in %s\n", p.Name.c_str(), corpus.c_str());
            continue;
        }
        // Off and on by turns; the ratio is the median of the pairs' ratios, so a drift in the
        // machine's speed moves both of a pair.
        double off = 1e30;
        double on = 1e30;
        std::vector<double> ratios;
        for (int r = 0; r < runs; ++r) {
            const double a = RunSeconds(p, false);
            const double b = RunSeconds(p, true);
            off = std::min(off, a);
            on = std::min(on, b);
            ratios.push_back(b / a);
        }
        std::sort(ratios.begin(), ratios.end());
        std::printf("%s off_s=%.3f on_s=%.3f ratio=%.4f (pairs %.4f-%.4f)\n", p.Name.c_str(), off, on,
                    ratios[ratios.size() / 2], ratios.front(), ratios.back());
        std::fflush(stdout);
        if (std::getenv("BENCH_HISTORY_RATIO_ONLY")) continue;

        // Paused after 1e9 commands, then at the last command.
        THost h(p);
        h.Gui([&] {
            h.Interpreter.Prepare(false, cel::TBFInterpreter::TStart::Run);
            h.Engine().SetStopAt(1000000000ull);
            h.Engine().Resume();
        });
        h.Settle();
        const size_t early = h.Gui([&] { return h.Engine().HistoryBytes(); });
        h.Gui([&] {
            h.Engine().SetStopAt(p.Commands - 1);
            h.Interpreter.Continue();
        });
        h.Settle();
        std::printf("%s history_bytes=%zu checkpoints=%zu at_1e9_bytes=%zu\n", p.Name.c_str(),
                    h.Gui([&] { return h.Engine().HistoryBytes(); }),
                    h.Gui([&] { return h.Engine().CheckpointCount(); }), early);
        std::fflush(stdout);

        double near = 0;
        for (int k = 1; k <= 5; ++k)
            near = std::max(near, StepBackFrom(h, p.Commands - 1 - static_cast<uint64_t>(k) * 199999989ull));
        std::printf("%s step_back_ms near_max=%.2f", p.Name.c_str(), near);
        if (p.Name == "Mandelbrot.b") {
            double far = 0;
            for (uint64_t at = p.Commands / 2; at > 1000; at = at / 3)
                far = std::max(far, StepBackFrom(h, at));
            std::printf(" far_max=%.2f", far);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    if (argc <= 2 || std::string(argv[2]) == "full-tape-16") {
        // A short run whose tape is full: every checkpoint holds all 32768 cells of 16 bits.
        TProgram full{"full-tape-16", "+[>+]", {}, 0};
        THost h(full);
        const Clock::time_point start = Clock::now();
        h.Gui([&] {
            h.Interpreter.Prepare(true, cel::TBFInterpreter::TStart::Run);
            h.Engine().SetStopAt(600000000ull);
            h.Engine().Resume();
        });
        h.Settle();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        std::printf("%s history_bytes=%zu checkpoints=%zu run_s=%.3f\n", full.Name.c_str(),
                    h.Gui([&] { return h.Engine().HistoryBytes(); }),
                    h.Gui([&] { return h.Engine().CheckpointCount(); }), seconds);
    }
    return 0;
}
