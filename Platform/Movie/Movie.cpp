#include "Platform/Movie/Movie.h"

#include "Platform/Movie/FfmpegMovie.h"

namespace plat {
namespace {

MovieDecoder* s_decoder = nullptr;

}  // namespace

MovieDecoder& GetMovieDecoder() { return s_decoder ? *s_decoder : GetFfmpegMovieDecoder(); }
void SetMovieDecoder(MovieDecoder* decoder) { s_decoder = decoder; }

}  // namespace plat
