// Run to Cursor from the ready state and while paused, as the main window performs it, played
// against the headless host; the test thread is the GUI thread, as in test_runcontrol.cpp.
#include "run_control_names.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace celtest::runcontrol;

// Run to Cursor from the ready state. A row whose target single steps reach pauses there as the
// reference stands after the same commands, with that command's mark the only one, and then
// ends as the reference does when continued; any other row runs to its end without a pause and
// leaves the caret where it was.
struct TFromReadyRow {
    const char* What;
    std::string Text;
    uint32_t Caret;
    bool Pauses;
    bool ContinueWithTrace = false;  // continued by Trace instead of Run
    int NoCommand = 0;               // "NoCommand" reports expected
};

TEST(RunControl, RunToCursorFromReady) {
    const TFromReadyRow rows[] = {
        {"caret on a space before a +", "+> +", 2, true, true},
        {"caret on the seventh of ten +", ">++++++++++<.", 7, true},
        {"caret on the - of a clear loop over 0", "[-]+>+", 1, false},
        {"caret on the ] of a clear loop over 0", ">[+]<+", 3, false},
        {"caret on the - of a clear loop whose body runs", "++[-]+", 3, true},
        {"caret on the ] of a clear loop whose body runs", "+++[+]>", 5, true},
        {"caret after the last command", "++[>+++<-]  \r\n", 14, false, false, 1},
        {"caret on the first command", "+++", 0, true},
    };
    for (bool wide : Widths) {
        SCOPED_TRACE(wide ? "16-bit" : "8-bit");
        for (const TFromReadyRow& row : rows) {
            SCOPED_TRACE(row.What);
            THost h;
            h.RecordMarks = true;
            h.Options.Text = row.Text;
            h.SelStart = row.Caret;
            h.StartRun(wide, false, true, row.Caret);
            TRef r(row.Text, wide, false);
            if (row.Pauses) {
                ASSERT_EQ(Settle(h), "paused");
                const uint32_t target = r.CommandAt(row.Caret);
                while (r.Pc != target) r.Step();
                ExpectPausedAt(h, r, "at the target");
                EXPECT_EQ(MarksOf(h), std::vector<std::string>{Join("Mark ", r.Offset())});
                if (row.ContinueWithTrace) MenuTrace(h);
                else MenuRun(h);
            }
            ASSERT_EQ(Settle(h), "finished");
            if (!row.Pauses) {
                EXPECT_EQ(h.CountEvents("Paused"), 0);
                EXPECT_EQ(h.Gui([&] { return h.SelStart; }), row.Caret);  // never stepped
            }
            r.RunToEnd();
            ExpectFinishedAs(h, r);
            EXPECT_EQ(h.CountEvents("NoCommand"), row.NoCommand);
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

}  // namespace
