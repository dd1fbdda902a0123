// TCurveStrip: the correction curve strip below the picture, painted by the core's curve
// drawing through a QPainter adapter of its canvas; a click goes to the frame under it.
#pragma once

#include <QWidget>

#include "project/curve_drawing.h"

class QPainter;

namespace tessaly {
class TProject;
}

namespace tessaly::gui {

// The core's canvas on a QPainter.
class TPainterCanvas : public TCurveCanvas {
public:
    explicit TPainterCanvas(QPainter &painter) : FPainter(painter) {}
    void FillRect(int x, int y, int width, int height, TRgb colour) override;
    void Polyline(const std::vector<TCanvasPoint> &points, TRgb colour) override;
    void FillSquare(int x, int y, int half, TRgb colour) override;

private:
    QPainter &FPainter;
};

class TCurveStrip : public QWidget {
    Q_OBJECT
public:
    explicit TCurveStrip(const TProject &project, QWidget *parent = nullptr);
    QSize sizeHint() const override { return QSize(400, 64); }
    // The frame under x (the inverse of the drawing's mapping at zoom 100), -1 without video.
    int32_t FrameAt(int x) const;

signals:
    void FrameClicked(int32_t frame);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    // The time under the strip and the shift curve's range at its edges.
    void DrawAxes(QPainter &painter);
    // What the colours mean, in the top right corner.
    void DrawLegend(QPainter &painter);

    const TProject &FProject;
};

// A time as the axes write it: "m:ss", or "h:mm:ss" from an hour on.
QString AxisTimeText(double seconds);

} // namespace tessaly::gui
