#pragma once
// The engine's debug log: every message becomes one line of "Debug.log" in the working folder
// and is echoed to the debugger output.

class LogFile {
 public:
  static constexpr int kBufferSize = 2048;

  // Formats printf-style (truncated to 2047 characters) and appends the text and "\r\n".
  void Write(const char* format, ...) __attribute__((format(printf, 2, 3)));

  // The next message starts "Debug.log" afresh with its header (done once per run, during the
  // application's hardware start-up).
  void SetFirstWrite() { m_firstWrite = 1; }
  int FirstWrite() const { return m_firstWrite; }

 private:
  void WriteLine(const char* text);

  int m_firstWrite = 0;
};

// The one log object of the program (the application object hands out this one).
LogFile& DebugLog();
