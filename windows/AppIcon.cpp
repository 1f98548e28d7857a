#include "windows/AppIcon.h"

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/packaging/icons/uego-interface-%1.png").arg(size),
                     QSize(size, size));
    return icon;
}
