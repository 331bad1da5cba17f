#pragma once
// The front end's start callbacks: each makes the chosen mini-game with the front end's mode and
// difficulty, makes it the current game and asks the framework to load it. A game that is not
// built into this program has no maker; choosing it shows a message instead.

#include <cstdint>

class GameBaseClass;

// The games the front end can start.
enum FrontEndGame : int32_t {
  kGameDiving = 0,
  kGameFootball = 1,
  kGamePirate = 2,
  kGameViewer = 3,
  kFrontEndGameCount = 4,
};

using GameMaker = GameBaseClass* (*)(int32_t mode, int32_t level);

// Sets the maker of a game (null removes it); the previous one is returned.
GameMaker SetGameMaker(int32_t game, GameMaker maker);
GameMaker GetGameMaker(int32_t game);

void PDFE_StartGameCobbAndJory();
void PDFE_StartGameDulcieClemency();
void PDFE_StartDulcieClemencyMP();
void PDFE_StartGameMrGorst();
void PDFE_StartMrGorstMP();
// The client side of a two-player start: `code` is what the host sent ("DCLEMENCY", "MGRST").
void PDFE_ClientConnected(const char* code);
void PDFE_StartAnimationViewer();

// The codes the two-player link exchanges for the games that have a two-player mode.
constexpr const char* kFootballCode = "DCLEMENCY";
constexpr const char* kPirateCode = "MGRST";
