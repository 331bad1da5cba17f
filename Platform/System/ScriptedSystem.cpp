#include "Platform/System/ScriptedSystem.h"

namespace plat {

ScriptedSystem::ScriptedSystem(System* real) : m_real(real) {}

ScriptedSystem::~ScriptedSystem() { Uninstall(); }

void ScriptedSystem::Install() { SetSystem(this); }

void ScriptedSystem::Uninstall() {
  if (&GetSystem() == this) SetSystem(nullptr);
}

System& ScriptedSystem::Real() { return m_real ? *m_real : GetSdlSystem(); }

void ScriptedSystem::QueueEvent(WindowEventType type, int32_t param) {
  WindowEvent event;
  event.type = type;
  event.param = param;
  m_events.push_back(event);
}

void ScriptedSystem::AdvanceMilliseconds(uint32_t milliseconds) {
  m_counter += static_cast<int64_t>(milliseconds) * m_frequency / 1000;
  m_tickCount += milliseconds;
}

void ScriptedSystem::StepClock(int64_t counts) {
  m_counter += counts;
  if (m_frequency <= 0) return;
  m_tickRemainder += counts * 1000;
  m_tickCount += static_cast<uint32_t>(m_tickRemainder / m_frequency);
  m_tickRemainder %= m_frequency;
}

void ScriptedSystem::ClearRecords() {
  m_sleeps.clear();
  m_messageBoxes.clear();
}

DesktopMode ScriptedSystem::GetDesktopMode() {
  DesktopMode mode = Real().GetDesktopMode();
  if (m_desktopBits != 0) mode.bitsPerPixel = m_desktopBits;
  return mode;
}

InstanceLock ScriptedSystem::TakeInstanceLock(const char* name) {
  if (m_lockFails) return InstanceLock::HeldElsewhere;
  return Real().TakeInstanceLock(name);
}

void ScriptedSystem::ReleaseInstanceLock() { Real().ReleaseInstanceLock(); }

bool ScriptedSystem::CanWriteWorkingFolder() { return Real().CanWriteWorkingFolder(); }

WindowHandle ScriptedSystem::CreateAppWindow(int32_t clientWidth, int32_t clientHeight, int32_t* x,
                                             int32_t* y) {
  if (m_windowFails) return nullptr;
  return Real().CreateAppWindow(clientWidth, clientHeight, x, y);
}

void ScriptedSystem::DestroyAppWindow() { Real().DestroyAppWindow(); }

WindowHandle ScriptedSystem::GetAppWindow() { return Real().GetAppWindow(); }

bool ScriptedSystem::PeekEvent(WindowEvent* event) {
  if (!m_events.empty()) {
    if (event) *event = m_events.front();
    m_events.pop_front();
    return true;
  }
  return Real().PeekEvent(event);
}

void ScriptedSystem::PostQuit() { Real().PostQuit(); }

void ScriptedSystem::ShowCursor(bool show) {
  m_cursorVisible = show;
  Real().ShowCursor(show);
}

void ScriptedSystem::MessageBox(const char* text, const char* caption, uint32_t flags) {
  MessageBoxRecord record;
  record.text = text ? text : "";
  record.caption = caption ? caption : "";
  record.flags = flags;
  m_messageBoxes.push_back(record);
  if (m_messageBoxPassThrough) Real().MessageBox(text, caption, flags);
}

bool ScriptedSystem::QueryPerformanceFrequency(int64_t* frequency) {
  if (m_frequencyFails || !frequency) return false;
  if (!m_manualClock) return Real().QueryPerformanceFrequency(frequency);
  *frequency = m_frequency;
  return true;
}

bool ScriptedSystem::QueryPerformanceCounter(int64_t* counter) {
  if (!m_manualClock) {
    if (!Real().QueryPerformanceCounter(counter)) return false;
    int64_t frequency = 0;
    if (m_counterListener && Real().QueryPerformanceFrequency(&frequency))
      m_counterListener(m_counterContext, *counter, frequency);
    return true;
  }
  if (!counter) return false;
  *counter = m_counter;
  if (m_stepPerRead != 0) StepClock(m_stepPerRead);
  if (m_counterListener) m_counterListener(m_counterContext, *counter, m_frequency);
  return true;
}

uint32_t ScriptedSystem::GetTickCount() {
  return m_manualClock ? m_tickCount : Real().GetTickCount();
}

void ScriptedSystem::Sleep(uint32_t milliseconds) {
  m_sleeps.push_back(milliseconds);
  if (!m_manualClock) Real().Sleep(milliseconds);
}

}  // namespace plat
