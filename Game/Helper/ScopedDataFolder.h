#pragma once
// Loads from a folder of its own without disturbing the data folder a game has set: the prefix
// is changed for the scope's life and put back after.

#include <string>

#include "Engine/DataFolder.h"

class ScopedDataFolder {
 public:
  ScopedDataFolder(const char* folder, const char* owner) {
    // A copy: the folder's own text is replaced by the next SetDataFolder.
    const char* current = GetDataFolder();
    m_hadFolder = current != nullptr;
    if (current) m_previous = current;
    SetDataFolder(folder, owner);
  }
  // The folder put back outlives the scope: it is the application's again, not the owner's, so
  // a game that made the scope does not appear to keep a block after it has gone.
  ~ScopedDataFolder() { SetDataFolder(m_hadFolder ? m_previous.c_str() : nullptr); }
  ScopedDataFolder(const ScopedDataFolder&) = delete;
  ScopedDataFolder& operator=(const ScopedDataFolder&) = delete;

 private:
  std::string m_previous;
  bool m_hadFolder = false;
};
