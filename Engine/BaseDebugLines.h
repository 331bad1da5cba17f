#pragma once
// The interface of a render window's debug lines: coloured 3D segments gathered during a frame
// and drawn once at the end of the window's drawing. Development aid only.

#include <cstdint>

#include "Engine/FastMath.h"

struct SceneNode;

// A capsule for AddCapsule: the centre of its first end, the axis from there to the centre of
// the other end, and the radius around that axis.
struct CapsuleShape {
  Vector4 point;
  Vector4 axis;
  float radius = 0.0f;
};

class BaseDebugLines {
 public:
  virtual ~BaseDebugLines() = default;

  // Starts gathering afresh; 0.
  virtual int32_t Init() = 0;
  // Forgets every line and gives the storage back.
  virtual void Empty() = 0;
  // One segment; the index of the line it appended (-1 when there was no room).
  virtual int32_t AddLine(const Vector4* from, const Vector4* to, uint32_t colour) = 0;
  // Three axis-aligned segments of half-length `size` crossing at `point`.
  virtual void AddMarker(const Vector4* point, uint32_t size, uint32_t colour) = 0;
  // The 12 edges of the axis-aligned box with opposite corners `a` and `b`.
  virtual void AddBox(const Vector4* a, const Vector4* b, uint32_t colour) = 0;
  // The bounding box of each mesh, moved (not rotated or scaled) to where `matrix` puts the
  // mesh's origin. Null entries (meshes that failed to build) are passed over.
  virtual void AddMeshBounds(const SceneNode* const* meshes, int32_t meshCount, uint32_t colour,
                             const Matrix* matrix) = 0;
  virtual void AddCapsule(const CapsuleShape* shape, int32_t segments, uint32_t colour) = 0;
  // Three circles of `segments` segments in the YZ, XZ and XY planes through `centre`.
  virtual void AddSphere(const Vector4* centre, float radius, int32_t segments,
                         uint32_t colour) = 0;
};
