// TColorWin: the colours dialog.
#pragma once

#include <QDialog>

#include <cstdint>

class QPushButton;
class TColorWin final : public QDialog {
    Q_OBJECT
public:
    explicit TColorWin(QWidget* parent = nullptr);
    QPushButton* BtnChangeTC = nullptr;
    // Sets the two preview panels.
    void SetPanels(uint32_t textColor, uint32_t backColor);
    // Redraws the memory window in the editor's current colours, keeping the stored pair.
    void PreviewMemoryColors();
};

extern TColorWin* ColorWin;
