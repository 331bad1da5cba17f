#include "Game/Localisation/LocalisedText.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "Engine/Assert.h"
#include "Engine/DataFolder.h"
#include "Engine/FileImage.h"
#include "Engine/LogFile.h"
#include "Engine/PC/PCFileIO.h"

namespace {

const char kOwner[] = "LocalisedText::Load";
constexpr uint64_t kTableStart = sizeof(ElsHeader);

// The text file lies at a fixed place in the program's folder, not under the data folder of
// whichever game set the prefix last: the prefix is cleared while this lives and put back after.
class ClearedDataFolder {
 public:
  ClearedDataFolder() {
    const char* prefix = GetDataFolder();
    if (prefix) {
      const size_t length = std::strlen(prefix) + 1;
      m_saved = OwnedAlloc<char>(kOwner, length);
      // Without a copy the prefix could not be put back; it is then left alone.
      if (!m_saved) return;
      std::memcpy(m_saved.get(), prefix, length);
    }
    SetDataFolder(nullptr);
    m_cleared = true;
  }
  ~ClearedDataFolder() {
    if (m_cleared && m_saved) SetDataFolder(m_saved.get());
  }
  ClearedDataFolder(const ClearedDataFolder&) = delete;
  ClearedDataFolder& operator=(const ClearedDataFolder&) = delete;

  bool Cleared() const { return m_cleared; }

 private:
  OwnedBlock<char> m_saved{nullptr, OwnedFree{kOwner}};
  bool m_cleared = false;
};

// Whether text `id` at `offset` is a whole text: past the table, at a char16_t boundary, and
// with its 0 unit inside the image.
bool CheckText(const FileImage& image, uint32_t id, uint32_t offset, uint64_t tableEnd) {
  char what[32];
  std::snprintf(what, sizeof(what), "text %u", id);
  // Inside the file but inside the header or the table is no text either: it would show the
  // table's words as characters.
  if (offset < tableEnd) {
    DebugLog().Write("%s: %s starts inside the offset table (offset %u)\n", image.Name(), what,
                     offset);
    return false;
  }
  if (!image.CheckRange(offset, sizeof(char16_t), what)) return false;
  const uint64_t room = (image.Size() - offset) / sizeof(char16_t);
  const char16_t* text = image.GetArray<char16_t>(offset, static_cast<int64_t>(room), what);
  if (!text) return false;
  for (uint64_t i = 0; i < room; ++i)
    if (text[i] == 0) return true;
  DebugLog().Write("%s: %s has no terminator inside the file (offset %u)\n", image.Name(), what,
                   offset);
  return false;
}

// The number of texts when the whole image is sound, else -1 (with a log line naming the fault).
int32_t CheckImage(const FileImage& image) {
  const ElsHeader* header = image.Get<ElsHeader>(0, "header");
  if (!header) return -1;
  if (std::memcmp(header->magic, kElsMagic, sizeof(kElsMagic)) != 0) {
    DebugLog().Write("%s: not a text file (bad magic)\n", image.Name());
    return -1;
  }
  if (header->version != kElsVersion) {
    DebugLog().Write("%s: version %u, expected %u\n", image.Name(), header->version, kElsVersion);
    return -1;
  }
  const uint32_t count = header->count;
  const uint32_t* offsets = image.GetArray<uint32_t>(kTableStart, count, "offset table");
  if (!offsets) return -1;
  const uint64_t tableEnd = kTableStart + uint64_t{count} * sizeof(uint32_t);
  for (uint32_t id = 0; id < count; ++id)
    if (!CheckText(image, id, offsets[id], tableEnd)) return -1;
  // The table fits a file whose size is a 32-bit number, so the count fits an id.
  return static_cast<int32_t>(count);
}

// Placeholders are handed out like texts and may be kept (an in-game message keeps its text), so
// each lives in a slot of its own, reused for the same id and otherwise only after the others.
struct PlaceholderSlot {
  bool used = false;
  int32_t id = 0;
  char16_t text[24] = {};
};
constexpr int kPlaceholderSlots = 8;
PlaceholderSlot s_placeholders[kPlaceholderSlots];
int s_nextPlaceholder = 0;

const char16_t* Placeholder(int32_t id) {
  for (const PlaceholderSlot& slot : s_placeholders)
    if (slot.used && slot.id == id) return slot.text;
  PlaceholderSlot& slot = s_placeholders[s_nextPlaceholder];
  s_nextPlaceholder = (s_nextPlaceholder + 1) % kPlaceholderSlots;
  char narrow[sizeof(slot.text) / sizeof(slot.text[0])];
  const int length = std::snprintf(narrow, sizeof(narrow), "[text %d]", static_cast<int>(id));
  for (int i = 0; i <= length; ++i) slot.text[i] = static_cast<char16_t>(narrow[i]);
  slot.used = true;
  slot.id = id;
  return slot.text;
}

// The code point at text[*at], moving *at past it; a lone surrogate reads as U+FFFD.
char32_t NextCodePoint(const char16_t* text, size_t* at) {
  const char32_t unit = text[(*at)++];
  if (unit < 0xD800 || unit > 0xDFFF) return unit;
  const char32_t low = text[*at];
  if (unit <= 0xDBFF && low >= 0xDC00 && low <= 0xDFFF) {
    ++*at;
    return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
  }
  return 0xFFFD;
}

// The UTF-8 bytes of `c` into out[0..3]; their number.
int EncodeUtf8(char32_t c, unsigned char out[4]) {
  if (c < 0x80) {
    out[0] = static_cast<unsigned char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
    out[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
    out[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
  out[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
  return 4;
}

}  // namespace

bool LocalisedText::Load(const char* name) {
  Clear();
  if (!name) name = kFileName;
  int32_t size = 0;
  OwnedBlock<> image{nullptr, OwnedFree{kOwner}};
  {
    ClearedDataFolder cleared;
    if (!cleared.Cleared()) {
      DebugLog().Write("Unable to load %s: no memory to keep the data folder\n", name);
      return false;
    }
    image = AdoptBlock(kOwner, FileIO::LoadFile(name, &size));
  }
  if (!image) {
    DebugLog().Write("Unable to load %s, every text shows as a placeholder\n", name);
    return false;
  }
  return Adopt(std::move(image), static_cast<size_t>(size), name);
}

bool LocalisedText::LoadImage(const void* data, size_t size, const char* name) {
  Clear();
  if (!data && size > 0) return false;
  // A block of at least one byte, so that an empty image is refused by its checks, not here.
  OwnedBlock<> copy = OwnedAlloc(kOwner, size > 0 ? size : 1);
  if (!copy) {
    DebugLog().Write("Unable to allocate %zu for %s\n", size, name ? name : "(image)");
    return false;
  }
  if (size > 0) std::memcpy(copy.get(), data, size);
  return Adopt(std::move(copy), size, name);
}

bool LocalisedText::Adopt(OwnedBlock<> image, size_t size, const char* name) {
  const FileImage view(image.get(), size, name);
  const int32_t count = CheckImage(view);
  if (count < 0) {
    DebugLog().Write("%s refused, every text shows as a placeholder\n", view.Name());
    return false;
  }
  m_image = std::move(image);
  m_count = count;
  return true;
}

void LocalisedText::Clear() {
  if (m_quietLookups > 0)
    DebugLog().Write("Localised text: %u more lookup(s) of missing texts after their reports\n",
                     m_quietLookups);
  m_image.reset();
  m_count = 0;
  m_reportedIdCount = 0;
  m_noTableReported = false;
  m_missingLookups = 0;
  m_quietLookups = 0;
}

// Without a table every text is missing: that is one fault, said once. With one, each id that it
// lacks is a fault of its own (the first few of them are told apart).
void LocalisedText::ReportMissing(int32_t id) const {
  ++m_missingLookups;
  if (!IsLoaded()) {
    if (m_noTableReported) {
      ++m_quietLookups;
      return;
    }
    m_noTableReported = true;
    DebugLog().Write("Localised text: no texts loaded, text %d and every other show as their ids\n",
                     static_cast<int>(id));
  } else {
    for (int32_t i = 0; i < m_reportedIdCount; ++i) {
      if (m_reportedIds[i] == id) {
        ++m_quietLookups;
        return;
      }
    }
    if (m_reportedIdCount == kReportedIds) {
      ++m_quietLookups;
      return;
    }
    m_reportedIds[m_reportedIdCount++] = id;
    DebugLog().Write("Localised text: no text %d among %d, it shows as its id\n",
                     static_cast<int>(id), static_cast<int>(m_count));
  }
  AssertReport("id >= 0 && id < Count()", __FILE__, __LINE__);
}

const char16_t* LocalisedText::Get(int32_t id) const {
  if (id < 0 || id >= m_count) {
    ReportMissing(id);
    return Placeholder(id);
  }
  const auto* bytes = static_cast<const unsigned char*>(m_image.get());
  uint32_t offset = 0;
  std::memcpy(&offset, bytes + kTableStart + sizeof(uint32_t) * static_cast<size_t>(id),
              sizeof(offset));
  // Checked at load: inside the image, aligned, terminated.
  return reinterpret_cast<const char16_t*>(bytes + offset);
}

LocalisedText& GetLocalisedTextTable() {
  static LocalisedText table;
  return table;
}

bool LoadLocalisedText() { return GetLocalisedTextTable().Load(LocalisedText::kFileName); }

const char16_t* GetLocalisedText(int32_t id) { return GetLocalisedTextTable().Get(id); }

const char* GetLocalisedTextUtf8(int32_t id, char* buffer, size_t size) {
  if (!buffer || size == 0) return nullptr;
  const char16_t* text = GetLocalisedText(id);
  size_t used = 0;
  for (size_t at = 0; text[at] != 0;) {
    unsigned char bytes[4];
    const int n = EncodeUtf8(NextCodePoint(text, &at), bytes);
    if (used + static_cast<size_t>(n) >= size) break;
    std::memcpy(buffer + used, bytes, static_cast<size_t>(n));
    used += static_cast<size_t>(n);
  }
  buffer[used] = 0;
  return buffer;
}
