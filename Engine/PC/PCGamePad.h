#pragma once
// Game pads on the PC: the attached joysticks and game pads through the DirectInput-shaped
// platform interface, each matched by product name against the pad mapping file "pdjp.cfg",
// which says which button or hat direction plays each of the game's nine controls. Only the
// first pad is read through a mapping record; force feedback drives a constant-force effect.

#include <bit>
#include <cstdint>

#include "Engine/Input.h"
#include "Platform/Input/Input.h"

// One record of "pdjp.cfg", byte for byte (little-endian, no padding).
struct PadMappingRecord {
  static constexpr int kNameSize = 512;
  static constexpr int kCodeCount = 9;

  char name[kNameSize];    // product name, zero-terminated; empty marks a free record
  int32_t assigned;        // 1 for a device found on this machine; 0 maps nothing
  int32_t codes[kCodeCount];  // buttons 0-127, hat 128 up, 129 right, 130 down, 131 left, -1 none
};
static_assert(sizeof(PadMappingRecord) == 552, "pdjp.cfg records are 552 bytes");
static_assert(std::endian::native == std::endian::little, "pdjp.cfg is written in place");

// Slots of a record's codes.
enum PadControl : int32_t {
  kPadAction1 = 0,
  kPadAction2 = 1,
  kPadAction3 = 2,
  kPadAction4 = 3,
  kPadUp = 4,
  kPadDown = 5,
  kPadLeft = 6,
  kPadRight = 7,
  kPadAction5 = 8,
};

// Control codes.
constexpr int32_t kPadCodeNone = -1;
constexpr int32_t kPadCodeHatUp = 128;
constexpr int32_t kPadCodeHatRight = 129;
constexpr int32_t kPadCodeHatDown = 130;
constexpr int32_t kPadCodeHatLeft = 131;

// The 512-record table and the file it lives in.
class PadMappingFile {
 public:
  static constexpr int kRecordCount = 512;
  static constexpr int kFileSize = kRecordCount * static_cast<int>(sizeof(PadMappingRecord));
  static constexpr const char* kFileName = "pdjp.cfg";

  PadMappingFile();
  PadMappingFile(const PadMappingFile&) = delete;
  PadMappingFile& operator=(const PadMappingFile&) = delete;

  // Reads the table from the working folder (1), or makes the default table and writes it when
  // there is no file (0). The table is filled with defaults first and the file read over it, so a
  // short file leaves its missing records as defaults. A file that is there but cannot be read
  // gives the defaults too (0), and is then kept as it is: no Save of this table replaces it. The
  // current record is cleared.
  int32_t Load();
  // Writes the whole table, unless Load found a file it could not read; a failed write leaves the
  // old file and logs why.
  void Save() const;

  // The record for a joystick's product name: the one already carrying the name, else the first
  // free one, now named and assigned. -1 when the name is new and no record is free.
  int32_t FindOrAssign(const char* productName);

  // The record that reads the first pad, or null.
  PadMappingRecord* Current() { return m_current; }
  const PadMappingRecord* Current() const { return m_current; }
  void SetCurrent(int32_t index) { m_current = Valid(index) ? &m_table[index] : nullptr; }
  void ClearCurrent() { m_current = nullptr; }

  PadMappingRecord* Record(int32_t index) { return Valid(index) ? &m_table[index] : nullptr; }
  const PadMappingRecord* Record(int32_t index) const {
    return Valid(index) ? &m_table[index] : nullptr;
  }

  static void MakeDefault(PadMappingRecord* record);
  // A record's code for one of the nine controls, with anything a file could hold that is not a
  // button or hat direction read as none.
  static int32_t Code(const PadMappingRecord& record, int32_t control);

 private:
  static bool Valid(int32_t index) { return index >= 0 && index < kRecordCount; }
  void FillDefaults();

  PadMappingRecord m_table[kRecordCount];
  PadMappingRecord* m_current = nullptr;
  bool m_keepFile = false;
};

class GamePad : public BaseGamePad {
 public:
  static constexpr int32_t kAxisMin = -1000;
  static constexpr int32_t kAxisMax = 1000;
  static constexpr int32_t kDeadZone = 200;

  // Loads (or creates) "pdjp.cfg". A null DirectInput object gives a pad object with no pads.
  explicit GamePad(plat::DirectInput* directInput);
  // Writes "pdjp.cfg" and releases every device. It does not touch the global pointer's owner:
  // BaseGamePad::Shutdown is the way to get rid of the global object.
  ~GamePad() override;

  int32_t EnumeratePads() override;
  void Update() override;
  int32_t IsConnected(int32_t pad) override;
  const char* GetPadLabel(int32_t pad) override;
  int32_t NeedsCalibration(int32_t pad) override;
  int32_t HasDigitalPad(int32_t pad) override;
  int32_t HasActionButtons(int32_t pad) override;
  int32_t HasAnalogSticks(int32_t pad) override;
  int32_t IsWireless(int32_t pad) override;
  int32_t IsBatteryLow(int32_t pad) override;
  void SetRumble(int32_t pad) override;

  // Reads one pad's device into its raw masks and analog values.
  void PollPad(int32_t pad);
  // 1 when the control of `code` is down on the first pad (0 with no first pad).
  int32_t IsControlDown(int32_t code);
  // The code of the first control found down on the first pad, or -1.
  int32_t GetPressedControl();

  int32_t GetPadCount() const { return m_padCount; }
  int32_t HasForceFeedback(int32_t pad) const { return Valid(pad) ? m_forceFeedback[pad] : 0; }
  PadMappingFile& GetMappingFile() { return m_mapping; }

 private:
  static bool DeviceCallback(const plat::DeviceInstance& device, void* context);
  bool TakeDevice(const plat::DeviceInstance& device);
  void SetUpPad(int32_t pad);
  void ReleaseDevices();
  void ClearRawMasks(int32_t pad);
  static int32_t ControlDownInState(const plat::JoyState& state, int32_t code);

  plat::DirectInput* m_directInput;
  plat::JoystickDevice* m_devices[kMaxPads];
  int32_t m_instanceIds[kMaxPads];
  int32_t m_forceFeedback[kMaxPads];
  int32_t m_effectCreated[kMaxPads];  // the constant-force effect lives with its device
  uint8_t m_padCount = 0;
  bool m_overflowLogged = false;
  PadMappingFile m_mapping;
};

// The global pad object as the PC's GamePad (the only kind the PC makes), or null.
inline GamePad* GetPCGamePad() { return static_cast<GamePad*>(g_gamePad); }
