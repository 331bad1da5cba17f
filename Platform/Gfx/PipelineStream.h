#pragma once
// The GL buffer that DrawPrimitiveUP copies its vertices into: written front to back with
// unsynchronized mappings (the ranges are new, so no draw in flight reads them), and orphaned
// for fresh storage when it is full. Each draw's data starts at a multiple of its stride, so a
// draw addresses it by first vertex and attribute pointers stay put between draws of one layout.

#include <epoxy/gl.h>

#include <cstdint>

namespace gfx {

class PipelineStream {
 public:
  void ReleaseGl();
  void Forget();

  // Copies `size` bytes; *firstVertex is where they start, counted in `stride`s. False when
  // GL refuses (logged).
  bool Write(const void* data, uint32_t size, uint32_t stride, uint32_t* firstVertex);
  GLuint Name() const { return name_; }

 private:
  static constexpr uint32_t kInitialCapacity = 4u << 20;

  GLuint name_ = 0;
  uint32_t capacity_ = 0;
  uint32_t position_ = 0;
};

}  // namespace gfx
