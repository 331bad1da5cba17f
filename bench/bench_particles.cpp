// The cost of one update of 1,000 particles, in one system and spread over ten, and of one system
// with the largest pool there is. Each system is warmed up to its steady state first, where every
// update some particles die and as many are emitted, so the figures cover motion, fading, the
// view test and emission together.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "Engine/PC/PCApp.h"
#include "Engine/ParticleSystem.h"

namespace {

// A template block with its (empty) texture name behind it, as a loaded file holds it.
struct TemplateFile {
  ParticleTemplate block;
  char name[4];
};

TemplateFile Fountain(uint32_t particles, float perUpdate) {
  TemplateFile file;
  std::memset(&file, 0, sizeof(file));
  ParticleTemplate& t = file.block;
  t.maxParticles = particles;
  t.emitPerFrame = perUpdate + 1.0f;  // one fewer than owed comes out
  t.maxLife = static_cast<float>(particles) / perUpdate;
  t.lifeVariation = 0.0f;
  for (int i = 0; i < 3; ++i) {
    t.positionVariation[i] = 2.0f;
    t.friction[i] = 0.999f;
    t.velocity[i] = 5.0f;
    t.velocityVariation[i] = 2.0f;
    t.angleVariation[i] = 0.5f;
    t.boundsMin[i] = -50.0f;
    t.boundsMax[i] = 50.0f;
  }
  const float colour[4] = {255, 200, 120, 255}, step[4] = {-1, -1, -1, -2};
  std::memcpy(t.colour, colour, sizeof(colour));
  std::memcpy(t.colourStep, step, sizeof(step));
  t.gravity[1] = -0.01f;
  t.angleStep[2] = 0.05f;
  t.scale[0] = t.scale[1] = 1.0f;
  t.scaleStep[0] = t.scaleStep[1] = 0.01f;
  t.flags = kTemplateLooped;
  t.yawVariation = 3.1f;
  t.pitch = 0.3f;
  t.pitchVariation = 0.2f;
  return file;
}

// The systems are seen through identity matrices, so the view test passes and they loop on.
void SeeEverything() {
  Matrix identity;
  identity.Identity();
  GetApp().GetDisplay()->SetViewMatrix(&identity);
  GetApp().GetDisplay()->SetProjectionMatrix(&identity);
  GetApp().SetPause(0);
}

// `total` particles over `systems` systems, each particle living `life` updates.
void StepSystems(benchmark::State& state, int systems, uint32_t total, float life) {
  SeeEverything();
  const uint32_t each = total / static_cast<uint32_t>(systems);
  const TemplateFile file = Fountain(each, static_cast<float>(each) / life);
  Matrix emitter;
  emitter.Identity();
  std::vector<std::unique_ptr<ParticleSystem>> all;
  for (int i = 0; i < systems; ++i) {
    all.push_back(std::make_unique<ParticleSystem>());
    all.back()->Init(&file.block, emitter);
    all.back()->SetGroup(0);  // a fixed step of 1, whatever the frame timer says
  }
  for (int frame = 0; frame < 300; ++frame)
    for (auto& system : all) system->Update(0);

  uint32_t live = 0;
  for (auto _ : state) {
    live = 0;
    for (auto& system : all) {
      system->Update(0);
      live += system->GetLiveCount();
    }
    benchmark::DoNotOptimize(live);
  }
  state.counters["live"] = live;
  state.SetItemsProcessed(state.iterations() * total);
}

void BM_Step1000ParticlesOneSystem(benchmark::State& state) {
  StepSystems(state, 1, 1000, 100.0f);
}
BENCHMARK(BM_Step1000ParticlesOneSystem)->Repetitions(9)->ReportAggregatesOnly(true);

void BM_Step1000ParticlesTenSystems(benchmark::State& state) {
  StepSystems(state, 10, 1000, 100.0f);
}
BENCHMARK(BM_Step1000ParticlesTenSystems)->Repetitions(9)->ReportAggregatesOnly(true);

// The largest pool, every particle living one update: the whole pool dies and is emitted again
// every update, as a burst that keeps refilling it does.
void BM_Step7500ParticlesOneSystem(benchmark::State& state) { StepSystems(state, 1, 7500, 1.0f); }
BENCHMARK(BM_Step7500ParticlesOneSystem)->Repetitions(9)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
