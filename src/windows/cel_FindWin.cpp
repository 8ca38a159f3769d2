#include "cel_FindWin.h"

TFindWin* FindWin = nullptr;

TFindWin::TFindWin(QWidget* parent) : QDialog(parent) {
    FindWin = this;
    setObjectName(QStringLiteral("FindWin"));
}

void TFindWin::BtnFindClick() {}
void TFindWin::BtnReplaceClick() {}
