#include "cel_BreakpointsWin.h"

#include "cel_Dialogs.h"
#include "cel_EditWin.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString ConditionText(const cel::TBreakpoint& breakpoint) {
    static const char* const operators[] = {"", "=", "\u2260", "<", ">"};
    QStringList parts;
    if (breakpoint.Condition != cel::TBreakCondition::None)
        parts << QStringLiteral("cell %1 %2").arg(QString::fromUtf8(operators[int(breakpoint.Condition)])).arg(breakpoint.Value);
    if (breakpoint.HitCount) parts << QStringLiteral("hit %1").arg(breakpoint.HitCount);
    return parts.join(QStringLiteral(", "));
}

QString KindsText(uint8_t kinds) {
    QStringList parts;
    if (kinds & cel::WatchChange) parts << QStringLiteral("change");
    if (kinds & cel::WatchArrival) parts << QStringLiteral("arrival");
    return QStringLiteral("on ") + parts.join(QStringLiteral(", "));
}

// The kinds of a watchpoint as two check boxes; none when cancelled or no kind is left.
std::optional<uint8_t> AskKinds(QWidget* parent, uint32_t cell, uint8_t kinds) {
    QDialog dialog(parent, cel::FixedDialogFlags());
    cel::SetupDialog(&dialog, "WatchKindsWin", QStringLiteral("Watchpoint on cell %1").arg(cell));
    auto* change = new QCheckBox(QStringLiteral("Break on &Change"), &dialog);
    change->setObjectName(QStringLiteral("Change"));
    change->setChecked(kinds & cel::WatchChange);
    auto* arrival = new QCheckBox(QStringLiteral("Break on &Arrival"), &dialog);
    arrival->setObjectName(QStringLiteral("Arrival"));
    arrival->setChecked(kinds & cel::WatchArrival);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(change);
    layout->addWidget(arrival);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return uint8_t((change->isChecked() ? cel::WatchChange : 0) | (arrival->isChecked() ? cel::WatchArrival : 0));
}

}  // namespace

TBreakpointsWin::TBreakpointsWin(QWidget* parent) : QDialog(parent, cel::FixedDialogFlags()) {
    cel::SetupDialog(this, "BreakpointsWin", QStringLiteral("Breakpoints"));
    resize(440, 260);
    List = new QTreeWidget(this);
    List->setObjectName(QStringLiteral("List"));
    List->setRootIsDecorated(false);
    List->setHeaderLabels({QStringLiteral("Where"), QStringLiteral("Condition"), QStringLiteral("Hits")});
    BtnEdit = cel::MakeButton(this, "BtnEdit", QStringLiteral("&Edit..."), QRect());
    BtnRemove = cel::MakeButton(this, "BtnRemove", QStringLiteral("&Remove"), QRect());
    BtnClose = cel::MakeButton(this, "BtnClose", QStringLiteral("Close"), QRect());
    BtnClose->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BtnEdit);
    buttons->addWidget(BtnRemove);
    buttons->addStretch(1);
    buttons->addWidget(BtnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(List, 1);
    layout->addLayout(buttons);
    connect(BtnEdit, &QPushButton::clicked, this, &TBreakpointsWin::EditClick);
    connect(BtnRemove, &QPushButton::clicked, this, &TBreakpointsWin::RemoveClick);
    connect(BtnClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(List, &QTreeWidget::itemDoubleClicked, this, [this] { EditClick(); });
    connect(List, &QTreeWidget::itemChanged, this, &TBreakpointsWin::ItemChanged);
    connect(List, &QTreeWidget::currentItemChanged, this, [this] {
        BtnEdit->setEnabled(List->currentItem());
        BtnRemove->setEnabled(List->currentItem());
    });
    Refresh();
}

void TBreakpointsWin::Refresh() {
    if (!EditWin) return;
    const QTreeWidgetItem* current = List->currentItem();
    const QVariant key = current ? current->data(0, KeyRole) : QVariant();
    const bool watch = current && current->data(0, IsWatchRole).toBool();
    Filling = true;
    List->clear();
    const QLocale locale;
    const auto add = [this](const QStringList& texts, uint32_t keyValue, bool isWatch, bool enabled) {
        auto* item = new QTreeWidgetItem(List, texts);
        item->setData(0, KeyRole, keyValue);
        item->setData(0, IsWatchRole, isWatch);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, enabled ? Qt::Checked : Qt::Unchecked);
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        return item;
    };
    for (const cel::TBreakpoint& breakpoint : EditWin->BreakpointList())
        add({EditWin->PlaceText(int(breakpoint.Offset)), ConditionText(breakpoint),
             locale.toString(static_cast<qulonglong>(EditWin->BreakHits(breakpoint.Offset)))},
            breakpoint.Offset, false, breakpoint.Enabled);
    for (const cel::TWatchpoint& watchpoint : EditWin->Watchpoints())
        add({QStringLiteral("cell %1").arg(watchpoint.Cell), KindsText(watchpoint.Kinds), QString()}, watchpoint.Cell,
            true, watchpoint.Enabled);
    for (int column = 0; column < 3; ++column) List->resizeColumnToContents(column);
    for (int i = 0; i < List->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = List->topLevelItem(i);
        if (current && item->data(0, KeyRole) == key && item->data(0, IsWatchRole).toBool() == watch)
            List->setCurrentItem(item);
    }
    if (!List->currentItem() && List->topLevelItemCount()) List->setCurrentItem(List->topLevelItem(0));
    BtnEdit->setEnabled(List->currentItem());
    BtnRemove->setEnabled(List->currentItem());
    Filling = false;
}

void TBreakpointsWin::ItemChanged(QTreeWidgetItem* item, int column) {
    if (Filling || column != 0 || !EditWin) return;
    const uint32_t key = item->data(0, KeyRole).toUInt();
    const bool enabled = item->checkState(0) == Qt::Checked;
    if (item->data(0, IsWatchRole).toBool()) {
        std::vector<cel::TWatchpoint> list = EditWin->Watchpoints();
        for (cel::TWatchpoint& watchpoint : list)
            if (watchpoint.Cell == key) watchpoint.Enabled = enabled;
        EditWin->SetWatchpoints(std::move(list));
    } else if (auto breakpoint = EditWin->BreakpointAt(int(key))) {
        breakpoint->Enabled = enabled;
        EditWin->ChangeBreakpoint(*breakpoint);
    }
    QMetaObject::invokeMethod(this, [this] { Refresh(); }, Qt::QueuedConnection);
}

void TBreakpointsWin::EditClick() {
    const QTreeWidgetItem* item = List->currentItem();
    if (!item || !EditWin) return;
    const uint32_t key = item->data(0, KeyRole).toUInt();
    if (!item->data(0, IsWatchRole).toBool()) {
        EditWin->EditBreakpoint(int(key));
    } else if (const auto kinds = AskKinds(this, key, EditWin->WatchKinds(key))) {
        std::vector<cel::TWatchpoint> list = EditWin->Watchpoints();
        for (cel::TWatchpoint& watchpoint : list)
            if (watchpoint.Cell == key) watchpoint.Kinds = *kinds;
        list.erase(std::remove_if(list.begin(), list.end(), [](const cel::TWatchpoint& w) { return w.Kinds == 0; }),
                   list.end());
        EditWin->SetWatchpoints(std::move(list));
    }
    Refresh();
}

void TBreakpointsWin::RemoveClick() {
    const QTreeWidgetItem* item = List->currentItem();
    if (!item || !EditWin) return;
    const uint32_t key = item->data(0, KeyRole).toUInt();
    if (item->data(0, IsWatchRole).toBool()) {
        std::vector<cel::TWatchpoint> list = EditWin->Watchpoints();
        list.erase(std::remove_if(list.begin(), list.end(), [key](const cel::TWatchpoint& w) { return w.Cell == key; }),
                   list.end());
        EditWin->SetWatchpoints(std::move(list));
    } else {
        EditWin->RemoveBreakpoint(int(key));
    }
    const int row = List->indexOfTopLevelItem(List->currentItem());
    Refresh();
    if (List->topLevelItemCount()) List->setCurrentItem(List->topLevelItem(std::min(row, List->topLevelItemCount() - 1)));
}
