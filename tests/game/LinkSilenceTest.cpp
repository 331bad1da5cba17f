// The two-player link when the other machine misbehaves: the wait for its record timed on the
// scripted clock, messages of unknown kinds said once and counted, the reason of a lost
// connection in the log; then through the real application, where a silent, lost or babbling
// peer and a start that makes no game always bring the game back to the menu.
//
// The other machine is played by the test over a real loopback socket: it answers each record
// with one of the same states, so the games stay in step until it is told to fall silent.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Game/Frontend/FrontEnd.h"
#include "Game/Frontend/PDFE.h"
#include "Game/Frontend/SaveProfile.h"
#include "Game/GameBaseClass.h"
#include "Game/KavelApp.h"
#include "Game/Localisation/LocalisedText.h"
#include "Game/Multiplayer/PC/TwoPlayerLink.h"
#include "Platform/Input/Input.h"
#include "Platform/Net/LoopbackPeer.h"
#include "Platform/System/ScriptedSystem.h"
#include "tests/support/AppHarness.h"
#include "tests/support/DemoData.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace {

using plat::LoopbackPeer;
using Bytes = std::vector<uint8_t>;
using Record = TwoPlayerLink::InputRecord;

constexpr uint8_t kUnknownKind = 41;
constexpr uint8_t kStopLeft = 0;

std::vector<Bytes> Drain(LoopbackPeer& peer) {
  std::vector<Bytes> packets;
  while (plat::Packet* p = peer.Receive()) {
    packets.emplace_back(p->data, p->data + p->length);
    peer.Release(p);
  }
  return packets;
}

void Send(LoopbackPeer& peer, const Bytes& packet) {
  ASSERT_TRUE(peer.Send(packet.data(), static_cast<uint32_t>(packet.size())));
}

Bytes Encoded(const Record& record) {
  Bytes bytes(TwoPlayerLink::kRecordSize);
  TwoPlayerLink::EncodeRecord(record, bytes.data());
  return bytes;
}

Bytes StartMessage(uint8_t session, const char* code) {
  Bytes b = {TwoPlayerLink::kMsgStart, session, 0, 0, 0x78, 0x56, 0x34, 0x12};
  b.resize(TwoPlayerLink::kStartSize);
  std::memcpy(b.data() + 8, code, std::strlen(code));
  return b;
}

// A stop saying the sender left, from `frame` on.
Bytes StopMessage(uint8_t session, uint32_t frame) {
  Bytes b = {TwoPlayerLink::kMsgStop, session, kStopLeft, 0};
  for (int shift = 0; shift < 32; shift += 8) b.push_back(static_cast<uint8_t>(frame >> shift));
  return b;
}

size_t CountLogLines(const std::string& text) {
  const std::vector<std::string> lines = ReadCrLfLines("Debug.log");
  return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
    return l.find(text) != std::string::npos;
  }));
}

// The other machine. It answers every record with the same states (so both stay in step) until
// it falls silent, may send messages of an unknown kind on every turn, and keeps what else came.
struct OtherMachine {
  void Turn() {
    if (!end) return;
    for (int i = 0; i < babblePerTurn; ++i) Send(*end, {kUnknownKind, uint8_t(i)});
    babbled += static_cast<uint32_t>(babblePerTurn);
    for (const Bytes& p : Drain(*end)) {
      Record record;
      if (TwoPlayerLink::DecodeRecord(p.data(), static_cast<uint32_t>(p.size()), &record)) {
        if (!silent) Send(*end, Encoded(record));
      } else if (p[0] >= plat::ID_FIRST_USER_MESSAGE) {
        received.push_back(p);
      }
    }
  }
  // A new game: answering, quiet, nothing kept.
  void Reset() {
    silent = false;
    babblePerTurn = 0;
    babbled = 0;
    received.clear();
  }
  // The messages of `id` it has received.
  std::vector<Bytes> Received(uint8_t id) const {
    std::vector<Bytes> out;
    for (const Bytes& p : received)
      if (p[0] == id) out.push_back(p);
    return out;
  }

  std::unique_ptr<LoopbackPeer> end;
  bool silent = false;
  int babblePerTurn = 0;
  uint32_t babbled = 0;
  std::vector<Bytes> received;  // starts and stops
};

// ---------------------------------------------------------------------------------------------
// A lone link on the scripted clock.

class LinkSilenceTest : public TempDirTest {
 protected:
  void SetUp() override {
    m_system.Install();
    m_system.UseManualClock(true);
    ASSERT_TRUE(LoopbackPeer::CreatePair(&m_end, &m_other.end));
    m_link.AttachPeer(m_end.get());
  }
  void TearDown() override {
    m_link.AttachPeer(nullptr);
    m_system.Uninstall();
  }

  // Asks for the next tick as the framework does each frame; the other machine answers the
  // record at once.
  bool Frame() {
    m_link.Update();
    if (m_link.ReadyForTick()) return true;
    m_other.Turn();
    return m_link.ReadyForTick();
  }
  void Tick() {
    InputDevice input;
    m_link.BeginTick(input);
    m_link.EndTick(0x600D);
  }

  plat::ScriptedSystem m_system;
  std::unique_ptr<LoopbackPeer> m_end;
  OtherMachine m_other;
  TwoPlayerLink m_link;
};

TEST_F(LinkSilenceTest, TheWaitForTheOtherRecordIsTimedAndEndsTheGameAtItsLimit) {
  // The tick count wraps at 2^32 milliseconds; a wait across the wrap is timed the same.
  uint8_t session = 0;
  for (const uint32_t start : {1000u, 0xFFFFF000u}) {
    m_system.SetTickCount(start);
    ASSERT_TRUE(m_link.StartHost("MGRST", 5));
    ++session;
    EXPECT_EQ(m_link.WaitedMilliseconds(), 0u) << "its own record is not out yet";
    EXPECT_FALSE(m_link.ReadyForTick());  // the record of tick 0 goes out: the wait begins
    m_system.AdvanceTickCount(TwoPlayerLink::kWaitNoticeMs - 1);
    m_link.Update();
    EXPECT_EQ(m_link.WaitedMilliseconds(), TwoPlayerLink::kWaitNoticeMs - 1);
    EXPECT_FALSE(m_link.IsWaitingLong());
    m_system.AdvanceTickCount(1);
    EXPECT_TRUE(m_link.IsWaitingLong()) << start;
    // The record comes: the wait is over, and the next one is timed from its own start.
    ASSERT_TRUE(Frame());
    EXPECT_EQ(m_link.WaitedMilliseconds(), 0u);
    Tick();
    m_other.silent = true;
    EXPECT_FALSE(Frame());
    m_system.AdvanceTickCount(TwoPlayerLink::kSilenceLimitMs - 1);
    EXPECT_FALSE(Frame());
    EXPECT_EQ(m_link.Failure(), LinkFailure::kNone);
    m_system.AdvanceTickCount(1);
    m_link.Update();  // a paused game asks for no tick: the time runs out all the same
    EXPECT_EQ(m_link.Failure(), LinkFailure::kConnectionLost) << start;
    EXPECT_EQ(m_link.FailedFrame(), 1);
    EXPECT_EQ(m_link.WaitedMilliseconds(), 0u);
    EXPECT_EQ(TwoPlayerLink::FailureTextId(m_link.Failure()), 1020);
    EXPECT_TRUE(DebugLogContains(
        "TwoPlayerLink: no input record of frame 1 from the other machine in 30000 ms"));
    EXPECT_TRUE(DebugLogContains("TwoPlayerLink: connection lost at frame 1"));
    // The other machine learns that this one has gone after the tick whose record it has.
    m_other.Turn();
    EXPECT_EQ(m_other.Received(TwoPlayerLink::kMsgStop),
              std::vector<Bytes>{StopMessage(session, 2)})
        << "left; the first tick without a record is 2";
    m_link.StopGame();
    EXPECT_EQ(m_other.Received(TwoPlayerLink::kMsgStop).size(), 1u) << "told once";
    // The link starts the next game as if nothing happened.
    m_other.Reset();
    ASSERT_TRUE(m_link.StartHost("MGRST", 5));
    ++session;
    EXPECT_TRUE(Frame());
    m_link.StopGame();
    m_other.Turn();
    m_other.received.clear();
  }
}

TEST_F(LinkSilenceTest, MessagesOfUnknownKindsAreLoggedOnceAndCountedAtTheEnd) {
  m_other.babblePerTurn = 50;
  ASSERT_TRUE(m_link.StartHost("MGRST", 5));
  int ticks = 0;
  for (int frame = 0; frame < 40; ++frame) {
    if (Frame()) {
      Tick();
      ++ticks;
    }
  }
  EXPECT_EQ(ticks, 40) << "the game goes on among them";
  EXPECT_EQ(CountLogLines("TwoPlayerLink: ignored"), 1u);
  EXPECT_TRUE(DebugLogContains(
      "TwoPlayerLink: ignored a message with identifier 41 (later unknown ones are counted)"));
  m_other.babblePerTurn = 0;
  m_link.Update();  // whatever is still on its way
  m_link.StopGame();
  EXPECT_EQ(m_other.babbled, 2000u);
  EXPECT_TRUE(DebugLogContains("TwoPlayerLink: ignored 2000 messages of unknown kinds in all"));
  EXPECT_EQ(CountLogLines("TwoPlayerLink: ignored"), 2u);

  // Outside a game too; a new babble is said again, and a change of peer ends its count.
  m_other.babblePerTurn = 3;
  m_other.Turn();
  m_link.Update();
  m_link.AttachPeer(nullptr);
  EXPECT_EQ(CountLogLines("ignored a message with identifier 41"), 2u);
  EXPECT_TRUE(DebugLogContains("TwoPlayerLink: ignored 3 messages of unknown kinds in all"));
  // A single one needs no count.
  m_other.babblePerTurn = 1;
  m_other.Turn();
  m_link.AttachPeer(m_end.get());
  m_link.Update();
  m_link.AttachPeer(nullptr);
  EXPECT_EQ(CountLogLines("TwoPlayerLink: ignored"), 5u);
}

TEST_F(LinkSilenceTest, ALostConnectionLogsTheReasonThePeerGives) {
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  LoopbackPeer peer(fds[0]);
  m_link.AttachPeer(&peer);
  // A frame of a kind the peer does not know: the stream cannot be trusted any more.
  const uint8_t unsound[] = {3, 0, 0, 0, 7, 1, 2};
  ASSERT_EQ(write(fds[1], unsound, sizeof(unsound)), ssize_t(sizeof(unsound)));
  m_link.Update();
  m_link.Update();
  EXPECT_STREQ(peer.LossReason(), "a frame that cannot be one: the stream is out of step");
  EXPECT_TRUE(
      DebugLogContains("TwoPlayerLink: the connection ended: a frame that cannot be one: the "
                       "stream is out of step"));
  close(fds[1]);

  // The far end closing in order has no fault to tell.
  m_link.AttachPeer(m_end.get());
  m_other.end.reset();
  m_link.Update();
  EXPECT_EQ(m_end->LossReason(), nullptr);
  const std::vector<std::string> lines = ReadCrLfLines("Debug.log");
  EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                         [](const std::string& l) {
                           const std::string tail = "TwoPlayerLink: the connection ended";
                           return l.size() >= tail.size() &&
                                  l.compare(l.size() - tail.size(), tail.size(), tail) == 0;
                         }),
            lines.end());
  m_link.AttachPeer(nullptr);
}

// The loopback peer with faults put in: its sends refused, empty packets delivered first.
class FaultyPeer : public plat::Peer {
 public:
  explicit FaultyPeer(plat::Peer* real) : m_real(real) {}
  bool Send(const uint8_t* data, uint32_t length) override {
    return !refuseSends && m_real->Send(data, length);
  }
  plat::Packet* Receive() override {
    plat::Packet* packet = &m_empty;
    if (emptyPackets == 0)
      packet = m_real->Receive();
    else
      --emptyPackets;
    received += packet != nullptr;
    return packet;
  }
  void Release(plat::Packet* packet) override {
    ++released;
    if (packet != &m_empty) m_real->Release(packet);
  }
  bool SetStaticData(const uint8_t* data, uint32_t length) override {
    return m_real->SetStaticData(data, length);
  }
  const uint8_t* LocalStaticData(uint32_t* length) const override {
    return m_real->LocalStaticData(length);
  }
  const uint8_t* RemoteStaticData(uint32_t* length) const override {
    return m_real->RemoteStaticData(length);
  }
  bool IsConnected() const override { return m_real->IsConnected(); }
  const char* LossReason() const override { return m_real->LossReason(); }

  bool refuseSends = false;
  int emptyPackets = 0;
  int received = 0;
  int released = 0;

 private:
  plat::Peer* m_real;
  plat::Packet m_empty;
};

std::string g_clientCode;
void NoteClientStart(const char* code) { g_clientCode = code; }

TEST_F(LinkSilenceTest, EmptyPacketsRefusedSendsAndAStartFromTheOtherSideAreToldApart) {
  FaultyPeer peer(m_end.get());
  m_link.AttachPeer(&peer);
  // A flood is read 64 packets a frame, so that it cannot hold the frame up (the first of them
  // is the connection's own news).
  m_other.babblePerTurn = 100;
  m_other.Turn();
  m_other.babblePerTurn = 0;
  m_link.Update();
  m_link.AttachPeer(m_end.get());
  EXPECT_TRUE(DebugLogContains("TwoPlayerLink: ignored 63 messages of unknown kinds in all"));
  EXPECT_EQ(peer.received, 64);
  EXPECT_EQ(peer.released, 64) << "every packet read is given back";
  m_link.Update();
  m_link.AttachPeer(&peer);
  EXPECT_TRUE(DebugLogContains("TwoPlayerLink: ignored 37 messages of unknown kinds in all"));
  // Empty packets: said once, counted when the peer goes.
  peer.emptyPackets = 3;
  m_link.Update();
  EXPECT_EQ(CountLogLines("TwoPlayerLink: ignored an empty packet"), 1u);
  EXPECT_TRUE(
      DebugLogContains("TwoPlayerLink: ignored an empty packet (later unknown ones are counted)"));
  m_link.AttachPeer(m_end.get());
  EXPECT_TRUE(DebugLogContains("TwoPlayerLink: ignored 3 messages of unknown kinds in all"));
  m_link.AttachPeer(&peer);

  // A start that cannot be sent starts nothing.
  peer.refuseSends = true;
  EXPECT_FALSE(m_link.StartHost("MGRST", 5));
  EXPECT_FALSE(m_link.IsGameRunning());
  EXPECT_TRUE(DebugLogContains("TwoPlayerLink: the start could not be sent"));
  // A record that cannot be sent ends the game on its tick.
  peer.refuseSends = false;
  ASSERT_TRUE(m_link.StartHost("X", 5)) << "a code of one character";
  EXPECT_EQ(m_link.FailedFrame(), -1);
  ASSERT_TRUE(Frame());
  EXPECT_TRUE(m_link.ReadyForTick()) << "ready until its tick has run";
  Tick();
  peer.refuseSends = true;
  EXPECT_FALSE(m_link.ReadyForTick());
  EXPECT_EQ(m_link.Failure(), LinkFailure::kConnectionLost);
  EXPECT_EQ(m_link.FailedFrame(), 1);
  EXPECT_TRUE(DebugLogContains("TwoPlayerLink: the input record of frame 1 could not be sent"));
  EXPECT_FALSE(m_link.ReadyForTick()) << "and asks for no more";
  peer.refuseSends = false;
  m_link.StopGame();
  EXPECT_EQ(m_link.Failure(), LinkFailure::kNone) << "the next game starts clean";
  EXPECT_EQ(m_link.FailedFrame(), -1);
  m_other.Turn();
  m_other.received.clear();

  // The other machine's start came first: this one joins it as the client (any printable
  // characters make a code).
  m_link.SetClientStartCallback(&NoteClientStart);
  g_clientCode.clear();
  Send(*m_other.end, StartMessage(9, "!DL~M"));
  EXPECT_FALSE(m_link.StartHost("MGRST", 5));
  EXPECT_TRUE(DebugLogContains("TwoPlayerLink: the other machine started a game first"));
  EXPECT_TRUE(m_link.IsGameRunning());
  EXPECT_FALSE(m_link.IsHost());
  EXPECT_STREQ(m_link.GameCode(), "!DL~M");
  EXPECT_EQ(g_clientCode, "!DL~M");
  m_link.StopGame();
  m_link.SetClientStartCallback(nullptr);
  m_link.AttachPeer(nullptr);
}

// ---------------------------------------------------------------------------------------------
// Through the application: the menu, the linked game, the menu again.

int g_ticks = 0;
bool g_makerFails = false;

// A game that only counts its ticks and clears its window to a known colour.
class TickGame : public GameBaseClass {
 public:
  using GameBaseClass::GameBaseClass;
  int32_t LoadPhase1() override {
    RenderWindow* window = TrackedNew<RenderWindow>("TickGame::LoadPhase1");
    window->Init(Vector2(0.0f, 0.0f), Vector2(640.0f, 480.0f), Vector4(0, 128, 128, 0), 6, 0.0f);
    m_windowId = GetApp().AddWindow(window);
    return 1;
  }
  int32_t Update() override {
    ++g_ticks;
    return 0;
  }
  void CleanUp() override {
    if (m_windowId >= 0) GetApp().DeleteWindow(m_windowId);
    m_windowId = -1;
  }
  uint32_t GetStateHash() override { return static_cast<uint32_t>(g_ticks) * 2654435761u; }

 private:
  int32_t m_windowId = -1;
};

GameBaseClass* MakeTickGame(int32_t mode, int32_t level) {
  if (g_makerFails) return nullptr;
  g_ticks = 0;
  return TrackedNew<TickGame>("TickGame::Make", mode, level);
}

class LinkAppTest : public AppTest {
 protected:
  void SetUp() override {
    LinkDemoData();
    g_makerFails = false;
    GetSaveProfile() = SaveProfile();
    m_football = SetGameMaker(kGameFootball, &MakeTickGame);
    m_diving = SetGameMaker(kGameDiving, &MakeTickGame);
    KavelApp::Register();
    ASSERT_TRUE(m_harness.Start());
    m_harness.SkipPixelWork();
    // One frame period a frame on the scripted clock: one tick a frame, and time the test moves.
    plat::ScriptedSystem& system = m_harness.system();
    system.UseManualClock(true);
    system.SetFrequency(60000);
    system.SetCounterStepPerRead(500);
    GetApp().GetTimer()->Create(60);
    Connect();
    Frames(2);
  }
  // A fresh connection to a fresh other machine. The test keeps a second handle on the other
  // machine's end, to write bytes no peer would.
  void Connect() {
    Link()->AttachPeer(nullptr);
    if (m_rawFd >= 0) close(m_rawFd);
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    m_other.end = std::make_unique<LoopbackPeer>(fds[1]);
    m_other.Reset();
    m_end = std::make_unique<LoopbackPeer>(fds[0]);
    m_rawFd = dup(fds[1]);
    Link()->AttachPeer(m_end.get());
  }
  void TearDown() override {
    if (Link()) Link()->AttachPeer(nullptr);
    m_harness.Stop();
    if (m_rawFd >= 0) close(m_rawFd);
    SetGameMaker(kGameFootball, m_football);
    SetGameMaker(kGameDiving, m_diving);
  }

  TwoPlayerLink* Link() { return GetTwoPlayerLink(); }
  CFrontEnd* FrontEnd() { return GetKavelApp()->GetFrontEnd(); }
  GameBaseClass* Game() { return GetKavelApp()->GetCurrentGame(); }
  // Frames of the application, each after the other machine's turn; `jumpMs` more time passes
  // before each.
  void Frames(int count, uint32_t jumpMs = 0) {
    for (int i = 0; i < count; ++i) {
      m_other.Turn();
      if (jumpMs) m_harness.system().AdvanceMilliseconds(jumpMs);
      m_harness.RunFrames(1);
    }
  }
  void Press(int key) {
    m_harness.input().SetKey(key, true);
    Frames(1);
    m_harness.input().SetKey(key, false);
    Frames(1);
  }
  // Runs until the linked game has run `ticks` ticks (one every other frame: the other machine
  // answers a record in its turn before the next frame).
  bool PlayTo(int ticks) {
    for (int i = 0; i < 3 * ticks + 20 && !(Game() && g_ticks >= ticks); ++i) Frames(1);
    return Game() && g_ticks == ticks && Link()->IsGameRunning();
  }
  uint32_t PixelAt(int x, int y) {
    std::vector<uint32_t> screen(640 * 480);
    EXPECT_EQ(m_harness.app().GetDisplay()->GetDevice()->ReadBackBuffer(screen.data(), 640, 480),
              gfx::D3D_OK);
    return screen[static_cast<size_t>(y) * 640 + x] & 0x00FFFFFFu;
  }
  // Starts a two-player game as the host (the front end's start) or as the client (the other
  // machine's start of `session`); the game's session.
  uint8_t StartLinked(bool host, uint8_t session) {
    if (!host) {
      Send(*m_other.end, StartMessage(session, kFootballCode));
      return session;
    }
    PDFE_StartDulcieClemencyMP();
    m_other.Turn();
    const std::vector<Bytes> starts = m_other.Received(TwoPlayerLink::kMsgStart);
    return starts.empty() ? 0 : starts.back()[1];
  }
  // Back in the menu with the link free: the message (if any) closed.
  void ExpectMenu() {
    EXPECT_EQ(Game(), nullptr);
    EXPECT_FALSE(Link()->IsGameRunning());
    if (FrontEnd()->GetScreen() == CFrontEnd::Screen::Message) Press(plat::kDIK_RETURN);
    EXPECT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Menu);
  }

  GameMaker m_football = nullptr;
  GameMaker m_diving = nullptr;
  std::unique_ptr<LoopbackPeer> m_end;
  OtherMachine m_other;
  int m_rawFd = -1;
};

constexpr uint32_t kBackground = 0x008080u;  // the test game's clear colour, as read back

TEST_F(LinkAppTest, ASilentOtherMachineIsWaitedForThenLeftOrGivenUpOn) {
  enum Ending {
    kLeaves,          // Escape, then Return
    kTimeRunsOut,     // the player waits it out
    kOtherLeaves,     // while this one is paused
    kThisOneStalled,  // this machine ran no frames; the other gave up meanwhile
  };
  struct Case {
    bool host;
    Ending ending;
  };
  const Case cases[] = {{true, kLeaves},  {false, kTimeRunsOut}, {true, kTimeRunsOut},
                        {false, kLeaves}, {false, kOtherLeaves}, {true, kThisOneStalled}};
  m_harness.SkipPixelWork(false);  // the player is told on screen
  uint8_t clientSession = 100;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.host ? "host, ending " : "client, ending ") +
                 std::to_string(c.ending));
    const uint8_t session = StartLinked(c.host, ++clientSession);
    ASSERT_TRUE(PlayTo(20));
    // A linked game does not pause while the other machine keeps up: it would hold both.
    Press(plat::kDIK_ESCAPE);
    EXPECT_EQ(Game()->IsPaused(), 0);
    ASSERT_TRUE(PlayTo(30));
    Frames(1);  // the record of tick 30 goes out

    if (c.ending == kThisOneStalled) {
      // A minimised window runs no frames. The other machine answered, waited, and left.
      m_other.Turn();
      Send(*m_other.end, StopMessage(session, 31));
      m_harness.system().AdvanceMilliseconds(2 * TwoPlayerLink::kSilenceLimitMs);
      Frames(3);
      EXPECT_EQ(g_ticks, 31) << "the tick the other machine's last record allows";
      EXPECT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Message) << "CONNECTION LOST";
      EXPECT_TRUE(DebugLogContains("TwoPlayerLink: connection lost at frame 31"));
      EXPECT_FALSE(DebugLogContains("no input record of frame 31")) << "it was this one away";
      ExpectMenu();
      EXPECT_TRUE(m_other.Received(TwoPlayerLink::kMsgStop).empty()) << "it knows";
      m_other.Reset();
      continue;
    }

    m_other.silent = true;
    Frames(1, TwoPlayerLink::kWaitNoticeMs - 100);
    EXPECT_FALSE(Link()->IsWaitingLong());
    EXPECT_EQ(PixelAt(130, 335), kBackground) << "nothing is said yet";
    Frames(1, 100);
    EXPECT_TRUE(Link()->IsWaitingLong());
    EXPECT_NE(PixelAt(130, 335), kBackground) << "the player is told";
    EXPECT_EQ(PixelAt(130, 290), kBackground) << "by a line, not the pause panel";
    EXPECT_EQ(g_ticks, 30) << "no tick runs without the other machine's record";

    std::vector<Bytes> told = {StopMessage(session, 31)};
    if (c.ending == kLeaves) {
      Press(plat::kDIK_ESCAPE);
      ASSERT_EQ(Game()->IsPaused(), 1);
      Press(plat::kDIK_RETURN);
      EXPECT_TRUE(DebugLogContains("KavelApp: the player left the two-player game at frame 30"));
    } else if (c.ending == kTimeRunsOut) {
      Frames(1, 25000);
      ASSERT_NE(Game(), nullptr) << "not before its time";
      Frames(1, 2000);
      EXPECT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Message) << "CONNECTION LOST";
      EXPECT_TRUE(DebugLogContains("no input record of frame 30 from the other machine in"));
    } else {
      Press(plat::kDIK_ESCAPE);
      ASSERT_EQ(Game()->IsPaused(), 1);
      Send(*m_other.end, StopMessage(session, 30));
      Frames(1);
      EXPECT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Message) << "CONNECTION LOST";
      EXPECT_TRUE(DebugLogContains("TwoPlayerLink: connection lost at frame 30"));
      told.clear();
    }
    ExpectMenu();
    Frames(1);
    EXPECT_EQ(m_other.Received(TwoPlayerLink::kMsgStop), told)
        << "the other machine, when it comes back, finds this one gone";
    m_other.Reset();
  }
  EXPECT_EQ(m_harness.app().GetWindowCount(), 1);
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("TickGame::Make"), 0u);
}

TEST_F(LinkAppTest, ALostOrBabblingOtherMachineEndsTheGameWithItsReasonInTheLog) {
  enum Kind { kBabblesThenFallsSilent, kUnsoundBytes, kCloses };
  struct Case {
    Kind kind;
    const char* log;
  };
  const Case cases[] = {
      {kBabblesThenFallsSilent, "TwoPlayerLink: no input record of frame 10"},
      {kUnsoundBytes,
       "TwoPlayerLink: the connection ended: a frame that cannot be one: the stream is out of "
       "step"},
      {kCloses, "TwoPlayerLink: connection lost at frame 10"},
  };
  uint32_t babbled = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    Connect();
    StartLinked(true, 0);
    m_other.babblePerTurn = c.kind == kBabblesThenFallsSilent ? 40 : 0;
    ASSERT_TRUE(PlayTo(10)) << "the game goes on among the babble";
    if (c.kind == kBabblesThenFallsSilent) {
      m_other.silent = true;  // for records; the babble goes on
      for (int i = 0; i < 10 && Game(); ++i) Frames(1, TwoPlayerLink::kSilenceLimitMs / 8);
      m_other.babblePerTurn = 0;
      babbled = m_other.babbled;
    } else if (c.kind == kUnsoundBytes) {
      const uint8_t unsound[] = {3, 0, 0, 0, 7, 1, 2};
      ASSERT_EQ(write(m_rawFd, unsound, sizeof(unsound)), ssize_t(sizeof(unsound)));
      Frames(2);
    } else {
      m_other.end.reset();
      close(m_rawFd);
      m_rawFd = -1;
      for (int i = 0; i < 3; ++i) m_harness.RunFrames(1);
    }
    EXPECT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Message) << "CONNECTION LOST";
    EXPECT_TRUE(DebugLogContains(c.log));
    ExpectMenu();
  }
  // The babble was said once, and counted when its game ended.
  EXPECT_EQ(CountLogLines("ignored a message with identifier 41"), 1u);
  EXPECT_GT(babbled, 400u);
  EXPECT_TRUE(DebugLogContains("TwoPlayerLink: ignored " + std::to_string(babbled) +
                               " messages of unknown kinds in all"));
}

TEST_F(LinkAppTest, AStartThatMakesNoGameStopsTheLinkAndALaterStartWorks) {
  enum Kind { kClientUnknownCode, kClientMakerFails, kHostMakerFails };
  struct Case {
    Kind kind;
    const char* log;
  };
  const Case cases[] = {
      {kClientUnknownCode, "Front end: unknown two-player game code \"NOSUCHGAME\""},
      {kClientMakerFails, "Front end: game 1 is not built into this program"},
      {kHostMakerFails, "Front end: game 1 is not built into this program"},
  };
  uint8_t session = 40;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    g_makerFails = c.kind != kClientUnknownCode;
    if (c.kind == kHostMakerFails) {
      session = StartLinked(true, 0);
    } else {
      Send(*m_other.end,
           StartMessage(++session, c.kind == kClientUnknownCode ? "NOSUCHGAME" : kFootballCode));
    }
    Frames(2);
    EXPECT_TRUE(DebugLogContains(c.log));
    EXPECT_TRUE(DebugLogContains("Front end: no game for the two-player start of"));
    EXPECT_EQ(FrontEnd()->GetScreen(), CFrontEnd::Screen::Message) << "not built";
    EXPECT_EQ(m_other.Received(TwoPlayerLink::kMsgStop),
              std::vector<Bytes>{StopMessage(session, 0)})
        << "the other machine is told at once";
    ExpectMenu();

    // The next start, from either side, runs.
    g_makerFails = false;
    m_other.Reset();
    const bool host = c.kind != kHostMakerFails;
    session = StartLinked(host, ++session);
    ASSERT_TRUE(PlayTo(5));
    Link()->AttachPeer(nullptr);  // ends this game: lost connection
    Frames(1);
    ExpectMenu();
    Link()->AttachPeer(m_end.get());
    m_other.received.clear();
  }
}

// With a peer the menu offers both two-player games, each marked so, and each starts as the host
// with its own code.
TEST_F(LinkAppTest, WithAPeerTheMenuOffersBothTwoPlayerGames) {
  RenderWindow* window = GetApp().FindWindow(FrontEnd()->GetWindowId());
  ASSERT_NE(window, nullptr);
  window->DropText();
  FrontEnd()->Update(*GetKavelApp()->GetInput());
  std::vector<std::pair<std::u16string, std::pair<int32_t, int32_t>>> shown;
  for (int32_t i = 0; i < window->GetTextItemCount(); ++i) {
    const TextItem* item = window->GetTextItem(i);
    shown.push_back({item->text, {item->x, item->y}});
  }
  window->DropText();
  const struct {
    int32_t text, x, y;
  } wanted[] = {{1000, 200, 120}, {1001, 200, 146}, {1002, 200, 172}, {1001, 200, 198},
                {1019, 400, 198}, {1002, 200, 224}, {1019, 400, 224}, {1003, 200, 250},
                {1004, 400, 250}, {1007, 200, 276}, {1009, 400, 276}, {1011, 200, 302},
                {1012, 200, 328}};
  ASSERT_EQ(shown.size(), std::size(wanted));
  for (size_t i = 0; i < shown.size(); ++i) {
    EXPECT_EQ(shown[i].first, GetLocalisedText(wanted[i].text)) << i;
    EXPECT_EQ(shown[i].second, std::make_pair(wanted[i].x, wanted[i].y)) << i;
  }
  const GameMaker pirate = SetGameMaker(kGamePirate, &MakeTickGame);
  const struct {
    int32_t item;
    const char* code;
  } starts[] = {{CFrontEnd::kItemFootballTwoPlayer, kFootballCode},
                {CFrontEnd::kItemPirateTwoPlayer, kPirateCode}};
  for (const auto& start : starts) {
    SCOPED_TRACE(start.code);
    while (FrontEnd()->GetSelection() != start.item) Press(plat::kDIK_DOWN);
    Press(plat::kDIK_RETURN);
    ASSERT_NE(Game(), nullptr);
    EXPECT_EQ(Game()->GetMode(), kModeTwoPlayer);
    EXPECT_EQ(Game()->GetLevel(), 0) << "both machines play the first difficulty";
    EXPECT_STREQ(Link()->GameCode(), start.code);
    EXPECT_TRUE(Link()->IsHost());
    ASSERT_TRUE(PlayTo(3));
    EXPECT_EQ(window->GetFlags(), BaseRenderWindow::kSuspended)
        << "no overlay while the other machine keeps up";
    GetKavelApp()->StartGame(nullptr);
    ExpectMenu();
    m_other.Turn();
    m_other.received.clear();
  }
  // Started by the other machine, each runs at the first difficulty too.
  uint8_t session = 60;
  for (const auto& start : starts) {
    SCOPED_TRACE(start.code);
    Send(*m_other.end, StartMessage(++session, start.code));
    Frames(2);
    ASSERT_NE(Game(), nullptr);
    EXPECT_EQ(Game()->GetMode(), kModeTwoPlayer);
    EXPECT_EQ(Game()->GetLevel(), 0);
    EXPECT_FALSE(Link()->IsHost());
    GetKavelApp()->StartGame(nullptr);
    ExpectMenu();
    m_other.Turn();
    m_other.received.clear();
  }
  SetGameMaker(kGamePirate, pirate);
}

// A start from the other machine while this one plays alone replaces that game, and the link
// keeps the new one.
TEST_F(LinkAppTest, AClientStartReplacesAGameOfOnePlayer) {
  FrontEnd()->SetMode(kModeNormal);
  PDFE_StartGameCobbAndJory();
  Frames(10);
  ASSERT_NE(Game(), nullptr);
  ASSERT_EQ(Game()->GetMode(), kModeNormal);
  StartLinked(false, 9);
  ASSERT_TRUE(PlayTo(10));
  EXPECT_EQ(Game()->GetMode(), kModeTwoPlayer);
  EXPECT_TRUE(m_other.Received(TwoPlayerLink::kMsgStop).empty());
}

}  // namespace
