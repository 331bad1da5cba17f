#include <gtest/gtest.h>

#include <string>

#include "Engine/Input.h"
#include "Engine/PC/PCKeyboard.h"
#include "Platform/Input/Input.h"
#include "Platform/Input/ScriptedInput.h"
#include "tests/support/AppHarness.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace {

class KeyboardMouseTest : public TempDirTest {
 protected:
  void SetUp() override {
    m_input.Install();
    ASSERT_EQ(plat::DirectInput8Create(&m_directInput), plat::kDI_OK);
    ASSERT_NE(m_directInput, nullptr);
  }
  void TearDown() override {
    m_keyboard.Release();
    m_mouse.Release();
    if (m_directInput) m_directInput->Release();
    m_input.Uninstall();
  }

  int CountNonZero() const {
    int n = 0;
    for (int k = 0; k < Keyboard::kKeyCount; ++k) {
      n += m_keyboard.m_current[k] != 0;
      n += m_keyboard.m_previous[k] != 0;
      n += m_keyboard.m_pressed[k] != 0;
      n += m_keyboard.m_released[k] != 0;
    }
    return n;
  }

  plat::ScriptedInput m_input;
  plat::DirectInput* m_directInput = nullptr;
  Keyboard m_keyboard;
  Mouse m_mouse;
};

TEST_F(KeyboardMouseTest, HeldKeyIsPressedOnceAndReleasedTheFrameAfterItComesUp) {
  ASSERT_EQ(m_keyboard.Create(m_directInput), 1);
  m_input.SetKey(plat::kDIK_RETURN, true);
  m_input.SetKey(plat::kDIK_LEFT, true);

  m_keyboard.Poll();
  EXPECT_EQ(m_keyboard.IsKeyDown(plat::kDIK_RETURN), 1);
  EXPECT_EQ(m_keyboard.WasKeyPressed(plat::kDIK_RETURN), 1);
  EXPECT_EQ(m_keyboard.WasKeyPressed(plat::kDIK_LEFT), 1);
  EXPECT_EQ(m_keyboard.WasKeyReleased(plat::kDIK_RETURN), 0);
  EXPECT_EQ(m_keyboard.IsKeyDown(plat::kDIK_SPACE), 0);

  for (int frame = 0; frame < 3; ++frame) {
    m_keyboard.Poll();
    EXPECT_EQ(m_keyboard.IsKeyDown(plat::kDIK_RETURN), 1);
    EXPECT_EQ(m_keyboard.WasKeyPressed(plat::kDIK_RETURN), 0) << frame;
    EXPECT_EQ(m_keyboard.WasKeyReleased(plat::kDIK_RETURN), 0) << frame;
  }

  m_input.SetKey(plat::kDIK_RETURN, false);
  m_keyboard.Poll();
  EXPECT_EQ(m_keyboard.IsKeyDown(plat::kDIK_RETURN), 0);
  EXPECT_EQ(m_keyboard.WasKeyDown(plat::kDIK_RETURN), 1);
  EXPECT_EQ(m_keyboard.WasKeyReleased(plat::kDIK_RETURN), 1);
  EXPECT_EQ(m_keyboard.IsKeyDown(plat::kDIK_LEFT), 1);  // the other key is untouched

  m_keyboard.Poll();
  EXPECT_EQ(m_keyboard.WasKeyReleased(plat::kDIK_RETURN), 0);

  // Scan codes outside the table read as up rather than past the arrays.
  EXPECT_EQ(m_keyboard.IsKeyDown(-1), 0);
  EXPECT_EQ(m_keyboard.WasKeyPressed(256), 0);
}

TEST_F(KeyboardMouseTest, LostKeyboardIsReacquiredOrClearsEverything) {
  ASSERT_EQ(m_keyboard.Create(m_directInput), 1);
  m_input.SetKey(plat::kDIK_SPACE, true);
  m_keyboard.Poll();
  ASSERT_EQ(m_keyboard.IsKeyDown(plat::kDIK_SPACE), 1);

  // Lost but re-acquirable: the second read counts, the key is still held, no new edge.
  m_input.LoseKeyboard();
  m_keyboard.Poll();
  EXPECT_EQ(m_keyboard.IsKeyDown(plat::kDIK_SPACE), 1);
  EXPECT_EQ(m_keyboard.WasKeyPressed(plat::kDIK_SPACE), 0);

  // Lost for good: not even a release edge survives.
  m_input.LoseKeyboard();
  m_input.SetKeyboardAcquireFails(true);
  m_keyboard.Poll();
  EXPECT_EQ(CountNonZero(), 0);
  m_keyboard.Poll();
  EXPECT_EQ(CountNonZero(), 0);

  // Back in focus, the held key is a fresh press.
  m_input.SetKeyboardAcquireFails(false);
  m_keyboard.Poll();
  EXPECT_EQ(m_keyboard.WasKeyPressed(plat::kDIK_SPACE), 1);
}

TEST_F(KeyboardMouseTest, PauseShowsForOneFramePerPress) {
  ASSERT_EQ(m_keyboard.Create(m_directInput), 1);
  m_keyboard.Poll();
  EXPECT_EQ(m_keyboard.IsKeyDown(plat::kDIK_PAUSE), 0);

  m_input.PressPause();
  m_keyboard.Poll();
  EXPECT_EQ(m_keyboard.IsKeyDown(plat::kDIK_PAUSE), 1);
  EXPECT_EQ(m_keyboard.WasKeyPressed(plat::kDIK_PAUSE), 1);

  m_keyboard.Poll();
  EXPECT_EQ(m_keyboard.IsKeyDown(plat::kDIK_PAUSE), 0);
  EXPECT_EQ(m_keyboard.WasKeyReleased(plat::kDIK_PAUSE), 1);

  // Two presses between frames are still one frame.
  m_input.PressPause();
  m_input.PressPause();
  m_keyboard.Poll();
  EXPECT_EQ(m_keyboard.IsKeyDown(plat::kDIK_PAUSE), 1);
  m_keyboard.Poll();
  EXPECT_EQ(m_keyboard.IsKeyDown(plat::kDIK_PAUSE), 0);
}

TEST_F(KeyboardMouseTest, KeyboardWithoutDeviceIsSafeAndLogged) {
  m_input.SetKeyboardCreateFails(true);
  EXPECT_EQ(m_keyboard.Create(m_directInput), 0);
  EXPECT_EQ(m_keyboard.m_device, nullptr);
  EXPECT_TRUE(DebugLogContains("Failed to create device interface for the keyboard"));
  m_input.SetKey(plat::kDIK_ESCAPE, true);
  m_keyboard.Poll();
  EXPECT_EQ(CountNonZero(), 0);

  Keyboard noInput;
  EXPECT_EQ(noInput.Create(nullptr), 0);
  noInput.Poll();
  noInput.Release();
  noInput.Release();

  // A keyboard that exists but cannot be acquired yet is kept, and picked up by Poll later.
  m_input.SetKeyboardCreateFails(false);
  m_input.SetKeyboardAcquireFails(true);
  EXPECT_EQ(m_keyboard.Create(m_directInput), 0);
  EXPECT_NE(m_keyboard.m_device, nullptr);
  EXPECT_TRUE(DebugLogContains("Failed to Acquire the keyboard"));
  m_input.SetKeyboardAcquireFails(false);
  m_keyboard.Poll();
  EXPECT_EQ(m_keyboard.IsKeyDown(plat::kDIK_ESCAPE), 1);
}

TEST_F(KeyboardMouseTest, MouseMotionAndButtons) {
  ASSERT_EQ(m_mouse.Create(m_directInput), 1);
  m_input.MoveMouse(5, -3, 120);
  m_input.MoveMouse(2, 1);
  m_input.SetMouseButton(0, true);
  m_mouse.Poll();
  EXPECT_EQ(m_mouse.m_xMotion, 7);
  EXPECT_EQ(m_mouse.m_yMotion, -2);
  EXPECT_EQ(m_mouse.m_leftButton, 1);
  EXPECT_EQ(m_mouse.m_rightButton, 0);

  m_input.SetMouseButton(0, false);
  m_input.SetMouseButton(1, true);
  m_input.SetMouseButton(2, true);  // not kept
  m_mouse.Poll();
  EXPECT_EQ(m_mouse.m_xMotion, 0);  // motion is per frame, not a position
  EXPECT_EQ(m_mouse.m_yMotion, 0);
  EXPECT_EQ(m_mouse.m_leftButton, 0);
  EXPECT_EQ(m_mouse.m_rightButton, 1);
}

TEST_F(KeyboardMouseTest, FailingMouseReadKeepsTheLastValues) {
  ASSERT_EQ(m_mouse.Create(m_directInput), 1);
  m_input.MoveMouse(10, 20);
  m_input.SetMouseButton(0, true);
  m_mouse.Poll();

  m_input.LoseMouse();
  m_input.SetMouseAcquireFails(true);
  m_input.ClearRecords();
  m_input.MoveMouse(1, 1);
  m_mouse.Poll();
  EXPECT_EQ(m_mouse.m_xMotion, 10);
  EXPECT_EQ(m_mouse.m_yMotion, 20);
  EXPECT_EQ(m_mouse.m_leftButton, 1);
  // A refusal other than "input lost" is not retried within the frame.
  EXPECT_EQ(m_input.MouseAcquireCalls(), 1);

  m_input.SetMouseAcquireFails(false);
  m_mouse.Poll();  // not acquired: re-acquires, the values stay
  EXPECT_EQ(m_mouse.m_xMotion, 10);
  m_mouse.Poll();
  EXPECT_EQ(m_mouse.m_xMotion, 1);
}

// A mouse that stays lost whatever is asked of it.
class AlwaysLostMouse : public plat::MouseDevice {
 public:
  explicit AlwaysLostMouse(int* acquires) : m_acquires(acquires) {}
  int32_t Acquire() override {
    ++*m_acquires;
    return plat::kDIERR_INPUTLOST;
  }
  int32_t Unacquire() override { return plat::kDI_NOEFFECT; }
  int32_t GetDeviceState(plat::MouseState*) override { return plat::kDIERR_INPUTLOST; }

 private:
  int* m_acquires;
};

TEST_F(KeyboardMouseTest, ReacquiringALostMouseIsBounded) {
  int acquires = 0;
  m_mouse.m_device = new AlwaysLostMouse(&acquires);
  m_mouse.m_xMotion = 4;
  m_mouse.Poll();
  EXPECT_EQ(acquires, Mouse::kMaxAcquireRetries);
  EXPECT_EQ(m_mouse.m_xMotion, 4);
  m_mouse.Poll();
  EXPECT_EQ(acquires, 2 * Mouse::kMaxAcquireRetries);
}

TEST_F(KeyboardMouseTest, MouseFailuresAreLoggedAndReleaseIsSafe) {
  m_input.SetMouseCreateFails(true);
  EXPECT_EQ(m_mouse.Create(m_directInput), 0);
  EXPECT_EQ(m_mouse.m_device, nullptr);
  EXPECT_TRUE(DebugLogContains("Failed to create the mouse device"));
  m_mouse.Poll();
  EXPECT_EQ(m_mouse.m_xMotion, 0);
  EXPECT_EQ(m_mouse.m_leftButton, 0);

  m_input.SetMouseCreateFails(false);
  m_input.SetMouseAcquireFails(true);
  EXPECT_EQ(m_mouse.Create(m_directInput), 0);
  EXPECT_NE(m_mouse.m_device, nullptr);  // kept as created
  EXPECT_TRUE(DebugLogContains("Failed Acquire mouse device"));

  int live = m_input.LiveObjects();
  m_mouse.Release();
  EXPECT_EQ(m_mouse.m_device, nullptr);
  EXPECT_EQ(m_input.LiveObjects(), live - 1);
  m_mouse.Release();
  EXPECT_EQ(m_input.LiveObjects(), live - 1);
}

// The SDL back end under the headless video driver: no window ever has the keyboard focus, so
// both devices exist but cannot be acquired, and the engine runs on with nothing held.
TEST(KeyboardMouseSdlTest, HeadlessDevicesCannotBeAcquiredAndReadAsIdle) {
  ScopedTempDir dir;
  plat::DirectInput* directInput = nullptr;
  ASSERT_EQ(plat::DirectInput8Create(&directInput), plat::kDI_OK);
  Keyboard keyboard;
  EXPECT_EQ(keyboard.Create(directInput), 0);
  EXPECT_NE(keyboard.m_device, nullptr);
  EXPECT_TRUE(DebugLogContains("Failed to Acquire the keyboard"));
  keyboard.Poll();
  for (int k = 0; k < Keyboard::kKeyCount; ++k) ASSERT_EQ(keyboard.m_current[k], 0) << k;

  Mouse mouse;
  EXPECT_EQ(mouse.Create(directInput), 0);
  EXPECT_TRUE(DebugLogContains("Failed Acquire mouse device"));
  mouse.Poll();
  EXPECT_EQ(mouse.m_xMotion, 0);
  EXPECT_EQ(mouse.m_leftButton, 0);

  keyboard.Release();
  mouse.Release();
  directInput->Release();
}

// In the background nothing is read but the game side still runs: what went down or came up in
// the last active frame must not show again on every frame.
TEST_F(AppTest, EdgesOfTheLastActiveFrameDoNotRepeatWhileInactive) {
  m_harness.input().AddPad("Test Pad", plat::DeviceType::Gamepad, false);
  ASSERT_TRUE(m_harness.Start());
  const GamePadMappingPair pairs[] = {{0x1000, 0x100}};
  g_gamePad->SetMapping(0, 1, pairs);
  const Keyboard& keys = *m_harness.app().GetKeyboard();
  using PadEdge = uint32_t (BaseGamePad::*)(int32_t) const;
  const struct {
    bool down;
    const int32_t* keyEdges;
    PadEdge rawEdge;
    PadEdge mappedEdge;
  } phases[] = {
      {true, keys.m_pressed, &BaseGamePad::RawPressed, &BaseGamePad::MappedPressed},
      {false, keys.m_released, &BaseGamePad::RawReleased, &BaseGamePad::MappedReleased},
  };
  for (const auto& phase : phases) {
    SCOPED_TRACE(phase.down ? "pressed" : "released");
    m_harness.input().SetKey(plat::kDIK_SPACE, phase.down);
    m_harness.input().GetPad(0).state.rgbButtons[0] = phase.down ? 0x80 : 0;
    m_harness.RunFrames(1);
    ASSERT_EQ(phase.keyEdges[plat::kDIK_SPACE], 1);
    ASSERT_NE((g_gamePad->*phase.rawEdge)(0), 0u);
    ASSERT_EQ((g_gamePad->*phase.mappedEdge)(0), 0x100u);
    m_harness.system().QueueEvent(plat::WindowEventType::ActivateApp, 0);
    m_harness.RunFrames(2);
    EXPECT_EQ(phase.keyEdges[plat::kDIK_SPACE], 0);
    EXPECT_EQ((g_gamePad->*phase.rawEdge)(0), 0u);
    EXPECT_EQ((g_gamePad->*phase.mappedEdge)(0), 0u);
    EXPECT_EQ(keys.IsKeyDown(plat::kDIK_SPACE), phase.down ? 1 : 0) << "held stays held";
    m_harness.system().QueueEvent(plat::WindowEventType::ActivateApp, 1);
  }
}

}  // namespace
