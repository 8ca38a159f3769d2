#include "cel_TextGenWin.h"

#include "cel_Dialogs.h"
#include "cel_Files.h"
#include "cel_TextBox.h"
#include "cel_TextGen.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include <algorithm>

TTextGenWin* TextGenWin = nullptr;

TTextGenWin::TTextGenWin(QWidget* parent)
    : QDialog(parent, cel::FixedDialogFlags()) {
    TextGenWin = this;
    const QFont dialogFont = cel::SetupFixedDialog(this, "TextGenWin", QStringLiteral("Text Generator"), 640, 480);

    HelpGrp = new QGroupBox(QStringLiteral("How to use the text generator"), this);
    HelpGrp->setObjectName(QStringLiteral("HelpGrp"));
    HelpGrp->setGeometry(8, 8, 624, 78);
    const QString help[3] = {
        QStringLiteral("Using the text generator you can automatically create BF code that prints certain data "
                       "or text. The code will only use two"),
        QStringLiteral("memory cells (the current and the following one). If these cells are definitely zero at "
                       "the start of text output, you may"),
        QStringLiteral("remove the memory clearing code at the beginning of the generated code (command sequence "
                       "[-]>[-]<)."),
    };
    // The lines are fixed; where the system's sans-serif font runs wider than the box, a
    // smaller size keeps every line whole.
    constexpr int helpWidth = 604;
    QFont helpFont = dialogFont;
    for (int size = 8; size > 5; --size) {
        helpFont.setPointSize(size);
        const QFontMetrics metrics(helpFont);
        int widest = 0;
        for (const QString& line : help) widest = std::max(widest, metrics.horizontalAdvance(line));
        if (widest <= helpWidth) break;
    }
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(help[i], HelpGrp);
        label->setObjectName(QStringLiteral("LblHelp%1").arg(i + 1));
        label->setFont(helpFont);
        label->setGeometry(10, 20 + 17 * i, helpWidth, 16);
    }

    GeneratorGrp = new QGroupBox(QStringLiteral("Code generation"), this);
    GeneratorGrp->setObjectName(QStringLiteral("GeneratorGrp"));
    GeneratorGrp->setGeometry(8, 94, 624, 342);
    const QFont fixed = cel::FixedPixelFont(13);
    const auto makeMemo = [&](const char* labelName, const QString& caption, const char* name, int top,
                              int height) {
        auto* label = new QLabel(caption, GeneratorGrp);
        label->setObjectName(QLatin1String(labelName));
        label->setGeometry(12, top, 100, 16);
        auto* memo = new TTextBox(GeneratorGrp);
        memo->setObjectName(QLatin1String(name));
        memo->setGeometry(12, top + 17, 600, height);
        memo->setFont(fixed);
        memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        memo->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        memo->setTabChangesFocus(true);
        memo->installEventFilter(this);
        return memo;
    };
    TextMemo = makeMemo("LblText", QStringLiteral("Text:"), "TextMemo", 20, 120);
    CodeMemo = makeMemo("LblCode", QStringLiteral("Code:"), "CodeMemo", 163, 150);
    CodeMemo->setReadOnly(true);
    CodeMemo->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    CBxAuto = new QCheckBox(QStringLiteral("&Automatic code generation"), this);
    CBxAuto->setObjectName(QStringLiteral("CBxAuto"));
    CBxAuto->setGeometry(12, 448, 220, 21);
    CBxAuto->setChecked(true);
    const auto makeButton = [this](const char* name, const QString& caption, int left, int width) {
        auto* button = new QPushButton(caption, this);
        button->setObjectName(QLatin1String(name));
        button->setGeometry(left, 446, width, 25);
        return button;
    };
    BtnGenerate = makeButton("BtnGenerate", QStringLiteral("&Generate code"), 270, 110);
    BtnGenerate->setVisible(false);
    BtnCopy = makeButton("BtnCopy", QStringLiteral("Copy to clip&board and Close"), 386, 165);
    BtnClose = makeButton("BtnClose", QStringLiteral("&Close"), 557, 75);
    BtnClose->setDefault(true);  // Esc reaches reject(), which closes as BtnClose does

    setTabOrder(TextMemo, CodeMemo);
    setTabOrder(CodeMemo, CBxAuto);
    setTabOrder(CBxAuto, BtnGenerate);
    setTabOrder(BtnGenerate, BtnCopy);
    setTabOrder(BtnCopy, BtnClose);

    Timer.setInterval(1000);
    connect(&Timer, &QTimer::timeout, this, &TTextGenWin::TimerTimer);
    connect(TextMemo, &QPlainTextEdit::textChanged, this, &TTextGenWin::TextMemoChange);
    connect(CBxAuto, &QCheckBox::toggled, this, &TTextGenWin::CBxAutoClick);
    connect(BtnGenerate, &QPushButton::clicked, this, &TTextGenWin::BtnGenerateClick);
    connect(BtnCopy, &QPushButton::clicked, this, &TTextGenWin::BtnCopyClick);
    connect(BtnClose, &QPushButton::clicked, this, &TTextGenWin::BtnCloseClick);
}

QByteArray TTextGenWin::TextBytes() const {
    // The raw text keeps non-breaking spaces, which toPlainText() turns into plain ones; its
    // paragraph and line separators are the line breaks.
    const QString text = TextMemo->document()->toRawText();
    QByteArray bytes;
    bytes.reserve(text.size() + text.size() / 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator || c == QLatin1Char('\n')) {
            bytes += "\r\n";
        } else if (c.unicode() <= 0xFF) {
            bytes += static_cast<char>(c.unicode());
        } else {
            // One character, one value: a surrogate pair is a single character.
            if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ++i;
            bytes += '?';
        }
    }
    return bytes;
}

void TTextGenWin::GenerateCode() {
    TextChanged = false;
    const QByteArray text = TextBytes();
    Code = cel::GenerateCode(cel::BytesView(text));
    // The box shows the code with plain line breaks; Code keeps the CR LF line ends for the clipboard.
    QString shown = QString::fromLatin1(Code.data(), static_cast<qsizetype>(Code.size()));
    shown.remove(QLatin1Char('\r'));
    CodeMemo->setPlainText(shown);
}

void TTextGenWin::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TTextGenWin::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous()) FormClose();
}

void TTextGenWin::FormShow() {
    cel::CentreOnWorkArea(this);
    TextMemo->setFocus();
    TextChanged = false;
    Timer.start();
}

void TTextGenWin::FormClose() {
    Timer.stop();
    TextMemo->clear();
    CodeMemo->clear();
    Code.clear();
}

void TTextGenWin::TextMemoChange() { TextChanged = true; }

void TTextGenWin::TimerTimer() {
    if (TextChanged && CBxAuto->isChecked()) GenerateCode();
}

void TTextGenWin::CBxAutoClick() {
    BtnGenerate->setVisible(!CBxAuto->isChecked());
    TextMemo->setFocus();
}

void TTextGenWin::BtnGenerateClick() { GenerateCode(); }

void TTextGenWin::BtnCopyClick() {
    GenerateCode();
    CodeMemo->selectAll();
    // The box's own copy would give \n line ends; the clipboard gets the code as it is.
    QGuiApplication::clipboard()->setText(QString::fromLatin1(Code.data(), static_cast<qsizetype>(Code.size())));
    accept();
}

void TTextGenWin::BtnCloseClick() { reject(); }

bool TTextGenWin::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == TextMemo || watched == CodeMemo) && event->type() == QEvent::KeyPress)
        if (TextMemoKeyDown(watched, static_cast<QKeyEvent*>(event)->key())) return true;
    return QDialog::eventFilter(watched, event);
}

bool TTextGenWin::TextMemoKeyDown(QObject* box, int key) {
    if (key == Qt::Key_Escape) {
        reject();
        return true;
    }
    // Enter in the read-only box stays there rather than pressing the default button.
    return box == CodeMemo && (key == Qt::Key_Return || key == Qt::Key_Enter);
}
