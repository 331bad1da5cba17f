#pragma once
// Assertions stay in the shipped program and never abort: a failed check is reported (debug log
// and stderr) and execution goes on, so that the caller's own recovery path runs.

using AssertHook = void (*)(const char* expression, const char* file, int line);

// Reports one failed assertion. `file` is the source name as the report should show it.
void AssertReport(const char* expression, const char* file, int line);

// Installs a hook that sees every report (tests count them); returns the previous hook.
AssertHook SetAssertHook(AssertHook hook);

// Number of reports since the program started (or since the last reset).
unsigned AssertReportCount();
void ResetAssertReportCount();

#define KASSERT(expr) ((expr) ? (void)0 : AssertReport(#expr, __FILE__, __LINE__))

// A fault that can recur every frame or every lookup (a model that did not load, a text that is
// not there): its first occurrence is reported, the rest are only counted, and Close writes the
// count in one log line, so the log tells the fault once instead of burying everything else.
class RepeatedFault {
 public:
  // Reports the first occurrence (true); counts the later ones quietly (false).
  bool Raise(const char* expression, const char* file, int line);
  // Writes "<what>: <n> more time(s) after its report" when it recurred, and starts afresh.
  void Close(const char* what);
  bool Reported() const { return m_reported; }
  unsigned Repeats() const { return m_repeats; }

 private:
  bool m_reported = false;
  unsigned m_repeats = 0;
};
