#pragma once
// The ring of dynamic vertices for geometry that changes every frame (the particle systems):
// one large dynamic vertex buffer filled front to back and started again from the beginning
// when it runs out, and one static index buffer that makes every four vertices a quad of two
// triangles (0, 1, 2) and (2, 1, 3).
//
// A lock that starts at vertex 0 discards the buffer (the driver hands out fresh memory); any
// other appends behind the earlier ones without waiting for the draws in flight. Every render
// window puts the offset back to 0 after its Render, so each window's first lock discards.

#include <cstdint>

#include "Platform/Gfx/D3D.h"

struct StreamVertex {
  float x, y, z;
  uint32_t colour;  // ARGB
  float u, v;
};
static_assert(sizeof(StreamVertex) == 24, "the stream's vertex is 24 bytes");

class VertexStream {
 public:
  static constexpr uint32_t TOTALVB_SIZE = 45000;
  static constexpr uint32_t kQuads = 7500;
  static constexpr uint32_t kVertexSize = 24;
  static constexpr uint32_t kFvf = gfx::D3DFVF_XYZ | gfx::D3DFVF_DIFFUSE | gfx::D3DFVF_TEX1;

  VertexStream() = default;
  ~VertexStream() { Release(); }
  VertexStream(const VertexStream&) = delete;
  VertexStream& operator=(const VertexStream&) = delete;

  // Makes both buffers on the display's device (or on `device`) and writes the indices; 1.
  int32_t Create();
  int32_t Create(gfx::D3DDevice* device);
  // Room for n vertices, or null when the lock fails; GetStartVertex tells where they begin.
  StreamVertex* Lock(uint32_t n);
  void Unlock();
  void Release();

  uint32_t GetStartVertex() const { return m_startVertex; }
  uint32_t GetCount() const { return m_count; }
  uint32_t GetOffset() const { return m_Offset; }
  // The render windows rewind the ring at the end of their Render.
  void SetOffset(uint32_t offset) { m_Offset = offset; }
  int32_t IsLocked() const { return static_cast<int32_t>(m_locked); }
  gfx::D3DVertexBuffer* GetVertexBuffer() const { return m_vertexBuffer; }
  gfx::D3DIndexBuffer* GetIndexBuffer() const { return m_indexBuffer; }

  // What the locks asked of the buffer, for inspection: how many discarded, how many appended,
  // and the byte range and flags of the last one.
  uint32_t GetDiscardLocks() const { return m_discardLocks; }
  uint32_t GetAppendLocks() const { return m_appendLocks; }
  uint32_t GetLastLockByteOffset() const { return m_lastLockOffset; }
  uint32_t GetLastLockByteSize() const { return m_lastLockSize; }
  uint32_t GetLastLockFlags() const { return m_lastLockFlags; }

 private:
  uint32_t m_count = 0;
  uint32_t m_Offset = 0;
  gfx::D3DVertexBuffer* m_vertexBuffer = nullptr;
  gfx::D3DIndexBuffer* m_indexBuffer = nullptr;
  uint32_t m_locked = 0;
  StreamVertex* m_data = nullptr;
  uint32_t m_startVertex = 0;
  uint32_t m_discardLocks = 0;
  uint32_t m_appendLocks = 0;
  uint32_t m_lastLockOffset = 0;
  uint32_t m_lastLockSize = 0;
  uint32_t m_lastLockFlags = 0;
};
