#include "windows/WindowActivation.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

TWindowActivation::TWindowActivation(QObject* parent) : QObject(parent) {
    qApp->installEventFilter(this);
}

TWindowActivation& TWindowActivation::Instance() {
    static QPointer<TWindowActivation> instance;
    if (!instance)
        instance = new TWindowActivation(qApp);
    return *instance;
}

// The application's filters see an event before the window does, so the window finds the
// record already moved on when it handles its own activation.
bool TWindowActivation::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::WindowActivate && watched->isWidgetType()) {
        auto* window = static_cast<QWidget*>(watched);
        if (window->isWindow()) {
            FPrevious = FCurrent;
            FCurrent = window;
        }
    }
    return QObject::eventFilter(watched, event);
}
