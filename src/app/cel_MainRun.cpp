// TMainWin: the Run menu's commands and the enabling changes the engine announces.

#include "cel_Main.h"

#include "cel_EditWin.h"
#include "cel_MemoryWin.h"
#include "cel_OutputWin.h"
#include "cel_BreakpointsWin.h"
#include "cel_ProfileWin.h"
#include "cel_WaitWin.h"

#include <QDateTime>
#include <QLocale>
#include <QMenu>
#include <QThread>

#include <algorithm>
#include <optional>
#include <string_view>
#include <cstdlib>
#include <utility>

// ---------------------------------------------------------------------------------------------
// Run commands

bool TMainWin::EngineIdle() {
    if (!Interpreter.Engine8 && !Interpreter.Engine16) return true;
    for (cel::TBFInterpreterBase* engine :
         {static_cast<cel::TBFInterpreterBase*>(Interpreter.Engine8.get()),
          static_cast<cel::TBFInterpreterBase*>(Interpreter.Engine16.get())}) {
        if (!engine) continue;
        // An engine that has not been started, or that is about to finish, is waited for here
        // while its last hand-offs are served; a running program is never waited for.
        if (engine->IsSuspended() && !Running()) continue;
        if (!cel::ServeUntilFinished(*engine, [this] { return Running(); })) return false;
    }
    return true;
}

void TMainWin::PrepareRun() {
    LastInstructionCount = 0;
    StartTime = QDateTime::currentMSecsSinceEpoch();
    PauseTimes.clear();
    Furthest = 0;
    MovingBack = false;
}

void TMainWin::SetRunningCommands() {
    EnableGroup(TGroup::Start, false);
    EnableGroup(TGroup::Modify, false);
    EnableGroup(TGroup::Back, false);
    EnableGroup(TGroup::Continue, true);
}

void TMainWin::StartEngine() {
    StartingRun = true;
    WaitWin->exec();
    StartingRun = false;
}

void TMainWin::StartOrContinueRun() {
    if (Running()) {
        SetRunningCommands();
        Interpreter.Continue();
        return;
    }
    if (!EngineIdle()) return;
    ShowOutput();
    PrepareRun();
    Interpreter.Prepare(!Menu8Bit->isChecked(), cel::TBFInterpreter::TStart::Run, 0, EditWin->Breakpoints());
    GiveDebugging();
    StartEngine();
}

void TMainWin::ClearRunCounters() {
    EditWin->SetPanel(3, QString());
    EditWin->SetPanel(4, QString());
}

void TMainWin::MenuDoRunClick() {
    if (StartingRun || Resetting) return;
    QThread::msleep(20);
    ClearRunCounters();
    StartOrContinueRun();
    MemoryWin->setCursor(Qt::ArrowCursor);
    MemoryWin->RedrawMemory(false);
}

void TMainWin::MenuTraceClick() {
    if (StartingRun || Resetting) return;
    if (!Running()) {
        if (!EngineIdle()) return;
        ShowOutput();
        PrepareRun();
        Interpreter.Prepare(!Menu8Bit->isChecked(), cel::TBFInterpreter::TStart::Trace, 0, EditWin->Breakpoints());
        GiveDebugging();
        StartEngine();
    } else {
        Interpreter.Step();
    }
}

void TMainWin::MenuDebugClick() {
    if (Running()) Interpreter.Pause();
}

void TMainWin::MenuRunToCursorClick() {
    if (StartingRun || Resetting) return;
    const bool running = Running();
    if (!running && !EngineIdle()) return;
    SetRunningCommands();
    MemoryWin->setCursor(Qt::ArrowCursor);
    const auto target = static_cast<uint32_t>(EditWin->SelStart());
    if (running) {
        Interpreter.RunToCursor(target);
        return;
    }
    ShowOutput();
    PrepareRun();
    Interpreter.Prepare(!Menu8Bit->isChecked(), cel::TBFInterpreter::TStart::RunToCursor, target,
                        EditWin->Breakpoints());
    GiveDebugging();
    StartEngine();
}

bool TMainWin::MayMoveBack() const {
    return !StartingRun && !Resetting && Running() && Paused() && Interpreter.HasEngine() && Interpreter.CanGoBack();
}

void TMainWin::BeginMoveBack() {
    MovingBack = true;
    EditWin->SetNote(QString());
}

void TMainWin::MenuStepBackClick() {
    if (!MayMoveBack()) return;
    BeginMoveBack();
    if (!Interpreter.StepBack()) MovingBack = false;
}

// Like Run and Run to Cursor: Debug stops a watched move, and the pause at its end enables the
// commands of a pause again. The engine presents that pause only once this handler has returned.
void TMainWin::MenuRunBackwardsClick() {
    if (!MayMoveBack()) return;
    BeginMoveBack();
    if (!Interpreter.RunBackwards()) {
        MovingBack = false;
        return;
    }
    SetRunningCommands();
    MemoryWin->setCursor(Qt::ArrowCursor);
}

void TMainWin::MenuBackToCursorClick() {
    if (!MayMoveBack()) return;
    BeginMoveBack();
    if (!Interpreter.BackToCursor(static_cast<uint32_t>(EditWin->SelStart()))) {
        MovingBack = false;
        return;
    }
    SetRunningCommands();
    MemoryWin->setCursor(Qt::ArrowCursor);
}

void TMainWin::MenuResetClick() {
    if (!Running() || Resetting) return;
    Interpreter.Reset();
    // The program ends at once (at full speed, at the engine's next check). Its last hand-offs
    // are served here, so that a Run given right after the reset finds no program in existence
    // and starts a new one instead of "continuing" the one that is on its way out.
    Resetting = true;
    cel::ServeUntilFinished(Interpreter.Engine());
    Resetting = false;
}

void TMainWin::MenuWatchClick() {
    // The item and the button are check items that toggle themselves before their handler
    // runs; any other caller inverts the item's state.
    bool on = !MenuWatch->isChecked();
    if (sender() == MenuWatch) on = MenuWatch->isChecked();
    else if (sender() == BtnWatch) on = BtnWatch->isChecked();
    MenuWatch->setChecked(on);
    BtnWatch->setChecked(on);
    if (Running() && Interpreter.SwitchWatch(on)) EditWin->SetSelection(EditWin->SelStart(), 0);
}

void TMainWin::MenuModifyMemoryClick() {
    if (!Running() || !Paused()) return;
    MemoryWin->ModifyCell(static_cast<int>(Interpreter.GetDataPtr()));
}

void TMainWin::Menu8BitClick() {
    Btn8Bit->setChecked(true);
    Menu8Bit->setChecked(true);
}

void TMainWin::Menu16BitClick() {
    Btn16Bit->setChecked(true);
    Menu16Bit->setChecked(true);
}

void TMainWin::MenuPBrainClick() { BtnPBrain->setChecked(MenuPBrain->isChecked()); }

void TMainWin::BtnPBrainClick() { MenuPBrain->setChecked(BtnPBrain->isChecked()); }

void TMainWin::MenuClearOutputClick() {
    OutputWin->Clear();
    if (Running()) Interpreter.SetOutputLine(0);
}

void TMainWin::TimerTimer() {
    if (!Interpreter.HasEngine()) return;
    const int64_t c = static_cast<int64_t>(Interpreter.GetExecuted());
    // A backward move lowers the count: nothing ran forward.
    const int64_t rate = std::max<int64_t>(0, c - LastInstructionCount) / 2;
    const QLocale locale;
    EditWin->SetPanel(2, locale.toString(static_cast<qlonglong>(rate)) + QStringLiteral(" ips"));
    LastInstructionCount = static_cast<int64_t>(Interpreter.GetExecuted());
    ShowRunCounters();
}

qint64 TMainWin::ElapsedMs() const { return std::llabs(QDateTime::currentMSecsSinceEpoch() - StartTime); }

void TMainWin::ShowRunCounters() { ShowCounters(ElapsedMs()); }

void TMainWin::ShowCounters(std::optional<qint64> elapsedMs) {
    if (!Interpreter.HasEngine()) return;
    const QLocale locale;
    EditWin->SetPanel(3, locale.toString(static_cast<qulonglong>(Interpreter.GetExecuted())) +
                             QStringLiteral(" i"));
    if (!elapsedMs) return;
    const double seconds = static_cast<double>(*elapsedMs) / 1000.0;
    EditWin->SetPanel(4, locale.toString(seconds, 'f', 3) + QStringLiteral(" s"));
}

void TMainWin::ShowPauseCounters() {
    if (!Interpreter.HasEngine()) return;
    const uint64_t count = Interpreter.GetExecuted();
    const bool back = std::exchange(MovingBack, false);
    if (const auto known = PauseTimes.find(count); known != PauseTimes.end() && count <= Furthest) {
        ShowCounters(known->second);
        return;
    }
    if (back || count < Furthest) {
        ShowCounters(std::nullopt);
        return;
    }
    const qint64 elapsed = ElapsedMs();
    PauseTimes[count] = elapsed;
    Furthest = count;
    ShowCounters(elapsed);
}

void TMainWin::HistoryDiscarded() {
    EditWin->SetNote(QStringLiteral("History after this point discarded"));
    // The times of the counts after this point belong to the future that is gone.
    const uint64_t count = Interpreter.GetExecuted();
    PauseTimes.erase(PauseTimes.upper_bound(count), PauseTimes.end());
    Furthest = std::min(Furthest, count);
}

QByteArray TMainWin::LineBreakReport() const {
    if (Menu0x0D0A->isChecked()) return QByteArray("\r\n");
    if (Menu0x0D->isChecked()) return QByteArray("\r");
    if (Menu0x0A0D->isChecked()) return QByteArray("\n\r");
    if (MenuNoLineBreak->isChecked()) return QByteArray();
    return QByteArray("\n");
}

// The enabling changes announced by the engine.

void TMainWin::PresentRunning(bool stepMode) {
    EditWin->SetReadOnly(true);
    EnableGroup(TGroup::Ready, false);
    MenuEdit->setEnabled(false);
    EnableGroup(TGroup::Stop, true);
    if (!stepMode) SetRunningCommands();
}

void TMainWin::PresentPaused() {
    EnableGroup(TGroup::Start, true);
    EnableGroup(TGroup::Continue, false);
    EnableGroup(TGroup::Modify, !MenuSetInputFile->isEnabled());
    PresentPauseReason();
    PresentProfile();
    EnableGroup(TGroup::Back, Interpreter.CanGoBack());
    MemoryWin->setCursor(Qt::PointingHandCursor);
    // The count and time of this pause, not those of the last status tick or an earlier run.
    ShowPauseCounters();
}

void TMainWin::PresentReady() {
    EditWin->SetReadOnly(false);
    EnableGroup(TGroup::Ready, true);
    MenuEdit->setEnabled(true);
    EnableGroup(TGroup::Start, true);
    EnableGroup(TGroup::Continue, false);
    EnableGroup(TGroup::Modify, false);
    EnableGroup(TGroup::Back, false);
    EnableGroup(TGroup::Stop, false);
    MovingBack = false;
    PresentProfile();
}

// ---------------------------------------------------------------------------------------------
// Breakpoints and brackets

void TMainWin::MenuToggleBreakpointClick() { EditWin->ToggleBreakpointAtCaret(); }

void TMainWin::MenuClearBreakpointsClick() { EditWin->ClearBreakpoints(); }

void TMainWin::MenuMatchBracketClick() { EditWin->GoToMatchingBracket(); }

// ---------------------------------------------------------------------------------------------
// Watchpoints, conditions, stepping over and out, the profile

void TMainWin::GiveDebugging() {
    EditWin->GiveBreakpoints();
    GiveWatchpoints();
    ProfiledRun = MenuProfile->isChecked();
    Interpreter.SetProfile(ProfiledRun);
    EditWin->ClearProfile();
    EditWin->SetNote(QString());
    if (ProfileWin) ProfileWin->ShowLoops({}, 0);
}

void TMainWin::GiveWatchpoints() {
    if (!Interpreter.HasEngine()) return;
    GivenWatchpoints = EditWin->Watchpoints();
    Interpreter.SetWatchpoints(GivenWatchpoints);
}

void TMainWin::WatchpointsChanged() {
    if (!EditWin || !MenuBreakOnChange) return;
    if (Running() && Paused()) {
        GiveWatchpoints();
        const uint8_t kinds = EditWin->WatchKinds(Interpreter.GetDataPtr(), true);
        MenuBreakOnChange->setChecked(kinds & cel::WatchChange);
        MenuBreakOnArrival->setChecked(kinds & cel::WatchArrival);
    } else if (!Running()) {
        MenuBreakOnChange->setChecked(false);
        MenuBreakOnArrival->setChecked(false);
    }
    if (MemoryWin && Running()) MemoryWin->RedrawMemory(false);
}

void TMainWin::PresentPauseReason() {
    const uint32_t cell = Interpreter.GetDataPtr();
    const uint8_t kinds = EditWin->WatchKinds(cell, true);
    MenuBreakOnChange->setChecked(kinds & cel::WatchChange);
    MenuBreakOnArrival->setChecked(kinds & cel::WatchArrival);
    const cel::TPauseInfo info = Interpreter.GetPauseInfo();
    static const QString prefix = QStringLiteral("Watchpoint: ");
    if (info.Reason != cel::TPauseReason::Watchpoint || info.Index >= GivenWatchpoints.size()) {
        if (EditWin->PanelNote->text().startsWith(prefix)) EditWin->SetNote(QString());
        return;
    }
    const cel::TWatchpoint& watchpoint = GivenWatchpoints[info.Index];
    const uint32_t now = Interpreter.GetCell(static_cast<uint16_t>(watchpoint.Cell));
    // A change shows the value before and after; an arrival (or a change that came back to the
    // old value by the same command) the value found.
    if ((watchpoint.Kinds & cel::WatchChange) && now != info.OldValue)
        EditWin->SetNote(prefix + QStringLiteral("cell %1 changed from %2 to %3").arg(watchpoint.Cell).arg(info.OldValue).arg(now));
    else
        EditWin->SetNote(prefix + QStringLiteral("arrived at cell %1 (value %2)").arg(watchpoint.Cell).arg(now));
}

void TMainWin::PresentProfile() {
    if (!ProfiledRun || !Interpreter.HasEngine()) return;
    const std::vector<uint64_t> counts = Interpreter.GetCommandCounts();
    if (counts.empty()) return;
    // A finished run has let its program go: the text, unchanged since (the editor was read-only),
    // is read again with the run's switches.
    const cel::TProgram* program = &Interpreter.Engine().GetProgram();
    std::optional<cel::TProgram> reread;
    if (program->CommandCount != counts.size()) {
        const QByteArray text = EditWin->Text();
        reread.emplace(std::string_view(text.constData(), size_t(text.size())), MenuEnableComments->isChecked(),
                       MenuPBrain->isChecked());
        program = &*reread;
        if (program->CommandCount != counts.size()) return;
    }
    std::vector<uint32_t> origins;
    origins.reserve(program->CommandCount);
    for (uint32_t i = 0; i < program->CommandCount; ++i) origins.push_back(program->CommandList[i].Origin);
    EditWin->ShowProfile(origins, counts);
    if (!ProfileWin) {
        ProfileWin = new TProfileWin(this);
        // First shown in the editor's upper right corner, clear of the text's start.
        const QRect editor = EditWin->frameGeometry();
        ProfileWin->move(std::max(editor.left(), editor.right() - ProfileWin->width() - 24), editor.top() + 60);
    }
    ProfileWin->ShowLoops(cel::HottestLoops(*program, counts, 50), Interpreter.GetExecuted());
    if (!ProfileWin->isVisible()) ProfileWin->show();
}

void TMainWin::StepOverOrOut(bool out) {
    if (StartingRun || Resetting) return;
    // Without a program it starts one paused before its first command, as Trace does.
    if (!Running()) {
        MenuTraceClick();
        return;
    }
    if (!Paused()) return;
    // Like Run to Cursor: the move may take long at full speed, and Debug stops it.
    SetRunningCommands();
    MemoryWin->setCursor(Qt::ArrowCursor);
    if (out) Interpreter.StepOut();
    else Interpreter.StepOver();
}

void TMainWin::MenuStepOverClick() { StepOverOrOut(false); }

void TMainWin::MenuStepOutClick() { StepOverOrOut(true); }

void TMainWin::MenuBreakOnChangeClick() {
    if (!Running() || !Paused()) return;
    EditWin->SetWatchKind(Interpreter.GetDataPtr(), cel::WatchChange, MenuBreakOnChange->isChecked());
}

void TMainWin::MenuBreakOnArrivalClick() {
    if (!Running() || !Paused()) return;
    EditWin->SetWatchKind(Interpreter.GetDataPtr(), cel::WatchArrival, MenuBreakOnArrival->isChecked());
}

void TMainWin::MenuClearWatchpointsClick() {
    if (Running() && !Paused()) return;
    EditWin->SetWatchpoints({});
}

void TMainWin::MenuBreakpointsClick() {
    if (Running() && !Paused()) return;
    const TModalScope scope(TModalScope::Modal | TModalScope::Dialog | TModalScope::PendingInput);
    TBreakpointsWin dialog(this);
    dialog.exec();
}
