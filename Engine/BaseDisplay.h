#pragma once
// The platform-neutral display interface: the one object that owns the graphics device.

#include <cstdint>

class BaseDisplay {
 public:
  virtual ~BaseDisplay() = default;
  virtual void Reserved0() {}
  virtual void CleanUp() = 0;
  virtual void Reserved2(int32_t, int32_t) {}
  virtual int32_t Init() = 0;
  virtual int32_t BeginScene() = 0;
  virtual int32_t EndScene() = 0;
  virtual int32_t Present() = 0;
};
