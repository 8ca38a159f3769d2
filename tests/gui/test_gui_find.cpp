// The find and replace dialog through the real windows: Ctrl+F shows it, F3 and Shift+F3 repeat
// its last action on the hidden dialog. Searches run forward from the caret, ignore case and
// never wrap; replacements are edits the user can undo; the boxes keep a history.

#include "gui_support.h"

#include "cel_EditWin.h"
#include "cel_FindWin.h"
#include "cel_Main.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <Qsci/qsciscintilla.h>

#include <functional>

using namespace celtest;

namespace {

QStringList Items(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
    return items;
}

// What the dialog showed when it opened.
struct TSeen {
    bool Triggered = false, Shown = false, FindFocused = false;
    QString FindText, ReplaceText;
    QStringList FindItems, ReplaceItems;
    QPoint Pos;
};

// Runs a main-window command. Should it show the dialog, its state is recorded and act() drives
// it; a dialog still open after that is cancelled, so a broken one fails instead of hanging.
TSeen Command(const char* name, const std::function<void()>& act = nullptr) {
    TSeen seen;
    RunModal(FindWin, [&] { return seen.Triggered = Trigger(name); }, [&] {
        const QComboBox *find = FindWin->findChild<QComboBox*>(QStringLiteral("CboFind")), *replace = FindWin->findChild<QComboBox*>(QStringLiteral("CboReplace"));
        seen = {true,          FindWin->isVisible(), FindWin->focusWidget() == find, find->currentText(),
                replace->currentText(), Items(find), Items(replace), FindWin->pos()};
        if (act) act();
    });
    return seen;
}

// F3 or Shift+F3 acting on the hidden dialog.
bool Again(const char* name) {
    const TSeen seen = Command(name);
    return seen.Triggered && !seen.Shown && !FindWin->isVisible();
}

// Moves into the box and types as the user does.
void Type(QComboBox* box, const QString& text) {
    box->setFocus();
    TypeInto(box, text);
}

// Opens the dialog, types the strings into the boxes and presses the button.
bool Dialog(const QString& find, const QString& replace, const QString& button) {
    return Command("MenuFind", [&] {
               Type(FindWin->findChild<QComboBox*>(QStringLiteral("CboFind")), find);
               Type(FindWin->findChild<QComboBox*>(QStringLiteral("CboReplace")), replace);
               FindWin->findChild<QPushButton*>(QStringLiteral("Btn") + button)->click();
           }).Shown &&
           FindWin->result() == QDialog::Accepted;
}

long Caret() { return EditWin->Editor->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS); }

// A document loaded by the program (not modified) with the caret at the given offset.
void Load(const QByteArray& text, int caret) {
    EditWin->SetText(text);
    EditWin->SetSelection(caret, 0);
}

bool Modified() { return EditWin->CurrentDocument()->Modified; }

}  // namespace

class TestGuiFind : public TGuiTest {
    Q_OBJECT
private slots:
    // One action from the caret. A match found is selected with the caret at its end; a
    // replacement leaves the caret after it, marks the document modified and is one undo step.
    void actions_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("caret");
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("with");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QByteArray>("result");
        QTest::addColumn<int>("selStart");
        QTest::addColumn<int>("selLength");
        const QByteArray abc("x abc ABC");
        QTest::newRow("Abc finds abc") << abc << 0 << "Abc" << "" << "Find" << abc << 2 << 3;
        QTest::newRow("Abc finds ABC after the caret") << abc << 3 << "Abc" << "" << "Find" << abc << 6 << 3;
        QTest::newRow("ab finds the start of abc") << abc << 0 << "ab" << "" << "Find" << abc << 2 << 2;
        QTest::newRow("match at the caret") << abc << 6 << "abc" << "" << "Find" << abc << 6 << 3;
        QTest::newRow("match before the caret on its line") << abc << 7 << "ABC" << "" << "Find" << abc << 7 << 0;
        const QByteArray lines("+\r\n\r\n[foo]");
        QTest::newRow("line breaks count two") << lines << 0 << "FOO" << "" << "Find" << lines << 6 << 3;
        const QByteArray apple("-\xe4pfel");
        QTest::newRow("8-bit letters fold") << apple << 0 << "\u00c4PFEL" << "" << "Find" << apple << 1 << 5;
        QTest::newRow("outside 8 bits is no '?'") << QByteArray("a?b") << 0 << "\u20ac" << "?" << "ReplaceAll"
                                                  << QByteArray("a?b") << 0 << 0;
        QTest::newRow("no match") << abc << 1 << "abd" << "x" << "Replace" << abc << 1 << 0;
        QTest::newRow("empty search") << abc << 1 << "" << "x" << "ReplaceAll" << abc << 1 << 0;
        QTest::newRow("replace one") << abc << 1 << "Abc" << "[-]" << "Replace" << QByteArray("x [-] ABC") << 5 << 0;
        QTest::newRow("empty replacement deletes from the caret")
            << QByteArray("ab-ab-AB") << 2 << "ab" << "" << "ReplaceAll" << QByteArray("ab--") << 4 << 0;
        QTest::newRow("replacement holding the match")
            << QByteArray("a\r\nA") << 0 << "a" << "aa" << "ReplaceAll" << QByteArray("aa\r\naa") << 6 << 0;
        QTest::newRow("8-bit replacement")
            << QByteArray("+\r\n+") << 0 << "+" << "\u00e9" << "ReplaceAll" << QByteArray("\xe9\r\n\xe9") << 4 << 0;
    }

    void actions() {
        QFETCH(QByteArray, text);
        QFETCH(int, caret);
        QFETCH(QString, what);
        QFETCH(QString, with);
        QFETCH(QString, button);
        QFETCH(QByteArray, result);
        QFETCH(int, selStart);
        QFETCH(int, selLength);
        Load(text, caret);
        QVERIFY(Dialog(what, with, button));
        QVERIFY(FindWin->Searched());
        QCOMPARE(FindWin->Replaced(), button != QLatin1String("Find"));
        QCOMPARE(EditWin->Text(), result);
        QCOMPARE(EditWin->SelStart(), selStart);
        QCOMPARE(EditWin->SelLength(), selLength);
        QCOMPARE(Caret(), long(selStart + selLength));
        QCOMPARE(Modified(), result != text);
        QCOMPARE(EditWin->Editor->isUndoAvailable(), result != text);
        if (result == text) return;
        QVERIFY(Trigger("MenuUndo"));
        QCOMPARE(EditWin->Text(), text);
        QVERIFY(!EditWin->Editor->isUndoAvailable());
    }

    // Before any action F3 and Shift+F3 show the dialog; a Find arms F3 only; a Replace All arms
    // Shift+F3, which then replaces one match. No repeat wraps around.
    void againCommands() {
        Load("ab ab\r\nab ab", 0);
        QVERIFY(Command("MenuFindAgain").Shown);
        QVERIFY(Command("MenuReplaceAgain").Shown);
        QVERIFY(!FindWin->Searched() && !FindWin->Replaced());
        QVERIFY(Dialog(QStringLiteral("AB"), QStringLiteral("c"), QStringLiteral("Find")));
        QVERIFY(Again("MenuFindAgain"));
        QCOMPARE(EditWin->SelStart(), 3);
        QVERIFY(Command("MenuReplaceAgain").Shown);  // cancelled, which empties the boxes
        QVERIFY(Dialog(QStringLiteral("ab"), QStringLiteral("c"), QStringLiteral("Find")));
        QCOMPARE(EditWin->SelStart(), 7);
        QVERIFY(Again("MenuFindAgain"));
        QVERIFY(Again("MenuFindAgain"));
        QCOMPARE(EditWin->SelStart(), 10);
        QCOMPARE(EditWin->SelLength(), 2);
        QVERIFY(!Modified());

        Load("ab ab ab ab", 6);
        QVERIFY(Dialog(QStringLiteral("ab"), QStringLiteral("X"), QStringLiteral("ReplaceAll")));
        QCOMPARE(EditWin->Text(), QByteArray("ab ab X X"));
        EditWin->SetSelection(0, 0);
        QVERIFY(Again("MenuReplaceAgain"));
        QCOMPARE(EditWin->Text(), QByteArray("X ab X X"));
        QCOMPARE(Caret(), 1);
    }

    // The caret stands at the end of a found match, so Replace takes the next one.
    void replaceAfterFindTakesTheNextMatch() {
        Load("a1 a2 A3", 0);
        QVERIFY(Dialog(QStringLiteral("a"), QString(), QStringLiteral("Find")));
        QVERIFY(Dialog(QStringLiteral("a"), QStringLiteral("bc"), QStringLiteral("Replace")));
        QCOMPARE(EditWin->Text(), QByteArray("a1 bc2 A3"));
        QVERIFY(Again("MenuReplaceAgain"));
        QVERIFY(Again("MenuReplaceAgain"));
        QCOMPARE(EditWin->Text(), QByteArray("a1 bc2 bc3"));
        QVERIFY(Trigger("MenuUndo"));
        QCOMPARE(EditWin->Text(), QByteArray("a1 bc2 A3"));
    }

    // The boxes open empty with the find box active; the strings used last go into the lists
    // when the dialog opens again, newest first, once whatever their case.
    void history() {
        Load("foo bar", 0);
        TSeen seen = Command("MenuFind", [] { QTest::keyClick(FindWin->findChild<QComboBox*>(QStringLiteral("CboFind")), Qt::Key_Escape); });
        QCOMPARE(FindWin->result(), int(QDialog::Rejected));
        QVERIFY(seen.FindFocused);
        QCOMPARE(seen.FindItems, QStringList{QString()});
        QCOMPARE(seen.ReplaceItems, QStringList{QString()});
        // Centred by the outer frame, which the offscreen platform draws too.
        const QSize outer = FindWin->frameGeometry().size();
        QVERIFY(outer.width() > 345 && outer.height() > 177);
        QCOMPARE(seen.Pos, CentredOnWorkArea(outer));
        QVERIFY(!FindWin->Searched());

        QVERIFY(Dialog(QStringLiteral("foo"), QStringLiteral("x"), QStringLiteral("Find")));
        QCOMPARE(FindWin->findChild<QComboBox*>(QStringLiteral("CboFind"))->currentText(), QStringLiteral("foo"));  // kept for F3
        QVERIFY(Dialog(QStringLiteral("FOO"), QString(), QStringLiteral("Find")));
        QVERIFY(Dialog(QStringLiteral("bar"), QStringLiteral("X"), QStringLiteral("Find")));
        seen = Command("MenuFind");
        QVERIFY(seen.FindFocused);
        QCOMPARE(seen.FindText, QString());
        QCOMPARE(seen.ReplaceText, QString());
        QCOMPARE(seen.FindItems, (QStringList{QString(), "bar", "foo"}));
        QCOMPARE(seen.ReplaceItems, (QStringList{QString(), "x"}));
    }

    // Enter acts through the default button, which follows the box that has the focus.
    void defaultButtonFollowsFocus_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QByteArray>("result");
        QTest::addColumn<int>("selStart");
        QTest::newRow("find box finds") << "CboFind" << QByteArray("a-a") << 2;
        QTest::newRow("replace box replaces") << "CboReplace" << QByteArray("a-b") << 3;
    }

    void defaultButtonFollowsFocus() {
        QFETCH(QString, box);
        QFETCH(QByteArray, result);
        QFETCH(int, selStart);
        Load("a-a", 1);
        QStringList defaults;  // the default button at start and after each focus change
        const auto isDefault = [&] { defaults << (FindWin->findChild<QPushButton*>(QStringLiteral("BtnFind"))->isDefault() ? "Find" : "") +
                                                     QString(FindWin->findChild<QPushButton*>(QStringLiteral("BtnReplace"))->isDefault() ? "Replace" : ""); };
        bool closed = false;
        Command("MenuFind", [&] {
            // Focus changes reach the boxes only in the active window, which the offscreen
            // platform does not make of the dialog on its own.
            QApplication::setActiveWindow(FindWin);
            isDefault();
            Type(FindWin->findChild<QComboBox*>(QStringLiteral("CboReplace")), QStringLiteral("b"));
            isDefault();
            Type(FindWin->findChild<QComboBox*>(QStringLiteral("CboFind")), QStringLiteral("A"));
            isDefault();
            auto* target = FindWin->findChild<QComboBox*>(box);
            target->setFocus();
            QTest::keyClick(target, Qt::Key_Return);
            closed = !FindWin->isVisible();
        });
        QCOMPARE(defaults, (QStringList{"Find", "Replace", "Find"}));
        QVERIFY(closed);
        QCOMPARE(FindWin->result(), int(QDialog::Accepted));
        QCOMPARE(EditWin->Text(), result);
        QCOMPARE(EditWin->SelStart(), selStart);
    }
};

QTEST_MAIN(TestGuiFind)
#include "test_gui_find.moc"
