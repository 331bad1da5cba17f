// The game-level buttons over the application's real keyboard and pad objects, which read
// scripted DirectInput devices.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <utility>

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
constexpr int kSpace = plat::kDIK_SPACE, kLeft = plat::kDIK_LEFT, kUp = plat::kDIK_UP;

// The first pad's action buttons 0 to 3 give these raw bits; the default mapping passes them
// through.
constexpr uint32_t kRawE = 0x1000, kRawAction = 0x2000, kRawQ = 0x4000, kRawW = 0x8000;

class InputDeviceTest : public TempDirTest {
 protected:
  void SetUp() override {
    GetApp().ResetForTests();
    m_script.Install();
    ASSERT_EQ(plat::DirectInput8Create(&m_directInput), plat::kDI_OK);
    ASSERT_EQ(GetApp().GetKeyboard()->Create(m_directInput), 1);
    m_script.AddPad("Test Pad", plat::DeviceType::Gamepad, false);
    g_gamePad = new GamePad(m_directInput);
    ASSERT_EQ(g_gamePad->EnumeratePads(), 1);
    MapFirstPadToItsStateWord();
  }
  void TearDown() override {
    GetApp().GetKeyboard()->Release();
    BaseGamePad::Shutdown();
    if (m_directInput) m_directInput->Release();
    m_script.Uninstall();
    GetApp().ResetForTests();
  }

  // One frame with exactly these keys and pad buttons down.
  void Frame(std::initializer_list<int> keys, std::initializer_list<int> buttons = {}) {
    for (int k = 0; k < Keyboard::kKeyCount; ++k) m_script.SetKey(k, false);
    for (int k : keys) m_script.SetKey(k, true);
    uint8_t* padButtons = m_script.GetPad(0).state.rgbButtons;
    std::fill(padButtons, padButtons + 4, 0);
    for (int b : buttons) padButtons[b] = 0x80;
    GetApp().GetKeyboard()->Poll();
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

TEST_F(InputDeviceTest, EachOfTheNineteenDefaultKeysGivesItsBits) {
  const std::pair<int, uint32_t> keys[] = {
      {kUp, kInputUp},       {plat::kDIK_DOWN, kInputDown}, {kLeft, kInputLeft},
      {plat::kDIK_RIGHT, kInputRight}, {kE, kInputButtonE},   {kSpace, kInputAction},
      {kQ, kInputButtonQ},   {kW, kInputButtonW},           {plat::kDIK_RETURN, kInputSelect},
      {plat::kDIK_ESCAPE, kInputBack}, {kP, kInputPause},     {kR, kInputExtra1},
      {kLeftCtrl, kInputExtra2}, {kA, 0x10}, {kS, 0x20}, {kD, 0x40}, {kF, 0x80},
      {kPad4, kInputLeft},   {kPad6, kInputRight}};
  static_assert(std::size(keys) == InputDevice::kNumKeys);
  // 19 distinct keys each giving exactly its bits: every binding is one of them.
  for (const auto& [key, bits] : keys) {
    Frame({key});
    EXPECT_EQ(m_device.LocalHeld(), bits) << "key " << key;
  }
  // A rebound key moves its bits; ResetBindings brings the defaults back.
  m_device.Bindings()[5].key = kF;
  Frame({static_cast<int>(InputDevice::DefaultBindings()[5].key)});
  EXPECT_EQ(m_device.LocalHeld(), 0u);
  m_device.ResetBindings();
  Frame({static_cast<int>(InputDevice::DefaultBindings()[5].key)});
  EXPECT_EQ(m_device.LocalHeld(), InputDevice::DefaultBindings()[5].mask);
  // A code from a damaged profile reads as up, not past the keyboard's table.
  for (uint32_t key : {256u, 0xFFFFFFFFu, 0x80000000u}) {
    m_device.Bindings()[0].key = key;
    Frame({kUp, 0xFF});
    EXPECT_EQ(m_device.LocalHeld(), 0u) << key;
  }
}

TEST_F(InputDeviceTest, PressedIsHeldNowAndNotAtThePreviousUpdate) {
  struct Step {
    std::initializer_list<int> keys;
    uint32_t held, pressed;
  };
  const Step steps[] = {
      {{kSpace, kLeft}, kInputAction | kInputLeft, kInputAction | kInputLeft},
      {{kSpace, kLeft}, kInputAction | kInputLeft, 0},
      {{kSpace, kLeft, kPad4}, kInputAction | kInputLeft, 0},  // a second key of a held bit
      {{kPad4, kE}, kInputLeft | kInputButtonE, kInputButtonE},
      {{}, 0, 0},
      {{kSpace}, kInputAction, kInputAction},
  };
  for (const Step& step : steps) {
    Frame(step.keys);
    for (uint32_t bit = 1; bit; bit <<= 1) {
      EXPECT_EQ(m_device.IsButtonPressed(bit), (step.pressed & bit) != 0) << &step - steps;
      EXPECT_EQ(m_device.IsPlayerButtonHeld(0, bit), (step.held & bit) != 0) << &step - steps;
    }
  }
}

TEST_F(InputDeviceTest, PadButtonsReadAsTheirRemapWords) {
  struct Case {
    uint32_t remap[4];  // for raw E, Q, W, action
    std::initializer_list<int> buttons;
    std::initializer_list<int> keys;
    uint32_t held;
  };
  const Case cases[] = {
      {{kRawE, kRawQ, kRawW, kRawAction}, {0, 1, 2, 3}, {}, 0xF000},
      {{0x400000, kRawQ, kRawW, kRawAction}, {0, 2}, {}, 0x400000 | kRawQ},
      // The penalty-kick game's swaps, each button read from the pad's own bit.
      {{kRawAction, kRawW, kRawQ, kRawE}, {0}, {}, kRawAction},
      {{kRawAction, kRawW, kRawQ, kRawE}, {1, 2}, {}, kRawE | kRawW},
      {{kRawAction, kRawW, kRawQ, kRawE}, {3}, {}, kRawQ},
      // The keyboard's E is not the pad's.
      {{0x400000, kRawQ, kRawW, kRawAction}, {0}, {kE}, 0x400000 | kRawE},
  };
  for (const Case& c : cases) {
    std::copy(std::begin(c.remap), std::end(c.remap), m_device.m_padRemap);
    Frame({});
    Frame(c.keys, c.buttons);
    EXPECT_EQ(m_device.LocalHeld(), c.held) << &c - cases;
    EXPECT_EQ(m_device.LocalPressed(), c.held) << &c - cases;
  }
  // Other pad bits pass as they are; a new device maps each button to itself.
  m_script.GetPad(0).state.rgdwPOV[0] = 9000;
  Frame({});
  EXPECT_EQ(m_device.LocalHeld(), kInputRight);
  const InputDevice fresh;
  EXPECT_TRUE(std::equal(fresh.m_padRemap, fresh.m_padRemap + 4, InputDevice::kRemappedPadButtons));
  BaseGamePad::Shutdown();  // without a pad only the keys count
  Frame({plat::kDIK_DOWN});
  EXPECT_EQ(m_device.LocalHeld(), kInputDown);
}

// What the pad gives before anyone maps it: its state word, the stick's directions beyond the
// dead zone as the hat's. A mapping given first is kept.
TEST_F(InputDeviceTest, ThePadReadsAsItsStateWordUnlessAMappingWasGiven) {
  struct Case {
    int32_t x, y;  // stick, -1000..1000
    uint32_t hat;
    uint32_t held;
  };
  const Case cases[] = {
      {150, -150, 0xFFFFFFFFu, 0},  // inside the dead zone
      {-600, 600, 0xFFFFFFFFu, kInputLeft | kInputDown | 0x40 | 0x20},
      {0, 0, 18000, kInputDown},
  };
  for (const Case& c : cases) {
    plat::JoyState& state = m_script.GetPad(0).state;
    state.lX = c.x;
    state.lY = c.y;
    state.rgdwPOV[0] = c.hat;
    Frame({});
    EXPECT_EQ(m_device.LocalHeld(), c.held) << &c - cases;
  }
  const GamePadMappingPair own = {kRawE, kInputAction};
  g_gamePad->SetMapping(0, 1, &own);
  MapFirstPadToItsStateWord();
  EXPECT_EQ(g_gamePad->PairCount(0), 1);
  Frame({}, {0});
  EXPECT_EQ(m_device.LocalHeld(), uint32_t{kInputAction});
}

TEST_F(InputDeviceTest, LinkWordsAnswerForBothPlayersInPlaceOfTheLocalInput) {
  Frame({kSpace, kUp});
  EXPECT_EQ(m_device.IsPlayerButtonHeld(1, kInputUp), 1);  // unlinked, both read the local input
  const uint32_t held[2] = {kInputLeft | kInputButtonQ, kInputRight};
  const uint32_t pressed[2] = {kInputButtonQ, kInputButtonW};
  m_device.SetLinkInput(held, pressed);
  Frame({kSpace, kUp});
  for (int32_t player : {-1, 0, 1, 2}) {
    for (uint32_t bit = 1; bit; bit <<= 1) {
      const bool expected = (player == 0 || player == 1) && (held[player] & bit);
      EXPECT_EQ(m_device.IsPlayerButtonHeld(player, bit), expected) << player << " " << bit;
      // Presses are the host's on both machines, or they would part at the first one.
      EXPECT_EQ(m_device.IsButtonPressed(bit), (pressed[0] & bit) != 0) << bit;
    }
  }
  EXPECT_EQ(m_device.LocalHeld(), kInputAction | kInputUp);  // still read, for the link to send
  m_device.ClearLinkInput();
  EXPECT_EQ(m_device.IsPlayerButtonHeld(0, kInputUp | kInputAction), 1);
  EXPECT_EQ(m_device.IsPlayerButtonHeld(0, kInputLeft), 0);
}

}  // namespace
