#include "Game/Frontend/SaveProfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "Engine/CRC32.h"
#include "Engine/LogFile.h"
#include "Engine/SafeFile.h"

namespace {

constexpr size_t kChecked = offsetof(SaveProfileFile, checksum);
constexpr size_t kHeaderSize = offsetof(SaveProfileFile, data);
// DirectInput key codes index a 256-entry keyboard state.
constexpr uint32_t kKeyCodes = 256;

enum class ReadStatus { kRead, kMissing, kUnreadable };

// Reads at most `capacity` bytes of `path`. Only a file that is not there counts as missing:
// anything else that stops the read (permissions, a device error, a folder or a pipe in its
// place) is unreadable, and *reason says why.
ReadStatus ReadBytes(const char* path, unsigned char* buffer, size_t capacity, size_t* size,
                     const char** reason) {
  *size = 0;
  // Non-blocking, so that a named pipe in the file's place cannot stall the start-up.
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return ReadStatus::kMissing;
    *reason = std::strerror(errno);
    return ReadStatus::kUnreadable;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    *reason = std::strerror(errno);
    close(fd);
    return ReadStatus::kUnreadable;
  }
  if (!S_ISREG(st.st_mode)) {
    *reason = "not a regular file";
    close(fd);
    return ReadStatus::kUnreadable;
  }
  size_t got = 0;
  while (got < capacity) {
    const ssize_t n = read(fd, buffer + got, capacity - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *reason = std::strerror(errno);
      close(fd);
      return ReadStatus::kUnreadable;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  close(fd);
  *size = got;
  return ReadStatus::kRead;
}

float SaneVolume(float volume) {
  if (std::isnan(volume)) return 1.0f;
  return volume < 0.0f ? 0.0f : (volume > 1.0f ? 1.0f : volume);
}

bool ValidGame(int32_t gameId) { return gameId >= 0 && gameId < SaveProfileData::kNumGames; }

// The unlock bit of a challenge mode, 0 for any other mode.
uint8_t UnlockBit(int32_t mode) {
  if (mode < SaveProfileData::kFirstChallengeMode || mode > SaveProfileData::kLastChallengeMode)
    return 0;
  return static_cast<uint8_t>(1u << (mode - SaveProfileData::kFirstChallengeMode));
}

}  // namespace

bool SaveProfile::SetPath(const char* path) {
  if (!path || !*path || std::strlen(path) >= kMaxPath) return false;
  std::strcpy(m_path, path);
  m_saveBlocked = false;
  m_keepSuffix = nullptr;
  return true;
}

void SaveProfile::Defaults() {
  m_data = SaveProfileData{};
  ProfileSettings& settings = m_data.settings;
  settings.displayWidth = 640;
  settings.displayHeight = 480;
  settings.displayBits = 32;
  for (float& volume : settings.volumes) volume = 1.0f;
  std::memcpy(settings.keys, InputDevice::DefaultBindings(), sizeof(settings.keys));
}

SaveProfile::LoadResult SaveProfile::Load() {
  Defaults();
  m_saveBlocked = false;
  m_keepSuffix = nullptr;
  // Only this program saves the profile, and it saves nothing before loading it: a temporary of
  // the file now is one that a killed save left.
  if (const int removed = RemoveLeftoverTemporaries(m_path))
    DebugLog().Write("Removed %d temporary file(s) of %s left by saves that did not finish\n",
                     removed, m_path);
  // One byte more than a profile, so that a file too long shows as such.
  unsigned char bytes[sizeof(SaveProfileFile) + 1] = {};
  size_t size = 0;
  const char* reason = "";
  switch (ReadBytes(m_path, bytes, sizeof(bytes), &size, &reason)) {
    case ReadStatus::kMissing:
      DebugLog().Write("No save profile %s, starting with defaults\n", m_path);
      return LoadResult::kMissing;
    case ReadStatus::kUnreadable:
      m_saveBlocked = true;
      DebugLog().Write(
          "Unable to read save profile %s (%s): defaults for this run, the file is left as it is\n",
          m_path, reason);
      return LoadResult::kUnreadable;
    case ReadStatus::kRead:
      break;
  }
  // Magic and version first: a profile of another version has another size, and that is what
  // the line should say.
  if (size >= kHeaderSize && std::memcmp(bytes, kSaveProfileMagic, sizeof(kSaveProfileMagic)) != 0)
    return Damaged("bad magic");
  uint32_t version = 0;
  std::memcpy(&version, bytes + sizeof(kSaveProfileMagic), sizeof(version));
  // A newer program's profile is sound as far as anyone here can tell; it is only not ours.
  if (size >= kHeaderSize && version > kSaveProfileVersion) {
    m_keepSuffix = kNewerSuffix;
    DebugLog().Write(
        "Save profile %s is of a newer version (%u), starting with defaults; it is kept beside "
        "the new one at the next save\n",
        m_path, version);
    return LoadResult::kNewer;
  }
  if (size >= kHeaderSize && version != kSaveProfileVersion) return Damaged("unknown version");
  if (size != sizeof(SaveProfileFile)) {
    char text[64];
    std::snprintf(text, sizeof(text), "%zu of %zu bytes", size, sizeof(SaveProfileFile));
    return Damaged(text);
  }
  uint32_t checksum = 0;
  std::memcpy(&checksum, bytes + kChecked, sizeof(checksum));
  if (checksum != CRC32::Compute(bytes, kChecked)) return Damaged("bad checksum");
  std::memcpy(&m_data, bytes + kHeaderSize, sizeof(m_data));
  Sanitise();
  return LoadResult::kLoaded;
}

SaveProfile::LoadResult SaveProfile::Damaged(const char* reason) {
  m_keepSuffix = kDamagedSuffix;
  DebugLog().Write(
      "Save profile %s is damaged (%s), starting with defaults; it is kept beside the new one at "
      "the next save\n",
      m_path, reason);
  return LoadResult::kDamaged;
}

// A refused file may still hold all the player has won (one flipped bit fails the checksum), so
// it is kept before anything is written over it.
bool SaveProfile::KeepRefusedFile() {
  if (!m_keepSuffix) return true;
  char kept[kMaxPath + 32];
  const int error = KeepFileCopy(m_path, m_keepSuffix, kept, sizeof(kept));
  if (error == ENOENT) {
    // Gone since it was read (the player moved it): nothing is left to lose.
    m_keepSuffix = nullptr;
    return true;
  }
  if (error) {
    DebugLog().Write("Save profile %s not saved: no copy of the old file could be kept (%s)\n",
                     m_path, std::strerror(error));
    return false;
  }
  DebugLog().Write("Save profile %s kept as %s before it is replaced\n", m_path, kept);
  m_keepSuffix = nullptr;
  return true;
}

// A file that passes its checksum was still written by someone: nothing in it may lead a reader
// astray (a name without its end, a key code past the keyboard, a volume past full).
void SaveProfile::Sanitise() {
  ProfileSettings& settings = m_data.settings;
  for (float& volume : settings.volumes) volume = SaneVolume(volume);
  for (InputBinding& key : settings.keys)
    if (key.key >= kKeyCodes) key.key = 0;
  for (auto& table : m_data.highScores)
    for (HighScoreEntry& entry : table) entry.name[HighScoreEntry::kNameSize - 1] = 0;
  for (uint8_t& unlocks : m_data.unlocks) unlocks &= SaveProfileData::kUnlockBits;
}

bool SaveProfile::Save() {
  if (m_saveBlocked) {
    DebugLog().Write("Save profile %s not saved: it could not be read, so it is kept as it is\n",
                     m_path);
    return false;
  }
  if (!KeepRefusedFile()) return false;
  SaveProfileFile file{};
  std::memcpy(file.magic, kSaveProfileMagic, sizeof(file.magic));
  file.version = kSaveProfileVersion;
  file.data = m_data;
  file.checksum = CRC32::Compute(&file, kChecked);
  // Never truncated in place: a crash or a full disk mid-write would lose everything won.
  const int error = WriteFileWhole(m_path, &file, sizeof(file));
  if (error) {
    DebugLog().Write("Unable to save %s: %s\n", m_path, std::strerror(error));
    return false;
  }
  return true;
}

int32_t SaveProfile::RecordHighScore(int32_t gameId, int32_t score, const char* name) {
  if (!ValidGame(gameId)) return -1;
  HighScoreEntry* table = m_data.highScores[gameId];
  int32_t rank = 0;
  while (rank < SaveProfileData::kNumHighScores && score <= table[rank].score) ++rank;
  if (rank == SaveProfileData::kNumHighScores) return -1;
  for (int32_t i = SaveProfileData::kNumHighScores - 1; i > rank; --i) table[i] = table[i - 1];
  HighScoreEntry& entry = table[rank];
  entry.score = score;
  std::memset(entry.name, 0, sizeof(entry.name));
  if (name) std::strncpy(entry.name, name, HighScoreEntry::kNameSize - 1);
  return rank;
}

const HighScoreEntry* SaveProfile::GetHighScore(int32_t gameId, int32_t rank) const {
  if (!ValidGame(gameId) || rank < 0 || rank >= SaveProfileData::kNumHighScores) return nullptr;
  return &m_data.highScores[gameId][rank];
}

int32_t SaveProfile::RecordUnlock(int32_t gameId, int32_t mode) {
  const uint8_t bit = UnlockBit(mode);
  if (!ValidGame(gameId) || !bit || (m_data.unlocks[gameId] & bit)) return 0;
  m_data.unlocks[gameId] |= bit;
  return 1;
}

bool SaveProfile::IsUnlocked(int32_t gameId, int32_t mode) const {
  const uint8_t bit = UnlockBit(mode);
  return ValidGame(gameId) && bit && (m_data.unlocks[gameId] & bit);
}

int32_t SaveProfile::UnlockCount() const {
  int32_t count = 0;
  for (uint8_t unlocks : m_data.unlocks)
    count += std::popcount(static_cast<uint8_t>(unlocks & SaveProfileData::kUnlockBits));
  return count;
}

SaveProfile& GetSaveProfile() {
  static SaveProfile profile;
  return profile;
}

void ResetSaveProfile() {
  SaveProfile& profile = GetSaveProfile();
  profile.SetPath(SaveProfile::kFileName);
  profile.Defaults();
}
