// The penalty-kick game's folder "data/FootballGame/": the pitch with its locators and lights,
// the ball, targets, arrows and shadows, the skinned box characters (the five kids, Dulcie,
// Clemency, the keeper, Orwen and his bicycle) with every animation the game plays, the HUD
// pieces and the particle templates. The banks and the music are written with the other sounds.
//
// Units are centimetres, z up; the goal mouth is 732 wide and 244 high at x = 0, the kick spot
// 1100 in front of it, and the far goal line, behind which Orwen rides, at x = 2400.

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/AnmWriter.h"
#include "tests/support/DdsWriter.h"
#include "tests/support/GeoWriter.h"
#include "tests/support/LgtWriter.h"
#include "tests/support/Ps2Writer.h"
#include "tests/support/ScnWriter.h"
#include "tests/support/SkeletonWriter.h"
#include "tools/datagen/DataGenGames.h"

namespace {

using Texel = std::function<uint32_t(uint32_t x, uint32_t y)>;
constexpr float kPi = 3.14159265f;
constexpr float kCharacterScale = 100.0f;

bool SaveTexture(const std::string& path, uint32_t width, uint32_t height, const Texel& texel) {
  std::vector<uint32_t> texels(width * height);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) texels[y * width + x] = texel(x, y);
  return ddswriter::SaveDds(path, gfx::D3DFMT_A8R8G8B8, width, height, texels.data(), false);
}

bool SaveSolid(const std::string& path, uint32_t argb) {
  return SaveTexture(path, 8, 8, [argb](uint32_t, uint32_t) { return argb; });
}

// ---- The pitch.

struct Locator {
  const char* name;
  float x, y, z, heading;
};

constexpr Locator kLocators[] = {
    {"goalcentre", 0, 0, 0, 0},
    {"leftpost", 0, -366, 0, 0},
    {"rightpost", 0, 366, 0, 0},
    {"crossbar", 0, 0, 244, 0},
    {"lefttouchline", 0, -1500, 0, 0},
    {"righttouchline", 0, 1500, 0, 0},
    {"fargoalline", 2400, 0, 0, 0},
    {"startposition", 1100, 0, 0, 0},
    {"dulcie_start", 1250, 200, 0, 0},
    {"celebrate_position", 1160, 0, 0, 0},
    {"celebrate_camera", 1560, -260, 170, 0},
    {"defender00", 760, -470, 0, 0},
    {"defender01", 760, 470, 0, 0},
    {"defender02", 420, -680, 0, 0},
    {"defender03", 420, 680, 0, 0},
    {"defender04", 1000, -950, 0, 0},
    {"targetzone00", 300, -700, 0, 0},
    {"targetzone01", 300, 700, 0, 0},
    {"targetzone02", 900, -950, 0, 0},
    {"targetzone03", 900, 950, 0, 0},
    {"intro_camera01", 1750, 750, 260, 0},
    {"intro_camera02", 1520, -320, 160, 0},
    {"intro_camera_target01", 1250, 200, 110, 0},
    {"intro_camera_target02", 1250, 200, 90, 0},
};

// Orwen's ride: across the back of the pitch from the left to the right, bending towards the
// kick spot in the middle. The bicycle's model faces -y, so riding towards +y is half a turn.
void AddOrwenPath(std::vector<scnwriter::GameNodeDesc>& nodes) {
  for (int i = 0; i < 10; ++i) {
    const float t = float(i) / 9.0f;
    const float y = -1700.0f + 3400.0f * t;
    const float x = 2750.0f - 180.0f * std::sin(kPi * t);
    const float dx = -180.0f * kPi * std::cos(kPi * t) / 3400.0f;
    // Heading of the ride's direction (dx, 1), turned so the model's -y looks along it.
    const float heading = std::atan2(1.0f, dx) + kPi * 0.5f;
    scnwriter::Matrix16 m = scnwriter::Translation(x, y, 0.0f);
    const float c = std::cos(heading), s = std::sin(heading);
    m[0] = c, m[1] = s, m[4] = -s, m[5] = c;
    char name[16];
    std::snprintf(name, sizeof(name), "orwen_path%02d", i);
    nodes.push_back({name, m, " ", " "});
  }
}

scnwriter::ObjectDesc BoxObject(const char* texture, float x0, float y0, float z0, float x1,
                                float y1, float z1) {
  scnwriter::ObjectDesc object;
  object.textures = {texture};
  const float lo[3] = {x0, y0, z0}, hi[3] = {x1, y1, z1};
  object.mesh = scnwriter::Box(lo, hi, 0xFFFFFFFFu, 0);
  return object;
}

bool WritePitch(const std::string& folder) {
  scnwriter::SceneDesc scene;
  // Grass, the lines, the goal frame, its net, and a low wall round the ground.
  scene.objects.push_back(BoxObject("grass.dds", -800, -2600, -2, 3400, 2600, 0));
  for (auto& v : scene.objects.back().mesh.vertices) {
    v.u *= 12.0f;
    v.v *= 12.0f;
  }
  const struct {
    float x0, y0, x1, y1;
  } lines[] = {{-5, -1500, 5, 1500},   {2395, -1500, 2405, 1500}, {-5, -1505, 2405, -1495},
               {-5, 1495, 2405, 1505}, {1095, -5, 1105, 5},       {-5, -2000, 5, -1500},
               {600, -700, 610, 700},  {-5, -700, 600, -690},     {-5, 690, 600, 700}};
  for (const auto& l : lines)
    scene.objects.push_back(BoxObject("line.dds", l.x0, l.y0, 0, l.x1, l.y1, 0.6f));
  scene.objects.push_back(BoxObject("post.dds", -8.7f, -374.7f, 0, 8.7f, -357.3f, 252.7f));
  scene.objects.push_back(BoxObject("post.dds", -8.7f, 357.3f, 0, 8.7f, 374.7f, 252.7f));
  scene.objects.push_back(BoxObject("post.dds", -8.7f, -374.7f, 235.3f, 8.7f, 374.7f, 252.7f));
  scene.objects.push_back(BoxObject("net.dds", -180, -366, 0, -176, 366, 240));
  scene.objects.push_back(BoxObject("net.dds", -180, -366, 238, 0, 366, 242));
  scene.objects.push_back(BoxObject("net.dds", -180, -368, 0, 0, -364, 240));
  scene.objects.push_back(BoxObject("net.dds", -180, 364, 0, 0, 368, 240));
  scene.objects.push_back(BoxObject("wall.dds", -800, -2650, 0, 3400, -2600, 120));
  scene.objects.push_back(BoxObject("wall.dds", -800, 2600, 0, 3400, 2650, 120));
  scene.objects.push_back(BoxObject("wall.dds", -850, -2650, 0, -800, 2650, 120));
  scene.objects.push_back(BoxObject("wall.dds", 3400, -2650, 0, 3450, 2650, 120));
  scene.matrices = {scnwriter::Identity()};
  for (uint32_t i = 0; i < scene.objects.size(); ++i) scene.placements.push_back({i, 0});
  for (const Locator& l : kLocators)
    scene.nodes.push_back({l.name, scnwriter::Translation(l.x, l.y, l.z), " ", " "});
  AddOrwenPath(scene.nodes);
  bool ok = scnwriter::SaveScn(folder + "/pitch.scn", scene);
  lgtwriter::LightDesc lights;
  lights.count = 2;
  lights.ambient[0] = lights.ambient[1] = lights.ambient[2] = 0.45f;
  lights.lights[0] = {{0.4f, 0.3f, -0.85f}, {0.75f, 0.72f, 0.62f}};
  lights.lights[1] = {{-0.5f, -0.4f, -0.3f}, {0.2f, 0.22f, 0.28f}};
  ok = lgtwriter::SaveLgt(folder + "/pitch.lgt", lights) && ok;
  ok =
      SaveTexture(folder + "/grass.dds", 64, 64,
                  [](uint32_t x, uint32_t y) {
                    return ((x / 32) % 2) ? 0xFF3C8C3Cu : ((x + y) % 7 ? 0xFF449A44u : 0xFF3E923Eu);
                  }) &&
      ok;
  ok = SaveSolid(folder + "/line.dds", 0xFFF4F4F4u) && ok;
  ok = SaveSolid(folder + "/post.dds", 0xFFFFFFFFu) && ok;
  ok = SaveTexture(folder + "/net.dds", 16, 16,
                   [](uint32_t x, uint32_t y) {
                     return (x % 4 == 0 || y % 4 == 0) ? 0xFFE0E0E0u : 0xFF5A6A5Au;
                   }) &&
       ok;
  ok = SaveTexture(folder + "/wall.dds", 16, 16,
                   [](uint32_t x, uint32_t y) {
                     return (y % 8 == 0 || (x + (y / 8) * 4) % 8 == 0) ? 0xFF6A5040u : 0xFF9A6A4Au;
                   }) &&
       ok;
  return ok;
}

// ---- Static models.

bool SaveBoxModel(const std::string& path, const std::vector<std::array<float, 6>>& boxes,
                  const std::string& texture, bool alpha = false) {
  geowriter::GeoDesc desc;
  for (const auto& b : boxes) {
    const float lo[3] = {b[0], b[1], b[2]}, hi[3] = {b[3], b[4], b[5]};
    desc.nodes.push_back({geowriter::BoxMesh(lo, hi, 0xFFFFFFFFu, 0, alpha), {texture}});
  }
  return geowriter::SaveGeo(path, desc);
}

bool WriteProps(const std::string& folder) {
  bool ok = SaveBoxModel(folder + "/ball.geo", {{-10, -10, -10, 10, 10, 10}}, "ball.dds");
  // The aim arrow lies along -x from the ball, the way an unturned kick goes.
  ok = SaveBoxModel(folder + "/arrow.geo",
                    {{-160, -3, -1, -20, 3, 1}, {-190, -12, -1, -160, 12, 1}}, "arrow.dds") &&
       ok;
  ok = SaveBoxModel(folder + "/target.geo", {{-100, -100, 0.8f, 100, 100, 1.6f}}, "target.dds") &&
       ok;
  ok = SaveBoxModel(folder + "/wind_arrow.geo", {{-60, -8, -4, 40, 8, 4}, {40, -24, -4, 70, 24, 4}},
                    "wind_arrow.dds") &&
       ok;
  ok = SaveBoxModel(folder + "/shadow_blob01.geo", {{-22, -22, 0.9f, 22, 22, 1.0f}}, "shadow.dds",
                    true) &&
       ok;
  ok = SaveBoxModel(folder + "/shadow_blob_small.geo", {{-14, -14, 0.9f, 14, 14, 1.0f}},
                    "shadow.dds", true) &&
       ok;
  ok = SaveBoxModel(folder + "/shadow_blob_large.geo", {{-40, -40, 0.9f, 40, 40, 1.0f}},
                    "shadow.dds", true) &&
       ok;
  ok = SaveTexture(folder + "/ball.dds", 16, 16,
                   [](uint32_t x, uint32_t y) {
                     return ((x / 4 + y / 4) % 2) ? 0xFF202020u : 0xFFF8F8F8u;
                   }) &&
       ok;
  ok = SaveSolid(folder + "/arrow.dds", 0xFFFFD020u) && ok;
  ok = SaveSolid(folder + "/wind_arrow.dds", 0xFF40A0FFu) && ok;
  // Rings: red in the inner third, white in the middle, blue outside.
  ok = SaveTexture(folder + "/target.dds", 64, 64,
                   [](uint32_t x, uint32_t y) {
                     const float d = std::hypot(float(x) - 31.5f, float(y) - 31.5f) / 32.0f;
                     return d < 0.333f ? 0xFFE02020u
                                       : (d < 0.667f ? 0xFFF0F0F0u
                                                     : (d < 1.0f ? 0xFF2040D0u : 0xFF3E923Eu));
                   }) &&
       ok;
  ok = SaveTexture(folder + "/shadow.dds", 32, 32,
                   [](uint32_t x, uint32_t y) {
                     const float d = std::hypot(float(x) - 15.5f, float(y) - 15.5f) / 16.0f;
                     const uint32_t a = d < 1.0f ? uint32_t(150.0f * (1.0f - d * d)) : 0u;
                     return a << 24;
                   }) &&
       ok;
  return ok;
}

// ---- Characters: skinned boxes on the biped, scaled to centimetres.

struct Look {
  uint32_t shirt, skin, shorts, boots;
};

// The biped in centimetres, with a "groin" bone under the pelvis (the kids' hit volume names
// it), and the head bone renamed where a character's volumes ask for "head_bone".
skelwriter::SkeletonDesc Biped(const char* headName) {
  skelwriter::SkeletonDesc biped = skelwriter::MakeBiped();
  for (skelwriter::Bone& bone : biped.bones) {
    for (float& t : bone.translation) t *= kCharacterScale;
    if (bone.name == "Head_bone") bone.name = headName;
  }
  biped.Add("groin", 1, 0.0f, 0.0f, -14.0f);
  return biped;
}

int PartOf(const std::string& bone) {
  if (bone.find("Foot") != std::string::npos || bone.find("Toe") != std::string::npos) return 3;
  if (bone.find("Thigh") != std::string::npos || bone.find("Calf") != std::string::npos) return 2;
  if (bone.find("Hand") != std::string::npos || bone.find("Finger") != std::string::npos ||
      bone.find("ead") != std::string::npos || bone.find("Forearm") != std::string::npos)
    return 1;
  return 0;
}

// One box per bone from its parent's joint to its own, rigid on the parent; a head block; a
// torso block from the pelvis to the neck.
bool SaveCharacter(const std::string& folder, const std::string& stem, const Look& look,
                   const char* headName) {
  const skelwriter::SkeletonDesc biped = Biped(headName);
  const std::vector<float> world = skelwriter::BindWorldMatrices(biped);
  auto at = [&](size_t bone) { return &world[bone * 16 + 12]; };
  geowriter::Mesh body;
  std::vector<uint16_t> parts[4];
  auto addBox = [&](const float lo[3], const float hi[3], size_t bone, int part) {
    const geowriter::Mesh cube = geowriter::BoxMesh(lo, hi, 0xFFFFFFFFu, uint32_t(part));
    const uint16_t first = uint16_t(body.vertices.size());
    body.vertices.insert(body.vertices.end(), cube.vertices.begin(), cube.vertices.end());
    for (uint16_t i : cube.indices) parts[part].push_back(uint16_t(first + i));
    const GeoSkinWeight weight = {{uint8_t(bone * 3), 0, 0, 0}, {1.0f, 0, 0, 0}};
    body.skinWeights.insert(body.skinWeights.end(), cube.vertices.size(), weight);
  };
  for (size_t b = 1; b < biped.bones.size(); ++b) {
    const std::string& name = biped.bones[b].name;
    const int32_t parent = biped.bones[b].parent;
    if (name == "groin" || name.find("Spine") != std::string::npos ||
        name.find("Clavicle") != std::string::npos)
      continue;
    const float* p = at(size_t(parent));
    const float* q = at(b);
    const float t = PartOf(name) == 2 ? 7.0f : 5.0f;
    float lo[3], hi[3];
    for (int k = 0; k < 3; ++k) {
      lo[k] = std::fmin(p[k], q[k]) - t;
      hi[k] = std::fmax(p[k], q[k]) + t;
    }
    if (name == headName) {
      for (int k = 0; k < 3; ++k) {
        lo[k] = q[k] - 11.0f;
        hi[k] = q[k] + 11.0f;
      }
      hi[2] += 8.0f;
      addBox(lo, hi, b, 1);
      continue;
    }
    if (name.find("Neck") != std::string::npos || name.find("Pelvis") != std::string::npos)
      continue;
    addBox(lo, hi, size_t(parent), PartOf(name));
  }
  const float* pelvis = at(1);
  const float* neck = at(4);
  const float lo[3] = {pelvis[0] - 18.0f, pelvis[1] - 10.0f, pelvis[2] - 8.0f};
  const float hi[3] = {neck[0] + 18.0f, neck[1] + 10.0f, neck[2]};
  addBox(lo, hi, 2, 0);
  geowriter::Node node;
  const uint32_t colours[4] = {look.shirt, look.skin, look.shorts, look.boots};
  bool ok = true;
  for (uint32_t part = 0; part < 4; ++part) {
    const uint32_t first = uint32_t(body.indices.size());
    body.indices.insert(body.indices.end(), parts[part].begin(), parts[part].end());
    if (!parts[part].empty())
      body.solidStrips.push_back({part, 0, first, uint32_t(parts[part].size())});
    const std::string texture = stem + "_part" + std::to_string(part) + ".dds";
    node.textures.push_back(texture);
    ok = SaveSolid(folder + "/" + texture, colours[part]) && ok;
  }
  node.mesh = body;
  geowriter::GeoDesc desc;
  desc.nodes.push_back(node);
  desc.SetSkeleton(biped);
  return geowriter::SaveGeo(folder + "/" + stem + ".geo", desc) && ok;
}

// The bicycle: boxes on the root bone, so its animations turn the whole frame.
bool SaveBike(const std::string& folder) {
  const skelwriter::SkeletonDesc biped = Biped("Head_bone");
  geowriter::Mesh mesh;
  const float boxes[][6] = {{-3, -70, 30, 3, 70, 38},    {-3, -75, 0, 3, -35, 40},
                            {-3, 35, 0, 3, 75, 40},      {-4, -45, 38, 4, -35, 95},
                            {-30, -50, 90, 30, -40, 96}, {-8, 20, 38, 8, 40, 75}};
  for (const auto& b : boxes) {
    const float lo[3] = {b[0], b[1], b[2]}, hi[3] = {b[3], b[4], b[5]};
    const geowriter::Mesh cube = geowriter::BoxMesh(lo, hi, 0xFFFFFFFFu, 0);
    const uint16_t first = uint16_t(mesh.vertices.size());
    mesh.vertices.insert(mesh.vertices.end(), cube.vertices.begin(), cube.vertices.end());
    for (uint16_t i : cube.indices) mesh.indices.push_back(uint16_t(first + i));
    mesh.skinWeights.insert(mesh.skinWeights.end(), cube.vertices.size(),
                            GeoSkinWeight{{0, 0, 0, 0}, {1.0f, 0, 0, 0}});
  }
  mesh.solidStrips.push_back({0, 0, 0, uint32_t(mesh.indices.size())});
  geowriter::GeoDesc desc;
  desc.nodes.push_back({mesh, {"bike.dds"}});
  desc.SetSkeleton(biped);
  return geowriter::SaveGeo(folder + "/bike_orwen.geo", desc) &&
         SaveSolid(folder + "/bike.dds", 0xFFC03030u);
}

// ---- Animations: each bone turns about an axis by an angle that follows time.

struct Pose {
  // Per bone name (a substring) an axis and an angle as a function of the played fraction.
  struct Turn {
    const char* bone;
    float axis[3];
    std::function<float(float)> angle;
  };
  float length = 1.0f;
  std::vector<Turn> turns;
  // The root's offset from its bind place (x, y, z) as a function of the played fraction.
  std::function<void(float, float*)> root = [](float, float* p) { p[0] = p[1] = p[2] = 0.0f; };
};

bool SaveAnim(const std::string& path, const Pose& pose) {
  const skelwriter::SkeletonDesc biped = Biped("Head_bone");
  const float height = biped.bones[0].translation[2];
  auto rotationAt = [&](uint32_t bone, float t, float* q) {
    q[0] = q[1] = q[2] = 0.0f;
    q[3] = 1.0f;
    const std::string& name = biped.bones[bone].name;
    for (const Pose::Turn& turn : pose.turns) {
      const bool root = std::string(turn.bone) == "root";
      if ((root && bone == 0) || (!root && name.find(turn.bone) != std::string::npos)) {
        anmwriter::AxisAngle(turn.axis[0], turn.axis[1], turn.axis[2], turn.angle(t / pose.length),
                             q);
        return;
      }
    }
  };
  auto rootAt = [&](float t, float* p) {
    pose.root(t / pose.length, p);
    p[2] += height;
  };
  return anmwriter::Save(path, anmwriter::MakeSampled(uint32_t(biped.bones.size()), pose.length, 12,
                                                      rotationAt, rootAt));
}

float Wave(float f, float cycles) { return std::sin(2.0f * kPi * cycles * f); }
// 0 -> 1 -> 0 over the animation.
float Bump(float f) { return std::sin(kPi * f); }
float Rise(float f) { return f < 1.0f ? f : 1.0f; }

Pose Stand() {
  Pose p;
  p.length = 2.0f;
  p.turns = {{"Spine1", {1, 0, 0}, [](float f) { return 0.03f * Wave(f, 1); }},
             {"UpperArm", {0, 1, 0}, [](float f) { return 0.05f * Wave(f, 1); }}};
  return p;
}

Pose Steps(float sideways, float forwards) {
  Pose p;
  p.length = 0.5f;
  p.turns = {{" L Thigh", {1, 0, 0}, [=](float f) { return forwards * 0.4f * Wave(f, 1); }},
             {" R Thigh", {1, 0, 0}, [=](float f) { return -forwards * 0.4f * Wave(f, 1); }},
             {"Thigh", {0, 1, 0}, [=](float f) { return sideways * 0.3f * Bump(f); }},
             {"Calf", {1, 0, 0}, [](float f) { return 0.3f * Bump(f); }}};
  return p;
}

Pose Kick(float strength) {
  Pose p;
  p.length = 0.6f;
  p.turns = {{" R Thigh", {1, 0, 0}, [=](float f) { return -strength * Wave(f, 0.75f); }},
             {" R Calf", {1, 0, 0}, [=](float f) { return 0.8f * strength * Bump(f); }},
             {"UpperArm", {0, 1, 0}, [](float f) { return 0.6f * Bump(f); }}};
  return p;
}

Pose ArmsUp(float length, float jump) {
  Pose p;
  p.length = length;
  p.turns = {
      {" L UpperArm", {0, 1, 0}, [](float f) { return 2.6f * Bump(Rise(f * 3.0f) * 0.5f); }},
      {" R UpperArm", {0, 1, 0}, [](float f) { return -2.6f * Bump(Rise(f * 3.0f) * 0.5f); }}};
  p.root = [=](float f, float* r) {
    r[0] = r[1] = 0.0f;
    r[2] = jump * std::fabs(Wave(f, 2.0f));
  };
  return p;
}

Pose Bend(float length, float spine, float head, float drop) {
  Pose p;
  p.length = length;
  p.turns = {{"Spine1", {1, 0, 0}, [=](float f) { return spine * Rise(f * 2.0f); }},
             {"Head_bone", {1, 0, 0}, [=](float f) { return head * Rise(f * 2.0f); }}};
  p.root = [=](float f, float* r) {
    r[0] = r[1] = 0.0f;
    r[2] = -drop * Rise(f * 2.0f);
  };
  return p;
}

// A dive to the keeper's left (+x in the model, +y on the pitch) or right: the body tips about
// the facing axis and the root flies sideways and down.
Pose Dive(float side, float reach, float height, float tilt) {
  Pose p;
  p.length = 1.0f;
  p.turns = {{"root", {0, 1, 0}, [=](float f) { return side * tilt * Rise(f * 2.5f); }},
             {" L UpperArm", {0, 1, 0}, [](float f) { return 2.4f * Rise(f * 3.0f); }},
             {" R UpperArm", {0, 1, 0}, [](float f) { return -2.4f * Rise(f * 3.0f); }}};
  p.root = [=](float f, float* r) {
    const float g = Rise(f * 2.5f);
    r[0] = side * reach * g;
    r[1] = 0.0f;
    r[2] = height * Bump(g * 0.5f) + (1.0f - g) * 0.0f - 70.0f * g;
  };
  return p;
}

Pose GetUp(float side) {
  Pose p;
  p.length = 0.8f;
  p.turns = {{"root", {0, 1, 0}, [=](float f) { return side * 1.3f * (1.0f - Rise(f * 1.5f)); }}};
  p.root = [](float f, float* r) {
    r[0] = r[1] = 0.0f;
    r[2] = -70.0f * (1.0f - Rise(f * 1.5f));
  };
  return p;
}

Pose Cycle() {
  Pose p;
  p.length = 0.8f;
  p.turns = {{" L Thigh", {1, 0, 0}, [](float f) { return -1.3f + 0.5f * Wave(f, 1); }},
             {" R Thigh", {1, 0, 0}, [](float f) { return -1.3f - 0.5f * Wave(f, 1); }},
             {"Calf", {1, 0, 0}, [](float) { return 1.2f; }},
             {"UpperArm", {1, 0, 0}, [](float) { return -0.9f; }}};
  p.root = [](float, float* r) {
    r[0] = r[1] = 0.0f;
    r[2] = 5.0f;
  };
  return p;
}

Pose Fall(float seat) {
  Pose p;
  p.length = 1.0f;
  p.turns = {{"root", {0, 1, 0}, [](float f) { return 1.5f * Rise(f * 1.6f); }}};
  p.root = [=](float f, float* r) {
    r[0] = 60.0f * Rise(f * 1.6f);
    r[1] = 0.0f;
    r[2] = seat - (seat + 70.0f) * Rise(f * 1.6f);
  };
  return p;
}

bool WriteAnimations(const std::string& folder) {
  const std::vector<std::pair<const char*, Pose>> anims = {
      {"dulcie_stand.anm", Stand()},
      {"dulcie_kick_soft.anm", Kick(0.8f)},
      {"dulcie_kick_hard.anm", Kick(1.4f)},
      {"dulcie_celebrate.anm", ArmsUp(1.6f, 25.0f)},
      {"dulcie_losing.anm", Bend(1.4f, 0.6f, 0.5f, 5.0f)},
      {"clemency_stand.anm", Stand()},
      {"clemency_hit_in_head.anm", Bend(0.8f, -0.3f, -0.8f, 0.0f)},
      {"clemency_hit_in_chest.anm", Bend(0.8f, -0.6f, -0.2f, 10.0f)},
      {"clemency_hit_in_legs.anm", Bend(0.8f, 0.7f, 0.3f, 30.0f)},
      {"football_kid_stand.anm", Stand()},
      {"football_kid_save_centre.anm", ArmsUp(0.8f, 0.0f)},
      {"football_kid_save_low_centre_start.anm", Bend(0.6f, 0.9f, 0.3f, 55.0f)},
      {"football_kid_save_low_centre_end.anm", Bend(0.6f, 0.4f, 0.1f, 20.0f)},
      {"football_kid_save_high_centre.anm", ArmsUp(0.9f, 45.0f)},
      {"football_kid_save_short_left.anm", Dive(1.0f, 60.0f, 10.0f, 1.0f)},
      {"football_kid_save_short_right.anm", Dive(-1.0f, 60.0f, 10.0f, 1.0f)},
      {"football_kid_save_low_left.anm", Dive(1.0f, 130.0f, 10.0f, 1.45f)},
      {"football_kid_save_low_right.anm", Dive(-1.0f, 130.0f, 10.0f, 1.45f)},
      {"football_kid_save_mid_left.anm", Dive(1.0f, 110.0f, 60.0f, 1.3f)},
      {"football_kid_save_mid_right.anm", Dive(-1.0f, 110.0f, 60.0f, 1.3f)},
      {"football_kid_save_high_left.anm", Dive(1.0f, 90.0f, 130.0f, 1.0f)},
      {"football_kid_save_high_right.anm", Dive(-1.0f, 90.0f, 130.0f, 1.0f)},
      {"football_kid_step_left_no_translation.anm", Steps(1.0f, 0.0f)},
      {"football_kid_step_right_no_translation.anm", Steps(-1.0f, 0.0f)},
      {"football_kid_step_forward_no_translation.anm", Steps(0.0f, 1.0f)},
      {"football_kid_step_back_no_translation.anm", Steps(0.0f, -1.0f)},
      {"football_kid_keeper_celebrate.anm", ArmsUp(1.4f, 30.0f)},
      {"football_kid_get_up_left.anm", GetUp(1.0f)},
      {"football_kid_get_up_right.anm", GetUp(-1.0f)},
      {"football_kid_block_ball_legs.anm", Kick(-0.7f)},
      {"football_kid_block_ball_jump.anm", ArmsUp(0.8f, 50.0f)},
      {"football_kid_block_ball_head.anm", Bend(0.7f, -0.3f, -0.7f, 0.0f)},
      {"football_kid_hit_in_groin.anm", Bend(0.9f, 1.0f, 0.4f, 60.0f)},
      {"football_kid_block_ball_chest.anm", Bend(0.7f, -0.5f, -0.2f, 0.0f)},
      {"orwen_cycle.anm", Cycle()},
      {"orwen_hit_fall.anm", Fall(5.0f)},
      {"bike_cycle.anm", Stand()},
      {"bike_hit_fall.anm", Fall(0.0f)},
  };
  bool ok = true;
  for (const auto& [name, pose] : anims) ok = SaveAnim(folder + "/" + name, pose) && ok;
  // Dulcie's run: the walk in place, faster.
  anmwriter::AnimDesc run = anmwriter::MakeWalk(Biped("Head_bone"), 0.0f);
  return anmwriter::Save(folder + "/dulcie_run.anm", run) &&
         anmwriter::Save(folder + "/clemency_run.anm", run) && ok;
}

bool WriteCharacters(const std::string& folder) {
  bool ok = SaveCharacter(folder, "dulcie", {0xFFD03030u, 0xFFF0C8A0u, 0xFF303060u, 0xFF202020u},
                          "Head_bone");
  ok = SaveCharacter(folder, "clemency", {0xFF8040C0u, 0xFFE8B890u, 0xFF604080u, 0xFF402020u},
                     "head_bone") &&
       ok;
  ok = SaveCharacter(folder, "goalkeeper", {0xFF30C030u, 0xFFE0B080u, 0xFF202020u, 0xFF101010u},
                     "Head_bone") &&
       ok;
  ok = SaveCharacter(folder, "orwen", {0xFF806040u, 0xFFF0C8A0u, 0xFF404040u, 0xFF302010u},
                     "Head_bone") &&
       ok;
  const uint32_t shirts[5] = {0xFF2050E0u, 0xFFF0F0F0u, 0xFF2050E0u, 0xFFF0F0F0u, 0xFF2050E0u};
  for (int i = 0; i < 5; ++i) {
    char stem[32];
    std::snprintf(stem, sizeof(stem), "football_kid%02d", i + 1);
    ok = SaveCharacter(folder, stem, {shirts[i], 0xFFE0B080u, 0xFF1A1A60u, 0xFF101010u},
                       "Head_bone") &&
         ok;
  }
  return SaveBike(folder) && ok;
}

// ---- The HUD.

bool WriteHud(const std::string& folder) {
  struct Piece {
    const char* name;
    uint32_t w, h;
    Texel texel;
  };
  auto frame = [](uint32_t w, uint32_t h, uint32_t inside, uint32_t edge) {
    return [=](uint32_t x, uint32_t y) {
      return (x == 0 || y == 0 || x == w - 1 || y == h - 1) ? edge : inside;
    };
  };
  const Piece pieces[] = {
      {"mr_gorst_icon.dds", 32, 32,
       [](uint32_t x, uint32_t y) {
         return std::hypot(float(x) - 15.5f, float(y) - 15.5f) < 14.0f ? 0xFFE0A030u : 0u;
       }},
      {"powerbar.dds", 32, 128, frame(32, 128, 0xC0303030u, 0xFFFFFFFFu)},
      {"powerslider.dds", 32, 8, frame(32, 8, 0xFFFFFFFFu, 0xFF000000u)},
      {"goals_background01.dds", 32, 24, frame(32, 24, 0xE0F0F0E0u, 0xFF44707Cu)},
      {"wind_strength_background01.dds", 124, 16, frame(124, 16, 0xA0202020u, 0xFFE0E0E0u)},
      {"wind_strength_left01.dds", 10, 16, frame(10, 16, 0xFFE0E0E0u, 0xFF404040u)},
      {"wind_strength_right01.dds", 8, 16, frame(8, 16, 0xFFE0E0E0u, 0xFF404040u)},
      {"wind_strength_middle01.dds", 16, 16,
       [](uint32_t, uint32_t y) { return (y < 3 || y > 12) ? 0u : 0xFF40A0FFu; }},
      {"power_bar_background01.dds", 32, 160, frame(32, 160, 0xB0202020u, 0xFFFFFFFFu)},
      {"power_bar_red_middle.dds", 32, 16,
       [](uint32_t x, uint32_t) { return (x < 4 || x > 27) ? 0u : 0xFFE03020u; }},
      {"power_bar_blue_middle.dds", 32, 16,
       [](uint32_t x, uint32_t) { return (x < 4 || x > 27) ? 0u : 0xFF3060E0u; }},
      {"power_bar_blue_top.dds", 32, 16, frame(32, 16, 0xFF3060E0u, 0xFF203080u)},
      {"power_bar_red_bottom.dds", 32, 16, frame(32, 16, 0xFFE03020u, 0xFF802010u)},
      {"power_bar_indicator01.dds", 48, 4, [](uint32_t, uint32_t) { return 0xFFFFFF40u; }},
      {"power_bar_arrow01.dds", 12, 12,
       [](uint32_t x, uint32_t y) {
         return float(x) <= 11.0f - std::fabs(float(y) - 5.5f) * 2.0f ? 0xFFFFFF40u : 0u;
       }},
  };
  bool ok = true;
  for (const Piece& p : pieces) ok = SaveTexture(folder + "/" + p.name, p.w, p.h, p.texel) && ok;
  return ok;
}

// ---- Particle templates: a burst at a hit target, grass thrown up by a bouncing ball.

bool WriteParticles(const std::string& folder) {
  bool ok = SaveTexture(folder + "/fx_dot.dds", 16, 16, [](uint32_t x, uint32_t y) {
    const float d = std::hypot(float(x) - 7.5f, float(y) - 7.5f) / 8.0f;
    return (d < 1.0f ? uint32_t((1.0f - d) * 255.0f) : 0u) << 24 | 0x00FFFFFFu;
  });
  auto burst = [&](const char* name, float r, float g, float b, float speed, float life,
                   float size) {
    ps2writer::Template t;
    t.maxParticles = 64;
    t.emitPerFrame = 8.0f;
    t.maxLife = life;
    t.lifeVariation = life * 0.3f;
    t.colour[0] = r, t.colour[1] = g, t.colour[2] = b, t.colour[3] = 255.0f;
    t.colourStep[3] = -255.0f / life;
    t.velocity[2] = speed;
    t.velocityVariation[0] = t.velocityVariation[1] = speed * 0.8f;
    t.velocityVariation[2] = speed * 0.3f;
    t.gravity[2] = -speed * 0.05f;
    t.scale[0] = t.scale[1] = size;
    t.flags = ps2writer::kAlpha;
    t.emitterLife = 8.0f;
    t.boundsMin[0] = t.boundsMin[1] = -300.0f;
    t.boundsMin[2] = 0.0f;
    t.boundsMax[0] = t.boundsMax[1] = 300.0f;
    t.boundsMax[2] = 400.0f;
    t.texture = "fx_dot.dds";
    return ps2writer::SavePs2(folder + "/" + name, t);
  };
  ok = burst("target_red01.ps2", 255, 60, 40, 6.0f, 45.0f, 14.0f) && ok;
  ok = burst("target_white01.ps2", 255, 255, 255, 5.0f, 40.0f, 12.0f) && ok;
  ok = burst("target_blue01.ps2", 60, 90, 255, 4.0f, 35.0f, 10.0f) && ok;
  ok = burst("grass01.ps2", 70, 160, 60, 2.0f, 25.0f, 5.0f) && ok;
  return ok;
}

}  // namespace

bool WriteFootballData(const std::string& root) {
  const std::string folder = root + "/data/FootballGame";
  return WritePitch(folder) && WriteProps(folder) && WriteCharacters(folder) &&
         WriteAnimations(folder) && WriteHud(folder) && WriteParticles(folder);
}
