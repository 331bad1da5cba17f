// The WAV reader on files made by the test writer: what it finds in good files, and one "SOUND"
// line and a refusal for every broken one. Each image is read from a block of exactly its size,
// so that the sanitizer run sees any read past the end.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/ByteWriter.h"
#include "tests/support/WavWriter.h"
#include "torvid/include/audio/tPlatform.h"
#include "torvid/include/audio/tWavReader.h"

namespace {

using Torvid_lib::tWavInfo;
using wavwriter::Format;

std::vector<std::string> g_lines;

class WavReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_lines.clear();
    Torvid_lib::tPlatformHooks hooks = Torvid_lib::tDefaultPlatformHooks();
    hooks.log = [](const char* line) { g_lines.emplace_back(line); };
    Torvid_lib::tSetPlatformHooks(&hooks);
  }
  void TearDown() override { Torvid_lib::tSetPlatformHooks(nullptr); }

  static bool Read(const std::vector<uint8_t>& image, tWavInfo* info) {
    auto exact = std::make_unique<uint8_t[]>(image.size() + !image.size());
    if (!image.empty()) std::memcpy(exact.get(), image.data(), image.size());
    return Torvid_lib::tReadWav(exact.get(), image.size(), "test.wav", info);
  }
  // A refusal: false, the output untouched, and one line naming the file.
  static void ExpectRefused(const std::vector<uint8_t>& image, const std::string& what,
                            const char* reason = "") {
    g_lines.clear();
    tWavInfo info;
    info.frames = 12345;
    EXPECT_FALSE(Read(image, &info)) << what;
    EXPECT_EQ(info.frames, 12345u) << what;
    ASSERT_EQ(g_lines.size(), 1u) << what;
    EXPECT_EQ(g_lines[0].rfind("SOUND: test.wav: ", 0), 0u) << what << ": " << g_lines[0];
    EXPECT_NE(g_lines[0].find(reason), std::string::npos) << what << ": " << g_lines[0];
  }
};

std::vector<uint8_t> Ramp(size_t bytes) {
  std::vector<uint8_t> data(bytes);
  for (size_t i = 0; i < bytes; ++i) data[i] = static_cast<uint8_t>(i * 7 + 3);
  return data;
}

Format Pcm(uint16_t channels, uint32_t rate, uint16_t bits) {
  Format format;
  format.channels = channels;
  format.rate = rate;
  format.bits = bits;
  return format;
}

struct Chunk {
  const char* id;
  std::vector<uint8_t> body;
};

std::vector<uint8_t> Wave(const std::vector<Chunk>& list) {
  std::vector<uint8_t> chunks;
  for (const Chunk& chunk : list) wavwriter::AppendChunk(chunks, chunk.id, chunk.body);
  return wavwriter::RiffWave(chunks);
}

// fmt, an odd-sized unknown chunk, data (odd-sized too), and a list chunk after the data.
std::vector<uint8_t> PaddedFile(const std::vector<uint8_t>& samples) {
  return Wave({{"fmt ", wavwriter::FormatBody(Pcm(1, 11025, 8))},
               {"junk", Ramp(3)},
               {"data", samples},
               {"LIST", Ramp(9)}});
}

TEST_F(WavReaderTest, GoodFilesGiveTheirFormatAndWholeFramesOfData) {
  const std::vector<uint8_t> samples = Ramp(101);
  std::vector<uint8_t> fmt18 = wavwriter::FormatBody(Pcm(2, 22050, 16));
  fmt18.resize(18);  // with the extension size word
  std::vector<uint8_t> trailing = wavwriter::WriteWav(Pcm(1, 44100, 16), samples.data(), 100);
  trailing.insert(trailing.end(), {'J', 'U', 'N', 'K', 0xFF});
  // The last chunk's pad byte left out, as some writers do, with the RIFF size to match.
  std::vector<uint8_t> unpadded = wavwriter::WriteWav(Pcm(1, 8000, 8), samples.data(), 101);
  unpadded.pop_back();
  bytewriter::PutU32(unpadded, wavwriter::kOffsetRiffSize, uint32_t(unpadded.size() - 8));

  const std::vector<uint8_t> mono8 = wavwriter::WriteWav(Pcm(1, 11025, 8), samples.data(), 101);
  const std::vector<uint8_t> stray = wavwriter::WriteWav(Pcm(2, 44100, 16), samples.data(), 101);
  struct Data {
    uint32_t dataOffset, frames, dataBytes;
  };
  const struct {
    const char* what;
    std::vector<uint8_t> image;
    plat::PcmFormat format;
    Data data;
  } cases[] = {
      {"8-bit mono", mono8, {11025, 1, 8}, {44, 101, 101}},
      {"16-bit stereo, a stray byte", stray, {44100, 2, 16}, {44, 25, 100}},
      {"padded unknown chunks", PaddedFile(samples), {11025, 1, 8}, {56, 101, 101}},
      {"18-byte fmt", Wave({{"fmt ", fmt18}, {"data", samples}}), {22050, 2, 16}, {46, 25, 100}},
      {"bytes after the RIFF", trailing, {44100, 1, 16}, {44, 50, 100}},
      {"last pad byte missing", unpadded, {8000, 1, 8}, {44, 101, 101}},
  };
  for (const auto& c : cases) {
    g_lines.clear();
    tWavInfo info;
    ASSERT_TRUE(Read(c.image, &info)) << c.what << ": " << (g_lines.empty() ? "" : g_lines[0]);
    EXPECT_TRUE(g_lines.empty()) << c.what;
    EXPECT_EQ(info.format.rate, c.format.rate) << c.what;
    EXPECT_EQ(info.format.channels, c.format.channels) << c.what;
    EXPECT_EQ(info.format.bits, c.format.bits) << c.what;
    EXPECT_EQ(info.dataOffset, c.data.dataOffset) << c.what;
    EXPECT_EQ(info.frames, c.data.frames) << c.what;
    EXPECT_EQ(info.dataBytes, c.data.dataBytes) << c.what;
    EXPECT_EQ(std::memcmp(&c.image[info.dataOffset], samples.data(), info.dataBytes), 0) << c.what;
  }
}

TEST_F(WavReaderTest, EveryTruncationIsRefused) {
  const std::vector<uint8_t> whole = PaddedFile(Ramp(33));
  tWavInfo info;
  ASSERT_TRUE(Read(whole, &info));
  for (size_t size = 0; size < whole.size(); ++size)
    ExpectRefused(std::vector<uint8_t>(whole.begin(), whole.begin() + size),
                  "cut at " + std::to_string(size));
}

TEST_F(WavReaderTest, BrokenHeadersAndChunksAreRefused) {
  const std::vector<uint8_t> samples = Ramp(64);
  const std::vector<uint8_t> good = wavwriter::WriteWav(Pcm(2, 22050, 16), samples.data(), 64);
  auto patched = [&](size_t offset, uint32_t value, int bytes = 4) {
    std::vector<uint8_t> image = good;
    if (bytes == 4) bytewriter::PutU32(image, offset, value);
    if (bytes == 2) bytewriter::PutU16(image, offset, uint16_t(value));
    return image;
  };
  auto withFormat = [&](Format format) {
    return wavwriter::WriteWav(format, samples.data(), samples.size());
  };
  Format misaligned = Pcm(2, 22050, 16);
  misaligned.blockAlign = 2;
  const std::vector<uint8_t> fmt = wavwriter::FormatBody(Pcm(2, 22050, 16));
  const std::vector<uint8_t> fmtMono = wavwriter::FormatBody(Pcm(1, 22050, 16));
  using wavwriter::kOffsetRiffSize;
  // A list chunk after the RIFF's end, whose header the RIFF size cuts in two.
  std::vector<uint8_t> headerAcrossEnd = good;
  wavwriter::AppendChunk(headerAcrossEnd, "LIST", Ramp(4));
  bytewriter::PutU32(headerAcrossEnd, kOffsetRiffSize, uint32_t(good.size() - 8 + 4));
  std::vector<uint8_t> hugeUnknown = Wave({{"fmt ", fmt}, {"junk", Ramp(4)}, {"data", samples}});
  bytewriter::PutU32(hugeUnknown, 40, 0xFFFFFFF0u);  // the junk chunk's size

  const struct {
    const char* what;
    std::vector<uint8_t> image;
    const char* reason;
  } cases[] = {
      {"not RIFF", patched(0, 0x46464952u + 1), "not a RIFF WAVE"},
      {"not WAVE", patched(8, 0x45564157u + 1), "not a RIFF WAVE"},
      {"RIFF size past the end", patched(kOffsetRiffSize, uint32_t(good.size())), "RIFF size"},
      {"RIFF size 0", patched(kOffsetRiffSize, 0), "RIFF size"},
      {"RIFF size ends inside the fmt chunk", patched(kOffsetRiffSize, 20), "past the end"},
      {"data past the RIFF end", patched(kOffsetRiffSize, uint32_t(good.size() - 10)),
       "past the end"},
      {"chunk header across the RIFF end", headerAcrossEnd, "past the end"},
      {"fmt chunk shorter than its fields", patched(wavwriter::kOffsetFmtSize, 14), "fmt"},
      {"fmt chunk past the end", patched(wavwriter::kOffsetFmtSize, 0xFFFFFFFFu), "past the end"},
      {"data past the end", patched(wavwriter::kOffsetDataSize, 65), "past the end"},
      {"data size near 4 GB", patched(wavwriter::kOffsetDataSize, 0xFFFFFFFEu), "past the end"},
      {"unknown chunk past the end", hugeUnknown, "past the end"},
      {"fmt after data", Wave({{"data", samples}, {"fmt ", fmt}}), "before the fmt"},
      {"two fmt chunks", Wave({{"fmt ", fmt}, {"fmt ", fmtMono}, {"data", samples}}), "fmt"},
      {"two data chunks", Wave({{"fmt ", fmt}, {"data", samples}, {"data", samples}}), "data"},
      {"no data chunk", Wave({{"fmt ", fmt}}), "data"},
      {"no fmt chunk", Wave({{"data", samples}}), "fmt"},
      {"float samples", patched(wavwriter::kOffsetFormatTag, 3, 2), "PCM"},
      {"extensible format", patched(wavwriter::kOffsetFormatTag, 0xFFFE, 2), "PCM"},
      {"24-bit", withFormat(Pcm(2, 22050, 24)), "bits"},
      {"0 channels", patched(wavwriter::kOffsetChannels, 0, 2), "channel"},
      {"3 channels", withFormat(Pcm(3, 22050, 16)), "channel"},
      {"rate 0", withFormat(Pcm(2, 0, 16)), "rate"},
      {"rate too high", withFormat(Pcm(2, 400000, 16)), "rate"},
      {"block align mismatch", withFormat(misaligned), "block align"},
      {"no whole frame", wavwriter::WriteWav(Pcm(2, 22050, 16), samples.data(), 3), "frame"},
      {"empty data", wavwriter::WriteWav(Pcm(1, 22050, 8), samples.data(), 0), "frame"},
  };
  for (const auto& c : cases) ExpectRefused(c.image, c.what, c.reason);
}

TEST_F(WavReaderTest, NoBytesOrNoOutputIsRefusedWithALine) {
  tWavInfo info;
  EXPECT_FALSE(Torvid_lib::tReadWav(nullptr, 44, "test.wav", &info));
  const std::vector<uint8_t> good = wavwriter::WriteWav(Pcm(1, 22050, 8), "abcd", 4);
  EXPECT_FALSE(Torvid_lib::tReadWav(good.data(), good.size(), "test.wav", nullptr));
  EXPECT_EQ(g_lines.size(), 2u);
}

}  // namespace
