// The development tools' folders: what the particle editor, the character viewer and the sample
// harness load, made from primitives.

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "tests/support/AnmWriter.h"
#include "tests/support/DdsWriter.h"
#include "tests/support/GeoWriter.h"
#include "tests/support/Ps2Writer.h"
#include "tests/support/ScnWriter.h"
#include "tests/support/SkeletonWriter.h"
#include "tools/datagen/DataGenGames.h"

namespace {

namespace fs = std::filesystem;

// The tools view their characters from a few hundred units away: the demo biped, a hundred
// times its size.
constexpr float kCharacterScale = 100.0f;

bool SaveTexture(const std::string& path, uint32_t size, uint32_t (*texel)(float x, float y)) {
  std::vector<uint32_t> texels(size * size);
  for (uint32_t y = 0; y < size; ++y)
    for (uint32_t x = 0; x < size; ++x)
      texels[y * size + x] = texel((float(x) + 0.5f) / float(size) * 2.0f - 1.0f,
                                   (float(y) + 0.5f) / float(size) * 2.0f - 1.0f);
  return ddswriter::SaveDds(path, gfx::D3DFMT_A8R8G8B8, size, size, texels.data(), true);
}

uint32_t Alpha(float a) {
  if (a < 0.0f) a = 0.0f;
  if (a > 1.0f) a = 1.0f;
  return uint32_t(a * 255.0f) << 24;
}

// A bright ring that fades to its edges.
uint32_t ShockwaveTexel(float x, float y) {
  const float d = std::fabs(std::sqrt(x * x + y * y) - 0.7f);
  return Alpha(1.0f - d * 5.0f) | 0x00FFFFFFu;
}
uint32_t FlareTexel(float x, float y) {
  return Alpha(1.0f - std::sqrt(x * x + y * y)) | 0x00FFD080u;
}
uint32_t ShaftTexel(float x, float) { return Alpha(0.6f * (1.0f - std::fabs(x))) | 0x00FFFFE0u; }
uint32_t FloorTexel(float x, float y) {
  const int cx = int(std::floor((x + 1.0f) * 4.0f)), cy = int(std::floor((y + 1.0f) * 4.0f));
  return ((cx + cy) % 2) ? 0xFF707070u : 0xFF505050u;
}
uint32_t TileTexel(float x, float y) {
  const bool grout = std::fabs(x) > 0.92f || std::fabs(y) > 0.92f;
  return grout ? 0xFFB0B0B0u : 0xFFF0F0F0u;
}
uint32_t WaterTexel(float x, float y) {
  const float wave = 0.5f + 0.5f * std::sin((x + y) * 9.0f);
  return 0xFF000000u | uint32_t(60 + 40 * wave) << 8 | uint32_t(160 + 60 * wave);
}
uint32_t BubbleTexel(float x, float y) {
  const float d = std::sqrt(x * x + y * y);
  return Alpha(d < 1.0f ? 0.3f + 0.7f * d * d * d : 0.0f) | 0x00E0F0FFu;
}

scnwriter::ObjectDesc Slab(const float lo[3], const float hi[3], const char* texture) {
  scnwriter::ObjectDesc object;
  object.textures = {texture};
  object.mesh = scnwriter::Box(lo, hi, 0xFFFFFFFFu, 0);
  // Tile the texture across the slab rather than stretching it once.
  for (scnwriter::Vertex& v : object.mesh.vertices) {
    v.u = (v.position[0] + v.position[2]) / 200.0f;
    v.v = (v.position[1] + v.position[2]) / 200.0f;
  }
  return object;
}

void AddObject(scnwriter::SceneDesc* scene, scnwriter::ObjectDesc object) {
  scene->objects.push_back(std::move(object));
  scene->matrices.push_back(scnwriter::Identity());
  const uint32_t index = uint32_t(scene->objects.size() - 1);
  scene->placements.push_back({index, index});
}

void AddNode(scnwriter::SceneDesc* scene, const char* name, float x, float y, float z) {
  scnwriter::GameNodeDesc node;
  node.name = name;
  node.matrix = scnwriter::Translation(x, y, z);
  scene->nodes.push_back(node);
}

// The demo font under another name (its pages keep theirs).
bool CopyFont(const std::string& root, const std::string& folder, const char* name) {
  const std::string from = root + "/data/Frontend";
  std::error_code error;
  fs::copy_file(from + "/font.wft", folder + "/" + name, fs::copy_options::overwrite_existing,
                error);
  if (error) return false;
  for (const auto& entry : fs::directory_iterator(from, error)) {
    const std::string file = entry.path().filename().string();
    if (file.rfind("font", 0) == 0 && entry.path().extension() == ".dds")
      fs::copy_file(entry.path(), folder + "/" + file, fs::copy_options::overwrite_existing, error);
  }
  return !error;
}

// The demo biped made large: a cube on every bone, coloured by part, skinned to its bone.
bool SaveCharacter(const std::string& folder, const char* geoName,
                   const std::vector<const char*>& animations) {
  skelwriter::SkeletonDesc biped = skelwriter::MakeBiped();
  for (skelwriter::Bone& bone : biped.bones)
    for (float& t : bone.translation) t *= kCharacterScale;
  const std::vector<float> world = skelwriter::BindWorldMatrices(biped);
  const char* textures[4] = {"part_body.dds", "part_head.dds", "part_hand.dds", "part_foot.dds"};
  const uint32_t colours[4] = {0xFF606060u, 0xFFA0A020u, 0xFFA02020u, 0xFF2020A0u};
  geowriter::Mesh body;
  std::vector<uint16_t> indices[4];
  for (size_t bone = 0; bone < biped.bones.size(); ++bone) {
    const std::string& name = biped.bones[bone].name;
    uint32_t part = 0;
    if (name.find("Head") != std::string::npos) part = 1;
    if (name.find("Hand") != std::string::npos || name.find("Finger") != std::string::npos)
      part = 2;
    if (name.find("Foot") != std::string::npos || name.find("Toe") != std::string::npos) part = 3;
    const float half = (part == 1 ? 0.1f : 0.06f) * kCharacterScale;
    const float* at = &world[bone * 16 + 12];
    const float lo[3] = {at[0] - half, at[1] - half, at[2] - half};
    const float hi[3] = {at[0] + half, at[1] + half, at[2] + half};
    const geowriter::Mesh cube = geowriter::BoxMesh(lo, hi, 0xFF808080u, part);
    const uint16_t first = uint16_t(body.vertices.size());
    body.vertices.insert(body.vertices.end(), cube.vertices.begin(), cube.vertices.end());
    for (uint16_t index : cube.indices) indices[part].push_back(uint16_t(first + index));
    const GeoSkinWeight weight = {{uint8_t(bone * 3), 0, 0, 0}, {1.0f, 0, 0, 0}};
    body.skinWeights.insert(body.skinWeights.end(), cube.vertices.size(), weight);
  }
  geowriter::Node node;
  bool ok = true;
  for (uint32_t part = 0; part < 4; ++part) {
    const uint32_t firstIndex = uint32_t(body.indices.size());
    body.indices.insert(body.indices.end(), indices[part].begin(), indices[part].end());
    body.solidStrips.push_back({part, 0, firstIndex, uint32_t(indices[part].size())});
    node.textures.push_back(textures[part]);
    const std::vector<uint32_t> solid(16, colours[part]);
    ok = ddswriter::SaveDds(folder + "/" + textures[part], gfx::D3DFMT_A8R8G8B8, 4, 4, solid.data(),
                            false) &&
         ok;
  }
  node.mesh = body;
  geowriter::GeoDesc character;
  character.nodes.push_back(node);
  character.SetSkeleton(biped);
  ok = geowriter::SaveGeo(folder + "/" + geoName, character) && ok;
  // Walking on the spot: the viewer and the harness place the characters themselves.
  const anmwriter::AnimDesc walk = anmwriter::MakeWalk(biped, 0.0f);
  for (const char* animation : animations)
    ok = anmwriter::Save(folder + "/" + animation, walk) && ok;
  return ok;
}

bool SaveBox(const std::string& path, float half, const char* texture) {
  geowriter::GeoDesc box;
  const float lo[3] = {-half, -half, 0.0f}, hi[3] = {half, half, 2.0f * half};
  box.nodes.push_back({geowriter::BoxMesh(lo, hi, 0xFFFFFFFFu, 0), {texture}});
  return geowriter::SaveGeo(path, box);
}

ps2writer::Template SampleTemplate() {
  ps2writer::Template t;
  t.maxParticles = 300;
  t.emitPerFrame = 3.0f;
  t.maxLife = 80.0f;
  t.lifeVariation = 20.0f;
  const float colour[4] = {255, 200, 120, 255}, fade[4] = {0, -1.5f, -1.5f, -3.0f};
  for (int i = 0; i < 4; ++i) {
    t.colour[i] = colour[i];
    t.colourStep[i] = fade[i];
  }
  t.velocity[1] = 120.0f;
  t.velocityVariation[0] = t.velocityVariation[1] = t.velocityVariation[2] = 40.0f;
  t.friction[0] = t.friction[1] = t.friction[2] = 0.99f;
  t.gravity[2] = -0.05f;
  t.pitchVariation = 0.6f;
  t.yawVariation = 3.1415927f;
  t.scale[0] = t.scale[1] = 12.0f;
  t.scaleStep[0] = t.scaleStep[1] = 0.2f;
  t.angleStep[2] = 0.05f;
  t.flags = ps2writer::kLooped | ps2writer::kAdditive;
  t.emitterLife = 100.0f;
  t.texture = "flare01.dds";
  return t;
}

// The older layout: the first 62 words of a template, then the name at byte 248.
bool SavePsf(const std::string& path, const ps2writer::Template& t) {
  std::vector<uint8_t> image = ps2writer::WritePs2(t);
  std::vector<uint8_t> psf(image.begin(), image.begin() + 248);
  psf.insert(psf.end(), t.texture.begin(), t.texture.end());
  psf.push_back(0);
  return scnwriter::SaveBytes(path, psf);
}

bool WriteParticleEditor(const std::string& root) {
  const std::string folder = root + "/data/ParticleEditor";
  std::error_code error;
  fs::create_directories(folder, error);
  bool ok = CopyFont(root, folder, "ariel_black_18.wft");
  ok = SaveTexture(folder + "/shockwave01.dds", 64, ShockwaveTexel) && ok;
  ok = SaveTexture(folder + "/flare01.dds", 64, FlareTexel) && ok;
  ok = SaveTexture(folder + "/floor.dds", 64, FloorTexel) && ok;
  scnwriter::SceneDesc scene;
  const float lo[3] = {-1200, -1200, -320}, hi[3] = {1200, 1200, -300};
  AddObject(&scene, Slab(lo, hi, "floor.dds"));
  AddNode(&scene, "camera01", 0.0f, -1100.0f, 450.0f);
  AddNode(&scene, "camera_target01", 0.0f, 0.0f, 0.0f);
  ok = scnwriter::SaveScn(folder + "/testscene.scn", scene) && ok;
  ok = SaveBox(folder + "/testobject.geo", 40.0f, "floor.dds") && ok;
  const ps2writer::Template sample = SampleTemplate();
  ok = ps2writer::SavePs2(folder + "/sample.ps2", sample) && ok;
  ok = SavePsf(folder + "/sample.psf", sample) && ok;
  return ok;
}

bool WriteCharacterViewer(const std::string& root) {
  const std::string folder = root + "/data/PCCharacterViewer";
  std::error_code error;
  fs::create_directories(folder, error);
  bool ok = SaveTexture(folder + "/floor.dds", 64, FloorTexel);
  scnwriter::SceneDesc scene;
  const float lo[3] = {-600, -600, -20}, hi[3] = {600, 600, 0};
  AddObject(&scene, Slab(lo, hi, "floor.dds"));
  // The eye is taken 1500 below this in y; the orbit then sets x and y and keeps its height.
  AddNode(&scene, "camera01", 0.0f, 1100.0f, 180.0f);
  AddNode(&scene, "camera_target01", 0.0f, 0.0f, 100.0f);
  AddNode(&scene, "character", 0.0f, 0.0f, 0.0f);
  ok = scnwriter::SaveScn(folder + "/viewer.scn", scene) && ok;
  ok = SaveCharacter(folder, "Cobb.geo", {"cobb_stand_talk.anm", "cobb_walk.anm"}) && ok;
  return ok;
}

bool WriteKavelHelper(const std::string& root) {
  const std::string folder = root + "/data/KavelHelper";
  std::error_code error;
  fs::create_directories(folder, error);
  bool ok = CopyFont(root, folder, "Book_12.wft");
  ok = SaveTexture(folder + "/lightshaft01.dds", 64, ShaftTexel) && ok;
  ok = SaveTexture(folder + "/tiles.dds", 32, TileTexel) && ok;
  ok = SaveTexture(folder + "/water.dds", 64, WaterTexel) && ok;
  ok = SaveTexture(folder + "/bubble.dds", 32, BubbleTexel) && ok;
  scnwriter::SceneDesc scene;
  const float deck[3] = {-1500, -1500, -40}, deckTop[3] = {1500, -700, 0};
  const float far[3] = {-1500, 300, -40}, farTop[3] = {1500, 1500, 0};
  const float water[3] = {-1500, -700, -60}, waterTop[3] = {1500, 300, -50};
  AddObject(&scene, Slab(deck, deckTop, "tiles.dds"));
  AddObject(&scene, Slab(far, farTop, "tiles.dds"));
  AddObject(&scene, Slab(water, waterTop, "water.dds"));
  AddNode(&scene, "camera01", 0.0f, 500.0f, 100.0f);
  ok = scnwriter::SaveScn(folder + "/pool_water.scn", scene) && ok;
  ok = SaveCharacter(folder, "jory.geo", {"jory_out_of_wheelchair.anm", "jory_swim.anm"}) && ok;
  ok = SaveBox(folder + "/box.geo", 60.0f, "tiles.dds") && ok;
  ps2writer::Template bubbles;
  bubbles.maxParticles = 64;
  bubbles.emitPerFrame = 0.5f;
  bubbles.maxLife = 120.0f;
  bubbles.positionVariation[0] = bubbles.positionVariation[1] = 300.0f;
  bubbles.velocity[2] = 1.0f;
  bubbles.scale[0] = bubbles.scale[1] = 6.0f;
  bubbles.flags = ps2writer::kLooped | ps2writer::kAlpha;
  bubbles.emitterLife = 0.0f;
  bubbles.texture = "bubble.dds";
  ok = ps2writer::SavePs2(folder + "/bubbles.ps2", bubbles) && ok;
  return ok;
}

}  // namespace

bool WriteToolsData(const std::string& root) {
  return WriteParticleEditor(root) && WriteCharacterViewer(root) && WriteKavelHelper(root);
}
