// Random sequences of the run commands against random programs, through the real windows: after
// every command the editor is read-only exactly while a program exists, the commands are
// enabled as the run state demands, every run ends soon after Program Reset, and no engine
// thread outlives its run.

#include "gui_support.h"

#include "cel_EditWin.h"
#include "cel_Main.h"
#include "cel_MemoryWin.h"
#include "cel_ModifyWin.h"
#include "cel_OutputWin.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QRandomGenerator>
#include <Qsci/qsciscintilla.h>

using namespace celtest;

namespace {

// A random program: commands, input, loops that may never end, comment lines and plain text.
QByteArray RandomProgram(QRandomGenerator& gen) {
    static const char* const pieces[] = {"+", "-", ">", "<", ".", ",", "[-]", "+[>+<-]", "[>]",
                                         "+[]", "+[-]", "+++[>++<-]>.", "\r\n", " x ", "\r\n# note +-\r\n"};
    QByteArray text;
    const int n = 1 + gen.bounded(25);
    int open = 0;
    for (int i = 0; i < n; ++i) {
        const int pick = gen.bounded(static_cast<int>(std::size(pieces)) + 2);
        if (pick == static_cast<int>(std::size(pieces))) {
            text += '[';
            ++open;
        } else if (pick == static_cast<int>(std::size(pieces)) + 1 && open > 0) {
            text += ']';
            --open;
        } else if (pick < static_cast<int>(std::size(pieces))) {
            text += pieces[pick];
        }
    }
    // Now and then a bracket stays open: the analysis reports it and no run starts.
    if (gen.bounded(8) != 0) text += QByteArray(open, ']');
    return text;
}

// Lets the engine's hand-offs run until the state stands still: no program and its engine done,
// or a pause or input wait with the engine really waiting, or a run under way for a while.
TRunState Settle() {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        const bool engineWaiting = Workspace->Interpreter->HasEngine() && Workspace->Interpreter->IsSuspended() &&
                                   Workspace->Interpreter->Engine().IsWaiting();
        const bool engineDone = !Workspace->Interpreter->HasEngine() || Workspace->Interpreter->Engine().IsFinished();
        const TRunState state = RunStateNow();
        if (state == TRunState::Ready && engineDone) return state;
        if ((state == TRunState::Paused || state == TRunState::Waiting) && engineWaiting) return state;
        if (state == TRunState::Running && timer.elapsed() > 30) return state;
    }
    return RunStateNow();
}

}  // namespace

class TestGuiStress : public TGuiTest {
    Q_OBJECT
    // The programs' own errors and the note for a cursor off the commands are expected; no other
    // box may have come up.
    void CheckCase() override {
        Windows->Dialogs.Unexpected.removeIf([](const QString& text) {
            return text.startsWith(QLatin1String("Error 10")) ||
                   text.startsWith(QLatin1String("No command exists at this position."));
        });
    }

private slots:
    void randomCommandSequences() {
        Workspace->WatchDelay = 0;
        QRandomGenerator gen(20261208);
        const int sequences = qEnvironmentVariableIntValue("CELLWRIGHT_STRESS_SEQUENCES") > 0
                                  ? qEnvironmentVariableIntValue("CELLWRIGHT_STRESS_SEQUENCES")
                                  : 60;
        int commands = 0;
        int modified = 0;
        int typed = 0;
        for (int s = 0; s < sequences; ++s) {
            const QByteArray program = RandomProgram(gen);
            EditWin->SetText(program);
            if (gen.bounded(2)) Trigger(gen.bounded(2) ? "Menu8Bit" : "Menu16Bit");
            const int length = 5 + gen.bounded(20);
            for (int c = 0; c < length; ++c) {
                QString done;
                switch (gen.bounded(9)) {
                case 0: done = Trigger("MenuDoRun") ? "Run" : ""; break;
                case 1:
                case 2: done = Trigger("MenuTrace") ? "Trace" : ""; break;
                case 3: done = Trigger("MenuDebug") ? "Debug" : ""; break;
                case 4:
                    EditWin->SetSelection(gen.bounded(program.size() + 1), 0);
                    done = Trigger("MenuRunToCursor") ? "RunToCursor" : "";
                    break;
                case 5: done = Trigger("MenuWatch") ? "Watch" : ""; break;
                case 6:
                    if (Workspace->WaitingForInput()) {
                        EnterLine(QString::number(gen.bounded(1000)));
                        done = "Input";
                        ++typed;
                    }
                    break;
                case 7:
                    if (celtest::Action("MenuModifyMemory")->isEnabled()) {
                        const int value = gen.bounded(70000);
                        RunModal(ModifyWin, [] { return Trigger("MenuModifyMemory"); }, [value] {
                            ModifyWin->findChild<QLineEdit*>(QStringLiteral("DecEdit"))->setText(QString::number(value));
                            ModifyWin->accept();
                        });
                        done = "Modify";
                        ++modified;
                    }
                    break;
                default: done = Trigger("MenuReset") ? "Reset" : ""; break;
                }
                if (done.isEmpty()) continue;
                ++commands;
                // The state is read after the hand-offs ran; a hand-off still under way when it
                // is read gets a moment to finish before the enabling counts as wrong.
                QStringList wrong;
                for (int attempt = 0; attempt < 50; ++attempt) {
                    wrong = WrongEnabling(Settle());
                    if (wrong.isEmpty()) break;
                    QTest::qWait(10);
                }
                QVERIFY2(wrong.isEmpty(), qPrintable(QStringLiteral("sequence %1 after %2: %3")
                                                         .arg(s)
                                                         .arg(done, wrong.join(QStringLiteral(", ")))));
            }
            // Every run ends soon after Program Reset, and its engine thread with it.
            if (Workspace->Running()) QVERIFY(Trigger("MenuReset"));
            QVERIFY2(WaitReady(10000), qPrintable(QStringLiteral("sequence %1 did not end").arg(s)));
            QVERIFY(!Workspace->Interpreter->HasEngine() || Workspace->Interpreter->Engine().IsFinished());
            QVERIFY(WrongEnabling(TRunState::Ready).isEmpty());
            if (celtest::Action("MenuWatch")->isChecked()) Trigger("MenuWatch");
        }
        qInfo("%d sequences, %d commands (%d typed inputs, %d cells modified)", sequences, commands, typed,
              modified);
    }
};

QTEST_MAIN(TestGuiStress)
#include "test_gui_stress.moc"
