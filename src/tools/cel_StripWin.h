// TStripWin: the strip tool dialog.
#pragma once

#include <QDialog>

class TStripWin final : public QDialog {
    Q_OBJECT
public:
    explicit TStripWin(QWidget* parent = nullptr);
    QString SaveFilter;  // the save dialog's file filter, set before each opening
};

extern TStripWin* StripWin;
