#include "Platform/Gfx/D3DDeviceGl.h"
#include "Platform/Gfx/D3DX.h"

namespace gfx {

HRESULT D3DDeviceGl::CreateVertexShader(const uint32_t*, D3DVertexShader**) { return D3DERR_NOTAVAILABLE; }

HRESULT D3DXAssembleShader(const char*, uint32_t, const D3DXMACRO*, void*, uint32_t, D3DXBuffer**, D3DXBuffer**) { return D3DERR_NOTAVAILABLE; }

D3DMATRIX* D3DXMatrixMultiply(D3DMATRIX* out, const D3DMATRIX*, const D3DMATRIX*) { return out; }
D3DMATRIX* D3DXMatrixTranspose(D3DMATRIX* out, const D3DMATRIX*) { return out; }
D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3*, const D3DMATRIX*) { return out; }

}  // namespace gfx
