#pragma once
// A running particle effect as its render window sees it: the window owns its systems, steps
// them once a frame, deletes each one when its update reports the end, and draws them in the
// sorted alpha pass. The particle engine implements the interface.

#include <cstdint>

#include "Engine/FastMath.h"

class BaseRenderWindow;

// One particle: 32 floats, as the renderer reads them.
struct Particle {
  float velocity[3];  // world units per update
  float life;         // alive while > 0
  Vector4 position;   // world space
  Vector4 colour;     // R, G, B, A, each kept within 0..255
  Vector4 colourStep;
  Vector4 angle;  // z turns the drawn quad
  Vector4 angleStep;
  Vector4 scale;  // x and y: the quad's half-width and half-height
  Vector4 scaleStep;
};
static_assert(sizeof(Particle) == 32 * sizeof(float), "a particle is 32 floats");

class BaseParticleSystem {
 public:
  // Template flags read by the window.
  static constexpr uint32_t kLooped = 0x2;
  static constexpr uint32_t kDrawFlags = 0x4 | 0x8 | 0x10;

  virtual ~BaseParticleSystem() = default;

  // One step for update group `group`; 1 while the system goes on, 0 once it has ended.
  virtual int32_t Update(int32_t group) = 0;
  // Frees the particle array (the texture reference stays).
  virtual void CleanUp() = 0;
  virtual int32_t HasLiveParticles() const = 0;
  // The texture the particles are drawn with (a texture-manager handle, -1 for none).
  virtual int32_t GetTexture() const = 0;
  virtual void SetTexture(int32_t handle) = 0;
  // The template's flags.
  virtual uint32_t GetFlags() const = 0;
  // Where the emitter is: its placement and the template's emitter offset in the emitter's own
  // space (x, y, z; w 1). The window sorts the system among the blended meshes by that point.
  virtual const Matrix& GetEmitterMatrix() const = 0;
  virtual Vector4 GetEmitterPosition() const = 0;
  // What the games change on a running effect: they move its emitter (particles already out
  // stay where they are; the ones emitted from then on, and the view test, follow the emitter),
  // and they stop a looped effect by clearing kLooped, after which it emits until its emitter
  // life is over and ends once its last particle has died. A system that has no emitter of its
  // own ignores both.
  virtual void SetEmitterMatrix(const Matrix& /*emitter*/) {}
  virtual void SetFlags(uint32_t /*flags*/) {}
  // What the particle renderer draws from: the slots, how many there are, and how many were
  // alive after the last update. A system without slots of this kind answers null and 0, and
  // is then drawn by nothing.
  virtual const Particle* GetParticles() const { return nullptr; }
  virtual int32_t GetMaxParticles() const { return 0; }
  virtual uint32_t GetLiveCount() const { return 0; }
};

// A window's record of one of its systems.
struct ParticleContainer {
  int32_t id;
  BaseParticleSystem* system;
};

// Draws one particle system into the window being drawn. The renderer installs its draw here;
// until one is installed nothing is drawn.
class ParticleRenderer {
 public:
  using DrawFunction = void (*)(BaseParticleSystem* system, BaseRenderWindow* window);

  static void Draw(BaseParticleSystem* system, BaseRenderWindow* window) {
    if (s_draw && system) s_draw(system, window);
  }
  // Returns the function installed before.
  static DrawFunction SetDrawFunction(DrawFunction draw) {
    DrawFunction before = s_draw;
    s_draw = draw;
    return before;
  }

 private:
  static inline DrawFunction s_draw = nullptr;
};
