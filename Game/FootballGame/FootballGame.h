#pragma once
// The penalty-kick game: Dulcie kicks at a goal guarded by a keeper and five defenders, past
// coloured targets, with Clemency beside the right touchline and Orwen riding his bicycle behind
// the kick spot. A power bar and a wind indicator sit on the screen; the clock runs 240 seconds
// (120 and 300 in the challenges, which also ask for 3 and 6 goals).
//
// The pitch's axes: x runs towards the far goal line (the goal lies towards -x from the kick
// spot), y across the pitch, z up. The ball rests at z = 10, its radius.
//
// The sources are split by area: FootballGame.cpp (construction, loading, clean-up, the state
// hash), FootballRender.cpp, FootballCamera.cpp, FootballKickSetup.cpp, FootballPlay.cpp (the
// per-tick state machine), FootballBall.cpp (aim, kick and flight), FootballKeeper.cpp and
// FootballTargets.cpp (targets, bystanders, defenders' hits and scores).
//
// Members are public: the play state is a record the two-player check hashes and the tests pin.

#include <cstdint>

#include "Engine/BaseRenderWindow.h"
#include "Engine/FastMath.h"
#include "Game/FootballGame/Defender.h"
#include "Game/GameBaseClass.h"
#include "Game/Helper/GameCamera.h"
#include "Game/Sound/CSoundWrapper.h"

class AnimationHelper;
class BipedCollision;
class RenderWindow;
class Scene;

class cfootballgame : public GameBaseClass {
 public:
  static constexpr int32_t kGameId = 3;
  static constexpr int32_t kTargetCount = 4;
  static constexpr int32_t kOrwenPathPoints = 10;
  static constexpr int32_t kHudTextureCount = 15;
  static constexpr float kBallRadius = 10.0f;

  // The HUD textures in load order (their index in `hudTextures`).
  enum HudTexture : int32_t {
    kTexGorstIcon,
    kTexPowerBar,
    kTexPowerSlider,
    kTexGoalsBackground,
    kTexWindBackground,
    kTexWindLeft,
    kTexWindRight,
    kTexWindMiddle,
    kTexPowerBackground,
    kTexPowerRedMiddle,
    kTexPowerBlueMiddle,
    kTexPowerBlueTop,
    kTexPowerRedBottom,
    kTexPowerIndicator,
    kTexPowerArrow,
  };

  // Play phases.
  enum Phase : int32_t {
    kPhaseIntro = 0,
    kPhaseAim = 3,
    kPhaseRunUp = 4,
    kPhaseFlight = 5,
    kPhaseGoalOrbit = 6,
    kPhaseNextKick = 7,
    kPhaseTargetHit = 8,
    kPhaseMessage = 9,
    kPhaseCelebration = 10,
    kPhaseKeeperHolds = 11,
    kPhaseTimeUp = 12,
    kPhaseEnd = 13,
  };
  // Ball sub-states: the predicted outcome of a kick, then the live state.
  enum BallState : int32_t {
    kBallNoOutcome = 0,
    kBallAtRest = 1,
    kBallGoalBound = 2,
    kBallTarget = 3,
    kBallWoodwork = 4,
    kBallWide = 5,
    kBallOut = 6,
    kBallNearGoal = 7,
    kBallDeflected = 8,
    kBallHitClemency = 9,
    kBallHitOrwen = 10,
    kBallParried = 11,
    kBallParriedWide = 12,
  };

  cfootballgame(int32_t mode, int32_t level);
  ~cfootballgame() override;

  // ---- GameBaseClass (FootballGame.cpp, FootballPlay.cpp, FootballRender.cpp).
  int32_t Init() override;
  int32_t Update() override;
  void Render() override;
  void CleanUp() override;
  uint32_t GetStateHash() override;
  int32_t LoadPhase1() override;
  int32_t LoadPhase2() override;
  int32_t LoadPhase3() override;
  void StartMusic() override;
  void StartPlay() override;

  // ---- Loading (FootballGame.cpp).
  void InitialiseCharacterAnimations();
  void InitialiseCharacterBipeds();
  void AssignCharacterModels();
  void StartCharacterSkeletons();
  // Reads the scene's locators into the pitch's geometry (a missing scene reads nothing).
  void ReadLocators(Scene* scene);
  void ApplyLocator(const char* name, const Matrix& matrix);

  // ---- Kick set-up and wind (FootballKickSetup.cpp).
  void StartNewRound();
  void DrawWind();
  void PrepareRunUp();
  void UpdateViewBlocking();
  void UpdateFarFlags();
  void ComputeOrwenPath();

  // ---- Camera (FootballCamera.cpp).
  void UpdateCamera();
  // The eye behind the ball at distance d with sideways offset s; false outside the pitch box.
  bool BehindBallView(float distance, float side, float margin);
  bool InsidePitchBox(float margin) const;
  void ApplyCameraView();

  // ---- The play state machine (FootballPlay.cpp).
  void ResetGame();
  void UpdateIntro();
  void PrepareNextKick();
  void WaitForMessage();
  void UpdateGoalOrbit();
  void UpdateCharacters();
  void UpdateClock();
  int32_t StepPhase();
  void StepFlight();
  void StepFlightAtRest();
  void StepFlightLive();
  void StepFlightDeflected();
  void StepFlightClemency();
  void StepFlightOrwen();
  void StepFlightParried();
  void KeeperRecovery();
  void StepCelebration();
  void StepKeeperHolds();
  void StartGoalSequence();
  void StartGoalBoundGoal();
  void StartSave();
  void CountGoal();
  void AllDefendersIntercept();
  void HaltDefenders();
  void FadeDownToNextKick(int32_t retake);
  void ShowMessage(int32_t textId, float seconds);
  void PlayEffectIfPresent(int32_t sample);
  SoundHandle PlaySpeechIfPresent(int32_t sample);
  void StartFade(int32_t direction, float duration);
  void SetPitchFov(float fov);
  bool OutOfPlayBox() const;
  void BallOut();

  // ---- Kick and ball flight (FootballBall.cpp).
  void UpdateAimAndPower();
  void TurnAim(float step);
  void UpdateRunUp();
  void Kick();
  // The speed a kick leaves with when the power bar stands at `bar` (300 is the weakest).
  static float KickSpeedFor(float bar) { return ((300.0f - bar) + 10.0f) * 7.0f; }
  void PredictFlight();
  void PredictGoalPlane(const Vector4& keptVelocity, const Vector4& keptPosition,
                        const Vector4& keptSpin);
  void StepBall();
  void TestFrame(const Vector4& newPosition, const Vector4& oldPosition);
  void BounceOffWoodwork();
  void BounceOffPost(float postY, bool rightPost);
  void BounceOffBar(bool meetsPost);
  void CheckBallAtRest();
  void ResetToKickSpot();
  void SetDirectionFromHeading();
  void DrawFrameLines();

  // ---- Goalkeeper (FootballKeeper.cpp).
  void PlanKeeperMove();
  void UpdateKeeper();
  void KeeperWalk();
  void KeeperDive();
  float KeeperError();
  void CheckKeeperHit();
  void KeeperQueue(int32_t animation, float blend, int32_t loop);
  void SetKeeperWalkTarget(float clamp);

  // ---- Targets, bystanders and scores (FootballTargets.cpp).
  void CheckTargets();
  void CheckClemencyHit();
  void CheckOrwenHit();
  void CheckDefenderHits();
  void DefenderHit(int32_t index, int32_t part);
  void StartOrwenCrossing();
  void AdvanceOrwen();
  void PlayDeflectionReaction();
  int32_t StartEffect(int32_t effect, const Vector4& at);
  int32_t GoalPoints() const;

  // ---- Rendering (FootballRender.cpp).
  RenderWindow* PitchWindow() const;
  RenderWindow* OverlayWindow() const;
  void DrawModel(int32_t geo, const Matrix& world, const Vector4& colour, AnimationHelper* anim,
                 RenderWindow* window = nullptr);
  void DrawShadow(int32_t geo, float x, float y, float scale);
  void DrawHud();
  void DrawGoalsCounter();
  void DrawWindBar();
  void DrawPowerBar();
  void DrawTargets();
  void DrawAimArrow();
  void DrawBall();
  void DrawWindArrow();
  void DrawKeeper();
  void DrawDefenders();
  void DrawDulcie();
  void DrawIntroDulcie();
  void DrawClemency();
  void DrawOrwen();
  void DrawIconRow();
  void DrawCharacterAt(AnimationHelper* anim, const Vector4& at, float heading);
  void ApplyFade();

  // ---- Windows, models and textures (Part of the loaded state).
  int32_t sceneWindowId = -1;
  int32_t overlayWindowId = -1;
  int32_t ballGeo = -1;
  int32_t arrowGeo = -1;
  int32_t targetGeo = -1;
  int32_t windArrowGeo = -1;
  int32_t shadowBlobGeo = -1;
  int32_t shadowBlobSmallGeo = -1;
  int32_t shadowBlobLargeGeo = -1;
  int32_t gorstIconCount = 3;
  int32_t level = 0;
  int32_t mode = 0;
  int32_t pitchScene = -1;
  // The 15 HUD textures in load order; named handles below alias into this table.
  int32_t hudTextures[kHudTextureCount] = {-1, -1, -1, -1, -1, -1, -1, -1,
                                           -1, -1, -1, -1, -1, -1, -1};
  void* lightImage = nullptr;
  int32_t lightImageSize = 0;
  LightSetup* lightRecord = nullptr;
  int32_t redTargetFx = -1, whiteTargetFx = -1, blueTargetFx = -1, grassFx = -1;
  int32_t lastEffect = -1;

  // ---- Characters.
  cDefender* defenders[kDefenderCount] = {};
  AnimationHelper* dulcieAnim = nullptr;
  int32_t dulcieStand = -1, dulcieRun = -1, dulcieKickSoft = -1, dulcieKickHard = -1,
          dulcieCelebrate = -1, dulcieLosing = -1;
  AnimationHelper* clemencyAnim = nullptr;
  int32_t clemencyStand = -1, clemencyRun = -1, clemencyHitInHead = -1, clemencyHitInChest = -1,
          clemencyHitInLegs = -1;
  AnimationHelper* keeperAnim = nullptr;
  int32_t keeperStand = -1, keeperSaveCentre = -1, keeperSaveLowCentreStart = -1,
          keeperSaveHighCentre = -1, keeperSaveShortLeft = -1, keeperSaveShortRight = -1,
          keeperSaveLowLeft = -1, keeperSaveMidLeft = -1, keeperSaveHighLeft = -1,
          keeperSaveLowRight = -1, keeperSaveMidRight = -1, keeperSaveHighRight = -1,
          keeperStepLeft = -1, keeperStepRight = -1, keeperStepForward = -1, keeperCelebrate = -1,
          keeperSaveLowCentreEnd = -1, keeperGetUpLeft = -1, keeperGetUpRight = -1;
  AnimationHelper* orwenAnim = nullptr;
  int32_t orwenCycle = -1, orwenHitFall = -1;
  AnimationHelper* bikeAnim = nullptr;
  int32_t bikeCycle = -1, bikeHitFall = -1;
  BipedCollision* keeperBiped = nullptr;
  BipedCollision* clemencyBiped = nullptr;

  // ---- The pitch, from the scene's locators.
  Vector4 goalCentre{0.0f, 0.0f, 0.0f, 1.0f};
  float leftPostY = 0.0f, rightPostY = 0.0f, crossbarZ = 0.0f;
  float leftTouchlineY = 0.0f, rightTouchlineY = 0.0f, farGoalLineX = 0.0f;
  Vector4 targetZones[kTargetCount];
  Vector4 startPosition{0.0f, 0.0f, 10.0f, 1.0f};
  Vector4 orwenPath[kOrwenPathPoints];
  float orwenPathHeading[kOrwenPathPoints] = {};
  Vector4 celebratePosition, celebrateCamera;
  Vector4 introCamera1, introCamera2, introCameraTarget1, introCameraTarget2;
  Vector4 dulcieStartPosition;

  // ---- Play (every word the state hash reads is initialised here).
  int32_t phase = kPhaseIntro;
  int32_t ballState = kBallNoOutcome;
  int32_t woodworkPart = 0;
  Vector4 aim, savedAim, ballPosition, keeperPosition;
  float kickSpeed = 0.0f;
  uint32_t flightTicks = 0;
  float heading = 0.0f;
  float savedHeading = 0.0f;
  Vector4 ballVelocity;
  float ballSpeed = 0.0f;
  Vector4 ballSpin, wind;
  float maxWind = 0.014142136f;
  float windStrength = 0.0f;
  float windArrowAngle = 0.0f;
  int32_t targetLit[kTargetCount] = {1, 1, 1, 1};
  int32_t targetsHit = 0;
  int32_t shotClass = 0;
  uint32_t contactTick = 0;
  uint32_t frameContactTick = 0;
  int32_t goalPending = 0;
  int32_t retakeFromSpot = 0;
  uint32_t goals = 0;
  uint32_t timeLeft = 240;
  uint32_t secondTicks = 0;
  float frameRate = 60.0f;
  float tickTime = 1.0f / 60.0f;
  float stopSpeed = 10.0f;
  float tickRate = 2.0f;
  Vector4 kickSpot;
  float ballRoll = 0.0f;
  float powerBar = 300.0f;
  float runUp = 0.0f;
  float approachAngle = 0.0f;
  Vector4 aimArrow[2];
  Vector4 goalCrossing, restingSpot;
  Vector4 keeperPlanePoint;
  uint32_t keeperPlaneTick = 0;
  int32_t keeperPlaneSeen = 0;
  int32_t cameraHold = 0;
  SoundHandle frameSpeech;
  int32_t frameSpeechPlaying = 0;
  int32_t introStep = 0;
  float introTime = 0.0f;
  int32_t timeUpDuringRunUp = 0;
  int32_t lastReaction = 37;
  // Once per game, not per program: a second game starts with a clean cheer and orbit, so two
  // machines with different histories play alike.
  int32_t cheerPlayed = 0;
  float orbitAngle = 0.0f;
  int32_t clemencyHitAnim = -1;
  int32_t clemencyVisible = 1;
  Vector4 clemencyPosition;
  Vector4 runUpStart, runUpEnd;
  float runUpHeading = 0.0f;
  float runUpCameraSide = 0.0f;
  Vector4 dulcieSpot;

  // Orwen's crossing.
  float orwenSegmentLength[kOrwenPathPoints - 1] = {};
  int32_t orwenActive = 0;
  int32_t orwenDelay = 0;
  int32_t orwenSegment = 0;
  int32_t orwenNextPoint = 1;
  float orwenSegmentT = 0.0f;
  float orwenStep = 8.0f;
  Vector4 orwenPosition;
  float orwenHeading = 0.0f;

  // The goalkeeper.
  Vector4 keeperHome, keeperTarget;
  float keeperMoveLength = 0.0f;
  float keeperMoveT = 0.0f;
  int32_t keeperCommitted = 0;
  int32_t keeperDiveStarted = 0;
  float keeperError = 0.0f;
  int32_t keeperReaction = 24;
  float keeperStep = 3.0f;

  // The camera.
  GameCamera camera;
  Vector4 cameraEye, cameraLook, celebrationLook;

  // Ticks PredictFlight runs at most: a kick at full power has come to rest long before.
  static constexpr uint32_t kMaxPredictedTicks = 60 * 60;
};
