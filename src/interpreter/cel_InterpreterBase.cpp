#include "cel_InterpreterBase.h"

#include "cel_Lexer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <span>

namespace cel {

namespace {

class TStdioFile final : public TByteFile {
public:
    explicit TStdioFile(std::FILE* f) : File(f) {}
    ~TStdioFile() override { Close(); }
    long Read(uint8_t* buffer, size_t size) override {
        size_t n = std::fread(buffer, 1, size, File);
        if (n < size && std::ferror(File)) return -1;
        return static_cast<long>(n);
    }
    bool Write(const uint8_t* data, size_t size) override {
        return std::fwrite(data, 1, size, File) == size;
    }
    bool Close() override {
        if (!File) return true;
        bool ok = std::fclose(File) == 0;
        File = nullptr;
        return ok;
    }

private:
    std::FILE* File;
};

}  // namespace

std::unique_ptr<TByteFile> OpenByteFileForReading(const std::string& name) {
    std::FILE* f = std::fopen(name.c_str(), "rb");
    if (!f) return nullptr;
    return std::make_unique<TStdioFile>(f);
}

std::unique_ptr<TByteFile> CreateByteFile(const std::string& name) {
    std::FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) return nullptr;
    return std::make_unique<TStdioFile>(f);
}

const char* ErrorMessage(int code) {
    switch (code) {
#define CEL_ERROR_MESSAGE(id, code, message) \
    case err##id: return message;
        CEL_ERRORS(CEL_ERROR_MESSAGE)
#undef CEL_ERROR_MESSAGE
    default: return "";
    }
}

std::string ErrorText(int code) {
    return "Error " + std::to_string(code) + ": " + ErrorMessage(code);
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
    SuspendCv.wait(lock, [this] { return ResumeToken || Terminated.load(); });
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
    {
        std::lock_guard<std::mutex> lock(BreakMutex);
        BreakOffsets = std::move(offsets);
    }
    BreaksChanged.store(true);
    AttentionAt.store(0);
}

void TBFInterpreterBase::ThreadBody() {
    Execute();
    Finished.store(true, std::memory_order_release);
}

// ---------------------------------------------------------------------------------------------
// Analysis

void TBFInterpreterBase::AnalyzeText(std::string_view text, bool commentMarkers, bool procMode) {
    const std::array<TOpCode, 256>& codes = procMode ? CharTable.ProcCode : CharTable.Code;
    CommandList.clear();
    FoldedList.clear();
    FastFormReady = false;
    CommandCount = 0;
    FoldedCount = 0;
    FoldedBound = 0;
    ProcMode = procMode;

    size_t total = 0;
    for (unsigned char ch : text) total += codes[ch] != opNone;
    if (total == 0) return;
    CommandList.resize(total);

    TOpCode previous = opNone;
    ForEachCommand(text, TLexRules{commentMarkers, procMode, false}, [&](size_t offset, TOpCode code) {
        CommandList[CommandCount++] = TInstruction{static_cast<uint32_t>(offset), 0, code};
        // A command that continues a run adds no record to FoldedList.
        if (code != previous || Operation(code).Run == opNone) ++FoldedBound;
        previous = code;
    });

    FoldedList.resize(FoldedBound);
    uint32_t i = 0;
    uint32_t j = 0;
    while (i < CommandCount) {
        TInstruction rec = CommandList[i];
        rec.Origin = i;
        if (const TOpCode run = Operation(rec.Op).Run; run != opNone) {
            const uint32_t n = CountRun(i, rec.Op);
            if (n > 1) {
                rec.Arg = n;
                rec.Op = run;
                i += n - 1;
            }
        } else if (rec.Op == opLoopStart && i + 2 < CommandCount &&
                   CommandList[i + 2].Op == opLoopEnd) {
            if (CommandList[i + 1].Op == opDec) {
                rec.Op = opClearDec;
                i += 2;
            } else if (CommandList[i + 1].Op == opInc) {
                rec.Op = opClearInc;
                i += 2;
            }
        }
        FoldedList[j] = rec;
        ++i;
        ++j;
    }
    FoldedCount = j;
}

uint32_t TBFInterpreterBase::CountRun(uint32_t start, TOpCode code) const {
    uint32_t i = start;
    while (i < CommandCount && CommandList[i].Op == code) ++i;
    return i - start;
}

void TBFInterpreterBase::MatchBrackets(std::vector<TInstruction>& list, uint32_t count) {
    const TBracketFault fault = PairBrackets(
        count, [&](uint32_t i) { return list[i].Op; },
        [&](uint32_t open, uint32_t close) {
            list[open].Arg = close;
            list[close].Arg = open;
        },
        true);
    switch (fault) {
    case TBracketFault::None: break;
    case TBracketFault::UnclosedBracket: ErrorCode = errClosingBracketExpected; break;
    case TBracketFault::UnopenedBracket: ErrorCode = errOpeningBracketExpected; break;
    case TBracketFault::UnclosedParenthesis: ErrorCode = errRightParenthesisExpected; break;
    case TBracketFault::UnopenedParenthesis: ErrorCode = errLeftParenthesisExpected; break;
    case TBracketFault::Crossed: ErrorCode = errIntersectingBrackets; break;
    }
}

int TBFInterpreterBase::Analyze(std::string_view text, bool commentMarkers, bool procMode) {
    AnalyzeText(text, commentMarkers, procMode);
    ErrorCode = errNone;
    if (CommandCount == 0) return errNone;
    MatchBrackets(CommandList, CommandCount);
    if (ErrorCode == errNone) MatchBrackets(FoldedList, FoldedCount);
    return ErrorCode;
}

// ---------------------------------------------------------------------------------------------
// Index conversions between the two lists

int64_t TBFInterpreterBase::FoldedIndexOf(uint32_t commandIndex) const {
    auto end = FoldedList.begin() + FoldedCount;
    auto it = std::lower_bound(FoldedList.begin(), end, commandIndex,
                               [](const TInstruction& r, uint32_t v) { return r.Origin < v; });
    if (it == end || it->Origin != commandIndex) return -1;
    return it - FoldedList.begin();
}

uint32_t TBFInterpreterBase::FoldedRecordCovering(uint32_t commandIndex) const {
    auto end = FoldedList.begin() + FoldedCount;
    auto it = std::upper_bound(FoldedList.begin(), end, commandIndex,
                               [](uint32_t v, const TInstruction& r) { return v < r.Origin; });
    return static_cast<uint32_t>((it - FoldedList.begin()) - 1);  // record 0 has Origin 0
}

void TBFInterpreterBase::SwitchLists(bool toSingle) {
    // Procedure entries and return addresses are indices into the active list and move with it.
    // After the call depth has wrapped, old entries above it can be read again, so all move.
    const uint32_t depth = CallDepthWrapped ? 65536u : CallDepth;
    if (toSingle) {
        PC = FoldedList[PC].Origin;
        if (ProcDefined) {
            for (uint32_t& e : std::span(ProcTable.get(), 65536))
                if (e != 0 && e - 1 < FoldedCount) e = FoldedList[e - 1].Origin + 1;
        }
        for (uint32_t d = 0; d < depth; ++d)
            if (CallStack[d] < FoldedCount) CallStack[d] = FoldedList[CallStack[d]].Origin;
    } else {
        if (ProcDefined) {
            for (uint32_t& e : std::span(ProcTable.get(), 65536)) {
                if (e == 0) continue;
                const int64_t f = FoldedIndexOf(e - 1);
                if (f >= 0) e = static_cast<uint32_t>(f) + 1;
            }
        }
        for (uint32_t d = 0; d < depth; ++d) {
            const int64_t f = FoldedIndexOf(CallStack[d]);
            if (f >= 0) CallStack[d] = static_cast<uint32_t>(f);
        }
        const uint32_t i = FoldedRecordCovering(PC);
        const uint32_t k = PC - FoldedList[i].Origin;
        // Commands of a folded record already stepped one by one are undone, because the
        // record is about to run whole.
        switch (FoldedList[i].Op) {
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
        auto* p = static_cast<uint32_t*>(std::calloc(65536, sizeof(uint32_t)));
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
}

void TBFInterpreterBase::Locate(bool onEngineThread) {
    TargetLocated.store(true);
    if (CommandCount == 0) return;  // the run is over
    const uint32_t offset = Target.load();
    auto cmdEnd = CommandList.begin() + CommandCount;
    auto it = std::lower_bound(CommandList.begin(), cmdEnd, offset,
                               [](const TInstruction& r, uint32_t v) { return r.Origin < v; });
    if (it == cmdEnd) {
        if (onEngineThread)
            Synchronize([this] { Host.ReportNoCommand(); });
        else
            Host.ReportNoCommand();
        RunToCursor.store(false);
        StepMode.store(false);
        return;
    }
    const uint32_t target = static_cast<uint32_t>(it - CommandList.begin());
    Target.store(target);
    FoldedTarget = FoldedRecordCovering(target);
    ResumePointA = -1;
    ResumePointB = -1;
    // The resume points are CommandList indices; in fast mode PC names a folded record.
    const uint32_t pc = SingleMode ? PC : FoldedList[PC].Origin;
    const TInstruction& r = CommandList[pc];
    const uint32_t s = FoldedList[FoldedTarget].Origin;
    if (r.Op == opLoopStart || r.Op == opLoopEnd) {
        if (r.Arg + 1 != s) ResumePointA = r.Arg + 1;
        if (pc + 1 != s) ResumePointB = pc + 1;
    } else {
        auto foldEnd = FoldedList.begin() + FoldedCount;
        auto next = std::upper_bound(FoldedList.begin(), foldEnd, pc,
                                     [](uint32_t v, const TInstruction& rec) { return v < rec.Origin; });
        if (next != foldEnd && static_cast<uint32_t>(next - FoldedList.begin()) != FoldedTarget)
            ResumePointA = next->Origin;
    }
    // Fast mode may only take over where a folded record begins: a bracket's successor inside
    // a clear loop is no place to leave single steps (the loop's other exit still is).
    for (int64_t* point : {&ResumePointA, &ResumePointB})
        if (*point >= 0 && FoldedIndexOf(static_cast<uint32_t>(*point)) < 0) *point = -1;
}

TFastProgram& TBFInterpreterBase::PrepareFastForm(bool checkTarget, unsigned cellBits) {
    if (!FastFormReady) {
        FastForm = BuildFastProgram(FoldedList, FoldedCount, CommandList, {}, cellBits, &Terminated);
        if (FastForm.Cancelled) return FastForm;
        FastFormReady = true;
        FastStopsReady = false;
    }
    // The run stops before the target's record and before every breakpointed command.
    const uint32_t stop = checkTarget ? FoldedTarget : UINT32_MAX;
    if (FastStopsReady && stop == FastFormStop) return FastForm;
    std::vector<uint32_t> stops = BreakRecords;
    if (checkTarget && !std::binary_search(stops.begin(), stops.end(), FoldedTarget))
        stops.insert(std::lower_bound(stops.begin(), stops.end(), FoldedTarget), FoldedTarget);
    SetFastStops(FastForm, FoldedList, stops);
    FastStopsReady = true;
    FastFormStop = stop;
    return FastForm;
}

bool TBFInterpreterBase::StepToEntry(const TFastProgram& program, bool checkTarget) {
    do {
        ExecuteInstruction(FoldedList[PC]);
        ++PC;
        Executed.store(Executed.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        if (program.EntryOf[PC] >= 0) return false;
    } while (!program.StopMark[PC] || !StopHit(checkTarget));
    return true;
}

bool TBFInterpreterBase::FastTargetHit() const {
    if (PC != FoldedTarget || PC == ResumedRecord) return false;
    const TInstruction& r = FoldedList[PC];
    // A clear loop whose middle command or ] is the target is a hit only if its body would run.
    return (r.Op != opClearDec && r.Op != opClearInc) || r.Origin == Target.load() ||
           CurrentCell() != 0;
}

bool TBFInterpreterBase::FastBreakHit() const {
    if (!BreakRecord[PC] || PC == ResumedRecord) return false;
    const TInstruction& r = FoldedList[PC];
    // A breakpoint in a clear loop's body is met only when the body would run.
    return (r.Op != opClearDec && r.Op != opClearInc) || BreakAt[r.Origin] || CurrentCell() != 0;
}

bool TBFInterpreterBase::BreakDue() const {
    if (BreakList.empty()) return false;
    if (!SingleMode) return FastBreakHit();
    const uint32_t i = FoldedRecordCovering(PC);
    if (!BreakRecord[i]) return false;
    const TInstruction& r = FoldedList[i];
    const uint32_t end = i + 1 < FoldedCount ? FoldedList[i + 1].Origin : CommandCount;
    // Inside a clear loop its body comes round again until the loop ends.
    const bool clear = r.Op == opClearDec || r.Op == opClearInc;
    for (uint32_t c = clear && PC > r.Origin ? r.Origin + 1 : PC; c < end; ++c)
        if (BreakAt[c]) return true;
    return false;
}

void TBFInterpreterBase::TakeBreakpoints() {
    std::vector<uint32_t> offsets;
    {
        std::lock_guard<std::mutex> lock(BreakMutex);
        offsets = BreakOffsets;
        BreaksChanged.store(false);
    }
    BreakAt.assign(CommandCount, 0);
    BreakRecord.assign(FoldedCount, 0);
    BreakList.clear();
    BreakRecords.clear();
    FastStopsReady = false;  // its stops include the breakpoints
    auto cmdEnd = CommandList.begin() + CommandCount;
    for (const uint32_t offset : offsets) {
        auto it = std::lower_bound(CommandList.begin(), cmdEnd, offset,
                                   [](const TInstruction& r, uint32_t v) { return r.Origin < v; });
        if (it == cmdEnd || it->Origin != offset) continue;
        const uint32_t c = static_cast<uint32_t>(it - CommandList.begin());
        BreakAt[c] = 1;
        BreakRecord[FoldedRecordCovering(c)] = 1;
    }
    for (uint32_t i = 0; i < FoldedCount; ++i)
        if (BreakRecord[i]) BreakRecords.push_back(i);
    if (std::find(BreakRecord.begin(), BreakRecord.end(), 1) == BreakRecord.end()) return;
    BreakList.assign(FoldedList.begin(), FoldedList.begin() + FoldedCount);
    for (uint32_t i = 0; i < FoldedCount; ++i) {
        if (!BreakRecord[i]) continue;
        const TInstruction& r = FoldedList[i];
        const bool clear = r.Op == opClearDec || r.Op == opClearInc;
        BreakList[i].Op = clear && !BreakAt[r.Origin] ? opBreakInClear : opBreakHere;
    }
}

void TBFInterpreterBase::PauseSequence() {
    StepMode.store(true);
    RunToCursor.store(false);
    Follow.store(true);
    PrepareSuspend();
    MainFlags.Paused.store(true);
    Synchronize([this] {
        Host.PresentPaused();
        PaintMemory();
        Host.ShowCurrentCommand(CommandList[PC].Origin);
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
    const long n = InputFile ? InputFile->Read(InputData.get(), IOBlockSize) : -1;
    if (n < 0) return false;
    InputSize = static_cast<uint32_t>(n);
    if (n == 0) InputFileOpen = false;
    InputPos = 0;
    return true;
}

// ---------------------------------------------------------------------------------------------
// The run

bool TBFInterpreterBase::ErrorExit() {
    const TError code = ErrorCode;
    Synchronize([this, code] {
        AnalysisFinished.store(true);
        Host.EndAnalysis();
        Host.ShowError(code);
    });
    if (code != errIllegalCall) return false;
    // An illegal call pauses at the faulty ':'; it runs again when continued.
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
    if (CommandCount == 0) return false;
    if (ErrorCode == errNone) {
        TakeBreakpoints();
        return true;
    }
    ErrorExit();
    return false;
}

void TBFInterpreterBase::ResetMachine() {
    PC = 0;
    DataPtr = 0;
    ClearTape();
    CallDepth = 0;
    Executed.store(0);
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
}

// Opens the input and output files the options name; false after showing the error.
bool TBFInterpreterBase::OpenFiles() {
    InputFileOpen = !Options.InputFileName.empty();
    OutputFileOpen = !Options.OutputFileName.empty();
    if (InputFileOpen) {
        InputFile = Host.OpenInputFile(Options.InputFileName);
        if (!InputFile) ErrorCode = errInputFileRead;
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
    bool previousFull = false;
    for (;;) {
        AttentionAt.store(Budget);
        if (Executed.load(std::memory_order_relaxed) >= Budget) {
            BudgetReached = true;
            break;
        }
        if (OutputFlushDue.load(std::memory_order_relaxed) && OutputFlushDue.exchange(false) && OutputFileOpen) {
            FlushOutputFile();
            if (ErrorCode != errNone) {
                if (ErrorExit()) continue;
                break;
            }
        }
        if (BreaksChanged.load()) TakeBreakpoints();
        const bool step = StepMode.load();
        const bool watch = Watch.load();
        // Single steps on CommandList; they also lead into a folded record to its breakpoint.
        const bool full = step || watch || BreakDue();

        if (RefillDue() && !RefillInput()) {
            ErrorCode = errInputFileRead;
            if (ErrorExit()) continue;
            break;
        }
        if (full != previousFull) {
            SwitchLists(full);
            previousFull = full;
        }
        if (watch) ShowWatchedStep();
        if (step) {
            PauseWhereDue();
        } else if (RunToCursor.load() && ReachedTarget(full)) {
            continue;
        } else if (full && BreakHere()) {
            PauseSequence();
        }
        if (Terminated.load()) break;

        TLoopExit exit;
        if (full) {
            exit = StepOnce(watch);
        } else {
            ResumedRecord = UINT32_MAX;  // only the arrival of this step was not a new one
            exit = RunFast(RunToCursor.load());
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
        Host.ShowCurrentCommand(CommandList[PC].Origin);
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
    if (!RunToCursor.load() || PC == Target.load() || BreakHere()) PauseSequence();
}

// Run to cursor outside step mode: locates the target on the first pass, and on arriving at it
// switches to single steps, which pause at the target itself. True on arrival.
bool TBFInterpreterBase::ReachedTarget(bool full) {
    if (!TargetLocated.load()) Locate(true);
    if (!RunToCursor.load()) return false;  // the target has no command
    const bool hit = full ? PC == Target.load() : FastTargetHit();
    if (!hit) return false;
    // From here single steps lead to the target; nothing may end them early.
    ResumePointA = -1;
    ResumePointB = -1;
    StepMode.store(true);
    return true;
}

// Runs the command at PC of CommandList and advances PC and the executed count.
TBFInterpreterBase::TLoopExit TBFInterpreterBase::StepOnce(bool watch) {
    ExecuteInstruction(CommandList[PC]);
    // A watched step shows all output so far, whatever the buffer's fill: the user watching
    // sees each character as it is printed. (A pause does it in its sequence.)
    if (watch && ErrorCode == errNone && DisplayFill > 0) Synchronize([this] { FlushDisplay(); });
    if (ErrorCode != errNone) return TLoopExit::Error;
    ++PC;
    Executed.store(Executed.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    return PC >= CommandCount ? TLoopExit::End : TLoopExit::Attention;
}

void TBFInterpreterBase::RunEnd() {
    Synchronize([this] {
        AnalysisFinished.store(true);
        Host.EndAnalysis();
    });
    CommandList = std::vector<TInstruction>();
    FoldedList = std::vector<TInstruction>();
    FastForm = TFastProgram();
    FastFormReady = false;
    CommandCount = 0;
    FoldedCount = 0;
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
