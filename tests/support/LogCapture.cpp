#include "tests/support/LogCapture.h"

#include "Engine/Assert.h"
#include "tests/support/TempDir.h"

namespace {
unsigned s_count = 0;
std::string s_lastFile;
int s_lastLine = 0;
AssertHook s_previous = nullptr;

void Hook(const char* /*expression*/, const char* file, int line) {
  ++s_count;
  s_lastFile = file ? file : "";
  s_lastLine = line;
}

bool FileContains(const std::string& path, const std::string& text) {
  for (const std::string& line : ReadCrLfLines(path))
    if (line.find(text) != std::string::npos) return true;
  return false;
}
}  // namespace

std::vector<std::string> ReadCrLfLines(const std::string& path) {
  std::string all = ReadFileBytes(path);
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    size_t end = all.find("\r\n", start);
    if (end == std::string::npos) {
      if (start < all.size()) lines.push_back(all.substr(start));
      break;
    }
    lines.push_back(all.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

bool DebugLogContains(const std::string& text) { return FileContains("Debug.log", text); }
bool MemoryLogContains(const std::string& text) { return FileContains("memory.log", text); }

AssertCounter::AssertCounter() {
  s_count = 0;
  s_lastFile.clear();
  s_lastLine = 0;
  s_previous = SetAssertHook(&Hook);
}
AssertCounter::~AssertCounter() { SetAssertHook(s_previous); }
unsigned AssertCounter::Count() const { return s_count; }
const std::string& AssertCounter::LastFile() const { return s_lastFile; }
int AssertCounter::LastLine() const { return s_lastLine; }
