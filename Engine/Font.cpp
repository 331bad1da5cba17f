#include "Engine/Font.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "Engine/Assert.h"
#include "Engine/BaseApp.h"
#include "Engine/BaseTexture.h"
#include "Engine/LogFile.h"
#include "Engine/MemoryTracker.h"

const char* const BaseFont::kIconFiles[kIconCount] = {
    "cross_32.dds",
    "triangle_32.dds",
    "circle_32.dds",
    "square_32.dds",
    "circle_32.dds",
    "circle_32.dds",
    "l1_32.dds",
    "l2_32.dds",
    "r1_32.dds",
    "r2_32.dds",
    "directional_button_left.dds",
    "directional_button_right.dds",
    "directional_button_up.dds",
    "directional_button_down.dds",
    "return.dds",
    "backspace.dds",
};

namespace {

// The narrow twins share this; they are not re-entrant (one thread draws).
char16_t g_narrowText[BaseFont::kNarrowBufferSize];

const char16_t* WidenShared(const char* text) {
  if (!text) return nullptr;
  size_t n = std::strlen(text);
  if (n > BaseFont::kNarrowBufferSize - 1) n = BaseFont::kNarrowBufferSize - 1;
  for (size_t i = 0; i < n; ++i) g_narrowText[i] = static_cast<unsigned char>(text[i]);
  g_narrowText[n] = 0;
  return g_narrowText;
}

char16_t Unit(char16_t c) { return c; }
char16_t Unit(char c) { return static_cast<unsigned char>(c); }

int32_t ClampToInt(int64_t v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

bool WithinMetric(int64_t v) { return v >= -BaseFont::kMaxMetric && v <= BaseFont::kMaxMetric; }

template <class T>
T* CopyArray(const T* source, uint32_t count) {
  if (count == 0) return nullptr;
  auto* copy = static_cast<T*>(TrackedAlloc("BaseFont::SetFont", sizeof(T) * count));
  if (copy) std::memcpy(copy, source, sizeof(T) * count);
  return copy;
}

}  // namespace

BaseFont::BaseFont(void* image, size_t size, const char* name) {
  ResetIconGlyph();
  std::snprintf(m_name, sizeof(m_name), "%s", name ? name : "(font)");
  FileImage file(image, size, m_name);
  WftFileHeader* header = file.GetMutable<WftFileHeader>(0, "font file header");
  if (!header) return;
  // Offsets stay offsets here (they are resolved through the image on use); the word still
  // records that the image has been taken, as a second font over it expects.
  if (header->relocated == 0) header->relocated = 1;
  const char* baseName = file.GetString(header->pageNameOffset, "page base name");
  if (!baseName) return;
  FileImage block = file.SubToEnd(header->fontBlockOffset, "font block");
  if (!block.Valid()) return;
  if (!SetFont(block)) return;
  InitFontTextures(baseName);
}

BaseFont::~BaseFont() {
  ReleasePageTable();
  ReleaseTables();
}

void BaseFont::ReleasePageTable() {
  if (!m_pageTable) return;
  BaseTexture* textures = GetBaseApp().GetTexture();
  for (int32_t i = 0; i < m_pageEntries; ++i)
    if (m_pageTable[i] != -1) textures->Delete(m_pageTable[i]);
  TrackedFree("BaseFont::ReleasePageTable", m_pageTable);
  m_pageTable = nullptr;
  m_pageEntries = 0;
}

void BaseFont::ReleaseTables() {
  if (!m_info) return;
  if (m_info->glyphs) TrackedFree("BaseFont::ReleaseTables", m_info->glyphs);
  if (m_info->kerning) TrackedFree("BaseFont::ReleaseTables", m_info->kerning);
  if (m_info->ranges) TrackedFree("BaseFont::ReleaseTables", m_info->ranges);
  FreeBTree(m_info->tree);
  TrackedFree("BaseFont::ReleaseTables", m_info);
  m_info = nullptr;
  m_loaded = 0;
}

bool BaseFont::CheckBlock(const FileImage& block, const WftFontHeader& header,
                          const FontRange* ranges, const FontKerning* kerning,
                          const FontGlyph* glyphs) const {
  const char* name = block.Name();
  if (header.rangeCount == 0) {
    DebugLog().Write("%s: font has no character ranges\n", name);
    return false;
  }
  if (header.pageCount > kMaxPages) {
    DebugLog().Write("%s: page count %u is more than %u\n", name, header.pageCount, kMaxPages);
    return false;
  }
  if (header.lineHeight > uint32_t(kMaxMetric) || header.fixedAdvanceMinus1 >= uint32_t(kMaxMetric)) {
    DebugLog().Write("%s: line height %u or fixed advance %u out of range\n", name,
                     header.lineHeight, header.fixedAdvanceMinus1);
    return false;
  }
  for (uint32_t i = 0; i < header.rangeCount; ++i) {
    const FontRange& r = ranges[i];
    if (r.first > r.last) {
      DebugLog().Write("%s: range %u runs backwards (%u to %u)\n", name, i, r.first, r.last);
      return false;
    }
    if (i > 0 && r.first <= ranges[i - 1].last) {
      DebugLog().Write("%s: range %u (from %u) is not after range %u (to %u)\n", name, i, r.first,
                       i - 1, ranges[i - 1].last);
      return false;
    }
    if (uint64_t(r.glyphIndex) + (r.last - r.first) >= header.glyphCount) {
      DebugLog().Write("%s: glyphs of range %u (%u + %u) outside the %u glyphs\n", name, i,
                       r.glyphIndex, r.last - r.first, header.glyphCount);
      return false;
    }
  }
  for (uint32_t i = 0; i < header.kerningCount; ++i) {
    if (!WithinMetric(kerning[i].adjust)) {
      DebugLog().Write("%s: kerning pair %u adjusts by %d\n", name, i, kerning[i].adjust);
      return false;
    }
  }
  for (uint32_t i = 0; i < header.glyphCount; ++i) {
    const FontGlyph& g = glyphs[i];
    if (g.page >= header.pageCount) {
      DebugLog().Write("%s: glyph %u is on page %u of %u\n", name, i, g.page, header.pageCount);
      return false;
    }
    if (uint64_t(g.kerningFirst) + g.kerningCount > header.kerningCount) {
      DebugLog().Write("%s: kerning of glyph %u (%u + %u) outside the %u pairs\n", name, i,
                       g.kerningFirst, g.kerningCount, header.kerningCount);
      return false;
    }
    if (g.width > uint32_t(kMaxMetric) || g.height > uint32_t(kMaxMetric) ||
        !WithinMetric(g.xOffset) || !WithinMetric(g.advance)) {
      DebugLog().Write("%s: glyph %u has sizes out of range (%u x %u, offset %d, advance %d)\n",
                       name, i, g.width, g.height, g.xOffset, g.advance);
      return false;
    }
  }
  return true;
}

int32_t BaseFont::SetFont(const FileImage& block) {
  if (!block.Valid()) return 0;
  // A font is taken once; a second call starts from nothing.
  ReleaseTables();
  const WftFontHeader* header = block.Get<WftFontHeader>(0, "font header");
  if (!header) return 0;
  uint64_t offset = kWftArraysOffset;
  const FontRange* ranges = block.GetArray<FontRange>(offset, header->rangeCount, "character ranges");
  offset += uint64_t(header->rangeCount) * sizeof(FontRange);
  const FontKerning* kerning =
      ranges ? block.GetArray<FontKerning>(offset, header->kerningCount, "kerning pairs") : nullptr;
  offset += uint64_t(header->kerningCount) * sizeof(FontKerning);
  const FontGlyph* glyphs =
      kerning ? block.GetArray<FontGlyph>(offset, header->glyphCount, "glyph records") : nullptr;
  if (!glyphs || !CheckBlock(block, *header, ranges, kerning, glyphs)) return 0;

  auto* info = static_cast<FontInfo*>(TrackedAlloc("BaseFont::SetFont", sizeof(FontInfo)));
  if (!info) return 0;
  std::memset(info, 0, sizeof(FontInfo));
  m_info = info;
  info->rangeCount = header->rangeCount;
  info->kerningCount = header->kerningCount;
  info->glyphCount = header->glyphCount;
  info->fixedAdvanceMinus1 = header->fixedAdvanceMinus1;
  info->lineHeight = header->lineHeight;
  info->pageCount = header->pageCount;
  info->metrics[0] = header->metric28;
  info->metrics[1] = header->metric36;
  info->metrics[2] = header->metric44;
  info->metrics[3] = header->metric48;
  info->ranges = CopyArray(ranges, header->rangeCount);
  info->kerning = CopyArray(kerning, header->kerningCount);
  info->glyphs = CopyArray(glyphs, header->glyphCount);
  if (!info->ranges || (header->kerningCount && !info->kerning) ||
      (header->glyphCount && !info->glyphs)) {
    DebugLog().Write("%s: no memory for the font tables\n", block.Name());
    ReleaseTables();
    return 0;
  }

  info->tree = BuildBTree(FanOutFor(info->rangeCount), info->ranges, info->rangeCount);
  if (!info->tree) {
    DebugLog().Write("%s: no memory for the glyph search tree\n", block.Name());
    ReleaseTables();
    return 0;
  }
  m_loaded = 1;

  int32_t unused = 0;
  const FontGlyph* space = GetGlyph(u' ', nullptr, &unused);
  const int32_t fixed = static_cast<int32_t>(info->fixedAdvanceMinus1) + 1;
  // A font without a space glyph still needs a width for the gaps that wrapping counts.
  if (space) {
    info->spaceAdvance = (m_settingsInUse->flags & kFlagProportional)
                             ? static_cast<int32_t>(space->width) + space->advance
                             : fixed;
    m_spaceWidth = static_cast<int32_t>(space->width) + space->advance;
  } else {
    info->spaceAdvance = fixed;
    m_spaceWidth = fixed;
  }
  info->fallback = GetGlyph(u'?', nullptr, &unused);
  return 1;
}

void BaseFont::InitFontTextures(const char* baseName) {
  if (!m_loaded || !baseName || !baseName[0]) return;
  ReleasePageTable();
  BaseTexture* textures = GetBaseApp().GetTexture();
  const int32_t pages = GetPageCount();
  m_pageEntries = pages + kExtraPageEntries;
  m_pageTable = static_cast<int32_t*>(TrackedAlloc(
      "BaseFont::InitFontTextures", sizeof(int32_t) * static_cast<size_t>(m_pageEntries)));
  if (!m_pageTable) {
    m_pageEntries = 0;
    return;
  }
  for (int32_t i = 0; i < m_pageEntries; ++i) m_pageTable[i] = -1;
  char fileName[kFileNameSize];
  for (int32_t page = 0; page < pages; ++page) {
    if (GetTextureFilename(baseName, page, fileName, sizeof(fileName)) < 0) break;
    m_pageTable[page] = textures->Load(fileName);
    // A missing page leaves -1, which draws with the fallback texture.
    if (m_pageTable[page] == -1)
      DebugLog().Write("%s: texture page %s not loaded\n", m_name, fileName);
  }
}

void BaseFont::ResetIconGlyph() {
  m_iconGlyph = {};
  m_iconGlyph.width = 32;
  m_iconGlyph.height = 32;
  m_iconGlyph.xOffset = 1;
  m_iconGlyph.advance = 1;
}

void BaseFont::InitButtonIcons() {
  ResetIconGlyph();
  if (!m_pageTable) return;
  BaseTexture* textures = GetBaseApp().GetTexture();
  const int32_t base = GetPageCount();
  for (int32_t i = 0; i < kIconCount; ++i) {
    int32_t& entry = m_pageTable[base + i];
    // Called again, the icons are reloaded rather than their references leaked.
    if (entry != -1) textures->Delete(entry);
    entry = textures->Load(kIconFiles[i]);
  }
}

int32_t BaseFont::GetTextureFilename(const char* baseName, int32_t page, char* out,
                                     size_t capacity) const {
  if (!baseName || !out || capacity == 0) return -1;
  const int32_t pages = GetPageCount();
  if (page < 0 || page >= pages) return -1;
  size_t stem = std::strcspn(baseName, ".");
  if (stem > kFileNameSize - 1) stem = kFileNameSize - 1;
  char base[kFileNameSize];
  std::memcpy(base, baseName, stem);
  base[stem] = 0;
  if (page != 0)
    std::snprintf(out, capacity, "%s_%03d.dds", base, page + 1);
  else
    std::snprintf(out, capacity, "%s.dds", base);
  return pages - page - 1;
}

int32_t BaseFont::GetPageHandle(int32_t entry) const {
  if (!m_pageTable || entry < 0 || entry >= m_pageEntries) return -1;
  return m_pageTable[entry];
}

void BaseFont::SetPageHandle(int32_t entry, int32_t handle) {
  if (m_pageTable && entry >= 0 && entry < m_pageEntries) m_pageTable[entry] = handle;
}

// ---- Glyphs.

const FontRange* BaseFont::FindRange(char16_t c) const {
  if (!m_info) return nullptr;
  return FindRangeInTree(m_info->tree, m_info->ranges, c);
}

const FontGlyph* BaseFont::GetGlyph(char16_t c, const FontGlyph* previous, int32_t* kerning) const {
  if (kerning) *kerning = 0;
  const FontRange* range = FindRange(c);
  if (!range) return nullptr;
  const FontGlyph* glyph = &m_info->glyphs[range->glyphIndex + (c - range->first)];
  if (kerning && previous && (m_settingsInUse->flags & kFlagKerning)) {
    // Pair indices were checked against the array when the font was taken; the icon glyph has
    // no pairs.
    for (uint32_t i = 0; i < previous->kerningCount; ++i) {
      const FontKerning& pair = m_info->kerning[previous->kerningFirst + i];
      if (pair.next == c) {
        *kerning = pair.adjust;
        break;
      }
    }
  }
  return glyph;
}

const FontGlyph* BaseFont::GetGlyphWithFallback(char16_t c, const FontGlyph* previous,
                                                int32_t* kerning) const {
  const FontGlyph* glyph = GetGlyph(c, previous, kerning);
  if (glyph || !m_info) return glyph;
  if (kerning) *kerning = 0;
  return m_info->fallback;
}

int32_t BaseFont::GetAdvance(const FontGlyph* glyph) const {
  if (!glyph) return 0;
  if (m_settingsInUse->flags & kFlagProportional)
    return static_cast<int32_t>(glyph->width) + glyph->advance;
  return m_info ? static_cast<int32_t>(m_info->fixedAdvanceMinus1) + 1 : 0;
}

int32_t BaseFont::GetOffset(const FontGlyph* glyph, int32_t kerning) const {
  if (!glyph || !(m_settingsInUse->flags & kFlagProportional)) return 0;
  return glyph->xOffset + kerning;
}

// ---- Measuring.

template <class Ch>
int32_t BaseFont::Measure(const Ch* text, size_t limit, bool escapes) const {
  if (!text || !m_loaded) return 0;
  int64_t width = 0;
  const FontGlyph* previous = nullptr;
  size_t i = 0;
  while (i < limit && text[i] != 0) {
    char16_t c = Normalise(Unit(text[i]));
    if (c == u'\n') {
      previous = nullptr;
      ++i;
      continue;
    }
    if (escapes && c == u'\\') {
      // The escape, its code and the character after it (the space the texts put after an
      // icon) together measure 48; none of them steps past the terminator.
      width += kIconMeasure;
      previous = nullptr;
      ++i;
      for (int skip = 0; skip < 2 && text[i] != 0; ++skip) ++i;
      continue;
    }
    int32_t kerning = 0;
    const FontGlyph* glyph = GetGlyphWithFallback(c, previous, &kerning);
    width += GetAdvance(glyph) + GetOffset(glyph, kerning);
    previous = glyph;
    ++i;
  }
  return ClampToInt(width);
}

int32_t BaseFont::GetStringWidth(const char16_t* text) { return Measure(text, SIZE_MAX, true); }

int32_t BaseFont::GetStringWidth(const char* text) {
  return Measure(WidenShared(text), SIZE_MAX, false);
}

int32_t BaseFont::GetCountedWidth(const char16_t* text, int32_t n) {
  return n <= 0 ? 0 : Measure(text, static_cast<size_t>(n), false);
}

int32_t BaseFont::GetCountedWidth(const char* text, int32_t n) {
  return n <= 0 ? 0 : Measure(text, static_cast<size_t>(n), false);
}

int32_t BaseFont::GetTextHeight(const char16_t* text) {
  if (!text) return -1;
  int64_t lines = 1;
  for (const char16_t* p = text; *p; ++p)
    if (*p == u'\n') ++lines;
  if (!m_loaded) return ClampToInt(-lines);
  return ClampToInt(lines * GetLineHeight());
}

char16_t* BaseFont::GetWordWrapFormatString(const char16_t* text, int32_t width,
                                            int32_t* height) {
  if (!text || !text[0]) {
    if (height) *height = GetTextHeight(text);
    return nullptr;
  }
  const size_t length = TextLength(text);
  auto* out = static_cast<char16_t*>(
      TrackedAlloc("BaseFont::GetWordWrapFormatString", (length + 11) * sizeof(char16_t)));
  if (!out) {
    if (height) *height = GetTextHeight(text);
    return nullptr;
  }
  TextCopy(out, text);
  int64_t line = 0;
  const int64_t space = m_spaceWidth;
  size_t pos = 0;
  for (;;) {
    const size_t end = pos + FindFirstOf(out + pos, m_wordSeparators);
    const int64_t w = GetCountedWidth(out + pos, static_cast<int32_t>(end - pos));
    if (line == 0) {
      line = space + w;
    } else if (line + w < width) {
      line += space + w;
    } else if (line + w == width) {
      line += w;
    } else {
      // line != 0 only after a first word, so a separator lies before this one.
      out[pos - 1] = u'\n';
      line = space + w;
    }
    if (out[end] == 0) break;
    // A line break of the text's own starts a fresh line.
    if (out[end] == u'\n') line = 0;
    pos = end + 1;
  }
  if (height) *height = GetTextHeight(out);
  return out;
}

int32_t BaseFont::GetWordWrapHeight(const char16_t* text) {
  if (!text) return -1;
  int32_t height = 0;
  char16_t* wrapped = GetWordWrapFormatString(text, kWordWrapHeightWidth, &height);
  FreeText(wrapped);
  return height;
}

void BaseFont::FreeText(char16_t* text) {
  if (text) TrackedFree("BaseFont::FreeText", text);
}

// ---- Drawing.

int32_t BaseFont::IconNumber(char16_t code) {
  if (code >= u'0' && code <= u'9') return code - u'0';
  if (code >= u'A' && code <= u'Z') return code - u'A' + 10;
  if (code >= u'a' && code <= u'z') return code - u'a' + 10;
  AssertReport("0", __FILE__, __LINE__);
  return -1;
}

const FontGlyph* BaseFont::IconGlyph(int32_t icon) {
  // Codes past the sixteen icons land on the spare entry or outside the table; GetPageHandle
  // gives -1 for those, which draws the fallback texture.
  int32_t page = (m_loaded ? GetPageCount() : 0) + icon;
  m_iconGlyph.page = static_cast<uint16_t>(page > 0xFFFF ? 0xFFFF : page);
  return &m_iconGlyph;
}

int32_t BaseFont::StepText(TextCursor* c) {
  if (!c->text || c->text[c->index] == 0) return -1;
  const char16_t ch = Normalise(c->text[c->index]);
  if (ch == u'\n') {
    c->penY += GetLineHeight();
    ++c->index;
    c->previous = nullptr;
    c->glyph = nullptr;  // no kerning across a line break
    c->kerning = 0;
    c->lastAdvance = 0;
    c->penX = c->startX;
    return 0;
  }
  c->penX += c->lastAdvance;
  c->previous = c->glyph;

  const FontGlyph* glyph = nullptr;
  int32_t kerning = 0;
  size_t consumed = 1;
  const char16_t next = c->text[c->index + 1];
  if (ch == u'#' || ch == u'*') {
    glyph = IconGlyph(ch == u'#' ? kReturnIcon : kBackspaceIcon);
    if (next != 0) consumed = 2;
  } else if (ch == u'\\') {
    const int32_t icon = IconNumber(next);
    if (icon >= 0) glyph = IconGlyph(icon);
    if (next != 0) consumed = 2;
  } else {
    glyph = GetGlyphWithFallback(ch, c->previous, &kerning);
  }
  c->index += consumed;
  if (!glyph) {
    // Skipped without a trace: the pen has taken the previous advance, and nothing after it
    // kerns against a character that was not drawn.
    c->glyph = nullptr;
    c->lastAdvance = 0;
    c->kerning = 0;
    return 0;
  }
  c->kerning = kerning;
  c->lastAdvance = GetAdvance(glyph);
  c->penX += GetOffset(glyph, kerning);
  c->glyph = glyph;
  c->sourceX = static_cast<int32_t>(glyph->sourceX & 0xFFFFu);
  c->sourceY = glyph->sourceY;
  c->page = glyph->page;
  c->width = static_cast<int32_t>(glyph->width);
  c->height = static_cast<int32_t>(glyph->height);
  c->texture = GetPageHandle(glyph->page);
  return 1;
}

void BaseFont::DrawString(const char16_t* text, int32_t x, int32_t y, uint32_t colour,
                          float depth, int32_t wrapWidth) {
  if (!text || !m_loaded) return;
  BeginText();
  SetColour(colour);
  SetDepth(depth);
  char16_t* wrapped = nullptr;
  if (wrapWidth > 0 && text[0]) wrapped = GetWordWrapFormatString(text, wrapWidth, nullptr);
  TextCursor cursor;
  cursor.text = wrapped ? wrapped : text;
  cursor.penX = cursor.startX = x;
  cursor.penY = y;
  int32_t step;
  while ((step = StepText(&cursor)) != -1) {
    if (step != 1) continue;
    DrawQuads(cursor.texture, FontRect{cursor.penX, cursor.penY, cursor.width, cursor.height},
              FontRect{cursor.sourceX, cursor.sourceY, cursor.width, cursor.height});
  }
  FreeText(wrapped);
  EndText();
}

void BaseFont::DrawString(const char* text, int32_t x, int32_t y, uint32_t colour, float depth,
                          int32_t wrapWidth) {
  DrawString(WidenShared(text), x, y, colour, depth, wrapWidth);
}

// ---- The search tree.

int32_t BaseFont::FanOutFor(uint32_t rangeCount) {
  float f = static_cast<float>(rangeCount) * 0.5f;
  if (static_cast<int64_t>(f) <= 0) return 2;
  f = std::sqrt(std::sqrt(f));
  const int32_t fanOut = static_cast<int32_t>(f);
  return fanOut > 2 ? fanOut : 2;
}

namespace {

// Records a block in the tree's list; false (with the block freed) when the record cannot be had.
bool Track(FontTree* tree, void* block) {
  if (!block) return false;
  FontTreeBlock* record = TrackedNew<FontTreeBlock>("Track");
  if (!record) {
    TrackedFree("Track", block);
    return false;
  }
  record->block = block;
  tree->blocks.AddTail(record);
  ++tree->blockCount;
  return true;
}

void* AllocateTreeBlock(size_t bytes) { return TrackedAlloc("BaseFont::BuildBTree", bytes); }

}  // namespace

FontTree* BaseFont::BuildBTree(int32_t fanOut, const FontRange* ranges, uint32_t count) {
  if (!ranges || count == 0 || fanOut < 2) return nullptr;
  void* record = AllocateTreeBlock(sizeof(FontTree));
  if (!record) return nullptr;
  FontTree* tree = new (record) FontTree();
  tree->fanOut = fanOut;
  tree->rangeEnd = ranges + count;
  const uint32_t f = static_cast<uint32_t>(fanOut);

  // Leaves: each covers up to F consecutive ranges.
  uint32_t levelCount = (count + f - 1) / f;
  auto* level = static_cast<FontTreeNode*>(AllocateTreeBlock(sizeof(FontTreeNode) * levelCount));
  if (!Track(tree, level)) {
    FreeBTree(tree);
    return nullptr;
  }
  for (uint32_t i = 0; i < levelCount; ++i) {
    const uint32_t first = i * f;
    const uint32_t last = (first + f < count ? first + f : count) - 1;
    level[i] = FontTreeNode{ranges[first].first, ranges[last].last, 1, &ranges[first], nullptr};
  }
  tree->firstLevel = level;
  int32_t levels = 1;

  while (levelCount > 1) {
    const uint32_t upperCount = (levelCount + f - 1) / f;
    auto* upper = static_cast<FontTreeNode*>(AllocateTreeBlock(sizeof(FontTreeNode) * upperCount));
    if (!Track(tree, upper)) {
      FreeBTree(tree);
      return nullptr;
    }
    for (uint32_t i = 0; i < upperCount; ++i) {
      auto** children = static_cast<FontTreeNode**>(AllocateTreeBlock(sizeof(FontTreeNode*) * f));
      if (!Track(tree, children)) {
        FreeBTree(tree);
        return nullptr;
      }
      FontTreeNode* lastChild = nullptr;
      for (uint32_t j = 0; j < f; ++j) {
        const uint32_t index = i * f + j;
        children[j] = index < levelCount ? &level[index] : nullptr;
        if (children[j]) lastChild = children[j];
      }
      upper[i] = FontTreeNode{children[0]->lowest, lastChild->highest, 0, nullptr, children};
    }
    level = upper;
    levelCount = upperCount;
    ++levels;
  }
  tree->root = level;
  tree->levels = levels;

  int64_t index = (int64_t(levels - 2) * fanOut) / 2;
  if (index < 0) index = 0;
  if (index > int64_t(count) - 1) index = int64_t(count) - 1;
  tree->threshold = ranges[index].last;
  return tree;
}

void BaseFont::FreeBTree(FontTree* tree) {
  if (!tree) return;
  while (LinkedListNode* node = tree->blocks.RemoveHead()) {
    auto* record = static_cast<FontTreeBlock*>(node);
    TrackedFree("BaseFont::FreeBTree", record->block);
    TrackedDelete("BaseFont::FreeBTree", record);
  }
  tree->~FontTree();
  TrackedFree("BaseFont::FreeBTree", tree);
}

const FontRange* BaseFont::FindRangeInTree(const FontTree* tree, const FontRange* ranges,
                                           char16_t c) {
  if (!tree || !tree->root || !ranges) return nullptr;
  const FontTreeNode* node = tree->root;
  if (c < node->lowest || c > node->highest) return nullptr;
  const FontRange* start = ranges;
  if (c > tree->threshold) {
    const int32_t f = tree->fanOut;
    while (!node->leaf) {
      const FontTreeNode* chosen = nullptr;
      for (int32_t j = 0; j < f - 1; ++j) {
        const FontTreeNode* child = node->children[j];
        if (!child) break;
        if (c < child->lowest) return nullptr;
        if (c <= child->highest) {
          chosen = child;
          break;
        }
      }
      if (!chosen) {
        chosen = node->children[f - 1];
        if (!chosen || c < chosen->lowest) return nullptr;
      }
      node = chosen;
    }
    start = node->firstRange;
  }
  for (const FontRange* r = start; r < tree->rangeEnd; ++r) {
    if (c < r->first) return nullptr;
    if (c <= r->last) return r;
  }
  return nullptr;
}

// ---- Wide-text helpers.

size_t BaseFont::TextLength(const char16_t* text) {
  size_t n = 0;
  if (text)
    while (text[n]) ++n;
  return n;
}

char16_t* BaseFont::TextCopy(char16_t* dest, const char16_t* src) {
  if (!dest || !src) return dest;
  size_t i = 0;
  while ((dest[i] = src[i]) != 0) ++i;
  return dest;
}

size_t BaseFont::FindFirstOf(const char16_t* text, const char16_t* set) {
  if (!text) return 0;
  size_t i = 0;
  for (; text[i]; ++i)
    for (const char16_t* s = set; s && *s; ++s)
      if (text[i] == *s) return i;
  return i;
}

void BaseFont::DebugPrint(int32_t count, const char16_t* text) {
  std::printf("%08llx)", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(text)));
  // Stops at the terminator as well: a count longer than the text must not read past it.
  for (int32_t i = 0; text && i < count && text[i]; ++i)
    std::printf("%c", static_cast<char>(text[i] & 0xFF));
  std::printf("\n");
}
