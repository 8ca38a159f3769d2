// TOutputLines: the lines of the output box as the engine's output reaches them. The engine
// speaks of lines and bytes; the box shows Latin-1 text where a very long line is shown in
// pieces, output into a long last line is collected and goes in at most every so often, and
// the bytes of the last line are kept at hand so that appending to it costs only the new bytes.
// Out of memory during a change, the store drops what it kept and reports the failure.
// GUI thread only.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QTextBlock>
#include <QTextFormat>

#include <cstdint>
#include <string>
#include <string_view>

class QPlainTextEdit;
class QTextCursor;
class QTimer;

class TOutputLines final : public QObject {
    Q_OBJECT
public:
    // The store of box's text; box outlives it.
    explicit TOutputLines(QPlainTextEdit* box);

    // QTextBlock::userState of every piece of a line but its first.
    static constexpr int Continuation = 1;
    // Control characters (codes below 32 but the tab) are shown as spaces, as the memory window
    // shows them; the character format of such a space holds its code under this property.
    static constexpr int ControlCode = QTextFormat::UserProperty + 1;
    // The text of a block with the control characters its spaces stand for.
    static QString BlockText(const QTextBlock& block);

    // Line access for the engine's output: bytes shown as Latin-1. Each returns false when the
    // text could not be updated.
    bool OutputLineText(uint32_t index, std::string& text) const;  // empty past the end
    bool SetOutputLineText(uint32_t index, const std::string& text);
    bool AppendOutputLine();
    bool AppendToOutputLine(uint32_t index, std::string_view text);

    // Whole text as bytes, lines separated by CR LF, output still collected included.
    QByteArray Text() const;
    void SetText(const QByteArray& text);
    void Clear();
    // Typed input shown in the text: before a final empty line, so that output which ended a
    // line before the read stays below the entered text.
    void EchoInput(const QByteArray& data);
    // Moves the collected output of a long last line into the box.
    void FlushTail();

private:
    bool TakeNoMoreOutput();
    // Adds bytes to the last line, LastLineValid.
    void AppendTail(std::string_view tail);
    void InsertAtEnd(const QString& text, bool newLine);
    void InsertPieces(QTextCursor& cursor, const QString& text);
    // Inserts text at the cursor, its control characters as spaces that keep their codes.
    static void InsertShown(QTextCursor& cursor, QStringView text);
    // Lines of output, a long line's pieces counted once, and the first block of one.
    int LineCount() const;
    QTextBlock FirstBlockOfLine(uint32_t index) const;
    bool ScrolledToEnd() const;
    void ScrollToEnd();

    QPlainTextEdit* Box;
    // The bytes of the last line (PendingTail included) while LastLineValid: lets the engine
    // append to a long line without converting it back from the document for every chunk.
    // Any change not made through the store (OwnChange) invalidates it.
    mutable std::string LastLine;
    mutable bool LastLineValid = false;
    bool OwnChange = false;
    // Output for a last line that is already long: every document update lays out the whole
    // line, so these bytes are collected and go in at most every TailDelay milliseconds.
    QByteArray PendingTail;
    QTimer* TailTimer = nullptr;
    qint64 LastTailCost = 0;  // milliseconds the last update of the long line took
    // Blocks that continue a long line shown in pieces; -1 while they must be counted again.
    mutable int Continuations = 0;
};
