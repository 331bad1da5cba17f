#pragma once
// The operating-system services the application shell needs: the desktop, the single-instance
// lock, the one application window and its events, message boxes, the clocks and sleeping.
// The real back end runs on SDL2; tests install a scripted back end (ScriptedSystem.h) that
// injects events, clock readings and failures around the real window.

#include <cstdint>

namespace plat {

// What the application's window procedure handles; one value per row of its message table.
enum class WindowEventType {
  Destroy,        // the user closed the window
  Minimised,      // size event: minimised
  Restored,       // size event: restored
  Paint,          // the window needs repainting
  EraseBackground,
  ActivateApp,    // param: 1 activated, 0 deactivated
  SetCursor,      // param: 1 when over the client area
  SysKeyDown,     // param: virtual-key code (VK_F10 0x79, VK_LMENU 0xA4, VK_RMENU 0xA5,
                  // VK_LCONTROL 0xA2, VK_RCONTROL 0xA3, ...)
  ScreenSave,     // the system wants to start the screen saver
  Quit,           // the message loop's quit message (posted by PostQuit)
  Other,
};

struct WindowEvent {
  WindowEventType type = WindowEventType::Other;
  int32_t param = 0;
};

struct DesktopMode {
  int32_t width = 0;
  int32_t height = 0;
  int32_t bitsPerPixel = 0;
};

// What taking the single-instance lock found.
enum class InstanceLock {
  Acquired,       // this process holds it now
  HeldElsewhere,  // another copy of the program holds it (or this process does already)
  Unavailable,    // no lock could be made at all: nothing tells whether another copy runs
};

enum MessageBoxFlags : uint32_t {
  kMessageBoxOk = 0,
  kMessageBoxIconError = 0x10,
};

// Opaque window handle; the graphics back end knows what it is.
using WindowHandle = void*;

class System {
 public:
  virtual ~System() = default;

  virtual DesktopMode GetDesktopMode() = 0;

  // Takes the single-instance lock named after `name`: one holder per user on the machine,
  // whatever folder each copy was started from.
  virtual InstanceLock TakeInstanceLock(const char* name) = 0;
  virtual void ReleaseInstanceLock() = 0;

  // Whether this process may create and replace files in its working folder, where the logs
  // and the pad settings live.
  virtual bool CanWriteWorkingFolder() = 0;

  // Creates the one application window with exactly this client size, centred on the desktop;
  // stores the top-left position. Null on failure.
  virtual WindowHandle CreateAppWindow(int32_t clientWidth, int32_t clientHeight, int32_t* x,
                                       int32_t* y) = 0;
  // Destroying the window delivers a Destroy event (as closing it does). Safe to call twice.
  virtual void DestroyAppWindow() = 0;
  virtual WindowHandle GetAppWindow() = 0;

  // Takes one pending event without blocking; false when there is none.
  virtual bool PeekEvent(WindowEvent* event) = 0;
  // Queues a Quit event behind the pending ones.
  virtual void PostQuit() = 0;

  virtual void ShowCursor(bool show) = 0;
  // Shows a message box (and writes the text to stderr). No owner window.
  virtual void MessageBox(const char* text, const char* caption, uint32_t flags) = 0;

  // The high-resolution counter and its frequency (counts per second); false when unavailable.
  virtual bool QueryPerformanceFrequency(int64_t* frequency) = 0;
  virtual bool QueryPerformanceCounter(int64_t* counter) = 0;
  // Milliseconds since some fixed start, wrapping at 2^32.
  virtual uint32_t GetTickCount() = 0;
  virtual void Sleep(uint32_t milliseconds) = 0;
};

// The back end in use: the SDL one unless a test installed another.
System& GetSystem();
// Installs a back end (null restores the SDL one). The caller keeps ownership.
void SetSystem(System* system);

// The SDL back end itself, for scripted back ends that wrap it.
System& GetSdlSystem();

}  // namespace plat
