#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "Platform/System/HostPath.h"
#include "tests/support/TempDir.h"

namespace {

class HostPathTest : public TempDirTest {};

TEST_F(HostPathTest, BackslashesBecomeSlashesAndExactPathsStay) {
  WriteFileText("Data/Frontend/Font.wft", "x");
  EXPECT_EQ(HostPath("Data\\Frontend\\Font.wft"), "Data/Frontend/Font.wft");
  EXPECT_EQ(HostPath("Data/Frontend/Font.wft"), "Data/Frontend/Font.wft");
  EXPECT_EQ(HostPath(""), "");
  EXPECT_EQ(HostPath(nullptr), "");
}

TEST_F(HostPathTest, EachComponentIsMatchedIgnoringCase) {
  WriteFileText("Data/Frontend/Font.wft", "x");
  EXPECT_EQ(HostPath("data\\FRONTEND\\font.WFT"), "Data/Frontend/Font.wft");
  // A folder with its trailing separator, as data-folder prefixes are written.
  EXPECT_EQ(HostPath("DATA\\frontend\\"), "Data/Frontend/");
  // Absolute paths resolve from the root.
  std::string root = m_tempDir.Path();
  EXPECT_EQ(HostPath((root + "\\data\\frontend\\FONT.wft").c_str()), root + "/Data/Frontend/Font.wft");
}

TEST_F(HostPathTest, ExactSpellingWinsOverOtherCases) {
  WriteFileText("dir/abc", "1");
  WriteFileText("dir/ABC", "2");
  WriteFileText("dir/Abc", "3");
  EXPECT_EQ(HostPath("dir\\abc"), "dir/abc");
  EXPECT_EQ(HostPath("dir\\Abc"), "dir/Abc");
  // No exact entry: the choice among several must not depend on listing order.
  std::string first = HostPath("DIR\\aBC");
  EXPECT_EQ(first, "dir/ABC");
  EXPECT_EQ(HostPath("DIR\\aBC"), first);
  // An exact folder is kept even where a differently cased twin exists.
  WriteFileText("Dir/abc", "4");
  EXPECT_EQ(HostPath("Dir\\aBC"), "Dir/abc");
  EXPECT_EQ(HostPath("dir\\aBC"), "dir/ABC");
}

TEST_F(HostPathTest, UnmatchedComponentsKeepTheirSpelling) {
  WriteFileText("Data/Music/song.ogg", "x");
  // A file about to be written keeps its given name; folders above it are still matched.
  EXPECT_EQ(HostPath("data\\music\\NewSave.dat"), "Data/Music/NewSave.dat");
  // Once a folder is missing, everything below it stays as written.
  EXPECT_EQ(HostPath("data\\Missing\\music\\song.ogg"), "Data/Missing/music/song.ogg");
}

TEST_F(HostPathTest, DotAndDotDotPassThrough) {
  WriteFileText("Data/Sub/file.txt", "x");
  WriteFileText("Other/Thing.bin", "y");
  EXPECT_EQ(HostPath("data\\sub\\..\\..\\other\\thing.BIN"), "Data/Sub/../../Other/Thing.bin");
  EXPECT_EQ(HostPath(".\\DATA\\.\\SUB\\FILE.TXT"), "./Data/./Sub/file.txt");
  struct stat st;
  EXPECT_EQ(stat(HostPath("data\\sub\\..\\..\\other\\thing.BIN").c_str(), &st), 0);
}

}  // namespace
