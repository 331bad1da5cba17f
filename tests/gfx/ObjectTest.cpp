// The Direct3D object: its creation, its one adapter's identifier and its display-mode list.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "Platform/Gfx/D3D.h"
#include "Platform/Gfx/DisplayModes.h"
#include "tests/support/ScriptedDeviceFaults.h"

using namespace gfx;

namespace {

class ObjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    d3d_ = Direct3DCreate9(32);
    ASSERT_NE(d3d_, nullptr);
  }
  void TearDown() override {
    if (d3d_) d3d_->Release();
  }

  std::vector<D3DDISPLAYMODE> Modes(D3DFORMAT format) {
    std::vector<D3DDISPLAYMODE> modes;
    const uint32_t count = d3d_->GetAdapterModeCount(0, format);
    for (uint32_t i = 0; i < count; ++i) {
      D3DDISPLAYMODE mode{};
      EXPECT_EQ(d3d_->EnumAdapterModes(0, format, i, &mode), D3D_OK);
      modes.push_back(mode);
    }
    D3DDISPLAYMODE past{};
    EXPECT_EQ(d3d_->EnumAdapterModes(0, format, count, &past), D3DERR_INVALIDCALL);
    return modes;
  }

  ScriptedDeviceFaults faults_;
  D3DObject* d3d_ = nullptr;
};

TEST_F(ObjectTest, CreationFailsWhenTheHookSaysSoOrTheSdkVersionIsWrong) {
  faults_.FailDirect3DCreate(true);
  EXPECT_EQ(Direct3DCreate9(32), nullptr);
  faults_.FailDirect3DCreate(false);
  EXPECT_EQ(Direct3DCreate9(31), nullptr);
  D3DObject* again = Direct3DCreate9(32);
  ASSERT_NE(again, nullptr);
  // Two objects at once, as when the engine makes one while a device of another lives.
  EXPECT_EQ(again->GetAdapterCount(), 1u);
  again->Release();
  EXPECT_EQ(d3d_->GetAdapterCount(), 1u);
}

TEST_F(ObjectTest, TheAdapterNamesItsDriverWithNonZeroIds) {
  D3DADAPTER_IDENTIFIER9 identifier;
  std::memset(&identifier, 0xCC, sizeof identifier);
  ASSERT_EQ(d3d_->GetAdapterIdentifier(0, 0, &identifier), D3D_OK);
  // The engine passes over an adapter whose vendor and device are both 0.
  EXPECT_NE(identifier.VendorId, 0u);
  EXPECT_NE(identifier.DeviceId, 0u);
  EXPECT_NE(memchr(identifier.Description, 0, sizeof identifier.Description), nullptr);
  EXPECT_GT(std::strlen(identifier.Description), 0u);
  EXPECT_NE(memchr(identifier.Driver, 0, sizeof identifier.Driver), nullptr);
  EXPECT_NE(memchr(identifier.DeviceName, 0, sizeof identifier.DeviceName), nullptr);

  // The same driver gives the same identity every time.
  D3DObject* other = Direct3DCreate9(32);
  ASSERT_NE(other, nullptr);
  D3DADAPTER_IDENTIFIER9 second{};
  ASSERT_EQ(other->GetAdapterIdentifier(0, 0, &second), D3D_OK);
  other->Release();
  EXPECT_EQ(second.VendorId, identifier.VendorId);
  EXPECT_EQ(second.DeviceId, identifier.DeviceId);
  EXPECT_STREQ(second.Description, identifier.Description);

  EXPECT_EQ(d3d_->GetAdapterIdentifier(1, 0, &identifier), D3DERR_INVALIDCALL);
  EXPECT_EQ(d3d_->GetAdapterIdentifier(0, 0, nullptr), D3DERR_INVALIDCALL);
}

TEST_F(ObjectTest, TheModeListHolds640x480InBothDesktopFormatsAndNothingSmaller) {
  for (D3DFORMAT format : {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5}) {
    const std::vector<D3DDISPLAYMODE> modes = Modes(format);
    ASSERT_FALSE(modes.empty());
    bool has640 = false;
    std::set<std::pair<uint32_t, uint32_t>> sizes;
    for (const D3DDISPLAYMODE& mode : modes) {
      EXPECT_GE(mode.Width, 640u);
      EXPECT_GE(mode.Height, 480u);
      EXPECT_EQ(mode.Format, format);
      EXPECT_GT(mode.RefreshRate, 0u);
      if (mode.Width == 640 && mode.Height == 480 && mode.RefreshRate == 60) has640 = true;
      sizes.insert({mode.Width, mode.Height});
    }
    EXPECT_TRUE(has640) << format;
    // The headless desktop is 1024 x 768, so the usual sizes up to it are offered.
    EXPECT_TRUE(sizes.count({800, 600})) << format;
    EXPECT_TRUE(sizes.count({1024, 768})) << format;
  }
  EXPECT_EQ(d3d_->GetAdapterModeCount(0, D3DFMT_X1R5G5B5), 0u);
  EXPECT_EQ(d3d_->GetAdapterModeCount(0, D3DFMT_A2R10G10B10), 0u);
  EXPECT_EQ(d3d_->GetAdapterModeCount(1, D3DFMT_X8R8G8B8), 0u);
  D3DDISPLAYMODE mode{};
  EXPECT_EQ(d3d_->EnumAdapterModes(0, D3DFMT_X8R8G8B8, 0, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(d3d_->EnumAdapterModes(1, D3DFMT_X8R8G8B8, 0, &mode), D3DERR_INVALIDCALL);
}

TEST_F(ObjectTest, AReplacedModeListIsListedByFormatUntilItIsCleared) {
  const std::vector<D3DDISPLAYMODE> real = Modes(D3DFMT_R5G6B5);
  // Unfiltered: the engine's own filter is what tests of it want to see at work.
  const D3DDISPLAYMODE scripted[] = {
      {640, 480, 60, D3DFMT_R5G6B5},    {640, 480, 75, D3DFMT_R5G6B5},
      {320, 240, 60, D3DFMT_R5G6B5},    {640, 480, 60, D3DFMT_X1R5G5B5},
      {1280, 1024, 60, D3DFMT_A2R10G10B10}, {640, 480, 60, D3DFMT_X8R8G8B8},
  };
  faults_.SetDisplayModes(scripted, 6);
  const std::vector<D3DDISPLAYMODE> r565 = Modes(D3DFMT_R5G6B5);
  ASSERT_EQ(r565.size(), 3u);
  EXPECT_EQ(r565[1].RefreshRate, 75u);
  EXPECT_EQ(r565[2].Width, 320u);
  ASSERT_EQ(Modes(D3DFMT_X1R5G5B5).size(), 1u);
  ASSERT_EQ(Modes(D3DFMT_A2R10G10B10).size(), 1u);
  EXPECT_EQ(Modes(D3DFMT_A2R10G10B10)[0].Width, 1280u);
  ASSERT_EQ(Modes(D3DFMT_X8R8G8B8).size(), 1u);

  faults_.SetDisplayModes(nullptr, 0);
  const std::vector<D3DDISPLAYMODE> restored = Modes(D3DFMT_R5G6B5);
  ASSERT_EQ(restored.size(), real.size());
  for (size_t i = 0; i < real.size(); ++i) {
    EXPECT_EQ(restored[i].Width, real[i].Width);
    EXPECT_EQ(restored[i].Height, real[i].Height);
  }
}

TEST(DisplayModeListTest, KeepsDistinctSizesOfAtLeast640x480AndAddsTheStandardOnes) {
  // A driver's list with repeats, unknown refresh rates and sizes too small for the game.
  const std::vector<DesktopModeSize> reported = {
      {1920, 1080, 60}, {1920, 1080, 60}, {1920, 1080, 144}, {640, 400, 70},
      {320, 240, 60},   {720, 480, 0},    {0, 0, 0},
  };
  const std::vector<D3DDISPLAYMODE> modes = BuildDisplayModes(reported, 1920, 1080);
  const std::vector<std::tuple<uint32_t, uint32_t, uint32_t>> expected = {
      {640, 480, 60},   {720, 480, 60},    {800, 600, 60},
      {1024, 768, 60},  {1920, 1080, 60},  {1920, 1080, 144},
  };
  ASSERT_EQ(modes.size(), expected.size());
  for (size_t i = 0; i < modes.size(); ++i) {
    EXPECT_EQ(std::make_tuple(modes[i].Width, modes[i].Height, modes[i].RefreshRate), expected[i])
        << i;
  }

  // A small desktop gets no size beyond itself, but 640 x 480 always.
  const std::vector<D3DDISPLAYMODE> small = BuildDisplayModes({{800, 600, 0}}, 800, 600);
  ASSERT_EQ(small.size(), 2u);
  EXPECT_EQ(small[0].Width, 640u);
  EXPECT_EQ(small[1].Width, 800u);
  const std::vector<D3DDISPLAYMODE> none = BuildDisplayModes({}, 0, 0);
  ASSERT_EQ(none.size(), 1u);
  EXPECT_EQ(none[0].Width, 640u);
  EXPECT_EQ(none[0].Height, 480u);

  EXPECT_TRUE(ListsModesFor(D3DFMT_X8R8G8B8));
  EXPECT_TRUE(ListsModesFor(D3DFMT_R5G6B5));
  EXPECT_FALSE(ListsModesFor(D3DFMT_X1R5G5B5));
  EXPECT_FALSE(ListsModesFor(D3DFMT_A2R10G10B10));
}

}  // namespace
