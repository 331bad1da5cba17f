#include "Engine/FastMathRotation.h"

namespace {

Matrix& SetRotationBlock(Matrix& out, float m0, float m1, float m2, float m4, float m5, float m6,
                         float m8, float m9, float m10) {
  float* m = out.m;
  m[0] = m0;
  m[1] = m1;
  m[2] = m2;
  m[3] = 0.0f;
  m[4] = m4;
  m[5] = m5;
  m[6] = m6;
  m[7] = 0.0f;
  m[8] = m8;
  m[9] = m9;
  m[10] = m10;
  m[11] = 0.0f;
  m[12] = 0.0f;
  m[13] = 0.0f;
  m[14] = 0.0f;
  m[15] = 1.0f;
  return out;
}

// The Euler products written out from the sines and cosines of the three angles.
Matrix& EulerToMatrix(int code, const Vector4& a, Matrix& out) {
  const float cx = std::cos(a.x), sx = std::sin(a.x);
  const float cy = std::cos(a.y), sy = std::sin(a.y);
  const float cz = std::cos(a.z), sz = std::sin(a.z);
  switch (code) {
    case kRotationEulerYZX:
      return SetRotationBlock(out, cy * cz, cx * cy * sz + sx * sy, cy * sx * sz - cx * sy,  //
                              -sz, cx * cz, cz * sx,                                         //
                              cz * sy, cx * sy * sz - cy * sx, cx * cy + sx * sy * sz);
    case kRotationEulerZXY:
      return SetRotationBlock(out, cy * cz + sx * sy * sz, cx * sz, cy * sx * sz - cz * sy,  //
                              cz * sx * sy - cy * sz, cx * cz, cy * cz * sx + sy * sz,       //
                              cx * sy, -sx, cx * cy);
    case kRotationEulerXZY:
      return SetRotationBlock(out, cy * cz, sz, -cz * sy,                             //
                              sx * sy - cx * cy * sz, cx * cz, cx * sy * sz + cy * sx,  //
                              cx * sy + cy * sx * sz, -cz * sx, cx * cy - sx * sy * sz);
    case kRotationEulerYXZ:
      return SetRotationBlock(out, cy * cz - sx * sy * sz, cy * sz + cz * sx * sy, -cx * sy,  //
                              -cx * sz, cx * cz, sx,                                          //
                              cy * sx * sz + cz * sy, sy * sz - cy * cz * sx, cx * cy);
    case kRotationEulerXYZ:
      return SetRotationBlock(out, cy * cz, cy * sz, -sy,                              //
                              cz * sx * sy - cx * sz, cx * cz + sx * sy * sz, cy * sx,  //
                              cx * cz * sy + sx * sz, cx * sy * sz - cz * sx, cx * cy);
    default:  // kRotationEulerZYX
      return SetRotationBlock(out, cy * cz, cx * sz + cz * sx * sy, sx * sz - cx * cz * sy,  //
                              -cy * sz, cx * cz - sx * sy * sz, cx * sy * sz + cz * sx,      //
                              sy, -cy * sx, cx * cy);
  }
}

// Each order has one element k equal to +-sin of its middle angle. At k = +-1 the outer two
// angles turn about the same axis and only their sum (or difference) is defined; the extraction
// then puts all of it into one angle and sets the other to 0. NaN takes the k >= 1 path.
Vector4& ExtractEuler(int code, const Matrix& matrix, Vector4& out) {
  const float* m = matrix.m;
  float x = 0.0f, y = 0.0f, z = 0.0f;
  switch (code) {
    case kRotationEulerYZX: {
      const float k = m[4];
      if (!(k < 1.0f)) {
        x = std::atan2(-m[2], m[10]);
        z = -kHalfPi;
      } else if (k <= -1.0f) {
        x = std::atan2(m[2], m[10]);
        z = kHalfPi;
      } else {
        x = std::atan2(m[6], m[5]);
        y = std::atan2(m[8], m[0]);
        z = ClampedAsin(-k);
      }
      break;
    }
    case kRotationEulerZXY: {
      const float k = m[9];
      if (!(k < 1.0f)) {
        x = -kHalfPi;
        y = std::atan2(-m[4], m[0]);
      } else if (k <= -1.0f) {
        x = kHalfPi;
        y = std::atan2(m[4], m[0]);
      } else {
        x = ClampedAsin(-k);
        y = std::atan2(m[8], m[10]);
        z = std::atan2(m[1], m[5]);
      }
      break;
    }
    case kRotationEulerXZY: {
      const float k = m[1];
      if (!(k < 1.0f)) {
        y = std::atan2(m[6], m[10]);
        z = kHalfPi;
      } else if (k <= -1.0f) {
        y = -std::atan2(m[6], m[10]);
        z = -kHalfPi;
      } else {
        x = std::atan2(-m[9], m[5]);
        y = std::atan2(-m[2], m[0]);
        z = ClampedAsin(k);
      }
      break;
    }
    case kRotationEulerYXZ: {
      const float k = m[6];
      if (!(k < 1.0f)) {
        x = kHalfPi;
        z = std::atan2(m[8], m[0]);
      } else if (k <= -1.0f) {
        x = -kHalfPi;
        z = -std::atan2(m[8], m[0]);
      } else {
        x = ClampedAsin(k);
        y = std::atan2(-m[2], m[10]);
        z = std::atan2(-m[4], m[5]);
      }
      break;
    }
    case kRotationEulerXYZ: {
      const float k = m[2];
      if (!(k < 1.0f)) {
        y = -kHalfPi;
        z = std::atan2(-m[4], -m[8]);
      } else if (k <= -1.0f) {
        y = kHalfPi;
        z = -std::atan2(m[4], m[8]);
      } else {
        x = std::atan2(m[6], m[10]);
        y = ClampedAsin(-k);
        z = std::atan2(m[1], m[0]);
      }
      break;
    }
    default: {  // kRotationEulerZYX
      const float k = m[8];
      if (!(k < 1.0f)) {
        x = std::atan2(m[1], m[5]);
        y = kHalfPi;
      } else if (k <= -1.0f) {
        x = -std::atan2(m[1], m[5]);
        y = -kHalfPi;
      } else {
        x = std::atan2(-m[9], m[10]);
        y = ClampedAsin(k);
        z = std::atan2(-m[4], m[0]);
      }
      break;
    }
  }
  return out.Set(x, y, z, 0.0f);
}

// Normalises x, y, z (w set to 0), leaving a vector of length 0.00001 or less as it is.
Vector4 Direction3(const Vector4& v) {
  Vector4 d(v.x, v.y, v.z, 0.0f);
  Normalize(d);
  return d;
}

Vector4 NormalizedCross(const Vector4& a, const Vector4& b) {
  Vector4 c;
  Cross(a, b, c);
  Normalize(c);
  return c;
}

void SetRow3(Matrix& m, int row, const Vector4& v) {
  m.m[row * 4 + 0] = v.x;
  m.m[row * 4 + 1] = v.y;
  m.m[row * 4 + 2] = v.z;
}

}  // namespace

Matrix& MatrixFromRotation(int code, const Vector4& description, Matrix& out) {
  code &= 0xFF;
  if (code == kRotationAxisAngle) return AxisAngleToMatrix(description, out);
  if (code >= kRotationEulerZYX && code <= kRotationEulerXYZ)
    return EulerToMatrix(code, description, out);
  return QuaternionToMatrix(Quaternion(description), out);
}

Matrix& AxisAngleToMatrix(const Vector4& description, Matrix& out) {
  Quaternion q;
  QuaternionFromAxisAngle(description, q);
  return QuaternionToMatrix(q, out);
}

Vector4& MatrixToRotation(int code, const Matrix& m, Vector4& out) {
  code &= 0xFF;
  if (code == kRotationQuaternion) {
    Quaternion q;
    MatrixToQuaternion(m, q);
    out = q.AsVector4();
    return out;
  }
  if (code == kRotationAxisAngle) return MatrixToAxisAngle(m, out);
  return ExtractEuler(code <= kRotationEulerXYZ ? code : kRotationEulerZYX, m, out);
}

Vector4& MatrixToEuler(const Matrix& m, Vector4& out) {
  return ExtractEuler(kRotationEulerZYX, m, out);
}

Quaternion& MatrixToQuaternion(const Matrix& matrix, Quaternion& out) {
  const float* m = matrix.m;
  const float trace = m[0] + m[5] + m[10];
  float q[4];  // x, y, z, w
  if (trace > 0.0f) {
    const float s = SafeSqrt(trace + 1.0f);
    const float f = s == 0.0f ? s : 0.5f / s;
    q[3] = s * 0.5f;
    q[0] = (m[6] - m[9]) * f;
    q[1] = (m[8] - m[2]) * f;
    q[2] = (m[1] - m[4]) * f;
  } else {
    // Built around the largest diagonal element, which keeps s well away from 0.
    int i = 0;
    if (m[5] > m[0]) i = 1;
    if (m[10] > m[i * 5]) i = 2;
    const int j = (i + 1) % 3;
    const int k = (i + 2) % 3;
    const float s = SafeSqrt(m[i * 5] - m[j * 5] - m[k * 5] + 1.0f);
    const float f = s == 0.0f ? s : 0.5f / s;
    q[i] = s * 0.5f;
    q[j] = (m[i * 4 + j] + m[j * 4 + i]) * f;
    q[k] = (m[i * 4 + k] + m[k * 4 + i]) * f;
    q[3] = (m[j * 4 + k] - m[k * 4 + j]) * f;
  }
  if (q[3] < 0.0f) {
    for (float& c : q) c = -c;
  }
  out = Quaternion(q[0], q[1], q[2], q[3]);
  return out;
}

Vector4& QuaternionToAxisAngle(const Quaternion& q, Vector4& out) {
  const float n = q.x * q.x + q.y * q.y + q.z * q.z;
  if (n <= 1.4210855e-14f) return out.Set(1.0f, 0.0f, 0.0f, 0.0f);
  const float f = SafeInverseSqrt(n);
  // w at or past 1 is rounding on a tiny rotation, not an error; below -1 it is.
  const float angle = q.w >= 1.0f ? 0.0f : 2.0f * ClampedAcos(q.w);
  return out.Set(q.x * f, q.y * f, q.z * f, angle);
}

Vector4& QuaternionToRotation(const Quaternion& q, Vector4& out, int code) {
  Matrix m;
  QuaternionToMatrix(q, m);
  return MatrixToRotation(code, m, out);
}

Vector4& MatrixToAxisAngle(const Matrix& m, Vector4& out) {
  Quaternion q;
  MatrixToQuaternion(m, q);
  return QuaternionToAxisAngle(q, out);
}

Quaternion& QuaternionFromRotation(int code, const Vector4& description, Quaternion& out) {
  code &= 0xFF;
  if (code == kRotationAxisAngle) return QuaternionFromAxisAngle(description, out);
  if (code >= kRotationEulerZYX && code <= kRotationEulerXYZ)
    return EulerToQuaternion(code, description, out);
  out = Quaternion(description);
  return out;
}

Vector4& RotationToAxisAngle(int code, const Vector4& description, Vector4& out) {
  Quaternion q;
  QuaternionFromRotation(code, description, q);
  return QuaternionToAxisAngle(q, out);
}

Quaternion& EulerToQuaternion(int code, const Vector4& angles, Quaternion& out) {
  // The product of the three axis quaternions, last applied on the left: applying A then B is
  // the quaternion B * A.
  const float hx = std::sin(angles.x * 0.5f), cx = std::cos(angles.x * 0.5f);
  const float hy = std::sin(angles.y * 0.5f), cy = std::cos(angles.y * 0.5f);
  const float hz = std::sin(angles.z * 0.5f), cz = std::cos(angles.z * 0.5f);
  const float ccc = cx * cy * cz, sss = hx * hy * hz;
  const float scc = hx * cy * cz, css = cx * hy * hz;
  const float csc = cx * hy * cz, scs = hx * cy * hz;
  const float ccs = cx * cy * hz, ssc = hx * hy * cz;
  switch (code & 0xFF) {
    case kRotationEulerYZX:
      out = Quaternion(scc - css, csc - scs, ccs + ssc, ccc + sss);
      break;
    case kRotationEulerZXY:
      out = Quaternion(scc + css, csc - scs, ccs - ssc, ccc + sss);
      break;
    case kRotationEulerXZY:
      out = Quaternion(scc + css, csc + scs, ccs - ssc, ccc - sss);
      break;
    case kRotationEulerYXZ:
      out = Quaternion(scc - css, csc + scs, ccs + ssc, ccc - sss);
      break;
    case kRotationEulerXYZ:
      out = Quaternion(scc - css, csc + scs, ccs - ssc, ccc + sss);
      break;
    default:  // kRotationEulerZYX
      out = Quaternion(scc + css, csc - scs, ccs + ssc, ccc - sss);
      break;
  }
  return out;
}

Matrix& MatrixRotateVectorToVector(const Vector4& from, const Vector4& to, Matrix& out) {
  // Moller and Hughes, "Efficiently building a matrix to rotate one vector to another", written
  // for row vectors (the transpose of their column form).
  const float e = Dot(from, to);
  Vector4 v;
  Cross(from, to, v);
  const float vv = LengthSq3(v);
  float* m = out.m;

  // Parallel or opposite. Directions normalised in floats are a few units in the last place
  // off unit length, so an exactly reversed direction can give e = -0.9999998 with a cross
  // product of exactly zero, which the formula below would turn into -I, a reflection: a
  // vanishing cross product also goes this way.
  if (std::fabs(e) >= 0.99999988f || vv == 0.0f) {
    // Two reflections: H_u takes `from` to a coordinate axis far from it, H_v takes that axis
    // on to `to`. Their product is a rotation; for row vectors it is H_u H_v, that is
    // I - c1 u u^T - c2 v v^T + c3 u v^T.
    const float ax = std::fabs(from.x), ay = std::fabs(from.y), az = std::fabs(from.z);
    float axis[3] = {0.0f, 0.0f, 0.0f};
    if (ax < ay && ax < az)
      axis[0] = 1.0f;
    else if (ay < az)
      axis[1] = 1.0f;
    else
      axis[2] = 1.0f;
    const float u[3] = {axis[0] - from.x, axis[1] - from.y, axis[2] - from.z};
    const float w[3] = {axis[0] - to.x, axis[1] - to.y, axis[2] - to.z};
    const float uu = u[0] * u[0] + u[1] * u[1] + u[2] * u[2];
    const float ww = w[0] * w[0] + w[1] * w[1] + w[2] * w[2];
    const float uw = u[0] * w[0] + u[1] * w[1] + u[2] * w[2];
    const float c1 = 2.0f / uu;
    const float c2 = 2.0f / ww;
    const float c3 = 4.0f * uw / (uu * ww);
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        m[i * 4 + j] = (i == j ? 1.0f : 0.0f) - c1 * u[i] * u[j] - c2 * w[i] * w[j] +
                       c3 * u[i] * w[j];
      }
    }
    return out;
  }

  // h = 1 / (1 + e). Towards opposite directions 1 + e cancels down to its rounding error, so
  // there the equal value (1 - e) / (v . v) is used, which keeps its precision.
  const float h = e >= 0.0f ? 1.0f / (1.0f + e) : (1.0f - e) / vv;
  const float hvx = h * v.x, hvz = h * v.z;
  const float hvxy = hvx * v.y, hvxz = hvx * v.z, hvyz = hvz * v.y;
  m[0] = e + hvx * v.x;
  m[1] = hvxy + v.z;
  m[2] = hvxz - v.y;
  m[4] = hvxy - v.z;
  m[5] = e + h * v.y * v.y;
  m[6] = hvyz + v.x;
  m[8] = hvxz + v.y;
  m[9] = hvyz - v.x;
  m[10] = e + hvz * v.z;
  return out;
}

Matrix& MatrixAlignZ(const Vector4& direction, const Vector4& up, const Vector4& fallbackUp,
                     Matrix& out) {
  Vector4 dir = direction;
  Normalize(dir);
  const Vector4& reference = std::fabs(Dot(dir, up)) > 0.999f ? fallbackUp : up;
  const Vector4 side = NormalizedCross(reference, dir);
  SetRow3(out, 0, side);
  SetRow3(out, 1, NormalizedCross(dir, side));
  SetRow3(out, 2, dir);
  return out;
}

Matrix& MatrixAlignY(const Vector4& direction, const Vector4& up, const Vector4& fallbackUp,
                     Matrix& out) {
  Vector4 dir = direction;
  Normalize(dir);
  const Vector4& reference = std::fabs(Dot(dir, up)) > 0.999f ? fallbackUp : up;
  const Vector4 side = NormalizedCross(dir, reference);
  SetRow3(out, 0, side);
  SetRow3(out, 1, dir);
  SetRow3(out, 2, NormalizedCross(side, dir));
  return out;
}

Matrix& MatrixRealignY(const Vector4& direction, Matrix& m) {
  const Vector4 d = Direction3(direction);
  const Vector4 oldX = m.GetRow(0);
  const Vector4 oldZ = Direction3(m.GetRow(2));
  Vector4 x, z;
  if (std::fabs(Dot3(d, oldZ)) > 0.999f) {
    // The old forward row is nearly the new up: the old side row keeps the turn stable.
    z = NormalizedCross(oldX, oldZ);
    x = NormalizedCross(z, d);
  } else {
    x = NormalizedCross(d, oldZ);
    z = NormalizedCross(x, d);
  }
  SetRow3(m, 0, x);
  SetRow3(m, 1, d);
  SetRow3(m, 2, z);
  return m;
}

Quaternion& QuaternionFromAxes(Vector4& xAxis, Vector4& yAxis, Quaternion& out) {
  Normalize(xAxis, xAxis);
  Normalize(yAxis, yAxis);
  const float d = Dot(xAxis, yAxis);
  if (std::fabs(d) > 0.9999f) {
    // No plane to speak of: a half turn about xAxis at least keeps the first row in place.
    out = Quaternion(xAxis.x, xAxis.y, xAxis.z, 0.0f);
    return out;
  }
  xAxis.w = 0.0f;
  yAxis.w = 0.0f;
  Vector4 y, step, z;
  Scale(xAxis, Dot(xAxis, yAxis), step);
  Subtract(yAxis, step, y);
  Normalize(y, y);
  Cross(xAxis, y, z);
  Matrix m;
  MatrixFromRows(xAxis, y, z, Vector4(0.0f, 0.0f, 0.0f, 1.0f), m);
  return MatrixToQuaternion(m, out);
}

Matrix& MatrixLookAt(const Vector4& target, const Vector4& position, const Vector4& up,
                     const Vector4& fallbackUp, Matrix& out) {
  Vector4 direction;
  Subtract(target, position, direction);
  MatrixAlignZ(direction, up, fallbackUp, out);
  out.SetTranslation(position);
  return out;
}
