#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "Engine/Assert.h"
#include "Engine/FastMath.h"
#include "tests/support/LogCapture.h"
#include "tests/support/MathCheck.h"
#include "tests/support/TempDir.h"

namespace {

constexpr float kHalfPiF = 1.5707964f;

void ExpectRowNear(const Matrix& m, int row, float x, float y, float z, float tolerance) {
  EXPECT_NEAR(m.m[row * 4 + 0], x, tolerance) << "row " << row;
  EXPECT_NEAR(m.m[row * 4 + 1], y, tolerance) << "row " << row;
  EXPECT_NEAR(m.m[row * 4 + 2], z, tolerance) << "row " << row;
}

// The axis order of each Euler code, first applied first.
const char* const kOrders[8] = {"", "", "ZYX", "YZX", "ZXY", "XZY", "YXZ", "XYZ"};

// The Euler product of a code, composed from the axis rotations one multiplication at a time.
Matrix EulerProduct(int code, const Vector4& a) {
  Matrix x, y, z, out;
  x.RotationX(a.x);
  y.RotationY(a.y);
  z.RotationZ(a.z);
  auto pick = [&](char axis) -> const Matrix& { return axis == 'X' ? x : axis == 'Y' ? y : z; };
  const char* order = kOrders[code];
  Multiply(pick(order[0]), pick(order[1]), out);
  return Multiply(out, pick(order[2]), out);
}

// The middle angle of each code (the one that comes from asin): 0 = x, 1 = y, 2 = z.
int MiddleAxis(int code) { return kOrders[code][1] - 'X'; }

// The element that holds +-sin of the middle angle.
int KeyElement(int code) {
  const int keys[8] = {0, 0, 8, 4, 9, 1, 6, 2};
  return keys[code];
}

bool IsRotation(const Matrix& m, float tolerance) {
  Matrix t, p;
  Multiply(m, MatrixTranspose3x3(m, t), p);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      if (std::fabs(p.m[r * 4 + c] - (r == c ? 1.0f : 0.0f)) > tolerance) return false;
  return std::fabs(MatrixDeterminant(m) - 1.0f) <= tolerance;
}

Vector4 RandomDirection(std::mt19937& rng) {
  std::normal_distribution<float> n(0.0f, 1.0f);
  Vector4 v(n(rng), n(rng), n(rng), 0.0f);
  Normalize(v);
  return v;
}

}  // namespace

TEST(RotationTest, EulerMatricesMatchTheAxisProductsAndRoundTrip) {
  const unsigned reportsBefore = AssertReportCount();
  for (int code = 2; code <= 7; ++code) {
    const int middle = MiddleAxis(code);
    for (float outerA = -3.0f; outerA <= 3.0f; outerA += 0.6f) {
      for (float outerB = -3.0f; outerB <= 3.0f; outerB += 0.75f) {
        for (float mid = -1.5f; mid <= 1.5f; mid += 0.25f) {
          float angles[3];
          angles[middle] = mid;
          angles[(middle + 1) % 3] = outerA;
          angles[(middle + 2) % 3] = outerB;
          const Vector4 a(angles[0], angles[1], angles[2], 0.0f);

          Matrix m;
          MatrixFromRotation(code, a, m);
          ExpectMatrixNear(EulerProduct(code, a), m, 2e-6f);
          if (HasFailure()) return;

          Vector4 back;
          MatrixToRotation(code, m, back);
          const float tol = 1e-5f;
          EXPECT_NEAR(back.x, a.x, tol) << code << " " << a.x << " " << a.y << " " << a.z;
          EXPECT_NEAR(back.y, a.y, tol) << code << " " << a.x << " " << a.y << " " << a.z;
          EXPECT_NEAR(back.z, a.z, tol) << code << " " << a.x << " " << a.y << " " << a.z;
          EXPECT_EQ(back.w, 0.0f);
          if (HasFailure()) return;
        }
      }
    }
  }
  EXPECT_EQ(AssertReportCount(), reportsBefore);

  // The worked example of the default order.
  Matrix m;
  MatrixFromRotation(2, Vector4(0.3f, 0.5f, 0.7f, 0.0f), m);
  Matrix x, y, z, expected;
  Multiply(Multiply(z.RotationZ(0.7f), y.RotationY(0.5f), expected), x.RotationX(0.3f), expected);
  ExpectMatrixNear(expected, m, 1e-6f);
  Vector4 back;
  MatrixToRotation(2, m, back);
  EXPECT_NEAR(back.x, 0.3f, 1e-6f);
  EXPECT_NEAR(back.y, 0.5f, 1e-6f);
  EXPECT_NEAR(back.z, 0.7f, 1e-6f);
  EXPECT_EQ(back.w, 0.0f);
  Vector4 viaDefault;
  MatrixToEuler(m, viaDefault);
  EXPECT_EQ(viaDefault.x, back.x);
  EXPECT_EQ(viaDefault.z, back.z);
}

TEST(RotationTest, GimbalRowsOfEveryCode) {
  const unsigned reportsBefore = AssertReportCount();
  for (int code = 2; code <= 7; ++code) {
    const int middle = MiddleAxis(code);
    const int key = KeyElement(code);
    for (float sign : {1.0f, -1.0f}) {
      for (float outer : {-2.0f, 0.4f, 1.1f}) {
        float angles[3] = {0.0f, 0.0f, 0.0f};
        angles[middle] = sign * kHalfPiF;
        angles[(middle + 1) % 3] = outer;
        angles[(middle + 2) % 3] = 0.3f;
        Matrix m;
        MatrixFromRotation(code, Vector4(angles[0], angles[1], angles[2], 0.0f), m);
        // Force the key exactly to +-1, then also slightly past it.
        const float keySign = m.m[key] > 0.0f ? 1.0f : -1.0f;
        for (float keyValue : {keySign, keySign * 1.0000001f}) {
          m.m[key] = keyValue;
          Vector4 back;
          MatrixToRotation(code, m, back);
          // The middle angle is exactly +-pi/2, one outer angle exactly 0, and the other
          // carries the whole turn: the description rebuilds the same matrix.
          EXPECT_EQ(std::fabs(back[middle]), kHalfPiF) << code;
          EXPECT_TRUE(back[(middle + 1) % 3] == 0.0f || back[(middle + 2) % 3] == 0.0f) << code;
          Matrix rebuilt;
          MatrixFromRotation(code, back, rebuilt);
          rebuilt.m[key] = m.m[key];
          ExpectMatrixNear(m, rebuilt, 1e-5f, "gimbal");
          if (HasFailure()) return;
        }
      }
    }

    // A NaN key takes the positive gimbal row rather than asserting.
    Matrix nanMatrix;
    nanMatrix.Identity();
    nanMatrix.m[key] = std::nanf("");
    Vector4 back;
    MatrixToRotation(code, nanMatrix, back);
    EXPECT_EQ(std::fabs(back[middle]), kHalfPiF) << code;
  }
  EXPECT_EQ(AssertReportCount(), reportsBefore);

  // The listed example: m8 = 1 gives y = pi/2, z = 0, x = atan2(m1, m5).
  Matrix m;
  m.Identity();
  m.m[8] = 1.0f;
  m.m[1] = 0.6f;
  m.m[5] = 0.8f;
  Vector4 e;
  MatrixToEuler(m, e);
  EXPECT_EQ(e.y, kHalfPiF);
  EXPECT_EQ(e.z, 0.0f);
  EXPECT_EQ(e.x, std::atan2(0.6f, 0.8f));
}

TEST(RotationTest, CodesOutsideTheTableAndTheLowByte) {
  Matrix m;
  MatrixFromRotation(2, Vector4(0.3f, -0.5f, 1.2f, 0.0f), m);
  Vector4 as2, as9, as258;
  MatrixToRotation(2, m, as2);
  MatrixToRotation(9, m, as9);
  MatrixToRotation(258, m, as258);  // low byte 2
  EXPECT_EQ(as9.x, as2.x);
  EXPECT_EQ(as9.y, as2.y);
  EXPECT_EQ(as9.z, as2.z);
  EXPECT_EQ(as258.z, as2.z);

  // Building from code 9 (or 0) reads a quaternion.
  const float s = std::sin(0.35f), c = std::cos(0.35f);
  Matrix fromNine, expected, fromLowByte;
  MatrixFromRotation(9, Vector4(0.0f, 0.0f, s, c), fromNine);
  ExpectMatrixNear(expected.RotationZ(0.7f), fromNine, 1e-6f);
  MatrixFromRotation(0, Vector4(0.0f, 0.0f, s, c), fromNine);
  ExpectMatrixNear(expected, fromNine, 1e-6f);
  // 257 is code 1: axis-angle.
  MatrixFromRotation(257, Vector4(0.0f, 0.0f, 1.0f, 0.7f), fromLowByte);
  ExpectMatrixNear(expected, fromLowByte, 1e-6f);
}

TEST(RotationTest, EulerToQuaternionMatchesTheMatrixForEveryCode) {
  for (int code = 2; code <= 7; ++code) {
    for (float a = -3.0f; a <= 3.0f; a += 0.5f)
      for (float b = -3.0f; b <= 3.0f; b += 0.7f)
        for (float c = -3.0f; c <= 3.0f; c += 0.9f) {
          const Vector4 angles(a, b, c, 0.0f);
          Quaternion q;
          EulerToQuaternion(code, angles, q);
          EXPECT_NEAR(Dot(q, q), 1.0f, 1e-6f);
          Matrix fromQ, direct;
          QuaternionToMatrix(q, fromQ);
          MatrixFromRotation(code, angles, direct);
          ExpectMatrixNear(direct, fromQ, 2e-6f, "euler quaternion");
          // QuaternionFromRotation routes the Euler codes the same way.
          Quaternion routed;
          QuaternionFromRotation(code, angles, routed);
          EXPECT_EQ(routed.w, q.w);
          if (HasFailure()) return;
        }
  }
}

TEST(RotationTest, MatrixToQuaternionBranches) {
  Quaternion q;
  Matrix m;
  // Trace branch: identity, and the matrix of (0, 0, 0, -1), which comes back with w >= 0.
  MatrixToQuaternion(m.Identity(), q);
  EXPECT_EQ(q.w, 1.0f);
  EXPECT_EQ(q.x, 0.0f);
  QuaternionToMatrix(Quaternion(0, 0, 0, -1), m);
  MatrixToQuaternion(m, q);
  EXPECT_EQ(q.w, 1.0f);
  EXPECT_EQ(q.x, 0.0f);
  EXPECT_EQ(q.y, 0.0f);
  EXPECT_EQ(q.z, 0.0f);

  // Largest-diagonal branches: i = 1 for the listed quaternion, i = 0 and i = 2 for half turns.
  const Quaternion listed(0.2052f, 0.9234f, 0.3078f, 0.1026f);
  QuaternionToMatrix(listed, m);
  ASSERT_LE(m.m[0] + m.m[5] + m.m[10], 0.0f);
  ASSERT_GT(m.m[5], m.m[0]);
  ASSERT_GT(m.m[5], m.m[10]);
  MatrixToQuaternion(m, q);
  EXPECT_NEAR(q.x, listed.x, 1e-4f);
  EXPECT_NEAR(q.y, listed.y, 1e-4f);
  EXPECT_NEAR(q.z, listed.z, 1e-4f);
  EXPECT_NEAR(q.w, listed.w, 1e-4f);

  QuaternionToMatrix(Quaternion(1, 0, 0, 0), m);
  MatrixToQuaternion(m, q);
  EXPECT_EQ(q.x, 1.0f);
  EXPECT_EQ(q.w, 0.0f);
  QuaternionToMatrix(Quaternion(0, 0, 1, 0), m);
  MatrixToQuaternion(m, q);
  EXPECT_EQ(q.z, 1.0f);
  // A half turn about (1, 1, 0): m0 and m5 tie, the lower index is chosen and the answer holds.
  const float h = std::sqrt(0.5f);
  QuaternionToMatrix(Quaternion(h, h, 0, 0), m);
  MatrixToQuaternion(m, q);
  EXPECT_NEAR(q.x, h, 1e-6f);
  EXPECT_NEAR(q.y, h, 1e-6f);

  // Non-trace branch with w < 0 before the sign fix: the result is negated to w >= 0.
  const Quaternion negW(0.1f, -0.7f, 0.7f, -0.1f);
  const float n = std::sqrt(Dot(negW, negW));
  QuaternionToMatrix(Quaternion(negW.x / n, negW.y / n, negW.z / n, negW.w / n), m);
  MatrixToQuaternion(m, q);
  EXPECT_GE(q.w, 0.0f);
  EXPECT_NEAR(q.y, 0.7f / n, 1e-5f);

  std::mt19937 rng(41);
  for (int i = 0; i < 500; ++i) {
    const Quaternion r = RandomUnitQuaternion(rng);
    QuaternionToMatrix(r, m);
    MatrixToQuaternion(m, q);
    const float sign = r.w < 0.0f ? -1.0f : 1.0f;
    EXPECT_GE(q.w, 0.0f);
    EXPECT_NEAR(q.x, sign * r.x, 1e-5f);
    EXPECT_NEAR(q.y, sign * r.y, 1e-5f);
    EXPECT_NEAR(q.z, sign * r.z, 1e-5f);
    EXPECT_NEAR(q.w, sign * r.w, 1e-5f);
    if (HasFailure()) return;
  }
}

class RotationAssertTest : public TempDirTest {};

TEST_F(RotationAssertTest, AxisAngleConversions) {
  Vector4 aa;
  QuaternionToAxisAngle(Quaternion(0, 0, 0, 1), aa);
  EXPECT_EQ(aa.x, 1.0f);
  EXPECT_EQ(aa.y, 0.0f);
  EXPECT_EQ(aa.w, 0.0f);

  QuaternionToAxisAngle(Quaternion(0, 0, std::sin(0.4f), std::cos(0.4f)), aa);
  EXPECT_NEAR(aa.z, 1.0f, 1e-6f);
  EXPECT_NEAR(aa.w, 0.8f, 1e-6f);

  Matrix m, expected;
  AxisAngleToMatrix(Vector4(0, 0, 1, 1.3f), m);
  ExpectMatrixNear(expected.RotationZ(1.3f), m, 1e-6f);

  // Round trips through every route that produces an axis-angle description.
  const Vector4 axis(0.48f, -0.6f, 0.64f, 2.2f);
  MatrixFromRotation(1, axis, m);
  MatrixToRotation(1, m, aa);
  EXPECT_NEAR(aa.x, axis.x, 1e-5f);
  EXPECT_NEAR(aa.y, axis.y, 1e-5f);
  EXPECT_NEAR(aa.z, axis.z, 1e-5f);
  EXPECT_NEAR(aa.w, axis.w, 1e-5f);
  MatrixToAxisAngle(m, aa);
  EXPECT_NEAR(aa.w, axis.w, 1e-5f);
  RotationToAxisAngle(1, axis, aa);
  EXPECT_NEAR(aa.w, axis.w, 1e-6f);
  EXPECT_NEAR(aa.y, axis.y, 1e-6f);
  Quaternion q;
  QuaternionFromRotation(1, axis, q);
  QuaternionToRotation(q, aa, 6);
  Matrix viaEuler;
  MatrixFromRotation(6, aa, viaEuler);
  ExpectMatrixNear(m, viaEuler, 1e-5f);
  QuaternionToRotation(q, aa, 0);
  EXPECT_NEAR(std::fabs(aa.w), std::fabs(q.w), 1e-6f);

  // w at 1 or just past it is a zero angle, quietly; below -1 it is reported (line 492).
  AssertCounter counter;
  const unsigned before = AssertReportCount();
  QuaternionToAxisAngle(Quaternion(0.001f, 0, 0, 1.0000001f), aa);
  EXPECT_EQ(aa.w, 0.0f);
  EXPECT_EQ(AssertReportCount(), before);
  QuaternionToAxisAngle(Quaternion(0.001f, 0, 0, -1.0001f), aa);
  EXPECT_EQ(AssertReportCount(), before + 1);
  EXPECT_EQ(counter.LastLine(), 492);
  EXPECT_NEAR(aa.w, 2.0f * 3.14159265f, 1e-6f);
  EXPECT_NEAR(aa.x, 1.0f, 1e-6f);
}

TEST(RotationTest, RotateVectorToVector) {
  Matrix m;
  Vector4 out;
  MatrixRotateVectorToVector(Vector4(1, 0, 0, 0), Vector4(0, 1, 0, 0), m);
  TransformVector4(Vector4(1, 0, 0, 0), m, out);
  EXPECT_NEAR(out.x, 0.0f, 1e-7f);
  EXPECT_NEAR(out.y, 1.0f, 1e-7f);

  // Opposite: diagonal (-1, 1, -1); only the 3 by 3 block is written.
  for (float& e : m.m) e = 7.0f;
  MatrixRotateVectorToVector(Vector4(1, 0, 0, 0), Vector4(-1, 0, 0, 0), m);
  ExpectRowNear(m, 0, -1, 0, 0, 1e-7f);
  ExpectRowNear(m, 1, 0, 1, 0, 1e-7f);
  ExpectRowNear(m, 2, 0, 0, -1, 1e-7f);
  for (int i : {3, 7, 11, 12, 13, 14, 15}) EXPECT_EQ(m.m[i], 7.0f) << i;

  // Equal directions: the identity.
  MatrixRotateVectorToVector(Vector4(0, 0.6f, 0.8f, 0), Vector4(0, 0.6f, 0.8f, 0), m);
  ExpectRowNear(m, 0, 1, 0, 0, 1e-6f);
  ExpectRowNear(m, 1, 0, 1, 0, 1e-6f);
  ExpectRowNear(m, 2, 0, 0, 1, 1e-6f);

  // Nearly parallel (inside the two-reflection band) and nearly opposite: still exact.
  for (float sign : {1.0f, -1.0f}) {
    for (float angle : {0.0003f, 0.002f, 0.03f}) {
      const Vector4 from(0.0f, 0.6f, 0.8f, 0.0f);
      const Vector4 to(sign * std::sin(angle), sign * 0.6f * std::cos(angle),
                       sign * 0.8f * std::cos(angle), 0.0f);
      m.Identity();
      MatrixRotateVectorToVector(from, to, m);
      TransformVector4(from, m, out);
      EXPECT_NEAR(out.x, to.x, 1e-6f) << sign << " " << angle;
      EXPECT_NEAR(out.y, to.y, 1e-6f) << sign << " " << angle;
      EXPECT_NEAR(out.z, to.z, 1e-6f) << sign << " " << angle;
      EXPECT_TRUE(IsRotation(m, 1e-5f)) << sign << " " << angle;
    }
  }

  std::mt19937 rng(43);
  for (int i = 0; i < 300; ++i) {
    const Vector4 from = RandomDirection(rng);
    Vector4 to = RandomDirection(rng);
    if (i % 10 == 0) Negate(from, to);  // the opposite branch, with an arbitrary direction
    Matrix r;
    r.Identity();
    MatrixRotateVectorToVector(from, to, r);
    TransformVector4(from, r, out);
    EXPECT_NEAR(out.x, to.x, 2e-5f) << i;
    EXPECT_NEAR(out.y, to.y, 2e-5f) << i;
    EXPECT_NEAR(out.z, to.z, 2e-5f) << i;
    EXPECT_TRUE(IsRotation(r, 2e-5f)) << i;
    if (HasFailure()) return;
  }
}

TEST(RotationTest, AlignAndLookAt) {
  Matrix m;
  for (float& e : m.m) e = 7.0f;
  MatrixAlignZ(Vector4(0.6f, 0, 0.8f, 0), Vector4(0, 1, 0, 0), Vector4(1, 0, 0, 0), m);
  ExpectRowNear(m, 0, 0.8f, 0, -0.6f, 1e-6f);
  ExpectRowNear(m, 1, 0, 1, 0, 1e-6f);
  ExpectRowNear(m, 2, 0.6f, 0, 0.8f, 1e-6f);
  for (int i : {3, 7, 11, 12, 13, 14, 15}) EXPECT_EQ(m.m[i], 7.0f) << i;

  // Unnormalised direction, and up along it: the fallback decides the roll.
  m.Identity();
  MatrixAlignZ(Vector4(0, 5, 0, 0), Vector4(0, 1, 0, 0), Vector4(0, 0, 1, 0), m);
  ExpectRowNear(m, 2, 0, 1, 0, 1e-6f);
  ExpectRowNear(m, 0, -1, 0, 0, 1e-6f);  // fallback x direction
  ExpectRowNear(m, 1, 0, 0, 1, 1e-6f);
  EXPECT_TRUE(IsRotation(m, 1e-6f));

  MatrixAlignY(Vector4(0, 0, 2, 0), Vector4(0, 1, 0, 0), Vector4(1, 0, 0, 0), m);
  ExpectRowNear(m, 1, 0, 0, 1, 1e-6f);
  ExpectRowNear(m, 0, -1, 0, 0, 1e-6f);  // direction x up
  ExpectRowNear(m, 2, 0, 1, 0, 1e-6f);
  EXPECT_TRUE(IsRotation(m, 1e-6f));

  std::mt19937 rng(47);
  for (int i = 0; i < 100; ++i) {
    const Vector4 dir = RandomDirection(rng);
    Matrix z, y;
    z.Identity();
    y.Identity();
    MatrixAlignZ(dir, Vector4(0, 1, 0, 0), Vector4(0, 0, 1, 0), z);
    MatrixAlignY(dir, Vector4(0, 1, 0, 0), Vector4(0, 0, 1, 0), y);
    EXPECT_TRUE(IsRotation(z, 1e-5f));
    EXPECT_TRUE(IsRotation(y, 1e-5f));
    ExpectRowNear(z, 2, dir.x, dir.y, dir.z, 1e-6f);
    ExpectRowNear(y, 1, dir.x, dir.y, dir.z, 1e-6f);
    // Up stays on the up side of the second row (AlignZ).
    EXPECT_GE(z.m[5], 0.0f);
  }

  Matrix look;
  MatrixLookAt(Vector4(1, 2, 7, 1), Vector4(1, 2, 3, 1), Vector4(0, 1, 0, 0),
               Vector4(0, 0, 1, 0), look);
  ExpectRowNear(look, 2, 0, 0, 1, 1e-6f);
  ExpectRowNear(look, 0, 1, 0, 0, 1e-6f);
  EXPECT_EQ(look.m[12], 1.0f);
  EXPECT_EQ(look.m[13], 2.0f);
  EXPECT_EQ(look.m[14], 3.0f);
  EXPECT_EQ(look.m[15], 1.0f);
}

TEST(RotationTest, RealignYKeepsTheOldForwardAsReference) {
  Matrix m;
  m.Identity();
  m.SetTranslation(Vector4(4, 5, 6, 1));
  MatrixRealignY(Vector4(1, 0, 0, 0), m);
  ExpectRowNear(m, 0, 0, -1, 0, 1e-7f);
  ExpectRowNear(m, 1, 1, 0, 0, 1e-7f);
  ExpectRowNear(m, 2, 0, 0, 1, 1e-7f);
  EXPECT_EQ(m.m[12], 4.0f);
  EXPECT_EQ(m.m[15], 1.0f);
  EXPECT_EQ(m.m[3], 0.0f);

  // The new up along the old forward: the old side row takes over.
  m.Identity();
  MatrixRealignY(Vector4(0, 0, 3, 0), m);
  ExpectRowNear(m, 0, -1, 0, 0, 1e-7f);
  ExpectRowNear(m, 1, 0, 0, 1, 1e-7f);
  ExpectRowNear(m, 2, 0, -1, 0, 1e-7f);

  // From an arbitrary orientation the result stays a rotation with the new second row.
  std::mt19937 rng(53);
  for (int i = 0; i < 100; ++i) {
    Matrix r;
    QuaternionToMatrix(RandomUnitQuaternion(rng), r);
    const Vector4 dir = RandomDirection(rng);
    MatrixRealignY(dir, r);
    ExpectRowNear(r, 1, dir.x, dir.y, dir.z, 1e-6f);
    EXPECT_TRUE(IsRotation(r, 1e-5f)) << i;
  }
}

TEST(RotationTest, QuaternionFromAxesExamples) {
  Vector4 x(0.6f, 0.8f, 0.0f, 0.0f), y(0.0f, 0.6f, 0.8f, 0.0f);
  Quaternion q;
  QuaternionFromAxes(x, y, q);
  EXPECT_NEAR(q.x, 0.4856f, 1e-4f);
  EXPECT_NEAR(q.y, 0.2428f, 1e-4f);
  EXPECT_NEAR(q.z, 0.3755f, 1e-4f);
  EXPECT_NEAR(q.w, 0.7511f, 1e-4f);
  // Its matrix has the first row xAxis and the second row in the plane of both.
  Matrix m;
  QuaternionToMatrix(q, m);
  ExpectRowNear(m, 0, 0.6f, 0.8f, 0.0f, 1e-5f);
  // x cross y = (0.64, -0.48, 0.36) is the normal of that plane.
  EXPECT_NEAR(m.m[4] * 0.64f - m.m[5] * 0.48f + m.m[6] * 0.36f, 0.0f, 1e-5f);
  EXPECT_GT(m.m[4] * 0.0f + m.m[5] * 0.6f + m.m[6] * 0.8f, 0.0f);  // on yAxis's side

  Vector4 x2(1, 0, 0, 0), y2(0.6f, 0.8f, 0, 0);
  QuaternionFromAxes(x2, y2, q);
  EXPECT_NEAR(q.w, 1.0f, 1e-6f);
  EXPECT_NEAR(q.x, 0.0f, 1e-6f);
  EXPECT_NEAR(q.z, 0.0f, 1e-6f);

  // Inputs are normalised in place, and get w = 0.
  Vector4 x3(0, 0, 2, 0.5f), y3(3, 0, 0, 0);
  QuaternionFromAxes(x3, y3, q);
  EXPECT_NEAR(x3.z, 2.0f / std::sqrt(4.25f), 1e-6f);
  EXPECT_EQ(x3.w, 0.0f);
  EXPECT_EQ(y3.x, 1.0f);

  // Parallel axes: a half turn about xAxis.
  Vector4 x4(0, 2, 0, 0), y4(0, -1, 0, 0);
  QuaternionFromAxes(x4, y4, q);
  EXPECT_EQ(q.x, 0.0f);
  EXPECT_EQ(q.y, 1.0f);
  EXPECT_EQ(q.w, 0.0f);
}
