#pragma once
// What the program tests need of a bare X server beside xdotool: a connection check,
// a window's WM_CLASS, and the close and ping requests a window manager sends. Xlib's macros stay
// in the source file.
#include <QString>

// Whether a client can connect to the display.
bool CanConnect(const QString& display);

// The class part of the window's WM_CLASS (the application name); empty when unknown.
QString WindowClass(const QString& display, unsigned long window);

// Sends WM_DELETE_WINDOW, as the frame's close box does; false when the display is gone.
bool CloseWindow(const QString& display, unsigned long window);

// Sends _NET_WM_PING to the window and waits for its answer. The program answers once it
// has handled every event that reached it before, so whatever an earlier click did has
// reached the server. False when the display is gone or no answer came.
bool Ping(const QString& display, unsigned long window);
