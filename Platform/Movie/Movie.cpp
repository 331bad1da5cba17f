#include "Platform/Movie/Movie.h"

#include <cstdio>

namespace plat {
namespace {

// Until a real decoder is built in, every movie fails to open with a reason the log can show,
// and the player treats it as ended.
class UnavailableDecoder final : public MovieDecoder {
 public:
  void* Open(const char* path) override {
    std::snprintf(m_error, sizeof(m_error), "Cannot open movie %s: no movie decoder in this build",
                  path ? path : "(null)");
    return nullptr;
  }
  void Close(void*) override {}
  int32_t FrameDue(void*) override { return 0; }
  int32_t DecodeNextFrame(void*) override { return 0; }
  void CopyToBackBuffer(void*) override {}
  const char* LastError() override { return m_error; }

 private:
  char m_error[512] = "";
};

UnavailableDecoder s_unavailable;
MovieDecoder* s_decoder = nullptr;

}  // namespace

MovieDecoder& GetMovieDecoder() { return s_decoder ? *s_decoder : s_unavailable; }
void SetMovieDecoder(MovieDecoder* decoder) { s_decoder = decoder; }

}  // namespace plat
