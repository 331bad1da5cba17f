#include "Engine/PC/PCPolygonPools.h"

#include <cstring>

#include "Engine/Assert.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCDisplay.h"
#include "Engine/PC/PCRenderStates.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Engine/PC/PCShaderSet.h"
#include "Engine/PC/PCTexture.h"

using namespace gfx;

namespace {

constexpr uint32_t kFvf3D = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// What the full-pool report says for each queue, in queue order.
const char* const kFullPoolText[PolygonPools::kQueueCount] = {
    "m_NumPolygonVerts<VERTEX_POOL_SIZE",
    "m_Num2DVerts<VERTEX_POOL_SIZE",
    "m_NumAlphaPolygonVerts<VERTEX_POOL_SIZE",
    "m_NumAlpha2DVerts<VERTEX_POOL_SIZE",
};

// What the count of each queue's refusals says.
const char* const kFullPoolWhat[PolygonPools::kQueueCount] = {
    "PolygonPools: 3D polygons beyond the vertex pool",
    "PolygonPools: 2D polygons beyond the vertex pool",
    "PolygonPools: blended 3D polygons beyond the vertex pool",
    "PolygonPools: blended 2D polygons beyond the vertex pool",
};

// Owners as memory.log shows them.
const char* const kPoolOwner[PolygonPools::kQueueCount] = {
    "PolygonPools::AddPoly",
    "PolygonPools::Add2DPoly",
    "PolygonPools::AddPoly",
    "PolygonPools::Add2DPoly",
};
constexpr char kFreeOwner[] = "PolygonPools::FreeAll";

bool Is2D(PolygonPools::Queue queue) {
  return queue == PolygonPools::kOpaque2D || queue == PolygonPools::kAlpha2D;
}

// Triangles a record draws; lists and strips of fewer than three vertices draw nothing.
uint32_t TriangleCount(uint32_t type, int32_t vertexCount) {
  if (vertexCount < 3) return 0;
  return type == D3DPT_TRIANGLESTRIP ? static_cast<uint32_t>(vertexCount - 2)
                                     : static_cast<uint32_t>(vertexCount / 3);
}

// One colour byte times a factor, truncated toward zero and kept to a byte: a factor above 1.0
// brightens up to white rather than wrapping into the neighbouring channel.
uint32_t ScaleByte(uint32_t byte, float factor) {
  const float product = static_cast<float>(byte) * factor;
  if (!(product > 0.0f)) return 0;  // also NaN
  if (product >= 255.0f) return 255;
  return static_cast<uint32_t>(product);
}

uint32_t ScaleColour(uint32_t argb, const float* rgba) {
  const uint32_t a = ScaleByte(argb >> 24, rgba[3]);
  const uint32_t r = ScaleByte((argb >> 16) & 0xFF, rgba[0]);
  const uint32_t g = ScaleByte((argb >> 8) & 0xFF, rgba[1]);
  const uint32_t b = ScaleByte(argb & 0xFF, rgba[2]);
  return (a << 24) | (r << 16) | (g << 8) | b;
}

void CopyFactors(float* out, const float* in) {
  for (int i = 0; i < 4; ++i) out[i] = in ? in[i] : 1.0f;
}

void SetCulling(uint32_t flags) {
  RenderStateCache::SetRenderState(D3DRS_CULLMODE,
                                   (flags & PolygonPools::kNoCulling) ? D3DCULL_NONE : D3DCULL_CCW);
}

// Alpha polygons: additive wins over subtractive, otherwise a plain alpha blend. The polygon
// flags are handed over as draw flags, so they share the mesh records' bits.
static_assert(PolygonPools::kAdditive == MeshRecord::kAdditive &&
              PolygonPools::kSubtractive == MeshRecord::kSubtractive);
void SetBlending(uint32_t flags) {
  RenderStateCache::SetBlendMode(
      0, static_cast<uint8_t>(flags & (PolygonPools::kAdditive | PolygonPools::kSubtractive)));
}

void SetSampler0(uint32_t filter, uint32_t address) {
  RenderStateCache::SetSamplerState(0, D3DSAMP_MINFILTER, filter);
  RenderStateCache::SetSamplerState(0, D3DSAMP_MAGFILTER, filter);
  RenderStateCache::SetSamplerState(0, D3DSAMP_MIPFILTER, filter);
  RenderStateCache::SetSamplerState(0, D3DSAMP_ADDRESSU, address);
  RenderStateCache::SetSamplerState(0, D3DSAMP_ADDRESSV, address);
}

}  // namespace

// ---- Submission ------------------------------------------------------------------------------

void* PolygonPools::RecordAt(Queue queue, int32_t n, size_t recordSize) const {
  const QueueStore& q = m_queues[queue];
  if (n < 0 || n >= q.count) return nullptr;
  auto* block = static_cast<uint8_t*>(q.blocks[n / kRecordsPerBlock]);
  return block + static_cast<size_t>(n % kRecordsPerBlock) * recordSize;
}

void* PolygonPools::Reserve(Queue queue, int32_t vertexCount, size_t vertexSize, size_t recordSize,
                            void** slot) {
  QueueStore& q = m_queues[queue];
  // Checked before anything is written: a submission that does not fit is refused whole.
  if (vertexCount > VERTEX_POOL_SIZE) {
    // Too big for any frame: the caller's fault, said every time rather than counted with the
    // pool's busy frames.
    AssertReport(kFullPoolText[queue], __FILE__, __LINE__);
    return nullptr;
  }
  if (vertexCount > VERTEX_POOL_SIZE - q.vertexCount) {
    q.full.Raise(kFullPoolText[queue], __FILE__, __LINE__);
    return nullptr;
  }
  if (!q.vertices) {
    q.vertices =
        TrackedAlloc(kPoolOwner[queue], static_cast<size_t>(VERTEX_POOL_SIZE) * vertexSize);
    if (!q.vertices) return nullptr;
  }
  const int32_t block = q.count / kRecordsPerBlock;
  if (block >= q.blocks.GetCount()) {
    void* records = TrackedAlloc(kPoolOwner[queue], kRecordsPerBlock * recordSize);
    if (!records) return nullptr;
    if (q.blocks.Add(records) < 0) {
      TrackedFree(kFreeOwner, records);
      return nullptr;
    }
  }
  *slot = static_cast<uint8_t*>(q.vertices) + static_cast<size_t>(q.vertexCount) * vertexSize;
  q.vertexCount += vertexCount;
  ++q.count;
  return RecordAt(queue, q.count - 1, recordSize);
}

PolygonData* PolygonPools::Add3D(int32_t texture, int32_t vertexCount, const PolyVertex* vertices,
                                 const float* colourFactors, uint32_t flags, uint32_t type) {
  if (vertexCount <= 0 || !vertices) return nullptr;
  const Queue queue = (flags & kAlphaFlags) ? kAlpha3D : kOpaque3D;
  void* slot = nullptr;
  auto* record = static_cast<PolygonData*>(
      Reserve(queue, vertexCount, sizeof(PolyVertex), sizeof(PolygonData), &slot));
  if (!record) return nullptr;
  std::memcpy(slot, vertices, static_cast<size_t>(vertexCount) * sizeof(PolyVertex));
  CopyFactors(record->colourFactors, colourFactors);
  record->vertices = static_cast<PolyVertex*>(slot);
  record->vertexCount = vertexCount;
  record->texture = texture;
  record->type = type;
  record->flags = flags;
  return record;
}

PolygonData2D* PolygonPools::Add2D(int32_t texture, int32_t vertexCount,
                                   const PolyVertex2D* vertices, const float* colourFactors,
                                   uint32_t flags, uint32_t type) {
  if (vertexCount <= 0 || !vertices) return nullptr;
  const Queue queue = (flags & kAlphaFlags) ? kAlpha2D : kOpaque2D;
  void* slot = nullptr;
  auto* record = static_cast<PolygonData2D*>(
      Reserve(queue, vertexCount, sizeof(PolyVertex2D), sizeof(PolygonData2D), &slot));
  if (!record) return nullptr;
  std::memcpy(slot, vertices, static_cast<size_t>(vertexCount) * sizeof(PolyVertex2D));
  CopyFactors(record->colourFactors, colourFactors);
  record->vertices = static_cast<PolyVertex2D*>(slot);
  record->vertexCount = vertexCount;
  record->texture = texture;
  record->type = type;
  record->flags = flags;
  return record;
}

PolygonData* PolygonPools::AddPoly(int32_t texture, int32_t vertexCount, const PolyVertex* vertices,
                                   const float* colourFactors, uint32_t flags) {
  return Add3D(texture, vertexCount, vertices, colourFactors, flags, D3DPT_TRIANGLELIST);
}

PolygonData* PolygonPools::AddPolyStrip(int32_t texture, int32_t vertexCount,
                                        const PolyVertex* vertices, const float* colourFactors,
                                        uint32_t flags) {
  return Add3D(texture, vertexCount, vertices, colourFactors, flags, D3DPT_TRIANGLESTRIP);
}

PolygonData2D* PolygonPools::Add2DPoly(int32_t texture, int32_t vertexCount,
                                       const PolyVertex2D* vertices, const float* colourFactors,
                                       uint32_t flags) {
  return Add2D(texture, vertexCount, vertices, colourFactors, flags, D3DPT_TRIANGLELIST);
}

PolygonData2D* PolygonPools::Add2DPolyStrip(int32_t texture, int32_t vertexCount,
                                            const PolyVertex2D* vertices,
                                            const float* colourFactors, uint32_t flags) {
  return Add2D(texture, vertexCount, vertices, colourFactors, flags, D3DPT_TRIANGLESTRIP);
}

const PolygonData* PolygonPools::Get3D(Queue queue, int32_t n) const {
  if (Is2D(queue)) return nullptr;
  return static_cast<const PolygonData*>(RecordAt(queue, n, sizeof(PolygonData)));
}

const PolygonData2D* PolygonPools::Get2D(Queue queue, int32_t n) const {
  if (!Is2D(queue)) return nullptr;
  return static_cast<const PolygonData2D*>(RecordAt(queue, n, sizeof(PolygonData2D)));
}

// ---- Drawing ---------------------------------------------------------------------------------

void PolygonPools::Draw3DQueue(Queue queue) {
  App& app = GetApp();
  Display* display = app.GetDisplay();
  D3DDevice* device = display->GetDevice();
  if (!device) return;
  const bool alpha = queue == kAlpha3D;

  D3DMATRIX matrix;
  std::memcpy(matrix.m, display->GetWorldMatrix()->m, sizeof(matrix.m));
  ReportD3DError(device->SetTransform(D3DTS_WORLD, &matrix));
  std::memcpy(matrix.m, display->GetViewMatrix()->m, sizeof(matrix.m));
  ReportD3DError(device->SetTransform(D3DTS_VIEW, &matrix));
  ReportD3DError(device->SetFVF(kFvf3D));
  ReportD3DError(device->SetVertexShader(nullptr));
  if (alpha) {
    RenderStateCache::SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    RenderStateCache::SetRenderState(D3DRS_ZWRITEENABLE, 0);
  }

  Texture* textures = app.GetTexture();
  const QueueStore& q = m_queues[queue];
  for (int32_t i = 0; i < q.count; ++i) {
    const auto* record = static_cast<const PolygonData*>(RecordAt(queue, i, sizeof(PolygonData)));
    textures->SetStage(record->texture);
    if (alpha) {
      SetBlending(record->flags);
      RenderStateCache::SetRenderState(D3DRS_ALPHATESTENABLE, 0);
    } else {
      RenderStateCache::SetRenderState(D3DRS_ALPHATESTENABLE,
                                       (record->flags & kNoAlphaTest) ? 0 : 1);
    }
    SetCulling(record->flags);
    const uint32_t triangles = TriangleCount(record->type, record->vertexCount);
    if (triangles)
      ReportD3DError(device->DrawPrimitiveUP(static_cast<D3DPRIMITIVETYPE>(record->type), triangles,
                                             record->vertices, sizeof(PolyVertex)));
  }

  RenderStateCache::SetRenderState(D3DRS_ALPHATESTENABLE, 1);
  if (alpha) {
    RenderStateCache::SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    RenderStateCache::SetRenderState(D3DRS_ZWRITEENABLE, 1);
    RenderStateCache::SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
  }
}

void PolygonPools::Draw2DQueue(Queue queue, const RenderWindow& window) {
  App& app = GetApp();
  Display* display = app.GetDisplay();
  D3DDevice* device = display->GetDevice();
  if (!device) return;
  const bool alpha = queue == kAlpha2D;

  if (!alpha) {
    ReportD3DError(device->SetFVF(0));
    ReportD3DError(device->SetStreamSource(ShaderSet::kStreamMesh, nullptr, 0, 0));
  }
  if (ShaderSet* shaders = display->GetShaderSet()) shaders->SelectScreenShader();
  SetSampler0(D3DTEXF_POINT, D3DTADDRESS_CLAMP);
  if (alpha) {
    RenderStateCache::SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    RenderStateCache::SetRenderState(D3DRS_ZWRITEENABLE, 0);
  }

  // HUD coordinates are given in a 640 by 480 frame.
  const float scaleX = static_cast<float>(app.GetWidth()) / 640.0f;
  const float scaleY = static_cast<float>(app.GetHeight()) / 480.0f;
  const bool scaled = scaleX != 1.0f || scaleY != 1.0f;
  const float* windowFactors = window.GetColourFactors();

  Texture* textures = app.GetTexture();
  const QueueStore& q = m_queues[queue];
  for (int32_t i = 0; i < q.count; ++i) {
    auto* record = static_cast<PolygonData2D*>(RecordAt(queue, i, sizeof(PolygonData2D)));
    PolyVertex2D* v = record->vertices;
    const int32_t n = record->vertexCount;
    if (scaled) {
      for (int32_t k = 0; k < n; ++k) {
        v[k].x *= scaleX;
        v[k].y *= scaleY;
      }
    }
    float factors[4];
    bool tinted = false;
    for (int c = 0; c < 4; ++c) {
      factors[c] = record->colourFactors[c] * windowFactors[c];
      if (factors[c] != 1.0f) tinted = true;
    }
    if (tinted)
      for (int32_t k = 0; k < n; ++k) v[k].colour = ScaleColour(v[k].colour, factors);

    RenderStateCache::SetRenderState(D3DRS_ALPHATESTENABLE, 0);
    if (alpha) SetBlending(record->flags);
    textures->SetStage(record->texture);
    SetCulling(record->flags);
    const uint32_t triangles = TriangleCount(record->type, n);
    if (triangles)
      ReportD3DError(device->DrawPrimitiveUP(static_cast<D3DPRIMITIVETYPE>(record->type), triangles,
                                             v, sizeof(PolyVertex2D)));
  }

  RenderStateCache::SetRenderState(D3DRS_ALPHATESTENABLE, 1);
  SetSampler0(D3DTEXF_LINEAR, D3DTADDRESS_WRAP);
  // The alpha form leaves z-write off: the text that follows is drawn without it too.
  if (alpha) RenderStateCache::SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
}

void PolygonPools::RenderList(const RenderWindow& /*window*/) {
  if (m_queues[kOpaque3D].count == 0) return;
  Draw3DQueue(kOpaque3D);
  Clear(kOpaque3D);
}

void PolygonPools::RenderListAlpha(const RenderWindow& /*window*/) {
  if (m_queues[kAlpha3D].count == 0) return;
  Draw3DQueue(kAlpha3D);
  Clear(kAlpha3D);
}

void PolygonPools::Render2DList(const RenderWindow& window) {
  if (m_queues[kOpaque2D].count == 0) return;
  Draw2DQueue(kOpaque2D, window);
  Clear(kOpaque2D);
}

void PolygonPools::Render2DListAlpha(const RenderWindow& window) {
  if (m_queues[kAlpha2D].count == 0) return;
  Draw2DQueue(kAlpha2D, window);
  Clear(kAlpha2D);
}

// ---- Lifetime --------------------------------------------------------------------------------

void PolygonPools::Clear(Queue queue) {
  m_queues[queue].count = 0;
  m_queues[queue].vertexCount = 0;
}

void PolygonPools::DropAll() {
  for (int32_t queue = 0; queue < kQueueCount; ++queue) Clear(static_cast<Queue>(queue));
}

void PolygonPools::FreeAll() {
  for (int32_t queue = 0; queue < kQueueCount; ++queue) {
    QueueStore& q = m_queues[queue];
    // A pool that overflows in one frame overflows in the next while its window shows the same
    // thing, so the count is said once, when the window gives its pools back.
    q.full.Close(kFullPoolWhat[queue]);
    if (q.vertices) TrackedFree(kFreeOwner, q.vertices);
    q.vertices = nullptr;
    for (int32_t b = 0; b < q.blocks.GetCount(); ++b) TrackedFree(kFreeOwner, q.blocks[b]);
    q.blocks.Empty();
    q.count = 0;
    q.vertexCount = 0;
  }
}
