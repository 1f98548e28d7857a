#include "widgets/GPersistent.h"

#include "core/Numbers.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cstdlib>

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
