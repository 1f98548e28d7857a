#include "windows/Modeless.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void ShowModeless(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
}

namespace {
// The frame's offset from the window's top-left corner as known now: none until the window
// manager has framed the window.
QPoint FrameOffset(const QWidget* window) {
    return window->geometry().topLeft() - window->frameGeometry().topLeft();
}

QSize FrameExtra(const QWidget* window) {
    return window->frameGeometry().size() - window->size();
}
} // namespace

// move() places the frame as far as the frame is known, so before the window is first
// framed it places the window itself. The frame it is about to get is then taken from its
// owner's: the same title bar and side borders, and a bottom border as wide as a side one,
// as a window of fixed size has no resize handle. The window is centred with that frame
// and placed so that the frame lands where the centring puts it.
void CentreOn(QWidget* window, const QWidget* owner) {
    const bool framed = FrameExtra(window) != QSize(0, 0);
    const QPoint offset = FrameOffset(owner);
    const QSize extra =
        framed ? FrameExtra(window) : QSize(2 * offset.x(), offset.y() + offset.x());
    QRect frame(QPoint(0, 0), window->size() + extra);
    frame.moveCenter(owner->frameGeometry().center());
    window->move(framed ? frame.topLeft() : frame.topLeft() + offset);
}

// The frame is known only once the window manager has framed the window: until then the
// window is centred as if it had none, and once framed it is centred again by its frame.
void CentreOnScreen(QWidget* window) {
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}
