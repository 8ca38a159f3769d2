#include "cel_InterpreterBase.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <span>

#if __has_include(<unistd.h>)
#include <unistd.h>  // ftruncate
#else
#include <filesystem>
#endif

namespace cel {

namespace {

class TStdioFile final : public TByteFile {
public:
    TStdioFile(std::FILE* f, std::string name) : File(f), Name(std::move(name)) {}
    ~TStdioFile() override { Close(); }
    long Read(uint8_t* buffer, size_t size) override {
        size_t n = std::fread(buffer, 1, size, File);
        if (n < size && std::ferror(File)) return -1;
        return static_cast<long>(n);
    }
    long ReadAt(uint64_t offset, uint8_t* buffer, size_t size) override {
        const long here = std::ftell(File);
        if (here < 0 || offset > static_cast<uint64_t>(LONG_MAX) ||
            std::fseek(File, static_cast<long>(offset), SEEK_SET) != 0)
            return -1;
        const long n = Read(buffer, size);
        return std::fseek(File, here, SEEK_SET) == 0 ? n : -1;
    }
    bool Write(const uint8_t* data, size_t size) override {
        return std::fwrite(data, 1, size, File) == size;
    }
    bool Truncate(uint64_t size) override {
        if (!File || std::fflush(File) != 0) return false;
#if __has_include(<unistd.h>)
        // The open file itself, not its name; and std::filesystem would link the runner with
        // the whole of the streams and locales, which costs every run's start.
        const bool cut = size <= static_cast<uint64_t>(INT64_MAX) &&
                         ::ftruncate(::fileno(File), static_cast<off_t>(size)) == 0;
#else
        std::error_code error;
        std::filesystem::resize_file(Name, size, error);
        const bool cut = !error;
#endif
        // Later writes go after the bytes kept.
        return std::fseek(File, 0, SEEK_END) == 0 && cut;
    }
    bool Close() override {
        if (!File) return true;
        bool ok = std::fclose(File) == 0;
        File = nullptr;
        return ok;
    }

private:
    std::FILE* File;
    [[maybe_unused]] std::string Name;  // for Truncate where no ftruncate exists
};

}  // namespace

std::unique_ptr<TByteFile> OpenByteFileForReading(const std::string& name) {
    std::FILE* f = std::fopen(name.c_str(), "rb");
    if (!f) return nullptr;
    return std::make_unique<TStdioFile>(f, name);
}

std::unique_ptr<TByteFile> CreateByteFile(const std::string& name) {
    std::FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) return nullptr;
    return std::make_unique<TStdioFile>(f, name);
}

TBFInterpreterBase::TBFInterpreterBase(TEngineHost& host)
    : Host(host),
      MainFlags(host.Flags()),
      InputData(std::make_unique_for_overwrite<uint8_t[]>(IOBlockSize)),
      FileBuffer(std::make_unique_for_overwrite<uint8_t[]>(IOBlockSize)) {}

TBFInterpreterBase::~TBFInterpreterBase() {
    if (Thread.joinable()) {
        Terminate();
        Thread.join();
    }
}

// ---------------------------------------------------------------------------------------------
// Thread control

void TBFInterpreterBase::Resume() {
    std::lock_guard<std::mutex> lock(SuspendMutex);
    if (!Started) {
        Started = true;
        Thread = std::thread(&TBFInterpreterBase::ThreadBody, this);
        return;
    }
    if (SuspendPending) {
        ResumeToken = true;
        SuspendCv.notify_all();
    }
}

void TBFInterpreterBase::RunHere() {
    {
        std::lock_guard<std::mutex> lock(SuspendMutex);
        if (Started) return;
        Started = true;
        InCaller = true;
    }
    ThreadBody();
}

void TBFInterpreterBase::Terminate() {
    Terminated.store(true);
    AttentionAt.store(0);
    std::lock_guard<std::mutex> lock(SuspendMutex);
    SuspendCv.notify_all();
}

bool TBFInterpreterBase::IsSuspended() const {
    std::lock_guard<std::mutex> lock(SuspendMutex);
    return !Started || (SuspendPending && !ResumeToken);
}

bool TBFInterpreterBase::IsWaiting() const {
    std::lock_guard<std::mutex> lock(SuspendMutex);
    return Waiting;
}

void TBFInterpreterBase::WaitFor() {
    if (Thread.joinable() && Thread.get_id() != std::this_thread::get_id()) Thread.join();
}

void TBFInterpreterBase::PrepareSuspend() {
    std::lock_guard<std::mutex> lock(SuspendMutex);
    SuspendPending = true;
    ResumeToken = false;
}

void TBFInterpreterBase::Suspend() {
    std::unique_lock<std::mutex> lock(SuspendMutex);
    if (InCaller && !ResumeToken) {
        // Nobody else can answer it: the run ends.
        Terminated.store(true);
        AttentionAt.store(0);
    }
    Waiting = true;
    const auto since = std::chrono::steady_clock::now();
    SuspendCv.wait(lock, [this] { return ResumeToken || Terminated.load(); });
    Waited += std::chrono::steady_clock::now() - since;
    Waiting = false;
    ResumeToken = false;
    SuspendPending = false;
}

void TBFInterpreterBase::SetStepMode(bool on) {
    StepMode.store(on);
    if (on) AttentionAt.store(0);
}

void TBFInterpreterBase::SetWatch(bool on) {
    Watch.store(on);
    AttentionAt.store(0);
}

void TBFInterpreterBase::SetRunToCursor(bool on) {
    RunToCursor.store(on);
    if (on) AttentionAt.store(0);
}

void TBFInterpreterBase::SetTargetLocated(bool on) {
    TargetLocated.store(on);
    if (!on) AttentionAt.store(0);
}

void TBFInterpreterBase::SetBreakpoints(std::vector<uint32_t> offsets) {
    std::vector<TBreakpoint> breakpoints(offsets.size());
    for (size_t i = 0; i < offsets.size(); ++i) breakpoints[i].Offset = offsets[i];
    SetBreakpointList(std::move(breakpoints));
}

void TBFInterpreterBase::SetBreakpointList(std::vector<TBreakpoint> breakpoints) {
    // The engine is suspended or has not started: its hits, also those in the checkpoints, go
    // over to the new list, each to the first new breakpoint at the same offset.
    std::vector<int64_t> from(breakpoints.size(), -1);
    std::vector<uint8_t> taken(BreakTable.size(), 0);
    for (size_t i = 0; i < breakpoints.size(); ++i)
        for (size_t j = 0; j < BreakTable.size(); ++j)
            if (!taken[j] && BreakTable[j].Offset == breakpoints[i].Offset) {
                taken[j] = 1;
                from[i] = static_cast<int64_t>(j);
                break;
            }
    const auto remap = [&from](std::vector<uint64_t>& hits) {
        std::vector<uint64_t> moved(from.size(), 0);
        for (size_t i = 0; i < from.size(); ++i)
            if (from[i] >= 0 && static_cast<size_t>(from[i]) < hits.size()) moved[i] = hits[static_cast<size_t>(from[i])];
        hits = std::move(moved);
    };
    remap(BreakHits);
    for (TMachineState& c : Checkpoints) remap(c.BreakHits);
    remap(Guard.BreakHits);
    BreakTable = breakpoints;
    {
        std::lock_guard<std::mutex> lock(BreakMutex);
        BreakDefs = std::move(breakpoints);
    }
    BreaksChanged.store(true);
    AttentionAt.store(0);
}

void TBFInterpreterBase::SetWatchpoints(std::vector<TWatchpoint> watchpoints) {
    {
        std::lock_guard<std::mutex> lock(BreakMutex);
        WatchDefs = std::move(watchpoints);
    }
    WatchesChanged.store(true);
    AttentionAt.store(0);
}

void TBFInterpreterBase::TakeWatchpoints() {
    {
        std::lock_guard<std::mutex> lock(BreakMutex);
        WatchTable = WatchDefs;
        WatchesChanged.store(false);
    }
    WatchKind.clear();
    ArrivalsBelow.clear();
    WatchSums.clear();
    // The tables only when some watchpoint is on: a run without one touches none of their pages.
    std::vector<uint8_t> kinds;
    for (const TWatchpoint& w : WatchTable) {
        if (!w.Enabled || w.Cell >= TapeSize || (w.Kinds & (WatchChange | WatchArrival)) == 0) continue;
        if (kinds.empty()) kinds.assign(TapeSize, 0);
        kinds[w.Cell] |= w.Kinds & (WatchChange | WatchArrival);
    }
    if (kinds.empty()) return;
    WatchKind = std::move(kinds);
    ArrivalsBelow.assign(TapeSize + 1, 0);
    for (uint32_t i = 0; i < TapeSize; ++i) ArrivalsBelow[i + 1] = ArrivalsBelow[i] + ((WatchKind[i] & WatchArrival) != 0);
    WatchSums.assign(2 * TapeSize + 1, 0);
    for (uint32_t i = 0; i < 2 * TapeSize; ++i) WatchSums[i + 1] = WatchSums[i] + (WatchKind[i & (TapeSize - 1)] != 0);
}

bool TBFInterpreterBase::WatchpointDue() const {
    if (!Watching()) return false;
    if (!SingleMode) return WatchMayHit(Program.FoldedList[PC], DataPtr);
    // Inside a folded record the steps go on to its end; at its beginning it is asked.
    const uint32_t i = Program.FoldedRecordCovering(PC);
    return Program.FoldedList[i].Origin != PC || WatchMayHit(Program.FoldedList[i], DataPtr);
}

void TBFInterpreterBase::WatchAfterStep(uint32_t dp, uint32_t old) {
    uint8_t kind = 0;
    uint32_t cell = dp;
    if ((WatchKind[dp] & WatchChange) && GetCell(static_cast<uint16_t>(dp)) != old) {
        kind = WatchChange;
    } else if (DataPtr != dp && (WatchKind[DataPtr] & WatchArrival)) {
        kind = WatchArrival;
        cell = DataPtr;
    }
    if (kind == 0) return;
    for (uint32_t i = 0; i < WatchTable.size(); ++i) {
        const TWatchpoint& w = WatchTable[i];
        if (w.Enabled && w.Cell == cell && (w.Kinds & kind)) {
            PendingPause = {TPauseReason::Watchpoint, i, kind == WatchChange ? old : 0};
            break;
        }
    }
    StepMode.store(true);
    RunToCursor.store(false);
}

std::vector<uint64_t> TBFInterpreterBase::GetBreakHits() const { return BreakHits; }

bool TBFInterpreterBase::StepPossible() const {
    return Program.CommandCount > 0 && MainFlags.Paused.load() && !MainFlags.WaitingForInput.load() && IsSuspended();
}

void TBFInterpreterBase::RunOnTo(uint32_t command, uint16_t depth, TPauseReason goal) {
    if (command < Program.CommandCount) {
        StepGoal = goal;
        StepDepth = depth;
        RunToCursor.store(true);
        Target.store(Program.CommandList[command].Origin);
        Locate(false);
    }
    // The paused pass runs the command at PC, then the run goes on at full speed (to the end
    // of the program when nothing follows).
    SetStepMode(false);
    Resume();
}

void TBFInterpreterBase::StepOver() {
    if (!StepPossible()) return;
    const uint32_t pc = SingleMode ? PC : Program.FoldedList[PC].Origin;
    const TInstruction& r = Program.CommandList[pc];
    if (r.Op == opLoopStart && CurrentCell() != 0) return RunOnTo(r.Arg + 1, CallDepth, TPauseReason::StepOver);
    if (r.Op == opCall) return RunOnTo(pc + 1, CallDepth, TPauseReason::StepOver);
    Resume();
}

void TBFInterpreterBase::StepOut() {
    if (!StepPossible()) return;
    const uint32_t pc = SingleMode ? PC : Program.FoldedList[PC].Origin;
    const std::vector<TInstruction>& list = Program.CommandList;
    // The innermost loop or procedure body holding pc, its brackets included; a '(' at pc is a
    // definition, which no body holds.
    for (int64_t i = pc; i >= 0; --i) {
        const TInstruction& r = list[static_cast<size_t>(i)];
        const bool here = i == pc;
        if (!here && (r.Op == opLoopEnd || r.Op == opProcEnd)) {
            i = r.Arg;  // a closed loop or body before pc: passed over whole
            continue;
        }
        uint32_t open = UINT32_MAX;
        if (r.Op == opLoopStart || (!here && r.Op == opProcStart)) open = static_cast<uint32_t>(i);
        else if (here && (r.Op == opLoopEnd || r.Op == opProcEnd)) open = r.Arg;
        if (open == UINT32_MAX) continue;
        if (list[open].Op == opLoopStart) return RunOnTo(list[open].Arg + 1, CallDepth, TPauseReason::StepOut);
        // A body: out after the call that runs it, one level up.
        if (CallDepth == 0) break;
        return RunOnTo(CallStack[CallDepth - 1] + 1, static_cast<uint16_t>(CallDepth - 1), TPauseReason::StepOut);
    }
    SetStepMode(false);
    Resume();
}

std::vector<uint64_t> TBFInterpreterBase::CommandCountsNow() const {
    const uint32_t folded = Program.FoldedCount;
    const uint32_t commands = Program.CommandCount;
    if (!Profiling || ProfileCounts.size() != 2ull * folded + commands) return {};
    std::vector<uint64_t> counts(ProfileCounts.begin() + 2 * folded, ProfileCounts.end());
    for (uint32_t i = 0; i < folded; ++i) {
        const TInstruction& r = Program.FoldedList[i];
        const uint64_t n = ProfileCounts[i];
        switch (r.Op) {
        case opRightN:
        case opLeftN:
        case opIncN:
        case opDecN:
            for (uint32_t j = 0; j < r.Arg; ++j) counts[r.Origin + j] += n;
            break;
        case opClearDec:
        case opClearInc:
            // [ once a run, its body's two commands once a pass.
            counts[r.Origin] += n;
            counts[r.Origin + 1] += ProfileCounts[folded + i];
            counts[r.Origin + 2] += ProfileCounts[folded + i];
            break;
        default: counts[r.Origin] += n; break;
        }
    }
    return counts;
}

std::vector<uint64_t> TBFInterpreterBase::GetCommandCounts() const {
    if (Program.CommandCount == 0) return FinalCounts;
    return CommandCountsNow();
}

void TBFInterpreterBase::ThreadBody() {
    Execute();
    Finished.store(true, std::memory_order_release);
}

// ---------------------------------------------------------------------------------------------
// Analysis and the two lists

int TBFInterpreterBase::Analyze(std::string_view text, bool commentMarkers, bool procMode) {
    ErrorCode = Program.Analyze(text, commentMarkers, procMode);
    return ErrorCode;
}

void TBFInterpreterBase::SwitchLists(bool toSingle) {
    // Procedure entries and return addresses are indices into the active list and move with it.
    // After the call depth has wrapped, old entries above it can be read again, so all move.
    const uint32_t depth = CallDepthWrapped ? ProcSlots : CallDepth;
    const std::vector<TInstruction>& folded = Program.FoldedList;
    const uint32_t foldedCount = Program.FoldedCount;
    if (toSingle) {
        PC = folded[PC].Origin;
        if (ProcDefined) {
            for (uint32_t& e : std::span(ProcTable.get(), ProcSlots))
                if (e != 0 && e - 1 < foldedCount) e = folded[e - 1].Origin + 1;
        }
        for (uint32_t d = 0; d < depth; ++d)
            if (CallStack[d] < foldedCount) CallStack[d] = folded[CallStack[d]].Origin;
    } else {
        if (ProcDefined) {
            for (uint32_t& e : std::span(ProcTable.get(), ProcSlots)) {
                if (e == 0) continue;
                const int64_t f = Program.FoldedIndexOf(e - 1);
                if (f >= 0) e = static_cast<uint32_t>(f) + 1;
            }
        }
        for (uint32_t d = 0; d < depth; ++d) {
            const int64_t f = Program.FoldedIndexOf(CallStack[d]);
            if (f >= 0) CallStack[d] = static_cast<uint32_t>(f);
        }
        const uint32_t i = Program.FoldedRecordCovering(PC);
        const uint32_t k = PC - folded[i].Origin;
        // Commands of a folded record already stepped one by one are undone, because the
        // record is about to run whole.
        // The profile takes back the steps the record counts again: a run's commands undone; a
        // clear loop's [ (at k = 2 the record's [ stands for the ] about to run).
        if (Profiling && k > 0) {
            uint64_t* const steps = ProfileCounts.data() + 2 * foldedCount + folded[i].Origin;
            const bool clear = folded[i].Op == opClearDec || folded[i].Op == opClearInc;
            for (uint32_t j = 0; j < (clear ? 1 : k); ++j) --steps[j];
            if (clear && k == 2) ++steps[2];
        }
        switch (folded[i].Op) {
        case opRightN: DataPtr = (DataPtr - k) & (TapeSize - 1); break;
        case opLeftN: DataPtr = (DataPtr + k) & (TapeSize - 1); break;
        case opIncN: AddToCell(-static_cast<int64_t>(k)); break;
        case opDecN: AddToCell(static_cast<int64_t>(k)); break;
        case opClearDec:
        case opClearInc:
            // At k = 2 the step stands at the loop's ] right after its middle command ran:
            // the loop has cost 2 more than the k commands taken back below.
            if (k == 2) Executed.store(Executed.load() + 2);
            break;
        default: break;
        }
        Executed.store(Executed.load() - k);
        PC = i;
        ResumedRecord = k > 0 ? i : UINT32_MAX;
    }
    SingleMode = toSingle;
}

void TBFInterpreterBase::DefineProcedures() {
    const auto zeroed = [] {
        auto* p = static_cast<uint32_t*>(std::calloc(ProcSlots, sizeof(uint32_t)));
        if (p == nullptr) throw std::bad_alloc();
        return p;
    };
    ProcTable.reset(zeroed());
    CallStack.reset(zeroed());
    ProcDefined = true;
}

// ---------------------------------------------------------------------------------------------
// Run control

bool TBFInterpreterBase::StateStable() const {
    if (Finished.load(std::memory_order_acquire) || InHandOff) return true;
    std::lock_guard<std::mutex> lock(SuspendMutex);
    return !Started || (SuspendPending && !ResumeToken);
}

void TBFInterpreterBase::SetInputRetry(bool on) {
    std::lock_guard<std::mutex> lock(SuspendMutex);
    if (!on || (SuspendPending && !ResumeToken)) InputRetry.store(on);
    if (on && Recording && SuspendPending && !ResumeToken) {
        // A replay abandons the wait at the same count (the attempt counts as a command).
        TInputEntry retry;
        retry.Kind = TInputEntry::Retry;
        Log.push_back(std::move(retry));
        LogPos = Log.size();
    }
}

void TBFInterpreterBase::Locate(bool onEngineThread) {
    TargetLocated.store(true);
    if (Program.CommandCount == 0) return;  // the run is over
    const uint32_t target = Program.CommandFrom(Target.load());
    if (target == Program.CommandCount) {
        if (onEngineThread)
            Synchronize([this] { Host.ReportNoCommand(); });
        else
            Host.ReportNoCommand();
        RunToCursor.store(false);
        StepMode.store(false);
        return;
    }
    Target.store(target);
    FoldedTarget = Program.FoldedRecordCovering(target);
    ResumePointA = -1;
    ResumePointB = -1;
    // The resume points are CommandList indices; in fast mode PC names a folded record.
    const std::vector<TInstruction>& folded = Program.FoldedList;
    const uint32_t pc = SingleMode ? PC : folded[PC].Origin;
    const TInstruction& r = Program.CommandList[pc];
    const uint32_t s = folded[FoldedTarget].Origin;
    if (r.Op == opLoopStart || r.Op == opLoopEnd) {
        if (r.Arg + 1 != s) ResumePointA = r.Arg + 1;
        if (pc + 1 != s) ResumePointB = pc + 1;
    } else {
        const uint32_t next = Program.FoldedRecordCovering(pc) + 1;
        if (next < Program.FoldedCount && next != FoldedTarget) ResumePointA = folded[next].Origin;
    }
    // Fast mode may only take over where a folded record begins: a bracket's successor inside
    // a clear loop is no place to leave single steps (the loop's other exit still is).
    for (int64_t* point : {&ResumePointA, &ResumePointB})
        if (*point >= 0 && Program.FoldedIndexOf(static_cast<uint32_t>(*point)) < 0) *point = -1;
}

TFastProgram& TBFInterpreterBase::PrepareFastForm(bool checkTarget, unsigned cellBits) {
    if (!Program.HasFastForm(cellBits)) {
        TFastProgram& built = Program.FastForm(cellBits, &Terminated);
        if (built.Cancelled) return built;
        FastStopsReady = false;
    }
    TFastProgram& fast = Program.FastForm(cellBits);
    // The run stops before the target's record and before every breakpointed command.
    const uint32_t stop = checkTarget ? FoldedTarget : UINT32_MAX;
    if (FastStopsReady && stop == FastFormStop) return fast;
    std::vector<uint32_t> stops = BreakRecords;
    if (checkTarget && !std::binary_search(stops.begin(), stops.end(), FoldedTarget))
        stops.insert(std::lower_bound(stops.begin(), stops.end(), FoldedTarget), FoldedTarget);
    SetFastStops(fast, Program.FoldedList, stops);
    FastStopsReady = true;
    FastFormStop = stop;
    return fast;
}

bool TBFInterpreterBase::StepToEntry(const TFastProgram& program, bool checkTarget, bool watched) {
    const uint32_t folded = Program.FoldedCount;
    for (bool first = true;; first = false) {
        // The first record's stops were asked before.
        if (!first) {
            if (program.EntryOf[PC] >= 0) return false;
            if (program.StopMark[PC] && StopHit(checkTarget)) return true;
        }
        const TInstruction& r = Program.FoldedList[PC];
        if (watched && WatchMayHit(r, DataPtr)) return true;
        if (Profiling) {
            ++ProfileCounts[PC];
            const uint32_t cell = CurrentCell();
            if (r.Op == opClearDec) ProfileCounts[folded + PC] += cell;
            else if (r.Op == opClearInc && cell != 0) ProfileCounts[folded + PC] += CellValues() - cell;
        }
        ExecuteInstruction(r);
        ++PC;
        Executed.store(Executed.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    }
}

void TBFInterpreterBase::FoldFastCounts(const TFastProgram& program) {
    AddPending();
    const size_t count = program.Ops.size();
    if (FastCounts.size() != 3 * count) {
        FastCounts.assign(3 * count, 0);
        return;
    }
    const uint64_t* const passes = FastCounts.data() + count;
    const uint64_t* const own = passes + count;
    for (size_t k = 0; k < count; ++k) {
        const uint64_t arrivals = FastCounts[k];
        if (own[k] != 0) ProfileCounts[program.ProfileOwn[k]] += own[k];
        if (arrivals == 0 && passes[k] == 0) continue;
        const uint32_t mid = program.ProfileMid[k];
        for (uint32_t j = program.ProfileFrom[k]; j < mid; ++j) ProfileCounts[program.ProfileTo[j]] += arrivals;
        for (uint32_t j = mid; j < program.ProfileFrom[k + 1]; ++j) ProfileCounts[program.ProfileTo[j]] += passes[k];
    }
    std::fill(FastCounts.begin(), FastCounts.end(), 0);
}

bool TBFInterpreterBase::FastTargetHit() const {
    if (PC != FoldedTarget || PC == ResumedRecord) return false;
    const TInstruction& r = Program.FoldedList[PC];
    // A clear loop whose middle command or ] is the target is a hit only if its body would run.
    return (r.Op != opClearDec && r.Op != opClearInc) || r.Origin == Target.load() ||
           CurrentCell() != 0;
}

bool TBFInterpreterBase::FastBreakHit() const {
    if (!BreakRecord[PC] || PC == ResumedRecord) return false;
    const TInstruction& r = Program.FoldedList[PC];
    // A breakpoint in a clear loop's body is met only when the body would run.
    return (r.Op != opClearDec && r.Op != opClearInc) || BreakAt[r.Origin] || CurrentCell() != 0;
}

bool TBFInterpreterBase::BreakDue() const {
    if (BreakList.empty()) return false;
    if (!SingleMode) return FastBreakHit();
    const uint32_t i = Program.FoldedRecordCovering(PC);
    if (!BreakRecord[i]) return false;
    const std::vector<TInstruction>& folded = Program.FoldedList;
    const TInstruction& r = folded[i];
    const uint32_t end = i + 1 < Program.FoldedCount ? folded[i + 1].Origin : Program.CommandCount;
    // Inside a clear loop its body comes round again until the loop ends.
    const bool clear = r.Op == opClearDec || r.Op == opClearInc;
    for (uint32_t c = clear && PC > r.Origin ? r.Origin + 1 : PC; c < end; ++c)
        if (BreakAt[c]) return true;
    return false;
}

void TBFInterpreterBase::TakeBreakpoints() {
    {
        std::lock_guard<std::mutex> lock(BreakMutex);
        BreakTable = BreakDefs;
        BreaksChanged.store(false);
    }
    BreakHits.resize(BreakTable.size());
    BreakCommands.clear();
    std::vector<uint32_t> offsets;
    for (uint32_t i = 0; i < BreakTable.size(); ++i) {
        if (!BreakTable[i].Enabled) continue;
        if (const int64_t c = Program.CommandAt(BreakTable[i].Offset); c >= 0) {
            BreakCommands.emplace_back(static_cast<uint32_t>(c), i);
            offsets.push_back(BreakTable[i].Offset);
        }
    }
    std::sort(BreakCommands.begin(), BreakCommands.end());
    HitCountedAt = UINT64_MAX;
    InstallStops(offsets);
}

bool TBFInterpreterBase::BreakStops() {
    const uint64_t executed = Executed.load(std::memory_order_relaxed);
    if (HitCountedAt == executed) return HitStops;
    HitCountedAt = executed;
    HitStops = false;
    const uint32_t cell = CurrentCell();
    const auto first = std::lower_bound(BreakCommands.begin(), BreakCommands.end(), std::pair<uint32_t, uint32_t>(PC, 0));
    for (auto b = first; b != BreakCommands.end() && b->first == PC; ++b) {
        const TBreakpoint& breakpoint = BreakTable[b->second];
        if (!ConditionHolds(breakpoint.Condition, breakpoint.Value, cell)) continue;
        const uint64_t hits = ++BreakHits[b->second];
        if (!HitStops && (breakpoint.HitCount == 0 || hits == breakpoint.HitCount)) {
            HitStops = true;
            PauseInfo = {TPauseReason::Breakpoint, b->second, 0};
        }
    }
    return HitStops;
}

void TBFInterpreterBase::InstallStops(const std::vector<uint32_t>& offsets) {
    const std::vector<TInstruction>& folded = Program.FoldedList;
    const uint32_t foldedCount = Program.FoldedCount;
    BreakAt.assign(Program.CommandCount, 0);
    BreakRecord.assign(foldedCount, 0);
    BreakList.clear();
    FastStopsReady = false;  // its stops include the breakpoints
    for (const uint32_t offset : offsets)
        if (const int64_t c = Program.CommandAt(offset); c >= 0) BreakAt[static_cast<size_t>(c)] = 1;
    BreakRecords = Program.StopRecords(offsets);
    for (const uint32_t i : BreakRecords) BreakRecord[i] = 1;
    if (BreakRecords.empty()) return;
    BreakList.assign(folded.begin(), folded.begin() + foldedCount);
    for (const uint32_t i : BreakRecords) {
        const TInstruction& r = folded[i];
        const bool clear = r.Op == opClearDec || r.Op == opClearInc;
        BreakList[i].Op = clear && !BreakAt[r.Origin] ? opBreakInClear : opBreakHere;
    }
}

void TBFInterpreterBase::PauseSequence() {
    StepGoal = TPauseReason::None;
    DebugRequested.store(false);
    StepMode.store(true);
    RunToCursor.store(false);
    Follow.store(true);
    PrepareSuspend();
    MainFlags.Paused.store(true);
    Synchronize([this] {
        Host.PresentPaused();
        PaintMemory();
        Host.ShowCurrentCommand(Program.CommandList[PC].Origin);
        Host.StatusPaused();
        Host.UpdateStatus();
        FlushDisplay();
    });
    Suspend();  // returns at once when a terminate request is pending
    MainFlags.Paused.store(false);
    Synchronize([this] { Host.StatusRunning(); });
}

// ---------------------------------------------------------------------------------------------
// Output and input paths

void TBFInterpreterBase::FlushDisplay() {
    if (DisplayFill == 0) return;
    const std::string_view text(reinterpret_cast<const char*>(DisplayBuffer.data()), DisplayFill);
    uint32_t line = OutputLine.load();
    size_t start = 0;
    for (;;) {
        const size_t lf = text.find('\n', start);
        const std::string_view piece = text.substr(start, lf == std::string_view::npos ? std::string_view::npos : lf - start);
        if ((!piece.empty() || lf == std::string_view::npos) && !Host.AppendToOutputLine(line, piece)) break;
        if (lf == std::string_view::npos) {
            OutputLine.store(line);
            DisplayFill = 0;
            return;
        }
        if (!Host.AppendOutputLine()) break;
        ++line;
        OutputLine.store(line);
        start = lf + 1;
    }
    OutputLine.store(line);
    ErrorCode = errOutputWindow;  // the buffer stays filled
}

void TBFInterpreterBase::FlushOutputFile() {
    if (FileFill > 0 && (!OutputFile || !OutputFile->Write(FileBuffer.get(), FileFill)))
        ErrorCode = errOutputFileWrite;
    FileFill = 0;
}

bool TBFInterpreterBase::RefillInput() {
    if (LogPos < Log.size() && Log[LogPos].Kind == TInputEntry::FileBlock) {
        if (!LoadBlock(Log[LogPos])) return false;
        ApplyInput(Log[LogPos], static_cast<int64_t>(LogPos));
        ++LogPos;
        return true;
    }
    // A recording run reads where its history stands (a discarded future may have read further).
    const long n = !InputFile ? -1
                   : InputAtOffsets ? InputFile->ReadAt(InputFileRead, InputData.get(), IOBlockSize)
                                    : InputFile->Read(InputData.get(), IOBlockSize);
    if (n < 0) return false;
    InputSize = static_cast<uint32_t>(n);
    if (n == 0) InputFileOpen = false;
    InputPos = 0;
    if (Recording) {
        TInputEntry block;
        block.Kind = TInputEntry::FileBlock;
        // A file read at offsets is read again there by a replay; other input is kept.
        if (InputAtOffsets) block.Offset = InputFileRead;
        else block.Bytes.assign(reinterpret_cast<const char*>(InputData.get()), InputSize);
        block.Value = InputSize;
        Log.push_back(std::move(block));
        LogPos = Log.size();
        InputBlock = static_cast<int64_t>(Log.size()) - 1;
    }
    InputFileRead += InputSize;
    return true;
}

bool TBFInterpreterBase::LoadBlock(const TInputEntry& entry) {
    if (entry.Offset == UINT64_MAX) {
        std::memcpy(InputData.get(), entry.Bytes.data(), std::min<size_t>(entry.Bytes.size(), IOBlockSize));
        return true;
    }
    return entry.Value == 0 ||
           (InputFile && InputFile->ReadAt(entry.Offset, InputData.get(), entry.Value) == static_cast<long>(entry.Value));
}

// ---------------------------------------------------------------------------------------------
// The run

bool TBFInterpreterBase::ErrorExit() {
    const TError code = ErrorCode;
    // An illegal call stands at PC in the active list; a structure error has its place.
    if (code == errIllegalCall)
        ErrorPlace = Program.CommandList[SingleMode ? PC : Program.FoldedList[PC].Origin].Origin;
    else
        ErrorPlace = Program.Error != errNone ? static_cast<int64_t>(Program.ErrorOrigin) : -1;
    Synchronize([this, code] {
        AnalysisFinished.store(true);
        Host.EndAnalysis();
        Host.ShowError(code);
    });
    if (code != errIllegalCall) return false;
    // An illegal call pauses at the faulty ':'; it runs again when continued.
    PendingPause = {TPauseReason::Error, 0, 0};
    StepMode.store(true);
    RunToCursor.store(false);
    ErrorCode = errNone;
    return true;
}

void TBFInterpreterBase::Execute() {
    TakeRunOptions();
    if (AnalyzeProgram()) {
        ResetMachine();
        if (OpenFiles()) {
            Synchronize([this] {
                Host.SetStatusTimer(true);
                AnalysisFinished.store(true);
                Host.EndAnalysis();
            });
            RunLoop();
        }
    }
    RunEnd();
}

// Takes over the main window's options and shows the run as started.
void TBFInterpreterBase::TakeRunOptions() {
    AnalysisFinished.store(false);
    Synchronize([this] {
        Host.EnableWaitTimer();
        Options = Host.ReadRunOptions();
    });
    Watch.store(Options.Watch);
    MainFlags.Running.store(true);
    Synchronize([this] {
        Host.PresentRunning(StepMode.load());
        Host.PrepareWindows();
    });
}

// False when there is nothing to run: no command, or a structure error (shown).
bool TBFInterpreterBase::AnalyzeProgram() {
    Analyze(Options.Text, Options.CommentMarkers, Options.ProcMode);
    Options.Text = std::string();
    if (Program.CommandCount == 0) return false;
    if (ErrorCode == errNone) {
        TakeBreakpoints();
        TakeWatchpoints();
        if (Profiling) ProfileCounts.assign(2ull * Program.FoldedCount + Program.CommandCount, 0);
        PlainMargin = 1;
        for (uint32_t i = 0; i < Program.FoldedCount; ++i) {
            const TInstruction& r = Program.FoldedList[i];
            switch (r.Op) {
            case opRightN:
            case opLeftN:
            case opIncN:
            case opDecN: PlainMargin = std::max<uint64_t>(PlainMargin, r.Arg); break;
            case opClearDec:
            case opClearInc: PlainMargin = std::max<uint64_t>(PlainMargin, 2ull * CellValues() + 1); break;
            default: break;
            }
        }
        return true;
    }
    ErrorExit();
    return false;
}

void TBFInterpreterBase::ResetMachine() {
    PC = 0;
    DataPtr = 0;
    if (!TapeFresh) ClearTape();
    TapeFresh = false;
    CallDepth = 0;
    Executed.store(0);
    NativeSeen = UINT64_MAX;
    NativeFrom.store(UINT64_MAX, std::memory_order_relaxed);
    FoldedTarget = 0;
    ResumePointA = -1;
    ResumePointB = -1;
    LastOut = 0;
    OutputVisible.store(Options.OutputVisible);
    DisplayFill = 0;
    DisplayLimit = std::clamp<uint32_t>(Options.OutputBufferSize, 1, MaxDisplayBuffer);
    InputSize = 0;
    InputPos = 0;
    FileFill = 0;
    FileFlushFill = Options.OutputFileByLine ? 1 : IOBlockSize;
    SingleMode = false;
    Checkpoints.clear();
    Log.clear();
    EditEntries.clear();
    LogPos = 0;
    InputBlock = -1;
    InputFileRead = 0;
    Shown = ShownLines = FileTotal = FileHigh = Furthest = NextCheckpointAt = 0;
}

// Opens the input and output files the options name; false after showing the error.
bool TBFInterpreterBase::OpenFiles() {
    InputFileOpen = !Options.InputFileName.empty();
    OutputFileOpen = !Options.OutputFileName.empty();
    if (InputFileOpen) {
        InputFile = Host.OpenInputFile(Options.InputFileName);
        if (!InputFile) ErrorCode = errInputFileRead;
        // The history keeps the offsets of the blocks of a file that can be read at offsets,
        // not their bytes, so that its size does not grow with the input file's.
        uint8_t none = 0;
        InputAtOffsets = InputFile && Recording && InputFile->ReadAt(0, &none, 0) == 0;
    }
    if (ErrorCode == errNone && OutputFileOpen) {
        OutputFile = Host.CreateOutputFile(Options.OutputFileName);
        if (!OutputFile) ErrorCode = errOutputFileWrite;
    }
    if (ErrorCode == errNone) return true;
    ErrorExit();
    return false;
}

// The execution loop. A pass first ends the run when the budget is spent, then serves the
// switches the GUI thread may have set (input file, list switch, watch display, pause, run to
// cursor, breakpoints, terminate), then runs one single step on CommandList, or runs fast on
// FoldedList until a switch needs attention or the budget is reached. A pause comes before the
// pass's step, so continuing runs the command paused at without stopping there again.
void TBFInterpreterBase::RunLoop() {
    BaseLine = OutputLine.load();
    // The run's own time paces the history's checkpoints; a run without one never reads the clock.
    if (Recording) RunStart = std::chrono::steady_clock::now();
    Waited = {};
    Spacing = 1ull << 20;
    for (;;) {
        AttentionAt.store(Budget);
        if (Executed.load(std::memory_order_relaxed) >= Budget) {
            BudgetReached = true;
            break;
        }
        ApplyDueEdits();
        const uint64_t executed = Executed.load(std::memory_order_relaxed);
        if (StopAt <= executed) {
            const bool met = StopAt == executed;
            StopAt = UINT64_MAX;
            if (met && InCaller) {
                StopMet = true;
                break;
            }
            if (met) {
                PendingPause = {TPauseReason::Stop, 0, 0};
                StepMode.store(true);
                RunToCursor.store(false);
            }
        }
        if (Recording) {
            Furthest = std::max(Furthest, executed);
            if (executed >= NextCheckpointAt && (!SingleMode || Program.FoldedIndexOf(PC) >= 0)) AddCheckpoint();
            LowerAttention(NextCheckpointAt);
        }
        if (OutputFlushDue.load(std::memory_order_relaxed) && OutputFlushDue.exchange(false) && OutputFileOpen) {
            FlushOutputFile();
            if (ErrorCode != errNone) {
                if (ErrorExit()) continue;
                break;
            }
        }
        if (BreaksChanged.load()) TakeBreakpoints();
        if (WatchesChanged.load()) TakeWatchpoints();
        const bool step = StepMode.load();
        const bool watch = Watch.load();
        // Single steps on CommandList; they also lead into a folded record to its breakpoint,
        // up to an exact stop, and through a record that may meet a watchpoint.
        const bool full = step || watch || BreakDue() || NearStop() || WatchpointDue();

        if (RefillDue()) {
            if (!RefillInput()) {
                ErrorCode = errInputFileRead;
                if (ErrorExit()) continue;
                break;
            }
            ApplyDueEdits();  // a cell changed in the pause that came after the block was read
        }
        if (full != SingleMode) SwitchLists(full);
        if (watch) ShowWatchedStep();
        if (step) {
            PauseWhereDue();
        } else if (RunToCursor.load() && ReachedTarget(full)) {
            continue;
        } else if (full && BreakHere() && BreakStops()) {
            PauseSequence();
        }
        if (Terminated.load()) break;
        if (BackRequest.load() != 0) {
            BackMove();
            continue;
        }

        // Watchpoints given in the pause apply to the command it paused at.
        if (WatchesChanged.load()) TakeWatchpoints();
        TLoopExit exit;
        if (full && Watching()) {
            const uint32_t dp = DataPtr;
            const uint32_t old = CurrentCell();
            exit = StepOnce(watch);
            if (exit != TLoopExit::Error) WatchAfterStep(dp, old);
        } else if (full) {
            exit = StepOnce(watch);
        } else {
            ResumedRecord = UINT32_MAX;  // only the arrival of this step was not a new one
            exit = RunFastExact(RunToCursor.load());
        }
        if (exit == TLoopExit::End) break;
        if (exit == TLoopExit::Error && !ErrorExit()) break;
    }
}

// Watch mode: the memory image and the mark of the command about to run, then the delay.
void TBFInterpreterBase::ShowWatchedStep() {
    Follow.store(true);
    uint32_t delay = 0;
    Synchronize([this, &delay] {
        if (Host.MemoryVisible()) PaintMemory();
        Host.ShowCurrentCommand(Program.CommandList[PC].Origin);
        delay = Host.WatchDelay();
    });
    if (delay > 0) {
        // The step's own work counts toward the delay, and a step that came late (a busy
        // machine) is made up by the next ones. After a pause, an input wait or a longer delay
        // the count starts afresh rather than hurrying through the steps it missed.
        const auto now = std::chrono::steady_clock::now();
        const auto period = std::chrono::milliseconds(delay);
        const auto slack = std::min<std::chrono::steady_clock::duration>(period * 4, std::chrono::milliseconds(100));
        if (WatchDue + slack < now || WatchDue > now + period) WatchDue = now;
        WatchDue += period;
        std::this_thread::sleep_until(WatchDue);
    }
}

// Step mode: pauses before every command, or, while running to the cursor, at the target and at
// breakpoints only. A resume point is where single steps toward the target may hand over to
// fast mode.
void TBFInterpreterBase::PauseWhereDue() {
    StepEntered = true;
    if (RunToCursor.load() && (PC == ResumePointA || PC == ResumePointB)) StepMode.store(false);
    // The hits count in step mode too; a breakpoint's pause sets PauseInfo.
    const bool breakpoint = BreakHere() && BreakStops();
    if (breakpoint || !RunToCursor.load()) {
        // A watchpoint met by the step before names the pause.
        if (PendingPause.Reason != TPauseReason::Step) PauseInfo = PendingPause;
        else if (!breakpoint) PauseInfo = {DebugRequested.load() ? TPauseReason::Debug : TPauseReason::Step, 0, 0};
        PendingPause = {TPauseReason::Step, 0, 0};
        PauseSequence();
    } else if (PC == Target.load() && StepGoalMet()) {
        PauseInfo = {StepGoal != TPauseReason::None ? StepGoal : TPauseReason::Target, 0, 0};
        PauseSequence();
    }
}

// Run to cursor outside step mode: locates the target on the first pass, and on arriving at it
// switches to single steps, which pause at the target itself. True on arrival.
bool TBFInterpreterBase::ReachedTarget(bool full) {
    if (!TargetLocated.load()) Locate(true);
    if (!RunToCursor.load()) return false;  // the target has no command
    const bool hit = full ? PC == Target.load() : FastTargetHit();
    if (!hit || !StepGoalMet()) return false;
    // From here single steps lead to the target; nothing may end them early.
    ResumePointA = -1;
    ResumePointB = -1;
    StepMode.store(true);
    return true;
}

// Runs the command at PC of CommandList and advances PC and the executed count.
TBFInterpreterBase::TLoopExit TBFInterpreterBase::StepOnce(bool watch) {
    const uint32_t at = PC;
    ExecuteInstruction(Program.CommandList[at]);
    // A watched step shows all output so far, whatever the buffer's fill: the user watching
    // sees each character as it is printed. (A pause does it in its sequence.)
    if (watch && ErrorCode == errNone && DisplayFill > 0) Synchronize([this] { FlushDisplay(); });
    if (ErrorCode != errNone) return TLoopExit::Error;
    if (Profiling) ++ProfileCounts[2ull * Program.FoldedCount + at];
    ++PC;
    Executed.store(Executed.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    return PC >= Program.CommandCount ? TLoopExit::End : TLoopExit::Attention;
}

void TBFInterpreterBase::RunEnd() {
    Synchronize([this] {
        AnalysisFinished.store(true);
        Host.EndAnalysis();
    });
    FinalCounts = CommandCountsNow();
    Program = TProgram();
    ProfileCounts = std::vector<uint64_t>();
    Checkpoints = std::vector<TMachineState>();
    Log = std::vector<TInputEntry>();
    EditEntries = std::vector<size_t>();
    Guard = TMachineState();
    BreakAt = std::vector<uint8_t>();
    BreakRecord = std::vector<uint8_t>();
    BreakList = std::vector<TInstruction>();
    BreakRecords = std::vector<uint32_t>();
    Synchronize([this] { Host.SetStatusTimer(false); });
    if (!Options.InputFileName.empty() && InputFile) {
        InputFile->Close();
        InputFile.reset();
    }
    if (OutputFileOpen) {
        if (FileFill > 0) {
            const TError before = ErrorCode;
            ErrorCode = errNone;
            FlushOutputFile();
            ErrorPlace = -1;
            if (ErrorCode != errNone) Synchronize([this] { Host.ShowError(errOutputFileWrite); });
            else ErrorCode = before;
        }
        if (OutputFile) {
            OutputFile->Close();
            OutputFile.reset();
        }
    }
    Synchronize([this] { FlushDisplay(); });
    MainFlags.Running.store(false);
    MainFlags.Paused.store(false);
    Synchronize([this] {
        Host.DisableInput();
        Host.PresentReady(StepEntered || Watch.load());
    });
}

}  // namespace cel
