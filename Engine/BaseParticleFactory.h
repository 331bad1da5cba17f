#pragma once
// Particle templates as the rest of the engine sees them: ".ps2" files loaded by name, shared by
// reference count and handed out by integer id. A template is used where it lies in its loaded
// file: one block of 70 little-endian words, then the texture's file name from byte 280 up to
// its terminating 0.

#include <cstdint>

#include "Engine/Factory.h"

// The fixed block of a ".ps2" file (words 0 to 69). Floats unless said otherwise.
struct ParticleTemplate {
  uint32_t maxParticles;  // word 0: particle slots
  float emitPerFrame;     // 1: added to the emission account per unit of update step
  float maxLife;          // 2: 0 stops all emission
  float lifeVariation;    // 3
  float positionVariation[4];  // 4-7 (w not read)
  float colour[4];             // 8-11: R, G, B, A in 0..255
  float colourStep[4];         // 12-15
  float position[4];           // 16-19: emitter offset in the emitter's space (w not read)
  float friction[4];           // 20-23: damping per axis, 0..1 (w not read)
  float gravity[4];            // 24-27 (w kept, never applied)
  float velocity[4];           // 28-31
  float angle[4];              // 32-35: z turns the drawn quad
  float angleStep[4];          // 36-39
  float scale[4];              // 40-43: x, y the quad's half-width and half-height
  float scaleStep[4];          // 44-47
  float angleVariation[4];     // 48-51
  float velocityVariation[4];  // 52-55
  uint32_t flags;              // 56: kTemplateLooped, kTemplateAdditive, kTemplateSubtractive
  float emitterLife;           // 57: age after which an unlooped system stops emitting
  float yaw;                   // 58
  float yawVariation;          // 59
  float pitch;                 // 60: from the emitter's y axis
  float pitchVariation;        // 61
  float boundsMin[4];          // 62-65: the visibility box in the emitter's space
  float boundsMax[4];          // 66-69
};
static_assert(sizeof(ParticleTemplate) == 280, "the template block is 70 words");

// Template flags.
constexpr uint32_t kTemplateLooped = 0x2;
constexpr uint32_t kTemplateAlpha = 0x4;
constexpr uint32_t kTemplateAdditive = 0x8;
constexpr uint32_t kTemplateSubtractive = 0x10;

// The texture's file name, which follows the block.
inline const char* ParticleTemplateTextureName(const ParticleTemplate* data) {
  return reinterpret_cast<const char*>(data) + sizeof(ParticleTemplate);
}

class BaseParticleFactory : public Factory {
 public:
  // The id of the template loaded from the file (relative to the data folder); a name already
  // loaded raises its count and gives its id. -1 when the file is missing or refused.
  virtual int32_t Add(const char* name) = 0;
  // Lowers the count of the template with that id, freeing it at 0; an unknown id does nothing.
  virtual void Delete(int32_t id) = 0;
  // The template with that id, or null.
  virtual const ParticleTemplate* Find(int32_t id) = 0;
  // Starts empty; 1.
  virtual int32_t Init() = 0;
  // Frees every template.
  virtual void CleanUp() = 0;
};
