#include "Platform/System/SdlSystem.h"

#include <SDL.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace plat {

namespace {

// Virtual-key codes of the system keys the window procedure swallows.
constexpr int32_t kVK_F10 = 0x79;
constexpr int32_t kVK_LCONTROL = 0xA2;
constexpr int32_t kVK_RCONTROL = 0xA3;
constexpr int32_t kVK_LMENU = 0xA4;
constexpr int32_t kVK_RMENU = 0xA5;

int32_t SystemKeyVk(SDL_Scancode scancode) {
  switch (scancode) {
    case SDL_SCANCODE_F10: return kVK_F10;
    case SDL_SCANCODE_LALT: return kVK_LMENU;
    case SDL_SCANCODE_RALT: return kVK_RMENU;
    case SDL_SCANCODE_LCTRL: return kVK_LCONTROL;
    case SDL_SCANCODE_RCTRL: return kVK_RCONTROL;
    default: return 0;
  }
}

int64_t MonotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Drivers with no screen to show anything on. A message box there would at best fail and at
// worst open on whatever display the developer's session has, and wait for a click.
bool HeadlessVideoDriver() {
  const char* driver = SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GetCurrentVideoDriver()
                                                    : SDL_GetHint(SDL_HINT_VIDEODRIVER);
  if (!driver) return false;
  return SDL_strcasecmp(driver, "offscreen") == 0 || SDL_strcasecmp(driver, "dummy") == 0;
}

// A folder that this user owns and nobody else can enter: a lock file there cannot be taken or
// replaced by another user to keep the program from starting.
bool PrivateFolder(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
         (info.st_mode & 077) == 0;
}

std::string LockFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/' && PrivateFolder(runtime)) return runtime;
  std::string fallback = "/tmp/pendrake-" + std::to_string(geteuid());
  if (mkdir(fallback.c_str(), 0700) != 0 && errno != EEXIST) return std::string();
  return PrivateFolder(fallback) ? fallback : std::string();
}

}  // namespace

std::string InstanceLockPath(const char* name) {
  if (!name || !*name) return std::string();
  std::string folder = LockFolder();
  if (folder.empty()) return folder;
  std::string file = std::string(name) + ".lock";
  for (char& c : file)
    if (c == '/') c = '_';
  return folder + "/" + file;
}

bool EnsureSdlVideo() {
  static int state = 0;  // 0 not tried, 1 up, -1 failed for good
  if (state == 0) {
    // The screen saver is held off only while the window exists, not from SDL's start.
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) == 0) {
      state = 1;
    } else {
      std::fprintf(stderr, "SDL video could not start: %s\n", SDL_GetError());
      state = -1;
    }
  }
  return state == 1;
}

bool EnsureSdlJoysticks() {
  static int state = 0;
  if (state == 0) {
    if (!EnsureSdlVideo()) return false;
    // The application decides when pads count: it reads them only while it is the active one.
    // SDL's own rule would freeze every pad while none of its windows holds the keyboard focus,
    // and a window of the offscreen driver never does.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER) == 0) {
      state = 1;
    } else {
      std::fprintf(stderr, "SDL joysticks could not start: %s\n", SDL_GetError());
      state = -1;
    }
  }
  return state == 1;
}

int32_t DesktopBitsFromPixelFormat(uint32_t sdlPixelFormat) {
  int32_t bits = static_cast<int32_t>(SDL_BITSPERPIXEL(sdlPixelFormat));
  if (bits == 24) return 32;
  if (bits == 15) return 16;
  return bits;
}

SdlSystem::~SdlSystem() {
  ReleaseInstanceLock();
  if (m_window) {
    SDL_DestroyWindow(static_cast<SDL_Window*>(m_window));
    SDL_EnableScreenSaver();
  }
}

DesktopMode SdlSystem::GetDesktopMode() {
  DesktopMode mode;
  if (!EnsureSdlVideo()) return mode;
  SDL_DisplayMode desktop{};
  if (SDL_GetDesktopDisplayMode(0, &desktop) != 0) {
    std::fprintf(stderr, "SDL has no desktop mode: %s\n", SDL_GetError());
    return mode;
  }
  mode.width = desktop.w;
  mode.height = desktop.h;
  mode.bitsPerPixel = DesktopBitsFromPixelFormat(desktop.format);
  return mode;
}

InstanceLock SdlSystem::TakeInstanceLock(const char* name) {
  // Held already by this process: a second instance in all but name.
  if (m_lockFd >= 0) return InstanceLock::HeldElsewhere;
  // Not in the working folder: a copy started from another folder must find the same lock, and
  // a folder that cannot be written must not pass for another copy.
  std::string path = InstanceLockPath(name);
  if (path.empty()) return InstanceLock::Unavailable;
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return InstanceLock::Unavailable;
  // flock belongs to the open file, so the lock goes with the process however it ends.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int error = errno;
    close(fd);
    return error == EWOULDBLOCK ? InstanceLock::HeldElsewhere : InstanceLock::Unavailable;
  }
  // The holder's pid, for whoever wonders which copy is running.
  if (ftruncate(fd, 0) == 0) {
    char text[32];
    int length = std::snprintf(text, sizeof(text), "%ld\n", static_cast<long>(getpid()));
    if (length > 0 && write(fd, text, static_cast<size_t>(length)) < 0) {
      // Only informative; the lock is what counts.
    }
  }
  m_lockFd = fd;
  return InstanceLock::Acquired;
}

void SdlSystem::ReleaseInstanceLock() {
  if (m_lockFd < 0) return;
  // The file stays: removing it would let a newcomer lock a fresh file while an older process
  // still waits on the removed one.
  flock(m_lockFd, LOCK_UN);
  close(m_lockFd);
  m_lockFd = -1;
}

bool SdlSystem::CanWriteWorkingFolder() {
  // Effective ids, and a read-only mount counts even for root.
  return faccessat(AT_FDCWD, ".", W_OK | X_OK, AT_EACCESS) == 0;
}

WindowHandle SdlSystem::CreateAppWindow(int32_t clientWidth, int32_t clientHeight, int32_t* x,
                                        int32_t* y) {
  if (m_window) {
    std::fprintf(stderr, "The application window exists already\n");
    return nullptr;
  }
  if (clientWidth <= 0 || clientHeight <= 0 || !EnsureSdlVideo()) return nullptr;

  // The device draws into a framebuffer object of its own and only copies it into the window,
  // so the window's framebuffer needs no depth or stencil.
  SDL_GL_ResetAttributes();
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);

  // Decorated on purpose: on Linux there may be no task bar to close or minimise the window
  // from, and window managers treat undecorated windows unevenly (focus, stacking). The title
  // bar gives the user close and minimise, which reach the program as Destroy and Minimised.
  SDL_Window* window =
      SDL_CreateWindow("Pendrake", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, clientWidth,
                       clientHeight, SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
  if (!window) {
    std::fprintf(stderr, "SDL could not create the window: %s\n", SDL_GetError());
    return nullptr;
  }
  int left = 0;
  int top = 0;
  SDL_GetWindowPosition(window, &left, &top);
  if (x) *x = left;
  if (y) *y = top;

  m_window = window;
  m_windowId = SDL_GetWindowID(window);
  m_destroyDelivered = false;
  // Events of an earlier window (its Destroy, a Quit) are not this window's.
  m_pending.clear();
  SDL_DisableScreenSaver();
  SDL_RaiseWindow(window);
  return m_window;
}

void SdlSystem::GetClientSize(int32_t* width, int32_t* height) {
  int w = 0;
  int h = 0;
  if (m_window) SDL_GetWindowSize(static_cast<SDL_Window*>(m_window), &w, &h);
  if (width) *width = w;
  if (height) *height = h;
}

bool SdlSystem::ScreenSaverAllowed() const {
  return !SDL_WasInit(SDL_INIT_VIDEO) || SDL_IsScreenSaverEnabled() == SDL_TRUE;
}

bool SdlSystem::CursorShown() const {
  return !SDL_WasInit(SDL_INIT_VIDEO) || SDL_ShowCursor(SDL_QUERY) == SDL_ENABLE;
}

void SdlSystem::QueueDestroy(bool atFront) {
  if (m_destroyDelivered) return;
  m_destroyDelivered = true;
  WindowEvent event;
  event.type = WindowEventType::Destroy;
  if (atFront) {
    m_pending.push_front(event);
  } else {
    m_pending.push_back(event);
  }
}

void SdlSystem::DestroyAppWindow() {
  if (!m_window) return;
  SDL_DestroyWindow(static_cast<SDL_Window*>(m_window));
  m_window = nullptr;
  m_windowId = 0;
  SDL_EnableScreenSaver();
  // Destroying a window reaches its window procedure at once, ahead of anything posted.
  QueueDestroy(true);
}

bool SdlSystem::DrainSdlEvents(bool stopAtFirst) {
  if (!SDL_WasInit(SDL_INIT_EVENTS)) return false;
  SDL_Event sdl;
  while (SDL_PollEvent(&sdl)) {
    WindowEvent event;
    bool ours = false;
    switch (sdl.type) {
      case SDL_QUIT:
        // A close of the last window, or a termination signal: either way the program ends
        // as if its window had been closed.
        if (m_destroyDelivered) break;
        if (m_window) SDL_HideWindow(static_cast<SDL_Window*>(m_window));
        QueueDestroy(false);
        if (stopAtFirst) return true;
        break;
      case SDL_WINDOWEVENT:
        if (m_windowId == 0 || sdl.window.windowID != m_windowId) break;
        switch (sdl.window.event) {
          case SDL_WINDOWEVENT_CLOSE:
            if (m_destroyDelivered) break;
            // Hidden now so the close looks immediate; the window itself stays until the
            // program destroys it, since the display still draws into it.
            SDL_HideWindow(static_cast<SDL_Window*>(m_window));
            QueueDestroy(false);
            if (stopAtFirst) return true;
            break;
          case SDL_WINDOWEVENT_MINIMIZED:
            event.type = WindowEventType::Minimised;
            ours = true;
            break;
          case SDL_WINDOWEVENT_RESTORED:
            event.type = WindowEventType::Restored;
            ours = true;
            break;
          case SDL_WINDOWEVENT_EXPOSED:
            event.type = WindowEventType::Paint;
            ours = true;
            break;
          case SDL_WINDOWEVENT_FOCUS_GAINED:
            event.type = WindowEventType::ActivateApp;
            event.param = 1;
            ours = true;
            break;
          case SDL_WINDOWEVENT_FOCUS_LOST:
            event.type = WindowEventType::ActivateApp;
            event.param = 0;
            ours = true;
            break;
          default:
            break;
        }
        break;
      case SDL_KEYDOWN:
        if (m_windowId == 0 || sdl.key.windowID != m_windowId) break;
        event.param = SystemKeyVk(sdl.key.keysym.scancode);
        if (event.param != 0) {
          event.type = WindowEventType::SysKeyDown;
          ours = true;
        }
        break;
      default:
        break;
    }
    if (ours) {
      m_pending.push_back(event);
      if (stopAtFirst) return true;
    }
  }
  return false;
}

bool SdlSystem::PeekEvent(WindowEvent* event) {
  if (m_pending.empty()) DrainSdlEvents(true);
  if (m_pending.empty()) return false;
  if (event) *event = m_pending.front();
  m_pending.pop_front();
  return true;
}

void SdlSystem::PostQuit() {
  // The quit comes after everything that happened before it, including what SDL still holds.
  DrainSdlEvents(false);
  WindowEvent quit;
  quit.type = WindowEventType::Quit;
  m_pending.push_back(quit);
}

void SdlSystem::ShowCursor(bool show) {
  if (!EnsureSdlVideo()) return;
  SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

void SdlSystem::MessageBox(const char* text, const char* caption, uint32_t flags) {
  if (!text) text = "";
  // Written first: the box waits for a click, and there may be nobody to click it.
  if (caption && *caption) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
  } else {
    std::fprintf(stderr, "%s\n", text);
  }
  std::fflush(stderr);
  if (HeadlessVideoDriver()) return;
  uint32_t kind = (flags & kMessageBoxIconError) ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
  // Without a display this fails, and stderr has the text already.
  SDL_ShowSimpleMessageBox(kind, caption ? caption : "", text, nullptr);
}

bool SdlSystem::QueryPerformanceFrequency(int64_t* frequency) {
  if (!frequency) return false;
  *frequency = 1000000000;
  return true;
}

bool SdlSystem::QueryPerformanceCounter(int64_t* counter) {
  if (!counter) return false;
  *counter = MonotonicNanoseconds();
  return true;
}

uint32_t SdlSystem::GetTickCount() {
  // The same clock as the counter, so the frame timer's cross-check of the two never drifts.
  return static_cast<uint32_t>(MonotonicNanoseconds() / 1000000);
}

void SdlSystem::Sleep(uint32_t milliseconds) {
  timespec wait{};
  wait.tv_sec = static_cast<time_t>(milliseconds / 1000);
  wait.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000;
  while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

}  // namespace plat
