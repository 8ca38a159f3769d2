// The window set: its arrangement, moving the focus between the work windows, watching a run,
// and input a program demands while a dialog of the main window is showing.

#include "gui_support.h"

#include "cel_EditWin.h"
#include "cel_Frame.h"
#include "cel_Settings.h"
#include "cel_Main.h"
#include "cel_MemoryWin.h"
#include "cel_OutputWin.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTimer>
#include <Qsci/qsciscintilla.h>

#include <algorithm>

#include <cmath>

using namespace celtest;

namespace {

QRect WorkArea() { return QGuiApplication::primaryScreen()->availableGeometry(); }

// Checks the computed layout for the given height ratio: the outer frames tile the work area.
bool CheckComputedLayout(float factor, QString& why) {
    const QRect work = WorkArea();
    const QRect main = cel::OuterGeometry(MainWin);
    const int editorTop = work.top() + main.height();
    const int editorWidth = work.width() - 208;
    const int editorHeight =
        static_cast<int>(std::nearbyint(static_cast<float>(work.height() - editorTop) * factor));
    const int outputHeight = work.height() - main.height() - editorHeight;
    const auto check = [&why](const char* name, QWidget* window, const QRect& expected) {
        const QRect outer = cel::OuterGeometry(window);
        if (outer == expected) return true;
        why = QStringLiteral("%1 at %2,%3 %4x%5, expected %6,%7 %8x%9")
                  .arg(QLatin1String(name)).arg(outer.x()).arg(outer.y()).arg(outer.width()).arg(outer.height())
                  .arg(expected.x()).arg(expected.y()).arg(expected.width()).arg(expected.height());
        return false;
    };
    return check("main window", MainWin, QRect(QPoint(work.width() / 2 - main.width() / 2, work.top()), main.size())) &&
           check("editor", EditWin, QRect(work.left(), editorTop, editorWidth, editorHeight)) &&
           check("output", OutputWin, QRect(work.left(), editorTop + editorHeight, editorWidth, outputHeight)) &&
           check("memory", MemoryWin, QRect(work.left() + editorWidth, editorTop, 208, editorHeight + outputHeight));
}

// Makes the main window the active one (the offscreen platform does not activate it on request).
// Activations the windows asked for at start-up are let through first.
void MainActive() {
    QTest::qWait(20);
    QApplication::setActiveWindow(MainWin);
}

// Makes the main window the active one, the output window the last activated work window.
bool MainActiveAfterOutput() {
    MainActive();
    Workspace->ActiveWorkWindow = OutputWin;
    return QApplication::activeWindow() == MainWin;
}

// Triggers "Toggle between Windows" and answers the work window it brought to the front (raised),
// or none when it did nothing.
QWidget* ToggleTarget() {
    struct TRaised : QObject {
        QWidget* Window = nullptr;
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() == QEvent::ZOrderChange) Window = static_cast<QWidget*>(watched);
            return false;
        }
    } raised;
    for (QWidget* w : {static_cast<QWidget*>(EditWin), static_cast<QWidget*>(OutputWin), static_cast<QWidget*>(MemoryWin)})
        w->installEventFilter(&raised);
    celtest::Action("MenuToggle")->trigger();
    for (QWidget* w : {static_cast<QWidget*>(EditWin), static_cast<QWidget*>(OutputWin), static_cast<QWidget*>(MemoryWin)})
        w->removeEventFilter(&raised);
    return raised.Window;
}

}  // namespace

class TestGuiWindows : public TGuiTest {
    Q_OBJECT
private slots:
    void firstArrangementUsesTwoThirdsThenOneThird() {
        TMainWinProbe::FirstLayout() = true;
        Workspace->SizeToggle = false;
        TMainWinProbe::SavedMainX() = -1000000;
        celtest::Action("MenuWinSize")->trigger();
        QString why;
        QVERIFY2(CheckComputedLayout(0.66f, why), qPrintable(why));
        QVERIFY(Workspace->SizeToggle);
        QVERIFY(!TMainWinProbe::FirstLayout());
        // F2 again: the other ratio, and back.
        QVERIFY(Trigger("MenuWinSize"));
        QVERIFY2(CheckComputedLayout(0.33f, why), qPrintable(why));
        QVERIFY(!Workspace->SizeToggle);
        celtest::Action("MenuWinSize")->trigger();
        QVERIFY2(CheckComputedLayout(0.66f, why), qPrintable(why));
        QVERIFY(Workspace->SizeToggle);
    }

    void firstArrangementOutlastsALateWindowManager() {
        // A window manager may put a window elsewhere after the arrangement first found every
        // frame in place: the arrangement still holds once the windows have settled.
        TMainWinProbe::FirstLayout() = true;
        Workspace->SizeToggle = false;
        TMainWinProbe::SavedMainX() = -1000000;
        celtest::Action("MenuWinSize")->trigger();
        TMainWinProbe::LayoutCheckTimer();
        OutputWin->move(OutputWin->pos() + QPoint(0, 32));
        QTRY_VERIFY_WITH_TIMEOUT(!MainWin->LayoutSettling(), 15000);
        QString why;
        QVERIFY2(CheckComputedLayout(0.66f, why), qPrintable(why));
    }

    void savedLayoutIsRestoredOnlyTheFirstTime() {
        TMainWinProbe::FirstLayout() = true;
        Workspace->SizeToggle = false;
        TMainWinProbe::SavedMainX() = -999999;  // the lowest value that still counts as saved
        TMainWinProbe::SavedMainY() = 7;
        TMainWinProbe::SavedEditorX() = 10, TMainWinProbe::SavedEditorY() = 60;
        TMainWinProbe::SavedEditorWidth() = 300, TMainWinProbe::SavedEditorHeight() = 200;
        TMainWinProbe::SavedOutputX() = 20, TMainWinProbe::SavedOutputY() = 280;
        TMainWinProbe::SavedOutputWidth() = 330, TMainWinProbe::SavedOutputHeight() = 150;
        TMainWinProbe::SavedMemoryX() = 400, TMainWinProbe::SavedMemoryY() = 70, TMainWinProbe::SavedMemoryHeight() = 250;
        celtest::Action("MenuWinSize")->trigger();
        // Saved values are the outer frames.
        QCOMPARE(cel::OuterGeometry(MainWin).topLeft(), QPoint(-999999, 7));
        QCOMPARE(cel::OuterGeometry(EditWin), QRect(10, 60, 300, 200));
        QCOMPARE(cel::OuterGeometry(OutputWin), QRect(20, 280, 330, 150));
        QCOMPARE(cel::OuterGeometry(MemoryWin), QRect(400, 70, 208, 250));
        QVERIFY(!Workspace->SizeToggle);  // left as it was
        QVERIFY(!TMainWinProbe::FirstLayout());
        // From now on the layout is computed.
        celtest::Action("MenuWinSize")->trigger();
        QString why;
        QVERIFY2(CheckComputedLayout(0.66f, why), qPrintable(why));

        // A value of -1000000 means no saved layout.
        TMainWinProbe::FirstLayout() = true;
        Workspace->SizeToggle = false;
        TMainWinProbe::SavedMainX() = -1000000;
        celtest::Action("MenuWinSize")->trigger();
        QVERIFY2(CheckComputedLayout(0.66f, why), qPrintable(why));
        QVERIFY(Workspace->SizeToggle);
    }

    // Closing the main window ends the application's event loop, unless the close sequence
    // refuses; a refusal leaves every window as it was.
    void closingTheMainWindowEndsTheEventLoop() {
        const auto closeInLoop = [] {
            QEventLoop loop;
            QTimer::singleShot(0, MainWin, [] { MainWin->close(); });
            QTimer::singleShot(1000, &loop, [&loop] { loop.exit(99); });
            return loop.exec();
        };
        EditWin->SetText("+");
        EditWin->CurrentDocument()->Modified = true;
        Windows->Dialogs.Expect(QStringLiteral("has changed"), cel::TDialogs::TAnswer::Cancel);
        QCOMPARE(closeInLoop(), 99);
        for (QWidget* w : {static_cast<QWidget*>(MainWin), static_cast<QWidget*>(EditWin),
                           static_cast<QWidget*>(OutputWin), static_cast<QWidget*>(MemoryWin)})
            QVERIFY(w->isVisible());
        Windows->Dialogs.Expect(QStringLiteral("has changed"), cel::TDialogs::TAnswer::No);
        QCOMPARE(closeInLoop(), 0);
    }

    // Logging out runs the same close sequence: Cancel keeps the program as it was, No lets the
    // session end with the settings written, and the close that follows asks nothing more.
    void endOfTheDesktopSessionAsksLikeExit() {
        const QString ini = cel::SettingsPath();
        QFile::remove(ini);
        EditWin->SetText("+");
        EditWin->CurrentDocument()->Modified = true;
        Windows->Dialogs.Expect(QStringLiteral("has changed"), cel::TDialogs::TAnswer::Cancel);
        QVERIFY(!MainWin->EndSession(true));
        QVERIFY(!QFile::exists(ini));
        QVERIFY(MainWin->isVisible() && EditWin->isVisible());
        Windows->Dialogs.Expect(QStringLiteral("has changed"), cel::TDialogs::TAnswer::No);
        QVERIFY(MainWin->EndSession(true));
        QVERIFY(QFile::exists(ini));
        QVERIFY(MainWin->close());
        QVERIFY(Windows->Dialogs.Messages.empty());
    }

    // "Minimize" takes the whole application down; restoring the main window or any work window
    // brings all of them back, and the focus to the editor that had it before the menu.
    void minimizeAndRestoreTheWholeApplication() {
        QWidget* windows[] = {MainWin, EditWin, OutputWin, MemoryWin};
        for (QWidget* restored : {static_cast<QWidget*>(MainWin), static_cast<QWidget*>(OutputWin)}) {
            EditWin->activateWindow();
            EditWin->Editor->setFocus();
            QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(EditWin->Editor));
            MainWin->activateWindow();  // as a click on its menu does
            QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget*>(MainWin));
            QVERIFY(Trigger("MenuMinimize"));
            QTRY_VERIFY(std::all_of(std::begin(windows), std::end(windows), [](QWidget* w) { return w->isMinimized(); }));
            restored->showNormal();
            QTRY_VERIFY(std::none_of(std::begin(windows), std::end(windows), [](QWidget* w) { return w->isMinimized(); }));
            QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(EditWin->Editor));
        }
    }

    void toggleFromOutputPrefersMemoryThenEditor() {
        QVERIFY(MainActiveAfterOutput());
        QCOMPARE(ToggleTarget(), static_cast<QWidget*>(MemoryWin));

        MemoryWin->close();
        QVERIFY(MainActiveAfterOutput());
        QCOMPARE(ToggleTarget(), static_cast<QWidget*>(EditWin));
        QVERIFY(MemoryWin->isHidden());

        EditWin->close();
        QVERIFY(MainActiveAfterOutput());
        QCOMPARE(ToggleTarget(), static_cast<QWidget*>(nullptr));
        // A hidden window is never shown by the command.
        QVERIFY(MemoryWin->isHidden());
        QVERIFY(EditWin->isHidden());
    }

    void toggleFollowsTheCycle() {
        MainActive();
        QCOMPARE(QApplication::activeWindow(), static_cast<QWidget*>(MainWin));
        Workspace->ActiveWorkWindow = EditWin;
        QCOMPARE(ToggleTarget(), static_cast<QWidget*>(OutputWin));
        MainActive();
        Workspace->ActiveWorkWindow = MemoryWin;
        QCOMPARE(ToggleTarget(), static_cast<QWidget*>(EditWin));
        MainActive();
        Workspace->ActiveWorkWindow = nullptr;
        QCOMPARE(ToggleTarget(), static_cast<QWidget*>(EditWin));
        EditWin->close();
        MainActive();
        Workspace->ActiveWorkWindow = nullptr;
        QCOMPARE(ToggleTarget(), static_cast<QWidget*>(OutputWin));
        QVERIFY(EditWin->isHidden());
        EditWin->show();
    }

    void toggleWithOnlyTheCurrentWindowVisibleDoesNothing() {
        OutputWin->close();
        MemoryWin->close();
        MainActive();
        QCOMPARE(QApplication::activeWindow(), static_cast<QWidget*>(MainWin));
        Workspace->ActiveWorkWindow = EditWin;
        QCOMPARE(ToggleTarget(), static_cast<QWidget*>(nullptr));
        QVERIFY(OutputWin->isHidden());
        QVERIFY(MemoryWin->isHidden());
        QCOMPARE(QApplication::activeWindow(), static_cast<QWidget*>(MainWin));
    }

    void watchedRunGivesTheSameOutput() {
        const QByteArray program("++++++++[>++++++++<-]>+.+.\r\n[-]++++++++++.");
        EditWin->SetText(program);
        QVERIFY(Trigger("MenuDoRun"));
        QVERIFY(WaitReady());
        const QByteArray fast = OutputWin->Text();
        QCOMPARE(fast, QByteArray("AB\r\n"));

        Workspace->WatchDelay = 0;
        celtest::Action("MenuWatch")->trigger();
        QVERIFY(celtest::Action("MenuWatch")->isChecked());
        QVERIFY(Trigger("MenuDoRun"));
        QVERIFY(WaitReady());
        QVERIFY(Workspace->Interpreter->GetWatch());
        QCOMPARE(OutputWin->Text(), fast);
    }

    void watchMarksCommandsAndF11ReturnsToFastMode() {
        Workspace->WatchDelay = 0;
        celtest::Action("MenuWatch")->trigger();
        QVERIFY(celtest::Action("MenuWatch")->isChecked());
        EditWin->SetText("+[>+<]");
        QVERIFY(Trigger("MenuDoRun"));
        QTRY_VERIFY_WITH_TIMEOUT(Workspace->Running() && celtest::Action("MenuDebug")->isEnabled(), 10000);
        QVERIFY(Workspace->Interpreter->GetWatch());
        QVERIFY(Trigger("MenuDebug"));
        QVERIFY(WaitSuspended());
        QCOMPARE(EditWin->SelLength(), 1);

        // Continue, still watched, then switch watching off.
        QVERIFY(Trigger("MenuDoRun"));
        QTRY_VERIFY_WITH_TIMEOUT(!Workspace->Paused(), 10000);
        QTest::qWait(20);
        QVERIFY(Workspace->Running());
        QVERIFY(Trigger("MenuWatch"));
        QVERIFY(!celtest::Action("MenuWatch")->isChecked());
        QVERIFY(!Workspace->Interpreter->GetWatch());
        QCOMPARE(EditWin->SelLength(), 0);
        // Hand-offs of the last watched step that were already on their way mark nothing.
        QTest::qWait(50);
        QVERIFY(Workspace->Running());
        QCOMPARE(EditWin->SelLength(), 0);

        QVERIFY(Trigger("MenuReset"));
        QVERIFY(WaitReady());
    }

    void inputDemandedUnderADialogWaitsForIt() {
        EditWin->SetText(",.");
        Workspace->ModalOpen = true;
        Windows->Dialogs.Expect(QStringLiteral("The program demands input."));
        QVERIFY(Trigger("MenuDoRun"));
        QVERIFY(WaitSuspended());
        QVERIFY(Workspace->WaitingForInput());
        QVERIFY(Windows->Dialogs.Messages.empty());
        QVERIFY(Windows->Dialogs.Shown.contains(QStringLiteral("The program demands input.")));
        QVERIFY(Workspace->InputPending);
        // The "dialog" closes; the output window was closed meanwhile.
        OutputWin->close();
        QVERIFY(OutputWin->isHidden());
        Workspace->ModalOpen = false;
        MainWin->ShowPendingInput();
        QVERIFY(!Workspace->InputPending);
        QVERIFY(OutputWin->isVisible());
        QVERIFY(celtest::Action("MenuOutput")->isChecked());
        QVERIFY(OutputWin->EditLine->isEnabled());

        EnterLine(QStringLiteral("Q"));
        QVERIFY(WaitReady());
        QVERIFY(!Workspace->Running());
        QVERIFY(OutputWin->Text().endsWith('Q'));
        // Without a dialog the pending state never arises.
        MainWin->ShowPendingInput();
        QVERIFY(!Workspace->InputPending);
    }

    // ---- The source editor's keys and gutter ----

    void homeGoesToColumnOne() {
        QsciScintilla* editor = EditWin->Editor;
        EditWin->SetText("    +-\r\n\t\t+");
        for (const int column : {7, 6, 3}) {
            EditWin->SetCaret(1, column);
            QTest::keyClick(editor, Qt::Key_Home);
            QCOMPARE(EditWin->CaretColumn(), 1);
            QTest::keyClick(editor, Qt::Key_Home);  // no toggle to the first non-blank character
            QCOMPARE(EditWin->CaretColumn(), 1);
            QCOMPARE(EditWin->SelLength(), 0);
        }
        // Shift+Home selects back to column 1, also when pressed again.
        EditWin->SetCaret(2, 4);
        QTest::keyClick(editor, Qt::Key_Home, Qt::ShiftModifier);
        QCOMPARE(EditWin->SelStart(), 8);
        QCOMPARE(EditWin->SelLength(), 3);
        QTest::keyClick(editor, Qt::Key_Home, Qt::ShiftModifier);
        QCOMPARE(EditWin->SelStart(), 8);
        QCOMPARE(EditWin->SelLength(), 3);
        QCOMPARE(EditWin->CaretColumn(), 1);
        // Ctrl+Home still goes to the start of the text.
        QTest::keyClick(editor, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(EditWin->CaretLine(), 1);
        QCOMPARE(EditWin->SelLength(), 0);
    }

    void aSmallEditorKeepsTheSelectedTabRowAndItsPanelsApart() {
        for (int i = 0; i < 14; ++i) QVERIFY(Trigger("MenuNew"));
        for (const QSize size : {EditWin->minimumSize(), QSize(300, 200)}) {
            EditWin->resize(size);
            QTest::qWait(20);
            const QRect bar = EditWin->Tabs->rect();
            for (const int current : {0, 7, 14}) {
                EditWin->Tabs->setCurrentIndex(current);
                QVERIFY(EditWin->Tabs->rowCount() > 2);
                QVERIFY2(bar.contains(EditWin->Tabs->tabRect(current)),
                         qPrintable(QStringLiteral("tab %1 of a %2x%3 window").arg(current).arg(size.width()).arg(size.height())));
            }
            for (int i = 0; i < 5; ++i)
                for (int j = i + 1; j < 5; ++j)
                    QVERIFY(!EditWin->Panels[i]->geometry().intersects(EditWin->Panels[j]->geometry()));
        }
    }

    void gutterFitsTheLineCount_data() {
        QTest::addColumn<int>("lines");
        QTest::newRow("9 lines") << 9;
        QTest::newRow("99 lines") << 99;
        QTest::newRow("1068 lines, as Skiploop.b") << 1068;
        QTest::newRow("10000 lines") << 10000;
    }

    void gutterFitsTheLineCount() {
        QFETCH(int, lines);
        QsciScintilla* editor = EditWin->Editor;
        auto textOf = [](int count) {
            QByteArray text("+");
            for (int i = 1; i < count; ++i) text += "\r\n+";
            return text;
        };
        auto textWidth = [editor](int number) {
            return int(editor->SendScintilla(QsciScintillaBase::SCI_TEXTWIDTH, QsciScintillaBase::STYLE_LINENUMBER,
                                             QByteArray::number(number).constData()));
        };
        // Scintilla keeps 3 pixels right of a number; at least as many must stay free on its left.
        auto fits = [&](int number) { return editor->marginWidth(0) >= textWidth(number) + 6; };

        EditWin->SetText(textOf(9));
        const int small = editor->marginWidth(0);
        QVERIFY(fits(9) && fits(99));

        EditWin->SetText(textOf(lines));
        const int wide = editor->marginWidth(0);
        QVERIFY2(fits(lines), qPrintable(QStringLiteral("gutter %1 for %2").arg(wide).arg(textWidth(lines))));
        QCOMPARE(wide > small, lines >= 100);

        // Lines typed or deleted in the editor count as well.
        EditWin->SetCaret(lines, 2);
        QTest::keyClick(editor, Qt::Key_Return);
        QVERIFY(fits(lines + 1));
        QTest::keyClick(editor, Qt::Key_Backspace);
        QCOMPARE(editor->marginWidth(0), wide);

        // Hidden, and shown again for the same text.
        EditWin->SetGutterVisible(false);
        QCOMPARE(editor->marginWidth(0), 0);
        EditWin->SetGutterVisible(true);
        QCOMPARE(editor->marginWidth(0), wide);
        // The text font does not change the gutter's own font.
        EditWin->SetEditorFont(QStringLiteral("Courier New"), 24);
        QCOMPARE(editor->marginWidth(0), wide);
        // Zooming (Ctrl+Plus) enlarges the numbers too.
        editor->zoomIn(6);
        QVERIFY(fits(lines));
        QVERIFY(editor->marginWidth(0) > wide);
        editor->zoomTo(0);
        QCOMPARE(editor->marginWidth(0), wide);

        // A document with fewer lines takes the narrower gutter back, also through a tab change.
        QVERIFY(Trigger("MenuNew"));
        QCOMPARE(editor->marginWidth(0), small);
        EditWin->TabsChanging();
        EditWin->Tabs->setCurrentIndex(0);
        EditWin->TabsChange();
        QCOMPARE(editor->marginWidth(0), wide);
        EditWin->CurrentDocument()->Modified = false;
    }
};

QTEST_MAIN(TestGuiWindows)
#include "test_gui_windows.moc"
