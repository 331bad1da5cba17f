#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <utility>

#include "Engine/Assert.h"
#include "Engine/FastMath.h"
#include "tests/support/LogCapture.h"
#include "tests/support/MathCheck.h"
#include "tests/support/TempDir.h"

namespace {

constexpr double kPiD = 3.14159265358979323846;

// Reference product in the textbook loop form, row-vector convention: (a b)[r][c] = sum a[r][k] b[k][c].
Matrix NaiveProduct(const Matrix& a, const Matrix& b) {
  Matrix r;
  for (int row = 0; row < 4; ++row)
    for (int col = 0; col < 4; ++col) {
      float sum = 0.0f;
      for (int k = 0; k < 4; ++k) sum += a.m[row * 4 + k] * b.m[k * 4 + col];
      r.m[row * 4 + col] = sum;
    }
  return r;
}

Matrix RandomMatrix(std::mt19937& rng) {
  std::uniform_real_distribution<float> value(-2.0f, 2.0f);
  Matrix m;
  for (float& e : m.m) e = value(rng);
  return m;
}

// The rotation angle between two unit quaternions along the shorter arc.
double RotationAngle(const Quaternion& a, const Quaternion& b) {
  double d = std::fabs(double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z +
                       double(a.w) * b.w);
  return 2.0 * std::acos(std::min(d, 1.0));
}

}  // namespace

TEST(FastMathTest, FloatToIntTruncatesAndGivesFixedAnswersOutsideTheRange) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  // The largest float below 2^31 and -2^31 itself are still exact; beyond them the ends hold,
  // -2147483904 being the next float below -2^31.
  const std::pair<float, int32_t> cases[] = {
      {2.9f, 2},         {-2.9f, -2},       {0.99999994f, 0},
      {-0.5f, 0},        {2147483520.0f, 2147483520},       {-2147483648.0f, INT32_MIN},
      {2147483648.0f, INT32_MAX},          {1e20f, INT32_MAX}, {inf, INT32_MAX},
      {-2147483904.0f, INT32_MIN},         {-inf, INT32_MIN}, {nan, 0}, {-nan, 0}};
  for (const auto& [in, out] : cases) EXPECT_EQ(FloatToInt(in), out) << in;
}

class FastMathAssertTest : public TempDirTest {};

TEST_F(FastMathAssertTest, ClampedAsinAndAcosReportOutOfRangeWithTheirLines) {
  AssertCounter counter;
  const unsigned before = AssertReportCount();

  // The ends are inside the range.
  EXPECT_FLOAT_EQ(ClampedAsin(1.0f), float(kPiD / 2));
  EXPECT_FLOAT_EQ(ClampedAsin(-1.0f), float(-kPiD / 2));
  EXPECT_FLOAT_EQ(ClampedAcos(-1.0f), float(kPiD));
  EXPECT_EQ(ClampedAcos(1.0f), 0.0f);
  EXPECT_FLOAT_EQ(ClampedAsin(0.5f), float(kPiD / 6));
  EXPECT_EQ(AssertReportCount(), before);

  struct Case {
    float (*fn)(float);
    float input;
    float result;
    int line;
  };
  const Case cases[] = {
      {ClampedAsin, -1.0001f, -1.5707964f, 471},
      {ClampedAsin, 1.0001f, 1.5707964f, 476},
      {ClampedAcos, -1.0001f, float(kPiD), 492},
      {ClampedAcos, 1.0001f, 0.0f, 497},
  };
  unsigned expected = before;
  for (const Case& c : cases) {
    EXPECT_EQ(c.fn(c.input), c.result) << c.line;
    ++expected;
    EXPECT_EQ(AssertReportCount(), expected);
    EXPECT_EQ(counter.LastLine(), c.line);
    EXPECT_EQ(counter.LastFile(), "engine/FastMath");
  }
  EXPECT_TRUE(DebugLogContains("Assertion failed: 0, file engine/FastMath, line 497"));
}

TEST(FastMathTest, ScalarHelpersFollowTheirGuardRules) {
  EXPECT_FLOAT_EQ(DegToRad(180.0f), float(kPiD));
  EXPECT_FLOAT_EQ(RadToDeg(float(kPiD / 2)), 90.0f);

  EXPECT_EQ(SafeSqrt(-1.0f), 0.0f);
  EXPECT_EQ(SafeSqrt(6.25f), 2.5f);
  EXPECT_EQ(SafeReciprocal(0.0f), 0.0f);
  EXPECT_EQ(SafeReciprocal(-4.0f), -0.25f);
  EXPECT_EQ(SafeInverseSqrt(4.0f), 0.5f);
  EXPECT_EQ(SafeInverseSqrt(0.0f), 0.0f);
  EXPECT_EQ(SafeInverseSqrt(-4.0f), 0.0f);

  EXPECT_EQ(Cotangent(0.0f), 0.0f);
  EXPECT_NEAR(Cotangent(float(kPiD / 4)), 1.0f, 1e-6f);
  EXPECT_NEAR(Cotangent(float(kPiD / 3)), 1.0 / std::sqrt(3.0), 1e-6f);
  EXPECT_NEAR(ArcCotangent(1.0f), kPiD / 4, 1e-6);
  EXPECT_NEAR(ArcCotangent(-std::sqrt(3.0f)), -kPiD / 6, 1e-6);
  // The limit from above, continuous with tiny positive arguments.
  EXPECT_EQ(ArcCotangent(0.0f), 1.5707964f);
  EXPECT_NEAR(ArcCotangent(1e-7f), kPiD / 2, 1e-6);

  EXPECT_EQ(Determinant2x2(1.0f, 2.0f, 3.0f, 4.0f), -2.0f);
  // A triangular matrix's determinant is the product of its diagonal; a swap of rows negates it.
  EXPECT_EQ(Determinant3x3(2, 7, -3, 0, 3, 5, 0, 0, 4), 24.0f);
  EXPECT_EQ(Determinant3x3(0, 3, 5, 2, 7, -3, 0, 0, 4), -24.0f);

  EXPECT_EQ(Clamp(5.0f, 0.0f, 5.0f), 5.0f);
  EXPECT_EQ(Clamp(7.0f, 0.0f, 5.0f), 5.0f);
  EXPECT_EQ(Clamp(-1.0f, 0.0f, 5.0f), 0.0f);
  EXPECT_EQ(Clamp(2.5f, 0.0f, 5.0f), 2.5f);
  EXPECT_EQ(Clamp(std::numeric_limits<float>::quiet_NaN(), 1.0f, 5.0f), 1.0f);
  // Unsigned comparisons: a "negative" value is huge and clamps to hi.
  EXPECT_EQ(Clamp(0xFFFFFFFFu, 5u, 10u), 10u);
  EXPECT_EQ(Clamp(3u, 5u, 10u), 5u);
  EXPECT_EQ(Clamp(7u, 5u, 10u), 7u);

  EXPECT_EQ(MinOf3(3.0f, 1.0f, 2.0f), 1);
  EXPECT_EQ(MinOf3(1.0f, 1.0f, 1.0f), 0);
  EXPECT_EQ(MinOf3(2.0f, 1.0f, 1.0f), 1);
  EXPECT_EQ(MinOf3(2.0f, 3.0f, 0.5f), 2);
  EXPECT_EQ(MaxOf3(1.0f, 3.0f, 3.0f), 1);
  EXPECT_EQ(MaxOf3(4.0f, 3.0f, 4.0f), 0);
  EXPECT_EQ(MaxOf3(1.0f, 2.0f, 5.0f), 2);

  float sa = 0.0f, sb = 0.0f;
  Sin(0.5f, -1.25f, &sa, &sb);
  EXPECT_EQ(sa, std::sin(0.5f));
  EXPECT_EQ(sb, std::sin(-1.25f));
}

TEST(FastMathTest, VectorArithmeticAndCopies) {
  Vector4 a(1.0f, 2.0f, 3.0f, 4.0f);
  const Vector4 b(0.5f, -1.0f, 2.0f, -4.0f);
  Vector4 out;
  ExpectVectorNear(Vector4(1.5f, 1.0f, 5.0f, 0.0f), Add(a, b, out), 0.0f);
  ExpectVectorNear(Vector4(0.5f, 3.0f, 1.0f, 8.0f), Subtract(a, b, out), 0.0f);
  ExpectVectorNear(Vector4(0.5f, -2.0f, 6.0f, -16.0f), Multiply(a, b, out), 0.0f);
  ExpectVectorNear(Vector4(-0.5f, 1.0f, -2.0f, 4.0f), Negate(b, out), 0.0f);
  ExpectVectorNear(Vector4(0.25f, 0.5f, 0.75f, 1.0f), Divide(a, 4.0f, out), 0.0f);
  EXPECT_EQ(Dot(a, b), 0.5f - 2.0f + 6.0f - 16.0f);
  EXPECT_EQ(Dot3(a, b), 0.5f - 2.0f + 6.0f);
  EXPECT_EQ(Length(Vector4(1.0f, 2.0f, 2.0f, 4.0f)), 5.0f);
  EXPECT_EQ(Length3(Vector4(2.0f, 3.0f, 6.0f, 100.0f)), 7.0f);
  EXPECT_EQ(Length2(Vector4(3.0f, 4.0f, 100.0f, 100.0f)), 5.0f);

  // In-place forms change their first operand and hand it back.
  EXPECT_EQ(&Scale(a, 2.0f), &a);
  ExpectVectorNear(Vector4(2.0f, 4.0f, 6.0f, 8.0f), a, 0.0f);

  // Cross: right-handed, w of the result is 0 whatever the inputs' w.
  ExpectVectorNear(Vector4(0.0f, 0.0f, 1.0f, 0.0f),
                   Cross(Vector4(1, 0, 0, 5), Vector4(0, 1, 0, 7), out), 0.0f);
  ExpectVectorNear(Vector4(-3.0f, 6.0f, -3.0f, 0.0f),
                   Cross(Vector4(1, 2, 3, 1), Vector4(4, 5, 6, 1), out), 0.0f);

  Lerp(Vector4(0, 10, -2, 1), Vector4(4, 20, 2, 3), 0.25f, out);
  ExpectVectorNear(Vector4(1.0f, 12.5f, -1.0f, 1.5f), out, 0.0f);

  // Ties take the second argument: visible through the sign of zero.
  Minimize(Vector4(0.0f, 1.0f, 5.0f, -1.0f), Vector4(-0.0f, 2.0f, 3.0f, -2.0f), out);
  EXPECT_TRUE(std::signbit(out.x));
  ExpectVectorNear(Vector4(0.0f, 1.0f, 3.0f, -2.0f), out, 0.0f);
  Maximize(Vector4(-0.0f, 1.0f, 5.0f, -1.0f), Vector4(0.0f, 2.0f, 3.0f, -2.0f), out);
  EXPECT_FALSE(std::signbit(out.x));
  ExpectVectorNear(Vector4(0.0f, 2.0f, 5.0f, -1.0f), out, 0.0f);

  Vector4 v(9.0f, 9.0f, 9.0f, 9.0f);
  v.Copy3(Vector4(1.0f, 2.0f, 3.0f, 4.0f));
  ExpectVectorNear(Vector4(1.0f, 2.0f, 3.0f, 9.0f), v, 0.0f);
  v.Set3(Vector4(5.0f, 6.0f, 7.0f, 8.0f), 1.0f);
  ExpectVectorNear(Vector4(5.0f, 6.0f, 7.0f, 1.0f), v, 0.0f);
  v[3] = 2.0f;
  *v.Address(0) = -1.0f;
  EXPECT_EQ(v.w, 2.0f);
  EXPECT_EQ(v[0], -1.0f);

  Vector2 screen;
  screen.Set(Vector4(320.0f, 240.0f, 7.0f, 1.0f));
  EXPECT_EQ(screen.x, 320.0f);
  EXPECT_EQ(screen.y, 240.0f);
}

TEST(FastMathTest, NormalizeFormsHaveDifferentThresholds) {
  Vector4 tiny(0.000001f, 0.0f, 0.0f, 0.0f);
  EXPECT_EQ(Normalize(tiny), 0.000001f);
  EXPECT_EQ(tiny.x, 0.000001f);  // unchanged below 0.00001

  Vector4 out;
  Normalize(Vector4(0.000001f, 0.0f, 0.0f, 0.0f), out);
  EXPECT_NEAR(out.x, 1.0f, 1e-6f);
  // Below 1e-7 even the vector form gives up.
  Normalize(Vector4(0.0f, 0.00000005f, 0.0f, 0.0f), out);
  EXPECT_EQ(out.y, 0.00000005f);

  // All four components take part.
  Vector4 v(1.0f, 2.0f, 2.0f, 4.0f);
  EXPECT_EQ(Normalize(v), 5.0f);
  ExpectVectorNear(Vector4(0.2f, 0.4f, 0.4f, 0.8f), v, 1e-7f);
}

TEST(FastMathTest, ClipOutcodeUsesTheMagnitudeOfW) {
  EXPECT_EQ(ClipOutcode(Vector4(2, 0, 0, 1)), 1);
  EXPECT_EQ(ClipOutcode(Vector4(0, 0, -2, -1)), 32);
  EXPECT_EQ(ClipOutcode(Vector4(-2, 3, 0, 1)), 2 | 4);
  EXPECT_EQ(ClipOutcode(Vector4(0, -3, 3, -2)), 8 | 16);
  EXPECT_EQ(ClipOutcode(Vector4(1, -1, 1, 1)), 0);  // boundaries are inside
  EXPECT_EQ(ClipOutcode(Vector4(0.5f, 0.5f, 0.5f, -1)), 0);
}

TEST(FastMathTest, MatricesActOnRowVectors) {
  Matrix t;
  t.Translation(Vector4(1.0f, 2.0f, 3.0f, 0.0f));
  Vector4 point(5.0f, 5.0f, 5.0f, 1.0f), dir(5.0f, 5.0f, 5.0f, 0.0f), out;
  ExpectVectorNear(Vector4(6.0f, 7.0f, 8.0f, 1.0f), TransformVector4(point, t, out), 0.0f);
  ExpectVectorNear(dir, TransformVector4(dir, t, out), 0.0f);

  // TransformPoint takes w as 1 whatever it holds and leaves 0 behind.
  Vector4 p(5.0f, 5.0f, 5.0f, 0.0f);
  TransformPoint(p, t);
  ExpectVectorNear(Vector4(6.0f, 7.0f, 8.0f, 0.0f), p, 0.0f);

  Matrix rz;
  rz.RotationZ(float(kPiD / 2));
  TransformVector4(Vector4(1.0f, 0.0f, 0.0f, 0.0f), rz, out);
  ExpectVectorNear(Vector4(0.0f, 1.0f, 0.0f, 0.0f), out, 1e-7f);
  Matrix rx, ry;
  rx.RotationX(float(kPiD / 2));
  ry.RotationY(float(kPiD / 2));
  ExpectVectorNear(Vector4(0, 0, 1, 0), TransformVector4(Vector4(0, 1, 0, 0), rx, out), 1e-7f);
  ExpectVectorNear(Vector4(1, 0, 0, 0), TransformVector4(Vector4(0, 0, 1, 0), ry, out), 1e-7f);

  // A x B applies A first: rotate then translate keeps the translation as given.
  Matrix rt, tr;
  Multiply(rz, t, rt);
  Multiply(t, rz, tr);
  ExpectVectorNear(Vector4(1.0f, 3.0f, 3.0f, 1.0f),
                   TransformVector4(Vector4(1, 0, 0, 1), rt, out), 1e-6f);
  ExpectVectorNear(Vector4(-2.0f, 2.0f, 3.0f, 1.0f),
                   TransformVector4(Vector4(1, 0, 0, 1), tr, out), 1e-6f);
  EXPECT_EQ(rt.GetRow(3).x, 1.0f);
  EXPECT_EQ(rt.GetRow(3).w, 1.0f);

  Matrix s;
  s.Scaling(2.0f, 3.0f, 4.0f);
  ExpectVectorNear(Vector4(2, 3, 4, 1), TransformVector4(Vector4(1, 1, 1, 1), s, out), 0.0f);
  s.Diagonal(Vector4(1, 2, 3, 4));
  EXPECT_EQ(MatrixDeterminant(s), 24.0f);
}

TEST(FastMathTest, MultiplyMatchesTheTextbookProductBitForBit) {
  std::mt19937 rng(7);
  for (int i = 0; i < 200; ++i) {
    const Matrix a = RandomMatrix(rng), b = RandomMatrix(rng);
    Matrix out;
    Multiply(a, b, out);
    const Matrix expected = NaiveProduct(a, b);
    for (int e = 0; e < 16; ++e) ASSERT_EQ(out.m[e], expected.m[e]) << e;

    // Output aliasing either input still gives the full product.
    Matrix alias = a;
    Multiply(alias, b, alias);
    for (int e = 0; e < 16; ++e) ASSERT_EQ(alias.m[e], expected.m[e]);
    alias = b;
    PreMultiply(alias, a);
    for (int e = 0; e < 16; ++e) ASSERT_EQ(alias.m[e], expected.m[e]);

    // PreScale is the product with a diagonal matrix on the left.
    const Vector4 v(1.5f, -2.0f, 0.25f, 3.0f);
    Matrix scaled = b, diag;
    PreScale(scaled, v);
    ExpectMatrixNear(NaiveProduct(diag.Diagonal(v), b), scaled, 0.0f);

    // v x M over four components, against a one-row matrix product.
    Vector4 row(a.m[0], a.m[1], a.m[2], a.m[3]), transformed;
    TransformVector4(row, b, transformed);
    for (int c = 0; c < 4; ++c) ASSERT_EQ(transformed[c], expected.m[c]);
  }
}

TEST(FastMathTest, TransposesAndRowAccess) {
  Matrix m;
  for (int i = 0; i < 16; ++i) m.m[i] = float(i + 1);
  Matrix t;
  MatrixTranspose(m, t);
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_EQ(t.m[c * 4 + r], m.m[r * 4 + c]);
  MatrixTranspose(m, m);  // in place
  ExpectMatrixNear(t, m, 0.0f);
  MatrixTranspose(m, m);

  Matrix t3;
  MatrixTranspose3x3(m, t3);
  const float expected3[16] = {1, 5, 9, 0, 2, 6, 10, 0, 3, 7, 11, 0, 13, 14, 15, 16};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(t3.m[i], expected3[i]) << i;

  ExpectVectorNear(Vector4(5, 6, 7, 0), m.GetRow(1), 0.0f);
  ExpectVectorNear(Vector4(13, 14, 15, 16), m.GetRow(3), 0.0f);
  EXPECT_EQ(m.RowAddress(2), &m.m[8]);
  m.SetTranslation(Vector4(-1, -2, -3, -4));
  ExpectVectorNear(Vector4(-1, -2, -3, -4), m.GetRow(3), 0.0f);

  Matrix rows;
  MatrixFromRows(Vector4(1, 2, 3, 4), Vector4(5, 6, 7, 8), Vector4(9, 10, 11, 12),
                 Vector4(13, 14, 15, 16), rows);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(rows.m[i], float(i + 1));

  float sx, sy, sz;
  Matrix scaled, rot;
  rot.RotationY(0.7f);
  // Scale first, then rotate: the rows carry the scale.
  Multiply(scaled.Scaling(2.0f, 3.0f, 0.5f), rot, scaled);
  MatrixGetScale(scaled, sx, sy, sz);
  EXPECT_NEAR(sx, 2.0f, 1e-6f);
  EXPECT_NEAR(sy, 3.0f, 1e-6f);
  EXPECT_NEAR(sz, 0.5f, 1e-6f);
}

TEST(FastMathTest, DeterminantAgreesWithProductsAndRowOperations) {
  std::mt19937 rng(11);
  for (int i = 0; i < 50; ++i) {
    const Matrix a = RandomMatrix(rng), b = RandomMatrix(rng);
    Matrix ab;
    Multiply(a, b, ab);
    const float da = MatrixDeterminant(a), db = MatrixDeterminant(b);
    EXPECT_NEAR(MatrixDeterminant(ab), da * db, 1e-3f * (1.0f + std::fabs(da * db)));
    // Swapping two rows negates the determinant (up to rounding).
    Matrix swapped = a;
    for (int c = 0; c < 4; ++c) std::swap(swapped.m[4 + c], swapped.m[8 + c]);
    EXPECT_NEAR(MatrixDeterminant(swapped), -da, 1e-4f * (1.0f + std::fabs(da)));
  }
}

TEST(FastMathTest, QuaternionToMatrixMatchesAxisRotations) {
  for (float a : {-2.5f, -0.3f, 0.0f, 0.9f, 3.0f}) {
    Matrix fromQ, axis;
    QuaternionToMatrix(Quaternion(0.0f, 0.0f, std::sin(a / 2), std::cos(a / 2)), fromQ);
    ExpectMatrixNear(axis.RotationZ(a), fromQ, 1e-6f);
    QuaternionToMatrix(Quaternion(std::sin(a / 2), 0.0f, 0.0f, std::cos(a / 2)), fromQ);
    ExpectMatrixNear(axis.RotationX(a), fromQ, 1e-6f);
    QuaternionToMatrix(Quaternion(0.0f, std::sin(a / 2), 0.0f, std::cos(a / 2)), fromQ);
    ExpectMatrixNear(axis.RotationY(a), fromQ, 1e-6f);
  }

  std::mt19937 rng(3);
  for (int i = 0; i < 100; ++i) {
    const Quaternion q = RandomUnitQuaternion(rng);
    Matrix m;
    QuaternionToMatrix(q, m);
    // A rotation: orthonormal rows, determinant +1, affine fourth row and column.
    Matrix mt, product, identity;
    Multiply(m, MatrixTranspose(m, mt), product);
    ExpectMatrixNear(identity.Identity(), product, 2e-6f);
    EXPECT_NEAR(MatrixDeterminant(m), 1.0f, 2e-6f);

    // The rotation of a vector without the matrix agrees with v x M.
    const Vector4 v(0.3f, -1.2f, 2.0f, 0.0f);
    Vector4 viaMatrix, viaQuaternion;
    TransformVector4(v, m, viaMatrix);
    QuaternionRotateVector(v, q, viaQuaternion);
    ExpectVectorNear(viaMatrix, viaQuaternion, 1e-5f);
  }

  Matrix axisAngle, expected;
  Quaternion q;
  QuaternionFromAxisAngle(Vector4(0.0f, 0.0f, 1.0f, 0.8f), q);
  QuaternionToMatrix(q, axisAngle);
  ExpectMatrixNear(expected.RotationZ(0.8f), axisAngle, 1e-6f);
}

TEST(FastMathTest, Inverse3x3TakesTheOrthonormalShortcutAndCopiesRowFour) {
  Matrix rot, inv;
  rot.RotationY(0.6f);
  rot.SetTranslation(Vector4(4.0f, 5.0f, 6.0f, 1.0f));
  MatrixInverse3x3(rot, inv);
  Matrix transposed;
  ExpectMatrixNear(MatrixTranspose3x3(rot, transposed), inv, 0.0f);  // bit for bit
  EXPECT_EQ(inv.m[12], 4.0f);
  EXPECT_EQ(inv.m[15], 1.0f);

  // The shortcut goes by the determinant alone: a shear of determinant 1 is just transposed.
  Matrix shear;
  shear.Identity();
  shear.m[1] = 0.5f;
  MatrixInverse3x3(shear, inv);
  EXPECT_EQ(inv.m[4], 0.5f);
  EXPECT_EQ(inv.m[1], 0.0f);

  // Scaled rotation: the true inverse block, the same fourth row.
  Matrix scaled, s;
  Multiply(rot, s.Scaling(2.0f), scaled);
  scaled.SetTranslation(Vector4(4.0f, 5.0f, 6.0f, 1.0f));
  MatrixInverse3x3(scaled, inv);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(inv.m[r * 4 + c], rot.m[c * 4 + r] * 0.5f, 1e-6f);
  EXPECT_EQ(inv.m[3], 0.0f);
  EXPECT_EQ(inv.m[7], 0.0f);
  EXPECT_EQ(inv.m[11], 0.0f);
  ExpectVectorNear(Vector4(4, 5, 6, 1), inv.GetRow(3), 0.0f);

  // General block: block x inverse block = identity.
  std::mt19937 rng(5);
  for (int i = 0; i < 50; ++i) {
    Matrix m = RandomMatrix(rng);
    m.m[3] = m.m[7] = m.m[11] = 0.0f;
    m.m[15] = 1.0f;
    MatrixInverse3x3(m, inv);
    Matrix product, identity;
    Multiply(m, inv, product);
    const float det = Determinant3x3(m.m[0], m.m[1], m.m[2], m.m[4], m.m[5], m.m[6], m.m[8],
                                     m.m[9], m.m[10]);
    if (std::fabs(det) < 0.1f) continue;  // ill-conditioned draws say nothing here
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(product.m[r * 4 + c], r == c ? 1.0f : 0.0f, 1e-4f);
  }

  // Singular block: zeros, and row 4 as it was.
  Matrix singular;
  MatrixFromRows(Vector4(1, 2, 3, 0), Vector4(2, 4, 6, 0), Vector4(0, 1, 1, 0),
                 Vector4(7, 8, 9, 1), singular);
  MatrixInverse3x3(singular, inv);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(inv.m[i], 0.0f) << i;
  ExpectVectorNear(Vector4(7, 8, 9, 1), inv.GetRow(3), 0.0f);

  // In place.
  Matrix inPlace = scaled;
  MatrixInverse3x3(inPlace, inPlace);
  Matrix separate;
  ExpectMatrixNear(MatrixInverse3x3(scaled, separate), inPlace, 0.0f);
}

TEST(FastMathTest, Inverse4x4AndTheAffineInverses) {
  std::mt19937 rng(9);
  Matrix identity;
  identity.Identity();
  for (int i = 0; i < 100; ++i) {
    const Matrix m = RandomMatrix(rng);
    const float det = MatrixDeterminant(m);
    if (std::fabs(det) < 0.5f) continue;
    Matrix inv, product;
    MatrixInverse4x4(m, inv);
    ExpectMatrixNear(identity, Multiply(m, inv, product), 2e-4f);
    ExpectMatrixNear(identity, Multiply(inv, m, product), 2e-4f);
    Matrix inPlace = m;
    MatrixInverse4x4(inPlace, inPlace);
    ExpectMatrixNear(inv, inPlace, 0.0f);
  }

  Matrix singular, inv;
  MatrixFromRows(Vector4(1, 2, 3, 4), Vector4(2, 4, 6, 8), Vector4(0, 1, 0, 1),
                 Vector4(3, 1, 4, 1), singular);
  MatrixInverse4x4(singular, inv);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(inv.m[i], 0.0f) << i;

  // Rigid inverse: exact undo of a rotation plus translation.
  Matrix rot, tra, rigid, rigidInv, product;
  rot.RotationX(0.4f);
  Multiply(rot, Matrix().RotationZ(-1.1f), rot);
  Multiply(rot, tra.Translation(Vector4(3.0f, -2.0f, 5.0f, 0.0f)), rigid);
  MatrixRigidInverse(rigid, rigidInv);
  ExpectMatrixNear(identity, Multiply(rigid, rigidInv, product), 1e-6f);
  EXPECT_EQ(rigidInv.m[3], 0.0f);
  EXPECT_EQ(rigidInv.m[15], 1.0f);

  // Quick inverse: rotation inverted, translation only negated (right for a pure translation,
  // not for a rotated one).
  struct {
    Matrix m;
    float guard = 7.0f;  // nothing may be written past the matrix
  } quick;
  MatrixQuickInverse(rigid, quick.m);
  ExpectVectorNear(Vector4(-3.0f, 2.0f, -5.0f, 1.0f), quick.m.GetRow(3), 0.0f);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_EQ(quick.m.m[r * 4 + c], rigid.m[c * 4 + r]);
  MatrixQuickInverse(tra, quick.m);
  ExpectMatrixNear(identity, Multiply(tra, quick.m, product), 0.0f);
  EXPECT_EQ(quick.guard, 7.0f);
}

TEST(FastMathTest, QuaternionInverseAndAngles) {
  Quaternion out;
  QuaternionInverse(Quaternion(0, 0, 0, 0), out);
  EXPECT_EQ(out.w, 1.0f);
  EXPECT_EQ(out.x, 0.0f);
  QuaternionInverse(Quaternion(0, 0, 0, 2), out);
  EXPECT_EQ(out.w, 0.5f);
  // A unit quaternion's inverse is its conjugate: the matrices are transposes.
  std::mt19937 rng(21);
  const Quaternion q = RandomUnitQuaternion(rng);
  QuaternionInverse(q, out);
  Matrix m, mi, mt;
  QuaternionToMatrix(q, m);
  QuaternionToMatrix(out, mi);
  ExpectMatrixNear(MatrixTranspose(m, mt), mi, 1e-6f);

  const Quaternion identity(0, 0, 0, 1);
  const Quaternion turned(0, 0, std::sin(0.4f), std::cos(0.4f));
  EXPECT_NEAR(QuaternionAngleBetween(identity, turned), 0.8f, 1e-6f);
  EXPECT_EQ(QuaternionAngleBetween(identity, identity), 0.0f);
  // A dot product beyond 1 (non-unit input) is taken as no angle rather than an error.
  EXPECT_EQ(QuaternionAngleBetween(Quaternion(0, 0, 0, 2), identity), 0.0f);

  float angle = -1.0f;
  QuaternionTurnTowards(identity, turned, 0.3f, out, &angle);
  EXPECT_NEAR(angle, 0.8f, 1e-6f);
  EXPECT_NEAR(RotationAngle(identity, Normalized(out)), 0.3, 1e-5);
  EXPECT_NEAR(RotationAngle(turned, Normalized(out)), 0.5, 1e-5);
  QuaternionTurnTowards(identity, turned, 1.0f, out, &angle);
  EXPECT_NEAR(out.z, turned.z, 1e-7f);
  EXPECT_NEAR(out.w, turned.w, 1e-7f);
  // No angle to cover: the target (equal to current) comes back; a null angle pointer is fine.
  QuaternionTurnTowards(turned, turned, 0.1f, out, nullptr);
  EXPECT_NEAR(out.z, turned.z, 1e-7f);
}

TEST(FastMathTest, SlerpEdgeCases) {
  const Quaternion a(0.0f, 0.0f, 0.0f, 1.0f);
  const Quaternion b(0.0f, std::sin(0.75f), 0.0f, std::cos(0.75f));  // 1.5 rad about Y
  Quaternion out;
  EXPECT_EQ(QuaternionSlerp(a, b, 0.0f, out).w, 1.0f);
  QuaternionSlerp(a, b, 1.0f, out);
  EXPECT_NEAR(out.y, b.y, 1e-6f);
  EXPECT_NEAR(out.w, b.w, 1e-6f);
  for (float t : {0.1f, 0.25f, 0.5f, 0.9f}) {
    QuaternionSlerp(a, b, t, out);
    EXPECT_NEAR(Dot(out, out), 1.0f, 1e-6f) << t;
    EXPECT_NEAR(RotationAngle(a, out), 1.5 * t, 1e-5) << t;
  }

  // Negative dot: from is negated, so t = 0 yields -from and the path is the short one.
  const Quaternion negB(-b.x, -b.y, -b.z, -b.w);
  QuaternionSlerp(negB, a, 0.0f, out);
  EXPECT_EQ(out.y, b.y);
  EXPECT_EQ(out.w, b.w);
  QuaternionSlerp(negB, a, 0.5f, out);
  EXPECT_NEAR(RotationAngle(a, out), 0.75, 1e-5);

  // Identical inputs come back for every t.
  std::mt19937 rng(17);
  const Quaternion q = RandomUnitQuaternion(rng);
  for (float t : {0.0f, 0.3f, 0.7f, 1.0f}) {
    QuaternionSlerp(q, q, t, out);
    EXPECT_NEAR(out.x, q.x, 1e-7f);
    EXPECT_NEAR(out.y, q.y, 1e-7f);
    EXPECT_NEAR(out.z, q.z, 1e-7f);
    EXPECT_NEAR(out.w, q.w, 1e-7f);
  }

  // Close together (1 - d <= 0.01): exactly the linear blend.
  const Quaternion c(0.0f, std::sin(0.05f), 0.0f, std::cos(0.05f));
  ASSERT_LE(1.0f - Dot(a, c), 0.01f);
  const float t = 0.3f;
  QuaternionSlerp(a, c, t, out);
  EXPECT_EQ(out.y, (1.0f - t) * a.y + t * c.y);
  EXPECT_EQ(out.w, (1.0f - t) * a.w + t * c.w);
}

TEST(FastMathTest, CorrectedLerpTracksSlerp) {
  const Quaternion a(0.0f, 0.0f, 0.0f, 1.0f);
  for (float half : {0.2f, 0.5f, 0.8f}) {
    const Quaternion b(std::sin(half) * 0.6f, 0.0f, std::sin(half) * 0.8f, std::cos(half));
    Quaternion out, reference;
    QuaternionLerpCorrected(a, b, 0.0f, out);
    EXPECT_EQ(out.w, a.w);
    QuaternionLerpCorrected(a, b, 1.0f, out);
    EXPECT_EQ(out.w, b.w);
    EXPECT_EQ(out.z, b.z);
    QuaternionLerpCorrected(a, b, 0.5f, out);  // plain midpoint
    EXPECT_EQ(out.z, a.z + (b.z - a.z) * 0.5f);
    for (int i = 1; i < 20; ++i) {
      const float t = i / 20.0f;
      QuaternionLerpCorrected(a, b, t, out);
      QuaternionSlerp(a, b, t, reference);
      // Within 0.0012 rad; a plain normalised lerp is off by 0.017 rad on the 1.6 rad turn.
      EXPECT_LT(RotationAngle(Normalized(out), reference), 2e-3) << half << " " << t;
    }
  }
}

TEST(FastMathTest, MatrixInterpolateBlendsRotationAndTranslation) {
  Matrix a, b, out, expected;
  a.RotationZ(0.2f);
  a.SetTranslation(Vector4(0.0f, 0.0f, 0.0f, 1.0f));
  b.RotationZ(1.2f);
  b.SetTranslation(Vector4(4.0f, -2.0f, 8.0f, 1.0f));
  MatrixInterpolate(a, b, 0.0f, out);
  ExpectMatrixNear(a, out, 1e-6f);
  MatrixInterpolate(a, b, 1.0f, out);
  ExpectMatrixNear(b, out, 1e-6f);
  MatrixInterpolate(a, b, 0.25f, out);
  expected.RotationZ(0.45f);
  expected.SetTranslation(Vector4(1.0f, -0.5f, 2.0f, 1.0f));
  ExpectMatrixNear(expected, out, 1e-6f);
}
