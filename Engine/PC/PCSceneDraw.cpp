// The scene's per-frame submission: it draws nothing itself, but culls its placed objects and its
// game nodes' geometry against the view and fills records of the window's four mesh lists, which
// the window then sorts and draws.

#include <cstring>

#include "Engine/Assert.h"
#include "Engine/FastMathBounds.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCGeoObject.h"
#include "Engine/PC/PCNodeContainer.h"
#include "Engine/PC/PCNodeFactory.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Engine/PC/PCScene.h"

namespace {

constexpr uint32_t kMarkerSize = 64;
constexpr uint32_t kMarkerColour = 0xFFFFFFFFu;

// world x view x device projection, the matrix the geometry draws load.
Matrix DrawMatrix(const Matrix& world) {
  Display* display = GetApp().GetDisplay();
  Matrix draw;
  Multiply(world, *display->GetViewMatrix(), draw);
  return Multiply(draw, *display->GetDeviceProjectionMatrix(), draw);
}

// Fills a record the window handed out; a full list hands out none and the mesh is dropped.
void Fill(MeshRecord* record, GeoMesh* mesh, const Matrix& draw, const Vector4& tint,
          uint32_t flags, const Matrix& world) {
  if (!record) return;
  record->node = mesh;
  record->drawMatrix = draw;
  record->tint = tint;
  record->flags = flags;
  record->world = world;
  record->skeleton = nullptr;
}

}  // namespace

void Scene::Draw(RenderWindow* window) {
  if (m_flags & kHidden) return;
  Render(window);
}

void Scene::Render(RenderWindow* window) {
  // Without objects nothing is submitted, not even the game nodes' geometry.
  if (!window || m_objectCount <= 0) return;
  Display* display = GetApp().GetDisplay();
  Matrix viewProjection;
  Multiply(*display->GetViewMatrix(), *display->GetProjectionMatrix(), viewProjection);
  SubmitPlacements(window, viewProjection, false);
  SubmitGameNodes(window, viewProjection);
  SubmitPlacements(window, viewProjection, true);
  if (m_debug == 1) DrawGameNodeMarkers(window);
}

ScnPlacementEntry Scene::GetPlacement(uint32_t i) const {
  ScnPlacementEntry entry{0, 0};
  m_image.Read(static_cast<uint64_t>(m_placementOffset) + uint64_t{i} * sizeof(entry), &entry);
  return entry;
}

Matrix Scene::GetPlacementMatrix(uint32_t i) const {
  ScnMatrix file;
  Matrix matrix;
  if (m_image.Read(static_cast<uint64_t>(m_matrixTableOffset) + uint64_t{i} * sizeof(file), &file))
    std::memcpy(matrix.m, file.m, sizeof(file.m));
  return matrix;
}

void Scene::SubmitPlacements(RenderWindow* window, const Matrix& viewProjection, bool effects) {
  const Vector4 white(1.0f, 1.0f, 1.0f, 1.0f);
  for (uint32_t i = 0; i < m_placementCount; ++i) {
    const ScnPlacementEntry entry = GetPlacement(i);
    GeoMesh* mesh = GetObject(static_cast<int32_t>(entry.object));
    if (!mesh) {
      AssertReport("pMesh!=NULL", __FILE__, __LINE__);
      continue;
    }
    const GeoObject* geo = mesh->geoObject;
    if (!geo) {
      AssertReport("m_pObject!=NULL", __FILE__, __LINE__);
      continue;
    }
    // The effect meshes go to the reflection pass only, after everything else.
    const bool isEffect = (geo->GetFlags() & GeoObject::kEffect) != 0;
    if (isEffect != effects) continue;

    const Matrix world = GetPlacementMatrix(entry.matrix);
    Matrix clip;
    Multiply(world, viewProjection, clip);
    const BoundingBox box(geo->GetBoxMin(), geo->GetBoxMax());
    if (BaseDisplay::FrustumTestBox(&clip, &box) == kBoxOutside) continue;
    const Matrix draw = DrawMatrix(world);

    const bool water = !effects && (geo->GetFlags() & GeoObject::kWater);
    const uint32_t flags =
        water ? (MeshRecord::kNoCulling | MeshRecord::kTextureOverride) : MeshRecord::kNoCulling;
    MeshRecord* records[2] = {nullptr, nullptr};
    if (mesh->HasSolidStrips())
      records[0] = effects ? window->GetEffectMeshSlot() : window->GetDiffuseMeshSlot();
    if (mesh->HasAlphaStrips())
      records[1] = effects ? window->GetAlphaEffectMeshSlot() : window->GetAlphaMeshSlot();
    for (MeshRecord* record : records) {
      Fill(record, mesh, draw, white, flags, world);
      if (record && water) record->overrideTexture = window->GetReflectionTexture();
    }
  }
}

void Scene::SubmitGameNodes(RenderWindow* window, const Matrix& viewProjection) {
  NodeFactory* nodes = GetApp().GetNodeFactory();
  for (int32_t n = 0; m_gameNodes && n < m_NumGameNodes; ++n) {
    const GameNode& node = m_gameNodes[n];
    if (node.geometry == -1 || (node.flags & GameNode::kHidden)) continue;
    NodeContainer* container = nodes ? nodes->GetContainer(node.geometry) : nullptr;
    if (!container) {
      AssertReport("pNode!=NULL", __FILE__, __LINE__);
      continue;
    }
    // One test for the whole file: the meshes of a visible node are not tested one by one.
    Matrix clip;
    Multiply(node.matrix, viewProjection, clip);
    const BoundingBox* box = container->GetBox();
    if (!box || BaseDisplay::FrustumTestBox(&clip, box) == kBoxOutside) continue;

    const bool alphaForced = (node.flags & GameNode::kAlphaMask) != 0;
    const uint32_t flags = node.flags | MeshRecord::kLit | MeshRecord::kNoCulling;
    for (uint32_t i = 0; i < container->GetNodeCount(); ++i) {
      GeoMesh* mesh = container->GetMesh(i);
      if (!mesh || !mesh->geoObject) {
        AssertReport("m_pObject!=NULL", __FILE__, __LINE__);
        continue;
      }
      Matrix world;
      Multiply(mesh->geoObject->GetLocalMatrix(), node.matrix, world);
      const Matrix draw = DrawMatrix(world);
      if (mesh->HasSolidStrips() && !alphaForced)
        Fill(window->GetDiffuseMeshSlot(), mesh, draw, node.tint, flags, world);
      if (mesh->HasAlphaStrips() || alphaForced)
        Fill(window->GetAlphaMeshSlot(), mesh, draw, node.tint, flags, world);
    }
  }
}

void Scene::DrawGameNodeMarkers(RenderWindow* window) {
  for (int32_t n = 0; m_gameNodes && n < m_NumGameNodes; ++n) {
    const Vector4 position = m_gameNodes[n].matrix.GetRow(3);
    window->GetDebugLines()->AddMarker(&position, kMarkerSize, kMarkerColour);
  }
}
