// The D3DX matrix helpers: row vectors on the left, translation in the fourth row, results
// written through pointers that may be the inputs.
#include <gtest/gtest.h>

#include "Platform/Gfx/D3DX.h"

using namespace gfx;

namespace {

D3DMATRIX Make(std::initializer_list<float> values) {
  D3DMATRIX m{};
  int i = 0;
  for (float v : values) m.m[i++] = v;
  return m;
}

void ExpectMatrix(const D3DMATRIX& actual, const D3DMATRIX& expected) {
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(actual.m[i], expected.m[i]) << "element " << i;
}

TEST(D3DXMatrix, MultiplyAppliesTheLeftMatrixFirstAndMayOverwriteEitherInput) {
  // Scale by 2, then move by (10, 20, 30): a point (1, 1, 1) lands on (12, 22, 32).
  const D3DMATRIX scale = Make({2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1});
  const D3DMATRIX move = Make({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 10, 20, 30, 1});
  D3DMATRIX product;
  EXPECT_EQ(D3DXMatrixMultiply(&product, &scale, &move), &product);
  ExpectMatrix(product, Make({2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 10, 20, 30, 1}));
  // The other order scales the translation too.
  ExpectMatrix(*D3DXMatrixMultiply(&product, &move, &scale),
               Make({2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 20, 40, 60, 1}));

  // A general pair, worked out by hand: row i of A times column j of B.
  const D3DMATRIX a = Make({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
  const D3DMATRIX b = Make({1, 0, 2, 0, 0, 1, 0, 3, 4, 0, 1, 0, 0, 2, 0, 1});
  const D3DMATRIX ab = Make({13, 10, 5, 10, 33, 22, 17, 26, 53, 34, 29, 42, 73, 46, 41, 58});
  ExpectMatrix(*D3DXMatrixMultiply(&product, &a, &b), ab);
  D3DMATRIX left = a;
  D3DXMatrixMultiply(&left, &left, &b);
  ExpectMatrix(left, ab);
  D3DMATRIX right = b;
  D3DXMatrixMultiply(&right, &a, &right);
  ExpectMatrix(right, ab);
  D3DMATRIX both = a;
  D3DXMatrixMultiply(&both, &both, &both);
  D3DMATRIX square;
  D3DXMatrixMultiply(&square, &a, &a);
  ExpectMatrix(both, square);
  EXPECT_FLOAT_EQ(square.m[0], 1 * 1 + 2 * 5 + 3 * 9 + 4 * 13);
}

TEST(D3DXMatrix, TransposeSwapsRowsAndColumnsInPlaceToo) {
  const D3DMATRIX a = Make({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
  const D3DMATRIX at = Make({1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15, 4, 8, 12, 16});
  D3DMATRIX out;
  EXPECT_EQ(D3DXMatrixTranspose(&out, &a), &out);
  ExpectMatrix(out, at);
  D3DMATRIX same = a;
  D3DXMatrixTranspose(&same, &same);
  ExpectMatrix(same, at);
}

TEST(D3DXMatrix, TransformNormalUsesTheUpperThreeByThreeOnly) {
  // A quarter turn about z (x goes to y) with a translation that a normal must not feel.
  const D3DMATRIX turn = Make({0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 100, 200, 300, 1});
  D3DXVECTOR3 x{1, 0, 0};
  D3DXVECTOR3 out{};
  EXPECT_EQ(D3DXVec3TransformNormal(&out, &x, &turn), &out);
  EXPECT_FLOAT_EQ(out.x, 0.0f);
  EXPECT_FLOAT_EQ(out.y, 1.0f);
  EXPECT_FLOAT_EQ(out.z, 0.0f);
  // In place, and a general row vector: (1, 2, 3) x rows.
  const D3DMATRIX a = Make({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
  D3DXVECTOR3 v{1, 2, 3};
  D3DXVec3TransformNormal(&v, &v, &a);
  EXPECT_FLOAT_EQ(v.x, 1 * 1 + 2 * 5 + 3 * 9);
  EXPECT_FLOAT_EQ(v.y, 1 * 2 + 2 * 6 + 3 * 10);
  EXPECT_FLOAT_EQ(v.z, 1 * 3 + 2 * 7 + 3 * 11);
}

}  // namespace
