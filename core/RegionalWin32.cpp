// The regional settings on Windows: the user's decimal and thousands separators, short
// date and long time formats, through GetLocaleInfoEx.
#include "core/DateTime.h"
#include "core/Numbers.h"

#include <QDateTime>
#include <QLocale>
#include <cmath>

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace {

const QDate DateTimeEpoch(1899, 12, 30);

QString UserLocaleInfo(LCTYPE type) {
    wchar_t buffer[96];
    const int n = ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, buffer, 96);
    return n > 1 ? QString::fromWCharArray(buffer, n - 1) : QString();
}

// A Windows date or time picture in Qt's letters: they agree but for the year without
// its century (y), the era (g) and the AM/PM marker (t, tt). Quoted text stays.
QString QtPicture(const QString& picture) {
    QString out;
    for (qsizetype i = 0; i < picture.size();) {
        const QChar c = picture.at(i);
        qsizetype run = 1;
        while (i + run < picture.size() && picture.at(i + run) == c && c != QLatin1Char('\''))
            ++run;
        if (c == QLatin1Char('\'')) {
            const qsizetype end = picture.indexOf(QLatin1Char('\''), i + 1);
            const qsizetype stop = end < 0 ? picture.size() : end + 1;
            out += picture.mid(i, stop - i);
            i = stop;
            continue;
        }
        if (c == QLatin1Char('y'))
            out += run >= 3 ? QStringLiteral("yyyy") : QStringLiteral("yy");
        else if (c == QLatin1Char('t'))
            out += QStringLiteral("AP");
        else if (c != QLatin1Char('g'))
            out += QString(run, c);
        i += run;
    }
    return out;
}

QDateTime ToDateTime(TDateTime dt) {
    const double days = std::floor(dt);
    return QDateTime(DateTimeEpoch.addDays(qint64(days)),
                     QTime(0, 0).addMSecs(int(std::lround((dt - days) * 86400000.0))));
}

} // namespace

QChar DecimalSeparator() {
    const QString text = UserLocaleInfo(LOCALE_SDECIMAL);
    return text.isEmpty() ? QChar('.') : text.at(0);
}

QChar ThousandSeparator() {
    const QString text = UserLocaleInfo(LOCALE_STHOUSAND);
    return text.isEmpty() ? QChar() : text.at(0);
}

QString FormatLocaleDate(TDateTime dt) {
    return QLocale::system().toString(ToDateTime(dt).date(),
                                      QtPicture(UserLocaleInfo(LOCALE_SSHORTDATE)));
}

QString FormatLocaleTime(TDateTime dt) {
    return QLocale::system().toString(ToDateTime(dt).time(),
                                      QtPicture(UserLocaleInfo(LOCALE_STIMEFORMAT)));
}
