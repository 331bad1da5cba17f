// The garden game's construction, loading, level start, level end and clean-up.
#include "Engine/LogFile.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCFileIO.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Engine/PC/PCSkeleton.h"
#include "Engine/Random.h"
#include "Game/Helper/AnimationHelper.h"
#include "Game/TesselGame/cTesselEnemy.h"
#include "Game/TesselGame/cTesselGame.h"

// Fade in, wait, play; on a restart the same again. The last word is no step: the runner holds
// there, and play goes on without it.
const int32_t cTesselGame::kGardenScript[kScriptLength] = {0, 2, 11, 10, 0, 2, 11, 16};

namespace {

constexpr const char* kDataFolder = "data\\TesselGame\\";
constexpr float kQuarterPi = 0.7853982f;
constexpr float kPi32 = 3.1415927f;

const char* const kSceneNames[cTesselGame::kLevelCount] = {"institute01.scn", "institute02.scn",
                                                           "institute03.scn"};
const char* const kLightNames[cTesselGame::kLevelCount] = {"institute01.lgt", "institute02.lgt",
                                                           "institute03.lgt"};
// Junction maps first, then intermediate maps, each by level.
const char* const kPathMapNames[2 * cTesselGame::kLevelCount] = {
    "level1_junctionmap.bin",     "level2_junctionmap.bin",     "level3_junctionmap.bin",
    "level1_intermediatemap.bin", "level2_intermediatemap.bin", "level3_intermediatemap.bin"};
const char* const kPickedPlantNames[cTesselGame::kPlantKinds] = {
    "plant_a_picked.geo", "plant_b_picked.geo", "plant_c_picked.geo", "plant_d_picked.geo",
    "plant_e_picked.geo"};
const char* const kEffectNames[kTesselEffectCount] = {
    "flowers_a01.ps2",       "flowers_b01.ps2",  "flowers_c01.ps2",  "flowers_d01.ps2",
    "flowers_e01.ps2",       "flowers_a02.ps2",  "flowers_b02.ps2",  "flowers_c02.ps2",
    "flowers_d02.ps2",       "flowers_e02.ps2",  "mud_spray01.ps2",  "leaves01.ps2",
    "plant_collision01.ps2", "head_stars01.ps2", "leaves_big01.ps2", "tree_collision01.ps2"};

// Tessel's animations in load order: the throw comes after the run with a plant.
struct AnimFile {
  TesselAnim which;
  const char* name;
};
const AnimFile kAnimFiles[kTesselAnimCount] = {{kAnimStand, "tessel_stand01.anm"},
                                               {kAnimWalk, "tessel_walk.anm"},
                                               {kAnimRun, "tessel_run.anm"},
                                               {kAnimStamp, "tessel_stamp.anm"},
                                               {kAnimFlashStart, "tessel_flash_start.anm"},
                                               {kAnimFlashEnd, "tessel_flash_end.anm"},
                                               {kAnimPullPlant, "tessel_pull_up_plant.anm"},
                                               {kAnimBashPlant, "tessel_bash_plant.anm"},
                                               {kAnimStandPlant, "tessel_stand_plant.anm"},
                                               {kAnimWalkPlant, "tessel_walk_plant.anm"},
                                               {kAnimRunPlant, "tessel_run_plant.anm"},
                                               {kAnimThrowPlant, "tessel_throw_plant.anm"},
                                               {kAnimPullTree, "tessel_pull_up_tree.anm"},
                                               {kAnimThrowTree, "tessel_throw_tree.anm"},
                                               {kAnimStandTree, "tessel_stand_tree.anm"},
                                               {kAnimWalkTree, "tessel_walk_tree.anm"},
                                               {kAnimBashTree, "tessel_bash_tree.anm"},
                                               {kAnimPhoneStart, "tessel_phone_start.anm"},
                                               {kAnimPhoneLoop, "tessel_phone_loop.anm"}};

template <class T>
void FreeBlock(const char* owner, T*& block) {
  if (block) TrackedFree(owner, block);
  block = nullptr;
}

}  // namespace

cTesselGame::cTesselGame(int32_t mode, int32_t level) : GameBaseClass(mode, level) {
  m_gameId = kGameId;
  m_camera.Init();
  m_gameMode = mode;
  m_levelArgument = level;
  for (int32_t& anim : m_anims) anim = -1;
  for (int32_t& effect : m_particles) effect = -1;
  m_phoneLine = RandMod(7);
  if (CSoundWrapper* sound = GetSoundWrapper()) sound->Set3DMaxDistance(10000.0f);
  cTesselEnemy::s_serialCounter = 0;
  Init();
}

cTesselGame::~cTesselGame() = default;

float cTesselGame::TickRate() const { return static_cast<float>(GetApp().GetTargetFrameRate()); }

RenderWindow* cTesselGame::Window() const {
  return m_windowId != -1 ? GetApp().FindWindow(m_windowId) : nullptr;
}

cTesselEnemy* cTesselGame::GetEnemy(uint32_t i) const {
  return (m_enemies && i < m_enemyCount) ? &m_enemies[i] : nullptr;
}

int32_t cTesselGame::Init() {
  RenderWindow* window = TrackedNew<RenderWindow>("cTesselGame::Init");
  if (window) {
    const Display* display = GetApp().GetDisplay();
    const float width = static_cast<float>(display->GetModeWidth());
    const float height = static_cast<float>(display->GetModeHeight());
    window->Init(Vector2(0.0f, 0.0f), Vector2(width, height), Vector4(0.0f, 128.0f, 128.0f, 0.0f),
                 6, 0.0f);
    // The application numbers its windows itself; the id it gives back is the one to keep.
    m_windowId = GetApp().AddWindow(window);
    if (m_windowId == -1) TrackedDelete("cTesselGame::Init", window);
  }
  if (RenderWindow* added = Window()) m_camera.SetFov(added, kQuarterPi);
  // Every template is none until LoadPhase2 has registered it, so that a clean-up after a
  // refused load gives back nothing it does not hold.
  for (int32_t& effect : m_particles) effect = -1;
  return 1;
}

int32_t cTesselGame::LoadPhase1() {
  m_junctionCount = 0;
  m_intermediateCount = 0;
  if (!HasDataFolder(kDataFolder, "cTesselGame")) return 0;
  GetApp().SetDataDir(kDataFolder);
  SceneFactory* scenes = GetApp().GetSceneFactory();
  for (int32_t i = 0; i < kLevelCount; ++i) m_sceneIds[i] = scenes->CreateScene(kSceneNames[i]);
  for (int32_t i = 0; i < kLevelCount; ++i)
    m_lightImages[i] = FileIO::LoadFile(kLightNames[i], &m_lightSizes[i]);
  for (LightSetup*& block : m_lightBlocks) FreeBlock("cTesselGame::LoadPhase1", block);
  for (int32_t i = 0; i < kLevelCount; ++i)
    m_junctionMaps[i] = FileIO::LoadFile(kPathMapNames[i], &m_junctionSizes[i]);
  for (int32_t i = 0; i < kLevelCount; ++i)
    m_intermediateMaps[i] =
        FileIO::LoadFile(kPathMapNames[kLevelCount + i], &m_intermediateSizes[i]);
  InitialiseCharacterAnimations();
  NodeFactory* nodes = GetApp().GetNodeFactory();
  m_phoneModel = nodes->Add("phone.geo");
  m_shadowModel = nodes->Add("shadow_blob01.geo");
  if (CSoundWrapper* sound = GetSoundWrapper()) {
    m_effectsBank = sound->LoadSampleBank("TesselSFX.bnk");
    m_speechBank = sound->LoadSampleBank("TesselSpeech.bnk");
  }
  for (int32_t i = 0; i < kPlantKinds; ++i) m_pickedModels[i] = nodes->Add(kPickedPlantNames[i]);
  return 1;
}

void cTesselGame::InitialiseCharacterAnimations() {
  m_playerAnimator = TrackedNew<AnimationHelper>("cTesselGame::InitialiseCharacterAnimations");
  if (!m_playerAnimator) return;
  for (const AnimFile& file : kAnimFiles)
    m_anims[file.which] = m_playerAnimator->AddAnimation(file.name);
}

int32_t cTesselGame::LoadPhase2() {
  ParticleFactory* particles = GetApp().GetParticleFactory();
  for (int32_t i = 0; i < kTesselEffectCount; ++i) m_particles[i] = particles->Add(kEffectNames[i]);
  LoadMap(Window(), m_levelIndex);
  ReloadPlayerModel();
  if (CSoundWrapper* sound = GetSoundWrapper()) {
    if (m_effectsBank != -1) sound->FixupSampleBank(m_effectsBank);
    if (m_speechBank != -1) sound->FixupSampleBank(m_speechBank);
  }
  return 1;
}

void cTesselGame::ReloadPlayerModel() {
  if (!m_playerAnimator) return;
  m_playerAnimator->LoadModel("tessel.geo");
  m_playerAnimator->SetCurrentAnimation(m_anims[kAnimStand]);
}

int32_t cTesselGame::LoadPhase3() {
  if (m_playerAnimator) {
    m_playerAnimator->CreateSkeleton();
    m_playerAnimator->Play(m_anims[kAnimStand], 1, 0.0f);
    m_playerAnimator->Update(1.0f);
    if (const Skeleton* skeleton = m_playerAnimator->GetSkeleton()) {
      m_rightHand = skeleton->FindBone("Bip01 R Hand");
      m_leftHand = skeleton->FindBone("Bip01 L Hand");
      m_leftFoot = skeleton->FindBone("Bip01 L Foot");
    }
  }
  StartLevel();
  return 1;
}

void cTesselGame::StartMusic() {
  if (CSoundWrapper* sound = GetSoundWrapper()) sound->PlayMusic("Tessel");
}

void cTesselGame::StartPlay() {
  m_playState = kTesselFree;
  m_plantInHand = 0;
  m_treeInHand = 0;
  m_phoneShown = 0;
  for (uint32_t i = 0; i < m_enemyCount; ++i) {
    cTesselEnemy& enemy = m_enemies[i];
    enemy.SetPosition(enemy.GetStartPosition());
    enemy.SetState(kEnemyChase);
    enemy.SetChaseFrames(static_cast<uint32_t>(GetApp().GetTargetFrameRate()));
    enemy.ClearBlockedFrames();
  }
}

void cTesselGame::StartLevel() {
  m_manualControl = 1;
  m_lives = 3;
  m_playState = kTesselIntro;
  m_phoneShown = 0;
  m_sequence.Start(kGardenScript, kScriptLength);
  m_playerPosition = m_startPosition;
  m_heading = kPi32;
  m_tickCounter = 0;
  m_stampRunning = 0;
  m_stampImpactDone = 0;
  m_thrownPlant.active = 0;
  m_thrownTree.active = 0;
  m_plantInHand = 0;
  m_treeInHand = 0;
  const float rate = static_cast<float>(static_cast<uint32_t>(GetApp().GetTargetFrameRate()));
  m_walkSpeed = 150.0f / rate;
  m_runSpeed = 250.0f / rate;
  m_timeLeft = (m_gameMode == kModeChallenge1 || m_gameMode == kModeChallenge2) ? 60 : 0;
}

void cTesselGame::ResetEnemies() {
  for (uint32_t i = 0; i < m_enemyCount; ++i) m_enemies[i].ResetForLevel();
}

int32_t cTesselGame::RunLevelEnd() {
  switch (m_levelEndState) {
    case 0:
      if (!m_ingameText.shown) {
        const float rate = TickRate();
        m_fadeTimer.Start(1, rate > 0.0f ? rate : 1.0f);
        m_levelEndState = 1;
      }
      return 0;
    case 1:
      if (!m_fadeTimer.IsFinished()) return 0;
      ++m_levelIndex;
      m_levelEndState = 3;
      if (m_levelIndex >= kLevelCount || m_gameMode == kModeChallenge1 ||
          m_gameMode == kModeChallenge2) {
        m_playState = kTesselGameOver;
        return 0;
      }
      LoadMap(Window(), m_levelIndex);
      ResetEnemies();
      m_heading = kPi32;
      m_sequence.Start(kGardenScript, kScriptLength);
      return 0;
    case 3:
      return m_sequence.Update(this);
    default:
      return 0;
  }
}

void cTesselGame::ChasePair(uint32_t a, uint32_t b) {
  for (uint32_t i : {a, b}) {
    if (cTesselEnemy* enemy = GetEnemy(i)) {
      enemy->SetState(kEnemyChase);
      enemy->SetChaseFrames(0);
      enemy->ClearBlockedFrames();
    }
  }
}

DebugLines* cTesselGame::GetDebugLines() {
  RenderWindow* window = Window();
  return window ? window->GetDebugLines() : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Clean-up: every id goes back to none and every pointer to null, so that a second call (or one
// after a refused load) gives back nothing twice.

void cTesselGame::ReleaseModels() {
  NodeFactory* nodes = GetApp().GetNodeFactory();
  for (int32_t* model : {&m_shadowModel, &m_phoneModel}) {
    if (*model != -1) nodes->DeleteNode(*model);
    *model = -1;
  }
  for (int32_t& model : m_pickedModels) {
    if (model != -1) nodes->DeleteNode(model);
    model = -1;
  }
  if (m_playerAnimator) TrackedDelete("cTesselGame::CleanUp", m_playerAnimator);
  m_playerAnimator = nullptr;
  for (int32_t& anim : m_anims) anim = -1;
  ParticleFactory* particles = GetApp().GetParticleFactory();
  for (int32_t& effect : m_particles) {
    if (effect != -1) particles->Delete(effect);
    effect = -1;
  }
}

void cTesselGame::ReleaseImages() {
  for (int32_t i = 0; i < kLevelCount; ++i) {
    GlobalFileIO().FreeFileMemory(m_junctionMaps[i]);
    GlobalFileIO().FreeFileMemory(m_intermediateMaps[i]);
    m_junctionMaps[i] = m_intermediateMaps[i] = nullptr;
    m_junctionSizes[i] = m_intermediateSizes[i] = 0;
  }
  for (LightSetup*& block : m_lightBlocks) FreeBlock("cTesselGame::CleanUp", block);
  for (int32_t i = 0; i < kLevelCount; ++i) {
    GlobalFileIO().FreeFileMemory(m_lightImages[i]);
    m_lightImages[i] = nullptr;
    m_lightSizes[i] = 0;
  }
}

void cTesselGame::ReleaseScenes() {
  // The window holds the current scene and light block without owning them: let go first.
  if (RenderWindow* window = Window()) {
    window->SetScene(nullptr);
    window->SetLightSetup(nullptr);
  }
  SceneFactory* scenes = GetApp().GetSceneFactory();
  for (int32_t& id : m_sceneIds) {
    if (id != -1) scenes->DeleteScene(id);
    id = -1;
  }
}

void cTesselGame::CleanUp() {
  ReleaseModels();
  FreeMap();
  ReleaseImages();
  ReleaseScenes();
  if (CSoundWrapper* sound = GetSoundWrapper()) {
    sound->StopAll();
    for (int32_t* bank : {&m_effectsBank, &m_speechBank}) {
      if (*bank != -1) sound->FreeSampleBank(*bank);
      *bank = -1;
    }
  }
  if (m_windowId != -1) GetApp().DeleteWindow(m_windowId);
  m_windowId = -1;
}
