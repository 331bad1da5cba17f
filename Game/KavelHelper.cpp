#include "Game/KavelHelper.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "Engine/Assert.h"
#include "Engine/Input.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCLightManager.h"
#include "Engine/Random.h"
#include "Game/Helper/InputDevice.h"

namespace {

constexpr const char* kHelperFolder = "data\\KavelHelper\\";
constexpr const char* kFontName = "Book_12.wft";
constexpr const char* kShaftTexture = "lightshaft01.dds";
constexpr const char* kSceneName = "pool_water.scn";
constexpr const char* kFadingModel = "box.geo";
constexpr const char* kParticleTemplate = "bubbles.ps2";
constexpr int32_t kNoiseSize = 256;
constexpr int32_t kWindowFlags = 6;
constexpr float kTurnStep = 0.017453292f;
constexpr float kMoveStep = 10.0f;
constexpr float kQuarterTurn = 1.5707964f;
constexpr int kKey1 = 0x02;
constexpr int kKey2 = 0x03;

KavelHelper* s_current = nullptr;

BaseGameApp* CreateKavelHelper() { return TrackedNew<KavelHelper>("App::InitApp"); }

void WalkDisplayModes() {
  Display* display = GetApp().GetDisplay();
  for (int32_t i = 0; i < display->GetNumResolutions(0); ++i) {
    const _PCResolution* pAdapter = display->GetResolution(0, i);
    KASSERT(pAdapter != nullptr);
  }
}

Vector4 Scaled(const Vector4& v, float s) { return Vector4(v.x * s, v.y * s, v.z * s, v.w * s); }
Vector4 Added(const Vector4& a, const Vector4& b) {
  return Vector4(a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w);
}

void Move(KavelHelperState& state, const Vector4& step) {
  state.cameraEye = Added(state.cameraEye, step);
  state.cameraTarget = Added(state.cameraTarget, step);
}

}  // namespace

void KavelHelper::Register() { GetApp().SetGameFactory(&CreateKavelHelper); }

KavelHelper* KavelHelper::Current() { return s_current; }

int32_t KavelHelper::Init() {
  s_current = this;
  if (!Init(m_state)) return 0;
  // What the samples expect to find: the characters, the fading model, three light records and
  // a running particle system.
  App& app = GetApp();
  CreateCharacters(m_state);
  m_state.model = app.GetNodeFactory()->Add(kFadingModel);
  m_state.lights = TrackedAlloc<LightInfo>("KavelHelper::Init", KavelHelperState::kLightCount);
  if (m_state.lights)
    std::memset(static_cast<void*>(m_state.lights), 0,
                sizeof(LightInfo) * KavelHelperState::kLightCount);
  m_state.particleTemplate = app.GetParticleFactory()->Add(kParticleTemplate);
  if (RenderWindow* window = app.FindWindow(m_state.windowId);
      window && m_state.particleTemplate != -1) {
    Matrix emitter;
    emitter.Identity();
    window->AddParticleSystem(m_state.particleTemplate, emitter);
  }
  LinkedListSample(m_state);
  return 1;
}

void KavelHelper::Update() {
  Update(m_state);
  if (RenderWindow* window = GetApp().FindWindow(m_state.windowId)) RunSamples(window, m_state);
}

void KavelHelper::CleanUp() {
  CleanUp(m_state);
  if (s_current == this) s_current = nullptr;
}

int32_t KavelHelper::Init(KavelHelperState& state) {
  App& app = GetApp();
  MapFirstPadToItsStateWord();
  WalkDisplayModes();
  RenderWindow* window = TrackedNew<RenderWindow>("KavelHelper::Init");
  if (window) {
    window->Init(Vector2(0.0f, 0.0f),
                 Vector2(static_cast<float>(app.GetWidth()), static_cast<float>(app.GetHeight())),
                 Vector4(0.0f, 0.0f, 0.0f, 0.0f), kWindowFlags, 0.0f);
    state.windowId = app.AddWindow(window);
  }
  window = app.FindWindow(state.windowId);
  if (window && window->GetCamera()) {
    Camera* camera = window->GetCamera();
    camera->SetEye(Vector4(0.0f, 500.0f, 100.0f, 0.0f));
    camera->SetTarget(Vector4(0.0f, 0.0f, 100.0f, 0.0f));
    camera->SetUp(Vector4(0.0f, 0.0f, 1.0f, 0.0f));
    state.cameraTarget = camera->GetTarget();
    state.cameraEye = camera->GetEye();
  }
  state.cameraPitch = 0.0f;
  state.cameraYaw = 0.0f;
  state.cameraDirection = Vector4(0.0f, 1.0f, 0.0f, 0.0f);
  // Every frame rebuilds the target from pitch and yaw, so they must start out looking where
  // the camera was pointed: at 0, 0 the view runs along +y, away from the pool and every
  // sample, and none of the characters, lines or markers would ever be in sight.
  const Vector4 look(state.cameraTarget.x - state.cameraEye.x,
                     state.cameraTarget.y - state.cameraEye.y,
                     state.cameraTarget.z - state.cameraEye.z, 0.0f);
  if (look.x != 0.0f || look.y != 0.0f || look.z != 0.0f) {
    state.cameraYaw = std::atan2(-look.x, look.y);
    state.cameraPitch = std::atan2(look.z, std::hypot(look.x, look.y));
    state.cameraDirection = SideDirection(state, 0.0f, 0.0f);
  }
  app.SetDataDir(kHelperFolder);
  state.font = app.GetFontFactory()->AddFont(kFontName);
  state.shaftTexture = app.GetTexture()->Load(kShaftTexture);
  state.noiseTexture = app.GetTexture()->CreateSystemTexture(kNoiseSize, kNoiseSize, 0);
  state.scene = app.GetSceneFactory()->CreateScene(kSceneName);
  Scene* scene = state.scene != -1 ? app.GetSceneFactory()->FindScene(state.scene) : nullptr;
  if (window && scene) window->SetScene(scene);
  return window ? 1 : 0;
}

void KavelHelper::Update(KavelHelperState& state) {
  App& app = GetApp();
  RenderWindow* window = app.FindWindow(state.windowId);
  if (window) UpdateCamera(window, state);
  UpdateNoiseTexture(state);
  if (window) DrawFrameRate(window, state);
  if (app.GetKeyboard()->WasKeyReleased(plat::kDIK_ESCAPE)) app.SetExitFlag(1);
}

void KavelHelper::Turn(KavelHelperState& state, float pitchStep, float yawStep) {
  state.cameraPitch += pitchStep;
  state.cameraYaw += yawStep;
  state.cameraDirection = SideDirection(state, 0.0f, 0.0f);
  state.cameraTarget = Added(state.cameraEye, state.cameraDirection);
}

Vector4 KavelHelper::SideDirection(const KavelHelperState& state, float pitchOffset,
                                   float yawOffset) {
  const float pitch = state.cameraPitch + pitchOffset;
  const float yaw = state.cameraYaw + yawOffset;
  return Vector4(-std::sin(yaw) * std::cos(pitch), std::cos(yaw) * std::cos(pitch), std::sin(pitch),
                 0.0f);
}

void KavelHelper::UpdateCamera(RenderWindow* window, KavelHelperState& state) {
  Camera* camera = window->GetCamera();
  if (!camera) return;
  camera->UpdateMatrices();
  state.cameraEye = camera->GetEye();
  state.cameraTarget = camera->GetTarget();
  const uint32_t pad = g_gamePad ? g_gamePad->MappedCurrent(0) : 0;
  if (pad & kPadBitDown) Turn(state, -kTurnStep, 0.0f);
  if (pad & kPadBitUp) Turn(state, kTurnStep, 0.0f);
  if (pad & kPadBitRight) Turn(state, 0.0f, -kTurnStep);
  if (pad & kPadBitLeft) Turn(state, 0.0f, kTurnStep);
  if (pad & kPadBitButton0) Move(state, Scaled(state.cameraDirection, kMoveStep));
  if (pad & kPadBitButton3)
    Move(state, Scaled(SideDirection(state, 0.0f, -kQuarterTurn), kMoveStep));
  if (pad & kPadBitButton1) Move(state, Scaled(state.cameraDirection, -kMoveStep));
  if (pad & kPadBitButton2)
    Move(state, Scaled(SideDirection(state, 0.0f, kQuarterTurn), kMoveStep));
  Turn(state, 0.0f, 0.0f);
  camera->SetEye(state.cameraEye);
  camera->SetTarget(state.cameraTarget);
}

void KavelHelper::UpdateNoiseTexture(KavelHelperState& state) {
  if (state.noiseTexture == -1) return;
  BaseTexture* textures = GetApp().GetTexture();
  uint8_t* texels = textures->GetPixels(state.noiseTexture);
  if (!texels) return;
  const uint8_t value = static_cast<uint8_t>(RandRaw() & 0xFF);
  std::memset(texels, value, kNoiseSize * kNoiseSize * 4);
  textures->UploadPixels(state.noiseTexture);
}

void KavelHelper::DrawFrameRate(RenderWindow* window, KavelHelperState& state) {
  Keyboard* keyboard = GetApp().GetKeyboard();
  if (keyboard->WasKeyReleased(kKey1)) state.textFlag = 1;
  if (keyboard->WasKeyReleased(kKey2)) state.textFlag = 0;
  if (!window->GetScene()) return;
  BaseFont* font = state.font != -1 ? GetApp().GetFontFactory()->GetFont(state.font) : nullptr;
  char text[32];
  std::snprintf(text, sizeof(text), "FPS %i", GetApp().GetFrameRate());
  window->PrintText(text, 10, 10, 0xFFFFFFFFu, 0.0f, font);
}

void KavelHelper::CleanUp(KavelHelperState& state) {
  App& app = GetApp();
  if (state.noiseTexture != -1) app.GetTexture()->DeleteSystemTexture(state.noiseTexture);
  state.noiseTexture = -1;
  if (state.particleTemplate != -1) app.GetParticleFactory()->Delete(state.particleTemplate);
  state.particleTemplate = -1;
  if (state.scene != -1) {
    if (RenderWindow* window = app.FindWindow(state.windowId)) window->SetScene(nullptr);
    app.GetSceneFactory()->DeleteScene(state.scene);
  }
  state.scene = -1;
  if (state.windowId != -1) app.DeleteWindow(state.windowId);
  state.windowId = -1;
  if (state.font != -1) app.GetFontFactory()->DeleteFont(state.font);
  state.font = -1;
  DeleteCharacters(state);
  if (state.shaftTexture != -1) app.GetTexture()->Delete(state.shaftTexture);
  state.shaftTexture = -1;
  if (state.model != -1) app.GetNodeFactory()->DeleteNode(state.model);
  state.model = -1;
  TrackedFree("KavelHelper::CleanUp", state.lights);
  state.lights = nullptr;
}
