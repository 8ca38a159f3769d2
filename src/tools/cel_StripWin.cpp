#include "cel_StripWin.h"

TStripWin* StripWin = nullptr;

TStripWin::TStripWin(QWidget* parent) : QDialog(parent) {
    StripWin = this;
    setObjectName(QStringLiteral("StripWin"));
}
