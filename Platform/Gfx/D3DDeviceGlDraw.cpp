// The device's pipeline: states, buffers, declarations and draws. The work is DrawState's; the
// device counts the calls, makes its context current where GL is touched, and tells a draw which
// surface and viewport it goes to.
#include "Platform/Gfx/D3DDeviceGl.h"
#include "Platform/Gfx/DrawState.h"
#include "Platform/Gfx/IndexBufferGl.h"
#include "Platform/Gfx/SurfaceGl.h"
#include "Platform/Gfx/TargetState.h"
#include "Platform/Gfx/VertexBufferGl.h"
#include "Platform/Gfx/VertexDeclarationGl.h"

namespace gfx {

HRESULT D3DDeviceGl::SetRenderState(D3DRENDERSTATETYPE state, uint32_t value) {
  CountCall(DeviceCall::SetRenderState);
  return draw_->SetRenderState(state, value);
}

HRESULT D3DDeviceGl::GetRenderState(D3DRENDERSTATETYPE state, uint32_t* value) {
  return draw_->GetRenderState(state, value);
}

HRESULT D3DDeviceGl::SetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type,
                                          uint32_t value) {
  CountCall(DeviceCall::SetTextureStageState);
  return draw_->SetTextureStageState(stage, type, value);
}

HRESULT D3DDeviceGl::GetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type,
                                          uint32_t* value) {
  return draw_->GetTextureStageState(stage, type, value);
}

HRESULT D3DDeviceGl::SetSamplerState(uint32_t sampler, D3DSAMPLERSTATETYPE type, uint32_t value) {
  CountCall(DeviceCall::SetSamplerState);
  return draw_->SetSamplerState(sampler, type, value);
}

HRESULT D3DDeviceGl::GetSamplerState(uint32_t sampler, D3DSAMPLERSTATETYPE type, uint32_t* value) {
  return draw_->GetSamplerState(sampler, type, value);
}

HRESULT D3DDeviceGl::SetTexture(uint32_t stage, D3DTexture* texture) {
  CountCall(DeviceCall::SetTexture);
  return draw_->SetTexture(stage, texture);
}

HRESULT D3DDeviceGl::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
  CountCall(DeviceCall::SetTransform);
  return draw_->SetTransform(state, matrix);
}

HRESULT D3DDeviceGl::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
  return draw_->GetTransform(state, matrix);
}

HRESULT D3DDeviceGl::SetVertexDeclaration(D3DVertexDeclaration* declaration) {
  CountCall(DeviceCall::SetVertexDeclaration);
  return draw_->SetVertexDeclaration(declaration);
}

HRESULT D3DDeviceGl::SetFVF(uint32_t fvf) {
  CountCall(DeviceCall::SetFVF);
  return draw_->SetFVF(fvf);
}

HRESULT D3DDeviceGl::SetVertexShader(D3DVertexShader* shader) {
  CountCall(DeviceCall::SetVertexShader);
  return draw_->SetVertexShader(shader);
}

HRESULT D3DDeviceGl::SetVertexShaderConstantF(uint32_t startRegister, const float* data,
                                              uint32_t vector4fCount) {
  CountCall(DeviceCall::SetVertexShaderConstantF);
  return draw_->SetVertexShaderConstantF(startRegister, data, vector4fCount);
}

HRESULT D3DDeviceGl::SetStreamSource(uint32_t stream, D3DVertexBuffer* buffer, uint32_t offsetBytes,
                                     uint32_t stride) {
  CountCall(DeviceCall::SetStreamSource);
  return draw_->SetStreamSource(stream, buffer, offsetBytes, stride);
}

HRESULT D3DDeviceGl::SetIndices(D3DIndexBuffer* indices) {
  CountCall(DeviceCall::SetIndices);
  return draw_->SetIndices(indices);
}

namespace {

DrawTarget MakeDrawTarget(int width, int height, const SurfaceGl* surface,
                          const D3DVIEWPORT9& viewport) {
  DrawTarget target;
  target.width = width;
  target.height = height;
  target.alpha = !surface || TargetHasAlpha(surface->Format());
  target.viewport = viewport;
  return target;
}

}  // namespace

HRESULT D3DDeviceGl::SubmitDraw(const DrawRequest& request) {
  if (!MakeCurrent()) return D3DERR_INVALIDCALL;
  BindRenderTarget();
  ApplyViewport();
  return draw_->Draw(request, MakeDrawTarget(TargetWidth(), TargetHeight(),
                                             targets_->RenderTarget(), viewport_));
}

HRESULT D3DDeviceGl::DrawPrimitive(D3DPRIMITIVETYPE type, uint32_t startVertex,
                                   uint32_t primitiveCount) {
  CountCall(DeviceCall::DrawPrimitive);
  DrawRequest request;
  request.kind = DrawRequest::Kind::Arrays;
  request.type = type;
  request.primitiveCount = primitiveCount;
  request.startVertex = startVertex;
  return SubmitDraw(request);
}

HRESULT D3DDeviceGl::DrawPrimitiveUP(D3DPRIMITIVETYPE type, uint32_t primitiveCount,
                                     const void* vertexData, uint32_t stride) {
  CountCall(DeviceCall::DrawPrimitiveUP);
  DrawRequest request;
  request.kind = DrawRequest::Kind::User;
  request.type = type;
  request.primitiveCount = primitiveCount;
  request.userData = vertexData;
  request.userStride = stride;
  return SubmitDraw(request);
}

HRESULT D3DDeviceGl::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, int32_t baseVertexIndex,
                                          uint32_t minIndex, uint32_t numVertices,
                                          uint32_t startIndex, uint32_t primitiveCount) {
  CountCall(DeviceCall::DrawIndexedPrimitive);
  // The vertex range is a hint for drivers that copy vertices; every index is checked against
  // the buffers instead.
  (void)minIndex;
  (void)numVertices;
  DrawRequest request;
  request.kind = DrawRequest::Kind::Indexed;
  request.type = type;
  request.primitiveCount = primitiveCount;
  request.baseVertex = baseVertexIndex;
  request.startIndex = startIndex;
  return SubmitDraw(request);
}

HRESULT D3DDeviceGl::CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, D3DPOOL pool,
                                        D3DVertexBuffer** buffer) {
  if (!buffer) return D3DERR_INVALIDCALL;
  *buffer = nullptr;
  if (!MakeCurrent()) return D3DERR_INVALIDCALL;
  HRESULT result = D3D_OK;
  *buffer = VertexBufferGl::Create(*this, length, usage, fvf, pool, &result);
  return result;
}

HRESULT D3DDeviceGl::CreateIndexBuffer(uint32_t length, uint32_t usage, D3DFORMAT format,
                                       D3DPOOL pool, D3DIndexBuffer** buffer) {
  if (!buffer) return D3DERR_INVALIDCALL;
  *buffer = nullptr;
  if (!MakeCurrent()) return D3DERR_INVALIDCALL;
  HRESULT result = D3D_OK;
  *buffer = IndexBufferGl::Create(*this, length, usage, format, pool, &result);
  return result;
}

HRESULT D3DDeviceGl::CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                             D3DVertexDeclaration** declaration) {
  if (!declaration) return D3DERR_INVALIDCALL;
  *declaration = VertexDeclarationGl::Create(elements);
  return *declaration ? D3D_OK : D3DERR_INVALIDCALL;
}

}  // namespace gfx
