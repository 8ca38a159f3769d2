// Documents through the real windows: untitled names, tab changes that store and restore each
// document, Open with the recent-file list, Save and Save As, and the questions asked when the
// application closes.

#include "gui_support.h"

#include "cel_EditWin.h"
#include "cel_Main.h"
#include "cel_OutputWin.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <Qsci/qsciscintilla.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

using namespace celtest;

namespace {

QStringList RecentPaths() {
    QStringList paths;
    for (int i = 0; i < 5; ++i)
        if (celtest::RecentItem(i)->isVisible()) paths << TMainWinProbe::RecentPath(i);
    return paths;
}

int CurrentTab() { return EditWin->Tabs->currentIndex(); }

void ClickTab(int index) {
    QTest::mouseClick(EditWin->Tabs, Qt::LeftButton, Qt::NoModifier, EditWin->Tabs->tabRect(index).center());
    QCoreApplication::processEvents();
}

// Types into the editor as the user does, which marks the document modified.
void Type(const char* text) {
    QTest::keyClicks(EditWin->Editor, QLatin1String(text));
    QCoreApplication::processEvents();
}

// What a document shows of itself in the editor and the output window.
struct TView {
    QByteArray Text;
    QByteArray Output;
    int Line, Column, Top, SelStart, SelLength;

    static TView Now() {
        return {EditWin->Text(),     OutputWin->Text(),  EditWin->CaretLine(), EditWin->CaretColumn(),
                EditWin->TopLine(), EditWin->SelStart(), EditWin->SelLength()};
    }
    bool operator==(const TView&) const = default;
    QString Describe() const {
        QString output = QString::fromLatin1(Output);
        output.replace(QLatin1Char('\r'), QLatin1String("\\r")).replace(QLatin1Char('\n'), QLatin1String("\\n"));
        return QString::number(Text.size()) + QStringLiteral(" bytes of text, output \"") + output +
               QStringLiteral("\", caret ") + QString::number(Line) + QLatin1Char(':') + QString::number(Column) +
               QStringLiteral(", top ") + QString::number(Top) + QStringLiteral(", selection ") +
               QString::number(SelStart) + QLatin1Char('+') + QString::number(SelLength);
    }
};

#define COMPARE_VIEW(actual, expected) \
    QVERIFY2((actual) == (expected), qPrintable((actual).Describe() + QStringLiteral(" <> ") + (expected).Describe()))

}  // namespace

class TestGuiDocuments : public TGuiTest {
    Q_OBJECT
    // Each test has a directory of its own for its files; Open makes it the current one.
    void PrepareCase() override {
        Dir = std::make_unique<QTemporaryDir>();
        QVERIFY(Dir->isValid());
    }
    void FinishCase() override {
        QDir::setCurrent(QDir::tempPath());
        Dir.reset();
    }

private slots:
    // ---- Untitled documents and tabs ----

    void untitledNumbersAreNeverReused() {
        QCOMPARE(EditWin->Tabs->count(), 1);
        QCOMPARE(EditWin->Tabs->tabText(0), QStringLiteral("Unknown1"));
        QVERIFY(Trigger("MenuNew"));
        QCOMPARE(EditWin->Tabs->count(), 2);
        QCOMPARE(CurrentTab(), 1);
        QCOMPARE(EditWin->Tabs->tabText(1), QStringLiteral("Unknown2"));
        QCOMPARE(EditWin->windowTitle(), QStringLiteral("Source Editor - Unknown2"));
        QCOMPARE(EditWin->PanelText(0), QStringLiteral("1 : 1"));
        QVERIFY(Trigger("MenuClose"));
        QCOMPARE(EditWin->Tabs->count(), 1);
        QCOMPARE(EditWin->windowTitle(), QStringLiteral("Source Editor - Unknown1"));
        QVERIFY(Trigger("MenuNew"));
        QCOMPARE(EditWin->Tabs->tabText(1), QStringLiteral("Unknown3"));
        QCOMPARE(size_t(EditWin->DocumentCount()), size_t(2));
        // Closing the only, untouched document changes nothing.
        QVERIFY(Trigger("MenuClose"));
        QVERIFY(Trigger("MenuClose"));
        QCOMPARE(EditWin->Tabs->tabText(0), QStringLiteral("Unknown1"));
        // A document with text becomes a new untitled one.
        Type("+");
        Windows->Dialogs.Expect(QStringLiteral("\"Unknown1\" has changed. Do you want to save?"),
                                cel::TDialogs::TAnswer::No);
        QVERIFY(Trigger("MenuClose"));
        QCOMPARE(EditWin->Tabs->tabText(0), QStringLiteral("Unknown4"));
        QVERIFY(EditWin->Text().isEmpty());
        QVERIFY(!EditWin->CurrentDocument()->Modified);
    }

    // The editor keeps one document per tab, in the tabs' order: closing a tab takes its own
    // document, and an index without a tab has none.
    void documentsFollowTheTabs() {
        QVERIFY(Trigger("MenuNew"));
        QVERIFY(Trigger("MenuNew"));
        QCOMPARE(EditWin->DocumentCount(), 3);
        QCOMPARE(EditWin->Tabs->count(), 3);
        const QString names[] = {QStringLiteral("/nowhere/a.b"), QStringLiteral("/nowhere/b.b"),
                                 QStringLiteral("/nowhere/c.b")};
        for (int i = 0; i < 3; ++i) EditWin->Document(i)->FileName = names[i];
        QCOMPARE(EditWin->CurrentDocument(), EditWin->Document(2));
        EditWin->TabsChanging();
        EditWin->Tabs->setCurrentIndex(1);
        EditWin->TabsChange();
        QCOMPARE(EditWin->CurrentDocument(), EditWin->Document(1));
        QVERIFY(Trigger("MenuClose"));
        QCOMPARE(EditWin->DocumentCount(), 2);
        QCOMPARE(EditWin->Tabs->count(), 2);
        QCOMPARE(EditWin->Document(0)->FileName, names[0]);
        QCOMPARE(EditWin->Document(1)->FileName, names[2]);
        QCOMPARE(EditWin->CurrentDocument(), EditWin->Document(EditWin->Tabs->currentIndex()));
        QVERIFY(EditWin->Document(2) == nullptr);
        QVERIFY(EditWin->Document(-1) == nullptr);
    }

    void tabChangesRestoreEachDocument() {
        // A: typed into (so modified), sixty lines of which the last is empty, scrolled, with
        // a selection and output that ends with a line break.
        Type("+");
        QByteArray text = EditWin->Text();
        for (int i = 0; i < 59; ++i) text += "\r\n+";
        text += "\r\n";
        EditWin->Editor->SendScintilla(QsciScintillaBase::SCI_APPENDTEXT, text.size() - 1, text.constData() + 1);
        QCOMPARE(EditWin->Text(), text);
        OutputWin->SetText("out A\r\n");
        EditWin->SetSelection(9, 4);
        EditWin->SetTopLine(20);
        const TView a = TView::Now();
        QCOMPARE(a.Top, 20);
        QVERIFY(EditWin->Document(0)->Modified);

        // B: set by the program, not modified; output without a final break.
        QVERIFY(Trigger("MenuNew"));
        QVERIFY(OutputWin->Text().isEmpty());
        EditWin->SetText("-\r\n--");
        OutputWin->SetText("out B");
        EditWin->SetSelection(3, 0);
        const TView b = TView::Now();

        ClickTab(0);
        QCOMPARE(CurrentTab(), 0);
        COMPARE_VIEW(TView::Now(), a);
        QVERIFY(!EditWin->Editor->isUndoAvailable());
        QCOMPARE(EditWin->windowTitle(), QStringLiteral("Source Editor - Unknown1"));

        Press(EditWin->Editor, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(CurrentTab(), 1);
        COMPARE_VIEW(TView::Now(), b);
        QCOMPARE(EditWin->Text(), QByteArray("-\r\n--"));  // the Tab did not reach the editor

        Press(EditWin->Editor, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(CurrentTab(), 0);
        COMPARE_VIEW(TView::Now(), a);

        QVERIFY(EditWin->Document(0)->Modified);
        QVERIFY(!EditWin->Document(1)->Modified);

        // Ctrl+F6 and Ctrl+F5 wrap around in both directions.
        QVERIFY(Trigger("MenuNew"));
        Press(EditWin->Editor, Qt::Key_F6, Qt::ControlModifier);
        QCOMPARE(CurrentTab(), 0);
        Press(EditWin->Editor, Qt::Key_F5, Qt::ControlModifier);
        QCOMPARE(CurrentTab(), 2);
        QVERIFY(!EditWin->Document(1)->Modified);
        QVERIFY(!EditWin->Document(2)->Modified);
    }

    // Each tab keeps its own output (a megabyte of lines, a line long enough to be shown in
    // pieces, control characters) and gets back the very document it left, nothing laid out
    // again, where it was scrolled to. A tab added while that output is shown shares it until
    // one of them changes it: the change goes into the new tab's copy.
    void eachTabKeepsItsOutput() {
        QByteArray big;
        for (int i = 0; i < 12000; ++i) big += QByteArray(79, char('a' + i % 26)) + "\r\n";
        big += QByteArray(150000, 'L') + "\x01\x02\r\nend";
        EditWin->SetText("+");  // not the untouched document that Open would take over
        OutputWin->SetText(big);
        QPlainTextEdit* box = OutputWin->Output;
        box->verticalScrollBar()->setValue(1234);
        const QTextDocument* shownA = box->document();
        QVERIFY(Trigger("MenuNew"));
        QVERIFY(OutputWin->Text().isEmpty());
        OutputWin->SetText("B");
        ClickTab(0);
        QCOMPARE(box->document(), shownA);
        QCOMPARE(OutputWin->Text(), big);
        QCOMPARE(box->verticalScrollBar()->value(), 1234);

        EditWin->AddDocument(Dir->filePath(QStringLiteral("c.b")));
        QCOMPARE(CurrentTab(), 2);
        QCOMPARE(OutputWin->Text(), big);
        QVERIFY(OutputWin->AppendOutputLine());
        QVERIFY(OutputWin->AppendToOutputLine(12002, "C"));
        OutputWin->ShowPendingOutput();
        QVERIFY(box->document() != shownA);
        QCOMPARE(OutputWin->Text(), big + "\r\nC");
        ClickTab(0);
        QCOMPARE(OutputWin->Text(), big);
        ClickTab(2);
        QCOMPARE(OutputWin->Text(), big + "\r\nC");
        ClickTab(1);
        QCOMPARE(OutputWin->Text(), QByteArray("B"));

        // Open clears the output of the tab it adds, not of the one that was shown.
        ClickTab(0);
        const QString d = Dir->filePath(QStringLiteral("d.b"));
        QVERIFY(WriteAll(d, "+"));
        Windows->Dialogs.OpenAnswers.push_back({d});
        QVERIFY(Trigger("MenuOpen"));
        QCOMPARE(CurrentTab(), 3);
        QVERIFY(OutputWin->Text().isEmpty());
        ClickTab(0);
        QCOMPARE(box->document(), shownA);
        QCOMPARE(OutputWin->Text(), big);
        for (int i = 0; i < EditWin->DocumentCount(); ++i) EditWin->Document(i)->Modified = false;
    }

    void tabsWrapOntoRowsInANarrowWindow() {
        TTabRows* tabs = EditWin->Tabs;
        EditWin->resize(1600, 400);
        QCoreApplication::processEvents();
        const int oneRow = tabs->height();
        QCOMPARE(tabs->rowCount(), 1);
        // Long names, and one wider than the window itself.
        for (int i = 1; i <= 10; ++i) {
            QVERIFY(Trigger("MenuNew"));
            const QString name = i == 7 ? QString(60, QLatin1Char('w')) : QStringLiteral("long_name_%1").arg(i);
            EditWin->NameTab(Dir->filePath(name + QStringLiteral(".b")), i);
        }
        QCoreApplication::processEvents();
        QCOMPARE(tabs->count(), 11);
        const int wideRows = tabs->rowCount();
        // Narrowed after the tabs exist.
        EditWin->resize(400, 400);
        QCoreApplication::processEvents();
        QVERIFY(tabs->rowCount() > wideRows);
        QVERIFY2(tabs->rowCount() > 2, qPrintable(QString::number(tabs->rowCount())));
        // The bar grows with its rows and the editor below gives way.
        QVERIFY(tabs->height() >= tabs->rowCount() * tabs->tabRect(0).height());
        QVERIFY(tabs->height() > oneRow);
        QVERIFY(EditWin->Editor->geometry().top() >= tabs->geometry().bottom());

        auto checkLayout = [tabs] {
            for (int i = 0; i < tabs->count(); ++i) {
                const QRect r = tabs->tabRect(i);
                QVERIFY2(tabs->rect().contains(r), qPrintable(QStringLiteral("tab %1 outside the bar").arg(i)));
                for (int j = i + 1; j < tabs->count(); ++j)
                    QVERIFY2(!r.intersects(tabs->tabRect(j)), qPrintable(QStringLiteral("tabs %1 and %2 overlap").arg(i).arg(j)));
                // A caption that fits the bar is shown whole.
                const int text = tabs->fontMetrics().size(Qt::TextShowMnemonic, tabs->tabText(i)).width();
                if (text < tabs->width() / 2) QVERIFY(r.width() > text);
            }
            // The selected tab's row lies next to the editor.
            QCOMPARE(tabs->tabRect(tabs->currentIndex()).bottom(), tabs->rect().bottom());
        };
        checkLayout();
        if (QTest::currentTestFailed()) return;

        // Every tab can be clicked, wherever its row went after the last click.
        for (int i : {0, 5, 10, 7, 3, 1}) {
            ClickTab(i);
            QCOMPARE(CurrentTab(), i);
            const QString& path = EditWin->Document(i)->FileName;
            QCOMPARE(EditWin->windowTitle(), QStringLiteral("Source Editor - ") + (path.isEmpty() ? EditWin->TabCaption(i) : path));
            checkLayout();
            if (QTest::currentTestFailed()) return;
        }

        // The arrow keys on the bar move one tab, without wrapping around.
        Press(tabs, Qt::Key_Left);
        QCOMPARE(CurrentTab(), 0);
        QCOMPARE(EditWin->windowTitle(), QStringLiteral("Source Editor - Unknown1"));
        Press(tabs, Qt::Key_Left);
        QCOMPARE(CurrentTab(), 0);
        Press(tabs, Qt::Key_Right);
        QCOMPARE(CurrentTab(), 1);

        // Closing tabs takes rows away again, down to one.
        int rows = tabs->rowCount();
        const int before = rows;
        while (tabs->count() > 1) {
            QVERIFY(Trigger("MenuClose"));
            QCoreApplication::processEvents();
            QVERIFY(tabs->rowCount() <= rows);
            rows = tabs->rowCount();
            checkLayout();
            if (QTest::currentTestFailed()) return;
        }
        QVERIFY(before > rows);
        QCOMPARE(rows, 1);
        QCOMPARE(tabs->height(), oneRow);
    }

    void tabChangeIsRefusedWhileAProgramExists() {
        EditWin->SetText("-");
        QVERIFY(Trigger("MenuNew"));
        for (const char* program : {"+[]", "+", ","}) {
            EditWin->SetText(program);
            if (QByteArray(program) == "+") {
                QVERIFY(Trigger("MenuTrace"));
                QVERIFY(WaitSuspended());
            } else {
                QVERIFY(Trigger("MenuDoRun"));
                QTRY_VERIFY_WITH_TIMEOUT(celtest::Action("MenuReset")->isEnabled(), 20000);
            }
            QVERIFY(Workspace->Running());
            ClickTab(0);
            QCOMPARE(CurrentTab(), 1);
            Press(EditWin->Editor, Qt::Key_Tab, Qt::ControlModifier);
            QCOMPARE(CurrentTab(), 1);
            Press(EditWin->Editor, Qt::Key_F5, Qt::ControlModifier);
            QCOMPARE(CurrentTab(), 1);
            QCOMPARE(EditWin->Text(), QByteArray(program));
            QVERIFY(Trigger("MenuReset"));
            QVERIFY(WaitReady());
        }
        ClickTab(0);
        QCOMPARE(CurrentTab(), 0);
        QCOMPARE(EditWin->Text(), QByteArray("-"));
    }

    // ---- Open and the recent-file list ----

    void openAndTheRecentList() {
        const QString a = Dir->filePath(QStringLiteral("a.b"));
        const QString b = Dir->filePath(QStringLiteral("b.bf"));
        const QString c = Dir->filePath(QStringLiteral("c.pb"));
        QVERIFY(WriteAll(a, "+\n+"));
        QVERIFY(WriteAll(b, "-\r--\r\n"));
        QVERIFY(WriteAll(c, ">"));
        OutputWin->SetText("old output");

        Windows->Dialogs.OpenAnswers.push_back({a, b, c});
        QVERIFY(Trigger("MenuOpen"));
        // The untouched start-up document took the first file.
        QCOMPARE(EditWin->Tabs->count(), 3);
        QCOMPARE(EditWin->Tabs->tabText(0), QStringLiteral("a.b"));
        QCOMPARE(EditWin->Tabs->tabText(1), QStringLiteral("b.bf"));
        QCOMPARE(EditWin->Tabs->tabText(2), QStringLiteral("c.pb"));
        QCOMPARE(CurrentTab(), 2);
        QCOMPARE(EditWin->Text(), QByteArray(">"));
        QCOMPARE(EditWin->windowTitle(), QStringLiteral("Source Editor - ") + c);
        QVERIFY(OutputWin->Text().isEmpty());
        QCOMPARE(RecentPaths(), (QStringList{c, b, a}));
        for (int i = 0; i < EditWin->DocumentCount(); ++i) QVERIFY(!EditWin->Document(i)->Modified);
        QCOMPARE(QDir::currentPath(), QFileInfo(c).absolutePath());
        ClickTab(1);
        QCOMPARE(EditWin->Text(), QByteArray("-\r\n--"));  // a final break starts no line
        ClickTab(0);
        QCOMPARE(EditWin->Text(), QByteArray("+\r\n+"));
        ClickTab(2);

        // Opening entry 3 through the dialog leaves the list as it is.
        Windows->Dialogs.OpenAnswers.push_back({a});
        QVERIFY(Trigger("MenuOpen"));
        QCOMPARE(EditWin->Tabs->count(), 4);
        QCOMPARE(RecentPaths(), (QStringList{c, b, a}));

        // Through its entry it changes places with entry 1.
        QVERIFY(Trigger("MenuRecent3"));
        QCOMPARE(EditWin->Tabs->count(), 5);
        QCOMPARE(EditWin->Tabs->tabText(4), QStringLiteral("a.b"));
        QCOMPARE(RecentPaths(), (QStringList{a, b, c}));
        QCOMPARE(celtest::RecentItem(0)->text(), a);

        // A file that is gone: the message, no new document, and still the exchange.
        QVERIFY(QFile::remove(b));
        OutputWin->SetText("stale");
        Windows->Dialogs.Expect(QStringLiteral("The file \"") + b + QStringLiteral("\" does not exist."));
        QVERIFY(Trigger("MenuRecent2"));
        QVERIFY(Windows->Dialogs.Messages.empty());
        QCOMPARE(EditWin->Tabs->count(), 5);
        QVERIFY(OutputWin->Text().isEmpty());
        QCOMPARE(RecentPaths(), (QStringList{b, a, c}));

        // An empty entry does nothing.
        QVERIFY(!celtest::RecentItem(3)->isVisible());
        celtest::RecentItem(3)->trigger();
        QCOMPARE(EditWin->Tabs->count(), 5);
        QCOMPARE(RecentPaths(), (QStringList{b, a, c}));

        // Closing a titled document keeps it in the list.
        QVERIFY(Trigger("MenuClose"));
        QCOMPARE(EditWin->Tabs->count(), 4);
        QCOMPARE(CurrentTab(), 3);
        QCOMPARE(RecentPaths(), (QStringList{b, a, c}));
    }

    void fileNameWithAmpersand() {
        const QString path = Dir->filePath(QStringLiteral("Tom & Jerry.b"));
        QVERIFY(WriteAll(path, "+."));
        Windows->Dialogs.OpenAnswers.push_back({path});
        QVERIFY(Trigger("MenuOpen"));
        QCOMPARE(EditWin->Text(), QByteArray("+."));
        QCOMPARE(EditWin->CurrentDocument()->FileName, path);
        QCOMPARE(EditWin->windowTitle(), QStringLiteral("Source Editor - ") + path);
        // The tab shows the name with its ampersand, not as an accelerator marker.
        QCOMPARE(EditWin->Tabs->tabText(0), QStringLiteral("Tom && Jerry.b"));
        QCOMPARE(EditWin->TabCaption(0), QStringLiteral("Tom & Jerry.b"));
        QCOMPARE(TMainWinProbe::RecentPath(0), path);
        QCOMPARE(celtest::RecentItem(0)->text(), Dir->filePath(QStringLiteral("Tom && Jerry.b")));
        QVERIFY(TMainWinProbe::IsRecent(path));

        EditWin->Editor->SendScintilla(QsciScintillaBase::SCI_DOCUMENTEND);
        Type("-");
        QVERIFY(EditWin->CurrentDocument()->Modified);
        Windows->Dialogs.Expect(QStringLiteral("\"Tom & Jerry.b\" has changed. Do you want to save?"),
                                cel::TDialogs::TAnswer::Yes);
        QVERIFY(TMainWinProbe::QuerySaveCurrent());
        QVERIFY(Windows->Dialogs.Messages.empty());
        QCOMPARE(ReadAll(path), QByteArray("+.-"));
        QVERIFY(!EditWin->CurrentDocument()->Modified);

        // Its entry opens it again.
        QVERIFY(Trigger("MenuRecent1"));
        QCOMPARE(EditWin->Tabs->count(), 2);
        QCOMPARE(EditWin->Text(), QByteArray("+.-"));
        QCOMPARE(RecentPaths(), QStringList{path});
    }

    // ---- Saving ----

    void saveWritesCrLfBetweenLines() {
        const QString path = Dir->filePath(QStringLiteral("lines.b"));
        QVERIFY(WriteAll(path, "+\n-\r>\r\n"));
        Windows->Dialogs.OpenAnswers.push_back({path});
        QVERIFY(Trigger("MenuOpen"));
        QVERIFY(Trigger("MenuSave"));
        // The final break of the file is gone; every other break is CR LF.
        QCOMPARE(ReadAll(path), QByteArray("+\r\n-\r\n>"));

        // A final empty line of the editor is a line like any other.
        EditWin->Editor->SendScintilla(QsciScintillaBase::SCI_DOCUMENTEND);
        Press(EditWin->Editor, Qt::Key_Return);
        QVERIFY(EditWin->CurrentDocument()->Modified);
        QVERIFY(Trigger("MenuSave"));
        QCOMPARE(ReadAll(path), QByteArray("+\r\n-\r\n>\r\n"));
        QVERIFY(!EditWin->CurrentDocument()->Modified);
        QCOMPARE(RecentPaths(), QStringList{path});

        // Every other byte, whether or not it is valid UTF-8, comes back as it was.
        QByteArray bytes;
        for (int c = 1; c < 256; ++c)
            if (c != '\r' && c != '\n') bytes.append(static_cast<char>(c));
        bytes += "\r\n" + bytes.right(128) + "\r\n\xC3\x28\xE2\x82\xA1\xFF\xFE";
        const QString binary = Dir->filePath(QStringLiteral("bytes.b"));
        QVERIFY(WriteAll(binary, bytes));
        Windows->Dialogs.OpenAnswers.push_back({binary});
        QVERIFY(Trigger("MenuOpen"));
        QCOMPARE(EditWin->Text(), bytes);
        QVERIFY(!EditWin->CurrentDocument()->Modified);
        Type("+");
        EditWin->Editor->SendScintilla(QsciScintillaBase::SCI_DELETEBACK);
        QVERIFY(Trigger("MenuSave"));
        QCOMPARE(ReadAll(binary), bytes);
    }

    void saveOfAnUntitledDocumentAsksForAName() {
        Type("+-");
        QVERIFY(EditWin->CurrentDocument()->Modified);
        // Cancelled: nothing written, still untitled and modified.
        Windows->Dialogs.SaveAnswers.push_back(QString());
        QVERIFY(Trigger("MenuSave"));
        QVERIFY(Windows->Dialogs.SaveAnswers.empty());
        QVERIFY(EditWin->CurrentDocument()->Modified);
        QVERIFY(EditWin->CurrentDocument()->FileName.isEmpty());
        QCOMPARE(EditWin->Tabs->tabText(0), QStringLiteral("Unknown1"));

        const QString path = Dir->filePath(QStringLiteral("named.b"));
        Windows->Dialogs.SaveAnswers.push_back(path);
        QVERIFY(Trigger("MenuSave"));
        QCOMPARE(ReadAll(path), QByteArray("+-"));
        QVERIFY(!EditWin->CurrentDocument()->Modified);
        QCOMPARE(EditWin->CurrentDocument()->FileName, path);
        QCOMPARE(EditWin->Tabs->tabText(0), QStringLiteral("named.b"));
        QCOMPARE(EditWin->windowTitle(), QStringLiteral("Source Editor - ") + path);
        // Save As does not touch the recent list.
        QVERIFY(RecentPaths().isEmpty());

        // Save As to a place that cannot be written offers another try.
        const QString blocked = Dir->filePath(QStringLiteral("folder.b"));
        QVERIFY(QDir().mkdir(blocked));
        const QString other = Dir->filePath(QStringLiteral("other.b"));
        Windows->Dialogs.SaveAnswers.push_back(blocked);
        Windows->Dialogs.Expect(QStringLiteral("The save operation failed. Do you want to choose another file for saving?"),
                                cel::TDialogs::TAnswer::Yes);
        Windows->Dialogs.SaveAnswers.push_back(other);
        QVERIFY(Trigger("MenuSaveAs"));
        QVERIFY(Windows->Dialogs.Messages.empty());
        QCOMPARE(ReadAll(other), QByteArray("+-"));
        QCOMPARE(EditWin->CurrentDocument()->FileName, other);
        // The second dialog opened where the user was, on the name that failed.
        QCOMPARE(Windows->Dialogs.SaveDirs.last(), blocked);
    }

    void failedSaveKeepsTheOldFile() {
        // The document's file sits in a folder that is then moved away; a plain file takes the
        // folder's name, so nobody (root included) can write the document's path.
        const QString folder = Dir->filePath(QStringLiteral("work"));
        QVERIFY(QDir().mkdir(folder));
        const QString path = folder + QStringLiteral("/prog.b");
        QVERIFY(WriteAll(path, "old"));
        Windows->Dialogs.OpenAnswers.push_back({path});
        QVERIFY(Trigger("MenuOpen"));
        Type("+");
        const QString moved = Dir->filePath(QStringLiteral("moved"));
        QVERIFY(QDir().rename(folder, moved));
        QVERIFY(WriteAll(folder, "a file, not a folder"));

        Windows->Dialogs.Expect(QStringLiteral("The file \"prog.b\" could NOT be saved.\n\nDo you have the necessary "
                                               "rights to write to that file?"));
        QVERIFY(Trigger("MenuSave"));
        QVERIFY(Windows->Dialogs.Messages.empty());
        QVERIFY(EditWin->CurrentDocument()->Modified);
        QCOMPARE(ReadAll(moved + QStringLiteral("/prog.b")), QByteArray("old"));
        QCOMPARE(ReadAll(folder), QByteArray("a file, not a folder"));

        // The path itself a folder: the same message, and the folder stays.
        QVERIFY(QFile::remove(folder));
        QVERIFY(QDir().mkpath(path));
        Windows->Dialogs.Expect(QStringLiteral("\"prog.b\" could NOT be saved."));
        QVERIFY(Trigger("MenuSave"));
        QVERIFY(Windows->Dialogs.Messages.empty());
        QVERIFY(QFileInfo(path).isDir());
        QVERIFY(EditWin->CurrentDocument()->Modified);

        // A failed save abandons a close in progress.
        Windows->Dialogs.Expect(QStringLiteral("\"prog.b\" has changed. Do you want to save?"),
                                cel::TDialogs::TAnswer::Yes);
        Windows->Dialogs.Expect(QStringLiteral("\"prog.b\" could NOT be saved."));
        QVERIFY(!MainWin->close());
        QVERIFY(Windows->Dialogs.Messages.empty());
        QVERIFY(MainWin->isVisible());
    }

    void saveOnAFullDiskKeepsTheOldFile() {
        // A file size limit makes every write past it fail as a full disk does (for root too).
        const QString path = Dir->filePath(QStringLiteral("full.b"));
        QVERIFY(WriteAll(path, "old"));
        Windows->Dialogs.OpenAnswers.push_back({path});
        QVERIFY(Trigger("MenuOpen"));
        EditWin->Editor->selectAll();
        EditWin->Editor->replaceSelectedText(QString(6000, QLatin1Char('+')));
        QVERIFY(EditWin->CurrentDocument()->Modified);
        rlimit saved{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 1024;  // less than the text, which fits a write buffer
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        Windows->Dialogs.Expect(QStringLiteral("\"full.b\" could NOT be saved."));
        QVERIFY(Trigger("MenuSave"));
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
        QVERIFY(Windows->Dialogs.Messages.empty());
        QCOMPARE(ReadAll(path), QByteArray("old"));
        QVERIFY(EditWin->CurrentDocument()->Modified);
        // No half-written temporary file is left beside it.
        QCOMPARE(QDir(Dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("full.b")});
        QVERIFY(Trigger("MenuSave"));
        QCOMPARE(ReadAll(path), QByteArray(6000, '+'));
    }

    void fileWithANulByteIsReported() {
        const QString path = Dir->filePath(QStringLiteral("nul.b"));
        QVERIFY(WriteAll(path, QByteArray("+\r\n-", 4) + QByteArray(1, '\0') + "rest"));
        Windows->Dialogs.OpenAnswers.push_back({path});
        Windows->Dialogs.Expect(QStringLiteral(" contains a NUL byte at offset 4. Only the text before it was loaded; "
                                               "saving the file would remove the rest (5 bytes)."));
        QVERIFY(Trigger("MenuOpen"));
        QVERIFY(Windows->Dialogs.Messages.empty());
        QCOMPARE(EditWin->Text(), QByteArray("+\r\n-"));
        QVERIFY(!EditWin->CurrentDocument()->Modified);
        QCOMPARE(ReadAll(path).size(), 9);
    }

    void closeAsksAboutEachModifiedDocument() {
        Type("+");
        QVERIFY(Trigger("MenuNew"));
        QVERIFY(Trigger("MenuNew"));
        Type("-");
        ClickTab(1);  // the unmodified one is selected when the close begins
        QCOMPARE(CurrentTab(), 1);
        Windows->Dialogs.Expect(QStringLiteral("\"Unknown1\" has changed. Do you want to save?"),
                                cel::TDialogs::TAnswer::No);
        Windows->Dialogs.Expect(QStringLiteral("\"Unknown3\" has changed. Do you want to save?"),
                                cel::TDialogs::TAnswer::Cancel);
        QVERIFY(!MainWin->close());
        QVERIFY(Windows->Dialogs.Messages.empty());
        QCOMPARE(Windows->Dialogs.Shown.size(), 2);
        QVERIFY(MainWin->isVisible());
        // The document asked about last stays selected, with its own text.
        QCOMPARE(CurrentTab(), 2);
        QCOMPARE(EditWin->Text(), QByteArray("-"));
        QCOMPARE(EditWin->windowTitle(), QStringLiteral("Source Editor - Unknown3"));
        QVERIFY(EditWin->Document(0)->Modified);
        QVERIFY(EditWin->Document(2)->Modified);
        ClickTab(0);
        QCOMPARE(EditWin->Text(), QByteArray("+"));

        // Untitled and answered Yes: Save As comes up; cancelling it abandons the close too.
        Windows->Dialogs.Expect(QStringLiteral("\"Unknown1\" has changed."), cel::TDialogs::TAnswer::Yes);
        Windows->Dialogs.SaveAnswers.push_back(QString());
        QVERIFY(!MainWin->close());
        QVERIFY(Windows->Dialogs.Messages.empty() && Windows->Dialogs.SaveAnswers.empty());
        QCOMPARE(CurrentTab(), 0);
        QVERIFY(EditWin->Document(0)->Modified);
    }

    // The real Open and Save dialogs on a folder holding a FIFO and a file whose contents say
    // PDF: they show the folder without reading any file (the type comes from the name; the
    // reading would block for good on /proc/kmsg), and their Size, Type and Date columns are
    // wide enough for what they show.
    void fileDialogsReadNoContents() {
        const QString folder = Dir->path();
        QVERIFY(mkfifo(QFile::encodeName(folder + QStringLiteral("/pipe")).constData(), 0600) == 0);
        QFile letter(folder + QStringLiteral("/letter"));
        QVERIFY(letter.open(QIODevice::WriteOnly));
        letter.write("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n");
        letter.close();
        for (const bool save : {true, false}) {
            QString letterType, failure;
            int polls = 0;
            QTimer timer;
            QObject::connect(&timer, &QTimer::timeout, [&] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                auto* view = dialog ? dialog->findChild<QTreeView*>(QStringLiteral("treeView")) : nullptr;
                if (!view) return;
                const QAbstractItemModel* model = view->model();
                int widest[4] = {};
                for (int row = 0; row < model->rowCount(view->rootIndex()); ++row) {
                    const QModelIndex name = model->index(row, 0, view->rootIndex());
                    if (name.data().toString() == QLatin1String("letter")) letterType = name.siblingAtColumn(2).data().toString();
                    for (int column = 1; column <= 3; ++column)
                        widest[column] = std::max(widest[column], view->fontMetrics().horizontalAdvance(
                                                                      name.siblingAtColumn(column).data().toString()));
                }
                if (letterType.isEmpty() && ++polls < 200) return;
                for (int column = 1; column <= 3; ++column)
                    if (view->header()->sectionSize(column) <= widest[column])
                        failure += QStringLiteral("column %1 is cut; ").arg(column);
                if (view->header()->length() > view->viewport()->width()) failure += QStringLiteral("columns hidden (%1 in %2); ").arg(view->header()->length()).arg(view->viewport()->width());
                dialog->reject();
            });
            timer.start(25);
            if (save)
                QVERIFY(cel::RealDialogs().SaveFileName(MainWin, QStringLiteral("Save As"), folder,
                                                        QStringLiteral("All files|*"), QStringLiteral("b")).isEmpty());
            else
                QVERIFY(cel::RealDialogs().OpenFileNames(MainWin, QStringLiteral("Open"), folder, QStringLiteral("All files|*"), false).isEmpty());
            QVERIFY2(!letterType.isEmpty() && !letterType.contains(QLatin1String("PDF")), qPrintable(letterType));
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
        }
    }

private:
    std::unique_ptr<QTemporaryDir> Dir;
};

QTEST_MAIN(TestGuiDocuments)
#include "test_gui_documents.moc"
