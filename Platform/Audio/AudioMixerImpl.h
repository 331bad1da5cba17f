#pragma once
// The mixer's state, shared by the voice table (AudioMixer.cpp) and the SDL device
// (AudioDevice.cpp). Everything the audio thread reads is guarded by `lock`; the main thread
// takes it for each operation and the mixer for each chunk, so neither waits long.

#include <cstdint>
#include <mutex>

#include "Platform/Audio/Audio.h"

namespace plat {

struct MixVoice {
  bool inUse = false;
  bool isStream = false;
  bool playing = false;
  bool loop = false;
  PcmFormat format;
  uint32_t frameBytes = 0;
  // A buffer voice reads its owner's data; a stream reads its ring, which is ours and freed at
  // DestroyVoice.
  const uint8_t* data = nullptr;
  uint8_t* ring = nullptr;
  // Frames in the buffer, or the ring's capacity.
  uint32_t frames = 0;
  // The play position: a whole source frame (the buffer's index, or for a stream the ring's
  // oldest queued frame) and how far towards the next, in 1/kMixRate steps. Counting the
  // fraction in the mix rate's own units keeps every rate exact: no drift over a long loop.
  uint32_t frame = 0;
  uint32_t phase = 0;
  // Each output frame moves the position by rate / kMixRate source frames.
  uint32_t stepFrames = 0;
  uint32_t stepPhase = 0;
  float volume = 1.0f;
  float pan = 0.0f;
  // Streams only.
  uint32_t queued = 0;
  uint64_t played = 0;
  uint32_t underruns = 0;
};

// The mixer's helpers take this base of AudioMixer::Impl, which is private to the class.
struct MixerState {
  // A device callback asks for 1,024 frames; large requests are mixed a chunk at a time, each
  // under the lock once.
  static constexpr int32_t kChunkFrames = 512;

  mutable std::mutex lock;
  MixVoice voices[kMaxAudioVoices];
  float accumulator[kChunkFrames * kMixChannels] = {};

  // The SDL device (main thread only).
  uint32_t device = 0;
  // No SDL device: the caller of Mix is the output (see SetManualOutput).
  bool manualOutput = false;
  bool manualOpen = false;
  char error[256] = "";
};

struct AudioMixer::Impl : MixerState {};

}  // namespace plat
