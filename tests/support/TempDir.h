#pragma once
// A fresh temporary working folder for one test: created and entered on construction, left and
// removed on destruction. Everything the engine writes to its working folder ("Debug.log",
// "memory.log", "pdjp.cfg") lands there, and it stands in for the user's runtime folder, where
// the single-instance lock lives.

#include <gtest/gtest.h>

#include <string>

class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
  std::string m_previous;
  std::string m_previousRuntime;
};

// Writes bytes to a file (relative to the working folder), creating folders as needed.
void WriteFileBytes(const std::string& path, const void* data, size_t size);
void WriteFileText(const std::string& path, const std::string& text);
std::string ReadFileBytes(const std::string& path);

// A test fixture that runs each test in its own temporary folder.
class TempDirTest : public ::testing::Test {
 protected:
  ScopedTempDir m_tempDir;
};
