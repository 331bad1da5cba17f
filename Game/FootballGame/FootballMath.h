#pragma once
// Small vector helpers of the penalty-kick game. Every one spells its float operations out in a
// fixed order: two machines in lockstep must compute the same bits.

#include <cstdint>

#include "Engine/FastMath.h"

namespace football {

// kPi and kHalfPi are the engine's.
constexpr float kTwoPi = 6.2831855f;

inline Vector4 Plus(const Vector4& a, const Vector4& b) {
  return Vector4(a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w);
}
inline Vector4 Minus(const Vector4& a, const Vector4& b) {
  return Vector4(a.x - b.x, a.y - b.y, a.z - b.z, a.w - b.w);
}
inline Vector4 Times(const Vector4& v, float s) {
  return Vector4(v.x * s, v.y * s, v.z * s, v.w * s);
}
// a + t (b - a), all four components.
inline Vector4 Along(const Vector4& a, const Vector4& b, float t) {
  return Vector4(a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), a.z + t * (b.z - a.z),
                 a.w + t * (b.w - a.w));
}

inline float LengthSq4(const Vector4& v) { return v.x * v.x + v.y * v.y + v.z * v.z + v.w * v.w; }
inline float SqrtOrZero(float sq) { return sq < 0.0f ? 0.0f : Sqrt(sq); }
inline float Length4(const Vector4& v) { return SqrtOrZero(LengthSq4(v)); }
inline float DistanceSq4(const Vector4& a, const Vector4& b) { return LengthSq4(Minus(a, b)); }
inline float Distance4(const Vector4& a, const Vector4& b) { return Length4(Minus(a, b)); }
inline float DistanceSqXY(const Vector4& a, const Vector4& b) {
  const float dx = a.x - b.x, dy = a.y - b.y;
  return dx * dx + dy * dy;
}
inline float DistanceSqXYZ(const Vector4& a, const Vector4& b) {
  const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
  return dx * dx + dy * dy + dz * dz;
}

// Scaled to unit length over all four components; a vector of length 1e-5 or less is left as
// it is, so a zero direction never divides by zero.
inline Vector4 Unit4(const Vector4& v) {
  const float length = Length4(v);
  return length > 0.00001f ? Times(v, 1.0f / length) : v;
}
// The same over x, y and z (w kept).
inline Vector4 Unit3(const Vector4& v) {
  const float length = SqrtOrZero(v.x * v.x + v.y * v.y + v.z * v.z);
  if (length <= 0.00001f) return v;
  const float inverse = 1.0f / length;
  return Vector4(v.x * inverse, v.y * inverse, v.z * inverse, v.w);
}
inline float Dot3Of(const Vector4& a, const Vector4& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

// (x, y, 0) turned about z by `angle`.
inline Vector4 TurnedZ(float angle, float x, float y) {
  const float c = Cos(angle), s = Sin(angle);
  return Vector4(x * c - y * s, x * s + y * c, 0.0f, 0.0f);
}

// A rotation about z by `angle` with the translation (x, y, z), w 1.
inline Matrix PlacedZ(float angle, const Vector4& at) {
  Matrix m;
  m.RotationZ(angle);
  m.SetTranslation(Vector4(at.x, at.y, at.z, 1.0f));
  return m;
}

// Strictly overlapping spheres: touching does not count.
inline bool SpheresOverlapStrict(const Vector4& a, float ra, const Vector4& b, float rb) {
  const float sum = ra + rb;
  return DistanceSqXYZ(a, b) < sum * sum;
}

// The heading of a direction, half a turn round: the way back along it.
inline float HeadingOf(const Vector4& v) { return Atan2(v.y, v.x) + kPi; }

}  // namespace football
