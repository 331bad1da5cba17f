#pragma once
// Bitmap fonts: one ".wft" file turned into working tables (character ranges, kerning pairs,
// glyph records and a search tree over the ranges), the texture pages it names and sixteen
// button icons; strings measured, word-wrapped and drawn glyph by glyph. Drawing itself (device
// states, quads, colour) is the platform class's (`Font`, Engine/PC/PCFont.h).
//
// The file is checked whole before anything is built from it: every count, offset, range, glyph
// index, kerning index and page index must lie inside the file and its arrays, the ranges must be
// sorted and disjoint. A file that fails leaves the font unloaded (one log line naming the file
// and the fault); an unloaded font measures 0 and draws nothing. Nothing of the image is kept
// after construction: the arrays are copies.
//
// Text is UTF-16 (char16_t). Positions and sizes are pixels of a 640 x 480 screen.

#include <cstddef>
#include <cstdint>

#include "Engine/FileImage.h"
#include "Engine/LinkedList.h"

// ---- The ".wft" file, little-endian, as it lies in the image.

struct WftFileHeader {
  uint32_t relocated;        // 0 on disk, 1 once a font has been built over the image
  uint32_t pageNameOffset;   // narrow page base name, zero-terminated
  uint32_t fontBlockOffset;  // the font block
};
static_assert(sizeof(WftFileHeader) == 12, "the .wft file header is 12 bytes");

struct WftFontHeader {
  uint32_t word0;
  uint32_t rangeCount;
  uint32_t kerningCount;
  uint32_t glyphCount;
  uint32_t word16[2];
  uint32_t fixedAdvanceMinus1;  // every glyph's advance, less one, without proportional spacing
  uint32_t metric28;
  uint32_t lineHeight;
  uint32_t metric36;
  uint32_t word40;
  uint32_t metric44;
  uint32_t metric48;
  uint32_t pageCount;
  uint32_t word56[6];
};
static_assert(sizeof(WftFontHeader) == 80, "the font block's header is 80 bytes");

// Characters first..last (inclusive) have the consecutive glyphs from glyphIndex on.
struct FontRange {
  uint16_t first;
  uint16_t last;
  uint32_t glyphIndex;
};
static_assert(sizeof(FontRange) == 8, "a character range is 8 bytes");

// One pair of a glyph's kerning: the adjustment when `next` follows the glyph.
struct FontKerning {
  uint16_t next;
  uint16_t unused;
  int32_t adjust;
};
static_assert(sizeof(FontKerning) == 8, "a kerning pair is 8 bytes");

struct FontGlyph {
  uint32_t word0;
  uint32_t sourceX;  // low 16 bits used
  uint16_t sourceY;
  uint16_t page;
  uint32_t width;
  uint32_t height;
  int32_t xOffset;  // added to the pen before the glyph
  int32_t advance;  // after the glyph's width
  uint32_t kerningCount;
  uint32_t kerningFirst;
};
static_assert(sizeof(FontGlyph) == 36, "a glyph record is 36 bytes");

// Byte offset of the range array inside the font block.
constexpr uint32_t kWftArraysOffset = sizeof(WftFontHeader);

// ---- The search tree over the character ranges.

struct FontTreeNode {
  uint16_t lowest;
  uint16_t highest;
  uint32_t leaf;  // 1 on the first level
  // A leaf's first range, or an inner node's array of fan-out children (null past the last).
  const FontRange* firstRange;
  FontTreeNode** children;
};

// One block allocated for the tree, so that all of them can be freed together.
struct FontTreeBlock : LinkedListNode {
  void* block = nullptr;
};

struct FontTree {
  FontTreeNode* root = nullptr;        // the last level's one node
  FontTreeNode* firstLevel = nullptr;  // the leaves
  const FontRange* rangeEnd = nullptr;
  int32_t fanOut = 2;
  uint16_t threshold = 0;  // characters up to here scan from the first range
  int32_t levels = 0;
  LinkedList blocks;
  int32_t blockCount = 0;
};

// ---- The working tables of a loaded font (all arrays owned by the font).

struct FontInfo {
  FontGlyph* glyphs;
  const FontGlyph* fallback;  // the glyph of '?', or null
  FontTree* tree;
  FontKerning* kerning;
  FontRange* ranges;
  uint32_t rangeCount;
  uint32_t fixedAdvanceMinus1;
  uint32_t lineHeight;
  uint32_t pageCount;
  uint32_t metrics[4];  // copied from the header; nothing reads them
  int32_t spaceAdvance;
  uint32_t kerningCount;
  uint32_t glyphCount;
};

// Per-font draw settings. Only the flags mean anything; the three words are kept for whoever
// wants to hang settings on a font.
struct FontSettings {
  uint32_t words[3] = {};
  uint32_t flags = 3;
};

// A rectangle in pixels. Destinations are signed: a glyph with a negative x offset at the left
// edge, or text placed partly off screen, must not wrap to the far side.
struct FontRect {
  int32_t x;
  int32_t y;
  int32_t width;
  int32_t height;
};

class BaseFont {
 public:
  static constexpr uint32_t kFlagKerning = 0x1;
  static constexpr uint32_t kFlagProportional = 0x2;
  static constexpr int32_t kIconCount = 16;
  // Pages first, then the icons, then one spare entry.
  static constexpr int32_t kExtraPageEntries = kIconCount + 1;
  static constexpr int32_t kReturnIcon = 14;
  static constexpr int32_t kBackspaceIcon = 15;
  // What an icon escape measures (the icon and the space that follows it in the texts).
  static constexpr int32_t kIconMeasure = 48;
  static constexpr int32_t kWordWrapHeightWidth = 450;
  // The narrow twins widen into one shared buffer of this many characters (terminator included);
  // longer texts are cut.
  static constexpr size_t kNarrowBufferSize = 2048;
  // Room for a page or icon file name built from a base name.
  static constexpr size_t kFileNameSize = 260;
  // Limits on what a file may claim. The page index of a glyph is 16 bits, but no font has more
  // than a handful of pages, and each page is a texture load; sizes and offsets beyond 16 bits
  // would overflow the pixel sums.
  static constexpr uint32_t kMaxPages = 256;
  static constexpr int32_t kMaxMetric = 0xFFFF;

  static const char* const kIconFiles[kIconCount];

  // Builds the font over a whole ".wft" image, which must stay alive while the font is built
  // (the font keeps nothing of it). The image's relocated word is set to 1. `name` names the file
  // in log lines.
  BaseFont(void* image, size_t size, const char* name);
  virtual ~BaseFont();
  BaseFont(const BaseFont&) = delete;
  BaseFont& operator=(const BaseFont&) = delete;

  // The platform's drawing, in the order of the interface.
  virtual void BeginText() = 0;
  virtual void EndText() = 0;
  virtual void DrawQuads(int32_t texture, const FontRect& dest, const FontRect& source) = 0;
  virtual void SetDepth(float depth) = 0;
  virtual void SetColour(uint32_t colour) = 0;

  // Takes the font block (a view whose offsets count from the block's start): checks it, copies
  // its arrays and builds the tree. 1, or 0 with the font left unloaded.
  int32_t SetFont(const FileImage& block);
  // Page table (page count + 17 entries, all -1) and the page textures; only for a loaded font
  // with a name.
  void InitFontTextures(const char* baseName);
  // Loads the sixteen button icons (with the current data folder) and sets the icon glyph.
  void InitButtonIcons();

  // Pixels of the text; '\\' escapes measure 48. The narrow form has no escapes.
  int32_t GetStringWidth(const char16_t* text);
  int32_t GetStringWidth(const char* text);
  // Width of the first n characters (no escapes; stops at the terminator).
  int32_t GetCountedWidth(const char16_t* text, int32_t n);
  int32_t GetCountedWidth(const char* text, int32_t n);
  // Line height × lines; -1 for null; an unloaded font gives minus the number of lines.
  int32_t GetTextHeight(const char16_t* text);
  // A copy of the text with line breaks so that it fits `width`; the height through `height`
  // (when given). Null for null or empty text. The caller frees it with FreeText.
  char16_t* GetWordWrapFormatString(const char16_t* text, int32_t width, int32_t* height);
  // Height of the text wrapped to 450 pixels; -1 for null.
  int32_t GetWordWrapHeight(const char16_t* text);
  static void FreeText(char16_t* text);

  // Draws the text from (x, y); with wrapWidth > 0 it is word-wrapped first.
  void DrawString(const char16_t* text, int32_t x, int32_t y, uint32_t colour, float depth,
                  int32_t wrapWidth);
  void DrawString(const char* text, int32_t x, int32_t y, uint32_t colour, float depth,
                  int32_t wrapWidth);

  // "<base>.dds" for page 0, "<base>_<page + 1, three digits>.dds" for the others, the base
  // name cut at its first '.'. Pages left after this one, or -1 for a null name or buffer or a
  // page outside the font's pages. The output is cut to `capacity` characters (terminator
  // included).
  int32_t GetTextureFilename(const char* baseName, int32_t page, char* out, size_t capacity) const;

  // Page-table entries (pages, then icons): -1 without a table or outside it.
  int32_t GetPageHandle(int32_t entry) const;
  void SetPageHandle(int32_t entry, int32_t handle);
  int32_t GetPageTableSize() const { return m_pageTable ? m_pageEntries : 0; }

  // The glyph of a character (after the previous glyph, for kerning), or null; *kerning gets the
  // adjustment. The second form falls back to '?' (which may itself be missing).
  const FontGlyph* GetGlyph(char16_t c, const FontGlyph* previous, int32_t* kerning) const;
  const FontGlyph* GetGlyphWithFallback(char16_t c, const FontGlyph* previous,
                                        int32_t* kerning) const;
  // Advance after a glyph and the offset before it, by the current spacing mode.
  int32_t GetAdvance(const FontGlyph* glyph) const;
  int32_t GetOffset(const FontGlyph* glyph, int32_t kerning) const;
  // The range holding c (through the tree), or null.
  const FontRange* FindRange(char16_t c) const;

  int32_t IsLoaded() const { return m_loaded; }
  const FontInfo* GetInfo() const { return m_info; }
  int32_t GetLineHeight() const { return m_info ? static_cast<int32_t>(m_info->lineHeight) : 0; }
  int32_t GetPageCount() const { return m_info ? static_cast<int32_t>(m_info->pageCount) : 0; }
  int32_t GetSpaceWidth() const { return m_spaceWidth; }
  const FontGlyph& GetIconGlyph() const { return m_iconGlyph; }
  uint32_t GetFlags() const { return m_settingsInUse->flags; }
  void SetFlags(uint32_t flags) { m_settingsInUse->flags = flags; }
  // Points the font at shared settings; null returns to its own.
  void UseSettings(FontSettings* settings) { m_settingsInUse = settings ? settings : &m_settings; }

  // The search tree on its own, for the font and its tests.
  static int32_t FanOutFor(uint32_t rangeCount);
  static FontTree* BuildBTree(int32_t fanOut, const FontRange* ranges, uint32_t count);
  static void FreeBTree(FontTree* tree);
  static const FontRange* FindRangeInTree(const FontTree* tree, const FontRange* ranges,
                                          char16_t c);

  // Small wide-text helpers.
  static size_t TextLength(const char16_t* text);
  static char16_t* TextCopy(char16_t* dest, const char16_t* src);
  // Index of the first character that is in `set`; the text's length when none is.
  static size_t FindFirstOf(const char16_t* text, const char16_t* set);
  // "<address>)" then the low bytes of the first `count` characters, to the standard output.
  static void DebugPrint(int32_t count, const char16_t* text);

  // 160 and 0xFFA0 are spaces to the font.
  static char16_t Normalise(char16_t c) { return (c == 160 || c == 0xFFA0) ? u' ' : c; }

 protected:
  // One step of the text walk that drawing uses.
  struct TextCursor {
    const char16_t* text = nullptr;
    const FontGlyph* glyph = nullptr;
    int32_t texture = -1;
    int32_t penX = 0;
    int32_t penY = 0;
    int32_t sourceX = 0;
    int32_t sourceY = 0;
    int32_t page = 0;
    int32_t width = 0;
    int32_t height = 0;
    size_t index = 0;
    const FontGlyph* previous = nullptr;
    int32_t startX = 0;
    int32_t kerning = 0;
    int32_t lastAdvance = 0;
  };
  // -1 at the end, 1 with a glyph to draw in the cursor, 0 for a step that draws nothing.
  int32_t StepText(TextCursor* cursor);

 private:
  template <class Ch>
  int32_t Measure(const Ch* text, size_t limit, bool escapes) const;
  // The icon number of an escape's code character, or -1 (after the assertion) for none.
  static int32_t IconNumber(char16_t code);
  const FontGlyph* IconGlyph(int32_t icon);
  void ResetIconGlyph();
  void ReleaseTables();
  void ReleasePageTable();
  bool CheckBlock(const FileImage& block, const WftFontHeader& header, const FontRange* ranges,
                  const FontKerning* kerning, const FontGlyph* glyphs) const;

  FontInfo* m_info = nullptr;
  FontSettings m_settings;
  FontSettings* m_settingsInUse = &m_settings;
  int32_t m_loaded = 0;
  int32_t* m_pageTable = nullptr;
  int32_t m_pageEntries = 0;
  int32_t m_spaceWidth = 0;
  FontGlyph m_iconGlyph = {};
  char16_t m_wordSeparators[3] = {u' ', u'\n', 0};
  char m_name[FileImage::kNameSize] = {};
};
