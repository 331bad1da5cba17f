#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "Engine/Assert.h"
#include "Engine/LogFile.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace {

const std::string kRule(80, '-');

class LogFileTest : public TempDirTest {};

TEST_F(LogFileTest, FirstWriteStartsAFreshFileWithHeaderThenTheMessage) {
  WriteFileText("Debug.log", "previous run\r\n");
  LogFile log;
  log.Write("before start-up %d", 1);  // appended to the old run's file
  EXPECT_EQ(ReadCrLfLines("Debug.log"), (std::vector<std::string>{"previous run", "before start-up 1"}));

  log.SetFirstWrite();
  log.Write("Display %dx%d\n", 640, 480);
  log.Write("%s", "");
  log.Write("second");
  EXPECT_EQ(log.FirstWrite(), 0);
  EXPECT_EQ(ReadFileBytes("Debug.log"),
            kRule + "\r\n\r\n" + kRule + "\r\n\r\n" + "Display 640x480\n\r\n" + "\r\n" + "second\r\n");
}

TEST_F(LogFileTest, LongMessagesAreCutAtTheBuffer) {
  LogFile log;
  std::string longText(5000, 'x');
  log.Write("%s", longText.c_str());
  EXPECT_EQ(ReadFileBytes("Debug.log"), std::string(2047, 'x') + "\r\n");
}

// A log that cannot be opened is worth an assertion until the player has been told that the
// folder cannot be written; from then on each message goes on to the debugger output alone.
TEST_F(LogFileTest, UnwritableLogAssertsUntilThePlayerIsTold) {
  ASSERT_EQ(mkdir("Debug.log", 0755), 0);  // a folder in the way: fopen fails even for root
  for (bool told : {false, true}) {
    SCOPED_TRACE(told);
    AssertCounter asserts;
    LogFile log;
    log.SetFolderUnwritableTold(told);
    testing::internal::CaptureStderr();
    log.Write("message %d", 1);
    const std::string said = testing::internal::GetCapturedStderr();
    // The report itself goes through the log; it must not recurse.
    EXPECT_EQ(asserts.Count(), told ? 0u : 1u);
    EXPECT_EQ(asserts.LastFile(), told ? "" : "Engine/LogFile");
    EXPECT_EQ(said == "message 1\n", told) << said;
  }
}

TEST_F(LogFileTest, AssertionReportsLogAndContinue) {
  AssertCounter asserts;
  int x = 2;
  KASSERT(x == 3);
  KASSERT(x == 2);
  EXPECT_EQ(asserts.Count(), 1u);
  EXPECT_TRUE(DebugLogContains("Assertion failed: x == 3, file "));
  EXPECT_EQ(asserts.LastLine(), __LINE__ - 4);
}

}  // namespace
