// The garden game's characters: Tessel and the man in the white coat as skinned boxes on the
// biped skeleton (scaled to the garden's units, a centimetre each), with short procedural
// animations for every action the game plays.
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/AnmWriter.h"
#include "tests/support/DdsWriter.h"
#include "tests/support/GeoWriter.h"
#include "tests/support/SkeletonWriter.h"

bool WriteTesselCharacters(const std::string& folder);

namespace {

constexpr float kScale = 100.0f;
constexpr float kTwoPi = 6.2831853f;

bool SaveSolid(const std::string& path, uint32_t argb) {
  std::vector<uint32_t> texels(8 * 8, argb);
  return ddswriter::SaveDds(path, gfx::D3DFMT_A8R8G8B8, 8, 8, texels.data(), false);
}

skelwriter::SkeletonDesc ScaledBiped() {
  skelwriter::SkeletonDesc biped = skelwriter::MakeBiped();
  for (skelwriter::Bone& bone : biped.bones)
    for (float& t : bone.translation) t *= kScale;
  return biped;
}

bool Contains(const std::string& name, const char* part) {
  return name.find(part) != std::string::npos;
}

// A cube round every bone, skinned wholly to it; the head and hands in their own textures.
bool WriteCharacter(const std::string& path, const std::vector<std::string>& textures) {
  const skelwriter::SkeletonDesc biped = ScaledBiped();
  const std::vector<float> world = skelwriter::BindWorldMatrices(biped);
  geowriter::Mesh body;
  std::vector<uint16_t> parts[3];
  for (size_t bone = 0; bone < biped.bones.size(); ++bone) {
    const std::string& name = biped.bones[bone].name;
    const float* at = &world[bone * 16 + 12];
    const int part = Contains(name, "Head")                                 ? 1
                     : (Contains(name, "Hand") || Contains(name, "Finger")) ? 2
                                                                            : 0;
    const float half = part == 1                                             ? 14.0f
                       : Contains(name, "Spine") || Contains(name, "Pelvis") ? 16.0f
                                                                             : 8.0f;
    const float lo[3] = {at[0] - half, at[1] - half, at[2] - half};
    const float hi[3] = {at[0] + half, at[1] + half, at[2] + half};
    const geowriter::Mesh cube = geowriter::BoxMesh(lo, hi, 0xFF808080u, uint32_t(part));
    const uint16_t first = uint16_t(body.vertices.size());
    body.vertices.insert(body.vertices.end(), cube.vertices.begin(), cube.vertices.end());
    for (uint16_t index : cube.indices) parts[part].push_back(uint16_t(first + index));
    const GeoSkinWeight weight = {{uint8_t(bone * 3), 0, 0, 0}, {1.0f, 0, 0, 0}};
    body.skinWeights.insert(body.skinWeights.end(), cube.vertices.size(), weight);
  }
  geowriter::Node node;
  for (uint32_t part = 0; part < 3; ++part) {
    const uint32_t firstIndex = uint32_t(body.indices.size());
    body.indices.insert(body.indices.end(), parts[part].begin(), parts[part].end());
    body.solidStrips.push_back({part, 0, firstIndex, uint32_t(parts[part].size())});
  }
  node.mesh = body;
  node.textures = textures;
  geowriter::GeoDesc character;
  character.nodes.push_back(node);
  character.SetSkeleton(biped);
  return geowriter::SaveGeo(path, character);
}

// ---- Motions. A motion gives each bone an axis and an angle at a point u (0..1) of the
// animation; bones it leaves alone keep the bind pose.
struct Turn {
  float axis[3] = {1.0f, 0.0f, 0.0f};
  float angle = 0.0f;
};
using Motion = std::function<Turn(const std::string& bone, float u)>;

Turn AboutX(float angle) { return Turn{{1.0f, 0.0f, 0.0f}, angle}; }
Turn AboutZ(float angle) { return Turn{{0.0f, 0.0f, 1.0f}, angle}; }

float Wave(float u, float cycles, float phase = 0.0f) {
  return std::sin(kTwoPi * (u * cycles + phase));
}
// 0 -> 1 -> 0 over the animation.
float Arc(float u) { return std::sin(3.1415927f * u); }

// Legs and arms swinging: `cycles` strides over the animation, `reach` radians.
Turn Gait(const std::string& b, float u, float cycles, float reach) {
  const float side = Contains(b, " L ") ? 0.0f : 0.5f;
  if (Contains(b, "Thigh")) return AboutX(reach * Wave(u, cycles, side));
  if (Contains(b, "Calf"))
    return AboutX(-0.6f * reach * 0.5f * (Wave(u, cycles, side + 0.25f) + 1.0f));
  if (Contains(b, "UpperArm")) return AboutX(-0.8f * reach * Wave(u, cycles, side));
  if (Contains(b, "Spine") && !Contains(b, "Spine1"))
    return AboutZ(0.15f * reach * Wave(u, cycles));
  return Turn{};
}

// The right arm held up in front, as when carrying.
Turn Carry(const std::string& b, float lift) {
  if (Contains(b, "R UpperArm")) return AboutX(-lift);
  if (Contains(b, "R Forearm")) return AboutX(-0.4f * lift);
  return Turn{};
}

Turn Merge(const Turn& first, const Turn& second) { return first.angle != 0.0f ? first : second; }

bool SaveMotion(const std::string& path, const skelwriter::SkeletonDesc& biped, float seconds,
                const Motion& motion) {
  const float height = biped.bones[0].translation[2];
  auto rotationAt = [&](uint32_t bone, float t, float* q) {
    const Turn turn = motion(biped.bones[bone].name, seconds > 0.0f ? t / seconds : 0.0f);
    anmwriter::AxisAngle(turn.axis[0], turn.axis[1], turn.axis[2], turn.angle, q);
  };
  auto rootAt = [&](float, float* p) {
    p[0] = 0.0f;
    p[1] = 0.0f;
    p[2] = height;
  };
  const uint32_t segments = uint32_t(std::ceil(seconds * 12.0f));
  const anmwriter::AnimDesc desc =
      anmwriter::MakeSampled(uint32_t(biped.bones.size()), seconds, segments, rotationAt, rootAt);
  return anmwriter::Save(path, desc);
}

struct AnimSpec {
  const char* name;
  float seconds;
  Motion motion;
};

std::vector<AnimSpec> TesselAnimations() {
  const float carryLift = 1.3f;
  return {
      {"tessel_stand01.anm", 2.0f,
       [](const std::string& b, float u) {
         return Contains(b, "Spine1") ? AboutZ(0.05f * Wave(u, 1)) : Turn{};
       }},
      {"tessel_walk.anm", 1.0f, [](const std::string& b, float u) { return Gait(b, u, 1, 0.5f); }},
      {"tessel_run.anm", 0.6f, [](const std::string& b, float u) { return Gait(b, u, 1, 0.8f); }},
      {"tessel_stamp.anm", 0.8f,
       [](const std::string& b, float u) {
         const float lift = u < 0.4f ? std::sin(3.1415927f * u / 0.8f)
                                     : std::cos(3.1415927f * (u - 0.4f) / 1.2f) * (1.0f - u) * 1.6f;
         if (Contains(b, "L Thigh")) return AboutX(-1.0f * lift);
         if (Contains(b, "L Calf")) return AboutX(1.0f * lift);
         return Turn{};
       }},
      {"tessel_flash_start.anm", 0.6f,
       [](const std::string& b, float u) {
         if (Contains(b, "UpperArm")) return AboutX(-2.6f * u);
         return Turn{};
       }},
      {"tessel_flash_end.anm", 0.4f,
       [](const std::string& b, float u) {
         if (Contains(b, "UpperArm")) return AboutX(-2.6f * (1.0f - u));
         return Turn{};
       }},
      {"tessel_pull_up_plant.anm", 1.0f,
       [](const std::string& b, float u) {
         if (Contains(b, "Spine") && !Contains(b, "Spine1")) return AboutX(-1.0f * Arc(u));
         if (Contains(b, "R UpperArm")) return AboutX(-0.6f * Arc(u) - 1.3f * u * u);
         return Turn{};
       }},
      {"tessel_throw_plant.anm", 0.8f,
       [](const std::string& b, float u) {
         if (Contains(b, "R UpperArm"))
           return AboutX(u < 0.33f ? -1.3f + 1.0f * u : -3.0f * Arc(u));
         return Turn{};
       }},
      {"tessel_bash_plant.anm", 0.8f,
       [](const std::string& b, float u) {
         if (Contains(b, "R UpperArm")) return AboutX(-2.8f * Arc(u) * (1.0f - u) - 1.3f * u);
         if (Contains(b, "Spine") && !Contains(b, "Spine1")) return AboutX(-0.6f * Arc(u));
         return Turn{};
       }},
      {"tessel_stand_plant.anm", 2.0f,
       [=](const std::string& b, float) { return Carry(b, carryLift); }},
      {"tessel_walk_plant.anm", 1.0f,
       [=](const std::string& b, float u) {
         return Merge(Carry(b, carryLift), Gait(b, u, 1, 0.5f));
       }},
      {"tessel_run_plant.anm", 0.6f,
       [=](const std::string& b, float u) {
         return Merge(Carry(b, carryLift), Gait(b, u, 1, 0.8f));
       }},
      {"tessel_pull_up_tree.anm", 1.2f,
       [](const std::string& b, float u) {
         if (Contains(b, "Spine") && !Contains(b, "Spine1")) return AboutX(-0.9f * Arc(u));
         if (Contains(b, "UpperArm")) return AboutX(-0.5f * Arc(u) - 1.6f * u * u);
         return Turn{};
       }},
      {"tessel_throw_tree.anm", 1.0f,
       [](const std::string& b, float u) {
         if (Contains(b, "UpperArm")) return AboutX(u < 0.38f ? -1.6f - 1.2f * u : -3.0f * Arc(u));
         return Turn{};
       }},
      {"tessel_stand_tree.anm", 2.0f,
       [](const std::string& b, float) {
         return Contains(b, "UpperArm") ? AboutX(-1.6f) : Turn{};
       }},
      {"tessel_walk_tree.anm", 1.2f,
       [](const std::string& b, float u) {
         return Contains(b, "UpperArm") ? AboutX(-1.6f) : Gait(b, u, 1, 0.4f);
       }},
      {"tessel_bash_tree.anm", 0.9f,
       [](const std::string& b, float u) {
         if (Contains(b, "UpperArm")) return AboutX(-1.6f - 1.2f * Arc(u) + 1.4f * Arc(u) * u);
         if (Contains(b, "Spine") && !Contains(b, "Spine1")) return AboutX(-0.7f * Arc(u));
         return Turn{};
       }},
      {"tessel_phone_start.anm", 1.0f,
       [](const std::string& b, float u) {
         if (Contains(b, "L UpperArm")) return AboutX(-2.2f * u);
         if (Contains(b, "L Forearm")) return AboutX(-1.2f * u);
         return Turn{};
       }},
      {"tessel_phone_loop.anm", 1.0f,
       [](const std::string& b, float u) {
         if (Contains(b, "L UpperArm")) return AboutX(-2.2f);
         if (Contains(b, "L Forearm")) return AboutX(-1.2f);
         if (Contains(b, "Head")) return AboutZ(0.1f * Wave(u, 1));
         return Turn{};
       }},
  };
}

std::vector<AnimSpec> EnemyAnimations() {
  return {
      {"miwc_stand.anm", 2.0f,
       [](const std::string& b, float u) {
         return Contains(b, "Head") ? AboutZ(0.2f * Wave(u, 1)) : Turn{};
       }},
      {"miwc_walk.anm", 1.1f, [](const std::string& b, float u) { return Gait(b, u, 1, 0.45f); }},
      {"miwc_run.anm", 0.7f, [](const std::string& b, float u) { return Gait(b, u, 1, 0.8f); }},
      {"miwc_stunned.anm", 1.0f,
       [](const std::string& b, float u) {
         if (Contains(b, "Spine1")) return AboutZ(0.4f * Wave(u, 1));
         if (Contains(b, "Head")) return AboutX(0.3f * Wave(u, 2));
         return Turn{};
       }},
  };
}

}  // namespace

bool WriteTesselCharacters(const std::string& folder) {
  bool ok = SaveSolid(folder + "/tessel_dress.dds", 0xFFD05090u);
  ok = SaveSolid(folder + "/tessel_face.dds", 0xFFF0C8A0u) && ok;
  ok = SaveSolid(folder + "/miwc_coat.dds", 0xFFF4F4F4u) && ok;
  ok = SaveSolid(folder + "/miwc_face.dds", 0xFFD8B090u) && ok;
  ok = WriteCharacter(folder + "/tessel.geo",
                      {"tessel_dress.dds", "tessel_face.dds", "tessel_face.dds"}) &&
       ok;
  ok = WriteCharacter(folder + "/man_in_white_coat01.geo",
                      {"miwc_coat.dds", "miwc_face.dds", "miwc_face.dds"}) &&
       ok;
  const skelwriter::SkeletonDesc biped = ScaledBiped();
  for (const AnimSpec& anim : TesselAnimations())
    ok = SaveMotion(folder + "/" + anim.name, biped, anim.seconds, anim.motion) && ok;
  for (const AnimSpec& anim : EnemyAnimations())
    ok = SaveMotion(folder + "/" + anim.name, biped, anim.seconds, anim.motion) && ok;
  return ok;
}
