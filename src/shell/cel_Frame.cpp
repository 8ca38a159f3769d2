#include "cel_Frame.h"

#include <QWidget>
#include <QWindow>

namespace cel {

namespace {

// The frames last seen on framed windows, by kind.
QMargins LastResizable;
QMargins LastFixed;

bool Resizable(const QWidget* window) { return window->minimumSize() != window->maximumSize(); }

// A window manager may draw a maximised window with another frame (or none).
bool Normal(const QWidget* window) { return !window->isMaximized() && !window->isFullScreen(); }

QMargins& KindMargins(const QWidget* window) { return Resizable(window) ? LastResizable : LastFixed; }

QMargins OwnMargins(const QWidget* window) {
    // The window system's current frame: the widget's own copy is brought up to date only at its
    // next move or resize event, so it may still be the frame from before the window manager's.
    if (const QWindow* handle = window->windowHandle()) return handle->frameMargins();
    const QRect outer = window->frameGeometry();
    const QRect inner = window->geometry();
    return QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                    outer.bottom() - inner.bottom());
}

}  // namespace

bool FrameKnown(const QWidget* window) {
    if (!window->isVisible()) return false;
    // A window manager frames a window shortly after it is mapped; until then Qt reports the
    // client rectangle as the frame.
    return !OwnMargins(window).isNull();
}

QMargins FrameMargins(const QWidget* window) {
    if (FrameKnown(window)) {
        const QMargins own = OwnMargins(window);
        if (Normal(window)) KindMargins(window) = own;
        return own;
    }
    return KindMargins(window);
}

QRect OuterGeometry(const QWidget* window) { return window->geometry().marginsAdded(FrameMargins(window)); }

QRect NormalOuterGeometry(const QWidget* window) {
    if (Normal(window)) return OuterGeometry(window);
    return window->normalGeometry().marginsAdded(KindMargins(window));
}

QSize OuterSize(const QWidget* window) { return OuterGeometry(window).size(); }

void SetOuterGeometry(QWidget* window, const QRect& outer) {
    window->setGeometry(outer.marginsRemoved(FrameMargins(window)));
}

void MoveOuter(QWidget* window, const QPoint& topLeft) {
    const QMargins m = FrameMargins(window);
    window->setGeometry(QRect(topLeft + QPoint(m.left(), m.top()), window->size()));
}

}  // namespace cel
