#pragma once
// The device's back buffer: a framebuffer object with an RGBA8 colour texture and, when the
// presentation asks for one, a 24/8 depth-stencil renderbuffer. Rows are stored top row first,
// like every render target of the device (see TargetState); Present turns them over.
// A texture rather than a renderbuffer holds the colour so that movie frames and copies to and
// from render targets can write and sample it directly.

#include <epoxy/gl.h>

#include <cstdint>

#include "Platform/Gfx/GlState.h"

namespace gfx {

class BackBuffer {
 public:
  BackBuffer() = default;
  BackBuffer(const BackBuffer&) = delete;
  BackBuffer& operator=(const BackBuffer&) = delete;

  // With the owning context current. False (nothing left behind) when the driver refuses the
  // size or the framebuffer is incomplete.
  bool Create(GlState& state, int width, int height, bool depthStencil);
  // With the owning context current; unbinds it first so that the state cache never holds a
  // deleted name that GL may hand out again.
  void Destroy(GlState& state);

  bool IsValid() const { return framebuffer_ != 0; }
  GLuint Framebuffer() const { return framebuffer_; }
  GLuint ColorTexture() const { return color_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  bool HasDepthStencil() const { return depthStencil_ != 0; }

  // Exchanges the GL objects of two back buffers (a reset builds the new one before it lets the
  // old one go).
  void Swap(BackBuffer& other);

  // The whole buffer as A8R8G8B8 words, top row first.
  void Read(GlState& state, uint32_t* pixels) const;

 private:
  GLuint framebuffer_ = 0;
  GLuint color_ = 0;
  GLuint depthStencil_ = 0;
  int width_ = 0;
  int height_ = 0;
};

// Reads the colour of a framebuffer stored bottom row first (the window's) as A8R8G8B8 words,
// top row first.
void ReadFramebufferTopDown(GlState& state, GLuint framebuffer, int width, int height,
                            uint32_t* pixels);

}  // namespace gfx
