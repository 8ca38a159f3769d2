// TSpeedWin: the watch speed dialog.
#pragma once

#include <QDialog>

class QPushButton;
class TSpeedWin final : public QDialog {
    Q_OBJECT
public:
    explicit TSpeedWin(QWidget* parent = nullptr);
    QPushButton* BtnOk = nullptr;
    void LoadSpeed();
    void StoreSpeed();
};

extern TSpeedWin* SpeedWin;
