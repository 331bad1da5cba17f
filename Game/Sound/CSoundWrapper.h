#pragma once
// The game's sound manager: 16 sample-bank slots, 24 voices in three volume categories, sounds
// positioned against a listener that follows the camera, and one streamed music track.
//
// Sounds are named by bank slot and sample number. A voice is handed out as a `SoundHandle`
// whose reuse serial is checked on every use, so a handle kept past its sound's end reads as
// finished and stopping it touches nothing, even when the voice already plays another sound.

#include <cstdint>

#include "Engine/FastMath.h"
#include "Game/Sound/SoundBank.h"
#include "torvid/include/audio/tAudioStream.h"

class Camera;

// Volume categories; each has its own volume 0..1.
enum SoundCategory : int32_t {
  kSoundEffects = 0,
  kSoundSpeech = 1,
  kSoundMusic = 2,
  kSoundCategoryCount = 3,
};

// Play flags. Bit 0 loops the voice; StartVoice adds the volume- and pan-control bits and
// PlaySpeech the speech bit, as the voices' own flag word records them.
enum SoundFlags : uint32_t {
  kSoundLoop = 0x01,
  kSoundVolumeControl = 0x10,
  kSoundPanControl = 0x40,
  kSoundSpeechFlag = 0x80,
};

// Voice modes: 0 plays as it is, 1 is positioned in the world (volume and pan from the listener).
enum SoundMode : int32_t {
  kSoundFlat = 0,
  kSound3D = 1,
};

// A 32-bit sound handle: the voice's channel in the low 12 bits and its reuse serial in the high
// 20, -1 for none. Every operation on a stale or empty handle does nothing.
class SoundHandle {
 public:
  static constexpr int32_t kNone = -1;
  static constexpr uint32_t kChannelBits = 12;
  static constexpr uint32_t kChannelMask = (1u << kChannelBits) - 1;
  static constexpr uint32_t kSerialMask = (1u << (32 - kChannelBits)) - 1;

  constexpr SoundHandle() = default;
  constexpr explicit SoundHandle(int32_t value) : m_value(value) {}
  static SoundHandle Make(int32_t channel, uint32_t serial);

  int32_t Value() const { return m_value; }
  bool IsNone() const { return m_value == kNone; }
  int32_t Channel() const { return static_cast<int32_t>(static_cast<uint32_t>(m_value) & kChannelMask); }
  uint32_t Serial() const { return static_cast<uint32_t>(m_value) >> kChannelBits; }

  // 1 while the voice it names still plays this sound; 0 once it has finished, was stopped or
  // was taken by another sound, and for none.
  int32_t IsPlaying() const;
  // The voice's gain, 0..1 (clamped), as the mixer applies it.
  void SetVolume(float volume) const;
  // -1 left .. 1 right.
  void SetPan(float pan) const;
  void Stop() const;

  bool operator==(const SoundHandle& other) const { return m_value == other.m_value; }

 private:
  int32_t m_value = kNone;
};

// One of the 24 voices.
struct SoundVoice {
  int32_t active = 0;  // 1 from the moment it is taken while it plays, 0 once it has finished
  int32_t mode = kSoundFlat;
  uint32_t flags = 0;
  int32_t priority = 0;
  float volume = 0.0f;  // as the caller gave it, before the category and the distance
  int32_t category = kSoundEffects;
  int32_t bank = -1;
  int32_t sample = -1;
  Vector4 position;      // mode 1: where the sound is, copied at play
  uint32_t serial = 0;   // 20 bits, raised each time the voice is taken
  float gain = 0.0f;     // what the mixer was last given
  float pan = 0.0f;
  int32_t mixerVoice = -1;
};

// Where one sample of a fixed-up bank lies inside the bank's image.
struct SoundSample {
  uint32_t dataOffset = 0;
  uint32_t dataBytes = 0;
  int32_t rate = 0;
  int32_t channels = 0;
  int32_t bits = 0;
};

class CSoundWrapper {
 public:
  static constexpr int32_t kNumVoices = 24;
  static constexpr int32_t kNumBanks = 16;
  static constexpr int32_t kPlayPriority = 100;
  static constexpr float kDefault3DMaxDistance = 2000.0f;

  CSoundWrapper();
  ~CSoundWrapper();
  CSoundWrapper(const CSoundWrapper&) = delete;
  CSoundWrapper& operator=(const CSoundWrapper&) = delete;

  // Routes the audio library's files, memory, log lines and assertions to the engine, and opens
  // the sound device unless told not to (tests mix into their own buffers). A device that will
  // not open is logged and the game goes on silent. Returns 1.
  int32_t Init(bool openDevice = true);

  // Banks. LoadSampleBank reads the file (data-folder relative) into the first free slot: the
  // slot, or -1 when none is free or the file cannot be read. FixupSampleBank checks every entry
  // and records the sample count; a bank that fails keeps a count of 0, so nothing of it plays.
  int32_t LoadSampleBank(const char* name);
  int32_t FixupSampleBank(int32_t bank);
  void FreeSampleBank(int32_t bank);
  // Samples a bank can play: 0 for an empty, unfixed or refused slot, and out of range.
  int32_t GetSampleCount(int32_t bank) const;

  // Playing. `position` is read only in mode 1, where a null one plays nothing.
  SoundHandle PlaySample(int32_t bank, int32_t sample, uint32_t flags, float volume, int32_t mode,
                         const Vector4* position, int32_t category);
  SoundHandle PlayEffect(int32_t bank, int32_t sample, uint32_t flags, float volume, int32_t mode,
                         const Vector4* position);
  SoundHandle PlaySpeech(int32_t bank, int32_t sample, uint32_t flags, float volume, int32_t mode,
                         const Vector4* position);

  // The first inactive voice, else the first of lower priority (stopped): taken for a new sound
  // with a fresh serial. None when every voice plays at this priority or higher.
  SoundHandle AllocVoice(int32_t priority);
  // Starts sample `sample` of `bank` on a taken voice with the voice's current volume and pan.
  // None (and the voice let go) when the handle is stale or the sample cannot be played.
  SoundHandle StartVoice(SoundHandle voice, int32_t bank, int32_t sample, uint32_t flags);
  // The voice's gain: `volume` times its category's volume, at most 1.
  void ScaleVolume(SoundHandle voice, float volume);
  // Gain and pan of a positioned voice from the listener: the volume falls linearly to 0 at the
  // 3D maximum distance; the pan is the sound's direction against the listener's right.
  void Calc3DVolumePan(SoundHandle voice);

  int32_t IsSamplePlaying(int32_t bank, int32_t sample) const;
  int32_t StopSample(int32_t bank, int32_t sample);
  void StopAll();

  // Per frame, after drawing: the listener follows the camera; Update lets go of finished
  // one-shot voices, moves positioned ones and refills the music stream.
  void SetListenerFromCamera(const Camera& camera);
  void SetListener(const Vector4& position, const Vector4& right);
  void Update();

  // Music: "Data\Music\" + name + ".ogg", looping at the music volume.
  void PlayMusic(const char* track);
  void StopMusic();
  int32_t IsMusicPlaying() const;

  void SetCategoryVolume(int32_t category, float volume);
  float GetCategoryVolume(int32_t category) const;
  void Set3DMaxDistance(float distance) { m_3DMaxDistance = distance; }
  float Get3DMaxDistance() const { return m_3DMaxDistance; }

  // The voice record a handle names, or null when the handle is stale or none.
  const SoundVoice* GetVoice(SoundHandle voice) const;

  // Operations of SoundHandle.
  int32_t IsVoicePlaying(SoundHandle voice) const;
  void SetVoiceGain(SoundHandle voice, float gain);
  void SetVoicePan(SoundHandle voice, float pan);
  void StopVoice(SoundHandle voice);

 private:
  struct Bank {
    void* image = nullptr;
    int32_t size = 0;
    int32_t sampleCount = 0;
    SoundSample* samples = nullptr;
    char name[64] = "";
  };

  SoundVoice* Resolve(SoundHandle voice);
  void Release(SoundVoice& voice);
  void ApplyGainAndPan(SoundVoice& voice);
  bool ValidBank(int32_t bank) const { return bank >= 0 && bank < kNumBanks; }

  Bank m_banks[kNumBanks];
  SoundVoice m_voices[kNumVoices];
  float m_categoryVolume[kSoundCategoryCount] = {1.0f, 1.0f, 1.0f};
  float m_3DMaxDistance = kDefault3DMaxDistance;
  Vector4 m_listenerPosition;
  Vector4 m_listenerRight{1.0f, 0.0f, 0.0f, 0.0f};
  Torvid_lib::tAudioStream m_music;
  bool m_deviceOpened = false;
};

// The game's one sound manager while it exists (null before KavelApp::Init and after CleanUp).
CSoundWrapper* GetSoundWrapper();
