// The built program started as a player starts it, against what a player's machine throws at
// it: a copy already running from another folder, a folder it cannot write, a full disk, files it
// cannot read. And the whole-file writer those files go through.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "Engine/SafeFile.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

// Small enough that the tracker's opening text and the pad table do not fit, large enough for
// nothing else to matter.
constexpr rlim_t kFileSizeLimit = 512;

// Runs `body` with files limited to kFileSizeLimit bytes, as a full disk would limit them.
template <typename Body>
void WithFileSizeLimit(Body body) {
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit limit = saved;
  limit.rlim_cur = kFileSizeLimit;
  sighandler_t previous = signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &limit);
  body();
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previous);
}

// One run of the game, headless, in `folder`, its stderr going to a file.
class Program {
 public:
  Program(const std::string& folder, bool limitFileSize) : m_errPath(folder + ".stderr") {
    m_pid = fork();
    if (m_pid != 0) return;
    FILE* err = std::fopen(m_errPath.c_str(), "wb");
    if (!err || chdir(folder.c_str()) != 0) _exit(120);
    dup2(fileno(err), STDERR_FILENO);
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    if (limitFileSize) {
      rlimit limit{kFileSizeLimit, kFileSizeLimit};
      signal(SIGXFSZ, SIG_IGN);
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    execl(PENDRAKE_EXECUTABLE, PENDRAKE_EXECUTABLE, static_cast<char*>(nullptr));
    _exit(121);
  }
  ~Program() {
    if (m_pid > 0 && ExitCode(0) == kRunning) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
  }

  static constexpr int kRunning = -1000;
  // Waits on the program are safety nets for a program that hangs, far above what a start takes
  // on a loaded machine under the sanitizers: never a verdict on its speed.
  static constexpr int kSafetyNetMs = 180000;
  // The exit code once the program has ended within `ms` milliseconds; kRunning while it runs;
  // the negated signal number when a signal ended it.
  int ExitCode(int ms) {
    if (m_status != kRunning) return m_status;
    for (int waited = 0;; waited += 10) {
      int status = 0;
      if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
        return m_status;
      }
      if (waited >= ms) return kRunning;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  // Asks it to end as Ctrl+C would, and gives its exit code.
  int Stop() {
    if (ExitCode(0) == kRunning) kill(m_pid, SIGTERM);
    return ExitCode(kSafetyNetMs);
  }
  std::string Stderr() const { return ReadFileBytes(m_errPath); }
  // True once stderr holds `text`; false when it ended or took too long without saying it.
  bool WaitToSay(const std::string& text) {
    for (int waited = 0; waited < kSafetyNetMs; waited += 20) {
      if (Stderr().find(text) != std::string::npos) return true;
      if (ExitCode(20) != kRunning) return Stderr().find(text) != std::string::npos;
    }
    return false;
  }

 private:
  std::string m_errPath;
  pid_t m_pid = -1;
  int m_status = kRunning;
};

// Said by the game once its hardware is up (the debug log's echo).
const char kStarted[] = "Found 0 Pads";
const char kUnwritable[] =
    "Pendrake cannot write to the folder it was started in, so its logs and settings will not "
    "be saved.";

class ProgramFolderTest : public TempDirTest {
 protected:
  ~ProgramFolderTest() override {
    if (m_mounted) umount2(m_game.c_str(), MNT_DETACH);
  }
  std::string Folder(const char* name) {
    std::string path = m_tempDir.Path() + "/" + name;
    fs::create_directory(path);
    return path;
  }
  bool MountTmpfs(const std::string& path) {
    m_game = path;
    m_mounted = geteuid() == 0 && mount("tmpfs", path.c_str(), "tmpfs", 0, "size=256k") == 0;
    return m_mounted;
  }

  std::string m_game;
  bool m_mounted = false;
};

TEST_F(ProgramFolderTest, ASecondCopyFromAnotherFolderEndsAtOnceAndQuietly) {
  Program first(Folder("one"), false);
  ASSERT_TRUE(first.WaitToSay(kStarted)) << first.Stderr();
  Program second(Folder("two"), false);
  EXPECT_EQ(second.ExitCode(Program::kSafetyNetMs), 0);
  EXPECT_EQ(second.Stderr(), "");
  EXPECT_FALSE(fs::exists(m_tempDir.Path() + "/two/Debug.log")) << "it got as far as starting";
  EXPECT_EQ(first.ExitCode(0), Program::kRunning);
  EXPECT_EQ(first.Stop(), 0);
}

// A folder it cannot write and a full one: the game runs all the same, says so once, and the
// files it found there stay as they were.
TEST_F(ProgramFolderTest, AFolderThatCannotTakeItsFilesKeepsThemWhole) {
  struct Case {
    const char* name;
    bool full;  // else read-only
    const char* said;
  };
  const Case cases[] = {
      {"full", true, "Unable to save pdjp.cfg: "},
      {"read-only", false, kUnwritable},
  };
  const std::string oldTable(1000, '\x5A');  // short: the game would rewrite it at full size
  const std::string oldLog = "the previous run's memory log\r\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string game = Folder(c.name);
    bool mounted = MountTmpfs(game);
    if (!mounted && geteuid() == 0 && !c.full) {
      GTEST_SKIP() << "running as root without mounts: no folder can be made unwritable";
    }
    WriteFileBytes(game + "/pdjp.cfg", oldTable.data(), oldTable.size());
    WriteFileText(game + "/memory.log", oldLog);
    if (!c.full) {
      if (mounted) {
        ASSERT_EQ(mount("tmpfs", game.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr), 0);
      } else {
        chmod(game.c_str(), 0555);
      }
    } else if (mounted) {
      std::ofstream filler(game + "/filler", std::ios::binary);
      const std::string block(4096, '\0');
      while (filler.write(block.data(), block.size())) filler.flush();
    }

    Program program(game, c.full && !mounted);
    EXPECT_TRUE(program.WaitToSay(c.said)) << program.Stderr();
    EXPECT_EQ(program.ExitCode(300), Program::kRunning) << program.Stderr();
    EXPECT_EQ(program.Stop(), 0);
    const std::string said = program.Stderr();
    EXPECT_EQ(said.find(kUnwritable) == std::string::npos, c.full);
    EXPECT_EQ(said.find(kUnwritable), said.rfind(kUnwritable)) << "said once";
    // Once told, the player is not told again by an assertion per log message; the log's
    // messages still reach the debugger output.
    EXPECT_EQ(said.find("Assertion failed"), std::string::npos) << said;
    EXPECT_NE(said.find(std::string(kStarted) + "\n"), std::string::npos) << said;
    // The tracker's opening text does not fit either, and the debug log says so.
    EXPECT_NE(said.find("Unable to write memory.log: "), std::string::npos) << said;
    EXPECT_EQ(ReadFileBytes(game + "/pdjp.cfg"), oldTable);
    if (mounted) {
      EXPECT_EQ(ReadFileBytes(game + "/memory.log"), oldLog);
    }

    chmod(game.c_str(), 0755);
    if (mounted) umount2(game.c_str(), MNT_DETACH);
    m_mounted = false;
  }
}

// Which file is at a path and what kind, without following it: a replacement shows.
std::string Describe(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return "nothing";
  return std::to_string(st.st_ino) + " " + std::to_string(st.st_mode);
}

// Only a missing file is made afresh; one the game cannot read or replace stays as it is, and
// one line of "Debug.log" says why.
TEST_F(ProgramFolderTest, FilesItCannotReadOrReplaceAreKeptAndSaidOnce) {
  struct Case {
    const char* file;
    int (*make)(const char* path);
    std::string said;  // how its one line starts; empty for none
  };
  const Case cases[] = {
      {"pdjp.cfg", [](const char*) { return 0; }, ""},
      {"pdjp.cfg", [](const char* p) { return symlink("pdjp.cfg", p); },
       "Unable to read pdjp.cfg (Too many levels of symbolic links)"},
      // The program's own memory at address 0: the read fails with an I/O error.
      {"pdjp.cfg", [](const char* p) { return symlink("/proc/self/mem", p); },
       "Unable to read pdjp.cfg (Input/output error)"},
      {"pdjp.cfg", [](const char* p) { return mkfifo(p, 0644); },
       "Unable to read pdjp.cfg (not a regular file)"},
      {"memory.log", [](const char* p) { return mkdir(p, 0755); },
       "Unable to write memory.log: Is a directory"},
  };
  for (const Case& c : cases) {
    const std::string game = Folder(("files " + std::to_string(&c - cases)).c_str());
    const std::string path = game + "/" + c.file;
    SCOPED_TRACE(path);
    ASSERT_EQ(c.make(path.c_str()), 0);
    const std::string before = Describe(path);

    Program program(game, false);
    EXPECT_TRUE(program.WaitToSay(kStarted)) << program.Stderr();
    EXPECT_EQ(program.Stop(), 0);
    std::vector<std::string> said;
    for (const std::string& line : ReadCrLfLines(game + "/Debug.log"))
      if (line.find(c.file) != std::string::npos) said.push_back(line.substr(0, c.said.size()));
    EXPECT_EQ(said, c.said.empty() ? std::vector<std::string>{} : std::vector{c.said});
    if (c.said.empty()) {
      EXPECT_EQ(ReadFileBytes(path).size(), 282624u);
    } else {
      EXPECT_EQ(Describe(path), before);
    }
  }
}

// Saves killed before their rename leave "<file>.<pid>.<n>.tmp" beside the player's files; the
// next start removes those of a process that has ended, and nothing else.
TEST_F(ProgramFolderTest, TheTemporariesOfKilledSavesGoAtTheNextStart) {
  const std::string game = Folder("game");
  const pid_t ended = fork();
  if (ended == 0) _exit(0);
  waitpid(ended, nullptr, 0);
  const std::string dead = std::to_string(ended);
  const std::vector<std::string> leftovers = {
      "PDSG.raw." + dead + ".0.tmp", "PDSG.raw." + dead + ".7.tmp", "pdjp.cfg." + dead + ".1.tmp",
      "memory.log." + dead + ".2.tmp"};
  const std::vector<std::string> kept = {"PDSG.raw." + dead + ".tmp", "PDSG.raw.bak",
                                         "PDSG.raw." + dead + ".1.tmp~",
                                         "Debug.log." + dead + ".1.tmp"};
  for (const std::string& name : leftovers) WriteFileText(game + "/" + name, "partial");
  for (const std::string& name : kept) WriteFileText(game + "/" + name, "keep");

  Program program(game, false);
  ASSERT_TRUE(program.WaitToSay(kStarted)) << program.Stderr();
  // The profile is loaded after the hardware is up.
  EXPECT_TRUE(program.WaitToSay("of PDSG.raw left by saves that did not finish"));
  EXPECT_EQ(program.Stop(), 0);
  for (const std::string& name : leftovers) EXPECT_FALSE(fs::exists(game + "/" + name)) << name;
  for (const std::string& name : kept) EXPECT_EQ(ReadFileBytes(game + "/" + name), "keep") << name;
  const std::string said = program.Stderr();
  EXPECT_NE(said.find("Removed 2 temporary file(s) of PDSG.raw"), std::string::npos) << said;
  EXPECT_NE(said.find("Removed 1 temporary file(s) of pdjp.cfg"), std::string::npos) << said;
}

// A debugger shows each message as an entry of its own: on stderr, a line of its own.
TEST_F(ProgramFolderTest, StartUpSaysOneMessagePerLine) {
  Program program(Folder("game"), false);
  ASSERT_TRUE(program.WaitToSay(kStarted)) << program.Stderr();
  EXPECT_EQ(program.Stop(), 0);
  const std::string rule(80, '-');
  const std::string start =
      rule + "\n\n" + rule + "\n\nCreating a DirectX9 Device.......................\n";
  EXPECT_EQ(program.Stderr().substr(0, start.size()), start);
}

TEST_F(ProgramFolderTest, WholeFileWriteReplacesOrLeavesTheOldFile) {
  struct Case {
    const char* name;
    size_t size;
    bool limited;
    int error;
  };
  const Case cases[] = {
      {"fits", 4000, false, 0},
      {"disk full", 4000, true, EFBIG},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string old = "old contents";
    WriteFileText("file.bin", old);
    const std::string data(c.size, 'n');
    int error = -1;
    if (c.limited) {
      WithFileSizeLimit([&] { error = WriteFileWhole("file.bin", data.data(), data.size()); });
    } else {
      error = WriteFileWhole("file.bin", data.data(), data.size());
    }
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(ReadFileBytes("file.bin"), error ? old : data);
    // Nothing left behind beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 1);
  }
}

TEST_F(ProgramFolderTest, WholeFileWriteNeverReusesALeftoverTemporary) {
  // Leftovers of a run that crashed, under every name this process could pick first.
  const std::string old = "old contents";
  WriteFileText("file.bin", old);
  const std::string prefix = "file.bin." + std::to_string(getpid()) + ".";
  for (int serial = 0; serial < 1000; ++serial)
    WriteFileText(prefix + std::to_string(serial) + ".tmp", "keep");
  const std::string data(100, 'n');
  EXPECT_EQ(WriteFileWhole("file.bin", data.data(), data.size()), EEXIST);
  EXPECT_EQ(ReadFileBytes("file.bin"), old);
  for (int serial = 0; serial < 1000; ++serial)
    ASSERT_EQ(ReadFileBytes(prefix + std::to_string(serial) + ".tmp"), "keep") << serial;
}

}  // namespace
