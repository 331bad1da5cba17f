#include "Engine/SafeFile.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

std::atomic<unsigned> s_serial{0};

int WriteAll(int fd, const unsigned char* data, size_t size) {
  while (size > 0) {
    ssize_t written = write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    // A write that takes nothing would loop forever; the device has no room for us.
    if (written == 0) return ENOSPC;
    data += written;
    size -= static_cast<size_t>(written);
  }
  return 0;
}

// The folder part of `path` ("." when it has none), for flushing the rename to disk.
void SyncFolder(const char* path) {
  char folder[PATH_MAX];
  const char* slash = std::strrchr(path, '/');
  if (!slash) {
    std::strcpy(folder, ".");
  } else {
    size_t length = slash == path ? 1 : static_cast<size_t>(slash - path);
    if (length >= sizeof(folder)) return;
    std::memcpy(folder, path, length);
    folder[length] = 0;
  }
  int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  // The new contents are safe already; this only makes the rename itself survive a power cut.
  fsync(fd);
  close(fd);
}

}  // namespace

int WriteFileWhole(const char* path, const void* data, size_t size) {
  if (!path || !*path || (!data && size > 0)) return EINVAL;
  // The temporary name carries the process and a serial number, so that two writers (two copies
  // of the program, two threads) never share one.
  // A leftover of a run that crashed may carry the same name: it is passed over, never reused,
  // so nothing else that happens to be there is overwritten.
  char temp[PATH_MAX];
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 16; ++attempt) {
    int length = std::snprintf(temp, sizeof(temp), "%s.%ld.%u.tmp", path,
                               static_cast<long>(getpid()), s_serial.fetch_add(1));
    if (length < 0 || static_cast<size_t>(length) >= sizeof(temp)) return ENAMETOOLONG;
    fd = open(temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return errno;
  }
  if (fd < 0) return EEXIST;

  // The replacement keeps the old file's permissions; a new file gets the usual ones (umask).
  struct stat old {};
  bool hadOld = stat(path, &old) == 0;

  int error = WriteAll(fd, static_cast<const unsigned char*>(data), size);
  if (!error && hadOld && fchmod(fd, old.st_mode & 07777) != 0) error = errno;
  // Written is not stored: a full disk or a failing device often shows only here.
  if (!error && fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && !error) error = errno;
  if (!error && rename(temp, path) != 0) error = errno;
  if (error) {
    unlink(temp);
    return error;
  }
  SyncFolder(path);
  return 0;
}

FileReadStatus ReadFileStart(const char* path, void* buffer, size_t capacity, size_t* size,
                             const char** reason) {
  *size = 0;
  *reason = "";
  if (!path || !*path || (!buffer && capacity > 0)) {
    *reason = std::strerror(EINVAL);
    return FileReadStatus::kUnreadable;
  }
  // Non-blocking, so that a named pipe in the file's place cannot stall the caller.
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return FileReadStatus::kMissing;
    *reason = std::strerror(errno);
    return FileReadStatus::kUnreadable;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    *reason = std::strerror(errno);
    close(fd);
    return FileReadStatus::kUnreadable;
  }
  if (!S_ISREG(st.st_mode)) {
    *reason = S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file";
    close(fd);
    return FileReadStatus::kUnreadable;
  }
  auto* bytes = static_cast<unsigned char*>(buffer);
  size_t got = 0;
  while (got < capacity) {
    const ssize_t n = read(fd, bytes + got, capacity - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *reason = std::strerror(errno);
      close(fd);
      *size = got;
      return FileReadStatus::kUnreadable;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  close(fd);
  *size = got;
  return FileReadStatus::kRead;
}
