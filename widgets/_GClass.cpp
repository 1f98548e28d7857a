#include "widgets/_GClass.h"

#include "widgets/AbFlashT.h"

#include <QDateTime>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <clocale>
#include <cmath>
#include <ctime>
#include <langinfo.h>
#include <limits>
#include <numbers>
#include <string>
#include <string_view>

// ---------------------------------------------------------------------------
// Date and time

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

TDateTime Now() {
    const QDateTime now = QDateTime::currentDateTime();
    return double(DateTimeEpoch.daysTo(now.date())) +
           now.time().msecsSinceStartOfDay() / 86400000.0;
}

QString FormatLocaleDate(TDateTime dt) {
    return FormatLocale(nl_langinfo(D_FMT), dt);
}

QString FormatLocaleTime(TDateTime dt) {
    return FormatLocale(nl_langinfo(T_FMT), dt);
}

// ---------------------------------------------------------------------------
// Colours

namespace {

QPalette::ColorRole SystemColorRole(TColor c) {
    switch (c) {
    case clWindow:
        return QPalette::Base;
    case clWindowText:
        return QPalette::WindowText;
    case clAppWorkSpace:
        return QPalette::Mid;
    case clHighlight:
        return QPalette::Highlight;
    case clHighlightText:
        return QPalette::HighlightedText;
    case clBtnShadow:
        return QPalette::Dark;
    case clBtnText:
        return QPalette::ButtonText;
    case clBtnHighlight:
        return QPalette::Light;
    case cl3DDkShadow:
        return QPalette::Shadow;
    case cl3DLight:
        return QPalette::Midlight;
    case clInfoText:
        return QPalette::ToolTipText;
    case clInfoBk:
        return QPalette::ToolTipBase;
    default:
        return QPalette::Button;
    }
}

} // namespace

QColor ColorToQColor(TColor c) {
    if ((c & 0xFF000000) == clSystemColor) {
        const QPalette palette = QGuiApplication::palette();
        if (c == clGrayText)
            return palette.color(QPalette::Disabled, QPalette::Text);
        return palette.color(QPalette::Active, SystemColorRole(c));
    }
    return QColor(int(c & 0xFF), int(c >> 8 & 0xFF), int(c >> 16 & 0xFF));
}

TColor ColorToRGB(TColor c) {
    const QColor q = ColorToQColor(c);
    return RGBColor(q.red(), q.green(), q.blue());
}

TColor BlendColor(TColor from, TColor to, int steps, int k) {
    const TColor f = ColorToRGB(from), t = ColorToRGB(to);
    if (f == t)
        return from;
    if (steps == 0)
        steps = 1;
    auto channel = [&](int shift) {
        const int a = int(f >> shift & 0xFF), b = int(t >> shift & 0xFF);
        return a + Round(double(b - a) / steps * k);
    };
    return RGBColor(channel(0), channel(8), channel(16));
}

// ---------------------------------------------------------------------------
// Numbers

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
    const QString text = FormatSection(sections[index], parsed.Parsed[index], value, isZero);
    if (isZero && sections.size() > 2 && !sections[2].isEmpty())
        return FormatSection(sections[2], parsed.Parsed[2], 0, isZero);
    if (value < 0 && !ownNegative && !isZero)
        return '-' + text;
    return text;
}

// ---------------------------------------------------------------------------
// Settings objects

void TAbPersistent::Change() {
    ChangeObject(this);
}

void TAbPersistent::ChangeObject(QObject* Sender) {
    if (OnChange)
        OnChange(Sender);
}

TFont::TFont(const QString& name, int height, TFontStyles style, TColor color)
    : FName(name), FHeight(height), FStyle(style), FColor(color) {}

void TFont::SetSize(int points) {
    SetHeight(-Round(points * 96.0 / 72.0));
}

void TFont::Assign(const TFont& other) {
    if (FName == other.FName && FHeight == other.FHeight && FStyle == other.FStyle &&
        FColor == other.FColor)
        return;
    FName = other.FName;
    FHeight = other.FHeight;
    FStyle = other.FStyle;
    FColor = other.FColor;
    Change();
}

void TFont::Change() {
    FQFont.reset();
    TAbPersistent::Change();
}

QFont TFont::ToQFont() const {
    if (FQFont)
        return *FQFont;
    QFont font(FName);
    font.setPixelSize(std::max(1, std::abs(FHeight)));
    font.setBold(FStyle.Contains(fsBold));
    font.setItalic(FStyle.Contains(fsItalic));
    font.setUnderline(FStyle.Contains(fsUnderline));
    font.setStrikeOut(FStyle.Contains(fsStrikeOut));
    FQFont = font;
    return font;
}

void TextOut(QPainter& canvas, int x, int y, const QString& text) {
    canvas.drawText(x, y + canvas.fontMetrics().ascent(), text);
}

QSize TextExtent(const QFont& font, const QString& text) {
    const QFontMetrics metrics(font);
    return QSize(metrics.horizontalAdvance(text), metrics.height());
}

TSignalSettings::TSignalSettings() = default;

void TSignalSettings::SetDigitalFrom(int v) {
    if (v == FDigitalFrom)
        return;
    DigitScaleChanged(v, FDigitalTo);
    FDigitalFrom = v;
    Change();
}

void TSignalSettings::SetDigitalTo(int v) {
    if (v == FDigitalTo)
        return;
    DigitScaleChanged(FDigitalFrom, v);
    FDigitalTo = v;
    Change();
}

void TSignalSettings::DigitScaleChanged(int, int) {}

float TSignalSettings::SnapToDecade(float v) const {
    if (!FLogScale)
        return v;
    return float(std::pow(10.0, Round(std::log10(v > 0 ? double(v) : 1.0))));
}

void TSignalSettings::SetValueFrom(float v) {
    if (v == FValueFrom || v == FValueTo)
        return;
    FValueFrom = SnapToDecade(v == 0 ? 0.000001f : v);
    Change();
}

void TSignalSettings::SetValueTo(float v) {
    if (v == FValueFrom || v == FValueTo)
        return;
    FValueTo = SnapToDecade(v);
    Change();
}

namespace {

// The span rule shared by the value and the digital range; `keep` when it does not apply.
template <class T> T Span(T from, T to, T keep) {
    if (from < 0 && to < 0)
        return std::abs(from) - std::abs(to);
    if (from < 0 && to >= 0)
        return std::abs(to) + std::abs(from);
    if (from >= 0 && to > 0)
        return std::abs(to) - std::abs(from);
    return keep;
}

QString WidestSection(const QString& format) {
    const qsizetype semicolon = format.indexOf(';');
    if (semicolon < 0)
        return format;
    const QString before = format.left(semicolon), rest = format.mid(semicolon + 1);
    return rest.size() < before.size() ? before : rest;
}

} // namespace

void TSignalSettings::Recalculate() {
    FTotalValue = Span<float>(FValueFrom, FValueTo, FTotalValue);
    FTotalDigit = Span<int>(FDigitalFrom, FDigitalTo, 0);
    if (FTotalDigit > 0)
        FValuePerDigit = FTotalValue / float(FTotalDigit);
    if (FTotalValue > 0) {
        FDigitPerValue = float(FTotalDigit) / FTotalValue;
        FPPTPerValue = 1000.0f / FTotalValue;
        FValueSizeStr = WidestSection(FValueFormat);
    }
}

void TSignalSettings::Change() {
    Recalculate();
    TAbPersistent::Change();
}

int TSignalSettings::GetPPT(float Value) const {
    return Round((double(Value) - double(FValueFrom)) * double(FPPTPerValue));
}

float TSignalSettings::GetValue(int PPT) const {
    return FTotalValue / 1000.0f * float(PPT) + FValueFrom;
}

bool TSectorSettings::CheckSectorColor(int PPT, TColor& Col) const {
    for (int i = 0; i < 3; ++i) {
        if (FFrom[i] <= PPT && PPT <= FTo[i]) {
            Col = FColor[i];
            return true;
        }
    }
    return false;
}

TMinMax::TMinMax() : FMaxDateTime(Now()), FMinDateTime(FMaxDateTime) {}

void TMinMax::SetMax(float v) {
    FMax = v;
    FMaxDateTime = Now();
}

void TMinMax::SetMin(float v) {
    FMin = v;
    FMinDateTime = Now();
}

TAbGradSettings::TAbGradSettings(TColor from, TColor to, bool visible)
    : FColorFrom(from), FColorTo(to), FVisible(visible) {}

void TAbGradSettings::PaintGradient(QPainter& canvas, const TRect& r) const {
    const int height = r.Height();
    if (height <= 0 || r.Width() <= 0)
        return;
    const TColor from = ColorToRGB(FColorFrom), to = ColorToRGB(FColorTo);
    if (from == to) {
        canvas.fillRect(r.ToQRect(), ColorToQColor(from));
        return;
    }
    int start[3], diff[3];
    for (int i = 0; i < 3; ++i) {
        start[i] = int(from >> (8 * i) & 0xFF);
        diff[i] = int(to >> (8 * i) & 0xFF) - start[i];
    }
    const int n =
        std::clamp(std::max({std::abs(diff[0]), std::abs(diff[1]), std::abs(diff[2])}), 1, height);
    const int bandHeight = height / n;
    const int bands = std::max(1, height / bandHeight);
    for (int b = 0; b <= bands; ++b) {
        const int top = r.Top + b * bandHeight;
        const int bottom = std::min(r.Bottom, top + bandHeight);
        if (top >= bottom)
            break;
        auto channel = [&](int i) {
            return start[i] + int(std::trunc(b * double(diff[i]) / bands));
        };
        canvas.fillRect(QRect(r.Left, top, r.Width(), bottom - top),
                        QColor(channel(0), channel(1), channel(2)));
    }
}

TRect TAbOffset::SetOffset(const TRect& r) const {
    return {r.Left + FLeft, r.Top + FTop, r.Right - FRight, r.Bottom - FBottom};
}

TAbSBevel::TAbSBevel(TBevelStyle style, int spacing, TBevelLine line, TColor color)
    : FStyle(style), FSpacing(spacing), FBevelLine(line), FColor(color) {
    FOffset.OnChange = [this](QObject*) { Change(); };
    FSurfaceGrad.OnChange = [this](QObject*) { Change(); };
    Change();
}

void TAbSBevel::Change() {
    FTotalWidth = FSpacing + FWidth;
    if (FBevelLine == blOuter || FBevelLine == blInner)
        FTotalWidth += 1;
    else if (FBevelLine == blBoth)
        FTotalWidth += 2;
    TAbPersistent::Change();
}

void Frame3D(QPainter& canvas, TRect& r, const QColor& a, const QColor& b) {
    const int w = r.Width(), h = r.Height();
    if (w > 0 && h > 0) {
        canvas.fillRect(r.Left, r.Top, w - 1, 1, a);
        canvas.fillRect(r.Left, r.Top, 1, h - 1, a);
        canvas.fillRect(r.Right - 1, r.Top, 1, h - 1, b);
        canvas.fillRect(r.Left, r.Bottom - 1, w, 1, b);
    }
    r = r.Shrunk(1);
}

void TAbSBevel::PaintFrame(QPainter& canvas, TRect& r) const {
    canvas.fillRect(r.ToQRect(), ColorToQColor(FColor));
    for (int k = 1; k <= FWidth; ++k) {
        const bool raised = FStyle == bsRaised;
        const TColor a = raised ? BlendColor(FColorHighLightFrom, FColorHighLightTo, FWidth, k)
                                : BlendColor(FColorShadowTo, FColorShadowFrom, FWidth, k);
        const TColor b = raised ? BlendColor(FColorShadowFrom, FColorShadowTo, FWidth, k)
                                : BlendColor(FColorHighLightTo, FColorHighLightFrom, FWidth, k);
        Frame3D(canvas, r, ColorToQColor(a), ColorToQColor(b));
    }
}

void TAbSBevel::PaintFilledBevel(QPainter& canvas, TRect& r) const {
    const TRect r0 = r;
    canvas.fillRect(r0.ToQRect(), ColorToQColor(FColor));
    const bool outer = FBevelLine == blOuter || FBevelLine == blBoth;
    const bool inner = FBevelLine == blInner || FBevelLine == blBoth;
    if (outer)
        r = r.Shrunk(1);
    const TRect face = r.Shrunk(FTotalWidth - FSpacing);
    PaintFrame(canvas, r);
    if (FSurfaceGrad.Visible())
        FSurfaceGrad.PaintGradient(canvas, face);
    canvas.setPen(QPen(ColorToQColor(FPenColor), 1));
    canvas.setBrush(Qt::NoBrush);
    if (inner) {
        canvas.drawRect(r.Left, r.Top, r.Width() - 1, r.Height() - 1);
        r = r.Shrunk(1);
    }
    if (outer)
        canvas.drawRect(r0.Left, r0.Top, r0.Width() - 1, r0.Height() - 1);
    r = FOffset.SetOffset(r.Shrunk(FSpacing));
}

QPoint RotatePoint(QPoint p, QPoint c, float angle) {
    const float a = angle * std::numbers::pi_v<float> / 180.0f;
    const float cs = std::cos(a), sn = std::sin(a);
    const float dx = float(p.x() - c.x()), dy = float(p.y() - c.y());
    return QPoint(c.x() + Round(dx * cs - dy * sn), c.y() + Round(dy * cs + dx * sn));
}

// ---------------------------------------------------------------------------
// Scale settings

TScaleSettings::TScaleSettings() : FFont("Arial", -19) {
    FFont.OnChange = [this](QObject*) { Change(); };
}

void TScaleSettings::SetSteps(int v) {
    if (v >= 1 && v <= 20)
        SetProp(FSteps, v);
}

void TScaleSettings::SetSubSteps(int v) {
    if (v >= 1 && v <= 10)
        SetProp(FSubSteps, v);
}

void TScaleSettings::SetDrawLine(bool v) {
    FDrawLine = v;
    Change();
}

QStringList TScaleSettings::Labels() const {
    return FText.split(';');
}

void TScaleSettings::CalcRSize(float ValueFrom, float ValueTo) {
    FText.clear();
    if (FLogScale) {
        FLogSteps = std::max(1, Round(std::log10(double(ValueTo) / double(ValueFrom))));
        for (int i = 0; i <= FLogSteps; ++i)
            FText += FormatFloat(FValueFormatLog, double(ValueFrom) * std::pow(10.0, i)) + ';';
    } else {
        const float step = (ValueFrom - ValueTo) / float(FSteps);
        for (int i = 0; i <= FSteps; ++i)
            FText += FormatFloat(FValueFormat, ValueTo + float(FSteps - i) * step) + ';';
    }
    const QFontMetrics metrics(FFont.ToQFont());
    FTextW = 0;
    for (const QString& label : Labels())
        FTextW = std::max(FTextW, metrics.horizontalAdvance(label));
    FTextH = metrics.height();
    FPenW1 = Round(FTextH / 14.0);
    FSpacing = (FTextW < FTextH ? FTextH / 2 : FTextW / 2) + 1;
}

void TScaleSettings::DrawMinorTicks(QPainter& canvas, QPoint c, const QPoint* pts, float base,
                                    float m) {
    canvas.setPen(QPen(ColorToQColor(FColor), 1));
    for (int j = 1; j < FSubSteps; ++j) {
        const int angle = FLogScale ? Round(std::log10(j * 10.0 / FSubSteps) * m * FSubSteps + base)
                                    : Round(base + j * m);
        canvas.drawLine(RotatePoint(pts[1], c, float(angle)), RotatePoint(pts[2], c, float(angle)));
    }
}

void TScaleSettings::RoundScala(QPainter& canvas, TRect& r, float AlphaFrom, float Alpha) {
    canvas.setFont(FFont.ToQFont());
    canvas.setBrush(Qt::NoBrush);
    const int E = FLogScale ? FLogSteps : FSteps;
    const int cx = r.Left + r.Width() / 2;
    const int R = FSpacing + (r.Width() - 2 * FSpacing) / 2 - FTextW / 2;
    Fsl1 = R / 8;
    Fsl2 = FPenW1 == 1 ? Fsl1 / 2 : Round(Fsl1 / 1.4);
    const int cy = r.Top + R + FTextH / 2;
    const int a = FTextW / 2, p = FPenW1 / 2;
    r = {cx - R + a + p, cy - R + a + p, cx + R - a + p - 1, cy + R - a + p - 1};
    const float m = Alpha / float(FSubSteps * E), M = float(FSubSteps) * m;
    const QPoint c(cx, cy);
    QPoint pts[4] = {{cx, cy - (R - FSpacing)},
                     {cx, cy - (R - FSpacing - Fsl1)},
                     {cx, cy - (R - FSpacing - Fsl1 + Fsl2)},
                     {cx, cy - R}};
    for (QPoint& p : pts)
        p = RotatePoint(p, c, AlphaFrom);
    const QStringList labels = Labels();
    const QPen majorPen(ColorToQColor(FColor), FPenW1);
    auto drawLabel = [&](float angle, int L) {
        const QString label = labels.value(L);
        const QPoint at = RotatePoint(pts[3], c, angle);
        canvas.setPen(ColorToQColor(FFont.Color()));
        const QSize size = TextExtent(canvas.font(), label);
        TextOut(canvas, at.x() - size.width() / 2, at.y() - size.height() / 2, label);
    };
    auto drawMajorTick = [&](float angle) {
        canvas.setPen(majorPen);
        canvas.drawLine(RotatePoint(pts[0], c, angle), RotatePoint(pts[1], c, angle));
    };
    for (int L = 0; L < E; ++L) {
        drawLabel(float(L) * M, L);
        drawMajorTick(float(L) * M);
        DrawMinorTicks(canvas, c, pts, float(L) * M, m);
    }
    // A full circle's last label would sit on its first; its last tick is still drawn.
    if (Alpha != 360)
        drawLabel(Alpha, E);
    drawMajorTick(Alpha);
    FLinePos[0] = QPoint(r.Left + Fsl1, r.Top + Fsl1);
    FLinePos[1] = QPoint(r.Right - Fsl1, r.Bottom - Fsl1 + 1);
    FLinePos[2] = RotatePoint(pts[1], c, Alpha);
    FLinePos[3] = pts[0];
    if (FPenW1 == 1) {
        r.Left += 1;
        r.Top += 1;
    }
}

// ---------------------------------------------------------------------------
// Graphic control

TAbGraphicControl::TAbGraphicControl(QWidget* parent) : QWidget(parent) {}

void TAbGraphicControl::BeginUpdate() {
    ++FUpdateCount;
}

void TAbGraphicControl::EndUpdate() {
    FUpdateCount = std::max(0, FUpdateCount - 1);
    if (FUpdateCount == 0)
        UpdateParams();
}

void TAbGraphicControl::UpdateParams() {
    if (FUpdateCount == 0)
        ParamChange(this);
}

void TAbGraphicControl::ParamChange(QObject*) {}

void TAbGraphicControl::Loaded() {
    FLoading = false;
}

void TAbGraphicControl::Invalidate() {
    FCacheValid = false;
    if (!FLoading)
        CalcSize();
    update();
}

void TAbGraphicControl::Paint(QPainter&) {}

void TAbGraphicControl::PaintValue(QPainter&, const QRect&) {}

void TAbGraphicControl::PaintDone() {}

void TAbGraphicControl::WMFlash(quint32, qint32) {}

QImage TAbGraphicControl::NewBitmap(QSize size, QImage::Format format) const {
    const qreal ratio = devicePixelRatioF();
    QImage bitmap(size * ratio, format);
    bitmap.setDevicePixelRatio(ratio);
    return bitmap;
}

QImage TAbGraphicControl::CopyFromCache(const QRect& r, QImage::Format format) const {
    const qreal ratio = FCache.devicePixelRatio();
    QImage part =
        FCache.copy(QRect((r.topLeft() * ratio), r.size() * ratio)).convertToFormat(format);
    part.setDevicePixelRatio(ratio);
    return part;
}

void TAbGraphicControl::RepaintValue(const QRect& r, bool opaque) {
    if (!isVisible() || FInPaint || r.isEmpty())
        return;
    const bool setOpaque = opaque && !testAttribute(Qt::WA_OpaquePaintEvent);
    if (setOpaque)
        setAttribute(Qt::WA_OpaquePaintEvent, true);
    FValueRect = r;
    repaint(r);
    FValueRect = QRect();
    if (setOpaque)
        setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void TAbGraphicControl::RebuildCache() {
    FInPaint = true;
    CalcSize();
    if (FCache.size() != size() * devicePixelRatioF())
        FCache = NewBitmap(size());
    FCache.fill(Qt::transparent);
    {
        QPainter canvas(&FCache);
        Paint(canvas);
    }
    FCacheValid = true;
    PaintDone();
    FInPaint = false;
}

bool TAbGraphicControl::event(QEvent* e) {
    if (e->type() == TFlashMessage::EventType()) {
        const auto* message = static_cast<TFlashMessage*>(e);
        WMFlash(message->WParam, message->LParam);
        return true;
    }
    return QWidget::event(e);
}

void TAbGraphicControl::paintEvent(QPaintEvent* e) {
    const bool valueOnly = FCacheValid && !FValueRect.isEmpty() && FValueRect.contains(e->rect());
    if (!valueOnly && (!FCacheValid || FCache.size() != size() * devicePixelRatioF()))
        RebuildCache();
    QPainter canvas(this);
    if (!valueOnly)
        canvas.drawImage(0, 0, FCache);
    PaintValue(canvas, e->rect());
}

void TAbGraphicControl::resizeEvent(QResizeEvent* e) {
    FCacheValid = false;
    QWidget::resizeEvent(e);
}

void TAbGraphicControl::showEvent(QShowEvent* e) {
    Invalidate();
    QWidget::showEvent(e);
}

// ---------------------------------------------------------------------------
// Analog control

TAbAnalogGControl::TAbAnalogGControl(QWidget* parent)
    : TAbGraphicControl(parent), FSignalSettings(std::make_unique<TSignalSettings>()),
      FSectorSettings(std::make_unique<TSectorSettings>()), FMinMax(std::make_unique<TMinMax>()),
      FFont(std::make_unique<TFont>("Arial", -11)) {
    CheckLimits();
    pPosLeftTop = pos();
}

TAbAnalogGControl::~TAbAnalogGControl() = default;

int TAbAnalogGControl::DigitOf(float v) const {
    const TSignalSettings& s = *FSignalSettings;
    if (FLogScale)
        return Round(std::log10(double(v) / double(s.ValueFrom())) * LogFactor1) + s.DigitalFrom();
    return Round((double(v) - double(s.ValueFrom())) * double(s.DigitPerValue()) + s.DigitalFrom());
}

void TAbAnalogGControl::SetValue(float v) {
    if (v == FValue)
        return;
    if (FLogScale && v <= 0)
        return;
    FValue = v;
    FDigit = DigitOf(v);
    ValueChanged();
}

void TAbAnalogGControl::SetDigit(int d) {
    if (d == FDigit)
        return;
    const TSignalSettings& s = *FSignalSettings;
    FDigit = d;
    if (FLogScale)
        FValue = s.ValueFrom() * float(std::pow(10.0, (d - s.DigitalFrom()) / LogFactor1));
    else
        FValue = float(d - s.DigitalFrom()) * s.ValuePerDigit() + s.ValueFrom();
    ValueChanged();
}

void TAbAnalogGControl::SetLimitUpper(float v) {
    if (v == FLimitUpper)
        return;
    FLimitUpper = v;
    ValueChanged();
}

void TAbAnalogGControl::SetLimitLower(float v) {
    if (v == FLimitLower)
        return;
    FLimitLower = v == 0 ? 0.0001f : v;
    ValueChanged();
}

void TAbAnalogGControl::SetHintOptions(THintOptions v) {
    const bool autoHintOn = v.Contains(hoAutoHint) && !FHintOptions.Contains(hoAutoHint);
    FHintOptions = v;
    if (autoHintOn)
        ValueChanged();
}

void TAbAnalogGControl::SetLogScale(bool v) {
    if (v == FLogScale)
        return;
    FLogScale = v;
    FSignalSettings->SetLogScale(v);
    FSectorSettings->SetLogScale(v);
    LogScaleChanged();
}

void TAbAnalogGControl::ResetMinMax() {
    FMinMax->SetMin(FValue);
    FMinMax->SetMax(FValue);
    FMinPPT = FMaxPPT = FPPT;
    MinMaxChanged(this);
    UpdateHint();
    ValueChanged();
}

void TAbAnalogGControl::SetMin(float v, TDateTime DT) {
    if (v == FMinMax->Min())
        return;
    FMinMax->SetMin(v);
    FMinMax->SetMinDateTime(DT);
    FMinPPT = FSignalSettings->GetPPT(v);
    MinMaxChanged(this);
    UpdateHint();
}

void TAbAnalogGControl::SetMax(float v, TDateTime DT) {
    if (v == FMinMax->Max())
        return;
    FMinMax->SetMax(v);
    FMinMax->SetMaxDateTime(DT);
    FMaxPPT = FSignalSettings->GetPPT(v);
    MinMaxChanged(this);
    UpdateHint();
}

void TAbAnalogGControl::Loaded() {
    TAbGraphicControl::Loaded();
    const TNotifyEvent paramChange = [this](QObject* Sender) { ParamChange(Sender); };
    FFont->OnChange = paramChange;
    FSignalSettings->OnChange = paramChange;
    FSectorSettings->OnChange = paramChange;
    FMinMax->SetMin(MinSentinel);
    FMinMax->SetMax(MaxSentinel);
    FMinMax->OnChange = [this](QObject* Sender) { MinMaxChanged(Sender); };
}

void TAbAnalogGControl::ParamChange(QObject*) {
    TSignalSettings& s = *FSignalSettings;
    s.Recalculate();
    if (FLogScale) {
        LogFactor1 = s.TotalDigit() / std::log10(double(s.ValueTo()) / double(s.ValueFrom()));
        LogFactor2 = std::log10(1.0 / double(s.ValueFrom()));
        if (FValue <= 0)
            FValue = 1;
    }
    FDigit = DigitOf(FValue);
    Raise(OnSettingsChange, this);
}

void TAbAnalogGControl::CheckPosition() {
    if (pos() == pPosLeftTop)
        return;
    pPosLeftTop = pos();
    Raise(OnPosChanged, this);
}

void TAbAnalogGControl::CheckSectors() {
    for (int i = 0; i < 3; ++i) {
        const bool in =
            FSectorSettings->SectorFrom(i) <= FPPT && FPPT <= FSectorSettings->SectorTo(i);
        if (in == FInSector[i])
            continue;
        FInSector[i] = in;
        Raise(OnSectorChange, this, i == 0, i == 1, i == 2, in);
    }
}

void TAbAnalogGControl::CheckLimits() {
    const bool upper = FValue > FLimitUpper, lower = FValue < FLimitLower;
    if (upper == FULimit && lower == FLLimit)
        return;
    FULimit = upper;
    FLLimit = lower;
    LimitChanged();
    Raise(OnLimit, this, lower, upper);
}

void TAbAnalogGControl::CheckOverflow() {
    if (FPPT < 0 || FPPT > 1000) {
        const bool below = FPPT < 0;
        if (below ? !FLOverflow : !FUOverflow) {
            FLOverflow = below;
            FUOverflow = !below;
            OverflowChanged(FPPT);
            Raise(OnOverflow, this, FPPT);
        }
        FPPT = below ? 0 : 1000;
    } else if (FUOverflow || FLOverflow) {
        FUOverflow = FLOverflow = false;
        OverflowChanged(FPPT);
        Raise(OnOverflow, this, FPPT);
    }
}

void TAbAnalogGControl::TrackMinMax() {
    if (FValue < FMinMax->Min()) {
        const bool first = FMinMax->Min() == MinSentinel;
        FMinMax->SetMin(FValue);
        FMinPPT = FPPT;
        if (!first)
            MinMaxChanged(this);
    }
    if (FValue > FMinMax->Max()) {
        const bool first = FMinMax->Max() == MaxSentinel;
        FMinMax->SetMax(FValue);
        FMaxPPT = FPPT;
        if (!first)
            MinMaxChanged(this);
    }
}

void TAbAnalogGControl::ValueChanged() {
    CheckPosition();
    const TSignalSettings& s = *FSignalSettings;
    FValueStr = FormatFloat(s.ValueFormat(), FValue);
    // A digital range without span has no positions; the value then sits at the start.
    FPPT = s.TotalDigit() > 0 ? Round(1000.0 / s.TotalDigit() * (FDigit - s.DigitalFrom())) : 0;
    CheckSectors();
    CheckLimits();
    CheckOverflow();
    TrackMinMax();
    UpdateHint();
    Raise(OnValueChange, this);
}

void TAbAnalogGControl::OverflowChanged(int) {}

void TAbAnalogGControl::LimitChanged() {}

void TAbAnalogGControl::MinMaxChanged(QObject* Sender) {
    Raise(OnMinMaxChange, Sender);
    ValueChanged();
}

void TAbAnalogGControl::LogScaleChanged() {
    UpdateParams();
}

QString TAbAnalogGControl::MinMaxHint(const QString& title, float v, TDateTime dt) const {
    QString text =
        title + FormatFloat(FSignalSettings->ValueFormat(), v) + " " + FSignalSettings->ValueUnit();
    if (FHintOptions.Contains(hoMinMaxDate))
        text += " " + FormatLocaleDate(dt);
    if (FHintOptions.Contains(hoMinMaxTime))
        text += " " + FormatLocaleTime(dt);
    return text;
}

void TAbAnalogGControl::PaintFrame(QPainter& canvas, TRect& r, const TSet<TAbOption>& options,
                                   TAbSBevel& outer, TAbSBevel& inner, QSize name1, QSize name2) {
    int d = 0;
    if (options.Contains(opBevelOuter)) {
        outer.PaintFilledBevel(canvas, r);
        d = outer.Spacing() / 2;
    }
    canvas.setFont(Font()->ToQFont());
    canvas.setPen(ColorToQColor(Font()->Color()));
    canvas.setBrush(Qt::NoBrush);
    const TSignalSettings& s = *SignalSettings();
    if (options.Contains(opName2)) {
        r.Bottom -= name2.height();
        TextOut(canvas, r.Left + (r.Width() - name2.width()) / 2, r.Bottom + d, s.Name2());
    }
    if (options.Contains(opName1)) {
        r.Bottom -= name1.height();
        TextOut(canvas, r.Left + (r.Width() - name1.width()) / 2, r.Bottom + d, s.Name1());
    }
    if (options.Contains(opBevelInner))
        inner.PaintFilledBevel(canvas, r);
}

void TAbAnalogGControl::UpdateHint() {
    if (FHintOptions.Contains(hoAutoHint))
        FHintStale = true;
}

QString TAbAnalogGControl::Hint() const {
    if (!FHintStale)
        return FHint;
    FHintStale = false;
    QStringList parts;
    if (FHintOptions.Contains(hoValue))
        parts << "Value= " + FValueStr + " " + FSignalSettings->ValueUnit();
    if (FHintOptions.Contains(hoMin))
        parts << MinMaxHint("MIN= ", FMinMax->Min(), FMinMax->MinDateTime());
    if (FHintOptions.Contains(hoMax))
        parts << MinMaxHint("MAX= ", FMinMax->Max(), FMinMax->MaxDateTime());
    if (FHintOptions.Contains(hoName1))
        parts << FSignalSettings->Name1();
    if (FHintOptions.Contains(hoName2))
        parts << FSignalSettings->Name2();
    FHint = parts.join('\r');
    return FHint;
}

// ---------------------------------------------------------------------------
// Binary control

int FlashCode(TFlashFreq f) {
    return int(f) + 2;
}

namespace {
bool GroupPropagating = false;
}

// The caption starts as the component's name and follows a renaming for as long as the
// two are the same, so a lamp without a caption of its own shows its name.
TAbBinGControl::TAbBinGControl(QWidget* parent) : TAbGraphicControl(parent) {
    connect(this, &QObject::objectNameChanged, this, [this](const QString& name) {
        if (FCaption == FNameShown)
            SetCaption(name);
        FNameShown = name;
    });
}

TAbBinGControl::~TAbBinGControl() {
    FlashUnregister(this);
}

void TAbBinGControl::SetChecked(bool v) {
    if (v == FChecked)
        return;
    FChecked = v;
    if (v && FFlashing)
        FlashRegister(this, FlashCode(FFrequency));
    else
        FlashUnregister(this);
    const qint32 mask = qint32(quint32(1) << FStatusBit);
    if (v)
        SetStatusInt(FMode == mRadioButton ? mask : FStatusInt | mask);
    else if (FMode != mRadioButton)
        SetStatusInt(FStatusInt & ~mask);
    StatusChanged();
    Raise(OnStatusChanged, this);
}

QList<TAbBinGControl*> TAbBinGControl::Group(int index) const {
    QList<TAbBinGControl*> group;
    QWidget* owner = window();
    auto take = [&](QWidget* w) {
        auto* control = dynamic_cast<TAbBinGControl*>(w);
        if (control && control->FGroupIndex == index)
            group.append(control);
    };
    take(owner);
    for (QWidget* w : owner->findChildren<QWidget*>())
        take(w);
    return group;
}

void TAbBinGControl::SetStatusInt(qint32 v) {
    if (v == FStatusInt)
        return;
    FStatusInt = v;
    SetChecked((quint32(v) >> FStatusBit & 1) != 0);
    FFirstCheckedBit = v == 0 ? 32 : std::countr_zero(quint32(v));
    StatusIntChanged();
    Raise(OnStatusIntChanged, this);
    if (FGroupIndex == 0 || GroupPropagating)
        return;
    GroupPropagating = true;
    for (TAbBinGControl* control : Group(FGroupIndex))
        control->SetStatusInt(v);
    GroupPropagating = false;
}

void TAbBinGControl::SetStatusBit(int v) {
    if (v == FStatusBit || v < 0 || v >= 32)
        return;
    FStatusBit = v;
    SetChecked((quint32(FStatusInt) >> v & 1) != 0);
}

void TAbBinGControl::SetGroupIndex(int v) {
    if (v == FGroupIndex || v < 0)
        return;
    FGroupIndex = v;
    // Index 0 is "no group": there is no state to take over.
    if (v != 0)
        SetStatusInt(Group(v).first()->StatusInt());
    GroupIndexChanged();
}

void TAbBinGControl::SetMode(TMode v) {
    FMode = v;
    if (v == mButton)
        SetStatusInt(0);
    else if (v == mRadioButton)
        SetStatusInt(1);
}

void TAbBinGControl::SetFlashing(bool v) {
    if (v == FFlashing)
        return;
    FFlashing = v;
    if (FChecked && v)
        FlashRegister(this, FlashCode(FFrequency));
    else
        FlashUnregister(this);
    StatusChanged();
    Raise(OnStatusChanged, this);
}

void TAbBinGControl::SetFrequency(TFlashFreq v) {
    FFrequency = v;
    if (FChecked && FFlashing)
        FlashRegister(this, FlashCode(v));
}

void TAbBinGControl::SetCaption(const QString& v) {
    if (v == FCaption)
        return;
    FCaption = v;
    ParamChange(this);
}

void TAbBinGControl::ParamChange(QObject*) {}

void TAbBinGControl::StatusChanged() {}

void TAbBinGControl::GroupIndexChanged() {}

void TAbBinGControl::StatusIntChanged() {}

void TAbBinGControl::Flash(bool) {}

void TAbBinGControl::WMFlash(quint32, qint32 LParam) {
    Flash(LParam != 0);
}

void TAbBinGControl::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(e);
        return;
    }
    FMouseIsDown = true;
    switch (FMode) {
    case mButton:
        SetChecked(true);
        break;
    case mSwitch:
        SetChecked(!FChecked);
        break;
    case mRadioButton:
        SetStatusInt(qint32(quint32(1) << FStatusBit));
        break;
    case mIndicator:
        break;
    }
}

void TAbBinGControl::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(e);
        return;
    }
    // The button is up whatever the mode; an indicator only ignores the click itself.
    FMouseIsDown = false;
    if (FMode == mIndicator)
        return;
    if (FMode == mButton)
        SetChecked(false);
    StatusChanged();
}
