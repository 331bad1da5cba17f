#pragma once
// The player's files in the working folder (the logs, the pad settings), read and written so that
// none of them is ever lost. A file is written whole: the bytes go to a temporary file beside it,
// which is flushed to disk and then renamed over the old one, so that a full disk, a failing
// device or a crash mid-write leaves the old file as it was. A file is read telling "not there"
// apart from "there but unreadable": only the first may be made afresh.
//
// Only C stdio and POSIX calls, and nothing allocated through the memory tracker: the tracker
// writes its own log through this.

#include <cstddef>

// 0 when `path` now holds exactly `size` bytes of `data`; otherwise the errno value of the step
// that failed, with the old file (if any) untouched and no temporary file left behind.
int WriteFileWhole(const char* path, const void* data, size_t size);

enum class FileReadStatus {
  kRead,
  kMissing,     // nothing is there: the caller may make the file afresh
  kUnreadable,  // permissions, a device error, a folder or a pipe in its place: leave it alone
};

// Reads at most `capacity` bytes from the start of `path` into `buffer`; *size is how many came.
// For an unreadable file *reason says why, and `buffer` may hold part of it.
FileReadStatus ReadFileStart(const char* path, void* buffer, size_t capacity, size_t* size,
                             const char** reason);
