#include "cel_ProfileWin.h"

#include "cel_EditWin.h"

#include <Qsci/qsciscintilla.h>

#include <QCloseEvent>
#include <QHeaderView>
#include <QLocale>
#include <QTreeWidget>
#include <QVBoxLayout>

TProfileWin::TProfileWin(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::Window) {
    setObjectName(QStringLiteral("ProfileWin"));
    setWindowTitle(QStringLiteral("Profile"));
    resize(360, 220);
    // It comes up at a pause or the end of a run: the keys stay where they were.
    setAttribute(Qt::WA_ShowWithoutActivating);
    Loops = new QTreeWidget(this);
    Loops->setObjectName(QStringLiteral("Loops"));
    Loops->setRootIsDecorated(false);
    Loops->setUniformRowHeights(true);
    Loops->setHeaderLabels({QStringLiteral("Loop"), QStringLiteral("Entries"), QStringLiteral("Commands"),
                            QStringLiteral("Share")});
    Loops->header()->setStretchLastSection(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Loops);
    connect(Loops, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { GoToLoop(Loops->indexOfTopLevelItem(item)); });
}

void TProfileWin::ShowLoops(const std::vector<cel::TLoopProfile>& loops, uint64_t total) {
    Shown = loops;
    Loops->clear();
    const QLocale locale;
    QList<QTreeWidgetItem*> items;
    for (const cel::TLoopProfile& loop : loops) {
        const double share = total ? 100.0 * double(loop.Commands) / double(total) : 0.0;
        auto* item = new QTreeWidgetItem(
            {EditWin ? EditWin->PlaceText(int(loop.OpenOffset)) : QString::number(loop.OpenOffset),
             locale.toString(static_cast<qulonglong>(loop.Entries)), locale.toString(static_cast<qulonglong>(loop.Commands)),
             locale.toString(share, 'f', 1) + QStringLiteral(" %")});
        for (int column = 1; column < 4; ++column) item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
        items << item;
    }
    Loops->addTopLevelItems(items);
    for (int column = 0; column < 3; ++column) Loops->resizeColumnToContents(column);
}

bool TProfileWin::GoToLoop(int index) {
    if (index < 0 || size_t(index) >= Shown.size() || !EditWin) return false;
    EditWin->SetSelection(int(Shown[size_t(index)].OpenOffset), 0);
    EditWin->Editor->SendScintilla(QsciScintillaBase::SCI_SCROLLCARET);
    EditWin->show();
    EditWin->activateWindow();
    EditWin->Editor->setFocus();
    return true;
}

void TProfileWin::closeEvent(QCloseEvent* event) {
    event->accept();
    hide();
}
