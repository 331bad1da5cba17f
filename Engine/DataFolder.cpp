#include "Engine/DataFolder.h"

#include <cstring>

#include "Engine/MemoryTracker.h"

namespace {
char* s_prefix = nullptr;
}

const char* GetDataFolder() { return s_prefix; }

void SetDataFolder(const char* prefix, const char* owner) {
  // Copy before releasing: the caller may pass the current prefix itself.
  char* copy = nullptr;
  if (prefix) {
    size_t n = std::strlen(prefix) + 1;
    copy = static_cast<char*>(TrackedAlloc(owner, n));
    if (!copy) return;
    std::memcpy(copy, prefix, n);
  }
  if (s_prefix) TrackedFree(owner, s_prefix);
  s_prefix = copy;
}
