#include "cel_HeadlessHost.h"

#include <chrono>
#include <thread>

namespace cel {

THeadlessHost::THeadlessHost() : Interpreter(*this) {}

void THeadlessHost::Synchronize(const std::function<void()>& fn) {
    std::lock_guard<std::recursive_mutex> lock(GuiMutex);
    fn();
}

void THeadlessHost::Record(const std::string& event) {
    std::lock_guard<std::recursive_mutex> lock(GuiMutex);
    Events.push_back(event);
}

int THeadlessHost::CountEvents(const std::string& text) {
    std::lock_guard<std::recursive_mutex> lock(GuiMutex);
    int n = 0;
    for (const std::string& e : Events) n += e == text;
    return n;
}

void THeadlessHost::StartRun(bool wide, bool stepMode, bool runToCursor, uint32_t target) {
    std::lock_guard<std::recursive_mutex> lock(GuiMutex);
    Interpreter.Wide = wide;
    Interpreter.CreateEngine();
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

std::string THeadlessHost::OutputText() {
    std::lock_guard<std::recursive_mutex> lock(GuiMutex);
    std::string text;
    for (size_t i = 0; i < Lines.size(); ++i) {
        if (i > 0) text.push_back('\n');
        text += Lines[i];
    }
    return text;
}

void THeadlessHost::PresentRunning(bool stepMode) {
    Record(stepMode ? "PresentRunning step" : "PresentRunning");
}

void THeadlessHost::PrepareWindows() {
    Record("PrepareWindows");
    Lines.clear();
    if (Interpreter.HasEngine()) Interpreter.SetOutputLine(0);
    View.FirstCell = 0;
}

void THeadlessHost::ShowCurrentCommand(uint32_t origin) {
    SelStart = origin;
    SelLength = 1;
    if (RecordMarks) Record("Mark " + std::to_string(origin));
}

void THeadlessHost::RequestInput() {
    Record("RequestInput");
    if (OnRequestInput) OnRequestInput();
}

void THeadlessHost::PresentReady(bool caretAfterMark) {
    Record("Ready");
    if (caretAfterMark) {
        SelLength = 0;
        SelStart += 1;
    }
}

bool THeadlessHost::OutputLineText(uint32_t index, std::string& text) {
    text = index < Lines.size() ? Lines[index] : std::string();
    return true;
}

bool THeadlessHost::SetOutputLineText(uint32_t index, const std::string& text) {
    if (index > Lines.size()) return false;
    if (index == Lines.size()) Lines.emplace_back();
    Lines[index] = text;
    return true;
}

bool THeadlessHost::AppendOutputLine() {
    if (Lines.empty()) Lines.emplace_back();  // the empty text already shows one line
    Lines.emplace_back();
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
