#include "Engine/PC/PCApp.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "Engine/DataFolder.h"
#include "Engine/Input.h"
#include "Engine/PC/PCGamePad.h"
#include "Engine/PC/PCParticleRenderer.h"
#include "Platform/Movie/Movie.h"

App& GetApp() {
  static App s_app;
  return s_app;
}

BaseApp& GetBaseApp() { return GetApp(); }

App::App() : BaseApp(&m_particleFactory) {}

App::~App() {
  m_windows.Empty();
  SetDataFolder(nullptr);
  m_mouse.Release();
  m_keyboard.Release();
}

void App::ResetForTests() {
  // A new object in place, not a list of members to clear: a member added later cannot be missed.
  // The object keeps its address, so pointers to the application and its members stay valid, but
  // their contents start afresh: the previous test must have shut the application down.
  KASSERT(!m_game);
  this->~App();
  new (this) App();
}

namespace {
const char kUnwritableFolderText[] =
    "Pendrake cannot write to the folder it was started in, so its logs and settings will not "
    "be saved.";
}  // namespace

int32_t App::InitHardware() {
  plat::System& system = plat::GetSystem();
  plat::DesktopMode desktop = system.GetDesktopMode();
  m_desktopWidth = desktop.width;
  m_desktopHeight = desktop.height;
  m_desktopBits = desktop.bitsPerPixel;
  if (m_desktopBits < 16) {
    system.MessageBox("Pendrake requires the desktop to be in either 16 or 32 bit colour mode", "",
                      plat::kMessageBoxOk);
    return 0;
  }
  system.ShowCursor(false);
  DebugLog().SetFirstWrite();

  if (!CreateAppWindow()) return 0;
  if (!m_display.Init()) return 0;

  if (plat::DirectInput8Create(&m_directInput) < 0 || !m_directInput) {
    m_directInput = nullptr;
    DebugLog().Write("Error creating input handler\n");
    return 0;
  }
  m_keyboard.Create(m_directInput);

  GamePad* pad = TrackedNew<GamePad>("App::InitHardware", m_directInput);
  g_gamePad = pad;
  if (pad) pad->EnumeratePads();

  if (!m_mouse.Create(m_directInput)) DebugLog().Write("Could not get the mouse\n");

  m_texture.Init();
  m_nodeFactory.Init();
  m_animFactory.Init();
  m_texture.SetFallback(m_texture.Load("data\\badtexture.dds"));
  return 1;
}

int32_t App::CreateAppWindow() {
  plat::System& system = plat::GetSystem();
  switch (system.TakeInstanceLock("Pendrake mutex")) {
    case plat::InstanceLock::Acquired:
      m_instanceLocked = 1;
      break;
    case plat::InstanceLock::HeldElsewhere:
      // A second copy of the program ends quietly.
      return 0;
    case plat::InstanceLock::Unavailable:
      // Nothing says another copy runs, and refusing to start on that account would lock the
      // player out of the game for good.
      DebugLog().Write("Unable to make the single-instance lock; starting all the same\n");
      break;
  }
  const bool writable = system.CanWriteWorkingFolder();
  if (!writable) {
    // One word for all of them: the logs and "pdjp.cfg" each fail on their own later.
    system.MessageBox(kUnwritableFolderText, "", plat::kMessageBoxOk);
  }
  // Told once is enough: the debug log goes on to the debugger output without its assertion.
  DebugLog().SetFolderUnwritableTold(!writable);
  m_window = system.CreateAppWindow(m_clientWidth, m_clientHeight, &m_windowX, &m_windowY);
  if (!m_window) {
    // The program cannot run without its window; the caller ends it (with the usual clean-up
    // rather than an abrupt process exit).
    DebugLog().Write("Unable to create the application window\n");
    return 0;
  }
  return 1;
}

int32_t App::HandleWindowEvent(const plat::WindowEvent& event) {
  switch (event.type) {
    case plat::WindowEventType::Destroy:
      m_exit = 1;
      plat::GetSystem().PostQuit();
      return 0;
    case plat::WindowEventType::Minimised:
      m_minimised = 1;
      return 0;
    case plat::WindowEventType::Restored:
      m_minimised = 0;
      m_display.SetModeChanged(1);
      return 0;
    case plat::WindowEventType::Paint:
      return 0;
    case plat::WindowEventType::EraseBackground:
      return 1;
    case plat::WindowEventType::ActivateApp:
      m_active = event.param ? 1 : 0;
      return 0;
    case plat::WindowEventType::SetCursor:
      return 0;
    case plat::WindowEventType::SysKeyDown:
      // Alt, Ctrl and F10 would open the system menu elsewhere; here nothing acts on system
      // keys, so all of them are swallowed.
      return 0;
    case plat::WindowEventType::ScreenSave:
      return 0;
    case plat::WindowEventType::Quit:
    case plat::WindowEventType::Other:
      return 0;
  }
  return 0;
}

int32_t App::InitApp() {
  m_targetFrameRate = 60;
  m_active = 1;
  m_particleFactory.Init();
  PCParticleRenderer::Install();
  if (!m_timer.Create(60)) return 0;
  if (m_gameFactory) {
    m_game = m_gameFactory();
    if (m_game) m_game->Init();
  }
  return 1;
}

void App::Update() {
  if (m_timer.Tick() != 1) return;
  if (m_active) {
    m_keyboard.Poll();
    if (g_gamePad) {
      g_gamePad->Update();
      g_gamePad->BaseGamePad::Update();
    }
    m_mouse.Poll();
    m_display.BeginScene();
  }
  if (!m_moviePlaying && m_game) m_game->Update();
  if (m_active) {
    // Game code may add or delete windows from inside a window's operations. Deletions wait
    // until the pass is over (a window must not run on after it deleted itself) and additions
    // are sorted in after it, so every window runs at most once, in order.
    m_inWindowPass = 1;
    // Windows added during the pass are appended behind these and start next frame.
    const int32_t passCount = m_windows.GetCount();
    for (int32_t i = 0; i < passCount; ++i) {
      m_currentWindow = i;
      RenderWindow* window = m_windows[i];
      if (IsDeletePending(window)) continue;
      window->Clear();
      if (IsDeletePending(window)) continue;
      window->Update();
      if (IsDeletePending(window)) continue;
      window->Render();
    }
    m_inWindowPass = 0;
    ApplyPendingWindowChanges();
  } else {
    // Nothing is read while the application is in the background; the game side, which still
    // runs, must not see the last frame's motion, presses and releases again and again.
    m_mouse.m_xMotion = 0;
    m_mouse.m_yMotion = 0;
    m_keyboard.ClearEdges();
    if (g_gamePad) g_gamePad->ClearEdges();
    // The game drew its frame into windows that will not run: undrawn, it would pile up until
    // every list overflowed and then come out all at once in the first frame back. The game's
    // own Render is left alone, since what it steps while drawing is part of the game.
    for (int32_t i = 0; i < m_windows.GetCount(); ++i) m_windows[i]->DropSubmissions();
  }
  if (m_active && m_moviePlaying) {
    if (m_moviePlayer.state == 1 && m_skipTest && m_skipTest(m_skipArgs[0], m_skipArgs[1]) == 0)
      m_movieStop = 1;
    int32_t goesOn = 0;
    if (!m_movieStop) goesOn = UpdateMovie(&m_moviePlayer);
    if (m_movieStop || !goesOn) {
      StopMovie(&m_moviePlayer);
      m_moviePlaying = 0;
    }
  }
  if (m_active) {
    m_display.EndScene();
    m_display.Present();
  }
  // Every due frame is closed, drawn or not, so that pacing and the time step stay true while
  // the application is in the background.
  m_timer.EndFrame();
  ++m_framesRun;
}

void App::RunLoop(int32_t maxFrames) {
  plat::System& system = plat::GetSystem();
  const int64_t stopAt = maxFrames >= 0 ? m_framesRun + maxFrames : -1;
  for (;;) {
    if (m_exit) break;
    // Every turn takes all pending events, minimised or not: the restore must be seen.
    plat::WindowEvent event;
    bool quit = false;
    while (system.PeekEvent(&event)) {
      if (event.type == plat::WindowEventType::Quit) {
        quit = true;
        break;
      }
      HandleWindowEvent(event);
    }
    if (quit || m_exit) break;
    if (m_minimised) {
      system.Sleep(50);
      continue;
    }
    int64_t before = m_framesRun;
    Update();
    if (stopAt >= 0 && m_framesRun >= stopAt) break;
    // No frame was due: give the processor back for a moment instead of spinning. A frame is
    // 16.7 ms; a 1 ms nap keeps the pacing well inside one period.
    if (m_framesRun == before) system.Sleep(1);
  }
}

void App::DestroyWindows(const char* owner) {
  for (int32_t i = 0; i < m_windows.GetCount(); ++i) m_windows[i]->CleanUp();
  for (int32_t i = 0; i < m_windows.GetCount(); ++i) {
    TrackedDelete(owner, m_windows[i]);
    m_windows[i] = nullptr;
  }
  m_windows.Empty();
}

void App::ExitApp() {
  DestroyWindows("App::ExitApp");
  ShutdownHardware();
}

void App::ShutdownApp() {
  if (m_moviePlaying) {
    StopMovie(&m_moviePlayer);
    m_moviePlaying = 0;
  }
  if (m_game) {
    // The game object's destructor runs its CleanUp.
    TrackedDelete("App::ShutdownApp", m_game);
    m_game = nullptr;
  }
  // Fonts hold page and icon textures; they go while the registry can still take them back.
  m_fontFactory.CleanUp();
  m_texture.Delete(m_texture.GetFallback());
  m_texture.SetFallback(-1);
  DestroyWindows("App::ShutdownApp");
  // Scenes the game side left behind hold geometry, templates and textures of the registries
  // below: they go first.
  m_sceneFactory.CleanUp();
  // The game side deleted its animations in its CleanUp; whatever is left goes now.
  m_animFactory.CleanUp();
  m_particleFactory.CleanUp();
  // Geometry holds textures and device buffers: it goes while both can still take them back.
  m_nodeFactory.CleanUp();
  m_texture.CleanUp();
}

void App::ShutdownHardware() {
  plat::System& system = plat::GetSystem();
  if (m_window) {
    system.DestroyAppWindow();
    m_window = nullptr;
  }
  m_display.CleanUp();
  m_mouse.Release();
  m_keyboard.Release();
  BaseGamePad::Shutdown();
  if (m_directInput) {
    m_directInput->Release();
    m_directInput = nullptr;
  }
  if (m_instanceLocked) {
    system.ReleaseInstanceLock();
    m_instanceLocked = 0;
  }
}

int32_t App::AddWindow(BaseRenderWindow* base) {
  if (!base) return -1;
  RenderWindow* window = static_cast<RenderWindow*>(base);
  if (m_windows.Add(window) < 0) return -1;
  // Ids never repeat while the program runs, so a stale id cannot name another owner's window.
  int32_t id = m_nextWindowId++;
  window->SetId(id);
  if (m_inWindowPass)
    m_sortPending = 1;
  else
    SortWindows();
  return id;
}

BaseRenderWindow* NewRenderWindow(const AllocOwner& owner, int32_t instanceCapacity) {
  return TrackedNew<RenderWindow>(owner, instanceCapacity);
}

bool App::IsDeletePending(const RenderWindow* window) const {
  for (int32_t i = 0; i < m_pendingDeletes.GetCount(); ++i)
    if (m_pendingDeletes[i] == window->GetId()) return true;
  return false;
}

void App::ApplyPendingWindowChanges() {
  // Deleting may add nothing new to the list, so the pending ids are taken one by one.
  while (m_pendingDeletes.GetCount() > 0) {
    int32_t id = m_pendingDeletes[m_pendingDeletes.GetCount() - 1];
    m_pendingDeletes.Remove(m_pendingDeletes.GetCount() - 1);
    DeleteWindow(id);
  }
  m_pendingDeletes.Empty();
  if (m_sortPending) {
    m_sortPending = 0;
    SortWindows();
  }
}

void App::SortWindows() {
  bool swapped = true;
  while (swapped) {
    swapped = false;
    for (int32_t i = 0; i + 1 < m_windows.GetCount(); ++i) {
      if (m_windows[i + 1]->GetSortKey() < m_windows[i]->GetSortKey()) {
        RenderWindow* t = m_windows[i];
        m_windows[i] = m_windows[i + 1];
        m_windows[i + 1] = t;
        swapped = true;
      }
    }
  }
}

RenderWindow* App::FindWindow(int32_t id) {
  for (int32_t i = 0; i < m_windows.GetCount(); ++i)
    if (m_windows[i]->GetId() == id) return m_windows[i];
  return nullptr;
}

void App::DeleteWindow(int32_t id) {
  if (m_inWindowPass) {
    // Deleting now could free the window that is running; the pass deletes it when it ends.
    if (m_pendingDeletes.Add(id) < 0) DebugLog().Write("Unable to delete window %i now\n", id);
    return;
  }
  for (int32_t i = 0; i < m_windows.GetCount();) {
    RenderWindow* window = m_windows[i];
    if (window->GetId() != id) {
      ++i;
      continue;
    }
    m_windows.Remove(i);
    TrackedDelete("App::DeleteWindow", window);
  }
}

RenderWindow* App::GetCurrentWindow() {
  if (m_currentWindow < 0 || m_currentWindow >= m_windows.GetCount()) return nullptr;
  return m_windows[m_currentWindow];
}

void App::SetDataDir(const char* text) { SetDataFolder(text); }

const char* App::GetDataDir() { return GetDataFolder(); }

int32_t App::GameMovieSkipCheck(int32_t a, int32_t b) {
  BaseGameApp* game = GetApp().m_game;
  return game ? game->MovieSkipCheck(a, b) : 1;
}

void App::PlayMovie(const char* name) {
  // A movie started over another one would save the first movie's mode as the one to restore
  // and leave its decoder open.
  if (m_moviePlaying) {
    StopMovie(&m_moviePlayer);
    m_moviePlaying = 0;
  }
  m_movieStop = 0;
  m_moviePlaying = BeginMovie(&m_moviePlayer, name);
  m_skipTest = &App::GameMovieSkipCheck;
  m_skipArgs[0] = m_skipArgs[1] = 0;
}

int32_t App::BeginMovie(MoviePlayer* player, const char* name) {
  const char* prefix = GetDataFolder();
  std::snprintf(player->path, sizeof(player->path), "%s%s", prefix ? prefix : "", name ? name : "");
  player->state = 0;
  player->savedWidth = m_display.GetModeWidth();
  player->savedHeight = m_display.GetModeHeight();
  player->savedFormat = static_cast<int32_t>(m_display.GetModeFormat());
  if (player->savedWidth != 640 || player->savedHeight != 480 ||
      player->savedFormat != gfx::D3DFMT_R5G6B5)
    m_display.SetResolution(640, 480, 16);
  return 1;
}

int32_t App::UpdateMovie(MoviePlayer* player) {
  plat::MovieDecoder& decoder = plat::GetMovieDecoder();
  if (player->state == 0) {
    player->state = 1;
    player->movie = decoder.Open(player->path);
    if (!player->movie) {
      DebugLog().Write("%s\n", decoder.LastError());
      return 0;
    }
    player->buffer = player->movie;
    return 1;
  }
  if (!player->movie) return 0;
  if (decoder.FrameDue(player->movie)) {
    if (!decoder.DecodeNextFrame(player->movie)) {
      // A broken movie ends as a finished one does; the log says why.
      const char* why = decoder.LastError();
      if (why && why[0]) DebugLog().Write("%s\n", why);
      return 0;
    }
  }
  decoder.CopyToBackBuffer(player->movie, m_display.GetDevice());
  return 1;
}

void App::StopMovie(MoviePlayer* player) {
  if (player->movie) {
    plat::GetMovieDecoder().Close(player->movie);
    player->movie = nullptr;
  }
  player->buffer = nullptr;
  player->state = 2;
  if (player->savedWidth > 0 && player->savedHeight > 0)
    m_display.SetResolution(player->savedWidth, player->savedHeight,
                            player->savedFormat == gfx::D3DFMT_R5G6B5 ? 16 : 32);
}

int WinMain() {
  App& app = GetApp();
  if (app.InitHardware()) {
    if (app.InitApp()) app.RunLoop(-1);
    app.ShutdownApp();
  }
  // Whatever start-up made (window, lock, devices) is let go once, in order.
  app.ShutdownHardware();
  return 0;
}
