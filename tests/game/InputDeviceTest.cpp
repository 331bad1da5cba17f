// The game-level buttons: the 19 key bindings, held and pressed bits over successive updates,
// the first pad through the remap words, and the two-player link's words in place of both.
// The application's real keyboard and pad objects read scripted DirectInput devices.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

#include "Engine/Input.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCGamePad.h"
#include "Engine/PC/PCKeyboard.h"
#include "Game/Helper/InputDevice.h"
#include "Platform/Input/Input.h"
#include "Platform/Input/ScriptedInput.h"
#include "tests/support/TempDir.h"

namespace {

constexpr int kQ = 0x10, kW = 0x11, kE = 0x12, kR = 0x13, kP = 0x19, kLeftCtrl = 0x1D;
constexpr int kA = 0x1E, kS = 0x1F, kD = 0x20, kF = 0x21, kPad4 = 0x4B, kPad6 = 0x4D;

// Raw bits of the first pad's four action buttons (buttons 0 to 3 under the default record).
constexpr uint32_t kRawE = 0x1000, kRawAction = 0x2000, kRawQ = 0x4000, kRawW = 0x8000;

class InputDeviceTest : public TempDirTest {
 protected:
  void SetUp() override {
    GetApp().ResetForTests();
    m_script.Install();
    ASSERT_EQ(plat::DirectInput8Create(&m_directInput), plat::kDI_OK);
    ASSERT_EQ(Keyboard().Create(m_directInput), 1);
    m_script.AddPad("Test Pad", plat::DeviceType::Gamepad, false);
    g_gamePad = new GamePad(m_directInput);
    ASSERT_EQ(g_gamePad->EnumeratePads(), 1);
    // The pad's raw bits pass through as themselves (the framework sets the real mapping).
    const GamePadMappingPair pairs[] = {{1, 1},         {2, 2},         {4, 4},
                                        {8, 8},         {kRawE, kRawE}, {kRawAction, kRawAction},
                                        {kRawQ, kRawQ}, {kRawW, kRawW}};
    g_gamePad->SetMapping(0, 8, pairs);
  }
  void TearDown() override {
    Keyboard().Release();
    BaseGamePad::Shutdown();
    if (m_directInput) m_directInput->Release();
    m_script.Uninstall();
    GetApp().ResetForTests();
  }

  static ::Keyboard& Keyboard() { return *GetApp().GetKeyboard(); }

  // One frame: exactly these keys and pad buttons down, read by the devices, then the update.
  void Frame(std::initializer_list<int> keys, std::initializer_list<int> buttons = {}) {
    for (int k = 0; k < ::Keyboard::kKeyCount; ++k) m_script.SetKey(k, false);
    for (int k : keys) m_script.SetKey(k, true);
    plat::JoyState& pad = m_script.GetPad(0).state;
    std::fill(std::begin(pad.rgbButtons), std::end(pad.rgbButtons), 0);
    for (int b : buttons) pad.rgbButtons[b] = 0x80;
    Keyboard().Poll();
    if (g_gamePad) {
      g_gamePad->Update();
      g_gamePad->BaseGamePad::Update();
    }
    m_device.Update();
  }

  plat::ScriptedInput m_script;
  plat::DirectInput* m_directInput = nullptr;
  InputDevice m_device;
};

TEST_F(InputDeviceTest, DefaultBindingsAreTheNineteenKeys) {
  const std::vector<std::pair<uint32_t, uint32_t>> expected = {
      {plat::kDIK_UP, kInputUp},       {plat::kDIK_DOWN, kInputDown},
      {plat::kDIK_LEFT, kInputLeft},   {plat::kDIK_RIGHT, kInputRight},
      {kE, kInputButtonE},             {plat::kDIK_SPACE, kInputAction},
      {kQ, kInputButtonQ},             {kW, kInputButtonW},
      {plat::kDIK_RETURN, kInputSelect}, {plat::kDIK_ESCAPE, kInputBack},
      {kP, kInputPause},               {kR, kInputExtra1},
      {kLeftCtrl, kInputExtra2},       {kA, 0x10},
      {kS, 0x20},                      {kD, 0x40},
      {kF, 0x80},                      {kPad4, kInputLeft},
      {kPad6, kInputRight}};
  ASSERT_EQ(expected.size(), static_cast<size_t>(InputDevice::kNumKeys));
  // Each key alone gives its bits and nothing else (19 distinct keys: every binding is one).
  for (const auto& [key, mask] : expected) {
    Frame({static_cast<int>(key)});
    EXPECT_EQ(m_device.LocalHeld(), mask) << "key " << key;
    Frame({});
  }

  // A rebinding moves the bits to the new key; ResetBindings brings the defaults back.
  m_device.Bindings()[5].key = kF;
  const uint32_t rebound = m_device.Bindings()[5].mask;
  Frame({static_cast<int>(InputDevice::DefaultBindings()[5].key)});
  EXPECT_EQ(m_device.LocalHeld() & rebound, 0u);
  m_device.ResetBindings();
  Frame({static_cast<int>(InputDevice::DefaultBindings()[5].key)});
  EXPECT_EQ(m_device.LocalHeld(), rebound);

  // A binding restored from a damaged profile reads as up, not past the keyboard's table.
  for (uint32_t key : {256u, 0xFFFFFFFFu, 0x80000000u}) {
    m_device.Bindings()[0].key = key;
    Frame({plat::kDIK_UP, 0xFF});
    EXPECT_EQ(m_device.LocalHeld(), 0u) << key;
  }
}

TEST_F(InputDeviceTest, HeldAndPressedFollowTheKeysOverSuccessiveUpdates) {
  struct Step {
    std::initializer_list<int> keys;
    uint32_t held, pressed;
  };
  const Step steps[] = {
      {{plat::kDIK_SPACE, plat::kDIK_LEFT}, kInputAction | kInputLeft, kInputAction | kInputLeft},
      {{plat::kDIK_SPACE, plat::kDIK_LEFT}, kInputAction | kInputLeft, 0},
      // A second key of a held bit is no new press; the bit stays while either is down.
      {{plat::kDIK_SPACE, plat::kDIK_LEFT, kPad4}, kInputAction | kInputLeft, 0},
      {{kPad4, kE}, kInputLeft | kInputButtonE, kInputButtonE},
      {{}, 0, 0},
      {{plat::kDIK_SPACE}, kInputAction, kInputAction},
      {{plat::kDIK_RETURN, plat::kDIK_ESCAPE}, kInputSelect | kInputBack,
       kInputSelect | kInputBack},
  };
  int index = 0;
  for (const Step& step : steps) {
    Frame(step.keys);
    EXPECT_EQ(m_device.LocalHeld(), step.held) << "step " << index;
    EXPECT_EQ(m_device.LocalPressed(), step.pressed) << "step " << index;
    for (uint32_t bit = 1; bit; bit <<= 1) {
      EXPECT_EQ(m_device.IsButtonPressed(bit), (step.pressed & bit) != 0) << index << " " << bit;
      EXPECT_EQ(m_device.IsPlayerButtonHeld(0, bit), (step.held & bit) != 0) << index << " " << bit;
    }
    ++index;
  }
}

TEST_F(InputDeviceTest, PadButtonsReadThroughTheRemap) {
  struct Case {
    const char* name;
    uint32_t remap[4];
    std::initializer_list<int> buttons;
    std::initializer_list<int> keys;
    uint32_t held;
  };
  const uint32_t kDefault[4] = {kRawE, kRawQ, kRawW, kRawAction};
  const Case cases[] = {
      {"defaults", {kRawE, kRawQ, kRawW, kRawAction}, {0, 1, 2, 3}, {}, 0xF000},
      {"E to the turn bit", {0x400000, kRawQ, kRawW, kRawAction}, {0, 2}, {}, 0x400000 | kRawQ},
      // The penalty-kick game's words: E and action swap, Q and W swap.
      {"swapped E", {kRawAction, kRawW, kRawQ, kRawE}, {0}, {}, kRawAction},
      {"swapped action and Q", {kRawAction, kRawW, kRawQ, kRawE}, {1, 2}, {}, kRawE | kRawW},
      // The remap is of the pad only; the keyboard's E is still E.
      {"keys merge unmapped", {0x400000, kRawQ, kRawW, kRawAction}, {0}, {kE}, 0x400000 | kRawE},
  };
  for (const Case& c : cases) {
    std::copy(std::begin(c.remap), std::end(c.remap), m_device.m_padRemap);
    Frame({});
    Frame(c.keys, c.buttons);
    EXPECT_EQ(m_device.LocalHeld(), c.held) << c.name;
    EXPECT_EQ(m_device.LocalPressed(), c.held) << c.name;
  }

  // Directions on the hat pass through untouched, whatever the remap says.
  std::copy(std::begin(kDefault), std::end(kDefault), m_device.m_padRemap);
  m_script.GetPad(0).state.rgdwPOV[0] = 9000;
  Frame({});
  EXPECT_EQ(m_device.LocalHeld(), kInputRight);

  // A new device starts with the identity remap; without a pad only the keys count.
  InputDevice fresh;
  EXPECT_TRUE(std::equal(std::begin(kDefault), std::end(kDefault), fresh.m_padRemap));
  BaseGamePad::Shutdown();
  Frame({plat::kDIK_DOWN});
  EXPECT_EQ(m_device.LocalHeld(), kInputDown);
}

TEST_F(InputDeviceTest, LinkInputAnswersForBothPlayersInPlaceOfTheLocalOne) {
  Frame({plat::kDIK_SPACE, plat::kDIK_UP});
  const uint32_t local = kInputAction | kInputUp;
  // Without the link both players read the local input.
  EXPECT_EQ(m_device.IsPlayerButtonHeld(1, kInputUp), 1);

  const uint32_t held[2] = {kInputLeft | kInputButtonQ, kInputRight};
  const uint32_t pressed[2] = {kInputButtonQ, kInputButtonW};
  m_device.SetLinkInput(held, pressed);
  EXPECT_EQ(m_device.IsLinkActive(), 1);
  struct Case {
    int32_t player;
    uint32_t mask;
    int32_t held;
  };
  const Case cases[] = {{0, kInputLeft, 1},  {0, kInputButtonQ, 1}, {0, kInputRight, 0},
                        {0, local, 0},       {1, kInputRight, 1},   {1, kInputLeft, 0},
                        {1, local, 0},       {-1, 0xFFFFFFFF, 0},   {2, 0xFFFFFFFF, 0}};
  for (const Case& c : cases)
    EXPECT_EQ(m_device.IsPlayerButtonHeld(c.player, c.mask), c.held) << c.player << " " << c.mask;
  // Presses are player 0's on both machines: the game is driven by the host.
  EXPECT_EQ(m_device.IsButtonPressed(kInputButtonQ), 1);
  EXPECT_EQ(m_device.IsButtonPressed(kInputButtonW), 0);
  EXPECT_EQ(m_device.IsButtonPressed(local), 0);
  // The local words go on being read, for the link to send.
  Frame({plat::kDIK_SPACE, plat::kDIK_UP});
  EXPECT_EQ(m_device.LocalHeld(), local);
  EXPECT_EQ(m_device.IsPlayerButtonHeld(0, local), 0);

  m_device.ClearLinkInput();
  EXPECT_EQ(m_device.IsPlayerButtonHeld(0, kInputUp), 1);
  EXPECT_EQ(m_device.IsPlayerButtonHeld(0, kInputLeft), 0);
  EXPECT_EQ(m_device.IsPlayerButtonHeld(-1, local), 0);
}

}  // namespace
