#pragma once
// A line of text kept as a bitmap and drawn from pictures of its characters. Each
// character is laid out and rendered once per sub-pixel position; a new text then costs
// copies of the characters that changed, with no text layout, and draws exactly what
// drawText draws.
#include <QColor>
#include <QFont>
#include <QImage>
#include <QList>
#include <QString>
#include <array>
#include <memory>

class TGlyphBitmap {
public:
    TGlyphBitmap();
    ~TGlyphBitmap();

    // Text in `font` and `color` on `background`, in a bitmap of `size` pixels at `ratio`,
    // cleared to the background. The character pictures are kept while the look stays.
    void Setup(const QFont& font, QColor color, QColor background, QSize size, qreal ratio);
    // Shows `text` as drawText would at x = the bitmap's width minus the text's advance,
    // with the top of the text cell at the top of the bitmap.
    void ShowRightAligned(const QString& text);
    const QImage& Bitmap() const { return FBitmap; }
    // Whether the text shown was composed from character pictures rather than laid out.
    bool FromPictures() const { return FShownFromCells; }

private:
    // How a character is laid out before the next one.
    struct TStep {
        bool Known = false;
        bool Plain = false; // drawn as its own glyph, the next one on the same baseline
        int Advance = 0;    // to the next character's origin, kerning included; 1/64 pixel
        quint32 Glyph = 0;  // glyph drawn for the character on its own
    };
    // One character at one sub-pixel position: its inked box, opaque on the background.
    struct TCell {
        QImage Picture;
        QRect Box; // of the picture: columns from the pixel of the origin, rows of the bitmap
    };
    // What is known of one character; only the first 128 code points are drawn from
    // pictures, the others by a text layout.
    struct TChar {
        std::array<TStep, 129> Steps;                 // before each next character; 128: last
        std::array<std::unique_ptr<TCell>, 64> Cells; // per sub-pixel position
    };
    struct TPlacement {
        const TCell* Cell; // null: the character leaves no ink
        QRect Area;        // in the bitmap
        bool operator==(const TPlacement&) const = default;
    };
    static constexpr int CharCount = 128;

    const TStep& Step(QChar c, QChar next);
    TStep Layout(QChar c, QChar next);
    const TCell* Cell(QChar c, int fraction);
    std::unique_ptr<TCell> Render(QChar c, int fraction);
    bool Place(const QString& text, QList<TPlacement>& placements);
    void Compose(const QRect& area);
    void DrawWithLayout(const QString& text);

    QFont FFont;
    QColor FColor, FBackground;
    QSize FSize;
    int FAscent = 0;
    QImage FBitmap;
    QImage FBlank; // one row of background
    std::array<std::unique_ptr<TChar>, CharCount> FChars;
    // What the bitmap shows: the text and, when drawn from pictures, where they are.
    QString FShownText;
    QList<TPlacement> FShown, FNext;
    bool FShownFromCells = false;
};
