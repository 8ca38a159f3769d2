// TOutputWin: the program's output, and the input panel where a waiting program's input is
// typed as a line of text or as a number.
#pragma once

#include <QByteArray>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class QLabel;
class TOutputLines;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTextDocument;

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
    QPushButton* BtnEnd = nullptr;  // the end of the input (Ctrl+D in EditLine too)
    QPushButton* BtnSave = nullptr;
    QLineEdit* LastInputEdit = nullptr;

    // Line access for the engine's output: bytes shown as Latin-1. Each returns false when the
    // text could not be updated.
    bool OutputLineText(uint32_t index, std::string& text) const;
    bool SetOutputLineText(uint32_t index, const std::string& text);
    bool AppendOutputLine();
    bool AppendToOutputLine(uint32_t index, std::string_view text);

    // Output collected for the box goes in now, not at the next frame (a pause, an input
    // request and the end of a run show all output so far).
    void ShowPendingOutput();
    // Whole text as bytes, lines separated by CR LF (tab changes, Close).
    QByteArray Text() const;
    void SetText(const QByteArray& text);
    // The shown text as a document that a tab keeps while another tab's is shown, and back.
    std::shared_ptr<QTextDocument> Document();
    void ShowDocument(std::shared_ptr<QTextDocument> document);
    // Empties the text; the engine's output line is reset by the caller.
    void Clear();
    // A run's output begins at the end of the text as it stands now.
    void MarkRunStart();
    // Keeps the first `shown` characters of output the run put into the text (a line break
    // counts one) and the echoes of the input given before the engine's count `executed`, and
    // deletes the rest; a Clear Output during the run took away its first ones. False when the
    // text could not be changed.
    bool TruncateRunOutput(uint64_t shown, uint64_t executed);
    // The echo of the typed line given at the engine's count `executed`, which a cut took back,
    // shown again (false: none was taken back there); and those taken back forgotten, when the
    // history they belong to is discarded.
    bool EchoAgain(uint64_t executed);
    void DropLaterEchoes();
    // The index of the last line, where the engine's output goes on.
    uint32_t LastLineIndex() const;

    // Opens the input panel: fields enabled in the window colour, Ok and End enabled, the line
    // field the active control.
    void EnableInput();
    // Closes it: fields disabled, silver and empty; Ok and End disabled.
    void DisableInput();
    void SetOutputFont(const QString& name, int size);
    void ApplyColors(uint32_t textColor, uint32_t backColor);

public slots:
    void BtnOkClick();
    // The waiting read and every later one of the run find the end of the input.
    void BtnEndClick();
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

    // The text of the output box.
    std::unique_ptr<TOutputLines> Lines;
    QString SaveDir;  // the folder of the last save
};

extern TOutputWin* OutputWin;
