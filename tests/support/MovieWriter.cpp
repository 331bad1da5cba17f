#include "tests/support/MovieWriter.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <numbers>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswscale/swscale.h>
}

namespace moviewriter {
namespace {

std::string Reason(const char* what, int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return std::string(what) + ": " + text;
}

constexpr AVColorSpace kStandInMatrix = AVCOL_SPC_BT470BG;

// Puts `matrix` in the place of the stand-in in the container's colour element: its
// MatrixCoefficients, a one-byte number (element id 0x55B1, size 0x81).
bool StateColourMatrix(const std::string& path, int matrix, std::string* error) {
  std::vector<char> bytes;
  {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const char element[] = {'\x55', '\xB1', '\x81', static_cast<char>(kStandInMatrix)};
  auto at = std::search(bytes.begin(), bytes.end(), std::begin(element), std::end(element));
  if (at == bytes.end()) {
    *error = "no colour matrix in the container";
    return false;
  }
  at[3] = static_cast<char>(matrix);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) *error = "cannot state the colour matrix";
  return static_cast<bool>(out);
}

const char* MuxerName(Container container) {
  switch (container) {
    case Container::Avi:
      return "avi";
    case Container::Nut:
      return "nut";
    default:
      return "matroska";
  }
}

// The muxer context and its file; the file is closed before the context goes.
struct Output {
  AVFormatContext* format = nullptr;
  ~Output() {
    if (format && format->pb) avio_closep(&format->pb);
    avformat_free_context(format);
  }
};

struct Encoder {
  AVCodecContext* context = nullptr;
  AVStream* stream = nullptr;
  ~Encoder() { avcodec_free_context(&context); }
};

struct Scratch {
  AVFrame* frame = av_frame_alloc();
  AVFrame* rgb = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  SwsContext* scaler = nullptr;
  ~Scratch() {
    sws_freeContext(scaler);
    av_packet_free(&packet);
    av_frame_free(&rgb);
    av_frame_free(&frame);
  }
};

bool OpenEncoder(AVFormatContext* format, AVCodecContext* context, Encoder* encoder,
                 std::string* error) {
  encoder->context = context;
  if (format->oformat->flags & AVFMT_GLOBALHEADER) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  int result = avcodec_open2(context, context->codec, nullptr);
  if (result < 0) {
    *error = Reason("cannot open the encoder", result);
    return false;
  }
  encoder->stream = avformat_new_stream(format, nullptr);
  if (!encoder->stream) {
    *error = "cannot add a stream";
    return false;
  }
  encoder->stream->time_base = context->time_base;
  result = avcodec_parameters_from_context(encoder->stream->codecpar, context);
  if (result < 0) *error = Reason("cannot describe the stream", result);
  return result >= 0;
}

bool OpenVideo(AVFormatContext* format, const Movie& movie, Encoder* encoder, std::string* error) {
  const bool mpeg4 = movie.codec == VideoCodec::Mpeg4;
  const AVCodec* codec = avcodec_find_encoder(mpeg4 ? AV_CODEC_ID_MPEG4 : AV_CODEC_ID_FFV1);
  AVCodecContext* context = codec ? avcodec_alloc_context3(codec) : nullptr;
  if (!context) {
    *error = "no video encoder";
    return false;
  }
  context->width = movie.width;
  context->height = movie.height;
  context->time_base = AVRational{1, movie.framesPerSecond};
  context->framerate = AVRational{movie.framesPerSecond, 1};
  context->pix_fmt = mpeg4 ? AV_PIX_FMT_YUV420P : AV_PIX_FMT_0RGB32;
  context->gop_size = 4;
  // A matrix without a name is stated as one with, and its number put in after the muxer.
  if (movie.colourMatrix >= 0) context->colorspace = kStandInMatrix;
  if (mpeg4) {
    // A fine fixed quantiser: solid colours come back within a step or two.
    context->flags |= AV_CODEC_FLAG_QSCALE;
    context->global_quality = FF_QP2LAMBDA * 2;
  }
  return OpenEncoder(format, context, encoder, error);
}

bool OpenSound(AVFormatContext* format, const Movie& movie, Encoder* encoder, std::string* error) {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PCM_S16LE);
  AVCodecContext* context = codec ? avcodec_alloc_context3(codec) : nullptr;
  if (!context) {
    *error = "no sound encoder";
    return false;
  }
  context->sample_fmt = AV_SAMPLE_FMT_S16;
  context->sample_rate = movie.soundRate;
  av_channel_layout_default(&context->ch_layout, movie.soundChannels);
  context->time_base = AVRational{1, movie.soundRate};
  return OpenEncoder(format, context, encoder, error);
}

// Sends one frame (null: the end) and writes every packet that comes out.
bool Encode(AVFormatContext* format, Encoder& encoder, AVFrame* frame, AVPacket* packet,
            std::string* error) {
  int result = avcodec_send_frame(encoder.context, frame);
  while (result >= 0) {
    result = avcodec_receive_packet(encoder.context, packet);
    if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
    if (result < 0) break;
    av_packet_rescale_ts(packet, encoder.context->time_base, encoder.stream->time_base);
    packet->stream_index = encoder.stream->index;
    result = av_interleaved_write_frame(format, packet);
  }
  *error = Reason("cannot encode", result);
  return false;
}

bool PaintFrame(const Movie& movie, uint32_t colour, Scratch& scratch) {
  AVFrame* rgb = scratch.rgb;
  for (int y = 0; y < movie.height; ++y) {
    uint8_t* row = rgb->data[0] + static_cast<ptrdiff_t>(y) * rgb->linesize[0];
    for (int x = 0; x < movie.width; ++x) {
      row[3 * x] = static_cast<uint8_t>(colour >> 16);
      row[3 * x + 1] = static_cast<uint8_t>(colour >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(colour);
    }
  }
  if (av_frame_make_writable(scratch.frame) < 0) return false;
  return sws_scale(scratch.scaler, rgb->data, rgb->linesize, 0, movie.height, scratch.frame->data,
                   scratch.frame->linesize) == movie.height;
}

// The samples that go with picture `index`: a run of the tone, the same in every channel.
bool SoundFor(const Movie& movie, const Encoder& sound, int index, AVFrame* frame) {
  const int64_t first = static_cast<int64_t>(index) * movie.soundRate / movie.framesPerSecond;
  const int64_t end = static_cast<int64_t>(index + 1) * movie.soundRate / movie.framesPerSecond;
  const int64_t start =
      static_cast<int64_t>(movie.firstFrame) * movie.soundRate / movie.framesPerSecond;
  av_frame_unref(frame);
  frame->format = AV_SAMPLE_FMT_S16;
  frame->sample_rate = movie.soundRate;
  frame->nb_samples = static_cast<int>(end - first);
  frame->pts = start + first;
  if (av_channel_layout_copy(&frame->ch_layout, &sound.context->ch_layout) < 0 ||
      av_frame_get_buffer(frame, 0) < 0) {
    return false;
  }
  int16_t* samples = reinterpret_cast<int16_t*>(frame->data[0]);
  for (int64_t n = first; n < end; ++n) {
    const double phase =
        2.0 * std::numbers::pi * movie.toneHertz * static_cast<double>(n) / movie.soundRate;
    const int16_t value = static_cast<int16_t>(std::lround(16000.0 * std::sin(phase)));
    for (int c = 0; c < movie.soundChannels; ++c) *samples++ = value;
  }
  return true;
}

bool WriteStreams(AVFormatContext* format, const Movie& movie, Encoder& video, Encoder* sound,
                  std::string* error) {
  Scratch scratch;
  if (!scratch.frame || !scratch.rgb || !scratch.packet) {
    *error = "out of memory";
    return false;
  }
  scratch.frame->format = video.context->pix_fmt;
  scratch.frame->width = movie.width;
  scratch.frame->height = movie.height;
  scratch.rgb->format = AV_PIX_FMT_RGB24;
  scratch.rgb->width = movie.width;
  scratch.rgb->height = movie.height;
  scratch.scaler =
      sws_getContext(movie.width, movie.height, AV_PIX_FMT_RGB24, movie.width, movie.height,
                     video.context->pix_fmt, SWS_POINT, nullptr, nullptr, nullptr);
  AVFrame* samples = av_frame_alloc();
  const bool ready = scratch.scaler && samples && av_frame_get_buffer(scratch.frame, 0) >= 0 &&
                     av_frame_get_buffer(scratch.rgb, 0) >= 0;
  bool ok = ready;
  if (!ready) *error = "cannot make the frames";
  for (size_t i = 0; ok && i < movie.frameColours.size(); ++i) {
    ok = PaintFrame(movie, movie.frameColours[i], scratch);
    if (!ok) *error = "cannot paint a frame";
    scratch.frame->pts = movie.firstFrame + static_cast<int64_t>(i);
    ok = ok && Encode(format, video, scratch.frame, scratch.packet, error);
    if (ok && sound) {
      ok = SoundFor(movie, *sound, static_cast<int>(i), samples) &&
           Encode(format, *sound, samples, scratch.packet, error);
    }
  }
  av_frame_free(&samples);
  ok = ok && Encode(format, video, nullptr, scratch.packet, error);
  if (ok && sound) ok = Encode(format, *sound, nullptr, scratch.packet, error);
  return ok;
}

}  // namespace

bool WriteMovie(const std::string& path, const Movie& movie, std::string* error) {
  std::string ignored;
  if (!error) error = &ignored;
  Output output;
  int result =
      avformat_alloc_output_context2(&output.format, nullptr, MuxerName(movie.container), nullptr);
  if (result < 0) {
    *error = Reason("no muxer", result);
    return false;
  }
  Encoder video;
  Encoder sound;
  const bool withSound = movie.soundRate > 0;
  if (!OpenVideo(output.format, movie, &video, error)) return false;
  if (withSound && !OpenSound(output.format, movie, &sound, error)) return false;
  result = avio_open(&output.format->pb, path.c_str(), AVIO_FLAG_WRITE);
  if (result < 0) {
    *error = Reason("cannot create the file", result);
    return false;
  }
  const bool stateMatrix = movie.colourMatrix >= 0;
  if (stateMatrix && (movie.container != Container::Matroska || movie.colourMatrix > 255)) {
    *error = "a colour matrix is stated only by Matroska, in one byte";
    return false;
  }
  AVDictionary* options = nullptr;
  // The changed byte must not break a checksum.
  if (stateMatrix) av_dict_set(&options, "write_crc32", "0", 0);
  result = avformat_write_header(output.format, &options);
  av_dict_free(&options);
  if (result < 0) {
    *error = Reason("cannot write the header", result);
    return false;
  }
  if (!WriteStreams(output.format, movie, video, withSound ? &sound : nullptr, error)) return false;
  result = av_write_trailer(output.format);
  if (result < 0) {
    *error = Reason("cannot finish the file", result);
    return false;
  }
  if (!stateMatrix) return true;
  avio_closep(&output.format->pb);
  return StateColourMatrix(path, movie.colourMatrix, error);
}

}  // namespace moviewriter
