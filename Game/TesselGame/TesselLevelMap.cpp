// A garden level built from its data: the navigation nodes of its two path maps, Tessel's start
// and camera, the enemies, the scene and light in the game's window, and the collision boxes,
// trees and plants named by the scene's game nodes.
#include <cstring>

#include "Engine/LogFile.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCNodeContainer.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Engine/PC/PCScene.h"
#include "Game/TesselGame/cTesselEnemy.h"
#include "Game/TesselGame/cTesselGame.h"

namespace {

constexpr const char* kOwnerLoad = "cTesselGame::LoadMap";
constexpr const char* kOwnerFree = "cTesselGame::FreeMap";
constexpr int32_t kBoxModelCount = 10;
const char* const kBoxModels[kBoxModelCount] = {
    "collision_2m_2m",  "collision_2m_4m",  "collision_2m_7m", "collision_2m_25cm",
    "collision_2m_30m", "collision_4m_14m", "collision_6m_2m", "collision_8m_2m",
    "collision_12m_2m", "collision_26m_2m"};
const char* const kPathMapLabels[2][cTesselGame::kLevelCount] = {
    {"level1_junctionmap.bin", "level2_junctionmap.bin", "level3_junctionmap.bin"},
    {"level1_intermediatemap.bin", "level2_intermediatemap.bin", "level3_intermediatemap.bin"}};

enum class NodeKind { kNone, kBox, kTree, kPlant };

// What a game node stands for. Counting and filling both ask this one question, so a name that
// is counted is always filled: a box only for a model that loaded, a plant only for "a" to "e".
NodeKind Classify(const char* name, const int32_t* models, int32_t* boxModel, uint32_t* kind) {
  if (!name) return NodeKind::kNone;
  if (std::strncmp(name, "collision", 9) == 0) {
    for (int32_t i = 0; i < kBoxModelCount; ++i) {
      if (std::strncmp(name, kBoxModels[i], std::strlen(kBoxModels[i])) != 0) continue;
      if (models[i] == -1 || !GetApp().GetNodeFactory()->GetContainer(models[i])) break;
      *boxModel = i;
      return NodeKind::kBox;
    }
    return NodeKind::kNone;
  }
  if (std::strncmp(name, "gametree", 8) == 0) return NodeKind::kTree;
  if (std::strncmp(name, "plant_", 6) == 0 && name[6] >= 'a' && name[6] <= 'e') {
    *kind = static_cast<uint32_t>(name[6] - 'a');
    return NodeKind::kPlant;
  }
  return NodeKind::kNone;
}

Vector4 Translation(const GameNode& node) {
  return Vector4(node.matrix[12], node.matrix[13], node.matrix[14], node.matrix[15]);
}

template <class T>
void FreeCounted(T*& block, uint32_t& count) {
  if (block) TrackedFree(kOwnerFree, block);
  block = nullptr;
  count = 0;
}

}  // namespace

void cTesselGame::LoadMap(RenderWindow* window, int32_t level) {
  FreeMap();
  if (level < 0 || level >= kLevelCount) return;
  // A level change comes long after LoadPhase1 set the folder; the enemies load from it again.
  GetApp().SetDataDir("data\\TesselGame\\");
  BuildNavigation(level);
  ShowLevelScene(window, level);
  SetLevelLight(window, level);
  SceneFactory* scenes = GetApp().GetSceneFactory();
  ReadGameNodes(m_sceneIds[level] != -1 ? scenes->FindScene(m_sceneIds[level]) : nullptr);
  for (uint32_t i = 0; i < m_enemyCount; ++i) m_enemies[i].SetBoxes(m_boxes, m_boxCount);
  ForgetItems();
}

void cTesselGame::BuildNavigation(int32_t level) {
  uint32_t starts[kMaxEnemyStarts];
  uint32_t startCount = 0;
  struct Map {
    const void* image;
    int32_t size;
    TesselNavNode** nodes;
    uint32_t* count;
    const char* name;
  };
  const Map maps[2] = {{m_intermediateMaps[level], m_intermediateSizes[level], &m_intermediateNodes,
                        &m_intermediateCount, kPathMapLabels[1][level]},
                       {m_junctionMaps[level], m_junctionSizes[level], &m_junctionNodes,
                        &m_junctionCount, kPathMapLabels[0][level]}};
  for (int32_t kind = 0; kind < 2; ++kind) {
    const Map& map = maps[kind];
    const int32_t count = TesselPathMapCount(map.image, map.size, map.name);
    if (count <= 0) continue;
    *map.nodes = TrackedAlloc<TesselNavNode>(kOwnerLoad, size_t(count));
    if (!*map.nodes) continue;
    *map.count = uint32_t(count);
    TesselBuildNavNodes(map.image, *map.count, *map.nodes, map.name);
    // The intermediate map goes first, so a start in the junction map wins; within a map the
    // last one does.
    for (uint32_t k = 0; k < *map.count; ++k) {
      const TesselNavNode& node = (*map.nodes)[k];
      if (node.flags & kTesselPlayerStartFlag) PlaceStart(node);
      if (kind == 0 || !(node.flags & kTesselEnemyStartFlag)) continue;
      if (startCount < uint32_t(kMaxEnemyStarts))
        starts[startCount++] = k;
      else
        DebugLog().Write("cTesselGame: %s marks more than %d enemy starts; record %u ignored\n",
                         map.name, kMaxEnemyStarts, k);
    }
  }
  BuildEnemies(starts, startCount);
}

void cTesselGame::PlaceStart(const TesselNavNode& node) {
  const Vector4& p = node.position;
  m_startPosition = p;
  m_playerPosition = p;
  m_camera.SetPosition(Vector4(p.x, p.y - 800.0f, 1250.0f, 0.0f));
  m_camera.SetTarget(Vector4(p.x, p.y + 8.6f, 50.0f, 0.0f));
}

void cTesselGame::BuildEnemies(const uint32_t* starts, uint32_t count) {
  if (count == 0) return;
  m_enemies = TrackedNewArray<cTesselEnemy>(kOwnerLoad, count);
  if (!m_enemies) return;
  m_enemyCount = count;
  for (uint32_t i = 0; i < count; ++i) {
    cTesselEnemy& enemy = m_enemies[i];
    enemy.SetNetwork(m_junctionNodes, m_junctionCount, m_intermediateNodes, m_intermediateCount);
    enemy.SetStartNode(&m_junctionNodes[starts[i]]);
    enemy.SetWindowId(m_windowId);
    enemy.SetStarsTemplate(m_particles[kFxHeadStars]);
    enemy.LoadModel();
    enemy.ResetForLevel();
  }
}

void cTesselGame::ShowLevelScene(RenderWindow* window, int32_t level) {
  if (!window) return;
  SceneFactory* scenes = GetApp().GetSceneFactory();
  // The first level attaches all three, the last one staying current.
  const int32_t first = level == 0 ? kLevelCount - 1 : level;
  for (int32_t i = first; i >= level; --i) {
    Scene* scene = m_sceneIds[i] != -1 ? scenes->FindScene(m_sceneIds[i]) : nullptr;
    if (scene) window->SetScene(scene);
  }
}

void cTesselGame::SetLevelLight(RenderWindow* window, int32_t level) {
  if (!m_lightBlocks[level] && m_lightImages[level] &&
      m_lightSizes[level] >= int32_t(sizeof(LightSetup))) {
    m_lightBlocks[level] = TrackedAlloc<LightSetup>(kOwnerLoad, 1);
    if (m_lightBlocks[level])
      std::memcpy(m_lightBlocks[level], m_lightImages[level], sizeof(LightSetup));
  }
  if (window) window->SetLightSetup(m_lightBlocks[level]);
}

void cTesselGame::ReadGameNodes(Scene* scene) {
  m_boxCount = m_treeCount = m_plantCount = 0;
  m_plantsDestroyed = m_treesDestroyed = 0;
  if (!scene) return;
  NodeFactory* nodes = GetApp().GetNodeFactory();
  int32_t models[kBoxModelCount];
  char name[32];
  for (int32_t i = 0; i < kBoxModelCount; ++i) {
    std::snprintf(name, sizeof(name), "%s.geo", kBoxModels[i]);
    models[i] = nodes->Add(name);
  }
  CountGameNodes(scene, models);
  FillGameNodes(scene, models);
  for (int32_t model : models)
    if (model != -1) nodes->DeleteNode(model);
}

void cTesselGame::CountGameNodes(Scene* scene, const int32_t* models) {
  uint32_t boxes = 0, trees = 0, plants = 0;
  for (int32_t i = 0; i < scene->GetNumGameNodes(); ++i) {
    int32_t boxModel = 0;
    uint32_t kind = 0;
    switch (Classify(scene->GetGameNode(i), models, &boxModel, &kind)) {
      case NodeKind::kBox:
        ++boxes;
        break;
      case NodeKind::kTree:
        ++trees;
        break;
      case NodeKind::kPlant:
        ++plants;
        break;
      case NodeKind::kNone:
        break;
    }
  }
  if (boxes) m_boxes = TrackedAlloc<BoundingBox>(kOwnerLoad, boxes);
  if (trees) m_trees = TrackedAlloc<TesselTree>(kOwnerLoad, trees);
  if (plants) m_plants = TrackedAlloc<TesselPlant>(kOwnerLoad, plants);
}

void cTesselGame::FillGameNodes(Scene* scene, const int32_t* models) {
  NodeFactory* nodes = GetApp().GetNodeFactory();
  for (int32_t i = 0; i < scene->GetNumGameNodes(); ++i) {
    const GameNode* node = scene->GetGameNodeRecord(i);
    int32_t boxModel = 0;
    uint32_t kind = 0;
    const NodeKind what = Classify(scene->GetGameNode(i), models, &boxModel, &kind);
    if (!node) continue;
    const Vector4 at = Translation(*node);
    if (what == NodeKind::kBox && m_boxes) {
      const NodeContainer* model = nodes->GetContainer(models[boxModel]);
      BoundingBox& box = m_boxes[m_boxCount++];
      box.min = *model->GetBoundsMin();
      box.max = *model->GetBoundsMax();
      Add(box.min, Vector4(at.x, at.y, at.z, 0.0f));
      Add(box.max, Vector4(at.x, at.y, at.z, 0.0f));
    } else if (what == NodeKind::kTree && m_trees) {
      m_trees[m_treeCount++] = TesselTree{uint32_t(i), at, 1};
    } else if (what == NodeKind::kPlant && m_plants) {
      m_plants[m_plantCount++] = TesselPlant{uint32_t(i), m_pickedModels[kind], kind, at, 1};
    }
  }
}

void cTesselGame::ForgetItems() {
  // Indices into the records just replaced mean nothing in the new level.
  m_currentPlant = m_currentTree = 0;
  m_plantInHand = m_treeInHand = 0;
  m_thrownPlant.active = m_thrownTree.active = 0;
  m_stampRunning = 0;
  m_treeBashCount = 0;
}

void cTesselGame::FreeMap() {
  if (m_junctionNodes) TrackedFree(kOwnerFree, m_junctionNodes);
  m_junctionNodes = nullptr;
  m_junctionCount = 0;
  if (m_intermediateNodes) TrackedFree(kOwnerFree, m_intermediateNodes);
  m_intermediateNodes = nullptr;
  m_intermediateCount = 0;
  for (uint32_t i = 0; i < m_enemyCount; ++i) m_enemies[i].CleanUpEnemy();
  if (m_enemies) TrackedDeleteArray(kOwnerFree, m_enemies);
  m_enemies = nullptr;
  m_enemyCount = 0;
  cTesselEnemy::s_serialCounter = 0;
  FreeCounted(m_boxes, m_boxCount);
  FreeCounted(m_trees, m_treeCount);
  FreeCounted(m_plants, m_plantCount);
}
