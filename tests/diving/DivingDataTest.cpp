// The diving game on damaged data: a scene that is missing or breaks the route rules is refused
// at load and the menu says so; a light file too short for its record leaves the window's own
// light. And a frame of the dive as the player sees it, kept as a picture beside the tests.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCRenderWindow.h"
#include "tests/diving/DivingTestSupport.h"
#include "tests/support/PixelProbe.h"
#include "tests/support/ScnWriter.h"
#include "tests/support/TempDir.h"

namespace divingtest {
namespace {

namespace fs = std::filesystem;

// A scene whose path has a gap: "path00" and "path02" of a two-point route.
void WriteGappedScene() {
  scnwriter::SceneDesc scene;
  scene.placementList = false;
  scene.nodes = {{"path00", scnwriter::Translation(0, 0, 0), " ", " "},
                 {"path02", scnwriter::Translation(100, 0, 0), " ", " "},
                 {"chairnode", scnwriter::Translation(-100, 0, 0), " ", " "}};
  ASSERT_TRUE(scnwriter::SaveScn("data/DivingGame/pool_layout.scn", scene));
}

class DivingDataTest : public DivingTest {
 protected:
  void SetUp() override {}  // each test lays out its data first, then starts
  void Start() { StartApp(); }
};

TEST_F(DivingDataTest, ABrokenOrMissingSceneIsRefusedAndTheMenuSaysSo) {
  struct Case {
    const char* what;
    bool writeScene;
  };
  LinkDivingDataFileByFile({"pool_layout.scn", "pool_layout.lgt"});
  fs::create_symlink(fs::path(DemoDataFolder()) / "DivingGame" / "pool_layout.lgt",
                     "data/DivingGame/pool_layout.lgt");
  Start();
  const Case cases[] = {{"no scene file", false}, {"a path with a gap", true}};
  for (const Case& c : cases) {
    if (c.writeScene) WriteGappedScene();
    ASSERT_TRUE(RunUntil([&] { return FrontEnd()->GetScreen() == CFrontEnd::Screen::Menu; }, 10));
    FrontEnd()->SetMode(kModeNormal);
    Tap(kKeyReturn);
    Frames(8);
    EXPECT_EQ(GetKavelApp()->GetCurrentGame(), nullptr) << c.what << ": the game was not kept";
    EXPECT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Message) << c.what;
    for (const char* owner : {"cDivingGame::Make", "cDivingGame::Init", "cDivingGame::LoadPhase1",
                              "cDivingGame::LoadPhase2", "cDivingGame::CalculateNodeDistances"})
      EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy(owner), 0u) << c.what << " " << owner;
    EXPECT_EQ(m_harness.app().GetWindowCount(), 1) << c.what;
    const HighScoreEntry* best = GetSaveProfile().GetHighScore(cDivingGame::kGameId, 0);
    EXPECT_TRUE(best == nullptr || best->score == 0) << c.what << ": nothing was recorded";
    Tap(kKeyReturn);
  }
}

TEST_F(DivingDataTest, AShortLightFileKeepsTheWindowsOwnLight) {
  LinkDivingDataFileByFile({"pool_layout.scn", "pool_layout.lgt"});
  fs::create_symlink(fs::path(DemoDataFolder()) / "DivingGame" / "pool_layout.scn",
                     "data/DivingGame/pool_layout.scn");
  const std::vector<uint8_t> shortLight(40, 0x3F);
  WriteFileBytes("data/DivingGame/pool_layout.lgt", shortLight.data(), shortLight.size());
  Start();
  ASSERT_TRUE(StartFromMenu(kModeNormal, 0));
  RenderWindow* window = m_harness.app().FindWindow(Game()->GetWindowId());
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->GetLightSetup(), window->GetOwnLightSetup());
  ASSERT_TRUE(RunUntil([&] { return Phase() == cDivingGame::kDivePhaseInChair; }, 200))
      << "and the game plays";
}

// ---- The dive as the player sees it.

bool IsJory(uint32_t pixel) {
  const int r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
  return r > 120 && r > g + 40 && g > b + 20 && b < 90;
}
bool IsClear(uint32_t pixel) { return pixelprobe::Near(pixel, pixelprobe::Rgb(0, 128, 128), 3.0); }

// Beside the test executable, as a binary PPM.
std::string SavePicture(const std::vector<uint32_t>& pixels, int width, int height) {
  char exe[4096] = {};
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
  const fs::path folder = n > 0 ? fs::path(exe).parent_path() : fs::current_path();
  const std::string path = (folder / "diving_dive_frame.ppm").string();
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return "";
  std::fprintf(file, "P6\n%d %d\n255\n", width, height);
  for (uint32_t p : pixels) {
    const unsigned char rgb[3] = {static_cast<unsigned char>(p >> 16),
                                  static_cast<unsigned char>(p >> 8),
                                  static_cast<unsigned char>(p)};
    std::fwrite(rgb, 1, 3, file);
  }
  std::fclose(file);
  return path;
}

TEST_F(DivingTest, AFrameOfTheDiveShowsJoryAndTheHud) {
  ASSERT_TRUE(StartFromMenu(kModeNormal, 0));
  ASSERT_TRUE(RunUntil([&] { return Phase() == cDivingGame::kDivePhaseInChair; }, 200));
  ASSERT_TRUE(WalkUntil([&] { return Game()->GetLadderWindow() == 1; }, 200));
  Tap(kKeyE);
  ASSERT_TRUE(WalkUntil([&] { return Phase() == cDivingGame::kDivePhaseOnBoard; }, 400));
  Frames(20);
  Tap(kKeyE);
  Tap(kKeyW);
  Tap(kKeyQ);
  m_harness.SkipPixelWork(false);  // the frame of the take-off is looked at
  Tap(kKeySpace);
  ASSERT_EQ(Phase(), cDivingGame::kDivePhaseDive);
  ASSERT_GT(Game()->GetJoryPosition().z, 0.0f) << "still in the air";
  const int width = 640, height = 480;
  const std::vector<uint32_t> pixels =
      pixelprobe::ReadBack(m_harness.app().GetDisplay()->GetDevice(), width, height);
  const std::string saved = SavePicture(pixels, width, height);
  EXPECT_FALSE(saved.empty());
  std::printf("the dive's frame: %s\n", saved.c_str());
  int jory = 0;
  for (uint32_t p : pixels) jory += IsJory(p) ? 1 : 0;
  EXPECT_GT(jory, 40) << "Jory's orange shows in the shot of the dive";
  // The HUD: the clock's icon at the top right and the score's at the top left.
  int hud = 0;
  for (int y = 16; y < 40; ++y)
    for (int x = 16; x < 40; ++x) hud += IsClear(pixels[size_t(y * width + x)]) ? 0 : 1;
  EXPECT_GT(hud, 100) << "the score icon";
  // The dive list names the aeroplane in the lines from y 380.
  int text = 0;
  for (int y = 380; y < 440; ++y)
    for (int x = 40; x < 200; ++x) {
      const uint32_t p = pixels[size_t(y * width + x)];
      text += ((p >> 16) & 0xFF) > 90 && (p & 0xFF) < 60 ? 1 : 0;
    }
  EXPECT_GT(text, 5) << "the dive list's first line in its dark red";
}

}  // namespace
}  // namespace divingtest
