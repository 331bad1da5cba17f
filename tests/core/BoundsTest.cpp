#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "Engine/FastMath.h"

namespace {

const BoundingBox kUnitBox(Vector4(0, 0, 0, 0), Vector4(1, 1, 1, 0));

Vector4 P(float x, float y, float z) { return Vector4(x, y, z, 0.0f); }

struct Vec3d {
  double x, y, z;
};
Vec3d ToD(const Vector4& v) { return {v.x, v.y, v.z}; }
Vec3d Along(const LineSegment& s, double t) {
  return {s.start.x + t * s.direction.x, s.start.y + t * s.direction.y,
          s.start.z + t * s.direction.z};
}
double DistSq(const Vec3d& a, const Vec3d& b) {
  const double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
  return dx * dx + dy * dy + dz * dz;
}

// Squared distance from p to a segment in double precision, by its own projection.
double PointSegmentD(const Vec3d& p, const LineSegment& s) {
  const Vec3d d = ToD(s.direction);
  const double dd = d.x * d.x + d.y * d.y + d.z * d.z;
  double t = 0.0;
  if (dd > 0.0) {
    t = ((p.x - s.start.x) * d.x + (p.y - s.start.y) * d.y + (p.z - s.start.z) * d.z) / dd;
    t = std::clamp(t, 0.0, 1.0);
  }
  return DistSq(p, Along(s, t));
}

// Minimum of a convex function on [0, 1]: a coarse scan for the bracket, then ternary search.
template <typename F>
double MinimizeConvex(F f) {
  const int n = 64;
  int best = 0;
  double bestValue = f(0.0);
  for (int i = 1; i <= n; ++i) {
    const double v = f(double(i) / n);
    if (v < bestValue) {
      bestValue = v;
      best = i;
    }
  }
  double lo = std::max(0, best - 1) / double(n), hi = std::min(n, best + 1) / double(n);
  for (int i = 0; i < 200; ++i) {
    const double m1 = lo + (hi - lo) / 3, m2 = hi - (hi - lo) / 3;
    if (f(m1) < f(m2))
      hi = m2;
    else
      lo = m1;
  }
  return std::min(bestValue, f((lo + hi) / 2));
}

// The distance from a point sliding along `a` to the whole of `b` is convex in the slide.
double SegmentSegmentBrute(const LineSegment& a, const LineSegment& b) {
  return MinimizeConvex([&](double s) { return PointSegmentD(Along(a, s), b); });
}

Vector4 RandomPoint(std::mt19937& rng, float range) {
  std::uniform_real_distribution<float> u(-range, range);
  return P(u(rng), u(rng), u(rng));
}

// A random segment, sometimes degenerate or parallel to `other` on purpose.
LineSegment RandomSegment(std::mt19937& rng, const LineSegment* other) {
  std::uniform_int_distribution<int> kind(0, 9);
  LineSegment s(RandomPoint(rng, 3.0f), RandomPoint(rng, 2.0f));
  const int k = kind(rng);
  if (k == 0) s.direction = P(0, 0, 0);
  if (other && k == 1) Scale(other->direction, -1.7f, s.direction);
  if (other && k == 2) {
    Scale(other->direction, 0.6f, s.direction);
    // Collinear: start on the other's line.
    Scale(other->direction, 1.3f, s.start);
    Add(s.start, other->start);
  }
  if (k == 3) Scale(s.direction, 0.01f);  // short segments
  return s;
}

}  // namespace

TEST(BoundsTest, BoxesAndPointsTouchingCounts) {
  // Sharing a face on each axis in turn.
  for (int axis = 0; axis < 3; ++axis) {
    BoundingBox b = kUnitBox;
    b.min[axis] = 1.0f;
    b.max[axis] = 2.0f;
    EXPECT_EQ(BoxesOverlap(kUnitBox, b), 1) << axis;
    EXPECT_EQ(BoxesOverlap(b, kUnitBox), 1) << axis;
    b.min[axis] = 1.0001f;
    EXPECT_EQ(BoxesOverlap(kUnitBox, b), 0) << axis;
    EXPECT_EQ(BoxesOverlap(b, kUnitBox), 0) << axis;
  }
  const BoundingBox inner(P(0.25f, 0.25f, 0.25f), P(0.5f, 0.5f, 0.5f));
  EXPECT_EQ(BoxesOverlap(inner, kUnitBox), 1);
  EXPECT_EQ(BoxesOverlap(kUnitBox, inner), 1);

  EXPECT_EQ(PointInBox(P(1.0f, 0.5f, 0.5f), kUnitBox, 0.0f), 1);
  EXPECT_EQ(PointInBox(P(0.0f, 0.0f, 0.0f), kUnitBox, 0.0f), 1);
  EXPECT_EQ(PointInBox(P(0.5f, 0.5f, 1.0001f), kUnitBox, 0.0f), 0);
  EXPECT_EQ(PointInBox(P(0.5f, 1.5f, 0.5f), kUnitBox, 0.5f), 1);
  EXPECT_EQ(PointInBox(P(0.5f, 1.5f, 0.5f), kUnitBox, 0.4999f), 0);
  EXPECT_EQ(PointInBox(P(-0.5f, 0.5f, 0.5f), kUnitBox, 0.5f), 1);
  EXPECT_EQ(PointInBox(P(-0.5f, 0.5f, 0.5f), kUnitBox, 0.4999f), 0);
  // w plays no part.
  EXPECT_EQ(PointInBox(Vector4(0.5f, 0.5f, 0.5f, 99.0f), kUnitBox, 0.0f), 1);

  const BoundingSphere a(P(0, 0, 0), 1.0f);
  EXPECT_EQ(SpheresOverlap(a, BoundingSphere(P(2, 0, 0), 1.0f)), 1);
  EXPECT_EQ(SpheresOverlap(a, BoundingSphere(P(0, -2, 0), 1.0f)), 1);
  EXPECT_EQ(SpheresOverlap(a, BoundingSphere(P(2.001f, 0, 0), 1.0f)), 0);
  EXPECT_EQ(SpheresOverlap(a, BoundingSphere(P(0, 0, 0.5f), 0.1f)), 1);
}

TEST(BoundsTest, SegmentHitsBoxFacesEdgesAndSkippedAxes) {
  // Starting inside is a hit even without motion.
  EXPECT_EQ(SegmentHitsBox(P(0.5f, 0.5f, 0.5f), kUnitBox, P(0, 0, 0)), 1);
  // Reaching the face exactly at t = 1.
  EXPECT_EQ(SegmentHitsBox(P(-1.0f, 0.5f, 0.5f), kUnitBox, P(1.0f, 0, 0)), 1);
  EXPECT_EQ(SegmentHitsBox(P(-1.0f, 0.5f, 0.5f), kUnitBox, P(0.999f, 0, 0)), 0);
  // From the far side, moving in the negative direction.
  EXPECT_EQ(SegmentHitsBox(P(0.5f, 3.0f, 0.5f), kUnitBox, P(0, -2.0f, 0)), 1);
  EXPECT_EQ(SegmentHitsBox(P(0.5f, 3.0f, 0.5f), kUnitBox, P(0, -1.9f, 0)), 0);
  // Pointing away.
  EXPECT_EQ(SegmentHitsBox(P(-1.0f, 0.5f, 0.5f), kUnitBox, P(-5.0f, 0, 0)), 0);
  // Through and out the other side.
  EXPECT_EQ(SegmentHitsBox(P(-1.0f, 0.5f, 0.5f), kUnitBox, P(3.0f, 0, 0)), 1);
  // Grazing the edge y = max, and just above it.
  EXPECT_EQ(SegmentHitsBox(P(-1.0f, 1.0f, 0.5f), kUnitBox, P(2.0f, 0, 0)), 1);
  EXPECT_EQ(SegmentHitsBox(P(-1.0f, 1.0001f, 0.5f), kUnitBox, P(2.0f, 0, 0)), 0);
  // Diagonal touching nothing but the corner (0, 1), and passing just above it.
  EXPECT_EQ(SegmentHitsBox(P(-1.0f, 0.0f, 0.5f), kUnitBox, P(2.0f, 2.0f, 0)), 1);
  EXPECT_EQ(SegmentHitsBox(P(-1.0f, 0.001f, 0.5f), kUnitBox, P(2.0f, 2.0f, 0)), 0);
  // Motion below 0.00001 on an axis is not tested on that axis.
  EXPECT_EQ(SegmentHitsBox(P(0.5f, 0.5f, -1.0f), kUnitBox, P(0, 0, 0.000009f)), 0);
  EXPECT_EQ(SegmentHitsBox(P(0.5f, 0.5f, -0.000001f), kUnitBox, P(0, 0, 0.000009f)), 0);
  EXPECT_EQ(SegmentHitsBox(P(0.5f, 0.5f, -0.000001f), kUnitBox, P(0, 0, 0.00001f)), 1);
}

TEST(BoundsTest, SegmentHitsBoxAgreesWithASlabTestAwayFromBoundaries) {
  std::mt19937 rng(23);
  int hits = 0, checked = 0;
  for (int i = 0; i < 4000; ++i) {
    const Vector4 start = RandomPoint(rng, 2.5f);
    const Vector4 dir = RandomPoint(rng, 3.0f);
    // Slab test in double: the t-interval inside every slab intersected with [0, 1].
    double t0 = 0.0, t1 = 1.0, margin = 1e9;
    for (int a = 0; a < 3; ++a) {
      const double s = start[a], d = dir[a];
      const double lo = (0.0 - s) / d, hi = (1.0 - s) / d;
      t0 = std::max(t0, std::min(lo, hi));
      t1 = std::min(t1, std::max(lo, hi));
    }
    const bool expected = t0 <= t1;
    margin = std::fabs(t1 - t0);
    if (margin < 1e-3) continue;  // too close to a touching case for a float comparison
    ++checked;
    hits += expected;
    EXPECT_EQ(SegmentHitsBox(start, kUnitBox, dir), expected ? 1 : 0) << i;
  }
  EXPECT_GT(checked, 3000);
  EXPECT_GT(hits, 100);
}

TEST(BoundsTest, ClosestPointAndPointDistances) {
  const LineSegment seg(Vector4(0, 0, 0, 0), Vector4(2, 0, 0, 4));
  Vector4 out;
  EXPECT_EQ(ClosestPointOnSegment(seg, P(3, 1, 0), out), 3);
  EXPECT_EQ(out.x, 2.0f);
  EXPECT_EQ(out.w, 4.0f);
  EXPECT_EQ(ClosestPointOnSegment(seg, P(-1, 1, 0), out), 1);
  EXPECT_EQ(out.x, 0.0f);
  EXPECT_EQ(ClosestPointOnSegment(seg, P(0.5f, -3, 2), out), 2);
  EXPECT_EQ(out.x, 0.5f);
  EXPECT_EQ(out.y, 0.0f);
  EXPECT_EQ(out.w, 1.0f);  // w interpolated like x
  // Exactly at the ends: the end test comes first, then the start test.
  EXPECT_EQ(ClosestPointOnSegment(seg, P(2, 5, 0), out), 3);
  EXPECT_EQ(ClosestPointOnSegment(seg, P(0, 5, 0), out), 1);

  EXPECT_EQ(PointSegmentDistanceSq(P(-1, 1, 0), seg), 2.0f);
  EXPECT_EQ(PointSegmentDistanceSq(P(3, 1, 0), seg), 2.0f);
  EXPECT_EQ(PointSegmentDistanceSq(P(1, 1, 0), seg), 1.0f);
  EXPECT_EQ(PointSegmentDistanceSq(P(1, 0, 0), seg), 0.0f);

  // Zero-length segments are their start point.
  const LineSegment dot(P(1, 2, 3), P(0, 0, 0));
  EXPECT_EQ(PointSegmentDistanceSq(P(1, 2, 5), dot), 4.0f);
  EXPECT_EQ(ClosestPointOnSegment(dot, P(7, 7, 7), out), 3);
  EXPECT_EQ(out.z, 3.0f);
  EXPECT_EQ(PointOnSegment(dot, P(1, 2, 3)), 1);
  float t = -1.0f;
  EXPECT_EQ(PointLineDistanceSq(dot, P(1, 2, 5), &t), 4.0f);
  EXPECT_EQ(t, 0.0f);

  // The line parameter is not clamped.
  EXPECT_EQ(PointLineDistanceSq(seg, P(3, 1, 0), &t), 1.0f);
  EXPECT_EQ(t, 1.5f);
  EXPECT_EQ(PointLineDistanceSq(seg, P(-2, 0, 3), &t), 9.0f);
  EXPECT_EQ(t, -1.0f);
  EXPECT_EQ(PointLineDistanceSq(seg, P(-2, 0, 3), nullptr), 9.0f);

  // On-segment test: strict at 1e-8 squared.
  EXPECT_EQ(PointOnSegment(seg, P(1.5f, 0, 0)), 1);
  EXPECT_EQ(PointOnSegment(seg, P(1.5f, 0.00009f, 0)), 1);
  EXPECT_EQ(PointOnSegment(seg, P(1.5f, 0.0002f, 0)), 0);
  EXPECT_EQ(PointOnSegment(seg, P(2.001f, 0, 0)), 0);
}

TEST(BoundsTest, SegmentSegmentParallelCollinearAndDegenerate) {
  const LineSegment unitX(P(0, 0, 0), P(1, 0, 0));
  EXPECT_EQ(SegmentSegmentDistanceSq(unitX, LineSegment(P(0, 1, 0), P(1, 0, 0))), 1.0f);
  EXPECT_EQ(SegmentSegmentDistanceSq(unitX, LineSegment(P(0.5f, 0, 1), P(-1, 0, 0))), 1.0f);
  // Collinear with a gap of 1, in either direction.
  EXPECT_EQ(SegmentSegmentDistanceSq(unitX, LineSegment(P(2, 0, 0), P(1, 0, 0))), 1.0f);
  EXPECT_EQ(SegmentSegmentDistanceSq(unitX, LineSegment(P(3, 0, 0), P(-1, 0, 0))), 1.0f);
  EXPECT_EQ(SegmentSegmentDistanceSq(LineSegment(P(2, 0, 0), P(1, 0, 0)), unitX), 1.0f);
  // Collinear and overlapping.
  EXPECT_EQ(SegmentSegmentDistanceSq(unitX, LineSegment(P(0.5f, 0, 0), P(2, 0, 0))), 0.0f);
  // Crossing, and skew one unit apart.
  EXPECT_EQ(SegmentSegmentDistanceSq(unitX, LineSegment(P(0.5f, -1, 0), P(0, 2, 0))), 0.0f);
  EXPECT_NEAR(SegmentSegmentDistanceSq(unitX, LineSegment(P(0.5f, -1, 1), P(0, 2, 0))), 1.0f,
              1e-6f);
  // Zero-length against a segment, and against each other.
  const LineSegment dot(P(0.5f, 2, 0), P(0, 0, 0));
  EXPECT_EQ(SegmentSegmentDistanceSq(dot, unitX), 4.0f);
  EXPECT_EQ(SegmentSegmentDistanceSq(unitX, dot), 4.0f);
  EXPECT_EQ(SegmentSegmentDistanceSq(dot, LineSegment(P(0.5f, 2, 3), P(0, 0, 0))), 9.0f);
  float t = -1.0f;
  EXPECT_EQ(LineSegmentDistanceSq(unitX, dot, &t), 4.0f);
  EXPECT_EQ(t, 0.0f);

  // Short segments that cross at right angles 0.001 apart: the absolute "parallel" threshold
  // must not hide the crossing.
  const LineSegment shortA(P(-0.005f, 0, 0), P(0.01f, 0, 0));
  const LineSegment shortB(P(0, -0.005f, 0.001f), P(0, 0.01f, 0));
  EXPECT_NEAR(SegmentSegmentDistanceSq(shortA, shortB), 1e-6f, 1e-9f);

  // Long and nearly parallel, crossing in the middle.
  const LineSegment longA(P(-50, 0, 0), P(100, 0, 0));
  const LineSegment longB(P(-50, -0.05f, 0.0f), P(100, 0.1f, 0));
  EXPECT_LT(SegmentSegmentDistanceSq(longA, longB), 1e-8f);

  // Line against segment: the line is unbounded on its side only.
  EXPECT_NEAR(LineSegmentDistanceSq(LineSegment(P(10, 0, 0), P(1, 0, 0)),
                                    LineSegment(P(0, 1, -1), P(0, 0, 2)), &t),
              1.0f, 1e-6f);
  EXPECT_NEAR(t, 0.5f, 1e-6f);
  EXPECT_NEAR(LineSegmentDistanceSq(LineSegment(P(0, 0, 0), P(1, 0, 0)),
                                    LineSegment(P(0, 1, 2), P(0, 1, 0)), &t),
              5.0f, 1e-6f);
  EXPECT_EQ(t, 0.0f);
  // Parallel to the line: every point is as near; the start is chosen.
  EXPECT_EQ(LineSegmentDistanceSq(unitX, LineSegment(P(4, 2, 0), P(3, 0, 0)), &t), 4.0f);
  EXPECT_EQ(t, 0.0f);
}

TEST(BoundsTest, SegmentDistancesMatchABruteForceMinimiser) {
  std::mt19937 rng(31);
  for (int i = 0; i < 3000; ++i) {
    const LineSegment a = RandomSegment(rng, nullptr);
    const LineSegment b = RandomSegment(rng, &a);
    const double expected = SegmentSegmentBrute(a, b);
    const float got = SegmentSegmentDistanceSq(a, b);
    ASSERT_NEAR(got, expected, 1e-4 * (1.0 + expected)) << i;
    // Symmetric in its arguments.
    ASSERT_NEAR(SegmentSegmentDistanceSq(b, a), expected, 1e-4 * (1.0 + expected)) << i;

    // Line against segment: the distance to the line is convex along the segment.
    const Vec3d ls = ToD(a.start), ld = ToD(a.direction);
    const double ldd = ld.x * ld.x + ld.y * ld.y + ld.z * ld.z;
    if (ldd == 0.0) continue;
    auto toLine = [&](double t) {
      const Vec3d p = Along(b, t);
      const double u = ((p.x - ls.x) * ld.x + (p.y - ls.y) * ld.y + (p.z - ls.z) * ld.z) / ldd;
      return DistSq(p, {ls.x + u * ld.x, ls.y + u * ld.y, ls.z + u * ld.z});
    };
    const double lineExpected = MinimizeConvex(toLine);
    float t = -1.0f;
    const float lineGot = LineSegmentDistanceSq(a, b, &t);
    ASSERT_NEAR(lineGot, lineExpected, 1e-4 * (1.0 + lineExpected)) << i;
    ASSERT_GE(t, 0.0f);
    ASSERT_LE(t, 1.0f);
    ASSERT_NEAR(toLine(t), lineExpected, 1e-4 * (1.0 + lineExpected)) << i;
  }
}

TEST(BoundsTest, CapsuleAndSphereOverlapsCountTouching) {
  const Capsule a(P(0, 0, 0), P(4, 0, 0), 0.5f);
  EXPECT_EQ(CapsulesOverlap(a, Capsule(P(2, 1, -1), P(0, 0, 2), 0.5f)), 1);   // exactly 1 apart
  EXPECT_EQ(CapsulesOverlap(a, Capsule(P(2, 1.01f, -1), P(0, 0, 2), 0.5f)), 0);
  EXPECT_EQ(CapsulesOverlap(a, Capsule(P(6, 0, 0), P(1, 0, 0), 1.5f)), 1);   // end to end
  EXPECT_EQ(SphereCapsuleOverlap(BoundingSphere(P(-1, 0, 0), 0.5f), a), 1);
  EXPECT_EQ(SphereCapsuleOverlap(BoundingSphere(P(-1.01f, 0, 0), 0.5f), a), 0);
  EXPECT_EQ(SphereCapsuleOverlap(BoundingSphere(P(2, 0, 2), 1.5f), a), 1);
  // A bare segment against the capsule's radius only.
  EXPECT_EQ(SegmentCapsuleOverlap(LineSegment(P(2, 0.5f, -1), P(0, 0, 2)), a), 1);
  EXPECT_EQ(SegmentCapsuleOverlap(LineSegment(P(2, 0.51f, -1), P(0, 0, 2)), a), 0);
  EXPECT_EQ(SegmentSphereOverlap(a, BoundingSphere(P(2, 2, 0), 2.0f)), 1);
  EXPECT_EQ(SegmentSphereOverlap(a, BoundingSphere(P(2, 2, 0), 1.99f)), 0);
  EXPECT_EQ(SegmentSphereOverlap(a, BoundingSphere(P(-3, 0, 0), 3.0f)), 1);
}

TEST(BoundsTest, BoxesAroundSpheresAndCapsules) {
  BoundingBox box;
  BoxAroundSphere(BoundingSphere(Vector4(1, 2, 3, 7), 0.5f), box);
  EXPECT_EQ(box.min.x, 0.5f);
  EXPECT_EQ(box.max.z, 3.5f);
  EXPECT_EQ(box.min.w, 7.0f);
  EXPECT_EQ(box.max.w, 7.0f);

  // A capsule running backwards on x: the corners sort per axis, w included.
  BoxAroundCapsule(Capsule(Vector4(4, 0, 1, 1), Vector4(-3, 2, 0, 2), 0.25f), box);
  EXPECT_EQ(box.min.x, 0.75f);
  EXPECT_EQ(box.max.x, 4.25f);
  EXPECT_EQ(box.min.y, -0.25f);
  EXPECT_EQ(box.max.y, 2.25f);
  EXPECT_EQ(box.min.z, 0.75f);
  EXPECT_EQ(box.max.z, 1.25f);
  EXPECT_EQ(box.min.w, 1.0f);
  EXPECT_EQ(box.max.w, 3.0f);
}

TEST(BoundsTest, TransformsOfVolumes) {
  Matrix rot, tra, m;
  rot.RotationZ(0.5f);
  Multiply(rot, tra.Translation(P(10, -5, 2)), m);

  BoundingBox box(Vector4(-1, 0, 2, 1), Vector4(2, 3, 4, 1));
  const BoundingBox original = box;
  TransformBox(m, box);
  // The exact hull of the eight transformed corners, with no margin.
  Vec3d lo{1e9, 1e9, 1e9}, hi{-1e9, -1e9, -1e9};
  for (int c = 0; c < 8; ++c) {
    Vector4 corner((c & 1 ? original.max : original.min).x, (c & 2 ? original.max : original.min).y,
                   (c & 4 ? original.max : original.min).z, 1.0f);
    Vector4 t;
    TransformVector4(corner, m, t);
    lo = {std::min(lo.x, double(t.x)), std::min(lo.y, double(t.y)), std::min(lo.z, double(t.z))};
    hi = {std::max(hi.x, double(t.x)), std::max(hi.y, double(t.y)), std::max(hi.z, double(t.z))};
  }
  EXPECT_NEAR(box.min.x, lo.x, 1e-5);
  EXPECT_NEAR(box.min.y, lo.y, 1e-5);
  EXPECT_NEAR(box.min.z, lo.z, 1e-5);
  EXPECT_NEAR(box.max.x, hi.x, 1e-5);
  EXPECT_NEAR(box.max.y, hi.y, 1e-5);
  EXPECT_NEAR(box.max.z, hi.z, 1e-5);
  EXPECT_EQ(box.min.w, 0.0f);
  EXPECT_EQ(box.max.w, 0.0f);

  // Spheres move but keep their radius, even under scale.
  Matrix scaled;
  Multiply(Matrix().Scaling(3.0f), m, scaled);
  BoundingSphere sphere(Vector4(1, 0, 0, 5), 2.0f);
  TransformSphere(scaled, sphere);
  EXPECT_NEAR(sphere.centre.x, 10.0f + 3.0f * std::cos(0.5f), 1e-5f);
  EXPECT_NEAR(sphere.centre.y, -5.0f + 3.0f * std::sin(0.5f), 1e-5f);
  EXPECT_EQ(sphere.centre.w, 0.0f);
  EXPECT_EQ(sphere.radius, 2.0f);

  // Segment: the start moves as a point; a direction with w = 0 only turns, one with w = 1 is
  // also translated.
  Capsule capsule(Vector4(0, 0, 0, 1), Vector4(1, 0, 0, 0), 0.75f);
  TransformCapsule(m, capsule);
  EXPECT_NEAR(capsule.start.x, 10.0f, 1e-6f);
  EXPECT_EQ(capsule.start.w, 0.0f);
  EXPECT_NEAR(capsule.direction.x, std::cos(0.5f), 1e-6f);
  EXPECT_NEAR(capsule.direction.y, std::sin(0.5f), 1e-6f);
  EXPECT_EQ(capsule.direction.z, 0.0f);
  EXPECT_EQ(capsule.radius, 0.75f);
  LineSegment weighted(Vector4(0, 0, 0, 0), Vector4(0, 0, 0, 1));
  TransformSegment(m, weighted);
  EXPECT_EQ(weighted.direction.x, 10.0f);
  EXPECT_EQ(weighted.direction.z, 2.0f);
  EXPECT_EQ(weighted.direction.w, 1.0f);
}
