#include "Platform/Gfx/IndexBufferGl.h"

#include <cstring>

namespace gfx {

IndexBufferGl* IndexBufferGl::Create(D3DDeviceGl& device, uint32_t length, uint32_t usage,
                                     D3DFORMAT format, D3DPOOL pool, HRESULT* result) {
  *result = CheckBufferRequest(length, usage, pool);
  if (FAILED(*result)) return nullptr;
  if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32) {
    *result = D3DERR_INVALIDCALL;
    return nullptr;
  }
  IndexBufferGl* buffer = new IndexBufferGl(device, length, usage, format, pool);
  if (!buffer->buffer_.Create()) {
    buffer->Release();
    *result = D3DERR_OUTOFVIDEOMEMORY;
    return nullptr;
  }
  return buffer;
}

void IndexBufferGl::Scan(uint32_t first, uint32_t count, uint32_t* lowest,
                         uint32_t* highest) const {
  uint32_t low = 0xFFFFFFFFu;
  uint32_t high = 0;
  const uint8_t* bytes = buffer_.Copy();
  if (format_ == D3DFMT_INDEX32) {
    for (uint32_t i = first; i < first + count; ++i) {
      uint32_t index;
      std::memcpy(&index, bytes + size_t{i} * 4, 4);
      if (index < low) low = index;
      if (index > high) high = index;
    }
  } else {
    for (uint32_t i = first; i < first + count; ++i) {
      uint16_t index;
      std::memcpy(&index, bytes + size_t{i} * 2, 2);
      if (index < low) low = index;
      if (index > high) high = index;
    }
  }
  *lowest = count ? low : 0;
  *highest = high;
}

void IndexBufferGl::WholeRange(uint32_t* lowest, uint32_t* highest) {
  if (wholeVersion_ != buffer_.Version()) {
    Scan(0, IndexCount(), &wholeLowest_, &wholeHighest_);
    wholeVersion_ = buffer_.Version();
  }
  *lowest = wholeLowest_;
  *highest = wholeHighest_;
}

void IndexBufferGl::IndexRange(uint32_t first, uint32_t count, uint32_t* lowest,
                               uint32_t* highest) const {
  Scan(first, count, lowest, highest);
}

}  // namespace gfx
