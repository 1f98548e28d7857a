// The regional settings on Linux: the C library's locale, which the application object
// takes from the environment (LC_NUMERIC, LC_TIME).
#include "core/DateTime.h"
#include "core/Numbers.h"

#include <QDateTime>
#include <clocale>
#include <cmath>
#include <ctime>
#include <langinfo.h>
#include <string>

namespace {

const QDate DateTimeEpoch(1899, 12, 30);

QString FormatLocale(const char* format, TDateTime dt) {
    const double days = std::floor(dt);
    const QDate date = DateTimeEpoch.addDays(qint64(days));
    const QTime time = QTime(0, 0).addMSecs(int(std::lround((dt - days) * 86400000.0)));
    std::tm tm{};
    tm.tm_year = date.year() - 1900;
    tm.tm_mon = date.month() - 1;
    tm.tm_mday = date.day();
    tm.tm_wday = date.dayOfWeek() % 7;
    tm.tm_yday = date.dayOfYear() - 1;
    tm.tm_hour = time.hour();
    tm.tm_min = time.minute();
    tm.tm_sec = time.second();
    tm.tm_isdst = -1;
    char buffer[128];
    const size_t n = std::strftime(buffer, sizeof buffer, format, &tm);
    return QString::fromLocal8Bit(buffer, qsizetype(n));
}

} // namespace

QChar DecimalSeparator() {
    // Decoding the locale's text costs more than formatting a number: keep the last one.
    thread_local std::string lastPoint;
    thread_local QChar lastSeparator('.');
    const lconv* conv = std::localeconv();
    const char* point = conv && conv->decimal_point ? conv->decimal_point : ".";
    if (lastPoint != point) {
        lastPoint = point;
        const QString text = QString::fromLocal8Bit(point);
        lastSeparator = text.isEmpty() ? QChar('.') : text.at(0);
    }
    return lastSeparator;
}

QChar ThousandSeparator() {
    const lconv* conv = std::localeconv();
    const QString separator =
        QString::fromLocal8Bit(conv && conv->thousands_sep ? conv->thousands_sep : "");
    return separator.isEmpty() ? QChar() : separator.at(0);
}

QString FormatLocaleDate(TDateTime dt) {
    return FormatLocale(nl_langinfo(D_FMT), dt);
}

QString FormatLocaleTime(TDateTime dt) {
    return FormatLocale(nl_langinfo(T_FMT), dt);
}
