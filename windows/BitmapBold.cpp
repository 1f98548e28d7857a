#include "windows/BitmapBold.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QRawFont>
#include <QRegularExpression>
#include <set>

namespace {
// Room left of the origin, so that ink a glyph puts there is seen.
constexpr int LeftRoom = 2;

// One character of a strike: its advance and the rows of its ink, a bit per pixel column
// counted from the column the ink starts in.
struct TGlyph {
    char32_t Code;
    int Advance;
    int Left, Width; // ink columns relative to the origin
    std::vector<std::vector<bool>> Rows;
};

bool Inked(const QImage& image, int x, int y) {
    return x >= 0 && x < image.width() && qGray(image.pixel(x, y)) < 128;
}

// The glyph as the strike draws it.
TGlyph DrawnGlyph(const QFont& font, const QFontMetrics& metrics, char32_t code) {
    const QString text = QString::fromUcs4(&code, 1);
    const int advance = metrics.horizontalAdvance(text);
    QImage image(LeftRoom + advance + metrics.maxWidth(), metrics.height(), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QPoint(LeftRoom, metrics.ascent()), text);
    }
    int first = image.width(), last = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (Inked(image, x, y)) {
                first = std::min(first, x);
                last = std::max(last, x);
            }
    TGlyph glyph{code, advance, 0, 0, {}};
    if (last < 0)
        return glyph;
    glyph.Left = first - LeftRoom;
    glyph.Width = last - first + 1;
    for (int y = 0; y < image.height(); ++y) {
        std::vector<bool> row(size_t(glyph.Width));
        for (int x = 0; x < glyph.Width; ++x)
            row[size_t(x)] = Inked(image, first + x, y);
        glyph.Rows.push_back(row);
    }
    return glyph;
}

// Struck again one pixel to the right, one pixel wider.
TGlyph Emboldened(const TGlyph& glyph) {
    TGlyph bold = glyph;
    bold.Advance = glyph.Advance + 1;
    if (glyph.Width == 0)
        return bold;
    bold.Width = glyph.Width + 1;
    for (std::vector<bool>& row : bold.Rows) {
        row.push_back(false);
        for (int x = bold.Width - 1; x > 0; --x)
            row[size_t(x)] = row[size_t(x)] || row[size_t(x - 1)];
    }
    return bold;
}

QByteArray HexRow(const std::vector<bool>& row) {
    QByteArray bytes((qsizetype(row.size()) + 7) / 8, '\0');
    for (size_t x = 0; x < row.size(); ++x)
        if (row[x])
            bytes[qsizetype(x / 8)] = char(uchar(bytes[qsizetype(x / 8)]) | (0x80u >> (x % 8)));
    return bytes.toHex().toUpper();
}

QByteArray Number(int n) {
    return QByteArray::number(n);
}

QByteArray GlyphEntry(const TGlyph& glyph, int descent) {
    QByteArray entry = "STARTCHAR U+" + QByteArray::number(uint(glyph.Code), 16) + "\nENCODING " +
                       Number(int(glyph.Code)) + "\nSWIDTH 0 0\nDWIDTH " + Number(glyph.Advance) +
                       " 0\n";
    if (glyph.Width == 0)
        return entry + "BBX 1 1 0 0\nBITMAP\n00\nENDCHAR\n";
    entry += "BBX " + Number(glyph.Width) + ' ' + Number(int(glyph.Rows.size())) + ' ' +
             Number(glyph.Left) + ' ' + Number(-descent) + "\nBITMAP\n";
    for (const std::vector<bool>& row : glyph.Rows)
        entry += HexRow(row) + '\n';
    return entry + "ENDCHAR\n";
}

QByteArray Quoted(const QString& text) {
    return '"' + text.toLatin1() + '"';
}

QByteArray Header(const QFont& font, const QString& foundry, const QFontMetrics& metrics,
                  int pixelSize, int glyphs) {
    QByteArray properties = "FAMILY_NAME " + Quoted(font.family()) +
                            "\nWEIGHT_NAME \"Bold\"\nSLANT \"R\"\nSETWIDTH_NAME \"Normal\"\n"
                            "SPACING \"P\"\nCHARSET_REGISTRY \"ISO10646\"\nCHARSET_ENCODING \"1\"\n"
                            "PIXEL_SIZE " +
                            Number(pixelSize) + "\nFONT_ASCENT " + Number(metrics.ascent()) +
                            "\nFONT_DESCENT " + Number(metrics.descent()) + '\n';
    int count = 9;
    if (!foundry.isEmpty()) {
        properties += "FOUNDRY " + Quoted(foundry) + '\n';
        ++count;
    }
    return "STARTFONT 2.1\nFONT -" + foundry.toLatin1() + '-' + font.family().toLatin1() +
           "-Bold-R-Normal--" + Number(pixelSize) + "-0-0-0-P-0-ISO10646-1\nSIZE " +
           Number(pixelSize) + " 72 72\nFONTBOUNDINGBOX " + Number(2 * metrics.maxWidth()) + ' ' +
           Number(metrics.height()) + " 0 " + Number(-metrics.descent()) + "\nSTARTPROPERTIES " +
           Number(count) + '\n' + properties + "ENDPROPERTIES\nCHARS " + Number(glyphs) + '\n';
}

// The pixel sizes of the strikes the family has: every size asked for resolves to one.
std::set<int> StrikeSizes(const QString& family) {
    std::set<int> sizes;
    for (int pixels = 6; pixels <= 48; ++pixels) {
        QFont font(family);
        font.setPixelSize(pixels);
        sizes.insert(QFontInfo(font).pixelSize());
    }
    return sizes;
}

bool HasBold(const QString& family) {
    for (const QString& style : QFontDatabase::styles(family))
        if (QFontDatabase::bold(family, style))
            return true;
    return false;
}

// The foundry the toolkit names for the family's regular face once another foundry also
// offers the family ("Family [Foundry]"), or empty.
QString FoundryShown(const QString& family) {
    QFont font(family);
    const QString shown = QFontInfo(font).family();
    static const QRegularExpression bracketed(QStringLiteral("\\[(.*)\\]$"));
    const QRegularExpressionMatch match = bracketed.match(shown);
    return match.hasMatch() && match.captured(1) != QLatin1String("unknown") ? match.captured(1)
                                                                             : QString();
}

// Adds the bold face of one strike under the regular face's foundry, so that both faces
// are one family.
void AddBoldStrike(const QString& family, int pixelSize) {
    QFont regular(family);
    regular.setPixelSize(pixelSize);
    const int id = QFontDatabase::addApplicationFontFromData(BoldStrikeFace(regular));
    const QString foundry = FoundryShown(family);
    if (id < 0 || foundry.isEmpty())
        return;
    QFontDatabase::removeApplicationFont(id);
    QFontDatabase::addApplicationFontFromData(BoldStrikeFace(regular, foundry));
}
} // namespace

QByteArray BoldStrikeFace(const QFont& regular, const QString& foundry) {
    QFont font = regular;
    font.setBold(false);
    const QFontMetrics metrics(font);
    const QRawFont raw = QRawFont::fromFont(font);
    QByteArray glyphs;
    int count = 0;
    for (char32_t code = 0x20; code < 0x3000; ++code) {
        if (!raw.supportsCharacter(code) ||
            metrics.horizontalAdvance(QString::fromUcs4(&code, 1)) <= 0)
            continue;
        glyphs += GlyphEntry(Emboldened(DrawnGlyph(font, metrics, code)), metrics.descent());
        ++count;
    }
    return Header(font, foundry, metrics, QFontInfo(font).pixelSize(), count) + glyphs +
           "ENDFONT\n";
}

int AddMissingBold(const QString& family) {
    if (QFontDatabase::isScalable(family) || HasBold(family))
        return 0;
    const std::set<int> sizes = StrikeSizes(family);
    for (int pixels : sizes)
        AddBoldStrike(family, pixels);
    return int(sizes.size());
}
