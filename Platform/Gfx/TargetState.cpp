#include "Platform/Gfx/TargetState.h"

#include "Platform/Gfx/D3DDeviceGl.h"
#include "Platform/Gfx/GfxLog.h"
#include "Platform/Gfx/SurfaceGl.h"

namespace gfx {

TargetState::TargetState(D3DDeviceGl& device) : device_(device) {}

TargetState::~TargetState() { ReleaseGl(); }

int TargetState::Width() const {
  return colour_ ? colour_->Width() : device_.GetBackBufferObject().Width();
}

int TargetState::Height() const {
  return colour_ ? colour_->Height() : device_.GetBackBufferObject().Height();
}

bool TargetState::DepthHasStencil() const { return depth_ && depth_->HasStencil(); }

void TargetState::Bind() {
  if (!currentKnown_) {
    current_ = FramebufferFor(colour_, depth_);
    currentKnown_ = true;
  }
  device_.State().BindDrawFramebuffer(current_);
}

void TargetState::ReleaseGl() {
  // Releasing a surface may destroy a texture, which calls back into ForgetTexture; nothing here
  // is being walked while that happens.
  SurfaceGl* held[] = {colour_, depth_, backBuffer_, autoDepth_};
  colour_ = nullptr;
  depth_ = nullptr;
  backBuffer_ = nullptr;
  autoDepth_ = nullptr;
  currentKnown_ = false;
  for (SurfaceGl* surface : held) {
    if (surface) surface->Release();
  }
  if (framebuffers_.empty()) return;
  if (device_.Shared()->deviceAlive && device_.MakeCurrent()) {
    device_.State().BindDrawFramebuffer(0);
    device_.State().BindReadFramebuffer(0);
    for (const Framebuffer& f : framebuffers_) glDeleteFramebuffers(1, &f.framebuffer);
  }
  framebuffers_.clear();
}

void TargetState::Replace(SurfaceGl** slot, SurfaceGl* surface) {
  if (surface) surface->AddRef();
  SurfaceGl* old = *slot;
  *slot = surface;
  currentKnown_ = false;
  if (old) old->Release();
}

void TargetState::ResetToBackBuffer(const D3DPRESENT_PARAMETERS& params) {
  // Framebuffers made with the old back buffer's texture or depth buffer would draw into objects
  // that no longer exist (or into new ones that took their names).
  DeleteFramebuffers([](const Framebuffer&, GLuint) { return true; }, 0);

  SurfaceGl* back = SurfaceGl::ForBackBuffer(device_, params.BackBufferFormat);
  SurfaceGl* depth = params.EnableAutoDepthStencil
                         ? SurfaceGl::ForAutoDepthStencil(device_, params.AutoDepthStencilFormat)
                         : nullptr;
  Replace(&backBuffer_, back);
  Replace(&autoDepth_, depth);
  back->Release();
  if (depth) depth->Release();
  Replace(&colour_, backBuffer_);
  Replace(&depth_, autoDepth_);

  // The back buffer's depth buffer, for pairing it with texture targets.
  autoDepthRenderbuffer_ = 0;
  const BackBuffer& buffer = device_.GetBackBufferObject();
  if (buffer.IsValid() && buffer.HasDepthStencil()) {
    device_.State().BindReadFramebuffer(buffer.Framebuffer());
    GLint type = GL_NONE;
    glGetFramebufferAttachmentParameteriv(GL_READ_FRAMEBUFFER, GL_DEPTH_ATTACHMENT,
                                          GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &type);
    if (type == GL_RENDERBUFFER) {
      GLint name = 0;
      glGetFramebufferAttachmentParameteriv(GL_READ_FRAMEBUFFER, GL_DEPTH_ATTACHMENT,
                                            GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &name);
      autoDepthRenderbuffer_ = static_cast<GLuint>(name);
    }
  }
}

void TargetState::DropTargets() {
  Replace(&colour_, backBuffer_);
  Replace(&depth_, autoDepth_);
}

void TargetState::SetRenderTarget(SurfaceGl* surface) { Replace(&colour_, surface); }

void TargetState::SetDepthStencil(SurfaceGl* surface) { Replace(&depth_, surface); }

GlRect TargetState::ToGlRect(int x, int y, int width, int height) const {
  // Every target is stored top row first, so rows need no turning.
  return GlRect{x, y, width, height};
}

GLuint TargetState::DepthName(const SurfaceGl* depth) const {
  if (!depth) return 0;
  if (depth->GetKind() == SurfaceGl::Kind::AutoDepthStencil) return autoDepthRenderbuffer_;
  return depth->Renderbuffer();
}

GLuint TargetState::FramebufferFor(const SurfaceGl* colour, const SurfaceGl* depth) {
  BackBuffer& buffer = device_.GetBackBufferObject();
  const bool backColour = !colour || colour->GetKind() == SurfaceGl::Kind::BackBuffer;
  if (backColour) {
    const bool ownDepth = depth ? depth->GetKind() == SurfaceGl::Kind::AutoDepthStencil
                                : !buffer.HasDepthStencil();
    if (ownDepth) return buffer.Framebuffer();
  }
  const GLuint colourName = backColour ? buffer.ColorTexture() : colour->ColourTexture();
  const uint32_t level = backColour ? 0 : colour->Level();
  const GLuint depthName = DepthName(depth);
  for (const Framebuffer& f : framebuffers_) {
    if (f.colour == colourName && f.level == level && f.depth == depthName) return f.framebuffer;
  }

  Framebuffer made{colourName, level, depthName, 0};
  glGenFramebuffers(1, &made.framebuffer);
  device_.State().BindDrawFramebuffer(made.framebuffer);
  glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colourName,
                         static_cast<GLint>(level));
  if (depthName != 0) {
    glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                              depthName);
  }
  const GLenum status = glCheckFramebufferStatus(GL_DRAW_FRAMEBUFFER);
  if (status != GL_FRAMEBUFFER_COMPLETE) {
    GfxLog("gfx: render target framebuffer incomplete (status 0x%X)\n", status);
  }
  framebuffers_.push_back(made);
  return made.framebuffer;
}

void TargetState::DeleteFramebuffers(bool (*match)(const Framebuffer&, GLuint), GLuint name) {
  bool unbound = false;
  for (size_t i = 0; i < framebuffers_.size();) {
    if (!match(framebuffers_[i], name)) {
      ++i;
      continue;
    }
    if (!unbound) {
      // A deleted framebuffer that is bound falls back to 0 behind the state cache's back;
      // binding 0 first keeps the cache true.
      device_.State().BindDrawFramebuffer(0);
      device_.State().BindReadFramebuffer(0);
      unbound = true;
    }
    glDeleteFramebuffers(1, &framebuffers_[i].framebuffer);
    framebuffers_[i] = framebuffers_.back();
    framebuffers_.pop_back();
  }
  currentKnown_ = false;
}

void TargetState::ForgetTexture(GLuint texture) {
  DeleteFramebuffers([](const Framebuffer& f, GLuint name) { return f.colour == name; }, texture);
}

void TargetState::ForgetRenderbuffer(GLuint renderbuffer) {
  DeleteFramebuffers([](const Framebuffer& f, GLuint name) { return f.depth == name; },
                     renderbuffer);
}

void TargetState::Blit(SurfaceGl* source, const RECT& sourceRect, SurfaceGl* dest,
                       const RECT& destRect, bool linear) {
  if (TestHooks::PixelWorkSkipped()) return;
  const auto colourFramebuffer = [this](SurfaceGl* surface) {
    if (surface->GetKind() == SurfaceGl::Kind::BackBuffer) {
      return device_.GetBackBufferObject().Framebuffer();
    }
    return FramebufferFor(surface, nullptr);
  };
  const GLuint read = colourFramebuffer(source);
  const GLuint draw = colourFramebuffer(dest);
  GlState& state = device_.State();
  state.EnableScissor(false);
  state.BindReadFramebuffer(read);
  state.BindDrawFramebuffer(draw);
  glBlitFramebuffer(sourceRect.left, sourceRect.top, sourceRect.right, sourceRect.bottom,
                    destRect.left, destRect.top, destRect.right, destRect.bottom,
                    GL_COLOR_BUFFER_BIT, linear ? GL_LINEAR : GL_NEAREST);
  Bind();
}

}  // namespace gfx
