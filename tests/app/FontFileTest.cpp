// The ".wft" reader and the glyph search tree: what a valid file gives, what a broken one is
// refused for, and lookups through the tree against a plain scan of the ranges.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "Engine/Font.h"
#include "Engine/MemoryTracker.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"
#include "tests/support/WftWriter.h"

namespace {

using wftwriter::FontDesc;
using wftwriter::Layout;
using wftwriter::Tables;

// A font that draws into a list instead of onto a device.
class ListFont : public BaseFont {
 public:
  using BaseFont::BaseFont;
  void BeginText() override {}
  void EndText() override {}
  void DrawQuads(int32_t texture, const FontRect& dest, const FontRect&) override {
    textures.push_back(texture);
    xs.push_back(dest.x);
  }
  void SetDepth(float) override {}
  void SetColour(uint32_t) override {}
  std::vector<int32_t> textures;
  std::vector<int32_t> xs;
};

// Space, '?', and A to E, with A kerning against B.
FontDesc SmallFont() {
  FontDesc desc;
  desc.pageBaseName = "small.wft";
  desc.pageCount = 2;
  desc.lineHeight = 12;
  desc.fixedAdvanceMinus1 = 9;
  desc.Add(u' ', 0, 0, 4, 1);
  desc.Add(u'?', 8, 0, 6, 8);
  desc.Add(u'A', 16, 0, 8, 8, 0, 2).kerning = {{u'B', -3}, {u'C', 2}};
  desc.Add(u'B', 24, 0, 5, 8, -1, 1);
  desc.Add(u'C', 32, 0, 7, 8, 1, 1, 1);
  desc.Add(u'D', 40, 0, 7, 8);
  desc.Add(u'E', 48, 0, 7, 8);
  return desc;
}

// Builds a font over `bytes`, which must outlive the call only.
bool Loads(std::vector<uint8_t> bytes) {
  ListFont font(bytes.data(), bytes.size(), "broken.wft");
  return font.IsLoaded() == 1;
}

class FontReaderTest : public TempDirTest {};

TEST_F(FontReaderTest, AValidFileGivesItsTablesAndMetrics) {
  FontDesc desc = SmallFont();
  desc.metrics[0] = 11;
  desc.metrics[3] = 44;
  std::vector<uint8_t> bytes = wftwriter::Write(desc);
  ListFont font(bytes.data(), bytes.size(), "small.wft");
  ASSERT_EQ(font.IsLoaded(), 1);
  const FontInfo* info = font.GetInfo();
  ASSERT_NE(info, nullptr);
  // ' ' and '?' are lone characters; A to E are one run.
  EXPECT_EQ(info->rangeCount, 3u);
  EXPECT_EQ(info->glyphCount, 7u);
  EXPECT_EQ(info->kerningCount, 2u);
  EXPECT_EQ(info->lineHeight, 12u);
  EXPECT_EQ(info->pageCount, 2u);
  EXPECT_EQ(info->metrics[0], 11u);
  EXPECT_EQ(info->metrics[3], 44u);
  EXPECT_EQ(font.GetSpaceWidth(), 5);
  EXPECT_EQ(info->spaceAdvance, 5);

  int32_t kerning = 99;
  const FontGlyph* c = font.GetGlyph(u'C', nullptr, &kerning);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(kerning, 0);
  EXPECT_EQ(c->sourceX, 32u);
  EXPECT_EQ(c->page, 1);
  EXPECT_EQ(c->width, 7u);
  EXPECT_EQ(c->xOffset, 1);
  const FontGlyph* a = font.GetGlyph(u'A', nullptr, nullptr);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(font.GetGlyph(u'B', a, &kerning)->width, 5u);
  EXPECT_EQ(kerning, -3);
  font.GetGlyph(u'C', a, &kerning);
  EXPECT_EQ(kerning, 2);
  font.GetGlyph(u'D', a, &kerning);
  EXPECT_EQ(kerning, 0);
  EXPECT_EQ(font.GetGlyph(u'F', nullptr, nullptr), nullptr);
  EXPECT_EQ(font.GetGlyphWithFallback(u'F', nullptr, nullptr)->sourceX, 8u);
  // The tables are copies: the image can go.
  std::memset(bytes.data(), 0xEE, bytes.size());
  EXPECT_EQ(font.GetGlyph(u'E', nullptr, nullptr)->sourceX, 48u);
}

TEST_F(FontReaderTest, ASecondFontOverTheSameImageReadsTheSameOffsets) {
  Layout layout;
  std::vector<uint8_t> bytes = wftwriter::Write(SmallFont(), &layout);
  const std::vector<uint8_t> original = bytes;
  ListFont first(bytes.data(), bytes.size(), "small.wft");
  ASSERT_EQ(first.IsLoaded(), 1);
  EXPECT_EQ(wftwriter::GetU32(bytes, 0), 1u);
  // Only the relocated word changed.
  EXPECT_EQ(std::memcmp(bytes.data() + 4, original.data() + 4, bytes.size() - 4), 0);
  ListFont second(bytes.data(), bytes.size(), "small.wft");
  ASSERT_EQ(second.IsLoaded(), 1);
  EXPECT_EQ(wftwriter::GetU32(bytes, 0), 1u);
  EXPECT_EQ(wftwriter::GetU32(bytes, 4), layout.pageName);
  EXPECT_EQ(wftwriter::GetU32(bytes, 8), layout.fontBlock);
  EXPECT_EQ(second.GetStringWidth(u"ABCDE"), first.GetStringWidth(u"ABCDE"));
  EXPECT_EQ(second.GetGlyph(u'D', nullptr, nullptr)->sourceX, 40u);
}

TEST_F(FontReaderTest, EveryCutOfAValidFileIsRefused) {
  std::vector<uint8_t> bytes = wftwriter::Write(SmallFont());
  for (size_t size = 0; size < bytes.size(); ++size) {
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(size));
    EXPECT_FALSE(Loads(cut)) << "cut to " << size << " of " << bytes.size();
  }
  EXPECT_TRUE(Loads(bytes));
  ListFont font(nullptr, 0, "none");
  EXPECT_EQ(font.SetFont(FileImage(bytes.data(), 8, "cut font block")), 0);
}

TEST_F(FontReaderTest, BrokenFilesAreRefusedWithALogLine) {
  struct Case {
    const char* what;
    const char* logged;
    std::function<void(FontDesc&, Tables&)> spoilTables;
    std::function<void(std::vector<uint8_t>&, const Layout&)> spoilImage = nullptr;
  };
  const std::vector<Case> cases = {
      {"range count past the end", "character ranges out of range",
       [](FontDesc&, Tables& t) { t.rangeCount = 1000; }},
      {"range count overflowing", "out of range",
       [](FontDesc&, Tables& t) { t.rangeCount = 0xFFFFFFFFu; }},
      {"kerning count past the end", "out of range",
       [](FontDesc&, Tables& t) { t.kerningCount = 0x20000000u; }},
      {"glyph count past the end", "glyph records out of range",
       [](FontDesc&, Tables& t) { t.glyphCount = 8; }},
      {"no ranges", "no character ranges",
       [](FontDesc&, Tables& t) {
         t.ranges.clear();
         t.rangeCount = 0;
       }},
      {"ranges out of order", "is not after range",
       [](FontDesc&, Tables& t) { std::swap(t.ranges[0], t.ranges[1]); }},
      {"ranges overlapping", "is not after range",
       [](FontDesc&, Tables& t) { t.ranges[1].first = t.ranges[0].last; }},
      {"range running backwards", "runs backwards",
       [](FontDesc&, Tables& t) { std::swap(t.ranges[2].first, t.ranges[2].last); }},
      {"range's glyphs past the glyph array", "outside the 7 glyphs",
       [](FontDesc&, Tables& t) { t.ranges[2].glyphIndex = 3; }},
      {"range's glyph index huge", "outside the 7 glyphs",
       [](FontDesc&, Tables& t) { t.ranges[0].glyphIndex = 0xFFFFFFFFu; }},
      {"kerning past the pair array", "outside the 2 pairs",
       [](FontDesc&, Tables& t) { t.glyphs[2].kerningCount = 3; }},
      {"kerning start wrapping", "outside the 2 pairs",
       [](FontDesc&, Tables& t) {
         t.glyphs[3].kerningFirst = 0xFFFFFFFFu;
         t.glyphs[3].kerningCount = 2;
       }},
      {"page index past the pages", "is on page 2 of 2",
       [](FontDesc&, Tables& t) { t.glyphs[4].page = 2; }},
      {"too many pages", "page count 100000",
       [](FontDesc& d, Tables&) { d.pageCount = 100000; }},
      {"glyph wider than any page", "sizes out of range",
       [](FontDesc&, Tables& t) { t.glyphs[1].width = 0x80000000u; }},
      {"advance far negative", "sizes out of range",
       [](FontDesc&, Tables& t) { t.glyphs[1].advance = INT32_MIN; }},
      {"line height huge", "line height",
       [](FontDesc& d, Tables&) { d.lineHeight = 0xFFFFFFF0u; }},
      {"font block past the end", "font block out of range", nullptr,
       [](std::vector<uint8_t>& b, const Layout&) { wftwriter::PutU32(&b, 8, 0x7FFFFFF0u); }},
      {"font block too near the end", "font header out of range", nullptr,
       [](std::vector<uint8_t>& b, const Layout& l) {
         wftwriter::PutU32(&b, 8, static_cast<uint32_t>(l.size - 40));
       }},
      {"page name past the end", "page base name", nullptr,
       [](std::vector<uint8_t>& b, const Layout& l) {
         wftwriter::PutU32(&b, 4, static_cast<uint32_t>(l.size));
       }},
      {"page name unterminated", "page base name", nullptr,
       [](std::vector<uint8_t>& b, const Layout&) { b.back() = 'x'; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FontDesc desc = SmallFont();
    Tables tables = wftwriter::BuildTables(desc);
    if (c.spoilTables) c.spoilTables(desc, tables);
    Layout layout;
    std::vector<uint8_t> bytes = wftwriter::Write(desc, tables, &layout);
    if (c.spoilImage) c.spoilImage(bytes, layout);
    const uint32_t tablesBefore = MemoryTracker::CountBlocksOwnedBy("BaseFont::SetFont");
    const uint32_t treeBefore = MemoryTracker::CountBlocksOwnedBy("BaseFont::BuildBTree");
    {
      ListFont font(bytes.data(), bytes.size(), "broken.wft");
      EXPECT_EQ(font.IsLoaded(), 0);
      EXPECT_EQ(font.GetInfo(), nullptr);
      EXPECT_EQ(font.GetStringWidth(u"ABC"), 0);
      font.DrawString(u"ABC", 0, 0, 0xFFFFFFFFu, 0.0f, 0);
      EXPECT_TRUE(font.textures.empty());
      EXPECT_EQ(font.GetPageTableSize(), 0);
    }
    EXPECT_TRUE(DebugLogContains(c.logged)) << "expected a line with \"" << c.logged << "\"";
    EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("BaseFont::SetFont"), tablesBefore);
    EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("BaseFont::BuildBTree"), treeBefore);
  }
}

TEST_F(FontReaderTest, FontsWithoutSpaceOrQuestionMarkStillMeasureAndDraw) {
  FontDesc desc;
  desc.pageBaseName = "bare.wft";
  desc.fixedAdvanceMinus1 = 5;
  desc.Add(u'A', 0, 0, 8, 8, 0, 2);
  desc.Add(u'B', 8, 0, 5, 8, -1, 1);
  std::vector<uint8_t> bytes = wftwriter::Write(desc);
  ListFont font(bytes.data(), bytes.size(), "bare.wft");
  ASSERT_EQ(font.IsLoaded(), 1);
  EXPECT_EQ(font.GetInfo()->fallback, nullptr);
  // No space glyph: a space is the fixed advance wide for wrapping.
  EXPECT_EQ(font.GetSpaceWidth(), 6);
  // Characters without a glyph take no room.
  EXPECT_EQ(font.GetStringWidth(u"A\x01 B"), 10 + 6 - 1);
  font.DrawString(u"A\x01 B", 0, 0, 0xFFFFFFFFu, 0.0f, 0);
  ASSERT_EQ(font.xs.size(), 2u);
  EXPECT_EQ(font.xs[0], 0);
  EXPECT_EQ(font.xs[1], 10 - 1);
}

TEST_F(FontReaderTest, PageFileNamesFollowThePageNumber) {
  FontDesc desc = SmallFont();
  desc.pageCount = 3;
  std::vector<uint8_t> bytes = wftwriter::Write(desc);
  ListFont font(bytes.data(), bytes.size(), "small.wft");
  ASSERT_EQ(font.IsLoaded(), 1);
  char name[64];
  const struct {
    const char* base;
    int32_t page, result;
    const char* name;
  } names[] = {{"font.wft", 0, 2, "font.dds"},       {"font.wft", 1, 1, "font_002.dds"},
               {"font.wft", 2, 0, "font_003.dds"},   {"data\\menu.big.wft", 1, 1, "data\\menu_002.dds"},
               {"plain", 0, 2, "plain.dds"}};
  for (const auto& n : names) {
    EXPECT_EQ(font.GetTextureFilename(n.base, n.page, name, sizeof(name)), n.result) << n.name;
    EXPECT_STREQ(name, n.name);
  }

  std::strcpy(name, "untouched");
  EXPECT_EQ(font.GetTextureFilename("font.wft", 3, name, sizeof(name)), -1);
  EXPECT_EQ(font.GetTextureFilename("font.wft", -1, name, sizeof(name)), -1);
  EXPECT_EQ(font.GetTextureFilename(nullptr, 0, name, sizeof(name)), -1);
  EXPECT_EQ(font.GetTextureFilename("font.wft", 0, nullptr, 10), -1);
  EXPECT_STREQ(name, "untouched");

  // The buffer's capacity holds: the name is cut and terminated, the byte after it untouched.
  char small[8];
  std::memset(small, '#', sizeof(small));
  EXPECT_EQ(font.GetTextureFilename("longname.wft", 1, small, 6), 1);
  EXPECT_STREQ(small, "longn");
  EXPECT_EQ(small[6], '#');
  // A base name longer than any path is cut too.
  std::string huge(5000, 'x');
  char out[BaseFont::kFileNameSize + 20];
  EXPECT_EQ(font.GetTextureFilename(huge.c_str(), 0, out, sizeof(out)), 2);
  EXPECT_LT(std::strlen(out), sizeof(out));
}

// ---- The search tree.

std::vector<FontRange> GappedRanges(uint32_t n) {
  std::vector<FontRange> ranges;
  uint32_t glyph = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const uint16_t first = static_cast<uint16_t>(10 + 5 * i);
    const uint16_t last = static_cast<uint16_t>(first + i % 3);
    ranges.push_back({first, last, glyph});
    glyph += last - first + 1u;
  }
  return ranges;
}

const FontRange* Scan(const std::vector<FontRange>& ranges, char16_t c) {
  for (const FontRange& r : ranges)
    if (c >= r.first && c <= r.last) return &r;
  return nullptr;
}

TEST(FontTreeTest, FanOutGrowsWithTheFourthRootOfHalfTheRanges) {
  // At least 2; 161 ranges give 80.5 ^ 0.25 = 2.995, 162 give 3, 1250 give 625 ^ 0.25 = 5.
  const int32_t ranges[][2] = {{0, 2}, {1, 2}, {3, 2}, {100, 2}, {161, 2}, {162, 3}, {1000, 4},
                               {1250, 5}};
  for (const auto& r : ranges) EXPECT_EQ(BaseFont::FanOutFor(r[0]), r[1]) << r[0];
}

TEST(FontTreeTest, LookupsAgreeWithAScanForEveryCharacter) {
  for (uint32_t n : {1u, 2u, 3u, 4u, 5u, 17u, 100u, 1000u}) {
    SCOPED_TRACE(n);
    std::vector<FontRange> ranges = GappedRanges(n);
    const int32_t fanOut = BaseFont::FanOutFor(n);
    FontTree* tree = BaseFont::BuildBTree(fanOut, ranges.data(), n);
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->fanOut, fanOut);
    // Levels: ceil(n / F) leaves, then ceil of that by F, down to one.
    int32_t levels = 1;
    for (uint32_t count = (n + fanOut - 1) / fanOut; count > 1; count = (count + fanOut - 1) / fanOut)
      ++levels;
    EXPECT_EQ(tree->levels, levels);
    EXPECT_EQ(tree->root->lowest, ranges.front().first);
    EXPECT_EQ(tree->root->highest, ranges.back().last);
    int64_t thresholdIndex = (int64_t(levels - 2) * fanOut) / 2;
    if (thresholdIndex < 0) thresholdIndex = 0;
    if (thresholdIndex >= n) thresholdIndex = n - 1;
    EXPECT_EQ(tree->threshold, ranges[thresholdIndex].last);
    int mismatches = 0;
    for (uint32_t c = 0; c <= 0xFFFF; ++c) {
      const FontRange* want = Scan(ranges, static_cast<char16_t>(c));
      const FontRange* got = BaseFont::FindRangeInTree(tree, ranges.data(), static_cast<char16_t>(c));
      if (want != got && ++mismatches < 5) ADD_FAILURE() << "character " << c;
    }
    EXPECT_EQ(mismatches, 0);
    BaseFont::FreeBTree(tree);
  }
}

TEST(FontTreeTest, AGapBetweenRangesIsNotFoundOnEitherPath) {
  std::vector<FontRange> ranges = GappedRanges(1000);
  FontTree* tree = BaseFont::BuildBTree(4, ranges.data(), 1000);
  ASSERT_NE(tree, nullptr);
  // Five levels of fan-out 4: the threshold is the end of range (3 x 4) / 2 = 6.
  EXPECT_EQ(tree->levels, 5);
  EXPECT_EQ(tree->threshold, ranges[6].last);
  // Range 1 ends at 16, range 2 starts at 20: a gap below the threshold (the scan path).
  EXPECT_LT(ranges[1].last + 1, int(tree->threshold));
  for (char16_t c = ranges[1].last + 1; c < ranges[2].first; ++c)
    EXPECT_EQ(BaseFont::FindRangeInTree(tree, ranges.data(), c), nullptr) << int(c);
  EXPECT_EQ(BaseFont::FindRangeInTree(tree, ranges.data(), ranges[2].first), &ranges[2]);
  // A gap far above it (the descent), including one between two leaves.
  for (uint32_t i : {500u, 503u, 998u}) {
    for (char16_t c = ranges[i].last + 1; c < ranges[i + 1].first; ++c)
      EXPECT_EQ(BaseFont::FindRangeInTree(tree, ranges.data(), c), nullptr) << int(c);
    EXPECT_EQ(BaseFont::FindRangeInTree(tree, ranges.data(), ranges[i + 1].first), &ranges[i + 1]);
  }
  // Outside the root.
  EXPECT_EQ(BaseFont::FindRangeInTree(tree, ranges.data(), 9), nullptr);
  EXPECT_EQ(BaseFont::FindRangeInTree(tree, ranges.data(), 0xFFFF), nullptr);
  BaseFont::FreeBTree(tree);
}

TEST(FontTreeTest, EveryBlockOfTheTreeIsFreed) {
  const uint32_t before = MemoryTracker::CountBlocksOwnedBy("BaseFont::BuildBTree");
  std::vector<FontRange> ranges = GappedRanges(100);
  FontTree* tree = BaseFont::BuildBTree(2, ranges.data(), 100);
  ASSERT_NE(tree, nullptr);
  // 50 leaves; 25, 13, 7, 4, 2, 1 inner nodes, each with a child array; one array per level.
  EXPECT_EQ(tree->blockCount, 7 + (25 + 13 + 7 + 4 + 2 + 1));
  EXPECT_EQ(tree->blocks.GetCount(), tree->blockCount);
  // The node and child arrays, and the tree's own record.
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("BaseFont::BuildBTree"),
            before + static_cast<uint32_t>(tree->blockCount) + 1);
  BaseFont::FreeBTree(tree);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("BaseFont::BuildBTree"), before);
  EXPECT_EQ(BaseFont::BuildBTree(2, ranges.data(), 0), nullptr);
}

TEST_F(FontReaderTest, AFontOfManyRangesFindsEachOfItsGlyphs) {
  // 1000 single-character ranges two apart: every other character has a glyph.
  FontDesc desc;
  desc.pageBaseName = "many.wft";
  for (uint32_t i = 0; i < 1000; ++i) desc.Add(static_cast<char16_t>(0x100 + 2 * i), i, 0, 1, 1);
  std::vector<uint8_t> bytes = wftwriter::Write(desc);
  ListFont font(bytes.data(), bytes.size(), "many.wft");
  ASSERT_EQ(font.IsLoaded(), 1);
  EXPECT_EQ(font.GetInfo()->tree->fanOut, 4);
  for (uint32_t c = 0xF0; c < 0x100 + 2000 + 8; ++c) {
    const FontGlyph* glyph = font.GetGlyph(static_cast<char16_t>(c), nullptr, nullptr);
    const bool expected = c >= 0x100 && c < 0x100 + 2000 && (c % 2) == 0;
    ASSERT_EQ(glyph != nullptr, expected) << c;
    if (glyph) {
      EXPECT_EQ(glyph->sourceX, (c - 0x100) / 2);
    }
  }
}

}  // namespace
