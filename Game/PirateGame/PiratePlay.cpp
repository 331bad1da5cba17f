// The pirate game's tick: the clock, the pulse of the selected hole, the picked pirates' leaps out
// and back, and the resolution of a revealed pair.
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Game/Helper/AnimationHelper.h"
#include "Game/PirateGame/cpirategame.h"
#include "Game/Sound/CSoundWrapper.h"

namespace {

constexpr int32_t kTextTimeUp = 106;
constexpr int32_t kTimeUpMessageY = 200;
constexpr int32_t kTickingSample = 0;
constexpr int32_t kTickingFrom = 10;
constexpr int32_t kChallengePairs = 5;
constexpr int32_t kMatchRevealSeconds = 10;
constexpr int32_t kMismatchRevealSeconds = 5;
constexpr float kLeapRate = 3.0f;

void Queue(PirateAnimSet* set, int32_t anim, float blend, int32_t loop) {
  if (set && set->helper) set->helper->QueueOnly(anim, blend, 0, loop);
}

void UpdateHelper(PirateAnimSet* set) {
  if (set && set->helper) set->helper->Update(1.0f);
}

Vector4 Lerp(const Vector4& from, const Vector4& to, float t) {
  return Vector4(from.x + t * (to.x - from.x), from.y + t * (to.y - from.y),
                 from.z + t * (to.z - from.z), from.w + t * (to.w - from.w));
}

}  // namespace

int32_t cpirategame::Update() {
  RenderWindow* main = MainWindow();
  if (main) main->SetFlags(main->GetFlags() & ~BaseRenderWindow::kSuspended);
  if (main && m_camera.Update(main)) return 0;
  UpdateIngameText(1.0f);
  if (m_playPhase == kPhaseIntro && m_introState == kIntroBoardOpening && m_boardAnim)
    m_boardAnim->Update(1.0f);

  if (m_secondsLeft == 0) {
    if (m_timeUpFade) {
      if (!m_fadeTimer.IsFinished()) return 0;
      m_result = 0;
      return 1;
    }
    if (m_ingameText.shown) return 0;
    m_timeUpFade = 1;
    m_fadeTimer.Start(0, m_fps);
    return 0;
  }
  m_pulse += s_pulseStep;
  if (m_pulse > 1.0f || m_pulse < 0.5f) {
    m_pulse -= s_pulseStep;
    s_pulseStep = -s_pulseStep;
  }
  if (m_mode == kModeChallenge1 && m_pairsLeft <= kChallengePairs) {
    m_result = 1;
    return 1;
  }
  if (m_playPhase == kPhaseIntro) {
    if (m_introState == kIntroStartScript) {
      m_sequence.Update(this);
    } else {
      UpdateIntro();
    }
    return 0;
  }
  if (m_playPhase == kPhaseFinale) {
    if (m_finaleState != kFinaleDone) {
      UpdateFinale();
      return 0;
    }
    m_result = 1;
    return 1;
  }
  if (m_firstPicked || m_revealSeconds > 0) UpdateHelper(SetFor(0, KindOf(m_firstHole)));
  if (m_secondPicked || m_revealSeconds > 0) UpdateHelper(SetFor(1, KindOf(m_secondHole)));
  if (m_pairPending) ResolvePair();
  UpdateSeconds();
  UpdateTicking();
  return UpdatePhase();
}

int32_t cpirategame::UpdatePhase() {
  const int32_t phase = m_playPhase;
  switch (phase) {
    case kPhaseInput:
      if (m_inputMode == kPadInput) {
        UpdatePadInput();
      } else {
        UpdateMouseInput();
      }
      break;
    case kPhasePairFound:
      if (m_tallyFading) {
        UpdatePairShown();
        return 0;
      }
      UpdateCameraMove();
      break;
    case kPhaseLeapOut:
      if (!m_revealShown && !m_pairPending) UpdateLeapOut();
      break;
    case kPhaseLeapBack:
      UpdateLeapBack();
      if (m_returnVariant == kReturnPairForNew) UpdateLeapOut();
      return 0;
    default:
      break;
  }
  if (m_cameraMoving && (phase == kPhaseInput || phase == kPhaseLeapOut)) UpdateCameraMove();
  return 0;
}

void cpirategame::UpdateSeconds() {
  if (m_pairsLeft == 0) return;
  if (static_cast<float>(++m_secondFrames) <= m_fps - 1.0f) return;
  if (m_revealSeconds > 0 && --m_revealSeconds == 0 && m_playPhase != kPhasePairFound) {
    m_returnVariant = kReturnBoth;
    m_playPhase = kPhaseLeapBack;
    StartLeapBackBoth();
    UpdateLeapBack();
  }
  m_secondFrames = 0;
  if (m_secondsLeft > 0 && --m_secondsLeft == 0) {
    ShowIngameMessage(&m_ingameText, kTextTimeUp, kTimeUpMessageY, 3.0f * m_fps, 0);
    if (CSoundWrapper* sound = GetSoundWrapper(); sound && m_effectsBank != -1)
      sound->StopSample(m_effectsBank, kTickingSample);
  }
}

void cpirategame::UpdateTicking() {
  CSoundWrapper* sound = GetSoundWrapper();
  if (!sound || m_secondsLeft >= kTickingFrom || m_ingameText.shown) return;
  if (m_effectsBank != -1 && !sound->IsSamplePlaying(m_effectsBank, kTickingSample))
    PlayEffect(kTickingSample);
}

// Both revealed pirates go home: the first at once, the second as soon as its helper may.
void cpirategame::StartLeapBackBoth() {
  m_leapBackT = 0.0f;
  const PirateHole& first = m_holes[m_firstHole];
  const PirateHole& second = m_holes[m_secondHole];
  if (PirateAnimSet* set = SetFor(0, first.kind); set && set->helper)
    set->helper->Play(LeapAnim(*set, first.targetPos.x, first.piratePos.x), 0, 0.0f);
  if (PirateAnimSet* set = SetFor(1, second.kind))
    Queue(set, LeapAnim(*set, second.targetPos.x, second.piratePos.x), 1.0f, 0);
}

void cpirategame::ResolvePair() {
  PirateAnimSet* first = SetFor(0, KindOf(m_firstHole));
  PirateAnimSet* second = SetFor(1, KindOf(m_secondHole));
  if (!first || !second || !second->helper) {
    ClosePair();
    return;
  }
  AnimationHelper* helper = second->helper;
  const bool standDone =
      !helper->IsAnimationActive(second->stand) || helper->IsAnimationFinished(second->stand);
  if (!standDone) return;
  const int32_t reaction = m_pairMismatch ? second->defeat : second->celebrate;
  if (reaction != -1 && !helper->IsAnimationActive(reaction)) {
    Queue(first, m_pairMismatch ? first->defeat : first->celebrate, 10.0f, 0);
    Queue(second, reaction, 10.0f, 0);
    PlayPairLine(KindOf(m_firstHole), KindOf(m_secondHole));
    return;
  }
  if (reaction == -1 || helper->IsAnimationFinished(reaction)) ClosePair();
}

void cpirategame::ClosePair() {
  PirateAnimSet* first = SetFor(0, KindOf(m_firstHole));
  PirateAnimSet* second = SetFor(1, KindOf(m_secondHole));
  if (first) Queue(first, first->stand, 30.0f, 1);
  if (second) Queue(second, second->stand, 30.0f, 1);
  m_pairPending = m_firstPicked = m_secondPicked = m_revealShown = 0;
  if (m_pairMismatch) {
    m_revealSeconds = kMismatchRevealSeconds;
    m_playPhase = kPhaseInput;
    return;
  }
  m_revealSeconds = kMatchRevealSeconds;
  m_holes[m_firstHole].outOfPlay = 1;
  m_holes[m_secondHole].outOfPlay = 1;
  m_playPhase = kPhasePairFound;
  int32_t tally = kPirateKinds - 1 - m_pairsLeft;
  if (tally < 0) tally = 0;
  RequestCameraMove(m_linePos[tally]);
}

void cpirategame::PlayPairLine(int32_t firstKind, int32_t secondKind) {
  if (firstKind < 0 || secondKind < 0) return;
  PlaySpeechSample(11 * secondKind + 1 + firstKind);
}

void cpirategame::UpdateLeapOut() {
  m_leapOutT += kLeapRate / m_fps;
  const int32_t hole = m_secondPicked ? m_secondHole : m_firstHole;
  const PirateHole& h = m_holes[hole];
  const float t = m_leapOutT;
  m_leapPos = Lerp(h.piratePos, h.targetPos, t);
  m_leapScale.Set(t + 1.0f, t + 1.0f, t + 1.0f, 0.0f);
  if (t <= 1.0f) return;
  PirateAnimSet* first = SetFor(0, KindOf(m_firstHole));
  if (!m_secondPicked) {
    if (first) Queue(first, first->stand, 30.0f, 1);
    m_playPhase = kPhaseInput;
    return;
  }
  PirateAnimSet* second = SetFor(1, KindOf(m_secondHole));
  if (first) Queue(first, first->stand, 10.0f, 0);
  if (second) Queue(second, second->stand, 10.0f, 0);
  m_revealShown = m_pairPending = 1;
  if (KindOf(m_firstHole) == KindOf(m_secondHole)) {
    const int32_t points = PairPoints(m_misses);
    AddScore(0, points);
    m_lastPoints = points;
    --m_pairsLeft;
    m_pairFound = 1;
    m_pairMismatch = 0;
    m_misses = 0;
    m_matchShown = 1;
  } else {
    if (m_misses < 9) ++m_misses;
    m_pairMismatch = 1;
  }
}

// Which pirates leap home after a pick, and on which animation set the first of them does.
cpirategame::ReturningHoles cpirategame::GetReturningHoles() const {
  switch (m_returnVariant) {
    case kReturnBoth:
      return {m_firstHole, m_secondHole, 0};
    case kReturnFirstAlone:
      return {m_returnHole, -1, 0};
    case kReturnPairForNew:
      return {m_returnHole, m_secondHole, 2};
    default:
      return {m_secondHole, -1, 1};
  }
}

void cpirategame::UpdateLeapBack() {
  const auto [hole1, hole2, set1] = GetReturningHoles();
  UpdateHelper(SetFor(set1, KindOf(hole1)));
  if (hole2 >= 0) UpdateHelper(SetFor(1, KindOf(hole2)));
  m_leapBackT += kLeapRate / m_fps;
  const float t = m_leapBackT;
  m_returnPos1 = Lerp(m_holes[hole1].targetPos, m_holes[hole1].piratePos, t);
  if (hole2 >= 0) m_returnPos2 = Lerp(m_holes[hole2].targetPos, m_holes[hole2].piratePos, t);
  m_returnScale.Set(2.0f - t, 2.0f - t, 2.0f - t, 0.0f);
  if (t <= 1.0f) return;
  if (m_returnVariant == kReturnBoth && m_pairsLeft == 0) {
    m_playPhase = kPhaseFinale;
    m_finaleState = kFinaleCameraDrop;
    return;
  }
  m_playPhase = kPhaseInput;
}

void cpirategame::UpdatePairShown() {
  m_tallyFade += 0.6f / m_fps;
  if (m_tallyFade <= 1.0f) return;
  m_tallyFade = 0.0f;
  m_matchShown = m_tallyFading = 0;
  m_selectedHole = -1;
  m_revealSeconds = 0;
  m_returnVariant = kReturnBoth;
  m_playPhase = kPhaseLeapBack;
  StartLeapBackBoth();
  UpdateLeapBack();
}
