#include "Platform/Gfx/D3DDeviceGl.h"
#include "Platform/Gfx/D3DX.h"
#include "Platform/Gfx/TargetState.h"

namespace gfx {

HRESULT D3DDeviceGl::GetBackBuffer(uint32_t, uint32_t, D3DBACKBUFFER_TYPE, D3DSurface**) { return D3DERR_NOTAVAILABLE; }
HRESULT D3DDeviceGl::SetRenderTarget(uint32_t, D3DSurface*) { return D3DERR_NOTAVAILABLE; }
HRESULT D3DDeviceGl::GetRenderTarget(uint32_t, D3DSurface**) { return D3DERR_NOTAVAILABLE; }
HRESULT D3DDeviceGl::SetDepthStencilSurface(D3DSurface*) { return D3DERR_NOTAVAILABLE; }
HRESULT D3DDeviceGl::GetDepthStencilSurface(D3DSurface**) { return D3DERR_NOTAVAILABLE; }
HRESULT D3DDeviceGl::StretchRect(D3DSurface*, const RECT*, D3DSurface*, const RECT*, D3DTEXTUREFILTERTYPE) { return D3DERR_NOTAVAILABLE; }
HRESULT D3DDeviceGl::UpdateTexture(D3DTexture*, D3DTexture*) { return D3DERR_NOTAVAILABLE; }
HRESULT D3DDeviceGl::CreateTexture(uint32_t, uint32_t, uint32_t, uint32_t, D3DFORMAT, D3DPOOL, D3DTexture**) { return D3DERR_NOTAVAILABLE; }
HRESULT D3DDeviceGl::CreateDepthStencilSurface(uint32_t, uint32_t, D3DFORMAT, D3DMULTISAMPLE_TYPE, uint32_t, int32_t, D3DSurface**) { return D3DERR_NOTAVAILABLE; }

HRESULT D3DXCreateTextureFromFileInMemory(D3DDevice*, const void*, uint32_t, D3DTexture**) { return D3DERR_NOTAVAILABLE; }

}  // namespace gfx
