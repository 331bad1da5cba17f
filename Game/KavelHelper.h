#pragma once
// The engine sample harness: an application body over the engine that shows how its services
// are used. It opens a render window on the pool scene with a fly camera on the game pad,
// rewrites a system texture every frame, shows the frame rate and runs its samples: characters
// with animation sequences and bone queries, an intrusive linked list, debug lines, 3D and 2D
// polygons, lights and a fading model. Nothing in the game reaches it; its own executable
// registers it (KavelHelper::Register) and runs it instead of the game.

#include <cstdint>

#include "Engine/BaseGameApp.h"
#include "Engine/FastMath.h"

class AnimationPose;
class AnimationSequencer;
class RenderWindow;
class Skeleton;
struct LightInfo;

struct KavelHelperCharacter {
  int32_t active = 0;
  int32_t* animations = nullptr;  // three ids, owned
  int32_t model = -1;             // the shared model's node id
  AnimationSequencer* sequencer = nullptr;
  AnimationPose* pose = nullptr;
  int32_t animationIndex = 0;
  Vector4 position{0.0f, 0.0f, 0.0f, 0.0f};
  float angles[4] = {};
  float speed = 0.0f;
  Skeleton* skeleton = nullptr;
};

// The linked-list sample's records: the items carry their own links.
struct KavelListItem {
  KavelListItem* previous = nullptr;
  KavelListItem* next = nullptr;
  int32_t value = 0;
};
struct KavelList {
  KavelListItem* head = nullptr;
  KavelListItem* tail = nullptr;
};

struct KavelHelperState {
  static constexpr int32_t kCharacterCount = 4;
  static constexpr int32_t kLightCount = 3;

  int32_t windowId = -1;
  int32_t shaftTexture = -1;
  int32_t particleTemplate = -1;
  int32_t spare = -1;
  int32_t noiseTexture = -1;
  int32_t textFlag = 0;
  KavelList* list = nullptr;
  LightInfo* lights = nullptr;
  int32_t quadX = 0;
  int32_t quadY = 0;
  int32_t font = -1;
  int32_t scene = -1;
  int32_t model = -1;
  KavelHelperCharacter* characters = nullptr;
  float cameraPitch = 0.0f;
  float cameraYaw = 0.0f;
  Vector4 cameraDirection{0.0f, 1.0f, 0.0f, 0.0f};
  Vector4 cameraTarget{0.0f, 0.0f, 0.0f, 0.0f};
  Vector4 cameraEye{0.0f, 0.0f, 0.0f, 0.0f};
  // The light and fading-model samples' moving values.
  float lightPositions[2] = {-1000.0f, 1000.0f};
  float fadeAlpha = 0.01f;
  float fadeStep = 0.01f;
  // The shared model of the characters, added once and deleted once.
  int32_t characterModel = -1;
};

class KavelHelper : public BaseGameApp {
 public:
  KavelHelper() = default;
  ~KavelHelper() override { CleanUp(); }
  KavelHelper(const KavelHelper&) = delete;
  KavelHelper& operator=(const KavelHelper&) = delete;

  int32_t Init() override;
  void Update() override;
  void CleanUp() override;
  int32_t MovieSkipCheck(int32_t, int32_t) override { return 1; }

  static int32_t Init(KavelHelperState& state);
  static void Update(KavelHelperState& state);
  static void CleanUp(KavelHelperState& state);
  static void UpdateCamera(RenderWindow* window, KavelHelperState& state);
  static void Turn(KavelHelperState& state, float pitchStep, float yawStep);
  static Vector4 SideDirection(const KavelHelperState& state, float pitchOffset, float yawOffset);
  static void UpdateNoiseTexture(KavelHelperState& state);
  static void DrawFrameRate(RenderWindow* window, KavelHelperState& state);

  // ---- Samples.
  static void CreateCharacters(KavelHelperState& state);
  static void CreateAnimationSequence(KavelHelperCharacter& character);
  static void LoadAnimations(KavelHelperCharacter& character);
  static void DrawCharacters(KavelHelperState& state, RenderWindow* window);
  static void UpdateCharacter(KavelHelperState& state, KavelHelperCharacter& character,
                              RenderWindow* window);
  static void DeleteCharacters(KavelHelperState& state);
  // Builds, checks and empties a list of four items; the order read after the insertions.
  static int32_t LinkedListSample(KavelHelperState& state, int32_t* order = nullptr);
  static void DebugLineSample(RenderWindow* window);
  static void LightShaftSample(RenderWindow* window, KavelHelperState& state);
  static void ScreenQuadSample(RenderWindow* window, KavelHelperState& state);
  static void LightSample(RenderWindow* window, KavelHelperState& state);
  static void FadingModelSample(RenderWindow* window, KavelHelperState& state);
  static Vector4 ProjectToScreen(const Vector4& point);

  KavelHelperState& State() { return m_state; }

  static void Register();
  // The harness body while one is initialised, else null.
  static KavelHelper* Current();

 private:
  // The samples the harness's own executable shows each frame.
  static void RunSamples(RenderWindow* window, KavelHelperState& state);

  KavelHelperState m_state;
};
