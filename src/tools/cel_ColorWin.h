// TColorWin: the colours dialog. Every change shows at once in the editor, the output window
// and the memory window; every way out but Ok puts the stored pair back everywhere.
#pragma once

#include <QDialog>

#include <cstdint>
#include <optional>

class QFrame;
class QPushButton;

class TColorWin final : public QDialog {
    Q_OBJECT
public:
    explicit TColorWin(QWidget* parent = nullptr);

    // Colours with red in the low byte, as they are stored.
    struct TColors {
        uint32_t Text;
        uint32_t Back;
    };
    // Shows the dialog centred, its panels in the current pair; the pair chosen on Ok, none when
    // the dialog was cancelled.
    std::optional<TColors> Ask(const TColors& current);

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
    QFrame* PnlTCShow = nullptr;  // its colour is the text colour
    QFrame* PnlBCShow = nullptr;  // its colour is the background colour
    QPushButton* BtnChangeTC = nullptr;
    TColors Chosen{};             // what Ok took
    // The colour picker for one panel; on confirm the new colour shows everywhere.
    void ChangeColor(QFrame* panel);
    // TextColor and BackgroundColor back in the panels, the editor, the output and the memory.
    void RestoreColors();
};

extern TColorWin* ColorWin;
