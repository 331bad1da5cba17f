// Bitmap fonts in use: measuring, word wrapping, escapes, drawing on the device and the font
// factory.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Engine/DataFolder.h"
#include "Engine/Font.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCFont.h"
#include "Engine/PC/PCFontFactory.h"
#include "Engine/PC/PCRenderStates.h"
#include "tests/support/AppTestSupport.h"
#include "tests/support/DdsWriter.h"
#include "tests/support/LogCapture.h"
#include "tests/support/PixelProbe.h"
#include "tests/support/TempDir.h"
#include "tests/support/WftWriter.h"

namespace {

using apptest::Rgb;
using wftwriter::FontDesc;

// A font that records its quads instead of drawing them.
class ListFont : public BaseFont {
 public:
  struct Quad {
    int32_t texture;
    FontRect dest;
    FontRect source;
  };
  using BaseFont::BaseFont;
  void BeginText() override { ++begins; }
  void EndText() override { ++ends; }
  void DrawQuads(int32_t texture, const FontRect& dest, const FontRect& source) override {
    quads.push_back({texture, dest, source});
  }
  void SetDepth(float d) override { depth = d; }
  void SetColour(uint32_t c) override { colour = c; }

  std::vector<Quad> quads;
  int begins = 0;
  int ends = 0;
  uint32_t colour = 0;
  float depth = -1.0f;
};

// Widths by hand: ' ' 4+1, '?' 6+1, 'A' 8+2 (kerning -3 before V and B), 'V' 7+1 after an
// offset of 1, 'B' 5+1 after an offset of -1. Fixed advance 10, line height 12.
FontDesc StandardFont() {
  FontDesc desc;
  desc.pageBaseName = "standard.wft";
  desc.fixedAdvanceMinus1 = 9;
  desc.lineHeight = 12;
  desc.Add(u' ', 0, 0, 4, 1, 0, 1);
  desc.Add(u'?', 8, 0, 6, 8, 0, 1);
  desc.Add(u'A', 16, 0, 8, 8, 0, 2).kerning = {{u'V', -3}, {u'B', -3}};
  desc.Add(u'V', 24, 0, 7, 8, 1, 1);
  desc.Add(u'B', 32, 0, 5, 8, -1, 1);
  return desc;
}

constexpr int32_t kPageHandle = 100;
constexpr int32_t kIconHandle = 1000;

class FontTextTest : public TempDirTest {
 protected:
  void SetUp() override {
    m_bytes = wftwriter::Write(StandardFont());
    m_font = std::make_unique<ListFont>(m_bytes.data(), m_bytes.size(), "standard.wft");
    ASSERT_EQ(m_font->IsLoaded(), 1);
    ASSERT_EQ(m_font->GetPageTableSize(), 1 + 17);
    // Stand-in handles, so that the quads say which page or icon they came from.
    m_font->SetPageHandle(0, kPageHandle);
    for (int32_t i = 0; i < BaseFont::kIconCount; ++i) m_font->SetPageHandle(1 + i, kIconHandle + i);
  }
  void TearDown() override {
    // The stand-ins are not the registry's to delete.
    for (int32_t i = 0; i < m_font->GetPageTableSize(); ++i) m_font->SetPageHandle(i, -1);
  }
  std::vector<ListFont::Quad> Draw(const char16_t* text, int32_t x = 0, int32_t y = 0,
                                   int32_t wrap = 0) {
    m_font->quads.clear();
    m_font->DrawString(text, x, y, 0xFF000000u, 0.0f, wrap);
    return m_font->quads;
  }
  // The texture of the only quad a text draws (-2 when it draws other than one).
  int32_t OnlyTexture(const char16_t* text) {
    std::vector<ListFont::Quad> q = Draw(text);
    return q.size() == 1 ? q[0].texture : -2;
  }
  std::u16string Wrap(const char16_t* text, int32_t width, int32_t* height) {
    char16_t* wrapped = m_font->GetWordWrapFormatString(text, width, height);
    std::u16string result = wrapped ? std::u16string(wrapped) : u"(null)";
    BaseFont::FreeText(wrapped);
    return result;
  }

  std::vector<uint8_t> m_bytes;
  std::unique_ptr<ListFont> m_font;
};

TEST_F(FontTextTest, WidthsFollowKerningAndSpacingModes) {
  ListFont& f = *m_font;
  // Flags 3: proportional with kerning; kFlagProportional alone: no kerning; kFlagKerning alone
  // or none: fixed spacing, every glyph 10 and no offsets. Unknown characters measure as '?',
  // the two non-breaking spaces as ' ', '#' and '*' as characters; a line break adds nothing
  // and no kerning reaches across it.
  const struct {
    uint32_t flags;
    const char16_t* text;
    int32_t width;
  } cases[] = {{3, u"A", 10}, {3, u"AV", 10 + 8 + (1 - 3)}, {3, u"AB", 10 + 6 + (-1 - 3)},
               {3, u"VA", 8 + 1 + 10}, {BaseFont::kFlagProportional, u"AV", 10 + 8 + 1},
               {BaseFont::kFlagKerning, u"AV", 20}, {BaseFont::kFlagKerning, u"AVB?", 40},
               {0, u"AVB", 30}, {3, u"A\x01" u"B", 10 + 7 + 5}, {3, u"A\u00A0B", 10 + 5 + 5},
               {3, u"A\uFFA0B", 10 + 5 + 5}, {3, u"A\nB", 10 + 5}, {3, u"", 0},
               {3, nullptr, 0}, {3, u"A#*", 10 + 7 + 7}};
  for (const auto& c : cases) {
    f.SetFlags(c.flags);
    EXPECT_EQ(f.GetStringWidth(c.text), c.width) << c.flags << " " << (c.text ? c.text[0] : 0);
  }
  f.SetFlags(3);

  // Counted widths stop at n or at the terminator, and know no escapes.
  EXPECT_EQ(f.GetCountedWidth(u"AVB", 2), 16);
  EXPECT_EQ(f.GetCountedWidth(u"AV", 50), 16);
  EXPECT_EQ(f.GetCountedWidth(u"AV", 0), 0);
  EXPECT_EQ(f.GetCountedWidth("AVB", 1), 10);
  EXPECT_EQ(f.GetCountedWidth(u"\\0", 2), 14);
}

TEST_F(FontTextTest, EscapesMeasureFortyEightAndNeverPassTheTerminator) {
  ListFont& f = *m_font;
  // The escape, its code and the character after it measure 48 together.
  EXPECT_EQ(f.GetStringWidth(u"A\\0 B"), 10 + 48 + 5);
  // Texts whose escape is cut short: what lies after the terminator is never read.
  const char16_t trailing[] = {u'A', u'\\', 0, u'A', u'A', 0};
  EXPECT_EQ(f.GetStringWidth(trailing), 10 + 48);
  const char16_t codeLast[] = {u'A', u'\\', u'0', 0, u'A', 0};
  EXPECT_EQ(f.GetStringWidth(codeLast), 10 + 48);
  // The narrow form has no escapes: every byte is a character.
  EXPECT_EQ(f.GetStringWidth("A\\0 B"), 10 + 7 + 7 + 5 + 5);
  EXPECT_EQ(f.GetStringWidth(static_cast<const char*>(nullptr)), 0);
  // Narrow texts longer than the shared buffer are cut to it.
  const std::string longText(5000, 'A');
  EXPECT_EQ(f.GetStringWidth(longText.c_str()), 10 * int32_t(BaseFont::kNarrowBufferSize - 1));
}

TEST_F(FontTextTest, HeightsCountLines) {
  EXPECT_EQ(m_font->GetTextHeight(u""), 12);
  EXPECT_EQ(m_font->GetTextHeight(u"AV"), 12);
  EXPECT_EQ(m_font->GetTextHeight(u"A\nB\n"), 36);
  EXPECT_EQ(m_font->GetTextHeight(nullptr), -1);
  EXPECT_EQ(m_font->GetWordWrapHeight(nullptr), -1);
  EXPECT_EQ(m_font->GetWordWrapHeight(u"A"), 12);
  // Fifty words of 30 pixels at 450: 13 to a line (the 13th fills it exactly), so four lines.
  std::u16string words;
  for (int i = 0; i < 50; ++i) words += i ? u" AAA" : u"AAA";
  EXPECT_EQ(m_font->GetWordWrapHeight(words.c_str()), 48);
}

TEST_F(FontTextTest, WrappingBreaksAtTheSpaceThatOverflows) {
  int32_t height = 0;
  // "AAA" is 30 wide, a space 5: two words need 65.
  EXPECT_EQ(Wrap(u"AAA AAA", 40, &height), u"AAA\nAAA");
  EXPECT_EQ(height, 24);
  EXPECT_EQ(Wrap(u"AAA AAA", 64, &height), u"AAA\nAAA");
  // A word that fills the rest of the line exactly stays on it.
  EXPECT_EQ(Wrap(u"AAA AAA", 65, &height), u"AAA AAA");
  EXPECT_EQ(height, 12);
  EXPECT_EQ(Wrap(u"AAA AAA AAA", 65, &height), u"AAA AAA\nAAA");
  EXPECT_EQ(Wrap(u"AAA AAA AAA", 100, &height), u"AAA AAA AAA");
  // A word wider than the line is left whole on a line of its own.
  EXPECT_EQ(Wrap(u"AAAAAAAA AAA", 40, &height), u"AAAAAAAA\nAAA");
  // A break of the text's own starts the count again.
  EXPECT_EQ(Wrap(u"AAA\nAAA AAA", 70, &height), u"AAA\nAAA AAA");
  EXPECT_EQ(height, 24);
  EXPECT_EQ(Wrap(u"AAA\nAAA AAA AAA", 70, &height), u"AAA\nAAA AAA\nAAA");
  height = 7;
  EXPECT_EQ(Wrap(u"", 40, &height), u"(null)");
  EXPECT_EQ(height, 12);
  EXPECT_EQ(Wrap(nullptr, 40, &height), u"(null)");
  EXPECT_EQ(height, -1);
}

TEST_F(FontTextTest, DrawingPlacesEachGlyphAtThePen) {
  std::vector<ListFont::Quad> q = Draw(u"AVB", 20, 30);
  ASSERT_EQ(q.size(), 3u);
  // A at the pen; V after A's advance and its own offset less the kerning; B likewise.
  EXPECT_EQ(q[0].dest.x, 20);
  EXPECT_EQ(q[1].dest.x, 20 + 10 + 1 - 3);
  EXPECT_EQ(q[2].dest.x, 20 + 10 + 1 - 3 + 8 - 1);
  EXPECT_EQ(q[0].dest.y, 30);
  EXPECT_EQ(q[1].texture, kPageHandle);
  EXPECT_EQ(q[1].dest.width, 7);
  EXPECT_EQ(q[1].dest.height, 8);
  EXPECT_EQ(q[1].source.x, 24);
  EXPECT_EQ(q[1].source.width, 7);
  EXPECT_EQ(m_font->begins, 1);
  EXPECT_EQ(m_font->ends, 1);
  EXPECT_EQ(m_font->colour, 0xFF000000u);
  EXPECT_EQ(m_font->depth, 0.0f);

  // The drawn extent of a line is its measured width.
  q = Draw(u"AVB A");
  const ListFont::Quad& last = q.back();
  EXPECT_EQ(last.dest.x + 10, m_font->GetStringWidth(u"AVB A"));

  // A line break returns to the start x, one line lower.
  q = Draw(u"A\nB", 5, 7);
  ASSERT_EQ(q.size(), 2u);
  EXPECT_EQ(q[1].dest.x, 5 - 1);
  EXPECT_EQ(q[1].dest.y, 7 + 12);

  // Fixed spacing: every glyph 10 on, no offsets.
  m_font->SetFlags(0);
  q = Draw(u"AVB");
  EXPECT_EQ(q[1].dest.x, 10);
  EXPECT_EQ(q[2].dest.x, 20);
  m_font->SetFlags(3);
}

TEST_F(FontTextTest, WrappedDrawingPutsTheSecondWordBelow) {
  std::vector<ListFont::Quad> q = Draw(u"AAA AAA", 50, 60, 40);
  ASSERT_EQ(q.size(), 6u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(q[i].dest.y, 60);
    EXPECT_EQ(q[3 + i].dest.y, 72);
    EXPECT_EQ(q[3 + i].dest.x, 50 + 10 * i);
  }
  // Unwrapped, the space is a glyph of its own on the one line.
  q = Draw(u"AAA AAA", 50, 60, 0);
  ASSERT_EQ(q.size(), 7u);
  EXPECT_EQ(q.back().dest.y, 60);
  EXPECT_EQ(q.back().dest.x, 50 + 35 + 20);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("BaseFont::GetWordWrapFormatString"), 0u);
}

TEST_F(FontTextTest, EscapesDrawButtonIcons) {
  AssertCounter asserts;
  std::vector<ListFont::Quad> q = Draw(u"A\\0B");
  ASSERT_EQ(q.size(), 3u);
  EXPECT_EQ(q[0].texture, kPageHandle);
  EXPECT_EQ(q[1].texture, kIconHandle + 0);  // the cross
  EXPECT_EQ(q[1].dest.x, 10 + 1);
  EXPECT_EQ(q[1].dest.width, 32);
  EXPECT_EQ(q[1].dest.height, 32);
  EXPECT_EQ(q[1].source.x, 0);
  EXPECT_EQ(q[1].source.y, 0);
  EXPECT_EQ(q[2].texture, kPageHandle);
  EXPECT_EQ(q[2].dest.x, 10 + 1 + 33 - 1);

  EXPECT_EQ(OnlyTexture(u"\\9"), kIconHandle + 9);
  EXPECT_EQ(OnlyTexture(u"\\a"), kIconHandle + 10);
  EXPECT_EQ(OnlyTexture(u"\\F"), kIconHandle + 15);
  q = Draw(u"#");
  ASSERT_EQ(q.size(), 1u);
  EXPECT_EQ(q[0].texture, kIconHandle + BaseFont::kReturnIcon);
  q = Draw(u"*");
  ASSERT_EQ(q.size(), 1u);
  EXPECT_EQ(q[0].texture, kIconHandle + BaseFont::kBackspaceIcon);
  // '#' takes the character after it along.
  q = Draw(u"A# B");
  ASSERT_EQ(q.size(), 3u);
  EXPECT_EQ(q[1].texture, kIconHandle + 14);
  EXPECT_EQ(q[2].dest.x, 10 + 1 + 33 - 1);
  EXPECT_EQ(asserts.Count(), 0u);

  // Codes past the sixteen icons stay inside the page table: the spare entry and everything
  // beyond it give no texture (drawn with the fallback).
  EXPECT_EQ(OnlyTexture(u"\\G"), -1);
  EXPECT_EQ(OnlyTexture(u"\\Z"), -1);
  EXPECT_EQ(OnlyTexture(u"\\z"), -1);
  EXPECT_EQ(asserts.Count(), 0u);

  // A code outside 0-9, A-Z, a-z asserts and draws nothing for the escape.
  q = Draw(u"A\\!B");
  ASSERT_EQ(q.size(), 2u);
  EXPECT_EQ(q[1].dest.x, 10 - 1);
  EXPECT_EQ(asserts.Count(), 1u);

  // Escapes at the very end stop at the terminator.
  const char16_t trailing[] = {u'A', u'\\', 0, u'A', u'A', 0};
  EXPECT_EQ(Draw(trailing).size(), 1u);
  EXPECT_EQ(asserts.Count(), 2u);
  const char16_t hash[] = {u'A', u'#', 0, u'A', 0};
  EXPECT_EQ(Draw(hash).size(), 2u);
  const char16_t star[] = {u'*', 0, u'A', 0};
  EXPECT_EQ(Draw(star).size(), 1u);

  // The narrow twin widens and keeps the escapes.
  m_font->quads.clear();
  m_font->DrawString("A\\0B", 0, 0, 0xFFFFFFFFu, 0.0f, 0);
  ASSERT_EQ(m_font->quads.size(), 3u);
  EXPECT_EQ(m_font->quads[1].texture, kIconHandle);
}

TEST_F(FontTextTest, UnknownCharactersDrawAsQuestionMarks) {
  std::vector<ListFont::Quad> q = Draw(u"A\x01" u"B");
  ASSERT_EQ(q.size(), 3u);
  EXPECT_EQ(q[1].source.x, 8);
  EXPECT_EQ(q[1].dest.x, 10);
  EXPECT_EQ(q[2].dest.x, 10 + 7 - 1);
}

TEST(FontColourTest, WindowFactorsScaleEachChannelAndHoldAt255) {
  const float one[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  EXPECT_EQ(Font::ScaleColour(0x80FF4020u, one), 0x80FF4020u);
  const float half[4] = {0.5f, 0.5f, 0.5f, 0.5f};
  EXPECT_EQ(Font::ScaleColour(0xFFFFFFFFu, half), 0x7F7F7F7Fu);
  // Red, green, blue, alpha factors land on their own bytes.
  const float mixed[4] = {0.0f, 0.5f, 1.0f, 0.25f};
  EXPECT_EQ(Font::ScaleColour(0xC8102030u, mixed), 0x32001030u);
  // Brightening factors do not carry into the next channel.
  const float bright[4] = {2.0f, 3.0f, 1.5f, 4.0f};
  EXPECT_EQ(Font::ScaleColour(0x80FF4020u, bright), 0xFFFFC030u);
  const float odd[4] = {-1.0f, std::numeric_limits<float>::quiet_NaN(),
                        std::numeric_limits<float>::infinity(), 1.0f};
  EXPECT_EQ(Font::ScaleColour(0x11223344u, odd), 0x110000FFu);
  EXPECT_EQ(Font::ScaleColour(0x11223344u, nullptr), 0x11223344u);
}

// ---- The factory.

FontDesc FileFont(const std::string& baseName) {
  FontDesc desc = StandardFont();
  desc.pageBaseName = baseName;
  return desc;
}

class FontFactoryTest : public TempDirTest {
 protected:
  static uint32_t FactoryBlocks() {
    return MemoryTracker::CountBlocksOwnedBy("FontFactory::AddFont") +
           MemoryTracker::CountBlocksOwnedBy("FileIO::LoadFile") +
           MemoryTracker::CountBlocksOwnedBy("BaseFont::SetFont") +
           MemoryTracker::CountBlocksOwnedBy("BaseFont::BuildBTree") +
           MemoryTracker::CountBlocksOwnedBy("BaseFont::InitFontTextures");
  }
};

TEST_F(FontFactoryTest, IdentifiersAreSharedByNameAndNeverReused) {
  ASSERT_TRUE(wftwriter::SaveWft("data/a.wft", FileFont("a.wft")));
  ASSERT_TRUE(wftwriter::SaveWft("data/b.wft", FileFont("b.wft")));
  ASSERT_TRUE(wftwriter::SaveWft("data/c.wft", FileFont("c.wft")));
  const uint32_t before = FactoryBlocks();
  {
    FontFactory factory;
    EXPECT_EQ(factory.AddFont("data\\a.wft"), 0);
    EXPECT_EQ(factory.AddFont("data\\a.wft"), 0);
    EXPECT_EQ(factory.AddFont("data\\b.wft"), 1);
    EXPECT_EQ(factory.GetCount(), 2);
    Font* a = factory.GetFont(0);
    Font* b = factory.GetFont(1);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(a->GetStringWidth(u"AV"), 16);

    factory.DeleteFont(0);
    EXPECT_EQ(factory.GetFont(0), nullptr);
    EXPECT_EQ(factory.GetFont(1), b);
    // The name comes back under a new identifier; the old one names nothing.
    EXPECT_EQ(factory.AddFont("data\\a.wft"), 2);
    EXPECT_EQ(factory.GetFont(0), nullptr);
    EXPECT_EQ(factory.AddFont("data\\c.wft"), 3);
    EXPECT_EQ(factory.GetFont(1), b);
    factory.DeleteFont(42);
    factory.DeleteFont(-1);
    factory.DeleteFont(0);
    EXPECT_EQ(factory.GetCount(), 3);
    factory.Process();  // the registries' shared no-op

    factory.DeleteFont(1);
    factory.DeleteFont(2);
    EXPECT_EQ(factory.GetFont(3)->GetStringWidth(u"A"), 10);
    factory.DeleteFont(3);
    EXPECT_EQ(factory.GetCount(), 0);
    EXPECT_EQ(FactoryBlocks(), before);
    EXPECT_EQ(factory.AddFont("data\\b.wft"), 4);
  }
  // The factory's end frees what is left.
  EXPECT_EQ(FactoryBlocks(), before);
}

TEST_F(FontFactoryTest, MissingAndBrokenFilesGiveMinusOneAndLeaveNothing) {
  wftwriter::Layout layout;
  std::vector<uint8_t> broken = wftwriter::Write(FileFont("bad.wft"), &layout);
  wftwriter::PutU32(&broken, layout.fontBlock + wftwriter::kOffsetGlyphCount, 1000);
  ASSERT_TRUE(wftwriter::SaveBytes("data/bad.wft", broken));
  const uint32_t before = FactoryBlocks();
  FontFactory factory;
  EXPECT_EQ(factory.AddFont("data\\missing.wft"), -1);
  EXPECT_TRUE(DebugLogContains("Unable to find load data\\missing.wft"));
  EXPECT_EQ(factory.AddFont("data\\bad.wft"), -1);
  EXPECT_TRUE(DebugLogContains("glyph records out of range"));
  EXPECT_TRUE(DebugLogContains("Unable to load font data\\bad.wft"));
  EXPECT_EQ(factory.AddFont(nullptr), -1);
  EXPECT_EQ(factory.GetCount(), 0);
  EXPECT_EQ(FactoryBlocks(), before);
}

// ---- On the device.

// A font on a 32 x 8 page: 'A' a white block, 'B' a red one, space transparent; 'C' on a second
// page that has no file. A 32 x 32 blue cross icon, a green fallback texture. (The registry
// knows textures by the name's tail from its 11th character: the names must differ there.)
class FontDrawTest : public apptest::DrawTest {
 protected:
  void Start() {
    std::vector<uint32_t> page(32 * 8);
    for (int i = 0; i < 32 * 8; ++i)
      page[i] = i % 32 < 8 ? 0xFFFFFFFFu : i % 32 < 16 ? 0xFFFF0000u : 0x00000000u;
    ASSERT_TRUE(ddswriter::SaveDds("data/pixfont.dds", gfx::D3DFMT_A8R8G8B8, 32, 8, page.data(),
                                   false));
    ASSERT_TRUE(apptest::SaveSolidDds("cross_32.dds", 32, 32, 0xFF0000FFu));
    FontDesc desc;
    desc.pageBaseName = "data\\pixfont.wft";
    desc.pageCount = 2;
    desc.lineHeight = 12;
    desc.Add(u' ', 16, 0, 4, 8, 0, 1);
    desc.Add(u'A', 0, 0, 8, 8, 0, 2).kerning = {{u'B', -3}};
    desc.Add(u'B', 8, 0, 8, 8, 0, 0);
    desc.Add(u'C', 0, 0, 8, 8, 0, 0, 1);
    ASSERT_TRUE(wftwriter::SaveWft("data/pixfont.wft", desc));
    StartDrawing(0xFF20C040u);
    m_id = app().GetFontFactory()->AddFont("data\\pixfont.wft");
    ASSERT_NE(m_id, -1);
    m_font = app().GetFontFactory()->GetFont(m_id);
    ASSERT_NE(m_font, nullptr);
  }
  App& app() { return m_harness.app(); }

  int32_t m_id = -1;
  Font* m_font = nullptr;
};

TEST_F(FontDrawTest, GlyphsLandWhereThePenPutsThem) {
  using apptest::kBlack;
  using apptest::kWhite;
  Start();
  EXPECT_TRUE(DebugLogContains("texture page data\\pixfont_002.dds not loaded"));
  EXPECT_NE(m_font->GetPageHandle(0), -1);
  EXPECT_EQ(m_font->GetPageHandle(1), -1);
  m_font->InitButtonIcons();
  ASSERT_NE(m_font->GetPageHandle(2 + 0), -1);
  EXPECT_EQ(m_font->GetPageHandle(2 + 1), -1);  // no triangle file
  const Rgb red = {255, 0, 0};
  struct Area {
    int x0, y0, x1, y1;
    Rgb want;
  };
  const struct {
    const char* what;
    const char16_t* text;
    uint32_t colour;
    uint32_t flags;
    int32_t wrap;
    bool doubleClient;
    std::vector<Area> areas;
  } cases[] = {
      {"one glyph in the text colour", u"A", 0xFF402010u, 3, 0, false,
       {{100, 100, 108, 108, apptest::Modulate2x(0xFFFFFFFFu, {0x40, 0x20, 0x10})},
        {90, 90, 120, 100, kBlack}, {90, 108, 120, 120, kBlack}, {90, 100, 100, 108, kBlack},
        {108, 100, 120, 108, kBlack}}},
      // A ends at 108; B is 10 on less 3 of kerning: 107 to 115, drawn over A's last column.
      {"kerning", u"AB", 0xFF808080u, 3, 0, false,
       {{100, 100, 107, 108, kWhite}, {107, 100, 115, 108, red}, {115, 100, 125, 108, kBlack}}},
      {"no kerning", u"AB", 0xFF808080u, BaseFont::kFlagProportional, 0, false,
       {{100, 100, 108, 108, kWhite}, {108, 100, 110, 108, kBlack}, {110, 100, 118, 108, red}}},
      // "A" and a space are 15 wide, so at 12 the second A moves down by the line height.
      {"wrapped", u"A A", 0xFF808080u, 3, 12, false,
       {{100, 100, 108, 108, kWhite}, {100, 108, 108, 112, kBlack}, {100, 112, 108, 120, kWhite},
        {108, 100, 130, 125, kBlack}}},
      {"scaled to the client size", u"A", 0xFF808080u, 3, 0, true,
       {{200, 200, 216, 216, kWhite}, {100, 100, 200, 200, kBlack}, {216, 190, 240, 230, kBlack}}},
      {"a missing page draws with the fallback", u"C", 0xFF808080u, 3, 0, false,
       {{100, 100, 108, 108, apptest::Modulate2x(0xFF20C040u, {0x80, 0x80, 0x80})}}},
      {"the cross icon between its neighbours", u"A\\0B", 0xFF808080u, 3, 0, false,
       {{100, 100, 108, 108, kWhite}, {108, 100, 111, 132, kBlack}, {111, 100, 143, 132, {0, 0, 255}},
        {144, 100, 152, 108, red}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Clear();
    m_font->SetFlags(c.flags);
    if (c.doubleClient) app().SetClientSize(1280, 960);
    m_font->DrawString(c.text, 100, 100, c.colour, 0.5f, c.wrap);
    app().SetClientSize(640, 480);
    const std::vector<uint32_t> px = ReadBack();
    for (const Area& a : c.areas) EXPECT_TRUE(AreaIs(px, a.x0, a.y0, a.x1, a.y1, a.want));
  }
  // The states are left as text leaves them.
  EXPECT_EQ(RenderStateCache::GetRenderState(gfx::D3DRS_ALPHABLENDENABLE), 0u);
  EXPECT_EQ(RenderStateCache::GetSamplerState(0, gfx::D3DSAMP_MINFILTER),
            uint32_t(gfx::D3DTEXF_LINEAR));
}

TEST_F(FontDrawTest, TheCurrentWindowsFactorsTintTheTextColour) {
  Start();
  m_font->SetColour(0xFF808080u);
  EXPECT_EQ(m_font->GetColour(), 0xFF808080u) << "no window: the colour as given";
  RenderWindow* window = new RenderWindow();
  window->SetColourFactors(1.0f, 0.5f, 2.0f, 0.5f);
  ASSERT_NE(app().AddWindow(window), -1);
  ASSERT_EQ(app().GetCurrentWindow(), window);
  m_font->SetColour(0xFF808080u);
  EXPECT_EQ(m_font->GetColour(), 0x7F8040FFu);
  // Drawn, the tinted colour reaches the pixels: blue doubled and held, green halved. (At half
  // alpha the glyph would fall to the alpha test, which text keeps on.)
  window->SetColourFactors(1.0f, 0.5f, 2.0f, 1.0f);
  m_font->DrawString(u"A", 100, 100, 0xFF808080u, 0.5f, 0);
  EXPECT_TRUE(AreaIs(ReadBack(), 100, 100, 108, 108,
                     apptest::Modulate2x(0xFFFFFFFFu, {0x80, 0x40, 255})));
}

// Every texel of a page in a colour of its own (red and blue the column, green the row, blue
// the page as well), so that a pixel tells which texel it shows.
uint32_t TexelColour(int page, int x, int y) {
  const uint32_t r = static_cast<uint32_t>(x % 16 * 16 + 8);
  const uint32_t g = static_cast<uint32_t>(y * 8 + 4);
  const uint32_t b = static_cast<uint32_t>(x / 16 * 32 + page * 16 + 8);
  return 0xFF000000u | r << 16 | g << 8 | b;
}

// The texels a pixel may show along one axis: the one under its centre, or either of two when
// the centre lies on the edge between them (which a scale between whole multiples gives).
std::vector<int> TexelsUnder(int pixel, double edge, double scale, int size) {
  const double at = (pixel + 0.5 - edge) / scale;
  const int texel = static_cast<int>(std::floor(at));
  std::vector<int> texels;
  if (texel < size) texels.push_back(texel);
  if (texel > 0 && at - texel < 1e-6) texels.push_back(texel - 1);
  return texels;
}

// The demo data's layout: the printable characters in 8 x 10 cells, 16 to a row and 48 to a
// 128 x 32 page, glyphs eight rows tall and as wide as their ink, a few kerning pairs. Each
// character drawn on its own finds its own glyph and shows exactly the texels of its rectangle,
// none from the cells around it, at the frame's size, twice it, and a size between.
TEST_F(FontDrawTest, EveryCharacterOfTheDemoLayoutShowsItsOwnTexels) {
  constexpr int kPageWidth = 128;
  constexpr int kPageHeight = 32;
  FontDesc desc;
  desc.pageBaseName = "data\\demo.wft";
  desc.pageCount = 2;
  desc.lineHeight = 10;
  for (char16_t c = 32; c <= 126; ++c) {
    const int index = c - 32;
    wftwriter::Glyph& glyph = desc.Add(
        c, static_cast<uint32_t>(index % 16 * 8), static_cast<uint16_t>(index % 48 / 16 * 10),
        static_cast<uint32_t>(1 + index % 6), 8, 0, 1, static_cast<uint16_t>(index / 48));
    if (c == u'A') glyph.kerning = {{u'V', -1}, {u'T', -1}};
    if (c == u'T') glyph.kerning = {{u'o', -1}};
  }
  ASSERT_TRUE(wftwriter::SaveWft("data/demo.wft", desc));
  for (int page = 0; page < 2; ++page) {
    std::vector<uint32_t> texels(kPageWidth * kPageHeight);
    for (int y = 0; y < kPageHeight; ++y)
      for (int x = 0; x < kPageWidth; ++x) texels[y * kPageWidth + x] = TexelColour(page, x, y);
    ASSERT_TRUE(ddswriter::SaveDds(page ? "data/demo_002.dds" : "data/demo.dds",
                                   gfx::D3DFMT_A8R8G8B8, kPageWidth, kPageHeight, texels.data(),
                                   false));
  }
  StartDrawing(0xFF20C040u);
  const int32_t id = app().GetFontFactory()->AddFont("data\\demo.wft");
  ASSERT_NE(id, -1);
  Font* font = app().GetFontFactory()->GetFont(id);
  ASSERT_NE(font, nullptr);

  // Text draws button icons for these, never their glyphs.
  auto isEscape = [](char16_t c) { return c == u'#' || c == u'*' || c == u'\\'; };
  // Pens 20 apart from (4, 4): whole pixels at every scale here.
  auto penX = [](const wftwriter::Glyph& g) { return 4 + (g.ch - 32) % 16 * 20; };
  auto penY = [](const wftwriter::Glyph& g) { return 4 + (g.ch - 32) / 16 * 20; };
  const Rgb diffuse = {0x80, 0x80, 0x80};
  for (const int clientWidth : {640, 1280, 800}) {
    SCOPED_TRACE(clientWidth);
    const double scale = clientWidth / 640.0;
    Clear();
    app().SetClientSize(clientWidth, clientWidth * 3 / 4);
    for (const wftwriter::Glyph& g : desc.glyphs) {
      if (isEscape(g.ch)) continue;
      const char16_t text[2] = {g.ch, 0};
      font->DrawString(text, penX(g), penY(g), 0xFF808080u, 0.5f, 0);
    }
    app().SetClientSize(640, 480);
    const std::vector<uint32_t> pixels = ReadBack();
    for (const wftwriter::Glyph& g : desc.glyphs) {
      if (isEscape(g.ch)) continue;
      const double left = penX(g) * scale;
      const double top = penY(g) * scale;
      // The pixels whose centres the scaled glyph rectangle holds.
      const int x0 = static_cast<int>(std::ceil(left - 0.5));
      const int x1 = static_cast<int>(std::ceil(left + g.width * scale - 0.5));
      const int y0 = static_cast<int>(std::ceil(top - 0.5));
      const int y1 = static_cast<int>(std::ceil(top + g.height * scale - 0.5));
      int off = 0;
      std::string first;
      for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
          bool shown = false;
          for (int tx : TexelsUnder(x, left, scale, static_cast<int>(g.width)))
            for (int ty : TexelsUnder(y, top, scale, static_cast<int>(g.height)))
              shown |= pixelprobe::Near(
                  pixels[y * apptest::kWidth + x],
                  apptest::Modulate2x(
                      TexelColour(g.page, static_cast<int>(g.sourceX) + tx, g.sourceY + ty),
                      diffuse),
                  2.0);
          if (!shown && off++ == 0) first = std::to_string(x) + ", " + std::to_string(y);
        }
      }
      EXPECT_EQ(off, 0) << "'" << static_cast<char>(g.ch) << "' first off at (" << first << ")";
    }
  }
}

TEST_F(FontDrawTest, ThePagesOfAFontAreNamedAfterItsBaseName) {
  ASSERT_TRUE(m_harness.Start());
  FontDesc desc = FileFont("font.wft");
  desc.pageCount = 3;
  desc.glyphs[2].page = 1;
  desc.glyphs[3].page = 2;
  ASSERT_TRUE(wftwriter::SaveWft("data/Frontend/font.wft", desc));
  for (uint32_t page = 0; page < 3; ++page) {
    const uint32_t side = 8u << page;
    std::vector<uint32_t> texels(side * side, 0xFFFFFFFFu);
    const std::string name = page == 0 ? "font.dds" : "font_00" + std::to_string(page + 1) + ".dds";
    ASSERT_TRUE(ddswriter::SaveDds("data/Frontend/" + name, gfx::D3DFMT_A8R8G8B8, side, side,
                                   texels.data(), false));
  }
  app().SetDataDir("data\\Frontend\\");
  FontFactory* factory = app().GetFontFactory();
  const int32_t id = factory->AddFont("font.wft");
  ASSERT_NE(id, -1);
  Font* font = factory->GetFont(id);
  ASSERT_NE(font, nullptr);
  Texture* textures = app().GetTexture();
  for (int32_t page = 0; page < 3; ++page)
    EXPECT_EQ(textures->GetWidth(font->GetPageHandle(page)), 8 << page) << page;
  // A font lets go of its pages when it goes.
  const int32_t page0 = font->GetPageHandle(0);
  ASSERT_NE(textures->Find(page0), nullptr);
  factory->DeleteFont(id);
  EXPECT_EQ(textures->Find(page0), nullptr);
  // The application's shutdown ends the fonts that are left.
  ASSERT_NE(factory->AddFont("font.wft"), -1);
  EXPECT_GT(MemoryTracker::CountBlocksOwnedBy("FontFactory::AddFont"), 0u);
  m_harness.Stop();
  EXPECT_EQ(factory->GetCount(), 0);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("FontFactory::AddFont"), 0u);
}

}  // namespace
