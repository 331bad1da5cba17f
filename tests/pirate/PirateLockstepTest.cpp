// Two-player lockstep for real: the test forks, and each process starts its own App on the demo
// data with the loopback peer attached to its two-player link. The host starts the game from the
// menu's two-player start, the client is started by the code the host sends ("MGRST"), and the
// scripted host plays the whole game while the client presses keys of its own (which must not
// count). Both record the state hash after every tick; the client hands its record back through
// a file, and the two must be the same, tick for tick, with the link seeing no difference. The
// clock gives each frame one tick at most, so that every tick's hash is seen.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "Game/Frontend/PDFE.h"
#include "Game/Multiplayer/PC/TwoPlayerLink.h"
#include "Platform/Net/LoopbackPeer.h"
#include "tests/pirate/PirateTestSupport.h"

namespace {

struct SideResult {
  std::vector<uint32_t> hashes;  // after each tick, by tick
  int32_t pairsFound = 0;
  bool ended = false;
  int32_t failure = 0;
  int32_t ticks = 0;
};

// The intro and some fifteen seconds of play, in which pairs are found and missed; the software
// renderer of two processes keeps the run short enough for the sanitizer build.
constexpr int32_t kTicks = 1000;
// How long a frame waits for the other machine before it runs without a tick: the machines take
// turns, so a wait ends once the other has drawn its frame; the bound only keeps a frame that
// cannot tick from waiting for ever, far above a frame's time on a loaded machine.
constexpr int kPeerWaitMs = 10000;

// Runs one machine until its game has ended. Returns what it saw.
SideResult RunSide(plat::LoopbackPeer& peer, bool host) {
  SideResult result;
  AppHarness harness;
  LinkDemoData();
  GetSaveProfile() = SaveProfile();
  KavelApp::Register();
  if (!harness.Start()) return result;
  harness.SkipPixelWork();
  piratetest::UseFastClock(harness);
  harness.system().SetCounterStepPerRead(400);
  TwoPlayerLink* link = GetTwoPlayerLink();
  link->AttachPeer(&peer);
  harness.RunFrames(2);
  if (host) PDFE_StartMrGorstMP();
  piratetest::Autopilot pilot;
  int clientKey = 0;
  bool started = false;
  while (link->Frame() < kTicks) {
    cpirategame* game = piratetest::CurrentPirateGame();
    started |= game != nullptr;
    if (started && !game) {
      result.ended = true;
      break;
    }
    int key = 0;
    if (game && !GetKavelApp()->IsLoading()) {
      // The client's keys go to its own record as player 1: the game must not see them.
      key = host ? pilot.Next(*game) : ((clientKey++ / 3) % 2 ? plat::kDIK_SPACE : plat::kDIK_LEFT);
      result.pairsFound = kPirateKinds - game->m_pairsLeft;
    }
    if (key) harness.input().SetKey(key, true);
    const int32_t before = link->Frame();
    harness.RunFrames(1);
    if (key) harness.input().SetKey(key, false);
    game = piratetest::CurrentPirateGame();
    if (game && link->Frame() == before + 1) result.hashes.push_back(game->GetStateHash());
    result.ticks = link->Frame() > result.ticks ? link->Frame() : result.ticks;
    result.failure |= static_cast<int32_t>(link->Failure());
    if (!link->IsConnected()) break;
    const bool loading = game && GetKavelApp()->IsLoading();
    if (!loading && (!link->IsGameRunning() || link->Frame() == before))
      peer.WaitReadable(kPeerWaitMs);
  }
  result.ended = result.ended || link->Frame() >= kTicks;
  link->AttachPeer(nullptr);
  harness.Stop();
  return result;
}

void WriteResult(const std::string& path, const SideResult& r) {
  std::ofstream out(path);
  out << r.ended << ' ' << r.failure << ' ' << r.pairsFound << ' ' << r.ticks << ' '
      << r.hashes.size();
  for (uint32_t h : r.hashes) out << ' ' << h;
}

SideResult ReadResult(const std::string& path) {
  SideResult r;
  std::ifstream in(path);
  size_t count = 0;
  in >> r.ended >> r.failure >> r.pairsFound >> r.ticks >> count;
  r.hashes.resize(count);
  for (uint32_t& h : r.hashes) in >> h;
  return r;
}

TEST(PirateLockstepTest, TwoProcessesPlayTheSameGameWithEqualHashesEveryTick) {
  const std::string data = DemoDataFolder();  // written once, before the fork
  ASSERT_FALSE(data.empty());
  const std::string record =
      std::filesystem::temp_directory_path() / ("pirate-lockstep-" + std::to_string(getpid()));
  std::unique_ptr<plat::LoopbackPeer> hostEnd, clientEnd;
  ASSERT_TRUE(plat::LoopbackPeer::CreatePair(&hostEnd, &clientEnd));
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);  // a test run that is stopped takes its client along
    hostEnd.reset();
    const SideResult client = RunSide(*clientEnd, false);
    WriteResult(record, client);
    _exit(client.ended ? 0 : 1);
  }
  ASSERT_GT(pid, 0);
  clientEnd.reset();
  const SideResult host = RunSide(*hostEnd, true);
  hostEnd.reset();
  // The client ends with its game, or when this end closes; a hung one is ctest's to stop.
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the client's game ended";
  const SideResult client = ReadResult(record);
  std::remove(record.c_str());

  EXPECT_TRUE(host.ended);
  EXPECT_EQ(host.failure, 0) << "the link saw the games part";
  EXPECT_EQ(client.failure, 0);
  EXPECT_GE(host.pairsFound, 1) << "the host's script found pairs";
  EXPECT_EQ(client.pairsFound, host.pairsFound) << "and the client's game followed it";
  EXPECT_EQ(host.ticks, kTicks);
  EXPECT_EQ(client.ticks, kTicks);
  ASSERT_EQ(host.hashes.size(), size_t(kTicks)) << "one tick a frame";
  ASSERT_EQ(client.hashes.size(), size_t(kTicks));
  size_t changes = 0;
  for (size_t tick = 0; tick < host.hashes.size(); ++tick) {
    ASSERT_EQ(host.hashes[tick], client.hashes[tick]) << "tick " << tick;
    changes += tick > 0 && host.hashes[tick] != host.hashes[tick - 1];
  }
  EXPECT_GT(changes, 10u) << "the hash follows the play";
}

}  // namespace
