#pragma once
// The animation registry as the rest of the engine sees it: animations loaded by file name,
// shared by reference count and handed out by integer id (-1 for none).

#include <cstdint>

#include "Engine/Factory.h"

class BaseAnimation;

class BaseAnimFactory : public Factory {
 public:
  // The id of the animation loaded from the file (relative to the data folder), or -1.
  virtual int32_t AddAnim(const char* name) = 0;
  // Lowers the animation's count and frees it at 0; an id that names nothing does nothing.
  virtual void DeleteAnim(int32_t id) = 0;
  // The animation, or null.
  virtual BaseAnimation* FindAnim(int32_t id) = 0;
};
