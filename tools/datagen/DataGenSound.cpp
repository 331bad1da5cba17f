// The demo data's sounds, HUD pieces and texts: each game's effects and speech banks (tones and
// noise bursts, one per sample number), the music tracks as Ogg Vorbis, the shared HUD icons and
// "PendrakeText.els".

#include "tools/datagen/DataGenSound.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/BankWriter.h"
#include "tests/support/DdsWriter.h"
#include "tests/support/ElsWriter.h"
#include "tests/support/OggWriter.h"
#include "tests/support/WavWriter.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kSampleRate = 22050;
constexpr int kMusicRate = 44100;
// More samples than any game plays, so every sample number a game names exists.
constexpr int kSamplesPerBank = 64;

bool SaveBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// A small deterministic noise source, so the data is the same on every run.
struct Noise {
  uint32_t state = 0x1234567u;
  double Next() {
    state = state * 1664525u + 1013904223u;
    return static_cast<double>(state >> 8) / static_cast<double>(1u << 24) * 2.0 - 1.0;
  }
};

int16_t ToSample(double v) {
  if (v > 1.0) v = 1.0;
  if (v < -1.0) v = -1.0;
  return static_cast<int16_t>(std::lround(v * 32000.0));
}

// Effects: a falling blip for even numbers, a noise burst for odd ones, each a little different.
std::vector<int16_t> EffectSample(int n, Noise& noise) {
  const double seconds = 0.15 + 0.02 * (n % 8);
  const int frames = static_cast<int>(seconds * kSampleRate);
  std::vector<int16_t> pcm(static_cast<size_t>(frames));
  const double pitch = 220.0 * std::pow(2.0, (n % 24) / 12.0);
  double phase = 0.0;
  for (int i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / kSampleRate;
    const double envelope = std::exp(-t * (n % 2 ? 18.0 : 9.0));
    double v;
    if (n % 2) {
      v = noise.Next();
    } else {
      phase += 2.0 * kPi * pitch * (1.0 - 0.5 * t / seconds) / kSampleRate;
      v = std::sin(phase);
    }
    pcm[static_cast<size_t>(i)] = ToSample(0.6 * envelope * v);
  }
  return pcm;
}

// Speech: a voice-like warble whose pitch and length follow the line number.
std::vector<int16_t> SpeechSample(int n) {
  const double seconds = 0.4 + 0.05 * (n % 9);
  const int frames = static_cast<int>(seconds * kSampleRate);
  std::vector<int16_t> pcm(static_cast<size_t>(frames));
  const double base = 140.0 + 12.0 * (n % 11);
  double phase = 0.0;
  for (int i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / kSampleRate;
    const double pitch = base * (1.0 + 0.08 * std::sin(2.0 * kPi * (5.0 + n % 3) * t));
    phase += 2.0 * kPi * pitch / kSampleRate;
    const double syllables = 0.5 + 0.5 * std::sin(2.0 * kPi * 4.0 * t);
    const double edge = std::min(1.0, std::min(t, seconds - t) * 40.0);
    const double v = std::sin(phase) + 0.4 * std::sin(2.0 * phase) + 0.2 * std::sin(3.0 * phase);
    pcm[static_cast<size_t>(i)] = ToSample(0.35 * syllables * edge * v);
  }
  return pcm;
}

bool WriteBank(const std::string& path, bool speech) {
  Noise noise;
  std::vector<std::vector<uint8_t>> waves;
  for (int n = 0; n < kSamplesPerBank; ++n)
    waves.push_back(wavwriter::WriteWav16(speech ? SpeechSample(n) : EffectSample(n, noise), 1,
                                          kSampleRate));
  return SaveBytes(path, WriteSoundBank(waves));
}

// A short looping tune: an arpeggio over a bass note, the chord changing every bar. Every bar
// holds a whole number of bass cycles and every plucked note fades out before its beat ends, so
// the bar changes and the loop's seam (the last bar's chord is the first's) join without a click.
bool WriteMusic(const std::string& path, double rootHz, double bpm) {
  const int steps[4][4] = {{0, 4, 7, 12}, {5, 9, 12, 17}, {7, 11, 14, 19}, {0, 4, 7, 12}};
  const int framesPerBeat = static_cast<int>(60.0 / bpm * kMusicRate);
  const int beatsPerBar = 4;
  const int bars = 4;
  const int framesPerBar = framesPerBeat * beatsPerBar;
  const double barSeconds = static_cast<double>(framesPerBar) / kMusicRate;
  std::vector<int16_t> pcm(static_cast<size_t>(framesPerBar) * bars * 2);
  for (int bar = 0; bar < bars; ++bar) {
    const int* chord = steps[bar % 4];
    const double wanted = rootHz / 2.0 * std::pow(2.0, chord[0] / 12.0);
    const double bass = std::round(wanted * barSeconds) / barSeconds;
    for (int i = 0; i < framesPerBar; ++i) {
      const int beat = i / framesPerBeat;
      const double t = static_cast<double>(i % framesPerBeat) / kMusicRate;
      const double left = static_cast<double>(framesPerBeat - i % framesPerBeat) / kMusicRate;
      const double note = rootHz * std::pow(2.0, chord[beat % 4] / 12.0);
      const double release = std::min(1.0, left * 200.0);
      const double pluck = std::exp(-t * 6.0) * std::sin(2.0 * kPi * note * t) * release;
      const double low = 0.5 * std::sin(2.0 * kPi * bass * static_cast<double>(i) / kMusicRate);
      const size_t at = (static_cast<size_t>(bar) * framesPerBar + i) * 2;
      pcm[at] = ToSample(0.3 * (pluck * 0.8 + low * 0.6));
      pcm[at + 1] = ToSample(0.3 * (pluck * 0.6 + low * 0.8));
    }
  }
  return SaveBytes(path, oggwriter::EncodeOggVorbis(pcm.data(), pcm.size() / 2, 2, kMusicRate));
}

// A HUD icon: a filled disc of one colour with a dark rim, on transparent.
bool WriteIcon(const std::string& path, uint32_t colour, int size) {
  std::vector<uint32_t> texels(static_cast<size_t>(size * size), 0);
  const double r = size / 2.0 - 1.0;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const double d = std::hypot(x + 0.5 - size / 2.0, y + 0.5 - size / 2.0);
      if (d <= r) texels[static_cast<size_t>(y * size + x)] = d > r - 2.0 ? 0xFF202020u : colour;
    }
  return ddswriter::SaveDds(path, gfx::D3DFMT_A8R8G8B8, static_cast<uint32_t>(size),
                            static_cast<uint32_t>(size), texels.data(), true);
}

}  // namespace

bool WriteDemoSounds(const std::string& root) {
  struct GameBanks {
    const char* folder;
    const char* stem;
  };
  const GameBanks games[] = {
      {"DivingGame", "CobbAndJory"},
      {"FootballGame", "DulcieAndClemency"},
      {"PirateGame", "MrGorst"},
      {"TesselGame", "Tessel"},
  };
  for (const GameBanks& game : games) {
    const std::string folder = root + "/data/" + game.folder + "/";
    if (!WriteBank(folder + game.stem + "SFX.bnk", false) ||
        !WriteBank(folder + game.stem + "Speech.bnk", true))
      return false;
  }
  struct Track {
    const char* name;
    double rootHz;
    double bpm;
  };
  const Track tracks[] = {
      {"Frontend", 220.0, 110.0}, {"CobbJory", 261.63, 124.0}, {"Clemency", 196.0, 132.0},
      {"Pirates", 174.61, 100.0}, {"Tessel", 246.94, 118.0},
  };
  for (const Track& track : tracks)
    if (!WriteMusic(root + "/data/Music/" + track.name + ".ogg", track.rootHz, track.bpm)) return false;
  return true;
}

bool WriteDemoHud(const std::string& root) {
  const std::string folder = root + "/data/Hud/";
  if (!WriteIcon(folder + "score.dds", 0xFFF0C020u, 24) ||
      !WriteIcon(folder + "clock.dds", 0xFFE0E0F0u, 24) ||
      !WriteIcon(folder + "lives.dds", 0xFFE04040u, 24))
    return false;
  for (int kind = 0; kind < 13; ++kind) {
    char name[32];
    std::snprintf(name, sizeof(name), "counter%02d.dds", kind);
    // A colour wheel, so each counter kind shows a different icon.
    const double a = kind * 2.0 * kPi / 13.0;
    const auto channel = [&](double offset) {
      return static_cast<uint32_t>(127.0 + 120.0 * std::cos(a + offset));
    };
    const uint32_t colour = 0xFF000000u | channel(0.0) << 16 | channel(2.1) << 8 | channel(4.2);
    if (!WriteIcon(folder + name, colour, 24)) return false;
  }
  return true;
}

bool WriteDemoTexts(const std::string& root) {
  return elswriter::SaveDemoTexts(root + "/data/PendrakeText.els");
}
