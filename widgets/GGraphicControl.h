#pragma once
// The base of every instrument: a widget that paints itself, with the flash message.
#include "widgets/GTypes.h"

#include <QEvent>
#include <QImage>
#include <QRect>
#include <QString>
#include <QWidget>
#include <functional>

class QPainter;

// WM_FLASH: the flash message (user message base 1024 + 100), WParam the tick counter,
// LParam the phase. Delivered with QCoreApplication::sendEvent on the UI thread.
constexpr int WM_FLASH = 1024 + 100;

class TFlashMessage : public QEvent {
public:
    static QEvent::Type EventType() { return QEvent::Type(QEvent::User + WM_FLASH); }
    TFlashMessage(quint32 wParam, qint32 lParam)
        : QEvent(EventType()), WParam(wParam), LParam(lParam) {}
    quint32 WParam;
    qint32 LParam;
};

// A control that paints itself: the full picture is kept in a cache rebuilt only on a
// full repaint; a value update repaints its own small rectangle alone.
class TAbGraphicControl : public QWidget {
public:
    explicit TAbGraphicControl(QWidget* parent);

    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return FUpdateCount; }
    // End of loading: the owning window has applied every property.
    virtual void Loaded();
    bool Loading() const { return FLoading; }
    // Asks for a full repaint (layout, dial, captions) at the next paint.
    void Invalidate();
    virtual QString Hint() const { return FHint; }

protected:
    virtual void UpdateParams();
    virtual void ParamChange(QObject* Sender);
    // Size step run before every full repaint.
    virtual void CalcSize() {}
    // Full picture, drawn into the cache.
    virtual void Paint(QPainter& canvas);
    // The changing part (pointer, number, lamp), drawn over the cache; area is the part
    // of the control being repainted.
    virtual void PaintValue(QPainter& canvas, const QRect& area);
    // Runs after the cache has been rebuilt (captures of it, the first value drawing).
    virtual void PaintDone();
    virtual void WMFlash(quint32 WParam, qint32 LParam);
    // Synchronous repaint of just r, drawing PaintValue alone; `opaque` when PaintValue
    // covers r completely, so nothing behind the control needs repainting.
    void RepaintValue(const QRect& r, bool opaque);
    bool InPaint() const { return FInPaint; }
    // An off-screen bitmap at the widget's pixel ratio; opaque ones draw faster.
    QImage NewBitmap(QSize size, QImage::Format format = QImage::Format_ARGB32_Premultiplied) const;
    // A copy of part of the cached full picture.
    QImage CopyFromCache(const QRect& r, QImage::Format format) const;

    template <class F, class... A> void Raise(const std::function<F>& event, A&&... args) {
        if (event && !FLoading)
            event(std::forward<A>(args)...);
    }

    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;

    mutable QString FHint;

private:
    void RebuildCache();

    int FUpdateCount = 0;
    bool FLoading = true;
    QImage FCache;
    bool FCacheValid = false;
    bool FInPaint = false;
    QRect FValueRect;
};
