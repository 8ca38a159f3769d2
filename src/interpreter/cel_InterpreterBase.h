// TBFInterpreterBase: the run of one program (TProgram, analysed from the run's text at its
// start), its execution loop and run control, common to both cell widths. One engine object
// serves one run on a thread of its own.
#pragma once

#include "cel_Debugging.h"
#include "cel_EngineHost.h"
#include "cel_Errors.h"
#include "cel_FastProgram.h"
#include "cel_History.h"
#include "cel_Operations.h"
#include "cel_Program.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace cel {

constexpr uint32_t TapeSize = 32768;
constexpr uint32_t IOBlockSize = 65536;
// Procedures: one a value of a 16-bit cell, and as many return addresses, the call depth (a
// uint16_t) wrapping round them.
constexpr uint32_t ProcSlots = 65536;
constexpr uint32_t MaxDisplayBuffer = 255;

// In the fast loop's copy of FoldedList, the operation of a record that holds a breakpoint: its
// handler decides whether the run stops there before it runs the record's own operation. A clear
// loop with breakpoints in its body only has one of its own, passed over 0 at no cost.
inline constexpr TOpCode opBreakHere = OpCount;
inline constexpr TOpCode opBreakInClear = static_cast<TOpCode>(OpCount + 1);

class TBFInterpreterBase {
public:
    explicit TBFInterpreterBase(TEngineHost& host);
    virtual ~TBFInterpreterBase();
    TBFInterpreterBase(const TBFInterpreterBase&) = delete;
    TBFInterpreterBase& operator=(const TBFInterpreterBase&) = delete;

    // ---- Thread control (GUI thread) ----

    // The first call starts the run; later calls end a pause or an input wait. A resume given
    // while the engine is on its way into a suspension is kept, one given at any other time
    // has no effect.
    void Resume();
    // Asks the run to end; the engine sees it at its next check and leaves any suspension.
    void Terminate();
    // True before the run starts and while the engine is in (or entering) a suspension.
    bool IsSuspended() const;
    // True while the engine thread is blocked in a suspension.
    bool IsWaiting() const;
    // True once the thread body has returned: nothing of this run touches the windows any more.
    bool IsFinished() const { return Finished.load(std::memory_order_acquire); }
    // Waits until the thread body has returned. Never call it on a thread that serves the
    // engine's hand-offs while the engine may still need one.
    void WaitFor();

    // ---- Runs in the calling thread (tools, tests, fuzzing) ----

    // Before the run starts: the run ends as a terminate request ends it once it has executed
    // at least this many commands, seen where the loops look for a terminate request: before
    // every single step, every record of the plain folded loop, and in the fast form at every
    // back edge, call, return and input or output (the work between two of those is bounded).
    // A budget therefore ends every endless loop; a run may go past it by what one folded
    // record, or the fast form's bounded work before its next check, executes.
    void SetBudget(uint64_t commands) { Budget = commands; }
    // True once the run has ended at its budget.
    bool BudgetSpent() const { return BudgetReached; }
    // Before the run starts, or while it is suspended (UINT64_MAX: none): the run stops exactly
    // when the executed count reaches count, whichever loop runs (a folded or fast record that
    // would pass it is finished in single steps). A run with a GUI pauses there; RunHere ends.
    void SetStopAt(uint64_t count) { StopAt = count; }
    // True once a run in the calling thread has ended at its stop.
    bool StopReached() const { return StopMet; }
    // Before the run starts: whether the run keeps the history that the backward moves replay
    // (checkpoints of the machine and a log of the input given and the cells changed).
    void SetRecording(bool on) { Recording = on; }
    bool GetRecording() const { return Recording; }
    // Starts the run in place of the first Resume and runs it to its end in the calling
    // thread. The hand-offs run in this thread too, so the host must answer an input request
    // inside its hook; a suspension that no resume has answered (a pause, an unanswered input
    // request) ends the run as a terminate request would, as nobody is left to end it.
    void RunHere();
    // Terminate for a run in the calling thread, where no suspension waits to be woken. It only
    // stores lock-free atomics, so a signal handler may call it (as RequestOutputFlush).
    void TerminateHere() {
        Terminated.store(true);
        AttentionAt.store(0);
    }

    // ---- Run control switches (GUI thread, at any time) ----

    void SetStepMode(bool on);
    bool GetStepMode() const { return StepMode.load(); }
    // Debug (Pause): the pause that follows reads TPauseReason::Debug.
    void MarkDebug() { DebugRequested.store(true); }
    void SetWatch(bool on);
    bool GetWatch() const { return Watch.load(); }
    void SetRunToCursor(bool on);
    void SetTarget(uint32_t offset) { Target.store(offset); }
    void SetTargetLocated(bool on);
    // Asks the input command to run again; only an input wait that no resume has answered yet
    // can be abandoned (the line typed just before stays delivered).
    void SetInputRetry(bool on);
    void SetFollow(bool on) { Follow.store(on); }
    void SetOutputVisible(bool on) { OutputVisible.store(on); }
    uint32_t GetOutputLine() const { return OutputLine.load(); }
    void SetOutputLine(uint32_t line) { OutputLine.store(line); }
    // The executed-command count; while the program runs fast it may lag by one loop pass.
    uint64_t GetExecuted() const { return Executed.load(std::memory_order_acquire); }
    // The executed count from which the run had native code to run at full speed, or UINT64_MAX
    // while it has none.
    uint64_t GetNativeFrom() const { return NativeFrom.load(std::memory_order_relaxed); }
    bool IsAnalysisDone() const { return AnalysisFinished.load(); }
    // The text offsets of the command characters the run pauses before (an offset that names no
    // command is ignored). Given before the run starts or while it is suspended; the engine
    // takes them over before its next step.
    void SetBreakpoints(std::vector<uint32_t> offsets);
    // The breakpoints with their conditions and hit counts (TBreakpoint), given as SetBreakpoints
    // gives offsets; an offset that names no command never stops and counts no hit.
    void SetBreakpointList(std::vector<TBreakpoint> breakpoints);
    // The watchpoints (TWatchpoint), given as the breakpoints are.
    void SetWatchpoints(std::vector<TWatchpoint> watchpoints);
    // While suspended or finished: the hits of each breakpoint in the order last given.
    std::vector<uint64_t> GetBreakHits() const;
    // Why the engine paused last; valid while it is paused.
    TPauseInfo GetPauseInfo() const { return PauseInfo; }
    // During a pause: the run goes on at full speed to the end of the loop or call at PC (Step
    // Over), or out of the innermost loop or procedure holding it (Step Out); see TBFInterpreter.
    // At any other time (running, in an input wait, finished) they do nothing.
    void StepOver();
    void StepOut();
    // Before the run starts: the run counts how often each command executed.
    void SetProfile(bool on) { Profiling = on; }
    bool GetProfile() const { return Profiling; }
    // While suspended or finished: per CommandList index, how often the command executed (they
    // add up to GetExecuted); empty without profiling.
    std::vector<uint64_t> GetCommandCounts() const;

    // ---- Engine state for a suspended (or finished) engine (GUI thread) ----

    uint32_t GetDataPtr() const { return DataPtr; }
    virtual uint32_t GetCell(uint16_t index) const = 0;
    virtual void SetCell(uint16_t index, uint32_t value) = 0;  // truncated to the cell width
    uint32_t GetInputSize() const { return InputSize; }
    uint32_t GetInputPos() const { return InputPos; }
    uint16_t GetCallDepth() const { return CallDepth; }
    void SetInputSize(uint32_t size) { InputSize = size; }
    void SetInputPos(uint32_t pos) { InputPos = pos; }
    uint8_t GetInputByte(uint16_t index) const { return InputData[index]; }
    void SetInputByte(uint16_t index, uint8_t value) { InputData[index] = value; }
    // The typed input has ended: the waiting read and every later one of this run find no more
    // input and ask no more (TRunOptions::EndOfInput says what they leave in the cell).
    void EndInput() { InputEnded = true; }
    bool GetOutputFileOpen() const { return OutputFileOpen; }
    void SetFileBufferByte(uint16_t index, uint8_t value) { FileBuffer[index] = value; }
    void SetFileFill(uint32_t fill) { FileFill = fill; }

    // GUI thread (or a suspended engine): moves DisplayBuffer into the output window.
    void FlushDisplay();
    // Writes FileBuffer to the output file; errOutputFileWrite on failure.
    void FlushOutputFile();
    // Any thread, and a signal handler: the engine writes FileBuffer to the output file at its
    // next check, also in the middle of a long computation (a failure ends the run with
    // errOutputFileWrite).
    void RequestOutputFlush() {
        OutputFlushDue.store(true);
        AttentionAt.store(0);
    }
    // GUI thread, while the engine is suspended.
    void LocateTarget() { Locate(false); }
    // GUI thread: draws the memory image through the host.
    virtual void PaintMemory() = 0;
    // The source offset of the character the error shown last is about (the analysis's fault,
    // the ':' of an illegal call), or -1 for an error of no place; read in ShowError.
    int64_t GetErrorPlace() const { return ErrorPlace; }

    // ---- History and the backward moves (GUI thread, while the run is paused) ----

    // Paused (not waiting for input), recording, and Executed > 0.
    bool CanGoBack() const;
    // Resumes the engine to move back: it replays its history to the point the move names and
    // pauses there through the usual pause sequence. False (nothing happens) when CanGoBack is.
    bool RequestBack(TBackMove move, uint32_t offset = 0);
    // Ends a backward run that is animated in watch mode; it pauses where it stands.
    void HaltBackwards() { BackHalt.store(true); }
    // A cell changed by the user: a change of the machine's past that replays apply at this
    // count. With a recorded future, that future is discarded first (HistoryDiscarded).
    void EditCell(uint16_t index, uint32_t value);
    // An answer to an input request (a typed line, a number, the end of the input), logged for
    // the replays and applied: the engine thread waits in its input wait.
    void TakeInput(TInputEntry entry);
    // Bytes the history holds (checkpoints and log), for measurements.
    size_t HistoryBytes() const;
    size_t CheckpointCount() const { return Checkpoints.size(); }

    // ---- Analysis (the engine thread at run start; callable directly by tools and tests) ----

    // The run's program analysed from text (TProgram::Analyze), as a run does it; returns
    // ErrorCode, the program's structure error.
    int Analyze(std::string_view text, bool commentMarkers, bool procMode);

    // The program of the run, from its analysis to its end.
    const TProgram& GetProgram() const { return Program; }
    const std::vector<TInstruction>& GetCommandList() const { return Program.CommandList; }
    const std::vector<TInstruction>& GetFoldedList() const { return Program.FoldedList; }
    uint32_t GetCommandCount() const { return Program.CommandCount; }
    uint32_t GetFoldedCount() const { return Program.FoldedCount; }

protected:
    // The whole run; the thread body.
    virtual void Execute();
    virtual void WriteChar() = 0;
    virtual void ReadChar() = 0;
    // Executes one instruction of CommandList, the one at PC, as a single step.
    virtual void ExecuteInstruction(const TInstruction& ins) = 0;
    // How a pass of the execution loop ended: the loop goes round again (a switch needs
    // attention, or a single step is done), the program has ended, or ErrorCode is set.
    enum class TLoopExit { Attention, End, Error };
    // Fast mode: executes the instruction at PC and keeps going on FoldedList until a switch
    // needs attention, the program ends or an error is raised.
    virtual TLoopExit RunFast(bool checkTarget) = 0;
    // Adds delta to the current cell modulo the cell width.
    virtual void AddToCell(int64_t delta) = 0;
    virtual uint32_t CurrentCell() const = 0;
    virtual void ClearTape() = 0;
    // The tape is as the engine was made, all zeros: the run's start need not clear it.
    bool TapeFresh = true;
    virtual uint32_t CellValues() const = 0;  // 256 or 65536
    // The nonzero stretch of the tape into the state, and back (the rest cleared).
    virtual void SaveTape(TMachineState& state) const = 0;
    virtual void LoadTape(const TMachineState& state) = 0;

    // Engine thread: a hand-off to the GUI thread; the engine leaves its state alone meanwhile.
    void Synchronize(const std::function<void()>& fn) {
        Host.Synchronize([this, &fn] {
            // Set on the GUI side: true exactly while the engine waits for this hand-off.
            InHandOff = true;
            fn();
            InHandOff = false;
        });
    }
    // True when the GUI thread may read the tape and the data pointer: no run has started, the
    // run is over, or the engine waits in a hand-off or a suspension.
    bool StateStable() const;
    void Locate(bool onEngineThread);
    // Engine thread: marks the coming suspension, so a resume from now on is not lost.
    void PrepareSuspend();
    // Engine thread: waits for the resume (or a terminate request) announced by PrepareSuspend.
    void Suspend();
    // Reads the next block of the input file, at the start of the step after the one that
    // used up the last (RefillDue); false on a read failure.
    bool RefillInput();
    bool RefillDue() const { return InputFileOpen && InputPos == InputSize; }
    // A logged block of the input file into InputData (read again at its offset, or copied);
    // false when the file no longer gives it.
    bool LoadBlock(const TInputEntry& entry);
    void SwitchLists(bool toSingle);
    void PauseSequence();
    bool FastTargetHit() const;
    // Fast mode, at the record PC: the run meets a breakpoint of this record.
    bool FastBreakHit() const;
    // True when this pass must run in single steps for a breakpoint: in fast mode one is met in
    // the record at PC, in single mode one lies ahead inside the folded record holding PC.
    bool BreakDue() const;
    bool BreakHere() const { return !BreakList.empty() && BreakAt[PC]; }
    // The fast form for the coming full-speed pass: built once for the program (a terminate
    // request abandons the build: the result is Cancelled), its stop set (the run-to-cursor
    // target and the breakpoints) set anew when it has changed.
    TFastProgram& PrepareFastForm(bool checkTarget, unsigned cellBits);
    // Fast form, at the record PC of its stop set: the run meets the target or a breakpoint.
    bool StopHit(bool checkTarget) const {
        return (checkTarget && FastTargetHit()) || (!BreakList.empty() && FastBreakHit());
    }
    // Fast form: steps the straight record at PC and the ones after it along FoldedList up to
    // the next record where the fast form is entered. True when it meets a stop that is hit
    // (PC there, the record not run), or, watched, a record that may meet a watchpoint (PC
    // there, not run: RunLoop single-steps it).
    bool StepToEntry(const TFastProgram& program, bool checkTarget, bool watched = false);
    // The profile counts of the fast form's records (arrivals, passes, own runs, by record), added
    // to ProfileCounts and cleared: after every profiled pass of the fast form, so that
    // ProfileCounts is whole wherever it is read or kept.
    std::vector<uint64_t> FastCounts;
    void FoldFastCounts(const TFastProgram& program);
    // By memo loop, profiled: FastCounts of its records (TFastProgram::MemoRecords: arrivals,
    // passes, own runs) where its current pass began, and what one pass added when it was last found
    // steady (PassKnown; FastCounts index, count), which a pass done at once adds per pass.
    // Passes done at once wait in Pending until the counts are next measured or read
    // (AddPending): a loop done at once again and again pays one addition each time.
    struct TMemoCounts {
        std::vector<uint64_t> Start;
        std::vector<std::pair<uint32_t, uint64_t>> Pass;
        bool PassKnown = false;
        uint64_t Pending = 0;
    };
    std::vector<TMemoCounts> MemoCounts;
    std::vector<uint32_t> MemosPending;  // the memo loops with Pending passes
    void AddPending() {
        for (const uint32_t m : MemosPending) {
            TMemoCounts& counts = MemoCounts[m];
            for (const auto& [k, added] : counts.Pass) FastCounts[k] += counts.Pending * added;
            counts.Pending = 0;
        }
        MemosPending.clear();
    }

    TEngineHost& Host;
    TRunFlags& MainFlags;

    // The program, from the analysis to the end of the run. Held in place: the loops read its
    // lists as directly as fields of the engine's own.
    TProgram Program;
    // The target stop the fast form's stop set was made for (UINT32_MAX: none); stale when
    // FastStopsReady is false, so a change of the breakpoints only needs to clear that.
    bool FastStopsReady = false;
    uint32_t FastFormStop = UINT32_MAX;
    // The FoldedList records covering breakpoints (sorted), the fast form's stops besides the target.
    std::vector<uint32_t> BreakRecords;

    // Machine state. Written by the engine thread; the GUI touches it only while suspended.
    uint32_t PC = 0;
    uint32_t DataPtr = 0;
    // The procedure tables exist from the first definition on: a run that defines none, the
    // common case, never pays for them, and a call before any definition is an illegal one.
    // Zeroed blocks from calloc, which takes large ones from the system as zero pages: a run
    // pays only for the pages it touches.
    struct TFreeDeleter {
        void operator()(uint32_t* p) const { std::free(p); }
    };
    std::unique_ptr<uint32_t[], TFreeDeleter> ProcTable;  // ProcSlots entries: 1 + entry index, 0 = none
    std::unique_ptr<uint32_t[], TFreeDeleter> CallStack;  // ProcSlots return addresses
    uint16_t CallDepth = 0;
    bool CallDepthWrapped = false;     // more than 65535 calls were active at once
    bool ProcDefined = false;          // some ProcTable entry is set (the tables exist)
    // Makes the tables, all entries free, and sets ProcDefined; at the first definition.
    void DefineProcedures();
    std::atomic<uint64_t> Executed{0};
    TError ErrorCode = errNone;
    int64_t ErrorPlace = -1;  // see GetErrorPlace

    // Run control.
    std::atomic<bool> StepMode{false};
    std::atomic<bool> Watch{false};
    std::atomic<bool> RunToCursor{false};
    std::atomic<uint32_t> Target{0};
    std::atomic<bool> TargetLocated{false};
    uint32_t FoldedTarget = 0;
    int64_t ResumePointA = -1;
    int64_t ResumePointB = -1;
    bool StepEntered = false;
    std::atomic<bool> InputRetry{false};
    std::atomic<bool> Follow{false};
    bool SingleMode = false;  // the active list is CommandList
    // The folded record that a switch into fast mode resumed part way (k > 0), or none: its
    // commands already stepped are not arrived at again, so it is no run-to-cursor hit.
    uint32_t ResumedRecord = UINT32_MAX;
    // The executed count at which the fast loops leave for RunLoop: 0 from every switch that
    // they must notice and from an input command that used up the input file, else the budget.
    // Read once per fast step (per check in the fast form), so the budget costs those loops
    // nothing beyond the attention check itself.
    std::atomic<uint64_t> AttentionAt{UINT64_MAX};
    static_assert(std::atomic<uint64_t>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
                  "the requests a signal handler may give store lock-free atomics only");
    uint64_t Budget = UINT64_MAX;
    bool BudgetReached = false;

    // ---- Exact stops ----
    // The count a run stops at (SetStopAt), and the next count where a logged change of a cell
    // applies: the exact stops. Far from one, the fast form runs in bounded stretches from a
    // snapshot (Guard), and one that went past the stop is taken back and run again on the plain
    // folded loop, whose records run at most PlainMargin commands each; within PlainMargin of
    // the stop the run takes single steps. IOGuard: the fast loops leave before input or output
    // once due and at once after it, so no taken-back stretch has reached the world.
    uint64_t StopAt = UINT64_MAX;
    bool StopMet = false;
    uint64_t PlainMargin = 1;
    bool IOGuard = false;
    bool ForcePlain = false;  // RunFast takes the plain folded loop
    uint64_t PlainUntil = 0;  // after a stretch was taken back: plain until this count
    TMachineState Guard;
    uint64_t ExactStop() const;
    bool NearStop() const {
        const uint64_t stop = ExactStop();
        const uint64_t executed = Executed.load(std::memory_order_relaxed);
        return stop != UINT64_MAX && stop > executed && stop - executed <= PlainMargin;
    }
    // Lowers AttentionAt to count unless a request has lowered it further.
    void LowerAttention(uint64_t count) {
        uint64_t current = AttentionAt.load();
        while (count < current && !AttentionAt.compare_exchange_weak(current, count)) {}
    }
    // A full-speed pass that does not pass ExactStop (see above).
    TLoopExit RunFastExact(bool checkTarget);

    // ---- History ----
    bool Recording = false;
    bool Replaying = false;  // output is counted, not shown: a replay to a point before now
    std::vector<TMachineState> Checkpoints;  // by Executed
    std::vector<TInputEntry> Log;            // in the order given
    std::vector<size_t> EditEntries;         // the indices of its Edit entries
    size_t LogPos = 0;                       // the next entry a replay takes
    int64_t InputBlock = -1;                 // the log entry whose bytes fill InputData
    uint64_t Shown = 0;                      // characters handed to the output window this run
    uint64_t ShownLines = 0;                 // line breaks among them
    uint32_t BaseLine = 0;                   // OutputLine when the run began
    uint64_t FileTotal = 0;                  // bytes this run has put to the output file
    uint64_t FileHigh = 0;                   // bytes the file holds or will hold (its buffer)
    uint64_t Furthest = 0;                   // the furthest count reached
    uint64_t NextCheckpointAt = 0;
    uint64_t Spacing = 1ull << 20;           // commands from one checkpoint check to the next
    // The run's own time: since RunStart, less what it spent suspended (Waited).
    std::chrono::steady_clock::time_point RunStart{};
    std::chrono::steady_clock::duration Waited{};
    int64_t WorkNow() const;
    // The engine thread's own time (in nanoseconds) when the run's first full-speed pass began,
    // and the count of the latest such pass: a smaller one begins a new run (see NativeFor).
    int64_t NativeClock = 0;
    uint64_t NativeSeen = UINT64_MAX;
    std::atomic<uint64_t> NativeFrom{UINT64_MAX};
    std::atomic<int> BackRequest{0};         // a TBackMove, 0: none
    uint32_t BackOffset = 0;
    std::atomic<bool> BackHalt{false};
    uint64_t LastHit = UINT64_MAX;           // a scan's last stop met
    void Capture(TMachineState& state) const;
    void Restore(const TMachineState& state);
    void AddCheckpoint();
    void ThinCheckpoints();
    // The logged input at the log position, applied; false when the log has none there.
    bool TakeLoggedInput();
    void ApplyInput(const TInputEntry& entry, int64_t index);
    void ApplyDueEdits();
    bool HasFuture() const;
    void DiscardFuture();
    // Puts bytes to the output file unless it holds them already (a replay).
    void EchoToFile(std::string_view bytes);
    // Engine thread: the machine as it was at count target (from the nearest checkpoint).
    void GoTo(uint64_t target);
    // Replays from the current state to count target; with scan, LastHit notes every stop met.
    void ReplayTo(uint64_t target, bool scan);
    // The last count before now where the run met one of the installed stops, or UINT64_MAX.
    uint64_t LastStopBefore(uint64_t now);
    void BackMove();
    void ShowBackPosition();
    bool InCaller = false;  // the run runs in the thread that called RunHere
    // Breakpoints, per CommandList index: nonzero = pause before executing the command.
    std::vector<uint8_t> BreakAt;
    // Per FoldedList index: the record covers a breakpointed command.
    std::vector<uint8_t> BreakRecord;
    // The list the fast loop runs while breakpoints exist: FoldedList with opBreakHere or
    // opBreakInClear as the operation of each record in BreakRecord. Empty without breakpoints.
    std::vector<TInstruction> BreakList;
    // The breakpoints in force: BreakTable as last taken over, BreakCommands (CommandList index,
    // BreakTable index) of the enabled ones that name a command, sorted; their hits, kept in the
    // checkpoints so that a backward move finds them as they were.
    std::vector<TBreakpoint> BreakTable;
    std::vector<std::pair<uint32_t, uint32_t>> BreakCommands;
    std::vector<uint64_t> BreakHits;
    // The count of the arrival at PC whose hits were counted last (one arrival counts once
    // however often RunLoop passes it), and whether a breakpoint stopped there.
    uint64_t HitCountedAt = UINT64_MAX;
    bool HitStops = false;
    bool CursorScan = false;  // LastStopBefore looks for the cursor's command, not breakpoints
    // Counts the hits of the breakpoints at PC (single mode) for this arrival; true when one of
    // them stops the run (PauseInfo names the first).
    bool BreakStops();
    // Why the run pauses: set as the pause becomes due, read by the windows while it lasts.
    TPauseInfo PauseInfo;
    TPauseInfo PendingPause{TPauseReason::Step, 0, 0};  // of the next pause in step mode
    std::atomic<bool> DebugRequested{false};
    // Step Over / Step Out: the run-to-cursor target is theirs, met only at this call depth.
    TPauseReason StepGoal = TPauseReason::None;
    uint16_t StepDepth = 0;
    bool StepGoalMet() const { return StepGoal == TPauseReason::None || CallDepth == StepDepth; }
    // Paused, not in an input wait: Step Over and Step Out act, else they do nothing.
    bool StepPossible() const;
    // Runs on to the command (CommandList index) at the call depth, as Step Over or Step Out.
    void RunOnTo(uint32_t command, uint16_t depth, TPauseReason goal);

    // ---- Watchpoints ----
    // WatchTable as last taken over; per cell the kinds of its enabled watchpoints, and the
    // number of cells below each index watched for arrival. A run with watchpoints leaves the
    // fast loops before a folded record that may change a watched cell or move onto one (the
    // fast form tests each record's reach, and steps the loops that may meet one pass by pass);
    // RunLoop takes that record in single steps and compares.
    std::vector<TWatchpoint> WatchTable;
    std::vector<uint8_t> WatchKind;
    std::vector<uint32_t> ArrivalsBelow;
    // The number of watched cells (either kind) below each index of the tape laid twice, so
    // that a stretch round the tape's end is one difference (the fast form's reach test).
    std::vector<uint32_t> WatchSums;
    bool Watching() const { return !WatchKind.empty() && !Replaying; }
    // The record (FoldedList) may change a cell watched for a change or move the pointer onto
    // one watched for arrival, the pointer standing at dp.
    bool WatchMayHit(const TInstruction& record, uint32_t dp) const {
        uint32_t n = record.Arg;
        switch (record.Op) {
        case opInc:
        case opDec:
        case opIncN:
        case opDecN:
        case opClearDec:
        case opClearInc:
        case opInput: return (WatchKind[dp] & WatchChange) != 0;
        case opRight: n = 1; [[fallthrough]];
        case opRightN: return ArrivalIn(dp + 1, n);
        case opLeft: n = 1; [[fallthrough]];
        case opLeftN: return ArrivalIn(dp - n, n);
        default: return false;
        }
    }
    // A cell watched for arrival among the n cells from first on, round the tape.
    bool ArrivalIn(uint32_t first, uint32_t n) const {
        if (n >= TapeSize) return ArrivalsBelow[TapeSize] != 0;
        first &= TapeSize - 1;
        const uint32_t end = first + n;
        if (end <= TapeSize) return ArrivalsBelow[end] != ArrivalsBelow[first];
        return ArrivalsBelow[TapeSize] != ArrivalsBelow[first] || ArrivalsBelow[end - TapeSize] != 0;
    }
    // In RunLoop: the coming pass takes single steps for a watchpoint.
    bool WatchpointDue() const;
    // After a single step that began with the pointer at dp on a cell holding old: a watchpoint
    // met makes the next pass pause (PendingPause).
    void WatchAfterStep(uint32_t dp, uint32_t old);
    void TakeWatchpoints();

    // ---- The profile ----
    // ProfileCounts: how often each FoldedList record ran at full speed (the fast form adds its
    // counts through FoldFastCounts), then per record the passes of a clear loop's body there,
    // then per CommandList index the single steps.
    bool Profiling = false;
    std::vector<uint64_t> ProfileCounts;
    std::vector<uint64_t> CommandCountsNow() const;

    // Output.
    uint8_t LastOut = 0;
    std::atomic<bool> OutputVisible{false};
    std::array<uint8_t, MaxDisplayBuffer> DisplayBuffer{};
    uint32_t DisplayFill = 0;
    uint32_t DisplayLimit = 128;
    std::atomic<uint32_t> OutputLine{0};

    // Input and files.
    // IOBlockSize bytes each, read only where written: no run pays for clearing them.
    std::unique_ptr<uint8_t[]> InputData;
    uint32_t InputSize = 0;
    uint32_t InputPos = 0;
    bool InputEnded = false;  // EndInput: no read asks any more
    std::unique_ptr<TByteFile> InputFile;
    bool InputFileOpen = false;
    bool InputAtOffsets = false;   // a recording run reads the input file with ReadAt
    uint64_t InputFileRead = 0;    // bytes taken from the input file by now
    std::unique_ptr<TByteFile> OutputFile;
    bool OutputFileOpen = false;
    std::unique_ptr<uint8_t[]> FileBuffer;
    uint32_t FileFill = 0;
    // The fill at which WriteChar considers a flush: IOBlockSize, or 1 with OutputFileByLine.
    uint32_t FileFlushFill = IOBlockSize;
    std::atomic<bool> OutputFlushDue{false};
    std::atomic<bool> AnalysisFinished{false};
    TRunOptions Options;

private:
    void ThreadBody();
    // The steps of Execute, in order. Each step that can fail reports its error itself and
    // returns false; RunEnd follows in every case.
    void TakeRunOptions();
    bool AnalyzeProgram();
    void ResetMachine();
    bool OpenFiles();
    void RunLoop();
    void RunEnd();
    // Maps the breakpoints last given onto the analysed program.
    void TakeBreakpoints();
    // Installs these text offsets as the stops of the loops (breakpoints, or a scan's target).
    void InstallStops(const std::vector<uint32_t>& offsets);
    // Parts of a pass of RunLoop.
    void ShowWatchedStep();
    void PauseWhereDue();
    bool ReachedTarget(bool full);
    TLoopExit StepOnce(bool watch);
    // Shows the error in ErrorCode and ends the analysis display. True when the run goes on:
    // an illegal call pauses at its ':' instead of ending the run.
    bool ErrorExit();

    mutable std::mutex SuspendMutex;
    std::condition_variable SuspendCv;
    bool Started = false;
    bool SuspendPending = false;
    bool ResumeToken = false;
    bool Waiting = false;
    std::atomic<bool> Terminated{false};
    std::atomic<bool> Finished{false};
    bool InHandOff = false;  // GUI thread only
    // When the next watched step is due: the watch clock keeps its frequency however long the
    // step's own work took.
    std::chrono::steady_clock::time_point WatchDue{};
    std::mutex BreakMutex;
    std::vector<TBreakpoint> BreakDefs;  // under BreakMutex: as last given
    std::vector<TWatchpoint> WatchDefs;  // under BreakMutex
    std::atomic<bool> WatchesChanged{false};
    std::vector<uint64_t> FinalCounts;   // GetCommandCounts of the finished run
    std::atomic<bool> BreaksChanged{false};
    std::thread Thread;
};

}  // namespace cel
