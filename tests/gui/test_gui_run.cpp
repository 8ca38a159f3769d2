// The IDE end to end: starting, running, tracing, typing input and closing, through the real
// windows on the offscreen platform.

#include "gui_support.h"

#include "cel_EditWin.h"
#include "cel_EngineHost.h"
#include "cel_Main.h"
#include "cel_MemoryWin.h"
#include "cel_OutputWin.h"
#include "cel_ProfileWin.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QLabel>
#include <QLineEdit>
#include <QTabBar>
#include <QTreeWidget>
#include <Qsci/qsciscintilla.h>

using namespace celtest;

class TestGuiRun : public TGuiTest {
    Q_OBJECT
private slots:
    void startsWithOneUntitledDocument() {
        QCOMPARE(MainWin->windowTitle(), QStringLiteral("Cellwright 1.4.7"));
        QVERIFY(EditWin->isVisible() && OutputWin->isVisible() && MemoryWin->isVisible());
        QCOMPARE(EditWin->Tabs->count(), 1);
        QCOMPARE(EditWin->Tabs->tabText(0), QStringLiteral("Unknown1"));
        QCOMPARE(EditWin->windowTitle(), QStringLiteral("Source Editor - Unknown1"));
        QCOMPARE(EditWin->PanelText(0), QStringLiteral("1 : 1"));
        QCOMPARE(EditWin->PanelText(1), QStringLiteral("Ready"));
        QVERIFY(!celtest::Action("MenuDebug")->isEnabled());
        QVERIFY(!celtest::Action("MenuReset")->isEnabled());
        QVERIFY(!celtest::Action("MenuModifyMemory")->isEnabled());
    }

    void runPrintsIntoTheOutputWindow() {
        EditWin->SetText("++++++++[>++++++++<-]>+.+.\r\n[-]++++++++++.");
        QVERIFY(Trigger("MenuDoRun"));
        QVERIFY(WaitReady());
        QCOMPARE(OutputWin->Text(), QByteArray("AB\r\n"));
        QCOMPARE(EditWin->PanelText(1), QStringLiteral("Ready"));
        QVERIFY(EditWin->PanelText(3).endsWith(QStringLiteral(" i")));
        QVERIFY(celtest::Action("MenuDoRun")->isEnabled());
        QVERIFY(!celtest::Action("MenuReset")->isEnabled());
        QVERIFY(!EditWin->Editor->isReadOnly());
    }

    void traceStepsAndResetEnds() {
        QVERIFY(StartSuspended("+\r\n+", "MenuTrace"));
        QCOMPARE(EditWin->SelStart(), 0);
        QCOMPARE(EditWin->SelLength(), 1);
        QCOMPARE(EditWin->PanelText(1), QStringLiteral("Paused"));
        QVERIFY(EditWin->Editor->isReadOnly());
        QVERIFY(celtest::Action("MenuDoRun")->isEnabled() && !celtest::Action("MenuDebug")->isEnabled());
        QVERIFY(celtest::Action("MenuModifyMemory")->isEnabled());
        QVERIFY(!celtest::Action("MenuNew")->isEnabled() && !celtest::Menu("MenuEdit")->isEnabled());
        QVERIFY(Trigger("MenuTrace"));
        QVERIFY(WaitSuspended());
        QCOMPARE(EditWin->SelStart(), 3);  // the line break counts two characters
        // Exit is refused while a program exists.
        Windows->Dialogs.Expect(QStringLiteral("You cannot exit while running a program."));
        QVERIFY(!MainWin->close());
        QVERIFY(Trigger("MenuReset"));
        QVERIFY(WaitReady());
        QCOMPARE(EditWin->PanelText(1), QStringLiteral("Ready"));
        QCOMPARE(EditWin->SelLength(), 0);
        QCOMPARE(EditWin->SelStart(), 4);  // just after the last marked command
        QVERIFY(!celtest::Action("MenuModifyMemory")->isEnabled());
    }

    void typedInputReachesTheProgram() {
        QVERIFY(StartSuspended(",.,.", "MenuDoRun"));
        QVERIFY(Workspace->WaitingForInput());
        QVERIFY(OutputWin->EditLine->isEnabled());
        EnterLine(QStringLiteral("Z"));
        QVERIFY(WaitReady());
        // The echo, the reported line break, then the two bytes the program wrote back.
        QCOMPARE(OutputWin->Text(), QByteArray("Z\r\nZ\r\n"));
        QVERIFY(!OutputWin->EditLine->isEnabled());
    }

    // A message about the typed input takes the activation away (a window manager hands it to
    // the main window); once it is answered, the field in use has the focus again, so the next
    // keys reach it.
    void focusReturnsToTheFieldAfterAMessage_data() {
        QTest::addColumn<bool>("number");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty line, no line break")
            << false << QString() << QStringLiteral("You did not enter any data. Please try again.");
        QTest::newRow("illegal number") << true << QStringLiteral("12a")
                                        << QStringLiteral("You did not enter a legal number. Please try again.");
    }
    void focusReturnsToTheFieldAfterAMessage() {
        QFETCH(bool, number);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        celtest::Action("MenuNoLineBreak")->trigger();
        QVERIFY(StartSuspended(",.", "MenuDoRun"));
        QLineEdit* field = number ? OutputWin->EditNumber : OutputWin->EditLine;
        OutputWin->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(OutputWin));
        field->setFocus(Qt::MouseFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), field);
        QCOMPARE(OutputWin->LastInputEdit, field);
        field->setText(typed);
        bool movedAway = false;
        Windows->Dialogs.WhileShown = [&movedAway] {
            MainWin->activateWindow();
            movedAway = QTest::qWaitForWindowActive(MainWin);
        };
        Windows->Dialogs.Expect(message);
        OutputWin->BtnOkClick();
        Windows->Dialogs.WhileShown = nullptr;
        QVERIFY(movedAway);
        QVERIFY(Windows->Dialogs.Messages.empty());
        QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget*>(OutputWin));
        QTRY_COMPARE(QApplication::focusWidget(), field);
        QCOMPARE(field->text(), typed);  // kept for correcting
        QVERIFY(Workspace->WaitingForInput());
        // What is typed next goes to the program: the wrong number corrected, or a letter.
        QWidget* focused = QApplication::focusWidget();
        for (qsizetype i = 0; i < typed.size(); ++i) QTest::keyClick(focused, Qt::Key_Backspace);
        QTest::keyClicks(focused, number ? QStringLiteral("65") : QStringLiteral("Q"));
        QTest::keyClick(focused, Qt::Key_Return);
        QVERIFY(WaitReady());
        // A number is not echoed; a line is, and the program prints what it read.
        QCOMPARE(OutputWin->Text(), number ? QByteArray("A") : QByteArray("QQ"));
    }

    void aWholeSessionEndsWithTheMainWindow() {
        // Start, run with output and input, step, then close the program as the user does.
        QVERIFY(StartSuspended(",.+.", "MenuDoRun"));
        EnterLine(QStringLiteral("A"));
        QVERIFY(WaitReady());
        QCOMPARE(OutputWin->Text(), QByteArray("A\r\nAB"));
        QVERIFY(Trigger("MenuTrace"));
        QVERIFY(WaitSuspended());
        QVERIFY(Trigger("MenuReset"));
        QVERIFY(WaitReady());
        QVERIFY(MainWin->close());
        QVERIFY(!MainWin->isVisible());
        QVERIFY(QFile::exists(Windows->SettingsDir.filePath(QStringLiteral("cellwr.ini"))));
    }

    // Output reaches the box a frame at a time while a run goes on; a hand-over that leaves the
    // engine paused, waiting for input or finished shows all output so far at once.
    void outputAtRestIsAllShown_data() {
        QTest::addColumn<int>("rest");
        QTest::newRow("paused") << 0;
        QTest::newRow("waiting for input") << 1;
        QTest::newRow("finished") << 2;
    }

    void outputAtRestIsAllShown() {
        QFETCH(int, rest);
        cel::TEngineHost& host = TMainWinProbe::Host();
        cel::TRunFlags& flags = host.Flags();
        flags.Running.store(true);
        QString shown;
        host.Synchronize([&] {
            for (uint32_t line = 0; line < 100; ++line) {
                QVERIFY(host.AppendToOutputLine(line, "output"));
                QVERIFY(host.AppendOutputLine());
                shown += QStringLiteral("output\n");
            }
        });
        (rest == 0 ? flags.Paused : rest == 1 ? flags.WaitingForInput : flags.Running).store(rest != 2);
        host.Synchronize([] {});
        const QString box = OutputWin->Output->toPlainText();
        flags.Running.store(false);
        flags.Paused.store(false);
        flags.WaitingForInput.store(false);
        OutputWin->Clear();
        QCOMPARE(box, shown);
    }

    // Stepping back through a traced run that read a line: each pause in the past shows the
    // output, the count, the mark and the time the run showed at that count; going forward
    // again replays without asking for input; Back to Cursor goes to the last time the command
    // at the caret was about to run, Run Backwards to the run's start, where nothing goes back.
    void stepsBackInTime() {
        QVERIFY(StartSuspended(",[.,]", "MenuTrace"));
        QVERIFY(!celtest::Action("MenuStepBack")->isEnabled());
        QStringList times{EditWin->PanelText(4)};  // by executed count
        QTest::qWait(3);  // the clock moves on between the pauses
        QVERIFY(Trigger("MenuTrace"));
        QVERIFY(WaitSuspended());
        QVERIFY(Workspace->WaitingForInput());
        EnterLine(QStringLiteral("abc"));
        QVERIFY(WaitSuspended());
        times << EditWin->PanelText(4);
        for (int count = 2; count <= 6; ++count) {
            QTest::qWait(3);
            QVERIFY(Trigger("MenuTrace"));
            QVERIFY(WaitSuspended());
            times << EditWin->PanelText(4);
        }
        QCOMPARE(OutputWin->Text(), QByteArray("abc\r\nab"));
        TMainWinProbe::TimerTimer();  // the rate's count taken at 6
        QTest::qWait(3);
        for (const int count : {5, 4}) {
            QVERIFY(Trigger("MenuStepBack"));
            QVERIFY(WaitSuspended());
            QCOMPARE(Workspace->Interpreter->GetExecuted(), uint64_t(count));
            QCOMPARE(EditWin->PanelText(3), QStringLiteral("%1 i").arg(count));
            QCOMPARE(EditWin->PanelText(4), times[count]);
        }
        QCOMPARE(OutputWin->Text(), QByteArray("abc\r\na"));
        TMainWinProbe::TimerTimer();
        QCOMPARE(EditWin->PanelText(2), QStringLiteral("0 ips"));  // the count went down
        QCOMPARE(EditWin->SelStart(), 4);  // the ] about to run
        QCOMPARE(EditWin->PanelText(1), QStringLiteral("Paused"));
        QCOMPARE(WrongEnabling(TRunState::Paused), QStringList());
        for (int count = 5; count <= 6; ++count) {
            QVERIFY(Trigger("MenuTrace"));
            QVERIFY(WaitSuspended());
            QVERIFY(!Workspace->WaitingForInput());
            QCOMPARE(EditWin->PanelText(4), times[count]);
        }
        QCOMPARE(OutputWin->Text(), QByteArray("abc\r\nab"));
        EditWin->SetSelection(2, 0);
        QVERIFY(Trigger("MenuBackToCursor"));
        QVERIFY(WaitSuspended());
        QCOMPARE(Workspace->Interpreter->GetExecuted(), 5u);
        QCOMPARE(EditWin->SelStart(), 2);
        QCOMPARE(OutputWin->Text(), QByteArray("abc\r\na"));
        QVERIFY(Trigger("MenuRunBackwards"));
        QVERIFY(WaitSuspended());
        QCOMPARE(Workspace->Interpreter->GetExecuted(), 0u);
        QCOMPARE(OutputWin->Text(), QByteArray());
        QCOMPARE(EditWin->PanelText(4), times[0]);
        QCOMPARE(WrongEnabling(TRunState::Paused), QStringList());
        QVERIFY(!celtest::Action("MenuStepBack")->isEnabled());
        // Forward again over the read: the line comes from the history, and its echo with it.
        for (int count = 1; count <= 3; ++count) {
            QVERIFY(Trigger("MenuTrace"));
            QVERIFY(WaitSuspended());
            QVERIFY(!Workspace->WaitingForInput());
        }
        QCOMPARE(OutputWin->Text(), QByteArray("abc\r\na"));
        QVERIFY(Trigger("MenuReset"));
        QVERIFY(WaitReady());
        QCOMPARE(WrongEnabling(TRunState::Ready), QStringList());
    }

    // A change of the past discards the recorded future: a quiet note in the editor's status
    // bar, gone with the next backward move and the next run.
    void discardedHistoryIsNoted() {
        QVERIFY(StartSuspended("+++", "MenuTrace"));
        QVERIFY(Trigger("MenuTrace"));
        QVERIFY(WaitSuspended());
        QVERIFY(Trigger("MenuTrace"));
        QVERIFY(WaitSuspended());
        QVERIFY(Trigger("MenuStepBack"));
        QVERIFY(WaitSuspended());
        QCOMPARE(EditWin->PanelNote->text(), QString());
        // A cell changed as the modify dialog changes it.
        Workspace->Interpreter->SetCell(0, 7);
        QCOMPARE(EditWin->PanelNote->text(), QStringLiteral("History after this point discarded"));
        QVERIFY(Windows->Dialogs.Shown.isEmpty());
        QVERIFY(Trigger("MenuStepBack"));
        QVERIFY(WaitSuspended());
        QCOMPARE(EditWin->PanelNote->text(), QString());
        TMainWinProbe::Host().HistoryDiscarded();
        QVERIFY(Trigger("MenuReset"));
        QVERIFY(WaitReady());
        QCOMPARE(EditWin->PanelNote->text(), QString());
    }

    void structureErrorIsReported() {
        EditWin->SetText("+[");
        Windows->Dialogs.Expect(QStringLiteral("Error 101: Closing bracket expected."));
        QVERIFY(Trigger("MenuDoRun"));
        QVERIFY(WaitReady());
        QVERIFY(Windows->Dialogs.Messages.empty());
    }

    // Once an error's box is answered, the caret stands on the character the error is about,
    // marked until the next edit; an illegal call's pause selects the ':' as well, and the run
    // going on takes the mark away.
    void errorPointsAtItsPlace_data() {
        QTest::addColumn<QByteArray>("program");
        QTest::addColumn<bool>("pbrain");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("place");
        QTest::newRow("101") << QByteArray("+[\r\n[-]") << false << "Error 101: Closing bracket expected." << 1;
        QTest::newRow("102") << QByteArray("+\r\n-]") << false << "Error 102: Opening bracket expected." << 4;
        QTest::newRow("106") << QByteArray("(+(-)") << true << "Error 106: Right parenthesis expected." << 0;
        QTest::newRow("107") << QByteArray("+)") << true << "Error 107: Left parenthesis expected." << 1;
        QTest::newRow("108") << QByteArray("[(])") << true << "Error 108: Intersecting brackets." << 2;
        QTest::newRow("109") << QByteArray("+\r\n-:+") << true << "Error 109: Illegal procedure call." << 4;
    }
    void errorPointsAtItsPlace() {
        QFETCH(QByteArray, program);
        QFETCH(bool, pbrain);
        QFETCH(QString, message);
        QFETCH(int, place);
        const auto marked = [] {
            QList<int> at;
            for (int p = 0; p < EditWin->Text().size(); ++p)
                if (EditWin->Editor->SendScintilla(QsciScintillaBase::SCI_INDICATORVALUEAT,
                                                   static_cast<unsigned long>(TEditWin::ErrorIndicator), long(p)))
                    at.append(p);
            return at;
        };
        celtest::Action("MenuPBrain")->setChecked(pbrain);
        EditWin->SetText(program);
        EditWin->SetSelection(program.size(), 0);
        Windows->Dialogs.Expect(message);
        QVERIFY(Trigger("MenuDoRun"));
        if (message.contains(QLatin1String("109"))) {
            QVERIFY(WaitSuspended());
            QCOMPARE(EditWin->SelStart(), place);
            QCOMPARE(EditWin->SelLength(), 1);
            QCOMPARE(marked(), QList<int>{place});
            QVERIFY(Trigger("MenuReset"));
            QVERIFY(WaitReady());
            QVERIFY(marked().isEmpty());
            return;
        }
        QVERIFY(WaitReady());
        QVERIFY(Windows->Dialogs.Messages.empty());
        QCOMPARE(EditWin->SelStart(), place);
        QCOMPARE(EditWin->SelLength(), 0);
        QCOMPARE(marked(), QList<int>{place});
        EditWin->Editor->insertAt(QStringLiteral(" "), 0, 0);
        QVERIFY(marked().isEmpty());
    }

    // End in the input panel, or Ctrl+D in its line field: the program that reads to the end of
    // its input (echo.b, which prints each line it reads) finds the end and finishes.
    void endOfInputFinishesTheProgram_data() {
        QTest::addColumn<bool>("key");
        QTest::newRow("End") << false;
        QTest::newRow("Ctrl+D") << true;
    }
    void endOfInputFinishesTheProgram() {
        QFETCH(bool, key);
        celtest::Action("MenuNoLineBreak")->trigger();
        QFile file(QStringLiteral(CELLWRIGHT_SOURCE_DIR "/examples/echo.b"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(StartSuspended(file.readAll().replace("\n", "\r\n"), "MenuDoRun"));
        EnterLine(QStringLiteral("abc"));
        QVERIFY(WaitSuspended());
        QVERIFY(Workspace->WaitingForInput() && OutputWin->BtnEnd->isEnabled());
        if (key) Press(OutputWin->EditLine, Qt::Key_D, Qt::ControlModifier);
        else OutputWin->BtnEnd->click();
        QVERIFY(WaitReady());
        // The echo of the line, the program's copy of it, and its closing line feed.
        QCOMPARE(OutputWin->Text(), QByteArray("abcabc\r\n"));
        QVERIFY(!OutputWin->BtnEnd->isEnabled());
    }

    void profileTintsTheCommandsAndListsTheHottestLoops() {
        // Offsets: 0-2 +, 3 [, 4 -, 5 >, 6 [, 7 -, 8 ], 9 <, 10 ]
        EditWin->SetText("+++[->[-]<]");
        QVERIFY(!celtest::Action("MenuProfile")->isChecked());
        QVERIFY(Trigger("MenuDoRun"));
        QVERIFY(WaitReady());
        QVERIFY(!EditWin->ProfileShown());
        QVERIFY(Trigger("MenuProfile"));
        QVERIFY(Trigger("MenuDoRun"));
        QVERIFY(WaitReady());
        // Each command's count, exact, in a tooltip; the counts add up to the executed count.
        QCOMPARE(EditWin->ProfileCountAt(0), std::optional<uint64_t>(1));
        QCOMPARE(EditWin->ProfileCountAt(4), std::optional<uint64_t>(3));
        QCOMPARE(EditWin->ProfileCountAt(7), std::optional<uint64_t>(0));
        QCOMPARE(EditWin->ProfileCountAt(1 + 10), std::nullopt);
        QCOMPARE(EditWin->ProfileTip(3), QStringLiteral("Executed once"));
        QCOMPARE(EditWin->ProfileTip(4), QStringLiteral("Executed 3 times"));
        uint64_t sum = 0;
        for (int offset = 0; offset < 11; ++offset) sum += EditWin->ProfileCountAt(offset).value_or(0);
        QCOMPARE(sum, Workspace->Interpreter->GetExecuted());
        // The tint: a colour of its own per count, none on a command that never ran.
        const auto tint = [](int offset) {
            return EditWin->Editor->SendScintilla(QsciScintillaBase::SCI_INDICATORVALUEAT,
                                                  static_cast<unsigned long>(TEditWin::HeatIndicator), long(offset));
        };
        QVERIFY(tint(0) != 0 && tint(4) != 0 && tint(0) != tint(4));
        QCOMPARE(tint(7), 0L);
        // The Profile window: the outer loop, entered once, holds every command but the three +.
        auto* profile = MainWin->findChild<TProfileWin*>(QStringLiteral("ProfileWin"));
        QVERIFY(profile && profile->isVisible());
        QCOMPARE(profile->windowTitle(), QStringLiteral("Profile"));
        QVERIFY(profile->Loops->topLevelItemCount() >= 1);
        const QTreeWidgetItem* top = profile->Loops->topLevelItem(0);
        QCOMPARE(top->text(0), QStringLiteral("1 : 4"));
        QCOMPARE(top->text(2), QString::number(Workspace->Interpreter->GetExecuted() - 3));
        // A double-click goes to the loop.
        EditWin->SetSelection(0, 0);
        emit profile->Loops->itemDoubleClicked(profile->Loops->topLevelItem(0), 0);
        QCOMPARE(EditWin->SelStart(), 3);
        // An edit takes the tint away; so does a new run, which shows its own.
        EditWin->Editor->SendScintilla(QsciScintillaBase::SCI_INSERTTEXT, 0UL, " ");
        QVERIFY(!EditWin->ProfileShown());
        QCOMPARE(tint(1), 0L);
        profile->close();
        QVERIFY(Trigger("MenuProfile"));
    }
};

QTEST_MAIN(TestGuiRun)
#include "test_gui_run.moc"
