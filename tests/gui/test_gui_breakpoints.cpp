// Breakpoints in the editor (gutter clicks, Toggle Breakpoint, Clear All Breakpoints, their
// markers following the text, tabs) and a run pausing at them; conditions and counted hits, the
// Breakpoints dialog, Step Over and Step Out; the bracket highlight and Go to Matching Bracket.

#include "gui_support.h"

#include "cel_BreakConditionWin.h"
#include "cel_BreakpointsWin.h"
#include "cel_EditWin.h"
#include "cel_Main.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <Qsci/qsciscintilla.h>

#include <utility>
#include <vector>

using namespace celtest;

namespace {

using Sci = QsciScintillaBase;
using TOffsets = std::vector<uint32_t>;

long Send(unsigned int message, unsigned long w = 0, long l = 0) {
    return EditWin->Editor->SendScintilla(message, w, l);
}

// The 0-based lines whose gutter shows a breakpoint marker.
std::vector<int> MarkedLines() {
    std::vector<int> lines;
    for (int line = EditWin->Editor->markerFindNext(0, 1u << TEditWin::BreakMarker); line >= 0;
         line = EditWin->Editor->markerFindNext(line + 1, 1u << TEditWin::BreakMarker))
        lines.push_back(line);
    return lines;
}

// The 0-based lines whose gutter shows the marker.
std::vector<int> LinesWith(int marker) {
    std::vector<int> lines;
    for (int line = EditWin->Editor->markerFindNext(0, 1u << marker); line >= 0;
         line = EditWin->Editor->markerFindNext(line + 1, 1u << marker))
        lines.push_back(line);
    return lines;
}

// Fills the condition dialog and presses Ok.
void AnswerCondition(QDialog* dialog, int condition, const QString& value) {
    auto* window = static_cast<TBreakConditionWin*>(dialog);
    window->Condition->setCurrentIndex(condition);
    window->Value->setText(value);
    window->findChild<QPushButton*>(QStringLiteral("BtnOk"))->click();
}

// Runs the program from the start, for the pause at a breakpoint; false when it ended instead.
bool RunToPause() { return Trigger("MenuDoRun") && WaitSuspended(); }

// The positions an indicator is drawn on.
std::vector<int> Indicated(int indicator) {
    std::vector<int> at;
    for (long p = 0; p < Send(Sci::SCI_GETLENGTH); ++p)
        if (Send(Sci::SCI_INDICATORVALUEAT, static_cast<unsigned long>(indicator), p)) at.push_back(int(p));
    return at;
}

void PlaceCaret(int position) {
    EditWin->SetSelection(position, 0);
    QCoreApplication::processEvents();
}

// A left click into the breakpoint margin beside the 0-based line.
void ClickGutter(int line) {
    QsciScintilla* editor = EditWin->Editor;
    const long position = Send(Sci::SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
    const int y = int(Send(Sci::SCI_POINTYFROMPOSITION, 0, position)) +
                  int(Send(Sci::SCI_TEXTHEIGHT, static_cast<unsigned long>(line))) / 2;
    QTest::mouseClick(editor->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(editor->marginWidth(0) + editor->marginWidth(1) / 2, y));
    QCoreApplication::processEvents();
}

}  // namespace

class TestGuiBreakpoints : public TGuiTest {
    Q_OBJECT
private slots:
    void ctrlBTogglesTheCommandAtOrAfterTheCaret() {
        EditWin->SetText("ab +-\r\n[>.<]\r\n  x\r\n");
        PlaceCaret(0);
        Press(EditWin->Editor, Qt::Key_B, Qt::ControlModifier);
        QCOMPARE(EditWin->Breakpoints(), (TOffsets{3}));
        QCOMPARE(Indicated(TEditWin::BreakIndicator), (std::vector<int>{3}));
        QCOMPARE(MarkedLines(), (std::vector<int>{0}));
        PlaceCaret(4);
        Press(EditWin->Editor, Qt::Key_B, Qt::ControlModifier);
        // A second toggle takes it away.
        PlaceCaret(3);
        Press(EditWin->Editor, Qt::Key_B, Qt::ControlModifier);
        // At the line's end, after its last command: that command (off, then on again); a line
        // without commands: nothing.
        PlaceCaret(5);
        Press(EditWin->Editor, Qt::Key_B, Qt::ControlModifier);
        QVERIFY(EditWin->Breakpoints().empty());
        for (const int caret : {5, 14}) {
            PlaceCaret(caret);
            Press(EditWin->Editor, Qt::Key_B, Qt::ControlModifier);
        }
        QCOMPARE(EditWin->Breakpoints(), (TOffsets{4}));
        QVERIFY(!EditWin->CurrentDocument()->Modified);
        // Clear All Breakpoints.
        Press(EditWin->Editor, Qt::Key_B, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(EditWin->Breakpoints().empty());
        QVERIFY(MarkedLines().empty());
    }

    void gutterClickTogglesTheLinesFirstCommand() {
        EditWin->SetText("+\r\n  [>.<]\r\ntext\r\n:(");
        QVERIFY(EditWin->Editor->marginWidth(1) > 0);
        ClickGutter(1);
        QCOMPARE(EditWin->Breakpoints(), (TOffsets{5}));
        QCOMPARE(MarkedLines(), (std::vector<int>{1}));
        ClickGutter(2);  // no command on the line
        ClickGutter(3);  // : and ( are commands only with procedures on
        QCOMPARE(EditWin->Breakpoints(), (TOffsets{5}));
        Action("MenuPBrain")->setChecked(true);
        ClickGutter(3);
        QCOMPARE(EditWin->Breakpoints(), (TOffsets{5, 18}));
        ClickGutter(1);
        QCOMPARE(EditWin->Breakpoints(), (TOffsets{18}));
        QCOMPARE(MarkedLines(), (std::vector<int>{3}));
        // A comment line has no commands while comment markers are on.
        EditWin->SetText("#+\r\n+");
        ClickGutter(0);
        QVERIFY(EditWin->Breakpoints().empty());
        Action("MenuEnableComments")->setChecked(false);
        ClickGutter(0);
        QCOMPARE(EditWin->Breakpoints(), (TOffsets{1}));
        // A line with breakpoints loses all of them, wherever they stand on it.
        EditWin->SetText("+\r\n  [>.<]");
        EditWin->SetBreakpoints({6, 8});
        ClickGutter(1);
        QVERIFY(EditWin->Breakpoints().empty());
        QVERIFY(MarkedLines().empty());
        ClickGutter(1);
        QCOMPARE(EditWin->Breakpoints(), (TOffsets{5}));
    }

    void breakpointsFollowTheirCharacters() {
        EditWin->SetText("++\r\n-+\r\n");
        EditWin->SetBreakpoints({0, 1, 4});
        QCOMPARE(MarkedLines(), (std::vector<int>{0, 1}));
        // Lines inserted above move them and their markers.
        PlaceCaret(0);
        EditWin->Editor->insert(QStringLiteral("\r\n\r\n"));
        QCOMPARE(EditWin->Breakpoints(), (TOffsets{4, 5, 8}));
        QCOMPARE(MarkedLines(), (std::vector<int>{2, 3}));
        // Text typed between two breakpoints has none of its own.
        PlaceCaret(5);
        EditWin->Editor->SendScintilla(Sci::SCI_REPLACESEL, "+>");
        QCOMPARE(EditWin->Breakpoints(), (TOffsets{4, 7, 10}));
        // Deleting a character deletes its breakpoint; its line loses the marker with the last.
        EditWin->SetSelection(10, 1);
        EditWin->Editor->removeSelectedText();
        QCOMPARE(EditWin->Breakpoints(), (TOffsets{4, 7}));
        QCOMPARE(MarkedLines(), (std::vector<int>{2}));
        // Joining lines keeps one marker for both.
        EditWin->SetText("+\r\n+");
        EditWin->SetBreakpoints({0, 3});
        EditWin->SetSelection(1, 2);
        EditWin->Editor->removeSelectedText();
        QCOMPARE(EditWin->Breakpoints(), (TOffsets{0, 1}));
        QCOMPARE(MarkedLines(), (std::vector<int>{0}));
        // Offsets that are no commands are not taken.
        EditWin->SetBreakpoints({1, 2, 99});
        QCOMPARE(EditWin->Breakpoints(), (TOffsets{1}));
    }

    void tabsKeepTheirBreakpoints() {
        EditWin->SetText("+>+<\r\n.");
        EditWin->SetBreakpoints({2, 6});
        QVERIFY(Trigger("MenuNew"));
        QVERIFY(EditWin->Breakpoints().empty());
        QVERIFY(MarkedLines().empty());
        EditWin->SetText("[-]");
        EditWin->SetBreakpoints({1});
        Press(EditWin->Editor, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(EditWin->Tabs->currentIndex(), 0);
        QCOMPARE(EditWin->Breakpoints(), (TOffsets{2, 6}));
        QCOMPARE(MarkedLines(), (std::vector<int>{0, 1}));
        Press(EditWin->Editor, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(EditWin->Breakpoints(), (TOffsets{1}));
        // Closing a document shows the next one's.
        QVERIFY(Trigger("MenuClose"));
        QCOMPARE(EditWin->Breakpoints(), (TOffsets{2, 6}));
    }

    void aRunPausesAtABreakpoint() {
        // Offsets: 0-2 +, 3 [, 4 >, 5 +, 6 <, 7 -, 8 ], 9 >, 10 .
        EditWin->SetText("+++[>+<-]>.");
        PlaceCaret(5);
        QVERIFY(Trigger("MenuToggleBreakpoint"));
        QVERIFY(Trigger("MenuDoRun"));
        QVERIFY(WaitSuspended());
        QCOMPARE(RunStateNow(), TRunState::Paused);
        QCOMPARE(WrongEnabling(TRunState::Paused), QStringList());
        QCOMPARE(EditWin->SelStart(), 5);
        QCOMPARE(EditWin->SelLength(), 1);
        QCOMPARE(EditWin->PanelText(1), QStringLiteral("Paused"));
        QCOMPARE(EditWin->PanelText(3), QStringLiteral("5 i"));
        // Run goes on to the same breakpoint in the next pass.
        QVERIFY(Trigger("MenuDoRun"));
        QVERIFY(WaitSuspended());
        QCOMPARE(EditWin->PanelText(3), QStringLiteral("10 i"));
        // Set while paused: the engine takes the change before it goes on.
        QVERIFY(Trigger("MenuClearBreakpoints"));
        PlaceCaret(10);
        QVERIFY(Trigger("MenuToggleBreakpoint"));
        QVERIFY(Trigger("MenuDoRun"));
        QVERIFY(WaitSuspended());
        QCOMPARE(EditWin->SelStart(), 10);
        QCOMPARE(EditWin->PanelText(3), QStringLiteral("20 i"));
        QVERIFY(Trigger("MenuDoRun"));
        QVERIFY(WaitReady());
        QCOMPARE(EditWin->Breakpoints(), (TOffsets{10}));
        // The end leaves the mark unselected, the caret after it: a key typed now replaces nothing.
        QCOMPARE(EditWin->SelLength(), 0);
        QCOMPARE(EditWin->SelStart(), 11);
    }

    void bracketsNextToTheCaretAreHighlighted() {
        // Offsets: 0 +, 1 [, 2 >, 3 [, 4 -, 5 ], 6 <, 7 ], 8 ]
        EditWin->SetText("+[>[-]<]]");
        PlaceCaret(1);  // before a [
        QCOMPARE(Indicated(TEditWin::BracketIndicator), (std::vector<int>{1, 7}));
        QVERIFY(Indicated(TEditWin::BadBracketIndicator).empty());
        PlaceCaret(6);  // after a ]
        QCOMPARE(Indicated(TEditWin::BracketIndicator), (std::vector<int>{3, 5}));
        PlaceCaret(9);  // after the unmatched ]
        QVERIFY(Indicated(TEditWin::BracketIndicator).empty());
        QCOMPARE(Indicated(TEditWin::BadBracketIndicator), (std::vector<int>{8}));
        PlaceCaret(0);
        QVERIFY(Indicated(TEditWin::BracketIndicator).empty());
        QVERIFY(Indicated(TEditWin::BadBracketIndicator).empty());
        // Parentheses are brackets with procedures on; a comment line holds none.
        EditWin->SetText("(+[)]\r\n#[\r\n]");
        PlaceCaret(0);
        QVERIFY(Indicated(TEditWin::BracketIndicator).empty());
        PlaceCaret(2);
        QCOMPARE(Indicated(TEditWin::BracketIndicator), (std::vector<int>{2, 4}));
        Action("MenuPBrain")->setChecked(true);
        // The ( ) cross the [ ]: each bracket pairs with its own kind, the ( and ) with none.
        PlaceCaret(0);
        QCOMPARE(Indicated(TEditWin::BadBracketIndicator), (std::vector<int>{0}));
        PlaceCaret(3);
        QCOMPARE(Indicated(TEditWin::BadBracketIndicator), (std::vector<int>{3}));
        PlaceCaret(2);
        QCOMPARE(Indicated(TEditWin::BracketIndicator), (std::vector<int>{2, 4}));
        PlaceCaret(12);
        QCOMPARE(Indicated(TEditWin::BadBracketIndicator), (std::vector<int>{11}));
        Action("MenuEnableComments")->setChecked(false);
        PlaceCaret(8);
        QCOMPARE(Indicated(TEditWin::BracketIndicator), (std::vector<int>{8, 11}));
    }

    void bracketMarksFollowEveryCaretMove() {
        // Typing past a matched and an unmatched bracket: the marks go with the caret.
        for (const auto& [text, indicator] : {std::pair{"+[-]", TEditWin::BracketIndicator},
                                              std::pair{"+-]", TEditWin::BadBracketIndicator}}) {
            EditWin->SetText(text);
            PlaceCaret(int(qstrlen(text)));
            QVERIFY(!Indicated(indicator).empty());
            QTest::keyClicks(EditWin->Editor, QStringLiteral("+"));
            QCoreApplication::processEvents();
            QVERIFY(Indicated(indicator).empty());
            Press(EditWin->Editor, Qt::Key_Home);
            QVERIFY(Indicated(indicator).empty());
        }
        // A running program shows none; its end shows those at the caret again.
        EditWin->SetText("[-],");
        PlaceCaret(0);
        QCOMPARE(Indicated(TEditWin::BracketIndicator), (std::vector<int>{0, 2}));
        QVERIFY(Trigger("MenuDoRun"));
        QVERIFY(WaitSuspended());
        QVERIFY(Indicated(TEditWin::BracketIndicator).empty());
        EnterLine(QStringLiteral("a"));
        QVERIFY(WaitReady());
        QCOMPARE(Indicated(TEditWin::BracketIndicator), (std::vector<int>{0, 2}));
    }

    void bracketPairsAreReadOnceAfterEachChange() {
        // 1 MB of "+[>[-]<]" lines: the caret steps onto brackets all through the text, which is
        // read for its pairs once, and again only after a change of it or of a switch.
        QByteArray text;
        while (text.size() < 1000000) text += "+[>[-]<]\r\n";
        EditWin->SetText(text);
        const int scans = EditWin->BracketScans();
        int bracket = -1;
        int partner = -1;
        for (int at = 0; at < text.size(); at += 10 * 997) {
            PlaceCaret(at + 1);  // before a line's outer [
            QVERIFY(EditWin->BracketAtCaret(bracket, partner));
            QCOMPARE(std::pair(bracket, partner), std::pair(at + 1, at + 7));
            PlaceCaret(at + 6);  // after its inner ]
            QVERIFY(EditWin->BracketAtCaret(bracket, partner));
            QCOMPARE(std::pair(bracket, partner), std::pair(at + 5, at + 3));
        }
        QCOMPARE(EditWin->BracketScans(), scans + 1);
        // A ] typed at the start moves every bracket on by one.
        PlaceCaret(0);
        QTest::keyClicks(EditWin->Editor, QStringLiteral("]"));
        PlaceCaret(2);
        QVERIFY(EditWin->BracketAtCaret(bracket, partner));
        QCOMPARE(std::pair(bracket, partner), std::pair(2, 8));
        QCOMPARE(EditWin->BracketScans(), scans + 2);
        for (const char* name : {"MenuPBrain", "MenuEnableComments"}) {
            Action(name)->toggle();
            PlaceCaret(12);
            QVERIFY(EditWin->BracketAtCaret(bracket, partner));
            QCOMPARE(std::pair(bracket, partner), std::pair(12, 18));
        }
        QCOMPARE(EditWin->BracketScans(), scans + 4);
    }

    // ---- Conditions, counted hits, the Breakpoints dialog ----

    void gutterRightClickGivesAConditionThatFollowsTheText() {
        // Offsets: 0-3 +, 4 [, 5 -, 6 ]
        EditWin->SetText("++++[-]");
        PlaceCaret(5);
        QVERIFY(Trigger("MenuToggleBreakpoint"));
        // A value that is no number is refused with a box, and the dialog stays for another.
        Windows->Dialogs.Expect(QStringLiteral("must be a number"));
        bool ran = false;
        bool stayed = false;
        WhenModal("BreakConditionWin", [&stayed](QDialog* dialog) {
            AnswerCondition(dialog, 1, QStringLiteral("two"));
            stayed = dialog->isVisible();
            AnswerCondition(dialog, 1, QStringLiteral("$2"));
        }, &ran);
        emit EditWin->Editor->marginRightClicked(1, 0, Qt::NoModifier);
        QVERIFY(ran && stayed);
        QCOMPARE(EditWin->BreakpointList().size(), size_t(1));
        cel::TBreakpoint breakpoint = EditWin->BreakpointList()[0];
        QCOMPARE(breakpoint.Condition, cel::TBreakCondition::Equal);
        QCOMPARE(breakpoint.Value, 2u);
        // Its own look, on the character and in the gutter.
        QCOMPARE(Indicated(TEditWin::CondIndicator), (std::vector<int>{5}));
        QCOMPARE(LinesWith(TEditWin::CondMarker), (std::vector<int>{0}));
        QVERIFY(MarkedLines().empty());
        // Text typed before it: the condition moves with its character.
        EditWin->Editor->SendScintilla(Sci::SCI_INSERTTEXT, 0UL, "+");
        QCOMPARE(EditWin->Breakpoints(), (TOffsets{6}));
        QCOMPARE(EditWin->BreakpointAt(6)->Value, 2u);
        // Five +: the - is about to run with the cell at 2 after 5 + 1 + 3 * 2 commands.
        QVERIFY(RunToPause());
        QCOMPARE(EditWin->PanelText(3), QStringLiteral("12 i"));
        QCOMPARE(Workspace->Interpreter->GetCell(0), 2u);
        QCOMPARE(EditWin->BreakHits(6), 1u);
        QVERIFY(Trigger("MenuDoRun"));
        QVERIFY(WaitReady());
        // Only the second hit, whatever the cell.
        breakpoint = *EditWin->BreakpointAt(6);
        breakpoint.Condition = cel::TBreakCondition::None;
        breakpoint.HitCount = 2;
        QVERIFY(EditWin->ChangeBreakpoint(breakpoint));
        QVERIFY(RunToPause());
        QCOMPARE(EditWin->PanelText(3), QStringLiteral("8 i"));
        QCOMPARE(EditWin->BreakHits(6), 2u);
        // Disabled while paused: the run goes on to its end, and the look is struck through.
        breakpoint.Enabled = false;
        QVERIFY(EditWin->ChangeBreakpoint(breakpoint));
        QCOMPARE(Indicated(TEditWin::DisabledIndicator), (std::vector<int>{6}));
        QCOMPARE(LinesWith(TEditWin::DisabledMarker), (std::vector<int>{0}));
        QVERIFY(Trigger("MenuDoRun"));
        QVERIFY(WaitReady());
        // The settings stay with their document across tabs.
        QVERIFY(Trigger("MenuNew"));
        QVERIFY(EditWin->BreakpointList().empty());
        Press(EditWin->Editor, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(EditWin->Tabs->currentIndex(), 0);
        QVERIFY(!EditWin->BreakpointAt(6)->Enabled);
        QCOMPARE(EditWin->BreakpointAt(6)->HitCount, 2u);
    }

    void breakpointsDialogDisablesEditsAndRemoves() {
        // Offsets: 0 +, 1 >, 2 +, 3-4 line break, 5 +
        EditWin->SetText("+>+\r\n+");
        PlaceCaret(0);
        QVERIFY(Trigger("MenuToggleBreakpoint"));
        PlaceCaret(5);
        QVERIFY(Trigger("MenuToggleBreakpoint"));
        EditWin->SetWatchKind(3, cel::WatchChange, true);
        bool ran = false;
        WhenModal("BreakpointsWin", [](QDialog* dialog) {
            auto* window = static_cast<TBreakpointsWin*>(dialog);
            QTreeWidget* list = window->List;
            QCOMPARE(window->windowTitle(), QStringLiteral("Breakpoints"));
            QCOMPARE(list->topLevelItemCount(), 3);
            QCOMPARE(list->topLevelItem(1)->text(0), QStringLiteral("2 : 1"));
            QCOMPARE(list->topLevelItem(2)->text(0), QStringLiteral("cell 3"));
            QCOMPARE(list->topLevelItem(2)->text(1), QStringLiteral("on change"));
            list->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
            QVERIFY(!EditWin->BreakpointAt(0)->Enabled);
            list->setCurrentItem(list->topLevelItem(1));
            WhenModal("BreakConditionWin", [](QDialog* condition) { AnswerCondition(condition, 4, QStringLiteral("0x10")); });
            window->BtnEdit->click();
            QCOMPARE(EditWin->BreakpointAt(5)->Condition, cel::TBreakCondition::Greater);
            QCOMPARE(EditWin->BreakpointAt(5)->Value, 16u);
            QCOMPARE(list->topLevelItem(1)->text(1), QStringLiteral("cell > 16"));
            list->setCurrentItem(list->topLevelItem(2));
            window->BtnRemove->click();
            QVERIFY(EditWin->Watchpoints().empty());
            list->setCurrentItem(list->topLevelItem(0));
            window->BtnRemove->click();
            QCOMPARE(EditWin->Breakpoints(), (TOffsets{5}));
            QCOMPARE(list->topLevelItemCount(), 1);
            window->BtnClose->click();
        }, &ran);
        QVERIFY(Trigger("MenuBreakpoints"));
        QVERIFY(ran);
    }

    // ---- Step Over and Step Out ----

    void stepOverAndOutRunWholeLoops() {
        // Offsets: 0-1 +, 2 [, 3 -, 4 >, 5 +, 6 <, 7 ], 8 >, 9 +
        EditWin->SetText("++[->+<]>+");
        // Without a program, Step Over starts one paused before its first command.
        QVERIFY(Trigger("MenuStepOver"));
        QVERIFY(WaitSuspended());
        QCOMPARE(Workspace->Interpreter->GetExecuted(), 0u);
        QCOMPARE(EditWin->SelStart(), 0);
        // On a command outside a loop it is Trace.
        QVERIFY(Trigger("MenuStepOver"));
        QVERIFY(WaitSuspended());
        QCOMPARE(EditWin->SelStart(), 1);
        QVERIFY(Trigger("MenuTrace"));
        QVERIFY(WaitSuspended());
        QCOMPARE(EditWin->SelStart(), 2);
        // On a [ the whole loop runs: the pause is at the command after its ].
        QVERIFY(Trigger("MenuStepOver"));
        QVERIFY(WaitSuspended());
        QCOMPARE(EditWin->SelStart(), 8);
        QCOMPARE(Workspace->Interpreter->GetCell(1), 2u);
        QCOMPARE(WrongEnabling(TRunState::Paused), QStringList());
        QVERIFY(Trigger("MenuReset"));
        QVERIFY(WaitReady());
        // Inside the loop, Step Out leaves it; a breakpoint met on the way stops it first.
        PlaceCaret(3);
        QVERIFY(Trigger("MenuRunToCursor"));
        QVERIFY(WaitSuspended());
        QCOMPARE(EditWin->SelStart(), 3);
        QVERIFY(Trigger("MenuStepOut"));
        QVERIFY(WaitSuspended());
        QCOMPARE(EditWin->SelStart(), 8);
        QCOMPARE(Workspace->Interpreter->GetCell(1), 2u);
        QVERIFY(Trigger("MenuReset"));
        QVERIFY(WaitReady());
        PlaceCaret(5);
        QVERIFY(Trigger("MenuToggleBreakpoint"));
        PlaceCaret(2);
        QVERIFY(Trigger("MenuRunToCursor"));
        QVERIFY(WaitSuspended());
        QVERIFY(Trigger("MenuStepOver"));
        QVERIFY(WaitSuspended());
        QCOMPARE(EditWin->SelStart(), 5);
        QCOMPARE(Workspace->Interpreter->GetCell(1), 0u);
    }

    void goToMatchingBracket() {
        EditWin->SetText("+[>[-]<]]");
        PlaceCaret(1);
        Press(EditWin->Editor, Qt::Key_M, Qt::ControlModifier);
        QCOMPARE(EditWin->SelStart(), 7);
        Press(EditWin->Editor, Qt::Key_M, Qt::ControlModifier);
        QCOMPARE(EditWin->SelStart(), 1);
        PlaceCaret(6);  // after the inner ]: to after its [
        QVERIFY(Trigger("MenuMatchBracket"));
        QCOMPARE(EditWin->SelStart(), 4);
        PlaceCaret(9);  // an unmatched one leaves the caret
        QVERIFY(Trigger("MenuMatchBracket"));
        QCOMPARE(EditWin->SelStart(), 9);
        // No other item has the key.
        int owners = 0;
        for (QAction* action : MainWin->findChildren<QAction*>())
            owners += action->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_M);
        QCOMPARE(owners, 1);
    }
};

QTEST_MAIN(TestGuiBreakpoints)
#include "test_gui_breakpoints.moc"
