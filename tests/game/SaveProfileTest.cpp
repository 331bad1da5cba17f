// The save profile "PDSG.raw": what it writes (checked byte by byte against the layout, with a
// CRC computed here), what it makes of damaged, missing and unreadable files, and that the
// player's file survives a read or a write that fails.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "Game/Frontend/SaveProfile.h"
#include "tests/support/ByteWriter.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

// The file's layout, written out independently of the game's records.
constexpr size_t kFileSize = 1804;
constexpr size_t kWidthAt = 8;
constexpr size_t kMusicAt = 28;
constexpr size_t kKeysAt = 32;
constexpr size_t kScoresAt = 184;
constexpr size_t kUnlocksAt = 1784;
constexpr size_t kCrcAt = 1800;

size_t ScoreAt(int game, int rank) { return kScoresAt + (game * 5 + rank) * 20; }

uint32_t Crc32(const uint8_t* bytes, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::vector<uint8_t> ReadImage(const std::string& path = "PDSG.raw") {
  const std::string bytes = ReadFileBytes(path);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

void Reseal(std::vector<uint8_t>& image) {
  bytewriter::PutU32(image, kCrcAt, Crc32(image.data(), kCrcAt));
}

bool SameData(const SaveProfile& a, const SaveProfile& b) {
  return std::memcmp(&a.Data(), &b.Data(), sizeof(SaveProfileData)) == 0;
}

bool IsDefault(const SaveProfile& profile) { return SameData(profile, SaveProfile()); }

// A profile with something of everything in it, saved.
SaveProfile SavedProfile() {
  SaveProfile profile;
  profile.Data().settings.displayWidth = 1024;
  profile.Data().settings.volumes[2] = 0.25f;
  profile.Data().settings.keys[18] = {0x40000, 0x39};
  profile.RecordHighScore(7, 12345, "ANNA");
  profile.RecordUnlock(15, 3);
  EXPECT_TRUE(profile.Save());
  return profile;
}

size_t OpenFiles() {
  return static_cast<size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), {}));
}

class SaveProfileTest : public TempDirTest {
 protected:
  void SetUp() override { m_openFiles = OpenFiles(); }
  void TearDown() override {
    ResetSaveProfile();
    EXPECT_EQ(OpenFiles(), m_openFiles) << "a file was left open";
  }

  size_t m_openFiles = 0;
};

TEST_F(SaveProfileTest, SavedFileHasTheLayoutAndLoadsBack) {
  SaveProfile saved = SavedProfile();
  const std::vector<uint8_t> image = ReadImage();
  ASSERT_EQ(image.size(), kFileSize);
  EXPECT_EQ(std::string(image.begin(), image.begin() + 4), "PDSG");
  EXPECT_EQ(bytewriter::GetU32(image, 4), 1u);
  EXPECT_EQ(bytewriter::GetU32(image, kWidthAt), 1024u);
  EXPECT_EQ(bytewriter::GetU32(image, kWidthAt + 4), 480u);
  float music = 0;
  std::memcpy(&music, &image[kMusicAt], 4);
  EXPECT_EQ(music, 0.25f);
  EXPECT_EQ(bytewriter::GetU32(image, kKeysAt + 18 * 8), 0x40000u);
  EXPECT_EQ(bytewriter::GetU32(image, kKeysAt + 18 * 8 + 4), 0x39u);
  EXPECT_EQ(bytewriter::GetU32(image, ScoreAt(7, 0)), 12345u);
  EXPECT_STREQ(reinterpret_cast<const char*>(&image[ScoreAt(7, 0) + 4]), "ANNA");
  EXPECT_EQ(image[kUnlocksAt + 15], 0x2);
  EXPECT_EQ(bytewriter::GetU32(image, kCrcAt), Crc32(image.data(), kCrcAt));

  SaveProfile loaded;
  EXPECT_EQ(loaded.Load(), SaveProfile::LoadResult::kLoaded);
  EXPECT_TRUE(SameData(loaded, saved));
  EXPECT_FALSE(DebugLogContains("save profile"));
}

TEST_F(SaveProfileTest, MissingFileGivesDefaultsAndTheFirstSaveCreatesIt) {
  SaveProfile profile;
  profile.RecordHighScore(0, 99);
  EXPECT_EQ(profile.Load(), SaveProfile::LoadResult::kMissing);
  EXPECT_TRUE(IsDefault(profile));
  EXPECT_TRUE(DebugLogContains("No save profile PDSG.raw, starting with defaults"));
  EXPECT_FALSE(fs::exists("PDSG.raw"));
  EXPECT_EQ(profile.Data().settings.displayWidth, 640);
  EXPECT_EQ(profile.Data().settings.displayHeight, 480);
  EXPECT_EQ(profile.Data().settings.displayBits, 32);
  EXPECT_EQ(profile.Data().settings.volumes[0], 1.0f);
  EXPECT_EQ(std::memcmp(profile.Data().settings.keys, InputDevice::DefaultBindings(),
                        sizeof(InputBinding) * InputDevice::kNumKeys),
            0);

  EXPECT_TRUE(profile.Save());
  EXPECT_EQ(ReadImage().size(), kFileSize);
  EXPECT_EQ(SaveProfile().Load(), SaveProfile::LoadResult::kLoaded);
}

struct Damage {
  const char* name;
  void (*apply)(std::vector<uint8_t>& image);
  const char* logged;
};

const Damage kDamage[] = {
    {"magic", [](std::vector<uint8_t>& i) { i[1] ^= 0x20; }, "(bad magic)"},
    {"version", [](std::vector<uint8_t>& i) { bytewriter::PutU32(i, 4, 2); }, "(unknown version)"},
    {"checksum", [](std::vector<uint8_t>& i) { i[kCrcAt + 3] ^= 0x80; }, "(bad checksum)"},
    {"a high score", [](std::vector<uint8_t>& i) { i[ScoreAt(7, 0)] ^= 0x01; }, "(bad checksum)"},
    {"an unlock", [](std::vector<uint8_t>& i) { i[kUnlocksAt] = 1; }, "(bad checksum)"},
    {"a byte too many", [](std::vector<uint8_t>& i) { i.push_back(0); }, "(1805 of 1804 bytes)"},
};

// A damaged file gives defaults and stays as it is until the next save.
void ExpectDamaged(SaveProfile& profile, const std::vector<uint8_t>& image, const std::string& row,
                   const char* logged) {
  ASSERT_TRUE(bytewriter::SaveBytes("PDSG.raw", image)) << row;
  std::remove("Debug.log");
  EXPECT_EQ(profile.Load(), SaveProfile::LoadResult::kDamaged) << row;
  EXPECT_TRUE(IsDefault(profile)) << row;
  EXPECT_TRUE(DebugLogContains("Save profile PDSG.raw is damaged")) << row;
  EXPECT_TRUE(DebugLogContains(logged)) << row;
  EXPECT_EQ(ReadImage(), image) << row;
}

TEST_F(SaveProfileTest, DamagedFilesGiveDefaults) {
  SavedProfile();
  const std::vector<uint8_t> good = ReadImage();
  for (const Damage& damage : kDamage) {
    std::vector<uint8_t> image = good;
    damage.apply(image);
    SaveProfile profile;
    ExpectDamaged(profile, image, damage.name, damage.logged);
    // The next save replaces it.
    EXPECT_TRUE(profile.Save()) << damage.name;
    EXPECT_EQ(SaveProfile().Load(), SaveProfile::LoadResult::kLoaded) << damage.name;
  }
}

TEST_F(SaveProfileTest, EveryTruncationGivesDefaults) {
  SavedProfile();
  const std::vector<uint8_t> good = ReadImage();
  SaveProfile profile;
  for (size_t size = 0; size < good.size(); ++size) {
    const std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<ptrdiff_t>(size));
    const std::string logged = "(" + std::to_string(size) + " of 1804 bytes)";
    ExpectDamaged(profile, cut, "size " + std::to_string(size), logged.c_str());
    if (HasFatalFailure() || HasNonfatalFailure()) break;
  }
}

// What a file that passes its checksum may still not hand to the game.
TEST_F(SaveProfileTest, SoundFileWithWildValuesIsTamed) {
  SavedProfile();
  std::vector<uint8_t> image = ReadImage();
  bytewriter::PutF32(image, kMusicAt, 2.0f);
  bytewriter::PutF32(image, kMusicAt - 4, -1.0f);
  bytewriter::PutF32(image, kMusicAt - 8, std::numeric_limits<float>::quiet_NaN());
  bytewriter::PutU32(image, kKeysAt + 4, 256);
  bytewriter::PutU32(image, kKeysAt + 8 + 4, 255);
  std::memset(&image[ScoreAt(2, 0) + 4], 'Z', 16);
  image[kUnlocksAt + 4] = 0xFF;
  Reseal(image);
  ASSERT_TRUE(bytewriter::SaveBytes("PDSG.raw", image));

  SaveProfile profile;
  ASSERT_EQ(profile.Load(), SaveProfile::LoadResult::kLoaded);
  const ProfileSettings& settings = profile.Data().settings;
  EXPECT_EQ(settings.volumes[2], 1.0f);
  EXPECT_EQ(settings.volumes[1], 0.0f);
  EXPECT_EQ(settings.volumes[0], 1.0f);
  EXPECT_EQ(settings.keys[0].key, 0u);  // past the keyboard's 256 codes
  EXPECT_EQ(settings.keys[1].key, 255u);
  EXPECT_EQ(std::string(profile.GetHighScore(2, 0)->name), std::string(15, 'Z'));
  EXPECT_EQ(profile.UnlockCount(), 2 + 1);  // game 4's two bits and game 15's
}

// Something in the profile's place that exists but cannot be read.
struct Obstacle {
  const char* name;
  bool (*make)();
  const char* logged;
};

const Obstacle kObstacles[] = {
    {"pipe", [] { return mkfifo("PDSG.raw", 0644) == 0; }, "(not a regular file)"},
    {"folder", [] { return fs::create_directory("PDSG.raw"); }, "(not a regular file)"},
    // Reading address 0 of the process's own memory fails with an I/O error, root or not.
    {"device error", [] { return symlink("/proc/self/mem", "PDSG.raw") == 0; },
     "(Input/output error)"},
};

void ExpectLeftAlone(SaveProfile& profile, const std::string& row) {
  EXPECT_TRUE(IsDefault(profile)) << row;
  // The run goes on with its own scores, but nothing is written over the file.
  EXPECT_EQ(profile.RecordHighScore(1, 500), 0) << row;
  std::remove("Debug.log");
  EXPECT_FALSE(profile.Save()) << row;
  EXPECT_TRUE(DebugLogContains("Save profile PDSG.raw not saved")) << row;
  EXPECT_FALSE(profile.Save()) << row;
}

TEST_F(SaveProfileTest, UnreadableFileIsNeverSavedOver) {
  for (const Obstacle& obstacle : kObstacles) {
    fs::remove_all("PDSG.raw");
    ASSERT_TRUE(obstacle.make()) << obstacle.name;
    const fs::file_status before = fs::symlink_status("PDSG.raw");
    SaveProfile profile;
    EXPECT_EQ(profile.Load(), SaveProfile::LoadResult::kUnreadable) << obstacle.name;
    EXPECT_TRUE(DebugLogContains("Unable to read save profile PDSG.raw")) << obstacle.name;
    EXPECT_TRUE(DebugLogContains(obstacle.logged)) << obstacle.name;
    ExpectLeftAlone(profile, obstacle.name);
    EXPECT_EQ(fs::symlink_status("PDSG.raw").type(), before.type()) << obstacle.name;

    // Missing is another matter: once it is gone, the profile may be written again.
    fs::remove_all("PDSG.raw");
    EXPECT_EQ(profile.Load(), SaveProfile::LoadResult::kMissing) << obstacle.name;
    EXPECT_TRUE(profile.Save()) << obstacle.name;
  }
}

TEST_F(SaveProfileTest, FileWithoutReadPermissionIsNeverSavedOver) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads the file regardless of its permissions";
  SavedProfile();
  const std::vector<uint8_t> image = ReadImage();
  ASSERT_EQ(chmod("PDSG.raw", 0), 0);
  SaveProfile profile;
  EXPECT_EQ(profile.Load(), SaveProfile::LoadResult::kUnreadable);
  EXPECT_TRUE(DebugLogContains("Unable to read save profile PDSG.raw (Permission denied)"));
  ExpectLeftAlone(profile, "no read permission");
  ASSERT_EQ(chmod("PDSG.raw", 0644), 0);
  EXPECT_EQ(ReadImage(), image);
}

// Writes that fail part way: the old file must come through whole.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    m_signal = signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &m_old);
    rlimit limit = m_old;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &m_old);
    signal(SIGXFSZ, m_signal);
  }

 private:
  rlimit m_old{};
  sighandler_t m_signal;
};

TEST_F(SaveProfileTest, FailedWriteKeepsTheOldFile) {
  SavedProfile();
  const std::vector<uint8_t> image = ReadImage();
  SaveProfile profile;
  ASSERT_EQ(profile.Load(), SaveProfile::LoadResult::kLoaded);
  profile.RecordHighScore(7, 99999);
  std::remove("Debug.log");  // the limit holds for the log too: its line must fit below it
  {
    // A disk that fills up after 100 bytes, whoever runs the test.
    FileSizeLimit limit(100);
    EXPECT_FALSE(profile.Save());
  }
  EXPECT_TRUE(DebugLogContains("Unable to save PDSG.raw: File too large"));
  EXPECT_EQ(ReadImage(), image);
  for (const fs::directory_entry& entry : fs::directory_iterator("."))
    EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
  // Nothing was lost in memory either: the next save goes through.
  EXPECT_TRUE(profile.Save());
  EXPECT_EQ(SaveProfile().Load(), SaveProfile::LoadResult::kLoaded);
}

TEST_F(SaveProfileTest, SaveIntoAMissingFolderFailsAndPathsAreChecked) {
  SaveProfile profile;
  ASSERT_TRUE(profile.SetPath("no/such/PDSG.raw"));
  EXPECT_EQ(profile.Load(), SaveProfile::LoadResult::kMissing);
  EXPECT_FALSE(profile.Save());
  EXPECT_TRUE(DebugLogContains("Unable to save no/such/PDSG.raw: No such file or directory"));
  EXPECT_FALSE(profile.SetPath(""));
  EXPECT_FALSE(profile.SetPath(std::string(SaveProfile::kMaxPath, 'x').c_str()));
  EXPECT_STREQ(profile.Path(), "no/such/PDSG.raw");
}

TEST_F(SaveProfileTest, SaveIntoALockedFolderKeepsTheOldFile) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into a read-only folder";
  SaveProfile profile;
  fs::create_directory("locked");
  ASSERT_TRUE(profile.SetPath("locked/PDSG.raw"));
  ASSERT_TRUE(profile.Save());
  const std::vector<uint8_t> image = ReadImage("locked/PDSG.raw");
  ASSERT_EQ(chmod("locked", 0555), 0);
  profile.RecordUnlock(0, 2);
  EXPECT_FALSE(profile.Save());
  EXPECT_TRUE(DebugLogContains("Unable to save locked/PDSG.raw: Permission denied"));
  chmod("locked", 0755);
  EXPECT_EQ(ReadImage("locked/PDSG.raw"), image);
}

TEST_F(SaveProfileTest, HighScoresEnterWhereTheyBelong) {
  SaveProfile profile;
  const struct {
    int32_t score;
    int32_t rank;
  } kEntries[] = {{500, 0}, {300, 1},  {400, 1}, {500, 1}, {100, 4},
                  {50, -1}, {100, -1}, {600, 0}, {0, -1}};
  for (auto [score, rank] : kEntries) EXPECT_EQ(profile.RecordHighScore(3, score), rank) << score;
  const int32_t expected[5] = {600, 500, 500, 400, 300};
  for (int rank = 0; rank < 5; ++rank)
    EXPECT_EQ(profile.GetHighScore(3, rank)->score, expected[rank]);

  // Names move with their scores and are cut to fit.
  EXPECT_EQ(profile.RecordHighScore(3, 450, "A NAME FAR TOO LONG"), 3);
  EXPECT_STREQ(profile.GetHighScore(3, 3)->name, "A NAME FAR TOO ");
  EXPECT_EQ(profile.RecordHighScore(3, 1000, "TOP"), 0);
  EXPECT_STREQ(profile.GetHighScore(3, 4)->name, "A NAME FAR TOO ");
  EXPECT_EQ(profile.RecordHighScore(3, 460, nullptr), 4);
  EXPECT_STREQ(profile.GetHighScore(3, 4)->name, "");

  for (auto [game, rank] : {std::pair{-1, 0}, {16, 0}, {0, -1}, {0, 5}})
    EXPECT_EQ(profile.GetHighScore(game, rank), nullptr) << game << " " << rank;
  EXPECT_EQ(profile.RecordHighScore(16, 100), -1);
  EXPECT_EQ(profile.RecordHighScore(-1, 100), -1);
  EXPECT_EQ(profile.RecordHighScore(4, -5), -1);  // a fresh table is all zeros
  EXPECT_EQ(profile.GetHighScore(4, 0)->score, 0);
}

TEST_F(SaveProfileTest, UnlocksAreCountedOncePerChallenge) {
  SaveProfile profile;
  const struct {
    int32_t game, mode, result;
  } kUnlocks[] = {{0, 2, 1},  {0, 2, 0}, {0, 3, 1}, {15, 2, 1}, {16, 2, 0},
                  {-1, 3, 0}, {1, 0, 0}, {1, 1, 0}, {1, 4, 0}};
  for (auto [game, mode, result] : kUnlocks)
    EXPECT_EQ(profile.RecordUnlock(game, mode), result) << game << " " << mode;
  EXPECT_EQ(profile.UnlockCount(), 3);
  EXPECT_TRUE(profile.IsUnlocked(0, 3));
  EXPECT_FALSE(profile.IsUnlocked(15, 3));
  EXPECT_FALSE(profile.IsUnlocked(1, 1));
  EXPECT_FALSE(profile.IsUnlocked(16, 2));
  ASSERT_TRUE(profile.Save());
  SaveProfile loaded;
  ASSERT_EQ(loaded.Load(), SaveProfile::LoadResult::kLoaded);
  EXPECT_EQ(loaded.UnlockCount(), 3);
  EXPECT_TRUE(loaded.IsUnlocked(15, 2));
}

TEST_F(SaveProfileTest, GlobalProfileResetsToDefaults) {
  SaveProfile& profile = GetSaveProfile();
  profile.RecordUnlock(2, 2);
  ASSERT_TRUE(profile.SetPath("other.raw"));
  ResetSaveProfile();
  EXPECT_EQ(&GetSaveProfile(), &profile);
  EXPECT_STREQ(profile.Path(), "PDSG.raw");
  EXPECT_EQ(profile.UnlockCount(), 0);
  EXPECT_TRUE(profile.Save());
  EXPECT_TRUE(fs::exists("PDSG.raw"));
}

}  // namespace
