#include "Platform/Gfx/VertexBufferGl.h"

namespace gfx {

VertexBufferGl* VertexBufferGl::Create(D3DDeviceGl& device, uint32_t length, uint32_t usage,
                                       uint32_t fvf, D3DPOOL pool, HRESULT* result) {
  *result = CheckBufferRequest(length, usage, pool);
  if (FAILED(*result)) return nullptr;
  VertexBufferGl* buffer = new VertexBufferGl(device, length, usage, fvf, pool);
  if (!buffer->buffer_.Create()) {
    buffer->Release();
    *result = D3DERR_OUTOFVIDEOMEMORY;
    return nullptr;
  }
  return buffer;
}

}  // namespace gfx
