#pragma once
// The garden game: Tessel walks a walled garden, pulls up plants and small trees, carries,
// bashes, throws and stamps them for points, flashes at the men in white coats who patrol the
// paths, and is caught when one reaches her. Three levels, each with its own scene and path maps;
// the challenge modes ask for 20 plants, or exactly 4 trees, in 60 seconds.
//
// Nothing in the menus creates this game; it is complete behind GameBaseClass all the same.
//
// The class is split by area: TesselGame.cpp (construction, loading, level start and end,
// clean-up), TesselLevelMap.cpp (a level's nodes, enemies, boxes, trees and plants),
// TesselEnemies.cpp (the enemies' per-tick decisions and pair rules), TesselPlay.cpp (Update and
// the player's actions), TesselItems.cpp (plants and trees in the hand and in flight) and
// TesselRender.cpp (drawing and the HUD).

#include <cstdint>

#include "Engine/FastMathBounds.h"
#include "Game/GameBaseClass.h"
#include "Game/Helper/GameCamera.h"
#include "Game/Sound/CSoundWrapper.h"
#include "Game/TesselGame/TesselPathMap.h"

class AnimationHelper;
class RenderWindow;
class Scene;
class Skeleton;
class DebugLines;
struct GameNode;
struct LightSetup;
class cTesselEnemy;

enum TesselPlayState : int32_t {
  kTesselIntro = 0,
  kTesselFree = 1,
  kTesselFreeResume = 2,
  kTesselFlash = 3,
  kTesselPullPlant = 4,
  kTesselPullTree = 5,
  kTesselCarryPlant = 6,
  kTesselCarryTree = 7,
  kTesselBashPlant = 8,
  kTesselBashTree = 9,
  kTesselThrowPlant = 10,
  kTesselThrowTree = 11,
  kTesselLevelOver = 12,
  kTesselCaught = 13,
  kTesselNoLivesLeft = 14,
  kTesselGameOver = 15,
};

// Tessel's animations, in the order of the member table.
enum TesselAnim : int32_t {
  kAnimStand,
  kAnimWalk,
  kAnimRun,
  kAnimStamp,
  kAnimFlashStart,
  kAnimFlashEnd,
  kAnimPullPlant,
  kAnimThrowPlant,
  kAnimBashPlant,
  kAnimStandPlant,
  kAnimWalkPlant,
  kAnimRunPlant,
  kAnimPullTree,
  kAnimThrowTree,
  kAnimStandTree,
  kAnimWalkTree,
  kAnimBashTree,
  kAnimPhoneStart,
  kAnimPhoneLoop,
  kTesselAnimCount,
};

// Particle templates, in load order.
enum TesselEffect : int32_t {
  kFxFlowers01 = 0,  // five, by plant kind
  kFxFlowers02 = 5,  // five, by plant kind
  kFxMudSpray = 10,
  kFxLeaves = 11,
  kFxPlantCollision = 12,
  kFxHeadStars = 13,
  kFxLeavesBig = 14,
  kFxTreeCollision = 15,
  kTesselEffectCount = 16,
};

struct TesselTree {
  uint32_t node;
  Vector4 position;
  uint32_t standing;
};

struct TesselPlant {
  uint32_t node;
  int32_t model;
  uint32_t kind;  // 0..4 for "a".."e"
  Vector4 position;
  uint32_t present;
};

class cTesselGame : public GameBaseClass {
 public:
  static constexpr int32_t kGameId = 8;
  static constexpr int32_t kLevelCount = 3;
  static constexpr int32_t kMaxEnemyStarts = 6;
  static constexpr int32_t kPlantKinds = 5;
  static constexpr int32_t kScriptLength = 8;
  static const int32_t kGardenScript[kScriptLength];

  cTesselGame(int32_t mode, int32_t level);
  ~cTesselGame() override;

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

  // ---- Level map (TesselLevelMap.cpp).
  void LoadMap(RenderWindow* window, int32_t level);
  void FreeMap();

  // The enemies' decisions of one tick and the pair rules (TesselEnemies.cpp).
  void UpdateEnemies();

  // ---- The three small operations.
  void ChasePair(uint32_t a, uint32_t b);
  DebugLines* GetDebugLines();
  void ReloadPlayerModel();

  // ---- Read by tests and the HUD.
  RenderWindow* Window() const;
  int32_t GetWindowId() const { return m_windowId; }
  int32_t GetPlayState() const { return m_playState; }
  void SetPlayState(int32_t state) { m_playState = state; }
  int32_t GetLevelIndex() const { return m_levelIndex; }
  int32_t GetLives() const { return m_lives; }
  uint32_t GetTimeLeft() const { return m_timeLeft; }
  void SetTimeLeft(uint32_t seconds) { m_timeLeft = seconds; }
  const Vector4& GetPlayerPosition() const { return m_playerPosition; }
  void SetPlayerPosition(const Vector4& p) { m_playerPosition = p; }
  const Vector4& GetStartPosition() const { return m_startPosition; }
  float GetHeading() const { return m_heading; }
  void SetHeading(float heading) { m_heading = heading; }
  float GetWalkSpeed() const { return m_walkSpeed; }
  float GetRunSpeed() const { return m_runSpeed; }
  float GetMoveStep() const { return m_moveStep; }
  uint32_t GetEnemyCount() const { return m_enemyCount; }
  cTesselEnemy* GetEnemy(uint32_t i) const;
  uint32_t GetJunctionCount() const { return m_junctionCount; }
  uint32_t GetIntermediateCount() const { return m_intermediateCount; }
  TesselNavNode* GetJunctions() const { return m_junctionNodes; }
  TesselNavNode* GetIntermediates() const { return m_intermediateNodes; }
  uint32_t GetBoxCount() const { return m_boxCount; }
  const BoundingBox* GetBoxes() const { return m_boxes; }
  uint32_t GetTreeCount() const { return m_treeCount; }
  TesselTree* GetTrees() const { return m_trees; }
  uint32_t GetPlantCount() const { return m_plantCount; }
  TesselPlant* GetPlants() const { return m_plants; }
  uint32_t GetPlantsDestroyed() const { return m_plantsDestroyed; }
  uint32_t GetTreesDestroyed() const { return m_treesDestroyed; }
  void SetPlantsDestroyed(uint32_t n) { m_plantsDestroyed = n; }
  void SetTreesDestroyed(uint32_t n) { m_treesDestroyed = n; }
  int32_t GetSceneId(int32_t level) const { return m_sceneIds[level]; }
  const void* GetJunctionMap(int32_t level) const { return m_junctionMaps[level]; }
  const void* GetIntermediateMap(int32_t level) const { return m_intermediateMaps[level]; }
  LightSetup* GetLightBlock(int32_t level) const { return m_lightBlocks[level]; }
  int32_t GetParticleTemplate(int32_t i) const { return m_particles[i]; }
  int32_t GetAnimation(int32_t which) const { return m_anims[which]; }
  AnimationHelper* GetPlayerAnimator() const { return m_playerAnimator; }
  int32_t GetManualControl() const { return m_manualControl; }
  int32_t IsPlantInHand() const { return m_plantInHand; }
  int32_t IsTreeInHand() const { return m_treeInHand; }
  int32_t IsThrownPlantActive() const { return m_thrownPlant.active; }
  int32_t IsThrownTreeActive() const { return m_thrownTree.active; }
  uint32_t GetTreeBashCount() const { return m_treeBashCount; }
  int32_t IsStampRunning() const { return m_stampRunning; }
  int32_t IsPhoneShown() const { return m_phoneShown; }
  uint32_t GetPhoneLineIndex() const { return m_phoneLine; }
  int32_t GetCaughtSubStep() const { return m_caughtSubStep; }
  int32_t GetLevelEndState() const { return m_levelEndState; }
  int32_t IsGoalReached() const { return m_goalReached; }
  const GameCamera& GetCamera() const { return m_camera; }
  float TickRate() const;
  // The collision test of the player's moves (radius 30).
  bool IsBlocked(const Vector4& p) const;

 private:
  // ---- Lifecycle (TesselGame.cpp).
  void InitialiseCharacterAnimations();
  void StartLevel();
  void ResetEnemies();
  int32_t RunLevelEnd();
  void ReleaseModels();
  void ReleaseImages();
  void ReleaseScenes();

  // ---- Level map (TesselLevelMap.cpp).
  void BuildNavigation(int32_t level);
  void BuildEnemies(const uint32_t* starts, uint32_t count);
  void PlaceStart(const TesselNavNode& node);
  void ShowLevelScene(RenderWindow* window, int32_t level);
  void SetLevelLight(RenderWindow* window, int32_t level);
  void ReadGameNodes(Scene* scene);
  void CountGameNodes(Scene* scene, const int32_t* models);
  void FillGameNodes(Scene* scene, const int32_t* models);
  void ForgetItems();

  // ---- Enemies (TesselEnemies.cpp).
  void UpdateEnemy(uint32_t i);
  bool AnyEnemyReturning() const;
  void PairRules();
  void PairRule(cTesselEnemy& a, cTesselEnemy& b);
  void SeparateChasers(cTesselEnemy& a, cTesselEnemy& b);
  void PatrolAway(cTesselEnemy& patroller, cTesselEnemy& stunned);
  void SteerEnemy();
  void SpotPlayer(cTesselEnemy& enemy);
  void StandAllEnemies();

  // ---- Play (TesselPlay.cpp).
  void UpdateClock();
  void TimeUp();
  void CheckLevelGoal();
  void ControlStep();
  void ManualControl();
  bool ActionButton();
  void StampButton();
  void ThrowButton();
  void Walk(float step);
  bool TryMove(float* axis, float delta);
  void AfterWalking(const Vector4& old);
  void FollowCamera(const Vector4& p);
  void StateStep();
  bool PickUpPlant();
  bool PickUpTree();
  void FaceTowards(const Vector4& target);
  void StampStep();
  void FlashStep();
  void FlashEnemies();
  void CatchTest();
  void Catch(cTesselEnemy& enemy);
  void CaughtSequence();
  void CaughtRestart();
  void LetGo();
  void QueueStand();
  void SayLine(int32_t line, bool positioned);
  void SayComment(int32_t line);
  void Effect(int32_t sample, float volume, const Vector4* at);
  void AdvanceAnimators();

  // ---- Plants and trees (TesselItems.cpp).
  Matrix PlayerMatrix() const;
  bool HandMatrix(Matrix& out) const;
  void AttachPlantToHand();
  void AttachTreeToHand();
  void PullPlantStep();
  void PlantLeavesGround();
  void PullTreeStep();
  void TreeLeavesGround();
  void BashPlantStep();
  void BashPlantImpact();
  void BashTreeStep();
  void BashTreeImpact();
  void DestroyHeldTree();
  void ThrowPlantStep();
  void ThrowTreeStep();
  void ThrowPlant();
  void ThrowTree();
  void DropCarried(bool tree);
  void ReleasePlant(float speed, float lift);
  void ReleaseTree(float speed, float lift);
  void PlantFlightStep();
  void TreeFlightStep();
  void PlantHitStep();
  void TreeHitStep();
  bool PlantHitsPlants();
  bool PlantHitsBox();
  bool PlantHitsEnemy();
  bool TreeHitsPlant();
  bool TreeHitsBox();
  bool TreeHitsEnemy();
  void UpdateThrownItems();
  void DestroyPlant(TesselPlant& plant, int32_t effect);
  void HideNode(uint32_t node);
  GameNode* Node(uint32_t index) const;
  void StartEffect(int32_t effect, const Vector4& at);
  void StartEffect(int32_t effect, const Matrix& at);
  void Popup(int32_t value, const Vector4& at);
  TesselPlant* CurrentPlant() const;
  TesselTree* CurrentTree() const;

  // ---- Rendering (TesselRender.cpp).
  void SubmitModel(RenderWindow* window, int32_t model, const Matrix& m, Skeleton* skeleton);
  void SubmitCharacter(RenderWindow* window, AnimationHelper* animator, const Matrix& m);
  void DrawHud(RenderWindow* window);
  void DrawItems(RenderWindow* window);

  int32_t m_windowId = -1;
  int32_t m_lives = 0;
  uint32_t m_timeLeft = 0;
  uint32_t m_tickCounter = 0;
  int32_t m_levelArgument = 0;
  int32_t m_gameMode = 0;
  uint32_t m_junctionCount = 0;
  uint32_t m_intermediateCount = 0;
  TesselNavNode* m_junctionNodes = nullptr;
  TesselNavNode* m_intermediateNodes = nullptr;
  void* m_junctionMaps[kLevelCount] = {};
  void* m_intermediateMaps[kLevelCount] = {};
  int32_t m_junctionSizes[kLevelCount] = {};
  int32_t m_intermediateSizes[kLevelCount] = {};
  int32_t m_sceneIds[kLevelCount] = {-1, -1, -1};
  void* m_lightImages[kLevelCount] = {};
  int32_t m_lightSizes[kLevelCount] = {};
  LightSetup* m_lightBlocks[kLevelCount] = {};
  Vector4 m_playerPosition;
  Vector4 m_startPosition;
  GameCamera m_camera;
  uint32_t m_enemyCount = 0;
  AnimationHelper* m_playerAnimator = nullptr;
  int32_t m_anims[kTesselAnimCount];
  int32_t m_shadowModel = -1;
  int32_t m_phoneModel = -1;
  float m_heading = 0.0f;
  cTesselEnemy* m_enemies = nullptr;
  int32_t m_playState = kTesselIntro;
  int32_t m_rightHand = -1;
  int32_t m_leftHand = -1;
  int32_t m_leftFoot = -1;
  int32_t m_pickedModels[kPlantKinds] = {-1, -1, -1, -1, -1};
  int32_t m_particles[kTesselEffectCount];
  int32_t m_levelEndState = 0;
  int32_t m_levelIndex = 0;
  int32_t m_lastVoiceLine = -1;
  SoundHandle m_lastVoice;
  int32_t m_lastCommentLine = -1;
  SoundHandle m_lastComment;
  int32_t m_manualControl = 1;
  uint32_t m_phoneLine = 0;

  // The level's records (TesselLevelMap.cpp).
  BoundingBox* m_boxes = nullptr;
  uint32_t m_boxCount = 0;
  TesselTree* m_trees = nullptr;
  uint32_t m_treeCount = 0;
  TesselPlant* m_plants = nullptr;
  uint32_t m_plantCount = 0;
  uint32_t m_plantsDestroyed = 0;
  uint32_t m_treesDestroyed = 0;

  // Speeds per tick, from the tick rate at level start.
  float m_walkSpeed = 0.0f;
  float m_runSpeed = 0.0f;
  float m_moveStep = 0.0f;

  // The player's actions.
  int32_t m_stampRunning = 0;
  int32_t m_stampImpactDone = 0;
  int32_t m_flashReleased = 0;
  int32_t m_enemyFlashed = 0;
  uint32_t m_currentPlant = 0;
  uint32_t m_currentTree = 0;
  int32_t m_impactDone = 0;
  int32_t m_pullEffectsPlayed = 0;
  int32_t m_plantThrowReleased = 0;
  int32_t m_treeThrowReleased = 0;
  int32_t m_plantInHand = 0;
  int32_t m_treeInHand = 0;
  uint32_t m_treeBashCount = 0;
  // Time up ends a challenge too; only a reached goal wins it.
  int32_t m_goalReached = 0;

  struct ThrownPlant {
    int32_t active = 0;
    uint32_t node = 0;
    uint32_t kind = 0;
    Vector4 position;
    float yaw = 0.0f;
    Vector4 velocity;
  } m_thrownPlant;
  struct ThrownTree {
    int32_t active = 0;
    uint32_t node = 0;
    Matrix orientation;
    Vector4 position;
    Vector4 velocity;
  } m_thrownTree;

  // The caught sequence.
  int32_t m_caughtSubStep = 0;
  float m_blend = 0.0f;
  int32_t m_phoneShown = 0;
  int32_t m_lineSaid = 0;
  Vector4 m_savedEye;
  Vector4 m_savedTarget;
  Vector4 m_catchEye;
  Vector4 m_catchTarget;
  Vector4 m_meetingPoint;
};
