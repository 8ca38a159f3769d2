#include "cel_SpeedWin.h"

TSpeedWin* SpeedWin = nullptr;

TSpeedWin::TSpeedWin(QWidget* parent) : QDialog(parent) {
    SpeedWin = this;
    setObjectName(QStringLiteral("SpeedWin"));
}

void TSpeedWin::LoadSpeed() {}
void TSpeedWin::StoreSpeed() {}
