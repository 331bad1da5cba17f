// The garden game's folder: three walled gardens ("institute01.scn" .. "institute03.scn" with
// their lights) crossed by a grid of paths (the path maps), flower beds of plants "a" to "e",
// small trees, hedges and sheds as collision boxes; the props, the particle templates, and the
// characters (DataGenTesselCharacters.cpp). Units are centimetres, z up; the garden spans x 0 to
// 2600 and y -2600 to 0, the player starting on its top row of paths.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/DdsWriter.h"
#include "tests/support/GeoWriter.h"
#include "tests/support/LgtWriter.h"
#include "tests/support/Ps2Writer.h"
#include "tests/support/ScnWriter.h"
#include "tests/tessel/PathMapWriter.h"
#include "tools/datagen/DataGenGames.h"

bool WriteTesselCharacters(const std::string& folder);

namespace {

struct BoxModel {
  const char* name;
  float width;  // along x
  float depth;  // along y
};
// Named by their size in metres, width by depth.
const BoxModel kBoxModels[10] = {{"collision_2m_2m", 200, 200},   {"collision_2m_4m", 200, 400},
                                 {"collision_2m_7m", 200, 700},   {"collision_2m_25cm", 200, 25},
                                 {"collision_2m_30m", 200, 3000}, {"collision_4m_14m", 400, 1400},
                                 {"collision_6m_2m", 600, 200},   {"collision_8m_2m", 800, 200},
                                 {"collision_12m_2m", 1200, 200}, {"collision_26m_2m", 2600, 200}};
constexpr float kWallHeight = 100.0f;

struct Level {
  std::vector<float> xs;               // the paths along y
  std::vector<float> ys;               // the paths along x
  std::vector<const char*> obstacles;  // one per garden cell, from the top left, "" for none
  int beds;                            // cells with a flower bed (and a tree), from the top left
  std::vector<std::pair<float, float>> enemyStarts;
};

std::vector<Level> Levels() {
  return {
      {{400, 1300, 2200},
       {-600, -1500, -2400},
       {"collision_6m_2m", "collision_2m_7m", "collision_2m_2m", "collision_2m_4m"},
       4,
       {{400, -2400}, {2200, -2400}}},
      {{400, 1000, 1600, 2200},
       {-600, -1500, -2400},
       {"collision_2m_4m", "", "collision_2m_2m", "collision_2m_25cm", "collision_2m_2m", ""},
       5,
       {{400, -2400}, {2200, -2400}, {1600, -1500}}},
      {{400, 1000, 1600, 2200},
       {-600, -1200, -1800, -2400},
       {"collision_2m_2m", "collision_2m_25cm", "collision_2m_2m", "", "collision_2m_4m", "",
        "collision_2m_2m", "", "collision_2m_25cm"},
       6,
       {{400, -2400}, {2200, -2400}, {1000, -1800}, {2200, -1200}}},
  };
}

bool SaveSolid(const std::string& path, uint32_t argb) {
  std::vector<uint32_t> texels(8 * 8, argb);
  return ddswriter::SaveDds(path, gfx::D3DFMT_A8R8G8B8, 8, 8, texels.data(), false);
}

bool SaveBoxGeo(const std::string& path, const float lo[3], const float hi[3],
                const char* texture) {
  geowriter::GeoDesc geo;
  geo.nodes.push_back({geowriter::BoxMesh(lo, hi, 0xFF808080u, 0), {texture}});
  return geowriter::SaveGeo(path, geo);
}

// ---- Props

bool WriteProps(const std::string& folder) {
  bool ok = true;
  for (const BoxModel& m : kBoxModels) {
    const float lo[3] = {-m.width / 2, -m.depth / 2, 0.0f},
                hi[3] = {m.width / 2, m.depth / 2, kWallHeight};
    ok = SaveBoxGeo(folder + "/" + m.name + ".geo", lo, hi, "tessel_hedge.dds") && ok;
  }
  const char kinds[5] = {'a', 'b', 'c', 'd', 'e'};
  for (char kind : kinds) {
    const std::string texture = std::string("tessel_flower_") + kind + ".dds";
    const float lo[3] = {-14, -14, 0}, hi[3] = {14, 14, 34};
    ok = SaveBoxGeo(folder + "/plant_" + kind + ".geo", lo, hi, texture.c_str()) && ok;
    // Picked: the flowers with their roots hanging below.
    const float plo[3] = {-14, -14, -16}, phi[3] = {14, 14, 34};
    ok = SaveBoxGeo(folder + "/plant_" + kind + "_picked.geo", plo, phi, texture.c_str()) && ok;
  }
  geowriter::GeoDesc tree;
  const float trunkLo[3] = {-12, -12, 0}, trunkHi[3] = {12, 12, 150};
  const float crownLo[3] = {-60, -60, 120}, crownHi[3] = {60, 60, 240};
  tree.nodes.push_back({geowriter::BoxMesh(trunkLo, trunkHi, 0xFF808080u, 0), {"tessel_bark.dds"}});
  tree.nodes.push_back(
      {geowriter::BoxMesh(crownLo, crownHi, 0xFF808080u, 0), {"tessel_leaves.dds"}});
  ok = geowriter::SaveGeo(folder + "/tree.geo", tree) && ok;
  const float phoneLo[3] = {-3, -6, -2}, phoneHi[3] = {3, 6, 2};
  ok = SaveBoxGeo(folder + "/phone.geo", phoneLo, phoneHi, "tessel_phone.dds") && ok;
  const float shadowLo[3] = {-35, -35, 0.5f}, shadowHi[3] = {35, 35, 1.5f};
  ok = SaveBoxGeo(folder + "/shadow_blob01.geo", shadowLo, shadowHi, "tessel_shadow.dds") && ok;
  const uint32_t flowers[5] = {0xFFE03030u, 0xFFF0E040u, 0xFF8040E0u, 0xFFF08020u, 0xFFF0F0F0u};
  for (int i = 0; i < 5; ++i)
    ok = SaveSolid(folder + "/tessel_flower_" + kinds[i] + ".dds", flowers[i]) && ok;
  ok = SaveSolid(folder + "/tessel_hedge.dds", 0xFF8C6E58u) && ok;
  ok = SaveSolid(folder + "/tessel_bark.dds", 0xFF6B4A2Au) && ok;
  ok = SaveSolid(folder + "/tessel_leaves.dds", 0xFF3C9A3Cu) && ok;
  ok = SaveSolid(folder + "/tessel_phone.dds", 0xFF202020u) && ok;
  ok = SaveSolid(folder + "/tessel_shadow.dds", 0xFF303830u) && ok;
  ok = SaveSolid(folder + "/tessel_grass.dds", 0xFF5FA04Au) && ok;
  ok = SaveSolid(folder + "/tessel_path.dds", 0xFFC8B488u) && ok;
  return ok;
}

// ---- Particle templates: small bursts that die out by themselves.

bool WriteParticles(const std::string& folder) {
  std::vector<uint32_t> dot(16 * 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const float d = std::hypot(float(x) - 7.5f, float(y) - 7.5f) / 8.0f;
      const uint32_t alpha = d < 1.0f ? uint32_t(255.0f * (1.0f - d)) : 0u;
      dot[size_t(y * 16 + x)] = alpha << 24 | 0x00FFFFFFu;
    }
  bool ok = ddswriter::SaveDds(folder + "/tessel_particle.dds", gfx::D3DFMT_A8R8G8B8, 16, 16,
                               dot.data(), false);
  struct Burst {
    const char* name;
    float colour[3];
    float speed;
    float gravity;
  };
  const Burst bursts[16] = {{"flowers_a01.ps2", {224, 48, 48}, 2, -0.1f},
                            {"flowers_b01.ps2", {240, 224, 64}, 2, -0.1f},
                            {"flowers_c01.ps2", {128, 64, 224}, 2, -0.1f},
                            {"flowers_d01.ps2", {240, 128, 32}, 2, -0.1f},
                            {"flowers_e01.ps2", {240, 240, 240}, 2, -0.1f},
                            {"flowers_a02.ps2", {224, 48, 48}, 4, -0.2f},
                            {"flowers_b02.ps2", {240, 224, 64}, 4, -0.2f},
                            {"flowers_c02.ps2", {128, 64, 224}, 4, -0.2f},
                            {"flowers_d02.ps2", {240, 128, 32}, 4, -0.2f},
                            {"flowers_e02.ps2", {240, 240, 240}, 4, -0.2f},
                            {"mud_spray01.ps2", {110, 80, 50}, 3, -0.25f},
                            {"leaves01.ps2", {60, 150, 60}, 2, -0.05f},
                            {"plant_collision01.ps2", {200, 200, 120}, 5, -0.2f},
                            {"head_stars01.ps2", {255, 240, 80}, 1, 0.0f},
                            {"leaves_big01.ps2", {60, 150, 60}, 6, -0.1f},
                            {"tree_collision01.ps2", {150, 110, 60}, 5, -0.2f}};
  for (const Burst& b : bursts) {
    ps2writer::Template t;
    const bool stars = std::string(b.name) == "head_stars01.ps2";
    t.maxParticles = 24;
    t.emitPerFrame = stars ? 0.3f : 4.0f;
    t.maxLife = stars ? 40.0f : 30.0f;
    t.lifeVariation = 10.0f;
    for (int i = 0; i < 3; ++i) t.colour[i] = b.colour[i];
    t.colour[3] = 255.0f;
    t.colourStep[3] = -6.0f;
    t.velocity[2] = b.speed;
    t.velocityVariation[0] = t.velocityVariation[1] = b.speed;
    t.gravity[2] = b.gravity;
    t.scale[0] = t.scale[1] = t.scale[2] = t.scale[3] = 8.0f;
    t.positionVariation[0] = t.positionVariation[1] = stars ? 20.0f : 10.0f;
    // The stars circle a stunned head for as long as he is stunned; the rest are one burst.
    t.flags = ps2writer::kAlpha | (stars ? ps2writer::kLooped : 0u);
    t.emitterLife = stars ? 0.0f : 6.0f;
    for (int i = 0; i < 3; ++i) {
      t.boundsMin[i] = -100.0f;
      t.boundsMax[i] = 100.0f;
    }
    t.texture = "tessel_particle.dds";
    ok = ps2writer::SavePs2(folder + "/" + b.name, t) && ok;
  }
  return ok;
}

// ---- Levels

scnwriter::GameNodeDesc NodeAt(const std::string& name, const char* geometry, float x, float y) {
  scnwriter::GameNodeDesc node;
  node.name = name;
  node.matrix = scnwriter::Translation(x, y, 0.0f);
  node.geometry = geometry;
  return node;
}

void AddObject(scnwriter::SceneDesc& scene, const float lo[3], const float hi[3],
               const char* texture) {
  scnwriter::ObjectDesc object;
  object.textures = {texture};
  object.mesh = scnwriter::Box(lo, hi, 0xFF808080u, 0);
  scene.objects.push_back(object);
  scene.placements.push_back({uint32_t(scene.objects.size() - 1), 0});
}

std::string Numbered(const char* stem, int n) {
  char text[64];
  std::snprintf(text, sizeof(text), "%s%02d", stem, n);
  return text;
}

scnwriter::SceneDesc LevelScene(const Level& level) {
  scnwriter::SceneDesc scene;
  scene.matrices.push_back(scnwriter::Identity());
  const float floorLo[3] = {-200, -2800, -6}, floorHi[3] = {2800, 200, 0};
  AddObject(scene, floorLo, floorHi, "tessel_grass.dds");
  for (float x : level.xs) {
    const float lo[3] = {x - 30, level.ys.back(), 0}, hi[3] = {x + 30, level.ys.front(), 1};
    AddObject(scene, lo, hi, "tessel_path.dds");
  }
  for (float y : level.ys) {
    const float lo[3] = {level.xs.front(), y - 30, 0}, hi[3] = {level.xs.back(), y + 30, 1};
    AddObject(scene, lo, hi, "tessel_path.dds");
  }
  // The walls: the top one keeps the player's side of the garden shut.
  int boxes = 0;
  scene.nodes.push_back(
      NodeAt(Numbered("collision_26m_2m", ++boxes), "collision_26m_2m", 1300, 100));
  scene.nodes.push_back(
      NodeAt(Numbered("collision_26m_2m", ++boxes), "collision_26m_2m", 1300, -2700));
  scene.nodes.push_back(
      NodeAt(Numbered("collision_2m_30m", ++boxes), "collision_2m_30m", -100, -1300));
  scene.nodes.push_back(
      NodeAt(Numbered("collision_2m_30m", ++boxes), "collision_2m_30m", 2700, -1300));
  const size_t columns = level.xs.size() - 1;
  int plants = 0, trees = 0;
  for (size_t cell = 0; cell < columns * (level.ys.size() - 1); ++cell) {
    const size_t cx = cell % columns, cy = cell / columns;
    const float x = 0.5f * (level.xs[cx] + level.xs[cx + 1]);
    const float y = 0.5f * (level.ys[cy] + level.ys[cy + 1]);
    const float half = 0.5f * std::fabs(level.xs[cx + 1] - level.xs[cx]);
    if (cell < level.obstacles.size() && level.obstacles[cell][0])
      scene.nodes.push_back(
          NodeAt(Numbered(level.obstacles[cell], ++boxes), level.obstacles[cell], x, y));
    if (int(cell) >= level.beds) continue;
    // A bed of 4 x 4 in the cell's top right, a tree in its bottom left.
    const float spacing = half > 400.0f ? 50.0f : 40.0f;
    const float bx = x + half * 0.55f, by = y + half * 0.55f;
    for (int row = 0; row < 4; ++row)
      for (int col = 0; col < 4; ++col) {
        const char kind = char('a' + (plants % 5));
        const std::string stem = std::string("plant_") + kind;
        scene.nodes.push_back(NodeAt(Numbered(stem.c_str(), ++plants), stem.c_str(),
                                     bx + (float(col) - 1.5f) * spacing,
                                     by + (float(row) - 1.5f) * spacing));
      }
    scene.nodes.push_back(
        NodeAt(Numbered("gametree", ++trees), "tree", x - half * 0.45f, y - half * 0.45f));
  }
  return scene;
}

bool WritePathMaps(const std::string& folder, int index, const Level& level) {
  std::vector<pathmapwriter::Record> junctions = pathmapwriter::Grid(level.xs, level.ys, 0.0f);
  std::vector<pathmapwriter::Record> intermediates =
      pathmapwriter::Grid(level.xs, level.ys, 150.0f);
  // The player starts on the top row, in the middle.
  junctions[size_t(pathmapwriter::Nearest(junctions, 1300.0f, level.ys.front()))].flags |=
      pathmapwriter::kPlayerStart;
  for (const auto& start : level.enemyStarts)
    junctions[size_t(pathmapwriter::Nearest(junctions, start.first, start.second))].flags |=
        pathmapwriter::kEnemyStart;
  const std::string stem = folder + "/level" + std::to_string(index + 1);
  return pathmapwriter::Save(stem + "_junctionmap.bin", junctions) &&
         pathmapwriter::Save(stem + "_intermediatemap.bin", intermediates);
}

bool WriteLevels(const std::string& folder) {
  bool ok = true;
  const std::vector<Level> levels = Levels();
  for (size_t i = 0; i < levels.size(); ++i) {
    const std::string name = Numbered("institute", int(i) + 1);
    ok = scnwriter::SaveScn(folder + "/" + name + ".scn", LevelScene(levels[i])) && ok;
    lgtwriter::LightDesc light;
    light.count = 2;
    light.ambient[0] = light.ambient[1] = light.ambient[2] = 0.45f;
    light.lights[0] = {{0.3f, 0.4f, -0.85f}, {0.75f, 0.72f, 0.6f}};
    light.lights[1] = {{-0.4f, -0.3f, -0.4f}, {0.15f + 0.05f * float(i), 0.15f, 0.25f}};
    ok = lgtwriter::SaveLgt(folder + "/" + name + ".lgt", light) && ok;
    ok = WritePathMaps(folder, int(i), levels[i]) && ok;
  }
  return ok;
}

}  // namespace

bool WriteTesselData(const std::string& root) {
  const std::string folder = root + "/data/TesselGame";
  return WriteLevels(folder) && WriteProps(folder) && WriteParticles(folder) &&
         WriteTesselCharacters(folder);
}
