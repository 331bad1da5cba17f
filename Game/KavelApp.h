#pragma once
// The game side's application object. It owns the input device, the two-player link, the sound
// manager, the front end and the current mini-game, and drives them once per frame:
//
//   sound (music stream, voices) -> input -> the two-player link -> the loading sequence of a
//   requested game, or the current game (Update once per due fixed tick while not paused, Render
//   once per frame), or the front end.
//
// The link is stepped before the ticks rather than after them: it takes in the other machine's
// records of this frame, which the ticks need to run in step.
//
// A game is loaded one phase per frame behind the front end's loading screen (LoadPhase1 to
// LoadPhase4, then StartMusic). When its Update reports the end, the game is cleaned up and
// deleted, its result is recorded in the save profile by its mode, the front end shows the
// result and the profile is saved.

#include <cstdint>

#include "Engine/BaseGameApp.h"

class CFrontEnd;
class CSoundWrapper;
class GameBaseClass;
class InputDevice;
class TwoPlayerLink;

class KavelApp : public BaseGameApp {
 public:
  // Fixed ticks a frame runs at most to catch up after a slow frame.
  static constexpr int32_t kMaxTicksPerFrame = 4;

  KavelApp() = default;
  ~KavelApp() override;

  int32_t Init() override;
  void Update() override;
  void CleanUp() override;
  int32_t MovieSkipCheck(int32_t a, int32_t b) override;

  // Makes `game` the current game and starts its loading sequence (a start callback's last step).
  // A game already running is ended first without a result.
  void StartGame(GameBaseClass* game);

  GameBaseClass* GetCurrentGame() const { return m_game; }
  int32_t IsLoading() const { return m_loadStep >= 0 ? 1 : 0; }
  CSoundWrapper* GetSound() const { return m_sound; }
  CFrontEnd* GetFrontEnd() const { return m_frontEnd; }
  InputDevice* GetInput() const { return m_input; }

  // Registers KavelApp as the game side of the application object.
  static void Register();

 private:
  void ApplySavedDisplayMode();
  void StepLoading();
  void RunGame();
  int32_t RunTick();
  void EndGame(bool recordResult);
  void RecordResult(int32_t gameId, int32_t mode, int32_t result, int32_t score);
  void ApplyProfileSettings();

  CSoundWrapper* m_sound = nullptr;
  InputDevice* m_input = nullptr;
  TwoPlayerLink* m_link = nullptr;
  CFrontEnd* m_frontEnd = nullptr;
  GameBaseClass* m_game = nullptr;
  int32_t m_loadStep = -1;  // -1: nothing loading
  int32_t m_frontEndMusicDue = 0;
  int32_t m_firstFrame = 1;
  int32_t m_initialised = 0;
};

// The one KavelApp while it is initialised, else null.
KavelApp* GetKavelApp();
