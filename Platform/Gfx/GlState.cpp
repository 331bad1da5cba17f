#include "Platform/Gfx/GlState.h"

namespace gfx {

void GlState::Invalidate() {
  drawFramebuffer_ = kUnknownName;
  readFramebuffer_ = kUnknownName;
  viewportKnown_ = false;
  viewport_ = GlRect{};
  depthRangeKnown_ = false;
  depthNear_ = 0.0f;
  depthFar_ = 1.0f;
  scissorEnabled_ = -1;
  scissorKnown_ = false;
  scissor_ = GlRect{};
  colorWriteMask_ = 0xFFFFFFFFu;
  depthWriteMask_ = -1;
  stencilWriteMaskKnown_ = false;
  stencilWriteMask_ = 0;
  clearColorKnown_ = false;
  for (float& c : clearColor_) c = 0.0f;
  clearDepthKnown_ = false;
  clearDepth_ = 1.0f;
  clearStencilKnown_ = false;
  clearStencil_ = 0;
}

void GlState::BindDrawFramebuffer(GLuint framebuffer) {
  if (drawFramebuffer_ == framebuffer) return;
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer);
  drawFramebuffer_ = framebuffer;
}

void GlState::BindReadFramebuffer(GLuint framebuffer) {
  if (readFramebuffer_ == framebuffer) return;
  glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
  readFramebuffer_ = framebuffer;
}

void GlState::SetViewport(const GlRect& rect) {
  if (viewportKnown_ && viewport_ == rect) return;
  glViewport(rect.x, rect.y, rect.width, rect.height);
  viewport_ = rect;
  viewportKnown_ = true;
}

void GlState::SetDepthRange(float nearZ, float farZ) {
  if (depthRangeKnown_ && depthNear_ == nearZ && depthFar_ == farZ) return;
  glDepthRange(nearZ, farZ);
  depthNear_ = nearZ;
  depthFar_ = farZ;
  depthRangeKnown_ = true;
}

void GlState::EnableScissor(bool enable) {
  if (scissorEnabled_ == (enable ? 1 : 0)) return;
  if (enable) {
    glEnable(GL_SCISSOR_TEST);
  } else {
    glDisable(GL_SCISSOR_TEST);
  }
  scissorEnabled_ = enable ? 1 : 0;
}

void GlState::SetScissor(const GlRect& rect) {
  if (scissorKnown_ && scissor_ == rect) return;
  glScissor(rect.x, rect.y, rect.width, rect.height);
  scissor_ = rect;
  scissorKnown_ = true;
}

void GlState::SetColorWriteMask(uint32_t mask) {
  mask &= 0xFu;
  if (colorWriteMask_ == mask) return;
  glColorMask((mask & 1u) ? GL_TRUE : GL_FALSE, (mask & 2u) ? GL_TRUE : GL_FALSE,
              (mask & 4u) ? GL_TRUE : GL_FALSE, (mask & 8u) ? GL_TRUE : GL_FALSE);
  colorWriteMask_ = mask;
}

void GlState::SetDepthWriteMask(bool enable) {
  if (depthWriteMask_ == (enable ? 1 : 0)) return;
  glDepthMask(enable ? GL_TRUE : GL_FALSE);
  depthWriteMask_ = enable ? 1 : 0;
}

void GlState::SetStencilWriteMask(uint32_t mask) {
  if (stencilWriteMaskKnown_ && stencilWriteMask_ == mask) return;
  glStencilMask(mask);
  stencilWriteMask_ = mask;
  stencilWriteMaskKnown_ = true;
}

void GlState::SetClearColor(float red, float green, float blue, float alpha) {
  if (clearColorKnown_ && clearColor_[0] == red && clearColor_[1] == green &&
      clearColor_[2] == blue && clearColor_[3] == alpha) {
    return;
  }
  glClearColor(red, green, blue, alpha);
  clearColor_[0] = red;
  clearColor_[1] = green;
  clearColor_[2] = blue;
  clearColor_[3] = alpha;
  clearColorKnown_ = true;
}

void GlState::SetClearDepth(float depth) {
  if (clearDepthKnown_ && clearDepth_ == depth) return;
  glClearDepth(depth);
  clearDepth_ = depth;
  clearDepthKnown_ = true;
}

void GlState::SetClearStencil(int32_t stencil) {
  if (clearStencilKnown_ && clearStencil_ == stencil) return;
  glClearStencil(stencil);
  clearStencil_ = stencil;
  clearStencilKnown_ = true;
}

}  // namespace gfx
