#pragma once
// A render window: one viewport with its camera, render lists and text, created and deleted
// through the application object, which runs its three per-frame operations in sort-key order.

#include <cstdint>

class RenderWindow {
 public:
  virtual ~RenderWindow() = default;

  virtual void Clear() {}
  virtual void Update() {}
  virtual void Render() {}
  virtual void CleanUp() {}

  void SetId(int32_t id) { m_id = id; }
  int32_t GetId() const { return m_id; }
  float GetSortKey() const { return m_sortKey; }
  void SetSortKey(float key) { m_sortKey = key; }

 protected:
  int32_t m_id = -1;
  float m_sortKey = 0.0f;
};
