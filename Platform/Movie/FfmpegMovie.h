#pragma once
// The built-in movie decoder, over FFmpeg: whatever container and codecs FFmpeg reads, whatever
// the file is called.

#include <cstdint>

#include "Platform/Movie/Movie.h"

namespace plat {

MovieDecoder& GetFfmpegMovieDecoder();

// Movies opened and not yet closed (tests check that closing lets everything go).
int32_t LiveFfmpegMovies();

}  // namespace plat
