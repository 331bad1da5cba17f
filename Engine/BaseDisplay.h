#pragma once
// The platform-neutral display interface: the one object that owns the graphics device. It also
// keeps the frame's matrices: setters copy a matrix in and mark it changed, the display's
// UpdateMatrices rebuilds the combined products only when something changed, and the getters
// hand out pointers to the stored matrices.

#include <cstdint>

#include "Engine/Camera.h"
#include "Engine/FastMath.h"

// An identity matrix for anyone who needs one to point at.
extern Matrix g_IdentityMatrix;

// Results of the box tests against the view volume.
constexpr int32_t kBoxInside = -1;
constexpr int32_t kBoxOutside = 0;
constexpr int32_t kBoxStraddling = 1;

class BaseDisplay {
 public:
  BaseDisplay();
  virtual ~BaseDisplay() = default;
  virtual void Reserved0() {}
  virtual void CleanUp() = 0;
  virtual void Reserved2(int32_t, int32_t) {}
  virtual int32_t Init() = 0;
  virtual int32_t BeginScene() = 0;
  virtual int32_t EndScene() = 0;
  virtual int32_t Present() = 0;

  virtual void SetWorldMatrix(const Matrix* m) {
    m_world = *m;
    m_worldChanged = 1;
  }
  virtual void SetViewMatrix(const Matrix* m) {
    m_view = *m;
    m_viewChanged = 1;
  }
  virtual void SetProjectionMatrix(const Matrix* m) {
    m_projection = *m;
    m_projectionChanged = 1;
  }
  virtual void SetDeviceProjectionMatrix(const Matrix* m) {
    m_deviceProjection = *m;
    m_deviceProjectionChanged = 1;
  }
  // The screen projection feeds the same products as the device projection, so it shares its flag.
  virtual void SetScreenProjectionMatrix(const Matrix* m) {
    m_screenProjection = *m;
    m_deviceProjectionChanged = 1;
  }
  // Nothing is built from the camera matrix, so it marks nothing changed.
  virtual void SetCameraMatrix(const Matrix* m) { m_camera = *m; }

  virtual Matrix* GetWorldMatrix() { return &m_world; }
  virtual Matrix* GetViewMatrix() { return &m_view; }
  virtual Matrix* GetProjectionMatrix() { return &m_projection; }
  virtual Matrix* GetDeviceProjectionMatrix() { return &m_deviceProjection; }
  virtual Matrix* GetScreenProjectionMatrix() { return &m_screenProjection; }
  virtual Matrix* GetCameraMatrix() { return &m_camera; }
  virtual Matrix* GetViewToScreenMatrix() { return &m_viewToScreen; }
  virtual Matrix* GetWorldToScreenMatrix() { return &m_worldToScreen; }
  virtual Matrix* GetSpareMatrix() { return &m_spare; }
  virtual Matrix* GetWorldViewProjectionMatrix() { return &m_worldViewProjection; }

  // A world point (x, y, z of `point`) through the view and the screen projection, in pixels of
  // the window being drawn with y from the top; w is 1, or everything 0 when the point projects
  // to w = 0 (before the flip of y).
  virtual Vector4* ProjectToScreen(Vector4* out, const Vector4* point) = 0;

  // The eight corners of `box` (its x, y and z) through `clip`, tested against -|w|..|w| on every
  // axis: kBoxInside, kBoxOutside (all corners beyond one plane) or kBoxStraddling.
  static int32_t FrustumTestBox(const Matrix* clip, const BoundingBox* box);
  // The same for a box placed by `world` and seen through the stored view and projection.
  int32_t IsBoxInView(const Matrix* world, const BoundingBox* box);

  Camera* GetCamera() { return &m_cameraRecord; }
  uint32_t GetWorldChanged() const { return m_worldChanged; }
  uint32_t GetViewChanged() const { return m_viewChanged; }
  uint32_t GetProjectionChanged() const { return m_projectionChanged; }
  uint32_t GetDeviceProjectionChanged() const { return m_deviceProjectionChanged; }

 protected:
  Camera m_cameraRecord;
  Matrix m_projection;
  Matrix m_deviceProjection;
  Matrix m_view;
  Matrix m_world;
  Matrix m_viewToScreen;
  Matrix m_spare;
  Matrix m_worldViewProjection;
  Matrix m_worldToScreen;
  Matrix m_screenProjection;
  Matrix m_camera;
  uint32_t m_worldChanged = 1;
  uint32_t m_viewChanged = 1;
  uint32_t m_projectionChanged = 1;
  uint32_t m_deviceProjectionChanged = 1;
  uint32_t m_spareFlags[2] = {1, 1};
};
