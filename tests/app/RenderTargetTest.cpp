#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCRenderStates.h"
#include "Engine/PC/PCRenderTarget.h"
#include "Engine/PC/PCShaderSet.h"
#include "tests/support/AppHarness.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ContentTestSupport.h"

namespace {

using gfx::D3DDevice;
using gfx::DeviceCall;

using content::AreaIs;
using content::kHeight;
using content::kWidth;
// Texture x grey 0x7F x 2, as the target is laid over the screen.
constexpr int kLit = 255 * 0x7F * 2 / 255;

class RenderTargetTest : public AppTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_harness.Start());
    RenderTarget::Init(&m_set);
  }
  void TearDown() override { RenderTarget::CleanUp(&m_set); }

  D3DDevice* device() { return m_harness.app().GetDisplay()->GetDevice(); }
  Texture* textures() { return m_harness.app().GetTexture(); }
  void ClearBackBuffer(uint32_t colour) {
    ASSERT_EQ(
        device()->Clear(0, nullptr, gfx::D3DCLEAR_TARGET | gfx::D3DCLEAR_ZBUFFER, colour, 1.0f, 0),
        gfx::D3D_OK);
  }

  RenderTargetSet m_set;
};

TEST_F(RenderTargetTest, IdentifiersCountOnAfterADelete) {
  EXPECT_EQ(RenderTarget::Create(&m_set), 0);
  EXPECT_EQ(RenderTarget::Create(&m_set), 1);
  const int32_t texture0 = RenderTarget::GetTexture(&m_set, 0);
  const int32_t texture1 = RenderTarget::GetTexture(&m_set, 1);
  ASSERT_NE(textures()->Find(texture0), nullptr);
  EXPECT_TRUE(textures()->Find(texture0)->IsRenderTarget());
  EXPECT_NE(texture0, texture1);

  RenderTarget::Delete(&m_set, 0);
  EXPECT_EQ(textures()->Find(texture0), nullptr) << "the target's texture goes with it";
  EXPECT_EQ(RenderTarget::GetTexture(&m_set, 1), texture1);
  EXPECT_EQ(RenderTarget::Create(&m_set), 2);
  ASSERT_EQ(m_set.targets.GetCount(), 2);
  ASSERT_NE(RenderTarget::Find(&m_set, 2), nullptr);
  EXPECT_EQ(MemoryTracker::CountBlocksFromFile("PCRenderTarget.cpp"), 2u);
  RenderTarget::CleanUp(&m_set);
  EXPECT_EQ(m_set.targets.GetCount(), 0);
  EXPECT_EQ(textures()->Find(texture1), nullptr);
  EXPECT_EQ(MemoryTracker::CountBlocksFromFile("PCRenderTarget.cpp"), 0u);
}

TEST_F(RenderTargetTest, UnknownIdentifiersReportAndTouchNothing) {
  RenderTarget::Create(&m_set);
  device()->ResetCallCounts();
  AssertCounter asserts;
  RenderTarget::Set(&m_set, 7);
  EXPECT_TRUE(DebugLogContains("Unable to set render target!"));
  RenderTarget::CopyBackBuffer(&m_set, 7);
  EXPECT_TRUE(DebugLogContains("Unable to find render target 7"));
  EXPECT_EQ(asserts.Count(), 0u);

  EXPECT_EQ(RenderTarget::GetTexture(&m_set, 7), -1);
  EXPECT_EQ(asserts.Count(), 1u);
  RenderTarget::Delete(&m_set, 7);
  EXPECT_EQ(asserts.Count(), 2u);
  RenderTarget::DrawToScreen(Vector2(0, 0), Vector2(10, 10), &m_set, 7);
  EXPECT_EQ(asserts.Count(), 3u);
  RenderTarget::CopyTexture(-1, 12345);
  EXPECT_EQ(asserts.Count(), 5u) << "both missing textures are reported";

  EXPECT_EQ(m_set.targets.GetCount(), 1);
  EXPECT_EQ(device()->GetCallCount(DeviceCall::SetRenderTarget), 0u);
  EXPECT_EQ(device()->GetCallCount(DeviceCall::StretchRect), 0u);
  EXPECT_EQ(device()->GetCallCount(DeviceCall::DrawPrimitiveUP), 0u);
}

TEST_F(RenderTargetTest, ATargetDrawnIntoIsLaidOverTheWindow) {
  const int32_t id = RenderTarget::Create(&m_set);
  ASSERT_NE(textures()->Find(RenderTarget::GetTexture(&m_set, id))->texture, nullptr);
  RenderTarget::SaveTargets(&m_set);
  RenderTarget::Set(&m_set, id);
  gfx::D3DVIEWPORT9 viewport = {};
  device()->GetViewport(&viewport);
  EXPECT_EQ(viewport.Width, 256u);
  EXPECT_EQ(viewport.Height, 256u);
  // Yellow survives the target's 5-6-5 format exactly.
  ASSERT_EQ(device()->Clear(0, nullptr, gfx::D3DCLEAR_TARGET, 0xFFFFFF00u, 1.0f, 0), gfx::D3D_OK);
  RenderTarget::RestoreTargets(&m_set);
  EXPECT_EQ(m_set.savedTarget, nullptr);
  EXPECT_EQ(m_set.savedDepthStencil, nullptr);

  const gfx::D3DVIEWPORT9 full = {0, 0, kWidth, kHeight, 0.0f, 1.0f};
  device()->SetViewport(&full);
  ClearBackBuffer(0xFF0000FFu);
  RenderTarget::Clear();  // to black
  m_harness.app().GetDisplay()->GetShaderSet()->SetColourMultiplier(Vector4(1, 1, 1, 1));
  RenderWindow window;
  window.SetViewportBounds(100, 60, 500, 400);
  RenderTarget::DrawToScreen(&window, &m_set, id);
  std::vector<uint32_t> pixels = content::ReadBack();
  EXPECT_TRUE(AreaIs(pixels, 104, 64, 496, 396, {kLit, kLit, 0}));
  EXPECT_TRUE(AreaIs(pixels, 0, 0, 96, kHeight, {0, 0, 0}));
  EXPECT_EQ(pixels[0] & 0xFFFFFFu, 0u) << "cleared to black exactly";
  EXPECT_TRUE(AreaIs(pixels, 504, 0, kWidth, kHeight, {0, 0, 0}));
  EXPECT_TRUE(AreaIs(pixels, 0, 404, kWidth, kHeight, {0, 0, 0}));
  EXPECT_EQ(RenderStateCache::GetRenderState(gfx::D3DRS_ALPHABLENDENABLE), 0u);
  EXPECT_EQ(RenderStateCache::GetRenderState(gfx::D3DRS_ZWRITEENABLE), 1u);
  EXPECT_EQ(RenderStateCache::GetRenderState(gfx::D3DRS_ZFUNC), uint32_t(gfx::D3DCMP_LESSEQUAL));
}

TEST_F(RenderTargetTest, TheBackBufferCopiedIntoATargetComesBack) {
  const int32_t id = RenderTarget::Create(&m_set);
  ClearBackBuffer(0xFFFF00FFu);
  RenderTarget::CopyBackBuffer(&m_set, id);
  // A second target takes the first's pixels through CopyTexture.
  const int32_t copy = RenderTarget::Create(&m_set);
  RenderTarget::CopyTexture(RenderTarget::GetTexture(&m_set, id),
                            RenderTarget::GetTexture(&m_set, copy));
  ClearBackBuffer(0xFF000000u);
  m_harness.app().GetDisplay()->GetShaderSet()->SetColourMultiplier(Vector4(1, 1, 1, 1));
  RenderTarget::DrawToScreen(Vector2(0, 0), Vector2(kWidth, kHeight), &m_set, copy);
  EXPECT_TRUE(AreaIs(content::ReadBack(), 8, 8, kWidth - 8, kHeight - 8, {kLit, 0, kLit}));
}

TEST_F(RenderTargetTest, TargetsSurviveADeviceLoss) {
  const int32_t id = RenderTarget::Create(&m_set);
  const TextureData* record = textures()->Find(RenderTarget::GetTexture(&m_set, id));
  ASSERT_NE(record->texture, nullptr);
  m_harness.faults().ForceDeviceLost(false);
  m_harness.RunFrames(2);
  EXPECT_NE(record->texture, nullptr) << "made again after the reset";
  EXPECT_TRUE(DebugLogContains("Resetting"));
  RenderTarget::Set(&m_set, id);
  EXPECT_FALSE(DebugLogContains("Unable to set render target!"));
}

}  // namespace
