#pragma once
// The point-light store of a render window as the engine sees it. The PC implementation is
// `LightManager` (Engine/PC/PCLightManager.h).

#include <cstdint>

struct LightInfo;

class BaseLightManager {
 public:
  virtual ~BaseLightManager() = default;

  // Makes the lists and the node pool; 1.
  virtual int32_t Init() = 0;
  // Forgets the lights picked for the current draw.
  virtual void Clear() = 0;
  // Hands a light to the manager.
  virtual void AddLight(LightInfo* light) = 0;
  // Frees the lights, the pool and the lists; harmless on a manager that was never initialised.
  virtual void CleanUp() = 0;
  // Collects the lights whose range reaches the box from `boxMin` to `boxMax` (x, y, z of each);
  // the number found.
  virtual int32_t FindLights(const float* boxMin, const float* boxMax) = 0;
  virtual int32_t GetFoundCount() const = 0;
  // The i-th light of the last query, or null past the count.
  virtual LightInfo* GetFoundLight(int32_t i) const = 0;
};
