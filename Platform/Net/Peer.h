#pragma once
// The two-player network peer: one connection to the other machine, carrying whole packets in
// order. The first byte of every packet is its message identifier; the peer keeps the low
// identifiers for its own news (the connection came up, the connection is gone) and the game's
// messages start at ID_FIRST_USER_MESSAGE. Each side may also publish a small block of static
// data (a player name, say) that the other side can read at any time.
//
// The program never makes a peer: the game framework is handed one and only polls it, so every
// operation returns at once.

#include <cstdint>

namespace plat {

// Message identifiers (the first byte of a packet).
constexpr uint8_t ID_CONNECTION_REQUEST_ACCEPTED = 1;  // the first packet of a connection
constexpr uint8_t ID_CONNECTION_LOST = 2;              // the last one: the far end is gone
constexpr uint8_t ID_FIRST_USER_MESSAGE = 32;          // the game's own messages from here up

// One received packet: `length` bytes at `data`, the first of them the identifier. It belongs
// to the peer that returned it until given back through that peer's Release.
struct Packet {
  uint8_t* data = nullptr;
  uint32_t length = 0;
};

class Peer {
 public:
  static constexpr uint32_t kMaxPacketSize = 64 * 1024;
  static constexpr uint32_t kMaxStaticDataSize = 256;

  virtual ~Peer() = default;

  // Queues one packet for the far end, delivered whole and in order. Refused (false) when it is
  // empty or longer than kMaxPacketSize, when its identifier is one the peer keeps for itself,
  // or when there is no connection (or too much is already waiting to go out).
  virtual bool Send(const uint8_t* data, uint32_t length) = 0;
  // The next packet, or null when none has arrived. The connection's own news comes as packets
  // too: ID_CONNECTION_REQUEST_ACCEPTED before anything else, ID_CONNECTION_LOST once, after the
  // last packet the far end sent.
  virtual Packet* Receive() = 0;
  // Gives a packet from Receive back (null is ignored).
  virtual void Release(Packet* packet) = 0;

  // Sets this side's static data (at most kMaxStaticDataSize bytes; false when longer) and sends
  // it to the far end, which sees it from the point in the packet stream where it was set.
  virtual bool SetStaticData(const uint8_t* data, uint32_t length) = 0;
  // This side's block and the far end's block as last received; `length` gets its size (0 for
  // none). The pointer stays valid until the block is next set or received.
  virtual const uint8_t* LocalStaticData(uint32_t* length) const = 0;
  virtual const uint8_t* RemoteStaticData(uint32_t* length) const = 0;

  // True from the connection's start until it is known to be lost (the loss may still be
  // unread, and packets before it too).
  virtual bool IsConnected() const = 0;
  // Why the connection was lost, when the peer knows of a fault (the far end sent bytes that
  // cannot be packets, a read failed); null while connected and after an orderly end.
  virtual const char* LossReason() const { return nullptr; }
};

}  // namespace plat
