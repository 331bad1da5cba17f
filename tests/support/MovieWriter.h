#pragma once
// Short movie files for the tests, written with FFmpeg's own encoders: frames of one solid colour
// each at a fixed rate, and optionally a sine tone as the sound track. The game's movies are in a
// format FFmpeg reads but cannot write, so the tests use the codecs and containers below; the
// player must not care which it gets, nor what the file is called.

#include <cstdint>
#include <string>
#include <vector>

namespace moviewriter {

enum class VideoCodec {
  Mpeg4,  // MPEG-4 part 2 in YUV 4:2:0, as the game's movies are
  Ffv1,   // lossless, in RGB
};

enum class Container { Matroska, Avi, Nut };

struct Movie {
  int width = 160;
  int height = 120;
  int framesPerSecond = 10;
  // Where the streams' timestamps start, in frames: many files do not start at zero.
  int firstFrame = 0;
  // One 0xRRGGBB colour per frame.
  std::vector<uint32_t> frameColours;
  VideoCodec codec = VideoCodec::Mpeg4;
  Container container = Container::Matroska;
  // A sound track of a sine tone as long as the pictures; 0 for none.
  int soundRate = 0;
  int soundChannels = 1;
  double toneHertz = 440.0;
  // The colour matrix the Matroska container states for the pictures (0 to 255, as its field
  // holds); -1 states none. Numbers FFmpeg has no name for are written as they are, since
  // streams in the wild carry them.
  int colourMatrix = -1;
};

// Writes `movie` to the host path `path`. False with FFmpeg's reason in `error` on failure.
bool WriteMovie(const std::string& path, const Movie& movie, std::string* error);

}  // namespace moviewriter
