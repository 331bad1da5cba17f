#include "Platform/Dialog/FileBrowser.h"

#include <imgui.h>
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "Platform/Dialog/ImGuiHost.h"

namespace plat {

namespace fs = std::filesystem;

namespace {

struct Entry {
  std::string name;
  bool folder;
};

bool EndsWithNoCase(const std::string& name, const std::string& tail) {
  return name.size() >= tail.size() &&
         strcasecmp(name.c_str() + name.size() - tail.size(), tail.c_str()) == 0;
}

bool MatchOne(const std::string& name, const std::string& pattern) {
  if (pattern == "*" || pattern == "*.*") return true;
  if (pattern.size() > 1 && pattern[0] == '*') return EndsWithNoCase(name, pattern.substr(1));
  return strcasecmp(name.c_str(), pattern.c_str()) == 0;
}

class Browser {
 public:
  explicit Browser(const FileDialogRequest& request) : m_request(request) {
    for (const char* const* entry = request.filter; entry && entry[0] && entry[1]; entry += 2)
      m_filters.push_back({entry[0], entry[1]});
    std::error_code error;
    m_folder = request.initialFolder && *request.initialFolder ? fs::path(request.initialFolder)
                                                               : fs::current_path(error);
    if (!fs::is_directory(m_folder, error)) m_folder = fs::current_path(error);
    Refresh();
  }

  // 1 chosen, -1 cancelled, 0 still open.
  int Frame() {
    const ImGuiIO& io = ImGui::GetIO();
    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(io.DisplaySize);
    ImGui::Begin(
        "##files", nullptr,
        ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoSavedSettings);
    ImGui::TextUnformatted(m_folder.string().c_str());
    int result = DrawList();
    ImGui::SetNextItemWidth(-1);
    if (ImGui::InputText("##name", m_name, sizeof(m_name), ImGuiInputTextFlags_EnterReturnsTrue))
      result = Accept();
    DrawFilterChoice();
    if (ImGui::Button(m_request.save ? "Save" : "Open", ImVec2(80, 0))) result = Accept();
    ImGui::SameLine();
    if (ImGui::Button("Cancel", ImVec2(80, 0)) ||
        ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Escape)))
      result = -1;
    if (!m_error.empty()) ImGui::TextUnformatted(m_error.c_str());
    ImGui::End();
    return result;
  }

  const std::string& Chosen() const { return m_chosen; }

 private:
  void Refresh() {
    m_entries.clear();
    std::error_code error;
    for (fs::directory_iterator it(m_folder, error), end; !error && it != end;
         it.increment(error)) {
      const std::string name = it->path().filename().string();
      const bool folder = it->is_directory(error);
      if (folder || Matches(name)) m_entries.push_back({name, folder});
    }
    std::sort(m_entries.begin(), m_entries.end(), [](const Entry& a, const Entry& b) {
      if (a.folder != b.folder) return a.folder;
      return strcasecmp(a.name.c_str(), b.name.c_str()) < 0;
    });
  }

  bool Matches(const std::string& name) const {
    if (m_filters.empty()) return true;
    return MatchesFilterPattern(name, m_filters[m_filter].second);
  }

  int DrawList() {
    int result = 0;
    ImGui::BeginChild("##list", ImVec2(0, -ImGui::GetFrameHeightWithSpacing() * 3), true);
    if (ImGui::Selectable("..", false, ImGuiSelectableFlags_AllowDoubleClick) &&
        ImGui::IsMouseDoubleClicked(0)) {
      m_folder = m_folder.parent_path();
      m_pendingRefresh = true;
    }
    for (const Entry& entry : m_entries) {
      const std::string label = entry.folder ? "[" + entry.name + "]" : entry.name;
      const bool selected = !entry.folder && entry.name == m_name;
      if (!ImGui::Selectable(label.c_str(), selected, ImGuiSelectableFlags_AllowDoubleClick))
        continue;
      if (entry.folder) {
        if (ImGui::IsMouseDoubleClicked(0)) {
          m_folder /= entry.name;
          m_pendingRefresh = true;
        }
        continue;
      }
      std::snprintf(m_name, sizeof(m_name), "%s", entry.name.c_str());
      if (ImGui::IsMouseDoubleClicked(0)) result = Accept();
    }
    ImGui::EndChild();
    if (m_pendingRefresh) {
      m_pendingRefresh = false;
      Refresh();
    }
    return result;
  }

  void DrawFilterChoice() {
    if (m_filters.empty()) return;
    ImGui::SetNextItemWidth(-1);
    if (!ImGui::BeginCombo("##filter", m_filters[m_filter].first.c_str())) return;
    for (size_t i = 0; i < m_filters.size(); ++i)
      if (ImGui::Selectable(m_filters[i].first.c_str(), i == m_filter)) {
        m_filter = i;
        Refresh();
      }
    ImGui::EndCombo();
  }

  int Accept() {
    if (!m_name[0]) return 0;
    const fs::path typed(m_name);
    const fs::path full = typed.is_absolute() ? typed : m_folder / typed;
    std::error_code error;
    if (fs::is_directory(full, error)) {
      m_folder = full;
      m_name[0] = '\0';
      Refresh();
      return 0;
    }
    std::string chosen = full.string();
    std::string extended = chosen;
    char buffer[4096];
    std::snprintf(buffer, sizeof(buffer), "%s", chosen.c_str());
    if (ApplyDefaultExtension(buffer, sizeof(buffer), m_request.defaultExtension))
      extended = buffer;
    if (m_request.mustExist && !fs::exists(chosen, error) && !fs::exists(extended, error)) {
      m_error = "File not found.";
      return 0;
    }
    m_chosen = chosen;
    return 1;
  }

  const FileDialogRequest& m_request;
  std::vector<std::pair<std::string, std::string>> m_filters;
  size_t m_filter = 0;
  fs::path m_folder;
  std::vector<Entry> m_entries;
  char m_name[260] = {};
  std::string m_chosen;
  std::string m_error;
  bool m_pendingRefresh = false;
};

// The keys that closed the browser must not reach the program as presses of its own (an
// Escape that cancels would otherwise end it): wait, briefly, until they are let go.
void WaitForKeysUp() {
  for (int turn = 0; turn < 100; ++turn) {
    SDL_PumpEvents();
    int count = 0;
    const Uint8* keys = SDL_GetKeyboardState(&count);
    bool held = false;
    for (int i = 0; i < count && !held; ++i) held = keys[i] != 0;
    if (!held) return;
    SDL_Delay(10);
  }
}

}  // namespace

bool MatchesFilterPattern(const std::string& name, const std::string& pattern) {
  size_t start = 0;
  while (start <= pattern.size()) {
    size_t end = pattern.find(';', start);
    if (end == std::string::npos) end = pattern.size();
    if (MatchOne(name, pattern.substr(start, end - start))) return true;
    start = end + 1;
  }
  return false;
}

bool RunFileBrowser(const FileDialogRequest& request, char* path, int32_t size) {
  if (!path || size <= 0) return false;
  if (ImGuiHost::HeadlessVideo()) {
    std::fprintf(stderr, "dialog: no file dialog without a screen; taken as cancelled\n");
    return false;
  }
  ImGuiHost host;
  if (!host.Create(request.save ? "Save As" : "Open", 560, 420)) return false;
  host.Show(SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 560, 420);
  SDL_RaiseWindow(host.Window());
  Browser browser(request);
  int result = 0;
  while (result == 0) {
    SDL_PumpEvents();
    // A close of the window, or the program being told to end, cancels.
    if (host.TakeCloseRequest() || SDL_HasEvent(SDL_QUIT)) result = -1;
    if (result == 0 && host.BeginFrame()) {
      result = browser.Frame();
      host.EndFrame();
    }
    SDL_Delay(15);
  }
  host.Destroy();
  WaitForKeysUp();
  if (result != 1 || browser.Chosen().size() + 1 > static_cast<size_t>(size)) return false;
  std::memcpy(path, browser.Chosen().c_str(), browser.Chosen().size() + 1);
  return true;
}

}  // namespace plat
