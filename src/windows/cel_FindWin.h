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

    // Shows the dialog; each of its actions closes it with OK.
    void Ask();
    // F3 and Shift+F3: the last action of that kind again on the hidden dialog, or the dialog
    // when there was none yet.
    void FindAgain();
    void ReplaceAgain();
    bool Searched() const { return DidSearch; }   // a Find, Replace or Replace All was done
    bool Replaced() const { return DidReplace; }  // a Replace or Replace All was done

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Centres the dialog, files the strings used last into the histories and empties both boxes.
    void FormShow();
    // The default button follows the box with the focus: Enter finds or replaces.
    void CboFindEnter();
    void CboReplaceEnter();
    void BtnFindClick();
    void BtnReplaceClick();
    void BtnReplaceAllClick();
    // Where the first match of the search string (what := its bytes) at or after the caret
    // starts; -1 when there is none or the string is empty.
    long NextMatch(QByteArray& what) const;

    bool DidSearch = false;
    bool DidReplace = false;
    QGroupBox* FindGrp = nullptr;
    QComboBox* CboFind = nullptr;
    QComboBox* CboReplace = nullptr;
    QPushButton* BtnFind = nullptr;
    QPushButton* BtnReplace = nullptr;
};

extern TFindWin* FindWin;
