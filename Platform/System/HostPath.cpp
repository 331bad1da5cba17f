#include "Platform/System/HostPath.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cstring>

namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// The folder entry that `name` stands for on a case-insensitive file system. Several entries may
// differ only in case; the byte-wise smallest wins so that the answer does not depend on the
// order in which the file system lists them. Empty when nothing matches.
std::string FindFolded(const std::string& folder, const std::string& name) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return std::string();
  std::string best;
  while (const dirent* entry = readdir(dir)) {
    const char* candidate = entry->d_name;
    if (strcasecmp(candidate, name.c_str()) != 0) continue;
    if (best.empty() || std::strcmp(candidate, best.c_str()) < 0) best = candidate;
  }
  closedir(dir);
  return best;
}

}  // namespace

std::string HostPath(const char* programPath) {
  if (!programPath) return std::string();
  std::string path(programPath);
  for (char& c : path)
    if (c == '\\') c = '/';
  if (path.empty() || Exists(path)) return path;

  // Walk the path one component at a time, keeping separators exactly where they were (a leading
  // slash, doubled slashes and a trailing slash all survive). Once a component matches nothing,
  // the folders below it cannot exist either and the rest is copied as written.
  std::string result;
  bool searching = true;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t slash = path.find('/', pos);
    if (slash == std::string::npos) slash = path.size();
    std::string component = path.substr(pos, slash - pos);
    // The folder the component lives in is everything resolved so far (without the separator
    // that follows it, which matters only for the root).
    std::string folder = result;
    if (folder.size() > 1 && folder.back() == '/') folder.pop_back();

    if (searching && !component.empty() && component != "." && component != "..") {
      std::string exact = result + component;
      if (!Exists(exact)) {
        std::string folded = FindFolded(folder, component);
        if (folded.empty())
          searching = false;
        else
          component = folded;
      }
    }
    result += component;
    if (slash < path.size()) result += '/';
    pos = slash + 1;
  }
  return result;
}
