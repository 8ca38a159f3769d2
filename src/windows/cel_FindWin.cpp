#include "cel_FindWin.h"

#include "cel_Dialogs.h"
#include "cel_Files.h"
#include "cel_EditWin.h"

#include <Qsci/qsciscintilla.h>

#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>
#include <utility>

TFindWin* FindWin = nullptr;

namespace {

using Sci = QsciScintillaBase;

// The lower-case form of each 8-bit character. The editing control's own search folds only
// ASCII letters; here an accented capital matches its small letter as well.
const std::array<uint8_t, 256>& LowerCase() {
    static const std::array<uint8_t, 256> table = [] {
        std::array<uint8_t, 256> lower{};
        for (int c = 0; c < 256; ++c) {
            const char16_t folded = QChar(char16_t(c)).toLower().unicode();
            lower[size_t(c)] = uint8_t(folded < 256 ? folded : c);
        }
        return lower;
    }();
    return table;
}

// The editor's bytes from position from to the end, valid until its next change.
std::string_view Tail(const QsciScintilla* editor, long from) {
    const long length = editor->SendScintilla(Sci::SCI_GETLENGTH);
    if (from < 0 || from >= length) return {};
    const auto* text = reinterpret_cast<const char*>(
        editor->SendScintilla(Sci::SCI_GETRANGEPOINTER, static_cast<unsigned long>(from), length - from));
    return text ? std::string_view(text, size_t(length - from)) : std::string_view();
}

// Where the first match of what (not empty) at or after from starts in text, letter case ignored;
// npos when there is none.
size_t Match(std::string_view text, size_t from, std::string_view what) {
    const auto& lower = LowerCase();
    const auto hit = std::search(text.begin() + from, text.end(), what.begin(), what.end(),
                                 [&lower](char a, char b) { return lower[uint8_t(a)] == lower[uint8_t(b)]; });
    return hit == text.end() ? std::string_view::npos : size_t(hit - text.begin());
}

// Replaces start..end as one undo step through the editor's own editing, so the change is
// reported like typing; the caret goes after the replacement.
void Replace(QsciScintilla* editor, long start, long end, const QByteArray& with) {
    editor->SendScintilla(Sci::SCI_SETTARGETSTART, start);
    editor->SendScintilla(Sci::SCI_SETTARGETEND, end);
    editor->SendScintilla(Sci::SCI_BEGINUNDOACTION);
    editor->SendScintilla(Sci::SCI_REPLACETARGET, uintptr_t(with.size()), with.constData());
    editor->SendScintilla(Sci::SCI_ENDUNDOACTION);
    editor->SendScintilla(Sci::SCI_GOTOPOS, editor->SendScintilla(Sci::SCI_GETTARGETEND));
}

long Caret(const QsciScintilla* editor) { return editor->SendScintilla(Sci::SCI_GETCURRENTPOS); }

}  // namespace

TFindWin::TFindWin(QWidget* parent)
    : QDialog(parent, cel::FixedDialogFlags()) {
    FindWin = this;
    cel::SetupFixedDialog(this, "FindWin", QStringLiteral("Find & Replace"), 345, 177);

    FindGrp = new QGroupBox(QStringLiteral("Find && Replace"), this);
    FindGrp->setObjectName(QStringLiteral("FindGrp"));
    FindGrp->setGeometry(8, 6, 329, 127);
    const auto makeBox = [this](const char* name, const char* labelName, const QString& caption, int top) {
        auto* box = new QComboBox(FindGrp);
        box->setObjectName(QLatin1String(name));
        box->setEditable(true);
        // The history changes only when the dialog is shown; typed text is never completed into
        // an entry that differs from it.
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setCompleter(nullptr);
        box->setMaxVisibleItems(8);
        box->addItem(QString());
        box->setGeometry(16, top + 16, 297, 21);
        box->installEventFilter(this);
        box->lineEdit()->installEventFilter(this);
        auto* label = new QLabel(caption, FindGrp);
        label->setObjectName(QLatin1String(labelName));
        label->setGeometry(16, top, 200, 14);
        label->setBuddy(box);
        return std::pair{box, label};
    };
    CboFind = makeBox("CboFind", "Label1", QStringLiteral("&Text to find:"), 22).first;
    CboReplace = makeBox("CboReplace", "Label2", QStringLiteral("R&eplace with:"), 70).first;

    const auto makeButton = [this](const char* name, const QString& caption, int left) {
        auto* button = new QPushButton(caption, this);
        button->setObjectName(QLatin1String(name));
        button->setGeometry(left, 144, 75, 25);
        return button;
    };
    BtnFind = makeButton("BtnFind", QStringLiteral("&Find"), 19);
    BtnReplace = makeButton("BtnReplace", QStringLiteral("&Replace"), 100);
    QPushButton* BtnReplaceAll = makeButton("BtnReplaceAll", QStringLiteral("Replace &All"), 181);
    QPushButton* BtnCancel = makeButton("BtnCancel", QStringLiteral("&Cancel"), 262);
    BtnFind->setDefault(true);

    setTabOrder(CboFind, CboReplace);
    setTabOrder(CboReplace, BtnFind);
    setTabOrder(BtnFind, BtnReplace);
    setTabOrder(BtnReplace, BtnReplaceAll);
    setTabOrder(BtnReplaceAll, BtnCancel);

    connect(BtnFind, &QPushButton::clicked, this, &TFindWin::BtnFindClick);
    connect(BtnReplace, &QPushButton::clicked, this, &TFindWin::BtnReplaceClick);
    connect(BtnReplaceAll, &QPushButton::clicked, this, &TFindWin::BtnReplaceAllClick);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TFindWin::Ask() { exec(); }

void TFindWin::FindAgain() {
    if (DidSearch) BtnFindClick();
    else Ask();
}

void TFindWin::ReplaceAgain() {
    if (DidReplace) BtnReplaceClick();
    else Ask();
}

void TFindWin::FormShow() {
    cel::CentreOnWorkArea(this);
    for (QComboBox* box : {CboFind, CboReplace}) {
        const QString used = box->currentText();
        // MatchFixedString compares without regard to case.
        if (!used.isEmpty() && box->findText(used, Qt::MatchFixedString) < 0) box->insertItem(1, used);
        box->setCurrentIndex(0);
    }
    CboFind->setFocus();
    CboFindEnter();
}

void TFindWin::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

bool TFindWin::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (watched == CboFind || watched == CboFind->lineEdit()) CboFindEnter();
        else if (watched == CboReplace || watched == CboReplace->lineEdit()) CboReplaceEnter();
    }
    return QDialog::eventFilter(watched, event);
}

void TFindWin::CboFindEnter() {
    BtnReplace->setDefault(false);
    BtnFind->setDefault(true);
}

void TFindWin::CboReplaceEnter() {
    BtnFind->setDefault(false);
    BtnReplace->setDefault(true);
}

long TFindWin::NextMatch(QByteArray& what) const {
    const QString text = CboFind->currentText();
    what = text.toLatin1();
    // A character outside the 8-bit range cannot stand in the text; its stand-in "?" must not
    // be looked for instead.
    if (what.isEmpty() || QString::fromLatin1(what) != text) return -1;
    const long caret = Caret(EditWin->Editor);
    const size_t hit = Match(Tail(EditWin->Editor, caret), 0, cel::BytesView(what));
    return hit == std::string_view::npos ? -1 : caret + long(hit);
}

void TFindWin::BtnFindClick() {
    DidSearch = true;
    QByteArray what;
    if (const long start = NextMatch(what); start >= 0) {
        const long end = start + long(what.size());
        EditWin->Editor->SendScintilla(Sci::SCI_SCROLLRANGE, end, start);
        EditWin->Editor->SendScintilla(Sci::SCI_SETSEL, start, end);
    }
    accept();
}

void TFindWin::BtnReplaceClick() {
    DidSearch = true;
    DidReplace = true;
    QByteArray what;
    if (const long start = NextMatch(what); start >= 0 && !EditWin->Editor->isReadOnly())
        Replace(EditWin->Editor, start, start + long(what.size()), CboReplace->currentText().toLatin1());
    accept();
}

void TFindWin::BtnReplaceAllClick() {
    DidSearch = true;
    DidReplace = true;
    QsciScintilla* editor = EditWin->Editor;
    QByteArray what;
    const long first = NextMatch(what);
    if (first >= 0 && !editor->isReadOnly()) {
        // The stretch from the first match to the end of the last one is rewritten in one edit:
        // one undo step, and no cost per match in the editor's change handling.
        const std::string_view text = Tail(editor, first), pattern(what.constData(), size_t(what.size()));
        const QByteArray with = CboReplace->currentText().toLatin1();
        QByteArray stretch;
        size_t done = 0;
        for (size_t hit = 0; hit != std::string_view::npos; hit = Match(text, done, pattern)) {
            stretch.append(text.data() + done, qsizetype(hit - done)).append(with);
            done = hit + pattern.size();
        }
        Replace(editor, first, first + long(done), stretch);
    }
    accept();
}
