// Properties over many generated programs: fast and single-step execution agree, and pausing a
// program anywhere (Trace, Run to Cursor, Debug, Watch) and continuing ends where an
// uninterrupted run ends. Programs come from fixed seeds and always terminate.
#include "run_control_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace celtest::runcontrol;
using celtest::Window;

// ---- Program generator ----

struct TProgram {
    std::string Text;
    bool Wide = false;
    bool Proc = false;
    std::string Input;
    uint64_t Steps = 0;  // single-step count of the whole run
    uint32_t Reads = 0;  // input commands executed
};

struct TShape {
    int Depth = 2;           // loop nesting
    int MaxCount = 4;        // loop counter values 0..MaxCount
    int Items = 10;          // top-level items
    uint64_t MinSteps = 0;      // single-step count of the whole run, at least
    uint64_t MaxSteps = 4000;   // and at most
    int LoopPercent = 22;       // share of loops among the items
    bool IllegalCalls = false;  // now and then a call of a value with no procedure
};

// Loops count a counter cell down to 0 and their bodies leave that cell alone and bring the
// pointer back, so the pointer position is known statically everywhere. Procedure bodies bring
// the pointer back too. Cells are chosen in a window around 0, so moves wrap around the tape's
// ends. Anything that still runs too long (a procedure body changing a counter, a 16-bit clear
// loop over a large value) is thrown away and generated anew.
class TGenerator {
public:
    explicit TGenerator(uint32_t seed) : R(seed) {}

    TProgram Make(bool wide, bool proc, const TShape& shape) {
        for (;;) {
            Wide = wide;
            Proc = proc;
            Shape = shape;
            Text.clear();
            Ptr = 0;
            Protected.clear();
            Leaves.clear();
            Callers.clear();
            if (proc)
                for (int k = Pick(1, 3); k > 0; --k) Define();
            Items(Pick(2, shape.Items), 0);
            if (Text.empty()) continue;
            TProgram p;
            p.Text = Text;
            p.Wide = wide;
            p.Proc = proc;
            for (int i = Pick(0, 40); i > 0; --i) p.Input.push_back(static_cast<char>(Pick(0, 255)));
            if (Chance(20)) p.Input += "\r\n";
            TRef r(p.Text, wide, proc, p.Input);
            if (!r.RunToEnd(shape.MaxSteps) || r.Steps < shape.MinSteps) continue;
            p.Steps = r.Steps;
            p.Reads = static_cast<uint32_t>(r.InputPos) + r.ReadsPastEnd;
            return p;
        }
    }

    int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(R); }
    bool Chance(int percent) { return Pick(0, 99) < percent; }

private:
    static constexpr int Lowest = -3;
    static constexpr int Highest = 10;

    void Emit(char c) {
        if (Chance(6)) {
            // Non-commands between commands: they never break a run or a clear loop.
            static const char* const noise[] = {" ", "\r\n", "x", "\t", "#", "(", ")", ":"};
            const char* n = noise[Pick(0, Proc ? 4 : 7)];
            Text += n;
        }
        Text.push_back(c);
    }
    void EmitN(char c, int n) {
        for (int i = 0; i < n; ++i) Emit(c);
    }
    void MoveTo(int cell) {
        while (Ptr < cell) Emit('>'), ++Ptr;
        while (Ptr > cell) Emit('<'), --Ptr;
    }
    int FreeCell() {
        for (;;) {
            const int c = Chance(60) ? std::clamp(Ptr + Pick(-2, 2), Lowest, Highest)
                                     : Pick(Lowest, Highest);
            if (std::find(Protected.begin(), Protected.end(), c) == Protected.end()) return c;
        }
    }
    void SetCell(int value) {
        Emit('[');
        Emit('-');
        Emit(']');
        EmitN('+', value);
    }
    void Clear() {
        if (!Wide) {
            Emit('[');
            Emit(Chance(50) ? '-' : '+');
            Emit(']');
            return;
        }
        // 16-bit: [+] only over a small negative value.
        Emit('[');
        Emit('-');
        Emit(']');
        if (Chance(40)) {
            EmitN('-', Pick(1, 4));
            Emit('[');
            Emit('+');
            Emit(']');
        }
    }

    void Items(int n, int depth) {
        for (int i = 0; i < n; ++i) Item(depth);
    }

    void Item(int depth) {
        if (depth < Shape.Depth && Chance(Shape.LoopPercent)) {
            Loop(depth);
            return;
        }
        if (Proc && Chance(15)) {
            Call();
            return;
        }
        if (Chance(6)) {
            Scan();
            return;
        }
        if (Chance(5)) {
            Walk();
            return;
        }
        const int kind = Pick(0, 99);
        if (kind < 22) {
            MoveTo(FreeCell());
            EmitN('+', Pick(1, 9));
        } else if (kind < 34) {
            if (Wide && Chance(60)) return;
            MoveTo(FreeCell());
            EmitN('-', Pick(1, 6));
        } else if (kind < 44) {
            MoveTo(FreeCell());
            Emit('.');
        } else if (kind < 50) {
            MoveTo(FreeCell());
            Emit(',');
        } else if (kind < 58) {
            MoveTo(FreeCell());
            Clear();
        } else if (kind < 80) {
            if (depth >= Shape.Depth) return;
            Loop(depth);
        } else if (kind < 90) {
            if (!Proc || depth > 0) return;
            Define();
        } else if (kind < 98) {
            if (!Proc) return;
            Call();
        } else {
            if (!Proc || !Shape.IllegalCalls) return;
            MoveTo(FreeCell());
            SetCell(Pick(20, 24));  // never defined
            Emit(':');
        }
    }

    void Loop(int depth) {
        const int counter = FreeCell();
        MoveTo(counter);
        // The counter steps by 1 mostly, else by 2 or 3 from a multiple of the step.
        const int step = Chance(70) ? 1 : Pick(2, 3);
        const int count = Pick(0, Shape.MaxCount);
        SetCell(step * count);
        const bool decrementFirst = Chance(40);
        Emit('[');
        if (decrementFirst) EmitN('-', step);
        // A loop never entered may go round the tape: its net move stays a whole tape length.
        if (count == 0 && Chance(25)) TapeRound();
        Protected.push_back(counter);
        Items(Pick(1, 4), depth + 1);
        Protected.pop_back();
        MoveTo(counter);
        if (!decrementFirst) EmitN('-', step);
        Emit(']');
    }

    // A scan ([>], [<<]) over k cells set to 1 up to a cleared one, so it ends where the
    // generator knows; near the window's ends it crosses the tape's ends.
    void Scan() {
        if (Chance(15)) {
            // A stride of whole tape lengths, over a cleared cell: on any other it never ends.
            MoveTo(FreeCell());
            SetCell(0);
            Emit('[');
            TapeRound();
            Emit(']');
            return;
        }
        const int stride = Pick(1, 2);
        const int dir = Chance(50) ? stride : -stride;
        const int k = Pick(0, 3);
        const int start = FreeCell();
        for (int j = 0; j <= k + 1; ++j) {
            const int c = start + dir * j;
            if (c < Lowest || c > Highest || std::find(Protected.begin(), Protected.end(), c) != Protected.end())
                return;
        }
        const int stop = start + dir * (k + 1);
        MoveTo(stop);
        SetCell(0);
        for (int j = k; j >= 0; --j) {
            MoveTo(start + dir * j);
            SetCell(1);
        }
        Emit('[');
        EmitN(dir > 0 ? '>' : '<', stride);
        Emit(']');
        Ptr = stop;
    }

    // Moves of one or two tape lengths, which leave the pointer where it was.
    void TapeRound() {
        EmitN(Chance(50) ? '>' : '<', 32768 * Pick(1, 2));
    }

    // A walk ([>[-<<+>>]>>]): a loop whose body is moves and one multiply loop, going stride
    // cells a pass over k marked cells up to a cleared one, each with a data cell beside it.
    void Walk() {
        const int stride = Pick(2, 3);
        const int dir = Chance(50) ? stride : -stride;
        const int k = Pick(0, 2);
        const int t = Pick(-3, 3);
        if (t == 0 || (1 + t) % stride == 0) return;  // the target is never a marker
        const int start = FreeCell();
        auto usable = [&](int c) {
            return c >= Lowest && c <= Highest &&
                   std::find(Protected.begin(), Protected.end(), c) == Protected.end();
        };
        for (int j = 0; j <= k + 1; ++j) {
            const int m = start + dir * j;
            if (!usable(m) || (j <= k && (!usable(m + 1) || !usable(m + 1 + t)))) return;
        }
        const int stop = start + dir * (k + 1);
        MoveTo(stop);
        SetCell(0);
        for (int j = k; j >= 0; --j) {
            MoveTo(start + dir * j + 1);
            SetCell(Pick(0, 4));
            MoveTo(start + dir * j);
            SetCell(Pick(1, 3));
        }
        Emit('[');
        MoveTo(start + 1);
        Emit('[');
        Emit('-');
        MoveTo(start + 1 + t);
        EmitN('+', Pick(1, 3));
        MoveTo(start + 1);
        Emit(']');
        MoveTo(start + dir);
        Emit(']');
        Ptr = stop;
    }

    // A procedure: leaves only change cells; callers may also call a leaf one cell further on.
    void Define() {
        const bool caller = !Leaves.empty() && Chance(40);
        int value;
        if (caller) {
            value = Pick(10, 14);
        } else if (!Leaves.empty() && Chance(30)) {
            value = Leaves[Pick(0, static_cast<int>(Leaves.size()) - 1)];  // redefined
        } else {
            value = Pick(1, 8);
            if (std::find(Leaves.begin(), Leaves.end(), value) != Leaves.end()) return;
        }
        if (caller && std::find(Callers.begin(), Callers.end(), value) != Callers.end()) return;
        MoveTo(FreeCell());
        SetCell(value);
        const int home = Ptr;
        const std::vector<int> saved = Protected;
        Protected.clear();
        Emit('(');
        for (int i = Pick(1, 3); i > 0; --i) {
            const int cell = home + Pick(0, 2);
            MoveTo(cell);
            const int kind = Pick(0, 9);
            if (kind < 4) EmitN('+', Pick(1, 5));
            else if (kind < 6 && !Wide) EmitN('-', Pick(1, 3));
            else if (kind < 8) Emit('.');
            else Clear();
        }
        if (caller) {
            MoveTo(home + 1);
            SetCell(Leaves[Pick(0, static_cast<int>(Leaves.size()) - 1)]);
            Emit(':');
        }
        MoveTo(home);
        Emit(')');
        Protected = saved;
        if (caller) Callers.push_back(value);
        else if (std::find(Leaves.begin(), Leaves.end(), value) == Leaves.end()) Leaves.push_back(value);
    }

    void Call() {
        std::vector<int> values = Leaves;
        values.insert(values.end(), Callers.begin(), Callers.end());
        if (values.empty()) return;
        MoveTo(FreeCell());
        SetCell(values[Pick(0, static_cast<int>(values.size()) - 1)]);
        Emit(':');
    }

    std::mt19937 R;
    bool Wide = false;
    bool Proc = false;
    TShape Shape;
    std::string Text;
    int Ptr = 0;
    std::vector<int> Protected;
    std::vector<int> Leaves;
    std::vector<int> Callers;
};

std::string Describe(const TProgram& p, int index) {
    std::string s = "program ";
    s += std::to_string(index);
    s += p.Wide ? " (16-bit" : " (8-bit";
    s += p.Proc ? ", pbrain): " : "): ";
    s += p.Text;
    return s;
}

// ---- Host and the main window's commands ----

// The test host loaded with a generated program, its typed input served as the command-line
// runner serves standard input.
class THost : public celtest::TTestHost {
public:
    explicit THost(const TProgram& p) {
        Options.Text = p.Text;
        Options.ProcMode = p.Proc;
        ServeInput(p.Input);
    }
};

// ---- Comparing the engine with the reference ----

// A random caret offset for Run to Cursor while paused.
uint32_t PickCaret(TGenerator& gen, uint32_t length) {
    return static_cast<uint32_t>(gen.Pick(0, static_cast<int>(length)));
}

// The engine stands paused where the reference stands after the same number of commands.
void ExpectSameAsReference(TRef& r, const TSeen& s) {
    ASSERT_GE(s.Executed, r.Steps) << "the count went back";
    r.AdvanceTo(s.Executed);
    ASSERT_FALSE(r.Done()) << "paused after the reference's end";
    EXPECT_EQ(s.SelStart, r.Offset());
    EXPECT_EQ(s.DataPtr, r.Dp);
    EXPECT_EQ(s.Cells, Window(r.Tape));
}

void ExpectFinalState(THost& h, const TRef& r, const celtest::TRunResult& plain) {
    EXPECT_FALSE(h.RunFlags.Running.load());
    const TSeen s = Look(h);
    EXPECT_EQ(s.Executed, r.Steps);
    EXPECT_EQ(s.DataPtr, r.Dp);
    EXPECT_EQ(s.Cells, Window(r.Tape));
    EXPECT_EQ(h.OutputText(), plain.Output);
    EXPECT_EQ(h.CountEvents("Ready"), 1);
}

// A finished or budgeted run left the machine and the output file as the reference has them.
void ExpectMachineOf(const celtest::TRunResult& run, const TRef& r) {
    EXPECT_EQ(run.Executed, r.Steps);
    EXPECT_EQ(run.DataPtr, r.Dp);
    EXPECT_EQ(run.Tape, r.Tape);
    EXPECT_EQ(run.FileOutput, r.Out);
}

// A run of a generated program with its text, width, mode and input.
celtest::TRunSetup JobFor(const TProgram& p) {
    celtest::TRunSetup job;
    job.Text = p.Text;
    job.Wide = p.Wide;
    job.ProcMode = p.Proc;
    job.Input = p.Input;
    return job;
}

celtest::TRunResult PlainRun(const TProgram& p) {
    celtest::TRunSetup job = JobFor(p);
    job.CaptureFileOutput = false;
    return celtest::RunProgram(job, 60000);
}

// ---------------------------------------------------------------------------------------------

TEST(Properties, FastAndSingleStepRunsAgree) {
    TGenerator gen(20240611);
    TShape shape;
    shape.Depth = 3;
    shape.Items = 12;
    shape.MaxSteps = 3000;
    shape.IllegalCalls = true;
    for (int i = 0; i < celtest::Rounds(240); ++i) {
        const TProgram p = gen.Make(i % 2 == 1, (i / 2) % 2 == 1, shape);
        SCOPED_TRACE(Describe(p, i));
        celtest::TRunSetup job = JobFor(p);
        job.OutputBufferSize = static_cast<uint32_t>(gen.Pick(1, 255));
        const celtest::TRunResult native = celtest::RunProgram(job, 60000);
        job.Form = celtest::TForm::Fast;
        const celtest::TRunResult fast = celtest::RunProgram(job, 60000);
        job.Form = celtest::TForm::Plain;
        const celtest::TRunResult plain = celtest::RunProgram(job, 60000);
        job.Form = celtest::TForm::Native;
        job.SingleStep = true;
        const celtest::TRunResult single = celtest::RunProgram(job, 60000);
        ASSERT_TRUE(native.Finished && fast.Finished && plain.Finished && single.Finished);

        TRef r(p.Text, p.Wide, p.Proc, p.Input);
        ASSERT_TRUE(r.RunToEnd(shape.MaxSteps));
        for (const celtest::TRunResult* run : {&native, &fast, &plain, &single}) {
            SCOPED_TRACE(run == &native ? "native code" : run == &fast ? "fast form" : run == &plain ? "plain folded" : "single steps");
            ExpectMachineOf(*run, r);
            EXPECT_EQ(run->Error, r.Illegal ? 109 : 0);
        }
        EXPECT_EQ(native.Output, single.Output);
        EXPECT_EQ(native.OutputLines, single.OutputLines);
        EXPECT_EQ(fast.Output, single.Output);
        EXPECT_EQ(fast.OutputLines, single.OutputLines);
        EXPECT_EQ(plain.Output, single.Output);
        if (HasFailure()) return;
    }
}

// A budget ends a run in the calling thread at a check of the engine's own: native code and the
// fast form, whose checks are the sparsest and at the same places, end first and together, and
// the plain folded loop and single steps given the count
// where it ended stop exactly there, in the reference's state after as many steps. Generated
// programs meet budgets anywhere in their runs; endless loops of every kind meet one at all.
TEST(Properties, BudgetedRunsInTheCallingThreadAgree) {
    TGenerator gen(4242);
    TShape shape;
    shape.Depth = 3;
    shape.Items = 12;
    shape.MaxSteps = 3000;
    std::vector<TProgram> programs;
    for (int i = 0; i < celtest::Rounds(120); ++i) programs.push_back(gen.Make(i % 2 == 1, (i / 2) % 2 == 1, shape));
    // Endless: a loop over a cell nothing changes, a clear loop set again, a pointer walking the
    // tape, closed forms that never reach 0, a loop around an inner loop, a walk whose passes
    // carry its cells on round the tape, recursion.
    for (const char* text : {"+[]", "+[[-]+]", "+[>+<+>]", "+[>++<]", "+[-->+<]", "+[>+[-]<]", "+>+<[>[->+>+<<]>]",
                             "+(:):"}) {
        TProgram p;
        p.Text = text;
        p.Proc = p.Text.find('(') != std::string::npos;
        p.Steps = UINT64_MAX;
        programs.push_back(p);
        p.Wide = true;
        programs.push_back(p);
    }
    // Walks whose pass is a memo loop but the moves, which native code runs in a loop of its
    // own once the memo loop is steady: budgets end them part way.
    for (const char* text : {">+>+>+>+>++<[>[<+++>->>>>>+++[->+++++<]>[-]<<<<<<]<<]",
                             "<<<<<>+>+>+>+>++++<[>[<+++>->>>>>+++[->+++++<]>[-]<<<<<<]<<]"}) {
        for (const bool wide : {false, true}) {
            TProgram p;
            p.Text = text;
            p.Wide = wide;
            TRef r(p.Text, p.Wide, p.Proc, p.Input);
            ASSERT_TRUE(r.RunToEnd(1000000));
            p.Steps = r.Steps;
            for (int k = 0; k < 4; ++k) programs.push_back(p);
        }
    }
    for (size_t i = 0; i < programs.size(); ++i) {
        const TProgram& p = programs[i];
        SCOPED_TRACE(Describe(p, static_cast<int>(i)));
        celtest::TRunSetup job = JobFor(p);
        job.InCaller = true;
        const bool endless = p.Steps == UINT64_MAX;
        job.Budget = endless ? 20000 : static_cast<uint64_t>(gen.Pick(0, static_cast<int>(p.Steps)));
        job.Form = celtest::TForm::Fast;
        const celtest::TRunResult fast = celtest::RunProgram(job);
        ASSERT_GE(fast.Executed, fast.BudgetSpent ? job.Budget : 0);
        ASSERT_EQ(fast.BudgetSpent, endless || fast.Executed < p.Steps);
        job.Form = celtest::TForm::Native;
        const celtest::TRunResult native = celtest::RunProgram(job);
        job.Budget = fast.BudgetSpent ? fast.Executed : fast.Executed + 1;
        job.Form = celtest::TForm::Plain;
        const celtest::TRunResult plain = celtest::RunProgram(job);
        job.Form = celtest::TForm::Native;
        job.SingleStep = true;
        const celtest::TRunResult single = celtest::RunProgram(job);

        TRef r(p.Text, p.Wide, p.Proc, p.Input);
        r.AdvanceTo(fast.Executed);
        for (const celtest::TRunResult* run : {&native, &fast, &plain, &single}) {
            SCOPED_TRACE(run == &native ? "native code" : run == &fast ? "fast form" : run == &plain ? "plain folded" : "single steps");
            EXPECT_EQ(run->BudgetSpent, fast.BudgetSpent);
            ExpectMachineOf(*run, r);
        }
        EXPECT_EQ(native.Output, fast.Output);
        EXPECT_EQ(plain.Output, fast.Output);
        EXPECT_EQ(single.Output, fast.Output);
        if (HasFailure()) return;
    }
}

// A counted loop at the pointer's cell around blocks one level down, a cell to the right, and
// straight changes of the cells beside it; the innermost with a clear (so that no loop is a closed
// form), and with far, a trip far to the right and back (further than a kept run may reach).
std::string CountedBlock(std::mt19937& rng, int depth, bool far) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    std::string s;
    for (int i = pick(1, 3); i > 0; --i) s += std::string(static_cast<size_t>(i), '>') + (pick(0, 1) ? "++" : "+") + std::string(static_cast<size_t>(i), '<');
    if (depth == 0) {
        return s + ">>[-]<<";
    }
    s += "[-]" + std::string(static_cast<size_t>(pick(3, 9)), '+') + "[>" + CountedBlock(rng, depth - 1, far) + "<";
    if (far && depth == 1) s += std::string(80, '>') + "+" + std::string(80, '<');
    s += "-]";
    if (pick(0, 1)) s += ">>+<<";
    return s;
}

// p (its Steps known) on native code in the calling thread, whole and to a random budget: each
// run ends in the reference's state at its count, and with againstFast its output is the fast
// form's too.
void ExpectNativeRunsAgree(const TProgram& p, TGenerator& gen, bool againstFast) {
    for (const bool whole : {true, false}) {
        celtest::TRunSetup job = JobFor(p);
        job.InCaller = true;
        job.Budget = whole ? UINT64_MAX : static_cast<uint64_t>(gen.Pick(1, static_cast<int>(p.Steps)));
        job.Form = celtest::TForm::Native;
        const celtest::TRunResult native = celtest::RunProgram(job);
        // A budget ends a run at its first check at or past it (see above).
        EXPECT_GE(native.Executed, std::min(job.Budget, p.Steps));
        TRef r(p.Text, p.Wide, p.Proc, p.Input);
        r.AdvanceTo(native.Executed);
        ExpectMachineOf(native, r);
        if (againstFast) {
            job.Form = celtest::TForm::Fast;
            EXPECT_EQ(native.Output, celtest::RunProgram(job).Output);
        }
        if (::testing::Test::HasFailure()) return;
    }
}

// Programs whose outer loop enters the same loops without input or output again and again, which
// native code does at once from the runs it kept: with the cells cleared before each entry (the
// same run again), left as the last pass left them (another run each time), with output after
// each pass, or with a trip further than a kept run reaches. Each run, whole or ended by a budget,
// ends in the reference's state at its count.
TEST(Properties, RepeatedLoopsDoneAtOnceAgree) {
    std::mt19937 rng(2027);
    std::vector<TProgram> programs;
    for (int i = 0; i < celtest::Rounds(48); ++i) {
        const int variant = i % 4;
        TProgram p;
        p.Wide = (i / 4) % 2 == 1;
        p.Text = std::string(static_cast<size_t>(3 + i % 5), '+') + "[>";
        if (variant != 1) p.Text += ">>>>>>[-]<[-]<[-]<[-]<[-]<[-]<";
        p.Text += CountedBlock(rng, variant == 3 ? 3 : 3 + (i / 8) % 2, variant == 3);
        if (variant == 2) p.Text += ">>.<<";
        p.Text += "<-]>>>";
        if (i % 3 == 0) p.Text = "<<<<" + p.Text;  // across the tape's end
        TRef r(p.Text, p.Wide, p.Proc, p.Input);
        ASSERT_TRUE(r.RunToEnd(5000000)) << p.Text;
        p.Steps = r.Steps;
        programs.push_back(p);
    }
    // Two levels of nested walks (823,137 commands): traces of the outer loops take the inner
    // ones from their kept runs.
    for (const bool wide : {false, true}) {
        TProgram p;
        p.Text = ">+>+>+>+>++<[>[<+++>->>>>>>+>+>+>+>++<[>[<+++>->>>>>+++[->+++++<]>[-]<<<<<<]<<]>[-]<<<<<]<<]>.";
        if (wide) p.Text = "<<<<<<<<<" + p.Text;
        p.Wide = wide;
        TRef r(p.Text, p.Wide, p.Proc, p.Input);
        ASSERT_TRUE(r.RunToEnd(1000000));
        p.Steps = r.Steps;
        programs.insert(programs.end(), 3, p);
        // A walk that ends 4 cells left of its entry, three times in each pass of a loop that
        // runs three times: that loop's trace takes the walk from its kept run.
        p.Text = "+++[>+++[>>+>+>+>+>+++<[>[<+++>->>>>>++++++[->+++++<]>[-]<<<<<<]<<]>[-]<<-]<-]";
        TRef w(p.Text, p.Wide, p.Proc, p.Input);
        ASSERT_TRUE(w.RunToEnd(1000000));
        p.Steps = w.Steps;
        programs.insert(programs.end(), 3, p);
    }
    TGenerator gen(99);
    for (size_t i = 0; i < programs.size(); ++i) {
        SCOPED_TRACE(Describe(programs[i], static_cast<int>(i)));
        ExpectNativeRunsAgree(programs[i], gen, true);
        if (HasFailure()) return;
    }
}

// A body for an outer counting loop over the cells from 1 (the counter at 0 is never touched),
// which native code makes as straight runs and scans: adds, clears, multiply loops (counter steps
// of 1 and -1) and moves, some of them by most of the tape, so that a run's pending move passes
// its end; and scans by strides from 1 to 33 over chains of 0 to 45 marked cells, set afresh
// each pass, right and left (left ones from near cell 0 cross the tape's start). The pointer
// ends on cell 1.
std::string StraightAndScans(std::mt19937& rng) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    std::string s;
    int ptr = 1;
    const auto moveTo = [&](int cell) {
        s.append(static_cast<size_t>(std::abs(cell - ptr)), cell > ptr ? '>' : '<');
        ptr = cell;
    };
    for (int item = pick(4, 9); item > 0; --item) {
        const int kind = pick(0, 13);
        if (kind >= 12) {
            // A walk carrying the digits between its tested cells on by a stride a pass, its
            // counter stepping down or up ([>[->>>+<<<]<<<<] shaped): k tested cells not 0, then
            // a 0; right, left, or left across the tape's start.
            const int stride = pick(2, 12), a = pick(1, stride - 1);
            const int k = pick(0, 4) == 0 ? pick(60, 70) : pick(0, 9);
            const bool right = pick(0, 1) == 1, across = !right && pick(0, 2) == 0;
            const int dir = right ? stride : -stride, carry = pick(0, 1) ? stride : -stride;
            int at = right ? pick(31, 200) : across ? pick(1, 3 * stride) : pick((k + 3) * stride + 40, (k + 3) * stride + 400);
            while (across && (at % stride == 0 || (at + a) % stride == 0)) ++at;  // cell 0 is the outer loop's
            moveTo(at);
            int rel = 0;
            const auto go = [&](int cell) {
                s.append(static_cast<size_t>(std::abs(cell - rel)), cell > rel ? '>' : '<');
                rel = cell;
            };
            for (int j = 0; j <= k + 1; ++j) {
                go(j * dir);
                s += "[-]" + std::string(static_cast<size_t>(j <= k ? pick(1, 3) : 0), '+');
                go(j * dir + a);
                s += "[-]" + std::string(static_cast<size_t>(pick(0, 4)), '+');
            }
            go(0);
            const bool up = k <= 2 && pick(0, 1) == 0;  // 65536 trips a pass on 16-bit cells
            s += "[";
            go(a);
            s += up ? "[+" : "[-";
            go(a + carry);
            s.append(static_cast<size_t>(pick(1, 3)), pick(0, 1) ? '+' : '-');
            go(a);
            s += "]";
            go(dir);
            s += "]";
            ptr = at + (k + 1) * dir;
            if (ptr < 1) ptr += 32768;
        } else if (kind >= 10) {
            // A knot: three neighbouring cells changed over and over, cleared and multiplied into
            // each other, here or on the last cells of the tape, left across its start and back.
            const int base = pick(1, 28);
            const int far = kind == 11 ? base + 3 : 0;
            moveTo(base);
            s.append(static_cast<size_t>(far), '<');
            int at = 0;
            const auto go = [&](int cell) {
                s.append(static_cast<size_t>(std::abs(cell - at)), cell > at ? '>' : '<');
                at = cell;
            };
            for (int op = pick(3, 8); op > 0; --op) {
                const int cell = pick(0, 2), other = (cell + pick(1, 2)) % 3;
                go(cell);
                switch (pick(0, 3)) {
                case 0: s.append(static_cast<size_t>(pick(1, 5)), '+'); break;
                case 1: s.append(static_cast<size_t>(pick(1, 5)), '-'); break;
                case 2: s += "[-]"; break;
                default:
                    s += pick(0, 1) ? "[-" : "[+";
                    go(other);
                    s.append(static_cast<size_t>(pick(1, 3)), pick(0, 1) ? '+' : '-');
                    go(cell);
                    s += "]";
                    break;
                }
            }
            go(0);
            s.append(static_cast<size_t>(far), '>');
        } else if (kind < 3) {
            // A scan from cell at over k marked cells to a cleared one.
            const int stride = pick(0, 3) == 0 ? pick(17, 33) : pick(1, 16);
            const bool right = pick(0, 1) == 1;
            const int k = pick(0, 4) == 0 ? pick(32, 45) : pick(0, 12);
            const int at = right ? pick(1, 40) : pick(0, 3) == 0 ? pick(1, 40) : pick((k + 1) * stride + 1, 1600);
            const int dir = right ? stride : -stride;
            if (!right && at % stride == 0 && at / stride <= k + 1) continue;  // the counter's cell
            for (int j = 1; j <= k + 1; ++j) {
                moveTo(at + dir * j);
                s += j <= k ? "[-]+" : "[-]";
            }
            moveTo(at);
            s += "[-]+[" + std::string(static_cast<size_t>(stride), right ? '>' : '<') + "]";
            ptr = at + dir * (k + 1);
            // Back from across the tape's start the long way round is as good: the same cell.
            if (ptr < 1) ptr += 32768;
        } else if (kind < 5) {
            // A far trip: most of the tape out, a change there, and back.
            const int out = pick(12000, 20000);
            s += std::string(static_cast<size_t>(out), '>') + std::string(static_cast<size_t>(pick(1, 5)), '+') +
                 std::string(static_cast<size_t>(out), '<');
        } else if (kind < 7) {
            // A multiply loop from a cell to one or two others, its counter stepping by -1 or 1.
            const int from = pick(1, 30), to = pick(1, 30), other = pick(1, 30);
            if (from == to || from == other) continue;
            moveTo(from);
            const bool down = pick(0, 2) != 0;
            s += down ? "[-" : "[+";
            moveTo(to);
            s += std::string(static_cast<size_t>(pick(1, 3)), '+');
            moveTo(other);
            s += std::string(static_cast<size_t>(pick(1, 2)), '-');
            moveTo(from);
            s += "]";
        } else {
            moveTo(pick(1, 30));
            s += pick(0, 3) == 0 ? std::string("[-]") : std::string(static_cast<size_t>(pick(1, 7)), pick(0, 1) ? '+' : '-');
        }
    }
    // Back to cell 1 the short way (a pointer past the tape's end is back at its start).
    if (ptr > 16384) {
        s.append(static_cast<size_t>(32768 - ptr + 1), '>');
        ptr = 1;
    }
    moveTo(1);
    return s;
}

// Outer loops over such bodies, on native code whole and with a random budget: each run ends in
// the reference's state at its count.
TEST(Properties, StraightRunsAndScansAgree) {
    std::mt19937 rng(4242);
    TGenerator gen(4243);
    for (int i = 0; i < celtest::Rounds(24); ++i) {
        TProgram p;
        p.Wide = i % 3 == 2;
        p.Text = std::string(static_cast<size_t>(2 + i % 3), '+') + "[>" + StraightAndScans(rng) + "<-]>.";
        TRef ref(p.Text, p.Wide, p.Proc, p.Input);
        ASSERT_TRUE(ref.RunToEnd(20000000)) << p.Text;
        p.Steps = ref.Steps;
        SCOPED_TRACE(Describe(p, i));
        ExpectNativeRunsAgree(p, gen, false);
        if (HasFailure()) return;
    }
}

TEST(Properties, TraceSomeStepsThenRun) {
    TGenerator gen(777);
    TShape shape;
    shape.MaxSteps = 2000;
    for (int i = 0; i < celtest::Rounds(120); ++i) {
        const TProgram p = gen.Make(i % 2 == 1, i % 3 == 2, shape);
        SCOPED_TRACE(Describe(p, i));
        const celtest::TRunResult plain = PlainRun(p);
        ASSERT_TRUE(plain.Finished);
        TRef r(p.Text, p.Wide, p.Proc, p.Input);
        const int traces = gen.Pick(0, static_cast<int>(std::min<uint64_t>(p.Steps, 40)));

        THost h(p);
        h.StartRun(p.Wide, true);
        std::string state = Settle(h);
        for (int k = 0; state == "paused"; ++k) {
            ExpectSameAsReference(r, Look(h));
            ASSERT_EQ(Look(h).Executed, static_cast<uint64_t>(k));
            if (k == traces) {
                MenuRun(h);
                state = Settle(h);
                break;
            }
            MenuTrace(h);
            state = Settle(h);
        }
        ASSERT_EQ(state, "finished");
        r.RunToEnd(shape.MaxSteps);
        ExpectFinalState(h, r, plain);
        if (HasFailure()) return;
    }
}

// Run to Cursor over random offsets, from the ready state and while paused, mixed with Trace
// and Watch: every pause lies where single steps would first reach the caret's command.
TEST(Properties, RunToCursorAtRandomOffsets) {
    TGenerator gen(4242);
    TShape shape;
    shape.Depth = 3;
    shape.MaxSteps = 3000;
    for (int i = 0; i < celtest::Rounds(140); ++i) {
        const TProgram p = gen.Make(i % 2 == 1, i % 4 >= 2, shape);
        SCOPED_TRACE(Describe(p, i));
        const celtest::TRunResult plain = PlainRun(p);
        ASSERT_TRUE(plain.Finished);
        TRef r(p.Text, p.Wide, p.Proc, p.Input);
        const uint32_t length = static_cast<uint32_t>(p.Text.size());
        THost h(p);
        int noCommand = 0;

        // From the ready state the first command counts as reached.
        uint32_t offset = static_cast<uint32_t>(gen.Pick(0, static_cast<int>(length)));
        h.StartRun(p.Wide, false, true, offset);
        uint32_t target = r.CommandAt(offset);
        bool stepped = false;  // the current command runs before the target can be reached
        std::string state;
        for (int action = 0;; ++action) {
            SCOPED_TRACE(std::string("action ") + std::to_string(action) + ", caret " +
                         std::to_string(offset));
            if (target >= r.Cmds.size()) ++noCommand;
            state = Settle(h);
            if (stepped) r.Step();
            while (!r.Done() && r.Pc != target) r.Step();
            if (r.Done()) {
                ASSERT_EQ(state, "finished");
                break;
            }
            ASSERT_EQ(state, "paused");
            const TSeen s = Look(h);
            EXPECT_EQ(s.SelStart, r.Offset());
            EXPECT_EQ(s.Executed, r.Steps);
            EXPECT_EQ(s.DataPtr, r.Dp);
            EXPECT_EQ(s.Cells, Window(r.Tape));
            if (HasFailure()) return;

            if (action >= 12) {
                MenuRun(h);
                r.RunToEnd(shape.MaxSteps);
                ASSERT_EQ(Settle(h), "finished");
                break;
            }
            const int choice = gen.Pick(0, 9);
            if (choice < 2) {
                // Trace a few commands, then aim again.
                for (int t = gen.Pick(1, 3); t > 0 && state == "paused"; --t) {
                    MenuTrace(h);
                    r.Step();
                    state = Settle(h);
                    if (state == "paused") ExpectSameAsReference(r, Look(h));
                }
                if (state != "paused") {
                    ASSERT_TRUE(r.Done());
                    ASSERT_EQ(state, "finished");
                    break;
                }
            } else if (choice < 3) {
                const bool watch = !h.Gui([&] { return h.Interpreter.GetWatch(); });
                celtest::MenuWatch(h, watch);
            }
            offset = PickCaret(gen, length);
            target = r.CommandAt(offset);
            stepped = true;
            MenuRunToCursor(h, offset);
        }
        ExpectFinalState(h, r, plain);
        EXPECT_EQ(h.CountEvents("NoCommand"), noCommand);
        if (HasFailure()) return;
    }
}

// Debug at random moments of fast runs (the test thread spins until the count passes a random
// mark, as a user's key press would land), then Run, Trace or Run to Cursor.
TEST(Properties, DebugAtRandomMomentsThenContinue) {
    TGenerator gen(99);
    TShape shape;
    shape.Depth = 3;
    shape.MaxCount = 30;
    shape.Items = 8;
    shape.MinSteps = 20000;
    shape.MaxSteps = 300000;
    shape.LoopPercent = 35;
    int pausesSeen = 0;
    for (int i = 0; i < 60; ++i) {
        TProgram p = gen.Make(i % 2 == 1, i % 3 == 1, shape);
        SCOPED_TRACE(Describe(p, i));
        // Input comes from an input file long enough for every read, so the engine never waits
        // for typed input here (Debug while waiting is a run-control case of its own).
        std::string bytes;
        for (uint32_t k = 0; k < p.Reads + 16; ++k) bytes.push_back(static_cast<char>(gen.Pick(0, 255)));
        p.Input = bytes;
        const std::string inputFile = celtest::TempPath("input.bin");
        ASSERT_TRUE(celtest::WriteFileBytes(inputFile, bytes));
        const celtest::TRunResult plain = PlainRun(p);
        ASSERT_TRUE(plain.Finished);
        TRef r(p.Text, p.Wide, p.Proc, p.Input);

        {
            THost h(p);
            h.Options.InputFileName = inputFile;
            h.ServeInput("");  // the input file serves every read
            h.StartRun(p.Wide, false);
            std::string state = "running";
            for (int round = 0; round < 6 && state != "finished"; ++round) {
                if (state == "running") {
                    const uint64_t mark = static_cast<uint64_t>(gen.Pick(0, static_cast<int>(p.Steps)));
                    const auto deadline = Clock::now() + std::chrono::seconds(30);
                    while (h.Interpreter.GetExecuted() < mark && !h.Interpreter.Engine().IsFinished() &&
                           Clock::now() < deadline)
                        std::this_thread::yield();
                    MenuDebug(h);
                    state = Settle(h);
                    if (state == "finished") break;
                    ASSERT_EQ(state, "paused");
                }
                ++pausesSeen;
                const TSeen s = Look(h);
                ExpectSameAsReference(r, s);
                if (HasFailure()) return;

                const int choice = gen.Pick(0, 2);
                if (choice == 0) {
                    MenuRun(h);
                    state = "running";
                } else if (choice == 1) {
                    for (int t = gen.Pick(1, 5); t > 0 && state != "finished"; --t) {
                        MenuTrace(h);
                        r.Step();
                        state = Settle(h);
                        if (state == "paused") ExpectSameAsReference(r, Look(h));
                    }
                } else {
                    // Run to a random command; where it lands is checked at the next pause.
                    MenuRunToCursor(h, PickCaret(gen, static_cast<uint32_t>(p.Text.size())));
                    state = Settle(h);
                }
            }
            if (state != "finished") {
                MenuRun(h);
                ASSERT_EQ(Settle(h), "finished");
            }
            r.RunToEnd(100 * shape.MaxSteps);
            ExpectFinalState(h, r, plain);
            EXPECT_EQ(h.CountEvents("RequestInput"), 0);
        }
        std::remove(inputFile.c_str());
        if (HasFailure()) return;
    }
    // Mostly the Debug lands inside the run; a machine too fast for every mark still pauses some.
    RecordProperty("pauses", pausesSeen);
}

// Breakpoints on random commands: the run pauses exactly where single steps first reach a
// breakpointed command after the last pause, whether it runs fast (in the fast form or on the
// plain folded loop) or watched, continued by Run, Trace or Run to Cursor, with the breakpoints
// changed while paused now and then.
TEST(Properties, BreakpointsAtRandomCommands) {
    TGenerator gen(1414);
    TShape shape;
    shape.Depth = 3;
    shape.MaxCount = 6;
    shape.MaxSteps = 3000;
    int pausesSeen = 0;
    for (int i = 0; i < celtest::Rounds(240); ++i) {
        // Native code, the fast form and the plain engine by turns, each over both widths and modes.
        const celtest::TForm form = celtest::Forms[i % 3];
        const TProgram p = gen.Make(i / 2 % 2 == 1, i / 2 % 4 >= 2, shape);
        SCOPED_TRACE(Describe(p, i / 2) + ", " + celtest::FormName(form));
        const celtest::TRunResult plain = PlainRun(p);
        ASSERT_TRUE(plain.Finished);
        TRef r(p.Text, p.Wide, p.Proc, p.Input);
        const uint32_t length = static_cast<uint32_t>(p.Text.size());

        // Each command has a breakpoint by a chance of its own per set; offsets of characters
        // that are no commands are given too, and ignored.
        std::vector<bool> breaks;
        auto pickBreaks = [&] {
            const int percent = std::vector<int>{0, 3, 10, 30}[gen.Pick(0, 3)];
            breaks.assign(r.Cmds.size(), false);
            std::vector<uint32_t> offsets;
            for (size_t c = 0; c < r.Cmds.size(); ++c)
                if (gen.Chance(percent)) {
                    breaks[c] = true;
                    offsets.push_back(r.Cmds[c].Offset);
                }
            for (int k = gen.Pick(0, 2); k > 0; --k) {
                const uint32_t offset = PickCaret(gen, length);
                const uint32_t c = r.CommandAt(offset);
                if (c >= r.Cmds.size() || r.Cmds[c].Offset != offset) offsets.push_back(offset);
            }
            std::shuffle(offsets.begin(), offsets.end(), std::mt19937(static_cast<uint32_t>(i)));
            return offsets;
        };
        THost h(p);
        celtest::UseForm(h.Options, form);
        h.Breakpoints = pickBreaks();
        h.Options.Watch = gen.Chance(15);
        h.StartRun(p.Wide, false);
        uint32_t target = UINT32_MAX;  // the command Run to Cursor aims at
        bool leave = false;            // the command paused at runs before a stop is due
        for (int pause = 0;; ++pause) {
            SCOPED_TRACE(std::string("pause ") + std::to_string(pause));
            const std::string state = Settle(h);
            if (leave && !r.Done()) r.Step();
            while (!r.Done() && !breaks[r.Pc] && r.Pc != target) r.Step();
            if (r.Done()) {
                ASSERT_EQ(state, "finished");
                break;
            }
            ASSERT_EQ(state, "paused");
            ++pausesSeen;
            ExpectSameAsReference(r, Look(h));
            if (HasFailure()) return;
            target = UINT32_MAX;
            leave = true;
            if (pause >= 40) {
                // Enough pauses for one program: the rest runs without breakpoints.
                breaks.assign(r.Cmds.size(), false);
                h.Gui([&] { h.Interpreter.SetBreakpoints({}); });
                MenuRun(h);
                continue;
            }
            const int choice = gen.Pick(0, 9);
            if (choice < 5) {
                MenuRun(h);
            } else if (choice < 6) {
                // Trace pauses before every command, breakpoint or not.
                MenuTrace(h);
                r.Step();
                target = r.Done() ? UINT32_MAX : r.Pc;
                leave = false;
            } else if (choice < 8) {
                const std::vector<uint32_t> offsets = pickBreaks();
                h.Gui([&] { h.Interpreter.SetBreakpoints(offsets); });
                MenuRun(h);
            } else if (choice < 9) {
                const uint32_t offset = PickCaret(gen, length);
                target = r.CommandAt(offset);
                MenuRunToCursor(h, offset);
            } else {
                const bool watch = !h.Gui([&] { return h.Interpreter.GetWatch(); });
                MenuWatch(h, watch);
                MenuRun(h);
            }
        }
        ExpectFinalState(h, r, plain);
        if (HasFailure()) return;
    }
    RecordProperty("pauses", pausesSeen);
}

// Watch switched on and off at random moments of a run ends where the plain run ends.
TEST(Properties, WatchToggledAtRandomMoments) {
    TGenerator gen(31337);
    TShape shape;
    shape.Depth = 3;
    shape.MaxCount = 8;
    shape.MaxSteps = 6000;
    for (int i = 0; i < 60; ++i) {
        const TProgram p = gen.Make(i % 2 == 1, i % 3 == 0, shape);
        SCOPED_TRACE(Describe(p, i));
        const celtest::TRunResult plain = PlainRun(p);
        ASSERT_TRUE(plain.Finished);
        TRef r(p.Text, p.Wide, p.Proc, p.Input);
        ASSERT_TRUE(r.RunToEnd(shape.MaxSteps));

        THost h(p);
        h.Options.Watch = gen.Chance(50);
        h.StartRun(p.Wide, false);
        bool watch = h.Options.Watch;
        for (int toggles = gen.Pick(1, 8); toggles > 0; --toggles) {
            const uint64_t mark = static_cast<uint64_t>(gen.Pick(0, static_cast<int>(p.Steps)));
            const auto deadline = Clock::now() + std::chrono::seconds(30);
            while (h.Interpreter.GetExecuted() < mark && !h.Interpreter.Engine().IsFinished() &&
                   Clock::now() < deadline)
                std::this_thread::yield();
            watch = !watch;
            // The Watch command without its repaint: PaintMemory reads the engine's tape and
            // data pointer, which the running engine writes (see RunControl.MemoryRepaintDuringAWatchedRun).
            h.Gui([&] {
                h.Interpreter.SetWatch(watch);
                if (!watch) h.SelLength = 0;
            });
        }
        ASSERT_EQ(Settle(h), "finished");
        ExpectFinalState(h, r, plain);
        EXPECT_EQ(h.CountEvents("Paused"), 0);
        if (HasFailure()) return;
    }
}

}  // namespace

namespace {

// ---- Backward moves ----

// What a pause shows of the machine, the output window and the input, to compare a pause after
// backward moves with a run stopped at the same count.
struct TMachine {
    uint64_t Executed = 0;
    uint32_t DataPtr = 0;
    std::vector<uint32_t> Tape;
    std::string Output;
    uint32_t InputPos = 0;
    uint32_t InputSize = 0;
    uint16_t CallDepth = 0;
    bool operator==(const TMachine&) const = default;
};

TMachine MachineOf(THost& h) {
    return h.Gui([&] {
        TMachine m;
        const cel::TBFInterpreterBase& e = h.Interpreter.Engine();
        m.Executed = e.GetExecuted();
        m.DataPtr = e.GetDataPtr();
        m.Tape.resize(cel::TapeSize);
        for (uint32_t i = 0; i < cel::TapeSize; ++i) m.Tape[i] = e.GetCell(static_cast<uint16_t>(i));
        m.Output = h.OutputText();
        m.InputPos = e.GetInputPos();
        m.InputSize = e.GetInputSize();
        m.CallDepth = e.GetCallDepth();
        return m;
    });
}

// The program run in the calling thread and stopped exactly at count.
TMachine StoppedAt(const TProgram& p, uint64_t count) {
    THost ref(p);
    ref.RunHere(p.Wide, UINT64_MAX, count);
    return MachineOf(ref);
}

std::string Show(const TMachine& m) {
    std::string s = "executed " + std::to_string(m.Executed) + " pointer " + std::to_string(m.DataPtr) +
                     " input " + std::to_string(m.InputPos) + "/" + std::to_string(m.InputSize) + " depth " +
                     std::to_string(m.CallDepth) + " output \"" + m.Output + "\" cells";
    for (uint32_t i = 0; i < m.Tape.size(); ++i)
        if (m.Tape[i] != 0) s += " " + std::to_string(i) + ":" + std::to_string(m.Tape[i]);
    return s;
}

// Random mixes of forward moves (Trace, Run to a count, Run to the next breakpoint) and backward
// moves (Step Back, Run Backwards, Back to Cursor), watched or not: every pause is the pause of a
// run stopped at its count, and the run then ends as a plain run ends, its input asked for no
// more often.
TEST(Properties, BackwardMovesAgreeWithStoppedRuns) {
    TGenerator gen(2207);
    TShape shape;
    shape.Depth = 3;
    shape.MaxCount = 6;
    shape.MaxSteps = 3000;
    int backMoves = 0;
    for (int i = 0; i < celtest::Rounds(96); ++i) {
        const TProgram p = gen.Make(i % 2 == 1, i / 2 % 2 == 1, shape);
        SCOPED_TRACE(Describe(p, i));
        const celtest::TRunResult plain = PlainRun(p);
        ASSERT_TRUE(plain.Finished);
        TRef r(p.Text, p.Wide, p.Proc, p.Input);
        ASSERT_TRUE(r.RunToEnd(shape.MaxSteps));
        const uint32_t length = static_cast<uint32_t>(p.Text.size());
        std::vector<uint32_t> breaks;
        for (int k = gen.Pick(0, 3); k > 0; --k) breaks.push_back(PickCaret(gen, length));

        THost h(p);
        celtest::UseForm(h.Options, i % 4 == 3 ? celtest::TForm::Plain : i % 4 == 1 ? celtest::TForm::Fast : celtest::TForm::Native);
        // Watched now and then: Run Backwards then goes back one shown step at a time.
        h.Options.Watch = i % 8 == 5;
        h.Breakpoints = breaks;
        h.StartRun(p.Wide, true);
        std::string state = Settle(h);
        for (int move = 0; move < 24 && state == "paused"; ++move) {
            const TMachine seen = MachineOf(h);
            SCOPED_TRACE("move " + std::to_string(move) + " at " + std::to_string(seen.Executed));
            const TMachine expected = StoppedAt(p, seen.Executed);
            ASSERT_EQ(Show(seen), Show(expected));
            const bool canGoBack = h.Gui([&] { return h.Interpreter.CanGoBack(); });
            ASSERT_EQ(canGoBack, seen.Executed > 0);
            const int choice = gen.Pick(0, 9);
            if (choice < 2) {
                MenuTrace(h);
            } else if (choice < 4) {
                const uint64_t count = seen.Executed + static_cast<uint64_t>(gen.Pick(1, static_cast<int>(p.Steps)));
                h.Gui([&] {
                    h.Interpreter.Engine().SetStopAt(count);
                    h.Interpreter.SetBreakpoints({});
                });
                MenuRun(h);
                state = Settle(h);
                h.Gui([&] { h.Interpreter.SetBreakpoints(breaks); });
                continue;
            } else if (choice < 5) {
                MenuRun(h);
            } else {
                ++backMoves;
                const bool moved = h.Gui([&] {
                    if (choice < 7) return h.Interpreter.StepBack();
                    if (choice < 9) return h.Interpreter.RunBackwards();
                    return h.Interpreter.BackToCursor(PickCaret(gen, length));
                });
                // Back to Cursor also declines an offset with no command at or after it.
                if (choice < 9) {
                    EXPECT_EQ(moved, canGoBack);
                } else if (moved) {
                    EXPECT_TRUE(canGoBack);
                }
                if (!moved) MenuTrace(h);
            }
            state = Settle(h);
        }
        if (state == "paused") {
            h.Gui([&] { h.Interpreter.SetBreakpoints({}); });
            MenuRun(h);
            state = Settle(h);
        }
        ASSERT_EQ(state, "finished");
        ExpectFinalState(h, r, plain);
        // Input given once is taken from the history afterwards, never asked for again.
        THost once(p);
        once.RunHere(p.Wide);
        EXPECT_EQ(h.CountEvents("RequestInput"), once.CountEvents("RequestInput"));
        if (HasFailure()) return;
    }
    RecordProperty("backward moves", backMoves);
}

// Paused at count (a Trace start, or the current pause), by a stop there.
std::string RunTo(THost& h, uint64_t count) {
    h.Gui([&] { h.Interpreter.Engine().SetStopAt(count); });
    MenuRun(h);
    return Settle(h);
}

// A cell changed at a backward point discards the recorded future and the run goes on from the
// change, as a run changed there going forward goes on; moving back over the change and forward
// again meets it again. An output file gets each byte once, however often the run goes back.
TEST(Properties, ChangesOfThePastAndTheOutputFile) {
    TGenerator gen(2208);
    TShape shape;
    shape.MinSteps = 200;
    shape.MaxSteps = 3000;
    for (int i = 0; i < 24; ++i) {
        const TProgram p = gen.Make(i % 2 == 1, i / 2 % 2 == 1, shape);
        SCOPED_TRACE(Describe(p, i));
        const uint64_t far = static_cast<uint64_t>(gen.Pick(100, static_cast<int>(p.Steps) - 1));
        const uint64_t back = static_cast<uint64_t>(gen.Pick(1, static_cast<int>(far) - 1));
        const uint32_t value = static_cast<uint32_t>(gen.Pick(1, 200));

        // Changed going forward: the expectation.
        THost ahead(p);
        const std::string aheadFile = celtest::TempPath("ahead.out");
        ahead.Options.OutputFileName = aheadFile;
        ahead.StartRun(p.Wide, true);
        ASSERT_EQ(Settle(ahead), "paused");
        ASSERT_EQ(RunTo(ahead, back), "paused");
        ahead.Gui([&] { ahead.Interpreter.SetCell(static_cast<uint16_t>(ahead.Interpreter.GetDataPtr()), value); });
        EXPECT_EQ(ahead.CountEvents("HistoryDiscarded"), 0);
        const TMachine atBack = MachineOf(ahead);
        MenuRun(ahead);
        if (Settle(ahead) != "finished") {
            // The change made a call illegal, and the run paused at it: not a run to compare.
            MenuReset(ahead);
            ASSERT_EQ(Settle(ahead), "finished");
            continue;
        }
        const TMachine expected = MachineOf(ahead);

        // Changed after going back from far.
        THost h(p);
        const std::string file = celtest::TempPath("back.out");
        h.Options.OutputFileName = file;
        h.StartRun(p.Wide, true);
        ASSERT_EQ(Settle(h), "paused");
        ASSERT_EQ(RunTo(h, far), "paused");
        for (uint64_t k = far; k > back; --k) {
            h.Gui([&] { h.Interpreter.StepBack(); });
            ASSERT_EQ(Settle(h), "paused");
        }
        ASSERT_EQ(MachineOf(h).Executed, back);
        if (i % 3 == 0) {
            // No change: forward to the end, the file written once.
            MenuRun(h);
            ASSERT_EQ(Settle(h), "finished");
            THost once(p);
            const std::string onceFile = celtest::TempPath("once.out");
            once.Options.OutputFileName = onceFile;
            once.RunHere(p.Wide);
            EXPECT_EQ(celtest::ReadFileBytes(file), celtest::ReadFileBytes(onceFile));
            EXPECT_EQ(Show(MachineOf(h)), Show(MachineOf(once)));
            continue;
        }
        h.Gui([&] { h.Interpreter.SetCell(static_cast<uint16_t>(h.Interpreter.GetDataPtr()), value); });
        EXPECT_EQ(h.CountEvents("HistoryDiscarded"), 1);
        // The input given after the change went with the future: it is asked for again.
        if (MachineOf(h).InputSize == 0) h.ServeInput(p.Input);
        EXPECT_EQ(Show(MachineOf(h)), Show(atBack));
        // On a little, back to the start over the change, and on to the end.
        const uint64_t on = back + static_cast<uint64_t>(gen.Pick(1, 50));
        const std::string there = RunTo(h, on);
        if (there == "paused") {
            h.Gui([&] { h.Interpreter.RunBackwards(); });
            ASSERT_EQ(Settle(h), "paused");
            EXPECT_EQ(MachineOf(h).Executed, 0u);
            MenuRun(h);
            ASSERT_EQ(Settle(h), "finished");
        } else {
            ASSERT_EQ(there, "finished");
        }
        EXPECT_EQ(Show(MachineOf(h)), Show(expected));
        EXPECT_EQ(h.CountEvents("HistoryDiscarded"), 1);
        // The file holds what the run printed with the change, none of the discarded future.
        EXPECT_EQ(celtest::ReadFileBytes(file), celtest::ReadFileBytes(aheadFile));
        if (HasFailure()) return;
    }
}

// ---- Conditional and counted breakpoints, watchpoints ----

// The reference for the debugger's stops: single steps that count the breakpoints' hits at
// every arrival at a command and watch cells, as the engine does at full speed.
struct TStopsRef {
    TRef R;
    std::vector<cel::TBreakpoint> Breaks;
    std::vector<cel::TWatchpoint> Watches;
    std::vector<uint64_t> Hits;
    std::vector<uint64_t> Counts;  // the profile
    bool Counted = false;  // the arrival at R.Pc has counted its hits

    TStopsRef(const TProgram& p, std::vector<cel::TBreakpoint> breaks, std::vector<cel::TWatchpoint> watches)
        : R(p.Text, p.Wide, p.Proc, p.Input), Breaks(std::move(breaks)), Watches(std::move(watches)), Hits(Breaks.size(), 0), Counts(R.Cmds.size(), 0) {}
    void Step() {
        ++Counts[R.Pc];
        R.Step();
    }

    // Counts the hits of the arrival at R.Pc; the first breakpoint that stops, or -1.
    int64_t CountHits() {
        Counted = true;
        int64_t stop = -1;
        for (size_t i = 0; i < Breaks.size(); ++i) {
            const cel::TBreakpoint& b = Breaks[i];
            if (!b.Enabled || R.Cmds[R.Pc].Offset != b.Offset || !cel::ConditionHolds(b.Condition, b.Value, R.Cell()))
                continue;
            ++Hits[i];
            if (stop < 0 && (b.HitCount == 0 || Hits[i] == b.HitCount)) stop = static_cast<int64_t>(i);
        }
        return stop;
    }
    // On to the next pause: false when the run ends first.
    bool Next(cel::TPauseInfo& info) {
        while (!R.Done()) {
            if (!Counted) {
                if (const int64_t stop = CountHits(); stop >= 0) {
                    info = {cel::TPauseReason::Breakpoint, static_cast<uint32_t>(stop), 0};
                    return true;
                }
            }
            const uint32_t dp = R.Dp;
            const uint32_t old = R.Cell();
            Step();
            Counted = false;
            if (R.Done()) break;
            // A command changes a cell or moves: the first watchpoint it meets names the pause.
            for (uint32_t w = 0; w < Watches.size(); ++w) {
                const cel::TWatchpoint& watch = Watches[w];
                const bool changed = (watch.Kinds & cel::WatchChange) && dp == watch.Cell && R.Tape[dp] != old;
                const bool arrived = (watch.Kinds & cel::WatchArrival) && R.Dp != dp && R.Dp == watch.Cell;
                if (!changed && !arrived) continue;
                info = {cel::TPauseReason::Watchpoint, w, changed ? old : 0};
                CountHits();
                return true;
            }
        }
        return false;
    }
};

// Random breakpoints with conditions and hit counts and one or two watchpoints on random cells
// (change, arrival or both): every pause of a full-speed run (fast form or plain engine, widths and
// procedures alike) lies where the single-step reference stops, with its reason, index, old
// value, the hits counted so far and (profiled) each command's count; a step back puts the hits
// and the counts back to the reference's at that count.
TEST(Properties, ConditionalBreakpointsAndWatchpoints) {
    TGenerator gen(2323);
    TShape shape;
    shape.Depth = 3;
    shape.MaxCount = 6;
    shape.MaxSteps = 3000;
    int pausesSeen = 0;
    int watchPauses = 0;
    for (int i = 0; i < celtest::Rounds(160); ++i) {
        const bool plainEngine = i % 2 == 1;
        const TProgram p = gen.Make(i / 2 % 2 == 1, i / 2 % 4 >= 2, shape);
        SCOPED_TRACE(Describe(p, i / 2) + (plainEngine ? ", plain engine" : ", fast form"));
        std::vector<cel::TBreakpoint> breaks;
        {
            const TRef r(p.Text, p.Wide, p.Proc, p.Input);
            for (size_t c = 0; c < r.Cmds.size(); ++c) {
                if (!gen.Chance(8)) continue;
                cel::TBreakpoint b;
                b.Offset = r.Cmds[c].Offset;
                b.Condition = static_cast<cel::TBreakCondition>(gen.Pick(0, 4));
                b.Value = static_cast<uint32_t>(gen.Pick(0, 4));
                b.HitCount = gen.Chance(30) ? static_cast<uint64_t>(gen.Pick(1, 5)) : 0;
                b.Enabled = !gen.Chance(10);
                breaks.push_back(b);
            }
        }
        std::vector<cel::TWatchpoint> watches(1);
        for (cel::TWatchpoint& watch : watches) {
            watch.Cell = gen.Chance(80) ? static_cast<uint32_t>(gen.Pick(0, 8)) : cel::TapeSize - static_cast<uint32_t>(gen.Pick(1, 4));
            watch.Kinds = static_cast<uint8_t>(gen.Pick(1, 3));
            if (gen.Chance(25)) watch.Kinds = 0;  // none: breakpoints alone
        }
        // A second one, on another cell or the same: the fast form tests reaches against all.
        if (gen.Chance(40)) {
            cel::TWatchpoint second;
            second.Cell = gen.Chance(30) ? watches[0].Cell : static_cast<uint32_t>(gen.Pick(0, 12));
            second.Kinds = static_cast<uint8_t>(gen.Pick(1, 3));
            watches.push_back(second);
        }
        TStopsRef ref(p, breaks, watches);

        THost h(p);
        h.Options.PlainEngine = plainEngine;
        h.BreakpointList = breaks;
        h.Watchpoints = watches;
        h.Profile = gen.Chance(50);
        const auto expectCounts = [&](const TStopsRef& at) {
            const std::vector<uint64_t> counts = h.Gui([&] { return h.Interpreter.GetCommandCounts(); });
            if (h.Profile) EXPECT_EQ(counts, at.Counts);
            else EXPECT_TRUE(counts.empty());
        };
        h.StartRun(p.Wide, false);
        cel::TPauseInfo expected;
        for (int pause = 0;; ++pause) {
            SCOPED_TRACE(std::string("pause ") + std::to_string(pause));
            const bool pauses = ref.Next(expected);
            const std::string state = Settle(h);
            if (!pauses) {
                ASSERT_EQ(state, "finished");
                EXPECT_EQ(Look(h).Executed, ref.R.Steps);
                EXPECT_EQ(h.Gui([&] { return h.Interpreter.GetBreakHits(); }), ref.Hits);
                expectCounts(ref);
                break;
            }
            ASSERT_EQ(state, "paused");
            ++pausesSeen;
            watchPauses += expected.Reason == cel::TPauseReason::Watchpoint;
            const TSeen seen = Look(h);
            EXPECT_EQ(seen.Executed, ref.R.Steps);
            EXPECT_EQ(seen.SelStart, ref.R.Offset());
            EXPECT_EQ(seen.DataPtr, ref.R.Dp);
            EXPECT_EQ(seen.Cells, Window(ref.R.Tape));
            const cel::TPauseInfo info = h.Gui([&] { return h.Interpreter.GetPauseInfo(); });
            EXPECT_EQ(info.Reason, expected.Reason);
            EXPECT_EQ(info.Index, expected.Index);
            EXPECT_EQ(info.OldValue, expected.OldValue);
            EXPECT_EQ(h.Gui([&] { return h.Interpreter.GetBreakHits(); }), ref.Hits);
            expectCounts(ref);
            if (HasFailure()) return;
            if (pause >= 40) {
                // Enough pauses for one program: the rest runs without stops.
                h.Gui([&] {
                    h.Interpreter.SetBreakpoints(std::vector<cel::TBreakpoint>{});
                    h.Interpreter.SetWatchpoints({});
                });
                MenuRun(h);
                break;
            }
            if (seen.Executed > 0 && gen.Chance(20)) {
                // Back one step: the hits as single steps count them up to that count.
                ASSERT_TRUE(h.Gui([&] { return h.Interpreter.StepBack(); }));
                ASSERT_EQ(Settle(h), "paused");
                TStopsRef back(p, breaks, watches);
                while (back.R.Steps + 1 < seen.Executed) {
                    back.CountHits();
                    back.Step();
                }
                back.CountHits();
                EXPECT_EQ(h.Gui([&] { return h.Interpreter.GetBreakHits(); }), back.Hits);
                expectCounts(back);
                ref = std::move(back);
                if (HasFailure()) return;
            }
            MenuRun(h);
        }
        ASSERT_EQ(Settle(h), "finished");
    }
    RecordProperty("pauses", pausesSeen);
    EXPECT_GT(watchPauses, celtest::Rounds(160) / 8);
}

}  // namespace
