#pragma once
// The platform-neutral part of the application object: what every platform shares.

#include <cstdint>

#include "Engine/Random.h"

class RenderWindow;
class FrameTimer;
class BaseDisplay;

class BaseApp {
 public:
  virtual ~BaseApp() = default;

  virtual int32_t InitHardware() = 0;
  virtual void ShutdownHardware() = 0;
  virtual int32_t InitApp() = 0;
  virtual void Update() = 0;
  virtual void ShutdownApp() = 0;
  virtual void DeleteWindow(int32_t id) = 0;
  virtual RenderWindow* FindWindow(int32_t id) = 0;
  virtual int32_t AddWindow(RenderWindow* window) = 0;
  virtual void SetDataDir(const char* text) = 0;
  virtual FrameTimer* GetTimer() = 0;
  virtual RenderWindow* GetCurrentWindow() = 0;
  virtual void Unused16(int32_t) {}
  virtual BaseDisplay* GetBaseDisplay() = 0;
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

  // The one random generator of the program (two-player games compare it between machines).
  uint32_t GetRandSeed() const { return GlobalRandom().GetSeed(); }
  uint32_t GetRandCount() const { return GlobalRandom().GetRandCount(); }
  void SeedRand(uint32_t value) { GlobalRandom().SeedRand(value); }

 protected:
  int32_t m_targetFrameRate = 0;
  int32_t m_pause = 0;
};
