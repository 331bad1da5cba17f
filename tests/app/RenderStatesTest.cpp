#include <gtest/gtest.h>

#include <utility>

#include "Engine/PC/PCRenderStates.h"
#include "tests/support/AppHarness.h"
#include "tests/support/LogCapture.h"

using namespace gfx;

namespace {

class RenderStatesTest : public AppTest {
 protected:
  D3DDevice* device() { return m_harness.app().GetDisplay()->GetDevice(); }
  uint32_t Calls(DeviceCall call) { return device()->GetCallCount(call); }
  uint32_t RenderState(D3DRENDERSTATETYPE state) {
    uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(device()->GetRenderState(state, &value), D3D_OK);
    return value;
  }
  uint32_t StageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type) {
    uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(device()->GetTextureStageState(stage, type, &value), D3D_OK);
    return value;
  }
  uint32_t SamplerState(uint32_t sampler, D3DSAMPLERSTATETYPE type) {
    uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(device()->GetSamplerState(sampler, type, &value), D3D_OK);
    return value;
  }
};

TEST(RenderStateCacheNoDevice, SetsAreDroppedAndTheRenderStateOneReports) {
  ASSERT_EQ(GetApp().GetDisplay()->GetDevice(), nullptr);
  AssertCounter asserts;
  RenderStateCache::SetRenderState(D3DRS_ZENABLE, 0);
  EXPECT_EQ(asserts.Count(), 1u);
  RenderStateCache::SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_ADD);
  RenderStateCache::SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_MIRROR);
  EXPECT_EQ(asserts.Count(), 1u) << "the stage and sampler setters do not report";
  EXPECT_NE(RenderStateCache::GetTextureStageState(0, D3DTSS_COLOROP), uint32_t{D3DTOP_ADD})
      << "a value that reached no device is not remembered";
}

TEST_F(RenderStatesTest, OnlyChangedValuesReachTheDevice) {
  ASSERT_TRUE(m_harness.Start());
  RenderStateCache::Reset();
  device()->ResetCallCounts();

  // Not among the defaults, so unknown after the reset; the unknown marker itself never goes.
  RenderStateCache::SetRenderState(D3DRS_FILLMODE, RenderStateCache::kInvalid);
  EXPECT_EQ(Calls(DeviceCall::SetRenderState), 0u);
  RenderStateCache::SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
  EXPECT_EQ(Calls(DeviceCall::SetRenderState), 1u);
  EXPECT_EQ(RenderState(D3DRS_FILLMODE), uint32_t{D3DFILL_WIREFRAME});
  RenderStateCache::SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
  EXPECT_EQ(Calls(DeviceCall::SetRenderState), 1u);
  RenderStateCache::SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
  EXPECT_EQ(Calls(DeviceCall::SetRenderState), 2u);
  // A default already in place.
  RenderStateCache::SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
  EXPECT_EQ(Calls(DeviceCall::SetRenderState), 2u);

  RenderStateCache::SetTextureStageState(7, D3DTSS_COLOROP, D3DTOP_ADD);
  RenderStateCache::SetTextureStageState(7, D3DTSS_COLOROP, D3DTOP_ADD);
  EXPECT_EQ(Calls(DeviceCall::SetTextureStageState), 1u);
  EXPECT_EQ(StageState(7, D3DTSS_COLOROP), uint32_t{D3DTOP_ADD});
  RenderStateCache::SetSamplerState(4, D3DSAMP_ADDRESSV, D3DTADDRESS_MIRROR);
  RenderStateCache::SetSamplerState(4, D3DSAMP_ADDRESSV, D3DTADDRESS_MIRROR);
  EXPECT_EQ(Calls(DeviceCall::SetSamplerState), 1u);
  EXPECT_EQ(SamplerState(4, D3DSAMP_ADDRESSV), uint32_t{D3DTADDRESS_MIRROR});

  // Floats compare by their bits: -0.0 is not the 0.0 of the defaults.
  RenderStateCache::SetSamplerStateFloat(0, D3DSAMP_MIPMAPLODBIAS, 0.0f);
  EXPECT_EQ(Calls(DeviceCall::SetSamplerState), 1u);
  RenderStateCache::SetSamplerStateFloat(0, D3DSAMP_MIPMAPLODBIAS, -0.0f);
  EXPECT_EQ(Calls(DeviceCall::SetSamplerState), 2u);
}

TEST_F(RenderStatesTest, ResetAppliesEveryDefaultWithItsValue) {
  ASSERT_TRUE(m_harness.Start());
  // Disturb some defaults through the cache first: Reset must put every one back.
  RenderStateCache::SetRenderState(D3DRS_ALPHAREF, 3);
  RenderStateCache::SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_ADD);
  RenderStateCache::SetSamplerState(1, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
  device()->ResetCallCounts();
  RenderStateCache::Reset();
  EXPECT_EQ(Calls(DeviceCall::SetRenderState), 14u);
  EXPECT_EQ(Calls(DeviceCall::SetTextureStageState), 12u);
  EXPECT_EQ(Calls(DeviceCall::SetSamplerState), 11u);

  const std::pair<D3DRENDERSTATETYPE, uint32_t> defaults[] = {
      {D3DRS_ZENABLE, 1},          {D3DRS_ZWRITEENABLE, 1},     {D3DRS_ZFUNC, 4},
      {D3DRS_ALPHATESTENABLE, 1},  {D3DRS_ALPHAFUNC, 7},        {D3DRS_ALPHAREF, 128},
      {D3DRS_ALPHABLENDENABLE, 0}, {D3DRS_FOGENABLE, 0},        {D3DRS_TEXTUREFACTOR, 0x80808080u},
      {D3DRS_SRCBLEND, 5},         {D3DRS_DESTBLEND, 6},        {D3DRS_BLENDOP, 1},
      {D3DRS_LIGHTING, 0},         {D3DRS_COLORVERTEX, 1}};
  for (const auto& [state, value] : defaults) EXPECT_EQ(RenderState(state), value) << state;
  for (uint32_t sampler = 0; sampler < 2; ++sampler)
    for (auto type : {D3DSAMP_MINFILTER, D3DSAMP_MAGFILTER, D3DSAMP_MIPFILTER, D3DSAMP_ADDRESSU,
                      D3DSAMP_ADDRESSV})
      EXPECT_EQ(SamplerState(sampler, type), type <= D3DSAMP_ADDRESSV ? 1u : 2u) << type;
  EXPECT_EQ(SamplerState(0, D3DSAMP_MIPMAPLODBIAS), 0u);
  const uint32_t stage0[] = {5, 2, 0, 4, 2, 0};
  const uint32_t stage1[] = {1, 1, 3, 1, 1, 3};
  const D3DTEXTURESTAGESTATETYPE types[] = {D3DTSS_COLOROP, D3DTSS_COLORARG1, D3DTSS_COLORARG2,
                                            D3DTSS_ALPHAOP, D3DTSS_ALPHAARG1, D3DTSS_ALPHAARG2};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(StageState(0, types[i]), stage0[i]) << i;
    EXPECT_EQ(StageState(1, types[i]), stage1[i]) << i;
    EXPECT_EQ(RenderStateCache::GetTextureStageState(1, types[i]), stage1[i]) << i;
  }

  // A stage, sampler or state past its table reads as unknown, not as a neighbour's entry.
  using Cache = RenderStateCache;
  EXPECT_EQ(Cache::GetTextureStageState(0, D3DTEXTURESTAGESTATETYPE(Cache::kStageStates + 1)),
            Cache::kInvalid);
  EXPECT_EQ(Cache::GetSamplerState(0, D3DSAMPLERSTATETYPE(Cache::kSamplerStates + 1)),
            Cache::kInvalid);
  EXPECT_EQ(Cache::GetTextureStageState(Cache::kStages, D3DTSS_COLOROP), Cache::kInvalid);
  EXPECT_EQ(Cache::GetRenderState(D3DRENDERSTATETYPE(Cache::kRenderStates)), Cache::kInvalid);
  Cache::SetRenderState(gfx::D3DRS_BLENDOPALPHA, gfx::D3DBLENDOP_SUBTRACT);  // still sent
  EXPECT_EQ(RenderState(gfx::D3DRS_BLENDOPALPHA), uint32_t(gfx::D3DBLENDOP_SUBTRACT));

  // Applying them again over a cache that holds them costs nothing.
  device()->ResetCallCounts();
  RenderStateCache::ApplyDefaults();
  EXPECT_EQ(Calls(DeviceCall::SetRenderState) + Calls(DeviceCall::SetTextureStageState) +
                Calls(DeviceCall::SetSamplerState),
            0u);
}

TEST_F(RenderStatesTest, AStateSetBehindTheCachesBackLeavesItStale) {
  ASSERT_TRUE(m_harness.Start());
  RenderStateCache::Reset();
  device()->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
  RenderStateCache::SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
  EXPECT_EQ(RenderState(D3DRS_ZFUNC), uint32_t{D3DCMP_ALWAYS});
  // Reset forgets the shadow, so the default goes out again.
  RenderStateCache::Reset();
  EXPECT_EQ(RenderState(D3DRS_ZFUNC), uint32_t{D3DCMP_LESSEQUAL});
}

TEST_F(RenderStatesTest, BlendModeAndWrappingFollowTheFlags) {
  ASSERT_TRUE(m_harness.Start());
  RenderStateCache::Reset();
  struct Case {
    uint32_t meshFlags;
    uint8_t drawFlags;
    uint32_t op, dest;
  };
  const Case cases[] = {
      {0x00, 0x00, D3DBLENDOP_ADD, D3DBLEND_INVSRCALPHA},
      {0x08, 0x00, D3DBLENDOP_ADD, D3DBLEND_ONE},
      {0x00, 0x20, D3DBLENDOP_ADD, D3DBLEND_ONE},
      {0x10, 0x00, D3DBLENDOP_REVSUBTRACT, D3DBLEND_ONE},
      {0x00, 0x40, D3DBLENDOP_REVSUBTRACT, D3DBLEND_ONE},
      {0x18, 0x00, D3DBLENDOP_ADD, D3DBLEND_ONE},  // additive wins
      {0x10, 0x20, D3DBLENDOP_ADD, D3DBLEND_ONE},
      {0x00, 0x60, D3DBLENDOP_ADD, D3DBLEND_ONE},
      {0x06, 0x80, D3DBLENDOP_ADD, D3DBLEND_INVSRCALPHA},  // other bits mean nothing here
  };
  for (const Case& c : cases) {
    RenderStateCache::SetBlendMode(c.meshFlags, c.drawFlags);
    EXPECT_EQ(RenderState(D3DRS_BLENDOP), c.op) << c.meshFlags << " " << int(c.drawFlags);
    EXPECT_EQ(RenderState(D3DRS_SRCBLEND), uint32_t{D3DBLEND_SRCALPHA});
    EXPECT_EQ(RenderState(D3DRS_DESTBLEND), c.dest) << c.meshFlags << " " << int(c.drawFlags);
  }

  const uint32_t wraps[][3] = {{0x2, D3DTADDRESS_WRAP, D3DTADDRESS_CLAMP},
                               {0x4, D3DTADDRESS_CLAMP, D3DTADDRESS_WRAP},
                               {0x0, D3DTADDRESS_CLAMP, D3DTADDRESS_CLAMP}};
  for (const auto& w : wraps) {
    RenderStateCache::SetTextureWrap(w[0]);
    EXPECT_EQ(SamplerState(0, D3DSAMP_ADDRESSU), w[1]) << w[0];
    EXPECT_EQ(SamplerState(0, D3DSAMP_ADDRESSV), w[2]) << w[0];
  }
  EXPECT_EQ(SamplerState(1, D3DSAMP_ADDRESSU), uint32_t{D3DTADDRESS_WRAP}) << "sampler 1 untouched";
}

TEST_F(RenderStatesTest, ARecoveredDeviceGetsTheDefaultsAndAFreshShadow) {
  ASSERT_TRUE(m_harness.Start());
  RenderStateCache::SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
  m_harness.faults().ForceDeviceLost(false);
  m_harness.RunFrames(1);
  ASSERT_TRUE(DebugLogContains("Resetting"));
  EXPECT_EQ(RenderState(D3DRS_ALPHAREF), 128u);
  EXPECT_EQ(RenderState(D3DRS_TEXTUREFACTOR), 0x80808080u);
  // The reset device forgot the wireframe; the cache must not skip setting it again.
  device()->ResetCallCounts();
  RenderStateCache::SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
  EXPECT_EQ(Calls(DeviceCall::SetRenderState), 1u);
}

}  // namespace
