#pragma once
// An index buffer: Direct3D's interface over a PipelineBuffer that always keeps its indices in
// memory as well, so that a draw can make sure no index reaches outside the vertex buffers
// (the GL driver would read whatever lies there, or fault).

#include "Platform/Gfx/PipelineBuffer.h"

namespace gfx {

class IndexBufferGl final : public D3DIndexBuffer {
 public:
  // Null (the reason in *result) for formats other than INDEX16 and INDEX32, refused requests,
  // or when GL cannot make the buffer.
  static IndexBufferGl* Create(D3DDeviceGl& device, uint32_t length, uint32_t usage,
                               D3DFORMAT format, D3DPOOL pool, HRESULT* result);

  HRESULT Lock(uint32_t offset, uint32_t size, void** data, uint32_t flags) override {
    return buffer_.Lock(offset, size, data, flags);
  }
  HRESULT Unlock() override { return buffer_.Unlock(); }
  uint32_t GetLength() const override { return buffer_.Length(); }
  D3DFORMAT GetFormat() const override { return format_; }

  const PipelineBuffer& Buffer() const { return buffer_; }
  uint32_t IndexSize() const { return format_ == D3DFMT_INDEX32 ? 4 : 2; }
  uint32_t IndexCount() const { return buffer_.Length() / IndexSize(); }
  // The smallest and largest index among `count` indices from `first` (which the caller has
  // checked lie inside the buffer).
  void IndexRange(uint32_t first, uint32_t count, uint32_t* lowest, uint32_t* highest) const;
  // The same for the whole buffer, kept between changes, so that the common case of a draw
  // whose vertices hold every index of the buffer costs no scan.
  void WholeRange(uint32_t* lowest, uint32_t* highest);

 private:
  IndexBufferGl(D3DDeviceGl& device, uint32_t length, uint32_t usage, D3DFORMAT format,
                D3DPOOL pool)
      : buffer_(device, length, usage, pool, true), format_(format) {}

  void Scan(uint32_t first, uint32_t count, uint32_t* lowest, uint32_t* highest) const;

  PipelineBuffer buffer_;
  D3DFORMAT format_;
  uint64_t wholeVersion_ = ~uint64_t{0};
  uint32_t wholeLowest_ = 0;
  uint32_t wholeHighest_ = 0;
};

}  // namespace gfx
