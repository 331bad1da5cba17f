#pragma once
// The D3DX helpers the engine calls: the vertex-shader assembler, texture creation from a DDS
// file image, and three matrix functions.

#include "Platform/Gfx/D3D.h"

namespace gfx {

// Assembles vs.1.1 text. `defines` is a table of (name, replacement) pairs ended by a null name;
// names are replaced as whole identifiers only. On success *code holds the token stream for
// CreateVertexShader and *errors (when warnings were given) their text; on failure the result is
// a failure code and *errors holds the messages. Either out pointer may be null.
HRESULT D3DXAssembleShader(const char* source, uint32_t length, const D3DXMACRO* defines,
                           void* include, uint32_t flags, D3DXBuffer** code, D3DXBuffer** errors);

// A texture from a DDS file image: its formats are kept where the device has them, its mip chain
// is taken from the file or generated. D3DXERR_INVALIDDATA-like failures give D3DERR_INVALIDCALL
// or D3DERR_NOTAVAILABLE (unsupported format), with a debug-output line.
HRESULT D3DXCreateTextureFromFileInMemory(D3DDevice* device, const void* data, uint32_t size,
                                          D3DTexture** texture);

D3DMATRIX* D3DXMatrixMultiply(D3DMATRIX* out, const D3DMATRIX* a, const D3DMATRIX* b);
D3DMATRIX* D3DXMatrixTranspose(D3DMATRIX* out, const D3DMATRIX* m);
// v × the upper 3 by 3 of m (no translation).
D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DMATRIX* m);

}  // namespace gfx
