// The device's vertex shaders, the assembler entry point and the D3DX matrix helpers.
#include <string>
#include <vector>

#include "Platform/Gfx/D3DDeviceGl.h"
#include "Platform/Gfx/D3DX.h"
#include "Platform/Gfx/D3DXBufferImpl.h"
#include "Platform/Gfx/VertexShaderGl.h"
#include "Platform/Gfx/VsAssembler.h"

namespace gfx {

HRESULT D3DDeviceGl::CreateVertexShader(const uint32_t* function, D3DVertexShader** shader) {
  if (!shader) return D3DERR_INVALIDCALL;
  *shader = nullptr;
  if (!function) return D3DERR_INVALIDCALL;
  VertexShaderGl* created = VertexShaderGl::Create(function);
  if (!created) return D3DERR_INVALIDCALL;
  *shader = created;
  return D3D_OK;
}

HRESULT D3DXAssembleShader(const char* source, uint32_t length, const D3DXMACRO* defines,
                           void* include, uint32_t flags, D3DXBuffer** code,
                           D3DXBuffer** errors) {
  // Shader texts come from the program itself: there is nothing to include, and the debug and
  // optimisation flags change nothing about the token stream.
  (void)include;
  (void)flags;
  if (code) *code = nullptr;
  if (errors) *errors = nullptr;
  if (!source) return D3DERR_INVALIDCALL;

  VsProgram program;
  std::string messages;
  const bool assembled = AssembleVs(source, length, defines, &program, &messages);
  if (errors && !messages.empty()) *errors = D3DXBufferImpl::FromText(messages);
  if (!assembled) return E_FAIL;
  if (code) {
    const std::vector<uint32_t> tokens = EncodeVsTokens(program);
    *code = D3DXBufferImpl::Create(tokens.data(),
                                   static_cast<uint32_t>(tokens.size() * sizeof(uint32_t)));
  }
  return D3D_OK;
}

D3DMATRIX* D3DXMatrixMultiply(D3DMATRIX* out, const D3DMATRIX* a, const D3DMATRIX* b) {
  // Computed aside first: out may be a or b.
  D3DMATRIX product;
  for (int row = 0; row < 4; ++row) {
    for (int col = 0; col < 4; ++col) {
      product.m[row * 4 + col] = a->m[row * 4 + 0] * b->m[0 * 4 + col] +
                                 a->m[row * 4 + 1] * b->m[1 * 4 + col] +
                                 a->m[row * 4 + 2] * b->m[2 * 4 + col] +
                                 a->m[row * 4 + 3] * b->m[3 * 4 + col];
    }
  }
  *out = product;
  return out;
}

D3DMATRIX* D3DXMatrixTranspose(D3DMATRIX* out, const D3DMATRIX* m) {
  D3DMATRIX transposed;
  for (int row = 0; row < 4; ++row) {
    for (int col = 0; col < 4; ++col) transposed.m[row * 4 + col] = m->m[col * 4 + row];
  }
  *out = transposed;
  return out;
}

D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DMATRIX* m) {
  const D3DXVECTOR3 in = *v;
  out->x = in.x * m->m[0] + in.y * m->m[4] + in.z * m->m[8];
  out->y = in.x * m->m[1] + in.y * m->m[5] + in.z * m->m[9];
  out->z = in.x * m->m[2] + in.y * m->m[6] + in.z * m->m[10];
  return out;
}

}  // namespace gfx
