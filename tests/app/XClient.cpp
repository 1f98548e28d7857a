#include "tests/app/XClient.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

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

namespace {
// The answer to a ping: the same message, sent back to the root window.
bool IsPong(const XEvent& event, Atom protocols, Atom ping, long token) {
    return event.type == ClientMessage && event.xclient.message_type == protocols &&
           Atom(event.xclient.data.l[0]) == ping && event.xclient.data.l[1] == token;
}

// The next event, waiting for the display's connection; false when none comes.
bool NextEvent(Display* x, XEvent& event) {
    if (XPending(x) == 0) {
        pollfd p{ConnectionNumber(x), POLLIN, 0};
        if (::poll(&p, 1, 30000) <= 0 || XPending(x) == 0)
            return false;
    }
    XNextEvent(x, &event);
    return true;
}
} // namespace

bool Ping(const QString& display, unsigned long window) {
    Display* x = Open(display);
    if (!x)
        return false;
    const Window root = DefaultRootWindow(x);
    // The answer goes to the root window for structure or substructure listeners,
    // depending on the toolkit's version: listen for both.
    XSelectInput(x, root, StructureNotifyMask | SubstructureNotifyMask);
    const Atom protocols = XInternAtom(x, "WM_PROTOCOLS", False);
    const Atom ping = XInternAtom(x, "_NET_WM_PING", False);
    static long token = 0;
    ++token;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(ping);
    event.xclient.data.l[1] = token;
    event.xclient.data.l[2] = long(window);
    bool answered = XSendEvent(x, window, False, NoEventMask, &event) != 0;
    XFlush(x);
    XEvent reply{};
    while (answered && !IsPong(reply, protocols, ping, token))
        answered = NextEvent(x, reply);
    XCloseDisplay(x);
    return answered;
}
