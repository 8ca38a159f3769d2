// The execution loop and the memory image for one cell width. TBFInterpreter8 and
// TBFInterpreter16 are its two instances; the width is a template parameter, never a branch.
#pragma once

#include "cel_InterpreterBase.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <type_traits>

namespace cel {

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

template <typename Cell>
class TBFInterpreterCells : public TBFInterpreterBase {
    static_assert(std::is_same_v<Cell, uint8_t> || std::is_same_v<Cell, uint16_t>);

public:
    static constexpr uint32_t Values = 1u << (8 * sizeof(Cell));

    explicit TBFInterpreterCells(TEngineHost& host) : TBFInterpreterBase(host), Tape(new Cell[TapeSize]()) {}

    uint32_t GetCell(uint16_t index) const override { return Tape[index & (TapeSize - 1)]; }
    void SetCell(uint16_t index, uint32_t value) override {
        Tape[index & (TapeSize - 1)] = static_cast<Cell>(value);
    }
    void PaintMemory() override;

protected:
    void WriteChar() final;
    void ReadChar() final;
    void ExecuteInstruction(const TInstruction& ins) final;
    TLoopExit RunFast(bool checkTarget) final {
        if (!Options.PlainEngine) {
            TFastProgram& program = PrepareFastForm(checkTarget, 8 * sizeof(Cell));
            if (program.Cancelled) return TLoopExit::Attention;  // a terminate request
            if (program.RepeatsChecked) return RunOptimised(program, checkTarget);
        }
        return checkTarget ? Fast<true>() : Fast<false>();
    }
    void AddToCell(int64_t delta) final {
        Tape[DataPtr] = static_cast<Cell>(static_cast<int64_t>(Tape[DataPtr]) + delta);
    }
    uint32_t CurrentCell() const final { return Tape[DataPtr]; }
    void ClearTape() final { std::memset(Tape.get(), 0, TapeSize * sizeof(Cell)); }

private:
    // The plain folded loop: FoldedList as it is.
    template <bool CheckTarget>
    TLoopExit Fast();
    // The fast form's loop (cel_FastCells.h).
    TLoopExit RunOptimised(TFastProgram& program, bool checkTarget);
    bool InputCommand();

    std::unique_ptr<Cell[]> Tape;  // TapeSize cells
};

template <typename Cell>
void TBFInterpreterCells<Cell>::WriteChar() {
    uint8_t ch = static_cast<uint8_t>(Tape[DataPtr]);
    if (OutputFileOpen) {
        // A typed line may have filled the buffer to the brim: make room before appending.
        if (FileFill >= IOBlockSize) FlushOutputFile();
        const uint32_t fill = FileFill + 1;
        FileBuffer[fill - 1] = ch;
        FileFill = fill;
        // One test on the common path; a full block, or any byte when lines are written at
        // their ends, goes on to the decision.
        if (fill >= FileFlushFill && (fill >= IOBlockSize || ch == '\n')) FlushOutputFile();
    }
    const uint8_t previous = LastOut;
    LastOut = ch;
    if (!OutputVisible.load(std::memory_order_relaxed) || (ch == '\n' && previous == '\r') ||
        (ch == '\r' && previous == '\n') || ch == 0) {
        LastOut = 0;
        return;
    }
    if (ch == '\r') ch = '\n';
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
    Synchronize([this] { FlushDisplay(); });
    PrepareSuspend();
    MainFlags.WaitingForInput.store(true);
    Synchronize([this] { Host.RequestInput(); });
    Suspend();
}

// The input command with its bookkeeping. Returns true when Debug abandoned the input, so the
// same command runs again in the next step.
template <typename Cell>
bool TBFInterpreterCells<Cell>::InputCommand() {
    ReadChar();
    MainFlags.WaitingForInput.store(false);
    if (!InputRetry.load()) return false;
    InputRetry.store(false);
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
    case opOutput: WriteChar(); break;
    case opInput:
        if (InputCommand()) --PC;  // the step's advance brings it back to this command
        break;
    case opLoopStart:
        if (cell == 0) PC = ins.Arg;
        break;
    case opLoopEnd:
        if (cell != 0) PC = ins.Arg;
        break;
    case opClearDec:
        Executed.store(Executed.load() + 2ull * cell);
        cell = 0;
        break;
    case opClearInc:
        if (cell != 0) Executed.store(Executed.load() + 2ull * (Values - cell));
        cell = 0;
        break;
    case opProcStart:
        if (!ProcDefined) DefineProcedures();
        ProcTable[cell] = PC + 1;
        PC = ins.Arg;
        break;
    case opProcEnd:
        --CallDepth;
        PC = CallStack[CallDepth];
        break;
    case opCall: {
        const uint32_t entry = ProcDefined ? ProcTable[cell] : 0;
        if (entry == 0) {
            ErrorCode = errIllegalCall;
            break;
        }
        CallStack[CallDepth] = PC;
        if (++CallDepth == 0) CallDepthWrapped = true;
        PC = entry - 1;
        break;
    }
    case opRightN:
        DataPtr = (DataPtr + ins.Arg) & (TapeSize - 1);
        Executed.store(Executed.load() + ins.Arg - 1);
        break;
    case opLeftN:
        DataPtr = (DataPtr - ins.Arg) & (TapeSize - 1);
        Executed.store(Executed.load() + ins.Arg - 1);
        break;
    case opIncN:
        cell = static_cast<Cell>(cell + ins.Arg);
        Executed.store(Executed.load() + ins.Arg - 1);
        break;
    case opDecN:
        cell = static_cast<Cell>(cell - ins.Arg);
        Executed.store(Executed.load() + ins.Arg - 1);
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
template <bool CheckTarget>
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

    // The label of each operation, indexed by TOpCode.
#define CEL_DISPATCH_LABEL(id, code, source, text, arg, run) &&l_##id,
    static void* const dispatch[OpCount + 2] = {CEL_OPERATIONS(CEL_DISPATCH_LABEL) &&l_break, &&l_breakInClear};
#undef CEL_DISPATCH_LABEL

#define CEL_SPILL()                                            \
    do {                                                       \
        PC = static_cast<uint32_t>(in - list);                 \
        DataPtr = dp;                                          \
        Executed.store(executed, std::memory_order_relaxed);   \
    } while (0)
#define CEL_DISPATCH()                                                   \
    do {                                                                 \
        if (executed >= AttentionAt.load(std::memory_order_relaxed)) goto l_attention; \
        if constexpr (CheckTarget) {                                     \
            if (in == target) goto l_target;                             \
        }                                                                \
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
    WriteChar();
    if (ErrorCode != errNone) return TLoopExit::Error;
    CEL_NEXT();
l_Input:
    CEL_SPILL();
    if (InputCommand()) {
        // Debug abandoned the input: the attempt counts, and the command runs again.
        Executed.store(executed + 1, std::memory_order_relaxed);
        return TLoopExit::Attention;
    }
    // The input file is refilled at the start of the step after the one that used it up,
    // before that step's command runs.
    ++in;
    ++executed;
    if (in >= listEnd) goto l_finished;
    if (InputFileOpen && InputPos == InputSize) {
        CEL_SPILL();
        if (!RefillInput()) {
            ErrorCode = errInputFileRead;
            return TLoopExit::Error;
        }
    }
    CEL_DISPATCH();
l_LoopStart:
    if (tape[dp] == 0) in = list + in->Arg;
    CEL_NEXT();
l_LoopEnd:
    if (tape[dp] != 0) {
        in = list + in->Arg;
        Executed.store(executed, std::memory_order_relaxed);  // keeps the status display moving
    }
    CEL_NEXT();
l_ClearDec:
    executed += 2ull * tape[dp];
    tape[dp] = 0;
    CEL_NEXT();
l_ClearInc:
    if (tape[dp] != 0) executed += 2ull * (Values - tape[dp]);
    tape[dp] = 0;
    CEL_NEXT();
l_ProcStart:
    if (!ProcDefined) DefineProcedures();
    ProcTable[tape[dp]] = static_cast<uint32_t>(in - list) + 1;
    in = list + in->Arg;
    CEL_NEXT();
l_ProcEnd:
    --CallDepth;
    in = list + CallStack[CallDepth];
    CEL_NEXT();
l_Call: {
    const uint32_t entry = ProcDefined ? ProcTable[tape[dp]] : 0;
    if (entry == 0) {
        ErrorCode = errIllegalCall;
        CEL_SPILL();
        return TLoopExit::Error;
    }
    CallStack[CallDepth] = static_cast<uint32_t>(in - list);
    if (++CallDepth == 0) CallDepthWrapped = true;
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
    goto* dispatch[in->Op];
l_breakInClear:
    if (tape[dp] == 0) CEL_NEXT();  // the body does not run: the loop over 0 does nothing
l_break:
    CEL_SPILL();
    if (FastBreakHit()) return TLoopExit::Attention;
    goto* dispatch[plain[in - list].Op];
l_attention:
    CEL_SPILL();
    return TLoopExit::Attention;
l_finished:
    CEL_SPILL();
    return TLoopExit::End;

#undef CEL_NEXT
#undef CEL_DISPATCH
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
