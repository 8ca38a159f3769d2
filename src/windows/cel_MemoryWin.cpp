#include "cel_MemoryWin.h"

#include "cel_EditWin.h"
#include "cel_Interpreter.h"
#include "cel_Dialogs.h"
#include "cel_ModifyWin.h"
#include "cel_Workspace.h"

#include <Qsci/qsciscintilla.h>

#include <QCloseEvent>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>

TMemoryWin* MemoryWin = nullptr;

namespace {

// The per-channel complement: the current cell's background and the hover frame.
QColor ComplementOf(const QColor& color) { return QColor(255 - color.red(), 255 - color.green(), 255 - color.blue()); }

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
    CellMenu = new QMenu(this);
    CellMenu->setObjectName(QStringLiteral("CellMenu"));
    // The modify dialog a click with the other buttons opens stays one item away.
    QAction* modify = CellMenu->addAction(QStringLiteral("&Modify ..."));
    modify->setObjectName(QStringLiteral("CellModify"));
    connect(modify, &QAction::triggered, this, [this] {
        if (MenuCell >= 0 && Workspace->Paused()) ModifyCell(MenuCell);
    });
    CellMenu->addSeparator();
    BreakOnChangeItem = CellMenu->addAction(QStringLiteral("Break on &Change"));
    BreakOnChangeItem->setObjectName(QStringLiteral("CellBreakOnChange"));
    BreakOnArrivalItem = CellMenu->addAction(QStringLiteral("Break on &Arrival"));
    BreakOnArrivalItem->setObjectName(QStringLiteral("CellBreakOnArrival"));
    for (auto [item, kind] : {std::pair{BreakOnChangeItem, cel::WatchChange}, std::pair{BreakOnArrivalItem, cel::WatchArrival}}) {
        item->setCheckable(true);
        connect(item, &QAction::triggered, this, [this, kind = kind](bool on) {
            if (MenuCell >= 0 && EditWin) EditWin->SetWatchKind(uint32_t(MenuCell), kind, on);
        });
    }
    RowFont.setStyleHint(QFont::TypeWriter);
    CurrentRowFont = RowFont;
    CurrentRowFont.setBold(true);
    connect(&Frames.Timer, &QTimer::timeout, this, [this] {
        PendingRegion += DrawPendingRows();
        Scroller->setUpdatesEnabled(true);
        update(PendingRegion);
        PendingRegion = QRegion();
        Frames.Done();
    });
    // The last of the work windows arranges the whole set.
    Workspace->Main->ToggleWindowSize();
}

QColor TMemoryWin::PenColor() const { return Previewing ? PreviewPen : cel::ColorFromStored(Workspace->TextColor); }

QColor TMemoryWin::PaperColor() const { return Previewing ? PreviewPaper : cel::ColorFromStored(Workspace->BackgroundColor); }

void TMemoryWin::PreviewColors(const QColor& text, const QColor& back) {
    PreviewPen = text;
    PreviewPaper = back;
    Previewing = true;
    RedrawMemory(false);
    Previewing = false;
}

int TMemoryWin::FirstCell() const { return Scroller->value(); }

void TMemoryWin::SetScroll(int position) {
    const int before = Scroller->value();
    Scroller->setValue(position);
    // A position the bar cannot take still ends in a repaint.
    if (Scroller->value() == before) ScrollerChange(before);
}

bool TMemoryWin::ShowsRows() const {
    const cel::TBFInterpreter& interpreter = *Workspace->Interpreter;
    return Workspace->Running() && interpreter.HasEngine() && (interpreter.GetStepMode() || interpreter.GetWatch());
}

void TMemoryWin::ScrollerChange(int) { RedrawMemory(false); }

void TMemoryWin::RedrawMemory(bool fromPaint) {
    if (ShowsRows()) {
        if (fromPaint) {
            update();
            return;
        }
        // The user's scroll position holds: the engine draws without following the pointer.
        Workspace->Interpreter->SetFollow(false);
        Workspace->Interpreter->PaintMemory();
        return;
    }
    // No rows while no program exists, and while one runs at full speed or to the cursor.
    Rows.clear();
    RowsPending = false;
    ShownRows.clear();
    MemoryImage.fill(PaperColor());
    HoverImage = MemoryImage;
    update();
}

void TMemoryWin::resizeEvent(QResizeEvent*) {
    Scroller->setGeometry(width() - ScrollBarWidth, 0, ScrollBarWidth, height());
    MemoryImage = QImage(size(), QImage::Format_RGB32);
    MemoryImage.fill(PaperColor());
    ShownRows.clear();
    HoverImage = MemoryImage;
    RowCount = height() / RowHeight;
    Scroller->setRange(0, TapeCells + 1 - RowCount);
    // While the colours dialog is open the new image shows its colours.
    if (ColorPreview && EditWin) PreviewColors(EditWin->Editor->color(), EditWin->Editor->paper());
    else if (Workspace->Running() && Workspace->Interpreter->HasEngine()) Workspace->Interpreter->PaintMemory();
    else update();
}

void TMemoryWin::ResetStrips() {
    ShownRows.clear();
    StripText = PenColor().rgb();
    StripBack = PaperColor().rgb();
}

const TMemoryWin::TGlyph& TMemoryWin::Glyph(uint8_t code, bool bold) {
    TGlyph& glyph = Glyphs[code | (bold ? 0x100 : 0)];
    if (!glyph.Mask.isNull()) return glyph;
    const QFont& font = bold ? CurrentRowFont : RowFont;
    const QChar c(cel::HasGlyph(code) ? code : ' ');
    // Measured on an image, as the rows are drawn: the font may resolve otherwise for the screen.
    static const QImage probe(1, 1, QImage::Format_RGB32);
    glyph.Advance = QFontMetricsF(font, &probe).horizontalAdvance(c);
    // White on black gives the coverage; the margins take glyphs that reach past their advance.
    QImage ink(GlyphMargin * 2 + static_cast<int>(std::ceil(glyph.Advance)), RowHeight, QImage::Format_RGB32);
    ink.fill(Qt::black);
    QPainter painter(&ink);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(GlyphMargin, 0, glyph.Advance, RowHeight), Qt::AlignLeft | Qt::AlignVCenter, QString(c));
    painter.end();
    glyph.Mask = ink.convertToFormat(QImage::Format_Grayscale8);
    return glyph;
}

const QImage& TMemoryWin::RowStrip(const cel::TMemoryLine& line) {
    const QColor back = QColor(StripBack);
    if (Scratch.width() != width()) Scratch = QImage(width(), RowHeight, QImage::Format_RGB32);
    QImage& strip = Scratch;
    strip.fill(back);
    // The text is put together from glyphs drawn once each, at the positions a drawn string
    // gives them; codes without a glyph show as spaces, as the codes below 32 do.
    qreal advance = 0;
    for (const char c : line.Text) advance += Glyph(static_cast<uint8_t>(c), line.Current).Advance;
    const QRect box(4, 0, static_cast<int>(advance), RowHeight);
    QColor ink = QColor(StripText);
    if (line.Current) {
        // The current cell stands out like selected text: background colour on the selection
        // colour, which is the complement of the background.
        strip.fill(back);
        QPainter painter(&strip);
        painter.fillRect(box, ComplementOf(QColor(StripBack)));
        painter.end();
        ink = back;
    }
    const int inkRgb[3] = {ink.red(), ink.green(), ink.blue()};
    const auto blend = [&inkRgb](QRgb d, int a) {
        const int from[3] = {qRed(d), qGreen(d), qBlue(d)};
        int out[3];
        for (int k = 0; k < 3; ++k) out[k] = from[k] + ((inkRgb[k] - from[k]) * a + 127) / 255;
        return qRgb(out[0], out[1], out[2]);
    };
    // On the plain paper of the row a pixel depends on its coverage alone; only where two glyphs
    // meet is it blended with what lies there.
    const QRgb paper = line.Current ? ComplementOf(QColor(StripBack)).rgb() : QColor(StripBack).rgb();
    QRgb onPaper[256];
    for (int a = 0; a < 256; ++a) onPaper[a] = blend(paper, a);
    qreal x = box.left();
    const int stripWidth = strip.width();
    uchar* const bits = strip.bits();
    const qsizetype stride = strip.bytesPerLine();
    for (const char c : line.Text) {
        const TGlyph& glyph = Glyph(static_cast<uint8_t>(c), line.Current);
        const int left = qRound(x) - GlyphMargin;
        x += glyph.Advance;
        // The columns of the glyph that fall inside the strip.
        const int first = std::max(0, -left);
        const int last = std::min(glyph.Mask.width(), stripWidth - left);
        for (int y = 0; y < RowHeight; ++y) {
            const uchar* coverage = glyph.Mask.constScanLine(y);
            QRgb* pixels = reinterpret_cast<QRgb*>(bits + y * stride) + left;
            for (int i = first; i < last; ++i) {
                const int a = coverage[i];
                if (a == 0) continue;
                pixels[i] = pixels[i] == paper ? onPaper[a] : blend(pixels[i], a);
            }
        }
    }
    return strip;
}

void TMemoryWin::DrawLines(const std::vector<cel::TMemoryLine>& lines) {
    Rows = lines;
    RowsFirst = FirstCell();
    RowsPending = true;
    // A watched run hands over thousands of images a second: their pixels are made at most once
    // a frame, from the last of them. Otherwise (paused, stepped) they are made at once.
    const cel::TBFInterpreter& interpreter = *Workspace->Interpreter;
    const bool watched = Workspace->Running() && interpreter.HasEngine() && interpreter.GetWatch() &&
                         !interpreter.GetStepMode();
    if (watched && !FrameDue()) return;
    ShowChanged(DrawPendingRows());
}

QRect TMemoryWin::DrawPendingRows() {
    if (!RowsPending) return {};
    RowsPending = false;
    const std::vector<cel::TMemoryLine>& lines = Rows;
    // A hover frame on the screen goes with this drawing wherever it was.
    QRect changed = HoverImage.cacheKey() != MemoryImage.cacheKey() ? rect() : QRect();
    // MemoryImage alone holds its pixels while they change: no copy of the whole image.
    HoverImage = QImage();
    if (MemoryImage.size() != size()) {
        MemoryImage = QImage(size(), QImage::Format_RGB32);
        ShownRows.clear();
    }
    if (StripText != PenColor().rgb() || StripBack != PaperColor().rgb() ||
        (!Scratch.isNull() && Scratch.width() != width()))
        ResetStrips();
    const int bands = std::max((height() - TopMargin + RowHeight - 1) / RowHeight, 0);
    if (ShownRows.size() != static_cast<size_t>(bands)) {
        // Unknown content: start from the background everywhere.
        MemoryImage.fill(QColor(StripBack));
        ShownRows.assign(static_cast<size_t>(bands), TShownRow());
        changed = rect();
    } else {
        ShiftRows(RowsFirst - ShownFirst, changed);
    }
    ShownFirst = RowsFirst;
    // Only the rows that show something else than before are drawn.
    const qsizetype lineBytes = MemoryImage.bytesPerLine();
    for (size_t row = 0; row < ShownRows.size(); ++row) {
        TShownRow& shown = ShownRows[row];
        const cel::TMemoryLine* line = row < lines.size() ? &lines[row] : nullptr;
        const uint8_t watch = line ? WatchMark(uint32_t(RowsFirst) + uint32_t(row)) : 0;
        if (line ? shown.Kind == (line->Current ? TShownRow::Current : TShownRow::Plain) && shown.Text == line->Text &&
                       shown.Watch == watch
                 : shown.Kind == TShownRow::Background)
            continue;
        const int top = TopMargin + RowHeight * static_cast<int>(row);
        const int rowsHere = std::min(RowHeight, MemoryImage.height() - top);
        if (!line) {
            const QRgb back = QColor(StripBack).rgb();
            for (int y = 0; y < rowsHere; ++y) {
                QRgb* pixels = reinterpret_cast<QRgb*>(MemoryImage.scanLine(top + y));
                std::fill(pixels, pixels + MemoryImage.width(), back);
            }
            shown.Kind = TShownRow::Background;
        } else {
            const QImage& strip = RowStrip(*line);
            for (int y = 0; y < rowsHere; ++y)
                std::memcpy(MemoryImage.scanLine(top + y), strip.constScanLine(y), static_cast<size_t>(lineBytes));
            shown.Kind = line->Current ? TShownRow::Current : TShownRow::Plain;
            shown.Text = line->Text;
            shown.Watch = watch;
            if (watch) DrawWatchMark(watch, top, rowsHere);
        }
        changed |= QRect(0, top, width(), rowsHere);
    }
    HoverImage = MemoryImage;
    return changed;
}

// A watched cell's row has a bar at its left edge: red for a change, blue for an arrival (the
// upper half red and the lower blue for both), grey while disabled.
uint8_t TMemoryWin::WatchMark(uint32_t cell) const {
    if (!EditWin) return 0;
    const uint8_t kinds = EditWin->WatchKinds(cell);
    if (!kinds) return 0;
    return EditWin->WatchKinds(cell, true) ? kinds : uint8_t(kinds | 0x80);
}

void TMemoryWin::DrawWatchMark(uint8_t watch, int top, int rows) {
    const QRgb change = watch & 0x80 ? qRgb(160, 160, 160) : qRgb(220, 0, 0);
    const QRgb arrival = watch & 0x80 ? qRgb(160, 160, 160) : qRgb(0, 90, 255);
    for (int y = 0; y < rows; ++y) {
        const bool upper = y < RowHeight / 2;
        QRgb color = change;
        if (!(watch & cel::WatchChange) || ((watch & cel::WatchArrival) && !upper)) color = arrival;
        QRgb* pixels = reinterpret_cast<QRgb*>(MemoryImage.scanLine(top + y));
        std::fill(pixels, pixels + WatchMarkWidth, color);
    }
}

void TMemoryWin::ShiftRows(int shift, QRect& changed) {
    // A view that follows the pointer moves by a row or a few: the rows still shown move with one
    // block move of the image instead of being drawn again.
    const int bands = static_cast<int>(ShownRows.size());
    if (shift == 0 || std::abs(shift) >= bands) return;
    // Only whole bands move; a clipped last band is drawn again.
    const int whole = std::min(bands, (MemoryImage.height() - TopMargin) / RowHeight);
    const int moved = whole - std::abs(shift);
    if (moved <= 0) return;
    const int fromTop = TopMargin + RowHeight * std::max(shift, 0);
    const int toTop = TopMargin + RowHeight * std::max(-shift, 0);
    std::memmove(MemoryImage.scanLine(toTop), MemoryImage.constScanLine(fromTop),
                 static_cast<size_t>(MemoryImage.bytesPerLine()) * static_cast<size_t>(RowHeight * moved));
    // Row r now shows what row r + shift showed; the rows left behind are unknown.
    std::vector<TShownRow> shifted(ShownRows.size());
    for (int row = 0; row < whole; ++row) {
        const int from = row + shift;
        if (from >= 0 && from < whole) shifted[static_cast<size_t>(row)] = std::move(ShownRows[static_cast<size_t>(from)]);
    }
    ShownRows.swap(shifted);
    changed |= QRect(0, toTop, width(), RowHeight * moved);
}

bool TMemoryWin::FrameDue() {
    if (Frames.Due()) return true;
    // The scroll bar follows the view at the same pace.
    Scroller->setUpdatesEnabled(false);
    return false;
}

void TMemoryWin::ShowChanged(const QRect& changed) {
    if (changed.isEmpty()) return;
    PendingRegion += changed;
    if (!FrameDue()) return;
    update(PendingRegion);
    PendingRegion = QRegion();
    Frames.Done();
}

QRect TMemoryWin::HoverFrame(int row) const {
    const int top = TopMargin + RowHeight * row;
    const int right = width() - ScrollBarWidth - 4;
    return QRect(QPoint(4, top), QPoint(right - 1, top + RowHeight - 1));
}

void TMemoryWin::mouseMoveEvent(QMouseEvent* event) {
    if (!Workspace->Paused() || Workspace->DialogOpen) return;
    HoverCleared = false;
    // Truncated toward zero: the margin above the first row counts as row 0.
    const int row = (static_cast<int>(event->position().y()) - TopMargin) / RowHeight;
    HoverRow = row;
    if (Scroller->value() + row < TapeCells) {
        HoverImage = MemoryImage;
        QPainter painter(&HoverImage);
        painter.setPen(ComplementOf(PaperColor()));
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
    if (HoverCleared || !Workspace->Paused() || Workspace->DialogOpen) return;
    HoverCleared = true;
    HoverImage = MemoryImage;
    update();
}

void TMemoryWin::leaveEvent(QEvent*) { EraseHover(); }

void TMemoryWin::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        const int row = (static_cast<int>(event->position().y()) - TopMargin) / RowHeight;
        if (Workspace->Paused() && !Workspace->DialogOpen && row >= 0 && Scroller->value() + row < TapeCells)
            ShowCellMenu(Scroller->value() + row, event->globalPosition().toPoint());
        return;
    }
    if (Workspace->Paused() && HoverRow >= 0) ModifyCell(Scroller->value() + HoverRow);
}

void TMemoryWin::ShowCellMenu(int cell, const QPoint& globalPos) {
    if (!EditWin) return;
    MenuCell = cell;
    const uint8_t kinds = EditWin->WatchKinds(uint32_t(cell), true);
    BreakOnChangeItem->setChecked(kinds & cel::WatchChange);
    BreakOnArrivalItem->setChecked(kinds & cel::WatchArrival);
    CellMenu->exec(globalPos);
}

void TMemoryWin::ModifyCell(int address) {
    const TModalScope scope(TModalScope::Dialog);
    const auto cell = static_cast<uint16_t>(address);
    if (const auto value = ModifyWin->Ask(address, Workspace->Interpreter->GetCell(cell))) {
        Workspace->Interpreter->SetCell(cell, static_cast<uint32_t>(*value));
        Workspace->Interpreter->PaintMemory();
    }
}

bool TMemoryWin::FormMouseWheelDown(const QPoint& globalPos) {
    // The window's outer corner with the client area's size, both bounds included.
    const QRect area(frameGeometry().topLeft(), size() + QSize(1, 1));
    if (!Workspace->Paused() || !area.contains(globalPos)) return false;
    Scroller->setValue(Scroller->value() + WheelStep);
    return true;
}

bool TMemoryWin::FormMouseWheelUp(const QPoint& globalPos) {
    // Upwards the whole outer rectangle counts, both bounds included.
    const QRect area(frameGeometry().topLeft(), frameGeometry().size() + QSize(1, 1));
    if (!Workspace->Paused() || !area.contains(globalPos)) return false;
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
    Workspace->Main->ViewClosed(TMainFace::TView::Memory);
}

void TMemoryWin::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) Workspace->ActiveWorkWindow = this;
    QWidget::changeEvent(event);
}
