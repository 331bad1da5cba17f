#pragma once
// The vertex array object draws use, and what each of its input locations was last pointed at,
// so that a draw re-points only the locations whose source changed. Inputs a layout does not
// provide read a constant value instead.

#include <epoxy/gl.h>

#include <cstdint>

#include "Platform/Gfx/FixedFunctionVertex.h"

namespace gfx {

// Where one input location reads from.
struct AttribSource {
  GLuint buffer = 0;
  GLint size = 4;
  GLenum type = GL_FLOAT;
  GLboolean normalized = GL_FALSE;
  GLsizei stride = 0;
  uint64_t offset = 0;
  // 1: every vertex reads the first element (a stream with stride 0).
  GLuint divisor = 0;
  bool operator==(const AttribSource&) const = default;
};

// The GL format of a declaration type.
void AttribFormat(uint8_t declType, AttribSource* source);

class PipelineVertexInput {
 public:
  void ReleaseGl();
  void Forget();

  // Binds the vertex array object (made on first use).
  void Bind();
  void SetArray(uint32_t location, const AttribSource& source);
  void SetConstant(uint32_t location, float x, float y, float z, float w);
  void Disable(uint32_t location);
  void SetElementBuffer(GLuint buffer);
  // A GL buffer is being deleted: its name may come back for another buffer, so nothing may
  // be remembered as pointing at it.
  void ForgetBuffer(GLuint buffer);

 private:
  struct Slot {
    bool enabledKnown = false;
    bool enabled = false;
    bool pointerKnown = false;  // source says what the array object holds
    AttribSource source;
  };

  GLuint vao_ = 0;
  Slot slots_[kMaxVertexInputs];
  bool elementKnown_ = false;
  GLuint elementBuffer_ = 0;
};

}  // namespace gfx
