// Particle systems: emission from the shared generator, the update's motion, fading and ending,
// the systems' life in their render window, and the quads they draw.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCParticleRenderer.h"
#include "Engine/PC/PCRenderStates.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Engine/PC/PCShaderSet.h"
#include "Engine/PC/PCTexture.h"
#include "Engine/PC/PCVertexStream.h"
#include "Engine/ParticleSystem.h"
#include "Engine/Random.h"
#include "tests/support/AppHarness.h"
#include "tests/support/ContentTestSupport.h"
#include "tests/support/DdsWriter.h"
#include "tests/support/LogCapture.h"
#include "tests/support/Ps2Writer.h"
#include "tests/support/TempDir.h"

namespace {

using ps2writer::Template;

// A template image as the factory hands it out.
struct TemplateImage {
  std::vector<uint8_t> bytes;
  explicit TemplateImage(const Template& t) : bytes(ps2writer::WritePs2(t)) {}
  const ParticleTemplate* get() const {
    return reinterpret_cast<const ParticleTemplate*>(bytes.data());
  }
};

Matrix Identity() { return g_IdentityMatrix; }
using content::Set4;

// ---- The emission and update rules, worked independently in double precision.

// The shared generator and the particles' draw in -1..1.
struct ReferenceGenerator {
  uint32_t seed;
  uint32_t draws = 0;
  double U() {
    seed = seed * 1664525u + 1013904223u;
    ++draws;
    return static_cast<float>((seed >> 1) / 2147483648.0 * 2.0 - 1.0);
  }
};

struct ReferenceParticle {
  double velocity[3] = {};
  double life = 0;
  double position[4] = {};
  double colour[4] = {};
  double angle[4] = {};
  double scale[4] = {};
};

struct ReferenceSystem {
  const Template& t;
  double m[16];
  std::vector<ReferenceParticle> slots;
  double account = 0;
  ReferenceGenerator* random;

  ReferenceSystem(const Template& t_, const Matrix& emitter, ReferenceGenerator* r)
      : t(t_), slots(t_.maxParticles), random(r) {
    for (int i = 0; i < 16; ++i) m[i] = emitter[i];
  }
  double Friction(int axis) const {
    return t.friction[axis] == 0.0f ? 0.0 : std::pow(double(t.friction[axis]), 60.0);
  }
  void Emit(ReferenceParticle& p) {
    p.life = random->U() * t.lifeVariation + t.maxLife;
    double local[4];
    for (int i = 0; i < 3; ++i) local[i] = random->U() * t.positionVariation[i] + t.position[i];
    local[3] = 1.0;
    for (int j = 0; j < 4; ++j)
      p.position[j] = local[0] * m[j] + local[1] * m[4 + j] + local[2] * m[8 + j] + m[12 + j];
    for (int i = 0; i < 4; ++i) p.colour[i] = t.colour[i];
    double yaw = t.yaw, pitch = t.pitch;
    if (t.yawVariation != 0.0f) yaw += random->U() * t.yawVariation;
    if (t.pitchVariation != 0.0f) pitch += random->U() * t.pitchVariation;
    double speed[3];
    for (int i = 0; i < 3; ++i)
      speed[i] = 2.0 * t.velocity[i] + random->U() * t.velocityVariation[i];
    const double d[3] = {std::cos(yaw) * std::sin(pitch) * speed[0], std::cos(pitch) * speed[1],
                         std::sin(yaw) * std::sin(pitch) * speed[2]};
    for (int j = 0; j < 3; ++j)
      p.velocity[j] = (d[0] * m[j] + d[1] * m[4 + j] + d[2] * m[8 + j]) / 60.0;
    for (int i = 0; i < 3; ++i) p.angle[i] = t.angle[i] + random->U() * t.angleVariation[i];
    p.angle[3] = 1.0;
    for (int i = 0; i < 4; ++i) p.scale[i] = t.scale[i];
  }
  // One update at step 1.
  void Update() {
    uint32_t live = 0;
    for (ReferenceParticle& p : slots) {
      p.life -= 1.0;
      if (p.life <= 0) continue;
      for (int i = 0; i < 3; ++i) p.position[i] += p.velocity[i];
      p.position[3] += p.life;
      for (int i = 0; i < 4; ++i)
        p.colour[i] = std::min(255.0, std::max(0.0, p.colour[i] + t.colourStep[i]));
      for (int i = 0; i < 3; ++i) p.velocity[i] = p.velocity[i] * Friction(i) + t.gravity[i];
      for (int i = 0; i < 4; ++i) {
        p.angle[i] += t.angleStep[i];
        p.scale[i] += t.scaleStep[i];
      }
      ++live;
    }
    account += t.emitPerFrame;
    if (live < slots.size() && account >= 1.0) {
      double n = std::floor(account);
      account -= n;
      n = std::min(n, double(slots.size() - live));
      const int calls = n >= 2 ? int(n) - 1 : 1;
      for (int c = 0; c < calls; ++c)
        for (ReferenceParticle& p : slots)
          if (p.life <= 0) {
            Emit(p);
            break;
          }
    }
  }
};

::testing::AssertionResult Near(double got, double want, const char* what, int slot) {
  const double tolerance = 1e-5 * std::max(1.0, std::fabs(want));
  if (std::fabs(got - want) <= tolerance) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << what << " of slot " << slot << " is " << got << ", expected " << want;
}

void ExpectMatches(ParticleSystem& system, const ReferenceSystem& reference) {
  for (int i = 0; i < static_cast<int>(reference.slots.size()); ++i) {
    const Particle* p = system.GetParticle(i);
    ASSERT_NE(p, nullptr);
    const ReferenceParticle& r = reference.slots[i];
    EXPECT_TRUE(Near(p->life, r.life, "life", i));
    for (int c = 0; c < 3; ++c) EXPECT_TRUE(Near(p->velocity[c], r.velocity[c], "velocity", i));
    for (int c = 0; c < 4; ++c) {
      EXPECT_TRUE(Near(p->position[c], r.position[c], "position", i));
      EXPECT_TRUE(Near(p->colour[c], r.colour[c], "colour", i));
      EXPECT_TRUE(Near(p->angle[c], r.angle[c], "angle", i));
      EXPECT_TRUE(Near(p->scale[c], r.scale[c], "scale", i));
    }
  }
}

// Systems stepped on their own, outside any window. Group 0 steps at 1.0 whatever the frame
// timer says, so results do not depend on earlier tests' frames.
class ParticleSystemTest : public TempDirTest {
 protected:
  void SetUp() override { GetApp().SetPause(0); }
  void TearDown() override { GetApp().SetPause(0); }
  static void Start(ParticleSystem& system, const TemplateImage& image,
                    const Matrix& emitter = Identity()) {
    ASSERT_EQ(system.Init(image.get(), emitter), 1);
    system.SetGroup(0);
  }
};

TEST_F(ParticleSystemTest, FirstFramesFollowTheSharedGenerator) {
  Template t;
  t.maxParticles = 5;
  t.emitPerFrame = 3.0f;  // two a frame (one fewer than owed)
  t.maxLife = 10.0f;
  t.lifeVariation = 4.0f;
  Set4(t.positionVariation, 1, 2, 3, 0);
  Set4(t.position, 5, 6, 7, 1);
  Set4(t.colour, 200, 100, 50, 250);
  Set4(t.colourStep, -120, 80, 1, 5);
  Set4(t.friction, 0.99f, 1.0f, 0.0f, 1.0f);
  Set4(t.gravity, 0.1f, -0.5f, 0.2f, 7);
  Set4(t.velocity, 2, 3, 4, 0);
  Set4(t.velocityVariation, 1, 0.5f, 0.25f, 0);
  Set4(t.angle, 0.1f, 0.2f, 0.3f, 0);
  Set4(t.angleVariation, 0.5f, 0.5f, 0.5f, 0);
  Set4(t.angleStep, 0.01f, 0.02f, 0.03f, 0.04f);
  Set4(t.scale, 1, 2, 3, 4);
  Set4(t.scaleStep, 0.1f, 0.1f, 0.1f, 0.1f);
  t.yaw = 0.3f;
  t.yawVariation = 0.2f;
  t.pitch = 0.7f;
  t.pitchVariation = 0.0f;  // no draw for the pitch
  t.emitterLife = 100.0f;
  const TemplateImage image(t);

  // Turned about y and moved.
  Matrix emitter;
  const float c = std::cos(0.5f), s = std::sin(0.5f);
  const float rows[16] = {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 10, 20, 30, 1};
  std::memcpy(emitter.m, rows, sizeof(rows));

  ParticleSystem system;
  Start(system, image, emitter);
  SeedRand(12345);
  ReferenceGenerator generator{12345};
  ReferenceSystem reference(t, emitter, &generator);

  // Two emitted on each of the first two frames, one on the third (the pool is full then).
  const uint32_t liveAfter[3] = {2, 4, 5};
  for (int frame = 0; frame < 3; ++frame) {
    SCOPED_TRACE(frame);
    EXPECT_EQ(system.Update(0), 1);
    reference.Update();
    EXPECT_EQ(system.GetLiveCount(), liveAfter[frame]);
    ExpectMatches(system, reference);
  }
  // Eleven draws per particle: life, three for the position, the yaw, three speeds, three angles.
  EXPECT_EQ(GetRandCount(), 55u);
  EXPECT_EQ(generator.draws, 55u);
  EXPECT_EQ(GetSeed(), generator.seed);
  EXPECT_EQ(system.GetLastEmitted(), 4);

  // Full: nothing is drawn, the account grows, and the particles go on moving.
  for (int frame = 3; frame < 5; ++frame) {
    system.Update(0);
    reference.Update();
  }
  EXPECT_EQ(GetRandCount(), 55u);
  EXPECT_FLOAT_EQ(system.GetEmissionAccount(), 6.0f);
  ExpectMatches(system, reference);
  // Colour held to 0..255: green and alpha ran into 255, red into 0.
  EXPECT_EQ(system.GetParticle(0)->colour.x, 0.0f);
  EXPECT_EQ(system.GetParticle(0)->colour.y, 255.0f);
  EXPECT_EQ(system.GetParticle(0)->colour.w, 255.0f);
  EXPECT_EQ(system.GetAge(), 5.0f);
}

TEST_F(ParticleSystemTest, EmissionRateEmitterLifeAndTheEnd) {
  // One fewer than owed once two or more are owed: 1 -> 1, 2 -> 1, 3 -> 2, 4.5 -> 3, and the
  // half kept makes 5 owed, 4 emitted, on the second update.
  const float rates[4] = {1.0f, 2.0f, 3.0f, 4.5f};
  const uint32_t first[4] = {1, 1, 2, 3};
  const uint32_t second[4] = {2, 2, 4, 7};
  for (int i = 0; i < 4; ++i) {
    Template t;
    t.maxParticles = 100;
    t.emitPerFrame = rates[i];
    t.maxLife = 50.0f;
    const TemplateImage image(t);
    ParticleSystem system;
    Start(system, image);
    system.Update(0);
    EXPECT_EQ(system.GetLiveCount(), first[i]) << "rate " << rates[i];
    system.Update(0);
    EXPECT_EQ(system.GetLiveCount(), second[i]) << "rate " << rates[i];
  }

  // Emitter life 2 at step 1: emits at ages 0 and 1, then runs until its last particle dies.
  Template t;
  t.emitPerFrame = 1.0f;
  t.maxLife = 1.5f;
  t.emitterLife = 2.0f;
  const TemplateImage image(t);
  ParticleSystem system;
  Start(system, image);
  const uint32_t draws = GetRandCount();
  EXPECT_EQ(system.Update(0), 1);  // age 0: emits
  EXPECT_EQ(system.GetLiveCount(), 1u);
  EXPECT_EQ(system.Update(0), 1);  // age 1: emits, the first lives on at 0.5
  EXPECT_EQ(system.GetLiveCount(), 2u);
  EXPECT_EQ(GetRandCount(), draws + 20);
  EXPECT_EQ(system.Update(0), 1);  // age 2: no more; the second lives on
  EXPECT_EQ(system.GetLiveCount(), 1u);
  EXPECT_EQ(GetRandCount(), draws + 20);
  EXPECT_EQ(system.Update(0), 0);  // nothing alive, nothing to come
  EXPECT_EQ(system.GetAge(), 3.0f);

  // A max life of 0 never emits; unlooped, the system ends once its age reaches its emitter life.
  Template dead;
  dead.maxLife = 0.0f;
  dead.emitterLife = 3.0f;
  const TemplateImage deadImage(dead);
  ParticleSystem never;
  Start(never, deadImage);
  EXPECT_EQ(never.Emit(), 0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(never.Update(0), 1);
  EXPECT_EQ(never.Update(0), 0);
  EXPECT_EQ(never.GetLastEmitted(), -1);
  EXPECT_EQ(GetRandCount(), draws + 20);

  // Looped, it never ends.
  dead.flags = ps2writer::kLooped;
  const TemplateImage loopedImage(dead);
  ParticleSystem looped;
  Start(looped, loopedImage);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(looped.Update(0), 1);
}

TEST_F(ParticleSystemTest, FrictionGravityAndColourLimits) {
  Template t;
  t.maxParticles = 1;
  t.emitPerFrame = 1.0f;
  t.maxLife = 100.0f;
  t.emitterLife = 100.0f;
  t.pitch = 1.5707964f;  // along x
  Set4(t.velocity, 30, 0, 0, 0);
  Set4(t.friction, 0.0f, 1.0f, 0.5f, 0.0f);
  Set4(t.gravity, 0.25f, -0.5f, 0.0f, 0.0f);
  Set4(t.colourStep, 300, -300, 0.5f, 0);
  Set4(t.colour, 100, 100, 100, 100);
  const TemplateImage image(t);
  ParticleSystem system;
  Start(system, image);

  // Friction per update is the template's raised to the frame rate; 0 stays 0.
  EXPECT_EQ(system.GetFrictionPerUpdate().x, 0.0f);
  EXPECT_EQ(system.GetFrictionPerUpdate().y, 1.0f);
  EXPECT_NEAR(system.GetFrictionPerUpdate().z, std::pow(0.5, 60.0), 1e-22);
  EXPECT_EQ(system.GetFrictionPerUpdate().w, 1.0f);

  system.Update(0);
  const Particle* p = system.GetParticle(0);
  ASSERT_NE(p, nullptr);
  // Twice the velocity per second, a sixtieth of it per update.
  EXPECT_NEAR(p->velocity[0], 60.0 / 60.0, 1e-6);
  system.Update(0);
  // Friction 0 stopped x at once; gravity then adds per update. y keeps what gravity gave it.
  EXPECT_NEAR(p->velocity[0], 0.25, 1e-6);
  EXPECT_NEAR(p->velocity[1], -0.5, 1e-6);
  EXPECT_NEAR(p->position.x, 1.0, 1e-6);
  system.Update(0);
  EXPECT_NEAR(p->velocity[0], 0.25, 1e-6);
  EXPECT_NEAR(p->velocity[1], -1.0, 1e-6);
  // Colour never leaves 0..255 however big the step.
  EXPECT_EQ(p->colour.x, 255.0f);
  EXPECT_EQ(p->colour.y, 0.0f);
  EXPECT_EQ(p->colour.z, 101.0f);
  EXPECT_EQ(p->colour.w, 100.0f);

  // The dying colour and the cull.
  system.BlankDyingParticles(50.0f);
  EXPECT_EQ(p->colour.x, 255.0f);  // life 98: not dying yet
  system.BlankDyingParticles(99.0f);
  EXPECT_EQ(p->colour.x, 128.0f);
  EXPECT_EQ(p->colour.y, 128.0f);
  EXPECT_EQ(p->colour.z, 0.0f);
  EXPECT_EQ(p->colour.w, 0.0f);
  system.CullParticles(10.0f);
  EXPECT_EQ(system.GetLiveCount(), 1u);
  system.CullParticles(99.0f);
  EXPECT_EQ(p->life, 0.0f);
  EXPECT_EQ(system.GetLiveCount(), 0u);
  EXPECT_EQ(system.GetParticle(1), nullptr);
  EXPECT_EQ(system.GetParticle(-1), nullptr);
}

TEST_F(ParticleSystemTest, PausedOtherGroupsAndLoopedOutOfViewStandStill) {
  Template t;
  t.maxParticles = 4;
  t.emitPerFrame = 1.0f;
  t.maxLife = 100.0f;
  t.pitch = 1.5707964f;
  Set4(t.velocity, 6, 0, 0, 0);
  t.flags = ps2writer::kLooped;
  Set4(t.boundsMin, -1, -1, -1, 1);
  Set4(t.boundsMax, 1, 1, 1, 1);
  const TemplateImage image(t);

  // Seen through identity matrices: clip space is world space.
  Display* display = GetApp().GetDisplay();
  const Matrix view = *display->GetViewMatrix();
  const Matrix projection = *display->GetProjectionMatrix();
  const Matrix identity = Identity();
  display->SetViewMatrix(&identity);
  display->SetProjectionMatrix(&identity);

  ParticleSystem system;
  Start(system, image);
  system.Update(0);
  system.Update(0);
  ASSERT_EQ(system.GetLiveCount(), 2u);
  const Particle before = *system.GetParticle(0);
  const uint32_t draws = GetRandCount();
  auto unchanged = [&]() {
    const Particle* p = system.GetParticle(0);
    return p->life == before.life && p->position.x == before.position.x &&
           system.GetLiveCount() == 2u && GetRandCount() == draws && system.GetAge() == 2.0f;
  };

  GetApp().SetPause(1);
  EXPECT_EQ(system.Update(0), 1);
  EXPECT_TRUE(unchanged());
  GetApp().SetPause(2);  // only 1 means paused
  system.SetGroup(1);
  EXPECT_EQ(system.Update(0), 1);  // not its group
  EXPECT_EQ(system.Update(2), 1);
  EXPECT_TRUE(unchanged());
  system.SetGroup(0);
  GetApp().SetPause(0);

  // Out of view (the camera looks 100 units away): a looped system waits.
  Matrix away = Identity();
  away[12] = -100.0f;
  display->SetViewMatrix(&away);
  EXPECT_EQ(system.Update(0), 1);
  EXPECT_EQ(system.GetInView(), static_cast<uint32_t>(kBoxOutside));
  EXPECT_TRUE(unchanged());
  display->SetViewMatrix(&identity);
  EXPECT_EQ(system.Update(0), 1);
  EXPECT_NE(system.GetInView(), static_cast<uint32_t>(kBoxOutside));
  EXPECT_EQ(system.GetAge(), 3.0f);
  EXPECT_NEAR(system.GetParticle(0)->position.x, before.position.x + 0.2f, 1e-6);
  EXPECT_EQ(system.GetLiveCount(), 3u);

  // Unlooped, it plays on out of view.
  t.flags = 0;
  const TemplateImage unloopedImage(t);
  ParticleSystem unlooped;
  Start(unlooped, unloopedImage);
  display->SetViewMatrix(&away);
  unlooped.Update(0);
  EXPECT_EQ(unlooped.GetLiveCount(), 1u);

  display->SetViewMatrix(&view);
  display->SetProjectionMatrix(&projection);
}

TEST_F(ParticleSystemTest, TheEmissionAccountIsHeldBeforeItIsTurnedIntoAWholeNumber) {
  Template t;
  t.maxParticles = 4;
  t.maxLife = 2.0f;
  t.emitPerFrame = 1000.5f;
  const TemplateImage sane(t);
  ParticleSystem system;
  Start(system, sane);
  // 1000 owed, four slots: three come (one fewer than owed), the rest is dropped, the half kept.
  system.Update(0);
  EXPECT_EQ(system.GetLiveCount(), 3u);
  EXPECT_FLOAT_EQ(system.GetEmissionAccount(), 0.5f);

  // An account far beyond any whole number an integer holds: one particle, nothing left over.
  t.maxParticles = 1;
  t.emitPerFrame = 1e30f;
  const TemplateImage huge(t);
  ParticleSystem flood;
  Start(flood, huge);
  flood.Update(0);
  EXPECT_EQ(flood.GetLiveCount(), 1u);
  EXPECT_LE(flood.GetEmissionAccount(), 1.0f);
  // While the slot is taken the account grows without bound; the payout is still one particle.
  flood.Update(0);
  EXPECT_GT(flood.GetEmissionAccount(), 1e29f);
  flood.Update(0);  // the particle died; the next one comes
  EXPECT_EQ(flood.GetLiveCount(), 1u);
  EXPECT_LE(flood.GetEmissionAccount(), 1.0f);
}

TEST_F(ParticleSystemTest, MaxParticlesIsHeldToTheVertexStream) {
  Template t;
  t.maxParticles = 10000;
  const TemplateImage image(t);
  ParticleSystem system;
  const uint32_t blocks = MemoryTracker::CountBlocksOwnedBy("BaseParticleSystem::Init");
  Start(system, image);
  EXPECT_EQ(system.GetMaxParticles(), 7500);
  EXPECT_TRUE(DebugLogContains("Particle system: Max Particles 10000 clamped to 7500"));
  EXPECT_NE(system.GetParticle(7499), nullptr);
  EXPECT_EQ(system.GetParticle(7500), nullptr);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("BaseParticleSystem::Init"), blocks + 1);
  system.CleanUp();
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("BaseParticleSystem::Init"), blocks);
  EXPECT_EQ(system.GetParticle(0), nullptr);
  EXPECT_EQ(system.Emit(), 0);
}

TEST_F(ParticleSystemTest, TheProbeTracesTheFarthestEmission) {
  Template t;
  t.maxLife = 3.0f;
  Set4(t.position, 1, 2, 3, 1);
  Set4(t.positionVariation, 1, 1, 1, 0);
  Set4(t.velocity, 3, 0, 0, 0);
  Set4(t.gravity, 0, -0.25f, 0, 0);
  t.pitch = 1.0f;
  t.pitchVariation = 0.5707963f;  // the farthest pitch lies along x
  const TemplateImage image(t);
  Matrix emitter = Identity();
  emitter[13] = 10.0f;
  ParticleSystem system;
  Start(system, image, emitter);
  system.ResetProbe();
  EXPECT_EQ(system.GetProbe().life, 3.0f);
  EXPECT_NEAR(system.GetProbe().position.y, 13.0, 1e-6);
  // 2 x 3 per second, a sixtieth per step.
  EXPECT_NEAR(system.GetProbe().velocity[0], 0.1, 1e-6);

  Vector4 at;
  EXPECT_EQ(system.StepProbe(&at), 2.0f);
  EXPECT_NEAR(at.x, 2.1, 1e-6);
  EXPECT_NEAR(at.y, 13.0, 1e-6);
  EXPECT_NEAR(at.w, 1.0 + 2.0, 1e-6);
  EXPECT_EQ(system.StepProbe(&at), 1.0f);
  EXPECT_NEAR(at.x, 2.2, 1e-6);
  EXPECT_NEAR(at.y, 12.75, 1e-6);
  EXPECT_EQ(system.StepProbe(&at), 0.0f);
  EXPECT_EQ(system.StepProbe(&at), 0.0f);
  EXPECT_EQ(at.x, 0.0f);
  EXPECT_EQ(at.w, 0.0f);

  const Vector4 d = ParticleSystem::DirectionFromAngles(1.5707964f, 0.0f);
  EXPECT_NEAR(d.x, 1.0, 1e-6);
  EXPECT_NEAR(d.y, 0.0, 1e-6);
  EXPECT_EQ(d.w, 1.0f);
}

// ---- In a window.

using content::kHeight;
using content::kWidth;
using content::Rgb;
::testing::AssertionResult AreaIs(const std::vector<uint32_t>& pixels, int x0, int y0, int x1,
                                  int y1, Rgb want) {
  return content::AreaIs(pixels, x0, y0, x1, y1, want, 3.0);
}

class ParticleWindowTest : public AppTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(content::SaveSolidDds("data\\badtexture.dds", 0xFFFFFFFFu));
    ASSERT_TRUE(content::SaveSolidDds("data\\white.dds", 0xFFFFFFFFu));
    ASSERT_TRUE(m_harness.Start());
    GetApp().SetPause(0);
  }
  RenderWindow* AddWindow(Vector4 clear = Vector4(0, 0, 0, 255)) {
    RenderWindow* window = new RenderWindow();
    window->Init(Vector2(0, 0), Vector2(kWidth, kHeight), clear, 6, 0.0f);
    GetApp().AddWindow(window);
    return window;
  }
  // One particle that stands at the origin for as long as the test runs.
  static Template Still() {
    Template t;
    t.maxParticles = 1;
    t.maxLife = 1000.0f;
    t.emitterLife = 1000.0f;
    return t;
  }
  int32_t AddTemplate(const char* file, const Template& t) {
    EXPECT_TRUE(ps2writer::SavePs2(file, t));
    return GetApp().GetParticleFactory()->Add(file);
  }
  static std::vector<uint32_t> ReadBack() { return content::ReadBack(); }
  static Vector4 Screen(float x, float y, float z) {
    Vector4 out;
    const Vector4 point(x, y, z, 1.0f);
    GetApp().GetDisplay()->ProjectToScreen(&out, &point);
    return out;
  }
};

TEST_F(ParticleWindowTest, AParticleIsACameraFacingQuadOfItsScale) {
  // Red on the left half of the texture, blue on the right.
  std::vector<uint32_t> halves(16 * 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) halves[y * 16 + x] = x < 8 ? 0xFFFF0000u : 0xFF0000FFu;
  ASSERT_TRUE(
      ddswriter::SaveDds("data/halves.dds", gfx::D3DFMT_A8R8G8B8, 16, 16, halves.data(), false));
  Template t = Still();
  t.scale[0] = 20.0f;  // 40 across
  t.scale[1] = 10.0f;  // 20 high
  // 128 is full brightness: the texture stage doubles the vertex colour.
  t.colour[0] = t.colour[1] = t.colour[2] = 128.0f;
  t.texture = "data\\halves.dds";
  const int32_t id = AddTemplate("data/one.ps2", t);
  ASSERT_GE(id, 0);
  RenderWindow* window = AddWindow();
  ASSERT_EQ(window->AddParticleSystem(id, Identity()), 0);
  m_harness.RunFrames(1);
  const std::vector<uint32_t> pixels = ReadBack();

  // The quad spans x -20..20 and y -10..10 of the plane the camera faces.
  const Vector4 left = Screen(-20, 0, 0), right = Screen(20, 0, 0);
  const Vector4 top = Screen(0, 10, 0), bottom = Screen(0, -10, 0);
  const int x0 = int(std::lround(std::min(left.x, right.x)));
  const int x1 = int(std::lround(std::max(left.x, right.x)));
  const int y0 = int(std::lround(std::min(top.y, bottom.y)));
  const int y1 = int(std::lround(std::max(top.y, bottom.y)));
  // The camera 160 away with a 45 degree view: 3.62 pixels a unit.
  EXPECT_NEAR(x1 - x0, 40 * 3.6213, 2.0);
  EXPECT_NEAR(y1 - y0, 20 * 3.6213, 2.0);

  // Texture u runs from 1 at the quad's corner against the camera's right axis to 0 along it.
  Matrix cameraToWorld;
  MatrixInverse4x4(*GetApp().GetDisplay()->GetViewMatrix(), cameraToWorld);
  const Vector4 uOne = Screen(-20 * cameraToWorld[0], -20 * cameraToWorld[1], 0);
  const bool blueOnTheLeft = uOne.x < (x0 + x1) / 2;
  const Rgb red = {255, 0, 0}, blue = {0, 0, 255}, black = {0, 0, 0};
  const int mid = (x0 + x1) / 2;
  // Half a texel (4.5 pixels) from each side edge, the filter reaches round to the far side.
  EXPECT_TRUE(AreaIs(pixels, x0 + 7, y0 + 3, mid - 12, y1 - 3, blueOnTheLeft ? blue : red));
  EXPECT_TRUE(AreaIs(pixels, mid + 12, y0 + 3, x1 - 7, y1 - 3, blueOnTheLeft ? red : blue));
  EXPECT_TRUE(AreaIs(pixels, x0 - 20, y0 - 20, x1 + 20, y0 - 3, black));
  EXPECT_TRUE(AreaIs(pixels, x0 - 20, y1 + 3, x1 + 20, y1 + 20, black));
  EXPECT_TRUE(AreaIs(pixels, x0 - 20, y0, x0 - 3, y1, black));
  EXPECT_TRUE(AreaIs(pixels, x1 + 3, y0, x1 + 20, y1, black));
  EXPECT_EQ(PCParticleRenderer::GetLastQuadCount(), 1u);

  // A camera turned about y gives the right axis depth: each corner still mirrors its opposite.
  const float c = std::cos(0.5f), s = std::sin(0.5f);
  Matrix turned;
  const float rows[16] = {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 160, 1};
  std::memcpy(turned.m, rows, sizeof(rows));
  GetApp().GetDisplay()->SetViewMatrix(&turned);
  PCParticleRenderer::Draw(window->GetParticleSystem(0), window);
  VertexStream* stream = GetApp().GetDisplay()->GetVertexStream();
  void* data = nullptr;
  const uint32_t bytes = 4 * sizeof(StreamVertex);
  ASSERT_EQ(stream->GetVertexBuffer()->Lock(stream->GetLastLockByteOffset(), bytes, &data,
                                            gfx::D3DLOCK_READONLY),
            gfx::D3D_OK);
  const auto* v = static_cast<const StreamVertex*>(data);
  EXPECT_NEAR(v[0].z + v[3].z, v[1].z + v[2].z, 1e-3f);
  stream->GetVertexBuffer()->Unlock();
}

TEST_F(ParticleWindowTest, BlendFollowsTheFlagsAndTintFollowsTheWindow) {
  // Additive wins over subtractive: a dark red particle adds to a blue clear.
  Template t = Still();
  t.scale[0] = t.scale[1] = 30.0f;
  t.colour[0] = 64.0f;
  t.colour[1] = t.colour[2] = 0.0f;
  t.flags = ps2writer::kAdditive | ps2writer::kSubtractive;
  t.texture = "data\\white.dds";
  const int32_t additive = AddTemplate("data/add.ps2", t);
  RenderWindow* window = AddWindow(Vector4(0, 0, 100, 255));
  ASSERT_EQ(window->AddParticleSystem(additive, Identity()), 0);
  m_harness.RunFrames(1);
  EXPECT_EQ(RenderStateCache::GetRenderState(gfx::D3DRS_DESTBLEND), uint32_t(gfx::D3DBLEND_ONE));
  EXPECT_TRUE(AreaIs(ReadBack(), 300, 220, 340, 260, {128, 0, 100}));
  window->DeleteParticleSystem(0);

  // Subtractive alone takes the particle's colour away from what lies beneath.
  t.colour[0] = 0.0f;
  t.colour[2] = 32.0f;
  t.flags = ps2writer::kSubtractive;
  const int32_t subtractive = AddTemplate("data/sub.ps2", t);
  ASSERT_EQ(window->AddParticleSystem(subtractive, Identity()), 1);
  m_harness.RunFrames(1);
  EXPECT_TRUE(AreaIs(ReadBack(), 300, 220, 340, 260, {0, 0, 100 - 64}));
  window->DeleteParticleSystem(1);

  // The window's colour factors tint the particles, whatever an earlier draw left in the
  // colour multiplier.
  t = Still();
  t.scale[0] = t.scale[1] = 30.0f;
  t.colour[0] = t.colour[1] = t.colour[2] = 128.0f;
  t.texture = "data\\white.dds";
  const int32_t plain = AddTemplate("data/plain.ps2", t);
  window->SetClearColour(0, 0, 0, 255);
  window->SetColourFactors(0.5f, 1.0f, 1.0f, 1.0f);
  ASSERT_EQ(window->AddParticleSystem(plain, Identity()), 2);
  ShaderSet* shaders = GetApp().GetDisplay()->GetShaderSet();
  shaders->SetColourMultiplier(Vector4(0, 0, 0, 0));
  m_harness.RunFrames(1);
  EXPECT_TRUE(AreaIs(ReadBack(), 300, 220, 340, 260, {128, 255, 255}));
  const float* c5 = shaders->GetLoadedConstant(5);
  EXPECT_EQ(c5[0], 0.5f);
  EXPECT_EQ(c5[1], 1.0f);
  EXPECT_EQ(c5[3], 1.0f);
}

TEST_F(ParticleWindowTest, OnlyTheQuadsWrittenAreDrawn) {
  // Life between -999 and 1001: about half the particles are born dead. They count as live for
  // the frame they are born in, but have no quad.
  Template t = Still();
  t.maxParticles = 4;
  t.emitPerFrame = 5.0f;  // four owed, three come
  t.maxLife = 1.0f;
  t.lifeVariation = 1000.0f;
  t.texture = "data\\white.dds";
  const int32_t id = AddTemplate("data/mixed.ps2", t);
  // A seed under which the three lives are mixed: ten draws per particle, life the first.
  auto lives = [](uint32_t seed, int count) {
    std::vector<bool> alive;
    for (int i = 0; i < count; ++i) {
      for (int d = 0; d < 10; ++d) {
        seed = seed * 1664525u + 1013904223u;
        if (d == 0)
          alive.push_back(float((seed >> 1) / 2147483648.0 * 2.0 - 1.0) * 1000.0f + 1.0f > 0.0f);
      }
    }
    return alive;
  };
  uint32_t mixed = 1;
  for (;; ++mixed) {
    const std::vector<bool> a = lives(mixed, 3);
    if ((a[0] || a[1] || a[2]) && !(a[0] && a[1] && a[2])) break;
  }
  uint32_t allDead = 1;
  for (;; ++allDead)
    if (!lives(allDead, 1)[0]) break;

  RenderWindow* window = AddWindow();
  ASSERT_EQ(window->AddParticleSystem(id, Identity()), 0);
  gfx::D3DDevice* device = GetApp().GetDisplay()->GetDevice();
  SeedRand(mixed);
  device->ResetCallCounts();
  m_harness.RunFrames(1);
  BaseParticleSystem* system = window->GetParticleSystem(0);
  ASSERT_NE(system, nullptr);
  uint32_t alive = 0;
  for (int i = 0; i < system->GetMaxParticles(); ++i)
    if (system->GetParticles()[i].life > 0.0f) ++alive;
  EXPECT_EQ(system->GetLiveCount(), 3u);
  EXPECT_GT(alive, 0u);
  EXPECT_LT(alive, 3u);
  EXPECT_EQ(PCParticleRenderer::GetLastQuadCount(), alive);
  EXPECT_EQ(device->GetCallCount(gfx::DeviceCall::DrawIndexedPrimitive), 1u);
  window->DeleteParticleSystem(0);

  // Nothing written, nothing drawn.
  t.maxParticles = 1;
  t.emitPerFrame = 1.0f;
  const int32_t single = AddTemplate("data/single.ps2", t);
  ASSERT_EQ(window->AddParticleSystem(single, Identity()), 1);
  SeedRand(allDead);
  device->ResetCallCounts();
  m_harness.RunFrames(1);
  system = window->GetParticleSystem(1);
  ASSERT_NE(system, nullptr);
  EXPECT_EQ(system->GetLiveCount(), 1u);
  EXPECT_LE(system->GetParticles()[0].life, 0.0f);
  EXPECT_EQ(PCParticleRenderer::GetLastQuadCount(), 0u);
  EXPECT_EQ(device->GetCallCount(gfx::DeviceCall::DrawIndexedPrimitive), 0u);

  // A system with nothing alive touches no state at all.
  ParticleSystem idle;
  ASSERT_EQ(idle.Init(GetApp().GetParticleFactory()->Find(single), Identity()), 1);
  device->ResetCallCounts();
  PCParticleRenderer::Draw(&idle, window);
  EXPECT_EQ(device->GetCallCount(gfx::DeviceCall::SetRenderState), 0u);
  EXPECT_EQ(device->GetCallCount(gfx::DeviceCall::SetVertexShaderConstantF), 0u);
  EXPECT_EQ(device->GetCallCount(gfx::DeviceCall::SetTexture), 0u);
}

TEST_F(ParticleWindowTest, GamesMoveTheEmitterAndStopALoopedEffect) {
  Template t = Still();
  t.maxParticles = 4;
  t.maxLife = 3.0f;
  t.emitterLife = 2.0f;
  t.flags = ps2writer::kLooped;
  const int32_t id = AddTemplate("data/splash.ps2", t);
  RenderWindow* window = AddWindow();
  // One update step a frame, however long the frames take to draw.
  m_harness.system().UseManualClock(true);
  m_harness.system().SetFrequency(60000);
  m_harness.system().SetCounterStepPerRead(400);
  GetApp().GetTimer()->Create(60);
  const int32_t handle = window->AddParticleSystem(id, Identity());
  m_harness.RunFrames(1);
  BaseParticleSystem* system = window->GetParticleSystem(handle);
  ASSERT_NE(system, nullptr);

  // The next particle is born where the emitter now is; the one already out stays.
  Matrix moved = Identity();
  moved[12] = 5.0f;
  moved[13] = -7.0f;
  moved[14] = 2.0f;
  system->SetEmitterMatrix(moved);
  m_harness.RunFrames(1);
  const Particle* p = system->GetParticles();
  EXPECT_EQ(system->GetLiveCount(), 2u);
  for (int axis = 0; axis < 3; ++axis) {
    EXPECT_EQ(p[0].position[axis], 0.0f);
    EXPECT_EQ(p[1].position[axis], moved[12 + axis]);
  }

  // Stopped past its emitter life: nothing more comes out, and once the last particle has died
  // the window deletes it.
  system->SetFlags(system->GetFlags() & ~BaseParticleSystem::kLooped);
  for (uint32_t live : {2u, 1u}) {
    m_harness.RunFrames(1);
    ASSERT_EQ(window->GetParticleSystem(handle), system);
    EXPECT_EQ(system->GetLiveCount(), live);
  }
  m_harness.RunFrames(1);
  EXPECT_EQ(window->GetParticleSystem(handle), nullptr);
  EXPECT_EQ(window->GetParticleSystemCount(), 0);
}

TEST_F(ParticleWindowTest, AWindowWithItsOwnGeneratorLeavesTheProgramsAlone) {
  Template t = Still();
  t.maxParticles = 8;
  t.maxLife = 50.0f;
  t.lifeVariation = 10.0f;
  t.positionVariation[0] = t.positionVariation[1] = 40.0f;
  const int32_t id = AddTemplate("data/puff.ps2", t);
  RenderWindow* shared = AddWindow();
  RenderWindow* own = AddWindow();
  RenderWindow* twin = AddWindow();
  own->UseOwnParticleRandom(99);
  twin->UseOwnParticleRandom(99);
  // One update step a frame, so that no particle dies while the draws are counted.
  m_harness.system().UseManualClock(true);
  m_harness.system().SetFrequency(60000);
  m_harness.system().SetCounterStepPerRead(400);
  GetApp().GetTimer()->Create(60);
  // Only the window on the program's generator moves it: by ten draws a particle here.
  for (RenderWindow* window : {own, twin, shared}) {
    SeedRand(7);
    const int32_t handle = window->AddParticleSystem(id, Identity());
    ASSERT_NE(handle, -1);
    m_harness.RunFrames(3);
    const uint32_t live = window->GetParticleSystem(handle)->GetLiveCount();
    EXPECT_GT(live, 0u);
    EXPECT_EQ(GetRandCount(), window == shared ? 10 * live : 0u);
    EXPECT_EQ(GetSeed() == 7u, window != shared);
  }
  // Two windows started alike give their effects the same particles.
  const Particle* a = own->GetParticleContainer(0)->system->GetParticles();
  const Particle* b = twin->GetParticleContainer(0)->system->GetParticles();
  EXPECT_EQ(a[0].position.x, b[0].position.x);
  EXPECT_EQ(a[1].position.y, b[1].position.y);
  EXPECT_NE(a[0].position.x, a[1].position.x) << "the draws do vary";
}

TEST_F(ParticleWindowTest, TheTextureIsGivenBackOnceOnEveryWayASystemEnds) {
  Texture* textures = GetApp().GetTexture();
  const int32_t handle = textures->Load("data\\white.dds");
  ASSERT_NE(handle, -1);
  auto refs = [&]() {
    const TextureData* record = textures->Find(handle);
    return record ? int(record->refCount) : 0;
  };
  ParticleFactory* factory = GetApp().GetParticleFactory();
  Template t = Still();
  t.flags = ps2writer::kLooped;
  t.texture = "data\\white.dds";
  const int32_t looped = AddTemplate("data/looped.ps2", t);
  t = Still();
  t.maxLife = 1.0f;
  t.emitterLife = 1.0f;
  t.texture = "data\\white.dds";
  const int32_t brief = AddTemplate("data/brief.ps2", t);

  RenderWindow* window = AddWindow();
  EXPECT_EQ(window->AddParticleSystem(looped, Identity()), 0);
  EXPECT_EQ(window->AddParticleSystem(looped, Identity()), 1);
  EXPECT_EQ(window->AddParticleSystem(brief, Identity()), 2);
  EXPECT_EQ(refs(), 4);
  // Systems keep no hold on their template.
  factory->Delete(looped);
  EXPECT_EQ(factory->Find(looped), nullptr);

  // A system deleted by whoever made it.
  {
    ParticleSystem* own = new ParticleSystem();
    ASSERT_EQ(own->Init(factory->Find(brief), Identity()), 1);
    EXPECT_EQ(refs(), 5);
    delete own;
    EXPECT_EQ(refs(), 4);
  }
  // Finished: emitted at age 0, dead at age 1, ended.
  m_harness.RunFrames(2);
  EXPECT_EQ(window->GetParticleSystemCount(), 2);
  EXPECT_EQ(window->GetParticleSystem(2), nullptr);
  EXPECT_EQ(refs(), 3);
  EXPECT_TRUE(window->GetParticleSystem(0)->HasLiveParticles());
  // Deleted by id.
  window->DeleteParticleSystem(0);
  EXPECT_EQ(refs(), 2);
  // With its window.
  GetApp().DeleteWindow(window->GetId());
  EXPECT_EQ(refs(), 1);
  textures->Delete(handle);
  EXPECT_EQ(refs(), 0);

  // A system that cannot have its particles takes nothing with it.
  RenderWindow* second = AddWindow();
  const int32_t again = textures->Load("data\\white.dds");
  const uint32_t pools = MemoryTracker::CountBlocksOwnedBy("BaseParticleSystem::Init");
  // The system itself and the texture's name hash are had; the particle pool is not.
  MemoryTracker::InduceFailures(2, 1);
  EXPECT_EQ(second->AddParticleSystem(brief, Identity()), -1);
  MemoryTracker::InduceFailures(-1, 0);
  EXPECT_EQ(second->GetParticleSystemCount(), 0);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("BaseParticleSystem::Init"), pools);
  const TextureData* record = textures->Find(again);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->refCount, 1);
  textures->Delete(again);

  // An unknown template: an assertion and -1.
  AssertCounter asserts;
  EXPECT_EQ(second->AddParticleSystem(77, Identity()), -1);
  EXPECT_EQ(asserts.Count(), 1u);
  EXPECT_TRUE(DebugLogContains("Unable to find Particle System 77"));
  EXPECT_EQ(second->GetNextParticleId(), 0);
}

}  // namespace
