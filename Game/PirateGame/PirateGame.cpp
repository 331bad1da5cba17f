// The pirate game's object: construction, the reset of play state, music, the state hash the
// two-player link compares, and the clean-up, which may run twice and after a partial load.
#include <cstring>

#include "Engine/BaseAnimFactory.h"
#include "Engine/BaseParticleFactory.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCFileIO.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Engine/PC/PCScene.h"
#include "Engine/PC/PCSceneFactory.h"
#include "Engine/Random.h"
#include "Game/Helper/AnimationHelper.h"
#include "Game/PirateGame/cpirategame.h"
#include "Game/Sound/CSoundWrapper.h"

namespace {

constexpr const char* kOwnerInit = "cpirategame::Init";
constexpr const char* kOwnerCleanUp = "cpirategame::CleanUp";
constexpr const char* kMusicTrack = "Pirates";
constexpr float k3DMaxDistance = 40000.0f;
constexpr int32_t kMainWindowFlags = 14;
constexpr int32_t kOverlayWindowFlags = 4;
constexpr float kOverlayFov = 0.7853982f;
constexpr float kMainFov = 0.4363323f;
const Vector4 kWindowColour(0.0f, 128.0f, 128.0f, 0.0f);
const Vector4 kIntroTarget(0.0f, -200.0f, 0.0f, 0.0f);

// Each word is folded in after the hash so far is turned: a plain XOR of the words would miss a
// change of two words at once (a first selection sets a hole's selected word and the camera's
// moving word together, and the two cancel).
uint32_t Fold(uint32_t hash, int32_t word) {
  return ((hash << 7) | (hash >> 25)) ^ static_cast<uint32_t>(word);
}

void DeleteHelper(AnimationHelper*& helper) {
  if (helper) TrackedDelete(kOwnerCleanUp, helper);
  helper = nullptr;
}

void ForgetAnimations(PirateAnimSet& set) {
  DeleteHelper(set.helper);
  set.celebrate = set.defeat = set.gesture = -1;
  set.leapLeft = set.leapRight = set.stand = -1;
}

void ReleaseNode(int32_t& handle) {
  if (handle != -1) GetApp().GetNodeFactory()->DeleteNode(handle);
  handle = -1;
}

int32_t AddWindow(int32_t flags, float sortKey) {
  App& app = GetApp();
  RenderWindow* window = TrackedNew<RenderWindow>(kOwnerInit);
  if (!window) return -1;
  const Vector2 size(static_cast<float>(app.GetWidth()), static_cast<float>(app.GetHeight()));
  window->Init(Vector2(0.0f, 0.0f), size, kWindowColour, flags, sortKey);
  // The effects only show: they draw from a generator of their own and leave play's alone, so
  // that two linked machines, which draw different numbers of frames, keep one sequence.
  window->UseOwnParticleRandom(RandomGenerator::kStartSeed);
  // The application owns the window from here, whatever AddWindow answers.
  return app.AddWindow(window);
}

}  // namespace

float cpirategame::s_pulseStep = 0.025f;

cpirategame::cpirategame(int32_t mode, int32_t level) : GameBaseClass(mode, level) {
  m_gameId = kGameId;
  m_camera.Init();
  m_difficulty = level;
  Init();
}

cpirategame::~cpirategame() = default;

void cpirategame::ResetGame() {
  if (CSoundWrapper* sound = GetSoundWrapper()) sound->Set3DMaxDistance(k3DMaxDistance);
  m_fps = static_cast<float>(GetApp().GetTargetFrameRate());
  // Every per-second rate is divided by it.
  if (m_fps <= 0.0f) m_fps = 60.0f;
  m_diagonalLatch = 0;
  m_pulse = 0.8f;
  m_secondFrames = 0;
  m_timeUpFade = 0;
  m_tallyFade = 0.0f;
  m_finaleDrop = 0.0f;
  m_returnPos1.SetZero();
  m_returnPos2.SetZero();
  m_returnScale.SetZero();
  m_revealShown = m_pairPending = m_pairMismatch = 0;
  m_selectedHole = -1;
  m_firstPicked = 0;
  m_pairFound = 0;
  m_lives = 3;
  m_pairsLeft = kPirateKinds;
  m_secondsLeft = m_mode == kModeChallenge1 ? 60 : (m_mode == kModeChallenge2 ? 180 : 300);
  m_inputMode = kPadInput;
  m_cameraMoving = m_matchShown = 0;
  m_playPhase = kPhaseIntro;
  m_introState = kIntroFadeIn;
  m_secondPicked = m_misses = m_tallyFading = m_revealSeconds = 0;
  for (int32_t i = 0; i < kKinds; ++i) m_pirateGeos[i] = m_tallyGeos[i] = -1;
}

int32_t cpirategame::Init() {
  ResetGame();
  m_mainWindowId = AddWindow(kMainWindowFlags, 0.0f);
  m_overlayWindowId = AddWindow(kOverlayWindowFlags, 1.0f);
  if (RenderWindow* overlay = OverlayWindow()) {
    if (Camera* camera = overlay->GetCamera()) {
      camera->SetEye(Vector4(0.0f, -450.0f, 0.0f, 0.0f));
      camera->SetTarget(Vector4(0.0f, 0.0f, 0.0f, 0.0f));
      camera->SetUp(Vector4(0.0f, 0.0f, 1.0f, 0.0f));
      int32_t viewport[4];
      overlay->GetViewportRect()->ToArray(viewport);
      camera->SetFov(kOverlayFov, viewport);
      camera->SetNearFar(100.0f, 2000.0f);
    }
  }
  RenderWindow* main = MainWindow();
  m_mainCamera = main ? main->GetCamera() : nullptr;
  m_cameraOffsetY = -5000.0f;
  m_cameraOffsetZFactor = -0.8f;
  m_introCameraPos.Set(0.0f, -10000.0f, 13500.0f, 0.0f);
  m_playCameraPos.Set(0.0f, -5200.0f, 4000.0f, 0.0f);
  m_camera.SetPosition(m_introCameraPos);
  m_camera.SetTarget(kIntroTarget);
  if (main) m_camera.SetFov(main, kMainFov);
  if (m_mainCamera) m_mainCamera->SetNearFar(1500.0f, 21000.0f);
  m_pointerX = 320;
  m_pointerY = 240;
  m_pointerW = 42;
  m_pointerH = 32;
  return 1;
}

void cpirategame::StartMusic() {
  if (CSoundWrapper* sound = GetSoundWrapper()) sound->PlayMusic(kMusicTrack);
}

void cpirategame::StartPlay() { m_playPhase = kPhaseInput; }

uint32_t cpirategame::GetStateHash() {
  uint32_t hash = 0;
  for (int32_t word : {m_firstPicked, m_firstHole, m_lives, m_pointerX, m_pointerY, m_cameraMoving,
                       m_cameraMoveStart, m_pairsLeft})
    hash = Fold(hash, word);
  for (int32_t i = 0; m_holes && i < kHoles; ++i) {
    const PirateHole& hole = m_holes[i];
    for (int32_t word : {hole.selected, hole.occupied, hole.kind, hole.outOfPlay})
      hash = Fold(hash, word);
  }
  return hash;
}

void cpirategame::CleanUp() {
  App& app = GetApp();
  m_missingModel.Close("cpirategame: drawing a model that did not load");
  CSoundWrapper* sound = GetSoundWrapper();
  if (sound) sound->StopMusic();
  // The windows keep pointers to the scene and the light record freed below.
  for (RenderWindow* window : {MainWindow(), OverlayWindow()}) {
    if (!window) continue;
    window->SetLightSetup(nullptr);
    if (window == MainWindow()) window->SetScene(nullptr);
  }
  DeleteHelper(m_boardAnim);
  DeleteHelper(m_chestAnim);
  m_boardOpenAnim = m_chestOpenAnim = -1;
  for (int32_t kind = 0; kind < kKinds; ++kind) {
    ForgetAnimations(m_firstSet[kind]);
    ForgetAnimations(m_secondSet[kind]);
    ForgetAnimations(m_spareSet[kind]);
  }
  for (int32_t kind = 0; kind < kKinds; ++kind) {
    ReleaseNode(m_pirateGeos[kind]);
    ReleaseNode(m_tallyGeos[kind]);
  }
  if (m_holes) TrackedFree(kOwnerCleanUp, m_holes);
  m_holes = nullptr;
  if (m_sceneId != -1) app.GetSceneFactory()->DeleteScene(m_sceneId);
  m_sceneId = -1;
  if (m_lightRecord) TrackedFree(kOwnerCleanUp, m_lightRecord);
  m_lightRecord = nullptr;
  if (m_lightFile) GlobalFileIO().FreeFileMemory(m_lightFile);
  m_lightFile = nullptr;
  for (int32_t* texture : {&m_hookTexture, &m_iconTexture}) {
    if (*texture != -1) app.GetTexture()->Delete(*texture);
    *texture = -1;
  }
  if (sound) sound->StopAll();
  for (int32_t* bank : {&m_effectsBank, &m_speechBank}) {
    if (sound && *bank != -1) sound->FreeSampleBank(*bank);
    *bank = -1;
  }
  for (int32_t* effect : {&m_dirtEffect, &m_coinEffect, &m_sparkleEffect}) {
    if (*effect != -1) app.GetParticleFactory()->Delete(*effect);
    *effect = -1;
  }
  m_finaleEffect = -1;
  for (int32_t* id : {&m_mainWindowId, &m_overlayWindowId}) {
    if (*id != -1) app.DeleteWindow(*id);
    *id = -1;
  }
  m_mainCamera = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Small pieces shared by the game's files.

RenderWindow* cpirategame::MainWindow() const {
  return m_mainWindowId == -1 ? nullptr : GetApp().FindWindow(m_mainWindowId);
}

RenderWindow* cpirategame::OverlayWindow() const {
  return m_overlayWindowId == -1 ? nullptr : GetApp().FindWindow(m_overlayWindowId);
}

Scene* cpirategame::GetScene() const {
  return m_sceneId == -1 ? nullptr : GetApp().GetSceneFactory()->FindScene(m_sceneId);
}

GameNode* cpirategame::NodeAt(Scene* scene, int32_t index) {
  return scene && index >= 0 ? scene->GetGameNodeRecord(index) : nullptr;
}

PirateAnimSet* cpirategame::SetFor(int32_t setIndex, int32_t kind) {
  if (kind < 0 || kind >= kKinds) return nullptr;
  PirateAnimSet* sets[kSets] = {m_firstSet, m_secondSet, m_spareSet};
  return setIndex >= 0 && setIndex < kSets ? &sets[setIndex][kind] : nullptr;
}

int32_t cpirategame::KindOf(int32_t hole) const {
  if (!m_holes || hole < 0 || hole >= kHoles) return -1;
  return m_holes[hole].kind;
}

int32_t cpirategame::LeapAnim(const PirateAnimSet& set, float fromX, float toX) {
  return fromX <= toX ? set.leapRight : set.leapLeft;
}

void cpirategame::PlayEffect(int32_t sample) {
  CSoundWrapper* sound = GetSoundWrapper();
  if (!sound || m_effectsBank == -1 || sample >= sound->GetSampleCount(m_effectsBank)) return;
  sound->PlayEffect(m_effectsBank, sample, 0, 1.0f, kSoundFlat, nullptr);
}

void cpirategame::PlayEffectAt(int32_t sample, const Vector4& position) {
  CSoundWrapper* sound = GetSoundWrapper();
  if (!sound || m_effectsBank == -1 || sample >= sound->GetSampleCount(m_effectsBank)) return;
  sound->PlayEffect(m_effectsBank, sample, 0, 1.0f, kSound3D, &position);
}

void cpirategame::PlaySpeechSample(int32_t sample) {
  CSoundWrapper* sound = GetSoundWrapper();
  if (!sound || m_speechBank == -1 || sample >= sound->GetSampleCount(m_speechBank)) return;
  sound->PlaySpeech(m_speechBank, sample, 0, 1.0f, kSoundFlat, nullptr);
}

int32_t cpirategame::LastSelectedHole(bool inPlayOnly) const {
  int32_t last = -1;
  for (int32_t i = 0; m_holes && i < kHoles; ++i)
    if (m_holes[i].selected && !(inPlayOnly && m_holes[i].outOfPlay)) last = i;
  return last;
}

void cpirategame::RequestCameraMove(const Vector4& to) {
  m_cameraFrom = LookAt();
  m_cameraTo = to;
  m_cameraMoving = 1;
  m_cameraMoveStart = 1;
}
