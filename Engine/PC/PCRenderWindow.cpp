#include "Engine/PC/PCRenderWindow.h"

#include "Engine/Assert.h"
#include "Engine/BaseScene.h"
#include "Engine/Camera.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCRenderStates.h"
#include "Engine/PC/PCShaderSet.h"
#include "Engine/PC/PCVertexStream.h"

using namespace gfx;

namespace {

D3DDevice* Device() { return GetApp().GetDisplay()->GetDevice(); }

// A clear-colour channel (0..255) times its factor, truncated and held to 0..255.
uint32_t ClearChannel(float value, float factor) {
  const float product = value * factor;
  if (!(product > 0.0f)) return 0;
  if (product >= 255.0f) return 255;
  return static_cast<uint32_t>(product);
}

// The backdrop's vertex: a transformed position, a colour and one texture coordinate.
struct ScreenVertex {
  float x, y, z, rhw;
  uint32_t colour;
  float u, v;
};
static_assert(sizeof(ScreenVertex) == 28, "the screen declaration's vertex");

// Frees a tracked block and forgets it, so that a second free finds nothing.
template <class T>
void FreeBlock(T*& block, const char* owner) {
  if (block) TrackedFree(owner, block);
  block = nullptr;
}

// What the count of each mesh list's overflows says when the window goes.
const char* const kListFullWhat[RenderWindow::kMeshListCount] = {
    "RenderWindow: diffuse meshes beyond a frame's room",
    "RenderWindow: blended meshes beyond a frame's room",
    "RenderWindow: effect meshes beyond a frame's room",
    "RenderWindow: blended effect meshes beyond a frame's room"};

// Sets a render state for the length of a scope and puts the cached value back after it.
class ScopedRenderState {
 public:
  ScopedRenderState(D3DRENDERSTATETYPE state, uint32_t value)
      : m_state(state), m_before(RenderStateCache::GetRenderState(state)) {
    RenderStateCache::SetRenderState(state, value);
  }
  ~ScopedRenderState() {
    if (m_before != RenderStateCache::kInvalid) RenderStateCache::SetRenderState(m_state, m_before);
  }
  ScopedRenderState(const ScopedRenderState&) = delete;
  ScopedRenderState& operator=(const ScopedRenderState&) = delete;

 private:
  D3DRENDERSTATETYPE m_state;
  uint32_t m_before;
};

}  // namespace

RenderWindow::RenderWindow(int32_t instanceCapacity) {
  if (instanceCapacity > 0) {
    m_instances = static_cast<NodeInstanceRecord*>(
        TrackedAlloc("RenderWindow::RenderWindow",
                     sizeof(NodeInstanceRecord) * static_cast<size_t>(instanceCapacity)));
    if (m_instances) m_instanceCapacity = instanceCapacity;
  }
}

RenderWindow::~RenderWindow() {
  FreeRenderTargets();
  FreeMeshLists();
  m_polys.FreeAll();
  FreeBlock(m_instances, "RenderWindow::~RenderWindow");
  m_instanceCapacity = 0;
  m_instanceCount = 0;
  FreeBlock(m_renderNodes, "RenderWindow::~RenderWindow");
  m_renderNodeCount = 0;
  FreeBlock(m_sortEntries, "RenderWindow::~RenderWindow");
  m_sortCapacity = 0;
  RenderWindow::CleanUp();
}

int32_t RenderWindow::Init(const Vector2& topLeft, const Vector2& bottomRight,
                           const Vector4& clearColour, int32_t flags, float sortKey) {
  m_flags = flags;
  m_viewport[0] = topLeft.x;
  m_viewport[1] = topLeft.y;
  m_viewport[2] = bottomRight.x;
  m_viewport[3] = bottomRight.y;
  m_sortKey = sortKey;
  SetClearColour(clearColour.x, clearColour.y, clearColour.z, clearColour.w);
  m_viewportRect.Set(static_cast<int32_t>(topLeft.x), static_cast<int32_t>(topLeft.y),
                     static_cast<int32_t>(bottomRight.x - topLeft.x),
                     static_cast<int32_t>(bottomRight.y - topLeft.y));
  if (!m_camera) {
    if (!m_ownCamera) m_ownCamera = TrackedNew<Camera>("RenderWindow::Init");
    m_camera = m_ownCamera;
  }
  if (m_camera) {
    const int32_t width = m_viewportRect.width;
    const int32_t height = m_viewportRect.height;
    m_camera->SetEye(Vector4(0.0f, 0.0f, -160.0f, 1.0f));
    m_camera->SetTarget(Vector4(0.0f, 0.0f, 0.0f, 1.0f));
    m_camera->SetUp(Vector4(0.0f, 1.0f, 0.0f, 1.0f));
    m_camera->SetSize(static_cast<uint16_t>(width), static_cast<uint16_t>(height));
    m_camera->SetCentre(static_cast<float>(width / 2), static_cast<float>(height / 2));
    int32_t viewport[4];
    m_viewportRect.ToArray(viewport);
    m_camera->SetVerticalFov(kPi / 4.0f, viewport);
  }
  m_lightManager.Init();
  m_polys.DropAll();
  return 1;
}

void RenderWindow::CleanUp() {
  CloseOverflowReports();
  m_lightManager.CleanUp();
  if (m_camera == m_ownCamera) m_camera = nullptr;
  if (m_ownCamera) TrackedDelete("RenderWindow::CleanUp", m_ownCamera);
  m_ownCamera = nullptr;
  CleanUpParticleSystems();
  m_polys.FreeAll();
  FreeBlock(m_instances, "RenderWindow::CleanUp");
  m_instanceCapacity = 0;
  m_instanceCount = 0;
}

void RenderWindow::CloseOverflowReports() {
  // Closed when the owner lets the window go rather than at the end of each frame: a frame that
  // overflows once overflows again while the same scene is in view, and an overflow that comes
  // and goes as the camera turns would otherwise be told anew each time it came back.
  for (int32_t i = 0; i < kMeshListCount; ++i) m_meshListFull[i].Close(kListFullWhat[i]);
  m_renderNodesFull.Close("RenderWindow: render nodes beyond a frame's room");
  m_instancesFull.Close("RenderWindow: geometry instances beyond a frame's room");
}

void RenderWindow::SetViewportBounds(float left, float top, float right, float bottom) {
  m_viewport[0] = left;
  m_viewport[1] = top;
  m_viewport[2] = right;
  m_viewport[3] = bottom;
  m_viewportRect.Set(static_cast<int32_t>(left), static_cast<int32_t>(top),
                     static_cast<int32_t>(right - left), static_cast<int32_t>(bottom - top));
}

void RenderWindow::SetViewport(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  const int32_t width = right - left;
  const int32_t height = bottom - top;
  m_viewport[0] = 0.0f;
  m_viewport[1] = 0.0f;
  m_viewport[2] = static_cast<float>(width);
  m_viewport[3] = static_cast<float>(height);
  m_viewportRect.Set(left, top, width, height);
  if (!m_camera) return;
  m_camera->SetEye(Vector4(0.0f, 0.0f, -160.0f, 1.0f));
  m_camera->SetTarget(Vector4(0.0f, 0.0f, 0.0f, 1.0f));
  m_camera->SetSize(static_cast<uint16_t>(width), static_cast<uint16_t>(height));
  m_camera->SetCentre(static_cast<float>(width / 2), static_cast<float>(height / 2));
}

RenderNodeRecord* RenderWindow::AddRenderNode(const RenderNodeRecord& record) {
  if (!m_renderNodes) {
    m_renderNodes = static_cast<RenderNodeRecord*>(
        TrackedAlloc("RenderWindow::AddRenderNode", sizeof(RenderNodeRecord) * kMaxRenderNodes));
    if (!m_renderNodes) {
      AssertReport("m_pRenderNodes!=NULL", __FILE__, __LINE__);
      return nullptr;
    }
  }
  if (m_renderNodeCount >= kMaxRenderNodes) {
    m_renderNodesFull.Raise("m_NumRenderNodes<MAX_RENDER_NODES", __FILE__, __LINE__);
    return nullptr;
  }
  RenderNodeRecord* stored = &m_renderNodes[m_renderNodeCount++];
  *stored = record;
  return stored;
}

NodeInstanceBody* RenderWindow::AddNodeInstance(int32_t geometryHandle) {
  if (!m_instances || m_instanceCapacity <= 0) {
    // No room at all is a fault of the window, not a busy frame: said every time.
    AssertReport("m_NumNodeInstances<m_MaxNodeInstances", __FILE__, __LINE__);
    return nullptr;
  }
  if (m_instanceCount >= m_instanceCapacity) {
    m_instancesFull.Raise("m_NumNodeInstances<m_MaxNodeInstances", __FILE__, __LINE__);
    return nullptr;
  }
  NodeInstanceRecord* record = &m_instances[m_instanceCount++];
  record->geometry = geometryHandle;
  record->body.placement.Identity();
  record->body.flags = 0;
  record->body.tint.Set(1.0f, 1.0f, 1.0f, 1.0f);
  return &record->body;
}

int32_t RenderWindow::SetScene(BaseScene* scene) {
  m_scene = scene;
  if (scene) scene->AttachToWindow(this);
  return 1;
}

void RenderWindow::DeleteScene() {
  BaseScene* scene = m_scene;
  m_scene = nullptr;
  if (!scene) return;
  // A scene the factory made is freed through it, or the factory would free it a second time
  // later; one made elsewhere is the window's to free.
  if (GetApp().GetSceneFactory()->DestroyScene(scene)) return;
  TrackedDelete("RenderWindow::DeleteScene", scene);
}

// UpdateNodeTree, CullNodeTree and FindNodeContainer: PCNodeSubmission.cpp.

GeoDrawContext RenderWindow::MakeDrawContext() const {
  GeoDrawContext context;
  context.windowTint.Set(m_colourFactors[0], m_colourFactors[1], m_colourFactors[2],
                         m_colourFactors[3]);
  if (m_scene) {
    context.waterTime = m_scene->GetWaterTime();
    context.reflectionTexture = m_scene->GetWaterTexture();
  }
  return context;
}

// ---- The frame

void RenderWindow::Clear() {
  if (m_flags & kSuspended) return;
  App& app = GetApp();
  D3DDevice* device = Device();
  if (!device) return;
  const D3DVIEWPORT9 whole = {
      0,    0,   static_cast<uint32_t>(app.GetWidth()), static_cast<uint32_t>(app.GetHeight()),
      0.0f, 1.0f};
  app.GetDisplay()->SetViewport(&whole);
  uint32_t colour = 0;
  if (!app.IsMoviePlaying()) {
    colour = ClearChannel(m_clearColour[3], m_colourFactors[3]) << 24 |
             ClearChannel(m_clearColour[0], m_colourFactors[0]) << 16 |
             ClearChannel(m_clearColour[1], m_colourFactors[1]) << 8 |
             ClearChannel(m_clearColour[2], m_colourFactors[2]);
  }
  uint32_t what = 0;
  if (m_flags & kClearColour) what |= D3DCLEAR_TARGET;
  if (m_flags & kClearDepth) what |= D3DCLEAR_ZBUFFER;
  if (what) ReportD3DError(device->Clear(0, nullptr, what, colour, 1.0f, 0));
}

void RenderWindow::Update() {
  if (!(m_flags & kSuspended)) {
    if (m_camera) m_camera->UpdateMatrices();
    if (m_scene) m_scene->Draw(this);
    for (int32_t i = 0; i < m_renderNodeCount; ++i) {
      RenderNodeRecord* record = &m_renderNodes[i];
      if (record->container) UpdateNodeTree(record->container, record);
    }
    UpdateParticleSystems(1);
  }
  m_renderNodeCount = 0;
}

void RenderWindow::Render() {
  if (!(m_flags & kSuspended)) {
    DrawBackdrop();
    RenderEffects();
    RenderInstances();
    RenderDiffuseList();
    m_polys.RenderList(*this);
    RenderListAlpha();
    m_polys.RenderListAlpha(*this);
    m_polys.Render2DList(*this);
    m_polys.Render2DListAlpha(*this);
    m_debugLines.Draw();
    FlushText();
  } else {
    DropSubmissions();
  }
  if (VertexStream* stream = GetApp().GetDisplay()->GetVertexStream()) stream->SetOffset(0);
  for (int32_t& count : m_meshCounts) count = 0;
}

void RenderWindow::DropSubmissions() {
  m_renderNodeCount = 0;
  for (int32_t& count : m_meshCounts) count = 0;
  m_instanceCount = 0;
  m_polys.DropAll();
  m_debugLines.Empty();
  // Text is a submission of the frame like any other: it must not turn up once the window
  // wakes.
  DropText();
}

void RenderWindow::DrawBackdrop() {
  if (m_backdrop == -1) return;
  App& app = GetApp();
  D3DDevice* device = Device();
  if (!device) return;
  const float width = static_cast<float>(app.GetWidth());
  const float height = static_cast<float>(app.GetHeight());
  const uint32_t grey = 0x7F7F7F7Fu;
  const ScreenVertex quad[4] = {
      {0.0f, 0.0f, 0.0f, 1.0f, grey, 0.0f, 0.0f},
      {width, 0.0f, 0.0f, 1.0f, grey, 1.0f, 0.0f},
      {0.0f, height, 0.0f, 1.0f, grey, 0.0f, 1.0f},
      {width, height, 0.0f, 1.0f, grey, 1.0f, 1.0f},
  };
  if (ShaderSet* shaders = app.GetDisplay()->GetShaderSet()) shaders->SelectScreenShader();
  app.GetTexture()->SetStage(m_backdrop);
  RenderStateCache::SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
  {
    // The backdrop lies under everything whatever the depth buffer holds; what comes after it
    // must find the depth test and culling as they were.
    ScopedRenderState zWrite(D3DRS_ZWRITEENABLE, 0);
    ScopedRenderState zFunc(D3DRS_ZFUNC, D3DCMP_ALWAYS);
    ScopedRenderState cull(D3DRS_CULLMODE, D3DCULL_NONE);
    RenderStateCache::SetRenderState(D3DRS_ALPHATESTENABLE, 0);
    ReportD3DError(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenVertex)));
  }
  RenderStateCache::SetRenderState(D3DRS_ALPHATESTENABLE, 1);
}

void RenderWindow::RenderInstances() {
  for (int32_t i = 0; i < m_instanceCount; ++i) {
    NodeInstanceRecord* record = &m_instances[i];
    if (NodeContainer* container = FindNodeContainer(record->geometry))
      CullNodeTree(container, &record->body);
  }
  m_instanceCount = 0;
}
