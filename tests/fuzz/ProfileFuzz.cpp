// "PDSG.raw", the save profile: read over the defaults, then used as the menus and the results
// use it. A file that fails its checksum goes no further than the check, so each input is also
// tried with its checksum put right: the fields behind the check get fuzzed too.

#include <cstring>

#include "Engine/CRC32.h"
#include "Game/Frontend/SaveProfile.h"
#include "tests/fuzz/FuzzTarget.h"

namespace {

constexpr size_t kChecked = offsetof(SaveProfileFile, checksum);

std::vector<uint8_t> Image(const SaveProfile& profile) {
  SaveProfileFile file;
  std::memcpy(file.magic, kSaveProfileMagic, sizeof(file.magic));
  file.version = kSaveProfileVersion;
  file.data = profile.Data();
  file.checksum = CRC32::Compute(&file, kChecked);
  const auto* bytes = reinterpret_cast<const uint8_t*>(&file);
  return std::vector<uint8_t>(bytes, bytes + sizeof(file));
}

void ReadAndUse(const uint8_t* data, size_t size) {
  WriteInputFile("fuzz.raw", data, size);
  SaveProfile profile;
  profile.SetPath("fuzz.raw");
  if (profile.Load() != SaveProfile::LoadResult::kLoaded) return;
  // The high-score tables and the unlocks, as the menus show them and a result enters them.
  size_t names = 0;
  for (int32_t game = 0; game < SaveProfileData::kNumGames; ++game) {
    for (int32_t rank = 0; rank < SaveProfileData::kNumHighScores; ++rank)
      if (const HighScoreEntry* entry = profile.GetHighScore(game, rank))
        names += std::strlen(entry->name);
    profile.IsUnlocked(game, SaveProfileData::kFirstChallengeMode);
  }
  profile.RecordHighScore(static_cast<int32_t>(names % SaveProfileData::kNumGames), 1000, "FUZZ");
  profile.RecordUnlock(static_cast<int32_t>(names % SaveProfileData::kNumGames),
                       SaveProfileData::kLastChallengeMode);
  profile.UnlockCount();
}

}  // namespace

std::vector<FuzzSeed> FuzzSeeds() {
  SaveProfile played;
  played.Data().settings.displayWidth = 1024;
  played.Data().settings.volumes[2] = 0.25f;
  played.RecordHighScore(7, 12345, "ANNA");
  played.RecordHighScore(7, 500, "BO");
  played.RecordUnlock(15, 3);
  return {{"defaults.raw", Image(SaveProfile())}, {"played.raw", Image(played)}};
}

bool FuzzSetUp() { return true; }

void FuzzOne(const uint8_t* data, size_t size) {
  ReadAndUse(data, size);
  if (size != sizeof(SaveProfileFile)) return;
  std::vector<uint8_t> sealed(data, data + size);
  const uint32_t checksum = CRC32::Compute(sealed.data(), kChecked);
  std::memcpy(&sealed[kChecked], &checksum, sizeof(checksum));
  ReadAndUse(sealed.data(), sealed.size());
}
