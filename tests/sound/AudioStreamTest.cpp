// The streamed Ogg Vorbis track on the real mixer: tones encoded here are written to a temporary
// folder, opened by program path and rendered with Mix() as the device would, with Update()
// between chunks as the game's frame would call it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "Platform/Audio/Audio.h"
#include "tests/support/ByteWriter.h"
#include "tests/support/OggWriter.h"
#include "tests/support/TempDir.h"
#include "torvid/include/audio/tAudioStream.h"
#include "torvid/include/audio/tPlatform.h"

namespace {

using Torvid_lib::tAudioStream;

constexpr double kTwoPi = 6.283185307179586;
// 441 Hz at 44100 Hz: 100 frames a period, so a file of whole seconds ends on a whole period.
constexpr double kHz = 441.0;
constexpr float kAmplitude = 0.5f;
constexpr double kPeak = kAmplitude * 32767.0;
// Vorbis at quality 0.4 keeps this tone within a few percent of its peak.
constexpr double kCodecError = 0.08 * kPeak;

std::vector<std::string> g_lines;

struct FileCounts {
  int opens = 0, reads = 0, seeks = 0, tells = 0, closes = 0;
};
FileCounts g_counts;

Torvid_lib::tPlatformHooks CapturingHooks() {
  Torvid_lib::tPlatformHooks hooks = Torvid_lib::tDefaultPlatformHooks();
  hooks.log = [](const char* line) { g_lines.emplace_back(line); };
  return hooks;
}

// The default file hooks, counted. Like many hosts, this one leaves errno set at a file's end.
Torvid_lib::tPlatformHooks CountingHooks() {
  using Torvid_lib::tDefaultPlatformHooks;
  Torvid_lib::tPlatformHooks hooks = CapturingHooks();
  hooks.fileOpen = [](const char* path) {
    ++g_counts.opens;
    return tDefaultPlatformHooks().fileOpen(path);
  };
  hooks.fileRead = [](void* file, void* buffer, size_t bytes) {
    ++g_counts.reads;
    const size_t got = tDefaultPlatformHooks().fileRead(file, buffer, bytes);
    if (got == 0) errno = EIO;
    return got;
  };
  hooks.fileSeek = [](void* file, int64_t offset, int whence) {
    ++g_counts.seeks;
    return tDefaultPlatformHooks().fileSeek(file, offset, whence);
  };
  hooks.fileTell = [](void* file) {
    ++g_counts.tells;
    return tDefaultPlatformHooks().fileTell(file);
  };
  hooks.fileClose = [](void* file) {
    ++g_counts.closes;
    tDefaultPlatformHooks().fileClose(file);
  };
  return hooks;
}

bool Logged(const std::string& text) {
  for (const std::string& line : g_lines)
    if (line.rfind("STREAM: ", 0) == 0 && line.find(text) != std::string::npos) return true;
  return false;
}

std::vector<uint8_t> Tone(double seconds, int rate, int channels) {
  const std::vector<int16_t> pcm = oggwriter::SineTone(kHz, seconds, rate, channels, kAmplitude);
  return oggwriter::EncodeOggVorbis(pcm.data(), pcm.size() / channels, channels, rate);
}

class AudioStreamTest : public TempDirTest {
 protected:
  void SetUp() override {
    g_lines.clear();
    g_counts = FileCounts();
    const Torvid_lib::tPlatformHooks hooks = CapturingHooks();
    Torvid_lib::tSetPlatformHooks(&hooks);
    // Mixed here, by the test, not by a device callback.
    Mixer().CloseDevice();
    m_voicesBefore = Mixer().VoicesInUse();
  }
  void TearDown() override {
    m_stream.Close();
    EXPECT_EQ(Mixer().VoicesInUse(), m_voicesBefore);
    Torvid_lib::tSetPlatformHooks(nullptr);
  }
  static plat::AudioMixer& Mixer() { return plat::GetAudioMixer(); }

  // Written under lower-case names, opened by a Windows-style program path.
  bool OpenBytes(const std::vector<uint8_t>& bytes) {
    bytewriter::SaveBytes("data/music/tone.ogg", bytes);
    return m_stream.Open("Data\\Music\\Tone.ogg");
  }
  // Stereo mix frames, one game frame's Update before each chunk of 735 (60 a second).
  std::vector<int16_t> Render(int32_t frames) {
    constexpr int32_t kChunk = 735;
    std::vector<int16_t> out(size_t(frames) * 2);
    for (int32_t done = 0; done < frames; done += kChunk) {
      m_stream.Update();
      Mixer().Mix(out.data() + size_t(done) * 2, std::min(kChunk, frames - done));
    }
    return out;
  }
  // Plays the stream to its end; false if it is still playing after `seconds`.
  bool PlaysOut(double seconds) {
    for (int32_t i = 0; i < int32_t(seconds * 60) && m_stream.IsPlaying(); ++i) Render(735);
    return !m_stream.IsPlaying();
  }

  tAudioStream m_stream;
  int32_t m_voicesBefore = 0;
};

// Left-channel samples of a stereo mix.
std::vector<double> Left(const std::vector<int16_t>& mix) {
  std::vector<double> left(mix.size() / 2);
  for (size_t i = 0; i < left.size(); ++i) left[i] = mix[2 * i];
  return left;
}

double Rms(const std::vector<double>& x, size_t from, size_t to) {
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += x[i] * x[i];
  return std::sqrt(sum / double(to - from));
}

// Frequency from rising zero crossings, interpolated between samples.
double Pitch(const std::vector<double>& x, size_t from, size_t to) {
  double first = -1, last = -1;
  int crossings = 0;
  for (size_t i = from; i + 1 < to; ++i) {
    if (x[i] < 0 && x[i + 1] >= 0) {
      const double at = double(i) + x[i] / (x[i] - x[i + 1]);
      if (first < 0) first = at;
      last = at;
      ++crossings;
    }
  }
  return crossings > 1 ? (crossings - 1) * plat::kMixRate / (last - first) : 0.0;
}

TEST_F(AudioStreamTest, PlaysTheToneAtItsPitchAndLevel) {
  const struct {
    int rate, channels;
    double seconds;
  } cases[] = {{44100, 2, 1.0}, {22050, 1, 1.0}, {32000, 2, 0.75}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rate);
    ASSERT_TRUE(OpenBytes(Tone(c.seconds, c.rate, c.channels)));
    EXPECT_EQ(m_stream.Format().rate, c.rate);
    EXPECT_EQ(m_stream.Format().channels, c.channels);
    EXPECT_EQ(m_stream.TotalFrames(), std::llround(c.seconds * c.rate));
    EXPECT_TRUE(Logged("encoded by Xiph.Org libVorbis"));
    ASSERT_TRUE(m_stream.Play(false));
    const std::vector<int16_t> mix = Render(plat::kMixRate / 2);
    const std::vector<double> left = Left(mix);
    EXPECT_NEAR(Pitch(left, 1000, left.size()), kHz, 1.0);
    EXPECT_NEAR(Rms(left, 1000, left.size()), kPeak / std::sqrt(2.0), 0.03 * kPeak);
    for (size_t i = 0; i < left.size(); ++i) ASSERT_EQ(mix[2 * i], mix[2 * i + 1]) << i;
  }
}

// Played past its end twice, a looping tone of whole periods is the same tone unbroken: no frame
// lost or repeated (the phase holds), no step at the seam larger than the tone's own.
TEST_F(AudioStreamTest, LoopsWithoutGapOrClick) {
  ASSERT_TRUE(OpenBytes(Tone(1.0, 44100, 1)));
  ASSERT_TRUE(m_stream.Play(true));
  const std::vector<double> left = Left(Render(44100 * 5 / 2));
  EXPECT_TRUE(m_stream.IsPlaying());
  EXPECT_EQ(Mixer().StreamUnderruns(m_stream.Voice()), 0u);
  double worst = 0, normalStep = 0, seamStep = 0;
  for (size_t i = 0; i < left.size(); ++i) {
    const double ideal = kPeak * std::sin(kTwoPi * kHz * double(i % 44100) / 44100.0);
    worst = std::max(worst, std::abs(left[i] - ideal));
    const double step = i ? std::abs(left[i] - left[i - 1]) : 0.0;
    double& kind = i % 44100 == 0 ? seamStep : normalStep;
    kind = std::max(kind, step);
  }
  EXPECT_LT(worst, kCodecError);
  EXPECT_GT(seamStep, 0.0);
  EXPECT_LT(seamStep, 1.2 * normalStep);
}

// The track's 11466 frames end inside the last chunk mixed, after the last Update.
TEST_F(AudioStreamTest, AOneShotEndsAfterItsLastFrameAndGivesItsVoiceBack) {
  ASSERT_TRUE(OpenBytes(Tone(0.26, 44100, 2)));
  ASSERT_TRUE(m_stream.Play(false));
  EXPECT_TRUE(m_stream.IsPlaying());
  const std::vector<double> left = Left(Render(11700));
  size_t last = 0;
  for (size_t i = 0; i < left.size(); ++i)
    if (left[i] != 0) last = i;
  EXPECT_GT(last, 11466u - 100);
  EXPECT_LT(last, 11466u);
  EXPECT_FALSE(m_stream.IsPlaying());
  m_stream.Update();
  EXPECT_EQ(m_stream.Voice(), plat::kNoVoice);
  EXPECT_EQ(Mixer().VoicesInUse(), m_voicesBefore);
}

TEST_F(AudioStreamTest, StopReleasesTheVoiceAndRewinds) {
  ASSERT_TRUE(OpenBytes(Tone(1.0, 44100, 1)));
  ASSERT_TRUE(m_stream.Play(true));
  Render(10000);
  m_stream.Stop();
  EXPECT_FALSE(m_stream.IsPlaying());
  EXPECT_EQ(m_stream.Voice(), plat::kNoVoice);
  EXPECT_EQ(Mixer().VoicesInUse(), m_voicesBefore);
  EXPECT_TRUE(m_stream.IsOpen());
  m_stream.SetVolume(0.5f);
  ASSERT_TRUE(m_stream.Play(true));
  const std::vector<double> left = Left(Render(100));
  EXPECT_NEAR(left[25], kPeak / 2, kCodecError);
  EXPECT_NEAR(left[75], -kPeak / 2, kCodecError);
}

// Files that are missing, cut or damaged are refused at Open or end by themselves; either way
// with a "STREAM" line, and the file closed once.
TEST_F(AudioStreamTest, BadFilesAreRefusedOrEndCleanly) {
  const std::vector<uint8_t> good = Tone(1.0, 44100, 1);
  const std::vector<size_t> pages = oggwriter::PageOffsets(good);
  ASSERT_GT(pages.size(), 6u);
  auto cut = [&](size_t size) { return std::vector<uint8_t>(good.begin(), good.begin() + size); };
  auto flipped = [&](size_t from, size_t count) {
    std::vector<uint8_t> bytes = good;
    for (size_t i = from; i < from + count; ++i) bytes[i] ^= 0xA5;
    return bytes;
  };
  const std::vector<int16_t> threeChannels = oggwriter::SineTone(kHz, 0.1, 44100, 3, kAmplitude);
  const std::vector<int16_t> lowRate = oggwriter::SineTone(100, 0.1, 500, 1, kAmplitude);
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* line;
  } cases[] = {
      {"empty", {}, "not an Ogg Vorbis file"},
      {"text", {'h', 'e', 'l', 'l', 'o'}, "not an Ogg Vorbis file"},
      {"cut in the id header", cut(30), "not an Ogg Vorbis file"},
      {"cut in the codebooks", cut((pages[1] + pages[2]) / 2), "not an Ogg Vorbis file"},
      {"codebooks damaged", flipped(pages[1] + 200, 16), "not an Ogg Vorbis file"},
      {"3 channels", oggwriter::EncodeOggVorbis(threeChannels.data(), 4410, 3, 44100),
       "cannot be played"},
      {"500 Hz", oggwriter::EncodeOggVorbis(lowRate.data(), 50, 1, 500), "cannot be played"},
      {"cut in an audio page", cut((pages[4] + pages[5]) / 2), "ends in a cut page"},
      {"audio damaged", flipped(pages[4] + 40, 8), "damaged data skipped"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    g_lines.clear();
    g_counts = FileCounts();
    const Torvid_lib::tPlatformHooks hooks = CountingHooks();
    Torvid_lib::tSetPlatformHooks(&hooks);
    if (OpenBytes(c.bytes)) {
      ASSERT_TRUE(m_stream.Play(false));
      EXPECT_TRUE(PlaysOut(2.0));
    }
    m_stream.Close();
    EXPECT_TRUE(Logged(c.line));
    EXPECT_EQ(g_counts.closes, g_counts.opens);
  }
  const struct {
    const char* path;
    const char* line;
  } missing[] = {{"Data\\Music\\Missing.ogg", "cannot open"},
                 {"Data\\Music", "cannot open"},
                 {"", "no file name"}};
  for (const auto& c : missing) {
    g_lines.clear();
    EXPECT_FALSE(m_stream.Open(c.path)) << c.path;
    EXPECT_EQ(g_lines.size(), 1u) << c.path;
    EXPECT_TRUE(Logged(c.line)) << c.path;
    EXPECT_FALSE(m_stream.Play(false));
  }
}

// A host that leaves hooks out gets the defaults for them (a file group or an allocator pair
// whole); log lines are cut to their buffer, never overrun it.
TEST_F(AudioStreamTest, HooksLeftOutFallBackToTheDefaults) {
  Torvid_lib::tPlatformHooks partial = {};
  partial.log = CapturingHooks().log;
  partial.fileOpen = CountingHooks().fileOpen;
  partial.fileRead = CountingHooks().fileRead;
  partial.alloc = [](size_t bytes, const char*) { return std::malloc(bytes); };
  Torvid_lib::tSetPlatformHooks(&partial);
  const Torvid_lib::tPlatformHooks& installed = Torvid_lib::tGetPlatformHooks();
  const Torvid_lib::tPlatformHooks& defaults = Torvid_lib::tDefaultPlatformHooks();
  EXPECT_EQ(installed.log, partial.log);
  EXPECT_EQ(installed.fileOpen, defaults.fileOpen);
  EXPECT_EQ(installed.fileRead, defaults.fileRead);
  EXPECT_EQ(installed.alloc, defaults.alloc);
  EXPECT_EQ(installed.assertReport, defaults.assertReport);
  ASSERT_TRUE(OpenBytes(Tone(0.1, 44100, 1)));
  ASSERT_TRUE(m_stream.Play(false));
  EXPECT_TRUE(PlaysOut(0.5));
  g_lines.clear();
  const std::string longText(3000, 'x');
  Torvid_lib::tLog("AUDIO", "%s", longText.c_str());
  ASSERT_EQ(g_lines.size(), 1u);
  EXPECT_EQ(g_lines[0].substr(0, 8), "AUDIO: x");
  EXPECT_GT(g_lines[0].size(), 1000u);
  Torvid_lib::tLog(longText.c_str(), "%d", 1);
  EXPECT_LT(g_lines.back().size(), 3000u);
}

// A looping track that gives no frames (headers only, or none encoded) ends instead of rewinding
// for ever.
TEST_F(AudioStreamTest, ALoopWithNoAudioEnds) {
  const std::vector<uint8_t> good = Tone(0.5, 44100, 1);
  const std::vector<uint8_t> headersOnly(good.begin(),
                                         good.begin() + oggwriter::PageOffsets(good)[2]);
  for (const auto& bytes : {headersOnly, oggwriter::EncodeOggVorbis(nullptr, 0, 1, 44100)}) {
    g_lines.clear();
    ASSERT_TRUE(OpenBytes(bytes));
    EXPECT_EQ(m_stream.TotalFrames(), 0);
    ASSERT_TRUE(m_stream.Play(true));
    EXPECT_TRUE(PlaysOut(0.5));
    EXPECT_TRUE(Logged("no audio to loop"));
  }
}

// vorbisfile reads through the library's hooks: the ones installed at Open, to the close, even if
// the host installs others meanwhile.
TEST_F(AudioStreamTest, TheFileIsReadSeekedAndClosedThroughTheHooks) {
  const Torvid_lib::tPlatformHooks hooks = CountingHooks();
  Torvid_lib::tSetPlatformHooks(&hooks);
  ASSERT_TRUE(OpenBytes(Tone(0.1, 44100, 1)));
  ASSERT_TRUE(m_stream.Play(true));
  Render(44100);
  const Torvid_lib::tPlatformHooks capturing = CapturingHooks();
  Torvid_lib::tSetPlatformHooks(&capturing);
  m_stream.Close();
  EXPECT_EQ(g_counts.opens, 1);
  EXPECT_GT(g_counts.reads, 0);
  EXPECT_GT(g_counts.seeks, 10);  // a rewind at each of the loop's ten ends
  EXPECT_GT(g_counts.tells, 0);
  EXPECT_EQ(g_counts.closes, 1);
}

// A chained file whose second link changes the channel count cannot go on in the same ring.
TEST_F(AudioStreamTest, AChainThatChangesFormatEnds) {
  std::vector<uint8_t> chain = Tone(0.2, 44100, 1);
  const std::vector<int16_t> stereo = oggwriter::SineTone(kHz, 0.2, 44100, 2, kAmplitude);
  const std::vector<uint8_t> second =
      oggwriter::EncodeOggVorbis(stereo.data(), stereo.size() / 2, 2, 44100, 0.4f, 77);
  chain.insert(chain.end(), second.begin(), second.end());
  ASSERT_TRUE(OpenBytes(chain));
  ASSERT_TRUE(m_stream.Play(false));
  EXPECT_TRUE(PlaysOut(1.0));
  EXPECT_TRUE(Logged("changes the format"));
}

}  // namespace
