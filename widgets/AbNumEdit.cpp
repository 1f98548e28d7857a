#include "widgets/AbNumEdit.h"

#include <QApplication>
#include <QKeyEvent>
#include <array>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale.h>
#include <optional>

namespace {

// The character rules and the value range of one number base.
struct TBaseProperties {
    QString ValidChars;
    bool ExpEnable = false;
    bool MultiEnable = false;
    QString Sign;
    double MinValue = 0, MaxValue = 0;
};

constexpr double IntRange = 2147483647.0;

// Built from the separators in force now, so a change of the regional settings is seen.
TBaseProperties BaseProperties(TEditBase base) {
    const QString digits = QStringLiteral("0123456789");
    const QString thousands = ThousandSeparator().isNull() ? QString() : ThousandSeparator();
    TBaseProperties p;
    p.MinValue = -IntRange;
    p.MaxValue = IntRange;
    switch (base) {
    case ebBin:
        p.ValidChars = QStringLiteral("01");
        break;
    case ebHex:
        p.ValidChars = digits + QStringLiteral("abcdefABCDEF");
        break;
    case ebFloat:
        p.ValidChars = digits + DecimalSeparator() + thousands;
        p.ExpEnable = p.MultiEnable = true;
        p.Sign = QStringLiteral("+-");
        p.MinValue = -std::numeric_limits<double>::infinity(); // no lower bound for a double
        p.MaxValue = 1.7e308;
        break;
    case ebInt:
        p.ValidChars = digits + thousands;
        p.MultiEnable = true;
        p.Sign = QStringLiteral("+-");
        break;
    }
    return p;
}

// The leading character that selects a base for one text.
std::optional<TEditBase> PrefixBase(QChar c) {
    switch (c.unicode()) {
    case '!':
        return ebFloat;
    case '$':
        return ebHex;
    case '%':
        return ebInt;
    case '&':
        return ebBin;
    default:
        return std::nullopt;
    }
}

// The SI multiplier of a suffix character, as single-precision numbers.
std::optional<float> Multiplier(QChar c) {
    static const QString suffixes = QStringLiteral("EPTGMkmunpfa");
    static constexpr std::array<float, 12> factors = {1e18f, 1e15f, 1e12f, 1e9f,   1e6f,   1e3f,
                                                      1e-3f, 1e-6f, 1e-9f, 1e-12f, 1e-15f, 1e-18f};
    const qsizetype i = suffixes.indexOf(c);
    if (i < 0)
        return std::nullopt;
    return factors[size_t(i)];
}

// The text of one entry split into the number and its multiplier suffix.
struct TNumberText {
    QString Body;
    float Factor = 1;
    bool HasSuffix = false;
};

TNumberText SplitSuffix(const QString& text, TEditBase base, const TBaseProperties& rules) {
    TNumberText n{text};
    if (!rules.MultiEnable || text.isEmpty())
        return n;
    const std::optional<float> factor = Multiplier(text.back());
    // An integer cannot take a fraction: its small suffixes stay and make the text invalid.
    if (!factor || (base != ebFloat && *factor <= 1))
        return n;
    n.Body.chop(1);
    n.Factor = *factor;
    n.HasSuffix = true;
    return n;
}

// First and last invalid character of the body, if any.
std::optional<std::pair<qsizetype, qsizetype>> FindInvalid(const QString& body,
                                                           const TBaseProperties& rules) {
    const QChar point = DecimalSeparator();
    qsizetype i = !body.isEmpty() && rules.Sign.contains(body[0]) ? 1 : 0;
    qsizetype first = -1, last = -1;
    bool mantissa = true;
    int points = 0;
    for (; i < body.size(); ++i) {
        const QChar c = body[i];
        if (rules.ExpEnable && mantissa && (c == 'E' || c == 'e')) {
            mantissa = false;
            if (i + 1 < body.size() && rules.Sign.contains(body[i + 1]))
                ++i;
            continue;
        }
        bool valid = rules.ValidChars.contains(c);
        if (valid && c == point && ++points > 1)
            valid = false;
        if (!valid) {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    if (first < 0)
        return std::nullopt;
    return std::make_pair(first, last);
}

bool HasDigit(const QString& s) {
    for (QChar c : s)
        if (c.isDigit())
            return true;
    return false;
}

// The text handed to the parse, completed in this order: a lone sign gets a 0, an exponent
// alone gets a 1 before it, a suffix without digits stands for 1; so "-k" is 0 kilo.
// Thousands separators are dropped.
QString NumberText(const TNumberText& n, const TBaseProperties& rules) {
    QString s = n.Body;
    if (s.size() == 1 && rules.Sign.contains(s[0]))
        s += '0';
    if (rules.ExpEnable && !s.isEmpty() && (s[0] == 'E' || s[0] == 'e'))
        s.prepend('1');
    if (n.HasSuffix && !HasDigit(s))
        s = QStringLiteral("1");
    if (!ThousandSeparator().isNull())
        s.remove(ThousandSeparator());
    return s;
}

[[noreturn]] void ConvertError(const QString& text, const char* kind) {
    throw EConvertError(QStringLiteral("'%1' is not a valid %2 value")
                            .arg(text, QLatin1String(kind))
                            .toLocal8Bit()
                            .toStdString());
}

// Unsigned digits of a base-2 or base-16 text as a 32-bit pattern.
double ParseBits(const QString& s, int radix, const QString& shown, const char* kind) {
    quint64 v = 0;
    for (QChar c : s) {
        v = v * quint64(radix) +
            quint64(c.isDigit() ? c.unicode() - '0' : c.toLower().unicode() - 'a' + 10);
        if (v > 0xFFFFFFFFu)
            ConvertError(shown, kind);
    }
    return double(qint32(quint32(v)));
}

double ParseInt(const QString& s) {
    qint64 v = 0;
    const bool negative = s.startsWith('-');
    for (QChar c : s) {
        if (c == '+' || c == '-')
            continue;
        v = v * 10 + (c.unicode() - '0');
        if (v > qint64(std::numeric_limits<qint32>::max()) + (negative ? 1 : 0))
            ConvertError(s, "integer");
    }
    return double(negative ? -v : v);
}

double ParseFloat(const QString& s) {
    static const locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", locale_t(nullptr));
    QString c = s;
    c.replace(DecimalSeparator(), QLatin1Char('.'));
    const QByteArray bytes = c.toLatin1();
    char* end = nullptr;
    errno = 0;
    const double v = strtod_l(bytes.constData(), &end, cLocale);
    if (end != bytes.constData() + bytes.size() || (errno == ERANGE && std::isinf(v)))
        ConvertError(s, "floating point");
    return v;
}

double ParseNumber(const QString& s, TEditBase base) {
    if (s.isEmpty())
        return 0;
    switch (base) {
    case ebBin:
        return ParseBits(s, 2, s, "binary");
    case ebHex:
        return ParseBits(s, 16, '$' + s, "integer");
    case ebFloat:
        return ParseFloat(s);
    case ebInt:
        break;
    }
    return ParseInt(s);
}

float ToSingle(double x) {
    if (x > double(std::numeric_limits<float>::max()))
        return std::numeric_limits<float>::max();
    if (x < -double(std::numeric_limits<float>::max()))
        return -std::numeric_limits<float>::infinity();
    return float(x);
}

QString HexText(int v, int digits) {
    return QString::number(quint32(v), 16).toUpper().rightJustified(digits, '0');
}

QString BinText(int v, int digits) {
    if (digits <= 0)
        return QString::number(quint32(v), 2);
    QString text;
    for (int i = digits; i >= 0; --i)
        text += i < 32 && (quint32(v) >> i & 1) ? '1' : '0';
    return text;
}

} // namespace

TAbNumEdit::TAbNumEdit(QWidget* parent) : QLineEdit(parent) {
    resize(65, sizeHint().height());
    setText(QStringLiteral("0"));
    SetBackground(FColorDefault);
    connect(this, &QLineEdit::textChanged, this, [this] { Change(); });
}

QString TAbNumEdit::ValueAsHex() const {
    return HexText(FValueAsInt, FDigitsHex);
}

QString TAbNumEdit::ValueAsBool() const {
    return FApplied ? BinText(FValueAsInt, FDigitsBool) : QString();
}

void TAbNumEdit::SetValue(double v) {
    if (v == FValue)
        return;
    ApplyValue(LimitValue(v));
}

void TAbNumEdit::SetValueAsInt(int v) {
    if (QString::number(v) != text())
        ApplyValue(v);
}

void TAbNumEdit::SetValueAsSingle(float v) {
    if (FormatFloat(FFormatStr, v) != text())
        ApplyValue(v);
}

void TAbNumEdit::SetValueAsHex(const QString& v) {
    if (v == text())
        return;
    setText(FEditBase == ebHex ? v : '$' + v);
    CheckText(true);
}

void TAbNumEdit::SetValueAsBool(const QString& v) {
    if (v == text())
        return;
    setText(FEditBase == ebBin ? v : '&' + v);
    CheckText(true);
}

void TAbNumEdit::SetEditBase(TEditBase v) {
    if (v == FEditBase)
        return;
    FEditBase = v;
    setText(ValueText());
    FOldText = text();
    SetState(esNormal);
}

void TAbNumEdit::SetFormatStr(const QString& v) {
    if (v == FFormatStr)
        return;
    FFormatStr = v;
    if (FEditBase == ebFloat)
        setText(FormatFloat(v, FValue));
    CheckText(true);
}

void TAbNumEdit::SetMinValue(double v) {
    if (v == FMinValue)
        return;
    FMinValue = v;
    CheckText(true);
}

void TAbNumEdit::SetMaxValue(double v) {
    if (v == FMaxValue)
        return;
    FMaxValue = v;
    CheckText(true);
}

void TAbNumEdit::SetOptions(TNumEditOptions v) {
    if (v == FOptions)
        return;
    FOptions = v;
    CheckText(true);
}

void TAbNumEdit::SetColorDefault(TColor v) {
    FColorDefault = v;
    SetBackground(v);
}

void TAbNumEdit::SetColorEditing(TColor v) {
    FColorEditing = v;
    if (FState == esEditing)
        SetBackground(v);
}

void TAbNumEdit::SetColorError(TColor v) {
    FColorError = v;
    if (FState == esError)
        SetBackground(v);
}

void TAbNumEdit::SetParentColor(bool v) {
    FParentColor = v;
    if (!v || !parentWidget())
        return;
    const QColor c = parentWidget()->palette().color(QPalette::Window);
    const TColor colour = RGBColor(c.red(), c.green(), c.blue());
    if (colour != FColorDefault)
        SetColorDefault(colour);
}

void TAbNumEdit::Loaded() {
    FOldText = text();
    FFirstDraw = false;
}

bool TAbNumEdit::CheckText(bool Commit) {
    const QString shown = text();
    if (shown.isEmpty()) {
        SetState(esEditing);
        return false;
    }
    const std::optional<TEditBase> prefix = PrefixBase(shown[0]);
    const TEditBase base = prefix.value_or(FEditBase);
    const qsizetype start = prefix ? 1 : 0;
    const TBaseProperties rules = BaseProperties(base);
    const TNumberText number = SplitSuffix(shown.mid(start), base, rules);
    if (const auto invalid = FindInvalid(number.Body, rules)) {
        ShowInvalid(start + invalid->first, start + invalid->second);
        return false;
    }
    SetState(Commit || shown == FOldText ? esNormal : esEditing);
    if (!Commit)
        return true;
    // A text that does not convert throws here and leaves the value and the limits as they were.
    const double x = ParseNumber(NumberText(number, rules), base) * double(number.Factor);
    ApplyValue(LimitValue(x));
    return true;
}

void TAbNumEdit::RaiseLimit(bool& flag, bool v) {
    if (v == flag)
        return;
    flag = v;
    if (OnLimit && !FFirstDraw)
        OnLimit(this);
}

double TAbNumEdit::LimitValue(double x) {
    if (FOptions.Contains(eoLimitMin)) {
        RaiseLimit(FLimitLo, x <= FMinValue);
        if (x <= FMinValue)
            x = FMinValue;
    }
    if (FOptions.Contains(eoLimitMax)) {
        RaiseLimit(FLimitUp, x >= FMaxValue);
        if (x >= FMaxValue)
            x = FMaxValue;
    }
    return x;
}

void TAbNumEdit::ApplyValue(double x) {
    const TBaseProperties rules = BaseProperties(FEditBase);
    if (x < rules.MinValue)
        x = rules.MinValue;
    if (x > rules.MaxValue)
        x = rules.MaxValue;
    FValue = x;
    FValueAsSingle = ToSingle(x);
    FValueAsInt = std::max(Round(x), -int(IntRange));
    FApplied = true;
    setText(ValueText());
    SetState(esNormal);
    const bool changed = text() != FOldText;
    // Taken before the event, so a handler that sets the value again compares with this.
    FOldText = text();
    if (changed && OnValueChanged && !FFirstDraw)
        OnValueChanged(this);
}

QString TAbNumEdit::ValueText() const {
    switch (FEditBase) {
    case ebBin:
        return BinText(FValueAsInt, FDigitsBool);
    case ebHex:
        return ValueAsHex();
    case ebFloat:
        return FormatFloat(FFormatStr, FValue);
    case ebInt:
        break;
    }
    return QString::number(FValueAsInt);
}

void TAbNumEdit::UpClick(QObject*) {
    if (isReadOnly() || FLimitUp) {
        Beep();
        return;
    }
    const bool multiply =
        FOptions.Contains(eoMultiply) && FEditBase == ebFloat && FIncrement != 0 && FValue != 0;
    Step(multiply ? FValue * FIncrement : FValue + FIncrement);
}

void TAbNumEdit::DownClick(QObject*) {
    if (isReadOnly() || FLimitLo) {
        Beep();
        return;
    }
    const bool multiply =
        FOptions.Contains(eoMultiply) && FEditBase == ebFloat && FIncrement != 0 && FValue != 0;
    Step(multiply ? FValue / FIncrement : FValue - FIncrement);
}

void TAbNumEdit::Step(double v) {
    // The step writes its own text: that change needs no check. The flag is cleared
    // afterwards even when the text stayed the same or a handler threw.
    struct TClear {
        bool& Flag;
        ~TClear() { Flag = false; }
    } clear{FIgnoreChange};
    FIgnoreChange = true;
    SetValue(LimitValue(v));
    if (OnChange)
        OnChange(this);
}

void TAbNumEdit::Change() {
    if (FIgnoreChange) {
        FIgnoreChange = false;
        return;
    }
    CheckText(!FApplied);
}

void TAbNumEdit::SetState(TNumEditState s) {
    if (s == FState)
        return;
    FState = s;
    switch (s) {
    case esNormal:
        SetBackground(FColorDefault);
        break;
    case esEditing:
        SetBackground(FColorEditing);
        break;
    case esError:
        SetBackground(FColorError);
        // The red must show before the beep; only this edit is drawn, no other event runs.
        repaint();
        Beep();
        break;
    }
}

void TAbNumEdit::SetBackground(TColor c) {
    FColor = c;
    QPalette p = palette();
    p.setColor(QPalette::Base, ColorToQColor(c));
    setPalette(p);
}

void TAbNumEdit::ShowInvalid(qsizetype first, qsizetype last) {
    SetState(esError);
    if (!isEnabled() || !isVisible())
        return;
    setFocus(Qt::OtherFocusReason);
    setSelection(int(first), int(last - first + 1));
}

void TAbNumEdit::Beep() {
    QApplication::beep();
}

bool TAbNumEdit::EditsText(QKeyEvent* e) const {
    if (e->matches(QKeySequence::Copy) || e->matches(QKeySequence::SelectAll))
        return false;
    return !e->text().isEmpty() || e->matches(QKeySequence::Delete) ||
           e->matches(QKeySequence::DeleteEndOfWord) ||
           e->matches(QKeySequence::DeleteStartOfWord) ||
           e->matches(QKeySequence::DeleteEndOfLine) || e->matches(QKeySequence::Cut) ||
           e->matches(QKeySequence::Paste) || e->matches(QKeySequence::Undo) ||
           e->matches(QKeySequence::Redo);
}

bool TAbNumEdit::KeyDown(QKeyEvent* e) {
    if (e->key() == Qt::Key_Up && !FLimitUp) {
        UpClick(this);
        return true;
    }
    if (e->key() == Qt::Key_Down && !FLimitLo) {
        DownClick(this);
        return true;
    }
    if (FState != esNormal && e->key() == Qt::Key_Escape) {
        setText(ValueText());
        SetState(esNormal);
    }
    if (OnChange)
        OnChange(this);
    return false;
}

void TAbNumEdit::KeyPress(QKeyEvent* e) {
    const int key = e->key();
    // An arrow at its limit, Escape and Enter end here: none of them goes on to the window.
    e->accept();
    if (key == Qt::Key_Up || key == Qt::Key_Down)
        return;
    if (!FEditorEnabled && EditsText(e)) {
        Beep();
        return;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        if (text().isEmpty())
            setText(QStringLiteral("0"));
        CheckText(true);
        return;
    }
    if (key == Qt::Key_Escape)
        return;
    QLineEdit::keyPressEvent(e);
}

void TAbNumEdit::keyPressEvent(QKeyEvent* e) {
    if (KeyDown(e)) {
        e->accept();
        return;
    }
    KeyPress(e);
}

namespace {
// Focus moving between the window's controls, not the window losing or regaining it.
bool ControlFocusChange(const QFocusEvent* e) {
    return e->reason() != Qt::ActiveWindowFocusReason && e->reason() != Qt::PopupFocusReason;
}
} // namespace

// Entering the field: focus moved here from another control, or came with a window that
// was hidden. Focus given back to the field that held it when its window lost activation
// is no entry and leaves the selection alone.
void TAbNumEdit::focusInEvent(QFocusEvent* e) {
    const bool hadSelection = hasSelectedText();
    const bool entered = ControlFocusChange(e) || !FActiveControl;
    FActiveControl = true;
    QLineEdit::focusInEvent(e);
    if (!entered)
        return;
    if (FAutoSelect && !(QGuiApplication::mouseButtons() & Qt::LeftButton))
        selectAll();
    else if (!FAutoSelect && !hadSelection)
        deselect();
}

void TAbNumEdit::focusOutEvent(QFocusEvent* e) {
    QLineEdit::focusOutEvent(e);
    if (!ControlFocusChange(e))
        return;
    FActiveControl = false;
    if (text().isEmpty())
        setText(QStringLiteral("0"));
    CheckText(true);
}

void TAbNumEdit::showEvent(QShowEvent* e) {
    QLineEdit::showEvent(e);
    // First show stands for the creation of the edit's window, which applies its text.
    if (FCreated)
        return;
    FCreated = true;
    CheckText(true);
}

void TAbNumEdit::hideEvent(QHideEvent* e) {
    QLineEdit::hideEvent(e);
    // Closed, not minimised: the next focus that comes with the window enters the field.
    if (!e->spontaneous())
        FActiveControl = false;
}

void TAbNumEdit::changeEvent(QEvent* e) {
    QLineEdit::changeEvent(e);
    if (e->type() == QEvent::PaletteChange && FParentColor)
        SetParentColor(true);
}
