// TBreakpointsWin: the "Breakpoints" dialog: every breakpoint and watchpoint of the current
// document with its place, condition and hits; each can be disabled (its check box), edited or
// removed. Changes apply at once.
#pragma once

#include <QDialog>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class TBreakpointsWin final : public QDialog {
    Q_OBJECT
public:
    explicit TBreakpointsWin(QWidget* parent = nullptr);

    QTreeWidget* List = nullptr;
    QPushButton* BtnEdit = nullptr;
    QPushButton* BtnRemove = nullptr;
    QPushButton* BtnClose = nullptr;

    // Reads the document's breakpoints and watchpoints into the list again.
    void Refresh();
    // The selected row: the condition dialog for a breakpoint, the kinds for a watchpoint.
    void EditClick();
    void RemoveClick();

    // A row's text offset (breakpoint) or cell (watchpoint), in the item's data.
    static constexpr int KeyRole = Qt::UserRole;
    static constexpr int IsWatchRole = Qt::UserRole + 1;

private:
    void ItemChanged(QTreeWidgetItem* item, int column);
    bool Filling = false;
};
