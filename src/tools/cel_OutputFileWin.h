// TOutputFileWin: the output file dialog.
#pragma once

#include <QDialog>

class QLineEdit;
class TOutputFileWin final : public QDialog {
    Q_OBJECT
public:
    explicit TOutputFileWin(QWidget* parent = nullptr);
    QLineEdit* FileEdt = nullptr;
};

extern TOutputFileWin* OutputFileWin;
