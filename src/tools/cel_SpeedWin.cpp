#include "cel_SpeedWin.h"

#include "cel_Dialogs.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <iterator>

TSpeedWin* SpeedWin = nullptr;

namespace {

struct TSpeed {
    const char* Name;
    const char* Caption;
    int Delay;  // milliseconds between two watched steps
};

// In the order on screen: the first alone in its column, then columns of three from top to
// bottom.
constexpr TSpeed Speeds[] = {
    {"RadioUnlimited", "Unlimited", 0}, {"Radio100", "100 Hz", 10}, {"Radio50", "50 Hz", 20},
    {"Radio25", "25 Hz", 40},           {"Radio20", "20 Hz", 50},   {"Radio15", "15 Hz", 66},
    {"Radio10", "10 Hz", 100},          {"Radio5", "5 Hz", 200},    {"Radio2", "2 Hz", 500},
    {"Radio1", "1 Hz", 1000},
};

}  // namespace

TSpeedWin::TSpeedWin(QWidget* parent) : QDialog(parent, cel::FixedDialogFlags()) {
    SpeedWin = this;
    cel::SetupFixedDialog(this, "SpeedWin", QStringLiteral("Set Running Speed for Watch"), 506, 266);

    auto* info = new QGroupBox(QStringLiteral("What is the running speed?"), this);
    info->setObjectName(QStringLiteral("PanelInfo"));
    info->setGeometry(8, 8, 490, 98);
    const char* const help[] = {
        "If you want to visually follow program operation, you may want to vary execution speed,",
        "so select a clock frequency for the virtual brainfuck machine below. With 'Unlimited' the",
        "program runs without any delay, and how fast it runs then depends only on your",
        "computer's speed.",
    };
    for (int line = 0; line < 4; ++line) {
        auto* label = new QLabel(QLatin1String(help[line]), info);
        label->setObjectName(QStringLiteral("LblInfo%1").arg(line + 1));
        label->setGeometry(12, 22 + 17 * line, 470, 17);
    }

    auto* hz = new QGroupBox(QStringLiteral("Clock frequency:"), this);
    hz->setObjectName(QStringLiteral("PanelHz"));
    hz->setGeometry(8, 114, 490, 108);
    // One parent makes the buttons exclusive of each other, yet none is checked until one is
    // picked: a delay outside the table shows no frequency.
    for (int i = 0; i < SpeedCount; ++i) {
        Radios[i] = new QRadioButton(QLatin1String(Speeds[i].Caption), hz);
        Radios[i]->setObjectName(QLatin1String(Speeds[i].Name));
        const int column = i == 0 ? 0 : 1 + (i - 1) / 3;
        const int row = i == 0 ? 0 : (i - 1) % 3;
        Radios[i]->setGeometry(16 + 118 * column, 24 + 26 * row, 104, 20);
    }

    BtnOk = cel::MakeButton(this, "BtnOk", QStringLiteral("&Ok"), QRect(342, 232, 75, 25));
    BtnOk->setDefault(true);
    BtnCancel = cel::MakeButton(this, "BtnCancel", QStringLiteral("&Cancel"), QRect(423, 232, 75, 25));
    connect(BtnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);

    for (int i = 0; i + 1 < SpeedCount; ++i) setTabOrder(Radios[i], Radios[i + 1]);
    setTabOrder(Radios[SpeedCount - 1], BtnOk);
    setTabOrder(BtnOk, BtnCancel);
}

std::optional<int> TSpeedWin::Ask(int current) {
    static_assert(std::size(Speeds) == SpeedCount);
    BtnOk->setFocus();
    for (int i = 0; i < SpeedCount; ++i)
        if (Speeds[i].Delay == current) Radios[i]->setChecked(true);
    for (int i = 0; i < SpeedCount; ++i) Loaded[i] = Radios[i]->isChecked();
    cel::CentreOnWorkArea(this);
    if (exec() != QDialog::Accepted) return std::nullopt;
    for (int i = 0; i < SpeedCount; ++i)
        if (Radios[i]->isChecked()) return Speeds[i].Delay;
    return std::nullopt;
}

bool TSpeedWin::focusNextPrevChild(bool next) {
    const auto isRadio = [this](const QWidget* widget) {
        return std::find(std::begin(Radios), std::end(Radios), widget) != std::end(Radios);
    };
    // The group is one stop of the Tab order, entered at its checked button; the arrow keys
    // move within it.
    if (isRadio(focusWidget())) {
        QWidget* beyond = next ? static_cast<QWidget*>(BtnOk) : BtnCancel;
        beyond->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        return true;
    }
    const bool moved = QDialog::focusNextPrevChild(next);
    if (isRadio(focusWidget()))
        for (QRadioButton* radio : Radios)
            if (radio->isChecked()) radio->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return moved;
}

void TSpeedWin::done(int result) {
    if (result != QDialog::Accepted) {
        // Exclusive buttons refuse to be all unchecked, which the loaded state may be.
        for (QRadioButton* radio : Radios) radio->setAutoExclusive(false);
        for (int i = 0; i < SpeedCount; ++i) Radios[i]->setChecked(Loaded[i]);
        for (QRadioButton* radio : Radios) radio->setAutoExclusive(true);
    }
    QDialog::done(result);
}
