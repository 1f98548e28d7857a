#pragma once
// The system's 8-bit code page, ISO-8859-1 (Latin-1), of the log file and the serial numbers.
#include <QByteArray>
#include <QString>

// The text in the 8-bit code page: a character it cannot hold becomes "?".
QByteArray ToCodePage(const QString& text);
