// TFileNameWin: what the input and output file dialogs share: a label, the name field FileEdt,
// a Search button that runs a file dialog, Ok and Cancel. The main window puts the current name
// into FileEdt before the show and takes FileEdt's text, as it stands, on Ok.
#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

class TFileNameWin : public QDialog {
    Q_OBJECT
public:
    QLineEdit* FileEdt = nullptr;
    QPushButton* Search = nullptr;
    QPushButton* BtnOk = nullptr;
    QPushButton* BtnCancel = nullptr;

public slots:
    // The file dialog; a confirmed choice goes into FileEdt as a full path.
    void SearchClick();

protected:
    TFileNameWin(QWidget* parent, const char* name, const QString& caption, const QString& prompt);
    // Runs the file dialog from folder; the chosen name, or empty when cancelled.
    virtual QString Browse(const QString& folder) = 0;

private:
    QString SearchDir;  // the folder of the last file chosen there
};
