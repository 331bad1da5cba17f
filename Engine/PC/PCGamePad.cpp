#include "Engine/PC/PCGamePad.h"

#include <cstring>

#include "Engine/LogFile.h"
#include "Engine/SafeFile.h"

namespace {

bool IsNotAcquired(int32_t hr) { return hr == plat::kDIERR_INPUTLOST || hr == plat::kDIERR_NOTACQUIRED; }

bool ButtonDown(const plat::JoyState& state, int32_t code) {
  return code >= 0 && code < 128 && (state.rgbButtons[code] & 0x80) != 0;
}

// floor(sqrt(n)), exact for every 64-bit n.
uint64_t IntegerSqrt(uint64_t n) {
  uint64_t root = 0;
  uint64_t bit = uint64_t{1} << 62;
  while (bit > n) bit >>= 2;
  while (bit != 0) {
    if (n >= root + bit) {
      n -= root + bit;
      root = (root >> 1) + bit;
    } else {
      root >>= 1;
    }
    bit >>= 2;
  }
  return root;
}

// Outside the dead zone an axis runs -1..1; inside it reads 0.
float AxisValue(int32_t v) {
  if (v > GamePad::kDeadZone) return static_cast<float>(v - GamePad::kDeadZone) / 800.0f;
  if (v < -GamePad::kDeadZone) return static_cast<float>(v + GamePad::kDeadZone) / 800.0f;
  return 0.0f;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// PadMappingFile

PadMappingFile::PadMappingFile() { FillDefaults(); }

void PadMappingFile::MakeDefault(PadMappingRecord* record) {
  static constexpr int32_t kDefaultCodes[PadMappingRecord::kCodeCount] = {
      0, 1, 2, 3, kPadCodeHatUp, kPadCodeHatDown, kPadCodeHatLeft, kPadCodeHatRight, 4};
  std::memset(record->name, 0, sizeof(record->name));
  record->assigned = 0;
  std::memcpy(record->codes, kDefaultCodes, sizeof(kDefaultCodes));
}

void PadMappingFile::FillDefaults() {
  for (PadMappingRecord& record : m_table) MakeDefault(&record);
}

int32_t PadMappingFile::Code(const PadMappingRecord& record, int32_t control) {
  if (control < 0 || control >= PadMappingRecord::kCodeCount) return kPadCodeNone;
  int32_t code = record.codes[control];
  return code >= kPadCodeNone && code <= kPadCodeHatLeft ? code : kPadCodeNone;
}

int32_t PadMappingFile::Load() {
  m_current = nullptr;
  m_keepFile = false;
  // Whatever the file holds is read over a default table, so records it does not reach (a short
  // or cut-off file) are sound defaults rather than leftovers.
  FillDefaults();
  // Loaded once at start, before any save: a temporary of the file now is a killed save's.
  if (const int removed = RemoveLeftoverTemporaries(kFileName))
    DebugLog().Write("Removed %d temporary file(s) of %s left by saves that did not finish\n",
                     removed, kFileName);
  size_t got = 0;
  const char* reason = "";
  switch (ReadFileStart(kFileName, m_table, kFileSize, &got, &reason)) {
    case FileReadStatus::kMissing:
      Save();
      return 0;
    case FileReadStatus::kUnreadable:
      // The file is there and may hold a player's mapping that this run merely cannot see
      // (permissions, a failing device): writing defaults over it would lose it for good.
      FillDefaults();
      m_keepFile = true;
      DebugLog().Write(
          "Unable to read %s (%s): default pad mapping for this run, the file is left as it is\n",
          kFileName, reason);
      return 0;
    case FileReadStatus::kRead:
      break;
  }
  if (got < static_cast<size_t>(kFileSize)) {
    DebugLog().Write("%s is short (%i of %i bytes), the rest keeps the defaults\n", kFileName,
                     static_cast<int>(got), kFileSize);
  }
  // Names are compared and copied as C strings: one without its terminator (a damaged file)
  // must not run on into the next record.
  for (PadMappingRecord& record : m_table) record.name[PadMappingRecord::kNameSize - 1] = 0;
  return 1;
}

void PadMappingFile::Save() const {
  // Said once, when the file could not be read; every save of the run passes it over.
  if (m_keepFile) return;
  // Never truncated in place: a full disk or a crash mid-write would lose the player's mapping.
  int error = WriteFileWhole(kFileName, m_table, kFileSize);
  if (error) DebugLog().Write("Unable to save %s: %s\n", kFileName, std::strerror(error));
}

int32_t PadMappingFile::FindOrAssign(const char* productName) {
  // An empty name is how a free record is marked: matching it would hand out a record that maps
  // nothing and that the next new pad takes over as well.
  if (!productName || !productName[0]) return -1;
  for (int32_t i = 0; i < kRecordCount; ++i) {
    if (std::strncmp(m_table[i].name, productName, PadMappingRecord::kNameSize) == 0) return i;
  }
  for (int32_t i = 0; i < kRecordCount; ++i) {
    PadMappingRecord& record = m_table[i];
    if (record.name[0] != 0) continue;
    std::memset(record.name, 0, sizeof(record.name));
    std::strncpy(record.name, productName, PadMappingRecord::kNameSize - 1);
    record.assigned = 1;
    return i;
  }
  return -1;
}

// ---------------------------------------------------------------------------------------------
// GamePad

GamePad::GamePad(plat::DirectInput* directInput) : m_directInput(directInput) {
  m_mapping.Load();
  for (int32_t pad = 0; pad < kMaxPads; ++pad) {
    m_devices[pad] = nullptr;
    m_instanceIds[pad] = -1;
    m_forceFeedback[pad] = 0;
    m_effectCreated[pad] = 0;
  }
  m_padCount = 0;
}

GamePad::~GamePad() {
  m_mapping.Save();
  ReleaseDevices();
}

void GamePad::ReleaseDevices() {
  for (int32_t pad = 0; pad < kMaxPads; ++pad) {
    if (m_devices[pad]) {
      m_devices[pad]->Unacquire();
      m_devices[pad]->Release();  // the effect goes with its device
      m_devices[pad] = nullptr;
    }
    m_effectCreated[pad] = 0;
    m_forceFeedback[pad] = 0;
  }
}

void GamePad::ClearRawMasks(int32_t pad) {
  m_rawCurrent[pad] = 0;
  m_rawPrevious[pad] = 0;
  m_rawPressed[pad] = 0;
  m_rawReleased[pad] = 0;
}

bool GamePad::DeviceCallback(const plat::DeviceInstance& device, void* context) {
  static_cast<GamePad*>(context)->TakeDevice(device);
  return true;  // always on to the next device
}

bool GamePad::TakeDevice(const plat::DeviceInstance& device) {
  char name[sizeof(device.productName) + 1];
  std::memcpy(name, device.productName, sizeof(device.productName));
  name[sizeof(device.productName)] = 0;

  if (std::strstr(name, "Mouse") || std::strcmp(name, "Keyboard") == 0) return false;
  if (m_padCount >= kMaxPads) {
    // There are eight of everything per pad; further devices are left alone, and their names
    // take no records.
    if (!m_overflowLogged) {
      DebugLog().Write("More than %i pads attached, the rest are not used\n", kMaxPads);
      m_overflowLogged = true;
    }
    return false;
  }
  // A pad without a product name cannot be matched to a record (an empty name marks a free
  // one); it is taken like the other device kinds, without a mapping.
  if ((device.type == plat::DeviceType::Joystick || device.type == plat::DeviceType::Gamepad) &&
      name[0] != 0) {
    int32_t record = m_mapping.FindOrAssign(name);
    if (record < 0) {
      DebugLog().Write("No free pad mapping record for %s\n", name);
      return false;
    }
    m_mapping.SetCurrent(record);
  }
  m_instanceIds[m_padCount] = device.instanceId;
  ++m_padCount;
  return true;
}

int32_t GamePad::EnumeratePads() {
  // A second enumeration starts from nothing rather than leaking the first one's devices.
  ReleaseDevices();
  for (int32_t pad = 0; pad < kMaxPads; ++pad) {
    m_instanceIds[pad] = -1;
    ClearRawMasks(pad);
  }
  m_padCount = 0;
  m_overflowLogged = false;
  m_mapping.ClearCurrent();

  int32_t hr = m_directInput ? m_directInput->EnumDevices(&GamePad::DeviceCallback, this)
                             : plat::kDIERR_GENERIC;
  m_mapping.Save();
  DebugLog().Write("Found %i Pads\n", static_cast<int>(m_padCount));
  if (!plat::Succeeded(hr)) return 0;

  for (int32_t pad = 0; pad < m_padCount; ++pad) SetUpPad(pad);
  return 1;
}

void GamePad::SetUpPad(int32_t pad) {
  DebugLog().Write("Setting up Pad %i\n", pad);
  plat::JoystickDevice* device = nullptr;
  if (!plat::Succeeded(m_directInput->CreateJoystick(m_instanceIds[pad], &device)) || !device) {
    DebugLog().Write("Failed to create Pad %i\n", pad);
    m_devices[pad] = nullptr;
    return;
  }
  m_devices[pad] = device;
  // The platform's devices are always shared with other programs and always report the full
  // joystick state, so these two steps cannot fail here.
  DebugLog().Write("SetCooperativeLevel Successfull Pad %i\n", pad);
  DebugLog().Write("SetDataFormat Successfull Pad %i\n", pad);
  device->SetAxisRange(kAxisMin, kAxisMax);
  m_forceFeedback[pad] = device->HasForceFeedback() ? 1 : 0;
  if (plat::Succeeded(device->Acquire())) DebugLog().Write("Acquired Successfull Pad %i\n", pad);
  if (m_forceFeedback[pad]) {
    m_effectCreated[pad] = plat::Succeeded(device->CreateConstantForceEffect()) ? 1 : 0;
  }
}

void GamePad::Update() {
  for (int32_t pad = 0; pad < m_padCount; ++pad) {
    plat::JoystickDevice* device = m_devices[pad];
    if (!device) continue;
    if (TickRumbleTimers(pad)) SetRumble(pad);
    int32_t hr = device->Poll();
    if (IsNotAcquired(hr) && plat::Succeeded(device->Acquire())) hr = device->Poll();
    if (hr == plat::kDI_OK || hr == plat::kDI_NOEFFECT) {
      PollPad(pad);
    } else {
      ClearRawMasks(pad);
      // A pad pulled out with its stick tilted must not go on steering: the games read the
      // stick values directly.
      for (float& value : m_analog[pad]) value = 0.0f;
    }
  }
}

int32_t GamePad::ControlDownInState(const plat::JoyState& state, int32_t code) {
  if (code < 0 || code > kPadCodeHatLeft) return 0;
  if (code < 128) return ButtonDown(state, code) ? 1 : 0;
  uint32_t hat = state.rgdwPOV[0];
  if ((hat & 0xFFFFu) == 0xFFFFu) return 0;  // centred
  switch (code) {
    case kPadCodeHatUp: return hat <= 4500 || hat >= 31500;
    case kPadCodeHatRight: return hat >= 4500 && hat <= 13500;
    case kPadCodeHatDown: return hat >= 13500 && hat <= 22500;
    default: return hat >= 22500 && hat <= 31500;
  }
}

void GamePad::PollPad(int32_t pad) {
  if (!Valid(pad) || !m_devices[pad]) return;
  plat::JoyState state;
  if (!plat::Succeeded(m_devices[pad]->GetDeviceState(&state))) return;

  m_rawPrevious[pad] = m_rawCurrent[pad];
  for (float& value : m_analog[pad]) value = 0.0f;

  uint32_t mask = 0;
  const PadMappingRecord* record = m_mapping.Current();
  if (pad == 0 && record && record->assigned) {
    auto code = [record](int32_t control) { return PadMappingFile::Code(*record, control); };
    // The direction controls may be buttons or hat directions; the first pad's state read just
    // now answers them, so one frame's bits all come from one reading.
    if (ControlDownInState(state, code(kPadUp)) || state.lY < -kDeadZone) mask |= kPadBitUp;
    if (ControlDownInState(state, code(kPadDown)) || state.lY > kDeadZone) mask |= kPadBitDown;
    if (ControlDownInState(state, code(kPadLeft)) || state.lX < -kDeadZone) mask |= kPadBitLeft;
    if (ControlDownInState(state, code(kPadRight)) || state.lX > kDeadZone) mask |= kPadBitRight;
    if (state.lY < -kDeadZone) mask |= kPadBitStickUp;
    if (state.lY > kDeadZone) mask |= kPadBitStickDown;
    if (state.lX < -kDeadZone) mask |= kPadBitStickLeft;
    if (state.lX > kDeadZone) mask |= kPadBitStickRight;
    if (state.lZ < -kDeadZone) mask |= 0x100;
    if (state.lZ > kDeadZone) mask |= 0x200;
    if (state.lRz < -kDeadZone) mask |= 0x400;
    if (state.lRz > kDeadZone) mask |= 0x800;
    if (ButtonDown(state, code(kPadAction1))) mask |= kPadBitButton0;
    if (ButtonDown(state, code(kPadAction2))) mask |= kPadBitButton1;
    if (ButtonDown(state, code(kPadAction3))) mask |= kPadBitButton2;
    if (ButtonDown(state, code(kPadAction4))) mask |= kPadBitButton3;
    if (ButtonDown(state, code(kPadAction5))) mask |= 0x40000000;
    mask |= (mask & 0xF) << 24;
    if (mask & 0x40000000) mask |= 0x20000000;
    if (mask & kPadBitButton0) mask |= 0x10000000;

    m_analog[pad][0] = AxisValue(state.lX);
    m_analog[pad][1] = AxisValue(state.lY);
    m_analog[pad][2] = AxisValue(state.lRz);
    m_analog[pad][3] = AxisValue(state.lZ);
  }

  uint32_t previous = m_rawPrevious[pad];
  m_rawCurrent[pad] = mask;
  m_rawPressed[pad] = (mask ^ previous) & mask;
  m_rawReleased[pad] = (mask ^ previous) & previous;
}

int32_t GamePad::IsControlDown(int32_t code) {
  if (code == kPadCodeNone || !m_devices[0]) return 0;
  plat::JoyState state;
  if (!plat::Succeeded(m_devices[0]->GetDeviceState(&state))) return 0;
  return ControlDownInState(state, code);
}

int32_t GamePad::GetPressedControl() {
  if (!m_devices[0]) return -1;
  plat::JoyState state;
  if (!plat::Succeeded(m_devices[0]->GetDeviceState(&state))) return -1;
  for (int32_t button = 0; button < 128; ++button) {
    if (ButtonDown(state, button)) return button;
  }
  switch (state.rgdwPOV[0]) {
    case 0: return kPadCodeHatUp;
    case 9000: return kPadCodeHatRight;
    case 18000: return kPadCodeHatDown;
    case 27000: return kPadCodeHatLeft;
    default: break;
  }
  if (state.lX > kDeadZone) return kPadCodeHatRight;
  if (state.lX < -kDeadZone) return kPadCodeHatLeft;
  if (state.lY > kDeadZone) return kPadCodeHatDown;
  if (state.lY < -kDeadZone) return kPadCodeHatUp;
  return -1;
}

int32_t GamePad::IsConnected(int32_t pad) { return Valid(pad) && m_devices[pad] ? 1 : 0; }
const char* GamePad::GetPadLabel(int32_t) { return "1"; }
int32_t GamePad::NeedsCalibration(int32_t) { return 0; }
int32_t GamePad::HasDigitalPad(int32_t) { return 1; }
int32_t GamePad::HasActionButtons(int32_t) { return 1; }
int32_t GamePad::HasAnalogSticks(int32_t) { return 1; }
int32_t GamePad::IsWireless(int32_t) { return 0; }
int32_t GamePad::IsBatteryLow(int32_t) { return 0; }

void GamePad::SetRumble(int32_t pad) {
  if (!Valid(pad) || !m_rumbleEnabled[pad] || !m_forceFeedback[pad]) return;
  // No effect means nothing to drive (its creation failed, or the device is gone).
  if (!m_devices[pad] || !m_effectCreated[pad]) return;
  int64_t a = int64_t{m_motor1Strength[pad]} * 256;
  int64_t b = int64_t{m_motor2Strength[pad]} * 256;
  auto magnitude = static_cast<int32_t>(IntegerSqrt(static_cast<uint64_t>(a * a + b * b)));
  m_devices[pad]->SetEffectParameters(static_cast<int32_t>(a), static_cast<int32_t>(b), magnitude);
}
