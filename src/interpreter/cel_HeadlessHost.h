// A host without windows, for the command-line runner and the tests. The "GUI thread" is
// whichever thread holds GuiMutex: the engine's hand-offs run under it on the engine thread,
// and a test that plays the user's part takes it through Gui().
#pragma once

#include "cel_Interpreter.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
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

    // Output window: its lines, empty when nothing was printed.
    std::vector<std::string> Lines;
    // Editor selection, set by the current-command mark.
    uint32_t SelStart = 0;
    uint32_t SelLength = 0;
    // Memory window.
    TMemoryView View{0, 11};
    std::vector<TMemoryLine> MemoryLines;
    // Hooks in the order they ran, with their arguments ("Error 109", "Mark 12", ...).
    std::vector<std::string> Events;
    // Answers an input request inside the hand-off; unset: the request waits for the test.
    std::function<void()> OnRequestInput;
    // The hook that names each executed mark is noisy in watch mode; off by default.
    bool RecordMarks = false;

    // Runs fn as the GUI thread would: serialized with every hand-off of the engine.
    template <typename F>
    auto Gui(F&& fn) {
        std::lock_guard<std::recursive_mutex> lock(GuiMutex);
        return fn();
    }
    // Starts a run as the Run, Trace and Run to Cursor commands do from the ready state.
    void StartRun(bool wide, bool stepMode, bool runToCursor = false, uint32_t target = 0);
    // Waits until the engine sits in a pause or an input wait, or has finished; false on timeout.
    bool WaitSettled(int timeoutMs = 10000);
    bool WaitFinished(int timeoutMs = 60000);
    // Delivers a typed line as the output window's Ok does (with the file echo when
    // echoToFile is set and an output file is open); the engine must wait for input.
    void DeliverLine(const std::string& data, bool echoToFile = true);
    // Count of events with this exact text.
    int CountEvents(const std::string& text);
    // The output window's text as it would show it, lines joined by LF.
    std::string OutputText();

    TRunFlags& Flags() override { return RunFlags; }
    void Synchronize(const std::function<void()>& fn) override;
    TRunOptions ReadRunOptions() override { return Options; }
    uint32_t WatchDelay() override { return Delay; }
    bool MemoryVisible() override { return MemoryWindowVisible; }

    void PresentRunning(bool stepMode) override;
    void PrepareWindows() override;
    void EndAnalysis() override { Record("EndAnalysis"); }
    void PresentPaused() override { Record("Paused"); }
    void ShowCurrentCommand(uint32_t origin) override;
    void RequestInput() override;
    void DisableInput() override { Record("DisableInput"); }
    void ShowError(int code) override { Record("Error " + std::to_string(code)); }
    void ReportNoCommand() override { Record("NoCommand"); }
    void PresentReady(bool caretAfterMark) override;

    bool OutputLineText(uint32_t index, std::string& text) override;
    bool SetOutputLineText(uint32_t index, const std::string& text) override;
    bool AppendOutputLine() override;

    TMemoryView MemoryView() override { return View; }
    void SetMemoryScroll(int position) override;
    void DrawMemory(const std::vector<TMemoryLine>& lines) override { MemoryLines = lines; }

    void Record(const std::string& event);

    std::recursive_mutex GuiMutex;

    // The interpreter facade this host serves. Declared last: its engine threads end before
    // anything they use is destroyed.
    TBFInterpreter Interpreter;
};

}  // namespace cel
