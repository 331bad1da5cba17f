#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "Engine/Camera.h"
#include "tests/support/AppHarness.h"

namespace {

Matrix Product(const Matrix& a, const Matrix& b) {
  Matrix r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      double sum = 0.0;
      for (int k = 0; k < 4; ++k) sum += double(a.m[i * 4 + k]) * double(b.m[k * 4 + j]);
      r.m[i * 4 + j] = static_cast<float>(sum);
    }
  return r;
}

// A matrix of small integers, so that products are exact in float.
Matrix Numbered(int seed) {
  Matrix m;
  for (int i = 0; i < 16; ++i) m.m[i] = static_cast<float>((i * 7 + seed * 3) % 11 - 5);
  return m;
}

bool Same(const Matrix& a, const Matrix& b) { return std::memcmp(a.m, b.m, sizeof(a.m)) == 0; }

bool IsIdentity(const Matrix& m) {
  Matrix i;
  i.Identity();
  return Same(m, i);
}

BoundingBox Box(float x0, float y0, float z0, float x1, float y1, float z1) {
  return BoundingBox(Vector4(x0, y0, z0, 1.0f), Vector4(x1, y1, z1, 1.0f));
}

TEST(DisplayMatrices, StartAsIdentitiesAndSettersCopyAndRaiseTheirOwnFlag) {
  Display display;
  for (Matrix* m : {display.GetWorldMatrix(), display.GetViewMatrix(), display.GetProjectionMatrix(),
                    display.GetDeviceProjectionMatrix(), display.GetScreenProjectionMatrix(),
                    display.GetCameraMatrix(), display.GetViewToScreenMatrix(),
                    display.GetWorldToScreenMatrix(), display.GetSpareMatrix(),
                    display.GetWorldViewProjectionMatrix()})
    EXPECT_TRUE(IsIdentity(*m));
  EXPECT_TRUE(IsIdentity(g_IdentityMatrix));
  // The world, view, projection and device projection flags, as one number 0bWVPD.
  auto flags = [&]() {
    return display.GetWorldChanged() << 3 | display.GetViewChanged() << 2 |
           display.GetProjectionChanged() << 1 | display.GetDeviceProjectionChanged();
  };
  EXPECT_EQ(flags(), 0b1111u);
  const Matrix a = Numbered(1);
  using Set = void (Display::*)(const Matrix*);
  using Get = Matrix* (Display::*)();
  const struct {
    Set set;
    Get get;
    uint32_t raises;
  } setters[] = {{&Display::SetCameraMatrix, &Display::GetCameraMatrix, 0},
                 {&Display::SetScreenProjectionMatrix, &Display::GetScreenProjectionMatrix, 0b0001},
                 {&Display::SetWorldMatrix, &Display::GetWorldMatrix, 0b1000},
                 {&Display::SetViewMatrix, &Display::GetViewMatrix, 0b0100},
                 {&Display::SetProjectionMatrix, &Display::GetProjectionMatrix, 0b0010},
                 {&Display::SetDeviceProjectionMatrix, &Display::GetDeviceProjectionMatrix, 0b0001}};
  for (const auto& s : setters) {
    display.UpdateMatrices();
    EXPECT_EQ(flags(), 0u);
    (display.*s.set)(&a);
    EXPECT_TRUE(Same(*(display.*s.get)(), a));
    EXPECT_EQ(flags(), s.raises);
  }
  EXPECT_TRUE(IsIdentity(*display.GetSpareMatrix()));
}

TEST(DisplayMatrices, UpdateRebuildsOnlyTheProductsOfWhatChanged) {
  Display display;
  const Matrix world = Numbered(1), view = Numbered(2), projection = Numbered(3),
               screen = Numbered(4);
  display.SetWorldMatrix(&world);
  display.SetViewMatrix(&view);
  display.SetProjectionMatrix(&projection);
  display.SetScreenProjectionMatrix(&screen);
  display.UpdateMatrices();
  EXPECT_TRUE(Same(*display.GetWorldViewProjectionMatrix(), Product(world, Product(view, projection))));
  EXPECT_TRUE(Same(*display.GetViewToScreenMatrix(), Product(view, screen)));
  EXPECT_TRUE(Same(*display.GetWorldToScreenMatrix(), Product(world, Product(view, screen))));

  // Only the screen projection: the screen products follow, world × view × projection stays.
  const Matrix before = *display.GetWorldViewProjectionMatrix();
  const Matrix screen2 = Numbered(5);
  display.SetScreenProjectionMatrix(&screen2);
  display.UpdateMatrices();
  EXPECT_TRUE(Same(*display.GetViewToScreenMatrix(), Product(view, screen2)));
  EXPECT_TRUE(Same(*display.GetWorldViewProjectionMatrix(), before));

  // Only the projection: the screen products stay.
  const Matrix projection2 = Numbered(6);
  const Matrix toScreen = *display.GetWorldToScreenMatrix();
  display.SetProjectionMatrix(&projection2);
  display.UpdateMatrices();
  EXPECT_TRUE(Same(*display.GetWorldViewProjectionMatrix(), Product(world, Product(view, projection2))));
  EXPECT_TRUE(Same(*display.GetWorldToScreenMatrix(), toScreen));
}

TEST(DisplayMatrices, BoxTestsAgainstTheIdentityVolume) {
  Matrix identity;
  identity.Identity();
  const BoundingBox inside = Box(-0.5f, -0.5f, -0.5f, 0.5f, 0.5f, 0.5f);
  EXPECT_EQ(BaseDisplay::FrustumTestBox(&identity, &inside), -1);
  const BoundingBox beyondX = Box(2.0f, -0.5f, -0.5f, 3.0f, 0.5f, 0.5f);
  EXPECT_EQ(BaseDisplay::FrustumTestBox(&identity, &beyondX), 0);
  // Beyond x on every corner, although it spans all of y and z.
  const BoundingBox wide = Box(1.5f, -100.0f, -100.0f, 2.0f, 100.0f, 100.0f);
  EXPECT_EQ(BaseDisplay::FrustumTestBox(&identity, &wide), 0);
  // Each of the six planes on its own.
  const BoundingBox outside[] = {
      Box(-3, -0.5f, -0.5f, -2, 0.5f, 0.5f), Box(-0.5f, 2, -0.5f, 0.5f, 3, 0.5f),
      Box(-0.5f, -3, -0.5f, 0.5f, -2, 0.5f), Box(-0.5f, -0.5f, 2, 0.5f, 0.5f, 3),
      Box(-0.5f, -0.5f, -3, 0.5f, 0.5f, -2)};
  for (const BoundingBox& box : outside) EXPECT_EQ(BaseDisplay::FrustumTestBox(&identity, &box), 0);
  // Across one plane.
  const BoundingBox across = Box(0.5f, -0.5f, -0.5f, 1.5f, 0.5f, 0.5f);
  EXPECT_EQ(BaseDisplay::FrustumTestBox(&identity, &across), 1);
  // Outside a corner of the volume but beyond no single plane with all eight: straddling.
  const BoundingBox corner = Box(0.0f, 0.0f, -0.5f, 3.0f, 3.0f, 0.5f);
  EXPECT_EQ(BaseDisplay::FrustumTestBox(&identity, &corner), 1);
  // Enclosing the whole volume.
  const BoundingBox huge = Box(-10, -10, -10, 10, 10, 10);
  EXPECT_EQ(BaseDisplay::FrustumTestBox(&identity, &huge), 1);
}

TEST(DisplayMatrices, BoxTestUsesTheSizeOfW) {
  // w = -1 for every point: compared with w itself, x > w would hold for every corner.
  Matrix flip;
  flip.Identity();
  flip.m[15] = -1.0f;
  const BoundingBox small = Box(-0.5f, -0.5f, -0.5f, 0.5f, 0.5f, 0.5f);
  EXPECT_EQ(BaseDisplay::FrustumTestBox(&flip, &small), -1);
  const BoundingBox beyondX = Box(2.0f, -0.5f, -0.5f, 3.0f, 0.5f, 0.5f);
  EXPECT_EQ(BaseDisplay::FrustumTestBox(&flip, &beyondX), 0);
}

// The result of the box test written the slow way: every corner against every plane. *close is
// set when a corner lies so near a plane that float rounding could put it on either side.
int32_t SlowBoxTest(const Matrix& clip, const BoundingBox& box, bool* close) {
  *close = false;
  bool allInside = true;
  bool allBeyond[6] = {true, true, true, true, true, true};
  for (int c = 0; c < 8; ++c) {
    const float p[4] = {(c & 1) ? box.max.x : box.min.x, (c & 2) ? box.max.y : box.min.y,
                        (c & 4) ? box.max.z : box.min.z, 1.0f};
    double q[4] = {};
    for (int j = 0; j < 4; ++j)
      for (int k = 0; k < 4; ++k) q[j] += double(p[k]) * double(clip.m[k * 4 + j]);
    const double w = std::fabs(q[3]);
    for (int axis = 0; axis < 3; ++axis) {
      if (std::fabs(std::fabs(q[axis]) - w) < 1e-3 * (1.0 + w)) *close = true;
      const bool below = q[axis] < -w, above = q[axis] > w;
      if (below || above) allInside = false;
      allBeyond[axis * 2] = allBeyond[axis * 2] && below;
      allBeyond[axis * 2 + 1] = allBeyond[axis * 2 + 1] && above;
    }
  }
  if (allInside) return -1;
  for (bool b : allBeyond)
    if (b) return 0;
  return 1;
}

TEST(DisplayMatrices, BoxTestMatchesCornerByCornerClassificationInPerspective) {
  Camera camera;
  camera.SetEye(Vector4(0.0f, -100.0f, 20.0f, 1.0f));
  camera.SetTarget(Vector4(10.0f, 0.0f, 0.0f, 1.0f));
  const int32_t viewport[4] = {0, 0, 640, 480};
  camera.SetVerticalFov(0.8f, viewport);
  camera.UpdateMatrices();
  Display* display = GetApp().GetDisplay();
  const Matrix clip = Product(*display->GetViewMatrix(), *display->GetProjectionMatrix());

  std::mt19937 random(7);
  std::uniform_real_distribution<float> across(-90.0f, 90.0f);
  std::uniform_real_distribution<float> along(-150.0f, 400.0f);
  std::uniform_real_distribution<float> size(0.5f, 40.0f);
  int seen[3] = {};
  Matrix identity;
  identity.Identity();
  for (int i = 0; i < 2000; ++i) {
    const float x = across(random), y = along(random), z = across(random);
    const BoundingBox box = Box(x, y, z, x + size(random), y + size(random), z + size(random));
    bool close = false;
    const int32_t expected = SlowBoxTest(clip, box, &close);
    if (close) continue;
    const int32_t got = BaseDisplay::FrustumTestBox(&clip, &box);
    EXPECT_EQ(got, expected) << "box " << i;
    EXPECT_EQ(display->IsBoxInView(&identity, &box), expected);
    ++seen[expected + 1];
  }
  EXPECT_GT(seen[0], 10);
  EXPECT_GT(seen[1], 10);
  EXPECT_GT(seen[2], 10);
}

TEST(DisplayMatrices, IsBoxInViewPlacesTheBoxWithItsWorldMatrix) {
  Display display;
  Matrix view;
  view.Translation(Vector4(0.0f, 0.0f, 0.0f, 1.0f));
  display.SetViewMatrix(&view);
  Matrix projection;
  projection.Identity();
  display.SetProjectionMatrix(&projection);
  const BoundingBox unit = Box(-0.25f, -0.25f, -0.25f, 0.25f, 0.25f, 0.25f);
  Matrix world;
  world.Identity();
  EXPECT_EQ(display.IsBoxInView(&world, &unit), -1);
  world.Translation(Vector4(5.0f, 0.0f, 0.0f, 1.0f));
  EXPECT_EQ(display.IsBoxInView(&world, &unit), 0);
  world.Translation(Vector4(1.0f, 0.0f, 0.0f, 1.0f));
  EXPECT_EQ(display.IsBoxInView(&world, &unit), 1);
}

TEST(DisplayMatrices, ProjectingToWZeroGivesZeroesWithYFlipped) {
  Display* display = GetApp().GetDisplay();
  Matrix zero;
  Matrix identity;
  identity.Identity();
  display->SetViewMatrix(&identity);
  display->SetScreenProjectionMatrix(&zero);
  display->UpdateMatrices();
  const Vector4 point(3.0f, 4.0f, 5.0f, 1.0f);
  Vector4 out(9.0f, 9.0f, 9.0f, 9.0f);
  EXPECT_EQ(display->ProjectToScreen(&out, &point), &out);
  EXPECT_EQ(out.x, 0.0f);
  EXPECT_EQ(out.y, static_cast<float>(GetApp().GetHeight()));
  EXPECT_EQ(out.z, 0.0f);
  EXPECT_EQ(out.w, 0.0f);

  // A plain perspective divide otherwise.
  Matrix screen;
  screen.Identity();
  screen.m[11] = 1.0f;  // w = z
  screen.m[15] = 0.0f;
  display->SetScreenProjectionMatrix(&screen);
  display->UpdateMatrices();
  display->ProjectToScreen(&out, &point);
  EXPECT_FLOAT_EQ(out.x, 3.0f / 5.0f);
  EXPECT_FLOAT_EQ(out.y, static_cast<float>(GetApp().GetHeight()) - 4.0f / 5.0f);
  EXPECT_FLOAT_EQ(out.z, 1.0f);
  EXPECT_EQ(out.w, 1.0f);
}

class DisplayMatricesDeviceTest : public AppTest {};

TEST_F(DisplayMatricesDeviceTest, OnlyAChangedProjectionReachesTheDevice) {
  ASSERT_TRUE(m_harness.Start());
  Display* display = m_harness.app().GetDisplay();
  gfx::D3DDevice* device = display->GetDevice();
  display->UpdateMatrices();
  device->ResetCallCounts();
  auto transforms = [&]() { return device->GetCallCount(gfx::DeviceCall::SetTransform); };
  auto deviceProjection = [&]() {
    gfx::D3DMATRIX m = {};
    EXPECT_EQ(device->GetTransform(gfx::D3DTS_PROJECTION, &m), gfx::D3D_OK);
    Matrix out;
    std::memcpy(out.m, m.m, sizeof(out.m));
    return out;
  };

  display->UpdateMatrices();
  EXPECT_EQ(transforms(), 0u) << "nothing changed";
  const Matrix a = Numbered(1), b = Numbered(2);
  display->SetWorldMatrix(&a);
  display->SetViewMatrix(&a);
  display->SetProjectionMatrix(&a);
  display->UpdateMatrices();
  EXPECT_EQ(transforms(), 0u) << "the device projection did not change";

  // The screen projection raises the device projection's flag: the device gets its projection.
  display->SetDeviceProjectionMatrix(&b);
  display->UpdateMatrices();
  EXPECT_EQ(transforms(), 1u);
  EXPECT_TRUE(Same(deviceProjection(), b));
  display->SetScreenProjectionMatrix(&a);
  display->UpdateMatrices();
  EXPECT_EQ(transforms(), 2u);
  display->UpdateMatrices();
  EXPECT_EQ(transforms(), 2u);

  // A camera hands the display its matrices each frame; the device sees the device projection.
  Camera camera;
  camera.SetEye(Vector4(0.0f, -100.0f, 0.0f, 1.0f));
  camera.SetTarget(Vector4(0.0f, 0.0f, 0.0f, 1.0f));
  camera.UpdateMatrices();
  EXPECT_EQ(transforms(), 3u);
  EXPECT_TRUE(Same(deviceProjection(), *display->GetDeviceProjectionMatrix()));
}

}  // namespace
