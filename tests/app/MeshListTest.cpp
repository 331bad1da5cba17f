#include <gtest/gtest.h>

#include "tests/support/AppTestSupport.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <list>
#include <memory>
#include <vector>

#include "Engine/FileImage.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCRenderStates.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Engine/PC/PCTexture.h"
#include "tests/support/AppHarness.h"
#include "tests/support/DdsWriter.h"
#include "tests/support/LogCapture.h"
#include "tests/support/PixelProbe.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;


// A square in one strip of the fallback texture, solid or alpha. With an identity draw matrix
// x -1..1 covers the 640 columns, y 1..-1 the rows.
MeshImage Square(float x0, float y0, float x1, float y1, float z, uint32_t colour, bool alpha) {
  return apptest::SquareMesh(x0, y0, x1, y1, z, colour, 0xFFFFFFFFu, alpha);
}

// A geometry object with its image and scene node, alive as long as the test needs them.
struct Mesh {
  std::vector<uint8_t> bytes;
  GeoObject object;
  SceneNode node;
};

using pixelprobe::AreaIs;
using pixelprobe::Rgb;

// Source over destination with the source's alpha, as the blended passes draw.
Rgb Over(Rgb source, double alpha, Rgb dest) {
  return {source.r * alpha + dest.r * (1 - alpha), source.g * alpha + dest.g * (1 - alpha),
          source.b * alpha + dest.b * (1 - alpha)};
}

// A window whose passes a test can run one by one.
class PassWindow : public RenderWindow {
 public:
  using RenderWindow::RenderDiffuseList;
  using RenderWindow::RenderEffects;
  using RenderWindow::RenderListAlpha;
};

// A particle system that stands still at a point; its draw is the test's to give.
class StillSystem : public BaseParticleSystem {
 public:
  StillSystem(float z, bool live) : m_live(live) {
    m_emitter.Identity();
    m_emitter[14] = z;
  }
  int32_t Update(int32_t) override { return 1; }
  void CleanUp() override {}
  int32_t HasLiveParticles() const override { return m_live ? 1 : 0; }
  int32_t GetTexture() const override { return -1; }
  void SetTexture(int32_t) override {}
  uint32_t GetFlags() const override { return 0; }
  const Matrix& GetEmitterMatrix() const override { return m_emitter; }
  Vector4 GetEmitterPosition() const override { return Vector4(0, 0, 0.5f, 1); }
  void MoveTo(float z) { m_emitter[14] = z; }

 private:
  bool m_live;
  Matrix m_emitter;
};

// What a live particle system draws in these tests: one blended square.
const MeshRecord* g_particleEntry = nullptr;
int g_particleDraws = 0;
void DrawParticleSquare(BaseParticleSystem*, BaseRenderWindow* window) {
  ++g_particleDraws;
  if (g_particleEntry)
    g_particleEntry->node->geoObject->DrawAlpha(
        *g_particleEntry, static_cast<RenderWindow*>(window)->MakeDrawContext());
}

class MeshListTest : public AppTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(apptest::SaveSolidDds("data/badtexture.dds", 8, 8, 0xFFFFFFFFu));
    ASSERT_TRUE(m_harness.Start());
  }
  template <class W = RenderWindow>
  W* AddWindow(W* window, int32_t* id = nullptr, float blue = 0) {
    window->Init(Vector2(0, 0), Vector2(kWidth, kHeight), Vector4(0, 0, blue, 255), 6, 0.0f);
    const int32_t added = GetApp().AddWindow(window);
    if (id) *id = added;
    return window;
  }
  Mesh* Make(const MeshImage& image) {
    m_meshes.push_back(std::make_unique<Mesh>());
    Mesh* mesh = m_meshes.back().get();
    mesh->bytes = image.Bytes();
    EXPECT_EQ(
        mesh->object.Create(FileImage(mesh->bytes.data(), mesh->bytes.size(), "test.geo"), 0, 0),
        1);
    mesh->node.geoObject = &mesh->object;
    return mesh;
  }
  // Fills a list record: the mesh drawn straight in clip space, placed at depth z for the sort.
  // The mesh shader takes its alpha from the tint alone.
  static void Fill(MeshRecord* record, Mesh* mesh, float worldZ, float alpha = 1.0f) {
    ASSERT_NE(record, nullptr);
    record->node = &mesh->node;
    record->drawMatrix.Identity();
    record->world.Identity();
    record->world[14] = worldZ;
    record->tint.w = alpha;
    record->flags = MeshRecord::kNoCulling;
  }
  std::vector<uint32_t> ReadBack() {
    return pixelprobe::ReadBack(GetApp().GetDisplay()->GetDevice(), kWidth, kHeight);
  }

  std::vector<std::unique_ptr<Mesh>> m_meshes;
};

// Vertex colours of 0x80 come out full: the stage doubles them. Blended meshes are drawn with
// half alpha in their tint.
constexpr uint32_t kHalfRed = 0xFF800000u;
constexpr uint32_t kHalfBlue = 0xFF000080u;
constexpr uint32_t kGreen = 0xFF008000u;
constexpr double kHalf = 0.5;

TEST(MeshSlots, AFullListHandsOutNoRecordAndWritesNothingPastIt) {
  RenderWindow window;
  MeshRecord* (RenderWindow::*slots[4])() = {
      &RenderWindow::GetDiffuseMeshSlot, &RenderWindow::GetAlphaMeshSlot,
      &RenderWindow::GetEffectMeshSlot, &RenderWindow::GetAlphaEffectMeshSlot};
  for (int list = 0; list < RenderWindow::kMeshListCount; ++list) {
    SCOPED_TRACE(list);
    MeshRecord* first = (window.*slots[list])();
    ASSERT_NE(first, nullptr);
    // A fresh record: nothing of an earlier frame, an override of none, full tint.
    EXPECT_EQ(first->node, nullptr);
    EXPECT_EQ(first->overrideTexture, -1);
    EXPECT_EQ(first->tint.w, 1.0f);
    first->flags = 0x1234;
    for (int i = 1; i < RenderWindow::MAX_MESHS; ++i) ASSERT_NE((window.*slots[list])(), nullptr);
    const AllocUnit* unit = MemoryTracker::FindUnit(first);
    ASSERT_NE(unit, nullptr);
    AssertCounter asserts;
    EXPECT_EQ((window.*slots[list])(), nullptr);
    EXPECT_EQ(asserts.Count(), 1u);
    EXPECT_EQ(window.GetMeshCount(RenderWindow::MeshList(list)), RenderWindow::MAX_MESHS);
    EXPECT_EQ(MemoryTracker::ValidateUnit(unit), 1) << "the guard words behind the list are whole";
    EXPECT_EQ(window.GetMesh(RenderWindow::MeshList(list), 0)->flags, 0x1234u);
  }
}

TEST_F(MeshListTest, SortKeysAreViewDepthsOfTheBoxCentreAndTheEmitter) {
  RenderWindow window;
  MeshImage boxOnly;
  const float lo[4] = {-2, 0, -1, 1}, hi[4] = {4, 2, 3, 1};  // centre (1, 1, 1)
  std::memcpy(boxOnly.record.boxMin, lo, sizeof(lo));
  std::memcpy(boxOnly.record.boxMax, hi, sizeof(hi));
  Mesh* mesh = Make(boxOnly);
  MeshRecord record;
  record.node = &mesh->node;
  // World: scale 2, then move to (0, 0, 10). View: a camera 160 back along z.
  record.world.Scaling(2.0f);
  record.world[12] = 5.0f;
  record.world[14] = 10.0f;
  Matrix view;
  view.Identity();
  view[14] = 160.0f;
  EXPECT_FLOAT_EQ(RenderWindow::MeshSortKey(record, view), 1 * 2 + 10 + 160);
  // A view turned a quarter about y sends world x into depth: x' = ..., z' = x.
  Matrix turned;
  turned.RotationY(kHalfPi);
  Matrix shifted;
  shifted.Identity();
  shifted[14] = 160.0f;
  Matrix view2;
  Multiply(turned, shifted, view2);
  const float worldX = 1 * 2 + 5, worldZ = 1 * 2 + 10;
  const float depth = worldX * turned[2] + worldZ * turned[10] + 160.0f;
  EXPECT_NEAR(RenderWindow::MeshSortKey(record, view2), depth, 1e-4f);
  // A matrix gone bad sorts last rather than breaking the order.
  record.world[10] = NAN;
  EXPECT_EQ(RenderWindow::MeshSortKey(record, view), -FLT_MAX);

  StillSystem system(20.0f, true);  // emitter point z 0.5 placed at z 20
  EXPECT_FLOAT_EQ(RenderWindow::ParticleSortKey(system, view), 0.5f + 20 + 160);
}

TEST_F(MeshListTest, OpaqueFirstThenBlendedMeshesFarToNearInTheWindowsTint) {
  RenderWindow* window = AddWindow(new RenderWindow());
  Mesh* ground = Make(Square(-1, -1, 1, 1, 0.5f, kGreen, false));
  Mesh* nearBlue = Make(Square(-0.5f, -0.5f, 0.5f, 0.5f, 0.5f, kHalfBlue, true));
  Mesh* farRed = Make(Square(-0.5f, -0.5f, 0.5f, 0.5f, 0.5f, kHalfRed, true));
  // Submitted near first: the pass must turn them round.
  auto submit = [&]() {
    Fill(window->GetAlphaMeshSlot(), nearBlue, 0.0f, 0.5f);
    Fill(window->GetAlphaMeshSlot(), farRed, 100.0f, 0.5f);
    Fill(window->GetDiffuseMeshSlot(), ground, 0.0f);
  };
  submit();
  m_harness.RunFrames(1);
  const Rgb green = {0, 255, 0};
  const Rgb farThenNear = Over({0, 0, 255}, kHalf, Over({255, 0, 0}, kHalf, green));
  std::vector<uint32_t> pixels = ReadBack();
  EXPECT_TRUE(AreaIs(pixels, kWidth, 168, 128, 472, 352, farThenNear));
  EXPECT_TRUE(AreaIs(pixels, kWidth, 4, 4, 150, kHeight - 4, green));
  EXPECT_EQ(window->GetMeshCount(RenderWindow::kAlpha), 0) << "lists live for one frame";
  EXPECT_EQ(window->GetMeshCount(RenderWindow::kDiffuse), 0);

  // The window's colour factors tint every mesh: half green leaves the ground at half.
  window->SetColourFactors(1.0f, 0.5f, 1.0f, 1.0f);
  submit();
  m_harness.RunFrames(1);
  EXPECT_TRUE(AreaIs(ReadBack(), kWidth, 4, 4, 150, kHeight - 4, {0, 128, 0}));

  // Nothing submitted: nothing drawn but the clear.
  window->SetColourFactors(1.0f, 1.0f, 1.0f, 1.0f);
  m_harness.RunFrames(1);
  EXPECT_TRUE(AreaIs(ReadBack(), kWidth, 4, 4, kWidth - 4, kHeight - 4, {0, 0, 0}));
}

TEST_F(MeshListTest, ParticleSystemsSortAmongTheBlendedMeshes) {
  RenderWindow* window = AddWindow(new RenderWindow());
  Mesh* nearBlue = Make(Square(-0.5f, -0.5f, 0.5f, 0.5f, 0.5f, kHalfBlue, true));
  Mesh* red = Make(Square(-0.5f, -0.5f, 0.5f, 0.5f, 0.5f, kHalfRed, true));
  MeshRecord particleEntry;
  particleEntry.node = &red->node;
  particleEntry.drawMatrix.Identity();
  particleEntry.tint.w = 0.5f;
  g_particleEntry = &particleEntry;
  g_particleDraws = 0;
  ParticleRenderer::DrawFunction before = ParticleRenderer::SetDrawFunction(&DrawParticleSquare);
  StillSystem* system = new StillSystem(100.0f, true);
  window->AddParticleSystem(system);
  window->AddParticleSystem(new StillSystem(50.0f, false));  // sorted, never drawn

  const Rgb black = {0, 0, 0};
  Fill(window->GetAlphaMeshSlot(), nearBlue, 0.0f, 0.5f);
  m_harness.RunFrames(1);
  EXPECT_EQ(g_particleDraws, 1);
  EXPECT_TRUE(AreaIs(ReadBack(), kWidth, 168, 128, 472, 352,
                     Over({0, 0, 255}, kHalf, Over({255, 0, 0}, kHalf, black))));

  // The emitter in front of the mesh: the particles come last.
  system->MoveTo(-100.0f);
  Fill(window->GetAlphaMeshSlot(), nearBlue, 0.0f, 0.5f);
  m_harness.RunFrames(1);
  EXPECT_EQ(g_particleDraws, 2);
  EXPECT_TRUE(AreaIs(ReadBack(), kWidth, 168, 128, 472, 352,
                     Over({255, 0, 0}, kHalf, Over({0, 0, 255}, kHalf, black))));

  ParticleRenderer::SetDrawFunction(before);
  g_particleEntry = nullptr;
}

TEST_F(MeshListTest, AnEmptyBlendedPassTouchesNoState) {
  PassWindow* window = AddWindow(new PassWindow());
  gfx::D3DDevice* device = GetApp().GetDisplay()->GetDevice();
  RenderStateCache::SetRenderState(gfx::D3DRS_ALPHABLENDENABLE, 0);
  RenderStateCache::SetRenderState(gfx::D3DRS_ZWRITEENABLE, 1);
  RenderStateCache::SetRenderState(gfx::D3DRS_CULLMODE, gfx::D3DCULL_CCW);
  device->ResetCallCounts();
  window->RenderListAlpha();
  window->RenderDiffuseList();
  window->RenderEffects();
  EXPECT_EQ(device->GetCallCount(gfx::DeviceCall::SetRenderState), 0u);
  EXPECT_EQ(device->GetCallCount(gfx::DeviceCall::SetVertexShader), 0u);
  EXPECT_EQ(device->GetCallCount(gfx::DeviceCall::Clear), 0u);

  // A system with nothing alive still makes the pass run (it takes its place in the sort), and
  // the pass leaves blending off, depth writes on and culling as the frame expects.
  window->AddParticleSystem(new StillSystem(0.0f, false));
  window->RenderListAlpha();
  EXPECT_GT(device->GetCallCount(gfx::DeviceCall::SetRenderState), 0u);
  EXPECT_EQ(RenderStateCache::GetRenderState(gfx::D3DRS_ALPHABLENDENABLE), 0u);
  EXPECT_EQ(RenderStateCache::GetRenderState(gfx::D3DRS_ZWRITEENABLE), 1u);
  EXPECT_EQ(RenderStateCache::GetRenderState(gfx::D3DRS_CULLMODE), uint32_t(gfx::D3DCULL_CCW));
}

TEST_F(MeshListTest, TheReflectionPassDrawsIntoTheTargetAndClearsTheBackBufferAfter) {
  ASSERT_TRUE(apptest::SaveSolidDds("data/back.dds", 16, 16, 0xFFFFFF00u));
  RenderWindow* window = AddWindow(new RenderWindow(), nullptr, 255);
  {
    AssertCounter asserts;
    EXPECT_EQ(window->GetReflectionTexture(), -1);
    EXPECT_EQ(asserts.Count(), 1u);
  }
  window->CreateReflectionTexture();
  const int32_t id = window->GetReflectionId();
  window->CreateReflectionTexture();  // once only
  EXPECT_EQ(window->GetReflectionId(), id);
  ASSERT_NE(window->GetReflectionTarget(id), nullptr);
  EXPECT_EQ(window->GetRenderTargets()->targets.GetCount(), 1);
  const int32_t reflection = window->GetReflectionTexture();
  ASSERT_NE(reflection, -1);
  EXPECT_EQ(window->GetReflectionTarget(id + 1), nullptr);

  const int32_t back = GetApp().GetTexture()->Load("data\\back.dds");
  window->SetBackdrop(back);
  Mesh* water = Make(Square(-1, -1, 1, 1, 0.5f, kGreen, false));
  Mesh* glint = Make(Square(-0.5f, -0.5f, 0.5f, 0.5f, 0.5f, kHalfRed, true));
  // Drawn after the pass, in the bottom-left corner of the back buffer.
  Mesh* corner = Make(Square(-1, -1, -0.5f, -0.5f, 0.5f, 0xFF800000u, false));
  Fill(window->GetEffectMeshSlot(), water, 0.0f);
  Fill(window->GetAlphaEffectMeshSlot(), glint, 0.0f, 0.5f);
  Fill(window->GetDiffuseMeshSlot(), corner, 0.0f);
  m_harness.RunFrames(1);

  // The target: the green effect mesh with the red one blended over its middle. The target
  // keeps 5 bits of red and blue and 6 of green, so its channels are checked to one step.
  std::vector<uint32_t> texels(RenderWindow::kReflectionSize * RenderWindow::kReflectionSize);
  TextureData* record = GetApp().GetTexture()->Find(reflection);
  ASSERT_NE(record, nullptr);
  ASSERT_EQ(gfx::TestHooks::ReadTexture(GetApp().GetDisplay()->GetDevice(), record->texture,
                                        texels.data()),
            gfx::D3D_OK);
  const int size = RenderWindow::kReflectionSize;
  EXPECT_TRUE(AreaIs(texels, size, 2, 2, 60, size - 2, {0, 255, 0}, 9.0));
  EXPECT_TRUE(AreaIs(texels, size, 68, 68, 188, 188, Over({255, 0, 0}, kHalf, {0, 255, 0}), 9.0));

  // The back buffer: neither the backdrop nor the blue clear survived the pass; the corner
  // mesh, drawn after it, landed in the back buffer again.
  std::vector<uint32_t> pixels = ReadBack();
  EXPECT_TRUE(AreaIs(pixels, kWidth, 4, 4, kWidth - 4, 350, {0, 0, 0}));
  EXPECT_TRUE(AreaIs(pixels, kWidth, 4, 364, 156, kHeight - 4, {255, 0, 0}));
  EXPECT_TRUE(AreaIs(pixels, kWidth, 164, 364, kWidth - 4, kHeight - 4, {0, 0, 0}));

  // Without effect records the frame keeps its backdrop.
  m_harness.RunFrames(1);
  const int lit = 255 * 0x7F * 2 / 255;
  EXPECT_TRUE(
      AreaIs(ReadBack(), kWidth, 4, 4, kWidth - 4, kHeight - 4, {double(lit), double(lit), 0}));
  window->SetBackdrop(-1);
  GetApp().GetTexture()->Delete(back);
}

TEST_F(MeshListTest, WithoutATargetTheEffectPassDrawsIntoTheBackBuffer) {
  RenderWindow* window = AddWindow(new RenderWindow(), nullptr, 255);
  Mesh* water = Make(Square(-1, -1, 1, 1, 0.5f, kGreen, false));
  Fill(window->GetEffectMeshSlot(), water, 0.0f);
  m_harness.RunFrames(1);
  EXPECT_TRUE(DebugLogContains("Unable to set render target!"));
  // Drawn and then cleared with the rest of the back buffer.
  EXPECT_TRUE(AreaIs(ReadBack(), kWidth, 4, 4, kWidth - 4, kHeight - 4, {0, 0, 0}));
}

TEST_F(MeshListTest, DestructionGivesTheListsAndTheTargetBack) {
  const uint32_t listBlocks = MemoryTracker::CountBlocksFromFile("PCRenderWindowLists.cpp");
  int32_t id = -1;
  RenderWindow* window = AddWindow(new RenderWindow(), &id);
  window->GetDiffuseMeshSlot();
  window->GetAlphaEffectMeshSlot();
  window->CreateReflectionTexture();
  const int32_t texture = window->GetReflectionTexture();
  ASSERT_NE(GetApp().GetTexture()->Find(texture), nullptr);
  Fill(window->GetAlphaMeshSlot(), Make(Square(-1, -1, 1, 1, 0.5f, kHalfRed, true)), 0.0f);
  m_harness.RunFrames(1);  // makes the sort block as well
  EXPECT_GT(MemoryTracker::CountBlocksFromFile("PCRenderWindowLists.cpp"), listBlocks);
  EXPECT_GT(MemoryTracker::CountBlocksOwnedBy("RenderWindow::RenderListAlpha"), 0u);
  GetApp().DeleteWindow(id);
  EXPECT_EQ(MemoryTracker::CountBlocksFromFile("PCRenderWindowLists.cpp"), listBlocks);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("RenderWindow::RenderListAlpha"), 0u);
  EXPECT_EQ(GetApp().GetTexture()->Find(texture), nullptr) << "the target's texture is released";
}

// Blended meshes at one depth draw in the order they were submitted, whichever it is: a blue
// square drawn whole and thirty half red ones, all at the same depth, show the last one drawn.
TEST_F(MeshListTest, BlendedMeshesAtOneDepthDrawInTheOrderTheyCame) {
  RenderWindow* window = AddWindow(new RenderWindow());
  Mesh* red = Make(Square(-0.5f, -0.5f, 0.5f, 0.5f, 0.5f, kHalfRed, true));
  Mesh* blue = Make(Square(-0.5f, -0.5f, 0.5f, 0.5f, 0.5f, kHalfBlue, true));
  const struct {
    bool blueLast;
    Rgb seen;
  } kOrders[] = {{true, {0, 0, 255}}, {false, {255, 0, 0}}};
  for (const auto& order : kOrders) {
    if (!order.blueLast) Fill(window->GetAlphaMeshSlot(), blue, 5.0f, 1.0f);
    for (int i = 0; i < 30; ++i) Fill(window->GetAlphaMeshSlot(), red, 5.0f, 0.5f);
    if (order.blueLast) Fill(window->GetAlphaMeshSlot(), blue, 5.0f, 1.0f);
    m_harness.RunFrames(1);
    EXPECT_TRUE(AreaIs(ReadBack(), kWidth, 168, 128, 472, 352, order.seen)) << order.blueLast;
  }
}

// The blended pass sorts every frame; once its scratch block has grown to the frame's size,
// drawing it takes no memory (a stable sort's own buffer was one allocation a frame).
TEST_F(MeshListTest, ABlendedFrameTakesNoMemoryOnceWarm) {
  RenderWindow* window = AddWindow(new RenderWindow());
  Mesh* red = Make(Square(-0.5f, -0.5f, 0.5f, 0.5f, 0.5f, kHalfRed, true));
  auto submit = [&] {
    // Depths in no order, with ties.
    for (int i = 0; i < 40; ++i) Fill(window->GetAlphaMeshSlot(), red, float((i * 7) % 13), 0.1f);
  };
  for (int frame = 0; frame < 3; ++frame) {
    submit();
    m_harness.RunFrames(1);
  }
  for (int frame = 0; frame < 5; ++frame) {
    submit();
    m_harness.system().ClearRecords();
    const uint32_t before = MemoryTracker::GetStatistics().accumulatedAllocUnitCount;
    m_harness.RunFrames(1);
    EXPECT_EQ(MemoryTracker::GetStatistics().accumulatedAllocUnitCount, before) << frame;
  }
}

}  // namespace
