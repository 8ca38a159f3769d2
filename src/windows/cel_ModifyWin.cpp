#include "cel_ModifyWin.h"

#include "cel_Dialogs.h"
#include "cel_Files.h"
#include "cel_NumberSyntax.h"
#include "cel_Workspace.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <string_view>

TModifyWin* ModifyWin = nullptr;

namespace {

QString HexForm(uint32_t value) { return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper(); }

QString DecForm(uint32_t value) { return QString::number(value); }

// The character of the low byte in the 8-bit code page; none for a code without a glyph (0
// among them), so the field looks empty only when it is, and typing fills it.
QString CharForm(uint32_t value) {
    const uint8_t code = static_cast<uint8_t>(value & 0xFF);
    return cel::HasGlyph(code) ? QString(QChar::fromLatin1(static_cast<char>(code))) : QString();
}

}  // namespace

namespace cel {

uint32_t ParseHex(const QString& text) {
    const QByteArray bytes = text.toLatin1();  // a character outside Latin-1 is no digit
    return ParseHex(BytesView(bytes));
}

int ParseDecimal(const QString& text) {
    const QByteArray bytes = text.toLatin1();  // a character outside Latin-1 fits nowhere
    return ParseDecimal(BytesView(bytes));
}

bool HasGlyph(uint8_t code) { return QChar(char16_t(code)).isPrint(); }

}  // namespace cel

TModifyWin::TModifyWin(QWidget* parent)
    : QDialog(parent, cel::FixedDialogFlags()) {
    ModifyWin = this;
    // The caption names the cell: Ask sets it.
    const QFont dialogFont = cel::SetupFixedDialog(this, "ModifyWin", QString(), 282, 186);

    QFont bold = dialogFont;
    bold.setBold(true);
    const QFont fixed = cel::FixedFont(10);
    const auto makeLabel = [](QWidget* box, const char* name, const QString& text, const QFont& font,
                              const QRect& rect) {
        auto* label = new QLabel(text, box);
        label->setObjectName(QLatin1String(name));
        label->setFont(font);
        label->setGeometry(rect);
        return label;
    };
    const auto makeBox = [this](const char* name, const QString& title, int left) {
        auto* box = new QGroupBox(title, this);
        box->setObjectName(QLatin1String(name));
        box->setGeometry(left, 8, 129, 137);
        return box;
    };
    constexpr int rowTop[3] = {28, 64, 100};

    QGroupBox* current = makeBox("GroupBox3", QStringLiteral("Current value"), 8);
    makeLabel(current, "Label1", QStringLiteral("Hex:"), bold, QRect(12, rowTop[0], 40, 21));
    makeLabel(current, "Label2", QStringLiteral("Dec:"), bold, QRect(12, rowTop[1], 40, 21));
    makeLabel(current, "Label3", QStringLiteral("Char:"), bold, QRect(12, rowTop[2], 40, 21));
    HexLbl = makeLabel(current, "HexLbl", QString(), fixed, QRect(56, rowTop[0], 64, 21));
    DecLbl = makeLabel(current, "DecLbl", QString(), fixed, QRect(56, rowTop[1], 64, 21));
    CharLbl = makeLabel(current, "CharLbl", QString(), fixed, QRect(56, rowTop[2], 64, 21));

    QGroupBox* next = makeBox("GroupBox2", QStringLiteral("&New value"), 145);
    const auto makeField = [&](const char* labelName, const QString& caption, const char* name, int maxLength,
                               int row) {
        auto* edit = new QLineEdit(next);
        edit->setObjectName(QLatin1String(name));
        edit->setMaxLength(maxLength);
        edit->setGeometry(56, rowTop[row], 61, 21);
        makeLabel(next, labelName, caption, bold, QRect(12, rowTop[row], 40, 21))->setBuddy(edit);
        return edit;
    };
    HexEdit = makeField("Label6", QStringLiteral("&Hex:"), "HexEdit", 4, 0);
    DecEdit = makeField("Label5", QStringLiteral("&Dec:"), "DecEdit", 5, 1);
    CharEdit = makeField("Label4", QStringLiteral("Ch&ar:"), "CharEdit", 1, 2);
    // textChanged rather than textEdited: setting a field from code links the others too.
    connect(HexEdit, &QLineEdit::textChanged, this, &TModifyWin::HexEditChange);
    connect(DecEdit, &QLineEdit::textChanged, this, &TModifyWin::DecEditChange);
    connect(CharEdit, &QLineEdit::textChanged, this, &TModifyWin::CharEditChange);

    QPushButton* Ok = cel::MakeButton(this, "Ok", QStringLiteral("Ok"), QRect(118, 153, 75, 25));
    Ok->setDefault(true);
    QPushButton* Cancel = cel::MakeButton(this, "Cancel", QStringLiteral("Cancel"), QRect(199, 153, 75, 25));
    connect(Ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(HexEdit, DecEdit);
    setTabOrder(DecEdit, CharEdit);
    setTabOrder(CharEdit, Ok);
    setTabOrder(Ok, Cancel);
}

void TModifyWin::ShowValue(const QLineEdit* source, uint32_t value) {
    Updating = true;
    if (source != HexEdit) HexEdit->setText(HexForm(value));
    if (source != DecEdit) DecEdit->setText(DecForm(value));
    if (source != CharEdit) CharEdit->setText(CharForm(value));
    Updating = false;
}

void TModifyWin::HexEditChange() {
    if (Updating || HexEdit->text().isEmpty()) return;
    ShowValue(HexEdit, cel::ParseHex(HexEdit->text()));
}

void TModifyWin::DecEditChange() {
    if (Updating || DecEdit->text().isEmpty()) return;
    ShowValue(DecEdit, static_cast<uint32_t>(cel::ParseDecimal(DecEdit->text())));
}

void TModifyWin::CharEditChange() {
    if (Updating || CharEdit->text().isEmpty()) return;
    const char16_t code = CharEdit->text().at(0).unicode();
    ShowValue(CharEdit, code <= 0xFF ? uint32_t(code) : uint32_t('?'));
}

std::optional<int32_t> TModifyWin::Ask(int address, uint32_t current) {
    setWindowTitle(QStringLiteral("Modify Memory [0x%1]").arg(HexForm(static_cast<uint32_t>(address))));
    cel::CentreOnWorkArea(this);

    // Emptying the decimal field first makes setting it a change even when it already held
    // this text, so its handler always brings the other two fields in line.
    Updating = false;
    HexEdit->setText(QStringLiteral("0000"));
    DecEdit->clear();
    DecEdit->setText(DecForm(current));
    HexLbl->setText(HexEdit->text());
    DecLbl->setText(DecEdit->text());
    CharLbl->setText(CharEdit->text());
    HexEdit->setFocus();
    HexEdit->selectAll();
    Updating = false;

    if (exec() != QDialog::Accepted) return std::nullopt;
    const QString text = DecEdit->text();
    const QByteArray bytes = text.toLatin1();
    int32_t value = 0;
    if (!cel::ParseInputNumber(cel::BytesView(bytes), value)) {
        cel::ShowError(this, QStringLiteral("'%1' is not a valid integer value").arg(text));
        return std::nullopt;
    }
    return value;
}
