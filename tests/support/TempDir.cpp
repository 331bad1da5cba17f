#include "tests/support/TempDir.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/support/ByteWriter.h"

ScopedTempDir::ScopedTempDir() {
  char cwd[PATH_MAX];
  if (getcwd(cwd, sizeof(cwd))) m_previous = cwd;
  std::string pattern = (std::filesystem::temp_directory_path() / "pendrake-XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    ADD_FAILURE() << "mkdtemp failed";
    return;
  }
  m_path = pattern;
  if (chdir(m_path.c_str()) != 0) ADD_FAILURE() << "chdir " << m_path;
  // The single-instance lock lives in the user's runtime folder: each test gets its own, so that
  // tests running side by side (or a copy of the game the developer is playing) do not meet.
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR")) m_previousRuntime = runtime;
  setenv("XDG_RUNTIME_DIR", m_path.c_str(), 1);
}

ScopedTempDir::~ScopedTempDir() {
  if (m_previousRuntime.empty()) {
    unsetenv("XDG_RUNTIME_DIR");
  } else {
    setenv("XDG_RUNTIME_DIR", m_previousRuntime.c_str(), 1);
  }
  if (!m_previous.empty() && chdir(m_previous.c_str()) != 0) ADD_FAILURE() << "chdir back";
  if (!m_path.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
}

void WriteFileBytes(const std::string& path, const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  bytewriter::SaveBytes(path, std::vector<uint8_t>(bytes, bytes + size));
}

void WriteFileText(const std::string& path, const std::string& text) {
  WriteFileBytes(path, text.data(), text.size());
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
