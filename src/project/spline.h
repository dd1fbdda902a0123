// TSpline: a cubic spline through a list of plane points, parameterised by chord length,
// open (natural end conditions) or closed (periodic), computed in long double.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace tessaly {

// Flags of a spline point.
enum : uint8_t {
    spDirection = 1,   // a second knot at 0.1 along Angle follows the point
    spDouble = 2,      // the point is entered twice (a corner); wins over spDirection
};

struct TSplinePoint {
    long double X = 0;
    long double Y = 0;
    long double Angle = 0;   // radians; read only with spDirection
    uint8_t Flags = 0;
};

struct TExtPoint {
    long double X = 0;
    long double Y = 0;
};

// Where a walk along an open curve from left to right stands (see TSpline::YAtX).
struct TSplineWalk {
    size_t Interval = 0;
    size_t Fold = 0;
};

TExtPoint MakePoint(long double x, long double y);
TSplinePoint MakeSplinePoint(uint8_t flags, long double x, long double y, long double angle);

class TSpline {
public:
    TSpline() = default;
    ~TSpline() { Clear(); }
    TSpline(const TSpline &) = delete;
    TSpline &operator=(const TSpline &) = delete;

    // Frees points, knots and coefficients; the closed setting stays.
    void Clear();
    // Appends a copy of the point; returns its index (the old point count).
    int32_t AddPoint(const TSplinePoint &point);
    // Switches between the open and the closed (periodic) curve.
    void SetClosed(bool closed);
    bool Closed() const { return FClosed; }
    // The curve at parameter t (0 = first knot, 1 = last knot, clamped to [0, 1]);
    // calculates the coefficients first when the points changed. (0, 0) without points.
    TExtPoint GetPoint(long double t);
    // Calculates the coefficients when the points changed since the last calculation.
    void Prepare();
    // GetPoint of a prepared spline, in logarithmic time of the knot count; a spline
    // changed since Prepare answers as if it had no points.
    TExtPoint PointAt(long double t) const;
    // Room for `count` points, so that adding them does not move the array again.
    void Reserve(int32_t count);
    // True when the prepared curve is open and its knots' X rise: then, outside the X
    // ranges of the intervals along which X does not rise throughout (where the curve
    // folds back), each X within the knots' range has exactly one point.
    bool XRises() const { return FXRises; }
    // The Y of the one point whose X is `x` on such a curve, X found to within
    // `tolerance`; calls with rising x walk the knots once in all, a first call (or one
    // with a smaller x) finds its knot in logarithmic time. False (y untouched) for any other curve, an x outside
    // the knots' X range or within the X range of a fold.
    bool YAtX(long double x, long double tolerance, TSplineWalk &walk, long double &y) const;

    int32_t PointCount() const { return FPointCount; }
    // Room for points in the array (4 at first, then doubling; shrinks only on Clear).
    int32_t PointCapacity() const { return FCapacity; }
    // Knots of the last calculation (0 when not calculated).
    int32_t KnotCount() const { return FKnotCount; }
    bool Ready() const { return FReady; }
    bool Dirty() const { return FDirty; }
    // Curve parameter (accumulated chord length) of knot i of the last calculation, 0
    // out of range.
    long double KnotT(int32_t i) const;
    // How many times the coefficients were calculated since construction.
    int64_t CalculationCount() const { return FCalculations; }

private:
    // Coefficients of one coordinate: value on interval i is ((A u + B) u + C) u + D, u = s - T[i].
    struct TCoefficients {
        std::vector<long double> A, B, C, D;
    };

    void Invalidate();
    void FreeKnots();
    void Calculate();
    void SolveOpen(const std::vector<long double> &v, TCoefficients &k) const;
    void SolveClosed(const std::vector<long double> &v, TCoefficients &k) const;
    void FillCoefficients(const std::vector<long double> &v, const std::vector<long double> &m,
                          TCoefficients &k) const;
    // The knot interval of parameter s as Evaluate takes it: the index of the first
    // knot past s (0 before the first, the knot count after the last).
    size_t KnotAfter(long double s) const;
    long double Evaluate(const TCoefficients &k, size_t after, long double s) const;
    bool IntervalRises(size_t i) const;
    // The lowest and highest X along interval i.
    void IntervalXRange(size_t i, long double &lo, long double &hi) const;
    void FindFolds();

    std::unique_ptr<TSplinePoint[]> FPoints;
    int32_t FPointCount = 0;
    int32_t FCapacity = 0;
    std::vector<long double> FKnotX, FKnotY, FKnotT;
    TCoefficients FCoefX, FCoefY;
    int32_t FKnotCount = 0;
    bool FReady = false;
    bool FClosed = false;
    bool FDirty = false;
    bool FXRises = false;
    // The X ranges of the folds, merged where they overlap, in rising order.
    std::vector<std::pair<long double, long double>> FFolds;
    int64_t FCalculations = 0;
};

} // namespace tessaly
