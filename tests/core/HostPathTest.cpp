#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <utility>

#include "Platform/System/HostPath.h"
#include "tests/support/TempDir.h"

namespace {

class HostPathTest : public TempDirTest {};

TEST_F(HostPathTest, ComponentsMatchIgnoringCaseWithTheExactSpellingFirst) {
  for (const char* file : {"Data/Frontend/Font.wft", "dir/abc", "dir/ABC", "dir/Abc",
                           "Data/Music/song.ogg", "Data/Sub/file.txt", "Other/Thing.bin"})
    WriteFileText(file, "x");
  const std::string root = m_tempDir.Path();
  const std::pair<std::string, std::string> cases[] = {
      {"Data\\Frontend\\Font.wft", "Data/Frontend/Font.wft"},
      {"Data/Frontend/Font.wft", "Data/Frontend/Font.wft"},
      {"", ""},
      {"data\\FRONTEND\\font.WFT", "Data/Frontend/Font.wft"},
      // A folder with its trailing separator, as data-folder prefixes are written.
      {"DATA\\frontend\\", "Data/Frontend/"},
      {root + "\\data\\frontend\\FONT.wft", root + "/Data/Frontend/Font.wft"},
      {"dir\\abc", "dir/abc"},
      {"dir\\Abc", "dir/Abc"},
      // No exact entry: the choice among several must not depend on listing order.
      {"DIR\\aBC", "dir/ABC"},
      {"DIR\\aBC", "dir/ABC"},
      // A file about to be written keeps its given name; folders above it are still matched.
      {"data\\music\\NewSave.dat", "Data/Music/NewSave.dat"},
      // Once a folder is missing, everything below it stays as written.
      {"data\\Missing\\music\\song.ogg", "Data/Missing/music/song.ogg"},
      {"data\\sub\\..\\..\\other\\thing.BIN", "Data/Sub/../../Other/Thing.bin"},
      {".\\DATA\\.\\SUB\\FILE.TXT", "./Data/./Sub/file.txt"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(HostPath(in.c_str()), out) << in;
  EXPECT_EQ(HostPath(nullptr), "");
  struct stat st;
  EXPECT_EQ(stat(HostPath("data\\sub\\..\\..\\other\\thing.BIN").c_str(), &st), 0);
  // An exact folder is kept even where a differently cased twin exists.
  WriteFileText("Dir/abc", "4");
  EXPECT_EQ(HostPath("Dir\\aBC"), "Dir/abc");
  EXPECT_EQ(HostPath("dir\\aBC"), "dir/ABC");
}

}  // namespace
