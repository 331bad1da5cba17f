#include "Platform/Dialog/Dialog.h"

#include <unistd.h>

#include <cstring>

#include "Platform/Dialog/ImGuiDialog.h"

namespace plat {

namespace {

DialogBackend* s_backend = nullptr;

bool RunAndExtend(FileDialogRequest request, bool save, char* path, int32_t size) {
  if (!path || size <= 0) return false;
  path[0] = '\0';
  request.save = save;
  if (!GetDialogBackend().RunFileDialog(request, path, size)) {
    path[0] = '\0';
    return false;
  }
  // Not terminated inside the buffer: nothing the caller could use.
  if (!std::memchr(path, '\0', static_cast<size_t>(size))) {
    path[0] = '\0';
    return false;
  }
  if (!ApplyDefaultExtension(path, size, request.defaultExtension)) {
    path[0] = '\0';
    return false;
  }
  return path[0] != '\0';
}

}  // namespace

DialogBackend& GetDialogBackend() { return s_backend ? *s_backend : GetImGuiDialogBackend(); }

void SetDialogBackend(DialogBackend* backend) { s_backend = backend; }

bool GetOpenFileName(const FileDialogRequest& request, char* path, int32_t size) {
  return RunAndExtend(request, false, path, size);
}

bool GetSaveFileName(const FileDialogRequest& request, char* path, int32_t size) {
  return RunAndExtend(request, true, path, size);
}

bool ApplyDefaultExtension(char* path, int32_t size, const char* extension) {
  if (!extension || !*extension) return true;
  const char* slash = std::strrchr(path, '/');
  const char* backslash = std::strrchr(path, '\\');
  const char* name = path;
  if (slash && slash + 1 > name) name = slash + 1;
  if (backslash && backslash + 1 > name) name = backslash + 1;
  if (std::strchr(name, '.')) return true;
  const size_t length = std::strlen(path);
  const size_t extra = 1 + std::strlen(extension);
  if (length + extra + 1 > static_cast<size_t>(size)) return false;
  path[length] = '.';
  std::memcpy(path + length + 1, extension, extra);  // with the terminator
  return true;
}

bool GetWorkingFolder(char* buffer, int32_t size) {
  if (!buffer || size <= 0) return false;
  if (!getcwd(buffer, static_cast<size_t>(size))) {
    buffer[0] = '\0';
    return false;
  }
  return true;
}

bool SetWorkingFolder(const char* folder) { return folder && *folder && chdir(folder) == 0; }

}  // namespace plat
