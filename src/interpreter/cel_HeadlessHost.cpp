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
    std::lock_guard<std::recursive_mutex> lock(GuiMutex);
    Interpreter.Wide = wide;
    Interpreter.CreateEngine();
    Interpreter.SetBreakpoints(Breakpoints);
    Interpreter.SetStepMode(stepMode);
    Interpreter.SetRunToCursor(runToCursor);
    if (runToCursor) {
        Interpreter.SetTarget(target);
        Interpreter.SetTargetLocated(false);
    }
    Interpreter.Resume();
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

void THeadlessHost::DeliverLine(const std::string& data, bool echoToFile) {
    std::lock_guard<std::recursive_mutex> lock(GuiMutex);
    const size_t n = std::min<size_t>(data.size(), IOBlockSize);
    if (n == 0) return;
    Interpreter.SetInputPos(1);
    Interpreter.SetInputSize(static_cast<uint32_t>(n));
    if (echoToFile && Interpreter.GetOutputFileOpen()) {
        Interpreter.FlushOutputFile();
        for (size_t i = 0; i < n; ++i)
            Interpreter.SetFileBufferByte(static_cast<uint16_t>(i), static_cast<uint8_t>(data[i]));
        Interpreter.SetFileFill(static_cast<uint32_t>(n));
    }
    for (size_t i = 0; i < n; ++i)
        Interpreter.SetInputByte(static_cast<uint16_t>(i), static_cast<uint8_t>(data[i]));
    Interpreter.SetCell(static_cast<uint16_t>(Interpreter.GetDataPtr()), static_cast<uint8_t>(data[0]));
    DisableInput();
    Interpreter.Resume();
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
    position = std::max(0, std::min(position, 32769 - View.RowCount));
    if (position == View.FirstCell) return;
    View.FirstCell = position;
    // The scroll bar's change handler: a scroll stops following and repaints.
    Interpreter.SetFollow(false);
    Interpreter.PaintMemory();
}

}  // namespace cel
