#pragma once
// The base of the settings objects, the font they keep, and text placement.
#include "widgets/GColors.h"
#include "widgets/GTypes.h"

#include <QFont>
#include <QObject>
#include <QSize>
#include <QString>
#include <optional>

class QPainter;

// Base of every settings group: setters store a changed value and call Change.
class TAbPersistent : public QObject {
public:
    TNotifyEvent OnChange;

    virtual void Change();
    virtual void ChangeObject(QObject* Sender);

protected:
    template <class T> void SetProp(T& field, const T& value) {
        if (field == value)
            return;
        field = value;
        Change();
    }
};

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = TSet<TFontStyle>;

// A font as the widgets keep it: face name, character height in pixels (negative, as
// in the forms) or cell height (positive), styles and colour.
class TFont : public TAbPersistent {
public:
    TFont(const QString& name, int height, TFontStyles style = {}, TColor color = clWindowText);

    QString Name() const { return FName; }
    int Height() const { return FHeight; }
    TFontStyles Style() const { return FStyle; }
    TColor Color() const { return FColor; }
    void SetName(const QString& v) { SetProp(FName, v); }
    void SetHeight(int v) { SetProp(FHeight, v); }
    void SetSize(int points); // at 96 dpi
    void SetStyle(TFontStyles v) { SetProp(FStyle, v); }
    void SetColor(TColor v) { SetProp(FColor, v); }
    void Assign(const TFont& other);
    void Change() override;

    QFont ToQFont() const;

private:
    mutable std::optional<QFont> FQFont; // built on first use after a change
    QString FName;
    int FHeight;
    TFontStyles FStyle;
    TColor FColor;
};

// Text placement on the canvas: x, y is the top-left of the text cell.
void TextOut(QPainter& canvas, int x, int y, const QString& text);
QSize TextExtent(const QFont& font, const QString& text);
