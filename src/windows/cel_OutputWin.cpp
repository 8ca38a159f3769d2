#include "cel_OutputWin.h"

#include "cel_Dialogs.h"
#include "cel_Files.h"
#include "cel_EditWin.h"
#include "cel_Main.h"
#include "cel_MemoryWin.h"
#include "cel_NumberSyntax.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QElapsedTimer>
#include <QTimer>
#include <QWheelEvent>
#include <Qsci/qsciscintilla.h>

#include <new>

TOutputWin* OutputWin = nullptr;

namespace {

constexpr int PanelHeight = 28;
constexpr int InputDataSize = static_cast<int>(cel::IOBlockSize);  // the engine's input buffer
const QColor Silver(192, 192, 192);
// From this length of the last line on, appended output is collected for TailDelay ms.
constexpr size_t LongLine = 16384;
constexpr int TailDelay = 100;
// A line longer than this is shown in pieces of this many characters, one below the other.
// Laying out a line takes time and memory in proportion to its length: a program printing
// megabytes without a line break would otherwise freeze the window for seconds at every update
// and take gigabytes. For everything else (the engine's line numbers, the text saved or kept
// with a document, copying) the pieces are one line.
constexpr int ShownLineLength = 65536;
// QTextBlock::userState of every piece of a line but its first.
constexpr int Continuation = 1;

// The output box: copying joins the pieces of a long line, and keeps every byte as it is.
class TOutputText final : public QPlainTextEdit {
public:
    using QPlainTextEdit::QPlainTextEdit;

protected:
    QMimeData* createMimeDataFromSelection() const override {
        const QTextCursor cursor = textCursor();
        const int start = cursor.selectionStart();
        const int end = cursor.selectionEnd();
        QString text;
        for (QTextBlock block = document()->findBlock(start); block.isValid() && block.position() <= end;
             block = block.next()) {
            if (block.position() > start && block.userState() != Continuation) text += QLatin1Char('\n');
            const int from = std::max(start - block.position(), 0);
            const int to = std::min(end - block.position(), block.length() - 1);
            if (to > from) text += block.text().mid(from, to - from);
        }
        auto* data = new QMimeData;
        data->setText(text);
        return data;
    }
};

void SetFieldColor(QLineEdit* edit, const QColor& color) {
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, color);
    edit->setPalette(palette);
}

}  // namespace

TOutputWin::TOutputWin(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::Window) {
    setObjectName(QStringLiteral("OutputWin"));
    setWindowTitle(QStringLiteral("Output"));
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    setMinimumSize(320, 128);

    Output = new TOutputText(this);
    Output->setObjectName(QStringLiteral("Output"));
    Output->setReadOnly(true);
    Output->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Output->setLineWrapMode(QPlainTextEdit::NoWrap);
    Output->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Output->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Output->setFont(cel::FixedFont(10));
    // Program output would otherwise pile up in the undo history of a read-only box.
    Output->document()->setUndoRedoEnabled(false);
    ApplyColors(0xFFFFFF, 0x000000);

    PanelInput = new QWidget(this);
    PanelInput->setObjectName(QStringLiteral("PanelInput"));

    LblText = new QLabel(QStringLiteral("Enter text:"), PanelInput);
    LblText->setObjectName(QStringLiteral("LblText"));
    EditLine = new QLineEdit(PanelInput);
    EditLine->setObjectName(QStringLiteral("EditLine"));
    LblNumber = new QLabel(QStringLiteral("or a number:"), PanelInput);
    LblNumber->setObjectName(QStringLiteral("LblNumber"));
    EditNumber = new QLineEdit(PanelInput);
    EditNumber->setObjectName(QStringLiteral("EditNumber"));
    EditNumber->setMaxLength(5);
    // A line edit keeps 32767 characters unless told otherwise; a pasted line may fill the whole
    // input buffer.
    EditLine->setMaxLength(InputDataSize);
    BtnOk = new QPushButton(QStringLiteral("&Ok"), PanelInput);
    BtnOk->setObjectName(QStringLiteral("BtnOk"));
    BtnOk->setDefault(true);
    BtnSave = new QPushButton(QStringLiteral("&Save ..."), PanelInput);
    BtnSave->setObjectName(QStringLiteral("BtnSave"));
    BtnSave->setEnabled(false);

    for (QLineEdit* edit : {EditLine, EditNumber}) {
        edit->setFont(cel::FixedFont(10));
        edit->setGeometry(0, 2, 57, 24);
    }
    for (QLabel* label : {LblText, LblNumber}) {
        label->adjustSize();
        label->move(0, 8);
    }
    for (QPushButton* button : {BtnOk, BtnSave}) button->setGeometry(0, 2, 65, 24);
    DisableInput();

    // The editor window exists already and carries the font of the settings file.
    if (EditWin != nullptr && EditWin->Editor != nullptr)
        SetOutputFont(EditWin->Editor->font().family(), EditWin->Editor->font().pointSize());
    if (MainWin != nullptr) ApplyColors(MainWin->TextColor, MainWin->BackgroundColor);

    connect(Output, &QPlainTextEdit::textChanged, this, [this] { OutputChange(); });
    TailTimer = new QTimer(this);
    TailTimer->setSingleShot(true);
    TailTimer->setInterval(TailDelay);
    connect(TailTimer, &QTimer::timeout, this, &TOutputWin::FlushTail);
    connect(Output->document(), &QTextDocument::contentsChanged, this, [this] {
        if (OwnChange) return;
        LastLineValid = false;
        PendingTail.clear();
        Continuations = -1;
    });
    // Enter in either field presses the default button.
    for (QLineEdit* edit : {EditLine, EditNumber})
        connect(edit, &QLineEdit::returnPressed, this, [this] {
            if (BtnOk->isEnabled()) BtnOk->click();
        });
    connect(BtnOk, &QPushButton::clicked, this, &TOutputWin::BtnOkClick);
    connect(BtnSave, &QPushButton::clicked, this, &TOutputWin::BtnSaveClick);
    Output->installEventFilter(this);
    Output->viewport()->installEventFilter(this);
    Output->viewport()->setMouseTracking(true);
    EditLine->installEventFilter(this);
    EditNumber->installEventFilter(this);

    resize(420, 233);
    OutputWin = this;
}

// The children outlive this object's own part; they must not call back into it on their way out.
TOutputWin::~TOutputWin() {
    Output->disconnect(this);
    Output->document()->disconnect(this);
    Output->removeEventFilter(this);
    Output->viewport()->removeEventFilter(this);
    EditLine->removeEventFilter(this);
    EditNumber->removeEventFilter(this);
    if (OutputWin == this) OutputWin = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Line access for the engine's output (GUI thread, inside the engine's hand-off)

int TOutputWin::LineCount() const {
    const QTextDocument* document = Output->document();
    if (Continuations < 0) {
        int count = 0;
        for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
            if (block.userState() == Continuation) ++count;
        Continuations = count;
    }
    return document->blockCount() - Continuations;
}

QTextBlock TOutputWin::FirstBlockOfLine(uint32_t index) const {
    const QTextDocument* document = Output->document();
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

bool TOutputWin::OutputLineText(uint32_t index, std::string& text) const {
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
        QTextBlock block = FirstBlockOfLine(index);
        do {
            text += block.text().toLatin1().toStdString();
            block = block.next();
        } while (block.isValid() && block.userState() == Continuation);
        if (last) {
            LastLine = text;
            LastLineValid = true;
        }
        return true;
    } catch (const std::bad_alloc&) {
        LastLineValid = false;
        return false;
    }
}

bool TOutputWin::SetOutputLineText(uint32_t index, const std::string& text) {
    const int count = LineCount();
    if (index > static_cast<uint32_t>(count)) return false;
    const bool last = index + 1 == static_cast<uint32_t>(count);
    try {
        if (last && LastLineValid && text.size() >= LastLine.size() &&
            text.compare(0, LastLine.size(), LastLine) == 0) {
            // The usual case: output appended to the last line; only the new bytes go in.
            AppendTail(std::string_view(text).substr(LastLine.size()));
            return true;
        }
        FlushTail();
        const QString line = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
        if (index == static_cast<uint32_t>(count)) {
            InsertAtEnd(line, true);
        } else {
            // The line's pieces are replaced by the new text's.
            const bool atEnd = ScrolledToEnd();
            const QTextBlock first = FirstBlockOfLine(index);
            QTextBlock end = first;
            int pieces = 0;
            while (end.next().isValid() && end.next().userState() == Continuation) {
                end = end.next();
                ++pieces;
            }
            QTextCursor cursor(Output->document());
            cursor.setPosition(first.position());
            cursor.setPosition(end.position() + end.length() - 1, QTextCursor::KeepAnchor);
            OwnChange = true;
            cursor.removeSelectedText();
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
bool TOutputWin::TakeNoMoreOutput() {
    OwnChange = false;
    LastLineValid = false;
    Continuations = -1;
    PendingTail.clear();
    return false;
}

bool TOutputWin::AppendToOutputLine(uint32_t index, std::string_view text) {
    const bool last = index + 1 == static_cast<uint32_t>(LineCount());
    if (!last || !LastLineValid) {
        std::string line;
        if (!OutputLineText(index, line)) return false;
        line.append(text);
        return SetOutputLineText(index, line);
    }
    try {
        AppendTail(text);
        return true;
    } catch (const std::bad_alloc&) {
        return TakeNoMoreOutput();
    }
}

void TOutputWin::AppendTail(std::string_view tail) {
    if (tail.empty()) return;
    if (LastLine.size() - static_cast<size_t>(PendingTail.size()) >= LongLine) {
        // Every update of a long line lays out all of it: the bytes wait, the longer the more
        // the last update cost, so that laying out takes a small share of the time and output
        // into one line costs time in proportion to its length.
        PendingTail.append(tail.data(), static_cast<qsizetype>(tail.size()));
        if (!TailTimer->isActive())
            TailTimer->start(static_cast<int>(std::max<qint64>(TailDelay, 10 * LastTailCost)));
    } else {
        FlushTail();
        InsertAtEnd(QString::fromLatin1(tail.data(), static_cast<qsizetype>(tail.size())), false);
    }
    LastLine.append(tail);
}

bool TOutputWin::AppendOutputLine() {
    try {
        FlushTail();
        InsertAtEnd(QString(), true);
        LastLine.clear();
        LastLineValid = true;
        return true;
    } catch (const std::bad_alloc&) {
        return TakeNoMoreOutput();
    }
}

void TOutputWin::FlushTail() {
    TailTimer->stop();
    if (PendingTail.isEmpty()) return;
    const QString tail = QString::fromLatin1(PendingTail);
    PendingTail.clear();
    QElapsedTimer cost;
    cost.start();
    InsertAtEnd(tail, false);
    // The layout happens at the next paint; it is part of what an update of the line costs.
    Output->viewport()->repaint();
    LastTailCost = cost.elapsed();
}

// Appends text to the last line, or as a new line; keeps the view at the end when it was there.
void TOutputWin::InsertAtEnd(const QString& text, bool newLine) {
    const bool atEnd = ScrolledToEnd();
    QTextCursor cursor(Output->document());
    cursor.movePosition(QTextCursor::End);
    OwnChange = true;
    if (newLine) {
        cursor.insertBlock();
        cursor.block().setUserState(-1);
    }
    InsertPieces(cursor, text);
    OwnChange = false;
    if (atEnd) ScrollToEnd();
}

// Inserts text at the cursor, which stands at the end of a block; whenever the block reaches
// ShownLineLength characters the text goes on in a new piece.
void TOutputWin::InsertPieces(QTextCursor& cursor, const QString& text) {
    qsizetype from = 0;
    qsizetype room = std::max(0, ShownLineLength - (cursor.block().length() - 1));
    for (;;) {
        const qsizetype size = std::min(room, text.size() - from);
        if (size > 0) cursor.insertText(text.mid(from, size));
        from += size;
        if (from >= text.size()) break;
        cursor.insertBlock();
        cursor.block().setUserState(Continuation);
        if (Continuations >= 0) ++Continuations;
        room = ShownLineLength;
    }
}

bool TOutputWin::ScrolledToEnd() const {
    const QScrollBar* bar = Output->verticalScrollBar();
    return bar->value() == bar->maximum();
}

void TOutputWin::ScrollToEnd() {
    QScrollBar* bar = Output->verticalScrollBar();
    bar->setValue(bar->maximum());
}

// ---------------------------------------------------------------------------------------------
// Whole text

QByteArray TOutputWin::Text() const {
    const QTextDocument* document = Output->document();
    QByteArray result;
    result.reserve(document->characterCount() + document->blockCount());
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (block != document->begin() && block.userState() != Continuation) result.append("\r\n", 2);
        // QTextBlock::text keeps every byte as it is; QTextDocument::toPlainText would turn
        // the non-breaking space (0xA0) into a blank.
        result.append(block.text().toLatin1());
    }
    return result + PendingTail;
}

void TOutputWin::SetText(const QByteArray& text) {
    TailTimer->stop();
    PendingTail.clear();
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
    Output->setPlainText(pieces.empty() ? lines : shown);
    Output->document()->setUndoRedoEnabled(false);
    auto next = pieces.begin();
    int block = 0;
    for (QTextBlock b = Output->document()->begin(); b.isValid(); b = b.next(), ++block) {
        const bool piece = next != pieces.end() && *next == block;
        if (piece) ++next;
        b.setUserState(piece ? Continuation : -1);
    }
    Continuations = static_cast<int>(pieces.size());
    LastLineValid = false;
}

void TOutputWin::Clear() {
    TailTimer->stop();
    PendingTail.clear();
    Output->clear();
    Output->document()->setUndoRedoEnabled(false);
    Output->document()->firstBlock().setUserState(-1);
    Continuations = 0;
    LastLineValid = false;
}

void TOutputWin::OutputChange() { BtnSave->setEnabled(!Output->document()->isEmpty()); }

// ---------------------------------------------------------------------------------------------
// Input panel

void TOutputWin::EnableInput() {
    for (QLineEdit* edit : {EditLine, EditNumber}) {
        edit->setEnabled(true);
        SetFieldColor(edit, QApplication::palette(edit).color(QPalette::Active, QPalette::Base));
    }
    BtnOk->setEnabled(true);
    LastInputEdit = EditLine;
    EditLine->setFocus();
}

void TOutputWin::DisableInput() {
    for (QLineEdit* edit : {EditLine, EditNumber}) {
        edit->clear();
        edit->setEnabled(false);
        SetFieldColor(edit, Silver);
    }
    BtnOk->setEnabled(false);
}

void TOutputWin::EditLineEnter() {
    LastInputEdit = EditLine;
    EditNumber->clear();
    BtnOk->setEnabled(true);
}

void TOutputWin::EditNumberEnter() {
    LastInputEdit = EditNumber;
    EditLine->clear();
    BtnOk->setEnabled(true);
}

// Enter in the text box must not confirm input.
void TOutputWin::OutputEnter() { BtnOk->setEnabled(false); }

void TOutputWin::ReturnToField(QLineEdit* edit) {
    raise();
    activateWindow();
    edit->setFocus(Qt::OtherFocusReason);
}

bool TOutputWin::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Wheel && watched == Output->viewport() && MemoryWin != nullptr &&
        MemoryWin->isVisible()) {
        // The wheel belongs to the memory window when the pointer is over it and the program is
        // paused; otherwise the text box scrolls.
        event->ignore();
        MemoryWin->ForwardWheel(static_cast<QWheelEvent*>(event));
        if (event->isAccepted()) return true;
    } else if (event->type() == QEvent::MouseMove && watched == Output->viewport() && MemoryWin != nullptr) {
        MemoryWin->EraseHover();
    } else if (event->type() == QEvent::FocusIn) {
        if (watched == Output) OutputEnter();
        else if (watched == EditLine) EditLineEnter();
        else if (watched == EditNumber) EditNumberEnter();
    }
    return QWidget::eventFilter(watched, event);
}

// Runs while the engine stands suspended in its input command; the delivery resumes it.
void TOutputWin::BtnOkClick() {
    if (MainWin == nullptr || !MainWin->WaitingForInput() || !MainWin->Interpreter.HasEngine())
        return;
    cel::TBFInterpreter& interpreter = MainWin->Interpreter;
    if (LastInputEdit == EditLine) {
        const QByteArray lineBreak = MainWin->LineBreakReport();
        QByteArray data = EditLine->text().toLatin1().left(InputDataSize - lineBreak.size());
        if (data.isEmpty() && lineBreak.isEmpty()) {
            cel::ShowInformation(this, QStringLiteral("You did not enter any data. Please try again."));
            ReturnToField(EditLine);
            return;
        }
        // Echo: the typed text goes before a final line break, so that output which ended a
        // line before the read stays below the entered text.
        FlushTail();
        if (!data.isEmpty()) {
            QTextDocument* document = Output->document();
            QTextCursor cursor(document);
            const QTextBlock last = document->lastBlock();
            if (document->blockCount() > 1 && last.length() == 1) cursor.setPosition(last.position() - 1);
            else cursor.movePosition(QTextCursor::End);
            const bool atEnd = ScrolledToEnd();
            cursor.insertText(QString::fromLatin1(data));
            if (atEnd) ScrollToEnd();
        }
        if (!lineBreak.isEmpty()) {
            AppendOutputLine();
            interpreter.SetOutputLine(interpreter.GetOutputLine() + 1);
            data.append(lineBreak);
        }
        interpreter.DeliverLine(cel::BytesView(data));
    } else if (LastInputEdit == EditNumber) {
        int32_t value = 0;
        if (!cel::ParseInputNumber(EditNumber->text().toLatin1().toStdString(), value)) {
            cel::ShowInformation(this, QStringLiteral("You did not enter a legal number. Please try again."));
            ReturnToField(EditNumber);
            return;
        }
        interpreter.DeliverNumber(value);
    }
}

void TOutputWin::BtnSaveClick() {
    const QString path = cel::Dialogs().SaveFileName(this, QStringLiteral("Save Output Window To File"),
                                                     SaveDir, QStringLiteral("Text files|*.txt|All files|*.*"),
                                                     QStringLiteral("txt"));
    if (path.isEmpty()) return;
    SaveDir = QFileInfo(path).absolutePath();
    // A failed save leaves an existing file as it was.
    if (!cel::ReplaceFileContents(path, Text()))
        cel::ShowError(this, QStringLiteral("An error occurred. The contents of the output window could not be saved."));
}

// ---------------------------------------------------------------------------------------------
// Appearance

void TOutputWin::SetOutputFont(const QString& name, int size) { Output->setFont(cel::FixedFont(size, name)); }

void TOutputWin::ApplyColors(uint32_t textColor, uint32_t backColor) {
    QPalette palette = Output->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Text, cel::ColorFromStored(textColor));
        palette.setColor(group, QPalette::Base, cel::ColorFromStored(backColor));
    }
    // The selection stays visible while the box does not have the focus.
    palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    Output->setPalette(palette);
}

// ---------------------------------------------------------------------------------------------
// Window events

void TOutputWin::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (MainWin != nullptr && MainWin->Running() && MainWin->Interpreter.HasEngine())
        MainWin->Interpreter.SetOutputVisible(true);
}

// Closing only hides the window; output made meanwhile is not collected for it.
void TOutputWin::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
    if (MainWin == nullptr) return;
    if (MainWin->MenuOutput != nullptr) MainWin->MenuOutput->setChecked(false);
    if (MainWin->Running() && MainWin->Interpreter.HasEngine()) MainWin->Interpreter.SetOutputVisible(false);
}

void TOutputWin::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && MainWin != nullptr)
        MainWin->ActiveWorkWindow = this;
}

void TOutputWin::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int outputHeight = qMax(0, height() - PanelHeight);
    Output->setGeometry(0, 0, width(), outputHeight);
    PanelInput->setGeometry(0, outputHeight, width(), PanelHeight);
    LayoutInputPanel();
}

// Left to right: label, line field (taking the spare width), label, number field, Ok; Save
// at the right edge.
void TOutputWin::LayoutInputPanel() {
    const int panelWidth = PanelInput->width();
    LblText->move(2, LblText->y());
    EditLine->move(LblText->x() + LblText->width() + 2, EditLine->y());
    EditLine->resize(qMax(0, panelWidth - (LblText->width() + LblNumber->width() + BtnOk->width() +
                                           BtnSave->width() + EditNumber->width()) - 16),
                     EditLine->height());
    LblNumber->move(EditLine->x() + EditLine->width() + 2, LblNumber->y());
    EditNumber->move(LblNumber->x() + LblNumber->width() + 2, EditNumber->y());
    BtnOk->move(EditNumber->x() + EditNumber->width() + 4, BtnOk->y());
    BtnSave->move(panelWidth - BtnSave->width() - 2, BtnSave->y());
}
