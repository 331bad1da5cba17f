#pragma once
// The sample bank file ".bnk": a 16-byte header, then a table of `sampleCount` entries, each the
// offset (from the start of the file) and size of one standard RIFF WAVE file held in the bank.
// Little-endian throughout. A bank is loaded whole and played from where it lies: the voices read
// each sample's PCM data inside the bank's image.

#include <cstdint>

struct SoundBankHeader {
  char magic[4];  // "PBNK"
  uint32_t version;
  uint32_t sampleCount;
  uint32_t reserved;
};
static_assert(sizeof(SoundBankHeader) == 16);

struct SoundBankEntry {
  uint32_t offset;
  uint32_t size;
};
static_assert(sizeof(SoundBankEntry) == 8);

constexpr char kSoundBankMagic[4] = {'P', 'B', 'N', 'K'};
constexpr uint32_t kSoundBankVersion = 1;
