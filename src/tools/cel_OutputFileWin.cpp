#include "cel_OutputFileWin.h"

TOutputFileWin* OutputFileWin = nullptr;

TOutputFileWin::TOutputFileWin(QWidget* parent) : QDialog(parent) {
    OutputFileWin = this;
    setObjectName(QStringLiteral("OutputFileWin"));
}
