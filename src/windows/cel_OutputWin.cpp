#include "cel_OutputWin.h"

#include "cel_OutputLines.h"

#include "cel_Dialogs.h"
#include "cel_Interpreter.h"
#include "cel_Files.h"
#include "cel_EditWin.h"
#include "cel_MemoryWin.h"
#include "cel_NumberSyntax.h"
#include "cel_Settings.h"
#include "cel_TextBox.h"
#include "cel_Workspace.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QWheelEvent>
#include <Qsci/qsciscintilla.h>


TOutputWin* OutputWin = nullptr;

namespace {

constexpr int PanelHeight = 28;
constexpr int InputDataSize = static_cast<int>(cel::IOBlockSize);  // the engine's input buffer
const QColor Silver(192, 192, 192);
// The output box: copying joins the pieces of a long line, and keeps every byte as it is (the
// control characters shown as spaces too).
class TOutputText final : public TTextBox {
public:
    using TTextBox::TTextBox;

protected:
    QMimeData* createMimeDataFromSelection() const override {
        const QTextCursor cursor = textCursor();
        const int start = cursor.selectionStart();
        const int end = cursor.selectionEnd();
        QString text;
        for (QTextBlock block = document()->findBlock(start); block.isValid() && block.position() <= end;
             block = block.next()) {
            if (block.position() > start && block.userState() != TOutputLines::Continuation) text += QLatin1Char('\n');
            const int from = std::max(start - block.position(), 0);
            const int to = std::min(end - block.position(), block.length() - 1);
            if (to > from) text += TOutputLines::BlockText(block).mid(from, to - from);
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
    BtnEnd = new QPushButton(QStringLiteral("&End"), PanelInput);
    BtnEnd->setObjectName(QStringLiteral("BtnEnd"));
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
    for (QPushButton* button : {BtnOk, BtnEnd, BtnSave}) button->setGeometry(0, 2, 65, 24);
    DisableInput();

    // The editor window exists already and carries the font of the settings file.
    if (EditWin != nullptr && EditWin->Editor != nullptr)
        SetOutputFont(EditWin->Editor->font().family(), EditWin->Editor->font().pointSize());
    if (Workspace != nullptr) ApplyColors(Workspace->TextColor, Workspace->BackgroundColor);

    connect(Output, &QPlainTextEdit::textChanged, this, [this] { OutputChange(); });
    Lines = std::make_unique<TOutputLines>(Output);
    // Enter in either field presses the default button.
    for (QLineEdit* edit : {EditLine, EditNumber})
        connect(edit, &QLineEdit::returnPressed, this, [this] {
            if (BtnOk->isEnabled()) BtnOk->click();
        });
    connect(BtnOk, &QPushButton::clicked, this, &TOutputWin::BtnOkClick);
    connect(BtnEnd, &QPushButton::clicked, this, &TOutputWin::BtnEndClick);
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
    Output->removeEventFilter(this);
    Output->viewport()->removeEventFilter(this);
    EditLine->removeEventFilter(this);
    EditNumber->removeEventFilter(this);
    if (OutputWin == this) OutputWin = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Text

bool TOutputWin::OutputLineText(uint32_t index, std::string& text) const { return Lines->OutputLineText(index, text); }

bool TOutputWin::SetOutputLineText(uint32_t index, const std::string& text) {
    return Lines->SetOutputLineText(index, text);
}

bool TOutputWin::AppendOutputLine() { return Lines->AppendOutputLine(); }

bool TOutputWin::AppendToOutputLine(uint32_t index, std::string_view text) {
    return Lines->AppendToOutputLine(index, text);
}

void TOutputWin::ShowPendingOutput() { Lines->ShowPending(); }

QByteArray TOutputWin::Text() const { return Lines->Text(); }

void TOutputWin::SetText(const QByteArray& text) { Lines->SetText(text); }

void TOutputWin::Clear() { Lines->Clear(); }

void TOutputWin::MarkRunStart() { Lines->MarkRunStart(); }

bool TOutputWin::TruncateRunOutput(uint64_t shown, uint64_t executed) { return Lines->TruncateRun(shown, executed); }

bool TOutputWin::EchoAgain(uint64_t executed) { return Lines->EchoAgain(executed); }

void TOutputWin::DropLaterEchoes() { Lines->DropLaterEchoes(); }

uint32_t TOutputWin::LastLineIndex() const { return Lines->LastLineIndex(); }

std::shared_ptr<QTextDocument> TOutputWin::Document() { return Lines->Document(); }

void TOutputWin::ShowDocument(std::shared_ptr<QTextDocument> document) {
    Lines->ShowDocument(std::move(document));
    OutputChange();
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
    BtnEnd->setEnabled(true);
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
    BtnEnd->setEnabled(false);
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
    } else if (event->type() == QEvent::KeyPress && watched == EditLine &&
               static_cast<QKeyEvent*>(event)->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_D)) {
        // Ctrl+D ends the input, as at a terminal.
        if (BtnEnd->isEnabled()) BtnEnd->click();
        return true;
    } else if (event->type() == QEvent::FocusIn) {
        if (watched == Output) OutputEnter();
        else if (watched == EditLine) EditLineEnter();
        else if (watched == EditNumber) EditNumberEnter();
    }
    return QWidget::eventFilter(watched, event);
}

// Runs while the engine stands suspended in its input command; the delivery resumes it.
void TOutputWin::BtnOkClick() {
    if (Workspace == nullptr || !Workspace->WaitingForInput() || !Workspace->Interpreter->HasEngine())
        return;
    cel::TBFInterpreter& interpreter = *Workspace->Interpreter;
    if (LastInputEdit == EditLine) {
        const QByteArray lineBreak = Workspace->Main->LineBreakReport();
        QByteArray data = EditLine->text().toLatin1().left(InputDataSize - lineBreak.size());
        if (data.isEmpty() && lineBreak.isEmpty()) {
            cel::ShowInformation(this, QStringLiteral("You did not enter any data. Please try again."));
            ReturnToField(EditLine);
            return;
        }
        Lines->EchoInput(data, interpreter.GetExecuted(), !lineBreak.isEmpty());
        if (!lineBreak.isEmpty()) {
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

void TOutputWin::BtnEndClick() {
    if (Workspace == nullptr || !Workspace->WaitingForInput() || !Workspace->Interpreter->HasEngine())
        return;
    Workspace->Interpreter->DeliverEnd();
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
    if (Workspace != nullptr && Workspace->Running() && Workspace->Interpreter->HasEngine())
        Workspace->Interpreter->SetOutputVisible(true);
}

// Closing only hides the window; output made meanwhile is not collected for it.
void TOutputWin::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
    if (Workspace == nullptr) return;
    Workspace->Main->ViewClosed(TMainFace::TView::Output);
    if (Workspace->Running() && Workspace->Interpreter->HasEngine()) Workspace->Interpreter->SetOutputVisible(false);
}

void TOutputWin::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && Workspace != nullptr)
        Workspace->ActiveWorkWindow = this;
}

void TOutputWin::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int outputHeight = qMax(0, height() - PanelHeight);
    Output->setGeometry(0, 0, width(), outputHeight);
    PanelInput->setGeometry(0, outputHeight, width(), PanelHeight);
    LayoutInputPanel();
}

// Left to right: label, line field (taking the spare width), label, number field, Ok, End;
// Save at the right edge.
void TOutputWin::LayoutInputPanel() {
    const int panelWidth = PanelInput->width();
    LblText->move(2, LblText->y());
    EditLine->move(LblText->x() + LblText->width() + 2, EditLine->y());
    EditLine->resize(qMax(0, panelWidth - (LblText->width() + LblNumber->width() + BtnOk->width() +
                                           BtnEnd->width() + BtnSave->width() + EditNumber->width()) - 18),
                     EditLine->height());
    LblNumber->move(EditLine->x() + EditLine->width() + 2, LblNumber->y());
    EditNumber->move(LblNumber->x() + LblNumber->width() + 2, EditNumber->y());
    BtnOk->move(EditNumber->x() + EditNumber->width() + 4, BtnOk->y());
    BtnEnd->move(BtnOk->x() + BtnOk->width() + 2, BtnEnd->y());
    BtnSave->move(panelWidth - BtnSave->width() - 2, BtnSave->y());
}
