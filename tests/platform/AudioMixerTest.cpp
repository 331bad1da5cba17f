// The mixer rendered into buffers, and its SDL device on the dummy driver.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Platform/Audio/Audio.h"

namespace {

using plat::AudioMixer;
using plat::AudioVoice;
using plat::PcmFormat;
using Pcm = std::vector<uint8_t>;
using Out = std::vector<int16_t>;

constexpr double kPi = 3.14159265358979323846;
constexpr PcmFormat kMono16{44100, 1, 16};

// `frames` frames in the layout of `f`, each sample `wave(frame, channel)` on the 16-bit scale.
template <class Wave>
Pcm MakePcm(const PcmFormat& f, int32_t frames, Wave wave) {
  Pcm pcm;
  for (int32_t i = 0; i < frames; ++i)
    for (int32_t c = 0; c < f.channels; ++c) {
      const int32_t s = int32_t(std::lround(wave(i, c)));
      if (f.bits == 8) pcm.push_back(uint8_t((s >> 8) + 128));
      if (f.bits == 16) pcm.insert(pcm.end(), {uint8_t(s), uint8_t(s >> 8)});
    }
  return pcm;
}

Pcm Level(const PcmFormat& f, int32_t frames, double level) {
  return MakePcm(f, frames, [=](int32_t, int32_t) { return level; });
}

auto Cosine(double hz, double rate) {
  return [=](int32_t i, int32_t = 0) { return 12000.0 * std::cos(2 * kPi * hz * i / rate); };
}

AudioVoice Start(AudioMixer& m, const Pcm& pcm, const PcmFormat& f, bool loop) {
  const AudioVoice voice = m.CreateVoice(pcm.data(), uint32_t(pcm.size()), f);
  m.Play(voice, loop);
  return voice;
}

// Starts from junk: Mix replaces what the buffer held.
Out Render(AudioMixer& m, int32_t frames) {
  Out out(size_t(frames) * 2, 12345);
  m.Mix(out.data(), frames);
  return out;
}

template <class Wave>
double MaxError(const Out& out, Wave expected) {
  double worst = 0;
  for (size_t i = 0; i < out.size(); ++i)
    worst = std::max(worst, std::abs(out[i] - expected(int32_t(i / 2))));
  return worst;
}

// A cosine starts at its peak, so a loop that leans on silence or on a wrong frame at its seam
// shows at once. Tolerances: linear interpolation's error on the tone, plus 8-bit quantisation.
TEST(AudioMixerTest, EveryRateAndLayoutPlaysAtItsPitchAndLevelAndLoopsWithoutAClick) {
  const struct {
    PcmFormat format;
    double hz;
    int32_t loopFrames;  // 0: a one-shot longer than the second rendered
    double tolerance;
  } cases[] = {
      {{44100, 1, 16}, 441, 0, 0.5},   {{22050, 1, 16}, 441, 0, 30},
      {{11025, 1, 16}, 441, 0, 110},   {{8000, 1, 8}, 441, 0, 500},
      {{22050, 1, 8}, 441, 0, 300},    {{48000, 2, 16}, 441, 0, 30},
      {{96000, 2, 8}, 441, 0, 300},    {{44100, 1, 16}, 441, 100, 0.5},
      {{22050, 1, 16}, 441, 50, 30},   {{11025, 1, 16}, 441, 25, 110},
      {{48000, 1, 16}, 1000, 480, 30}, {{32000, 1, 16}, 700, 320, 30},
      {{96000, 1, 16}, 900, 960, 30},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.format.rate << " Hz, " << c.format.bits << " bits, loop " << c.loopFrames);
    AudioMixer m;
    const int32_t frames = c.loopFrames ? c.loopFrames : c.format.rate * 11 / 10;
    const Pcm pcm = MakePcm(c.format, frames, Cosine(c.hz, c.format.rate));
    const AudioVoice voice = Start(m, pcm, c.format, c.loopFrames != 0);
    EXPECT_LE(MaxError(Render(m, 44100), Cosine(c.hz, 44100)), c.tolerance);
    EXPECT_TRUE(m.IsPlaying(voice));
  }
}

TEST(AudioMixerTest, SamplesDecodeAsUnsigned8BitAndSigned16BitLittleEndian) {
  const struct {
    PcmFormat format;
    Pcm bytes;
    std::vector<int16_t> out;
  } cases[] = {
      {{44100, 1, 8},
       {0, 64, 128, 192, 255},
       {-32768, -32768, -16384, -16384, 0, 0, 16384, 16384, 32512, 32512}},
      {{44100, 1, 16},
       {0x00, 0x80, 0xFF, 0x7F, 0x34, 0x12, 0xFE, 0xFF},
       {-32768, -32768, 32767, 32767, 0x1234, 0x1234, -2, -2}},
      {{44100, 2, 16}, {0x34, 0x12, 0xFE, 0xFF}, {0x1234, -2}},
      {{44100, 2, 8}, {255, 0}, {32512, -32768}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format.bits * 10 + c.format.channels);
    AudioMixer m;
    Pcm unaligned(1, 0);  // 16-bit data in a bank need not be aligned
    unaligned.insert(unaligned.end(), c.bytes.begin(), c.bytes.end());
    m.Play(m.CreateVoice(unaligned.data() + 1, uint32_t(c.bytes.size()), c.format), false);
    EXPECT_EQ(Render(m, int32_t(c.out.size() / 2)), c.out);
  }
}

TEST(AudioMixerTest, VolumeAndPanSetEachSidesGainAndTheSumSaturates) {
  const float nan = std::nanf("");
  const struct {
    double level;
    int voices;
    float volume, pan, keptVolume, keptPan;
    int16_t left, right;
  } cases[] = {
      {16000, 1, 1, 0, 1, 0, 16000, 16000},
      {16000, 1, 0.5f, 0, 0.5f, 0, 8000, 8000},
      {16000, 1, 1, -1, 1, -1, 16000, 0},
      {16000, 1, 1, 1, 1, 1, 0, 16000},
      {16000, 1, 1, 0.25f, 1, 0.25f, 12000, 16000},
      {16000, 1, 0.5f, -0.5f, 0.5f, -0.5f, 8000, 4000},
      {16000, 1, 3, -7, 1, -1, 16000, 0},
      {16000, 1, -1, 5, 0, 1, 0, 0},
      {16000, 1, nan, nan, 0, 0, 0, 0},
      {30000, 2, 1, 0, 1, 0, 32767, 32767},
      {-30000, 2, 1, 0, 1, 0, -32768, -32768},
      {-10000, 3, 1, 0, 1, 0, -30000, -30000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.voices << " x " << c.level << " at " << c.volume << ", " << c.pan);
    AudioMixer m;
    const Pcm pcm = Level(kMono16, 1, c.level);
    for (int i = 0; i < c.voices; ++i) {
      const AudioVoice voice = Start(m, pcm, kMono16, true);
      m.SetVolume(voice, c.volume);
      m.SetPan(voice, c.pan);
      EXPECT_EQ(m.GetVolume(voice), c.keptVolume);
      EXPECT_EQ(m.GetPan(voice), c.keptPan);
    }
    EXPECT_EQ(Render(m, 2), (Out{c.left, c.right, c.left, c.right}));
  }
}

TEST(AudioMixerTest, AOneShotStopsRightAfterItsLastFrameAndPlayRestartsIt) {
  const struct {
    int32_t rate, frames, outputFrames;
  } cases[] = {
      {44100, 100, 100}, {22050, 100, 200}, {11025, 25, 100}, {88200, 100, 50}, {48000, 48, 45}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rate);
    AudioMixer m;
    const PcmFormat format{c.rate, 1, 16};
    const Pcm pcm = Level(format, c.frames, 8000);
    const AudioVoice voice = Start(m, pcm, format, false);
    for (int round = 0; round < 2; ++round) {
      EXPECT_EQ(Render(m, c.outputFrames - 1)[0], 8000);
      EXPECT_TRUE(m.IsPlaying(voice));
      Render(m, 1);
      EXPECT_FALSE(m.IsPlaying(voice));
      EXPECT_EQ(Render(m, 600), Out(1200, 0));
      m.Play(voice, false);
    }
  }
}

// Noise: any slip in the ring's order, its wrap or the interpolation across it shows.
Pcm Noise(const PcmFormat& f, int32_t frames) {
  uint32_t seed = 12345;
  return MakePcm(f, frames, [&](int32_t, int32_t) {
    seed = seed * 1664525u + 1013904223u;
    return double(int32_t(seed >> 16) - 32768);
  });
}

TEST(AudioMixerTest, AStreamWrittenInPiecesSoundsAsTheSameDataInOneBuffer) {
  const PcmFormat formats[] = {
      {22050, 1, 16}, {11025, 2, 8}, {48000, 2, 16}, {96000, 1, 16}, {44100, 1, 8}};
  for (const PcmFormat& f : formats) {
    SCOPED_TRACE(f.rate);
    const int32_t frames = 3000, outputFrames = 3000 * 44100 / f.rate + 333;
    const Pcm pcm = Noise(f, frames);
    AudioMixer whole, pieces;
    Start(whole, pcm, f, false);
    const AudioVoice stream = pieces.CreateStream(f, 777);
    const uint32_t frameBytes = uint32_t(f.channels * f.bits / 8), sizes[] = {1, 37, 250, 5};
    uint32_t written = 0;
    Out out;
    for (int mix = 0; int32_t(out.size()) < outputFrames * 2; ++mix) {
      for (uint32_t piece = 0, took = 1; took > 0 && written < uint32_t(frames); ++piece) {
        took = pieces.StreamWrite(stream, pcm.data() + written * frameBytes,
                                  std::min(sizes[piece % 4], frames - written));
        written += took;
      }
      if (mix == 0) pieces.Play(stream, false);
      const Out part = Render(pieces, 333);
      out.insert(out.end(), part.begin(), part.end());
    }
    EXPECT_EQ(out, Render(whole, int32_t(out.size() / 2)));
    EXPECT_EQ(pieces.StreamPlayed(stream), uint64_t(frames));
    EXPECT_EQ(pieces.StreamQueued(stream), 0u);
  }
}

TEST(AudioMixerTest, AnEmptyStreamMixesSilenceCountsUnderrunsAndKeepsPlaying) {
  AudioMixer m;
  const AudioVoice stream = m.CreateStream(kMono16, 100);
  m.Play(stream, false);
  EXPECT_EQ(Render(m, 50), Out(100, 0));
  EXPECT_EQ(m.StreamUnderruns(stream), 50u);
  EXPECT_TRUE(m.IsPlaying(stream));
  const Pcm pcm = Level(kMono16, 150, 1000);
  EXPECT_EQ(m.StreamWrite(stream, pcm.data(), 10), 10u);
  const Out out = Render(m, 20);
  EXPECT_EQ(out[18], 1000);
  EXPECT_EQ(out[20], 0);
  EXPECT_EQ(m.StreamUnderruns(stream), 60u);
  m.Stop(stream);
  Render(m, 10);
  EXPECT_EQ(m.StreamUnderruns(stream), 60u);
  EXPECT_EQ(m.StreamWrite(stream, pcm.data(), 150), 100u);
  EXPECT_EQ(m.StreamFree(stream), 0u);
  m.StreamClear(stream);
  EXPECT_EQ(m.StreamQueued(stream), 0u);
  EXPECT_EQ(m.StreamFree(stream), 100u);
  EXPECT_EQ(m.StreamPlayed(stream), 10u);
}

TEST(AudioMixerTest, IdsThatNameNoVoiceOrNoStreamAreIgnoredAndAFreedSlotIsReused) {
  AudioMixer m;
  const Pcm pcm = Level(kMono16, 4, 9000);
  const AudioVoice buffer = Start(m, pcm, kMono16, true), destroyed = Start(m, pcm, kMono16, true);
  m.Stop(buffer);
  m.DestroyVoice(destroyed);
  for (const AudioVoice id : {plat::kNoVoice, plat::kMaxAudioVoices, 1000, 7, destroyed, buffer}) {
    SCOPED_TRACE(id);
    if (id != buffer) {
      m.Play(id, true);
      m.SetVolume(id, 1);
      m.SetPan(id, -1);
      EXPECT_FALSE(m.IsPlaying(id));
      EXPECT_EQ(m.GetVolume(id), 0.0f);
      EXPECT_EQ(m.GetPan(id), 0.0f);
      m.DestroyVoice(id);
    }
    EXPECT_EQ(m.StreamWrite(id, pcm.data(), 4), 0u);
    m.StreamClear(id);
    EXPECT_EQ(m.StreamFree(id) + m.StreamQueued(id) + m.StreamPlayed(id) + m.StreamUnderruns(id),
              0u);
  }
  EXPECT_EQ(Render(m, 10), Out(20, 0));
  EXPECT_EQ(m.VoicesInUse(), 1);
  EXPECT_EQ(m.CreateStream(kMono16, 10), destroyed);
}

TEST(AudioMixerTest, TheTableHoldsThirtyTwoVoices) {
  AudioMixer m;
  const Pcm pcm = Level(kMono16, 4, 0);
  for (AudioVoice i = 0; i < plat::kMaxAudioVoices; ++i)
    EXPECT_EQ(i % 2 ? m.CreateStream(kMono16, 8) : m.CreateVoice(pcm.data(), 8, kMono16), i);
  EXPECT_EQ(m.CreateVoice(pcm.data(), 8, kMono16), plat::kNoVoice);
  EXPECT_EQ(m.CreateStream(kMono16, 8), plat::kNoVoice);
  EXPECT_EQ(m.VoicesInUse(), plat::kMaxAudioVoices);
}

TEST(AudioMixerTest, UnsupportedLayoutsAndDataWithoutAWholeFrameAreRefused) {
  const struct {
    PcmFormat format;
    bool supported;
  } layouts[] = {{{999, 1, 16}, false},   {{192001, 1, 16}, false}, {{-44100, 1, 16}, false},
                 {{44100, 0, 16}, false}, {{44100, 3, 16}, false},  {{44100, 1, 24}, false},
                 {{44100, 1, 0}, false},  {{1000, 1, 8}, true},     {{192000, 2, 16}, true}};
  AudioMixer m;
  const Pcm pcm(64, 128);
  for (const auto& c : layouts) {
    SCOPED_TRACE(c.format.rate * 100 + c.format.bits + c.format.channels);
    EXPECT_EQ(plat::IsSupportedFormat(c.format), c.supported);
    EXPECT_EQ(m.CreateVoice(pcm.data(), 64, c.format) != plat::kNoVoice, c.supported);
    EXPECT_EQ(m.CreateStream(c.format, 16) != plat::kNoVoice, c.supported);
  }
  EXPECT_EQ(m.CreateVoice(nullptr, 64, kMono16), plat::kNoVoice);
  EXPECT_EQ(m.CreateVoice(pcm.data(), 1, kMono16), plat::kNoVoice);
  EXPECT_EQ(m.CreateVoice(pcm.data(), 3, {44100, 2, 16}), plat::kNoVoice);
  EXPECT_EQ(m.CreateStream(kMono16, 0), plat::kNoVoice);
  // A trailing part frame is left out: 5 bytes of 16-bit stereo are one frame.
  m.Play(m.CreateVoice(pcm.data(), 5, {44100, 2, 16}), false);
  EXPECT_EQ(Render(m, 2), (Out{-32640, -32640, 0, 0}));
}

bool PlaysOutWithin(AudioMixer& m, AudioVoice voice, std::chrono::seconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (m.IsPlaying(voice) && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return !m.IsPlaying(voice);
}

TEST(AudioMixerDeviceTest, TheDummyDeviceOpensPlaysAOneShotOutAndCloses) {
  AudioMixer m;
  for (int open = 0; open < 2; ++open) {
    ASSERT_TRUE(m.OpenDevice()) << m.LastError();
    EXPECT_TRUE(m.OpenDevice());
    EXPECT_TRUE(m.IsDeviceOpen());
    const Pcm pcm = Level(kMono16, 4410, 1000);
    EXPECT_TRUE(PlaysOutWithin(m, Start(m, pcm, kMono16, false), std::chrono::seconds(60)));  // a net, not a verdict
    m.CloseDevice();
    EXPECT_FALSE(m.IsDeviceOpen());
  }
}

// The sanitizer run sees any read of a destroyed voice's data made by the audio thread.
TEST(AudioMixerDeviceTest, OnceDestroyVoiceReturnsTheAudioThreadReadsNothingOfIt) {
  AudioMixer m;
  ASSERT_TRUE(m.OpenDevice()) << m.LastError();
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
  for (int i = 0; std::chrono::steady_clock::now() < until; ++i) {
    auto pcm = std::make_unique<Pcm>(Level(kMono16, 64, i));
    const AudioVoice voice = Start(m, *pcm, kMono16, true);
    std::this_thread::sleep_for(std::chrono::microseconds(300));
    m.DestroyVoice(voice);
  }
  EXPECT_EQ(m.VoicesInUse(), 0);
}

TEST(AudioMixerDeviceTest, AMissingDriverFailsWithSdlsReasonAndTheMixerStillRenders) {
  const char* was = std::getenv("SDL_AUDIODRIVER");
  const std::string saved = was ? was : "";
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  AudioMixer m;
  EXPECT_FALSE(m.OpenDevice());
  EXPECT_FALSE(m.IsDeviceOpen());
  EXPECT_NE(std::strstr(m.LastError(), "no-such-driver"), nullptr) << m.LastError();
  was ? setenv("SDL_AUDIODRIVER", saved.c_str(), 1) : unsetenv("SDL_AUDIODRIVER");
  const Pcm pcm = Level(kMono16, 1, 500);
  Start(m, pcm, kMono16, true);
  EXPECT_EQ(Render(m, 1), (Out{500, 500}));
}

}  // namespace
