#pragma once
// The round meter's scale settings, and the rotation its drawing is built on.
#include "widgets/GPersistent.h"

#include <QPoint>
#include <QStringList>

// Clockwise rotation of p about c by `angle` degrees, on screen coordinates.
QPoint RotatePoint(QPoint p, QPoint c, float angle);

// The scale of the round meter: labels, ticks and the scale line.
class TScaleSettings : public TAbPersistent {
public:
    TScaleSettings();

    TColor Color() const { return FColor; }
    TColor PointerColor() const { return FPointerColor; }
    TFont* Font() { return &FFont; }
    int Steps() const { return FSteps; }
    int SubSteps() const { return FSubSteps; }
    bool DrawLine() const { return FDrawLine; }
    QString ValueFormat() const { return FValueFormat; }
    QString ValueFormatLog() const { return FValueFormatLog; }
    bool PosLeftTop() const { return FPosLeftTop; }
    bool LogScale() const { return FLogScale; }
    int LogSteps() const { return FLogSteps; }
    void SetColor(TColor v) { SetProp(FColor, v); }
    void SetPointerColor(TColor v) { SetProp(FPointerColor, v); }
    void SetSteps(int v);
    void SetSubSteps(int v);
    void SetDrawLine(bool v);
    void SetValueFormat(const QString& v) { SetProp(FValueFormat, v); }
    void SetValueFormatLog(const QString& v) { SetProp(FValueFormatLog, v); }
    void SetPosLeftTop(bool v) { SetProp(FPosLeftTop, v); }
    void SetLogScale(bool v) { SetProp(FLogScale, v); }

    int sl1() const { return Fsl1; }
    int sl2() const { return Fsl2; }
    int PenW1() const { return FPenW1; }
    int Spacing() const { return FSpacing; }
    QString Text() const { return FText; }
    int TextW() const { return FTextW; }
    int TextH() const { return FTextH; }
    // Scale-line arc: box corners, then the arc's end and start points.
    const QPoint* LinePos() const { return FLinePos; }

    // Builds the label list and measures it.
    void CalcRSize(float ValueFrom, float ValueTo);
    // Draws labels and ticks around r; r becomes the box of the tick circle.
    void RoundScala(QPainter& canvas, TRect& r, float AlphaFrom, float Alpha);

private:
    void DrawMinorTicks(QPainter& canvas, QPoint c, const QPoint* pts, float base, float m);
    QStringList Labels() const;

    TColor FColor = clBlack, FPointerColor = clLime;
    TFont FFont;
    int FSteps = 5, FSubSteps = 2;
    bool FDrawLine = true;
    QString FValueFormat = "##0", FValueFormatLog = "0e-0";
    bool FPosLeftTop = false, FLogScale = false;
    int FLogSteps = 0;
    int Fsl1 = 14, Fsl2 = 7, FPenW1 = 2, FSpacing = 4;
    QString FText;
    int FTextW = 0, FTextH = 0;
    QPoint FLinePos[4];
};
