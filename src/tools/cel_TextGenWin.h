// TTextGenWin: the text generator dialog. It turns the text typed into TextMemo into Brainfuck
// code that prints it, shown in CodeMemo; with automatic generation the code follows the text
// on every tick of Timer, otherwise on BtnGenerate. BtnCopy puts the code on the clipboard.
#pragma once

#include <QByteArray>
#include <QDialog>
#include <QTimer>

#include <string>

class QCheckBox;
class QGroupBox;
class QPlainTextEdit;
class QPushButton;

class TTextGenWin final : public QDialog {
    Q_OBJECT
public:
    explicit TTextGenWin(QWidget* parent = nullptr);

    QGroupBox* HelpGrp = nullptr;
    QGroupBox* GeneratorGrp = nullptr;
    QPlainTextEdit* TextMemo = nullptr;
    QPlainTextEdit* CodeMemo = nullptr;
    QCheckBox* CBxAuto = nullptr;
    QPushButton* BtnGenerate = nullptr;
    QPushButton* BtnCopy = nullptr;
    QPushButton* BtnClose = nullptr;
    QTimer Timer;              // ticks every 1000 ms while the dialog is shown
    bool TextChanged = false;  // TextMemo changed since the last generation or opening
    std::string Code;          // the code CodeMemo shows, with its CR LF line ends

    // TextMemo's text as 8-bit values: Latin-1, "?" for every character outside it, each line
    // break CR LF.
    QByteArray TextBytes() const;
    // Generates the code of TextMemo's text into Code and CodeMemo.
    void GenerateCode();

public slots:
    void FormShow();
    void FormClose();
    void TextMemoChange();
    void TimerTimer();
    void CBxAutoClick();
    void BtnGenerateClick();
    void BtnCopyClick();
    void BtnCloseClick();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Key-down handling shared by both boxes; true when the key was used up.
    bool TextMemoKeyDown(QObject* box, int key);
};

extern TTextGenWin* TextGenWin;
