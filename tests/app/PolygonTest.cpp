#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCRenderWindow.h"
#include "tests/support/AppHarness.h"
#include "tests/support/ContentTestSupport.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace {

using Queue = PolygonPools::Queue;

std::vector<PolyVertex> Triangles3D(int n) {
  std::vector<PolyVertex> v(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i)
    v[static_cast<size_t>(i)] = {float(i), float(2 * i), float(3 * i), 0xFF000000u + uint32_t(i),
                                 0.5f,     0.25f};
  return v;
}

std::vector<PolyVertex2D> Triangles2D(int n) {
  std::vector<PolyVertex2D> v(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i)
    v[static_cast<size_t>(i)] = {float(i), float(i + 1), 0.0f, 1.0f, 0x80000000u + uint32_t(i),
                                 0.0f,     1.0f};
  return v;
}

// ---- Queues and pools, without a device.

class PolygonPoolTest : public TempDirTest {};

TEST_F(PolygonPoolTest, EachSubmissionGoesToThePoolAndQueueOfItsKind) {
  PolygonPools pools;
  std::vector<PolyVertex> tri = Triangles3D(3);
  std::vector<PolyVertex2D> flat = Triangles2D(4);
  const float factors[4] = {0.25f, 0.5f, 0.75f, 2.0f};

  PolygonData* opaque = pools.AddPoly(7, 3, tri.data(), factors,
                                      PolygonPools::kNoCulling | PolygonPools::kNoAlphaTest);
  PolygonData* strip = pools.AddPolyStrip(8, 3, tri.data(), nullptr, 0);
  ASSERT_NE(opaque, nullptr);
  ASSERT_NE(strip, nullptr);
  EXPECT_EQ(pools.GetPolygonCount(PolygonPools::kOpaque3D), 2);
  EXPECT_EQ(pools.GetVertexCount(PolygonPools::kOpaque3D), 6);
  EXPECT_EQ(opaque->type, 4u);
  EXPECT_EQ(strip->type, 5u);
  EXPECT_EQ(opaque->texture, 7);
  EXPECT_EQ(opaque->flags, 0x81u);
  EXPECT_EQ(opaque->vertexCount, 3);
  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(opaque->colourFactors[c], factors[c]);
    EXPECT_EQ(strip->colourFactors[c], 1.0f) << "no factors means all 1.0";
  }
  // Copies, one after the other in the pool.
  EXPECT_NE(opaque->vertices, tri.data());
  EXPECT_EQ(strip->vertices, opaque->vertices + 3);
  EXPECT_EQ(opaque->vertices[2].z, 6.0f);
  EXPECT_EQ(opaque->vertices[2].colour, 0xFF000002u);

  // Any of 0x4, 0x20, 0x40 makes a polygon blended.
  for (uint32_t flags : {0x4u, 0x20u, 0x40u, 0x24u, 0x60u}) {
    EXPECT_NE(pools.AddPoly(-1, 3, tri.data(), nullptr, flags), nullptr);
    EXPECT_NE(pools.Add2DPolyStrip(-1, 4, flat.data(), nullptr, flags), nullptr);
  }
  EXPECT_EQ(pools.GetPolygonCount(PolygonPools::kAlpha3D), 5);
  EXPECT_EQ(pools.GetPolygonCount(PolygonPools::kAlpha2D), 5);
  EXPECT_EQ(pools.GetVertexCount(PolygonPools::kAlpha2D), 20);
  EXPECT_EQ(pools.GetPolygonCount(PolygonPools::kOpaque2D), 0);

  PolygonData2D* hud = pools.Add2DPoly(3, 4, flat.data(), factors, 0x1);
  ASSERT_NE(hud, nullptr);
  EXPECT_EQ(pools.GetPolygonCount(PolygonPools::kOpaque2D), 1);
  EXPECT_EQ(hud->type, 4u);
  EXPECT_EQ(hud->vertices[3].y, 4.0f);
  EXPECT_EQ(hud->vertices[3].colour, 0x80000003u);
  EXPECT_EQ(pools.Get2D(PolygonPools::kOpaque2D, 0), hud);
  EXPECT_EQ(pools.Get2D(PolygonPools::kOpaque2D, 1), nullptr);
  EXPECT_EQ(pools.Get3D(PolygonPools::kOpaque3D, 1), strip);

  // Nothing to copy: nothing queued.
  EXPECT_EQ(pools.AddPoly(0, 0, tri.data(), nullptr, 0), nullptr);
  EXPECT_EQ(pools.AddPoly(0, -3, tri.data(), nullptr, 0), nullptr);
  EXPECT_EQ(pools.Add2DPoly(0, 3, nullptr, nullptr, 0), nullptr);
  EXPECT_EQ(pools.GetPolygonCount(PolygonPools::kOpaque3D), 2);

  pools.DropAll();
  for (int q = 0; q < PolygonPools::kQueueCount; ++q) {
    EXPECT_EQ(pools.GetPolygonCount(Queue(q)), 0);
    EXPECT_EQ(pools.GetVertexCount(Queue(q)), 0);
  }
}

TEST_F(PolygonPoolTest, ASubmissionThatDoesNotFitItsPoolIsRefusedWhole) {
  PolygonPools pools;
  AssertCounter asserts;
  std::vector<PolyVertex> many = Triangles3D(8190);
  ASSERT_NE(pools.AddPoly(1, 8190, many.data(), nullptr, 0), nullptr);
  EXPECT_EQ(pools.AddPoly(1, 3, many.data(), nullptr, 0), nullptr);
  EXPECT_EQ(asserts.Count(), 1u);
  EXPECT_TRUE(DebugLogContains("m_NumPolygonVerts<VERTEX_POOL_SIZE"));
  EXPECT_EQ(pools.GetPolygonCount(PolygonPools::kOpaque3D), 1);
  EXPECT_EQ(pools.GetVertexCount(PolygonPools::kOpaque3D), 8190);
  // Exactly full is still room.
  EXPECT_NE(pools.AddPolyStrip(1, 2, many.data(), nullptr, 0), nullptr);
  EXPECT_EQ(pools.GetVertexCount(PolygonPools::kOpaque3D), 8192);
  EXPECT_EQ(pools.AddPoly(1, 1, many.data(), nullptr, 0), nullptr);
  EXPECT_EQ(asserts.Count(), 1u) << "a pool's second refusal is counted, not reported again";

  // One submission larger than a whole pool, in each of the other pools.
  std::vector<PolyVertex> tooMany3D = Triangles3D(9000);
  std::vector<PolyVertex2D> tooMany2D = Triangles2D(9000);
  EXPECT_EQ(pools.AddPoly(1, 9000, tooMany3D.data(), nullptr, 0x4), nullptr);
  EXPECT_TRUE(DebugLogContains("m_NumAlphaPolygonVerts<VERTEX_POOL_SIZE"));
  EXPECT_EQ(pools.Add2DPoly(1, 9000, tooMany2D.data(), nullptr, 0), nullptr);
  EXPECT_TRUE(DebugLogContains("m_Num2DVerts<VERTEX_POOL_SIZE"));
  EXPECT_EQ(pools.Add2DPolyStrip(1, 9000, tooMany2D.data(), nullptr, 0x20), nullptr);
  EXPECT_TRUE(DebugLogContains("m_NumAlpha2DVerts<VERTEX_POOL_SIZE"));
  EXPECT_EQ(asserts.Count(), 4u);
  EXPECT_EQ(pools.AddPoly(1, 9000, tooMany3D.data(), nullptr, 0), nullptr);
  EXPECT_EQ(asserts.Count(), 5u) << "too big for any frame is said each time, full pool or not";
  EXPECT_EQ(pools.GetPolygonCount(PolygonPools::kAlpha3D), 0);
  EXPECT_EQ(pools.GetPolygonCount(PolygonPools::kOpaque2D), 0);
  EXPECT_EQ(pools.GetPolygonCount(PolygonPools::kAlpha2D), 0);
  // Nothing was written past the end of any block: every guard word is intact.
  EXPECT_EQ(MemoryTracker::ValidateAll(), 0);

  // The next frame has the whole pool again.
  pools.DropAll();
  EXPECT_NE(pools.AddPoly(1, 8190, many.data(), nullptr, 0), nullptr);
}

TEST_F(PolygonPoolTest, AWarmedUpFrameAllocatesNothing) {
  PolygonPools pools;
  std::vector<PolyVertex> tri = Triangles3D(3);
  std::vector<PolyVertex2D> quad = Triangles2D(4);
  // More polygons than one block of records holds, in every queue.
  auto frame = [&] {
    for (int i = 0; i < 600; ++i) {
      pools.AddPoly(-1, 3, tri.data(), nullptr, 0);
      pools.AddPoly(-1, 3, tri.data(), nullptr, 0x4);
      pools.Add2DPolyStrip(-1, 4, quad.data(), nullptr, 0);
      pools.Add2DPolyStrip(-1, 4, quad.data(), nullptr, 0x20);
    }
  };
  frame();
  const PolygonData2D* first = pools.Get2D(PolygonPools::kAlpha2D, 0);
  const PolygonData2D* last = pools.Get2D(PolygonPools::kAlpha2D, 599);
  EXPECT_GT(MemoryTracker::CountBlocksOwnedBy("PolygonPools::Add2DPoly"), 0u);
  pools.DropAll();

  const uint32_t before = MemoryTracker::GetStatistics().accumulatedAllocUnitCount;
  frame();
  EXPECT_EQ(pools.GetPolygonCount(PolygonPools::kAlpha2D), 600);
  EXPECT_EQ(pools.Get2D(PolygonPools::kAlpha2D, 0), first) << "records are reused";
  EXPECT_EQ(pools.Get2D(PolygonPools::kAlpha2D, 599), last);
  pools.DropAll();
  EXPECT_EQ(MemoryTracker::GetStatistics().accumulatedAllocUnitCount, before);

  pools.FreeAll();
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("PolygonPools::Add2DPoly"), 0u);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("PolygonPools::AddPoly"), 0u);
  EXPECT_FALSE(pools.HasPool(PolygonPools::kOpaque3D));
}

// ---- Drawing on the device, through a render window's frame.

using pixelprobe::Rgb;

// What stage 0 (texture x diffuse x 2) makes of a white texel and a diffuse channel.
int OnWhite(int diffuse) { return std::min(255, 2 * diffuse); }

class PolygonDrawTest : public AppTest {
 protected:
  void Start(uint32_t background = 0xFF000000u) {
    ASSERT_TRUE(content::SaveSolidDds("data\\white.dds", 0xFFFFFFFFu));
    ASSERT_TRUE(m_harness.Start());
    m_white = app().GetTexture()->Load("data\\white.dds");
    ASSERT_NE(m_white, -1);
    m_window = TrackedNew<RenderWindow>("OnWhite", 0);
    m_window->Init(Vector2(0.0f, 0.0f), Vector2(640.0f, 480.0f),
                   Vector4(float(background >> 16 & 0xFF), float(background >> 8 & 0xFF),
                           float(background & 0xFF), 255.0f),
                   6, 0.0f);
    app().AddWindow(m_window);
    app().SortWindows();
  }

  App& app() { return m_harness.app(); }
  gfx::D3DDevice* device() { return app().GetDisplay()->GetDevice(); }

  std::vector<uint32_t> Frame() {
    m_harness.RunFrames(1);
    return pixelprobe::ReadBack(device(), app().GetWidth(), app().GetHeight());
  }
  ::testing::AssertionResult AreaIs(const std::vector<uint32_t>& pixels, int x0, int y0, int x1,
                                    int y1, Rgb want) {
    return pixelprobe::AreaIs(pixels, app().GetWidth(), x0, y0, x1, y1, want);
  }

  // A quad from (x0, y0) to (x1, y1) as a strip of four.
  static std::vector<PolyVertex2D> Quad(float x0, float y0, float x1, float y1, uint32_t colour) {
    return {{x0, y0, 0, 1, colour, 0, 0},
            {x1, y0, 0, 1, colour, 1, 0},
            {x0, y1, 0, 1, colour, 0, 1},
            {x1, y1, 0, 1, colour, 1, 1}};
  }
  // The same quad as a list of two triangles.
  static std::vector<PolyVertex2D> QuadList(float x0, float y0, float x1, float y1,
                                            uint32_t colour) {
    std::vector<PolyVertex2D> q = Quad(x0, y0, x1, y1, colour);
    return {q[0], q[1], q[2], q[1], q[3], q[2]};
  }
  PolygonData2D* AddQuad(float x0, float y0, float x1, float y1, uint32_t colour, uint32_t flags,
                         const float* factors = nullptr) {
    std::vector<PolyVertex2D> q = Quad(x0, y0, x1, y1, colour);
    return m_window->Add2DPolyStrip(m_white, 4, q.data(), factors, flags);
  }

  int32_t m_white = -1;
  RenderWindow* m_window = nullptr;
};

TEST_F(PolygonDrawTest, HudCoordinatesAreScaledToTheBackBuffer) {
  Start();
  AddQuad(100, 100, 200, 200, 0xFF204060u, 0);
  std::vector<uint32_t> pixels = Frame();
  const Rgb shown = {OnWhite(0x20), OnWhite(0x40), OnWhite(0x60)};
  EXPECT_TRUE(AreaIs(pixels, 102, 102, 198, 198, shown));
  EXPECT_TRUE(AreaIs(pixels, 202, 0, 640, 480, {0, 0, 0}));
  EXPECT_TRUE(AreaIs(pixels, 0, 0, 98, 480, {0, 0, 0}));

  app().GetDisplay()->SetResolution(1280, 960, 32);
  Frame();
  ASSERT_EQ(app().GetWidth(), 1280);
  ASSERT_EQ(app().GetHeight(), 960);
  AddQuad(100, 100, 200, 200, 0xFF204060u, 0);
  pixels = Frame();
  EXPECT_TRUE(AreaIs(pixels, 203, 203, 397, 397, shown));
  EXPECT_TRUE(AreaIs(pixels, 403, 0, 1280, 960, {0, 0, 0}));
  EXPECT_TRUE(AreaIs(pixels, 0, 0, 197, 960, {0, 0, 0}));
  EXPECT_TRUE(AreaIs(pixels, 0, 403, 1280, 960, {0, 0, 0}));
}

TEST_F(PolygonDrawTest, BlendedPolygonsBlendByTheirFlags) {
  Start(0xFF808080u);
  // Source 0x20 at full alpha over 0x80: plain blending shows the source, adding gives 0xA0,
  // reverse subtraction 0x80 - 0x20; an opaque polygon replaces what is below it.
  const std::pair<uint32_t, int> blends[] = {
      {0x4, 0x20}, {0x4 | 0x20, 0xA0}, {0x20 | 0x40, 0xA0}, {0x40, 0x60}, {0x20, 0xA0}, {0, 0x20}};
  for (int i = 0; i < 6; ++i)
    ASSERT_NE(AddQuad(100.0f * i, 0, 100.0f * i + 100, 100, 0xFF101010u, blends[i].first), nullptr);
  EXPECT_EQ(m_window->GetPolygonPools().GetPolygonCount(PolygonPools::kAlpha2D), 5);
  EXPECT_EQ(m_window->GetPolygonPools().GetPolygonCount(PolygonPools::kOpaque2D), 1);
  std::vector<uint32_t> pixels = Frame();
  for (int i = 0; i < 6; ++i) {
    const int v = blends[i].second;
    EXPECT_TRUE(AreaIs(pixels, 100 * i + 4, 4, 100 * i + 96, 96, {v, v, v})) << blends[i].first;
  }
  EXPECT_TRUE(AreaIs(pixels, 4, 120, 636, 476, {0x80, 0x80, 0x80}));
  // Drawn once: the queues are empty afterwards and the next frame shows the background alone.
  EXPECT_EQ(m_window->GetPolygonPools().GetPolygonCount(PolygonPools::kAlpha2D), 0);
  EXPECT_TRUE(AreaIs(Frame(), 4, 4, 636, 476, {0x80, 0x80, 0x80}));
}

TEST_F(PolygonDrawTest, StripsAndListsDrawTheirTriangles) {
  Start();
  const uint32_t colour = 0xFF404040u;
  const Rgb shown = {0x80, 0x80, 0x80};
  // A strip of 4: two triangles fill the quad.
  AddQuad(20, 20, 120, 120, colour, 0);
  // A list of 6: two triangles fill the quad.
  std::vector<PolyVertex2D> list = QuadList(220, 20, 320, 120, colour);
  ASSERT_NE(m_window->Add2DPoly(m_white, 6, list.data(), nullptr, 0), nullptr);
  // A list of 4: only the first triangle (top-left half), the fourth vertex is left over.
  std::vector<PolyVertex2D> four = Quad(420, 20, 520, 120, colour);
  m_window->Add2DPoly(m_white, 4, four.data(), nullptr, 0);
  std::vector<uint32_t> pixels = Frame();
  EXPECT_TRUE(AreaIs(pixels, 22, 22, 118, 118, shown));
  EXPECT_TRUE(AreaIs(pixels, 222, 22, 318, 118, shown));
  EXPECT_TRUE(AreaIs(pixels, 422, 22, 460, 60, shown));
  EXPECT_TRUE(AreaIs(pixels, 485, 85, 518, 118, {0, 0, 0}));

  // Fewer than three vertices draw nothing at all, whether strip or list.
  Frame();
  device()->ResetCallCounts();
  Frame();
  const uint32_t baseline = device()->GetCallCount(gfx::DeviceCall::DrawPrimitiveUP);
  m_window->Add2DPolyStrip(m_white, 2, four.data(), nullptr, 0);
  m_window->Add2DPoly(m_white, 2, four.data(), nullptr, 0x4);
  device()->ResetCallCounts();
  pixels = Frame();
  EXPECT_EQ(device()->GetCallCount(gfx::DeviceCall::DrawPrimitiveUP), baseline);
  EXPECT_TRUE(AreaIs(pixels, 0, 0, 640, 480, {0, 0, 0}));
}

TEST_F(PolygonDrawTest, ColourFactorsOfRecordAndWindowMultiply) {
  Start();
  // Factors of 1.0 leave the vertex colours as they are.
  PolygonData2D* plain = AddQuad(0, 0, 100, 100, 0xFF204060u, 0);
  ASSERT_NE(plain, nullptr);
  PolyVertex2D* plainVertices = plain->vertices;
  std::vector<uint32_t> pixels = Frame();
  EXPECT_EQ(plainVertices[0].colour, 0xFF204060u);
  EXPECT_EQ(plainVertices[3].colour, 0xFF204060u);
  EXPECT_TRUE(AreaIs(pixels, 4, 4, 96, 96, {0x40, 0x80, 0xC0}));

  // Record red 0.5 and window green 0.5: both halve, the others stay.
  m_window->SetColourFactors(1.0f, 0.5f, 1.0f, 1.0f);
  const float half[4] = {0.5f, 1.0f, 1.0f, 1.0f};
  PolygonData2D* tinted = AddQuad(0, 0, 100, 100, 0xFF204060u, 0, half);
  ASSERT_NE(tinted, nullptr);
  PolyVertex2D* tintedVertices = tinted->vertices;
  pixels = Frame();
  EXPECT_EQ(tintedVertices[0].colour, 0xFF102060u);
  EXPECT_TRUE(AreaIs(pixels, 4, 4, 96, 96, {0x20, 0x40, 0xC0}));

  // Products above 1.0 brighten up to a full channel, never into the next one.
  m_window->SetColourFactors(2.0f, 2.0f, 2.0f, 2.0f);
  const float four[4] = {4.0f, 4.0f, 0.5f, 4.0f};
  PolygonData2D* bright = AddQuad(0, 0, 100, 100, 0x80404030u, 0, four);
  ASSERT_NE(bright, nullptr);
  PolyVertex2D* brightVertices = bright->vertices;
  pixels = Frame();
  EXPECT_EQ(brightVertices[0].colour, 0xFFFFFF30u);
  EXPECT_TRUE(AreaIs(pixels, 4, 4, 96, 96, {0xFF, 0xFF, 0x60}));
}

// 3D polygons through the window's camera (eye on -z looking at the origin).
TEST_F(PolygonDrawTest, WorldPolygonsCullTestAndBlendByTheirFlags) {
  Start(0xFF808080u);
  // World polygons are placed by whatever world matrix the display holds; the camera sets only
  // the view and the projections.
  Matrix identity;
  identity.Identity();
  app().GetDisplay()->SetWorldMatrix(&identity);
  auto square = [](float c, uint32_t colour, bool reversed) {
    std::vector<PolyVertex> v = {{-c, -c, 0, colour, 0, 0},
                                 {-c, c, 0, colour, 0, 1},
                                 {c, -c, 0, colour, 1, 0},
                                 {c, c, 0, colour, 1, 1}};
    if (reversed) std::swap(v[1], v[2]);
    return v;
  };
  auto centreIs = [&](const std::vector<uint32_t>& pixels, Rgb want) {
    return AreaIs(pixels, 310, 230, 330, 250, want);
  };
  const Rgb grey = {0x80, 0x80, 0x80};
  const Rgb red = {0xFF, 0x00, 0x00};

  // One winding faces the camera, the other is culled unless culling is off.
  int drawn = 0;
  for (bool reversed : {false, true}) {
    std::vector<PolyVertex> v = square(10, 0xFFFF0000u, reversed);
    m_window->AddPolyStrip(m_white, 4, v.data(), nullptr, 0);
    std::vector<uint32_t> pixels = Frame();
    if (centreIs(pixels, red))
      ++drawn;
    else
      EXPECT_TRUE(centreIs(pixels, grey));
    m_window->AddPolyStrip(m_white, 4, v.data(), nullptr, PolygonPools::kNoCulling);
    EXPECT_TRUE(centreIs(Frame(), red)) << "reversed " << reversed;
  }
  EXPECT_EQ(drawn, 1);

  // Vertex alpha 0x40 fails the alpha test unless the polygon turns it off.
  std::vector<PolyVertex> faint = square(10, 0x40FF0000u, false);
  m_window->AddPolyStrip(m_white, 4, faint.data(), nullptr, PolygonPools::kNoCulling);
  EXPECT_TRUE(centreIs(Frame(), grey));
  m_window->AddPolyStrip(m_white, 4, faint.data(), nullptr,
                         PolygonPools::kNoCulling | PolygonPools::kNoAlphaTest);
  EXPECT_TRUE(centreIs(Frame(), red));

  // Blended world polygons: 0x4 with 0x20 adds, and so does 0x20 with 0x40.
  std::vector<PolyVertex> dim = square(10, 0xFF101010u, false);
  const std::pair<uint32_t, int> worldBlends[] = {
      {0x4 | 0x20, 0xA0}, {0x20 | 0x40, 0xA0}, {0x40, 0x60}, {0x4, 0x20}};
  for (auto [flags, v] : worldBlends) {
    m_window->AddPolyStrip(m_white, 4, dim.data(), nullptr, 0x1 | flags);
    EXPECT_EQ(m_window->GetPolygonPools().GetPolygonCount(PolygonPools::kAlpha3D), 1);
    EXPECT_TRUE(centreIs(Frame(), {v, v, v})) << flags;
  }
  // Blended polygons are not alpha tested: the faint square still shows.
  m_window->AddPolyStrip(m_white, 4, faint.data(), nullptr,
                         PolygonPools::kBlended | PolygonPools::kNoCulling);
  EXPECT_FALSE(centreIs(Frame(), grey));
}

TEST_F(PolygonDrawTest, ASuspendedWindowDropsItsPolygons) {
  Start(0xFF000000u);
  AddQuad(0, 0, 640, 480, 0xFF404040u, 0);
  m_window->SetFlags(m_window->GetFlags() | BaseRenderWindow::kSuspended);
  Frame();
  EXPECT_EQ(m_window->GetPolygonPools().GetPolygonCount(PolygonPools::kOpaque2D), 0);
  m_window->SetFlags(6);
  EXPECT_TRUE(AreaIs(Frame(), 4, 4, 636, 476, {0, 0, 0}));
}

}  // namespace
