#pragma once
// A render window: one viewport on the back buffer with its own camera, scene, light manager and
// debug lines, four mesh lists, four polygon queues, the render nodes and geometry instances
// games place each frame, and the text queue, light record and particle systems of its base.
// Games create one, Init it and hand it to the application, which runs Clear, Update and
// Render on every window once a frame in sort-key order. Everything submitted is drawn and
// forgotten in the same frame: storage stays, counts go back to 0.
//
// Submissions that do not fit (4096 records per mesh list, 1024 render nodes, the instance
// capacity given at construction) get no record: the call returns null and nothing is written.
// A list that overflows once overflows again next frame with the same scene, so each list's
// overflow is reported once and counted after that; CleanUp writes the counts.

#include <cstdint>

#include "Engine/Assert.h"
#include "Engine/BaseRenderWindow.h"
#include "Engine/PC/PCDebugLines.h"
#include "Engine/PC/PCGeoObject.h"
#include "Engine/PC/PCLightManager.h"
#include "Engine/PC/PCMeshRecord.h"
#include "Engine/PC/PCPolygonPools.h"
#include "Engine/PC/PCRenderTarget.h"

class Camera;
class NodeContainer;
class Skeleton;

// A geometry file placed for one frame (AddRenderNode copies it whole).
struct RenderNodeRecord {
  NodeContainer* container;
  Matrix placement;
  uint32_t flags;
  Vector4 tint;
  int32_t overrideTexture;
  Skeleton* skeleton;

  // The matrix and the tint are the caller's to set.
  RenderNodeRecord() : container(nullptr), flags(0), overrideTexture(0), skeleton(nullptr) {}
  void SetPlacement(const Matrix& m) { placement = m; }
  void SetFlags(uint32_t f) { flags = f; }
  void SetTint(const Vector4& t) { tint = t; }
  void SetOverrideTexture(int32_t handle) { overrideTexture = handle; }
  void SetSkeleton(Skeleton* s) { skeleton = s; }
};

// The part of a geometry instance that the caller fills.
struct NodeInstanceBody {
  Matrix placement;
  uint32_t flags;
  Vector4 tint;
};

struct NodeInstanceRecord {
  int32_t geometry;  // a handle of the geometry registry
  NodeInstanceBody body;
};

// One entry of a blended pass, sorted by key, largest (farthest) first.
struct AlphaSortEntry {
  float key;
  int32_t kind;  // 0 mesh, 1 particle system
  const MeshRecord* mesh;
  BaseParticleSystem* system;
  int32_t order = 0;  // submission order, which breaks ties in the depth sort
};

class RenderWindow : public BaseRenderWindow {
 public:
  static constexpr int32_t MAX_MESHS = 4096;
  static constexpr int32_t kMaxRenderNodes = 1024;
  static constexpr int32_t kReflectionSize = 256;

  // The four mesh lists, in the order they are kept.
  enum MeshList : int32_t { kDiffuse, kAlpha, kEffect, kAlphaEffect, kMeshListCount };

  // Room for `instanceCapacity` geometry instances a frame (0 for a window that takes none).
  explicit RenderWindow(int32_t instanceCapacity = 0);
  ~RenderWindow() override;

  // ---- The window's operations.
  // Viewport from `topLeft` to `bottomRight`; the clear colour in 0..255 per channel; 1.
  int32_t Init(const Vector2& topLeft, const Vector2& bottomRight, const Vector4& clearColour,
               int32_t flags, float sortKey) override;
  void CleanUp() override;
  void SetViewport(int32_t left, int32_t top, int32_t right, int32_t bottom) override;
  int32_t SetId(int32_t id) override { return m_id = id; }
  int32_t GetId() const override { return m_id; }
  // A number no other window of this run has had: ids are the owner's to set and addresses are
  // reused, so whoever keeps a window to come back to later (a scene, for its particle systems)
  // checks this before touching it.
  uint64_t GetSerial() const { return m_serial; }
  int32_t GetWidth() const override { return static_cast<int32_t>(m_viewport[2] - m_viewport[0]); }
  int32_t GetHeight() const override { return static_cast<int32_t>(m_viewport[3] - m_viewport[1]); }
  const float* GetViewportMin() const override { return &m_viewport[0]; }
  const float* GetViewportMax() const override { return &m_viewport[2]; }
  const WindowRect* GetViewportRect() const override { return &m_viewportRect; }
  // A copy of the record for this frame, or null when the frame has 1024 already.
  RenderNodeRecord* AddRenderNode(const RenderNodeRecord& record) override;
  // Takes the scene and attaches it; 1.
  int32_t SetScene(BaseScene* scene) override;
  BaseScene* GetScene() override { return m_scene; }
  // The body of a new instance of the geometry for the caller to fill, or null when the frame's
  // instances are all taken.
  NodeInstanceBody* AddNodeInstance(int32_t geometryHandle) override;
  void Clear() override;
  void Update() override;
  void Render() override;
  // Forgets everything submitted since the window last ran, undrawn: a suspended window does so
  // every frame, and so does every window while the application is in the background.
  void DropSubmissions();
  // The window draws through `camera` from now on; the window's own camera stays its own.
  Camera* SetCamera(Camera* camera) override { return m_camera = camera; }
  Camera* GetCamera() override { return m_camera; }
  const Vector4& SetUserVector(const Vector4& v) override { return m_userVector = v; }
  const Vector4& GetUserVector() const override { return m_userVector; }
  LightManager* GetLightManager() override { return &m_lightManager; }
  PolygonData* AddPoly(int32_t texture, int32_t vertexCount, const PolyVertex* vertices,
                       const float* colourFactors, uint32_t flags) override {
    return m_polys.AddPoly(texture, vertexCount, vertices, colourFactors, flags);
  }
  PolygonData* AddPolyStrip(int32_t texture, int32_t vertexCount, const PolyVertex* vertices,
                            const float* colourFactors, uint32_t flags) override {
    return m_polys.AddPolyStrip(texture, vertexCount, vertices, colourFactors, flags);
  }
  PolygonData2D* Add2DPoly(int32_t texture, int32_t vertexCount, const PolyVertex2D* vertices,
                           const float* colourFactors, uint32_t flags) override {
    return m_polys.Add2DPoly(texture, vertexCount, vertices, colourFactors, flags);
  }
  PolygonData2D* Add2DPolyStrip(int32_t texture, int32_t vertexCount, const PolyVertex2D* vertices,
                                const float* colourFactors, uint32_t flags) override {
    return m_polys.Add2DPolyStrip(texture, vertexCount, vertices, colourFactors, flags);
  }
  DebugLines* GetDebugLines() override { return &m_debugLines; }

  // Sets the float and int viewport alone (no camera), for windows that draw without one.
  void SetViewportBounds(float left, float top, float right, float bottom);
  // Deletes the scene the window holds.
  void DeleteScene();

  // ---- Submission walks of the geometry registry: the container of a render node during
  // Update, of a geometry instance during Render. They fill the mesh lists.
  virtual void UpdateNodeTree(NodeContainer* container, RenderNodeRecord* record);
  virtual void CullNodeTree(NodeContainer* container, NodeInstanceBody* body);
  // The container of a geometry handle, or null.
  virtual NodeContainer* FindNodeContainer(int32_t geometryHandle);

  // ---- Mesh lists (PCRenderWindowLists.cpp).
  // The next record of a list for the caller to fill, or null when the list is full (or its
  // block could not be had). The record comes reset to a default record.
  MeshRecord* GetDiffuseMeshSlot() { return GetMeshSlot(kDiffuse); }
  MeshRecord* GetAlphaMeshSlot() { return GetMeshSlot(kAlpha); }
  MeshRecord* GetEffectMeshSlot() { return GetMeshSlot(kEffect); }
  MeshRecord* GetAlphaEffectMeshSlot() { return GetMeshSlot(kAlphaEffect); }
  int32_t GetMeshCount(MeshList list) const { return m_meshCounts[list]; }
  const MeshRecord* GetMesh(MeshList list, int32_t i) const {
    return (i >= 0 && i < m_meshCounts[list]) ? &m_meshLists[list][i] : nullptr;
  }
  // The reflection target the effect lists are drawn into: made once, 256 by 256.
  void CreateReflectionTexture();
  // Its texture handle (-1 when the window has none).
  int32_t GetReflectionTexture();
  // The target record with an id, or null.
  TargetContainer* GetReflectionTarget(int32_t id);
  int32_t GetReflectionId() const { return m_reflectionId; }
  RenderTargetSet* GetRenderTargets() const { return m_renderTargets; }

  // The sort key of a blended mesh: the view-space depth of the centre of its bounding box,
  // placed by its world matrix. Larger is farther.
  static float MeshSortKey(const MeshRecord& record, const Matrix& view);
  // The same for a particle system: its emitter point placed by its emitter matrix.
  static float ParticleSortKey(const BaseParticleSystem& system, const Matrix& view);

  // What the geometry draws take from the window: its colour factors as tint, and its scene's
  // water time and texture.
  GeoDrawContext MakeDrawContext() const;

  // ---- Inspection.
  int32_t GetRenderNodeCount() const { return m_renderNodeCount; }
  const RenderNodeRecord* GetRenderNode(int32_t i) const {
    return (i >= 0 && i < m_renderNodeCount) ? &m_renderNodes[i] : nullptr;
  }
  int32_t GetNodeInstanceCount() const { return m_instanceCount; }
  PolygonPools& GetPolygonPools() { return m_polys; }

  // The polygon pools and debug lines are the window's own; the polygon drawing and the
  // profiler reach them directly.
  PolygonPools m_polys;
  DebugLines m_debugLines;

 protected:
  // ---- The passes of Render (the list passes in PCRenderWindowLists.cpp).
  void DrawBackdrop();
  void RenderEffects();
  void RenderInstances();
  void RenderDiffuseList();
  void RenderListAlpha();

 private:
  MeshRecord* GetMeshSlot(MeshList list);
  // Writes the counts of the overflows reported while the window lived, and starts afresh.
  void CloseOverflowReports();
  // Fills `entries` with one entry per record of the list (sorted later); the number made.
  int32_t AddMeshEntries(MeshList list, const Matrix& view, AlphaSortEntry* entries);
  // Room for `n` sort entries in the window's scratch block; null when it cannot be had.
  AlphaSortEntry* SortEntries(int32_t n);
  static void SortByKey(AlphaSortEntry* entries, int32_t count);
  void FreeMeshLists();
  void FreeRenderTargets();

  MeshRecord* m_meshLists[kMeshListCount] = {};
  int32_t m_meshCounts[kMeshListCount] = {};
  NodeInstanceRecord* m_instances = nullptr;
  int32_t m_instanceCount = 0;
  int32_t m_instanceCapacity = 0;
  int32_t m_id = -1;
  uint64_t m_serial = ++s_lastSerial;
  static inline uint64_t s_lastSerial = 0;
  float m_viewport[4] = {};  // left, top, right, bottom
  WindowRect m_viewportRect;
  RenderNodeRecord* m_renderNodes = nullptr;
  int32_t m_renderNodeCount = 0;
  Camera* m_camera = nullptr;
  // The camera the window made itself, which it deletes.
  Camera* m_ownCamera = nullptr;
  BaseScene* m_scene = nullptr;
  Vector4 m_userVector{1.0f, 1.0f, 1.0f, 0.0f};
  LightManager m_lightManager;
  RenderTargetSet* m_renderTargets = nullptr;
  int32_t m_reflectionId = -1;
  // The blended passes' sort entries, kept from frame to frame.
  AlphaSortEntry* m_sortEntries = nullptr;
  int32_t m_sortCapacity = 0;
  RepeatedFault m_meshListFull[kMeshListCount];
  RepeatedFault m_renderNodesFull;
  RepeatedFault m_instancesFull;
};
