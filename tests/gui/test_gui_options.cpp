// The option dialogs and the about box, opened through their menu commands: what each shows
// when it opens, what Ok stores in the main window, that every other way out stores nothing,
// and the colours dialog's live preview in the editor, the output window and the memory window.

#include "gui_support.h"

#include "cel_BufferSizeWin.h"
#include "cel_ColorWin.h"
#include "cel_EditWin.h"
#include "cel_FindWin.h"
#include "cel_InfoWin.h"
#include "cel_InputFileWin.h"
#include "cel_Main.h"
#include "cel_MemoryWin.h"
#include "cel_ModifyWin.h"
#include "cel_OutputFileWin.h"
#include "cel_OutputWin.h"
#include "cel_SpeedWin.h"
#include "cel_StripWin.h"
#include "cel_TextGenWin.h"
#include "cel_WaitWin.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QWindow>
#include <Qsci/qsciscintilla.h>

#include <functional>

using namespace celtest;

namespace {

// What the open dialog showed, read inside it.
struct TSeen {
    bool Visible = false;
    bool ModalOpen = false, DialogOpen = false, ColorPreview = false;
    bool ClosedAsAsked = false;
    QString Focus;
};

// Triggers the menu command that shows dialog modally. Inside, act() runs and the dialog is
// closed by "Enter", "Esc", "CloseBox" or the button of that name. Should that fail, it is
// closed anyway, so a broken dialog fails the test instead of hanging it.
TSeen RunDialog(const char* menu, QDialog* dialog, const std::function<void()>& act, const QString& close) {
    TSeen seen;
    const auto open = [menu] {
        if (!Trigger(menu)) qWarning("menu command %s not available", menu);
        return true;
    };
    RunModal(dialog, open, [&] {
        seen.Visible = dialog->isVisible();
        seen.ModalOpen = Workspace->ModalOpen;
        seen.DialogOpen = Workspace->DialogOpen;
        seen.ColorPreview = MemoryWin->ColorPreview;
        seen.Focus = dialog->focusWidget() ? dialog->focusWidget()->objectName() : QString();
        if (act) act();
        seen.ClosedAsAsked = CloseDialog(dialog, close);
    });
    return seen;
}

template <typename T>
T* Child(QDialog* dialog, const char* name) {
    return dialog->findChild<T*>(QLatin1String(name));
}

QStringList CheckedRadios() {
    QStringList names;
    for (const QRadioButton* radio : SpeedWin->findChildren<QRadioButton*>())
        if (radio->isChecked()) names << radio->objectName();
    return names;
}

QColor Rgb(uint32_t value) { return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF); }

// Where the editor, the output window and the memory window stand, in one comparable list:
// editor text, paper and selection background (as drawn), output text and base, memory.
QStringList Look() {
    QStringList look;
    look << EditWin->Editor->color().name() << EditWin->Editor->paper().name();
    // The selection as drawn: the colour of the selected blank text area after the first line.
    EditWin->SetText("    ");
    EditWin->SetSelection(0, 4);
    const QImage shot = EditWin->Editor->viewport()->grab().toImage();
    const int x = int(EditWin->Editor->SendScintilla(QsciScintilla::SCI_POINTXFROMPOSITION, 0, 2L));
    const int y = int(EditWin->Editor->SendScintilla(QsciScintilla::SCI_POINTYFROMPOSITION, 0, 2L));
    look << QColor(shot.pixel(x, y + 2)).name();
    const QPalette output = OutputWin->Output->palette();
    look << output.color(QPalette::Text).name() << output.color(QPalette::Base).name();
    look << QColor(MemoryWin->HoverImage.pixel(2, 2)).name();
    return look;
}

QStringList LookOf(uint32_t text, uint32_t back) {
    const QColor paper = Rgb(back);
    const QColor selection(255 - paper.red(), 255 - paper.green(), 255 - paper.blue());
    return {Rgb(text).name(), paper.name(), selection.name(), Rgb(text).name(), paper.name(), paper.name()};
}

// Shows a box through the real dialogs and reads it while it shows: its outer frame, its
// owner and its flags; then presses its Ok button.
struct TBoxSeen {
    QRect Outer;
    QSize Client;
    QWidget* Owner = nullptr;
    Qt::WindowFlags Flags;
    QVariant WindowType;
    QString Title;
};

TBoxSeen ShowRealMessage(QWidget* parent, const QString& text) {
    TBoxSeen seen;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box) return;
        seen.Outer = box->frameGeometry();
        seen.Client = box->size();
        seen.Owner = box->parentWidget();
        seen.Flags = box->windowFlags();
        seen.Title = box->windowTitle();
        if (box->windowHandle()) seen.WindowType = box->windowHandle()->property("_q_xcb_wm_window_type");
        if (auto* dialog = qobject_cast<QDialog*>(box)) dialog->accept();
    });
    timer.start(50);
    cel::RealDialogs().Message(parent, cel::TDialogs::TKind::Information, text, cel::TDialogs::ButtonOk);
    return seen;
}

QStringList Panels() {
    return {Child<QFrame>(ColorWin, "PnlTCShow")->palette().color(QPalette::Window).name(),
            Child<QFrame>(ColorWin, "PnlBCShow")->palette().color(QPalette::Window).name()};
}

constexpr uint32_t StoredText = 0x405060, StoredBack = 0xE0D0C0;
const QColor PickedText(0x12, 0x34, 0x56), PickedBack(0xF0, 0xE0, 0x10);

}  // namespace

class TestGuiOptions : public TGuiTest {
    Q_OBJECT
    // Every way out of a dialog takes its flags and the colour preview back.
    void CheckCase() override {
        QVERIFY(!Workspace->ModalOpen && !Workspace->DialogOpen && !MemoryWin->ColorPreview);
    }

private slots:
    void speed_data() {
        QTest::addColumn<int>("delay");
        QTest::addColumn<QString>("pick");
        QTest::addColumn<QString>("close");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<int>("stored");
        QTest::newRow("outside the table shows none, Ok keeps it") << 33 << "" << "BtnOk" << QStringList{} << 33;
        QTest::newRow("15 Hz stores 66") << 20 << "Radio15" << "BtnOk" << QStringList{"Radio50"} << 66;
        QTest::newRow("66 shows 15 Hz") << 66 << "" << "Enter" << QStringList{"Radio15"} << 66;
        QTest::newRow("unlimited by Enter") << 1000 << "RadioUnlimited" << "Enter" << QStringList{"Radio1"} << 0;
        QTest::newRow("1 Hz") << 0 << "Radio1" << "BtnOk" << QStringList{"RadioUnlimited"} << 1000;
        QTest::newRow("Cancel drops the pick") << 500 << "Radio100" << "BtnCancel" << QStringList{"Radio2"} << 500;
        QTest::newRow("Esc drops the pick") << 40 << "Radio10" << "Esc" << QStringList{"Radio25"} << 40;
        QTest::newRow("close box drops the pick") << 200 << "Radio1" << "CloseBox" << QStringList{"Radio5"} << 200;
    }

    void speed() {
        QFETCH(int, delay);
        QFETCH(QString, pick);
        QFETCH(QString, close);
        QFETCH(QStringList, shown);
        QFETCH(int, stored);
        Workspace->WatchDelay = delay;
        QStringList opened;
        const TSeen seen = RunDialog("MenuSpeed", SpeedWin, [&] {
            opened = CheckedRadios();
            if (auto* radio = Child<QRadioButton>(SpeedWin, qPrintable(pick))) radio->click();
            Child<QPushButton>(SpeedWin, "BtnOk")->setFocus();
        }, close);
        QVERIFY(seen.Visible && seen.ClosedAsAsked);
        QVERIFY(seen.ModalOpen && seen.DialogOpen && !seen.ColorPreview);
        QCOMPARE(seen.Focus, QStringLiteral("BtnOk"));
        QCOMPARE(opened, shown);
        QCOMPARE(Workspace->WatchDelay, stored);
    }

    void speedCancelLeavesNoStalePick() {
        // A pick dropped at an odd delay must neither show nor be stored by the next Ok.
        Workspace->WatchDelay = 33;
        RunDialog("MenuSpeed", SpeedWin, [] { Child<QRadioButton>(SpeedWin, "Radio25")->click(); }, "BtnCancel");
        QStringList opened;
        RunDialog("MenuSpeed", SpeedWin, [&] { opened = CheckedRadios(); }, "BtnOk");
        QCOMPARE(opened, QStringList());
        QCOMPARE(Workspace->WatchDelay, 33);
        // A stored pick stays shown for a later odd delay, as the group showed it.
        RunDialog("MenuSpeed", SpeedWin, [] { Child<QRadioButton>(SpeedWin, "Radio2")->click(); }, "BtnOk");
        Workspace->WatchDelay = 33;
        RunDialog("MenuSpeed", SpeedWin, [&] { opened = CheckedRadios(); }, "Esc");
        QCOMPARE(opened, QStringList{"Radio2"});
        QCOMPARE(Workspace->WatchDelay, 33);
    }

    void bufferSize_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("close");
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("stored");
        QTest::newRow("left end, Ok") << int(Qt::Key_Home) << "Ok" << "1" << 1;
        QTest::newRow("right end, Enter") << int(Qt::Key_End) << "Enter" << "255" << 255;
        QTest::newRow("one step, Ok") << int(Qt::Key_Right) << "Ok" << "101" << 101;
        QTest::newRow("right end, Cancel") << int(Qt::Key_End) << "Cancel" << "255" << 100;
        QTest::newRow("left end, Esc") << int(Qt::Key_Home) << "Esc" << "1" << 100;
        QTest::newRow("left end, close box") << int(Qt::Key_Home) << "CloseBox" << "1" << 100;
    }

    void bufferSize() {
        QFETCH(int, key);
        QFETCH(QString, close);
        QFETCH(QString, label);
        QFETCH(int, stored);
        Workspace->OutputBufferSize = 100;
        QString opened, moved;
        const TSeen seen = RunDialog("MenuBufferSize", BufferSizeWin, [&] {
            QSlider* tracker = Child<QSlider>(BufferSizeWin, "Tracker");
            const QLabel* sizeLbl = Child<QLabel>(BufferSizeWin, "SizeLbl");
            opened = sizeLbl->text() + "@" + QString::number(tracker->value());
            QTest::keyClick(tracker, Qt::Key(key));
            moved = sizeLbl->text();
        }, close);
        QVERIFY(seen.Visible && seen.ClosedAsAsked);
        QVERIFY(!seen.ModalOpen && !seen.DialogOpen);
        QCOMPARE(seen.Focus, QStringLiteral("Tracker"));
        QCOMPARE(opened, QStringLiteral("100@100"));
        QCOMPARE(moved, label);
        QCOMPARE(Workspace->OutputBufferSize, stored);
    }

    void fileName_data() {
        QTest::addColumn<bool>("output");
        QTest::addColumn<QString>("typed");  // "*" for none, "?" for Search
        QTest::addColumn<QString>("close");
        QTest::addColumn<QString>("stored");
        const QString found = QDir::temp().filePath(QStringLiteral("found.dat"));
        for (const bool output : {false, true}) {
            const char* kind = output ? "output: " : "input: ";
            QTest::newRow(QByteArray(kind).append("cleared, Ok").constData()) << output << "" << "BtnOk" << "";
            QTest::newRow(QByteArray(kind).append("typed, Enter").constData())
                << output << " no such dir/x .txt " << "Enter" << " no such dir/x .txt ";
            QTest::newRow(QByteArray(kind).append("untouched, Ok").constData()) << output << "*" << "BtnOk" << "old.bin";
            QTest::newRow(QByteArray(kind).append("typed, Cancel").constData())
                << output << "new.bin" << "BtnCancel" << "old.bin";
            QTest::newRow(QByteArray(kind).append("cleared, Esc").constData()) << output << "" << "Esc" << "old.bin";
            QTest::newRow(QByteArray(kind).append("cleared, close box").constData())
                << output << "" << "CloseBox" << "old.bin";
            QTest::newRow(QByteArray(kind).append("searched, Enter").constData()) << output << "?" << "Enter" << found;
        }
    }

    void fileName() {
        QFETCH(bool, output);
        QFETCH(QString, typed);
        QFETCH(QString, close);
        QFETCH(QString, stored);
        QString& name = output ? Workspace->OutputFileName : Workspace->InputFileName;
        QDialog* dialog = output ? static_cast<QDialog*>(OutputFileWin) : InputFileWin;
        QLineEdit* edit = Child<QLineEdit>(dialog, "FileEdt");
        name = QStringLiteral("old.bin");
        if (typed == QLatin1String("?") && output) Windows->Dialogs.SaveAnswers.push_back(stored);
        else if (typed == QLatin1String("?")) Windows->Dialogs.OpenAnswers.push_back({stored});
        QString opened;
        const TSeen seen = RunDialog(output ? "MenuSetOutputFile" : "MenuSetInputFile", dialog, [&] {
            opened = edit->text();
            if (typed == QLatin1String("?")) {
                Child<QPushButton>(dialog, "Search")->click();
                // Enter lands on Ok, where the search leaves the focus.
                QCOMPARE(dialog->focusWidget()->objectName(), QStringLiteral("BtnOk"));
            } else if (typed != QLatin1String("*")) {
                edit->clear();
                QTest::keyClicks(edit, typed);
            }
        }, close);
        QVERIFY(seen.Visible && seen.ClosedAsAsked);
        QVERIFY(!seen.ModalOpen && !seen.DialogOpen);
        QCOMPARE(seen.Focus, QStringLiteral("FileEdt"));
        QCOMPARE(opened, QStringLiteral("old.bin"));
        QCOMPARE(name, stored);
    }

    void searchCancelledKeepsTheField() {
        Workspace->InputFileName = QStringLiteral("kept.txt");
        Windows->Dialogs.OpenAnswers.push_back({});
        RunDialog("MenuSetInputFile", InputFileWin, [] { Child<QPushButton>(InputFileWin, "Search")->click(); },
                  "BtnOk");
        QCOMPARE(Workspace->InputFileName, QStringLiteral("kept.txt"));
    }

    void colorsPreview_data() {
        QTest::addColumn<QString>("close");
        QTest::addColumn<bool>("kept");
        QTest::newRow("Ok keeps") << "BtnOk" << true;
        QTest::newRow("Cancel restores") << "BtnCancel" << false;
        QTest::newRow("Esc restores") << "Esc" << false;
        QTest::newRow("close box restores") << "CloseBox" << false;
    }

    void colorsPreview() {
        QFETCH(QString, close);
        QFETCH(bool, kept);
        Workspace->TextColor = StoredText;
        Workspace->BackgroundColor = StoredBack;
        EditWin->ApplyColors(StoredText, StoredBack);
        OutputWin->ApplyColors(StoredText, StoredBack);
        MemoryWin->RedrawMemory(false);
        QCOMPARE(Look(), LookOf(StoredText, StoredBack));

        Windows->Dialogs.ColorAnswers = {PickedText, PickedBack};
        const uint32_t pickedText = 0x563412, pickedBack = 0x10E0F0;
        QStringList opened, afterText, afterBoth, panels;
        const TSeen seen = RunDialog("MenuColors", ColorWin, [&] {
            opened = Panels();
            Child<QPushButton>(ColorWin, "BtnChangeTC")->click();
            afterText = Look();
            Child<QPushButton>(ColorWin, "BtnChangeBC")->click();
            afterBoth = Look();
            panels = Panels();
            // Nothing is stored before Ok.
            QCOMPARE(Workspace->TextColor, StoredText);
            QCOMPARE(Workspace->BackgroundColor, StoredBack);
        }, close);
        QVERIFY(seen.Visible && seen.ClosedAsAsked);
        QVERIFY(seen.ModalOpen && seen.DialogOpen && seen.ColorPreview);
        QCOMPARE(seen.Focus, QStringLiteral("BtnChangeTC"));
        QCOMPARE(opened, (QStringList{Rgb(StoredText).name(), Rgb(StoredBack).name()}));
        QCOMPARE(afterText, LookOf(pickedText, StoredBack));
        QCOMPARE(afterBoth, LookOf(pickedText, pickedBack));
        QCOMPARE(panels, (QStringList{PickedText.name(), PickedBack.name()}));

        const uint32_t text = kept ? pickedText : StoredText, back = kept ? pickedBack : StoredBack;
        QCOMPARE(Workspace->TextColor, text);
        QCOMPARE(Workspace->BackgroundColor, back);
        QCOMPARE(Look(), LookOf(text, back));
        // The next opening starts from the stored pair; a cancelled picker changes nothing.
        RunDialog("MenuColors", ColorWin, [&] {
            opened = Panels();
            Child<QPushButton>(ColorWin, "BtnChangeTC")->click();
            afterText = Look();
        }, "BtnOk");
        QCOMPARE(opened, (QStringList{Rgb(text).name(), Rgb(back).name()}));
        QCOMPARE(afterText, LookOf(text, back));
        QCOMPARE(Workspace->TextColor, text);
        QCOMPARE(Workspace->BackgroundColor, back);
    }

    // The stored form has red in the low byte, as the settings file keeps it.
    void storedColors_data() {
        QTest::addColumn<uint32_t>("stored");
        QTest::addColumn<QColor>("color");
        QTest::newRow("black") << 0x000000u << QColor(0, 0, 0);
        QTest::newRow("white") << 0xFFFFFFu << QColor(255, 255, 255);
        QTest::newRow("red is the low byte") << 0x0000FFu << QColor(255, 0, 0);
        QTest::newRow("blue is the high byte") << 0xFF0000u << QColor(0, 0, 255);
        QTest::newRow("mixed") << 0x563412u << QColor(0x12, 0x34, 0x56);
    }

    void storedColors() {
        QFETCH(uint32_t, stored);
        QFETCH(QColor, color);
        QCOMPARE(cel::ColorFromStored(stored), color);
        QCOMPARE(cel::StoredColor(color), stored);
        // Bits above the 24 of a colour are no part of it.
        QCOMPARE(cel::ColorFromStored(stored | 0xFF000000u), color);
    }

    void infoBox_data() {
        QTest::addColumn<QString>("close");
        QTest::addColumn<int>("result");
        QTest::newRow("Ok") << "BtnOk" << int(QDialog::Accepted);
        QTest::newRow("Enter") << "Enter" << int(QDialog::Accepted);
        QTest::newRow("Esc is Ok too") << "Esc" << int(QDialog::Accepted);
        QTest::newRow("close box") << "CloseBox" << int(QDialog::Rejected);
    }

    void infoBox() {
        QFETCH(QString, close);
        QFETCH(int, result);
        QStringList texts;
        QPoint pos;
        QSize logo;
        const TSeen seen = RunDialog("MenuInfo", InfoWin, [&] {
            texts << InfoWin->windowTitle() << InfoWin->LblName->text() << InfoWin->LblBfVersion->text();
            pos = InfoWin->pos();
            logo = InfoWin->Logo->pixmap().size();
            QVERIFY(InfoWin->LblName->font().bold());
            QTest::mouseClick(InfoWin->LblLink, Qt::LeftButton);
        }, close);
        QVERIFY(seen.Visible && seen.ClosedAsAsked);
        QVERIFY(seen.ModalOpen && seen.DialogOpen);
        QCOMPARE(InfoWin->result(), result);
        QCOMPARE(texts, (QStringList{"Info", "Cellwright", "Version 1.4.7"}));
        QCOMPARE(logo, QSize(83, 32));
        QCOMPARE(pos, CentredOnWorkArea(InfoWin->frameGeometry().size()));
        QCOMPARE(Windows->Dialogs.OpenedUrls, QStringList{TInfoWin::LinkUrl.toString()});
        QCOMPARE(InfoWin->LblLink->text(), TInfoWin::LinkUrl.toString());
    }

    // Every dialog is centred on the work area by its outer frame, the window manager's frame
    // included (the offscreen platform draws one too), and opens at the same place every time.
    void dialogsOpenCentredByTheirFrame_data() {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("dialog");
        QTest::newRow("speed") << "MenuSpeed" << "SpeedWin";
        QTest::newRow("buffer size") << "MenuBufferSize" << "BufferSizeWin";
        QTest::newRow("input file") << "MenuSetInputFile" << "InputFileWin";
        QTest::newRow("output file") << "MenuSetOutputFile" << "OutputFileWin";
        QTest::newRow("colours") << "MenuColors" << "ColorWin";
        QTest::newRow("info") << "MenuInfo" << "InfoWin";
        QTest::newRow("text generator") << "MenuTextGen" << "TextGenWin";
        QTest::newRow("strip") << "MenuStrip" << "StripWin";
        QTest::newRow("find") << "MenuFind" << "FindWin";
    }
    void dialogsOpenCentredByTheirFrame() {
        QFETCH(QString, menu);
        QFETCH(QString, dialog);
        auto* window = MainWin->findChild<QDialog*>(dialog);
        QVERIFY(window);
        QList<QRect> outers;
        for (int opening = 0; opening < 2; ++opening) {
            const TSeen seen = RunDialog(qPrintable(menu), window, [&] { outers << window->frameGeometry(); },
                                         QStringLiteral("Esc"));
            QVERIFY(seen.Visible);
        }
        QCOMPARE(outers.size(), 2);
        QVERIFY(outers[0].width() > window->width() && outers[0].height() > window->height());
        QCOMPARE(outers[0].topLeft(), CentredOnWorkArea(outers[0].size()));
        QCOMPARE(outers[1], outers[0]);
    }

    // Every dialog is a modal dialog window owned by the main window, with a close box only (the
    // wait window: none), never minimised or maximised, also where a window manager would offer
    // that on its own (a dialog minimised anyway comes back: see below).
    void dialogsStayWithTheMainWindow_data() {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<bool>("closeBox");
        for (const char* name : {"ColorWin", "InputFileWin", "OutputFileWin", "BufferSizeWin", "ModifyWin",
                                 "SpeedWin", "InfoWin", "StripWin", "TextGenWin", "FindWin"})
            QTest::newRow(name) << QString::fromLatin1(name) << true;
        QTest::newRow("WaitWin") << QStringLiteral("WaitWin") << false;
    }
    void dialogsStayWithTheMainWindow() {
        QFETCH(QString, dialog);
        QFETCH(bool, closeBox);
        auto* window = MainWin->findChild<QDialog*>(dialog);
        QVERIFY(window);
        QCOMPARE(window->parentWidget(), static_cast<QWidget*>(MainWin));
        QVERIFY(window->isModal());
        const Qt::WindowFlags flags = window->windowFlags();
        // A dialog for the window manager, transient for its owner, with no type of another
        // kind put before it (a window manager that honours types frames a toolbar not at all).
        QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
        QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QCOMPARE(bool(flags & Qt::WindowCloseButtonHint), closeBox);
        window->winId();  // the platform window, as a show creates it
        QVERIFY(window->windowHandle());
        QVERIFY(!window->windowHandle()->property("_q_xcb_wm_window_type").isValid());
        QCOMPARE(window->windowHandle()->transientParent(), MainWin->windowHandle());
    }

    // A dialog that a window manager minimises anyway comes straight back, so the main window
    // it blocks is never left with nothing to restore; closing a dialog gives the keyboard focus
    // back to the widget that had it, and the Tab key enters the speed group at its checked
    // button and leaves it at the next stop.
    void dialogsComeBackAndGiveTheFocusBack_data() {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("dialog");
        QTest::newRow("speed") << "MenuSpeed" << "SpeedWin";
        QTest::newRow("buffer size") << "MenuBufferSize" << "BufferSizeWin";
        QTest::newRow("input file") << "MenuSetInputFile" << "InputFileWin";
        QTest::newRow("info") << "MenuInfo" << "InfoWin";
        QTest::newRow("text generator") << "MenuTextGen" << "TextGenWin";
        QTest::newRow("find") << "MenuFind" << "FindWin";
    }
    void dialogsComeBackAndGiveTheFocusBack() {
        QFETCH(QString, menu);
        QFETCH(QString, dialog);
        auto* window = MainWin->findChild<QDialog*>(dialog);
        QVERIFY(window);
        EditWin->activateWindow();
        EditWin->Editor->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(EditWin->Editor));
        bool cameBack = false;
        const TSeen seen = RunDialog(qPrintable(menu), window, [&] {
            window->setWindowState(Qt::WindowMinimized);
            cameBack = QTest::qWaitFor([&] { return window->isVisible() && !window->isMinimized(); }, 2000);
        }, QStringLiteral("Esc"));
        QVERIFY(seen.Visible);
        QVERIFY(cameBack);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(EditWin->Editor));
    }

    // The real file dialogs and message boxes, as the commands show them, hand the focus back
    // to the editor too.
    void realDialogsGiveTheFocusBack_data() {
        QTest::addColumn<QString>("menu");
        QTest::newRow("save as") << "MenuSaveAs";
        QTest::newRow("open") << "MenuOpen";
        QTest::newRow("message box") << "";
    }
    void realDialogsGiveTheFocusBack() {
        QFETCH(QString, menu);
        EditWin->activateWindow();
        EditWin->Editor->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(EditWin->Editor));
        QString shown;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            timer.stop();
            shown = dialog->metaObject()->className();
            dialog->reject();
        });
        timer.start(50);
        cel::SetDialogs(nullptr);
        if (menu.isEmpty()) cel::ShowError(MainWin, QStringLiteral("You cannot exit while running a program."));
        else QVERIFY(Trigger(qPrintable(menu)));
        cel::SetDialogs(&Windows->Dialogs);
        QVERIFY(!shown.isEmpty());
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(EditWin->Editor));
    }

    void speedGroupIsOneTabStop() {
        Workspace->WatchDelay = 20;
        QStringList stops;
        RunDialog("MenuSpeed", SpeedWin, [&] {
            const auto focus = [] { return SpeedWin->focusWidget()->objectName(); };
            Child<QPushButton>(SpeedWin, "BtnCancel")->setFocus();
            for (int i = 0; i < 3; ++i) {
                QTest::keyClick(SpeedWin->focusWidget(), Qt::Key_Tab);
                stops << focus();
            }
            QTest::keyClick(SpeedWin->focusWidget(), Qt::Key_Backtab);
            stops << focus();
            QTest::keyClick(SpeedWin->focusWidget(), Qt::Key_Backtab);
            stops << focus();
        }, QStringLiteral("Esc"));
        QCOMPARE(stops, (QStringList{"Radio50", "BtnOk", "BtnCancel", "BtnOk", "Radio50"}));
    }

    // The message boxes: centred on the work area by their outer frame once laid out, whatever
    // their owner and text, like the dialogs kept with their owner, and titled as the
    // application is.
    void messageBoxesAreCentred_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ownedByOutput");
        QTest::newRow("short") << QStringLiteral("The program demands input.") << false;
        QTest::newRow("two lines, output window")
            << QStringLiteral("Could not write to file \"x\". An error occurred.\nDo you have permission?") << true;
    }
    void messageBoxesAreCentred() {
        QFETCH(QString, text);
        QFETCH(bool, ownedByOutput);
        QWidget* owner = ownedByOutput ? static_cast<QWidget*>(OutputWin) : static_cast<QWidget*>(MainWin);
        // The main window at the top, as the layout puts it: a box centred on it would be there.
        MainWin->move(40, 0);
        for (int showing = 0; showing < 2; ++showing) {
            const TBoxSeen seen = ShowRealMessage(owner, text);
            QVERIFY(seen.Outer.isValid());
            QVERIFY(seen.Outer.width() > seen.Client.width() && seen.Outer.height() > seen.Client.height());
            QCOMPARE(seen.Outer.topLeft(), CentredOnWorkArea(seen.Outer.size()));
            QCOMPARE(seen.Owner, owner);
            QVERIFY(!(seen.Flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
            QVERIFY(!seen.WindowType.isValid());
            QCOMPARE(seen.Title, QStringLiteral("Cellwright 1.4.7"));
        }
    }

    // The font dialog opens on the face the editor font really is, in its regular style, as
    // the font dialog of the Font command shows it; Ok without a change keeps the font's name
    // and size.
    void fontDialogOpensOnTheEditorFont() {
        const QFont font = EditWin->Editor->font();
        QVERIFY(!QFontInfo(font).italic());
        QString family, style;
        bool italic = true;
        int size = 0;
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QFontDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            family = dialog->currentFont().family();
            style = QFontDatabase::styleString(dialog->currentFont());
            italic = dialog->currentFont().italic();
            size = dialog->currentFont().pointSize();
            dialog->accept();
        });
        timer.start(50);
        QFont chosen = font;
        QVERIFY(cel::RealDialogs().ChooseFont(MainWin, chosen));
        QCOMPARE(family, QFontInfo(font).family());
        QVERIFY2(!italic, qPrintable(style));
        QVERIFY2(!style.contains(QLatin1String("Italic")) && !style.contains(QLatin1String("Oblique")),
                 qPrintable(style));
        QCOMPARE(size, font.pointSize());
        QCOMPARE(chosen.family(), font.family());
        QCOMPARE(chosen.pointSize(), font.pointSize());
        QVERIFY(!chosen.italic());
    }
};

QTEST_MAIN(TestGuiOptions)
#include "test_gui_options.moc"
