// The modify dialog on a paused program: what it shows when it opens, how its three fields
// follow each other, what Ok stores in 8 and 16 bit mode, and that every other way out leaves
// the cell alone. Also the readers of the hexadecimal and decimal fields on their own.

#include "gui_support.h"

#include "cel_EditWin.h"
#include "cel_Main.h"
#include "cel_MemoryWin.h"
#include "cel_ModifyWin.h"

#include <QLabel>
#include <QLineEdit>

#include <functional>

using namespace celtest;

namespace {

constexpr uint16_t Cell = 31;

QLineEdit* Field(const char* name) { return ModifyWin->findChild<QLineEdit*>(QLatin1String(name)); }

QString FieldText(const char* name) {
    const QLineEdit* edit = Field(name);
    return edit ? edit->text() : QStringLiteral("<no %1>").arg(QLatin1String(name));
}

QStringList Fields() { return {FieldText("HexEdit"), FieldText("DecEdit"), FieldText("CharEdit")}; }

QStringList Labels() {
    QStringList texts;
    for (const char* name : {"HexLbl", "DecLbl", "CharLbl"}) {
        const QLabel* label = ModifyWin->findChild<QLabel*>(QLatin1String(name));
        texts << (label ? label->text() : QStringLiteral("<no %1>").arg(QLatin1String(name)));
    }
    return texts;
}

// Moves into the field and replaces its text by typing.
void Type(QLineEdit* edit, const QString& text) {
    if (!edit) return;
    edit->setFocus();
    edit->clear();
    TypeInto(edit, text);
}

// What the open dialog showed, read inside it.
struct TSeen {
    bool Visible = false;
    bool DialogOpen = false;  // Workspace->DialogOpen while it showed
    bool ClosedAsAsked = false;
    QString Caption, Focus, Selected;
    QPoint Pos;
    QSize Outer;  // the frame's size, the window manager's frame included
    QStringList Labels, Opened, Edited;  // hex, dec, char: labels; fields on opening, after acting
};

// Runs open(), which shows the dialog modally. Inside, act() runs and the dialog is closed by
// "Ok", "Enter", "Cancel", "Esc" or "CloseBox". Should that fail, it is closed anyway, so a
// broken dialog fails the test instead of hanging it.
TSeen RunDialog(const std::function<void()>& open, const std::function<void()>& act, const QString& close) {
    TSeen seen;
    RunModal(ModifyWin, [&] { open(); return true; }, [&] {
        seen.Visible = ModifyWin->isVisible();
        seen.DialogOpen = Workspace->DialogOpen;
        seen.Caption = ModifyWin->windowTitle();
        seen.Pos = ModifyWin->pos();
        seen.Outer = ModifyWin->frameGeometry().size();
        seen.Labels = Labels();
        seen.Opened = Fields();
        const QWidget* focus = ModifyWin->focusWidget();
        seen.Focus = focus ? focus->objectName() : QString();
        seen.Selected = Field("HexEdit") ? Field("HexEdit")->selectedText() : QString();
        if (act) act();
        seen.Edited = Fields();
        seen.ClosedAsAsked = CloseDialog(ModifyWin, close);
    });
    return seen;
}

TSeen ModifyCell(const std::function<void()>& act, const QString& close) {
    return RunDialog([] { MemoryWin->ModifyCell(Cell); }, act, close);
}

// A paused program in the given cell width: a trace stops at the first command.
bool Paused(bool wide) {
    EditWin->SetText(">>>+");
    return Trigger(wide ? "Menu16Bit" : "Menu8Bit") && Trigger("MenuTrace") && WaitSuspended();
}

QString Chr(int code) { return QString(QChar(code)); }

}  // namespace

class TestGuiModify : public TGuiTest {
    Q_OBJECT
private slots:
    void opensOnTheCell_data() {
        QTest::addColumn<bool>("wide");
        QTest::addColumn<int>("address");
        QTest::addColumn<uint32_t>("value");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QStringList>("forms");
        QTest::newRow("65 in cell 31") << false << 31 << 65u << "Modify Memory [0x001F]"
                                       << QStringList{"0041", "65", "A"};
        QTest::newRow("zero") << false << 0 << 0u << "Modify Memory [0x0000]" << QStringList{"0000", "0", ""};
        QTest::newRow("255, Latin-1") << false << 200 << 255u << "Modify Memory [0x00C8]"
                                      << QStringList{"00FF", "255", Chr(0xFF)};
        QTest::newRow("16 bit, low byte as char") << true << 0x7FFF << 0x1234u << "Modify Memory [0x7FFF]"
                                                  << QStringList{"1234", "4660", "4"};
        QTest::newRow("16 bit, low byte 0") << true << 5 << 0x4100u << "Modify Memory [0x0005]"
                                            << QStringList{"4100", "16640", ""};
        // Codes without a glyph show no character at all.
        QTest::newRow("10, a control code") << false << 31 << 10u << "Modify Memory [0x001F]"
                                            << QStringList{"000A", "10", ""};
        QTest::newRow("127") << false << 31 << 127u << "Modify Memory [0x001F]" << QStringList{"007F", "127", ""};
        QTest::newRow("128") << false << 31 << 128u << "Modify Memory [0x001F]" << QStringList{"0080", "128", ""};
        QTest::newRow("159") << false << 31 << 159u << "Modify Memory [0x001F]" << QStringList{"009F", "159", ""};
        QTest::newRow("160, no-break space") << false << 31 << 160u << "Modify Memory [0x001F]"
                                             << QStringList{"00A0", "160", Chr(0xA0)};
        QTest::newRow("173, soft hyphen") << false << 31 << 173u << "Modify Memory [0x001F]"
                                          << QStringList{"00AD", "173", ""};
        QTest::newRow("16 bit, low byte 0x85") << true << 31 << 0x0185u << "Modify Memory [0x001F]"
                                               << QStringList{"0185", "389", ""};
    }

    void opensOnTheCell() {
        QFETCH(bool, wide);
        QFETCH(int, address);
        QFETCH(uint32_t, value);
        QFETCH(QString, caption);
        QFETCH(QStringList, forms);
        QVERIFY(Paused(wide));
        Workspace->Interpreter->SetCell(static_cast<uint16_t>(address), value);
        QVERIFY(!Workspace->DialogOpen);
        const TSeen seen = RunDialog([&] { MemoryWin->ModifyCell(address); }, nullptr, QStringLiteral("Cancel"));
        QVERIFY(seen.Visible);
        QVERIFY(seen.ClosedAsAsked);
        QVERIFY(seen.DialogOpen);
        QVERIFY(!Workspace->DialogOpen);
        QCOMPARE(seen.Caption, caption);
        QCOMPARE(seen.Labels, forms);
        QCOMPARE(seen.Opened, forms);
        QCOMPARE(seen.Focus, QStringLiteral("HexEdit"));
        QCOMPARE(seen.Selected, forms[0]);
        // Centred by the outer frame (the offscreen platform draws one too).
        QVERIFY(seen.Outer.width() > ModifyWin->width() && seen.Outer.height() > ModifyWin->height());
        QCOMPARE(seen.Pos, CentredOnWorkArea(seen.Outer));
        QCOMPARE(Workspace->Interpreter->GetCell(static_cast<uint16_t>(address)), value);
    }

    // Each opening shows the cell as it is, whatever the fields were left holding last time.
    void reopeningShowsTheCellAfresh() {
        QVERIFY(Paused(false));
        Workspace->Interpreter->SetCell(Cell, 65);
        const QStringList forms{"0041", "65", "A"};
        const std::pair<const char*, QString> edits[] = {{"CharEdit", "B"}, {"HexEdit", ""}, {"DecEdit", "0"}};
        for (const auto& edit : edits) {
            const TSeen seen = ModifyCell([&] { Type(Field(edit.first), edit.second); }, QStringLiteral("Cancel"));
            QCOMPARE(seen.Labels, forms);
            QCOMPARE(seen.Opened, forms);
            QCOMPARE(seen.Focus, QStringLiteral("HexEdit"));
            QCOMPARE(seen.Selected, forms[0]);
        }
        Workspace->Interpreter->SetCell(Cell, 0);
        const TSeen zero = ModifyCell(nullptr, QStringLiteral("Cancel"));
        QCOMPARE(zero.Opened, (QStringList{"0000", "0", ""}));
        QCOMPARE(zero.Labels, zero.Opened);
    }

    // Typing into one field on a cell holding 65, then leaving the dialog the given way.
    void editing_data() {
        QTest::addColumn<bool>("wide");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("shown");  // hex, dec, char fields afterwards
        QTest::addColumn<QString>("close");
        QTest::addColumn<uint32_t>("stored");
        QTest::addColumn<QString>("error");
        const bool w8 = false, w16 = true;
        using F = QStringList;
        QTest::newRow("hex 7f") << w8 << "HexEdit" << "7f" << F{"7f", "127", ""} << "Ok" << 127u << "";
        QTest::newRow("hex 9f, no glyph") << w8 << "HexEdit" << "9f" << F{"9f", "159", ""} << "Ok" << 159u << "";
        QTest::newRow("dec 10, no glyph") << w8 << "DecEdit" << "10" << F{"000A", "10", ""} << "Ok" << 10u << "";
        QTest::newRow("hex 7g counts 0") << w8 << "HexEdit" << "7g" << F{"7g", "0", ""} << "Ok" << 0u << "";
        QTest::newRow("hex 00 kept") << w8 << "HexEdit" << "00" << F{"00", "0", ""} << "Ok" << 0u << "";
        QTest::newRow("hex 0100, 8 bit") << w8 << "HexEdit" << "0100" << F{"0100", "256", ""} << "Ok" << 0u << "";
        QTest::newRow("hex ffff, Enter") << w16 << "HexEdit" << "ffff" << F{"ffff", "65535", Chr(0xFF)}
                                         << "Enter" << 65535u << "";
        QTest::newRow("dec abc") << w8 << "DecEdit" << "abc" << F{"0000", "abc", ""} << "Ok" << 65u
                                 << "'abc' is not a valid integer value";
        QTest::newRow("dec 70000, 16 bit") << w16 << "DecEdit" << "70000" << F{"FFFF", "70000", Chr(0xFF)}
                                           << "Ok" << 4464u << "";
        QTest::newRow("dec -1, 16 bit") << w16 << "DecEdit" << "-1" << F{"0000", "-1", ""} << "Ok" << 65535u << "";
        QTest::newRow("dec -1, 8 bit") << w8 << "DecEdit" << "-1" << F{"0000", "-1", ""} << "Ok" << 255u << "";
        QTest::newRow("dec 300, 8 bit") << w8 << "DecEdit" << "300" << F{"012C", "300", ","} << "Ok" << 44u << "";
        QTest::newRow("dec $42") << w8 << "DecEdit" << "$42" << F{"0042", "$42", "B"} << "Ok" << 66u << "";
        QTest::newRow("char z") << w8 << "CharEdit" << "z" << F{"007A", "122", "z"} << "Ok" << 122u << "";
        QTest::newRow("char Latin-1") << w8 << "CharEdit" << Chr(0xE9) << F{"00E9", "233", Chr(0xE9)}
                                      << "Ok" << 233u << "";
        QTest::newRow("char beyond Latin-1") << w16 << "CharEdit" << Chr(0x20AC) << F{"003F", "63", Chr(0x20AC)}
                                             << "Ok" << 63u << "";
        QTest::newRow("hex emptied") << w8 << "HexEdit" << "" << F{"", "65", "A"} << "Ok" << 65u << "";
        QTest::newRow("char emptied") << w8 << "CharEdit" << "" << F{"0041", "65", ""} << "Ok" << 65u << "";
        QTest::newRow("dec emptied") << w8 << "DecEdit" << "" << F{"0041", "", "A"} << "Ok" << 65u
                                     << "'' is not a valid integer value";
        QTest::newRow("Cancel") << w8 << "HexEdit" << "7f" << F{"7f", "127", ""} << "Cancel" << 65u << "";
        QTest::newRow("Esc") << w16 << "DecEdit" << "200" << F{"00C8", "200", Chr(200)} << "Esc" << 65u << "";
        QTest::newRow("close box") << w8 << "CharEdit" << "z" << F{"007A", "122", "z"} << "CloseBox" << 65u << "";
    }

    void editing() {
        QFETCH(bool, wide);
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QStringList, shown);
        QFETCH(QString, close);
        QFETCH(uint32_t, stored);
        QFETCH(QString, error);
        QVERIFY(Paused(wide));
        Workspace->Interpreter->SetCell(Cell, 65);
        if (!error.isEmpty()) Windows->Dialogs.Expect(error);
        const TSeen seen = ModifyCell([&] { Type(Field(qPrintable(field)), typed); }, close);
        QVERIFY(seen.Visible);
        QVERIFY(seen.ClosedAsAsked);
        QCOMPARE(seen.Edited, shown);
        QVERIFY(!ModifyWin->Updating);
        QVERIFY(!Workspace->DialogOpen);
        QVERIFY(Windows->Dialogs.Messages.empty());
        QCOMPARE(Workspace->Interpreter->GetCell(Cell), stored);
    }

    // A cell holding a code without a glyph opens with an empty character field that typing
    // fills, as the user sees it; the value stays as it was until something is typed.
    void typingIntoTheEmptyCharField_data() {
        QTest::addColumn<bool>("wide");
        QTest::addColumn<uint32_t>("value");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("shown");  // hex, dec, char fields afterwards
        QTest::addColumn<uint32_t>("stored");
        using F = QStringList;
        QTest::newRow("10, z typed") << false << 10u << "z" << F{"007A", "122", "z"} << 122u;
        QTest::newRow("31, A typed") << false << 31u << "A" << F{"0041", "65", "A"} << 65u;
        QTest::newRow("127, 1 typed") << false << 127u << "1" << F{"0031", "49", "1"} << 49u;
        QTest::newRow("150, z typed") << false << 150u << "z" << F{"007A", "122", "z"} << 122u;
        QTest::newRow("16 bit 0x0A0D, z typed") << true << 0x0A0Du << "z" << F{"007A", "122", "z"} << 122u;
        QTest::newRow("10, nothing typed") << false << 10u << "" << F{"000A", "10", ""} << 10u;
        QTest::newRow("16 bit 0x1289, nothing typed") << true << 0x1289u << "" << F{"1289", "4745", ""} << 0x1289u;
    }

    void typingIntoTheEmptyCharField() {
        QFETCH(bool, wide);
        QFETCH(uint32_t, value);
        QFETCH(QString, typed);
        QFETCH(QStringList, shown);
        QFETCH(uint32_t, stored);
        QVERIFY(Paused(wide));
        Workspace->Interpreter->SetCell(Cell, value);
        // Into the field as the user gets there, and keys: nothing cleared first.
        const TSeen seen = ModifyCell([&] {
            QLineEdit* edit = Field("CharEdit");
            QTest::mouseClick(edit, Qt::LeftButton);
            QTest::keyClicks(edit, typed);
        }, QStringLiteral("Ok"));
        QVERIFY(seen.ClosedAsAsked);
        QCOMPARE(seen.Opened[2], QString());
        QCOMPARE(seen.Labels[2], QString());
        QCOMPARE(seen.Edited, shown);
        QCOMPARE(Workspace->Interpreter->GetCell(Cell), stored);
    }

    // F12 opens the dialog on the cell under the data pointer, and the program goes on with the
    // value stored there.
    void f12ModifiesTheCellAtTheDataPointer() {
        QVERIFY(Paused(false));
        for (int step = 0; step < 3 && Workspace->Interpreter->GetDataPtr() != 3; ++step) {
            QVERIFY(Trigger("MenuTrace"));
            QVERIFY(WaitSuspended());
        }
        QCOMPARE(Workspace->Interpreter->GetDataPtr(), 3u);
        Workspace->Interpreter->SetCell(3, 0x48);
        const TSeen seen = RunDialog([] { QVERIFY(Trigger("MenuModifyMemory")); },
                                     [] { Type(Field("DecEdit"), QStringLiteral("7")); }, QStringLiteral("Ok"));
        QVERIFY(seen.Visible);
        QCOMPARE(seen.Caption, QStringLiteral("Modify Memory [0x0003]"));
        QCOMPARE(seen.Opened, (QStringList{"0048", "72", "H"}));
        QCOMPARE(Workspace->Interpreter->GetCell(3), 7u);
        QVERIFY(Trigger("MenuTrace"));  // runs the "+"
        QVERIFY(WaitReady());
        QCOMPARE(Workspace->Interpreter->GetCell(3), 8u);
    }

    void readers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<uint32_t>("hex");
        QTest::addColumn<int>("dec");
        QTest::newRow("empty") << "" << 0u << 0;
        QTest::newRow("7f") << "7f" << 0x7Fu << 7;
        QTest::newRow("7F") << "7F" << 0x7Fu << 7;
        QTest::newRow("7g") << "7g" << 0u << 7;
        QTest::newRow("FFFF") << "FFFF" << 0xFFFFu << 0;
        QTest::newRow("9 digits") << "123456789" << 0x12345678u << 65535;
        QTest::newRow("12a") << "12a" << 0x12Au << 12;
        QTest::newRow("-12a") << "-12a" << 0u << 12;
        QTest::newRow("-1") << "-1" << 0u << 0;
        QTest::newRow("70000") << "70000" << 0x70000u << 65535;
        QTest::newRow("beyond int32") << "99999999999" << 0x99999999u << 65535;
        QTest::newRow("$1g") << "$1g" << 0u << 1;
        QTest::newRow("0x10") << "0x10" << 0u << 16;
        QTest::newRow("0x alone") << "0x" << 0u << 0;
        QTest::newRow("$ff") << "$ff" << 0u << 255;
        QTest::newRow("leading blank") << " 5" << 0u << 5;
        QTest::newRow("trailing blank") << "5 " << 0u << 5;
    }

    void readers() {
        QFETCH(QString, text);
        QFETCH(uint32_t, hex);
        QFETCH(int, dec);
        QCOMPARE(cel::ParseHex(text), hex);
        QCOMPARE(cel::ParseDecimal(text), dec);
    }
};

QTEST_MAIN(TestGuiModify)
#include "test_gui_modify.moc"
