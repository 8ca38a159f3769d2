#include "cel_MemoryWin.h"

#include "cel_ColorWin.h"
#include "cel_Dialogs.h"
#include "cel_Main.h"
#include "cel_ModifyWin.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

TMemoryWin* MemoryWin = nullptr;

namespace {

// The per-channel complement: the current cell's background and the hover frame.
QColor ComplementOf(uint32_t rgb) { return cel::ColorFromStored(~rgb & 0xFFFFFF); }

constexpr int TapeCells = static_cast<int>(cel::TapeSize);
constexpr int WheelStep = 5;

}  // namespace

TMemoryWin::TMemoryWin(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::Window) {
    MemoryWin = this;
    setObjectName(QStringLiteral("MemoryWin"));
    setWindowTitle(QStringLiteral("Memory"));
    setFixedWidth(208);
    setMinimumHeight(100);
    resize(208, 175);
    // Every pixel comes from the off-screen image: nothing is erased in between, so nothing
    // flickers however often the rows are drawn.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    Scroller = new QScrollBar(Qt::Vertical, this);
    Scroller->setObjectName(QStringLiteral("Scroller"));
    Scroller->setSingleStep(1);
    Scroller->setPageStep(256);
    Scroller->setCursor(Qt::ArrowCursor);
    connect(Scroller, &QScrollBar::valueChanged, this, &TMemoryWin::ScrollerChange);
    // The last of the work windows arranges the whole set.
    MainWin->MenuWinSizeClick();
}

int TMemoryWin::FirstCell() const { return Scroller->value(); }

void TMemoryWin::SetScroll(int position) {
    const int before = Scroller->value();
    Scroller->setValue(position);
    // A position the bar cannot take still ends in a repaint.
    if (Scroller->value() == before) ScrollerChange(before);
}

bool TMemoryWin::ShowsRows() const {
    const cel::TBFInterpreter& interpreter = MainWin->Interpreter;
    return MainWin->Running() && interpreter.HasEngine() && (interpreter.GetStepMode() || interpreter.GetWatch());
}

void TMemoryWin::ScrollerChange(int) { RedrawMemory(false); }

void TMemoryWin::RedrawMemory(bool fromPaint) {
    if (ShowsRows()) {
        if (fromPaint) {
            update();
            return;
        }
        // The user's scroll position holds: the engine draws without following the pointer.
        MainWin->Interpreter.SetFollow(false);
        MainWin->Interpreter.PaintMemory();
        return;
    }
    // No rows while no program exists, and while one runs at full speed or to the cursor.
    Rows.clear();
    MemoryImage.fill(cel::ColorFromStored(MainWin->BackgroundColor));
    HoverImage = MemoryImage;
    update();
}

void TMemoryWin::resizeEvent(QResizeEvent*) {
    Scroller->setGeometry(width() - ScrollBarWidth, 0, ScrollBarWidth, height());
    MemoryImage = QImage(size(), QImage::Format_RGB32);
    MemoryImage.fill(cel::ColorFromStored(MainWin->BackgroundColor));
    HoverImage = MemoryImage;
    RowCount = height() / RowHeight;
    Scroller->setRange(0, TapeCells + 1 - RowCount);
    // While the colours dialog is open the new image shows its colours.
    if (ColorPreview && ColorWin) ColorWin->PreviewMemoryColors();
    else if (MainWin->Running() && MainWin->Interpreter.HasEngine()) MainWin->Interpreter.PaintMemory();
    else update();
}

void TMemoryWin::DrawLines(const std::vector<cel::TMemoryLine>& lines) {
    Rows = lines;
    if (MemoryImage.size() != size()) MemoryImage = QImage(size(), QImage::Format_RGB32);
    const QColor back = cel::ColorFromStored(MainWin->BackgroundColor);
    const QColor text = cel::ColorFromStored(MainWin->TextColor);
    MemoryImage.fill(back);
    QPainter painter(&MemoryImage);
    const QFont font = cel::FixedFont(10);
    QFont bold = font;
    bold.setBold(true);
    for (size_t row = 0; row < lines.size(); ++row) {
        const cel::TMemoryLine& line = lines[row];
        painter.setFont(line.Current ? bold : font);
        QString content = QString::fromLatin1(line.Text.data(), static_cast<qsizetype>(line.Text.size()));
        // A code without a glyph would be drawn as an empty box: it shows as a space, as the
        // codes below 32 already do.
        for (QChar& c : content)
            if (!cel::HasGlyph(static_cast<uint8_t>(c.unicode()))) c = QLatin1Char(' ');
        const QRect box(4, TopMargin + RowHeight * static_cast<int>(row),
                        painter.fontMetrics().horizontalAdvance(content), RowHeight);
        if (line.Current) {
            // The current cell stands out like selected text: background colour on the
            // selection colour, which is the complement of the background.
            painter.fillRect(box, ComplementOf(MainWin->BackgroundColor));
            painter.setPen(back);
        } else {
            painter.setPen(text);
        }
        painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, content);
    }
    painter.end();
    HoverImage = MemoryImage;
    update();
}

QRect TMemoryWin::HoverFrame(int row) const {
    const int top = TopMargin + RowHeight * row;
    const int right = width() - ScrollBarWidth - 4;
    return QRect(QPoint(4, top), QPoint(right - 1, top + RowHeight - 1));
}

void TMemoryWin::mouseMoveEvent(QMouseEvent* event) {
    if (!MainWin->Paused() || DialogOpen) return;
    HoverCleared = false;
    // Truncated toward zero: the margin above the first row counts as row 0.
    const int row = (static_cast<int>(event->position().y()) - TopMargin) / RowHeight;
    HoverRow = row;
    if (Scroller->value() + row < TapeCells) {
        HoverImage = MemoryImage;
        QPainter painter(&HoverImage);
        painter.setPen(ComplementOf(MainWin->BackgroundColor));
        painter.setBrush(Qt::NoBrush);
        const QRect frame = HoverFrame(row);
        // A stroked rectangle covers one pixel more than its size in each direction.
        painter.drawRect(frame.adjusted(0, 0, -1, -1));
        painter.end();
        update();
    } else {
        HoverRow = -1;
        EraseHover();
    }
}

void TMemoryWin::EraseHover() {
    if (HoverCleared || !MainWin->Paused() || DialogOpen) return;
    HoverCleared = true;
    HoverImage = MemoryImage;
    update();
}

void TMemoryWin::leaveEvent(QEvent*) { EraseHover(); }

void TMemoryWin::mousePressEvent(QMouseEvent*) {
    if (MainWin->Paused() && HoverRow >= 0) ModifyCell(Scroller->value() + HoverRow);
}

void TMemoryWin::ModifyCell(int address) {
    const TModalScope scope(TModalScope::Dialog);
    const auto cell = static_cast<uint16_t>(address);
    if (const auto value = ModifyWin->Ask(address, MainWin->Interpreter.GetCell(cell))) {
        MainWin->Interpreter.SetCell(cell, static_cast<uint32_t>(*value));
        MainWin->Interpreter.PaintMemory();
    }
}

bool TMemoryWin::FormMouseWheelDown(const QPoint& globalPos) {
    // The window's outer corner with the client area's size, both bounds included.
    const QRect area(frameGeometry().topLeft(), size() + QSize(1, 1));
    if (!MainWin->Paused() || !area.contains(globalPos)) return false;
    Scroller->setValue(Scroller->value() + WheelStep);
    return true;
}

bool TMemoryWin::FormMouseWheelUp(const QPoint& globalPos) {
    // Upwards the whole outer rectangle counts, both bounds included.
    const QRect area(frameGeometry().topLeft(), frameGeometry().size() + QSize(1, 1));
    if (!MainWin->Paused() || !area.contains(globalPos)) return false;
    Scroller->setValue(Scroller->value() - WheelStep);
    return true;
}

void TMemoryWin::ForwardWheel(QWheelEvent* event) {
    // A notch is 120; finer wheels and touchpads add up to notches.
    WheelRemainder += event->angleDelta().y();
    const QPoint at = event->globalPosition().toPoint();
    bool handled = false;
    for (; WheelRemainder <= -120; WheelRemainder += 120) handled = FormMouseWheelDown(at) || handled;
    for (; WheelRemainder >= 120; WheelRemainder -= 120) handled = FormMouseWheelUp(at) || handled;
    if (handled) event->accept();
    else event->ignore();
}

void TMemoryWin::wheelEvent(QWheelEvent* event) { ForwardWheel(event); }

void TMemoryWin::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, HoverImage);
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
