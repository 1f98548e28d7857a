#include "widgets/GlyphBitmap.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QHash>
#include <QPainter>
#include <QRawFont>
#include <QTextLayout>
#include <QVarLengthArray>
#include <climits>
#include <cstring>
#include <vector>

// The pictures of one look (font, colours, height) and how its characters are laid out.
// Only the first 128 code points are drawn from pictures; the others take a text layout.
class TGlyphPictures {
public:
    using TCell = TGlyphBitmap::TCell;
    // How a character is laid out before the next one.
    struct TStep {
        bool Known = false;
        bool Plain = false; // drawn as its own glyph, the next one on the same baseline
        int Advance = 0;    // to the next character's origin, kerning included; 1/64 pixel
        quint32 Glyph = 0;  // glyph drawn for the character on its own
    };
    static constexpr int CharCount = 128;

    // The pictures of a look, shared while any bitmap uses them.
    static std::shared_ptr<TGlyphPictures> For(const QFont& font, QColor color, QColor background,
                                               int height);

    TGlyphPictures(const QFont& font, QColor color, QColor background, int height);
    // The step of `c` before `next` (null: the last character).
    const TStep& Step(QChar c, QChar next);
    // Null when the character leaves no ink. Only for characters with a plain step.
    const TCell* Cell(QChar c, int fraction);

private:
    struct TChar {
        std::array<TStep, CharCount + 1> Steps;       // before each next character; last: end
        std::array<std::unique_ptr<TCell>, 64> Cells; // per sub-pixel position
    };

    TStep Layout(QChar c, QChar next);
    void LayoutLine(QChar c);
    std::unique_ptr<TCell> Render(QChar c, int fraction);

    QFont FFont;
    QColor FColor, FBackground;
    int FHeight, FAscent;
    QRawFont FRawFont;
    std::array<std::unique_ptr<TChar>, CharCount> FChars;
};

namespace {

// Pixels to 1/64 pixel, the unit in which text layouts place glyphs.
int To64(qreal v) {
    return qRound(v * 64);
}

QList<QGlyphRun> GlyphRuns(const QString& text, const QFont& font) {
    QTextLayout layout(text, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    return layout.glyphRuns();
}

} // namespace

std::shared_ptr<TGlyphPictures> TGlyphPictures::For(const QFont& font, QColor color,
                                                    QColor background, int height) {
    static QHash<QString, std::weak_ptr<TGlyphPictures>> shared;
    const QString key = QStringLiteral("%1|%2|%3|%4")
                            .arg(font.toString())
                            .arg(color.rgba())
                            .arg(background.rgba())
                            .arg(height);
    std::weak_ptr<TGlyphPictures>& entry = shared[key];
    std::shared_ptr<TGlyphPictures> pictures = entry.lock();
    if (!pictures) {
        pictures = std::make_shared<TGlyphPictures>(font, color, background, height);
        entry = pictures;
    }
    return pictures;
}

TGlyphPictures::TGlyphPictures(const QFont& font, QColor color, QColor background, int height)
    : FFont(font), FColor(color), FBackground(background), FHeight(height),
      FAscent(QFontMetrics(font).ascent()), FRawFont(QRawFont::fromFont(font)) {}

const TGlyphPictures::TStep& TGlyphPictures::Step(QChar c, QChar next) {
    static const TStep notPlain{true, false, 0, 0};
    if (c.unicode() >= CharCount || next.unicode() >= CharCount)
        return notPlain;
    std::unique_ptr<TChar>& known = FChars[c.unicode()];
    if (!known)
        known = std::make_unique<TChar>();
    TStep& step = known->Steps[next.isNull() ? CharCount : next.unicode()];
    if (!step.Known && next.isNull()) {
        LayoutLine(c);
    } else if (!step.Known) {
        Step(next, QChar());
        if (Step(c, QChar()).Plain && !step.Known)
            LayoutLine(c);
    }
    if (!step.Known)
        step = Layout(c, next);
    return step;
}

// The character laid out on its own, or before the next one: a pair that the layout
// joins, substitutes or shifts off the baseline is not plain.
TGlyphPictures::TStep TGlyphPictures::Layout(QChar c, QChar next) {
    TStep step{true, false, 0, 0};
    if (next.isNull()) {
        const QList<QGlyphRun> runs = GlyphRuns(QString(c), FFont);
        step.Advance = To64(QFontMetricsF(FFont).horizontalAdvance(QString(c)));
        if (runs.size() == 1 && runs[0].glyphIndexes().size() == 1 &&
            runs[0].positions()[0].x() == 0 && runs[0].rawFont() == FRawFont) {
            step.Glyph = runs[0].glyphIndexes()[0];
            step.Plain = true;
        }
        return step;
    }
    const TStep first = Step(c, QChar()), second = Step(next, QChar());
    const QList<QGlyphRun> runs = GlyphRuns(QString(c) + next, FFont);
    if (runs.size() != 1 || runs[0].glyphIndexes().size() != 2 || runs[0].rawFont() != FRawFont)
        return step;
    const QList<QPointF> positions = runs[0].positions();
    step.Advance = To64(positions[1].x() - positions[0].x());
    step.Glyph = first.Glyph;
    step.Plain = first.Plain && second.Plain &&
                 runs[0].glyphIndexes() == QList<quint32>{first.Glyph, second.Glyph} &&
                 positions[0].x() == 0 && positions[0].y() == positions[1].y();
    return step;
}

// `c` at the end of one line, and beside itself and every plain character known so far,
// before and after it: kerning depends on the pair alone, so one line of alternating
// characters gives all their steps. What a line that does not draw one glyph per
// character leaves unknown is laid out one by one.
void TGlyphPictures::LayoutLine(QChar c) {
    if (c.isSpace()) // the line's width leaves out trailing spaces
        return;
    QString text(2, c);
    for (int x = 0; x < CharCount; ++x) {
        if (x != c.unicode() && FChars[x] && FChars[x]->Steps[CharCount].Plain) {
            text += QChar(x);
            text += c;
        }
    }
    QTextLayout layout(text, FFont);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    // Pictures are drawn from glyphs of the font itself, not of a font standing in for it.
    if (runs.size() != 1 || runs[0].glyphIndexes().size() != text.size() ||
        runs[0].rawFont() != FRawFont)
        return;
    const QList<quint32> glyphs = runs[0].glyphIndexes();
    const QList<QPointF> positions = runs[0].positions();
    auto single = [&](QChar x) -> TStep& { return FChars[x.unicode()]->Steps[CharCount]; };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const quint32 glyph = text[i] == c ? glyphs[0] : single(text[i]).Glyph;
        if (glyphs[i] != glyph || positions[i].y() != positions[0].y())
            return;
    }
    if (positions[0].x() != 0)
        return;
    single(c) = {true, true, To64(line.naturalTextWidth() - positions.last().x()), glyphs[0]};
    for (qsizetype i = 0; i + 1 < text.size(); ++i)
        FChars[text[i].unicode()]->Steps[text[i + 1].unicode()] = {
            true, true, To64(positions[i + 1].x() - positions[i].x()), glyphs[i]};
}

const TGlyphPictures::TCell* TGlyphPictures::Cell(QChar c, int fraction) {
    std::unique_ptr<TCell>& cell = FChars[c.unicode()]->Cells[fraction];
    if (!cell)
        cell = Render(c, fraction);
    return cell->Picture.isNull() ? nullptr : cell.get();
}

// The character as drawText draws it at `fraction` / 64 of a pixel, cut to its ink.
std::unique_ptr<TGlyphPictures::TCell> TGlyphPictures::Render(QChar c, int fraction) {
    const int pad = FHeight; // room for a glyph reaching beyond its advance
    const int advance = (Step(c, QChar()).Advance + 63) / 64;
    QImage scratch(2 * pad + advance, FHeight, QImage::Format_RGB32);
    scratch.fill(FBackground);
    {
        // The glyph the layout chose, drawn as drawText draws it, without laying it out again.
        QGlyphRun run;
        run.setRawFont(FRawFont);
        run.setGlyphIndexes({Step(c, QChar()).Glyph});
        run.setPositions({QPointF(0, 0)});
        QPainter painter(&scratch);
        painter.setPen(FColor);
        painter.drawGlyphRun(QPointF(pad + fraction / 64.0, FAscent), run);
    }
    const QRgb background = FBackground.rgb();
    const int width = scratch.width();
    const std::vector<QRgb> blank(size_t(width), background);
    int left = INT_MAX, right = INT_MIN, top = INT_MAX, bottom = INT_MIN;
    for (int y = 0; y < FHeight; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(scratch.constScanLine(y));
        if (std::memcmp(line, blank.data(), blank.size() * sizeof(QRgb)) == 0)
            continue;
        int x = 0;
        while (line[x] == background)
            ++x;
        int last = width - 1;
        while (line[last] == background)
            --last;
        left = std::min(left, x);
        right = std::max(right, last);
        top = std::min(top, y);
        bottom = y;
    }
    auto cell = std::make_unique<TCell>();
    if (left <= right) {
        const QRect ink(QPoint(left, top), QPoint(right, bottom));
        cell->Picture = scratch.copy(ink);
        cell->Box = ink.translated(-pad, 0);
    }
    return cell;
}

TGlyphBitmap::TGlyphBitmap() = default;

TGlyphBitmap::~TGlyphBitmap() = default;

void TGlyphBitmap::Setup(const QFont& font, QColor color, QColor background, QSize size,
                         qreal ratio) {
    const QSize pixels = size * ratio;
    if (!FPictures || font != FFont || color != FColor || background != FBackground ||
        pixels.height() != FBitmap.height())
        FPictures = TGlyphPictures::For(font, color, background, pixels.height());
    FFont = font;
    FColor = color;
    FBackground = background;
    FSize = size;
    if (pixels != FBitmap.size() || ratio != FBitmap.devicePixelRatio()) {
        FBitmap = QImage(pixels, QImage::Format_RGB32);
        FBitmap.setDevicePixelRatio(ratio);
        FBlank = QImage(pixels.width(), 1, QImage::Format_RGB32);
    }
    FBitmap.fill(background);
    FBlank.fill(background);
    FShownText.clear();
    FShown.clear();
    FShownFromCells = true;
}

QRect TGlyphBitmap::ShowRightAligned(const QString& text, int end, int start) {
    if (FBitmap.isNull() ||
        (FShownFromCells && text == FShownText && end == FShownEnd && start == FStart))
        return {};
    FShownText = text;
    FShownEnd = end;
    const bool newStart = start != FStart;
    FStart = start;
    const QRect whole(QPoint(0, 0), FSize);
    if (FBitmap.devicePixelRatio() != 1 || !Place(text, end, FNext)) {
        FBitmap.fill(FBackground);
        DrawWithLayout(text, end);
        FShown.clear();
        FShownFromCells = false;
        return whole;
    }
    // After a laid-out text, none yet, or with the text shown from another column on.
    const bool refilled = !FShownFromCells || newStart;
    if (refilled) {
        FBitmap.fill(FBackground);
        FShown.clear();
        FShownFromCells = true;
    }
    // The box around the pictures that go and come.
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
    auto include = [&](const QRect& r) {
        left = std::min(left, r.left());
        top = std::min(top, r.top());
        right = std::max(right, r.right());
        bottom = std::max(bottom, r.bottom());
    };
    for (const TPlacement& p : FShown)
        if (!FNext.contains(p))
            include(p.Area);
    for (const TPlacement& p : FNext)
        if (!FShown.contains(p))
            include(p.Area);
    QRect changed;
    if (left <= right) {
        changed = QRect(QPoint(left, top), QPoint(right, bottom)).intersected(FBitmap.rect());
        Compose(changed);
    }
    std::swap(FShown, FNext);
    return refilled ? whole : changed;
}

// Where each character's picture goes, left to right; false when the text needs a real
// layout (a pair that is not plain) or pictures would overlap, which copies cannot blend.
bool TGlyphBitmap::Place(const QString& text, int right, TPlacements& placements) {
    placements.clear();
    QVarLengthArray<int, 16> advances;
    int total = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto& step = FPictures->Step(text[i], i + 1 < text.size() ? text[i + 1] : QChar());
        if (!step.Plain)
            return false;
        advances.append(step.Advance);
        total += step.Advance;
    }
    int x = (right - ((total + 32) >> 6)) * 64; // the layout rounds its advance
    int lastColumn = INT_MIN;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (const TCell* cell = FPictures->Cell(text[i], x & 63)) {
            const QRect area = cell->Box.translated(x >> 6, 0);
            if (area.left() <= lastColumn)
                return false;
            placements.append({cell, area});
            lastColumn = area.right();
        }
        x += advances[i];
    }
    return true;
}

// Redraws `area`: the background, then the parts of the next pictures inside it.
void TGlyphBitmap::Compose(const QRect& area) {
    if (area.isEmpty())
        return;
    uchar* const bits = FBitmap.bits();
    const qsizetype stride = FBitmap.bytesPerLine(), pixel = sizeof(QRgb);
    auto copy = [&](const QRect& to, const uchar* from, qsizetype fromStride) {
        uchar* line = bits + to.top() * stride + to.left() * pixel;
        const size_t bytes = size_t(to.width() * pixel);
        for (int y = to.height(); y > 0; --y, line += stride, from += fromStride)
            std::memcpy(line, from, bytes);
    };
    copy(area, FBlank.constBits() + area.left() * pixel, 0);
    const QRect shown(QPoint(FStart, 0), QPoint(FBitmap.width() - 1, FBitmap.height() - 1));
    for (const TPlacement& p : FNext) {
        const QRect part = p.Area.intersected(area).intersected(shown);
        if (part.isEmpty())
            continue;
        const QImage& picture = p.Cell->Picture;
        const QPoint at = part.topLeft() - p.Area.topLeft();
        copy(part, picture.constBits() + at.y() * picture.bytesPerLine() + at.x() * pixel,
             picture.bytesPerLine());
    }
}

void TGlyphBitmap::DrawWithLayout(const QString& text, int right) {
    QPainter painter(&FBitmap);
    painter.setFont(FFont);
    painter.setPen(FColor);
    painter.setClipRect(QRect(QPoint(FStart, 0), FSize));
    const QFontMetrics metrics = painter.fontMetrics();
    painter.drawText(right - metrics.horizontalAdvance(text), metrics.ascent(), text);
}

// From the characters' steps where the text is plain, without laying it out.
int TGlyphBitmap::TextWidth(const QString& text) {
    if (!FPictures)
        return 0;
    int total = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto& step = FPictures->Step(text[i], i + 1 < text.size() ? text[i + 1] : QChar());
        if (!step.Plain)
            return QFontMetrics(FFont).horizontalAdvance(text);
        total += step.Advance;
    }
    return (total + 32) >> 6;
}
