// Tests of TSpline: fall-backs, knots, natural and periodic curves, guard, storage.
#include <cmath>
#include <utility>

#include <gtest/gtest.h>

#include "project/spline.h"

namespace tessaly {
namespace {

void Add(TSpline &s, long double x, long double y, uint8_t flags = 0, long double angle = 0)
{
    s.AddPoint(MakeSplinePoint(flags, x, y, angle));
}

TEST(SplineTest, FallbacksWithoutEnoughPoints)
{
    TSpline s;
    for (long double t : {-1.0L, 0.0L, 0.5L, 2.0L}) {
        TExtPoint p = s.GetPoint(t);
        EXPECT_EQ(p.X, 0.0L);
        EXPECT_EQ(p.Y, 0.0L);
    }
    Add(s, 7.5L, -3.25L);
    for (long double t : {-1.0L, 0.0L, 0.5L, 2.0L}) {
        TExtPoint p = s.GetPoint(t);
        EXPECT_EQ(p.X, 7.5L);
        EXPECT_EQ(p.Y, -3.25L);
    }
    EXPECT_EQ(s.KnotCount(), 1);
    EXPECT_FALSE(s.Ready());

    // Closed with one point: two knots, not ready, still the point.
    s.SetClosed(true);
    TExtPoint p = s.GetPoint(0.3L);
    EXPECT_EQ(s.KnotCount(), 2);
    EXPECT_FALSE(s.Ready());
    EXPECT_EQ(p.X, 7.5L);
    EXPECT_EQ(p.Y, -3.25L);
}

TEST(SplineTest, TwoPointsGiveTheStraightSegmentAndClampedEnds)
{
    TSpline s;
    Add(s, 1, 2);
    Add(s, 4, 6);   // chord length 5
    TExtPoint mid = s.GetPoint(0.5L);
    EXPECT_NEAR(static_cast<double>(mid.X), 2.5, 1e-17);
    EXPECT_NEAR(static_cast<double>(mid.Y), 4.0, 1e-17);
    TExtPoint q = s.GetPoint(0.2L);
    EXPECT_NEAR(static_cast<double>(q.X), 1.6, 1e-17);
    EXPECT_NEAR(static_cast<double>(q.Y), 2.8, 1e-17);
    // Parameters outside [0, 1] return the end knots exactly.
    TExtPoint first = s.GetPoint(-0.5L);
    TExtPoint last = s.GetPoint(7.0L);
    EXPECT_EQ(first.X, 1.0L);
    EXPECT_EQ(first.Y, 2.0L);
    EXPECT_EQ(last.X, 4.0L);
    EXPECT_EQ(last.Y, 6.0L);
    EXPECT_EQ(s.GetPoint(1.0L).Y, 6.0L);
}

// Five points with equal chords of 5: X runs linearly, Y zigzags 0, 4, 0, 4, 0. The
// natural spline's second derivatives are M1 = M3 = -24/35, M2 = 288/350 (by hand).
class ZigzagSpline : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 0; i < 5; ++i)
            Add(s, 3 * i, i % 2 ? 4 : 0);
    }
    long double YAt(long double chord) { return s.GetPoint(chord / 20).Y; }
    TSpline s;
};

TEST_F(ZigzagSpline, ReproducesKnotsAndHandComputedValues)
{
    s.GetPoint(0);
    ASSERT_EQ(s.KnotCount(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(s.KnotT(i), 5.0L * i);
        TExtPoint p = s.GetPoint(0.25L * i);
        EXPECT_NEAR(static_cast<double>(p.X), 3.0 * i, 1e-15) << i;
        EXPECT_NEAR(static_cast<double>(p.Y), i % 2 ? 4.0 : 0.0, 1e-15) << i;
    }
    // Middle of the first interval: 2 + 1.5625 * 24/35 = 2 + 15/14.
    EXPECT_NEAR(static_cast<double>(YAt(2.5L)), 2.0 + 15.0 / 14.0, 1e-15);
    // X is exactly linear in the chord length (all its second derivatives are 0).
    EXPECT_NEAR(static_cast<double>(s.GetPoint(0.3L).X), 3.6, 1e-15);
    // Symmetric about the middle knot.
    EXPECT_NEAR(static_cast<double>(YAt(7.5L)), static_cast<double>(YAt(12.5L)), 1e-15);
}

TEST_F(ZigzagSpline, IsTwiceContinuouslyDifferentiableWithNaturalEnds)
{
    const long double e = 1e-4L;
    auto d1 = [&](long double a, long double b) { return (YAt(b) - YAt(a)) / (b - a); };
    auto d2 = [&](long double a) { return (YAt(a + 2 * e) - 2 * YAt(a + e) + YAt(a)) / (e * e); };
    for (int k = 1; k <= 3; ++k) {
        long double t = 5.0L * k;
        EXPECT_NEAR(static_cast<double>(d1(t - e, t)), static_cast<double>(d1(t, t + e)), 2e-3) << k;
        long double left = d2(t - 2 * e), right = d2(t);
        EXPECT_NEAR(static_cast<double>(left), static_cast<double>(right), 2e-3) << k;
    }
    // Second derivatives at the knots: natural ends 0, inner ones as solved by hand.
    EXPECT_NEAR(static_cast<double>(d2(0)), 0.0, 2e-3);
    EXPECT_NEAR(static_cast<double>(d2(20 - 2 * e)), 0.0, 2e-3);
    EXPECT_NEAR(static_cast<double>(d2(5)), -24.0 / 35.0, 2e-3);
    EXPECT_NEAR(static_cast<double>(d2(10)), 288.0 / 350.0, 2e-3);
}

// A closed unit square (chords 1): the periodic second derivatives are +-1.5, which puts
// the middle of the first edge at (0.5, -0.1875).
TEST(SplineTest, ClosedSquareIsPeriodic)
{
    TSpline s;
    s.SetClosed(true);
    Add(s, 0, 0);
    Add(s, 1, 0);
    Add(s, 1, 1);
    Add(s, 0, 1);
    TExtPoint mid = s.GetPoint(0.125L);
    EXPECT_EQ(s.KnotCount(), 5);
    EXPECT_NEAR(static_cast<double>(mid.X), 0.5, 1e-17);
    EXPECT_NEAR(static_cast<double>(mid.Y), -0.1875, 1e-17);
    // The other edges by symmetry.
    TExtPoint right = s.GetPoint(0.375L);
    EXPECT_NEAR(static_cast<double>(right.X), 1.1875, 1e-17);
    EXPECT_NEAR(static_cast<double>(right.Y), 0.5, 1e-17);
    // Both ends of the parameter range are the first point.
    for (long double t : {0.0L, 1.0L}) {
        TExtPoint p = s.GetPoint(t);
        EXPECT_NEAR(static_cast<double>(p.X), 0.0, 1e-17);
        EXPECT_NEAR(static_cast<double>(p.Y), 0.0, 1e-17);
    }
    // Two points closed: three knots, ready.
    TSpline two;
    two.SetClosed(true);
    Add(two, 0, 0);
    Add(two, 2, 0);
    TExtPoint p = two.GetPoint(0.5L);
    EXPECT_EQ(two.KnotCount(), 3);
    EXPECT_TRUE(two.Ready());
    EXPECT_NEAR(static_cast<double>(p.X), 2.0, 1e-17);
}

TEST(SplineTest, CoincidentKnotsAreGuarded)
{
    TSpline s;
    Add(s, 0, 0, spDouble);   // entered twice: an interval of length zero
    Add(s, 3, 4);
    Add(s, 3, 4);             // the same point again
    Add(s, 6, 0);
    for (long double t = 0; t <= 1.0L; t += 0.0625L) {
        TExtPoint p = s.GetPoint(t);
        EXPECT_TRUE(std::isfinite(p.X) && std::isfinite(p.Y)) << static_cast<double>(t);
    }
    EXPECT_EQ(s.KnotCount(), 5);
    EXPECT_NEAR(static_cast<double>(s.GetPoint(0.5L).X), 3.0, 1e-9);
    EXPECT_NEAR(static_cast<double>(s.GetPoint(0.5L).Y), 4.0, 1e-9);
    EXPECT_EQ(s.GetPoint(1).X, 6.0L);
    // All knots of a closed curve coinciding: the first point, no division by zero.
    TSpline c;
    c.SetClosed(true);
    Add(c, 2, 2);
    Add(c, 2, 2);
    EXPECT_EQ(c.GetPoint(0.5L).X, 2.0L);
    EXPECT_EQ(c.GetPoint(0.5L).Y, 2.0L);
}

TEST(SplineTest, DirectionPointAddsAKnotAlongItsAngle)
{
    TSpline s;
    Add(s, 0, 0, spDirection, 0);   // a knot at (0.1, 0) follows
    Add(s, 1, 0);
    s.GetPoint(0);
    EXPECT_EQ(s.KnotCount(), 3);
    EXPECT_NEAR(static_cast<double>(s.KnotT(1)), 0.1, 1e-18);
    TExtPoint p = s.GetPoint(0.1L);
    EXPECT_NEAR(static_cast<double>(p.X), 0.1, 1e-17);
    EXPECT_NEAR(static_cast<double>(p.Y), 0.0, 1e-17);
    // Double point wins when both bits are set.
    TSpline d;
    Add(d, 0, 0, spDirection | spDouble, 1.0L);
    Add(d, 1, 0);
    d.GetPoint(0);
    EXPECT_EQ(d.KnotCount(), 3);
    EXPECT_EQ(d.KnotT(1), 0.0L);
}

TEST(SplineTest, StorageDoublesFromFourAndCalculatesOncePerChange)
{
    TSpline s;
    EXPECT_EQ(s.PointCapacity(), 0);
    EXPECT_EQ(s.AddPoint(MakeSplinePoint(0, 0, 0, 0)), 0);
    EXPECT_EQ(s.PointCapacity(), 4);
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(s.AddPoint(MakeSplinePoint(0, i, i * i, 0)), i);
    EXPECT_EQ(s.PointCapacity(), 4);
    EXPECT_EQ(s.AddPoint(MakeSplinePoint(0, 4, 16, 0)), 4);
    EXPECT_EQ(s.PointCapacity(), 8);
    for (int i = 5; i < 9; ++i)
        s.AddPoint(MakeSplinePoint(0, i, i * i, 0));
    EXPECT_EQ(s.PointCapacity(), 16);
    EXPECT_TRUE(s.Dirty());

    for (int i = 0; i < 50; ++i)
        s.GetPoint(i / 50.0L);
    EXPECT_EQ(s.CalculationCount(), 1);
    EXPECT_FALSE(s.Dirty());
    s.SetClosed(false);   // no change: still valid
    s.GetPoint(0.5L);
    EXPECT_EQ(s.CalculationCount(), 1);
    s.SetClosed(true);
    s.GetPoint(0.5L);
    EXPECT_EQ(s.CalculationCount(), 2);

    s.Clear();
    EXPECT_EQ(s.PointCount(), 0);
    EXPECT_EQ(s.PointCapacity(), 0);
    EXPECT_EQ(s.KnotCount(), 0);
    EXPECT_FALSE(s.Dirty());
    EXPECT_TRUE(s.Closed());   // the closed setting survives Clear
    EXPECT_EQ(s.GetPoint(0.5L).X, 0.0L);
}

// Y by X: exact on a straight line, refused on curves it does not serve (closed, knots
// whose X fall back, changed since Prepare) and inside the X range of a fold, where an X
// has several points.
TEST(SplineTest, YAtXWalksOnlyWhereEachXHasOnePoint)
{
    TSpline line;
    for (int i = 0; i <= 4; ++i)
        Add(line, i * 10, i * 20);
    line.Prepare();
    ASSERT_TRUE(line.XRises());
    TSplineWalk walk;
    long double y = -1;
    for (long double x : {0.0L, 5.0L, 12.5L, 40.0L}) {
        ASSERT_TRUE(line.YAtX(x, 1e-12L, walk, y)) << double(x);
        EXPECT_NEAR(double(y), double(2 * x), 1e-9);
    }
    EXPECT_TRUE(line.YAtX(1, 1e-12L, walk, y));   // back to the start
    EXPECT_NEAR(double(y), 2.0, 1e-9);
    EXPECT_FALSE(line.YAtX(40.5L, 1e-12L, walk, y));
    Add(line, 50, 100);
    EXPECT_FALSE(line.YAtX(5, 1e-12L, walk, y));   // not prepared again

    TSpline back;
    for (long double x : {0.0L, 10.0L, 5.0L, 20.0L})
        Add(back, x, 0);
    back.Prepare();
    EXPECT_FALSE(back.XRises());
    EXPECT_FALSE(back.YAtX(2, 1e-12L, walk, y));

    // A steep step between close knots swings X back and forth around the step.
    TSpline fold;
    for (auto [x, v] : {std::pair{0.0L, 0.0L}, {10.0L, 0.0L}, {11.0L, 30.0L}, {12.0L, 30.0L}, {30.0L, 30.0L}})
        Add(fold, x, v);
    fold.Prepare();
    ASSERT_TRUE(fold.XRises());
    int refused = 0;
    for (long double x = 0; x <= 30; x += 0.125L) {
        if (!fold.YAtX(x, 1e-12L, walk, y)) {
            ++refused;
            continue;
        }
        // Where the walk answers, the point it found lies on the curve at that X.
        bool found = false;
        for (long double t = 0; t <= 1 && !found; t += 1.0L / 4096) {
            TExtPoint p = fold.PointAt(t);
            found = std::fabs(p.X - x) < 0.02L && std::fabs(p.Y - y) < 0.2L;
        }
        EXPECT_TRUE(found) << double(x);
    }
    EXPECT_GT(refused, 0);

    TSpline closed;
    for (long double x : {0.0L, 10.0L, 20.0L})
        Add(closed, x, x);
    closed.SetClosed(true);
    closed.Prepare();
    EXPECT_FALSE(closed.YAtX(5, 1e-12L, walk, y));
}

} // namespace
} // namespace tessaly
