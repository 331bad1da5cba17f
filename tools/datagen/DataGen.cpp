// Writes the demo data folder the program runs on, made from primitives: placeholder art whose
// only job is to exercise every loader with valid files.
//
//   datagen <output folder>      (the folder that will hold "data/")

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/DdsWriter.h"
#include "tests/support/GeoWriter.h"
#include "tests/support/ScnWriter.h"
#include "tests/support/Ps2Writer.h"
#include "tests/support/WftWriter.h"
#include "tools/datagen/DataGenGames.h"
#include "tools/datagen/DataGenSound.h"

namespace {

// The texture drawn wherever a texture is missing: a loud magenta and black checker.
bool WriteBadTexture(const std::string& root) {
  const uint32_t size = 64;
  std::vector<uint32_t> texels(size * size);
  for (uint32_t y = 0; y < size; ++y)
    for (uint32_t x = 0; x < size; ++x)
      texels[y * size + x] = ((x / 8 + y / 8) % 2) ? 0xFFFF00FFu : 0xFF000000u;
  return ddswriter::SaveDds(root + "/data/badtexture.dds", gfx::D3DFMT_A8R8G8B8, size, size,
                            texels.data(), true);
}


// ---- The demo font and the button icons.

// A 5 x 7 face for ASCII 32 to 126: five column bytes a glyph, bit 0 the top row.
constexpr uint8_t kFaceColumns[95][5] = {
    {0x00, 0x00, 0x00, 0x00, 0x00}, {0x00, 0x00, 0x5F, 0x00, 0x00},  //   !
    {0x00, 0x07, 0x00, 0x07, 0x00}, {0x14, 0x7F, 0x14, 0x7F, 0x14},  // " #
    {0x24, 0x2A, 0x7F, 0x2A, 0x12}, {0x23, 0x13, 0x08, 0x64, 0x62},  // $ %
    {0x36, 0x49, 0x55, 0x22, 0x50}, {0x00, 0x05, 0x03, 0x00, 0x00},  // & '
    {0x00, 0x1C, 0x22, 0x41, 0x00}, {0x00, 0x41, 0x22, 0x1C, 0x00},  // ( )
    {0x14, 0x08, 0x3E, 0x08, 0x14}, {0x08, 0x08, 0x3E, 0x08, 0x08},  // * +
    {0x00, 0x50, 0x30, 0x00, 0x00}, {0x08, 0x08, 0x08, 0x08, 0x08},  // , -
    {0x00, 0x60, 0x60, 0x00, 0x00}, {0x20, 0x10, 0x08, 0x04, 0x02},  // . /
    {0x3E, 0x51, 0x49, 0x45, 0x3E}, {0x00, 0x42, 0x7F, 0x40, 0x00},  // 0 1
    {0x42, 0x61, 0x51, 0x49, 0x46}, {0x21, 0x41, 0x45, 0x4B, 0x31},  // 2 3
    {0x18, 0x14, 0x12, 0x7F, 0x10}, {0x27, 0x45, 0x45, 0x45, 0x39},  // 4 5
    {0x3C, 0x4A, 0x49, 0x49, 0x30}, {0x01, 0x71, 0x09, 0x05, 0x03},  // 6 7
    {0x36, 0x49, 0x49, 0x49, 0x36}, {0x06, 0x49, 0x49, 0x29, 0x1E},  // 8 9
    {0x00, 0x36, 0x36, 0x00, 0x00}, {0x00, 0x56, 0x36, 0x00, 0x00},  // : ;
    {0x08, 0x14, 0x22, 0x41, 0x00}, {0x14, 0x14, 0x14, 0x14, 0x14},  // < =
    {0x00, 0x41, 0x22, 0x14, 0x08}, {0x02, 0x01, 0x51, 0x09, 0x06},  // > ?
    {0x32, 0x49, 0x79, 0x41, 0x3E}, {0x7E, 0x11, 0x11, 0x11, 0x7E},  // @ A
    {0x7F, 0x49, 0x49, 0x49, 0x36}, {0x3E, 0x41, 0x41, 0x41, 0x22},  // B C
    {0x7F, 0x41, 0x41, 0x22, 0x1C}, {0x7F, 0x49, 0x49, 0x49, 0x41},  // D E
    {0x7F, 0x09, 0x09, 0x09, 0x01}, {0x3E, 0x41, 0x49, 0x49, 0x7A},  // F G
    {0x7F, 0x08, 0x08, 0x08, 0x7F}, {0x00, 0x41, 0x7F, 0x41, 0x00},  // H I
    {0x20, 0x40, 0x41, 0x3F, 0x01}, {0x7F, 0x08, 0x14, 0x22, 0x41},  // J K
    {0x7F, 0x40, 0x40, 0x40, 0x40}, {0x7F, 0x02, 0x0C, 0x02, 0x7F},  // L M
    {0x7F, 0x04, 0x08, 0x10, 0x7F}, {0x3E, 0x41, 0x41, 0x41, 0x3E},  // N O
    {0x7F, 0x09, 0x09, 0x09, 0x06}, {0x3E, 0x41, 0x51, 0x21, 0x5E},  // P Q
    {0x7F, 0x09, 0x19, 0x29, 0x46}, {0x46, 0x49, 0x49, 0x49, 0x31},  // R S
    {0x01, 0x01, 0x7F, 0x01, 0x01}, {0x3F, 0x40, 0x40, 0x40, 0x3F},  // T U
    {0x1F, 0x20, 0x40, 0x20, 0x1F}, {0x3F, 0x40, 0x38, 0x40, 0x3F},  // V W
    {0x63, 0x14, 0x08, 0x14, 0x63}, {0x07, 0x08, 0x70, 0x08, 0x07},  // X Y
    {0x61, 0x51, 0x49, 0x45, 0x43}, {0x00, 0x7F, 0x41, 0x41, 0x00},  // Z [
    {0x02, 0x04, 0x08, 0x10, 0x20}, {0x00, 0x41, 0x41, 0x7F, 0x00},  // \ ]
    {0x04, 0x02, 0x01, 0x02, 0x04}, {0x40, 0x40, 0x40, 0x40, 0x40},  // ^ _
    {0x00, 0x01, 0x02, 0x04, 0x00}, {0x20, 0x54, 0x54, 0x54, 0x78},  // ` a
    {0x7F, 0x48, 0x44, 0x44, 0x38}, {0x38, 0x44, 0x44, 0x44, 0x20},  // b c
    {0x38, 0x44, 0x44, 0x48, 0x7F}, {0x38, 0x54, 0x54, 0x54, 0x18},  // d e
    {0x08, 0x7E, 0x09, 0x01, 0x02}, {0x0C, 0x52, 0x52, 0x52, 0x3E},  // f g
    {0x7F, 0x08, 0x04, 0x04, 0x78}, {0x00, 0x44, 0x7D, 0x40, 0x00},  // h i
    {0x20, 0x40, 0x44, 0x3D, 0x00}, {0x7F, 0x10, 0x28, 0x44, 0x00},  // j k
    {0x00, 0x41, 0x7F, 0x40, 0x00}, {0x7C, 0x04, 0x18, 0x04, 0x78},  // l m
    {0x7C, 0x08, 0x04, 0x04, 0x78}, {0x38, 0x44, 0x44, 0x44, 0x38},  // n o
    {0x7C, 0x14, 0x14, 0x14, 0x08}, {0x08, 0x14, 0x14, 0x18, 0x7C},  // p q
    {0x7C, 0x08, 0x04, 0x04, 0x08}, {0x48, 0x54, 0x54, 0x54, 0x20},  // r s
    {0x04, 0x3F, 0x44, 0x40, 0x20}, {0x3C, 0x40, 0x40, 0x20, 0x7C},  // t u
    {0x1C, 0x20, 0x40, 0x20, 0x1C}, {0x3C, 0x40, 0x30, 0x40, 0x3C},  // v w
    {0x44, 0x28, 0x10, 0x28, 0x44}, {0x0C, 0x50, 0x50, 0x50, 0x3C},  // x y
    {0x44, 0x64, 0x54, 0x4C, 0x44}, {0x00, 0x08, 0x36, 0x41, 0x00},  // z {
    {0x00, 0x00, 0x7F, 0x00, 0x00}, {0x00, 0x41, 0x36, 0x08, 0x00},  // | }
    {0x08, 0x04, 0x08, 0x10, 0x08},                                  // ~
};

// The bold face: every column is inked once more one pixel to the right, six columns wide.
uint8_t BoldColumn(char c, int column) {
  if (c < 32 || c > 126) return 0;
  const uint8_t* columns = kFaceColumns[c - 32];
  const uint8_t here = column < 5 ? columns[column] : 0;
  const uint8_t left = column > 0 ? columns[column - 1] : 0;
  return static_cast<uint8_t>(here | left);
}

// A8R8G8B8 picture, transparent to begin with.
struct Canvas {
  uint32_t width;
  uint32_t height;
  std::vector<uint32_t> texels;

  Canvas(uint32_t w, uint32_t h) : width(w), height(h), texels(w * h, 0x00000000u) {}
  void Set(int x, int y, uint32_t argb) {
    if (x >= 0 && y >= 0 && x < int(width) && y < int(height)) texels[y * width + x] = argb;
  }
  // Paints every texel whose centre passes the test.
  void Paint(const std::function<bool(float, float)>& inside, uint32_t argb) {
    for (uint32_t y = 0; y < height; ++y)
      for (uint32_t x = 0; x < width; ++x)
        if (inside(float(x) + 0.5f, float(y) + 0.5f)) texels[y * width + x] = argb;
  }
  // One character of the bold face at (x, y), each texel `scale` pixels square.
  void Print(char c, int x, int y, int scale, uint32_t argb) {
    for (int column = 0; column < 6; ++column)
      for (int row = 0; row < 7; ++row)
        if (BoldColumn(c, column) & (1 << row))
          for (int dy = 0; dy < scale; ++dy)
            for (int dx = 0; dx < scale; ++dx) Set(x + column * scale + dx, y + row * scale + dy, argb);
  }
  bool Save(const std::string& path) const {
    return ddswriter::SaveDds(path, gfx::D3DFMT_A8R8G8B8, width, height, texels.data(), false);
  }
};

constexpr char kFirstChar = 32;
constexpr char kLastChar = 126;
// Glyph cells on the pages: 16 to a row, 8 x 10 pixels each; 48 characters a page.
constexpr int kCellWidth = 8;
constexpr int kCellHeight = 10;
constexpr int kCellsPerRow = 16;
constexpr int kCharsPerPage = 48;
constexpr int kPageCount = (kLastChar - kFirstChar + 1 + kCharsPerPage - 1) / kCharsPerPage;

// The font file and its pages under `folder`: "<stem>.wft" whose pages are "<stem>.dds",
// "<stem>_002.dds".
bool WriteDemoFont(const std::string& folder, const std::string& stem) {
  wftwriter::FontDesc desc;
  desc.pageBaseName = stem + ".wft";
  desc.pageCount = kPageCount;
  desc.fixedAdvanceMinus1 = 6;
  desc.lineHeight = kCellHeight;
  desc.metrics[0] = 8;  // ascent, for whoever wants one
  std::vector<Canvas> pages(kPageCount, Canvas(kCellsPerRow * kCellWidth, 32));
  for (char c = kFirstChar; c <= kLastChar; ++c) {
    const int index = c - kFirstChar;
    const int page = index / kCharsPerPage;
    const int cellX = (index % kCharsPerPage) % kCellsPerRow * kCellWidth;
    const int cellY = (index % kCharsPerPage) / kCellsPerRow * kCellHeight;
    // Proportional: the glyph is its inked columns, one pixel apart from the next.
    int first = 6, last = -1;
    for (int column = 0; column < 6; ++column)
      if (BoldColumn(c, column)) {
        if (first > column) first = column;
        last = column;
      }
    if (last < 0) {  // the space
      first = 0;
      last = 3;
    }
    pages[page].Print(c, cellX - first, cellY + 1, 1, 0xFFFFFFFFu);
    wftwriter::Glyph& glyph = desc.Add(static_cast<char16_t>(c), static_cast<uint32_t>(cellX),
                                       static_cast<uint16_t>(cellY), static_cast<uint32_t>(last - first + 1),
                                       8, 0, 1, static_cast<uint16_t>(page));
    // A few pairs that a typewriter would not kern, but this font does.
    if (c == 'A') glyph.kerning = {{u'V', -1}, {u'T', -1}};
    if (c == 'V') glyph.kerning = {{u'A', -1}};
    if (c == 'T') glyph.kerning = {{u'o', -1}, {u'a', -1}};
    if (c == 'L') glyph.kerning = {{u'T', -1}};
  }
  if (!wftwriter::SaveWft(folder + "/" + stem + ".wft", desc)) return false;
  for (int page = 0; page < kPageCount; ++page) {
    char suffix[16];
    std::snprintf(suffix, sizeof(suffix), page ? "_%03d.dds" : ".dds", page + 1);
    if (!pages[page].Save(folder + "/" + stem + suffix)) return false;
  }
  return true;
}

// Icons: simple shapes in the colours a pad's buttons have.
bool WriteButtonIcons(const std::string& folder) {
  const float c = 16.0f;  // centre
  auto ring = [c](float r0, float r1) {
    return [=](float x, float y) {
      const float d = std::hypot(x - c, y - c);
      return d >= r0 && d <= r1;
    };
  };
  auto save = [&](const char* name, const Canvas& canvas) { return canvas.Save(folder + "/" + name); };
  bool ok = true;

  Canvas cross(32, 32);
  cross.Paint([](float x, float y) {
    return x > 5 && x < 27 && y > 5 && y < 27 && (std::fabs(x - y) < 3 || std::fabs(x + y - 32) < 3);
  }, 0xFF5070FFu);
  ok &= save("cross_32.dds", cross);

  Canvas triangle(32, 32);
  // Outline of the triangle (16, 5), (5, 26), (27, 26).
  triangle.Paint([](float x, float y) {
    const bool inOuter = y <= 27 && y >= 4 && std::fabs(x - 16) <= (y - 4) * 0.5f + 0.5f;
    const bool inInner = y <= 24 && y >= 10 && std::fabs(x - 16) <= (y - 10) * 0.5f;
    return inOuter && !inInner;
  }, 0xFF40D080u);
  ok &= save("triangle_32.dds", triangle);

  Canvas circle(32, 32);
  circle.Paint(ring(8.0f, 12.0f), 0xFFFF5050u);
  ok &= save("circle_32.dds", circle);

  Canvas square(32, 32);
  square.Paint([](float x, float y) {
    const bool outer = x > 6 && x < 26 && y > 6 && y < 26;
    const bool inner = x > 10 && x < 22 && y > 10 && y < 22;
    return outer && !inner;
  }, 0xFFFF80D0u);
  ok &= save("square_32.dds", square);

  // Shoulder buttons: a grey pill with the label.
  const char* shoulders[4][2] = {{"l1_32.dds", "L1"}, {"l2_32.dds", "L2"}, {"r1_32.dds", "R1"},
                                 {"r2_32.dds", "R2"}};
  for (const auto& shoulder : shoulders) {
    Canvas pill(32, 32);
    pill.Paint([](float x, float y) { return x > 1 && x < 31 && y > 7 && y < 25; }, 0xFFB0B0B0u);
    pill.Print(shoulder[1][0], 3, 9, 2, 0xFF202020u);
    pill.Print(shoulder[1][1], 17, 9, 2, 0xFF202020u);
    ok &= save(shoulder[0], pill);
  }

  // The pad's directions: a white arrow head on a dark disc. dx, dy: where it points.
  const struct {
    const char* name;
    float dx, dy;
  } directions[4] = {{"directional_button_left.dds", -1, 0},
                     {"directional_button_right.dds", 1, 0},
                     {"directional_button_up.dds", 0, -1},
                     {"directional_button_down.dds", 0, 1}};
  for (const auto& d : directions) {
    Canvas arrow(32, 32);
    arrow.Paint(ring(0.0f, 14.0f), 0xFF303030u);
    arrow.Paint([&](float x, float y) {
      // Along the direction a from -7 (base) to 7 (tip); across it, half the remaining length.
      const float a = (x - c) * d.dx + (y - c) * d.dy;
      const float b = (x - c) * -d.dy + (y - c) * d.dx;
      return a >= -7 && a <= 7 && std::fabs(b) <= (7 - a) * 0.6f;
    }, 0xFFFFFFFFu);
    ok &= save(d.name, arrow);
  }

  // Return: down from the top right, then left to an arrow head.
  Canvas enter(32, 32);
  enter.Paint([](float x, float y) {
    const bool stem = x > 22 && x < 26 && y > 6 && y < 20;
    const bool bar = y > 16 && y < 20 && x > 9 && x < 26;
    const bool head = x >= 4 && x <= 11 && std::fabs(y - 18) <= (x - 4) * 0.9f;
    return stem || bar || head;
  }, 0xFFFFFFFFu);
  ok &= save("return.dds", enter);

  // Backspace: an arrow pointing left into a box.
  Canvas back(32, 32);
  back.Paint([](float x, float y) {
    const bool box = x > 10 && x < 30 && y > 8 && y < 24 && !(x > 12 && x < 28 && y > 10 && y < 22);
    const bool bar = y > 14 && y < 18 && x > 8 && x < 24;
    const bool head = x >= 2 && x <= 10 && std::fabs(y - 16) <= (x - 2) * 0.9f;
    return box || bar || head;
  }, 0xFFFFFFFFu);
  ok &= save("backspace.dds", back);
  return ok;
}

// ---- Particle templates.

// A slow column of grey smoke that loops for as long as its scene shows it: soft puffs that rise,
// spread, turn and fade out over a second and a half.
bool WriteSmokeParticles(const std::string& folder) {
  Canvas puff(32, 32);
  for (uint32_t y = 0; y < puff.height; ++y)
    for (uint32_t x = 0; x < puff.width; ++x) {
      const float dx = (float(x) + 0.5f - 16.0f) / 16.0f, dy = (float(y) + 0.5f - 16.0f) / 16.0f;
      const float fall = 1.0f - std::sqrt(dx * dx + dy * dy);
      const uint32_t alpha = fall > 0.0f ? uint32_t(255.0f * fall * fall) : 0u;
      puff.Set(int(x), int(y), alpha << 24 | 0x00FFFFFFu);
    }
  if (!puff.Save(folder + "/smoke.dds")) return false;

  ps2writer::Template t;
  t.maxParticles = 48;
  t.emitPerFrame = 0.5f;
  t.maxLife = 90.0f;
  t.lifeVariation = 20.0f;
  const float spread[4] = {2, 0, 2, 0}, colour[4] = {160, 160, 160, 140},
              fade[4] = {0, 0, 0, -1.5f}, rise[4] = {0, 6, 0, 0}, wobble[4] = {1, 2, 1, 0},
              lift[4] = {0, 0.001f, 0, 0}, size[4] = {3, 3, 1, 1}, growth[4] = {0.05f, 0.05f, 0, 0},
              turn[4] = {0, 0, 3.14f, 0}, spin[4] = {0, 0, 0.01f, 0};
  auto copy = [](float* to, const float* from) {
    for (int i = 0; i < 4; ++i) to[i] = from[i];
  };
  copy(t.positionVariation, spread);
  copy(t.colour, colour);
  copy(t.colourStep, fade);
  copy(t.velocity, rise);
  copy(t.velocityVariation, wobble);
  copy(t.gravity, lift);
  copy(t.scale, size);
  copy(t.scaleStep, growth);
  copy(t.angleVariation, turn);
  copy(t.angleStep, spin);
  t.pitchVariation = 0.3f;
  t.yawVariation = 3.14f;
  t.flags = ps2writer::kLooped | ps2writer::kAlpha;
  t.emitterLife = 0.0f;
  const float lo[4] = {-30, -5, -30, 1}, hi[4] = {30, 80, 30, 1};
  copy(t.boundsMin, lo);
  copy(t.boundsMax, hi);
  // Named relative to the scene folder, which the games make the data folder before loading.
  t.texture = "smoke.dds";
  return ps2writer::SavePs2(folder + "/smoke.ps2", t);
}
// A placeholder prop for games and tools that place a geometry file of their own: a unit box
// standing on the ground, in the crate's texture (written beside it with the demo scene).
bool WriteBoxGeometry(const std::string& folder) {
  geowriter::GeoDesc box;
  const float lo[3] = {-0.5f, -0.5f, 0.0f}, hi[3] = {0.5f, 0.5f, 1.0f};
  box.nodes.push_back({geowriter::BoxMesh(lo, hi, 0xFF808080u, 0), {"crate.dds"}});
  return geowriter::SaveGeo(folder + "/box.geo", box);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: datagen <output folder>\n");
    return 2;
  }
  const std::string root = argv[1];
  if (!WriteBadTexture(root)) {
    std::fprintf(stderr, "datagen: cannot write %s/data/badtexture.dds\n", root.c_str());
    return 1;
  }
  // The front end's and the profiler's font, a second name for the same face, and the icons
  // that text escapes draw.
  const std::string frontend = root + "/data/Frontend";
  if (!WriteDemoFont(frontend, "TYPEWRITERBOLD_10") || !WriteDemoFont(frontend, "font") ||
      !WriteButtonIcons(frontend)) {
    std::fprintf(stderr, "datagen: cannot write the fonts and icons in %s\n", frontend.c_str());
    return 1;
  }
  if (!WriteSmokeParticles(root + "/data/Scene")) {
    std::fprintf(stderr, "datagen: cannot write the particle templates in %s/data/Scene\n",
                 root.c_str());
    return 1;
  }
  // The placeholder level with its lights, and the skinned box character with its walk.
  if (!scnwriter::SaveDemoScene(root + "/data/Scene") ||
      !scnwriter::SaveDemoCharacter(root + "/data/Character") ||
      !WriteBoxGeometry(root + "/data/Scene")) {
    std::fprintf(stderr, "datagen: cannot write the scene and the character in %s/data\n",
                 root.c_str());
    return 1;
  }
  // Sound banks and music, the HUD's icons and the localised texts.
  if (!WriteDemoSounds(root) || !WriteDemoHud(root) || !WriteDemoTexts(root)) {
    std::fprintf(stderr, "datagen: cannot write the sounds, HUD icons and texts in %s/data\n",
                 root.c_str());
    return 1;
  }
  if (!WriteDivingData(root) || !WriteFootballData(root) || !WritePirateData(root) ||
      !WriteTesselData(root) || !WriteToolsData(root)) {
    std::fprintf(stderr, "datagen: cannot write the games' folders in %s/data\n", root.c_str());
    return 1;
  }
  std::printf("datagen: demo data written to %s/data\n", root.c_str());
  return 0;
}
