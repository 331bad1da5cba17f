#pragma once
// The file loader as the rest of the engine sees it. The PC implementation (Engine/PC/PCFileIO.h)
// does the real work through its class-level LoadFile and GetFileSize, which the readers call
// directly; this interface is what a platform's loader object has to answer.

#include <cstdint>

class BaseFileIO {
 public:
  virtual int32_t Init() = 0;
  // Loads `name` (relative to the data folder) into *data (null on failure). With a size address,
  // stores the size there and returns it; without one, returns the data pointer's value.
  virtual intptr_t Load(const char* name, void** data, int32_t* size) = 0;
  // Three hooks for loaders that stream or work in the background; a whole-file loader has
  // nothing to report, nothing to do per call and accepts any option.
  virtual int32_t GetStatus() = 0;
  virtual void Update() = 0;
  virtual int32_t SetOption(int32_t value) = 0;
  // Releases a block that Load returned.
  virtual void FreeFileMemory(void* block) = 0;

 protected:
  // Loaders are global objects that live for the whole run; nobody deletes one through this
  // interface.
  ~BaseFileIO() = default;
};
