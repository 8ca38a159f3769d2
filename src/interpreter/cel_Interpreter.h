// TBFInterpreter: the facade through which every window reaches the engine of the current run.
// Used by the GUI thread only.
#pragma once

#include "cel_Interpreter16.h"
#include "cel_Interpreter8.h"

#include <initializer_list>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace cel {

class TBFInterpreter {
public:
    explicit TBFInterpreter(TEngineHost& host) : Host(host) {}

    std::unique_ptr<TBFInterpreter8> Engine8;    // newest 8-bit engine
    std::unique_ptr<TBFInterpreter16> Engine16;  // newest 16-bit engine
    bool Wide = false;                           // the current engine is Engine16

    // Creates the suspended engine of the next run in the width chosen by Wide. The engine
    // it replaces must have finished (IsFinished) or never have started.
    void CreateEngine();
    bool HasEngine() const { return Wide ? Engine16 != nullptr : Engine8 != nullptr; }
    TBFInterpreterBase& Engine() const;

    // ---- The run commands ----
    // Every caller gives them here: the main window's commands, the output window's Ok, the
    // command-line runner and the tests.

    // How a new run starts: at full speed (Run), paused before its first command (Trace), or at
    // full speed until the command at the target offset (Run to Cursor).
    enum class TStart { Run, Trace, RunToCursor };
    // Creates the suspended engine of a new run in the given width (see CreateEngine) with its
    // switches set for how it starts. Its first Resume starts it.
    void Prepare(bool wide, TStart how, uint32_t target = 0, std::vector<uint32_t> breakpoints = {});
    // Prepare, and the engine started at once.
    void Start(bool wide, TStart how, uint32_t target = 0, std::vector<uint32_t> breakpoints = {});
    // Run in the calling thread, ended at the budget of executed commands (see
    // TBFInterpreterBase::SetBudget and RunHere) or exactly at stopAt (SetStopAt); returns when
    // the run is over. It keeps no history.
    void RunHere(bool wide, uint64_t budget = UINT64_MAX, std::vector<uint32_t> breakpoints = {},
                 uint64_t stopAt = UINT64_MAX);
    // Run during a run: full speed from the pause (or on at full speed).
    void Continue();
    // Trace during a run: a paused engine executes the next command and pauses again.
    void Step();
    // Debug: the engine pauses at its next command; one waiting for input gives up the wait and
    // pauses at its input command, which asks again when the run goes on.
    void Pause();
    // Run to Cursor during a run: on at full speed until the command at the target offset.
    void RunToCursor(uint32_t target);
    // Program Reset: asks the run to end, waking an engine that is paused or waits for input.
    void Reset();
    // Watch switched during a run. True when the engine no longer watches, so the windows take
    // down the current-command mark (the memory image is repainted here).
    bool SwitchWatch(bool on);

    // The answers to an input request; each closes the input panel and resumes the engine.
    // A typed line (at most IOBlockSize bytes are taken, none: nothing happens): the next bytes
    // the program reads, the first in the current cell at once; with echoToFile and an output
    // file open, the line is written to the file too.
    void DeliverLine(std::string_view data, bool echoToFile = true);
    // A number: the current cell takes its low 8 or 16 bits; the next read asks again.
    void DeliverNumber(int32_t value);
    // No more input: the waiting read and every later one of this run find the end of the
    // input and ask no more; the cell stays as it is (or as TRunOptions::EndOfInput says).
    void DeliverEnd();

    // ---- Backward moves ----
    // Runs started by Prepare or Start keep a history; while such a run is paused it can move
    // back. Each move resumes the engine, which replays its history on its own thread and then
    // pauses through the usual pause sequence, exactly as a forward run paused at that count
    // (the output window is cut back through TEngineHost::TruncateOutput first). Each returns
    // false when nothing happens: CanGoBack is false (or, for BackToCursor, no command is at or
    // after the offset). BackToCursor that finds no earlier arrival pauses where it stood.

    // Paused (not waiting for input), recording, and Executed > 0.
    bool CanGoBack() const { return HasEngine() && Engine().CanGoBack(); }
    // To Executed - 1.
    bool StepBack() { return Engine().RequestBack(TBackMove::Step); }
    // To the nearest earlier breakpoint met, else the run's start (Executed 0). With watch on it
    // goes back one step at a time at the watch speed; Debug (Pause) stops it where it stands.
    bool RunBackwards() { return Engine().RequestBack(TBackMove::Backwards); }
    // To the last earlier time the command at this text offset (or the first after it) was about
    // to execute.
    bool BackToCursor(uint32_t offset) { return Engine().RequestBack(TBackMove::Cursor, offset); }

    // ---- Engine state ----

    bool GetStepMode() const { return Engine().GetStepMode(); }
    bool GetWatch() const { return Engine().GetWatch(); }
    // The switch alone, without SwitchWatch's repaint.
    void SetWatch(bool on) { Engine().SetWatch(on); }
    void SetFollow(bool on) { Engine().SetFollow(on); }
    uint32_t GetCell(uint16_t index) const { return Engine().GetCell(index); }
    // A cell changed by the user: logged as a change of the run's past (see EditCell).
    void SetCell(uint16_t index, uint32_t value) { Engine().EditCell(index, value); }
    void SetOutputVisible(bool on) { Engine().SetOutputVisible(on); }
    uint32_t GetInputSize() const { return Engine().GetInputSize(); }
    uint8_t GetInputByte(uint16_t index) const { return Engine().GetInputByte(index); }
    uint32_t GetOutputLine() const { return Engine().GetOutputLine(); }
    void SetOutputLine(uint32_t line) { Engine().SetOutputLine(line); }
    uint32_t GetDataPtr() const { return Engine().GetDataPtr(); }
    bool IsSuspended() const { return Engine().IsSuspended(); }
    void SetTargetLocated(bool on) { Engine().SetTargetLocated(on); }
    // Enabled, unconditional breakpoints at these text offsets.
    void SetBreakpoints(std::vector<uint32_t> offsets) { Engine().SetBreakpoints(std::move(offsets)); }
    void SetBreakpoints(std::initializer_list<uint32_t> offsets) { SetBreakpoints(std::vector<uint32_t>(offsets)); }

    // ---- Debugger stops ----
    // Given before the run starts (after Prepare, before the first Resume) or while it is suspended.
    void SetBreakpoints(std::vector<TBreakpoint> breakpoints) { Engine().SetBreakpointList(std::move(breakpoints)); }
    void SetWatchpoints(std::vector<TWatchpoint> watchpoints) { Engine().SetWatchpoints(std::move(watchpoints)); }
    // While suspended or finished: hits per breakpoint, in the order last given.
    std::vector<uint64_t> GetBreakHits() const { return Engine().GetBreakHits(); }
    // Why the engine paused last (valid while paused).
    TPauseInfo GetPauseInfo() const { return Engine().GetPauseInfo(); }
    // During a pause. StepOver: on a [ whose cell is non-zero, on at full speed until the command
    // after its ] is about to execute at the same call depth; on a ':' likewise after the call
    // returns; on any other command it is Step. StepOut: on at full speed until the innermost loop
    // (or procedure body) holding the current command is left (the command after its ] / after
    // the calling ':' is about to execute at the depth the loop was at); with none holding it, it
    // is Continue. Both stop at breakpoints and watchpoints met on the way; arriving, the pause
    // reads TPauseReason::StepOver or StepOut.
    void StepOver() { Engine().StepOver(); }
    void StepOut() { Engine().StepOut(); }
    // Before the run starts: the run counts how often every command executed.
    void SetProfile(bool on) { Engine().SetProfile(on); }
    // While suspended or finished: per CommandList index, how often the command executed; they
    // add up to GetExecuted(). Empty without profiling.
    std::vector<uint64_t> GetCommandCounts() const { return Engine().GetCommandCounts(); }
    uint64_t GetExecuted() const { return Engine().GetExecuted(); }
    int64_t GetErrorPlace() const { return Engine().GetErrorPlace(); }
    bool IsAnalysisDone() const { return Engine().IsAnalysisDone(); }
    void PaintMemory() { Engine().PaintMemory(); }
    void FlushOutputFile() { Engine().FlushOutputFile(); }
    void Resume() { Engine().Resume(); }
    void Terminate() { Engine().Terminate(); }

private:
    TEngineHost& Host;
};

// Native code for the program's fast form and cell width as a run at full speed makes it (the
// runner's --dump-native; with folded, the program's FoldedList, with its loops done at once from
// kept runs), or none where it cannot be had (see TNativeCode::Generate).
std::shared_ptr<const TNativeCode> NativeCodeFor(const TFastProgram& program, bool wide,
                                                 const std::vector<TInstruction>* folded = nullptr);

}  // namespace cel
