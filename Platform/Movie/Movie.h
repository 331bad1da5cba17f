#pragma once
// Full-screen movie decoding, behind what the application's movie player needs: open a file,
// ask whether the next frame is due, decode and advance, copy the current frame into the back
// buffer, close.

#include <cstdint>

namespace gfx {
class D3DDevice;
}

namespace plat {

class MovieDecoder {
 public:
  virtual ~MovieDecoder() = default;
  // Null on failure; the reason is then in LastError().
  virtual void* Open(const char* path) = 0;
  virtual void Close(void* movie) = 0;
  // 1 when the next frame is due (the movie's own clock).
  virtual int32_t FrameDue(void* movie) = 0;
  // Decodes the next frame; 0 when the movie has ended. LastError() is then empty when the
  // movie simply ran out of frames, and says why when a broken file could not go on.
  virtual int32_t DecodeNextFrame(void* movie) = 0;
  // Copies the current frame, scaled to fit, into the back buffer of `device`.
  virtual void CopyToBackBuffer(void* movie, gfx::D3DDevice* device) = 0;
  virtual const char* LastError() = 0;
};

MovieDecoder& GetMovieDecoder();
// Installs a decoder (null restores the built-in one). The caller keeps ownership.
void SetMovieDecoder(MovieDecoder* decoder);

}  // namespace plat
