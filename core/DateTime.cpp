#include "core/DateTime.h"

#include <QDateTime>

namespace {
const QDate DateTimeEpoch(1899, 12, 30);
} // namespace

TDateTime Now() {
    const QDateTime now = QDateTime::currentDateTime();
    return double(DateTimeEpoch.daysTo(now.date())) +
           now.time().msecsSinceStartOfDay() / 86400000.0;
}
