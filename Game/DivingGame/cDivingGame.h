#pragma once
// The pool diving game: Jory gets out of his wheelchair, walks along the pool, climbs to one of
// three boards and dives, while Cobb talks and the lifeguard looks on. The player presses the
// action button to walk (each press a burst of speed), chooses a board in its ladder window,
// stops the power bar to take off, spins and enters named dives by three-button combinations in
// the air, and is judged on the entry. Sitting back down in the chair ends the run.
//
// The game is split by concern: loading and clean-up (DivingGame.cpp), drawing
// (DivingRender.cpp), the tick and its phase word (DivingPlay.cpp), the dive
// (DivingDive.cpp), Cobb's talk and the end of a run (DivingCommentary.cpp) and Jory's walks
// and climbs (DivingWalk.cpp).

#include <cstdint>

#include "Engine/FastMath.h"
#include "Game/DivingGame/DivingLayout.h"
#include "Game/DivingGame/DivingRules.h"
#include "Game/GameBaseClass.h"
#include "Game/Helper/GameCamera.h"
#include "Game/Sound/CSoundWrapper.h"

class AnimationHelper;
class Camera;
class Skeleton;
struct LightSetup;

class cDivingGame : public GameBaseClass {
 public:
  static constexpr int32_t kGameId = 1;

  // Jory's animations, in loading order.
  enum JoryAnim : int32_t {
    kSit,
    kSitOnGround,
    kSittingOnGroundLoop,
    kHanging,
    kOutOfWheelchair,
    kIntoWheelchair,
    kStand,
    kWalk,
    kRun,
    kClimbLoop,
    kSwim,
    kTreadWater,
    kOutOfPool,
    kWalkToCrouch,
    kCrouchToJump,
    kDiveAeroplane,
    kDiveCorkscrew,
    kDiveTorpedo,
    kDivePike,
    kDiveTuck,
    kDive,
    kClimbStepLoop,
    kJoryAnimCount,
  };
  enum CobbAnim : int32_t {
    kCobbStand,
    kCobbWalk,
    kCobbStandTalk,
    kCobbTurnLow,
    kCobbTurnGround,
    kCobbTurnHigh,
    kCobbAnimCount,
  };
  enum LifeguardAnim : int32_t { kGuardStand, kGuardListen, kGuardWalk, kGuardAnimCount };

  // What Jory's current animation is for (read when it ends).
  enum JoryAction : int32_t {
    kActionNone = 0,
    kActionOutOfChair = 1,
    kActionIntoChair = 2,
    kActionToPath = 3,
    kActionClimbSteps = 6,
    kActionLadder = 7,
    kActionTakeOff = 9,
    kActionOutOfPool = 10,
    kActionStopped = 11,
    kActionWalkRoute = 12,
  };

  // The ten HUD textures, in loading order.
  enum HudTexture : int32_t {
    kTexPowerBar,
    kTexPowerSlider,
    kTexChallengeIcon,
    kTexBarBackground,
    kTexBarRedMiddle,
    kTexBarBlueMiddle,
    kTexBarBlueTop,
    kTexBarRedBottom,
    kTexBarIndicator,
    kTexBarArrow,
    kHudTextureCount,
  };
  static constexpr int32_t kSplashCount = 8;
  static constexpr int32_t kDiveListSize = 20;

  cDivingGame(int32_t mode, int32_t level);
  ~cDivingGame() override = default;

  int32_t Init() override;
  int32_t Update() override;
  void Render() override;
  void CleanUp() override;
  uint32_t GetStateHash() override { return 0; }
  int32_t LoadPhase1() override;
  int32_t LoadPhase2() override;
  int32_t LoadPhase3() override;
  void StartMusic() override;
  void StartPlay() override;

  void CalculateNodeDistances();
  void ResetToStart();

  // ---- Read by tests and the benchmark.
  int32_t GetDivePhase() const { return m_divePhase; }
  int32_t GetWindowId() const { return m_windowId; }
  int32_t GetJoryAction() const { return m_joryAction; }
  int32_t GetCameraShot() const { return m_cameraShot; }
  int32_t GetTimeLeft() const { return m_timeLeft; }
  uint32_t GetDivesDone() const { return m_divesDone; }
  uint32_t GetNodeIndex() const { return m_nodeIndex; }
  int32_t GetChosenBoard() const { return m_chosenBoard; }
  int32_t GetLadderWindow() const { return m_ladderWindow; }
  int32_t GetChairOffer() const { return m_chairOffer; }
  int32_t GetSequenceKind() const { return m_sequenceKind; }
  int32_t GetEndStep() const { return m_endStep; }
  int32_t GetNamedDives() const { return m_namedDives; }
  int32_t GetNamedKind() const { return m_namedKind; }
  int32_t GetSomersaults() const { return m_somersaults; }
  int32_t GetLastEntryScore() const { return m_lastEntryScore; }
  float GetPower() const { return m_power; }
  const Vector4& GetJoryPosition() const { return m_joryPos; }
  const float* GetJoryRotation() const { return m_joryRot; }
  const DivingLayout& GetLayout() const { return m_layout; }
  uint32_t GetDiveListCount() const { return m_diveListCount; }
  const int32_t* GetDiveList() const { return m_diveList; }
  float GetVerticalSpeed() const { return m_verticalSpeed; }
  void SetTimeLeft(int32_t seconds) { m_timeLeft = seconds; }
  void SetDivesDone(uint32_t dives) { m_divesDone = dives; }
  int32_t GetCobbState() const { return m_cobbState; }

  // The end-sequence line chains by reaction kind (the lines after the first).
  static int32_t FurtherLines(int32_t kind, int32_t overshoot, const int32_t** lines);

 private:
  // ---- Loading and clean-up (DivingGame.cpp).
  void LoadHudTextures();
  void LoadAnimations();
  bool ReadSceneNodes();
  void SetUpCharacters();
  void ReleaseCharacters();
  void ReleaseAssets();
  RenderWindow* Window() const;

  // ---- Drawing (DivingRender.cpp).
  void DrawScene(RenderWindow* window);
  void PlaceCamera(RenderWindow* window);
  void DrawCharacters(RenderWindow* window);
  void DrawProps(RenderWindow* window);
  void DrawHud(RenderWindow* window);
  void DrawPowerBar(RenderWindow* window);
  void DrawDiveList(RenderWindow* window);
  void DrawIconRow(RenderWindow* window);
  void AddModel(RenderWindow* window, int32_t model, const Matrix& world, uint32_t flags,
                const Vector4& colour, Skeleton* pose);

  // ---- The tick (DivingPlay.cpp).
  void SetPadRemap();
  void StepPulse();
  void ShowPrompts();
  void RunClock();
  void UpdateCharacters();
  void UpdatePhase();
  void HandleGroundInput();
  void OnTurnPress();
  void TimeUpTick();
  void StopAfterTimeUp();
  void StopJory(int32_t cameraShot);
  void OnJoryAnimEnd(float overshoot);
  void OnOutOfChair(float overshoot);
  void OnLadderEnd();
  void OnOutOfPool();
  void OnStopped();
  static void JoryAnimEndCallback(void* userData, float overshoot);
  int32_t Pressed(uint32_t mask) const;

  // ---- The dive (DivingDive.cpp).
  void UpdatePowerBar();
  void OrbitCamera();
  void TakeOff();
  void HandleAirInput();
  void MatchDiveCombo();
  void UpdateDive();
  void SpinInFlight();
  void CheckTopOfFlight();
  void JudgeTheEntry();
  void Splash(int32_t quality);
  void SettleUnderWater();
  void UpdateSwim();
  void RiseToSurface();
  void Surfaced();
  void SwimRoute();
  void ClimbOutOfPool();
  void SwimStrokes();
  void AddDiveEvent(int32_t kind);
  int32_t StartSplash(int32_t templateId, float x, float y);
  bool HandPosition(int32_t bone, Vector4* out);

  // ---- Cobb's talk and the end of a run (DivingCommentary.cpp).
  void IdleTalk();
  void UpdateEndSequence();
  void EndWaitForCobb();
  void EndLines();
  void EndAfterFade();
  int32_t CobbTurnAnim() const;
  int32_t FirstLine();

  // ---- Jory's walks and climbs (DivingWalk.cpp).
  void UpdateInChair();
  void WalkToPath();
  void WalkPath();
  void PathSegmentEnd();
  void UpdateLadderWindow();
  void ClimbStart();
  void ClimbTick(float r);
  void ClimbChecks();
  void FinishClimb11();
  void FinishClimb15();
  void WalkBoardRoute();
  void BoardSegmentEnd();
  void FinishBoardRoute();
  void UpdateLadder();
  void WalkToChairRoute();
  void ReturnToChair();
  void JoryWalk(float r);
  void Stride(float r);
  void Footstep();
  void OnClimbLoopEnd(float overshoot);
  Vector4 ClimbPointNow() const;
  void PlaceOnSegment(const Vector4& start, const Vector4& end, float previousHeading,
                      float startHeading, float endHeading);

  // ---- Shared helpers.
  int32_t JoryAnimId(int32_t anim) const { return m_joryAnims[anim]; }
  void JoryStart(int32_t anim, int32_t loop, float overshoot = 0.0f);
  void JoryQueue(int32_t anim, float blend, int32_t loop);
  void CobbQueue(int32_t anim, float blend, int32_t loop);
  void PlayEffect(int32_t sample, float volume);
  void PlayEffectAt(int32_t sample, float volume, const Vector4& position);
  SoundHandle PlaySpeechLine(int32_t line, const Vector4* position);
  Matrix JoryMatrix() const;
  Vector4 RotateByJory(const Vector4& v) const;
  float Fps() const;
  int32_t DivesNeeded() const;
  void SetWindowFov(float fov);

  // ---- Window, camera, scene.
  int32_t m_windowId = -1;
  GameCamera m_camera;
  Camera* m_cameraRecord = nullptr;
  Vector4 m_cameraLimits[2];
  int32_t m_sceneId = -1;
  void* m_lightImage = nullptr;
  int32_t m_lightSize = 0;
  LightSetup* m_lightRecord = nullptr;
  int32_t m_iconCount = 3;
  float m_startCameraDistance = -5000.0f;
  float m_orbitStep = 5.0f;
  int32_t m_cameraShot = 0;
  float m_cameraProgress = 0.0f;

  // ---- Loaded things.
  DivingLayout m_layout;
  AnimationHelper* m_jory = nullptr;
  AnimationHelper* m_cobb = nullptr;
  AnimationHelper* m_lifeguard = nullptr;
  int32_t m_joryAnims[kJoryAnimCount];
  int32_t m_cobbAnims[kCobbAnimCount];
  int32_t m_lifeguardAnims[kGuardAnimCount];
  int32_t m_cobbModel = -1;
  int32_t m_lifeguardModel = -1;
  int32_t m_boardModel = -1;
  int32_t m_wheelchairModel = -1;
  int32_t m_shadowModel = -1;
  int32_t m_hudTextures[kHudTextureCount];
  int32_t m_splash[kSplashCount];
  int32_t m_surfaceTemplate = -1;
  int32_t m_handSplashTemplate = -1;
  int32_t m_leftHand = -1;
  int32_t m_rightHand = -1;

  // ---- The run.
  int32_t m_difficulty = 0;
  int32_t m_playWord2 = 2;
  int32_t m_timeLeft = 180;
  uint32_t m_secondCounter = 0;
  uint32_t m_divesDone = 0;
  int32_t m_divePhase = 0;
  int32_t m_joryAction = 0;
  Vector4 m_joryPos;
  float m_joryRot[4] = {};
  Vector4 m_walkStart;
  uint32_t m_nodeIndex = 0;
  uint32_t m_nextNodeIndex = 1;
  float m_progress = 0.0f;
  float m_walkSpeed = 0.0f;
  float m_minWalkSpeed = 0.1f;
  float m_maxWalkSpeed = 6.0f;
  int32_t m_ladderWindow = 0;
  int32_t m_turnRequest = 0;
  uint32_t m_board0TurnPoint = 2;
  uint32_t m_board1TurnPoint = 12;
  uint32_t m_board0WindowStart = 0;
  uint32_t m_board1WindowStart = 10;
  int32_t m_chosenBoard = 0;
  int32_t m_diveBoard = 0;
  float m_distanceShown = 0.0f;
  float m_distanceTotal = 0.0f;
  int32_t m_walking = 0;
  int32_t m_strideState = 0;
  int32_t m_strideTrack = 0;
  float m_stridePhase = 0.0f;
  float m_strideRate = 0.0f;
  int32_t m_footFlag = 1;
  int32_t m_climbStarted = 0;
  int32_t m_climbLoops = 0;
  Vector4 m_climbPoint;
  float m_climbHeight = 0.0f;
  float m_climbOffset = 0.0f;
  int32_t m_playFlag = 1;
  int32_t m_chairOffer = 0;
  int32_t m_chairChosen = 0;
  float m_pulse = 0.0f;
  float m_pulseStep = 0.05f;
  // Presses are counted once per frame, not once per tick of a frame that runs several.
  int64_t m_inputFrame = -1;
  int32_t m_freshInput = 0;

  // ---- The dive.
  float m_power = 100.0f;
  int32_t m_diveRequest = 0;
  int32_t m_requestedDive = 0;
  float m_verticalSpeed = 0.0f;
  float m_pitchRate = 0.0f;
  float m_twistRate = 0.0f;
  float m_pitchRef = 0.0f;
  float m_twistRef = 0.0f;
  int32_t m_somersaults = 0;
  int32_t m_twists = 0;
  int32_t m_namedDives = 0;
  int32_t m_namedKind = 0;
  int32_t m_diveAvailable[kNamedDiveCount] = {};
  DiveCombo m_combo;
  int32_t m_diveList[kDiveListSize] = {};
  uint32_t m_diveListCount = 0;
  uint32_t m_diveListShown = 0;
  int32_t m_entryTime = 0;
  float m_apex = 0.0f;
  int32_t m_entryQuality = 0;
  int32_t m_lastEntryScore = 0;
  int32_t m_inWater = 0;
  float m_entryRot[4] = {};
  Vector4 m_entryPoint;
  int32_t m_surfaced = 0;
  int32_t m_swimSplash = -1;
  int32_t m_lastParticle = -1;
  int32_t m_overshoot = 0;
  int32_t m_badLanding = 0;
  int32_t m_challenge3 = 0;
  int32_t m_challenge2 = 0;

  // ---- Cobb and the end of a run.
  SoundHandle m_speechVoice;
  int32_t m_talkStarted = 0;  // StartPlay has played the first line
  uint32_t m_talkIndex = 0;
  int32_t m_cobbState = 0;
  float m_cobbTurn = 0.0f;
  Vector4 m_cobbDrawAngles;
  int32_t m_sparePlay = 0;
  int32_t m_sequenceFlag = 0;
  int32_t m_sequenceKind = 0;
  int32_t m_timeUp = 0;
  int32_t m_endStep = 0;
  int32_t m_endWaitTicks = 0;  // ticks spent in end step 0
  int32_t m_lineIndex = 0;
  int32_t m_firstLinePending = 0;
};
