#pragma once
// The buffers D3DX functions hand back: the assembler's token stream and its message text.

#include <string>
#include <vector>

#include "Platform/Gfx/D3D.h"

namespace gfx {

class D3DXBufferImpl final : public D3DXBuffer {
 public:
  // A copy of `size` bytes (the storage is 4-byte aligned, so token streams can be read in
  // place).
  static D3DXBufferImpl* Create(const void* data, uint32_t size);
  // The text and its terminating NUL (counted in the size, as D3DX does).
  static D3DXBufferImpl* FromText(const std::string& text);

  void* GetBufferPointer() override { return words_.data(); }
  uint32_t GetBufferSize() override { return size_; }

 private:
  D3DXBufferImpl() = default;

  std::vector<uint32_t> words_;
  uint32_t size_ = 0;
};

}  // namespace gfx
