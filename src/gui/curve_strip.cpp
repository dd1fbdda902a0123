// TCurveStrip: the painter adapter and the strip widget.
#include "gui/curve_strip.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <cmath>
#include <vector>

#include "gui/qt_text.h"
#include "project/project.h"
#include "shell/messages.h"

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
    DrawAxes(painter);
    DrawLegend(painter);
}

QString AxisTimeText(double seconds)
{
    const long long s = std::llround(seconds);
    if (s >= 3600)
        return QStringLiteral("%1:%2:%3").arg(s / 3600).arg(s / 60 % 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

void TCurveStrip::DrawAxes(QPainter &painter)
{
    const TCurveAxes axes = CurveAxesOf(FProject, width(), 1, 100, 90);
    if (!axes.Valid)
        return;
    QFont font = painter.font();
    font.setPixelSize(std::clamp(height() / 4, 8, 11));
    painter.setFont(font);
    const QColor ink(60, 60, 60);
    painter.setPen(ink);
    const int text = painter.fontMetrics().height();
    for (const TCurveTick &tick : axes.Ticks) {
        painter.fillRect(tick.X, height() - 4, 1, 4, ink);
        painter.drawText(QRect(tick.X + 2, height() - text - 1, 80, text), Qt::AlignLeft | Qt::AlignBottom,
                         AxisTimeText(tick.Seconds));
    }
    // The grey curve's range: its top and bottom edges.
    const auto frames = [](long double v) { return QStringLiteral("%1%2").arg(v > 0 ? "+" : "").arg(double(v), 0, 'f', 2); };
    painter.drawText(QRect(3, 1, 120, text), Qt::AlignLeft | Qt::AlignTop, frames(axes.MaxShift));
    if (axes.MaxShift - axes.MinShift >= 0.1L)
        painter.drawText(QRect(3, height() - 2 * text - 1, 120, text), Qt::AlignLeft | Qt::AlignBottom,
                         frames(axes.MinShift));
}

void TCurveStrip::DrawLegend(QPainter &painter)
{
    if (!FProject.HasVideo())
        return;
    const std::pair<const char *, TRgb> entries[] = {{"WrdLegShift", curve_colours::kGrey},
                                                     {"WrdLegTrend", curve_colours::kCyan},
                                                     {"WrdLegSpline", curve_colours::kRed},
                                                     {"WrdLegCut", curve_colours::kDarkGreen},
                                                     {"WrdLegDShift", curve_colours::kBlue}};
    const QFontMetrics metrics = painter.fontMetrics();
    // Right to left, as many entries as leave two thirds of a narrow strip to the curve.
    std::vector<std::pair<int, size_t>> placed;
    int x = width() - 4;
    for (size_t i = std::size(entries); i-- > 0;) {
        x -= metrics.horizontalAdvance(Q(Msg(entries[i].first))) + 12;
        if (x < width() / 3)
            break;
        placed.emplace_back(x, i);
    }
    if (placed.empty())
        return;
    // A light field under the entries keeps them readable where the curve passes.
    const int left = placed.back().first - 3;
    painter.fillRect(left, 1, width() - 2 - left, metrics.height() + 2, QColor(255, 255, 255, 210));
    painter.setPen(QColor(60, 60, 60));
    for (const auto &[at, i] : placed) {
        painter.fillRect(at, 4, 7, 7, Colour(entries[i].second));
        painter.drawText(QPoint(at + 9, 3 + metrics.ascent()), Q(Msg(entries[i].first)));
    }
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
