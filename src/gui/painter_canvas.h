// TPainterCanvas: the curve drawing's canvas over a QPainter.
#pragma once

#include "project/curve_drawing.h"

class QPainter;

namespace tessaly::gui {

class TPainterCanvas : public TCurveCanvas {
public:
    explicit TPainterCanvas(QPainter &painter) : FPainter(painter) {}
    void FillRect(int x, int y, int width, int height, TRgb colour) override;
    void Polyline(const std::vector<TCanvasPoint> &points, TRgb colour) override;
    void FillSquare(int x, int y, int half, TRgb colour) override;

private:
    QPainter &FPainter;
};

} // namespace tessaly::gui
