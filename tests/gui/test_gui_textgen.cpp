// The text generator dialog opened from the main window: the code following the text on the
// timer, generation by hand, the clipboard, every way out, and what lasts between openings.

#include "gui_support.h"

#include "cel_Main.h"
#include "cel_MemoryWin.h"
#include "cel_TextBox.h"
#include "cel_TextGenWin.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <functional>

using namespace celtest;

namespace {

const QString Prefix = QStringLiteral("[-]>[-]<\r\n");
// "Hi", a line break, "Ho".
const QString HiHo = Prefix + QStringLiteral(">++++++++[<+++++++++>-]<.\r\n"
                                             ">++++[<++++++++>-]<+.\r\n"
                                             ">+++++++[<------------->-]<-.\r\n"
                                             "---.\r\n"
                                             ">+++++++[<+++++++++>-]<-.\r\n"
                                             ">+++++[<++++++++>-]<-.\r\n");

template <typename T>
T* Control(const char* name) {
    return TextGenWin->findChild<T*>(QLatin1String(name));
}
QPlainTextEdit* TextMemo() { return Control<QPlainTextEdit>("TextMemo"); }
QPlainTextEdit* CodeMemo() { return Control<QPlainTextEdit>("CodeMemo"); }
QCheckBox* CBxAuto() { return Control<QCheckBox>("CBxAuto"); }
QPushButton* Button(const char* name) { return Control<QPushButton>(name); }

// CodeMemo's text with the line breaks the code has.
QString ShownCode() {
    QString text = CodeMemo()->toPlainText();
    return text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}

// Types into TextMemo as the keyboard would; "\n" presses Enter.
void Type(const QString& text) { TypeInto(TextMemo(), text); }

// Waits for ticks of the dialog's timer, so that a generation due would have happened.
bool WaitTicks(int ticks) {
    int seen = 0;
    const QMetaObject::Connection counting =
        QObject::connect(&TextGenWin->Timer, &QTimer::timeout, [&] { ++seen; });
    const bool reached = QTest::qWaitFor([&] { return seen >= ticks; }, 1000 * ticks + 5000);
    QObject::disconnect(counting);
    return reached;
}

// Opens the dialog from the main window and runs act() inside it. Returns whether it was closed
// by act(); if not, it is closed anyway, so a failed check cannot hang the test.
bool RunDialog(const std::function<void()>& act) {
    bool closedByAct = false;
    const bool ran = RunModal(TextGenWin, [] { return Trigger("MenuTextGen"); }, [&] {
        if (TextGenWin->isVisible()) act();
        closedByAct = !TextGenWin->isVisible();
    });
    return ran && closedByAct;
}

}  // namespace

class TestGuiTextGen : public TGuiTest {
    Q_OBJECT
    // The dialog's timer runs only while it shows.
    void CheckCase() override { QVERIFY(!TextGenWin->Timer.isActive()); }

private slots:
    void opensCentredWithTheFlagsSet() {
        bool modal = false, dialogOpen = false, timing = false;
        QWidget* focus = nullptr;
        QPoint pos;
        QSize outer;
        const bool closed = RunDialog([&] {
            modal = Workspace->ModalOpen;
            dialogOpen = Workspace->DialogOpen;
            timing = TextGenWin->Timer.isActive();
            focus = TextGenWin->focusWidget();
            pos = TextGenWin->pos();
            outer = TextGenWin->frameGeometry().size();
            QTest::keyClick(Button("BtnClose"), Qt::Key_Escape);
        });
        QVERIFY(closed);
        QVERIFY(modal);
        QVERIFY(dialogOpen);
        QVERIFY(timing);
        QCOMPARE(focus, TextMemo());
        // Centred by the outer frame, which the offscreen platform draws too.
        QVERIFY(outer.width() > 640 && outer.height() > 480);
        QCOMPARE(pos, CentredOnWorkArea(outer));
        QCOMPARE(TextGenWin->size(), QSize(640, 480));
        QCOMPARE(TextGenWin->windowTitle(), QStringLiteral("Text Generator"));
        QVERIFY(!Workspace->ModalOpen);
        QVERIFY(!Workspace->DialogOpen);
    }

    // Typing is followed on the timer, Enter included; emptying the text leaves the prefix.
    void codeFollowsTheText() {
        RunDialog([] {
            QVERIFY(CBxAuto()->isChecked());
            QVERIFY(!Button("BtnGenerate")->isVisible());
            // A paste of data without any format (an X11 clipboard that nobody owns) leaves the
            // text as it is.
            const QMimeData nothing;
            static_cast<TTextBox*>(TextMemo())->insertFromMimeData(&nothing);
            QCOMPARE(TextMemo()->toPlainText(), QString());
            Type(QStringLiteral("Hi\nHo"));
            QVERIFY(TextGenWin->isVisible());  // Enter stays in the text
            QTRY_COMPARE_WITH_TIMEOUT(ShownCode(), HiHo, 5000);
            Type(QStringLiteral("!"));
            QTRY_COMPARE_WITH_TIMEOUT(ShownCode(), HiHo + QStringLiteral(">++++++[<------------->-]<.\r\n"), 5000);
            TextMemo()->selectAll();
            QTest::keyClick(TextMemo(), Qt::Key_Delete);
            QTRY_COMPARE_WITH_TIMEOUT(ShownCode(), Prefix, 5000);
        });
    }

    // The emptied text of the last opening is no change to generate: the code box stays empty.
    void reopenedDialogWaitsForText() {
        QVERIFY(RunDialog([] {
            Type(QStringLiteral("Hi"));
            QTRY_VERIFY_WITH_TIMEOUT(!CodeMemo()->toPlainText().isEmpty(), 5000);
            QTest::keyClick(TextMemo(), Qt::Key_Escape);
        }));
        QString shown = QStringLiteral("unseen");
        RunDialog([&] {
            QVERIFY(WaitTicks(2));
            shown = CodeMemo()->toPlainText();
        });
        QCOMPARE(shown, QString());
    }

    // Without automatic generation only the buttons generate; switching it on again catches up.
    void generatingByHand() {
        RunDialog([] {
            CBxAuto()->click();
            QVERIFY(Button("BtnGenerate")->isVisible());
            QCOMPARE(TextGenWin->focusWidget(), TextMemo());
            Type(QStringLiteral("a"));
            QVERIFY(WaitTicks(2));
            QCOMPARE(ShownCode(), QString());
            QTest::mouseClick(Button("BtnGenerate"), Qt::LeftButton);
            QCOMPARE(ShownCode(), Prefix + QStringLiteral(">++++++++[<++++++++++++>-]<+.\r\n"));
            Type(QStringLiteral("s"));
            QVERIFY(WaitTicks(2));
            QCOMPARE(ShownCode(), Prefix + QStringLiteral(">++++++++[<++++++++++++>-]<+.\r\n"));
            CBxAuto()->click();
            QVERIFY(!Button("BtnGenerate")->isVisible());
            QTRY_COMPARE_WITH_TIMEOUT(ShownCode(), Prefix + QStringLiteral(">++++++++[<++++++++++++>-]<+.\r\n"
                                                                           ">+++[<++++++>-]<.\r\n"),
                                      5000);
        });
    }

    void copyPutsTheCodeOnTheClipboard_data() {
        QTest::addColumn<bool>("automatic");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("code");
        QTest::newRow("empty text") << true << QString() << Prefix;
        QTest::newRow("two lines") << true << QStringLiteral("Hi\nHo") << HiHo;
        QTest::newRow("not yet generated") << false << QStringLiteral("Hi\nHo") << HiHo;
        QTest::newRow("outside Latin-1 is ?")
            << true << QStringLiteral("\u20AC\U0001F600")
            << Prefix + QStringLiteral(">+++++++[<+++++++++>-]<.\r\n.\r\n");
        QTest::newRow("no-break space is 160")
            << true << QStringLiteral("\u00A0")
            << Prefix + QStringLiteral(">++++++++++[<++++++++++++++++>-]<.\r\n");
    }

    void copyPutsTheCodeOnTheClipboard() {
        QFETCH(bool, automatic);
        QFETCH(QString, text);
        QFETCH(QString, code);
        QGuiApplication::clipboard()->setText(QStringLiteral("old"));
        const bool closed = RunDialog([&] {
            CBxAuto()->setChecked(automatic);
            Type(text);
            QTest::mouseClick(Button("BtnCopy"), Qt::LeftButton);
        });
        QVERIFY(closed);
        QCOMPARE(QGuiApplication::clipboard()->text(), code);
        QVERIFY(!Workspace->ModalOpen);
        QVERIFY(!Workspace->DialogOpen);
    }

    // Every way out empties both boxes for the next opening; the check box keeps its state.
    void everyCloseEmptiesTheBoxes_data() {
        QTest::addColumn<QString>("how");
        for (const char* how : {"Esc in TextMemo", "Esc in CodeMemo", "Esc on CBxAuto", "BtnClose", "close box"})
            QTest::newRow(how) << QString::fromLatin1(how);
    }

    void everyCloseEmptiesTheBoxes() {
        QFETCH(QString, how);
        const bool closed = RunDialog([&] {
            CBxAuto()->click();
            Type(QStringLiteral("Hi"));
            QTest::mouseClick(Button("BtnGenerate"), Qt::LeftButton);
            QVERIFY(!CodeMemo()->toPlainText().isEmpty());
            if (how == QLatin1String("Esc in TextMemo")) QTest::keyClick(TextMemo(), Qt::Key_Escape);
            else if (how == QLatin1String("Esc in CodeMemo")) QTest::keyClick(CodeMemo(), Qt::Key_Escape);
            else if (how == QLatin1String("Esc on CBxAuto")) QTest::keyClick(CBxAuto(), Qt::Key_Escape);
            else if (how == QLatin1String("BtnClose")) QTest::mouseClick(Button("BtnClose"), Qt::LeftButton);
            else TextGenWin->close();
        });
        QVERIFY(closed);
        QString text = QStringLiteral("unseen"), shown = text;
        bool automatic = true, generateShown = false;
        QVERIFY(RunDialog([&] {
            text = TextMemo()->toPlainText();
            shown = CodeMemo()->toPlainText();
            automatic = CBxAuto()->isChecked();
            generateShown = Button("BtnGenerate")->isVisible();
            QTest::keyClick(TextMemo(), Qt::Key_Escape);
        }));
        QCOMPARE(text, QString());
        QCOMPARE(shown, QString());
        QVERIFY(!automatic);
        QVERIFY(generateShown);
    }

    // Enter in the code box neither closes the dialog nor changes the code.
    void enterInTheCodeBoxStays() {
        RunDialog([] {
            Type(QStringLiteral("x"));
            QTRY_VERIFY_WITH_TIMEOUT(!CodeMemo()->toPlainText().isEmpty(), 5000);
            const QString code = ShownCode();
            QTest::keyClick(CodeMemo(), Qt::Key_Return);
            QVERIFY(TextGenWin->isVisible());
            QCOMPARE(ShownCode(), code);
        });
    }
};

QTEST_MAIN(TestGuiTextGen)
#include "test_gui_textgen.moc"
