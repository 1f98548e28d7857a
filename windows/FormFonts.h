#pragma once
// Fonts as the forms name them ("MS Sans Serif", "Tahoma", "Arial", "System"), given by
// character height in pixels and resolved to the metric-compatible fonts installed here.
#include <QFont>

QFont FormFont(const QString& family, int pixelHeight, bool bold = false);
