#include "cel_OutputLines.h"

#include <QElapsedTimer>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QTimer>
#include <QVariant>

#include <algorithm>
#include <iterator>
#include <utility>
#include <new>
#include <vector>

namespace {

// From this length of the last line on, collected output waits at least TailDelay ms.
constexpr size_t LongLine = 16384;
constexpr int TailDelay = 100;
// A line longer than this is shown in pieces of this many characters, one below the other.
// Laying out a line takes time and memory in proportion to its length: a program printing
// megabytes without a line break would otherwise freeze the window for seconds at every update
// and take gigabytes. For everything else (the engine's line numbers, the text saved or kept
// with a document, copying) the pieces are one line.
constexpr int ShownLineLength = 65536;

// Where a document's view was scrolled to while another document is shown.
const char* const ScrolledTo[2] = {"celScrolledX", "celScrolledY"};

bool ShownAsSpace(QChar c) {
    return c.unicode() < 32 && c != QLatin1Char('\t') && c != QLatin1Char('\n');
}

}  // namespace

TOutputLines::TOutputLines(QPlainTextEdit* box) : Box(box) {
    TailTimer = new QTimer(this);
    TailTimer->setSingleShot(true);
    TailTimer->setInterval(TailDelay);
    connect(TailTimer, &QTimer::timeout, this, &TOutputLines::ShowPending);
    connect(&Frames.Timer, &QTimer::timeout, this, &TOutputLines::ShowPending);
    ShowDocument(nullptr);
}

// The box must not be left with a document that may go with this store.
TOutputLines::~TOutputLines() {
    Shown->disconnect(this);
    Box->setDocument(nullptr);
}

std::shared_ptr<QTextDocument> TOutputLines::NewDocument() const {
    auto document = std::make_shared<QTextDocument>();
    document->setDocumentLayout(new QPlainTextDocumentLayout(document.get()));
    // Program output would otherwise pile up in the undo history of a read-only box.
    document->setUndoRedoEnabled(false);
    document->setDefaultFont(Box->font());
    document->firstBlock().setUserState(-1);
    return document;
}

std::shared_ptr<QTextDocument> TOutputLines::Document() {
    ShowPending();
    Shown->setProperty(ScrolledTo[0], Box->horizontalScrollBar()->value());
    Shown->setProperty(ScrolledTo[1], Box->verticalScrollBar()->value());
    return Shown;
}

void TOutputLines::ShowDocument(std::shared_ptr<QTextDocument> document) {
    if (document && document == Shown) return;
    if (Shown) {
        ShowPending();
        DropPending();
    }
    Attach(document ? std::move(document) : NewDocument());
    LastLineValid = false;
    Continuations = -1;
    const QVariant x = Shown->property(ScrolledTo[0]), y = Shown->property(ScrolledTo[1]);
    Box->horizontalScrollBar()->setValue(x.isValid() ? x.toInt() : 0);
    Box->verticalScrollBar()->setValue(y.isValid() ? y.toInt() : 0);
}

void TOutputLines::Attach(std::shared_ptr<QTextDocument> document) {
    if (Shown) Shown->disconnect(this);
    // The box lets go of the old document in setDocument: it must live until then.
    const std::shared_ptr<QTextDocument> old = std::exchange(Shown, std::move(document));
    // A font chosen while the document was away is the box's, not yet the document's.
    if (Shown->defaultFont() != Box->font()) Shown->setDefaultFont(Box->font());
    Box->setDocument(Shown.get());
    connect(Shown.get(), &QTextDocument::contentsChanged, this, [this] {
        if (OwnChange) return;
        LastLineValid = false;
        Pending.clear();
        PendingBreaks = 0;
        Continuations = -1;
    });
}

bool TOutputLines::Shared() const {
    // Held here and by the shown tab's record; any other holder is a tab that is not shown.
    return Shown.use_count() > 2;
}

void TOutputLines::Unshare() {
    if (!Shared()) return;
    const int x = Box->horizontalScrollBar()->value(), y = Box->verticalScrollBar()->value();
    std::shared_ptr<QTextDocument> copy = NewDocument();
    Continuations = Fill(*copy, DocumentText(*Shown));
    // The text is the same: the collected output and the last line stay as they are.
    Attach(std::move(copy));
    Box->horizontalScrollBar()->setValue(x);
    Box->verticalScrollBar()->setValue(y);
}

// ---------------------------------------------------------------------------------------------
// Line access for the engine's output (GUI thread, inside the engine's hand-off)

int TOutputLines::LineCount() const {
    const QTextDocument* document = Box->document();
    if (Continuations < 0) {
        int count = 0;
        for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
            if (block.userState() == Continuation) ++count;
        Continuations = count;
    }
    return document->blockCount() - Continuations + PendingBreaks;
}

// Only while nothing is collected: the line numbers are the box's.
QTextBlock TOutputLines::FirstBlockOfLine(uint32_t index) const {
    const QTextDocument* document = Box->document();
    const int count = LineCount();
    if (index >= static_cast<uint32_t>(count)) return {};
    if (Continuations == 0) return document->findBlockByNumber(static_cast<int>(index));
    QTextBlock block;
    if (index + 1 == static_cast<uint32_t>(count)) {
        block = document->lastBlock();
        while (block.userState() == Continuation) block = block.previous();
        return block;
    }
    uint32_t line = 0;
    for (block = document->begin(); block.isValid(); block = block.next()) {
        if (block != document->begin() && block.userState() != Continuation) ++line;
        if (line == index) return block;
    }
    return {};
}

bool TOutputLines::OutputLineText(uint32_t index, std::string& text) {
    try {
        const int count = LineCount();
        if (index >= static_cast<uint32_t>(count)) {
            text.clear();
            return true;
        }
        const bool last = index + 1 == static_cast<uint32_t>(count);
        if (last && LastLineValid) {
            text = LastLine;
            return true;
        }
        text.clear();
        ShowPending();
        QTextBlock block = FirstBlockOfLine(index);
        do {
            text += BlockText(block).toLatin1().toStdString();
            block = block.next();
        } while (block.isValid() && block.userState() == Continuation);
        if (last) {
            LastLine = text;
            LastLineValid = true;
        }
        return true;
    } catch (const std::bad_alloc&) {
        return TakeNoMoreOutput();
    }
}

bool TOutputLines::SetOutputLineText(uint32_t index, const std::string& text) {
    const int count = LineCount();
    if (index > static_cast<uint32_t>(count)) return false;
    const bool last = index + 1 == static_cast<uint32_t>(count);
    try {
        if (last && LastLineValid && text.size() >= LastLine.size() &&
            text.compare(0, LastLine.size(), LastLine) == 0) {
            // The usual case: output appended to the last line; only the new bytes go in.
            Collect(std::string_view(text).substr(LastLine.size()));
            return true;
        }
        if (index == static_cast<uint32_t>(count)) {
            if (!AppendOutputLine()) return false;
            Collect(text);
            ShowPending();
        } else {
            ShowPending();
            Unshare();
            const QString line = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
            // The line's pieces are replaced by the new text's.
            const bool atEnd = ScrolledToEnd();
            const QTextBlock first = FirstBlockOfLine(index);
            QTextBlock end = first;
            int pieces = 0;
            while (end.next().isValid() && end.next().userState() == Continuation) {
                end = end.next();
                ++pieces;
            }
            QTextCursor cursor(Box->document());
            cursor.setPosition(first.position());
            cursor.setPosition(end.position() + end.length() - 1, QTextCursor::KeepAnchor);
            OwnChange = true;
            cursor.removeSelectedText();
            // The joined block may keep the state of the last piece: it starts the line.
            cursor.block().setUserState(-1);
            Continuations -= pieces;
            InsertPieces(cursor, line);
            OwnChange = false;
            if (atEnd) ScrollToEnd();
        }
        if (index + 1 >= static_cast<uint32_t>(LineCount())) {
            LastLine = text;
            LastLineValid = true;
        }
        return true;
    } catch (const std::bad_alloc&) {
        return TakeNoMoreOutput();
    }
}

// Out of memory in the middle of a change: the window's own record of its last line can no
// longer be trusted, and the engine hears that the change failed.
bool TOutputLines::TakeNoMoreOutput() {
    OwnChange = false;
    LastLineValid = false;
    Continuations = -1;
    Pending.clear();
    PendingBreaks = 0;
    return false;
}

bool TOutputLines::AppendToOutputLine(uint32_t index, std::string_view text) {
    if (LostOutput) {
        LostOutput = false;
        return false;
    }
    const bool last = index + 1 == static_cast<uint32_t>(LineCount());
    if (!last || !LastLineValid) {
        std::string line;
        if (!OutputLineText(index, line)) return false;
        line.append(text);
        return SetOutputLineText(index, line);
    }
    try {
        Collect(text);
        return true;
    } catch (const std::bad_alloc&) {
        return TakeNoMoreOutput();
    }
}

bool TOutputLines::AppendOutputLine() {
    if (LostOutput) {
        LostOutput = false;
        return false;
    }
    try {
        Pending.append('\n');
        ++PendingBreaks;
        LastLine.clear();
        LastLineValid = true;
        Collect({});
        return true;
    } catch (const std::bad_alloc&) {
        return TakeNoMoreOutput();
    }
}

void TOutputLines::Collect(std::string_view bytes) {
    Pending.append(bytes.data(), static_cast<qsizetype>(bytes.size()));
    LastLine.append(bytes);
    if (PendingBreaks == 0 && LastLine.size() - static_cast<size_t>(Pending.size()) >= LongLine) {
        // Every edit of a long line lays out all of it: the bytes wait, the longer the more the
        // last edit cost, so that laying out takes a small share of the time and output into
        // one line costs time in proportion to its length.
        if (!TailTimer->isActive())
            TailTimer->start(static_cast<int>(std::max<qint64>(TailDelay, 10 * LastTailCost)));
        return;
    }
    TailTimer->stop();
    if (Frames.Due()) ShowPending();
}

void TOutputLines::ShowPending() {
    TailTimer->stop();
    Frames.Timer.stop();
    if (Pending.isEmpty()) return;
    try {
        const QString text = QString::fromLatin1(Pending);
        Pending.clear();
        PendingBreaks = 0;
        const bool longLine = LastLineValid && LastLine.size() >= LongLine;
        QElapsedTimer cost;
        cost.start();
        Unshare();
        const bool atEnd = ScrolledToEnd();
        QTextCursor cursor(Box->document());
        cursor.movePosition(QTextCursor::End);
        OwnChange = true;
        // One edit: the box lays out and repaints once for all of it.
        cursor.beginEditBlock();
        for (qsizetype from = 0;;) {
            const qsizetype lf = text.indexOf(QLatin1Char('\n'), from);
            const qsizetype end = lf < 0 ? text.size() : lf;
            InsertPieces(cursor, QStringView(text).mid(from, end - from));
            if (lf < 0) break;
            cursor.insertBlock();
            cursor.block().setUserState(-1);
            from = lf + 1;
        }
        cursor.endEditBlock();
        OwnChange = false;
        if (atEnd) ScrollToEnd();
        if (longLine) {
            // The layout happens at the next paint; it is part of what an edit of the line costs.
            Box->viewport()->repaint();
            LastTailCost = cost.elapsed();
        }
    } catch (const std::bad_alloc&) {
        // Also on a timer, outside the engine's hand-over: its next one hears of the failure.
        TakeNoMoreOutput();
        LostOutput = true;
    }
    Frames.Done();
}

// Inserts text at the cursor, which stands at the end of a block; whenever the block reaches
// ShownLineLength characters the text goes on in a new piece.
void TOutputLines::InsertPieces(QTextCursor& cursor, QStringView text) {
    qsizetype from = 0;
    qsizetype room = std::max(0, ShownLineLength - (cursor.block().length() - 1));
    for (;;) {
        const qsizetype size = std::min(room, text.size() - from);
        if (size > 0) InsertShown(cursor, text.mid(from, size));
        from += size;
        if (from >= text.size()) break;
        cursor.insertBlock();
        cursor.block().setUserState(Continuation);
        if (Continuations >= 0) ++Continuations;
        room = ShownLineLength;
    }
}

void TOutputLines::InsertShown(QTextCursor& cursor, QStringView text) {
    const auto control = std::find_if(text.begin(), text.end(), ShownAsSpace);
    QTextCharFormat plain = cursor.charFormat();
    if (control == text.end() && !plain.hasProperty(ControlCode)) {
        cursor.insertText(text.toString());
        return;
    }
    // Text after a shown control character would take its format over.
    plain.clearProperty(ControlCode);
    for (qsizetype from = 0; from < text.size();) {
        qsizetype end = from;
        while (end < text.size() && !ShownAsSpace(text[end])) ++end;
        if (end > from) cursor.insertText(text.mid(from, end - from).toString(), plain);
        if (end == text.size()) break;
        const QChar code = text[end];
        from = end;
        while (end < text.size() && text[end] == code) ++end;
        QTextCharFormat shown = plain;
        shown.setProperty(ControlCode, int(code.unicode()));
        cursor.insertText(QString(end - from, QLatin1Char(' ')), shown);
        from = end;
    }
}

QString TOutputLines::BlockText(const QTextBlock& block) {
    QString text = block.text();
    if (!text.contains(QLatin1Char(' '))) return text;
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        const QVariant code = fragment.charFormat().property(ControlCode);
        if (!code.isValid()) continue;
        const int from = fragment.position() - block.position();
        for (int i = 0; i < fragment.length(); ++i) text[from + i] = QChar(code.toInt());
    }
    return text;
}

bool TOutputLines::ScrolledToEnd() const {
    const QScrollBar* bar = Box->verticalScrollBar();
    return bar->value() == bar->maximum();
}

void TOutputLines::ScrollToEnd() {
    QScrollBar* bar = Box->verticalScrollBar();
    bar->setValue(bar->maximum());
}

// ---------------------------------------------------------------------------------------------
// Whole text

QByteArray TOutputLines::DocumentText(const QTextDocument& document) {
    QByteArray result;
    result.reserve(document.characterCount() + document.blockCount());
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block != document.begin() && block.userState() != Continuation) result.append("\r\n", 2);
        // QTextBlock::text keeps every byte as it is; QTextDocument::toPlainText would turn
        // the non-breaking space (0xA0) into a blank.
        result.append(BlockText(block).toLatin1());
    }
    return result;
}

QByteArray TOutputLines::Text() const {
    QByteArray pending = Pending;
    return DocumentText(*Shown) + pending.replace('\n', "\r\n");
}

void TOutputLines::SetText(const QByteArray& text) {
    DropPending();
    if (Shared()) ShowDocument(nullptr);
    Continuations = Fill(*Shown, text);
    LastLineValid = false;
}

int TOutputLines::Fill(QTextDocument& document, const QByteArray& text) {
    QString lines = QString::fromLatin1(text);
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    // Lines longer than ShownLineLength go in as their pieces; the block numbers of the pieces
    // after a line's first are noted, to be marked once the text is in.
    std::vector<int> pieces;
    QString shown;
    bool longLine = false;
    for (qsizetype start = 0, end = 0; !longLine && start <= lines.size(); start = end + 1) {
        end = lines.indexOf(QLatin1Char('\n'), start);
        if (end < 0) end = lines.size();
        longLine = end - start > ShownLineLength;
    }
    if (longLine) {
        shown.reserve(lines.size() + lines.size() / ShownLineLength);
        int block = 0;
        qsizetype start = 0;
        for (;;) {
            qsizetype end = lines.indexOf(QLatin1Char('\n'), start);
            const bool lastLine = end < 0;
            if (lastLine) end = lines.size();
            shown += QStringView(lines).mid(start, std::min<qsizetype>(ShownLineLength, end - start));
            for (qsizetype from = start + ShownLineLength; from < end; from += ShownLineLength) {
                shown += QLatin1Char('\n');
                pieces.push_back(++block);
                shown += QStringView(lines).mid(from, std::min<qsizetype>(ShownLineLength, end - from));
            }
            if (lastLine) break;
            shown += QLatin1Char('\n');
            ++block;
            start = end + 1;
        }
    }
    // Control characters go in as spaces (a lone CR would even start a new block), and get
    // their codes once the text is in: positions in the text are positions in the document.
    QString& whole = pieces.empty() ? lines : shown;
    struct TRun {
        qsizetype From, Length;
        QChar Code;
    };
    std::vector<TRun> controls;
    for (qsizetype i = 0; i < whole.size(); ++i) {
        if (!ShownAsSpace(whole[i])) continue;
        if (!controls.empty() && controls.back().From + controls.back().Length == i && controls.back().Code == whole[i])
            ++controls.back().Length;
        else
            controls.push_back({i, 1, whole[i]});
        whole[i] = QLatin1Char(' ');
    }
    document.setPlainText(whole);
    document.setUndoRedoEnabled(false);
    if (!controls.empty()) {
        QTextCursor cursor(&document);
        for (const TRun& run : controls) {
            cursor.setPosition(int(run.From));
            cursor.setPosition(int(run.From + run.Length), QTextCursor::KeepAnchor);
            QTextCharFormat shown;
            shown.setProperty(ControlCode, int(run.Code.unicode()));
            cursor.mergeCharFormat(shown);
        }
    }
    auto next = pieces.begin();
    int block = 0;
    for (QTextBlock b = document.begin(); b.isValid(); b = b.next(), ++block) {
        const bool piece = next != pieces.end() && *next == block;
        if (piece) ++next;
        b.setUserState(piece ? Continuation : -1);
    }
    return static_cast<int>(pieces.size());
}

void TOutputLines::Clear() {
    RunStart -= EngineLength();
    DropPending();
    if (Shared()) {
        ShowDocument(nullptr);
        return;
    }
    Box->clear();
    Box->document()->setUndoRedoEnabled(false);
    Box->document()->firstBlock().setUserState(-1);
    Continuations = 0;
    LastLineValid = false;
}

void TOutputLines::DropPending() {
    TailTimer->stop();
    Frames.Timer.stop();
    Pending.clear();
    PendingBreaks = 0;
    LostOutput = false;
}

void TOutputLines::EchoInput(const QByteArray& data, uint64_t executed, bool lineBreak) {
    ShowPending();
    TEcho echo{executed, EngineLength() - RunStart, data.size(), lineBreak, data};
    if (!data.isEmpty()) {
        Unshare();
        QTextDocument* document = Box->document();
        QTextCursor cursor(document);
        const QTextBlock last = document->lastBlock();
        if (document->blockCount() > 1 && last.length() == 1) cursor.setPosition(last.position() - 1);
        else cursor.movePosition(QTextCursor::End);
        echo.Pos = CountAt(cursor.position()) - RunStart;
        const bool atEnd = ScrolledToEnd();
        InsertShown(cursor, QString::fromLatin1(data));
        if (atEnd) ScrollToEnd();
    }
    if (lineBreak) AppendOutputLine();
    Echoes.push_back(echo);
}

// ---------------------------------------------------------------------------------------------
// The run's share of the text

qint64 TOutputLines::EngineLength() const {
    LineCount();  // counts the continuations when they are not known
    return Box->document()->characterCount() - 1 - Continuations + Pending.size();
}

// Only while nothing is collected. At the boundary of two pieces the position is the end of the
// first: a cut there takes the break between them too.
int TOutputLines::PositionOf(qint64 count) const {
    const QTextDocument* document = Box->document();
    LineCount();
    if (Continuations == 0) return static_cast<int>(count);
    qint64 start = 0;  // the engine's characters before the block
    QTextBlock block = document->begin();
    for (; block.next().isValid(); block = block.next()) {
        const qint64 length = block.length() - 1;
        if (count <= start + length) break;
        start += length + (block.next().userState() == Continuation ? 0 : 1);
    }
    return block.position() + static_cast<int>(count - start);
}

qint64 TOutputLines::CountAt(int position) const {
    LineCount();
    if (Continuations == 0) return position;
    int breaks = 0;  // the breaks before the continuation blocks up to position
    for (QTextBlock block = Box->document()->begin(); block.isValid() && block.position() <= position;
         block = block.next())
        if (block.userState() == Continuation) ++breaks;
    return position - breaks;
}

void TOutputLines::MarkRunStart() {
    RunStart = EngineLength();
    Echoes.clear();
    TakenBack.clear();
}

bool TOutputLines::EchoAgain(uint64_t executed) {
    // Echoes before this count belong to reads a forward move has passed: stale.
    while (!TakenBack.empty() && TakenBack.front().At < executed) TakenBack.erase(TakenBack.begin());
    if (TakenBack.empty() || TakenBack.front().At != executed) return false;
    const TEcho echo = std::move(TakenBack.front());
    TakenBack.erase(TakenBack.begin());
    EchoInput(echo.Text, echo.At, echo.Break);
    return true;
}

// The engine's characters from..to (to: the end of the text at most) leave the text, in one edit.
bool TOutputLines::RemoveRange(qint64 from, qint64 to) {
    Unshare();
    QTextCursor cursor(Box->document());
    cursor.setPosition(PositionOf(from));
    // The block the cut ends in may take over the state of the last block removed.
    const int state = cursor.block().userState();
    cursor.setPosition(to >= EngineLength() ? Box->document()->characterCount() - 1 : PositionOf(to),
                       QTextCursor::KeepAnchor);
    const bool atEnd = ScrolledToEnd();
    OwnChange = true;
    cursor.removeSelectedText();
    cursor.block().setUserState(state);
    OwnChange = false;
    // The last line and the number of pieces are read from the box again when needed.
    LastLineValid = false;
    Continuations = -1;
    if (atEnd) ScrollToEnd();
    return true;
}

bool TOutputLines::TruncateRun(uint64_t shown, uint64_t executed) {
    try {
        ShowPending();
        qint64 keep = RunStart + static_cast<qint64>(std::min<uint64_t>(shown, INT64_MAX / 2));
        const auto later = std::find_if(Echoes.begin(), Echoes.end(), [executed](const TEcho& echo) {
            return echo.At >= executed;
        });
        for (auto echo = Echoes.begin(); echo != later; ++echo) keep += echo->Length + (echo->Break ? 1 : 0);
        // The first later echo's text may stand before the last line break of the output kept.
        if (later != Echoes.end() && later->Length > 0) {
            const qint64 from = RunStart + later->Pos;
            if (from >= 0 && from < keep && from + later->Length <= EngineLength()) RemoveRange(from, from + later->Length);
        }
        // Earlier cuts took back later echoes still.
        TakenBack.insert(TakenBack.begin(), std::make_move_iterator(later), std::make_move_iterator(Echoes.end()));
        Echoes.erase(later, Echoes.end());
        keep = std::max<qint64>(0, keep);
        if (keep >= EngineLength()) return true;
        return RemoveRange(keep, EngineLength());
    } catch (const std::bad_alloc&) {
        return TakeNoMoreOutput();
    }
}
