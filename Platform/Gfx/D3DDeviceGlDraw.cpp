#include "Platform/Gfx/D3DDeviceGl.h"
#include "Platform/Gfx/DrawState.h"

namespace gfx {

HRESULT D3DDeviceGl::SetRenderState(D3DRENDERSTATETYPE, uint32_t) { return D3DERR_NOTAVAILABLE; }
HRESULT D3DDeviceGl::GetRenderState(D3DRENDERSTATETYPE, uint32_t*) { return D3DERR_NOTAVAILABLE; }
HRESULT D3DDeviceGl::SetTextureStageState(uint32_t, D3DTEXTURESTAGESTATETYPE, uint32_t) { return D3DERR_NOTAVAILABLE; }
HRESULT D3DDeviceGl::GetTextureStageState(uint32_t, D3DTEXTURESTAGESTATETYPE, uint32_t*) { return D3DERR_NOTAVAILABLE; }
HRESULT D3DDeviceGl::SetSamplerState(uint32_t, D3DSAMPLERSTATETYPE, uint32_t) { return D3DERR_NOTAVAILABLE; }
HRESULT D3DDeviceGl::GetSamplerState(uint32_t, D3DSAMPLERSTATETYPE, uint32_t*) { return D3DERR_NOTAVAILABLE; }
HRESULT D3DDeviceGl::SetTexture(uint32_t, D3DTexture*) { return D3DERR_NOTAVAILABLE; }
HRESULT D3DDeviceGl::SetTransform(D3DTRANSFORMSTATETYPE, const D3DMATRIX*) { return D3DERR_NOTAVAILABLE; }
HRESULT D3DDeviceGl::GetTransform(D3DTRANSFORMSTATETYPE, D3DMATRIX*) { return D3DERR_NOTAVAILABLE; }
HRESULT D3DDeviceGl::SetVertexDeclaration(D3DVertexDeclaration*) { return D3DERR_NOTAVAILABLE; }
HRESULT D3DDeviceGl::SetFVF(uint32_t) { return D3DERR_NOTAVAILABLE; }
HRESULT D3DDeviceGl::SetVertexShader(D3DVertexShader*) { return D3DERR_NOTAVAILABLE; }
HRESULT D3DDeviceGl::SetVertexShaderConstantF(uint32_t, const float*, uint32_t) { return D3DERR_NOTAVAILABLE; }
HRESULT D3DDeviceGl::SetStreamSource(uint32_t, D3DVertexBuffer*, uint32_t, uint32_t) { return D3DERR_NOTAVAILABLE; }
HRESULT D3DDeviceGl::SetIndices(D3DIndexBuffer*) { return D3DERR_NOTAVAILABLE; }
HRESULT D3DDeviceGl::DrawPrimitive(D3DPRIMITIVETYPE, uint32_t, uint32_t) { return D3DERR_NOTAVAILABLE; }
HRESULT D3DDeviceGl::DrawPrimitiveUP(D3DPRIMITIVETYPE, uint32_t, const void*, uint32_t) { return D3DERR_NOTAVAILABLE; }
HRESULT D3DDeviceGl::DrawIndexedPrimitive(D3DPRIMITIVETYPE, int32_t, uint32_t, uint32_t, uint32_t, uint32_t) { return D3DERR_NOTAVAILABLE; }
HRESULT D3DDeviceGl::CreateVertexBuffer(uint32_t, uint32_t, uint32_t, D3DPOOL, D3DVertexBuffer**) { return D3DERR_NOTAVAILABLE; }
HRESULT D3DDeviceGl::CreateIndexBuffer(uint32_t, uint32_t, D3DFORMAT, D3DPOOL, D3DIndexBuffer**) { return D3DERR_NOTAVAILABLE; }
HRESULT D3DDeviceGl::CreateVertexDeclaration(const D3DVERTEXELEMENT9*, D3DVertexDeclaration**) { return D3DERR_NOTAVAILABLE; }

}  // namespace gfx
