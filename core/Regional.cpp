// The regional settings on Linux: the C library's locale, which the application object
// takes from the environment (LC_NUMERIC, LC_TIME).
#include "core/DateTime.h"
#include "core/Numbers.h"

#include <QDateTime>
#include <clocale>
#include <cmath>
#include <cstdio>
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

namespace {
// Milliseconds since 30 Dec 1899, rounded once so that a time just before midnight does
// not show the next day's date with the old day's clock.
struct TDayAndMs {
    long long Day;
    long long Ms;
};
TDayAndMs SplitMs(TDateTime dt) {
    const long long total = std::llround(dt * 86400000.0);
    const long long day = total >= 0 ? total / 86400000 : -((-total + 86399999) / 86400000);
    return {day, total - day * 86400000};
}

QString SheetClock(long long ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld", ms / 3600000, ms / 60000 % 60,
                  ms / 1000 % 60, ms % 1000);
    QString clock = QString::fromLatin1(text);
    clock[8] = DecimalSeparator();
    return clock;
}

std::string LongYearDateFormat() {
    std::string format = nl_langinfo(D_FMT);
    for (std::size_t at = format.find("%y"); at != std::string::npos; at = format.find("%y", at))
        format[at + 1] = 'Y';
    return format;
}
} // namespace

QString FormatSheetDateTime(TDateTime dt) {
    const TDayAndMs at = SplitMs(dt);
    // A log's records share their date for a day: it is written once a day, not each time.
    thread_local std::string lastFormat;
    thread_local long long lastDay = 0;
    thread_local QString lastDate;
    const std::string format = LongYearDateFormat();
    if (lastDate.isEmpty() || at.Day != lastDay || format != lastFormat) {
        lastFormat = format;
        lastDay = at.Day;
        lastDate = FormatLocale(format.c_str(), double(at.Day)) + QLatin1Char(' ');
    }
    return lastDate + SheetClock(at.Ms);
}

QString FormatSheetTime(TDateTime dt) {
    return SheetClock(SplitMs(dt).Ms);
}

std::optional<TDateTime> ParseLogDate(const QString& text) {
    const QByteArray bytes = text.trimmed().toLocal8Bit();
    const std::string local = nl_langinfo(D_FMT);
    for (const char* format : {local.c_str(), "%Y-%m-%d", "%d.%m.%Y", "%d.%m.%y", "%m/%d/%Y",
                               "%m/%d/%y", "%d/%m/%Y", "%d/%m/%y"}) {
        std::tm tm{};
        const char* end = ::strptime(bytes.constData(), format, &tm);
        // The whole text, and a year of this era: "%Y" reads "25" as the year 25.
        if (!end || *end != '\0' || tm.tm_year < 70)
            continue;
        const QDate date(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
        if (date.isValid())
            return double(DateTimeEpoch.daysTo(date));
    }
    return std::nullopt;
}
