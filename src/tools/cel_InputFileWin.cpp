#include "cel_InputFileWin.h"

TInputFileWin* InputFileWin = nullptr;

TInputFileWin::TInputFileWin(QWidget* parent) : QDialog(parent) {
    InputFileWin = this;
    setObjectName(QStringLiteral("InputFileWin"));
}
