#include "Platform/Net/LoopbackPeer.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "Platform/System/DebugOutput.h"

namespace plat {

namespace {

constexpr size_t kReadChunk = 4096;
// Written-out bytes are trimmed off the front of the queue once there are this many.
constexpr size_t kCompactAt = 64 * 1024;

void Log(const char* what, const char* detail) {
  char line[256];
  std::snprintf(line, sizeof(line), "LoopbackPeer: %s%s%s\n", what, detail ? ": " : "",
                detail ? detail : "");
  PlatformDebugOutput(line);
}

uint32_t ReadLe32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

void AppendLe32(std::vector<uint8_t>* out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<uint8_t>(value >> shift));
}

}  // namespace

LoopbackPeer::LoopbackPeer(int fd) : m_fd(fd) {
  if (m_fd < 0) return;
  // The game polls its peer once per frame: nothing here may ever wait.
  int flags = fcntl(m_fd, F_GETFL);
  if (flags < 0 || fcntl(m_fd, F_SETFL, flags | O_NONBLOCK) < 0) {
    Log("cannot make the socket non-blocking", std::strerror(errno));
    close(m_fd);
    m_fd = -1;
    return;
  }
  m_acceptedPending = true;
}

LoopbackPeer::~LoopbackPeer() {
  if (m_fd >= 0) close(m_fd);
}

bool LoopbackPeer::CreatePair(std::unique_ptr<LoopbackPeer>* first,
                              std::unique_ptr<LoopbackPeer>* second) {
  first->reset();
  second->reset();
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
    Log("cannot make a socket pair", std::strerror(errno));
    return false;
  }
  *first = std::make_unique<LoopbackPeer>(fds[0]);
  *second = std::make_unique<LoopbackPeer>(fds[1]);
  if ((*first)->IsConnected() && (*second)->IsConnected()) return true;
  first->reset();
  second->reset();
  return false;
}

// ---------------------------------------------------------------------------------------------
// Sending

bool LoopbackPeer::Send(const uint8_t* data, uint32_t length) {
  if (!data || length == 0 || length > kMaxPacketSize) {
    Log("refused a packet with no bytes or too many", nullptr);
    return false;
  }
  // The far end must be able to trust that the peer's own news came from the peer.
  if (data[0] < ID_FIRST_USER_MESSAGE) {
    Log("refused a packet with an identifier kept for the peer", nullptr);
    return false;
  }
  return QueueFrame(kFramePacket, data, length);
}

bool LoopbackPeer::SetStaticData(const uint8_t* data, uint32_t length) {
  if (length > kMaxStaticDataSize || (length && !data)) return false;
  m_localStatic.assign(data, data + length);
  if (m_fd >= 0 && m_canSend) QueueFrame(kFrameStaticData, data, length);
  return true;
}

bool LoopbackPeer::QueueFrame(FrameKind kind, const uint8_t* body, uint32_t length) {
  if (m_fd < 0 || !m_canSend) return false;
  if (m_out.size() - m_outSent + kHeaderSize + length > kMaxBacklog) {
    Log("refused a packet: too much is waiting to go out", nullptr);
    return false;
  }
  AppendLe32(&m_out, length + 1);  // the kind byte and the body
  m_out.push_back(kind);
  m_out.insert(m_out.end(), body, body + length);
  Flush();
  return true;
}

void LoopbackPeer::Flush() {
  while (m_fd >= 0 && m_canSend && m_outSent < m_out.size()) {
    // A far end that has gone must not end this process with SIGPIPE.
    ssize_t n =
        send(m_fd, m_out.data() + m_outSent, m_out.size() - m_outSent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      m_outSent += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      break;
    } else {
      // The far end has gone. What it sent before it went may still be unread, so the
      // connection is only reported lost once reading reaches its end.
      m_canSend = false;
      m_out.clear();
      m_outSent = 0;
      return;
    }
  }
  if (m_outSent == m_out.size()) {
    m_out.clear();
    m_outSent = 0;
  } else if (m_outSent >= kCompactAt) {
    m_out.erase(m_out.begin(), m_out.begin() + static_cast<std::ptrdiff_t>(m_outSent));
    m_outSent = 0;
  }
}

// ---------------------------------------------------------------------------------------------
// Receiving

Packet* LoopbackPeer::Receive() {
  if (m_acceptedPending) {
    m_acceptedPending = false;
    return MakePacket(&ID_CONNECTION_REQUEST_ACCEPTED, 1);
  }
  Flush();
  FrameKind kind;
  std::vector<uint8_t> body;
  while (NextFrame(&kind, &body)) {
    if (kind == kFramePacket) return MakePacket(body.data(), static_cast<uint32_t>(body.size()));
    m_remoteStatic = std::move(body);
    body.clear();
  }
  if (m_lostPending) {
    m_lostPending = false;
    return MakePacket(&ID_CONNECTION_LOST, 1);
  }
  return nullptr;
}

bool LoopbackPeer::NextFrame(FrameKind* kind, std::vector<uint8_t>* body) {
  for (;;) {
    if (TakeFrame(kind, body)) return true;
    if (m_fd < 0 || !ReadSome()) return false;
  }
}

bool LoopbackPeer::ReadSome() {
  uint8_t chunk[kReadChunk];
  for (;;) {
    ssize_t n = recv(m_fd, chunk, sizeof(chunk), MSG_DONTWAIT);
    if (n > 0) {
      m_in.insert(m_in.end(), chunk, chunk + n);
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return false;
    Drop(n == 0 ? nullptr : std::strerror(errno));
    return false;
  }
}

bool LoopbackPeer::WholeFrameWaiting() const {
  return m_in.size() >= 4 && m_in.size() - 4 >= ReadLe32(m_in.data());
}

bool LoopbackPeer::TakeFrame(FrameKind* kind, std::vector<uint8_t>* body) {
  if (m_in.size() < kHeaderSize) return false;
  const uint32_t length = ReadLe32(m_in.data());  // the kind byte and the body
  const uint8_t frameKind = m_in[4];
  const bool sound = (frameKind == kFramePacket && length >= 2 && length - 1 <= kMaxPacketSize) ||
                     (frameKind == kFrameStaticData && length - 1 <= kMaxStaticDataSize);
  if (!sound) {
    Drop("a frame that cannot be one: the stream is out of step");
    return false;
  }
  if (m_in.size() - 4 < length) return false;
  const auto begin = m_in.begin() + kHeaderSize;
  const auto end = m_in.begin() + 4 + length;
  body->assign(begin, end);
  *kind = static_cast<FrameKind>(frameKind);
  m_in.erase(m_in.begin(), end);
  return true;
}

bool LoopbackPeer::WaitReadable(int32_t milliseconds) {
  Flush();
  if (m_acceptedPending || m_lostPending || WholeFrameWaiting()) return true;
  if (m_fd < 0) return false;
  pollfd entry = {m_fd, POLLIN, 0};
  int ready;
  do {
    ready = poll(&entry, 1, milliseconds);
  } while (ready < 0 && errno == EINTR);
  return ready > 0;
}

void LoopbackPeer::Drop(const char* why) {
  if (why) Log("connection dropped", why);
  // The game logs the loss where the player's log is; the first fault is the one that counts.
  if (why && m_fd >= 0) m_lossReason = why;
  if (m_fd >= 0) close(m_fd);
  m_fd = -1;
  m_canSend = false;
  m_lostPending = true;
  m_in.clear();
  m_out.clear();
  m_outSent = 0;
}

// ---------------------------------------------------------------------------------------------
// Packets and static data

Packet* LoopbackPeer::MakePacket(const uint8_t* data, uint32_t length) {
  Packet* packet = new Packet;
  packet->data = new uint8_t[length];
  packet->length = length;
  std::memcpy(packet->data, data, length);
  return packet;
}

void LoopbackPeer::Release(Packet* packet) {
  if (!packet) return;
  delete[] packet->data;
  delete packet;
}

const uint8_t* LoopbackPeer::LocalStaticData(uint32_t* length) const {
  if (length) *length = static_cast<uint32_t>(m_localStatic.size());
  return m_localStatic.empty() ? nullptr : m_localStatic.data();
}

const uint8_t* LoopbackPeer::RemoteStaticData(uint32_t* length) const {
  if (length) *length = static_cast<uint32_t>(m_remoteStatic.size());
  return m_remoteStatic.empty() ? nullptr : m_remoteStatic.data();
}

}  // namespace plat
