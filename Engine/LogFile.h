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

  // Set once the player has been told that the working folder cannot be written. A log file
  // that cannot be opened is then no news: each message goes to the debugger output alone,
  // instead of raising an assertion that says the same again for every message.
  void SetFolderUnwritableTold(bool told) { m_folderUnwritableTold = told; }

 private:
  void WriteLine(const char* text);
  void ReportMemoryLogFailure();

  int m_firstWrite = 0;
  // This run's file has begun (its header is written): what is written now stays in it.
  bool m_started = false;
  bool m_folderUnwritableTold = false;
};

// The one log object of the program (the application object hands out this one).
LogFile& DebugLog();
