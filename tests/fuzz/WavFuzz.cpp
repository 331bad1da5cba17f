// ".wav" samples: read by the audio library's WAV reader, and what it accepts played a little on
// the mixer, as the sound wrapper would.

#include <cstring>
#include <memory>

#include "Platform/Audio/Audio.h"
#include "tests/fuzz/FuzzTarget.h"
#include "tests/support/WavWriter.h"
#include "torvid/include/audio/tPlatform.h"
#include "torvid/include/audio/tWavReader.h"

std::vector<FuzzSeed> FuzzSeeds() {
  const std::vector<int16_t> stereo = {0, 1000, -1000, 2000, 32767, -32768, 5, -5};
  const std::vector<uint8_t> mono = {128, 200, 50, 255, 0, 128, 129};
  std::vector<uint8_t> chunks;
  wavwriter::Format format;
  format.rate = 11025;
  format.bits = 8;
  wavwriter::AppendChunk(chunks, "fmt ", wavwriter::FormatBody(format));
  wavwriter::AppendChunk(chunks, "junk", mono);
  wavwriter::AppendChunk(chunks, "data", mono);
  return {{"stereo16.wav", wavwriter::WriteWav16(stereo, 2, 44100)},
          {"mono8.wav", wavwriter::WriteWav8(mono, 1, 22050)},
          {"padded.wav", wavwriter::RiffWave(chunks)}};
}

bool FuzzSetUp() {
  Torvid_lib::tPlatformHooks hooks = Torvid_lib::tDefaultPlatformHooks();
  hooks.log = [](const char*) {};
  Torvid_lib::tSetPlatformHooks(&hooks);
  return true;
}

void FuzzOne(const uint8_t* data, size_t size) {
  // A block of exactly the input's size, so that a read past its end is caught.
  auto bytes = std::make_unique<uint8_t[]>(size ? size : 1);
  if (size) std::memcpy(bytes.get(), data, size);
  Torvid_lib::tWavInfo info;
  if (!Torvid_lib::tReadWav(bytes.get(), size, "fuzz.wav", &info)) return;
  plat::AudioMixer& mixer = plat::GetAudioMixer();
  const plat::AudioVoice voice =
      mixer.CreateVoice(bytes.get() + info.dataOffset, info.dataBytes, info.format);
  if (voice == plat::kNoVoice) return;
  mixer.Play(voice, false);
  int16_t out[256 * plat::kMixChannels];
  mixer.Mix(out, 256);
  mixer.DestroyVoice(voice);
}
