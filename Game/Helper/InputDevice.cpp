#include "Game/Helper/InputDevice.h"

#include <cstring>
#include <iterator>

#include "Engine/Input.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCKeyboard.h"
#include "Platform/Input/Input.h"

namespace {

// DirectInput scan codes of the default keys that Platform/Input does not name.
constexpr uint32_t kDIK_Q = 0x10;
constexpr uint32_t kDIK_W = 0x11;
constexpr uint32_t kDIK_E = 0x12;
constexpr uint32_t kDIK_R = 0x13;
constexpr uint32_t kDIK_P = 0x19;
constexpr uint32_t kDIK_LCONTROL = 0x1D;
constexpr uint32_t kDIK_A = 0x1E;
constexpr uint32_t kDIK_S = 0x1F;
constexpr uint32_t kDIK_D = 0x20;
constexpr uint32_t kDIK_F = 0x21;
constexpr uint32_t kDIK_NUMPAD4 = 0x4B;
constexpr uint32_t kDIK_NUMPAD6 = 0x4D;

constexpr uint32_t Key(int dik) { return static_cast<uint32_t>(dik); }

// Every bit the games, the menus or the first pad's low byte can give has a key, so a player
// without a pad reaches everything. The pad's stick bits 0x10 .. 0x80 have no name of their own
// in the games; their keys sit in a row. That leaves room for two second keys: the keypad's left
// and right.
constexpr InputBinding kDefaultBindings[InputDevice::kNumKeys] = {
    {kInputUp, Key(plat::kDIK_UP)},
    {kInputDown, Key(plat::kDIK_DOWN)},
    {kInputLeft, Key(plat::kDIK_LEFT)},
    {kInputRight, Key(plat::kDIK_RIGHT)},
    {kInputButtonE, kDIK_E},
    {kInputAction, Key(plat::kDIK_SPACE)},
    {kInputButtonQ, kDIK_Q},
    {kInputButtonW, kDIK_W},
    {kInputSelect, Key(plat::kDIK_RETURN)},
    {kInputBack, Key(plat::kDIK_ESCAPE)},
    {kInputPause, kDIK_P},
    {kInputExtra1, kDIK_R},
    {kInputExtra2, kDIK_LCONTROL},
    {0x10, kDIK_A},
    {0x20, kDIK_S},
    {0x40, kDIK_D},
    {0x80, kDIK_F},
    {kInputLeft, kDIK_NUMPAD4},
    {kInputRight, kDIK_NUMPAD6},
};

constexpr uint32_t kAllRemappedButtons =
    InputDevice::kRemappedPadButtons[0] | InputDevice::kRemappedPadButtons[1] |
    InputDevice::kRemappedPadButtons[2] | InputDevice::kRemappedPadButtons[3];

constexpr uint32_t kPadStateWordBits[] = {kPadBitUp,        kPadBitDown,       kPadBitLeft,
                                          kPadBitRight,     kPadBitStickUp,    kPadBitStickDown,
                                          kPadBitStickLeft, kPadBitStickRight, kPadBitButton0,
                                          kPadBitButton1,   kPadBitButton2,    kPadBitButton3};

InputDevice* g_inputDevice = nullptr;

}  // namespace

void MapFirstPadToItsStateWord() {
  if (!g_gamePad || g_gamePad->PairCount(0) > 0) return;
  GamePadMappingPair pairs[std::size(kPadStateWordBits)];
  for (size_t i = 0; i < std::size(kPadStateWordBits); ++i)
    pairs[i] = {kPadStateWordBits[i], kPadStateWordBits[i]};
  g_gamePad->SetMapping(0, static_cast<int32_t>(std::size(pairs)), pairs);
}

InputDevice::InputDevice() {
  ResetBindings();
  ResetPadRemap();
}

void InputDevice::ResetPadRemap() {
  std::memcpy(m_padRemap, kRemappedPadButtons, sizeof(m_padRemap));
}

const InputBinding* InputDevice::DefaultBindings() { return kDefaultBindings; }

void InputDevice::ResetBindings() { std::memcpy(m_bindings, kDefaultBindings, sizeof(m_bindings)); }

void InputDevice::Update() {
  const uint32_t held = ReadKeyboard() | ReadPad();
  m_pressed = held & ~m_held;
  m_held = held;
}

uint32_t InputDevice::ReadKeyboard() const {
  const Keyboard* keyboard = GetApp().GetKeyboard();
  uint32_t bits = 0;
  for (const InputBinding& binding : m_bindings) {
    // A binding restored from a damaged profile may hold any number; the keyboard reads codes
    // outside its table as up.
    if (keyboard->IsKeyDown(static_cast<int>(binding.key))) bits |= binding.mask;
  }
  return bits;
}

uint32_t InputDevice::ReadPad() const {
  if (!g_gamePad) return 0;
  // Each remapped button is read from the pad's own bits, so that a game may swap two of them.
  const uint32_t pad = g_gamePad->MappedCurrent(0);
  uint32_t bits = pad & ~kAllRemappedButtons;
  for (int i = 0; i < 4; ++i) {
    if (pad & kRemappedPadButtons[i]) bits |= m_padRemap[i];
  }
  return bits;
}

int32_t InputDevice::IsButtonPressed(uint32_t mask) const {
  // Both machines of a linked game must read the same answer, or they part at the first press:
  // the game is driven by player 0 (the host) on both.
  const uint32_t pressed = m_linkActive ? m_linkPressed[0] : m_pressed;
  return (pressed & mask) != 0;
}

int32_t InputDevice::IsPlayerButtonHeld(int32_t player, uint32_t mask) const {
  if (player < 0 || player > 1) return 0;
  const uint32_t held = m_linkActive ? m_linkHeld[player] : m_held;
  return (held & mask) != 0;
}

void InputDevice::SetLinkInput(const uint32_t held[2], const uint32_t pressed[2]) {
  m_linkActive = 1;
  for (int i = 0; i < 2; ++i) {
    m_linkHeld[i] = held[i];
    m_linkPressed[i] = pressed[i];
  }
}

InputDevice* GetInputDevice() { return g_inputDevice; }

void SetInputDevice(InputDevice* device) { g_inputDevice = device; }
