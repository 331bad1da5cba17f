#pragma once
// The real back end's open and save dialogs: a modal file browser in a window of its own, with
// the request's filters, run until the user chooses or cancels. Where no dialog can be seen
// (headless video drivers) it cancels at once.

#include <cstdint>
#include <string>
#include <vector>

#include "Platform/Dialog/Dialog.h"

namespace plat {

bool RunFileBrowser(const FileDialogRequest& request, char* path, int32_t size);

// Whether a file name matches a filter pattern: "*.*" and "*" take everything, "*.ext" the
// names ending in ".ext" (case-insensitively); several patterns may be joined by ';'.
bool MatchesFilterPattern(const std::string& name, const std::string& pattern);

}  // namespace plat
