// TOutputFileWin: the output file dialog. The main window puts OutputFileName into FileEdt before
// the show and takes FileEdt's text, as it stands, on Ok; an empty name means no output file.
#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

class TOutputFileWin final : public QDialog {
    Q_OBJECT
public:
    explicit TOutputFileWin(QWidget* parent = nullptr);
    QLineEdit* FileEdt = nullptr;
    QPushButton* Search = nullptr;
    QPushButton* BtnOk = nullptr;
    QPushButton* BtnCancel = nullptr;

public slots:
    // The file dialog; a confirmed choice goes into FileEdt as a full path.
    void SearchClick();

private:
    QString SearchDir;  // the folder of the last file chosen there
};

extern TOutputFileWin* OutputFileWin;
