#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "Engine/DataFolder.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCFileIO.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace {

class FileIOTest : public TempDirTest {
 protected:
  void SetUp() override { SetDataFolder(nullptr); }
  void TearDown() override {
    SetDataFolder(nullptr);
    // No path block may outlive its call.
    EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("FileIO::GetFileSize"), 0u);
    EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("FileIO::LoadFile"), 0u);
  }
  static std::vector<std::string> Log() { return ReadCrLfLines("Debug.log"); }
};

std::string AsString(const void* data, int32_t size) {
  return std::string(static_cast<const char*>(data), static_cast<size_t>(size));
}

TEST_F(FileIOTest, LoadsExactBytesAndReportsTheSize) {
  // Binary content: zeros, CR/LF pairs and a Ctrl-Z must all come through untouched.
  std::string content("a\0b\r\n\x1a\xff\r", 8);
  WriteFileBytes("blob.bin", content.data(), content.size());

  EXPECT_EQ(FileIO::GetFileSize("blob.bin"), 8);
  int32_t size = -1;
  // The path block is still live when the data block is made, so an overrun of it is seen.
  MemoryTracker::RestartLog();
  MemoryTracker::AlwaysValidateAll() = 1;
  void* data = FileIO::LoadFile("blob.bin", &size);
  MemoryTracker::AlwaysValidateAll() = 0;
  EXPECT_EQ(ReadFileBytes("memory.log").find("overrun"), std::string::npos);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(size, 8);
  EXPECT_EQ(AsString(data, size), content);
  const AllocUnit* unit = MemoryTracker::FindUnit(data);
  ASSERT_NE(unit, nullptr);
  EXPECT_EQ(unit->reportedSize, 8u);  // no terminator added
  EXPECT_STREQ(unit->sourceFunc, "FileIO::LoadFile");
  EXPECT_EQ(unit->allocationType, static_cast<uint32_t>(kAllocMalloc));

  GlobalFileIO().FreeFileMemory(data);
  EXPECT_EQ(MemoryTracker::FindUnit(data), nullptr);
  GlobalFileIO().FreeFileMemory(nullptr);  // harmless
  EXPECT_TRUE(Log().empty());
}

TEST_F(FileIOTest, MissingFileLogsBothLinesWithTheNameAsGiven) {
  SetDataFolder("data\\");
  EXPECT_EQ(FileIO::GetFileSize("gone.bin"), 0);
  int32_t size = 123;
  EXPECT_EQ(FileIO::LoadFile("gone.bin", &size), nullptr);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(Log(), (std::vector<std::string>{"Unable to find file gone.bin\n",
                                             "Unable to find file gone.bin\n",
                                             "Unable to find load gone.bin\n"}));
}

TEST_F(FileIOTest, EmptyFileOrFolderDoesNotLoad) {
  WriteFileText("empty.bin", "");
  ASSERT_EQ(mkdir("folder", 0755), 0);

  EXPECT_EQ(FileIO::GetFileSize("empty.bin"), 0);
  EXPECT_EQ(FileIO::LoadFile("empty.bin"), nullptr);
  // A folder opens on Linux but never on the original platform: it is not a file.
  EXPECT_EQ(FileIO::GetFileSize("folder"), 0);
  EXPECT_EQ(FileIO::LoadFile("folder"), nullptr);
  EXPECT_EQ(Log(), (std::vector<std::string>{"Unable to find load empty.bin\n",
                                             "Unable to find file folder\n",
                                             "Unable to find file folder\n",
                                             "Unable to find load folder\n"}));
}

TEST_F(FileIOTest, FileWithoutReadPermissionIsNotFound) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  WriteFileText("secret.bin", "data");
  ASSERT_EQ(chmod("secret.bin", 0), 0);
  EXPECT_EQ(FileIO::LoadFile("secret.bin"), nullptr);
  EXPECT_EQ(Log(), (std::vector<std::string>{"Unable to find file secret.bin\n",
                                             "Unable to find load secret.bin\n"}));
}

TEST_F(FileIOTest, ShortReadGivesNothing) {
  // Sysfs attributes claim a size of a page but hold a few bytes: the read comes back short,
  // as it would for a file truncated between the size query and the read.
  const char* path = "/sys/kernel/mm/transparent_hugepage/enabled";
  struct stat st;
  if (stat(path, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != 4096)
    GTEST_SKIP() << "no sysfs attribute to read";
  EXPECT_EQ(FileIO::GetFileSize(path), 4096);
  int32_t size = 1;
  EXPECT_EQ(FileIO::LoadFile(path, &size), nullptr);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(Log(), (std::vector<std::string>{std::string("File read returned bad size. ") + path +
                                             "\n"}));
}

TEST_F(FileIOTest, FileLargerThanASignedSizeIsRefused) {
  // A sparse file costs no disk space.
  int fd = open("huge.bin", O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, static_cast<off_t>(INT32_MAX) + 1), 0);
  close(fd);
  EXPECT_EQ(FileIO::GetFileSize("huge.bin"), 0);
  EXPECT_EQ(FileIO::LoadFile("huge.bin"), nullptr);
  EXPECT_EQ(Log(), (std::vector<std::string>{
                       "File too large to load huge.bin (2147483648 bytes)\n",
                       "File too large to load huge.bin (2147483648 bytes)\n",
                       "Unable to find load huge.bin\n"}));
}

TEST_F(FileIOTest, RefusedBlockIsLoggedAndNothingLeaks) {
  WriteFileText("a.bin", "12345");
  // The size query and the load each take a path block first; the third request is the data.
  MemoryTracker::InduceFailures(2, 1);
  void* data = FileIO::LoadFile("a.bin");
  MemoryTracker::InduceFailures(-1, 0);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(Log(), (std::vector<std::string>{"Unable to allocate 5 for a.bin\n"}));
}

TEST_F(FileIOTest, PrefixIsJoinedWithoutSeparatorAndCaseIsMapped) {
  WriteFileText("Data/Frontend/Menu.TXT", "menu");
  WriteFileText("prefix.bin", "joined");
  WriteFileText("fix.bin", "bare");

  SetDataFolder("pre");
  int32_t size = 0;
  void* data = FileIO::LoadFile("fix.bin", &size);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(AsString(data, size), "joined");
  GlobalFileIO().FreeFileMemory(data);

  // Program paths use backslashes and any case; the prefix carries its own separator.
  SetDataFolder("data\\frontend\\");
  EXPECT_EQ(FileIO::GetFileSize("menu.txt"), 4);
  data = FileIO::LoadFile("MENU.txt", &size);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(AsString(data, size), "menu");
  GlobalFileIO().FreeFileMemory(data);

  // Without a prefix the name is the whole path.
  SetDataFolder(nullptr);
  data = FileIO::LoadFile("fix.bin", &size);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(AsString(data, size), "bare");
  GlobalFileIO().FreeFileMemory(data);

  // The load's own failure line carries the joined path.
  SetDataFolder("data\\frontend\\");
  EXPECT_EQ(FileIO::LoadFile("nothing"), nullptr);
  EXPECT_EQ(Log(), (std::vector<std::string>{"Unable to find file nothing\n",
                                             "Unable to find load nothing\n"}));
}

TEST_F(FileIOTest, LoadReturnsSizeOrPointer) {
  WriteFileText("four.bin", "four");
  FileIO& io = GlobalFileIO();
  void* data = nullptr;
  int32_t size = 0;
  EXPECT_EQ(io.Load("four.bin", &data, &size), 4);
  EXPECT_EQ(size, 4);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(AsString(data, 4), "four");
  io.FreeFileMemory(data);

  intptr_t result = io.Load("four.bin", &data, nullptr);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(result, reinterpret_cast<intptr_t>(data));
  io.FreeFileMemory(data);

  data = &size;
  size = 9;
  EXPECT_EQ(io.Load("missing.bin", &data, &size), 0);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(size, 0);
}

}  // namespace
