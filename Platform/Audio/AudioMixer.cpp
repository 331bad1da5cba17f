#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>

#include "Platform/Audio/Audio.h"
#include "Platform/Audio/AudioMixerImpl.h"

namespace plat {
namespace {

// ---- The audio thread's side: one chunk of every playing voice into the accumulator. ----

struct Frame {
  float left = 0.0f;
  float right = 0.0f;
};

struct Gains {
  float left;
  float right;
};

// A sample on the 16-bit scale: 8-bit data is unsigned around 128, 16-bit little-endian and
// possibly unaligned (sample data lies inside loaded banks).
template <int Bits>
float SampleAt(const uint8_t* p) {
  if constexpr (Bits == 8)
    return static_cast<float>((int32_t(p[0]) - 128) * 256);
  else
    return static_cast<float>(static_cast<int16_t>(uint16_t(p[0] | p[1] << 8)));
}

template <int Bits, int Channels>
Frame FrameAt(const uint8_t* data, uint32_t index) {
  const uint8_t* p = data + size_t(index) * (Bits / 8 * Channels);
  const float left = SampleAt<Bits>(p);
  if constexpr (Channels == 1)
    return {left, left};
  else
    return {left, SampleAt<Bits>(p + Bits / 8)};
}

// At a phase of 0 this is exactly `a`, so a voice at the mix rate plays its samples unchanged.
Frame Lerp(Frame a, Frame b, uint32_t phase) {
  const float t = static_cast<float>(phase) * (1.0f / static_cast<float>(kMixRate));
  return {a.left + (b.left - a.left) * t, a.right + (b.right - a.right) * t};
}

void Accumulate(float* out, Frame frame, Gains gains) {
  out[0] += frame.left * gains.left;
  out[1] += frame.right * gains.right;
}

// Source frames the position moves on by for one output frame.
uint32_t Advance(MixVoice& v) {
  uint32_t frames = v.stepFrames;
  v.phase += v.stepPhase;
  if (v.phase >= uint32_t(kMixRate)) {
    v.phase -= uint32_t(kMixRate);
    ++frames;
  }
  return frames;
}

// After a one-shot's last frame comes silence, so its last step fades out instead of stopping
// on a held sample; a loop's last frame leads into its first.
template <int Bits, int Channels>
void MixBuffer(MixVoice& v, Gains gains, float* out, int32_t frames) {
  for (int32_t i = 0; i < frames; ++i) {
    const Frame a = FrameAt<Bits, Channels>(v.data, v.frame);
    Frame b;
    if (v.frame + 1 < v.frames)
      b = FrameAt<Bits, Channels>(v.data, v.frame + 1);
    else if (v.loop)
      b = FrameAt<Bits, Channels>(v.data, 0);
    Accumulate(out + i * kMixChannels, Lerp(a, b, v.phase), gains);
    const uint64_t next = uint64_t(v.frame) + Advance(v);
    if (next < v.frames) {
      v.frame = uint32_t(next);
    } else if (v.loop) {
      v.frame = uint32_t(next % v.frames);
    } else {
      v.playing = false;
      return;
    }
  }
}

void CountUnderruns(MixVoice& v, int32_t frames) {
  const uint32_t room = UINT32_MAX - v.underruns;
  v.underruns += std::min(room, uint32_t(frames));
}

// The ring is read exactly as a buffer would be, wrapping from its last slot to its first, so a
// stream written in pieces sounds as the same data in one piece. A frame is consumed once the
// position has passed it; with only one frame queued its partner is silence, as after a
// one-shot's end (the writer has fallen behind, or the stream has ended).
template <int Bits, int Channels>
void MixStream(MixVoice& v, Gains gains, float* out, int32_t frames) {
  for (int32_t i = 0; i < frames; ++i) {
    if (v.queued == 0) {
      CountUnderruns(v, frames - i);
      return;
    }
    const Frame a = FrameAt<Bits, Channels>(v.ring, v.frame);
    Frame b;
    if (v.queued > 1) b = FrameAt<Bits, Channels>(v.ring, v.frame + 1 < v.frames ? v.frame + 1 : 0);
    Accumulate(out + i * kMixChannels, Lerp(a, b, v.phase), gains);
    const uint32_t used = std::min(Advance(v), v.queued);
    v.frame = uint32_t((uint64_t(v.frame) + used) % v.frames);
    v.queued -= used;
    v.played += used;
  }
}

template <int Bits, int Channels>
void MixAny(MixVoice& v, Gains gains, float* out, int32_t frames) {
  if (v.isStream)
    MixStream<Bits, Channels>(v, gains, out, frames);
  else
    MixBuffer<Bits, Channels>(v, gains, out, frames);
}

void MixOne(MixVoice& v, float* out, int32_t frames) {
  const Gains gains = {v.volume * std::min(1.0f, 1.0f - v.pan),
                       v.volume * std::min(1.0f, 1.0f + v.pan)};
  const bool stereo = v.format.channels == 2;
  if (v.format.bits == 8)
    (stereo ? MixAny<8, 2> : MixAny<8, 1>)(v, gains, out, frames);
  else
    (stereo ? MixAny<16, 2> : MixAny<16, 1>)(v, gains, out, frames);
}

void Saturate(const float* mixed, int16_t* out, int32_t samples) {
  for (int32_t i = 0; i < samples; ++i)
    out[i] = static_cast<int16_t>(std::lrint(std::clamp(mixed[i], -32768.0f, 32767.0f)));
}

void MixChunk(MixerState& s, int16_t* out, int32_t frames) {
  std::lock_guard guard(s.lock);
  std::fill_n(s.accumulator, frames * kMixChannels, 0.0f);
  for (MixVoice& v : s.voices)
    if (v.inUse && v.playing) MixOne(v, s.accumulator, frames);
  Saturate(s.accumulator, out, frames * kMixChannels);
}

// ---- The main thread's side: the voice table, each operation under the lock. ----

// The voice an id names, or null: out of range, or not in use. Call with the lock held.
MixVoice* Find(MixerState& s, AudioVoice voice) {
  if (voice < 0 || voice >= kMaxAudioVoices || !s.voices[voice].inUse) return nullptr;
  return &s.voices[voice];
}

MixVoice* FindStream(MixerState& s, AudioVoice voice) {
  MixVoice* v = Find(s, voice);
  return v && v->isStream ? v : nullptr;
}

uint32_t FrameBytes(const PcmFormat& format) { return uint32_t(format.channels * format.bits / 8); }

// Takes a free slot for a voice of `format` over `data` (not owned) or `ring` (owned). Call with
// the lock held; -1 when the table is full.
AudioVoice Claim(MixerState& s, const PcmFormat& format, const uint8_t* data, uint8_t* ring,
                 uint32_t frames) {
  for (AudioVoice id = 0; id < kMaxAudioVoices; ++id) {
    MixVoice& v = s.voices[id];
    if (v.inUse) continue;
    v = MixVoice{};
    v.inUse = true;
    v.isStream = ring != nullptr;
    v.format = format;
    v.frameBytes = FrameBytes(format);
    v.data = data;
    v.ring = ring;
    v.frames = frames;
    v.stepFrames = uint32_t(format.rate / kMixRate);
    v.stepPhase = uint32_t(format.rate % kMixRate);
    return id;
  }
  return kNoVoice;
}

// NaN counts as the quiet or centred value: it must never reach the accumulator.
float Clamped(float value, float low, float high, float fallback) {
  return std::isnan(value) ? fallback : std::clamp(value, low, high);
}

}  // namespace

bool IsSupportedFormat(const PcmFormat& format) {
  return format.rate >= 1000 && format.rate <= 192000 &&
         (format.channels == 1 || format.channels == 2) && (format.bits == 8 || format.bits == 16);
}

AudioMixer::AudioMixer() : m_impl(new Impl) {}

AudioMixer::~AudioMixer() {
  CloseDevice();
  for (MixVoice& v : m_impl->voices) delete[] v.ring;
  delete m_impl;
}

AudioVoice AudioMixer::CreateVoice(const void* data, uint32_t bytes, const PcmFormat& format) {
  if (!data || !IsSupportedFormat(format)) return kNoVoice;
  const uint32_t frames = bytes / FrameBytes(format);
  if (frames == 0) return kNoVoice;
  std::lock_guard guard(m_impl->lock);
  return Claim(*m_impl, format, static_cast<const uint8_t*>(data), nullptr, frames);
}

AudioVoice AudioMixer::CreateStream(const PcmFormat& format, uint32_t frames) {
  if (!IsSupportedFormat(format) || frames == 0) return kNoVoice;
  // Allocated before taking the lock, so the audio thread never waits on the allocator.
  uint8_t* ring = new (std::nothrow) uint8_t[size_t(frames) * FrameBytes(format)];
  if (!ring) return kNoVoice;
  AudioVoice voice;
  {
    std::lock_guard guard(m_impl->lock);
    voice = Claim(*m_impl, format, nullptr, ring, frames);
  }
  if (voice == kNoVoice) delete[] ring;
  return voice;
}

void AudioMixer::DestroyVoice(AudioVoice voice) {
  uint8_t* ring = nullptr;
  {
    std::lock_guard guard(m_impl->lock);
    MixVoice* v = Find(*m_impl, voice);
    if (!v) return;
    ring = v->ring;
    *v = MixVoice{};
  }
  delete[] ring;
}

void AudioMixer::Play(AudioVoice voice, bool loop) {
  std::lock_guard guard(m_impl->lock);
  MixVoice* v = Find(*m_impl, voice);
  if (!v) return;
  if (!v->isStream) v->frame = v->phase = 0;
  v->loop = loop;
  v->playing = true;
}

void AudioMixer::Stop(AudioVoice voice) {
  std::lock_guard guard(m_impl->lock);
  if (MixVoice* v = Find(*m_impl, voice)) v->playing = false;
}

bool AudioMixer::IsPlaying(AudioVoice voice) const {
  std::lock_guard guard(m_impl->lock);
  const MixVoice* v = Find(*m_impl, voice);
  return v && v->playing;
}

void AudioMixer::SetVolume(AudioVoice voice, float volume) {
  std::lock_guard guard(m_impl->lock);
  if (MixVoice* v = Find(*m_impl, voice)) v->volume = Clamped(volume, 0.0f, 1.0f, 0.0f);
}

void AudioMixer::SetPan(AudioVoice voice, float pan) {
  std::lock_guard guard(m_impl->lock);
  if (MixVoice* v = Find(*m_impl, voice)) v->pan = Clamped(pan, -1.0f, 1.0f, 0.0f);
}

float AudioMixer::GetVolume(AudioVoice voice) const {
  std::lock_guard guard(m_impl->lock);
  const MixVoice* v = Find(*m_impl, voice);
  return v ? v->volume : 0.0f;
}

float AudioMixer::GetPan(AudioVoice voice) const {
  std::lock_guard guard(m_impl->lock);
  const MixVoice* v = Find(*m_impl, voice);
  return v ? v->pan : 0.0f;
}

uint32_t AudioMixer::StreamFree(AudioVoice voice) const {
  std::lock_guard guard(m_impl->lock);
  const MixVoice* v = FindStream(*m_impl, voice);
  return v ? v->frames - v->queued : 0;
}

uint32_t AudioMixer::StreamQueued(AudioVoice voice) const {
  std::lock_guard guard(m_impl->lock);
  const MixVoice* v = FindStream(*m_impl, voice);
  return v ? v->queued : 0;
}

// Copies under the lock: a frame's worth of music is a few kilobytes, far less than a chunk's mix.
uint32_t AudioMixer::StreamWrite(AudioVoice voice, const void* data, uint32_t frames) {
  if (!data) return 0;
  std::lock_guard guard(m_impl->lock);
  MixVoice* v = FindStream(*m_impl, voice);
  if (!v) return 0;
  const uint32_t taken = std::min(frames, v->frames - v->queued);
  const uint32_t start = uint32_t((uint64_t(v->frame) + v->queued) % v->frames);
  const uint32_t first = std::min(taken, v->frames - start);
  const size_t frameBytes = v->frameBytes;
  const uint8_t* from = static_cast<const uint8_t*>(data);
  std::memcpy(v->ring + start * frameBytes, from, first * frameBytes);
  std::memcpy(v->ring, from + first * frameBytes, (taken - first) * frameBytes);
  v->queued += taken;
  return taken;
}

void AudioMixer::StreamClear(AudioVoice voice) {
  std::lock_guard guard(m_impl->lock);
  MixVoice* v = FindStream(*m_impl, voice);
  if (!v) return;
  // What is written next starts on its own first frame, not part-way towards its second.
  v->queued = 0;
  v->phase = 0;
}

uint64_t AudioMixer::StreamPlayed(AudioVoice voice) const {
  std::lock_guard guard(m_impl->lock);
  const MixVoice* v = FindStream(*m_impl, voice);
  return v ? v->played : 0;
}

uint32_t AudioMixer::StreamUnderruns(AudioVoice voice) const {
  std::lock_guard guard(m_impl->lock);
  const MixVoice* v = FindStream(*m_impl, voice);
  return v ? v->underruns : 0;
}

int32_t AudioMixer::VoicesInUse() const {
  std::lock_guard guard(m_impl->lock);
  return int32_t(std::count_if(std::begin(m_impl->voices), std::end(m_impl->voices),
                               [](const MixVoice& v) { return v.inUse; }));
}

void AudioMixer::Mix(int16_t* out, int32_t frames) {
  if (!out) return;
  while (frames > 0) {
    const int32_t chunk = std::min(frames, MixerState::kChunkFrames);
    MixChunk(*m_impl, out, chunk);
    out += chunk * kMixChannels;
    frames -= chunk;
  }
}

AudioMixer& GetAudioMixer() {
  static AudioMixer mixer;
  return mixer;
}

}  // namespace plat
