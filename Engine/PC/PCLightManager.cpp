#include "Engine/PC/PCLightManager.h"

#include "Engine/Assert.h"
#include "Engine/MemoryTracker.h"

LightManager::~LightManager() { CleanUp(); }

int32_t LightManager::Init() {
  // A window may be initialised again; the first set of lists would otherwise be lost.
  CleanUp();
  m_lightList = TrackedNew<LinkedList>("LightManager::Init");
  KASSERT(m_lightList != nullptr);
  m_freeNodes = TrackedNew<LinkedList>("LightManager::Init");
  KASSERT(m_freeNodes != nullptr);
  m_pool = TrackedNewArray<LightNode>("LightManager::Init", kPoolSize);
  if (m_pool && m_freeNodes) {
    for (int32_t i = 0; i < kPoolSize; ++i) {
      m_pool[i].light = nullptr;
      m_freeNodes->AddHead(&m_pool[i]);
    }
  }
  m_foundLights.Empty();
  m_activeLights.Empty();
  m_foundCount = 0;
  return 1;
}

void LightManager::Clear() { m_activeLights.Empty(); }

void LightManager::DeleteLights() {
  if (!m_lightList) return;
  while (LinkedListNode* link = m_lightList->RemoveHead()) {
    LightNode* node = static_cast<LightNode*>(link);
    if (node->light) TrackedFree("LightManager::DeleteLights", node->light);
    node->light = nullptr;
    if (m_freeNodes) m_freeNodes->AddHead(node);
  }
}

void LightManager::CleanUp() {
  DeleteLights();
  if (m_pool) TrackedDeleteArray("LightManager::CleanUp", m_pool);
  m_pool = nullptr;
  if (m_lightList) TrackedDelete("LightManager::CleanUp", m_lightList);
  m_lightList = nullptr;
  if (m_freeNodes) TrackedDelete("LightManager::CleanUp", m_freeNodes);
  m_freeNodes = nullptr;
  m_foundLights.Empty();
  m_activeLights.Empty();
  m_foundCount = 0;
}

int32_t LightManager::FindLights(const float* boxMin, const float* boxMax) {
  m_foundCount = 0;
  m_foundLights.Empty();
  if (!m_lightList || !boxMin || !boxMax) return 0;
  for (LinkedListNode* link = m_lightList->head; link; link = link->next) {
    LightInfo* light = static_cast<LightNode*>(link)->light;
    if (!light) continue;
    const float reach = light->range * light->range;
    bool reaches = true;
    for (int axis = 0; axis < 3 && reaches; ++axis) {
      reaches = boxMin[axis] - light->position[axis] <= reach &&
                boxMax[axis] - light->position[axis] >= -reach;
    }
    if (!reaches) continue;
    if (m_foundLights.Add(light) < 0) break;
    ++m_foundCount;
  }
  return m_foundCount;
}

LightInfo* LightManager::GetFoundLight(int32_t i) const {
  if (i < 0 || i >= m_foundLights.GetCount()) return nullptr;
  return m_foundLights[i];
}
