// The two walks that turn a geometry container placed by a game into mesh records of the
// window: render nodes during Update, geometry instances during Render. Neither recurses; each
// tests the container's box once, then each mesh's own box, and fills a diffuse record for the
// solid strips and an alpha record for the blended ones.
//
// The records go into this window's lists. The application runs each window with its current
// window index pointing at it, so that is the same window in a frame; a window driven on its
// own (a tool, a test) still gets its own records.

#include "Engine/Assert.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCNodeContainer.h"
#include "Engine/PC/PCNodeFactory.h"
#include "Engine/PC/PCRenderWindow.h"

namespace {

// The matrices a walk needs, taken once per call.
struct WalkMatrices {
  Matrix view;
  Matrix viewProjection;
  Matrix deviceProjection;

  WalkMatrices() {
    Display* display = GetApp().GetDisplay();
    view = *display->GetViewMatrix();
    Multiply(view, *display->GetProjectionMatrix(), viewProjection);
    deviceProjection = *display->GetDeviceProjectionMatrix();
  }

  bool Outside(const Matrix& placement, const BoundingBox* box) const {
    Matrix clip;
    Multiply(placement, viewProjection, clip);
    return BaseDisplay::FrustumTestBox(&clip, box) == kBoxOutside;
  }

  void Draw(const Matrix& world, Matrix& draw) const {
    Matrix worldView;
    Multiply(world, view, worldView);
    Multiply(worldView, deviceProjection, draw);
  }
};

void Fill(MeshRecord* record, GeoMesh* mesh, const Matrix& draw, const Vector4& tint,
          uint32_t flags, const Matrix& world) {
  record->node = mesh;
  record->drawMatrix = draw;
  record->tint = tint;
  record->flags = flags;
  record->world = world;
}

// The container's own box, or null (with the assertion) for a container that holds no file.
const BoundingBox* ContainerBox(const NodeContainer* container) {
  const BoundingBox* box = container->GetBox();
  if (!box) AssertReport("pNode!=NULL", __FILE__, __LINE__);
  return box;
}

// Mesh i with its geometry object, or null (with the assertion) when the node has none.
GeoMesh* DrawableMesh(const NodeContainer* container, uint32_t i) {
  GeoMesh* mesh = container->GetMesh(i);
  if (!mesh || !mesh->geoObject) {
    AssertReport("m_pObject!=NULL", __FILE__, __LINE__);
    return nullptr;
  }
  return mesh;
}

BoundingBox MeshBox(const GeoMesh& mesh) {
  return BoundingBox(mesh.geoObject->GetBoxMin(), mesh.geoObject->GetBoxMax());
}

}  // namespace

void RenderWindow::UpdateNodeTree(NodeContainer* container, RenderNodeRecord* record) {
  if (!container || !record) return;
  const BoundingBox* box = ContainerBox(container);
  if (!box) return;
  const WalkMatrices matrices;
  const bool culling = (record->flags & kNodeNoCulling) == 0;
  if (culling && matrices.Outside(record->placement, box)) return;
  const bool alphaForced = (record->flags & kNodeAlphaMask) != 0;
  const uint32_t flags = record->flags | MeshRecord::kLit;
  for (uint32_t i = 0; i < container->GetNodeCount(); ++i) {
    GeoMesh* mesh = DrawableMesh(container, i);
    if (!mesh) continue;
    Matrix world;
    Multiply(mesh->geoObject->GetLocalMatrix(), record->placement, world);
    if (culling) {
      const BoundingBox meshBox = MeshBox(*mesh);
      if (matrices.Outside(world, &meshBox)) continue;
    }
    Matrix draw;
    matrices.Draw(world, draw);
    MeshRecord* records[2] = {};
    if (mesh->HasSolidStrips())
      records[0] = alphaForced ? GetAlphaMeshSlot() : GetDiffuseMeshSlot();
    // A forced mesh with solid strips gets a second alpha record for its blended strips.
    if (mesh->HasAlphaStrips() || alphaForced) records[1] = GetAlphaMeshSlot();
    for (MeshRecord* slot : records) {
      if (!slot) continue;  // no strips of that kind, or a full list
      Fill(slot, mesh, draw, record->tint, flags, world);
      slot->overrideTexture = record->overrideTexture;
      slot->skeleton = record->skeleton;
    }
  }
}

void RenderWindow::CullNodeTree(NodeContainer* container, NodeInstanceBody* body) {
  if (!container || !body) return;
  const BoundingBox* box = ContainerBox(container);
  if (!box) return;
  const WalkMatrices matrices;
  if (matrices.Outside(body->placement, box)) return;
  const bool alphaForced = (body->flags & kNodeAlphaMask) != 0;
  for (uint32_t i = 0; i < container->GetNodeCount(); ++i) {
    GeoMesh* mesh = DrawableMesh(container, i);
    if (!mesh) continue;
    Matrix world;
    Multiply(mesh->geoObject->GetLocalMatrix(), body->placement, world);
    const BoundingBox meshBox = MeshBox(*mesh);
    if (matrices.Outside(world, &meshBox)) continue;
    Matrix draw;
    matrices.Draw(world, draw);
    MeshRecord* records[2] = {};
    if (mesh->HasSolidStrips() && !alphaForced) records[0] = GetDiffuseMeshSlot();
    if (mesh->HasAlphaStrips() || alphaForced) records[1] = GetAlphaMeshSlot();
    for (MeshRecord* slot : records) {
      if (!slot) continue;
      Fill(slot, mesh, draw, body->tint, body->flags, world);
      slot->skeleton = nullptr;
    }
  }
}

NodeContainer* RenderWindow::FindNodeContainer(int32_t geometryHandle) {
  return GetApp().GetNodeFactory()->GetContainer(geometryHandle);
}
