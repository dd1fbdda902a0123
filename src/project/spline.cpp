// TSpline: chord-length cubic spline, natural (open) or periodic (closed), in long double.
#include "project/spline.h"

#include <algorithm>
#include <cmath>

namespace tessaly {

namespace {

// 1/6 as the extended constant the coefficients use.
constexpr long double kSixth = 0.16666666666666666667L;
// Interval lengths below this (in magnitude) are replaced by it, so that coincident
// knots never divide by zero.
constexpr long double kMinInterval = 1e-10L;

long double Guard(long double v)
{
    return std::fabs(v) >= kMinInterval ? v : kMinInterval;
}

} // namespace

TExtPoint MakePoint(long double x, long double y)
{
    return TExtPoint{x, y};
}

TSplinePoint MakeSplinePoint(uint8_t flags, long double x, long double y, long double angle)
{
    TSplinePoint p;
    p.X = x;
    p.Y = y;
    p.Angle = angle;
    p.Flags = flags;
    return p;
}

void TSpline::Clear()
{
    FPoints.reset();
    FPointCount = 0;
    FCapacity = 0;
    FreeKnots();
    FReady = false;
    FDirty = false;
}

void TSpline::FreeKnots()
{
    for (auto *a : {&FKnotX, &FKnotY, &FKnotT, &FCoefX.A, &FCoefX.B, &FCoefX.C, &FCoefX.D,
                    &FCoefY.A, &FCoefY.B, &FCoefY.C, &FCoefY.D}) {
        a->clear();
        a->shrink_to_fit();
    }
    FKnotCount = 0;
}

void TSpline::Invalidate()
{
    if (FDirty)
        return;
    FDirty = true;
    FreeKnots();
    FReady = false;
}

void TSpline::Reserve(int32_t count)
{
    if (count <= FCapacity)
        return;
    auto grown = std::make_unique<TSplinePoint[]>(static_cast<size_t>(count));
    std::copy(FPoints.get(), FPoints.get() + FPointCount, grown.get());
    FPoints = std::move(grown);
    FCapacity = count;
}

int32_t TSpline::AddPoint(const TSplinePoint &point)
{
    // Room doubles (4, 8, 16 ...), so a curve of n points is stored in time linear in n.
    if (FPointCount == FCapacity)
        Reserve(FCapacity == 0 ? 4 : 2 * FCapacity);
    FPoints[static_cast<size_t>(FPointCount)] = point;
    Invalidate();
    return FPointCount++;
}

void TSpline::SetClosed(bool closed)
{
    if (closed == FClosed)
        return;
    FClosed = closed;
    Invalidate();
}

void TSpline::Calculate()
{
    int32_t n = FPointCount + (FClosed ? 1 : 0);
    for (int32_t i = 0; i < FPointCount; ++i)
        if (FPoints[static_cast<size_t>(i)].Flags & (spDirection | spDouble))
            ++n;
    FKnotCount = n;
    for (auto *a : {&FKnotX, &FKnotY, &FKnotT, &FCoefX.A, &FCoefX.B, &FCoefX.C, &FCoefX.D,
                    &FCoefY.A, &FCoefY.B, &FCoefY.C, &FCoefY.D})
        a->assign(static_cast<size_t>(n), 0.0L);
    ++FCalculations;

    size_t k = 0;
    for (int32_t i = 0; i < FPointCount; ++i) {
        const TSplinePoint &p = FPoints[static_cast<size_t>(i)];
        FKnotX[k] = p.X;
        FKnotY[k] = p.Y;
        ++k;
        if (p.Flags & spDouble) {
            FKnotX[k] = p.X;
            FKnotY[k] = p.Y;
            ++k;
        } else if (p.Flags & spDirection) {
            FKnotX[k] = p.X + std::cos(p.Angle) * 0.1L;
            FKnotY[k] = p.Y + std::sin(p.Angle) * 0.1L;
            ++k;
        }
    }
    if (FClosed) {
        FKnotX[k] = FPoints[0].X;
        FKnotY[k] = FPoints[0].Y;
    }

    FDirty = false;
    FXRises = false;
    FReady = FClosed ? n > 2 : n > 1;
    if (!FReady)
        return;

    FKnotT[0] = 0;
    for (size_t i = 1; i < static_cast<size_t>(n); ++i) {
        long double dx = FKnotX[i] - FKnotX[i - 1];
        long double dy = FKnotY[i] - FKnotY[i - 1];
        FKnotT[i] = FKnotT[i - 1] + std::sqrt(dx * dx + dy * dy);
    }
    if (FClosed) {
        SolveClosed(FKnotX, FCoefX);
        SolveClosed(FKnotY, FCoefY);
    } else {
        SolveOpen(FKnotX, FCoefX);
        SolveOpen(FKnotY, FCoefY);
        FindFolds();
    }
}

void TSpline::FindFolds()
{
    FFolds.clear();
    const size_t n = static_cast<size_t>(FKnotCount);
    FXRises = true;
    for (size_t i = 0; FXRises && i + 1 < n; ++i)
        FXRises = FKnotX[i] < FKnotX[i + 1];
    if (!FXRises)
        return;
    for (size_t i = 0; i + 1 < n; ++i) {
        if (IntervalRises(i))
            continue;
        std::pair<long double, long double> range;
        IntervalXRange(i, range.first, range.second);
        FFolds.push_back(range);
    }
    std::sort(FFolds.begin(), FFolds.end());
    size_t kept = 0;
    for (size_t i = 0; i < FFolds.size(); ++i) {
        if (kept > 0 && FFolds[i].first <= FFolds[kept - 1].second)
            FFolds[kept - 1].second = std::max(FFolds[kept - 1].second, FFolds[i].second);
        else
            FFolds[kept++] = FFolds[i];
    }
    FFolds.resize(kept);
}

void TSpline::IntervalXRange(size_t i, long double &lo, long double &hi) const
{
    const long double a = FCoefX.A[i], b = FCoefX.B[i], c = FCoefX.C[i], d = FCoefX.D[i];
    const long double h = FKnotT[i + 1] - FKnotT[i];
    auto x = [&](long double u) { return ((a * u + b) * u + c) * u + d; };
    lo = std::min(x(0), x(h));
    hi = std::max(x(0), x(h));
    // The turning points: roots of X' = 3A u^2 + 2B u + C inside the interval.
    std::vector<long double> roots;
    if (a != 0) {
        const long double disc = b * b - 3 * a * c;
        if (disc >= 0) {
            const long double r = std::sqrt(disc);
            roots = {(-b - r) / (3 * a), (-b + r) / (3 * a)};
        }
    } else if (b != 0) {
        roots = {-c / (2 * b)};
    }
    for (long double u : roots)
        if (u > 0 && u < h) {
            lo = std::min(lo, x(u));
            hi = std::max(hi, x(u));
        }
}

bool TSpline::IntervalRises(size_t i) const
{
    // X' = 3A u^2 + 2B u + C must stay positive over [0, h]: at both ends, and at the
    // turning point of the parabola when it lies inside.
    const long double a = FCoefX.A[i], b = FCoefX.B[i], c = FCoefX.C[i];
    const long double h = FKnotT[i + 1] - FKnotT[i];
    if (!(h > 0) || !(c > 0) || !((3 * a * h + 2 * b) * h + c > 0))
        return false;
    if (a != 0) {
        const long double turn = -b / (3 * a);
        if (turn > 0 && turn < h && !(c - b * b / (3 * a) > 0))
            return false;
    }
    return true;
}

void TSpline::SolveOpen(const std::vector<long double> &v, TCoefficients &k) const
{
    const std::vector<long double> &t = FKnotT;
    size_t n = v.size();
    std::vector<long double> m(n, 0.0L);   // second derivatives; M[0] = M[n-1] = 0
    if (n > 2) {
        // Thomas algorithm over the inner knots 1 .. n-2; `factor` holds the
        // elimination factors, m the eliminated right sides and then the solution.
        std::vector<long double> factor(n, 0.0L);
        for (size_t j = 1; j + 1 < n; ++j) {
            long double h0 = Guard(t[j] - t[j - 1]);
            long double h1 = Guard(t[j + 1] - t[j]);
            long double diag = 2 * (h0 + h1);
            long double rhs = 6 * ((v[j + 1] - v[j]) / h1 - (v[j] - v[j - 1]) / h0);
            long double pivot;
            if (j == 1) {
                pivot = Guard(diag);
                m[j] = rhs / pivot;
            } else {
                pivot = diag - h0 * factor[j - 1];
                m[j] = (rhs - h0 * m[j - 1]) / pivot;
            }
            factor[j] = h1 / pivot;
        }
        for (size_t j = n - 3; j >= 1; --j)
            m[j] -= factor[j] * m[j + 1];
    }
    FillCoefficients(v, m, k);
}

void TSpline::SolveClosed(const std::vector<long double> &v, TCoefficients &k) const
{
    const std::vector<long double> &t = FKnotT;
    size_t n = v.size();
    size_t rows = n - 1;   // unknowns M[0] .. M[n-2]; M[n-1] repeats M[0]
    size_t last = rows - 1;
    std::vector<long double> a(rows), b(rows), c(rows), r(rows);
    for (size_t j = 0; j < rows; ++j) {
        long double h0 = Guard(j == 0 ? t[n - 1] - t[n - 2] : t[j] - t[j - 1]);
        long double h1 = Guard(t[j + 1] - t[j]);
        long double before = j == 0 ? v[n - 2] : v[j - 1];
        a[j] = h0;
        b[j] = 2 * (h0 + h1);
        c[j] = h1;
        r[j] = 6 * ((v[j + 1] - v[j]) / h1 - (v[j] - before) / h0);
    }
    // Forward: M[j] = p[j] + q[j] * M[j+1] + s[j] * M[last] for j < last.
    std::vector<long double> p(rows, 0.0L), q(rows, 0.0L), s(rows, 0.0L);
    for (size_t j = 0; j < last; ++j) {
        if (j == 0) {
            p[0] = r[0] / b[0];
            q[0] = -c[0] / b[0];
            s[0] = -a[0] / b[0];
        } else {
            long double pivot = b[j] + a[j] * q[j - 1];
            p[j] = (r[j] - a[j] * p[j - 1]) / pivot;
            q[j] = -c[j] / pivot;
            s[j] = -a[j] * s[j - 1] / pivot;
        }
    }
    // Backward: every M[j] as u[j] + w[j] * M[last].
    std::vector<long double> u(rows, 0.0L), w(rows, 0.0L);
    w[last] = 1;
    for (size_t j = last; j-- > 0;) {
        u[j] = p[j] + q[j] * u[j + 1];
        w[j] = s[j] + q[j] * w[j + 1];
    }
    // The last row couples to M[last-1] and (cyclically) to M[0].
    long double lastM = (r[last] - a[last] * u[last - 1] - c[last] * u[0]) /
                        (a[last] * w[last - 1] + b[last] + c[last] * w[0]);
    std::vector<long double> m(n, 0.0L);
    for (size_t j = 0; j < rows; ++j)
        m[j] = u[j] + w[j] * lastM;
    m[n - 1] = m[0];
    FillCoefficients(v, m, k);
}

void TSpline::FillCoefficients(const std::vector<long double> &v, const std::vector<long double> &m,
                               TCoefficients &k) const
{
    const std::vector<long double> &t = FKnotT;
    size_t n = v.size();
    for (size_t i = 0; i + 1 < n; ++i) {
        long double h = Guard(t[i + 1] - t[i]);
        k.A[i] = (m[i + 1] - m[i]) * kSixth / h;
        k.B[i] = m[i] * 0.5L;
        k.C[i] = (v[i + 1] - v[i]) / h - (2 * m[i] + m[i + 1]) * h * kSixth;
    }
    k.D = v;
}

size_t TSpline::KnotAfter(long double s) const
{
    const std::vector<long double> &t = FKnotT;
    // The first knot past s (the knots' parameters never decrease); a NaN lies before all.
    return s >= t[0] ? static_cast<size_t>(std::upper_bound(t.begin(), t.end(), s) - t.begin()) : 0;
}

long double TSpline::Evaluate(const TCoefficients &k, size_t i, long double s) const
{
    const std::vector<long double> &t = FKnotT;
    size_t n = t.size();
    if (!FClosed) {
        if (i == 0)
            return (s - t[0]) * k.C[0] + k.D[0];
        if (i == n) {
            // Straight continuation along the end slope of the last interval.
            long double h = t[n - 1] - t[n - 2];
            return (s - t[n - 1]) * (3 * h * h * k.A[n - 2] + 2 * h * k.B[n - 2] + k.C[n - 2]) +
                   k.D[n - 1];
        }
    } else {
        // After wrapping s lies inside the period; a degenerate period (NaN) lands here.
        i = std::clamp<size_t>(i, 1, n - 1);
    }
    long double u = s - t[i - 1];
    return ((k.A[i - 1] * u + k.B[i - 1]) * u + k.C[i - 1]) * u + k.D[i - 1];
}

long double TSpline::KnotT(int32_t i) const
{
    return i >= 0 && static_cast<size_t>(i) < FKnotT.size() ? FKnotT[static_cast<size_t>(i)] : 0.0L;
}

void TSpline::Prepare()
{
    if (FDirty && FPointCount >= 1)
        Calculate();
}

TExtPoint TSpline::GetPoint(long double t)
{
    Prepare();
    return PointAt(t);
}

TExtPoint TSpline::PointAt(long double t) const
{
    if (FDirty || FKnotCount == 0)
        return TExtPoint{};
    if (FKnotCount == 1 || !FReady)
        return TExtPoint{FKnotX[0], FKnotY[0]};
    if (t < 0)
        t = 0;
    else if (t > 1)
        t = 1;
    size_t n = static_cast<size_t>(FKnotCount);
    long double s = t * FKnotT[n - 1];
    if (FClosed) {
        long double period = FKnotT[n - 1] - FKnotT[0];
        if (!(period > 0))
            return TExtPoint{FKnotX[0], FKnotY[0]};   // all knots coincide
        s -= std::trunc(s / period) * period;
    }
    // Both coordinates share the one search for the interval.
    const size_t after = KnotAfter(s);
    return TExtPoint{Evaluate(FCoefX, after, s), Evaluate(FCoefY, after, s)};
}

bool TSpline::YAtX(long double x, long double tolerance, TSplineWalk &walk, long double &y) const
{
    if (FDirty || !FReady || FClosed || !FXRises)
        return false;
    const size_t last = static_cast<size_t>(FKnotCount) - 1;
    if (!(x >= FKnotX[0] && x <= FKnotX[last]))
        return false;
    size_t &i = walk.Interval, &fold = walk.Fold;
    if (i >= last || FKnotX[i] > x) {
        // A walk that starts (again) seeks its place: the last knot left of x (the first
        // interval when none), and the first fold not wholly left of x. The steps below
        // then reach the same place a walk from the first knot would.
        const auto knot = std::lower_bound(FKnotX.begin(), FKnotX.begin() + static_cast<std::ptrdiff_t>(last), x);
        i = knot == FKnotX.begin() ? 0 : static_cast<size_t>(knot - FKnotX.begin()) - 1;
        fold = static_cast<size_t>(
            std::lower_bound(FFolds.begin(), FFolds.end(), x,
                             [](const std::pair<long double, long double> &f, long double v) { return f.second < v; }) -
            FFolds.begin());
    }
    // Where the curve folds back an X may have several points: the caller decides there.
    while (fold < FFolds.size() && FFolds[fold].second < x)
        ++fold;
    if (fold < FFolds.size() && FFolds[fold].first <= x)
        return false;
    while (i + 1 < last && FKnotX[i + 1] < x)
        ++i;
    // X rises through the interval, so X(u) = x has one root in [0, h]: Newton steps from
    // the straight-line guess, kept inside the bracket by halving where they leave it.
    const long double a = FCoefX.A[i], b = FCoefX.B[i], c = FCoefX.C[i], d = FCoefX.D[i];
    const long double h = FKnotT[i + 1] - FKnotT[i];
    const long double span = FKnotX[i + 1] - FKnotX[i];
    long double lo = 0, hi = h;
    long double u = span > 0 ? h * (x - FKnotX[i]) / span : 0;
    constexpr int kMaxSteps = 64;
    for (int step = 0; step < kMaxSteps; ++step) {
        const long double f = ((a * u + b) * u + c) * u + d - x;
        if (std::fabs(f) < tolerance)
            break;
        (f < 0 ? lo : hi) = u;
        long double next = u - f / ((3 * a * u + 2 * b) * u + c);
        if (!(next > lo && next < hi))
            next = (lo + hi) / 2;
        if (next == u)
            break;
        u = next;
    }
    y = ((FCoefY.A[i] * u + FCoefY.B[i]) * u + FCoefY.C[i]) * u + FCoefY.D[i];
    return true;
}

} // namespace tessaly
