// Reading pads, mapping their bits and driving rumble, through the scripted DirectInput.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Engine/Input.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCGamePad.h"
#include "Platform/Input/Input.h"
#include "Platform/Input/ScriptedInput.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace {

// Bits of the first pad's raw mask, as the game reads them.
constexpr uint32_t kUp = 0x1, kDown = 0x2, kLeft = 0x4, kRight = 0x8;
constexpr uint32_t kStickRight = 0x80;
constexpr uint32_t kAction1 = 0x1000;
constexpr uint32_t kUpCopy = 0x1000000, kRightCopy = 0x8000000;
constexpr uint32_t kLeftCopy = 0x4000000, kAction1Copy = 0x10000000;

class GamePadTest : public TempDirTest {
 protected:
  void SetUp() override {
    m_input.Install();
    ASSERT_EQ(plat::DirectInput8Create(&m_directInput), plat::kDI_OK);
  }
  void TearDown() override {
    m_pad.reset();
    if (g_gamePad) BaseGamePad::Shutdown();
    if (m_directInput) m_directInput->Release();
    m_input.Uninstall();
  }
  GamePad& Start() {
    m_pad = std::make_unique<GamePad>(m_directInput);
    EXPECT_EQ(m_pad->EnumeratePads(), 1);
    return *m_pad;
  }
  // One due frame as the application runs it.
  void Frame() {
    m_pad->Update();
    m_pad->BaseGamePad::Update();
  }
  plat::JoyState& State(int pad) { return m_input.GetPad(pad).state; }
  const std::vector<plat::ScriptedInput::RumbleCall>& Rumble() { return m_input.RumbleCalls(); }

  plat::ScriptedInput m_input;
  plat::DirectInput* m_directInput = nullptr;
  std::unique_ptr<GamePad> m_pad;
};

TEST_F(GamePadTest, HatDiagonalsCountForBothNeighbours) {
  m_input.AddPad("Test Pad", plat::DeviceType::Gamepad, false);
  GamePad& pad = Start();
  struct Case {
    uint32_t pov;
    int up, right, down, left;
  };
  const Case cases[] = {{0, 1, 0, 0, 0},     {4500, 1, 1, 0, 0},  {9000, 0, 1, 0, 0},
                        {13500, 0, 1, 1, 0}, {18000, 0, 0, 1, 0}, {22500, 0, 0, 1, 1},
                        {27000, 0, 0, 0, 1}, {31500, 1, 0, 0, 1}, {35999, 1, 0, 0, 0},
                        {0xFFFFFFFFu, 0, 0, 0, 0}, {0x0000FFFFu, 0, 0, 0, 0}};
  for (const Case& c : cases) {
    State(0).rgdwPOV[0] = c.pov;
    EXPECT_EQ(pad.IsControlDown(kPadCodeHatUp), c.up) << c.pov;
    EXPECT_EQ(pad.IsControlDown(kPadCodeHatRight), c.right) << c.pov;
    EXPECT_EQ(pad.IsControlDown(kPadCodeHatDown), c.down) << c.pov;
    EXPECT_EQ(pad.IsControlDown(kPadCodeHatLeft), c.left) << c.pov;
  }
  State(0).rgdwPOV[0] = 4500;
  Frame();
  EXPECT_EQ(pad.RawCurrent(0), kUp | kRight | kUpCopy | kRightCopy);
  State(0).rgdwPOV[0] = 31500;
  Frame();
  EXPECT_EQ(pad.RawCurrent(0), kUp | kLeft | kUpCopy | kLeftCopy);
  EXPECT_EQ(pad.IsControlDown(kPadCodeNone), 0);
}

TEST_F(GamePadTest, SticksHaveADeadZoneAndScaleBeyondIt) {
  m_input.AddPad("Test Pad", plat::DeviceType::Gamepad, false);
  GamePad& pad = Start();
  State(0).lX = 150;
  Frame();
  EXPECT_EQ(pad.RawCurrent(0), 0u);
  EXPECT_EQ(pad.Analog(0, 0), 0.0f);

  State(0).lX = 600;
  Frame();
  EXPECT_EQ(pad.RawCurrent(0), kRight | kStickRight | kRightCopy);
  EXPECT_EQ(pad.Analog(0, 0), 0.5f);

  // Each axis to its value and bits: X 0, Y 1, Rz 2, Z 3; full deflection is exactly +-1.
  State(0).lX = -1000;
  State(0).lY = 1000;
  State(0).lRz = -201;
  State(0).lZ = 200;
  Frame();
  EXPECT_EQ(pad.Analog(0, 0), -1.0f);
  EXPECT_EQ(pad.Analog(0, 1), 1.0f);
  EXPECT_EQ(pad.Analog(0, 2), -1.0f / 800.0f);
  EXPECT_EQ(pad.Analog(0, 3), 0.0f);
  EXPECT_EQ(pad.RawCurrent(0), kLeft | 0x40u | kDown | 0x20u | 0x400u | kLeftCopy | 0x2000000u);
  State(0).lZ = 201;
  State(0).lRz = 1000;
  Frame();
  EXPECT_EQ(pad.RawCurrent(0) & 0xF00u, 0x200u | 0x800u);
  for (int i = 4; i < BaseGamePad::kAnalogValues; ++i) EXPECT_EQ(pad.Analog(0, i), 0.0f);
  EXPECT_EQ(pad.Analog(0, 16), 0.0f);
  EXPECT_EQ(pad.Analog(9, 0), 0.0f);
}

TEST_F(GamePadTest, HeldButtonIsPressedOnceAndClearEdgesForgetsPresses) {
  m_input.AddPad("Test Pad", plat::DeviceType::Gamepad, false);
  GamePad& pad = Start();
  const GamePadMappingPair pairs[] = {{kAction1, 0x100}};
  pad.SetMapping(0, 1, pairs);

  State(0).rgbButtons[0] = 0x80;
  Frame();
  EXPECT_EQ(pad.RawPressed(0), kAction1 | kAction1Copy);
  EXPECT_EQ(pad.MappedPressed(0), 0x100u);
  for (int frame = 0; frame < 3; ++frame) {
    Frame();
    EXPECT_EQ(pad.RawCurrent(0), kAction1 | kAction1Copy);
    EXPECT_EQ(pad.RawPressed(0), 0u);
    EXPECT_EQ(pad.MappedPressed(0), 0u);
  }
  State(0).rgbButtons[0] = 0;
  Frame();
  EXPECT_EQ(pad.RawReleased(0), kAction1 | kAction1Copy);
  EXPECT_EQ(pad.MappedReleased(0), 0x100u);
  Frame();
  EXPECT_EQ(pad.RawReleased(0), 0u);

  // A press followed by ClearEdges (as a screen change does) is not new to the next screen.
  State(0).rgbButtons[0] = 0x80;
  Frame();
  ASSERT_NE(pad.RawPressed(0), 0u);
  pad.ClearEdges();
  EXPECT_EQ(pad.RawPressed(0), 0u);
  EXPECT_EQ(pad.MappedPressed(0), 0u);
  EXPECT_EQ(pad.RawCurrent(0), kAction1 | kAction1Copy);  // held is still held
  Frame();
  EXPECT_EQ(pad.RawPressed(0), 0u);
  EXPECT_EQ(pad.MappedPressed(0), 0u);
}

TEST_F(GamePadTest, MappingPairsTurnRawBitsIntoGameBits) {
  m_input.AddPad("Test Pad", plat::DeviceType::Gamepad, false);
  GamePad& pad = Start();
  const GamePadMappingPair pairs[] = {
      {kUp | kUpCopy, 0x1}, {0x10 | 0x20, 0x40}, {kAction1, 0x2 | 0x4}, {0x8000, 0x8}};
  pad.SetMapping(0, 4, pairs);
  EXPECT_EQ(pad.PairCount(0), 4);

  State(0).lY = -500;  // up by stick: 0x1, 0x10, 0x1000000
  State(0).rgbButtons[0] = 0x80;
  Frame();
  EXPECT_EQ(pad.MappedCurrent(0), 0x1u | 0x40u | 0x2u | 0x4u);
  EXPECT_EQ(pad.MappedPressed(0), 0x1u | 0x40u | 0x2u | 0x4u);

  State(0).lY = 0;
  Frame();
  EXPECT_EQ(pad.MappedCurrent(0), 0x2u | 0x4u);
  EXPECT_EQ(pad.MappedPrevious(0), 0x1u | 0x40u | 0x2u | 0x4u);
  EXPECT_EQ(pad.MappedReleased(0), 0x1u | 0x40u);
  EXPECT_EQ(pad.MappedPressed(0), 0u);

  // No pairs: the mapped masks read 0 whatever is held.
  pad.SetMapping(0, 0, pairs);
  Frame();
  EXPECT_EQ(pad.MappedCurrent(0), 0u);
  EXPECT_EQ(pad.MappedPrevious(0), 0u);
  EXPECT_EQ(pad.MappedReleased(0), 0u);

  // At most 32 pairs are kept; out-of-range pads are ignored.
  std::vector<GamePadMappingPair> many(40, GamePadMappingPair{kAction1, 0x1});
  many[35].gameBits = 0x80000000u;
  pad.SetMapping(0, 40, many.data());
  EXPECT_EQ(pad.PairCount(0), 32);
  Frame();
  EXPECT_EQ(pad.MappedCurrent(0), 0x1u);
  pad.SetMapping(8, 1, pairs);
  pad.SetMapping(-1, 1, pairs);
  pad.SetMapping(1, 1, nullptr);
  EXPECT_EQ(pad.PairCount(1), 0);
}

TEST_F(GamePadTest, TwoPadsReadOnlyTheFirstThroughTheLastEnumeratedRecord) {
  m_input.AddPad("Pad A", plat::DeviceType::Joystick, false);
  m_input.AddPad("Pad B", plat::DeviceType::Gamepad, false);
  GamePad& pad = Start();
  ASSERT_EQ(pad.GetPadCount(), 2);
  PadMappingFile& table = pad.GetMappingFile();
  EXPECT_STREQ(table.Record(0)->name, "Pad A");
  EXPECT_STREQ(table.Record(1)->name, "Pad B");
  EXPECT_EQ(table.Current(), table.Record(1));
  // Give the two records different action buttons: only "Pad B"'s one counts for pad 0.
  table.Record(0)->codes[kPadAction1] = 5;
  table.Record(1)->codes[kPadAction1] = 6;

  State(0).rgbButtons[5] = 0x80;
  Frame();
  EXPECT_EQ(pad.RawCurrent(0), 0u);
  State(0).rgbButtons[6] = 0x80;
  Frame();
  EXPECT_EQ(pad.RawCurrent(0), kAction1 | kAction1Copy);

  // Pad 1 is connected and polled, but its masks stay 0 whatever it holds.
  for (auto& b : State(1).rgbButtons) b = 0x80;
  State(1).lX = 1000;
  State(1).rgdwPOV[0] = 0;
  const GamePadMappingPair pairs[] = {{0xFFFFFFFFu, 0x1}};
  pad.SetMapping(1, 1, pairs);
  Frame();
  EXPECT_EQ(pad.IsConnected(1), 1);
  EXPECT_EQ(pad.RawCurrent(1), 0u);
  EXPECT_EQ(pad.RawPressed(1), 0u);
  EXPECT_EQ(pad.MappedCurrent(1), 0u);
  EXPECT_EQ(pad.Analog(1, 0), 0.0f);
}

TEST_F(GamePadTest, PressedControlForRebinding) {
  m_input.AddPad("Test Pad", plat::DeviceType::Gamepad, false);
  GamePad& pad = Start();
  EXPECT_EQ(pad.GetPressedControl(), -1);
  State(0).rgbButtons[9] = 0x80;
  State(0).rgbButtons[0] = 0x80;
  State(0).rgdwPOV[0] = 9000;
  EXPECT_EQ(pad.GetPressedControl(), 0);  // the lowest button first
  State(0).rgbButtons[9] = State(0).rgbButtons[0] = 0;
  EXPECT_EQ(pad.GetPressedControl(), kPadCodeHatRight);
  State(0).rgdwPOV[0] = 27000;
  EXPECT_EQ(pad.GetPressedControl(), kPadCodeHatLeft);
  State(0).rgdwPOV[0] = 0;
  EXPECT_EQ(pad.GetPressedControl(), kPadCodeHatUp);
  State(0).rgdwPOV[0] = 4500;  // only the four exact directions count
  EXPECT_EQ(pad.GetPressedControl(), -1);
  State(0).lY = 201;
  EXPECT_EQ(pad.GetPressedControl(), kPadCodeHatDown);
  State(0).lX = -201;  // X wins over Y
  EXPECT_EQ(pad.GetPressedControl(), kPadCodeHatLeft);
  State(0).lX = 0;
  State(0).lY = -300;
  EXPECT_EQ(pad.GetPressedControl(), kPadCodeHatUp);

  m_input.GetPad(0).stateFails = true;
  EXPECT_EQ(pad.GetPressedControl(), -1);
  EXPECT_EQ(pad.IsControlDown(kPadCodeHatUp), 0);
}

TEST_F(GamePadTest, UnreadablePadsAndMissingPadsAreSafe) {
  m_input.AddPad("Test Pad", plat::DeviceType::Gamepad, false);
  GamePad& pad = Start();
  State(0).rgbButtons[0] = 0x80;
  Frame();
  ASSERT_EQ(pad.RawCurrent(0), kAction1 | kAction1Copy);

  // A state read that fails changes nothing.
  m_input.GetPad(0).stateFails = true;
  State(0).rgbButtons[0] = 0;
  Frame();
  EXPECT_EQ(pad.RawCurrent(0), kAction1 | kAction1Copy);
  m_input.GetPad(0).stateFails = false;

  // A poll that keeps failing clears the raw masks.
  m_input.GetPad(0).pollResult = plat::kDIERR_INPUTLOST;
  Frame();
  EXPECT_EQ(pad.RawCurrent(0), 0u);
  EXPECT_EQ(pad.RawPrevious(0), 0u);
  m_input.GetPad(0).pollResult = plat::kDI_NOEFFECT;  // still a good poll
  State(0).rgbButtons[0] = 0x80;
  Frame();
  EXPECT_EQ(pad.RawCurrent(0), kAction1 | kAction1Copy);

  // Indices outside 0..7 are refused everywhere.
  pad.PollPad(-1);
  pad.PollPad(8);
  pad.SetRumble(-1);
  pad.SetRumble(8);
  pad.SetMotor1(8, 255, 10);
  pad.StopPad(-3);
  EXPECT_EQ(pad.IsConnected(-1), 0);
  EXPECT_EQ(pad.IsConnected(8), 0);
  EXPECT_EQ(pad.RawCurrent(8), 0u);
  EXPECT_TRUE(Rumble().empty());

  // The constant answers.
  EXPECT_STREQ(pad.GetPadLabel(0), "1");
  EXPECT_EQ((std::vector<int32_t>{pad.NeedsCalibration(0), pad.HasDigitalPad(0),
                                  pad.HasActionButtons(0), pad.HasAnalogSticks(0),
                                  pad.IsWireless(0), pad.IsBatteryLow(0)}),
            (std::vector<int32_t>{0, 1, 1, 1, 0, 0}));
}

TEST_F(GamePadTest, NoFirstPadAnswersNothingDown) {
  m_input.AddPad("Broken Pad", plat::DeviceType::Gamepad, true);
  m_input.GetPad(0).createFails = true;
  GamePad& pad = Start();
  EXPECT_TRUE(DebugLogContains("Failed to create Pad 0"));
  EXPECT_EQ(pad.GetPadCount(), 1);
  EXPECT_EQ(pad.IsConnected(0), 0);
  EXPECT_EQ(pad.IsControlDown(0), 0);
  EXPECT_EQ(pad.IsControlDown(kPadCodeHatUp), 0);
  EXPECT_EQ(pad.GetPressedControl(), -1);
  pad.PollPad(0);
  Frame();
  pad.SetMotor1(0, 200, 5);
  pad.StopAll();
  EXPECT_TRUE(Rumble().empty());
  EXPECT_EQ(pad.RawCurrent(0), 0u);
}

TEST_F(GamePadTest, RumbleStopsByItselfAndIsNotShortened) {
  m_input.AddPad("Rumble Pad", plat::DeviceType::Gamepad, true);
  GamePad& pad = Start();
  EXPECT_EQ(pad.HasForceFeedback(0), 1);
  EXPECT_EQ(m_input.GetPad(0).effectsCreated, 1);

  pad.SetMotor1(0, 255, 30);
  ASSERT_EQ(Rumble().size(), 1u);
  EXPECT_EQ(Rumble()[0].directionX, 255 * 256);
  EXPECT_EQ(Rumble()[0].directionY, 0);
  EXPECT_EQ(Rumble()[0].magnitude, 255 * 256);

  for (int frame = 1; frame < 30; ++frame) Frame();
  EXPECT_EQ(Rumble().size(), 1u);
  EXPECT_EQ(pad.Motor1Timer(0), 1);
  Frame();  // the 30th frame silences it
  ASSERT_EQ(Rumble().size(), 2u);
  EXPECT_EQ(Rumble()[1].directionX, 0);
  EXPECT_EQ(Rumble()[1].magnitude, 0);
  EXPECT_EQ(pad.Motor1Strength(0), 0);
  for (int frame = 0; frame < 10; ++frame) Frame();
  EXPECT_EQ(Rumble().size(), 2u);

  // A shorter second request changes the strength but not the end.
  m_input.ClearRecords();
  pad.SetMotor2(0, 255, 30);
  for (int frame = 0; frame < 10; ++frame) Frame();
  pad.SetMotor2(0, 128, 5);
  ASSERT_EQ(Rumble().size(), 2u);
  EXPECT_EQ(Rumble()[1].directionY, 128 * 256);
  EXPECT_EQ(Rumble()[1].magnitude, 128 * 256);
  EXPECT_EQ(pad.Motor2Timer(0), 20);
  for (int frame = 0; frame < 19; ++frame) Frame();
  EXPECT_EQ(Rumble().size(), 2u);
  Frame();
  ASSERT_EQ(Rumble().size(), 3u);
  EXPECT_EQ(Rumble()[2].magnitude, 0);

  // Both motors: the magnitude is the length of (a, b), rounded down, with no overflow.
  m_input.ClearRecords();
  pad.SetBothMotors(0, 255, 3);
  ASSERT_EQ(Rumble().size(), 1u);
  int64_t a = 255 * 256;
  int64_t m = Rumble()[0].magnitude;
  EXPECT_EQ(Rumble()[0].directionX, a);
  EXPECT_EQ(Rumble()[0].directionY, a);
  EXPECT_LE(m * m, 2 * a * a);
  EXPECT_GT((m + 1) * (m + 1), 2 * a * a);
  pad.StopMotor1(0);
  EXPECT_EQ(pad.Motor1Timer(0), 0);
  ASSERT_EQ(Rumble().size(), 2u);
  EXPECT_EQ(Rumble()[1].directionX, 0);
  EXPECT_EQ(Rumble()[1].directionY, a);
  pad.StopAll();
  ASSERT_EQ(Rumble().size(), 3u);
  EXPECT_EQ(Rumble()[2].magnitude, 0);

  // Strengths beyond 0..255 are held to it.
  pad.SetMotor1(0, 1000, 2);
  EXPECT_EQ(Rumble().back().directionX, 255 * 256);
}

TEST_F(GamePadTest, DisabledRumbleAndPadsWithoutForceFeedbackSendNothing) {
  m_input.AddPad("Plain Pad", plat::DeviceType::Gamepad, false);
  m_input.AddPad("Rumble Pad", plat::DeviceType::Joystick, true);
  GamePad& pad = Start();
  EXPECT_EQ(pad.HasForceFeedback(0), 0);
  EXPECT_EQ(m_input.GetPad(0).effectsCreated, 0);
  pad.SetMotor1(0, 255, 30);
  pad.SetBothMotors(0, 100, 30);
  for (int frame = 0; frame < 31; ++frame) Frame();
  EXPECT_TRUE(Rumble().empty());

  // Turning rumble off silences a running motor once, then nothing more is sent.
  pad.SetMotor1(1, 200, 100);
  ASSERT_EQ(Rumble().size(), 1u);
  pad.EnableRumble(0);
  ASSERT_EQ(Rumble().size(), 2u);
  EXPECT_EQ(Rumble()[1].pad, 1);
  EXPECT_EQ(Rumble()[1].magnitude, 0);
  EXPECT_EQ(pad.RumbleEnabled(1), 0);
  EXPECT_EQ(pad.Motor1Timer(1), 0);
  pad.SetMotor1(1, 255, 30);
  pad.SetMotor2(1, 255, 30);
  for (int frame = 0; frame < 31; ++frame) Frame();
  EXPECT_EQ(Rumble().size(), 2u);

  pad.EnableRumble(1);
  pad.SetMotor1(1, 10, 0);  // no duration: no strength either
  ASSERT_EQ(Rumble().size(), 3u);
  EXPECT_EQ(Rumble()[2].magnitude, 0);
}

TEST_F(GamePadTest, ShutdownDeletesTheGlobalPadOnceAndClearsThePointer) {
  m_input.AddPad("Rumble Pad", plat::DeviceType::Gamepad, true);
  int liveBefore = m_input.LiveObjects();
  auto* made = TrackedNew<GamePad>("App::InitHardware", m_directInput);
  g_gamePad = made;
  EXPECT_EQ(made->RawCurrent(0) | made->MappedReleased(0), 0u) << "nothing held before a read";
  ASSERT_EQ(made->EnumeratePads(), 1);
  EXPECT_EQ(m_input.LiveObjects(), liveBefore + 1);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("App::InitHardware"), 1u);
  std::remove("pdjp.cfg");

  BaseGamePad::Shutdown();
  EXPECT_EQ(g_gamePad, nullptr);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("App::InitHardware"), 0u);
  EXPECT_EQ(m_input.LiveObjects(), liveBefore);  // the device went with it
  EXPECT_EQ(ReadFileBytes("pdjp.cfg").size(), 282624u);  // written a last time
  BaseGamePad::Shutdown();  // nothing left to do
  EXPECT_EQ(g_gamePad, nullptr);

  // Deleting the global object directly does not leave the pointer dangling either.
  g_gamePad = new GamePad(m_directInput);
  delete g_gamePad;
  EXPECT_EQ(g_gamePad, nullptr);
}

// The SDL back end: enumeration works headless, whatever is plugged in.
TEST(GamePadSdlTest, EnumeratesThroughTheRealBackEnd) {
  ScopedTempDir dir;
  plat::DirectInput* directInput = nullptr;
  ASSERT_EQ(plat::DirectInput8Create(&directInput), plat::kDI_OK);
  {
    GamePad pad(directInput);
    EXPECT_EQ(pad.EnumeratePads(), 1);
    EXPECT_LE(pad.GetPadCount(), BaseGamePad::kMaxPads);
    pad.Update();
    pad.BaseGamePad::Update();
  }
  EXPECT_EQ(ReadFileBytes("pdjp.cfg").size(), 282624u);
  std::string found = "Found ";
  EXPECT_TRUE(DebugLogContains(found));
  directInput->Release();
}

}  // namespace
