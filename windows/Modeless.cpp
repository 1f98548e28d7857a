#include "windows/Modeless.h"

#include <QWidget>

void ShowModeless(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
}

// A top-level window's move() places its frame, so centring the frame rectangle suffices.
void CentreOn(QWidget* window, const QWidget* owner) {
    QRect frame(QPoint(0, 0), window->frameGeometry().size());
    frame.moveCenter(owner->frameGeometry().center());
    window->move(frame.topLeft());
}
