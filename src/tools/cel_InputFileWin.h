// TInputFileWin: the input file dialog.
#pragma once

#include <QDialog>

class QLineEdit;
class TInputFileWin final : public QDialog {
    Q_OBJECT
public:
    explicit TInputFileWin(QWidget* parent = nullptr);
    QLineEdit* FileEdt = nullptr;
};

extern TInputFileWin* InputFileWin;
