#include "cel_InfoWin.h"

TInfoWin* InfoWin = nullptr;

TInfoWin::TInfoWin(QWidget* parent) : QDialog(parent) {
    InfoWin = this;
    setObjectName(QStringLiteral("InfoWin"));
}
