#pragma once
// The save profile "PDSG.raw" in the working folder: the player's settings, the high-score tables
// and the challenge unlocks, guarded by a CRC-32.
//
// The file belongs to the player, so it is never lost by accident: it is written whole through
// Engine/SafeFile (a crash or a full disk leaves the old one, a symbolic link is written
// through); a missing file gives defaults and is made at the next save; a short, damaged or
// foreign file, or one of a newer version, gives defaults and is kept byte for byte beside the
// new one ("PDSG.raw.damaged", "PDSG.raw.newer", never over an earlier copy) before the first
// save replaces it; and a file that exists and cannot be read (permissions, an I/O error) is left
// alone for the rest of the run, since it may well hold everything the player has won.

#include <bit>
#include <cstddef>
#include <cstdint>

#include "Game/Helper/InputDevice.h"

static_assert(std::endian::native == std::endian::little, "PDSG.raw is written in place");

// Settings, byte for byte (little-endian).
struct ProfileSettings {
  int32_t displayWidth;
  int32_t displayHeight;
  int32_t displayBits;
  float volumes[3];  // 0..1: effects, speech, music (the sound wrapper's categories)
  InputBinding keys[InputDevice::kNumKeys];
};
static_assert(sizeof(InputBinding) == 8, "a key binding is two 32-bit words");
static_assert(sizeof(ProfileSettings) == 176, "profile settings are 176 bytes");

struct HighScoreEntry {
  static constexpr int kNameSize = 16;
  int32_t score;
  char name[kNameSize];  // zero-terminated
};
static_assert(sizeof(HighScoreEntry) == 20, "a high-score entry is 20 bytes");

struct SaveProfileData {
  static constexpr int32_t kNumGames = 16;      // game ids 0..15
  static constexpr int32_t kNumHighScores = 5;  // per game, best first
  static constexpr int32_t kFirstChallengeMode = 2;
  static constexpr int32_t kLastChallengeMode = 3;
  static constexpr uint8_t kUnlockBits = 0x3;  // bit 0 mode 2, bit 1 mode 3

  ProfileSettings settings;
  HighScoreEntry highScores[kNumGames][kNumHighScores];
  uint8_t unlocks[kNumGames];
};
static_assert(sizeof(SaveProfileData) == 1792, "profile data is 1792 bytes");

// The whole file: the checksum is the standard CRC-32 of every byte before it.
struct SaveProfileFile {
  char magic[4];  // "PDSG"
  uint32_t version;
  SaveProfileData data;
  uint32_t checksum;
};
static_assert(sizeof(SaveProfileFile) == 1804, "PDSG.raw is 1804 bytes");
static_assert(offsetof(SaveProfileFile, checksum) == 1800, "the checksum closes the file");

inline constexpr char kSaveProfileMagic[4] = {'P', 'D', 'S', 'G'};
inline constexpr uint32_t kSaveProfileVersion = 1;

class SaveProfile {
 public:
  static constexpr const char* kFileName = "PDSG.raw";
  static constexpr size_t kMaxPath = 256;

  enum class LoadResult {
    kLoaded,      // the file's contents are in use
    kMissing,     // no file: defaults, and the next Save creates it
    kDamaged,     // short, long or failing a check: defaults, kept aside at the next Save
    kNewer,       // written by a newer version: defaults, kept aside at the next Save
    kUnreadable,  // there but not readable: defaults, and Save leaves the file alone
  };
  static constexpr const char* kDamagedSuffix = ".damaged";
  static constexpr const char* kNewerSuffix = ".newer";

  SaveProfile() { Defaults(); }

  // The file used from now on (relative to the working folder); false, with the path kept, when
  // it is empty or longer than kMaxPath - 1. A new path may be saved to again.
  bool SetPath(const char* path);
  const char* Path() const { return m_path; }

  // Reads the file over the defaults. Whatever the outcome, one log line says what happened
  // unless the file was read whole. Temporary files that killed saves left beside it go first.
  LoadResult Load();
  // Writes the whole file; false (with one log line) when it was not written, the old file
  // being untouched then. The first save over a file that Load refused (damaged or newer) keeps
  // that file first, with a log line naming the copy, and does not save when it cannot.
  bool Save();
  void Defaults();

  SaveProfileData& Data() { return m_data; }
  const SaveProfileData& Data() const { return m_data; }

  // Enters a score into the game's table if it beats an entry (an equal score stays below the
  // older one): its rank 0..4, or -1 when it does not enter or the game id is out of range.
  int32_t RecordHighScore(int32_t gameId, int32_t score, const char* name = "");
  // The entry at rank 0..4 of a game's table, or null.
  const HighScoreEntry* GetHighScore(int32_t gameId, int32_t rank) const;

  // Marks challenge mode 2 or 3 of a game won: 1 when it was not before, 0 when it was or the
  // game or mode is out of range.
  int32_t RecordUnlock(int32_t gameId, int32_t mode);
  bool IsUnlocked(int32_t gameId, int32_t mode) const;
  // Challenges won over all games.
  int32_t UnlockCount() const;

 private:
  LoadResult Damaged(const char* reason);
  void Sanitise();
  bool KeepRefusedFile();

  SaveProfileData m_data;
  char m_path[kMaxPath] = "PDSG.raw";
  // Set when the file exists but could not be read: saving would destroy what it holds.
  bool m_saveBlocked = false;
  // The suffix of the copy that the next save makes of a file Load refused first; null for none.
  const char* m_keepSuffix = nullptr;
};

// The program's one profile.
SaveProfile& GetSaveProfile();
// Back to defaults and kFileName, with saving allowed again (tests start from here).
void ResetSaveProfile();
