#pragma once
// Fonts as the forms name them ("MS Sans Serif", "Tahoma", "Arial", "System"), given by
// character height in pixels and resolved to the metric-compatible fonts installed here.
#include <QFont>
#include <QString>

// Where Debian's fonts-wine puts its fonts with the metrics of "Tahoma", "MS Sans Serif"
// and "System".
inline const QString FormFontFolder = QStringLiteral("/usr/share/wine/fonts");

// Adds the forms' fonts found in the folder to the application's fonts, once per folder;
// returns how many were added. The layout is given in pixels for these fonts; without
// them the names fall back to fontconfig's substitutes.
int LoadFormFonts(const QString& folder = FormFontFolder);

QFont FormFont(const QString& family, int pixelHeight, bool bold = false);
