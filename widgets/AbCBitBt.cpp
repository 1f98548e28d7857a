#include "widgets/AbCBitBt.h"

#include <QPainter>

void TAbBtnBevel::SetWidth(int v) {
    if (v >= 0)
        SetProp(FWidth, v);
}

void TAbBtnBevel::PaintBevel(QPainter& canvas, TRect& r, bool up, bool filled, TColor Col) const {
    if (filled)
        canvas.fillRect(r.ToQRect(), ColorToQColor(Col));
    for (int k = 1; k <= FWidth; ++k) {
        const TColor a = up ? BlendColor(FHighlightColFrom, FHighlightColTo, FWidth, k)
                            : BlendColor(FShadowColTo, FShadowColFrom, FWidth, k);
        const TColor b = up ? BlendColor(FShadowColFrom, FShadowColTo, FWidth, k)
                            : BlendColor(FHighlightColTo, FHighlightColFrom, FWidth, k);
        Frame3D(canvas, r, ColorToQColor(a), ColorToQColor(b));
    }
}

TAbColBitBtn::TAbColBitBtn(QWidget* parent)
    : TAbBinGControl(parent), FGradBtnFace(std::make_unique<TAbGradSettings>(
                                  RGBColor(240, 240, 240), RGBColor(105, 105, 105), true)),
      FButtonBevel(std::make_unique<TAbBtnBevel>()),
      FFont(std::make_unique<TFont>("Arial", -11, TFontStyles{fsBold}, clWindowText)) {
    resize(65, 33);
    FButtonBevel->SetWidth(4);
    SetMode(mButton);
    FFont->OnChange = [this](QObject*) { StatusChanged(); };
}

TAbColBitBtn::~TAbColBitBtn() = default;

void TAbColBitBtn::Loaded() {
    TAbBinGControl::Loaded();
    const TNotifyEvent paramChange = [this](QObject* Sender) { ParamChange(Sender); };
    FGradBtnFace->OnChange = paramChange;
    FButtonBevel->OnChange = paramChange;
}

void TAbColBitBtn::ParamChange(QObject*) {
    Invalidate();
}

void TAbColBitBtn::SetTransparent(bool v) {
    if (v == FTransparent)
        return;
    FTransparent = v;
    Invalidate();
}

void TAbColBitBtn::SetGlyph(const QImage& v) {
    FGlyph = v.convertToFormat(QImage::Format_ARGB32);
    if (FGlyph.isNull())
        FNumGlyph = 1;
    else
        FGlyphTransparent = FGlyph.pixel(0, FGlyph.height() - 1);
    StatusChanged();
}

// Taken before a glyph exists too: the form sets the frame count before the strip.
void TAbColBitBtn::SetNumGlyph(int v) {
    if (v > 0)
        SetLook(FNumGlyph, v);
}

void TAbColBitBtn::StatusChanged() {
    if (FPainting)
        return;
    FPainting = true;
    const bool flashing = Checked() && Flashing();
    auto state = [&](TFlashOption f, TCheckedOption c) {
        if (flashing && FFlashOptions.Contains(f))
            return FFlashStatus;
        return FCheckedOptions.Contains(c) && Checked();
    };
    if (isVisible() || InPaint())
        Draw(state(foGlyph, coGlyph), state(foText, coText), state(foTextCol, coTextCol),
             state(foBtnCol, coBtnCol));
    FPainting = false;
}

void TAbColBitBtn::Flash(bool status) {
    FFlashStatus = status;
    if (!InPaint())
        StatusChanged();
}

TRect TAbColBitBtn::FaceRect() const {
    return TRect::FromQRect(rect()).Shrunk(FButtonBevel->Width());
}

void TAbColBitBtn::Paint(QPainter&) {
    BmpBackground = NewBitmap(size());
    BmpBackground.fill(Qt::transparent);
    if (!FTransparent && FGradBtnFace->Visible()) {
        QPainter canvas(&BmpBackground);
        FGradBtnFace->PaintGradient(canvas, FaceRect());
    }
}

void TAbColBitBtn::PaintDone() {
    StatusChanged();
}

void TAbColBitBtn::PaintValue(QPainter& canvas, const QRect&) {
    if (!FComposed.isNull())
        canvas.drawImage(0, 0, FComposed);
}

void TAbColBitBtn::PaintFrame(QPainter& canvas, TColor face) {
    const bool pressed = MouseIsDown();
    const bool frame = (FBeveled && !FFlat) || (FFlat && FMouseInControl);
    const bool filled = !FTransparent && !FGradBtnFace->Visible();
    if (frame) {
        const bool down = FCheckedOptions.Contains(coBevel) ? Checked() || pressed : pressed;
        TRect r = TRect::FromQRect(rect());
        FButtonBevel->PaintBevel(canvas, r, !down, filled, face);
    } else if (filled) {
        canvas.fillRect(rect(), ColorToQColor(face));
    }
}

void TAbColBitBtn::Draw(bool stGlyph, bool stText, bool stTextCol, bool stBtn) {
    if (BmpBackground.isNull())
        return;
    FComposed = BmpBackground;
    QPainter canvas(&FComposed);
    const TColor face = FEnabled ? (stBtn ? FColorOn : FColorOff) : FColorDisabled;
    PaintFrame(canvas, face);
    const QString text = stText || FTextOff.isEmpty() ? FTextOn : FTextOff;
    PaintContent(canvas, text, stGlyph, stTextCol);
    canvas.end();
    RepaintValue(rect(), false);
}

namespace {

int WidestLine(const QFontMetrics& metrics, const QString& text) {
    int widest = 0;
    for (const QString& line : text.split('|'))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    return widest;
}

// Centre of a content box of the given length along one axis.
int BoxCentre(int low, int high, int length, int placement) {
    switch (placement) {
    case 0:
        return low + length / 2;
    case 1:
        return high - length / 2;
    default:
        return (low + high) / 2;
    }
}

} // namespace

void TAbColBitBtn::PaintContent(QPainter& canvas, const QString& text, bool stGlyph,
                                bool stTextCol) {
    canvas.setFont(FFont->ToQFont());
    const QFontMetrics metrics = canvas.fontMetrics();
    const int tw = std::max(WidestLine(metrics, FTextOn), WidestLine(metrics, FTextOff));
    const int th = metrics.height() * int(text.split('|').size());
    const int gw = FGlyph.isNull() ? 0 : FGlyph.width() / FNumGlyph;
    const int gh = FGlyph.isNull() ? 0 : FGlyph.height();
    const int gap = gw > 0 && tw > 0 ? FSpacing : 0;
    const bool beside = FPosGlyph == pLeft || FPosGlyph == pRight;
    const int bw = beside ? gw + gap + tw : std::max(gw, tw);
    const int bh = beside ? std::max(gh, th) : gh + gap + th;
    const int cx = BoxCentre(0, width(), bw, int(FPosHorizontal));
    const int cy = BoxCentre(0, height(), bh, int(FPosVertical));
    const int left = cx - bw / 2, top = cy - bh / 2;
    QPoint glyphAt, textAt;
    switch (FPosGlyph) {
    case pLeft:
        glyphAt = {left, cy - gh / 2}, textAt = {left + gw + gap, cy - th / 2};
        break;
    case pRight:
        glyphAt = {left + bw - gw, cy - gh / 2}, textAt = {left + bw - gw - gap - tw, cy - th / 2};
        break;
    case pTop:
        glyphAt = {cx - gw / 2, top}, textAt = {cx - tw / 2, top + gh + gap};
        break;
    case pBottom:
        glyphAt = {cx - gw / 2, top + bh - gh}, textAt = {cx - tw / 2, top};
        break;
    }
    QPoint shift(FOffsetX, FOffsetY);
    if (MouseIsDown() || (Checked() && FCheckedOptions.Contains(coBevel)))
        shift += QPoint(FOffsetDown, FOffsetDown);
    PaintText(canvas, textAt + shift, beside ? 0 : tw, text, stTextCol);
    PaintGlyph(canvas, glyphAt + shift, stGlyph);
}

// Lines of `text` from `at`; centred in blockWidth when it is non-zero.
void TAbColBitBtn::PaintText(QPainter& canvas, QPoint at, int blockWidth, const QString& text,
                             bool stTextCol) {
    const TColor color = !FEnabled ? FTextColDisabled : (stTextCol ? FTextColOn : FTextColOff);
    const QFontMetrics metrics = canvas.fontMetrics();
    auto write = [&](QPoint offset, TColor c) {
        canvas.setPen(ColorToQColor(c));
        int y = at.y() + offset.y();
        for (const QString& line : text.split('|')) {
            const int indent =
                blockWidth > 0 ? (blockWidth - metrics.horizontalAdvance(line)) / 2 : 0;
            TextOut(canvas, at.x() + offset.x() + indent, y, line);
            y += metrics.height();
        }
    };
    if (FText3D) {
        write({1, 1}, FButtonBevel->HighlightColTo());
        write({-1, -1}, FButtonBevel->ShadowColTo());
    }
    write({0, 0}, color);
}

void TAbColBitBtn::PaintGlyph(QPainter& canvas, QPoint at, bool stGlyph) {
    if (FGlyph.isNull())
        return;
    int frame = 0;
    if (!FEnabled && FNumGlyph >= 2)
        frame = 1;
    else if (stGlyph && FNumGlyph > 2)
        frame = 2;
    const int gw = FGlyph.width() / FNumGlyph;
    QImage image = FGlyph.copy(frame * gw, 0, gw, FGlyph.height());
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (line[x] == FGlyphTransparent)
                line[x] = 0;
    }
    canvas.drawImage(at, image);
}

void TAbColBitBtn::enterEvent(QEnterEvent* e) {
    if (FEnabled && !QWidget::mouseGrabber()) {
        FMouseInControl = true;
        StatusChanged();
    }
    TAbBinGControl::enterEvent(e);
}

void TAbColBitBtn::leaveEvent(QEvent* e) {
    FMouseInControl = false;
    StatusChanged();
    TAbBinGControl::leaveEvent(e);
}
