// TBufferSizeWin: the output buffer size dialog.
#pragma once

#include <QDialog>

class QLabel;
class QSlider;
class TBufferSizeWin final : public QDialog {
    Q_OBJECT
public:
    explicit TBufferSizeWin(QWidget* parent = nullptr);
    QSlider* Tracker = nullptr;
    QLabel* SizeLbl = nullptr;
};

extern TBufferSizeWin* BufferSizeWin;
