// Random sequences of the run commands against random programs on a real engine thread, with
// commands arriving while the engine runs, pauses or waits for input. After every command the
// run flags must agree with what the engine does, no command may leave the engine stuck, and
// every run must end soon after Program Reset with its thread joined. Built for ThreadSanitizer.

#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

namespace {

// How long a command waits for the engine to pause, wait or end; a run that goes on longer
// counts as running.
constexpr int SettleMs = 100;

std::string RandomProgram(std::mt19937& gen, bool proc) {
    static const char* const pieces[] = {"+", "-", ">", "<", ".", ",", "[-]", "+[>+<-]", "[>]", "+[]",
                                         "+++[>++<-]>.", "\r\n", " x ", "\r\n# note +-\r\n", "[", "]"};
    std::string text = proc ? "(+.)" : "";
    const int n = 1 + static_cast<int>(gen() % 30);
    for (int i = 0; i < n; ++i) text += pieces[gen() % std::size(pieces)];
    if (proc) text += "+:";
    return text;
}

// Settles after a command. A run that is just starting (its thread not yet scheduled), just
// ending, or on its way into a pause or an input wait (the flag set, the windows being brought
// up to date) is between states only briefly, however loaded the machine: only a run that
// executes counts as still going after the short wait. One stuck between states still fails,
// after ten seconds.
std::string SettleRun(celtest::TRecordingHost& h) {
    const auto between = [&h] {
        return !h.RunFlags.Running.load() || h.RunFlags.Paused.load() || h.RunFlags.WaitingForInput.load();
    };
    std::string state = celtest::Settle(h, SettleMs);
    for (int i = 0; i < 100 && state == "timeout" && between(); ++i) state = celtest::Settle(h, SettleMs);
    return state;
}

// The run flags agree with where the engine stands.
::testing::AssertionResult Consistent(celtest::TRecordingHost& h, const std::string& state) {
    const bool running = h.RunFlags.Running.load();
    const bool paused = h.RunFlags.Paused.load();
    const bool waiting = h.RunFlags.WaitingForInput.load();
    if (state == "finished" && !running && !paused && !waiting) return ::testing::AssertionSuccess();
    if (state == "paused" && running && paused && !waiting) return ::testing::AssertionSuccess();
    if (state == "waiting" && running && waiting && !paused) return ::testing::AssertionSuccess();
    // Still executing after the wait: a program that takes long or never ends.
    if (state == "timeout" && running && !paused && !waiting) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "engine " << state << " with Running " << running << ", Paused "
                                         << paused << ", WaitingForInput " << waiting;
}

TEST(Stress, RandomCommandSequences) {
    std::mt19937 gen(20261208);
    const char* env = std::getenv("CELLWRIGHT_STRESS_SEQUENCES");
    const int sequences = env && std::atoi(env) > 0 ? std::atoi(env) : 100;
    int commands = 0;
    for (int s = 0; s < sequences; ++s) {
        const bool proc = gen() % 3 == 0;
        const std::string text = RandomProgram(gen, proc);
        SCOPED_TRACE("sequence " + std::to_string(s) + ": " + text);
        celtest::TRecordingHost h;
        h.Options.Text = text;
        h.Options.ProcMode = proc;
        h.Options.CommentMarkers = gen() % 2;
        h.Options.Watch = gen() % 4 == 0;
        h.Options.OutputBufferSize = 1 + gen() % 200;
        h.Delay = 0;
        const bool wide = gen() % 2;
        h.StartRun(wide, gen() % 2 == 0);
        bool watch = h.Options.Watch;
        const int length = 10 + static_cast<int>(gen() % 30);
        for (int c = 0; c < length; ++c) {
            // Debug, Watch and Reset come at any moment, as the windows allow them in every
            // state of a run; Run, Trace and Run to Cursor only in a pause, where the windows
            // enable them.
            const int pick = static_cast<int>(gen() % 8);
            if (pick <= 2 || pick == 4) {
                const std::string state = SettleRun(h);
                ASSERT_TRUE(Consistent(h, state));
                if (state != "paused") continue;
            }
            switch (pick) {
            case 0: celtest::MenuRun(h); break;
            case 1:
            case 2: celtest::MenuTrace(h); break;
            case 3: celtest::MenuDebug(h); break;
            case 4: celtest::MenuRunToCursor(h, static_cast<uint32_t>(gen() % (text.size() + 1))); break;
            case 5:
                watch = !watch;
                h.Gui([&] { h.Interpreter.SetWatch(watch); });
                break;
            case 6: {
                const std::string state = SettleRun(h);
                ASSERT_TRUE(Consistent(h, state));
                if (state == "waiting") celtest::DeliverLine(h, std::to_string(gen() % 1000), false);
                // Changing a cell of the paused program, as the modify dialog does.
                if (state == "paused")
                    h.Gui([&] { h.Interpreter.SetCell(static_cast<uint16_t>(h.Interpreter.GetDataPtr()), gen()); });
                break;
            }
            default: celtest::MenuReset(h); break;
            }
            ++commands;
            if (gen() % 3 == 0) {
                const std::string state = SettleRun(h);
                ASSERT_TRUE(Consistent(h, state));
            }
            // A run that ended is followed by a new one, in a new engine, as Run or Trace does.
            if (h.Interpreter.Engine().IsFinished()) {
                ASSERT_EQ(celtest::Settle(h, 10000), "finished");
                h.StartRun(gen() % 2, gen() % 2 == 0);
            }
        }
        celtest::MenuReset(h);
        const std::string state = celtest::Settle(h, 10000);
        ASSERT_EQ(state, "finished") << "the run did not end after Program Reset";
        EXPECT_TRUE(Consistent(h, state));
        EXPECT_TRUE(h.Interpreter.Engine().IsFinished());
    }
    std::printf("%d sequences, %d commands\n", sequences, commands);
}

}  // namespace
