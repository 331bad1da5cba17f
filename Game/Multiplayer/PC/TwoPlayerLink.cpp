#include "Game/Multiplayer/PC/TwoPlayerLink.h"

#include <algorithm>
#include <cstring>

#include "Engine/Assert.h"
#include "Engine/CRC32.h"
#include "Engine/LogFile.h"
#include "Engine/Random.h"
#include "Game/Helper/InputDevice.h"
#include "Platform/System/System.h"

namespace {

// Why the other machine stopped, as a stop message says it.
constexpr uint8_t kStopLeft = 0;
constexpr uint8_t kStopOutOfStep = 1;

constexpr uint32_t kCodeField = TwoPlayerLink::kMaxCodeLength + 1;

TwoPlayerLink* g_link = nullptr;

// The wait for a record is timed on the platform's clock, which tests script.
uint32_t NowMilliseconds() { return plat::GetSystem().GetTickCount(); }

void PutLe16(uint8_t* out, uint16_t value) {
  out[0] = static_cast<uint8_t>(value);
  out[1] = static_cast<uint8_t>(value >> 8);
}

void PutLe32(uint8_t* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint16_t GetLe16(const uint8_t* in) { return static_cast<uint16_t>(in[0] | in[1] << 8); }

uint32_t GetLe32(const uint8_t* in) {
  return static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 |
         static_cast<uint32_t>(in[2]) << 16 | static_cast<uint32_t>(in[3]) << 24;
}

// A game code is a short word of printable characters, terminated inside its field.
bool IsSoundCode(const char* code, size_t field) {
  const size_t length = strnlen(code, field);
  if (length == 0 || length == field || length > size_t{TwoPlayerLink::kMaxCodeLength})
    return false;
  return std::all_of(code, code + length, [](char c) { return c > ' ' && c <= '~'; });
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Records on the wire

void TwoPlayerLink::EncodeRecord(const InputRecord& record, uint8_t out[kRecordSize]) {
  out[0] = record.id;
  out[1] = record.session;
  PutLe16(out + 2, record.reserved);
  const uint32_t words[6] = {record.frame,     record.held,        record.pressed,
                             record.stateHash, record.randomState, record.reserved2};
  for (int i = 0; i < 6; ++i) PutLe32(out + 4 + 4 * i, words[i]);
  PutLe32(out + 28, CRC32::Compute(out, 28));
}

bool TwoPlayerLink::DecodeRecord(const uint8_t* bytes, uint32_t length, InputRecord* record) {
  if (!bytes || length != kRecordSize || bytes[0] != kMsgInput) return false;
  if (GetLe32(bytes + 28) != CRC32::Compute(bytes, 28)) return false;
  record->id = bytes[0];
  record->session = bytes[1];
  record->reserved = GetLe16(bytes + 2);
  record->frame = GetLe32(bytes + 4);
  record->held = GetLe32(bytes + 8);
  record->pressed = GetLe32(bytes + 12);
  record->stateHash = GetLe32(bytes + 16);
  record->randomState = GetLe32(bytes + 20);
  record->reserved2 = GetLe32(bytes + 24);
  record->checksum = GetLe32(bytes + 28);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Connection and start

TwoPlayerLink::~TwoPlayerLink() { ReportUnknown(); }

void TwoPlayerLink::AttachPeer(plat::Peer* peer) {
  if (peer == m_peer) return;
  if (m_running) Fail(LinkFailure::kConnectionLost, Frame(), false);
  ReportUnknown();
  m_peer = peer;
}

bool TwoPlayerLink::StartHost(const char* code, uint32_t seed) {
  if (m_running || !m_peer || !code || !IsSoundCode(code, std::strlen(code) + 1)) {
    DebugLog().Write("TwoPlayerLink: cannot start a linked game here");
    return false;
  }
  Pump();  // news of the connection, or the other machine's start, may be waiting
  if (m_running) {
    DebugLog().Write("TwoPlayerLink: the other machine started a game first");
    return false;
  }
  if (!IsConnected()) {
    DebugLog().Write("TwoPlayerLink: cannot start a linked game without a connection");
    return false;
  }
  // A new session number sets this game's records apart from late ones of the last game, which
  // may have been hosted by the other machine.
  const uint8_t session = static_cast<uint8_t>(m_session + 1);
  uint8_t message[kStartSize] = {kMsgStart, session};
  PutLe32(message + 4, seed);
  std::memcpy(message + 8, code, std::strlen(code));
  if (!m_peer->Send(message, kStartSize)) {
    DebugLog().Write("TwoPlayerLink: the start could not be sent");
    return false;
  }
  BeginGame(true, session, seed, code);
  return true;
}

void TwoPlayerLink::BeginGame(bool host, uint8_t session, uint32_t seed, const char* code) {
  m_running = true;
  m_host = host;
  m_session = session;
  std::memset(m_code, 0, sizeof(m_code));
  std::memcpy(m_code, code, std::strlen(code));
  m_frame = 0;
  m_failure = LinkFailure::kNone;
  m_failedFrame = -1;
  m_tickReady = false;
  m_pendingPressed = 0;  // presses made in the menus are not the game's
  m_lastHash = 0;
  m_localSent = false;
  m_remoteIn[0] = m_remoteIn[1] = false;
  m_remoteStopFrame = kNoFrame;
  m_waiting = false;
  SeedRand(seed);
}

// ---------------------------------------------------------------------------------------------
// Per frame

void TwoPlayerLink::Update() {
  const InputDevice* device = GetInputDevice();
  if (m_running && device) {
    m_localHeld = device->LocalHeld();
    m_pendingPressed |= device->LocalPressed();
  }
  Pump();
  if (!m_running) return;
  CompareNextFrame();
  CheckRemoteStopped();
  WatchSilence();
}

void TwoPlayerLink::Pump() {
  for (int32_t i = 0; i < kMaxPacketsPerPump && m_peer; ++i) {
    // The start callback may attach another peer: the packet goes back to the one it came from.
    plat::Peer* peer = m_peer;
    plat::Packet* packet = peer->Receive();
    if (!packet) return;
    Handle(packet->data, packet->length);
    peer->Release(packet);
  }
}

void TwoPlayerLink::Handle(const uint8_t* data, uint32_t length) {
  if (!data || length == 0) {
    NoteUnknown(data, 0);
    return;
  }
  switch (data[0]) {
    case plat::ID_CONNECTION_REQUEST_ACCEPTED:
      break;  // the peer answers IsConnected itself
    case plat::ID_CONNECTION_LOST:
      if (const char* why = m_peer ? m_peer->LossReason() : nullptr) {
        DebugLog().Write("TwoPlayerLink: the connection ended: %s", why);
      } else {
        DebugLog().Write("TwoPlayerLink: the connection ended");
      }
      OnConnectionLost();
      break;
    case kMsgStart:
      OnStart(data, length);
      break;
    case kMsgInput:
      OnRecord(data, length);
      break;
    case kMsgStop:
      OnStop(data, length);
      break;
    default:
      NoteUnknown(data, length);
      break;
  }
}

void TwoPlayerLink::NoteUnknown(const uint8_t* data, uint32_t length) {
  // A peer that sends nothing but these would fill the log at its own rate.
  if (m_unknownMessages++ > 0) return;
  if (length == 0) {
    DebugLog().Write("TwoPlayerLink: ignored an empty packet (later unknown ones are counted)");
  } else {
    DebugLog().Write(
        "TwoPlayerLink: ignored a message with identifier %u (later unknown ones are counted)",
        data[0]);
  }
}

void TwoPlayerLink::ReportUnknown() {
  if (m_unknownMessages > 1)
    DebugLog().Write("TwoPlayerLink: ignored %u messages of unknown kinds in all",
                     m_unknownMessages);
  m_unknownMessages = 0;
}

void TwoPlayerLink::OnConnectionLost() {
  if (!m_running) return;
  // The records that came in before the loss still count: a game whose last tick they reach
  // ends as it would have, and only a tick left without its record is lost.
  uint32_t missing = m_frame;
  while (RemoteRecord(missing)) ++missing;
  if (missing < m_remoteStopFrame) m_remoteStopFrame = missing;
}

void TwoPlayerLink::OnStart(const uint8_t* data, uint32_t length) {
  char code[kCodeField];
  if (length == kStartSize) std::memcpy(code, data + 8, kCodeField);
  if (length != kStartSize || !IsSoundCode(code, kCodeField)) {
    DebugLog().Write("TwoPlayerLink: refused a start of %u bytes with no sound game code", length);
    return;
  }
  if (m_running) {
    DebugLog().Write("TwoPlayerLink: refused a start while a linked game runs");
    return;
  }
  BeginGame(false, data[1], GetLe32(data + 4), code);
  if (!m_startCallback) {
    DebugLog().Write("TwoPlayerLink: no game to start for \"%s\"", code);
    StopGame();
    return;
  }
  m_startCallback(m_code);
}

void TwoPlayerLink::OnRecord(const uint8_t* data, uint32_t length) {
  InputRecord record;
  if (!DecodeRecord(data, length, &record)) {
    // The peer delivers every packet once: a record that cannot be read will not come again, and
    // waiting for it would hang both machines.
    DebugLog().Write("TwoPlayerLink: refused an input record of %u bytes (size or checksum)",
                     length);
    if (m_running) Fail(LinkFailure::kOutOfStep, Frame(), true);
    return;
  }
  if (!m_running || m_failure != LinkFailure::kNone || record.session != m_session) return;
  const uint32_t slot = record.frame & 1;
  if (record.frame < m_frame || record.frame > m_frame + 1 ||
      (m_remoteIn[slot] && m_remote[slot].frame == record.frame)) {
    DebugLog().Write("TwoPlayerLink: refused the input record of frame %u at frame %u",
                     record.frame, m_frame);
    Fail(LinkFailure::kOutOfStep, Frame(), true);
    return;
  }
  m_remote[slot] = record;
  m_remoteIn[slot] = true;
}

void TwoPlayerLink::OnStop(const uint8_t* data, uint32_t length) {
  if (length != kStopSize) {
    DebugLog().Write("TwoPlayerLink: refused a stop of %u bytes", length);
    return;
  }
  if (!m_running || data[1] != m_session || m_failure != LinkFailure::kNone) return;
  const uint32_t frame = GetLe32(data + 4);
  if (data[2] == kStopOutOfStep) {
    Fail(LinkFailure::kOutOfStep, static_cast<int32_t>(frame), false);
  } else {
    // It may have sent its last records already: the game goes on until one is missing.
    m_remoteStopFrame = frame;
  }
}

// ---------------------------------------------------------------------------------------------
// Ticks

bool TwoPlayerLink::ReadyForTick() {
  if (!m_running || m_failure != LinkFailure::kNone) return false;
  if (m_tickReady) return true;
  if (!m_localSent) SendLocalRecord();
  Pump();
  CompareNextFrame();
  CheckRemoteStopped();
  if (m_failure != LinkFailure::kNone) return false;
  m_tickReady = RemoteRecord(m_frame) != nullptr;
  WatchSilence();
  return m_tickReady;
}

void TwoPlayerLink::CheckRemoteStopped() {
  // Only once this tick is wanted (its local record is out): a game ending on the very tick the
  // other machine stopped after ends as it should, not with a lost connection. Records and the
  // stop come in order, so once the stop is in, a record of this tick that has not come never
  // will.
  if (!m_running || m_failure != LinkFailure::kNone || !m_localSent) return;
  if (m_frame >= m_remoteStopFrame && !RemoteRecord(m_frame))
    Fail(LinkFailure::kConnectionLost, Frame(), false);
}

void TwoPlayerLink::WatchSilence() {
  const bool waiting =
      m_running && m_failure == LinkFailure::kNone && m_localSent && !RemoteRecord(m_frame);
  if (!waiting) {
    m_waiting = false;
    return;
  }
  const uint32_t now = NowMilliseconds();
  if (!m_waiting) {
    m_waiting = true;
    m_waitStart = now;
    return;
  }
  const uint32_t waited = now - m_waitStart;
  if (waited < kSilenceLimitMs) return;
  DebugLog().Write("TwoPlayerLink: no input record of frame %u from the other machine in %u ms",
                   m_frame, waited);
  Fail(LinkFailure::kConnectionLost, Frame(), false);
  // The other machine may only be held up (a minimised window, a stopped process): when it comes
  // back it learns that this one has gone. This machine's record of this tick went out.
  SendStop(LinkFailure::kConnectionLost, m_frame + 1);
}

uint32_t TwoPlayerLink::WaitedMilliseconds() const {
  if (!m_waiting || !m_running || m_failure != LinkFailure::kNone) return 0;
  return NowMilliseconds() - m_waitStart;
}

void TwoPlayerLink::SendLocalRecord() {
  InputRecord record;
  record.session = m_session;
  record.frame = m_frame;
  record.held = m_localHeld;
  record.pressed = m_pendingPressed;
  record.stateHash = m_lastHash;
  record.randomState = GetSeed();
  uint8_t bytes[kRecordSize];
  EncodeRecord(record, bytes);
  // Without a connection the record is only kept for this machine's own tick: the other machine
  // is gone, and the ticks its last records allow still run.
  if (IsConnected() && !m_peer->Send(bytes, kRecordSize)) {
    DebugLog().Write("TwoPlayerLink: the input record of frame %u could not be sent", m_frame);
    Fail(LinkFailure::kConnectionLost, Frame(), false);
    return;
  }
  m_local = record;
  m_localSent = true;
  m_pendingPressed = 0;
}

void TwoPlayerLink::CompareNextFrame() {
  if (!m_running || m_failure != LinkFailure::kNone || !m_localSent) return;
  const InputRecord* remote = RemoteRecord(m_frame);
  if (!remote) return;
  if (remote->stateHash != m_local.stateHash || remote->randomState != m_local.randomState)
    Fail(LinkFailure::kOutOfStep, Frame() - 1, true);
}

void TwoPlayerLink::BeginTick(InputDevice& device) {
  KASSERT(m_tickReady);
  if (!m_tickReady) return;
  const InputRecord* remote = RemoteRecord(m_frame);
  const InputRecord& player0 = m_host ? m_local : *remote;
  const InputRecord& player1 = m_host ? *remote : m_local;
  const uint32_t held[2] = {player0.held, player1.held};
  const uint32_t pressed[2] = {player0.pressed, player1.pressed};
  device.SetLinkInput(held, pressed);
}

void TwoPlayerLink::EndTick(uint32_t stateHash) {
  KASSERT(m_tickReady);
  if (!m_tickReady) return;
  m_remoteIn[m_frame & 1] = false;
  m_lastHash = stateHash;
  ++m_frame;
  m_localSent = false;
  m_tickReady = false;
}

const TwoPlayerLink::InputRecord* TwoPlayerLink::RemoteRecord(uint32_t frame) const {
  const uint32_t slot = frame & 1;
  return m_remoteIn[slot] && m_remote[slot].frame == frame ? &m_remote[slot] : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Ending

void TwoPlayerLink::Fail(LinkFailure reason, int32_t frame, bool tellOther) {
  if (m_failure != LinkFailure::kNone) return;
  m_failure = reason;
  m_failedFrame = frame;
  m_tickReady = false;
  if (reason == LinkFailure::kOutOfStep) {
    DebugLog().Write("TwoPlayerLink: games out of step at frame %d", frame);
  } else {
    DebugLog().Write("TwoPlayerLink: connection lost at frame %d", frame);
  }
  if (tellOther) SendStop(reason, static_cast<uint32_t>(frame));
}

void TwoPlayerLink::SendStop(LinkFailure reason, uint32_t frame) {
  if (!IsConnected()) return;
  const uint8_t why = reason == LinkFailure::kOutOfStep ? kStopOutOfStep : kStopLeft;
  uint8_t message[kStopSize] = {kMsgStop, m_session, why};
  PutLe32(message + 4, frame);
  m_peer->Send(message, kStopSize);
}

void TwoPlayerLink::StopGame() {
  // The other machine would wait for the next record for ever; after a failure it has been told
  // (or its connection is gone).
  if (m_running && m_failure == LinkFailure::kNone) {
    SendStop(LinkFailure::kNone, m_localSent ? m_frame + 1 : m_frame);
  }
  m_running = false;
  m_host = false;
  m_failure = LinkFailure::kNone;
  m_failedFrame = -1;
  m_tickReady = false;
  m_localSent = false;
  m_remoteIn[0] = m_remoteIn[1] = false;
  m_waiting = false;
  ReportUnknown();
  if (InputDevice* device = GetInputDevice()) device->ClearLinkInput();
}

TwoPlayerLink* GetTwoPlayerLink() { return g_link; }

void SetTwoPlayerLink(TwoPlayerLink* link) { g_link = link; }
