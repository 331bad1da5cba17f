#include "Engine/FastMathBounds.h"

int SegmentHitsBox(const Vector4& start, const BoundingBox& box, const Vector4& direction) {
  if (PointInBox(start, box, 0.0f)) return 1;

  // Starting outside, the segment touches the box exactly when it crosses one of the face
  // planes at a point inside that face (edges included).
  for (int axis = 0; axis < 3; ++axis) {
    const float d = direction[axis];
    // A segment that barely moves along an axis is taken to run parallel to that axis's faces:
    // no division by almost nothing, at the price of missing a crossing of less than 0.00001.
    if (std::fabs(d) < 0.00001f) continue;
    const float faces[2] = {box.min[axis], box.max[axis]};
    for (float face : faces) {
      const float t = (face - start[axis]) / d;
      if (!(t >= 0.0f && t <= 1.0f)) continue;
      int inside = 1;
      for (int other = 0; other < 3 && inside; ++other) {
        if (other == axis) continue;
        const float c = start[other] + t * direction[other];
        if (c < box.min[other] || c > box.max[other]) inside = 0;
      }
      if (inside) return 1;
    }
  }
  return 0;
}

float PointLineDistanceSq(const LineSegment& line, const Vector4& p, float* tOut) {
  Vector4 v;
  Subtract(p, line.start, v);
  const float dd = Dot3(line.direction, line.direction);
  if (dd == 0.0f) {
    // A line without a direction is its start point; dividing would give NaN.
    if (tOut) *tOut = 0.0f;
    return LengthSq3(v);
  }
  const float t = Dot3(v, line.direction) / dd;
  if (tOut) *tOut = t;
  Vector4 step;
  Scale(line.direction, t, step);
  Subtract(v, step);
  return LengthSq3(v);
}

namespace {

// The parameter 0..1 of the point of `segment` nearest to p.
float SegmentParameter(const LineSegment& segment, const Vector4& p) {
  const float dd = Dot3(segment.direction, segment.direction);
  if (dd == 0.0f) return 0.0f;
  Vector4 v;
  Subtract(p, segment.start, v);
  return Clamp(Dot3(v, segment.direction) / dd, 0.0f, 1.0f);
}

Vector4 PointAt(const LineSegment& segment, float t) {
  Vector4 step, out;
  Scale(segment.direction, t, step);
  return Add(segment.start, step, out);
}

}  // namespace

float LineSegmentDistanceSq(const LineSegment& line, const LineSegment& segment, float* tOut) {
  if (Dot3(line.direction, line.direction) == 0.0f) {
    const float t = SegmentParameter(segment, line.start);
    if (tOut) *tOut = t;
    return std::fabs(PointSegmentDistanceSq(line.start, segment));
  }

  // The squared distance to the line is a convex quadratic in the segment parameter: its
  // minimum over 0..1 is the free minimiser when that lies inside, otherwise an end.
  float bestT = 0.0f;
  float best = PointLineDistanceSq(line, segment.start, nullptr);
  const float atEnd = PointLineDistanceSq(line, PointAt(segment, 1.0f), nullptr);
  if (atEnd < best) {
    best = atEnd;
    bestT = 1.0f;
  }

  // Components of the segment's start offset and direction across the line.
  const float dd = Dot3(line.direction, line.direction);
  Vector4 offset, across, acrossDir, step;
  Subtract(segment.start, line.start, offset);
  Scale(line.direction, Dot3(offset, line.direction) / dd, step);
  Subtract(offset, step, across);
  Scale(line.direction, Dot3(segment.direction, line.direction) / dd, step);
  Subtract(segment.direction, step, acrossDir);
  const float denom = Dot3(acrossDir, acrossDir);
  if (denom > 0.0f) {
    const float t = -Dot3(across, acrossDir) / denom;
    if (t > 0.0f && t < 1.0f) {
      const float inner = PointLineDistanceSq(line, PointAt(segment, t), nullptr);
      if (inner < best) {
        best = inner;
        bestT = t;
      }
    }
  }
  if (tOut) *tOut = bestT;
  return std::fabs(best);
}

float SegmentSegmentDistanceSq(const LineSegment& a, const LineSegment& b) {
  // Minimising |a(s) - b(t)|^2 over the unit square (Eberly's formulation). The function is a
  // convex quadratic, so the free minimiser is the answer when it lies in the square; otherwise
  // the answer lies on an edge of the square, that is an end point of one segment against the
  // whole other segment.
  //
  // The free minimiser is solved with cross products: det = |a.d x b.d|^2 equals
  // a00 a11 - a01^2, but forming it as that difference cancels catastrophically for long,
  // nearly parallel segments and sends the parameters anywhere.
  Vector4 normal, offset, cross;
  Cross(a.direction, b.direction, normal);
  Subtract(b.start, a.start, offset);
  const float det = LengthSq3(normal);

  float inner = -1.0f;
  if (det > 0.0f) {
    const float s = Dot3(Cross(offset, b.direction, cross), normal) / det;
    const float t = Dot3(Cross(offset, a.direction, cross), normal) / det;
    if (s >= 0.0f && s <= 1.0f && t >= 0.0f && t <= 1.0f) {
      Vector4 gap;
      Subtract(PointAt(a, s), PointAt(b, t), gap);
      inner = LengthSq3(gap);
      if (det >= 0.00001f) return std::fabs(inner);
    }
  }

  // Parallel or nearly so, or the free minimiser lies outside the square: the end points
  // decide. The parallel test is an absolute one on det, which also catches short segments
  // that are not parallel at all, so the free minimiser found above stays a candidate: for two
  // short segments that cross, only it finds the crossing.
  Vector4 aEnd, bEnd;
  Add(a.start, a.direction, aEnd);
  Add(b.start, b.direction, bEnd);
  float best = PointSegmentDistanceSq(a.start, b);
  float d = PointSegmentDistanceSq(aEnd, b);
  if (d < best) best = d;
  d = PointSegmentDistanceSq(b.start, a);
  if (d < best) best = d;
  d = PointSegmentDistanceSq(bEnd, a);
  if (d < best) best = d;
  if (inner >= 0.0f && inner < best) best = inner;
  return std::fabs(best);
}

BoundingBox& TransformBox(const Matrix& m, BoundingBox& box) {
  // Arvo's method: each output axis is the translation plus, per input axis, the smaller or
  // the larger of the two corner products, which bounds all eight corners without forming them.
  Vector4 lo(m.m[12], m.m[13], m.m[14], 0.0f);
  Vector4 hi = lo;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      const float e = m.m[i * 4 + j];
      const float a = box.min[i] * e;
      const float b = box.max[i] * e;
      if (a < b) {
        lo[j] += a;
        hi[j] += b;
      } else {
        lo[j] += b;
        hi[j] += a;
      }
    }
  }
  box.min = lo;
  box.max = hi;
  return box;
}
