#include "cel_GuiHost.h"

#include "cel_Dialogs.h"
#include "cel_InterpreterBase.h"
#include "cel_EditWin.h"
#include "cel_Main.h"
#include "cel_MemoryWin.h"
#include "cel_OutputWin.h"
#include "cel_WaitWin.h"

#include <QApplication>
#include <QLineEdit>
#include <Qsci/qsciscintilla.h>
#include <QThread>

namespace cel {

TGuiHost::TGuiHost(TRunFlags& runFlags, QObject* parent) : QObject(parent), RunFlags(runFlags) {
    connect(&Marks.Timer, &QTimer::timeout, this, [this] {
        if (Marking()) ShowPendingMark();
        else PendingMark = -1;
    });
}

void TGuiHost::Synchronize(const std::function<void()>& fn) {
    if (QThread::currentThread() == thread()) {
        fn();
        ShowOutputAtRest();
        return;
    }
    QMetaObject::invokeMethod(this, [this, &fn] {
        fn();
        ShowOutputAtRest();
    }, Qt::BlockingQueuedConnection);
}

// The output window shows output a frame at a time; a hand-over that leaves the engine paused,
// waiting for input or finished shows all of it at once.
void TGuiHost::ShowOutputAtRest() {
    if (OutputWin == nullptr) return;
    if (!RunFlags.Running.load() || RunFlags.Paused.load() || RunFlags.WaitingForInput.load())
        OutputWin->ShowPendingOutput();
}

TRunOptions TGuiHost::ReadRunOptions() {
    TRunOptions options;
    options.Watch = MainWin->SwitchOn(TMainFace::TSwitch::Watch);
    options.CommentMarkers = MainWin->SwitchOn(TMainFace::TSwitch::CommentMarkers);
    options.ProcMode = MainWin->SwitchOn(TMainFace::TSwitch::ProcMode);
    options.Text = EditWin->Text().toStdString();
    options.OutputBufferSize = static_cast<uint32_t>(Workspace->OutputBufferSize);
    options.InputFileName = Workspace->InputFileName.toLocal8Bit().toStdString();
    options.OutputFileName = Workspace->OutputFileName.toLocal8Bit().toStdString();
    options.OutputVisible = OutputWin->isVisible();
    return options;
}

uint32_t TGuiHost::WatchDelay() { return static_cast<uint32_t>(std::max(0, Workspace->WatchDelay)); }

bool TGuiHost::MemoryVisible() { return MemoryWin->isVisible(); }

void TGuiHost::EnableWaitTimer() { WaitWin->Timer.start(); }

void TGuiHost::SetStatusTimer(bool enabled) {
    if (enabled) MainWin->Timer.start();
    else MainWin->Timer.stop();
}

void TGuiHost::PresentRunning(bool stepMode) { MainWin->PresentRunning(stepMode); }

void TGuiHost::PrepareWindows() {
    PausedInRun = false;
    ErrorPlace = -1;
    EditWin->ClearErrorMark();
    EditWin->UpdateStatus();
    MainWin->MenuClearOutputClick();
    OutputWin->MarkRunStart();
    EditWin->SetNote(QString());
    MemoryWin->SetScroll(0);
    MemoryWin->setCursor(Qt::ArrowCursor);
}

void TGuiHost::EndAnalysis() { WaitWin->EndAnalysis(); }

void TGuiHost::PresentPaused() {
    PausedInRun = true;
    ShowPendingMark();
    MainWin->PresentPaused();
}

// A watched step whose hand-off was already waiting when watching was switched off marks
// nothing: the run is back at full speed and the mark has been removed.
bool TGuiHost::Marking() const {
    return Workspace->Interpreter->GetWatch() || Workspace->Interpreter->GetStepMode();
}

void TGuiHost::ShowCurrentCommand(uint32_t origin) {
    if (!Marking()) return;
    PendingMark = origin;
    if (!Workspace->Interpreter->GetStepMode() && !Marks.Due()) return;
    ShowPendingMark();
}

// The output shown with a mark is what the steps before it printed.
void TGuiHost::ShowPendingMark() {
    if (PendingMark < 0) return;
    OutputWin->ShowPendingOutput();
    EditWin->SetSelection(static_cast<int>(PendingMark), 1);
    PendingMark = -1;
    Marks.Done();
}

void TGuiHost::StatusPaused() { EditWin->SetPanel(1, QStringLiteral("Paused")); }

// The run goes on from a pause: an illegal call's mark goes.
void TGuiHost::StatusRunning() {
    EditWin->ClearErrorMark();
    EditWin->SetPanel(1, QStringLiteral("Running"));
}

void TGuiHost::UpdateStatus() { EditWin->UpdateStatus(); }

void TGuiHost::RequestInput() {
    OutputWin->EnableInput();
    MainWin->PresentRunning(false);
    if (Workspace->ModalOpen) {
        Workspace->InputPending = true;
        ShowInformation(QApplication::activeModalWidget(), QStringLiteral("The program demands input."));
    } else {
        MainWin->ShowOutput();
        OutputWin->raise();
        OutputWin->activateWindow();
        OutputWin->EditLine->setFocus();
    }
}

void TGuiHost::DisableInput() { OutputWin->DisableInput(); }

// Once the box is answered, the caret stands on the character the error is about, marked (an
// illegal call's pause then selects it too).
void TGuiHost::ShowError(int code) {
    cel::ShowError(QApplication::activeWindow(), QString::fromStdString(ErrorText(code)));
    const int64_t place = Workspace->Interpreter->GetErrorPlace();
    if (place < 0) return;
    ErrorPlace = place;
    EditWin->MarkError(static_cast<int>(place));
}

void TGuiHost::ReportNoCommand() {
    ShowInformation(QApplication::activeWindow(),
                    QStringLiteral("No command exists at this position. Code will be run without break."));
}

void TGuiHost::PresentReady(bool caretAfterMark) {
    // A selected mark would be replaced by the next key typed (its breakpoint with it).
    if (Marking()) ShowPendingMark();
    PendingMark = -1;
    MainWin->PresentReady();
    if (EditWin->isVisible()) {
        EditWin->activateWindow();
        EditWin->Editor->setFocus();
    }
    EditWin->UpdateStatus();
    if (ErrorPlace >= 0 && !PausedInRun) EditWin->SetSelection(static_cast<int>(ErrorPlace), 0);
    else if (caretAfterMark || PausedInRun) EditWin->SetSelection(EditWin->SelStart() + 1, 0);
    MemoryWin->RedrawMemory(false);
    MemoryWin->setCursor(Qt::ArrowCursor);
    EditWin->SetPanel(2, QString());
    EditWin->SetNote(QString());
    MainWin->ShowRunCounters();
}

bool TGuiHost::OutputLineText(uint32_t index, std::string& text) { return OutputWin->OutputLineText(index, text); }

bool TGuiHost::SetOutputLineText(uint32_t index, const std::string& text) {
    return OutputWin->SetOutputLineText(index, text);
}

bool TGuiHost::AppendOutputLine() { return OutputWin->AppendOutputLine(); }

bool TGuiHost::AppendToOutputLine(uint32_t index, std::string_view text) {
    return OutputWin->AppendToOutputLine(index, text);
}

// The pause that follows is one in the past, whoever asked for the move. The engine's output
// goes on in the line that now ends the text, which a Clear Output during the run may have
// made another than the one it wrote to at that point.
bool TGuiHost::TruncateOutput(uint64_t shown) {
    MainWin->MovingBack = true;
    if (!OutputWin->TruncateRunOutput(shown, Workspace->Interpreter->GetExecuted())) return false;
    Workspace->Interpreter->SetOutputLine(OutputWin->LastLineIndex());
    return true;
}

void TGuiHost::HistoryDiscarded() {
    OutputWin->DropLaterEchoes();
    MainWin->HistoryDiscarded();
}

void TGuiHost::InputReplayed(uint64_t executed) {
    if (OutputWin->EchoAgain(executed)) Workspace->Interpreter->SetOutputLine(OutputWin->LastLineIndex());
}

TMemoryView TGuiHost::MemoryView() { return {MemoryWin->FirstCell(), MemoryWin->RowCount}; }

void TGuiHost::SetMemoryScroll(int position) { MemoryWin->SetScroll(position); }

void TGuiHost::DrawMemory(const std::vector<TMemoryLine>& lines) { MemoryWin->DrawLines(lines); }

bool ServeUntilFinished(TBFInterpreterBase& engine, const std::function<bool()>& giveUp) {
    while (!engine.IsFinished()) {
        if (giveUp && giveUp()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    engine.WaitFor();
    return true;
}

}  // namespace cel
