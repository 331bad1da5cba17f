#pragma once
// A peer between two processes on one machine, over a Unix-domain stream socket: the two ends
// of a socket pair made before fork (each process keeps one end and deletes the other). Packets
// travel as frames {length (4 bytes, little-endian), kind (1 byte), body}; the socket is
// non-blocking, so Send queues what the socket will not take yet and every call moves the queue
// on (what is still queued when the peer is deleted is lost). A frame that cannot be one (no
// body, too long, an unknown kind) means the stream is no longer trustworthy: the connection is
// dropped and reported lost, and the far end sees it go.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Platform/Net/Peer.h"

namespace plat {

class LoopbackPeer : public Peer {
 public:
  // At most this much may wait to go out before Send refuses more.
  static constexpr uint32_t kMaxBacklog = 1024 * 1024;

  // Takes over one end of a connected stream socket (closed on destruction); -1 makes a peer
  // that was never connected.
  explicit LoopbackPeer(int fd);
  ~LoopbackPeer() override;
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  // Two connected ends; false (both left null) when the socket pair cannot be made.
  static bool CreatePair(std::unique_ptr<LoopbackPeer>* first,
                         std::unique_ptr<LoopbackPeer>* second);

  bool Send(const uint8_t* data, uint32_t length) override;
  Packet* Receive() override;
  void Release(Packet* packet) override;
  bool SetStaticData(const uint8_t* data, uint32_t length) override;
  const uint8_t* LocalStaticData(uint32_t* length) const override;
  const uint8_t* RemoteStaticData(uint32_t* length) const override;
  bool IsConnected() const override { return m_fd >= 0 && m_canSend; }
  const char* LossReason() const override {
    return m_lossReason.empty() ? nullptr : m_lossReason.c_str();
  }

  // Waits up to `milliseconds` for something Receive would return; true when there may be.
  // (The game polls once per frame; tests that run two sides flat out wait here instead of
  // spinning.)
  bool WaitReadable(int32_t milliseconds);

 private:
  enum FrameKind : uint8_t { kFramePacket = 0, kFrameStaticData = 1 };
  static constexpr uint32_t kHeaderSize = 5;

  bool QueueFrame(FrameKind kind, const uint8_t* body, uint32_t length);
  void Flush();
  // Reads until a whole frame has come in (or nothing more is there); false when none has.
  bool NextFrame(FrameKind* kind, std::vector<uint8_t>* body);
  // One read of what has arrived; false when nothing has (or the connection ended).
  bool ReadSome();
  // The frame at the front of the input, once it is whole; an unsound header drops the
  // connection.
  bool TakeFrame(FrameKind* kind, std::vector<uint8_t>* body);
  bool WholeFrameWaiting() const;
  // Closes the socket; the loss is reported after the packets already taken in. `why` (null for
  // an orderly end) goes to the log.
  void Drop(const char* why);
  static Packet* MakePacket(const uint8_t* data, uint32_t length);

  int m_fd = -1;
  bool m_canSend = true;  // false once a write found the far end gone
  bool m_acceptedPending = false;
  bool m_lostPending = false;
  std::vector<uint8_t> m_out;
  size_t m_outSent = 0;  // bytes of m_out already written
  std::vector<uint8_t> m_in;
  std::vector<uint8_t> m_localStatic;
  std::vector<uint8_t> m_remoteStatic;
  std::string m_lossReason;
};

}  // namespace plat
