#include "Engine/PC/PCFileIO.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "Engine/DataFolder.h"
#include "Engine/LogFile.h"
#include "Engine/MemoryTracker.h"
#include "Platform/System/HostPath.h"

namespace {

constinit FileIO g_fileIO;

const char kSizeOwner[] = "FileIO::GetFileSize";
const char kLoadOwner[] = "FileIO::LoadFile";
const char kFreeOwner[] = "FileIO::FreeFileMemory";

// The data-folder prefix and the name joined with no separator (the prefix carries its own), in
// a tracked block that names `owner`. Null when no block is available.
char* JoinPath(const char* name, const char* owner) {
  const char* prefix = GetDataFolder();
  size_t prefixLength = prefix ? std::strlen(prefix) : 0;
  size_t nameLength = std::strlen(name);
  auto* path = static_cast<char*>(TrackedAlloc(owner, prefixLength + nameLength + 1));
  if (!path) {
    DebugLog().Write("Unable to allocate %i for %s\n", static_cast<int>(prefixLength + nameLength + 1),
                     name);
    return nullptr;
  }
  if (prefixLength) std::memcpy(path, prefix, prefixLength);
  std::memcpy(path + prefixLength, name, nameLength + 1);
  return path;
}

void Release(void* block, const char* owner) { TrackedFree(owner, block); }

// Opens a program path for binary reading. Only plain files count: Linux lets a folder be opened
// (where Windows refuses), and a named pipe would block the thread until someone writes to it.
FILE* OpenPlainFile(const char* programPath) {
  std::string host = HostPath(programPath);
  struct stat st;
  if (stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  return std::fopen(host.c_str(), "rb");
}

}  // namespace

FileIO& GlobalFileIO() { return g_fileIO; }

int32_t FileIO::GetFileSize(const char* name) {
  if (!name) name = "";
  char* path = JoinPath(name, kSizeOwner);
  if (!path) return 0;
  FILE* fp = OpenPlainFile(path);
  off_t size = -1;
  if (fp) {
    if (fseeko(fp, 0, SEEK_END) == 0) size = ftello(fp);
    std::fclose(fp);
  }
  Release(path, kSizeOwner);
  if (size < 0) {
    DebugLog().Write("Unable to find file %s\n", name);
    return 0;
  }
  // Sizes travel as signed 32-bit values everywhere (blocks, offsets in images), so a larger file
  // cannot be described, let alone loaded.
  if (size > INT32_MAX) {
    DebugLog().Write("File too large to load %s (%lld bytes)\n", name,
                     static_cast<long long>(size));
    return 0;
  }
  return static_cast<int32_t>(size);
}

void* FileIO::LoadFile(const char* name, int32_t* sizeOut) {
  if (sizeOut) *sizeOut = 0;
  if (!name) name = "";
  int32_t size = GetFileSize(name);
  if (size == 0) {
    DebugLog().Write("Unable to find load %s\n", name);
    return nullptr;
  }
  char* path = JoinPath(name, kLoadOwner);
  if (!path) return nullptr;
  void* data = TrackedAlloc(kLoadOwner, static_cast<size_t>(size));
  if (!data) {
    DebugLog().Write("Unable to allocate %i for %s\n", size, name);
    Release(path, kLoadOwner);
    return nullptr;
  }
  FILE* fp = OpenPlainFile(path);
  if (!fp) {
    DebugLog().Write("Unable to open file %s\n", path);
    Release(path, kLoadOwner);
    Release(data, kLoadOwner);
    return nullptr;
  }
  size_t got = std::fread(data, 1, static_cast<size_t>(size), fp);
  std::fclose(fp);
  if (got != static_cast<size_t>(size)) {
    // A partly filled block would hand the readers offsets and counts that point into the
    // allocator's fill pattern; nothing is better than that.
    DebugLog().Write("File read returned bad size. %s\n", path);
    Release(path, kLoadOwner);
    Release(data, kLoadOwner);
    return nullptr;
  }
  Release(path, kLoadOwner);
  if (sizeOut) *sizeOut = size;
  return data;
}

intptr_t FileIO::Load(const char* name, void** data, int32_t* size) {
  // The size comes from the same load as the block, so the two always agree (0 with null).
  int32_t loaded = 0;
  void* block = LoadFile(name, &loaded);
  if (data) {
    *data = block;
  } else if (block) {
    Release(block, kLoadOwner);
    block = nullptr;
    loaded = 0;
  }
  if (size) {
    *size = loaded;
    return loaded;
  }
  return reinterpret_cast<intptr_t>(block);
}

void FileIO::FreeFileMemory(void* block) { TrackedFree(kFreeOwner, block); }
