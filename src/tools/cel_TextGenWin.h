// TTextGenWin: the text generator dialog.
#pragma once

#include <QDialog>

class TTextGenWin final : public QDialog {
    Q_OBJECT
public:
    explicit TTextGenWin(QWidget* parent = nullptr);

};

extern TTextGenWin* TextGenWin;
