#pragma once
// Helpers for the widget tests: a shown host window, paint-event recording and pixels.
#include "widgets/AbVInd.h"

#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>
#include <map>
#include <vector>

// Records the rectangles of the paint events that the watched widgets receive.
class TPaintRecorder : public QObject {
public:
    std::map<QObject*, std::vector<QRect>> Rects;

    void Watch(QWidget* w) { w->installEventFilter(this); }
    void Clear() { Rects.clear(); }
    const std::vector<QRect>& Of(QObject* w) { return Rects[w]; }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            Rects[watched].push_back(static_cast<QPaintEvent*>(e)->rect());
        return false;
    }
};

// A top-level window that has been shown and exposed, so repaints really paint.
inline void ShowAndWait(QWidget& window) {
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        qFatal("window not exposed");
    QCoreApplication::processEvents();
}

inline QImage Render(QWidget* w) {
    return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline bool IsColor(QRgb p, QColor c, int tolerance = 0) {
    return std::abs(qRed(p) - c.red()) <= tolerance &&
           std::abs(qGreen(p) - c.green()) <= tolerance &&
           std::abs(qBlue(p) - c.blue()) <= tolerance;
}

inline bool IsLime(QRgb p) {
    return qGreen(p) > 200 && qRed(p) < 80 && qBlue(p) < 80;
}

inline bool IsDark(QRgb p) {
    return qGray(p) < 80;
}

// Number of pixels in r for which pred holds.
template <class Pred> int CountPixels(const QImage& image, const QRect& r, Pred pred) {
    int n = 0;
    const QRect clipped = r.intersected(image.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y)
        for (int x = clipped.left(); x <= clipped.right(); ++x)
            n += pred(image.pixel(x, y)) ? 1 : 0;
    return n;
}

// The column ranges of r holding lime: one per glyph where glyphs do not touch.
inline std::vector<std::pair<int, int>> GlyphColumns(const QImage& image, const QRect& r) {
    std::vector<std::pair<int, int>> runs;
    bool inRun = false;
    for (int x = r.left(); x <= r.right(); ++x) {
        const bool lime = CountPixels(image, QRect(x, r.top(), 1, r.height()), IsLime) > 0;
        if (lime && !inRun)
            runs.push_back({x, x});
        if (lime)
            runs.back().second = x;
        inRun = lime;
    }
    return runs;
}

// The readout shows its whole value text inside the value box's face: a glyph for each
// character that drawText inks, each as wide, none cut at the face's edges.
inline ::testing::AssertionResult ShowsValueWhole(TAbValueInd* readout) {
    const QString text = readout->ValueStr();
    const QFont font = readout->FontValue()->ToQFont();
    const QFontMetrics metrics(font);
    QImage drawn(metrics.horizontalAdvance(text) + 20, metrics.height(), QImage::Format_RGB32);
    drawn.fill(Qt::black);
    QPainter painter(&drawn);
    painter.setFont(font);
    painter.setPen(QColor(0, 255, 0));
    painter.drawText(10, metrics.ascent(), text);
    painter.end();
    const auto whole = GlyphColumns(drawn, drawn.rect());
    const QImage image = Render(readout);
    const QRect face = readout->FaceArea();
    const auto shown = GlyphColumns(image, face);
    const std::string what = '"' + text.toStdString() + "\" ";
    if (shown.size() != whole.size())
        return ::testing::AssertionFailure()
               << what << shown.size() << " glyphs shown of " << whole.size();
    for (size_t i = 0; i < whole.size(); ++i) {
        const int expected = whole[i].second - whole[i].first,
                  got = shown[i].second - shown[i].first;
        if (std::abs(got - expected) > 1)
            return ::testing::AssertionFailure() << what << "glyph " << i << " is " << got + 1
                                                 << " px wide, drawn " << expected + 1;
    }
    if (shown.front().first <= face.left() || shown.back().second >= face.right())
        return ::testing::AssertionFailure() << what << "touches the face's edge";
    if (CountPixels(image, image.rect(), IsLime) != CountPixels(image, face, IsLime))
        return ::testing::AssertionFailure() << what << "is drawn outside the face";
    return ::testing::AssertionSuccess();
}
