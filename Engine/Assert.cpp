#include "Engine/Assert.h"

#include <atomic>
#include <cstdio>

#include "Engine/LogFile.h"

namespace {
std::atomic<unsigned> s_reportCount{0};
std::atomic<AssertHook> s_hook{nullptr};
// The log itself asserts when it cannot open its file; a report raised while a report is being
// written is the same failure again: it goes to stderr only and is not counted, so that a broken
// log cannot recurse forever.
thread_local bool s_inReport = false;
}  // namespace

void AssertReport(const char* expression, const char* file, int line) {
  if (s_inReport) {
    std::fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", expression, file, line);
    return;
  }
  s_reportCount.fetch_add(1, std::memory_order_relaxed);
  if (AssertHook hook = s_hook.load()) hook(expression, file, line);
  // The log echoes the line to the debugger output (stderr) as well.
  s_inReport = true;
  DebugLog().Write("Assertion failed: %s, file %s, line %d\n", expression, file, line);
  s_inReport = false;
}

AssertHook SetAssertHook(AssertHook hook) { return s_hook.exchange(hook); }

unsigned AssertReportCount() { return s_reportCount.load(std::memory_order_relaxed); }

void ResetAssertReportCount() { s_reportCount.store(0, std::memory_order_relaxed); }

bool RepeatedFault::Raise(const char* expression, const char* file, int line) {
  if (m_reported) {
    ++m_repeats;
    return false;
  }
  m_reported = true;
  AssertReport(expression, file, line);
  return true;
}

void RepeatedFault::Close(const char* what) {
  if (m_repeats > 0)
    DebugLog().Write("%s: %u more time(s) after its report\n", what ? what : "", m_repeats);
  m_reported = false;
  m_repeats = 0;
}
