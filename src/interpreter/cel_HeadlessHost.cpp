#include "cel_HeadlessHost.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace cel {

THeadlessHost::THeadlessHost() : Interpreter(*this) {}

void THeadlessHost::Synchronize(const std::function<void()>& fn) {
    std::lock_guard<std::recursive_mutex> lock(GuiMutex);
    fn();
}

void THeadlessHost::StartRun(bool wide, bool stepMode, bool runToCursor, uint32_t target) {
    using TStart = TBFInterpreter::TStart;
    std::lock_guard<std::recursive_mutex> lock(GuiMutex);
    Interpreter.Prepare(wide, runToCursor ? TStart::RunToCursor : stepMode ? TStart::Trace : TStart::Run, target,
                        Breakpoints);
    GiveStops();
    Interpreter.Resume();
}

void THeadlessHost::RunHere(bool wide, uint64_t budget, uint64_t stopAt) {
    std::lock_guard<std::recursive_mutex> lock(GuiMutex);
    Interpreter.Prepare(wide, TBFInterpreter::TStart::Run, 0, Breakpoints);
    GiveStops();
    TBFInterpreterBase& engine = Interpreter.Engine();
    engine.SetRecording(false);
    engine.SetBudget(budget);
    engine.SetStopAt(stopAt);
    engine.RunHere();
}

void THeadlessHost::GiveStops() {
    if (!BreakpointList.empty()) Interpreter.SetBreakpoints(BreakpointList);
    Interpreter.SetWatchpoints(Watchpoints);
    Interpreter.SetProfile(Profile);
}

bool THeadlessHost::WaitSettled(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    TBFInterpreterBase& engine = Interpreter.Engine();
    while (std::chrono::steady_clock::now() < deadline) {
        if (engine.IsFinished() || (engine.IsSuspended() && engine.IsWaiting())) return true;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
}

bool THeadlessHost::WaitFinished(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    TBFInterpreterBase& engine = Interpreter.Engine();
    while (std::chrono::steady_clock::now() < deadline) {
        if (engine.IsFinished()) {
            engine.WaitFor();
            return true;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
}

void THeadlessHost::PrepareWindows() {
    if (Interpreter.HasEngine()) Interpreter.SetOutputLine(0);
    View.FirstCell = 0;
}

void THeadlessHost::RequestInput() {
    if (OnRequestInput) OnRequestInput();
}

bool THeadlessHost::OutputLineText(uint32_t index, std::string& text) {
    (void)index;
    text.clear();
    return true;
}

bool THeadlessHost::SetOutputLineText(uint32_t index, const std::string& text) {
    (void)index;
    (void)text;
    return true;
}

bool THeadlessHost::AppendToOutputLine(uint32_t index, std::string_view text) {
    (void)index;
    (void)text;
    return true;
}

void THeadlessHost::SetMemoryScroll(int position) {
    position = std::max(0, std::min(position, static_cast<int>(TapeSize) + 1 - View.RowCount));
    if (position == View.FirstCell) return;
    View.FirstCell = position;
    // The scroll bar's change handler: a scroll stops following and repaints.
    Interpreter.SetFollow(false);
    Interpreter.PaintMemory();
}

}  // namespace cel
