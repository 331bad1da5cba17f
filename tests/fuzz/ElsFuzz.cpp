// "PendrakeText.els", the localised texts: loaded and checked whole, then the texts looked up and
// turned into UTF-8 for log lines, as the menus and the games use them.

#include "Engine/DataFolder.h"
#include "Game/Localisation/LocalisedText.h"
#include "tests/fuzz/FuzzTarget.h"
#include "tests/support/ElsWriter.h"

std::vector<FuzzSeed> FuzzSeeds() {
  return {{"few.els", elswriter::WriteUtf8({"PLAY", "", "Options", "\xF0\x9F\x98\x80 smile"})},
          {"one.els", elswriter::WriteUtf8({"CONNECTION LOST"})},
          {"none.els", elswriter::WriteUtf8({})}};
}

bool FuzzSetUp() {
  SetDataFolder(nullptr);
  return true;
}

void FuzzOne(const uint8_t* data, size_t size) {
  WriteInputFile("fuzz.els", data, size);
  LocalisedText& table = GetLocalisedTextTable();
  if (!table.Load("fuzz.els")) return;
  // The first texts are enough: every text is checked at the load, and a table may name one
  // long text many times over.
  const int32_t count = table.Count() < 16 ? table.Count() : 16;
  char utf8[256];
  for (int32_t id = 0; id < count; ++id) {
    const char16_t* text = table.Get(id);
    size_t length = 0;
    while (text[length]) ++length;
    GetLocalisedTextUtf8(id, utf8, sizeof(utf8));
  }
  table.Clear();
}
