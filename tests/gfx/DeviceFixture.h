#pragma once
// What the device tests share: the engine's windowed presentation parameters, per-channel pixel
// comparison, and a fixture that opens a test window and a Direct3D object (and, unless a test
// makes its own, one device) on the real driver, and tears them down again.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "Platform/Gfx/D3D.h"
#include "tests/support/ScriptedDeviceFaults.h"

namespace gfxtest {

// Unknown format, copy swap, D24X8 depth, no vsync; `flags` as the caller asks.
inline gfx::D3DPRESENT_PARAMETERS WindowedParams(uint32_t width, uint32_t height, void* window,
                                                 uint32_t flags = 0) {
  gfx::D3DPRESENT_PARAMETERS params{};
  params.BackBufferWidth = width;
  params.BackBufferHeight = height;
  params.BackBufferFormat = gfx::D3DFMT_UNKNOWN;
  params.BackBufferCount = 1;
  params.SwapEffect = gfx::D3DSWAPEFFECT_COPY;
  params.hDeviceWindow = window;
  params.Windowed = 1;
  params.EnableAutoDepthStencil = 1;
  params.AutoDepthStencilFormat = gfx::D3DFMT_D24X8;
  params.Flags = flags;
  params.PresentationInterval = gfx::D3DPRESENT_INTERVAL_IMMEDIATE;
  return params;
}

inline int Channel(uint32_t color, int shift) { return static_cast<int>((color >> shift) & 0xFF); }

// Channels within `tolerance`; `mask` picks the channels compared (0x00FFFFFF: colour only).
inline bool Near(uint32_t actual, uint32_t expected, int tolerance = 2,
                 uint32_t mask = 0xFFFFFFFFu) {
  for (int shift = 0; shift < 32; shift += 8) {
    if (((mask >> shift) & 0xFF) == 0) continue;
    if (std::abs(Channel(actual, shift) - Channel(expected, shift)) > tolerance) return false;
  }
  return true;
}

// Pixels of [x0, x1) x [y0, y1) (rows top first) of an image `width` wide that are not `expected`.
inline int CountOff(const std::vector<uint32_t>& pixels, int width, int x0, int y0, int x1, int y1,
                    uint32_t expected, int tolerance, uint32_t mask = 0xFFFFFFFFu) {
  int off = 0;
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      if (!Near(pixels[static_cast<size_t>(y) * width + x], expected, tolerance, mask)) ++off;
    }
  }
  return off;
}

// Holds one reference and drops it at the end of the scope, so a failed ASSERT leaks nothing and
// tests need no trail of Release calls. `&ref` is the out-parameter of a Create or Get.
template <class T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* held) : m_held(held) {}
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() { Reset(); }
  void Reset() {
    if (m_held) m_held->Release();
    m_held = nullptr;
  }
  T** operator&() { return &m_held; }
  T* operator->() const { return m_held; }
  operator T*() const { return m_held; }

 private:
  T* m_held = nullptr;
};

// A test window and a Direct3D object; with `deviceFlags` set, a device of the window's size in
// `device_` as well. Torn down in reverse; the scripted faults (`faults_`) are the test's own,
// so no test sees another's injected failures.
class DeviceFixture : public ::testing::Test {
 protected:
  struct Options {
    uint32_t width = 640;
    uint32_t height = 480;
    bool withDevice = true;
    uint32_t deviceFlags = gfx::D3DCREATE_HARDWARE_VERTEXPROCESSING;
    bool expectNoLiveDevices = false;  // checked once everything is released
  };

  DeviceFixture() = default;
  explicit DeviceFixture(const Options& options) : options_(options) {}

  void SetUp() override {
    window_ = gfx::TestHooks::CreateTestWindow(options_.width, options_.height);
    ASSERT_NE(window_, nullptr);
    d3d_ = gfx::Direct3DCreate9(32);
    ASSERT_NE(d3d_, nullptr);
    if (!options_.withDevice) return;
    params_ = WindowedParams(options_.width, options_.height, window_);
    ASSERT_EQ(d3d_->CreateDevice(0, gfx::D3DDEVTYPE_HAL, window_, options_.deviceFlags, &params_,
                                 &device_),
              gfx::D3D_OK);
  }

  void TearDown() override {
    if (device_) device_->Release();
    if (d3d_) d3d_->Release();
    gfx::TestHooks::DestroyTestWindow(window_);
    if (options_.expectNoLiveDevices) {
      EXPECT_EQ(gfx::TestHooks::LiveDeviceCount(), 0);
    }
  }

  Options options_;
  void* window_ = nullptr;
  ScriptedDeviceFaults faults_;
  gfx::D3DObject* d3d_ = nullptr;
  gfx::D3DDevice* device_ = nullptr;
  gfx::D3DPRESENT_PARAMETERS params_{};
};

}  // namespace gfxtest
