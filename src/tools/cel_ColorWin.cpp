#include "cel_ColorWin.h"

TColorWin* ColorWin = nullptr;

TColorWin::TColorWin(QWidget* parent) : QDialog(parent) {
    ColorWin = this;
    setObjectName(QStringLiteral("ColorWin"));
}

void TColorWin::SetPanels(uint32_t, uint32_t) {}
void TColorWin::PreviewMemoryColors() {}
