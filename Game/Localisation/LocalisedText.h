#pragma once
// The game's texts by number, in the current language, from "PendrakeText.els": a header, a
// table of `count` 32-bit byte offsets from the file's start, then the texts, each UTF-16LE and
// ending with a 0 unit. The texts are the engine's wide strings (char16_t), so one goes straight
// to RenderWindow::PrintText and the font's width functions.
//
// The whole file is checked when it is loaded; a file with any fault is refused as a whole (one
// log line names the fault), since a half-read table would show some texts and garbage for
// others. A text that is not there (no table at all, or an id past it) shows as a placeholder
// such as "[text 123]", so it shows on screen instead of crashing. The menu looks texts up every
// frame, so each such fault raises one assertion report, the first time: without a table, the
// first lookup; with one, the first lookup of each id. Later lookups are counted quietly, and
// Clear (at the program's end) writes the count.

#include <bit>
#include <cstddef>
#include <cstdint>

#include "Engine/MemoryTracker.h"

static_assert(std::endian::native == std::endian::little, "texts are read in place as UTF-16LE");

// The header, byte for byte (little-endian). The offset table follows at byte 12.
struct ElsHeader {
  char magic[4];     // "PELS"
  uint32_t version;  // kElsVersion
  uint32_t count;    // texts, numbered 0 .. count - 1
};
static_assert(sizeof(ElsHeader) == 12, "the .els header is 12 bytes");

inline constexpr char kElsMagic[4] = {'P', 'E', 'L', 'S'};
inline constexpr uint32_t kElsVersion = 1;

class LocalisedText {
 public:
  // The program's name for the file; it is opened without the data-folder prefix.
  static constexpr const char* kFileName = "data\\PendrakeText.els";

  LocalisedText() = default;
  LocalisedText(const LocalisedText&) = delete;
  LocalisedText& operator=(const LocalisedText&) = delete;

  // Loads and checks the file named as the program names it (the data-folder prefix is cleared
  // for the load and put back afterwards). On any failure the table is left empty and false is
  // returned. Texts handed out before stay valid until the next Load or Clear.
  bool Load(const char* name = kFileName);
  // Takes a copy of an image already in memory, checked like a file; `name` is for log lines.
  bool LoadImage(const void* data, size_t size, const char* name);
  void Clear();

  bool IsLoaded() const { return m_image != nullptr; }
  int32_t Count() const { return m_count; }

  // Text `id`, or the placeholder when there is no such text (reported the first time).
  const char16_t* Get(int32_t id) const;
  // Lookups of texts that were not there since the last Load or Clear, reported or not.
  uint32_t MissingLookups() const { return m_missingLookups; }

 private:
  static constexpr int kReportedIds = 16;

  bool Adopt(OwnedBlock<> image, size_t size, const char* name);
  void ReportMissing(int32_t id) const;

  // The checked file image; offsets are resolved on each lookup.
  OwnedBlock<> m_image{nullptr, OwnedFree{"LocalisedText::Load"}};
  int32_t m_count = 0;
  // What has been said of missing texts; a lookup is a read, so these change under const.
  mutable int32_t m_reportedIds[kReportedIds] = {};
  mutable int32_t m_reportedIdCount = 0;
  mutable bool m_noTableReported = false;
  mutable uint32_t m_missingLookups = 0;
  mutable uint32_t m_quietLookups = 0;
};

// The program's one table; tests may Load or Clear it.
LocalisedText& GetLocalisedTextTable();
// Loads the program's table from LocalisedText::kFileName.
bool LoadLocalisedText();

// The text in the current language. An id without a text gives the placeholder "[text <id>]"
// (reported once, as LocalisedText::Get says), which stays readable at least until seven other
// missing ids have been asked for.
const char16_t* GetLocalisedText(int32_t id);

// The same text as UTF-8 in `buffer` (cut before a character that does not fit), for log lines.
// Returns `buffer`, or null when there is no room even for the terminator.
const char* GetLocalisedTextUtf8(int32_t id, char* buffer, size_t size);
