// The engine's host in the IDE: hands the engine's window operations to the GUI thread and
// carries them out on the windows.
#pragma once

#include "cel_EngineHost.h"

#include "cel_FramePacer.h"

#include <QObject>

namespace cel {

class TGuiHost final : public QObject, public TEngineHost {
    Q_OBJECT
public:
    // The run flags live in the windows' workspace, which outlives the host.
    explicit TGuiHost(TRunFlags& runFlags, QObject* parent = nullptr);

    TRunFlags& Flags() override { return RunFlags; }
    // Engine thread: queued to the GUI thread and waited for; every event loop of the GUI
    // thread serves it, modal ones included. On the GUI thread the function runs directly.
    void Synchronize(const std::function<void()>& fn) override;

    TRunOptions ReadRunOptions() override;
    uint32_t WatchDelay() override;
    bool MemoryVisible() override;

    void EnableWaitTimer() override;
    void SetStatusTimer(bool enabled) override;
    void PresentRunning(bool stepMode) override;
    void PrepareWindows() override;
    void EndAnalysis() override;
    void PresentPaused() override;
    void ShowCurrentCommand(uint32_t origin) override;
    void StatusPaused() override;
    void StatusRunning() override;
    void UpdateStatus() override;
    void RequestInput() override;
    void DisableInput() override;
    void ShowError(int code) override;
    void ReportNoCommand() override;
    void PresentReady(bool caretAfterMark) override;

    bool OutputLineText(uint32_t index, std::string& text) override;
    bool SetOutputLineText(uint32_t index, const std::string& text) override;
    bool AppendOutputLine() override;
    bool AppendToOutputLine(uint32_t index, std::string_view text) override;
    bool TruncateOutput(uint64_t shown) override;
    void HistoryDiscarded() override;
    void InputReplayed(uint64_t executed) override;

    TMemoryView MemoryView() override;
    void SetMemoryScroll(int position) override;
    void DrawMemory(const std::vector<TMemoryLine>& lines) override;

    TRunFlags& RunFlags;

private:
    void ShowOutputAtRest();
    // A watched run at speed marks thousands of commands a second; the editor takes the mark at
    // most once every 8 ms, the last one always, so a watch of up to 100 Hz shows each (and the
    // output window shows the output of the steps before it).
    bool Marking() const;
    void ShowPendingMark();
    int64_t PendingMark = -1;
    // The run has paused (a step, a breakpoint, the cursor's target): its end leaves no mark
    // selected, however it went on from the pause.
    bool PausedInRun = false;
    // The place of this run's structure error (-1: none): where its end leaves the caret.
    int64_t ErrorPlace = -1;
    TFramePacer Marks{8};
};

class TBFInterpreterBase;

// GUI thread: serves an ending engine's hand-offs until its thread has finished, then joins
// it. With `giveUp`, returns false as soon as that says so, leaving the engine as it is.
bool ServeUntilFinished(TBFInterpreterBase& engine, const std::function<bool()>& giveUp = {});

}  // namespace cel
