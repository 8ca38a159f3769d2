#include "cel_BufferSizeWin.h"

TBufferSizeWin* BufferSizeWin = nullptr;

TBufferSizeWin::TBufferSizeWin(QWidget* parent) : QDialog(parent) {
    BufferSizeWin = this;
    setObjectName(QStringLiteral("BufferSizeWin"));
}
