#include "tests/support/Ps2Writer.h"

#include <cstring>

#include "tests/support/ByteWriter.h"

namespace ps2writer {

void PutWord(std::vector<uint8_t>* image, uint32_t word, uint32_t value) {
  if (size_t(word) * 4 + 4 <= image->size()) bytewriter::PutU32(*image, size_t(word) * 4, value);
}

void PutFloat(std::vector<uint8_t>* image, uint32_t word, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof(bits));
  PutWord(image, word, bits);
}

namespace {

void PutFloats(std::vector<uint8_t>* image, uint32_t word, const float* values, int n) {
  bytewriter::PutF32s(*image, size_t(word) * 4, values, size_t(n));
}

}  // namespace

std::vector<uint8_t> WritePs2(const Template& t) {
  std::vector<uint8_t> image(kBlockSize, 0);
  PutWord(&image, kWordMaxParticles, t.maxParticles);
  PutFloat(&image, kWordEmitPerFrame, t.emitPerFrame);
  PutFloat(&image, kWordMaxLife, t.maxLife);
  PutFloat(&image, kWordLifeVariation, t.lifeVariation);
  PutFloats(&image, kWordPositionVariation, t.positionVariation, 4);
  PutFloats(&image, kWordColour, t.colour, 4);
  PutFloats(&image, kWordColourStep, t.colourStep, 4);
  PutFloats(&image, kWordPosition, t.position, 4);
  PutFloats(&image, kWordFriction, t.friction, 4);
  PutFloats(&image, kWordGravity, t.gravity, 4);
  PutFloats(&image, kWordVelocity, t.velocity, 4);
  PutFloats(&image, kWordAngle, t.angle, 4);
  PutFloats(&image, kWordAngleStep, t.angleStep, 4);
  PutFloats(&image, kWordScale, t.scale, 4);
  PutFloats(&image, kWordScaleStep, t.scaleStep, 4);
  PutFloats(&image, kWordAngleVariation, t.angleVariation, 4);
  PutFloats(&image, kWordVelocityVariation, t.velocityVariation, 4);
  PutWord(&image, kWordFlags, t.flags);
  PutFloat(&image, kWordEmitterLife, t.emitterLife);
  PutFloat(&image, kWordYaw, t.yaw);
  PutFloat(&image, kWordYawVariation, t.yawVariation);
  PutFloat(&image, kWordPitch, t.pitch);
  PutFloat(&image, kWordPitchVariation, t.pitchVariation);
  PutFloats(&image, kWordBoundsMin, t.boundsMin, 4);
  PutFloats(&image, kWordBoundsMax, t.boundsMax, 4);
  image.insert(image.end(), t.texture.begin(), t.texture.end());
  image.push_back(0);
  return image;
}

bool SavePs2(const std::string& path, const Template& t) {
  return bytewriter::SaveBytes(path, WritePs2(t));
}

}  // namespace ps2writer
