// Watch mode switched during a run, the output a watched or paused run shows, and repaints of the
// memory image while the engine runs, played against the headless host; the test thread is the
// GUI thread, as in test_runcontrol.cpp.
#include "run_control_names.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace celtest::runcontrol;

TEST(RunControl, WatchSwitchedOnAndOffMidRun) {
    // The input commands are the moments at which the test switches: the engine waits there.
    const std::string text = ",>+++[>++[>+<-]<-]>>,<[>>+<<-]>>>.<<<<.";
    for (bool wide : Widths) {
        SCOPED_TRACE(wide ? "16-bit" : "8-bit");
        celtest::TRunSetup job;
        job.Text = text;
        job.Wide = wide;
        job.Input = "xy";
        const celtest::TRunResult plain = celtest::RunProgram(job);
        ASSERT_TRUE(plain.Finished);

        THost h;
        h.RecordMarks = true;
        h.Options.Text = text;
        h.StartRun(wide, false);
        ASSERT_EQ(Settle(h), "waiting");
        EXPECT_TRUE(MarksOf(h).empty());
        MenuWatch(h, true);
        celtest::DeliverLine(h, "x");
        ASSERT_EQ(Settle(h), "waiting");

        // Every command from the first input to the second was marked, in order.
        TRef r(text, wide, false, "xy");
        r.Step();
        std::vector<std::string> expected;
        while (r.Cmds[r.Pc].Ch != ',') {
            expected.push_back(Join("Mark ", r.Offset()));
            r.Step();
        }
        expected.push_back(Join("Mark ", r.Offset()));
        EXPECT_EQ(MarksOf(h), expected);

        MenuWatch(h, false);
        EXPECT_EQ(h.Gui([&] { return h.SelLength; }), 0u);
        celtest::DeliverLine(h, "y");
        ASSERT_EQ(Settle(h), "finished");
        EXPECT_EQ(MarksOf(h).size(), expected.size());  // fast again: no further marks
        EXPECT_EQ(h.CountEvents("Paused"), 0);

        const TSeen s = Look(h);
        EXPECT_EQ(s.Executed, plain.Executed);
        EXPECT_EQ(s.DataPtr, plain.DataPtr);
        EXPECT_EQ(s.Cells, celtest::Window(plain.Tape));
        EXPECT_EQ(h.OutputText(), plain.Output);
    }
}

// Keeps, at every mark of the current command, the output window's text as the user sees it then.
class TOutputSeenHost : public THost {
public:
    std::vector<std::string> AtMark;
    void ShowCurrentCommand(uint32_t origin) override {
        THost::ShowCurrentCommand(origin);
        AtMark.push_back(OutputText());
    }
    size_t MarkCount() {
        return Gui([&] { return AtMark.size(); });
    }
};

// Prints A, B, C, a line break and D, far fewer characters than any output buffer holds.
const std::string PrintingText = "++++++++[>++++++++<-]>+.+.\r\n+.>++++++++++.<+.";

TEST(RunControl, WatchShowsEachCharacterAtTheStepThatPrintedIt) {
    for (bool wide : Widths) {
        for (uint32_t buffer : {128u, 255u, 3u}) {
            SCOPED_TRACE(Join(wide ? "16-bit, buffer " : "8-bit, buffer ", buffer));
            TOutputSeenHost h;
            h.Options.Text = PrintingText;
            h.Options.Watch = true;
            h.Options.OutputBufferSize = buffer;
            h.StartRun(wide, false);
            ASSERT_EQ(Settle(h), "finished");
            // Mark i comes before step i runs: it finds what steps 0 to i - 1 printed.
            TRef r(PrintingText, wide, false);
            size_t step = 0;
            while (!r.Done()) {
                ASSERT_LT(step, h.AtMark.size());
                EXPECT_EQ(h.AtMark[step], r.Out) << "at the mark of step " << step;
                r.Step();
                ++step;
            }
            EXPECT_EQ(h.AtMark.size(), step);
            EXPECT_EQ(h.OutputText(), "ABC\nD");
        }
    }
}

TEST(RunControl, WatchSwitchedOnShowsWhatTheFastRunPrinted) {
    // Prints A, then loops for ever: the A waits in the display buffer while the run is fast.
    const std::string text = "++++++++[>++++++++<-]>+.[]";
    for (bool wide : Widths) {
        SCOPED_TRACE(wide ? "16-bit" : "8-bit");
        TOutputSeenHost h;
        h.Options.Text = text;
        h.StartRun(wide, false);
        ASSERT_TRUE(SpinUntil([&] { return h.Interpreter.GetExecuted() > 1000; }));
        EXPECT_EQ(h.OutputText(), "");
        MenuWatch(h, true);
        ASSERT_TRUE(SpinUntil([&] { return h.MarkCount() >= 2; }));
        // The first watched step hands the buffer over: the next mark finds the A shown.
        EXPECT_EQ(h.Gui([&] { return h.AtMark[1]; }), "A");
        MenuReset(h);
        ASSERT_EQ(Settle(h), "finished");
    }
}

TEST(RunControl, EveryPauseShowsAllOutputSoFar) {
    for (bool wide : Widths) {
        for (bool watch : {false, true}) {
            SCOPED_TRACE(std::string(wide ? "16-bit" : "8-bit") + (watch ? ", watched" : ""));
            TOutputSeenHost h;
            h.Options.Text = PrintingText;
            h.Options.Watch = watch;
            h.StartRun(wide, true);
            TRef r(PrintingText, wide, false);
            while (!r.Done()) {
                ASSERT_EQ(Settle(h), "paused") << "step " << r.Steps;
                EXPECT_EQ(h.OutputText(), r.Out) << "step " << r.Steps;
                MenuTrace(h);
                r.Step();
            }
            ASSERT_EQ(Settle(h), "finished");
            EXPECT_EQ(h.CountEvents("Paused"), static_cast<int>(r.Steps));
        }
    }
    // A pause reached by Run to Cursor after a fast run shows what the fast run printed.
    for (bool wide : Widths) {
        SCOPED_TRACE(wide ? "16-bit, run to cursor" : "8-bit, run to cursor");
        TOutputSeenHost h;
        h.Options.Text = PrintingText;
        const uint32_t target = static_cast<uint32_t>(PrintingText.rfind('<'));
        h.StartRun(wide, false, true, target);
        ASSERT_EQ(Settle(h), "paused");
        EXPECT_EQ(h.OutputText(), "ABC\n");
        MenuRun(h);
        ASSERT_EQ(Settle(h), "finished");
        EXPECT_EQ(h.OutputText(), "ABC\nD");
    }
}

// The memory window repaints whenever it is scrolled or resized, and the Watch command repaints
// when it switches watch off; both happen on the GUI thread while the engine runs between its
// hand-offs. The repaint must not disturb the run (and must not race with it).
TEST(RunControl, MemoryRepaintDuringAWatchedRun) {
    const std::string text = "++++++++[>++++++++[>++>+++<<-]<-]>>[>+<-]>>[<<+>>-]<<.";
    celtest::TRunSetup job;
    job.Text = text;
    const celtest::TRunResult plain = celtest::RunProgram(job);
    ASSERT_TRUE(plain.Finished);

    for (int round = 0; round < 3; ++round) {
        THost h;
        h.Options.Text = text;
        h.Options.Watch = true;
        h.MemoryWindowVisible = true;
        h.StartRun(false, false);
        for (int i = 0; i < 200000 && !h.Engine().IsFinished(); ++i) {
            std::this_thread::yield();
            h.Gui([&] { h.Interpreter.PaintMemory(); });  // a scroll of the memory window
            if (i == 500) {
                MenuWatch(h, false);
                MenuWatch(h, true);
            }
        }
        ASSERT_EQ(Settle(h), "finished");
        const TSeen s = Look(h);
        EXPECT_EQ(s.Executed, plain.Executed);
        EXPECT_EQ(s.DataPtr, plain.DataPtr);
        EXPECT_EQ(s.Cells, celtest::Window(plain.Tape));
        EXPECT_EQ(h.OutputText(), plain.Output);
    }
}

// A repaint right after Trace resumed the engine: the engine is on its way out of the pause and
// runs the next command.
TEST(RunControl, MemoryRepaintRightAfterTrace) {
    std::string text;
    for (int i = 0; i < 200; ++i) text += i % 10 == 9 ? ">" : "+";
    TRef r(text, false, false);
    r.RunToEnd();
    THost h;
    h.Options.Text = text;
    h.MemoryWindowVisible = true;
    h.StartRun(false, true);
    for (uint64_t i = 0; i < r.Steps; ++i) {
        ASSERT_EQ(Settle(h), "paused") << i;
        h.Gui([&] {
            h.Interpreter.Resume();        // Trace
            h.Interpreter.PaintMemory();  // and a scroll of the memory window right after it
        });
    }
    ASSERT_EQ(Settle(h), "finished");
    ExpectFinishedAs(h, r);
}

// A repaint right after typed input resumed a fast run: the engine goes on at full speed with
// no hand-off in between.
TEST(RunControl, MemoryRepaintRightAfterInput) {
    std::string text = "+,";
    for (int i = 0; i < 400; ++i) text += ">.";
    for (int round = 0; round < 20; ++round) {
        THost h;
        h.Options.Text = text;
        h.Options.OutputVisible = false;
        h.MemoryWindowVisible = true;
        h.StartRun(false, true);  // Trace once, so the memory image follows the current cell
        ASSERT_EQ(Settle(h), "paused");
        MenuRun(h);
        ASSERT_EQ(Settle(h), "waiting");
        h.Gui([&] {
            celtest::DeliverLine(h, "x");
            h.Interpreter.PaintMemory();
            // The GUI thread stays busy a moment (nothing of the engine's touched meanwhile).
            const auto until = Clock::now() + std::chrono::milliseconds(5);
            while (Clock::now() < until) {
            }
        });
        ASSERT_EQ(Settle(h), "finished");
        EXPECT_EQ(Look(h).DataPtr, 400u);
        EXPECT_EQ(Look(h).Cells[0], static_cast<uint32_t>('x'));
    }
}

}  // namespace
