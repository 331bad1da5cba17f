// The editor's own particle step: emission by the account, friction, colour limits, the random
// draws of an emission and the box that grows round the particles. Run on a system of the test's
// own, one update of 1.0 at 60 frames a second at a time.
#include <gtest/gtest.h>

#include <cmath>

#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Engine/Random.h"
#include "Game/EditorParticleSystem.h"
#include "Game/ParticleEditor.h"
#include "tests/support/AppHarness.h"
#include "tests/support/DemoData.h"

namespace {

class EditorParticleRulesTest : public AppTest {
 protected:
  void SetUp() override {
    LinkDemoData();
    KavelParticle::Register();
    ASSERT_TRUE(m_harness.Start());
    GetApp().GetTimer()->Create(60);
    ASSERT_EQ(GetApp().GetTimeStep(), 1.0f);
    ASSERT_TRUE(m_system.CreateTestSystem());
    // A still template: no emission, no randomness, no movement, no change, looped.
    ParticleTemplateWords& w = m_system.Words();
    w.maxParticles = 16;
    w.emitPerFrame = 0.0f;
    w.maxLife = 1000.0f;
    w.lifeVariation = 0.0f;
    for (int i = 0; i < 4; ++i) {
      w.positionVariation[i] = w.position[i] = w.colourStep[i] = w.gravity[i] = 0.0f;
      w.velocity[i] = w.velocityVariation[i] = w.angleVariation[i] = w.scaleStep[i] = 0.0f;
      w.friction[i] = 1.0f;
    }
    w.yaw = w.yawVariation = w.pitch = w.pitchVariation = 0.0f;
    w.flags = kTemplateLooped;
  }
  void TearDown() override {
    m_system.CleanUp();
    m_harness.Stop();
  }
  uint32_t Alive() const {
    uint32_t n = 0;
    for (uint32_t i = 0; i < EditorParticleSystem::kPoolSize; ++i)
      n += m_system.GetPool()[i].life > 0.0f;
    return n;
  }

  EditorParticleSystem m_system;
};

TEST_F(EditorParticleRulesTest, EmissionFollowsTheAccountOneShortWhenSeveralAreDue) {
  const struct {
    float perFrame;
    uint32_t maxParticles;
    uint32_t alive[4];  // after each of four updates
  } cases[] = {
      {0.5f, 16, {0, 1, 1, 2}},
      {1.0f, 16, {1, 2, 3, 4}},
      {3.0f, 16, {2, 4, 6, 8}},
      {3.0f, 0, {0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.perFrame << " a frame, " << c.maxParticles << " slots");
    // Every slot emptied, the account at 0.
    m_system.Words().emitPerFrame = 0.0f;
    m_system.Words().maxParticles = 16;
    m_system.RequestRestart();
    m_system.Update(nullptr);
    m_system.Words().emitPerFrame = c.perFrame;
    m_system.Words().maxParticles = c.maxParticles;
    for (int frame = 0; frame < 4; ++frame) {
      m_system.Update(nullptr);
      EXPECT_EQ(Alive(), c.alive[frame]) << frame;
      if (c.maxParticles) {
        EXPECT_LT(m_system.GetAccumulator(), 1.0f) << frame;
      }
    }
  }
}

TEST_F(EditorParticleRulesTest, FrictionKeepsOrStopsTheVelocityAndGravityAddsEachStep) {
  const struct {
    float friction;
    float gravity;
    float after[2];  // the upward velocity after one and two steps
  } cases[] = {
      {1.0f, 0.0f, {2.0f, 2.0f}},
      {0.0f, 0.0f, {0.0f, 0.0f}},
      {0.0f, 0.25f, {0.25f, 0.25f}},
      {1.0f, 0.25f, {2.25f, 2.5f}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "friction " << c.friction << " gravity " << c.gravity);
    ParticleTemplateWords& w = m_system.Words();
    m_system.RequestRestart();
    m_system.Update(nullptr);
    for (int i = 0; i < 3; ++i) {
      w.friction[i] = c.friction;
      w.gravity[i] = 0.0f;
    }
    w.gravity[1] = c.gravity;
    // Pitch 0 sends it up the y axis at twice the speed word, per frame at 60 a second.
    w.velocity[1] = 60.0f;
    m_system.EmitParticle();
    const EditorParticle& p = m_system.GetPool()[0];
    ASSERT_GT(p.life, 0.0f);
    EXPECT_FLOAT_EQ(p.velocity[1], 2.0f);
    EXPECT_EQ(p.velocity[0], 0.0f);
    for (int step = 0; step < 2; ++step) {
      const float y = p.position[1], v = p.velocity[1];
      m_system.Update(nullptr);
      EXPECT_FLOAT_EQ(p.position[1], y + v) << step;
      EXPECT_FLOAT_EQ(p.velocity[1], c.after[step]) << step;
      EXPECT_EQ(p.life, 1000.0f - float(step + 1));
    }
    w.velocity[1] = 0.0f;
  }
}

// A step moves every axis and turns and grows every component by its step.
TEST_F(EditorParticleRulesTest, AStepMovesEveryAxisAndTurnsAndGrowsEveryComponent) {
  ParticleTemplateWords& w = m_system.Words();
  w.pitch = 1.5707964f;  // along x
  w.velocity[0] = 60.0f;
  w.velocity[1] = 60.0f;
  w.velocity[2] = 60.0f;
  const float angleStep[4] = {0.1f, 0.2f, 0.3f, 0.4f}, scaleStep[4] = {0.5f, 1.0f, 1.5f, 2.0f};
  for (int i = 0; i < 4; ++i) {
    w.angleStep[i] = angleStep[i];
    w.scaleStep[i] = scaleStep[i];
    w.scale[i] = 1.0f;
    w.angle[i] = 0.0f;
  }
  m_system.EmitParticle();
  const EditorParticle& p = m_system.GetPool()[0];
  float velocity[3], position[3], angle[4], scale[4];
  for (int i = 0; i < 3; ++i) velocity[i] = p.velocity[i], position[i] = p.position[i];
  for (int i = 0; i < 4; ++i) angle[i] = p.angle[i], scale[i] = p.scale[i];
  EXPECT_NEAR(velocity[0], 2.0f, 1e-5f);
  m_system.Update(nullptr);
  for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(p.position[i], position[i] + velocity[i]) << i;
  for (int i = 0; i < 4; ++i) {
    EXPECT_FLOAT_EQ(p.angle[i], angle[i] + angleStep[i]) << i;
    EXPECT_FLOAT_EQ(p.scale[i], scale[i] + scaleStep[i]) << i;
  }
}

// A new test system starts with no particle alive, whatever the pool held.
TEST_F(EditorParticleRulesTest, ANewTestSystemStartsEmpty) {
  m_system.Words().emitPerFrame = 4.0f;
  for (int i = 0; i < 3; ++i) m_system.Update(nullptr);
  ASSERT_GT(Alive(), 0u);
  ASSERT_TRUE(m_system.CreateTestSystem());
  EXPECT_EQ(Alive(), 0u);
}

TEST_F(EditorParticleRulesTest, AColourStepHoldsEachComponentTo0To255) {
  ParticleTemplateWords& w = m_system.Words();
  const float colour[4] = {250.0f, 5.0f, 100.0f, 255.0f};
  const float step[4] = {10.0f, -10.0f, 20.0f, 1.0f};
  const float after[4] = {255.0f, 0.0f, 120.0f, 255.0f};
  for (int i = 0; i < 4; ++i) {
    w.colour[i] = colour[i];
    w.colourStep[i] = step[i];
  }
  m_system.EmitParticle();
  m_system.Update(nullptr);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(m_system.GetPool()[0].colour[i], after[i]) << i;
}

TEST_F(EditorParticleRulesTest, AnEmissionDrawsOnlyForTheAnglesThatVary) {
  // Life, three positions, three speeds and three angles draw always; yaw and pitch only when
  // they vary.
  const struct {
    float yawVariation;
    float pitchVariation;
    int draws;
  } cases[] = {{0.0f, 0.0f, 10}, {0.5f, 0.0f, 11}, {0.0f, 0.5f, 11}, {0.5f, 0.5f, 12}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.yawVariation << " " << c.pitchVariation);
    m_system.Words().yawVariation = c.yawVariation;
    m_system.Words().pitchVariation = c.pitchVariation;
    GlobalRandom().Reset();
    for (int i = 0; i < c.draws; ++i) RandSigned();
    const float next = RandSigned();
    GlobalRandom().Reset();
    m_system.EmitParticle();
    EXPECT_EQ(RandSigned(), next);
  }
}

TEST_F(EditorParticleRulesTest, TheBoxGrowsByEightScalesOneSideAStep) {
  ParticleTemplateWords& w = m_system.Words();
  const float at[3] = {10.0f, 20.0f, 30.0f}, scale[3] = {1.0f, 2.0f, 3.0f};
  for (int i = 0; i < 3; ++i) {
    w.position[i] = at[i];
    w.scale[i] = scale[i];
  }
  m_system.ResetBox();
  m_system.EmitParticle();
  m_system.Update(nullptr);
  // The low side first: the high side waits for the next step.
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(w.boundsMin[i], at[i] - 8.0f * scale[i]) << i;
    EXPECT_LT(w.boundsMax[i], at[i]) << i;
  }
  m_system.Update(nullptr);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(w.boundsMin[i], at[i] - 8.0f * scale[i]) << i;
    EXPECT_EQ(w.boundsMax[i], at[i] + 8.0f * scale[i]) << i;
  }
  EXPECT_EQ(w.boundsMin[3], 1.0f);
  EXPECT_EQ(w.boundsMax[3], 1.0f);
  // Inside the box nothing moves it.
  m_system.Update(nullptr);
  EXPECT_EQ(w.boundsMax[0], at[0] + 8.0f * scale[0]);
}

// Each live particle is one quad strip round its position, half as wide as its scale each way,
// in its colour, and its blend picks the polygon's flags (subtractive over additive over alpha).
TEST_F(EditorParticleRulesTest, EachLiveParticleIsAQuadInItsColourAndBlend) {
  RenderWindow window;
  window.Init(Vector2(0.0f, 0.0f), Vector2(640.0f, 480.0f), Vector4(0, 0, 0, 0), 6, 0.0f);
  ParticleTemplateWords& w = m_system.Words();
  const float colour[4] = {200.0f, 100.0f, 50.0f, 128.0f};
  for (int i = 0; i < 4; ++i) w.colour[i] = colour[i];
  w.scale[0] = 3.0f;
  w.scale[1] = 4.0f;
  w.angle[0] = 0.3f;
  w.angle[1] = 0.5f;
  w.angle[2] = 0.7f;
  const struct {
    uint32_t templateFlags;
    uint32_t polygonFlags;
    PolygonPools::Queue queue;
  } cases[] = {
      {kTemplateLooped, 0x81, PolygonPools::kOpaque3D},
      {kTemplateLooped | kTemplateAlpha, 0x85, PolygonPools::kAlpha3D},
      {kTemplateLooped | kTemplateAlpha | kTemplateAdditive, 0xA1, PolygonPools::kAlpha3D},
      {kTemplateLooped | kTemplateAdditive | kTemplateSubtractive, 0xC1, PolygonPools::kAlpha3D},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "flags " << c.templateFlags);
    w.flags = c.templateFlags;
    m_system.RequestRestart();
    m_system.Update(nullptr);
    w.position[0] = 10.0f;
    m_system.EmitParticle();
    w.position[0] = -20.0f;
    m_system.EmitParticle();
    window.GetPolygonPools().DropAll();
    m_system.Render(&window);
    const PolygonPools& pools = window.GetPolygonPools();
    ASSERT_EQ(pools.GetPolygonCount(c.queue), 2);
    for (int n = 0; n < 2; ++n) {
      const PolygonData* quad = pools.Get3D(c.queue, n);
      ASSERT_EQ(quad->vertexCount, 4);
      EXPECT_EQ(quad->type, 5u) << "a strip";
      EXPECT_EQ(quad->flags, c.polygonFlags);
      EXPECT_EQ(quad->texture, m_system.GetTexture());
      const float x = n == 0 ? 10.0f : -20.0f;
      float centre[3] = {};
      for (int v = 0; v < 4; ++v) {
        const PolyVertex& p = quad->vertices[v];
        EXPECT_EQ(p.colour, 0x80C86432u) << v;
        centre[0] += 0.25f * p.x;
        centre[1] += 0.25f * p.y;
        centre[2] += 0.25f * p.z;
      }
      EXPECT_NEAR(centre[0], x, 1e-3f);
      EXPECT_NEAR(centre[1], 0.0f, 1e-3f);
      EXPECT_NEAR(centre[2], 0.0f, 1e-3f);
      for (int v = 0; v < 4; ++v) {
        const PolyVertex& p = quad->vertices[v];
        const float dx = p.x - centre[0], dy = p.y - centre[1], dz = p.z - centre[2];
        EXPECT_NEAR(std::sqrt(dx * dx + dy * dy + dz * dz), 5.0f, 1e-3f) << "corner " << v;
      }
      EXPECT_EQ(quad->vertices[0].u, 0.0f);
      EXPECT_EQ(quad->vertices[3].u, 1.0f);
      EXPECT_EQ(quad->vertices[3].v, 1.0f);
    }
  }
  // No slots: nothing drawn.
  w.maxParticles = 0;
  window.GetPolygonPools().DropAll();
  m_system.Render(&window);
  EXPECT_EQ(window.GetPolygonPools().GetPolygonCount(PolygonPools::kAlpha3D), 0);
  window.CleanUp();
}

}  // namespace
