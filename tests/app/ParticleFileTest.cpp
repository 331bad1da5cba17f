// The ".ps2" template reader and the particle factory: what a valid file gives, what a broken one
// is refused for, what an unusual one is used as, and how templates are shared by reference
// count.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCParticleFactory.h"
#include "Engine/ParticleSystem.h"
#include "tests/support/LogCapture.h"
#include "tests/support/Ps2Writer.h"
#include "tests/support/TempDir.h"

namespace {

using ps2writer::Template;

// A template whose every field has a value of its own, so that a field read from the wrong word
// shows.
Template DistinctTemplate() {
  Template t;
  t.maxParticles = 123;
  t.emitPerFrame = 1.5f;
  t.maxLife = 40.0f;
  t.lifeVariation = 3.0f;
  for (int i = 0; i < 4; ++i) {
    t.positionVariation[i] = 1.0f + i;
    t.colour[i] = 10.0f + i;
    t.colourStep[i] = -1.0f - i;
    t.position[i] = 20.0f + i;
    t.friction[i] = 0.25f + 0.125f * i;
    t.gravity[i] = -0.5f - i;
    t.velocity[i] = 30.0f + i;
    t.angle[i] = 0.1f * (i + 1);
    t.angleStep[i] = 0.01f * (i + 1);
    t.scale[i] = 2.0f + i;
    t.scaleStep[i] = 0.5f * (i + 1);
    t.angleVariation[i] = 0.2f * (i + 1);
    t.velocityVariation[i] = 5.0f + i;
    t.boundsMin[i] = -40.0f - i;
    t.boundsMax[i] = 40.0f + i;
  }
  t.flags = 0x18 | 0x2;
  t.emitterLife = 99.0f;
  t.yaw = 0.5f;
  t.yawVariation = 0.25f;
  t.pitch = 1.25f;
  t.pitchVariation = 0.125f;
  t.texture = "data\\Scene\\spark.dds";
  return t;
}

class ParticleFileTest : public TempDirTest {
 protected:
  // Blocks the factory and the loader hold.
  static uint32_t Held() {
    return MemoryTracker::CountBlocksOwnedBy("FileIO::LoadFile") +
           MemoryTracker::CountBlocksOwnedBy("ParticleFactory::Add");
  }
  // Writes the bytes and expects the factory to refuse them with a log line and nothing kept.
  void ExpectRefused(const std::vector<uint8_t>& bytes, const std::string& why) {
    SCOPED_TRACE(why);
    const std::string name = "data/bad" + std::to_string(m_serial++) + ".ps2";
    WriteFileBytes(name, bytes.data(), bytes.size());
    const uint32_t held = Held();
    const int32_t count = m_factory.GetCount();
    EXPECT_EQ(m_factory.Add(name.c_str()), -1);
    EXPECT_TRUE(DebugLogContains("Particle template " + name + " refused: " + why));
    EXPECT_EQ(m_factory.GetCount(), count);
    EXPECT_EQ(Held(), held);
  }

  ParticleFactory m_factory;
  int m_serial = 0;
};

TEST_F(ParticleFileTest, AGoodFileIsReadWordForWord) {
  const Template t = DistinctTemplate();
  ASSERT_TRUE(ps2writer::SavePs2("data/spark.ps2", t));
  const int32_t id = m_factory.Add("data/spark.ps2");
  ASSERT_EQ(id, 0);
  EXPECT_EQ(MemoryTracker::ValidateAll(), 0) << "the kept name stays inside its block";
  const ParticleTemplate* data = m_factory.Find(id);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->maxParticles, 123u);
  EXPECT_EQ(data->flags, 0x1Au);
  const std::pair<float, float> scalars[] = {
      {data->emitPerFrame, 1.5f}, {data->maxLife, 40.0f},     {data->lifeVariation, 3.0f},
      {data->emitterLife, 99.0f}, {data->yaw, 0.5f},          {data->yawVariation, 0.25f},
      {data->pitch, 1.25f},       {data->pitchVariation, 0.125f}};
  for (const auto& [got, want] : scalars) EXPECT_EQ(got, want);
  const std::pair<const float*, const float*> vectors[] = {
      {data->positionVariation, t.positionVariation}, {data->colour, t.colour},
      {data->colourStep, t.colourStep},               {data->position, t.position},
      {data->friction, t.friction},                   {data->gravity, t.gravity},
      {data->velocity, t.velocity},                   {data->angle, t.angle},
      {data->angleStep, t.angleStep},                 {data->scale, t.scale},
      {data->scaleStep, t.scaleStep},                 {data->angleVariation, t.angleVariation},
      {data->velocityVariation, t.velocityVariation}, {data->boundsMin, t.boundsMin},
      {data->boundsMax, t.boundsMax}};
  for (const auto& [got, want] : vectors)
    for (int i = 0; i < 4; ++i) EXPECT_EQ(got[i], want[i]) << "component " << i << " of " << want;
  EXPECT_STREQ(ParticleTemplateTextureName(data), "data\\Scene\\spark.dds");

  // The smallest file: the block and an empty name's terminator.
  Template bare;
  ASSERT_EQ(ps2writer::WritePs2(bare).size(), 281u);
  ASSERT_TRUE(ps2writer::SavePs2("data/bare.ps2", bare));
  const int32_t bareId = m_factory.Add("data/bare.ps2");
  EXPECT_EQ(bareId, 1);
  ASSERT_NE(m_factory.Find(bareId), nullptr);
  EXPECT_STREQ(ParticleTemplateTextureName(m_factory.Find(bareId)), "");
}

TEST_F(ParticleFileTest, ShortFilesAndUnendedNamesAreRefused) {
  const std::vector<uint8_t> good = ps2writer::WritePs2(DistinctTemplate());
  for (size_t size : {size_t(1), size_t(4), size_t(100), size_t(279)})
    ExpectRefused(std::vector<uint8_t>(good.begin(), good.begin() + size),
                  "the file is shorter than the template block");
  // The block alone: the name's terminator is missing.
  ExpectRefused(std::vector<uint8_t>(good.begin(), good.begin() + 280),
                "the texture name does not end inside the file");
  // A name that runs to the end of the file.
  std::vector<uint8_t> unended = good;
  unended.pop_back();
  ExpectRefused(unended, "the texture name does not end inside the file");
  std::vector<uint8_t> oneByte(good.begin(), good.begin() + 281);
  oneByte[280] = 'x';
  ExpectRefused(oneByte, "the texture name does not end inside the file");

  // An empty file is not even loaded.
  WriteFileBytes("data/empty.ps2", "", 0);
  const uint32_t held = Held();
  EXPECT_EQ(m_factory.Add("data/empty.ps2"), -1);
  EXPECT_EQ(m_factory.Add("data/missing.ps2"), -1);
  EXPECT_EQ(m_factory.GetCount(), 0);
  EXPECT_EQ(Held(), held);
}

TEST_F(ParticleFileTest, OnlyNumbersThatAreNotFiniteAreRefused) {
  Template base = DistinctTemplate();
  base.flags = 0;  // plays whether it is seen or not
  base.texture.clear();
  const std::vector<uint8_t> good = ps2writer::WritePs2(base);
  auto with = [&](uint32_t word, float value) {
    std::vector<uint8_t> bytes = good;
    ps2writer::PutFloat(&bytes, word, value);
    return bytes;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const char* notFinite = "a float word is not a finite number";
  // Null: the file loads. Values outside their usual ranges are what the editor writes; a
  // system made from them must keep its particles finite and emit nothing for a negative rate.
  struct Case {
    uint32_t word;
    float value;
    const char* refusal;
  };
  const Case cases[] = {
      {ps2writer::kWordVelocity + 1, nan, notFinite},
      {ps2writer::kWordEmitterLife, inf, notFinite},
      {ps2writer::kWordBoundsMax + 3, -inf, notFinite},
      // A word the runtime does not read is no exception: a file with a NaN in it is damaged.
      {ps2writer::kWordPosition + 3, nan, notFinite},
      {ps2writer::kWordEmitPerFrame, -0.5f, nullptr},
      {ps2writer::kWordMaxLife, -1.0f, nullptr},
      {ps2writer::kWordColour + 0, 300.0f, nullptr},
      {ps2writer::kWordColour + 3, -1.0f, nullptr},
      {ps2writer::kWordFriction + 2, 2.0f, nullptr},
      {ps2writer::kWordFriction + 0, -1.5f, nullptr},
  };
  Matrix identity;
  identity.Identity();
  for (const Case& c : cases) {
    if (c.refusal) {
      ExpectRefused(with(c.word, c.value), c.refusal);
      continue;
    }
    SCOPED_TRACE(::testing::Message() << "word " << c.word << " = " << c.value);
    const std::string name = "data/odd" + std::to_string(m_serial++) + ".ps2";
    const std::vector<uint8_t> bytes = with(c.word, c.value);
    WriteFileBytes(name, bytes.data(), bytes.size());
    ParticleSystem system;
    const int32_t id = m_factory.Add(name.c_str());
    if (id < 0 || system.Init(m_factory.Find(id), identity) != 1) {
      ADD_FAILURE() << "not loaded";
      continue;
    }
    system.SetGroup(0);
    for (int frame = 0; frame < 8; ++frame) system.Update(0);
    EXPECT_GE(system.GetEmissionAccount(), 0.0f);
    bool finite = true;
    for (int i = 0; i < system.GetMaxParticles(); ++i) {
      const Particle& p = *system.GetParticle(i);
      for (int axis = 0; axis < 3; ++axis)
        finite = finite && std::isfinite(p.velocity[axis]) && std::isfinite(p.position[axis]);
    }
    EXPECT_TRUE(finite);
  }

  // The edges of each range are accepted, as are the integer words whatever their value, and
  // friction w, which nothing reads.
  std::vector<uint8_t> edges = with(ps2writer::kWordColour + 1, 255.0f);
  ps2writer::PutFloat(&edges, ps2writer::kWordColour + 2, 0.0f);
  ps2writer::PutFloat(&edges, ps2writer::kWordFriction + 0, 0.0f);
  ps2writer::PutFloat(&edges, ps2writer::kWordFriction + 1, 1.0f);
  ps2writer::PutFloat(&edges, ps2writer::kWordFriction + 3, 7.0f);
  ps2writer::PutFloat(&edges, ps2writer::kWordEmitPerFrame, 0.0f);
  ps2writer::PutFloat(&edges, ps2writer::kWordMaxLife, 0.0f);
  ps2writer::PutWord(&edges, ps2writer::kWordFlags, 0xFFFFFFFFu);
  WriteFileBytes("data/edges.ps2", edges.data(), edges.size());
  EXPECT_GE(m_factory.Add("data/edges.ps2"), 0);
}

TEST_F(ParticleFileTest, MaxParticlesIsCutToWhatOneDrawTakes) {
  Template t = DistinctTemplate();
  for (uint32_t count : {7500u, 7501u, 0xFFFFFFFFu}) {
    t.maxParticles = count;
    const std::string name = "data/max" + std::to_string(count) + ".ps2";
    ASSERT_TRUE(ps2writer::SavePs2(name, t));
    const ParticleTemplate* data = m_factory.Find(m_factory.Add(name.c_str()));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->maxParticles, 7500u);
    EXPECT_EQ(DebugLogContains("Particle template " + name + ": Max Particles " +
                               std::to_string(count) + " cut to 7500"),
              count > 7500);
  }
}

TEST_F(ParticleFileTest, TemplatesAreSharedByReferenceCount) {
  for (const char* name : {"data/a.ps2", "data/b.ps2", "data/c.ps2", "data/d.ps2"})
    ASSERT_TRUE(ps2writer::SavePs2(name, DistinctTemplate()));
  const uint32_t images = MemoryTracker::CountBlocksOwnedBy("FileIO::LoadFile");
  const uint32_t names = MemoryTracker::CountBlocksOwnedBy("ParticleFactory::Add");

  const int32_t a = m_factory.Add("data/a.ps2");
  EXPECT_EQ(a, 0);
  const ParticleTemplate* data = m_factory.Find(a);
  EXPECT_EQ(m_factory.Add("data/a.ps2"), a);
  EXPECT_EQ(m_factory.Find(a), data);  // one image for both
  EXPECT_EQ(m_factory.GetCount(), 1);
  EXPECT_EQ(m_factory.GetRefCount(a), 2);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("FileIO::LoadFile"), images + 1);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("ParticleFactory::Add"), names + 1);

  // The first delete only lowers the count; the second frees.
  m_factory.Delete(a);
  EXPECT_EQ(m_factory.Find(a), data);
  EXPECT_EQ(m_factory.GetRefCount(a), 1);
  m_factory.Delete(a);
  EXPECT_EQ(m_factory.GetCount(), 0);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("FileIO::LoadFile"), images);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("ParticleFactory::Add"), names);
  EXPECT_EQ(m_factory.Find(a), nullptr);
  EXPECT_TRUE(DebugLogContains("Unable to find Particle System 0"));
  m_factory.Delete(a);  // nothing left: nothing happens
  EXPECT_EQ(m_factory.Find(-1), nullptr);
  EXPECT_FALSE(DebugLogContains("Unable to find Particle System -1"));

  // Ids in a batch are the entry counts; a template deleted out of order leaves its successors
  // their ids, and the next add does not take one of theirs.
  EXPECT_EQ(m_factory.Add("data/a.ps2"), 0);
  EXPECT_EQ(m_factory.Add("data/b.ps2"), 1);
  EXPECT_EQ(m_factory.Add("data/c.ps2"), 2);
  const ParticleTemplate* c = m_factory.Find(2);
  m_factory.Delete(0);
  EXPECT_EQ(m_factory.Find(2), c);
  const int32_t d = m_factory.Add("data/d.ps2");
  EXPECT_EQ(d, 3);
  EXPECT_EQ(m_factory.Find(2), c);
  EXPECT_NE(m_factory.Find(d), nullptr);
  EXPECT_NE(m_factory.Find(d), c);
  EXPECT_NE(m_factory.Find(1), nullptr);

  // Init starts afresh and clean-up frees everything.
  EXPECT_EQ(m_factory.Init(), 1);
  EXPECT_EQ(m_factory.GetCount(), 0);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("FileIO::LoadFile"), images);
  EXPECT_EQ(m_factory.Add("data/b.ps2"), 0);
  m_factory.CleanUp();
  EXPECT_EQ(m_factory.GetCount(), 0);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("FileIO::LoadFile"), images);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("ParticleFactory::Add"), names);
}

}  // namespace
