// The memory window: its rows and scroll range, following the data pointer, the hover frame,
// clicks and the wheel, through the real windows on the offscreen platform.

#include "gui_support.h"

#include "cel_Frame.h"

#include "cel_EditWin.h"
#include "cel_Main.h"
#include "cel_MemoryWin.h"
#include "cel_ModifyWin.h"
#include "cel_OutputWin.h"

#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <Qsci/qsciscintilla.h>
#include <QScrollBar>
#include <QTimer>
#include <QMenu>

using namespace celtest;

namespace {

QString RowText(size_t row) {
    const auto& rows = MemoryWin->Rows;
    if (row >= rows.size()) return QStringLiteral("<no row %1>").arg(row);
    return QString::fromLatin1(rows[row].Text.data(), static_cast<qsizetype>(rows[row].Text.size()));
}

// The cell a row shows, read back from its text.
int RowCell(size_t row) { return RowText(row).mid(1, 4).toInt(nullptr, 16); }

int CurrentRow() {
    for (size_t i = 0; i < MemoryWin->Rows.size(); ++i)
        if (MemoryWin->Rows[i].Current) return static_cast<int>(i);
    return -1;
}

// Traces until the data pointer reaches cell; false when the run ends first.
bool TraceTo(uint32_t cell) {
    for (int i = 0; i < 200; ++i) {
        if (!Trigger("MenuTrace") || !WaitSuspended()) return false;
        if (Workspace->Interpreter->GetDataPtr() == cell) return true;
    }
    return false;
}

void MoveMouse(int y) {
    QMouseEvent move(QEvent::MouseMove, QPointF(20, y), MemoryWin->mapToGlobal(QPointF(20, y)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(MemoryWin, &move);
}

void Wheel(QWidget* target, const QPoint& global, int delta) {
    QWheelEvent wheel(target->mapFromGlobal(QPointF(global)), QPointF(global), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(target, &wheel);
}

QRgb Pixel(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }

// The image as drawn step by step equals the same rows drawn afresh: scrolled far away and back,
// every row comes anew from its text.
bool SameAsRedrawn() {
    const QImage drawn = MemoryWin->MemoryImage.copy();
    const int first = MemoryWin->FirstCell();
    MemoryWin->Scroller->setValue(first < 16000 ? first + 1000 : first - 1000);
    MemoryWin->Scroller->setValue(first);
    return MemoryWin->MemoryImage == drawn;
}

// The columns of a row where ink is in one image and not in the other: the rows are put together
// from glyphs drawn one by one, and must look like the row text drawn whole by the painter.
int PixelsUnlikeDrawnText(int row) {
    const cel::TMemoryLine& line = MemoryWin->Rows[static_cast<size_t>(row)];
    QImage expected(MemoryWin->width(), TMemoryWin::RowHeight, QImage::Format_RGB32);
    expected.fill(Qt::black);
    QPainter painter(&expected);
    QFont font(QStringLiteral("Courier New"), 10);
    font.setStyleHint(QFont::TypeWriter);
    font.setBold(line.Current);
    painter.setFont(font);
    QString text = QString::fromLatin1(line.Text.data(), static_cast<qsizetype>(line.Text.size()));
    for (QChar& c : text)
        if (!cel::HasGlyph(static_cast<uint8_t>(c.unicode()))) c = QLatin1Char(' ');
    const QRect box(4, 0, painter.fontMetrics().horizontalAdvance(text), TMemoryWin::RowHeight);
    if (line.Current) painter.fillRect(box, Qt::white);
    painter.setPen(line.Current ? Qt::black : Qt::white);
    painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, text);
    painter.end();
    // Glyphs may sit a fraction of a pixel apart: a column inked in one image counts as unlike
    // only when no column within a pixel of it is inked in the other.
    const int top = TMemoryWin::TopMargin + TMemoryWin::RowHeight * row;
    const auto inked = [](const QImage& image, int x, int top, bool current) {
        if (x < 0 || x >= image.width()) return false;
        for (int y = 0; y < TMemoryWin::RowHeight; ++y) {
            const int gray = qGray(image.pixel(x, top + y));
            if (current ? gray < 128 : gray > 128) return true;
        }
        return false;
    };
    int unlike = 0;
    for (int x = 0; x < expected.width() - TMemoryWin::ScrollBarWidth; ++x) {
        const bool near[2] = {inked(expected, x - 1, 0, line.Current) || inked(expected, x, 0, line.Current) ||
                                  inked(expected, x + 1, 0, line.Current),
                              inked(MemoryWin->MemoryImage, x - 1, top, line.Current) ||
                                  inked(MemoryWin->MemoryImage, x, top, line.Current) ||
                                  inked(MemoryWin->MemoryImage, x + 1, top, line.Current)};
        if ((inked(expected, x, 0, line.Current) && !near[1]) ||
            (inked(MemoryWin->MemoryImage, x, top, line.Current) && !near[0]))
            ++unlike;
    }
    return unlike;
}

}  // namespace

class TestGuiMemory : public TGuiTest {
    Q_OBJECT
    // Ten rows of cells.
    void PrepareCase() override { MemoryWin->resize(MemoryWin->width(), 175); }

private slots:
    // The colours dialog's preview: one drawing in the given colours; the workspace keeps its
    // pair, and the next drawing is in that pair again.
    void previewDrawsInTheGivenColoursOnly() {
        Workspace->TextColor = 0xFFFFFF;
        Workspace->BackgroundColor = 0x000080;  // red in the low byte
        MemoryWin->PreviewColors(QColor(10, 20, 30), QColor(200, 100, 50));
        QCOMPARE(MemoryWin->MemoryImage.pixelColor(1, 1), QColor(200, 100, 50));
        QCOMPARE(Workspace->TextColor, 0xFFFFFFu);
        QCOMPARE(Workspace->BackgroundColor, 0x000080u);
        MemoryWin->RedrawMemory(false);
        QCOMPARE(MemoryWin->MemoryImage.pixelColor(1, 1), QColor(0x80, 0, 0));
    }

    void rowsAndScrollRange() {
        // The outer width is fixed; the client is what the frame leaves of it.
        QCOMPARE(cel::OuterGeometry(MemoryWin).width(), 208);
        QCOMPARE(MemoryWin->RowCount, 10);
        QCOMPARE(MemoryWin->Scroller->minimum(), 0);
        QCOMPARE(MemoryWin->Scroller->maximum(), 32759);
        QCOMPARE(MemoryWin->Scroller->singleStep(), 1);
        QCOMPARE(MemoryWin->Scroller->pageStep(), 256);
        // No program: background only.
        QVERIFY(MemoryWin->Rows.empty());
        QVERIFY(StartSuspended("+>+", "MenuTrace"));
        QCOMPARE(MemoryWin->Rows.size(), size_t(9));
        QCOMPARE(RowCell(0), 0);
        QCOMPARE(RowCell(8), 8);
        // At the bottom of the range the last row is the last cell.
        MemoryWin->Scroller->setValue(MemoryWin->Scroller->maximum());
        QCOMPARE(RowCell(8), 32767);
        MemoryWin->resize(MemoryWin->width(), 300);
        QCOMPARE(MemoryWin->RowCount, 18);
        QCOMPARE(MemoryWin->Scroller->maximum(), 32751);
        QCOMPARE(MemoryWin->HoverImage.size(), MemoryWin->size());
        // The end of the run leaves the background only.
        QVERIFY(Trigger("MenuReset"));
        QVERIFY(WaitReady());
        QVERIFY(MemoryWin->Rows.empty());
        QCOMPARE(Pixel(MemoryWin->HoverImage, 10, 12), QRgb(0));
    }

    void lineTextsOfBothWidths_data() {
        QTest::addColumn<bool>("wide");
        QTest::addColumn<uint32_t>("value");
        QTest::addColumn<QString>("line");
        QTest::newRow("8-bit 65") << false << 65u << QStringLiteral(" 0005    41    065  A ");
        QTest::newRow("16-bit 321") << true << 321u << QStringLiteral(" 0005  0141  00321  A ");
        QTest::newRow("16-bit 65") << true << 65u << QStringLiteral(" 0005  0041  00065  A ");
        QTest::newRow("8-bit 10 shows a space") << false << 10u << QStringLiteral(" 0005    0A    010    ");
    }
    void lineTextsOfBothWidths() {
        QFETCH(bool, wide);
        QFETCH(uint32_t, value);
        QFETCH(QString, line);
        QVERIFY(Trigger(wide ? "Menu16Bit" : "Menu8Bit"));
        QVERIFY(StartSuspended("+>+", "MenuTrace"));
        Workspace->Interpreter->SetCell(5, value);
        MemoryWin->RedrawMemory(false);
        QCOMPARE(RowText(5), line);
        QCOMPARE(PixelsUnlikeDrawnText(5), 0);
        QCOMPARE(PixelsUnlikeDrawnText(0), 0);
        // The current cell is drawn on the complement of the background, the others on it.
        QCOMPARE(CurrentRow(), 0);
        QCOMPARE(Pixel(MemoryWin->MemoryImage, 6, 8 + 8), QRgb(0xFFFFFF));
        QCOMPARE(Pixel(MemoryWin->MemoryImage, 6, 8 + 16 + 8), QRgb(0));
    }

    // The character column of a row is drawn from the row text, with a space for every code that
    // has no glyph: 127 to 159 like the codes below 32, in 16-bit mode by the low byte.
    void codesWithoutAGlyphAreDrawnAsSpaces_data() {
        QTest::addColumn<bool>("wide");
        QTest::addColumn<uint32_t>("value");
        QTest::addColumn<bool>("blank");
        QTest::newRow("65") << false << 65u << false;
        QTest::newRow("233, Latin-1") << false << 233u << false;
        QTest::newRow("10") << false << 10u << true;
        QTest::newRow("127") << false << 127u << true;
        QTest::newRow("128") << false << 128u << true;
        QTest::newRow("144") << false << 144u << true;
        QTest::newRow("159") << false << 159u << true;
        QTest::newRow("173, soft hyphen") << false << 173u << true;
        QTest::newRow("16 bit 0x0141") << true << 0x0141u << false;
        QTest::newRow("16 bit 0x0180") << true << 0x0180u << true;
        QTest::newRow("16 bit 0x7F7F") << true << 0x7F7Fu << true;
        QTest::newRow("16 bit 0x9F41") << true << 0x9F41u << false;
    }
    void codesWithoutAGlyphAreDrawnAsSpaces() {
        QFETCH(bool, wide);
        QFETCH(uint32_t, value);
        QFETCH(bool, blank);
        QVERIFY(Trigger(wide ? "Menu16Bit" : "Menu8Bit"));
        QVERIFY(StartSuspended("+>+", "MenuTrace"));
        Workspace->Interpreter->SetCell(5, value);
        MemoryWin->RedrawMemory(false);
        // The character is the 21st of the row's text (both widths), in the rows' font.
        QFont font(QStringLiteral("Courier New"), 10);
        font.setStyleHint(QFont::TypeWriter);
        const QFontMetrics metrics(font);
        const QRect column(4 + metrics.horizontalAdvance(QString(20, QLatin1Char(' '))), 8 + 16 * 5,
                           metrics.horizontalAdvance(QLatin1Char('W')), 16);
        int inked = 0;
        for (int y = column.top(); y <= column.bottom(); ++y)
            for (int x = column.left(); x <= column.right(); ++x)
                if (Pixel(MemoryWin->MemoryImage, x, y) != 0) ++inked;
        QCOMPARE(inked == 0, blank);
        // The digits before it are drawn either way.
        bool digits = false;
        for (int x = 4; x < column.left() && !digits; ++x)
            for (int y = column.top(); y <= column.bottom() && !digits; ++y)
                digits = Pixel(MemoryWin->MemoryImage, x, y) != 0;
        QVERIFY(digits);
    }

    void followsThePointerBothWays() {
        QVERIFY(StartSuspended(QByteArray(20, '>') + QByteArray(20, '<'), "MenuTrace"));
        QVERIFY(TraceTo(8));
        QCOMPARE(MemoryWin->FirstCell(), 0);
        QCOMPARE(CurrentRow(), 8);
        // Moving right past the last row puts the current cell on the last row.
        QVERIFY(TraceTo(9));
        QCOMPARE(MemoryWin->FirstCell(), 1);
        QCOMPARE(CurrentRow(), 8);
        QVERIFY(SameAsRedrawn());
        QVERIFY(TraceTo(20));
        QCOMPARE(MemoryWin->FirstCell(), 12);
        QCOMPARE(RowCell(8), 20);
        QVERIFY(SameAsRedrawn());
        // A scroll by the user holds until the next step.
        MemoryWin->Scroller->setValue(100);
        QCOMPARE(RowCell(0), 100);
        QCOMPARE(CurrentRow(), -1);
        QVERIFY(TraceTo(19));
        QCOMPARE(MemoryWin->FirstCell(), 19);
        QCOMPARE(CurrentRow(), 0);
        // Moving left past the top row puts the current cell on the top row.
        QVERIFY(TraceTo(11));
        QCOMPARE(MemoryWin->FirstCell(), 11);
        QCOMPARE(CurrentRow(), 0);
        QVERIFY(SameAsRedrawn());
        // A new run starts at the top.
        QVERIFY(Trigger("MenuReset"));
        QVERIFY(WaitReady());
        QVERIFY(Trigger("MenuTrace"));
        QVERIFY(WaitSuspended());
        QCOMPARE(MemoryWin->FirstCell(), 0);
    }

    // A watched run at full speed hands over more images and marks than a screen shows: they
    // are shown a frame at a time, and a pause leaves the last of each in place.
    void watchedRunAtSpeedPausesOnItsLastImageAndMark() {
        Workspace->WatchDelay = 0;
        QVERIFY(Trigger("MenuWatch"));
        EditWin->SetText("+[>+]");
        QVERIFY(Trigger("MenuDoRun"));
        QTRY_VERIFY(Workspace->Interpreter->GetDataPtr() > 30);
        QVERIFY(Trigger("MenuDebug"));
        QVERIFY(WaitSuspended());
        // "+" and "[" once, then ">", "+" and "]" a pass.
        const uint64_t executed = Workspace->Interpreter->GetExecuted();
        QCOMPARE(EditWin->SelStart(), executed < 2 ? static_cast<int>(executed) : 2 + static_cast<int>((executed - 2) % 3));
        QCOMPARE(EditWin->SelLength(), 1);
        const int dataPtr = static_cast<int>(Workspace->Interpreter->GetDataPtr());
        QCOMPARE(RowCell(static_cast<size_t>(CurrentRow())), dataPtr);
        QCOMPARE(MemoryWin->FirstCell(), dataPtr - MemoryWin->RowCount + 2);
        QVERIFY(SameAsRedrawn());
    }

    void hoverFrameFollowsTheMouse() {
        // Not paused: the mouse does nothing here.
        MoveMouse(30);
        QCOMPARE(MemoryWin->HoverRow, -1);
        QVERIFY(StartSuspended("+>+", "MenuTrace"));
        QCOMPARE(MemoryWin->cursor().shape(), Qt::PointingHandCursor);
        const struct {
            int Y, Row;
        } cases[] = {{0, 0}, {7, 0}, {23, 0}, {24, 1}, {39, 1}, {40, 2}, {170, 10}};
        for (const auto& c : cases) {
            MoveMouse(c.Y);
            QCOMPARE(MemoryWin->HoverRow, c.Row);
            // The outline of the row, in the complement of the background, on the shown image.
            const QRect frame = MemoryWin->HoverFrame(c.Row);
            QCOMPARE(frame, QRect(QPoint(4, 8 + 16 * c.Row), QPoint(MemoryWin->width() - 16 - 4 - 1, 8 + 16 * c.Row + 15)));
            QCOMPARE(Pixel(MemoryWin->HoverImage, frame.left(), frame.top()), QRgb(0xFFFFFF));
            if (frame.bottom() >= MemoryWin->height()) continue;  // the strip below the last row
            QCOMPARE(Pixel(MemoryWin->HoverImage, frame.right(), frame.bottom()), QRgb(0xFFFFFF));
            QCOMPARE(Pixel(MemoryWin->HoverImage, frame.right() + 1, frame.top()), QRgb(0));
            QCOMPARE(Pixel(MemoryWin->MemoryImage, frame.right(), frame.bottom()), QRgb(0));
        }
        // Moving over the editor's text removes the frame; the row is remembered.
        QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(EditWin->Editor->viewport(), &move);
        QVERIFY(MemoryWin->HoverCleared);
        QCOMPARE(MemoryWin->HoverImage, MemoryWin->MemoryImage);
        QCOMPARE(MemoryWin->HoverRow, 10);
        // Rows past the last cell have no frame.
        MemoryWin->Scroller->setValue(MemoryWin->Scroller->maximum());
        MoveMouse(8 + 16 * 8);
        QCOMPARE(MemoryWin->HoverRow, 8);
        MoveMouse(8 + 16 * 9);
        QCOMPARE(MemoryWin->HoverRow, -1);
        QCOMPARE(MemoryWin->HoverImage, MemoryWin->MemoryImage);
        // While a dialog is open the frame is neither drawn nor erased.
        Workspace->DialogOpen = true;
        MoveMouse(30);
        QCOMPARE(MemoryWin->HoverRow, -1);
        Workspace->DialogOpen = false;
    }

    void screenShowsTheHoverImage() {
        QVERIFY(StartSuspended("+>+", "MenuTrace"));
        MoveMouse(40);
        const QImage shown = MemoryWin->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRect rows(0, 0, MemoryWin->width() - 16, 175);
        QCOMPARE(shown.copy(rows), MemoryWin->HoverImage.copy(rows));
    }

    void clickOpensTheModifyDialogForTheRow() {
        QVERIFY(StartSuspended("+>+", "MenuTrace"));
        MemoryWin->Scroller->setValue(30);
        MoveMouse(8 + 16 + 3);
        QString caption;
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(20, 27), MemoryWin->mapToGlobal(QPointF(20, 27)),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QVERIFY(RunModal(ModifyWin, [&] { QCoreApplication::sendEvent(MemoryWin, &press); return true; },
                         [&] { caption = ModifyWin->windowTitle(); }));
        QCOMPARE(caption, QStringLiteral("Modify Memory [0x001F]"));
        QVERIFY(!Workspace->DialogOpen);
    }

    void rightClickSetsAWatchpointThatStopsTheRun() {
        // Offsets: 0 >, 1 +, 2 +, 3 <, 4 >, 5 -
        QVERIFY(StartSuspended(">++<>-", "MenuTrace"));
        MemoryWin->Scroller->setValue(0);
        // A right-click on the row of cell 1 offers its watchpoint items; Break on Change is chosen.
        const auto rightClick = [](int row, QAction* choose) {
            QTimer::singleShot(0, MemoryWin, [choose] {
                choose->trigger();
                MemoryWin->CellMenu->close();
            });
            const QPointF at(20, TMemoryWin::TopMargin + TMemoryWin::RowHeight * row + 4);
            QMouseEvent press(QEvent::MouseButtonPress, at, MemoryWin->mapToGlobal(at), Qt::RightButton,
                              Qt::RightButton, Qt::NoModifier);
            QCoreApplication::sendEvent(MemoryWin, &press);
        };
        rightClick(1, MemoryWin->BreakOnChangeItem);
        QCOMPARE(MemoryWin->MenuCell, 1);
        QCOMPARE(EditWin->Watchpoints().size(), size_t(1));
        QCOMPARE(EditWin->WatchKinds(1), uint8_t(cel::WatchChange));
        // The watched row is marked at its left edge, the others are not.
        const int rowTop = TMemoryWin::TopMargin + TMemoryWin::RowHeight;
        QCOMPARE(Pixel(MemoryWin->MemoryImage, 1, rowTop + 3), qRgb(220, 0, 0) & 0xFFFFFF);
        QVERIFY(Pixel(MemoryWin->MemoryImage, 1, rowTop - 8) != (qRgb(220, 0, 0) & 0xFFFFFF));
        // Run stops right after the command that changed the cell, and says so.
        QVERIFY(Trigger("MenuDoRun"));
        QVERIFY(WaitSuspended());
        QCOMPARE(Workspace->Interpreter->GetExecuted(), 2u);
        QCOMPARE(EditWin->SelStart(), 2);
        QCOMPARE(EditWin->PanelNote->text(), QStringLiteral("Watchpoint: cell 1 changed from 0 to 1"));
        // The Run menu's items are those of the current cell, which is the watched one.
        QVERIFY(celtest::Action("MenuBreakOnChange")->isChecked());
        QVERIFY(!celtest::Action("MenuBreakOnArrival")->isChecked());
        // From the Run menu: Change off, Arrival on; the pause comes after the > that comes back.
        QVERIFY(Trigger("MenuBreakOnChange"));
        QVERIFY(Trigger("MenuBreakOnArrival"));
        QCOMPARE(EditWin->WatchKinds(1), uint8_t(cel::WatchArrival));
        QVERIFY(Trigger("MenuDoRun"));
        QVERIFY(WaitSuspended());
        QCOMPARE(Workspace->Interpreter->GetExecuted(), 5u);
        QCOMPARE(EditWin->PanelNote->text(), QStringLiteral("Watchpoint: arrived at cell 1 (value 2)"));
        // The menu shows the kind set; choosing it again takes the watchpoint away.
        rightClick(1, MemoryWin->BreakOnArrivalItem);
        QVERIFY(EditWin->Watchpoints().empty());
        QVERIFY(!MemoryWin->BreakOnArrivalItem->isChecked());
        rightClick(3, MemoryWin->BreakOnChangeItem);
        QCOMPARE(EditWin->WatchKinds(3), uint8_t(cel::WatchChange));
        QVERIFY(Trigger("MenuClearWatchpoints"));
        QVERIFY(EditWin->Watchpoints().empty());
        QVERIFY(Trigger("MenuDoRun"));
        QVERIFY(WaitReady());
    }

    void wheelScrollsOnlyWhilePausedAndOverTheWindow() {
        const QPoint over = MemoryWin->frameGeometry().topLeft() + QPoint(50, 50);
        Wheel(MemoryWin, over, -120);
        QCOMPARE(MemoryWin->Scroller->value(), 0);
        QVERIFY(StartSuspended("+>+", "MenuTrace"));
        Wheel(MemoryWin, over, -120);
        QCOMPARE(MemoryWin->Scroller->value(), 5);
        Wheel(MemoryWin, over, -240);
        QCOMPARE(MemoryWin->Scroller->value(), 15);
        Wheel(MemoryWin, over, 120);
        QCOMPARE(MemoryWin->Scroller->value(), 10);
        // Fine wheels add up to notches.
        Wheel(MemoryWin, over, -60);
        QCOMPARE(MemoryWin->Scroller->value(), 10);
        Wheel(MemoryWin, over, -60);
        QCOMPARE(MemoryWin->Scroller->value(), 15);
        // Wheel events of the output window scroll the memory window when the pointer is over it,
        // and the output text stays where it was.
        OutputWin->Output->setPlainText(QString(QStringLiteral("line\n")).repeated(200));
        OutputWin->Output->verticalScrollBar()->setValue(0);
        Wheel(OutputWin->Output->viewport(), over, -120);
        QCOMPARE(MemoryWin->Scroller->value(), 20);
        QCOMPARE(OutputWin->Output->verticalScrollBar()->value(), 0);
        // Elsewhere the output window scrolls its own text.
        const QPoint overOutput = OutputWin->Output->viewport()->mapToGlobal(QPoint(10, 10));
        if (!MemoryWin->frameGeometry().adjusted(0, 0, 1, 1).contains(overOutput)) {
            Wheel(OutputWin->Output->viewport(), overOutput, -120);
            QCOMPARE(MemoryWin->Scroller->value(), 20);
            QVERIFY(OutputWin->Output->verticalScrollBar()->value() > 0);
        }
        Wheel(MainWin, over, 120);
        QCOMPARE(MemoryWin->Scroller->value(), 15);
        // The range ends clamp the position.
        MemoryWin->Scroller->setValue(2);
        Wheel(MemoryWin, over, 120);
        QCOMPARE(MemoryWin->Scroller->value(), 0);
    }
};

QTEST_MAIN(TestGuiMemory)
#include "test_gui_memory.moc"
