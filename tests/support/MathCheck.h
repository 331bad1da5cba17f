#pragma once
// Comparisons and random inputs shared by the math tests.

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "Engine/FastMath.h"

inline void ExpectMatrixNear(const Matrix& expected, const Matrix& actual, float tolerance,
                             const char* what = "") {
  for (int i = 0; i < 16; ++i)
    EXPECT_NEAR(expected.m[i], actual.m[i], tolerance) << what << " element " << i;
}

inline void ExpectVectorNear(const Vector4& expected, const Vector4& actual, float tolerance) {
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(expected[i], actual[i], tolerance) << "component " << i;
}

inline Quaternion Normalized(const Quaternion& q) {
  const float l = std::sqrt(Dot(q, q));
  return Quaternion(q.x / l, q.y / l, q.z / l, q.w / l);
}

inline Quaternion RandomUnitQuaternion(std::mt19937& rng) {
  std::normal_distribution<float> n(0.0f, 1.0f);
  return Normalized(Quaternion(n(rng), n(rng), n(rng), n(rng)));
}
