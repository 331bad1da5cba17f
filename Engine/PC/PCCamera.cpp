#include "Engine/Camera.h"

#include "Engine/PC/PCApp.h"

namespace {

// 1 / tan(angle), taken as 0 where the tangent is 0.
float InverseTan(float angle) {
  const float t = Tan(angle);
  return t == 0.0f ? 0.0f : 1.0f / t;
}

// The full angle under which `extent` pixels appear at `focal` pixels' distance. A zero extent
// at a zero focal length would be 0 / 0; it has no angle.
float AngleOf(float extent, float focal) {
  const float d = 2.0f * focal;
  if (d == 0.0f && extent == 0.0f) return 0.0f;
  return 2.0f * Atan(extent / d);
}

// What the matrices need of the window being drawn: its size in pixels and its corner.
struct WindowShape {
  uint32_t width;
  uint32_t height;
  int32_t originX;
  int32_t originY;
};

WindowShape CurrentWindowShape() {
  App& app = GetApp();
  if (RenderWindow* window = app.GetCurrentWindow()) {
    const float* corner = window->GetViewportMin();
    return {static_cast<uint32_t>(window->GetWidth()), static_cast<uint32_t>(window->GetHeight()),
            FloatToInt(corner[0]), FloatToInt(corner[1])};
  }
  // No window runs (start-up, tools): the whole client area.
  return {static_cast<uint32_t>(app.GetWidth()), static_cast<uint32_t>(app.GetHeight()), 0, 0};
}

}  // namespace

void Camera::SetDefaults() {
  const int32_t viewport[4] = {0, 0, 100, 100};
  m_eye.Set(0.0f, 0.0f, 100.0f, 0.0f);
  m_target.Set(0.0f, 0.0f, 0.0f, 0.0f);
  m_up.Set(0.0f, 0.0f, 1.0f, 0.0f);
  m_near = 0.1f;
  m_far = 5000.0f;
  m_depthMin = 0.0f;
  m_depthMax = 1.0f;
  m_centre[0] = 50.0f;
  m_centre[1] = 50.0f;
  m_size[0] = 640;
  m_size[1] = 480;
  m_useWindowAspect = 1;
  m_reserved[0] = m_reserved[1] = m_reserved[2] = 0;
  SetVerticalFov(kHalfPi, viewport);
  SetFov(kHalfPi, viewport);
}

void Camera::SetVerticalFov(float fov, const int32_t* viewport) {
  for (int i = 0; i < 4; ++i) m_viewport[i] = viewport[i];
  m_verticalFov = fov;
  m_focal = (static_cast<float>(m_viewport[3]) * 0.5f) * InverseTan(fov / 2.0f);
}

void Camera::SetFov(float horizontalFov, const int32_t* viewport) {
  const float focal = (static_cast<float>(viewport[2]) * 0.5f) * InverseTan(horizontalFov / 2.0f);
  SetVerticalFov(AngleOf(static_cast<float>(viewport[3]), focal), viewport);
}

void Camera::SetFocalLength(float focal, const int32_t* viewport) {
  SetVerticalFov(AngleOf(static_cast<float>(viewport[3]), focal), viewport);
}

void Camera::SetZoom(float zoom, const int32_t* viewport) {
  SetVerticalFov(2.0f * Atan(zoom == 0.0f ? 0.0f : 1.0f / zoom), viewport);
}

void Camera::SetFovFromZoom(float zoom) {
  const int32_t viewport[4] = {m_viewport[0], m_viewport[1], m_viewport[2], m_viewport[3]};
  SetFov(2.0f * Atan(zoom == 0.0f ? 0.0f : 1.0f / zoom), viewport);
}

float Camera::GetTanHalfHorizontalFov() const {
  return m_focal == 0.0f ? 0.0f : static_cast<float>(m_viewport[2]) / (2.0f * m_focal);
}

float Camera::GetHorizontalFov() const { return AngleOf(static_cast<float>(m_viewport[2]), m_focal); }

float Camera::GetTanHalfVerticalFov() const { return Tan(m_verticalFov / 2.0f); }

float Camera::GetCotHalfVerticalFov() const { return InverseTan(m_verticalFov / 2.0f); }

float Camera::GetCotHalfHorizontalFov() const {
  const float t = GetTanHalfHorizontalFov();
  return t == 0.0f ? 0.0f : 1.0f / t;
}

void Camera::UpdateMatrices() {
  Vector4 d;
  Subtract(m_target, m_eye, d);
  d.w = 0.0f;
  m_forwardVector = d;
  const float length = Length(d);
  if (length < 0.000001f) return;
  Scale(d, 1.0f / length);

  const float yaw = Atan2(-d.x, d.y);
  const float pitch = Atan2(d.z, Sqrt(d.x * d.x + d.y * d.y));
  const float cy = Cos(yaw), sy = Sin(yaw);
  const float cp = Cos(pitch), sp = Sin(pitch);
  m_forwardVector.Set(-cp * sy, cp * cy, sp, 0.0f);
  m_rightVector.Set(-cy, -sy, 0.0f, 0.0f);
  m_upVector.Set(sp * sy, -sp * cy, cp, 0.0f);
  const Vector4& r = m_rightVector;
  const Vector4& u = m_upVector;
  const Vector4& f = m_forwardVector;

  Matrix view;
  MatrixFromRows(Vector4(r.x, u.x, f.x, 0.0f), Vector4(r.y, u.y, f.y, 0.0f),
                 Vector4(r.z, u.z, f.z, 0.0f),
                 Vector4(-Dot(m_eye, r), -Dot(m_eye, u), -Dot(m_eye, f), 1.0f), view);

  const float depth = m_far - m_near;
  const float halfFov = m_verticalFov / 2.0f;
  if (Fabs(depth) < 0.01f || Fabs(Sin(halfFov)) < 0.01f) return;

  const WindowShape window = CurrentWindowShape();
  const float w = static_cast<float>(window.width);
  const float h = static_cast<float>(window.height);
  // A window without width has no aspect; it draws nothing anyway, so keep the matrices finite.
  const float aspect = (m_useWindowAspect == 1 && window.width != 0) ? h / w : 1.0f;
  const float ys = Cos(halfFov) / Sin(halfFov);
  const float xs = ys * aspect;

  Matrix deviceProjection;
  deviceProjection.m[0] = -xs;
  deviceProjection.m[5] = ys;
  deviceProjection.m[10] = m_far / depth;
  deviceProjection.m[11] = 1.0f;
  deviceProjection.m[14] = -m_near * m_far / depth;

  Matrix camera;
  MatrixFromRows(r, u, f, Vector4(0.0f, 0.0f, 0.0f, 1.0f), camera);

  // Pixels: s scales view x/z and y/z to the window, (cx, cy) is its centre on the back buffer.
  const float vw = static_cast<float>(m_viewport[2]);
  const float vh = static_cast<float>(m_viewport[3]);
  const float s = (window.height == 0 || m_viewport[2] == 0) ? 0.0f : m_focal * (w / h) * (vh / vw);
  Matrix screen;
  screen.m[0] = -s;
  screen.m[5] = s;
  screen.m[8] = w * 0.5f + static_cast<float>(window.originX);
  screen.m[9] = h * 0.5f + static_cast<float>(window.originY);
  screen.m[10] = (m_depthMin * m_far - m_depthMax * m_near) / depth;
  screen.m[11] = 1.0f;
  screen.m[14] = m_near * m_far * (m_depthMax - m_depthMin) / depth;

  Matrix projection;
  projection.m[0] = xs;
  projection.m[5] = ys;
  projection.m[10] = (m_far + m_near) / depth;
  projection.m[11] = 1.0f;
  projection.m[14] = -2.0f * m_far * m_near / depth;

  Display* display = GetApp().GetDisplay();
  display->SetDeviceProjectionMatrix(&deviceProjection);
  display->SetViewMatrix(&view);
  display->SetCameraMatrix(&camera);
  display->SetScreenProjectionMatrix(&screen);
  display->SetProjectionMatrix(&projection);
  display->UpdateMatrices();
}
