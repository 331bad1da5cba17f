#pragma once
// One window of the tools' dialogs: an SDL window with an OpenGL context and a Dear ImGui
// context of its own. The engine's device keeps its own context on the application window; a
// frame here makes this window's context current and puts back whatever was current before, so
// the device finds its context as it left it.
//
// SDL has one event queue, which the application's window code drains and which drops events of
// other windows. The hosts therefore take their input from an event watch, which sees every
// event as SDL queues it, and hand each to the host whose window it names.

#include <SDL.h>

struct ImGuiContext;

namespace plat {

class ImGuiHost {
 public:
  ImGuiHost() = default;
  ~ImGuiHost() { Destroy(); }
  ImGuiHost(const ImGuiHost&) = delete;
  ImGuiHost& operator=(const ImGuiHost&) = delete;

  // A hidden window of that size; false (with a line on stderr) when no window, context or
  // renderer can be had.
  bool Create(const char* title, int width, int height);
  void Destroy();
  bool IsValid() const { return m_window != nullptr; }

  void Show(int x, int y, int width, int height);
  void Hide();

  // Starts an ImGui frame in this window's contexts; false when the window cannot draw now.
  bool BeginFrame();
  // Draws the frame, shows it and puts the previous contexts back.
  void EndFrame();

  SDL_Window* Window() const { return m_window; }
  bool HasKeyboardFocus() const { return m_window && SDL_GetKeyboardFocus() == m_window; }
  // The user asked the window manager to close the window (cleared when read).
  bool TakeCloseRequest();

  // True when SDL draws nowhere a user could see (the offscreen and dummy drivers).
  static bool HeadlessVideo();

 private:
  static int EventWatch(void* unused, SDL_Event* event);
  static ImGuiHost* HostOfWindow(Uint32 windowId);
  void Register();
  void Unregister();
  void RestorePrevious();

  SDL_Window* m_window = nullptr;
  Uint32 m_windowId = 0;
  SDL_GLContext m_gl = nullptr;
  ImGuiContext* m_imgui = nullptr;
  bool m_closeRequested = false;
  bool m_inFrame = false;
  SDL_Window* m_previousWindow = nullptr;
  SDL_GLContext m_previousGl = nullptr;
  ImGuiContext* m_previousImgui = nullptr;
};

}  // namespace plat
