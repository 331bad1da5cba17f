// The mixer's SDL device. SDL's audio thread calls Mix for every buffer it wants; the mixer's
// own lock keeps it off the voices while the main thread changes them.
#include <SDL.h>

#include <cstdio>

#include "Platform/Audio/Audio.h"
#include "Platform/Audio/AudioMixerImpl.h"

namespace plat {
namespace {

// A buffer of 1,024 frames is 23 ms at the mix rate: short enough for a sound to start on the
// frame it is played, long enough that the dummy and real drivers keep up.
constexpr Uint16 kDeviceFrames = 1024;

void SDLCALL MixCallback(void* mixer, Uint8* stream, int bytes) {
  constexpr int kFrameBytes = kMixChannels * int(sizeof(int16_t));
  static_cast<AudioMixer*>(mixer)->Mix(reinterpret_cast<int16_t*>(stream), bytes / kFrameBytes);
}

// SDL's text is taken before anything else can replace it.
bool Fail(MixerState& s, const char* what) {
  std::snprintf(s.error, sizeof(s.error), "%s: %s", what, SDL_GetError());
  return false;
}

}  // namespace

bool AudioMixer::OpenDevice() {
  MixerState& s = *m_impl;
  if (s.device != 0 || s.manualOpen) return true;
  if (s.manualOutput) {
    s.manualOpen = true;
    s.error[0] = '\0';
    return true;
  }
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return Fail(s, "SDL audio cannot start");
  SDL_AudioSpec wanted{};
  wanted.freq = kMixRate;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = kMixChannels;
  wanted.samples = kDeviceFrames;
  wanted.callback = MixCallback;
  wanted.userdata = this;
  // No changes allowed: SDL converts to whatever the hardware takes, and Mix always renders the
  // one layout.
  const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
  if (device == 0) {
    Fail(s, "No sound device opens");
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  s.device = device;
  s.error[0] = '\0';
  SDL_PauseAudioDevice(device, 0);
  return true;
}

// SDL_CloseAudioDevice waits for a callback under way, so nothing mixes for this mixer after it.
void AudioMixer::CloseDevice() {
  MixerState& s = *m_impl;
  s.manualOpen = false;
  if (s.device == 0) return;
  SDL_CloseAudioDevice(s.device);
  s.device = 0;
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool AudioMixer::IsDeviceOpen() const { return m_impl->device != 0 || m_impl->manualOpen; }

void AudioMixer::SetManualOutput(bool manual) { m_impl->manualOutput = manual; }

const char* AudioMixer::LastError() const { return m_impl->error; }

}  // namespace plat
