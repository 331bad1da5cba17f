// The pirate game's three load phases: the textures, scene, models, banks and animation players;
// the board read from the scene's named nodes and dealt; the skeletons, the fade-in and the
// particle templates.
#include <cstdio>
#include <cstring>

#include "Engine/BaseParticleFactory.h"
#include "Engine/LogFile.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCFileIO.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Engine/PC/PCScene.h"
#include "Engine/PC/PCSceneFactory.h"
#include "Game/Helper/AnimationHelper.h"
#include "Game/PirateGame/cpirategame.h"
#include "Game/Sound/CSoundWrapper.h"

namespace {

constexpr const char* kOwnerLoad1 = "cpirategame::LoadPhase1";
constexpr const char* kOwnerLoad2 = "cpirategame::LoadPhase2";
constexpr const char* kDataFolder = "data\\PirateGame\\";
constexpr const char* kSceneName = "skull_island.scn";
constexpr const char* kLightName = "skull_island.lgt";
constexpr uint32_t kFlagsCleared = 0;
constexpr uint32_t kFlagsHidden = 16;

// Each kind's animation family and its stand animation.
struct KindAnimations {
  const char* family;
  const char* stand;
};
constexpr KindAnimations kKindAnimations[cpirategame::kKinds] = {
    {"pirate05", "pirate01_stand.anm"}, {"pirate02", "pirate02_stand.anm"},
    {"pirate01", "pirate01_stand.anm"}, {"pirate05", "pirate01_stand.anm"},
    {"pirate05", "pirate01_stand.anm"}, {"pirate03", "pirate03_stand.anm"},
    {"pirate05", "pirate01_stand.anm"}, {"pirate01", "pirate01_stand.anm"},
    {"pirate05", "pirate01_stand.anm"}, {"pirate04", "pirate04_stand.anm"},
};

// "pirate0%.geo" with the '%' replaced by the digit.
void KindFileName(char* out, size_t size, const char* pattern, int32_t digit) {
  std::snprintf(out, size, "%s", pattern);
  if (char* mark = std::strchr(out, '%')) *mark = static_cast<char>('0' + digit);
}

int32_t AddFamilyAnimation(AnimationHelper* helper, const char* family, const char* suffix) {
  char name[64];
  std::snprintf(name, sizeof(name), "%s%s", family, suffix);
  return helper->AddAnimation(name);
}

// A kind's helper with its animations; the spare set carries only the leaps and the stand.
void BuildAnimSet(PirateAnimSet& set, int32_t kind, bool spare) {
  set.helper = TrackedNew<AnimationHelper>(kOwnerLoad1);
  if (!set.helper) return;
  const KindAnimations& anims = kKindAnimations[kind];
  if (!spare) {
    set.celebrate = AddFamilyAnimation(set.helper, anims.family, "_celebrate.anm");
    set.defeat = AddFamilyAnimation(set.helper, anims.family, "_defeat.anm");
    set.gesture = AddFamilyAnimation(set.helper, anims.family, "_gesture.anm");
  }
  set.leapLeft = AddFamilyAnimation(set.helper, anims.family, "_leap_left.anm");
  set.leapRight = AddFamilyAnimation(set.helper, anims.family, "_leap_right.anm");
  set.stand = set.helper->AddAnimation(anims.stand);
}

void LoadHelperModel(AnimationHelper* helper, const char* model, int32_t current) {
  if (!helper) return;
  helper->LoadModel(model);
  helper->SetCurrentAnimation(current);
}

void BuildSkeleton(AnimationHelper* helper) {
  if (!helper) return;
  helper->CreateSkeleton();
  helper->Update(1.0f);
}

Vector4 NodePosition(const GameNode& node) { return node.matrix.GetRow(3); }

}  // namespace

int32_t cpirategame::LoadPhase1() {
  App& app = GetApp();
  if (!HasDataFolder(kDataFolder, "cpirategame")) return 0;
  app.SetDataDir(kDataFolder);
  m_iconTexture = app.GetTexture()->Load("mr_gorst_icon.dds");
  m_hookTexture = app.GetTexture()->Load("hook_pointer.dds");
  m_sceneId = app.GetSceneFactory()->CreateScene(kSceneName);
  if (m_sceneId == -1) {
    // Without the island there is no board to play on: refusing lets the menu say so.
    DebugLog().Write("cpirategame: cannot play without the scene \"%s\"\n", kSceneName);
    return 0;
  }
  int32_t lightSize = 0;
  m_lightFile = FileIO::LoadFile(kLightName, &lightSize);
  if (m_lightFile && lightSize < static_cast<int32_t>(sizeof(LightSetup))) {
    DebugLog().Write("cpirategame: \"%s\" is %d bytes, too short for a light record\n", kLightName,
                     lightSize);
    GlobalFileIO().FreeFileMemory(m_lightFile);
    m_lightFile = nullptr;
  }
  char name[32];
  for (int32_t i = 0; i < kKinds; ++i) {
    KindFileName(name, sizeof(name), "pirate0%.geo", i);
    m_pirateGeos[i] = app.GetNodeFactory()->Add(name);
  }
  for (int32_t i = 0; i < kKinds; ++i) {
    KindFileName(name, sizeof(name), "line0%.geo", i);
    m_tallyGeos[i] = app.GetNodeFactory()->Add(name);
  }
  if (CSoundWrapper* sound = GetSoundWrapper()) {
    m_effectsBank = sound->LoadSampleBank("MrGorstSFX.bnk");
    m_speechBank = sound->LoadSampleBank("MrGorstSpeech.bnk");
  }
  m_boardAnim = TrackedNew<AnimationHelper>(kOwnerLoad1);
  if (m_boardAnim) m_boardOpenAnim = m_boardAnim->AddAnimation("board_open.anm");
  m_chestAnim = TrackedNew<AnimationHelper>(kOwnerLoad1);
  if (m_chestAnim) m_chestOpenAnim = m_chestAnim->AddAnimation("chest_open.anm");
  for (int32_t kind = 0; kind < kKinds; ++kind) {
    BuildAnimSet(m_firstSet[kind], kind, false);
    BuildAnimSet(m_secondSet[kind], kind, false);
    BuildAnimSet(m_spareSet[kind], kind, true);
  }
  return 1;
}

int32_t cpirategame::LoadPhase2() {
  App& app = GetApp();
  app.SetDataDir(kDataFolder);
  Scene* scene = GetScene();
  RenderWindow* main = MainWindow();
  if (main) main->SetScene(scene);
  if (m_lightFile) {
    m_lightRecord = TrackedAlloc<LightSetup>(kOwnerLoad2, 1);
    if (m_lightRecord) {
      std::memcpy(m_lightRecord, m_lightFile, sizeof(LightSetup));
      for (RenderWindow* window : {main, OverlayWindow()})
        if (window) window->SetLightSetup(m_lightRecord);
    }
  }
  m_holes = TrackedAlloc<PirateHole>(kOwnerLoad2, kHoles);
  if (!m_holes || !scene) return 0;
  // A hole whose "object" node is missing stays out of play, with no positions to read.
  for (int32_t i = 0; i < kHoles; ++i) {
    m_holes[i] = PirateHole{};
    m_holes[i].objectNode = -1;
    m_holes[i].outOfPlay = 1;
    m_shadowNodes[i] = -1;
  }
  ReadBoardNodes(scene);
  DealBoard(m_holes);
  ApplyDifficulty(m_holes, m_difficulty);
  for (int32_t i = 0; i < kHoles; ++i) {
    for (int32_t index : {m_holes[i].objectNode, m_shadowNodes[i]})
      if (GameNode* node = NodeAt(scene, index)) node->flags = kFlagsHidden;
  }
  if (CSoundWrapper* sound = GetSoundWrapper()) {
    if (m_effectsBank != -1) sound->FixupSampleBank(m_effectsBank);
    if (m_speechBank != -1) sound->FixupSampleBank(m_speechBank);
  }
  LoadHelperModel(m_boardAnim, "board.geo", m_boardOpenAnim);
  LoadHelperModel(m_chestAnim, "chest.geo", m_chestOpenAnim);
  char name[32];
  for (int32_t kind = 0; kind < kKinds; ++kind) {
    KindFileName(name, sizeof(name), "pirate0%.geo", kind);
    for (int32_t set = 0; set < kSets; ++set) {
      PirateAnimSet* animSet = SetFor(set, kind);
      LoadHelperModel(animSet->helper, name, animSet->stand);
    }
  }
  return 1;
}

void cpirategame::ReadBoardNodes(Scene* scene) {
  Vector4 piratePos[kHoles], targetPos[kHoles];
  m_holesBuilt = 0;
  const int32_t count = scene->GetNumGameNodes();
  for (int32_t i = 0; i < count; ++i) {
    GameNode* node = scene->GetGameNodeRecord(i);
    const char* name = scene->GetGameNode(i);
    if (!node || !name) continue;
    node->tint.Set(1.0f, 1.0f, 1.0f, 1.0f);
    node->flags = kFlagsCleared;
    int32_t n;
    if (std::strncmp(name, "board", 5) == 0) {
      m_boardPos = NodePosition(*node);
    } else if ((n = ReadNodeNumber(name, "pirate", kHoles)) >= 0) {
      piratePos[n] = NodePosition(*node);
    } else if ((n = ReadNodeNumber(name, "target", kHoles)) >= 0) {
      targetPos[n] = NodePosition(*node);
    } else if ((n = ReadNodeNumber(name, "line_pos", kLinePositions)) >= 0) {
      m_linePos[n] = NodePosition(*node);
    } else if (node->geometry != -1) {
      if ((n = ReadNodeNumber(name, "object", kHoles)) >= 0) {
        BuildHole(n, i, *node);
      } else if ((n = ReadNodeNumber(name, "shadow", kHoles)) >= 0) {
        m_shadowNodes[n] = i;
      }
    }
  }
  for (int32_t i = 0; i < kHoles; ++i) {
    m_holes[i].piratePos = piratePos[i];
    m_holes[i].targetPos = targetPos[i];
  }
}

void cpirategame::BuildHole(int32_t hole, int32_t nodeIndex, const GameNode& node) {
  PirateHole& h = m_holes[hole];
  h.objectWord = node.geometry;
  h.position = NodePosition(node);
  h.objectRows[0] = node.matrix.GetRow(0);
  h.objectRows[1] = node.matrix.GetRow(1);
  h.selected = h.occupied = h.kind = h.outOfPlay = 0;
  h.objectNode = nodeIndex;
  ++m_holesBuilt;
}

int32_t cpirategame::LoadPhase3() {
  App& app = GetApp();
  app.SetDataDir(kDataFolder);
  BuildSkeleton(m_boardAnim);
  BuildSkeleton(m_chestAnim);
  m_fadeTimer.Start(1, m_fps > 0.0f ? m_fps : 1.0f);
  for (int32_t kind = 0; kind < kKinds; ++kind)
    for (int32_t set = 0; set < kSets; ++set) BuildSkeleton(SetFor(set, kind)->helper);
  BaseParticleFactory* particles = app.GetParticleFactory();
  m_dirtEffect = particles->Add("dirt_shower02.ps2");
  m_coinEffect = particles->Add("coin_shower02.ps2");
  m_sparkleEffect = particles->Add("sparkles01.ps2");
  return 1;
}
