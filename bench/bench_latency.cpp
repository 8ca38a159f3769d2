// Debug latency at full speed: how long a run spinning in one long inner loop takes, from the
// Debug request, to stand paused. Headless (the engine and the headless host only). For each
// program and engine, prints one line:
//   <program> engine=<jit|fast|plain> runs=<n> pause_ms_median=<ms> pause_ms_max=<ms>
//
//   bench_latency [RUNS]      (default 11)
//
// Fractal.b comes from bench/programs; Long.b is taken from the corpus when CELLWRIGHT_CORPUS (or
// the default corpus folder) has it.
#include "cel_HeadlessHost.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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

// Milliseconds from the Debug request to the pause, once.
// engine: "jit" (native code), "fast" (the fast form) or "plain" (the folded list as it is).
double PauseLatency(const std::string& text, const std::string& engine) {
    cel::THeadlessHost h;
    h.Options.Text = text;
    h.Options.CommentMarkers = false;
    h.Options.OutputVisible = false;
    h.Options.PlainEngine = engine == "plain";
    h.Options.NativeEngine = engine == "jit";
    h.Options.NativeAfter = 0;
    h.Options.NativePerRecord = 0;
    h.StartRun(false, false);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));  // well inside the loop
    cel::TBFInterpreterBase& run = h.Interpreter.Engine();
    const Clock::time_point start = Clock::now();
    h.Gui([&] { h.Interpreter.Pause(); });
    while (!(h.RunFlags.Paused.load() && run.IsWaiting()) && !run.IsFinished())
        std::this_thread::yield();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    const bool finished = run.IsFinished();
    h.Interpreter.Terminate();
    run.WaitFor();
    return finished ? -1 : ms;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
    const char* env = std::getenv("CELLWRIGHT_CORPUS");
    const std::string corpus = env && *env ? env : CELLWRIGHT_DEFAULT_CORPUS;
    const std::string far(16384, '>');
    std::vector<std::pair<std::string, std::string>> programs = {
        {"empty-loop", "+[]"},
        {"pointer-round-the-tape", "+[>[-]+]"},  // every cell it reaches set to 1: never 0
        {"multiply-never-ends", "+[-->+<]"},        // stepped: its counter never reaches 0
        {"repeating-inner-loop", "+[>++[->+<]<--]"},
        {"scan-round-the-tape", "+" + far + "+[" + far + "]"},
    };
    const std::string fractal = ReadFile(CELLWRIGHT_BENCH_PROGRAMS "/Fractal.b");
    if (!fractal.empty()) programs.emplace_back("Fractal.b", fractal);
    const std::string longText = ReadFile(corpus + "/Long.b");
    if (!longText.empty()) programs.emplace_back("Long.b", longText);
    for (const auto& [name, text] : programs) {
        for (const std::string engine : {"jit", "fast", "plain"}) {
            std::vector<double> ms;
            for (int r = 0; r < runs; ++r) {
                const double t = PauseLatency(text, engine);
                if (t >= 0) ms.push_back(t);
            }
            if (ms.empty()) {
                std::printf("%s engine=%s ended before the request\n", name.c_str(), engine.c_str());
                continue;
            }
            std::sort(ms.begin(), ms.end());
            std::printf("%s engine=%s runs=%zu pause_ms_median=%.3f pause_ms_max=%.3f\n", name.c_str(),
                        engine.c_str(), ms.size(), ms[ms.size() / 2], ms.back());
        }
    }
    return 0;
}
