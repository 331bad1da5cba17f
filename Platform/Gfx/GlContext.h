#pragma once
// One OpenGL 3.3 core context on an SDL window, loaded through libepoxy. Every device owns one;
// two devices may live on the same window for a while (the engine creates a new device when a
// reset fails), so each call into a device makes its context current first.

#include <SDL.h>

#include <cstdint>
#include <string>

namespace gfx {

struct GlLimits {
  int maxTextureSize = 0;
  int maxRenderbufferSize = 0;
  int maxTextureImageUnits = 0;
  int maxVertexAttribs = 0;
  int maxVertexUniformVectors = 0;
};

// What a context says about the driver.
struct GlInfo {
  std::string vendor;
  std::string renderer;
  std::string version;
  int glVersion = 0;  // 33 for 3.3
  GlLimits limits;
};

class GlContext {
 public:
  GlContext() = default;
  ~GlContext() { Destroy(); }
  GlContext(const GlContext&) = delete;
  GlContext& operator=(const GlContext&) = delete;

  // Sets SDL's context attributes to OpenGL 3.3 core. They are read when a context is made (and
  // on some drivers when an OpenGL window is made), so this runs before both.
  static void RequestCoreProfile();

  // Makes a 3.3 core context on `window` (which must have been made with SDL_WINDOW_OPENGL) and
  // leaves it current. False, with a log line, when the window or the driver cannot have one.
  bool Create(SDL_Window* window);
  void Destroy();
  bool IsValid() const { return context_ != nullptr; }

  // Later presentation goes to this window (same pixel format as the first).
  void SetWindow(SDL_Window* window);
  SDL_Window* Window() const { return window_; }

  // False when the window is gone or the driver refuses.
  bool MakeCurrent();
  void SetSwapInterval(int interval);
  void Swap();
  // The window's size in pixels; 0 x 0 while it is minimised.
  void DrawableSize(int* width, int* height) const;

  const GlInfo& Info() const { return info_; }

  // Creates a hidden 1 x 1 window with a context to see whether OpenGL 3.3 core can be had, and
  // what the driver calls itself. The caller's current context is restored afterwards.
  static bool Probe(GlInfo* info);

 private:
  static void ReadInfo(GlInfo* info);

  // Whether the window still exists, asked without touching it (it may have been destroyed).
  bool WindowAlive() const;

  SDL_Window* window_ = nullptr;
  uint32_t windowId_ = 0;
  SDL_GLContext context_ = nullptr;
  GlInfo info_;
};

}  // namespace gfx
