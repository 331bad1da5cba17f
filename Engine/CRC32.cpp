#include "Engine/CRC32.h"

#include <array>
#include <cstring>

#include "Engine/Assert.h"
#include "Engine/DataFolder.h"
#include "Engine/MemoryTracker.h"

namespace {

const char kHashOwner[] = "CRC32::CreateHash";

// Table 0 is the standard byte-at-a-time table. Tables 1 to 7 let the bulk routine take eight
// bytes per step: table k gives the effect of a byte followed by k zero bytes.
using Tables = std::array<std::array<uint32_t, 256>, 8>;

constexpr Tables MakeTables() {
  Tables t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[0][i] = c;
  }
  for (uint32_t i = 0; i < 256; ++i)
    for (int k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  return t;
}

constexpr Tables kTables = MakeTables();
static_assert(kTables[0][1] == 0x77073096u && kTables[0][255] == 0x2D02EF8Du);

// Runs the register over the bytes (no start or final complement here).
uint32_t Update(uint32_t c, const unsigned char* p, size_t n) {
  // Byte steps up to an 8-byte boundary keep the word loads aligned.
  while (n && (reinterpret_cast<uintptr_t>(p) & 7) != 0) {
    c = (c >> 8) ^ kTables[0][(c ^ *p++) & 0xFF];
    --n;
  }
  while (n >= 8) {
    uint32_t lo, hi;
    std::memcpy(&lo, p, 4);
    std::memcpy(&hi, p + 4, 4);
    if constexpr (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__) {
      lo = __builtin_bswap32(lo);
      hi = __builtin_bswap32(hi);
    }
    lo ^= c;
    c = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^
        kTables[4][lo >> 24] ^ kTables[3][hi & 0xFF] ^ kTables[2][(hi >> 8) & 0xFF] ^
        kTables[1][(hi >> 16) & 0xFF] ^ kTables[0][hi >> 24];
    p += 8;
    n -= 8;
  }
  while (n--) c = (c >> 8) ^ kTables[0][(c ^ *p++) & 0xFF];
  return c;
}

}  // namespace

const uint32_t* CRC32::Table() { return kTables[0].data(); }

uint32_t CRC32::Compute(const void* data, size_t length, uint32_t previous) {
  if (!data) return previous;
  return ~Update(~previous, static_cast<const unsigned char*>(data), length);
}

uint32_t CRC32::Checksum(const char* text, size_t length) {
  if (!text || length < 11) return 0;
  return Compute(text + 10, length - 10);
}

uint32_t CRC32::CreateHash(const char* name) {
  KASSERT(name);
  if (!name) return 0;
  const char* prefix = GetDataFolder();
  size_t prefixLength = prefix ? std::strlen(prefix) : 0;
  size_t nameLength = std::strlen(name);
  size_t length = prefixLength + nameLength;
  auto* path = static_cast<char*>(TrackedAlloc(kHashOwner, length + 1));
  if (!path) return 0;
  if (prefixLength) std::memcpy(path, prefix, prefixLength);
  std::memcpy(path + prefixLength, name, nameLength + 1);
  uint32_t hash = Checksum(path, length);
  TrackedFree(kHashOwner, path);
  return hash;
}
