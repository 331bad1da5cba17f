#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "Engine/FileImage.h"
#include "Engine/PC/PCFileIO.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace {

struct Record {
  uint32_t id;
  float value;
};
static_assert(sizeof(Record) == 8);

class FileImageTest : public TempDirTest {
 protected:
  // 32 bytes, 8-aligned, filled with their own offsets.
  FileImageTest() : m_words(4) {
    auto* bytes = reinterpret_cast<unsigned char*>(m_words.data());
    for (int i = 0; i < 32; ++i) bytes[i] = static_cast<unsigned char>(i);
  }
  unsigned char* Bytes() { return reinterpret_cast<unsigned char*>(m_words.data()); }
  static std::vector<std::string> Log() { return ReadCrLfLines("Debug.log"); }

  std::vector<uint64_t> m_words;
};

TEST_F(FileImageTest, RecordsFitUpToTheLastByteAndNoFurther) {
  FileImage image(Bytes(), 32, "test.scn");
  EXPECT_TRUE(image.Valid());
  EXPECT_EQ(image.Get<uint32_t>(0), reinterpret_cast<const uint32_t*>(Bytes()));
  EXPECT_EQ(image.Get<uint64_t>(24), reinterpret_cast<const uint64_t*>(Bytes() + 24));
  EXPECT_EQ(image.Get<uint64_t>(28), nullptr);  // truncated: 4 of 8 bytes present
  EXPECT_EQ(image.Get<uint8_t>(31), Bytes() + 31);
  EXPECT_EQ(image.Get<uint8_t>(32), nullptr);  // exactly at the end
  EXPECT_EQ(image.Get<uint8_t>(UINT64_MAX), nullptr);
  EXPECT_EQ(image.Get<uint32_t>(0xFFFFFFFFu), nullptr);

  EXPECT_TRUE(image.Contains(32, 0));
  EXPECT_TRUE(image.Contains(0, 32));
  EXPECT_FALSE(image.Contains(1, 32));
  EXPECT_FALSE(image.Contains(33, 0));
  // offset + length wraps to 7 in 64 bits: must still be refused.
  EXPECT_FALSE(image.Contains(8, UINT64_MAX));
  EXPECT_FALSE(image.Contains(UINT64_MAX, 8));

  // Silent without a name for the item; one line each with one.
  EXPECT_TRUE(Log().empty());
  EXPECT_EQ(image.Get<uint64_t>(28, "header"), nullptr);
  EXPECT_FALSE(image.CheckRange(30, 4, "name table"));
  EXPECT_EQ(Log(), (std::vector<std::string>{
                       "test.scn: header out of range (offset 28, length 8, image size 32)\n",
                       "test.scn: name table out of range (offset 30, length 4, image size 32)\n"}));
}

TEST_F(FileImageTest, ArraysRefuseNegativeAndOverflowingCounts) {
  FileImage image(Bytes(), 32, "test.geo");
  EXPECT_EQ(image.GetArray<Record>(0, 4), reinterpret_cast<const Record*>(Bytes()));
  EXPECT_EQ(image.GetArray<Record>(8, 3), reinterpret_cast<const Record*>(Bytes() + 8));
  EXPECT_EQ(image.GetArray<Record>(8, 4), nullptr);
  EXPECT_EQ(image.GetArray<Record>(0, 5), nullptr);
  EXPECT_EQ(image.GetArray<Record>(0, -1), nullptr);
  EXPECT_EQ(image.GetArray<Record>(0, INT64_MIN), nullptr);
  // 0x20000001 × 8 wraps to 8 in 32 bits; 0x2000000000000001 × 8 wraps to 8 in 64 bits.
  EXPECT_EQ(image.GetArray<Record>(0, 0x20000001), nullptr);
  EXPECT_EQ(image.GetArray<Record>(0, 0x2000000000000001), nullptr);
  EXPECT_EQ(image.GetStrided(0, 0x40000001, 4), nullptr);           // × 4 wraps to 4 in 32 bits
  EXPECT_EQ(image.GetStrided(0, 2, 0x8000000000000001ull), nullptr);  // × 2 wraps to 2 in 64 bits
  // A count read as unsigned 32-bit and one read as signed 32-bit (-1).
  uint32_t unsignedCount = 0xFFFFFFFFu;
  int32_t signedCount = -1;
  EXPECT_EQ(image.GetArray<uint8_t>(0, unsignedCount), nullptr);
  EXPECT_EQ(image.GetArray<uint8_t>(0, signedCount), nullptr);
  // Empty arrays are fine anywhere up to the end.
  EXPECT_EQ(image.GetArray<Record>(32, 0), reinterpret_cast<const Record*>(Bytes() + 32));
  EXPECT_EQ(image.GetArray<Record>(40, 0), nullptr);
  // Stride: vertex records of 12 bytes.
  EXPECT_EQ(image.GetStrided(8, 2, 12), Bytes() + 8);
  EXPECT_EQ(image.GetStrided(9, 2, 12), nullptr);
  EXPECT_EQ(image.GetStrided(0, 1, 0), nullptr);

  EXPECT_EQ(image.GetArray<Record>(8, 0x20000001, "mesh records"), nullptr);
  EXPECT_EQ(image.GetArray<Record>(8, -3, "bones"), nullptr);
  EXPECT_EQ(Log(), (std::vector<std::string>{
                       "test.geo: mesh records out of range (offset 8, count 536870913, "
                       "record size 8, image size 32)\n",
                       "test.geo: bones out of range (offset 8, count -3, record size 8, "
                       "image size 32)\n"}));
}

TEST_F(FileImageTest, TypedPointersNeedAlignmentButReadCopiesFromAnywhere) {
  FileImage image(Bytes(), 32, "test.anm");
  EXPECT_EQ(image.Get<uint32_t>(2), nullptr);
  EXPECT_EQ(image.GetArray<float>(6, 2), nullptr);
  uint32_t value = 0;
  ASSERT_TRUE(image.Read(2, &value));
  EXPECT_EQ(value, 0x05040302u);  // bytes 2..5, little-endian
  value = 7;
  EXPECT_FALSE(image.Read(29, &value));
  EXPECT_EQ(value, 7u);  // untouched on failure
  EXPECT_EQ(image.Get<uint32_t>(2, "track"), nullptr);
  EXPECT_EQ(Log(), (std::vector<std::string>{"test.anm: track misaligned (offset 2, alignment 4)\n"}));
}

TEST_F(FileImageTest, StringsMustEndInsideTheImage) {
  char text[] = {'a', 'b', 0, ' ', 'x', 'y', 'z'};
  FileImage image(text, sizeof(text), "test.ps2");
  EXPECT_STREQ(image.GetString(0), "ab");
  EXPECT_STREQ(image.GetString(2), "");
  EXPECT_EQ(image.GetString(3), nullptr);  // runs off the end
  EXPECT_EQ(image.GetString(7), nullptr);  // exactly at the end
  EXPECT_EQ(image.GetString(UINT64_MAX), nullptr);
  EXPECT_EQ(image.GetString(4, "emitter name"), nullptr);
  EXPECT_EQ(image.GetString(9, "texture name"), nullptr);
  EXPECT_EQ(Log(), (std::vector<std::string>{
                       "test.ps2: emitter name has no terminator inside the image (offset 4, "
                       "image size 7)\n",
                       "test.ps2: texture name out of range (offset 9, length 1, image size 7)\n"}));
}

TEST_F(FileImageTest, SubImagesCountFromTheirStartAndStayInside) {
  FileImage image(Bytes(), 32, "test.wft");
  FileImage block = image.Sub(8, 16, "font block");
  ASSERT_TRUE(block.Valid());
  EXPECT_EQ(block.Size(), 16u);
  EXPECT_STREQ(block.Name(), "test.wft");
  EXPECT_EQ(block.Get<uint8_t>(0), Bytes() + 8);
  EXPECT_EQ(*block.Get<uint8_t>(15), 23);
  EXPECT_EQ(block.Get<uint8_t>(16), nullptr);  // the parent's byte 24 lies outside the block
  FileImage nested = block.Sub(8, 8);
  ASSERT_TRUE(nested.Valid());
  EXPECT_EQ(nested.Get<uint64_t>(0), reinterpret_cast<const uint64_t*>(Bytes() + 16));

  FileImage tail = image.SubToEnd(24);
  EXPECT_EQ(tail.Size(), 8u);
  EXPECT_EQ(tail.Get<uint8_t>(0), Bytes() + 24);
  EXPECT_EQ(image.SubToEnd(32).Size(), 0u);

  // Failed blocks are empty views that refuse everything but keep the file's name.
  FileImage bad = image.Sub(24, 16, "skeleton block");
  EXPECT_FALSE(bad.Valid());
  EXPECT_EQ(bad.Get<uint8_t>(0), nullptr);
  EXPECT_EQ(bad.GetString(0), nullptr);
  EXPECT_FALSE(image.Sub(UINT64_MAX, 2).Valid());
  EXPECT_FALSE(image.SubToEnd(33).Valid());
  bad.LogOutOfRange("bone table", 4, 12);
  EXPECT_EQ(Log(), (std::vector<std::string>{
                       "test.wft: skeleton block out of range (offset 24, length 16, image size "
                       "32)\n",
                       "test.wft: bone table out of range (offset 4, length 12, image size 0)\n"}));
}

TEST_F(FileImageTest, MutableAccessOnlyThroughAWritableView) {
  FileImage image(Bytes(), 32, "test.anm");
  uint32_t* relocated = image.GetMutable<uint32_t>(4);
  ASSERT_NE(relocated, nullptr);
  *relocated = 1;
  EXPECT_EQ(*image.Get<uint32_t>(4), 1u);
  EXPECT_EQ(image.GetMutableArray<uint32_t>(0, 9), nullptr);

  const unsigned char* constBytes = Bytes();
  FileImage readOnly(static_cast<const void*>(constBytes), 32, "const.anm");
  EXPECT_FALSE(readOnly.Writable());
  EXPECT_NE(readOnly.Get<uint32_t>(4), nullptr);
  EXPECT_EQ(readOnly.GetMutable<uint32_t>(4, "relocated word"), nullptr);
  EXPECT_FALSE(readOnly.Sub(0, 8).Writable());
  EXPECT_EQ(Log(), (std::vector<std::string>{"const.anm: relocated word is in a read-only image\n"}));

  // Empty views refuse everything.
  FileImage empty;
  EXPECT_FALSE(empty.Valid());
  EXPECT_FALSE(empty.Contains(0, 0));
  EXPECT_EQ(empty.GetArray<uint8_t>(0, 0), nullptr);
}

TEST_F(FileImageTest, LongNamesKeepTheirEndAndLoadedFilesCanBeViewed) {
  std::string longName = std::string(100, 'd') + "\\model.geo";
  FileImage named(Bytes(), 32, longName.c_str());
  std::string kept = named.Name();
  EXPECT_LT(kept.size(), FileImage::kNameSize);
  EXPECT_EQ(kept.substr(0, 3), "...");
  EXPECT_EQ(kept.substr(kept.size() - 10), "\\model.geo");

  WriteFileText("tiny.bin", std::string("\x02\x00\x00\x00hi\x00", 7));
  int32_t size = 0;
  void* data = FileIO::LoadFile("tiny.bin", &size);
  ASSERT_NE(data, nullptr);
  FileImage image(data, static_cast<size_t>(size), "tiny.bin");
  const uint32_t* count = image.Get<uint32_t>(0);
  ASSERT_NE(count, nullptr);
  EXPECT_EQ(*count, 2u);
  EXPECT_STREQ(image.GetString(4), "hi");
  EXPECT_EQ(image.GetArray<uint8_t>(4, *count + 2), nullptr);
  GlobalFileIO().FreeFileMemory(data);
}

}  // namespace
