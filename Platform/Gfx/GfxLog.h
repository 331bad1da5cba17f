#pragma once
// The display's own complaints (a context that cannot be made, a call refused) go to the
// debugger output; the engine reports the result codes themselves.

#include <cstdarg>
#include <cstdio>

#include "Platform/System/DebugOutput.h"

namespace gfx {

inline void GfxLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

inline void GfxLog(const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  PlatformDebugOutput(line);
}

}  // namespace gfx
