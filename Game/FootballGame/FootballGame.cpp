// The penalty-kick game's life: construction and its two windows, the three load phases with
// their asset and locator tables, the music, the start of play, clean-up and the state hash.
#include "Game/FootballGame/FootballGame.h"

#include <cstdio>
#include <cstring>

#include "Engine/Camera.h"
#include "Engine/FastMathRotation.h"
#include "Engine/LogFile.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCFileIO.h"
#include "Engine/PC/PCScene.h"
#include "Engine/Random.h"
#include "Game/FootballGame/FootballMath.h"
#include "Game/Helper/AnimationHelper.h"
#include "Game/Helper/BipedCollision.h"

using namespace football;

namespace {

constexpr const char* kDataFolder = "data\\FootballGame\\";
constexpr const char* kMusicTrack = "Clemency";
constexpr float kFov45 = 0.7853982f;
constexpr int32_t kStartPlaySample = 30;

constexpr const char* kHudTextureNames[cfootballgame::kHudTextureCount] = {
    "mr_gorst_icon.dds",
    "powerbar.dds",
    "powerslider.dds",
    "goals_background01.dds",
    "wind_strength_background01.dds",
    "wind_strength_left01.dds",
    "wind_strength_right01.dds",
    "wind_strength_middle01.dds",
    "power_bar_background01.dds",
    "power_bar_red_middle.dds",
    "power_bar_blue_middle.dds",
    "power_bar_blue_top.dds",
    "power_bar_red_bottom.dds",
    "power_bar_indicator01.dds",
    "power_bar_arrow01.dds",
};

constexpr BipedPartDesc kKeeperVolumes[] = {
    {0, kBipedTwoBones, "Bip01 L UpperArm", "Bip01 L Forearm", 5.7f},
    {1, kBipedTwoBones, "Bip01 L Forearm", "Bip01 L Hand", 4.5f},
    {6, kBipedTwoBones, "Bip01 L Thigh", "Bip01 L Calf", 8.6f},
    {4, kBipedTwoBones, "Bip01 L Calf", "Bip01 L Foot", 7.3f},
    {8, kBipedTwoBones, "Bip01 L Foot", "Bip01 L Toe0", 6.4f},
    {2, kBipedTwoBones, "Bip01 R UpperArm", "Bip01 R Forearm", 5.7f},
    {3, kBipedTwoBones, "Bip01 R Forearm", "Bip01 R Hand", 4.5f},
    {7, kBipedTwoBones, "Bip01 R Thigh", "Bip01 R Calf", 8.6f},
    {5, kBipedTwoBones, "Bip01 R Calf", "Bip01 R Foot", 7.3f},
    {9, kBipedTwoBones, "Bip01 R Foot", "Bip01 R Toe0", 6.4f},
    {10, kBipedTwoBones, "Bip01 Pelvis", "Bip01 Neck", 13.9f},
    {12, kBipedOneBone, "Head_bone", nullptr, 12.6f},
    {BipedCollision::kNoHit, kBipedEnd, nullptr, nullptr, 0.0f},
};

constexpr BipedPartDesc kClemencyVolumes[] = {
    {0, kBipedTwoBones, "Bip01 L UpperArm", "Bip01 L Forearm", 7.5f},
    {1, kBipedTwoBones, "Bip01 L Forearm", "Bip01 L Hand", 5.5f},
    {6, kBipedTwoBones, "Bip01 L Thigh", "Bip01 L Calf", 20.0f},
    {4, kBipedTwoBones, "Bip01 L Calf", "Bip01 L Foot", 20.0f},
    {2, kBipedTwoBones, "Bip01 R UpperArm", "Bip01 R Forearm", 7.5f},
    {3, kBipedTwoBones, "Bip01 R Forearm", "Bip01 R Hand", 5.5f},
    {7, kBipedTwoBones, "Bip01 R Thigh", "Bip01 R Calf", 20.0f},
    {5, kBipedTwoBones, "Bip01 R Calf", "Bip01 R Foot", 20.0f},
    {10, kBipedTwoBones, "Bip01 Pelvis", "Bip01 Neck", 20.0f},
    {12, kBipedOneBone, "head_bone", nullptr, 14.0f},
    {BipedCollision::kNoHit, kBipedEnd, nullptr, nullptr, 0.0f},
};

// A character's player with its animations appended in list order, each handle kept.
AnimationHelper* MakePlayer(const char* const* names, int32_t* const* handles, size_t count) {
  AnimationHelper* player =
      TrackedNew<AnimationHelper>("cfootballgame::InitialiseCharacterAnimations");
  if (!player) return nullptr;
  for (size_t i = 0; i < count; ++i) *handles[i] = player->AddAnimation(names[i]);
  return player;
}

void FreePlayer(AnimationHelper** player) {
  if (*player) TrackedDelete("cfootballgame::CleanUp", *player);
  *player = nullptr;
}

void StartPlayer(AnimationHelper* player) {
  if (!player) return;
  player->CreateSkeleton();
  player->Play(player->GetAnimation(0), 1, 0.0f);
  player->Update(1.0f);
}

void AssignModel(AnimationHelper* player, const char* model, int32_t stand) {
  if (!player) return;
  player->LoadModel(model);
  player->SetCurrentAnimation(stand);
}

// Truncation toward zero to 64 bits, low 32 kept; NaN and values beyond the 64-bit range give
// fixed words instead of the undefined conversion.
uint32_t HashWord(float value) {
  if (value != value) return 0u;
  if (value >= 9.2233720e18f) return 0xFFFFFFFFu;
  if (value <= -9.2233720e18f) return 0u;
  return static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(value)));
}

uint32_t HashVector(const Vector4& v) {
  return HashWord(v.x) ^ HashWord(v.y) ^ HashWord(v.z) ^ HashWord(v.w);
}

RenderWindow* MakeWindow(const Vector4& colour, int32_t flags, float sortKey, int32_t* id) {
  RenderWindow* window = TrackedNew<RenderWindow>("cfootballgame::Init");
  if (!window) return nullptr;
  const Display* display = GetApp().GetDisplay();
  float width = static_cast<float>(display->GetModeWidth());
  float height = static_cast<float>(display->GetModeHeight());
  if (width <= 0.0f || height <= 0.0f) {
    width = static_cast<float>(GetApp().GetWidth());
    height = static_cast<float>(GetApp().GetHeight());
  }
  window->Init(Vector2(0.0f, 0.0f), Vector2(width, height), colour, flags, sortKey);
  // The effects only show: they draw from a generator of their own and leave play's alone, so
  // that two linked machines, which draw different numbers of frames, keep one sequence.
  window->UseOwnParticleRandom(RandomGenerator::kStartSeed);
  *id = GetApp().AddWindow(window);
  if (*id == -1) {
    TrackedDelete("cfootballgame::Init", window);
    return nullptr;
  }
  return window;
}

void SetUpCamera(RenderWindow* window, const Vector4* eye, const Vector4* target, float nearPlane,
                 float farPlane) {
  Camera* camera = window ? window->GetCamera() : nullptr;
  if (!camera) return;
  if (eye) camera->SetEye(*eye);
  if (target) camera->SetTarget(*target);
  camera->SetUp(Vector4(0.0f, 0.0f, 1.0f, 1.0f));
  const int32_t viewport[4] = {0, 0, 640, 480};
  camera->SetFov(kFov45, viewport);
  camera->SetNearFar(nearPlane, farPlane);
}

}  // namespace

cfootballgame::cfootballgame(int32_t gameMode, int32_t gameLevel)
    : GameBaseClass(gameMode, gameLevel) {
  camera.Init();
  m_gameId = kGameId;
  mode = gameMode;
  level = gameLevel;
  Init();
}

cfootballgame::~cfootballgame() { CleanUp(); }

int32_t cfootballgame::Init() {
  MakeWindow(Vector4(0.0f, 128.0f, 128.0f, 0.0f), 14, 0.0f, &sceneWindowId);
  MakeWindow(Vector4(255.0f, 255.0f, 255.0f, 255.0f), 4, 1.0f, &overlayWindowId);
  const Vector4 overlayEye(0.0f, -1000.0f, 500.0f, 1.0f), overlayTarget(0.0f, 0.0f, 0.0f, 1.0f);
  SetUpCamera(OverlayWindow(), &overlayEye, &overlayTarget, 100.0f, 2000.0f);
  SetUpCamera(PitchWindow(), nullptr, nullptr, 10.0f, 50000.0f);
  return 1;
}

int32_t cfootballgame::LoadPhase1() {
  App& app = GetApp();
  if (!HasDataFolder(kDataFolder, "cfootballgame")) return 0;
  app.SetDataDir(kDataFolder);
  for (int32_t i = 0; i < kHudTextureCount; ++i)
    hudTextures[i] = app.GetTexture()->Load(kHudTextureNames[i]);
  pitchScene = app.GetSceneFactory()->CreateScene("pitch.scn");
  lightImage = FileIO::LoadFile("pitch.lgt", &lightImageSize);
  NodeFactory* nodes = app.GetNodeFactory();
  ballGeo = nodes->Add("ball.geo");
  arrowGeo = nodes->Add("arrow.geo");
  targetGeo = nodes->Add("target.geo");
  windArrowGeo = nodes->Add("wind_arrow.geo");
  shadowBlobGeo = nodes->Add("shadow_blob01.geo");
  shadowBlobSmallGeo = nodes->Add("shadow_blob_small.geo");
  shadowBlobLargeGeo = nodes->Add("shadow_blob_large.geo");
  defenderCount = 0;
  for (cDefender*& defender : defenders) {
    defender = TrackedNew<cDefender>("cfootballgame::LoadPhase1");
    if (!defender || !defender->anim) return 0;
    ++defenderCount;
  }
  InitialiseCharacterAnimations();
  if (!dulcieAnim || !clemencyAnim || !keeperAnim || !orwenAnim || !bikeAnim) return 0;
  if (CSoundWrapper* sound = GetSoundWrapper()) {
    m_effectsBank = sound->LoadSampleBank("DulcieAndClemencySFX.bnk");
    m_speechBank = sound->LoadSampleBank("DulcieAndClemencySpeech.bnk");
  }
  return 1;
}

void cfootballgame::InitialiseCharacterAnimations() {
  const char* dulcie[] = {"dulcie_stand.anm",     "dulcie_run.anm",       "dulcie_kick_soft.anm",
                          "dulcie_kick_hard.anm", "dulcie_celebrate.anm", "dulcie_losing.anm"};
  int32_t* dulcieHandles[] = {&dulcieStand,    &dulcieRun,       &dulcieKickSoft,
                              &dulcieKickHard, &dulcieCelebrate, &dulcieLosing};
  dulcieAnim = MakePlayer(dulcie, dulcieHandles, 6);
  const char* clemency[] = {"clemency_stand.anm", "clemency_run.anm", "clemency_hit_in_head.anm",
                            "clemency_hit_in_chest.anm", "clemency_hit_in_legs.anm"};
  int32_t* clemencyHandles[] = {&clemencyStand, &clemencyRun, &clemencyHitInHead,
                                &clemencyHitInChest, &clemencyHitInLegs};
  clemencyAnim = MakePlayer(clemency, clemencyHandles, 5);
  const char* keeper[] = {"football_kid_stand.anm",
                          "football_kid_save_centre.anm",
                          "football_kid_save_low_centre_start.anm",
                          "football_kid_save_high_centre.anm",
                          "football_kid_save_short_left.anm",
                          "football_kid_save_short_right.anm",
                          "football_kid_save_low_left.anm",
                          "football_kid_save_mid_left.anm",
                          "football_kid_save_high_left.anm",
                          "football_kid_save_low_right.anm",
                          "football_kid_save_mid_right.anm",
                          "football_kid_save_high_right.anm",
                          "football_kid_step_left_no_translation.anm",
                          "football_kid_step_right_no_translation.anm",
                          "football_kid_step_forward_no_translation.anm",
                          "football_kid_keeper_celebrate.anm",
                          "football_kid_save_low_centre_end.anm",
                          "football_kid_get_up_left.anm",
                          "football_kid_get_up_right.anm"};
  int32_t* keeperHandles[] = {
      &keeperStand,          &keeperSaveCentre,       &keeperSaveLowCentreStart,
      &keeperSaveHighCentre, &keeperSaveShortLeft,    &keeperSaveShortRight,
      &keeperSaveLowLeft,    &keeperSaveMidLeft,      &keeperSaveHighLeft,
      &keeperSaveLowRight,   &keeperSaveMidRight,     &keeperSaveHighRight,
      &keeperStepLeft,       &keeperStepRight,        &keeperStepForward,
      &keeperCelebrate,      &keeperSaveLowCentreEnd, &keeperGetUpLeft,
      &keeperGetUpRight};
  keeperAnim = MakePlayer(keeper, keeperHandles, 19);
  const char* orwen[] = {"orwen_cycle.anm", "orwen_hit_fall.anm"};
  int32_t* orwenHandles[] = {&orwenCycle, &orwenHitFall};
  orwenAnim = MakePlayer(orwen, orwenHandles, 2);
  const char* bike[] = {"bike_cycle.anm", "bike_hit_fall.anm"};
  int32_t* bikeHandles[] = {&bikeCycle, &bikeHitFall};
  bikeAnim = MakePlayer(bike, bikeHandles, 2);
}

int32_t cfootballgame::LoadPhase2() {
  Scene* scene = GetApp().GetSceneFactory()->FindScene(pitchScene);
  if (RenderWindow* pitch = PitchWindow()) pitch->SetScene(scene);
  // A light file too short to hold a light record is not used: the windows keep their own.
  if (lightImage && lightImageSize >= static_cast<int32_t>(sizeof(LightSetup))) {
    lightRecord = TrackedNew<LightSetup>("cfootballgame::LoadPhase2");
    if (lightRecord) {
      std::memcpy(lightRecord, lightImage, sizeof(LightSetup));
      if (RenderWindow* pitch = PitchWindow()) pitch->SetLightSetup(lightRecord);
      if (RenderWindow* overlay = OverlayWindow()) overlay->SetLightSetup(lightRecord);
    }
  } else {
    DebugLog().Write("cfootballgame: no light record in \"pitch.lgt\" (%d bytes)", lightImageSize);
  }
  ReadLocators(scene);
  for (int32_t i = 0; i < kDefenderCount; ++i)
    if (defenders[i]) defenders[i]->SetModel(i);
  AssignCharacterModels();
  if (CSoundWrapper* sound = GetSoundWrapper()) {
    sound->FixupSampleBank(m_effectsBank);
    sound->FixupSampleBank(m_speechBank);
  }
  return 1;
}

void cfootballgame::ReadLocators(Scene* scene) {
  if (!scene) {
    DebugLog().Write("cfootballgame: no scene \"pitch.scn\": the pitch has no locators");
    return;
  }
  const int32_t count = scene->GetNumGameNodes();
  for (int32_t i = 0; i < count; ++i) {
    const GameNode* node = scene->GetGameNodeRecord(i);
    const char* name = scene->GetGameNode(i);
    if (node && name) ApplyLocator(name, node->matrix);
  }
}

void cfootballgame::ApplyLocator(const char* name, const Matrix& matrix) {
  const Vector4 at(matrix[12], matrix[13], matrix[14], matrix[15]);
  auto is = [name](const char* prefix) {
    return std::strncmp(name, prefix, std::strlen(prefix)) == 0;
  };
  // The one character after an indexed prefix, a digit or else 0; the name's terminator stops
  // the read at the end of a name that is the prefix alone.
  auto digit = [name](const char* prefix) {
    const char c = name[std::strlen(prefix)];
    return c >= '0' && c <= '9' ? c - '0' : 0;
  };
  if (is("startposition")) {
    startPosition = at;
    startPosition.z = 10.0f;
  }
  if (is("celebrate_position")) celebratePosition = at;
  if (is("celebrate_camera")) celebrateCamera = at;
  if (is("defender0")) {
    const int32_t d = digit("defender0");
    if (d < kDefenderCount && defenders[d]) defenders[d]->homePosition = at;
  }
  if (is("orwen_path0")) {
    const int32_t d = digit("orwen_path0");
    Vector4 euler;
    MatrixToEuler(matrix, euler);
    orwenPath[d] = at;
    orwenPathHeading[d] = euler.z;
  }
  if (is("fargoalline")) farGoalLineX = at.x;
  if (is("targetzone0")) {
    const int32_t d = digit("targetzone0");
    if (d < kTargetCount) targetZones[d] = at;
  }
  if (is("lefttouchline")) leftTouchlineY = at.y;
  if (is("righttouchline")) rightTouchlineY = at.y;
  if (is("leftpost")) leftPostY = at.y;
  if (is("rightpost")) rightPostY = at.y;
  // Compared with its terminator: "crossbar" must be the whole name.
  if (std::strcmp(name, "crossbar") == 0) crossbarZ = at.z;
  if (is("goalcentre")) goalCentre = at;
  if (is("intro_camera01")) introCamera1 = at;
  if (is("intro_camera02")) introCamera2 = at;
  if (is("intro_camera_target01")) introCameraTarget1 = at;
  if (is("intro_camera_target02")) introCameraTarget2 = at;
  if (is("dulcie_start")) dulcieStartPosition = at;
}

void cfootballgame::AssignCharacterModels() {
  AssignModel(dulcieAnim, "dulcie.geo", dulcieStand);
  AssignModel(clemencyAnim, "clemency.geo", clemencyStand);
  AssignModel(keeperAnim, "goalkeeper.geo", keeperStand);
  AssignModel(orwenAnim, "orwen.geo", orwenCycle);
  AssignModel(bikeAnim, "bike_orwen.geo", bikeCycle);
}

void cfootballgame::StartCharacterSkeletons() {
  StartPlayer(dulcieAnim);
  StartPlayer(clemencyAnim);
  StartPlayer(keeperAnim);
  StartPlayer(orwenAnim);
  StartPlayer(bikeAnim);
}

int32_t cfootballgame::LoadPhase3() {
  StartCharacterSkeletons();
  for (cDefender* defender : defenders) {
    if (!defender) continue;
    defender->StartSkeleton();
    defender->InitBiped();
  }
  frameRate = static_cast<float>(GetApp().GetTargetFrameRate());
  tickRate = 120.0f / frameRate;
  InitialiseCharacterBipeds();
  ResetGame();
  m_fadeTimer.Start(1, frameRate * 0.5f);
  introStep = kIntroFadeIn;
  camera.SetPosition(introCamera1);
  camera.SetTarget(introCameraTarget1);
  ParticleFactory* particles = GetApp().GetParticleFactory();
  redTargetFx = particles->Add("target_red01.ps2");
  whiteTargetFx = particles->Add("target_white01.ps2");
  blueTargetFx = particles->Add("target_blue01.ps2");
  grassFx = particles->Add("grass01.ps2");
  return 1;
}

void cfootballgame::InitialiseCharacterBipeds() {
  keeperBiped = TrackedNew<BipedCollision>("cfootballgame::InitialiseCharacterBipeds");
  if (keeperBiped) keeperBiped->InitBiped(keeperAnim, kKeeperVolumes);
  clemencyBiped = TrackedNew<BipedCollision>("cfootballgame::InitialiseCharacterBipeds");
  if (clemencyBiped) clemencyBiped->InitBiped(clemencyAnim, kClemencyVolumes);
}

void cfootballgame::StartMusic() {
  if (CSoundWrapper* sound = GetSoundWrapper()) sound->PlayMusic(kMusicTrack);
}

void cfootballgame::StartPlay() {
  PlayEffectIfPresent(kStartPlaySample);
  phase = kPhaseAim;
}

void cfootballgame::CleanUp() {
  App& app = GetApp();
  missingModel.Close("cfootballgame: drawing a model that did not load");
  NodeFactory* nodes = app.GetNodeFactory();
  for (int32_t* geo : {&ballGeo, &arrowGeo, &targetGeo, &windArrowGeo, &shadowBlobGeo,
                       &shadowBlobSmallGeo, &shadowBlobLargeGeo}) {
    if (*geo != -1) nodes->DeleteNode(*geo);
    *geo = -1;
  }
  // The scene goes after the window stops showing it.
  if (RenderWindow* pitch = PitchWindow()) pitch->SetScene(nullptr);
  if (pitchScene != -1) app.GetSceneFactory()->DeleteScene(pitchScene);
  pitchScene = -1;
  for (int32_t& texture : hudTextures) {
    if (texture != -1) app.GetTexture()->Delete(texture);
    texture = -1;
  }
  for (AnimationHelper** player : {&dulcieAnim, &keeperAnim, &orwenAnim, &bikeAnim, &clemencyAnim})
    FreePlayer(player);
  for (cDefender*& defender : defenders) {
    if (defender) TrackedDelete("cfootballgame::CleanUp", defender);
    defender = nullptr;
  }
  defenderCount = 0;
  for (BipedCollision** biped : {&keeperBiped, &clemencyBiped}) {
    if (*biped) TrackedDelete("cfootballgame::CleanUp", *biped);
    *biped = nullptr;
  }
  if (CSoundWrapper* sound = GetSoundWrapper()) {
    sound->StopAll();
    if (m_effectsBank >= 0) sound->FreeSampleBank(m_effectsBank);
    if (m_speechBank >= 0) sound->FreeSampleBank(m_speechBank);
  }
  m_effectsBank = m_speechBank = -1;
  for (int32_t* fx : {&redTargetFx, &whiteTargetFx, &blueTargetFx, &grassFx}) {
    if (*fx != -1) app.GetParticleFactory()->Delete(*fx);
    *fx = -1;
  }
  // The windows still point at the light record: they let go of it first.
  for (RenderWindow* window : {PitchWindow(), OverlayWindow()})
    if (window) window->SetLightSetup(nullptr);
  if (lightRecord) TrackedDelete("cfootballgame::CleanUp", lightRecord);
  lightRecord = nullptr;
  if (lightImage) GlobalFileIO().FreeFileMemory(lightImage);
  lightImage = nullptr;
  lightImageSize = 0;
  for (int32_t* id : {&sceneWindowId, &overlayWindowId}) {
    if (*id != -1) app.DeleteWindow(*id);
    *id = -1;
  }
}

uint32_t cfootballgame::GetStateHash() {
  uint32_t hash = HashVector(aim) ^ HashVector(savedAim) ^ HashVector(ballPosition) ^
                  HashVector(keeperPosition);
  hash ^= HashWord(kickSpeed) ^ HashWord(heading) ^ HashVector(ballVelocity) ^ HashWord(ballSpeed);
  hash ^= HashVector(ballSpin) ^ HashVector(wind);
  hash ^= flightTicks ^ static_cast<uint32_t>(woodworkPart) ^ static_cast<uint32_t>(ballState) ^
          static_cast<uint32_t>(phase);
  return hash;
}

RenderWindow* cfootballgame::PitchWindow() const {
  return sceneWindowId != -1 ? GetApp().FindWindow(sceneWindowId) : nullptr;
}

RenderWindow* cfootballgame::OverlayWindow() const {
  return overlayWindowId != -1 ? GetApp().FindWindow(overlayWindowId) : nullptr;
}
