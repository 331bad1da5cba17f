// The pirate game's input: the selection moved over the holes by the pad (straight and diagonal
// searches from the camera's look-at point), and the picks that send pirates out and home.
#include "Engine/PC/PCApp.h"
#include "Game/Helper/AnimationHelper.h"
#include "Game/Helper/InputDevice.h"
#include "Game/PirateGame/cpirategame.h"

namespace {

constexpr float kMoveNearlyDone = 0.9f;
constexpr float kMoveJustBegun = 0.1f;
constexpr int32_t kMaxMisses = 9;
constexpr int32_t kSampleEmptyHole = 13;
constexpr int32_t kSamplePick = 16;
constexpr int32_t kFirstSet = 0;
constexpr int32_t kSecondSet = 1;
constexpr int32_t kSpareSet = 2;

struct PadState {
  bool upPressed, downPressed, leftPressed, rightPressed;
  bool upHeld, downHeld, leftHeld, rightHeld;
};

// Player 0 drives the game, also in two-player mode.
PadState ReadPad(const InputDevice& input) {
  PadState pad;
  pad.upPressed = input.IsButtonPressed(kInputUp);
  pad.downPressed = input.IsButtonPressed(kInputDown);
  pad.leftPressed = input.IsButtonPressed(kInputLeft);
  pad.rightPressed = input.IsButtonPressed(kInputRight);
  pad.upHeld = input.IsPlayerButtonHeld(0, kInputUp);
  pad.downHeld = input.IsPlayerButtonHeld(0, kInputDown);
  pad.leftHeld = input.IsPlayerButtonHeld(0, kInputLeft);
  pad.rightHeld = input.IsPlayerButtonHeld(0, kInputRight);
  return pad;
}

void PlayLeap(PirateAnimSet* set, float fromX, float toX) {
  if (set && set->helper) set->helper->Play(cpirategame::LeapAnim(*set, fromX, toX), 0, 0.0f);
}

}  // namespace

void cpirategame::UpdatePadInput() {
  const InputDevice* input = GetInputDevice();
  if (!input || !m_holes) return;
  if (m_cameraMoveT > kMoveJustBegun) m_selectedHole = LastSelectedHole(false);
  if (input->IsButtonPressed(kInputAction)) {
    PickHole();
    return;
  }
  const PadState pad = ReadPad(*input);
  if (TryStraightMoves(pad.upPressed, pad.downHeld, pad.downPressed, pad.leftPressed,
                       pad.rightPressed, pad.leftHeld || pad.rightHeld))
    return;
  const bool moveAllows =
      !m_cameraMoving || m_cameraMoveT > kMoveNearlyDone || m_cameraMoveT < kMoveJustBegun;
  if (!moveAllows || m_diagonalLatch) return;
  const int32_t vertical = pad.upHeld ? 1 : -1;
  if (pad.rightPressed && (pad.upPressed || pad.downHeld)) {
    MoveSelectionDiagonal(1, vertical);
  } else if (pad.leftPressed && (pad.upPressed || pad.downPressed)) {
    MoveSelectionDiagonal(-1, vertical);
  }
}

bool cpirategame::TryStraightMoves(bool up, bool downHeld, bool downPressed, bool left, bool right,
                                   bool sideHeld) {
  Vector4 origin = LookAt();
  if (m_cameraMoving) {
    if (m_cameraMoveT <= kMoveNearlyDone) return false;
    origin = m_cameraTo;
  }
  int32_t winner = -1;
  if (downHeld && !sideHeld) winner = FindStraightMove(m_holes, origin, kPirateDown);
  if (winner < 0 && up && !sideHeld) winner = FindStraightMove(m_holes, origin, kPirateUp);
  if (winner < 0 && right && !up && !downHeld)
    winner = FindStraightMove(m_holes, origin, kPirateRight);
  if (winner < 0 && left && !up && !downPressed)
    winner = FindStraightMove(m_holes, origin, kPirateLeft);
  if (winner < 0 || m_holes[winner].selected) return false;
  SelectHole(winner);
  return true;
}

void cpirategame::MoveSelectionDiagonal(int32_t side, int32_t vertical) {
  const Vector4 origin = m_cameraMoving && m_cameraMoveT > kMoveNearlyDone ? m_cameraTo : LookAt();
  const int32_t winner = FindDiagonalMove(m_holes, origin, m_selectedHole, side, vertical);
  if (winner < 0 || m_holes[winner].selected) return;
  SelectHole(winner);
  m_diagonalLatch = 1;
}

void cpirategame::SelectHole(int32_t hole) {
  for (int32_t i = 0; i < kHoles; ++i) m_holes[i].selected = 0;
  m_holes[hole].selected = 1;
  RequestCameraMove(m_holes[hole].position);
  m_selectedHole = hole;
}

void cpirategame::PickHole() {
  if (!m_holes) return;
  const int32_t hole = LastSelectedHole(true);
  if (hole >= 0) {
    if (!m_firstPicked) {
      PickFirst(hole);
    } else {
      PickSecond(hole);
    }
  }
  if (m_playPhase == kPhaseLeapBack) {
    if (m_returnVariant == kReturnOtherOfPair) {
      m_leapPos = m_holes[m_firstHole].targetPos;
      m_leapScale.Set(2.0f, 2.0f, 2.0f, 0.0f);
    }
    UpdateLeapBack();
  }
  m_revealSeconds = 0;
}

void cpirategame::CountMiss() {
  if (m_misses < kMaxMisses) ++m_misses;
}

void cpirategame::PickFirst(int32_t hole) {
  const PirateHole& picked = m_holes[hole];
  if (!picked.occupied) {
    PlayEffect(kSampleEmptyHole);
    if (m_revealSeconds > 0) {
      m_returnVariant = kReturnBoth;
      m_playPhase = kPhaseLeapBack;
      StartLeapBackBoth();
      m_revealSeconds = 0;
    }
    CountMiss();
    return;
  }
  PlaySpeechSample(11 * picked.kind);
  PlayEffect(kSamplePick);
  m_firstPicked = 1;
  m_pairFound = 0;
  bool staysOut = false;
  if (m_revealSeconds == 0) {
    m_playPhase = kPhaseLeapOut;
  } else {
    m_playPhase = kPhaseLeapBack;
    staysOut = SendRevealedPairHome(hole);
  }
  m_leapOutT = 0.0f;
  m_leapBackT = 0.0f;
  m_firstHole = hole;
  if (staysOut) return;
  if (PirateAnimSet* set = SetFor(kFirstSet, picked.kind); set && set->helper)
    set->helper->QueueOnly(LeapAnim(*set, picked.piratePos.x, picked.targetPos.x), 1.0f, 0, 0);
  UpdateLeapOut();
}

// A new first pick while a revealed pair is out: one of the pair stays out as the new first pick
// and the other goes home, or both go home while a third pirate leaps out. True when the new
// pick is one that stays out.
bool cpirategame::SendRevealedPairHome(int32_t hole) {
  if (hole == m_firstHole || hole == m_secondHole) {
    if (hole == m_secondHole) {
      m_secondHole = m_firstHole;
      m_firstHole = hole;
    }
    m_returnVariant = kReturnOtherOfPair;
    if (PirateAnimSet* kept = SetFor(kFirstSet, m_holes[hole].kind))
      if (kept->helper) kept->helper->QueueOnly(kept->stand, 10.0f, 0, 1);
    const PirateHole& other = m_holes[m_secondHole];
    PlayLeap(SetFor(kSecondSet, other.kind), other.targetPos.x, other.piratePos.x);
    return true;
  }
  m_returnVariant = kReturnPairForNew;
  m_returnHole = m_firstHole;
  const PirateHole& oldFirst = m_holes[m_returnHole];
  const PirateHole& oldSecond = m_holes[m_secondHole];
  PlayLeap(SetFor(kSpareSet, oldFirst.kind), oldFirst.targetPos.x, oldFirst.piratePos.x);
  PlayLeap(SetFor(kSecondSet, oldSecond.kind), oldSecond.targetPos.x, oldSecond.piratePos.x);
  return false;
}

void cpirategame::PickSecond(int32_t hole) {
  const PirateHole& picked = m_holes[hole];
  if (hole == m_firstHole) return;
  if (picked.occupied) {
    PlayEffect(kSamplePick);
    m_leapOutT = 0.0f;
    m_secondPicked = 1;
    m_secondHole = hole;
    m_playPhase = kPhaseLeapOut;
    PlayLeap(SetFor(kSecondSet, picked.kind), picked.piratePos.x, picked.targetPos.x);
    UpdateLeapOut();
    return;
  }
  PlayEffect(kSampleEmptyHole);
  m_returnVariant = kReturnFirstAlone;
  m_returnHole = m_firstHole;
  m_playPhase = kPhaseLeapBack;
  m_leapBackT = 0.0f;
  const PirateHole& first = m_holes[m_firstHole];
  PlayLeap(SetFor(kFirstSet, first.kind), first.targetPos.x, first.piratePos.x);
  m_firstPicked = 0;
  CountMiss();
}

// The mouse path: never selected (the input mode is always the pad), kept for the pointer
// behaviour it describes.
void cpirategame::UpdateMouseInput() {
  Mouse* mouse = GetApp().GetMouse();
  if (!mouse || !m_holes) return;
  const int32_t width = GetApp().GetWidth() - 32, height = GetApp().GetHeight() - 32;
  const int32_t centreX = GetApp().GetWidth() / 2, centreY = GetApp().GetHeight() / 2;
  m_pointerX += 2 * mouse->m_xMotion;
  m_pointerY += 2 * mouse->m_yMotion;
  m_pointerX = m_pointerX < 0 ? 0 : (m_pointerX > width ? width : m_pointerX);
  m_pointerY = m_pointerY < 0 ? 0 : (m_pointerY > height ? height : m_pointerY);
  Vector4 look = LookAt();
  const bool canScrollX = look.x > m_cameraMin.x && look.x < m_cameraMax.x;
  const bool canScrollY = look.y > m_cameraMin.y && look.y < m_cameraMax.y;
  if (canScrollX && canScrollY) {
    look.x =
        Clamp(look.x + 8.0f * static_cast<float>(mouse->m_xMotion), m_cameraMin.x, m_cameraMax.x);
    look.y =
        Clamp(look.y - 8.0f * static_cast<float>(mouse->m_yMotion), m_cameraMin.y, m_cameraMax.y);
    m_pointerX = centreX;
    m_pointerY = centreY;
    m_camera.SetTarget(look);
    m_camera.SetPosition(Vector4(look.x, look.y + m_cameraOffsetY,
                                 look.z + m_cameraOffsetY * m_cameraOffsetZFactor, look.w));
  }
  const int32_t left = mouse->m_leftButton ? 1 : 0;
  if (left && !m_mouseWasDown) PickHole();
  m_mouseWasDown = left;
  MouseMoveSelection();
}

// The hole nearest the look-at point becomes the selection.
void cpirategame::MouseMoveSelection() {
  const Vector4 look = LookAt();
  int32_t best = -1;
  float bestDistance = 0.0f;
  for (int32_t i = 0; i < kHoles; ++i) {
    if (m_holes[i].outOfPlay) continue;
    const float dx = m_holes[i].position.x - look.x, dy = m_holes[i].position.y - look.y;
    const float d = dx * dx + dy * dy;
    if (best < 0 || d < bestDistance) best = i, bestDistance = d;
  }
  if (best < 0) return;
  for (int32_t i = 0; i < kHoles; ++i) m_holes[i].selected = i == best ? 1 : 0;
  m_selectedHole = best;
}
