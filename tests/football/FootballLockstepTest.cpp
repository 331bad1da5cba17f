// Two processes play one two-player match over the loopback peer, each through its own real
// application on the demo data: the host starts it from the front end's two-player start, the
// client's link starts it on the code it receives, the host's scripted presses drive both, and
// the states after every tick must be equal on both to the end of the game. The kicks raise
// grass puffs, and the client draws frames of its own now and then, as a faster machine does:
// the effects step once a drawn frame, and must not part the two states.
//
// The client is this test program again (fork, then exec with a filter that runs only the
// client's side), so that it starts with a clean process rather than a copy of one that has
// already run the display.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "Engine/Random.h"
#include "Game/Frontend/PDFE.h"
#include "Game/Multiplayer/PC/TwoPlayerLink.h"
#include "Platform/Net/LoopbackPeer.h"
#include "tests/football/FootballTestSupport.h"
#include "tests/support/LogCapture.h"

namespace {

using namespace footballtest;
using G = cfootballgame;

constexpr const char* kFdVariable = "FOOTBALL_LOCKSTEP_FD";
constexpr const char* kDataVariable = "FOOTBALL_LOCKSTEP_DATA";
constexpr const char* kHashVariable = "FOOTBALL_LOCKSTEP_HASHES";
constexpr const char* kPaceVariable = "FOOTBALL_LOCKSTEP_PACE";
// The match is cut to this many seconds on both machines before its first tick.
constexpr uint32_t kMatchSeconds = 25;
// Far more ticks than the match, its intro and its ending take: a bound for a match that never
// ends, whatever the machine's speed.
constexpr int32_t kTickLimit = 20000;
// How long a frame waits for the other machine's record before it runs without a tick. The
// machines take turns, so a wait ends as soon as the other has drawn its frame; the bound only
// keeps a frame that cannot tick from waiting for ever, and is far above a frame's time on a
// loaded machine, so that waiting frames (and the time they move on the game's clock) stay rare.
constexpr int kPeerWaitMs = 10000;
// Each time the ticks pass a multiple of this, the host holds still (it has sent no record of its
// next tick) while the client draws this many frames that cannot tick; then both go on.
constexpr int32_t kPaceTicks = 25;
constexpr int kExtraFrames = 2;
// A safety net for a side that never comes to the meeting (its game went out of step).
constexpr int kPaceWaitMs = 60000;

struct MatchRecord {
  std::map<int32_t, uint32_t> hashes;  // the state after each tick, by the tick's number
  int32_t lastPhase = -1;
  bool started = false;
  bool ended = false;
  uint32_t goals = 0;
  int32_t kicks = 0;
  int32_t extraFrames = 0;   // frames drawn without a tick while the other side held still
  int32_t effectFrames = 0;  // frames whose pitch had a particle effect running
};

// One byte through the pace channel, or the wait for it; false when it did not come.
bool SendPace(int fd, char byte) { return write(fd, &byte, 1) == 1; }
bool AwaitPace(int fd, char byte) {
  pollfd entry = {fd, POLLIN, 0};
  char got = 0;
  return poll(&entry, 1, kPaceWaitMs) == 1 && read(fd, &got, 1) == 1 && got == byte;
}

// The host's hands: aim a little differently each kick, kick, then press for power.
class HostScript {
 public:
  void Keys(AppHarness& harness, const G& game) {
    plat::ScriptedInput& input = harness.input();
    const bool aiming = game.phase == G::kPhaseAim && !game.m_fadeTimer.IsRunning();
    m_aimFrames = aiming ? m_aimFrames + 1 : 0;
    input.SetKey(plat::kDIK_UP, aiming && m_aimFrames <= 6 + (m_kicks % 3) * 8);
    input.SetKey(m_kicks % 2 ? plat::kDIK_LEFT : plat::kDIK_RIGHT,
                 aiming && m_aimFrames <= (m_kicks % 4) * 6);
    bool space = aiming && m_aimFrames == 40;
    if (game.phase == G::kPhaseRunUp) space = (++m_runFrames % 4) == 0;
    if (space && aiming) ++m_kicks;
    input.SetKey(plat::kDIK_SPACE, space);
  }
  int32_t Kicks() const { return m_kicks; }

 private:
  int32_t m_aimFrames = 0;
  int32_t m_runFrames = 0;
  int32_t m_kicks = 0;
};

// One machine's match, from the link's connection to the end of the game.
MatchRecord PlayMatch(plat::LoopbackPeer& peer, bool host, const std::string& data, int pace) {
  MatchRecord record;
  AppHarness harness;
  std::filesystem::create_directory_symlink(data, "data");
  GetSaveProfile() = SaveProfile();
  KavelApp::Register();
  if (!harness.Start()) return record;
  harness.SkipPixelWork();
  UseOneTickPerFrame(harness);
  TwoPlayerLink* link = GetTwoPlayerLink();
  link->AttachPeer(&peer);
  RunUntil(
      harness, [&] { return link->IsConnected(); }, 50);
  if (host) PDFE_StartDulcieClemencyMP();
  HostScript script;
  bool shortened = false;
  while (link->Frame() < kTickLimit) {
    G* game = CurrentGame();
    if (!game) {
      if (record.started || !link->IsConnected()) break;
      harness.RunFrames(1);
      peer.WaitReadable(kPeerWaitMs);
      continue;
    }
    record.started = true;
    if (!GetKavelApp()->IsLoading() && link->Frame() == 0 && !shortened) {
      game->timeLeft = kMatchSeconds;
      shortened = true;
    }
    if (host) script.Keys(harness, *game);
    const int32_t before = link->Frame();
    record.lastPhase = game->phase;
    record.goals = game->goals;
    harness.RunFrames(1);
    if (CurrentGame() && link->Frame() > before)
      record.hashes[link->Frame()] = CurrentGame()->GetStateHash();
    if (G* now = CurrentGame()) {
      RenderWindow* pitch = GetApp().FindWindow(now->sceneWindowId);
      record.effectFrames += pitch && pitch->GetParticleSystemCount() > 0 ? 1 : 0;
    }
    if (link->Frame() / kPaceTicks != before / kPaceTicks) {
      if (host) {
        // Held: the record of the next tick stays here until the client has drawn its frames.
        if (!SendPace(pace, 'h') || !AwaitPace(pace, 'c')) break;
        continue;
      }
      if (!AwaitPace(pace, 'h')) break;
      // The host's records that are in still tick; the frames after them cannot.
      for (int extra = 0, i = 0; extra < kExtraFrames && i < kExtraFrames + 8; ++i) {
        const int32_t at = link->Frame();
        harness.RunFrames(1);
        if (link->Frame() == at) {
          ++extra;
          ++record.extraFrames;
        } else if (CurrentGame()) {
          record.hashes[link->Frame()] = CurrentGame()->GetStateHash();
        }
      }
      if (!SendPace(pace, 'c')) break;
      continue;
    }
    if (link->Frame() == before && !GetKavelApp()->IsLoading()) peer.WaitReadable(kPeerWaitMs);
  }
  record.ended = CurrentGame() == nullptr && record.started;
  record.kicks = script.Kicks();
  link->AttachPeer(nullptr);
  harness.Stop();
  std::ifstream log("Debug.log");
  for (std::string line; std::getline(log, line);)
    if (line.find("TwoPlayerLink") != std::string::npos)
      std::printf("%s: %s\n", host ? "host" : "client", line.c_str());
  return record;
}

std::string SelfPath() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (n <= 0) return {};
  path[n] = 0;
  return path;
}

TEST(FootballLockstepTest, TwoProcessesPlayTheSameMatchWithEqualStatesToTheEnd) {
  const std::string data = DemoDataFolder();
  const std::string hashes = std::filesystem::temp_directory_path() /
                             ("football-lockstep-" + std::to_string(getpid()) + ".txt");
  int fds[2], pace[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pace), 0);
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);  // a test run that is stopped takes its client along
    close(fds[0]);
    close(pace[0]);
    setenv(kFdVariable, std::to_string(fds[1]).c_str(), 1);
    setenv(kPaceVariable, std::to_string(pace[1]).c_str(), 1);
    setenv(kDataVariable, data.c_str(), 1);
    setenv(kHashVariable, hashes.c_str(), 1);
    const std::string self = SelfPath();
    const char* argv[] = {self.c_str(), "--gtest_filter=FootballLockstepTest.ClientMachine",
                          nullptr};
    execv(self.c_str(), const_cast<char* const*>(argv));
    _exit(127);
  }
  close(fds[1]);
  close(pace[1]);
  ASSERT_GT(pid, 0);
  MatchRecord host;
  {
    plat::LoopbackPeer peer(fds[0]);
    host = PlayMatch(peer, true, data, pace[0]);
  }
  close(pace[0]);
  // The client ends with its game, or when this end closes; a hung one is ctest's to stop.
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the client's side failed";

  EXPECT_TRUE(host.ended);
  EXPECT_EQ(host.lastPhase, G::kPhaseEnd) << "the game ended by its clock, not by the link";
  EXPECT_GE(host.kicks, 3);
  EXPECT_GT(host.effectFrames, 0) << "no kick raised a grass puff";
  std::map<int32_t, uint32_t> client;
  std::ifstream in(hashes);
  int32_t tick;
  uint32_t hash;
  while (in >> tick >> hash) client[tick] = hash;
  std::filesystem::remove(hashes);
  size_t compared = 0;
  for (const auto& [t, h] : host.hashes) {
    auto other = client.find(t);
    if (other == client.end()) continue;
    ASSERT_EQ(other->second, h) << "the states part after tick " << t;
    ++compared;
  }
  EXPECT_GT(compared, 1500u);
  EXPECT_FALSE(DebugLogContains("out of step"));
  std::printf("lockstep: %zu ticks compared, %d kicks, %u goals, %d frames with effects\n",
              compared, host.kicks, host.goals, host.effectFrames);
}

// The client's side: run only as the child of the test above.
TEST(FootballLockstepTest, ClientMachine) {
  const char* fd = std::getenv(kFdVariable);
  if (!fd) GTEST_SKIP() << "runs as the other machine of the two-process match";
  plat::LoopbackPeer peer(std::atoi(fd));
  const MatchRecord record =
      PlayMatch(peer, false, std::getenv(kDataVariable), std::atoi(std::getenv(kPaceVariable)));
  EXPECT_TRUE(record.ended);
  EXPECT_GT(record.extraFrames, 0);
  EXPECT_GT(record.effectFrames, 0) << "no kick raised a grass puff";
  EXPECT_EQ(record.lastPhase, G::kPhaseEnd);
  EXPECT_FALSE(DebugLogContains("out of step"));
  std::ofstream out(std::getenv(kHashVariable));
  for (const auto& [t, h] : record.hashes) out << t << ' ' << h << '\n';
}

}  // namespace
