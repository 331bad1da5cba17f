#pragma once
// The program names files Windows-style ("data\Frontend\font.wft"), case-insensitively as that
// file system does. This maps such a name to the host's file system.

#include <string>

// Backslashes become slashes. When the exact path does not exist, each component is matched
// case-insensitively against the entries of its folder (an exact match wins). Components that
// match nothing are kept as written, so that a file about to be created keeps the given name.
std::string HostPath(const char* programPath);
