// The two-player link over the real loopback peer. Lockstep runs use two processes: the test
// forks, the child plays the client and reports by its exit code. Unsound messages come over a
// real socket from a raw peer in this process.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Engine/CRC32.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCGamePad.h"
#include "Engine/PC/PCKeyboard.h"
#include "Engine/Random.h"
#include "Game/GameBaseClass.h"
#include "Game/Helper/InputDevice.h"
#include "Game/Multiplayer/PC/TwoPlayerLink.h"
#include "Platform/Input/Input.h"
#include "Platform/Input/ScriptedInput.h"
#include "Platform/Net/LoopbackPeer.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace {

using plat::LoopbackPeer;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
using Record = TwoPlayerLink::InputRecord;

constexpr const char* kCode = "MGRST";
constexpr uint32_t kSeed = 0x5EED1234u;
constexpr int32_t kPressed = -1;  // Word's "player" for the pressed bits

uint32_t Word(const InputDevice& input, int32_t player) {
  uint32_t word = 0;
  for (uint32_t bit = 1; bit; bit <<= 1) {
    const int32_t on = player == kPressed ? input.IsButtonPressed(bit)
                                          : input.IsPlayerButtonHeld(player, bit);
    word |= on ? bit : 0;
  }
  return word;
}

// Every tick draws from the shared generator and takes in both players' input, so a difference
// in seed, draw order or input shows in the hash.
class LockstepGame : public GameBaseClass {
 public:
  LockstepGame() : GameBaseClass(kModeTwoPlayer, 0) {}
  int32_t Update() override {
    const InputDevice& in = *GetInputDevice();
    const uint32_t mix = ((RandRaw() * 31 + Word(in, 0)) * 31 + Word(in, 1)) * 31 + Word(in, -1);
    m_state = (m_state ^ mix) * 2654435761u;
    if (m_tick++ == m_divergeAt) m_state += 1;
    return 0;
  }
  uint32_t GetStateHash() override { return CRC32::Compute(&m_state, sizeof(m_state)); }
  int32_t m_divergeAt = -1;

 private:
  uint32_t m_state = 0;
  int32_t m_tick = 0;
};

struct Machine {
  Machine(LoopbackPeer& end, int32_t who) : peer(end), player(who) {
    SetInputDevice(&input);
    link.AttachPeer(&peer);
  }
  ~Machine() { SetInputDevice(nullptr); }
  LoopbackPeer& peer;
  int32_t player;  // 0 host, 1 client
  InputDevice input;
  TwoPlayerLink link;
  std::unique_ptr<LockstepGame> game;
  bool wrongWords = false;
};

// Waits for as long as the other machine takes: a machine that goes ends the wait with a
// failure, and one that hangs is ctest's to stop (the child dies with the test).
bool WaitForTick(Machine& m) {
  while (!m.link.ReadyForTick()) {
    if (m.link.Failure() != LinkFailure::kNone) return false;
    m.peer.WaitReadable(100);
  }
  return true;
}

// Each machine's keys and the first pad's last button change every few ticks in a pattern of
// its own, so that either machine can tell what the other held on a tick.
constexpr int kPatternKeys[] = {plat::kDIK_SPACE, plat::kDIK_LEFT, plat::kDIK_UP, 0x10, 0x12};
constexpr uint32_t kPatternBits[] = {kInputAction,  kInputLeft,    kInputUp,
                                     kInputButtonQ, kInputButtonE, kInputButtonW};
constexpr int kPatternPadButton = 3;  // gives kInputButtonW

uint32_t Pattern(int32_t tick, int32_t player) {
  return static_cast<uint32_t>(tick / 3 + 1) * 2654435761u ^
         static_cast<uint32_t>(player) * 0x9E37u;
}
bool PatternHas(uint32_t pattern, int k) { return (pattern >> (7 + 3 * k)) & 1; }

uint32_t PatternHeld(int32_t tick, int32_t player) {
  uint32_t held = 0;
  for (int k = 0; k < 6; ++k) held |= PatternHas(Pattern(tick, player), k) ? kPatternBits[k] : 0;
  return held;
}

// Ticks as the framework runs them, up to `ticks` or until the link stops them.
void Play(Machine& m, plat::ScriptedInput& script, int32_t ticks,
          const std::function<void(int32_t)>& afterTick = {}) {
  while (m.link.Frame() < ticks) {
    const int32_t tick = m.link.Frame();
    const uint32_t pattern = Pattern(tick, m.player);
    for (int k = 0; k < 5; ++k) script.SetKey(kPatternKeys[k], PatternHas(pattern, k));
    script.GetPad(0).state.rgbButtons[kPatternPadButton] = PatternHas(pattern, 5) ? 0x80 : 0;
    GetApp().GetKeyboard()->Poll();
    g_gamePad->Update();
    g_gamePad->BaseGamePad::Update();
    m.input.Update();
    m.link.Update();
    if (!WaitForTick(m)) return;
    m.link.BeginTick(m.input);
    // Each machine finds both players' keys and pad as they held them, and the host's presses
    // as the presses.
    for (int32_t player : {0, 1})
      m.wrongWords |= Word(m.input, player) != PatternHeld(tick, player);
    m.wrongWords |= Word(m.input, m.player) != m.input.LocalHeld();
    m.wrongWords |= m.player == 0 && Word(m.input, kPressed) != m.input.LocalPressed();
    m.game->Update();
    m.link.EndTick(m.game->GetStateHash());
    if (afterTick) afterTick(tick);
  }
}

std::string g_startedCode;
void OnClientStart(const char* code) { g_startedCode = code; }

bool StartClient(Machine& m) {
  g_startedCode.clear();
  m.link.SetClientStartCallback(&OnClientStart);
  for (; g_startedCode.empty() && m.link.IsConnected(); m.peer.WaitReadable(100)) m.link.Update();
  if (g_startedCode != kCode || GetSeed() != kSeed || m.link.IsHost()) return false;
  m.game = std::make_unique<LockstepGame>();
  return true;
}

// The child's exit code: 0 when it ended as expected, else these bits.
enum ChildFault {
  kNoStart = 1, kWrongFailure = 2, kWrongFrame = 4, kWrongTicks = 8, kWrongWords = 16
};

int Judge(const Machine& m, LinkFailure failure, int32_t failedFrame, int32_t ticks) {
  int code = m.link.Failure() != failure ? kWrongFailure : 0;
  if (failure != LinkFailure::kNone && m.link.FailedFrame() != failedFrame) code |= kWrongFrame;
  if (m.link.Frame() != ticks) code |= kWrongTicks;
  return code | (m.wrongWords ? kWrongWords : 0);
}

// Plays `client` in a child process on one end of a fresh socket pair and `host` here on the
// other; the child's exit code, or -1 when it did not exit by itself.
int RunLinked(const std::function<void(Machine&)>& host,
              const std::function<int(Machine&)>& client) {
  std::unique_ptr<LoopbackPeer> hostEnd, clientEnd;
  if (!LoopbackPeer::CreatePair(&hostEnd, &clientEnd)) return -1;
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);  // a test run that is killed takes its client along
    hostEnd.reset();  // a copy of the host's end here would hide the host's going
    int code;
    {
      Machine m(*clientEnd, 1);
      code = StartClient(m) ? client(m) : kNoStart;
    }
    _exit(code);
  }
  clientEnd.reset();
  {
    Machine m(*hostEnd, 0);
    EXPECT_TRUE(m.link.StartHost(kCode, kSeed));
    m.game = std::make_unique<LockstepGame>();
    if (pid > 0) host(m);
  }
  hostEnd.reset();
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) != pid) return -1;
  return pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class TwoPlayerLinkTest : public TempDirTest {
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

  plat::ScriptedInput m_script;
  plat::DirectInput* m_directInput = nullptr;
};

TEST_F(TwoPlayerLinkTest, TenThousandTicksRunInLockstepWithEqualStates) {
  constexpr int32_t kTicks = 10000;
  double seconds = 0.0;
  const int child = RunLinked(
      [&](Machine& m) {
        const auto start = Clock::now();
        Play(m, m_script, kTicks);
        EXPECT_TRUE(WaitForTick(m));  // the states after the last tick are compared too
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
        EXPECT_EQ(Judge(m, LinkFailure::kNone, -1, kTicks), 0);
        m.link.StopGame();
      },
      [&](Machine& m) {
        Play(m, m_script, kTicks);
        return (WaitForTick(m) ? 0 : kWrongFailure) | Judge(m, LinkFailure::kNone, -1, kTicks);
      });
  EXPECT_EQ(child, 0);
  std::printf("10000 lockstep ticks between two processes: %.3f s\n", seconds);
  RecordProperty("lockstep_10000_ms", static_cast<int>(seconds * 1000.0));
}

TEST_F(TwoPlayerLinkTest, ADivergingClientIsCaughtOnTheTickItParts) {
  struct Case {
    bool extraDraw;  // else its game state
    int32_t tick;    // the tick after which the client differs (-1: before the first)
  };
  for (const Case c : {Case{false, 5000}, Case{true, 2999}, Case{true, -1}}) {
    const int child = RunLinked(
        [&](Machine& m) {
          Play(m, m_script, 10000);
          EXPECT_EQ(Judge(m, LinkFailure::kOutOfStep, c.tick, c.tick + 1), 0) << c.tick;
          EXPECT_EQ(TwoPlayerLink::FailureTextId(m.link.Failure()), 1021);
        },
        [&](Machine& m) {
          if (!c.extraDraw) m.game->m_divergeAt = c.tick;
          if (c.extraDraw && c.tick < 0) RandRaw();
          Play(m, m_script, 10000, [&](int32_t tick) {
            if (c.extraDraw && tick == c.tick) RandRaw();
          });
          return Judge(m, LinkFailure::kOutOfStep, c.tick, c.tick + 1);
        });
    EXPECT_EQ(child, 0) << c.tick;
  }
  EXPECT_TRUE(DebugLogContains("TwoPlayerLink: games out of step at frame 5000"));
}

TEST_F(TwoPlayerLinkTest, TheClientGoingEndsTheGameAtTheFirstTickItLeftWithoutInput) {
  enum Kind { kProcessEnds, kLeavesTheGame, kGameEndsOnBoth };
  struct Case {
    Kind kind;
    int32_t ticks;
    LinkFailure hostFailure;
  };
  const Case cases[] = {{kProcessEnds, 100, LinkFailure::kConnectionLost},
                        {kLeavesTheGame, 200, LinkFailure::kConnectionLost},
                        {kGameEndsOnBoth, 300, LinkFailure::kNone}};
  for (const Case& c : cases) {
    const int child = RunLinked(
        [&](Machine& m) {
          Play(m, m_script, c.kind == kGameEndsOnBoth ? c.ticks : 10000);
          for (int i = 0; i < 20; ++i, m.peer.WaitReadable(5)) m.link.Update();
          EXPECT_EQ(Judge(m, c.hostFailure, c.ticks, c.ticks), 0) << c.kind;
          m.link.StopGame();
        },
        [&](Machine& m) {
          Play(m, m_script, c.ticks);
          if (c.kind == kProcessEnds) _exit(0);  // no goodbye: the socket just closes
          m.link.StopGame();
          for (; m.link.IsConnected(); m.peer.WaitReadable(100)) m.link.Update();
          return Judge(m, LinkFailure::kNone, -1, c.ticks);
        });
    EXPECT_EQ(child, 0) << c.kind;
  }
}

// ---------------------------------------------------------------------------------------------
// Unsound messages over a real socket from a raw peer in this process.

std::vector<Bytes> Drain(LoopbackPeer& peer) {
  std::vector<Bytes> packets;
  while (plat::Packet* p = peer.Receive()) {
    packets.emplace_back(p->data, p->data + p->length);
    peer.Release(p);
  }
  return packets;
}

Bytes Encoded(const Record& record) {
  Bytes bytes(TwoPlayerLink::kRecordSize);
  TwoPlayerLink::EncodeRecord(record, bytes.data());
  return bytes;
}

void Send(LoopbackPeer& peer, const Bytes& packet) {
  peer.Send(packet.data(), static_cast<uint32_t>(packet.size()));
}

// The record a well-behaved client answers the host's last one with.
Record Answer(LoopbackPeer& raw) {
  Record answer;
  for (const Bytes& p : Drain(raw))
    if (TwoPlayerLink::DecodeRecord(p.data(), static_cast<uint32_t>(p.size()), &answer))
      answer.held = 0x2000;
  return answer;
}

TEST_F(TwoPlayerLinkTest, UnsoundRecordsAreRefusedWithALogLineAndEndTheGame) {
  constexpr LinkFailure kNone = LinkFailure::kNone, kOutOfStep = LinkFailure::kOutOfStep;
  struct Case {
    std::function<std::vector<Bytes>(Record)> packets;  // from the good record of tick 1
    const char* log;      // null: the game goes on with the good record
    LinkFailure failure;  // and FailedFrame:
    int32_t frame;
  };
  const auto edited = [](size_t size, size_t flip) {
    return [=](Record r) {
      Bytes b = Encoded(r);
      b.resize(size);
      if (flip < size) b[flip] ^= 0x01;
      return std::vector<Bytes>{b};
    };
  };
  constexpr size_t kNoFlip = 99;
  const auto frames = [](std::vector<uint32_t> numbers) {
    return [=](Record r) {
      std::vector<Bytes> out;
      for (uint32_t n : numbers) out.push_back(Encoded((r.frame = n, r)));
      return out;
    };
  };
  const auto stop = [](uint8_t session, uint8_t why, uint8_t frame, bool thenGood) {
    return [=](const Record& r) {
      std::vector<Bytes> out = {{TwoPlayerLink::kMsgStop, session, why, 0, frame, 0, 0, 0}};
      if (thenGood) out.push_back(Encoded(r));
      return out;
    };
  };
  const Case cases[] = {
      {edited(32, 8), "refused an input record of 32 bytes", kOutOfStep, 1},  // the held word
      {edited(32, 31), "refused an input record of 32 bytes", kOutOfStep, 1},  // the checksum
      {edited(31, kNoFlip), "refused an input record of 31 bytes", kOutOfStep, 1},
      {edited(33, kNoFlip), "refused an input record of 33 bytes", kOutOfStep, 1},
      {edited(1, kNoFlip), "refused an input record of 1 bytes", kOutOfStep, 1},
      {frames({0}), "refused the input record of frame 0 at frame 1", kOutOfStep, 1},
      {frames({3}), "refused the input record of frame 3 at frame 1", kOutOfStep, 1},
      {frames({1, 1}), "refused the input record of frame 1 at frame 1", kOutOfStep, 1},
      {[](Record r) {
         Record stale = r;
         stale.session -= 1;  // a late record of an earlier game
         stale.held = 0xFFFF;
         return std::vector<Bytes>{Encoded(stale), Encoded(r)};
       },
       nullptr, kNone, 0},
      {stop(0, 1, 7, true), nullptr, kNone, 0},  // a stop of an earlier game
      // The other machine found the games apart, or left after tick 0.
      {stop(1, 1, 7, false), "games out of step at frame 7", kOutOfStep, 7},
      {stop(1, 0, 1, false), "connection lost at frame 1", LinkFailure::kConnectionLost, 1},
  };
  for (const Case& c : cases) {
    const size_t row = &c - cases;
    std::unique_ptr<LoopbackPeer> hostEnd, raw;
    ASSERT_TRUE(LoopbackPeer::CreatePair(&hostEnd, &raw));
    Machine host(*hostEnd, 0);
    ASSERT_TRUE(host.link.StartHost(kCode, kSeed));
    EXPECT_FALSE(host.link.ReadyForTick());  // sends the record of tick 0
    Send(*raw, Encoded(Answer(*raw)));
    ASSERT_TRUE(WaitForTick(host)) << row;
    EXPECT_TRUE(host.link.ReadyForTick());  // asking again changes nothing
    host.link.BeginTick(host.input);
    host.link.EndTick(0x1234);
    EXPECT_FALSE(host.link.ReadyForTick());  // sends the record of tick 1

    for (const Bytes& packet : c.packets(Answer(*raw))) Send(*raw, packet);
    EXPECT_EQ(WaitForTick(host), c.failure == kNone) << row;
    EXPECT_FALSE(host.link.ReadyForTick() && c.failure != kNone) << row;
    EXPECT_EQ(host.link.Failure(), c.failure) << row;
    if (!c.log) {
      host.link.BeginTick(host.input);
      EXPECT_EQ(Word(host.input, 1), 0x2000u) << row;
      continue;
    }
    EXPECT_EQ(host.link.FailedFrame(), c.frame) << row;
    EXPECT_TRUE(DebugLogContains(c.log)) << row;
    // A client whose record was refused is told, or it would wait for the host's for ever.
    std::vector<Bytes> told;
    if (c.log[0] == 'r') told.push_back({TwoPlayerLink::kMsgStop, 1, 1, 0, 1, 0, 0, 0});
    EXPECT_EQ(Drain(*raw), told) << row;
  }
}

TEST_F(TwoPlayerLinkTest, UnsoundStartsAreRefusedAndASoundOneSeedsAndStartsTheClient) {
  std::unique_ptr<LoopbackPeer> clientEnd, raw;
  ASSERT_TRUE(LoopbackPeer::CreatePair(&clientEnd, &raw));
  Machine client(*clientEnd, 1);
  client.link.SetClientStartCallback(&OnClientStart);
  g_startedCode.clear();
  const auto start = [](const char* code, size_t size) {
    Bytes b = {TwoPlayerLink::kMsgStart, 7, 0, 0, 0x34, 0x12, 0xED, 0x5E};  // kSeed
    b.resize(size);
    for (size_t i = 0; code[i] && 8 + i < size; ++i) b[8 + i] = static_cast<uint8_t>(code[i]);
    return b;
  };
  for (const Bytes& b : {start(kCode, 23), start(kCode, 25), start("SIXTEEN-LETTERS!", 24),
                         start("", 24), start("MG RST", 24), start("MG\x7FRST", 24),
                         Bytes{TwoPlayerLink::kMsgStop, 0, 0}, Bytes{41}})
    Send(*raw, b);
  for (int i = 0; i < 5; ++i) client.link.Update();
  EXPECT_FALSE(client.link.IsGameRunning());
  EXPECT_TRUE(g_startedCode.empty());
  for (const char* log : {"refused a start of 23 bytes", "refused a start of 24 bytes",
                          "refused a stop of 3 bytes", "ignored a message with identifier 41"})
    EXPECT_TRUE(DebugLogContains(log)) << log;

  SeedRand(99);
  Send(*raw, start("FIFTEEN-LETTERS", 24));
  client.link.Update();
  EXPECT_EQ(g_startedCode, "FIFTEEN-LETTERS");
  EXPECT_TRUE(client.link.IsGameRunning());
  EXPECT_FALSE(client.link.IsHost());
  EXPECT_EQ(GetSeed(), kSeed);
  EXPECT_EQ(GetRandCount(), 0u);
  Send(*raw, start(kCode, 24));  // a start during the game is no new game
  client.link.Update();
  EXPECT_TRUE(DebugLogContains("refused a start while a linked game runs"));
  EXPECT_FALSE(client.link.StartHost(kCode, 1));
  client.link.AttachPeer(nullptr);
  EXPECT_EQ(TwoPlayerLink::FailureTextId(client.link.Failure()), 1020);

  // A client with no way to start the game says so, rather than leave the host waiting.
  TwoPlayerLink unable;
  unable.AttachPeer(clientEnd.get());
  Drain(*raw);
  Send(*raw, start(kCode, 24));
  unable.Update();
  EXPECT_FALSE(unable.IsGameRunning());
  EXPECT_EQ(Drain(*raw), (std::vector<Bytes>{{TwoPlayerLink::kMsgStop, 7, 0, 0, 0, 0, 0, 0}}));
}

TEST_F(TwoPlayerLinkTest, TheHostSendsItsStartAndRecordsInTheirLittleEndianLayouts) {
  std::unique_ptr<LoopbackPeer> hostEnd, raw;
  ASSERT_TRUE(LoopbackPeer::CreatePair(&hostEnd, &raw));
  TwoPlayerLink link;
  LoopbackPeer never(-1);
  link.AttachPeer(&never);
  EXPECT_FALSE(link.StartHost(kCode, kSeed));
  link.AttachPeer(hostEnd.get());
  for (const char* code : {"", "SIXTEEN-LETTERS!", "MG RST"}) EXPECT_FALSE(link.StartHost(code, 1));
  ASSERT_TRUE(link.StartHost("DCLEMENCY", 0x01020304));
  EXPECT_EQ(GetSeed(), 0x01020304u);
  const Bytes start = {TwoPlayerLink::kMsgStart, 1, 0, 0, 4, 3, 2, 1, 'D', 'C', 'L', 'E',
                       'M', 'E', 'N', 'C', 'Y', 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(Drain(*raw), (std::vector<Bytes>{{plat::ID_CONNECTION_REQUEST_ACCEPTED}, start}));
  EXPECT_FALSE(link.ReadyForTick());  // the record of tick 0 goes out
  {
    AssertCounter asserts;
    InputDevice input;
    link.BeginTick(input);  // out of turn: reported, and no tick
    link.EndTick(0);
    EXPECT_EQ(asserts.Count(), 2u);
    EXPECT_EQ(link.Frame(), 0);
  }
  // Stopping tells the client the first tick it gets no record for; the next game has a session
  // and a code of its own.
  link.StopGame();
  link.StopGame();
  ASSERT_TRUE(link.StartHost(kCode, kSeed));
  EXPECT_STREQ(link.GameCode(), kCode);
  const std::vector<Bytes> next = Drain(*raw);
  ASSERT_EQ(next.size(), 3u);  // the record, the stop, the start
  EXPECT_EQ(next[1], (Bytes{TwoPlayerLink::kMsgStop, 1, 0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(next[2][1], 2);

  Record r;
  r.session = 1;
  r.reserved = 0x0201;
  r.frame = 0x04030201;
  r.stateHash = 0xAABBCCDD;
  r.reserved2 = 7;
  const Bytes wire = Encoded(r);
  EXPECT_EQ(Bytes(wire.begin(), wire.begin() + 20),
            (Bytes{TwoPlayerLink::kMsgInput, 1, 1, 2, 1, 2, 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0xDD,
                   0xCC, 0xBB, 0xAA}));
  const uint32_t crc = CRC32::Compute(wire.data(), 28);
  EXPECT_EQ(Bytes(wire.begin() + 28, wire.end()),
            (Bytes{uint8_t(crc), uint8_t(crc >> 8), uint8_t(crc >> 16), uint8_t(crc >> 24)}));
  Record back;
  ASSERT_TRUE(TwoPlayerLink::DecodeRecord(wire.data(), TwoPlayerLink::kRecordSize, &back));
  EXPECT_EQ(std::memcmp(&back, &r, sizeof(r) - 4), 0);
  EXPECT_EQ(back.checksum, crc);
}

// ---------------------------------------------------------------------------------------------
// The loopback peer itself.

TEST(TwoPlayerLinkPeerTest, PacketsArriveWholeAndInOrderThenTheLossOnce) {
  std::unique_ptr<LoopbackPeer> a, b;
  ASSERT_TRUE(LoopbackPeer::CreatePair(&a, &b));
  // Sends outrun the reader: the socket and then the peer's queue take them, up to its limit.
  int sent = 0;
  uint32_t staticLength = 0;
  for (Bytes p(LoopbackPeer::kMaxPacketSize / 2); sent < 200; ++sent) {
    std::fill(p.begin(), p.end(), static_cast<uint8_t>(sent));
    p[0] = plat::ID_FIRST_USER_MESSAGE;
    if (!b->Send(p.data(), static_cast<uint32_t>(p.size()))) break;
    if (sent == 3) b->SetStaticData(reinterpret_cast<const uint8_t*>("Fenna"), 5);
  }
  EXPECT_GE(sent * (LoopbackPeer::kMaxPacketSize / 2), LoopbackPeer::kMaxBacklog);
  EXPECT_LT(sent, 200);
  for (const Bytes& refused : {Bytes{plat::ID_CONNECTION_LOST}, Bytes{},
                               Bytes(LoopbackPeer::kMaxPacketSize + 1, 40)})
    EXPECT_FALSE(a->Send(refused.data(), static_cast<uint32_t>(refused.size())));
  EXPECT_FALSE(a->Send(nullptr, 4));

  std::vector<Bytes> got;
  for (int tries = 0; static_cast<int>(got.size()) <= sent && tries < 10000; ++tries) {
    if (plat::Packet* news = b->Receive()) b->Release(news);  // moves b's queue on
    plat::Packet* p = a->Receive();
    if (!p) continue;
    got.emplace_back(p->data, p->data + p->length);
    a->Release(p);
    // The static data was set after the fourth packet: it shows from the fifth on.
    if (got.size() == 5 || got.size() == 6) {
      EXPECT_EQ(a->RemoteStaticData(&staticLength) != nullptr, got.size() == 6);
    }
  }
  ASSERT_EQ(got.size(), static_cast<size_t>(sent + 1));
  EXPECT_EQ(got[0], Bytes{plat::ID_CONNECTION_REQUEST_ACCEPTED});
  for (int i = 1; i <= sent; ++i) {
    EXPECT_EQ(got[i].size(), LoopbackPeer::kMaxPacketSize / 2);
    EXPECT_EQ(got[i].back(), static_cast<uint8_t>(i - 1));
  }
  EXPECT_EQ(staticLength, 5u);
  const Bytes longest(LoopbackPeer::kMaxPacketSize, 40);
  EXPECT_TRUE(a->Send(longest.data(), LoopbackPeer::kMaxPacketSize));
  EXPECT_FALSE(a->SetStaticData(longest.data(), LoopbackPeer::kMaxStaticDataSize + 1));
  EXPECT_TRUE(a->SetStaticData(longest.data(), LoopbackPeer::kMaxStaticDataSize));
  EXPECT_EQ(a->LocalStaticData(&staticLength), a->LocalStaticData(nullptr));
  EXPECT_EQ(staticLength, LoopbackPeer::kMaxStaticDataSize);
  const std::vector<Bytes> atB = Drain(*b);  // a's longest packet
  ASSERT_EQ(atB.size(), 1u);
  EXPECT_EQ(atB[0].size(), LoopbackPeer::kMaxPacketSize);
  EXPECT_NE(b->RemoteStaticData(&staticLength), nullptr);
  EXPECT_EQ(staticLength, LoopbackPeer::kMaxStaticDataSize);
  b.reset();
  EXPECT_EQ(Drain(*a), std::vector<Bytes>{Bytes{plat::ID_CONNECTION_LOST}});
  EXPECT_FALSE(a->IsConnected());
  EXPECT_FALSE(a->Send(got[1].data(), 4));
}

TEST(TwoPlayerLinkPeerTest, AFrameThatCannotBeOneDropsTheConnection) {
  const auto header = [](uint32_t length, uint8_t kind) {
    return Bytes{uint8_t(length), uint8_t(length >> 8), uint8_t(length >> 16),
                 uint8_t(length >> 24), kind};
  };
  for (const Bytes& bad : {header(0, 0), header(1, 0), header(0xFFFFFFFF, 0), header(3, 7),
                           header(LoopbackPeer::kMaxPacketSize + 2, 0),
                           header(LoopbackPeer::kMaxStaticDataSize + 2, 1)}) {
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    LoopbackPeer peer(fds[0]);
    Bytes stream = header(2, 0);
    stream.push_back(plat::ID_FIRST_USER_MESSAGE);
    stream.insert(stream.end(), bad.begin(), bad.end());
    ASSERT_EQ(write(fds[1], stream.data(), stream.size()), static_cast<ssize_t>(stream.size()));
    EXPECT_EQ(Drain(peer), (std::vector<Bytes>{{plat::ID_CONNECTION_REQUEST_ACCEPTED},
                                               {plat::ID_FIRST_USER_MESSAGE},
                                               {plat::ID_CONNECTION_LOST}}));
    uint8_t byte;
    EXPECT_EQ(read(fds[1], &byte, 1), 0);  // the far end sees the connection go too
    close(fds[1]);
  }

  // Waiting knows a frame already read in from one still coming in part.
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  LoopbackPeer peer(fds[0]);
  Bytes stream = header(2, 0);
  stream.push_back(plat::ID_FIRST_USER_MESSAGE);
  stream.insert(stream.end(), stream.begin(), stream.end());
  ASSERT_EQ(write(fds[1], stream.data(), stream.size() - 1), ssize_t(stream.size() - 1));
  EXPECT_EQ(Drain(peer).size(), 2u);  // the news and the first frame
  EXPECT_FALSE(peer.WaitReadable(0));
  ASSERT_EQ(write(fds[1], stream.data(), stream.size()), ssize_t(stream.size()));
  plat::Packet* completed = peer.Receive();  // leaves the next whole frame read in
  ASSERT_NE(completed, nullptr);
  peer.Release(completed);
  EXPECT_TRUE(peer.WaitReadable(0));
  close(fds[1]);
}

}  // namespace
