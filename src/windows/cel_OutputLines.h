// TOutputLines: the lines of the output box as the engine's output reaches them. The engine
// speaks of lines and bytes; the box shows Latin-1 text where a very long line is shown in
// pieces. Output appended at the end is collected and goes into the box in one edit at most
// once per frame (less often while the last line is long), and the bytes of the last line are
// kept at hand so that appending to it costs only the new bytes. Everything that reads or
// changes the text otherwise sees the collected output first. Out of memory during a change,
// the store drops what it kept and reports the failure. GUI thread only.
#pragma once

#include "cel_FramePacer.h"

#include <QByteArray>
#include <QObject>
#include <QTextBlock>
#include <QTextFormat>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QPlainTextEdit;
class QTextCursor;
class QTextDocument;
class QTimer;

class TOutputLines final : public QObject {
    Q_OBJECT
public:
    // The store of box's text; box outlives it.
    explicit TOutputLines(QPlainTextEdit* box);
    ~TOutputLines() override;

    // QTextBlock::userState of every piece of a line but its first.
    static constexpr int Continuation = 1;
    // Control characters (codes below 32 but the tab) are shown as spaces, as the memory window
    // shows them; the character format of such a space holds its code under this property.
    static constexpr int ControlCode = QTextFormat::UserProperty + 1;
    // The text of a block with the control characters its spaces stand for.
    static QString BlockText(const QTextBlock& block);

    // Line access for the engine's output: bytes shown as Latin-1. Each returns false when the
    // text could not be updated.
    bool OutputLineText(uint32_t index, std::string& text);  // empty past the end
    bool SetOutputLineText(uint32_t index, const std::string& text);
    bool AppendOutputLine();
    bool AppendToOutputLine(uint32_t index, std::string_view text);

    // Whole text as bytes, lines separated by CR LF, output still collected included.
    QByteArray Text() const;
    void SetText(const QByteArray& text);
    // Each editor tab keeps its output as a document of its own, swapped into the box when the
    // tab is selected: a swap costs nothing per line, where setting a kept text again lays out
    // every line of it (seconds for megabytes). Document() is the shown one, collected output
    // in it and its view's scroll position noted in it; ShowDocument shows document where it
    // was scrolled to, or a new empty one for none. A document is shared by the tabs that hold
    // it (a tab opened while another's output is shown starts with that output) until it is
    // shown and changed: the change goes into a copy (or a new document, for Clear and SetText).
    std::shared_ptr<QTextDocument> Document();
    void ShowDocument(std::shared_ptr<QTextDocument> document);
    void Clear();
    // Typed input shown in the text: before a final empty line, so that output which ended a
    // line before the read stays below the entered text; with lineBreak, a new line follows at
    // the end. executed: the engine's count at its input command, which the echo belongs to.
    void EchoInput(const QByteArray& data, uint64_t executed = 0, bool lineBreak = false);
    // Moves the collected output into the box, in one edit.
    void ShowPending();

    // The run's share of the text: a run's output begins at the end of the text as it stands
    // when MarkRunStart is called; Clear takes away what the run had put there as well.
    // TruncateRun keeps the first `shown` characters of output the run put into the text (a
    // line break counts one, the pieces of a long line count as one line) and the echoes of
    // input given before the engine's count `executed`, and deletes the rest: the text after
    // them, and an echo of a later input that went before a final line break. False when the
    // text could not be changed.
    void MarkRunStart();
    bool TruncateRun(uint64_t shown, uint64_t executed = UINT64_MAX);
    // The echoes a cut took back are kept: EchoAgain shows the one given at the engine's count
    // `executed` again, when a forward move reads its line again from the history (false: there
    // is none); DropLaterEchoes forgets them, with the history they belong to.
    bool EchoAgain(uint64_t executed);
    void DropLaterEchoes() { TakenBack.clear(); }
    // The index of the text's last line, the one the engine's output goes on in.
    uint32_t LastLineIndex() const { return static_cast<uint32_t>(LineCount() - 1); }

private:
    std::shared_ptr<QTextDocument> NewDocument() const;
    void Attach(std::shared_ptr<QTextDocument> document);
    // The shown document is also held by a tab that is not shown; Unshare puts a copy in its
    // place, before a change.
    bool Shared() const;
    void Unshare();
    // A document's text as bytes, lines separated by CR LF.
    static QByteArray DocumentText(const QTextDocument& document);
    // Sets document's text from bytes, lines separated by CR LF; the number of continuation
    // blocks it made.
    static int Fill(QTextDocument& document, const QByteArray& text);
    bool TakeNoMoreOutput();
    void DropPending();
    // Collects bytes for the last line (LastLineValid) and shows what is collected now, or sets
    // the frame (or the long line's wait) that will.
    void Collect(std::string_view bytes);
    void InsertPieces(QTextCursor& cursor, QStringView text);
    // Inserts text at the cursor, its control characters as spaces that keep their codes.
    static void InsertShown(QTextCursor& cursor, QStringView text);
    // Lines of output (collected ones included), a long line's pieces counted once, and the
    // first block of one (of the box's lines).
    int LineCount() const;
    QTextBlock FirstBlockOfLine(uint32_t index) const;
    bool ScrolledToEnd() const;
    void ScrollToEnd();
    // Characters of the text as the engine counts them: collected output included, the breaks
    // between a long line's pieces left out.
    qint64 EngineLength() const;
    // The document position of the character after the first `count` the engine counts, and
    // back.
    int PositionOf(qint64 count) const;
    qint64 CountAt(int position) const;
    bool RemoveRange(qint64 from, qint64 to);

    QPlainTextEdit* Box;
    std::shared_ptr<QTextDocument> Shown;  // box's document
    // The bytes of the last line (collected ones included) while LastLineValid: lets the engine
    // append to a long line without converting it back from the document for every chunk.
    // Any change not made through the store (OwnChange) invalidates it, and drops Pending.
    std::string LastLine;
    bool LastLineValid = false;
    bool OwnChange = false;
    // Output not yet in the box, to go at its end; a LF starts a new line. Every edit of the box
    // costs a layout and a repaint however little it adds, so the engine's hand-overs (one per
    // output buffer, up to a thousand a second) are collected and shown at most once per frame.
    // (A watched run also shows them with each mark it shows in the editor.)
    QByteArray Pending;
    int PendingBreaks = 0;
    TFramePacer Frames{15};
    // While the box's last line is long, every edit lays out the whole line: collected output
    // then goes in at most every TailDelay ms, the longer the more the last such edit cost.
    QTimer* TailTimer = nullptr;
    qint64 LastTailCost = 0;  // milliseconds the last edit of a long last line took
    // Collected output could not be shown (out of memory): the engine's next change fails.
    bool LostOutput = false;
    // Blocks that continue a long line shown in pieces; -1 while they must be counted again.
    mutable int Continuations = 0;
    // Where the running program's first character stands, in the engine's characters from the
    // start of the text; negative once Clear took away the first of them.
    qint64 RunStart = 0;
    // The run's echoes of typed input, in their order: the engine's count at the input command,
    // where the text went (characters after RunStart), its length, and whether a line break
    // followed at the end. The engine counts its output only.
    struct TEcho {
        uint64_t At;
        qint64 Pos, Length;
        bool Break;
        QByteArray Text;
    };
    std::vector<TEcho> Echoes;
    // The echoes cuts took back, by count: the run's future, shown again as it is replayed.
    std::vector<TEcho> TakenBack;
};
