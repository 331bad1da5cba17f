// Sample banks (".bnk"): read and checked by the sound wrapper, and what it accepts played a
// little on the mixer, as a game plays its effects.

#include "Engine/DataFolder.h"
#include "Game/Sound/CSoundWrapper.h"
#include "Platform/Audio/Audio.h"
#include "tests/fuzz/FuzzTarget.h"
#include "tests/support/BankWriter.h"
#include "tests/support/WavWriter.h"

std::vector<FuzzSeed> FuzzSeeds() {
  const std::vector<int16_t> stereo = {0, 1000, -1000, 2000, 32767, -32768, 5, -5};
  const std::vector<uint8_t> mono = {128, 200, 50, 255, 0, 128, 129};
  const std::vector<uint8_t> one = wavwriter::WriteWav8(mono, 1, 22050);
  const std::vector<uint8_t> two = wavwriter::WriteWav16(stereo, 2, 44100);
  return {{"empty.bnk", WriteSoundBank({})},
          {"one.bnk", WriteSoundBank({one})},
          {"three.bnk", WriteSoundBank({two, one, two})}};
}

bool FuzzSetUp() {
  SetDataFolder(nullptr);
  // Never destroyed: the wrapper is the program's one, as in the game.
  static auto* s_sound = new CSoundWrapper;
  return s_sound->Init(false) == 1;
}

void FuzzOne(const uint8_t* data, size_t size) {
  WriteInputFile("fuzz.bnk", data, size);
  CSoundWrapper& sound = *GetSoundWrapper();
  const int32_t bank = sound.LoadSampleBank("fuzz.bnk");
  if (bank < 0) return;
  const int32_t count = sound.FixupSampleBank(bank);
  // A few voices at once, as a game's effects overlap; each mixes a short buffer.
  for (int32_t i = 0; i < count && i < 4; ++i)
    sound.PlayEffect(bank, i, 0, 1.0f, kSoundFlat, nullptr);
  int16_t out[256 * plat::kMixChannels];
  plat::GetAudioMixer().Mix(out, 256);
  sound.Update();
  sound.FreeSampleBank(bank);
}
