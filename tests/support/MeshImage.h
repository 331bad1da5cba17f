#pragma once
// A mesh record made in memory, as the geometry loader finds one in a ".geo" image: the record
// at offset 0, its vertices, indices, strips and weights appended behind it.

#include <cstdint>
#include <cstring>
#include <vector>

#include "Engine/PC/PCGeoObject.h"

struct MeshImage {
  GeoMeshFileRecord record{};
  std::vector<uint8_t> tail;

  MeshImage() {
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::memcpy(record.matrix, identity, sizeof(identity));
  }
  // Appends the items (4-byte aligned) and returns their offset in the image.
  template <class T>
  uint32_t Append(const std::vector<T>& items) {
    while (tail.size() % 4) tail.push_back(0);
    const uint32_t offset = static_cast<uint32_t>(sizeof(GeoMeshFileRecord) + tail.size());
    const auto* p = reinterpret_cast<const uint8_t*>(items.data());
    tail.insert(tail.end(), p, p + items.size() * sizeof(T));
    return offset;
  }
  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> bytes(sizeof(record));
    std::memcpy(bytes.data(), &record, sizeof(record));
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
  }
};
