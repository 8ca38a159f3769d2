#include "cel_Interpreter.h"

#include <algorithm>

namespace cel {

void TBFInterpreter::CreateEngine() {
    if (Wide)
        Engine16 = std::make_unique<TBFInterpreter16>(Host);
    else
        Engine8 = std::make_unique<TBFInterpreter8>(Host);
}

TBFInterpreterBase& TBFInterpreter::Engine() const {
    if (Wide) return *Engine16;
    return *Engine8;
}

// ---------------------------------------------------------------------------------------------
// Run commands

void TBFInterpreter::Prepare(bool wide, TStart how, uint32_t target, std::vector<uint32_t> breakpoints) {
    Wide = wide;
    CreateEngine();
    TBFInterpreterBase& engine = Engine();
    engine.SetBreakpoints(std::move(breakpoints));
    engine.SetStepMode(how == TStart::Trace);
    engine.SetRunToCursor(how == TStart::RunToCursor);
    if (how == TStart::RunToCursor) {
        engine.SetTarget(target);
        engine.SetTargetLocated(false);
        engine.PaintMemory();
    }
}

void TBFInterpreter::Start(bool wide, TStart how, uint32_t target, std::vector<uint32_t> breakpoints) {
    Prepare(wide, how, target, std::move(breakpoints));
    Engine().Resume();
}

void TBFInterpreter::RunHere(bool wide, uint64_t budget, std::vector<uint32_t> breakpoints) {
    Prepare(wide, TStart::Run, 0, std::move(breakpoints));
    Engine().SetBudget(budget);
    Engine().RunHere();
}

void TBFInterpreter::Continue() {
    Engine().SetStepMode(false);
    Engine().Resume();
}

void TBFInterpreter::Step() {
    if (Engine().IsSuspended()) Engine().Resume();
}

void TBFInterpreter::Pause() {
    TBFInterpreterBase& engine = Engine();
    engine.SetStepMode(true);
    engine.SetRunToCursor(false);
    if (Host.Flags().WaitingForInput.load()) {
        engine.SetInputRetry(true);
        Host.DisableInput();
        engine.Resume();
    }
}

void TBFInterpreter::RunToCursor(uint32_t target) {
    TBFInterpreterBase& engine = Engine();
    engine.SetRunToCursor(true);
    engine.SetTarget(target);
    engine.SetTargetLocated(false);
    engine.LocateTarget();
    engine.PaintMemory();
    engine.Resume();
}

void TBFInterpreter::Reset() {
    TBFInterpreterBase& engine = Engine();
    const bool stepMode = engine.GetStepMode();
    engine.Terminate();
    // A paused engine or one in its input wait sits in a suspension that only a resume ends.
    if (stepMode || Host.Flags().WaitingForInput.load()) engine.Resume();
}

bool TBFInterpreter::SwitchWatch(bool on) {
    TBFInterpreterBase& engine = Engine();
    engine.SetWatch(on);
    if (engine.GetWatch()) return false;
    engine.PaintMemory();
    return true;
}

void TBFInterpreter::DeliverLine(std::string_view data, bool echoToFile) {
    const size_t size = std::min<size_t>(data.size(), IOBlockSize);
    if (size == 0) return;
    TBFInterpreterBase& engine = Engine();
    if (echoToFile && engine.GetOutputFileOpen()) {
        engine.FlushOutputFile();
        for (size_t i = 0; i < size; ++i)
            engine.SetFileBufferByte(static_cast<uint16_t>(i), static_cast<uint8_t>(data[i]));
        engine.SetFileFill(static_cast<uint32_t>(size));
    }
    for (size_t i = 0; i < size; ++i)
        engine.SetInputByte(static_cast<uint16_t>(i), static_cast<uint8_t>(data[i]));
    engine.SetInputSize(static_cast<uint32_t>(size));
    engine.SetInputPos(1);
    engine.SetCell(static_cast<uint16_t>(engine.GetDataPtr()), static_cast<uint8_t>(data[0]));
    Host.DisableInput();
    engine.Resume();
}

void TBFInterpreter::DeliverNumber(int32_t value) {
    TBFInterpreterBase& engine = Engine();
    // SetCell keeps the low 8 or 16 bits; the input buffer stays as it is, so the next read asks.
    engine.SetCell(static_cast<uint16_t>(engine.GetDataPtr()), static_cast<uint32_t>(value));
    Host.DisableInput();
    engine.Resume();
}

void TBFInterpreter::DeliverEnd() {
    Engine().EndInput();
    Host.DisableInput();
    Engine().Resume();
}

}  // namespace cel
