#include "Engine/SafeFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
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

// Splits `path` at its last slash: the folder ("." when there is none) and the name.
bool SplitPath(const char* path, char* folder, size_t capacity, const char** name) {
  const char* slash = std::strrchr(path, '/');
  if (!slash) {
    std::strcpy(folder, ".");
    *name = path;
    return true;
  }
  const size_t length = slash == path ? 1 : static_cast<size_t>(slash - path);
  if (length >= capacity) return false;
  std::memcpy(folder, path, length);
  folder[length] = 0;
  *name = slash + 1;
  return true;
}

// Flushes the folder of `path` to disk, so that a rename or a new name in it survives a power cut
// (the file's own bytes are safe already).
void SyncFolder(const char* path) {
  char folder[PATH_MAX];
  const char* name = nullptr;
  if (!SplitPath(path, folder, sizeof(folder), &name)) return;
  int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// Links followed at most, as the kernel's own limit.
constexpr int kMaxLinks = 40;

// The decimal number at *text, moving past it; false when no digit is there or it overflows.
bool ReadNumber(const char** text, unsigned long* value) {
  const char* at = *text;
  unsigned long number = 0;
  while (*at >= '0' && *at <= '9') {
    const unsigned long next = number * 10 + static_cast<unsigned long>(*at - '0');
    if (next / 10 != number) return false;
    number = next;
    ++at;
  }
  if (at == *text) return false;
  *text = at;
  *value = number;
  return true;
}

// The process whose write `entry` was, when it is a temporary of `name`: "<name>.<pid>.<n>.tmp".
bool TemporaryOf(const char* entry, const char* name, pid_t* pid) {
  const size_t length = std::strlen(name);
  if (std::strncmp(entry, name, length) != 0 || entry[length] != '.') return false;
  const char* at = entry + length + 1;
  unsigned long process = 0, serial = 0;
  if (!ReadNumber(&at, &process) || *at++ != '.' || !ReadNumber(&at, &serial)) return false;
  if (std::strcmp(at, ".tmp") != 0 || process == 0 || process > static_cast<unsigned long>(INT_MAX))
    return false;
  *pid = static_cast<pid_t>(process);
  return true;
}

// Whether another process with that id runs (one we may not signal runs as well).
bool OtherProcessRuns(pid_t pid) {
  if (pid == getpid()) return false;
  return kill(pid, 0) == 0 || errno == EPERM;
}

}  // namespace

int ResolveFileLinks(const char* path, char* target, size_t capacity) {
  if (!path || !*path || !target || capacity == 0) return EINVAL;
  if (std::strlen(path) >= capacity) return ENAMETOOLONG;
  std::strcpy(target, path);
  for (int links = 0; links <= kMaxLinks; ++links) {
    struct stat st {};
    // Whatever is not a link (nothing at all included) is where the bytes go.
    if (lstat(target, &st) != 0 || !S_ISLNK(st.st_mode)) return 0;
    if (links == kMaxLinks) break;
    char link[PATH_MAX];
    const ssize_t length = readlink(target, link, sizeof(link) - 1);
    if (length < 0) return errno;
    if (static_cast<size_t>(length) >= sizeof(link) - 1) return ENAMETOOLONG;
    link[length] = 0;
    if (link[0] == '/') {
      if (static_cast<size_t>(length) >= capacity) return ENAMETOOLONG;
      std::strcpy(target, link);
      continue;
    }
    // A relative target is named from the link's own folder.
    const char* slash = std::strrchr(target, '/');
    const size_t keep = slash ? static_cast<size_t>(slash - target) + 1 : 0;
    if (keep + static_cast<size_t>(length) >= capacity) return ENAMETOOLONG;
    std::memcpy(target + keep, link, static_cast<size_t>(length) + 1);
  }
  return ELOOP;
}

int RemoveLeftoverTemporaries(const char* path) {
  char target[PATH_MAX];
  if (ResolveFileLinks(path, target, sizeof(target)) != 0) return 0;
  char folder[PATH_MAX];
  const char* name = nullptr;
  if (!SplitPath(target, folder, sizeof(folder), &name) || !*name) return 0;
  const int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return 0;
  DIR* dir = fdopendir(fd);
  if (!dir) {
    close(fd);
    return 0;
  }
  int removed = 0;
  while (const dirent* entry = readdir(dir)) {
    pid_t pid = 0;
    if (!TemporaryOf(entry->d_name, name, &pid) || OtherProcessRuns(pid)) continue;
    struct stat st {};
    if (fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    if (unlinkat(fd, entry->d_name, 0) == 0) ++removed;
  }
  closedir(dir);
  return removed;
}

int KeepFileCopy(const char* path, const char* suffix, char* kept, size_t capacity) {
  if (!path || !*path || !suffix || !kept || capacity == 0) return EINVAL;
  kept[0] = 0;
  char target[PATH_MAX];
  int error = ResolveFileLinks(path, target, sizeof(target));
  if (error) return error;
  struct stat st {};
  if (lstat(target, &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return EINVAL;
  char name[PATH_MAX];
  // A hard link never replaces a name that is taken, so an earlier copy is never lost even to a
  // second copy of the program doing the same at the same time.
  for (int number = 1; number < 1000; ++number) {
    const int length = number == 1
                           ? std::snprintf(name, sizeof(name), "%s%s", target, suffix)
                           : std::snprintf(name, sizeof(name), "%s%s.%d", target, suffix, number);
    if (length < 0 || static_cast<size_t>(length) >= sizeof(name) ||
        static_cast<size_t>(length) >= capacity)
      return ENAMETOOLONG;
    if (link(target, name) == 0) {
      std::strcpy(kept, name);
      SyncFolder(name);
      return 0;
    }
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

int WriteFileWhole(const char* path, const void* data, size_t size) {
  if (!path || !*path || (!data && size > 0)) return EINVAL;
  // Through a symbolic link to the file it names: renaming over the link itself would turn it
  // into a plain file and leave its target with the old bytes.
  char target[PATH_MAX];
  if (const int error = ResolveFileLinks(path, target, sizeof(target))) return error;
  path = target;
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
