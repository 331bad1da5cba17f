#pragma once
// Bounding volumes and the overlap, containment and distance tests between them. The games'
// collision work runs on these, so which comparisons are inclusive and which epsilons apply are
// part of how the games play: touching counts as overlapping unless a test says otherwise.
// Only x, y and z take part unless a comment says otherwise. Results are 1 or 0.

#include "Engine/FastMath.h"

struct BoundingBox {
  Vector4 min;
  Vector4 max;

  BoundingBox() = default;
  BoundingBox(const Vector4& min_, const Vector4& max_) : min(min_), max(max_) {}
};

struct BoundingSphere {
  Vector4 centre;
  float radius = 0.0f;

  BoundingSphere() = default;
  BoundingSphere(const Vector4& centre_, float radius_) : centre(centre_), radius(radius_) {}
};

// The points start + t * direction for t in 0..1.
struct LineSegment {
  Vector4 start;
  Vector4 direction;

  LineSegment() = default;
  LineSegment(const Vector4& start_, const Vector4& direction_)
      : start(start_), direction(direction_) {}
};

// The volume swept by a sphere of `radius` along the segment.
struct Capsule : LineSegment {
  float radius = 0.0f;

  Capsule() = default;
  Capsule(const Vector4& start_, const Vector4& direction_, float radius_)
      : LineSegment(start_, direction_), radius(radius_) {}
};

static_assert(sizeof(BoundingBox) == 32, "BoundingBox is eight floats");
static_assert(sizeof(BoundingSphere) == 20, "BoundingSphere is five floats");
static_assert(sizeof(LineSegment) == 32, "LineSegment is eight floats");
static_assert(sizeof(Capsule) == 36, "Capsule is nine floats");

// Touching boxes overlap.
inline int BoxesOverlap(const BoundingBox& a, const BoundingBox& b) {
  if (a.min.x > b.max.x || a.max.x < b.min.x) return 0;
  if (a.min.y > b.max.y || a.max.y < b.min.y) return 0;
  if (a.min.z > b.max.z || a.max.z < b.min.z) return 0;
  return 1;
}

// p inside the box grown by `tolerance` on every side, faces included.
inline int PointInBox(const Vector4& p, const BoundingBox& box, float tolerance) {
  if (!(box.min.x - p.x <= tolerance && box.max.x - p.x >= -tolerance)) return 0;
  if (!(box.min.y - p.y <= tolerance && box.max.y - p.y >= -tolerance)) return 0;
  if (!(box.min.z - p.z <= tolerance && box.max.z - p.z >= -tolerance)) return 0;
  return 1;
}

// Whether the segment from start to start + direction touches the box (no hit point). Axes
// whose direction component is below 0.00001 in size are not tested at all.
int SegmentHitsBox(const Vector4& start, const BoundingBox& box, const Vector4& direction);

// Touching spheres overlap.
inline int SpheresOverlap(const BoundingSphere& a, const BoundingSphere& b) {
  Vector4 d;
  Subtract(b.centre, a.centre, d);
  const float r = a.radius + b.radius;
  return LengthSq3(d) <= r * r ? 1 : 0;
}

// Writes the point of the segment nearest to p (all four components, w interpolated too) and
// returns 1 when it is the start, 2 when strictly inside, 3 when it is the end. A zero-length
// segment answers with its end, which is its start.
inline int ClosestPointOnSegment(const LineSegment& segment, const Vector4& p, Vector4& out) {
  const Vector4& s = segment.start;
  const Vector4& d = segment.direction;
  Vector4 e, toEnd, fromStart;
  Add(s, d, e);
  Subtract(e, p, toEnd);
  if (Dot3(toEnd, d) <= 0.0f) {
    out = e;
    return 3;
  }
  Subtract(p, s, fromStart);
  const float u = Dot3(fromStart, d);
  const float dd = Dot3(d, d);
  if (u <= 0.0f || dd == 0.0f) {
    out = s;
    return 1;
  }
  Vector4 step;
  Scale(d, u / dd, step);
  Add(s, step, out);
  return 2;
}

inline float PointSegmentDistanceSq(const Vector4& p, const LineSegment& segment) {
  const Vector4& d = segment.direction;
  Vector4 v;
  Subtract(p, segment.start, v);
  const float u = Dot3(v, d);
  if (u <= 0.0f) return LengthSq3(v);
  const float dd = Dot3(d, d);
  if (dd <= u) {
    Subtract(v, d);
    return LengthSq3(v);
  }
  Vector4 step;
  Scale(d, u / dd, step);
  Subtract(v, step);
  return LengthSq3(v);
}

// Squared distance from p to the infinite line through line.start along line.direction; the
// unclamped line parameter of the nearest point goes to *tOut when given. A line of zero
// direction is the point line.start (parameter 0).
float PointLineDistanceSq(const LineSegment& line, const Vector4& p, float* tOut);

// Squared distance between an infinite line and a segment; *tOut (when given) receives the
// parameter 0..1 of the nearest point on the segment.
float LineSegmentDistanceSq(const LineSegment& line, const LineSegment& segment, float* tOut);

// Squared distance between the nearest points of two segments, exact for every input,
// including zero-length, parallel and collinear segments.
float SegmentSegmentDistanceSq(const LineSegment& a, const LineSegment& b);

// Strictly within 1e-8 squared of the segment.
inline int PointOnSegment(const LineSegment& segment, const Vector4& p) {
  Vector4 nearest;
  ClosestPointOnSegment(segment, p, nearest);
  Subtract(nearest, p);
  return LengthSq3(nearest) < 9.999999e-9f ? 1 : 0;
}

inline int CapsulesOverlap(const Capsule& a, const Capsule& b) {
  const float r = a.radius + b.radius;
  return SegmentSegmentDistanceSq(a, b) <= r * r ? 1 : 0;
}

inline int SphereCapsuleOverlap(const BoundingSphere& sphere, const Capsule& capsule) {
  const float r = sphere.radius + capsule.radius;
  return PointSegmentDistanceSq(sphere.centre, capsule) <= r * r ? 1 : 0;
}

inline int SegmentCapsuleOverlap(const LineSegment& segment, const Capsule& capsule) {
  return SegmentSegmentDistanceSq(segment, capsule) <= capsule.radius * capsule.radius ? 1 : 0;
}

inline int SegmentSphereOverlap(const LineSegment& segment, const BoundingSphere& sphere) {
  return PointSegmentDistanceSq(sphere.centre, segment) <= sphere.radius * sphere.radius ? 1 : 0;
}

// Both corners take w from the centre.
inline BoundingBox& BoxAroundSphere(const Vector4& centre, float radius, BoundingBox& out) {
  out.min = Vector4(centre.x - radius, centre.y - radius, centre.z - radius, centre.w);
  out.max = Vector4(centre.x + radius, centre.y + radius, centre.z + radius, centre.w);
  return out;
}
inline BoundingBox& BoxAroundSphere(const BoundingSphere& sphere, BoundingBox& out) {
  return BoxAroundSphere(sphere.centre, sphere.radius, out);
}

// The box of both end points grown by the radius on x, y, z; w is the smaller and the larger
// of the end points' w.
inline BoundingBox& BoxAroundCapsule(const Capsule& capsule, BoundingBox& out) {
  Vector4 end, lo, hi;
  Add(capsule.start, capsule.direction, end);
  Minimize(capsule.start, end, lo);
  Maximize(capsule.start, end, hi);
  const float r = capsule.radius;
  out.min = Vector4(lo.x - r, lo.y - r, lo.z - r, lo.w);
  out.max = Vector4(hi.x + r, hi.y + r, hi.z + r, hi.w);
  return out;
}

// In place: the axis-aligned box around the eight corners transformed by m; both w become 0.
BoundingBox& TransformBox(const Matrix& m, BoundingBox& box);

// In place: the centre moved as a point (then w = 0); the radius is kept, so no scale applies.
inline BoundingSphere& TransformSphere(const Matrix& m, BoundingSphere& sphere) {
  TransformPoint(sphere.centre, m);
  return sphere;
}

// In place: the start moved as a point (then w = 0); the direction goes through all four rows
// with its own w weighting the translation row, so a direction with w = 0 only turns.
inline LineSegment& TransformSegment(const Matrix& m, LineSegment& segment) {
  TransformPoint(segment.start, m);
  TransformVector4(segment.direction, m);
  return segment;
}
inline Capsule& TransformCapsule(const Matrix& m, Capsule& capsule) {
  TransformSegment(m, capsule);
  return capsule;
}
