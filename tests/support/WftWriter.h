#pragma once
// ".wft" bitmap-font file images for tests and for the demo data. The writer packs every field
// at its byte offset itself (it does not borrow the reader's record types), so that a layout
// mistake on either side shows as a failed round trip.
//
// A font is described by its glyphs, one per character; Tables() turns that into the file's
// arrays (glyphs in character order, one range per run of consecutive characters, each glyph's
// kerning pairs consecutive). Tests that need a broken file edit the tables or the image.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/ByteWriter.h"

namespace wftwriter {

struct Kern {
  char16_t next;
  int32_t adjust;
};

struct Glyph {
  char16_t ch = 0;
  uint32_t sourceX = 0;
  uint16_t sourceY = 0;
  uint16_t page = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  int32_t xOffset = 0;
  int32_t advance = 0;
  std::vector<Kern> kerning;
};

struct FontDesc {
  // Written as the page base name; the pages are "<name up to its first '.'>.dds",
  // "..._002.dds" and so on.
  std::string pageBaseName = "font.wft";
  uint32_t pageCount = 1;
  uint32_t fixedAdvanceMinus1 = 7;
  uint32_t lineHeight = 10;
  uint32_t metrics[4] = {};
  std::vector<Glyph> glyphs;

  Glyph& Add(char16_t ch, uint32_t sourceX, uint16_t sourceY, uint32_t width, uint32_t height,
             int32_t xOffset = 0, int32_t advance = 1, uint16_t page = 0);
};

// The file's three arrays, field for field.
struct Range {
  uint16_t first;
  uint16_t last;
  uint32_t glyphIndex;
};
struct KernPair {
  uint16_t next;
  int32_t adjust;
};
struct GlyphRecord {
  uint32_t sourceX;
  uint16_t sourceY;
  uint16_t page;
  uint32_t width;
  uint32_t height;
  int32_t xOffset;
  int32_t advance;
  uint32_t kerningCount;
  uint32_t kerningFirst;
};
struct Tables {
  std::vector<Range> ranges;
  std::vector<KernPair> kerning;
  std::vector<GlyphRecord> glyphs;
  // Counts written into the header; normally the arrays' sizes (tests overstate them).
  uint32_t rangeCount = 0;
  uint32_t kerningCount = 0;
  uint32_t glyphCount = 0;
};

Tables BuildTables(const FontDesc& desc);

// Where things are in an image from Write.
struct Layout {
  size_t fontBlock = 0;
  size_t ranges = 0;
  size_t kerning = 0;
  size_t glyphs = 0;
  size_t pageName = 0;
  size_t size = 0;
};
constexpr size_t kFileHeaderSize = 12;
constexpr size_t kFontHeaderSize = 80;
constexpr size_t kRangeSize = 8;
constexpr size_t kKerningSize = 8;
constexpr size_t kGlyphSize = 36;
// Offsets inside the font block's header.
constexpr size_t kOffsetRangeCount = 4;
constexpr size_t kOffsetKerningCount = 8;
constexpr size_t kOffsetGlyphCount = 12;
constexpr size_t kOffsetFixedAdvance = 24;
constexpr size_t kOffsetLineHeight = 32;
constexpr size_t kOffsetPageCount = 52;

std::vector<uint8_t> Write(const FontDesc& desc, const Tables& tables, Layout* layout = nullptr);
std::vector<uint8_t> Write(const FontDesc& desc, Layout* layout = nullptr);
// Write into a file (folders are created); false when it cannot be written.
bool SaveWft(const std::string& path, const FontDesc& desc);
using bytewriter::GetU32;
using bytewriter::SaveBytes;
using bytewriter::PutU16;
using bytewriter::PutU32;

}  // namespace wftwriter
