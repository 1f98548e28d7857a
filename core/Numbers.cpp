#include "core/Numbers.h"

#include <QStringList>
#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>

int Round(double x) {
    if (std::isnan(x))
        return 0;
    const double r = std::nearbyint(x);
    if (r >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (r <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return int(r);
}

QString FixedDecimals(double value, int decimals) {
    return QString::number(value, 'f', decimals).replace(QLatin1Char('.'), DecimalSeparator());
}

namespace {

// One section of a float format picture, as far as the digits are concerned.
struct TPictureSection {
    int IntPlaces = 0;  // digit placeholders before the decimal point
    int MinInt = 0;     // integer digits always shown
    int FracPlaces = 0; // digit placeholders after the decimal point
    int MinFrac = 0;    // fraction digits always shown
    int ExpDigits = -1; // minimum exponent digits; -1 without exponent
};

bool IsExponentAt(const QString& s, qsizetype i) {
    return (s[i] == 'E' || s[i] == 'e') && i + 1 < s.size() && (s[i + 1] == '+' || s[i + 1] == '-');
}

TPictureSection ParseSection(const QString& s) {
    TPictureSection p;
    bool afterPoint = false;
    QChar quote;
    int firstZero = -1;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar ch = s[i];
        if (!quote.isNull()) {
            if (ch == quote)
                quote = QChar();
        } else if (ch == '\'' || ch == '"') {
            quote = ch;
        } else if (IsExponentAt(s, i)) {
            p.ExpDigits = 0;
            for (i += 2; i < s.size() && s[i] == '0' && p.ExpDigits < 4; ++i)
                ++p.ExpDigits;
            break;
        } else if (ch == '.') {
            afterPoint = true;
        } else if (ch == '0' || ch == '#') {
            if (afterPoint) {
                ++p.FracPlaces;
                if (ch == '0')
                    p.MinFrac = p.FracPlaces;
            } else {
                if (ch == '0' && firstZero < 0)
                    firstZero = p.IntPlaces;
                ++p.IntPlaces;
            }
        }
    }
    p.MinInt = firstZero < 0 ? 0 : p.IntPlaces - firstZero;
    return p;
}

// |value| rounded to `places` decimals (halves to even on the exact binary value).
void FixedDigits(double value, int places, std::string& intDigits, std::string& fracDigits) {
    // A double has at most 309 integer digits; pictures with many places need more room.
    char local[400];
    std::string large;
    char* buffer = local;
    size_t size = sizeof local;
    if (size_t(places) + 320 > size) {
        large.resize(size_t(places) + 320);
        buffer = large.data();
        size = large.size();
    }
    const auto res =
        std::to_chars(buffer, buffer + size, std::fabs(value), std::chars_format::fixed, places);
    const std::string_view text(buffer, size_t(res.ptr - buffer));
    const size_t point = text.find('.');
    intDigits.assign(text.substr(0, point));
    fracDigits.assign(point == text.npos ? std::string_view() : text.substr(point + 1));
}

struct TDigits {
    std::string Int, Frac;
    int Exponent = 0;
    bool IsZero() const {
        return Int.find_first_not_of('0') == Int.npos && Frac.find_first_not_of('0') == Frac.npos;
    }
};

TDigits MakeDigits(const TPictureSection& p, double value) {
    TDigits d;
    if (p.ExpDigits < 0 || value == 0) {
        FixedDigits(value, p.FracPlaces, d.Int, d.Frac);
        return d;
    }
    const int intDigits = std::max(p.IntPlaces, 1);
    d.Exponent = int(std::floor(std::log10(std::fabs(value)))) - (intDigits - 1);
    FixedDigits(value / std::pow(10.0, d.Exponent), p.FracPlaces, d.Int, d.Frac);
    if (int(d.Int.size()) > intDigits) { // rounding carried into a new digit
        ++d.Exponent;
        FixedDigits(value / std::pow(10.0, d.Exponent), p.FracPlaces, d.Int, d.Frac);
    }
    return d;
}

void TrimDigits(const TPictureSection& p, TDigits& d) {
    while (int(d.Frac.size()) > p.MinFrac && d.Frac.back() == '0')
        d.Frac.pop_back();
    d.Int.erase(0, std::min(d.Int.find_first_not_of('0'), d.Int.size()));
    if (int(d.Int.size()) < p.MinInt)
        d.Int.insert(0, size_t(p.MinInt) - d.Int.size(), '0');
}

QString ExponentText(const QString& s, qsizetype i, const TPictureSection& p, int exponent) {
    QString text(s[i]);
    if (exponent < 0)
        text += '-';
    else if (s[i + 1] == '+')
        text += '+';
    const QString digits = QString::number(std::abs(exponent));
    return text + QString(std::max<qsizetype>(0, p.ExpDigits - digits.size()), '0') + digits;
}

// Writes the digits into the picture's placeholders; other characters are copied.
QString Compose(const QString& s, const TPictureSection& p, const TDigits& d) {
    QString out;
    out.reserve(s.size() + qsizetype(d.Int.size()) + 8);
    QChar quote;
    int intIndex = 0, fracIndex = 0;
    bool afterPoint = false;
    const int excess = int(d.Int.size()) - p.IntPlaces;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar ch = s[i];
        if (!quote.isNull()) {
            if (ch == quote)
                quote = QChar();
            else
                out += ch;
        } else if (ch == '\'' || ch == '"') {
            quote = ch;
        } else if (IsExponentAt(s, i)) {
            out += ExponentText(s, i, p, d.Exponent);
            for (i += 2; i < s.size() && s[i] == '0';)
                ++i;
            --i;
        } else if ((ch == '0' || ch == '#') && !afterPoint) {
            const int pos = excess + intIndex++;
            if (intIndex == 1)
                out += QLatin1StringView(d.Int.data(), std::max(0, pos + 1));
            else if (pos >= 0)
                out += QLatin1Char(d.Int[size_t(pos)]);
        } else if ((ch == '0' || ch == '#') && afterPoint) {
            if (fracIndex < int(d.Frac.size()))
                out += QLatin1Char(d.Frac[size_t(fracIndex)]);
            ++fracIndex;
        } else if (ch == '.' && !afterPoint) {
            afterPoint = true;
            if (p.IntPlaces == 0)
                out += QLatin1StringView(d.Int.data(), qsizetype(d.Int.size()));
            if (!d.Frac.empty())
                out += DecimalSeparator();
        } else {
            out += ch;
        }
    }
    return out;
}

QString FormatSection(const QString& section, const TPictureSection& p, double value,
                      bool& isZero) {
    TDigits d = MakeDigits(p, value);
    isZero = d.IsZero();
    TrimDigits(p, d);
    return Compose(section, p, d);
}

QStringList SplitSections(const QString& picture) {
    QStringList sections(1);
    QChar quote;
    for (QChar ch : picture) {
        if (!quote.isNull() && ch == quote)
            quote = QChar();
        else if (quote.isNull() && (ch == '\'' || ch == '"'))
            quote = ch;
        else if (quote.isNull() && ch == ';') {
            sections.append(QString());
            continue;
        }
        sections.last() += ch;
    }
    return sections;
}

// A picture split into its sections and parsed; the widgets format with a few pictures
// over and over, so the last few are kept.
struct TPicture {
    QString Text;
    QStringList Sections;
    QList<TPictureSection> Parsed;
    bool Plain = false; // one section of digit placeholders and at most one point
};

bool IsPlainPicture(const QStringList& sections) {
    if (sections.size() != 1 || sections[0].isEmpty() || sections[0].count('.') > 1)
        return false;
    return std::all_of(sections[0].begin(), sections[0].end(),
                       [](QChar ch) { return ch == '0' || ch == '#' || ch == '.'; });
}

// A plain picture shows the digits as they are: a sign, the integer digits, and the
// decimal separator with the fraction digits when any remain.
QString FormatPlain(const TPictureSection& p, double value) {
    TDigits d = MakeDigits(p, value);
    const bool negative = value < 0 && !d.IsZero();
    TrimDigits(p, d);
    QString out(qsizetype(negative) + qsizetype(d.Int.size()) +
                    (d.Frac.empty() ? 0 : 1 + qsizetype(d.Frac.size())),
                Qt::Uninitialized);
    QChar* c = out.data();
    if (negative)
        *c++ = '-';
    for (char digit : d.Int)
        *c++ = QLatin1Char(digit);
    if (!d.Frac.empty()) {
        *c++ = DecimalSeparator();
        for (char digit : d.Frac)
            *c++ = QLatin1Char(digit);
    }
    return out;
}

const TPicture& ParsedPicture(const QString& picture) {
    thread_local std::array<std::optional<TPicture>, 8> kept;
    thread_local size_t next = 0;
    for (const std::optional<TPicture>& p : kept)
        if (p && p->Text == picture)
            return *p;
    std::optional<TPicture>& p = kept[next];
    next = (next + 1) % kept.size();
    p = TPicture{picture, SplitSections(picture), {}};
    for (const QString& section : p->Sections)
        p->Parsed.append(ParseSection(section));
    p->Plain = IsPlainPicture(p->Sections);
    return *p;
}

QString GeneralFormat(double value) {
    return QString::number(value, 'g', 15).replace('.', DecimalSeparator());
}

} // namespace

QString FormatFloat(const QString& picture, double value) {
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    const TPicture& parsed = ParsedPicture(picture);
    if (parsed.Plain)
        return FormatPlain(parsed.Parsed[0], value);
    const QStringList& sections = parsed.Sections;
    const bool ownNegative = value < 0 && sections.size() > 1 && !sections[1].isEmpty();
    const int index = ownNegative ? 1 : 0;
    if (sections[index].isEmpty())
        return GeneralFormat(value);
    bool isZero = false;
    QString text = FormatSection(sections[index], parsed.Parsed[index], value, isZero);
    if (isZero && sections.size() > 2 && !sections[2].isEmpty())
        return FormatSection(sections[2], parsed.Parsed[2], 0, isZero);
    if (value < 0 && !ownNegative && !isZero)
        return '-' + text;
    return text;
}
