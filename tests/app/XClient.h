#pragma once
// The two things a window manager does that the program tests need on a bare X server:
// reading a window's WM_CLASS and asking a window to close. Xlib's macros stay in the
// source file.
#include <QString>

// The class part of the window's WM_CLASS (the application name); empty when unknown.
QString WindowClass(const QString& display, unsigned long window);

// Sends WM_DELETE_WINDOW, as the frame's close box does; false when the display is gone.
bool CloseWindow(const QString& display, unsigned long window);
