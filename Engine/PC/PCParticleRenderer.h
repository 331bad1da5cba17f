#pragma once
// Draws a particle system on the device: every live particle becomes one textured,
// vertex-coloured quad that faces the camera, turned about the view axis by the particle's angle
// and sized by its scale, written into the dynamic vertex stream and drawn with one indexed call,
// blended by the template's flags (additive before subtractive before plain alpha).
//
// The render window reaches it through its particle hook (ParticleRenderer::Draw); the
// application installs it when it starts.

#include <cstdint>

class BaseParticleSystem;
class BaseRenderWindow;

class PCParticleRenderer {
 public:
  // The window's colour factors become the colour multiplier; a null window draws at full.
  static void Draw(BaseParticleSystem* system, BaseRenderWindow* window);
  // Puts Draw into the render windows' particle hook.
  static void Install();

  // Quads written and drawn by the last Draw that reached the vertex stream (0 when it drew
  // nothing). For inspection.
  static uint32_t GetLastQuadCount() { return s_lastQuads; }

 private:
  static inline uint32_t s_lastQuads = 0;
};
