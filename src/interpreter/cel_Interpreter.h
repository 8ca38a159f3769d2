// TBFInterpreter: the facade through which every window reaches the engine of the current run.
// Used by the GUI thread only.
#pragma once

#include "cel_Interpreter16.h"
#include "cel_Interpreter8.h"

#include <memory>
#include <utility>
#include <vector>

namespace cel {

class TBFInterpreter {
public:
    explicit TBFInterpreter(TEngineHost& host) : Host(host) {}

    std::unique_ptr<TBFInterpreter8> Engine8;    // newest 8-bit engine
    std::unique_ptr<TBFInterpreter16> Engine16;  // newest 16-bit engine
    bool Wide = false;                           // the current engine is Engine16

    // Creates the suspended engine of the next run in the width chosen by Wide. The engine
    // it replaces must have finished (IsFinished) or never have started.
    void CreateEngine();
    bool HasEngine() const { return Wide ? Engine16 != nullptr : Engine8 != nullptr; }
    TBFInterpreterBase& Engine() const;

    bool GetStepMode() const { return Engine().GetStepMode(); }
    void SetStepMode(bool on) { Engine().SetStepMode(on); }
    void SetRunToCursor(bool on) { Engine().SetRunToCursor(on); }
    bool GetWatch() const { return Engine().GetWatch(); }
    void SetWatch(bool on) { Engine().SetWatch(on); }
    void SetFollow(bool on) { Engine().SetFollow(on); }
    uint32_t GetCell(uint16_t index) const { return Engine().GetCell(index); }
    void SetCell(uint16_t index, uint32_t value) { Engine().SetCell(index, value); }
    void SetOutputVisible(bool on) { Engine().SetOutputVisible(on); }
    void SetInputPos(uint32_t pos) { Engine().SetInputPos(pos); }
    uint32_t GetInputSize() const { return Engine().GetInputSize(); }
    void SetInputSize(uint32_t size) { Engine().SetInputSize(size); }
    uint8_t GetInputByte(uint16_t index) const { return Engine().GetInputByte(index); }
    void SetInputByte(uint16_t index, uint8_t value) { Engine().SetInputByte(index, value); }
    uint32_t GetOutputLine() const { return Engine().GetOutputLine(); }
    void SetOutputLine(uint32_t line) { Engine().SetOutputLine(line); }
    bool GetOutputFileOpen() const { return Engine().GetOutputFileOpen(); }
    void SetFileBufferByte(uint16_t index, uint8_t value) { Engine().SetFileBufferByte(index, value); }
    void SetFileFill(uint32_t fill) { Engine().SetFileFill(fill); }
    uint32_t GetDataPtr() const { return Engine().GetDataPtr(); }
    bool IsSuspended() const { return Engine().IsSuspended(); }
    void SetInputRetry(bool on) { Engine().SetInputRetry(on); }
    void SetTarget(uint32_t offset) { Engine().SetTarget(offset); }
    void SetTargetLocated(bool on) { Engine().SetTargetLocated(on); }
    void SetBreakpoints(std::vector<uint32_t> offsets) { Engine().SetBreakpoints(std::move(offsets)); }
    uint64_t GetExecuted() const { return Engine().GetExecuted(); }
    bool IsAnalysisDone() const { return Engine().IsAnalysisDone(); }
    void PaintMemory() { Engine().PaintMemory(); }
    void FlushOutputFile() { Engine().FlushOutputFile(); }
    void LocateTarget() { Engine().LocateTarget(); }
    void Resume() { Engine().Resume(); }
    void Terminate() { Engine().Terminate(); }
    void DisableInput() { Host.DisableInput(); }

private:
    TEngineHost& Host;
};

}  // namespace cel
