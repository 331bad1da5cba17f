// Per-frame cost of a skinned character: sampling its walk into a pose, binding the pose and
// building the bone hierarchy and the skinning palette (30 bones), and two-bone skinning of
// 2,000 vertices on the processor. Run with --benchmark_repetitions for medians.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "Engine/FileImage.h"
#include "Engine/PC/PCAnimation.h"
#include "Engine/PC/PCSkeleton.h"
#include "Engine/PC/PCVertexSkinning.h"
#include "tests/support/AnmWriter.h"
#include "tests/support/SkeletonWriter.h"

namespace {

// The biped with three more bones on each hand: 30 bones.
skelwriter::SkeletonDesc ThirtyBones() {
  skelwriter::SkeletonDesc desc = skelwriter::MakeBiped();
  const int32_t hands[2] = {9, 13};
  for (int32_t hand : hands)
    for (int f = 1; f <= 3; ++f) desc.Add(desc.bones[hand].name + " Finger" + std::to_string(f),
                                          hand, 0.02f * float(f - 2), 0.0f, -0.08f);
  return desc;
}

struct Character {
  skelwriter::SkeletonDesc desc = ThirtyBones();
  std::vector<uint8_t> block = skelwriter::WriteBlock(desc);
  std::vector<uint8_t> anm = anmwriter::Write(anmwriter::MakeWalk(desc));
  Skeleton skeleton{FileImage(block.data(), block.size(), "bench.geo")};
  Animation walk{anm.data(), anm.size(), "bench.anm"};
  AnimationPose pose{walk.GetNumTracks()};
  float time = 0.0f;

  // One frame's step of the clock, looping over the walk.
  float Next() {
    time += 1.0f / 60.0f;
    if (time > walk.GetEndTime()) time -= walk.GetLength();
    return time;
  }
};

void BM_SampleWalk(benchmark::State& state) {
  Character c;
  for (auto _ : state) {
    c.walk.Sample(c.Next(), &c.pose);
    benchmark::DoNotOptimize(c.pose.GetRotations());
  }
}
BENCHMARK(BM_SampleWalk);

void BM_HierarchyAndPalette(benchmark::State& state) {
  Character c;
  c.walk.Sample(0.3f, &c.pose);
  c.skeleton.ApplyPose(&c.pose);
  for (auto _ : state) {
    c.skeleton.UpdateHierarchy();
    c.skeleton.BuildSkinMatrices();
    benchmark::DoNotOptimize(c.skeleton.GetSkinMatrices());
  }
}
BENCHMARK(BM_HierarchyAndPalette);

// What a character costs per frame before its meshes are drawn.
void BM_CharacterFrame(benchmark::State& state) {
  Character c;
  for (auto _ : state) {
    c.walk.Sample(c.Next(), &c.pose);
    c.skeleton.ApplyPose(&c.pose);
    c.skeleton.UpdateHierarchy();
    c.skeleton.BuildSkinMatrices();
    benchmark::DoNotOptimize(c.skeleton.GetSkinMatrices());
  }
  state.counters["bones"] = double(c.skeleton.GetBoneCount());
}
BENCHMARK(BM_CharacterFrame);

void BM_Skin2000Vertices(benchmark::State& state) {
  Character c;
  const uint32_t count = 2000;
  const uint32_t bones = c.skeleton.GetBoneCount();
  std::vector<SkinBinding> bindings(count);
  std::vector<float> positions(4 * count);
  uint32_t seed = 12345;
  auto next = [&seed]() {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  for (uint32_t i = 0; i < count; ++i) {
    const float w = float(next() % 1000) / 1000.0f;
    bindings[i] = SkinBinding{next() % bones, next() % bones, w, 1.0f - w};
    for (int k = 0; k < 3; ++k) positions[4 * i + k] = float(next() % 2000) / 1000.0f - 1.0f;
  }
  VertexSkinning2Bone skinner(count, &c.skeleton, bindings.data(), positions.data());
  std::vector<Vector4> out(count);
  for (auto _ : state) {
    // A new pose each frame, so the palette is rebuilt as in a game.
    c.walk.Sample(c.Next(), &c.pose);
    c.skeleton.ApplyPose(&c.pose);
    skinner.Skin(out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * count);
}
BENCHMARK(BM_Skin2000Vertices);

}  // namespace

BENCHMARK_MAIN();
