#pragma once
// Where a render window's eye is: viewport, field of view, eye and target, near and far planes.
// Once per frame UpdateMatrices turns the record into the view, the two projections and the
// camera matrix and hands them to the display. The world's up axis is +z. The record is the same
// on every platform (the display carries one too); UpdateMatrices is the platform's
// (Engine/PC/PCCamera.cpp).

#include <cstdint>

#include "Engine/FastMath.h"

class Camera {
 public:
  Camera() { SetDefaults(); }

  void SetDefaults();

  // The viewport arguments are four ints: x, y, width, height (a render window's int viewport).
  void SetVerticalFov(float fov, const int32_t* viewport);
  void SetFov(float horizontalFov, const int32_t* viewport);
  void SetFocalLength(float focal, const int32_t* viewport);
  void SetZoom(float zoom, const int32_t* viewport);
  // A horizontal field of view of 2 atan(1 / zoom) over the camera's own viewport.
  void SetFovFromZoom(float zoom);

  float GetFocal() const { return m_focal; }
  float GetVerticalFov() const { return m_verticalFov; }
  float GetHorizontalFov() const;
  float GetTanHalfHorizontalFov() const;
  float GetTanHalfVerticalFov() const;
  float GetCotHalfVerticalFov() const;
  float GetCotHalfHorizontalFov() const;

  // Builds the matrices from the record and hands them to the display; degenerate input (eye on
  // the target, near on far, a field of view too narrow) leaves the display's matrices alone.
  void UpdateMatrices();

  const int32_t* GetViewport() const { return m_viewport; }
  const Vector4& GetEye() const { return m_eye; }
  void SetEye(const Vector4& eye) { m_eye = eye; }
  const Vector4& GetTarget() const { return m_target; }
  void SetTarget(const Vector4& target) { m_target = target; }
  const Vector4& GetUp() const { return m_up; }
  void SetUp(const Vector4& up) { m_up = up; }
  float GetNear() const { return m_near; }
  float GetFar() const { return m_far; }
  void SetNearFar(float nearPlane, float farPlane) {
    m_near = nearPlane;
    m_far = farPlane;
  }
  float GetDepthMin() const { return m_depthMin; }
  float GetDepthMax() const { return m_depthMax; }
  void SetDepthRange(float depthMin, float depthMax) {
    m_depthMin = depthMin;
    m_depthMax = depthMax;
  }
  const float* GetCentre() const { return m_centre; }
  void SetCentre(float x, float y) {
    m_centre[0] = x;
    m_centre[1] = y;
  }
  uint16_t GetSizeWidth() const { return m_size[0]; }
  uint16_t GetSizeHeight() const { return m_size[1]; }
  void SetSize(uint16_t width, uint16_t height) {
    m_size[0] = width;
    m_size[1] = height;
  }
  uint32_t GetUseWindowAspect() const { return m_useWindowAspect; }
  void SetUseWindowAspect(uint32_t use) { m_useWindowAspect = use; }

  // The basis of the last UpdateMatrices that got past the eye-on-target test.
  const Vector4& GetUpVector() const { return m_upVector; }
  const Vector4& GetRightVector() const { return m_rightVector; }
  const Vector4& GetForwardVector() const { return m_forwardVector; }

 private:
  int32_t m_viewport[4] = {};
  float m_focal = 0.0f;
  float m_verticalFov = 0.0f;
  Vector4 m_eye;
  Vector4 m_target;
  Vector4 m_up;
  float m_near = 0.0f;
  float m_far = 0.0f;
  float m_depthMin = 0.0f;
  float m_depthMax = 0.0f;
  float m_centre[2] = {};
  uint16_t m_size[2] = {};
  uint32_t m_useWindowAspect = 0;
  uint32_t m_reserved[3] = {};
  Vector4 m_upVector;
  Vector4 m_rightVector;
  Vector4 m_forwardVector;
};
