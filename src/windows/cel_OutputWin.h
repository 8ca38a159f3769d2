// TOutputWin: the program's output, and the input panel where a waiting program's input is
// typed as a line of text or as a number.
#pragma once

#include <QByteArray>
#include <QTextBlock>
#include <QWidget>

#include <string>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTextCursor;
class QTimer;

class TOutputWin final : public QWidget {
    Q_OBJECT
public:
    explicit TOutputWin(QWidget* parent = nullptr);
    ~TOutputWin() override;

    QPlainTextEdit* Output = nullptr;
    QWidget* PanelInput = nullptr;
    QLabel* LblText = nullptr;
    QLineEdit* EditLine = nullptr;
    QLabel* LblNumber = nullptr;
    QLineEdit* EditNumber = nullptr;
    QPushButton* BtnOk = nullptr;
    QPushButton* BtnSave = nullptr;
    QLineEdit* LastInputEdit = nullptr;

    // Line access for the engine's output: bytes shown as Latin-1. Each returns false when the
    // text could not be updated.
    bool OutputLineText(uint32_t index, std::string& text) const;
    bool SetOutputLineText(uint32_t index, const std::string& text);
    bool AppendOutputLine();
    bool AppendToOutputLine(uint32_t index, std::string_view text);

    // Whole text as bytes, lines separated by CR LF (tab changes, Close).
    QByteArray Text() const;
    void SetText(const QByteArray& text);
    // Empties the text; the engine's output line is reset by the caller.
    void Clear();

    // Opens the input panel: fields enabled in the window colour, Ok enabled, the line field
    // the active control.
    void EnableInput();
    // Closes it: fields disabled, silver and empty; Ok disabled.
    void DisableInput();
    void SetOutputFont(const QString& name, int size);
    void ApplyColors(uint32_t textColor, uint32_t backColor);

public slots:
    void BtnOkClick();
    void BtnSaveClick();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LayoutInputPanel();
    // OutputChange: Save is enabled exactly when there is output text.
    void OutputChange();
    void OutputEnter();
    void EditLineEnter();
    void EditNumberEnter();
    // After a message about the input: the window active again and the field in use focused,
    // where a window manager would leave the activation with another window (the main window)
    // and the next keys would go there.
    void ReturnToField(QLineEdit* edit);
    bool ScrolledToEnd() const;
    void ScrollToEnd();

    // Moves PendingTail into the document.
    void FlushTail();
    bool TakeNoMoreOutput();
    // Adds bytes to the last line, LastLineValid.
    void AppendTail(std::string_view tail);
    void InsertAtEnd(const QString& text, bool newLine);
    void InsertPieces(QTextCursor& cursor, const QString& text);
    // Lines of output, a long line's pieces counted once, and the first block of one.
    int LineCount() const;
    QTextBlock FirstBlockOfLine(uint32_t index) const;

    // The bytes of the last line (PendingTail included) while LastLineValid: lets the engine
    // append to a long line without converting it back from the document for every chunk.
    // Any change not made through the line access (OwnChange) invalidates it.
    mutable std::string LastLine;
    mutable bool LastLineValid = false;
    bool OwnChange = false;
    // Output for a last line that is already long: every document update lays out the whole
    // line, so these bytes are collected and go in at most every TailDelay milliseconds.
    QByteArray PendingTail;
    QTimer* TailTimer = nullptr;
    qint64 LastTailCost = 0;  // milliseconds the last update of the long line took
    QString SaveDir;  // the folder of the last save
    // Blocks that continue a long line shown in pieces; -1 while they must be counted again.
    mutable int Continuations = 0;
};

extern TOutputWin* OutputWin;
