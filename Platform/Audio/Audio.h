#pragma once
// Sound output: voices mixed into one 44100 Hz, 16-bit stereo stream, played through SDL2.
//
// A voice is shaped like a DirectSound secondary buffer: either a one-shot or looping buffer over
// sample data its owner keeps alive, or a streamed buffer (a ring the owner refills from the
// game's per-frame update). Each voice converts its own rate, and has a volume, a pan, a loop
// flag and a play state. The game runs on one thread; SDL's audio thread only mixes what is
// queued, under a short lock, and never allocates.
//
// Without an open device, voices still exist and Mix() renders them into a caller's buffer; the
// tests and the benchmark use that directly.

#include <cstdint>

namespace plat {

constexpr int32_t kMixRate = 44100;
constexpr int32_t kMixChannels = 2;
// The sound wrapper's 24 voices, the music stream, the movie's sound and spares.
constexpr int32_t kMaxAudioVoices = 32;

// The layout of a voice's sample data: interleaved frames of `channels` samples, 8-bit unsigned
// or 16-bit signed little-endian, at `rate` frames a second.
struct PcmFormat {
  int32_t rate = 0;
  int32_t channels = 0;
  int32_t bits = 0;
};

// Whether the mixer can play data of this layout (rate 1000..192000, 1 or 2 channels, 8 or 16
// bits).
bool IsSupportedFormat(const PcmFormat& format);

// A voice of the mixer: an index into its table, -1 for none.
using AudioVoice = int32_t;
constexpr AudioVoice kNoVoice = -1;

class AudioMixer {
 public:
  AudioMixer();
  ~AudioMixer();
  AudioMixer(const AudioMixer&) = delete;
  AudioMixer& operator=(const AudioMixer&) = delete;

  // Opens the sound device through SDL (whichever driver SDL picks; tests pick "dummy") and
  // starts mixing into it. False on failure, with the reason in LastError(); the game then goes
  // on without sound. Opening an open device does nothing and succeeds.
  bool OpenDevice();
  void CloseDevice();
  bool IsDeviceOpen() const;
  const char* LastError() const;
  // While set, OpenDevice opens no SDL device: the device counts as open and plays only what the
  // caller mixes with Mix. Tests use it to play sound by the game's scripted clock rather than
  // the wall clock, so that how long a sound lasts in frames does not depend on the machine.
  void SetManualOutput(bool manual);

  // A voice over `bytes` of sample data that the caller keeps alive until DestroyVoice. -1 when
  // the layout is not supported, the data holds no whole frame, or no voice is free.
  AudioVoice CreateVoice(const void* data, uint32_t bytes, const PcmFormat& format);
  // A streamed voice with a ring of `frames` frames, refilled with StreamWrite. -1 when the
  // layout is not supported, `frames` is 0, or no voice is free.
  AudioVoice CreateStream(const PcmFormat& format, uint32_t frames);
  // Stops and frees a voice; once it returns the mixer reads nothing of the voice's data. A voice
  // that does not exist is ignored.
  void DestroyVoice(AudioVoice voice);

  // Starts a buffer voice from its first frame (a stream goes on with what is queued). A one-shot
  // voice stops by itself after its last frame; a looping one wraps to its first frame without a
  // gap.
  void Play(AudioVoice voice, bool loop);
  void Stop(AudioVoice voice);
  // True from Play until Stop, or until a one-shot voice has played its last frame.
  bool IsPlaying(AudioVoice voice) const;
  // Volume 0..1 (clamped) as a linear gain; pan -1 (left only) .. 0 (both at full) .. 1 (right
  // only), clamped: the far side falls linearly while the near side stays at the volume.
  void SetVolume(AudioVoice voice, float volume);
  void SetPan(AudioVoice voice, float pan);
  float GetVolume(AudioVoice voice) const;
  float GetPan(AudioVoice voice) const;

  // Streams. Frames are in the stream's own layout.
  uint32_t StreamFree(AudioVoice voice) const;
  uint32_t StreamQueued(AudioVoice voice) const;
  // Copies up to `frames` frames into the ring; returns how many it took.
  uint32_t StreamWrite(AudioVoice voice, const void* data, uint32_t frames);
  // Drops what is queued (the played count stays).
  void StreamClear(AudioVoice voice);
  // Source frames the mixer has consumed from this stream since it was created.
  uint64_t StreamPlayed(AudioVoice voice) const;
  // Times the mixer wanted a frame of this playing stream and found the ring empty.
  uint32_t StreamUnderruns(AudioVoice voice) const;

  // Voices in use (created and not destroyed).
  int32_t VoicesInUse() const;

  // Mixes `frames` stereo frames of every playing voice into `out` (interleaved left, right),
  // replacing what it held. The device's callback runs this; it never allocates.
  void Mix(int16_t* out, int32_t frames);

 private:
  struct Impl;
  Impl* m_impl;
};

// The program's one mixer.
AudioMixer& GetAudioMixer();

}  // namespace plat
