#include "Engine/LogFile.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "Engine/Assert.h"
#include "Engine/MemoryTracker.h"
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
    // The player knows already; what the log says is still worth seeing where it can be seen.
    if (m_folderUnwritableTold) {
      PlatformDebugOutputLine(text);
      return;
    }
    AssertReport("fp", "Engine/LogFile", __LINE__);
    return;
  }
  std::fprintf(fp, "%s\r\n", text);
  std::fclose(fp);
  PlatformDebugOutputLine(text);
}

void LogFile::ReportMemoryLogFailure() {
  // Before this run's file has begun, the line would land in the previous run's log and go with
  // it at the restart.
  if (!m_started) return;
  const int error = MemoryTracker::TakeLogFailure();
  if (!error) return;
  std::snprintf(s_buffer, sizeof(s_buffer), "Unable to write memory.log: %s\n",
                std::strerror(error));
  WriteLine(s_buffer);
}

void LogFile::Write(const char* format, ...) {
  // The header goes out before the caller's message is formatted: both use the one buffer, and
  // formatting first would let the header overwrite the run's first message.
  if (m_firstWrite) {
    std::remove(kLogName);
    m_firstWrite = 0;
    m_started = true;
    WriteLine(kRule);
    WriteLine("");
    WriteLine(kRule);
    WriteLine("");
  }
  // Also ahead of the caller's message, for the same reason; it happened first in any case.
  ReportMemoryLogFailure();
  va_list args;
  va_start(args, format);
  std::vsnprintf(s_buffer, sizeof(s_buffer), format, args);
  va_end(args);
  WriteLine(s_buffer);
}
