// What the ball can hit besides the frame and the keeper: the four targets, Clemency, Orwen on
// his bicycle and the defenders; and the scores they give.
#include <cmath>

#include "Engine/PC/PCRenderWindow.h"
#include "Engine/Random.h"
#include "Game/FootballGame/FootballGame.h"
#include "Game/FootballGame/FootballMath.h"
#include "Game/Helper/AnimationHelper.h"
#include "Game/Helper/BipedCollision.h"

using namespace football;

namespace {

constexpr float kTargetRadiusSq = 10000.0f;
constexpr float kInnerRingSq = 1111.1f;
constexpr float kMiddleRingSq = 4444.4f;
constexpr float kOrwenRadius = 99.0f;
constexpr int32_t kSampleTarget = 27;
constexpr int32_t kSampleClemency = 3;
constexpr int32_t kSampleOrwen = 10;
constexpr int32_t kSpeechOrwen = 10;
constexpr int32_t kClemencyPoints = 1000;
constexpr int32_t kOrwenPoints = 20000;
constexpr int32_t kGroinBonus = 1000;
constexpr int32_t kClemencyLines[5] = {36, 38, 39, 40, 41};
constexpr int32_t kGroinLines[4] = {0, 1, 2, 4};
constexpr int32_t kLegLines[4] = {37, 19, 20, 21};
constexpr int32_t kGroinReplies[3] = {22, 23, 24};

// From heading `from` the fraction `w` of the way to `to`, the short way round: headings either
// side of the half turn (3.1 and -3.1) are a small turn apart, not nearly a whole one, and a
// rider blended the long way would spin round on his bicycle.
float TurnedPart(float from, float to, float w) {
  float turn = to - from;
  if (turn > kPi) turn -= kTwoPi;
  if (turn < -kPi) turn += kTwoPi;
  return from + w * turn;
}

}  // namespace

int32_t cfootballgame::GoalPoints() const {
  return level == 1 ? 20000 : (level == 2 ? 25000 : 17000);
}

int32_t cfootballgame::StartEffect(int32_t effect, const Vector4& at) {
  RenderWindow* pitch = PitchWindow();
  if (effect == -1 || !pitch) return -1;
  Matrix emitter;
  emitter.Identity();
  emitter.SetTranslation(Vector4(at.x, at.y, at.z, 1.0f));
  return pitch->AddParticleSystem(effect, emitter);
}

// ---- Targets.

void cfootballgame::CheckTargets() {
  if (mode != kModeNormal) return;
  for (int32_t i = 0; i < kTargetCount; ++i) {
    const float d = DistanceSqXY(ballPosition, targetZones[i]);
    if (!targetLit[i] || !(d < kTargetRadiusSq)) continue;
    for (cDefender* defender : defenders) {
      if (!defender) continue;
      defender->moving = 0;
      defender->PlayReaction(cDefender::kStand);
    }
    PlayEffectIfPresent(kSampleTarget);
    phase = kPhaseTargetHit;
    ballState = kBallTarget;
    targetLit[i] = 0;
    ++targetsHit;
    int32_t points;
    const bool inner = d < kInnerRingSq, middle = !inner && d < kMiddleRingSq;
    if (inner) {
      PlaySpeechIfPresent(27);
      lastEffect = StartEffect(redTargetFx, targetZones[i]);
      points = targetsHit * 5000;
    } else if (middle) {
      PlaySpeechIfPresent(26);
      lastEffect = StartEffect(whiteTargetFx, targetZones[i]);
      points = targetsHit * 2500;
    } else {
      PlaySpeechIfPresent(25);
      lastEffect = StartEffect(blueTargetFx, targetZones[i]);
      points = targetsHit * 1000;
    }
    AddScore(0, points);
    m_bonusScores.Add(points, targetZones[i]);
    if (inner || middle) return;
  }
}

// ---- Clemency.

void cfootballgame::CheckClemencyHit() {
  if (!clemencyBiped) return;
  Matrix pose;
  pose.Identity();
  pose.SetTranslation(Vector4(clemencyPosition.x, clemencyPosition.y, clemencyPosition.z, 1.0f));
  const int32_t part = clemencyBiped->HitTestSphere(kBallRadius, pose, ballPosition);
  if (part == BipedCollision::kNoHit) return;
  PlaySpeechIfPresent(kClemencyLines[RandMod(5)]);
  if (mode == kModeNormal) m_bonusScores.Add(kClemencyPoints, clemencyPosition);
  AddScore(0, kClemencyPoints);
  int32_t hit = -1;
  if ((part >= 0 && part <= 3) || part == 10) hit = clemencyHitInChest;
  if (part >= 4 && part <= 7) hit = clemencyHitInLegs;
  if (part == 12) hit = clemencyHitInHead;
  // Other parts (her hands and feet have no volumes) play nothing.
  if (hit != -1) {
    PlayEffectIfPresent(kSampleClemency);
    if (clemencyAnim) clemencyAnim->QueueOnly(hit, 10, 0, 0);
    clemencyHitAnim = hit;
  }
  ballSpeed *= 0.2f;
  Vector4 v = Unit4(ballVelocity);
  v.y = -v.y;
  ballVelocity = Times(v, ballSpeed);
  ballState = kBallHitClemency;
}

// ---- Orwen.

void cfootballgame::StartOrwenCrossing() {
  orwenActive = 1;
  orwenSegmentT = 0.0f;
  orwenSegment = 0;
  orwenNextPoint = 1;
  AdvanceOrwen();
  if (orwenAnim) orwenAnim->Play(orwenCycle, 1, 0.0f);
  if (bikeAnim) bikeAnim->Play(bikeCycle, 1, 0.0f);
  if (ballState == kBallHitOrwen) ballState = kBallNoOutcome;
}

void cfootballgame::AdvanceOrwen() {
  if (orwenSegment < 0 || orwenSegment >= kOrwenPathPoints - 1) return;
  const float length = orwenSegmentLength[orwenSegment];
  // A leg of no length is passed at once.
  orwenSegmentT += length > 0.0f ? orwenStep / length : 2.0f;
  const float* h = orwenPathHeading;
  const float t = orwenSegmentT;
  if (t <= 1.0f) {
    if (orwenSegment == 0) {
      orwenHeading = h[0];
    } else if (t < 0.2f) {
      const float w = t * 2.5f + 0.5f;
      orwenHeading = TurnedPart(h[orwenSegment - 1], h[orwenSegment], w);
    } else if (t > 0.8f && orwenNextPoint < kOrwenPathPoints) {
      const float w = (t - 0.8f) * 2.5f;
      orwenHeading = TurnedPart(h[orwenSegment], h[orwenNextPoint], w);
    }
  } else {
    ++orwenNextPoint;
    orwenSegmentT = 0.0f;
    ++orwenSegment;
    if (orwenNextPoint >= kOrwenPathPoints) {
      // The end of the path: he stops on its last point, and no point beyond it is read.
      orwenActive = 0;
      orwenDelay = static_cast<int32_t>(
          std::lround((frameRate / 60.0f) * static_cast<float>(RandMod(500) + 500)));
      orwenSegment = kOrwenPathPoints - 2;
      orwenNextPoint = kOrwenPathPoints - 1;
      orwenSegmentT = 1.0f;
      orwenPosition = orwenPath[kOrwenPathPoints - 1];
      return;
    }
  }
  orwenPosition = Along(orwenPath[orwenSegment], orwenPath[orwenNextPoint], orwenSegmentT);
}

void cfootballgame::CheckOrwenHit() {
  if (!SpheresOverlapStrict(ballPosition, kBallRadius, orwenPosition, kOrwenRadius)) return;
  if (orwenAnim) orwenAnim->Play(orwenHitFall, 0, 0.0f);
  if (bikeAnim) bikeAnim->Play(bikeHitFall, 0, 0.0f);
  ballSpeed *= 0.2f;
  Vector4 v = Unit4(ballVelocity);
  v.x = -v.x;
  ballVelocity = Times(v, ballSpeed);
  ballState = kBallHitOrwen;
  PlayEffectIfPresent(kSampleOrwen);
  PlaySpeechIfPresent(kSpeechOrwen);
  if (mode == kModeNormal) m_bonusScores.Add(kOrwenPoints, orwenPosition);
  AddScore(0, kOrwenPoints);
}

// ---- Defenders.

void cfootballgame::CheckDefenderHits() {
  for (int32_t i = 0; i < kDefenderCount; ++i) {
    cDefender* d = defenders[i];
    if (!d || !d->inReach || flightTicks < d->enterTick || flightTicks > d->leaveTick) continue;
    const int32_t part = d->HitTest(kBallRadius, PlacedZ(d->heading, d->position), ballPosition);
    if (part != BipedCollision::kNoHit) DefenderHit(i, part);
  }
}

void cfootballgame::DefenderHit(int32_t index, int32_t part) {
  cDefender* hit = defenders[index];
  for (cDefender* defender : defenders) {
    if (!defender) continue;
    if (defender != hit) defender->moving = 0;
    defender->PlayReaction(cDefender::kStand);
  }
  shotClass = kShotFarFromGoal;
  ballState = kBallDeflected;
  ballSpin = Vector4(0.0f, 0.0f, 0.0f, 0.0f);
  const Vector4 away = TurnedZ(hit->heading - kHalfPi, 3600.0f / frameRate, 0.0f);
  ballVelocity = Vector4(away.x, away.y, 0.0f, 0.0f);
  heading = HeadingOf(ballVelocity);
  int32_t reaction = cDefender::kBlockChest, effect = 2, speech = 3;
  if (part >= 4 && part <= 9) {
    reaction = cDefender::kBlockLegs, effect = 12, speech = 5;
    lastReaction = 5;
  } else if (part == 11 && mode == kModeNormal) {
    reaction = cDefender::kHitInGroin, effect = 3;
    speech = kGroinLines[RandMod(4)];
    lastReaction = speech;
    if (hit->bonusFlag) {
      hit->bonusFlag = 0;
      AddScore(0, kGroinBonus);
      m_bonusScores.Add(kGroinBonus, hit->position);
    }
  } else if (part == 12) {
    reaction = cDefender::kBlockHead, effect = 4;
  } else if (part == kDefenderJumpZone) {
    reaction = cDefender::kBlockJump, effect = 4;
  }
  hit->PlayReaction(reaction);
  PlayEffectIfPresent(effect);
  PlaySpeechIfPresent(speech);
}

void cfootballgame::PlayDeflectionReaction() {
  if (lastReaction == 5)
    PlaySpeechIfPresent(kLegLines[RandMod(4)]);
  else if (lastReaction == 0 || lastReaction == 1 || lastReaction == 2 || lastReaction == 4)
    PlaySpeechIfPresent(kGroinReplies[RandMod(3)]);
  else
    PlaySpeechIfPresent(37);
}
