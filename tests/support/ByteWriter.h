#pragma once
// Little-endian file images: the one place the format writers put and read their words. Puts
// past the end grow the image with zeros, so a writer can fill a record before its tail exists;
// reads past the end see zeros, so a test can probe a cut image safely.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace bytewriter {

inline void PutU16(std::vector<uint8_t>& image, size_t offset, uint16_t value) {
  if (image.size() < offset + 2) image.resize(offset + 2);
  image[offset] = static_cast<uint8_t>(value);
  image[offset + 1] = static_cast<uint8_t>(value >> 8);
}

inline void PutU32(std::vector<uint8_t>& image, size_t offset, uint32_t value) {
  if (image.size() < offset + 4) image.resize(offset + 4);
  for (int i = 0; i < 4; ++i) image[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

inline void PutF32(std::vector<uint8_t>& image, size_t offset, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  PutU32(image, offset, bits);
}

// The same, for writers whose callers hold the image by pointer.
inline void PutU16(std::vector<uint8_t>* image, size_t offset, uint16_t value) {
  PutU16(*image, offset, value);
}
inline void PutU32(std::vector<uint8_t>* image, size_t offset, uint32_t value) {
  PutU32(*image, offset, value);
}
inline void PutF32(std::vector<uint8_t>* image, size_t offset, float value) {
  PutF32(*image, offset, value);
}

inline void PutF32s(std::vector<uint8_t>& image, size_t offset, const float* values, size_t n) {
  for (size_t i = 0; i < n; ++i) PutF32(image, offset + 4 * i, values[i]);
}

inline uint32_t GetU32(const std::vector<uint8_t>& image, size_t offset) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4 && offset + i < image.size(); ++i)
    value |= static_cast<uint32_t>(image[offset + i]) << (8 * i);
  return value;
}

// Pads the image with zeros to a multiple of `alignment`; the new size.
inline size_t Align(std::vector<uint8_t>& image, size_t alignment) {
  while (image.size() % alignment) image.push_back(0);
  return image.size();
}

// Appends a NUL-terminated string; its offset.
inline size_t AppendString(std::vector<uint8_t>& image, const std::string& text) {
  const size_t offset = image.size();
  image.insert(image.end(), text.begin(), text.end());
  image.push_back(0);
  return offset;
}

// Writes a file (its folders are created); false when it cannot be written.
inline bool SaveBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::error_code error;
  const std::filesystem::path file(path);
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), error);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace bytewriter
