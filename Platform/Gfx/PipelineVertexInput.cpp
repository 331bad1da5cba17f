#include "Platform/Gfx/PipelineVertexInput.h"

#include "Platform/Gfx/D3DTypes.h"

namespace gfx {

void AttribFormat(uint8_t declType, AttribSource* source) {
  source->normalized = GL_FALSE;
  source->type = GL_FLOAT;
  switch (declType) {
    case D3DDECLTYPE_FLOAT1:
      source->size = 1;
      break;
    case D3DDECLTYPE_FLOAT2:
      source->size = 2;
      break;
    case D3DDECLTYPE_FLOAT3:
      source->size = 3;
      break;
    case D3DDECLTYPE_D3DCOLOR:
      // Bytes B, G, R, A in memory: GL's BGRA size reads them into r, g, b, a.
      source->size = GL_BGRA;
      source->type = GL_UNSIGNED_BYTE;
      source->normalized = GL_TRUE;
      break;
    case D3DDECLTYPE_UBYTE4:
      source->size = 4;
      source->type = GL_UNSIGNED_BYTE;
      break;
    default:
      source->size = 4;
      break;
  }
}

void PipelineVertexInput::ReleaseGl() {
  if (vao_) glDeleteVertexArrays(1, &vao_);
  Forget();
}

void PipelineVertexInput::Forget() {
  vao_ = 0;
  for (Slot& slot : slots_) slot = Slot{};
  elementKnown_ = false;
  elementBuffer_ = 0;
}

void PipelineVertexInput::Bind() {
  if (!vao_) {
    glGenVertexArrays(1, &vao_);
    for (Slot& slot : slots_) slot = Slot{};
    elementKnown_ = false;
  }
  glBindVertexArray(vao_);
}

void PipelineVertexInput::SetArray(uint32_t location, const AttribSource& source) {
  Slot& slot = slots_[location];
  if (!slot.enabledKnown || !slot.enabled) {
    glEnableVertexAttribArray(location);
    slot.enabled = true;
    slot.enabledKnown = true;
  }
  const AttribSource& have = slot.source;
  const bool known = slot.pointerKnown;
  if (known && have == source) return;
  if (!known || have.buffer != source.buffer || have.size != source.size ||
      have.type != source.type || have.normalized != source.normalized ||
      have.stride != source.stride || have.offset != source.offset) {
    glBindBuffer(GL_ARRAY_BUFFER, source.buffer);
    glVertexAttribPointer(location, source.size, source.type, source.normalized, source.stride,
                          reinterpret_cast<const void*>(static_cast<uintptr_t>(source.offset)));
  }
  if (!known || have.divisor != source.divisor) glVertexAttribDivisor(location, source.divisor);
  slot.source = source;
  slot.pointerKnown = true;
}

void PipelineVertexInput::SetConstant(uint32_t location, float x, float y, float z, float w) {
  Disable(location);
  // The current value is context state, not the array object's: set it every time.
  glVertexAttrib4f(location, x, y, z, w);
}

void PipelineVertexInput::Disable(uint32_t location) {
  Slot& slot = slots_[location];
  if (slot.enabledKnown && !slot.enabled) return;
  glDisableVertexAttribArray(location);
  slot.enabled = false;
  slot.enabledKnown = true;
}

void PipelineVertexInput::SetElementBuffer(GLuint buffer) {
  if (elementKnown_ && elementBuffer_ == buffer) return;
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer);
  elementBuffer_ = buffer;
  elementKnown_ = true;
}

void PipelineVertexInput::ForgetBuffer(GLuint buffer) {
  for (Slot& slot : slots_) {
    if (slot.pointerKnown && slot.source.buffer == buffer) slot.pointerKnown = false;
  }
  if (elementKnown_ && elementBuffer_ == buffer) elementKnown_ = false;
}

}  // namespace gfx
