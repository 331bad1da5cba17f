#pragma once
// The application's animations, loaded from ".anm" files by name. Adding a name that is loaded
// raises its reference count and returns the same id; the delete that brings the count to 0
// frees the animation and its file image.
//
// An id is the entry count at the time of adding, unless an entry still carries that number
// (an earlier entry was deleted); then it is one more than the largest id held, so that no two
// entries ever carry the same id.

#include <cstdint>

#include "Engine/BaseAnimFactory.h"
#include "Engine/DataArray.h"
#include "Engine/PC/PCAnimation.h"

class AnimFactory : public BaseAnimFactory {
 public:
  struct AnimContainer {
    int32_t id;
    Animation* animation;  // owned, with the file image it stands on
    char* name;            // owned copy of the name given to AddAnim
    int32_t refCount;
  };

  AnimFactory() = default;
  ~AnimFactory() override;
  AnimFactory(const AnimFactory&) = delete;
  AnimFactory& operator=(const AnimFactory&) = delete;

  // A missing file, or one whose contents do not check out, gives -1 with a log line and leaves
  // nothing behind.
  int32_t AddAnim(const char* name) override;
  void DeleteAnim(int32_t id) override;
  // -1 gives null quietly; any other id the factory does not hold logs "Unable to find Anim %i".
  Animation* FindAnim(int32_t id) override;

  virtual int32_t Init();
  // Frees every animation whatever its count (the application's shutdown).
  virtual void CleanUp();

  int32_t GetCount() const { return m_anims.GetCount(); }
  // The reference count of the id, 0 when it is not held.
  int32_t GetRefCount(int32_t id) const;

 private:
  int32_t FindIndex(int32_t id) const;
  int32_t NextId() const;
  static void Destroy(AnimContainer& entry, const char* owner);

  DataArray<AnimContainer> m_anims{16};
};
