// Run control: Trace, Run, Debug, Program Reset, input waits and the switches between the two
// lists, as the main window performs them, played against the headless host (Run to Cursor in
// test_runtocursor.cpp, watch mode and memory repaints in test_watch.cpp). The test thread is the
// GUI thread: it touches engine state only inside host.Gui() and only while the engine is
// suspended or finished, except where a test repaints the memory image during a run as the
// memory window may at any time.
#include "run_control_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace celtest::runcontrol;

// ---------------------------------------------------------------------------------------------

TEST(RunControl, TraceOverLoopOnZero) {
    for (bool wide : Widths) {
        SCOPED_TRACE(wide ? "16-bit" : "8-bit");
        THost h;
        h.Options.Text = "[->+<]++";
        h.StartRun(wide, true);
        ASSERT_EQ(Settle(h), "paused");
        EXPECT_EQ(Look(h).SelStart, 0u);  // the first pause is at the [ itself
        EXPECT_EQ(Look(h).Executed, 0u);
        MenuTrace(h);
        ASSERT_EQ(Settle(h), "paused");
        EXPECT_EQ(Look(h).SelStart, 6u);  // past the matching ]
        EXPECT_EQ(Look(h).Executed, 1u);
        MenuTrace(h);
        ASSERT_EQ(Settle(h), "paused");
        EXPECT_EQ(Look(h).SelStart, 7u);
        MenuTrace(h);
        ASSERT_EQ(Settle(h), "finished");
        EXPECT_EQ(Look(h).Cells[0], 2u);
        EXPECT_EQ(Look(h).Executed, 3u);
        EXPECT_EQ(h.CountEvents("Paused"), 3);
    }
}

TEST(RunControl, TraceRunsOneCommandPerResumeAndMarksIt) {
    // Runs, a clear loop and a nested loop, spread over lines: in single steps none is folded.
    const std::string text = "++ +\r\n[->++<]>\r\n[-]+++ [>+<-]>.";
    for (bool wide : Widths) {
        SCOPED_TRACE(wide ? "16-bit" : "8-bit");
        THost h;
        h.RecordMarks = true;
        h.Options.Text = text;
        TRef r(text, wide, false);
        h.StartRun(wide, true);
        int steps = 0;
        while (!r.Done()) {
            ASSERT_EQ(Settle(h), "paused") << "step " << steps;
            ExpectPausedAt(h, r, Join("step ", steps));
            const std::vector<std::string> marks = MarksOf(h);
            ASSERT_EQ(marks.size(), static_cast<size_t>(steps + 1));
            EXPECT_EQ(marks.back(), Join("Mark ", r.Offset()));
            EXPECT_EQ(h.Gui([&] { return h.SelLength; }), 1u);
            MenuTrace(h);
            r.Step();
            ++steps;
        }
        ASSERT_EQ(Settle(h), "finished");
        ExpectFinishedAs(h, r);
        EXPECT_EQ(h.CountEvents("Paused"), steps);
        EXPECT_EQ(h.OutputText(), std::string(1, '\x03'));
    }
}

// On every form: native code waits for input inside the engine's call and leaves at the command.
TEST(RunControl, DebugWhileWaitingForInput) {
    const std::string text = "++,>+<.";
    for (int run = 0; run < 6; ++run) {
        const bool wide = run % 2 == 1;
        const celtest::TForm form = celtest::Forms[run / 2];
        for (int start = 0; start < 3; ++start) {  // fast, traced, watched
            SCOPED_TRACE(std::string(wide ? "16-bit " : "8-bit ") +
                         (start == 0 ? "fast, " : start == 1 ? "traced, " : "watched, ") + celtest::FormName(form));
            THost h;
            h.Options.Text = text;
            celtest::UseForm(h.Options, form);
            h.Options.Watch = start == 2;
            h.StartRun(wide, start == 1);
            if (start == 1) {
                for (int i = 0; i < 3; ++i) {
                    ASSERT_EQ(Settle(h), "paused");
                    MenuTrace(h);
                }
            }
            ASSERT_EQ(Settle(h), "waiting");
            EXPECT_EQ(h.CountEvents("RequestInput"), 1);

            MenuDebug(h);
            ASSERT_EQ(Settle(h), "paused");
            EXPECT_FALSE(h.RunFlags.WaitingForInput.load());
            EXPECT_EQ(h.CountEvents("DisableInput"), 1);
            TSeen s = Look(h);
            EXPECT_EQ(s.SelStart, 2u);   // paused at the input command
            EXPECT_EQ(s.Executed, 3u);   // two + and the abandoned attempt
            EXPECT_EQ(s.Cells[0], 2u);   // no input reached the cell

            // Trace asks again; abandon it a second time.
            MenuTrace(h);
            ASSERT_EQ(Settle(h), "waiting");
            EXPECT_EQ(h.CountEvents("RequestInput"), 2);
            MenuDebug(h);
            ASSERT_EQ(Settle(h), "paused");
            EXPECT_EQ(Look(h).SelStart, 2u);
            EXPECT_EQ(Look(h).Executed, 4u);

            // Run asks once more; this time the input comes.
            MenuRun(h);
            ASSERT_EQ(Settle(h), "waiting");
            EXPECT_EQ(h.CountEvents("RequestInput"), 3);
            celtest::DeliverLine(h, "A");
            ASSERT_EQ(Settle(h), "finished");
            s = Look(h);
            EXPECT_EQ(s.Cells[0], static_cast<uint32_t>('A'));
            EXPECT_EQ(s.Cells[1], 1u);
            EXPECT_EQ(s.Executed, 7u + 2u);  // the uninterrupted count and two abandoned attempts
            EXPECT_EQ(h.OutputText(), "A");
        }
    }
}

// The typed number: the cell keeps the low 8 or 16 bits, and as the input buffer stays as it
// was the next read asks again; a typed line fills the buffer, so the next read takes its
// second byte without asking.
TEST(RunControl, DeliveredNumbersAndLines) {
    struct TRow {
        const char* Name;
        bool Wide;
        int32_t Number;      // delivered at the first request
        uint32_t Cell0;      // what the first , stored
        const char* Line;    // delivered at the second request
        uint32_t Cell1;      // what the second , stored
        uint32_t Cell2;      // what the third , stored
        int Requests;        // input requests in the whole run
    };
    const TRow rows[] = {
        {"8-bit number wraps", false, 300, 44, "pq", 'p', 'q', 2},
        {"16-bit number wraps", true, 70000, 4464, "pq", 'p', 'q', 2},
        {"8-bit negative", false, -1, 255, "p", 'p', 'r', 3},
        {"16-bit negative", true, -2, 65534, "p", 'p', 'r', 3},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        THost h;
        h.Options.Text = ",>,>,";
        h.StartRun(row.Wide, false);
        ASSERT_EQ(Settle(h), "waiting");
        h.Gui([&] { h.Interpreter.DeliverNumber(row.Number); });
        ASSERT_EQ(Settle(h), "waiting");
        EXPECT_EQ(h.CountEvents("DisableInput"), 1);
        celtest::DeliverLine(h, row.Line);
        if (row.Requests == 3) {
            ASSERT_EQ(Settle(h), "waiting");
            celtest::DeliverLine(h, "r");
        }
        ASSERT_EQ(Settle(h), "finished");
        EXPECT_EQ(h.CountEvents("RequestInput"), row.Requests);
        const TSeen s = Look(h);
        EXPECT_EQ(s.Cells[0], row.Cell0);
        EXPECT_EQ(s.Cells[1], row.Cell1);
        EXPECT_EQ(s.Cells[2], row.Cell2);
    }
}

// The end of the input: the waiting read and every later one of the run find no more input and
// ask no more; each leaves the cell as it was, or 0, or the largest value, as the options say.
TEST(RunControl, EndOfInputHoldsForEveryLaterRead) {
    struct TRow {
        const char* Name;
        bool Wide;
        cel::TEndOfInput Eof;
        uint32_t Cell;
    };
    const TRow rows[] = {
        {"unchanged", false, cel::TEndOfInput::Unchanged, 7},
        {"zero", true, cel::TEndOfInput::Zero, 0},
        {"8-bit max", false, cel::TEndOfInput::Max, 255},
        {"16-bit max", true, cel::TEndOfInput::Max, 65535},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        THost h;
        h.Options.Text = "+++++++,>+++++++,>+++++++,";
        h.Options.EndOfInput = row.Eof;
        h.StartRun(row.Wide, false);
        ASSERT_EQ(Settle(h), "waiting");
        h.Gui([&] { h.Interpreter.DeliverEnd(); });
        ASSERT_EQ(Settle(h), "finished");
        EXPECT_EQ(h.CountEvents("RequestInput"), 1);
        const TSeen s = Look(h);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(s.Cells[i], row.Cell) << "cell " << i;
    }
}

// The end of the input is part of the run's history: stepping back over the read that met it
// and on again asks nothing, and the end still holds for the reads after it.
TEST(RunControl, StepBackOverTheEndOfInputKeepsIt) {
    THost h;
    h.Options.Text = "+++++++,>,";
    h.Options.EndOfInput = cel::TEndOfInput::Zero;
    h.StartRun(false, true);
    ASSERT_EQ(Settle(h), "paused");
    for (int k = 0; k < 8; ++k) {
        MenuTrace(h);
        ASSERT_EQ(Settle(h), k < 7 ? "paused" : "waiting");
    }
    h.Gui([&] { h.Interpreter.DeliverEnd(); });
    ASSERT_EQ(Settle(h), "paused");
    EXPECT_EQ(Look(h).Cells[0], 0u);
    ASSERT_TRUE(h.Gui([&] { return h.Interpreter.StepBack(); }));
    ASSERT_EQ(Settle(h), "paused");
    EXPECT_EQ(Look(h).Executed, 7u);
    EXPECT_EQ(Look(h).Cells[0], 7u);
    MenuTrace(h);
    ASSERT_EQ(Settle(h), "paused");
    EXPECT_EQ(Look(h).Cells[0], 0u);
    MenuRun(h);
    ASSERT_EQ(Settle(h), "finished");
    EXPECT_EQ(h.CountEvents("RequestInput"), 1);
}

// Step Back takes back what the steps printed, and going on again reads the input already
// given from the run's history: only input never given is asked for.
TEST(RunControl, StepBackTakesPrintedTextBackAndKeepsTheInput) {
    for (const bool wide : Widths) {
        THost h;
        h.Options.Text = ",[.,]";
        h.StartRun(wide, true);
        ASSERT_EQ(Settle(h), "paused");
        MenuTrace(h);
        ASSERT_EQ(Settle(h), "waiting");
        celtest::DeliverLine(h, "abc");
        ASSERT_EQ(Settle(h), "paused");
        for (int k = 1; k < 6; ++k) {
            MenuTrace(h);
            ASSERT_EQ(Settle(h), "paused");
        }
        EXPECT_EQ(h.OutputText(), "ab");
        for (int k = 0; k < 2; ++k) {
            ASSERT_TRUE(h.Gui([&] { return h.Interpreter.StepBack(); }));
            ASSERT_EQ(Settle(h), "paused");
        }
        EXPECT_EQ(Look(h).Executed, 4u);
        EXPECT_EQ(h.OutputText(), "a");
        MenuRun(h);
        ASSERT_EQ(Settle(h), "waiting");
        h.Gui([&] { h.Interpreter.DeliverNumber(0); });
        ASSERT_EQ(Settle(h), "finished");
        EXPECT_EQ(h.OutputText(), "abc");
        EXPECT_EQ(h.CountEvents("RequestInput"), 2);
    }
}

// A cell changed in the first pause, which comes after the input file's first block was read,
// is changed there again when a backward move replays the run.
TEST(RunControl, StepBackReplaysACellChangedAfterAnInputBlock) {
    const std::string input = celtest::TempPath("block.in");
    ASSERT_TRUE(celtest::WriteFileBytes(input, "x"));
    THost h;
    h.Options.Text = "+.+";
    h.Options.InputFileName = input;
    h.StartRun(false, true);
    ASSERT_EQ(Settle(h), "paused");
    h.Gui([&] { h.Interpreter.SetCell(0, 'A'); });
    for (int k = 0; k < 2; ++k) {
        MenuTrace(h);
        ASSERT_EQ(Settle(h), "paused");
    }
    ASSERT_TRUE(h.Gui([&] { return h.Interpreter.StepBack(); }));
    ASSERT_EQ(Settle(h), "paused");
    EXPECT_EQ(Look(h).Executed, 1u);
    EXPECT_EQ(Look(h).Cells[0], uint32_t{'B'});
    MenuRun(h);
    ASSERT_EQ(Settle(h), "finished");
    EXPECT_EQ(h.OutputText(), "B");
}

// A change of the past made before the input file's second block was read reads that block all
// the same, where the history stands, though the discarded future had read it already.
TEST(RunControl, AChangeOfThePastReadsTheInputFileOnFromThere) {
    // A 0 at its end ends the program.
    std::string bytes(cel::IOBlockSize + 100, 'a');
    bytes.replace(cel::IOBlockSize - 1, 4, "bcde");
    bytes.back() = '\0';
    const std::string input = celtest::TempPath("blocks.in");
    ASSERT_TRUE(celtest::WriteFileBytes(input, bytes));
    const std::string output = celtest::TempPath("blocks.out");
    // The fast form goes to a far stop without a snapshot at each input and output.
    for (const bool plain : {true, false}) {
        SCOPED_TRACE(plain ? "plain" : "fast");
        THost h;
        h.Options.Text = ",[.,]";
        h.Options.InputFileName = input;
        h.Options.OutputFileName = output;
        h.Options.OutputVisible = false;
        h.Options.PlainEngine = plain;
        h.StartRun(false, true);
        ASSERT_EQ(Settle(h), "paused");
        const auto runTo = [&](uint64_t count) {
            h.Gui([&] { h.Interpreter.Engine().SetStopAt(count); });
            MenuRun(h);
            return Settle(h, 120000);  // some 200,000 commands
        };
        ASSERT_EQ(runTo(3ull * cel::IOBlockSize + 100), "paused");
        ASSERT_TRUE(h.Gui([&] { return h.Interpreter.RunBackwards(); }));
        ASSERT_EQ(Settle(h, 120000), "paused");
        ASSERT_EQ(runTo(3ull * cel::IOBlockSize - 100), "paused");
        h.Gui([&] { h.Interpreter.SetCell(0, h.Interpreter.GetCell(0)); });
        EXPECT_EQ(h.CountEvents("HistoryDiscarded"), 1);
        EXPECT_EQ(runTo(UINT64_MAX), "finished");
        EXPECT_TRUE(celtest::ReadFileBytes(output) == bytes.substr(0, bytes.size() - 1));
    }
}

TEST(RunControl, DebugWhileWaitingThenTraceContinuesAfterTheInput) {
    THost h;
    h.Options.Text = "+,>+.";
    h.StartRun(false, false);
    ASSERT_EQ(Settle(h), "waiting");
    MenuDebug(h);
    ASSERT_EQ(Settle(h), "paused");
    MenuTrace(h);
    ASSERT_EQ(Settle(h), "waiting");
    celtest::DeliverLine(h, "xyz");
    ASSERT_EQ(Settle(h), "paused");
    TSeen s = Look(h);
    EXPECT_EQ(s.SelStart, 2u);  // one command further: the >
    EXPECT_EQ(s.Executed, 3u);
    EXPECT_EQ(s.Cells[0], static_cast<uint32_t>('x'));
    MenuRun(h);
    ASSERT_EQ(Settle(h), "finished");
    EXPECT_EQ(Look(h).Executed, 6u);
}

TEST(RunControl, ResetWhilePaused) {
    for (bool wide : Widths) {
        SCOPED_TRACE(wide ? "16-bit" : "8-bit");
        {
            SCOPED_TRACE("traced");
            THost h;
            h.Options.Text = "+++>++.";
            h.StartRun(wide, true);
            ASSERT_EQ(Settle(h), "paused");
            MenuTrace(h);
            ASSERT_EQ(Settle(h), "paused");
            MenuTrace(h);
            ASSERT_EQ(Settle(h), "paused");
            MenuReset(h);
            ASSERT_EQ(Settle(h), "finished");
            EXPECT_FALSE(h.RunFlags.Running.load());
            EXPECT_FALSE(h.RunFlags.Paused.load());
            EXPECT_EQ(h.CountEvents("Ready"), 1);
            const TSeen s = Look(h);
            EXPECT_EQ(s.Executed, 2u);  // nothing ran after the reset
            EXPECT_EQ(s.Cells[0], 2u);
            EXPECT_EQ(s.DataPtr, 0u);
            EXPECT_EQ(h.OutputText(), "");
        }
        {
            SCOPED_TRACE("paused by Debug in an endless loop");
            THost h;
            h.Options.Text = "+[>+<]";
            h.StartRun(wide, false);
            ASSERT_TRUE(SpinUntil([&] { return h.Interpreter.GetExecuted() > 1000; }));
            MenuDebug(h);
            ASSERT_EQ(Settle(h), "paused");
            const TSeen before = Look(h);
            MenuReset(h);
            ASSERT_EQ(Settle(h), "finished");
            const TSeen after = Look(h);
            EXPECT_EQ(after.Executed, before.Executed);
            EXPECT_EQ(after.Cells, before.Cells);
            EXPECT_EQ(after.DataPtr, before.DataPtr);
            EXPECT_EQ(h.CountEvents("Ready"), 1);
        }
        {
            SCOPED_TRACE("paused by Run to Cursor");
            THost h;
            h.Options.Text = "+++>++.";
            h.StartRun(wide, false, true, 4);
            ASSERT_EQ(Settle(h), "paused");
            MenuReset(h);
            ASSERT_EQ(Settle(h), "finished");
            EXPECT_EQ(Look(h).Executed, 4u);
            EXPECT_EQ(Look(h).Cells[1], 0u);
        }
    }
}

TEST(RunControl, ResetWhileWaitingForInput) {
    for (bool wide : Widths) {
        for (int start = 0; start < 3; ++start) {  // fast, traced, watched
            SCOPED_TRACE(std::string(wide ? "16-bit " : "8-bit ") +
                         (start == 0 ? "fast" : start == 1 ? "traced" : "watched"));
            THost h;
            h.Options.Text = "+++,.>+";
            h.Options.Watch = start == 2;
            h.StartRun(wide, start == 1);
            if (start == 1) {
                for (int i = 0; i < 4; ++i) {
                    ASSERT_EQ(Settle(h), "paused");
                    MenuTrace(h);
                }
            }
            ASSERT_EQ(Settle(h), "waiting");
            MenuReset(h);
            ASSERT_EQ(Settle(h), "finished");
            EXPECT_FALSE(h.RunFlags.Running.load());
            EXPECT_FALSE(h.RunFlags.WaitingForInput.load());
            EXPECT_EQ(h.CountEvents("Ready"), 1);
            const TSeen s = Look(h);
            EXPECT_EQ(s.Cells[0], 3u);     // the input command completed without input
            EXPECT_EQ(s.Executed, 4u);     // and counts; nothing after it ran
            EXPECT_EQ(s.DataPtr, 0u);
            EXPECT_EQ(h.OutputText(), "");
        }
    }
}

TEST(RunControl, TerminateWhileRunningIsSeen) {
    for (bool wide : Widths) {
        for (bool watch : {false, true}) {
            SCOPED_TRACE(std::string(wide ? "16-bit " : "8-bit ") + (watch ? "watched" : "fast"));
            THost h;
            h.Options.Text = "+[>+<]";
            h.Options.Watch = watch;
            h.StartRun(wide, false);
            ASSERT_TRUE(SpinUntil([&] { return h.Interpreter.GetExecuted() > 500; }));
            MenuReset(h);
            ASSERT_EQ(Settle(h, 10000), "finished");
            EXPECT_FALSE(h.RunFlags.Running.load());
            EXPECT_EQ(h.CountEvents("Ready"), 1);
            EXPECT_EQ(h.CountEvents("Paused"), 0);
        }
    }
}

// The fast form of 100,000 nested loops is built once the analysis is over: a reset then ends
// the run, during the build or after it.
TEST(RunControl, ResetWhileTheFastFormIsBuiltEndsTheRun) {
    THost h;
    h.Options.Text = "+" + std::string(100000, '[') + std::string(100000, ']');
    h.StartRun(false, false);
    ASSERT_TRUE(SpinUntil([&] { return h.CountEvents("EndAnalysis") > 0; }));
    MenuReset(h);
    ASSERT_EQ(Settle(h), "finished");
    EXPECT_EQ(h.CountEvents("Ready"), 1);
}

// Loops that never end, in each shape the fast form treats on its own, stay pausable: Debug
// lands where single steps would stand after the same count, Run to Cursor into the loop stops
// at its target, and Program Reset ends the run. No timing is asserted.
TEST(RunControl, NeverEndingLoopsStayPausable) {
    const std::string far(16384, '>');
    // Moves of whole tape lengths: the pointer stays where it was.
    const std::string round(32768, '>');
    const std::string back(32768, '<');
    const std::string shapes[] = {
        "+[]",                     // an empty loop
        // The pointer going round the tape, rightwards and leftwards: the cell each pass ends on
        // has been raised an odd number of times, so it is never 0 (+[>+] ends after 256
        // rounds, 25 million commands, a few milliseconds on native code: before the Debug).
        "+[>+<+>]",
        "+[<+>+<]",
        "+[>+<]",                  // balanced, its counter never changing
        "+[-->+<]",                // a multiply loop stepping by 2 over an odd counter
        "+[>[-]+<--]",             // the same with a cleared cell
        "+[>++[->+<]<--]",         // a loop with an inner loop, repeating passes
        "+" + far + "+[" + far + "]",  // a scan that finds no zero on its way round
        "+[" + round + "]",            // scans whose stride is whole tape lengths
        "+[" + back + "]",
        "+[" + round + round + "]",
        "+[>+<" + round + "]",         // a multiply loop moving round the tape
        "+[>[->+<]" + std::string(32767, '>') + "]",  // a walk whose stride is the tape
        "+[>++[->+<]<" + back + "]",   // repeating passes round the tape
    };
    for (int run = 0; run < 6; ++run) {
        const bool wide = run % 2 == 1;
        const celtest::TForm form = celtest::Forms[run / 2];
        for (const std::string& text : shapes) {
            SCOPED_TRACE(text.substr(0, 20) + (wide ? " (16-bit), " : " (8-bit), ") + celtest::FormName(form));
            THost h;
            h.Options.Text = text;
            celtest::UseForm(h.Options, form);
            h.StartRun(wide, false);
            ASSERT_TRUE(SpinUntil([&] { return h.Interpreter.GetExecuted() > 100000; }));
            MenuDebug(h);
            ASSERT_EQ(Settle(h), "paused");
            TRef r(text, wide, false);
            const TSeen s = Look(h);
            if (text.size() > 16385 && text[16385] == '+') {
                // The scan counts 16,385 commands a pass, too many for the reference to follow:
                // the count, the pointer and the mark of a pause at the start of a pass, or on
                // the plain folded loop, which checks after every record, also at its ].
                const bool atClose = form == celtest::TForm::Plain && s.SelStart == 32771;
                const uint64_t start = atClose ? 16387 + 16384 : 16387;
                const uint64_t passes = (s.Executed - start) / 16385;
                EXPECT_EQ(s.Executed, start + passes * 16385);
                EXPECT_EQ(s.DataPtr, (passes + atClose) % 2 == 0 ? 16384u : 0u);
                EXPECT_TRUE(atClose || s.SelStart == 16387u) << s.SelStart;
                MenuReset(h);
                ASSERT_EQ(Settle(h), "finished");
                continue;
            }
            // A pass round the tape counts too many commands for the reference to follow:
            // the pause lies inside the loop.
            const bool rounds = text.size() > 100;
            if (rounds) {
                EXPECT_GE(s.SelStart, 2u);
                EXPECT_LT(s.SelStart, text.size());
            } else {
                r.AdvanceTo(s.Executed);
                EXPECT_EQ(s.SelStart, r.Offset());
                EXPECT_EQ(s.DataPtr, r.Dp);
                EXPECT_EQ(s.Cells, celtest::Window(r.Tape));
            }

            // To the last command of the loop's body (the ] of an empty one): reached on the
            // next pass, where single steps are.
            const uint32_t target = static_cast<uint32_t>(text.size() - (text == "+[]" ? 1 : 2));
            MenuRunToCursor(h, target);
            ASSERT_EQ(Settle(h), "paused");
            const TSeen t = Look(h);
            EXPECT_EQ(t.SelStart, target);
            if (!rounds) {
                r.AdvanceTo(t.Executed);
                EXPECT_EQ(t.SelStart, r.Offset());
                EXPECT_EQ(t.DataPtr, r.Dp);
                EXPECT_EQ(t.Cells, celtest::Window(r.Tape));
            }

            MenuRun(h);
            ASSERT_TRUE(SpinUntil([&] { return h.Interpreter.GetExecuted() > t.Executed + 1000; }));
            MenuReset(h);
            ASSERT_EQ(Settle(h), "finished");
        }
    }
}

// Leaves watch mode from inside the mark hand-off of its n-th watched step, as the Watch command
// would at that moment: the engine is blocked in the hand-off, so the repaint is safe.
class TWatchOffHost : public THost {
public:
    int OffAt = -1;
    int Marks = 0;
    void ShowCurrentCommand(uint32_t origin) override {
        THost::ShowCurrentCommand(origin);
        if (Marks++ == OffAt) {
            if (Interpreter.SwitchWatch(false)) SelLength = 0;
        }
    }
};

TEST(RunControl, LeavingSingleStepsInsideFoldedRecordsKeepsTheCount) {
    // Trace the first + of +[-], then Run: the clear loop runs fast, counted as single steps.
    for (bool wide : Widths) {
        THost h;
        h.Options.Text = "+[-]";
        h.StartRun(wide, true);
        ASSERT_EQ(Settle(h), "paused");
        MenuRun(h);
        ASSERT_EQ(Settle(h), "finished");
        EXPECT_EQ(Look(h).Executed, 4u);
    }
    // Watched into a clear loop, watch off with the engine at the loop's ]: the count is still
    // the single-step count.
    for (bool wide : Widths) {
        TWatchOffHost h;
        h.Options.Text = "+++[-]>";
        h.Options.Watch = true;
        h.OffAt = 4;  // marks: + + + [ -; the switch lands on the ]
        h.StartRun(wide, false);
        ASSERT_EQ(Settle(h), "finished");
        EXPECT_EQ(Look(h).Executed, 3u + 1u + 2u * 3u + 1u);
    }

    // Every point of switching, by Trace-then-Run and by watch-off, over programs whose folded
    // records (runs, clear loops) are entered one command at a time.
    const std::string programs[] = {"+[-]",           "++[-]+",        "+++[-]>",
                                    "--[+]<<",        "-->+[-]<[+]",   "+++[>++<-]>[-]",
                                    "++[>+>++<<-]>>>-[+]", "-[+]+[-]",  "[-]>+++<"};
    for (const std::string& text : programs) {
        for (bool wide : Widths) {
            TRef r(text, wide, false);
            r.RunToEnd();
            const uint64_t total = r.Steps;
            for (uint64_t k = 0; k <= total; ++k) {
                SCOPED_TRACE(text + (wide ? " 16-bit" : " 8-bit") + " k=" + std::to_string(k));
                {
                    THost h;
                    h.Options.Text = text;
                    h.StartRun(wide, true);
                    std::string state = Settle(h);
                    for (uint64_t i = 0; i < k && state == "paused"; ++i) {
                        MenuTrace(h);
                        state = Settle(h);
                    }
                    if (state == "paused") {
                        MenuRun(h);
                        state = Settle(h);
                    }
                    ASSERT_EQ(state, "finished");
                    ExpectFinishedAs(h, r);
                }
                {
                    TWatchOffHost h;
                    h.Options.Text = text;
                    h.Options.Watch = true;
                    h.OffAt = static_cast<int>(k);
                    h.StartRun(wide, false);
                    ASSERT_EQ(Settle(h), "finished");
                    ExpectFinishedAs(h, r);
                }
            }
        }
    }
}

TEST(RunControl, IllegalCallPausesAtTheCall) {
    //                        01234567890
    const std::string text = "+(>+<)-:>+.";
    for (bool wide : Widths) {
        for (bool traced : {false, true}) {
            SCOPED_TRACE(std::string(wide ? "16-bit " : "8-bit ") + (traced ? "traced" : "fast"));
            THost h;
            h.Options.Text = text;
            h.Options.ProcMode = true;
            h.StartRun(wide, traced);
            std::string state = Settle(h);
            while (traced && state == "paused" && h.CountEvents("Error 109") == 0) {
                MenuTrace(h);
                state = Settle(h);
            }
            ASSERT_EQ(state, "paused");
            EXPECT_EQ(h.CountEvents("Error 109"), 1);
            TSeen s = Look(h);
            EXPECT_EQ(s.SelStart, 7u);  // at the :
            EXPECT_EQ(s.Executed, 3u);  // +, ( and -; the failed call does not count
            h.Gui([&] {
                const std::vector<std::string>& ev = h.Events;
                auto error = std::find(ev.begin(), ev.end(), "Error 109");
                EXPECT_NE(std::find(error, ev.end(), "Paused"), ev.end());
            });

            // Continuing with the cell unchanged fails again.
            MenuRun(h);
            ASSERT_EQ(Settle(h), "paused");
            EXPECT_EQ(h.CountEvents("Error 109"), 2);
            s = Look(h);
            EXPECT_EQ(s.SelStart, 7u);
            EXPECT_EQ(s.Executed, 3u);

            // Modify Memory to the value with a procedure; Trace enters its body.
            h.Gui([&] { h.Interpreter.SetCell(static_cast<uint16_t>(h.Interpreter.GetDataPtr()), 1); });
            MenuTrace(h);
            ASSERT_EQ(Settle(h), "paused");
            EXPECT_EQ(Look(h).SelStart, 2u);  // the > of the body
            EXPECT_EQ(Look(h).Executed, 4u);
            MenuRun(h);
            ASSERT_EQ(Settle(h), "finished");
            s = Look(h);
            EXPECT_EQ(h.CountEvents("Error 109"), 2);
            EXPECT_EQ(s.Cells[0], 1u);
            EXPECT_EQ(s.Cells[1], 2u);
            EXPECT_EQ(s.DataPtr, 1u);
            EXPECT_EQ(s.Executed, 3u + 1u + 4u + 3u);
        }
    }
}

TEST(RunControl, ResumeRightAfterPausedIsKept) {
    // The GUI may act on the flag before the engine has reached its suspension.
    std::string text;
    for (int i = 0; i < 150; ++i) text += i % 7 == 3 ? "> " : "+";
    TRef r(text, false, false);
    r.RunToEnd();
    THost h;
    h.Options.Text = text;
    h.StartRun(false, true);
    for (uint64_t i = 0; i < r.Steps; ++i) {
        // The count first: a Paused read first may still be the last pause's, seen just before
        // the engine went on, and the count read after it the next step's.
        ASSERT_TRUE(SpinUntil([&] {
            const uint64_t executed = h.Interpreter.GetExecuted();
            return executed == i && h.RunFlags.Paused.load();
        })) << "step " << i;
        MenuTrace(h);
    }
    ASSERT_EQ(Settle(h), "finished");
    ExpectFinishedAs(h, r);
}

TEST(RunControl, InputRightAfterTheRequestIsKept) {
    // Each request is answered as soon as its hand-off has run, before the engine has suspended.
    // (WaitingForInput itself stays set until the engine has taken the input, so a new request
    // is told by its event.)
    std::string text;
    for (int i = 0; i < 60; ++i) text += ",>";
    for (bool debugFirst : {false, true}) {
        SCOPED_TRACE(debugFirst ? "Debug, then Run, then input" : "input");
        THost h;
        h.Options.Text = text;
        h.StartRun(false, false);
        int requests = 0;
        for (int i = 0; i < 60; ++i) {
            ASSERT_TRUE(SpinUntil([&] { return h.CountEvents("RequestInput") == requests + 1; })) << i;
            ++requests;
            if (debugFirst) {
                MenuDebug(h);
                ASSERT_TRUE(SpinUntil([&] { return h.CountEvents("Paused") == i + 1; })) << i;
                MenuRun(h);
                ASSERT_TRUE(SpinUntil([&] { return h.CountEvents("RequestInput") == requests + 1; })) << i;
                ++requests;
            }
            celtest::DeliverLine(h, std::string(1, static_cast<char>('0' + i)));
        }
        ASSERT_EQ(Settle(h), "finished");
        for (uint16_t i = 0; i < 60; ++i)
            EXPECT_EQ(h.Gui([&] { return h.Interpreter.GetCell(i); }), static_cast<uint32_t>('0' + i));
        EXPECT_EQ(Look(h).Executed, debugFirst ? 180u : 120u);
    }
}

TEST(RunControl, DebugRightAfterTheInputWaitBegins) {
    // Debug acts on WaitingForInput the moment it is set, possibly before the engine suspends;
    // its resume must not be lost, or the engine would keep waiting with the input panel closed.
    for (int i = 0; i < 200; ++i) {
        THost h;
        h.Options.Text = "+,.";
        h.StartRun(i % 2 == 1, false);
        ASSERT_TRUE(SpinUntil([&] { return h.RunFlags.WaitingForInput.load(); })) << i;
        MenuDebug(h);
        ASSERT_EQ(Settle(h), "paused") << i;
        EXPECT_EQ(Look(h).SelStart, 1u);
        EXPECT_EQ(Look(h).Executed, 2u);
        MenuReset(h);
        ASSERT_EQ(Settle(h), "finished");
        if (HasFailure()) return;
    }
}

TEST(RunControl, ResumeWhileRunningIsNotKept) {
    // A resume given while the engine runs has no effect: it must not release a later pause.
    THost h;
    h.Options.Text = "+[>+<]";
    h.StartRun(false, false);
    ASSERT_TRUE(SpinUntil([&] { return h.Interpreter.GetExecuted() > 1000; }));
    h.Gui([&] { h.Interpreter.Resume(); });
    MenuDebug(h);
    ASSERT_EQ(Settle(h), "paused");
    const uint64_t executed = Look(h).Executed;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(Settle(h), "paused");
    EXPECT_EQ(Look(h).Executed, executed);
    MenuReset(h);
    ASSERT_EQ(Settle(h), "finished");
}

TEST(RunControl, ReadyPutsTheCaretAfterTheLastMark) {
    {
        SCOPED_TRACE("traced to the end");
        THost h;
        h.Options.Text = "++ >";
        h.StartRun(false, true);
        for (int i = 0; i < 3; ++i) {
            ASSERT_EQ(Settle(h), "paused");
            MenuTrace(h);
        }
        ASSERT_EQ(Settle(h), "finished");
        EXPECT_EQ(h.Gui([&] { return h.SelStart; }), 4u);
        EXPECT_EQ(h.Gui([&] { return h.SelLength; }), 0u);
    }
    {
        SCOPED_TRACE("traced once, then run");
        THost h;
        h.Options.Text = " ++ >+";
        h.StartRun(false, true);
        ASSERT_EQ(Settle(h), "paused");
        MenuRun(h);
        ASSERT_EQ(Settle(h), "finished");
        EXPECT_EQ(h.Gui([&] { return h.SelStart; }), 2u);  // after the + at 1, the last mark
        EXPECT_EQ(h.Gui([&] { return h.SelLength; }), 0u);
    }
    {
        SCOPED_TRACE("paused by Run to Cursor, then run");
        THost h;
        h.Options.Text = "+++>++";
        h.StartRun(false, false, true, 3);
        ASSERT_EQ(Settle(h), "paused");
        MenuRun(h);
        ASSERT_EQ(Settle(h), "finished");
        EXPECT_EQ(h.Gui([&] { return h.SelStart; }), 4u);
    }
    {
        SCOPED_TRACE("watched");
        THost h;
        h.Options.Text = "++\r\n>.";
        h.Options.Watch = true;
        h.StartRun(false, false);
        ASSERT_EQ(Settle(h), "finished");
        EXPECT_EQ(h.Gui([&] { return h.SelStart; }), 6u);
        EXPECT_EQ(h.Gui([&] { return h.SelLength; }), 0u);
    }
    {
        SCOPED_TRACE("reset while paused");
        THost h;
        h.Options.Text = "+++>++";
        h.StartRun(false, true);
        ASSERT_EQ(Settle(h), "paused");
        MenuTrace(h);
        ASSERT_EQ(Settle(h), "paused");
        MenuReset(h);
        ASSERT_EQ(Settle(h), "finished");
        EXPECT_EQ(h.Gui([&] { return h.SelStart; }), 2u);
    }
    for (int kind = 0; kind < 2; ++kind) {
        SCOPED_TRACE(kind == 0 ? "run fast" : "run to cursor with no command after the caret");
        THost h;
        h.Options.Text = "+++>++";
        h.SelStart = 2;
        h.SelLength = 3;
        h.StartRun(false, false, kind == 1, 9);
        ASSERT_EQ(Settle(h), "finished");
        EXPECT_EQ(h.Gui([&] { return h.SelStart; }), 2u);  // no mark, the caret stays
        EXPECT_EQ(h.Gui([&] { return h.SelLength; }), 3u);
    }
}

}  // namespace
