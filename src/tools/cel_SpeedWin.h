// TSpeedWin: the watch speed dialog. The user picks a clock frequency for watching a program
// run; the main window keeps it as the delay between two watched steps.
#pragma once

#include <QDialog>

#include <optional>

class QPushButton;
class QRadioButton;

class TSpeedWin final : public QDialog {
    Q_OBJECT
public:
    explicit TSpeedWin(QWidget* parent = nullptr);

    // Shows the dialog centred with the button of the current delay (milliseconds) checked; a
    // delay outside the table leaves the buttons as the last Ok left them. The delay of the
    // checked button on Ok; none when the dialog was cancelled or no button is checked.
    std::optional<int> Ask(int current);

    // Every Cancel route (button, Esc, close box) puts the buttons back as they were shown, so
    // a dropped pick is not shown, nor stored by a later Ok.
    void done(int result) override;

protected:
    bool focusNextPrevChild(bool next) override;

private:
    static constexpr int SpeedCount = 10;
    QRadioButton* Radios[SpeedCount] = {};  // "Unlimited", then 100 Hz down to 1 Hz
    QPushButton* BtnOk = nullptr;
    QPushButton* BtnCancel = nullptr;
    bool Loaded[SpeedCount] = {};  // the checked states as the dialog was shown
};

extern TSpeedWin* SpeedWin;
