// TStripWin: the strip tool dialog. It shows the source editor's text reduced to its commands,
// optionally without the comment lines, broken into lines of a chosen length, with the command
// count in its status bar; the result can be copied or saved, the source is never changed.
#pragma once

#include <QDialog>
#include <QString>

class QKeyEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStatusBar;

class TStripWin final : public QDialog {
    Q_OBJECT
public:
    explicit TStripWin(QWidget* parent = nullptr);

    QWidget* Panel = nullptr;
    QRadioButton* RadioWith = nullptr;
    QRadioButton* RadioWithout = nullptr;
    QLabel* LblLineLength = nullptr;
    QLineEdit* EditLength = nullptr;
    QPushButton* BtnOk = nullptr;
    QPushButton* BtnCopy = nullptr;
    QPushButton* BtnSave = nullptr;
    QPlainTextEdit* MemoStrip = nullptr;
    QStatusBar* Status = nullptr;
    QString SaveDir;  // the folder of the last save; empty: the document's folder

    // Strips the editor's current text into MemoStrip and shows the count; an illegal line
    // length shows a message and changes nothing.
    void StripCode();
    // MemoStrip's text with CR LF line breaks, as copied and saved.
    QByteArray StrippedText() const;

    void FormShow();
    void FormClose();
    // True when the key was the dialog's own (Esc, which closes it).
    bool FormKeyPress(const QKeyEvent* event);
    void FormKeyUp();
    void RadioWithMouseUp();
    void BtnOkClick();
    void BtnCopyClick();
    void BtnSaveClick();

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool RadioKeyDown = false;  // a key went down on a radio button and is not yet up
};

extern TStripWin* StripWin;
