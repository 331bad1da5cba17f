#include "Game/Sound/CSoundWrapper.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include <sys/stat.h>

#include "Engine/Assert.h"
#include "Engine/Camera.h"
#include "Engine/FileImage.h"
#include "Engine/LogFile.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCFileIO.h"
#include "Platform/Audio/Audio.h"
#include "Platform/System/HostPath.h"
#include "torvid/include/audio/tPlatform.h"
#include "torvid/include/audio/tWavReader.h"

namespace {

CSoundWrapper* s_wrapper = nullptr;

// The audio library's way to the host, through the engine's services.
void HookLog(const char* line) { DebugLog().Write("%s", line); }

// Only plain files: a folder opens under stdio, and a named pipe would block the game.
void* HookFileOpen(const char* path) {
  const std::string host = HostPath(path);
  struct stat info;
  if (stat(host.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
  return std::fopen(host.c_str(), "rb");
}
size_t HookFileRead(void* file, void* buffer, size_t bytes) {
  return std::fread(buffer, 1, bytes, static_cast<FILE*>(file));
}
int HookFileSeek(void* file, int64_t offset, int whence) {
  return fseeko(static_cast<FILE*>(file), static_cast<off_t>(offset), whence) == 0 ? 0 : -1;
}
int64_t HookFileTell(void* file) { return ftello(static_cast<FILE*>(file)); }
void HookFileClose(void* file) { std::fclose(static_cast<FILE*>(file)); }
void* HookAlloc(size_t bytes, const char* owner) { return TrackedAlloc<void>(owner, bytes); }
void HookRelease(void* block, const char* owner) { TrackedFree(owner, block); }

constexpr Torvid_lib::tPlatformHooks kEngineHooks = {
    &HookLog,  &HookFileOpen, &HookFileRead, &HookFileSeek, &HookFileTell,
    &HookFileClose, &HookAlloc, &HookRelease, &AssertReport,
};

float Clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

// Finds every sample of a bank image, or returns false with a log line naming what is wrong.
bool ReadBankTable(const FileImage& image, const SoundBankEntry* entries, SoundSample* samples,
                   uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    const SoundBankEntry entry = entries[i];
    if (!image.CheckRange(entry.offset, entry.size, "sample")) {
      Torvid_lib::tLog("SOUND", "%s: sample %u lies outside the bank", image.Name(), i);
      return false;
    }
    Torvid_lib::tWavInfo wav;
    // The reader has said why in its own line.
    if (!Torvid_lib::tReadWav(image.Bytes() + entry.offset, entry.size, image.Name(), &wav))
      return false;
    samples[i] = {entry.offset + wav.dataOffset, wav.dataBytes, wav.format.rate,
                  wav.format.channels, wav.format.bits};
  }
  return true;
}

}  // namespace

CSoundWrapper* GetSoundWrapper() { return s_wrapper; }

// ---- SoundHandle ----

SoundHandle SoundHandle::Make(int32_t channel, uint32_t serial) {
  return SoundHandle(static_cast<int32_t>(((serial & kSerialMask) << kChannelBits) |
                                          (static_cast<uint32_t>(channel) & kChannelMask)));
}

int32_t SoundHandle::IsPlaying() const { return s_wrapper ? s_wrapper->IsVoicePlaying(*this) : 0; }
void SoundHandle::SetVolume(float volume) const {
  if (s_wrapper) s_wrapper->SetVoiceGain(*this, volume);
}
void SoundHandle::SetPan(float pan) const {
  if (s_wrapper) s_wrapper->SetVoicePan(*this, pan);
}
void SoundHandle::Stop() const {
  if (s_wrapper) s_wrapper->StopVoice(*this);
}

// ---- CSoundWrapper ----

CSoundWrapper::CSoundWrapper() { s_wrapper = this; }

CSoundWrapper::~CSoundWrapper() {
  StopMusic();
  StopAll();
  for (int32_t i = 0; i < kNumBanks; ++i) FreeSampleBank(i);
  if (m_deviceOpened) plat::GetAudioMixer().CloseDevice();
  if (s_wrapper == this) s_wrapper = nullptr;
}

int32_t CSoundWrapper::Init(bool openDevice) {
  Torvid_lib::tSetPlatformHooks(&kEngineHooks);
  if (openDevice && !m_deviceOpened) {
    plat::AudioMixer& mixer = plat::GetAudioMixer();
    m_deviceOpened = mixer.OpenDevice();
    if (!m_deviceOpened)
      Torvid_lib::tLog("AUDIO", "no sound device (%s); the game goes on without sound",
                       mixer.LastError());
  }
  return 1;
}

// ---- Banks ----

int32_t CSoundWrapper::LoadSampleBank(const char* name) {
  int32_t slot = 0;
  while (slot < kNumBanks && m_banks[slot].image) ++slot;
  if (slot == kNumBanks) {
    Torvid_lib::tLog("SOUND", "no free bank slot for %s", name ? name : "(null)");
    return -1;
  }
  int32_t size = 0;
  void* image = name ? FileIO::LoadFile(name, &size) : nullptr;
  if (!image) {
    Torvid_lib::tLog("SOUND", "cannot load bank %s", name ? name : "(null)");
    return -1;
  }
  Bank& bank = m_banks[slot];
  bank.image = image;
  bank.size = size;
  bank.sampleCount = 0;
  std::snprintf(bank.name, sizeof(bank.name), "%s", name);
  return slot;
}

int32_t CSoundWrapper::FixupSampleBank(int32_t slot) {
  if (!ValidBank(slot) || !m_banks[slot].image) return 0;
  Bank& bank = m_banks[slot];
  if (bank.samples) return bank.sampleCount;
  const FileImage image(bank.image, static_cast<size_t>(bank.size), bank.name);
  const SoundBankHeader* header = image.Get<SoundBankHeader>(0, "bank header");
  if (!header || std::memcmp(header->magic, kSoundBankMagic, 4) != 0 ||
      header->version != kSoundBankVersion) {
    Torvid_lib::tLog("SOUND", "%s is not a sample bank; none of it plays", bank.name);
    return 0;
  }
  const uint32_t count = header->sampleCount;
  // The table must lie in the file before anything is made for it: a few bytes can claim
  // millions of samples.
  const SoundBankEntry* entries =
      image.GetArray<SoundBankEntry>(sizeof(SoundBankHeader), count, "sample table");
  if (!entries) {
    Torvid_lib::tLog("SOUND", "%s claims %u samples it does not hold; none of it plays", bank.name,
                     count);
    return 0;
  }
  SoundSample* samples = count ? TrackedNewArray<SoundSample>("CSoundWrapper::FixupSampleBank", count)
                               : nullptr;
  if (count && (!samples || !ReadBankTable(image, entries, samples, count))) {
    Torvid_lib::tLog("SOUND", "%s refused; none of it plays", bank.name);
    TrackedDeleteArray("CSoundWrapper::FixupSampleBank", samples);
    return 0;
  }
  bank.samples = samples;
  bank.sampleCount = static_cast<int32_t>(count);
  return bank.sampleCount;
}

void CSoundWrapper::FreeSampleBank(int32_t slot) {
  if (!ValidBank(slot)) return;
  Bank& bank = m_banks[slot];
  if (!bank.image) return;
  // Voices read their samples where they lie in the image, so none may outlive it.
  StopAll();
  TrackedDeleteArray("CSoundWrapper::FreeSampleBank", bank.samples);
  GlobalFileIO().FreeFileMemory(bank.image);
  bank = Bank();
}

int32_t CSoundWrapper::GetSampleCount(int32_t slot) const {
  return ValidBank(slot) ? m_banks[slot].sampleCount : 0;
}

// ---- Voices ----

SoundHandle CSoundWrapper::PlaySample(int32_t bank, int32_t sample, uint32_t flags, float volume,
                                      int32_t mode, const Vector4* position, int32_t category) {
  // The bank must exist on both ends of its range, not only be non-negative.
  if (!ValidBank(bank) || sample < 0 || sample >= GetSampleCount(bank)) return SoundHandle();
  if (mode == kSound3D && !position) return SoundHandle();
  SoundHandle handle = AllocVoice(kPlayPriority);
  SoundVoice* voice = Resolve(handle);
  if (!voice) return SoundHandle();
  voice->mode = mode;
  voice->flags = flags;
  voice->volume = volume;
  voice->category = (category >= 0 && category < kSoundCategoryCount) ? category : kSoundEffects;
  if (mode == kSound3D) voice->position = *position;
  handle = StartVoice(handle, bank, sample, flags);
  if (handle.IsNone()) return handle;
  ScaleVolume(handle, volume);
  if (mode == kSound3D)
    Calc3DVolumePan(handle);
  else
    SetVoicePan(handle, 0.0f);
  return handle;
}

SoundHandle CSoundWrapper::PlayEffect(int32_t bank, int32_t sample, uint32_t flags, float volume,
                                      int32_t mode, const Vector4* position) {
  if (bank < 0) return SoundHandle();
  return PlaySample(bank, sample, flags, volume, mode, position, kSoundEffects);
}

SoundHandle CSoundWrapper::PlaySpeech(int32_t bank, int32_t sample, uint32_t flags, float volume,
                                      int32_t mode, const Vector4* position) {
  return PlaySample(bank, sample, flags | kSoundSpeechFlag, volume, mode, position, kSoundSpeech);
}

SoundHandle CSoundWrapper::AllocVoice(int32_t priority) {
  int32_t chosen = -1;
  for (int32_t i = 0; i < kNumVoices && chosen < 0; ++i)
    if (!m_voices[i].active) chosen = i;
  for (int32_t i = 0; i < kNumVoices && chosen < 0; ++i)
    if (m_voices[i].priority < priority) chosen = i;
  if (chosen < 0) return SoundHandle();
  SoundVoice& voice = m_voices[chosen];
  Release(voice);
  const uint32_t serial = (voice.serial + 1) & SoundHandle::kSerialMask;
  voice = SoundVoice();
  voice.serial = serial;
  voice.active = 1;
  voice.priority = priority;
  voice.volume = 1.0f;
  voice.gain = 1.0f;
  return SoundHandle::Make(chosen, serial);
}

SoundHandle CSoundWrapper::StartVoice(SoundHandle handle, int32_t bank, int32_t sample,
                                      uint32_t flags) {
  SoundVoice* voice = Resolve(handle);
  if (!voice) return SoundHandle();
  if (!ValidBank(bank) || sample < 0 || sample >= GetSampleCount(bank)) {
    Release(*voice);
    return SoundHandle();
  }
  const Bank& b = m_banks[bank];
  const SoundSample& s = b.samples[sample];
  plat::AudioMixer& mixer = plat::GetAudioMixer();
  if (voice->mixerVoice >= 0) mixer.DestroyVoice(voice->mixerVoice);
  voice->mixerVoice = mixer.CreateVoice(static_cast<const unsigned char*>(b.image) + s.dataOffset,
                                        s.dataBytes, plat::PcmFormat{s.rate, s.channels, s.bits});
  if (voice->mixerVoice < 0) {
    Torvid_lib::tLog("SOUND", "no mixer voice for sample %d of %s", sample, b.name);
    Release(*voice);
    return SoundHandle();
  }
  voice->bank = bank;
  voice->sample = sample;
  // The flag word keeps what the voice was started with; 0x50 marks volume and pan control.
  voice->flags = flags | kSoundVolumeControl | kSoundPanControl;
  mixer.SetVolume(voice->mixerVoice, voice->gain);
  mixer.SetPan(voice->mixerVoice, voice->pan);
  mixer.Play(voice->mixerVoice, (flags & kSoundLoop) != 0);
  return handle;
}

void CSoundWrapper::ScaleVolume(SoundHandle handle, float volume) {
  SoundVoice* voice = Resolve(handle);
  if (!voice) return;
  voice->volume = volume;
  voice->gain = Clamp01(volume * m_categoryVolume[voice->category]);
  ApplyGainAndPan(*voice);
}

void CSoundWrapper::Calc3DVolumePan(SoundHandle handle) {
  SoundVoice* voice = Resolve(handle);
  if (!voice || voice->mode != kSound3D) return;
  Vector4 toSound;
  Subtract(voice->position, m_listenerPosition, toSound);
  toSound.w = 0.0f;
  const float distance = Length3(toSound);
  const float falloff = m_3DMaxDistance > 0.0f ? 1.0f - distance / m_3DMaxDistance : 0.0f;
  voice->gain = Clamp01(voice->volume * m_categoryVolume[voice->category]) * Clamp01(falloff);
  voice->pan = distance > 0.001f ? Dot3(toSound, m_listenerRight) / distance : 0.0f;
  if (!std::isfinite(voice->pan)) voice->pan = 0.0f;
  ApplyGainAndPan(*voice);
}

int32_t CSoundWrapper::IsSamplePlaying(int32_t bank, int32_t sample) const {
  for (const SoundVoice& voice : m_voices)
    if (voice.active && voice.bank == bank && voice.sample == sample &&
        plat::GetAudioMixer().IsPlaying(voice.mixerVoice))
      return 1;
  return 0;
}

int32_t CSoundWrapper::StopSample(int32_t bank, int32_t sample) {
  for (SoundVoice& voice : m_voices)
    if (voice.active && voice.bank == bank && voice.sample == sample) {
      Release(voice);
      return 1;
    }
  return 0;
}

void CSoundWrapper::StopAll() {
  for (SoundVoice& voice : m_voices) Release(voice);
}

// ---- Listener and per-frame work ----

void CSoundWrapper::SetListenerFromCamera(const Camera& camera) {
  // The right of the screen, as the camera's view places it: the horizontal perpendicular of
  // the view direction (z is up). Looking straight down keeps the last right vector.
  Vector4 forward;
  Subtract(camera.GetTarget(), camera.GetEye(), forward);
  Vector4 right(forward.y, -forward.x, 0.0f, 0.0f);
  const float length = Length3(right);
  if (length > 0.0001f)
    Scale(right, 1.0f / length);
  else
    right = m_listenerRight;
  SetListener(camera.GetEye(), right);
}

void CSoundWrapper::SetListener(const Vector4& position, const Vector4& right) {
  m_listenerPosition = position;
  m_listenerRight = right;
}

void CSoundWrapper::Update() {
  plat::AudioMixer& mixer = plat::GetAudioMixer();
  for (int32_t i = 0; i < kNumVoices; ++i) {
    SoundVoice& voice = m_voices[i];
    if (!voice.active) continue;
    if (!mixer.IsPlaying(voice.mixerVoice)) {
      Release(voice);
      continue;
    }
    if (voice.mode == kSound3D) Calc3DVolumePan(SoundHandle::Make(i, voice.serial));
  }
  m_music.Update();
}

// ---- Music ----

void CSoundWrapper::PlayMusic(const char* track) {
  StopMusic();
  if (!track) return;
  char path[260];
  std::snprintf(path, sizeof(path), "Data\\Music\\%s.ogg", track);
  if (!m_music.Open(path)) return;
  m_music.SetVolume(m_categoryVolume[kSoundMusic]);
  m_music.Play(true);
}

void CSoundWrapper::StopMusic() {
  m_music.Stop();
  m_music.Close();
}

int32_t CSoundWrapper::IsMusicPlaying() const { return m_music.IsPlaying() ? 1 : 0; }

void CSoundWrapper::SetCategoryVolume(int32_t category, float volume) {
  if (category < 0 || category >= kSoundCategoryCount) return;
  m_categoryVolume[category] = Clamp01(volume);
  if (category == kSoundMusic) m_music.SetVolume(m_categoryVolume[kSoundMusic]);
}

float CSoundWrapper::GetCategoryVolume(int32_t category) const {
  return (category >= 0 && category < kSoundCategoryCount) ? m_categoryVolume[category] : 0.0f;
}

// ---- Handles ----

SoundVoice* CSoundWrapper::Resolve(SoundHandle handle) {
  if (handle.IsNone()) return nullptr;
  const int32_t channel = handle.Channel();
  if (channel >= kNumVoices) return nullptr;
  SoundVoice& voice = m_voices[channel];
  return (voice.active && voice.serial == handle.Serial()) ? &voice : nullptr;
}

const SoundVoice* CSoundWrapper::GetVoice(SoundHandle handle) const {
  return const_cast<CSoundWrapper*>(this)->Resolve(handle);
}

int32_t CSoundWrapper::IsVoicePlaying(SoundHandle handle) const {
  const SoundVoice* voice = GetVoice(handle);
  return voice && plat::GetAudioMixer().IsPlaying(voice->mixerVoice) ? 1 : 0;
}

void CSoundWrapper::SetVoiceGain(SoundHandle handle, float gain) {
  SoundVoice* voice = Resolve(handle);
  if (!voice) return;
  voice->gain = Clamp01(gain);
  ApplyGainAndPan(*voice);
}

void CSoundWrapper::SetVoicePan(SoundHandle handle, float pan) {
  SoundVoice* voice = Resolve(handle);
  if (!voice) return;
  voice->pan = pan < -1.0f ? -1.0f : (pan > 1.0f ? 1.0f : pan);
  ApplyGainAndPan(*voice);
}

void CSoundWrapper::StopVoice(SoundHandle handle) {
  if (SoundVoice* voice = Resolve(handle)) Release(*voice);
}

void CSoundWrapper::ApplyGainAndPan(SoundVoice& voice) {
  if (voice.mixerVoice < 0) return;
  plat::GetAudioMixer().SetVolume(voice.mixerVoice, voice.gain);
  plat::GetAudioMixer().SetPan(voice.mixerVoice, voice.pan);
}

void CSoundWrapper::Release(SoundVoice& voice) {
  if (voice.mixerVoice >= 0) plat::GetAudioMixer().DestroyVoice(voice.mixerVoice);
  voice.mixerVoice = -1;
  voice.active = 0;
  voice.bank = -1;
  voice.sample = -1;
}
