// Jory on foot: out of the chair and along the routes of the pool with blended headings, over
// the ladder windows, up the step climbs and the ladders to a board, back from the pool exit and
// into the chair; and his walk-run stride with its footsteps.
#include "Engine/PC/PCAnimation.h"
#include "Engine/PC/PCApp.h"
#include "Game/DivingGame/cDivingGame.h"
#include "Game/Helper/AnimationHelper.h"

namespace {

constexpr float kLateBlendStart = 0.8f;
constexpr float kEarlyBlendEnd = 0.2f;
constexpr float kBlendRate = 2.5f;
constexpr float kWalkToPathFov = 1.0471976f;
constexpr float kClimbHeadingAt11 = 4.712389f;
constexpr float kClimbHeadingAt15 = 1.5707964f;
constexpr float kClimbStartSeconds = 0.08333333f;
constexpr float kClimbPointDrop = 60.0f;
constexpr float kClimb11Total = 300.0f;
constexpr uint32_t kClimbPoint11 = 11;
constexpr uint32_t kClimbPoint15 = 15;
constexpr float kStrideRate = 1.8f;
constexpr float kMidStride = 0.28125f;
constexpr float kEndStride = 0.78125f;

// The step climb's start counts ticks in one value for the whole program.
int32_t s_climbStartTicks = 0;

float Blend(float from, float to, float t) { return from + (to - from) * t; }

Vector4 LerpPoint(const Vector4& a, const Vector4& b, float t) {
  Vector4 out;
  return Lerp(a, b, t, out);
}

void RootPositions(int32_t animId, Vector4* start, Vector4* end) {
  *start = Vector4(0.0f, 0.0f, 0.0f, 1.0f);
  *end = *start;
  const Animation* anim = GetApp().GetAnimFactory()->FindAnim(animId);
  if (!anim) return;
  anim->GetStartRootPosition(*start);
  anim->GetEndRootPosition(*end);
}

}  // namespace

void cDivingGame::PlaceOnSegment(const Vector4& start, const Vector4& end, float previousHeading,
                                 float startHeading, float endHeading) {
  m_joryPos = LerpPoint(start, end, m_progress);
  if (m_progress > kLateBlendStart)
    m_joryRot[2] = Blend(startHeading, endHeading, (m_progress - kLateBlendStart) * kBlendRate);
  else if (m_progress < kEarlyBlendEnd)
    m_joryRot[2] = Blend(previousHeading, startHeading, m_progress * kBlendRate + 0.5f);
  else
    m_joryRot[2] = startHeading;
}

void cDivingGame::UpdateInChair() {
  m_joryPos = m_layout.chair;
  m_joryRot[2] = m_layout.chairHeading;
  m_progress += SegmentStep(m_walkSpeed, m_layout.chairToPath);
  if (m_progress == 0.0f) return;
  m_progress = 0.0f;
  if (m_joryAction != kActionNone) return;
  m_joryAction = kActionOutOfChair;
  PlayEffect(kFxChair, 1.0f);
  JoryQueue(kOutOfWheelchair, 10.0f, 0);
}

void cDivingGame::WalkToPath() {
  const DivingRoute& path = m_layout.routes[kRoutePath];
  m_progress += SegmentStep(m_walkSpeed, m_layout.chairToPath);
  m_joryPos = LerpPoint(m_walkStart, path.points[0], m_progress);
  m_joryRot[2] = m_progress > kLateBlendStart ? Blend(m_layout.chairHeading, path.headings[0],
                                                      (m_progress - kLateBlendStart) * kBlendRate)
                                              : m_layout.chairHeading;
  if (m_progress <= 1.0f) return;
  m_progress = 0.0f;
  m_divePhase = kDivePhasePath;
  m_cameraShot = kShotPath;
  SetWindowFov(kWalkToPathFov);
  m_distanceShown = m_distanceTotal = 0.0f;
}

void cDivingGame::WalkPath() {
  const DivingRoute& path = m_layout.routes[kRoutePath];
  if (m_nextNodeIndex >= path.count) return;
  const float length = path.lengths[m_nodeIndex];
  m_progress += SegmentStep(m_walkSpeed, length);
  m_distanceShown = m_progress * length + m_distanceTotal;
  float previous = m_nodeIndex > 0 ? path.headings[m_nodeIndex - 1] : m_layout.chairHeading;
  const DivingRoute& back = m_layout.routes[kRouteReturn0];
  if (m_nodeIndex == 0 && m_divesDone != 0) previous = back.headings[back.count - 2];
  float next = path.headings[m_nextNodeIndex];
  if (m_turnRequest)
    next = m_layout.routes[kRouteBoard0 + m_chosenBoard].headings[0];
  else if (m_nextNodeIndex == path.count - 1)
    next = m_layout.routes[kRouteBoard2].headings[0];
  PlaceOnSegment(path.points[m_nodeIndex], path.points[m_nextNodeIndex], previous,
                 path.headings[m_nodeIndex], next);
  UpdateLadderWindow();
  if (m_progress > 1.0f) PathSegmentEnd();
}

void cDivingGame::UpdateLadderWindow() {
  const bool inBoard0 = m_nodeIndex >= m_board0WindowStart && m_nodeIndex <= m_board0TurnPoint;
  const bool inBoard1 = m_nodeIndex >= m_board1WindowStart && m_nodeIndex <= m_board1TurnPoint;
  if (!inBoard0 && !inBoard1) {
    m_ladderWindow = 0;
  } else if (!m_turnRequest) {
    const bool turnPoint = m_nodeIndex == m_board0TurnPoint || m_nodeIndex == m_board1TurnPoint;
    m_ladderWindow = turnPoint && m_progress > kLateBlendStart ? 0 : 1;
  }
}

void cDivingGame::PathSegmentEnd() {
  const DivingRoute& path = m_layout.routes[kRoutePath];
  m_distanceTotal += path.lengths[m_nodeIndex];
  m_progress = 0.0f;
  const bool turnPoint = m_nodeIndex == m_board0TurnPoint || m_nodeIndex == m_board1TurnPoint;
  if (m_turnRequest && turnPoint) {
    if (m_climbStarted) {
      m_climbStarted = 0;
      m_walking = 1;
      m_strideState = 0;
    }
    m_turnRequest = 0;
    m_divePhase = kDivePhaseBoardRoute;
    m_nodeIndex = 0;
    m_nextNodeIndex = 1;
    return;
  }
  if (m_climbStarted) {
    m_climbStarted = 0;
    m_walking = 1;
    m_strideState = 0;
  } else if (m_nextNodeIndex == kClimbPoint11 || m_nextNodeIndex == kClimbPoint15) {
    if (m_nextNodeIndex == kClimbPoint11 && !m_turnRequest) m_ladderWindow = 1;
    JoryStart(kStand, 1);
    m_divePhase = kDivePhaseClimbSteps;
    m_footFlag = 1;
    m_joryAction = kActionClimbSteps;
    m_walking = 0;
    m_climbLoops = 0;
  }
  ++m_nodeIndex;
  ++m_nextNodeIndex;
  if (m_nodeIndex == 10) {
    m_distanceShown = m_distanceTotal = 0.0f;
    m_cameraShot = kShotPathFar;
  }
  if (m_nextNodeIndex == path.count) {
    m_divePhase = kDivePhaseBoardRoute;
    m_nodeIndex = 0;
    m_nextNodeIndex = 1;
    m_chosenBoard = 2;
    m_cameraShot = kShotToHighBoard;
  }
}

// Phase 4 before the climb: a short pause, then the first climb loop.
void cDivingGame::ClimbStart() {
  if (++s_climbStartTicks < static_cast<int32_t>(Fps() * kClimbStartSeconds)) return;
  s_climbStartTicks = 0;
  m_climbStarted = 1;
  m_climbHeight = 0.0f;
  m_climbOffset = m_distanceShown;
  m_climbPoint = m_joryPos;
  m_joryRot[2] = m_nodeIndex == kClimbPoint11 ? kClimbHeadingAt11 : kClimbHeadingAt15;
  JoryQueue(kClimbLoop, 10.0f, 0);
}

// Where the camera looks during a climb: Jory with the climb's root offset, a little lower.
Vector4 cDivingGame::ClimbPointNow() const {
  Vector4 root = m_jory ? m_jory->GetTrackVector() : Vector4();
  Vector4 point = m_joryPos;
  Add(point, RotateByJory(root));
  point.z -= kClimbPointDrop;
  point.y = m_joryPos.y;
  point.w = m_joryPos.w;
  return point;
}

void cDivingGame::ClimbTick(float r) {
  if (!m_climbStarted || !m_jory) return;
  // The climb goes as fast as the player presses.
  m_jory->Update(r);
  Vector4 start, end;
  RootPositions(JoryAnimId(kClimbLoop), &start, &end);
  const Vector4 root = m_jory->GetTrackVector();
  m_climbPoint = ClimbPointNow();
  m_climbHeight = static_cast<float>(m_climbLoops) * (end.z - start.z) + (root.z - start.z);
  m_distanceShown = m_climbHeight + m_climbOffset;
  const float played = m_jory->GetRemainingFraction(JoryAnimId(kClimbLoop));
  if (m_footFlag == 1 && played > 0.33333f && played < 0.83333f) {
    PlayEffectAt(kFxClimbStepMid, 1.2f, m_climbPoint);
    m_footFlag = 0;
  } else if (m_footFlag == 0 && played > 0.83333f) {
    PlayEffectAt(kFxClimbStepEnd, 1.2f, m_climbPoint);
    m_footFlag = 1;
  }
}

void cDivingGame::OnClimbLoopEnd(float overshoot) {
  Vector4 start, end, travel;
  RootPositions(JoryAnimId(kClimbLoop), &start, &end);
  Subtract(end, start, travel);
  Add(m_joryPos, RotateByJory(travel));
  m_climbPoint = m_joryPos;
  JoryStart(kClimbLoop, 0, overshoot);
  ++m_climbLoops;
}

void cDivingGame::ClimbChecks() {
  if (!m_climbStarted) {
    ClimbStart();
    return;
  }
  if (m_nodeIndex == kClimbPoint11 && m_climbLoops >= 3)
    FinishClimb11();
  else if (m_nodeIndex == kClimbPoint15 && m_climbLoops >= 4 && m_jory &&
           m_jory->GetRemainingFraction(JoryAnimId(kClimbLoop)) > 0.5f)
    FinishClimb15();
}

void cDivingGame::FinishClimb11() {
  DivingRoute& path = m_layout.routes[kRoutePath];
  m_nodeIndex = 12;
  m_strideState = 0;
  m_climbLoops = 0;
  m_climbStarted = 0;
  m_divePhase = kDivePhasePath;
  m_nextNodeIndex = m_nodeIndex + 1;
  m_walking = 1;
  // The walk goes on from exactly where the climb put him.
  path.points[12] = m_joryPos;
  m_progress = 0.0f;
  path.lengths[12] = PointDistance(path.points[12], path.points[13]);
  m_distanceTotal += kClimb11Total;
}

void cDivingGame::FinishClimb15() {
  DivingRoute& board = m_layout.routes[kRouteBoard2];
  m_joryPos.x = ClimbPointNow().x;
  m_joryPos.z = board.points[0].z;
  m_walking = 1;
  m_strideState = 0;
  m_climbLoops = 0;
  m_climbStarted = 0;
  m_divePhase = kDivePhaseBoardRoute;
  m_nodeIndex = 0;
  m_nextNodeIndex = 1;
  m_chosenBoard = 2;
  m_cameraShot = kShotToHighBoard;
  board.points[0] = m_joryPos;
  m_progress = 0.0f;
  JoryStart(kStand, 0);
  if (m_jory) m_jory->Update(1.0f);
  if (board.count > 1) board.lengths[0] = PointDistance(board.points[0], board.points[1]);
  m_distanceTotal = 0.0f;
}

void cDivingGame::WalkBoardRoute() {
  const DivingRoute& board = m_layout.routes[kRouteBoard0 + m_chosenBoard];
  if (m_nextNodeIndex >= board.count) {
    FinishBoardRoute();
    return;
  }
  m_progress += SegmentStep(m_walkSpeed, board.lengths[m_nodeIndex]);
  const DivingRoute& path = m_layout.routes[kRoutePath];
  float previous = m_nodeIndex > 0 ? board.headings[m_nodeIndex - 1] : 0.0f;
  if (m_nodeIndex == 0)
    previous = m_chosenBoard == 0   ? path.headings[m_board0TurnPoint]
               : m_chosenBoard == 1 ? path.headings[m_board1TurnPoint]
                                    : path.headings[path.count - 1];
  PlaceOnSegment(board.points[m_nodeIndex], board.points[m_nextNodeIndex], previous,
                 board.headings[m_nodeIndex], board.headings[m_nextNodeIndex]);
  if (m_progress > 1.0f) BoardSegmentEnd();
}

void cDivingGame::BoardSegmentEnd() {
  const DivingRoute& board = m_layout.routes[kRouteBoard0 + m_chosenBoard];
  m_progress = 0.0f;
  ++m_nodeIndex;
  ++m_nextNodeIndex;
  const bool ladder0 = m_chosenBoard == 0 && m_nodeIndex == 1;
  const bool ladder1 = m_chosenBoard == 1 && m_nodeIndex == 2;
  if (ladder0 || ladder1) {
    if (ladder0) m_cameraShot = kShotLowLadder;
    m_divePhase = kDivePhaseLadder;
    m_footFlag = 1;
    JoryQueue(kClimbStepLoop, 10.0f, 0);
    m_walking = 0;
    m_joryAction = kActionLadder;
    return;
  }
  if (m_nextNodeIndex >= board.count) FinishBoardRoute();
}

// At the board's end: crouch, and the power bar starts.
void cDivingGame::FinishBoardRoute() {
  const DivingRoute& board = m_layout.routes[kRouteBoard0 + m_chosenBoard];
  m_joryPos = board.points[board.count - 1];
  m_cameraShot = kShotBoardEnd;
  m_divePhase = kDivePhaseOnBoard;
  m_walking = 0;
  JoryQueue(kWalkToCrouch, 10.0f, 0);
  m_camera.SetPosition(m_camera.GetPosition());
  m_camera.SetTarget(m_camera.GetTarget());
  UpdatePowerBar();
  m_diveBoard = m_chosenBoard;
  m_nodeIndex = 0;
  m_nextNodeIndex = 1;
}

// Phase 5: on a ladder. Board 1 hands over halfway up; board 0 when the step loop ends.
void cDivingGame::UpdateLadder() {
  if (!m_jory) return;
  const float played = m_jory->GetRemainingFraction(JoryAnimId(kClimbStepLoop));
  if (m_footFlag == 1 && played > 0.33333f && played < 0.83333f) {
    PlayEffectAt(kFxClimbStepMid, 1.2f, m_joryPos);
    m_footFlag = 0;
  } else if (m_footFlag == 0 && played > 0.83333f) {
    PlayEffectAt(kFxClimbStepEnd, 1.2f, m_joryPos);
    m_footFlag = 1;
  }
  if (m_chosenBoard != 1 || played <= 0.5f || m_timeUp) return;
  ++m_nodeIndex;
  ++m_nextNodeIndex;
  m_footFlag = 1;
  m_divePhase = kDivePhaseBoardRoute;
  m_joryAction = kActionWalkRoute;
  m_walking = 1;
  m_strideState = 0;
  JoryStart(kStand, 0);
  m_cameraShot = kShotMiddleLadderTop;
}

void cDivingGame::WalkToChairRoute() {
  const DivingRoute& route = m_layout.routes[kRouteToChair];
  if (m_nextNodeIndex >= route.count) return;
  m_progress += SegmentStep(m_walkSpeed, route.lengths[m_nodeIndex]);
  const DivingRoute& back = m_layout.routes[kRouteReturn0];
  const float previous =
      m_nodeIndex > 0 ? route.headings[m_nodeIndex - 1] : back.headings[back.count - 1];
  float next = route.headings[m_nextNodeIndex];
  if (m_nextNodeIndex == route.count - 1 && !m_chairChosen)
    next = m_layout.routes[kRoutePath].headings[0];
  PlaceOnSegment(route.points[m_nodeIndex], route.points[m_nextNodeIndex], previous,
                 route.headings[m_nodeIndex], next);
  if (m_chairOffer && m_nextNodeIndex == 3 && m_progress > kLateBlendStart) m_chairOffer = 0;
  if (m_progress <= 1.0f) return;
  m_progress = 0.0f;
  ++m_nodeIndex;
  ++m_nextNodeIndex;
  if (m_nextNodeIndex < route.count) return;
  m_chairOffer = 0;
  if (m_chairChosen) {
    m_divePhase = kDivePhaseBackToChair;
  } else {
    m_divePhase = kDivePhasePath;
    m_cameraShot = kShotPath;
    SetWindowFov(kWalkToPathFov);
    m_distanceShown = m_distanceTotal = 0.0f;
  }
  m_nodeIndex = 0;
  m_nextNodeIndex = 1;
}

void cDivingGame::ReturnToChair() {
  const Vector4& start = m_layout.routes[kRoutePath].points[0];
  m_progress += SegmentStep(m_walkSpeed, m_layout.chairToPath);
  m_joryPos = LerpPoint(start, m_walkStart, m_progress);
  if (m_progress <= 1.0f) return;
  m_joryRot[2] += kPi;
  m_joryPos = m_walkStart;
  JoryStart(kIntoWheelchair, 0);
  PlayEffect(kFxChair, 1.0f);
  m_walking = 0;
  m_progress = 0.0f;
  m_divePhase = kDivePhaseInChair;
  m_joryAction = kActionIntoChair;
}

// ---- The stride.

void cDivingGame::JoryWalk(float r) {
  if (!m_jory) return;
  if (m_divePhase == kDivePhaseSwim && m_surfaced) {
    SwimStrokes();
  } else if (m_walking && (m_strideState == 0 || m_strideState == 1)) {
    m_jory->Update(1.0f);
    if (r <= 0.0f) {
      m_strideState = 0;
      if (!m_jory->IsAnimationActive(JoryAnimId(kStand))) JoryQueue(kStand, 10.0f, 1);
    } else if (!m_jory->GetBlend()) {
      if (m_strideState == 1) {
        m_strideState = 2;
        m_strideTrack = m_jory->CrossFadeTo(JoryAnimId(kRun), 1);
        m_stridePhase = m_jory->GetDominantRemainingFraction();
      } else {
        m_strideState = 1;
        JoryQueue(kWalk, 10.0f, 1);
      }
    }
  } else if ((m_strideState == 2 && m_walking) || m_strideState == 3) {
    Stride(r);
  } else {
    m_jory->Update(1.0f);
  }
}

void cDivingGame::Stride(float r) {
  m_strideRate = r;
  m_jory->PoseWeighted(m_stridePhase, r);
  m_stridePhase += kStrideRate / Fps() * r;
  Footstep();
  if (m_stridePhase > 1.0f) m_stridePhase -= 1.0f;
  bool stop = r == 0.0f;
  if (m_stridePhase > 0.3f && m_stridePhase < 0.5f && r <= m_minWalkSpeed) {
    m_footFlag = 1;
    m_walkSpeed = 0.0f;
    stop = true;
  }
  if (!stop) return;
  m_strideState = 0;
  JoryQueue(kStand, 10.0f, 1);
}

void cDivingGame::Footstep() {
  const bool onBoard = m_divePhase == kDivePhaseBoardRoute &&
                       (m_chosenBoard == 0 || (m_chosenBoard == 1 && m_nodeIndex >= 2));
  if (m_footFlag == 1 && m_stridePhase > kMidStride && m_stridePhase < kEndStride) {
    PlayEffectAt(onBoard ? kFxBoardStepMid : kFxDeckStepMid, 1.5f, m_joryPos);
    m_footFlag = 0;
  } else if (m_footFlag == 0 && m_stridePhase >= kEndStride) {
    PlayEffectAt(onBoard ? kFxBoardStepEnd : kFxDeckStepEnd, 1.5f, m_joryPos);
    m_footFlag = 1;
  }
}
