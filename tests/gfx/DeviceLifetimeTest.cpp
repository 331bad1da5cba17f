// Resources and targets across Reset and across devices.
#include "tests/gfx/PipelineTestSupport.h"

namespace gfx {
namespace {

class DeviceLifetimeTest : public pipetest::PipelineTest {};

TEST_F(DeviceLifetimeTest, ResetLetsGoOfATextureTargetStillSet) {
  D3DTexture* target = nullptr;
  ASSERT_EQ(device_->CreateTexture(64, 64, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8,
                                   D3DPOOL_DEFAULT, &target),
            D3D_OK);
  D3DSurface* surface = nullptr;
  ASSERT_EQ(target->GetSurfaceLevel(0, &surface), D3D_OK);
  ASSERT_EQ(device_->SetRenderTarget(0, surface), D3D_OK);
  surface->Release();
  target->Release();  // the engine let go before the reset; only the device still held it
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  D3DPRESENT_PARAMETERS params = Params(kWidth, kHeight);
  EXPECT_EQ(device_->Reset(&params), D3D_OK);
  EXPECT_EQ(device_->LiveDefaultPoolResources(), 0);
  // Drawing goes to the back buffer again.
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  Clear(0xFF00FF00u);
  std::vector<uint32_t> pixels(kWidth * kHeight);
  ASSERT_EQ(device_->ReadBackBuffer(pixels.data(), kWidth, kHeight), D3D_OK);
  EXPECT_EQ(CountOff(pixels, 0, 0, kWidth, kHeight, 0xFF00FF00u), 0);
}

TEST_F(DeviceLifetimeTest, ATextureOfAnotherDeviceIsNotBound) {
  D3DDevice* other = nullptr;
  D3DPRESENT_PARAMETERS params = Params(kWidth, kHeight);
  ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                               &params, &other),
            D3D_OK);
  D3DTexture* foreign = nullptr;
  ASSERT_EQ(other->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &foreign), D3D_OK);
  EXPECT_EQ(device_->SetTexture(0, foreign), D3DERR_INVALIDCALL);
  D3DTexture* own = nullptr;
  ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &own), D3D_OK);
  EXPECT_EQ(device_->SetTexture(0, own), D3D_OK);
  EXPECT_EQ(device_->SetTexture(0, nullptr), D3D_OK);
  own->Release();
  foreign->Release();
  other->Release();
}

}  // namespace
}  // namespace gfx
