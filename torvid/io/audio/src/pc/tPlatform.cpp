#include "torvid/include/audio/tPlatform.h"

#include <sys/stat.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Platform/System/HostPath.h"

namespace Torvid_lib {

namespace {

void DefaultLog(const char* line) { std::fprintf(stderr, "%s\n", line); }

// Only plain files: Linux opens a folder where Windows refuses, and a named pipe would block the
// game until someone writes to it.
void* DefaultFileOpen(const char* path) {
  if (!path) return nullptr;
  const std::string host = HostPath(path);
  struct stat st;
  if (stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  return std::fopen(host.c_str(), "rb");
}

size_t DefaultFileRead(void* file, void* buffer, size_t bytes) {
  return std::fread(buffer, 1, bytes, static_cast<FILE*>(file));
}

int DefaultFileSeek(void* file, int64_t offset, int whence) {
  return fseeko(static_cast<FILE*>(file), static_cast<off_t>(offset), whence) == 0 ? 0 : -1;
}

int64_t DefaultFileTell(void* file) { return ftello(static_cast<FILE*>(file)); }

void DefaultFileClose(void* file) { std::fclose(static_cast<FILE*>(file)); }

void* DefaultAlloc(size_t bytes, const char*) { return std::malloc(bytes); }

void DefaultRelease(void* block, const char*) { std::free(block); }

void DefaultAssertReport(const char* expression, const char* file, int line) {
  std::fprintf(stderr, "Assertion failed: %s (%s:%d)\n", expression, file, line);
}

constexpr tPlatformHooks kDefaults = {DefaultLog,      DefaultFileOpen, DefaultFileRead,
                                      DefaultFileSeek, DefaultFileTell, DefaultFileClose,
                                      DefaultAlloc,    DefaultRelease,  DefaultAssertReport};

tPlatformHooks g_hooks = kDefaults;

bool HasAllFileHooks(const tPlatformHooks& hooks) {
  return hooks.fileOpen && hooks.fileRead && hooks.fileSeek && hooks.fileTell && hooks.fileClose;
}

// A handle from one set of file hooks means nothing to another, and a block from one allocator
// cannot go back to another: those hooks are taken or left as groups. A host that leaves any of a
// group out gets the whole group's defaults rather than a call through null.
tPlatformHooks Completed(const tPlatformHooks& given) {
  tPlatformHooks hooks = given;
  if (!hooks.log) hooks.log = kDefaults.log;
  if (!hooks.assertReport) hooks.assertReport = kDefaults.assertReport;
  if (!HasAllFileHooks(hooks)) {
    hooks.fileOpen = kDefaults.fileOpen;
    hooks.fileRead = kDefaults.fileRead;
    hooks.fileSeek = kDefaults.fileSeek;
    hooks.fileTell = kDefaults.fileTell;
    hooks.fileClose = kDefaults.fileClose;
  }
  if (!hooks.alloc || !hooks.release) {
    hooks.alloc = kDefaults.alloc;
    hooks.release = kDefaults.release;
  }
  return hooks;
}

}  // namespace

void tSetPlatformHooks(const tPlatformHooks* hooks) {
  g_hooks = hooks ? Completed(*hooks) : kDefaults;
}

const tPlatformHooks& tGetPlatformHooks() { return g_hooks; }

const tPlatformHooks& tDefaultPlatformHooks() { return kDefaults; }

void tLog(const char* tag, const char* format, ...) {
  // Long enough for a message naming a full path; a longer one is cut, never overrun.
  char line[1024];
  int used = std::snprintf(line, sizeof(line), "%s: ", tag ? tag : "AUDIO");
  if (used < 0) used = 0;
  if (static_cast<size_t>(used) >= sizeof(line)) used = sizeof(line) - 1;
  if (format) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(line + used, sizeof(line) - used, format, args);
    va_end(args);
  }
  g_hooks.log(line);
}

}  // namespace Torvid_lib
