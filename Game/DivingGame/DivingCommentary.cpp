// Cobb's talk: his idle lines during play, and the end of a run, where he turns to Jory, speaks a
// short chain of lines chosen by what happened, the screen fades and the result is set (or, after
// the high-board overshoot, the run starts again from the chair).
#include <iterator>

#include "Engine/Random.h"
#include "Game/DivingGame/cDivingGame.h"
#include "Game/Helper/AnimationHelper.h"

namespace {

constexpr int32_t kIdleFirstLine = 32;
constexpr uint32_t kIdleLines = 5;
constexpr float kCobbTurnPerSecond = 0.8f;
// The longest the end sequence waits for Jory to come to rest and Cobb to turn to him.
constexpr float kEndWaitSeconds = 10.0f;

constexpr int32_t kLowLines[] = {9};
constexpr int32_t kGroundLines[] = {5, 22};
constexpr int32_t kHangingLines[] = {8, 23};
constexpr int32_t kHighLines[] = {6, 29};
constexpr int32_t kEndOfGameLines[] = {12, 37, 17};
constexpr int32_t kGroundFirstLines[3] = {24, 25, 28};

}  // namespace

int32_t cDivingGame::FurtherLines(int32_t kind, int32_t overshoot, const int32_t** lines) {
  switch (kind) {
    case 1:
      *lines = kLowLines;
      return static_cast<int32_t>(std::size(kLowLines));
    case 2:
      *lines = kGroundLines;
      return static_cast<int32_t>(std::size(kGroundLines));
    case 3:
      *lines = overshoot ? kHangingLines : kHighLines;
      return 2;
    case 4:
      *lines = kEndOfGameLines;
      return static_cast<int32_t>(std::size(kEndOfGameLines));
    default:
      *lines = nullptr;
      return 0;
  }
}

void cDivingGame::IdleTalk() {
  // The talk waits for StartPlay's first line; a line that could not start counts as finished.
  if (!m_talkStarted || m_speechVoice.IsPlaying() || m_sequenceFlag) return;
  m_speechVoice =
      PlaySpeechLine(kIdleFirstLine + static_cast<int32_t>(m_talkIndex), &m_layout.cobbStand);
  m_talkIndex = (m_talkIndex + 1) % kIdleLines;
}

int32_t cDivingGame::CobbTurnAnim() const {
  switch (m_cobbState) {
    case 1:
      return m_cobbAnims[kCobbTurnLow];
    case 2:
      return m_cobbAnims[kCobbTurnGround];
    case 3:
      return m_cobbAnims[kCobbTurnHigh];
    case 4:
      return m_cobbAnims[kCobbTurnGround];
    default:
      return -1;
  }
}

int32_t cDivingGame::FirstLine() {
  switch (m_cobbState) {
    case 1:
      return 21;
    case 2:
      return kGroundFirstLines[RandMod(3)];
    case 3:
      return m_overshoot ? 20 : 26;
    case 4:
      return 30;
    default:
      return -1;
  }
}

void cDivingGame::UpdateEndSequence() {
  switch (m_endStep) {
    case 0:
      EndWaitForCobb();
      break;
    case 1:
      EndLines();
      break;
    case 2:
      EndAfterFade();
      break;
    default:
      break;
  }
}

void cDivingGame::EndWaitForCobb() {
  // The wait is bounded: a run always ends, whatever animation fails to load or never ends.
  const bool waitedEnough = ++m_endWaitTicks > static_cast<int32_t>(kEndWaitSeconds * Fps());
  if (m_cobbState == 0) {
    // Until Jory has come to rest Cobb has nothing to react to. A stop that cannot come to rest
    // (his sit-down missing, or he is not stopping) leaves Cobb without a reaction.
    const int32_t sitDown = JoryAnimId(kSitOnGround);
    const bool stillSitting = m_jory && sitDown != -1 && m_joryAction == kActionStopped &&
                              !m_jory->IsAnimationFinished(sitDown);
    if (stillSitting && !waitedEnough) return;
  } else if (m_cobb && !m_cobb->IsAnimationFinished(CobbTurnAnim()) && !waitedEnough) {
    if (m_cobbState == 4) m_cobbTurn -= kCobbTurnPerSecond / Fps();
    return;
  }
  m_firstLinePending = 1;
  m_speechVoice.Stop();
  const int32_t first = FirstLine();
  if (first >= 0) m_speechVoice = PlaySpeechLine(first, nullptr);
  m_endStep = 1;
  m_lineIndex = 0;
}

void cDivingGame::EndLines() {
  if (m_speechVoice.IsPlaying()) return;
  const int32_t* lines = nullptr;
  const int32_t count = FurtherLines(m_cobbState, m_overshoot, &lines);
  if (m_lineIndex < count) {
    m_speechVoice = PlaySpeechLine(lines[m_lineIndex++], nullptr);
    m_firstLinePending = 0;
    return;
  }
  m_endStep = 2;
  m_fadeTimer.Start(0, Fps());
}

void cDivingGame::EndAfterFade() {
  if (!m_fadeTimer.IsFinished()) return;
  m_endStep = 3;
  switch (m_cobbState) {
    case 1:
    case 2:
      m_result = 0;
      break;
    case 3:
      if (m_overshoot) {
        ResetToStart();
        m_joryAction = kActionNone;
        JoryStart(kSit, 1);
        if (m_cobb) m_cobb->PlayReversed(m_cobbAnims[kCobbStand], 1, 0.0f);
        m_talkIndex = 0;
      }
      m_result = 0;
      break;
    case 4:
      if (m_sequenceKind != 3) {
        m_result = 1;
      } else if (m_divesDone >= static_cast<uint32_t>(DivesNeeded())) {
        m_result = 1;
        m_timeUp = 0;
      } else {
        m_result = 0;
      }
      break;
    default:
      break;
  }
}
