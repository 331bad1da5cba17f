#pragma once
// The geometry registry as the rest of the engine sees it: ".geo" files loaded once by name,
// shared by handle (the asset identifier of the name) and counted, each with the container of
// drawable meshes built from it and, for characters, the skeleton block a `Skeleton` works on.
// The PC implementation is `NodeFactory` (Engine/PC/PCNodeFactory.h).

#include <cstdint>

#include "Engine/Factory.h"

class NodeContainer;
class Skeleton;

class BaseNodeFactory : public Factory {
 public:
  // The handle of the file, or -1 when it is missing, empty or refused. Adding a name that is
  // loaded already only counts one more user.
  virtual int32_t Add(const char* name) = 0;
  // Drops one user of the handle; the last one frees the file and everything built from it.
  virtual void DeleteNode(int32_t handle) = 0;
  // The handle's container, or null.
  virtual NodeContainer* GetContainer(int32_t handle) = 0;
  // A new skeleton on the file's skeleton block (the caller owns it and must delete it before
  // the file's last DeleteNode), or null when the file has none.
  virtual Skeleton* MakeSkeleton(int32_t handle) = 0;
};
