// TSpeedWin: the watch speed dialog. The user picks a clock frequency for watching a program
// run; the main window keeps it as the delay between two watched steps (WatchDelay).
#pragma once

#include <QDialog>

class QPushButton;
class QRadioButton;

class TSpeedWin final : public QDialog {
    Q_OBJECT
public:
    explicit TSpeedWin(QWidget* parent = nullptr);

    static constexpr int SpeedCount = 10;
    QRadioButton* Radios[SpeedCount] = {};  // "Unlimited", then 100 Hz down to 1 Hz
    QPushButton* BtnOk = nullptr;
    QPushButton* BtnCancel = nullptr;

    // Checks the button whose delay is WatchDelay; any other delay leaves the buttons as they are.
    void LoadSpeed();
    // WatchDelay := the delay of the checked button; unchanged when none is checked.
    void StoreSpeed();

public slots:
    void BtnOkClick();
    // Every Cancel route (button, Esc, close box) puts the buttons back as LoadSpeed left them,
    // so a dropped pick is not shown, nor stored by a later Ok.
    void done(int result) override;

private:
    bool Loaded[SpeedCount] = {};  // the checked states after the last LoadSpeed
};

extern TSpeedWin* SpeedWin;
