// TPainterCanvas: rectangles, lines and marker squares of the curve drawing in Qt.
#include "gui/painter_canvas.h"

#include <QPainter>
#include <QPolygon>

namespace tessaly::gui {

namespace {
QColor ColourOf(TRgb c)
{
    return QColor(c.R, c.G, c.B);
}
} // namespace

void TPainterCanvas::FillRect(int x, int y, int width, int height, TRgb colour)
{
    FPainter.fillRect(x, y, width, height, ColourOf(colour));
}

void TPainterCanvas::Polyline(const std::vector<TCanvasPoint> &points, TRgb colour)
{
    if (points.size() < 2)
        return;
    QPolygon polygon;
    polygon.reserve(int(points.size()));
    for (const TCanvasPoint &p : points)
        polygon << QPoint(p.X, p.Y);
    FPainter.setPen(QPen(ColourOf(colour), 0));
    FPainter.drawPolyline(polygon);
}

void TPainterCanvas::FillSquare(int x, int y, int half, TRgb colour)
{
    FPainter.fillRect(x - half, y - half, 2 * half + 1, 2 * half + 1, ColourOf(colour));
}

} // namespace tessaly::gui
