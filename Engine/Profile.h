#pragma once
// An on-screen statistics panel for development: a small render window of its own in the
// top-left corner that prints the frame rate and nine per-frame engine counters. Only the frame
// rate is filled here (from the application, when the panel is drawn); whoever wants the other
// counters shown sets them before Draw.

#include <cstdint>

class EngineProfile {
 public:
  static constexpr float kSortKey = 16384.0f;
  static constexpr int32_t kLineCount = 10;

  EngineProfile() = default;

  // Makes the panel's window (drawn after every ordinary window) and loads its font.
  void Init();
  // Queues the panel's ten lines for this frame; nothing before Init or after CleanUp.
  void Draw();
  // Deletes the window and the font; a second call finds nothing to delete.
  void CleanUp();
  void ResetCounters();

  int32_t GetWindowId() const { return m_windowId; }
  int32_t GetFontId() const { return m_fontId; }
  int32_t IsEnabled() const { return m_enabled; }

  // The counters, in the panel's own order.
  int32_t m_frameRate = 0;
  int32_t m_sceneNodesAdded = 0;
  int32_t m_sceneGameNodesAdded = 0;
  int32_t m_sceneNodesChecked = 0;
  int32_t m_sceneGameNodesChecked = 0;
  int32_t m_instancesAdded = 0;
  int32_t m_instancesRendered = 0;
  int32_t m_skeletonsUpdated = 0;
  int32_t m_alphaMeshesRendered = 0;
  int32_t m_meshesRendered = 0;

 private:
  int32_t m_windowId = -1;
  int32_t m_enabled = 1;
  int32_t m_fontId = -1;
};
