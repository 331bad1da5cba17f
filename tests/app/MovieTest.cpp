#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "Game/Frontend/VideoModes.h"
#include "Game/KavelApp.h"
#include "Platform/Audio/Audio.h"
#include "Platform/Movie/FfmpegMovie.h"
#include "tests/support/AppHarness.h"
#include "tests/support/LogCapture.h"
#include "tests/support/MovieWriter.h"
#include "tests/support/PixelProbe.h"

namespace {

using moviewriter::Container;
using moviewriter::VideoCodec;
using pixelprobe::AreaIs;
using pixelprobe::Rgb;

// Eight different colours, so that a frame shown early, late or twice cannot pass for another.
const std::vector<uint32_t> kColours = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00,
                                        0x00FFFF, 0xFF00FF, 0xFFFFFF, 0x808080};
// YUV 4:2:0 and the encoder's quantiser move a solid colour by a few steps.
constexpr double kTolerance = 10.0;
constexpr int kWidth = 640;
constexpr int kHeight = 480;

Rgb ColourOf(uint32_t rgb) { return {rgb >> 16 & 0xFF, rgb >> 8 & 0xFF, rgb & 0xFF}; }

moviewriter::Movie ColourMovie(VideoCodec codec = VideoCodec::Mpeg4,
                               Container container = Container::Matroska) {
  moviewriter::Movie movie;
  movie.frameColours = kColours;
  movie.codec = codec;
  movie.container = container;
  return movie;
}

// Writes a movie into the data folder the tests play from.
void WriteMovieFile(const std::string& name, const moviewriter::Movie& movie) {
  WriteFileBytes("data/Movies/.keep", "", 0);
  std::string error;
  ASSERT_TRUE(moviewriter::WriteMovie("data/Movies/" + name, movie, &error)) << error;
}

// The App on a clock the test moves: each Step is one program frame, 50 ms after the last, and a
// 10-frames-a-second movie changes its picture every second Step.
class MovieTest : public AppTest {
 protected:
  void Start(bool withGame = false) {
    if (withGame) {
      GetDisplayModeTable() = DisplayModeTable{};
      GetVideoMenu() = VideoMenu{};
      KavelApp::Register();
    }
    ASSERT_TRUE(m_harness.Start());
    plat::ScriptedSystem& system = m_harness.system();
    system.UseManualClock(true);
    system.SetFrequency(1000);
    // The timer's first turn after Create only sets its due time; the clock must move for it.
    system.SetCounterStepPerRead(1);
    app().GetTimer()->Create(60);
    m_harness.RunFrames(1);
    system.SetCounterStepPerRead(0);
    app().SetDataDir("data\\Movies\\");
    // A mode other than the movie's, so that its restoring shows.
    app().GetDisplay()->SetResolution(800, 600, 32);
    Step();
  }
  App& app() { return m_harness.app(); }
  void Step() {
    m_harness.system().AdvanceMilliseconds(50);
    m_harness.RunFrames(1);
  }
  std::vector<uint32_t> Screen() {
    return pixelprobe::ReadBack(app().GetDisplay()->GetDevice(), kWidth, kHeight);
  }
  // Steps until the movie is over; how many it took, or -1 when it is still playing after
  // `limit`.
  int StepsToEnd(int limit) {
    for (int steps = 1; steps <= limit; ++steps) {
      Step();
      if (!app().IsMoviePlaying()) return steps;
    }
    return -1;
  }
  void ExpectEndedAndRestored() {
    EXPECT_EQ(app().IsMoviePlaying(), 0);
    EXPECT_EQ(app().GetMovieState(), 2);
    EXPECT_EQ(app().GetDisplay()->GetModeWidth(), 800);
    EXPECT_EQ(app().GetDisplay()->GetModeFormat(), gfx::D3DFMT_X8R8G8B8);
    EXPECT_EQ(plat::LiveFfmpegMovies(), 0);
  }
};

struct PlayCase {
  const char* name;
  VideoCodec codec;
  Container container;
  int firstFrame = 0;
};
void PrintTo(const PlayCase& c, std::ostream* out) { *out << c.name; }

class MoviePlayTest : public MovieTest, public ::testing::WithParamInterface<PlayCase> {};

// Names say nothing of the format: a ".bik" name holds whatever the test wrote.
const PlayCase kPlayCases[] = {
    {"intro.bik", VideoCodec::Mpeg4, Container::Matroska},
    {"colours.avi", VideoCodec::Mpeg4, Container::Avi},
    {"lossless.bik", VideoCodec::Ffv1, Container::Nut},
    {"LOSSLESS.MKV", VideoCodec::Ffv1, Container::Matroska},
    // The movie's clock starts at its first frame, wherever its timestamps start.
    {"late.bik", VideoCodec::Mpeg4, Container::Matroska, 30},
};

TEST_P(MoviePlayTest, EachFrameIsShownForItsTimeThenTheMovieEndsAndTheModeComesBack) {
  const PlayCase& c = GetParam();
  Start();
  moviewriter::Movie movie = ColourMovie(c.codec, c.container);
  movie.firstFrame = c.firstFrame;
  WriteMovieFile(c.name, movie);
  app().PlayMovie(c.name);
  Step();
  ASSERT_EQ(app().GetMovieState(), 1) << "opened";
  for (int step = 0; step < 16; ++step) {
    Step();
    ASSERT_EQ(app().IsMoviePlaying(), 1) << step * 50 << " ms";
    EXPECT_EQ(app().GetDisplay()->GetModeWidth(), kWidth);
    const std::vector<uint32_t> screen = Screen();
    EXPECT_TRUE(AreaIs(screen, kWidth, 16, 16, kWidth - 16, kHeight - 16,
                       ColourOf(kColours[step / 2]), kTolerance))
        << step * 50 << " ms";
  }
  Step();
  ExpectEndedAndRestored();
  EXPECT_FALSE(DebugLogContains("Cannot")) << "a movie that ran its course logs nothing";
}

INSTANTIATE_TEST_SUITE_P(MovieFormats, MoviePlayTest, ::testing::ValuesIn(kPlayCases));

struct ShapeCase {
  int width, height;
  // The picture's place on the 640 x 480 screen; the rest is black.
  int left, top, right, bottom;
};
void PrintTo(const ShapeCase& c, std::ostream* out) { *out << c.width << " x " << c.height; }

class MovieShapeTest : public MovieTest, public ::testing::WithParamInterface<ShapeCase> {};

const ShapeCase kShapes[] = {
    {192, 108, 0, 60, 640, 420},   // wide: bars above and below
    {120, 160, 140, 0, 500, 480},  // narrow: bars left and right
};

TEST_P(MovieShapeTest, ThePictureKeepsItsShapeOnBlack) {
  const ShapeCase& c = GetParam();
  Start();
  moviewriter::Movie movie = ColourMovie();
  movie.width = c.width;
  movie.height = c.height;
  movie.frameColours = {0x00FF00, 0x00FF00};
  WriteMovieFile("shape.bik", movie);
  app().PlayMovie("shape.bik");
  Step();
  Step();
  const std::vector<uint32_t> screen = Screen();
  const Rgb black(0, 0, 0);
  const int m = 4;  // the picture's edge is left out: filtering may blend it
  EXPECT_TRUE(AreaIs(screen, kWidth, c.left + m, c.top + m, c.right - m, c.bottom - m,
                     Rgb(0, 255, 0), kTolerance));
  if (c.top > 0) {
    EXPECT_TRUE(AreaIs(screen, kWidth, 0, 0, kWidth, c.top - m, black, 0.0));
    EXPECT_TRUE(AreaIs(screen, kWidth, 0, c.bottom + m, kWidth, kHeight, black, 0.0));
  }
  if (c.left > 0) {
    EXPECT_TRUE(AreaIs(screen, kWidth, 0, 0, c.left - m, kHeight, black, 0.0));
    EXPECT_TRUE(AreaIs(screen, kWidth, c.right + m, 0, kWidth, kHeight, black, 0.0));
  }
}

INSTANTIATE_TEST_SUITE_P(MovieShapes, MovieShapeTest, ::testing::ValuesIn(kShapes));

// The colour matrix a stream states may be any byte; one FFmpeg has no name for is read as the
// default matrix, the one the pictures were made with.
TEST_F(MovieTest, AColourMatrixWithoutANameIsTheDefaultOne) {
  Start();
  for (const int matrix : {-1, 76, 213, 177}) {
    SCOPED_TRACE(matrix);
    moviewriter::Movie movie = ColourMovie();
    movie.frameColours = {0xFF00FF, 0xFF00FF};
    movie.colourMatrix = matrix;
    WriteMovieFile("matrix.bik", movie);
    app().PlayMovie("matrix.bik");
    Step();
    Step();
    ASSERT_EQ(app().IsMoviePlaying(), 1);
    EXPECT_TRUE(
        AreaIs(Screen(), kWidth, 16, 16, kWidth - 16, kHeight - 16, Rgb(255, 0, 255), kTolerance));
    EXPECT_GE(StepsToEnd(20), 0);
  }
}

class MovieSkipTest : public MovieTest, public ::testing::WithParamInterface<int> {};

TEST_P(MovieSkipTest, ASkipKeyStopsTheMovieAtOnce) {
  Start(true);
  WriteMovieFile("intro.bik", ColourMovie());
  app().PlayMovie("intro.bik");
  for (int step = 0; step < 4; ++step) Step();
  ASSERT_EQ(app().IsMoviePlaying(), 1) << "no key, no skip";
  m_harness.input().SetKey(GetParam(), true);
  Step();
  ExpectEndedAndRestored();
}

INSTANTIATE_TEST_SUITE_P(MovieKeys, MovieSkipTest,
                         ::testing::Values(plat::kDIK_RETURN, plat::kDIK_SPACE, plat::kDIK_ESCAPE));

// ---- Files that are not movies, or not whole ones.

enum class Damage { Missing, Empty, Noise, HeaderOnly, NoFrames, Half };

struct BadCase {
  const char* name;
  Damage damage;
  // What the log says; null where the file plays as far as it goes and ends as a short movie.
  const char* logged;
};
void PrintTo(const BadCase& c, std::ostream* out) { *out << c.name; }

class MovieBadFileTest : public MovieTest, public ::testing::WithParamInterface<BadCase> {};

const BadCase kBadFiles[] = {
    {"missing.bik", Damage::Missing,
     "Cannot open movie data\\Movies\\missing.bik: No such file or directory"},
    {"empty.bik", Damage::Empty,
     "Cannot open movie data\\Movies\\empty.bik: Invalid data found when processing input"},
    {"noise.bik", Damage::Noise, "Cannot open movie data\\Movies\\noise.bik: "},
    {"header.bik", Damage::HeaderOnly, "movie data\\Movies\\header.bik: "},
    {"blank.bik", Damage::NoFrames, "movie data\\Movies\\blank.bik: End of file"},
    {"half.bik", Damage::Half, nullptr},
};

std::string Damaged(Damage damage) {
  moviewriter::Movie movie = ColourMovie();
  if (damage == Damage::NoFrames) movie.frameColours.clear();
  WriteMovieFile("whole.mkv", movie);
  const std::string whole = ReadFileBytes("data/Movies/whole.mkv");
  switch (damage) {
    case Damage::Empty:
      return {};
    case Damage::Noise: {
      std::mt19937 random(7);
      std::string noise(whole.size(), '\0');
      for (char& byte : noise) byte = static_cast<char>(random());
      return noise;
    }
    case Damage::HeaderOnly:
      return whole.substr(0, 300);
    case Damage::NoFrames:
      return whole;
    default:
      return whole.substr(0, whole.size() / 2);
  }
}

TEST_P(MovieBadFileTest, IsRefusedWithTheReasonLoggedOrPlaysAsFarAsItGoes) {
  const BadCase& c = GetParam();
  Start();
  if (c.damage != Damage::Missing) {
    const std::string bytes = Damaged(c.damage);
    WriteFileBytes(std::string("data/Movies/") + c.name, bytes.data(), bytes.size());
  }
  app().PlayMovie(c.name);
  const int steps = StepsToEnd(40);
  EXPECT_GE(steps, 1) << "the movie ends by itself";
  ExpectEndedAndRestored();
  if (c.logged) {
    EXPECT_TRUE(DebugLogContains(c.logged)) << c.logged;
  } else {
    EXPECT_GT(steps, 3) << "the frames before the cut are shown";
    EXPECT_LT(steps, 18) << "and no more than there are";
    EXPECT_FALSE(DebugLogContains("Cannot"));
  }
}

INSTANTIATE_TEST_SUITE_P(MovieDamages, MovieBadFileTest, ::testing::ValuesIn(kBadFiles));

// A decoder that shows `frames` frames and then ends, giving `reason` (empty: it simply ran out).
class EndingDecoder final : public plat::MovieDecoder {
 public:
  EndingDecoder(int frames, const char* reason) : m_frames(frames), m_reason(reason) {
    plat::SetMovieDecoder(this);
  }
  ~EndingDecoder() override { plat::SetMovieDecoder(nullptr); }
  void* Open(const char*) override { return this; }
  void Close(void*) override {}
  int32_t FrameDue(void*) override { return 1; }
  int32_t DecodeNextFrame(void*) override { return m_frames-- > 0 ? 1 : 0; }
  void CopyToBackBuffer(void*, gfx::D3DDevice*) override {}
  const char* LastError() override { return m_frames < 0 ? m_reason : ""; }

 private:
  int m_frames;
  const char* m_reason;
};

TEST_F(MovieTest, AMovieThatBreaksOffLogsWhyWhereOneThatRunsOutLogsNothing) {
  Start();
  for (const char* reason : {"Cannot decode movie data\\Movies\\x.bik: Invalid data", ""}) {
    EndingDecoder decoder(3, reason);
    const size_t linesBefore = ReadCrLfLines("Debug.log").size();
    app().PlayMovie("x.bik");
    EXPECT_EQ(StepsToEnd(10), 5) << "open, three frames, the end";
    ExpectEndedAndRestored();
    const std::vector<std::string> lines = ReadCrLfLines("Debug.log");
    if (*reason) {
      EXPECT_TRUE(DebugLogContains(reason));
    } else {
      for (size_t i = linesBefore; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].find("movie"), std::string::npos) << lines[i];
      }
    }
  }
}

// ---- Sound.

moviewriter::Movie ToneMovie() {
  moviewriter::Movie movie = ColourMovie();
  movie.soundRate = 22050;
  movie.soundChannels = 1;
  movie.toneHertz = 441.0;
  return movie;
}

TEST_F(MovieTest, TheSoundTrackPlaysThroughAVoiceThatLivesAsLongAsTheMovie) {
  Start();
  plat::AudioMixer& mixer = plat::GetAudioMixer();
  ASSERT_FALSE(mixer.IsDeviceOpen()) << "the test takes the mix itself";
  const int32_t voicesBefore = mixer.VoicesInUse();
  WriteMovieFile("tone.bik", ToneMovie());
  app().PlayMovie("tone.bik");
  Step();
  EXPECT_EQ(mixer.VoicesInUse(), voicesBefore + 1);
  Step();
  EXPECT_TRUE(AreaIs(Screen(), kWidth, 16, 16, kWidth - 16, kHeight - 16, ColourOf(kColours[0]),
                     kTolerance));

  // The ring was filled ahead, well beyond the two pictures read so far: the mix holds the tone,
  // on both sides, for tenths of a second to come.
  constexpr int kTenth = plat::kMixRate / 10;
  std::vector<int16_t> mix(kTenth * 2);
  for (int tenth = 0; tenth < 4; ++tenth) {
    mixer.Mix(mix.data(), kTenth);
    double power = 0;
    int crossings = 0;
    int sidesApart = 0;
    for (int i = 0; i < kTenth; ++i) {
      power += double(mix[2 * i]) * mix[2 * i];
      if (i > 0 && (mix[2 * i] >= 0) != (mix[2 * i - 2] >= 0)) ++crossings;
      if (mix[2 * i] != mix[2 * i + 1]) ++sidesApart;
    }
    EXPECT_GT(std::sqrt(power / kTenth), 4000.0) << "tenth " << tenth;
    EXPECT_NEAR(crossings, 2 * 44, 4) << "441 Hz, tenth " << tenth;
    EXPECT_EQ(sidesApart, 0) << "tenth " << tenth;
  }

  EXPECT_GT(StepsToEnd(40), 0);
  ExpectEndedAndRestored();
  EXPECT_EQ(mixer.VoicesInUse(), voicesBefore);
}

TEST_F(MovieTest, WithoutAFreeVoiceTheMoviePlaysSilent) {
  Start();
  plat::AudioMixer& mixer = plat::GetAudioMixer();
  std::vector<plat::AudioVoice> taken;
  for (plat::AudioVoice voice;
       (voice = mixer.CreateStream({plat::kMixRate, 2, 16}, 64)) != plat::kNoVoice;) {
    taken.push_back(voice);
  }
  WriteMovieFile("tone.bik", ToneMovie());
  app().PlayMovie("tone.bik");
  Step();
  Step();
  EXPECT_TRUE(AreaIs(Screen(), kWidth, 16, 16, kWidth - 16, kHeight - 16, ColourOf(kColours[0]),
                     kTolerance));
  EXPECT_EQ(StepsToEnd(40), 16) << "the whole movie, on its own clock";
  ExpectEndedAndRestored();
  for (plat::AudioVoice voice : taken) mixer.DestroyVoice(voice);
}

// ---- The decoder alone, over every cut and many corruptions of one file: each is refused with
// a reason naming it, or decodes at most the frames the file holds and then ends.

class MovieDecoderTest : public TempDirTest {
 protected:
  static constexpr int kEndless = 1000;
  // How many frames decoded before the end; -1 when it would not open.
  int FramesOf(const std::string& bytes) {
    WriteFileBytes("data/cut.bik", bytes.data(), bytes.size());
    plat::MovieDecoder& decoder = plat::GetMovieDecoder();
    void* movie = decoder.Open("data\\cut.bik");
    if (!movie) {
      EXPECT_NE(std::string(decoder.LastError()).find("data\\cut.bik"), std::string::npos);
      return -1;
    }
    int frames = 0;
    while (frames < kEndless && decoder.DecodeNextFrame(movie)) {
      decoder.FrameDue(movie);
      ++frames;
    }
    decoder.Close(movie);
    EXPECT_EQ(plat::LiveFfmpegMovies(), 0);
    return frames;
  }
  std::string WholeMovie(Container container) {
    moviewriter::Movie movie = ToneMovie();
    movie.container = container;
    std::string error;
    EXPECT_TRUE(moviewriter::WriteMovie("whole.bin", movie, &error)) << error;
    return ReadFileBytes("whole.bin");
  }
};

TEST_F(MovieDecoderTest, EveryCutEndsWithinTheFramesItHolds) {
  for (Container container : {Container::Matroska, Container::Avi, Container::Nut}) {
    const std::string whole = WholeMovie(container);
    ASSERT_EQ(FramesOf(whole), 8);
    int last = -1;
    for (size_t size = 0; size < whole.size(); size += size < 400 ? 1 : 131) {
      const int frames = FramesOf(whole.substr(0, size));
      ASSERT_LE(frames, 8) << size;
      if (frames > last) last = frames;
    }
    EXPECT_GE(last, 6) << "a file cut near its end still plays most of its frames";
  }
}

TEST_F(MovieDecoderTest, CorruptBytesNeverReadPastTheFile) {
  const std::string whole = WholeMovie(Container::Matroska);
  std::mt19937 random(11);
  for (int round = 0; round < 200; ++round) {
    std::string bytes = whole;
    for (int i = 0; i < 24; ++i) bytes[random() % bytes.size()] = static_cast<char>(random());
    ASSERT_LT(FramesOf(bytes), kEndless) << round;
  }
}

}  // namespace
