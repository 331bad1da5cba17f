// The pirate game's models, animations and textures (see DataGenPirate.cpp for the scene). Every
// model is made of boxes; the skinned ones bind each box wholly to one bone.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/AnmWriter.h"
#include "tests/support/DdsWriter.h"
#include "tests/support/GeoWriter.h"
#include "tests/support/SkeletonWriter.h"

namespace pirategen {

struct Point {
  float x, y;
};
extern const float kBoardTop = 20.0f;
extern const float kPirateOffsetX = 130.0f;
extern const float kPirateFeetZ = -160.0f;
extern const int kLinePoints = 10;

Point LinePoint(int n) {
  return Point{-2600.0f + 580.0f * float(n), -2750.0f + (n % 2 ? 120.0f : 0.0f)};
}

namespace {

constexpr float kPi = 3.14159265f;
constexpr int kKinds = 10;
// The biped's bones are scaled from its 1.8 units to the pirates' height.
constexpr float kPirateScale = 72.0f;
constexpr float kPirateRootZ = -79.0f;

// ---- Meshes of boxes.

struct MeshBuilder {
  explicit MeshBuilder(int materials, bool skinned) : parts(size_t(materials)), skin(skinned) {}

  void Box(const float lo[3], const float hi[3], uint32_t material, int bone = 0) {
    const geowriter::Mesh box = geowriter::BoxMesh(lo, hi, 0xFF808080u, material);
    const uint16_t first = static_cast<uint16_t>(mesh.vertices.size());
    mesh.vertices.insert(mesh.vertices.end(), box.vertices.begin(), box.vertices.end());
    for (uint16_t index : box.indices) parts[material].push_back(uint16_t(first + index));
    if (!skin) return;
    const GeoSkinWeight weight = {{static_cast<uint8_t>(bone * 3), 0, 0, 0}, {1.0f, 0, 0, 0}};
    mesh.skinWeights.insert(mesh.skinWeights.end(), box.vertices.size(), weight);
  }
  // A box from its centre and half sizes.
  void Cube(float cx, float cy, float cz, float hx, float hy, float hz, uint32_t material,
            int bone = 0) {
    const float lo[3] = {cx - hx, cy - hy, cz - hz}, hi[3] = {cx + hx, cy + hy, cz + hz};
    Box(lo, hi, material, bone);
  }
  geowriter::Mesh Finish() {
    for (size_t m = 0; m < parts.size(); ++m) {
      if (parts[m].empty()) continue;
      const uint32_t firstIndex = uint32_t(mesh.indices.size());
      mesh.indices.insert(mesh.indices.end(), parts[m].begin(), parts[m].end());
      mesh.solidStrips.push_back({uint32_t(m), 0, firstIndex, uint32_t(parts[m].size())});
    }
    return mesh;
  }

  geowriter::Mesh mesh;
  std::vector<std::vector<uint16_t>> parts;
  bool skin;
};

bool SaveModel(const std::string& path, MeshBuilder& builder,
               const std::vector<std::string>& textures,
               const skelwriter::SkeletonDesc* skeleton = nullptr) {
  geowriter::GeoDesc desc;
  desc.nodes.push_back({builder.Finish(), textures});
  if (skeleton) desc.SetSkeleton(*skeleton);
  return geowriter::SaveGeo(path, desc);
}

bool WriteCoverAndShadow(const std::string& folder) {
  MeshBuilder cover(1, false);
  cover.Cube(0, 0, 30, 150, 150, 30, 0);
  cover.Cube(0, 0, 70, 40, 20, 10, 0);
  MeshBuilder shadow(1, false);
  shadow.Cube(0, 0, 1.5f, 210, 210, 1.5f, 0);
  return SaveModel(folder + "/cover.geo", cover, {"cover.dds"}) &&
         SaveModel(folder + "/shadow.geo", shadow, {"shadow.dds"});
}

// The board: a slab with two lids hinged at its side edges, which "board_open.anm" swings out.
bool WriteBoard(const std::string& folder) {
  skelwriter::SkeletonDesc bones;
  bones.Add("Board", -1, 0, 0, 0);
  bones.Add("LidL", 0, -3200, 0, kBoardTop);
  bones.Add("LidR", 0, 3200, 0, kBoardTop);
  MeshBuilder board(2, true);
  const float slabLo[3] = {-3200, -2200, 0}, slabHi[3] = {3200, 2400, kBoardTop};
  board.Box(slabLo, slabHi, 0, 0);
  const float leftLo[3] = {-3200, -2200, kBoardTop}, leftHi[3] = {0, 2400, kBoardTop + 25};
  const float rightLo[3] = {0, -2200, kBoardTop}, rightHi[3] = {3200, 2400, kBoardTop + 25};
  board.Box(leftLo, leftHi, 1, 1);
  board.Box(rightLo, rightHi, 1, 2);
  return SaveModel(folder + "/board.geo", board, {"wood.dds", "lid.dds"}, &bones);
}

bool WriteChest(const std::string& folder) {
  skelwriter::SkeletonDesc bones;
  bones.Add("Chest", -1, 0, 0, 0);
  bones.Add("Lid", 0, 0, 150, 220);
  MeshBuilder chest(2, true);
  chest.Cube(0, 0, 110, 200, 140, 110, 0, 0);
  chest.Cube(0, 0, 214, 180, 120, 14, 1, 0);
  chest.Cube(0, -145, 200, 30, 8, 40, 1, 0);
  chest.Cube(0, 0, 260, 210, 150, 40, 0, 1);
  return SaveModel(folder + "/chest.geo", chest, {"chest.dds", "gold.dds"}, &bones);
}

// A pirate: the biped scaled and moved off its origin, a box round every bone by part, a hat.
enum PiratePart : uint32_t { kSkin, kShirt, kTrousers, kBlack, kPiratePartCount };

skelwriter::SkeletonDesc PirateSkeleton() {
  skelwriter::SkeletonDesc biped = skelwriter::MakeBiped();
  for (skelwriter::Bone& bone : biped.bones)
    for (float& t : bone.translation) t *= kPirateScale;
  biped.bones[0].translation[0] = kPirateOffsetX;
  biped.bones[0].translation[1] = 0.0f;
  biped.bones[0].translation[2] = kPirateRootZ;
  return biped;
}

bool Has(const std::string& name, const char* part) { return name.find(part) != std::string::npos; }

struct BoneBox {
  uint32_t part;
  float half;
};

BoneBox BoxFor(const std::string& name) {
  if (name == "Head_bone") return {kSkin, 17};
  if (Has(name, "Spine")) return {kShirt, 21};
  if (Has(name, "Pelvis")) return {kTrousers, 19};
  if (Has(name, "Hand")) return {kSkin, 8};
  if (Has(name, "Finger")) return {kSkin, 5};
  if (Has(name, "Thigh") || Has(name, "Calf")) return {kTrousers, 11};
  if (Has(name, "Foot")) return {kBlack, 10};
  if (Has(name, "Toe")) return {kBlack, 7};
  if (name == "Bip01") return {kShirt, 0};
  return {kShirt, 9};
}

bool WritePirate(const std::string& folder, int kind) {
  const skelwriter::SkeletonDesc biped = PirateSkeleton();
  const std::vector<float> world = skelwriter::BindWorldMatrices(biped);
  MeshBuilder body(kPiratePartCount, true);
  for (size_t bone = 0; bone < biped.bones.size(); ++bone) {
    const BoneBox box = BoxFor(biped.bones[bone].name);
    if (box.half <= 0.0f) continue;
    const float* at = &world[bone * 16 + 12];
    body.Cube(at[0], at[1], at[2], box.half, box.half, box.half, box.part, int(bone));
    if (biped.bones[bone].name != "Head_bone") continue;
    // The hat: a brim and a crown on the head.
    body.Cube(at[0], at[1], at[2] + 19, 28, 28, 4, kBlack, int(bone));
    body.Cube(at[0], at[1], at[2] + 30, 15, 15, 9, kBlack, int(bone));
  }
  char shirt[32], name[32];
  std::snprintf(shirt, sizeof(shirt), "shirt%02d.dds", kind);
  std::snprintf(name, sizeof(name), "/pirate%02d.geo", kind);
  return SaveModel(folder + name, body, {"skin.dds", shirt, "trousers.dds", "black.dds"}, &biped);
}

// A tally line: dashes from the previous point of the path (or its start) to this one, with a
// larger mark at the chest.
bool WriteLine(const std::string& folder, int n) {
  const Point to = LinePoint(n);
  const Point from = n == 0 ? Point{-3150.0f, -2750.0f} : LinePoint(n - 1);
  MeshBuilder line(1, false);
  const int dashes = 4;
  for (int i = 1; i <= dashes; ++i) {
    const float t = float(i) / float(dashes);
    line.Cube(from.x + t * (to.x - from.x), from.y + t * (to.y - from.y), 8, 45, 45, 8, 0);
  }
  if (n == kLinePoints - 1) line.Cube(to.x, to.y, 10, 260, 200, 6, 0);
  char name[32];
  std::snprintf(name, sizeof(name), "/line%02d.geo", n);
  return SaveModel(folder + name, line, {"line.dds"});
}

// ---- Animations.

float Ease(float p) { return p * p * (3.0f - 2.0f * p); }

// A bone's rotation at a point of an animation: an axis and an angle.
struct Turn {
  float axis[3] = {1.0f, 0.0f, 0.0f};
  float angle = 0.0f;
};
using Motion = std::function<Turn(const std::string& bone, float p)>;

Turn About(float x, float y, float z, float angle) {
  Turn t;
  t.axis[0] = x, t.axis[1] = y, t.axis[2] = z;
  t.angle = angle;
  return t;
}

float Side(const std::string& bone) { return Has(bone, " L ") ? 1.0f : -1.0f; }

bool SaveMotion(const std::string& path, float length, float bob, const Motion& motion,
                float bounces = 1.0f) {
  const skelwriter::SkeletonDesc biped = PirateSkeleton();
  std::vector<std::string> names;
  for (const skelwriter::Bone& bone : biped.bones) names.push_back(bone.name);
  const anmwriter::AnimDesc anim = anmwriter::MakeSampled(
      uint32_t(names.size()), length, 12,
      [&](uint32_t bone, float t, float* q) {
        const Turn turn = motion(names[bone], t / length);
        anmwriter::AxisAngle(turn.axis[0], turn.axis[1], turn.axis[2], turn.angle, q);
      },
      [&](float t, float* p) {
        p[0] = kPirateOffsetX;
        p[1] = 0.0f;
        p[2] = kPirateRootZ + bob * std::fabs(std::sin(kPi * bounces * t / length));
      });
  return anmwriter::Save(path, anim);
}

Turn Stand(const std::string& bone, float p, float amount) {
  const float wave = std::sin(2.0f * kPi * p);
  if (Has(bone, "Spine1")) return About(0, 0, 1, 0.08f * amount * wave);
  if (Has(bone, "UpperArm")) return About(0, 1, 0, 0.1f * amount * wave * Side(bone));
  return {};
}

Turn Gesture(const std::string& bone, float p, float amount) {
  const float lift = std::sin(kPi * p);
  if (Has(bone, "R UpperArm")) return About(0, 1, 0, 1.7f * amount * lift);
  if (Has(bone, "R Forearm")) return About(1, 0, 0, 0.7f * std::sin(4.0f * kPi * p) * lift);
  if (bone == "Head_bone") return About(0, 0, 1, 0.3f * lift);
  return {};
}

Turn Celebrate(const std::string& bone, float p, float amount) {
  // sin(kPi) is a hair below 0 in floats: the root of that would be NaN on the last key.
  const float up = std::sqrt(std::max(0.0f, std::sin(kPi * p)));
  if (Has(bone, "UpperArm")) return About(0, 1, 0, -2.6f * amount * up * Side(bone));
  if (Has(bone, "Forearm")) return About(0, 1, 0, -0.5f * up * Side(bone));
  if (Has(bone, "Calf")) return About(1, 0, 0, 0.6f * up);
  return {};
}

Turn Defeat(const std::string& bone, float p, float amount) {
  const float slump = Ease(p < 0.5f ? p * 2.0f : 1.0f) * (p > 0.85f ? (1.0f - p) / 0.15f : 1.0f);
  if (Has(bone, "Spine1")) return About(1, 0, 0, -0.5f * amount * slump);
  if (bone == "Head_bone") return About(1, 0, 0, -0.6f * slump);
  if (Has(bone, "UpperArm")) return About(1, 0, 0, -0.3f * slump);
  return {};
}

Turn Leap(const std::string& bone, float p, float amount, float lean) {
  const float tuck = std::sin(kPi * p);
  if (Has(bone, "Thigh")) return About(1, 0, 0, -1.1f * amount * tuck);
  if (Has(bone, "Calf")) return About(1, 0, 0, 1.4f * tuck);
  if (Has(bone, "Spine1")) return About(0, 1, 0, 0.4f * lean * tuck);
  if (Has(bone, "UpperArm")) return About(0, 1, 0, -1.3f * tuck * Side(bone));
  return {};
}

bool WriteFamily(const std::string& folder, int family) {
  const float amount = 0.8f + 0.1f * float(family);
  char prefix[64];
  std::snprintf(prefix, sizeof(prefix), "%s/pirate%02d", folder.c_str(), family);
  const std::string base = prefix;
  bool ok = SaveMotion(
      base + "_celebrate.anm", 1.2f, 30.0f,
      [&](const std::string& b, float p) { return Celebrate(b, p, amount); }, 2.0f);
  ok = SaveMotion(base + "_defeat.anm", 1.2f, 0.0f,
                  [&](const std::string& b, float p) { return Defeat(b, p, amount); }) &&
       ok;
  ok = SaveMotion(base + "_gesture.anm", 1.0f, 0.0f,
                  [&](const std::string& b, float p) { return Gesture(b, p, amount); }) &&
       ok;
  ok = SaveMotion(base + "_leap_left.anm", 0.35f, 40.0f,
                  [&](const std::string& b, float p) { return Leap(b, p, amount, -1.0f); }) &&
       ok;
  ok = SaveMotion(base + "_leap_right.anm", 0.35f, 40.0f,
                  [&](const std::string& b, float p) { return Leap(b, p, amount, 1.0f); }) &&
       ok;
  if (family > 4) return ok;
  return SaveMotion(base + "_stand.anm", 0.5f + 0.1f * float(family), 0.0f,
                    [&](const std::string& b, float p) { return Stand(b, p, amount); }) &&
         ok;
}

// The lids swing up and out over their hinges; the chest's lid opens backwards. A row vector
// turned about +y by a positive angle goes from +x towards -z, so the left lid, whose free edge
// lies on its +x side, turns by a negative angle to lift it, and the right lid by a positive one.
bool WriteBoardAndChestAnimations(const std::string& folder) {
  const anmwriter::AnimDesc board = anmwriter::MakeSampled(
      3, 1.5f, 12,
      [](uint32_t bone, float t, float* q) {
        const float angle = 2.88f * Ease(t / 1.5f) * (bone == 1 ? -1.0f : 1.0f);
        anmwriter::AxisAngle(0, 1, 0, bone == 0 ? 0.0f : angle, q);
      },
      [](float, float* p) { p[0] = p[1] = p[2] = 0.0f; });
  const anmwriter::AnimDesc chest = anmwriter::MakeSampled(
      2, 1.2f, 12,
      [](uint32_t bone, float t, float* q) {
        anmwriter::AxisAngle(1, 0, 0, bone == 1 ? -1.9f * Ease(t / 1.2f) : 0.0f, q);
      },
      [](float, float* p) { p[0] = p[1] = p[2] = 0.0f; });
  return anmwriter::Save(folder + "/board_open.anm", board) &&
         anmwriter::Save(folder + "/chest_open.anm", chest);
}

// ---- Textures.

struct Picture {
  uint32_t width, height;
  std::vector<uint32_t> texels;
  Picture(uint32_t w, uint32_t h, uint32_t fill = 0) : width(w), height(h), texels(w * h, fill) {}
  void Paint(const std::function<uint32_t(int, int)>& texel) {
    for (uint32_t y = 0; y < height; ++y)
      for (uint32_t x = 0; x < width; ++x) texels[y * width + x] = texel(int(x), int(y));
  }
  bool Save(const std::string& path) const {
    return ddswriter::SaveDds(path, gfx::D3DFMT_A8R8G8B8, width, height, texels.data(), true);
  }
};

uint32_t Noise(int x, int y) {
  uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return h ^ (h >> 16);
}

uint32_t Shade(uint32_t rgb, int delta) {
  uint32_t out = 0xFF000000u;
  for (int shift = 0; shift <= 16; shift += 8) {
    int c = int((rgb >> shift) & 0xFF) + delta;
    c = c < 0 ? 0 : (c > 255 ? 255 : c);
    out |= uint32_t(c) << shift;
  }
  return out;
}

bool SaveSolid(const std::string& path, uint32_t argb) {
  Picture p(8, 8, argb);
  return p.Save(path);
}

bool SaveGrain(const std::string& path, uint32_t rgb, int grain, int planks) {
  Picture p(64, 64);
  p.Paint([&](int x, int y) {
    const int seam = planks > 0 && (y % (64 / planks)) == 0 ? -60 : 0;
    return Shade(rgb, int(Noise(x, y) % uint32_t(grain)) - grain / 2 + seam);
  });
  return p.Save(path);
}

// A round blob, opaque at its centre and clear at its edge.
bool SaveBlob(const std::string& path, uint32_t rgb, bool ring) {
  Picture p(32, 32);
  p.Paint([&](int x, int y) {
    const float dx = (float(x) + 0.5f - 16.0f) / 16.0f, dy = (float(y) + 0.5f - 16.0f) / 16.0f;
    const float d = std::sqrt(dx * dx + dy * dy);
    float alpha = d < 1.0f ? 1.0f - d * d : 0.0f;
    if (ring && d < 0.55f) alpha *= 0.6f;
    return (uint32_t(alpha * 255.0f) << 24) | (rgb & 0xFFFFFFu);
  });
  return p.Save(path);
}

// The hook: a silver arc open at the top right, on a short shaft from the top left.
bool SaveHook(const std::string& path) {
  Picture p(64, 64);
  p.Paint([](int x, int y) {
    const float fx = float(x) + 0.5f, fy = float(y) + 0.5f;
    const float d = std::hypot(fx - 34.0f, fy - 38.0f);
    const bool arc = d > 12.0f && d < 19.0f && !(fy < 38.0f && fx > 34.0f);
    const bool shaft = fx > 14.0f && fx < 21.0f && fy > 2.0f && fy < 40.0f;
    const bool point = fx > 46.0f && fx < 53.0f && fy > 26.0f && fy < 38.0f;
    if (arc || shaft || point) return Shade(0xD0D8E0u, int(Noise(x, y) % 30u) - 15);
    const float outline = std::hypot(fx - 34.0f, fy - 38.0f);
    if (outline > 10.0f && outline < 21.0f && !(fy < 36.0f && fx > 36.0f)) return 0xFF202020u;
    return 0x00000000u;
  });
  return p.Save(path);
}

// The icon: a white skull on red.
bool SaveIcon(const std::string& path) {
  Picture p(32, 32);
  p.Paint([](int x, int y) {
    const float fx = float(x) + 0.5f, fy = float(y) + 0.5f;
    const bool skull = std::hypot(fx - 16.0f, fy - 13.0f) < 9.0f ||
                       (fx > 11.0f && fx < 21.0f && fy > 13.0f && fy < 25.0f);
    const bool eye =
        std::hypot(fx - 12.5f, fy - 13.0f) < 2.5f || std::hypot(fx - 19.5f, fy - 13.0f) < 2.5f;
    if (skull && !eye) return 0xFFF0F0E0u;
    return std::hypot(fx - 16.0f, fy - 16.0f) < 15.5f ? 0xFFB02020u : 0x00000000u;
  });
  return p.Save(path);
}

constexpr uint32_t kShirtColours[kKinds] = {0xFFD03030u, 0xFF3050D0u, 0xFF30A040u, 0xFFE0C020u,
                                            0xFF9040C0u, 0xFFE07020u, 0xFF20B0B0u, 0xFFF0F0F0u,
                                            0xFFE070B0u, 0xFF705030u};

}  // namespace

bool WriteModels(const std::string& folder) {
  bool ok = WriteCoverAndShadow(folder) && WriteBoard(folder) && WriteChest(folder);
  for (int kind = 0; kind < kKinds; ++kind) ok = WritePirate(folder, kind) && ok;
  for (int n = 0; n < kLinePoints; ++n) ok = WriteLine(folder, n) && ok;
  return ok;
}

bool WriteAnimations(const std::string& folder) {
  bool ok = WriteBoardAndChestAnimations(folder);
  for (int family = 1; family <= 5; ++family) ok = WriteFamily(folder, family) && ok;
  return ok;
}

bool WriteTextures(const std::string& folder) {
  bool ok = SaveGrain(folder + "/sand.dds", 0xD8C080u, 24, 0);
  ok = SaveGrain(folder + "/sea.dds", 0x2060B0u, 30, 0) && ok;
  ok = SaveGrain(folder + "/rock.dds", 0x707070u, 40, 0) && ok;
  ok = SaveGrain(folder + "/wood.dds", 0x8A5A30u, 30, 8) && ok;
  ok = SaveGrain(folder + "/lid.dds", 0x6A4020u, 30, 4) && ok;
  ok = SaveGrain(folder + "/cover.dds", 0xB08850u, 26, 3) && ok;
  ok = SaveGrain(folder + "/chest.dds", 0x704020u, 24, 4) && ok;
  ok = SaveSolid(folder + "/shadow.dds", 0xFF2A1A10u) && ok;
  ok = SaveSolid(folder + "/gold.dds", 0xFFF0C030u) && ok;
  ok = SaveSolid(folder + "/line.dds", 0xFFC01818u) && ok;
  ok = SaveSolid(folder + "/skin.dds", 0xFFE8B890u) && ok;
  ok = SaveSolid(folder + "/trousers.dds", 0xFF303858u) && ok;
  ok = SaveSolid(folder + "/black.dds", 0xFF181818u) && ok;
  for (int kind = 0; kind < kKinds; ++kind) {
    char name[32];
    std::snprintf(name, sizeof(name), "/shirt%02d.dds", kind);
    ok = SaveSolid(folder + name, kShirtColours[kind]) && ok;
  }
  ok = SaveHook(folder + "/hook_pointer.dds") && ok;
  ok = SaveIcon(folder + "/mr_gorst_icon.dds") && ok;
  ok = SaveBlob(folder + "/dirt.dds", 0x785028u, false) && ok;
  ok = SaveBlob(folder + "/coin.dds", 0xFFD040u, true) && ok;
  ok = SaveBlob(folder + "/sparkle.dds", 0xFFFFFFu, false) && ok;
  return ok;
}

}  // namespace pirategen
