#pragma once
// Backdrops (full-window pictures behind a render window) as the game side sees them.

#include <cstdint>

class BaseBackDropFactory {
 public:
  virtual ~BaseBackDropFactory() = default;
  // The handle of the backdrop's texture, or -1.
  virtual int32_t Load(const char* name) = 0;
  virtual void Delete(int32_t handle) = 0;
  // Two hooks that a platform with its own backdrop storage would need; the PC has none.
  virtual void Hook2(int32_t value) = 0;
  virtual void Hook3(int32_t value) = 0;
};
