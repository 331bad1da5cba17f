#pragma once
// A render window's point lights: a list of lights carried by nodes from a fixed pool, and the
// query that picks the lights whose range reaches a box. The scene lighting the shaders use comes
// from the window's light record instead; nothing in the program adds a light here, so queries
// find nothing, but the store and its query are kept so that a platform with per-object lights
// has them.

#include <cstdint>

#include "Engine/BaseLightManager.h"
#include "Engine/DataArray.h"
#include "Engine/LinkedList.h"

// A point light. The query reads the position (the three words after the first) and the range
// (the fourteenth word); the words between are the light's own.
struct LightInfo {
  uint32_t type;
  float position[3];
  float other[9];
  float range;
};
static_assert(sizeof(LightInfo) == 14 * 4, "the range is the light record's fourteenth word");

// A pool node: a list link and the light it carries (null while it is free).
struct LightNode : LinkedListNode {
  LightInfo* light = nullptr;
};

class LightManager : public BaseLightManager {
 public:
  static constexpr int32_t kPoolSize = 200;

  LightManager() = default;
  ~LightManager() override;
  LightManager(const LightManager&) = delete;
  LightManager& operator=(const LightManager&) = delete;

  int32_t Init() override;
  void Clear() override;
  // Lights have no way in on this platform: the call does nothing.
  void AddLight(LightInfo*) override {}
  void CleanUp() override;
  int32_t FindLights(const float* boxMin, const float* boxMax) override;
  int32_t GetFoundCount() const override { return m_foundCount; }
  LightInfo* GetFoundLight(int32_t i) const override;

  // Frees every light of the list and gives its node back to the free list.
  void DeleteLights();

  // Inspection.
  int32_t GetLightCount() const { return m_lightList ? m_lightList->GetCount() : 0; }
  int32_t GetFreeNodeCount() const { return m_freeNodes ? m_freeNodes->GetCount() : 0; }
  bool IsInitialised() const { return m_pool != nullptr; }

 private:
  LinkedList* m_lightList = nullptr;
  LinkedList* m_freeNodes = nullptr;
  int32_t m_foundCount = 0;
  DataArray<LightInfo*> m_foundLights{4};
  DataArray<LightInfo*> m_activeLights{4};
  LightNode* m_pool = nullptr;
};
