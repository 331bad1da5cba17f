#include "tests/support/OggWriter.h"

#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstring>

namespace oggwriter {

namespace {

// Frames handed to the encoder at a time.
constexpr size_t kChunkFrames = 1024;

void Append(std::vector<uint8_t>& out, const ogg_page& page) {
  out.insert(out.end(), page.header, page.header + page.header_len);
  out.insert(out.end(), page.body, page.body + page.body_len);
}

// The libvorbisenc state of one encode, torn down in reverse order of its making.
class Encoder {
 public:
  Encoder() {
    vorbis_info_init(&m_info);
    vorbis_comment_init(&m_comment);
  }
  ~Encoder() {
    if (m_streamReady) ogg_stream_clear(&m_stream);
    if (m_analysisReady) {
      vorbis_block_clear(&m_block);
      vorbis_dsp_clear(&m_dsp);
    }
    vorbis_comment_clear(&m_comment);
    vorbis_info_clear(&m_info);
  }
  Encoder(const Encoder&) = delete;
  Encoder& operator=(const Encoder&) = delete;

  bool Start(int channels, int rate, float quality, int serial, std::vector<uint8_t>& out);
  void Feed(const int16_t* pcm, size_t frames, int channels);
  void Finish() { vorbis_analysis_wrote(&m_dsp, 0); }
  void Drain(std::vector<uint8_t>& out);

 private:
  vorbis_info m_info;
  vorbis_comment m_comment;
  vorbis_dsp_state m_dsp;
  vorbis_block m_block;
  ogg_stream_state m_stream;
  bool m_analysisReady = false;
  bool m_streamReady = false;
};

bool Encoder::Start(int channels, int rate, float quality, int serial, std::vector<uint8_t>& out) {
  if (vorbis_encode_init_vbr(&m_info, channels, rate, quality) != 0) return false;
  vorbis_comment_add_tag(&m_comment, "ENCODER", "pendrake test writer");
  if (vorbis_analysis_init(&m_dsp, &m_info) != 0) return false;
  vorbis_block_init(&m_dsp, &m_block);
  m_analysisReady = true;
  ogg_stream_init(&m_stream, serial);
  m_streamReady = true;

  ogg_packet id, comment, codebooks;
  vorbis_analysis_headerout(&m_dsp, &m_comment, &id, &comment, &codebooks);
  ogg_stream_packetin(&m_stream, &id);
  ogg_stream_packetin(&m_stream, &comment);
  ogg_stream_packetin(&m_stream, &codebooks);
  // Audio starts on a fresh page.
  ogg_page page;
  while (ogg_stream_flush(&m_stream, &page) != 0) Append(out, page);
  return true;
}

void Encoder::Feed(const int16_t* pcm, size_t frames, int channels) {
  float** buffer = vorbis_analysis_buffer(&m_dsp, static_cast<int>(frames));
  for (size_t f = 0; f < frames; ++f)
    for (int c = 0; c < channels; ++c) buffer[c][f] = pcm[f * channels + c] / 32768.0f;
  vorbis_analysis_wrote(&m_dsp, static_cast<int>(frames));
}

void Encoder::Drain(std::vector<uint8_t>& out) {
  ogg_packet packet;
  ogg_page page;
  while (vorbis_analysis_blockout(&m_dsp, &m_block) == 1) {
    vorbis_analysis(&m_block, nullptr);
    vorbis_bitrate_addblock(&m_block);
    while (vorbis_bitrate_flushpacket(&m_dsp, &packet) == 1) {
      ogg_stream_packetin(&m_stream, &packet);
      while (ogg_stream_pageout(&m_stream, &page) != 0) Append(out, page);
    }
  }
  while (ogg_stream_flush(&m_stream, &page) != 0) Append(out, page);
}

}  // namespace

std::vector<uint8_t> EncodeOggVorbis(const int16_t* pcm, size_t frames, int channels, int rate,
                                     float quality, int serial) {
  std::vector<uint8_t> out;
  if ((!pcm && frames) || channels <= 0 || rate <= 0) return out;
  Encoder encoder;
  if (!encoder.Start(channels, rate, quality, serial, out)) return {};
  for (size_t done = 0; done < frames; done += kChunkFrames) {
    const size_t n = frames - done < kChunkFrames ? frames - done : kChunkFrames;
    encoder.Feed(pcm + done * channels, n, channels);
    encoder.Drain(out);
  }
  encoder.Finish();
  encoder.Drain(out);
  return out;
}

std::vector<int16_t> SineTone(double hz, double seconds, int rate, int channels, float amplitude) {
  if (rate <= 0 || channels <= 0 || !(seconds > 0.0)) return {};
  const size_t frames = static_cast<size_t>(std::llround(seconds * rate));
  std::vector<int16_t> pcm(frames * channels);
  const double kTwoPi = 6.283185307179586;
  for (size_t f = 0; f < frames; ++f) {
    const double v = amplitude * 32767.0 * std::sin(kTwoPi * hz * static_cast<double>(f) / rate);
    const auto sample = static_cast<int16_t>(std::lround(v));
    for (int c = 0; c < channels; ++c) pcm[f * channels + c] = sample;
  }
  return pcm;
}

std::vector<size_t> PageOffsets(const std::vector<uint8_t>& image) {
  // A page header is 27 bytes and a segment table; only whole headers count.
  std::vector<size_t> offsets;
  for (size_t at = 0; at + 27 <= image.size(); ++at) {
    if (std::memcmp(&image[at], "OggS", 4) != 0) continue;
    const size_t segments = image[at + 26];
    if (at + 27 + segments > image.size()) break;
    size_t body = 0;
    for (size_t s = 0; s < segments; ++s) body += image[at + 27 + s];
    offsets.push_back(at);
    at += 27 + segments + body - 1;
  }
  return offsets;
}

}  // namespace oggwriter
