#include "Platform/Gfx/GlContext.h"

#include <epoxy/gl.h>

#include "Platform/Gfx/GfxLog.h"

namespace gfx {

namespace {

std::string GlString(GLenum name) {
  const GLubyte* text = glGetString(name);
  return text ? std::string(reinterpret_cast<const char*>(text)) : std::string();
}

}  // namespace

void GlContext::RequestCoreProfile() {
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
}

void GlContext::ReadInfo(GlInfo* info) {
  info->vendor = GlString(GL_VENDOR);
  info->renderer = GlString(GL_RENDERER);
  info->version = GlString(GL_VERSION);
  info->glVersion = epoxy_gl_version();
  GLint value = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &value);
  info->limits.maxTextureSize = value;
  glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &value);
  info->limits.maxRenderbufferSize = value;
  glGetIntegerv(GL_MAX_TEXTURE_IMAGE_UNITS, &value);
  info->limits.maxTextureImageUnits = value;
  glGetIntegerv(GL_MAX_VERTEX_ATTRIBS, &value);
  info->limits.maxVertexAttribs = value;
  glGetIntegerv(GL_MAX_VERTEX_UNIFORM_COMPONENTS, &value);
  info->limits.maxVertexUniformVectors = value / 4;
}

bool GlContext::Create(SDL_Window* window) {
  Destroy();
  if (!window) return false;
  if (!(SDL_GetWindowFlags(window) & SDL_WINDOW_OPENGL)) {
    GfxLog("gfx: the window was not made for OpenGL (SDL_WINDOW_OPENGL); no device on it\n");
    return false;
  }
  RequestCoreProfile();
  SDL_GLContext context = SDL_GL_CreateContext(window);
  if (!context) {
    GfxLog("gfx: no OpenGL 3.3 core context: %s\n", SDL_GetError());
    return false;
  }
  context_ = context;
  SetWindow(window);
  ReadInfo(&info_);
  if (info_.glVersion < 33) {
    GfxLog("gfx: the driver offers OpenGL %d.%d, 3.3 is needed\n", info_.glVersion / 10,
           info_.glVersion % 10);
    Destroy();
    return false;
  }
  return true;
}

void GlContext::Destroy() {
  if (context_) SDL_GL_DeleteContext(context_);
  context_ = nullptr;
  window_ = nullptr;
  windowId_ = 0;
}

void GlContext::SetWindow(SDL_Window* window) {
  window_ = window;
  windowId_ = window ? SDL_GetWindowID(window) : 0;
}

bool GlContext::WindowAlive() const {
  return window_ && SDL_GetWindowFromID(windowId_) == window_;
}

bool GlContext::MakeCurrent() {
  if (!context_) return false;
  // SDL forgets the current window when it is destroyed, so a match here is a live window.
  if (SDL_GL_GetCurrentContext() == context_ && SDL_GL_GetCurrentWindow() == window_) return true;
  if (!WindowAlive()) return false;
  if (SDL_GL_MakeCurrent(window_, context_) != 0) {
    GfxLog("gfx: cannot make the device's context current: %s\n", SDL_GetError());
    return false;
  }
  return true;
}

void GlContext::SetSwapInterval(int interval) {
  // Drivers without a swap control (the offscreen one) refuse; frames are paced by the
  // application's timer anyway.
  if (MakeCurrent()) SDL_GL_SetSwapInterval(interval);
}

void GlContext::Swap() {
  if (WindowAlive()) SDL_GL_SwapWindow(window_);
}

void GlContext::DrawableSize(int* width, int* height) const {
  *width = 0;
  *height = 0;
  if (!WindowAlive()) return;
  if (SDL_GetWindowFlags(window_) & SDL_WINDOW_MINIMIZED) return;
  SDL_GL_GetDrawableSize(window_, width, height);
}

bool GlContext::Probe(GlInfo* info) {
  SDL_Window* previousWindow = SDL_GL_GetCurrentWindow();
  SDL_GLContext previousContext = SDL_GL_GetCurrentContext();

  RequestCoreProfile();
  SDL_Window* window = SDL_CreateWindow("", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 1, 1,
                                        SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (!window) {
    GfxLog("gfx: no OpenGL window can be made: %s\n", SDL_GetError());
    return false;
  }
  bool ok = false;
  {
    GlContext probe;
    if (probe.Create(window)) {
      *info = probe.Info();
      ok = true;
    }
  }
  SDL_DestroyWindow(window);
  if (previousContext) SDL_GL_MakeCurrent(previousWindow, previousContext);
  return ok;
}

}  // namespace gfx
