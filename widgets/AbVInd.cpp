#include "widgets/AbVInd.h"

#include <QPainter>
#include <utility>

TAbValueInd::TAbValueInd(QWidget* parent)
    : TAbAnalogGControl(parent),
      FFontValue(std::make_unique<TFont>("System", -13, TFontStyles{}, clLime)),
      FBevelInner(std::make_unique<TAbSBevel>(bsLowered, 5, blInner)),
      FBevelOuter(std::make_unique<TAbSBevel>(bsRaised, 5, blOuter)),
      FBevelValue(std::make_unique<TAbSBevel>(bsLowered, 0, blNone, clBlack)) {
    BeginUpdate();
    resize(67, 48);
}

TAbValueInd::~TAbValueInd() = default;

void TAbValueInd::SetAutoSize(bool v) {
    if (v == FAutoSize)
        return;
    FAutoSize = v;
    UpdateParams();
}

void TAbValueInd::SetFontValue(const TFont& v) {
    FFontValue->Assign(v);
    UpdateParams();
}

void TAbValueInd::SetOptions(TValueIndOptions v) {
    if (v == FOptions)
        return;
    FOptions = v;
    UpdateParams();
}

void TAbValueInd::Loaded() {
    TAbAnalogGControl::Loaded();
    const TNotifyEvent paramChange = [this](QObject* Sender) { ParamChange(Sender); };
    FFontValue->OnChange = paramChange;
    FBevelInner->OnChange = paramChange;
    FBevelOuter->OnChange = paramChange;
    FBevelValue->OnChange = paramChange;
    EndUpdate();
}

void TAbValueInd::ParamChange(QObject* Sender) {
    TAbAnalogGControl::ParamChange(Sender);
    Invalidate();
}

void TAbValueInd::CalcSize() {
    const TSignalSettings& s = *SignalSettings();
    const QFont font = Font()->ToQFont(), valueFont = FFontValue->ToQFont();
    sName1 = TextExtent(font, s.Name1());
    sName2 = TextExtent(font, s.Name2());
    sValue = TextExtent(valueFont, s.ValueSizeStr());
    sUnit = TextExtent(valueFont, s.ValueUnit());
    if (!FOptions.Contains(opUnit))
        sUnit.setWidth(0);
    const int B = FOptions.Contains(opBevelOuter) ? 2 * FBevelOuter->TotalWidth() : 0;
    const int I = FOptions.Contains(opBevelInner) ? 2 * FBevelInner->TotalWidth() : 0;
    const int V = 2 * FBevelValue->TotalWidth();
    int h = 0, w = 0;
    if (FOptions.Contains(opBevelOuter))
        h = w = B;
    for (auto [option, extent] : {std::pair{opName1, sName1}, std::pair{opName2, sName2}}) {
        if (FOptions.Contains(option)) {
            h += extent.height();
            w = std::max(w, B + extent.width());
        }
    }
    if (FOptions.Contains(opBevelInner)) {
        h += I;
        w = std::max(w, B + I);
    }
    h += sValue.height() + V;
    w = std::max(w, B + I + sValue.width() + sUnit.width() + V + sValue.height());
    min_w = qint16(w);
    min_h = qint16(h);
    const QSize wanted = FAutoSize ? QSize(w, h) : size().expandedTo(QSize(w, h));
    if (wanted != size())
        resize(wanted);
}

void TAbValueInd::Paint(QPainter& canvas) {
    TRect r = TRect::FromQRect(rect());
    PaintFrame(canvas, r, FOptions, *FBevelOuter, *FBevelInner, sName1, sName2);
    const int g = sValue.height() / 3, V = FBevelValue->TotalWidth();
    TRect box;
    box.Left = r.Left + (r.Width() - sValue.width() - sUnit.width() - g) / 2 - g;
    box.Right = box.Left + sValue.width() + 2 * V + 2 * g;
    box.Top = r.Top;
    box.Bottom = r.Top + sValue.height() + 2 * V;
    FBevelValue->PaintFilledBevel(canvas, box);
    canvas.setFont(FFontValue->ToQFont());
    canvas.setPen(ColorToQColor(Font()->Color()));
    if (FOptions.Contains(opUnit))
        TextOut(canvas, box.Right + g, box.Top, SignalSettings()->ValueUnit());
    rFace = box;
    rValue = {box.Left + g, box.Top, box.Right - g, box.Bottom};
    FValueBmp.Setup(FFontValue->ToQFont(), ColorToQColor(FFontValue->Color()),
                    ColorToQColor(FBevelValue->Color()), FaceArea().size(), devicePixelRatioF());
}

void TAbValueInd::PaintDone() {
    ValueChanged();
}

void TAbValueInd::ValueChanged() {
    const bool nested = std::exchange(FValueChanging, true);
    TAbAnalogGControl::ValueChanged();
    FValueChanging = nested;
    // A new extreme runs ValueChanged again from inside; the outermost run draws: the
    // characters that changed, at once, or nothing when the text shows as before.
    if (nested || InPaint() || !isVisible())
        return;
    const QRect face = FaceArea();
    if (ValueArea().isEmpty())
        return;
    const QRect changed = ShowValue();
    RepaintValue(changed.translated(face.topLeft()).intersected(face), true);
}

// The value right-aligned in its area. A value wider than the area is centred on the box's
// face, so that a channel's 65.535 shows whole; one wider than the face too ends where
// the area ends and loses its leading characters at the face's left edge.
QRect TAbValueInd::ShowValue() {
    const QString text = ValueStr();
    const int width = FValueBmp.TextWidth(text), face = rFace.Width();
    const int areaRight = rValue.Right - rFace.Left;
    if (width > face)
        return FValueBmp.ShowRightAligned(text, areaRight, rValue.Left - rFace.Left);
    return FValueBmp.ShowRightAligned(text, std::max(areaRight, (face + width) / 2));
}

void TAbValueInd::PaintValue(QPainter& canvas, const QRect& area) {
    const QRect box = FaceArea();
    const QRect target = area.intersected(box);
    if (ValueArea().isEmpty() || target.isEmpty())
        return;
    ShowValue();
    const qreal ratio = FValueBmp.Bitmap().devicePixelRatio();
    const QRect source = target.translated(-box.topLeft());
    canvas.drawImage(target, FValueBmp.Bitmap(),
                     QRect(source.topLeft() * ratio, source.size() * ratio));
}
