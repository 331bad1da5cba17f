// The editor's ".ps2" and ".psf" readers against damaged files: each is refused with a log line
// and leaves the template as it was.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "Game/EditorParticleSystem.h"
#include "tests/support/AppHarness.h"
#include "tests/support/DemoData.h"
#include "tests/support/LogCapture.h"
#include "tests/support/Ps2Writer.h"

namespace {

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

class ParticleFileTest : public AppTest {
 protected:
  void SetUp() override {
    LinkDemoData();
    ASSERT_TRUE(m_harness.Start());
    GetEditorParticleSystem().Reset();
    GetApp().SetDataDir("data\\ParticleEditor\\");
    ASSERT_TRUE(GetEditorParticleSystem().CreateTestSystem());
    m_template.maxParticles = 64;
    m_template.texture = "flare01.dds";
  }
  void TearDown() override {
    GetEditorParticleSystem().CleanUp();
    m_harness.Stop();
  }
  std::string Path(const char* name) { return (std::filesystem::current_path() / name).string(); }

  ps2writer::Template m_template;
};

struct BadFile {
  const char* what;
  bool psf;
  size_t keep;         // bytes kept of the good image (0: all)
  bool cutTerminator;  // the name runs to the end of the file
};

TEST_F(ParticleFileTest, DamagedFilesAreRefusedAndChangeNothing) {
  const std::vector<uint8_t> good = ps2writer::WritePs2(m_template);
  std::vector<uint8_t> goodPsf(good.begin(), good.begin() + 248);
  goodPsf.insert(goodPsf.end(), good.begin() + 280, good.end());
  const BadFile cases[] = {
      {"empty", false, 1, false},
      {"a few words", false, 16, false},
      {"block without a name", false, 280, false},
      {"one byte short of the block", false, 279, false},
      {"name not terminated", false, 0, true},
      {"psf: a few words", true, 16, false},
      {"psf: block without a name", true, 248, false},
      {"psf: name not terminated", true, 0, true},
  };
  EditorParticleSystem& system = GetEditorParticleSystem();
  for (const BadFile& c : cases) {
    std::vector<uint8_t> image = c.psf ? goodPsf : good;
    if (c.keep) image.resize(c.keep == 1 ? 0 : c.keep);
    if (c.cutTerminator) image.pop_back();
    WriteBytes("bad", image);
    const ParticleTemplateWords before = system.Words();
    const std::string name = system.GetTextureName();
    const int32_t texture = system.GetTexture();
    const bool loaded =
        c.psf ? system.LoadOldStyle(Path("bad").c_str()) : system.Load(Path("bad").c_str());
    EXPECT_FALSE(loaded) << c.what;
    EXPECT_EQ(std::memcmp(&before, &system.Words(), sizeof(before)), 0) << c.what;
    EXPECT_EQ(name, system.GetTextureName()) << c.what;
    EXPECT_EQ(texture, system.GetTexture()) << c.what;
  }
  EXPECT_TRUE(DebugLogContains("is not a particle template"));
  EXPECT_FALSE(system.Load(Path("missing.ps2").c_str()));
  EXPECT_TRUE(DebugLogContains("Particle editor: cannot read"));
}

TEST_F(ParticleFileTest, MaxParticlesBeyondThePoolIsHeldToIt) {
  struct Case {
    uint32_t inFile;
    uint32_t loaded;
  } cases[] = {{0, 0}, {1024, 1024}, {1025, 1024}, {0xFFFFFFFFu, 1024}};
  EditorParticleSystem& system = GetEditorParticleSystem();
  for (const Case& c : cases) {
    m_template.maxParticles = c.inFile;
    ASSERT_TRUE(ps2writer::SavePs2("many.ps2", m_template));
    std::vector<uint8_t> psf = ps2writer::WritePs2(m_template);
    psf.erase(psf.begin() + 248, psf.begin() + 280);
    WriteBytes("many.psf", psf);
    ASSERT_TRUE(system.Load(Path("many.ps2").c_str()));
    EXPECT_EQ(system.GetMaxParticles(), c.loaded);
    ASSERT_TRUE(system.LoadOldStyle(Path("many.psf").c_str()));
    EXPECT_EQ(system.GetMaxParticles(), c.loaded);
    // A full pool is stepped and drawn within its bounds.
    system.Update(nullptr);
    EXPECT_LE(system.GetLiveCount(), EditorParticleSystem::kPoolSize);
  }
}

TEST_F(ParticleFileTest, NumbersNoCountCanHoldFillThePoolAndColoursAreHeldToAByte) {
  struct Case {
    const char* what;
    float emitPerFrame;
    uint32_t live;  // after the second frame: the first frame's particles, stepped
  };
  const float inf = std::numeric_limits<float>::infinity();
  const Case cases[] = {
      {"1e10 a frame", 1e10f, 63},
      {"1e30 a frame", 1e30f, 63},
      {"an endless rate", inf, 63},
      {"not a number", std::nanf(""), 0},
  };
  EditorParticleSystem& system = GetEditorParticleSystem();
  m_template.flags = ps2writer::kLooped;
  for (const Case& c : cases) {
    m_template.emitPerFrame = c.emitPerFrame;
    m_template.colour[0] = 1e10f;
    m_template.colour[1] = -1e30f;
    ASSERT_TRUE(ps2writer::SavePs2("rate.ps2", m_template)) << c.what;
    ASSERT_TRUE(system.Load(Path("rate.ps2").c_str())) << c.what;
    system.RequestRestart();
    system.Update(nullptr);
    system.Update(nullptr);
    // A rate past the pool fills it (one start is held back, as for any rate).
    EXPECT_EQ(system.GetLiveCount(), c.live) << c.what;
  }
  struct Colour {
    float words[4];
    uint32_t vertex;
  };
  const float nan = std::nanf("");
  const Colour colours[] = {
      {{255, 128, 0, 255}, 0xFFFF8000u},
      {{1e10f, -1e10f, 1e30f, -1e30f}, 0x00FF00FFu},
      {{inf, -inf, nan, 254.9f}, 0xFEFF0000u},
      {{256, 300, -1, 0.5f}, 0x00FFFF00u},
  };
  for (const Colour& c : colours)
    EXPECT_EQ(EditorParticleSystem::VertexColour(c.words), c.vertex) << std::hex << c.vertex;
}

TEST_F(ParticleFileTest, AReadKeepsOneTextureReferenceWhateverItReads) {
  EditorParticleSystem& system = GetEditorParticleSystem();
  ASSERT_TRUE(ps2writer::SavePs2("good.ps2", m_template));
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(system.Load(Path("good.ps2").c_str()));
    EXPECT_FALSE(system.Load(Path("missing.ps2").c_str()));
  }
  const int32_t texture = system.GetTexture();
  ASSERT_NE(texture, -1);
  system.CleanUp();
  // The editor held one reference and gave it back: the texture is gone.
  EXPECT_EQ(GetApp().GetTexture()->GetWidth(texture), 0);
}

}  // namespace
