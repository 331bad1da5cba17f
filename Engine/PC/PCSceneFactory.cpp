#include "Engine/PC/PCSceneFactory.h"

#include <climits>
#include <cstring>
#include <new>

#include "Engine/LogFile.h"
#include "Engine/MemoryTracker.h"

SceneFactory::~SceneFactory() { CleanUp(); }

int32_t SceneFactory::CreateScene(const char* name) {
  if (!name) return -1;
  for (int32_t i = 0; i < m_scenes.GetCount(); ++i) {
    if (std::strcmp(m_scenes[i].name, name) == 0) {
      ++m_scenes[i].refCount;
      return m_scenes[i].id;
    }
  }
  // The last id is not given out rather than wrapping round to ids that may be live.
  if (m_nextId == INT32_MAX) return -1;

  Scene* scene = TrackedNew<Scene>("SceneFactory::CreateScene");
  if (!scene || !scene->Load(name)) {
    DebugLog().Write("could not load %s\n", name);
    // A refused load keeps nothing, and the scene object goes with it.
    if (scene) {
      TrackedDelete("SceneFactory::CreateScene", scene);
    }
    return -1;
  }
  const size_t length = std::strlen(name);
  auto* copy = static_cast<char*>(TrackedAlloc("SceneFactory::CreateScene", length + 1));
  if (copy) std::memcpy(copy, name, length + 1);
  const _SceneWrapper wrapper{copy, m_nextId, scene, 1};
  if (!copy || m_scenes.Add(wrapper) < 0) {
    DebugLog().Write("could not load %s\n", name);
    if (copy) TrackedFree("SceneFactory::CreateScene", copy);
    scene->CleanUp();
    TrackedDelete("SceneFactory::CreateScene", scene);
    return -1;
  }
  return m_nextId++;
}

void SceneFactory::Destroy(_SceneWrapper& wrapper, const char* owner) {
  if (wrapper.scene) {
    wrapper.scene->CleanUp();
    TrackedDelete(owner, wrapper.scene);
  }
  if (wrapper.name) TrackedFree(owner, wrapper.name);
  wrapper.scene = nullptr;
  wrapper.name = nullptr;
}

void SceneFactory::DeleteScene(int32_t id) {
  for (int32_t i = 0; i < m_scenes.GetCount(); ++i) {
    _SceneWrapper& wrapper = m_scenes[i];
    if (wrapper.id != id) continue;
    if (wrapper.refCount > 0) --wrapper.refCount;
    if (wrapper.refCount == 0) {
      Destroy(wrapper, "SceneFactory::DeleteScene");
      m_scenes.Remove(i);
    }
    return;
  }
}

bool SceneFactory::DestroyScene(BaseScene* scene) {
  for (int32_t i = 0; i < m_scenes.GetCount(); ++i) {
    if (m_scenes[i].scene != scene) continue;
    // One holder lets go; another that created the same scene keeps it.
    DeleteScene(m_scenes[i].id);
    return true;
  }
  return false;
}

Scene* SceneFactory::FindScene(int32_t id) {
  for (int32_t i = 0; i < m_scenes.GetCount(); ++i)
    if (m_scenes[i].id == id) return m_scenes[i].scene;
  return nullptr;
}

uint32_t SceneFactory::GetRefCount(int32_t id) const {
  for (int32_t i = 0; i < m_scenes.GetCount(); ++i)
    if (m_scenes[i].id == id) return m_scenes[i].refCount;
  return 0;
}

void SceneFactory::CleanUp() {
  while (m_scenes.GetCount() > 0) {
    const int32_t last = m_scenes.GetCount() - 1;
    _SceneWrapper wrapper = m_scenes[last];
    m_scenes.Remove(last);
    Destroy(wrapper, "SceneFactory::CleanUp");
  }
  m_scenes.Empty();
}
