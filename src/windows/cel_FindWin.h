// TFindWin: the find and replace dialog. Its actions search the source editor's text forward
// from the caret to the end, ignoring letter case; the two combo boxes keep a history of the
// strings used while the application runs.
#pragma once

#include <QDialog>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

class TFindWin final : public QDialog {
    Q_OBJECT
public:
    explicit TFindWin(QWidget* parent = nullptr);
    bool Searched = false;  // a Find, Replace or Replace All was done
    bool Replaced = false;  // a Replace or Replace All was done

    QGroupBox* FindGrp = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QComboBox* CboFind = nullptr;
    QComboBox* CboReplace = nullptr;
    QPushButton* BtnFind = nullptr;
    QPushButton* BtnReplace = nullptr;
    QPushButton* BtnReplaceAll = nullptr;
    QPushButton* BtnCancel = nullptr;

    void FormCreate();
    // Centres the dialog, files the strings used last into the histories and empties both boxes.
    void FormShow();
    // The default button follows the box with the focus: Enter finds or replaces.
    void CboFindEnter();
    void CboReplaceEnter();
    // Each action closes the dialog with OK; the main window also calls Find and Replace on the
    // hidden dialog to repeat them.
    void BtnFindClick();
    void BtnReplaceClick();
    void BtnReplaceAllClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Where the first match of the search string (what := its bytes) at or after the caret
    // starts; -1 when there is none or the string is empty.
    long NextMatch(QByteArray& what) const;
};

extern TFindWin* FindWin;
