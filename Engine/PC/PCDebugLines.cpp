#include "Engine/PC/PCDebugLines.h"

#include <cmath>
#include <cstring>
#include <memory>

#include "Engine/Assert.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCDisplay.h"
#include "Engine/PC/PCGeoObject.h"
#include "Engine/PC/PCMeshRecord.h"
#include "Engine/PC/PCRenderStates.h"

using namespace gfx;

namespace {

constexpr float kTwoPi = 2.0f * kPi;
constexpr uint32_t kLineFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;

struct LineVertex {
  float x, y, z;
  uint32_t colour;
};
static_assert(sizeof(LineVertex) == 16, "debug-line vertices are 16 bytes");

void SetStage0Arguments(uint32_t argument) {
  RenderStateCache::SetTextureStageState(0, D3DTSS_COLORARG1, argument);
  RenderStateCache::SetTextureStageState(0, D3DTSS_ALPHAARG1, argument);
}

void LoadWorldAndView(D3DDevice* device) {
  D3DMATRIX matrix;
  std::memcpy(matrix.m, g_IdentityMatrix.m, sizeof(matrix.m));
  ReportD3DError(device->SetTransform(D3DTS_WORLD, &matrix));
  std::memcpy(matrix.m, GetApp().GetDisplay()->GetViewMatrix()->m, sizeof(matrix.m));
  ReportD3DError(device->SetTransform(D3DTS_VIEW, &matrix));
}

void DrawSegment(D3DDevice* device, const Vector4& from, const Vector4& to, uint32_t colour) {
  const LineVertex vertices[2] = {{from.x, from.y, from.z, colour}, {to.x, to.y, to.z, colour}};
  ReportD3DError(device->DrawPrimitiveUP(D3DPT_LINELIST, 1, vertices, sizeof(LineVertex)));
}

// centre + r (cos a, sin a) along two basis vectors.
Vector4 OnCircle(const Vector4& centre, const Vector4& first, const Vector4& second, float radius,
                 float angle) {
  const float c = radius * std::cos(angle);
  const float s = radius * std::sin(angle);
  return Vector4(centre.x + c * first.x + s * second.x, centre.y + c * first.y + s * second.y,
                 centre.z + c * first.z + s * second.z, centre.w);
}

}  // namespace

int32_t DebugLines::Init() {
  // The array's grow step is fixed when it is made, so a fresh one takes the old one's place;
  // lines gathered before Init are given back rather than kept unreachable.
  std::destroy_at(&m_lines);
  std::construct_at(&m_lines, kGrowBy);
  return 0;
}

void DebugLines::Empty() { m_lines.Empty(); }

int32_t DebugLines::AddLine(const Vector4* from, const Vector4* to, uint32_t colour) {
  FE_Line line;
  line.from = *from;
  line.to = *to;
  line.colour = colour;
  return m_lines.Add(line);
}

void DebugLines::AddMarker(const Vector4* point, uint32_t size, uint32_t colour) {
  const float s = static_cast<float>(size);
  const Vector4& p = *point;
  const Vector4 ends[6] = {
      {p.x, p.y - s, p.z, p.w}, {p.x, p.y + s, p.z, p.w}, {p.x - s, p.y, p.z, p.w},
      {p.x + s, p.y, p.z, p.w}, {p.x, p.y, p.z - s, p.w}, {p.x, p.y, p.z + s, p.w},
  };
  for (int i = 0; i < 6; i += 2) AddLine(&ends[i], &ends[i + 1], colour);
}

void DebugLines::AddBox(const Vector4* a, const Vector4* b, uint32_t colour) {
  // Corner k takes x from b when bit 0 is set, y with bit 1, z with bit 2.
  Vector4 corners[8];
  for (int k = 0; k < 8; ++k)
    corners[k].Set((k & 1) ? b->x : a->x, (k & 2) ? b->y : a->y, (k & 4) ? b->z : a->z, 1.0f);
  // Every edge joins two corners one bit apart.
  for (int k = 0; k < 8; ++k)
    for (int bit = 1; bit < 8; bit <<= 1)
      if (!(k & bit)) AddLine(&corners[k], &corners[k | bit], colour);
}

void DebugLines::AddObjectBounds(const GeoObject* object, uint32_t colour, const Matrix* matrix) {
  if (!object) {
    AssertReport("m_pObject!=NULL", __FILE__, __LINE__);
    return;
  }
  const float* local = object->GetLocalMatrix().m;
  Vector4 origin(local[12], local[13], local[14], local[15]);
  TransformVector4(origin, *matrix);
  const Vector4& lo = object->GetBoxMin();
  const Vector4& hi = object->GetBoxMax();
  const float w = origin.w;
  const Vector4 a(origin.x + w * lo.x, origin.y + w * lo.y, origin.z + w * lo.z, 1.0f);
  const Vector4 b(origin.x + w * hi.x, origin.y + w * hi.y, origin.z + w * hi.z, 1.0f);
  AddBox(&a, &b, colour);
}

void DebugLines::AddMeshBounds(const SceneNode* const* meshes, int32_t meshCount, uint32_t colour,
                               const Matrix* matrix) {
  if (!meshes || !matrix) return;
  for (int32_t i = 0; i < meshCount; ++i)
    if (meshes[i]) AddObjectBounds(meshes[i]->geoObject, colour, matrix);
}

void DebugLines::AddPolyline(const Vector4* points, int32_t count, uint32_t colour) {
  for (int32_t i = 0; i + 1 < count; ++i) AddLine(&points[i], &points[i + 1], colour);
}

void DebugLines::AddCircle(const Vector4* centre, float radius, int32_t segments, uint32_t colour,
                           int first, int second) {
  if (segments <= 0) return;
  Vector4 axes[2];
  axes[0][first] = 1.0f;
  axes[1][second] = 1.0f;
  // Point n is point 0 again, so the circle closes exactly where it began.
  Vector4 previous = OnCircle(*centre, axes[0], axes[1], radius, 0.0f);
  const Vector4 start = previous;
  for (int32_t i = 1; i <= segments; ++i) {
    const Vector4 next =
        i == segments ? start
                      : OnCircle(*centre, axes[0], axes[1], radius,
                                 kTwoPi * static_cast<float>(i) / static_cast<float>(segments));
    AddLine(&previous, &next, colour);
    previous = next;
  }
}

void DebugLines::AddCircleXY(const Vector4* centre, float radius, int32_t segments,
                             uint32_t colour) {
  AddCircle(centre, radius, segments, colour, 0, 1);
}

void DebugLines::AddCircleXZ(const Vector4* centre, float radius, int32_t segments,
                             uint32_t colour) {
  AddCircle(centre, radius, segments, colour, 0, 2);
}

void DebugLines::AddCircleYZ(const Vector4* centre, float radius, int32_t segments,
                             uint32_t colour) {
  AddCircle(centre, radius, segments, colour, 1, 2);
}

void DebugLines::AddSphere(const Vector4* centre, float radius, int32_t segments, uint32_t colour) {
  AddCircleYZ(centre, radius, segments, colour);
  AddCircleXZ(centre, radius, segments, colour);
  AddCircleXY(centre, radius, segments, colour);
}

void DebugLines::AddCapsule(const CapsuleShape* shape, int32_t segments, uint32_t colour) {
  int32_t n = (segments + 1) & ~1;
  if (n < 4) n = 4;
  if (n > 32) n = 32;
  const float r = shape->radius;
  const Vector4 p(shape->point.x, shape->point.y, shape->point.z, 1.0f);
  const Vector4 q(p.x + shape->axis.x, p.y + shape->axis.y, p.z + shape->axis.z, 1.0f);

  // An orthonormal frame around the axis; a zero axis stands along z.
  Vector4 dir(shape->axis.x, shape->axis.y, shape->axis.z, 0.0f);
  const float length = Length3(dir);
  if (length > 0.000001f) {
    Scale(dir, 1.0f / length);
  } else {
    dir.Set(0.0f, 0.0f, 1.0f, 0.0f);
  }
  const Vector4 helper = std::fabs(dir.x) < 0.9f ? Vector4(1, 0, 0, 0) : Vector4(0, 1, 0, 0);
  Vector4 u;
  Cross(dir, helper, u);
  Scale(u, 1.0f / Length3(u));
  Vector4 v;
  Cross(dir, u, v);
  Vector4 back;
  Negate(dir, back);

  Vector4 ringP[33];
  Vector4 ringQ[33];
  for (int32_t i = 0; i <= n; ++i) {
    const float angle = i == n ? 0.0f : kTwoPi * static_cast<float>(i) / static_cast<float>(n);
    ringP[i] = OnCircle(p, u, v, r, angle);
    ringQ[i] = OnCircle(q, u, v, r, angle);
  }
  for (int32_t i = 0; i < n; i += 2) AddLine(&ringP[i], &ringQ[i], colour);
  AddPolyline(ringP, n + 1, colour);
  AddPolyline(ringQ, n + 1, colour);

  // Half circles over each end, bulging away from the other end.
  const int32_t half = n / 2;
  Vector4 arc[17];
  const Vector4* ends[2] = {&p, &q};
  const Vector4* outward[2] = {&back, &dir};
  const Vector4* across[2] = {&u, &v};
  for (int e = 0; e < 2; ++e) {
    for (int a = 0; a < 2; ++a) {
      for (int32_t i = 0; i <= half; ++i)
        arc[i] = OnCircle(*ends[e], *across[a], *outward[e], r,
                          kPi * static_cast<float>(i) / static_cast<float>(half));
      AddPolyline(arc, half + 1, colour);
    }
  }
}

void DebugLines::Draw() {
  if (m_lines.GetCount() == 0) return;
  D3DDevice* device = GetApp().GetDisplay()->GetDevice();
  if (device) {
    LoadWorldAndView(device);
    ReportD3DError(device->SetFVF(kLineFvf));
    ReportD3DError(device->SetVertexShader(nullptr));
    SetStage0Arguments(D3DTA_DIFFUSE);
    for (int32_t i = 0; i < m_lines.GetCount(); ++i) {
      const FE_Line& line = m_lines[i];
      DrawSegment(device, line.from, line.to, line.colour);
    }
    RestoreTextureStage();
  }
  m_lines.Empty();
}

void DebugLines::DrawLine(const Vector4* from, const Vector4* to, uint32_t colour) {
  D3DDevice* device = GetApp().GetDisplay()->GetDevice();
  if (!device) return;
  LoadWorldAndView(device);
  ReportD3DError(device->SetFVF(kLineFvf));
  ReportD3DError(device->SetVertexShader(nullptr));
  DrawSegment(device, *from, *to, colour);
}

void DebugLines::RestoreTextureStage() { SetStage0Arguments(D3DTA_TEXTURE); }
