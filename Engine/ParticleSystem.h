#pragma once
// One running particle effect: an emitter placed by a matrix that owns a fixed pool of particles,
// emits new ones at a steady rate with randomised life, position, direction and speed, moves
// them under friction and gravity, fades their colour, spins and scales them, and stops emitting
// once its emitter life is over unless it loops.
//
// Every random number comes from the program's one generator, in a fixed order per emission:
// two-player games stay in step only while both machines make the same draws. A system may be
// given a generator of its own instead (SetRandom), which leaves the program's untouched.

#include <cstdint>

#include "Engine/BaseParticleFactory.h"
#include "Engine/BaseParticleSystem.h"
#include "Engine/FastMath.h"
#include "Engine/FastMathBounds.h"
#include "Engine/Random.h"

class ParticleSystem : public BaseParticleSystem {
 public:
  // The most particles one system may have: a draw of the system's quads must fit the index
  // buffer of the dynamic vertex stream.
  static constexpr uint32_t kMaxParticles = 7500;
  // The emission account is held to this before its whole part is taken: beyond it a float has
  // no fraction left to keep, and far beyond it the conversion to an integer has no defined
  // result. Far above any pool, so it never changes how many particles come out.
  static constexpr float kAccountLimit = 16777216.0f;

  ParticleSystem();
  // Frees what the system still holds, its texture reference included (the render window gives
  // that back itself and clears the handle first).
  ~ParticleSystem() override;
  ParticleSystem(const ParticleSystem&) = delete;
  ParticleSystem& operator=(const ParticleSystem&) = delete;

  // Takes what it needs from the template (which may go away afterwards), loads the texture and
  // allocates the particles. 1; 0 with nothing held when there is no template or no memory.
  int32_t Init(const ParticleTemplate* data, const Matrix& emitter);

  // ---- BaseParticleSystem.
  int32_t Update(int32_t group) override;
  void CleanUp() override;
  int32_t HasLiveParticles() const override { return m_liveCount > 0 ? 1 : 0; }
  int32_t GetTexture() const override { return m_texture; }
  void SetTexture(int32_t handle) override { m_texture = handle; }
  uint32_t GetFlags() const override { return m_flags; }
  const Matrix& GetEmitterMatrix() const override { return m_emitter; }
  void SetEmitterMatrix(const Matrix& emitter) override { m_emitter = emitter; }
  void SetFlags(uint32_t flags) override { m_flags = flags; }
  Vector4 GetEmitterPosition() const override {
    return Vector4(m_position.x, m_position.y, m_position.z, 1.0f);
  }
  const Particle* GetParticles() const override { return m_particles; }
  int32_t GetMaxParticles() const override { return static_cast<int32_t>(m_maxParticles); }
  uint32_t GetLiveCount() const override { return m_liveCount; }

  // One particle into the lowest dead slot; 1 when one was emitted.
  int32_t Emit();

  // The generator emission draws from; null (the default) for the program's own. The caller
  // keeps it alive for as long as the system lives.
  void SetRandom(RandomGenerator* random) { m_random = random; }
  RandomGenerator* GetRandom() const { return m_random; }

  int32_t GetLastEmitted() const { return m_lastEmitted; }
  // Null for an index outside the pool.
  Particle* GetParticle(int32_t index);
  // Particles whose life is below the threshold die at once; the live count becomes the number
  // of the others that are alive.
  void CullParticles(float threshold);
  // Particles whose life is below the threshold turn to the "dying" colour (128, 128, 0, 0).
  void BlankDyingParticles(float threshold);

  // (sin pitch cos yaw, cos pitch, sin pitch sin yaw, 1): pitch from the y axis.
  static Vector4 DirectionFromAngles(float pitch, float yaw);

  // The bounds probe: a particle that traces the farthest emission, one unit step at a time.
  void ResetProbe();
  // Advances the probe; its remaining life, and where it is now in *out. 0 and a zero point once
  // it has run out.
  float StepProbe(Vector4* out);
  const Particle& GetProbe() const { return m_probe; }

  // ---- Inspection.
  uint32_t GetGroup() const { return m_group; }
  void SetGroup(uint32_t group) { m_group = group; }
  float GetEmissionAccount() const { return m_account; }
  float GetAge() const { return m_age; }
  float GetEmitterLife() const { return m_emitterLife; }
  uint32_t GetInView() const { return m_inView; }
  const Vector4& GetFrictionPerUpdate() const { return m_friction; }
  const Vector4& GetGravityPerUpdate() const { return m_gravity; }

 private:
  // The application's frame rate as a float (60 before the application has set its own).
  static float FramesPerSecond();
  void ComputeFriction();
  // The emitter's direction with the given yaw and pitch, at speed s per axis, turned by the
  // emitter matrix and divided into per-update steps.
  void EmissionVelocity(float yaw, float pitch, const Vector4& speed, float* out) const;
  void ReleaseTexture();
  // The lowest dead slot, -1 when there is none.
  int32_t NextFreeSlot();

  uint32_t m_group = 1;
  RandomGenerator* m_random = nullptr;
  Particle m_probe{};
  Particle* m_particles = nullptr;
  uint32_t m_liveCount = 0;
  Vector4 m_friction;
  Vector4 m_gravity;
  // The template's words 4 to 55.
  Vector4 m_positionVariation;
  Vector4 m_colour;
  Vector4 m_colourStep;
  Vector4 m_position;
  Vector4 m_templateFriction;
  Vector4 m_templateGravity;
  Vector4 m_velocity;
  Vector4 m_angle;
  Vector4 m_angleStep;
  Vector4 m_scale;
  Vector4 m_scaleStep;
  Vector4 m_angleVariation;
  Vector4 m_velocityVariation;
  int32_t m_texture = -1;
  float m_account = 0.0f;
  float m_age = 0.0f;
  float m_emitterLife = 0.0f;
  uint32_t m_maxParticles = 0;
  uint32_t m_flags = 0;
  float m_emitPerFrame = 1.0f;
  float m_maxLife = 0.0f;
  float m_lifeVariation = 0.0f;
  float m_yaw = 0.0f;
  float m_yawVariation = 0.0f;
  float m_pitch = 0.0f;
  float m_pitchVariation = 0.0f;
  Matrix m_emitter;
  BoundingBox m_bounds;
  uint32_t m_inView = 0;
  int32_t m_lastEmitted = -1;
  // The dead slots in ascending order, as Init, the last update or the last cull left them, and
  // the next one to take: emission fills the lowest dead slot without searching the pool for it.
  // The list lives in the particles' block, behind the particles.
  uint32_t* m_free = nullptr;
  uint32_t m_freeCount = 0;
  uint32_t m_freeNext = 0;
};
