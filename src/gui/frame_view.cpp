// TFrameView: conversion of frame images and their painting.
#include "gui/frame_view.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPainter>
#include <QWheelEvent>

#include "media/common/io_image.h"

namespace tessaly::gui {

namespace {
const QColor kBackground(64, 64, 64);
}

QImage FrameToImage(const TIOImage &image)
{
    const int w = int(image.Width()), h = int(image.Height());
    QImage out(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        QRgb *dst = reinterpret_cast<QRgb *>(out.scanLine(y));
        const uint8_t *src = image.Row(uint32_t(y));
        if (image.PixelFormat() == pf24Bit) {
            for (int x = 0; x < w; ++x, src += 3)
                dst[x] = qRgb(src[2], src[1], src[0]);   // stored blue, green, red
        } else {
            for (int x = 0; x < w; ++x) {
                TIOColor c = image.PixelColor(x, y);
                dst[x] = qRgb(c.R, c.G, c.B);
            }
        }
    }
    return out;
}

TFrameView::TFrameView(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FrameView"));
    setAcceptDrops(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(160, 120);
    // A click takes the keys away from a field: the arrows step through the video again.
    setFocusPolicy(Qt::ClickFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void TFrameView::SetFrame(const TIOImage &image)
{
    SetFrame(FrameToImage(image));
}

void TFrameView::SetFrame(const QImage &image)
{
    const QSize old = FFrame.size();
    FFrame = image;
    FScaledValid = false;
    if (FFrame.size() != old)
        UpdateLeastSize();
    update();
}

void TFrameView::SetOutside(int width, int height)
{
    const QSize old = FFrame.size();
    FFrame = QImage(std::max(1, width), std::max(1, height), QImage::Format_RGB32);
    FFrame.fill(kBackground);
    FScaledValid = false;
    if (FFrame.size() != old)
        UpdateLeastSize();
    update();
}

void TFrameView::Clear()
{
    FFrame = QImage();
    FScaledValid = false;
    UpdateLeastSize();
    update();
}

void TFrameView::UpdateLeastSize()
{
    if (FFrame.isNull() || FZoom == 0)
        setMinimumSize(160, 120);
    else
        setMinimumSize(std::max(160, FFrame.width() * FZoom / 100), std::max(120, FFrame.height() * FZoom / 100));
}

void TFrameView::SetZoom(int percent)
{
    FZoom = std::max(0, percent);
    FScaledValid = false;
    UpdateLeastSize();
    updateGeometry();
    update();
}

QSize TFrameView::sizeHint() const
{
    if (FFrame.isNull() || FZoom == 0)
        return QSize(480, 360);
    return QSize(FFrame.width() * FZoom / 100, FFrame.height() * FZoom / 100);
}

QRect TFrameView::PictureRect() const
{
    if (FFrame.isNull())
        return QRect();
    QSize size(FFrame.width() * FZoom / 100, FFrame.height() * FZoom / 100);
    if (FZoom == 0)
        size = FFrame.size().scaled(this->size(), Qt::KeepAspectRatio);
    size = size.expandedTo(QSize(1, 1));
    return QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
}

void TFrameView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QRect target = PictureRect();
    painter.fillRect(rect(), palette().color(QPalette::Window).darker(140));
    if (target.isEmpty())
        return;
    const qreal ratio = devicePixelRatioF();
    QSize device(qRound(target.width() * ratio), qRound(target.height() * ratio));
    if (!FScaledValid || FScaledSize != device) {
        FScaled = device == FFrame.size() ? FFrame
                                          : FFrame.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        FScaled.setDevicePixelRatio(ratio);
        FScaledSize = device;
        FScaledValid = true;
    }
    painter.drawImage(target.topLeft(), FScaled);
}

void TFrameView::mousePressEvent(QMouseEvent *event)
{
    emit Clicked();
    QWidget::mousePressEvent(event);
}

void TFrameView::wheelEvent(QWheelEvent *event)
{
    FWheel += event->angleDelta().y();
    const int steps = FWheel / 120;
    FWheel -= steps * 120;
    if (steps != 0) {
        if (event->modifiers() & Qt::ControlModifier)
            emit WheelZoom(steps);
        else
            emit WheelSteps(steps);
    }
    event->accept();
}

void TFrameView::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TFrameView::dropEvent(QDropEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile()) {
        emit FileDropped(urls.first().toLocalFile());
        event->acceptProposedAction();
    }
}

} // namespace tessaly::gui
