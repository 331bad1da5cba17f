#pragma once
// Ogg Vorbis file images for tests and for the demo data's music, encoded with libvorbisenc. The
// three header packets sit on pages of their own, so a file cut before the first audio page
// holds headers only. The same input always gives the same bytes.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace oggwriter {

constexpr int kDefaultSerial = 0x5052414B;

// Interleaved 16-bit samples, `frames` frames of `channels` each, encoded at a VBR quality of
// -0.1 .. 1. Empty when libvorbisenc refuses the layout. Files of different serials can be
// joined into a chained file.
std::vector<uint8_t> EncodeOggVorbis(const int16_t* pcm, size_t frames, int channels, int rate,
                                     float quality = 0.4f, int serial = kDefaultSerial);

// A sine tone starting at phase 0, the same on every channel, amplitude 0..1 of full scale.
std::vector<int16_t> SineTone(double hz, double seconds, int rate, int channels, float amplitude);

// Byte offsets of the pages ("OggS" and a valid header length) of a file image, in order.
std::vector<size_t> PageOffsets(const std::vector<uint8_t>& image);

}  // namespace oggwriter
