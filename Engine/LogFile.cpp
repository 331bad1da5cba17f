#include "Engine/LogFile.h"

#include <cstdarg>
#include <cstdio>

#include "Engine/Assert.h"
#include "Platform/System/DebugOutput.h"

namespace {
const char kLogName[] = "Debug.log";
const char kRule[] =
    "--------------------------------------------------------------------------------";
char s_buffer[LogFile::kBufferSize];
}  // namespace

LogFile& DebugLog() {
  // Constant-initialised and never destroyed, so that messages from static destructors and
  // other threads' shutdown still find it.
  static constinit LogFile s_log;
  return s_log;
}

void LogFile::WriteLine(const char* text) {
  FILE* fp = std::fopen(kLogName, "ab");
  if (!fp) {
    AssertReport("fp", "Engine/LogFile", __LINE__);
    return;
  }
  std::fprintf(fp, "%s\r\n", text);
  std::fclose(fp);
  PlatformDebugOutput(text);
}

void LogFile::Write(const char* format, ...) {
  // The header goes out before the caller's message is formatted: both use the one buffer, and
  // formatting first would let the header overwrite the run's first message.
  if (m_firstWrite) {
    std::remove(kLogName);
    m_firstWrite = 0;
    WriteLine(kRule);
    WriteLine("");
    WriteLine(kRule);
    WriteLine("");
  }
  va_list args;
  va_start(args, format);
  std::vsnprintf(s_buffer, sizeof(s_buffer), format, args);
  va_end(args);
  WriteLine(s_buffer);
}
