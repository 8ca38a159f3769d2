// The execution loop and the memory image for one cell width. TBFInterpreter8 and
// TBFInterpreter16 are its two instances; the width is a template parameter, never a branch.
#pragma once

#include "cel_InterpreterBase.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <type_traits>

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#define CEL_TAPE_MAPPED 1
#if defined(__linux__) && defined(MFD_CLOEXEC)
#include <unistd.h>
#define CEL_TAPE_MIRRORED 1
#endif
#else
#define CEL_TAPE_MAPPED 0
#endif

namespace cel {

struct TNativeHelpers;

// One row of the memory window: " %.4X    %.2X    %.3d  %c " (8-bit) or
// " %.4X  %.4X  %.5d  %c " (16-bit); a character code below 32 shows as a space. Written digit
// by digit: a watched step formats every visible row.
inline std::string FormatMemoryLine(bool wide, uint32_t index, uint32_t value) {
    static constexpr char hex[] = "0123456789ABCDEF";
    const unsigned char code = static_cast<unsigned char>(value & 0xFF);
    char line[24];
    char* p = line;
    const auto hexDigits = [&p](uint32_t v, int digits) {
        for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) *p++ = hex[(v >> shift) & 0xF];
    };
    const auto decimalDigits = [&p](uint32_t v, int digits) {
        for (int i = digits - 1; i >= 0; --i, v /= 10) p[i] = static_cast<char>('0' + v % 10);
        p += digits;
    };
    *p++ = ' ';
    hexDigits(index & 0xFFFF, 4);
    if (wide) {
        value &= 0xFFFF;
        p = std::copy_n("  ", 2, p);
        hexDigits(value, 4);
        p = std::copy_n("  ", 2, p);
        decimalDigits(value, 5);
    } else {
        value &= 0xFF;
        p = std::copy_n("    ", 4, p);
        hexDigits(value, 2);
        p = std::copy_n("    ", 4, p);
        decimalDigits(value, 3);
    }
    p = std::copy_n("  ", 2, p);
    *p++ = code < 32 ? ' ' : static_cast<char>(code);
    *p++ = ' ';
    return std::string(line, p);
}

// What a clear loop costs beyond its '[' over a cell holding value (below the cell width): [-]
// (up false) two commands a unit down to 0, [+] two a unit up round the top to 0.
template <typename Cell>
constexpr uint64_t ClearCost(uint32_t value, bool up) {
    if (!up) return 2ull * value;
    return value == 0 ? 0 : 2ull * ((1u << (8 * sizeof(Cell))) - value);
}

template <typename Cell>
class TBFInterpreterCells : public TBFInterpreterBase {
    static_assert(std::is_same_v<Cell, uint8_t> || std::is_same_v<Cell, uint16_t>);

public:
    static constexpr uint32_t Values = 1u << (8 * sizeof(Cell));

    explicit TBFInterpreterCells(TEngineHost& host) : TBFInterpreterBase(host), Tape(ZeroedTape()) {}

    uint32_t GetCell(uint16_t index) const override { return Tape[index & (TapeSize - 1)]; }
    void SetCell(uint16_t index, uint32_t value) override {
        TapeFresh = false;
        Tape[index & (TapeSize - 1)] = static_cast<Cell>(value);
    }
    void PaintMemory() override;

protected:
    void WriteChar() final;
    void ReadChar() final;
    void ExecuteInstruction(const TInstruction& ins) final;
    TLoopExit RunFast(bool checkTarget) final {
        const bool watching = Watching();
        if (!Options.PlainEngine) {
            TFastProgram& program = PrepareFastForm(checkTarget, 8 * sizeof(Cell));
            if (program.Cancelled) return TLoopExit::Attention;  // a terminate request
            // Watchpoints and the profile together are served by the plain loop.
            if (program.RepeatsChecked && !ForcePlain && !(watching && Profiling)) {
                if (!watching && !Profiling) return RunOptimised<TFastMode::Full>(program, checkTarget);
                if (!program.ShapesFound) FindFastShapes(program, Program.FoldedList);
                if (watching) return RunOptimised<TFastMode::Watched>(program, checkTarget);
                if (FastCounts.size() != 3 * program.Ops.size()) FastCounts.assign(3 * program.Ops.size(), 0);
                if (MemoCounts.size() != program.Memos.size()) {
                    MemosPending.clear();
                    MemoCounts.assign(program.Memos.size(), {});
                    for (size_t m = 0; m < MemoCounts.size(); ++m) {
                        const auto [first, last] = program.MemoRecords[m];
                        MemoCounts[m].Start.assign(3 * (last + 1 - first), 0);
                    }
                }
                const TLoopExit exit = RunOptimised<TFastMode::Profiled>(program, checkTarget);
                FoldFastCounts(program);
                return exit;
            }
        }
        if (watching) {
            if (Profiling) return checkTarget ? Fast<true, true, true>() : Fast<false, true, true>();
            return checkTarget ? Fast<true, false, true>() : Fast<false, false, true>();
        }
        if (Profiling) return checkTarget ? Fast<true, true, false>() : Fast<false, true, false>();
        return checkTarget ? Fast<true, false, false>() : Fast<false, false, false>();
    }
    void AddToCell(int64_t delta) final {
        Tape[DataPtr] = static_cast<Cell>(static_cast<int64_t>(Tape[DataPtr]) + delta);
    }
    uint32_t CurrentCell() const final { return Tape[DataPtr]; }
    void ClearTape() final { std::memset(Tape.get(), 0, TapeSize * sizeof(Cell)); }
    uint32_t CellValues() const final { return Values; }
    void SaveTape(TMachineState& state) const final {
        uint32_t first = 0;
        uint32_t end = TapeSize;
        while (first < TapeSize && Tape[first] == 0) ++first;
        while (end > first && Tape[end - 1] == 0) --end;
        state.TapeFirst = first;
        const auto* bytes = reinterpret_cast<const uint8_t*>(Tape.get() + first);
        state.Tape.assign(bytes, bytes + (end - first) * sizeof(Cell));
    }
    void LoadTape(const TMachineState& state) final {
        ClearTape();
        TapeFresh = false;
        // An all-zero tape holds no bytes (and no buffer to copy from).
        if (!state.Tape.empty()) std::memcpy(Tape.get() + state.TapeFirst, state.Tape.data(), state.Tape.size());
    }

private:
    // The plain folded loop: FoldedList as it is; with Profile counting what it runs, with
    // Watched leaving before a record that may meet a watchpoint (WatchMayHit).
    template <bool CheckTarget, bool Profile, bool Watched>
    TLoopExit Fast();
    // The fast form's loop (cel_FastCells.h): Full enters the native code where it can;
    // Watched tests each record's reach against the watchpoints and takes what may meet one
    // the exact way; Profiled counts arrivals and passes by record (FastCounts).
    enum class TFastMode { Full, Watched, Profiled };
    template <TFastMode Mode>
    TLoopExit RunOptimised(TFastProgram& program, bool checkTarget);
    const TNativeCode* NativeFor(TFastProgram& program, bool watched);

public:
    // The engine code that native code for these cells calls (see TNativeHelpers).
    static TNativeHelpers NativeHelpers();

private:
    // MemoEnter and MemoBackEdge of memo loop m for a profiled run: the passes done at once add
    // what one pass added to FastCounts, once for each.
    bool MemoEnterCounted(TFastProgram& program, uint32_t m, Cell* tape, uint32_t dp, uint64_t& executed);
    bool MemoBackEdgeCounted(TFastProgram& program, uint32_t m, Cell* tape, uint32_t dp, uint64_t& executed);
    void MemoPassBegins(const TFastProgram& program, uint32_t m);

    // ---- What the three loops share ----
    // ExecuteInstruction (single steps on CommandList, and StepToEntry's steps on FoldedList),
    // Fast (FoldedList as it is) and RunOptimised (the fast form) reach the world and the
    // procedure tables only through these, and count what they run by one rule: one command a
    // record the loop runs (for single steps StepOnce counts it), the rest of what the record
    // stands for (a run of n commands n - 1, a clear loop ClearCost, a fast record its Exec) by
    // the loop itself. The two fast loops keep PC (a FoldedList index), the data pointer and the
    // count in locals and write them back (Spill) as of the record at hand before they call
    // anything that hands off, fails or leaves: an error, a pause or the end finds the state there.

    [[gnu::always_inline]] void Spill(uint32_t pc, uint32_t dp, uint64_t executed) {
        PC = pc;
        DataPtr = dp;
        Executed.store(executed, std::memory_order_relaxed);
    }
    // Single steps: adds commands that a record stands for to the count.
    [[gnu::always_inline]] void AddExecuted(uint64_t commands) {
        Executed.store(Executed.load(std::memory_order_relaxed) + commands, std::memory_order_relaxed);
    }
    // The fast loops' attention check, after every record of the plain loop and where the fast
    // form goes round or hands off: true when RunLoop is to serve a switch, a request or the
    // budget before the next record (see AttentionAt). Single steps return to RunLoop after
    // every command and need none.
    [[gnu::always_inline]] bool AttentionDue(uint64_t executed) const {
        return executed >= AttentionAt.load(std::memory_order_relaxed);
    }
    // At a loop's back edge: the count the status display reads while the loop runs.
    [[gnu::always_inline]] void ShowProgress(uint64_t executed) {
        Executed.store(executed, std::memory_order_relaxed);
    }
    // '.': the current cell to the output (WriteChar). False when the output failed (ErrorCode
    // is set): the command has not run.
    [[gnu::always_inline]] bool OutputCommand() {
        WriteChar();
        if (IOGuard) AttentionAt.store(0, std::memory_order_relaxed);
        return ErrorCode == errNone;
    }
    // ',': the next input byte into the current cell (ReadChar), waiting for typed input when
    // there is none. False when Debug abandoned the wait: the command runs again at the next
    // step, the attempt counting as one command. When it used up the input file, RunLoop reads
    // the next block before the next command runs: a fast loop leaves for it at the attention
    // check that follows, unless the program ends there (no read, so no read error, at the end).
    bool InputCommand();
    // '(' at record at: the procedure of the value cell begins at at + 1.
    void DefineProcedure(uint32_t cell, uint32_t at) {
        if (!ProcDefined) DefineProcedures();
        ProcTable[cell] = at + 1;
    }
    // ':' at record at: the entry (1 + its record) of the procedure of the value cell, with at
    // pushed as the return address; 0 for an illegal call (ErrorCode is set, nothing pushed).
    uint32_t CallProcedure(uint32_t cell, uint32_t at) {
        const uint32_t entry = ProcDefined ? ProcTable[cell] : 0;
        if (entry == 0) {
            ErrorCode = errIllegalCall;
            return 0;
        }
        CallStack[CallDepth] = at;
        if (++CallDepth == 0) CallDepthWrapped = true;
        return entry;
    }
    // ')': pops the return address, the record of the call; the run goes on after it.
    uint32_t ReturnAddress() {
        --CallDepth;
        return CallStack[CallDepth];
    }

    // TapeSize cells as zero pages from the system, so a run pays only for the pages it
    // touches (calloc would clear a block this size from the heap page by page, a page fault
    // each, which is much of a short run's start on a virtual machine). Where the system allows,
    // the cells are mapped twice in a row (TapeMirrored): Tape[i + TapeSize] is Tape[i], so native
    // code reaches dp + off for any dp and off below TapeSize without wrapping the sum.
    static constexpr size_t TapeBytes = TapeSize * sizeof(Cell);
    struct TTapeFree {
        size_t Bytes = TapeBytes;  // of the mapping
        void operator()(Cell* p) const {
#if CEL_TAPE_MAPPED
            ::munmap(p, Bytes);
#else
            std::free(p);
#endif
        }
    };
    using TTape = std::unique_ptr<Cell[], TTapeFree>;
    static TTape ZeroedTape() {
#if CEL_TAPE_MIRRORED
        if (TTape mirrored = MirroredTape()) return mirrored;
#endif
#if CEL_TAPE_MAPPED
        void* p = ::mmap(nullptr, TapeBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        return TTape(static_cast<Cell*>(p));
#else
        auto* p = static_cast<Cell*>(std::calloc(TapeSize, sizeof(Cell)));
        if (p == nullptr) throw std::bad_alloc();
        return TTape(p);
#endif
    }
#if CEL_TAPE_MIRRORED
    // The cells of a memory file mapped at two neighbouring places, or none.
    static TTape MirroredTape() {
        const int fd = ::memfd_create("cellwright-tape", MFD_CLOEXEC);
        if (fd < 0) return nullptr;
        void* base = MAP_FAILED;
        if (::ftruncate(fd, TapeBytes) == 0)
            base = ::mmap(nullptr, 2 * TapeBytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        bool mapped = base != MAP_FAILED;
        for (size_t copy = 0; mapped && copy < 2; ++copy)
            mapped = ::mmap(static_cast<char*>(base) + copy * TapeBytes, TapeBytes, PROT_READ | PROT_WRITE,
                            MAP_SHARED | MAP_FIXED, fd, 0) != MAP_FAILED;
        ::close(fd);
        if (!mapped) {
            if (base != MAP_FAILED) ::munmap(base, 2 * TapeBytes);
            return nullptr;
        }
        return TTape(static_cast<Cell*>(base), TTapeFree{2 * TapeBytes});
    }
#endif
    bool TapeMirrored() const { return Tape.get_deleter().Bytes == 2 * TapeBytes; }
    TTape Tape;
};

template <typename Cell>
void TBFInterpreterCells<Cell>::WriteChar() {
    uint8_t ch = static_cast<uint8_t>(Tape[DataPtr]);
    if (OutputFileOpen) {
        if (FileTotal < FileHigh) {
            ++FileTotal;  // a replay: the file holds this byte already
        } else {
            // A typed line may have filled the buffer to the brim: make room before appending.
            if (FileFill >= IOBlockSize) FlushOutputFile();
            const uint32_t fill = FileFill + 1;
            FileBuffer[fill - 1] = ch;
            FileFill = fill;
            FileHigh = ++FileTotal;
            // One test on the common path; a full block, or any byte when lines are written at
            // their ends, goes on to the decision.
            if (fill >= FileFlushFill && (fill >= IOBlockSize || ch == '\n')) FlushOutputFile();
        }
    }
    const uint8_t previous = LastOut;
    LastOut = ch;
    if (!OutputVisible.load(std::memory_order_relaxed) || (ch == '\n' && previous == '\r') ||
        (ch == '\r' && previous == '\n') || ch == 0) {
        LastOut = 0;
        return;
    }
    if (ch == '\r') ch = '\n';
    ++Shown;
    if (ch == '\n') ++ShownLines;
    if (Replaying) return;  // the window shows it already
    if (DisplayFill < MaxDisplayBuffer) DisplayBuffer[DisplayFill++] = ch;
    if (DisplayFill >= DisplayLimit) {
        // The pause leaves the GUI thread time to show the output; a run in the caller's thread
        // has no other thread to give it to.
        if (!InCaller) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        Synchronize([this] { FlushDisplay(); });
    }
}

template <typename Cell>
void TBFInterpreterCells<Cell>::ReadChar() {
    if (InputSize > 0 && InputPos < InputSize) {
        Tape[DataPtr] = InputData[InputPos++];
        return;
    }
    if (!InputEnded) {
        // A replay takes what was given here from the log; otherwise the user is asked.
        if (TakeLoggedInput()) {
            if (!Replaying && Log[LogPos - 1].Kind == TInputEntry::Line) {
                const uint64_t at = Executed.load(std::memory_order_relaxed);
                Synchronize([this, at] {
                    FlushDisplay();
                    Host.InputReplayed(at);
                });
            }
        } else {
            Synchronize([this] { FlushDisplay(); });
            PrepareSuspend();
            MainFlags.WaitingForInput.store(true);
            Synchronize([this] { Host.RequestInput(); });
            Suspend();
        }
        if (!InputEnded) return;
    }
    if (Options.EndOfInput == TEndOfInput::Zero) Tape[DataPtr] = 0;
    else if (Options.EndOfInput == TEndOfInput::Max) Tape[DataPtr] = static_cast<Cell>(~Cell{0});
}

template <typename Cell>
bool TBFInterpreterCells<Cell>::InputCommand() {
    ReadChar();
    MainFlags.WaitingForInput.store(false);
    if (InputRetry.load()) {
        InputRetry.store(false);
        if (IOGuard) AttentionAt.store(0, std::memory_order_relaxed);
        return false;
    }
    if (RefillDue() || IOGuard) AttentionAt.store(0, std::memory_order_relaxed);
    return true;
}

template <typename Cell>
void TBFInterpreterCells<Cell>::ExecuteInstruction(const TInstruction& ins) {
    Cell& cell = Tape[DataPtr];
    switch (ins.Op) {
    case opRight: DataPtr = (DataPtr + 1) & (TapeSize - 1); break;
    case opLeft: DataPtr = (DataPtr - 1) & (TapeSize - 1); break;
    case opInc: cell = static_cast<Cell>(cell + 1); break;
    case opDec: cell = static_cast<Cell>(cell - 1); break;
    case opOutput: OutputCommand(); break;  // StepOnce finds a failure in ErrorCode
    case opInput:
        if (!InputCommand()) --PC;  // the step's advance brings it back to this command
        break;
    case opLoopStart:
        if (cell == 0) PC = ins.Arg;
        break;
    case opLoopEnd:
        if (cell != 0) PC = ins.Arg;
        break;
    case opClearDec:
        AddExecuted(ClearCost<Cell>(cell, false));
        cell = 0;
        break;
    case opClearInc:
        AddExecuted(ClearCost<Cell>(cell, true));
        cell = 0;
        break;
    case opProcStart:
        DefineProcedure(cell, PC);
        PC = ins.Arg;
        break;
    case opProcEnd: PC = ReturnAddress(); break;
    case opCall:
        // An illegal call leaves PC at the ':' (StepOnce finds the error).
        if (const uint32_t entry = CallProcedure(cell, PC)) PC = entry - 1;
        break;
    case opRightN:
        DataPtr = (DataPtr + ins.Arg) & (TapeSize - 1);
        AddExecuted(ins.Arg - 1);
        break;
    case opLeftN:
        DataPtr = (DataPtr - ins.Arg) & (TapeSize - 1);
        AddExecuted(ins.Arg - 1);
        break;
    case opIncN:
        cell = static_cast<Cell>(cell + ins.Arg);
        AddExecuted(ins.Arg - 1);
        break;
    case opDecN:
        cell = static_cast<Cell>(cell - ins.Arg);
        AddExecuted(ins.Arg - 1);
        break;
    default: break;
    }
}

// The hot loop, threaded with computed gotos (GCC and Clang). Machine state lives in locals
// and is written back before anything that can leave the loop or hand work to the GUI thread.
// Each step ends with one cheap check of the executed count against AttentionAt, which stands
// for all the switches RunLoop serves before a step (input file, list switch, watch, pause, run
// to cursor, terminate) and for the budget while none is set, so a step costs what a plain
// folded interpreter's does.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"
#pragma GCC diagnostic ignored "-Wunused-label"
#endif
template <typename Cell>
template <bool CheckTarget, bool Profile, bool Watched>
typename TBFInterpreterCells<Cell>::TLoopExit TBFInterpreterCells<Cell>::Fast() {
    // With breakpoints the loop runs their copy of the list, whose marked records stop at l_break.
    const TInstruction* const plain = Program.FoldedList.data();
    const TInstruction* const list = BreakList.empty() ? plain : BreakList.data();
    const TInstruction* const listEnd = list + Program.FoldedCount;
    const TInstruction* const target = list + FoldedTarget;
    Cell* const tape = Tape.get();
    const TInstruction* in = list + PC;
    uint32_t dp = DataPtr;
    uint64_t executed = Executed.load(std::memory_order_relaxed);
    constexpr uint32_t mask = TapeSize - 1;
    (void)target;
    // The profile: a count per record run, and the passes of each clear loop's body.
    uint64_t* const counts = Profile ? ProfileCounts.data() : nullptr;
    uint64_t* const passes = Profile ? counts + Program.FoldedCount : nullptr;
    (void)passes;

    // The label of each operation, indexed by TOpCode.
#define CEL_DISPATCH_LABEL(id, code, source, text, arg, run) &&l_##id,
    static void* const dispatch[OpCount + 2] = {CEL_OPERATIONS(CEL_DISPATCH_LABEL) &&l_break, &&l_breakInClear};
#undef CEL_DISPATCH_LABEL

#define CEL_SPILL() Spill(static_cast<uint32_t>(in - list), dp, executed)
#define CEL_COUNT(n)                                  \
    do {                                              \
        if constexpr (Profile) counts[in - list] += static_cast<uint64_t>(n); \
    } while (0)
#define CEL_WATCH()                                                 \
    do {                                                            \
        if constexpr (Watched) {                                    \
            if (WatchMayHit(plain[in - list], dp)) goto l_watch;    \
        }                                                           \
    } while (0)
#define CEL_DISPATCH()                                                   \
    do {                                                                 \
        if (AttentionDue(executed)) goto l_attention;                    \
        if constexpr (CheckTarget) {                                     \
            if (in == target) goto l_target;                             \
        }                                                                \
        CEL_WATCH();                                                     \
        CEL_COUNT(1);                                                    \
        goto* dispatch[in->Op];                                          \
    } while (0)
#define CEL_NEXT()                          \
    do {                                    \
        ++in;                               \
        ++executed;                         \
        if (in >= listEnd) goto l_finished; \
        CEL_DISPATCH();                     \
    } while (0)

    // The first record was checked before the loop: it runs whatever its mark.
    CEL_COUNT(1);
    goto* dispatch[plain[in - list].Op];

l_None:
    CEL_NEXT();
l_Right:
    dp = (dp + 1) & mask;
    CEL_NEXT();
l_Left:
    dp = (dp - 1) & mask;
    CEL_NEXT();
l_Inc:
    tape[dp] = static_cast<Cell>(tape[dp] + 1);
    CEL_NEXT();
l_Dec:
    tape[dp] = static_cast<Cell>(tape[dp] - 1);
    CEL_NEXT();
l_Output:
    CEL_SPILL();
    if (!OutputCommand()) {
        CEL_COUNT(-1);  // the command has not run
        return TLoopExit::Error;
    }
    CEL_NEXT();
l_Input:
    CEL_SPILL();
    if (!InputCommand()) {
        ++executed;  // the attempt counts; the command runs again
        goto l_attention;
    }
    CEL_NEXT();
l_LoopStart:
    if (tape[dp] == 0) in = list + in->Arg;
    CEL_NEXT();
l_LoopEnd:
    if (tape[dp] != 0) {
        in = list + in->Arg;
        ShowProgress(executed);
    }
    CEL_NEXT();
l_ClearDec:
    if constexpr (Profile) passes[in - list] += tape[dp];
    executed += ClearCost<Cell>(tape[dp], false);
    tape[dp] = 0;
    CEL_NEXT();
l_ClearInc:
    if constexpr (Profile) passes[in - list] += ClearCost<Cell>(tape[dp], true) / 2;
    executed += ClearCost<Cell>(tape[dp], true);
    tape[dp] = 0;
    CEL_NEXT();
l_ProcStart:
    DefineProcedure(tape[dp], static_cast<uint32_t>(in - list));
    in = list + in->Arg;
    CEL_NEXT();
l_ProcEnd:
    in = list + ReturnAddress();
    CEL_NEXT();
l_Call: {
    const uint32_t entry = CallProcedure(tape[dp], static_cast<uint32_t>(in - list));
    if (entry == 0) {
        CEL_SPILL();
        CEL_COUNT(-1);
        return TLoopExit::Error;
    }
    in = list + entry - 1;
    CEL_NEXT();
}
l_RightN:
    dp = (dp + in->Arg) & mask;
    executed += in->Arg - 1;
    CEL_NEXT();
l_LeftN:
    dp = (dp - in->Arg) & mask;
    executed += in->Arg - 1;
    CEL_NEXT();
l_IncN:
    tape[dp] = static_cast<Cell>(tape[dp] + in->Arg);
    executed += in->Arg - 1;
    CEL_NEXT();
l_DecN:
    tape[dp] = static_cast<Cell>(tape[dp] - in->Arg);
    executed += in->Arg - 1;
    CEL_NEXT();

l_target:
    CEL_SPILL();
    if (FastTargetHit()) return TLoopExit::Attention;
    CEL_WATCH();
    CEL_COUNT(1);
    goto* dispatch[in->Op];
l_breakInClear:
    if (tape[dp] == 0) CEL_NEXT();  // the body does not run: the loop over 0 does nothing
l_break:
    CEL_SPILL();
    if (FastBreakHit()) {
        CEL_COUNT(-1);  // met before it runs
        return TLoopExit::Attention;
    }
    goto* dispatch[plain[in - list].Op];
l_watch:
l_attention:
    CEL_SPILL();
    return TLoopExit::Attention;
l_finished:
    CEL_SPILL();
    return TLoopExit::End;

#undef CEL_NEXT
#undef CEL_DISPATCH
#undef CEL_COUNT
#undef CEL_WATCH
#undef CEL_SPILL
}
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

template <typename Cell>
void TBFInterpreterCells<Cell>::PaintMemory() {
    const TMemoryView view = Host.MemoryView();
    const bool drawLines = Watch.load() || (StepMode.load() && !RunToCursor.load());
    if (!StateStable()) {
        // The engine is executing: its cells are not to be read now. An image without lines
        // needs none; one with lines is drawn by the engine's own next paint.
        if (!drawLines) Host.DrawMemory({});
        return;
    }
    const int dataPtr = static_cast<int>(DataPtr);
    if (Follow.load()) {
        // Scrolling repaints through the scroll bar's change handler, with Follow cleared.
        if (view.FirstCell + view.RowCount - 2 < dataPtr) {
            Host.SetMemoryScroll(dataPtr - view.RowCount + 2);
            return;
        }
        if (view.FirstCell > dataPtr) {
            Host.SetMemoryScroll(dataPtr);
            return;
        }
    }
    std::vector<TMemoryLine> lines;
    if (drawLines) {
        lines.reserve(static_cast<size_t>(std::max(view.RowCount, 0)));
        const int last = std::min<int>(view.FirstCell + view.RowCount - 2, TapeSize - 1);
        for (int i = std::max(view.FirstCell, 0); i <= last; ++i)
            lines.push_back({FormatMemoryLine(sizeof(Cell) == 2, static_cast<uint32_t>(i), Tape[i]),
                             i == dataPtr});
    }
    Host.DrawMemory(lines);
}

extern template class TBFInterpreterCells<uint8_t>;
extern template class TBFInterpreterCells<uint16_t>;

}  // namespace cel
