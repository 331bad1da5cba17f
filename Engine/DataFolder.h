#pragma once
// The data-folder prefix that file loading and asset identifiers put before every name
// ("data\Frontend\", with its own trailing backslash). Null until set. The application object's
// SetDataDir stores into it.

const char* GetDataFolder();
// Copies the text (null clears). Safe when given the current prefix itself. `owner` names the
// copy's owner in the tracker's records.
void SetDataFolder(const char* prefix, const char* owner = "App::SetDataDir");
