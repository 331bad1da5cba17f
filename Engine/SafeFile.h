#pragma once
// The player's files in the working folder (the logs, the pad settings), read and written so that
// none of them is ever lost. A file is written whole: the bytes go to a temporary file beside it,
// which is flushed to disk and then renamed over the old one, so that a full disk, a failing
// device or a crash mid-write leaves the old file as it was. A file is read telling "not there"
// apart from "there but unreadable": only the first may be made afresh.
//
// A file that is a symbolic link is written through it: the link's target gets the new bytes
// (its temporary file lies beside the target) and the link stays a link.
//
// Only C stdio and POSIX calls, and nothing allocated through the memory tracker: the tracker
// writes its own log through this.

#include <cstddef>

// 0 when `path` now holds exactly `size` bytes of `data`; otherwise the errno value of the step
// that failed, with the old file (if any) untouched and no temporary file left behind.
int WriteFileWhole(const char* path, const void* data, size_t size);

// The file that a write to `path` reaches into `target`: `path` itself, or where the chain of
// symbolic links at `path` ends (a link's relative target is taken from the link's folder). 0, or
// ELOOP for a chain that does not end, ENAMETOOLONG when a name does not fit `capacity`.
int ResolveFileLinks(const char* path, char* target, size_t capacity);

// Removes the temporary files that writes of `path` left behind when their process was killed
// before the rename: regular files beside `path`'s target named "<name>.<pid>.<n>.tmp" whose
// process no longer runs, or is this one. Nothing else is touched (another name, a folder, a link,
// a live process's write in progress). Call it only while this process writes no such file.
// The number of files removed.
int RemoveLeftoverTemporaries(const char* path);

// Keeps the file at `path` (its target, when it is a link) under a new name beside it that no
// file has yet: "<target><suffix>", else "<target><suffix>.2", ".3" and so on. The copy is the
// same file, byte for byte, made as a hard link, so nothing is copied and nothing can be half
// made; the next WriteFileWhole of `path` leaves the old bytes under that name alone.
// 0 with the name in `kept`; ENOENT when there is no file to keep; else the errno value of the
// step that failed, with nothing made.
int KeepFileCopy(const char* path, const char* suffix, char* kept, size_t capacity);

enum class FileReadStatus {
  kRead,
  kMissing,     // nothing is there: the caller may make the file afresh
  kUnreadable,  // permissions, a device error, a folder or a pipe in its place: leave it alone
};

// Reads at most `capacity` bytes from the start of `path` into `buffer`; *size is how many came.
// For an unreadable file *reason says why, and `buffer` may hold part of it.
FileReadStatus ReadFileStart(const char* path, void* buffer, size_t capacity, size_t* size,
                             const char** reason);
