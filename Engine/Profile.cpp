#include "Engine/Profile.h"

#include <cstdio>
#include <cstring>

#include "Engine/BaseApp.h"
#include "Engine/BaseFontFactory.h"
#include "Engine/BaseRenderWindow.h"
#include "Engine/Camera.h"
#include "Engine/DataFolder.h"
#include "Engine/MemoryTracker.h"

namespace {

constexpr char kOwner[] = "EngineProfile::Init";

// The prefix in force, copied: setting a new one frees the block GetDataFolder points at.
char* CopyDataFolder() {
  const char* current = GetDataFolder();
  if (!current) return nullptr;
  const size_t length = std::strlen(current);
  auto* copy = static_cast<char*>(TrackedAlloc(kOwner, length + 1));
  if (copy) std::memcpy(copy, current, length + 1);
  return copy;
}

}  // namespace

void EngineProfile::Init() {
  // A second Init must not leave the first panel on screen with nobody to delete it.
  CleanUp();
  BaseApp& app = GetBaseApp();

  BaseRenderWindow* window = NewRenderWindow(kOwner, 1000);
  m_windowId = -1;
  if (window) {
    // Depth only: the panel is drawn last over the whole back buffer's frame, and clearing the
    // colour would wipe out every window drawn before it.
    window->Init(Vector2(0.0f, 0.0f), Vector2(300.0f, 256.0f),
                 Vector4(0.0f, 128.0f, 128.0f, 0.0f), BaseRenderWindow::kClearDepth, kSortKey);
    m_windowId = app.AddWindow(window);
    if (m_windowId == -1) {
      TrackedDelete("EngineProfile::Init", window);
    } else if (Camera* camera = window->GetCamera()) {
      // AddWindow has sorted the panel in (after the window pass, when one is running).
      camera->SetEye(Vector4(0.0f, 500.0f, 100.0f, 0.0f));
      camera->SetTarget(Vector4(0.0f, 0.0f, 100.0f, 0.0f));
      camera->SetUp(Vector4(0.0f, 0.0f, 1.0f, 0.0f));
    }
  }

  // The font lives in the front end's folder; whoever loads next expects their own prefix.
  char* saved = CopyDataFolder();
  const bool hadPrefix = GetDataFolder() != nullptr;
  app.SetDataDir("data\\Frontend\\");
  m_fontId = app.GetFontFactory()->AddFont("TYPEWRITERBOLD_10.wft");
  if (saved || !hadPrefix) app.SetDataDir(saved);
  if (saved) TrackedFree(kOwner, saved);
  m_enabled = 1;
}

void EngineProfile::Draw() {
  if (m_windowId == -1 || m_fontId == -1) return;
  BaseApp& app = GetBaseApp();
  BaseRenderWindow* window = app.FindWindow(m_windowId);
  m_frameRate = app.GetFrameRate();
  BaseFont* font = app.GetFontFactory()->GetFont(m_fontId);
  if (!font || !window) return;

  const struct {
    int32_t y;
    const char* format;
    int32_t value;
  } lines[kLineCount] = {
      {1, "FrameRate %i\n", m_frameRate},
      {20, "Num Scene Nodes Checked %i\n", m_sceneNodesChecked},
      {40, "Num Scene Nodes Added %i\n", m_sceneNodesAdded},
      {60, "Num Scene Game Nodes Checked %i\n", m_sceneGameNodesChecked},
      {80, "Num Scene Game Nodes Added %i\n", m_sceneGameNodesAdded},
      {100, "Num Instances Added %i\n", m_instancesAdded},
      {120, "Num Instances Rendered %i\n", m_instancesRendered},
      {140, "Num Skeletons Updated %i\n", m_skeletonsUpdated},
      {160, "Num Meshes Rendered %i\n", m_meshesRendered},
      {180, "Num Alpha Meshs Rendered %i\n", m_alphaMeshesRendered},
  };
  char text[64];
  for (const auto& line : lines) {
    std::snprintf(text, sizeof(text), line.format, line.value);
    window->PrintText(text, 1, line.y, 0xFFFFFFFFu, 0.0f, font);
  }
}

void EngineProfile::CleanUp() {
  BaseApp& app = GetBaseApp();
  if (m_windowId != -1) {
    app.DeleteWindow(m_windowId);
    m_windowId = -1;
  }
  if (m_fontId != -1) {
    app.GetFontFactory()->DeleteFont(m_fontId);
    m_fontId = -1;
  }
}

void EngineProfile::ResetCounters() {
  m_frameRate = 0;
  m_sceneNodesAdded = 0;
  m_sceneGameNodesAdded = 0;
  m_sceneNodesChecked = 0;
  m_sceneGameNodesChecked = 0;
  m_instancesAdded = 0;
  m_instancesRendered = 0;
  m_skeletonsUpdated = 0;
  m_alphaMeshesRendered = 0;
  m_meshesRendered = 0;
}
