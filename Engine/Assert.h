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
