#pragma once
// Particle template files (".ps2") for tests and for the demo data: 70 little-endian words, each
// written at its own word number, then the texture's file name and its terminating 0 from byte
// 280. The writer keeps its own word numbers rather than the engine's record, so that a test
// reading a written file through the engine checks the record's layout too.

#include <cstdint>
#include <string>
#include <vector>

namespace ps2writer {

constexpr uint32_t kBlockSize = 280;

// Word numbers of the fields.
constexpr uint32_t kWordMaxParticles = 0;
constexpr uint32_t kWordEmitPerFrame = 1;
constexpr uint32_t kWordMaxLife = 2;
constexpr uint32_t kWordLifeVariation = 3;
constexpr uint32_t kWordPositionVariation = 4;
constexpr uint32_t kWordColour = 8;
constexpr uint32_t kWordColourStep = 12;
constexpr uint32_t kWordPosition = 16;
constexpr uint32_t kWordFriction = 20;
constexpr uint32_t kWordGravity = 24;
constexpr uint32_t kWordVelocity = 28;
constexpr uint32_t kWordAngle = 32;
constexpr uint32_t kWordAngleStep = 36;
constexpr uint32_t kWordScale = 40;
constexpr uint32_t kWordScaleStep = 44;
constexpr uint32_t kWordAngleVariation = 48;
constexpr uint32_t kWordVelocityVariation = 52;
constexpr uint32_t kWordFlags = 56;
constexpr uint32_t kWordEmitterLife = 57;
constexpr uint32_t kWordYaw = 58;
constexpr uint32_t kWordYawVariation = 59;
constexpr uint32_t kWordPitch = 60;
constexpr uint32_t kWordPitchVariation = 61;
constexpr uint32_t kWordBoundsMin = 62;
constexpr uint32_t kWordBoundsMax = 66;

// Flags.
constexpr uint32_t kLooped = 0x2;
constexpr uint32_t kAlpha = 0x4;
constexpr uint32_t kAdditive = 0x8;
constexpr uint32_t kSubtractive = 0x10;

// Every field of a template, with a quiet default: one white particle a frame that lives a
// second, stands still and is 1 unit across.
struct Template {
  uint32_t maxParticles = 16;
  float emitPerFrame = 1.0f;
  float maxLife = 60.0f;
  float lifeVariation = 0.0f;
  float positionVariation[4] = {0, 0, 0, 0};
  float colour[4] = {255, 255, 255, 255};
  float colourStep[4] = {0, 0, 0, 0};
  float position[4] = {0, 0, 0, 1};
  float friction[4] = {1, 1, 1, 1};
  float gravity[4] = {0, 0, 0, 0};
  float velocity[4] = {0, 0, 0, 0};
  float angle[4] = {0, 0, 0, 0};
  float angleStep[4] = {0, 0, 0, 0};
  float scale[4] = {0.5f, 0.5f, 0.5f, 0.5f};
  float scaleStep[4] = {0, 0, 0, 0};
  float angleVariation[4] = {0, 0, 0, 0};
  float velocityVariation[4] = {0, 0, 0, 0};
  uint32_t flags = 0;
  float emitterLife = 60.0f;
  float yaw = 0.0f;
  float yawVariation = 0.0f;
  float pitch = 0.0f;
  float pitchVariation = 0.0f;
  float boundsMin[4] = {-10, -10, -10, 1};
  float boundsMax[4] = {10, 10, 10, 1};
  std::string texture;
};

// The whole file image.
std::vector<uint8_t> WritePs2(const Template& t);
// WritePs2 into a file (folders are created); false when it cannot be written.
bool SavePs2(const std::string& path, const Template& t);

// Overwrites one word of an image (the image must hold it).
void PutWord(std::vector<uint8_t>* image, uint32_t word, uint32_t value);
void PutFloat(std::vector<uint8_t>* image, uint32_t word, float value);

}  // namespace ps2writer
