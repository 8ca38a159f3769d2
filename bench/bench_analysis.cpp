// bench_analysis: times the engine's analysis of a program (TBFInterpreterBase::Analyze: the
// command list, the folded list and both bracket matchings, as a run does before it starts)
// on two programs of about 2 MB:
//   - LostKng.b from the corpus: dense code with long runs of < and >, few loops;
//   - a synthetic program made here: short runs, deep loop nesting, clear loops, comment lines
//     and procedures, CR LF line ends.
// The corpus is found through CELLWRIGHT_CORPUS or at ../shared/corpus beside the checkout.
// Each iteration builds a fresh engine, as each run does; "reused" rows analyse again on one
// engine, so the lists' memory is already there.

#include "cel_HeadlessHost.h"
#include "cel_Interpreter8.h"
#include "cel_SourceText.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// The folder of the program corpus, or empty when it cannot be found.
std::string CorpusDir() {
    namespace fs = std::filesystem;
    if (const char* env = std::getenv("CELLWRIGHT_CORPUS"); env && *env) {
        return fs::exists(fs::path(env) / "MANIFEST.tsv") ? std::string(env) : std::string();
    }
    const fs::path fallback(CELLWRIGHT_DEFAULT_CORPUS);
    return fs::exists(fallback / "MANIFEST.tsv") ? fallback.string() : std::string();
}

struct TProgram {
    std::string Text;   // as the editor holds it; empty when unavailable
    std::string Error;  // why it is unavailable
};

const TProgram& LostKng() {
    static const TProgram program = [] {
        TProgram p;
        const std::string dir = CorpusDir();
        if (dir.empty()) {
            const char* env = std::getenv("CELLWRIGHT_CORPUS");
            p.Error = env && *env ? "CELLWRIGHT_CORPUS=" + std::string(env) + " holds no MANIFEST.tsv"
                                  : std::string("corpus not found at " CELLWRIGHT_DEFAULT_CORPUS
                                                ": set CELLWRIGHT_CORPUS");
        } else if (!cel::ReadSourceFile(dir + "/LostKng.b", p.Text) || p.Text.empty()) {
            p.Text.clear();
            p.Error = "cannot read " + dir + "/LostKng.b";
        }
        return p;
    }();
    return program;
}

// A small deterministic generator (xorshift64), so every run analyses the same text.
class TRandom {
public:
    uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }
    bool Chance(uint32_t percent) { return Below(100) < percent; }

private:
    uint64_t Next() {
        State ^= State << 13;
        State ^= State >> 7;
        State ^= State << 17;
        return State;
    }
    uint64_t State = 0x9E3779B97F4A7C15ull;
};

// About 2 MiB of program that analyses without error in every mode: brackets balance on their
// own, and procedures open and close only outside loops, so pbrain on or off both match.
std::string MakeSynthetic(size_t targetBytes) {
    static const char* const Words[] = {"move", "the", "counter", "left", "copy", "cell",
                                        "print", "digit", "loop", "done", "add", "carry"};
    static const char Markers[] = ";/*'%#";
    TRandom rng;
    std::string bytes;
    bytes.reserve(targetBytes + 256);
    std::string line;
    uint32_t loopDepth = 0;
    bool inProcedure = false;
    uint32_t procedures = 0;
    size_t width = 72;

    auto endLine = [&] {
        bytes += line;
        bytes += '\n';
        line.clear();
        width = 40 + rng.Below(60);
    };
    while (bytes.size() < targetBytes) {
        if (line.empty() && rng.Chance(6)) {
            // A comment line; its commands count only when comment markers are off.
            line += Markers[rng.Below(6)];
            line += " then [-] the next cell, add 2 (+ +) and print it.";
            endLine();
            continue;
        }
        const uint32_t pick = rng.Below(100);
        if (pick < 55) {
            static const char Runs[] = "+-<>";
            line.append(1 + rng.Below(rng.Chance(20) ? 24 : 4), Runs[rng.Below(4)]);
        } else if (pick < 63) {
            line += rng.Chance(80) ? "[-]" : "[+]";
        } else if (pick < 73) {
            if (loopDepth < 48) {
                line += '[';
                ++loopDepth;
            }
        } else if (pick < 83) {
            if (loopDepth > 0) {
                line += ']';
                --loopDepth;
            }
        } else if (pick < 88) {
            line += rng.Chance(70) ? '.' : ',';
        } else if (pick < 92) {
            if (loopDepth == 0) {
                if (!inProcedure) {
                    line += '(';
                    inProcedure = true;
                } else {
                    line += ')';
                    inProcedure = false;
                    ++procedures;
                }
            }
        } else if (pick < 94) {
            if (procedures > 0) line += ':';
        } else {
            line += ' ';
            line += Words[rng.Below(12)];
            line += ' ';
        }
        if (line.size() >= width) endLine();
    }
    line.append(loopDepth, ']');
    if (inProcedure) line += ')';
    bytes += line;
    return cel::SourceTextFromBytes(bytes);
}

const TProgram& Synthetic() {
    static const TProgram program{MakeSynthetic(2u << 20), {}};
    return program;
}

// Args: comment markers (0/1), pbrain (0/1), fresh engine per iteration (0/1).
void BM_Analyze(benchmark::State& state, const TProgram& (*source)()) {
    const TProgram& program = source();
    if (program.Text.empty()) {
        state.SkipWithError(program.Error.c_str());
        return;
    }
    const bool markers = state.range(0) != 0;
    const bool pbrain = state.range(1) != 0;
    const bool fresh = state.range(2) != 0;

    cel::THeadlessHost host;
    uint32_t commands = 0;
    uint32_t folded = 0;
    int error = 0;
    if (fresh) {
        for (auto _ : state) {
            cel::TBFInterpreter8 engine(host);
            error = engine.Analyze(program.Text, markers, pbrain);
            commands = engine.GetCommandCount();
            folded = engine.GetFoldedCount();
            benchmark::DoNotOptimize(engine.GetFoldedList().data());
        }
    } else {
        cel::TBFInterpreter8 engine(host);
        for (auto _ : state) {
            error = engine.Analyze(program.Text, markers, pbrain);
            benchmark::DoNotOptimize(engine.GetFoldedList().data());
        }
        commands = engine.GetCommandCount();
        folded = engine.GetFoldedCount();
    }
    if (error != 0) {
        state.SkipWithError(("the analysis reported " + cel::ErrorText(error)).c_str());
        return;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(program.Text.size()));
    state.counters["commands"] = commands;
    state.counters["folded"] = folded;
    state.counters["commands/s"] =
        benchmark::Counter(commands, benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK_CAPTURE(BM_Analyze, LostKng, &LostKng)
    ->ArgNames({"markers", "pbrain", "fresh"})
    ->Args({0, 0, 1})
    ->Args({1, 0, 1})
    ->Args({0, 0, 0})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(BM_Analyze, Synthetic, &Synthetic)
    ->ArgNames({"markers", "pbrain", "fresh"})
    ->ArgsProduct({{0, 1}, {0, 1}, {1}})
    ->Args({0, 0, 0})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
