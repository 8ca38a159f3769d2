// TBufferSizeWin: the output buffer size dialog.
#pragma once

#include <QDialog>

#include <optional>

class QLabel;
class QSlider;

class TBufferSizeWin final : public QDialog {
    Q_OBJECT
public:
    explicit TBufferSizeWin(QWidget* parent = nullptr);

    // Shows the dialog centred, the track bar at current (1..255); the size chosen on Ok, none
    // when the dialog was cancelled.
    std::optional<int> Ask(int current);

private:
    QSlider* Tracker = nullptr;  // 1..255
    QLabel* SizeLbl = nullptr;   // the track bar's position in decimal
};

extern TBufferSizeWin* BufferSizeWin;
