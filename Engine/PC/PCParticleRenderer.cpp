#include "Engine/PC/PCParticleRenderer.h"

#include "Engine/BaseParticleSystem.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCRenderStates.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Engine/PC/PCShaderSet.h"
#include "Engine/PC/PCVertexStream.h"
#include "Engine/ParticleSystem.h"
#include "Platform/Gfx/D3DX.h"

using namespace gfx;

namespace {

// A colour component as the byte the vertex carries: truncated toward zero. The update keeps the
// components within 0..255, but a fresh particle has its template's colour untouched, so the
// range is made sure of here too: a float outside an integer's range has no defined conversion.
uint32_t ColourByte(float value) {
  if (!(value > 0.0f)) return 0;
  if (value >= 255.0f) return 255;
  return static_cast<uint32_t>(value);
}

void SetBlend(uint32_t flags) {
  uint32_t op = D3DBLENDOP_ADD;
  uint32_t dest = D3DBLEND_INVSRCALPHA;
  if (flags & kTemplateAdditive) {
    dest = D3DBLEND_ONE;
  } else if (flags & kTemplateSubtractive) {
    op = D3DBLENDOP_REVSUBTRACT;
    dest = D3DBLEND_ONE;
  }
  RenderStateCache::SetRenderState(D3DRS_BLENDOP, op);
  RenderStateCache::SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  RenderStateCache::SetRenderState(D3DRS_DESTBLEND, dest);
}

void Put(StreamVertex* v, const Vector4& p, uint32_t colour, float u, float t) {
  v->x = p.x;
  v->y = p.y;
  v->z = p.z;
  v->colour = colour;
  v->u = u;
  v->v = t;
}

}  // namespace

void PCParticleRenderer::Install() { ParticleRenderer::SetDrawFunction(&PCParticleRenderer::Draw); }

void PCParticleRenderer::Draw(BaseParticleSystem* system, BaseRenderWindow* window) {
  if (!system) return;
  const uint32_t live = system->GetLiveCount();
  const Particle* particles = system->GetParticles();
  const int32_t slots = system->GetMaxParticles();
  if (live == 0 || !particles || slots <= 0) return;

  App& app = GetApp();
  Display* display = app.GetDisplay();
  D3DDevice* device = display->GetDevice();
  VertexStream* stream = display->GetVertexStream();
  if (!device || !stream) return;

  if (ShaderSet* shaders = display->GetShaderSet()) {
    shaders->SetDeclAndShader();
    // The multiplier holds whatever the last mesh drawn left in it; particles are tinted by
    // their window like everything else the window draws.
    const float* factors = window ? window->GetColourFactors() : nullptr;
    shaders->SetColourMultiplier(factors ? Vector4(factors[0], factors[1], factors[2], factors[3])
                                         : Vector4(1.0f, 1.0f, 1.0f, 1.0f));
  }
  app.GetTexture()->SetStage(system->GetTexture());

  const Matrix& view = *display->GetViewMatrix();
  Matrix clip;
  D3DXMatrixMultiply(reinterpret_cast<D3DMATRIX*>(clip.m),
                     reinterpret_cast<const D3DMATRIX*>(view.m),
                     reinterpret_cast<const D3DMATRIX*>(display->GetDeviceProjectionMatrix()->m));
  ReportD3DError(device->SetVertexShaderConstantF(ShaderSet::kRegDrawMatrix, clip.m,
                                                ShaderSet::kDrawMatrixRegisters));

  RenderStateCache::SetRenderState(D3DRS_ZWRITEENABLE, 0);
  RenderStateCache::SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
  RenderStateCache::SetRenderState(D3DRS_ALPHATESTENABLE, 0);

  // The camera's right and up axes in world space.
  Matrix cameraToWorld;
  MatrixInverse4x4(view, cameraToWorld);
  const Vector4 right(cameraToWorld[0], cameraToWorld[1], cameraToWorld[2], 0.0f);
  const Vector4 up(cameraToWorld[4], cameraToWorld[5], cameraToWorld[6], 0.0f);

  SetBlend(system->GetFlags());
  ReportD3DError(device->SetIndices(stream->GetIndexBuffer()));

  // The live count also covers particles born already dead (life variation beyond the life);
  // they get no quad. More than the index buffer's quads cannot be drawn in one call.
  uint32_t quads = live < static_cast<uint32_t>(slots) ? live : static_cast<uint32_t>(slots);
  if (quads > VertexStream::kQuads) quads = VertexStream::kQuads;
  StreamVertex* out = stream->Lock(quads * 4);
  s_lastQuads = 0;
  if (!out) return;

  uint32_t written = 0;
  for (int32_t i = 0; i < slots && written < quads; ++i) {
    const Particle& p = particles[i];
    if (!(p.life > 0.0f)) continue;
    const float c = Cos(p.angle.z);
    const float s = Sin(p.angle.z);
    const float sx = p.scale.x;
    const float sy = p.scale.y;
    // The camera axes turned by the particle's angle, scaled to the quad's half sizes.
    const Vector4 r((c * right.x + s * up.x) * sx, (c * right.y + s * up.y) * sx,
                    (c * right.z + s * up.z) * sx, 0.0f);
    const Vector4 u((-s * right.x + c * up.x) * sy, (-s * right.y + c * up.y) * sy,
                    (-s * right.z + c * up.z) * sy, 0.0f);
    const uint32_t colour = ColourByte(p.colour.w) << 24 | ColourByte(p.colour.x) << 16 |
                            ColourByte(p.colour.y) << 8 | ColourByte(p.colour.z);
    const Vector4& centre = p.position;
    StreamVertex* v = out + written * 4;
    Put(v + 0, Vector4(centre.x - r.x + u.x, centre.y - r.y + u.y, centre.z - r.z + u.z, 1.0f),
        colour, 1.0f, 0.0f);
    Put(v + 1, Vector4(centre.x - r.x - u.x, centre.y - r.y - u.y, centre.z - r.z - u.z, 1.0f),
        colour, 1.0f, 1.0f);
    Put(v + 2, Vector4(centre.x + r.x + u.x, centre.y + r.y + u.y, centre.z + r.z + u.z, 1.0f),
        colour, 0.0f, 0.0f);
    Put(v + 3, Vector4(centre.x + r.x - u.x, centre.y + r.y - u.y, centre.z + r.z - u.z, 1.0f),
        colour, 0.0f, 1.0f);
    ++written;
  }
  stream->Unlock();
  // Only what was written is drawn: quads behind it hold whatever an earlier draw left there.
  if (written == 0) return;
  s_lastQuads = written;
  ReportD3DError(device->SetStreamSource(ShaderSet::kStreamMesh, stream->GetVertexBuffer(),
                                         stream->GetStartVertex() * VertexStream::kVertexSize,
                                         VertexStream::kVertexSize));
  ReportD3DError(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, written * 4, 0,
                                              written * 2));
}
