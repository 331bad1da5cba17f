#include "Platform/Gfx/PipelineStream.h"

#include <cstring>

#include "Platform/Gfx/GfxLog.h"

namespace gfx {

void PipelineStream::ReleaseGl() {
  if (name_) glDeleteBuffers(1, &name_);
  Forget();
}

void PipelineStream::Forget() {
  name_ = 0;
  capacity_ = 0;
  position_ = 0;
}

bool PipelineStream::Write(const void* data, uint32_t size, uint32_t stride,
                           uint32_t* firstVertex) {
  if (!name_) glGenBuffers(1, &name_);
  glBindBuffer(GL_COPY_WRITE_BUFFER, name_);
  uint64_t start = (uint64_t{position_} + stride - 1) / stride * stride;
  if (capacity_ == 0 || start + size > capacity_) {
    uint32_t capacity = capacity_ ? capacity_ : kInitialCapacity;
    while (capacity < size && capacity < (1u << 30)) capacity *= 2;
    if (capacity < size) return false;
    // Fresh storage; draws still reading the old keep it until they are done.
    glBufferData(GL_COPY_WRITE_BUFFER, capacity, nullptr, GL_STREAM_DRAW);
    capacity_ = capacity;
    start = 0;
  }
  void* mapped =
      glMapBufferRange(GL_COPY_WRITE_BUFFER, static_cast<GLintptr>(start), size,
                       GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_RANGE_BIT | GL_MAP_UNSYNCHRONIZED_BIT);
  if (!mapped) {
    GfxLog("gfx: the vertex stream cannot be mapped (%u bytes)\n", size);
    return false;
  }
  std::memcpy(mapped, data, size);
  glUnmapBuffer(GL_COPY_WRITE_BUFFER);
  position_ = static_cast<uint32_t>(start + size);
  *firstVertex = static_cast<uint32_t>(start / stride);
  return true;
}

}  // namespace gfx
