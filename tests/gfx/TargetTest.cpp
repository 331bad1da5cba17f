// Render targets on the real device: texture targets cleared and read back, the viewport that
// SetRenderTarget sets, StretchRect between the back buffer and textures the right way up,
// depth-stencil surfaces, and the reference counts of the surfaces the device hands out.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Platform/Gfx/D3D.h"
#include "Platform/Gfx/D3DX.h"
#include "tests/gfx/DeviceFixture.h"
#include "tests/support/DdsWriter.h"

using namespace gfx;

namespace {

constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kGreen = 0xFF00FF00u;
constexpr uint32_t kBlue = 0xFF0000FFu;
constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kBlack = 0xFF000000u;

using gfxtest::Ref;
using gfxtest::WindowedParams;

// Rectangles are off by more than 2 per channel unless a test asks for less.
int CountOff(const std::vector<uint32_t>& pixels, int width, int x0, int y0, int x1, int y1,
             uint32_t expected, int tolerance = 2) {
  return gfxtest::CountOff(pixels, width, x0, y0, x1, y1, expected, tolerance);
}

class TargetTest : public gfxtest::DeviceFixture {
 protected:
  // A render-target texture into `texture`, its level-0 surface into `surface`.
  void MakeTarget(uint32_t size, D3DFORMAT format, Ref<D3DTexture>& texture,
                  Ref<D3DSurface>& surface) {
    ASSERT_EQ(device_->CreateTexture(size, size, 1, D3DUSAGE_RENDERTARGET, format,
                                     D3DPOOL_DEFAULT, &texture),
              D3D_OK);
    ASSERT_EQ(texture->GetSurfaceLevel(0, &surface), D3D_OK);
  }

  void SetBackBufferTarget() {
    Ref<D3DSurface> back;
    ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    ASSERT_EQ(device_->SetRenderTarget(0, back), D3D_OK);
  }

  void Clear(uint32_t colour, uint32_t flags = D3DCLEAR_TARGET) {
    ASSERT_EQ(device_->Clear(0, nullptr, flags, colour, 1.0f, 0), D3D_OK);
  }

  // The viewport is the whole of a `width` x `height` target.
  void ExpectWholeViewport(uint32_t width, uint32_t height) {
    D3DVIEWPORT9 viewport{};
    ASSERT_EQ(device_->GetViewport(&viewport), D3D_OK);
    const D3DVIEWPORT9 whole{0, 0, width, height, 0.0f, 1.0f};
    EXPECT_EQ(std::memcmp(&viewport, &whole, sizeof whole), 0)
        << viewport.X << "," << viewport.Y << " " << viewport.Width << "x" << viewport.Height;
  }

  // Clears a rectangle of the current target through a viewport (top-left origin).
  void ClearRect(uint32_t x, uint32_t y, uint32_t width, uint32_t height, uint32_t colour) {
    const D3DVIEWPORT9 viewport{x, y, width, height, 0.0f, 1.0f};
    ASSERT_EQ(device_->SetViewport(&viewport), D3D_OK);
    Clear(colour);
  }

  // Four quadrants: red top left, green top right, blue bottom left, white bottom right.
  void ClearQuadrants(uint32_t width, uint32_t height) {
    ClearRect(0, 0, width / 2, height / 2, kRed);
    ClearRect(width / 2, 0, width / 2, height / 2, kGreen);
    ClearRect(0, height / 2, width / 2, height / 2, kBlue);
    ClearRect(width / 2, height / 2, width / 2, height / 2, kWhite);
    const D3DVIEWPORT9 whole{0, 0, width, height, 0.0f, 1.0f};
    ASSERT_EQ(device_->SetViewport(&whole), D3D_OK);
  }

  // The quadrants of ClearQuadrants inside [x, x + w) x [y, y + h), a margin away from edges.
  static void ExpectQuadrants(const std::vector<uint32_t>& pixels, int stride, int x, int y, int w,
                              int h) {
    const int m = 3;
    EXPECT_EQ(CountOff(pixels, stride, x + m, y + m, x + w / 2 - m, y + h / 2 - m, kRed), 0);
    EXPECT_EQ(CountOff(pixels, stride, x + w / 2 + m, y + m, x + w - m, y + h / 2 - m, kGreen), 0);
    EXPECT_EQ(CountOff(pixels, stride, x + m, y + h / 2 + m, x + w / 2 - m, y + h - m, kBlue), 0);
    EXPECT_EQ(CountOff(pixels, stride, x + w / 2 + m, y + h / 2 + m, x + w - m, y + h - m, kWhite),
              0);
  }

  std::vector<uint32_t> ReadTexture(D3DTexture* texture, uint32_t size) {
    std::vector<uint32_t> pixels(static_cast<size_t>(size) * size, 0xDEADBEEFu);
    EXPECT_EQ(TestHooks::ReadTexture(device_, texture, pixels.data()), D3D_OK);
    return pixels;
  }

  std::vector<uint32_t> ReadBackBuffer(uint32_t width = 640, uint32_t height = 480) {
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, 0xDEADBEEFu);
    EXPECT_EQ(device_->ReadBackBuffer(pixels.data(), width, height), D3D_OK);
    return pixels;
  }
};

TEST_F(TargetTest, ClearsGoToTheTextureTargetTopRowFirst) {
  Clear(kBlack);
  for (D3DFORMAT format : {D3DFMT_R5G6B5, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8}) {
    SCOPED_TRACE(static_cast<unsigned>(format));
    Ref<D3DTexture> target;
    Ref<D3DSurface> surface;
    MakeTarget(64, format, target, surface);
    device_->ResetCallCounts();
    ASSERT_EQ(device_->SetRenderTarget(0, surface), D3D_OK);
    EXPECT_EQ(device_->GetCallCount(DeviceCall::SetRenderTarget), 1u);
    ExpectWholeViewport(64, 64);  // Direct3D sets the viewport to the whole new target
    // Colour and the back buffer's depth, as the reflection pass clears them.
    Clear(0x80336699u, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
    ClearRect(0, 0, 64, 16, kRed);  // the top quarter
    const uint32_t alpha = format == D3DFMT_A8R8G8B8 ? 0x80000000u : 0xFF000000u;
    const std::vector<uint32_t> pixels = ReadTexture(target, 64);
    EXPECT_EQ(CountOff(pixels, 64, 0, 0, 64, 16, kRed, 0), 0);
    EXPECT_EQ(CountOff(pixels, 64, 0, 16, 64, 64, alpha | 0x336699u, 0), 0);
    SetBackBufferTarget();
    ExpectWholeViewport(640, 480);
  }
  // None of it reached the back buffer.
  EXPECT_EQ(CountOff(ReadBackBuffer(), 640, 0, 0, 640, 480, kBlack, 0), 0);
}

TEST_F(TargetTest, StretchRectFromTheBackBufferComesOutUpright) {
  ClearQuadrants(640, 480);
  Ref<D3DTexture> target;
  Ref<D3DSurface> surface, back;
  MakeTarget(256, D3DFMT_R5G6B5, target, surface);
  ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
  device_->ResetCallCounts();
  // The render-target set's CopyBackBuffer: whole to whole, linear.
  ASSERT_EQ(device_->StretchRect(back, nullptr, surface, nullptr, D3DTEXF_LINEAR), D3D_OK);
  EXPECT_EQ(device_->GetCallCount(DeviceCall::StretchRect), 1u);
  ExpectQuadrants(ReadTexture(target, 256), 256, 0, 0, 256, 256);

  // And back again into a corner of the back buffer, point-sampled.
  Clear(kBlack);
  const RECT corner{100, 40, 228, 168};
  ASSERT_EQ(device_->StretchRect(surface, nullptr, back, &corner, D3DTEXF_POINT), D3D_OK);
  const std::vector<uint32_t> pixels = ReadBackBuffer();
  ExpectQuadrants(pixels, 640, 100, 40, 128, 128);
  EXPECT_EQ(CountOff(pixels, 640, 0, 0, 640, 38, kBlack, 0), 0);
  EXPECT_EQ(CountOff(pixels, 640, 0, 170, 640, 480, kBlack, 0), 0);
  EXPECT_EQ(CountOff(pixels, 640, 230, 0, 640, 480, kBlack, 0), 0);

  // A part of the back buffer: its top-right quadrant fills the whole target.
  ClearQuadrants(640, 480);
  const RECT topRight{320, 0, 640, 240};
  ASSERT_EQ(device_->StretchRect(back, &topRight, surface, nullptr, D3DTEXF_NONE), D3D_OK);
  EXPECT_EQ(CountOff(ReadTexture(target, 256), 256, 0, 0, 256, 256, kGreen, 0), 0);

  // Between two textures, into one that is not the current target while the other is; drawing
  // still goes to the current target afterwards.
  Ref<D3DTexture> dest;
  Ref<D3DSurface> destSurface;
  MakeTarget(64, D3DFMT_X8R8G8B8, dest, destSurface);
  ASSERT_EQ(device_->SetRenderTarget(0, surface), D3D_OK);
  ClearQuadrants(256, 256);
  ASSERT_EQ(device_->StretchRect(surface, nullptr, destSurface, nullptr, D3DTEXF_LINEAR), D3D_OK);
  ExpectQuadrants(ReadTexture(dest, 64), 64, 0, 0, 64, 64);
  Clear(kBlack);
  EXPECT_EQ(CountOff(ReadTexture(target, 256), 256, 0, 0, 256, 256, kBlack, 0), 0);
  ExpectQuadrants(ReadTexture(dest, 64), 64, 0, 0, 64, 64);
  SetBackBufferTarget();
}

TEST_F(TargetTest, StretchRectRefusesWhatIsNotARenderTarget) {
  Ref<D3DTexture> target, plain;
  Ref<D3DSurface> surface, back, plainSurface, depth;
  MakeTarget(64, D3DFMT_R5G6B5, target, surface);
  ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
  ASSERT_EQ(device_->CreateTexture(64, 64, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &plain), D3D_OK);
  ASSERT_EQ(plain->GetSurfaceLevel(0, &plainSurface), D3D_OK);
  ASSERT_EQ(device_->GetDepthStencilSurface(&depth), D3D_OK);
  const RECT outside{0, 0, 65, 64};
  const RECT empty{10, 10, 10, 20};
  const struct {
    D3DSurface* source;
    const RECT* sourceRect;
    D3DSurface* dest;
    const RECT* destRect;
    uint32_t filter;
  } refused[] = {
      {surface, nullptr, surface, nullptr, D3DTEXF_POINT},
      {plainSurface, nullptr, surface, nullptr, D3DTEXF_POINT},
      {back, nullptr, plainSurface, nullptr, D3DTEXF_POINT},
      {depth, nullptr, surface, nullptr, D3DTEXF_POINT},
      {nullptr, nullptr, surface, nullptr, D3DTEXF_POINT},
      {back, nullptr, surface, &outside, D3DTEXF_POINT},
      {back, &empty, surface, nullptr, D3DTEXF_POINT},
      {back, nullptr, surface, nullptr, 6},
  };
  for (size_t i = 0; i < std::size(refused); ++i) {
    const auto& r = refused[i];
    EXPECT_EQ(device_->StretchRect(r.source, r.sourceRect, r.dest, r.destRect,
                                   static_cast<D3DTEXTUREFILTERTYPE>(r.filter)),
              D3DERR_INVALIDCALL)
        << i;
  }
}

// The read-back path: a render target copied into system memory and locked there. Each source
// is cleared in quadrants; every texel must hold its quadrant's colour in the source's format.
TEST_F(TargetTest, GetRenderTargetDataCopiesTargetsIntoSystemMemory) {
  struct Case {
    uint32_t size;      // 0: the back buffer (640 x 480, X8R8G8B8)
    D3DFORMAT format;
    bool intoTexture;   // a SYSTEMMEM texture's level rather than an offscreen plain surface
  };
  const Case cases[] = {{0, D3DFMT_X8R8G8B8, false},
                        {64, D3DFMT_X8R8G8B8, false},
                        {32, D3DFMT_R5G6B5, false},
                        {16, D3DFMT_A8R8G8B8, true}};
  // The texel a colour is in the format, and the bits of it that a format keeps.
  auto texel = [](D3DFORMAT format, uint32_t c) -> uint32_t {
    if (format != D3DFMT_R5G6B5) return c;
    return ((c >> 8) & 0xF800u) | ((c >> 5) & 0x07E0u) | ((c >> 3) & 0x001Fu);
  };
  const uint32_t colours[4] = {kRed, kGreen, kBlue, kWhite};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    Ref<D3DTexture> target, memory;
    Ref<D3DSurface> source, dest;
    if (c.size == 0) {
      ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &source), D3D_OK);
    } else {
      MakeTarget(c.size, c.format, target, source);
      ASSERT_EQ(device_->SetRenderTarget(0, source), D3D_OK);
    }
    const uint32_t width = c.size ? c.size : 640;
    const uint32_t height = c.size ? c.size : 480;
    ClearQuadrants(width, height);

    if (c.intoTexture) {
      ASSERT_EQ(device_->CreateTexture(width, height, 1, 0, c.format, D3DPOOL_SYSTEMMEM, &memory),
                D3D_OK);
      ASSERT_EQ(memory->GetSurfaceLevel(0, &dest), D3D_OK);
    } else {
      ASSERT_EQ(device_->CreateOffscreenPlainSurface(width, height, c.format, D3DPOOL_SYSTEMMEM,
                                                     &dest, nullptr),
                D3D_OK);
      D3DSURFACE_DESC desc{};
      ASSERT_EQ(dest->GetDesc(&desc), D3D_OK);
      EXPECT_TRUE(desc.Format == c.format && desc.Pool == D3DPOOL_SYSTEMMEM &&
                  desc.Width == width && desc.Height == height);
    }
    ASSERT_EQ(device_->GetRenderTargetData(source, dest), D3D_OK);

    D3DLOCKED_RECT locked{};
    ASSERT_EQ(dest->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    // Not while the caller holds the rows.
    EXPECT_EQ(device_->GetRenderTargetData(source, dest), D3DERR_INVALIDCALL);
    const uint32_t bytes = c.format == D3DFMT_R5G6B5 ? 2 : 4;
    const uint32_t keep = c.format == D3DFMT_A8R8G8B8   ? 0xFFFFFFFFu
                          : c.format == D3DFMT_R5G6B5 ? 0xFFFFu
                                                      : 0x00FFFFFFu;
    int off = 0;
    for (uint32_t y = 0; y < height; ++y) {
      const uint8_t* row = static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch;
      for (uint32_t x = 0; x < width; ++x) {
        const uint32_t quadrant = (y < height / 2 ? 0 : 2) + (x < width / 2 ? 0 : 1);
        uint32_t got = 0;
        std::memcpy(&got, row + x * bytes, bytes);
        if ((got & keep) != (texel(c.format, colours[quadrant]) & keep)) ++off;
      }
    }
    EXPECT_EQ(off, 0);
    EXPECT_EQ(dest->UnlockRect(), D3D_OK);

    // A destination of another size or format, or not in system memory, is refused; so is a
    // source that is not a render target.
    const D3DFORMAT otherFormat = c.format == D3DFMT_R5G6B5 ? D3DFMT_X8R8G8B8 : D3DFMT_R5G6B5;
    const struct {
      uint32_t width;
      D3DFORMAT format;
      D3DPOOL pool;
    } refused[] = {{width / 2, c.format, D3DPOOL_SYSTEMMEM},
                   {width, otherFormat, D3DPOOL_SYSTEMMEM},
                   {width, c.format, D3DPOOL_SCRATCH}};
    for (const auto& r : refused) {
      Ref<D3DSurface> other;
      ASSERT_EQ(device_->CreateOffscreenPlainSurface(r.width, height, r.format, r.pool, &other,
                                                     nullptr),
                D3D_OK);
      EXPECT_EQ(device_->GetRenderTargetData(source, other), D3DERR_INVALIDCALL);
      EXPECT_EQ(device_->GetRenderTargetData(dest, other), D3DERR_INVALIDCALL);
    }
    SetBackBufferTarget();
  }
  for (const auto& [width, pool] : {std::pair{16u, D3DPOOL_MANAGED}, {0u, D3DPOOL_SYSTEMMEM}}) {
    D3DSurface* refused = nullptr;
    EXPECT_EQ(device_->CreateOffscreenPlainSurface(width, 16, D3DFMT_X8R8G8B8, pool, &refused,
                                                   nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(refused, nullptr);
  }
}

TEST_F(TargetTest, TargetsAreSavedAndRestoredByReference) {
  // The render-target set's SaveTargets / Set / RestoreTargets.
  Ref<D3DSurface> savedDepth, savedTarget, back;
  ASSERT_EQ(device_->GetDepthStencilSurface(&savedDepth), D3D_OK);
  ASSERT_EQ(device_->GetRenderTarget(0, &savedTarget), D3D_OK);
  ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
  EXPECT_EQ(savedTarget, back);
  D3DSURFACE_DESC desc{};
  ASSERT_EQ(back->GetDesc(&desc), D3D_OK);
  EXPECT_TRUE(desc.Width == 640 && desc.Height == 480 && desc.Format == D3DFMT_X8R8G8B8 &&
              desc.Usage == D3DUSAGE_RENDERTARGET);
  back.Reset();
  {
    Ref<D3DTexture> target;
    Ref<D3DSurface> surface;
    MakeTarget(256, D3DFMT_R5G6B5, target, surface);
    ASSERT_EQ(device_->SetRenderTarget(0, surface), D3D_OK);
  }
  // The device holds the target: the caller's references may go.
  EXPECT_EQ(device_->LiveDefaultPoolResources(), 1);
  Ref<D3DSurface> current;
  ASSERT_EQ(device_->GetRenderTarget(0, &current), D3D_OK);
  ASSERT_EQ(current->GetDesc(&desc), D3D_OK);
  EXPECT_EQ(desc.Width, 256u);
  current.Reset();

  ASSERT_EQ(device_->SetDepthStencilSurface(savedDepth), D3D_OK);
  ASSERT_EQ(device_->SetRenderTarget(0, savedTarget), D3D_OK);
  EXPECT_EQ(device_->LiveDefaultPoolResources(), 0);
  ExpectWholeViewport(640, 480);
  Clear(kGreen, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
  EXPECT_EQ(CountOff(ReadBackBuffer(), 640, 0, 0, 640, 480, kGreen, 0), 0);

  // Slots other than 0 and null targets are refused; an unset slot is not found.
  EXPECT_EQ(device_->SetRenderTarget(0, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetRenderTarget(1, savedTarget), D3DERR_INVALIDCALL);
  D3DSurface* none = reinterpret_cast<D3DSurface*>(0x1);
  EXPECT_EQ(device_->GetRenderTarget(1, &none), D3DERR_NOTFOUND);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(device_->GetBackBuffer(0, 1, D3DBACKBUFFER_TYPE_MONO, &none), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->GetBackBuffer(1, 0, D3DBACKBUFFER_TYPE_MONO, &none), D3DERR_INVALIDCALL);
  // A texture that is not a render target cannot be drawn into.
  Ref<D3DTexture> plain;
  Ref<D3DSurface> plainSurface;
  ASSERT_EQ(device_->CreateTexture(16, 16, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &plain), D3D_OK);
  ASSERT_EQ(plain->GetSurfaceLevel(0, &plainSurface), D3D_OK);
  EXPECT_EQ(device_->SetRenderTarget(0, plainSurface), D3DERR_INVALIDCALL);
}

TEST_F(TargetTest, DepthStencilSurfacesDecideWhatClearMayTouch) {
  Ref<D3DSurface> automatic, own, surface;
  Ref<D3DTexture> target;
  ASSERT_EQ(device_->GetDepthStencilSurface(&automatic), D3D_OK);
  D3DSURFACE_DESC desc{};
  ASSERT_EQ(automatic->GetDesc(&desc), D3D_OK);
  EXPECT_TRUE(desc.Format == D3DFMT_D24X8 && desc.Usage == D3DUSAGE_DEPTHSTENCIL &&
              desc.Width == 640);

  ASSERT_EQ(device_->CreateDepthStencilSurface(256, 256, D3DFMT_D24S8, D3DMULTISAMPLE_NONE, 0, 1,
                                               &own),
            D3D_OK);
  EXPECT_EQ(device_->LiveDefaultPoolResources(), 1);
  ASSERT_EQ(device_->SetDepthStencilSurface(own), D3D_OK);
  EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0, 1.0f, 3), D3D_OK);
  // With a texture target and the surface of its size.
  MakeTarget(256, D3DFMT_A8R8G8B8, target, surface);
  ASSERT_EQ(device_->SetRenderTarget(0, surface), D3D_OK);
  Clear(kBlue, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL);
  EXPECT_EQ(CountOff(ReadTexture(target, 256), 256, 0, 0, 256, 256, kBlue, 0), 0);

  ASSERT_EQ(device_->SetDepthStencilSurface(nullptr), D3D_OK);
  D3DSurface* none = reinterpret_cast<D3DSurface*>(0x1);
  EXPECT_EQ(device_->GetDepthStencilSurface(&none), D3DERR_NOTFOUND);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
  Clear(kRed);
  EXPECT_EQ(CountOff(ReadTexture(target, 256), 256, 0, 0, 256, 256, kRed, 0), 0);

  // The automatic buffer has no stencil.
  ASSERT_EQ(device_->SetDepthStencilSurface(automatic), D3D_OK);
  EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
  // Colour surfaces are not depth buffers, and the other way round.
  EXPECT_EQ(device_->SetDepthStencilSurface(surface), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetRenderTarget(0, own), D3DERR_INVALIDCALL);

  const struct {
    uint32_t width;
    D3DFORMAT format;
    uint32_t multisample;
    HRESULT result;
  } refused[] = {{64, D3DFMT_X8R8G8B8, 0, D3DERR_INVALIDCALL},
                 {0, D3DFMT_D16, 0, D3DERR_INVALIDCALL},
                 {64, D3DFMT_D16, 4, D3DERR_NOTAVAILABLE}};
  for (const auto& r : refused) {
    D3DSurface* bad = nullptr;
    EXPECT_EQ(device_->CreateDepthStencilSurface(
                  r.width, 64, r.format, static_cast<D3DMULTISAMPLE_TYPE>(r.multisample), 0, 1,
                  &bad),
              r.result);
    EXPECT_EQ(bad, nullptr);
  }
  SetBackBufferTarget();
  surface.Reset();
  target.Reset();
  own.Reset();
  automatic.Reset();
  EXPECT_EQ(device_->LiveDefaultPoolResources(), 0);
}

TEST_F(TargetTest, ResetPutsTheBackBufferAndItsDepthBufferBack) {
  ASSERT_EQ(device_->SetDepthStencilSurface(nullptr), D3D_OK);
  EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
  D3DPRESENT_PARAMETERS params = WindowedParams(320, 240, window_);
  params.AutoDepthStencilFormat = D3DFMT_D24S8;
  ASSERT_EQ(device_->Reset(&params), D3D_OK);
  Clear(kBlue, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL);
  Ref<D3DSurface> back, surface;
  Ref<D3DTexture> target;
  ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
  D3DSURFACE_DESC desc{};
  ASSERT_EQ(back->GetDesc(&desc), D3D_OK);
  EXPECT_TRUE(desc.Width == 320 && desc.Height == 240);

  // A texture target paired with the new automatic depth buffer.
  MakeTarget(128, D3DFMT_R5G6B5, target, surface);
  ASSERT_EQ(device_->SetRenderTarget(0, surface), D3D_OK);
  Clear(kGreen, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL);
  EXPECT_EQ(CountOff(ReadTexture(target, 128), 128, 0, 0, 128, 128, kGreen, 0), 0);
  ASSERT_EQ(device_->StretchRect(surface, nullptr, back, nullptr, D3DTEXF_POINT), D3D_OK);
  ASSERT_EQ(device_->SetRenderTarget(0, back), D3D_OK);
  EXPECT_EQ(CountOff(ReadBackBuffer(320, 240), 320, 0, 0, 320, 240, kGreen, 0), 0);
}

// Sampling and drawing into targets through the draw code: a texture's top row is at v = 0, and
// a texture target drawn into keeps its top row first.
TEST_F(TargetTest, TexturedQuadsKeepTheTopRowOnTopInTargetsAndOnTheBackBuffer) {
  struct Vertex {
    float x, y, z, rhw, u, v;
  };
  // Direct3D's pixel centres are on integers: the quad's edges lie half a pixel outside.
  const auto draw = [this](float width, float height) {
    const float l = -0.5f, t = -0.5f, r = width - 0.5f, b = height - 0.5f;
    const Vertex quad[4] = {{l, t, 0, 1, 0, 0}, {r, t, 0, 1, 1, 0}, {l, b, 0, 1, 0, 1},
                            {r, b, 0, 1, 1, 1}};
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)), D3D_OK);
  };
  std::vector<uint32_t> halves(16 * 16);
  for (size_t i = 0; i < halves.size(); ++i) halves[i] = i < 128 ? kRed : kBlue;
  const std::vector<uint8_t> image =
      ddswriter::WriteDds(D3DFMT_X8R8G8B8, 16, 16, halves.data(), false);
  Ref<D3DTexture> texture, target;
  Ref<D3DSurface> surface;
  ASSERT_EQ(D3DXCreateTextureFromFileInMemory(device_, image.data(),
                                              static_cast<uint32_t>(image.size()), &texture),
            D3D_OK);
  ASSERT_EQ(device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1), D3D_OK);
  ASSERT_EQ(device_->SetTexture(0, texture), D3D_OK);
  draw(640, 480);
  std::vector<uint32_t> pixels = ReadBackBuffer();
  EXPECT_EQ(CountOff(pixels, 640, 8, 8, 632, 230, kRed), 0);
  EXPECT_EQ(CountOff(pixels, 640, 8, 250, 632, 472, kBlue), 0);

  // Into a texture target, then that target onto the back buffer.
  MakeTarget(64, D3DFMT_X8R8G8B8, target, surface);
  ASSERT_EQ(device_->SetRenderTarget(0, surface), D3D_OK);
  Clear(kBlack, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
  draw(64, 64);
  const std::vector<uint32_t> texels = ReadTexture(target, 64);
  EXPECT_EQ(CountOff(texels, 64, 2, 2, 62, 30, kRed), 0);
  EXPECT_EQ(CountOff(texels, 64, 2, 34, 62, 62, kBlue), 0);

  SetBackBufferTarget();
  Clear(kBlack, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
  ASSERT_EQ(device_->SetTexture(0, target), D3D_OK);
  draw(640, 480);
  pixels = ReadBackBuffer();
  EXPECT_EQ(CountOff(pixels, 640, 16, 16, 624, 224, kRed), 0);
  EXPECT_EQ(CountOff(pixels, 640, 16, 256, 624, 464, kBlue), 0);
  ASSERT_EQ(device_->SetTexture(0, nullptr), D3D_OK);
}

TEST_F(TargetTest, ATextureTargetSeesTheBackBuffersDepthWhereTheBackBufferHasIt) {
  // Direct3D pairs pixel (x, y) of any target with pixel (x, y) of the depth buffer: depth
  // written on the back buffer's top rows hides what a texture target draws on its top rows.
  struct Vertex {
    float x, y, z, rhw;
    uint32_t colour;
  };
  const auto rect = [this](float right, float bottom, float z, uint32_t colour) {
    const Vertex quad[4] = {{-0.5f, -0.5f, z, 1, colour}, {right, -0.5f, z, 1, colour},
                            {-0.5f, bottom, z, 1, colour}, {right, bottom, z, 1, colour}};
    return device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
  };
  ASSERT_EQ(device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE), D3D_OK);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  Clear(kBlack, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
  ASSERT_EQ(rect(639.5f, 15.5f, 0.2f, kRed), D3D_OK);

  Ref<D3DTexture> target;
  Ref<D3DSurface> surface;
  MakeTarget(64, D3DFMT_X8R8G8B8, target, surface);
  ASSERT_EQ(device_->SetRenderTarget(0, surface), D3D_OK);
  Clear(kBlack);
  ASSERT_EQ(rect(63.5f, 63.5f, 0.5f, kGreen), D3D_OK);
  const std::vector<uint32_t> texels = ReadTexture(target, 64);
  EXPECT_EQ(CountOff(texels, 64, 0, 0, 64, 16, kBlack), 0);
  EXPECT_EQ(CountOff(texels, 64, 0, 16, 64, 64, kGreen), 0);
  SetBackBufferTarget();
}

TEST_F(TargetTest, ViewportsReachingPastTheTargetMapAsGivenAndAreClipped) {
  struct Case {
    uint32_t size;  // of a square texture target; 0 is the 640 by 480 back buffer
    D3DVIEWPORT9 viewport;
  };
  const Case cases[] = {
      {0, {400, 300, 400, 300, 0.0f, 1.0f}},   // past the right and bottom edges
      {0, {0, 0, 1000, 800, 0.0f, 1.0f}},      // larger than the target both ways
      {0, {700, 500, 100, 100, 0.0f, 1.0f}},   // wholly beyond it
      {64, {16, 8, 80, 96, 0.0f, 1.0f}},
      {64, {0, 0, 100, 120, 0.0f, 1.0f}},
      {64, {64, 10, 32, 32, 0.0f, 1.0f}},
  };
  struct Vertex {
    float x, y, z;
    uint32_t colour;
  };
  const Vertex quarter[4] = {{-1, 1, 0.5f, kGreen}, {0, 1, 0.5f, kGreen}, {-1, 0, 0.5f, kGreen},
                             {0, 0, 0.5f, kGreen}};
  device_->SetRenderState(D3DRS_LIGHTING, 0);
  device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device_->SetRenderState(D3DRS_ZENABLE, 0);
  ASSERT_EQ(device_->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE), D3D_OK);
  Ref<D3DSurface> back;
  ASSERT_EQ(device_->GetRenderTarget(0, &back), D3D_OK);
  for (const Case& c : cases) {
    const D3DVIEWPORT9& vp = c.viewport;
    SCOPED_TRACE(testing::Message() << c.size << ": " << vp.X << "," << vp.Y << " " << vp.Width
                                    << "x" << vp.Height);
    ASSERT_EQ(device_->SetRenderTarget(0, back), D3D_OK);
    Clear(kBlack);
    Ref<D3DSurface> surface;
    Ref<D3DTexture> target;
    if (c.size != 0) {
      MakeTarget(c.size, D3DFMT_X8R8G8B8, target, surface);
      ASSERT_EQ(device_->SetRenderTarget(0, surface), D3D_OK);
      Clear(kBlack);
    }
    ASSERT_EQ(device_->SetViewport(&vp), D3D_OK);
    D3DVIEWPORT9 read{};
    ASSERT_EQ(device_->GetViewport(&read), D3D_OK);
    EXPECT_EQ(std::memcmp(&read, &vp, sizeof vp), 0);
    Clear(kRed);
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quarter, sizeof(Vertex)), D3D_OK);

    const int width = c.size ? static_cast<int>(c.size) : 640;
    const int height = c.size ? static_cast<int>(c.size) : 480;
    const std::vector<uint32_t> pixels = target ? ReadTexture(target, c.size) : ReadBackBuffer();
    const int x0 = static_cast<int>(vp.X), y0 = static_cast<int>(vp.Y);
    const int xm = x0 + static_cast<int>(vp.Width / 2), ym = y0 + static_cast<int>(vp.Height / 2);
    const int x1 = x0 + static_cast<int>(vp.Width), y1 = y0 + static_cast<int>(vp.Height);
    const auto near = [](int v, int edge) { return std::abs(v - edge) <= 1; };
    int off = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        if (near(x, x0) || near(x, xm) || near(x, x1) || near(y, y0) || near(y, ym) ||
            near(y, y1)) {
          continue;
        }
        const bool inside = x >= x0 && x < x1 && y >= y0 && y < y1;
        const uint32_t expected = !inside ? kBlack : (x < xm && y < ym) ? kGreen : kRed;
        if (!gfxtest::Near(pixels[static_cast<size_t>(y) * width + x], expected)) ++off;
      }
    }
    EXPECT_EQ(off, 0);
    if (target) {
      ASSERT_EQ(device_->SetRenderTarget(0, back), D3D_OK);
      EXPECT_EQ(CountOff(ReadBackBuffer(), 640, 0, 0, 640, 480, kBlack, 0), 0);
    }
  }
  // A size the driver cannot hold, and a corner that wraps, are still refused.
  const D3DVIEWPORT9 huge{0, 0, 0x10000000u, 480, 0.0f, 1.0f};
  EXPECT_EQ(device_->SetViewport(&huge), D3DERR_INVALIDCALL);
  const D3DVIEWPORT9 wrapping{0xFFFFFFF0u, 0, 0x20, 10, 0.0f, 1.0f};
  EXPECT_EQ(device_->SetViewport(&wrapping), D3DERR_INVALIDCALL);
}

}  // namespace
