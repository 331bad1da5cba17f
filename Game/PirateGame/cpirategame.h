#pragma once
// The pirate game: a pairs game on an island board of 30 holes. Twenty holes hide pirates, two of
// each of ten kinds; the player moves a selection over the holes with the pad (the camera brings
// the selected hole under the hook pointer at the screen centre), picks two holes in turn, and a
// pair of the same kind scores and joins the tally. Ten pairs open the treasure chest; the clock
// running out loses the game.
//
// The game is split by concern: PirateGame.cpp (construction, reset, hash, clean-up),
// PirateLoad.cpp (the load phases), PiratePlay.cpp (the tick), PirateInput.cpp (selection and
// picks), PirateScenes.cpp (intro, finale, camera moves), PirateRender.cpp (drawing) and
// PirateRules.cpp (the deal and the searches, free of the application).

#include <cstdint>

#include "Engine/Assert.h"
#include "Engine/FastMath.h"
#include "Game/GameBaseClass.h"
#include "Game/Helper/GameCamera.h"
#include "Game/PirateGame/PirateRules.h"

class AnimationHelper;
class Camera;
class RenderWindow;
class Scene;
struct GameNode;
struct LightSetup;

// One pirate kind's animation player and the animations it owns, in the order they are added.
struct PirateAnimSet {
  AnimationHelper* helper = nullptr;
  int32_t celebrate = -1;
  int32_t defeat = -1;
  int32_t gesture = -1;
  int32_t leapLeft = -1;
  int32_t leapRight = -1;
  int32_t stand = -1;
};

class cpirategame : public GameBaseClass {
 public:
  static constexpr int32_t kGameId = 6;
  static constexpr int32_t kKinds = 10;
  static constexpr int32_t kSets = 3;

  // Play phases.
  enum Phase : int32_t {
    kPhaseIntro = 0,
    kPhaseInput = 1,
    kPhasePairFound = 2,
    kPhaseLeapOut = 3,
    kPhaseLeapBack = 4,
    kPhaseFinale = 6,
  };
  // Who leaps back in phase 4.
  enum ReturnVariant : int32_t {
    kReturnBoth = 0,         // both picks, first and second sets
    kReturnFirstAlone = 1,   // the first pick, after an empty second pick
    kReturnPairForNew = 2,   // the old pair (spare and second sets) while a new first leaps out
    kReturnOtherOfPair = 3,  // the old second; the old first stays out as the new first pick
  };
  // Intro states (m_introState), in the order they run: 0, 1, 2, 4, 3.
  enum IntroState : int32_t {
    kIntroFadeIn = 0,         // waits for the fade-in of the loading's end
    kIntroBoardOpening = 1,   // the board's lids open
    kIntroCoversFalling = 2,  // the hole covers fall in and their shadows fade up
    kIntroStartScript = 3,    // the start script runs until play begins
    kIntroCameraDown = 4,     // the camera comes down to the play view
  };
  // Finale states (m_finaleState).
  enum FinaleState : int32_t {
    kFinaleCameraDrop = 0,    // the camera sinks towards the chest
    kFinaleChestOpening = 1,  // the chest opens; its chime and coins
    kFinaleTreasure = 2,      // six seconds over the open chest
    kFinaleFadeOut = 3,       // the closing fade
    kFinaleDone = 4,          // Update reports the win
  };
  static constexpr int32_t kPadInput = 2;

  cpirategame(int32_t mode, int32_t level);
  ~cpirategame() override;

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

  void ResetGame();
  // The board's named nodes (LoadPhase2).
  void ReadBoardNodes(Scene* scene);
  void BuildHole(int32_t hole, int32_t nodeIndex, const GameNode& node);

  // ---- Play (PiratePlay.cpp, PirateInput.cpp, PirateScenes.cpp).
  void UpdateIntro();
  void UpdatePadInput();
  void MoveSelectionDiagonal(int32_t side, int32_t vertical);
  void PickHole();
  void UpdateLeapOut();
  void UpdateLeapBack();
  void UpdatePairShown();
  void UpdateCameraMove();
  void UpdateFinale();
  void PlayPairLine(int32_t firstKind, int32_t secondKind);
  void UpdateMouseInput();
  void MouseMoveSelection();
  // Pieces of the tick and of the picks.
  int32_t UpdatePhase();
  void UpdateSeconds();
  void UpdateTicking();
  void ResolvePair();
  void ClosePair();
  bool TryStraightMoves(bool up, bool downHeld, bool downPressed, bool left, bool right,
                        bool sideHeld);
  void SelectHole(int32_t hole);
  void PickFirst(int32_t hole);
  void PickSecond(int32_t hole);
  bool SendRevealedPairHome(int32_t hole);
  void CountMiss();
  void LiftCovers();
  void DropCovers();
  void LowerIntroCamera();
  void DropToChest();
  void OpenChest();
  void StartEffect(int32_t effect, const Vector4& at);
  void DrawModel(RenderWindow* window, int32_t geometry, AnimationHelper* helper,
                 const Vector4& position, const Vector4& scale, const Vector4& tint,
                 uint32_t flags);

  // ---- Drawing (PirateRender.cpp).
  void DrawHud(RenderWindow* window);
  void DrawBoard(RenderWindow* window);
  void DrawPirates(RenderWindow* window);
  void DrawTallyAndCovers(RenderWindow* window);
  void DrawReturningPirates(RenderWindow* window);
  void DrawHookPointer(RenderWindow* window);
  void DrawChest(RenderWindow* window);
  void DrawPirate(RenderWindow* window, const PirateAnimSet& set, int32_t kind);
  void DrawLivesIcons(RenderWindow* window);

  // ---- Members. Every word the state hash reads starts with a value, so that two machines agree
  // before the first tick sets it.
  int32_t m_mainWindowId = -1;
  int32_t m_overlayWindowId = -1;
  int32_t m_hookTexture = -1;
  int32_t m_iconTexture = -1;
  Vector4 m_cameraMin{-3200.0f, -2500.0f, 0.0f, 0.0f};
  Vector4 m_cameraMax{3200.0f, 2500.0f, 0.0f, 0.0f};
  int32_t m_firstPicked = 0;
  int32_t m_firstHole = 0;
  int32_t m_secondPicked = 0;
  int32_t m_secondHole = 0;
  int32_t m_returnHole = 0;
  int32_t m_pairFound = 0;
  int32_t m_lives = 3;
  int32_t m_secondsLeft = 300;
  int32_t m_pointerX = 320;
  int32_t m_pointerY = 240;
  int32_t m_pointerW = 42;
  int32_t m_pointerH = 32;
  PirateHole* m_holes = nullptr;
  float m_cameraOffsetY = -5000.0f;
  float m_cameraOffsetZFactor = -0.8f;
  Vector4 m_cameraFrom;
  Vector4 m_cameraTo;
  int32_t m_cameraMoving = 0;
  int32_t m_cameraMoveStart = 0;
  int32_t m_difficulty = 0;
  int32_t m_inputMode = kPadInput;
  int32_t m_lastPoints = 0;
  int32_t m_pairsLeft = kPirateKinds;
  int32_t m_pirateGeos[kKinds] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
  int32_t m_tallyGeos[kKinds] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
  Vector4 m_linePos[kKinds];
  int32_t m_tallyFading = 0;
  float m_tallyFade = 0.0f;
  int32_t m_revealSeconds = 0;
  int32_t m_playPhase = kPhaseIntro;
  int32_t m_introState = kIntroFadeIn;
  Vector4 m_leapPos;
  Vector4 m_leapScale{1.0f, 1.0f, 1.0f, 0.0f};
  int32_t m_matchShown = 0;
  int32_t m_misses = 0;
  int32_t m_sceneId = -1;
  GameCamera m_camera;
  Camera* m_mainCamera = nullptr;
  int32_t m_shadowNodes[kHoles] = {};
  Vector4 m_boardPos;
  AnimationHelper* m_boardAnim = nullptr;
  int32_t m_boardOpenAnim = -1;
  Vector4 m_dropPos[kHoles];
  Vector4 m_restPos[kHoles];
  int32_t m_landed[kHoles] = {};
  float m_shadowAlpha[kHoles] = {};
  PirateAnimSet m_firstSet[kKinds];
  PirateAnimSet m_secondSet[kKinds];
  PirateAnimSet m_spareSet[kKinds];
  int32_t m_revealShown = 0;
  int32_t m_pairPending = 0;
  int32_t m_pairMismatch = 0;
  float m_fps = 60.0f;
  float m_leapOutT = 0.0f;
  float m_leapBackT = 0.0f;
  Vector4 m_returnScale;
  Vector4 m_returnPos1;
  Vector4 m_returnPos2;
  AnimationHelper* m_chestAnim = nullptr;
  int32_t m_chestOpenAnim = -1;
  int32_t m_finaleState = kFinaleCameraDrop;
  int32_t m_finaleEffect = -1;
  float m_finaleDrop = 0.0f;
  Vector4 m_introCameraPos{0.0f, -10000.0f, 13500.0f, 0.0f};
  Vector4 m_playCameraPos{0.0f, -5200.0f, 4000.0f, 0.0f};
  float m_cameraMoveT = 0.0f;
  float m_pulse = 0.8f;
  int32_t m_returnVariant = kReturnBoth;
  void* m_lightFile = nullptr;
  // A model that did not load is drawn every frame: said once, counted, the count told at CleanUp.
  RepeatedFault m_missingModel;
  LightSetup* m_lightRecord = nullptr;
  int32_t m_dirtEffect = -1;
  int32_t m_coinEffect = -1;
  int32_t m_sparkleEffect = -1;
  int32_t m_secondFrames = 0;
  int32_t m_timeUpFade = 0;
  int32_t m_diagonalLatch = 0;
  int32_t m_selectedHole = -1;

  // Beyond the listed members: the running camera move's speed and velocity, the intro camera's
  // progress, the finale's second counter and its one-shot sound, and the number of holes whose
  // "object" node was found.
  float m_cameraSpeed = 0.0f;
  float m_cameraVelocity = 0.0f;
  float m_introCameraT = 0.0f;
  int32_t m_finaleFrames = 0;
  int32_t m_finaleSeconds = 0;
  int32_t m_finaleChimed = 0;
  int32_t m_holesBuilt = 0;
  int32_t m_mouseWasDown = 0;

  // The pulse step is kept for the whole run of the program, not per game.
  static float s_pulseStep;

  // ---- Small pieces shared by the files.
  RenderWindow* MainWindow() const;
  RenderWindow* OverlayWindow() const;
  Scene* GetScene() const;
  // The scene's game node `index`, none for -1: a hole whose cover or shadow the scene lacks
  // keeps -1, and asking the scene for it would report a fault that is none.
  static GameNode* NodeAt(Scene* scene, int32_t index);
  PirateAnimSet* SetFor(int32_t setIndex, int32_t kind);
  int32_t KindOf(int32_t hole) const;
  struct ReturningHoles {
    int32_t hole1;
    int32_t hole2;  // -1: only one pirate goes home
    int32_t set1;   // the animation set of the first
  };
  ReturningHoles GetReturningHoles() const;
  // The leap animation of `set` for a pirate going from `from` to `to` (x decides).
  static int32_t LeapAnim(const PirateAnimSet& set, float fromX, float toX);
  void PlayEffect(int32_t sample);
  void PlayEffectAt(int32_t sample, const Vector4& position);
  void PlaySpeechSample(int32_t sample);
  void RequestCameraMove(const Vector4& to);
  // The last hole whose selected word is set; with `inPlayOnly`, only holes in play count.
  int32_t LastSelectedHole(bool inPlayOnly) const;
  void StartLeapBackBoth();
  Vector4 LookAt() const { return m_camera.GetTarget(); }
};
