#include "tests/support/BankWriter.h"

#include "Game/Sound/SoundBank.h"
#include "tests/support/ByteWriter.h"

std::vector<uint8_t> WriteSoundBank(const std::vector<std::vector<uint8_t>>& waves) {
  using namespace bytewriter;
  std::vector<uint8_t> image(kBankHeaderSize + kBankEntrySize * waves.size(), 0);
  for (int i = 0; i < 4; ++i) image[i] = static_cast<uint8_t>(kSoundBankMagic[i]);
  PutU32(image, 4, kSoundBankVersion);
  PutU32(image, 8, static_cast<uint32_t>(waves.size()));
  for (size_t i = 0; i < waves.size(); ++i) {
    const size_t offset = Align(image, 4);
    image.insert(image.end(), waves[i].begin(), waves[i].end());
    PutU32(image, BankEntryOffset(i), static_cast<uint32_t>(offset));
    PutU32(image, BankEntryOffset(i) + 4, static_cast<uint32_t>(waves[i].size()));
  }
  return image;
}
