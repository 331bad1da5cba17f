#include "Engine/PC/PCFont.h"

#include <cstring>

#include "Engine/BaseDisplay.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCRenderStates.h"

using namespace gfx;

namespace {

D3DDevice* Device() { return GetApp().GetDisplay()->GetDevice(); }

// Text is laid out in pixel squares that start on whole coordinates; Direct3D puts a pixel's
// centre on whole coordinates, half a pixel up and left of the middle of that square.
constexpr float kPixelCentre = 0.5f;

}  // namespace

Font::Font(void* image, size_t size, const char* name) : BaseFont(image, size, name), m_image(image) {}

uint32_t Font::ScaleColour(uint32_t colour, const float* factors) {
  if (!factors) return colour;
  // Byte order of ARGB from the top: alpha, red, green, blue; the factors come red first.
  static constexpr int kShift[4] = {16, 8, 0, 24};
  uint32_t result = 0;
  for (int i = 0; i < 4; ++i) {
    const float product = static_cast<float>((colour >> kShift[i]) & 0xFFu) * factors[i];
    // Factors above 1 brighten; the product must not carry into the next channel. NaN is 0.
    uint32_t channel = 0;
    if (product >= 255.0f)
      channel = 255;
    else if (product > 0.0f)
      channel = static_cast<uint32_t>(product);
    result |= channel << kShift[i];
  }
  return result;
}

void Font::SetColour(uint32_t colour) {
  RenderWindow* window = GetApp().GetCurrentWindow();
  m_colour = window ? ScaleColour(colour, window->GetColourFactors()) : colour;
}

void Font::BeginText() {
  D3DDevice* device = Device();
  if (device) {
    D3DMATRIX identity;
    static_assert(sizeof(identity.m) == sizeof(g_IdentityMatrix.m), "matrices are 16 floats");
    std::memcpy(identity.m, g_IdentityMatrix.m, sizeof(identity.m));
    ReportD3DError(device->SetTransform(D3DTS_VIEW, &identity));
    ReportD3DError(device->SetFVF(kVertexFormat));
    ReportD3DError(device->SetVertexShader(nullptr));
    ReportD3DError(device->SetStreamSource(0, nullptr, 0, 0));
  }
  RenderStateCache::SetRenderState(D3DRS_BLENDOP, D3DBLENDOP_ADD);
  RenderStateCache::SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  RenderStateCache::SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  RenderStateCache::SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
  RenderStateCache::SetRenderState(D3DRS_ALPHATESTENABLE, 1);
  RenderStateCache::SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
  RenderStateCache::SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
  RenderStateCache::SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
}

void Font::EndText() {
  RenderStateCache::SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
  RenderStateCache::SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
  RenderStateCache::SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
  RenderStateCache::SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
}

void Font::DrawQuads(int32_t texture, const FontRect& dest, const FontRect& source) {
  D3DDevice* device = Device();
  if (!device) return;
  App& app = GetApp();
  Texture* textures = app.GetTexture();
  textures->SetStage(texture);
  const float sx = static_cast<float>(app.GetWidth()) / 640.0f;
  const float sy = static_cast<float>(app.GetHeight()) / 480.0f;
  // A missing page is drawn from the fallback texture, so its size is the fallback's; with no
  // size at all the coordinates are taken over one texel rather than divided by zero.
  int32_t pageWidth = textures->GetWidth(texture);
  int32_t pageHeight = textures->GetHeight(texture);
  if (pageWidth <= 0 || pageHeight <= 0) {
    pageWidth = textures->GetWidth(textures->GetFallback());
    pageHeight = textures->GetHeight(textures->GetFallback());
  }
  const float pw = pageWidth > 0 ? static_cast<float>(pageWidth) : 1.0f;
  const float ph = pageHeight > 0 ? static_cast<float>(pageHeight) : 1.0f;

  // Placed on whole coordinates, the quad would put its pixel centres on the edges between
  // texels, where point sampling may take either neighbour: the device takes the one above, so
  // every glyph showed the row over its cell and lost its bottom row ('0' and 'Q' came out as
  // 'A'). Half a pixel back, each centre samples the middle of its own texel.
  const float x0 = static_cast<float>(dest.x) * sx - kPixelCentre;
  const float x1 = static_cast<float>(dest.x + dest.width) * sx - kPixelCentre;
  const float y0 = static_cast<float>(dest.y) * sy - kPixelCentre;
  const float y1 = static_cast<float>(dest.y + dest.height) * sy - kPixelCentre;
  const float u0 = static_cast<float>(source.x) / pw;
  const float u1 = static_cast<float>(source.x + source.width) / pw;
  const float v0 = static_cast<float>(source.y) / ph;
  const float v1 = static_cast<float>(source.y + source.height) / ph;
  const Vertex quad[4] = {
      {x0, y0, m_depth, 1.0f, m_colour, u0, v0},
      {x1, y0, m_depth, 1.0f, m_colour, u1, v0},
      {x0, y1, m_depth, 1.0f, m_colour, u0, v1},
      {x1, y1, m_depth, 1.0f, m_colour, u1, v1},
  };
  ReportD3DError(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)));
}
