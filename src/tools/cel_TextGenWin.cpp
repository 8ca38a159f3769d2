#include "cel_TextGenWin.h"

TTextGenWin* TextGenWin = nullptr;

TTextGenWin::TTextGenWin(QWidget* parent) : QDialog(parent) {
    TextGenWin = this;
    setObjectName(QStringLiteral("TextGenWin"));
}
