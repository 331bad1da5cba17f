#pragma once
// A man in a white coat: patrols the level's path network, chases Tessel across open ground
// while sliding along the collision boxes, gives up when she gets away, walks back to the
// nearest path point and patrols again; thrown things and the flash stun him for a while.
// The decisions between these states (and the rules between two enemies who bump into each
// other) are the game's (TesselEnemies.cpp); the record here knows how to take each step.

#include <cstdint>

#include "Engine/FastMathBounds.h"
#include "Game/TesselGame/TesselPathMap.h"

class AnimationHelper;

enum TesselEnemyState : int32_t {
  kEnemyPatrol = 1,
  kEnemyChase = 2,
  kEnemyReturn = 3,
  kEnemyStunned = 4,
};

class cTesselEnemy {
 public:
  // Numbers the enemies as they are built; the game sets it back to 0 with each new level.
  static uint32_t s_serialCounter;

  cTesselEnemy();
  ~cTesselEnemy();
  cTesselEnemy(const cTesselEnemy&) = delete;
  cTesselEnemy& operator=(const cTesselEnemy&) = delete;

  void CleanUpEnemy();

  // ---- Set-up while the level map is built.
  void SetNetwork(TesselNavNode* junctions, uint32_t junctionCount, TesselNavNode* intermediates,
                  uint32_t intermediateCount);
  void SetStartNode(TesselNavNode* node);
  void SetWindowId(int32_t id) { m_windowId = id; }
  void SetStarsTemplate(int32_t id) { m_starsTemplate = id; }
  void SetBoxes(const BoundingBox* boxes, uint32_t count);
  // The model with the stand animation current.
  void LoadModel();
  // Skeleton built (again), walking at once, advanced by one tick so that a pose exists.
  void ResetForLevel();

  // ---- Reactions.
  void Stun(float seconds, float tickRate);
  // Stands still; a stunned enemy's stars stop.
  void Stand();
  void StopStars();
  // Starts `anim` (blend 10, looping) unless it shows or is queued already.
  void EnsureAnimation(int32_t anim);
  void Advance(float step);
  void SetChasing();
  // One tick of the stun; true when it has just ended (the enemy chases again).
  bool StunTick();

  // ---- Steps.
  void PatrolStep(float walkSpeed);
  void ChaseStep(const Vector4& point, float runSpeed);
  void GiveUp();
  void ReturnStep(float walkSpeed);
  void StepBack(float walkSpeed, float runSpeed);
  void TurnAround();
  void PushOff(float limitSq, const Vector4& point);
  void ChooseByPlayer(const Vector4& player);
  void UpdateFacing();
  void UpdateSegmentLength();

  // ---- Questions.
  // The line from Tessel towards him crosses a collision box.
  bool IsPlayerHidden(const Vector4& player) const;
  // Tessel lies within the half-plane he faces.
  bool IsInFront(const Vector4& player) const;
  // Inside a collision box grown by `margin`.
  bool Collides(const Vector4& p, float margin) const;
  // The direction code of the segment he walks.
  int32_t SegmentDirection() const { return TesselDirectionCode(m_currentNode, m_targetNode); }

  // ---- Accessors.
  int32_t GetState() const { return m_state; }
  void SetState(int32_t state) { m_state = state; }
  const Vector4& GetStartPosition() const { return m_startPosition; }
  void SetStartPosition(const Vector4& p) { m_startPosition = p; }
  const Vector4& GetPosition() const { return m_position; }
  void SetPosition(const Vector4& p) { m_position = p; }
  const Vector4& GetPreviousPosition() const { return m_previousPosition; }
  void SetPreviousPosition(const Vector4& p) { m_previousPosition = p; }
  uint32_t GetChaseFrames() const { return m_chaseFrames; }
  void SetChaseFrames(uint32_t frames) { m_chaseFrames = frames; }
  float GetFacing() const { return m_facing; }
  void SetFacing(float facing) { m_facing = facing; }
  int32_t GetChooseByPlayer() const { return m_chooseByPlayer; }
  void SetHold() { m_hold = 1; }
  int32_t GetHold() const { return m_hold; }
  uint32_t GetBlockedFrames() const { return m_blockedFrames; }
  void ClearBlockedFrames() { m_blockedFrames = 0; }
  int32_t GetModel() const;
  uint32_t GetSerial() const { return m_serial; }
  uint32_t GetStunCountdown() const { return m_stunCountdown; }
  int32_t GetStarsEffect() const { return m_starsEffect; }
  AnimationHelper* GetAnimator() const { return m_animator; }
  TesselNavNode* GetCurrentNode() const { return m_currentNode; }
  TesselNavNode* GetTargetNode() const { return m_targetNode; }
  void SetNodes(TesselNavNode* current, TesselNavNode* target);
  int32_t IsOnIntermediateNetwork() const { return m_onIntermediate; }
  int32_t GetJoinFlag() const { return m_joinIntermediate; }
  float GetProgress() const { return m_progress; }
  void SetProgress(float progress) { m_progress = progress; }
  float GetSegmentLength() const { return m_segmentLength; }
  int32_t GetArrivalDirection() const { return m_arrivalDirection; }
  void SetArrivalDirection(int32_t d) { m_arrivalDirection = d; }
  int32_t GetStandAnim() const { return m_standAnim; }
  int32_t GetWalkAnim() const { return m_walkAnim; }
  int32_t GetRunAnim() const { return m_runAnim; }
  int32_t GetStunnedAnim() const { return m_stunnedAnim; }

 private:
  void MoveBy(const Vector4& from, float progress);
  void AfterWalk();
  bool Arrive();
  // Progress added for `speed` along the current segment (a whole segment when it has no length).
  float ProgressFor(float speed) const;
  void SlideAlongY(const Vector4& step, const Vector4& point, float runSpeed);
  void SlideAlongX(const Vector4& step, const Vector4& point, float runSpeed);

  int32_t m_windowId = -1;
  Vector4 m_startPosition;
  Vector4 m_position;
  Vector4 m_previousPosition;
  TesselNavNode* m_currentNode = nullptr;
  TesselNavNode* m_targetNode = nullptr;
  int32_t m_onIntermediate = 0;
  int32_t m_joinIntermediate = 0;
  int32_t m_hold = 0;
  float m_facing = 0.0f;
  float m_progress = 0.0f;
  AnimationHelper* m_animator = nullptr;
  int32_t m_standAnim = -1;
  int32_t m_walkAnim = -1;
  int32_t m_runAnim = -1;
  int32_t m_stunnedAnim = -1;
  uint32_t m_junctionCount = 0;
  TesselNavNode* m_junctions = nullptr;
  TesselNavNode* m_intermediates = nullptr;
  uint32_t m_intermediateCount = 0;
  const BoundingBox* m_boxes = nullptr;
  uint32_t m_boxCount = 0;
  int32_t m_chooseByPlayer = 0;
  float m_segmentLength = 0.0f;
  int32_t m_state = kEnemyChase;
  Vector4 m_giveUpPoint;
  uint32_t m_stunCountdown = 0;
  int32_t m_starsEffect = -1;
  int32_t m_starsTemplate = -1;
  uint32_t m_chaseFrames = 0;
  int32_t m_arrivalDirection = kTesselNoDirection;
  uint32_t m_serial = 0;
  uint32_t m_blockedFrames = 0;
};
