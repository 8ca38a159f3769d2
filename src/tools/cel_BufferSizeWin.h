// TBufferSizeWin: the output buffer size dialog. The main window fills the track bar and the
// label from OutputBufferSize before the show and takes the track bar's position on Ok.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QSlider;

class TBufferSizeWin final : public QDialog {
    Q_OBJECT
public:
    explicit TBufferSizeWin(QWidget* parent = nullptr);
    QSlider* Tracker = nullptr;  // 1..255
    QLabel* SizeLbl = nullptr;   // the track bar's position in decimal
    QPushButton* Ok = nullptr;
    QPushButton* Cancel = nullptr;

public slots:
    void TrackerChange();
};

extern TBufferSizeWin* BufferSizeWin;
