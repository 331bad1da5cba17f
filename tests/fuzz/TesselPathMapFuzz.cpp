// The garden's path maps ("levelN_junctionmap.bin", "levelN_intermediatemap.bin"): counted and
// turned into linked nodes as a level is built, then asked what the enemies ask as they walk.

#include <vector>

#include "Game/TesselGame/TesselPathMap.h"
#include "tests/fuzz/FuzzTarget.h"
#include "tests/tessel/PathMapWriter.h"

std::vector<FuzzSeed> FuzzSeeds() {
  using pathmapwriter::Record;
  std::vector<Record> grid = pathmapwriter::Grid({400, 1300, 2200}, {-600, -1500}, 450);
  grid[0].flags = pathmapwriter::kPlayerStart;
  grid[1].flags = pathmapwriter::kEnemyStart;
  Record lone;
  lone.links[pathmapwriter::kPlusX] = 0;  // a link to itself
  return {{"grid.bin", pathmapwriter::Write(grid)},
          {"lone.bin", pathmapwriter::Write({lone})},
          {"empty.bin", pathmapwriter::Write({})}};
}

bool FuzzSetUp() { return true; }

void FuzzOne(const uint8_t* data, size_t size) {
  const int32_t count = TesselPathMapCount(data, static_cast<int32_t>(size), "fuzz.bin");
  if (count <= 0) return;
  std::vector<TesselNavNode> nodes(static_cast<size_t>(count));
  TesselBuildNavNodes(data, static_cast<uint32_t>(count), nodes.data(), "fuzz.bin");
  TesselNavNode* map = nodes.data();
  const uint32_t n = static_cast<uint32_t>(count);
  // From a few places round the first node, a short walk over the network as an enemy takes it.
  const Vector4 origin = map[0].position;
  for (int i = 0; i < 4; ++i) {
    const Vector4 p(origin.x + 300.0f * float(i), origin.y - 200.0f * float(i), 0.0f, 1.0f);
    IsNearJunction(map, n, p);
    float leg = 0.0f;
    FindNearestIntermediateNode(map, n, p, &leg);
    TesselNavNode* current = FindNearestJunction(map, n, p);
    TesselNavNode* target =
        ChooseExitTowards(current, p, origin, TesselDirectionCode(current, map));
    for (int step = 0; step < 16 && current && target; ++step) {
      const int32_t back = TesselDirectionCode(current, target);
      if (step % 3 == 2) {
        ContinueStraight(&current, &target);
      } else {
        current = target;
        target = ChooseRandomExit(current, back);
      }
      TesselGroundDistanceSq(current ? current->position : p, p);
    }
  }
}
