#pragma once
// The scene registry as the games see it: scenes loaded by ".scn" file name, shared and counted
// under an id. The PC implementation is `SceneFactory` (Engine/PC/PCSceneFactory.h).

#include <cstdint>

#include "Engine/Factory.h"

class BaseScene;

class BaseSceneFactory : public Factory {
 public:
  // The id of the scene, or -1 when the file is missing or refused. Creating a name that is
  // loaded already only counts one more user.
  virtual int32_t CreateScene(const char* name) = 0;
  // Drops one user of the id; the last one frees the scene. Unknown ids change nothing.
  virtual void DeleteScene(int32_t id) = 0;
  // The scene with that id, or null.
  virtual BaseScene* FindScene(int32_t id) = 0;
};
