// The garden game on damaged data: path maps cut short or linking out of range, a light file too
// short for its record, a scene whose names the game cannot use. The game still loads and plays,
// with a log line for each file it refuses; only without its whole folder does it refuse to load.
#include <filesystem>

#include "Engine/PC/PCRenderWindow.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ScnWriter.h"
#include "tests/support/TempDir.h"
#include "tests/tessel/PathMapWriter.h"
#include "tests/tessel/TesselTestSupport.h"

namespace {

namespace fs = std::filesystem;
using pathmapwriter::Record;

// A private copy of the demo data, to be damaged.
class BadDataTest : public AppTest {
 protected:
  void SetUp() override {
    fs::copy(DemoDataFolder(), "data", fs::copy_options::recursive);
    KavelApp::Register();
  }
  void TearDown() override { m_harness.Stop(); }
  void Replace(const std::string& name, const std::vector<uint8_t>& bytes) {
    WriteFileBytes("data/TesselGame/" + name, bytes.data(), bytes.size());
  }
  cTesselGame* Start() {
    EXPECT_TRUE(m_harness.Start());
    m_harness.SkipPixelWork();
    cTesselGame* game = TrackedNew<cTesselGame>("TesselTest::StartGame", kModeNormal, 0);
    GetKavelApp()->StartGame(game);
    for (int i = 0;
         i < 300 && GetKavelApp()->GetCurrentGame() == game && game->GetPlayState() != kTesselFree;
         ++i)
      m_harness.RunFrames(1);
    return static_cast<cTesselGame*>(GetKavelApp()->GetCurrentGame());
  }
};

TEST_F(BadDataTest, RefusedPathMapsLeaveTheLevelWithoutThatMap) {
  std::vector<uint8_t> truncated = pathmapwriter::Write({Record(), Record(), Record()});
  truncated.resize(truncated.size() - 1);
  Replace("level1_junctionmap.bin", truncated);
  // Two nodes, one linking out of range and one below -1; the second is the player's start.
  Record a, b;
  a.links[0] = 1;
  a.links[1] = 2;
  a.links[3] = -5;
  b.x = 1300.0f;
  b.y = -700.0f;
  b.flags = pathmapwriter::kPlayerStart | pathmapwriter::kEnemyStart;
  b.links[1] = 0;
  Replace("level1_intermediatemap.bin", pathmapwriter::Write({a, b}));
  Replace("institute01.lgt", std::vector<uint8_t>(40, 0));
  cTesselGame* game = Start();
  ASSERT_NE(game, nullptr) << "the game loads and plays";
  EXPECT_EQ(game->GetPlayState(), kTesselFree);
  EXPECT_EQ(game->GetJunctionCount(), 0u);
  EXPECT_EQ(game->GetEnemyCount(), 0u) << "no junction map, no enemies";
  ASSERT_EQ(game->GetIntermediateCount(), 2u);
  const TesselNavNode* nodes = game->GetIntermediates();
  EXPECT_EQ(nodes[0].links[0], &nodes[1]);
  EXPECT_EQ(nodes[0].links[1], nullptr);
  EXPECT_EQ(nodes[0].links[3], nullptr);
  EXPECT_EQ(game->GetStartPosition().y, -700.0f) << "a start in the intermediate map counts";
  EXPECT_EQ(game->GetLightBlock(0), nullptr) << "a light file too short is not copied";
  EXPECT_TRUE(DebugLogContains("level1_junctionmap.bin holds 123 bytes, too few for 3 records"));
  EXPECT_TRUE(DebugLogContains("level1_intermediatemap.bin record 0 links to 2 of 2 records"));
  m_harness.RunFrames(60);
  EXPECT_EQ(GetKavelApp()->GetCurrentGame(), game);
}

TEST_F(BadDataTest, MoreThanSixEnemyStartsAreCappedAndOddNamesIgnored) {
  std::vector<Record> junctions = pathmapwriter::Grid({400, 1300, 2200}, {-600, -1500, -2400}, 0);
  for (Record& r : junctions) r.flags = pathmapwriter::kEnemyStart;
  junctions[1].flags = pathmapwriter::kPlayerStart;
  Replace("level1_junctionmap.bin", pathmapwriter::Write(junctions));
  // An intermediate map cut short: none, and the men walk back to where they stand.
  std::vector<uint8_t> cut = pathmapwriter::Write({Record(), Record()});
  cut.resize(cut.size() - 4);
  Replace("level1_intermediatemap.bin", cut);
  // Names are counted by the test that fills them: an unknown box model or plant letter is
  // neither counted nor filled.
  scnwriter::SceneDesc scene;
  for (const char* name : {"plant_z01", "plant_a01", "plant_", "collision_9m_9m01",
                           "collision_2m_2m01", "collision", "gametree01", "plant_e02"}) {
    scnwriter::GameNodeDesc node;
    node.name = name;
    node.matrix = scnwriter::Translation(1000.0f, -1000.0f, 0.0f);
    scene.nodes.push_back(node);
  }
  ASSERT_TRUE(scnwriter::SaveScn("data/TesselGame/institute01.scn", scene));
  cTesselGame* game = Start();
  ASSERT_NE(game, nullptr);
  EXPECT_EQ(game->GetEnemyCount(), 6u) << "eight marked, six taken";
  EXPECT_EQ(game->GetIntermediateCount(), 0u);
  EXPECT_EQ(game->GetIntermediates(), nullptr);
  EXPECT_TRUE(DebugLogContains("marks more than 6 enemy starts"));
  EXPECT_EQ(game->GetPlantCount(), 2u);
  EXPECT_EQ(game->GetPlants()[1].kind, 4u);
  EXPECT_EQ(game->GetBoxCount(), 1u);
  EXPECT_EQ(game->GetBoxes()[0].min.x, 900.0f) << "the 2 m model's box moved to the node";
  EXPECT_EQ(game->GetTreeCount(), 1u);
  m_harness.RunFrames(30);
}

}  // namespace

namespace {

// Without its folder there is nothing to play: the game refuses to load, as every game does, the
// log names the folder, and nothing of it is left.
TEST_F(BadDataTest, WithoutItsFolderTheGameRefusesToLoad) {
  std::filesystem::remove_all("data/TesselGame");
  EXPECT_EQ(Start(), nullptr);
  EXPECT_TRUE(DebugLogContains("cTesselGame: the data folder data\\TesselGame\\ is missing"));
  EXPECT_EQ(GetKavelApp()->GetCurrentGame(), nullptr);
  EXPECT_EQ(TesselBlocks(), 0u);
}

}  // namespace
