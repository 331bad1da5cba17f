#pragma once
// The application's scenes, loaded by ".scn" file name and shared under an id: creating a name
// that is loaded already counts one more user, and the last DeleteScene frees the scene.
//
// Ids are never given out twice while the program runs, so a deleted scene's id cannot come to
// name another scene.

#include <cstdint>

#include "Engine/BaseSceneFactory.h"
#include "Engine/DataArray.h"
#include "Engine/PC/PCScene.h"

struct _SceneWrapper {
  char* name;  // owned copy of the file name
  int32_t id;
  Scene* scene;
  uint32_t refCount;
};

class SceneFactory : public BaseSceneFactory {
 public:
  static constexpr int32_t kGrowBy = 16;

  SceneFactory() = default;
  ~SceneFactory() override;
  SceneFactory(const SceneFactory&) = delete;
  SceneFactory& operator=(const SceneFactory&) = delete;

  // The id of the scene loaded from `name` (relative to the data folder), or -1 with the log line
  // "could not load <name>" when it is missing or refused.
  int32_t CreateScene(const char* name) override;
  void DeleteScene(int32_t id) override;
  Scene* FindScene(int32_t id) override;
  // Drops one reference to a registered scene (a window deleting its scene), freeing it at the
  // last; false when the scene is not one of the factory's.
  bool DestroyScene(BaseScene* scene);

  // Cleans up and frees every scene still registered, whatever its count (the application's
  // shutdown, while the registries the scenes give back to still exist).
  void CleanUp();

  int32_t GetCount() const { return m_scenes.GetCount(); }
  // The users of a scene (0 for an unknown id).
  uint32_t GetRefCount(int32_t id) const;

 private:
  void Destroy(_SceneWrapper& wrapper, const char* owner);

  DataArray<_SceneWrapper> m_scenes{kGrowBy};
  int32_t m_nextId = 0;
};
