#include "Platform/Gfx/BackBuffer.h"

#include <algorithm>
#include <utility>

#include "Platform/Gfx/GfxLog.h"

namespace gfx {

bool BackBuffer::Create(GlState& state, int width, int height, bool depthStencil) {
  Destroy(state);
  if (width <= 0 || height <= 0) return false;
  // Earlier errors are not ours; a lost context can report errors for ever, so the drain stops.
  for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
  }

  glGenTextures(1, &color_);
  glBindTexture(GL_TEXTURE_2D, color_);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  glBindTexture(GL_TEXTURE_2D, 0);

  if (depthStencil) {
    glGenRenderbuffers(1, &depthStencil_);
    glBindRenderbuffer(GL_RENDERBUFFER, depthStencil_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
  }

  glGenFramebuffers(1, &framebuffer_);
  state.BindDrawFramebuffer(framebuffer_);
  glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, color_, 0);
  if (depthStencil_) {
    glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                              depthStencil_);
  }
  const GLenum status = glCheckFramebufferStatus(GL_DRAW_FRAMEBUFFER);
  const GLenum error = glGetError();
  width_ = width;
  height_ = height;
  if (status != GL_FRAMEBUFFER_COMPLETE || error != GL_NO_ERROR) {
    GfxLog("gfx: back buffer of %d x %d refused (status 0x%X, error 0x%X)\n", width, height,
           status, error);
    Destroy(state);
    return false;
  }
  return true;
}

void BackBuffer::Destroy(GlState& state) {
  if (framebuffer_) {
    state.BindDrawFramebuffer(0);
    state.BindReadFramebuffer(0);
    glDeleteFramebuffers(1, &framebuffer_);
  }
  if (depthStencil_) glDeleteRenderbuffers(1, &depthStencil_);
  if (color_) glDeleteTextures(1, &color_);
  framebuffer_ = 0;
  depthStencil_ = 0;
  color_ = 0;
  width_ = 0;
  height_ = 0;
}

void BackBuffer::Swap(BackBuffer& other) {
  std::swap(framebuffer_, other.framebuffer_);
  std::swap(color_, other.color_);
  std::swap(depthStencil_, other.depthStencil_);
  std::swap(width_, other.width_);
  std::swap(height_, other.height_);
}

void BackBuffer::Read(GlState& state, uint32_t* pixels) const {
  state.BindReadFramebuffer(framebuffer_);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  // BGRA bytes packed as 8_8_8_8_REV give 0xAARRGGBB words on every host; GL's first row is
  // the top one here.
  glReadPixels(0, 0, width_, height_, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels);
}

void ReadFramebufferTopDown(GlState& state, GLuint framebuffer, int width, int height,
                            uint32_t* pixels) {
  state.BindReadFramebuffer(framebuffer);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  // BGRA bytes packed as 8_8_8_8_REV give 0xAARRGGBB words on every host.
  glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels);
  const size_t rowLength = static_cast<size_t>(width);
  for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
    std::swap_ranges(pixels + top * rowLength, pixels + (top + 1) * rowLength,
                     pixels + bottom * rowLength);
  }
}

}  // namespace gfx
