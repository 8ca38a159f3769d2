// A host without windows, for the command-line runner and as the base of the tests' hosts. The
// "GUI thread" is whichever thread holds GuiMutex: the engine's hand-offs run under it on the
// engine thread, and a caller that plays the user's part takes it through Gui().
// It keeps nothing of what the engine hands over (output, marks, memory images, hook calls), so
// a run of any length uses the same memory; a host that records them belongs to the tests.
#pragma once

#include "cel_Interpreter.h"

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace cel {

class THeadlessHost : public TEngineHost {
public:
    THeadlessHost();

    // Main window values.
    TRunFlags RunFlags;
    TRunOptions Options;
    uint32_t Delay = 0;
    bool MemoryWindowVisible = false;
    // Memory window: its scroll position and size, as the painter reads them.
    TMemoryView View{0, 11};
    // Answers an input request inside the hand-off; unset: the request waits for the caller.
    std::function<void()> OnRequestInput;
    // The breakpoints (text offsets) each run StartRun or RunHere starts is given.
    std::vector<uint32_t> Breakpoints;
    // Given to each run besides: breakpoints with conditions and hit counts (when not empty, in
    // place of Breakpoints), watchpoints, and whether it keeps a profile.
    std::vector<TBreakpoint> BreakpointList;
    std::vector<TWatchpoint> Watchpoints;
    bool Profile = false;

    // Runs fn as the GUI thread would: serialized with every hand-off of the engine.
    template <typename F>
    auto Gui(F&& fn) {
        std::lock_guard<std::recursive_mutex> lock(GuiMutex);
        return fn();
    }
    // Starts a run as the Run, Trace and Run to Cursor commands do from the ready state (Run to
    // Cursor when runToCursor is set, else Trace when stepMode is).
    void StartRun(bool wide, bool stepMode, bool runToCursor = false, uint32_t target = 0);
    // Runs the program to its end in the calling thread, which plays the GUI thread's part
    // meanwhile, ending it once it has executed budget commands (see TBFInterpreter::RunHere).
    // OnRequestInput must answer every input request; one it leaves open ends the run.
    // With stopAt, it ends exactly there (TBFInterpreterBase::SetStopAt).
    void RunHere(bool wide, uint64_t budget = UINT64_MAX, uint64_t stopAt = UINT64_MAX);
    // Waits until the engine sits in a pause or an input wait, or has finished; false on timeout.
    bool WaitSettled(int timeoutMs = 10000);
    bool WaitFinished(int timeoutMs = 60000);
    // The prepared engine takes BreakpointList, Watchpoints and Profile.
    void GiveStops();

    TRunFlags& Flags() override { return RunFlags; }
    void Synchronize(const std::function<void()>& fn) override;
    TRunOptions ReadRunOptions() override { return Options; }
    uint32_t WatchDelay() override { return Delay; }
    bool MemoryVisible() override { return MemoryWindowVisible; }

    void PrepareWindows() override;
    void RequestInput() override;

    // No output window: every line reads empty and every change is taken and dropped.
    bool OutputLineText(uint32_t index, std::string& text) override;
    bool SetOutputLineText(uint32_t index, const std::string& text) override;
    bool AppendOutputLine() override { return true; }
    bool AppendToOutputLine(uint32_t index, std::string_view text) override;

    TMemoryView MemoryView() override { return View; }
    void SetMemoryScroll(int position) override;

    std::recursive_mutex GuiMutex;

    // The interpreter facade this host serves. Declared last: its engine threads end before
    // anything of this class that they use is destroyed. A subclass whose hooks use its own
    // members must end the engines in its destructor.
    TBFInterpreter Interpreter;
};

}  // namespace cel
