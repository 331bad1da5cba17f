#include "Engine/FastMath.h"

float MatrixDeterminant(const Matrix& matrix) {
  const float* m = matrix.m;
  // Cofactor expansion along the first row; each minor is a 3 by 3 of rows 2-4.
  const float c0 = Determinant3x3(m[5], m[6], m[7], m[9], m[10], m[11], m[13], m[14], m[15]);
  const float c1 = Determinant3x3(m[4], m[6], m[7], m[8], m[10], m[11], m[12], m[14], m[15]);
  const float c2 = Determinant3x3(m[4], m[5], m[7], m[8], m[9], m[11], m[12], m[13], m[15]);
  const float c3 = Determinant3x3(m[4], m[5], m[6], m[8], m[9], m[10], m[12], m[13], m[14]);
  return m[0] * c0 - m[1] * c1 + m[2] * c2 - m[3] * c3;
}

Matrix& MatrixInverse3x3(const Matrix& matrix, Matrix& out) {
  const float* m = matrix.m;
  const float det =
      m[0] * (m[5] * m[10] - m[9] * m[6]) - m[1] * (m[4] * m[10] - m[8] * m[6]) +
      m[2] * (m[9] * m[4] - m[8] * m[5]);

  // Rotations (the common case by far) skip the division: the transpose is their inverse.
  if (std::fabs(std::fabs(det) - 1.0f) <= 0.0000011920929f) return MatrixTranspose3x3(matrix, out);

  const float k = det == 0.0f ? 0.0f : 1.0f / det;
  Matrix r;
  r.m[0] = (m[5] * m[10] - m[9] * m[6]) * k;
  r.m[1] = -(m[1] * m[10] - m[9] * m[2]) * k;
  r.m[2] = (m[1] * m[6] - m[2] * m[5]) * k;
  r.m[3] = 0.0f;
  r.m[4] = -(m[4] * m[10] - m[8] * m[6]) * k;
  r.m[5] = (m[0] * m[10] - m[8] * m[2]) * k;
  r.m[6] = -(m[0] * m[6] - m[2] * m[4]) * k;
  r.m[7] = 0.0f;
  r.m[8] = (m[9] * m[4] - m[8] * m[5]) * k;
  r.m[9] = -(m[9] * m[0] - m[8] * m[1]) * k;
  r.m[10] = (m[5] * m[0] - m[1] * m[4]) * k;
  r.m[11] = 0.0f;
  for (int i = 12; i < 16; ++i) r.m[i] = m[i];
  out = r;
  return out;
}

Matrix& MatrixInverse4x4(const Matrix& matrix, Matrix& out) {
  // Cramer's rule on the transpose: the cofactors are built from twelve products of element
  // pairs of the lower half, then twelve of the upper half, each reused by four cofactors.
  float s[16];
  for (int i = 0; i < 4; ++i) {
    s[i] = matrix.m[i * 4];
    s[i + 4] = matrix.m[i * 4 + 1];
    s[i + 8] = matrix.m[i * 4 + 2];
    s[i + 12] = matrix.m[i * 4 + 3];
  }

  float p[12];
  float c[16];
  p[0] = s[10] * s[15];
  p[1] = s[11] * s[14];
  p[2] = s[9] * s[15];
  p[3] = s[11] * s[13];
  p[4] = s[9] * s[14];
  p[5] = s[10] * s[13];
  p[6] = s[8] * s[15];
  p[7] = s[11] * s[12];
  p[8] = s[8] * s[14];
  p[9] = s[10] * s[12];
  p[10] = s[8] * s[13];
  p[11] = s[9] * s[12];

  c[0] = (p[0] * s[5] + p[3] * s[6] + p[4] * s[7]) - (p[1] * s[5] + p[2] * s[6] + p[5] * s[7]);
  c[1] = (p[1] * s[4] + p[6] * s[6] + p[9] * s[7]) - (p[0] * s[4] + p[7] * s[6] + p[8] * s[7]);
  c[2] = (p[2] * s[4] + p[7] * s[5] + p[10] * s[7]) - (p[3] * s[4] + p[6] * s[5] + p[11] * s[7]);
  c[3] = (p[5] * s[4] + p[8] * s[5] + p[11] * s[6]) - (p[4] * s[4] + p[9] * s[5] + p[10] * s[6]);
  c[4] = (p[1] * s[1] + p[2] * s[2] + p[5] * s[3]) - (p[0] * s[1] + p[3] * s[2] + p[4] * s[3]);
  c[5] = (p[0] * s[0] + p[7] * s[2] + p[8] * s[3]) - (p[1] * s[0] + p[6] * s[2] + p[9] * s[3]);
  c[6] = (p[3] * s[0] + p[6] * s[1] + p[11] * s[3]) - (p[2] * s[0] + p[7] * s[1] + p[10] * s[3]);
  c[7] = (p[4] * s[0] + p[9] * s[1] + p[10] * s[2]) - (p[5] * s[0] + p[8] * s[1] + p[11] * s[2]);

  p[0] = s[2] * s[7];
  p[1] = s[3] * s[6];
  p[2] = s[1] * s[7];
  p[3] = s[3] * s[5];
  p[4] = s[1] * s[6];
  p[5] = s[2] * s[5];
  p[6] = s[0] * s[7];
  p[7] = s[3] * s[4];
  p[8] = s[0] * s[6];
  p[9] = s[2] * s[4];
  p[10] = s[0] * s[5];
  p[11] = s[1] * s[4];

  c[8] = (p[0] * s[13] + p[3] * s[14] + p[4] * s[15]) - (p[1] * s[13] + p[2] * s[14] + p[5] * s[15]);
  c[9] = (p[1] * s[12] + p[6] * s[14] + p[9] * s[15]) - (p[0] * s[12] + p[7] * s[14] + p[8] * s[15]);
  c[10] = (p[2] * s[12] + p[7] * s[13] + p[10] * s[15]) - (p[3] * s[12] + p[6] * s[13] + p[11] * s[15]);
  c[11] = (p[5] * s[12] + p[8] * s[13] + p[11] * s[14]) - (p[4] * s[12] + p[9] * s[13] + p[10] * s[14]);
  c[12] = (p[2] * s[10] + p[5] * s[11] + p[1] * s[9]) - (p[4] * s[11] + p[0] * s[9] + p[3] * s[10]);
  c[13] = (p[8] * s[11] + p[0] * s[8] + p[7] * s[10]) - (p[6] * s[10] + p[9] * s[11] + p[1] * s[8]);
  c[14] = (p[6] * s[9] + p[11] * s[11] + p[3] * s[8]) - (p[10] * s[11] + p[2] * s[8] + p[7] * s[9]);
  c[15] = (p[10] * s[10] + p[4] * s[8] + p[9] * s[9]) - (p[8] * s[9] + p[11] * s[10] + p[5] * s[8]);

  const float det = s[0] * c[0] + s[1] * c[1] + s[2] * c[2] + s[3] * c[3];
  // No near-singular threshold: only an exact zero is refused, and it yields the zero matrix.
  const float k = det == 0.0f ? 0.0f : 1.0f / det;
  for (int i = 0; i < 16; ++i) out.m[i] = c[i] * k;
  return out;
}

Matrix& MatrixQuickInverse(const Matrix& m, Matrix& out) {
  const float tx = m.m[12], ty = m.m[13], tz = m.m[14], tw = m.m[15];
  MatrixInverse3x3(m, out);
  out.m[12] = -tx;
  out.m[13] = -ty;
  out.m[14] = -tz;
  out.m[15] = tw;
  return out;
}

Matrix& MatrixRigidInverse(const Matrix& matrix, Matrix& out) {
  const float* m = matrix.m;
  Matrix r;
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) r.m[col * 4 + row] = m[row * 4 + col];
    r.m[row * 4 + 3] = 0.0f;
  }
  // The inverse translation is -t x R^T, whose components are -t . (row i of R).
  for (int i = 0; i < 3; ++i)
    r.m[12 + i] = -(m[12] * m[i * 4] + m[13] * m[i * 4 + 1] + m[14] * m[i * 4 + 2]);
  r.m[15] = 1.0f;
  out = r;
  return out;
}

Matrix& QuaternionToMatrix(const Quaternion& q, Matrix& out) {
  const float x2 = q.x + q.x, y2 = q.y + q.y, z2 = q.z + q.z;
  const float xx = q.x * x2, yy = q.y * y2, zz = q.z * z2;
  const float xy = q.x * y2, xz = q.x * z2, yz = q.y * z2;
  const float wx = q.w * x2, wy = q.w * y2, wz = q.w * z2;
  float* m = out.m;
  m[0] = 1.0f - (yy + zz);
  m[1] = xy + wz;
  m[2] = xz - wy;
  m[3] = 0.0f;
  m[4] = xy - wz;
  m[5] = 1.0f - (xx + zz);
  m[6] = yz + wx;
  m[7] = 0.0f;
  m[8] = xz + wy;
  m[9] = yz - wx;
  m[10] = 1.0f - (xx + yy);
  m[11] = 0.0f;
  m[12] = 0.0f;
  m[13] = 0.0f;
  m[14] = 0.0f;
  m[15] = 1.0f;
  return out;
}

Matrix& MatrixInterpolate(const Matrix& a, const Matrix& b, float t, Matrix& out) {
  Quaternion qa, qb, q;
  MatrixToQuaternion(a, qa);
  MatrixToQuaternion(b, qb);
  QuaternionSlerp(qa, qb, t, q);
  Vector4 translation;
  Lerp(a.GetRow(3), b.GetRow(3), t, translation);
  QuaternionToMatrix(q, out);
  out.SetTranslation(translation);
  return out;
}

Quaternion& QuaternionSlerp(const Quaternion& fromIn, const Quaternion& to, float t,
                            Quaternion& out) {
  Quaternion from = fromIn;
  float d = Dot(from, to);
  if (d < 0.0f) {
    from = Quaternion(-from.x, -from.y, -from.z, -from.w);
    d = -d;
  }

  float k0, k1;
  if (1.0f - d > 0.01f) {
    const float omega = std::atan2(SafeSqrt(1.0f - d * d), d);
    const float sinOmega = std::sin(omega);
    k0 = std::sin((1.0f - t) * omega) / sinOmega;
    k1 = std::sin(t * omega) / sinOmega;
  } else {
    // Close enough that sin(omega) would lose everything to rounding; lerp is as good here.
    k0 = 1.0f - t;
    k1 = t;
  }
  out = Quaternion(k0 * from.x + k1 * to.x, k0 * from.y + k1 * to.y, k0 * from.z + k1 * to.z,
                   k0 * from.w + k1 * to.w);
  return out;
}

Quaternion& QuaternionLerpCorrected(const Quaternion& from, const Quaternion& to, float t,
                                    Quaternion& out) {
  // The correction bends t along a cubic whose strength depends on how far apart the two are;
  // the constants were fitted to slerp. Each half is measured from its nearer end so that the
  // curve is symmetric and t = 0.5 stays the midpoint.
  const float d = Dot(from, to);
  const float k = 0.3146200f * d * d - 0.7987230f * d + 0.5069270f;
  const Quaternion* base = &from;
  const Quaternion* other = &to;
  float u = t;
  if (t > 0.5f) {
    base = &to;
    other = &from;
    u = 1.0f - t;
  }
  const float corrected = u + ((2.0f * u - 3.0f) * u + 1.0f) * k * u;
  out = Quaternion(base->x + (other->x - base->x) * corrected,
                   base->y + (other->y - base->y) * corrected,
                   base->z + (other->z - base->z) * corrected,
                   base->w + (other->w - base->w) * corrected);
  return out;
}

Quaternion& QuaternionTurnTowards(const Quaternion& current, const Quaternion& target,
                                  float maxAngle, Quaternion& out, float* angleOut) {
  const float angle = QuaternionAngleBetween(current, target);
  if (angleOut) *angleOut = angle;
  float t = angle <= 0.0f ? maxAngle : maxAngle / angle;
  if (t >= 1.0f)
    t = 1.0f;
  else if (t <= 0.0f)
    t = 0.0f;
  return QuaternionSlerp(current, target, t, out);
}
