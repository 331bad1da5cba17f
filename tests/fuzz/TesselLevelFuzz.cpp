// The garden's level map: the game built on the first level's two path maps alone (nothing else
// of its folder), its start, enemies and navigation made from them, then a second of play in
// which the enemies chase over that network. The input is the junction map's length (two bytes,
// little-endian), the junction map, then the intermediate map.

#include <filesystem>

#include "Engine/MemoryTracker.h"
#include "Game/GameBaseClass.h"
#include "Game/TesselGame/cTesselGame.h"
#include "tests/fuzz/FuzzTarget.h"
#include "tests/tessel/PathMapWriter.h"

namespace {

std::vector<uint8_t> Level(const std::vector<uint8_t>& junctions,
                           const std::vector<uint8_t>& intermediates) {
  std::vector<uint8_t> input = {static_cast<uint8_t>(junctions.size()),
                                static_cast<uint8_t>(junctions.size() >> 8)};
  input.insert(input.end(), junctions.begin(), junctions.end());
  input.insert(input.end(), intermediates.begin(), intermediates.end());
  return input;
}

}  // namespace

std::vector<FuzzSeed> FuzzSeeds() {
  using pathmapwriter::Record;
  std::vector<Record> junctions = pathmapwriter::Grid({400, 1300, 2200}, {-600, -1500}, 0);
  junctions[1].flags = pathmapwriter::kEnemyStart;
  junctions[4].flags = pathmapwriter::kEnemyStart | pathmapwriter::kPlayerStart;
  const std::vector<Record> paths = pathmapwriter::Grid({400, 1300, 2200}, {-600, -1500}, 300);
  return {{"grid.bin", Level(pathmapwriter::Write(junctions), pathmapwriter::Write(paths))},
          {"junctions-only.bin", Level(pathmapwriter::Write(junctions), {})}};
}

bool FuzzSetUp() {
  std::error_code error;
  std::filesystem::create_directories("data/TesselGame", error);
  return !error && StartHeadlessApp();
}

void FuzzOne(const uint8_t* data, size_t size) {
  if (size < 2) return;
  const size_t split = data[0] | size_t{data[1]} << 8;
  const size_t junctions = split < size - 2 ? split : size - 2;
  WriteInputFile("data/TesselGame/level1_junctionmap.bin", data + 2, junctions);
  WriteInputFile("data/TesselGame/level1_intermediatemap.bin", data + 2 + junctions,
                 size - 2 - junctions);
  // The framework's order (the game made its window when it was made): the phases, play, then
  // the clean-up.
  cTesselGame* game = TrackedNew<cTesselGame>("TesselLevelFuzz", kModeNormal, 0);
  if (!game) return;
  if (game->LoadPhase1() && game->LoadPhase2() && game->LoadPhase3()) {
    game->StartPlay();
    for (int tick = 0; tick < 60; ++tick)
      if (game->Update()) break;
  }
  game->CleanUp();
  TrackedDelete("TesselLevelFuzz", game);
}
