#pragma once
// The platform-neutral part of the application object: what every platform shares, and the
// operations through which portable engine code reaches the application's services (display,
// registries, render windows, frame time, data folder). Portable code gets the application from
// GetBaseApp() and needs nothing of the platform's own classes.

#include <cstdint>

#include "Engine/BackDropFactory.h"
#include "Engine/Random.h"

class BaseAnimFactory;
class BaseDisplay;
class BaseFontFactory;
class BaseNodeFactory;
class BaseParticleFactory;
class BaseRenderWindow;
class BaseSceneFactory;
class BaseTexture;
class FrameTimer;

class BaseApp {
 public:
  virtual ~BaseApp() = default;
  BaseApp(const BaseApp&) = delete;
  BaseApp& operator=(const BaseApp&) = delete;

  virtual int32_t InitHardware() = 0;
  virtual void ShutdownHardware() = 0;
  virtual int32_t InitApp() = 0;
  virtual void Update() = 0;
  virtual void ShutdownApp() = 0;
  virtual void DeleteWindow(int32_t id) = 0;
  virtual BaseRenderWindow* FindWindow(int32_t id) = 0;
  // The application owns the window from here on. Returns the id to find and delete it by, or
  // -1 when it could not be added.
  virtual int32_t AddWindow(BaseRenderWindow* window) = 0;
  virtual void SetDataDir(const char* text) = 0;
  virtual BaseTexture* GetTexture() = 0;
  virtual FrameTimer* GetTimer() = 0;
  virtual BaseNodeFactory* GetNodeFactory() = 0;
  virtual BaseAnimFactory* GetAnimFactory() = 0;
  // Font and scene registries are common to every platform, but their classes are the
  // platform's, so the platform's application object holds them.
  virtual BaseFontFactory* GetFontFactory() = 0;
  virtual BaseSceneFactory* GetSceneFactory() = 0;
  virtual BaseRenderWindow* GetCurrentWindow() = 0;
  virtual void Unused16(int32_t) {}
  virtual BaseDisplay* GetDisplay() = 0;
  virtual void SetExitFlag(int32_t value) = 0;
  virtual int32_t GetWindowCount() = 0;
  virtual float GetTimeStep() = 0;
  virtual int32_t GetFrameRate() = 0;
  virtual int32_t GetFramesElapsed() = 0;
  virtual const char* GetDataDir() = 0;
  virtual float GetAspectRatio() = 0;
  virtual int32_t GetWidth() = 0;
  virtual int32_t GetHeight() = 0;

  int32_t GetTargetFrameRate() const { return m_targetFrameRate; }
  int32_t GetPause() const { return m_pause; }
  void SetPause(int32_t pause) { m_pause = pause; }
  BaseParticleFactory* GetParticleFactory() { return m_particleFactory; }
  BackDropFactory* GetBackDropFactory() { return &m_backDrop; }

  // The one random generator of the program (two-player games compare it between machines).
  uint32_t GetRandSeed() const { return GlobalRandom().GetSeed(); }
  uint32_t GetRandCount() const { return GlobalRandom().GetRandCount(); }
  void SeedRand(uint32_t value) { GlobalRandom().SeedRand(value); }

 protected:
  // The platform's particle registry, a member of the platform's application object.
  explicit BaseApp(BaseParticleFactory* particleFactory) : m_particleFactory(particleFactory) {}

  int32_t m_targetFrameRate = 0;
  int32_t m_pause = 0;

 private:
  BaseParticleFactory* m_particleFactory;
  BackDropFactory m_backDrop;
};

// The program's one application object.
BaseApp& GetBaseApp();
