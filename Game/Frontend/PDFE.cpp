#include "Game/Frontend/PDFE.h"

#include <cstring>

#include "Engine/LogFile.h"
#include "Engine/Random.h"
#include "Game/Frontend/FrontEnd.h"
#include "Game/Frontend/GameMakers.h"
#include "Game/GameBaseClass.h"
#include "Game/KavelApp.h"
#include "Game/Localisation/LocalisedText.h"
#include "Game/Multiplayer/PC/TwoPlayerLink.h"

namespace {

constexpr int32_t kTextNotBuilt = 1018;
constexpr int32_t kTextConnectionLost = 1020;

GameMaker s_makers[kFrontEndGameCount] = {&MakeDivingGame, &MakeFootballGame, &MakePirateGame,
                                           &MakeCharacterViewer};

void ShowNotBuilt() {
  if (CFrontEnd* frontEnd = GetFrontEnd())
    frontEnd->ShowMessage(GetLocalisedText(kTextNotBuilt), nullptr);
}

// Makes the game and hands it to the framework; a game without a maker leaves a message. False
// when no game was made.
bool StartGame(int32_t game, int32_t mode, int32_t level) {
  KavelApp* app = GetKavelApp();
  if (!app) return false;
  GameMaker maker = GetGameMaker(game);
  GameBaseClass* made = maker ? maker(mode, level) : nullptr;
  if (!made) {
    DebugLog().Write("Front end: game %d is not built into this program", game);
    ShowNotBuilt();
    return false;
  }
  app->StartGame(made);
  return true;
}

// A linked start that made no game ends the link's game at once, or it would stay running with
// nothing to stop it, refuse every later start and leave the other machine waiting.
void StopLinkWithoutGame() {
  TwoPlayerLink* link = GetTwoPlayerLink();
  if (link && link->IsGameRunning()) {
    DebugLog().Write("Front end: no game for the two-player start of \"%s\"", link->GameCode());
    link->StopGame();
  }
}

int32_t FrontEndMode() { return GetFrontEnd() ? GetFrontEnd()->GetMode() : 0; }
int32_t FrontEndLevel() { return GetFrontEnd() ? GetFrontEnd()->GetDifficulty() : 0; }

// The host's side of a two-player start: the code and a fresh seed go to the client first, so
// both machines deal from the same generator state.
// A start the link refuses (no connection, a linked game already running) plays nothing: a
// two-player game without the other machine would be a game nobody records.
void StartHost(int32_t game, const char* code) {
  TwoPlayerLink* link = GetTwoPlayerLink();
  const uint32_t seed = static_cast<uint32_t>(Rand()) ^ 0x5EEDu;
  if (!link || !link->IsConnected() || !link->StartHost(code, seed)) {
    DebugLog().Write("Front end: no two-player game without a connected peer");
    if (CFrontEnd* frontEnd = GetFrontEnd())
      frontEnd->ShowMessage(GetLocalisedText(kTextConnectionLost), nullptr);
    return;
  }
  // Both machines play difficulty 0, so they deal and score alike.
  if (!StartGame(game, kModeTwoPlayer, 0)) StopLinkWithoutGame();
}

}  // namespace

GameMaker SetGameMaker(int32_t game, GameMaker maker) {
  if (game < 0 || game >= kFrontEndGameCount) return nullptr;
  GameMaker previous = s_makers[game];
  s_makers[game] = maker;
  return previous;
}

GameMaker GetGameMaker(int32_t game) {
  return (game >= 0 && game < kFrontEndGameCount) ? s_makers[game] : nullptr;
}

void PDFE_StartGameCobbAndJory() { StartGame(kGameDiving, FrontEndMode(), FrontEndLevel()); }
void PDFE_StartGameDulcieClemency() { StartGame(kGameFootball, FrontEndMode(), FrontEndLevel()); }
void PDFE_StartGameMrGorst() { StartGame(kGamePirate, FrontEndMode(), FrontEndLevel()); }
void PDFE_StartDulcieClemencyMP() { StartHost(kGameFootball, kFootballCode); }
void PDFE_StartMrGorstMP() { StartHost(kGamePirate, kPirateCode); }

void PDFE_ClientConnected(const char* code) {
  // The client plays at difficulty 0, as the host does, so both machines deal and score alike.
  bool started = false;
  if (code && std::strcmp(code, kFootballCode) == 0) {
    started = StartGame(kGameFootball, kModeTwoPlayer, 0);
  } else if (code && std::strcmp(code, kPirateCode) == 0) {
    started = StartGame(kGamePirate, kModeTwoPlayer, 0);
  } else {
    DebugLog().Write("Front end: unknown two-player game code \"%.16s\"", code ? code : "");
    ShowNotBuilt();
  }
  if (!started) StopLinkWithoutGame();
}

void PDFE_StartAnimationViewer() { StartGame(kGameViewer, kModeNormal, 0); }
