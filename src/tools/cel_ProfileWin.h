// TProfileWin: the "Profile" window: the hottest loops of a profiled run, with how often each
// was entered, the commands executed inside it and their share of all executed. A
// double-click puts the editor's caret on the loop's opening bracket.
#pragma once

#include "cel_Debugging.h"

#include <QWidget>

#include <cstdint>
#include <vector>

class QTreeWidget;
class QTreeWidgetItem;

class TProfileWin final : public QWidget {
    Q_OBJECT
public:
    explicit TProfileWin(QWidget* parent = nullptr);

    QTreeWidget* Loops = nullptr;
    // The loops, hottest first, of a run that executed total commands; none empties the list.
    void ShowLoops(const std::vector<cel::TLoopProfile>& loops, uint64_t total);
    // The caret to the loop of row index; false for no such row.
    bool GoToLoop(int index);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::vector<cel::TLoopProfile> Shown;
};
