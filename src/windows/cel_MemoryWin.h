// TMemoryWin: the cells around the data pointer, drawn by the engine's memory painter into an
// off-screen image and shown in one piece.
#pragma once

#include "cel_EngineHost.h"

#include <QImage>
#include <QWidget>

#include <vector>

class QScrollBar;
class QWheelEvent;

class TMemoryWin final : public QWidget {
    Q_OBJECT
public:
    explicit TMemoryWin(QWidget* parent = nullptr);

    QScrollBar* ScrollBar = nullptr;
    int RowCount = 0;           // client height div 16
    bool DialogOpen = false;    // a modal dialog of the main window is showing
    bool ColorPreview = false;  // the colours dialog previews its colours here
    QImage MemoryImage;
    QImage HoverImage;

    int FirstCell() const;
    void SetScroll(int position);
    // Draws the rows the engine formatted (none: an empty image) and shows the result.
    void DrawLines(const std::vector<cel::TMemoryLine>& lines);
    // Repaints through the engine when a program exists, else shows an empty image.
    void RedrawMemory(bool follow);
    // Opens the modify dialog for a cell of the paused program.
    void ModifyCell(int index);
    // A wheel event forwarded from another window; acts only over this window while paused.
    void ForwardWheel(QWheelEvent* event);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void ScrollBarChange(int position);
    std::vector<cel::TMemoryLine> Lines;
};

extern TMemoryWin* MemoryWin;
