#include "tests/support/WftWriter.h"

#include <algorithm>

namespace wftwriter {

Glyph& FontDesc::Add(char16_t ch, uint32_t sourceX, uint16_t sourceY, uint32_t width,
                     uint32_t height, int32_t xOffset, int32_t advance, uint16_t page) {
  Glyph glyph;
  glyph.ch = ch;
  glyph.sourceX = sourceX;
  glyph.sourceY = sourceY;
  glyph.page = page;
  glyph.width = width;
  glyph.height = height;
  glyph.xOffset = xOffset;
  glyph.advance = advance;
  glyphs.push_back(glyph);
  return glyphs.back();
}

Tables BuildTables(const FontDesc& desc) {
  std::vector<const Glyph*> sorted;
  for (const Glyph& g : desc.glyphs) sorted.push_back(&g);
  std::sort(sorted.begin(), sorted.end(),
            [](const Glyph* a, const Glyph* b) { return a->ch < b->ch; });
  Tables tables;
  for (size_t i = 0; i < sorted.size(); ++i) {
    const Glyph& g = *sorted[i];
    const uint32_t index = static_cast<uint32_t>(i);
    if (!tables.ranges.empty() && tables.ranges.back().last + 1 == g.ch)
      tables.ranges.back().last = g.ch;
    else
      tables.ranges.push_back({g.ch, g.ch, index});
    GlyphRecord record{g.sourceX, g.sourceY, g.page, g.width, g.height, g.xOffset, g.advance,
                       static_cast<uint32_t>(g.kerning.size()),
                       static_cast<uint32_t>(tables.kerning.size())};
    if (g.kerning.empty()) record.kerningFirst = 0;
    for (const Kern& k : g.kerning) tables.kerning.push_back({k.next, k.adjust});
    tables.glyphs.push_back(record);
  }
  tables.rangeCount = static_cast<uint32_t>(tables.ranges.size());
  tables.kerningCount = static_cast<uint32_t>(tables.kerning.size());
  tables.glyphCount = static_cast<uint32_t>(tables.glyphs.size());
  return tables;
}

std::vector<uint8_t> Write(const FontDesc& desc, const Tables& tables, Layout* layout) {
  Layout at;
  at.fontBlock = kFileHeaderSize;
  at.ranges = at.fontBlock + kFontHeaderSize;
  at.kerning = at.ranges + tables.ranges.size() * kRangeSize;
  at.glyphs = at.kerning + tables.kerning.size() * kKerningSize;
  at.pageName = at.glyphs + tables.glyphs.size() * kGlyphSize;
  at.size = at.pageName + desc.pageBaseName.size() + 1;

  std::vector<uint8_t> image(at.size, 0);
  PutU32(&image, 0, 0);
  PutU32(&image, 4, static_cast<uint32_t>(at.pageName));
  PutU32(&image, 8, static_cast<uint32_t>(at.fontBlock));

  const size_t h = at.fontBlock;
  PutU32(&image, h + kOffsetRangeCount, tables.rangeCount);
  PutU32(&image, h + kOffsetKerningCount, tables.kerningCount);
  PutU32(&image, h + kOffsetGlyphCount, tables.glyphCount);
  PutU32(&image, h + kOffsetFixedAdvance, desc.fixedAdvanceMinus1);
  PutU32(&image, h + 28, desc.metrics[0]);
  PutU32(&image, h + kOffsetLineHeight, desc.lineHeight);
  PutU32(&image, h + 36, desc.metrics[1]);
  PutU32(&image, h + 44, desc.metrics[2]);
  PutU32(&image, h + 48, desc.metrics[3]);
  PutU32(&image, h + kOffsetPageCount, desc.pageCount);

  for (size_t i = 0; i < tables.ranges.size(); ++i) {
    const size_t o = at.ranges + i * kRangeSize;
    PutU16(&image, o, tables.ranges[i].first);
    PutU16(&image, o + 2, tables.ranges[i].last);
    PutU32(&image, o + 4, tables.ranges[i].glyphIndex);
  }
  for (size_t i = 0; i < tables.kerning.size(); ++i) {
    const size_t o = at.kerning + i * kKerningSize;
    PutU16(&image, o, tables.kerning[i].next);
    PutU32(&image, o + 4, static_cast<uint32_t>(tables.kerning[i].adjust));
  }
  for (size_t i = 0; i < tables.glyphs.size(); ++i) {
    const size_t o = at.glyphs + i * kGlyphSize;
    const GlyphRecord& g = tables.glyphs[i];
    PutU32(&image, o + 4, g.sourceX);
    PutU16(&image, o + 8, g.sourceY);
    PutU16(&image, o + 10, g.page);
    PutU32(&image, o + 12, g.width);
    PutU32(&image, o + 16, g.height);
    PutU32(&image, o + 20, static_cast<uint32_t>(g.xOffset));
    PutU32(&image, o + 24, static_cast<uint32_t>(g.advance));
    PutU32(&image, o + 28, g.kerningCount);
    PutU32(&image, o + 32, g.kerningFirst);
  }
  std::copy(desc.pageBaseName.begin(), desc.pageBaseName.end(), image.begin() + at.pageName);
  if (layout) *layout = at;
  return image;
}

std::vector<uint8_t> Write(const FontDesc& desc, Layout* layout) {
  return Write(desc, BuildTables(desc), layout);
}

bool SaveWft(const std::string& path, const FontDesc& desc) { return SaveBytes(path, Write(desc)); }

}  // namespace wftwriter
