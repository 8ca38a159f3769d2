#include "cel_Interpreter.h"

#include "cel_NativeCode.h"

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
    engine.SetRecording(true);
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

void TBFInterpreter::RunHere(bool wide, uint64_t budget, std::vector<uint32_t> breakpoints, uint64_t stopAt) {
    Prepare(wide, TStart::Run, 0, std::move(breakpoints));
    Engine().SetRecording(false);
    Engine().SetBudget(budget);
    Engine().SetStopAt(stopAt);
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
    engine.MarkDebug();
    engine.SetStepMode(true);
    engine.SetRunToCursor(false);
    engine.HaltBackwards();
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
    if (data.empty()) return;
    TInputEntry line;
    line.Kind = TInputEntry::Line;
    line.Echo = echoToFile;
    line.Bytes.assign(data.substr(0, IOBlockSize));
    Engine().TakeInput(std::move(line));
    Host.DisableInput();
    Engine().Resume();
}

void TBFInterpreter::DeliverNumber(int32_t value) {
    // The cell keeps the low 8 or 16 bits; the input buffer stays as it is, so the next read asks.
    TInputEntry number;
    number.Kind = TInputEntry::Number;
    number.Value = static_cast<uint32_t>(value);
    Engine().TakeInput(std::move(number));
    Host.DisableInput();
    Engine().Resume();
}

void TBFInterpreter::DeliverEnd() {
    // Logged for the replays; the engine's InputEnded follows from it.
    TInputEntry end;
    end.Kind = TInputEntry::End;
    Engine().TakeInput(std::move(end));
    Host.DisableInput();
    Engine().Resume();
}

std::shared_ptr<const TNativeCode> NativeCodeFor(const TFastProgram& program, bool wide,
                                                 const std::vector<TInstruction>* folded) {
    return wide ? TNativeCode::Generate(program, 16, TapeSize, TBFInterpreter16::NativeHelpers(), false, folded)
                : TNativeCode::Generate(program, 8, TapeSize, TBFInterpreter8::NativeHelpers(), false, folded);
}

}  // namespace cel
