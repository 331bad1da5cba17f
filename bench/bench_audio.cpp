// The mixer's cost for one second of sound with 24 voices playing, as the sound wrapper's full
// set would: 22050 Hz 8-bit mono, 44100 Hz 16-bit stereo and 11025 Hz 16-bit mono samples, a
// third of them looping, each with its own volume and pan. The second is mixed in the device's
// own request size (1,024 frames), as SDL's audio thread would ask for it, without a device.
//
// Counters: realtime_ratio, the CPU time of mixing the second divided by the second itself (what
// share of one core the mixer takes); allocations, the tracked allocations made inside Mix over
// all iterations, which must be 0 (the audio thread never allocates).
#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>
#include <vector>

#include "Engine/MemoryTracker.h"
#include "Platform/Audio/Audio.h"
#include "bench/support/BenchSupport.h"

namespace {

constexpr int kVoices = 24;
constexpr int32_t kDeviceFrames = 1024;

double ThreadCpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// A second and a half of a tone, so that one-shots play through the whole measured second.
std::vector<uint8_t> Tone(const plat::PcmFormat& f, double hz) {
  std::vector<uint8_t> pcm;
  const int32_t frames = f.rate * 3 / 2;
  for (int32_t i = 0; i < frames; ++i) {
    const double s = 9000.0 * std::sin(2.0 * 3.14159265358979 * hz * i / f.rate);
    for (int32_t c = 0; c < f.channels; ++c) {
      const int32_t v = int32_t(std::lround(c ? -s : s));
      if (f.bits == 8) pcm.push_back(uint8_t((v >> 8) + 128));
      if (f.bits == 16) pcm.insert(pcm.end(), {uint8_t(v), uint8_t(v >> 8)});
    }
  }
  return pcm;
}

void BM_Mix24VoicesForOneSecond(benchmark::State& state) {
  const plat::PcmFormat formats[] = {{22050, 1, 8}, {44100, 2, 16}, {11025, 1, 16}};
  std::vector<std::vector<uint8_t>> data;
  for (int i = 0; i < kVoices; ++i) data.push_back(Tone(formats[i % 3], 220.0 + 37.0 * i));
  plat::AudioMixer mixer;
  plat::AudioVoice voices[kVoices];
  for (int i = 0; i < kVoices; ++i) {
    voices[i] = mixer.CreateVoice(data[i].data(), uint32_t(data[i].size()), formats[i % 3]);
    mixer.SetVolume(voices[i], 0.2f + 0.03f * float(i));
    mixer.SetPan(voices[i], -1.0f + 2.0f * float(i) / (kVoices - 1));
  }
  std::vector<int16_t> out(size_t(kDeviceFrames) * plat::kMixChannels);
  double cpuSeconds = 0;
  uint32_t allocations = 0;
  for (auto _ : state) {
    for (int i = 0; i < kVoices; ++i) mixer.Play(voices[i], i % 3 == 0);
    const uint32_t allocationsBefore = AllocationsSoFar();
    const double cpuBefore = ThreadCpuSeconds();
    for (int32_t done = 0; done < plat::kMixRate; done += kDeviceFrames) {
      mixer.Mix(out.data(), std::min(kDeviceFrames, plat::kMixRate - done));
      benchmark::DoNotOptimize(out.data());
    }
    cpuSeconds += ThreadCpuSeconds() - cpuBefore;
    allocations += AllocationsSoFar() - allocationsBefore;
  }
  // One iteration is one second of sound.
  state.counters["realtime_ratio"] =
      benchmark::Counter(cpuSeconds, benchmark::Counter::kAvgIterations);
  state.counters["allocations"] = double(allocations);
  for (int i = 0; i < kVoices; ++i) mixer.DestroyVoice(voices[i]);
}
BENCHMARK(BM_Mix24VoicesForOneSecond)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
