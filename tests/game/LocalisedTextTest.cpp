// The localised text file "PendrakeText.els": texts read back as written, a damaged file refused
// whole, and every text that is not there shown as a placeholder, reported once and then counted.

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "Engine/DataFolder.h"
#include "Game/Localisation/LocalisedText.h"
#include "tests/support/ByteWriter.h"
#include "tests/support/ElsWriter.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"
#include "tools/datagen/DemoTexts.h"

namespace {

const char kHostFile[] = "data/PendrakeText.els";

class LocalisedTextTest : public TempDirTest {
 protected:
  void SetUp() override { GetLocalisedTextTable().Clear(); }
  void TearDown() override {
    GetLocalisedTextTable().Clear();
    SetDataFolder(nullptr);
  }
  static std::u16string Text(int32_t id) { return GetLocalisedText(id); }
  static std::string Utf8(int32_t id) {
    char buffer[256];
    return GetLocalisedTextUtf8(id, buffer, sizeof(buffer));
  }
};

TEST_F(LocalisedTextTest, TextsReadBackUnderAnyDataFolder) {
  elswriter::SaveEls(kHostFile, {u"Grüße", u"", u"日本語", u"a😀b", u"PLAIN", u""});
  // A game's prefix is in force; the text file is found all the same, and the prefix survives.
  SetDataFolder("data\\DivingGame\\");
  AssertCounter reports;
  ASSERT_TRUE(LoadLocalisedText());
  EXPECT_STREQ(GetDataFolder(), "data\\DivingGame\\");
  EXPECT_EQ(GetLocalisedTextTable().Count(), 6);
  EXPECT_EQ(Text(0), u"Gr\u00FC\u00DFe");
  EXPECT_EQ(Text(1), u"");
  EXPECT_EQ(Text(2), u"\u65E5\u672C\u8A9E");
  EXPECT_EQ(Text(3), (std::u16string{u'a', 0xD83D, 0xDE00, u'b'}));
  EXPECT_EQ(Text(4), u"PLAIN");
  EXPECT_EQ(Text(5), u"");
  EXPECT_EQ(Utf8(0),
            "Gr\xC3\xBC\xC3\x9F"
            "e");
  EXPECT_EQ(Utf8(3),
            "a\xF0\x9F\x98\x80"
            "b");
  EXPECT_EQ(reports.Count(), 0u);

  // The narrow form stops before a character that does not fit whole.
  char small[5];
  EXPECT_STREQ(GetLocalisedTextUtf8(0, small, 4), "Gr");
  EXPECT_STREQ(GetLocalisedTextUtf8(0, small, 5), "Gr\xC3\xBC");
  EXPECT_EQ(GetLocalisedTextUtf8(0, small, 0), nullptr);
}

// UTF-16 to UTF-8 at the edges of each sequence length and of the surrogates; a surrogate
// without its partner is U+FFFD.
TEST_F(LocalisedTextTest, NarrowFormEncodesEveryRange) {
  const std::pair<std::u16string, std::string> kCases[] = {
      {{0x7F}, "\x7F"},
      {{0x80}, "\xC2\x80"},
      {{0x7FF}, "\xDF\xBF"},
      {{0x800}, "\xE0\xA0\x80"},
      {{0xD7FF}, "\xED\x9F\xBF"},
      {{0xE000}, "\xEE\x80\x80"},
      {{0xFFFF}, "\xEF\xBF\xBF"},
      {{0xD800, 0xDC00}, "\xF0\x90\x80\x80"},
      {{0xDBFF, 0xDFFF}, "\xF4\x8F\xBF\xBF"},
      {{0xD800, u'x'}, "\xEF\xBF\xBDx"},
      {{0xDC00, 0xDC00}, "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {{u'x', 0xDBFF}, "x\xEF\xBF\xBD"},
      {{0xDFFF, u'y'}, "\xEF\xBF\xBDy"},
      {{0xD7FF, 0xDC00}, "\xED\x9F\xBF\xEF\xBF\xBD"},
  };
  std::vector<std::u16string> texts;
  for (const auto& [wide, narrow] : kCases) texts.push_back(wide);
  const std::vector<uint8_t> image = elswriter::Write(texts);
  ASSERT_TRUE(GetLocalisedTextTable().LoadImage(image.data(), image.size(), "ranges.els"));
  for (size_t id = 0; id < std::size(kCases); ++id)
    EXPECT_EQ(Utf8(static_cast<int32_t>(id)), kCases[id].second) << id;
}

TEST_F(LocalisedTextTest, TextsMayShareOneOffsetAndLieAnywhereAfterTheTable) {
  std::vector<uint8_t> image = elswriter::Write({u"first", u"second"});
  bytewriter::PutU32(image, elswriter::kOffsetTable + 4, elswriter::TextOffset(image, 0) + 2);
  ASSERT_TRUE(GetLocalisedTextTable().LoadImage(image.data(), image.size(), "shared.els"));
  EXPECT_EQ(Text(0), u"first");
  EXPECT_EQ(Text(1), u"irst");
}

// The file's bytes mutated in place: what each does, and the reason the log must give.
struct BadImage {
  const char* name;
  void (*mutate)(std::vector<uint8_t>& image);
  const char* logged;
};

const BadImage kBadImages[] = {
    {"bad magic", [](std::vector<uint8_t>& i) { i[0] = 'X'; }, "bad magic"},
    {"version 2", [](std::vector<uint8_t>& i) { bytewriter::PutU32(i, 4, 2); }, "version 2"},
    {"count past the file",
     [](std::vector<uint8_t>& i) { bytewriter::PutU32(i, elswriter::kOffsetCount, 100); },
     "offset table out of range"},
    {"count overflowing",
     [](std::vector<uint8_t>& i) { bytewriter::PutU32(i, elswriter::kOffsetCount, 0xFFFFFFFFu); },
     "offset table out of range"},
    {"offset at the end",
     [](std::vector<uint8_t>& i) {
       bytewriter::PutU32(i, elswriter::kOffsetTable + 4, static_cast<uint32_t>(i.size()));
     },
     "text 1 out of range"},
    {"offset far out",
     [](std::vector<uint8_t>& i) { bytewriter::PutU32(i, elswriter::kOffsetTable, 0xFFFFFFF0u); },
     "text 0 out of range"},
    {"offset odd",
     [](std::vector<uint8_t>& i) {
       bytewriter::PutU32(i, elswriter::kOffsetTable, elswriter::TextOffset(i, 0) + 1);
     },
     "text 0 misaligned"},
    {"offset into the table",
     [](std::vector<uint8_t>& i) { bytewriter::PutU32(i, elswriter::kOffsetTable + 4, 8); },
     "text 1 starts inside the offset table"},
    {"last text unterminated",
     [](std::vector<uint8_t>& i) { bytewriter::PutU16(i, i.size() - 2, u'x'); },
     "text 1 has no terminator"},
};

// A refused file leaves no table: every lookup shows the placeholder, and the first one reports.
void ExpectRefused(const std::string& row) {
  EXPECT_FALSE(GetLocalisedTextTable().IsLoaded()) << row;
  EXPECT_EQ(GetLocalisedTextTable().Count(), 0) << row;
  AssertCounter reports;
  EXPECT_EQ(std::u16string(GetLocalisedText(0)), u"[text 0]") << row;
  EXPECT_EQ(std::u16string(GetLocalisedText(1)), u"[text 1]") << row;
  EXPECT_EQ(reports.Count(), 1u) << row;
  GetLocalisedTextTable().Clear();
}

TEST_F(LocalisedTextTest, DamagedFilesAreRefusedWhole) {
  const std::vector<uint8_t> good = elswriter::Write({u"one", u"two"});
  for (const BadImage& bad : kBadImages) {
    std::vector<uint8_t> image = good;
    bad.mutate(image);
    ASSERT_TRUE(bytewriter::SaveBytes(kHostFile, image));
    // A good table first: a refused reload must not leave it half in place.
    ASSERT_TRUE(GetLocalisedTextTable().LoadImage(good.data(), good.size(), "good.els"));
    std::remove("Debug.log");
    EXPECT_FALSE(LoadLocalisedText()) << bad.name;
    EXPECT_TRUE(DebugLogContains(bad.logged)) << bad.name;
    EXPECT_TRUE(DebugLogContains("PendrakeText.els refused")) << bad.name;
    ExpectRefused(bad.name);
    // The same from memory.
    ASSERT_TRUE(GetLocalisedTextTable().LoadImage(good.data(), good.size(), "good.els"));
    EXPECT_FALSE(GetLocalisedTextTable().LoadImage(image.data(), image.size(), "bad.els"));
    EXPECT_TRUE(DebugLogContains("bad.els refused")) << bad.name;
    ExpectRefused(bad.name);
  }
}

TEST_F(LocalisedTextTest, EveryTruncationIsRefused) {
  const std::vector<uint8_t> good = elswriter::Write({u"one", u"", u"three"});
  for (size_t size = 0; size < good.size(); ++size) {
    const std::string row = "size " + std::to_string(size);
    std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<ptrdiff_t>(size));
    ASSERT_TRUE(bytewriter::SaveBytes(kHostFile, cut));
    std::remove("Debug.log");
    EXPECT_FALSE(LoadLocalisedText()) << row;
    // An empty file is refused by the loader itself, which logs its own line.
    EXPECT_TRUE(DebugLogContains("PendrakeText.els")) << row;
    ExpectRefused(row);
  }
}

TEST_F(LocalisedTextTest, MissingFileLogsAndLeavesThePrefix) {
  SetDataFolder("data\\PirateGame\\");
  EXPECT_FALSE(LoadLocalisedText());
  EXPECT_TRUE(DebugLogContains("Unable to load data\\PendrakeText.els"));
  EXPECT_STREQ(GetDataFolder(), "data\\PirateGame\\");
  ExpectRefused("missing");
}

TEST_F(LocalisedTextTest, IdsOutOfRangeReportAndKeepTheirPlaceholders) {
  elswriter::SaveEls(kHostFile, {u"zero", u"one", u"two"});
  ASSERT_TRUE(LoadLocalisedText());
  AssertCounter reports;
  const char16_t* minusOne = GetLocalisedText(-1);
  for (auto [id, shown] :
       std::vector<std::pair<int32_t, std::u16string>>{{3, u"[text 3]"},
                                                       {INT_MIN, u"[text -2147483648]"},
                                                       {INT_MAX, u"[text 2147483647]"},
                                                       {1000, u"[text 1000]"}})
    EXPECT_EQ(Text(id), shown) << id;
  EXPECT_EQ(reports.Count(), 5u);
  EXPECT_NE(reports.LastFile().find("LocalisedText"), std::string::npos);
  EXPECT_TRUE(DebugLogContains("Localised text: no text 1000 among 3, it shows as its id"));
  // A message showing the first placeholder still reads right, and asking again gives it back,
  // quietly: each missing id is reported once.
  EXPECT_EQ(std::u16string(minusOne), u"[text -1]");
  EXPECT_EQ(GetLocalisedText(-1), minusOne);
  EXPECT_EQ(Text(2), u"two");
  EXPECT_EQ(Text(3), u"[text 3]");
  EXPECT_EQ(reports.Count(), 5u);

  // Many more than are kept at once, long and short in turn: each reads whole.
  for (int32_t id : {-1000000000, 7, -222222222, 33, 1234567890, 5, -9, 444444444, 3, 88888888, -1,
                     2000000000, 10})
    EXPECT_EQ(Utf8(id), "[text " + std::to_string(id) + "]");
}

// The menu looks its texts up every frame: without the file that was 13,235 reports in ten
// seconds. Each fault is said once, and the count of the quiet lookups once at the end.
TEST_F(LocalisedTextTest, MissingTextsAreReportedOnceAndCountedAtTheEnd) {
  const struct {
    const char* name;
    bool loaded;
    unsigned reports;  // the distinct ids below that a loaded table lacks: 1000, 1001, 1002
    const char* said;
  } kCases[] = {
      {"no file", false, 1, "Localised text: no texts loaded, text 1000 and every other show"},
      {"a table without the ids", true, 3, "Localised text: no text 1002 among 2"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::remove("Debug.log");
    if (c.loaded) {
      elswriter::SaveEls(kHostFile, {u"zero", u"one"});
    } else {
      std::remove(kHostFile);
    }
    EXPECT_EQ(LoadLocalisedText(), c.loaded);
    AssertCounter reports;
    for (int frame = 0; frame < 1000; ++frame)
      for (int32_t id : {1000, 1001, 1002})
        ASSERT_EQ(Utf8(id), "[text " + std::to_string(id) + "]");
    EXPECT_EQ(reports.Count(), c.reports);
    EXPECT_EQ(GetLocalisedTextTable().MissingLookups(), 3000u);
    EXPECT_TRUE(DebugLogContains(c.said));
    size_t said = 0;
    for (const std::string& line : ReadCrLfLines("Debug.log"))
      said += line.find("Localised text") != std::string::npos ||
              line.find("Assertion failed") != std::string::npos;
    EXPECT_EQ(said, 2 * c.reports) << "a line and its report per fault";

    GetLocalisedTextTable().Clear();
    const std::string count = "Localised text: " + std::to_string(3000 - c.reports) +
                              " more lookup(s) of missing texts after their reports";
    EXPECT_TRUE(DebugLogContains(count));
    // Said once: a second clear has nothing more to say, and a new start reports afresh.
    GetLocalisedTextTable().Clear();
    const size_t lines = ReadCrLfLines("Debug.log").size();
    EXPECT_EQ(Text(1000), u"[text 1000]");
    EXPECT_EQ(reports.Count(), c.reports + 1);
    GetLocalisedTextTable().Clear();
    EXPECT_EQ(ReadCrLfLines("Debug.log").size(), lines + 2) << "its report, and no count";
  }
}

TEST_F(LocalisedTextTest, DemoTextsCoverEveryIdTheGamesShow) {
  ASSERT_TRUE(elswriter::SaveDemoTexts(kHostFile));
  ASSERT_TRUE(LoadLocalisedText());
  EXPECT_EQ(GetLocalisedTextTable().Count(), 1030);
  for (int32_t id :
       {10, 93, 95, 96, 106, 144, 145, 147, 148, 149, 177, 191, 192, 193, 194, 195, 196})
    EXPECT_FALSE(Utf8(id).empty()) << id;
  for (const DemoText& text : kDemoTexts) EXPECT_EQ(Utf8(text.id), text.text) << text.id;
  EXPECT_EQ(Utf8(1001), "PENALTY KICKS");
  EXPECT_EQ(Utf8(11), "");
}

}  // namespace
