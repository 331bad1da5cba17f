#pragma once
// The interface of every mini-game. The framework (KavelApp) makes a game through a front-end
// start callback, runs its load phases one per frame and then StartMusic, runs Update once per
// due fixed tick (a result of 1 ends the game) and Render once per frame, then calls CleanUp and
// deletes it. The base keeps what every game shares: scores, the result word, the two bank
// slots, the in-game message, the fade timer, the bonus popups and the scripted sequence.
//
// The virtual operations are declared in the order of their slots; games override them by name.

#include <cstdint>

#include "Game/Helper/BonusScoreHandler.h"
#include "Game/Helper/GameSequence.h"
#include "Game/Helper/HudDraw.h"
#include "Game/Helper/IngameText.h"
#include "Game/Helper/ProgressTimer.h"

class BaseFont;
class RenderWindow;

// The front end's game modes.
enum GameMode : int32_t {
  kModeNormal = 0,
  kModeTwoPlayer = 1,
  kModeChallenge1 = 2,
  kModeChallenge2 = 3,
};

class GameBaseClass {
 public:
  static constexpr int32_t kMaxPlayers = 2;

  GameBaseClass(int32_t mode, int32_t level);
  virtual ~GameBaseClass();                      // slot 0

  virtual int32_t Init() { return 1; }           // slot 1
  virtual int32_t Update() { return 0; }         // slot 2: 1 = the game is over
  virtual void Render() {}                       // slot 3
  virtual void CleanUp() {}                      // slot 4
  virtual uint32_t GetStateHash() { return 0; }  // slot 5: compared between linked machines
  virtual int32_t LoadPhase1() { return 1; }     // slots 6 to 9
  virtual int32_t LoadPhase2() { return 1; }
  virtual int32_t LoadPhase3() { return 1; }
  virtual int32_t LoadPhase4() { return 1; }
  virtual void AddScore(int32_t player, int32_t points);  // slot 10
  virtual void StartMusic() {}                            // slot 11
  virtual void DrawScore(RenderWindow* window, int32_t player);           // slot 12
  virtual void DrawTime(RenderWindow* window, float frames);              // slot 13
  virtual void DrawCounter(RenderWindow* window, int32_t kind, int32_t value,
                           int32_t target);                               // slot 14
  virtual void DrawLives(RenderWindow* window, int32_t lives);            // slot 15
  // The scripted sequence's hooks (slots 16 to 21).
  virtual void SequenceBegin() {}
  virtual void HoldPlay() {}
  virtual void StartPlay() {}
  virtual void SequenceCue1() {}
  virtual void SequenceCue2() {}
  virtual void SequenceEnd() {}

  // Whether a game's data folder (a program path such as "data\FootballGame\") is there. When it
  // is not, one log line names it for `owner`; the game's LoadPhase1 then refuses to load, and
  // the framework tells the player that the game's data is missing.
  static bool HasDataFolder(const char* folder, const char* owner);

  // Every game's Update calls this first with 1.0: the message counts down, the fade timer
  // advances and the bonus popups move.
  void UpdateIngameText(float step);
  // Every game's Render calls this: the current message and the bonus popups.
  void DrawIngameText(RenderWindow* window);

  int32_t GetMode() const { return m_mode; }
  int32_t GetLevel() const { return m_level; }
  int32_t GetGameId() const { return m_gameId; }
  int32_t GetResult() const { return m_result; }
  int32_t GetScore(int32_t player) const;
  int32_t GetPlayerCount() const { return m_numPlayers; }
  // The pause state the framework writes to the application's pause word.
  int32_t IsPaused() const { return m_paused; }
  void SetPaused(int32_t paused) { m_paused = paused; }

  // Shared fields the games use directly.
  int32_t m_gameId = 0;
  int32_t m_score[kMaxPlayers] = {};
  int32_t m_result = 0;  // 1 won, 0 lost
  int32_t m_effectsBank = -1;
  int32_t m_speechBank = -1;
  int32_t m_messageFont = -1;
  IngameText m_ingameText;
  ProgressTimer m_fadeTimer;
  BonusScoreHandler m_bonusScores;
  GameSequence m_sequence;
  int32_t m_mode = kModeNormal;
  int32_t m_level = 0;
  int32_t m_numPlayers = 1;
  int32_t m_paused = 0;
  HudTextures m_hud;
  // The font factory keeps one record per name and no count: a font the front end had loaded
  // already is only borrowed, and must outlive this game.
  int32_t m_ownsMessageFont = 0;

  // The font of messages, popups and HUD numbers, or null.
  BaseFont* GetMessageFont() const;

  // What the HUD covered in the frame drawn last, one rectangle per piece (the score, the
  // clock, the counter, the lives and each game's own pieces); no two of one frame overlap. The
  // framework empties the list before each Render, the drawers add to it.
  struct HudPiece {
    const char* name;
    HudRect rect;
  };
  static constexpr int32_t kMaxHudPieces = 16;
  void BeginHudFrame() { m_hudPieceCount = 0; }
  // A piece drawn this frame; an empty rectangle, or one beyond the list's room, is not kept.
  void NoteHudPiece(const char* name, const HudRect& rect);
  int32_t GetHudPieceCount() const { return m_hudPieceCount; }
  const HudPiece* GetHudPiece(int32_t index) const {
    return index >= 0 && index < m_hudPieceCount ? &m_hudPieces[index] : nullptr;
  }

 private:
  HudPiece m_hudPieces[kMaxHudPieces] = {};
  int32_t m_hudPieceCount = 0;
};
