#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "Engine/CRC32.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCFileIO.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCScene.h"
#include "Engine/PC/PCSceneFactory.h"
#include "tests/support/AppHarness.h"
#include "tests/support/ContentTestSupport.h"
#include "tests/support/GeoWriter.h"
#include "tests/support/LgtWriter.h"
#include "tests/support/LogCapture.h"
#include "tests/support/Ps2Writer.h"
#include "tests/support/ScnWriter.h"

namespace {

using scnwriter::GameNodeDesc;
using scnwriter::ObjectDesc;
using scnwriter::SceneDesc;

bool SaveBox(const std::string& path) {
  geowriter::GeoDesc geo;
  const float lo[3] = {-1, -1, -1}, hi[3] = {1, 1, 1};
  geo.nodes.push_back({geowriter::BoxMesh(lo, hi, 0xFF808080u, 0xFFFFFFFFu), {}});
  return geowriter::SaveGeo(path, geo);
}

// Two objects (one textured), three placements, four game nodes (two named alike).
SceneDesc BasicScene() {
  SceneDesc desc;
  ObjectDesc wall;
  wall.textures = {"wall.dds"};
  wall.mesh = scnwriter::Quad(-10, -10, 10, 10, 0, 0xFF808080u, 0);
  ObjectDesc floor;
  floor.mesh = scnwriter::Quad(-5, -5, 5, 5, 0, 0xFF808080u);
  desc.objects = {wall, floor};
  desc.matrices = {scnwriter::Translation(0, 0, 0), scnwriter::Translation(30, 0, 0)};
  desc.placements = {{0, 0}, {1, 1}, {0, 1}};
  desc.nodes = {{"camera01", scnwriter::Translation(1, 2, 3), " ", " "},
                {"ball", scnwriter::ScaleTranslation(2, 4, 5, 6), " ", " "},
                {"ball", scnwriter::Translation(7, 8, 9), " ", " "},
                {"goal_post", scnwriter::Translation(-1, -2, -3), " ", " "}};
  return desc;
}

// The blocks a scene and its load own, by owner.
struct BlockCounts {
  static constexpr int kCount = 6;
  static constexpr const char* kOwners[kCount] = {
      "Scene::Load",      "Scene::CreateSceneObject", "SceneFactory::CreateScene",
      "FileIO::LoadFile", "NodeFactory::Add",         "NodeFactory::LoadNodeList"};
  uint32_t counts[kCount];
  BlockCounts() {
    for (int i = 0; i < kCount; ++i) counts[i] = MemoryTracker::CountBlocksOwnedBy(kOwners[i]);
  }
  ::testing::AssertionResult Same(const BlockCounts& other) const {
    for (int i = 0; i < kCount; ++i)
      if (counts[i] != other.counts[i])
        return ::testing::AssertionFailure() << kOwners[i] << " owns " << other.counts[i]
                                             << " blocks, " << counts[i] << " before";
    return ::testing::AssertionSuccess();
  }
};

class SceneFileTest : public AppTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(content::SaveSolidDds("data\\badtexture.dds", 0xFF20C040u));
    ASSERT_TRUE(content::SaveSolidDds("data\\Scene\\wall.dds", 0xFFC86432u));
    ASSERT_TRUE(m_harness.Start());
    GetApp().SetDataDir("data\\Scene\\");
  }

  SceneFactory* scenes() { return GetApp().GetSceneFactory(); }
  Texture* textures() { return GetApp().GetTexture(); }
  int32_t TextureRefs(const char* name) {
    const TextureData* data = textures()->Find(static_cast<int32_t>(CRC32::CreateHash(name)));
    return data ? data->refCount : 0;
  }
  int32_t GeometryRefs(const char* name) {
    const HeaderInfo* header =
        GetApp().GetNodeFactory()->FindHeader(static_cast<int32_t>(CRC32::CreateHash(name)));
    return header ? header->refCount : 0;
  }

  // Writes the image and expects the factory to refuse it without keeping anything.
  void ExpectRefused(const std::vector<uint8_t>& image, const std::string& what) {
    SCOPED_TRACE(what);
    ASSERT_TRUE(scnwriter::SaveBytes("data/Scene/broken.scn", image));
    const BlockCounts before;
    const int32_t count = scenes()->GetCount();
    EXPECT_EQ(scenes()->CreateScene("broken.scn"), -1);
    EXPECT_EQ(scenes()->GetCount(), count);
    EXPECT_TRUE(before.Same(BlockCounts()));
    EXPECT_EQ(TextureRefs("wall.dds"), 0);
  }
};

TEST_F(SceneFileTest, GameNodesAreFoundByNameAndIndexWithTheirMatrices) {
  ASSERT_TRUE(scnwriter::SaveScn("data/Scene/level.scn", BasicScene()));
  const int32_t id = scenes()->CreateScene("level.scn");
  ASSERT_NE(id, -1);
  Scene* scene = scenes()->FindScene(id);
  ASSERT_NE(scene, nullptr);
  EXPECT_EQ(scene->GetObjectCount(), 2);
  EXPECT_EQ(scene->GetPlacementCount(), 3u);
  EXPECT_EQ(scene->GetPlacementMatrixCount(), 2u);
  EXPECT_EQ(scene->GetFlags(), 1u);
  EXPECT_EQ(scene->GetWindowId(), -1);

  ASSERT_EQ(scene->GetNumGameNodes(), 4);
  const char* names[4] = {"camera01", "ball", "ball", "goal_post"};
  for (int32_t i = 0; i < 4; ++i) {
    ASSERT_NE(scene->GetGameNode(i), nullptr);
    EXPECT_STREQ(scene->GetGameNode(i), names[i]);
    const GameNode* node = scene->GetGameNodeRecord(i);
    ASSERT_NE(node, nullptr);
    EXPECT_STREQ(scene->GetGameNodeName(node), names[i]);
    EXPECT_STREQ(scene->GetGameNodeParticleName(node), " ");
    EXPECT_EQ(node->geometry, -1);
    EXPECT_EQ(node->particleTemplate, -1);
    EXPECT_EQ(node->tint.x, 1.0f);
    EXPECT_EQ(node->tint.w, 1.0f);
  }

  // The first of two alike names wins; its matrix is the file's, row by row.
  GameNode* ball = scene->FindGameNode("ball");
  ASSERT_EQ(ball, scene->GetGameNodeRecord(1));
  const float expected[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 4, 5, 6, 1};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(ball->matrix.m[i], expected[i]) << i;
  EXPECT_EQ(scene->FindGameNodeIndex("goal_post"), 3);

  // Names compare whole and case-sensitively.
  for (const char* near : {"bal", "Ball", "balls", static_cast<const char*>(nullptr)})
    EXPECT_EQ(scene->FindGameNode(near), nullptr) << (near ? near : "null");
  EXPECT_EQ(scene->FindGameNodeIndex("nothing"), -1);
  GameNode foreign{};
  EXPECT_EQ(scene->GetGameNodeName(&foreign), nullptr);

  // Out of range: reported, and nothing is read past the array.
  AssertCounter asserts;
  EXPECT_EQ(scene->GetGameNode(4), nullptr);
  EXPECT_EQ(scene->GetGameNode(-1), nullptr);
  EXPECT_EQ(scene->GetGameNodeRecord(4), nullptr);
  EXPECT_EQ(asserts.Count(), 3u);
  EXPECT_TRUE(DebugLogContains("ID<(s32)m_NumGameNodes"));
  scenes()->DeleteScene(id);
}

TEST_F(SceneFileTest, NodesTakeTheirGeometryAndParticleTemplatesAndGiveThemBack) {
  ASSERT_TRUE(SaveBox("data/Scene/goal.geo"));
  ps2writer::Template spark;
  spark.texture = "wall.dds";
  ASSERT_TRUE(ps2writer::SavePs2("data/Scene/spark.ps2", spark));
  SceneDesc desc = BasicScene();
  desc.nodes[1].geometry = "goal";
  desc.nodes[2].geometry = "goal";
  desc.nodes[2].particles = "spark";
  desc.nodes[3].geometry = "missing";
  desc.nodes[3].particles = "missing";
  ASSERT_TRUE(scnwriter::SaveScn("data/Scene/level.scn", desc));

  const int32_t id = scenes()->CreateScene("level.scn");
  ASSERT_NE(id, -1);
  Scene* scene = scenes()->FindScene(id);
  const int32_t goal = static_cast<int32_t>(CRC32::CreateHash("goal.geo"));
  EXPECT_EQ(scene->GetGameNodeRecord(0)->geometry, -1);
  EXPECT_EQ(scene->GetGameNodeRecord(1)->geometry, goal);
  EXPECT_EQ(scene->GetGameNodeRecord(2)->geometry, goal);
  EXPECT_EQ(GeometryRefs("goal.geo"), 2);
  const int32_t sparkId = scene->GetGameNodeRecord(2)->particleTemplate;
  EXPECT_NE(sparkId, -1);
  EXPECT_EQ(GetApp().GetParticleFactory()->GetRefCount(sparkId), 1);
  EXPECT_STREQ(scene->GetGameNodeParticleName(scene->GetGameNodeRecord(2)), "spark");
  // A missing file leaves the node without geometry or template.
  EXPECT_EQ(scene->GetGameNodeRecord(3)->geometry, -1);
  EXPECT_EQ(scene->GetGameNodeRecord(3)->particleTemplate, -1);

  // Never attached to a window: the geometry and the template still go with the scene.
  scenes()->DeleteScene(id);
  EXPECT_EQ(GeometryRefs("goal.geo"), 0);
  EXPECT_EQ(GetApp().GetParticleFactory()->GetRefCount(sparkId), 0);
  EXPECT_EQ(GetApp().GetParticleFactory()->GetCount(), 0);
  EXPECT_EQ(TextureRefs("wall.dds"), 0);
}

TEST_F(SceneFileTest, TheFactorySharesScenesByNameAndNeverReusesAnId) {
  ASSERT_TRUE(scnwriter::SaveScn("data/Scene/a.scn", BasicScene()));
  ASSERT_TRUE(scnwriter::SaveScn("data/Scene/b.scn", BasicScene()));
  const BlockCounts before;
  const int32_t a = scenes()->CreateScene("a.scn");
  ASSERT_NE(a, -1);
  EXPECT_EQ(scenes()->CreateScene("a.scn"), a);
  EXPECT_EQ(scenes()->GetRefCount(a), 2u);
  EXPECT_EQ(scenes()->GetCount(), 1);
  // The object's texture is taken once per placement-free object, not per user of the scene.
  EXPECT_EQ(TextureRefs("wall.dds"), 1);
  // Names compare byte-wise: another spelling is another scene.
  const int32_t b = scenes()->CreateScene("A.scn");
  ASSERT_NE(b, -1);
  EXPECT_NE(b, a);
  EXPECT_NE(scenes()->FindScene(a), scenes()->FindScene(b));

  scenes()->DeleteScene(a);
  EXPECT_NE(scenes()->FindScene(a), nullptr);
  scenes()->DeleteScene(a);
  EXPECT_EQ(scenes()->FindScene(a), nullptr);
  EXPECT_EQ(scenes()->GetCount(), 1);
  // The scene behind the deleted one keeps its id, and a new one gets an id nobody holds.
  EXPECT_NE(scenes()->FindScene(b), nullptr);
  const int32_t c = scenes()->CreateScene("b.scn");
  EXPECT_NE(c, -1);
  EXPECT_NE(c, a);
  EXPECT_NE(c, b);

  // Unknown ids change nothing.
  scenes()->DeleteScene(12345);
  scenes()->DeleteScene(-1);
  EXPECT_EQ(scenes()->GetCount(), 2);
  EXPECT_EQ(scenes()->FindScene(-1), nullptr);

  scenes()->DeleteScene(b);
  scenes()->DeleteScene(c);
  EXPECT_EQ(scenes()->GetCount(), 0);
  EXPECT_TRUE(before.Same(BlockCounts()));
  EXPECT_EQ(TextureRefs("wall.dds"), 0);
}

TEST_F(SceneFileTest, AMissingFileIsReportedTwice) {
  EXPECT_EQ(scenes()->CreateScene("nowhere.scn"), -1);
  EXPECT_TRUE(DebugLogContains("Could not find nowhere.scn"));
  EXPECT_TRUE(DebugLogContains("could not load nowhere.scn"));
  EXPECT_EQ(scenes()->CreateScene(nullptr), -1);
  EXPECT_EQ(scenes()->GetCount(), 0);
}

TEST_F(SceneFileTest, EmptyScenesLoad) {
  // No objects and no nodes at all; a negative object count reads as none.
  SceneDesc empty;
  empty.placementList = false;
  ASSERT_TRUE(scnwriter::SaveScn("data/Scene/empty.scn", empty));
  const int32_t id = scenes()->CreateScene("empty.scn");
  ASSERT_NE(id, -1);
  EXPECT_EQ(scenes()->FindScene(id)->GetNumGameNodes(), 0);
  EXPECT_EQ(scenes()->FindScene(id)->GetObjectCount(), 0);
  EXPECT_EQ(scenes()->FindScene(id)->FindGameNode("ball"), nullptr);
  scenes()->DeleteScene(id);

  std::vector<uint8_t> image = scnwriter::Write(empty);
  scnwriter::PutU32(&image, scnwriter::kOffsetObjectCount, 0xFFFFFFFEu);
  scnwriter::PutU32(&image, scnwriter::kOffsetNodeCount, 0xFFFFFFFFu);
  ASSERT_TRUE(scnwriter::SaveBytes("data/Scene/negative.scn", image));
  const int32_t negative = scenes()->CreateScene("negative.scn");
  ASSERT_NE(negative, -1);
  EXPECT_EQ(scenes()->FindScene(negative)->GetObjectCount(), 0);
  EXPECT_EQ(scenes()->FindScene(negative)->GetNumGameNodes(), 0);
  scenes()->DeleteScene(negative);
}

TEST_F(SceneFileTest, EveryTruncationIsRefused) {
  const std::vector<uint8_t> whole = scnwriter::Write(BasicScene());
  ASSERT_TRUE(scnwriter::SaveBytes("data/Scene/whole.scn", whole));
  const int32_t id = scenes()->CreateScene("whole.scn");
  ASSERT_NE(id, -1);
  scenes()->DeleteScene(id);
  // Every byte of the file is read by the loader, so every shorter file lacks something.
  for (size_t size = 1; size < whole.size(); ++size)
    ExpectRefused(std::vector<uint8_t>(whole.begin(), whole.begin() + size),
                  "truncated to " + std::to_string(size));
  EXPECT_TRUE(DebugLogContains("could not load broken.scn"));
}

TEST_F(SceneFileTest, WrongCountsOffsetsAndIndicesAreRefused) {
  scnwriter::Layout layout;
  const std::vector<uint8_t> good = scnwriter::Write(BasicScene(), &layout);
  const uint32_t size = static_cast<uint32_t>(good.size());
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>*)> breakIt;
  };
  auto put = [](size_t offset, uint32_t value) {
    return [=](std::vector<uint8_t>* image) { scnwriter::PutU32(image, offset, value); };
  };
  const Case cases[] = {
      {"object count past the file", put(scnwriter::kOffsetObjectCount, 0x10000000u)},
      {"object table past the end", put(scnwriter::kOffsetObjectTable, size - 4)},
      {"object table far away", put(scnwriter::kOffsetObjectTable, 0xFFFFFFF0u)},
      {"object record past the end", put(layout.objectTable + 4, size - 8)},
      {"texture count past the file", put(layout.objectRecords[0] + 4, 0x40000000u)},
      {"texture table far away", put(layout.objectRecords[0] + 12, 0x80000000u)},
      {"texture name far away", put(layout.textureTables[0], size + 100)},
      {"mesh record past the end", put(layout.objectRecords[1] + 8, size - 100)},
      {"strip names a texture the object lacks",
       put(scnwriter::GetU32(good, layout.meshRecords[0] + 52 /* solid strips */), 1)},
      {"strip runs past the indices",
       put(scnwriter::GetU32(good, layout.meshRecords[1] + 52) + 12 /* its count */, 7)},
      {"node count past the file", put(scnwriter::kOffsetNodeCount, 0x01000000u)},
      {"node matrices past the end", put(scnwriter::kOffsetNodeMatrices, size - 64)},
      {"node names far away", put(scnwriter::kOffsetNodeNames, 0xFFFFFFFFu)},
      {"node geometry names past the end", put(scnwriter::kOffsetNodeGeometry, size)},
      {"node particle names far away", put(scnwriter::kOffsetNodeParticles, size + 1)},
      {"placement record past the end", put(scnwriter::kOffsetPlacementRecord, size - 8)},
      {"placement count past the file", put(layout.placementRecord + 4, 0x20000000u)},
      {"placement entries far away", put(layout.placementRecord + 8, 0xFFFFFFF8u)},
      {"placement names object 2 of 2", put(layout.placementEntries + 8, 2)},
      {"placement names matrix 2 of 2", put(layout.placementEntries + 12, 2)},
      {"placement names object all ones", put(layout.placementEntries, 0xFFFFFFFFu)},
      {"matrix count past the file", put(scnwriter::kOffsetMatrixCount, 0x04000000u)},
      {"matrix table past the end", put(scnwriter::kOffsetMatrixTable, size - 64)},
      {"negative object count with placements", put(scnwriter::kOffsetObjectCount, 0xFFFFFFFFu)},
      {"unterminated last string",
       [](std::vector<uint8_t>* image) {
         // The file ends in the middle of a name that runs to its last byte.
         scnwriter::PutU32(image, scnwriter::kOffsetNodeParticles,
                           static_cast<uint32_t>(image->size()));
         image->push_back('x');
       }},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> image = good;
    c.breakIt(&image);
    ExpectRefused(image, c.what);
  }

  // Type and version are asserted on.
  {
    AssertCounter asserts;
    std::vector<uint8_t> image = good;
    scnwriter::PutU32(&image, scnwriter::kOffsetType, 2);
    ExpectRefused(image, "type 2");
    EXPECT_TRUE(DebugLogContains("m_pLoadedFile->Type==SCENE_TYPE"));
    image = good;
    scnwriter::PutU32(&image, scnwriter::kOffsetVersion, 4);
    ExpectRefused(image, "version 4");
    EXPECT_TRUE(DebugLogContains("m_pLoadedFile->Version==VERSION_NUM"));
    EXPECT_EQ(asserts.Count(), 2u);
  }

  // A geometry name that would not fit its ".geo" name is refused, not cut short.
  {
    SceneDesc desc = BasicScene();
    desc.nodes[0].geometry = std::string(300, 'g');
    ExpectRefused(scnwriter::Write(desc), "long geometry name");
  }
}

TEST_F(SceneFileTest, AnObjectThatFailsAfterOthersWereBuiltGivesTheirsBack) {
  // Object 0 takes a texture; object 1's strip names a texture it does not have.
  SceneDesc desc = BasicScene();
  desc.objects[1].mesh.solidStrips[0].material = 3;
  ASSERT_TRUE(SaveBox("data/Scene/goal.geo"));
  desc.nodes[1].geometry = "goal";
  ExpectRefused(scnwriter::Write(desc), "object 1 refused");
  EXPECT_EQ(GeometryRefs("goal.geo"), 0);
  EXPECT_TRUE(DebugLogContains("Refused scene file broken.scn"));
}

TEST_F(SceneFileTest, SceneTimeAdvancesByTheTimeStepUnlessPaused) {
  ASSERT_TRUE(scnwriter::SaveScn("data/Scene/level.scn", BasicScene()));
  const int32_t id = scenes()->CreateScene("level.scn");
  Scene* scene = scenes()->FindScene(id);
  ASSERT_NE(scene, nullptr);
  EXPECT_EQ(scene->GetTime(), 0.0f);
  const double step = GetApp().GetTimeStep();
  ASSERT_GE(step, 1.0);
  double expected = 0.0;
  for (int i = 0; i < 3; ++i) {
    scene->AdvanceTime(0);
    expected = static_cast<float>(expected + step * static_cast<double>(0.08f));
  }
  EXPECT_EQ(scene->GetTime(), static_cast<float>(expected));
  EXPECT_EQ(scene->GetWaterTime(), scene->GetTime());
  GetApp().SetPause(1);
  scene->AdvanceTime(0);
  EXPECT_EQ(scene->GetTime(), static_cast<float>(expected));
  GetApp().SetPause(0);
  scenes()->DeleteScene(id);
}

TEST_F(SceneFileTest, ScenesLeftAtShutdownAreFreed) {
  ASSERT_TRUE(SaveBox("data/Scene/goal.geo"));
  SceneDesc desc = BasicScene();
  desc.nodes[0].geometry = "goal";
  ASSERT_TRUE(scnwriter::SaveScn("data/Scene/level.scn", desc));
  ASSERT_NE(scenes()->CreateScene("level.scn"), -1);
  ASSERT_NE(scenes()->CreateScene("level.scn"), -1);
  EXPECT_GT(MemoryTracker::CountBlocksOwnedBy("Scene::CreateSceneObject"), 0u);
  m_harness.Stop();
  EXPECT_EQ(scenes()->GetCount(), 0);
  for (const char* owner : {"Scene::Load", "Scene::CreateSceneObject", "SceneFactory::CreateScene",
                            "NodeFactory::Add", "NodeFactory::LoadNodeList"})
    EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy(owner), 0u) << owner;
}

TEST_F(SceneFileTest, ALightFileBeginsWithTheWindowsLightRecord) {
  lgtwriter::LightDesc desc;
  desc.count = 3;
  for (int i = 0; i < 3; ++i) {
    desc.ambient[i] = 0.1f * float(i + 1);
    for (int k = 0; k < 3; ++k) {
      desc.lights[i].direction[k] = float(10 * i + k);
      desc.lights[i].colour[k] = float(100 * i + k) / 1000.0f;
    }
  }
  desc.trailer = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_TRUE(lgtwriter::SaveLgt("data/Scene/level.lgt", desc));
  int32_t size = 0;
  void* image = FileIO::LoadFile("level.lgt", &size);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(size, 88 + 8);
  LightSetup setup;
  std::memcpy(&setup, image, sizeof(setup));
  TrackedFree("test", image);
  EXPECT_EQ(setup.count, 3u);
  EXPECT_EQ(setup.ambient[1], 0.2f);
  EXPECT_EQ(setup.lights[2].direction[1], 21.0f);
  EXPECT_EQ(setup.lights[1].colour[2], 0.102f);
  EXPECT_EQ(setup.lights[0].colour[0], 0.0f);
}

}  // namespace
