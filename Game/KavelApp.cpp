#include "Game/KavelApp.h"

#include "Engine/Input.h"
#include "Engine/LogFile.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCFrameTimer.h"
#include "Game/Frontend/FrontEnd.h"
#include "Game/Frontend/PDFE.h"
#include "Game/Frontend/SaveProfile.h"
#include "Game/Frontend/VideoModes.h"
#include "Game/GameBaseClass.h"
#include "Game/Helper/InputDevice.h"
#include "Game/Localisation/LocalisedText.h"
#include "Game/Multiplayer/PC/TwoPlayerLink.h"
#include "Game/Sound/CSoundWrapper.h"

namespace {

KavelApp* s_kavelApp = nullptr;

constexpr const char* kFrontEndMusic = "Frontend";

// The skip button: the first action button on the first pad, or Return, Space or Escape.
constexpr uint32_t kPadSkipBits = 0x1000;

enum ResultText : int32_t {
  kTextWon = 1014,
  kTextGameOver = 1015,
  kTextNewHighScore = 1016,
  kTextChallengeComplete = 1017,
  kTextDataMissing = 1025,
  kTextProfileDamaged = 1026,
  kTextProfileNewer = 1027,
  kTextProfileKept = 1028,
};

// The unlock counts at which an unlock movie plays, and the movies.
struct UnlockMovie {
  int32_t count;
  const char* name;
};
constexpr UnlockMovie kUnlockMovies[] = {
    {2, "unlock1.bik"},
    {4, "unlock2.bik"},
    {6, "unlock3.bik"},
};
constexpr const char* kMovieFolder = "data\\Movies\\";

// LoadPhase1 to LoadPhase4 and StartMusic: one step a frame, so the loading screen is shown
// between them.
constexpr int32_t kLoadSteps = 5;

BaseGameApp* CreateKavelApp() { return TrackedNew<KavelApp>("App::InitApp"); }

}  // namespace

KavelApp* GetKavelApp() { return s_kavelApp; }

void KavelApp::Register() { GetApp().SetGameFactory(&CreateKavelApp); }

KavelApp::~KavelApp() { CleanUp(); }

int32_t KavelApp::Init() {
  s_kavelApp = this;
  m_input = TrackedNew<InputDevice>("KavelApp::Init");
  SetInputDevice(m_input);
  MapFirstPadToItsStateWord();
  m_link = TrackedNew<TwoPlayerLink>("KavelApp::Init");
  SetTwoPlayerLink(m_link);
  if (m_link) m_link->SetClientStartCallback(&PDFE_ClientConnected);
  m_sound = TrackedNew<CSoundWrapper>("KavelApp::Init");
  if (m_sound) m_sound->Init();
  LoadLocalisedText();
  m_frontEnd = TrackedNew<CFrontEnd>("KavelApp::Init");
  if (m_frontEnd) m_frontEnd->InitFE();
  const SaveProfile::LoadResult profile = GetSaveProfile().Load();
  // The player hears of a refused profile before playing, not from an empty score table: the
  // old file is kept beside the new one at the first save.
  if (m_frontEnd && (profile == SaveProfile::LoadResult::kDamaged ||
                     profile == SaveProfile::LoadResult::kNewer)) {
    const int32_t title =
        profile == SaveProfile::LoadResult::kDamaged ? kTextProfileDamaged : kTextProfileNewer;
    m_frontEnd->ShowMessage(GetLocalisedText(title), GetLocalisedText(kTextProfileKept));
  }
  ApplyProfileSettings();
  GetApp().GetDisplay()->ListResolutions(&GetDisplayModeTable(), &HideDisplayModeItems, m_frontEnd);
  if (m_sound) m_sound->PlayMusic(kFrontEndMusic);
  m_initialised = 1;
  return 1;
}

void KavelApp::ApplyProfileSettings() {
  const SaveProfileData& profile = GetSaveProfile().Data();
  if (m_sound) {
    m_sound->SetCategoryVolume(kSoundEffects, profile.settings.volumes[0]);
    m_sound->SetCategoryVolume(kSoundSpeech, profile.settings.volumes[1]);
    m_sound->SetCategoryVolume(kSoundMusic, profile.settings.volumes[2]);
  }
  if (m_input)
    for (int32_t i = 0; i < InputDevice::kNumKeys; ++i)
      m_input->Bindings()[i] = profile.settings.keys[i];
}

void KavelApp::ApplySavedDisplayMode() {
  const SaveProfileData& profile = GetSaveProfile().Data();
  const int32_t width = profile.settings.displayWidth;
  const int32_t height = profile.settings.displayHeight;
  if (width <= 0 || height <= 0) return;
  Display* display = GetApp().GetDisplay();
  // Asking for the mode in use would still reset the device.
  const int32_t bits = display->GetModeFormat() == gfx::D3DFMT_R5G6B5 ? 16 : 32;
  if (display->GetModeWidth() == width && display->GetModeHeight() == height &&
      bits == profile.settings.displayBits)
    return;
  if (display->IsResolutionSupported(width, height))
    display->SetResolution(width, height, profile.settings.displayBits);
}

void KavelApp::Update() {
  App& app = GetApp();
  if (m_firstFrame) {
    ApplySavedDisplayMode();
    m_firstFrame = 0;
  }
  if (m_sound) m_sound->Update();
  if (m_input) m_input->Update();
  if (m_link) m_link->Update();

  if (m_loadStep >= 0) {
    // The loading screen is drawn in every frame a phase loads in.
    if (m_frontEnd && m_input) m_frontEnd->Update(*m_input);
    StepLoading();
  } else if (m_game) {
    RunGame();
  } else if (m_frontEnd && m_input) {
    // Not started from EndGame: an unlock movie may play first, and KavelApp::Update does not
    // run while it does, so the menu's music waits for the movie to end.
    if (m_frontEndMusicDue && m_sound) m_sound->PlayMusic(kFrontEndMusic);
    m_frontEndMusicDue = 0;
    m_frontEnd->Update(*m_input);
  }
  // Particle systems and scene time stand still while the current game is paused.
  app.SetPause(m_game && m_loadStep < 0 ? m_game->IsPaused() : 0);
}

void KavelApp::StartGame(GameBaseClass* game) {
  if (m_game) EndGame(false);
  m_game = game;
  m_loadStep = game ? 0 : -1;
  if (game && m_frontEnd) m_frontEnd->ShowLoadingScreen();
}

// One phase a frame, so the loading screen shows between them.
void KavelApp::StepLoading() {
  int32_t ok = 1;
  switch (m_loadStep) {
    case 0: ok = m_game->LoadPhase1(); break;
    case 1: ok = m_game->LoadPhase2(); break;
    case 2: ok = m_game->LoadPhase3(); break;
    case 3: ok = m_game->LoadPhase4(); break;
    case 4: m_game->StartMusic(); break;
    default: break;
  }
  if (!ok) {
    DebugLog().Write("KavelApp: game %d failed to load (phase %d)", m_game->GetGameId(),
                     m_loadStep + 1);
    EndGame(false);
    if (m_frontEnd) m_frontEnd->ShowMessage(GetLocalisedText(kTextDataMissing), nullptr);
    return;
  }
  if (++m_loadStep < kLoadSteps) return;
  m_loadStep = -1;
  if (m_frontEnd) m_frontEnd->Hide();
  // The time spent loading is not owed to the game as ticks to catch up.
  GetApp().GetTimer()->Create(GetApp().GetTargetFrameRate());
}

void KavelApp::RunGame() {
  const bool linked = m_link && m_link->IsGameRunning();
  // While linked, the device answers with the exchanged words of the last tick; pausing and
  // leaving are this machine's own keys.
  const uint32_t pressed = m_input->LocalPressed();
  // A linked game pauses only while it has waited long for the other machine (or to go on
  // again): a pause at any other time would hold both machines, but then it holds nothing, and
  // it is the way out of a game the other player has left hanging.
  const bool pausable = !linked || m_game->IsPaused() || m_link->IsWaitingLong();
  if (pausable && (pressed & kInputBack)) m_game->SetPaused(!m_game->IsPaused());
  // A paused game is left through Select.
  if (m_game->IsPaused() && (pressed & kInputSelect)) {
    if (linked) {
      DebugLog().Write("KavelApp: the player left the two-player game at frame %d",
                       m_link->Frame());
    }
    EndGame(false);
    return;
  }
  int32_t ticks = GetApp().GetFramesElapsed();
  if (ticks < 1) ticks = 1;
  if (ticks > kMaxTicksPerFrame) ticks = kMaxTicksPerFrame;
  for (int32_t i = 0; i < ticks && m_game && !m_game->IsPaused(); ++i) {
    if (linked && !m_link->ReadyForTick()) break;
    // The keys are read once a frame: a press belongs to the frame's first tick only, and the
    // catch-up ticks after it see the keys held but none pressed.
    if (i > 0) m_input->Update();
    if (RunTick()) {
      EndGame(true);
      return;
    }
  }
  if (!m_game) return;
  // A two-player game whose link failed ends with the reason; nothing is recorded.
  if (m_game->GetMode() == kModeTwoPlayer && m_link && m_link->Failure() != LinkFailure::kNone) {
    const int32_t text = TwoPlayerLink::FailureTextId(m_link->Failure());
    EndGame(false);
    if (m_frontEnd) m_frontEnd->ShowMessage(GetLocalisedText(text), nullptr);
    return;
  }
  m_game->BeginHudFrame();
  m_game->Render();
  if (m_frontEnd)
    m_frontEnd->DrawPauseOverlay(m_game->IsPaused(), linked && m_link->IsWaitingLong());
}

// One fixed tick of the current game; 1 when the game is over.
int32_t KavelApp::RunTick() {
  const bool linked = m_link && m_link->IsGameRunning();
  if (linked) m_link->BeginTick(*m_input);
  const int32_t over = m_game->Update();
  if (linked) m_link->EndTick(m_game->GetStateHash());
  return over == 1 ? 1 : 0;
}

void KavelApp::EndGame(bool recordResult) {
  GameBaseClass* game = m_game;
  if (!game) return;
  const int32_t gameId = game->GetGameId();
  const int32_t mode = game->GetMode();
  const int32_t result = game->GetResult();
  const int32_t score = game->GetScore(0);
  m_game = nullptr;
  m_loadStep = -1;
  game->CleanUp();
  TrackedDelete("KavelApp::EndGame", game);
  // A game of one player that a client start replaces leaves the link's new game running.
  if (m_link && mode == kModeTwoPlayer) m_link->StopGame();
  if (m_input) {
    m_input->ClearLinkInput();
    // A game may remap the pad's buttons every tick; the menu reads them as they are made.
    m_input->ResetPadRemap();
  }
  GetApp().SetPause(0);
  if (m_frontEnd) m_frontEnd->Resume();
  if (recordResult) RecordResult(gameId, mode, result, score);
  m_frontEndMusicDue = 1;
}

void KavelApp::RecordResult(int32_t gameId, int32_t mode, int32_t result, int32_t score) {
  SaveProfile& profile = GetSaveProfile();
  const char16_t* first = GetLocalisedText(result == 1 ? kTextWon : kTextGameOver);
  const char16_t* second = nullptr;
  const int32_t unlocksBefore = profile.UnlockCount();
  if (mode == kModeNormal) {
    if (profile.RecordHighScore(gameId, score) >= 0) second = GetLocalisedText(kTextNewHighScore);
  } else if ((mode == kModeChallenge1 || mode == kModeChallenge2) && result == 1) {
    profile.RecordUnlock(gameId, mode);
    second = GetLocalisedText(kTextChallengeComplete);
  }
  if (m_frontEnd) m_frontEnd->ShowMessage(first, second);
  const int32_t unlocks = profile.UnlockCount();
  for (const UnlockMovie& movie : kUnlockMovies) {
    if (unlocksBefore < movie.count && unlocks >= movie.count) {
      GetApp().SetDataDir(kMovieFolder);
      GetApp().PlayMovie(movie.name);
    }
  }
  // Two-player games record nothing, but the profile is saved after every game all the same.
  profile.Save();
}

void KavelApp::CleanUp() {
  if (!m_initialised) return;
  // The input device is unset before it goes, so a game cleaning up after it finds none rather
  // than a freed one; the sound manager goes last, after everything that plays through it.
  SetInputDevice(nullptr);
  if (m_input) TrackedDelete("KavelApp::CleanUp", m_input);
  m_input = nullptr;
  if (m_game) {
    m_game->CleanUp();
    TrackedDelete("KavelApp::CleanUp", m_game);
    m_game = nullptr;
  }
  m_loadStep = -1;
  SetTwoPlayerLink(nullptr);
  if (m_link) TrackedDelete("KavelApp::CleanUp", m_link);
  m_link = nullptr;
  if (m_frontEnd) {
    m_frontEnd->CleanUp();
    TrackedDelete("KavelApp::CleanUp", m_frontEnd);
  }
  m_frontEnd = nullptr;
  if (m_sound) TrackedDelete("KavelApp::CleanUp", m_sound);
  m_sound = nullptr;
  GetLocalisedTextTable().Clear();
  m_initialised = 0;
  if (s_kavelApp == this) s_kavelApp = nullptr;
}

int32_t KavelApp::MovieSkipCheck(int32_t, int32_t) {
  // The device goes on reading while the movie plays, so that a key still held from skipping it
  // is not taken as a new press by the menu afterwards.
  if (m_input) m_input->Update();
  Keyboard* keys = GetApp().GetKeyboard();
  if (keys->WasKeyPressed(plat::kDIK_RETURN) || keys->WasKeyPressed(plat::kDIK_SPACE) ||
      keys->WasKeyPressed(plat::kDIK_ESCAPE))
    return 0;
  if (g_gamePad && (g_gamePad->RawPressed(0) & kPadSkipBits)) return 0;
  return 1;
}
