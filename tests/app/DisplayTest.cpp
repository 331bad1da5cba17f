#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Game/Frontend/VideoModes.h"
#include "tests/support/AppHarness.h"
#include "tests/support/LogCapture.h"

namespace {

class DisplayTest : public AppTest {
 protected:
  Display& display() { return *m_harness.app().GetDisplay(); }
};

TEST(ReportD3DError, WritesTheCodesTextToTheDebuggerOnly) {
  auto report = [](gfx::HRESULT hr) {
    testing::internal::CaptureStderr();
    ReportD3DError(hr);
    return testing::internal::GetCapturedStderr();
  };
  EXPECT_EQ(report(gfx::D3D_OK), "");
  EXPECT_EQ(report(gfx::S_FALSE), "\n D3D Error :Unknown Error\n");
  EXPECT_EQ(report(static_cast<gfx::HRESULT>(0x88760820)), "\n D3D Error :Unknown Error\n");
  EXPECT_EQ(report(gfx::D3DERR_DEVICELOST),
            "\n D3D Error :D3DERR_DEVICELOST: The device has been lost but cannot be reset at this "
            "time. Therefore, rendering is not possible.\n");
  EXPECT_EQ(report(gfx::D3DOK_NOAUTOGEN).rfind("\n D3D Error :D3DOK_NOAUTOGEN: This is a success code.", 0), 0u);
}

TEST_F(DisplayTest, ModeListKeepsLargeEnoughModesOfTheTwoFormats) {
  const gfx::D3DDISPLAYMODE modes[] = {
      {640, 480, 60, gfx::D3DFMT_R5G6B5},   {640, 480, 75, gfx::D3DFMT_R5G6B5},
      {640, 480, 60, gfx::D3DFMT_X8R8G8B8}, {640, 480, 85, gfx::D3DFMT_X8R8G8B8},
      {320, 240, 60, gfx::D3DFMT_X8R8G8B8}, {800, 400, 60, gfx::D3DFMT_X8R8G8B8},
      {1024, 768, 60, gfx::D3DFMT_X1R5G5B5}, {1024, 768, 60, gfx::D3DFMT_A2R10G10B10},
  };
  m_harness.faults().SetDisplayModes(modes, 8);
  const gfx::D3DVIEWPORT9 viewport = {0, 0, 64, 64, 0.0f, 1.0f};
  display().SetViewport(&viewport);  // no device yet: nothing to do
  EXPECT_EQ(display().IsResolutionSupported(640, 480), 0);
  ASSERT_TRUE(m_harness.Start());
  ASSERT_EQ(display().GetNumResolutions(0), 2);
  EXPECT_EQ(display().GetNumResolutions(1), 0);
  EXPECT_EQ(display().GetResolution(0, 0)->bits + display().GetResolution(0, 1)->bits, 48);
  EXPECT_EQ(display().IsResolutionSupported(640, 480), 1);
  EXPECT_EQ(display().IsResolutionSupported(1024, 768), 0);
  EXPECT_EQ(display().IsResolutionSupported(320, 240), 0);

  DisplayModeTable table = {};
  VideoMenu& menu = GetVideoMenu();
  menu = VideoMenu{};
  menu.current = 5;
  display().ListResolutions(&table, &HideDisplayModeItems, nullptr);
  ASSERT_EQ(table.count, 2);
  EXPECT_STREQ(table.rows[0].label, "640 x 480 x 32 Bit");
  EXPECT_STREQ(table.rows[1].label, "640 x 480 x 16 Bit");
  EXPECT_EQ(menu.items[1].hidden, 0);
  EXPECT_EQ(menu.items[2].hidden, 1);
  EXPECT_EQ(menu.items[31].skip, 1);
  EXPECT_EQ(menu.current, 1) << "the selection leaves the hidden rows";
}

TEST_F(DisplayTest, MoreThanThirtyTwoResolutionsFillOnlyTheTable) {
  std::vector<gfx::D3DDISPLAYMODE> modes;
  for (uint32_t i = 0; i < 40; ++i) modes.push_back({640 + 8 * i, 480, 60, gfx::D3DFMT_X8R8G8B8});
  m_harness.faults().SetDisplayModes(modes.data(), static_cast<uint32_t>(modes.size()));
  ASSERT_TRUE(m_harness.Start());
  DisplayModeTable table = {};
  VideoMenu& menu = GetVideoMenu();
  menu = VideoMenu{};
  display().ListResolutions(&table, &HideDisplayModeItems, nullptr);
  EXPECT_EQ(table.count, 32);
  for (const VideoMenuItem& item : menu.items) EXPECT_EQ(item.hidden, 0);
}

TEST_F(DisplayTest, ModeChangesWaitForTheNextPresent) {
  ASSERT_TRUE(m_harness.Start());
  display().SetResolution(800, 600, 32);
  EXPECT_EQ(display().GetModeChanged(), 1);
  EXPECT_EQ(m_harness.app().GetWidth(), 640);
  m_harness.RunFrames(1);
  EXPECT_EQ(display().GetModeChanged(), 0);
  EXPECT_EQ(m_harness.app().GetWidth(), 800);
  EXPECT_EQ(m_harness.app().GetHeight(), 600);
  std::vector<uint32_t> pixels(800 * 600);
  EXPECT_EQ(display().GetDevice()->ReadBackBuffer(pixels.data(), 800, 600), gfx::D3D_OK);

  // Only the depth changes: still a change (full screen would use the other format).
  display().SetResolution(800, 600, 16);
  EXPECT_EQ(display().GetModeChanged(), 1);
  EXPECT_EQ(display().GetModeFormat(), gfx::D3DFMT_R5G6B5);
  m_harness.RunFrames(1);
  // The mode already current: nothing to do.
  display().SetResolution(800, 600, 16);
  EXPECT_EQ(display().GetModeChanged(), 0);
  display().SetFullScreen(1);
  EXPECT_EQ(display().IsWindowed(), 0);
}

TEST_F(DisplayTest, ALostDeviceIsResetAtTheNextPresent) {
  ASSERT_TRUE(m_harness.Start());
  m_harness.faults().ForceDeviceLost(false);
  // The Present that notices the loss resets the device at once.
  m_harness.RunFrames(1);
  EXPECT_EQ(display().GetModeChanged(), 0);
  EXPECT_TRUE(DebugLogContains("Testing co-op level"));
  EXPECT_TRUE(DebugLogContains("Resetting"));
  EXPECT_EQ(gfx::TestHooks::LiveDeviceCount(), 1);
}

TEST_F(DisplayTest, ADeviceThatCannotBeResetIsReplacedNotLeaked) {
  ASSERT_TRUE(m_harness.Start());
  gfx::D3DDevice* before = display().GetDevice();
  m_harness.faults().ForceDeviceLost(true);
  m_harness.RunFrames(2);
  EXPECT_TRUE(DebugLogContains("Lost device in TestCooperativeLevel, recreated") ||
              DebugLogContains("Lost device in Reset, recreated"));
  EXPECT_NE(display().GetDevice(), nullptr);
  EXPECT_EQ(gfx::TestHooks::LiveDeviceCount(), 1) << "the old device is released first";
  EXPECT_LE(gfx::TestHooks::PeakLiveDeviceCount(), 1) << "never two devices at once";
  (void)before;
  m_harness.RunFrames(2);
  EXPECT_EQ(display().GetModeChanged(), 0);
}

TEST_F(DisplayTest, ARecreationThatFailsIsTriedAgain) {
  ASSERT_TRUE(m_harness.Start());
  m_harness.faults().ForceDeviceLost(true);
  m_harness.faults().FailCreateDevice(2, 0);
  m_harness.RunFrames(1);
  EXPECT_EQ(display().GetDevice(), nullptr);
  EXPECT_EQ(display().GetModeChanged(), 1);
  m_harness.RunFrames(1);  // drawing with no device is skipped, and the device comes back
  EXPECT_NE(display().GetDevice(), nullptr);
  EXPECT_EQ(gfx::TestHooks::LiveDeviceCount(), 1);
  // Recovery never stops the program with a message box; one log line tells of the failure.
  EXPECT_TRUE(m_harness.system().MessageBoxes().empty());
  EXPECT_TRUE(DebugLogContains("Unable to create the device again; will keep trying"));
}

TEST_F(DisplayTest, AModeTheDeviceRefusesFallsBackToTheLastGoodOne) {
  ASSERT_TRUE(m_harness.Start());
  display().SetResolution(100000, 480, 32);
  m_harness.RunFrames(1);
  EXPECT_TRUE(DebugLogContains("Unable to reset the device to 100000x480, going back to 640x480"));
  EXPECT_EQ(display().GetModeChanged(), 1) << "the good mode is reset at the next Present";
  EXPECT_EQ(m_harness.app().GetWidth(), 640);
  m_harness.RunFrames(1);
  EXPECT_EQ(display().GetModeChanged(), 0);
  EXPECT_EQ(display().GetModeWidth(), 640);
  std::vector<uint32_t> pixels(640 * 480);
  EXPECT_EQ(display().GetDevice()->ReadBackBuffer(pixels.data(), 640, 480), gfx::D3D_OK);
}

TEST_F(DisplayTest, AVertexShaderLevelBelowOneOneMeansSoftwareProcessing) {
  m_harness.faults().SetReportedVertexShaderVersion(0xFFFE0100u);
  ASSERT_TRUE(m_harness.Start());
  EXPECT_EQ(display().GetVertexShaderLevel(), 0);
  EXPECT_EQ(gfx::TestHooks::LiveDeviceCount(), 1);
  m_harness.faults().SetReportedVertexShaderVersion(0);
  m_harness.Stop();
  ASSERT_TRUE(m_harness.Start());
  EXPECT_EQ(display().GetVertexShaderLevel(), 1);
}

TEST(DisplayFormats, BitCountsByFormat) {
  using namespace gfx;
  const struct {
    D3DFORMAT format;
    int32_t depth, stencil, alpha;
  } formats[] = {{D3DFMT_D32, 32, 0, 0},         {D3DFMT_D15S1, 15, 1, 0},
                 {D3DFMT_D24S8, 24, 8, 0},       {D3DFMT_D24X8, 24, 0, 0},
                 {D3DFMT_D24X4S4, 24, 4, 0},     {D3DFMT_D16, 16, 0, 0},
                 {D3DFMT_A8R8G8B8, 0, 0, 8},     {D3DFMT_A1R5G5B5, 0, 0, 1},
                 {D3DFMT_A4R4G4B4, 0, 0, 4},     {D3DFMT_A8R3G3B2, 0, 0, 8},
                 {D3DFMT_A2B10G10R10, 0, 0, 2},  {D3DFMT_A2R10G10B10, 0, 0, 2},
                 {D3DFMT_X8R8G8B8, 0, 0, 0}};
  for (const auto& f : formats) {
    EXPECT_EQ(Display::DepthBits(f.format), f.depth) << f.format;
    EXPECT_EQ(Display::StencilBits(f.format), f.stencil) << f.format;
    EXPECT_EQ(Display::AlphaBits(f.format), f.alpha) << f.format;
  }
}

}  // namespace
