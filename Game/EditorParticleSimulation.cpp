// The editor's own step, emission and drawing of the template under edit.

#include <cmath>

#include "Engine/FastMath.h"
#include "Engine/PC/PCApp.h"
#include "Engine/Random.h"
#include "Game/EditorParticleSystem.h"

namespace {

// Polygon flags of the four blends.
constexpr uint32_t kPolyPlain = 0x81;
constexpr uint32_t kPolyAlpha = 0x85;
constexpr uint32_t kPolyAdditive = 0xA1;
constexpr uint32_t kPolySubtractive = 0xC1;
constexpr uint32_t kBoxColour = 0xFFFFFFFFu;

float Clamp255(float value) {
  if (value > 255.0f) return 255.0f;
  if (value < 0.0f) return 0.0f;
  return value;
}

uint32_t PolygonFlags(uint32_t templateFlags) {
  if (templateFlags & kTemplateSubtractive) return kPolySubtractive;
  if (templateFlags & kTemplateAdditive) return kPolyAdditive;
  if (templateFlags & kTemplateAlpha) return kPolyAlpha;
  return kPolyPlain;
}

// A colour word as a byte: a file's word can hold any float until the first step clamps it.
uint32_t ColourByte(float value) {
  if (!(value > 0.0f)) return 0;  // NaN too
  return value >= 255.0f ? 255u : static_cast<uint32_t>(value);
}

}  // namespace

uint32_t EditorParticleSystem::VertexColour(const float* colour) {
  return ColourByte(colour[3]) << 24 | ColourByte(colour[0]) << 16 | ColourByte(colour[1]) << 8 |
         ColourByte(colour[2]);
}

void EditorParticleSystem::StepParticle(EditorParticle& p, float dt) {
  p.life -= dt;
  for (int axis = 0; axis < 3; ++axis) p.position[axis] += p.velocity[axis] * dt;
  for (int i = 0; i < 4; ++i) p.colour[i] = Clamp255(p.colour[i] + p.colourStep[i] * dt);
  ++m_liveCount;
  for (int axis = 0; axis < 3; ++axis)
    p.velocity[axis] = p.velocity[axis] * m_damping[axis] + m_gravityStep[axis];
  for (int i = 0; i < 4; ++i) {
    p.angle[i] += p.angleStep[i] * dt;
    p.scale[i] += p.scaleStep[i] * dt;
  }
}

void EditorParticleSystem::Update(RenderWindow* window) {
  App& app = GetApp();
  const float dt = app.GetTimeStep();
  const float rate = static_cast<float>(static_cast<uint32_t>(app.GetTargetFrameRate()));
  const uint32_t count = m_pool ? m_words.maxParticles : 0;
  if (m_restart == 1) {
    m_restart = 0;
    m_accumulator = 0.0f;
    m_age = 0.0f;
    for (uint32_t i = 0; i < count; ++i) m_pool[i].life = 0.0f;
  }
  for (int axis = 0; axis < 3; ++axis) {
    const float friction = m_words.friction[axis];
    m_damping[axis] = friction == 0.0f ? 0.0f : std::pow(friction, rate);
  }
  m_damping[3] = 1.0f;
  for (int i = 0; i < 4; ++i) m_gravityStep[i] = m_words.gravity[i] * dt;

  m_liveCount = 0;
  for (uint32_t i = 0; i < count; ++i)
    if (m_pool[i].life > 0.0f) StepParticle(m_pool[i], dt);

  m_age += dt;
  m_accumulator += dt * m_words.emitPerFrame;
  const bool emitting = (m_words.flags & kTemplateLooped) || m_age < m_words.emitterLife;
  if (emitting && m_liveCount != count && m_accumulator >= 1.0f) {
    // A rate from the file may be far past any count (or infinite): the pool's room caps it
    // before it becomes an integer.
    const float whole = std::floor(m_accumulator);
    m_accumulator = std::isfinite(whole) ? m_accumulator - whole : 0.0f;
    const uint32_t room = count - m_liveCount;
    const uint32_t n = whole >= static_cast<float>(room) ? room : static_cast<uint32_t>(whole);
    const uint32_t starts = n > 1 ? n - 1 : 1;
    for (uint32_t i = 0; i < starts; ++i) EmitParticle();
  }
  GrowBox();
  if (!window) return;
  const float* lo = m_words.boundsMin;
  const float* hi = m_words.boundsMax;
  // A box no particle has opened yet spans the whole float range; it has nothing to show.
  if (lo[0] <= hi[0] && lo[1] <= hi[1] && lo[2] <= hi[2]) {
    const Vector4 a(lo[0], lo[1], lo[2], 1.0f);
    const Vector4 b(hi[0], hi[1], hi[2], 1.0f);
    window->GetDebugLines()->AddBox(&a, &b, kBoxColour);
  }
}

// Pushes a side out by eight times the scale when a particle crosses it, so the box grows in
// steps rather than hugging the particles.
void EditorParticleSystem::GrowBox() {
  const uint32_t count = m_pool ? m_words.maxParticles : 0;
  float* lo = m_words.boundsMin;
  float* hi = m_words.boundsMax;
  for (uint32_t i = 0; i < count; ++i) {
    const EditorParticle& p = m_pool[i];
    if (!(p.life > 0.0f)) continue;
    for (int axis = 0; axis < 3; ++axis) {
      const float at = p.position[axis];
      const float size = p.scale[axis];
      if (lo[axis] > at - size) {
        lo[axis] = at - 8.0f * size;
      } else if (hi[axis] < at + size) {
        hi[axis] = at + 8.0f * size;
      }
    }
  }
  lo[3] = 1.0f;
  hi[3] = 1.0f;
}

void EditorParticleSystem::EmitParticle() {
  const uint32_t count = m_pool ? m_words.maxParticles : 0;
  EditorParticle* p = nullptr;
  for (uint32_t i = 0; i < count && !p; ++i)
    if (m_pool[i].life <= 0.0f) p = &m_pool[i];
  if (!p) return;
  const ParticleTemplateWords& t = m_words;
  p->life = RandSigned() * t.lifeVariation + t.maxLife;
  for (int axis = 0; axis < 3; ++axis)
    p->position[axis] = RandSigned() * t.positionVariation[axis] + t.position[axis];
  p->position[3] = 1.0f;
  for (int i = 0; i < 4; ++i) {
    p->colour[i] = t.colour[i];
    p->colourStep[i] = t.colourStep[i];
  }
  float yaw = t.yaw;
  if (t.yawVariation != 0.0f) yaw += RandSigned() * t.yawVariation;
  float pitch = t.pitch;
  if (t.pitchVariation != 0.0f) pitch += RandSigned() * t.pitchVariation;
  // Pitch is measured from the +y axis.
  const float direction[3] = {std::cos(yaw) * std::sin(pitch), std::cos(pitch),
                              std::sin(yaw) * std::sin(pitch)};
  const float rate = static_cast<float>(static_cast<uint32_t>(GetApp().GetTargetFrameRate()));
  for (int axis = 0; axis < 3; ++axis) {
    const float speed =
        t.velocity[axis] + (t.velocity[axis] + RandSigned() * t.velocityVariation[axis]);
    p->velocity[axis] = direction[axis] * speed / rate;
  }
  for (int axis = 0; axis < 3; ++axis)
    p->angle[axis] = RandSigned() * t.angleVariation[axis] + t.angle[axis];
  p->angle[3] = 1.0f;
  for (int i = 0; i < 4; ++i) {
    p->angleStep[i] = t.angleStep[i];
    p->scale[i] = t.scale[i];
    p->scaleStep[i] = t.scaleStep[i];
  }
}

void EditorParticleSystem::Render(RenderWindow* window) {
  if (!window || !m_pool) return;
  const uint32_t flags = PolygonFlags(m_words.flags);
  Matrix view = *GetApp().GetDisplay()->GetViewMatrix();
  Matrix m;
  MatrixInverse4x4(view, m);
  static const float kFactors[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  for (uint32_t i = 0; i < m_words.maxParticles; ++i) {
    const EditorParticle& p = m_pool[i];
    if (!(p.life > 0.0f)) continue;
    const float sx = std::sin(p.angle[0]), cx = std::cos(p.angle[0]);
    const float sy = std::sin(p.angle[1]), cy = std::cos(p.angle[1]);
    const float sz = std::sin(p.angle[2]), cz = std::cos(p.angle[2]);
    const float u[3] = {cy * cz, sy * sx * cz + cx * sz, sz * sx - cx * cz * sy};
    const float v[3] = {-cy * sz, cx * cz - sy * sx * sz, cx * sy * sz + sx * cz};
    const float corners[4][4] = {{p.scale[0], p.scale[1], 0.0f, 0.0f},
                                 {p.scale[0], -p.scale[1], 0.0f, 1.0f},
                                 {-p.scale[0], p.scale[1], 1.0f, 0.0f},
                                 {-p.scale[0], -p.scale[1], 1.0f, 1.0f}};
    PolyVertex vertices[4];
    const uint32_t colour = VertexColour(p.colour);
    for (int c = 0; c < 4; ++c) {
      const float a = corners[c][0], b = corners[c][1];
      const float local[3] = {a * u[0] + b * v[0], a * u[1] + b * v[1], a * u[2] + b * v[2]};
      float world[3];
      for (int axis = 0; axis < 3; ++axis)
        world[axis] = p.position[axis] + local[0] * m.m[axis] + local[1] * m.m[4 + axis] +
                      local[2] * m.m[8 + axis];
      vertices[c] = PolyVertex{world[0], world[1], world[2], colour, corners[c][2], corners[c][3]};
    }
    window->AddPolyStrip(m_texture, 4, vertices, kFactors, flags);
  }
}
