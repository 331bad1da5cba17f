#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "Engine/CRC32.h"
#include "Engine/DataFolder.h"
#include "Engine/MemoryTracker.h"

namespace {

// Bit by bit from the polynomial, sharing nothing with the table code.
uint32_t SlowCrc(const unsigned char* p, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int bit = 0; bit < 8; ++bit) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
  }
  return ~c;
}

class CRC32Test : public ::testing::Test {
 protected:
  void SetUp() override { SetDataFolder(nullptr); }
  void TearDown() override {
    SetDataFolder(nullptr);
    EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("CRC32::CreateHash"), 0u);
  }
};

TEST_F(CRC32Test, PlainRoutineGivesTheStandardValues) {
  EXPECT_EQ(CRC32::Compute("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(CRC32::Compute("abc", 3), 0x352441C2u);
  EXPECT_EQ(CRC32::Compute("", 0), 0u);
  EXPECT_EQ(CRC32::Compute("The quick brown fox jumps over the lazy dog", 43), 0x414FA339u);
  // Chained pieces give the CRC of the whole.
  EXPECT_EQ(CRC32::Compute("6789", 4, CRC32::Compute("12345", 5)), 0xCBF43926u);
  EXPECT_EQ(CRC32::Table()[0], 0u);
  EXPECT_EQ(CRC32::Table()[128], 0xEDB88320u);

  // Every length and start alignment around the eight-byte steps, against the bitwise routine.
  std::vector<unsigned char> data(300);
  uint32_t x = 12345;
  for (unsigned char& b : data) b = static_cast<unsigned char>((x = x * 1103515245u + 12345u) >> 24);
  for (size_t start = 0; start < 9; ++start)
    for (size_t n = 0; n + start <= data.size(); n += (n < 40 ? 1 : 37))
      ASSERT_EQ(CRC32::Compute(data.data() + start, n), SlowCrc(data.data() + start, n))
          << "start " << start << " length " << n;
}

TEST_F(CRC32Test, ChecksumSkipsTheFirstTenCharacters) {
  std::string eleven = "0123456789Z";
  for (size_t n = 0; n <= 10; ++n) EXPECT_EQ(CRC32::Checksum(eleven.c_str(), n), 0u) << n;
  EXPECT_EQ(CRC32::Checksum(eleven.c_str(), 11), CRC32::Compute("Z", 1));
  EXPECT_EQ(CRC32::Checksum("0123456789abc", 13), 0x352441C2u);
  EXPECT_EQ(CRC32::Checksum("data\\frontabc", 13), 0x352441C2u);
}

TEST_F(CRC32Test, IdentifierHashesTheProgramPathAsWritten) {
  EXPECT_EQ(CRC32::CreateHash(""), 0u);
  EXPECT_EQ(CRC32::CreateHash("data\\a.dd"), 0u);   // 9 characters
  EXPECT_EQ(CRC32::CreateHash("data\\a.dds"), 0u);  // 10 characters
  EXPECT_EQ(CRC32::CreateHash("xxxxxxxxxxabc"), 0x352441C2u);
  // Only the first ten characters may differ without effect.
  EXPECT_EQ(CRC32::CreateHash("DATA/FRONT\\menu.dds"), CRC32::CreateHash("data\\front\\menu.dds"));
  EXPECT_NE(CRC32::CreateHash("data\\front\\Menu.dds"), CRC32::CreateHash("data\\front\\menu.dds"));
  // Backslash and slash are different bytes: no mapping to the host's separator.
  EXPECT_NE(CRC32::CreateHash("data\\front\\a\\b.dds"), CRC32::CreateHash("data\\front\\a/b.dds"));
  EXPECT_EQ(CRC32::CreateHash("data\\front\\menu.dds"),
            SlowCrc(reinterpret_cast<const unsigned char*>("\\menu.dds"), 9));
}

TEST_F(CRC32Test, PrefixIsPartOfTheIdentifier) {
  const char* name = "models\\boat.geo";
  uint32_t bare = CRC32::CreateHash(name);

  SetDataFolder("data\\DivingGame\\");
  uint32_t diving = CRC32::CreateHash(name);
  std::string joined = std::string("data\\DivingGame\\") + name;
  EXPECT_EQ(diving, CRC32::Checksum(joined.c_str(), joined.size()));
  EXPECT_EQ(diving, SlowCrc(reinterpret_cast<const unsigned char*>(joined.c_str()) + 10,
                            joined.size() - 10));

  SetDataFolder("data\\SkiGame\\");
  uint32_t ski = CRC32::CreateHash(name);
  EXPECT_NE(ski, diving);
  EXPECT_NE(ski, bare);

  // A prefix of ten or more characters alone already makes short names hash.
  SetDataFolder("data\\Frontend\\");
  EXPECT_NE(CRC32::CreateHash("a"), 0u);
  EXPECT_EQ(CRC32::CreateHash("a"), CRC32::Compute("end\\a", 5));
}

}  // namespace
