#include "windows/SpinEdit.h"

#include <QRegularExpression>
#include <algorithm>

namespace {
// An optional sign and up to nine digits: always a whole number that fits an int.
const QRegularExpression WholeNumber(QStringLiteral("^[+-]?[0-9]{1,9}$"));
} // namespace

TSpinEdit::TSpinEdit(QWidget* parent) : QSpinBox(parent) {
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
}

int TSpinEdit::Value() const {
    return Clamped(cleanText());
}

int TSpinEdit::Clamped(const QString& input) const {
    const QString text = input.trimmed();
    if (!WholeNumber.match(text).hasMatch())
        return minimum();
    return std::clamp(text.toInt(), minimum(), maximum());
}

QValidator::State TSpinEdit::validate(QString& input, int&) const {
    const QString text = input.trimmed();
    if (text.isEmpty() || text == QLatin1String("-") || text == QLatin1String("+"))
        return QValidator::Intermediate;
    if (!WholeNumber.match(text).hasMatch())
        return QValidator::Invalid;
    const int number = text.toInt();
    return number >= minimum() && number <= maximum() ? QValidator::Acceptable
                                                      : QValidator::Intermediate;
}

void TSpinEdit::fixup(QString& input) const {
    input = QString::number(Clamped(input));
}
