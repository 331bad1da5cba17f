#pragma once
// RIFF WAVE file images for tests and for the demo data's sound banks: PCM 8-bit unsigned or
// 16-bit signed, mono or stereo, any rate. Files are put together from chunks, so that a test can
// add unknown chunks, reorder them or break one field and see the reader refuse it. Header-only.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/ByteWriter.h"

namespace wavwriter {

// The "fmt " fields. Zero block align or bytes per second are computed from the others.
struct Format {
  uint16_t formatTag = 1;
  uint16_t channels = 1;
  uint32_t rate = 22050;
  uint16_t bits = 16;
  uint16_t blockAlign = 0;
  uint32_t bytesPerSecond = 0;
};

// Byte offsets in a file made by WriteWav: the RIFF header, then "fmt " (16 bytes of body),
// then "data".
constexpr size_t kOffsetRiffSize = 4;
constexpr size_t kOffsetFmtChunk = 12;
constexpr size_t kOffsetFmtSize = 16;
constexpr size_t kOffsetFormatTag = 20;
constexpr size_t kOffsetChannels = 22;
constexpr size_t kOffsetRate = 24;
constexpr size_t kOffsetBytesPerSecond = 28;
constexpr size_t kOffsetBlockAlign = 32;
constexpr size_t kOffsetBits = 34;
constexpr size_t kOffsetDataChunk = 36;
constexpr size_t kOffsetDataSize = 40;
constexpr size_t kOffsetData = 44;

inline std::vector<uint8_t> FormatBody(const Format& format) {
  const uint16_t blockAlign = format.blockAlign
                                  ? format.blockAlign
                                  : static_cast<uint16_t>(format.channels * (format.bits / 8));
  const uint32_t bytesPerSecond =
      format.bytesPerSecond ? format.bytesPerSecond : format.rate * blockAlign;
  std::vector<uint8_t> body;
  bytewriter::PutU16(body, 0, format.formatTag);
  bytewriter::PutU16(body, 2, format.channels);
  bytewriter::PutU32(body, 4, format.rate);
  bytewriter::PutU32(body, 8, bytesPerSecond);
  bytewriter::PutU16(body, 12, blockAlign);
  bytewriter::PutU16(body, 14, format.bits);
  return body;
}

// Appends a chunk: its id, the body's size, the body and, after an odd-sized body, a pad byte.
inline void AppendChunk(std::vector<uint8_t>& chunks, const char* id, const void* body,
                        size_t size) {
  const size_t at = chunks.size();
  chunks.resize(at + 8);
  std::memcpy(&chunks[at], id, 4);
  bytewriter::PutU32(chunks, at + 4, static_cast<uint32_t>(size));
  const auto* bytes = static_cast<const uint8_t*>(body);
  chunks.insert(chunks.end(), bytes, bytes + size);
  if (size & 1) chunks.push_back(0);
}
inline void AppendChunk(std::vector<uint8_t>& chunks, const char* id,
                        const std::vector<uint8_t>& body) {
  AppendChunk(chunks, id, body.data(), body.size());
}

// "RIFF", its size, "WAVE" and the chunks.
inline std::vector<uint8_t> RiffWave(const std::vector<uint8_t>& chunks) {
  // Sized once and copied into: g++ 12 misreads an insert after a 12-byte vector as an overrun.
  std::vector<uint8_t> image(12 + chunks.size());
  std::memcpy(&image[0], "RIFF", 4);
  bytewriter::PutU32(image, kOffsetRiffSize, static_cast<uint32_t>(4 + chunks.size()));
  std::memcpy(&image[8], "WAVE", 4);
  if (!chunks.empty()) std::memcpy(&image[12], chunks.data(), chunks.size());
  return image;
}

// A plain file: "fmt " then "data" holding `bytes` bytes of samples.
inline std::vector<uint8_t> WriteWav(const Format& format, const void* samples, size_t bytes) {
  std::vector<uint8_t> chunks;
  AppendChunk(chunks, "fmt ", FormatBody(format));
  AppendChunk(chunks, "data", samples, bytes);
  return RiffWave(chunks);
}

inline std::vector<uint8_t> WriteWav16(const std::vector<int16_t>& samples, int channels,
                                       uint32_t rate) {
  Format format;
  format.channels = static_cast<uint16_t>(channels);
  format.rate = rate;
  format.bits = 16;
  std::vector<uint8_t> body;
  body.reserve(samples.size() * 2);
  for (size_t i = 0; i < samples.size(); ++i)
    bytewriter::PutU16(body, 2 * i, static_cast<uint16_t>(samples[i]));
  return WriteWav(format, body.data(), body.size());
}

inline std::vector<uint8_t> WriteWav8(const std::vector<uint8_t>& samples, int channels,
                                      uint32_t rate) {
  Format format;
  format.channels = static_cast<uint16_t>(channels);
  format.rate = rate;
  format.bits = 8;
  return WriteWav(format, samples.data(), samples.size());
}

}  // namespace wavwriter
