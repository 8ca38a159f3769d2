// Time to the first command: how long a run takes from Run to its first pause, at a breakpoint
// on one of the program's first commands (the analysis, the fast form's build and the commands
// before it), and then to the next pause after that breakpoint moves to the command after it (a
// new stop set at a pause). Headless (the engine and the headless host only). For each program and engine, prints:
//   <program> engine=<fast|plain> runs=<n> first_ms_median=<ms> first_ms_max=<ms> repause_ms_median=<ms>
// and for each program the fast engine's medians against the plain one's measured in the same run
// (after one warm-up run of each, the two taking turns).
//
//   bench_start [RUNS [PROGRAM]]      (default 5 runs, every program)
//
// LostKng.b is taken from the corpus (CELLWRIGHT_CORPUS, else the default corpus folder).
#include "cel_HeadlessHost.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// The text offset of the n-th command (0-based), comment markers off.
uint32_t CommandOffset(const std::string& text, int n) {
    for (size_t i = 0; i < text.size(); ++i)
        if (std::strchr("+-<>[].,", text[i]) != nullptr && n-- == 0) return static_cast<uint32_t>(i);
    return 0;
}

double Ms(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

bool WaitPaused(cel::THeadlessHost& h) {
    cel::TBFInterpreterBase& engine = h.Interpreter.Engine();
    while (!(h.RunFlags.Paused.load() && engine.IsWaiting()))
        if (engine.IsFinished()) return false;
        else std::this_thread::yield();
    return true;
}

struct TTimes {
    double First = -1;    // Run to the first pause
    double Repause = -1;  // Continue with a moved breakpoint to the next pause
};

// first: the index of the command where the first pause is due, one that runs.
TTimes Measure(const std::string& text, int first, bool plain) {
    TTimes t;
    cel::THeadlessHost h;
    h.Options.Text = text;
    h.Options.CommentMarkers = false;
    h.Options.OutputVisible = false;
    h.Options.PlainEngine = plain;
    h.Breakpoints = {CommandOffset(text, first)};
    Clock::time_point start = Clock::now();
    h.StartRun(false, false);
    if (WaitPaused(h)) {
        t.First = Ms(start);
        const uint64_t before = h.Interpreter.GetExecuted();
        start = Clock::now();
        h.Gui([&] {
            h.Interpreter.SetBreakpoints({CommandOffset(text, first + 1)});
            h.Interpreter.Continue();
        });
        // The next pause comes after one more command.
        while (h.Interpreter.GetExecuted() == before && !h.Interpreter.Engine().IsFinished())
            std::this_thread::yield();
        if (WaitPaused(h)) t.Repause = Ms(start);
    }
    h.Interpreter.Terminate();
    h.Interpreter.Engine().WaitFor();
    return t;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const char* env = std::getenv("CELLWRIGHT_CORPUS");
    const std::string corpus = env && *env ? env : CELLWRIGHT_DEFAULT_CORPUS;
    constexpr int Depth = 100000;
    struct TProgram {
        std::string Name;
        std::string Text;
        int First = 1;  // the command of the first pause
    };
    std::vector<TProgram> programs;
    const std::string lost = ReadFile(corpus + "/LostKng.b");
    if (!lost.empty()) programs.push_back({"LostKng.b", lost, 6});  // after [-][.]: >+<+
    else std::printf("LostKng.b not found in %s\n", corpus.c_str());
    programs.push_back({"nested-100000", "++" + std::string(Depth, '[') + "-" + std::string(Depth, ']')});
    std::string siblings = "++";
    for (int i = 0; i < 400000; ++i) siblings += "[-]>";
    programs.push_back({"sibling-loops-2MB", siblings});
    std::string scans = "++";
    for (int i = 0; i < 20000; ++i) scans += "[>[-]+[<]>";
    for (int i = 0; i < 20000; ++i) scans += "]";
    programs.push_back({"nested-scans-20000", scans});
    std::string flat = "++";
    for (int i = 0; i < 1000000; ++i) flat += "+-";
    programs.push_back({"plus-minus-2MB", flat});

    for (const auto& [name, text, firstCommand] : programs) {
        if (argc > 2 && name != argv[2]) continue;
        // One warm-up run of each, then the engines take turns, so neither always runs on
        // memory the other has just given back.
        Measure(text, firstCommand, false);
        Measure(text, firstCommand, true);
        std::vector<double> first[2];
        std::vector<double> repause[2];
        for (int r = 0; r < runs; ++r) {
            for (int k = 0; k < 2; ++k) {
                const bool plain = (r + k) % 2 == 1;
                const TTimes t = Measure(text, firstCommand, plain);
                if (t.First >= 0) first[plain].push_back(t.First);
                if (t.Repause >= 0) repause[plain].push_back(t.Repause);
            }
        }
        double medians[2][2] = {};
        for (const bool plain : {false, true}) {
            medians[plain][0] = Median(first[plain]);
            medians[plain][1] = Median(repause[plain]);
            std::printf("%s engine=%s runs=%zu first_ms_median=%.3f first_ms_max=%.3f repause_ms_median=%.3f\n",
                        name.c_str(), plain ? "plain" : "fast", first[plain].size(), medians[plain][0],
                        first[plain].empty() ? -1.0 : *std::max_element(first[plain].begin(), first[plain].end()),
                        medians[plain][1]);
        }
        std::printf("%s fast-plain first_ms=%+.3f (x%.2f) repause_ms=%+.3f\n", name.c_str(),
                    medians[0][0] - medians[1][0], medians[0][0] / medians[1][0], medians[0][1] - medians[1][1]);
    }
    return 0;
}
