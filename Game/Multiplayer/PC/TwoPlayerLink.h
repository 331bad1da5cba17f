#pragma once
// The two-player link: runs one game on two machines in lockstep over the network peer the
// framework is handed. The host starts a game by sending its code and the random seed; both
// machines seed the one shared generator before the game loads. Then every tick each machine
// sends a 32-byte input record {frame, its player's held and pressed bits, the state hash and
// generator state after the previous tick}, and a tick runs only once the other machine's record
// of that frame is in, so both run every tick on the same input of both players (the host is
// player 0). The states after each tick are compared as soon as both are known; a difference
// or a lost connection ends the game with a reason the framework shows.
//
// The framework's part, per frame (the InputDevice registered with SetInputDevice):
//     input.Update();
//     link.Update();                            // packets in, this frame's local input sampled
//     for each due tick of a linked game:
//       if (!link.ReadyForTick()) break;        // the other machine's record is not in yet
//       link.BeginTick(input);                  // both players' words into the InputDevice
//       game->Update();
//       link.EndTick(game->GetStateHash());
//     if (link.Failure() != LinkFailure::kNone): end the game, show FailureTextId(Failure())
//     if (link.IsWaitingLong()): tell the player, who may leave the game
//     at the end of a linked game (any reason): link.StopGame();
//
// A machine that stays connected but sends nothing (stopped, or its window minimised) must not
// hold the other for ever: the wait for its record is timed on the platform's millisecond clock,
// and after kSilenceLimitMs the game fails as a lost connection.

#include <cstdint>

#include "Platform/Net/Peer.h"

class InputDevice;

// Why a linked game ended early.
enum class LinkFailure : int32_t {
  kNone = 0,
  kOutOfStep = 1,       // the machines' states differ, or a record could not be trusted
  kConnectionLost = 2,  // the connection went, or the other machine left the game
};

// The client's start: creates the game named by `code` (difficulty 0, as the host's start does)
// and makes it current. The generator is already seeded. A client that cannot start the game
// calls StopGame, which lets the host know.
using LinkStartCallback = void (*)(const char* code);

class TwoPlayerLink {
 public:
  // The link's messages (the first byte of each packet).
  static constexpr uint8_t kMsgStart = plat::ID_FIRST_USER_MESSAGE;
  static constexpr uint8_t kMsgInput = plat::ID_FIRST_USER_MESSAGE + 1;
  static constexpr uint8_t kMsgStop = plat::ID_FIRST_USER_MESSAGE + 2;
  static constexpr uint32_t kRecordSize = 32;
  static constexpr uint32_t kStartSize = 24;
  static constexpr uint32_t kStopSize = 8;
  static constexpr int32_t kMaxCodeLength = 15;

  // How long a wait for the other machine's record of the next tick may last: after
  // kWaitNoticeMs the player is told and may leave, after kSilenceLimitMs the game ends.
  static constexpr uint32_t kWaitNoticeMs = 3000;
  static constexpr uint32_t kSilenceLimitMs = 30000;

  // The localised text the framework shows for a failure: 1021 "GAMES OUT OF STEP", 1020
  // "CONNECTION LOST"; 0 for none.
  static constexpr int32_t FailureTextId(LinkFailure failure) {
    return failure == LinkFailure::kOutOfStep        ? 1021
           : failure == LinkFailure::kConnectionLost ? 1020
                                                     : 0;
  }

  // One input record as it travels (little-endian, in this order). Record N carries the input
  // for tick N and the state after tick N - 1 (for N = 0: hash 0 and the generator as loading
  // left it).
  struct InputRecord {
    uint8_t id = kMsgInput;
    uint8_t session = 0;  // which linked game: records of an earlier one are stale
    uint16_t reserved = 0;
    uint32_t frame = 0;
    uint32_t held = 0;     // the sender's player
    uint32_t pressed = 0;  // bits gone down since the sender's previous record
    uint32_t stateHash = 0;
    uint32_t randomState = 0;
    uint32_t reserved2 = 0;
    uint32_t checksum = 0;  // CRC-32 of the 28 bytes before it
  };
  static_assert(sizeof(InputRecord) == kRecordSize, "an input record is 32 bytes on the wire");

  // The wire form; Encode fills in the checksum. Decode refuses (false) a wrong size, a wrong
  // identifier or a checksum that does not match.
  static void EncodeRecord(const InputRecord& record, uint8_t out[kRecordSize]);
  static bool DecodeRecord(const uint8_t* bytes, uint32_t length, InputRecord* record);

  TwoPlayerLink() = default;
  // The peer is not the link's.
  ~TwoPlayerLink();
  TwoPlayerLink(const TwoPlayerLink&) = delete;
  TwoPlayerLink& operator=(const TwoPlayerLink&) = delete;

  // Uses `peer` from now on (null detaches). A linked game running on the old peer fails with
  // kConnectionLost.
  void AttachPeer(plat::Peer* peer);
  bool IsAttached() const { return m_peer != nullptr; }
  // The peer is connected (and can still send).
  bool IsConnected() const { return m_peer != nullptr && m_peer->IsConnected(); }
  void SetClientStartCallback(LinkStartCallback callback) { m_startCallback = callback; }

  // The host's start: sends the game's code (1 to 15 printable characters) and the seed, seeds
  // the shared generator and runs the link's game from tick 0. Call it before the game is made.
  // False (nothing sent) without a connection, with a bad code, while a linked game runs, or
  // when the other machine's start was waiting (this machine has just become its client).
  bool StartHost(const char* code, uint32_t seed);

  // Once per frame, after the InputDevice's Update: takes this frame's local input from the
  // registered InputDevice (presses of frames that run no tick are kept for the next record),
  // handles what has arrived: the connection's news, the client's start (seed, then the start
  // callback), records and stops, and times the wait for the other machine's record (also while
  // the game is paused, so a game left waiting ends all the same).
  void Update();

  // True when the next tick may run: the local record of that tick has gone out (it is sent
  // here, the first time this is asked) and the other machine's has come in, and the states
  // before it are equal. False while waiting, after a failure and outside a linked game.
  bool ReadyForTick();
  // After ReadyForTick said yes: hands both players' words of this tick to `device`.
  void BeginTick(InputDevice& device);
  // After the game's Update of that tick: its GetStateHash.
  void EndTick(uint32_t stateHash);

  // Ends the linked game (whatever the reason) and lets the other machine know when it does not
  // know already; clears the failure and the InputDevice's link input.
  void StopGame();

  // A linked game runs: from its start until StopGame (a failed one too, until then).
  bool IsGameRunning() const { return m_running; }
  // How long this machine has been waiting for the other one's record of the next tick (its own
  // is out); 0 when it is not waiting.
  uint32_t WaitedMilliseconds() const;
  bool IsWaitingLong() const { return WaitedMilliseconds() >= kWaitNoticeMs; }
  bool IsHost() const { return m_host; }
  const char* GameCode() const { return m_code; }
  // The number of the next tick (ticks run so far in this game).
  int32_t Frame() const { return static_cast<int32_t>(m_frame); }
  LinkFailure Failure() const { return m_failure; }
  // With kOutOfStep: the tick after which the machines' states first differed (-1: they differed
  // when loading ended), or the tick whose record was refused. With kConnectionLost: the tick
  // that could not run.
  int32_t FailedFrame() const { return m_failedFrame; }

 private:
  static constexpr uint32_t kNoFrame = 0xFFFFFFFFu;
  static constexpr int32_t kMaxPacketsPerPump = 64;

  void Pump();
  void Handle(const uint8_t* data, uint32_t length);
  void OnConnectionLost();
  void OnStart(const uint8_t* data, uint32_t length);
  void OnRecord(const uint8_t* data, uint32_t length);
  void OnStop(const uint8_t* data, uint32_t length);
  void BeginGame(bool host, uint8_t session, uint32_t seed, const char* code);
  void SendLocalRecord();
  void SendStop(LinkFailure reason, uint32_t frame);
  // Compares the states before the next tick once both records are in.
  void CompareNextFrame();
  void Fail(LinkFailure reason, int32_t frame, bool tellOther);
  const InputRecord* RemoteRecord(uint32_t frame) const;
  // Starts, checks or ends the timing of a wait for the other machine's record.
  void WatchSilence();
  // A wanted tick that will never get the other machine's record (it stopped, or the connection
  // went before it sent one) fails the game, also while the game is paused.
  void CheckRemoteStopped();
  // Messages of unknown kinds are logged once and counted; the count is written when the game
  // stops or the peer changes.
  void NoteUnknown(const uint8_t* data, uint32_t length);
  void ReportUnknown();

  plat::Peer* m_peer = nullptr;
  LinkStartCallback m_startCallback = nullptr;

  // The linked game.
  bool m_running = false;
  bool m_host = false;
  uint8_t m_session = 0;
  char m_code[kMaxCodeLength + 1] = {};
  uint32_t m_frame = 0;
  LinkFailure m_failure = LinkFailure::kNone;
  int32_t m_failedFrame = -1;
  bool m_tickReady = false;

  uint32_t m_localHeld = 0;
  uint32_t m_pendingPressed = 0;
  uint32_t m_lastHash = 0;
  bool m_localSent = false;  // m_local is the record of m_frame
  InputRecord m_local;
  // The other machine is at most one record ahead: slots by frame parity.
  InputRecord m_remote[2];
  bool m_remoteIn[2] = {};
  uint32_t m_remoteStopFrame = kNoFrame;  // the first tick it will send no record for
  bool m_waiting = false;                 // for the other machine's record, since m_waitStart
  uint32_t m_waitStart = 0;
  uint32_t m_unknownMessages = 0;
};

// The framework's one link while it exists.
TwoPlayerLink* GetTwoPlayerLink();
void SetTwoPlayerLink(TwoPlayerLink* link);
