// TMainWin: the window set: showing the work windows, their arrangement, toggling between them,
// minimising the application.

#include "cel_Main.h"

#include "cel_Frame.h"
#include "cel_EditWin.h"
#include "cel_MemoryWin.h"
#include "cel_OutputWin.h"

#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QScreen>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>
#include <Qsci/qsciscintilla.h>

#include <algorithm>
#include <cmath>
#include <iterator>

// ---------------------------------------------------------------------------------------------
// Window set

void TMainWin::ShowEditor() {
    EditWin->show();
    EditWin->raise();
    EditWin->activateWindow();
    MenuEditor->setChecked(true);
}

void TMainWin::ShowOutput() {
    if (OutputWin->isHidden()) {
        OutputWin->show();
        MenuOutput->setChecked(true);
    }
    State.InputPending = false;
}

bool TMainWin::SwitchOn(TSwitch which) const {
    switch (which) {
    case TSwitch::Gutter: return MenuGutter->isChecked();
    case TSwitch::RightEdge: return MenuEdge->isChecked();
    case TSwitch::ProcMode: return MenuPBrain->isChecked();
    case TSwitch::Watch: return MenuWatch->isChecked();
    case TSwitch::CommentMarkers: return MenuEnableComments->isChecked();
    }
    return false;
}

void TMainWin::ViewClosed(TView which) {
    QAction* item = which == TView::Editor ? MenuEditor : which == TView::Output ? MenuOutput : MenuMemory;
    if (item) item->setChecked(false);
}

void TMainWin::ToggleWindowSize() { MenuWinSizeClick(); }

void TMainWin::ShowPendingInput() {
    if (!State.InputPending) return;
    ShowOutput();
    OutputWin->activateWindow();
    OutputWin->EditLine->setFocus();
}

void TMainWin::MenuWinSizeClick() {
    if (FirstLayout && SavedMainX > -1000000) {
        // Saved positions and sizes are those of the outer frames, as the layout places them.
        LayoutRestored = true;
        EarlierLayoutChecked = false;
        LayoutRects[0] = QRect(QPoint(SavedMainX, SavedMainY), cel::OuterSize(this));
        LayoutRects[1] = QRect(SavedEditorX, SavedEditorY, SavedEditorWidth, SavedEditorHeight);
        LayoutRects[2] = QRect(SavedOutputX, SavedOutputY, SavedOutputWidth, SavedOutputHeight);
        LayoutRects[3] = QRect(SavedMemoryX, SavedMemoryY, MemoryOuterWidth, SavedMemoryHeight);
    } else {
        LayoutRestored = false;
        LayoutFactor = State.SizeToggle ? 0.33f : 0.66f;
        State.SizeToggle = !State.SizeToggle;
        ComputeLayout();
    }
    ApplyLayout();
    FirstLayout = false;
    // A window manager frames the windows only once they are shown; the layout is placed again
    // when their frames turn out other than assumed.
    LayoutChecks = 0;
    LayoutSteadyChecks = 0;
    LayoutCheck.start();
}

void TMainWin::ComputeLayout() {
    const QRect work = screen() ? screen()->availableGeometry() : QRect(0, 0, 1024, 768);
    const QSize main = cel::OuterSize(this);
    LayoutRects[0] = QRect(QPoint(work.width() / 2 - main.width() / 2, work.top()), main);
    const int editorTop = work.top() + main.height();
    const int editorWidth = work.width() - MemoryOuterWidth;
    // Rounded to the nearest integer, halves to even.
    const int editorHeight =
        static_cast<int>(std::nearbyint(static_cast<float>(work.height() - editorTop) * LayoutFactor));
    const int outputHeight = work.height() - main.height() - editorHeight;
    LayoutRects[1] = QRect(work.left(), editorTop, editorWidth, editorHeight);
    LayoutRects[2] = QRect(work.left(), editorTop + editorHeight, editorWidth, outputHeight);
    LayoutRects[3] = QRect(work.left() + editorWidth, editorTop, MemoryOuterWidth, editorHeight + outputHeight);
}

void TMainWin::ApplyLayout() {
    QWidget* windows[4] = {this, EditWin, OutputWin, MemoryWin};
    for (int i = 0; i < 4; ++i) {
        QWidget* window = windows[i];
        if (!window) continue;
        LayoutMargins[i] = cel::FrameMargins(window);
        if (i == 0) {
            cel::MoveOuter(window, LayoutRects[0].topLeft());
            continue;
        }
        if (window == MemoryWin) {
            // The memory window's outer width is fixed; its client is what the frame leaves.
            const int client = MemoryOuterWidth - LayoutMargins[i].left() - LayoutMargins[i].right();
            window->setFixedWidth(client);
        }
        cel::SetOuterGeometry(window, LayoutRects[i]);
    }
}

namespace {

// How well rectangles fit a computed arrangement: one point for each of the edges it puts
// together that meet (the main window above the editor, the editor above the output window,
// the editor beside the memory window), and one when all of them lie within the work area.
int LayoutFit(const QRect rects[4], const QRect& work) {
    const QRect all = rects[0] | rects[1] | rects[2] | rects[3];
    return int(rects[0].bottom() + 1 == rects[1].top()) + int(rects[1].bottom() + 1 == rects[2].top()) +
           int(rects[1].right() + 1 == rects[3].left()) + int(work.contains(all));
}

}  // namespace

void TMainWin::ReadEarlierLayout() {
    EarlierLayoutChecked = true;
    // Earlier versions wrote client rectangles, or outer corners with client sizes. Read as
    // frames, windows that stood edge to edge then stand a frame apart; once the frames are
    // known, such a layout is read as it was written. (The next exit writes frames.)
    QMargins margins[4];
    QWidget* windows[4] = {this, EditWin, OutputWin, MemoryWin};
    for (int i = 0; i < 4; ++i) margins[i] = cel::FrameMargins(windows[i]);
    QRect best[4];
    std::copy(LayoutRects, LayoutRects + 4, best);
    const QRect work = screen() ? screen()->availableGeometry() : QRect();
    int bestFit = LayoutFit(LayoutRects, work);
    for (const bool clientCorner : {false, true}) {
        for (const bool clientSize : {false, true}) {
            if (!clientCorner && !clientSize) continue;
            QRect rects[4];
            for (int i = 0; i < 4; ++i) {
                const QMargins& m = margins[i];
                rects[i] = LayoutRects[i];
                if (clientCorner) rects[i].translate(-m.left(), -m.top());
                // The main window's size is its own and the memory window's width is fixed.
                if (clientSize && i != 0)
                    rects[i].setSize(rects[i].size().grownBy(QMargins(0, 0, i == 3 ? 0 : m.left() + m.right(),
                                                                      m.top() + m.bottom())));
            }
            const int fit = LayoutFit(rects, work);
            if (fit > bestFit) {
                bestFit = fit;
                std::copy(rects, rects + 4, best);
            }
        }
    }
    std::copy(best, best + 4, LayoutRects);
}

void TMainWin::LayoutCheckTimer() {
    QWidget* windows[4] = {this, EditWin, OutputWin, MemoryWin};
    bool settled = true;
    bool framesChanged = false;
    bool misplaced = false;
    if (LayoutRestored && !EarlierLayoutChecked &&
        std::all_of(std::begin(windows), std::end(windows), [](QWidget* w) { return w && cel::FrameKnown(w); })) {
        LayoutRects[0].setSize(cel::OuterSize(this));
        ReadEarlierLayout();
    }
    for (int i = 0; i < 4; ++i) {
        if (!windows[i] || !windows[i]->isVisible()) continue;
        if (!cel::FrameKnown(windows[i])) {
            settled = false;
            continue;
        }
        if (cel::FrameMargins(windows[i]) != LayoutMargins[i]) framesChanged = true;
        const QRect outer = cel::OuterGeometry(windows[i]);
        if (i == 0 ? outer.topLeft() != LayoutRects[0].topLeft() : outer != LayoutRects[i]) misplaced = true;
    }
    if (framesChanged || misplaced) {
        // The main window's outer height enters the computed layout; a restored one is placed
        // as it was saved.
        if (!LayoutRestored) ComputeLayout();
        else LayoutRects[0].setSize(cel::OuterSize(this));
        ApplyLayout();
        settled = false;
    }
    // A window manager may place or frame a window again after it first looked settled (its
    // frame extents and its notice of the placement come in separately): the windows count as
    // settled once they have stayed in place for a while. Without a window manager no frame ever
    // appears; the check gives up after a while, long enough for a window manager on a busy
    // machine to frame the windows.
    LayoutSteadyChecks = settled ? LayoutSteadyChecks + 1 : 0;
    if (LayoutSteadyChecks >= 10 || ++LayoutChecks >= 200) LayoutCheck.stop();
}

void TMainWin::MenuToggleClick() {
    QWidget* current = nullptr;
    QWidget* active = QApplication::activeWindow();
    if (active == EditWin || active == OutputWin || active == MemoryWin) current = active;
    else current = State.ActiveWorkWindow;
    QWidget* first;
    QWidget* second;
    if (current == EditWin) {
        first = OutputWin;
        second = MemoryWin;
    } else if (current == OutputWin) {
        first = MemoryWin;
        second = EditWin;
    } else {
        first = EditWin;
        second = OutputWin;
    }
    QWidget* target = first->isVisible() ? first : second->isVisible() ? second : nullptr;
    if (!target) return;
    target->raise();
    target->activateWindow();
    target->setFocus();
}

void TMainWin::MenuEditorClick() {
    EditWin->setVisible(!EditWin->isVisible());
    MenuEditor->setChecked(EditWin->isVisible());
}

void TMainWin::MenuOutputClick() {
    if (OutputWin->isVisible()) OutputWin->close();
    else OutputWin->show();
    MenuOutput->setChecked(OutputWin->isVisible());
}

void TMainWin::MenuMemoryClick() {
    if (MemoryWin->isVisible()) MemoryWin->close();
    else MemoryWin->show();
    MenuMemory->setChecked(MemoryWin->isVisible());
}

void TMainWin::MenuFlatClick() {
    // Qt's toolbar buttons are flat by nature; the raised look draws a frame around them.
    // A style sheet replaces the style's drawing of every state, so the checked state (8 bit,
    // 16 bit, Watch, Procedural) is drawn explicitly: sunken, on a darker face.
    ToolBar->setStyleSheet(MenuFlat->isChecked()
                               ? QString()
                               : QStringLiteral("QToolButton { border: 1px outset gray; padding: 1px; }"
                                                "QToolButton:checked, QToolButton:pressed { border: 1px inset gray; "
                                                "background-color: palette(mid); }"));
}

void TMainWin::MenuGutterClick() { EditWin->SetGutterVisible(MenuGutter->isChecked()); }

void TMainWin::MenuEdgeClick() { EditWin->SetRightEdge(80 - EditWin->RightEdge()); }

void TMainWin::MenuMinimizeClick() {
    // The whole application goes; restoring any of its windows brings all of them back.
    MinimizedWindows.clear();
    QWidget* focus = QApplication::focusWidget();
    FocusBeforeMinimize = focus && IsWorkWindow(focus->window()) ? focus : LastWorkFocus.data();
    for (QWidget* w : {static_cast<QWidget*>(EditWin), static_cast<QWidget*>(OutputWin),
                       static_cast<QWidget*>(MemoryWin)})
        if (w && w->isVisible() && !w->isMinimized()) MinimizedWindows.push_back(w);
    for (QWidget* w : MinimizedWindows) w->showMinimized();
    showMinimized();
}

bool TMainWin::IsWorkWindow(const QWidget* window) const {
    return window && (window == EditWin || window == OutputWin || window == MemoryWin);
}

void TMainWin::RestoreApplication() {
    if (MinimizedWindows.empty()) return;
    const std::vector<QPointer<QWidget>> windows = std::move(MinimizedWindows);
    MinimizedWindows.clear();
    if (isMinimized()) showNormal();
    for (QWidget* w : windows)
        if (w && w->isMinimized()) w->showNormal();
    // The window shown last would take the focus; the keys typed next go where they went before.
    QWidget* focus = FocusBeforeMinimize;
    FocusBeforeMinimize = nullptr;
    if (!focus || !focus->isVisible() || !focus->isEnabled()) return;
    focus->window()->raise();
    focus->window()->activateWindow();
    focus->setFocus(Qt::OtherFocusReason);
}

void TMainWin::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && !isMinimized()) RestoreApplication();
}

void TMainWin::wheelEvent(QWheelEvent* event) {
    if (MemoryWin && MemoryWin->isVisible()) MemoryWin->ForwardWheel(event);
}
