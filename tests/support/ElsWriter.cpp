#include "tests/support/ElsWriter.h"

#include "tests/support/ByteWriter.h"
#include "tools/datagen/DemoTexts.h"

namespace elswriter {

namespace {

// The length of the UTF-8 sequence that `lead` starts, 0 for a byte that starts none.
size_t SequenceLength(uint8_t lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// The code point at text[*at], moving *at past it; U+FFFD for a malformed sequence.
char32_t NextCodePoint(const std::string& text, size_t* at) {
  const auto lead = static_cast<uint8_t>(text[*at]);
  const size_t length = SequenceLength(lead);
  if (length == 0 || *at + length > text.size()) {
    ++*at;
    return 0xFFFD;
  }
  if (length == 1) {
    ++*at;
    return lead;
  }
  char32_t c = lead & (0xFF >> (length + 1));
  for (size_t i = 1; i < length; ++i) {
    const auto next = static_cast<uint8_t>(text[*at + i]);
    if ((next & 0xC0) != 0x80) {
      ++*at;
      return 0xFFFD;
    }
    c = (c << 6) | (next & 0x3F);
  }
  *at += length;
  const bool overlong = (length == 3 && c < 0x800) || (length == 4 && c < 0x10000);
  if (overlong || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0xFFFD;
  return c;
}

}  // namespace

std::u16string Utf16FromUtf8(const std::string& text) {
  std::u16string out;
  for (size_t at = 0; at < text.size();) {
    const char32_t c = NextCodePoint(text, &at);
    if (c < 0x10000) {
      out.push_back(static_cast<char16_t>(c));
    } else {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    }
  }
  return out;
}

std::vector<uint8_t> Write(const std::vector<std::u16string>& texts) {
  std::vector<uint8_t> image = {'P', 'E', 'L', 'S'};
  bytewriter::PutU32(image, 4, kVersion);
  bytewriter::PutU32(image, kOffsetCount, static_cast<uint32_t>(texts.size()));
  size_t at = kOffsetTable + 4 * texts.size();
  image.resize(at);
  for (size_t id = 0; id < texts.size(); ++id) {
    bytewriter::PutU32(image, kOffsetTable + 4 * id, static_cast<uint32_t>(at));
    for (char16_t unit : texts[id]) {
      bytewriter::PutU16(image, at, unit);
      at += 2;
    }
    bytewriter::PutU16(image, at, 0);
    at += 2;
  }
  return image;
}

std::vector<uint8_t> WriteUtf8(const std::vector<std::string>& texts) {
  std::vector<std::u16string> wide;
  for (const std::string& text : texts) wide.push_back(Utf16FromUtf8(text));
  return Write(wide);
}

uint32_t TextOffset(const std::vector<uint8_t>& image, uint32_t id) {
  return bytewriter::GetU32(image, kOffsetTable + 4 * size_t{id});
}

bool SaveEls(const std::string& path, const std::vector<std::u16string>& texts) {
  return bytewriter::SaveBytes(path, Write(texts));
}

std::vector<std::u16string> DemoTexts() {
  std::vector<std::u16string> texts;
  for (const DemoText& text : kDemoTexts) {
    if (text.id < 0) continue;
    const auto id = static_cast<size_t>(text.id);
    if (texts.size() <= id) texts.resize(id + 1);
    texts[id] = Utf16FromUtf8(text.text);
  }
  return texts;
}

bool SaveDemoTexts(const std::string& path) { return SaveEls(path, DemoTexts()); }

}  // namespace elswriter
