// The sound manager on the real mixer: banks written to a temporary folder, voices rendered into
// buffers by the mixer itself (no device, so nothing else consumes the voices meanwhile).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "Engine/Camera.h"
#include "Engine/DataFolder.h"
#include "Engine/MemoryTracker.h"
#include "Game/Sound/CSoundWrapper.h"
#include "Platform/Audio/Audio.h"
#include "tests/support/BankWriter.h"
#include "tests/support/ByteWriter.h"
#include "tests/support/LogCapture.h"
#include "tests/support/OggWriter.h"
#include "tests/support/TempDir.h"
#include "tests/support/WavWriter.h"

namespace {

constexpr int kRate = 22050;
constexpr float kAmplitude = 0.5f;
// Three tones an octave and a fifth apart, then a short click.
const double kToneHz[] = {441.0, 882.0, 1323.0};

std::vector<uint8_t> Tone(double hz, double seconds, int rate = kRate) {
  return wavwriter::WriteWav16(oggwriter::SineTone(hz, seconds, rate, 1, kAmplitude), 1, rate);
}

std::vector<uint8_t> TestBank() {
  return WriteSoundBank({Tone(kToneHz[0], 1.0), Tone(kToneHz[1], 1.0), Tone(kToneHz[2], 1.0),
                         Tone(441.0, 0.01)});
}

struct Rendered {
  std::vector<int16_t> left, right;
};

Rendered Render(int frames) {
  std::vector<int16_t> mixed(static_cast<size_t>(frames) * 2);
  plat::GetAudioMixer().Mix(mixed.data(), frames);
  Rendered out;
  for (int i = 0; i < frames; ++i) {
    out.left.push_back(mixed[2 * i]);
    out.right.push_back(mixed[2 * i + 1]);
  }
  return out;
}

double Peak(const std::vector<int16_t>& s) {
  int peak = 0;
  for (int16_t v : s) peak = std::max(peak, std::abs(static_cast<int>(v)));
  return peak / 32767.0;
}

// Frequency from rising zero crossings over the buffer.
double Frequency(const std::vector<int16_t>& s) {
  int crossings = 0;
  for (size_t i = 1; i < s.size(); ++i)
    if (s[i - 1] < 0 && s[i] >= 0) ++crossings;
  return crossings * static_cast<double>(plat::kMixRate) / static_cast<double>(s.size());
}

class SoundWrapperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDataFolder(nullptr);
    m_sound.Init(false);
    WriteFileBytes("test.bnk", TestBank().data(), TestBank().size());
  }
  void TearDown() override { SetDataFolder(nullptr); }

  int32_t LoadTestBank() {
    const int32_t slot = m_sound.LoadSampleBank("test.bnk");
    m_sound.FixupSampleBank(slot);
    return slot;
  }

  ScopedTempDir m_dir;
  CSoundWrapper m_sound;
};

TEST_F(SoundWrapperTest, EachSamplePlaysAtItsOwnPitchAndTheGivenLevel) {
  const int32_t bank = LoadTestBank();
  ASSERT_EQ(m_sound.GetSampleCount(bank), 4);
  for (int sample = 0; sample < 3; ++sample) {
    SoundHandle voice = m_sound.PlayEffect(bank, sample, 0, 0.5f, kSoundFlat, nullptr);
    ASSERT_FALSE(voice.IsNone());
    const Rendered out = Render(plat::kMixRate / 2);
    EXPECT_NEAR(Frequency(out.left), kToneHz[sample], 8.0) << "sample " << sample;
    EXPECT_NEAR(Peak(out.left), 0.5 * kAmplitude, 0.02) << "sample " << sample;
    EXPECT_NEAR(Peak(out.right), 0.5 * kAmplitude, 0.02) << "unpositioned voices are centred";
    voice.Stop();
  }
}

TEST_F(SoundWrapperTest, CategoryVolumesScaleAndLoudVoicesClampAfterScaling) {
  const int32_t bank = LoadTestBank();
  struct Case {
    int32_t category;
    float categoryVolume;
    float volume;
    double peak;
  };
  const Case cases[] = {
      {kSoundEffects, 1.0f, 1.0f, 1.0},  {kSoundEffects, 0.5f, 1.0f, 0.5},
      {kSoundEffects, 0.5f, 1.5f, 0.75}, {kSoundEffects, 1.0f, 1.5f, 1.0},
      {kSoundSpeech, 0.25f, 1.0f, 0.25}, {kSoundSpeech, 1.0f, 1.2f, 1.0},
  };
  for (const Case& c : cases) {
    m_sound.SetCategoryVolume(c.category, c.categoryVolume);
    SoundHandle voice = c.category == kSoundSpeech
                            ? m_sound.PlaySpeech(bank, 0, 0, c.volume, kSoundFlat, nullptr)
                            : m_sound.PlayEffect(bank, 0, 0, c.volume, kSoundFlat, nullptr);
    ASSERT_FALSE(voice.IsNone());
    EXPECT_NEAR(Peak(Render(4096).left), c.peak * kAmplitude, 0.02)
        << "category " << c.category << " at " << c.categoryVolume << ", volume " << c.volume;
    voice.Stop();
    m_sound.SetCategoryVolume(c.category, 1.0f);
  }
}

TEST_F(SoundWrapperTest, PositionedVoicesPanToTheirSideAndFadeWithDistance) {
  const int32_t bank = LoadTestBank();
  // Looking along +y with z up, the screen's right is +x.
  Camera camera;
  camera.SetEye(Vector4(0.0f, 0.0f, 0.0f, 1.0f));
  camera.SetTarget(Vector4(0.0f, 100.0f, 0.0f, 1.0f));
  m_sound.SetListenerFromCamera(camera);
  m_sound.Set3DMaxDistance(1000.0f);
  struct Case {
    Vector4 position;
    double left, right;
  };
  const Case cases[] = {
      {Vector4(500.0f, 0.0f, 0.0f, 1.0f), 0.0, 0.5},    // right, half way out
      {Vector4(-500.0f, 0.0f, 0.0f, 1.0f), 0.5, 0.0},   // left
      {Vector4(0.0f, 250.0f, 0.0f, 1.0f), 0.75, 0.75},  // ahead: centred
      {Vector4(0.0f, 0.0f, 0.0f, 1.0f), 1.0, 1.0},      // at the listener
      {Vector4(0.0f, 1500.0f, 0.0f, 1.0f), 0.0, 0.0},   // beyond the maximum distance
  };
  for (const Case& c : cases) {
    SoundHandle voice = m_sound.PlayEffect(bank, 0, 0, 1.0f, kSound3D, &c.position);
    ASSERT_FALSE(voice.IsNone());
    const Rendered out = Render(4096);
    EXPECT_NEAR(Peak(out.left), c.left * kAmplitude, 0.02) << c.position.x << "," << c.position.y;
    EXPECT_NEAR(Peak(out.right), c.right * kAmplitude, 0.02) << c.position.x << "," << c.position.y;
    voice.Stop();
  }
}

TEST_F(SoundWrapperTest, UpdateFollowsTheListenerForPositionedVoices) {
  const int32_t bank = LoadTestBank();
  m_sound.Set3DMaxDistance(1000.0f);
  m_sound.SetListener(Vector4(0.0f, 0.0f, 0.0f, 1.0f), Vector4(1.0f, 0.0f, 0.0f, 0.0f));
  const Vector4 at(0.0f, 2000.0f, 0.0f, 1.0f);
  SoundHandle voice = m_sound.PlayEffect(bank, 0, kSoundLoop, 1.0f, kSound3D, &at);
  EXPECT_NEAR(Peak(Render(2048).left), 0.0, 0.001);
  m_sound.SetListener(Vector4(0.0f, 1500.0f, 0.0f, 1.0f), Vector4(1.0f, 0.0f, 0.0f, 0.0f));
  m_sound.Update();
  EXPECT_NEAR(Peak(Render(2048).left), 0.5 * kAmplitude, 0.02);
  voice.Stop();
}

TEST_F(SoundWrapperTest, AllocVoiceTakesTheFirstFreeVoiceThenALowerPriority) {
  std::vector<SoundHandle> low;
  for (int i = 0; i < CSoundWrapper::kNumVoices; ++i) {
    low.push_back(m_sound.AllocVoice(50));
    ASSERT_FALSE(low.back().IsNone());
    EXPECT_EQ(low.back().Channel(), i);
  }
  // All taken at 50: an equal priority gets nothing, a higher one takes the first voice.
  EXPECT_TRUE(m_sound.AllocVoice(50).IsNone());
  SoundHandle high = m_sound.AllocVoice(100);
  ASSERT_FALSE(high.IsNone());
  EXPECT_EQ(high.Channel(), 0);
  EXPECT_NE(high.Serial(), low[0].Serial());
  EXPECT_EQ(m_sound.GetVoice(low[0]), nullptr) << "the old handle went stale";
  EXPECT_NE(m_sound.GetVoice(high), nullptr);
  // Freeing one of the middle makes it the first free one.
  low[7].Stop();
  EXPECT_EQ(m_sound.AllocVoice(10).Channel(), 7);
}

TEST_F(SoundWrapperTest, UpdateReleasesFinishedOneShotsAndStaleHandlesDoNothing) {
  const int32_t bank = LoadTestBank();
  SoundHandle click = m_sound.PlayEffect(bank, 3, 0, 1.0f, kSoundFlat, nullptr);
  ASSERT_FALSE(click.IsNone());
  EXPECT_EQ(click.IsPlaying(), 1);
  EXPECT_EQ(m_sound.IsSamplePlaying(bank, 3), 1);
  Render(4096);  // far past its 10 ms
  EXPECT_EQ(click.IsPlaying(), 0) << "a finished voice reads as finished before Update";
  EXPECT_EQ(m_sound.IsSamplePlaying(bank, 3), 0);
  m_sound.Update();
  EXPECT_EQ(plat::GetAudioMixer().VoicesInUse(), 0) << "Update let go of the mixer voice";

  // The same voice now plays another sound; the old handle must not stop it.
  SoundHandle tone = m_sound.PlayEffect(bank, 0, 0, 1.0f, kSoundFlat, nullptr);
  ASSERT_EQ(tone.Channel(), click.Channel());
  click.Stop();
  click.SetVolume(0.0f);
  EXPECT_EQ(tone.IsPlaying(), 1);
  EXPECT_NEAR(Peak(Render(2048).left), kAmplitude, 0.02);
  tone.Stop();
  EXPECT_EQ(tone.IsPlaying(), 0);
}

TEST_F(SoundWrapperTest, RequestsThatCannotPlayGiveNoVoice) {
  const int32_t bank = LoadTestBank();
  const Vector4 here(0.0f, 0.0f, 0.0f, 1.0f);
  struct Case {
    const char* what;
    int32_t bank, sample, mode;
    const Vector4* position;
  };
  const Case cases[] = {
      {"negative bank", -1, 0, kSoundFlat, nullptr},
      {"bank past the slots", CSoundWrapper::kNumBanks, 0, kSoundFlat, nullptr},
      {"far bank", 1000, 0, kSoundFlat, nullptr},
      {"empty slot", bank + 1, 0, kSoundFlat, nullptr},
      {"sample past the count", bank, 4, kSoundFlat, nullptr},
      {"negative sample", bank, -1, kSoundFlat, nullptr},
      {"positioned without a position", bank, 0, kSound3D, nullptr},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(m_sound.PlaySample(c.bank, c.sample, 0, 1.0f, c.mode, c.position, kSoundEffects)
                    .IsNone())
        << c.what;
    EXPECT_TRUE(m_sound.PlayEffect(c.bank, c.sample, 0, 1.0f, c.mode, c.position).IsNone())
        << c.what;
  }
  EXPECT_FALSE(m_sound.PlayEffect(bank, 0, 0, 1.0f, kSound3D, &here).IsNone());
  // Waiting on a voice that never started ends at once.
  SoundHandle none = m_sound.PlayEffect(bank, 99, 0, 1.0f, kSoundFlat, nullptr);
  EXPECT_EQ(none.IsPlaying(), 0);
  EXPECT_TRUE(m_sound.StartVoice(m_sound.AllocVoice(100), bank, 99, 0).IsNone());
}

TEST_F(SoundWrapperTest, InlinePlayUsesTheHandleForVolumeAndPan) {
  const int32_t bank = LoadTestBank();
  ASSERT_GT(m_sound.GetSampleCount(bank), 1);
  SoundHandle voice = m_sound.AllocVoice(CSoundWrapper::kPlayPriority);
  voice.SetVolume(0.5f);
  voice.SetPan(1.0f);
  voice = m_sound.StartVoice(voice, bank, 1, 0);
  ASSERT_FALSE(voice.IsNone());
  const Rendered out = Render(4096);
  EXPECT_NEAR(Peak(out.right), 0.5 * kAmplitude, 0.02);
  EXPECT_NEAR(Peak(out.left), 0.0, 0.001);
  EXPECT_EQ(m_sound.GetVoice(voice)->flags & 0x50u, 0x50u);
}

TEST_F(SoundWrapperTest, StopSampleStopsOneVoiceAndStopAllEvery) {
  const int32_t bank = LoadTestBank();
  SoundHandle a = m_sound.PlayEffect(bank, 0, kSoundLoop, 1.0f, kSoundFlat, nullptr);
  SoundHandle b = m_sound.PlayEffect(bank, 0, kSoundLoop, 1.0f, kSoundFlat, nullptr);
  SoundHandle c = m_sound.PlaySpeech(bank, 1, 0, 1.0f, kSoundFlat, nullptr);
  EXPECT_EQ(m_sound.StopSample(bank, 2), 0);
  EXPECT_EQ(m_sound.StopSample(bank, 0), 1);
  EXPECT_EQ(a.IsPlaying(), 0);
  EXPECT_EQ(b.IsPlaying(), 1);
  EXPECT_EQ(m_sound.IsSamplePlaying(bank, 0), 1);
  EXPECT_NE(m_sound.GetVoice(c)->flags & kSoundSpeechFlag, 0u);
  m_sound.StopAll();
  EXPECT_EQ(b.IsPlaying() + c.IsPlaying(), 0);
  EXPECT_EQ(plat::GetAudioMixer().VoicesInUse(), 0);
}

TEST_F(SoundWrapperTest, SixteenSlotsAndFreeingStopsTheBanksVoices) {
  std::vector<int32_t> slots;
  for (int i = 0; i < CSoundWrapper::kNumBanks; ++i) slots.push_back(m_sound.LoadSampleBank("test.bnk"));
  for (int i = 0; i < CSoundWrapper::kNumBanks; ++i) EXPECT_EQ(slots[i], i);
  EXPECT_EQ(m_sound.LoadSampleBank("test.bnk"), -1);
  EXPECT_TRUE(DebugLogContains("SOUND: no free bank slot for test.bnk"));
  m_sound.FixupSampleBank(5);
  SoundHandle voice = m_sound.PlayEffect(5, 0, kSoundLoop, 1.0f, kSoundFlat, nullptr);
  EXPECT_EQ(voice.IsPlaying(), 1);
  m_sound.FreeSampleBank(5);
  EXPECT_EQ(voice.IsPlaying(), 0);
  EXPECT_EQ(m_sound.GetSampleCount(5), 0);
  EXPECT_EQ(m_sound.LoadSampleBank("test.bnk"), 5) << "the freed slot is the first free one";
  m_sound.FreeSampleBank(9);
  EXPECT_EQ(m_sound.LoadSampleBank("missing.bnk"), -1);
  EXPECT_EQ(m_sound.LoadSampleBank("test.bnk"), 9) << "a failed load keeps the slot free";
  EXPECT_TRUE(DebugLogContains("SOUND: cannot load bank missing.bnk"));
}

// Every way a bank can be broken leaves its slot loaded but with nothing to play.
TEST_F(SoundWrapperTest, BrokenBanksAreRefusedWithALogLine) {
  const std::vector<uint8_t> good = TestBank();
  using bytewriter::PutU32;
  struct Case {
    const char* what;
    std::vector<uint8_t> image;
  };
  std::vector<Case> cases;
  auto with = [&](const char* what, auto change) {
    std::vector<uint8_t> image = good;
    change(image);
    cases.push_back({what, image});
  };
  with("bad magic", [](std::vector<uint8_t>& i) { i[0] = 'X'; });
  with("other version", [](std::vector<uint8_t>& i) { PutU32(i, 4, 2); });
  with("count past the table", [](std::vector<uint8_t>& i) { PutU32(i, 8, 0x10000000); });
  with("entry past the end", [](std::vector<uint8_t>& i) { PutU32(i, BankEntryOffset(1), 0xFFFFFF00u); });
  with("entry too long", [&](std::vector<uint8_t>& i) {
    PutU32(i, BankEntryOffset(3) + 4, static_cast<uint32_t>(good.size()));
  });
  with("entry not a wave", [](std::vector<uint8_t>& i) { PutU32(i, BankEntryOffset(2), 0); });
  for (size_t cut : {size_t{3}, size_t{15}, size_t{20}, good.size() / 2, good.size() - 1})
    cases.push_back({"truncated", std::vector<uint8_t>(good.begin(), good.begin() + cut)});
  // The header alone, claiming a table of 2.5 GiB.
  std::vector<uint8_t> claim(good.begin(), good.begin() + kBankHeaderSize);
  PutU32(claim, 8, 0x08000000);
  cases.push_back({"a header claiming 134 million samples", claim});

  for (const Case& c : cases) {
    WriteFileBytes("broken.bnk", c.image.data(), c.image.size());
    const int32_t slot = m_sound.LoadSampleBank("broken.bnk");
    ASSERT_GE(slot, 0) << c.what;
    const uint32_t peak = MemoryTracker::GetStatistics().peakReportedMemory;
    EXPECT_EQ(m_sound.FixupSampleBank(slot), 0) << c.what;
    // Nothing is made for samples the file cannot hold.
    EXPECT_LT(MemoryTracker::GetStatistics().peakReportedMemory - peak, 1u << 20) << c.what;
    EXPECT_EQ(m_sound.GetSampleCount(slot), 0) << c.what;
    EXPECT_TRUE(m_sound.PlayEffect(slot, 0, 0, 1.0f, kSoundFlat, nullptr).IsNone()) << c.what;
    EXPECT_TRUE(DebugLogContains("broken.bnk")) << c.what;
    m_sound.FreeSampleBank(slot);
  }
}

TEST_F(SoundWrapperTest, MusicStreamsLoopsAndStops) {
  const std::vector<int16_t> pcm = oggwriter::SineTone(441.0, 0.5, 44100, 2, 0.5f);
  const std::vector<uint8_t> ogg = oggwriter::EncodeOggVorbis(pcm.data(), pcm.size() / 2, 2, 44100);
  WriteFileBytes("Data/Music/Theme.ogg", ogg.data(), ogg.size());
  m_sound.PlayMusic("Theme");
  ASSERT_EQ(m_sound.IsMusicPlaying(), 1);
  // Two seconds of a half-second track, refilled as the game's frames would.
  double quietest = 1.0;
  for (int frame = 0; frame < 120; ++frame) {
    m_sound.Update();
    quietest = std::min(quietest, Peak(Render(735).left));
  }
  EXPECT_GT(quietest, 0.3) << "the loop never falls silent";
  EXPECT_EQ(m_sound.IsMusicPlaying(), 1);
  m_sound.StopMusic();
  EXPECT_EQ(m_sound.IsMusicPlaying(), 0);
  EXPECT_EQ(plat::GetAudioMixer().VoicesInUse(), 0);

  m_sound.PlayMusic("Missing");
  EXPECT_EQ(m_sound.IsMusicPlaying(), 0);
  EXPECT_TRUE(DebugLogContains("STREAM:"));
}

TEST(SoundHandleTest, PacksChannelAndSerial) {
  const SoundHandle h = SoundHandle::Make(23, 0xABCDE);
  EXPECT_EQ(h.Channel(), 23);
  EXPECT_EQ(h.Serial(), 0xABCDEu);
  EXPECT_EQ(static_cast<uint32_t>(h.Value()), 0xABCDE017u);
  EXPECT_TRUE(SoundHandle().IsNone());
  EXPECT_EQ(SoundHandle().IsPlaying(), 0);
}

}  // namespace
