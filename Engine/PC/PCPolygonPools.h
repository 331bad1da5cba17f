#pragma once
// Loose polygons a render window draws for one frame: textured triangles in world space (3D) or
// in a 640 by 480 screen frame (2D), opaque or blended. Each submission copies its vertices into
// one of four vertex pools and queues a record; the window draws each queue at its fixed point
// of the frame and the queue is forgotten.
//
// Records come from a record store per queue that keeps its blocks from frame to frame, so a
// window that has seen its busiest frame once makes no allocation for polygons again.
//
// A pool that overflows is reported once; its later refusals are counted, and FreeAll (the
// window's CleanUp) writes the count.

#include <cstdint>

#include "Engine/Assert.h"
#include "Engine/DataArray.h"

class RenderWindow;

// A world-space vertex: position, ARGB colour, one texture coordinate.
struct PolyVertex {
  float x, y, z;
  uint32_t colour;
  float u, v;
};
static_assert(sizeof(PolyVertex) == 24, "3D polygon vertices are 24 bytes");

// A screen vertex in the 640 by 480 frame, already transformed (rhw 1 for a flat HUD piece).
struct PolyVertex2D {
  float x, y, z, rhw;
  uint32_t colour;
  float u, v;
};
static_assert(sizeof(PolyVertex2D) == 28, "2D polygon vertices are 28 bytes");

// One queued 3D polygon.
struct PolygonData {
  float colourFactors[4];  // red, green, blue, alpha
  PolyVertex* vertices;    // inside the queue's vertex pool
  int32_t vertexCount;
  int32_t texture;  // texture handle, -1 binds the fallback
  uint32_t type;    // 4 triangle list, 5 triangle strip
  uint32_t flags;
};

// One queued 2D polygon.
struct PolygonData2D {
  float colourFactors[4];
  PolyVertex2D* vertices;
  int32_t vertexCount;
  int32_t texture;
  uint32_t type;
  uint32_t flags;
};

class PolygonPools {
 public:
  static constexpr int32_t VERTEX_POOL_SIZE = 8192;

  // Polygon flags.
  static constexpr uint32_t kNoCulling = 0x1;
  static constexpr uint32_t kBlended = 0x4;
  static constexpr uint32_t kAdditive = 0x20;
  static constexpr uint32_t kSubtractive = 0x40;
  static constexpr uint32_t kNoAlphaTest = 0x80;
  static constexpr uint32_t kAlphaFlags = kBlended | kAdditive | kSubtractive;

  // The four queues, in the order their pools are kept.
  enum Queue : int32_t { kOpaque3D, kOpaque2D, kAlpha3D, kAlpha2D, kQueueCount };

  PolygonPools() = default;
  ~PolygonPools() { FreeAll(); }
  PolygonPools(const PolygonPools&) = delete;
  PolygonPools& operator=(const PolygonPools&) = delete;

  // Queue a polygon for this frame: a triangle list (AddPoly, Add2DPoly) or a strip. The
  // vertices are copied; `colourFactors` (four floats, null for all 1.0) are kept with the
  // record. The record, or null when the submission is refused: no vertices, or more than its
  // pool has room for this frame (reported, nothing queued).
  PolygonData* AddPoly(int32_t texture, int32_t vertexCount, const PolyVertex* vertices,
                       const float* colourFactors, uint32_t flags);
  PolygonData* AddPolyStrip(int32_t texture, int32_t vertexCount, const PolyVertex* vertices,
                            const float* colourFactors, uint32_t flags);
  PolygonData2D* Add2DPoly(int32_t texture, int32_t vertexCount, const PolyVertex2D* vertices,
                           const float* colourFactors, uint32_t flags);
  PolygonData2D* Add2DPolyStrip(int32_t texture, int32_t vertexCount, const PolyVertex2D* vertices,
                                const float* colourFactors, uint32_t flags);

  // Draw one queue in submission order and empty it (nothing at all when it is empty).
  void RenderList(const RenderWindow& window);
  void RenderListAlpha(const RenderWindow& window);
  void Render2DList(const RenderWindow& window);
  void Render2DListAlpha(const RenderWindow& window);

  // Forgets this frame's submissions; pools and records stay for the next frame.
  void DropAll();
  // Gives every pool and record block back, and writes the counts of the refusals reported.
  void FreeAll();

  // Inspection.
  int32_t GetPolygonCount(Queue queue) const { return m_queues[queue].count; }
  int32_t GetVertexCount(Queue queue) const { return m_queues[queue].vertexCount; }
  bool HasPool(Queue queue) const { return m_queues[queue].vertices != nullptr; }
  // The n-th queued record (null past the count).
  const PolygonData* Get3D(Queue queue, int32_t n) const;
  const PolygonData2D* Get2D(Queue queue, int32_t n) const;

 private:
  // Records are kept in blocks of this many; a block's address never changes while it lives.
  static constexpr int32_t kRecordsPerBlock = 256;

  struct QueueStore {
    // The vertex pool: VERTEX_POOL_SIZE vertices of the queue's kind, made on first use.
    void* vertices = nullptr;
    int32_t vertexCount = 0;
    // Records in submission order, kRecordsPerBlock to a block.
    DataArray<void*> blocks{4};
    int32_t count = 0;
    RepeatedFault full;
  };

  // Room for `vertexCount` more vertices of `vertexSize` bytes and one more record of
  // `recordSize` bytes in `queue`: the record's address, its vertices' address in *slot.
  void* Reserve(Queue queue, int32_t vertexCount, size_t vertexSize, size_t recordSize,
                void** slot);
  void* RecordAt(Queue queue, int32_t n, size_t recordSize) const;
  PolygonData* Add3D(int32_t texture, int32_t vertexCount, const PolyVertex* vertices,
                     const float* colourFactors, uint32_t flags, uint32_t type);
  PolygonData2D* Add2D(int32_t texture, int32_t vertexCount, const PolyVertex2D* vertices,
                       const float* colourFactors, uint32_t flags, uint32_t type);
  void Draw3DQueue(Queue queue);
  void Draw2DQueue(Queue queue, const RenderWindow& window);
  void Clear(Queue queue);

  QueueStore m_queues[kQueueCount];
};
