#include "widgets/AbLED.h"

#include <QEvent>
#include <QPainter>

void TLED::SetWidth(int v) {
    if (v >= 4 && v <= 80)
        SetProp(FWidth, v);
}

void TLED::SetHeight(int v) {
    if (v >= 4 && v <= 80)
        SetProp(FHeight, v);
}

// Arrow and diamond outlines inside the lamp's box.
QPolygon TLED::Outline() const {
    const QRect& r = FRect;
    const int midX = r.left() + r.width() / 2, midY = r.top() + r.height() / 2;
    const int nearLeft = r.left() + r.width() / 3, nearRight = r.right() - r.width() / 3;
    switch (FShape) {
    case sArrowLeft:
        return QPolygon({{r.left(), midY}, r.topRight(), r.bottomRight()});
    case sArrowRight:
        return QPolygon({{r.right(), midY}, r.topLeft(), r.bottomLeft()});
    case sArrowUp:
        return QPolygon({{midX, r.top()}, r.bottomLeft(), r.bottomRight()});
    case sArrowDown:
        return QPolygon({{midX, r.bottom()}, r.topLeft(), r.topRight()});
    case sDiamondLeft:
        return QPolygon(
            {{r.left(), midY}, {nearRight, r.top()}, {r.right(), midY}, {nearRight, r.bottom()}});
    case sDiamondRight:
        return QPolygon(
            {{r.right(), midY}, {nearLeft, r.top()}, {r.left(), midY}, {nearLeft, r.bottom()}});
    default:
        return QPolygon(r);
    }
}

void TLED::Draw(QPainter& canvas, bool Checked) const {
    if (FRect.isEmpty())
        return;
    const qreal ratio = canvas.device()->devicePixelRatio();
    TFace& face = FFaces[Checked ? 1 : 0];
    const QColor fill = ColorToQColor(Checked ? FColorOn : FColorOff);
    const QColor shadow = ColorToQColor(clBtnShadow), highlight = ColorToQColor(clBtnHighlight);
    if (face.Picture.size() != FRect.size() * ratio || face.Picture.devicePixelRatio() != ratio ||
        face.Fill != fill || face.Shadow != shadow || face.Highlight != highlight ||
        face.Shape != FShape) {
        face = {QImage(FRect.size() * ratio, QImage::Format_ARGB32_Premultiplied), fill, shadow,
                highlight, FShape};
        face.Picture.setDevicePixelRatio(ratio);
        face.Picture.fill(Qt::transparent);
        QPainter painter(&face.Picture);
        painter.translate(-FRect.topLeft());
        DrawShape(painter, face);
    }
    canvas.drawImage(FRect.topLeft(), face.Picture);
}

void TLED::DrawShape(QPainter& canvas, const TFace& face) const {
    canvas.setRenderHint(QPainter::Antialiasing);
    canvas.setPen(QPen(face.Shadow, 1));
    canvas.setBrush(face.Fill);
    const QRectF box = QRectF(FRect).adjusted(0.5, 0.5, -0.5, -0.5);
    if (FShape == sRound) {
        canvas.drawEllipse(box);
        const int penWidth = FRect.width() / 8, inset = FRect.width() / 5;
        if (penWidth > 0) {
            canvas.setPen(QPen(face.Highlight, penWidth));
            canvas.drawArc(QRectF(FRect.adjusted(inset, inset, -inset, -inset)), 90 * 16, 90 * 16);
        }
    } else if (FShape == sRectangle) {
        canvas.drawRoundedRect(box, 1, 1);
    } else {
        canvas.drawPolygon(Outline());
    }
}

TAbLED::TAbLED(QWidget* parent)
    : TAbBinGControl(parent), FLED(std::make_unique<TLED>()),
      FFont(std::make_unique<TFont>("Arial", -11)) {
    resize(73, 33);
    FLED->OnChange = [this](QObject* Sender) { ParamChange(Sender); };
    FFont->OnChange = [this](QObject* Sender) {
        FParentFont = false;
        ParamChange(Sender);
    };
}

TAbLED::~TAbLED() = default;

void TAbLED::SetLED_Position(TLEDPos v) {
    if (v == FLED_Position)
        return;
    FLED_Position = v;
    ParamChange(this);
}

void TAbLED::SetSpacing(int v) {
    if (v == FSpacing)
        return;
    FSpacing = v;
    ParamChange(this);
}

void TAbLED::SetParentFont(bool v) {
    if (v == FParentFont)
        return;
    FParentFont = v;
    ParamChange(this);
}

void TAbLED::ParamChange(QObject*) {
    Invalidate();
}

void TAbLED::changeEvent(QEvent* e) {
    if (FParentFont && (e->type() == QEvent::FontChange || e->type() == QEvent::PaletteChange))
        Invalidate();
    TAbBinGControl::changeEvent(e);
}

QFont TAbLED::CaptionFont() const {
    return FParentFont ? font() : FFont->ToQFont();
}

QColor TAbLED::CaptionColor() const {
    return FParentFont ? palette().color(QPalette::WindowText) : ColorToQColor(FFont->Color());
}

void TAbLED::StatusChanged() {
    FShownState = Checked();
    if (isVisible())
        RepaintValue(FLED->Rect(), false);
}

void TAbLED::Flash(bool status) {
    if (!isVisible() || InPaint())
        return;
    FShownState = status;
    RepaintValue(FLED->Rect(), false);
}

void TAbLED::Paint(QPainter& canvas) {
    int w = FLED->Width(), h = FLED->Height();
    if (FLED->Shape() == sRound)
        w = h = std::max(w, h);
    const int W = width(), H = height();
    QRect box;
    switch (FLED_Position) {
    case lpLeft:
        box = QRect(0, H / 2 - h / 2, w, h);
        break;
    case lpRight:
        box = QRect(W - w, H / 2 - h / 2, w, h);
        break;
    case lpTop:
        box = QRect(W / 2 - w / 2, 0, w, h);
        break;
    case lpBottom:
        box = QRect(W / 2 - w / 2, H - h, w, h);
        break;
    }
    FLED->SetRect(box);
    DrawCaption(canvas, box);
    FShownState = Checked();
}

void TAbLED::DrawCaption(QPainter& canvas, const QRect& box) {
    canvas.setFont(CaptionFont());
    canvas.setPen(CaptionColor());
    canvas.setBrush(Qt::NoBrush);
    const QStringList lines = Caption().split('|');
    const int lineHeight = TextExtent(canvas.font(), "X").height();
    const int blockHeight = lineHeight * int(lines.size());
    int top = 0;
    switch (FLED_Position) {
    case lpLeft:
    case lpRight:
        top = height() / 2 - blockHeight / 2;
        break;
    case lpTop:
        top = box.bottom() + 1 + FSpacing;
        break;
    case lpBottom:
        top = box.top() - FSpacing - blockHeight;
        break;
    }
    for (const QString& line : lines) {
        const int lineWidth = canvas.fontMetrics().horizontalAdvance(line);
        int x = 0;
        switch (FLED_Position) {
        case lpLeft:
            x = box.right() + 1 + FSpacing;
            break;
        case lpRight:
            x = box.left() - FSpacing - lineWidth;
            break;
        case lpTop:
        case lpBottom:
            x = width() / 2 - lineWidth / 2;
            break;
        }
        TextOut(canvas, x, top, line);
        top += lineHeight;
    }
}

void TAbLED::PaintValue(QPainter& canvas, const QRect&) {
    FLED->Draw(canvas, FShownState);
}
