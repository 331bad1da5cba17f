#include "Game/FootballGame/Defender.h"

#include <cstdio>

#include "Engine/BaseDebugLines.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCSkeleton.h"
#include "Engine/Random.h"
#include "Game/FootballGame/FootballMath.h"
#include "Game/Helper/AnimationHelper.h"

using namespace football;

int32_t defenderCount = 0;

namespace {

DefenderRules s_rules;

// The defenders' hit volumes: the keeper's table with big feet, and the groin after the head.
constexpr BipedPartDesc kDefenderVolumes[] = {
    {0, kBipedTwoBones, "Bip01 L UpperArm", "Bip01 L Forearm", 5.7f},
    {1, kBipedTwoBones, "Bip01 L Forearm", "Bip01 L Hand", 4.5f},
    {6, kBipedTwoBones, "Bip01 L Thigh", "Bip01 L Calf", 8.6f},
    {4, kBipedTwoBones, "Bip01 L Calf", "Bip01 L Foot", 7.3f},
    {8, kBipedTwoBones, "Bip01 L Foot", "Bip01 L Toe0", 40.0f},
    {2, kBipedTwoBones, "Bip01 R UpperArm", "Bip01 R Forearm", 5.7f},
    {3, kBipedTwoBones, "Bip01 R Forearm", "Bip01 R Hand", 4.5f},
    {7, kBipedTwoBones, "Bip01 R Thigh", "Bip01 R Calf", 8.6f},
    {5, kBipedTwoBones, "Bip01 R Calf", "Bip01 R Foot", 7.3f},
    {9, kBipedTwoBones, "Bip01 R Foot", "Bip01 R Toe0", 40.0f},
    {10, kBipedTwoBones, "Bip01 Pelvis", "Bip01 Neck", 13.9f},
    {12, kBipedOneBone, "Head_bone", nullptr, 12.6f},
    {11, kBipedTwoBones, "Bip01 Pelvis", "groin", 20.0f},
    {BipedCollision::kNoHit, kBipedEnd, nullptr, nullptr, 0.0f},
};

constexpr const char* kDefenderAnimations[] = {
    "football_kid_stand.anm",
    "football_kid_step_left_no_translation.anm",
    "football_kid_step_right_no_translation.anm",
    "football_kid_step_forward_no_translation.anm",
    "football_kid_step_back_no_translation.anm",
    "football_kid_block_ball_legs.anm",
    "football_kid_block_ball_jump.anm",
    "football_kid_block_ball_head.anm",
    "football_kid_hit_in_groin.anm",
    "football_kid_block_ball_chest.anm",
};

constexpr float kHeadZoneLift = 27.0f;
constexpr float kHeadZoneRadius = 10.0f;
constexpr float kFarFromBallSq = 200000.0f;

// seed mod 100 - 50: -50 .. 49.
float GuardOffset() { return static_cast<float>(static_cast<int32_t>(RandMod(100)) - 50); }

}  // namespace

void DefenderRules::SetLevel(int32_t level, float frameRate) {
  static constexpr int32_t kPlanar[3] = {100, 125, 150};
  static constexpr int32_t kReach[3] = {200, 250, 300};
  static constexpr float kStep[3] = {80.0f, 100.0f, 120.0f};
  if (level < 0 || level > 2) return;
  maxReachPlanar = kPlanar[level];
  maxReach = kReach[level];
  moveStep = kStep[level] / frameRate;
}

DefenderRules& GetDefenderRules() { return s_rules; }

cDefender::cDefender() {
  anim = TrackedNew<AnimationHelper>("cDefender::cDefender");
  if (!anim) return;
  int32_t* members[] = {&animStand,      &animStepLeft,  &animStepRight, &animStepForward,
                        &animStepBack,   &animBlockLegs, &animBlockJump, &animBlockHead,
                        &animHitInGroin, &animBlockChest};
  for (size_t i = 0; i < sizeof(members) / sizeof(members[0]); ++i)
    *members[i] = anim->AddAnimation(kDefenderAnimations[i]);
}

cDefender::~cDefender() { CleanUpDefender(); }

void cDefender::CleanUpDefender() {
  if (anim) TrackedDelete("cDefender::CleanUpDefender", anim);
  anim = nullptr;
}

void cDefender::SetModel(int32_t index) {
  if (index < 0 || index >= kDefenderCount || !anim) return;
  char name[32];
  std::snprintf(name, sizeof(name), "football_kid%02d.geo", index + 1);
  anim->LoadModel(name);
  anim->SetCurrentAnimation(animStand);
}

void cDefender::StartSkeleton() {
  if (!anim) return;
  anim->CreateSkeleton();
  anim->Play(animStand, 1, 0.0f);
  anim->Update(1.0f);
}

void cDefender::InitBiped() {
  if (!anim) return;
  biped.InitBiped(anim, kDefenderVolumes);
  Skeleton* skeleton = anim->GetSkeleton();
  headBone = skeleton ? skeleton->FindBone("Head_bone") : -1;
}

void cDefender::PickGuardPosition() {
  guardPosition = homePosition;
  guardPosition.x += GuardOffset();
  guardPosition.y += GuardOffset();
}

void cDefender::FaceTowards(float x, float y) {
  const float dx = x - position.x, dy = y - position.y;
  if (SqrtOrZero(dx * dx + dy * dy) > 30.0f) heading = Atan2(dy, dx) + kHalfPi;
}

void cDefender::PlanIntercept(int32_t kind, const Vector4& ballPosition,
                              const Vector4& ballVelocity) {
  const bool planar = kind == 3 || kind == 4;
  auto measure = [&](const Vector4& q) {
    return planar ? DistanceSqXY(q, guardPosition) : DistanceSqXYZ(q, guardPosition);
  };
  Vector4 q = ballPosition;
  float best = measure(q);
  if (best > 0.0f) {
    // A still ball (or one that steps to no closer point) stops at the first sample; the limit
    // only guards against a step so small that the float sum never moves.
    const Vector4 step = Times(ballVelocity, 50.0f);
    for (int32_t i = 0; i < 100000; ++i) {
      q = Plus(q, step);
      const float d = measure(q);
      if (!(d < best)) break;
      best = d;
    }
  }
  reacting = 0;
  moveEnd = Vector4(q.x, q.y, 0.0f, q.w);
  StartMove(kind, ballPosition);
}

void cDefender::StartMove(int32_t kind, const Vector4& ballPosition) {
  const bool planar = kind == 3 || kind == 4;
  const float reach = static_cast<float>(planar ? s_rules.maxReachPlanar : s_rules.maxReach);
  moveProgress = 0.0f;
  if (Distance4(guardPosition, moveEnd) > reach)
    moveEnd = Plus(guardPosition, Times(Unit4(Minus(moveEnd, guardPosition)), reach));
  moveLength = Distance4(position, moveEnd);
  if (moveLength <= 10.0f) {
    moving = 0;
    if (anim && !anim->IsAnimationActive(animStand) && !reacting)
      anim->QueueOnly(animStand, 15, 0, 1);
    return;
  }
  moveStart = position;
  moving = 1;
  const Vector4 a = Unit3(Minus(ballPosition, moveEnd));
  const Vector4 b = Unit3(Minus(moveEnd, position));
  const float c = Dot3Of(a, b);
  int32_t step;
  if (c > 0.8f || c < -0.8f)
    step = c > 0.0f ? animStepForward : animStepBack;
  else
    step = c > 0.0f ? animStepLeft : animStepRight;
  if (!IsCurrent(step)) anim->QueueOnly(step, 2, 0, 1);
}

void cDefender::UpdateMove() {
  // A zero-length move would divide by zero: it is over at once.
  moveProgress = moveLength > 0.0f ? moveProgress + s_rules.moveStep / moveLength : 1.0f;
  if (moveProgress >= 1.0f) {
    moveProgress = 1.0f;
    moving = 0;
    if (!IsCurrent(animStand) && !reacting) QueueStand(10.0f);
  }
  position = Along(moveStart, moveEnd, moveProgress);
}

void cDefender::UpdateAnimation(float dt) {
  if (!anim) return;
  if (!reacting) {
    if (!moving && !anim->IsAnimationActive(animStand)) QueueStand(15.0f);
  } else if (anim->IsAnimationFinished(reactionAnim) && reactionAnim != animHitInGroin) {
    // A kid hit in the groin stays down in the animation's last pose.
    QueueStand(15.0f);
    reacting = 0;
    reactionAnim = -1;
  }
  anim->Update(dt);
}

void cDefender::PlayReaction(int32_t reaction) {
  if (!anim) return;
  int32_t animation = -1;
  switch (reaction) {
    case kBlockLegs:
      animation = animBlockLegs;
      break;
    case kBlockChest:
      animation = animBlockChest;
      break;
    case kBlockHead:
      animation = animBlockHead;
      break;
    case kHitInGroin:
      animation = animHitInGroin;
      break;
    case kBlockJump:
      animation = animBlockJump;
      break;
    case kStand:
      if (!reacting) anim->QueueOnly(animStand, 2, 0, 1);
      return;
    default:
      return;
  }
  reacting = 1;
  reactionAnim = animation;
  anim->QueueOnly(animation, 15, 0, 0);
}

int32_t cDefender::HitTest(float radius, const Matrix& pose, const Vector4& centre) {
  const int32_t part = biped.HitTestSphere(radius, pose, centre);
  if (part != BipedCollision::kNoHit) return part;
  // A skeleton without a head bone has no zone above the head to test.
  Skeleton* skeleton = anim ? anim->GetSkeleton() : nullptr;
  Matrix head;
  if (headBone < 0 || !skeleton || !skeleton->GetBoneWorldMatrix(headBone, pose, head))
    return BipedCollision::kNoHit;
  headPosition = Vector4(head[12], head[13], head[14] + kHeadZoneLift, 1.0f);
  if (!SpheresOverlapStrict(centre, radius, headPosition, kHeadZoneRadius))
    return BipedCollision::kNoHit;
  return farFromBall ? kDefenderJumpZone : BipedCollision::kNoHit;
}

void cDefender::DebugDraw(BaseDebugLines* lines, const Matrix& pose) {
  if (!lines) return;
  biped.DebugDraw(lines, pose);
  lines->AddSphere(&headPosition, kHeadZoneRadius, 64, 0xFFFFFFFFu);
}

void cDefender::QueueStand(float blend) {
  if (anim) anim->QueueOnly(animStand, blend, 0, 1);
}

int32_t cDefender::IsCurrent(int32_t animation) const {
  return anim && anim->GetCurrentAnimation() == animation ? 1 : 0;
}
