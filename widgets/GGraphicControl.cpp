#include "widgets/GGraphicControl.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

TAbGraphicControl::TAbGraphicControl(QWidget* parent) : QWidget(parent) {}

void TAbGraphicControl::BeginUpdate() {
    ++FUpdateCount;
}

void TAbGraphicControl::EndUpdate() {
    FUpdateCount = std::max(0, FUpdateCount - 1);
    if (FUpdateCount == 0)
        UpdateParams();
}

void TAbGraphicControl::UpdateParams() {
    if (FUpdateCount == 0)
        ParamChange(this);
}

void TAbGraphicControl::ParamChange(QObject*) {}

void TAbGraphicControl::Loaded() {
    FLoading = false;
}

void TAbGraphicControl::Invalidate() {
    FCacheValid = false;
    if (!FLoading)
        CalcSize();
    update();
}

void TAbGraphicControl::Paint(QPainter&) {}

void TAbGraphicControl::PaintValue(QPainter&, const QRect&) {}

void TAbGraphicControl::PaintDone() {}

void TAbGraphicControl::WMFlash(quint32, qint32) {}

QImage TAbGraphicControl::NewBitmap(QSize size, QImage::Format format) const {
    const qreal ratio = devicePixelRatioF();
    QImage bitmap(size * ratio, format);
    bitmap.setDevicePixelRatio(ratio);
    return bitmap;
}

QImage TAbGraphicControl::CopyFromCache(const QRect& r, QImage::Format format) const {
    const qreal ratio = FCache.devicePixelRatio();
    QImage part =
        FCache.copy(QRect((r.topLeft() * ratio), r.size() * ratio)).convertToFormat(format);
    part.setDevicePixelRatio(ratio);
    return part;
}

void TAbGraphicControl::RepaintValue(const QRect& r, bool opaque) {
    if (!isVisible() || FInPaint || r.isEmpty())
        return;
    const bool setOpaque = opaque && !testAttribute(Qt::WA_OpaquePaintEvent);
    if (setOpaque)
        setAttribute(Qt::WA_OpaquePaintEvent, true);
    FValueRect = r;
    repaint(r);
    FValueRect = QRect();
    if (setOpaque)
        setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void TAbGraphicControl::RebuildCache() {
    FInPaint = true;
    CalcSize();
    if (FCache.size() != size() * devicePixelRatioF())
        FCache = NewBitmap(size());
    FCache.fill(Qt::transparent);
    {
        QPainter canvas(&FCache);
        Paint(canvas);
    }
    FCacheValid = true;
    PaintDone();
    FInPaint = false;
}

bool TAbGraphicControl::event(QEvent* e) {
    if (e->type() == TFlashMessage::EventType()) {
        const auto* message = static_cast<TFlashMessage*>(e);
        WMFlash(message->WParam, message->LParam);
        return true;
    }
    return QWidget::event(e);
}

void TAbGraphicControl::paintEvent(QPaintEvent* e) {
    const bool valueOnly = FCacheValid && !FValueRect.isEmpty() && FValueRect.contains(e->rect());
    if (!valueOnly && (!FCacheValid || FCache.size() != size() * devicePixelRatioF()))
        RebuildCache();
    QPainter canvas(this);
    if (!valueOnly)
        canvas.drawImage(0, 0, FCache);
    PaintValue(canvas, e->rect());
}

void TAbGraphicControl::resizeEvent(QResizeEvent* e) {
    FCacheValid = false;
    QWidget::resizeEvent(e);
}

void TAbGraphicControl::showEvent(QShowEvent* e) {
    Invalidate();
    QWidget::showEvent(e);
}
