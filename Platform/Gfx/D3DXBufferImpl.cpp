#include "Platform/Gfx/D3DXBufferImpl.h"

#include <cstring>

namespace gfx {

D3DXBufferImpl* D3DXBufferImpl::Create(const void* data, uint32_t size) {
  D3DXBufferImpl* buffer = new D3DXBufferImpl;
  // One word even for an empty buffer, so the pointer is never null.
  buffer->words_.assign((size_t{size} + 3) / 4 + (size == 0 ? 1 : 0), 0u);
  if (size > 0 && data) std::memcpy(buffer->words_.data(), data, size);
  buffer->size_ = size;
  return buffer;
}

D3DXBufferImpl* D3DXBufferImpl::FromText(const std::string& text) {
  return Create(text.c_str(), static_cast<uint32_t>(text.size() + 1));
}

}  // namespace gfx
