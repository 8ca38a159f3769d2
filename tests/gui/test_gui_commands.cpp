// The run commands through the real windows: running, typed input and numbers, stepping,
// pausing, the enabling of every command in each run state, the status bar counters and the
// keyboard shortcuts as the application-wide filter takes them.

#include "gui_support.h"

#include "cel_EditWin.h"
#include "cel_InfoWin.h"
#include "cel_Main.h"
#include "cel_MemoryWin.h"
#include "cel_OutputWin.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QLocale>
#include <QMap>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextBlock>
#include <QApplication>
#include <QTimer>
#include <Qsci/qsciscintilla.h>

using namespace celtest;

namespace {

constexpr int Generous = 20000;

const char* const HelloWorld =
    "++++++++[>++++[>++>+++>+++>+<<<<-]>+>+>->>+[<]<-]>>.>---.+++++++..+++.>>.<-.<.+++.------."
    "--------.>>+.>++.";

// Gives a field the keyboard focus the way a click does, so that its focus handler runs.
bool FocusField(QLineEdit* field) {
    OutputWin->activateWindow();
    if (!QTest::qWaitForWindowActive(OutputWin, Generous)) return false;
    field->setFocus(Qt::MouseFocusReason);
    QCoreApplication::processEvents();
    return field->hasFocus();
}

}  // namespace

class TestGuiCommands : public TGuiTest {
    Q_OBJECT
    // The status bar's counters are read with English separators.
    void PrepareSuite() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

private slots:
    // ---- Running and typed input ----

    void helloWorldEndToEnd() {
        EditWin->SetText(HelloWorld);
        QVERIFY(Trigger("MenuDoRun"));
        QVERIFY(WaitReady());
        QCOMPARE(OutputWin->Text(), QByteArray("Hello World!\r\n"));
        QVERIFY(OutputWin->BtnSave->isEnabled());
        QCOMPARE(EditWin->PanelText(1), QStringLiteral("Ready"));
        QVERIFY(EditWin->PanelText(2).isEmpty());
        QVERIFY(!EditWin->Editor->isReadOnly());
        // A second run starts from an empty output window.
        QVERIFY(Trigger("MenuDoRun"));
        QVERIFY(WaitReady());
        QCOMPARE(OutputWin->Text(), QByteArray("Hello World!\r\n"));
    }

    void typedLineFollowsThePrompt() {
        // Prints ">" and reads four bytes into cells 2 to 5, then prints them.
        QVERIFY(StartSuspended("++++++++[>++++++++<-]>--.>,>,>,>,<<<.>.>.>.", "MenuDoRun"));
        QVERIFY(Workspace->WaitingForInput());
        QCOMPARE(OutputWin->Text(), QByteArray(">"));
        EnterLine(QStringLiteral("Ann"));
        QVERIFY(WaitReady());
        // The echo stands right after the prompt, the program's own output on the next line.
        QCOMPARE(OutputWin->Text(), QByteArray(">Ann\r\nAnn\r\n"));
        QCOMPARE(Workspace->Interpreter->GetCell(2), 'A');
        QCOMPARE(Workspace->Interpreter->GetCell(3), 'n');
        QCOMPARE(Workspace->Interpreter->GetCell(4), 'n');
        QCOMPARE(Workspace->Interpreter->GetCell(5), 10u);
        QCOMPARE(Workspace->Interpreter->GetInputSize(), 4u);
    }

    void aLineAsLongAsTheInputBufferIsKeptWhole() {
        // Reads and echoes bytes up to a NUL; the line fills the whole input buffer.
        QVERIFY(StartSuspended(",[.,]", "MenuDoRun"));
        OutputWin->LastInputEdit = OutputWin->EditLine;
        OutputWin->EditLine->setText(QString(70000, QLatin1Char('a')));
        QCOMPARE(OutputWin->EditLine->text().size(), 65536);
        OutputWin->BtnOkClick();
        QVERIFY(WaitSuspended());
        // With the line break the engine took 65536 bytes: 65535 letters and LF.
        QCOMPARE(Workspace->Interpreter->GetInputSize(), 65536u);
        QCOMPARE(Workspace->Interpreter->GetInputByte(65535), uint8_t(10));
        QTRY_COMPARE_WITH_TIMEOUT(OutputWin->Text().count('a'), 2 * 65535, Generous);
        QVERIFY(Trigger("MenuReset"));
        QVERIFY(WaitReady());
    }

    void aVeryLongLineArrivesWhole() {
        // 100000 letters in one line, a line break, then a letter, with the output window's
        // long-line updates deferred in between.
        EditWin->SetText(QByteArray(65, '+') + ">" + QByteArray(40, '+') + "[>" + QByteArray(10, '+') + "[>" +
                         QByteArray(25, '+') + "[<<<" + QByteArray(10, '.') + ">>>-]<-]<-]<" + ">++++++++++.<+.");
        QVERIFY(Trigger("MenuDoRun"));
        QVERIFY(WaitReady(120000));
        const QByteArray text = OutputWin->Text();
        QCOMPARE(text.size(), 100000 + 2 + 1);
        QCOMPARE(text.count('A'), 100000);
        QVERIFY(text.endsWith("A\r\nB"));
        // Once the deferred part went in, the window shows the line in two pieces, and the
        // pieces are one line to the engine's line access, to copying and to a tab change.
        const QTextDocument* document = OutputWin->Output->document();
        QTRY_COMPARE_WITH_TIMEOUT(document->blockCount(), 3, Generous);
        QCOMPARE(document->firstBlock().text().size(), 65536);
        QCOMPARE(document->firstBlock().next().text().size(), 100000 - 65536);
        QCOMPARE(document->lastBlock().text(), QStringLiteral("B"));
        std::string line;
        QVERIFY(OutputWin->OutputLineText(0, line));
        QCOMPARE(line, std::string(100000, 'A'));
        QVERIFY(OutputWin->OutputLineText(1, line));
        QCOMPARE(line, std::string("B"));
        QVERIFY(OutputWin->OutputLineText(2, line));
        QCOMPARE(line, std::string());
        OutputWin->Output->selectAll();
        OutputWin->Output->copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), QString(100000, QLatin1Char('A')) + QStringLiteral("\nB"));
        OutputWin->SetText(text);
        QCOMPARE(OutputWin->Text(), text);
        QCOMPARE(document->blockCount(), 3);

        // Replacing the long line by a longer one, and by a short one; the last line grows
        // into a third piece.
        QVERIFY(OutputWin->SetOutputLineText(0, std::string(140000, 'C')));
        QCOMPARE(OutputWin->Text(), QByteArray(140000, 'C') + "\r\nB");
        QCOMPARE(document->blockCount(), 4);
        QVERIFY(OutputWin->SetOutputLineText(0, "D"));
        QCOMPARE(OutputWin->Text(), QByteArray("D\r\nB"));
        QCOMPARE(document->blockCount(), 2);
        QVERIFY(OutputWin->AppendToOutputLine(1, std::string(2 * 65536, 'E')));
        QTRY_COMPARE_WITH_TIMEOUT(document->blockCount(), 4, Generous);
        QCOMPARE(OutputWin->Text(), "D\r\nB" + QByteArray(2 * 65536, 'E'));
        QCOMPARE(document->lastBlock().text().size(), 1);
        QVERIFY(OutputWin->AppendOutputLine());
        QVERIFY(OutputWin->SetOutputLineText(2, "F"));
        QCOMPARE(OutputWin->Text(), "D\r\nB" + QByteArray(2 * 65536, 'E') + "\r\nF");
        QVERIFY(OutputWin->OutputLineText(1, line));
        QCOMPARE(line.size(), size_t(1 + 2 * 65536));
    }

    void echoGoesBeforeAFinalLineBreak() {
        // Prints ">" and a line break, reads one byte, then prints "!".
        QVERIFY(StartSuspended("++++++++[>++++++++<-]>--.[-]++++++++++.,[-]+++++[>+++++++<-]>--.", "MenuDoRun"));
        QCOMPARE(OutputWin->Text(), QByteArray(">\r\n"));
        EnterLine(QStringLiteral("Ann"));
        QTRY_VERIFY_WITH_TIMEOUT(OutputWin->Text().startsWith(">Ann\r\n\r\n"), Generous);
        QVERIFY(WaitReady());
        QCOMPARE(OutputWin->Text(), QByteArray(">Ann\r\n\r\n!"));

        // Without further output the text ends with the two breaks.
        QVERIFY(StartSuspended("++++++++++.,", "MenuDoRun"));
        EnterLine(QStringLiteral("Ann"));
        QVERIFY(WaitReady());
        QCOMPARE(OutputWin->Text(), QByteArray("Ann\r\n\r\n"));
    }

    void lineBreakItemsDecideTheBytesRead() {
        struct TCase {
            QAction* Item;
            QByteArray Bytes;
        };
        const TCase cases[] = {{celtest::Action("Menu0x0A"), "ab\n"},
                               {celtest::Action("Menu0x0D0A"), "ab\r\n"},
                               {celtest::Action("Menu0x0D"), "ab\r"},
                               {celtest::Action("Menu0x0A0D"), "ab\n\r"},
                               {celtest::Action("MenuNoLineBreak"), "ab"}};
        for (const TCase& c : cases) {
            c.Item->trigger();
            QVERIFY(c.Item->isChecked());
            QVERIFY(StartSuspended(",", "MenuDoRun"));
            EnterLine(QStringLiteral("ab"));
            QVERIFY(WaitReady());
            const uint32_t size = Workspace->Interpreter->GetInputSize();
            QCOMPARE(size, uint32_t(c.Bytes.size()));
            QByteArray read;
            for (uint32_t i = 0; i < size; ++i) read.append(char(Workspace->Interpreter->GetInputByte(uint16_t(i))));
            QCOMPARE(read, c.Bytes);
            // The echo is followed by a break exactly when one is reported.
            QCOMPARE(OutputWin->Text(), c.Item == celtest::Action("MenuNoLineBreak") ? QByteArray("ab") : QByteArray("ab\r\n"));
        }
        // With any item but "no line break" an empty field delivers just the break.
        celtest::Action("Menu0x0A")->trigger();
        QVERIFY(StartSuspended(",", "MenuDoRun"));
        EnterLine(QString());
        QVERIFY(WaitReady());
        QCOMPARE(Workspace->Interpreter->GetCell(0), 10u);
    }

    void emptyLineWithoutLineBreakIsRefused() {
        celtest::Action("MenuNoLineBreak")->trigger();
        QVERIFY(StartSuspended(",", "MenuDoRun"));
        Windows->Dialogs.Expect(QStringLiteral("You did not enter any data. Please try again."));
        EnterLine(QString());
        QVERIFY(Windows->Dialogs.Messages.empty());
        // The panel stays open and the program keeps waiting.
        QVERIFY(Workspace->WaitingForInput());
        QVERIFY(OutputWin->EditLine->isEnabled());
        QVERIFY(OutputWin->BtnOk->isEnabled());
        EnterLine(QStringLiteral("q"));
        QVERIFY(WaitReady());
        QCOMPARE(Workspace->Interpreter->GetCell(0), uint32_t('q'));
        QCOMPARE(OutputWin->Text(), QByteArray("q"));
    }

    void numberField_data() {
        QTest::addColumn<bool>("wide");
        QTest::addColumn<QString>("text");
        QTest::addColumn<uint32_t>("cell");
        QTest::newRow("300 in 8 bit") << false << "300" << 44u;
        QTest::newRow("-1 in 8 bit") << false << "-1" << 255u;
        QTest::newRow("-1 in 16 bit") << true << "-1" << 65535u;
        QTest::newRow("$FF") << false << "$FF" << 255u;
        QTest::newRow("0x41 in 16 bit") << true << "0x41" << 65u;
        QTest::newRow("70000 in 16 bit") << true << "70000" << 4464u;
    }

    void numberField() {
        QFETCH(bool, wide);
        QFETCH(QString, text);
        QFETCH(uint32_t, cell);
        QVERIFY(Trigger(wide ? "Menu16Bit" : "Menu8Bit"));
        // Two reads: a number does not fill the input buffer, so the second read asks again.
        QVERIFY(StartSuspended(",>,", "MenuDoRun"));
        QVERIFY(FocusField(OutputWin->EditNumber));
        QCOMPARE(OutputWin->LastInputEdit, OutputWin->EditNumber);
        OutputWin->EditNumber->setText(text);
        OutputWin->BtnOkClick();
        QVERIFY(WaitSuspended());
        QVERIFY(Workspace->WaitingForInput());
        QCOMPARE(Workspace->Interpreter->GetCell(0), cell);
        QCOMPARE(Workspace->Interpreter->GetDataPtr(), 1u);
        QVERIFY(OutputWin->Text().isEmpty());  // numbers are not echoed
        EnterNumber(QStringLiteral("7"));
        QVERIFY(WaitReady());
        QCOMPARE(Workspace->Interpreter->GetCell(1), 7u);
    }

    void illegalNumbersAreRefused() {
        QVERIFY(StartSuspended(",", "MenuDoRun"));
        for (const QString& text : {QStringLiteral("12a"), QString(), QStringLiteral("$"), QStringLiteral("1 ")}) {
            Windows->Dialogs.Expect(QStringLiteral("You did not enter a legal number. Please try again."));
            EnterNumber(text);
            QVERIFY2(Windows->Dialogs.Messages.empty(), qPrintable(text));
            QVERIFY(Workspace->WaitingForInput());
            QVERIFY(OutputWin->EditNumber->isEnabled());
        }
        EnterNumber(QStringLiteral(" +12"));
        QVERIFY(WaitReady());
        QCOMPARE(Workspace->Interpreter->GetCell(0), 12u);
        QVERIFY(!OutputWin->EditNumber->isEnabled());
        QVERIFY(OutputWin->EditNumber->text().isEmpty());
    }

    void enteringOneFieldEmptiesTheOther() {
        QVERIFY(StartSuspended(",", "MenuDoRun"));
        QVERIFY(FocusField(OutputWin->EditLine));
        OutputWin->EditLine->setText(QStringLiteral("abc"));
        QVERIFY(FocusField(OutputWin->EditNumber));
        QVERIFY(OutputWin->EditLine->text().isEmpty());
        OutputWin->EditNumber->setText(QStringLiteral("5"));
        // The output text box takes Ok away; a field gives it back.
        OutputWin->Output->setFocus(Qt::MouseFocusReason);
        QCoreApplication::processEvents();
        QVERIFY(!OutputWin->BtnOk->isEnabled());
        QVERIFY(FocusField(OutputWin->EditLine));
        QVERIFY(OutputWin->EditNumber->text().isEmpty());
        QVERIFY(OutputWin->BtnOk->isEnabled());
        EnterLine(QStringLiteral("z"));
        QVERIFY(WaitReady());
    }

    // ---- Stepping, pausing and ending ----

    void traceStepsThroughEveryCommand() {
        QVERIFY(StartSuspended("+>\r\n+.", "MenuTrace"));
        const int marks[] = {0, 1, 4, 5};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(EditWin->SelStart(), marks[i]);
            QCOMPARE(EditWin->SelLength(), 1);
            QCOMPARE(EditWin->PanelText(1), QStringLiteral("Paused"));
            QVERIFY(Trigger("MenuTrace"));
            if (i < 3) QVERIFY(WaitSuspended());
        }
        QVERIFY(WaitReady());
        QCOMPARE(OutputWin->Text(), QByteArray("\x01"));
        QCOMPARE(EditWin->SelLength(), 0);
        QCOMPARE(EditWin->SelStart(), 6);
    }

    void debugDuringInputPausesAtTheInputCommand() {
        QVERIFY(StartSuspended("+,+", "MenuDoRun"));
        QVERIFY(Workspace->WaitingForInput());
        QVERIFY(OutputWin->EditLine->isEnabled());
        QVERIFY(Trigger("MenuDebug"));
        QVERIFY(WaitSuspended());
        QVERIFY(Workspace->Paused());
        QVERIFY(!Workspace->WaitingForInput());
        // The panel closed; the pause marks the interrupted input command.
        QVERIFY(!OutputWin->EditLine->isEnabled());
        QVERIFY(!OutputWin->BtnOk->isEnabled());
        QCOMPARE(EditWin->SelStart(), 1);
        QCOMPARE(EditWin->SelLength(), 1);
        QCOMPARE(EditWin->PanelText(1), QStringLiteral("Paused"));
        QCOMPARE(Workspace->Interpreter->GetCell(0), 1u);
        // Continuing runs the same input command again, which asks anew.
        QVERIFY(Trigger("MenuDoRun"));
        QVERIFY(WaitSuspended());
        QVERIFY(Workspace->WaitingForInput());
        QVERIFY(OutputWin->EditLine->isEnabled());
        EnterLine(QStringLiteral("x"));
        QVERIFY(WaitReady());
        QCOMPARE(Workspace->Interpreter->GetCell(0), uint32_t('x') + 1);
    }

    void runToCursorPausesAtTheCaret() {
        EditWin->SetText("+++\r\n>++.");
        EditWin->SetSelection(5, 0);
        QVERIFY(Trigger("MenuRunToCursor"));
        QVERIFY(WaitSuspended());
        QVERIFY(Workspace->Paused());
        QCOMPARE(EditWin->SelStart(), 5);
        QCOMPARE(EditWin->SelLength(), 1);
        QCOMPARE(Workspace->Interpreter->GetCell(0), 3u);
        QCOMPARE(Workspace->Interpreter->GetDataPtr(), 0u);
        QVERIFY(OutputWin->Text().isEmpty());
        // From the pause, Run to Cursor again goes on to the command now at the caret.
        EditWin->SetSelection(8, 0);
        QVERIFY(Trigger("MenuRunToCursor"));
        QVERIFY(WaitSuspended());
        QCOMPARE(EditWin->SelStart(), 8);
        QCOMPARE(Workspace->Interpreter->GetCell(1), 2u);
        QVERIFY(Trigger("MenuDoRun"));
        QVERIFY(WaitReady());
        QCOMPARE(OutputWin->Text(), QByteArray("\x02"));
    }

    void resetEndsTheProgramInEveryState_data() {
        QTest::addColumn<QByteArray>("program");
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("cell");  // cell 0 afterwards; -1: not checked
        QTest::newRow("running at full speed") << QByteArray("+[]") << "MenuDoRun" << int(TRunState::Running) << -1;
        QTest::newRow("waiting for input") << QByteArray(",+") << "MenuDoRun" << int(TRunState::Waiting) << 0;
        QTest::newRow("paused") << QByteArray("++") << "MenuTrace" << int(TRunState::Paused) << 0;
    }

    void resetEndsTheProgramInEveryState() {
        QFETCH(QByteArray, program);
        QFETCH(QString, command);
        QFETCH(int, state);
        QFETCH(int, cell);
        EditWin->SetText(program);
        QVERIFY(Trigger(qPrintable(command)));
        QTRY_VERIFY_WITH_TIMEOUT(celtest::Action("MenuReset")->isEnabled() && int(RunStateNow()) == state, Generous);
        if (state != int(TRunState::Running)) QVERIFY(WaitSuspended());
        QVERIFY(Trigger("MenuReset"));
        QVERIFY(WaitReady());
        QCOMPARE(EditWin->PanelText(1), QStringLiteral("Ready"));
        QVERIFY(!OutputWin->EditLine->isEnabled());
        QVERIFY(!EditWin->Editor->isReadOnly());
        if (cell >= 0) QCOMPARE(Workspace->Interpreter->GetCell(0), uint32_t(cell));
    }

    void runRightAfterResetStartsCleanly() {
        QVERIFY(StartSuspended("++++++++[>++++++++<-]>+.", "MenuTrace"));
        const cel::TBFInterpreterBase* first = &Workspace->Interpreter->Engine();
        // No events in between: the old engine is still on its way out.
        QVERIFY(Trigger("MenuReset"));
        QVERIFY(Trigger("MenuDoRun"));
        QVERIFY(WaitReady());
        QVERIFY(TMainWinProbe::EngineIdle());
        QVERIFY(&Workspace->Interpreter->Engine() != first);
        QCOMPARE(OutputWin->Text(), QByteArray("A"));
        QVERIFY(!Workspace->Interpreter->Engine().GetStepMode());
        QVERIFY(celtest::Action("MenuDoRun")->isEnabled());
        QVERIFY(!celtest::Action("MenuReset")->isEnabled());
        QVERIFY(!celtest::Action("MenuDebug")->isEnabled());
        QCOMPARE(EditWin->PanelText(1), QStringLiteral("Ready"));
    }

    // ---- Enabling per run state ----

    void enablingFollowsTheRunState() {
        // Hidden recent entries can never be triggered; the table is about the visible ones.
        for (int i = 5; i >= 1; --i) TMainWinProbe::AddRecent(QStringLiteral("/nowhere/recent%1.b").arg(i));
        for (QAction* entry : celtest::RecentItems()) QVERIFY(entry->isVisible());
        VerifyEnabling(TRunState::Ready);

        EditWin->SetText("+[]");
        QVERIFY(Trigger("MenuDoRun"));
        QTRY_VERIFY_WITH_TIMEOUT(celtest::Action("MenuDebug")->isEnabled(), Generous);
        QVERIFY(Workspace->Running() && !Workspace->Paused() && !Workspace->WaitingForInput());
        VerifyEnabling(TRunState::Running);

        QVERIFY(Trigger("MenuDebug"));
        QVERIFY(WaitSuspended());
        QVERIFY(Workspace->Paused());
        VerifyEnabling(TRunState::Paused);

        // F9 from the pause continues at full speed.
        QVERIFY(Trigger("MenuDoRun"));
        QTRY_VERIFY_WITH_TIMEOUT(!Workspace->Paused(), Generous);
        VerifyEnabling(TRunState::Running);
        QVERIFY(Trigger("MenuReset"));
        QVERIFY(WaitReady());
        VerifyEnabling(TRunState::Ready);

        QVERIFY(StartSuspended(",", "MenuDoRun"));
        QVERIFY(Workspace->WaitingForInput());
        VerifyEnabling(TRunState::Waiting);
        EnterLine(QStringLiteral("a"));
        QVERIFY(WaitReady());
        VerifyEnabling(TRunState::Ready);

        // A run started by Trace: Paused at once, and back to Ready at its end.
        QVERIFY(StartSuspended("+", "MenuTrace"));
        VerifyEnabling(TRunState::Paused);
        QVERIFY(Trigger("MenuTrace"));
        QVERIFY(WaitReady());
        VerifyEnabling(TRunState::Ready);

        // The backward moves: after a step, and not at the run's start again.
        QVERIFY(StartSuspended("++", "MenuTrace"));
        QVERIFY(Trigger("MenuTrace"));
        QVERIFY(WaitSuspended());
        QVERIFY(celtest::Action("MenuStepBack")->isEnabled());
        VerifyEnabling(TRunState::Paused);
        QVERIFY(Trigger("MenuStepBack"));
        QVERIFY(WaitSuspended());
        VerifyEnabling(TRunState::Paused);
        QVERIFY(!celtest::Action("MenuStepBack")->isEnabled());
        QVERIFY(Trigger("MenuReset"));
        QVERIFY(WaitReady());
        VerifyEnabling(TRunState::Ready);
    }

    // ---- Status bar ----

    void statusBarCountsWithTheLocale() {
        // 4 x 4 x 4 x 4 passes of the innermost loop: well over a thousand commands.
        EditWin->SetText("++++[>++++[>++++[>++++[>+.<-]<-]<-]<-]");
        QVERIFY(Trigger("MenuDoRun"));
        QVERIFY(WaitReady());
        const uint64_t executed = Workspace->Interpreter->GetExecuted();
        QVERIFY2(executed >= 1000, qPrintable(QString::number(executed)));
        QCOMPARE(EditWin->PanelText(3), QLocale().toString(qulonglong(executed)) + QStringLiteral(" i"));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{1,3}(,\\d{3})+ i$")).match(EditWin->PanelText(3)).hasMatch());
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d+\\.\\d{3} s$")).match(EditWin->PanelText(4)).hasMatch(),
                 qPrintable(EditWin->PanelText(4)));
        QVERIFY(EditWin->PanelText(2).isEmpty());

        // The separators are the locale's.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        TMainWinProbe::ShowRunCounters();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d{1,3}(\\.\\d{3})+ i$")).match(EditWin->PanelText(3)).hasMatch(),
                 qPrintable(EditWin->PanelText(3)));
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d+,\\d{3} s$")).match(EditWin->PanelText(4)).hasMatch(),
                 qPrintable(EditWin->PanelText(4)));

        // The timer tick shows the rate; New empties the counters.
        EditWin->SetText("+[]");
        QVERIFY(Trigger("MenuDoRun"));
        QTRY_VERIFY_WITH_TIMEOUT(Workspace->Running() && celtest::Action("MenuDebug")->isEnabled(), Generous);
        TMainWinProbe::TimerTimer();
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d{1,3}(,\\d{3})* ips$")).match(EditWin->PanelText(2)).hasMatch(),
                 qPrintable(EditWin->PanelText(2)));
        QVERIFY(Trigger("MenuReset"));
        QVERIFY(WaitReady());
        QVERIFY(EditWin->PanelText(2).isEmpty());
        QVERIFY(!EditWin->PanelText(3).isEmpty());
        QVERIFY(Trigger("MenuNew"));
        QVERIFY(EditWin->PanelText(3).isEmpty());
        QVERIFY(EditWin->PanelText(4).isEmpty());

        // Every pause shows its own count and time, not the last run's or the last tick's.
        EditWin->SetText("++++[>++++[>++++[>+<-]<-]<-]");
        QVERIFY(Trigger("MenuDoRun"));
        QVERIFY(WaitReady());
        EditWin->SetText("+++");
        for (const char* expected : {"0 i", "1 i", "2 i"}) {
            QVERIFY(Trigger("MenuTrace"));
            QVERIFY(WaitSuspended());
            QCOMPARE(EditWin->PanelText(3), QString::fromLatin1(expected));
            QVERIFY2(QRegularExpression(QStringLiteral("^\\d+\\.\\d{3} s$")).match(EditWin->PanelText(4)).hasMatch(),
                     qPrintable(EditWin->PanelText(4)));
        }
        QVERIFY(Trigger("MenuReset"));
        QVERIFY(WaitReady());
    }

    // ---- Shortcuts ----

    void inputFieldsKeepTheirEditingKeysWhileAProgramRuns() {
        // The Edit menu is off while a program exists; its keys are the focused field's own.
        QVERIFY(StartSuspended(",", "MenuDoRun"));
        QVERIFY(!celtest::Menu("MenuEdit")->isEnabled());
        QLineEdit* field = OutputWin->EditLine;
        QVERIFY(field->isEnabled());
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->setText(QStringLiteral("clip"));
        TypeInto(field, QStringLiteral("12"));
        Press(field, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(field->selectedText(), QStringLiteral("12"));
        Press(field, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(clipboard->text(), QStringLiteral("12"));
        TypeInto(field, QStringLiteral("34"));  // replaces the selection
        QCOMPARE(field->text(), QStringLiteral("34"));
        Press(field, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(field->text(), QStringLiteral("3412"));
        Press(field, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(field->text(), QStringLiteral("34"));
        Press(field, Qt::Key_Home, Qt::ShiftModifier);
        Press(field, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(clipboard->text(), QStringLiteral("34"));
        QCOMPARE(field->text(), QString());
        QCOMPARE(EditWin->Text(), QByteArray(","));
        EnterLine(QStringLiteral("a"));
        QVERIFY(WaitReady());
    }

    void altLettersOpenTheMainMenuFromEveryWorkWindow() {
        EditWin->SetText("+");
        EditWin->SetSelection(1, 0);
        const struct {
            QWidget* Target;
            Qt::Key Key;
            const char* Menu;
        } chords[] = {{EditWin->Editor, Qt::Key_F, "MenuFile"}, {EditWin->Editor, Qt::Key_R, "MenuRun"},
                      {EditWin->Editor, Qt::Key_V, "MenuView"}, {OutputWin->Output, Qt::Key_X, "MenuExtras"},
                      {MemoryWin, Qt::Key_H, "MenuHelp"},       {MainWin, Qt::Key_I, "MenuInterpreter"}};
        for (const auto& chord : chords) {
            Press(chord.Target, chord.Key, Qt::AltModifier);
            QTRY_VERIFY2(Menu(chord.Menu)->isVisible(), chord.Menu);
            QCOMPARE(MainWin->menuBar()->activeAction(), Menu(chord.Menu)->menuAction());
            Menu(chord.Menu)->hide();
        }
        // A title without a menu is a command of its own: Alt+M minimises from the editor too.
        Press(EditWin->Editor, Qt::Key_M, Qt::AltModifier);
        QTRY_VERIFY(MainWin->isMinimized() && EditWin->isMinimized());
        MainWin->showNormal();
        QTRY_VERIFY(!MainWin->isMinimized() && !EditWin->isMinimized());
        // No chord types its letter, a menu's or not.
        Press(EditWin->Editor, Qt::Key_Q, Qt::AltModifier);
        Press(EditWin->Editor, Qt::Key_V, Qt::AltModifier | Qt::ShiftModifier);
        QTRY_VERIFY(Menu("MenuView")->isVisible());
        Menu("MenuView")->hide();
        QCOMPARE(EditWin->Text(), QByteArray("+"));
        QVERIFY(!EditWin->CurrentDocument()->Modified);
        // In the input panel's fields neither; the panel's own Alt+O still presses Ok, and its
        // Alt+E presses End before the Edit menu (off while a program runs) could take it.
        QVERIFY(StartSuspended(",.", "MenuDoRun"));
        TypeInto(OutputWin->EditLine, QStringLiteral("a"));
        Press(OutputWin->EditLine, Qt::Key_Q, Qt::AltModifier);
        QCOMPARE(OutputWin->EditLine->text(), QStringLiteral("a"));
        Press(OutputWin->EditLine, Qt::Key_O, Qt::AltModifier);
        QVERIFY(WaitReady());
        QCOMPARE(OutputWin->Text(), QByteArray("a\r\na"));
        QVERIFY(StartSuspended(QByteArray(65, '+') + ",.", "MenuDoRun"));
        TypeInto(OutputWin->EditLine, QStringLiteral("b"));
        Press(OutputWin->EditLine, Qt::Key_E, Qt::AltModifier);
        QVERIFY(WaitReady());
        QVERIFY(!Menu("MenuEdit")->isVisible());
        QCOMPARE(OutputWin->Text(), QByteArray("A"));  // the cell as the end of the input left it
    }

    void keysBehindADialogsKeyStayOutOfIt() {
        // F1 twice and F1 then F9, each pair before any event is processed, as from a loaded
        // machine or a fast typist: the first key's box opens, and the key behind it neither
        // opens the box again inside itself nor starts a run behind it.
        QTest::failOnWarning(QRegularExpression(QStringLiteral("Recursive call")));
        EditWin->SetText("+");
        for (const Qt::Key second : {Qt::Key_F1, Qt::Key_F9}) {
            int opened = 0;
            bool ranBehind = false;
            QTimer closer;
            connect(&closer, &QTimer::timeout, [&] {
                if (QApplication::activeModalWidget() != InfoWin) return;
                ++opened;
                ranBehind = ranBehind || Workspace->Running();
                InfoWin->reject();
            });
            closer.start(20);
            QTest::keyClick(EditWin->Editor, Qt::Key_F1);
            QTest::keyClick(EditWin->Editor, second);
            QTRY_COMPARE(opened, 1);
            QTest::qWait(200);
            QCOMPARE(opened, 1);
            QVERIFY(!ranBehind);
            QVERIFY(!Workspace->Running());
        }
    }

    void runKeyInTheEditorStartsARun() {
        EditWin->SetText(HelloWorld);
        Press(EditWin->Editor, Qt::Key_F9);
        QTRY_VERIFY_WITH_TIMEOUT(!OutputWin->Text().isEmpty() || Workspace->Running(), Generous);
        QVERIFY(WaitReady());
        QCOMPARE(OutputWin->Text(), QByteArray("Hello World!\r\n"));
        // The key does not reach the editor: the text is unchanged and not modified.
        QCOMPARE(EditWin->Text(), QByteArray(HelloWorld));
        QVERIFY(!EditWin->CurrentDocument()->Modified);
        // F7 in the editor steps, F2 (Ctrl) resets.
        EditWin->SetText("++");
        Press(EditWin->Editor, Qt::Key_F7);
        QVERIFY(WaitSuspended());
        QVERIFY(Workspace->Paused());
        Press(EditWin->Editor, Qt::Key_F2, Qt::ControlModifier);
        QVERIFY(WaitReady());
        QCOMPARE(Workspace->Interpreter->GetCell(0), 0u);
    }

    void watchKeyWhileReadyOnlyToggles() {
        QVERIFY(!celtest::Action("MenuWatch")->isChecked());
        QVERIFY(!celtest::Action("BtnWatch")->isChecked());
        Press(EditWin->Editor, Qt::Key_F11);
        QVERIFY(celtest::Action("MenuWatch")->isChecked());
        QVERIFY(celtest::Action("BtnWatch")->isChecked());
        QVERIFY(!Workspace->Running());
        Press(EditWin->Editor, Qt::Key_F11);
        QVERIFY(!celtest::Action("MenuWatch")->isChecked());
        QVERIFY(!celtest::Action("BtnWatch")->isChecked());
        // The button and the menu item stay in step whichever is used.
        celtest::Action("BtnWatch")->trigger();
        QVERIFY(celtest::Action("MenuWatch")->isChecked());
        QVERIFY(celtest::Action("BtnWatch")->isChecked());
        celtest::Action("MenuWatch")->trigger();
        QVERIFY(!celtest::Action("MenuWatch")->isChecked());
        QVERIFY(!celtest::Action("BtnWatch")->isChecked());

        // The next run starts watched: each command is marked, and at the end the caret stands
        // after the last one.
        Press(EditWin->Editor, Qt::Key_F11);
        EditWin->SetText("+++");
        QVERIFY(Trigger("MenuDoRun"));
        QVERIFY(WaitReady());
        QVERIFY(Workspace->Interpreter->GetWatch());
        QCOMPARE(EditWin->SelLength(), 0);
        QCOMPARE(EditWin->SelStart(), 3);
        Press(EditWin->Editor, Qt::Key_F11);
        QVERIFY(Trigger("MenuDoRun"));
        QVERIFY(WaitReady());
        QVERIFY(!Workspace->Interpreter->GetWatch());
    }

    void everyShortcutHasOneItem() {
        // Step Over and Step Out took keys no other item had.
        QMap<QString, QStringList> owners;
        for (QAction* action : MainWin->findChildren<QAction*>())
            if (!action->shortcut().isEmpty()) owners[action->shortcut().toString()] << action->objectName();
        for (auto it = owners.cbegin(); it != owners.cend(); ++it)
            QVERIFY2(it.value().size() == 1, qPrintable(it.key() + QStringLiteral(": ") + it.value().join(QStringLiteral(", "))));
        QCOMPARE(owners.value(QStringLiteral("F10")), QStringList{QStringLiteral("MenuStepOver")});
        QCOMPARE(owners.value(QStringLiteral("Shift+F8")), QStringList{QStringLiteral("MenuStepOut")});
        QCOMPARE(owners.value(QStringLiteral("Ctrl+Alt+B")), QStringList{QStringLiteral("MenuBreakpoints")});
        // From the editor, as every run key: F10 starts a program paused, as Trace does.
        EditWin->SetText("+[-]+");
        Press(EditWin->Editor, Qt::Key_F10);
        QVERIFY(WaitSuspended());
        QCOMPARE(Workspace->Interpreter->GetExecuted(), 0u);
        Press(EditWin->Editor, Qt::Key_F10);
        QVERIFY(WaitSuspended());
        QCOMPARE(EditWin->SelStart(), 1);
        Press(EditWin->Editor, Qt::Key_F10);
        QVERIFY(WaitSuspended());
        QCOMPARE(EditWin->SelStart(), 4);
        Press(EditWin->Editor, Qt::Key_F8, Qt::ShiftModifier);
        QVERIFY(WaitReady());
    }

    void cellWidthKeysDoNothingWhileAProgramExists() {
        QVERIFY(celtest::Action("Menu8Bit")->isChecked());
        EditWin->SetText("+[]");
        QVERIFY(Trigger("MenuDoRun"));
        QTRY_VERIFY_WITH_TIMEOUT(celtest::Action("MenuDebug")->isEnabled(), Generous);
        Press(EditWin->Editor, Qt::Key_9, Qt::ControlModifier);
        QVERIFY(celtest::Action("Menu8Bit")->isChecked() && celtest::Action("Btn8Bit")->isChecked());
        QVERIFY(!celtest::Action("Menu16Bit")->isChecked() && !celtest::Action("Btn16Bit")->isChecked());
        QVERIFY(Trigger("MenuDebug"));
        QVERIFY(WaitSuspended());
        Press(EditWin->Editor, Qt::Key_9, Qt::ControlModifier);
        QVERIFY(celtest::Action("Menu8Bit")->isChecked() && !celtest::Action("Btn16Bit")->isChecked());
        QVERIFY(Trigger("MenuReset"));
        QVERIFY(WaitReady());
        // While Ready the keys switch, and the next run has the chosen width.
        Press(EditWin->Editor, Qt::Key_9, Qt::ControlModifier);
        QVERIFY(celtest::Action("Menu16Bit")->isChecked() && celtest::Action("Btn16Bit")->isChecked());
        QVERIFY(!celtest::Action("Btn8Bit")->isChecked());
        EditWin->SetText("-");
        QVERIFY(Trigger("MenuDoRun"));
        QVERIFY(WaitReady());
        QVERIFY(Workspace->Interpreter->Wide);
        QCOMPARE(Workspace->Interpreter->GetCell(0), 65535u);
        QVERIFY(StartSuspended(",", "MenuDoRun"));
        Press(OutputWin->EditLine, Qt::Key_8, Qt::ControlModifier);
        QVERIFY(celtest::Action("Menu16Bit")->isChecked());
        EnterLine(QStringLiteral("a"));
        QVERIFY(WaitReady());
        Press(EditWin->Editor, Qt::Key_8, Qt::ControlModifier);
        QVERIFY(celtest::Action("Menu8Bit")->isChecked() && celtest::Action("Btn8Bit")->isChecked());
    }

private:
    static void VerifyEnabling(TRunState state) {
        const QStringList wrong = WrongEnabling(state);
        QVERIFY2(wrong.isEmpty(), qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(RunStateName(state)),
                                                                         wrong.join(QStringLiteral(", ")))));
    }
};

QTEST_MAIN(TestGuiCommands)
#include "test_gui_commands.moc"
