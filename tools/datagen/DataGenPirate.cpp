// The pirate game's demo folder "data/PirateGame/": the island scene with its board of 30 holes
// (6 columns by 5 rows) and the tally path to the chest, the skinned board, chest and ten pirates
// with their animations, the tally lines, the hole cover and shadow, the hook pointer and icon,
// and the three particle templates. The sound banks and the music come from DataGenSound.
//
// Units are centimetres, z up; the camera looks from -y. The pirate models stand off their own
// origin (centred at x 130, from z -160 up to z -5): the game draws the close-up of a picked
// pirate at the overlay's origin, so the offset puts that close-up into the bottom-right corner
// of the screen. The board's "pirate" and "target" locators make up for it, so that on the board
// a pirate stands where its hole is.

#include <cmath>
#include <cstdio>
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

// The models, animations and textures, and the shape they share with the scene
// (DataGenPirateModels.cpp).
namespace pirategen {
struct Point {
  float x, y;
};
extern const float kBoardTop;       // the holes' height
extern const float kPirateOffsetX;  // the pirate models' centre off their origin
extern const float kPirateFeetZ;    // their feet below it
extern const int kLinePoints;
// The tally path: "line_posNN", the end of tally line NN; the chest stands at the last.
Point LinePoint(int n);
bool WriteModels(const std::string& folder);
bool WriteAnimations(const std::string& folder);
bool WriteTextures(const std::string& folder);
}  // namespace pirategen

namespace {

using pirategen::kBoardTop;

constexpr int kColumns = 6;
constexpr int kRows = 5;
constexpr float kFirstHoleX = -2500.0f;
constexpr float kFirstHoleY = -1700.0f;
constexpr float kColumnStep = 1000.0f;
constexpr float kRowStep = 900.0f;
// Where a pirate lands beside its hole, and its feet's place in the model.
constexpr float kLandSide = 350.0f;
constexpr float kLandBehind = 250.0f;

float HoleX(int hole) { return kFirstHoleX + kColumnStep * float(hole % kColumns); }
float HoleY(int hole) { return kFirstHoleY + kRowStep * float(hole / kColumns); }

std::string Numbered(const char* prefix, int n) {
  char name[32];
  std::snprintf(name, sizeof(name), "%s%02d", prefix, n);
  return name;
}

scnwriter::ObjectDesc SceneBox(const float lo[3], const float hi[3], const char* texture) {
  scnwriter::ObjectDesc object;
  object.textures = {texture};
  object.mesh = scnwriter::Box(lo, hi, 0xFF808080u, 0);
  return object;
}

// The locators of one hole: the pirate in its hole (at scale 1 its feet 130 below the board), its
// landing place (at scale 2 its feet on the board, beside the hole), the cover and its shadow.
void AddHoleNodes(scnwriter::SceneDesc& scene, int hole) {
  const float x = HoleX(hole), y = HoleY(hole);
  const float side = (hole % kColumns) % 2 == 0 ? kLandSide : -kLandSide;
  const float ox = pirategen::kPirateOffsetX, feet = pirategen::kPirateFeetZ;
  scene.nodes.push_back({Numbered("pirate", hole),
                         scnwriter::Translation(x - ox, y, kBoardTop - 130.0f - feet), " ", " "});
  scene.nodes.push_back(
      {Numbered("target", hole),
       scnwriter::Translation(x + side - 2.0f * ox, y + kLandBehind, kBoardTop - 2.0f * feet), " ",
       " "});
  scene.nodes.push_back(
      {Numbered("object", hole), scnwriter::Translation(x, y, kBoardTop), "cover", " "});
  scene.nodes.push_back(
      {Numbered("shadow", hole), scnwriter::Translation(x, y, kBoardTop), "shadow", " "});
}

bool WriteScene(const std::string& folder) {
  scnwriter::SceneDesc scene;
  const float seaLo[3] = {-30000, -30000, -400}, seaHi[3] = {30000, 30000, -300};
  const float sandLo[3] = {-4300, -3600, -300}, sandHi[3] = {4300, 3300, 0};
  const float rockLo[3] = {-4000, 2700, 0}, rockHi[3] = {-3200, 3200, 500};
  scene.objects = {SceneBox(seaLo, seaHi, "sea.dds"), SceneBox(sandLo, sandHi, "sand.dds"),
                   SceneBox(rockLo, rockHi, "rock.dds")};
  scene.matrices = {scnwriter::Identity(), scnwriter::Translation(7400, 200, 0)};
  scene.placements = {{0, 0}, {1, 0}, {2, 0}, {2, 1}};
  scene.nodes.push_back({"board", scnwriter::Identity(), " ", " "});
  for (int hole = 0; hole < kColumns * kRows; ++hole) AddHoleNodes(scene, hole);
  for (int n = 0; n < pirategen::kLinePoints; ++n) {
    const pirategen::Point p = pirategen::LinePoint(n);
    scene.nodes.push_back({Numbered("line_pos", n), scnwriter::Translation(p.x, p.y, 0), " ", " "});
  }
  bool ok = scnwriter::SaveScn(folder + "/skull_island.scn", scene);
  lgtwriter::LightDesc lights;
  lights.count = 2;
  lights.ambient[0] = lights.ambient[1] = lights.ambient[2] = 0.45f;
  lights.lights[0] = {{0.3f, 0.5f, -0.8f}, {0.8f, 0.75f, 0.6f}};
  lights.lights[1] = {{-0.4f, -0.3f, -0.4f}, {0.2f, 0.2f, 0.3f}};
  return lgtwriter::SaveLgt(folder + "/skull_island.lgt", lights) && ok;
}

// ---- Particle templates: the chest bursting out of the sand, its coins and a glitter.

void Copy4(float* to, float a, float b, float c, float d) {
  to[0] = a, to[1] = b, to[2] = c, to[3] = d;
}

// Particles leave along the emitter's y axis turned by pitch and yaw; a pitch of a quarter turn
// and a yaw about a quarter turn send them up the world's z.
ps2writer::Template Fountain(float speed, float fall, float life, float size) {
  ps2writer::Template t;
  t.maxLife = life;
  t.lifeVariation = life * 0.3f;
  Copy4(t.velocity, speed * 0.5f, speed * 0.5f, speed * 0.5f, 0);
  Copy4(t.velocityVariation, speed * 0.3f, speed * 0.3f, speed * 0.3f, 0);
  Copy4(t.gravity, 0, 0, -fall, 0);
  Copy4(t.scale, size, size, size, size);
  t.pitch = 1.5707964f;
  t.pitchVariation = 0.5f;
  t.yaw = 1.5707964f;
  t.yawVariation = 0.9f;
  Copy4(t.boundsMin, -3000, -3000, -500, 1);
  Copy4(t.boundsMax, 3000, 3000, 3000, 1);
  return t;
}

bool WriteParticles(const std::string& folder) {
  ps2writer::Template dirt = Fountain(26.0f, 1.2f, 45.0f, 60.0f);
  dirt.maxParticles = 160;
  dirt.emitPerFrame = 10.0f;
  dirt.emitterLife = 15.0f;
  Copy4(dirt.colour, 120, 80, 40, 255);
  Copy4(dirt.colourStep, 0, 0, 0, -4);
  Copy4(dirt.positionVariation, 150, 100, 0, 0);
  dirt.flags = ps2writer::kAlpha;
  dirt.texture = "dirt.dds";
  ps2writer::Template coins = Fountain(22.0f, 0.8f, 70.0f, 40.0f);
  coins.maxParticles = 200;
  coins.emitPerFrame = 4.0f;
  coins.emitterLife = 40.0f;
  Copy4(coins.colour, 255, 210, 60, 255);
  Copy4(coins.angleStep, 0, 0, 0.2f, 0);
  coins.flags = ps2writer::kAlpha;
  coins.texture = "coin.dds";
  ps2writer::Template sparkles = Fountain(3.0f, 0.0f, 50.0f, 30.0f);
  sparkles.maxParticles = 120;
  sparkles.emitPerFrame = 2.0f;
  sparkles.emitterLife = 150.0f;
  Copy4(sparkles.colour, 255, 255, 220, 255);
  Copy4(sparkles.colourStep, 0, 0, 0, -5);
  Copy4(sparkles.positionVariation, 220, 160, 120, 0);
  sparkles.flags = ps2writer::kAdditive;
  sparkles.texture = "sparkle.dds";
  return ps2writer::SavePs2(folder + "/dirt_shower02.ps2", dirt) &&
         ps2writer::SavePs2(folder + "/coin_shower02.ps2", coins) &&
         ps2writer::SavePs2(folder + "/sparkles01.ps2", sparkles);
}

}  // namespace

bool WritePirateData(const std::string& root) {
  const std::string folder = root + "/data/PirateGame";
  bool ok = WriteScene(folder);
  ok = pirategen::WriteModels(folder) && ok;
  ok = pirategen::WriteAnimations(folder) && ok;
  ok = pirategen::WriteTextures(folder) && ok;
  ok = WriteParticles(folder) && ok;
  if (!ok) std::fprintf(stderr, "datagen: the pirate game's folder is incomplete\n");
  return ok;
}
