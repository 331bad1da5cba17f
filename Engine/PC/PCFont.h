#pragma once
// A bitmap font drawn on the device: every glyph one screen-space quad (pre-transformed
// vertices, position, colour, one texture coordinate) from its texture page, scaled from the
// 640 x 480 frame to the client size, blended over what is there.

#include <cstddef>
#include <cstdint>

#include "Engine/Font.h"
#include "Platform/Gfx/D3DTypes.h"

class Font : public BaseFont {
 public:
  // Pre-transformed position, diffuse colour, one texture coordinate.
  static constexpr uint32_t kVertexFormat =
      gfx::D3DFVF_XYZRHW | gfx::D3DFVF_DIFFUSE | gfx::D3DFVF_TEX1;

  struct Vertex {
    float x, y, z, rhw;
    uint32_t colour;
    float u, v;
  };
  static_assert(sizeof(Vertex) == 28, "a text vertex is 28 bytes");

  // Built over the whole ".wft" image, which the font keeps (its owner, the font factory, frees
  // it after the font).
  Font(void* image, size_t size, const char* name);
  ~Font() override = default;

  void BeginText() override;
  void EndText() override;
  void DrawQuads(int32_t texture, const FontRect& dest, const FontRect& source) override;
  void SetDepth(float depth) override { m_depth = depth; }
  // The colour times the current render window's colour factors.
  void SetColour(uint32_t colour) override;

  uint32_t GetColour() const { return m_colour; }
  float GetDepth() const { return m_depth; }
  void* GetImage() const { return m_image; }

  // Each ARGB byte times its factor (red, green, blue, alpha), truncated and held to 0..255;
  // null factors leave the colour alone.
  static uint32_t ScaleColour(uint32_t colour, const float* factors);

 private:
  uint32_t m_colour = 0xFFFFFFFFu;
  float m_depth = 0.0f;
  void* m_image = nullptr;
};
