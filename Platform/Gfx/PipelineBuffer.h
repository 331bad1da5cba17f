#pragma once
// The GL buffer behind a vertex or index buffer, and Direct3D's Lock rules over it.
//
// Dynamic buffers are mapped: DISCARD orphans the storage (glBufferData with no data) and maps
// the range, so the driver hands out fresh memory while earlier draws still read the old;
// NOOVERWRITE maps unsynchronized, the caller promising not to touch what is in flight. Other
// buffers keep a copy in memory that Lock hands out and Unlock sends to GL: static data is
// written once, can be read back (READONLY), and index data can be checked before a draw.

#include <epoxy/gl.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "Platform/Gfx/D3D.h"

namespace gfx {

class D3DDeviceGl;
struct DeviceShared;

class PipelineBuffer {
 public:
  // `keepCopy` asks for the copy in memory even for a dynamic buffer (index buffers, whose
  // contents draws check).
  PipelineBuffer(D3DDeviceGl& device, uint32_t length, uint32_t usage, D3DPOOL pool, bool keepCopy);
  ~PipelineBuffer();
  PipelineBuffer(const PipelineBuffer&) = delete;
  PipelineBuffer& operator=(const PipelineBuffer&) = delete;

  // Makes the GL buffer (the device's context is current). False with a log line on failure.
  bool Create();

  HRESULT Lock(uint32_t offset, uint32_t size, void** data, uint32_t flags);
  HRESULT Unlock();

  GLuint Name() const { return name_; }
  uint32_t Length() const { return length_; }
  bool Locked() const { return locked_; }
  // The copy in memory, or null for a mapped dynamic buffer.
  const uint8_t* Copy() const { return copy_.empty() ? nullptr : copy_.data(); }
  // Changes whenever new contents reach the buffer.
  uint64_t Version() const { return version_; }
  // Whether the buffer was made by `device`. GL names are per context: a buffer of another
  // (or an earlier, destroyed) device names nothing here, or some other buffer.
  bool BelongsTo(const D3DDeviceGl& device) const;

 private:
  bool DeviceAlive() const;

  D3DDeviceGl* device_;
  std::shared_ptr<DeviceShared> shared_;
  uint32_t length_;
  bool dynamic_;
  bool defaultPool_;
  std::vector<uint8_t> copy_;
  GLuint name_ = 0;
  bool locked_ = false;
  uint32_t lockOffset_ = 0;
  uint32_t lockSize_ = 0;
  uint32_t lockFlags_ = 0;
  uint64_t version_ = 0;
};

// The pool, usage and length checks CreateVertexBuffer and CreateIndexBuffer share.
HRESULT CheckBufferRequest(uint32_t length, uint32_t usage, D3DPOOL pool);

}  // namespace gfx
