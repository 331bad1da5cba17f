// The two-player link's record stream: what arrives from the other machine, cut into packets,
// each decoded as an input record; a record that is accepted must come out of its encoding the
// same, or the two machines would read one tick's input differently.

#include <cstdlib>
#include <cstring>

#include "Engine/CRC32.h"
#include "Game/Multiplayer/PC/TwoPlayerLink.h"
#include "tests/fuzz/FuzzTarget.h"

namespace {

using Record = TwoPlayerLink::InputRecord;

bool Same(const Record& a, const Record& b) {
  return a.id == b.id && a.session == b.session && a.frame == b.frame && a.held == b.held &&
         a.pressed == b.pressed && a.stateHash == b.stateHash && a.randomState == b.randomState;
}

// A stream of packets, each a length byte and that many bytes.
void AppendPacket(std::vector<uint8_t>& stream, const uint8_t* bytes, size_t length) {
  stream.push_back(static_cast<uint8_t>(length));
  stream.insert(stream.end(), bytes, bytes + length);
}

void Decode(const std::vector<uint8_t>& packet) {
  Record record;
  if (!TwoPlayerLink::DecodeRecord(packet.data(), static_cast<uint32_t>(packet.size()), &record))
    return;
  uint8_t encoded[TwoPlayerLink::kRecordSize];
  TwoPlayerLink::EncodeRecord(record, encoded);
  Record again;
  if (!TwoPlayerLink::DecodeRecord(encoded, sizeof(encoded), &again) || !Same(record, again))
    std::abort();
}

}  // namespace

std::vector<FuzzSeed> FuzzSeeds() {
  std::vector<uint8_t> stream;
  for (uint32_t frame = 0; frame < 4; ++frame) {
    Record record;
    record.session = 3;
    record.frame = frame;
    record.held = 0x2000u << frame;
    record.pressed = frame == 2 ? 0x2000u : 0;
    record.stateHash = 0x9E3779B9u * frame;
    record.randomState = 1013904223u + frame;
    uint8_t bytes[TwoPlayerLink::kRecordSize];
    TwoPlayerLink::EncodeRecord(record, bytes);
    AppendPacket(stream, bytes, sizeof(bytes));
  }
  const uint8_t stop[TwoPlayerLink::kStopSize] = {TwoPlayerLink::kMsgStop, 3, 0, 0, 7, 0, 0, 0};
  AppendPacket(stream, stop, sizeof(stop));
  return {{"four-ticks.bin", stream}};
}

bool FuzzSetUp() { return true; }

void FuzzOne(const uint8_t* data, size_t size) {
  size_t at = 0;
  while (at < size) {
    const size_t length = data[at] < size - at - 1 ? data[at] : size - at - 1;
    // Each packet in a block of its own size, so that a read past its end is caught.
    std::vector<uint8_t> packet(data + at + 1, data + at + 1 + length);
    at += 1 + length;
    Decode(packet);
    // A record with its checksum put right, so that the fields behind the check get fuzzed too.
    if (packet.size() == TwoPlayerLink::kRecordSize) {
      const uint32_t checksum = CRC32::Compute(packet.data(), TwoPlayerLink::kRecordSize - 4);
      std::memcpy(&packet[TwoPlayerLink::kRecordSize - 4], &checksum, sizeof(checksum));
      Decode(packet);
    }
  }
}
