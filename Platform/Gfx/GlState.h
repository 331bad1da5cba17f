#pragma once
// The GL state a device has set, so that repeated settings cost nothing and so that operations
// which borrow state (Clear forces the write masks on and scissors to its rectangle, Present
// turns the scissor off to blit) leave the cache telling the truth. Draw-time code (render
// states, textures, shaders) goes through here as well, and compares against what is really
// set rather than against what the last render state asked for.

#include <epoxy/gl.h>

#include <cstdint>

namespace gfx {

// A rectangle in GL's window coordinates (origin bottom-left).
struct GlRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const GlRect&) const = default;
};

class GlState {
 public:
  GlState() { Invalidate(); }

  // Forgets every value: after a context is made, the next setting of each is issued.
  void Invalidate();

  void BindDrawFramebuffer(GLuint framebuffer);
  void BindReadFramebuffer(GLuint framebuffer);
  void SetViewport(const GlRect& rect);
  void SetDepthRange(float nearZ, float farZ);
  void EnableScissor(bool enable);
  void SetScissor(const GlRect& rect);
  // Bit 0 red, 1 green, 2 blue, 3 alpha (the order of D3DRS_COLORWRITEENABLE).
  void SetColorWriteMask(uint32_t mask);
  void SetDepthWriteMask(bool enable);
  void SetStencilWriteMask(uint32_t mask);
  void SetClearColor(float red, float green, float blue, float alpha);
  void SetClearDepth(float depth);
  void SetClearStencil(int32_t stencil);

 private:
  // Framebuffer names are small; no object is ever this one, so it means "not known".
  static constexpr GLuint kUnknownName = 0xFFFFFFFFu;

  GLuint drawFramebuffer_;
  GLuint readFramebuffer_;
  bool viewportKnown_;
  GlRect viewport_;
  bool depthRangeKnown_;
  float depthNear_, depthFar_;
  int scissorEnabled_;  // -1 unknown
  bool scissorKnown_;
  GlRect scissor_;
  uint32_t colorWriteMask_;  // 0xFFFFFFFF unknown
  int depthWriteMask_;       // -1 unknown
  bool stencilWriteMaskKnown_;
  uint32_t stencilWriteMask_;
  bool clearColorKnown_;
  float clearColor_[4];
  bool clearDepthKnown_;
  float clearDepth_;
  bool clearStencilKnown_;
  int32_t clearStencil_;
};

}  // namespace gfx
