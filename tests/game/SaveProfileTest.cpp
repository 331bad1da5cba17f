// The save profile "PDSG.raw": what it writes (checked byte by byte against the layout, with a
// CRC computed here), what it makes of damaged, foreign, missing and unreadable files, that the
// player's file survives a read or a write that fails (a refused file is kept beside the new
// one), and what killed saves and symbolic links leave.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

// Writes that fail part way: a disk that fills up after `bytes`, whoever runs the test.
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
    {"version 0", [](std::vector<uint8_t>& i) { bytewriter::PutU32(i, 4, 0); },
     "(unknown version)"},
    {"checksum", [](std::vector<uint8_t>& i) { i[kCrcAt + 3] ^= 0x80; }, "(bad checksum)"},
    {"a high score", [](std::vector<uint8_t>& i) { i[ScoreAt(7, 0)] ^= 0x01; }, "(bad checksum)"},
    {"an unlock", [](std::vector<uint8_t>& i) { i[kUnlocksAt] = 1; }, "(bad checksum)"},
    {"a byte too many", [](std::vector<uint8_t>& i) { i.push_back(0); }, "(1805 of 1804 bytes)"},
};

// A damaged file gives defaults and stays as it is until the next save, which keeps it aside.
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

// A file no longer than its header is judged by its version first: a newer program's is kept as
// newer, another version is unknown, this version's is short.
TEST_F(SaveProfileTest, AHeaderAloneIsJudgedByItsVersion) {
  const struct {
    uint32_t version;
    size_t size;
    SaveProfile::LoadResult result;
    const char* logged;
  } cases[] = {
      {2, 8, SaveProfile::LoadResult::kNewer, "is of a newer version (2)"},
      {0, 8, SaveProfile::LoadResult::kDamaged, "(unknown version)"},
      {1, 8, SaveProfile::LoadResult::kDamaged, "(8 of 1804 bytes)"},
      {2, 7, SaveProfile::LoadResult::kDamaged, "(7 of 1804 bytes)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "version " << c.version << ", " << c.size << " bytes");
    std::vector<uint8_t> image = {'P', 'D', 'S', 'G', 0, 0, 0, 0};
    bytewriter::PutU32(image, 4, c.version);
    image.resize(c.size);
    ASSERT_TRUE(bytewriter::SaveBytes("PDSG.raw", image));
    std::remove("Debug.log");
    SaveProfile profile;
    EXPECT_EQ(profile.Load(), c.result);
    EXPECT_TRUE(DebugLogContains(c.logged));
    EXPECT_TRUE(IsDefault(profile));
  }
}

TEST_F(SaveProfileTest, DamagedFilesGiveDefaults) {
  SavedProfile();
  const std::vector<uint8_t> good = ReadImage();
  for (const Damage& damage : kDamage) {
    std::vector<uint8_t> image = good;
    damage.apply(image);
    SaveProfile profile;
    ExpectDamaged(profile, image, damage.name, damage.logged);
    // The next save replaces it, keeping it first.
    fs::remove("PDSG.raw.damaged");
    EXPECT_TRUE(profile.Save()) << damage.name;
    EXPECT_EQ(ReadImage("PDSG.raw.damaged"), image) << damage.name;
    EXPECT_EQ(SaveProfile().Load(), SaveProfile::LoadResult::kLoaded) << damage.name;
  }
}

// What a player met: a profile holding 10 high scores and 3 unlocks, damaged in small ways. The
// program starts with defaults, and the first save keeps the old file byte for byte beside the
// new one, never over a copy kept before.
TEST_F(SaveProfileTest, TheFirstSaveKeepsARefusedFileBesideTheNewOne) {
  SaveProfile won;
  for (int32_t score = 1; score <= 10; ++score) won.RecordHighScore(score % 2, score * 100, "ANNA");
  won.RecordUnlock(0, 2);
  won.RecordUnlock(0, 3);
  won.RecordUnlock(2, 2);
  ASSERT_TRUE(won.Save());
  const std::vector<uint8_t> good = ReadImage();
  // The scores lie within the first 1,000 bytes, so a cut file still holds all of them.
  ASSERT_LT(ScoreAt(1, 4) + 20, 1000u);

  const struct {
    const char* name;
    std::vector<uint8_t> image;
    SaveProfile::LoadResult result;
    const char* logged;
    const char* kept;
  } kCases[] = {
      {"one flipped bit",
       [&] {
         auto i = good;
         i[ScoreAt(1, 2) + 1] ^= 0x10;
         return i;
       }(),
       SaveProfile::LoadResult::kDamaged, "is damaged (bad checksum)", "PDSG.raw.damaged"},
      {"4 trailing bytes",
       [&] {
         auto i = good;
         i.insert(i.end(), {1, 2, 3, 4});
         return i;
       }(),
       SaveProfile::LoadResult::kDamaged, "is damaged (1805 of 1804 bytes)", "PDSG.raw.damaged.2"},
      {"cut to 1,000 bytes", std::vector<uint8_t>(good.begin(), good.begin() + 1000),
       SaveProfile::LoadResult::kDamaged, "is damaged (1000 of 1804 bytes)", "PDSG.raw.damaged.3"},
      {"an older version with a correct CRC",
       [&] {
         auto i = good;
         bytewriter::PutU32(i, 4, 0);
         Reseal(i);
         return i;
       }(),
       SaveProfile::LoadResult::kDamaged, "is damaged (unknown version)", "PDSG.raw.damaged.4"},
      // A newer program's file is not damaged; it is kept all the same, under a name that says so.
      {"a newer version with a correct CRC",
       [&] {
         auto i = good;
         bytewriter::PutU32(i, 4, 2);
         Reseal(i);
         return i;
       }(),
       SaveProfile::LoadResult::kNewer, "is of a newer version (2)", "PDSG.raw.newer"},
      {"a newer and longer one",
       [&] {
         auto i = good;
         bytewriter::PutU32(i, 4, 7);
         i.resize(4000, 0x77);
         return i;
       }(),
       SaveProfile::LoadResult::kNewer, "is of a newer version (7)", "PDSG.raw.newer.2"},
  };
  std::vector<std::pair<std::string, std::vector<uint8_t>>> kept;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(bytewriter::SaveBytes("PDSG.raw", c.image));
    std::remove("Debug.log");
    SaveProfile profile;
    ASSERT_EQ(profile.Load(), c.result);
    EXPECT_TRUE(IsDefault(profile));
    EXPECT_TRUE(DebugLogContains(std::string("Save profile PDSG.raw ") + c.logged));
    EXPECT_EQ(DebugLogContains("damaged"), c.result == SaveProfile::LoadResult::kDamaged);
    EXPECT_TRUE(DebugLogContains("it is kept beside the new one at the next save"));
    EXPECT_EQ(ReadImage(), c.image) << "loading changes nothing";

    profile.RecordHighScore(1, 5);
    ASSERT_TRUE(profile.Save());
    EXPECT_TRUE(DebugLogContains(std::string("Save profile PDSG.raw kept as ") + c.kept +
                                 " before it is replaced"));
    kept.emplace_back(c.kept, c.image);
    for (const auto& [name, image] : kept) EXPECT_EQ(ReadImage(name), image) << name;
    SaveProfile reread;
    ASSERT_EQ(reread.Load(), SaveProfile::LoadResult::kLoaded);
    EXPECT_EQ(reread.GetHighScore(1, 0)->score, 5);

    // Kept once: the saves after it write over the new file alone.
    std::remove("Debug.log");
    ASSERT_TRUE(profile.Save());
    EXPECT_FALSE(DebugLogContains("kept as"));
  }
  // The player's scores are all in the first copy.
  ASSERT_TRUE(bytewriter::SaveBytes("PDSG.raw", ReadImage("PDSG.raw.damaged")));
  std::vector<uint8_t> repaired = ReadImage();
  repaired[ScoreAt(1, 2) + 1] ^= 0x10;
  EXPECT_EQ(repaired, good);
}

// The copy is made before anything is written: when it cannot be made, nothing is saved.
TEST_F(SaveProfileTest, ARefusedFileThatCannotBeKeptIsNotSavedOver) {
  SavedProfile();
  std::vector<uint8_t> image = ReadImage();
  image[ScoreAt(7, 0)] ^= 0x01;
  ASSERT_TRUE(bytewriter::SaveBytes("PDSG.raw", image));
  // Every name a copy could take is taken by an earlier copy, which must stay as it is.
  WriteFileText("PDSG.raw.damaged", "copy 1");
  for (int n = 2; n < 1000; ++n) WriteFileText("PDSG.raw.damaged." + std::to_string(n), "copy");
  SaveProfile profile;
  ASSERT_EQ(profile.Load(), SaveProfile::LoadResult::kDamaged);
  EXPECT_FALSE(profile.Save());
  EXPECT_TRUE(DebugLogContains(
      "Save profile PDSG.raw not saved: no copy of the old file could be kept (File exists)"));
  EXPECT_EQ(ReadImage(), image);
  EXPECT_EQ(ReadFileBytes("PDSG.raw.damaged"), "copy 1");
  EXPECT_EQ(ReadFileBytes("PDSG.raw.damaged.999"), "copy");

  // Once there is room, the copy is made and the save goes through.
  fs::remove("PDSG.raw.damaged.500");
  EXPECT_TRUE(profile.Save());
  EXPECT_EQ(ReadImage("PDSG.raw.damaged.500"), image);
}

// The copy is kept even when the save after it fails; the next save does not keep the file again
// (the old bytes are safe under the copy's name).
TEST_F(SaveProfileTest, AFailedSaveAfterTheCopyKeepsBoth) {
  SavedProfile();
  std::vector<uint8_t> image = ReadImage();
  image[kCrcAt] ^= 0x01;
  ASSERT_TRUE(bytewriter::SaveBytes("PDSG.raw", image));
  SaveProfile profile;
  ASSERT_EQ(profile.Load(), SaveProfile::LoadResult::kDamaged);
  std::remove("Debug.log");
  {
    // Room for the log's lines, not for the profile.
    FileSizeLimit limit(1000);
    EXPECT_FALSE(profile.Save());
  }
  EXPECT_TRUE(DebugLogContains("Save profile PDSG.raw kept as PDSG.raw.damaged"));
  EXPECT_TRUE(DebugLogContains("Unable to save PDSG.raw: File too large"));
  EXPECT_EQ(ReadImage(), image);
  EXPECT_EQ(ReadImage("PDSG.raw.damaged"), image);
  EXPECT_TRUE(profile.Save());
  EXPECT_FALSE(fs::exists("PDSG.raw.damaged.2"));
  EXPECT_EQ(ReadImage("PDSG.raw.damaged"), image);
  EXPECT_EQ(SaveProfile().Load(), SaveProfile::LoadResult::kLoaded);
}

// A refused file that the player moved away before the save leaves nothing to keep.
TEST_F(SaveProfileTest, ARefusedFileGoneBeforeTheSaveIsNotLookedFor) {
  ASSERT_TRUE(bytewriter::SaveBytes("PDSG.raw", std::vector<uint8_t>(10, 0xEE)));
  SaveProfile profile;
  ASSERT_EQ(profile.Load(), SaveProfile::LoadResult::kDamaged);
  fs::rename("PDSG.raw", "moved.raw");
  EXPECT_TRUE(profile.Save());
  EXPECT_FALSE(fs::exists("PDSG.raw.damaged"));
  EXPECT_EQ(SaveProfile().Load(), SaveProfile::LoadResult::kLoaded);
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

// The id of a process that has ended.
pid_t EndedProcess() {
  const pid_t pid = fork();
  if (pid == 0) _exit(0);
  waitpid(pid, nullptr, 0);
  return pid;
}

// Saves killed between the temporary and the rename leave "PDSG.raw.<pid>.<n>.tmp" behind; the
// next start removes those and nothing else.
TEST_F(SaveProfileTest, LoadRemovesTheTemporariesOfKilledSavesAndNothingElse) {
  SavedProfile();
  const std::string dead = std::to_string(EndedProcess());
  const std::string self = std::to_string(getpid());
  const std::string live = std::to_string(getppid());
  const std::vector<std::string> leftovers = {
      "PDSG.raw." + dead + ".0.tmp", "PDSG.raw." + dead + ".17.tmp", "PDSG.raw." + self + ".3.tmp"};
  const std::vector<std::string> others = {
      "PDSG.raw." + live + ".0.tmp",  // a write in progress in a process that runs
      "PDSG.raw." + dead + ".tmp",
      "PDSG.raw." + dead + ".x.tmp",
      "PDSG.raw." + dead + ".1.tmp.keep",
      "PDSG.raw.." + dead + ".1.tmp",
      "PDSG.raw.-" + dead + ".1.tmp",
      "PDSG.raw.damaged",
      "PDSG.raw.0.1.tmp",
      "PDSG.raw.99999999999999999999999.1.tmp",
      "pdsg.raw." + dead + ".1.tmp",
      "XPDSG.raw." + dead + ".1.tmp",
      "pdjp.cfg." + dead + ".1.tmp",
  };
  for (const std::string& name : leftovers) WriteFileText(name, "partial");
  for (const std::string& name : others) WriteFileText(name, "keep");
  // Not files: a folder and a link under a leftover's name stay as well.
  fs::create_directory("PDSG.raw." + dead + ".5.tmp");
  fs::create_symlink("PDSG.raw", "PDSG.raw." + dead + ".6.tmp");
  fs::create_directory("saves");
  WriteFileText("saves/PDSG.raw." + dead + ".1.tmp", "another folder's");

  SaveProfile profile;
  EXPECT_EQ(profile.Load(), SaveProfile::LoadResult::kLoaded);
  EXPECT_TRUE(DebugLogContains(
      "Removed 3 temporary file(s) of PDSG.raw left by saves that did not finish"));
  for (const std::string& name : leftovers) EXPECT_FALSE(fs::exists(name)) << name;
  for (const std::string& name : others) EXPECT_EQ(ReadFileBytes(name), "keep") << name;
  EXPECT_TRUE(fs::is_directory("PDSG.raw." + dead + ".5.tmp"));
  EXPECT_TRUE(fs::is_symlink("PDSG.raw." + dead + ".6.tmp"));
  EXPECT_TRUE(fs::exists("saves/PDSG.raw." + dead + ".1.tmp"));

  // Nothing left: nothing said.
  std::remove("Debug.log");
  EXPECT_EQ(profile.Load(), SaveProfile::LoadResult::kLoaded);
  EXPECT_FALSE(DebugLogContains("Removed"));
}

// A profile kept elsewhere and linked in: the save writes where the link leads, and the link
// stays a link.
TEST_F(SaveProfileTest, ALinkedProfileIsSavedThroughTheLink) {
  fs::create_directories("store/deeper");
  const std::string absolute = fs::absolute("store/deeper/real.raw").string();
  const struct {
    const char* name;
    std::vector<std::pair<std::string, std::string>> links;  // link, where it leads
    std::string target;
  } kCases[] = {
      {"relative", {{"PDSG.raw", "store/deeper/real.raw"}}, "store/deeper/real.raw"},
      {"absolute", {{"PDSG.raw", absolute}}, "store/deeper/real.raw"},
      // A chain whose second link is named from its own folder.
      {"chain",
       {{"PDSG.raw", "store/link.raw"}, {"store/link.raw", "deeper/real.raw"}},
       "store/deeper/real.raw"},
      // A link that leads nowhere yet: the first save makes its target.
      {"dangling", {{"PDSG.raw", "store/new.raw"}}, "store/new.raw"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    fs::remove("PDSG.raw");
    fs::remove("store/link.raw");
    fs::remove("store/new.raw");
    for (const auto& [link, to] : c.links) ASSERT_EQ(symlink(to.c_str(), link.c_str()), 0);
    if (std::string(c.name) != "dangling") SavedProfile();  // what the player had
    SaveProfile profile;
    profile.Load();
    profile.RecordHighScore(3, 777);
    ASSERT_TRUE(profile.Save());
    EXPECT_TRUE(fs::is_symlink("PDSG.raw"));
    for (const auto& [link, to] : c.links) EXPECT_EQ(fs::read_symlink(link).string(), to);
    SaveProfile reread;
    ASSERT_TRUE(reread.SetPath(c.target.c_str()));
    ASSERT_EQ(reread.Load(), SaveProfile::LoadResult::kLoaded);
    EXPECT_EQ(reread.GetHighScore(3, 0)->score, 777);
    // The temporary lay beside the target and went with the rename.
    for (const char* folder : {".", "store", "store/deeper"})
      for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
  }

  // A damaged profile behind a link is kept beside its target.
  fs::remove("PDSG.raw");
  ASSERT_EQ(symlink("store/deeper/real.raw", "PDSG.raw"), 0);
  std::vector<uint8_t> image = ReadImage();
  image[kUnlocksAt] ^= 0x02;
  ASSERT_TRUE(bytewriter::SaveBytes("store/deeper/real.raw", image));
  SaveProfile profile;
  ASSERT_EQ(profile.Load(), SaveProfile::LoadResult::kDamaged);
  ASSERT_TRUE(profile.Save());
  EXPECT_TRUE(DebugLogContains("kept as store/deeper/real.raw.damaged"));
  EXPECT_EQ(ReadImage("store/deeper/real.raw.damaged"), image);
  EXPECT_TRUE(fs::is_symlink("PDSG.raw"));

  // A loop of links leads nowhere: nothing is written, the links stay, and the log says why.
  fs::remove("PDSG.raw");
  ASSERT_EQ(symlink("loop.raw", "PDSG.raw"), 0);
  ASSERT_EQ(symlink("PDSG.raw", "loop.raw"), 0);
  EXPECT_EQ(profile.Load(), SaveProfile::LoadResult::kUnreadable);
  EXPECT_TRUE(DebugLogContains("(Too many levels of symbolic links)"));
  EXPECT_FALSE(profile.Save());
  EXPECT_TRUE(fs::is_symlink("PDSG.raw"));
  EXPECT_TRUE(fs::is_symlink("loop.raw"));
}

}  // namespace
