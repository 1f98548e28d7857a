#pragma once
// A line of text kept as a bitmap and drawn from pictures of its characters. Each
// character is laid out and rendered once per sub-pixel position, and the pictures are
// shared by every bitmap of the same look; a new text then costs copies of the characters
// that changed, with no text layout, and draws exactly what drawText draws.
#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>
#include <QVarLengthArray>
#include <array>
#include <memory>

class TGlyphPictures;

class TGlyphBitmap {
public:
    TGlyphBitmap();
    ~TGlyphBitmap();

    // Text in `font` and `color` on `background`, in a bitmap of `size` pixels at `ratio`,
    // cleared to the background.
    void Setup(const QFont& font, QColor color, QColor background, QSize size, qreal ratio);
    // Shows `text` as drawText would at x = the bitmap's width minus the text's advance,
    // with the top of the text cell at the top of the bitmap. Returns the part of the
    // bitmap that changed (empty when nothing did).
    QRect ShowRightAligned(const QString& text) { return ShowRightAligned(text, FSize.width()); }
    // The same with the text ending at x = `end` instead of at the bitmap's right edge, and
    // nothing of it shown left of x = `start`.
    QRect ShowRightAligned(const QString& text, int end, int start = 0);
    // The text's advance in pixels, as drawText lays it out.
    int TextWidth(const QString& text);
    const QImage& Bitmap() const { return FBitmap; }
    // Whether the text shown was composed from character pictures rather than laid out.
    bool FromPictures() const { return FShownFromCells; }

    // One character at one sub-pixel position: its inked box, opaque on the background.
    struct TCell {
        QImage Picture;
        QRect Box; // of the picture: columns from the pixel of the origin, rows of the bitmap
    };

private:
    struct TPlacement {
        const TCell* Cell;
        QRect Area; // in the bitmap
        bool operator==(const TPlacement&) const = default;
    };

    using TPlacements = QVarLengthArray<TPlacement, 16>;

    bool Place(const QString& text, int right, TPlacements& placements);
    void Compose(const QRect& area);
    void DrawWithLayout(const QString& text, int right);

    std::shared_ptr<TGlyphPictures> FPictures;
    QFont FFont;
    QColor FColor, FBackground;
    QSize FSize;
    QImage FBitmap;
    QImage FBlank; // one row of background
    // What the bitmap shows: the text and, when drawn from pictures, where they are.
    QString FShownText;
    int FShownEnd = 0, FStart = 0;
    TPlacements FShown, FNext;
    bool FShownFromCells = false;
};
