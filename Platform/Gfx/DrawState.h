#pragma once
// Render, texture-stage and sampler states as Direct3D values, the bound buffers, declaration,
// shader and constants, and the GL programs built from them at draw time.
//
// Setters store the raw value and mark what it shapes; nothing reaches GL until a draw, which
// picks the program for the current vertex layout and pixel states (generating and linking it
// on first use), points the vertex inputs at the buffers, uploads the uniforms that changed,
// sets the output state and textures, and draws.
//
// Positions: every vertex program ends with the same fixup, uPosFixup = (x, y, yFlip, 0):
//   p.z = 2 p.z - p.w       Direct3D's clip depth 0..w to GL's -w..w;
//   p.xy += uPosFixup.xy * p.w
//                           Direct3D 9 puts pixel centres on integer coordinates, GL half a
//                           pixel further on: geometry moves right and down by half a pixel of
//                           the viewport, so that edges cover exactly the pixels Direct3D's
//                           top-left rule gives them;
//   p.y *= yFlip            -1: every target, the back buffer too, is kept top row first.

#include <epoxy/gl.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "Platform/Gfx/D3D.h"
#include "Platform/Gfx/FragmentProgram.h"
#include "Platform/Gfx/PipelineOutput.h"
#include "Platform/Gfx/PipelinePrograms.h"
#include "Platform/Gfx/PipelineSamplers.h"
#include "Platform/Gfx/PipelineStates.h"
#include "Platform/Gfx/PipelineStream.h"
#include "Platform/Gfx/PipelineVertexInput.h"
#include "Platform/Gfx/VertexDeclarationGl.h"

namespace gfx {

class D3DDeviceGl;
class IndexBufferGl;
class VertexBufferGl;

// The surface a draw goes to, as the device knows it.
struct DrawTarget {
  int width = 0;
  int height = 0;
  bool alpha = true;  // its format keeps alpha (TargetHasAlpha)
  D3DVIEWPORT9 viewport{};
};

struct DrawRequest {
  enum class Kind { Arrays, Indexed, User };
  Kind kind = Kind::Arrays;
  D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
  uint32_t primitiveCount = 0;
  uint32_t startVertex = 0;        // Arrays
  int32_t baseVertex = 0;          // Indexed
  uint32_t startIndex = 0;         // Indexed
  const void* userData = nullptr;  // User
  uint32_t userStride = 0;         // User
};

// The far end of the depth range a viewport gives transformed vertices. Direct3D 9 drivers never
// make the range shallower than kMinViewportDepthSpan: with MaxZ at or below MinZ, a vertex at
// z = 1 still lands at MinZ + kMinViewportDepthSpan.
constexpr float kMinViewportDepthSpan = 0.001f;
float ViewportFarZ(const D3DVIEWPORT9& viewport);

class DrawState {
 public:
  explicit DrawState(D3DDeviceGl& device);
  ~DrawState();
  DrawState(const DrawState&) = delete;
  DrawState& operator=(const DrawState&) = delete;

  // With the device's context current: lets every GL object and every bound resource go.
  void ReleaseGl();
  // Direct3D's state after device creation and Reset: defaults, nothing bound.
  void ResetState(bool autoDepthStencil);
  // Drops the references to bound textures, buffers, declaration and shader.
  void ReleaseBindings();

  // A buffer is going: its GL name must not be remembered as bound.
  void ForgetBuffer(GLuint name);

  HRESULT SetRenderState(uint32_t state, uint32_t value);
  HRESULT GetRenderState(uint32_t state, uint32_t* value) const;
  HRESULT SetTextureStageState(uint32_t stage, uint32_t type, uint32_t value);
  HRESULT GetTextureStageState(uint32_t stage, uint32_t type, uint32_t* value) const;
  HRESULT SetSamplerState(uint32_t sampler, uint32_t type, uint32_t value);
  HRESULT GetSamplerState(uint32_t sampler, uint32_t type, uint32_t* value) const;
  HRESULT SetTexture(uint32_t stage, D3DTexture* texture);
  HRESULT SetTransform(uint32_t type, const D3DMATRIX* matrix);
  HRESULT GetTransform(uint32_t type, D3DMATRIX* matrix) const;
  HRESULT SetVertexDeclaration(D3DVertexDeclaration* declaration);
  HRESULT SetFVF(uint32_t fvf);
  HRESULT SetVertexShader(D3DVertexShader* shader);
  HRESULT SetVertexShaderConstantF(uint32_t start, const float* data, uint32_t count);
  HRESULT SetStreamSource(uint32_t stream, D3DVertexBuffer* buffer, uint32_t offset,
                          uint32_t stride);
  HRESULT SetIndices(D3DIndexBuffer* indices);

  HRESULT Draw(const DrawRequest& request, const DrawTarget& target);

  // Inspection for tests.
  const PipelineStates& States() const { return states_; }
  size_t ProgramCount() const { return programs_.ProgramCount(); }

 private:
  struct Stream {
    VertexBufferGl* buffer = nullptr;
    uint32_t offset = 0;
    uint32_t stride = 0;
  };

  PipelineProgram* SelectProgram(const VertexDeclarationGl& layout);
  bool CheckStreams(const PipelineProgram& program, const VertexDeclarationGl& layout,
                    int64_t firstVertex, int64_t lastVertex);
  HRESULT PrepareIndexed(const DrawRequest& request, uint32_t indexCount,
                         const PipelineProgram& program, const VertexDeclarationGl& layout);
  void PointInputs(const PipelineProgram& program, const VertexDeclarationGl& layout, bool user,
                   uint32_t userStride);
  void UploadUniforms(PipelineProgram& program, const DrawTarget& target);
  void BindTextures(const FragmentKey& key);

  // Logs "gfx: <what> <value> is not supported; ignored" the first time each pair is seen.
  void Unsupported(const char* what, uint32_t value);
  // Logs "gfx: draw refused: <why>" once per reason.
  HRESULT Refuse(const char* why);
  void CheckRenderValue(uint32_t state, uint32_t value);
  void CheckStageValue(uint32_t stage, uint32_t type, uint32_t value);
  void CheckSamplerValue(uint32_t type, uint32_t value);

  D3DDeviceGl& device_;
  PipelineStates states_;
  bool autoDepthStencil_ = false;

  D3DTexture* textures_[kD3DMaxTextureStages] = {};
  // Whether the pixel stages' textures have GL textures to sample (the programs differ).
  bool textureSampled_[kPixelStages] = {};
  Stream streams_[kMaxStreams];
  IndexBufferGl* indices_ = nullptr;
  VertexDeclarationGl* declaration_ = nullptr;
  D3DVertexShader* shader_ = nullptr;
  // Declarations standing for the flexible vertex formats used so far.
  std::map<uint32_t, VertexDeclarationGl*> fvfLayouts_;
  // What draws read vertices by: the declaration, or the format's stand-in; null for neither.
  const VertexDeclarationGl* layout_ = nullptr;

  float constants_[kVertexConstants * 4] = {};
  uint64_t constantVersion_[kVertexConstants] = {};
  uint64_t constantsVersion_ = 1;
  uint64_t transformsVersion_ = 1;
  uint64_t pixelVersion_ = 1;

  // The program of the last draw, valid until a state that shapes programs changes.
  bool programDirty_ = true;
  PipelineProgram* program_ = nullptr;
  FragmentKey fragmentKey_;

  PipelinePrograms programs_;
  PipelineOutput output_;
  PipelineSamplers samplers_;
  PipelineStream stream_;
  PipelineVertexInput vertexInput_;

  std::set<std::pair<std::string, uint32_t>> logged_;
};

}  // namespace gfx
