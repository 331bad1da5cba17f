#include "Platform/System/DebugOutput.h"

#include <cstdio>
#include <cstring>

void PlatformDebugOutput(const char* text) {
  std::fputs(text, stderr);
  std::fflush(stderr);
}

void PlatformDebugOutputLine(const char* text) {
  if (!text) text = "";
  const size_t length = std::strlen(text);
  // One lock for the text and its line break, so that another thread's output cannot land
  // between them.
  flockfile(stderr);
  std::fputs(text, stderr);
  if (length == 0 || text[length - 1] != '\n') std::fputc('\n', stderr);
  std::fflush(stderr);
  funlockfile(stderr);
}
