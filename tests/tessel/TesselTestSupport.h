#pragma once
// The garden game started through the framework on the demo data, headless, one fixed tick a
// frame, with scripted keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Engine/BaseParticleFactory.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Engine/PC/PCScene.h"
#include "Engine/ParticleSystem.h"
#include "Engine/Random.h"
#include "Game/Frontend/SaveProfile.h"
#include "Game/KavelApp.h"
#include "Game/Sound/CSoundWrapper.h"
#include "Game/TesselGame/cTesselEnemy.h"
#include "Game/TesselGame/cTesselGame.h"
#include "tests/support/AppHarness.h"
#include "tests/support/DemoData.h"

// DirectInput key codes of the default bindings.
constexpr int kKeyUp = 0xC8;
constexpr int kKeyDown = 0xD0;
constexpr int kKeyLeft = 0xCB;
constexpr int kKeyRight = 0xCD;
constexpr int kKeySpace = 0x39;  // action
constexpr int kKeyE = 0x12;      // throw, flash
constexpr int kKeyQ = 0x10;      // stamp
constexpr int kKeyCtrl = 0x1D;   // the two-player switch

// Every owner tag the game allocates under.
inline const char* const kTesselOwners[] = {
    "cTesselGame::Init",          "cTesselGame::InitialiseCharacterAnimations",
    "cTesselGame::LoadMap",       "cTesselGame::LoadPhase1",
    "cTesselEnemy::cTesselEnemy", "TesselTest::StartGame"};

inline uint32_t TesselBlocks() {
  uint32_t blocks = 0;
  for (const char* owner : kTesselOwners) {
    const uint32_t mine = MemoryTracker::CountBlocksOwnedBy(owner);
    if (mine) ADD_FAILURE() << mine << " blocks of " << owner << " left";
    blocks += mine;
  }
  return blocks;
}

class TesselTest : public AppTest {
 protected:
  void SetUp() override {
    LinkDemoData();
    KavelApp::Register();
    ASSERT_TRUE(m_harness.Start());
    m_harness.SkipPixelWork();
    // One update step a frame, however long the frames take to draw.
    m_harness.system().UseManualClock(true);
    m_harness.system().SetFrequency(60000);
    m_harness.system().SetCounterStepPerRead(400);
    GetApp().GetTimer()->Create(60);
    GlobalRandom().Reset();
    GetSaveProfile() = SaveProfile();
  }
  void TearDown() override {
    // A write past the end of the game's arrays shows in the guards round them.
    EXPECT_EQ(MemoryTracker::ValidateAll(), 0) << "no block overrun";
    m_harness.Stop();
  }

  // Creates the game as a test would (nothing in the menus does) and runs its loading.
  cTesselGame* StartGame(int32_t mode) {
    cTesselGame* game = TrackedNew<cTesselGame>("TesselTest::StartGame", mode, 0);
    GetKavelApp()->StartGame(game);
    for (int i = 0; i < 10 && GetKavelApp()->IsLoading(); ++i) Frames(1);
    EXPECT_EQ(GetKavelApp()->IsLoading(), 0);
    return game;
  }
  // Runs the intro script into play.
  cTesselGame* StartPlaying(int32_t mode) {
    cTesselGame* game = StartGame(mode);
    RunUntil(
        game, [&] { return game->GetPlayState() == kTesselFree; }, 400);
    return game;
  }
  cTesselGame* Current() { return static_cast<cTesselGame*>(GetKavelApp()->GetCurrentGame()); }
  void Frames(int n) { m_harness.RunFrames(n); }
  template <class Done>
  bool RunUntil(cTesselGame* game, Done done, int limit) {
    for (int i = 0; i < limit; ++i) {
      if (Current() != game) return false;
      if (done()) return true;
      Frames(1);
    }
    return Current() == game && done();
  }
  void Key(int key, bool down) { m_harness.input().SetKey(key, down); }
  void Press(int key) {
    Key(key, true);
    Frames(1);
    Key(key, false);
  }
  // Sends every enemy far away to stand stunned, so that play goes on undisturbed.
  void ParkEnemies(cTesselGame* game) {
    for (uint32_t i = 0; i < game->GetEnemyCount(); ++i) {
      cTesselEnemy* enemy = game->GetEnemy(i);
      enemy->SetPosition(Vector4(2500.0f - 60.0f * float(i), -2500.0f, 0.0f, 1.0f));
      enemy->Stun(1000.0f, 60.0f);
    }
  }
  // Puts Tessel `dy` below the plant (plants lie in beds, well clear of walls).
  void StandBy(cTesselGame* game, const TesselPlant& plant, float dy = -30.0f) {
    game->SetPlayerPosition(Vector4(plant.position.x, plant.position.y + dy, 0.0f, 1.0f));
  }
};

// What one frame of the game submits to its window: the models placed and the texts queued.
// Render is called on its own so that the window's lists can be read before the frame empties
// them.
struct TesselDrawn {
  std::vector<RenderNodeRecord> nodes;
  std::vector<std::string> texts;

  bool HasText(const std::string& text) const {
    for (const std::string& t : texts)
      if (t == text) return true;
    return false;
  }
  // The models placed within `radius` of `p` on the ground.
  int NodesNear(const Vector4& p, float radius) const {
    int n = 0;
    for (const RenderNodeRecord& r : nodes) {
      const float dx = r.placement[12] - p.x, dy = r.placement[13] - p.y;
      n += dx * dx + dy * dy <= radius * radius;
    }
    return n;
  }
};

inline TesselDrawn InspectFrame(cTesselGame* game) {
  TesselDrawn drawn;
  RenderWindow* window = game->Window();
  if (!window) return drawn;
  window->DropText();
  const int32_t first = window->GetRenderNodeCount();
  game->Render();
  for (int32_t i = first; i < window->GetRenderNodeCount(); ++i)
    drawn.nodes.push_back(*window->GetRenderNode(i));
  for (int32_t i = 0; i < window->GetTextItemCount(); ++i) {
    std::string text;
    for (const char16_t* c = window->GetTextItem(i)->text; c && *c; ++c) text += char(*c);
    drawn.texts.push_back(text);
  }
  window->DropText();
  return drawn;
}

// True when the frame drew the picked plant of `plant`'s kind, placed where its level node is.
inline bool DrawsPickedPlant(const TesselDrawn& drawn, const TesselPlant& plant,
                             const GameNode* node) {
  const NodeContainer* picked = GetApp().GetNodeFactory()->GetContainer(plant.model);
  for (const RenderNodeRecord& r : drawn.nodes)
    if (r.container == picked && node && r.placement[12] == node->matrix[12] &&
        r.placement[13] == node->matrix[13] && r.placement[14] == node->matrix[14])
      return true;
  return false;
}

// A game node of the current level's scene (plants and trees are drawn by theirs).
inline GameNode* LevelNode(cTesselGame* game, uint32_t index) {
  Scene* scene = GetApp().GetSceneFactory()->FindScene(game->GetSceneId(game->GetLevelIndex()));
  return scene ? scene->GetGameNodeRecord(int32_t(index)) : nullptr;
}
inline bool NodeHidden(cTesselGame* game, uint32_t index) {
  const GameNode* node = LevelNode(game, index);
  return node && (node->flags & GameNode::kHidden);
}

// The lines of her speech bank playing now.
inline std::vector<int32_t> LinesPlaying(cTesselGame* game) {
  std::vector<int32_t> lines;
  CSoundWrapper* sound = GetSoundWrapper();
  for (int32_t line = 0; sound && line < 64; ++line)
    if (sound->IsSamplePlaying(game->m_speechBank, line)) lines.push_back(line);
  return lines;
}
// True when one of `allowed` plays (a comment may play beside it).
inline bool SaysOneOf(cTesselGame* game, std::initializer_list<int32_t> allowed) {
  for (int32_t playing : LinesPlaying(game))
    for (int32_t line : allowed)
      if (line == playing) return true;
  return false;
}

// The effect (a TesselEffect index) a particle system of the game's window was started from, told
// by its template's colour and gravity; -1 when none matches.
inline int32_t EffectOf(cTesselGame* game, BaseParticleSystem* base) {
  auto* system = dynamic_cast<ParticleSystem*>(base);
  if (!system) return -1;
  system->ResetProbe();
  const Vector4& colour = system->GetProbe().colour;
  const float gravity = system->GetGravityPerUpdate().z;
  for (int32_t i = 0; i < kTesselEffectCount; ++i) {
    const ParticleTemplate* t = GetApp().GetParticleFactory()->Find(game->GetParticleTemplate(i));
    if (t && t->colour[0] == colour.x && t->colour[1] == colour.y && t->colour[2] == colour.z &&
        t->gravity[2] == gravity)
      return i;
  }
  return -1;
}

// An effect started, and where its emitter stands.
struct TesselEffectStarted {
  int32_t effect;
  Vector4 at;
  bool upright;  // the emitter unturned: started at a point rather than by a node's matrix
};

// The effects the game's window started from particle id `mark` on (GetNextParticleId before).
inline std::vector<TesselEffectStarted> EffectsSince(cTesselGame* game, int32_t mark) {
  std::vector<TesselEffectStarted> started;
  RenderWindow* window = game->Window();
  for (int32_t i = 0; window && i < window->GetParticleSystemCount(); ++i) {
    const ParticleContainer* c = window->GetParticleContainer(i);
    if (!c || c->id < mark || !c->system) continue;
    const Matrix& m = c->system->GetEmitterMatrix();
    bool upright = true;
    for (int k = 0; k < 12; ++k) upright = upright && m[k] == (k % 5 == 0 ? 1.0f : 0.0f);
    started.push_back({EffectOf(game, c->system), m.GetRow(3), upright});
  }
  return started;
}
// Only the effect indices, sorted, for comparing with a table.
inline std::vector<int32_t> EffectIdsSince(cTesselGame* game, int32_t mark) {
  std::vector<int32_t> ids;
  for (const TesselEffectStarted& e : EffectsSince(game, mark)) ids.push_back(e.effect);
  std::sort(ids.begin(), ids.end());
  return ids;
}
