// TColorWin: the colours dialog. Every change shows at once in the editor, the output window
// and the memory window; only Ok makes the pair the workspace's TextColor and BackgroundColor,
// and every other way out puts the stored pair back everywhere.
#pragma once

#include <QDialog>

#include <cstdint>

class QFrame;
class QPushButton;

class TColorWin final : public QDialog {
    Q_OBJECT
public:
    explicit TColorWin(QWidget* parent = nullptr);
    QFrame* PnlTCShow = nullptr;  // its colour is the text colour
    QFrame* PnlBCShow = nullptr;  // its colour is the background colour
    QPushButton* BtnChangeTC = nullptr;
    QPushButton* BtnChangeBC = nullptr;
    QPushButton* BtnOk = nullptr;
    QPushButton* BtnCancel = nullptr;

    // Sets the two preview panels.
    void SetPanels(uint32_t textColor, uint32_t backColor);
    uint32_t PanelTextColor() const;
    uint32_t PanelBackColor() const;
    // The editor in the panels' colours, its selection colours derived from the background.
    void ApplyColors();
    // Redraws the memory window in the editor's current colours, keeping the stored pair.
    void PreviewMemoryColors();

public slots:
    void BtnChangeTCClick();
    void BtnChangeBCClick();
    void BtnOkClick();
    // Every Cancel route (button, Esc, close box) ends here.
    void done(int result) override;

private:
    // The colour picker for one panel; on confirm the new colour shows everywhere.
    void ChangeColor(QFrame* panel);
    // TextColor and BackgroundColor back in the panels, the editor, the output and the memory.
    void RestoreColors();
};

extern TColorWin* ColorWin;
