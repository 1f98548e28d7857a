#pragma once
// Helpers for the widget tests: a shown host window, paint-event recording and pixels.
#include <QImage>
#include <QPaintEvent>
#include <QTest>
#include <QWidget>
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
