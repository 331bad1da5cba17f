#pragma once
// Writes sample banks (".bnk"): the header, the entry table and each sample's WAVE file, in the
// layout Game/Sound/SoundBank.h reads.

#include <cstddef>
#include <cstdint>
#include <vector>

// A bank holding the given WAVE files in order, each starting on a 4-byte boundary.
std::vector<uint8_t> WriteSoundBank(const std::vector<std::vector<uint8_t>>& waves);

// Offsets of the parts of a bank image, for tests that damage one of them.
constexpr size_t kBankHeaderSize = 16;
constexpr size_t kBankEntrySize = 8;
inline size_t BankEntryOffset(size_t index) { return kBankHeaderSize + kBankEntrySize * index; }
