#include "cel_StripWin.h"

#include "cel_Dialogs.h"
#include "cel_Files.h"
#include "cel_EditWin.h"
#include "cel_Settings.h"
#include "cel_Strip.h"
#include "cel_TextBox.h"
#include "cel_Workspace.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTextCursor>
#include <QVBoxLayout>

#include <cmath>
#include <string_view>

TStripWin* StripWin = nullptr;


TStripWin::TStripWin(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint) {
    StripWin = this;
    cel::SetupDialog(this, "StripWin", QStringLiteral("Strip All Non-Brainfuck Symbols"));
    setMinimumSize(320, 240);

    Panel = new QWidget(this);
    Panel->setObjectName(QStringLiteral("Panel"));
    Panel->setFixedHeight(57);
    const auto place = [](QWidget* widget, const char* name, const QRect& rect) {
        widget->setObjectName(QLatin1String(name));
        widget->setGeometry(rect);
    };
    RadioWith = new QRadioButton(QStringLiteral("Strip with regard to comments"), Panel);
    place(RadioWith, "RadioWith", QRect(8, 8, 220, 17));
    RadioWithout = new QRadioButton(QStringLiteral("Strip without regard to comments"), Panel);
    place(RadioWithout, "RadioWithout", QRect(8, 31, 220, 17));
    RadioWith->installEventFilter(this);
    RadioWithout->installEventFilter(this);
    LblLineLength = new QLabel(QStringLiteral("Line length:"), Panel);
    place(LblLineLength, "LblLineLength", QRect(234, 8, 70, 21));
    LblLineLength->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    EditLength = new QLineEdit(Panel);
    place(EditLength, "EditLength", QRect(306, 8, 36, 21));
    EditLength->setMaxLength(3);
    LblLineLength->setBuddy(EditLength);
    BtnOk = new QPushButton(QStringLiteral("&Ok"), Panel);
    place(BtnOk, "BtnOk", QRect(348, 6, 80, 25));
    BtnOk->setDefault(true);
    BtnCopy = new QPushButton(QStringLiteral("&Copy to clipboard"), Panel);
    place(BtnCopy, "BtnCopy", QRect(234, 30, 112, 25));
    BtnSave = new QPushButton(QStringLiteral("&Save ..."), Panel);
    place(BtnSave, "BtnSave", QRect(348, 30, 80, 25));

    MemoStrip = new TTextBox(this);
    MemoStrip->setObjectName(QStringLiteral("MemoStrip"));
    MemoStrip->setReadOnly(true);
    MemoStrip->setLineWrapMode(QPlainTextEdit::NoWrap);
    MemoStrip->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoStrip->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoStrip->setFont(cel::FixedPixelFont(13));

    Status = new QStatusBar(this);
    Status->setObjectName(QStringLiteral("Status"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel);
    layout->addWidget(MemoStrip, 1);
    layout->addWidget(Status);

    connect(BtnOk, &QPushButton::clicked, this, &TStripWin::BtnOkClick);
    connect(BtnCopy, &QPushButton::clicked, this, &TStripWin::BtnCopyClick);
    connect(BtnSave, &QPushButton::clicked, this, &TStripWin::BtnSaveClick);

    setTabOrder(RadioWith, RadioWithout);
    setTabOrder(RadioWithout, EditLength);
    setTabOrder(EditLength, BtnOk);
    setTabOrder(BtnOk, BtnCopy);
    setTabOrder(BtnCopy, BtnSave);
    setTabOrder(BtnSave, MemoStrip);
}

void TStripWin::StripCode() {
    const QByteArray source = EditWin->Text();
    uint32_t lineLength = 0;
    if (!cel::ParseLineLength(cel::BytesView(EditLength->text().toLatin1()), lineLength)) {
        RadioKeyDown = false;  // the key that brought this up must not bring it up again
        cel::ShowInformation(this, QString::fromLatin1(cel::IllegalLineLengthMessage));
        return;
    }
    const cel::TStripResult result =
        cel::StripCode(cel::BytesView(source), RadioWith->isChecked(), Workspace->Main->SwitchOn(TMainFace::TSwitch::ProcMode), lineLength);
    // The result holds commands and CR LF only; the box keeps its lines apart by LF.
    QString text = QString::fromLatin1(result.Text.data(), static_cast<qsizetype>(result.Text.size()));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    MemoStrip->setPlainText(text);
    Status->showMessage(QLocale().toString(static_cast<qulonglong>(result.Count)) + QStringLiteral(" commands"));
}

QByteArray TStripWin::StrippedText() const {
    QByteArray text = MemoStrip->toPlainText().toLatin1();
    text.replace("\n", "\r\n");
    return text;
}

void TStripWin::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TStripWin::FormShow() {
    const int width = BtnSave->x() + BtnSave->width() + 80;
    resize(width, static_cast<int>(std::lround(width / 1.3)));
    cel::CentreOnWorkArea(this);
    EditLength->setText(QStringLiteral("70"));
    RadioWith->setChecked(true);
    RadioWith->setFocus();
    RadioKeyDown = false;
    setWindowTitle(QStringLiteral("Strip All Non-Brainfuck Symbols") +
                   (Workspace->Main->SwitchOn(TMainFace::TSwitch::ProcMode) ? QStringLiteral(" (BF procedures enabled)")
                                                     : QStringLiteral(" (BF procedures disabled)")));
    StripCode();
}

void TStripWin::done(int result) {
    FormClose();
    QDialog::done(result);
}

void TStripWin::FormClose() {
    MemoStrip->clear();
    RadioKeyDown = false;  // the release of the key that closed the dialog is not a choice
}

void TStripWin::keyPressEvent(QKeyEvent* event) {
    if (FormKeyPress(event)) event->accept();
    else QDialog::keyPressEvent(event);
}

bool TStripWin::FormKeyPress(const QKeyEvent* event) {
    if (event->key() != Qt::Key_Escape) return false;
    reject();
    return true;
}

bool TStripWin::eventFilter(QObject* watched, QEvent* event) {
    const bool radio = watched == RadioWith || watched == RadioWithout;
    if (!radio) return QDialog::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress:
        RadioKeyDown = true;
        return false;
    case QEvent::KeyRelease:
    case QEvent::MouseButtonRelease: {
        // The radio takes the event first, so the strip sees the choice it made (a click or
        // Space changes it on release).
        watched->event(event);
        if (event->type() == QEvent::MouseButtonRelease) {
            RadioWithMouseUp();
        } else if (RadioKeyDown && !static_cast<QKeyEvent*>(event)->isAutoRepeat()) {
            // A release without its press here (the press closed a message box) is not the
            // user's choice; acting on it would bring the message straight back.
            RadioKeyDown = false;
            FormKeyUp();
        }
        return true;
    }
    default:
        return false;
    }
}

void TStripWin::FormKeyUp() {
    const QWidget* focus = focusWidget();
    if (focus == RadioWith || focus == RadioWithout) StripCode();
}

void TStripWin::RadioWithMouseUp() { StripCode(); }

void TStripWin::BtnOkClick() { StripCode(); }

void TStripWin::BtnCopyClick() {
    MemoStrip->selectAll();
    QGuiApplication::clipboard()->setText(QString::fromLatin1(StrippedText()));
    QTextCursor cursor = MemoStrip->textCursor();
    cursor.setPosition(cursor.selectionStart());
    MemoStrip->setTextCursor(cursor);
}

void TStripWin::BtnSaveClick() {
    QString dir = SaveDir;
    if (dir.isEmpty()) {
        const TContent* document = EditWin->CurrentDocument();
        dir = document && !document->FileName.isEmpty() ? QFileInfo(document->FileName).absolutePath()
                                                        : QDir::currentPath();
    }
    const QString path = cel::Dialogs().SaveFileName(this, QStringLiteral("Save To File"), dir, cel::SourceFilter,
                                                     QStringLiteral("b"));
    if (path.isEmpty()) return;
    SaveDir = QFileInfo(path).absolutePath();
    // Every line ends with CR LF; a text that already ends with a line break gets no empty line
    // after it. A failed save leaves an existing file as it was.
    QByteArray text = StrippedText();
    if (!text.isEmpty() && !text.endsWith("\r\n")) text.append("\r\n");
    const QString quoted = QLatin1Char('"') + path + QLatin1Char('"');
    if (cel::ReplaceFileContents(path, text))
        cel::ShowInformation(this, QStringLiteral("File ") + quoted + QStringLiteral(" saved."));
    else
        cel::ShowError(this, QStringLiteral("Could not write to file ") + quoted +
                                 QStringLiteral(". An error occurred.\nDo you have permission?"));
}
