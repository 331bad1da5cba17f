#pragma once
// A football kid guarding the pitch of the penalty-kick game: a plain record (no virtual
// operations) that owns its animation player and holds its hit volumes. The game makes five,
// places them from the scene's "defender0" locators and drives them each tick: a guard point per
// round, steps towards the ball's line, hit tests against the ball and the reactions.

#include <cstdint>

#include "Engine/FastMath.h"
#include "Game/Helper/BipedCollision.h"

class AnimationHelper;

// The part id of the zone just above a defender's head (a ball flying over a jumping kid).
constexpr int32_t kDefenderJumpZone = 13;
constexpr int32_t kDefenderCount = 5;

// What every defender shares: how far a kid may step from his guard point and how fast, set by
// the game's round reset from its difficulty.
struct DefenderRules {
  int32_t maxReachPlanar = 100;
  int32_t maxReach = 200;
  float moveStep = 80.0f / 60.0f;

  // Levels 0 to 2; any other level leaves the rules as they are.
  void SetLevel(int32_t level, float frameRate);
};

// The rules in force (one game runs at a time) and how many defenders exist.
DefenderRules& GetDefenderRules();
extern int32_t defenderCount;

class cDefender {
 public:
  // Reactions (PlayReaction).
  enum Reaction : int32_t {
    kBlockLegs = 0,
    kBlockChest = 1,
    kBlockHead = 2,
    kHitInGroin = 3,
    kBlockJump = 4,
    kStand = 5,
  };

  cDefender();
  ~cDefender();
  cDefender(const cDefender&) = delete;
  cDefender& operator=(const cDefender&) = delete;

  void CleanUpDefender();
  void SetModel(int32_t index);
  // The skeleton, the stand animation playing, then the hit volumes on it.
  void StartSkeleton();
  void InitBiped();

  Vector4 GetGuardPosition() const { return guardPosition; }
  void PickGuardPosition();
  void FaceTowards(float x, float y);
  void PlanIntercept(int32_t kind, const Vector4& ballPosition, const Vector4& ballVelocity);
  void StartMove(int32_t kind, const Vector4& ballPosition);
  void UpdateMove();
  void UpdateAnimation(float dt);
  void PlayReaction(int32_t reaction);
  int32_t HitTest(float radius, const Matrix& pose, const Vector4& centre);
  // The volumes and the head zone into the lines (a development aid; nothing calls it in play).
  void DebugDraw(class BaseDebugLines* lines, const Matrix& pose);

  Vector4 homePosition{0.0f, 0.0f, 0.0f, 1.0f};
  Vector4 guardPosition{0.0f, 0.0f, 0.0f, 1.0f};
  Vector4 position{0.0f, 0.0f, 0.0f, 1.0f};
  Vector4 moveEnd{0.0f, 0.0f, 0.0f, 1.0f};
  Vector4 moveStart{0.0f, 0.0f, 0.0f, 1.0f};
  int32_t inReach = 0;
  uint32_t enterTick = 0;
  uint32_t leaveTick = 0;
  float moveLength = 0.0f;
  float heading = 0.0f;
  int32_t moving = 0;
  float moveProgress = 0.0f;
  AnimationHelper* anim = nullptr;
  int32_t animStand = -1;
  int32_t animStepLeft = -1;
  int32_t animStepRight = -1;
  int32_t animStepForward = -1;
  int32_t animStepBack = -1;
  int32_t animBlockLegs = -1;
  int32_t animBlockJump = -1;
  int32_t animBlockHead = -1;
  int32_t animHitInGroin = -1;
  int32_t animBlockChest = -1;
  int32_t blocksView = 0;
  int32_t bonusFlag = 0;
  int32_t farFromBall = 0;
  BipedCollision biped;
  int32_t headBone = -1;
  Vector4 headPosition{0.0f, 0.0f, 0.0f, 1.0f};
  Vector4 savedPosition{0.0f, 0.0f, 0.0f, 1.0f};
  int32_t reacting = 0;
  int32_t reactionAnim = -1;
  // The flight prediction's closest approach so far (squared).
  float bestDistanceSq = 0.0f;

 private:
  void QueueStand(float blend);
  int32_t IsCurrent(int32_t animation) const;
};
