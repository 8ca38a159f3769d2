// TMemoryWin: the tape as a column of rows, one cell each. The engine's memory painter draws the
// rows into an off-screen image; this window adds the hover frame and shows the result in one
// piece, and it owns the scroll position, the mouse and the wheel.
#pragma once

#include "cel_EngineHost.h"
#include "cel_FramePacer.h"

#include <QFont>
#include <QColor>
#include <QImage>
#include <QRegion>
#include <QWidget>

#include <vector>

class QAction;
class QMenu;
class QScrollBar;
class QWheelEvent;

class TMemoryWin final : public QWidget {
    Q_OBJECT
public:
    explicit TMemoryWin(QWidget* parent = nullptr);

    static constexpr int ScrollBarWidth = 16;
    static constexpr int RowHeight = 16;
    static constexpr int TopMargin = 8;

    QScrollBar* Scroller = nullptr;  // position: the cell in the top row
    int RowCount = 0;                // client height div 16
    int HoverRow = -1;               // row under the pointer counted from the top, or -1
    bool HoverCleared = false;       // the frame was erased since the last mouse move
    bool ColorPreview = false;       // the colours dialog previews the editor's colours here
    QImage MemoryImage;              // the rows as last drawn
    QImage HoverImage;               // MemoryImage plus the hover frame: what the screen shows
    std::vector<cel::TMemoryLine> Rows;  // the rows last handed over, top first

    int FirstCell() const;
    void SetScroll(int position);
    // The engine's rows (none: an empty image) drawn into MemoryImage, then shown; while a run
    // is watched, at the next frame.
    void DrawLines(const std::vector<cel::TMemoryLine>& lines);
    // Brings the window up to date: from a paint it shows the last image; otherwise the engine
    // draws the rows anew at the current scroll position.
    void RedrawMemory(bool fromPaint);
    // Draws the rows anew in these colours instead of the workspace's pair (the colours dialog's
    // preview); the image shows them until it is drawn again.
    void PreviewColors(const QColor& text, const QColor& back);
    // Removes the hover frame; the other windows call it when the pointer moves over them.
    void EraseHover();
    // The modify dialog for a cell of the paused program.
    void ModifyCell(int address);
    // The wheel at a screen position: scrolls by 5 cells while paused when the position is over
    // this window. True when handled.
    bool FormMouseWheelDown(const QPoint& globalPos);
    bool FormMouseWheelUp(const QPoint& globalPos);
    // A wheel event of this or another window, notch by notch; accepted when it scrolled here.
    void ForwardWheel(QWheelEvent* event);
    // The rectangle of the hover frame of a row (both corners inside the outline).
    QRect HoverFrame(int row) const;
    // A right-click on a row of the paused program: the watchpoint items of its cell, checked
    // as the document's watchpoints have them.
    QMenu* CellMenu = nullptr;
    QAction* BreakOnChangeItem = nullptr;
    QAction* BreakOnArrivalItem = nullptr;
    int MenuCell = -1;  // the cell the menu was opened for
    void ShowCellMenu(int cell, const QPoint& globalPos);
    // The width of the mark left of a watched cell's row.
    static constexpr int WatchMarkWidth = 3;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void ScrollerChange(int position);
    // Rows are shown while a program exists that is stepped or watched.
    bool ShowsRows() const;
    // The colours of the drawing under way.
    QColor PenColor() const;
    QColor PaperColor() const;
    bool Previewing = false;
    QColor PreviewPen;
    QColor PreviewPaper;
    // The image of one row, in a scratch image valid until the next call: a watched step draws a
    // few rows, the others stay or move by a row as the view follows.
    const QImage& RowStrip(const cel::TMemoryLine& line);
    // Forgets what MemoryImage shows when the colours or the size change.
    void ResetStrips();
    int WheelRemainder = 0;  // wheel angle not yet amounting to a notch
    QFont RowFont{QStringLiteral("Courier New"), 10};
    QFont CurrentRowFont;
    QImage Scratch;  // the row being drawn
    // A character as drawn on its own: its coverage (white on black, GlyphMargin pixels left of
    // the pen position) and its advance. Independent of the colours, so kept for good.
    struct TGlyph {
        QImage Mask;
        qreal Advance = 0;
    };
    static constexpr int GlyphMargin = 3;
    const TGlyph& Glyph(uint8_t code, bool bold);
    TGlyph Glyphs[512];
    QRgb StripText = 0;            // the colours the strips were drawn in
    QRgb StripBack = 0;
    // What each row of MemoryImage shows; Unknown after a change that is not drawn row by row.
    struct TShownRow {
        enum { Unknown, Background, Plain, Current } Kind = Unknown;
        std::string Text;
        uint8_t Watch = 0;  // the watched kinds its mark shows; 0x80: disabled
    };
    std::vector<TShownRow> ShownRows;
    int ShownFirst = 0;  // the cell of the top row when MemoryImage was drawn
    // A watched run hands over thousands of images a second; they are drawn and shown at most
    // once a frame, the last one always.
    bool RowsPending = false;  // Rows are not drawn into MemoryImage yet
    int RowsFirst = 0;         // the cell of Rows' top row
    // Draws Rows into MemoryImage; the part of the image that changed.
    QRect DrawPendingRows();
    // True when a frame may be shown now; otherwise the frame timer is set for the next one.
    bool FrameDue();
    void ShowChanged(const QRect& changed);
    // Moves the rows of MemoryImage by shift rows up (negative: down); marks them changed.
    void ShiftRows(int shift, QRect& changed);
    // The mark of a watched cell (its kinds, 0x80 while disabled; 0: none) and its drawing.
    uint8_t WatchMark(uint32_t cell) const;
    void DrawWatchMark(uint8_t watch, int top, int rows);
    TFramePacer Frames{15};
    QRegion PendingRegion;
};

extern TMemoryWin* MemoryWin;
