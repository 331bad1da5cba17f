#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "Engine/CRC32.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCGeoObject.h"
#include "Engine/PC/PCNodeFactory.h"
#include "Engine/PC/PCSkeleton.h"
#include "Engine/PC/PCTexture.h"
#include "tests/support/AppHarness.h"
#include "tests/support/ContentTestSupport.h"
#include "tests/support/GeoWriter.h"
#include "tests/support/LogCapture.h"
#include "tests/support/SkeletonWriter.h"
#include "tests/support/TempDir.h"

namespace {

using geowriter::GeoDesc;
using geowriter::GeoLayout;

using content::HostPath;
using content::Identifier;

void SaveImage(const std::string& name, const std::vector<uint8_t>& image) {
  WriteFileBytes(HostPath(name), image.data(), image.size());
}

void SaveTexture(const std::string& name, uint32_t argb) {
  ASSERT_TRUE(content::SaveSolidDds(name, argb));
}

geowriter::Node BoxNode(float x, const std::vector<std::string>& textures, uint32_t material = 0) {
  const float lo[3] = {x - 0.5f, -0.5f, -0.5f}, hi[3] = {x + 0.5f, 0.5f, 0.5f};
  geowriter::Node node;
  node.mesh = geowriter::BoxMesh(lo, hi, 0xFF808080u, material);
  node.textures = textures;
  return node;
}

// A chain of `count` bones, each 0.1 above its parent.
skelwriter::SkeletonDesc Chain(int count) {
  skelwriter::SkeletonDesc desc;
  for (int i = 0; i < count; ++i)
    desc.Add("bone" + std::to_string(i), i - 1, 0.0f, 0.0f, i ? 0.1f : 0.0f);
  return desc;
}

// A box whose every vertex hangs from bone `bone`. Its slots of weight 0 name bone 85, which no
// skeleton here has: a slot without weight is never held against the file.
geowriter::Node SkinnedBox(uint8_t bone) {
  geowriter::Node node = BoxNode(0.0f, {});
  node.mesh.solidStrips[0].material = 0xFFFFFFFFu;
  for (size_t i = 0; i < node.mesh.vertices.size(); ++i)
    node.mesh.skinWeights.push_back(
        GeoSkinWeight{{uint8_t(3 * bone), 255, 255, 255}, {1, 0, 0, 0}});
  return node;
}

// Blocks the loading of a file can leave behind, counted by the source files that make them.
uint32_t LiveBlocks() {
  uint32_t n = 0;
  for (const char* file : {"PCNodeFactory.cpp", "PCNodeContainer.cpp", "PCGeoObject.cpp",
                           "PCFileIO.cpp", "PCTexture.cpp", "PCSkeleton.cpp"})
    n += MemoryTracker::CountBlocksFromFile(file);
  return n;
}

class NodeFactoryTest : public AppTest {
 protected:
  void SetUp() override {
    SaveTexture("data\\textures\\crate.dds", 0xFFC86432u);
    SaveTexture("data\\textures\\stone.dds", 0xFF406080u);
    ASSERT_TRUE(m_harness.Start());
  }
  NodeFactory* factory() { return GetApp().GetNodeFactory(); }
  Texture* textures() { return GetApp().GetTexture(); }
};

TEST_F(NodeFactoryTest, AFileIsLoadedOnceAndSharedUntilItsLastDelete) {
  ASSERT_TRUE(factory()->IsInitialised());
  GeoDesc desc;
  desc.nodes = {BoxNode(0.0f, {"data\\textures\\crate.dds"}),
                BoxNode(2.0f, {"data\\textures\\crate.dds"})};
  SaveImage("data\\models\\box.geo", geowriter::WriteGeo(desc));
  const int32_t crate = Identifier("data\\textures\\crate.dds");

  const int32_t handle = factory()->Add("data\\models\\box.geo");
  EXPECT_EQ(handle, Identifier("data\\models\\box.geo"));
  NodeContainer* container = factory()->GetContainer(handle);
  ASSERT_NE(container, nullptr);
  EXPECT_EQ(factory()->Find(handle), container);
  const uint32_t loadBlocks = MemoryTracker::CountBlocksOwnedBy("NodeFactory::LoadNodeList");
  EXPECT_GT(loadBlocks, 0u);
  ASSERT_NE(textures()->Find(crate), nullptr);
  EXPECT_EQ(textures()->Find(crate)->refCount, 2) << "one reference per mesh naming it";

  HeaderInfo* record = factory()->FindHeader(handle);
  ASSERT_NE(record, nullptr);
  EXPECT_STREQ(record->name, "data\\models\\box.geo");
  EXPECT_EQ(record->refCount, 1);
  EXPECT_EQ(record->container, container);
  EXPECT_EQ(container->GetOwner(), record);

  // A second Add only counts: same handle, same container, nothing loaded again.
  EXPECT_EQ(factory()->Add("data\\models\\box.geo"), handle);
  EXPECT_EQ(factory()->GetContainer(handle), container);
  EXPECT_EQ(record->refCount, 2);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("NodeFactory::LoadNodeList"), loadBlocks);
  EXPECT_EQ(textures()->Find(crate)->refCount, 2);
  // Only the characters from the 11th on make the handle: this spelling names the same file.
  EXPECT_EQ(factory()->Add("DATA/models\\box.geo"), handle);
  EXPECT_EQ(record->refCount, 3);
  factory()->DeleteNode(handle);

  // A handle never added changes nothing.
  factory()->DeleteNode(handle + 1);
  factory()->DeleteNode(-1);
  EXPECT_EQ(record->refCount, 2);

  factory()->DeleteNode(handle);
  ASSERT_EQ(factory()->GetContainer(handle), container) << "one user is left";
  EXPECT_EQ(record->refCount, 1);
  factory()->Delete(handle);
  EXPECT_EQ(factory()->GetContainer(handle), nullptr);
  EXPECT_EQ(factory()->FindHeader(handle), nullptr);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("NodeFactory::LoadNodeList"), 0u);
  EXPECT_EQ(textures()->Find(crate), nullptr) << "the meshes gave their textures back";
  // The bucket keeps its (empty) list until the factory is cleaned up.
  EXPECT_TRUE(factory()->BucketHasList(NodeFactory::BucketOf(handle)));
  EXPECT_EQ(factory()->GetBucketRecordCount(NodeFactory::BucketOf(handle)), 0);

  // Added again after its last delete, the file is loaded afresh.
  const int32_t again = factory()->Add("data\\models\\box.geo");
  EXPECT_EQ(again, handle);
  EXPECT_NE(factory()->GetContainer(again), nullptr);
  EXPECT_EQ(factory()->FindHeader(again)->refCount, 1);

  // Shutting down frees what is still loaded, whatever the counts.
  m_harness.Stop();
  EXPECT_FALSE(factory()->IsInitialised());
  for (const char* owner : {"NodeFactory::Init", "NodeFactory::Add", "NodeFactory::LoadNodeList"})
    EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy(owner), 0u) << owner;
}

TEST_F(NodeFactoryTest, AMissingFileGivesMinusOneAndRegistersNothing) {
  const int32_t handle = Identifier("data\\models\\nothing.geo");
  EXPECT_EQ(factory()->Add("data\\models\\nothing.geo"), -1);
  EXPECT_FALSE(factory()->BucketHasList(NodeFactory::BucketOf(handle)));
  WriteFileBytes("data/models/empty.geo", "", 0);
  EXPECT_EQ(factory()->Add("data\\models\\empty.geo"), -1);
  EXPECT_EQ(factory()->Add(nullptr), -1);
  EXPECT_EQ(factory()->LoadNodeList(nullptr), nullptr);
  EXPECT_EQ(factory()->GetContainer(handle), nullptr);
  EXPECT_EQ(factory()->MakeSkeleton(handle), nullptr);
}

TEST_F(NodeFactoryTest, TwoFilesInOneBucketAreBothFound) {
  std::vector<std::string> byBucket(NodeFactory::kBucketCount);
  std::pair<std::string, std::string> names;
  for (int i = 0;; ++i) {
    std::string name = "data\\geo\\model" + std::to_string(i) + ".geo";
    uint32_t bucket = static_cast<uint32_t>(Identifier(name)) % NodeFactory::kBucketCount;
    if (!byBucket[bucket].empty()) {
      names = {byBucket[bucket], name};
      break;
    }
    byBucket[bucket] = name;
  }
  GeoDesc one, two;
  one.nodes = {BoxNode(0.0f, {})};
  two.nodes = {BoxNode(0.0f, {}), BoxNode(3.0f, {})};
  one.nodes[0].mesh.solidStrips[0].material = 0xFFFFFFFFu;
  two.nodes[0].mesh.solidStrips[0].material = two.nodes[1].mesh.solidStrips[0].material =
      0xFFFFFFFFu;
  SaveImage(names.first, geowriter::WriteGeo(one));
  SaveImage(names.second, geowriter::WriteGeo(two));
  const int32_t a = factory()->Add(names.first.c_str());
  const int32_t b = factory()->Add(names.second.c_str());
  ASSERT_NE(a, -1);
  ASSERT_NE(b, -1);
  ASSERT_NE(a, b);
  const uint32_t bucket = NodeFactory::BucketOf(a);
  ASSERT_EQ(bucket, NodeFactory::BucketOf(b));
  EXPECT_EQ(factory()->GetBucketRecordCount(bucket), 2);
  ASSERT_NE(factory()->GetContainer(a), nullptr);
  ASSERT_NE(factory()->GetContainer(b), nullptr);
  EXPECT_EQ(factory()->GetContainer(a)->GetNodeCount(), 1u);
  EXPECT_EQ(factory()->GetContainer(b)->GetNodeCount(), 2u);
  // Unlinking either end of the list leaves the other findable.
  factory()->DeleteNode(b);
  EXPECT_EQ(factory()->GetContainer(b), nullptr);
  ASSERT_NE(factory()->GetContainer(a), nullptr);
  EXPECT_EQ(factory()->GetContainer(a)->GetNodeCount(), 1u);
  EXPECT_EQ(factory()->Add(names.second.c_str()), b);
  factory()->DeleteNode(a);
  EXPECT_EQ(factory()->GetContainer(a), nullptr);
  EXPECT_EQ(factory()->GetContainer(b)->GetNodeCount(), 2u);
  EXPECT_EQ(factory()->GetBucketRecordCount(bucket), 1);
}

TEST_F(NodeFactoryTest, MeshesTakeTheirGeometryBoxAndTexturesFromTheFile) {
  GeoDesc desc;
  geowriter::Node node = BoxNode(0.0f, {"data\\textures\\crate.dds", "data\\textures\\missing.dds",
                                        "data\\textures\\stone.dds"});
  // A second strip over the same triangles names the third texture, and the first strip blends.
  node.mesh.alphaStrips.push_back(GeoStrip{2, GeoStrip::kWrapU, 0, 36});
  node.mesh.matrix[13] = 4.0f;
  desc.nodes = {node, BoxNode(5.0f, {})};
  desc.nodes[1].mesh.solidStrips[0].material = 0xFFFFFFFFu;
  desc.hasBox = true;
  const float lo[4] = {-1, -2, -3, 1}, hi[4] = {6, 7, 8, 1};
  std::copy(lo, lo + 4, desc.boxMin);
  std::copy(hi, hi + 4, desc.boxMax);
  SaveImage("data\\models\\props.geo", geowriter::WriteGeo(desc));

  const int32_t handle = factory()->Add("data\\models\\props.geo");
  NodeContainer* container = factory()->GetContainer(handle);
  ASSERT_NE(container, nullptr);
  ASSERT_EQ(container->GetNodeCount(), 2u);
  EXPECT_EQ(container->GetMesh(2), nullptr);
  // The box is read in place: the two corners, back to back.
  const Vector4* min = container->GetBoundsMin();
  const Vector4* max = container->GetBoundsMax();
  ASSERT_NE(min, nullptr);
  ASSERT_EQ(max, min + 1);
  EXPECT_EQ(std::memcmp(min, lo, 16), 0);
  EXPECT_EQ(std::memcmp(max, hi, 16), 0);
  EXPECT_EQ(&container->GetBox()->min, min);

  GeoMesh* mesh = container->GetMesh(0);
  ASSERT_NE(mesh, nullptr);
  ASSERT_NE(mesh->geoObject, nullptr);
  EXPECT_TRUE(mesh->HasSolidStrips());
  EXPECT_TRUE(mesh->HasAlphaStrips());
  EXPECT_EQ(mesh->geoObject->GetVertexCount(), 24);
  EXPECT_EQ(mesh->geoObject->GetLocalMatrix()[13], 4.0f);
  EXPECT_EQ(mesh->geoObject->GetBoxMin().x, -0.5f);
  EXPECT_EQ(mesh->geoObject->GetSkinningMode(), 0u) << "no skeleton";
  ASSERT_EQ(mesh->textureCount, 3);
  EXPECT_EQ(mesh->textures[0], Identifier("data\\textures\\crate.dds"));
  EXPECT_EQ(mesh->textures[1], -1) << "a texture that cannot be loaded";
  EXPECT_EQ(mesh->textures[2], Identifier("data\\textures\\stone.dds"));
  ASSERT_NE(textures()->Find(mesh->textures[0]), nullptr);
  EXPECT_EQ(textures()->Find(mesh->textures[0])->width, 8);

  GeoMesh* plain = container->GetMesh(1);
  ASSERT_NE(plain, nullptr);
  EXPECT_TRUE(plain->HasSolidStrips());
  EXPECT_FALSE(plain->HasAlphaStrips());
  EXPECT_EQ(plain->textureCount, 0);
  EXPECT_EQ(plain->textures, nullptr);

  factory()->DeleteNode(handle);
  EXPECT_EQ(textures()->Find(Identifier("data\\textures\\crate.dds")), nullptr);
  EXPECT_EQ(textures()->Find(Identifier("data\\textures\\stone.dds")), nullptr);
}

TEST_F(NodeFactoryTest, SkinnedFilesMakeSkeletonsOnTheirBlock) {
  GeoDesc biped;
  biped.nodes = {SkinnedBox(23)};
  biped.SetSkeleton(skelwriter::MakeBiped());
  SaveImage("data\\models\\biped.geo", geowriter::WriteGeo(biped));
  const int32_t handle = factory()->Add("data\\models\\biped.geo");
  NodeContainer* container = factory()->GetContainer(handle);
  ASSERT_NE(container, nullptr);
  EXPECT_TRUE(container->HasSkeleton());
  EXPECT_EQ(container->GetSkinningMode(), 1u);
  EXPECT_EQ(container->GetMesh(0)->geoObject->GetSkinningMode(), 1u);
  EXPECT_NE(container->GetMesh(0)->geoObject->GetSkinBuffer(), nullptr);

  Skeleton* first = factory()->MakeSkeleton(handle);
  Skeleton* second = factory()->MakeSkeleton(handle);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second) << "one skeleton per caller";
  EXPECT_EQ(first->GetBoneCount(), 24u);
  EXPECT_GE(first->FindBone("Bip01 L Hand"), 1);
  EXPECT_EQ(second->FindBone("Bip01 L Hand"), first->FindBone("Bip01 L Hand"));
  EXPECT_EQ(first->FindBone("bip01 l hand"), -1);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("NodeFactory::MakeSkeleton"), 2u);
  TrackedDelete("test", first);
  TrackedDelete("test", second);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("NodeFactory::MakeSkeleton"), 0u);

  // A skeleton keeps the file it reads from: the last DeleteNode of its users does not free the
  // block under it, the skeleton's own end does.
  Skeleton* held = factory()->MakeSkeleton(handle);
  ASSERT_NE(held, nullptr);
  factory()->DeleteNode(handle);
  ASSERT_NE(factory()->GetContainer(handle), nullptr);
  EXPECT_GE(held->FindBone("Bip01 L Hand"), 1);
  TrackedDelete("test", held);
  EXPECT_EQ(factory()->GetContainer(handle), nullptr);

  // Up to 35 bones the vertex shader skins; from 36 on the processor does.
  for (int bones : {35, 36}) {
    SCOPED_TRACE(bones);
    GeoDesc chain;
    chain.nodes = {SkinnedBox(static_cast<uint8_t>(bones - 1))};
    chain.SetSkeleton(Chain(bones));
    const std::string name = "data\\models\\chain" + std::to_string(bones) + ".geo";
    SaveImage(name, geowriter::WriteGeo(chain));
    const int32_t h = factory()->Add(name.c_str());
    ASSERT_NE(factory()->GetContainer(h), nullptr);
    EXPECT_EQ(factory()->GetContainer(h)->GetMesh(0)->geoObject->GetSkinningMode(),
              bones == 35 ? 1u : 0u);
    factory()->DeleteNode(h);
  }

  // A file without a skeleton makes none.
  GeoDesc rigid;
  rigid.nodes = {BoxNode(0.0f, {"data\\textures\\crate.dds"})};
  SaveImage("data\\models\\rigid.geo", geowriter::WriteGeo(rigid));
  const int32_t r = factory()->Add("data\\models\\rigid.geo");
  ASSERT_NE(factory()->GetContainer(r), nullptr);
  EXPECT_FALSE(factory()->GetContainer(r)->HasSkeleton());
  EXPECT_EQ(factory()->MakeSkeleton(r), nullptr);
  factory()->DeleteNode(handle);
  factory()->DeleteNode(r);
}

// ---- Refused files

struct Spoil {
  const char* what;
  std::function<void(std::vector<uint8_t>&, const GeoLayout&)> apply;
};

void RefusesEveryCase(NodeFactory* factory, const GeoDesc& desc, const std::vector<Spoil>& cases) {
  const int32_t crate = Identifier("data\\textures\\crate.dds");
  for (const Spoil& c : cases) {
    SCOPED_TRACE(c.what);
    GeoLayout layout;
    std::vector<uint8_t> image = geowriter::WriteGeo(desc, &layout);
    c.apply(image, layout);
    SaveImage("data\\models\\bad.geo", image);
    const uint32_t before = LiveBlocks();
    const int32_t handle = Identifier("data\\models\\bad.geo");
    EXPECT_EQ(factory->Add("data\\models\\bad.geo"), -1);
    EXPECT_TRUE(DebugLogContains("Refused geometry file data\\models\\bad.geo"));
    EXPECT_EQ(factory->GetContainer(handle), nullptr);
    EXPECT_FALSE(factory->BucketHasList(NodeFactory::BucketOf(handle)));
    EXPECT_EQ(LiveBlocks(), before) << "nothing of the refused file is kept";
    EXPECT_EQ(GetApp().GetTexture()->Find(crate), nullptr)
        << "textures of the nodes built before the fault are given back";
  }
  // The untouched file loads, so each refusal above came from its one fault.
  SaveImage("data\\models\\good.geo", geowriter::WriteGeo(desc));
  const int32_t good = factory->Add("data\\models\\good.geo");
  EXPECT_NE(factory->GetContainer(good), nullptr);
  factory->DeleteNode(good);
}

TEST_F(NodeFactoryTest, FilesWhosePartsDoNotFitAreRefusedWhole) {
  GeoDesc desc;
  desc.nodes = {BoxNode(0.0f, {"data\\textures\\crate.dds"}),
                BoxNode(2.0f, {"data\\textures\\crate.dds", "data\\textures\\stone.dds"}, 1)};
  using geowriter::PutU16;
  using geowriter::PutU32;
  const uint32_t far = 1u << 30;
  const std::vector<Spoil> cases = {
      {"header cut short", [](auto& im, auto&) { im.resize(40); }},
      {"node count past the table",
       [](auto& im, auto&) { PutU32(im, geowriter::kHeaderNodeCount, 100000); }},
      {"node count overflowing",
       [](auto& im, auto&) { PutU32(im, geowriter::kHeaderNodeCount, 0xFFFFFFFFu); }},
      {"node table past the end",
       [](auto& im, auto&) { PutU32(im, geowriter::kHeaderNodeTable, uint32_t(im.size())); }},
      {"node record past the end",
       [](auto& im, const GeoLayout& l) { PutU32(im, l.nodeTable + 4, uint32_t(im.size() - 8)); }},
      {"mesh record past the end",
       [](auto& im, const GeoLayout& l) {
         PutU32(im, l.nodes[1].record + geowriter::kNodeMesh, uint32_t(im.size() - 100));
       }},
      {"texture table past the end",
       [&](auto& im, const GeoLayout& l) {
         PutU32(im, l.nodes[1].record + geowriter::kNodeTextureTable, far);
       }},
      {"texture count past the table",
       [](auto& im, const GeoLayout& l) {
         PutU32(im, l.nodes[1].record + geowriter::kNodeTextureCount, 100000);
       }},
      {"texture name past the end",
       [](auto& im, const GeoLayout& l) {
         PutU32(im, l.nodes[1].textureTable + 4, uint32_t(im.size()));
       }},
      {"texture name without its terminator",
       [](auto& im, const GeoLayout& l) { im.resize(l.nodes[1].names.back() + 4); }},
      {"vertex count past the end",
       [](auto& im, const GeoLayout& l) {
         PutU32(im, l.nodes[1].mesh + geowriter::kMeshVertexCount, 20000);
       }},
      {"vertices past the end",
       [&](auto& im, const GeoLayout& l) {
         PutU32(im, l.nodes[1].mesh + geowriter::kMeshVertices, 0xFFFFFFF0u);
       }},
      {"index count past the end",
       [](auto& im, const GeoLayout& l) {
         PutU32(im, l.nodes[1].mesh + geowriter::kMeshIndexCount, 100000);
       }},
      {"index naming a vertex that is not there",
       [](auto& im, const GeoLayout& l) { PutU16(im, l.nodes[1].indices + 10, 24); }},
      {"strip table past the end",
       [&](auto& im, const GeoLayout& l) {
         PutU32(im, l.nodes[1].mesh + geowriter::kMeshSolidStrips, far);
       }},
      {"strip count past the table",
       [](auto& im, const GeoLayout& l) {
         PutU16(im, l.nodes[1].mesh + geowriter::kMeshSolidStripCount, 60000);
       }},
      {"strip running past the indices",
       [](auto& im, const GeoLayout& l) { PutU32(im, l.nodes[1].solidStrips + 12, 39); }},
      {"strip starting past the indices",
       [](auto& im, const GeoLayout& l) { PutU32(im, l.nodes[1].solidStrips + 8, 36); }},
      {"material past the node's textures",
       [](auto& im, const GeoLayout& l) { PutU32(im, l.nodes[1].solidStrips, 2); }},
      {"material of a node without textures",
       [](auto& im, const GeoLayout& l) {
         PutU32(im, l.nodes[1].record + geowriter::kNodeTextureCount, 0);
       }},
      {"skeleton past the end",
       [](auto& im, auto&) { PutU32(im, geowriter::kHeaderSkeleton, uint32_t(im.size())); }},
      {"skeleton block cut short",
       [](auto& im, auto&) { PutU32(im, geowriter::kHeaderSkeleton, uint32_t(im.size() - 20)); }},
      {"whole file cut short", [](auto& im, auto&) { im.resize(im.size() / 2); }},
  };
  RefusesEveryCase(factory(), desc, cases);
}

TEST_F(NodeFactoryTest, BrokenSkeletonsAndSkinWeightsRefuseTheFile) {
  GeoDesc desc;
  desc.nodes = {BoxNode(0.0f, {"data\\textures\\crate.dds"}), SkinnedBox(3)};
  desc.SetSkeleton(Chain(4));
  GeoLayout layout;
  geowriter::WriteGeo(desc, &layout);
  using geowriter::PutU32;
  const std::vector<Spoil> cases = {
      {"bone count past the arrays",
       [](auto& im, const GeoLayout& l) {
         PutU32(im, l.skeleton + 4 * skelwriter::kBoneCount, 100000);
       }},
      {"bone names past the end",
       [](auto& im, const GeoLayout& l) {
         PutU32(im, l.skeleton + 4 * skelwriter::kNames, uint32_t(im.size()));
       }},
      {"a weighted slot naming a bone the skeleton lacks",
       [](auto& im, const GeoLayout& l) { im[l.nodes[1].skinWeights + 20 * 7] = 3 * 4; }},
      {"skin weights past the end",
       [](auto& im, const GeoLayout& l) {
         PutU32(im, l.nodes[1].mesh + geowriter::kMeshSkinWeights, uint32_t(im.size() - 40));
       }},
  };
  RefusesEveryCase(factory(), desc, cases);

  // A hierarchy that loops: bone 2's first child is bone 1, its own parent.
  GeoDesc cyclic = desc;
  cyclic.skeleton.firstChildren[2] = 1;
  SaveImage("data\\models\\cyclic.geo", geowriter::WriteGeo(cyclic));
  const uint32_t before = LiveBlocks();
  EXPECT_EQ(factory()->Add("data\\models\\cyclic.geo"), -1);
  EXPECT_TRUE(DebugLogContains("Refused geometry file data\\models\\cyclic.geo"));
  EXPECT_EQ(LiveBlocks(), before);
}

// Without the application running: no device, no textures. Each allocation the loading makes
// fails in turn; every failure must give -1 and leave nothing behind.
class NodeFactoryMemoryTest : public TempDirTest {
 protected:
  void TearDown() override { MemoryTracker::InduceFailures(-1, 0); }
};

TEST_F(NodeFactoryMemoryTest, EveryFailedAllocationLeavesNothingBehind) {
  GeoDesc desc;
  desc.nodes = {BoxNode(0.0f, {"data\\textures\\crate.dds"}), SkinnedBox(2)};
  desc.SetSkeleton(Chain(3));
  SaveImage("data\\models\\box.geo", geowriter::WriteGeo(desc));
  NodeFactory factory;
  ASSERT_EQ(factory.Init(), 1);
  const int32_t expected = Identifier("data\\models\\box.geo");

  // How many allocations a whole load makes (the bucket's list included).
  const uint32_t baseline = LiveBlocks();
  const uint32_t baselineLoader = MemoryTracker::CountBlocksFromFile("PCFileIO.cpp");
  const uint32_t before = MemoryTracker::GetStatistics().accumulatedAllocUnitCount;
  ASSERT_EQ(factory.Add("data\\models\\box.geo"), expected);
  const uint32_t allocations = MemoryTracker::GetStatistics().accumulatedAllocUnitCount - before;
  factory.DeleteNode(expected);
  ASSERT_GT(allocations, 8u);
  uint32_t withList = LiveBlocks();
  EXPECT_EQ(withList, baseline + 1) << "only the bucket's list stays";

  factory.CleanUp();
  ASSERT_EQ(factory.Init(), 1);
  int refused = 0;
  uint32_t loaderBlocks = MemoryTracker::CountBlocksOwnedBy("FileIO::LoadFile");
  for (uint32_t successes = 0; successes < allocations; ++successes) {
    SCOPED_TRACE(successes);
    MemoryTracker::InduceFailures(static_cast<int>(successes), 1);
    int32_t handle = -1;
    bool thrown = false;
    try {
      handle = factory.Add("data\\models\\box.geo");
    } catch (const std::bad_alloc&) {
      // The host-path mapping under the file loader works with standard strings, which throw;
      // that failure comes before the factory has made anything.
      thrown = true;
    }
    MemoryTracker::InduceFailures(-1, 0);
    if (thrown) {
      EXPECT_EQ(factory.GetContainer(expected), nullptr);
      // (and the loader's own path block, which the throw strands, stays behind).
      withList = std::max(withList, LiveBlocks());
      loaderBlocks = MemoryTracker::CountBlocksOwnedBy("FileIO::LoadFile");
      continue;
    }
    if (handle == -1) {
      ++refused;
      EXPECT_EQ(factory.GetContainer(expected), nullptr);
    } else {
      // Only a failure the load can do without (the identifier's scratch copy, say) lets it
      // through; what it made is whole.
      ASSERT_NE(factory.GetContainer(handle), nullptr);
      EXPECT_EQ(factory.GetContainer(handle)->GetNodeCount(), 2u);
      factory.DeleteNode(handle);
    }
    EXPECT_LE(LiveBlocks(), withList);
    EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("NodeFactory::LoadNodeList"), 0u);
    EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("FileIO::LoadFile"), loaderBlocks);
  }
  EXPECT_GT(refused, static_cast<int>(allocations / 2));
  factory.CleanUp();
  EXPECT_EQ(LiveBlocks() - MemoryTracker::CountBlocksFromFile("PCFileIO.cpp"),
            baseline - baselineLoader - 1)
      << "the buckets are gone too";
}

}  // namespace
