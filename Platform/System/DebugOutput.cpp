#include "Platform/System/DebugOutput.h"

#include <cstdio>

void PlatformDebugOutput(const char* text) {
  std::fputs(text, stderr);
  std::fflush(stderr);
}
