#include "cel_MemoryWin.h"

#include "cel_Dialogs.h"
#include "cel_Main.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

TMemoryWin* MemoryWin = nullptr;

namespace {

QColor ColorOf(uint32_t rgb) { return QColor(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF); }

}  // namespace

TMemoryWin::TMemoryWin(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::Window) {
    MemoryWin = this;
    setObjectName(QStringLiteral("MemoryWin"));
    setWindowTitle(QStringLiteral("Memory"));
    setFixedWidth(208);
    resize(208, 300);
    ScrollBar = new QScrollBar(Qt::Vertical, this);
    ScrollBar->setObjectName(QStringLiteral("ScrollBar"));
    connect(ScrollBar, &QScrollBar::valueChanged, this, &TMemoryWin::ScrollBarChange);
    // The window shows the main window's rows; moving it with the layout keeps it beside them.
    MainWin->MenuWinSizeClick();
}

int TMemoryWin::FirstCell() const { return ScrollBar->value(); }

void TMemoryWin::SetScroll(int position) {
    const int before = ScrollBar->value();
    ScrollBar->setValue(position);
    // A position the bar cannot take still ends in a repaint.
    if (ScrollBar->value() == before) ScrollBarChange(before);
}

void TMemoryWin::ScrollBarChange(int) {
    // A scroll, by the user or by following the pointer, repaints without following.
    if (MainWin->Running() && MainWin->Interpreter.HasEngine()) {
        MainWin->Interpreter.SetFollow(false);
        MainWin->Interpreter.PaintMemory();
    } else {
        DrawLines({});
    }
}

void TMemoryWin::resizeEvent(QResizeEvent*) {
    const int barWidth = ScrollBar->sizeHint().width();
    ScrollBar->setGeometry(width() - barWidth, 0, barWidth, height());
    RowCount = height() / 16;
    ScrollBar->setRange(0, std::max(0, 32769 - RowCount));
    ScrollBar->setPageStep(std::max(1, RowCount - 1));
    MemoryImage = QImage(size(), QImage::Format_RGB32);
    RedrawMemory(false);
}

void TMemoryWin::DrawLines(const std::vector<cel::TMemoryLine>& lines) {
    Lines = lines;
    if (MemoryImage.size() != size()) MemoryImage = QImage(size(), QImage::Format_RGB32);
    const QColor back = ColorOf(MainWin->BackgroundColor);
    const QColor text = ColorOf(MainWin->TextColor);
    const QColor highlight = ColorOf(~MainWin->BackgroundColor & 0xFFFFFF);
    MemoryImage.fill(back);
    QPainter painter(&MemoryImage);
    QFont font(QStringLiteral("Courier New"), 10);
    font.setStyleHint(QFont::TypeWriter);
    for (size_t row = 0; row < lines.size(); ++row) {
        QFont rowFont = font;
        rowFont.setBold(lines[row].Current);
        painter.setFont(rowFont);
        const QString line = QString::fromLatin1(lines[row].Text.data(), static_cast<int>(lines[row].Text.size()));
        const QRect box(4, 8 + 16 * static_cast<int>(row), QFontMetrics(rowFont).horizontalAdvance(line), 16);
        if (lines[row].Current) {
            painter.fillRect(box, highlight);
            painter.setPen(back);
        } else {
            painter.setPen(text);
        }
        painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, line);
    }
    HoverImage = MemoryImage;
    update();
}

void TMemoryWin::RedrawMemory(bool follow) {
    if (MainWin->Running() && MainWin->Interpreter.HasEngine()) {
        MainWin->Interpreter.SetFollow(follow);
        MainWin->Interpreter.PaintMemory();
    } else {
        DrawLines({});
    }
}

void TMemoryWin::ModifyCell(int) {
    // The modify dialog is a window of its own that follows; until then the command says so.
    cel::ShowInformation(this, QStringLiteral("The modify memory dialog is not available in this version."));
}

void TMemoryWin::ForwardWheel(QWheelEvent* event) {
    if (!rect().contains(mapFromGlobal(event->globalPosition().toPoint()))) return;
    wheelEvent(event);
}

void TMemoryWin::wheelEvent(QWheelEvent* event) {
    if (!MainWin->Paused()) return;
    ScrollBar->setValue(ScrollBar->value() + (event->angleDelta().y() < 0 ? 5 : -5));
    event->accept();
}

void TMemoryWin::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!HoverImage.isNull()) painter.drawImage(0, 0, HoverImage);
}

void TMemoryWin::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
    MainWin->MenuMemory->setChecked(false);
}

void TMemoryWin::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) MainWin->ActiveWorkWindow = this;
    QWidget::changeEvent(event);
}
