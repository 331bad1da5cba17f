#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "Engine/Camera.h"
#include "Engine/PC/PCApp.h"

namespace {

// p × m written out, independently of the engine's own helpers.
Vector4 Times(const Vector4& p, const Matrix& m) {
  float in[4] = {p.x, p.y, p.z, p.w};
  float out[4] = {};
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) out[c] += in[r] * m.m[r * 4 + c];
  return Vector4(out[0], out[1], out[2], out[3]);
}

void ExpectVector(const Vector4& v, float x, float y, float z, float w, float tolerance = 1e-4f) {
  EXPECT_NEAR(v.x, x, tolerance);
  EXPECT_NEAR(v.y, y, tolerance);
  EXPECT_NEAR(v.z, z, tolerance);
  EXPECT_NEAR(v.w, w, tolerance);
}

// A render window added to the application for one test; App runs the first one as current.
class ScopedWindow {
 public:
  ScopedWindow(float left, float top, float right, float bottom) {
    RenderWindow* window = new RenderWindow();
    window->SetViewportBounds(left, top, right, bottom);
    m_id = GetApp().AddWindow(window);
  }
  ~ScopedWindow() { GetApp().DeleteWindow(m_id); }

 private:
  int32_t m_id;
};

const int32_t kFullScreen[4] = {0, 0, 640, 480};

// Looks along +y from 100 units back, with a 90-degree vertical field on a 640 by 480 viewport
// (focal length 240 pixels) and planes at 1 and 1000.
Camera LookingAlongY() {
  Camera camera;
  camera.SetEye(Vector4(0.0f, -100.0f, 0.0f, 1.0f));
  camera.SetTarget(Vector4(0.0f, 0.0f, 0.0f, 1.0f));
  camera.SetNearFar(1.0f, 1000.0f);
  camera.SetVerticalFov(kHalfPi, kFullScreen);
  return camera;
}

TEST(Camera, DefaultsAreANinetyDegreeViewOfAHundredPixelSquare) {
  Camera camera;
  EXPECT_NEAR(camera.GetFocal(), 50.0f, 1e-4f);
  EXPECT_NEAR(camera.GetVerticalFov(), kHalfPi, 1e-6f);
  EXPECT_NEAR(camera.GetHorizontalFov(), kHalfPi, 1e-6f);
  EXPECT_EQ(camera.GetViewport()[2], 100);
  EXPECT_EQ(camera.GetViewport()[3], 100);
  ExpectVector(camera.GetEye(), 0.0f, 0.0f, 100.0f, 0.0f, 0.0f);
  ExpectVector(camera.GetUp(), 0.0f, 0.0f, 1.0f, 0.0f, 0.0f);
  EXPECT_EQ((std::vector<float>{camera.GetNear(), camera.GetFar(), camera.GetDepthMax()}),
            (std::vector<float>{0.1f, 5000.0f, 1.0f}));
  EXPECT_EQ(camera.GetSizeWidth() * 1000 + camera.GetSizeHeight(), 640480);
  EXPECT_EQ(camera.GetUseWindowAspect(), 1u);
}

TEST(Camera, FieldOfViewFocalLengthAndZoomConvertIntoOneAnother) {
  Camera camera;
  camera.SetFov(kHalfPi, kFullScreen);
  EXPECT_NEAR(camera.GetFocal(), 320.0f, 1e-3f);
  EXPECT_NEAR(camera.GetVerticalFov(), 2.0 * std::atan(0.75), 1e-6);
  EXPECT_NEAR(camera.GetVerticalFov() * 57.29578f, 73.74f, 0.01f);
  EXPECT_NEAR(camera.GetHorizontalFov(), kHalfPi, 1e-6f);
  EXPECT_NEAR(camera.GetTanHalfHorizontalFov(), 1.0f, 1e-5f);
  EXPECT_NEAR(camera.GetTanHalfVerticalFov(), 0.75f, 1e-5f);
  EXPECT_NEAR(camera.GetCotHalfVerticalFov(), 1.0f / 0.75f, 1e-5f);
  EXPECT_NEAR(camera.GetCotHalfHorizontalFov(), 1.0f, 1e-5f);

  camera.SetFocalLength(240.0f, kFullScreen);
  EXPECT_NEAR(camera.GetVerticalFov(), kHalfPi, 1e-6f);
  EXPECT_NEAR(camera.GetFocal(), 240.0f, 1e-3f);

  camera.SetZoom(1.0f, kFullScreen);
  EXPECT_NEAR(camera.GetVerticalFov(), kHalfPi, 1e-6f);
  camera.SetZoom(2.0f, kFullScreen);
  EXPECT_NEAR(camera.GetVerticalFov(), 2.0 * std::atan(0.5), 1e-6);

  // The zoom form of the horizontal field keeps the camera's own viewport.
  camera.SetFovFromZoom(1.0f);
  EXPECT_NEAR(camera.GetFocal(), 320.0f, 1e-3f);
  EXPECT_EQ(camera.GetViewport()[2], 640);
}

TEST(Camera, ZeroAnglesAndSizesGiveZeroesNotInfinities) {
  Camera camera;
  camera.SetVerticalFov(0.0f, kFullScreen);
  EXPECT_EQ(camera.GetFocal(), 0.0f);
  EXPECT_EQ(camera.GetTanHalfHorizontalFov(), 0.0f);
  EXPECT_EQ(camera.GetCotHalfHorizontalFov(), 0.0f);
  EXPECT_EQ(camera.GetCotHalfVerticalFov(), 0.0f);

  camera.SetZoom(0.0f, kFullScreen);
  EXPECT_EQ(camera.GetVerticalFov(), 0.0f);
  EXPECT_EQ(camera.GetFocal(), 0.0f);

  const int32_t empty[4] = {0, 0, 0, 0};
  camera.SetFocalLength(0.0f, empty);
  EXPECT_EQ(camera.GetVerticalFov(), 0.0f);
  EXPECT_EQ(camera.GetFocal(), 0.0f);
}

TEST(Camera, StraightDownGetsAFlatRightVector) {
  Camera camera;
  camera.SetEye(Vector4(0.0f, 0.0f, 100.0f, 1.0f));
  camera.SetTarget(Vector4(0.0f, 0.0f, 0.0f, 1.0f));
  camera.SetVerticalFov(kHalfPi, kFullScreen);
  camera.UpdateMatrices();

  ExpectVector(camera.GetForwardVector(), 0.0f, 0.0f, -1.0f, 0.0f);
  const Vector4& right = camera.GetRightVector();
  EXPECT_NEAR(std::sqrt(right.x * right.x + right.y * right.y + right.z * right.z), 1.0f, 1e-6f);
  EXPECT_EQ(right.z, 0.0f);
  const Vector4& up = camera.GetUpVector();
  EXPECT_NEAR(up.x * right.x + up.y * right.y + up.z * right.z, 0.0f, 1e-6f);

  // The view takes the eye to the origin and the target 100 units ahead.
  const Matrix& view = *GetApp().GetDisplay()->GetViewMatrix();
  ExpectVector(Times(Vector4(0.0f, 0.0f, 100.0f, 1.0f), view), 0.0f, 0.0f, 0.0f, 1.0f);
  ExpectVector(Times(Vector4(0.0f, 0.0f, 0.0f, 1.0f), view), 0.0f, 0.0f, 100.0f, 1.0f);
}

TEST(Camera, ViewAndProjectionsPlaceKnownPointsWhereThePixelsSayTheyAre) {
  Camera camera = LookingAlongY();
  Display* display = GetApp().GetDisplay();
  Matrix identity;
  identity.Identity();
  display->SetWorldMatrix(&identity);
  camera.UpdateMatrices();

  // Looking along +y with z up, world x is to the right: (40, 0, 30) is 100 ahead, 40 right and
  // 30 up. The aspect of the 640 by 480 client makes x 0.75 of y.
  const Matrix& view = *display->GetViewMatrix();
  const Vector4 world(40.0f, 0.0f, 30.0f, 1.0f);
  const Vector4 eyeSpace = Times(world, view);
  ExpectVector(eyeSpace, -40.0f, 30.0f, 100.0f, 1.0f);

  Vector4 clip = Times(eyeSpace, *display->GetDeviceProjectionMatrix());
  EXPECT_NEAR(clip.x / clip.w, 0.3f, 1e-5f);
  EXPECT_NEAR(clip.y / clip.w, 0.3f, 1e-5f);
  EXPECT_NEAR(clip.z / clip.w, 1000.0 * 99.0 / (999.0 * 100.0), 1e-5);
  // The device's depth runs 0..1 from near to far, the box tests' projection -1..1.
  auto depthAt = [&](const Matrix& m, float z) {
    const Vector4 c = Times(Vector4(0.0f, 0.0f, z, 1.0f), m);
    return c.z / c.w;
  };
  EXPECT_NEAR(depthAt(*display->GetDeviceProjectionMatrix(), 1.0f), 0.0f, 1e-5f);
  EXPECT_NEAR(depthAt(*display->GetDeviceProjectionMatrix(), 1000.0f), 1.0f, 1e-5f);
  EXPECT_NEAR(depthAt(*display->GetProjectionMatrix(), 1.0f), -1.0f, 1e-5f);
  EXPECT_NEAR(depthAt(*display->GetProjectionMatrix(), 1000.0f), 1.0f, 1e-5f);

  // The screen projection (through the view) agrees with the device's: normalised (0.3, 0.3) on
  // 640 by 480 is pixel (416, 168) from the top left; depth 1 at the near plane, 0 at the far one.
  Vector4 pixel;
  display->ProjectToScreen(&pixel, &world);
  ExpectVector(pixel, (0.3f + 1.0f) * 320.0f, (1.0f - 0.3f) * 240.0f, 9.0f / 999.0f, 1.0f, 1e-3f);
  const Vector4 atNear(0.0f, -99.0f, 0.0f, 1.0f);
  const Vector4 atFar(0.0f, 900.0f, 0.0f, 1.0f);
  EXPECT_NEAR(display->ProjectToScreen(&pixel, &atNear)->z, 1.0f, 1e-5f);
  EXPECT_NEAR(display->ProjectToScreen(&pixel, &atFar)->z, 0.0f, 1e-5f);

  // The camera matrix is the rotation alone: rows right, up, forward.
  const Matrix& rotation = *display->GetCameraMatrix();
  ExpectVector(rotation.GetRow(0), -1.0f, 0.0f, 0.0f, 0.0f);
  ExpectVector(rotation.GetRow(1), 0.0f, 0.0f, 1.0f, 0.0f);
  ExpectVector(rotation.GetRow(2), 0.0f, 1.0f, 0.0f, 0.0f);
  ExpectVector(rotation.GetRow(3), 0.0f, 0.0f, 0.0f, 1.0f);
}

TEST(Camera, TheWindowBeingDrawnGivesAspectScaleAndCentre) {
  ScopedWindow window(100.0f, 0.0f, 420.0f, 240.0f);
  Display* display = GetApp().GetDisplay();

  Camera camera = LookingAlongY();
  const int32_t windowSized[4] = {0, 0, 320, 240};
  camera.SetVerticalFov(kHalfPi, windowSized);
  camera.UpdateMatrices();
  // Focal 120 on a 320 by 240 window whose left edge is at 100: (40, 0, 30), 100 ahead, lands
  // 48 right and 36 up of the window's centre (260, 120).
  const Vector4 world(40.0f, 0.0f, 30.0f, 1.0f);
  Vector4 pixel;
  display->ProjectToScreen(&pixel, &world);
  EXPECT_NEAR(pixel.x, 308.0f, 1e-3f);
  EXPECT_NEAR(pixel.y, 240.0f - (120.0f + 36.0f), 1e-3f);
  EXPECT_NEAR(display->GetDeviceProjectionMatrix()->m[0], -0.75f, 1e-6f);

  // A camera viewport of another shape scales by the ratio of the two aspects.
  const int32_t square[4] = {0, 0, 400, 400};
  camera.SetVerticalFov(kHalfPi, square);
  camera.UpdateMatrices();
  EXPECT_NEAR(display->GetScreenProjectionMatrix()->m[5], 200.0f * 320.0f / 240.0f, 1e-3f);

  // Without the window's aspect the projection is square.
  camera.SetUseWindowAspect(0);
  camera.UpdateMatrices();
  EXPECT_NEAR(display->GetDeviceProjectionMatrix()->m[0], -1.0f, 1e-6f);
}

TEST(Camera, DegenerateInputLeavesTheDisplaysMatricesAlone) {
  Display* display = GetApp().GetDisplay();
  Camera camera = LookingAlongY();
  camera.UpdateMatrices();
  const Matrix view = *display->GetViewMatrix();
  const Matrix projection = *display->GetProjectionMatrix();
  const Matrix device = *display->GetDeviceProjectionMatrix();
  auto unchanged = [&]() {
    for (int i = 0; i < 16; ++i) {
      if (display->GetViewMatrix()->m[i] != view.m[i]) return false;
      if (display->GetProjectionMatrix()->m[i] != projection.m[i]) return false;
      if (display->GetDeviceProjectionMatrix()->m[i] != device.m[i]) return false;
    }
    return display->GetViewChanged() == 0 && display->GetProjectionChanged() == 0;
  };

  const struct {
    const char* what;
    Vector4 eye, target;
    float nearPlane, farPlane, fov;
  } cases[] = {{"eye on the target", {5, 5, 5, 1}, {5, 5, 5, 1}, 1.0f, 1000.0f, kHalfPi},
               {"near on far", {0, -50, 0, 1}, {0, 0, 0, 1}, 10.0f, 10.005f, kHalfPi},
               {"field of view too narrow", {0, -50, 0, 1}, {0, 0, 0, 1}, 1.0f, 1000.0f, 0.015f}};
  for (const auto& c : cases) {
    Camera bad = LookingAlongY();
    bad.SetEye(c.eye);
    bad.SetTarget(c.target);
    bad.SetNearFar(c.nearPlane, c.farPlane);
    bad.SetVerticalFov(c.fov, kFullScreen);
    bad.UpdateMatrices();
    EXPECT_TRUE(unchanged()) << c.what;
  }
}

}  // namespace
