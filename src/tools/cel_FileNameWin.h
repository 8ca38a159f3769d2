// TFileNameWin: what the input and output file dialogs share: a label, the name field FileEdt,
// a Search button that runs a file dialog, Ok and Cancel.
#pragma once

#include <QDialog>
#include <QString>

#include <optional>

class QLineEdit;
class QPushButton;

class TFileNameWin : public QDialog {
    Q_OBJECT
public:
    // Shows the dialog centred with current in the name field; on Ok the name as it stands in
    // the field (empty switches the file off), none when the dialog was cancelled.
    std::optional<QString> Ask(const QString& current);

protected:
    TFileNameWin(QWidget* parent, const char* name, const QString& caption, const QString& prompt);
    // Runs the file dialog from folder; the chosen name, or empty when cancelled.
    virtual QString Browse(const QString& folder) = 0;

private:
    // The file dialog; a confirmed choice goes into FileEdt as a full path.
    void SearchClick();

    QLineEdit* FileEdt = nullptr;
    QPushButton* BtnOk = nullptr;
    QString SearchDir;  // the folder of the last file chosen there
};
