// TFindWin: the find and replace dialog.
#pragma once

#include <QDialog>

class TFindWin final : public QDialog {
    Q_OBJECT
public:
    explicit TFindWin(QWidget* parent = nullptr);
    bool Searched = false;  // a Find, Replace or Replace All was done
    bool Replaced = false;  // a Replace or Replace All was done
    void BtnFindClick();
    void BtnReplaceClick();
};

extern TFindWin* FindWin;
