#include "Platform/Dialog/ImGuiHost.h"

#include <epoxy/gl.h>
#include <imgui.h>
#include <imgui_impl_opengl3.h>
#include <imgui_impl_sdl.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace plat {

namespace {

std::vector<ImGuiHost*>& Hosts() {
  static std::vector<ImGuiHost*> hosts;
  return hosts;
}

// The window an input or window event belongs to; 0 for the others.
Uint32 EventWindowId(const SDL_Event& event) {
  switch (event.type) {
    case SDL_WINDOWEVENT:
      return event.window.windowID;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      return event.key.windowID;
    case SDL_TEXTINPUT:
      return event.text.windowID;
    case SDL_TEXTEDITING:
      return event.edit.windowID;
    case SDL_MOUSEMOTION:
      return event.motion.windowID;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      return event.button.windowID;
    case SDL_MOUSEWHEEL:
      return event.wheel.windowID;
    default:
      return 0;
  }
}

bool EnsureVideo() {
  if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
  if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) == 0) return true;
  std::fprintf(stderr, "dialog: SDL video could not start: %s\n", SDL_GetError());
  return false;
}

}  // namespace

bool ImGuiHost::HeadlessVideo() {
  const char* driver =
      SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GetCurrentVideoDriver() : SDL_GetHint(SDL_HINT_VIDEODRIVER);
  if (!driver) return false;
  return SDL_strcasecmp(driver, "offscreen") == 0 || SDL_strcasecmp(driver, "dummy") == 0;
}

ImGuiHost* ImGuiHost::HostOfWindow(Uint32 windowId) {
  if (windowId == 0) return nullptr;
  for (ImGuiHost* host : Hosts())
    if (host->m_windowId == windowId) return host;
  return nullptr;
}

int ImGuiHost::EventWatch(void*, SDL_Event* event) {
  ImGuiHost* host = HostOfWindow(EventWindowId(*event));
  if (!host || !host->m_imgui) return 0;
  if (event->type == SDL_WINDOWEVENT && event->window.event == SDL_WINDOWEVENT_CLOSE) {
    host->m_closeRequested = true;
    return 0;
  }
  ImGuiContext* previous = ImGui::GetCurrentContext();
  ImGui::SetCurrentContext(host->m_imgui);
  ImGui_ImplSDL2_ProcessEvent(event);
  ImGui::SetCurrentContext(previous);
  return 0;
}

void ImGuiHost::Register() {
  static bool watching = false;
  if (!watching) {
    SDL_AddEventWatch(&ImGuiHost::EventWatch, nullptr);
    watching = true;
  }
  Hosts().push_back(this);
}

void ImGuiHost::Unregister() {
  auto& hosts = Hosts();
  hosts.erase(std::remove(hosts.begin(), hosts.end(), this), hosts.end());
}

bool ImGuiHost::Create(const char* title, int width, int height) {
  Destroy();
  if (!EnsureVideo()) return false;
  SDL_Window* previousWindow = SDL_GL_GetCurrentWindow();
  SDL_GLContext previousGl = SDL_GL_GetCurrentContext();
  ImGuiContext* previousImgui = ImGui::GetCurrentContext();

  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  m_window = SDL_CreateWindow(title ? title : "", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                              width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (!m_window) {
    std::fprintf(stderr, "dialog: no window: %s\n", SDL_GetError());
    return false;
  }
  m_windowId = SDL_GetWindowID(m_window);
  m_gl = SDL_GL_CreateContext(m_window);
  bool ok = m_gl != nullptr;
  if (ok) {
    // Drawing the dialog must never wait for the screen: the game's frame runs around it.
    SDL_GL_SetSwapInterval(0);
    m_imgui = ImGui::CreateContext();
    ImGui::SetCurrentContext(m_imgui);
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.LogFilename = nullptr;
    // The game window shares the one cursor and may hide it.
    io.ConfigFlags |= ImGuiConfigFlags_NoMouseCursorChange;
    ImGui::StyleColorsLight();
    ok = ImGui_ImplSDL2_InitForOpenGL(m_window, m_gl);
    if (ok && !ImGui_ImplOpenGL3_Init("#version 330 core")) {
      ImGui_ImplSDL2_Shutdown();
      ok = false;
    }
    if (!ok) {
      ImGui::DestroyContext(m_imgui);
      m_imgui = nullptr;
    }
  }
  if (!ok) std::fprintf(stderr, "dialog: no OpenGL renderer for the dialog: %s\n", SDL_GetError());
  ImGui::SetCurrentContext(previousImgui);
  if (previousGl) {
    SDL_GL_MakeCurrent(previousWindow, previousGl);
  } else {
    SDL_GL_MakeCurrent(m_window, nullptr);
  }
  if (!ok) {
    if (m_gl) SDL_GL_DeleteContext(m_gl);
    m_gl = nullptr;
    SDL_DestroyWindow(m_window);
    m_window = nullptr;
    m_windowId = 0;
    return false;
  }
  Register();
  return true;
}

void ImGuiHost::Destroy() {
  if (!m_window) return;
  Unregister();
  SDL_Window* previousWindow = SDL_GL_GetCurrentWindow();
  SDL_GLContext previousGl = SDL_GL_GetCurrentContext();
  ImGuiContext* previousImgui = ImGui::GetCurrentContext();
  if (previousImgui == m_imgui) previousImgui = nullptr;
  if (m_imgui) {
    SDL_GL_MakeCurrent(m_window, m_gl);
    ImGui::SetCurrentContext(m_imgui);
    ImGui_ImplOpenGL3_Shutdown();
    ImGui_ImplSDL2_Shutdown();
    ImGui::DestroyContext(m_imgui);
    m_imgui = nullptr;
  }
  ImGui::SetCurrentContext(previousImgui);
  if (previousGl && previousGl != m_gl) {
    SDL_GL_MakeCurrent(previousWindow, previousGl);
  } else {
    SDL_GL_MakeCurrent(m_window, nullptr);
  }
  if (m_gl) SDL_GL_DeleteContext(m_gl);
  m_gl = nullptr;
  SDL_DestroyWindow(m_window);
  m_window = nullptr;
  m_windowId = 0;
}

void ImGuiHost::Show(int x, int y, int width, int height) {
  if (!m_window) return;
  SDL_SetWindowSize(m_window, width, height);
  SDL_SetWindowPosition(m_window, x, y);
  SDL_ShowWindow(m_window);
}

void ImGuiHost::Hide() {
  if (m_window) SDL_HideWindow(m_window);
}

bool ImGuiHost::TakeCloseRequest() {
  const bool requested = m_closeRequested;
  m_closeRequested = false;
  return requested;
}

bool ImGuiHost::BeginFrame() {
  if (!m_window || m_inFrame) return false;
  if (SDL_GetWindowFlags(m_window) & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED)) return false;
  m_previousWindow = SDL_GL_GetCurrentWindow();
  m_previousGl = SDL_GL_GetCurrentContext();
  m_previousImgui = ImGui::GetCurrentContext();
  if (SDL_GL_MakeCurrent(m_window, m_gl) != 0) {
    RestorePrevious();
    return false;
  }
  ImGui::SetCurrentContext(m_imgui);
  ImGui_ImplOpenGL3_NewFrame();
  ImGui_ImplSDL2_NewFrame();
  ImGui::NewFrame();
  m_inFrame = true;
  return true;
}

void ImGuiHost::EndFrame() {
  if (!m_inFrame) return;
  m_inFrame = false;
  ImGui::Render();
  int width = 0;
  int height = 0;
  SDL_GL_GetDrawableSize(m_window, &width, &height);
  glViewport(0, 0, width, height);
  glClearColor(0.94f, 0.94f, 0.94f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
  SDL_GL_SwapWindow(m_window);
  RestorePrevious();
}

void ImGuiHost::RestorePrevious() {
  ImGui::SetCurrentContext(m_previousImgui);
  if (m_previousGl) {
    SDL_GL_MakeCurrent(m_previousWindow, m_previousGl);
  } else {
    SDL_GL_MakeCurrent(m_window, nullptr);
  }
  m_previousWindow = nullptr;
  m_previousGl = nullptr;
  m_previousImgui = nullptr;
}

}  // namespace plat
