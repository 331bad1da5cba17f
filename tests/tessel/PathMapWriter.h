#pragma once
// Garden path-map files ("levelN_junctionmap.bin", "levelN_intermediatemap.bin") for the demo
// data and the tests: a little-endian record count, then 40 bytes a record. The writer packs each
// field at its byte offset itself rather than borrowing the game's record, so that a layout
// mistake on either side shows.
//
// A record holds a position as ground x, height, ground y (in that order) and four links by
// direction: +y, -y, -x, +x, each the index of another record of the same file or -1.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace pathmapwriter {

constexpr uint32_t kEnemyStart = 1;
constexpr uint32_t kPlayerStart = 8;
constexpr size_t kHeaderBytes = 4;
constexpr size_t kRecordBytes = 40;
enum Link { kPlusY = 0, kMinusY = 1, kMinusX = 2, kPlusX = 3 };

struct Record {
  uint32_t unused = 0;
  uint32_t flags = 0;
  float x = 0.0f;
  float height = 0.0f;
  float y = 0.0f;
  float w = 1.0f;
  int32_t links[4] = {-1, -1, -1, -1};
};

inline void PutWord(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = uint8_t(v >> (8 * i));
}
inline void PutFloat(std::vector<uint8_t>& out, size_t at, float f) {
  uint32_t v;
  std::memcpy(&v, &f, 4);
  PutWord(out, at, v);
}

// The file's bytes; `count` overrides the record count written in the header (for bad files).
inline std::vector<uint8_t> Write(const std::vector<Record>& records, int64_t count = -1) {
  std::vector<uint8_t> out(kHeaderBytes + kRecordBytes * records.size(), 0);
  PutWord(out, 0, count < 0 ? uint32_t(records.size()) : uint32_t(count));
  for (size_t k = 0; k < records.size(); ++k) {
    const Record& r = records[k];
    const size_t at = kHeaderBytes + kRecordBytes * k;
    PutWord(out, at + 0, r.unused);
    PutWord(out, at + 4, r.flags);
    PutFloat(out, at + 8, r.x);
    PutFloat(out, at + 12, r.height);
    PutFloat(out, at + 16, r.y);
    PutFloat(out, at + 20, r.w);
    for (int d = 0; d < 4; ++d) PutWord(out, at + 24 + 4 * size_t(d), uint32_t(r.links[d]));
  }
  return out;
}

inline bool SaveBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return bool(file);
}

inline bool Save(const std::string& path, const std::vector<Record>& records) {
  return SaveBytes(path, Write(records));
}

// A rectangular grid of paths: the lines x = xs[i] and y = ys[j], with a record every `step`
// along each line (every crossing included; with `step` 0, only the crossings). Links join
// neighbours along the lines.
inline std::vector<Record> Grid(const std::vector<float>& xs, const std::vector<float>& ys,
                                float step) {
  std::vector<Record> records;
  std::map<std::pair<long, long>, int32_t> index;
  auto add = [&](float x, float y) {
    const std::pair<long, long> key(std::lround(x), std::lround(y));
    if (index.count(key)) return;
    index[key] = int32_t(records.size());
    Record r;
    r.x = x;
    r.y = y;
    records.push_back(r);
  };
  auto line = [&](float from, float to, auto&& place) {
    const float lo = from < to ? from : to, hi = from < to ? to : from;
    if (step <= 0.0f) return;
    for (float v = lo; v <= hi + 0.5f; v += step) place(v);
  };
  for (float y : ys)
    for (float x : xs) add(x, y);
  for (float y : ys) line(xs.front(), xs.back(), [&](float x) { add(x, y); });
  for (float x : xs) line(ys.front(), ys.back(), [&](float y) { add(x, y); });
  // Neighbours: the nearest record along each axis that lies on a shared line.
  for (Record& r : records) {
    float best[4] = {1e30f, 1e30f, 1e30f, 1e30f};
    for (size_t k = 0; k < records.size(); ++k) {
      const Record& o = records[k];
      const float dx = o.x - r.x, dy = o.y - r.y;
      const bool sameX = std::lround(dx) == 0, sameY = std::lround(dy) == 0;
      bool onLine = false;
      for (float x : xs) onLine |= sameX && std::lround(r.x - x) == 0;
      for (float y : ys) onLine |= sameY && std::lround(r.y - y) == 0;
      if (!onLine || (sameX && sameY)) continue;
      const int d = sameX ? (dy > 0 ? kPlusY : kMinusY) : (dx > 0 ? kPlusX : kMinusX);
      const float distance = sameX ? (dy > 0 ? dy : -dy) : (dx > 0 ? dx : -dx);
      if (distance < best[d]) {
        best[d] = distance;
        r.links[d] = int32_t(k);
      }
    }
  }
  return records;
}

// The record nearest (x, y), or -1 for none.
inline int32_t Nearest(const std::vector<Record>& records, float x, float y) {
  int32_t best = -1;
  float bestSq = 0.0f;
  for (size_t k = 0; k < records.size(); ++k) {
    const float dx = records[k].x - x, dy = records[k].y - y;
    if (best < 0 || dx * dx + dy * dy < bestSq) {
      best = int32_t(k);
      bestSq = dx * dx + dy * dy;
    }
  }
  return best;
}

}  // namespace pathmapwriter
