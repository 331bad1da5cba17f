#pragma once
// The engine's math records and the small operations on them. Everything cheap is inline and
// works on plain records in place; the few larger operations (quaternion to matrix, the
// inverses, slerp) live in FastMath.cpp.
//
// Conventions every caller relies on:
// - Vectors are row vectors: v' = v x M, so a product A x B applies A first, then B, and the
//   translation sits in the fourth row (elements 12, 13, 14). Matrices go to the device as they are.
// - Angles are radians.
// - Lockstep play compares float state between machines, so nothing here may depend on
//   contraction into fused multiply-adds or on the order the compiler likes: each expression is
//   written in the order it must be evaluated, using the single-precision library functions.
//
// Including this header also gives the bounding volumes (FastMathBounds.h) and the rotation
// descriptions (FastMathRotation.h).

#include <cmath>
#include <cstdint>

#include "Engine/Assert.h"

// ---------------------------------------------------------------------------------------------
// Records

struct Vector4 {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
  float w = 0.0f;

  Vector4() = default;
  constexpr Vector4(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}

  Vector4& Set(float x_, float y_, float z_, float w_) {
    x = x_;
    y = y_;
    z = z_;
    w = w_;
    return *this;
  }
  Vector4& SetZero() { return Set(0.0f, 0.0f, 0.0f, 0.0f); }
  // x, y, z from v, w as given.
  Vector4& Set3(const Vector4& v, float w_) { return Set(v.x, v.y, v.z, w_); }
  // x, y, z from v; w keeps its value.
  Vector4& Copy3(const Vector4& v) {
    x = v.x;
    y = v.y;
    z = v.z;
    return *this;
  }

  // Components by index 0-3 (x, y, z, w).
  float& operator[](int i) { return (&x)[i]; }
  float operator[](int i) const { return (&x)[i]; }
  float* Address(int i) { return &x + i; }
  const float* Address(int i) const { return &x + i; }
};

struct Quaternion {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
  float w = 0.0f;

  Quaternion() = default;
  constexpr Quaternion(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
  // A rotation description of code 0 holds a quaternion in a Vector4.
  constexpr explicit Quaternion(const Vector4& v) : x(v.x), y(v.y), z(v.z), w(v.w) {}

  Vector4 AsVector4() const { return Vector4(x, y, z, w); }
};

// Screen positions.
struct Vector2 {
  float x = 0.0f;
  float y = 0.0f;

  Vector2() = default;
  constexpr Vector2(float x_, float y_) : x(x_), y(y_) {}
  // Takes x and y of v.
  Vector2& Set(const Vector4& v) {
    x = v.x;
    y = v.y;
    return *this;
  }
};

// Sixteen floats, row by row: element index = row * 4 + column. The default is all zeros.
struct Matrix {
  float m[16] = {};

  float& operator[](int i) { return m[i]; }
  float operator[](int i) const { return m[i]; }

  Matrix& Identity();
  // Identity with row 4 = (v.x, v.y, v.z, 1).
  Matrix& Translation(const Vector4& v);
  Matrix& Scaling(float sx, float sy, float sz);
  Matrix& Scaling(float s) { return Scaling(s, s, s); }
  // Diagonal (v.x, v.y, v.z, v.w), zeros elsewhere.
  Matrix& Diagonal(const Vector4& v);
  Matrix& RotationX(float angle);
  Matrix& RotationY(float angle);
  Matrix& RotationZ(float angle);

  // Address of the first element of row 0-3.
  float* RowAddress(int row) { return &m[row * 4]; }
  const float* RowAddress(int row) const { return &m[row * 4]; }
  // Row 3 (the translation) comes back with all four components; rows 0-2 with w = 0.
  Vector4 GetRow(int row) const {
    const float* r = RowAddress(row);
    return Vector4(r[0], r[1], r[2], row == 3 ? r[3] : 0.0f);
  }
  // Stores all four components of v into row 4.
  Matrix& SetTranslation(const Vector4& v) {
    m[12] = v.x;
    m[13] = v.y;
    m[14] = v.z;
    m[15] = v.w;
    return *this;
  }
};

static_assert(sizeof(Vector4) == 16, "Vector4 is four floats");
static_assert(sizeof(Quaternion) == 16, "Quaternion is four floats");
static_assert(sizeof(Vector2) == 8, "Vector2 is two floats");
static_assert(sizeof(Matrix) == 64, "Matrix is sixteen floats");

// ---------------------------------------------------------------------------------------------
// Scalars

constexpr float kPi = 3.14159265f;
constexpr float kHalfPi = 1.5707964f;
constexpr float kDegToRad = 0.017453292f;
constexpr float kRadToDeg = 57.295776f;

inline float DegToRad(float d) { return d * kDegToRad; }
inline float RadToDeg(float r) { return r * kRadToDeg; }

// Truncates toward zero. A plain cast of NaN or of a value outside the int32 range is undefined
// behaviour, and the x87 answer (0x80000000 for everything) is no better, so those get fixed
// answers here: NaN gives 0, anything from 2^31 up saturates to INT32_MAX, anything below -2^31
// to INT32_MIN.
inline int32_t FloatToInt(float x) {
  if (x != x) return 0;
  if (x >= 2147483648.0f) return INT32_MAX;
  if (x < -2147483648.0f) return INT32_MIN;
  return static_cast<int32_t>(x);
}

inline float Sin(float a) { return std::sin(a); }
// The sines of two angles at once.
inline void Sin(float a, float b, float* sinA, float* sinB) {
  *sinA = std::sin(a);
  *sinB = std::sin(b);
}
inline float Cos(float a) { return std::cos(a); }
inline float Tan(float a) { return std::tan(a); }
inline float Atan(float a) { return std::atan(a); }
inline float Asin(float a) { return std::asin(a); }
inline float Acos(float a) { return std::acos(a); }
inline float Sqrt(float a) { return std::sqrt(a); }
inline float Fabs(float a) { return std::fabs(a); }
inline float Atan2(float y, float x) { return std::atan2(y, x); }
inline float Pow(float x, float y) { return std::pow(x, y); }

// Out-of-range input is a caller bug worth reporting, but the clamped answer keeps the game
// going. The line numbers are the ones the reports have always carried; log readers key on them.
inline float ClampedAsin(float x) {
  if (x < -1.0f) {
    AssertReport("0", "engine/FastMath", 471);
    return -kHalfPi;
  }
  if (x > 1.0f) {
    AssertReport("0", "engine/FastMath", 476);
    return kHalfPi;
  }
  return std::asin(x);
}

inline float ClampedAcos(float x) {
  if (x < -1.0f) {
    AssertReport("0", "engine/FastMath", 492);
    return kPi;
  }
  if (x > 1.0f) {
    AssertReport("0", "engine/FastMath", 497);
    return 0.0f;
  }
  return std::acos(x);
}

inline float SafeSqrt(float x) { return x < 0.0f ? 0.0f : std::sqrt(x); }
inline float SafeReciprocal(float x) { return x == 0.0f ? 0.0f : 1.0f / x; }
inline float SafeInverseSqrt(float x) { return x > 0.0f ? std::sqrt(1.0f / x) : 0.0f; }

inline float Determinant2x2(float a, float b, float c, float d) { return a * d - b * c; }

// Nine elements row by row; cofactor expansion along the first row.
inline float Determinant3x3(float a, float b, float c, float d, float e, float f, float g,
                            float h, float i) {
  return a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
}

// 0 where the tangent is 0, so callers never see an infinity.
inline float Cotangent(float x) {
  const float t = std::tan(x);
  return t == 0.0f ? 0.0f : 1.0f / t;
}

// atan(1 / x); at x = 0 the limit from above, pi/2 (the value at 0 must not fall back to
// atan(0) = 0, which is not an arc cotangent of anything).
inline float ArcCotangent(float x) { return x == 0.0f ? kHalfPi : std::atan(1.0f / x); }

// x >= hi gives hi, else x > lo gives x, else lo (so NaN gives lo).
inline float Clamp(float x, float lo, float hi) { return x >= hi ? hi : (x > lo ? x : lo); }
inline uint32_t Clamp(uint32_t x, uint32_t lo, uint32_t hi) {
  return x >= hi ? hi : (x > lo ? x : lo);
}

// Which argument (0, 1 or 2) holds the smallest / largest value; ties keep the earlier one.
inline int MinOf3(float a, float b, float c) {
  int which = 0;
  float best = a;
  if (b < best) {
    which = 1;
    best = b;
  }
  if (c < best) which = 2;
  return which;
}
inline int MaxOf3(float a, float b, float c) {
  int which = 0;
  float best = a;
  if (b > best) {
    which = 1;
    best = b;
  }
  if (c > best) which = 2;
  return which;
}

// ---------------------------------------------------------------------------------------------
// Vector4. The two-operand forms work in place on the first operand and return it; the forms
// with `out` write the result there (out may be one of the inputs) and return it.

inline Vector4& Add(Vector4& a, const Vector4& b) {
  a.x += b.x;
  a.y += b.y;
  a.z += b.z;
  a.w += b.w;
  return a;
}
inline Vector4& Add(const Vector4& a, const Vector4& b, Vector4& out) {
  return out.Set(a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w);
}
inline Vector4& Subtract(Vector4& a, const Vector4& b) {
  a.x -= b.x;
  a.y -= b.y;
  a.z -= b.z;
  a.w -= b.w;
  return a;
}
inline Vector4& Subtract(const Vector4& a, const Vector4& b, Vector4& out) {
  return out.Set(a.x - b.x, a.y - b.y, a.z - b.z, a.w - b.w);
}
inline Vector4& Scale(Vector4& v, float s) { return v.Set(v.x * s, v.y * s, v.z * s, v.w * s); }
inline Vector4& Scale(const Vector4& v, float s, Vector4& out) {
  return out.Set(v.x * s, v.y * s, v.z * s, v.w * s);
}
// One division, four multiplications.
inline Vector4& Divide(const Vector4& v, float s, Vector4& out) { return Scale(v, 1.0f / s, out); }
inline Vector4& Divide(Vector4& v, float s) { return Scale(v, 1.0f / s); }
// Component-wise product.
inline Vector4& Multiply(const Vector4& a, const Vector4& b, Vector4& out) {
  return out.Set(a.x * b.x, a.y * b.y, a.z * b.z, a.w * b.w);
}
inline Vector4& Multiply(Vector4& a, const Vector4& b) { return Multiply(a, b, a); }
inline Vector4& Negate(const Vector4& v, Vector4& out) { return out.Set(-v.x, -v.y, -v.z, -v.w); }
inline Vector4& Negate(Vector4& v) { return Negate(v, v); }

inline float Dot(const Vector4& a, const Vector4& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
}
inline float Dot3(const Vector4& a, const Vector4& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline float LengthSq(const Vector4& v) { return Dot(v, v); }
inline float LengthSq3(const Vector4& v) { return Dot3(v, v); }
inline float Length(const Vector4& v) { return SafeSqrt(LengthSq(v)); }
inline float Length3(const Vector4& v) { return SafeSqrt(LengthSq3(v)); }
inline float Length2(const Vector4& v) { return SafeSqrt(v.x * v.x + v.y * v.y); }

// x, y, z cross product; w of the result is 0.
inline Vector4& Cross(const Vector4& a, const Vector4& b, Vector4& out) {
  return out.Set(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x, 0.0f);
}
inline Vector4& Cross(Vector4& a, const Vector4& b) { return Cross(a, b, a); }

// Normalises over all four components and returns the length; a vector of length 0.00001 or
// less is left as it is.
inline float Normalize(Vector4& v) {
  const float l = Length(v);
  if (l > 0.00001f) Scale(v, 1.0f / l);
  return l;
}
// The vector-returning form: the same with the smaller threshold 0.0000001. Note the two
// forms really differ for lengths between the thresholds.
inline Vector4& Normalize(const Vector4& v, Vector4& out) {
  out = v;
  const float l = Length(out);
  if (l > 0.0000001f) Scale(out, 1.0f / l);
  return out;
}

// a + (b - a) * t on all four.
inline Vector4& Lerp(const Vector4& a, const Vector4& b, float t, Vector4& out) {
  return out.Set(a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t,
                 a.w + (b.w - a.w) * t);
}

// Component-wise minimum / maximum; ties take b's component.
inline Vector4& Minimize(const Vector4& a, const Vector4& b, Vector4& out) {
  return out.Set(a.x < b.x ? a.x : b.x, a.y < b.y ? a.y : b.y, a.z < b.z ? a.z : b.z,
                 a.w < b.w ? a.w : b.w);
}
inline Vector4& Maximize(const Vector4& a, const Vector4& b, Vector4& out) {
  return out.Set(a.x > b.x ? a.x : b.x, a.y > b.y ? a.y : b.y, a.z > b.z ? a.z : b.z,
                 a.w > b.w ? a.w : b.w);
}

// Clip-space outcode against |w|: 1 x > W, 2 x < -W, 4 y > W, 8 y < -W, 16 z > W, 32 z < -W.
inline int ClipOutcode(const Vector4& v) {
  const float bound = std::fabs(v.w);
  int code = 0;
  if (v.x > bound) code |= 1;
  if (v.x < -bound) code |= 2;
  if (v.y > bound) code |= 4;
  if (v.y < -bound) code |= 8;
  if (v.z > bound) code |= 16;
  if (v.z < -bound) code |= 32;
  return code;
}

// ---------------------------------------------------------------------------------------------
// Matrix

inline Matrix& Matrix::Identity() {
  for (int i = 0; i < 16; ++i) m[i] = 0.0f;
  m[0] = m[5] = m[10] = m[15] = 1.0f;
  return *this;
}
inline Matrix& Matrix::Translation(const Vector4& v) {
  Identity();
  m[12] = v.x;
  m[13] = v.y;
  m[14] = v.z;
  return *this;
}
inline Matrix& Matrix::Scaling(float sx, float sy, float sz) {
  return Diagonal(Vector4(sx, sy, sz, 1.0f));
}
inline Matrix& Matrix::Diagonal(const Vector4& v) {
  for (int i = 0; i < 16; ++i) m[i] = 0.0f;
  m[0] = v.x;
  m[5] = v.y;
  m[10] = v.z;
  m[15] = v.w;
  return *this;
}
inline Matrix& Matrix::RotationX(float angle) {
  const float c = std::cos(angle), s = std::sin(angle);
  Identity();
  m[5] = c;
  m[6] = s;
  m[9] = -s;
  m[10] = c;
  return *this;
}
inline Matrix& Matrix::RotationY(float angle) {
  const float c = std::cos(angle), s = std::sin(angle);
  Identity();
  m[0] = c;
  m[2] = -s;
  m[8] = s;
  m[10] = c;
  return *this;
}
inline Matrix& Matrix::RotationZ(float angle) {
  const float c = std::cos(angle), s = std::sin(angle);
  Identity();
  m[0] = c;
  m[1] = s;
  m[4] = -s;
  m[5] = c;
  return *this;
}

// The four rows stored in order, all four components each.
inline Matrix& MatrixFromRows(const Vector4& r1, const Vector4& r2, const Vector4& r3,
                              const Vector4& r4, Matrix& out) {
  const Vector4* rows[4] = {&r1, &r2, &r3, &r4};
  Matrix result;
  for (int r = 0; r < 4; ++r) {
    result.m[r * 4 + 0] = rows[r]->x;
    result.m[r * 4 + 1] = rows[r]->y;
    result.m[r * 4 + 2] = rows[r]->z;
    result.m[r * 4 + 3] = rows[r]->w;
  }
  out = result;
  return out;
}

// out = a x b (a applied first). All sixteen elements are computed in full, with no affine
// shortcut; the product goes through a local so that out may be a or b.
inline Matrix& Multiply(const Matrix& a, const Matrix& b, Matrix& out) {
  const float* x = a.m;
  const float* y = b.m;
  Matrix r;
  r.m[0] = x[0] * y[0] + x[1] * y[4] + x[2] * y[8] + x[3] * y[12];
  r.m[1] = x[0] * y[1] + x[1] * y[5] + x[2] * y[9] + x[3] * y[13];
  r.m[2] = x[0] * y[2] + x[1] * y[6] + x[2] * y[10] + x[3] * y[14];
  r.m[3] = x[0] * y[3] + x[1] * y[7] + x[2] * y[11] + x[3] * y[15];
  r.m[4] = x[4] * y[0] + x[5] * y[4] + x[6] * y[8] + x[7] * y[12];
  r.m[5] = x[4] * y[1] + x[5] * y[5] + x[6] * y[9] + x[7] * y[13];
  r.m[6] = x[4] * y[2] + x[5] * y[6] + x[6] * y[10] + x[7] * y[14];
  r.m[7] = x[4] * y[3] + x[5] * y[7] + x[6] * y[11] + x[7] * y[15];
  r.m[8] = x[8] * y[0] + x[9] * y[4] + x[10] * y[8] + x[11] * y[12];
  r.m[9] = x[8] * y[1] + x[9] * y[5] + x[10] * y[9] + x[11] * y[13];
  r.m[10] = x[8] * y[2] + x[9] * y[6] + x[10] * y[10] + x[11] * y[14];
  r.m[11] = x[8] * y[3] + x[9] * y[7] + x[10] * y[11] + x[11] * y[15];
  r.m[12] = x[12] * y[0] + x[13] * y[4] + x[14] * y[8] + x[15] * y[12];
  r.m[13] = x[12] * y[1] + x[13] * y[5] + x[14] * y[9] + x[15] * y[13];
  r.m[14] = x[12] * y[2] + x[13] * y[6] + x[14] * y[10] + x[15] * y[14];
  r.m[15] = x[12] * y[3] + x[13] * y[7] + x[14] * y[11] + x[15] * y[15];
  out = r;
  return out;
}

// m = a x m, in place.
inline Matrix& PreMultiply(Matrix& m, const Matrix& a) { return Multiply(a, m, m); }

// m = Diagonal(v) x m: row i of m scaled by component i of v.
inline Matrix& PreScale(Matrix& m, const Vector4& v) {
  for (int c = 0; c < 4; ++c) {
    m.m[0 + c] *= v.x;
    m.m[4 + c] *= v.y;
    m.m[8 + c] *= v.z;
    m.m[12 + c] *= v.w;
  }
  return m;
}

// out = v x m over all four components (out may be v).
inline Vector4& TransformVector4(const Vector4& v, const Matrix& m, Vector4& out) {
  const float* e = m.m;
  return out.Set(v.x * e[0] + v.y * e[4] + v.z * e[8] + v.w * e[12],
                 v.x * e[1] + v.y * e[5] + v.z * e[9] + v.w * e[13],
                 v.x * e[2] + v.y * e[6] + v.z * e[10] + v.w * e[14],
                 v.x * e[3] + v.y * e[7] + v.z * e[11] + v.w * e[15]);
}
inline Vector4& TransformVector4(Vector4& v, const Matrix& m) { return TransformVector4(v, m, v); }

// In place: v is taken as a point (w = 1, so the translation applies); x, y, z receive the
// result and w is left at 0.
inline Vector4& TransformPoint(Vector4& v, const Matrix& m) {
  const float* e = m.m;
  const float x = v.x * e[0] + v.y * e[4] + v.z * e[8] + e[12];
  const float y = v.x * e[1] + v.y * e[5] + v.z * e[9] + e[13];
  const float z = v.x * e[2] + v.y * e[6] + v.z * e[10] + e[14];
  return v.Set(x, y, z, 0.0f);
}

// Full 4 by 4 transpose (out may be m).
inline Matrix& MatrixTranspose(const Matrix& m, Matrix& out) {
  Matrix r;
  for (int row = 0; row < 4; ++row)
    for (int col = 0; col < 4; ++col) r.m[col * 4 + row] = m.m[row * 4 + col];
  out = r;
  return out;
}

// Upper 3 by 3 transposed, elements 3, 7, 11 cleared, row 4 copied.
inline Matrix& MatrixTranspose3x3(const Matrix& m, Matrix& out) {
  Matrix r;
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) r.m[col * 4 + row] = m.m[row * 4 + col];
    r.m[row * 4 + 3] = 0.0f;
  }
  for (int i = 12; i < 16; ++i) r.m[i] = m.m[i];
  out = r;
  return out;
}

float MatrixDeterminant(const Matrix& m);

// Inverts the upper 3 by 3 only; row 4 is copied unchanged (the translation is not inverted).
// A block whose determinant is within 0.0000011920929 of +-1 is taken as orthonormal and simply
// transposed; a determinant of exactly 0 gives a zero block.
Matrix& MatrixInverse3x3(const Matrix& m, Matrix& out);
// Cramer's rule over the whole matrix; a determinant of exactly 0 gives the zero matrix.
Matrix& MatrixInverse4x4(const Matrix& m, Matrix& out);
// MatrixInverse3x3, then row 4 = (-m12, -m13, -m14, m15): the translation is negated but not
// rotated, which is only the true inverse for a pure translation.
Matrix& MatrixQuickInverse(const Matrix& m, Matrix& out);
// The inverse of a rotation plus translation.
Matrix& MatrixRigidInverse(const Matrix& m, Matrix& out);

// The lengths of rows 1, 2, 3 (x, y, z of each).
inline void MatrixGetScale(const Matrix& m, float& sx, float& sy, float& sz) {
  sx = SafeSqrt(m.m[0] * m.m[0] + m.m[1] * m.m[1] + m.m[2] * m.m[2]);
  sy = SafeSqrt(m.m[4] * m.m[4] + m.m[5] * m.m[5] + m.m[6] * m.m[6]);
  sz = SafeSqrt(m.m[8] * m.m[8] + m.m[9] * m.m[9] + m.m[10] * m.m[10]);
}

// Rotation matrix of q (not normalised first); row 4 = (0, 0, 0, 1).
Matrix& QuaternionToMatrix(const Quaternion& q, Matrix& out);

// Rotation by slerp between the two matrices' quaternions, translation row by a plain lerp on
// all four components.
Matrix& MatrixInterpolate(const Matrix& a, const Matrix& b, float t, Matrix& out);

// ---------------------------------------------------------------------------------------------
// Quaternion

inline Quaternion& QuaternionIdentity(Quaternion& q) {
  q = Quaternion(0.0f, 0.0f, 0.0f, 1.0f);
  return q;
}

inline float Dot(const Quaternion& a, const Quaternion& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
}

// The conjugate over the squared norm; the zero quaternion gives the identity.
inline Quaternion& QuaternionInverse(const Quaternion& q, Quaternion& out) {
  const float n = q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w;
  if (n <= 0.0f) return QuaternionIdentity(out);
  out = Quaternion(-q.x / n, -q.y / n, -q.z / n, q.w / n);
  return out;
}

// v rotated by q without building the matrix: t = 2 (q.xyz x v), v + w t + q.xyz x t. Equal to
// v x QuaternionToMatrix(q) for a unit q; q is not normalised. out.w = 0.
inline Vector4& QuaternionRotateVector(const Vector4& v, const Quaternion& q, Vector4& out) {
  const float tx = 2.0f * (q.y * v.z - q.z * v.y);
  const float ty = 2.0f * (q.z * v.x - q.x * v.z);
  const float tz = 2.0f * (q.x * v.y - q.y * v.x);
  return out.Set(v.x + q.w * tx + (q.y * tz - q.z * ty), v.y + q.w * ty + (q.z * tx - q.x * tz),
                 v.z + q.w * tz + (q.x * ty - q.y * tx), 0.0f);
}

// a holds the axis in x, y, z (not normalised) and the angle in w.
inline Quaternion& QuaternionFromAxisAngle(const Vector4& a, Quaternion& out) {
  const float half = a.w * 0.5f;
  const float s = std::sin(half);
  out = Quaternion(a.x * s, a.y * s, a.z * s, std::cos(half));
  return out;
}

// Spherical interpolation along the shorter arc (from is negated when the dot product is
// negative); linear weights when the two are within 1 - d <= 0.01. Not normalised.
Quaternion& QuaternionSlerp(const Quaternion& from, const Quaternion& to, float t, Quaternion& out);

// A cubic-corrected lerp that tracks slerp closely without trigonometry; no sign test and no
// normalisation.
Quaternion& QuaternionLerpCorrected(const Quaternion& from, const Quaternion& to, float t,
                                    Quaternion& out);

// 2 acos(a . b); 0 when the dot product lies outside -1..1.
inline float QuaternionAngleBetween(const Quaternion& a, const Quaternion& b) {
  const float d = Dot(a, b);
  if (std::fabs(d) > 1.0f) return 0.0f;
  return 2.0f * ClampedAcos(d);
}

// current turned towards target by at most maxAngle radians (target itself once maxAngle
// reaches the angle between them). The angle between them goes to *angleOut when given.
Quaternion& QuaternionTurnTowards(const Quaternion& current, const Quaternion& target,
                                  float maxAngle, Quaternion& out, float* angleOut);

#include "Engine/FastMathBounds.h"
#include "Engine/FastMathRotation.h"
