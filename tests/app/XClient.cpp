#include "tests/app/XClient.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {
Display* Open(const QString& display) {
    return XOpenDisplay(display.toLocal8Bit().constData());
}
} // namespace

bool CanConnect(const QString& display) {
    Display* x = Open(display);
    if (x)
        XCloseDisplay(x);
    return x != nullptr;
}

QString WindowClass(const QString& display, unsigned long window) {
    Display* x = Open(display);
    if (!x)
        return {};
    XClassHint hint{};
    QString name;
    if (XGetClassHint(x, window, &hint)) {
        name = QString::fromLocal8Bit(hint.res_class);
        XFree(hint.res_name);
        XFree(hint.res_class);
    }
    XCloseDisplay(x);
    return name;
}

bool CloseWindow(const QString& display, unsigned long window) {
    Display* x = Open(display);
    if (!x)
        return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(x, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(x, window, False, NoEventMask, &event) != 0;
    XCloseDisplay(x);
    return sent;
}
