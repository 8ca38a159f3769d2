// Editing in the source editor (its editing options and the Edit commands' targets per active
// work window), and saving the output window's text.

#include "gui_support.h"

#include "cel_EditWin.h"
#include "cel_Main.h"
#include "cel_OutputWin.h"

#include <QClipboard>
#include <Qsci/qsciscintilla.h>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>

using namespace celtest;

class TestGuiClipboard : public TGuiTest {
    Q_OBJECT
private slots:
    void editCommandsFollowTheActiveWorkWindow() {
        QClipboard* clipboard = QGuiApplication::clipboard();
        EditWin->SetText("+++");
        OutputWin->SetText("A\x1b" "B");  // the escape character shown as a space, copied as itself

        // The output window: Cut only copies, Paste does nothing.
        Workspace->ActiveWorkWindow = OutputWin;
        clipboard->setText(QStringLiteral("xyz"));
        QVERIFY(Trigger("MenuSelectAll"));
        QVERIFY(Trigger("MenuCut"));
        QCOMPARE(clipboard->text(), QStringLiteral("A\x1b" "B"));
        QCOMPARE(OutputWin->Text(), QByteArray("A\x1b" "B"));
        QVERIFY(Trigger("MenuPaste"));
        QCOMPARE(OutputWin->Text(), QByteArray("A\x1b" "B"));
        QCOMPARE(EditWin->Text(), QByteArray("+++"));

        // The memory window, or none: nothing at all.
        Workspace->ActiveWorkWindow = nullptr;
        clipboard->setText(QStringLiteral("-"));
        QVERIFY(Trigger("MenuCopy"));
        QVERIFY(Trigger("MenuPaste"));
        QCOMPARE(clipboard->text(), QStringLiteral("-"));
        QCOMPARE(EditWin->Text(), QByteArray("+++"));

        // The editor: Paste inserts, Cut removes, and the document counts as changed.
        Workspace->ActiveWorkWindow = EditWin;
        EditWin->SetSelection(3, 0);
        QVERIFY(Trigger("MenuPaste"));
        QCOMPARE(EditWin->Text(), QByteArray("+++-"));
        QVERIFY(EditWin->CurrentDocument()->Modified);
        EditWin->SetSelection(0, 2);
        QVERIFY(Trigger("MenuCut"));
        QCOMPARE(clipboard->text(), QStringLiteral("++"));
        QCOMPARE(EditWin->Text(), QByteArray("+-"));
        QVERIFY(Trigger("MenuUndo"));
        QCOMPARE(EditWin->Text(), QByteArray("+++-"));
    }

    void editingOptions() {
        QsciScintilla* editor = EditWin->Editor;
        auto type = [&](Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
            QTest::keyClick(editor, key, modifiers);
        };

        // A new line takes the leading blanks of the line above.
        EditWin->SetText("  +");
        EditWin->SetSelection(3, 0);
        type(Qt::Key_Return);
        QCOMPARE(EditWin->Text(), QByteArray("  +\r\n  "));

        // Tab goes to where the next word starts in the nearest non-empty line above.
        EditWin->SetText("ab  cd\r\n\r\n");
        EditWin->SetSelection(10, 0);
        type(Qt::Key_Tab);
        QCOMPARE(EditWin->Text(), QByteArray("ab  cd\r\n\r\n    "));
        // With no word further right above, Tab inserts a tab character.
        type(Qt::Key_Tab);
        QCOMPARE(EditWin->Text(), QByteArray("ab  cd\r\n\r\n    \t"));

        // End stops after the last non-blank character first, then at the line's end.
        EditWin->SetText("  ab  ");
        EditWin->SetSelection(0, 0);
        type(Qt::Key_End);
        QCOMPARE(EditWin->SelStart(), 4);
        type(Qt::Key_End);
        QCOMPARE(EditWin->SelStart(), 6);

        // Typing marks the document modified; a run of typing is undone as one step.
        EditWin->CurrentDocument()->Modified = false;
        EditWin->SetText("");
        QVERIFY(!EditWin->CurrentDocument()->Modified);  // the program's own replacement
        QTest::keyClicks(editor, QStringLiteral("+-+"));
        QCOMPARE(EditWin->Text(), QByteArray("+-+"));
        QVERIFY(EditWin->CurrentDocument()->Modified);
        QVERIFY(Trigger("MenuUndo"));
        QCOMPARE(EditWin->Text(), QByteArray(""));
    }

    void outputTextIsSavedAsShown() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("out.txt"));

        QVERIFY(!OutputWin->BtnSave->isEnabled());
        EditWin->SetText("++++++++[>++++++++<-]>+.>++++++++++.<.");  // A LF A
        QVERIFY(Trigger("MenuDoRun"));
        QVERIFY(WaitReady());
        QVERIFY(OutputWin->BtnSave->isEnabled());
        Windows->Dialogs.SaveAnswers.push_back(path);
        OutputWin->BtnSaveClick();
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray("A\r\nA"));  // no break after a last line without one
        saved.close();

        // A failed save says so and leaves the file that was there.
        Windows->Dialogs.SaveAnswers.push_back(dir.path());  // a folder cannot be written as a file
        Windows->Dialogs.Expect(
            QStringLiteral("An error occurred. The contents of the output window could not be saved."));
        OutputWin->BtnSaveClick();
        QVERIFY(Windows->Dialogs.Messages.empty());
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray("A\r\nA"));

        QVERIFY(Trigger("MenuClearOutput"));
        QVERIFY(!OutputWin->BtnSave->isEnabled());
    }
};

QTEST_MAIN(TestGuiClipboard)
#include "test_gui_clipboard.moc"
