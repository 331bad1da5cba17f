#pragma once
// Asset identifiers: the CRC-32 of the name as it would be opened (data-folder prefix and name
// joined), counted from its 11th character. The texture and geometry registries inherit this
// class privately, beside their factory base; it has no data of its own.
//
// The identifier is taken over the program's own spelling of the path, backslashes and case
// as given, never over the host path the file is finally opened with: the same asset must give
// the same identifier on every machine.

#include <cstddef>
#include <cstdint>

class CRC32 {
 public:
  // The identifier of `name` under the current data-folder prefix; 0 when the joined path has 10
  // characters or fewer.
  static uint32_t CreateHash(const char* name);

  // The identifier's checksum: the CRC-32 of text[10] .. text[length - 1], or 0 when length < 11.
  // (The first ten characters of every asset path are alike enough not to be worth hashing.)
  static uint32_t Checksum(const char* text, size_t length);

  // The standard CRC-32 (zip, PNG) of a byte range. Chains: Compute(b, nb, Compute(a, na)) is the
  // CRC of a followed by b.
  static uint32_t Compute(const void* data, size_t length, uint32_t previous = 0);

  // The standard reflected table, polynomial 0xEDB88320.
  static const uint32_t* Table();
};
