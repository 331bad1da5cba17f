#include "Platform/Input/ScriptedInput.h"

#include <algorithm>
#include <cstring>

#include "Platform/Input/SdlInput.h"

namespace plat {

namespace {

ScriptedInput* g_installed = nullptr;

}  // namespace

class ScriptedKeyboardDevice : public KeyboardDevice {
 public:
  explicit ScriptedKeyboardDevice(ScriptedInput* script) {
    m_link.kind = 1;
    script->Register(&m_link);
  }
  ~ScriptedKeyboardDevice() override {
    if (m_link.script) m_link.script->Unregister(&m_link);
  }
  ScriptedKeyboardDevice(const ScriptedKeyboardDevice&) = delete;
  ScriptedKeyboardDevice& operator=(const ScriptedKeyboardDevice&) = delete;

  int32_t Acquire() override {
    ScriptedInput* script = m_link.script;
    if (!script) return kDIERR_GENERIC;
    ++script->m_keyboardAcquires;
    m_link.lost = false;
    return m_acquisition.Acquire(!script->m_keyboardAcquireFails, kDIERR_OTHERAPPHASPRIO);
  }
  int32_t Unacquire() override { return m_acquisition.Unacquire(); }
  int32_t GetDeviceState(uint8_t keys[256]) override {
    ScriptedInput* script = m_link.script;
    if (!script) return kDIERR_GENERIC;
    if (!keys) return kDIERR_INVALIDPARAM;
    int32_t result = m_acquisition.Check(!m_link.lost);
    m_link.lost = false;
    if (result != kDI_OK) return result;
    std::memcpy(keys, script->m_keys, 256);
    return kDI_OK;
  }

 private:
  ScriptedInput::Link m_link;
  DeviceAcquisition m_acquisition;
};

class ScriptedMouseDevice : public MouseDevice {
 public:
  explicit ScriptedMouseDevice(ScriptedInput* script) {
    m_link.kind = 2;
    script->Register(&m_link);
  }
  ~ScriptedMouseDevice() override {
    if (m_link.script) m_link.script->Unregister(&m_link);
  }
  ScriptedMouseDevice(const ScriptedMouseDevice&) = delete;
  ScriptedMouseDevice& operator=(const ScriptedMouseDevice&) = delete;

  int32_t Acquire() override {
    ScriptedInput* script = m_link.script;
    if (!script) return kDIERR_GENERIC;
    ++script->m_mouseAcquires;
    m_link.lost = false;
    return m_acquisition.Acquire(!script->m_mouseAcquireFails, kDIERR_OTHERAPPHASPRIO);
  }
  int32_t Unacquire() override { return m_acquisition.Unacquire(); }
  int32_t GetDeviceState(MouseState* state) override {
    ScriptedInput* script = m_link.script;
    if (!script) return kDIERR_GENERIC;
    if (!state) return kDIERR_INVALIDPARAM;
    int32_t result = m_acquisition.Check(!m_link.lost);
    m_link.lost = false;
    if (result != kDI_OK) return result;
    state->lX = script->m_mouseX;
    state->lY = script->m_mouseY;
    state->lZ = script->m_mouseWheel;
    std::memcpy(state->rgbButtons, script->m_mouseButtons, sizeof(state->rgbButtons));
    script->m_mouseX = script->m_mouseY = script->m_mouseWheel = 0;
    return kDI_OK;
  }

 private:
  ScriptedInput::Link m_link;
  DeviceAcquisition m_acquisition;
};

class ScriptedJoystickDevice : public JoystickDevice {
 public:
  ScriptedJoystickDevice(ScriptedInput* script, int pad) : m_pad(pad) {
    script->Register(&m_link);
  }
  ~ScriptedJoystickDevice() override {
    if (m_link.script) m_link.script->Unregister(&m_link);
  }
  ScriptedJoystickDevice(const ScriptedJoystickDevice&) = delete;
  ScriptedJoystickDevice& operator=(const ScriptedJoystickDevice&) = delete;

  int32_t Acquire() override {
    if (!m_link.script) return kDIERR_GENERIC;
    return m_acquisition.Acquire(true, kDIERR_UNPLUGGED);
  }
  int32_t Unacquire() override { return m_acquisition.Unacquire(); }
  int32_t Poll() override {
    ScriptedInput::Pad* pad = GetPad();
    if (!pad) return kDIERR_GENERIC;
    int32_t result = m_acquisition.Check(true);
    return result != kDI_OK ? result : pad->pollResult;
  }
  int32_t GetDeviceState(JoyState* state) override {
    ScriptedInput::Pad* pad = GetPad();
    if (!pad) return kDIERR_GENERIC;
    if (!state) return kDIERR_INVALIDPARAM;
    int32_t result = m_acquisition.Check(true);
    if (result != kDI_OK) return result;
    if (pad->stateFails) return kDIERR_GENERIC;
    *state = pad->state;
    return kDI_OK;
  }
  int32_t SetAxisRange(int32_t min, int32_t max) override {
    if (!m_link.script) return kDIERR_GENERIC;
    ScriptedInput::AxisRangeCall call;
    call.pad = m_pad;
    call.min = min;
    call.max = max;
    m_link.script->m_axisRangeCalls.push_back(call);
    return min < max ? kDI_OK : kDIERR_INVALIDPARAM;
  }
  bool HasForceFeedback() override {
    ScriptedInput::Pad* pad = GetPad();
    return pad && pad->forceFeedback;
  }
  int32_t CreateConstantForceEffect() override {
    ScriptedInput::Pad* pad = GetPad();
    if (!pad) return kDIERR_GENERIC;
    if (!pad->forceFeedback) return kDIERR_UNSUPPORTED;
    ++pad->effectsCreated;
    m_effect = true;
    return kDI_OK;
  }
  int32_t SetEffectParameters(int32_t directionX, int32_t directionY, int32_t magnitude) override {
    if (!m_link.script) return kDIERR_GENERIC;
    ScriptedInput::RumbleCall call;
    call.pad = m_pad;
    call.directionX = directionX;
    call.directionY = directionY;
    call.magnitude = magnitude;
    m_link.script->m_rumbleCalls.push_back(call);
    return m_effect ? kDI_OK : kDIERR_GENERIC;
  }

 private:
  ScriptedInput::Pad* GetPad() {
    ScriptedInput* script = m_link.script;
    if (!script || m_pad < 0 || m_pad >= script->PadCount()) return nullptr;
    return &script->GetPad(m_pad);
  }

  ScriptedInput::Link m_link;
  DeviceAcquisition m_acquisition;
  int m_pad;
  bool m_effect = false;
};

class ScriptedDirectInputObject : public DirectInput {
 public:
  explicit ScriptedDirectInputObject(ScriptedInput* script) { script->Register(&m_link); }
  ~ScriptedDirectInputObject() override {
    if (m_system) m_system->Release();
    if (m_link.script) m_link.script->Unregister(&m_link);
  }
  ScriptedDirectInputObject(const ScriptedDirectInputObject&) = delete;
  ScriptedDirectInputObject& operator=(const ScriptedDirectInputObject&) = delete;

  int32_t CreateKeyboard(KeyboardDevice** device) override {
    if (!device) return kDIERR_INVALIDPARAM;
    *device = nullptr;
    ScriptedInput* script = m_link.script;
    if (!script || script->m_keyboardCreateFails) return kDIERR_GENERIC;
    *device = new ScriptedKeyboardDevice(script);
    return kDI_OK;
  }
  int32_t CreateMouse(MouseDevice** device) override {
    if (!device) return kDIERR_INVALIDPARAM;
    *device = nullptr;
    ScriptedInput* script = m_link.script;
    if (!script || script->m_mouseCreateFails) return kDIERR_GENERIC;
    *device = new ScriptedMouseDevice(script);
    return kDI_OK;
  }
  int32_t EnumDevices(bool (*callback)(const DeviceInstance& device, void* context),
                      void* context) override {
    if (!callback) return kDIERR_INVALIDPARAM;
    ScriptedInput* script = m_link.script;
    if (!script || script->m_enumFails) return kDIERR_GENERIC;
    if (DirectInput* system = SystemPads()) return system->EnumDevices(callback, context);
    for (int i = 0; i < script->PadCount(); ++i) {
      const ScriptedInput::Pad& pad = script->GetPad(i);
      DeviceInstance device;
      device.instanceId = ScriptedInput::kFirstPadInstanceId + i;
      device.type = pad.type;
      std::strncpy(device.productName, pad.name.c_str(), sizeof(device.productName) - 1);
      if (!callback(device, context)) break;
    }
    return kDI_OK;
  }
  int32_t CreateJoystick(int32_t instanceId, JoystickDevice** device) override {
    if (!device) return kDIERR_INVALIDPARAM;
    *device = nullptr;
    ScriptedInput* script = m_link.script;
    if (!script) return kDIERR_GENERIC;
    if (DirectInput* system = SystemPads()) return system->CreateJoystick(instanceId, device);
    int pad = instanceId - ScriptedInput::kFirstPadInstanceId;
    if (pad < 0 || pad >= script->PadCount()) return kDIERR_DEVICENOTREG;
    if (script->GetPad(pad).createFails) return kDIERR_GENERIC;
    *device = new ScriptedJoystickDevice(script, pad);
    return kDI_OK;
  }
  bool PauseKeyPressedSinceLastQuery() override {
    ScriptedInput* script = m_link.script;
    if (!script) return false;
    bool pressed = script->m_pausePresses > 0;
    script->m_pausePresses = 0;
    return pressed;
  }

 private:
  // SDL's own DirectInput for its virtual pads, made on first use, while the script leaves
  // pads to the system.
  DirectInput* SystemPads() {
    if (!m_link.script || !m_link.script->m_systemPads) return nullptr;
    if (!m_system && SdlDirectInput8Create(&m_system, true) != kDI_OK) m_system = nullptr;
    return m_system;
  }

  ScriptedInput::Link m_link;
  DirectInput* m_system = nullptr;
};

ScriptedInput::ScriptedInput() = default;

ScriptedInput::~ScriptedInput() {
  Uninstall();
  for (Link* link : m_live) link->script = nullptr;
}

void ScriptedInput::Install() {
  g_installed = this;
  SetDirectInputFactory(&ScriptedInput::CreateInstalled);
}

void ScriptedInput::Uninstall() {
  if (g_installed != this) return;
  g_installed = nullptr;
  SetDirectInputFactory(nullptr);
}

ScriptedInput* ScriptedInput::Installed() { return g_installed; }

int32_t ScriptedInput::CreateInstalled(DirectInput** out) {
  if (!out) return kDIERR_INVALIDPARAM;
  *out = nullptr;
  if (!g_installed || g_installed->m_createFails) return kDIERR_GENERIC;
  *out = new ScriptedDirectInputObject(g_installed);
  return kDI_OK;
}

void ScriptedInput::Register(Link* link) {
  link->script = this;
  m_live.push_back(link);
}

void ScriptedInput::Unregister(Link* link) {
  m_live.erase(std::remove(m_live.begin(), m_live.end(), link), m_live.end());
}

void ScriptedInput::SetKey(int dik, bool down) {
  if (dik < 0 || dik > 255) return;
  m_keys[dik] = down ? 0x80 : 0;
}

bool ScriptedInput::IsKeyDown(int dik) const { return dik >= 0 && dik <= 255 && m_keys[dik]; }

void ScriptedInput::LoseKeyboard() {
  for (Link* link : m_live) {
    if (link->kind == 1) link->lost = true;
  }
}

void ScriptedInput::MoveMouse(int32_t dx, int32_t dy, int32_t wheel) {
  m_mouseX += dx;
  m_mouseY += dy;
  m_mouseWheel += wheel;
}

void ScriptedInput::SetMouseButton(int button, bool down) {
  if (button < 0 || button >= 8) return;
  m_mouseButtons[button] = down ? 0x80 : 0;
}

void ScriptedInput::LoseMouse() {
  for (Link* link : m_live) {
    if (link->kind == 2) link->lost = true;
  }
}

int ScriptedInput::AddPad(const char* name, DeviceType type, bool forceFeedback) {
  Pad pad;
  pad.name = name ? name : "";
  pad.type = type;
  pad.forceFeedback = forceFeedback;
  m_pads.push_back(pad);
  return static_cast<int>(m_pads.size()) - 1;
}

void ScriptedInput::ClearRecords() {
  m_rumbleCalls.clear();
  m_axisRangeCalls.clear();
  m_keyboardAcquires = 0;
  m_mouseAcquires = 0;
  for (Pad& pad : m_pads) pad.effectsCreated = 0;
}

}  // namespace plat
