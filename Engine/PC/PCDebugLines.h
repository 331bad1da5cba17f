#pragma once
// Debug lines of one render window: segments gathered from anywhere during the frame and drawn
// by the window after everything else but its text, as unlit lines in world space, one draw
// each. Drawing forgets them, so a line shows for exactly one frame.

#include <cstdint>

#include "Engine/BaseDebugLines.h"
#include "Engine/DataArray.h"

class GeoObject;

struct FE_Line {
  Vector4 from;  // w is not drawn
  Vector4 to;
  uint32_t colour;  // ARGB
};

class DebugLines : public BaseDebugLines {
 public:
  static constexpr int32_t kConstructionGrowBy = 16;
  static constexpr int32_t kGrowBy = 1;

  DebugLines() = default;
  ~DebugLines() override { Empty(); }
  DebugLines(const DebugLines&) = delete;
  DebugLines& operator=(const DebugLines&) = delete;

  int32_t Init() override;
  void Empty() override;
  int32_t AddLine(const Vector4* from, const Vector4* to, uint32_t colour) override;
  void AddMarker(const Vector4* point, uint32_t size, uint32_t colour) override;
  void AddBox(const Vector4* a, const Vector4* b, uint32_t colour) override;
  void AddMeshBounds(const SceneNode* const* meshes, int32_t meshCount, uint32_t colour,
                     const Matrix* matrix) override;
  // The segment count is rounded up to even and held to 4..32. Two rings around the axis, one
  // at each end, joined at every second ring point, and each end closed by two half circles in
  // perpendicular planes through the axis.
  void AddCapsule(const CapsuleShape* shape, int32_t segments, uint32_t colour) override;
  void AddSphere(const Vector4* centre, float radius, int32_t segments, uint32_t colour) override;

  // Circles of `segments` segments, starting on the plane's first axis and closing on it;
  // nothing for 0 segments.
  void AddCircleXY(const Vector4* centre, float radius, int32_t segments, uint32_t colour);
  void AddCircleXZ(const Vector4* centre, float radius, int32_t segments, uint32_t colour);
  void AddCircleYZ(const Vector4* centre, float radius, int32_t segments, uint32_t colour);
  // k - 1 lines joining k points in order.
  void AddPolyline(const Vector4* points, int32_t count, uint32_t colour);
  // The box of one geometry object placed by `matrix` (see AddMeshBounds).
  void AddObjectBounds(const GeoObject* object, uint32_t colour, const Matrix* matrix);

  // Draws every line gathered this frame and forgets them; nothing at all when there are none.
  void Draw();
  // Draws one line at once, outside the frame's list.
  void DrawLine(const Vector4* from, const Vector4* to, uint32_t colour);
  // Stage 0 takes colour and alpha from the texture again (as after Draw).
  void RestoreTextureStage();

  int32_t GetCount() const { return m_lines.GetCount(); }
  int32_t GetCapacity() const { return m_lines.GetCapacity(); }
  int32_t GetGrowBy() const { return m_lines.GetGrowBy(); }
  const FE_Line& GetLine(int32_t i) const { return m_lines[i]; }

 private:
  // axis 0 x, 1 y, 2 z: the circle lies in the plane of `first` and `second`.
  void AddCircle(const Vector4* centre, float radius, int32_t segments, uint32_t colour, int first,
                 int second);

  DataArray<FE_Line> m_lines{kConstructionGrowBy};
};
