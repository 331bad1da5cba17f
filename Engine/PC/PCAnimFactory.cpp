#include "Engine/PC/PCAnimFactory.h"

#include <cstring>
#include <new>

#include "Engine/LogFile.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCFileIO.h"

AnimFactory::~AnimFactory() { CleanUp(); }

int32_t AnimFactory::Init() {
  // A second start (the application is started again) must not drop what the first one loaded
  // without freeing it.
  CleanUp();
  return 1;
}

int32_t AnimFactory::FindIndex(int32_t id) const {
  for (int32_t i = 0; i < m_anims.GetCount(); ++i)
    if (m_anims[i].id == id) return i;
  return -1;
}

int32_t AnimFactory::NextId() const {
  const int32_t count = m_anims.GetCount();
  if (FindIndex(count) < 0) return count;
  int32_t highest = count;
  for (int32_t i = 0; i < count; ++i)
    if (m_anims[i].id > highest) highest = m_anims[i].id;
  return highest == INT32_MAX ? -1 : highest + 1;
}

int32_t AnimFactory::GetRefCount(int32_t id) const {
  const int32_t i = FindIndex(id);
  return i < 0 ? 0 : m_anims[i].refCount;
}

int32_t AnimFactory::AddAnim(const char* name) {
  if (!name) return -1;
  for (int32_t i = 0; i < m_anims.GetCount(); ++i) {
    if (std::strcmp(m_anims[i].name, name) == 0) {
      ++m_anims[i].refCount;
      return m_anims[i].id;
    }
  }

  const int32_t id = NextId();
  if (id < 0) return -1;
  // Until the animation is registered, whatever was made goes again (newest first) on return.
  const char* const owner = "AnimFactory::AddAnim";
  int32_t size = 0;
  OwnedBlock<> image = AdoptBlock(owner, FileIO::LoadFile(name, &size));
  if (!image) return -1;

  OwnedPtr<Animation> animation = Owned<Animation>(owner, image.get(), size_t(size), name);
  const size_t length = std::strlen(name);
  OwnedBlock<char> copy = OwnedAlloc<char>(owner, length + 1);
  const bool loaded = animation && animation->IsValid();
  if (!loaded) DebugLog().Write("Unable to load Anim %s\n", name);
  if (!loaded || !copy || m_anims.Add(AnimContainer{id, animation.get(), copy.get(), 1}) < 0) {
    if (loaded) DebugLog().Write("Unable to register Anim %s\n", name);
    return -1;
  }
  std::memset(copy.get(), 0, length + 1);
  std::memcpy(copy.get(), name, length);
  // The list holds them now; Destroy frees them.
  image.release();
  animation.release();
  copy.release();
  return id;
}

void AnimFactory::Destroy(AnimContainer& entry, const char* owner) {
  if (entry.name) TrackedFree(owner, entry.name);
  entry.name = nullptr;
  if (entry.animation) {
    // The animation goes before its image, which it only points into.
    void* image = entry.animation->GetImage();
    TrackedDelete(owner, entry.animation);
    entry.animation = nullptr;
    if (image) TrackedFree(owner, image);
  }
}

void AnimFactory::DeleteAnim(int32_t id) {
  const int32_t i = FindIndex(id);
  if (i < 0) return;
  if (--m_anims[i].refCount > 0) return;
  Destroy(m_anims[i], "AnimFactory::DeleteAnim");
  // Later entries move down one place and keep their ids.
  m_anims.Remove(i);
}

Animation* AnimFactory::FindAnim(int32_t id) {
  if (id == -1) return nullptr;
  if (id >= 0 && id < m_anims.GetCount() && m_anims[id].id == id) return m_anims[id].animation;
  const int32_t i = FindIndex(id);
  if (i >= 0 && m_anims[i].animation) return m_anims[i].animation;
  DebugLog().Write("Unable to find Anim %i\n", id);
  return nullptr;
}

void AnimFactory::CleanUp() {
  for (int32_t i = 0; i < m_anims.GetCount(); ++i) Destroy(m_anims[i], "AnimFactory::CleanUp");
  m_anims.Empty();
}
