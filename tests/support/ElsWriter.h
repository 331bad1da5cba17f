#pragma once
// ".els" localised text images for tests and for the demo data: a 12-byte header ("PELS",
// version 1, count), `count` 32-bit byte offsets from the file's start, then the texts, each
// UTF-16LE ending with a 0 unit. The writer lays the bytes out itself rather than borrowing the
// game's reader types.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace elswriter {

constexpr size_t kHeaderSize = 12;
constexpr size_t kOffsetCount = 8;
constexpr size_t kOffsetTable = 12;
constexpr uint32_t kVersion = 1;

// UTF-8 to UTF-16 (surrogate pairs above U+FFFF); a malformed sequence becomes U+FFFD.
std::u16string Utf16FromUtf8(const std::string& text);

// The image of texts 0 .. n-1, laid out in order right after the table.
std::vector<uint8_t> Write(const std::vector<std::u16string>& texts);
std::vector<uint8_t> WriteUtf8(const std::vector<std::string>& texts);
// The offset of text `id` in an image that Write made.
uint32_t TextOffset(const std::vector<uint8_t>& image, uint32_t id);

// Write into a file (folders are created); false when it cannot be written.
bool SaveEls(const std::string& path, const std::vector<std::u16string>& texts);

// The demo data's texts (tools/datagen/DemoTexts.h) by id, with every id between them empty.
std::vector<std::u16string> DemoTexts();
// The demo data's "PendrakeText.els" at `path` (the data generator names it
// "<root>/data/PendrakeText.els").
bool SaveDemoTexts(const std::string& path);

}  // namespace elswriter
