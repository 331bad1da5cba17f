#include "Platform/Gfx/DrawState.h"
#include "Platform/Gfx/TextureGl.h"

#include <algorithm>
#include <cstring>

#include "Platform/Gfx/D3DDeviceGl.h"
#include "Platform/Gfx/GfxLog.h"
#include "Platform/Gfx/IndexBufferGl.h"
#include "Platform/Gfx/PipelineResources.h"
#include "Platform/Gfx/VertexBufferGl.h"

namespace gfx {

namespace {

// What the device reports as D3DCAPS9::MaxPrimitiveCount.
constexpr uint32_t kMaxPrimitives = 0xFFFFF;

template <typename T>
void Hold(T*& slot, T* object) {
  if (slot == object) return;
  if (object) object->AddRef();
  T* old = slot;
  slot = object;
  if (old) old->Release();
}

// Vertices (or indices) a primitive count takes; 0 for an unknown type.
uint64_t VertexCount(D3DPRIMITIVETYPE type, uint32_t primitives) {
  const uint64_t n = primitives;
  switch (type) {
    case D3DPT_POINTLIST:
      return n;
    case D3DPT_LINELIST:
      return 2 * n;
    case D3DPT_LINESTRIP:
      return n + 1;
    case D3DPT_TRIANGLELIST:
      return 3 * n;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
      return n + 2;
    default:
      return 0;
  }
}

GLenum GlMode(D3DPRIMITIVETYPE type) {
  switch (type) {
    case D3DPT_POINTLIST:
      return GL_POINTS;
    case D3DPT_LINELIST:
      return GL_LINES;
    case D3DPT_LINESTRIP:
      return GL_LINE_STRIP;
    case D3DPT_TRIANGLESTRIP:
      return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN:
      return GL_TRIANGLE_FAN;
    default:
      return GL_TRIANGLES;
  }
}

void ColorToFloats(uint32_t argb, float out[4]) {
  out[0] = static_cast<float>((argb >> 16) & 0xFF) / 255.0f;
  out[1] = static_cast<float>((argb >> 8) & 0xFF) / 255.0f;
  out[2] = static_cast<float>(argb & 0xFF) / 255.0f;
  out[3] = static_cast<float>((argb >> 24) & 0xFF) / 255.0f;
}

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
  D3DMATRIX out;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      float sum = 0.0f;
      for (int k = 0; k < 4; ++k) sum += a.m[r * 4 + k] * b.m[k * 4 + c];
      out.m[r * 4 + c] = sum;
    }
  }
  return out;
}

bool ShapesPixelProgram(uint32_t state) {
  switch (state) {
    case D3DRS_ALPHATESTENABLE:
    case D3DRS_ALPHAFUNC:
    case D3DRS_FOGENABLE:
    case D3DRS_FOGTABLEMODE:
    case D3DRS_FOGVERTEXMODE:
    case D3DRS_RANGEFOGENABLE:
    case D3DRS_SPECULARENABLE:
    case D3DRS_LIGHTING:
      return true;
    default:
      return false;
  }
}

bool IsPixelUniform(uint32_t state) {
  switch (state) {
    case D3DRS_TEXTUREFACTOR:
    case D3DRS_ALPHAREF:
    case D3DRS_FOGCOLOR:
    case D3DRS_FOGSTART:
    case D3DRS_FOGEND:
    case D3DRS_FOGDENSITY:
      return true;
    default:
      return false;
  }
}

}  // namespace

float ViewportFarZ(const D3DVIEWPORT9& viewport) {
  return std::max(viewport.MaxZ, viewport.MinZ + kMinViewportDepthSpan);
}

DrawState::DrawState(D3DDeviceGl& device) : device_(device) {
  SetDirect3DDefaults(&states_, false);
}

DrawState::~DrawState() {
  // The context is gone by now (ReleaseGl ran while it was current): only references remain.
  ReleaseBindings();
  for (auto& entry : fvfLayouts_) entry.second->Release();
  fvfLayouts_.clear();
  programs_.Forget();
  samplers_.Forget();
  stream_.Forget();
  vertexInput_.Forget();
}

void DrawState::ReleaseGl() {
  ReleaseBindings();
  for (auto& entry : fvfLayouts_) entry.second->Release();
  fvfLayouts_.clear();
  programs_.ReleaseGl();
  samplers_.ReleaseGl();
  stream_.ReleaseGl();
  vertexInput_.ReleaseGl();
  output_.Invalidate();
  program_ = nullptr;
  programDirty_ = true;
}

void DrawState::ReleaseBindings() {
  for (D3DTexture*& texture : textures_) Hold<D3DTexture>(texture, nullptr);
  for (bool& sampled : textureSampled_) sampled = false;
  for (Stream& stream : streams_) {
    Hold<VertexBufferGl>(stream.buffer, nullptr);
    stream.offset = 0;
    stream.stride = 0;
  }
  Hold<IndexBufferGl>(indices_, nullptr);
  Hold<VertexDeclarationGl>(declaration_, nullptr);
  Hold<D3DVertexShader>(shader_, nullptr);
  layout_ = nullptr;
  programDirty_ = true;
}

void DrawState::ResetState(bool autoDepthStencil) {
  ReleaseBindings();
  autoDepthStencil_ = autoDepthStencil;
  SetDirect3DDefaults(&states_, autoDepthStencil);
  std::fill(std::begin(constants_), std::end(constants_), 0.0f);
  ++constantsVersion_;
  std::fill(std::begin(constantVersion_), std::end(constantVersion_), constantsVersion_);
  ++transformsVersion_;
  ++pixelVersion_;
  programDirty_ = true;
}

void DrawState::ForgetBuffer(GLuint name) { vertexInput_.ForgetBuffer(name); }

// ---- Logging.

void DrawState::Unsupported(const char* what, uint32_t value) {
  if (!logged_.insert({what, value}).second) return;
  GfxLog("gfx: %s %u is not supported; ignored\n", what, value);
}

HRESULT DrawState::Refuse(const char* why) {
  if (logged_.insert({why, 0xFFFFFFFFu}).second) GfxLog("gfx: draw refused: %s\n", why);
  return D3DERR_INVALIDCALL;
}

void DrawState::CheckRenderValue(uint32_t state, uint32_t value) {
  switch (state) {
    case D3DRS_ZENABLE:
      if (value > D3DZB_TRUE) Unsupported("D3DRS_ZENABLE", value);
      break;
    case D3DRS_FILLMODE:
      if (value < D3DFILL_POINT || value > D3DFILL_SOLID) Unsupported("D3DRS_FILLMODE", value);
      break;
    case D3DRS_SHADEMODE:
      if (value != D3DSHADE_GOURAUD) Unsupported("D3DRS_SHADEMODE", value);
      break;
    case D3DRS_CULLMODE:
      if (value < D3DCULL_NONE || value > D3DCULL_CCW) Unsupported("D3DRS_CULLMODE", value);
      break;
    case D3DRS_ZFUNC:
    case D3DRS_ALPHAFUNC:
      if (value < D3DCMP_NEVER || value > D3DCMP_ALWAYS) {
        Unsupported(state == D3DRS_ZFUNC ? "D3DRS_ZFUNC" : "D3DRS_ALPHAFUNC", value);
      }
      break;
    case D3DRS_SRCBLEND:
    case D3DRS_DESTBLEND:
      if (value < D3DBLEND_ZERO || value > D3DBLEND_INVBLENDFACTOR) {
        Unsupported(state == D3DRS_SRCBLEND ? "D3DRS_SRCBLEND" : "D3DRS_DESTBLEND", value);
      }
      break;
    case D3DRS_BLENDOP:
      if (value < D3DBLENDOP_ADD || value > D3DBLENDOP_MAX) Unsupported("D3DRS_BLENDOP", value);
      break;
    case D3DRS_FOGTABLEMODE:
    case D3DRS_FOGVERTEXMODE:
      if (value > D3DFOG_LINEAR) {
        Unsupported(state == D3DRS_FOGTABLEMODE ? "D3DRS_FOGTABLEMODE" : "D3DRS_FOGVERTEXMODE",
                    value);
      }
      break;
    case D3DRS_STENCILENABLE:
      if (value) Unsupported("D3DRS_STENCILENABLE", value);
      break;
    case D3DRS_VERTEXBLEND:
      if (value) Unsupported("D3DRS_VERTEXBLEND", value);
      break;
    case D3DRS_CLIPPLANEENABLE:
      if (value) Unsupported("D3DRS_CLIPPLANEENABLE", value);
      break;
    case D3DRS_POINTSPRITEENABLE:
      if (value) Unsupported("D3DRS_POINTSPRITEENABLE", value);
      break;
    case D3DRS_SRGBWRITEENABLE:
      if (value) Unsupported("D3DRS_SRGBWRITEENABLE", value);
      break;
    case D3DRS_SEPARATEALPHABLENDENABLE:
      if (value) Unsupported("D3DRS_SEPARATEALPHABLENDENABLE", value);
      break;
    default:
      if (((state >= D3DRS_WRAP0 && state <= D3DRS_WRAP7) || (state >= D3DRS_WRAP8 && state <= D3DRS_WRAP15)) &&
          value) {
        Unsupported("D3DRS_WRAPn", value);
      }
      break;
  }
}

void DrawState::CheckStageValue(uint32_t stage, uint32_t type, uint32_t value) {
  switch (type) {
    case D3DTSS_COLOROP:
      if (!IsSupportedColorOp(value)) Unsupported("D3DTSS_COLOROP", value);
      if (stage >= kPixelStages && value != D3DTOP_DISABLE) {
        Unsupported("a colour operation on texture stage", stage);
      }
      break;
    case D3DTSS_ALPHAOP:
      if (!IsSupportedAlphaOp(value)) Unsupported("D3DTSS_ALPHAOP", value);
      break;
    case D3DTSS_COLORARG0:
    case D3DTSS_COLORARG1:
    case D3DTSS_COLORARG2:
    case D3DTSS_ALPHAARG0:
    case D3DTSS_ALPHAARG1:
    case D3DTSS_ALPHAARG2:
      if (!IsSupportedArg(value)) Unsupported("texture stage argument", value);
      break;
    case D3DTSS_TEXCOORDINDEX:
      if (value > 0xFFFFu) Unsupported("generated texture coordinates", value >> 16);
      break;
    case D3DTSS_TEXTURETRANSFORMFLAGS: {
      const uint32_t count = value & kD3DTtffCountMask;
      if ((value & ~(kD3DTtffCountMask | D3DTTFF_PROJECTED)) != 0 || count > D3DTTFF_COUNT4) {
        Unsupported("D3DTSS_TEXTURETRANSFORMFLAGS", value);
      }
      break;
    }
    case D3DTSS_RESULTARG:
      if (value != D3DTA_CURRENT) Unsupported("D3DTSS_RESULTARG", value);
      break;
    default:
      break;
  }
}

void DrawState::CheckSamplerValue(uint32_t type, uint32_t value) {
  switch (type) {
    case D3DSAMP_ADDRESSU:
    case D3DSAMP_ADDRESSV:
    case D3DSAMP_ADDRESSW:
      if (value < D3DTADDRESS_WRAP || value > D3DTADDRESS_BORDER) Unsupported("texture address mode", value);
      break;
    case D3DSAMP_MAGFILTER:
    case D3DSAMP_MINFILTER:
    case D3DSAMP_MIPFILTER:
      if (value > D3DTEXF_LINEAR) Unsupported("texture filter", value);
      break;
    default:
      break;
  }
}

// ---- States.

HRESULT DrawState::SetRenderState(uint32_t state, uint32_t value) {
  if (state >= kD3DRenderStateCount) return D3DERR_INVALIDCALL;
  if (states_.render[state] == value) return D3D_OK;
  CheckRenderValue(state, value);
  states_.render[state] = value;
  if (ShapesPixelProgram(state)) programDirty_ = true;
  if (IsPixelUniform(state)) ++pixelVersion_;
  return D3D_OK;
}

HRESULT DrawState::GetRenderState(uint32_t state, uint32_t* value) const {
  if (!value || state >= kD3DRenderStateCount) return D3DERR_INVALIDCALL;
  *value = states_.render[state];
  return D3D_OK;
}

HRESULT DrawState::SetTextureStageState(uint32_t stage, uint32_t type, uint32_t value) {
  if (stage >= kD3DMaxTextureStages || type >= kD3DTextureStageStateCount) {
    return D3DERR_INVALIDCALL;
  }
  if (states_.stage[stage][type] == value) return D3D_OK;
  CheckStageValue(stage, type, value);
  states_.stage[stage][type] = value;
  if (stage < kPixelStages) {
    if (type == D3DTSS_CONSTANT) {
      ++pixelVersion_;
    } else {
      programDirty_ = true;
    }
  }
  return D3D_OK;
}

HRESULT DrawState::GetTextureStageState(uint32_t stage, uint32_t type, uint32_t* value) const {
  if (!value || stage >= kD3DMaxTextureStages || type >= kD3DTextureStageStateCount) {
    return D3DERR_INVALIDCALL;
  }
  *value = states_.stage[stage][type];
  return D3D_OK;
}

HRESULT DrawState::SetSamplerState(uint32_t sampler, uint32_t type, uint32_t value) {
  if (sampler >= kD3DMaxSamplers || type >= kD3DSamplerStateCount) return D3DERR_INVALIDCALL;
  if (states_.sampler[sampler][type] == value) return D3D_OK;
  CheckSamplerValue(type, value);
  states_.sampler[sampler][type] = value;
  return D3D_OK;
}

HRESULT DrawState::GetSamplerState(uint32_t sampler, uint32_t type, uint32_t* value) const {
  if (!value || sampler >= kD3DMaxSamplers || type >= kD3DSamplerStateCount) {
    return D3DERR_INVALIDCALL;
  }
  *value = states_.sampler[sampler][type];
  return D3D_OK;
}

HRESULT DrawState::SetTexture(uint32_t stage, D3DTexture* texture) {
  if (stage >= kD3DMaxTextureStages) return D3DERR_INVALIDCALL;
  // Like buffers, another device's texture names something else (or nothing) in this context.
  HRESULT result = D3D_OK;
  if (texture && static_cast<TextureGl*>(texture)->Shared() != device_.Shared()) {
    // The stage is left without a texture, and its programs must know it.
    texture = nullptr;
    result = Refuse("a texture of another device");
  }
  if (textures_[stage] == texture) return result;
  Hold(textures_[stage], texture);
  if (stage < kPixelStages) {
    TextureInfo info;
    const bool sampled = texture && GetTextureInfo(texture, &info);
    if (sampled != textureSampled_[stage]) programDirty_ = true;
    textureSampled_[stage] = sampled;
  }
  return result;
}

HRESULT DrawState::SetTransform(uint32_t type, const D3DMATRIX* matrix) {
  TransformSlot slot;
  if (!matrix || !TransformSlotFor(type, &slot)) return D3DERR_INVALIDCALL;
  states_.Transform(slot) = *matrix;
  ++transformsVersion_;
  // Whether fog distance is w follows the projection.
  if (slot == TransformSlot::Projection) ++pixelVersion_;
  return D3D_OK;
}

HRESULT DrawState::GetTransform(uint32_t type, D3DMATRIX* matrix) const {
  TransformSlot slot;
  if (!matrix || !TransformSlotFor(type, &slot)) return D3DERR_INVALIDCALL;
  *matrix = states_.Transform(slot);
  return D3D_OK;
}

HRESULT DrawState::SetVertexDeclaration(D3DVertexDeclaration* declaration) {
  // Every declaration comes from this device's CreateVertexDeclaration.
  Hold(declaration_, static_cast<VertexDeclarationGl*>(declaration));
  layout_ = declaration_;
  programDirty_ = true;
  return D3D_OK;
}

HRESULT DrawState::SetFVF(uint32_t fvf) {
  // Direct3D passes over a format of 0 and keeps the declaration that is set.
  if (fvf == 0) return D3D_OK;
  auto found = fvfLayouts_.find(fvf);
  if (found == fvfLayouts_.end()) {
    VertexDeclarationGl* layout = VertexDeclarationGl::FromFvf(fvf);
    if (!layout) {
      Unsupported("vertex format (FVF)", fvf);
      return D3DERR_INVALIDCALL;
    }
    found = fvfLayouts_.emplace(fvf, layout).first;
  }
  Hold<VertexDeclarationGl>(declaration_, nullptr);
  layout_ = found->second;
  programDirty_ = true;
  return D3D_OK;
}

HRESULT DrawState::SetVertexShader(D3DVertexShader* shader) {
  if (shader_ != shader) programDirty_ = true;
  Hold(shader_, shader);
  return D3D_OK;
}

HRESULT DrawState::SetVertexShaderConstantF(uint32_t start, const float* data, uint32_t count) {
  if (start >= kVertexConstants || count > kVertexConstants - start) return D3DERR_INVALIDCALL;
  if (count == 0) return D3D_OK;
  if (!data) return D3DERR_INVALIDCALL;
  std::memcpy(&constants_[start * 4], data, sizeof(float) * 4 * count);
  ++constantsVersion_;
  for (uint32_t i = start; i < start + count; ++i) constantVersion_[i] = constantsVersion_;
  return D3D_OK;
}

HRESULT DrawState::SetStreamSource(uint32_t stream, D3DVertexBuffer* buffer, uint32_t offset,
                                   uint32_t stride) {
  if (stream >= kMaxStreams) return D3DERR_INVALIDCALL;
  auto* vertices = static_cast<VertexBufferGl*>(buffer);
  // Another device's buffer would have the draw read through a name that means something else
  // in this context (a smaller buffer, or none): the stream is emptied instead, as if set to
  // null.
  if (vertices && !vertices->Buffer().BelongsTo(device_)) {
    Hold<VertexBufferGl>(streams_[stream].buffer, nullptr);
    return Refuse("a vertex buffer of another device");
  }
  Hold(streams_[stream].buffer, vertices);
  streams_[stream].offset = offset;
  streams_[stream].stride = stride;
  return D3D_OK;
}

HRESULT DrawState::SetIndices(D3DIndexBuffer* indices) {
  auto* buffer = static_cast<IndexBufferGl*>(indices);
  if (buffer && !buffer->Buffer().BelongsTo(device_)) {
    Hold<IndexBufferGl>(indices_, nullptr);
    return Refuse("an index buffer of another device");
  }
  Hold(indices_, buffer);
  return D3D_OK;
}

// ---- Drawing.

PipelineProgram* DrawState::SelectProgram(const VertexDeclarationGl& layout) {
  const bool fixedFunction = !shader_ || layout.Pretransformed();
  const CoordSource coords = layout.Pretransformed() ? CoordSource::Pretransformed
                             : fixedFunction         ? CoordSource::FixedFunction
                                                     : CoordSource::Shader;
  fragmentKey_ = MakeFragmentKey(states_, textureSampled_, coords);

  FixedVertexKey fixedKey;
  VertexProgramInfo shaderInfo;
  uint64_t vertexId = 0;
  if (fixedFunction) {
    fixedKey = MakeFixedVertexKey(states_, layout);
    vertexId = fixedKey.Packed();
    if (states_.render[D3DRS_LIGHTING] && layout.Find(D3DDECLUSAGE_NORMAL, 0)) {
      Unsupported("fixed-function lighting (vertex colours are used unlit); D3DRS_LIGHTING", 1);
    }
  } else {
    if (!GetVertexProgramInfo(shader_, &shaderInfo) || !shaderInfo.source) {
      Refuse("the vertex shader has no program");
      return nullptr;
    }
    vertexId = shaderInfo.id;
  }
  PipelineProgram* program = programs_.Find(vertexId, fragmentKey_);
  if (!program) {
    if (fixedFunction) {
      program = programs_.Build(vertexId, FixedVertexSource(fixedKey), FixedVertexInputs(fixedKey),
                                true, fragmentKey_);
    } else {
      program =
          programs_.Build(vertexId, *shaderInfo.source, shaderInfo.inputs, false, fragmentKey_);
    }
  }
  program_ = program;
  programDirty_ = false;
  return program;
}

bool DrawState::CheckStreams(const PipelineProgram& program, const VertexDeclarationGl& layout,
                             int64_t firstVertex, int64_t lastVertex) {
  uint32_t needed = 0;
  for (uint32_t loc = 0; loc < kMaxVertexInputs; ++loc) {
    if (program.inputs.usage[loc] == kNoInput) continue;
    const D3DVERTEXELEMENT9* e =
        layout.Find(program.inputs.usage[loc], program.inputs.usageIndex[loc]);
    if (e) needed |= 1u << e->Stream;
  }
  for (uint32_t s = 0; s < kMaxStreams; ++s) {
    if (!(needed & (1u << s))) continue;
    const Stream& stream = streams_[s];
    if (!stream.buffer) continue;  // its elements read zeros (see PointInputs)
    if (stream.buffer->Buffer().Locked()) {
      Refuse("a vertex buffer is still locked");
      return false;
    }
    if (firstVertex < 0) {
      Refuse("a vertex index below 0");
      return false;
    }
    const uint64_t extent = layout.StreamExtent(s);
    const uint64_t end = stream.stride
                             ? stream.offset + uint64_t(lastVertex) * stream.stride + extent
                             : stream.offset + extent;
    if (end > stream.buffer->GetLength()) {
      Refuse("vertices beyond the end of a vertex buffer");
      return false;
    }
  }
  return true;
}

HRESULT DrawState::PrepareIndexed(const DrawRequest& request, uint32_t indexCount,
                                  const PipelineProgram& program,
                                  const VertexDeclarationGl& layout) {
  if (!indices_) return Refuse("no index buffer is set");
  if (indices_->Buffer().Locked()) return Refuse("the index buffer is still locked");
  if (uint64_t{request.startIndex} + indexCount > indices_->IndexCount()) {
    return Refuse("indices beyond the end of the index buffer");
  }
  // Cheap first: when the vertices hold every index of the buffer, no scan is needed.
  uint32_t lowest = 0;
  uint32_t highest = 0;
  indices_->WholeRange(&lowest, &highest);
  bool fits = true;
  for (uint32_t s = 0; s < kMaxStreams && fits; ++s) {
    const Stream& stream = streams_[s];
    if (!stream.buffer || !(layout.StreamMask() & (1u << s))) continue;
    const int64_t first = int64_t{request.baseVertex} + lowest;
    const uint64_t end =
        stream.offset +
        uint64_t(std::max<int64_t>(int64_t{request.baseVertex} + highest, 0)) * stream.stride +
        layout.StreamExtent(s);
    fits = first >= 0 && end <= stream.buffer->GetLength();
  }
  if (!fits) indices_->IndexRange(request.startIndex, indexCount, &lowest, &highest);
  if (!CheckStreams(program, layout, int64_t{request.baseVertex} + lowest,
                    int64_t{request.baseVertex} + highest)) {
    return D3DERR_INVALIDCALL;
  }
  return D3D_OK;
}

void DrawState::PointInputs(const PipelineProgram& program, const VertexDeclarationGl& layout,
                            bool user, uint32_t userStride) {
  for (uint32_t loc = 0; loc < kMaxVertexInputs; ++loc) {
    const uint8_t usage = program.inputs.usage[loc];
    if (usage == kNoInput) {
      vertexInput_.Disable(loc);
      continue;
    }
    const D3DVERTEXELEMENT9* e = layout.Find(usage, program.inputs.usageIndex[loc]);
    if (!e) {
      // What a shader reads of an input the declaration does not give.
      vertexInput_.SetConstant(loc, 0.0f, 0.0f, 0.0f, 1.0f);
      continue;
    }
    AttribSource source;
    AttribFormat(e->Type, &source);
    if (user) {
      source.buffer = stream_.Name();
      source.stride = static_cast<GLsizei>(userStride);
      source.offset = e->Offset;
    } else {
      const Stream& stream = streams_[e->Stream];
      if (!stream.buffer) {
        // Direct3D draws from a stream that was never given a buffer (or was given null) and
        // its elements read zeros.
        vertexInput_.SetConstant(loc, 0.0f, 0.0f, 0.0f, 0.0f);
        continue;
      }
      source.buffer = stream.buffer->Buffer().Name();
      source.offset = uint64_t{stream.offset} + e->Offset;
      source.stride = static_cast<GLsizei>(stream.stride);
      // A stride of 0 repeats the first vertex; to GL it would mean tightly packed.
      if (stream.stride == 0) source.divisor = 1;
    }
    vertexInput_.SetArray(loc, source);
  }
}

void DrawState::UploadUniforms(PipelineProgram& p, const DrawTarget& target) {
  const D3DVIEWPORT9& vp = target.viewport;
  const float width = static_cast<float>(std::max<uint32_t>(vp.Width, 1));
  const float height = static_cast<float>(std::max<uint32_t>(vp.Height, 1));
  // Exactly half a pixel (1 / size in clip units), so that an edge on a Direct3D pixel centre
  // lies on GL's and one a hair to either side stays on its side. A centre exactly on an edge is
  // then GL's to decide, and its rule is the top-left one for a picture stored top row first,
  // as every target here is (hence the y flip).
  const float fixup[4] = {1.0f / width, -1.0f / height, -1.0f, 0.0f};
  if (p.posFixup >= 0 && std::memcmp(fixup, p.posFixupValue, sizeof fixup) != 0) {
    glUniform4fv(p.posFixup, 1, fixup);
    std::memcpy(p.posFixupValue, fixup, sizeof fixup);
  }

  if (p.fixedFunction) {
    const float screen[4] = {2.0f / width, -2.0f / height,
                             -2.0f * static_cast<float>(vp.X) / width - 1.0f,
                             2.0f * static_cast<float>(vp.Y) / height + 1.0f};
    if (p.screen >= 0 && std::memcmp(screen, p.screenValue, sizeof screen) != 0) {
      glUniform4fv(p.screen, 1, screen);
      std::memcpy(p.screenValue, screen, sizeof screen);
    }
    if (p.transformsVersion != transformsVersion_) {
      const D3DMATRIX worldView =
          Multiply(states_.Transform(TransformSlot::World), states_.Transform(TransformSlot::View));
      if (p.worldView >= 0) glUniformMatrix4fv(p.worldView, 1, GL_FALSE, worldView.m);
      if (p.projection >= 0) {
        glUniformMatrix4fv(p.projection, 1, GL_FALSE,
                           states_.Transform(TransformSlot::Projection).m);
      }
      for (uint32_t s = 0; s < 2; ++s) {
        if (p.texMatrix[s] < 0) continue;
        const auto slot =
            static_cast<TransformSlot>(static_cast<uint32_t>(TransformSlot::Texture0) + s);
        glUniformMatrix4fv(p.texMatrix[s], 1, GL_FALSE, states_.Transform(slot).m);
      }
      p.transformsVersion = transformsVersion_;
    }
  } else if (p.constants >= 0 && p.constantsVersion != constantsVersion_) {
    // Only the registers set since this program last saw them.
    uint32_t low = kVertexConstants;
    uint32_t high = 0;
    for (uint32_t i = 0; i < kVertexConstants; ++i) {
      if (constantVersion_[i] > p.constantsVersion) {
        low = std::min(low, i);
        high = i;
      }
    }
    high = std::min<uint32_t>(high, p.constantsSize ? p.constantsSize - 1 : 0);
    if (low <= high) {
      glUniform4fv(p.constants + static_cast<GLint>(low), static_cast<GLsizei>(high - low + 1),
                   &constants_[low * 4]);
    }
    p.constantsVersion = constantsVersion_;
  }

  if (p.pixelVersion != pixelVersion_) {
    float color[4];
    if (p.tfactor >= 0) {
      ColorToFloats(states_.render[D3DRS_TEXTUREFACTOR], color);
      glUniform4fv(p.tfactor, 1, color);
    }
    for (uint32_t s = 0; s < 2; ++s) {
      if (p.stageConst[s] < 0) continue;
      ColorToFloats(states_.stage[s][D3DTSS_CONSTANT], color);
      glUniform4fv(p.stageConst[s], 1, color);
    }
    if (p.alphaRef >= 0) {
      glUniform1f(p.alphaRef, static_cast<float>(states_.render[D3DRS_ALPHAREF] & 0xFFu));
    }
    if (p.fogColor >= 0) {
      ColorToFloats(states_.render[D3DRS_FOGCOLOR], color);
      glUniform4fv(p.fogColor, 1, color);
    }
    if (p.fogParams >= 0) {
      const float start = states_.RenderFloat(D3DRS_FOGSTART);
      const float end = states_.RenderFloat(D3DRS_FOGEND);
      // A perspective projection (a w that grows with depth) makes fog follow eye distance.
      const bool useW = states_.Transform(TransformSlot::Projection).m[11] != 0.0f;
      const float params[4] = {end, end != start ? 1.0f / (end - start) : 0.0f,
                               states_.RenderFloat(D3DRS_FOGDENSITY), useW ? 1.0f : 0.0f};
      glUniform4fv(p.fogParams, 1, params);
    }
    p.pixelVersion = pixelVersion_;
  }
}

void DrawState::BindTextures(const FragmentKey& key) {
  for (uint32_t s = 0; s < kPixelStages; ++s) {
    if (!key.stage[s].texture) continue;
    TextureInfo info;
    if (!textures_[s] || !GetTextureInfo(textures_[s], &info)) continue;
    samplers_.Bind(s, info.name, MakeSamplerSettings(states_.sampler[s], info.levels > 1));
  }
}

HRESULT DrawState::Draw(const DrawRequest& request, const DrawTarget& target) {
  const uint64_t count = VertexCount(request.type, request.primitiveCount);
  if (VertexCount(request.type, 1) == 0) return Refuse("unknown primitive type");
  if (request.primitiveCount == 0) return D3D_OK;
  if (request.primitiveCount > kMaxPrimitives) return Refuse("too many primitives");
  const VertexDeclarationGl* layout = layout_;
  if (!layout) return Refuse("neither a vertex declaration nor a vertex format is set");
  PipelineProgram* program = programDirty_ ? SelectProgram(*layout) : program_;
  if (!program) return D3DERR_INVALIDCALL;
  if (!program->name) return Refuse("the programs for these states do not build");

  const bool user = request.kind == DrawRequest::Kind::User;
  uint32_t first = 0;
  if (user) {
    if (!request.userData || request.userStride == 0) return D3DERR_INVALIDCALL;
    if (layout->StreamMask() & ~1u) return Refuse("a user-pointer draw with streams beyond 0");
    const uint32_t extent = layout->StreamExtent(0);
    if (request.userStride < extent) return Refuse("a user-pointer stride below the vertex size");
    // The last vertex is read only as far as its elements reach.
    const uint64_t bytes = (count - 1) * request.userStride + extent;
    if (bytes > (1u << 30)) return Refuse("too many user-pointer vertices");
    if (!stream_.Write(request.userData, static_cast<uint32_t>(bytes), request.userStride,
                       &first)) {
      return Refuse("the vertex stream cannot take the vertices");
    }
  } else if (request.kind == DrawRequest::Kind::Arrays) {
    if (!CheckStreams(*program, *layout, request.startVertex,
                      int64_t{request.startVertex} + static_cast<int64_t>(count) - 1)) {
      return D3DERR_INVALIDCALL;
    }
    first = request.startVertex;
  } else {
    const HRESULT prepared =
        PrepareIndexed(request, static_cast<uint32_t>(count), *program, *layout);
    if (FAILED(prepared)) return prepared;
  }

  glUseProgram(program->name);
  vertexInput_.Bind();
  PointInputs(*program, *layout, user, request.userStride);
  UploadUniforms(*program, target);
  output_.Apply(states_, target.alpha, device_.State(), target.width, target.height);
  // A transformed vertex's z goes into the depth buffer as it stands: the viewport's depth range
  // scales only what the device transforms itself.
  const bool screenZ = layout->Pretransformed();
  device_.State().SetDepthRange(screenZ ? 0.0f : target.viewport.MinZ,
                                screenZ ? 1.0f : ViewportFarZ(target.viewport));
  BindTextures(fragmentKey_);

  const GLenum mode = GlMode(request.type);
  const bool rasterise = !TestHooks::PixelWorkSkipped();
  if (rasterise && request.kind == DrawRequest::Kind::Indexed) {
    vertexInput_.SetElementBuffer(indices_->Buffer().Name());
    const uint32_t size = indices_->IndexSize();
    glDrawElementsBaseVertex(
        mode, static_cast<GLsizei>(count), size == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
        reinterpret_cast<const void*>(static_cast<uintptr_t>(uint64_t{request.startIndex} * size)),
        request.baseVertex);
  } else if (rasterise) {
    glDrawArrays(mode, static_cast<GLint>(first), static_cast<GLsizei>(count));
  }
  // Direct3D leaves stream 0 unset after a user-pointer draw.
  if (user) {
    Hold<VertexBufferGl>(streams_[0].buffer, nullptr);
    streams_[0].offset = 0;
    streams_[0].stride = 0;
  }
  return D3D_OK;
}

}  // namespace gfx
