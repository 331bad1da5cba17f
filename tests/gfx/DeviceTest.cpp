// The display device on the real OpenGL driver (llvmpipe in headless runs): clears, viewports,
// back-buffer sizes, resets, forced loss and failure injection, checked by reading pixels back.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "Platform/Gfx/D3D.h"
#include "tests/gfx/DeviceFixture.h"

using namespace gfx;

namespace {

constexpr uint32_t kHardwareFlags = D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE;
constexpr uint32_t kSoftwareFlags = D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE;

// The engine's windowed presentation asks for a lockable back buffer and discards depth.
D3DPRESENT_PARAMETERS WindowedParams(uint32_t width, uint32_t height, void* window) {
  return gfxtest::WindowedParams(width, height, window,
                                 D3DPRESENTFLAG_LOCKABLE_BACKBUFFER |
                                     D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL);
}

// Rectangles are off by more than 1 per channel unless a test allows more.
int CountOff(const std::vector<uint32_t>& pixels, int width, int x0, int y0, int x1, int y1,
             uint32_t expected, int tolerance = 1) {
  return gfxtest::CountOff(pixels, width, x0, y0, x1, y1, expected, tolerance);
}

// Devices are made by the tests (several, or none) and all released before the window closes.
class DeviceTest : public gfxtest::DeviceFixture {
 protected:
  DeviceTest() : DeviceFixture(Options{.withDevice = false, .expectNoLiveDevices = true}) {}

  void TearDown() override {
    for (D3DDevice* device : devices_) device->Release();
    DeviceFixture::TearDown();
  }

  // A device the fixture releases; null when creation failed (the result is in *result).
  D3DDevice* MakeDevice(uint32_t width, uint32_t height, uint32_t flags = kHardwareFlags,
                        HRESULT* result = nullptr) {
    D3DPRESENT_PARAMETERS params = WindowedParams(width, height, window_);
    D3DDevice* device = nullptr;
    const HRESULT hr = d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, flags, &params, &device);
    if (result) *result = hr;
    if (device) devices_.push_back(device);
    return device;
  }

  void Forget(D3DDevice* device) {
    for (size_t i = 0; i < devices_.size(); ++i) {
      if (devices_[i] == device) {
        devices_.erase(devices_.begin() + static_cast<long>(i));
        return;
      }
    }
  }

  static std::vector<uint32_t> Read(D3DDevice* device, uint32_t width, uint32_t height) {
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, 0xDEADBEEF);
    EXPECT_EQ(device->ReadBackBuffer(pixels.data(), width, height), D3D_OK);
    return pixels;
  }

  std::vector<D3DDevice*> devices_;
};

TEST_F(DeviceTest, ClearFillsTheWholeBackBufferWithTheExactColour) {
  D3DDevice* device = MakeDevice(640, 480);
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(TestHooks::LiveDeviceCount(), 1);

  // Four different channel values show that no channels are swapped or lost.
  const uint32_t colours[] = {0xFF336699u, 0x80FF1020u, 0x00000000u, 0xFFFFFFFFu};
  for (uint32_t colour : colours) {
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, colour, 1.0f, 0),
              D3D_OK);
    const std::vector<uint32_t> pixels = Read(device, 640, 480);
    EXPECT_EQ(CountOff(pixels, 640, 0, 0, 640, 480, colour, 0), 0) << std::hex << colour;
  }

  // The caller's buffer must match the back buffer's size.
  std::vector<uint32_t> small(320 * 240);
  EXPECT_EQ(device->ReadBackBuffer(small.data(), 320, 240), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->ReadBackBuffer(nullptr, 640, 480), D3DERR_INVALIDCALL);
}

TEST_F(DeviceTest, ViewportLimitsTheClearToItsRectangleMeasuredFromTheTop) {
  D3DDevice* device = MakeDevice(640, 480);
  ASSERT_NE(device, nullptr);
  D3DVIEWPORT9 viewport{};
  ASSERT_EQ(device->GetViewport(&viewport), D3D_OK);
  EXPECT_EQ(viewport.X, 0u);
  EXPECT_EQ(viewport.Y, 0u);
  EXPECT_EQ(viewport.Width, 640u);
  EXPECT_EQ(viewport.Height, 480u);
  EXPECT_EQ(viewport.MinZ, 0.0f);
  EXPECT_EQ(viewport.MaxZ, 1.0f);

  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0), D3D_OK);
  // Near the top and off the middle: a rectangle turned the wrong way up lands elsewhere.
  const D3DVIEWPORT9 corner{100, 50, 200, 120, 0.0f, 1.0f};
  ASSERT_EQ(device->SetViewport(&corner), D3D_OK);
  D3DVIEWPORT9 back{};
  ASSERT_EQ(device->GetViewport(&back), D3D_OK);
  EXPECT_EQ(back.X, 100u);
  EXPECT_EQ(back.Y, 50u);
  EXPECT_EQ(back.Width, 200u);
  EXPECT_EQ(back.Height, 120u);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFF0000u, 1.0f, 0), D3D_OK);

  const std::vector<uint32_t> pixels = Read(device, 640, 480);
  EXPECT_EQ(CountOff(pixels, 640, 102, 52, 298, 168, 0xFFFF0000u), 0);
  EXPECT_EQ(CountOff(pixels, 640, 0, 0, 640, 48, 0xFF000000u), 0);     // above
  EXPECT_EQ(CountOff(pixels, 640, 0, 172, 640, 480, 0xFF000000u), 0);  // below
  EXPECT_EQ(CountOff(pixels, 640, 0, 52, 98, 168, 0xFF000000u), 0);    // left
  EXPECT_EQ(CountOff(pixels, 640, 302, 52, 640, 168, 0xFF000000u), 0); // right

  // A viewport whose corner wraps is refused and the old one stays.
  const D3DVIEWPORT9 overflowing{0xFFFFFFF0u, 0, 0x20, 10, 0.0f, 1.0f};
  EXPECT_EQ(device->SetViewport(&overflowing), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->SetViewport(nullptr), D3DERR_INVALIDCALL);
  ASSERT_EQ(device->GetViewport(&back), D3D_OK);
  EXPECT_EQ(back.X, 100u);
  EXPECT_EQ(back.Width, 200u);
}

TEST_F(DeviceTest, ClearRectanglesAreClippedToTheViewport) {
  D3DDevice* device = MakeDevice(640, 480);
  ASSERT_NE(device, nullptr);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0), D3D_OK);
  const D3DVIEWPORT9 viewport{0, 0, 320, 240, 0.0f, 1.0f};
  ASSERT_EQ(device->SetViewport(&viewport), D3D_OK);
  // One rectangle straddles the viewport's right edge, one lies wholly outside it, one is empty.
  const D3DRECT rects[] = {{200, 100, 400, 200}, {400, 300, 600, 400}, {50, 50, 50, 90}};
  ASSERT_EQ(device->Clear(3, rects, D3DCLEAR_TARGET, 0xFF00FF00u, 1.0f, 0), D3D_OK);
  // Rectangles without a count are refused and clear nothing.
  EXPECT_EQ(device->Clear(0, rects, D3DCLEAR_TARGET, 0xFFFF0000u, 1.0f, 0), D3DERR_INVALIDCALL);

  std::vector<uint32_t> pixels = Read(device, 640, 480);
  EXPECT_EQ(CountOff(pixels, 640, 202, 102, 318, 198, 0xFF00FF00u), 0);
  EXPECT_EQ(CountOff(pixels, 640, 322, 0, 640, 480, 0xFF000000u), 0);
  EXPECT_EQ(CountOff(pixels, 640, 0, 0, 198, 480, 0xFF000000u), 0);
  EXPECT_EQ(CountOff(pixels, 640, 0, 202, 640, 480, 0xFF000000u), 0);

  // A count without rectangles clears the whole viewport, as no count does.
  EXPECT_EQ(device->Clear(1, nullptr, D3DCLEAR_TARGET, 0xFFFF0000u, 1.0f, 0), D3D_OK);
  pixels = Read(device, 640, 480);
  EXPECT_EQ(CountOff(pixels, 640, 0, 0, 320, 240, 0xFFFF0000u), 0);
  EXPECT_EQ(CountOff(pixels, 640, 320, 0, 640, 480, 0xFF000000u), 0);
  EXPECT_EQ(CountOff(pixels, 640, 0, 240, 320, 480, 0xFF000000u), 0);
}

TEST_F(DeviceTest, DepthAndStencilClearsFollowTheDepthFormat) {
  D3DDevice* device = MakeDevice(640, 480);  // D24X8: depth, no stencil
  ASSERT_NE(device, nullptr);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FFu, 1.0f, 0), D3D_OK);
  EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 0.5f, 0), D3D_OK);
  // A refused call changes nothing, not even the colour it also asked for.
  EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_STENCIL, 0xFFFFFFFFu, 1.0f, 0),
            D3DERR_INVALIDCALL);
  std::vector<uint32_t> pixels = Read(device, 640, 480);
  EXPECT_EQ(CountOff(pixels, 640, 0, 0, 640, 480, 0xFF0000FFu), 0);

  D3DPRESENT_PARAMETERS params = WindowedParams(640, 480, window_);
  params.AutoDepthStencilFormat = D3DFMT_D24S8;
  ASSERT_EQ(device->Reset(&params), D3D_OK);
  EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL,
                          0xFF00FFFFu, 1.0f, 7),
            D3D_OK);

  params.EnableAutoDepthStencil = 0;
  ASSERT_EQ(device->Reset(&params), D3D_OK);
  EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF123456u, 1.0f, 0), D3D_OK);
  pixels = Read(device, 640, 480);
  EXPECT_EQ(CountOff(pixels, 640, 0, 0, 640, 480, 0xFF123456u), 0);
}

TEST_F(DeviceTest, BackBufferLargerThanTheWindowIsStretchedIntoItAtPresent) {
  D3DDevice* device = MakeDevice(800, 600);
  ASSERT_NE(device, nullptr);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FFu, 1.0f, 0), D3D_OK);
  // The top-left quarter red: the window must show it top-left at its own scale.
  const D3DVIEWPORT9 quarter{0, 0, 400, 300, 0.0f, 1.0f};
  ASSERT_EQ(device->SetViewport(&quarter), D3D_OK);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFF0000u, 1.0f, 0), D3D_OK);

  std::vector<uint32_t> wrongSize(640 * 480);
  EXPECT_EQ(device->ReadBackBuffer(wrongSize.data(), 640, 480), D3DERR_INVALIDCALL);
  const std::vector<uint32_t> pixels = Read(device, 800, 600);
  EXPECT_EQ(CountOff(pixels, 800, 0, 0, 398, 298, 0xFFFF0000u), 0);
  EXPECT_EQ(CountOff(pixels, 800, 402, 0, 800, 600, 0xFF0000FFu), 0);
  EXPECT_EQ(CountOff(pixels, 800, 0, 302, 800, 600, 0xFF0000FFu), 0);

  ASSERT_EQ(device->BeginScene(), D3D_OK);
  ASSERT_EQ(device->EndScene(), D3D_OK);
  ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  std::vector<uint32_t> shown(640 * 480);
  ASSERT_EQ(TestHooks::ReadPresentedPixels(device, shown.data(), 640, 480), D3D_OK);
  // Filtering blends a pixel or two at the seams; stay clear of them.
  EXPECT_EQ(CountOff(shown, 640, 0, 0, 316, 236, 0xFFFF0000u, 2), 0);
  EXPECT_EQ(CountOff(shown, 640, 324, 0, 640, 480, 0xFF0000FFu, 2), 0);
  EXPECT_EQ(CountOff(shown, 640, 0, 244, 640, 480, 0xFF0000FFu, 2), 0);
}

TEST_F(DeviceTest, ResetRebuildsTheBackBufferAtTheNewSizeAndCoversItWithTheViewport) {
  D3DDevice* device = MakeDevice(640, 480);
  ASSERT_NE(device, nullptr);
  const D3DVIEWPORT9 small{10, 10, 20, 20, 0.0f, 1.0f};
  ASSERT_EQ(device->SetViewport(&small), D3D_OK);

  D3DPRESENT_PARAMETERS params = WindowedParams(1024, 768, window_);
  ASSERT_EQ(device->Reset(&params), D3D_OK);
  EXPECT_EQ(params.BackBufferFormat, D3DFMT_X8R8G8B8);  // the desktop format, written back
  D3DVIEWPORT9 viewport{};
  ASSERT_EQ(device->GetViewport(&viewport), D3D_OK);
  EXPECT_EQ(viewport.Width, 1024u);
  EXPECT_EQ(viewport.Height, 768u);

  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF204060u, 1.0f, 0), D3D_OK);
  std::vector<uint32_t> old(640 * 480);
  EXPECT_EQ(device->ReadBackBuffer(old.data(), 640, 480), D3DERR_INVALIDCALL);
  std::vector<uint32_t> pixels = Read(device, 1024, 768);
  EXPECT_EQ(CountOff(pixels, 1024, 0, 0, 1024, 768, 0xFF204060u), 0);

  // A size the driver cannot make is refused and the device keeps the buffer it had.
  D3DPRESENT_PARAMETERS huge = WindowedParams(1u << 20, 16, window_);
  EXPECT_EQ(device->Reset(&huge), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->Reset(nullptr), D3DERR_INVALIDCALL);
  pixels = Read(device, 1024, 768);
  EXPECT_EQ(CountOff(pixels, 1024, 0, 0, 1024, 768, 0xFF204060u), 0);

  // Zero sizes in a windowed presentation take the window's size.
  D3DPRESENT_PARAMETERS windowSized = WindowedParams(0, 0, window_);
  ASSERT_EQ(device->Reset(&windowSized), D3D_OK);
  EXPECT_EQ(windowSized.BackBufferWidth, 640u);
  EXPECT_EQ(windowSized.BackBufferHeight, 480u);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0A0B0Cu, 1.0f, 0), D3D_OK);
  pixels = Read(device, 640, 480);
  EXPECT_EQ(CountOff(pixels, 640, 0, 0, 640, 480, 0xFF0A0B0Cu), 0);
  EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

TEST_F(DeviceTest, ForcedLossHoldsUntilAResetOrANewDevice) {
  D3DDevice* device = MakeDevice(640, 480);
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);

  // Lost, and resettable.
  faults_.ForceDeviceLost(false);
  EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  D3DPRESENT_PARAMETERS params = WindowedParams(800, 600, window_);
  ASSERT_EQ(device->Reset(&params), D3D_OK);
  EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
  EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);

  // Lost for good: Reset fails too, and only a new device ends it.
  faults_.ForceDeviceLost(true);
  EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);
  EXPECT_EQ(device->Reset(&params), D3DERR_DEVICELOST);
  EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);
  EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  device->Release();
  Forget(device);
  EXPECT_EQ(TestHooks::LiveDeviceCount(), 0);

  D3DDevice* fresh = MakeDevice(640, 480);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->TestCooperativeLevel(), D3D_OK);
  EXPECT_EQ(fresh->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

TEST_F(DeviceTest, CreateDeviceFailsWhereTheHookSaysAndOnBadArguments) {
  // Hardware vertex processing only: the software retry gets a device.
  faults_.FailCreateDevice(1, kHardwareFlags);
  HRESULT hr = D3D_OK;
  EXPECT_EQ(MakeDevice(640, 480, kHardwareFlags, &hr), nullptr);
  EXPECT_EQ(hr, D3DERR_NOTAVAILABLE);
  EXPECT_EQ(TestHooks::LiveDeviceCount(), 0);
  D3DDevice* software = MakeDevice(640, 480, kSoftwareFlags, &hr);
  EXPECT_NE(software, nullptr);
  EXPECT_EQ(hr, D3D_OK);
  EXPECT_EQ(TestHooks::LiveDeviceCount(), 1);

  // Any flags, twice; the third call succeeds.
  faults_.FailCreateDevice(2, 0);
  EXPECT_EQ(MakeDevice(640, 480, kHardwareFlags, &hr), nullptr);
  EXPECT_EQ(MakeDevice(640, 480, kSoftwareFlags, &hr), nullptr);
  EXPECT_NE(MakeDevice(640, 480, kHardwareFlags, &hr), nullptr);
  EXPECT_EQ(TestHooks::LiveDeviceCount(), 2);

  D3DPRESENT_PARAMETERS params = WindowedParams(640, 480, window_);
  D3DDevice* device = reinterpret_cast<D3DDevice*>(0x1);
  EXPECT_EQ(d3d_->CreateDevice(1, D3DDEVTYPE_HAL, window_, kHardwareFlags, &params, &device),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(device, nullptr);
  EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, kHardwareFlags, nullptr, &device),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, D3DCREATE_FPU_PRESERVE, &params,
                               &device),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_,
                               D3DCREATE_HARDWARE_VERTEXPROCESSING |
                                   D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                               &params, &device),
            D3DERR_INVALIDCALL);
  params.hDeviceWindow = nullptr;
  EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, kHardwareFlags, &params, &device),
            D3DERR_INVALIDCALL);
  D3DPRESENT_PARAMETERS fullScreenUnknown = WindowedParams(640, 480, window_);
  fullScreenUnknown.Windowed = 0;
  EXPECT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, kHardwareFlags, &fullScreenUnknown,
                               &device),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(device, nullptr);
  EXPECT_EQ(TestHooks::LiveDeviceCount(), 2);
}

TEST_F(DeviceTest, CapsDescribeAVertexShader11DeviceUnlessAHookSaysOtherwise) {
  D3DDevice* device = MakeDevice(640, 480);
  ASSERT_NE(device, nullptr);
  D3DCAPS9 caps{};
  ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
  EXPECT_EQ(caps.VertexShaderVersion, 0xFFFE0101u);
  EXPECT_EQ(caps.MaxVertexShaderConst, 256u);
  EXPECT_GE(caps.MaxSimultaneousTextures, 2u);
  EXPECT_GE(caps.MaxTextureWidth, 1024u);
  EXPECT_GE(caps.MaxTextureHeight, 1024u);
  EXPECT_EQ(caps.DeviceType, D3DDEVTYPE_HAL);
  EXPECT_EQ(device->GetDeviceCaps(nullptr), D3DERR_INVALIDCALL);

  faults_.SetReportedVertexShaderVersion(0xFFFE0100u);
  ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
  EXPECT_EQ(caps.VertexShaderVersion, 0xFFFE0100u);
  faults_.SetReportedVertexShaderVersion(0);
  ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
  EXPECT_EQ(caps.VertexShaderVersion, 0xFFFE0101u);
}

TEST_F(DeviceTest, ScenesDoNotNest) {
  D3DDevice* device = MakeDevice(640, 480);
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(device->EndScene(), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->BeginScene(), D3D_OK);
  EXPECT_EQ(device->BeginScene(), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->EndScene(), D3D_OK);
  EXPECT_EQ(device->EndScene(), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->BeginScene(), D3D_OK);
  EXPECT_EQ(device->EndScene(), D3D_OK);
  EXPECT_EQ(device->EvictManagedResources(), D3D_OK);
}

TEST_F(DeviceTest, TwoDevicesOnOneWindowKeepTheirOwnBackBuffers) {
  // The engine creates a new device when a reset fails, before it lets the old one go.
  D3DDevice* first = MakeDevice(640, 480);
  ASSERT_NE(first, nullptr);
  ASSERT_EQ(first->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFAA0000u, 1.0f, 0), D3D_OK);
  D3DDevice* second = MakeDevice(800, 600, kSoftwareFlags);
  ASSERT_NE(second, nullptr);
  ASSERT_EQ(second->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00BB00u, 1.0f, 0), D3D_OK);
  EXPECT_EQ(TestHooks::LiveDeviceCount(), 2);

  std::vector<uint32_t> pixels = Read(first, 640, 480);
  EXPECT_EQ(CountOff(pixels, 640, 0, 0, 640, 480, 0xFFAA0000u), 0);
  ASSERT_EQ(first->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000CCu, 1.0f, 0), D3D_OK);
  pixels = Read(second, 800, 600);
  EXPECT_EQ(CountOff(pixels, 800, 0, 0, 800, 600, 0xFF00BB00u), 0);

  first->Release();
  Forget(first);
  EXPECT_EQ(TestHooks::LiveDeviceCount(), 1);
  ASSERT_EQ(second->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF010203u, 1.0f, 0), D3D_OK);
  pixels = Read(second, 800, 600);
  EXPECT_EQ(CountOff(pixels, 800, 0, 0, 800, 600, 0xFF010203u), 0);
  EXPECT_EQ(second->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

}  // namespace
