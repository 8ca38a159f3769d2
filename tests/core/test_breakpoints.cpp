// Breakpoints, played against the headless host: where a run pauses for them (inside folded runs,
// in clear loops, in procedures, at the ends of the program, together with Run to Cursor), each
// pause checked against single steps of the reference. Breakpoints changed while paused are in
// the property tests.
#include "test_reference.h"
#include "test_support.h"

#include "cel_Debugging.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using celtest::ExpectFinishedAs;
using celtest::ExpectPausedAt;
using celtest::MenuRun;
using celtest::Settle;
using celtest::TRef;
using celtest::Widths;
using THost = celtest::TTestHost;

struct TBreakRow {
    const char* What;
    std::string Text;
    std::vector<uint32_t> Offsets;  // the breakpoints
    int Pauses;                     // pauses until the end, each continued by Run
    bool Proc = false;
    uint32_t Caret = UINT32_MAX;    // started by Run to Cursor to this offset instead of Run
};

// Full speed in the fast form and on the plain folded loop, and watched single steps.
// Full speed in native code, in the fast form and on the plain folded loop, and watched single
// steps.
struct TMode {
    const char* Name;
    celtest::TForm Form;
    bool Watch;
};
constexpr TMode Modes[] = {{"native code", celtest::TForm::Native, false},
                           {"fast form", celtest::TForm::Fast, false},
                           {"plain engine", celtest::TForm::Plain, false},
                           {"watched", celtest::TForm::Native, true}};

// Single steps from where r stands to the next command that has a breakpoint or is the target;
// the command r stands on runs first when the run was paused there.
void StepToStop(TRef& r, const std::vector<bool>& breaks, bool leave, uint32_t target) {
    if (leave && !r.Done()) r.Step();
    while (!r.Done() && !breaks[r.Pc] && r.Pc != target) r.Step();
}

TEST(Breakpoints, WhereARunPauses) {
    const TBreakRow rows[] = {
        {"inside a folded run", "+++++>", {2}, 1},
        {"two in one folded run", "++++<<<", {1, 3}, 2},
        {"at a run's last command", "+++>>", {2, 4}, 2},
        {"on the - of a clear loop over 0", ">[-]<+", {2}, 0},
        {"on the ] of a clear loop over 0", "[+]+", {2}, 0},
        {"on the [ of a clear loop over 0", "[-]+", {0}, 1},
        {"on the - of a clear loop over 3: every pass", "+++[-]>", {4}, 3},
        {"on the [ of a clear loop over 2: once", "++[-]", {2}, 1},
        {"on the ] of a clear loop over 2", "++[-]", {4}, 2},
        {"on the first command", "+>+", {0}, 1},
        {"on the last command", "++>.", {3}, 1},
        {"on the only command", "+", {0}, 1},
        {"in a loop body", "+++[>+<-]", {5}, 3},
        {"on a loop's ] and its [", "++[>+<-]>", {2, 7}, 3},
        {"in a body no pass runs", "[>+<]+", {2}, 0},
        {"in a procedure called twice", "+(>+<)::", {2}, 2, true},
        {"on a procedure's (: met at its definition only", "+(-+):", {1}, 1, true},
        {"on two calls", "+(-+)::", {5, 6}, 2, true},
        {"on characters that are no commands", "+ x\r\n+", {1, 2, 3, 4, 9}, 0},
        {"one of a set given twice", "+>+", {2, 2}, 1},
        {"Run to Cursor stops at a breakpoint before its target", "++++++", {2}, 1, false, 4},
        {"Run to Cursor: its target, then a breakpoint after it", "++++++", {4}, 2, false, 1},
        {"Run to Cursor: target and breakpoint on one command", "++++>", {2}, 1, false, 2},
        {"Run to Cursor: a breakpoint in a loop before its target", "+++[>+<-]>+", {5}, 3, false, 10},
        {"inside a straight run of moves and changes", "+>++>-<[-]>>+", {3, 6}, 2},
        {"on a scan loop's [", "+>+>+<<[>]+", {7}, 1},
        {"in a scan loop's body", "+>+>+<<[>]+", {8}, 3},
        {"in an inner loop whose passes repeat", "++[>++[>+<-]<-]", {8}, 4},
        {"after a loop run in one step", "+++[>+<-]>+", {10}, 1},
    };
    for (const bool wide : Widths) {
        for (const TMode& mode : Modes) {
            const bool watch = mode.Watch;
            SCOPED_TRACE(std::string(wide ? "16-bit, " : "8-bit, ") + mode.Name);
            for (const TBreakRow& row : rows) {
                SCOPED_TRACE(row.What);
                TRef r(row.Text, wide, row.Proc);
                std::vector<bool> breaks(r.Cmds.size(), false);
                for (const uint32_t offset : row.Offsets) {
                    const uint32_t c = r.CommandAt(offset);
                    if (c < r.Cmds.size() && r.Cmds[c].Offset == offset) breaks[c] = true;
                }
                THost h;
                h.Options.Text = row.Text;
                h.Options.ProcMode = row.Proc;
                h.Options.Watch = watch;
                celtest::UseForm(h.Options, mode.Form);
                h.Breakpoints = row.Offsets;
                const bool toCursor = row.Caret != UINT32_MAX;
                h.StartRun(wide, false, toCursor, row.Caret);
                uint32_t target = toCursor ? r.CommandAt(row.Caret) : UINT32_MAX;
                int pauses = 0;
                for (bool leave = false;; leave = true) {
                    const std::string state = Settle(h);
                    StepToStop(r, breaks, leave, target);
                    target = UINT32_MAX;
                    if (r.Done()) {
                        ASSERT_EQ(state, "finished");
                        break;
                    }
                    ASSERT_EQ(state, "paused");
                    ++pauses;
                    ExpectPausedAt(h, r, "pause " + std::to_string(pauses));
                    ASSERT_LE(pauses, row.Pauses);
                    MenuRun(h);
                }
                EXPECT_EQ(pauses, row.Pauses);
                ExpectFinishedAs(h, r);
                EXPECT_EQ(h.CountEvents("Paused"), row.Pauses);
            }
        }
    }
}

// ---- Watchpoints ----

struct TWatchRow {
    const char* What;
    std::string Text;
    uint32_t Cell;
    uint8_t Kinds;
    int Pauses;  // pauses until the end, each continued by Run
    std::string Input = {};
    bool Proc = false;
};

// Each pause comes right after the command that changed the watched cell or moved the pointer
// onto it, where single steps of the reference see it, in every mode of running.
TEST(Watchpoints, WhereARunPauses) {
    using cel::WatchArrival;
    using cel::WatchChange;
    const TWatchRow rows[] = {
        {"changed by each command of a folded run", "+++++>", 0, WatchChange, 5},
        {"a temporary cell used and restored", ">+<+>-<", 1, WatchChange, 2},
        {"changed by a closed-form loop", "+++[>++<-]", 1, WatchChange, 6},
        {"the counter of a closed-form loop", "+++[>++<-]", 0, WatchChange, 6},
        {"cleared by a clear loop", "+++[-]>", 0, WatchChange, 6},
        {"a clear loop over 0 changes nothing", "[-]>[+]", 0, WatchChange, 0},
        {"256 increments in one run", std::string(256, '+') + ">", 0, WatchChange, 256},
        {"arrival by a scan", "+>+>+<<[>]", 3, WatchArrival, 1},
        {"arrival by a scan passing over the cell", "+>+>+<<[>]", 2, WatchArrival, 2},
        {"moves passing over the cell, both ways", ">>>>><<<<<", 2, WatchArrival, 2},
        {"moving away is no arrival", "+>>", 0, WatchArrival, 0},
        {"round the tape to the last cell", "<+", cel::TapeSize - 1, WatchArrival, 1},
        {"input that changes the cell", ",>,", 0, WatchChange, 1, "AB"},
        {"input of the value the cell holds", "+,", 0, WatchChange, 1, "\x01"},
        {"change and arrival", ">+<>-<", 1, WatchChange | WatchArrival, 4},
        {"changed in a procedure", "+(>+<)::", 1, WatchChange, 2, "", true},
        {"a straight run whose changes cancel out", "+>>+<<->", 0, WatchChange, 2},
        {"passed inside a closed-form loop", "+++[>>+<<-]", 1, WatchArrival, 6},
        {"cleared and set again by a closed-form loop", "+++[>[-]+<-]", 1, WatchChange, 5},
        {"the counter of a closed-form loop stepping by 2", "++[>+<--]>", 0, WatchChange, 4},
        {"changed by a memo loop done at once", "++++[>[>+<-]>>+<<<-]", 3, WatchChange, 4},
        {"a memo loop's work cell", "++[>[-]>+++[<+>-]<<-]", 1, WatchChange, 9},
        {"moves before a closed-form loop onto the cell", "+>>+[-<+>]>+<<<<[>>>[-]<<<-]", 3, WatchArrival, 1},
        {"changed by a walk of closed-form loops", ">+>+>+<<[[-<+>]>]", 1, WatchChange, 3},
        {"a scan with stride 2 passing over the cell", "+>+>+>+<<<[>>]", 3, WatchArrival, 2},
        {"a scan round the tape's end passing over the cell", "+[<<<]", cel::TapeSize - 2, WatchArrival, 1},
        {"a scan round the tape's end onto the cell", "+[<]", cel::TapeSize - 1, WatchArrival, 1},
        {"a scan that passes cells watched for change only", "+>+>+<<[>]", 1, WatchChange, 1},
        {"input inside a loop", "+++[>,<-]", 1, WatchChange, 2, "AAB"},
        {"a memo loop found steady elsewhere before", "+>>>>>>>>>>+[->++++[>[>+<-]>>+<<<-]<<<<<<<<<<<]", 4, WatchChange, 4},
        {"a closed-form loop after a change and a move", ">>++[->>+<<]>", 4, WatchChange, 2},
        {"moves made first by a scan over the cell", "+[>+<-]>>>[<]", 2, WatchArrival, 1},
    };
    for (const bool wide : Widths) {
        for (const TMode& mode : Modes) {
            SCOPED_TRACE(std::string(wide ? "16-bit, " : "8-bit, ") + mode.Name);
            for (const TWatchRow& row : rows) {
                SCOPED_TRACE(row.What);
                const int pausesExpected = wide && row.Text.size() > 256 ? 256 : row.Pauses;
                TRef r(row.Text, wide, row.Proc, row.Input);
                THost h;
                h.Options.Text = row.Text;
                h.Options.ProcMode = row.Proc;
                h.Options.Watch = mode.Watch;
                celtest::UseForm(h.Options, mode.Form);
                h.ServeInput(row.Input);
                h.Watchpoints = {{row.Cell, row.Kinds, true}};
                h.StartRun(wide, false);
                int pauses = 0;
                for (;;) {
                    const std::string state = Settle(h);
                    bool met = false;
                    uint32_t old = 0;
                    while (!r.Done() && !met) {
                        const uint32_t dp = r.Dp;
                        old = r.Cell();
                        r.Step();
                        met = !r.Done() && (((row.Kinds & WatchChange) && dp == row.Cell && r.Tape[dp] != old) ||
                                            ((row.Kinds & WatchArrival) && r.Dp != dp && r.Dp == row.Cell));
                    }
                    if (!met) {
                        ASSERT_EQ(state, "finished");
                        break;
                    }
                    ASSERT_EQ(state, "paused");
                    ++pauses;
                    ExpectPausedAt(h, r, "pause " + std::to_string(pauses));
                    const cel::TPauseInfo info = h.Gui([&] { return h.Interpreter.GetPauseInfo(); });
                    EXPECT_EQ(info.Reason, cel::TPauseReason::Watchpoint);
                    if (r.Dp != row.Cell || !(row.Kinds & WatchArrival)) {
                        EXPECT_EQ(info.OldValue, old);
                    }
                    ASSERT_LE(pauses, pausesExpected);
                    MenuRun(h);
                }
                EXPECT_EQ(pauses, pausesExpected);
                ExpectFinishedAs(h, r);
            }
        }
    }
}

// ---- The profile ----

// Each command's count at the end of a profiled run is what single steps count, on every form
// (the fast form counts by record and expands: closed forms, memo loops done at once, scans,
// walks, moves made first by loop records, clear loops in straight runs).
TEST(Profile, CountsAsSingleSteps) {
    struct TProfileRow {
        const char* What;
        std::string Text;
        std::string Input = {};
        bool Proc = false;
    };
    const TProfileRow rows[] = {
        {"straight runs with clear loops", "+++>[-]++[+]<[-]>>"},
        {"closed-form loops, one with a move before", "+++[>++<-]>>++[->>+<<]"},
        {"a closed-form loop that clears a cell", "+++[>[-]+>+<<-]"},
        {"a closed-form loop that never ends, stepped", "+++[>+<--]"},
        {"memo loops done at once, one found steady before", "+>>>>>>>>>>+[->++++[>[>+<-]>>+<<<-]<<<<<<<<<<<]"},
        {"a memo loop whose passes change", "+++[>[-]>+++[<+>-]<<-]"},
        {"memo loops done at once in passes of a memo loop, before and in the one it repeats",
         ">>+++++<<+++++[>+++[>++[>+<-]>[-]<<-]>>>[-]>[-<+>]+<<<<<-]"},
        {"scans both ways and a walk", "+>+>+>+<<<[>>]+[<]>+>+>+<<[[-<+>]>]"},
        {"brackets that make a move first", "++[>+>+<<-]>[>]<[<]>>[<+>>+<-]"},
        {"input and output", "+++[>,.<-]", "abc"},
        {"procedures", "+(>++[-]<)::>", "", true},
    };
    for (const bool wide : Widths) {
        for (const celtest::TForm form : celtest::Forms) {
            SCOPED_TRACE(std::string(wide ? "16-bit, " : "8-bit, ") + celtest::FormName(form));
            for (const TProfileRow& row : rows) {
                SCOPED_TRACE(row.What);
                celtest::TRunSetup setup;
                setup.Text = row.Text;
                setup.Wide = wide;
                setup.ProcMode = row.Proc;
                setup.Form = form;
                setup.Input = row.Input;
                setup.Profile = true;
                setup.InCaller = true;
                setup.Budget = 100000;  // the loop that never ends ends there
                const celtest::TRunResult result = celtest::RunProgram(setup);
                TRef r(row.Text, wide, row.Proc, row.Input);
                std::vector<uint64_t> counts(r.Cmds.size(), 0);
                while (!r.Done() && r.Steps < result.Executed) {
                    ++counts[r.Pc];
                    r.Step();
                }
                EXPECT_EQ(result.Executed, r.Steps);
                EXPECT_EQ(result.CommandCounts, counts);
            }
        }
    }
}

// ---- Step Over and Step Out ----

struct TStepRow {
    const char* What;
    std::string Text;
    int Traces;      // Trace steps from the start before the step
    bool Out;        // Step Out, else Step Over
    int64_t Count;   // the count of the pause that follows, -1: the run ends
    cel::TPauseReason Reason = cel::TPauseReason::StepOver;
    bool Proc = false;
    std::vector<uint32_t> Breaks = {};
};

TEST(Stepping, OverAndOutOfLoopsAndProcedures) {
    using enum cel::TPauseReason;
    const TStepRow rows[] = {
        {"over a loop", "++[>+<-]>+", 2, false, 13},
        {"over a loop that never runs: a step", "[>+<]+", 0, false, 1, Step},
        {"over a plain command: a step", "+++", 0, false, 1, Step},
        {"over an inner loop", "++[>++[>+<-]<-]", 6, false, 17},
        {"over a call", "+(>+<):+", 2, false, 7, StepOver, true},
        {"over a call whose procedure calls itself: out at its depth", ">++<+(>[-<:>]<):+", 11, false, 25, StepOver, true},
        {"out of a loop in a procedure that calls itself", ">++<+(>[-<:>]<):+", 16, true, 23, StepOut, true},
        {"out of a procedure that calls itself: out at its depth", ">++<+(>[-<:>]<):+", 19, true, 21, StepOut, true},
        {"over a loop to a breakpoint in it", "++[>+<-]>+", 2, false, 4, Breakpoint, false, {4}},
        {"over a loop at the program's end", "++[-]", 2, false, -1},
        {"out of a loop", "++[>+<-]>+", 4, true, 13, StepOut},
        {"out of an inner loop", "++[>++[>+<-]<-]", 8, true, 17, StepOut},
        {"out of a loop from its [", "++[>+<-]>+", 2, true, 13, StepOut},
        {"out of a loop from its ]", "++[>+<-]>+", 7, true, 13, StepOut},
        {"out of a procedure", "+(>+<):+", 3, true, 7, StepOut, true},
        {"out of a procedure from its )", "+(>+<):+", 6, true, 7, StepOut, true},
        {"out of a clear loop in a procedure", "++(>++[-]<):+", 8, true, 12, StepOut, true},
        {"out of a procedure, not the loop after the caret", "++(>++[-]<):+", 5, true, 14, StepOut, true},
        {"out with nothing around: on to the end", "+++", 1, true, -1},
    };
    for (const bool wide : Widths) {
        for (const celtest::TForm form : celtest::Forms) {
            SCOPED_TRACE(celtest::FormName(form));
            SCOPED_TRACE(wide ? "16-bit" : "8-bit");
            for (const TStepRow& row : rows) {
                SCOPED_TRACE(row.What);
                TRef r(row.Text, wide, row.Proc);
                THost h;
                h.Options.Text = row.Text;
                h.Options.ProcMode = row.Proc;
                celtest::UseForm(h.Options, form);
                h.Breakpoints = row.Breaks;
                h.StartRun(wide, true);
                ASSERT_EQ(Settle(h), "paused");
                for (int i = 0; i < row.Traces; ++i) {
                    celtest::MenuTrace(h);
                    ASSERT_EQ(Settle(h), "paused");
                }
                h.Gui([&] {
                    if (row.Out) h.Interpreter.StepOut();
                    else h.Interpreter.StepOver();
                });
                const std::string state = Settle(h);
                if (row.Count < 0) {
                    r.RunToEnd();
                    ASSERT_EQ(state, "finished");
                    ExpectFinishedAs(h, r);
                    continue;
                }
                ASSERT_EQ(state, "paused");
                r.AdvanceTo(static_cast<uint64_t>(row.Count));
                ExpectPausedAt(h, r, "after the step");
                EXPECT_EQ(h.Gui([&] { return h.Interpreter.GetPauseInfo(); }).Reason, row.Reason);
                MenuRun(h);
                r.RunToEnd();
                const std::string end = Settle(h);
                if (end == "paused") MenuRun(h);  // the breakpoint's next pass
                ASSERT_EQ(Settle(h), "finished");
            }
        }
    }
}

}  // namespace
