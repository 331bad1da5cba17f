#pragma once
// Reading what the engine wrote to its logs in the current working folder.

#include <string>
#include <vector>

// The lines of a file split at "\r\n" (the engine's line end); a trailing empty piece is dropped.
std::vector<std::string> ReadCrLfLines(const std::string& path);

// True when some line of "Debug.log" contains `text`.
bool DebugLogContains(const std::string& text);
// True when some line of "memory.log" contains `text`.
bool MemoryLogContains(const std::string& text);

// Counts assertion reports raised while it is alive.
class AssertCounter {
 public:
  AssertCounter();
  ~AssertCounter();
  unsigned Count() const;
  // File and line of the last report seen.
  const std::string& LastFile() const;
  int LastLine() const;
};
