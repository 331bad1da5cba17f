// The diving game's demo folder "data/DivingGame/": the pool scene with its light file and every
// named node the game reads (the routes, camera points and targets, stands, locators, chair),
// the props, the HUD's power bar pieces and the splash templates. The characters and their
// animations are in DataGenDivingCharacters.cpp; the banks and music in DataGenSound.cpp.
//
// Units are centimetres with z up: the deck at z 0, the water below, the pool from x -1200 to
// 800 and y 0 to 1400. The path runs along the near side (y -500) from the chair towards +x,
// climbs to a platform at 300, comes back and goes up the tower to the high board at 750. The
// low board (200) and the middle board (400) stand at x -850 and 130.
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/DdsWriter.h"
#include "tests/support/GeoWriter.h"
#include "tests/support/LgtWriter.h"
#include "tests/support/Ps2Writer.h"
#include "tests/support/ScnWriter.h"
#include "tools/datagen/DataGenGames.h"

namespace divingdata {

bool SaveSolidTexture(const std::string& path, uint32_t argb);
bool WriteCharacters(const std::string& folder);

namespace {

constexpr float kPi = 3.14159265f;
constexpr float kHalfPi = 1.5707963f;

struct Point {
  float x, y, z;
};

// A node matrix: a turn by `heading` about z (the game's convention: heading 0 faces -y, π/2
// faces +x) at a position.
scnwriter::Matrix16 Placed(const Point& p, float heading) {
  const float c = std::cos(heading), s = std::sin(heading);
  return {c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, p.x, p.y, p.z, 1};
}

// The heading that faces from a to b.
float Facing(const Point& a, const Point& b) { return std::atan2(b.x - a.x, -(b.y - a.y)); }

void AddNode(scnwriter::SceneDesc* scene, const std::string& name, const Point& p,
             float heading = 0.0f) {
  scene->nodes.push_back({name, Placed(p, heading), " ", " "});
}

// A route's points, each facing the next; the last faces `lastHeading`.
void AddRoute(scnwriter::SceneDesc* scene, const char* prefix, int digits,
              const std::vector<Point>& points, float lastHeading,
              const std::vector<std::pair<size_t, float>>& overrides = {}) {
  for (size_t i = 0; i < points.size(); ++i) {
    float heading = i + 1 < points.size() ? Facing(points[i], points[i + 1]) : lastHeading;
    for (const auto& o : overrides)
      if (o.first == i) heading = o.second;
    char name[32];
    std::snprintf(name, sizeof(name), digits == 2 ? "%s%02zu" : "%s%zu", prefix, i);
    AddNode(scene, name, points[i], heading);
  }
}

const Point kToChair[] = {{-1150, 40, 0}, {-1150, -80, 0}, {-1250, -280, 0}, {-1300, -430, 0}};

void AddRoutes(scnwriter::SceneDesc* scene) {
  std::vector<Point> path;
  for (int i = 0; i <= 10; ++i) path.push_back({-1300.0f + 150.0f * float(i), -500, 0});
  path.push_back({400, -500, 0});
  path.push_back({400, -500, 300});
  path.push_back({130, -380, 300});
  path.push_back({-200, -380, 300});
  path.push_back({-160, -500, 300});
  path.push_back({-160, -500, 750});
  // Point 10 faces on along the deck to the foot of the steps; 15 faces the tower.
  AddRoute(scene, "path", 2, path, kPi, {{11, kHalfPi}, {15, kHalfPi}});
  AddRoute(scene, "board0", 1,
           {{-850, -500, 0}, {-850, -320, 0}, {-850, -320, 200}, {-850, 250, 200}}, kPi,
           {{1, kPi}, {2, kPi}});
  AddRoute(
      scene, "board1", 1,
      {{130, -380, 300}, {130, -350, 300}, {130, -320, 300}, {130, -320, 400}, {130, 250, 400}},
      kPi, {{2, kPi}, {3, kPi}});
  AddRoute(scene, "board2", 1, {{-160, -500, 750}, {-160, -300, 750}, {-160, 250, 750}}, kPi);
  const Point exit = kToChair[0];
  const Point returns[3][2] = {{{-850, 500, 0}, {-1050, 250, 0}},
                               {{130, 550, 0}, {-700, 300, 0}},
                               {{-160, 650, 0}, {-800, 300, 0}}};
  const char* names[3] = {"return0", "return1", "return2"};
  for (int k = 0; k < 3; ++k) {
    // The last point is never walked to: the swim ends at the pool exit.
    const float last = Facing(returns[k][1], exit);
    AddRoute(scene, names[k], 1, {returns[k][0], returns[k][1], exit}, last, {{1, last}});
  }
  AddRoute(scene, "tochair0", 1, {std::begin(kToChair), std::end(kToChair)}, -kHalfPi);
}

void AddCameras(scnwriter::SceneDesc* scene) {
  AddNode(scene, "camera_a", {-1900, -1500, 450});
  AddNode(scene, "camera_b", {0, -2000, 1000});
  AddNode(scene, "cameratarget01", {-1350, -350, 60});
  AddNode(scene, "cameratarget02", {0, 0, 0});
  const std::pair<const char*, Point> points[] = {
      {"camera_c00", {-1500, -1400, 450}}, {"camera_c01", {200, -1400, 450}},
      {"camera_d00", {300, -1500, 600}},   {"camera_d01", {-400, -1600, 1300}},
      {"camera_e00", {-300, -600, 600}},   {"camera_e01", {-1000, -800, 500}},
      {"camera_f", {-1300, -900, 450}},    {"camera_g", {600, -900, 800}},
      {"camera_h", {500, -1300, 1200}},    {"camera_i", {-1500, 700, 450}},
      {"camera_j00", {700, 300, 800}},     {"camera_j01", {700, 800, 200}},
      {"camera_k00", {600, 300, 1100}},    {"camera_k01", {700, 900, 200}},
      {"camera_l", {600, -300, 1300}},     {"cameratarget_l", {-160, 0, 800}},
      {"camera_m", {-1100, -1400, 500}},   {"cameratarget_m", {-1300, -500, 60}},
      {"camera_n", {-300, -300, 500}},     {"cameratarget_n", {-500, 500, 0}},
      {"camera_o", {-1300, -900, 400}},    {"cameratarget_o", {-850, -320, 100}},
  };
  for (const auto& p : points) AddNode(scene, p.first, p.second);
}

void AddStands(scnwriter::SceneDesc* scene) {
  AddNode(scene, "chairnode", {-1500, -500, 0}, kHalfPi);
  AddNode(scene, "render_chair", {-1500, -500, 0});
  AddNode(scene, "cobbstand", {-1750, -350, 0}, 2.0f);
  AddNode(scene, "lifeguardstand", {950, 300, 0}, 3.0f * kHalfPi);
  AddNode(scene, "boardlocator00", {-160, 0, 750});
  AddNode(scene, "boardlocator01", {-850, 0, 200});
  AddNode(scene, "boardlocator02", {130, 0, 400});
}

// The pool's fixed geometry: boxes in four textures.
enum Material : uint32_t { kDeck, kWater, kWood, kMetal, kMaterialCount };
const char* kMaterialTextures[kMaterialCount] = {"deck.dds", "water.dds", "wood.dds", "metal.dds"};
const uint32_t kMaterialColours[kMaterialCount] = {0xFFC8BEA0u, 0xFF3070D0u, 0xFFA07040u,
                                                   0xFFB0B0B8u};

struct Block {
  Material material;
  float lo[3];
  float hi[3];
};
const Block kBlocks[] = {
    {kDeck, {-2100, -1300, -10}, {1600, 0, 0}},   {kDeck, {-2100, 1400, -10}, {1600, 1900, 0}},
    {kDeck, {-2100, 0, -10}, {-1200, 1400, 0}},   {kDeck, {800, 0, -10}, {1600, 1400, 0}},
    {kWater, {-1200, 0, -600}, {800, 1400, -15}}, {kWood, {-250, -600, 290}, {390, -300, 300}},
    {kMetal, {-250, -600, 0}, {-230, -580, 290}}, {kMetal, {-250, -320, 0}, {-230, -300, 290}},
    {kMetal, {370, -600, 0}, {390, -580, 290}},   {kMetal, {370, -320, 0}, {390, -300, 290}},
    {kMetal, {390, -530, 0}, {400, -470, 300}},   {kWood, {-150, -560, 300}, {-50, -440, 740}},
    {kWood, {-200, -560, 740}, {-120, 300, 750}}, {kMetal, {-870, -340, 0}, {-830, -320, 190}},
    {kMetal, {110, -340, 300}, {150, -320, 390}}, {kMetal, {-260, 290, 1180}, {-60, 300, 1190}},
};

scnwriter::SceneDesc PoolScene() {
  scnwriter::SceneDesc scene;
  scene.matrices.push_back(scnwriter::Identity());
  for (const Block& block : kBlocks) {
    scnwriter::ObjectDesc object;
    object.textures = {kMaterialTextures[block.material]};
    object.mesh = scnwriter::Box(block.lo, block.hi, 0xFF808080u, 0);
    scene.placements.push_back({static_cast<uint32_t>(scene.objects.size()), 0});
    scene.objects.push_back(object);
  }
  AddRoutes(&scene);
  AddCameras(&scene);
  AddStands(&scene);
  return scene;
}

bool WriteScene(const std::string& folder) {
  bool ok = scnwriter::SaveScn(folder + "pool_layout.scn", PoolScene());
  for (uint32_t m = 0; m < kMaterialCount; ++m)
    ok = SaveSolidTexture(folder + kMaterialTextures[m], kMaterialColours[m]) && ok;
  lgtwriter::LightDesc lights;
  lights.count = 2;
  lights.ambient[0] = lights.ambient[1] = lights.ambient[2] = 0.45f;
  lights.lights[0] = {{0.3f, 0.5f, -0.8f}, {0.7f, 0.7f, 0.65f}};
  lights.lights[1] = {{-0.5f, -0.3f, -0.4f}, {0.25f, 0.25f, 0.3f}};
  return lgtwriter::SaveLgt(folder + "pool_layout.lgt", lights) && ok;
}

// ---- Props.

geowriter::Node BoxNode(const float lo[3], const float hi[3], const char* texture) {
  return {geowriter::BoxMesh(lo, hi, 0xFF808080u, 0), {texture}};
}

bool WriteProps(const std::string& folder) {
  geowriter::GeoDesc board;
  const float boardLo[3] = {-40, -300, -10}, boardHi[3] = {40, 300, 0};
  board.nodes.push_back(BoxNode(boardLo, boardHi, "board.dds"));
  bool ok = geowriter::SaveGeo(folder + "board.geo", board);
  // The chair is drawn turned half round, so its back is at +x here and behind Jory there.
  geowriter::GeoDesc chair;
  const float parts[4][2][3] = {{{-30, -30, 35}, {30, 30, 45}},
                                {{25, -30, 45}, {35, 30, 100}},
                                {{-30, -38, 0}, {30, -32, 60}},
                                {{-30, 32, 0}, {30, 38, 60}}};
  for (const auto& part : parts) chair.nodes.push_back(BoxNode(part[0], part[1], "chair.dds"));
  ok = geowriter::SaveGeo(folder + "wheelchair.geo", chair) && ok;
  geowriter::GeoDesc shadow;
  const float shadowLo[3] = {-30, -30, 0.5f}, shadowHi[3] = {30, 30, 1.5f};
  shadow.nodes.push_back(BoxNode(shadowLo, shadowHi, "shadow.dds"));
  ok = geowriter::SaveGeo(folder + "shadow_blob01.geo", shadow) && ok;
  ok = SaveSolidTexture(folder + "board.dds", 0xFFF0F0F0u) && ok;
  ok = SaveSolidTexture(folder + "chair.dds", 0xFF404048u) && ok;
  return SaveSolidTexture(folder + "shadow.dds", 0xFF505050u) && ok;
}

// ---- HUD.

bool SaveRect(const std::string& path, uint32_t w, uint32_t h, uint32_t fill, uint32_t rim) {
  std::vector<uint32_t> texels(size_t(w) * h);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x)
      texels[y * w + x] = (x == 0 || y == 0 || x + 1 == w || y + 1 == h) ? rim : fill;
  return ddswriter::SaveDds(path, gfx::D3DFMT_A8R8G8B8, w, h, texels.data(), false);
}

bool WriteHud(const std::string& f) {
  bool ok = SaveRect(f + "powerbar.dds", 16, 128, 0xFF808080u, 0xFF202020u);
  ok = SaveRect(f + "powerslider.dds", 24, 8, 0xFFFFFFFFu, 0xFF202020u) && ok;
  ok = SaveRect(f + "mr_gorst_icon.dds", 32, 32, 0xFFE0C040u, 0xFF402000u) && ok;
  ok = SaveRect(f + "power_bar_background01.dds", 16, 144, 0xC0202020u, 0xFFFFFFFFu) && ok;
  ok = SaveRect(f + "power_bar_red_middle.dds", 16, 16, 0xFFE02020u, 0xFF800000u) && ok;
  ok = SaveRect(f + "power_bar_blue_middle.dds", 16, 16, 0xFF2060E0u, 0xFF002080u) && ok;
  ok = SaveRect(f + "power_bar_blue_top.dds", 16, 16, 0xFF4080FFu, 0xFF002080u) && ok;
  ok = SaveRect(f + "power_bar_red_bottom.dds", 16, 16, 0xFFFF4040u, 0xFF800000u) && ok;
  ok = SaveRect(f + "power_bar_indicator01.dds", 32, 4, 0xFFFFFF00u, 0xFFFFFF00u) && ok;
  // The arrow: a white wedge pointing left at the bar.
  std::vector<uint32_t> arrow(16 * 16, 0);
  for (uint32_t y = 0; y < 16; ++y)
    for (uint32_t x = 0; x < 16; ++x)
      if (std::fabs(float(y) - 7.5f) <= float(x) * 0.5f) arrow[y * 16 + x] = 0xFFFFFFFFu;
  return ddswriter::SaveDds(f + "power_bar_arrow01.dds", gfx::D3DFMT_A8R8G8B8, 16, 16, arrow.data(),
                            false) &&
         ok;
}

// ---- Splashes.

struct SplashDesc {
  const char* name;
  uint32_t count;
  float perFrame, life, up, spread, rise, size, growth, alpha;
  bool looped;
};
const SplashDesc kSplashes[] = {
    {"big_splash01.ps2", 160, 30, 45, 9, 4, 4, 14, 0.1f, 230, false},
    {"medium_splash01.ps2", 100, 20, 40, 7, 3, 3, 12, 0.1f, 220, false},
    {"flat_mist01.ps2", 60, 12, 50, 0.5f, 5, 0.5f, 30, 0.4f, 120, false},
    {"shockwave01.ps2", 24, 12, 30, 0, 6, 0, 20, 1.5f, 160, false},
    {"shower01.ps2", 120, 30, 60, 12, 5, 4, 6, 0, 230, false},
    {"splash_column01.ps2", 80, 20, 40, 14, 1, 2, 10, 0.05f, 220, false},
    {"droplet_shower01.ps2", 40, 10, 35, 6, 3, 2, 6, 0, 220, false},
    {"swimming_splash02.ps2", 40, 2, 25, 2, 2, 1, 10, 0.2f, 180, true},
    {"surface01.ps2", 30, 15, 40, 0.2f, 4, 0.2f, 25, 0.6f, 150, false},
    {"hand_splash01.ps2", 20, 10, 20, 4, 2, 1, 6, 0, 220, false},
};

bool WriteSplashes(const std::string& folder) {
  std::vector<uint32_t> dot(16 * 16);
  for (uint32_t y = 0; y < 16; ++y)
    for (uint32_t x = 0; x < 16; ++x) {
      const float d = std::fmin(1.0f, std::hypot(float(x) - 7.5f, float(y) - 7.5f) / 8.0f);
      dot[y * 16 + x] = uint32_t((1.0f - d) * 255.0f) << 24 | 0x00F0F8FFu;
    }
  bool ok =
      ddswriter::SaveDds(folder + "splash.dds", gfx::D3DFMT_A8R8G8B8, 16, 16, dot.data(), true);
  for (const SplashDesc& s : kSplashes) {
    ps2writer::Template t;
    t.maxParticles = s.count;
    t.emitPerFrame = s.perFrame;
    t.maxLife = s.life;
    t.lifeVariation = s.life * 0.3f;
    t.colour[0] = 220;
    t.colour[1] = 235;
    t.colour[2] = 255;
    t.colour[3] = s.alpha;
    t.colourStep[3] = -s.alpha / s.life;
    t.velocity[2] = s.up;
    t.velocityVariation[0] = t.velocityVariation[1] = s.spread;
    t.velocityVariation[2] = s.rise;
    t.gravity[2] = s.up > 0.0f ? -0.35f : 0.0f;
    t.scale[0] = t.scale[1] = s.size;
    t.scaleStep[0] = t.scaleStep[1] = s.growth;
    t.flags = ps2writer::kAlpha | (s.looped ? ps2writer::kLooped : 0u);
    t.emitterLife = s.looped ? 0.0f : 6.0f;
    const float lo[4] = {-600, -600, -50, 1}, hi[4] = {600, 600, 600, 1};
    for (int i = 0; i < 4; ++i) {
      t.boundsMin[i] = lo[i];
      t.boundsMax[i] = hi[i];
    }
    t.texture = "splash.dds";
    ok = ps2writer::SavePs2(folder + s.name, t) && ok;
  }
  return ok;
}

}  // namespace

bool SaveSolidTexture(const std::string& path, uint32_t argb) {
  std::vector<uint32_t> texels(8 * 8, argb);
  return ddswriter::SaveDds(path, gfx::D3DFMT_A8R8G8B8, 8, 8, texels.data(), true);
}

}  // namespace divingdata

bool WriteDivingData(const std::string& root) {
  const std::string folder = root + "/data/DivingGame/";
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  return divingdata::WriteScene(folder) && divingdata::WriteProps(folder) &&
         divingdata::WriteHud(folder) && divingdata::WriteSplashes(folder) &&
         divingdata::WriteCharacters(folder);
}
