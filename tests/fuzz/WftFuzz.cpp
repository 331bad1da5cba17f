// ".wft" bitmap fonts: a whole file loaded as the font factory does, the font built over it, and
// text measured, wrapped and laid out through the glyph tree.

#include "Engine/Font.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCFileIO.h"
#include "tests/fuzz/FuzzTarget.h"
#include "tests/support/WftWriter.h"

namespace {

// Lays text out without a device.
class NullFont : public BaseFont {
 public:
  using BaseFont::BaseFont;
  void BeginText() override {}
  void EndText() override {}
  void DrawQuads(int32_t, const FontRect&, const FontRect&) override {}
  void SetDepth(float) override {}
  void SetColour(uint32_t) override {}
};

}  // namespace

std::vector<FuzzSeed> FuzzSeeds() {
  wftwriter::FontDesc small;
  small.Add(u' ', 0, 0, 4, 1);
  small.Add(u'?', 8, 0, 6, 8);
  small.Add(u'A', 16, 0, 8, 8, 0, 2).kerning = {{u'B', -3}};
  small.Add(u'B', 24, 0, 5, 8, -1, 1, 1);
  small.pageCount = 2;
  wftwriter::FontDesc many;
  for (uint32_t i = 0; i < 200; ++i) many.Add(static_cast<char16_t>(0x20 + 3 * i), i, 0, 1, 1);
  return {{"small.wft", wftwriter::Write(small)}, {"many.wft", wftwriter::Write(many)}};
}

bool FuzzSetUp() { return true; }

void FuzzOne(const uint8_t* data, size_t size) {
  WriteInputFile("fuzz.wft", data, size);
  int32_t loaded = 0;
  void* image = FileIO::LoadFile("fuzz.wft", &loaded);
  if (!image) return;
  {
    NullFont font(image, static_cast<size_t>(loaded), "fuzz.wft");
    if (font.IsLoaded()) {
      const char16_t text[] = u"AB ?\u00a0A\\B\nAB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB";
      font.GetStringWidth(text);
      font.GetStringWidth("AB ?");
      font.GetTextHeight(text);
      font.DrawString(text, 10, 10, 0xFFFFFFFFu, 0.5f, 40);
      font.DrawString("AB ?", 10, 10, 0xFFFFFFFFu, 0.5f, 0);
      int32_t height = 0;
      BaseFont::FreeText(font.GetWordWrapFormatString(text, 40, &height));
    }
  }
  TrackedFree("FuzzOne", image);
}
