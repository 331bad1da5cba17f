#pragma once
// A vertex buffer: Direct3D's interface over a PipelineBuffer.

#include "Platform/Gfx/PipelineBuffer.h"

namespace gfx {

class VertexBufferGl final : public D3DVertexBuffer {
 public:
  // Null (the reason in *result) when the request is refused or GL cannot make the buffer.
  static VertexBufferGl* Create(D3DDeviceGl& device, uint32_t length, uint32_t usage, uint32_t fvf,
                                D3DPOOL pool, HRESULT* result);

  HRESULT Lock(uint32_t offset, uint32_t size, void** data, uint32_t flags) override {
    return buffer_.Lock(offset, size, data, flags);
  }
  HRESULT Unlock() override { return buffer_.Unlock(); }
  uint32_t GetLength() const override { return buffer_.Length(); }

  const PipelineBuffer& Buffer() const { return buffer_; }

 private:
  VertexBufferGl(D3DDeviceGl& device, uint32_t length, uint32_t usage, uint32_t fvf, D3DPOOL pool)
      : buffer_(device, length, usage, pool, false), fvf_(fvf) {}

  PipelineBuffer buffer_;
  uint32_t fvf_;
};

}  // namespace gfx
