// The two-player link over the real loopback peer: two processes (the test forks; the child is
// the client and reports by its exit code) run a small game in lockstep, driven tick by tick
// through the link as the framework drives it. Refused messages are fed in over a real socket
// from a raw peer in the same process.

#include <gtest/gtest.h>
#include <signal.h>
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

uint32_t HeldWord(const InputDevice& input, int32_t player) {
  uint32_t word = 0;
  for (uint32_t bit = 1; bit; bit <<= 1) word |= input.IsPlayerButtonHeld(player, bit) ? bit : 0;
  return word;
}

uint32_t PressedWord(const InputDevice& input) {
  uint32_t word = 0;
  for (uint32_t bit = 1; bit; bit <<= 1) word |= input.IsButtonPressed(bit) ? bit : 0;
  return word;
}

// Every tick draws from the shared generator and takes in both players' input, so a difference
// in seed, draw order or input shows in the hash.
class LockstepGame : public GameBaseClass {
 public:
  LockstepGame() : GameBaseClass(kModeTwoPlayer, 0) {}
  int32_t Update() override {
    const InputDevice& input = *GetInputDevice();
    uint32_t mix = RandRaw();
    mix = (mix * 31 + HeldWord(input, 0)) * 31 + HeldWord(input, 1);
    m_state = (m_state ^ (mix * 31 + PressedWord(input))) * 2654435761u;
    if (m_tick++ == m_divergeAt) m_state += 1;
    return 0;
  }
  uint32_t GetStateHash() override { return CRC32::Compute(&m_state, sizeof(m_state)); }
  int32_t m_divergeAt = -1;

 private:
  uint32_t m_state = 0;
  int32_t m_tick = 0;
};

// One machine: its link, input device and game.
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

bool WaitForTick(Machine& m) {
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (!m.link.ReadyForTick()) {
    if (m.link.Failure() != LinkFailure::kNone || Clock::now() > deadline) return false;
    m.peer.WaitReadable(5);
  }
  return true;
}

// Each machine's keys change every few ticks in its own pattern, so there are presses too.
void HoldKeys(plat::ScriptedInput& script, int32_t player, int32_t tick) {
  static constexpr int kKeys[] = {plat::kDIK_SPACE, plat::kDIK_LEFT, plat::kDIK_UP, 0x10, 0x12};
  const uint32_t pattern = static_cast<uint32_t>(tick / 3 + 1) * 2654435761u ^ (player * 0x9E37u);
  for (int k = 0; k < 5; ++k) script.SetKey(kKeys[k], (pattern >> (7 + 3 * k)) & 1);
}

// Ticks as the framework runs them, up to `ticks` or until the link stops them.
void Play(Machine& m, plat::ScriptedInput& script, int32_t ticks,
          const std::function<void(int32_t)>& afterTick = {}) {
  while (m.link.Frame() < ticks) {
    const int32_t tick = m.link.Frame();
    HoldKeys(script, m.player, tick);
    GetApp().GetKeyboard()->Poll();
    m.input.Update();
    m.link.Update();
    if (!WaitForTick(m)) return;
    m.link.BeginTick(m.input);
    // Each machine finds its own input as its player's, the host's presses as the presses.
    m.wrongWords |= HeldWord(m.input, m.player) != m.input.LocalHeld();
    m.wrongWords |= m.player == 0 && PressedWord(m.input) != m.input.LocalPressed();
    m.game->Update();
    m.link.EndTick(m.game->GetStateHash());
    if (afterTick) afterTick(tick);
  }
}

bool StartHost(Machine& m) {
  if (!m.link.StartHost(kCode, kSeed)) return false;
  m.game = std::make_unique<LockstepGame>();
  return true;
}

std::string g_startedCode;
void OnClientStart(const char* code) { g_startedCode = code; }

bool StartClient(Machine& m) {
  g_startedCode.clear();
  m.link.SetClientStartCallback(&OnClientStart);
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (g_startedCode.empty() && Clock::now() < deadline) {
    m.link.Update();
    m.peer.WaitReadable(5);
  }
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

// Runs `client` in a child process on one end of a fresh socket pair and `host` here on the
// other; the child's exit code, or -1 when it did not exit by itself in time.
int RunLinked(const std::function<void(Machine&)>& host,
              const std::function<int(Machine&)>& client) {
  std::unique_ptr<LoopbackPeer> hostEnd, clientEnd;
  if (!LoopbackPeer::CreatePair(&hostEnd, &clientEnd)) return -1;
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    hostEnd.reset();  // a copy of the host's end here would keep its loss from the client
    int code;
    {
      Machine m(*clientEnd, 1);
      code = StartClient(m) ? client(m) : kNoStart;
    }
    _exit(code);
  }
  clientEnd.reset();
  if (pid < 0) return -1;
  {
    Machine m(*hostEnd, 0);
    if (StartHost(m)) host(m);
    EXPECT_NE(m.game, nullptr);
  }
  hostEnd.reset();
  int status = 0;
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (Clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    usleep(1000);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class TwoPlayerLinkTest : public TempDirTest {
 protected:
  void SetUp() override {
    GetApp().ResetForTests();
    m_script.Install();
    ASSERT_EQ(plat::DirectInput8Create(&m_directInput), plat::kDI_OK);
    ASSERT_EQ(GetApp().GetKeyboard()->Create(m_directInput), 1);
  }
  void TearDown() override {
    GetApp().GetKeyboard()->Release();
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
        const int code = WaitForTick(m) ? 0 : kWrongFailure;
        return code | Judge(m, LinkFailure::kNone, -1, kTicks);
      });
  EXPECT_EQ(child, 0);
  std::printf("10000 lockstep ticks between two processes: %.3f s\n", seconds);
  RecordProperty("lockstep_10000_ms", static_cast<int>(seconds * 1000.0));
}

TEST_F(TwoPlayerLinkTest, ADivergingClientIsCaughtOnTheTickItParts) {
  enum Kind { kState, kExtraDraw };
  struct Case {
    const char* name;
    Kind kind;
    int32_t tick;  // the tick after which the client differs (-1: before the first)
  };
  const Case cases[] = {{"state at tick 5000", kState, 5000},
                        {"a draw outside the ticks after tick 2999", kExtraDraw, 2999},
                        {"a draw while loading", kExtraDraw, -1}};
  for (const Case& c : cases) {
    const int child = RunLinked(
        [&](Machine& m) {
          Play(m, m_script, 10000);
          EXPECT_EQ(Judge(m, LinkFailure::kOutOfStep, c.tick, c.tick + 1), 0) << c.name;
          EXPECT_EQ(TwoPlayerLink::FailureTextId(m.link.Failure()), 1021);
        },
        [&](Machine& m) {
          if (c.kind == kState) m.game->m_divergeAt = c.tick;
          if (c.kind == kExtraDraw && c.tick < 0) RandRaw();
          Play(m, m_script, 10000, [&](int32_t tick) {
            if (c.kind == kExtraDraw && tick == c.tick) RandRaw();
          });
          return Judge(m, LinkFailure::kOutOfStep, c.tick, c.tick + 1);
        });
    EXPECT_EQ(child, 0) << c.name;
  }
  EXPECT_TRUE(DebugLogContains("TwoPlayerLink: games out of step at frame 5000"));
}

TEST_F(TwoPlayerLinkTest, TheClientGoingEndsTheGameAtTheFirstTickItLeftWithoutInput) {
  enum Kind { kProcessEnds, kLeavesTheGame, kGameEndsOnBoth };
  struct Case {
    const char* name;
    Kind kind;
    int32_t ticks;
    LinkFailure hostFailure;
  };
  const Case cases[] = {{"process ends", kProcessEnds, 100, LinkFailure::kConnectionLost},
                        {"leaves the game", kLeavesTheGame, 200, LinkFailure::kConnectionLost},
                        {"game ends on both", kGameEndsOnBoth, 300, LinkFailure::kNone}};
  for (const Case& c : cases) {
    const int child = RunLinked(
        [&](Machine& m) {
          Play(m, m_script, c.kind == kGameEndsOnBoth ? c.ticks : 10000);
          // The client's stop (or loss) arrives; a game over on the same tick is no failure.
          for (int i = 0; i < 20; ++i) {
            m.link.Update();
            m.peer.WaitReadable(5);
          }
          EXPECT_EQ(Judge(m, c.hostFailure, c.ticks, c.ticks), 0) << c.name;
          m.link.StopGame();
        },
        [&](Machine& m) {
          Play(m, m_script, c.ticks);
          if (c.kind == kProcessEnds) _exit(0);  // no stop, no goodbye: the socket just closes
          m.link.StopGame();
          const auto deadline = Clock::now() + std::chrono::seconds(10);
          while (m.link.IsConnected() && Clock::now() < deadline) {
            m.link.Update();
            m.peer.WaitReadable(5);
          }
          return Judge(m, LinkFailure::kNone, -1, c.ticks);
        });
    EXPECT_EQ(child, 0) << c.name;
  }
}

// ---------------------------------------------------------------------------------------------
// Refused messages, from a raw peer over a real socket in this process.

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

// The record a well-behaved client answers the host's last record with.
Record Answer(LoopbackPeer& raw) {
  Record answer;
  for (const Bytes& packet : Drain(raw))
    if (TwoPlayerLink::DecodeRecord(packet.data(), static_cast<uint32_t>(packet.size()), &answer))
      answer.held = 0x2000;
  return answer;
}

TEST_F(TwoPlayerLinkTest, UnsoundRecordsAreRefusedWithALogLineAndEndTheGame) {
  struct Case {
    const char* name;
    std::function<std::vector<Bytes>(const Record&)> packets;  // from the good record of tick 1
    const char* log;  // null: the record is ignored, the game goes on
  };
  const auto flipped = [](const Record& r, size_t at) {
    Bytes b = Encoded(r);
    b[at] ^= 0x01;
    return std::vector<Bytes>{b};
  };
  const auto resized = [](const Record& r, size_t size) {
    Bytes b = Encoded(r);
    b.resize(size);
    return std::vector<Bytes>{b};
  };
  const auto framed = [](Record r, uint32_t frame) {
    r.frame = frame;
    return Encoded(r);
  };
  const Case cases[] = {
      {"a bit of the held word", [&](const Record& r) { return flipped(r, 8); },
       "refused an input record of 32 bytes"},
      {"a bit of the checksum", [&](const Record& r) { return flipped(r, 31); },
       "refused an input record of 32 bytes"},
      {"one byte short", [&](const Record& r) { return resized(r, 31); },
       "refused an input record of 31 bytes"},
      {"one byte over", [&](const Record& r) { return resized(r, 33); },
       "refused an input record of 33 bytes"},
      {"the identifier alone",
       [](const Record&) { return std::vector<Bytes>{{TwoPlayerLink::kMsgInput}}; },
       "refused an input record of 1 bytes"},
      {"a tick already run", [&](const Record& r) { return std::vector<Bytes>{framed(r, 0)}; },
       "refused the input record of frame 0 at frame 1"},
      {"two ticks ahead", [&](const Record& r) { return std::vector<Bytes>{framed(r, 3)}; },
       "refused the input record of frame 3 at frame 1"},
      {"the same tick twice",
       [&](const Record& r) { return std::vector<Bytes>{Encoded(r), Encoded(r)}; },
       "refused the input record of frame 1 at frame 1"},
      {"a record of an earlier game, then the good one",
       [](const Record& r) {
         Record stale = r;
         stale.session -= 1;
         stale.held = 0xFFFF;
         return std::vector<Bytes>{Encoded(stale), Encoded(r)};
       },
       nullptr},
  };
  for (const Case& c : cases) {
    std::unique_ptr<LoopbackPeer> hostEnd, raw;
    ASSERT_TRUE(LoopbackPeer::CreatePair(&hostEnd, &raw));
    Machine host(*hostEnd, 0);
    ASSERT_TRUE(StartHost(host));
    EXPECT_FALSE(host.link.ReadyForTick());  // sends the record of tick 0
    raw->Send(Encoded(Answer(*raw)).data(), TwoPlayerLink::kRecordSize);
    ASSERT_TRUE(WaitForTick(host)) << c.name;
    host.link.BeginTick(host.input);
    host.link.EndTick(0x1234);
    EXPECT_FALSE(host.link.ReadyForTick());  // sends the record of tick 1

    for (const Bytes& packet : c.packets(Answer(*raw)))
      raw->Send(packet.data(), static_cast<uint32_t>(packet.size()));
    WaitForTick(host);
    if (!c.log) {
      EXPECT_EQ(host.link.Failure(), LinkFailure::kNone) << c.name;
      host.link.BeginTick(host.input);
      EXPECT_EQ(host.input.IsPlayerButtonHeld(1, 0xFFFF), 1) << c.name;
      EXPECT_EQ(host.input.IsPlayerButtonHeld(1, 0xDFFF), 0) << c.name;
      continue;
    }
    EXPECT_EQ(host.link.Failure(), LinkFailure::kOutOfStep) << c.name;
    EXPECT_EQ(host.link.FailedFrame(), 1) << c.name;
    EXPECT_TRUE(DebugLogContains(c.log)) << c.name;
    // The client is told, or it would wait for the host's next record for ever.
    const std::vector<Bytes> told = Drain(*raw);
    ASSERT_EQ(told.size(), 1u) << c.name;
    EXPECT_EQ(told[0], (Bytes{TwoPlayerLink::kMsgStop, 1, 1, 0, 1, 0, 0, 0})) << c.name;
  }
}

TEST_F(TwoPlayerLinkTest, UnsoundStartsAreRefusedAndASoundOneSeedsAndStartsTheClient) {
  std::unique_ptr<LoopbackPeer> clientEnd, raw;
  ASSERT_TRUE(LoopbackPeer::CreatePair(&clientEnd, &raw));
  Machine client(*clientEnd, 1);
  client.link.SetClientStartCallback(&OnClientStart);
  g_startedCode.clear();
  const auto start = [](const char* code, size_t size) {
    Bytes b(size, 0);
    b[0] = TwoPlayerLink::kMsgStart;
    b[1] = 7;
    for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<uint8_t>(kSeed >> (8 * i));
    std::memcpy(b.data() + 8, code, std::min(std::strlen(code), size > 8 ? size - 8 : 0));
    return b;
  };
  const Bytes refused[] = {start(kCode, 23), start(kCode, 25), start("SIXTEEN-LETTERS!", 24),
                           start("", 24), start("MG RST", 24), start("MG\nRST", 24)};
  for (const Bytes& b : refused) raw->Send(b.data(), static_cast<uint32_t>(b.size()));
  const Bytes others[] = {{TwoPlayerLink::kMsgStop, 0, 0}, {plat::ID_FIRST_USER_MESSAGE + 9}};
  for (const Bytes& b : others) raw->Send(b.data(), static_cast<uint32_t>(b.size()));
  for (int i = 0; i < 5; ++i) client.link.Update();
  EXPECT_FALSE(client.link.IsGameRunning());
  EXPECT_TRUE(g_startedCode.empty());
  EXPECT_TRUE(DebugLogContains("refused a start of 23 bytes"));
  EXPECT_TRUE(DebugLogContains("refused a start of 24 bytes"));
  EXPECT_TRUE(DebugLogContains("refused a stop of 3 bytes"));
  EXPECT_TRUE(DebugLogContains("ignored a message with identifier 41"));

  const Bytes sound = start(kCode, 24);
  raw->Send(sound.data(), 24);
  client.link.Update();
  EXPECT_EQ(g_startedCode, kCode);
  EXPECT_TRUE(client.link.IsGameRunning());
  EXPECT_FALSE(client.link.IsHost());
  EXPECT_EQ(GetSeed(), kSeed);
  EXPECT_EQ(GetRandCount(), 0u);
  // A second start during the game is not a new game.
  raw->Send(sound.data(), 24);
  client.link.Update();
  EXPECT_TRUE(DebugLogContains("refused a start while a linked game runs"));
  // Neither is a host start; detaching the peer loses the game.
  EXPECT_FALSE(client.link.StartHost(kCode, 1));
  client.link.AttachPeer(nullptr);
  EXPECT_EQ(client.link.Failure(), LinkFailure::kConnectionLost);
  EXPECT_EQ(TwoPlayerLink::FailureTextId(client.link.Failure()), 1020);
}

TEST_F(TwoPlayerLinkTest, TheHostStartsOnlyOverAConnectionWithASoundCode) {
  std::unique_ptr<LoopbackPeer> hostEnd, raw;
  ASSERT_TRUE(LoopbackPeer::CreatePair(&hostEnd, &raw));
  TwoPlayerLink link;
  EXPECT_FALSE(link.StartHost(kCode, kSeed));  // no peer
  link.AttachPeer(hostEnd.get());
  for (const char* code : {"", "SIXTEEN-LETTERS!", "MG RST", "\x7F"})
    EXPECT_FALSE(link.StartHost(code, kSeed)) << code;
  SeedRand(99);
  ASSERT_TRUE(link.StartHost("DCLEMENCY", 0x01020304));
  EXPECT_EQ(GetSeed(), 0x01020304u);
  EXPECT_TRUE(link.IsHost());
  const std::vector<Bytes> sent = Drain(*raw);
  ASSERT_EQ(sent.size(), 2u);  // the connection's news, then the start alone
  EXPECT_EQ(sent[1], (Bytes{TwoPlayerLink::kMsgStart, 1, 0, 0, 4, 3, 2, 1, 'D', 'C', 'L', 'E',
                            'M', 'E', 'N', 'C', 'Y', 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_FALSE(link.StartHost(kCode, kSeed));  // one game at a time

  // The record's wire form: little-endian words in order, the CRC-32 of the rest last.
  Record r;
  r.session = 1;
  r.frame = 0x04030201;
  r.held = 0x2000;
  r.stateHash = 0xAABBCCDD;
  const Bytes wire = Encoded(r);
  EXPECT_EQ(Bytes(wire.begin(), wire.begin() + 20),
            (Bytes{TwoPlayerLink::kMsgInput, 1, 0, 0, 1, 2, 3, 4, 0, 0x20, 0, 0, 0, 0, 0, 0,
                   0xDD, 0xCC, 0xBB, 0xAA}));
  const uint32_t crc = CRC32::Compute(wire.data(), 28);
  EXPECT_EQ(Bytes(wire.begin() + 28, wire.end()),
            (Bytes{uint8_t(crc), uint8_t(crc >> 8), uint8_t(crc >> 16), uint8_t(crc >> 24)}));
}

// ---------------------------------------------------------------------------------------------
// The loopback peer itself.

TEST(TwoPlayerLinkPeerTest, PacketsArriveWholeAndInOrderThenTheLossOnce) {
  std::unique_ptr<LoopbackPeer> a, b;
  ASSERT_TRUE(LoopbackPeer::CreatePair(&a, &b));
  // Sends outrun the reader: the socket and then the peer's queue take them, up to its limit.
  int accepted = 0;
  for (; accepted < 200; ++accepted) {
    Bytes packet(LoopbackPeer::kMaxPacketSize / 2, static_cast<uint8_t>(accepted));
    packet[0] = plat::ID_FIRST_USER_MESSAGE;
    if (!b->Send(packet.data(), static_cast<uint32_t>(packet.size()))) break;
    if (accepted == 3) b->SetStaticData(reinterpret_cast<const uint8_t*>("Fenna"), 5);
  }
  EXPECT_LT(accepted, 200);
  EXPECT_GT(accepted, 16);
  const uint8_t reserved[] = {plat::ID_CONNECTION_LOST};
  EXPECT_FALSE(b->Send(reserved, 1));
  EXPECT_FALSE(b->Send(reserved, 0));
  Bytes tooLong(LoopbackPeer::kMaxPacketSize + 1, plat::ID_FIRST_USER_MESSAGE);
  EXPECT_FALSE(b->Send(tooLong.data(), static_cast<uint32_t>(tooLong.size())));

  std::vector<Bytes> got;
  uint32_t staticLength = 0;
  for (int tries = 0; static_cast<int>(got.size()) < accepted + 1 && tries < 10000; ++tries) {
    b->WaitReadable(0);  // moves b's queue on
    plat::Packet* p = a->Receive();
    if (!p) continue;
    got.emplace_back(p->data, p->data + p->length);
    a->Release(p);
    // The static data was set after the fourth packet: it shows from the fifth on.
    if (got.size() == 5 || got.size() == 6) {
      EXPECT_EQ(a->RemoteStaticData(&staticLength) != nullptr, got.size() == 6);
    }
  }
  ASSERT_EQ(got.size(), static_cast<size_t>(accepted + 1));
  EXPECT_EQ(got[0], Bytes{plat::ID_CONNECTION_REQUEST_ACCEPTED});
  for (int i = 1; i <= accepted; ++i) {
    ASSERT_EQ(got[i].size(), LoopbackPeer::kMaxPacketSize / 2);
    EXPECT_EQ(got[i].back(), static_cast<uint8_t>(i - 1));
  }
  EXPECT_EQ(staticLength, 5u);

  b.reset();
  EXPECT_EQ(Drain(*a), std::vector<Bytes>{Bytes{plat::ID_CONNECTION_LOST}});
  EXPECT_FALSE(a->IsConnected());
  EXPECT_EQ(a->Receive(), nullptr);
  EXPECT_FALSE(a->Send(got[1].data(), 4));
}

TEST(TwoPlayerLinkPeerTest, AFrameThatCannotBeOneDropsTheConnection) {
  const auto header = [](uint32_t length, uint8_t kind) {
    return Bytes{uint8_t(length), uint8_t(length >> 8), uint8_t(length >> 16),
                 uint8_t(length >> 24), kind};
  };
  const Bytes cases[] = {header(0, 0), header(1, 0), header(0xFFFFFFFF, 0), header(3, 7),
                         header(LoopbackPeer::kMaxPacketSize + 2, 0),
                         header(LoopbackPeer::kMaxStaticDataSize + 2, 1)};
  for (const Bytes& bad : cases) {
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
    EXPECT_FALSE(peer.IsConnected());
    uint8_t byte;
    EXPECT_EQ(read(fds[1], &byte, 1), 0);  // the far end sees the connection go too
    close(fds[1]);
  }
}

}  // namespace
