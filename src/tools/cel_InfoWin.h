// TInfoWin: the about box.
#pragma once

#include <QDialog>

class TInfoWin final : public QDialog {
    Q_OBJECT
public:
    explicit TInfoWin(QWidget* parent = nullptr);

};

extern TInfoWin* InfoWin;
