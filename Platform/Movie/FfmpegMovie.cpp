#include "Platform/Movie/FfmpegMovie.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "Platform/Audio/Audio.h"
#include "Platform/Gfx/D3D.h"
#include "Platform/Gfx/D3DDeviceGl.h"
#include "Platform/Gfx/SurfaceGl.h"
#include "Platform/System/HostPath.h"
#include "Platform/System/System.h"

namespace plat {
namespace {

// The movie's clock counts microseconds from the moment its first frame went up.
constexpr int64_t kSecond = 1000000;
constexpr AVRational kClockBase{1, 1000000};
// How long a frame stays up when neither it nor its stream says.
constexpr int64_t kFallbackFrame = kSecond / 25;
// A broken timestamp must not hold one picture on screen for hours.
constexpr int64_t kLongestFrame = 10 * kSecond;
// The mixer's ring for the sound, and how much decoded sound may wait behind it. A mixer that does
// not play (no sound device) never empties the ring; what waits beyond the cap is dropped, oldest
// first, so that the sound that does play stays near the pictures.
constexpr uint32_t kSoundRingFrames = kMixRate / 2;
constexpr size_t kMostWaitingSound = static_cast<size_t>(kMixRate) * 2;
// Picture packets read ahead while looking for sound: a file whose sound lies far from its
// pictures is not read into memory whole.
constexpr size_t kMostQueuedPictures = 64;
constexpr uint32_t kBlack = 0xFF000000u;

struct FormatCloser {
  void operator()(AVFormatContext* format) const { avformat_close_input(&format); }
};
struct CodecFreer {
  void operator()(AVCodecContext* codec) const { avcodec_free_context(&codec); }
};
struct FrameFreer {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFreer {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScalerFreer {
  void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
};
struct ResamplerFreer {
  void operator()(SwrContext* resampler) const { swr_free(&resampler); }
};
using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerFreer>;
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerFreer>;

int32_t s_liveMovies = 0;

struct Movie {
  Movie() = default;
  Movie(const Movie&) = delete;
  Movie& operator=(const Movie&) = delete;
  ~Movie() {
    // The mixer reads the ring until the voice is gone.
    if (voice != kNoVoice) GetAudioMixer().DestroyVoice(voice);
    av_channel_layout_uninit(&soundLayout);
  }

  std::string path;  // the program's name for it, for messages
  FormatPtr format;
  PacketPtr packet;
  bool inputEnded = false;
  int inputError = 0;  // a read error, reported once the pictures run out

  int videoStream = -1;
  AVRational videoTimeBase{1, 1};
  CodecPtr video;
  std::deque<PacketPtr> videoPackets;
  bool videoDraining = false;
  int decodeError = 0;
  int64_t usualFrame = kFallbackFrame;

  // The frame on screen and the one after it, decoded ahead so that its time is known.
  FramePtr current;
  FramePtr next;
  bool haveCurrent = false;
  bool haveNext = false;
  int64_t firstPts = AV_NOPTS_VALUE;
  int64_t currentTime = 0;
  int64_t currentEnd = 0;
  int64_t nextTime = 0;

  bool started = false;
  int64_t clockStart = 0;
  int64_t clockFrequency = 0;  // 0: the clock is the tick count

  // The current frame as the back buffer wants it.
  ScalerPtr scaler;
  std::vector<uint32_t> picture;
  int pictureWidth = 0;
  int pictureHeight = 0;
  bool pictureStale = true;

  int soundStream = -1;
  CodecPtr sound;
  FramePtr soundFrame;
  bool soundDrained = false;
  ResamplerPtr resampler;
  // What the resampler was made for.
  int soundFormat = -1;
  int soundRate = 0;
  AVChannelLayout soundLayout{};
  AudioVoice voice = kNoVoice;
  // Interleaved stereo samples not yet taken by the ring, from `waitingStart` on.
  std::vector<int16_t> waiting;
  size_t waitingStart = 0;
};

// ---- The clock.

void StartClock(Movie& movie) {
  System& system = GetSystem();
  int64_t frequency = 0;
  int64_t now = 0;
  if (system.QueryPerformanceFrequency(&frequency) && frequency > 0 &&
      system.QueryPerformanceCounter(&now)) {
    movie.clockFrequency = frequency;
    movie.clockStart = now;
  } else {
    movie.clockFrequency = 0;
    movie.clockStart = system.GetTickCount();
  }
  movie.started = true;
}

int64_t Elapsed(const Movie& movie) {
  System& system = GetSystem();
  int64_t now = 0;
  if (movie.clockFrequency > 0 && system.QueryPerformanceCounter(&now)) {
    return av_rescale(now - movie.clockStart, kSecond, movie.clockFrequency);
  }
  const uint32_t since = system.GetTickCount() - static_cast<uint32_t>(movie.clockStart);
  return static_cast<int64_t>(since) * 1000;
}

// Where a decoded frame sits on the movie's clock, by its own timestamp: never before the frame
// on screen, never long after it, and where it has none, where the frame on screen ends.
int64_t TimeOf(Movie& movie, const AVFrame* frame, int64_t earliest, int64_t fallback) {
  int64_t pts = frame->best_effort_timestamp;
  if (pts == AV_NOPTS_VALUE) pts = frame->pts;
  int64_t time = fallback;
  if (pts != AV_NOPTS_VALUE) {
    if (movie.firstPts == AV_NOPTS_VALUE) movie.firstPts = pts;
    int64_t offset = 0;
    if (!__builtin_sub_overflow(pts, movie.firstPts, &offset)) {
      time = av_rescale_q(offset, movie.videoTimeBase, kClockBase);
    }
  }
  return std::clamp(time, earliest, earliest + kLongestFrame);
}

int64_t DurationOf(const Movie& movie, const AVFrame* frame) {
  int64_t duration = movie.usualFrame;
  if (frame->pkt_duration > 0) {
    duration = av_rescale_q(frame->pkt_duration, movie.videoTimeBase, kClockBase);
  }
  return std::clamp<int64_t>(duration, 1, kLongestFrame);
}

// ---- Sound: decoded as its packets are read, resampled to the mixer's layout, and queued into
// the voice's ring as far as it takes it.

bool ResamplerFits(Movie& movie, const AVFrame* frame) {
  if (movie.resampler && frame->format == movie.soundFormat &&
      frame->sample_rate == movie.soundRate &&
      av_channel_layout_compare(&frame->ch_layout, &movie.soundLayout) == 0) {
    return true;
  }
  movie.resampler.reset();
  av_channel_layout_uninit(&movie.soundLayout);
  AVChannelLayout in{};
  if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
    av_channel_layout_default(&in, frame->ch_layout.nb_channels);
  } else if (av_channel_layout_copy(&in, &frame->ch_layout) < 0) {
    return false;
  }
  AVChannelLayout out{};
  av_channel_layout_default(&out, kMixChannels);
  SwrContext* made = nullptr;
  int result = swr_alloc_set_opts2(&made, &out, AV_SAMPLE_FMT_S16, kMixRate, &in,
                                   static_cast<AVSampleFormat>(frame->format), frame->sample_rate,
                                   0, nullptr);
  if (result >= 0) result = swr_init(made);
  av_channel_layout_uninit(&in);
  av_channel_layout_uninit(&out);
  ResamplerPtr resampler(made);
  if (result < 0 || av_channel_layout_copy(&movie.soundLayout, &frame->ch_layout) < 0) return false;
  movie.resampler = std::move(resampler);
  movie.soundFormat = frame->format;
  movie.soundRate = frame->sample_rate;
  return true;
}

// Resamples `count` input samples (none: what the resampler still holds) onto the waiting sound.
void Resample(Movie& movie, const uint8_t** in, int count) {
  const int room = swr_get_out_samples(movie.resampler.get(), count);
  if (room <= 0) return;
  const size_t before = movie.waiting.size();
  movie.waiting.resize(before + static_cast<size_t>(room) * kMixChannels);
  uint8_t* out = reinterpret_cast<uint8_t*>(movie.waiting.data() + before);
  const int made = swr_convert(movie.resampler.get(), &out, room, in, count);
  movie.waiting.resize(before + static_cast<size_t>(std::max(made, 0)) * kMixChannels);
  const size_t frames = (movie.waiting.size() - movie.waitingStart) / kMixChannels;
  if (frames > kMostWaitingSound) movie.waitingStart += (frames - kMostWaitingSound) * kMixChannels;
}

// Decodes one sound packet (null: drains the decoder). A damaged packet is skipped: the
// pictures go on, at worst with a gap in the sound.
void DecodeSound(Movie& movie, const AVPacket* packet) {
  if (avcodec_send_packet(movie.sound.get(), packet) < 0) return;
  AVFrame* frame = movie.soundFrame.get();
  while (avcodec_receive_frame(movie.sound.get(), frame) >= 0) {
    if (ResamplerFits(movie, frame)) {
      Resample(movie, const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
    }
    av_frame_unref(frame);
  }
}

void DrainSound(Movie& movie) {
  if (!movie.sound || movie.soundDrained) return;
  movie.soundDrained = true;
  DecodeSound(movie, nullptr);
  if (movie.resampler) Resample(movie, nullptr, 0);
}

void FeedSound(Movie& movie) {
  if (movie.voice == kNoVoice) return;
  const size_t frames = (movie.waiting.size() - movie.waitingStart) / kMixChannels;
  if (frames > 0) {
    const uint32_t offered = static_cast<uint32_t>(std::min<size_t>(frames, UINT32_MAX));
    const uint32_t took = GetAudioMixer().StreamWrite(
        movie.voice, movie.waiting.data() + movie.waitingStart, offered);
    movie.waitingStart += std::min(took, offered) * static_cast<size_t>(kMixChannels);
  }
  if (movie.waitingStart == movie.waiting.size()) {
    movie.waiting.clear();
    movie.waitingStart = 0;
  } else if (movie.waitingStart * 2 >= movie.waiting.size()) {
    movie.waiting.erase(movie.waiting.begin(),
                        movie.waiting.begin() + static_cast<ptrdiff_t>(movie.waitingStart));
    movie.waitingStart = 0;
  }
}

// ---- Reading and decoding pictures.

// Reads one packet: pictures wait in a queue for their decoder, sound is decoded at once. False
// at the end of the input.
bool ReadPacket(Movie& movie) {
  if (movie.inputEnded) return false;
  AVPacket* packet = movie.packet.get();
  const int result = av_read_frame(movie.format.get(), packet);
  if (result < 0) {
    movie.inputEnded = true;
    if (result != AVERROR_EOF) movie.inputError = result;
    DrainSound(movie);
    return false;
  }
  if (packet->stream_index == movie.videoStream) {
    PacketPtr queued(av_packet_alloc());
    if (queued) {
      av_packet_move_ref(queued.get(), packet);
      movie.videoPackets.push_back(std::move(queued));
    } else {
      movie.inputEnded = true;
      movie.inputError = AVERROR(ENOMEM);
    }
  } else if (packet->stream_index == movie.soundStream) {
    DecodeSound(movie, packet);
  }
  av_packet_unref(packet);
  return true;
}

// Keeps the ring full, reading ahead when the sound waiting has run dry.
void KeepSoundFed(Movie& movie) {
  if (movie.voice == kNoVoice) return;
  FeedSound(movie);
  AudioMixer& mixer = GetAudioMixer();
  while (movie.waitingStart == movie.waiting.size() && !movie.inputEnded &&
         movie.videoPackets.size() < kMostQueuedPictures && mixer.StreamFree(movie.voice) > 0) {
    if (!ReadPacket(movie)) break;
    FeedSound(movie);
  }
}

bool Usable(const AVFrame* frame) {
  return frame->width > 0 && frame->height > 0 &&
         sws_isSupportedInput(static_cast<AVPixelFormat>(frame->format)) > 0;
}

// 1 with the next picture in `frame`, 0 when there are no more; decoding errors end the pictures
// too, with the reason kept for the end.
int DecodePicture(Movie& movie, AVFrame* frame) {
  for (;;) {
    int result = avcodec_receive_frame(movie.video.get(), frame);
    if (result >= 0) {
      if (Usable(frame)) return 1;
      av_frame_unref(frame);
      movie.decodeError = AVERROR_INVALIDDATA;
      return 0;
    }
    if (result == AVERROR_EOF || movie.videoDraining) return 0;
    if (result != AVERROR(EAGAIN)) {
      movie.decodeError = result;
      return 0;
    }
    while (movie.videoPackets.empty() && ReadPacket(movie)) {
    }
    PacketPtr packet;
    if (movie.videoPackets.empty()) {
      // The input is over: a null packet has the decoder give up the frames it holds back.
      movie.videoDraining = true;
    } else {
      packet = std::move(movie.videoPackets.front());
      movie.videoPackets.pop_front();
    }
    result = avcodec_send_packet(movie.video.get(), packet.get());
    if (result < 0 && result != AVERROR_EOF) {
      movie.decodeError = result;
      return 0;
    }
  }
}

// ---- The picture in the back buffer.

void SetColourDetails(SwsContext* scaler, const AVFrame* frame) {
  int* inverse = nullptr;
  int* table = nullptr;
  int sourceRange = 0;
  int destRange = 0;
  int brightness = 0;
  int contrast = 0;
  int saturation = 0;
  if (sws_getColorspaceDetails(scaler, &inverse, &sourceRange, &table, &destRange, &brightness,
                               &contrast, &saturation) < 0) {
    return;
  }
  // Streams carry any byte here, not only the names FFmpeg knows: the value is read as the
  // number it is, and one without a name of its own gets the default matrix.
  int value = 0;
  static_assert(sizeof(frame->colorspace) == sizeof(value), "the colour space is an int");
  std::memcpy(&value, &frame->colorspace, sizeof(value));
  int space = SWS_CS_DEFAULT;
  switch (value) {
    case AVCOL_SPC_BT709:
      space = SWS_CS_ITU709;
      break;
    case AVCOL_SPC_FCC:
      space = SWS_CS_FCC;
      break;
    case AVCOL_SPC_SMPTE240M:
      space = SWS_CS_SMPTE240M;
      break;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
      space = SWS_CS_BT2020;
      break;
    default:
      break;
  }
  // Unspecified keeps what the scaler took from the pixel format (the "J" formats are full range).
  int range = 0;
  static_assert(sizeof(frame->color_range) == sizeof(range), "the range is an int");
  std::memcpy(&range, &frame->color_range, sizeof(range));
  if (range == AVCOL_RANGE_JPEG) sourceRange = 1;
  if (range == AVCOL_RANGE_MPEG) sourceRange = 0;
  sws_setColorspaceDetails(scaler, sws_getCoefficients(space), sourceRange, table, destRange,
                           brightness, contrast, saturation);
}

// The current frame scaled to fit `width` x `height` with its own shape, centred on black.
void Compose(Movie& movie, int width, int height) {
  movie.picture.assign(static_cast<size_t>(width) * height, kBlack);
  movie.pictureWidth = width;
  movie.pictureHeight = height;
  movie.pictureStale = false;
  const AVFrame* frame = movie.current.get();
  AVRational pixelShape = frame->sample_aspect_ratio;
  if (pixelShape.num <= 0 || pixelShape.den <= 0) pixelShape = AVRational{1, 1};
  const int64_t shownWidth = static_cast<int64_t>(frame->width) * pixelShape.num;
  const int64_t shownHeight = static_cast<int64_t>(frame->height) * pixelShape.den;
  int64_t fitWidth = width;
  int64_t fitHeight = height;
  if (width * shownHeight > height * shownWidth) {
    fitWidth = av_rescale(height, shownWidth, shownHeight);  // narrower: bars left and right
  } else {
    fitHeight = av_rescale(width, shownHeight, shownWidth);  // wider: bars above and below
  }
  fitWidth = std::clamp<int64_t>(fitWidth, 1, width);
  fitHeight = std::clamp<int64_t>(fitHeight, 1, height);
  movie.scaler.reset(sws_getCachedContext(
      movie.scaler.release(), frame->width, frame->height,
      static_cast<AVPixelFormat>(frame->format), static_cast<int>(fitWidth),
      static_cast<int>(fitHeight), AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr));
  if (!movie.scaler) return;
  SetColourDetails(movie.scaler.get(), frame);
  const size_t left = static_cast<size_t>(width - fitWidth) / 2;
  const size_t top = static_cast<size_t>(height - fitHeight) / 2;
  uint8_t* dest[4] = {reinterpret_cast<uint8_t*>(movie.picture.data() + top * width + left)};
  const int destStride[4] = {width * 4};
  sws_scale(movie.scaler.get(), frame->data, frame->linesize, 0, frame->height, dest, destStride);
}

void Upload(GLuint texture, int width, int height, const uint32_t* pixels) {
  GLint previous = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
  glBindTexture(GL_TEXTURE_2D, texture);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  // 0xAARRGGBB words, top row first: the order the back buffer keeps its rows in.
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                  pixels);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
}

// ---- Opening.

int OpenDecoder(AVFormatContext* format, int stream, const AVCodec* codec, CodecPtr* decoder) {
  CodecPtr context(avcodec_alloc_context3(codec));
  if (!context) return AVERROR(ENOMEM);
  int result = avcodec_parameters_to_context(context.get(), format->streams[stream]->codecpar);
  if (result < 0) return result;
  context->pkt_timebase = format->streams[stream]->time_base;
  result = avcodec_open2(context.get(), codec, nullptr);
  if (result < 0) return result;
  *decoder = std::move(context);
  return 0;
}

int OpenPictures(Movie& movie) {
  AVFormatContext* format = movie.format.get();
  const AVCodec* codec = nullptr;
  const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
  if (stream < 0) return stream;
  const int result = OpenDecoder(format, stream, codec, &movie.video);
  if (result < 0) return result;
  movie.videoStream = stream;
  AVStream* video = format->streams[stream];
  if (video->time_base.num > 0 && video->time_base.den > 0) movie.videoTimeBase = video->time_base;
  const AVRational rate = av_guess_frame_rate(format, video, nullptr);
  if (rate.num > 0 && rate.den > 0) {
    movie.usualFrame =
        std::clamp<int64_t>(av_rescale(kSecond, rate.den, rate.num), 1, kLongestFrame);
  }
  movie.packet.reset(av_packet_alloc());
  movie.current.reset(av_frame_alloc());
  movie.next.reset(av_frame_alloc());
  if (!movie.packet || !movie.current || !movie.next) return AVERROR(ENOMEM);
  return 0;
}

// The sound needs a decoder and a voice; a movie that cannot have either plays silent.
void OpenSound(Movie& movie) {
  AVFormatContext* format = movie.format.get();
  const AVCodec* codec = nullptr;
  const int stream =
      av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, movie.videoStream, &codec, 0);
  if (stream < 0 || OpenDecoder(format, stream, codec, &movie.sound) < 0) {
    movie.sound.reset();
    return;
  }
  movie.soundFrame.reset(av_frame_alloc());
  const PcmFormat layout{kMixRate, kMixChannels, 16};
  if (movie.soundFrame) movie.voice = GetAudioMixer().CreateStream(layout, kSoundRingFrames);
  if (movie.voice == kNoVoice) {
    movie.sound.reset();
    movie.soundFrame.reset();
    return;
  }
  movie.soundStream = stream;
}

class FfmpegMovieDecoder final : public MovieDecoder {
 public:
  // What ends a movie reaches the log through LastError; FFmpeg's own lines about each damaged
  // block it hides would only bury the program's output.
  FfmpegMovieDecoder() { av_log_set_level(AV_LOG_FATAL); }

  void* Open(const char* path) override {
    const char* name = path ? path : "(null)";
    if (!path) return Refuse("Cannot open movie", name, AVERROR(EINVAL));
    auto movie = std::make_unique<Movie>();
    movie->path = name;
    const std::string host = ::HostPath(path);
    // Movies are local files; a file that names other sources (a playlist) may not reach out.
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    AVFormatContext* format = nullptr;
    int result = avformat_open_input(&format, host.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (result < 0) return Refuse("Cannot open movie", name, result);
    movie->format.reset(format);
    result = avformat_find_stream_info(format, nullptr);
    if (result >= 0) result = OpenPictures(*movie);
    if (result < 0) return Refuse("Cannot open movie", name, result);
    OpenSound(*movie);
    // Streams nobody plays are not even read.
    for (unsigned i = 0; i < format->nb_streams; ++i) {
      const int index = static_cast<int>(i);
      if (index != movie->videoStream && index != movie->soundStream) {
        format->streams[i]->discard = AVDISCARD_ALL;
      }
    }
    m_error[0] = '\0';
    ++s_liveMovies;
    return movie.release();
  }

  void Close(void* handle) override {
    if (!handle) return;
    delete static_cast<Movie*>(handle);
    --s_liveMovies;
  }

  int32_t FrameDue(void* handle) override {
    if (!handle) return 0;
    Movie& movie = *static_cast<Movie*>(handle);
    KeepSoundFed(movie);
    if (!movie.started || !movie.haveCurrent) return 1;
    // With no frame after this one, the end is due once this one has had its time.
    const int64_t due = movie.haveNext ? movie.nextTime : movie.currentEnd;
    return Elapsed(movie) >= due ? 1 : 0;
  }

  int32_t DecodeNextFrame(void* handle) override {
    if (!handle) return 0;
    Movie& movie = *static_cast<Movie*>(handle);
    if (!movie.started) {
      movie.haveNext = DecodePicture(movie, movie.next.get()) > 0;
      if (movie.haveNext) movie.nextTime = TimeOf(movie, movie.next.get(), 0, 0);
      KeepSoundFed(movie);
      StartClock(movie);
      if (movie.haveNext && movie.voice != kNoVoice) GetAudioMixer().Play(movie.voice, false);
    }
    if (!movie.haveNext) return Ended(movie);
    std::swap(movie.current, movie.next);
    av_frame_unref(movie.next.get());
    movie.haveCurrent = true;
    movie.pictureStale = true;
    movie.currentTime = movie.nextTime;
    movie.currentEnd = movie.currentTime + DurationOf(movie, movie.current.get());
    movie.haveNext = DecodePicture(movie, movie.next.get()) > 0;
    if (movie.haveNext) {
      movie.nextTime = TimeOf(movie, movie.next.get(), movie.currentTime, movie.currentEnd);
    }
    KeepSoundFed(movie);
    return 1;
  }

  void CopyToBackBuffer(void* handle, gfx::D3DDevice* device) override {
    if (!handle || !device) return;
    Movie& movie = *static_cast<Movie*>(handle);
    if (!movie.haveCurrent) return;
    gfx::D3DSurface* surface = nullptr;
    if (device->GetBackBuffer(0, 0, gfx::D3DBACKBUFFER_TYPE_MONO, &surface) != gfx::D3D_OK ||
        !surface) {
      return;
    }
    // The back buffer's colour is a texture of the GL device; the frame goes straight into it.
    auto* back = dynamic_cast<gfx::SurfaceGl*>(surface);
    gfx::D3DDeviceGl* owner = back ? back->Device() : nullptr;
    const int width = back ? back->Width() : 0;
    const int height = back ? back->Height() : 0;
    if (owner && width > 0 && height > 0 && back->ColourTexture() != 0 && owner->MakeCurrent()) {
      if (movie.pictureStale || width != movie.pictureWidth || height != movie.pictureHeight) {
        Compose(movie, width, height);
      }
      Upload(back->ColourTexture(), width, height, movie.picture.data());
    }
    surface->Release();
  }

  const char* LastError() override { return m_error; }

 private:
  void SetError(const char* what, const char* name, int code) {
    char reason[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, reason, sizeof reason);
    std::snprintf(m_error, sizeof m_error, "%s %s: %s", what, name, reason);
  }

  void* Refuse(const char* what, const char* name, int code) {
    SetError(what, name, code);
    return nullptr;
  }

  int32_t Ended(const Movie& movie) {
    if (!movie.haveCurrent && !movie.decodeError && !movie.inputError) {
      // Not one frame before the end: a file cut short after its header, not a movie.
      SetError("Cannot decode movie", movie.path.c_str(), AVERROR_EOF);
    } else if (movie.decodeError) {
      SetError("Cannot decode movie", movie.path.c_str(), movie.decodeError);
    } else if (movie.inputError) {
      SetError("Cannot read movie", movie.path.c_str(), movie.inputError);
    } else {
      m_error[0] = '\0';
    }
    return 0;
  }

  char m_error[512] = "";
};

}  // namespace

MovieDecoder& GetFfmpegMovieDecoder() {
  static FfmpegMovieDecoder decoder;
  return decoder;
}

int32_t LiveFfmpegMovies() { return s_liveMovies; }

}  // namespace plat
