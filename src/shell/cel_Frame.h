// Window frames: placing top-level windows by their outer rectangles, the window manager's frame
// included. Qt places a top-level window by its client area; the frame a window manager adds is
// known only once the window has been mapped and framed, and differs between window managers
// (none at all without one).
#pragma once

#include <QMargins>
#include <QPoint>
#include <QRect>

class QWidget;

namespace cel {

// The frame around a top-level window: its own once it is framed; before that, the frame last
// seen on a framed normal (not maximised) window of the same kind (resizable or fixed size);
// none when no window has been framed yet or there is no window manager.
QMargins FrameMargins(const QWidget* window);
// True when the window is shown and its frame is known, that is, FrameMargins() is its own.
bool FrameKnown(const QWidget* window);
// The outer rectangle of a top-level window, frame included.
QRect OuterGeometry(const QWidget* window);
// The outer rectangle a top-level window has when shown normally: OuterGeometry() for a normal
// window; for a maximised or full-screen one, the rectangle it goes back to, in the frame of a
// normal window of its kind.
QRect NormalOuterGeometry(const QWidget* window);
// Places a top-level window so that its frame covers `outer`.
void SetOuterGeometry(QWidget* window, const QRect& outer);
// Moves a top-level window so that its frame's top-left corner lies at `topLeft`.
void MoveOuter(QWidget* window, const QPoint& topLeft);
// The size a window's frame will have: its client size grown by FrameMargins().
QSize OuterSize(const QWidget* window);

}  // namespace cel
