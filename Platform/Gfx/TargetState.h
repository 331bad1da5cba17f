#pragma once
// The render target and depth-stencil surface drawing goes to (the back buffer and its depth
// buffer until others are set), the framebuffer objects that pair them, and StretchRect.
//
// Orientation: every target, the back buffer included, is stored top row first (the order in
// which loaded textures are uploaded) by drawing with y flipped (see the vertex programs'
// uPosFixup); Present turns the back buffer over into the window. One orientation for all
// means Direct3D's rectangles are GL's as they stand, copies between targets stay upright, the
// back buffer's depth buffer lines up with texture targets, and GL's rule for pixel centres
// exactly on an edge sees the same picture whatever the target.

#include <epoxy/gl.h>

#include <cstdint>
#include <vector>

#include "Platform/Gfx/D3D.h"
#include "Platform/Gfx/GlState.h"

namespace gfx {

class D3DDeviceGl;
class SurfaceGl;

class TargetState {
 public:
  explicit TargetState(D3DDeviceGl& device);
  ~TargetState();
  TargetState(const TargetState&) = delete;
  TargetState& operator=(const TargetState&) = delete;

  // ---- What the pipeline reads.
  // The current render target's size in pixels.
  int Width() const;
  int Height() const;
  // Binds the framebuffer for the current target and depth-stencil surface for drawing.
  void Bind();

  // Drops the surfaces held and deletes the framebuffers (makes the context current itself;
  // skips the GL calls when it cannot). The device calls it first thing in its destructor.
  void ReleaseGl();

  // ---- For the device.
  // After the back buffer was (re)made: render target 0 is the back buffer again and the
  // depth-stencil surface the automatic one (none without EnableAutoDepthStencil), as Direct3D
  // does at Reset. Framebuffers made for the old back buffer are dropped.
  void ResetToBackBuffer(const D3DPRESENT_PARAMETERS& params);
  // Puts the back buffer and its automatic depth surface back as the targets, letting go of any
  // texture surface or depth surface the device was holding.
  void DropTargets();

  // The surfaces held (no reference added); the depth-stencil one may be null.
  SurfaceGl* RenderTarget() const { return colour_; }
  SurfaceGl* DepthStencil() const { return depth_; }
  SurfaceGl* BackBufferSurface() const { return backBuffer_; }
  bool HasDepthStencil() const { return depth_ != nullptr; }
  bool DepthHasStencil() const;

  // The surface must be a colour render-target surface of this device (the caller checks);
  // the old one is released, the new one referenced.
  void SetRenderTarget(SurfaceGl* surface);
  // Null means no depth-stencil buffer.
  void SetDepthStencil(SurfaceGl* surface);

  // A Direct3D rectangle (origin top-left) of the current target in GL's coordinates.
  GlRect ToGlRect(int x, int y, int width, int height) const;

  // Copies (and scales) a rectangle of one colour surface into another with a blit. The caller
  // has checked both surfaces and rectangles; `linear` picks GL_LINEAR over GL_NEAREST.
  void Blit(SurfaceGl* source, const RECT& sourceRect, SurfaceGl* dest, const RECT& destRect,
            bool linear);

  // A GL texture or renderbuffer is going away: framebuffers that use it are deleted.
  void ForgetTexture(GLuint texture);
  void ForgetRenderbuffer(GLuint renderbuffer);

 private:
  struct Framebuffer {
    GLuint colour;     // texture name
    uint32_t level;
    GLuint depth;      // renderbuffer name, 0 for none
    GLuint framebuffer;
  };

  // The framebuffer drawing into `colour` with `depth` (which may be null) goes through; made
  // and kept on first use. With the context current.
  GLuint FramebufferFor(const SurfaceGl* colour, const SurfaceGl* depth);
  GLuint DepthName(const SurfaceGl* depth) const;
  void DeleteFramebuffers(bool (*match)(const Framebuffer&, GLuint), GLuint name);
  void Replace(SurfaceGl** slot, SurfaceGl* surface);

  D3DDeviceGl& device_;
  SurfaceGl* backBuffer_ = nullptr;
  SurfaceGl* autoDepth_ = nullptr;
  SurfaceGl* colour_ = nullptr;
  SurfaceGl* depth_ = nullptr;
  GLuint autoDepthRenderbuffer_ = 0;
  std::vector<Framebuffer> framebuffers_;
  GLuint current_ = 0;
  bool currentKnown_ = false;
};

}  // namespace gfx
