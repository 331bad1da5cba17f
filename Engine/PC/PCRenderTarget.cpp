#include "Engine/PC/PCRenderTarget.h"

#include "Engine/Assert.h"
#include "Engine/LogFile.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCRenderStates.h"
#include "Engine/PC/PCShaderSet.h"

using namespace gfx;

namespace {

D3DDevice* Device() { return GetApp().GetDisplay()->GetDevice(); }

void ReleaseSurface(D3DSurface*& surface) {
  if (surface) surface->Release();
  surface = nullptr;
}

// Surface level 0 of a texture record's device texture, or null.
D3DSurface* TopSurface(const TextureData* record) {
  if (!record || !record->texture) return nullptr;
  D3DSurface* surface = nullptr;
  HRESULT hr = record->texture->GetSurfaceLevel(0, &surface);
  ReportD3DError(hr);
  return FAILED(hr) ? nullptr : surface;
}

// The screen quad's vertex: a transformed position, a colour and one texture coordinate.
struct ScreenVertex {
  float x, y, z, rhw;
  uint32_t colour;
  float u, v;
};
static_assert(sizeof(ScreenVertex) == 28, "the screen declaration's vertex");

}  // namespace

TargetContainer* RenderTarget::Find(RenderTargetSet* set, int32_t id) {
  if (!set) return nullptr;
  for (int32_t i = 0; i < set->targets.GetCount(); ++i)
    if (set->targets[i] && set->targets[i]->id == id) return set->targets[i];
  return nullptr;
}

int32_t RenderTarget::Init(RenderTargetSet* set) {
  set->targets.Empty();
  set->nextId = 0;
  set->savedDepthStencil = nullptr;
  set->savedTarget = nullptr;
  return 1;
}

int32_t RenderTarget::Create(RenderTargetSet* set) {
  TargetContainer* target = TrackedNew<TargetContainer>("RenderTarget::Create");
  if (!target) return -1;
  target->id = set->nextId;
  target->texture = GetApp().GetTexture()->CreateRenderTarget();
  if (set->targets.Add(target) < 0) {
    GetApp().GetTexture()->Delete(target->texture);
    TrackedDelete("RenderTarget::Create", target);
    return -1;
  }
  ++set->nextId;
  return target->id;
}

void RenderTarget::Delete(RenderTargetSet* set, int32_t id) {
  for (int32_t i = 0; i < set->targets.GetCount(); ++i) {
    TargetContainer* target = set->targets[i];
    if (!target || target->id != id) continue;
    GetApp().GetTexture()->Delete(target->texture);
    TrackedDelete("RenderTarget::Delete", target);
    set->targets.Remove(i);
    return;
  }
  AssertReport("pTarget!=NULL", __FILE__, __LINE__);
}

int32_t RenderTarget::GetTexture(RenderTargetSet* set, int32_t id) {
  TargetContainer* target = Find(set, id);
  if (!target) {
    AssertReport("pContainer!=NULL", __FILE__, __LINE__);
    return -1;
  }
  return target->texture;
}

void RenderTarget::Set(RenderTargetSet* set, int32_t id) {
  TargetContainer* target = Find(set, id);
  D3DDevice* device = Device();
  D3DSurface* surface = target ? TopSurface(GetApp().GetTexture()->Find(target->texture)) : nullptr;
  if (!surface || !device) {
    // A target whose texture the device refused is no more usable than a missing one.
    DebugLog().Write("Unable to set render target!\n");
    ReleaseSurface(surface);
    return;
  }
  ReportD3DError(device->SetRenderTarget(0, surface));
  D3DVIEWPORT9 viewport = {
      0,    0,   static_cast<uint32_t>(target->width), static_cast<uint32_t>(target->height),
      0.0f, 1.0f};
  ReportD3DError(device->SetViewport(&viewport));
  ReleaseSurface(surface);
}

void RenderTarget::SaveTargets(RenderTargetSet* set) {
  D3DDevice* device = Device();
  if (!device) return;
  // A second save without a restore would otherwise keep the first pair alive for ever.
  ReleaseSurface(set->savedDepthStencil);
  ReleaseSurface(set->savedTarget);
  HRESULT hr = device->GetDepthStencilSurface(&set->savedDepthStencil);
  ReportD3DError(hr);
  if (FAILED(hr)) set->savedDepthStencil = nullptr;
  hr = device->GetRenderTarget(0, &set->savedTarget);
  ReportD3DError(hr);
  if (FAILED(hr)) set->savedTarget = nullptr;
}

void RenderTarget::RestoreTargets(RenderTargetSet* set) {
  D3DDevice* device = Device();
  if (device) {
    ReportD3DError(device->SetDepthStencilSurface(set->savedDepthStencil));
    ReportD3DError(device->SetRenderTarget(0, set->savedTarget));
  }
  ReleaseSurface(set->savedDepthStencil);
  ReleaseSurface(set->savedTarget);
}

void RenderTarget::Clear() {
  D3DDevice* device = Device();
  if (device)
    ReportD3DError(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0));
}

void RenderTarget::CopyBackBuffer(RenderTargetSet* set, int32_t id) {
  TargetContainer* target = Find(set, id);
  if (!target) {
    DebugLog().Write("Unable to find render target %i\n", id);
    return;
  }
  TextureData* record = GetApp().GetTexture()->Find(target->texture);
  if (!record) {
    AssertReport("pTexData!=NULL", __FILE__, __LINE__);
    return;
  }
  D3DDevice* device = Device();
  D3DSurface* dest = TopSurface(record);
  if (!device || !dest) {
    ReleaseSurface(dest);
    return;
  }
  D3DSurface* back = nullptr;
  HRESULT hr = device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
  ReportD3DError(hr);
  if (SUCCEEDED(hr) && back)
    ReportD3DError(device->StretchRect(back, nullptr, dest, nullptr, D3DTEXF_LINEAR));
  if (FAILED(hr)) back = nullptr;
  ReleaseSurface(back);
  ReleaseSurface(dest);
}

void RenderTarget::CopyTexture(int32_t source, int32_t dest) {
  Texture* textures = GetApp().GetTexture();
  TextureData* sourceData = source == -1 ? nullptr : textures->Find(source);
  TextureData* destData = dest == -1 ? nullptr : textures->Find(dest);
  if (!sourceData) AssertReport("pSrcData!=NULL", __FILE__, __LINE__);
  if (!destData) AssertReport("pDestData!=NULL", __FILE__, __LINE__);
  D3DDevice* device = Device();
  if (!sourceData || !destData || !device) return;
  D3DSurface* from = TopSurface(sourceData);
  D3DSurface* to = TopSurface(destData);
  if (from && to) ReportD3DError(device->StretchRect(from, nullptr, to, nullptr, D3DTEXF_LINEAR));
  ReleaseSurface(from);
  ReleaseSurface(to);
}

void RenderTarget::DrawToScreen(const Vector2& viewportMin, const Vector2& viewportMax,
                                RenderTargetSet* set, int32_t id) {
  TargetContainer* target = Find(set, id);
  if (!target) {
    AssertReport("pTarget!=NULL", __FILE__, __LINE__);
    return;
  }
  D3DDevice* device = Device();
  if (!device) return;
  GetApp().GetTexture()->SetStage(target->texture);
  ShaderSet* shaders = GetApp().GetDisplay()->GetShaderSet();
  if (shaders) {
    shaders->ClearFlags();
    shaders->SelectScreenShader();
  }
  RenderStateCache::SetRenderState(D3DRS_BLENDOP, D3DBLENDOP_ADD);
  RenderStateCache::SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  RenderStateCache::SetRenderState(D3DRS_DESTBLEND, D3DBLEND_SRCALPHA);
  RenderStateCache::SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
  RenderStateCache::SetRenderState(D3DRS_ZWRITEENABLE, 0);
  RenderStateCache::SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
  RenderStateCache::SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  RenderStateCache::SetRenderState(D3DRS_ALPHAREF, 0);
  const uint32_t grey = 0xFF7F7F7Fu;
  const ScreenVertex quad[4] = {
      {viewportMin.x, viewportMin.y, 0.0f, 1.0f, grey, 0.0f, 0.0f},
      {viewportMax.x, viewportMin.y, 0.0f, 1.0f, grey, 1.0f, 0.0f},
      {viewportMin.x, viewportMax.y, 0.0f, 1.0f, grey, 0.0f, 1.0f},
      {viewportMax.x, viewportMax.y, 0.0f, 1.0f, grey, 1.0f, 1.0f},
  };
  ReportD3DError(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenVertex)));
  RenderStateCache::SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
  RenderStateCache::SetRenderState(D3DRS_ZWRITEENABLE, 1);
  RenderStateCache::SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
}

void RenderTarget::DrawToScreen(const RenderWindow* window, RenderTargetSet* set, int32_t id) {
  if (!window) return;
  const float* min = window->GetViewportMin();
  DrawToScreen(Vector2(min[0], min[1]),
               Vector2(min[0] + static_cast<float>(window->GetWidth()),
                       min[1] + static_cast<float>(window->GetHeight())),
               set, id);
}

void RenderTarget::CleanUp(RenderTargetSet* set) {
  ReleaseSurface(set->savedDepthStencil);
  ReleaseSurface(set->savedTarget);
  for (int32_t i = 0; i < set->targets.GetCount(); ++i) {
    TargetContainer* target = set->targets[i];
    if (!target) continue;
    if (target->texture != -1) GetApp().GetTexture()->Delete(target->texture);
    TrackedDelete("RenderTarget::CleanUp", target);
  }
  set->targets.Empty();
}
