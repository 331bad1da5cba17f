#pragma once
// The SDL2 back end of plat::System. The window handle it gives out is the SDL_Window itself, so
// the graphics back end can make its OpenGL context on it.

#include <cstdint>
#include <deque>
#include <string>

#include "Platform/System/System.h"

namespace plat {

// SDL starts on first need, with the subsystems the program uses. The joystick subsystems are
// optional: without them the program runs with no pads. Both return false when SDL cannot start.
bool EnsureSdlVideo();
bool EnsureSdlJoysticks();

// Bits per pixel of an SDL pixel format as the program counts them: a 24-bit desktop is the
// 32-bit XRGB layout (SDL reports RGB888 as 24 bits).
int32_t DesktopBitsFromPixelFormat(uint32_t sdlPixelFormat);

// Where the single-instance lock named `name` lives: in the user's runtime folder
// ($XDG_RUNTIME_DIR), or else in a private folder of the user's under /tmp, made when missing.
// Empty when neither is a folder that only this user can reach.
std::string InstanceLockPath(const char* name);

class SdlSystem : public System {
 public:
  SdlSystem() = default;
  ~SdlSystem() override;
  SdlSystem(const SdlSystem&) = delete;
  SdlSystem& operator=(const SdlSystem&) = delete;

  DesktopMode GetDesktopMode() override;

  InstanceLock TakeInstanceLock(const char* name) override;
  void ReleaseInstanceLock() override;
  bool CanWriteWorkingFolder() override;

  WindowHandle CreateAppWindow(int32_t clientWidth, int32_t clientHeight, int32_t* x,
                               int32_t* y) override;
  void DestroyAppWindow() override;
  WindowHandle GetAppWindow() override { return m_window; }
  // The window's client size as SDL has it now (0 by 0 without a window).
  void GetClientSize(int32_t* width, int32_t* height);
  // What SDL holds now: whether the screen saver may start, whether the cursor shows.
  bool ScreenSaverAllowed() const;
  bool CursorShown() const;

  bool PeekEvent(WindowEvent* event) override;
  void PostQuit() override;

  void ShowCursor(bool show) override;
  void MessageBox(const char* text, const char* caption, uint32_t flags) override;

  bool QueryPerformanceFrequency(int64_t* frequency) override;
  bool QueryPerformanceCounter(int64_t* counter) override;
  uint32_t GetTickCount() override;
  void Sleep(uint32_t milliseconds) override;

 private:
  // Takes SDL's pending events, turning those the window procedure knows into ours; false when
  // SDL has none left. `stopAtFirst` returns after the first one that was queued.
  bool DrainSdlEvents(bool stopAtFirst);
  void QueueDestroy(bool atFront);

  WindowHandle m_window = nullptr;
  uint32_t m_windowId = 0;
  // A window is destroyed once: closing it and destroying it report one Destroy between them.
  bool m_destroyDelivered = false;
  std::deque<WindowEvent> m_pending;
  int m_lockFd = -1;
};

}  // namespace plat
