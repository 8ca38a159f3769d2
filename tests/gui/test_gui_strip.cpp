// The strip tool through its real dialog, opened by the Strip command: what every opening
// resets, when it strips again, the line-length field, the count's format, copying and saving.

#include "gui_support.h"

#include "cel_EditWin.h"
#include "cel_Main.h"
#include "cel_MemoryWin.h"
#include "cel_StripWin.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>

#include <cmath>
#include <functional>

using namespace celtest;

namespace {

const QByteArray Example = "; (comment), ok.\r\n++[>+++<-]>.\r\n (x):+.";
const QString With = QStringLiteral("++[>+\n++<-]\n>.():\n+.");  // the example at length 5
const QString Without = QStringLiteral("(),.+\n+[>++\n+<-]>\n.():+\n.");
const QString Illegal = QStringLiteral("You did not enter a legal number. Please try again.");

QString Memo() { return StripWin->MemoStrip->toPlainText(); }
QString Status() { return StripWin->Status->currentMessage(); }

void SetProcedures(bool on) {
    if (celtest::Action("MenuPBrain")->isChecked() != on) celtest::Action("MenuPBrain")->trigger();
}

void TypeLength(const QString& text) {
    StripWin->EditLength->setFocus();
    StripWin->EditLength->selectAll();
    QTest::keyClick(StripWin->EditLength, Qt::Key_Delete);
    QTest::keyClicks(StripWin->EditLength, text);
}

void ClickRadio(QRadioButton* radio) { QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(6, radio->height() / 2)); }

// Opens the dialog with the Strip command, runs act() inside it and closes it with Esc; should
// that fail, it is closed anyway, so a broken dialog fails the test instead of hanging it.
// Returns whether Esc closed it and the modal flags were set while it showed.
bool Open(const std::function<void()>& act) {
    bool fine = false;
    RunModal(StripWin, [] { return Trigger("MenuStrip"); }, [&] {
        fine = Workspace->ModalOpen && Workspace->DialogOpen;
        QApplication::setActiveWindow(StripWin);
        if (act) act();
        fine = CloseDialog(StripWin, QStringLiteral("Esc")) && fine;
    });
    return fine && !Workspace->ModalOpen && !Workspace->DialogOpen;
}

}  // namespace

class TestGuiStrip : public TGuiTest {
    Q_OBJECT
    // The count's format follows the locale; a test that sets another one leaves it behind.
    void PrepareSuite() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void FinishCase() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

private slots:
    void everyOpeningStartsAfresh_data() {
        QTest::addColumn<bool>("procedures");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("stripped");
        QTest::addColumn<QString>("status");
        QTest::newRow("procedures on") << true << "Strip All Non-Brainfuck Symbols (BF procedures enabled)"
                                       << "++[>+++<-]>.():+." << "17 commands";
        QTest::newRow("procedures off") << false << "Strip All Non-Brainfuck Symbols (BF procedures disabled)"
                                        << "++[>+++<-]>.+." << "14 commands";
    }

    void everyOpeningStartsAfresh() {
        QFETCH(bool, procedures);
        QFETCH(QString, caption);
        QFETCH(QString, stripped);
        QFETCH(QString, status);
        SetProcedures(procedures);
        EditWin->SetText("+++");
        QVERIFY(Open([] {  // leaves the other mode and another line length behind
            ClickRadio(StripWin->RadioWithout);
            TypeLength(QStringLiteral("2"));
            StripWin->BtnOk->click();
            QCOMPARE(Memo(), QStringLiteral("++\n+"));
        }));
        QCOMPARE(Memo(), QString());  // closing empties the output

        EditWin->SetText(Example);
        QStringList seen;
        QSize size, outer;
        QPoint pos;
        QVERIFY(Open([&] {
            seen << StripWin->windowTitle() << StripWin->EditLength->text()
                 << QString::number(StripWin->RadioWith->isChecked()) << StripWin->focusWidget()->objectName()
                 << Memo() << Status();
            size = StripWin->size();
            pos = StripWin->pos();
            outer = StripWin->frameGeometry().size();
        }));
        QCOMPARE(seen, (QStringList{caption, "70", "1", "RadioWith", stripped, status}));
        const int width = StripWin->BtnSave->geometry().right() + 1 + 80;
        QCOMPARE(size, QSize(width, int(std::lround(width / 1.3))));
        // Centred by the outer frame, which the offscreen platform draws too.
        QVERIFY(outer.width() > size.width() && outer.height() > size.height());
        QCOMPARE(pos, CentredOnWorkArea(outer));
        QVERIFY(StripWin->windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(StripWin->minimumSize(), QSize(320, 240));
        QCOMPARE(EditWin->Text(), Example);
    }

    // A mode change strips at once (taking the typed line length along); typing a line length
    // alone does not, Ok and Enter do.
    void whenItStripsAgain() {
        SetProcedures(true);
        EditWin->SetText(Example);
        QStringList seen;
        QVERIFY(Open([&] {
            TypeLength(QStringLiteral("5"));
            seen << Memo();
            ClickRadio(StripWin->RadioWithout);
            seen << Memo() << Status();
            ClickRadio(StripWin->RadioWith);
            seen << Memo() << Status();
            StripWin->RadioWith->setFocus();
            QTest::keyClick(StripWin->RadioWith, Qt::Key_Down);  // the arrows move the choice
            seen << Memo();
            QTest::keyClick(StripWin->RadioWithout, Qt::Key_Up);
            seen << Memo();
            StripWin->RadioWithout->setFocus();
            QTest::keyClick(StripWin->RadioWithout, Qt::Key_Space);
            seen << Memo();
            TypeLength(QStringLiteral("9"));
            QTest::keyClick(StripWin->EditLength, Qt::Key_Return);
            seen << Memo() << QString::number(StripWin->isVisible());
            TypeLength(QStringLiteral("$10"));
            QTest::mouseClick(StripWin->BtnOk, Qt::LeftButton);
            seen << Memo();
        }));
        QCOMPARE(seen, (QStringList{"++[>+++<-]>.():+.", Without, "21 commands", With, "17 commands", Without, With,
                                    Without, "(),.++[>+\n++<-]>.()\n:+.", "1", "(),.++[>+++<-]>.\n():+."}));
    }

    void illegalLineLengthsChangeNothing_data() {
        QTest::addColumn<QString>("length");
        QTest::newRow("zero") << "0";
        QTest::newRow("negative") << "-3";
        QTest::newRow("letters") << "abc";
        QTest::newRow("empty") << "";
    }

    void illegalLineLengthsChangeNothing() {
        QFETCH(QString, length);
        EditWin->SetText(Example);
        QStringList seen;
        QVERIFY(Open([&] {
            const QString memo = Memo(), status = Status();
            EditWin->SetText("+");  // would show, were the strip to run
            TypeLength(length);
            Windows->Dialogs.Expect(Illegal);
            QTest::keyClick(StripWin->EditLength, Qt::Key_Return);
            Windows->Dialogs.Expect(Illegal);
            ClickRadio(StripWin->RadioWithout);
            seen << QString::number(Memo() == memo) << QString::number(Status() == status);
            // Enter on the message box closes it on the key's press; the release then reaches
            // the radio button below and must not bring the message back.
            Windows->Dialogs.Expect(Illegal);
            QTest::keyPress(StripWin->RadioWithout, Qt::Key_Return);
            QTest::keyRelease(StripWin->RadioWithout, Qt::Key_Return);
            QTest::keyRelease(StripWin->RadioWithout, Qt::Key_Return);
        }));
        QCOMPARE(seen, (QStringList{"1", "1"}));
        QCOMPARE(Windows->Dialogs.Shown, (QStringList{Illegal, Illegal, Illegal}));
    }

    void countFollowsTheLocale_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<int>("commands");
        QTest::addColumn<QString>("status");
        const QLocale english(QLocale::English, QLocale::UnitedStates);
        QTest::newRow("none") << english << 0 << "0 commands";
        QTest::newRow("one") << english << 1 << "1 commands";
        QTest::newRow("thousands") << english << 1234567 << "1,234,567 commands";
        QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany) << 1234 << "1.234 commands";
    }

    void countFollowsTheLocale() {
        QFETCH(QLocale, locale);
        QFETCH(int, commands);
        QFETCH(QString, status);
        QLocale::setDefault(locale);
        EditWin->SetText("; not counted: +-<>\r\n" + QByteArray(commands, '>'));
        QString shown;
        QVERIFY(Open([&] { shown = Status(); }));
        QCOMPARE(shown, status);
    }

    void copyTakesTheExactText() {
        SetProcedures(true);
        EditWin->SetText(Example);
        bool selected = true;
        QVERIFY(Open([&] {
            TypeLength(QStringLiteral("5"));
            StripWin->BtnOk->click();
            StripWin->BtnCopy->click();
            selected = StripWin->MemoStrip->textCursor().hasSelection();
        }));
        QCOMPARE(QGuiApplication::clipboard()->text(), QString(With).replace("\n", "\r\n"));
        QVERIFY(!selected);
    }

    void saveWritesCrLfLines_data() {
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<QString>("length");
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("last line short") << QByteArray("+++++") << "2" << QByteArray("++\r\n++\r\n+\r\n");
        QTest::newRow("exact multiple") << QByteArray("++++") << "2" << QByteArray("++\r\n++\r\n");
        QTest::newRow("nothing kept") << QByteArray("text") << "70" << QByteArray();
    }

    void saveWritesCrLfLines() {
        QFETCH(QByteArray, source);
        QFETCH(QString, length);
        QFETCH(QByteArray, file);
        const QString path = Windows->SettingsDir.filePath(QStringLiteral("stripped.b"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("a longer file that was there before") > 0);
        old.close();
        const QString failed = Windows->SettingsDir.filePath(QStringLiteral("missing/stripped.b"));
        Windows->Dialogs.SaveAnswers = {path, failed, QString()};  // the last one cancels
        const QString saved = QStringLiteral("File \"%1\" saved.").arg(path);
        const QString error =
            QStringLiteral("Could not write to file \"%1\". An error occurred.\nDo you have permission?").arg(failed);
        Windows->Dialogs.Expect(saved);
        Windows->Dialogs.Expect(error);
        EditWin->SetText(source);
        QStringList seen;
        QVERIFY(Open([&] {
            TypeLength(length);
            StripWin->BtnOk->click();
            const QString memo = Memo();
            for (int i = 0; i < 3; ++i) StripWin->BtnSave->click();
            seen << QString::number(StripWin->isVisible()) << QString::number(Memo() == memo);
        }));
        QCOMPARE(seen, (QStringList{"1", "1"}));
        QCOMPARE(Windows->Dialogs.Shown, (QStringList{saved, error}));
        QVERIFY(Windows->Dialogs.SaveAnswers.empty());
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), file);
    }
};

QTEST_MAIN(TestGuiStrip)
#include "test_gui_strip.moc"
