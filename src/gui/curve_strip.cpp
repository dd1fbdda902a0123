// TCurveStrip: the painter adapter and the strip widget.
#include "gui/curve_strip.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <cmath>

#include "project/project.h"

namespace tessaly::gui {

namespace {
QColor Colour(TRgb c) { return QColor(c.R, c.G, c.B); }
} // namespace

void TPainterCanvas::FillRect(int x, int y, int width, int height, TRgb colour)
{
    FPainter.fillRect(x, y, width, height, Colour(colour));
}

void TPainterCanvas::Polyline(const std::vector<TCanvasPoint> &points, TRgb colour)
{
    QPolygon line;
    line.reserve(int(points.size()));
    for (const TCanvasPoint &p : points)
        line << QPoint(p.X, p.Y);
    FPainter.setPen(QPen(Colour(colour), 1));
    FPainter.drawPolyline(line);
}

void TPainterCanvas::FillSquare(int x, int y, int half, TRgb colour)
{
    FPainter.fillRect(x - half, y - half, 2 * half + 1, 2 * half + 1, Colour(colour));
}

TCurveStrip::TCurveStrip(const TProject &project, QWidget *parent) : QWidget(parent), FProject(project)
{
    setObjectName(QStringLiteral("CurveStrip"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumHeight(40);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TCurveStrip::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    TPainterCanvas canvas(painter);
    DrawCorrectionCurve(FProject, canvas, width(), height(), 1, 100);
}

int32_t TCurveStrip::FrameAt(int x) const
{
    return CurveFrameAt(FProject.Position(), FProject.FrameCount(), 100, x, width());
}

void TCurveStrip::mousePressEvent(QMouseEvent *event)
{
    const int32_t frame = FrameAt(int(event->position().x()));
    if (event->button() == Qt::LeftButton && frame >= 0 && isEnabled())
        emit FrameClicked(frame);
}

} // namespace tessaly::gui
