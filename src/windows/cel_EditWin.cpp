#include "cel_EditWin.h"

#include "cel_Dialogs.h"
#include "cel_MemoryWin.h"
#include "cel_Operations.h"
#include "cel_OutputWin.h"
#include "cel_Interpreter.h"
#include "cel_Lexer.h"
#include "cel_Workspace.h"

#include <Qsci/qscicommand.h>
#include <Qsci/qscicommandset.h>
#include <Qsci/qsciscintilla.h>

#include <QCloseEvent>
#include <QCursor>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QScrollBar>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>
#include <memory>

TEditWin* EditWin = nullptr;

namespace {

using Sci = QsciScintillaBase;

constexpr int StatusHeight = 19;
// Room around the gutter's numbers, beyond their own width: Scintilla keeps 3 pixels on the
// right, the rest stays free on the left.
constexpr int GutterPadding = 10;
constexpr int PanelWidths[5] = {100, 100, 128, 160, 100};
constexpr int PanelGap = 2;
constexpr int NoteWidth = 320;

QColor Complement(const QColor& color) {
    return QColor(255 - color.red(), 255 - color.green(), 255 - color.blue());
}

// Every line break becomes CR LF, so that offsets count each break as two characters whatever
// the caller handed in.
QByteArray WithCrLf(const QByteArray& text) {
    qsizetype i = 0;
    while (i < text.size()) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')))
            break;
        i += text[i] == '\r' ? 2 : 1;
    }
    if (i == text.size()) return text;
    QByteArray result;
    result.reserve(text.size() + text.size() / 16);
    for (i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            result.append("\r\n");
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            result.append(c);
        }
    }
    return result;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Width of the breakpoint margin beside the line numbers.
constexpr int BreakMarginWidth = 14;

// Opacity of the text colour laid over a breakpoint's character: well under half, so the
// character keeps its contrast on any colour pair.
constexpr int BreakTint = 90;

// The error mark's red, as Scintilla takes a colour (blue in the high byte).
constexpr long ErrorColor = 0x0000DC;

}  // namespace

TEditWin::TEditWin(QWidget* parent) : QWidget(parent) {
    EditWin = this;
    FirstPaint = true;
    setObjectName(QStringLiteral("EditWin"));
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setMinimumSize(128, 128);
    resize(332, 201);

    Tabs = new TTabRows(this);
    Tabs->setObjectName(QStringLiteral("Tabs"));

    Editor = new QsciScintilla(this);
    Editor->setObjectName(QStringLiteral("Editor"));
    Editor->setUtf8(false);
    Editor->setEolMode(QsciScintilla::EolWindows);
    Editor->setTabWidth(4);
    Editor->setIndentationsUseTabs(true);
    Editor->setTabIndents(false);
    Editor->setBackspaceUnindents(true);
    Editor->setAutoIndent(true);
    Editor->setWrapMode(QsciScintilla::WrapNone);
    Editor->setBraceMatching(QsciScintilla::NoBraceMatch);
    Editor->setEdgeColor(QColor(192, 192, 192));
    Editor->SendScintilla(Sci::SCI_SETSCROLLWIDTH, 1);
    Editor->SendScintilla(Sci::SCI_SETSCROLLWIDTHTRACKING, 1);
    Editor->setMarginWidth(2, 0);
    Editor->setMarginType(0, QsciScintilla::NumberMargin);
    // Margin 1 holds the breakpoint markers; a click on it or on the numbers toggles one.
    Editor->setMarginType(1, QsciScintilla::SymbolMargin);
    Editor->setMarginMarkerMask(0, 0);
    Editor->setMarginMarkerMask(1, (1 << BreakMarker) | (1 << CondMarker) | (1 << DisabledMarker));
    Editor->setMarginSensitivity(0, true);
    Editor->setMarginSensitivity(1, true);
    Editor->markerDefine(QsciScintilla::Circle, BreakMarker);
    Editor->setMarkerForegroundColor(QColor(128, 0, 0), BreakMarker);
    Editor->setMarkerBackgroundColor(QColor(220, 0, 0), BreakMarker);
    // Drawn over the text, so that the current-command mark (the selection) shows through.
    Editor->SendScintilla(Sci::SCI_INDICSETSTYLE, BreakIndicator, Sci::INDIC_STRAIGHTBOX);
    Editor->SendScintilla(Sci::SCI_INDICSETALPHA, BreakIndicator, BreakTint);
    Editor->SendScintilla(Sci::SCI_INDICSETOUTLINEALPHA, BreakIndicator, BreakTint);
    Editor->SendScintilla(Sci::SCI_INDICSETSTYLE, BracketIndicator, Sci::INDIC_BOX);
    Editor->SendScintilla(Sci::SCI_INDICSETSTYLE, BadBracketIndicator, Sci::INDIC_SQUIGGLE);
    // A run's error: the character at fault in a red box, whatever the colours.
    Editor->SendScintilla(Sci::SCI_INDICSETSTYLE, ErrorIndicator, Sci::INDIC_FULLBOX);
    Editor->SendScintilla(Sci::SCI_INDICSETFORE, ErrorIndicator, ErrorColor);
    Editor->SendScintilla(Sci::SCI_INDICSETALPHA, ErrorIndicator, 110);
    Editor->SendScintilla(Sci::SCI_INDICSETOUTLINEALPHA, ErrorIndicator, 255);
    SetupDebugLooks();
    // Home and Shift+Home go to column 1, not first to the line's first non-blank character.
    QsciCommandSet* commands = Editor->standardCommands();
    for (const auto command : {QsciCommand::VCHome, QsciCommand::VCHomeExtend, QsciCommand::VCHomeRectExtend})
        commands->find(command)->setKey(0);
    commands->find(QsciCommand::Home)->setKey(Qt::Key_Home);
    commands->find(QsciCommand::HomeExtend)->setKey((Qt::SHIFT | Qt::Key_Home).toCombined());
    commands->find(QsciCommand::HomeRectExtend)->setKey((Qt::ALT | Qt::SHIFT | Qt::Key_Home).toCombined());
    SetEditorFont(cel::FixedFamily(), 10);

    Status = new QWidget(this);
    Status->setObjectName(QStringLiteral("Status"));
    Status->setFixedHeight(StatusHeight);
    // The panels keep their sizes and places, with no layout: new text (the caret position at
    // every watched step) asks for no new layout of the window, and in a narrow window the
    // panels on the right are cut off at its edge instead of being pressed over each other.
    int noteX = 0;
    for (int i = 0; i < 5; noteX += PanelWidths[i] + PanelGap, ++i) {
        Panels[i] = new QLabel(Status);
        Panels[i]->setObjectName(QStringLiteral("Panel%1").arg(i));
        Panels[i]->setGeometry(noteX, 0, PanelWidths[i], StatusHeight);
        Panels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        Panels[i]->setAlignment((i == 0 ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
    }
    PanelNote = new QLabel(Status);
    PanelNote->setObjectName(QStringLiteral("PanelNote"));
    PanelNote->setGeometry(noteX, 0, NoteWidth, StatusHeight);
    PanelNote->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Tabs);
    layout->addWidget(Editor, 1);
    layout->addWidget(Status);

    Tabs->OnChanging = [this] { return TabsChanging(); };
    Tabs->OnChange = [this] { TabsChange(); };
    Editor->installEventFilter(this);
    Editor->viewport()->installEventFilter(this);
    // Moving over the text or the status bar removes the memory window's hover frame.
    Editor->viewport()->setMouseTracking(true);
    Status->setMouseTracking(true);
    Status->installEventFilter(this);
    connect(Editor, &QsciScintilla::textChanged, this, [this] { EditorChange(); });
    connect(Editor, &QsciScintilla::linesChanged, this, [this] { UpdateGutterWidth(); });
    connect(Editor, &QsciScintillaBase::SCN_ZOOM, this, [this] { UpdateGutterWidth(); });
    connect(Editor, &QsciScintilla::cursorPositionChanged, this, [this] {
        UpdateStatus();
        UpdateBracketHighlight();
    });
    connect(Editor, &QsciScintilla::selectionChanged, this, [this] { UpdateStatus(); });
    connect(Editor, &QsciScintillaBase::SCN_UPDATEUI, this, [this] {
        UpdateStatus();
        UpdateBracketHighlight();
    });
    connect(Editor, &QsciScintillaBase::SCN_MODIFIED, this,
            [this](int position, int type, const char*, int length) { TextModified(position, type, length); });
    connect(Editor, &QsciScintilla::marginClicked, this,
            [this](int, int line, Qt::KeyboardModifiers) { ToggleBreakpointOnLine(line); });
    connect(Editor, &QsciScintilla::marginRightClicked, this,
            [this](int, int line, Qt::KeyboardModifiers) { EditBreakpointOnLine(line); });
    connect(Editor, &QsciScintillaBase::SCN_DWELLSTART, this,
            [this](int position, int x, int y) { ShowDwellTip(position, x, y); });
    connect(Editor, &QsciScintillaBase::SCN_DWELLEND, this, [] { QToolTip::hideText(); });
    // While the scroll bar's thumb is dragged, a hint names the line that will be on top.
    QScrollBar* vertical = Editor->verticalScrollBar();
    connect(vertical, &QScrollBar::sliderMoved, this, [vertical](int value) {
        const QPoint at(vertical->mapToGlobal(QPoint(0, 0)).x(), QCursor::pos().y());
        QToolTip::showText(at - QPoint(4, 0), QStringLiteral("Top Line: %1").arg(value + 1),
                           vertical);
    });
    connect(vertical, &QScrollBar::sliderReleased, this, [] { QToolTip::hideText(); });

    UpdateStatus();
    NewDocument();
    if (Workspace && Workspace->Settings) {
        // The font of the settings file; a size that cannot be shown keeps the designed one.
        const cel::TIniFile& ini = Workspace->Settings->Ini;
        const int size = ini.ReadInteger(QStringLiteral("Editor"), QStringLiteral("fontsize"), 10);
        SetEditorFont(ini.ReadString(QStringLiteral("Editor"), QStringLiteral("fontname"), cel::FixedFamily()),
                      size >= 1 && size <= 500 ? size : 10);
    }
    if (Workspace) {
        ApplyColors(Workspace->TextColor, Workspace->BackgroundColor);
        SetGutterVisible(Workspace->Main->SwitchOn(TMainFace::TSwitch::Gutter));
        SetRightEdge(Workspace->Main->SwitchOn(TMainFace::TSwitch::RightEdge) ? 80 : 0);
    } else {
        ApplyColors(0xFFFFFF, 0);
        SetGutterVisible(true);
        SetRightEdge(80);
    }
}

// The children outlive this object's own part; they must not call back into it on their way out.
TEditWin::~TEditWin() {
    Editor->disconnect(this);
    Editor->verticalScrollBar()->disconnect(this);
    Tabs->OnChanging = nullptr;
    Tabs->OnChange = nullptr;
    Editor->removeEventFilter(this);
    Editor->viewport()->removeEventFilter(this);
    if (EditWin == this) EditWin = nullptr;
}

// ---- Status bar ----

void TEditWin::UpdateStatus() {
    SetPanel(0, QString::asprintf("%d : %d", CaretLine(), CaretColumn()));
    if (!Workspace || !Workspace->Running()) SetPanel(1, QStringLiteral("Ready"));
    else if (PanelText(1) != QLatin1String("Paused")) SetPanel(1, QStringLiteral("Running"));
}

void TEditWin::SetPanel(int index, const QString& text) {
    if (index < 0 || index >= 5) return;
    if (Panels[index]->text() != text) Panels[index]->setText(text);
}

void TEditWin::SetNote(const QString& text) {
    if (PanelNote->text() != text) PanelNote->setText(text);
}

QString TEditWin::PanelText(int index) const {
    if (index < 0 || index >= 5) return {};
    return Panels[index]->text();
}

// ---- Documents and tabs ----

TContent* TEditWin::CurrentDocument() const { return Document(Tabs->currentIndex()); }

TContent* TEditWin::Document(int index) const {
    if (index < 0 || size_t(index) >= Documents.size()) return nullptr;
    return Documents[size_t(index)].get();
}

TContent* TEditWin::AddDocument(const QString& path) {
    TabsChanging();
    auto document = std::make_unique<TContent>();
    document->FileName = path;
    TContent* created = document.get();
    Documents.push_back(std::move(document));
    AppendTab(created);
    // The output shown stays; the new tab shares it until either tab changes it.
    if (OutputWin) created->OutputLines = OutputWin->Document();
    return created;
}

void TEditWin::CloseDocument(int index, int select) {
    if (index < 0 || size_t(index) >= Documents.size() || index >= Tabs->count()) return;
    Documents.erase(Documents.begin() + index);
    RemoveTab(index, select);
}

void TEditWin::NewDocument() {
    auto document = std::make_unique<TContent>();
    TContent* created = document.get();
    if (Tabs->count() > 0) TabsChanging();
    Documents.push_back(std::move(document));
    AppendTab(created);
    // The New command clears the output anyway: the new tab starts with a document of its own.
    if (OutputWin) {
        OutputWin->ShowDocument(nullptr);
        created->OutputLines = OutputWin->Document();
    }
    UpdateCaption();
    SetText(QByteArray());
    Editor->SendScintilla(Sci::SCI_MARKERDELETEALL, -1);
    WatchpointsChanged();
    Editor->setFocus();
    UpdateStatus();
    SetPanel(3, QString());
    SetPanel(4, QString());
}

void TEditWin::UpdateCaption() {
    const int index = Tabs->currentIndex();
    QString name;
    if (const TContent* document = Document(index)) name = document->FileName;
    if (name.isEmpty() && index >= 0) name = TabCaption(index);
    setWindowTitle(QStringLiteral("Source Editor - ") + name);
}

bool TEditWin::TabsChanging() {
    if (Workspace && Workspace->Running()) return false;
    TContent* current = CurrentDocument();
    if (!current) return true;
    TContent& document = *current;
    document.Lines = Text();
    if (OutputWin) document.OutputLines = OutputWin->Document();
    document.CaretX = CaretColumn();
    document.CaretY = CaretLine();
    document.TopLine = TopLine();
    document.SelStart = SelStart();
    document.SelLength = SelLength();
    document.Breakpoints = BreakpointList();
    return true;
}

void TEditWin::TabsChange() {
    const TContent* current = CurrentDocument();
    if (!current) return;
    const TContent& document = *current;
    SetText(document.Lines);
    if (OutputWin) OutputWin->ShowDocument(document.OutputLines);
    SetCaret(document.CaretY, document.CaretX);
    SetTopLine(document.TopLine);
    SetSelection(document.SelStart, document.SelLength);
    SetBreakpointList(document.Breakpoints);
    WatchpointsChanged();
    // Selecting scrolls the caret into view; the stored view wins.
    SetTopLine(document.TopLine);
    UpdateCaption();
}

void TEditWin::AppendTab(TContent* document) {
    const int index = Tabs->addTab(QString());
    Tabs->setCurrentIndex(index);
    NameTab(document ? document->FileName : QString(), index);
}

void TEditWin::RemoveTab(int index, int select) {
    if (index < 0 || index >= Tabs->count()) return;
    Tabs->removeTab(index);
    if (select >= 0 && select < Tabs->count()) Tabs->setCurrentIndex(select);
}

void TEditWin::NameTab(const QString& path, int index) {
    if (TContent* document = Document(index)) document->FileName = path;
    QString caption;
    if (path.isEmpty()) {
        int number = 1;
        if (Workspace) number = Workspace->UntitledCounter++;
        caption = QStringLiteral("Unknown") + QString::number(number);
    } else {
        caption = QFileInfo(path).fileName();
    }
    // The tab bar reads "&" as a mnemonic marker: a file name keeps its ampersands.
    caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
    if (index >= 0 && index < Tabs->count()) Tabs->setTabText(index, caption);
}

QString TEditWin::TabCaption(int index) const {
    QString caption = Tabs->tabText(index);
    caption.replace(QStringLiteral("&&"), QStringLiteral("&"));
    return caption;
}

// ---- The editing control ----

QByteArray TEditWin::Text() const {
    return Editor->text().toLatin1();
}

void TEditWin::SetText(const QByteArray& text) {
    Loading = true;
    // setText keeps read-only mode and empties the undo and redo history.
    Editor->setText(QString::fromLatin1(WithCrLf(text)));
    Editor->SendScintilla(Sci::SCI_EMPTYUNDOBUFFER);
    Editor->SendScintilla(Sci::SCI_SETSAVEPOINT);
    Editor->SendScintilla(Sci::SCI_GOTOPOS, 0);
    Editor->SendScintilla(Sci::SCI_SETFIRSTVISIBLELINE, 0);
    Editor->SendScintilla(Sci::SCI_SETXOFFSET, 0);
    // The breakpoints went with the old text; their markers stayed on the remaining line.
    Editor->markerDeleteAll(-1);
    ClearProfile();
    BracketMarksMoved = true;
    Loading = false;
}

int TEditWin::SelStart() const {
    return int(Editor->SendScintilla(Sci::SCI_GETSELECTIONSTART));
}

int TEditWin::SelLength() const {
    return int(Editor->SendScintilla(Sci::SCI_GETSELECTIONEND) -
               Editor->SendScintilla(Sci::SCI_GETSELECTIONSTART));
}

void TEditWin::SetSelection(int start, int length) {
    const long size = Editor->SendScintilla(Sci::SCI_GETLENGTH);
    const long from = std::clamp<long>(start, 0, size);
    const long to = std::clamp<long>(from + std::max(length, 0), from, size);
    Editor->SendScintilla(Sci::SCI_SETSEL, from, to);
}

void TEditWin::SetReadOnly(bool readOnly) {
    Editor->setReadOnly(readOnly);
    // A run begins or ends: the marks go for its time, and come back at the caret after it.
    UpdateBracketHighlight();
}

int TEditWin::CaretLine() const {
    const long position = Editor->SendScintilla(Sci::SCI_GETCURRENTPOS);
    return int(Editor->SendScintilla(Sci::SCI_LINEFROMPOSITION, position)) + 1;
}

int TEditWin::CaretColumn() const {
    const long position = Editor->SendScintilla(Sci::SCI_GETCURRENTPOS);
    const long line = Editor->SendScintilla(Sci::SCI_LINEFROMPOSITION, position);
    return int(position - Editor->SendScintilla(Sci::SCI_POSITIONFROMLINE, line)) + 1;
}

void TEditWin::SetCaret(int line, int column) {
    const long lines = Editor->SendScintilla(Sci::SCI_GETLINECOUNT);
    const long target = std::clamp<long>(line - 1, 0, lines - 1);
    const long begin = Editor->SendScintilla(Sci::SCI_POSITIONFROMLINE, target);
    const long end = Editor->SendScintilla(Sci::SCI_GETLINEENDPOSITION, target);
    Editor->SendScintilla(Sci::SCI_GOTOPOS, std::clamp<long>(begin + column - 1, begin, end));
}

int TEditWin::TopLine() const {
    return int(Editor->SendScintilla(Sci::SCI_GETFIRSTVISIBLELINE)) + 1;
}

void TEditWin::SetTopLine(int line) {
    Editor->SendScintilla(Sci::SCI_SETFIRSTVISIBLELINE, std::max(line - 1, 0));
}

void TEditWin::ApplyColors(uint32_t textColor, uint32_t backColor) {
    const QColor text = cel::ColorFromStored(textColor);
    const QColor back = cel::ColorFromStored(backColor);
    Editor->setColor(text);
    Editor->setPaper(back);
    Editor->setSelectionBackgroundColor(Complement(back));
    Editor->setSelectionForegroundColor(back);
    Editor->setCaretForegroundColor(text);
    ApplyHighlightColors(textColor);
    ApplyMargins();
}

// Breakpoints and brackets are drawn in the text colour, so they stay readable with any colour
// pair: a breakpoint's character is tinted with it, a matched bracket framed, an unmatched one
// underlined.
void TEditWin::ApplyHighlightColors(uint32_t textColor) {
    const QColor text = cel::ColorFromStored(textColor);
    Editor->SendScintilla(Sci::SCI_INDICSETFORE, BreakIndicator, text);
    Editor->SendScintilla(Sci::SCI_INDICSETFORE, BracketIndicator, text);
    Editor->SendScintilla(Sci::SCI_INDICSETFORE, BadBracketIndicator, text);
}

void TEditWin::SetGutterVisible(bool visible) {
    GutterVisible = visible;
    ApplyMargins();
}

void TEditWin::SetRightEdge(int column) {
    EdgeColumn = std::max(column, 0);
    if (EdgeColumn == 0) {
        Editor->setEdgeMode(QsciScintilla::EdgeNone);
    } else {
        Editor->setEdgeColumn(EdgeColumn);
        Editor->setEdgeMode(QsciScintilla::EdgeLine);
    }
}

int TEditWin::RightEdge() const {
    return EdgeColumn;
}

void TEditWin::SetEditorFont(const QString& name, int size) {
    QFont font = cel::FixedFont(size, name);
    font.setFixedPitch(true);
    Editor->setFont(font);
    ApplyMargins();
}

// The gutter keeps its own font and the window's colours whatever the text font and colours are.
void TEditWin::ApplyMargins() {
    Editor->setMarginsFont(cel::FixedFont(8));
    Editor->setMarginsBackgroundColor(palette().color(QPalette::Window));
    Editor->setMarginsForegroundColor(palette().color(QPalette::WindowText));
    Editor->setMarginLineNumbers(0, GutterVisible);
    UpdateGutterWidth();
}

void TEditWin::UpdateGutterWidth() {
    if (!GutterVisible) {
        Editor->setMarginWidth(0, 0);
        Editor->setMarginWidth(1, 0);
        return;
    }
    if (Editor->marginWidth(1) != BreakMarginWidth) Editor->setMarginWidth(1, BreakMarginWidth);
    const long lines = Editor->SendScintilla(Sci::SCI_GETLINECOUNT);
    const QByteArray widest(std::max<qsizetype>(QByteArray::number(qlonglong(lines)).size(), 2), '9');
    const long width = Editor->SendScintilla(Sci::SCI_TEXTWIDTH, Sci::STYLE_LINENUMBER, widest.constData());
    if (Editor->marginWidth(0) != int(width) + GutterPadding) Editor->setMarginWidth(0, int(width) + GutterPadding);
}

// ---- Breakpoints and brackets ----

bool TEditWin::IsCommentLine(int line) const {
    if (!Workspace || !Workspace->Main || !Workspace->Main->SwitchOn(TMainFace::TSwitch::CommentMarkers)) return false;
    const long begin = Editor->SendScintilla(Sci::SCI_POSITIONFROMLINE, line);
    if (begin >= Editor->SendScintilla(Sci::SCI_GETLINEENDPOSITION, line)) return false;
    return cel::IsCommentMarker(static_cast<unsigned char>(Editor->SendScintilla(Sci::SCI_GETCHARAT, begin)));
}

bool TEditWin::IsCommandAt(int position) const {
    if (position < 0 || position >= Editor->SendScintilla(Sci::SCI_GETLENGTH)) return false;
    const auto ch = static_cast<unsigned char>(Editor->SendScintilla(Sci::SCI_GETCHARAT, position));
    const bool procedures = Workspace && Workspace->Main && Workspace->Main->SwitchOn(TMainFace::TSwitch::ProcMode);
    if (cel::CommandCode(ch, procedures) == cel::opNone) return false;
    return !IsCommentLine(int(Editor->SendScintilla(Sci::SCI_LINEFROMPOSITION, position)));
}

std::vector<uint32_t> TEditWin::Breakpoints() const {
    std::vector<uint32_t> offsets;
    const long length = Editor->SendScintilla(Sci::SCI_GETLENGTH);
    long position = 0;
    while (position < length) {
        const long end = Editor->SendScintilla(Sci::SCI_INDICATOREND, BreakIndicator, position);
        if (Editor->SendScintilla(Sci::SCI_INDICATORVALUEAT, BreakIndicator, position))
            for (long p = position; p < end; ++p) offsets.push_back(static_cast<uint32_t>(p));
        if (end <= position) break;
        position = end;
    }
    return offsets;
}

void TEditWin::SetBreakpoints(const std::vector<uint32_t>& offsets) {
    Editor->SendScintilla(Sci::SCI_SETINDICATORCURRENT, BreakIndicator);
    Editor->SendScintilla(Sci::SCI_INDICATORCLEARRANGE, 0, Editor->SendScintilla(Sci::SCI_GETLENGTH));
    Editor->SendScintilla(Sci::SCI_SETINDICATORVALUE, 1);
    for (const uint32_t offset : offsets)
        if (IsCommandAt(int(offset))) Editor->SendScintilla(Sci::SCI_INDICATORFILLRANGE, offset, 1);
    BreakpointsChanged();
}

bool TEditWin::BreakpointsEditable() const {
    return !Workspace || !Workspace->Running() || Workspace->Paused();
}

bool TEditWin::ToggleBreakpoint(int position) {
    if (!BreakpointsEditable()) return false;
    position = std::max(position, 0);
    const long line = Editor->SendScintilla(Sci::SCI_LINEFROMPOSITION, position);
    const long begin = Editor->SendScintilla(Sci::SCI_POSITIONFROMLINE, line);
    const long end = Editor->SendScintilla(Sci::SCI_GETLINEENDPOSITION, line);
    long p = position;
    while (p < end && !IsCommandAt(int(p))) ++p;
    if (p >= end) {
        // After the line's last command (at its end, say): that command.
        p = std::min<long>(position, end);
        while (p > begin && !IsCommandAt(int(p - 1))) --p;
        if (p == begin) return false;
        --p;
    }
    Editor->SendScintilla(Sci::SCI_SETINDICATORCURRENT, BreakIndicator);
    if (Editor->SendScintilla(Sci::SCI_INDICATORVALUEAT, BreakIndicator, p)) {
        Editor->SendScintilla(Sci::SCI_INDICATORCLEARRANGE, p, 1);
    } else {
        Editor->SendScintilla(Sci::SCI_SETINDICATORVALUE, 1);
        Editor->SendScintilla(Sci::SCI_INDICATORFILLRANGE, p, 1);
    }
    BreakpointsChanged();
    return true;
}

bool TEditWin::ToggleBreakpointOnLine(int line) {
    if (!BreakpointsEditable() || line < 0 || line >= Editor->SendScintilla(Sci::SCI_GETLINECOUNT)) return false;
    const long begin = Editor->SendScintilla(Sci::SCI_POSITIONFROMLINE, line);
    const long end = Editor->SendScintilla(Sci::SCI_GETLINEENDPOSITION, line);
    // The end of the run of breakpoints or gaps that begin is in (0 while there is none at all).
    const long run = Editor->SendScintilla(Sci::SCI_INDICATOREND, BreakIndicator, begin);
    const bool marked = Editor->SendScintilla(Sci::SCI_INDICATORVALUEAT, BreakIndicator, begin) ||
                        (run > begin && run < end);
    if (!marked) return ToggleBreakpoint(int(begin));
    Editor->SendScintilla(Sci::SCI_SETINDICATORCURRENT, BreakIndicator);
    Editor->SendScintilla(Sci::SCI_INDICATORCLEARRANGE, begin, end - begin);
    BreakpointsChanged();
    return true;
}

void TEditWin::ClearBreakpoints() {
    if (!BreakpointsEditable()) return;
    SetBreakpoints({});
}

void TEditWin::BreakpointsChanged() {
    DrawBreakLooks(BreakpointList());
    if (Workspace && Workspace->Running() && Workspace->Paused()) GiveBreakpoints();
}

// Text typed or pasted between two breakpoints would take theirs over: inserted text has none.
// A deleted character takes its breakpoint along, and the markers follow the lines.
void TEditWin::TextModified(int position, int type, int length) {
    if (!(type & (Sci::SC_MOD_INSERTTEXT | Sci::SC_MOD_DELETETEXT))) return;
    ClearErrorMark();
    ClearProfile();
    BracketMarksMoved = true;
    BracketsRead = false;
    const long length0 = Editor->SendScintilla(Sci::SCI_GETLENGTH);
    const bool none = Editor->SendScintilla(Sci::SCI_INDICATOREND, BreakIndicator, 0L) >= length0 &&
                      !Editor->SendScintilla(Sci::SCI_INDICATORVALUEAT, BreakIndicator, 0L);
    if (none && Editor->markerFindNext(0, (1u << BreakMarker) | (1u << CondMarker) | (1u << DisabledMarker)) < 0)
        return;
    if (type & Sci::SC_MOD_INSERTTEXT) {
        Editor->SendScintilla(Sci::SCI_SETINDICATORCURRENT, BreakIndicator);
        Editor->SendScintilla(Sci::SCI_INDICATORCLEARRANGE, position, length);
    }
    BreakpointsChanged();
}

bool TEditWin::BracketAtCaret(int& bracket, int& partner) const {
    const bool procedures = Workspace && Workspace->Main && Workspace->Main->SwitchOn(TMainFace::TSwitch::ProcMode);
    const int caret = int(Editor->SendScintilla(Sci::SCI_GETCURRENTPOS));
    auto isBracket = [&](int p) {
        if (!IsCommandAt(p)) return false;
        const char c = char(Editor->SendScintilla(Sci::SCI_GETCHARAT, p));
        return c == '[' || c == ']' || (procedures && (c == '(' || c == ')'));
    };
    if (isBracket(caret)) bracket = caret;
    else if (isBracket(caret - 1)) bracket = caret - 1;
    else return false;
    const bool markers = Workspace && Workspace->Main && Workspace->Main->SwitchOn(TMainFace::TSwitch::CommentMarkers);
    if (!BracketsRead || procedures != BracketsProcedures || markers != BracketsMarkers)
        ReadBrackets(procedures, markers);
    const auto it = std::lower_bound(Brackets.begin(), Brackets.end(), bracket,
                                     [](const TBracket& b, int position) { return b.Position < position; });
    // A bracket the whole-text reading passes over has none: one on a comment line after a lone
    // CR, which the editing control takes for a line break.
    partner = it != Brackets.end() && it->Position == bracket ? it->Partner : -1;
    return true;
}

// Brackets pair with their own kind, innermost first, as the program is read from its start;
// one that finds no partner of its kind is passed over and the others still pair.
void TEditWin::ReadBrackets(bool procedures, bool markers) const {
    const QByteArray text = Text();
    std::vector<cel::TOpCode> ops;
    Brackets.clear();
    const std::string_view source(text.constData(), size_t(text.size()));
    cel::ForEachCommand(source, cel::TLexRules{markers, procedures, false}, [&](size_t offset, cel::TOpCode op) {
        if (cel::Operation(op).Arg != cel::TOpArg::Partner) return;
        Brackets.push_back(TBracket{int(offset), -1});
        ops.push_back(op);
    });
    cel::PairBrackets(
        uint32_t(ops.size()), [&](uint32_t i) { return ops[i]; },
        [&](uint32_t open, uint32_t close) {
            Brackets[open].Partner = Brackets[close].Position;
            Brackets[close].Partner = Brackets[open].Position;
        },
        false);
    BracketsRead = true;
    BracketsProcedures = procedures;
    BracketsMarkers = markers;
    ++BracketScanCount;
}

void TEditWin::MarkError(int position) {
    ClearErrorMark();
    SetSelection(position, 0);
    Editor->SendScintilla(Sci::SCI_SCROLLCARET);
    Editor->SendScintilla(Sci::SCI_SETINDICATORCURRENT, ErrorIndicator);
    Editor->SendScintilla(Sci::SCI_SETINDICATORVALUE, 1);
    Editor->SendScintilla(Sci::SCI_INDICATORFILLRANGE, position, 1);
    ErrorMarked = true;
}

void TEditWin::ClearErrorMark() {
    if (!ErrorMarked) return;
    ErrorMarked = false;
    Editor->SendScintilla(Sci::SCI_SETINDICATORCURRENT, ErrorIndicator);
    Editor->SendScintilla(Sci::SCI_INDICATORCLEARRANGE, 0, Editor->SendScintilla(Sci::SCI_GETLENGTH));
}

bool TEditWin::GoToMatchingBracket() {
    int bracket = -1;
    int partner = -1;
    if (!BracketAtCaret(bracket, partner) || partner < 0) return false;
    const int caret = int(Editor->SendScintilla(Sci::SCI_GETCURRENTPOS));
    const int target = caret == bracket ? partner : partner + 1;
    Editor->SendScintilla(Sci::SCI_GOTOPOS, target);
    Editor->SendScintilla(Sci::SCI_CHOOSECARETX);
    return true;
}

void TEditWin::UpdateBracketHighlight() {
    int bracket = -1;
    int partner = -1;
    // A running program moves the mark (the selection) at every watched step: no highlight then.
    if (!BreakpointsEditable() || !BracketAtCaret(bracket, partner)) bracket = partner = -1;
    if (!BracketMarksMoved && bracket == ShownBracket && partner == ShownPartner) return;
    BracketMarksMoved = false;
    ShownBracket = bracket;
    ShownPartner = partner;
    const long length = Editor->SendScintilla(Sci::SCI_GETLENGTH);
    for (const int indicator : {BracketIndicator, BadBracketIndicator}) {
        Editor->SendScintilla(Sci::SCI_SETINDICATORCURRENT, indicator);
        Editor->SendScintilla(Sci::SCI_INDICATORCLEARRANGE, 0, length);
    }
    if (bracket < 0) return;
    Editor->SendScintilla(Sci::SCI_SETINDICATORCURRENT, partner < 0 ? BadBracketIndicator : BracketIndicator);
    Editor->SendScintilla(Sci::SCI_SETINDICATORVALUE, 1);
    Editor->SendScintilla(Sci::SCI_INDICATORFILLRANGE, bracket, 1);
    if (partner >= 0) Editor->SendScintilla(Sci::SCI_INDICATORFILLRANGE, partner, 1);
}

// ---- Notifications ----

void TEditWin::EditorChange() {
    if (Loading) return;
    if (TContent* document = CurrentDocument()) document->Modified = true;
}

bool TEditWin::EditorKeyDown(int key, Qt::KeyboardModifiers modifiers) {
    if (!(modifiers & Qt::ControlModifier)) return false;
    if (key != Qt::Key_Tab && key != Qt::Key_Backtab && key != Qt::Key_F5 && key != Qt::Key_F6)
        return false;
    // From here the key is taken in any case: Ctrl+Tab must never reach the editor as a Tab.
    if ((Workspace && Workspace->Running()) || Tabs->count() < 2) return true;
    TabsChanging();
    const bool previous = key == Qt::Key_F5 || key == Qt::Key_Backtab ||
                          (key == Qt::Key_Tab && (modifiers & Qt::ShiftModifier));
    const int count = Tabs->count();
    Tabs->setCurrentIndex((Tabs->currentIndex() + (previous ? count - 1 : 1)) % count);
    TabsChange();
    return true;
}

// Tab moves to where the next word starts in the nearest non-empty line above; false when that
// line offers no such place and the Tab is to be inserted as usual.
bool TEditWin::SmartTab() {
    if (Editor->isReadOnly() || !Editor->SendScintilla(Sci::SCI_GETSELECTIONEMPTY)) return false;
    const long position = Editor->SendScintilla(Sci::SCI_GETCURRENTPOS);
    const long column = Editor->SendScintilla(Sci::SCI_GETCOLUMN, position);
    long line = Editor->SendScintilla(Sci::SCI_LINEFROMPOSITION, position) - 1;
    while (line >= 0 && Editor->SendScintilla(Sci::SCI_GETLINEENDPOSITION, line) ==
                            Editor->SendScintilla(Sci::SCI_POSITIONFROMLINE, line))
        --line;
    if (line < 0) return false;
    const long end = Editor->SendScintilla(Sci::SCI_GETLINEENDPOSITION, line);
    long p = Editor->SendScintilla(Sci::SCI_FINDCOLUMN, line, column);
    if (Editor->SendScintilla(Sci::SCI_GETCOLUMN, p) < column) return false;
    while (p < end && !IsBlank(char(Editor->SendScintilla(Sci::SCI_GETCHARAT, p)))) ++p;
    while (p < end && IsBlank(char(Editor->SendScintilla(Sci::SCI_GETCHARAT, p)))) ++p;
    if (p >= end) return false;
    const long target = Editor->SendScintilla(Sci::SCI_GETCOLUMN, p);
    if (target <= column) return false;
    const QByteArray spaces(int(target - column), ' ');
    Editor->SendScintilla(Sci::SCI_REPLACESEL, spaces.constData());
    return true;
}

// End goes to just after the last non-blank character of the line, and from there to the end.
void TEditWin::EnhancedEnd(bool extend) {
    const long position = Editor->SendScintilla(Sci::SCI_GETCURRENTPOS);
    const long line = Editor->SendScintilla(Sci::SCI_LINEFROMPOSITION, position);
    const long begin = Editor->SendScintilla(Sci::SCI_POSITIONFROMLINE, line);
    const long end = Editor->SendScintilla(Sci::SCI_GETLINEENDPOSITION, line);
    long last = end;
    while (last > begin && IsBlank(char(Editor->SendScintilla(Sci::SCI_GETCHARAT, last - 1))))
        --last;
    const long target = position == last ? end : last;
    if (extend) {
        Editor->SendScintilla(Sci::SCI_SETCURRENTPOS, target);
    } else {
        Editor->SendScintilla(Sci::SCI_SETEMPTYSELECTION, target);
    }
    Editor->SendScintilla(Sci::SCI_CHOOSECARETX);
    Editor->SendScintilla(Sci::SCI_SCROLLCARET);
}

bool TEditWin::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove && (watched == Editor->viewport() || watched == Status) && MemoryWin)
        MemoryWin->EraseHover();
    if ((watched == Editor || watched == Editor->viewport()) && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        if (EditorKeyDown(key->key(), modifiers)) return true;
        if (key->key() == Qt::Key_Tab && modifiers == Qt::NoModifier) return SmartTab();
        if (key->key() == Qt::Key_End && (modifiers & ~Qt::ShiftModifier) == Qt::NoModifier) {
            EnhancedEnd(modifiers & Qt::ShiftModifier);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---- Window events ----

void TEditWin::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
    if (Workspace) Workspace->Main->ViewClosed(TMainFace::TView::Editor);
}

void TEditWin::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && Workspace)
        Workspace->ActiveWorkWindow = this;
    QWidget::changeEvent(event);
}

void TEditWin::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (FirstPaint) {
        FirstPaint = false;
        activateWindow();
        Editor->setFocus();
    }
}

void TEditWin::wheelEvent(QWheelEvent* event) {
    // Wheel events that reach the window itself belong to the memory window.
    if (MemoryWin && MemoryWin->isVisible()) MemoryWin->ForwardWheel(event);
}
