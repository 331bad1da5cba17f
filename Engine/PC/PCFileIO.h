#pragma once
// Whole-file loading on the PC: a file named relative to the data folder ("data\Frontend\" +
// "menu.wft") is read into one block from the tracked allocator. The caller owns the block and
// parses it in place (Engine/FileImage.h gives the bounds-checked view for that).
//
// Every failure writes one line to the debug log and gives a null block (or size 0). A block is
// only ever handed out complete: a read that comes back short is a failure.

#include <cstdint>

#include "Engine/BaseFileIO.h"

class FileIO final : public BaseFileIO {
 public:
  constexpr FileIO() = default;

  int32_t Init() override { return 1; }
  intptr_t Load(const char* name, void** data, int32_t* size) override;
  int32_t GetStatus() override { return 0; }
  void Update() override {}
  int32_t SetOption(int32_t) override { return 1; }
  // Releases a block from LoadFile or Load (null is ignored).
  void FreeFileMemory(void* block) override;

  // Size in bytes of the file, 0 when it cannot be opened, is not a plain file, or is larger than
  // a 32-bit size can describe.
  static int32_t GetFileSize(const char* name);

  // The whole file in a new tracked block (owner "FileIO::LoadFile"), or null when the file is
  // missing, empty, unreadable or too large. When `sizeOut` is given it receives the block's size
  // (0 on failure): readers check every offset in the image against it.
  static void* LoadFile(const char* name, int32_t* sizeOut = nullptr);
};

// The program's one loader object.
FileIO& GlobalFileIO();
