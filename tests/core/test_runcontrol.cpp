// Run control: Trace, Run, Debug, Run to Cursor, Watch and Program Reset as the main window
// performs them, played against the headless host. The test thread is the GUI thread: it touches
// engine state only inside host.Gui() and only while the engine is suspended or finished, except
// where a test repaints the memory image during a run as the memory window may at any time.
#include "test_reference.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using celtest::MenuDebug;
using celtest::MenuReset;
using celtest::MenuRun;
using celtest::MenuRunToCursor;
using celtest::MenuTrace;
using celtest::Settle;

// A host whose engines never outlive it: a run still going when a test ends (a failed one) is
// terminated and joined before the host's members go away.
class THost : public celtest::TRecordingHost {
public:
    THost() { Options.CommentMarkers = false; }
    ~THost() override { celtest::StopEngines(*this); }
    cel::TBFInterpreterBase& Engine() { return Interpreter.Engine(); }
};

// Spins until pred() holds; false on timeout.
template <typename F>
bool SpinUntil(F pred, int timeoutMs = 20000) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

// The Watch command during a run.
void MenuWatch(THost& h, bool on) {
    h.Gui([&] {
        h.Interpreter.SetWatch(on);
        if (!on) {
            h.Interpreter.PaintMemory();
            h.SelLength = 0;
        }
    });
}

using celtest::TRef;

// What the GUI can see of a settled engine.
struct TSeen {
    uint64_t Executed = 0;
    uint32_t DataPtr = 0;
    uint32_t SelStart = 0;
    std::vector<uint32_t> Cells;  // cells 0..15
};

TSeen Look(THost& h) {
    return h.Gui([&] {
        TSeen s;
        s.Executed = h.Interpreter.GetExecuted();
        s.DataPtr = h.Interpreter.GetDataPtr();
        s.SelStart = h.SelStart;
        for (uint16_t i = 0; i < 16; ++i) s.Cells.push_back(h.Interpreter.GetCell(i));
        return s;
    });
}

std::vector<uint32_t> RefCells(const TRef& r) {
    return std::vector<uint32_t>(r.Tape.begin(), r.Tape.begin() + 16);
}

// The engine, paused, stands where the reference stands.
void ExpectPausedAt(THost& h, const TRef& r, const std::string& where) {
    SCOPED_TRACE(where);
    ASSERT_TRUE(h.RunFlags.Paused.load());
    const TSeen s = Look(h);
    EXPECT_EQ(s.SelStart, r.Offset());
    EXPECT_EQ(s.Executed, r.Steps);
    EXPECT_EQ(s.DataPtr, r.Dp);
    EXPECT_EQ(s.Cells, RefCells(r));
}

void ExpectFinishedAs(THost& h, const TRef& r) {
    EXPECT_FALSE(h.RunFlags.Running.load());
    EXPECT_FALSE(h.RunFlags.Paused.load());
    const TSeen s = Look(h);
    EXPECT_EQ(s.Executed, r.Steps);
    EXPECT_EQ(s.DataPtr, r.Dp);
    EXPECT_EQ(s.Cells, RefCells(r));
    EXPECT_EQ(h.CountEvents("Ready"), 1);
}

std::vector<std::string> MarksOf(THost& h) {
    return h.Gui([&] {
        std::vector<std::string> marks;
        for (const std::string& e : h.Events)
            if (e.rfind("Mark ", 0) == 0) marks.push_back(e);
        return marks;
    });
}

// "label" followed by a number, built without a literal on the left of operator+.
template <typename N>
std::string Join(const char* label, N n) {
    std::string s(label);
    s += std::to_string(n);
    return s;
}

const bool Widths[] = {false, true};

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

TEST(RunControl, RunToCursorFromReady) {
    for (bool wide : Widths) {
        SCOPED_TRACE(wide ? "16-bit" : "8-bit");
        {
            SCOPED_TRACE("caret on a space before a +");
            THost h;
            h.Options.Text = "+> +";
            h.StartRun(wide, false, true, 2);
            ASSERT_EQ(Settle(h), "paused");
            TSeen s = Look(h);
            EXPECT_EQ(s.SelStart, 3u);
            EXPECT_EQ(s.Executed, 2u);
            EXPECT_EQ(s.DataPtr, 1u);
            EXPECT_EQ(s.Cells[1], 0u);  // the + has not run yet
            MenuTrace(h);
            ASSERT_EQ(Settle(h), "finished");
            EXPECT_EQ(Look(h).Cells[1], 1u);
        }
        {
            SCOPED_TRACE("caret on the seventh of ten +");
            const std::string text = ">++++++++++<.";
            THost h;
            h.RecordMarks = true;
            h.Options.Text = text;
            h.StartRun(wide, false, true, 7);
            ASSERT_EQ(Settle(h), "paused");
            TRef r(text, wide, false);
            while (r.Pc != 7) r.Step();
            ExpectPausedAt(h, r, "seventh +");
            EXPECT_EQ(Look(h).Cells[1], 6u);
            EXPECT_EQ(Look(h).Executed, 7u);
            EXPECT_EQ(MarksOf(h), std::vector<std::string>{"Mark 7"});
            MenuRun(h);
            ASSERT_EQ(Settle(h), "finished");
            r.RunToEnd();
            ExpectFinishedAs(h, r);
        }
        {
            SCOPED_TRACE("caret on the - of a clear loop over 0");
            THost h;
            h.Options.Text = "[-]+>+";
            h.SelStart = 1;  // the caret
            h.StartRun(wide, false, true, 1);
            ASSERT_EQ(Settle(h), "finished");
            EXPECT_EQ(h.CountEvents("Paused"), 0);
            EXPECT_EQ(h.Gui([&] { return h.SelStart; }), 1u);  // never stepped: the caret stays
            TRef r(h.Options.Text, wide, false);
            r.RunToEnd();
            ExpectFinishedAs(h, r);
        }
        {
            SCOPED_TRACE("caret on the ] of a clear loop over 0");
            THost h;
            h.Options.Text = ">[+]<+";
            h.SelStart = 3;
            h.StartRun(wide, false, true, 3);
            ASSERT_EQ(Settle(h), "finished");
            EXPECT_EQ(h.CountEvents("Paused"), 0);
            EXPECT_EQ(h.Gui([&] { return h.SelStart; }), 3u);
        }
        {
            SCOPED_TRACE("caret on the - of a clear loop whose body runs");
            const std::string text = "++[-]+";
            THost h;
            h.Options.Text = text;
            h.StartRun(wide, false, true, 3);
            ASSERT_EQ(Settle(h), "paused");
            TRef r(text, wide, false);
            while (r.Pc != 3) r.Step();
            ExpectPausedAt(h, r, "- of [-]");
            MenuRun(h);
            ASSERT_EQ(Settle(h), "finished");
            r.RunToEnd();
            ExpectFinishedAs(h, r);
        }
        {
            SCOPED_TRACE("caret on the ] of a clear loop whose body runs");
            const std::string text = "+++[+]>";
            THost h;
            h.Options.Text = text;
            h.StartRun(wide, false, true, 5);
            ASSERT_EQ(Settle(h), "paused");
            TRef r(text, wide, false);
            while (r.Pc != 5) r.Step();
            ExpectPausedAt(h, r, "] of [+]");
            MenuRun(h);
            ASSERT_EQ(Settle(h), "finished");
            r.RunToEnd();
            ExpectFinishedAs(h, r);
        }
        {
            SCOPED_TRACE("caret after the last command");
            const std::string text = "++[>+++<-]  \r\n";
            THost h;
            h.Options.Text = text;
            h.StartRun(wide, false, true, static_cast<uint32_t>(text.size()));
            ASSERT_EQ(Settle(h), "finished");
            EXPECT_EQ(h.CountEvents("NoCommand"), 1);
            EXPECT_EQ(h.CountEvents("Paused"), 0);
            TRef r(text, wide, false);
            r.RunToEnd();
            ExpectFinishedAs(h, r);
        }
        {
            SCOPED_TRACE("caret on the first command");
            THost h;
            h.Options.Text = "+++";
            h.StartRun(wide, false, true, 0);
            ASSERT_EQ(Settle(h), "paused");
            EXPECT_EQ(Look(h).SelStart, 0u);
            EXPECT_EQ(Look(h).Executed, 0u);
            MenuRun(h);
            ASSERT_EQ(Settle(h), "finished");
            EXPECT_EQ(Look(h).Executed, 3u);
        }
    }
}

// Run to Cursor while paused: each request pauses where single steps would first reach the
// target after the current command, or runs to the end when they never do.
class TRunToCursorWalk {
public:
    TRunToCursorWalk(const std::string& text, bool wide) : Ref(text, wide, false) {
        H.Options.Text = text;
        H.StartRun(wide, true);
        EXPECT_EQ(Settle(H), "paused");
    }
    // Run: the program ends as the reference does.
    void Finish() {
        if (Ended()) return;
        MenuRun(H);
        Ref.RunToEnd();
        ASSERT_EQ(Settle(H), "finished");
        ExpectFinishedAs(H, Ref);
    }
    void To(uint32_t offset, const std::string& what) {
        SCOPED_TRACE(what);
        if (Ended()) return;
        const uint32_t target = Ref.CommandAt(offset);
        MenuRunToCursor(H, offset);
        Ref.Step();
        while (!Ref.Done() && Ref.Pc != target) Ref.Step();
        if (Ref.Done()) {
            ASSERT_EQ(Settle(H), "finished");
            ExpectFinishedAs(H, Ref);
        } else {
            ASSERT_EQ(Settle(H), "paused");
            ExpectPausedAt(H, Ref, "run to cursor");
        }
    }
    THost H;
    TRef Ref;

private:
    // A run that ended early (a failed step) takes no further commands: the GUI disables them.
    bool Ended() {
        if (!H.Engine().IsFinished()) return false;
        ADD_FAILURE() << "the run has already ended";
        return true;
    }
};

TEST(RunControl, RunToCursorWhilePaused) {
    //                        0         1         2
    //                        012345678901234567890123456789
    const std::string text = "+++++[>++[->+++<]>[-]<<-]>>++.";
    for (bool wide : Widths) {
        SCOPED_TRACE(wide ? "16-bit" : "8-bit");
        TRunToCursorWalk w(text, wide);
        w.To(13, "ahead, inside a folded run of the inner loop");
        w.To(10, "behind, the inner loop's next pass");
        w.To(10, "the current command itself: the next outer pass");
        w.To(16, "the inner ]");
        w.To(19, "the - of a clear loop over a non-zero cell");
        w.To(18, "the [ of that clear loop: the next outer pass");
        w.To(9, "from a [ to the next [");
        w.To(17, "from a [ to the command after its loop");
        w.To(24, "the outer ]");
        w.To(6, "from a ] into the loop's body");
        w.To(28, "after the outer loop, inside a run");
        w.Finish();
        EXPECT_EQ(w.H.CountEvents("NoCommand"), 0);
    }
    for (bool wide : Widths) {
        SCOPED_TRACE(wide ? "16-bit, last pass" : "8-bit, last pass");
        TRunToCursorWalk w(text, wide);
        for (int pass = 0; pass < 5; ++pass) w.To(24, Join("the outer ] of pass ", pass));
        w.To(6, "from the last ] into the body: never reached again");
        EXPECT_EQ(w.H.CountEvents("Ready"), 1);
    }
    for (bool wide : Widths) {
        SCOPED_TRACE(wide ? "16-bit, outer [" : "8-bit, outer [");
        TRunToCursorWalk w(text, wide);
        w.To(7, "into the body");
        w.To(5, "the outer [: never reached again");
    }
}

// Paused at the ] or at the [ of a clear loop inside another loop, with the caret on that [:
// single steps reach the [ again only when the outer loop enters the clear loop anew. (The -
// and the ] of the same clear loop are reached within it; see the walk below.)
TEST(RunControl, RunToCursorOnTheBracketOfTheCurrentClearLoop) {
    //                        0123456789012345
    const std::string text = "+++[>+++[-]<-]>+";
    for (bool wide : Widths) {
        SCOPED_TRACE(wide ? "16-bit" : "8-bit");
        {
            TRunToCursorWalk w(text, wide);
            w.To(10, "the ] of the clear loop, first pass");
            w.To(8, "from its ] to its [");
            w.Finish();
        }
        {
            TRunToCursorWalk w(text, wide);
            w.To(8, "the [ of the clear loop, first pass");
            w.To(8, "from its [ to itself");
            w.Finish();
        }
    }
}

// Paused at the [ or at the ] of a clear loop, with the caret on that loop's ]: single steps
// reach the ] within the loop's next turn (or, at its last turn, in the next outer pass).
TEST(RunControl, RunToCursorOnTheEndOfTheCurrentClearLoop) {
    for (bool wide : Widths) {
        SCOPED_TRACE(wide ? "16-bit" : "8-bit");
        {
            TRunToCursorWalk w("++[-]", wide);
            w.To(2, "the [ of the clear loop");
            w.To(4, "from its [ to its ]");
            w.Finish();
        }
        {
            //                                   0123456789012345
            const std::string text = "+++[>+++[-]<-]>+";
            TRunToCursorWalk w(text, wide);
            w.To(8, "the [ of the clear loop");
            w.To(10, "from its [ to its ]");
            w.To(10, "from its ] to itself");
            w.Finish();
        }
    }
}

TEST(RunControl, RunToCursorWithinTheCurrentClearLoop) {
    const std::string text = "+++[>+++[-]<-]>+";
    for (bool wide : Widths) {
        SCOPED_TRACE(wide ? "16-bit" : "8-bit");
        TRunToCursorWalk w(text, wide);
        w.To(10, "the ] of the clear loop");
        w.To(9, "from its ] to its -");
        w.To(10, "from its - to its ]");
        w.To(12, "out of the clear loop");
        w.To(9, "into the next pass's clear loop");
        w.To(8, "from its - to the [ of the next pass");
        w.Finish();
    }
}

TEST(RunControl, RunToCursorAfterTheLastCommandWhilePaused) {
    for (bool watch : {false, true}) {
        SCOPED_TRACE(watch ? "watching" : "not watching");
        const std::string text = "++[>+++<-] >.";
        THost h;
        h.Options.Text = text;
        h.Options.Watch = watch;
        h.StartRun(false, true);
        ASSERT_EQ(Settle(h), "paused");
        MenuTrace(h);
        ASSERT_EQ(Settle(h), "paused");
        MenuRunToCursor(h, static_cast<uint32_t>(text.size()));
        ASSERT_EQ(Settle(h), "finished");
        EXPECT_EQ(h.CountEvents("NoCommand"), 1);
        EXPECT_EQ(h.CountEvents("Paused"), 2);
        TRef r(text, false, false);
        r.RunToEnd();
        ExpectFinishedAs(h, r);
    }
}

TEST(RunControl, DebugWhileWaitingForInput) {
    const std::string text = "++,>+<.";
    for (bool wide : Widths) {
        for (int start = 0; start < 3; ++start) {  // fast, traced, watched
            SCOPED_TRACE(std::string(wide ? "16-bit " : "8-bit ") +
                         (start == 0 ? "fast" : start == 1 ? "traced" : "watched"));
            THost h;
            h.Options.Text = text;
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
            h.DeliverLine("A");
            ASSERT_EQ(Settle(h), "finished");
            s = Look(h);
            EXPECT_EQ(s.Cells[0], static_cast<uint32_t>('A'));
            EXPECT_EQ(s.Cells[1], 1u);
            EXPECT_EQ(s.Executed, 7u + 2u);  // the uninterrupted count and two abandoned attempts
            EXPECT_EQ(h.OutputText(), "A");
        }
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
    h.DeliverLine("xyz");
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
        h.DeliverLine("x");
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
        h.DeliverLine("y");
        ASSERT_EQ(Settle(h), "finished");
        EXPECT_EQ(MarksOf(h).size(), expected.size());  // fast again: no further marks
        EXPECT_EQ(h.CountEvents("Paused"), 0);

        const TSeen s = Look(h);
        EXPECT_EQ(s.Executed, plain.Executed);
        EXPECT_EQ(s.DataPtr, plain.DataPtr);
        EXPECT_EQ(s.Cells, std::vector<uint32_t>(plain.Tape.begin(), plain.Tape.begin() + 16));
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
        EXPECT_EQ(s.Cells, std::vector<uint32_t>(plain.Tape.begin(), plain.Tape.begin() + 16));
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
            h.DeliverLine("x");
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

// Leaves watch mode from inside the mark hand-off of its n-th watched step, as the Watch command
// would at that moment: the engine is blocked in the hand-off, so the repaint is safe.
class TWatchOffHost : public THost {
public:
    int OffAt = -1;
    int Marks = 0;
    void ShowCurrentCommand(uint32_t origin) override {
        THost::ShowCurrentCommand(origin);
        if (Marks++ == OffAt) {
            Interpreter.SetWatch(false);
            Interpreter.PaintMemory();
            SelLength = 0;
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
        ASSERT_TRUE(SpinUntil([&] {
            return h.RunFlags.Paused.load() && h.Interpreter.GetExecuted() == i;
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
            h.DeliverLine(std::string(1, static_cast<char>('0' + i)));
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
