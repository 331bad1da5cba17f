#include <gtest/gtest.h>

#include <array>
#include <utility>
#include <vector>

#include "Engine/PC/PCRenderStates.h"
#include "Engine/PC/PCShaderSet.h"
#include "Engine/PC/PCVertexStream.h"
#include "tests/support/AppHarness.h"
#include "tests/support/ContentTestSupport.h"
#include "tests/support/LogCapture.h"

using namespace gfx;

namespace {

constexpr uint32_t kDiscard = D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK;
constexpr uint32_t kAppend = D3DLOCK_NOOVERWRITE | D3DLOCK_NOSYSLOCK;

class VertexStreamTest : public AppTest {
 protected:
  VertexStream* stream() { return m_harness.app().GetDisplay()->GetVertexStream(); }
  D3DDevice* device() { return m_harness.app().GetDisplay()->GetDevice(); }
};

TEST_F(VertexStreamTest, TheDisplayMakesBothBuffersAndLetsThemGo) {
  ASSERT_TRUE(m_harness.Start());
  ASSERT_NE(stream(), nullptr);
  ASSERT_NE(stream()->GetVertexBuffer(), nullptr);
  ASSERT_NE(stream()->GetIndexBuffer(), nullptr);
  EXPECT_EQ(stream()->GetVertexBuffer()->GetLength(), 1080000u);
  EXPECT_EQ(stream()->GetIndexBuffer()->GetLength(), 90000u);
  EXPECT_EQ(stream()->GetIndexBuffer()->GetFormat(), D3DFMT_INDEX16);
  EXPECT_EQ(stream()->GetOffset(), 0u);

  // Every four vertices a quad: (0, 1, 2) and (2, 1, 3), over all 30000 vertices' worth.
  void* data = nullptr;
  ASSERT_EQ(stream()->GetIndexBuffer()->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
  const uint16_t* index = static_cast<const uint16_t*>(data);
  const uint16_t corner[6] = {0, 1, 2, 2, 1, 3};
  int wrong = 0;
  for (uint32_t i = 0; i < 45000; ++i) wrong += index[i] != (i / 6) * 4 + corner[i % 6];
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(index[44999], 29999u);
  ASSERT_EQ(stream()->GetIndexBuffer()->Unlock(), D3D_OK);

  // The shader set and the stream.
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("Display::Init"), 2u);
  m_harness.Stop();
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("Display::Init"), 0u);
}

TEST_F(VertexStreamTest, LocksAppendUntilTheRingWraps) {
  ASSERT_TRUE(m_harness.Start());
  VertexStream& s = *stream();

  // The first lock after creation discards; then locks append behind earlier vertices until
  // one would end at or past the end of the ring, which wraps.
  struct Case {
    uint32_t offset, count, start, flags;
  };
  const Case cases[] = {{0, 4, 0, kDiscard},
                        {100, 50, 100, kAppend},
                        {44990, 10, 0, kDiscard},
                        {44989, 10, 44989, kAppend}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offset);
    s.SetOffset(c.offset);
    ASSERT_NE(s.Lock(c.count), nullptr);
    EXPECT_EQ(s.IsLocked(), 1);
    EXPECT_EQ(s.GetStartVertex(), c.start);
    EXPECT_EQ(s.GetLastLockFlags(), c.flags);
    EXPECT_EQ(s.GetOffset(), c.start + c.count);
    EXPECT_EQ(s.GetLastLockByteOffset(), 24 * c.start);
    EXPECT_EQ(s.GetLastLockByteSize(), 24 * c.count);
    s.Unlock();
    EXPECT_EQ(s.IsLocked(), 0);
  }

  const uint32_t discards = s.GetDiscardLocks();
  const uint32_t appends = s.GetAppendLocks();
  EXPECT_EQ(discards, 2u);
  EXPECT_EQ(appends, 2u);
}

TEST_F(VertexStreamTest, OversizedRequestsAreRefusedOrReported) {
  ASSERT_TRUE(m_harness.Start());
  VertexStream& s = *stream();
  AssertCounter asserts;
  // More than the ring: refused outright, since the caller would write past the buffer.
  EXPECT_EQ(s.Lock(45001), nullptr);
  EXPECT_EQ(asserts.Count(), 1u);
  EXPECT_EQ(s.IsLocked(), 0);
  // The whole ring fits, but leaves no room: reported, and the next lock starts over.
  s.SetOffset(7);
  ASSERT_NE(s.Lock(45000), nullptr);
  EXPECT_EQ(asserts.Count(), 2u);
  EXPECT_EQ(s.GetStartVertex(), 0u);
  s.Unlock();
  ASSERT_NE(s.Lock(1), nullptr);
  EXPECT_EQ(s.GetStartVertex(), 0u);
  EXPECT_EQ(s.GetLastLockFlags(), kDiscard);
  s.Unlock();
}

TEST_F(VertexStreamTest, ReleaseUnlocksFirstAndLocksAfterItFail) {
  ASSERT_TRUE(m_harness.Start());
  VertexStream& s = *stream();
  ASSERT_NE(s.Lock(8), nullptr);
  s.Release();
  EXPECT_EQ(s.IsLocked(), 0);
  EXPECT_EQ(s.GetVertexBuffer(), nullptr);
  EXPECT_EQ(s.GetIndexBuffer(), nullptr);
  EXPECT_EQ(device()->LiveDefaultPoolResources(), 0) << "nothing the stream made is left";
  EXPECT_EQ(s.Lock(8), nullptr);
  EXPECT_EQ(s.Create(), 1);
  EXPECT_NE(s.Lock(8), nullptr);
  s.Unlock();
}

TEST_F(VertexStreamTest, ADeviceResetRebuildsTheBuffersAndKeepsTheOffset) {
  ASSERT_TRUE(m_harness.Start());
  stream()->SetOffset(1234);
  m_harness.faults().ForceDeviceLost(false);
  m_harness.RunFrames(1);
  ASSERT_TRUE(DebugLogContains("Resetting"));
  EXPECT_NE(stream()->GetVertexBuffer(), nullptr);
  EXPECT_NE(stream()->GetIndexBuffer(), nullptr);
  EXPECT_EQ(stream()->GetOffset(), 1234u);
}

// The quads drawn through the index buffer cover their rectangles entirely: both triangles of
// every quad are there, and the start vertex places each lock's quads.
TEST_F(VertexStreamTest, QuadsDrawnThroughTheIndexBufferCoverTheirRectangles) {
  ASSERT_TRUE(m_harness.Start());
  Display* display = m_harness.app().GetDisplay();
  D3DDevice* d = device();
  ShaderSet* shaders = display->GetShaderSet();
  VertexStream& s = *stream();

  RenderStateCache::SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  RenderStateCache::SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
  const Matrix& identity = g_IdentityMatrix;
  ASSERT_EQ(d->SetVertexShaderConstantF(0, identity.m, 4), D3D_OK);
  shaders->SetColourMultiplier(Vector4(1.0f, 1.0f, 1.0f, 1.0f));

  ASSERT_EQ(d->BeginScene(), D3D_OK);
  ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0), D3D_OK);
  // Two locks of two quads each, in normalised coordinates: top-left, top-right, bottom-left,
  // bottom-right.
  auto quad = [](StreamVertex* v, float x0, float y0, float x1, float y1, uint32_t colour) {
    v[0] = {x0, y0, 0.5f, colour, 0.0f, 0.0f};
    v[1] = {x1, y0, 0.5f, colour, 1.0f, 0.0f};
    v[2] = {x0, y1, 0.5f, colour, 0.0f, 1.0f};
    v[3] = {x1, y1, 0.5f, colour, 1.0f, 1.0f};
  };
  for (int lock = 0; lock < 2; ++lock) {
    StreamVertex* v = s.Lock(8);
    ASSERT_NE(v, nullptr);
    const float y = lock == 0 ? 0.75f : -0.25f;
    quad(v, -0.75f, y, -0.25f, y - 0.5f, lock == 0 ? 0xFFFF0000u : 0xFF0000FFu);
    quad(v + 4, 0.25f, y, 0.75f, y - 0.5f, 0xFF00FF00u);
    s.Unlock();
    shaders->SetDeclAndShader();
    ASSERT_EQ(d->SetStreamSource(0, s.GetVertexBuffer(), 0, 24), D3D_OK);
    ASSERT_EQ(d->SetIndices(s.GetIndexBuffer()), D3D_OK);
    ASSERT_EQ(d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, static_cast<int32_t>(s.GetStartVertex()),
                                      0, 8, 0, 4),
              D3D_OK);
  }
  ASSERT_EQ(d->EndScene(), D3D_OK);

  const std::vector<uint32_t> pixels = content::ReadBack();
  // Normalised x -0.75..-0.25 is pixels 80..240, y 0.75..0.25 is rows 60..180 from the top.
  const std::pair<std::array<int, 4>, content::Rgb> areas[] = {
      {{80, 60, 240, 180}, {255, 0, 0}},  {{400, 60, 560, 180}, {0, 255, 0}},
      {{80, 300, 240, 420}, {0, 0, 255}}, {{400, 300, 560, 420}, {0, 255, 0}},
      {{260, 200, 380, 280}, {0, 0, 0}}};
  for (const auto& [a, rgb] : areas)
    EXPECT_TRUE(content::AreaIs(pixels, a[0] + 2, a[1] + 2, a[2] - 2, a[3] - 2, rgb));
}

}  // namespace
