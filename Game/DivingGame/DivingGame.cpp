// The diving game's life: construction, the three load phases, the reset of a run, the start of
// music and play, and the clean-up that gives everything back (and may run twice).
#include <cstring>
#include <iterator>

#include "Engine/Camera.h"
#include "Engine/LogFile.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCFileIO.h"
#include "Engine/PC/PCSkeleton.h"
#include "Game/DivingGame/cDivingGame.h"
#include "Game/Helper/AnimationHelper.h"
#include "Game/Helper/InputDevice.h"

namespace {

constexpr const char* kDataFolder = "data\\DivingGame\\";
constexpr const char* kSceneName = "pool_layout.scn";
constexpr const char* kLightName = "pool_layout.lgt";
constexpr const char* kMusic = "CobbJory";
constexpr int32_t kWindowFlags = 14;
constexpr float kNearPlane = 75.0f;
constexpr float kFarPlane = 10000.0f;
constexpr float kStartCameraHeight = 4000.0f;
constexpr int32_t kStartLine = 31;
constexpr float kPlay3DMaxDistance = 1000.0f;

constexpr const char* kHudNames[cDivingGame::kHudTextureCount] = {
    "powerbar.dds",
    "powerslider.dds",
    "mr_gorst_icon.dds",
    "power_bar_background01.dds",
    "power_bar_red_middle.dds",
    "power_bar_blue_middle.dds",
    "power_bar_blue_top.dds",
    "power_bar_red_bottom.dds",
    "power_bar_indicator01.dds",
    "power_bar_arrow01.dds",
};
constexpr const char* kJoryAnimNames[cDivingGame::kJoryAnimCount] = {
    "jory_sit.anm",
    "jory_sit_on_ground.anm",
    "jory_sitting_on_ground_loop.anm",
    "jory_hanging.anm",
    "jory_out_of_wheelchair.anm",
    "jory_into_wheelchair.anm",
    "jory_stand.anm",
    "jory_walk.anm",
    "jory_run.anm",
    "jory_climb_loop.anm",
    "jory_swim.anm",
    "jory_tread_water.anm",
    "jory_out_of_pool.anm",
    "jory_walk_to_crouch.anm",
    "jory_crouch_to_jump.anm",
    "jory_dive_aeroplane.anm",
    "jory_dive_corkscrew.anm",
    "jory_dive_torpedo.anm",
    "jory_dive_pike.anm",
    "jory_dive_tuck.anm",
    "jory_dive.anm",
    "jory_climb_step_loop.anm"};
constexpr const char* kCobbAnimNames[cDivingGame::kCobbAnimCount] = {
    "cobb_stand.anm",    "cobb_walk.anm",        "cobb_stand_talk.anm",
    "cobb_turn_low.anm", "cobb_turn_ground.anm", "cobb_turn_high.anm"};
constexpr const char* kGuardAnimNames[cDivingGame::kGuardAnimCount] = {
    "lifeguard_stand.anm", "lifeguard_stand_listen.anm", "lifeguard_walk.anm"};
constexpr const char* kSplashNames[cDivingGame::kSplashCount] = {
    "big_splash01.ps2", "medium_splash01.ps2", "flat_mist01.ps2",      "shockwave01.ps2",
    "shower01.ps2",     "splash_column01.ps2", "droplet_shower01.ps2", "swimming_splash02.ps2"};

// The intro scripts: a fade-in and a wait before play, or only the fade after an overshoot.
constexpr int32_t kStartScript[] = {GameSequence::kFadeForward, GameSequence::kWait,
                                    GameSequence::kStartPlay};
constexpr int32_t kShortScript[] = {GameSequence::kFadeForward, GameSequence::kStartPlay};

// The pad remap the rest of the program reads pads through.
constexpr uint32_t kDefaultPadRemap[4] = {0x1000, 0x4000, 0x8000, 0x2000};

void LoadAnims(AnimationHelper* helper, const char* const* names, int32_t count, int32_t* ids) {
  for (int32_t i = 0; i < count; ++i) ids[i] = helper ? helper->AddAnimation(names[i]) : -1;
}

void DeleteModel(int32_t* model) {
  if (*model != -1) GetApp().GetNodeFactory()->DeleteNode(*model);
  *model = -1;
}

void DeleteTemplate(int32_t* id) {
  if (*id != -1) GetApp().GetParticleFactory()->Delete(*id);
  *id = -1;
}

void DeleteHelper(AnimationHelper** helper) {
  if (*helper) TrackedDelete("cDivingGame::CleanUp", *helper);
  *helper = nullptr;
}

}  // namespace

cDivingGame::cDivingGame(int32_t mode, int32_t level) : GameBaseClass(mode, level) {
  m_camera.Init();
  m_overshoot = 0;
  m_difficulty = level;
  Init();
  m_gameId = kGameId;
}

float cDivingGame::Fps() const {
  const int32_t rate = GetApp().GetTargetFrameRate();
  return rate > 0 ? static_cast<float>(rate) : 60.0f;
}

RenderWindow* cDivingGame::Window() const {
  return m_windowId != -1 ? GetApp().FindWindow(m_windowId) : nullptr;
}

int32_t cDivingGame::Init() {
  m_climbStarted = 0;
  m_talkIndex = 0;
  m_divesDone = 0;
  m_walking = 0;
  m_windowId = -1;
  m_cobbModel = m_lifeguardModel = m_shadowModel = -1;
  for (int32_t& id : m_splash) id = -1;
  m_surfaceTemplate = m_handSplashTemplate = -1;
  for (int32_t& id : m_hudTextures) id = -1;
  for (int32_t& id : m_joryAnims) id = -1;
  for (int32_t& id : m_cobbAnims) id = -1;
  for (int32_t& id : m_lifeguardAnims) id = -1;
  m_cameraLimits[0] = Vector4(-3200.0f, -2500.0f, 0.0f, 0.0f);
  m_cameraLimits[1] = Vector4(3200.0f, 2500.0f, 0.0f, 0.0f);
  m_iconCount = 3;
  m_timeLeft = 180;
  m_power = 100.0f;
  m_playWord2 = 2;
  m_board0TurnPoint = 2;
  m_board1TurnPoint = 12;
  m_board0WindowStart = 0;
  m_board1WindowStart = 10;
  m_diveRequest = 0;

  RenderWindow* window = TrackedNew<RenderWindow>("cDivingGame::Init");
  if (window) {
    Display* display = GetApp().GetDisplay();
    window->Init(Vector2(0.0f, 0.0f),
                 Vector2(static_cast<float>(display->GetModeWidth()),
                         static_cast<float>(display->GetModeHeight())),
                 Vector4(0.0f, 128.0f, 128.0f, 0.0f), kWindowFlags, 0.0f);
    // The application gives the window its id; keep that, not the list position.
    m_windowId = GetApp().AddWindow(window);
    if (m_windowId == -1) TrackedDelete("cDivingGame::Init", window);
  }
  m_startCameraDistance = -5000.0f;
  window = Window();
  m_cameraRecord = window ? window->GetCamera() : nullptr;
  m_camera.SetPosition(Vector4(0.0f, m_startCameraDistance, kStartCameraHeight, 1.0f));
  m_camera.SetTarget(Vector4(0.0f, 0.0f, 0.0f, 1.0f));
  if (m_cameraRecord) {
    m_cameraRecord->SetUp(Vector4(0.0f, 0.0f, 1.0f, 0.0f));
    m_cameraRecord->SetNearFar(kNearPlane, kFarPlane);
  }
  return 1;
}

void cDivingGame::LoadHudTextures() {
  for (int32_t i = 0; i < kHudTextureCount; ++i)
    m_hudTextures[i] = GetApp().GetTexture()->Load(kHudNames[i]);
}

void cDivingGame::LoadAnimations() {
  m_jory = TrackedNew<AnimationHelper>("cDivingGame::LoadPhase1");
  LoadAnims(m_jory, kJoryAnimNames, kJoryAnimCount, m_joryAnims);
  m_cobb = TrackedNew<AnimationHelper>("cDivingGame::LoadPhase1");
  LoadAnims(m_cobb, kCobbAnimNames, kCobbAnimCount, m_cobbAnims);
  m_lifeguard = TrackedNew<AnimationHelper>("cDivingGame::LoadPhase1");
  LoadAnims(m_lifeguard, kGuardAnimNames, kGuardAnimCount, m_lifeguardAnims);
}

int32_t cDivingGame::LoadPhase1() {
  if (m_windowId == -1) {
    DebugLog().Write("cDivingGame: no render window\n");
    return 0;
  }
  if (!HasDataFolder(kDataFolder, "cDivingGame")) return 0;
  GetApp().SetDataDir(kDataFolder);
  LoadHudTextures();
  m_sceneId = GetApp().GetSceneFactory()->CreateScene(kSceneName);
  m_lightImage = FileIO::LoadFile(kLightName, &m_lightSize);
  m_boardModel = GetApp().GetNodeFactory()->Add("board.geo");
  m_wheelchairModel = GetApp().GetNodeFactory()->Add("wheelchair.geo");
  m_shadowModel = GetApp().GetNodeFactory()->Add("shadow_blob01.geo");
  LoadAnimations();
  if (CSoundWrapper* sound = GetSoundWrapper()) {
    m_effectsBank = sound->LoadSampleBank("CobbAndJorySFX.bnk");
    m_speechBank = sound->LoadSampleBank("CobbAndJorySpeech.bnk");
  }
  return m_jory && m_cobb && m_lifeguard ? 1 : 0;
}

bool cDivingGame::ReadSceneNodes() {
  Scene* scene = GetApp().GetSceneFactory()->FindScene(m_sceneId);
  if (!scene) {
    // Without its scene the pool has no routes: the game cannot be played.
    DebugLog().Write("cDivingGame: no scene \"%s\"\n", kSceneName);
    return false;
  }
  const int32_t count = scene->GetNumGameNodes();
  DivingNode* nodes = TrackedAlloc<DivingNode>("cDivingGame::LoadPhase2", count > 0 ? count : 1);
  if (!nodes) return false;
  for (int32_t i = 0; i < count; ++i) {
    GameNode* node = scene->GetGameNodeRecord(i);
    nodes[i].name = scene->GetGameNode(i);
    nodes[i].matrix = node ? &node->matrix : nullptr;
  }
  const bool ok = ReadDivingLayout(nodes, count, &m_layout, "cDivingGame::LoadPhase2");
  TrackedFree("cDivingGame::LoadPhase2", nodes);
  return ok;
}

void cDivingGame::SetUpCharacters() {
  m_joryAction = kActionNone;
  m_jory->LoadModel("jory.geo");
  m_jory->SetCurrentAnimation(m_joryAnims[kSit]);
  m_jory->SetEndCallback(&cDivingGame::JoryAnimEndCallback, this);
  for (float& angle : m_joryRot) angle = 0.0f;
  m_talkIndex = 0;
  m_cobbModel = m_cobb->LoadModel("cobb.geo");
  m_cobb->SetCurrentAnimation(m_cobbAnims[kCobbStand]);
  m_lifeguardModel = m_lifeguard->LoadModel("lifeguard.geo");
  m_lifeguard->SetCurrentAnimation(m_lifeguardAnims[kGuardStand]);
}

int32_t cDivingGame::LoadPhase2() {
  RenderWindow* window = Window();
  Scene* scene = GetApp().GetSceneFactory()->FindScene(m_sceneId);
  if (window && scene) window->SetScene(scene);
  // A light file too short for the record leaves the window's own lighting.
  if (m_lightImage && m_lightSize >= static_cast<int32_t>(sizeof(LightSetup))) {
    m_lightRecord = TrackedNew<LightSetup>("cDivingGame::LoadPhase2");
    if (m_lightRecord) {
      std::memcpy(m_lightRecord, m_lightImage, sizeof(LightSetup));
      if (window) window->SetLightSetup(m_lightRecord);
    }
  } else {
    DebugLog().Write("cDivingGame: \"%s\" holds no light record (%d bytes)\n", kLightName,
                     m_lightSize);
  }
  if (!ReadSceneNodes()) return 0;
  SetUpCharacters();
  if (CSoundWrapper* sound = GetSoundWrapper()) {
    if (m_effectsBank != -1) sound->FixupSampleBank(m_effectsBank);
    if (m_speechBank != -1) sound->FixupSampleBank(m_speechBank);
  }
  return 1;
}

int32_t cDivingGame::LoadPhase3() {
  if (!BuildRouteLengths(&m_layout, "cDivingGame::CalculateNodeDistances")) return 0;
  ResetToStart();
  m_orbitStep = 300.0f / Fps();
  m_cobb->CreateSkeleton();
  m_jory->CreateSkeleton();
  m_lifeguard->CreateSkeleton();
  m_cobb->PlayReversed(m_cobbAnims[kCobbStand], 1, 0.0f);
  m_jory->PlayReversed(m_joryAnims[kSit], 1, 0.0f);
  m_lifeguard->PlayReversed(m_lifeguardAnims[kGuardStand], 1, 0.0f);
  if (Skeleton* skeleton = m_jory->GetSkeleton()) {
    m_leftHand = skeleton->FindBone("Bip01 L Hand");
    m_rightHand = skeleton->FindBone("Bip01 R Hand");
  }
  ParticleFactory* particles = GetApp().GetParticleFactory();
  for (int32_t i = 0; i < kSplashCount; ++i) m_splash[i] = particles->Add(kSplashNames[i]);
  m_surfaceTemplate = particles->Add("surface01.ps2");
  m_handSplashTemplate = particles->Add("hand_splash01.ps2");
  return 1;
}

void cDivingGame::CalculateNodeDistances() {
  BuildRouteLengths(&m_layout, "cDivingGame::CalculateNodeDistances");
}

void cDivingGame::ResetToStart() {
  m_cobbTurn = 0.0f;
  m_footFlag = 1;
  m_progress = 0.0f;
  m_playFlag = 1;
  m_diveListShown = 0;
  m_badLanding = m_challenge2 = m_challenge3 = 0;
  m_cobbState = m_sparePlay = m_sequenceFlag = m_timeUp = 0;
  m_secondCounter = 0;
  m_chairOffer = 0;
  m_cameraShot = kShotPoolside;
  m_joryPos = m_layout.chair;
  m_nodeIndex = 0;
  m_nextNodeIndex = 1;
  m_minWalkSpeed = 6.0f / Fps();
  m_walkSpeed = 0.0f;
  m_maxWalkSpeed = 360.0f / Fps();
  SetWindowFov(kHalfPi);
  m_ladderWindow = 0;
  m_turnRequest = 0;
  m_camera.SetPosition(m_layout.cameraA);
  m_camera.SetTarget(m_layout.cameraTargets[1]);
  if (m_overshoot) {
    m_sequence.Start(kShortScript, static_cast<int32_t>(std::size(kShortScript)));
    m_overshoot = 0;
  } else {
    m_sequence.Start(kStartScript, static_cast<int32_t>(std::size(kStartScript)));
  }
  m_divePhase = kDivePhaseIntro;
  // Sitting down again after a hanging restart: upright, facing out of the chair.
  m_joryRot[0] = m_joryRot[1] = 0.0f;
  m_joryRot[2] = m_layout.chairHeading;
  m_pulse = 0.0f;
  m_pulseStep = 3.0f / Fps();
}

void cDivingGame::StartMusic() {
  if (CSoundWrapper* sound = GetSoundWrapper()) sound->PlayMusic(kMusic);
}

void cDivingGame::StartPlay() {
  m_divePhase = kDivePhaseInChair;
  if (m_lifeguard) m_lifeguard->QueueOnly(m_lifeguardAnims[kGuardListen], 15.0f, 0, 1);
  if (m_cobb) m_cobb->QueueOnly(m_cobbAnims[kCobbStandTalk], 15.0f, 0, 1);
  CSoundWrapper* sound = GetSoundWrapper();
  if (!sound) return;
  m_speechVoice = sound->PlaySample(m_speechBank, kStartLine, kSoundSpeechFlag, 1.0f, kSound3D,
                                    &m_layout.cobbStand, kSoundSpeech);
  m_talkStarted = 1;
  sound->Set3DMaxDistance(kPlay3DMaxDistance);
}

void cDivingGame::ReleaseCharacters() {
  DeleteHelper(&m_jory);
  DeleteHelper(&m_cobb);
  DeleteHelper(&m_lifeguard);
  // The animators gave their models and animations back.
  m_cobbModel = m_lifeguardModel = -1;
  m_leftHand = m_rightHand = -1;
  for (int32_t& id : m_joryAnims) id = -1;
  for (int32_t& id : m_cobbAnims) id = -1;
  for (int32_t& id : m_lifeguardAnims) id = -1;
}

void cDivingGame::ReleaseAssets() {
  DeleteModel(&m_shadowModel);
  DeleteModel(&m_boardModel);
  DeleteModel(&m_wheelchairModel);
  for (int32_t& texture : m_hudTextures) {
    GetApp().GetTexture()->Delete(texture);
    texture = -1;
  }
  for (int32_t& id : m_splash) DeleteTemplate(&id);
  DeleteTemplate(&m_surfaceTemplate);
  DeleteTemplate(&m_handSplashTemplate);
}

void cDivingGame::CleanUp() {
  CSoundWrapper* sound = GetSoundWrapper();
  if (sound) sound->StopMusic();
  ReleaseCharacters();
  FreeDivingLayout(&m_layout, "cDivingGame::CleanUp");
  ReleaseAssets();
  RenderWindow* window = Window();
  // The window keeps pointers to the scene and the light record: let go of them first.
  if (window) {
    window->SetScene(nullptr);
    window->SetLightSetup(nullptr);
  }
  if (m_sceneId != -1) GetApp().GetSceneFactory()->DeleteScene(m_sceneId);
  m_sceneId = -1;
  if (sound) {
    sound->StopAll();
    if (m_effectsBank != -1) sound->FreeSampleBank(m_effectsBank);
    if (m_speechBank != -1) sound->FreeSampleBank(m_speechBank);
  }
  m_effectsBank = m_speechBank = -1;
  m_speechVoice = SoundHandle();
  if (m_lightImage) GlobalFileIO().FreeFileMemory(m_lightImage);
  m_lightImage = nullptr;
  if (m_lightRecord) TrackedDelete("cDivingGame::CleanUp", m_lightRecord);
  m_lightRecord = nullptr;
  if (m_windowId != -1) GetApp().DeleteWindow(m_windowId);
  m_windowId = -1;
  m_cameraRecord = nullptr;
  m_swimSplash = m_lastParticle = -1;
  if (InputDevice* input = GetInputDevice())
    for (int32_t i = 0; i < 4; ++i) input->m_padRemap[i] = kDefaultPadRemap[i];
}
