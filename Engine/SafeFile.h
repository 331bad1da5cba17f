#pragma once
// Writing a file whole, so that it holds either its old contents or all of the new ones: the
// bytes go to a temporary file beside it, which is flushed to disk and then renamed over the old
// one. A full disk, a failing device or a crash mid-write leaves the old file as it was.
//
// Only C stdio and POSIX calls, and nothing allocated through the memory tracker: the tracker
// writes its own log through this.

#include <cstddef>

// 0 when `path` now holds exactly `size` bytes of `data`; otherwise the errno value of the step
// that failed, with the old file (if any) untouched and no temporary file left behind.
int WriteFileWhole(const char* path, const void* data, size_t size);
