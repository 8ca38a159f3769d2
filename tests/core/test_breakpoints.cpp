// Breakpoints, played against the headless host: where a run pauses for them (inside folded runs,
// in clear loops, in procedures, at the ends of the program, together with Run to Cursor), each
// pause checked against single steps of the reference. Breakpoints changed while paused are in
// the property tests.
#include "test_reference.h"
#include "test_support.h"

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
    // Full speed in native code, in the fast form and on the plain folded loop, and watched single
    // steps.
    const struct {
        const char* Name;
        celtest::TForm Form;
        bool Watch;
    } modes[] = {{"native code", celtest::TForm::Native, false},
                 {"fast form", celtest::TForm::Fast, false},
                 {"plain engine", celtest::TForm::Plain, false},
                 {"watched", celtest::TForm::Native, true}};
    for (const bool wide : Widths) {
        for (const auto& mode : modes) {
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

}  // namespace
