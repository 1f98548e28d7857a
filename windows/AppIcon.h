#pragma once
// The program's own icon, a dial with a lambda, at every size it is drawn in.
#include <QIcon>

QIcon AppIcon();
