// The pad mapping file "pdjp.cfg" as the pad object makes, reads and rewrites it. File contents
// are built and checked byte by byte here, independently of the engine's record type.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "Engine/PC/PCGamePad.h"
#include "Platform/Input/Input.h"
#include "Platform/Input/ScriptedInput.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace {

constexpr size_t kRecordBytes = 552;
constexpr size_t kRecords = 512;
constexpr size_t kTableBytes = 282624;
const int32_t kDefaultCodes[9] = {0, 1, 2, 3, 128, 130, 131, 129, 4};

// A table image in the file's own layout: 512-byte name, 32-bit flag, nine 32-bit codes.
class TableImage {
 public:
  TableImage() : m_bytes(kTableBytes, '\0') {
    for (size_t r = 0; r < kRecords; ++r)
      for (int c = 0; c < 9; ++c) SetCode(r, c, kDefaultCodes[c]);
  }
  explicit TableImage(std::string bytes) : m_bytes(std::move(bytes)) {}

  void SetName(size_t record, const std::string& name) {
    std::memset(&m_bytes[record * kRecordBytes], 0, 512);
    std::memcpy(&m_bytes[record * kRecordBytes], name.data(), name.size());
  }
  std::string Name(size_t record) const {
    const char* p = &m_bytes[record * kRecordBytes];
    return std::string(p, strnlen(p, 512));
  }
  void SetFlag(size_t record, int32_t v) { Put(record * kRecordBytes + 512, v); }
  int32_t Flag(size_t record) const { return Get(record * kRecordBytes + 512); }
  void SetCode(size_t record, int c, int32_t v) { Put(record * kRecordBytes + 516 + 4 * c, v); }
  int32_t Code(size_t record, int c) const { return Get(record * kRecordBytes + 516 + 4 * c); }

  std::string& Bytes() { return m_bytes; }
  void Write() const { WriteFileBytes("pdjp.cfg", m_bytes.data(), m_bytes.size()); }
  static TableImage Read() { return TableImage(ReadFileBytes("pdjp.cfg")); }

 private:
  void Put(size_t at, int32_t v) {
    auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) m_bytes[at + i] = static_cast<char>((u >> (8 * i)) & 0xFF);
  }
  int32_t Get(size_t at) const {
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i) u |= uint32_t{static_cast<uint8_t>(m_bytes[at + i])} << (8 * i);
    return static_cast<int32_t>(u);
  }
  std::string m_bytes;
};

class PadFileTest : public TempDirTest {
 protected:
  void SetUp() override {
    m_input.Install();
    ASSERT_EQ(plat::DirectInput8Create(&m_directInput), plat::kDI_OK);
  }
  void TearDown() override {
    m_pad.reset();
    if (m_directInput) m_directInput->Release();
    m_input.Uninstall();
  }
  GamePad& Start() {
    m_pad = std::make_unique<GamePad>(m_directInput);
    m_pad->EnumeratePads();
    return *m_pad;
  }
  // One frame of the first pad.
  uint32_t Frame() {
    m_pad->Update();
    return m_pad->RawCurrent(0);
  }
  plat::JoyState& State(int pad) { return m_input.GetPad(pad).state; }

  plat::ScriptedInput m_input;
  plat::DirectInput* m_directInput = nullptr;
  std::unique_ptr<GamePad> m_pad;
};

TEST_F(PadFileTest, FirstStartWritesTheDefaultTableWithThePadInRecordZero) {
  m_input.AddPad("Test Pad", plat::DeviceType::Gamepad, false);
  GamePad& pad = Start();
  EXPECT_EQ(pad.GetPadCount(), 1);

  TableImage file = TableImage::Read();
  ASSERT_EQ(file.Bytes().size(), kTableBytes);
  EXPECT_EQ(file.Name(0), "Test Pad");
  EXPECT_EQ(file.Flag(0), 1);
  for (int c = 0; c < 9; ++c) EXPECT_EQ(file.Code(0, c), kDefaultCodes[c]) << c;
  for (size_t r = 1; r < kRecords; ++r) {
    ASSERT_EQ(file.Name(r), "") << r;
    ASSERT_EQ(file.Flag(r), 0) << r;
    for (int c = 0; c < 9; ++c) ASSERT_EQ(file.Code(r, c), kDefaultCodes[c]) << r;
  }
  // Nothing but zeros after a name's terminator.
  EXPECT_EQ(file.Bytes().find_first_not_of('\0', 8), 512u);

  // The default codes apply: button 0 is action 1, the hat works the directions.
  State(0).rgbButtons[0] = 0x80;
  State(0).rgdwPOV[0] = 18000;
  EXPECT_EQ(Frame(), 0x1000u | 0x10000000u | 0x2u | 0x2000000u);
  State(0).rgbButtons[0] = 0;
  State(0).rgbButtons[4] = 0x80;  // action 5
  State(0).rgdwPOV[0] = 0xFFFFFFFFu;
  EXPECT_EQ(Frame(), 0x40000000u | 0x20000000u);

  for (const char* said :
       {"Found 1 Pads", "Setting up Pad 0", "SetCooperativeLevel Successfull Pad 0",
        "SetDataFormat Successfull Pad 0", "Acquired Successfull Pad 0"})
    EXPECT_TRUE(DebugLogContains(said)) << said;
  ASSERT_EQ(m_input.AxisRangeCalls().size(), 1u);
  EXPECT_EQ(m_input.AxisRangeCalls()[0].min, -1000);
  EXPECT_EQ(m_input.AxisRangeCalls()[0].max, 1000);
}

TEST_F(PadFileTest, SecondStartFindsTheRecordAndKeepsReboundCodes) {
  m_input.AddPad("Other Stick", plat::DeviceType::Joystick, false);
  m_input.AddPad("Test Pad", plat::DeviceType::Gamepad, false);
  {
    GamePad& pad = Start();
    ASSERT_NE(pad.GetMappingFile().Current(), nullptr);
    // An option screen rebinds action 1 to button 7 and up to button 9, then saves.
    pad.GetMappingFile().Current()->codes[kPadAction1] = 7;
    pad.GetMappingFile().Current()->codes[kPadUp] = 9;
    pad.GetMappingFile().Save();
    m_pad.reset();
  }
  TableImage first = TableImage::Read();
  EXPECT_EQ(first.Name(0), "Other Stick");
  EXPECT_EQ(first.Name(1), "Test Pad");
  EXPECT_EQ(first.Code(1, 0), 7);

  GamePad& pad = Start();
  EXPECT_EQ(pad.GetMappingFile().Current(), pad.GetMappingFile().Record(1));
  TableImage second = TableImage::Read();
  EXPECT_EQ(second.Bytes(), first.Bytes());  // no new record for a known name

  // Pad 0 ("Other Stick") is read through the last record taken, "Test Pad"'s.
  State(0).rgbButtons[7] = 0x80;
  EXPECT_EQ(Frame(), 0x1000u | 0x10000000u);
  State(0).rgbButtons[7] = 0;
  State(0).rgbButtons[0] = 0x80;
  EXPECT_EQ(Frame(), 0u);
  State(0).rgbButtons[0] = 0;
  State(0).rgbButtons[9] = 0x80;
  EXPECT_EQ(Frame(), 0x1u | 0x1000000u);
  State(0).rgbButtons[9] = 0;
  State(0).rgdwPOV[0] = 0;  // the hat no longer plays up
  EXPECT_EQ(Frame(), 0u);
}

TEST_F(PadFileTest, DamagedFileIsReadSafely) {
  TableImage image;
  image.SetName(0, "Test Pad");
  image.SetFlag(0, 1);
  image.SetCode(0, 0, 500);   // not a button
  image.SetCode(0, 4, -7);    // not a control
  image.SetCode(0, 7, 1000);  // right: not a control either
  image.SetCode(0, 8, 127);   // the last button is fine
  image.SetName(1, std::string(512, 'A'));  // no terminator
  image.SetName(2, std::string(512, 'B'));
  image.Write();

  m_input.AddPad("Test Pad", plat::DeviceType::Gamepad, false);
  m_input.AddPad(std::string(259, 'A').c_str(), plat::DeviceType::Joystick, false);
  GamePad& pad = Start();
  const PadMappingFile& table = pad.GetMappingFile();
  EXPECT_EQ(std::strlen(table.Record(1)->name), 511u);
  EXPECT_EQ(std::strlen(table.Record(2)->name), 511u);
  // The 259-character name is not the damaged 511-character one: it takes the first free record.
  EXPECT_EQ(std::string(table.Record(3)->name), std::string(259, 'A'));
  EXPECT_EQ(table.Current(), table.Record(3));

  // Read through the damaged record 0 instead.
  pad.GetMappingFile().SetCurrent(0);
  for (int b = 0; b < 127; ++b) State(0).rgbButtons[b] = 0x80;
  State(0).rgdwPOV[0] = 0;
  EXPECT_EQ(Frame(), 0x2000u | 0x4000u | 0x8000u);  // 500, -7 and 1000 are none; 127 is up
  State(0).rgbButtons[127] = 0x80;
  EXPECT_EQ(Frame() & 0x40000000u, 0x40000000u);
  for (auto [control, down] : {std::pair{500, 0}, {-7, 0}, {127, 1}})
    EXPECT_EQ(pad.IsControlDown(control), down) << control;
  // The stick still works the directions whose controls are gone.
  for (auto& b : State(0).rgbButtons) b = 0;
  State(0).lX = 900;
  EXPECT_EQ(Frame(), 0x8u | 0x80u | 0x8000000u);
}

TEST_F(PadFileTest, ShortEmptyAndLongFilesKeepDefaultsBeyondTheirEnd) {
  TableImage image;
  image.SetName(0, "Test Pad");
  image.SetFlag(0, 1);
  image.SetCode(0, 0, 11);
  image.SetName(1, "Cut Off Pad");
  image.SetCode(1, 0, 12);
  // Up to the middle of record 1's name.
  image.Bytes().resize(kRecordBytes + 4);
  image.Write();

  PadMappingFile table;
  EXPECT_EQ(table.Load(), 1);
  EXPECT_TRUE(DebugLogContains("pdjp.cfg is short (556 of 282624 bytes)"));
  EXPECT_STREQ(table.Record(0)->name, "Test Pad");
  EXPECT_EQ(table.Record(0)->codes[0], 11);
  EXPECT_STREQ(table.Record(1)->name, "Cut ");
  EXPECT_EQ(table.Record(1)->assigned, 0);
  for (int c = 0; c < 9; ++c) EXPECT_EQ(table.Record(1)->codes[c], kDefaultCodes[c]);
  for (int c = 0; c < 9; ++c) EXPECT_EQ(table.Record(511)->codes[c], kDefaultCodes[c]);
  EXPECT_EQ(table.Current(), nullptr);

  // An empty file is a table of defaults (it is not rewritten by loading).
  WriteFileBytes("pdjp.cfg", "", 0);
  EXPECT_EQ(table.Load(), 1);
  EXPECT_STREQ(table.Record(0)->name, "");
  EXPECT_EQ(table.Record(0)->codes[4], 128);
  EXPECT_EQ(ReadFileBytes("pdjp.cfg").size(), 0u);

  // Bytes past the table are ignored.
  TableImage longer;
  longer.SetName(511, "Last");
  longer.Bytes() += std::string(100, 'x');
  longer.Write();
  EXPECT_EQ(table.Load(), 1);
  EXPECT_STREQ(table.Record(511)->name, "Last");

  // No file: the defaults are made and written.
  std::remove("pdjp.cfg");
  EXPECT_EQ(table.Load(), 0);
  EXPECT_EQ(ReadFileBytes("pdjp.cfg"), TableImage().Bytes());
}

TEST_F(PadFileTest, FullTableTakesNoNewPadButKnownOnesStillMatch) {
  TableImage image;
  for (size_t r = 0; r < kRecords; ++r) {
    image.SetName(r, "Pad " + std::to_string(r));
    image.SetFlag(r, 1);
  }
  image.Write();

  m_input.AddPad("Pad 300", plat::DeviceType::Joystick, false);
  m_input.AddPad("New Pad", plat::DeviceType::Gamepad, false);
  GamePad& pad = Start();
  EXPECT_EQ(pad.GetPadCount(), 1);
  EXPECT_EQ(pad.IsConnected(0), 1);
  EXPECT_EQ(pad.IsConnected(1), 0);
  EXPECT_EQ(pad.GetMappingFile().Current(), pad.GetMappingFile().Record(300));
  EXPECT_TRUE(DebugLogContains("No free pad mapping record for New Pad"));
  EXPECT_EQ(TableImage::Read().Bytes(), image.Bytes());
}

TEST_F(PadFileTest, AtMostEightPadsAreTakenAndOnlyTheirNamesAreRecorded) {
  for (int i = 0; i < 10; ++i)
    m_input.AddPad(("Pad " + std::to_string(i)).c_str(), plat::DeviceType::Gamepad, false);
  GamePad& pad = Start();
  EXPECT_EQ(pad.GetPadCount(), 8);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(pad.IsConnected(i), 1) << i;
  EXPECT_TRUE(DebugLogContains("Found 8 Pads"));
  EXPECT_TRUE(DebugLogContains("Setting up Pad 7"));
  EXPECT_FALSE(DebugLogContains("Setting up Pad 8"));
  int overflowLines = 0;
  for (const std::string& line : ReadCrLfLines("Debug.log"))
    overflowLines += line.find("More than 8 pads") != std::string::npos;
  EXPECT_EQ(overflowLines, 1);

  TableImage file = TableImage::Read();
  for (int i = 0; i < 8; ++i) EXPECT_EQ(file.Name(i), "Pad " + std::to_string(i));
  EXPECT_EQ(file.Name(8), "");
  EXPECT_EQ(pad.GetMappingFile().Current(), pad.GetMappingFile().Record(7));
}

TEST_F(PadFileTest, EnumerationSkipsMiceAndKeyboardsAndTakesOtherDevicesWithoutRecords) {
  m_input.AddPad("Gaming Mouse", plat::DeviceType::Other, false);
  m_input.AddPad("Keyboard", plat::DeviceType::Other, false);
  m_input.AddPad("Wheel", plat::DeviceType::Other, false);
  GamePad& pad = Start();
  EXPECT_EQ(pad.GetPadCount(), 1);
  EXPECT_EQ(pad.GetMappingFile().Current(), nullptr);
  EXPECT_EQ(TableImage::Read().Name(0), "");
  // Without a record the pad is connected but reads nothing.
  State(2).rgbButtons[0] = 0x80;
  State(2).lX = 1000;
  EXPECT_EQ(Frame(), 0u);
  EXPECT_EQ(pad.Analog(0, 0), 0.0f);
}

TEST_F(PadFileTest, APadWithoutANameTakesNoRecord) {
  m_input.AddPad("", plat::DeviceType::Gamepad, false);
  m_input.AddPad("Named Pad", plat::DeviceType::Gamepad, false);
  GamePad& pad = Start();
  EXPECT_EQ(pad.GetPadCount(), 2);
  // The unnamed pad did not claim record 0, so the named one has it.
  EXPECT_EQ(TableImage::Read().Name(0), "Named Pad");
  EXPECT_EQ(TableImage::Read().Name(1), "");
}

TEST_F(PadFileTest, FailedEnumerationAndMissingInputStillWriteTheTable) {
  m_input.AddPad("Test Pad", plat::DeviceType::Gamepad, false);
  m_input.SetEnumFails(true);
  {
    GamePad pad(m_directInput);
    EXPECT_EQ(pad.EnumeratePads(), 0);
    EXPECT_EQ(pad.GetPadCount(), 0);
    EXPECT_EQ(pad.IsConnected(0), 0);
  }
  EXPECT_TRUE(DebugLogContains("Found 0 Pads"));
  EXPECT_EQ(ReadFileBytes("pdjp.cfg"), TableImage().Bytes());

  std::remove("pdjp.cfg");
  GamePad none(nullptr);
  EXPECT_EQ(none.EnumeratePads(), 0);
  none.Update();
  EXPECT_EQ(none.IsControlDown(0), 0);
  EXPECT_EQ(ReadFileBytes("pdjp.cfg").size(), kTableBytes);
}

// A mapping kept elsewhere and linked in: the pad's save writes where the link leads and the link
// stays; the temporaries that killed saves left beside the target go at the next start.
TEST_F(PadFileTest, ALinkedFileIsWrittenThroughTheLinkAndKilledSavesAreSweptAway) {
  namespace fs = std::filesystem;
  const pid_t ended = fork();
  if (ended == 0) _exit(0);
  waitpid(ended, nullptr, 0);
  fs::create_directory("settings");
  TableImage old;
  old.SetName(0, "Test Pad");
  old.SetCode(0, 0, 7);
  WriteFileBytes("settings/pads.cfg", old.Bytes().data(), old.Bytes().size());
  ASSERT_EQ(symlink("settings/pads.cfg", "pdjp.cfg"), 0);
  const std::string leftover = "settings/pads.cfg." + std::to_string(ended) + ".2.tmp";
  const std::string notOurs = "settings/pads.cfg." + std::to_string(ended) + ".2.tmp.bak";
  WriteFileText(leftover, "partial");
  WriteFileText(notOurs, "keep");

  m_input.AddPad("Test Pad", plat::DeviceType::Gamepad, false);
  m_input.AddPad("New Pad", plat::DeviceType::Gamepad, false);
  GamePad& pad = Start();
  EXPECT_EQ(pad.GetMappingFile().Record(0)->codes[0], 7) << "read through the link";
  EXPECT_TRUE(DebugLogContains(
      "Removed 1 temporary file(s) of pdjp.cfg left by saves that did not finish"));
  EXPECT_FALSE(fs::exists(leftover));
  EXPECT_EQ(ReadFileBytes(notOurs), "keep");

  pad.GetMappingFile().Save();
  EXPECT_TRUE(fs::is_symlink("pdjp.cfg"));
  EXPECT_EQ(fs::read_symlink("pdjp.cfg"), "settings/pads.cfg");
  TableImage saved(ReadFileBytes("settings/pads.cfg"));
  EXPECT_EQ(saved.Name(1), "New Pad");
  EXPECT_EQ(saved.Code(0, 0), 7);
  for (const fs::directory_entry& entry : fs::directory_iterator("settings"))
    EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
}

}  // namespace
