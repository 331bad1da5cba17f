// The small services every game leans on: the scripted sequence, the fade timer, the in-game
// message, bonus popups, the HUD drawers and the game camera.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "Engine/Camera.h"
#include "Engine/Font.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Engine/PC/PCTexture.h"
#include "Game/GameBaseClass.h"
#include "Game/Helper/GameCamera.h"
#include "Game/Helper/InputDevice.h"
#include "Game/Localisation/LocalisedText.h"
#include "tests/support/AppHarness.h"
#include "tests/support/DemoData.h"

namespace {

// A game that only counts the sequence's calls.
class ScriptedGame : public GameBaseClass {
 public:
  ScriptedGame() : GameBaseClass(kModeNormal, 0) {}
  void HoldPlay() override { m_calls += "H"; }
  void StartPlay() override { m_calls += "S"; }
  std::string m_calls;
};

// Runs a script for `ticks` ticks as a game's Update would (text first, then the sequence).
int32_t RunScript(ScriptedGame& game, const std::vector<int32_t>& script, int ticks) {
  game.m_sequence.Start(script.data(), static_cast<int32_t>(script.size()));
  int32_t finished = 0;
  for (int i = 0; i < ticks && !finished; ++i) {
    game.UpdateIngameText(1.0f);
    finished = game.m_sequence.Update(&game);
  }
  return finished;
}

class GameServicesTest : public AppTest {
 protected:
  void SetUp() override {
    LinkDemoData();
    ASSERT_TRUE(m_harness.Start());
  }
};

TEST_F(GameServicesTest, SequenceScriptsRunTheirStepsInOrder) {
  struct Case {
    std::vector<int32_t> script;
    int ticks;
    int32_t finished;
    const char* calls;
    int32_t index;  // where the runner stands afterwards
  };
  const Case cases[] = {
      {{11, 15}, 10, 1, "S", 1},
      {{10, 11, 15}, 10, 1, "HS", 2},
      // The fade and the wait take their ticks before the next step.
      {{0, 11, 15}, 30, 0, "", 0},
      {{0, 11, 15}, 70, 1, "S", 2},
      {{2, 11}, 50, 0, "", 0},
      {{2, 11}, 70, 0, "S", 2},
      // A second's wait or fade ends on its 60th tick; the step after it runs on the next.
      {{2, 11}, 60, 0, "", 1},
      {{2, 11}, 61, 0, "S", 2},
      {{1, 11, 15}, 61, 0, "", 1},
      {{1, 11, 15}, 62, 0, "S", 2},
      {{1, 11, 15}, 63, 1, "S", 2},
      {{11}, 5, 0, "S", 1},
      // Code 16 holds the script: the garden script ends this way.
      {{11, 16, 11}, 200, 0, "S", 1},
      // A script without an end code stops at its end instead of reading on.
      {{11, 10}, 200, 0, "SH", 2},
      {{}, 10, 0, "", 0},
  };
  // No script is an empty one, whatever length comes with it.
  {
    ScriptedGame game;
    game.m_sequence.Start(nullptr, 3);
    EXPECT_EQ(game.m_sequence.Update(&game), 0);
    EXPECT_EQ(game.m_calls, "");
  }
  for (const Case& c : cases) {
    ScriptedGame game;
    EXPECT_EQ(RunScript(game, c.script, c.ticks), c.finished) << ::testing::PrintToString(c.script);
    EXPECT_EQ(game.m_calls, c.calls) << ::testing::PrintToString(c.script);
    EXPECT_EQ(game.m_sequence.m_index, c.index) << ::testing::PrintToString(c.script);
  }
}

TEST_F(GameServicesTest, FadeStepsRunTheTimerUpOrDown) {
  ScriptedGame game;
  const int32_t forward[] = {0, 15};
  game.m_sequence.Start(forward, 2);
  game.m_sequence.Update(&game);
  EXPECT_EQ(game.m_fadeTimer.IsRunning(), 1);
  EXPECT_FLOAT_EQ(game.m_fadeTimer.Fraction(), 0.0f);
  for (int i = 0; i < 30; ++i) game.UpdateIngameText(1.0f);
  EXPECT_NEAR(game.m_fadeTimer.Fraction(), 0.5f, 1e-6f) << "half way up after half a second";
  const int32_t backward[] = {1, 15};
  game.m_sequence.Start(backward, 2);
  game.m_sequence.Update(&game);
  for (int i = 0; i < 15; ++i) game.UpdateIngameText(1.0f);
  EXPECT_NEAR(game.m_fadeTimer.Fraction(), 0.75f, 1e-6f) << "a quarter of the way down";
}

TEST(ProgressTimerTest, RunsFromZeroToItsDurationAndStops) {
  struct Case {
    float duration, steps, value;
    int32_t finished;
  };
  const Case cases[] = {
      {10.0f, 4.0f, 4.0f, 0}, {10.0f, 10.0f, 10.0f, 1}, {10.0f, 25.0f, 10.0f, 1},
      {0.0f, 1.0f, 1.0f, 1},  {-5.0f, 0.0f, 0.0f, 0},
  };
  for (const Case& c : cases) {
    ProgressTimer timer;
    timer.Start(1, c.duration);
    for (float t = 0.0f; t < c.steps; t += 1.0f) timer.Update(1.0f);
    EXPECT_FLOAT_EQ(timer.m_value, c.value) << c.duration << " after " << c.steps;
    EXPECT_EQ(timer.IsFinished(), c.finished) << c.duration << " after " << c.steps;
    EXPECT_LE(timer.Progress(), 1.0f);
  }
}

TEST_F(GameServicesTest, AMessageShowsForItsTicksAndPopupsFadeOut) {
  ScriptedGame game;
  ShowIngameMessage(&game.m_ingameText, 1014, 200, 0.0f, 7);
  EXPECT_EQ(game.m_ingameText.shown, 0) << "a message of no time is not shown";
  ShowIngameMessage(&game.m_ingameText, 1014, 200, 3.0f, 7);
  EXPECT_EQ(game.m_ingameText.shown, 1);
  EXPECT_EQ(game.m_ingameText.word, 7);
  ASSERT_NE(game.m_ingameText.text, nullptr);
  game.UpdateIngameText(1.0f);
  game.UpdateIngameText(1.0f);
  EXPECT_EQ(game.m_ingameText.shown, 1);
  game.UpdateIngameText(1.0f);
  EXPECT_EQ(game.m_ingameText.shown, 0);

  for (int i = 0; i < BonusScoreHandler::kMaxPopups + 3; ++i)
    game.m_bonusScores.Add(i % 2 ? -100 : 250, Vector4(0.0f, 0.0f, 0.0f, 1.0f));
  EXPECT_EQ(game.m_bonusScores.GetListLength(), BonusScoreHandler::kMaxPopups);
  for (int i = 0; i < 59; ++i) game.UpdateIngameText(1.0f);
  EXPECT_EQ(game.m_bonusScores.GetListLength(), BonusScoreHandler::kMaxPopups);
  game.UpdateIngameText(1.0f);
  EXPECT_EQ(game.m_bonusScores.GetListLength(), 0) << "all popups end after their second";
}

// A popup shows its number, red only below zero.
TEST_F(GameServicesTest, PopupsShowTheirNumbersRedOnlyBelowZero) {
  ScriptedGame game;
  RenderWindow window;
  window.Init(Vector2(0.0f, 0.0f), Vector2(640.0f, 480.0f), Vector4(0, 0, 0, 0), 6, 0.0f);
  ASSERT_NE(game.GetMessageFont(), nullptr);
  BonusScoreHandler popups;
  for (int32_t value : {250, 0, -100}) popups.Add(value, Vector4(0.0f, 0.0f, 0.5f, 1.0f));
  popups.Draw(&window, game.GetMessageFont());
  ASSERT_EQ(window.GetTextItemCount(), 3);
  EXPECT_EQ(std::u16string(window.GetTextItem(0)->text), u"250");
  EXPECT_EQ(std::u16string(window.GetTextItem(1)->text), u"0");
  EXPECT_EQ(std::u16string(window.GetTextItem(2)->text), u"-100");
  EXPECT_EQ(window.GetTextItem(0)->colour, 0xFFFFFF40u);
  EXPECT_EQ(window.GetTextItem(1)->colour, 0xFFFFFF40u);
  EXPECT_EQ(window.GetTextItem(2)->colour, 0xFFFF2020u);
  // Each rises as it ages.
  const int32_t y = window.GetTextItem(0)->y;
  window.DropText();
  popups.Update(30.0f);
  popups.Draw(&window, game.GetMessageFont());
  ASSERT_EQ(window.GetTextItemCount(), 3);
  EXPECT_EQ(window.GetTextItem(0)->y, y - 20);
  // A full list drops its oldest.
  window.DropText();
  BonusScoreHandler full;
  for (int32_t value = 1; value <= BonusScoreHandler::kMaxPopups + 2; ++value)
    full.Add(value, Vector4(0.0f, 0.0f, 0.5f, 1.0f));
  full.Draw(&window, game.GetMessageFont());
  ASSERT_EQ(window.GetTextItemCount(), BonusScoreHandler::kMaxPopups);
  for (int32_t i = 0; i < BonusScoreHandler::kMaxPopups; ++i) {
    const std::string value = std::to_string(i + 3);
    EXPECT_EQ(std::u16string(window.GetTextItem(i)->text),
              std::u16string(value.begin(), value.end()));
  }
  // Centred over the point it is shown at, on the 640 x 480 plane.
  window.DropText();
  BonusScoreHandler corner;
  corner.Add(7, Vector4(640.0f, 0.0f, 0.5f, 1.0f));
  corner.Draw(&window, game.GetMessageFont());
  ASSERT_EQ(window.GetTextItemCount(), 1);
  EXPECT_EQ(window.GetTextItem(0)->x, 640 - game.GetMessageFont()->GetStringWidth("7") / 2);
  EXPECT_EQ(window.GetTextItem(0)->y, 480);
  // Between the near and far planes, both included, it is drawn; outside them not.
  window.DropText();
  BonusScoreHandler depths;
  for (float z : {-0.1f, 0.0f, 1.0f, 1.5f})
    depths.Add(static_cast<int32_t>(z * 10.0f), Vector4(0.0f, 0.0f, z, 1.0f));
  depths.Draw(&window, game.GetMessageFont());
  ASSERT_EQ(window.GetTextItemCount(), 2);
  EXPECT_EQ(std::u16string(window.GetTextItem(0)->text), u"0");
  EXPECT_EQ(std::u16string(window.GetTextItem(1)->text), u"10");
  window.DropText();
  corner.Draw(&window, nullptr);
  EXPECT_EQ(window.GetTextItemCount(), 0) << "nothing without a font";
  // The game draws its message, centred, and its popups together.
  window.DropText();
  game.m_bonusScores.Add(75, Vector4(0.0f, 0.0f, 0.5f, 1.0f));
  ShowIngameMessage(&game.m_ingameText, 1014, 200, 3.0f, 0);
  game.DrawIngameText(&window);
  ASSERT_EQ(window.GetTextItemCount(), 2);
  const TextItem* message = window.GetTextItem(0);
  EXPECT_EQ(std::u16string(message->text), GetLocalisedText(1014));
  EXPECT_EQ(message->y, 200);
  EXPECT_EQ(message->x, (640 - message->font->GetStringWidth(message->text)) / 2);
  EXPECT_EQ(message->colour, 0xFFFFFFFFu);
  EXPECT_EQ(std::u16string(window.GetTextItem(1)->text), u"75");
  // Centred where the half width rounds (a text of odd width to the screen's even one).
  int32_t id = 1000;
  while (id < 1030 && (640 - message->font->GetStringWidth(GetLocalisedText(id))) % 2 == 0) ++id;
  ASSERT_LT(id, 1030);
  window.DropText();
  ShowIngameMessage(&game.m_ingameText, id, 100, 3.0f, 0);
  game.m_ingameText.Draw(&window, game.GetMessageFont());
  ASSERT_EQ(window.GetTextItemCount(), 1);
  EXPECT_EQ(window.GetTextItem(0)->x,
            (640 - game.GetMessageFont()->GetStringWidth(GetLocalisedText(id))) / 2)
      << id;
  window.CleanUp();
}

// The HUD drawers queue their numbers as text in the window; what they wrote is read back.
TEST_F(GameServicesTest, HudDrawersWriteTheirNumbersInTheirFormats) {
  ScriptedGame game;
  RenderWindow window;
  window.Init(Vector2(0.0f, 0.0f), Vector2(640.0f, 480.0f), Vector4(0, 0, 0, 0), 6, 0.0f);
  auto lastText = [&]() -> std::u16string {
    const int32_t n = window.GetTextItemCount();
    if (n == 0) return u"";
    const TextItem* item = window.GetTextItem(n - 1);
    return std::u16string(item->text);
  };
  struct Case {
    int32_t kind, value, target;
    const char16_t* text;
  };
  const Case counters[] = {
      {9, 7, 10, u"07/10"}, {10, 3, 5, u"03/05"}, {0, 12, 99, u"12"},
      {1, 4, 6, u"4/6"},    {11, 3, 20, u"3/20"}, {12, 1, 4, u"1/4"},
  };
  ASSERT_NE(game.GetMessageFont(), nullptr);
  for (const Case& c : counters) {
    window.DropText();
    game.DrawCounter(&window, c.kind, c.value, c.target);
    EXPECT_EQ(lastText(), c.text) << "kind " << c.kind;
  }
  window.DropText();
  game.DrawCounter(&window, 13, 1, 1);
  game.DrawCounter(&window, -1, 1, 1);
  EXPECT_EQ(window.GetTextItemCount(), 0) << "kinds outside 0..12 draw nothing";
  game.m_score[0] = 1234;
  game.DrawScore(&window, 0);
  EXPECT_EQ(lastText(), u"001234");
  // Players outside the table score nothing and read 0.
  game.AddScore(1, 5);
  for (int32_t player : {-1, GameBaseClass::kMaxPlayers}) {
    game.AddScore(player, 7);
    EXPECT_EQ(game.GetScore(player), 0) << player;
  }
  EXPECT_EQ(game.GetScore(0), 1234);
  EXPECT_EQ(game.GetScore(1), 5);
  game.DrawScore(&window, 1);
  EXPECT_EQ(lastText(), u"000005");
  game.DrawTime(&window, 61.0f * 60.0f + 1.0f);
  EXPECT_EQ(lastText(), u"01:02") << "seconds round up";
  game.DrawTime(&window, 0.0f);
  EXPECT_EQ(lastText(), u"00:00");

  // Where the pieces stand: the clock centred at the top, the lives in a row from the left, as
  // many as there are up to nine.
  const auto piece = [&](const char* name) -> HudRect {
    for (int32_t i = 0; i < game.GetHudPieceCount(); ++i)
      if (std::string(game.GetHudPiece(i)->name) == name) return game.GetHudPiece(i)->rect;
    return HudRect();
  };
  game.BeginHudFrame();
  window.DropText();
  game.DrawScore(&window, 0);
  game.DrawCounter(&window, 0, 3, 0);
  const HudRect score = piece("score"), counter = piece("counter");
  EXPECT_EQ(score.x0, 16.0f);
  EXPECT_EQ(score.y0, 16.0f);
  EXPECT_EQ(counter.x0, 16.0f);
  EXPECT_EQ(counter.y0, 440.0f);
  // The number 6 pixels right of its icon, on the icon's top line.
  ASSERT_EQ(window.GetTextItemCount(), 2);
  EXPECT_EQ(window.GetTextItem(0)->x, 16 + GetApp().GetTexture()->GetWidth(game.m_hud.score) + 6);
  EXPECT_EQ(window.GetTextItem(0)->y, 16);
  EXPECT_EQ(window.GetTextItem(0)->colour, 0xFFFFFFFFu);
  EXPECT_EQ(window.GetTextItem(1)->x,
            16 + GetApp().GetTexture()->GetWidth(game.m_hud.counters[0]) + 6);
  EXPECT_EQ(window.GetTextItem(1)->y, 440);
  EXPECT_EQ(score.x1, static_cast<float>(window.GetTextItem(0)->x +
                                         game.GetMessageFont()->GetStringWidth("001234")));
  game.BeginHudFrame();
  game.DrawTime(&window, 600.0f);
  const HudRect clock = piece("clock");
  EXPECT_NEAR((clock.x0 + clock.x1) * 0.5f, 320.0f, 1.0f);
  EXPECT_EQ(clock.y0, 16.0f);
  const float w = static_cast<float>(GetApp().GetTexture()->GetWidth(game.m_hud.lives));
  const float h = static_cast<float>(GetApp().GetTexture()->GetHeight(game.m_hud.lives));
  ASSERT_GT(w, 0.0f);
  for (const auto& [lives, drawn] : {std::pair{3, 3}, {12, 9}, {1, 1}}) {
    SCOPED_TRACE(lives);
    game.BeginHudFrame();
    game.DrawLives(&window, lives);
    const HudRect row = piece("lives");
    EXPECT_EQ(row.x0, 16.0f);
    EXPECT_EQ(row.y0, 48.0f);
    EXPECT_EQ(row.x1, 16.0f + drawn * w + (drawn - 1) * 4.0f);
    EXPECT_EQ(row.y1, 48.0f + h);
  }
  game.BeginHudFrame();
  game.DrawLives(&window, -2);
  EXPECT_EQ(game.GetHudPieceCount(), 0) << "no lives, nothing drawn";
  // The list keeps what it has room for; an empty rectangle is no piece.
  game.NoteHudPiece("empty", HudRect());
  EXPECT_EQ(game.GetHudPieceCount(), 0);
  for (int32_t i = 0; i < GameBaseClass::kMaxHudPieces + 4; ++i)
    game.NoteHudPiece("piece", HudRect{float(i), 0.0f, float(i) + 1.0f, 1.0f});
  EXPECT_EQ(game.GetHudPieceCount(), GameBaseClass::kMaxHudPieces);
  EXPECT_EQ(game.GetHudPiece(GameBaseClass::kMaxHudPieces - 1)->rect.x0,
            float(GameBaseClass::kMaxHudPieces - 1));
  EXPECT_EQ(game.GetHudPiece(GameBaseClass::kMaxHudPieces), nullptr);
  window.CleanUp();
}

// A game loads the message font (when the front end has not) and the HUD's textures, and gives
// back each of them when it goes.
TEST_F(GameServicesTest, AGameGivesBackTheFontAndTexturesItLoaded) {
  FontFactory* fonts = GetApp().GetFontFactory();
  Texture* textures = static_cast<Texture*>(GetApp().GetTexture());
  const int32_t before = fonts->GetCount();
  std::vector<int32_t> handles;
  {
    ScriptedGame game;
    EXPECT_EQ(fonts->GetCount(), before + 1);
    ASSERT_NE(game.GetMessageFont(), nullptr);
    handles = {game.m_hud.score, game.m_hud.clock, game.m_hud.lives};
    handles.insert(handles.end(), std::begin(game.m_hud.counters), std::end(game.m_hud.counters));
    for (int32_t handle : handles) EXPECT_NE(textures->Find(handle), nullptr) << handle;
  }
  EXPECT_EQ(fonts->GetCount(), before);
  for (int32_t handle : handles) EXPECT_EQ(textures->Find(handle), nullptr) << handle;
}

// HUD rectangles overlap only where they share area; growing one covers both.
TEST(HudRectTest, OverlapsOnlyWithSharedAreaAndIncludeCoversBoth) {
  const HudRect a{10.0f, 10.0f, 20.0f, 20.0f};
  const struct {
    HudRect other;
    bool overlaps;
  } cases[] = {
      {{15.0f, 15.0f, 25.0f, 25.0f}, true},  {{5.0f, 5.0f, 11.0f, 11.0f}, true},
      {{20.0f, 10.0f, 30.0f, 20.0f}, false}, {{0.0f, 10.0f, 10.0f, 20.0f}, false},
      {{10.0f, 20.0f, 20.0f, 30.0f}, false}, {{10.0f, 0.0f, 20.0f, 10.0f}, false},
      {{12.0f, 30.0f, 18.0f, 40.0f}, false}, {{30.0f, 12.0f, 40.0f, 18.0f}, false},
      {{12.0f, 12.0f, 12.0f, 18.0f}, false},  // empty
  };
  for (const auto& c : cases) {
    EXPECT_EQ(a.Overlaps(c.other), c.overlaps) << c.other.x0 << "," << c.other.y0;
    EXPECT_EQ(c.other.Overlaps(a), c.overlaps) << c.other.x0 << "," << c.other.y0;
  }
  HudRect grown = a;
  grown.Include(HudRect{5.0f, 15.0f, 12.0f, 30.0f});
  EXPECT_EQ(grown.x0, 5.0f);
  EXPECT_EQ(grown.y0, 10.0f);
  EXPECT_EQ(grown.x1, 20.0f);
  EXPECT_EQ(grown.y1, 30.0f);
  grown.Include(HudRect{15.0f, 2.0f, 40.0f, 12.0f});
  EXPECT_EQ(grown.y0, 2.0f);
  EXPECT_EQ(grown.x1, 40.0f);
  grown.Include(HudRect{});
  EXPECT_EQ(grown.x0, 5.0f);
  HudRect empty;
  empty.Include(a);
  EXPECT_EQ(empty.x0, 10.0f);
  EXPECT_EQ(empty.y1, 20.0f);
}

TEST(GameCameraTest, SetsGoStraightInOrBecomeTheBlendsEnd) {
  GameCamera camera;
  camera.Init();
  camera.SetPosition(Vector4(1.0f, 2.0f, 3.0f, 1.0f));
  EXPECT_FLOAT_EQ(camera.GetPosition().x, 1.0f);
  camera.BlendTo(Vector4(11.0f, 2.0f, 3.0f, 1.0f), Vector4(0.0f, 10.0f, 0.0f, 1.0f), 10.0f);
  for (int i = 0; i < 5; ++i) camera.Update(nullptr);
  EXPECT_FLOAT_EQ(camera.GetPosition().x, 6.0f) << "half way";
  camera.SetPosition(Vector4(21.0f, 2.0f, 3.0f, 1.0f));
  EXPECT_FLOAT_EQ(camera.GetPosition().x, 6.0f) << "a set during a blend moves its end";
  for (int i = 0; i < 5; ++i) camera.Update(nullptr);
  EXPECT_FLOAT_EQ(camera.GetPosition().x, 21.0f);
  EXPECT_EQ(camera.IsBlending(), 0);
  EXPECT_FLOAT_EQ(camera.GetTarget().y, 10.0f);
  camera.SetPosition(Vector4(5.0f, 0.0f, 0.0f, 1.0f));
  EXPECT_FLOAT_EQ(camera.GetPosition().x, 5.0f);
}

// Every component of the eye and the target runs its own way through a blend.
TEST(GameCameraTest, ABlendMovesEveryComponentAndASetTargetMovesItsEnd) {
  GameCamera camera;
  camera.Init();
  camera.SetPosition(Vector4(0.0f, 0.0f, 0.0f, 1.0f));
  camera.SetTarget(Vector4(0.0f, 0.0f, 0.0f, 1.0f));
  camera.BlendTo(Vector4(4.0f, 8.0f, 12.0f, 1.0f), Vector4(-4.0f, -8.0f, -12.0f, 1.0f), 4.0f);
  camera.SetTarget(Vector4(-40.0f, -80.0f, -120.0f, 1.0f));
  camera.Update(nullptr);
  const Vector4 eye = camera.GetPosition(), target = camera.GetTarget();
  EXPECT_FLOAT_EQ(eye.x, 1.0f);
  EXPECT_FLOAT_EQ(eye.y, 2.0f);
  EXPECT_FLOAT_EQ(eye.z, 3.0f);
  EXPECT_FLOAT_EQ(eye.w, 1.0f);
  EXPECT_FLOAT_EQ(target.x, -10.0f) << "the set moved the blend's end";
  EXPECT_FLOAT_EQ(target.y, -20.0f);
  EXPECT_FLOAT_EQ(target.z, -30.0f);
  EXPECT_FLOAT_EQ(target.w, 1.0f);
}

// The free camera moves eye and target together, 20 units a tick for each direction player 0
// holds; player 1's keys do nothing.
TEST(GameCameraTest, TheFreeCameraFollowsTheFirstPlayersDirections) {
  InputDevice input;
  SetInputDevice(&input);
  GameCamera camera;
  camera.Init();
  camera.SetPosition(Vector4(0.0f, 0.0f, 5.0f, 1.0f));
  camera.SetTarget(Vector4(0.0f, 100.0f, 5.0f, 1.0f));
  camera.SetFreeCamera(1);
  const struct {
    uint32_t held;
    float dx, dy;
  } cases[] = {{kInputLeft, -20.0f, 0.0f},
               {kInputRight, 20.0f, 0.0f},
               {kInputUp, 0.0f, 20.0f},
               {kInputDown, 0.0f, -20.0f},
               {kInputLeft | kInputUp, -20.0f, 20.0f},
               {kInputSelect, 0.0f, 0.0f}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.held);
    const uint32_t held[2] = {c.held, kInputRight | kInputUp};
    const uint32_t pressed[2] = {0, 0};
    input.SetLinkInput(held, pressed);
    const Vector4 eye = camera.GetPosition(), target = camera.GetTarget();
    EXPECT_EQ(camera.Update(nullptr), 1);
    EXPECT_FLOAT_EQ(camera.GetPosition().x, eye.x + c.dx);
    EXPECT_FLOAT_EQ(camera.GetPosition().y, eye.y + c.dy);
    EXPECT_FLOAT_EQ(camera.GetPosition().z, 5.0f);
    EXPECT_FLOAT_EQ(camera.GetTarget().x, target.x + c.dx);
    EXPECT_FLOAT_EQ(camera.GetTarget().y, target.y + c.dy);
    EXPECT_FLOAT_EQ(camera.GetTarget().z, 5.0f);
  }
  // Without an input device it stays; switched off, it no longer moves.
  SetInputDevice(nullptr);
  const Vector4 still = camera.GetPosition();
  camera.Update(nullptr);
  EXPECT_FLOAT_EQ(camera.GetPosition().x, still.x);
  SetInputDevice(&input);
  camera.SetFreeCamera(0);
  EXPECT_EQ(camera.Update(nullptr), 0);
  EXPECT_FLOAT_EQ(camera.GetPosition().x, still.x);
  EXPECT_FLOAT_EQ(camera.GetPosition().y, still.y);
  SetInputDevice(nullptr);
}

TEST_F(GameServicesTest, TheCameraReachesTheWindowsCamera) {
  RenderWindow window;
  window.Init(Vector2(0.0f, 0.0f), Vector2(640.0f, 480.0f), Vector4(0, 0, 0, 0), 6, 0.0f);
  GameCamera camera;
  camera.Init();
  camera.SetPosition(Vector4(0.0f, -500.0f, 200.0f, 1.0f));
  camera.SetTarget(Vector4(0.0f, 0.0f, 50.0f, 1.0f));
  EXPECT_EQ(camera.Update(&window), 0);
  EXPECT_FLOAT_EQ(window.GetCamera()->GetEye().y, -500.0f);
  EXPECT_FLOAT_EQ(window.GetCamera()->GetTarget().z, 50.0f);
  camera.SetFov(&window, 1.0f);
  EXPECT_NEAR(window.GetCamera()->GetHorizontalFov(), 1.0f, 1e-4f);
  window.CleanUp();
}

// A game that places its camera while it draws is drawn from there in the same frame: a set
// reaches the window's camera at once, a blend's end does not, and a window the game has deleted
// is left alone.
TEST_F(GameServicesTest, ASetReachesTheWindowsCameraAtOnce) {
  App& app = GetApp();
  RenderWindow* window = TrackedNew<RenderWindow>("GameServicesTest");
  window->Init(Vector2(0.0f, 0.0f), Vector2(640.0f, 480.0f), Vector4(0, 0, 0, 0), 6, 0.0f);
  const int32_t id = app.AddWindow(window);
  const Camera& engine = *window->GetCamera();
  GameCamera camera;
  camera.Init();
  camera.SetPosition(Vector4(1.0f, 0.0f, 0.0f, 1.0f));
  EXPECT_NE(engine.GetEye().x, 1.0f) << "no window yet: the next Update takes it";
  camera.Update(window);
  EXPECT_FLOAT_EQ(engine.GetEye().x, 1.0f);
  camera.SetPosition(Vector4(2.0f, 0.0f, 0.0f, 1.0f));
  camera.SetTarget(Vector4(0.0f, 3.0f, 0.0f, 1.0f));
  EXPECT_FLOAT_EQ(engine.GetEye().x, 2.0f);
  EXPECT_FLOAT_EQ(engine.GetTarget().y, 3.0f);
  camera.BlendTo(Vector4(4.0f, 0.0f, 0.0f, 1.0f), Vector4(0.0f, 5.0f, 0.0f, 1.0f), 0.0f);
  EXPECT_FLOAT_EQ(engine.GetEye().x, 4.0f) << "a blend of no ticks is a set";
  EXPECT_FLOAT_EQ(engine.GetTarget().y, 5.0f);
  camera.BlendTo(Vector4(14.0f, 0.0f, 0.0f, 1.0f), Vector4(0.0f, 5.0f, 0.0f, 1.0f), 10.0f);
  camera.SetPosition(Vector4(24.0f, 0.0f, 0.0f, 1.0f));
  EXPECT_FLOAT_EQ(engine.GetEye().x, 4.0f) << "the blend's end moves, not the camera";
  camera.Update(window);
  EXPECT_FLOAT_EQ(engine.GetEye().x, 6.0f);

  // SetFov names the window as well; once the game has deleted it, sets leave it alone.
  RenderWindow* other = TrackedNew<RenderWindow>("GameServicesTest");
  other->Init(Vector2(0.0f, 0.0f), Vector2(640.0f, 480.0f), Vector4(0, 0, 0, 0), 6, 0.0f);
  const int32_t otherId = app.AddWindow(other);
  camera.Init();
  camera.SetFov(other, 1.0f);
  camera.SetPosition(Vector4(7.0f, 0.0f, 0.0f, 1.0f));
  EXPECT_FLOAT_EQ(other->GetCamera()->GetEye().x, 7.0f);
  app.DeleteWindow(otherId);
  camera.SetPosition(Vector4(8.0f, 0.0f, 0.0f, 1.0f));
  EXPECT_FLOAT_EQ(camera.GetPosition().x, 8.0f);
  app.DeleteWindow(id);
}

}  // namespace

namespace {

// A HUD texture lands at its own size where it is put on the 640 x 480 plane.
TEST_F(GameServicesTest, AHudTextureIsDrawnAtItsOwnSize) {
  App& app = GetApp();
  RenderWindow* window = TrackedNew<RenderWindow>("GameServicesTest");
  window->Init(Vector2(0.0f, 0.0f), Vector2(640.0f, 480.0f), Vector4(0, 0, 0, 255), 6, 0.0f);
  const int32_t id = app.AddWindow(window);
  BaseTexture* textures = app.GetTexture();
  const int32_t texture = textures->CreateSystemTexture(32, 16, 0);
  uint8_t* pixels = textures->GetPixels(texture);
  ASSERT_NE(pixels, nullptr);
  for (int i = 0; i < 32 * 16; ++i) reinterpret_cast<uint32_t*>(pixels)[i] = 0xFF00FF00u;
  textures->UploadPixels(texture);
  DrawHudTexture(window, texture, 100.0f, 200.0f);
  m_harness.RunFrames(1);
  std::vector<uint32_t> screen(640 * 480);
  ASSERT_EQ(app.GetDisplay()->GetDevice()->ReadBackBuffer(screen.data(), 640, 480), gfx::D3D_OK);
  auto at = [&](int x, int y) { return screen[static_cast<size_t>(y) * 640 + x] & 0x00FFFFFFu; };
  EXPECT_EQ(at(116, 208), 0x00FF00u) << std::hex << at(116, 208);
  EXPECT_EQ(at(100, 200), 0x00FF00u);
  EXPECT_EQ(at(131, 215), 0x00FF00u);
  EXPECT_EQ(at(132, 208), 0x000000u) << "nothing right of its width";
  EXPECT_EQ(at(116, 216), 0x000000u) << "nothing below its height";
  textures->DeleteSystemTexture(texture);
  app.DeleteWindow(id);
}

}  // namespace
