#pragma once
// A plat::System for tests. It wraps a real back end (the SDL one unless told otherwise) and
// passes every call through, except what a test scripts: events queued ahead of the real ones,
// a forced desktop depth, a failing instance lock or window, a manual clock, and it records
// sleeps and message boxes.
//
//   plat::ScriptedSystem system;   // installs itself on Install(), uninstalls when destroyed
//   system.Install();
//   system.QueueEvent(plat::WindowEventType::Minimised);
//   system.UseManualClock(true);
//   system.AdvanceMilliseconds(17);

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "Platform/System/System.h"

namespace plat {

class ScriptedSystem : public System {
 public:
  struct MessageBoxRecord {
    std::string text;
    std::string caption;  // empty for no caption
    uint32_t flags = 0;
  };

  // `real` is what unscripted calls reach; null means GetSdlSystem().
  explicit ScriptedSystem(System* real = nullptr);
  ~ScriptedSystem() override;
  ScriptedSystem(const ScriptedSystem&) = delete;
  ScriptedSystem& operator=(const ScriptedSystem&) = delete;

  // SetSystem(this) / SetSystem(null) when this one is installed.
  void Install();
  void Uninstall();

  // --- Events: handed out by PeekEvent, in order, before any real event.
  void QueueEvent(WindowEventType type, int32_t param = 0);

  // --- Desktop: a depth in bits replacing the real one (0 gives the real one back).
  void ForceDesktopBits(int32_t bits) { m_desktopBits = bits; }

  // --- Failures.
  // A failing lock reads as another copy holding it.
  void SetInstanceLockFails(bool fails) { m_lockFails = fails; }
  void SetWindowCreationFails(bool fails) { m_windowFails = fails; }
  void SetFrequencyFails(bool fails) { m_frequencyFails = fails; }

  // --- Manual clock. While it is on, the counter and the tick count read only what the test
  // sets, and Sleep records the call without sleeping. Off, both are the real clock (Sleep is
  // still recorded, and sleeps).
  void UseManualClock(bool manual) { m_manualClock = manual; }
  void SetFrequency(int64_t countsPerSecond) { m_frequency = countsPerSecond; }
  void SetCounter(int64_t counts) { m_counter = counts; }
  void AdvanceCounter(int64_t counts) { m_counter += counts; }
  void SetTickCount(uint32_t milliseconds) { m_tickCount = milliseconds; }
  void AdvanceTickCount(uint32_t milliseconds) { m_tickCount += milliseconds; }
  // Moves the counter and the tick count on together by this many milliseconds.
  void AdvanceMilliseconds(uint32_t milliseconds);
  // Each counter read moves the manual clock on by this many counts afterwards (the tick count
  // following in step), so that a loop waiting on the clock gets somewhere. 0 turns it off.
  void SetCounterStepPerRead(int64_t counts) { m_stepPerRead = counts; }
  // Called with each value the counter reads (manual or real) and the counter's frequency, so
  // that a test can move other clocked work (the sound output) with the program's own clock.
  using CounterListener = void (*)(void* context, int64_t counter, int64_t frequency);
  void SetCounterListener(CounterListener listener, void* context) {
    m_counterListener = listener;
    m_counterContext = context;
  }

  // --- Records.
  const std::vector<uint32_t>& SleepCalls() const { return m_sleeps; }
  const std::vector<MessageBoxRecord>& MessageBoxes() const { return m_messageBoxes; }
  // Whether message boxes also reach the real back end (stderr, SDL); on by default.
  void SetMessageBoxPassThrough(bool passThrough) { m_messageBoxPassThrough = passThrough; }
  // The last value given to ShowCursor (true before any call).
  bool CursorVisible() const { return m_cursorVisible; }
  void ClearRecords();

  // --- plat::System.
  DesktopMode GetDesktopMode() override;
  InstanceLock TakeInstanceLock(const char* name) override;
  void ReleaseInstanceLock() override;
  bool CanWriteWorkingFolder() override;
  WindowHandle CreateAppWindow(int32_t clientWidth, int32_t clientHeight, int32_t* x,
                               int32_t* y) override;
  void DestroyAppWindow() override;
  WindowHandle GetAppWindow() override;
  bool PeekEvent(WindowEvent* event) override;
  void PostQuit() override;
  void ShowCursor(bool show) override;
  void MessageBox(const char* text, const char* caption, uint32_t flags) override;
  bool QueryPerformanceFrequency(int64_t* frequency) override;
  bool QueryPerformanceCounter(int64_t* counter) override;
  uint32_t GetTickCount() override;
  void Sleep(uint32_t milliseconds) override;

 private:
  System& Real();
  void StepClock(int64_t counts);

  System* m_real = nullptr;
  std::deque<WindowEvent> m_events;
  int32_t m_desktopBits = 0;
  bool m_lockFails = false;
  bool m_windowFails = false;
  bool m_frequencyFails = false;
  bool m_manualClock = false;
  int64_t m_frequency = 1000000000;
  int64_t m_counter = 0;
  uint32_t m_tickCount = 0;
  int64_t m_stepPerRead = 0;
  CounterListener m_counterListener = nullptr;
  void* m_counterContext = nullptr;
  // Counts times 1000 not yet turned into whole milliseconds of the tick count.
  int64_t m_tickRemainder = 0;
  std::vector<uint32_t> m_sleeps;
  std::vector<MessageBoxRecord> m_messageBoxes;
  bool m_messageBoxPassThrough = true;
  bool m_cursorVisible = true;
};

}  // namespace plat
