#include "Game/Helper/GameSequence.h"

#include "Engine/PC/PCApp.h"
#include "Game/GameBaseClass.h"

void GameSequence::Start(const int32_t* script, int32_t length) {
  m_script = script;
  m_length = script && length > 0 ? length : 0;
  m_index = 0;
  m_subStep = 0;
  m_timer = 0.0f;
}

int32_t GameSequence::Update(GameBaseClass* game) {
  // Off the end of the script holds, as a code above the end code does.
  if (!game || m_index >= m_length) return 0;
  const int32_t code = m_script[m_index];
  switch (code) {
    case kFadeForward:
    case kFadeBackward: {
      ProgressTimer& fade = game->m_fadeTimer;
      if (m_subStep == 0) {
        fade.Start(code == kFadeForward ? 1 : 0, static_cast<float>(GetApp().GetTargetFrameRate()));
        m_subStep = 1;
      } else if (fade.IsFinished()) {
        ++m_index;
        m_subStep = 0;
      }
      return 0;
    }
    case kWait:
      if (m_subStep == 0) {
        m_timer = 0.0f;
        m_subStep = 1;
      }
      m_timer += 1.0f;
      if (m_timer >= kWaitTicks) {
        ++m_index;
        m_subStep = 0;
      }
      return 0;
    case kHoldPlay:
      ++m_index;
      game->HoldPlay();
      return 0;
    case kStartPlay:
      ++m_index;
      game->StartPlay();
      return 0;
    case kEnd:
      return 1;
    default:
      // Codes the games do not use are passed over; those above the end code hold.
      if (code >= 0 && code < kEnd) ++m_index;
      return 0;
  }
}
