// The diving game's characters for the demo data: Jory, Cobb and the lifeguard as skinned box
// figures on the biped skeleton (scaled to the pool's units, about 190 tall), and their short
// procedural animations, with root travel where the game moves Jory by it (getting out of the
// chair, the step climb, the ladder).
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/AnmWriter.h"
#include "tests/support/DdsWriter.h"
#include "tests/support/GeoWriter.h"
#include "tests/support/ScnWriter.h"
#include "tests/support/SkeletonWriter.h"

namespace divingdata {

// Shared with DataGenDiving.cpp, which writes the rest of the game's folder.
bool SaveSolidTexture(const std::string& path, uint32_t argb);
bool WriteCharacters(const std::string& folder);

namespace {

constexpr float kScale = 100.0f;
constexpr float kTwoPi = 6.2831853f;
constexpr float kQuarter = 1.5707963f;
// Rotating a leg bone by this about x swings it forward (the figures face -y).
constexpr float kForward = -1.0f;
constexpr float kStandHeight = 100.0f;
constexpr float kSeatHeight = 55.0f;
constexpr float kGroundSitHeight = 30.0f;

enum Part : uint32_t { kBody, kSkin, kFoot, kHead, kPartCount };

Part PartOf(const std::string& bone) {
  if (bone.find("Hand") != std::string::npos || bone.find("Finger") != std::string::npos)
    return kSkin;
  if (bone.find("Foot") != std::string::npos || bone.find("Toe") != std::string::npos) return kFoot;
  if (bone == "Head_bone") return kHead;
  return kBody;
}

skelwriter::SkeletonDesc ScaledBiped() {
  skelwriter::SkeletonDesc biped = skelwriter::MakeBiped();
  for (skelwriter::Bone& bone : biped.bones)
    for (float& t : bone.translation) t *= kScale;
  return biped;
}

// A box between two points, widened by `r`, skinned wholly to `bone`.
void AddLimb(geowriter::Mesh* body, std::vector<uint16_t>* parts, const float* a, const float* b,
             float r, uint32_t bone, Part part) {
  float lo[3], hi[3];
  for (int i = 0; i < 3; ++i) {
    lo[i] = std::fmin(a[i], b[i]) - r;
    hi[i] = std::fmax(a[i], b[i]) + r;
  }
  const geowriter::Mesh box = geowriter::BoxMesh(lo, hi, 0xFF808080u, part);
  const uint16_t first = static_cast<uint16_t>(body->vertices.size());
  body->vertices.insert(body->vertices.end(), box.vertices.begin(), box.vertices.end());
  for (uint16_t index : box.indices) parts[part].push_back(static_cast<uint16_t>(first + index));
  const GeoSkinWeight weight = {{static_cast<uint8_t>(bone * 3), 0, 0, 0}, {1.0f, 0, 0, 0}};
  body->skinWeights.insert(body->skinWeights.end(), box.vertices.size(), weight);
}

float LimbRadius(const std::string& name) {
  if (name == "Head_bone") return 16.0f;
  if (name.find("Spine") != std::string::npos || name.find("Pelvis") != std::string::npos)
    return 14.0f;
  return 7.0f;
}

bool SaveCharacter(const std::string& folder, const std::string& stem, uint32_t bodyColour) {
  const skelwriter::SkeletonDesc biped = ScaledBiped();
  const std::vector<float> world = skelwriter::BindWorldMatrices(biped);
  geowriter::Mesh body;
  std::vector<uint16_t> parts[kPartCount];
  for (size_t bone = 0; bone < biped.bones.size(); ++bone) {
    const skelwriter::Bone& b = biped.bones[bone];
    const float* at = &world[bone * 16 + 12];
    const Part part = PartOf(b.name);
    // Each bone gets a block where it is, and a limb from its parent drawn with the parent.
    AddLimb(&body, parts, at, at, LimbRadius(b.name), uint32_t(bone), part);
    if (b.parent > 0) {
      const float* from = &world[size_t(b.parent) * 16 + 12];
      const Part parentPart = PartOf(biped.bones[size_t(b.parent)].name);
      AddLimb(&body, parts, from, at, 6.0f, uint32_t(b.parent), parentPart);
    }
  }
  const uint32_t colours[kPartCount] = {bodyColour, 0xFFE0B090u, 0xFF303030u, 0xFFE0B090u};
  const char* names[kPartCount] = {"_body.dds", "_skin.dds", "_foot.dds", "_head.dds"};
  geowriter::Node node;
  bool ok = true;
  for (uint32_t part = 0; part < kPartCount; ++part) {
    const uint32_t firstIndex = static_cast<uint32_t>(body.indices.size());
    body.indices.insert(body.indices.end(), parts[part].begin(), parts[part].end());
    body.solidStrips.push_back({part, 0, firstIndex, static_cast<uint32_t>(parts[part].size())});
    node.textures.push_back(stem + names[part]);
    ok = SaveSolidTexture(folder + stem + names[part], colours[part]) && ok;
  }
  node.mesh = body;
  geowriter::GeoDesc character;
  character.nodes.push_back(node);
  character.SetSkeleton(biped);
  return geowriter::SaveGeo(folder + stem + ".geo", character) && ok;
}

// ---- Motions: each bone swings about one axis by an amount that the motion gives by time.

struct Motion {
  float length = 1.0f;
  // Angle of the bone (by name) at time fraction u (0..1).
  std::function<float(const std::string&, float)> angle;
  // Axis per bone name (default: x, the swing forwards and back).
  std::function<int(const std::string&)> axis = [](const std::string&) { return 0; };
  // Root position at time fraction u.
  std::function<void(float, float*)> root = [](float, float* p) {
    p[0] = p[1] = 0.0f;
    p[2] = kStandHeight;
  };
};

bool Has(const std::string& name, const char* part) { return name.find(part) != std::string::npos; }
bool Left(const std::string& name) { return Has(name, " L "); }
float Wave(float u, float turns, float phase) { return std::sin(kTwoPi * (u * turns + phase)); }

bool SaveMotion(const std::string& path, const Motion& m) {
  const skelwriter::SkeletonDesc biped = ScaledBiped();
  auto rotationAt = [&](uint32_t bone, float t, float* q) {
    const std::string& name = biped.bones[bone].name;
    const float u = t / m.length;
    const float a = m.angle(name, u);
    const int axis = m.axis(name);
    anmwriter::AxisAngle(axis == 0 ? 1.0f : 0.0f, axis == 1 ? 1.0f : 0.0f, axis == 2 ? 1.0f : 0.0f,
                         a, q);
  };
  auto rootAt = [&](float t, float* p) { m.root(t / m.length, p); };
  const anmwriter::AnimDesc desc =
      anmwriter::MakeSampled(uint32_t(biped.bones.size()), m.length, 16, rotationAt, rootAt);
  return anmwriter::Save(path, desc);
}

// Legs and arms swinging in step; `size` 0 stands still.
Motion Gait(float length, float legs, float arms, float bend) {
  Motion m;
  m.length = length;
  m.angle = [=](const std::string& n, float u) {
    const float side = Left(n) ? 0.0f : 0.5f;
    if (Has(n, "Thigh")) return legs * Wave(u, 1, side);
    if (Has(n, "Calf")) return -bend * 0.5f * (Wave(u, 1, side + 0.25f) + 1.0f);
    if (Has(n, "UpperArm")) return -arms * Wave(u, 1, side);
    if (Has(n, "Forearm")) return bend * 0.5f * (Wave(u, 1, side) + 1.0f);
    if (n == "Bip01 Spine") return 0.03f * Wave(u, 1, 0.0f);
    return 0.0f;
  };
  m.root = [=](float u, float* p) {
    p[0] = p[1] = 0.0f;
    p[2] = kStandHeight + 3.0f * std::fabs(Wave(u, 1, 0.0f)) * (legs > 0.0f ? 1.0f : 0.0f);
  };
  return m;
}

// Sitting: thighs forward, calves down again, from `from` to `to` of the way (0 stood, 1 sat).
Motion Sit(float length, float from, float to, float fromHeight, float toHeight, float travelY) {
  Motion m;
  m.length = length;
  m.angle = [=](const std::string& n, float u) {
    const float s = from + (to - from) * u;
    if (Has(n, "Thigh")) return kForward * kQuarter * s;
    if (Has(n, "Calf")) return -kForward * kQuarter * s;
    if (Has(n, "UpperArm")) return kForward * 0.3f * s;
    return 0.0f;
  };
  m.root = [=](float u, float* p) {
    p[0] = 0.0f;
    p[1] = travelY * u;
    p[2] = fromHeight + (toHeight - fromHeight) * u;
  };
  return m;
}

// A climb: arms reach up in turn, legs step, the root rises `rise` (and goes `forward`).
Motion Climb(float length, float rise, float forward) {
  Motion m;
  m.length = length;
  m.angle = [](const std::string& n, float u) {
    const float side = Left(n) ? 0.0f : 0.5f;
    if (Has(n, "UpperArm")) return kForward * (2.2f + 0.6f * Wave(u, 1, side));
    if (Has(n, "Thigh")) return kForward * (0.6f + 0.6f * Wave(u, 1, side));
    if (Has(n, "Calf")) return -kForward * (0.6f + 0.6f * Wave(u, 1, side));
    return 0.0f;
  };
  m.root = [=](float u, float* p) {
    p[0] = 0.0f;
    p[1] = -forward * u;
    p[2] = kStandHeight + rise * u;
  };
  return m;
}

// A held shape with a gentle sway: `shape` gives each bone's angle.
Motion Pose(float length, std::function<float(const std::string&)> shape,
            float height = kStandHeight, float sway = 0.05f) {
  Motion m;
  m.length = length;
  m.angle = [=](const std::string& n, float u) {
    return shape(n) + (n == "Bip01 Spine" ? sway * Wave(u, 1, 0.0f) : 0.0f);
  };
  m.root = [=](float, float* p) {
    p[0] = p[1] = 0.0f;
    p[2] = height;
  };
  return m;
}

// Cobb turning: the whole figure looks round by turning at the spine.
Motion Turn(float length, float amount, float lean) {
  Motion m = Pose(length, [](const std::string&) { return 0.0f; });
  m.axis = [](const std::string& n) { return n == "Bip01 Spine" ? 2 : 0; };
  m.angle = [=](const std::string& n, float u) {
    if (n == "Bip01 Spine") return amount * u;
    if (n == "Bip01 Neck") return lean * u;
    return 0.0f;
  };
  return m;
}

float ArmsUp(const std::string& n) { return Has(n, "UpperArm") ? kForward * 3.0f : 0.0f; }
float Crouch(const std::string& n) {
  if (Has(n, "Thigh")) return kForward * 1.0f;
  if (Has(n, "Calf")) return -kForward * 1.2f;
  if (Has(n, "UpperArm")) return -kForward * 0.8f;
  return 0.0f;
}
float Tuck(const std::string& n) {
  if (Has(n, "Thigh")) return kForward * 2.2f;
  if (Has(n, "Calf")) return -kForward * 2.2f;
  if (Has(n, "UpperArm")) return kForward * 1.2f;
  return 0.0f;
}
float Pike(const std::string& n) {
  if (Has(n, "Thigh")) return kForward * 1.6f;
  if (Has(n, "UpperArm")) return kForward * 1.6f;
  return 0.0f;
}
float Aeroplane(const std::string& n) {
  if (Has(n, "UpperArm")) return Left(n) ? 1.5f : -1.5f;
  return 0.0f;
}

bool SaveJoryAnimations(const std::string& f) {
  // Sitting in the chair, and getting out of it: 60 forward onto his feet.
  bool ok = SaveMotion(f + "jory_sit.anm", Sit(1.0f, 1.0f, 1.0f, kSeatHeight, kSeatHeight, 0.0f));
  ok = SaveMotion(f + "jory_out_of_wheelchair.anm",
                  Sit(1.2f, 1.0f, 0.0f, kSeatHeight, kStandHeight, -60.0f)) &&
       ok;
  ok = SaveMotion(f + "jory_into_wheelchair.anm",
                  Sit(1.0f, 0.0f, 1.0f, kStandHeight, kSeatHeight, 0.0f)) &&
       ok;
  ok = SaveMotion(f + "jory_sit_on_ground.anm",
                  Sit(1.0f, 0.0f, 1.0f, kStandHeight, kGroundSitHeight, 0.0f)) &&
       ok;
  ok = SaveMotion(f + "jory_sitting_on_ground_loop.anm",
                  Sit(1.0f, 1.0f, 1.0f, kGroundSitHeight, kGroundSitHeight, 0.0f)) &&
       ok;
  ok = SaveMotion(f + "jory_stand.anm", Gait(1.0f, 0.0f, 0.05f, 0.0f)) && ok;
  ok = SaveMotion(f + "jory_walk.anm", Gait(1.0f, 0.5f, 0.4f, 0.6f)) && ok;
  ok = SaveMotion(f + "jory_run.anm", Gait(1.0f, 0.9f, 0.8f, 1.2f)) && ok;
  ok = SaveMotion(f + "jory_swim.anm", Pose(1.0f, ArmsUp, 40.0f, 0.3f)) && ok;
  ok = SaveMotion(f + "jory_tread_water.anm", Gait(1.0f, 0.3f, 0.5f, 0.3f)) && ok;
  // One step up the steps is 100 high; a ladder pull 200.
  ok = SaveMotion(f + "jory_climb_loop.anm", Climb(0.8f, 100.0f, 0.0f)) && ok;
  ok = SaveMotion(f + "jory_climb_step_loop.anm", Climb(1.2f, 200.0f, 0.0f)) && ok;
  ok = SaveMotion(f + "jory_out_of_pool.anm", Climb(1.0f, 0.0f, 0.0f)) && ok;
  ok = SaveMotion(f + "jory_hanging.anm", Pose(1.0f, ArmsUp, kStandHeight, 0.2f)) && ok;
  ok = SaveMotion(f + "jory_walk_to_crouch.anm", Pose(0.5f, Crouch, 80.0f, 0.0f)) && ok;
  ok = SaveMotion(f + "jory_crouch_to_jump.anm", Pose(0.4f, ArmsUp, kStandHeight, 0.0f)) && ok;
  ok = SaveMotion(f + "jory_dive.anm", Pose(1.0f, ArmsUp, kStandHeight, 0.1f)) && ok;
  ok = SaveMotion(f + "jory_dive_aeroplane.anm", Pose(1.0f, Aeroplane)) && ok;
  ok = SaveMotion(f + "jory_dive_corkscrew.anm", Pose(1.0f, ArmsUp, kStandHeight, 0.5f)) && ok;
  ok = SaveMotion(f + "jory_dive_torpedo.anm",
                  Pose(1.0f, [](const std::string&) { return 0.0f; })) &&
       ok;
  ok = SaveMotion(f + "jory_dive_pike.anm", Pose(1.0f, Pike)) && ok;
  ok = SaveMotion(f + "jory_dive_tuck.anm", Pose(1.0f, Tuck, 70.0f)) && ok;
  return ok;
}

bool SaveOtherAnimations(const std::string& f) {
  bool ok = SaveMotion(f + "cobb_stand.anm", Gait(2.0f, 0.0f, 0.05f, 0.0f));
  ok = SaveMotion(f + "cobb_walk.anm", Gait(1.0f, 0.5f, 0.4f, 0.6f)) && ok;
  ok = SaveMotion(f + "cobb_stand_talk.anm", Gait(1.0f, 0.0f, 0.3f, 0.4f)) && ok;
  ok = SaveMotion(f + "cobb_turn_low.anm", Turn(0.8f, 0.6f, 0.3f)) && ok;
  ok = SaveMotion(f + "cobb_turn_ground.anm", Turn(0.8f, -0.6f, 0.4f)) && ok;
  ok = SaveMotion(f + "cobb_turn_high.anm", Turn(0.8f, 0.6f, -0.4f)) && ok;
  ok = SaveMotion(f + "lifeguard_stand.anm", Gait(2.0f, 0.0f, 0.05f, 0.0f)) && ok;
  ok = SaveMotion(f + "lifeguard_stand_listen.anm", Turn(1.0f, 0.2f, 0.2f)) && ok;
  ok = SaveMotion(f + "lifeguard_walk.anm", Gait(1.0f, 0.5f, 0.4f, 0.6f)) && ok;
  return ok;
}

}  // namespace

bool WriteCharacters(const std::string& folder) {
  bool ok = SaveCharacter(folder, "jory", 0xFFE07020u);
  ok = SaveCharacter(folder, "cobb", 0xFF30A040u) && ok;
  ok = SaveCharacter(folder, "lifeguard", 0xFFD02020u) && ok;
  ok = SaveJoryAnimations(folder) && ok;
  return SaveOtherAnimations(folder) && ok;
}

}  // namespace divingdata
