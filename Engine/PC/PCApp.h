#pragma once
// The one application object: the window and its events, the display, the input devices, the
// frame timer, the render windows, the data-folder prefix, the movie player and the game side.
// WinMain drives it: InitHardware, InitApp, the loop of Update, ShutdownApp, ShutdownHardware.

#include <cstdint>

#include "Engine/BaseApp.h"
#include "Engine/BaseGameApp.h"
#include "Engine/DataArray.h"
#include "Engine/LogFile.h"
#include "Engine/PC/PCDisplay.h"
#include "Engine/PC/PCAnimFactory.h"
#include "Engine/PC/PCFontFactory.h"
#include "Engine/PC/PCFrameTimer.h"
#include "Engine/PC/PCKeyboard.h"
#include "Engine/PC/PCNodeFactory.h"
#include "Engine/PC/PCParticleFactory.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Engine/PC/PCSceneFactory.h"
#include "Engine/PC/PCTexture.h"
#include "Platform/Input/Input.h"
#include "Platform/System/System.h"

// The movie player's record, kept inside the application object.
struct MoviePlayer {
  static constexpr int32_t kPathSize = 256;
  char path[kPathSize] = {};
  void* movie = nullptr;
  void* buffer = nullptr;
  // 2 idle or ended, 0 begun, 1 open.
  int32_t state = 2;
  int32_t savedWidth = 0;
  int32_t savedHeight = 0;
  int32_t savedFormat = 0;
};

using MovieSkipTest = int32_t (*)(int32_t, int32_t);

class App : public BaseApp {
 public:
  App();
  ~App() override;
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  int32_t InitHardware() override;
  void ShutdownHardware() override;
  int32_t InitApp() override;
  void Update() override;
  void ShutdownApp() override;
  void DeleteWindow(int32_t id) override;
  RenderWindow* FindWindow(int32_t id) override;
  // Every window on the PC is a RenderWindow.
  int32_t AddWindow(BaseRenderWindow* window) override;
  void SetDataDir(const char* text) override;
  Texture* GetTexture() override { return &m_texture; }
  FrameTimer* GetTimer() override { return &m_timer; }
  NodeFactory* GetNodeFactory() override { return &m_nodeFactory; }
  AnimFactory* GetAnimFactory() override { return &m_animFactory; }
  FontFactory* GetFontFactory() override { return &m_fontFactory; }
  SceneFactory* GetSceneFactory() override { return &m_sceneFactory; }
  RenderWindow* GetCurrentWindow() override;
  Display* GetDisplay() override { return &m_display; }
  void SetExitFlag(int32_t value) override { m_exit = value; }
  int32_t GetWindowCount() override { return m_windows.GetCount(); }
  // The window at a position of the list (sort order), or null.
  RenderWindow* GetWindowAt(int32_t index) {
    return index >= 0 && index < m_windows.GetCount() ? m_windows[index] : nullptr;
  }
  float GetTimeStep() override { return m_timer.GetTimeStep(); }
  int32_t GetFrameRate() override { return m_timer.GetFrameRate(); }
  int32_t GetFramesElapsed() override { return m_timer.GetFramesElapsed(); }
  const char* GetDataDir() override;
  float GetAspectRatio() override { return 1.3333334f; }
  int32_t GetWidth() override { return m_clientWidth; }
  int32_t GetHeight() override { return m_clientHeight; }
  virtual Mouse* GetMouse() { return &m_mouse; }
  // Four values kept for the game side; nothing in the engine reads them.
  virtual int32_t GetValue3() { return m_values[3]; }
  virtual int32_t GetValue2() { return m_values[2]; }
  virtual int32_t GetValue1() { return m_values[1]; }
  virtual int32_t GetValue0() { return m_values[0]; }
  virtual void SetValue3(int32_t value) { m_values[3] = value; }
  virtual void SetValue2(int32_t value) { m_values[2] = value; }
  virtual void SetValue1(int32_t value) { m_values[1] = value; }
  virtual void SetValue0(int32_t value) { m_values[0] = value; }

  // The registry's own class, for the PC code that needs more than the shared interface.
  ParticleFactory* GetParticleFactory() { return &m_particleFactory; }
  Keyboard* GetKeyboard() { return &m_keyboard; }
  LogFile* GetLog() { return &DebugLog(); }
  plat::DirectInput* GetDirectInput() { return m_directInput; }
  plat::WindowHandle GetWindowHandle() const { return m_window; }

  int32_t IsActive() const { return m_active; }
  void SetActive(int32_t active) { m_active = active; }
  int32_t IsMinimised() const { return m_minimised; }
  void SetMinimised(int32_t minimised) { m_minimised = minimised; }
  int32_t IsRunning() const { return m_exit == 0; }
  int32_t GetExitFlag() const { return m_exit; }
  void SetClientSize(int32_t width, int32_t height) {
    m_clientWidth = width;
    m_clientHeight = height;
  }
  int32_t GetCurrentWindowIndex() const { return m_currentWindow; }

  // Bubble-sorts the windows by sort key; equal keys keep their order of addition.
  void SortWindows();
  // Deletes every window and shuts the hardware down.
  void ExitApp();

  // The window procedure: one case per row of the message table. Returns the handler's result.
  int32_t HandleWindowEvent(const plat::WindowEvent& event);

  // Movies.
  void PlayMovie(const char* name);
  int32_t BeginMovie(MoviePlayer* player, const char* name);
  int32_t UpdateMovie(MoviePlayer* player);
  void StopMovie(MoviePlayer* player);
  MoviePlayer* GetMoviePlayer() { return &m_moviePlayer; }
  int32_t IsMoviePlaying() const { return m_moviePlaying; }
  int32_t GetMovieState() const { return m_moviePlayer.state; }

  // The game side registers how its application object is made; InitApp makes it.
  void SetGameFactory(GameAppFactory factory) { m_gameFactory = factory; }
  BaseGameApp* GetGameApp() { return m_game; }

  // The message loop of WinMain. With maxFrames >= 0 it also ends after that many frames have
  // been run (the test harness); -1 runs until the program is told to end.
  void RunLoop(int32_t maxFrames = -1);
  // Frames run by Update since InitApp.
  int64_t GetFramesRun() const { return m_framesRun; }

  // Restores the freshly constructed state (tests start the application many times).
  void ResetForTests();

 private:
  int32_t CreateAppWindow();
  void DestroyWindows(const char* owner);
  bool IsDeletePending(const RenderWindow* window) const;
  void ApplyPendingWindowChanges();
  static int32_t GameMovieSkipCheck(int32_t a, int32_t b);

  plat::WindowHandle m_window = nullptr;
  Keyboard m_keyboard;
  plat::DirectInput* m_directInput = nullptr;
  int32_t m_windowX = 0;
  int32_t m_windowY = 0;
  MoviePlayer m_moviePlayer;
  int32_t m_moviePlaying = 0;
  int32_t m_movieStop = 0;
  int32_t m_desktopWidth = 0;
  int32_t m_desktopHeight = 0;
  int32_t m_desktopBits = 0;
  int32_t m_clientWidth = 640;
  int32_t m_clientHeight = 480;
  int32_t m_minimised = 0;
  int32_t m_active = 0;
  MovieSkipTest m_skipTest = nullptr;
  int32_t m_skipArgs[2] = {};
  int32_t m_currentWindow = 0;
  DataArray<RenderWindow*> m_windows{4};
  int32_t m_nextWindowId = 0;
  int32_t m_inWindowPass = 0;
  int32_t m_sortPending = 0;
  DataArray<int32_t> m_pendingDeletes;
  Display m_display;
  // Declared after the display so that it goes first: its textures are the display device's.
  Texture m_texture;
  // After the texture registry, so that it goes first: its meshes hold textures.
  NodeFactory m_nodeFactory;
  // After the texture registry, so that it goes first: fonts let go of their page textures.
  FontFactory m_fontFactory;
  // Animations hold nothing but their file images.
  AnimFactory m_animFactory;
  // Templates hold nothing of the device; particle systems copy what they need of them.
  ParticleFactory m_particleFactory;
  // After the registries its scenes give back to, so that it goes first.
  SceneFactory m_sceneFactory;
  BaseGameApp* m_game = nullptr;
  GameAppFactory m_gameFactory = nullptr;
  int32_t m_exit = 0;
  FrameTimer m_timer;
  Mouse m_mouse;
  int32_t m_values[4] = {};
  int32_t m_instanceLocked = 0;
  int64_t m_framesRun = 0;
};

// The application object of the program.
App& GetApp();

// The program's entry: 0 in every case.
int WinMain();
