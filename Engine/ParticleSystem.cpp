#include "Engine/ParticleSystem.h"

#include <cstring>

#include "Engine/BaseApp.h"
#include "Engine/BaseDisplay.h"
#include "Engine/BaseTexture.h"
#include "Engine/LogFile.h"
#include "Engine/MemoryTracker.h"
#include "Engine/Random.h"

namespace {

// A fresh draw spread over -1..1. Computed in double from the 31-bit draw and rounded to float
// once, so both machines of a two-player game get the same bits.
float DrawSigned(RandomGenerator& random) {
  const uint32_t raw = random.RandRaw();
  return static_cast<float>(static_cast<double>(raw >> 1) * 4.656612873077393e-10 * 2.0 - 1.0);
}

Vector4 FromWords(const float* words) { return Vector4(words[0], words[1], words[2], words[3]); }

float ClampColour(float value) {
  // NaN goes to 0 as well: the renderer turns these into bytes.
  if (!(value > 0.0f)) return 0.0f;
  return value > 255.0f ? 255.0f : value;
}

}  // namespace

ParticleSystem::ParticleSystem() = default;

ParticleSystem::~ParticleSystem() {
  CleanUp();
  ReleaseTexture();
}

void ParticleSystem::ReleaseTexture() {
  if (m_texture == -1) return;
  GetBaseApp().GetTexture()->Delete(m_texture);
  m_texture = -1;
}

float ParticleSystem::FramesPerSecond() {
  const int32_t rate = GetBaseApp().GetTargetFrameRate();
  return rate > 0 ? static_cast<float>(rate) : 60.0f;
}

void ParticleSystem::ComputeFriction() {
  const float rate = FramesPerSecond();
  for (int i = 0; i < 3; ++i) {
    const float f = m_templateFriction[i];
    const float perUpdate = f == 0.0f ? 0.0f : Pow(f, rate);
    // The editor stores any friction it is given; above 1 a particle would speed up without
    // bound and run off to infinity within a few updates.
    m_friction[i] = perUpdate > 1.0f ? 1.0f : (perUpdate > 0.0f ? perUpdate : 0.0f);
  }
  m_friction.w = 1.0f;
}

int32_t ParticleSystem::Init(const ParticleTemplate* data, const Matrix& emitter) {
  if (!data) return 0;
  // A second Init starts from nothing rather than leaking the first one's pool and texture.
  CleanUp();
  ReleaseTexture();

  m_maxParticles = data->maxParticles;
  if (m_maxParticles > kMaxParticles) {
    DebugLog().Write("Particle system: Max Particles %u clamped to %u\n", m_maxParticles,
                     kMaxParticles);
    m_maxParticles = kMaxParticles;
  }
  // A negative rate emits nothing, as 0 does, rather than running the account down for ever.
  m_emitPerFrame = data->emitPerFrame > 0.0f ? data->emitPerFrame : 0.0f;
  m_maxLife = data->maxLife;
  m_lifeVariation = data->lifeVariation;
  m_positionVariation = FromWords(data->positionVariation);
  m_colour = FromWords(data->colour);
  m_colourStep = FromWords(data->colourStep);
  m_position = FromWords(data->position);
  m_templateFriction = FromWords(data->friction);
  m_templateGravity = FromWords(data->gravity);
  m_velocity = FromWords(data->velocity);
  m_angle = FromWords(data->angle);
  m_angleStep = FromWords(data->angleStep);
  m_scale = FromWords(data->scale);
  m_scaleStep = FromWords(data->scaleStep);
  m_angleVariation = FromWords(data->angleVariation);
  m_velocityVariation = FromWords(data->velocityVariation);
  m_flags = data->flags;
  m_emitterLife = data->emitterLife;
  m_yaw = data->yaw;
  m_yawVariation = data->yawVariation;
  m_pitch = data->pitch;
  m_pitchVariation = data->pitchVariation;
  m_bounds = BoundingBox(FromWords(data->boundsMin), FromWords(data->boundsMax));

  // A name that is empty or starts with a space names no texture: the fallback is drawn.
  const char* textureName = ParticleTemplateTextureName(data);
  if (textureName[0] != 0 && textureName[0] != ' ')
    m_texture = GetBaseApp().GetTexture()->Load(textureName);

  if (m_maxParticles > 0) {
    const size_t bytes = sizeof(Particle) * m_maxParticles;
    m_particles = static_cast<Particle*>(
        TrackedAlloc("BaseParticleSystem::Init", bytes + sizeof(uint32_t) * m_maxParticles));
    if (!m_particles) {
      ReleaseTexture();
      m_maxParticles = 0;
      return 0;
    }
    std::memset(static_cast<void*>(m_particles), 0, bytes);
    // Every slot starts dead.
    m_free = reinterpret_cast<uint32_t*>(m_particles + m_maxParticles);
    for (uint32_t i = 0; i < m_maxParticles; ++i) m_free[i] = i;
    m_freeCount = m_maxParticles;
    m_freeNext = 0;
  }
  m_emitter = emitter;
  ComputeFriction();
  m_liveCount = 0;
  m_lastEmitted = -1;
  return 1;
}

void ParticleSystem::CleanUp() {
  if (m_particles) TrackedFree("BaseParticleSystem::CleanUp", m_particles);
  m_particles = nullptr;
  m_maxParticles = 0;
  m_liveCount = 0;
  m_free = nullptr;
  m_freeCount = 0;
  m_freeNext = 0;
}

Particle* ParticleSystem::GetParticle(int32_t index) {
  if (index < 0 || !m_particles || static_cast<uint32_t>(index) >= m_maxParticles) return nullptr;
  return &m_particles[index];
}

Vector4 ParticleSystem::DirectionFromAngles(float pitch, float yaw) {
  const float sinPitch = Sin(pitch);
  return Vector4(sinPitch * Cos(yaw), Cos(pitch), sinPitch * Sin(yaw), 1.0f);
}

void ParticleSystem::EmissionVelocity(float yaw, float pitch, const Vector4& speed,
                                      float* out) const {
  const float sinPitch = Sin(pitch);
  const float dx = Cos(yaw) * sinPitch * speed.x;
  const float dy = Cos(pitch) * speed.y;
  const float dz = Sin(yaw) * sinPitch * speed.z;
  const float* e = m_emitter.m;
  // Speeds are given per second; the particles move once per update.
  const float perUpdate = 1.0f / FramesPerSecond();
  out[0] = (dx * e[0] + dy * e[4] + dz * e[8]) * perUpdate;
  out[1] = (dx * e[1] + dy * e[5] + dz * e[9]) * perUpdate;
  out[2] = (dx * e[2] + dy * e[6] + dz * e[10]) * perUpdate;
}

int32_t ParticleSystem::NextFreeSlot() {
  // A slot on the list may have been filled since through GetParticle: it is passed over.
  while (m_freeNext < m_freeCount) {
    const uint32_t slot = m_free[m_freeNext];
    if (!(m_particles[slot].life > 0.0f)) return static_cast<int32_t>(slot);
    ++m_freeNext;
  }
  return -1;
}

int32_t ParticleSystem::Emit() {
  if (m_maxLife == 0.0f || !m_particles || m_maxParticles == 0) return 0;
  const int32_t slot = NextFreeSlot();
  if (slot < 0) return 0;
  m_lastEmitted = slot;
  Particle& p = m_particles[slot];
  RandomGenerator& random = m_random ? *m_random : GlobalRandom();

  // The draws below keep this order: it is part of what keeps two machines in step.
  p.life = DrawSigned(random) * m_lifeVariation + m_maxLife;

  const float ox = DrawSigned(random) * m_positionVariation.x + m_position.x;
  const float oy = DrawSigned(random) * m_positionVariation.y + m_position.y;
  const float oz = DrawSigned(random) * m_positionVariation.z + m_position.z;
  TransformVector4(Vector4(ox, oy, oz, 1.0f), m_emitter, p.position);

  p.colour = m_colour;
  p.colourStep = m_colourStep;

  float yaw = m_yaw;
  if (m_yawVariation != 0.0f) yaw += DrawSigned(random) * m_yawVariation;
  float pitch = m_pitch;
  if (m_pitchVariation != 0.0f) pitch += DrawSigned(random) * m_pitchVariation;

  // The base speed counts twice: the editor's effects are tuned to it.
  Vector4 speed;
  speed.x = m_velocity.x + (m_velocity.x + DrawSigned(random) * m_velocityVariation.x);
  speed.y = m_velocity.y + (m_velocity.y + DrawSigned(random) * m_velocityVariation.y);
  speed.z = m_velocity.z + (m_velocity.z + DrawSigned(random) * m_velocityVariation.z);
  EmissionVelocity(yaw, pitch, speed, p.velocity);

  p.angle.x = m_angle.x + DrawSigned(random) * m_angleVariation.x;
  p.angle.y = m_angle.y + DrawSigned(random) * m_angleVariation.y;
  p.angle.z = m_angle.z + DrawSigned(random) * m_angleVariation.z;
  p.angle.w = 1.0f;
  p.angleStep = m_angleStep;
  p.scale = m_scale;
  p.scaleStep = m_scaleStep;
  // A particle born dead leaves its slot the lowest free one, to be filled again next.
  if (p.life > 0.0f) ++m_freeNext;
  return 1;
}

int32_t ParticleSystem::Update(int32_t group) {
  BaseApp& app = GetBaseApp();
  if (app.GetPause() == 1 || static_cast<uint32_t>(group) != m_group) return 1;
  const float step = group != 0 ? app.GetTimeStep() : 1.0f;

  m_inView = static_cast<uint32_t>(app.GetDisplay()->IsBoxInView(&m_emitter, &m_bounds));
  // A looped effect out of sight waits where it is; a finite one plays on to its end.
  if ((m_flags & kLooped) && m_inView == static_cast<uint32_t>(kBoxOutside)) return 1;

  m_gravity.Set(m_templateGravity.x * step, m_templateGravity.y * step,
                m_templateGravity.z * step, m_templateGravity.w * step);

  uint32_t live = 0;
  m_freeCount = 0;
  m_freeNext = 0;
  for (uint32_t i = 0; i < m_maxParticles; ++i) {
    Particle& p = m_particles[i];
    p.life -= step;
    if (!(p.life > 0.0f)) {
      m_free[m_freeCount++] = i;
      continue;
    }
    p.position.x += p.velocity[0] * step;
    p.position.y += p.velocity[1] * step;
    p.position.z += p.velocity[2] * step;
    p.position.w += p.life * step;
    for (int c = 0; c < 4; ++c)
      p.colour[c] = ClampColour(p.colour[c] + p.colourStep[c] * step);
    for (int c = 0; c < 3; ++c) p.velocity[c] = p.velocity[c] * m_friction[c] + m_gravity[c];
    for (int c = 0; c < 4; ++c) {
      p.angle[c] += p.angleStep[c] * step;
      p.scale[c] += p.scaleStep[c] * step;
    }
    ++live;
  }

  if ((m_flags & kLooped) || m_age < m_emitterLife) {
    m_account += m_emitPerFrame * step;
    if (live < m_maxParticles && m_account >= 1.0f) {
      if (m_account > kAccountLimit) m_account = kAccountLimit;
      uint32_t n = static_cast<uint32_t>(m_account);
      m_account -= static_cast<float>(n);
      const uint32_t room = m_maxParticles - live;
      if (n > room) n = room;
      // One fewer than owed once two or more are owed: the effects are tuned to it.
      const uint32_t calls = n > 1 ? n - 1 : 1;
      for (uint32_t i = 0; i < calls; ++i)
        if (Emit()) ++live;
    }
  }
  m_liveCount = live;

  if (!(m_flags & kLooped) && m_age >= m_emitterLife && m_liveCount == 0) return 0;
  m_age += step;
  return 1;
}

void ParticleSystem::CullParticles(float threshold) {
  uint32_t live = 0;
  m_freeCount = 0;
  m_freeNext = 0;
  for (uint32_t i = 0; i < m_maxParticles; ++i) {
    Particle& p = m_particles[i];
    if (p.life < threshold) p.life = 0.0f;
    if (p.life > 0.0f)
      ++live;
    else
      m_free[m_freeCount++] = i;
  }
  m_liveCount = live;
}

void ParticleSystem::BlankDyingParticles(float threshold) {
  for (uint32_t i = 0; i < m_maxParticles; ++i) {
    Particle& p = m_particles[i];
    if (p.life < threshold) p.colour.Set(128.0f, 128.0f, 0.0f, 0.0f);
  }
}

void ParticleSystem::ResetProbe() {
  ComputeFriction();
  m_gravity = m_templateGravity;
  m_probe = Particle{};
  m_probe.life = m_maxLife;
  const Vector4 offset(m_position.x + m_positionVariation.x, m_position.y + m_positionVariation.y,
                       m_position.z + m_positionVariation.z, 1.0f);
  TransformVector4(offset, m_emitter, m_probe.position);
  m_probe.colour = m_colour;
  m_probe.colourStep = m_colourStep;
  float yaw = m_yaw;
  if (m_yawVariation != 0.0f) yaw += m_yawVariation;
  float pitch = m_pitch;
  if (m_pitchVariation != 0.0f) pitch += m_pitchVariation;
  const Vector4 speed(m_velocity.x + m_velocity.x + m_velocityVariation.x,
                      m_velocity.y + m_velocity.y + m_velocityVariation.y,
                      m_velocity.z + m_velocity.z + m_velocityVariation.z, 0.0f);
  EmissionVelocity(yaw, pitch, speed, m_probe.velocity);
}

float ParticleSystem::StepProbe(Vector4* out) {
  if (!(m_probe.life > 0.0f)) {
    if (out) out->SetZero();
    return 0.0f;
  }
  m_probe.life -= 1.0f;
  m_probe.position.x += m_probe.velocity[0];
  m_probe.position.y += m_probe.velocity[1];
  m_probe.position.z += m_probe.velocity[2];
  m_probe.position.w += m_probe.life;
  for (int c = 0; c < 3; ++c)
    m_probe.velocity[c] = m_probe.velocity[c] * m_friction[c] + m_gravity[c];
  if (out) *out = m_probe.position;
  return m_probe.life;
}
