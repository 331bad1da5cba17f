// "pdjp.cfg", the pad mapping table: read from the working folder, then searched and assigned by
// product name and every record's codes read, as the pad start-up does.

#include "Engine/PC/PCGamePad.h"
#include "tests/fuzz/FuzzTarget.h"

std::vector<FuzzSeed> FuzzSeeds() {
  // What a first start writes: the default table, with a pad named in record 0.
  static PadMappingFile s_table;
  std::remove(PadMappingFile::kFileName);
  s_table.Load();
  s_table.FindOrAssign("Test Pad");
  const auto* bytes = reinterpret_cast<const uint8_t*>(s_table.Record(0));
  return {{"default.cfg", std::vector<uint8_t>(bytes, bytes + PadMappingFile::kFileSize)}};
}

bool FuzzSetUp() { return true; }

void FuzzOne(const uint8_t* data, size_t size) {
  WriteInputFile(PadMappingFile::kFileName, data, size);
  static PadMappingFile s_table;
  s_table.Load();
  for (const char* name : {"Test Pad", "A New Pad"}) s_table.SetCurrent(s_table.FindOrAssign(name));
  volatile int32_t sum = 0;
  for (int32_t r = 0; r < PadMappingFile::kRecordCount; ++r)
    for (int32_t c = 0; c < PadMappingRecord::kCodeCount; ++c)
      sum = sum + PadMappingFile::Code(*s_table.Record(r), c);
}
