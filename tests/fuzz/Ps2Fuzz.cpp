// ".ps2" particle templates: loaded and checked by the particle factory.

#include "Engine/PC/PCParticleFactory.h"
#include "tests/fuzz/FuzzTarget.h"
#include "tests/support/Ps2Writer.h"

std::vector<FuzzSeed> FuzzSeeds() {
  ps2writer::Template plain;
  ps2writer::Template textured;
  textured.texture = "spark.dds";
  textured.flags = 0xFFFFFFFFu;
  return {{"plain.ps2", ps2writer::WritePs2(plain)},
          {"textured.ps2", ps2writer::WritePs2(textured)}};
}

bool FuzzSetUp() { return true; }

void FuzzOne(const uint8_t* data, size_t size) {
  WriteInputFile("fuzz.ps2", data, size);
  static ParticleFactory s_factory;
  const int32_t id = s_factory.Add("fuzz.ps2");
  if (id >= 0) s_factory.Delete(id);
}
