#include "cel_BreakConditionWin.h"

#include "cel_Dialogs.h"
#include "cel_NumberSyntax.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

TBreakConditionWin::TBreakConditionWin(QWidget* parent) : QDialog(parent, cel::FixedDialogFlags()) {
    cel::SetupDialog(this, "BreakConditionWin", QStringLiteral("Breakpoint"));
    Condition = new QComboBox(this);
    Condition->setObjectName(QStringLiteral("Condition"));
    Condition->addItems({QStringLiteral("always"), QStringLiteral("cell = value"), QStringLiteral("cell \u2260 value"),
                         QStringLiteral("cell < value"), QStringLiteral("cell > value")});
    Value = new QLineEdit(this);
    Value->setObjectName(QStringLiteral("Value"));
    Value->setMinimumWidth(150);  // room for the caption with the breakpoint's place
    HitOnly = new QCheckBox(QStringLiteral("Only at &hit"), this);
    HitOnly->setObjectName(QStringLiteral("HitOnly"));
    Hit = new QSpinBox(this);
    Hit->setObjectName(QStringLiteral("Hit"));
    Hit->setRange(1, std::numeric_limits<int>::max());
    Enabled = new QCheckBox(QStringLiteral("&Enabled"), this);
    Enabled->setObjectName(QStringLiteral("Enabled"));
    QPushButton* ok = cel::MakeButton(this, "BtnOk", QStringLiteral("Ok"), QRect());
    QPushButton* cancel = cel::MakeButton(this, "BtnCancel", QStringLiteral("Cancel"), QRect());
    ok->setDefault(true);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Stop when:"), Condition);
    form->itemAt(0, QFormLayout::LabelRole)->widget()->setObjectName(QStringLiteral("ConditionLabel"));
    static_cast<QLabel*>(form->itemAt(0, QFormLayout::LabelRole)->widget())->setBuddy(Condition);
    form->addRow(QStringLiteral("&Value:"), Value);
    static_cast<QLabel*>(form->itemAt(1, QFormLayout::LabelRole)->widget())->setBuddy(Value);
    auto* hitRow = new QHBoxLayout;
    hitRow->addWidget(HitOnly);
    hitRow->addWidget(Hit, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(hitRow);
    layout->addWidget(Enabled);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(ok, &QPushButton::clicked, this, &TBreakConditionWin::OkClick);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(Condition, &QComboBox::currentIndexChanged, this, [this] { UpdateFields(); });
    connect(HitOnly, &QCheckBox::toggled, this, [this] { UpdateFields(); });
}

void TBreakConditionWin::UpdateFields() {
    Value->setEnabled(Condition->currentIndex() != 0);
    Hit->setEnabled(HitOnly->isChecked());
}

void TBreakConditionWin::Show(const cel::TBreakpoint& breakpoint) {
    Condition->setCurrentIndex(static_cast<int>(breakpoint.Condition));
    Value->setText(QString::number(breakpoint.Value));
    HitOnly->setChecked(breakpoint.HitCount != 0);
    Hit->setValue(breakpoint.HitCount != 0 ? static_cast<int>(std::min<uint64_t>(breakpoint.HitCount, INT32_MAX)) : 1);
    Enabled->setChecked(breakpoint.Enabled);
    UpdateFields();
}

bool TBreakConditionWin::Read(cel::TBreakpoint& breakpoint, QString& problem) const {
    const auto condition = static_cast<cel::TBreakCondition>(Condition->currentIndex());
    int32_t value = 0;
    if (condition != cel::TBreakCondition::None) {
        const QByteArray text = Value->text().toLatin1();
        if (!cel::ParseInputNumber(std::string_view(text.constData(), size_t(text.size())), value) || value < 0 ||
            value > 65535) {
            problem = QStringLiteral("The value must be a number from 0 to 65535 (hexadecimal after $ or 0x).");
            return false;
        }
    }
    breakpoint.Condition = condition;
    breakpoint.Value = condition == cel::TBreakCondition::None ? 0 : static_cast<uint32_t>(value);
    breakpoint.HitCount = HitOnly->isChecked() ? static_cast<uint64_t>(Hit->value()) : 0;
    breakpoint.Enabled = Enabled->isChecked();
    return true;
}

void TBreakConditionWin::OkClick() {
    cel::TBreakpoint probe;
    QString problem;
    if (!Read(probe, problem)) {
        cel::ShowError(this, problem);
        Value->setFocus();
        Value->selectAll();
        return;
    }
    accept();
}

std::optional<cel::TBreakpoint> TBreakConditionWin::Ask(const cel::TBreakpoint& breakpoint, int line, int column) {
    setWindowTitle(QStringLiteral("Breakpoint at %1 : %2").arg(line).arg(column));
    Show(breakpoint);
    Condition->setFocus();
    if (exec() != QDialog::Accepted) return std::nullopt;
    cel::TBreakpoint result = breakpoint;
    QString problem;
    if (!Read(result, problem)) return std::nullopt;
    return result;
}
