#pragma once
// The WAV reader: finds the format and the sample data of a RIFF WAVE file held in memory.
// Only plain PCM is read (8-bit unsigned or 16-bit signed, mono or stereo, any rate the mixer
// takes); anything else is refused with a "SOUND" log line.

#include <cstddef>
#include <cstdint>

#include "Platform/Audio/Audio.h"

namespace Torvid_lib {

struct tWavInfo {
  plat::PcmFormat format;
  // Offset and length of the sample data inside the given bytes; the length is whole frames.
  uint32_t dataOffset = 0;
  uint32_t dataBytes = 0;
  uint32_t frames = 0;
};

// Reads the WAVE file in bytes [0, size). `name` names it in log lines. False (with one log
// line) when it is not a PCM WAVE file the mixer can play, or any chunk runs past the end.
bool tReadWav(const void* bytes, size_t size, const char* name, tWavInfo* out);

}  // namespace Torvid_lib
