// The cost of the debugger's run-long features at full speed, headless (the engine and the
// headless host only). For each corpus program, in one process and one build, the three runs by
// turns, RUNS rounds, each to the program's end in the calling thread:
//   <program> off_s=<s> watch_s=<s> profile_s=<s> watch_ratio=<watch/off> profile_ratio=<profile/off>
//             fast_s=<s> watch_fast=<watch/fast> profile_fast=<profile/fast>
// processor seconds, the best of the rounds; a ratio is that of the best times. Off is full speed
// (native code where it can be made), fast the fast form without native code. The watchpoint
// (change and arrival) is on a cell the programs never reach, so that the run never pauses.
//
//   bench_debugger [RUNS [PROGRAM]]      (default 3; Mandelbrot.b, Hanoi.b and Long.b)
#include "cel_HeadlessHost.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

enum class TMode { Off, Watch, Profile, Fast };

// Processor seconds of a run to the end; executed: its count.
double RunSeconds(const std::string& text, TMode mode, uint64_t& executed) {
    cel::THeadlessHost h;
    h.Options.Text = text;
    h.Options.CommentMarkers = false;
    h.Options.OutputVisible = false;
    if (mode == TMode::Watch) h.Watchpoints = {{cel::TapeSize / 2, cel::WatchChange | cel::WatchArrival, true}};
    h.Profile = mode == TMode::Profile;
    h.Options.NativeEngine = mode != TMode::Fast;
    const double start = CpuSeconds();
    h.RunHere(false);
    const double seconds = CpuSeconds() - start;
    executed = h.Interpreter.GetExecuted();
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const char* env = std::getenv("CELLWRIGHT_CORPUS");
    const std::string corpus = env && *env ? env : CELLWRIGHT_DEFAULT_CORPUS;
    for (const char* name : {"Mandelbrot.b", "Hanoi.b", "Long.b"}) {
        if (argc > 2 && std::string(argv[2]) != name) continue;
        const std::string text = ReadFile(corpus + "/" + name);
        if (text.empty()) {
            std::printf("%s not found in %s\n", name, corpus.c_str());
            continue;
        }
        double best[4] = {1e30, 1e30, 1e30, 1e30};
        uint64_t counts[4] = {0, 0, 0, 0};
        for (int round = 0; round < runs; ++round)
            for (const TMode mode : {TMode::Off, TMode::Watch, TMode::Profile, TMode::Fast}) {
                const int m = static_cast<int>(mode);
                best[m] = std::min(best[m], RunSeconds(text, mode, counts[m]));
            }
        if (counts[1] != counts[0] || counts[2] != counts[0])
            std::printf("%s: the executed counts differ: %llu %llu %llu\n", name,
                        static_cast<unsigned long long>(counts[0]), static_cast<unsigned long long>(counts[1]),
                        static_cast<unsigned long long>(counts[2]));
        std::printf("%s off_s=%.3f watch_s=%.3f profile_s=%.3f watch_ratio=%.2f profile_ratio=%.2f fast_s=%.3f "
                    "watch_fast=%.2f profile_fast=%.2f\n",
                    name, best[0], best[1], best[2], best[1] / best[0], best[2] / best[0], best[3], best[1] / best[3],
                    best[2] / best[3]);
        std::fflush(stdout);
    }
    return 0;
}
