#pragma once
// The audio library's only way to the host: files, memory, log lines and assertion reports go
// through these hooks, which the game installs at start-up. Until it does, the defaults read
// host files with stdio (program paths mapped as the platform layer maps them), allocate with
// malloc, write log lines to stderr and report assertions to stderr.

#include <cstddef>
#include <cstdint>

namespace Torvid_lib {

struct tPlatformHooks {
  // One finished log line, without its line end.
  void (*log)(const char* line);
  // Files by program path ("Data\Music\Front.ogg"): null when the file cannot be opened.
  void* (*fileOpen)(const char* path);
  // Bytes read (0 at the end or on an error).
  size_t (*fileRead)(void* file, void* buffer, size_t bytes);
  // whence as stdio's SEEK_SET, SEEK_CUR, SEEK_END; 0 on success, -1 on failure.
  int (*fileSeek)(void* file, int64_t offset, int whence);
  int64_t (*fileTell)(void* file);
  void (*fileClose)(void* file);
  // Blocks named by their owner ("tAudioStream::Open").
  void* (*alloc)(size_t bytes, const char* owner);
  void (*release)(void* block, const char* owner);
  void (*assertReport)(const char* expression, const char* file, int line);
};

// Installs the host's hooks (copied); null restores the defaults.
void tSetPlatformHooks(const tPlatformHooks* hooks);
const tPlatformHooks& tGetPlatformHooks();
const tPlatformHooks& tDefaultPlatformHooks();

// Writes "<TAG>: <message>" through the log hook. The library's tags are "AUDIO" (the device
// and voices), "STREAM" (streamed music) and "SOUND" (samples and banks).
void tLog(const char* tag, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace Torvid_lib

#define TORVID_ASSERT(expr) \
  ((expr) ? (void)0 : ::Torvid_lib::tGetPlatformHooks().assertReport(#expr, __FILE__, __LINE__))
