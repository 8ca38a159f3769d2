// The engine's exact stops, its history and the backward moves (see cel_History.h).
#include "cel_InterpreterBase.h"

#include <algorithm>
#include <cstring>

namespace cel {

namespace {

// Commands a full-speed stretch toward an exact stop runs before it checks back: what a stretch
// that went past the stop costs again on the plain loop.
constexpr uint64_t GuardStretch = 1ull << 22;
// Checkpoints: about one every CheckpointWork of the run's own time (the commands between two
// adapt to the speed), older ones thinned so that the time between two around one of age a is
// at most a / CheckpointDensity: about CheckpointDensity * (1 + ln(run time / (CheckpointWork *
// CheckpointDensity))) of them for a run of any length, and a replay from the nearest one takes
// at most about the 64th part of the time since it was taken.
constexpr int64_t CheckpointWork = 2'000'000;  // ns
constexpr int64_t CheckpointDensity = 64;
constexpr uint64_t MinSpacing = 1ull << 16;
constexpr uint64_t MaxSpacing = 1ull << 40;
// What the checkpoints may hold in all; beyond it every other older one goes. A run of under a
// second (of its own time) keeps them under ShortRunBytes, so that its history stays under
// 2 MB with a whole tape in every checkpoint.
constexpr size_t CheckpointBytes = size_t{160} << 20;
constexpr size_t ShortRunBytes = size_t{3} << 19;
constexpr int64_t ShortRunWork = 1'000'000'000;  // ns

}  // namespace

// ---------------------------------------------------------------------------------------------
// Exact stops

uint64_t TBFInterpreterBase::ExactStop() const {
    uint64_t stop = StopAt;
    // Input given before the next change is taken on the way there.
    const auto next = std::lower_bound(EditEntries.begin(), EditEntries.end(), LogPos);
    if (next != EditEntries.end()) stop = std::min(stop, Log[*next].At);
    return stop;
}

TBFInterpreterBase::TLoopExit TBFInterpreterBase::RunFastExact(bool checkTarget) {
    const uint64_t stop = ExactStop();
    const uint64_t start = Executed.load(std::memory_order_relaxed);
    if (stop == UINT64_MAX || stop <= start) return RunFast(checkTarget);
    // RunLoop takes single steps within PlainMargin of the stop: here it is further.
    LowerAttention(stop - PlainMargin);
    if (Options.PlainEngine || Profiling || Watching() || start < PlainUntil) {
        ForcePlain = true;
        const TLoopExit exit = RunFast(checkTarget);
        ForcePlain = false;
        return exit;
    }
    // A stretch whose checks all come before the stop by more than the program can run between
    // two of them cannot pass it: no snapshot is needed, whatever input and output it does.
    const TFastProgram* fast = Program.BuiltFastForm(CellValues() == 256 ? 8 : 16);
    const uint64_t unchecked = fast ? std::max(fast->UncheckedBound, PlainMargin) : UINT64_MAX;
    if (unchecked < stop - start) {
        LowerAttention(std::min(start + GuardStretch, stop - unchecked));
        return RunFast(checkTarget);
    }
    LowerAttention(start + GuardStretch);
    Capture(Guard);
    IOGuard = true;
    const TLoopExit exit = RunFast(checkTarget);
    IOGuard = false;
    // An error met at the stop is one of the command after it (an illegal call, a failed
    // output): the run stops before that command, as single steps do.
    const uint64_t now = Executed.load(std::memory_order_relaxed);
    if (now < stop || (now == stop && exit != TLoopExit::Error)) return exit;
    // Past the stop: the stretch again on the plain loop, which stops in time.
    ErrorCode = errNone;
    Restore(Guard);
    PlainUntil = stop;
    return TLoopExit::Attention;
}

// ---------------------------------------------------------------------------------------------
// Checkpoints

void TBFInterpreterBase::Capture(TMachineState& state) const {
    state.Executed = Executed.load(std::memory_order_relaxed);
    state.PC = PC;
    state.DataPtr = DataPtr;
    state.SingleMode = SingleMode;
    state.CallDepth = CallDepth;
    state.CallDepthWrapped = CallDepthWrapped;
    state.ProcDefined = ProcDefined;
    SaveTape(state);
    state.Procs.clear();
    state.Calls.clear();
    if (ProcDefined) {
        for (uint32_t i = 0; i < ProcSlots; ++i)
            if (ProcTable[i] != 0) state.Procs.emplace_back(i, ProcTable[i]);
        const uint32_t depth = CallDepthWrapped ? ProcSlots : CallDepth;
        state.Calls.assign(CallStack.get(), CallStack.get() + depth);
    }
    state.LastOut = LastOut;
    state.InputSize = InputSize;
    state.InputPos = InputPos;
    state.InputFileOpen = InputFileOpen;
    state.InputEnded = InputEnded;
    state.InputFileRead = InputFileRead;
    state.InputBlock = InputBlock;
    state.Shown = Shown;
    state.ShownLines = ShownLines;
    state.FileTotal = FileTotal;
    state.LogPos = LogPos;
    state.BreakHits = BreakHits;
    if (Profiling) state.Profile = ProfileCounts;
}

void TBFInterpreterBase::Restore(const TMachineState& state) {
    Executed.store(state.Executed, std::memory_order_release);
    PC = state.PC;
    DataPtr = state.DataPtr;
    SingleMode = state.SingleMode;
    CallDepth = state.CallDepth;
    CallDepthWrapped = state.CallDepthWrapped;
    LoadTape(state);
    if (state.ProcDefined) {
        if (!ProcDefined) DefineProcedures();
        std::memset(ProcTable.get(), 0, ProcSlots * sizeof(uint32_t));
        for (const auto& [cell, entry] : state.Procs) ProcTable[cell] = entry;
        std::copy(state.Calls.begin(), state.Calls.end(), CallStack.get());
    } else if (ProcDefined) {
        std::memset(ProcTable.get(), 0, ProcSlots * sizeof(uint32_t));
    }
    LastOut = state.LastOut;
    InputSize = state.InputSize;
    InputPos = state.InputPos;
    InputFileOpen = state.InputFileOpen;
    InputEnded = state.InputEnded;
    InputFileRead = state.InputFileRead;
    InputBlock = state.InputBlock;
    if (InputBlock >= 0) {
        const TInputEntry& block = Log[static_cast<size_t>(InputBlock)];
        // A file changed since it was read gives what it holds now.
        if (block.Kind == TInputEntry::FileBlock) LoadBlock(block);
        else std::memcpy(InputData.get(), block.Bytes.data(), std::min<size_t>(block.Bytes.size(), IOBlockSize));
    }
    Shown = state.Shown;
    ShownLines = state.ShownLines;
    FileTotal = state.FileTotal;
    LogPos = state.LogPos;
    if (state.BreakHits.size() == BreakHits.size()) BreakHits = state.BreakHits;
    if (Profiling && state.Profile.size() == ProfileCounts.size()) ProfileCounts = state.Profile;
    HitCountedAt = UINT64_MAX;
    ResumedRecord = UINT32_MAX;
    ErrorCode = errNone;
}

int64_t TBFInterpreterBase::WorkNow() const {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - RunStart - Waited)
        .count();
}

void TBFInterpreterBase::AddCheckpoint() {
    const uint64_t executed = Executed.load(std::memory_order_relaxed);
    const int64_t work = WorkNow();
    if (!Checkpoints.empty()) {
        const TMachineState& last = Checkpoints.back();
        if (last.Executed >= executed) {
            NextCheckpointAt = last.Executed + Spacing;
            return;
        }
        // The commands between two checks follow the speed: about one check each CheckpointWork.
        const int64_t took = work - last.Work;
        if (took < CheckpointWork / 2 && Spacing < MaxSpacing) Spacing *= 2;
        else if (took > CheckpointWork * 2 && Spacing > MinSpacing) Spacing /= 2;
        if (took < CheckpointWork / 2) {
            NextCheckpointAt = executed + Spacing;
            return;
        }
    }
    Checkpoints.emplace_back();
    Capture(Checkpoints.back());
    Checkpoints.back().Work = work;
    ThinCheckpoints();
    NextCheckpointAt = executed + Spacing;
}

void TBFInterpreterBase::ThinCheckpoints() {
    const int64_t now = Checkpoints.back().Work;
    // The first (the run's start) and the newest stay; one between goes when its neighbours
    // are close enough for its age. In place: only those after a removed one move.
    size_t kept = 1;
    size_t bytes = Checkpoints[0].Bytes();
    for (size_t i = 1; i < Checkpoints.size(); ++i) {
        if (i + 1 < Checkpoints.size()) {
            const int64_t gap = Checkpoints[i + 1].Work - Checkpoints[kept - 1].Work;
            if (gap <= std::max(CheckpointWork, (now - Checkpoints[i].Work) / CheckpointDensity)) continue;
        }
        bytes += Checkpoints[i].Bytes();
        if (kept != i) Checkpoints[kept] = std::move(Checkpoints[i]);
        ++kept;
    }
    Checkpoints.resize(kept);
    if (bytes > (now < ShortRunWork ? ShortRunBytes : CheckpointBytes) && kept > 2) {
        // Over the memory bound: every other one of the older half.
        const size_t half = kept / 2;
        size_t to = 1;
        for (size_t i = 1; i < kept; ++i) {
            if (i < half && i % 2 == 1) continue;
            if (to != i) Checkpoints[to] = std::move(Checkpoints[i]);
            ++to;
        }
        Checkpoints.resize(to);
    }
}

size_t TBFInterpreterBase::HistoryBytes() const {
    size_t bytes = Checkpoints.capacity() * sizeof(TMachineState);
    for (const TMachineState& c : Checkpoints) bytes += c.Bytes() - sizeof(TMachineState);
    for (const TInputEntry& e : Log) bytes += sizeof(TInputEntry) + e.Bytes.capacity();
    return bytes;
}

// ---------------------------------------------------------------------------------------------
// The log

void TBFInterpreterBase::ApplyInput(const TInputEntry& entry, int64_t index) {
    switch (entry.Kind) {
    case TInputEntry::Line: {
        if (entry.Echo && OutputFileOpen) {
            FlushOutputFile();
            EchoToFile(entry.Bytes);
        }
        const size_t size = std::min<size_t>(entry.Bytes.size(), IOBlockSize);
        std::memcpy(InputData.get(), entry.Bytes.data(), size);
        InputSize = static_cast<uint32_t>(size);
        InputPos = 1;
        InputBlock = index;
        SetCell(static_cast<uint16_t>(DataPtr), static_cast<uint8_t>(entry.Bytes[0]));
        break;
    }
    case TInputEntry::Number: SetCell(static_cast<uint16_t>(DataPtr), entry.Value); break;
    case TInputEntry::End: EndInput(); break;
    case TInputEntry::Retry: InputRetry.store(true); break;
    case TInputEntry::FileBlock:
        // Its bytes are in InputData (LoadBlock).
        InputSize = entry.Value;
        InputPos = 0;
        InputBlock = index;
        InputFileRead += entry.Value;
        if (entry.Value == 0) InputFileOpen = false;
        break;
    case TInputEntry::Edit: SetCell(entry.Index, entry.Value); break;
    }
}

bool TBFInterpreterBase::TakeLoggedInput() {
    if (LogPos >= Log.size()) return false;
    const TInputEntry& entry = Log[LogPos];
    if (entry.Kind == TInputEntry::FileBlock || entry.Kind == TInputEntry::Edit) return false;
    ApplyInput(entry, static_cast<int64_t>(LogPos));
    ++LogPos;
    return true;
}

void TBFInterpreterBase::ApplyDueEdits() {
    const uint64_t executed = Executed.load(std::memory_order_relaxed);
    while (LogPos < Log.size() && Log[LogPos].Kind == TInputEntry::Edit && Log[LogPos].At <= executed) {
        ApplyInput(Log[LogPos], static_cast<int64_t>(LogPos));
        ++LogPos;
    }
}

bool TBFInterpreterBase::HasFuture() const {
    return LogPos < Log.size() || Executed.load() < Furthest ||
           (!Checkpoints.empty() && Checkpoints.back().Executed > Executed.load());
}

void TBFInterpreterBase::DiscardFuture() {
    const uint64_t executed = Executed.load();
    while (!Checkpoints.empty() && Checkpoints.back().Executed > executed) Checkpoints.pop_back();
    Log.resize(LogPos);
    while (!EditEntries.empty() && EditEntries.back() >= LogPos) EditEntries.pop_back();
    Furthest = executed;
    NextCheckpointAt = (Checkpoints.empty() ? 0 : Checkpoints.back().Executed) + Spacing;
    // The output file loses what the old future wrote (a file that cannot be cut keeps it, and
    // the new future's output follows it).
    if (OutputFileOpen && FileHigh > FileTotal) {
        FlushOutputFile();
        if (ErrorCode == errNone && OutputFile) OutputFile->Truncate(FileTotal);
    }
    FileHigh = FileTotal;
    Host.HistoryDiscarded();
}

void TBFInterpreterBase::EchoToFile(std::string_view bytes) {
    for (const char c : bytes) {
        if (FileTotal < FileHigh) {
            ++FileTotal;
            continue;
        }
        if (FileFill >= IOBlockSize) FlushOutputFile();
        FileBuffer[FileFill++] = static_cast<uint8_t>(c);
        FileHigh = ++FileTotal;
    }
}

void TBFInterpreterBase::EditCell(uint16_t index, uint32_t value) {
    const bool logged = Recording && Started && !IsFinished() && Program.CommandCount > 0;
    if (logged) {
        if (HasFuture()) DiscardFuture();
        TInputEntry edit;
        edit.Kind = TInputEntry::Edit;
        edit.Index = index;
        edit.Value = value;
        edit.At = Executed.load();
        EditEntries.push_back(Log.size());
        Log.push_back(std::move(edit));
        LogPos = Log.size();
    }
    SetCell(index, value);
}

void TBFInterpreterBase::TakeInput(TInputEntry entry) {
    if (entry.Kind == TInputEntry::Line && entry.Bytes.empty()) return;
    if (entry.Kind == TInputEntry::Line && entry.Bytes.size() > IOBlockSize) entry.Bytes.resize(IOBlockSize);
    int64_t index = -1;
    if (Recording) {
        if (HasFuture()) DiscardFuture();
        Log.push_back(std::move(entry));
        LogPos = Log.size();
        index = static_cast<int64_t>(Log.size()) - 1;
        ApplyInput(Log.back(), index);
        return;
    }
    ApplyInput(entry, index);
}

// ---------------------------------------------------------------------------------------------
// Replays and the backward moves

bool TBFInterpreterBase::CanGoBack() const {
    if (!Recording || !Started || IsFinished() || !MainFlags.Paused.load() || MainFlags.WaitingForInput.load())
        return false;
    return IsSuspended() && Executed.load() > 0 && !Checkpoints.empty();
}

bool TBFInterpreterBase::RequestBack(TBackMove move, uint32_t offset) {
    if (!CanGoBack()) return false;
    if (move == TBackMove::Cursor && Program.CommandFrom(offset) >= Program.CommandCount) return false;
    BackOffset = offset;
    BackHalt.store(false);
    BackRequest.store(static_cast<int>(move));
    Resume();
    return true;
}

void TBFInterpreterBase::ReplayTo(uint64_t target, bool scan) {
    Replaying = true;
    const uint64_t stop = StopAt;
    StopAt = target;
    PlainUntil = 0;
    for (;;) {
        ApplyDueEdits();
        if (Executed.load(std::memory_order_relaxed) >= target || Terminated.load()) break;
        AttentionAt.store(UINT64_MAX);
        if (RefillDue()) {
            if (!RefillInput()) break;
            ApplyDueEdits();
        }
        // Single steps through breakpoints: they count their hits as the run did.
        const bool full = NearStop() || BreakDue();
        if (full != SingleMode) SwitchLists(full);
        if (full && BreakHere() && (CursorScan || BreakStops()) && scan)
            LastHit = Executed.load(std::memory_order_relaxed);
        if (!full) ResumedRecord = UINT32_MAX;
        const TLoopExit exit = full ? StepOnce(false) : RunFastExact(false);
        if (exit != TLoopExit::Attention) break;
    }
    StopAt = stop;
    Replaying = false;
    ErrorCode = errNone;
}

void TBFInterpreterBase::GoTo(uint64_t target) {
    auto c = std::upper_bound(Checkpoints.begin(), Checkpoints.end(), target,
                              [](uint64_t t, const TMachineState& s) { return t < s.Executed; });
    if (c == Checkpoints.begin()) return;
    Restore(*(c - 1));
    ReplayTo(target, false);
    if (!SingleMode) SwitchLists(true);
}

uint64_t TBFInterpreterBase::LastStopBefore(uint64_t now) {
    if (BreakList.empty()) return UINT64_MAX;
    uint64_t end = now;
    auto c = std::lower_bound(Checkpoints.begin(), Checkpoints.end(), now,
                              [](const TMachineState& s, uint64_t t) { return s.Executed < t; });
    while (c != Checkpoints.begin() && !Terminated.load()) {
        --c;
        Restore(*c);
        LastHit = UINT64_MAX;
        ReplayTo(end, true);
        if (LastHit != UINT64_MAX && LastHit < end) return LastHit;
        end = c->Executed;
    }
    return UINT64_MAX;
}

void TBFInterpreterBase::ShowBackPosition() {
    Synchronize([this] {
        DisplayFill = 0;
        OutputLine.store(BaseLine + static_cast<uint32_t>(ShownLines));
        if (!Host.TruncateOutput(Shown)) ErrorCode = errOutputWindow;
    });
}

void TBFInterpreterBase::BackMove() {
    const auto move = static_cast<TBackMove>(BackRequest.exchange(0));
    const uint64_t now = Executed.load();
    Furthest = std::max(Furthest, now);
    switch (move) {
    case TBackMove::Step: GoTo(now - 1); break;
    case TBackMove::Backwards: {
        uint64_t target = LastStopBefore(now);
        if (target == UINT64_MAX) target = 0;
        if (!Watch.load()) {
            GoTo(target);
            break;
        }
        // Animated: each step back shown at the watch speed, until Debug or the target.
        for (uint64_t t = now; t > target && !BackHalt.load() && !Terminated.load();) {
            GoTo(--t);
            ShowBackPosition();
            ShowWatchedStep();
        }
        break;
    }
    case TBackMove::Cursor: {
        const uint32_t command = Program.CommandFrom(BackOffset);
        InstallStops({Program.CommandList[command].Origin});
        CursorScan = true;
        const uint64_t target = LastStopBefore(now);
        CursorScan = false;
        TakeBreakpoints();
        GoTo(target == UINT64_MAX ? now : target);
        break;
    }
    }
    if (!SingleMode) SwitchLists(true);
    ShowBackPosition();
    StepMode.store(true);
    RunToCursor.store(false);
}

}  // namespace cel
