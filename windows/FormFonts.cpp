#include "windows/FormFonts.h"

// Font names the system lacks ("MS Sans Serif", "Tahoma") fall back through fontconfig
// to its sans-serif face; "Arial" resolves to the metric-compatible Liberation Sans.
QFont FormFont(const QString& family, int pixelHeight, bool bold) {
    QFont font(family);
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    return font;
}
